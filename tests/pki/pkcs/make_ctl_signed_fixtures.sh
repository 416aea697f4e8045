#!/usr/bin/env bash
# Makes the signed trust lists of the trust-list intake tests into $1.
# Certificates by openssl, each as .pem and .der:
#   root         "CTL Root", the anchor the caller trusts (certificatePolicies anyPolicy)
#   signer       "CTL Signer" issued by root (anyPolicy)
#   other-root   "Other Root", an anchor that signed nothing here
#   listed       "Listed Root", self-signed, named by the lists
#   unlisted     "Unlisted Root", self-signed, carried but not named
# Trust lists (DER written by python from the registered form), usage
# 1.2.410.200004.8.1.1.1, thisUpdate yesterday, nextUpdate in 30 days,
# naming listed by the SHA-1 of its DER:
#   ctl.der ctl-sha256.der (SHA-256 identifier) ctl-expired.der (ended yesterday)
#   ctl-v1.der (version 0 written) ctl-v2.der (version 1 written)
#   ctl-nousage.der (usage serverAuth only)
# and each signed by `openssl cms -sign -nodetach -binary -econtent_type
# 1.3.6.1.4.1.311.10.1` with signer, carrying listed and unlisted too:
#   signed.der signed-sha256.der signed-v1.der signed-expired.der signed-v2.der signed-nousage.der
#   signed-data.der     ctl.der signed as plain data
#   signed-pkcs7.der    ctl.der as PKCS#7 carries it (the list's SEQUENCE as content, the
#                       digest over its contents octets), signed by python3-cryptography
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

selfsigned() { # <name> <subject>
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -subj "$2" -days 30 -sha256 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -addext "certificatePolicies=2.5.29.32.0" -out "$1.pem" 2>/dev/null
  openssl x509 -in "$1.pem" -outform DER -out "$1.der"
}
selfsigned root "/O=ZQ/CN=CTL Root"
selfsigned other-root "/O=ZQ/CN=Other Root"
selfsigned listed "/O=ZQ/CN=Listed Root"
selfsigned unlisted "/O=ZQ/CN=Unlisted Root"
openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -subj "/O=ZQ/CN=CTL Signer" -out signer.csr 2>/dev/null
printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
  "certificatePolicies=2.5.29.32.0" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" > signer.ext
openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -set_serial 2 -days 30 -sha256 -extfile signer.ext \
  -out signer.pem 2>/dev/null
openssl x509 -in signer.pem -outform DER -out signer.der
cat listed.pem unlisted.pem > carried.pem

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here/../x509" /usr/bin/python3 - <<'PY'
import datetime
import hashlib

from derwriter import oid, seq, tlv

listed = open('listed.der', 'rb').read()
now = datetime.datetime.now(datetime.timezone.utc)


def utc(days):
    return tlv(0x17, (now + datetime.timedelta(days=days)).strftime('%y%m%d%H%M%SZ').encode())


def ctl(usage='1.2.410.200004.8.1.1.1', digest='sha1', this=-1, nxt=30, version=None):
    alg = {'sha1': '1.3.14.3.2.26', 'sha256': '2.16.840.1.101.3.4.2.1'}[digest]
    members = [seq(oid(usage)), tlv(0x04, b'ZQ-CTL'), tlv(0x02, b'\x01'), utc(this), utc(nxt),
               seq(oid(alg), tlv(0x05, b'')), seq(seq(tlv(0x04, hashlib.new(digest, listed).digest())))]
    if version is not None:
        members.insert(0, tlv(0x02, bytes([version])))
    return seq(*members)


open('ctl.der', 'wb').write(ctl())
open('ctl-sha256.der', 'wb').write(ctl(digest='sha256'))
open('ctl-expired.der', 'wb').write(ctl(this=-30, nxt=-1))
open('ctl-v1.der', 'wb').write(ctl(version=0))
open('ctl-v2.der', 'wb').write(ctl(version=1))
open('ctl-nousage.der', 'wb').write(ctl(usage='1.3.6.1.5.5.7.3.1'))
PY

sign() { # <in> <out> [options...]
  local in="$1" to="$2"
  shift 2
  openssl cms -sign -nodetach -binary -in "$in" -signer signer.pem -inkey signer.key -certfile carried.pem \
    -outform DER -out "$to" "$@"
}
for v in "" -sha256 -v1 -expired -v2 -nousage; do
  sign "ctl$v.der" "signed$v.der" -econtent_type 1.3.6.1.4.1.311.10.1
done
sign ctl.der signed-data.der

# PKCS#7's form: the content is the list itself, and the digest is taken
# over its contents octets.
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here/../x509" /usr/bin/python3 - <<'PY'
import hashlib

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

from derwriter import oid, seq, setof, tlv


def contents(der):
    size = der[1]
    return der[2 + (size & 0x7f):] if size & 0x80 else der[2:]


body = open('ctl.der', 'rb').read()
key = serialization.load_pem_private_key(open('signer.key', 'rb').read(), None)
signer = x509.load_pem_x509_certificate(open('signer.pem', 'rb').read())
certs = [open(n + '.der', 'rb').read() for n in ('signer', 'listed', 'unlisted')]
attrs = [seq(oid('1.2.840.113549.1.9.3'), setof(oid('1.3.6.1.4.1.311.10.1'))),
         seq(oid('1.2.840.113549.1.9.4'), setof(tlv(0x04, hashlib.sha256(contents(body)).digest())))]
signed_attrs = setof(*sorted(attrs))
signature = key.sign(signed_attrs, padding.PKCS1v15(), hashes.SHA256())
issuer_serial = seq(signer.issuer.public_bytes(), tlv(0x02, b'\x02'))
sha256 = seq(oid('2.16.840.1.101.3.4.2.1'), tlv(0x05, b''))
signer_info = seq(tlv(0x02, b'\x01'), issuer_serial, sha256, tlv(0xa0, contents(signed_attrs)),
                  seq(oid('1.2.840.113549.1.1.1'), tlv(0x05, b'')), tlv(0x04, signature))
signed_data = seq(tlv(0x02, b'\x01'), setof(sha256), seq(oid('1.3.6.1.4.1.311.10.1'), tlv(0xa0, body)),
                  tlv(0xa0, b''.join(certs)), setof(signer_info))
open('signed-pkcs7.der', 'wb').write(seq(oid('1.2.840.113549.1.7.2'), tlv(0xa0, signed_data)))
PY

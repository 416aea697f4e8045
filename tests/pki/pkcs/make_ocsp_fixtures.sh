#!/usr/bin/env bash
# Makes the certificates, keys and openssl requests of the OCSP tests into $1:
#   ca.pem ca.der ca.key           RSA-2048 CA (fixture-ca.sh)
#   resp.pem resp.der resp.rsa.txt  the CA's OCSP responder (OCSPSigning), its eight values in hex
#   ee.der ee.pem ee.key ee.rsa.txt good certificate of the CA, serial 0x1001
#   revoked.der revoked.pem         revoked certificate of the CA, serial 0x1002, keyCompromise
#   index.txt                       openssl ca's index: V for 0x1001, R for 0x1002
#   other-ca.pem other.der          another CA and its certificate with serial 0x1001
#   ski-ca.pem ski-ca.key ski-ee.der ski-index.txt
#                                   a CA whose subjectKeyIdentifier is not its key's SHA-1,
#                                   its certificate 0x2001 and an index holding it as V
#   q-signed.der                    openssl ocsp request for ee.der, signed by ee with a nonce
#   q-unsigned.der                  openssl ocsp request for ee.der and revoked.der, no nonce
#   q-two.der                       the same with openssl's nonce
#   q-ec.der r-ec.der               a request signed and a response made with a P-256 key (ec.pem)
#   q-explicit.der r-explicit.der   python: a request signed by ee and a response signed by resp
#                                   whose bodies carry DEFAULT values (version 0, critical FALSE)
#                                   that DER leaves out: only the bytes as received verify
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

. "$here/../x509/fixture-ca.sh"
make_ca "/C=KR/O=Test CA/CN=OCSP Root"

eight() {  # the eight values of an RSA key file, one a line in hex
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
from cryptography.hazmat.primitives import serialization
n = serialization.load_pem_private_key(open(sys.argv[1], 'rb').read(), None).private_numbers()
with open(sys.argv[2], 'w') as f:
    for v in (n.public_numbers.n, n.public_numbers.e, n.d, n.p, n.q, n.dmp1, n.dmq1, n.iqmp):
        f.write('%x\n' % v)
PY
}

# issue KEY SUBJECT SERIAL OUT CA-PEM CA-KEY [extension...]
issue() {
  local key="$1" subj="$2" serial="$3" outfile="$4" ca="$5" cakey="$6"
  shift 6
  openssl req -new -key "$key" -subj "$subj" -out tmp.csr
  printf 'authorityKeyIdentifier=keyid\nsubjectKeyIdentifier=hash\n%s\n' "$@" > tmp.ext
  openssl x509 -req -in tmp.csr -CA "$ca" -CAkey "$cakey" -set_serial "$serial" -days 30 -sha256 \
    -extfile tmp.ext -outform DER -out "$outfile" 2>/dev/null
  openssl x509 -inform DER -in "$outfile" -out "${outfile%.der}.pem"
}

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out resp.key 2>/dev/null
issue resp.key "/C=KR/O=Test CA/CN=OCSP Responder" 0x77 resp.der ca.pem ca.key "extendedKeyUsage=OCSPSigning"
eight resp.key resp.rsa.txt
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ee.key 2>/dev/null
issue ee.key "/C=KR/O=Test/CN=Good" 0x1001 ee.der ca.pem ca.key ""
eight ee.key ee.rsa.txt
issue leaf.key "/C=KR/O=Test/CN=Revoked" 0x1002 revoked.der ca.pem ca.key ""

printf 'V\t300101000000Z\t\t1001\tunknown\t/C=KR/O=Test/CN=Good\n' > index.txt
printf 'R\t300101000000Z\t250301000000Z,keyCompromise\t1002\tunknown\t/C=KR/O=Test/CN=Revoked\n' >> index.txt

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other-ca.key 2>/dev/null
openssl req -x509 -new -key other-ca.key -subj "/C=KR/O=Other CA/CN=Other Root" -days 30 -sha256 \
  -addext "basicConstraints=critical,CA:TRUE" -out other-ca.pem
issue ee.key "/C=KR/O=Other/CN=Good" 0x1001 other.der other-ca.pem other-ca.key ""

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ski-ca.key 2>/dev/null
openssl req -x509 -new -key ski-ca.key -subj "/C=KR/O=SKI CA/CN=SKI Root" -days 30 -sha256 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "subjectKeyIdentifier=0102030405060708" -out ski-ca.pem
issue ee.key "/C=KR/O=SKI/CN=Good" 0x2001 ski-ee.der ski-ca.pem ski-ca.key ""
printf 'V\t300101000000Z\t\t2001\tunknown\t/C=KR/O=SKI/CN=Good\n' > ski-index.txt

openssl ocsp -issuer ca.pem -cert ee.pem -signer ee.pem -signkey ee.key -reqout q-signed.der 2>/dev/null
openssl ocsp -issuer ca.pem -cert ee.pem -cert revoked.pem -no_nonce -reqout q-unsigned.der 2>/dev/null
openssl ocsp -issuer ca.pem -cert ee.pem -cert revoked.pem -reqout q-two.der 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key 2>/dev/null
issue ec.key "/C=KR/O=Test CA/CN=EC Responder" 0x78 ec.der ca.pem ca.key "extendedKeyUsage=OCSPSigning"
openssl ocsp -issuer ca.pem -cert ee.pem -signer ec.pem -signkey ec.key -reqout q-ec.der 2>/dev/null
openssl ocsp -index index.txt -CA ca.pem -rsigner ec.pem -rkey ec.key -reqin q-two.der -respout r-ec.der \
  -ndays 1 2>/dev/null
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here/../x509" /usr/bin/python3 - <<'PY'
import hashlib
import time
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from derwriter import oid, seq, tlv

def load(name):
    return x509.load_der_x509_certificate(open(name, 'rb').read())

def key(name):
    return serialization.load_pem_private_key(open(name, 'rb').read(), None)

ca, ee, resp = load('ca.der'), load('ee.der'), load('resp.der')
sha256rsa = seq(oid('1.2.840.113549.1.1.11'), tlv(0x05, b''))
# An RSA key's subjectPublicKey bits are its RSAPublicKey DER.
key_bits = ca.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
cert_id = seq(seq(oid('1.3.14.3.2.26'), tlv(0x05, b'')),
              tlv(0x04, hashlib.sha1(ca.subject.public_bytes()).digest()),
              tlv(0x04, hashlib.sha1(key_bits).digest()),
              tlv(0x02, b'\x10\x01'))
nonce = seq(oid('1.3.6.1.5.5.7.48.1.2'), tlv(0x01, b'\x00'), tlv(0x04, b'explicit-nonce'))
version0 = tlv(0xa0, tlv(0x02, b'\x00'))

tbs = seq(version0, seq(seq(cert_id)), tlv(0xa2, seq(nonce)))
sig = key('ee.key').sign(tbs, padding.PKCS1v15(), hashes.SHA256())
certs = tlv(0xa0, seq(ee.public_bytes(serialization.Encoding.DER)))
open('q-explicit.der', 'wb').write(seq(tbs, tlv(0xa0, seq(sha256rsa, tlv(0x03, b'\x00' + sig), certs))))

now = time.strftime('%Y%m%d%H%M%SZ', time.gmtime()).encode()
data = seq(version0, tlv(0xa1, resp.subject.public_bytes()), tlv(0x18, now),
           seq(seq(cert_id, tlv(0x80, b''), tlv(0x18, now))), tlv(0xa1, seq(nonce)))
sig = key('resp.key').sign(data, padding.PKCS1v15(), hashes.SHA256())
basic = seq(data, sha256rsa, tlv(0x03, b'\x00' + sig), tlv(0xa0, seq(resp.public_bytes(serialization.Encoding.DER))))
open('r-explicit.der', 'wb').write(seq(tlv(0x0a, b'\x00'), tlv(0xa0, seq(oid('1.3.6.1.5.5.7.48.1.1'), tlv(0x04, basic)))))
PY
rm -f tmp.csr tmp.ext

#!/usr/bin/env bash
# Makes the certificates of the certificate tests with openssl and
# python3-cryptography, into $1:
#   ca.key ca.der ca.pem        RSA-2048 root, self-signed, sha256WithRSAEncryption
#   ca.rsa.txt                   its eight values in hex (n e d p q dP dQ qInv), one a line
#   leaf.key leaf.der            RSA leaf issued by ca (serial 0x1234, subjectAltName)
#   pss-sha256.der               leaf signed by ca with RSASSA-PSS, SHA-256, default salt
#   pss-sha512.der               the same with SHA-512 and a 64-byte salt
#   pss-salt<X>-stated<Y>.der    leaf whose RSASSA-PSS (SHA-256) parameters state a salt of Y
#                                bytes (openssl x509 -sigopt), its body signed again by openssl
#                                pkeyutl with a salt of X bytes (X and Y in 0, 20, 32)
#   nonminimal.der               leaf whose serial is the non-minimal INTEGER 00 12 34
#   absent-params.der            leaf whose signature AlgorithmIdentifiers have no NULL
#   oiw-sha1.der                 leaf signed with SHA-1 and PKCS#1 v1.5 under the older OIW
#                                identifier sha1WithRSA (1.3.14.3.2.29)
#   pss-negative-salt.der        leaf signed by ca with RSASSA-PSS (SHA-256, 32-byte salt) whose
#                                parameters give the saltLength as -32, which openssl refuses
#   bounds.der                   leaf valid 2030-01-01 00:00:00Z through 2030-12-31 23:59:59Z
#   bounds-gt.der                the same through 2050-01-01 00:00:00Z (a GeneralizedTime)
#   expired.der future.der       leaves valid only in 2001 and only from 2099 on
#   ec.der                       P-256 leaf issued by ca
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

. "$here/fixture-ca.sh"
make_ca "/C=KR/O=Test CA/CN=Root"
printf 'subjectAltName=DNS:leaf.example\n' > leaf.ext
issue() { # <out> [options...]
  local name="$1"
  shift
  openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x1234 -days 30 -extfile leaf.ext \
    "$@" -outform DER -out "$name" 2>/dev/null
}
issue leaf.der -sha256
issue pss-sha256.der -sha256 -sigopt rsa_padding_mode:pss
issue pss-sha512.der -sha512 -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:64
for salt in 0 20 32; do
  issue pss-stated$salt.der -sha256 -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:$salt
done
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key 2>/dev/null
openssl req -new -key ec.key -subj "/CN=EC Leaf" -out ec.csr
openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 7 -days 30 -sha256 -outform DER -out ec.der 2>/dev/null

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" /usr/bin/python3 - <<'PY'
import datetime
import hashlib
import subprocess
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.x509.oid import NameOID

from derwriter import tlv

ca_key = serialization.load_pem_private_key(open('ca.key', 'rb').read(), None)
leaf_key = serialization.load_pem_private_key(open('leaf.key', 'rb').read(), None)
ca = x509.load_der_x509_certificate(open('ca.der', 'rb').read())


def build(name, start, end, serial=0x1234):
    b = (x509.CertificateBuilder()
         .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)]))
         .issuer_name(ca.subject).public_key(leaf_key.public_key()).serial_number(serial)
         .not_valid_before(start).not_valid_after(end))
    return b.sign(ca_key, hashes.SHA256())


def write(name, cert):
    open(name, 'wb').write(cert.public_bytes(serialization.Encoding.DER))


utc = datetime.datetime
write('bounds.der', build('Bounds', utc(2030, 1, 1, 0, 0, 0), utc(2030, 12, 31, 23, 59, 59)))
write('bounds-gt.der', build('Bounds GT', utc(2030, 1, 1, 0, 0, 0), utc(2050, 1, 1, 0, 0, 0)))
write('expired.der', build('Expired', utc(2001, 1, 1), utc(2001, 12, 31)))
write('future.der', build('Future', utc(2099, 1, 1), utc(2099, 12, 31)))


# DER by hand, for the bodies no encoder of ours or theirs writes.
def children(der):
    """The elements inside one constructed element."""
    at = 2 if der[1] < 0x80 else 2 + (der[1] & 0x7f)
    out = []
    while at < len(der):
        n = der[at + 1]
        head = 2
        if n & 0x80:
            k = n & 0x7f
            n = int.from_bytes(der[at + 2:at + 2 + k], 'big')
            head += k
        out.append(der[at:at + head + n])
        at += head + n
    return out


def resign(name, edit, pad=padding.PKCS1v15(), digest=hashes.SHA256()):
    """The leaf's TBSCertificate changed by edit(list of its elements) and
    signed by ca; edit returns the outer AlgorithmIdentifier to use."""
    cert = build('Leaf', utc(2020, 1, 1), utc(2040, 1, 1))
    elements = children(cert.tbs_certificate_bytes)
    alg = edit(elements)
    body = tlv(0x30, b''.join(elements))
    sig = ca_key.sign(body, pad, digest)
    open(name, 'wb').write(tlv(0x30, body + alg + tlv(0x03, b'\x00' + sig)))


def nonminimal(elements):
    assert elements[1][:2] == b'\x02\x02'
    elements[1] = tlv(0x02, b'\x00' + elements[1][2:])
    return elements[2]


sha256_rsa_bare = tlv(0x30, tlv(0x06, bytes.fromhex('2a864886f70d01010b')))


def absent(elements):
    elements[2] = sha256_rsa_bare
    return sha256_rsa_bare


sha256_alg = tlv(0x30, tlv(0x06, bytes.fromhex('608648016503040201')) + tlv(0x05, b''))
pss_negative_salt = tlv(0x30, tlv(0x06, bytes.fromhex('2a864886f70d01010a')) + tlv(
    0x30, tlv(0xa0, sha256_alg) +
    tlv(0xa1, tlv(0x30, tlv(0x06, bytes.fromhex('2a864886f70d010108')) + sha256_alg)) +
    tlv(0xa2, tlv(0x02, (-32).to_bytes(1, 'big', signed=True)))))


def negative_salt(elements):
    elements[2] = pss_negative_salt
    return pss_negative_salt


oiw_sha1_rsa = tlv(0x30, tlv(0x06, bytes.fromhex('2b0e03021d')) + tlv(0x05, b''))


def oiw(elements):
    elements[2] = oiw_sha1_rsa
    return oiw_sha1_rsa


resign('nonminimal.der', nonminimal)
resign('absent-params.der', absent)
resign('oiw-sha1.der', oiw, padding.PKCS1v15(), hashes.SHA1())
resign('pss-negative-salt.der', negative_salt,
       padding.PSS(mgf=padding.MGF1(hashes.SHA256()), salt_length=32))


# The body of a leaf that states one salt length, signed with each of the
# others by openssl pkeyutl.
for stated in (0, 20, 32):
    tbs, alg, _ = children(open(f'pss-stated{stated}.der', 'rb').read())
    open('tbs.sha256', 'wb').write(hashlib.sha256(tbs).digest())
    for salt in (0, 20, 32):
        sig = subprocess.run(['openssl', 'pkeyutl', '-sign', '-inkey', 'ca.key', '-in', 'tbs.sha256',
                              '-pkeyopt', 'digest:sha256', '-pkeyopt', 'rsa_padding_mode:pss',
                              '-pkeyopt', f'rsa_pss_saltlen:{salt}'], check=True, capture_output=True).stdout
        open(f'pss-salt{salt}-stated{stated}.der', 'wb').write(tlv(0x30, tbs + alg + tlv(0x03, b'\x00' + sig)))
PY
rm pss-stated*.der tbs.sha256

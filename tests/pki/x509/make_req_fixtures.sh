#!/usr/bin/env bash
# Makes the certification requests of the request tests with openssl and
# python3-cryptography, into $1:
#   key.pem key.rsa.txt   RSA-2048 key (key.rsa.txt: n e d p q dP dQ qInv in hex)
#   openssl.der           openssl req: /C=KR/O=Test/CN=Req, SHA-256, subjectAltName and a
#                         critical basicConstraints in the extension request
#   pss.der               the same signed with RSASSA-PSS (SHA-256, salt 32)
#   challenge.der         python: SHA-1, a challengePassword and an extension request
#   wrapped.der           python: the extension request's value an OCTET STRING around the
#                         Extensions (an older encoder's form), signed over that
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out key.pem 2>/dev/null
common=(-new -key key.pem -subj "/C=KR/O=Test/CN=Req" -addext "subjectAltName=DNS:req.example,email:req@example.com"
  -addext "basicConstraints=critical,CA:FALSE" -outform DER)
openssl req "${common[@]}" -sha256 -out openssl.der
openssl req "${common[@]}" -sha256 -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:32 -out pss.der

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" /usr/bin/python3 - <<'PY'
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.x509.oid import AttributeOID, NameOID

from derwriter import oid, seq, setof, tlv

key = serialization.load_pem_private_key(open('key.pem', 'rb').read(), None)
n = key.private_numbers()
with open('key.rsa.txt', 'w') as f:
    for v in (n.public_numbers.n, n.public_numbers.e, n.d, n.p, n.q, n.dmp1, n.dmq1, n.iqmp):
        f.write('%x\n' % v)

name = x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, 'KR'), x509.NameAttribute(NameOID.COMMON_NAME, 'Req')])
csr = (x509.CertificateSigningRequestBuilder().subject_name(name)
       .add_attribute(AttributeOID.CHALLENGE_PASSWORD, b'secret word')
       .add_extension(x509.KeyUsage(True, False, False, False, False, False, False, False, False), critical=True)
       .sign(key, hashes.SHA1()))
open('challenge.der', 'wb').write(csr.public_bytes(serialization.Encoding.DER))

# The same body with the Extensions wrapped in an OCTET STRING, signed anew.
spki = key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.SubjectPublicKeyInfo)
exts = seq(seq(oid('2.5.29.19'), tlv(0x01, b'\xff'), tlv(0x04, seq(tlv(0x01, b'\xff')))))
attribute = seq(oid('1.2.840.113549.1.9.14'), setof(tlv(0x04, exts)))
info = seq(tlv(0x02, b'\x00'), name.public_bytes(), spki, tlv(0xa0, attribute))
sig = key.sign(info, padding.PKCS1v15(), hashes.SHA256())
alg = seq(oid('1.2.840.113549.1.1.11'), tlv(0x05, b''))
open('wrapped.der', 'wb').write(seq(info, alg, tlv(0x03, b'\x00' + sig)))
PY

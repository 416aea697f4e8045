#!/usr/bin/env bash
# Makes keys, SubjectPublicKeyInfos and signature values with openssl and
# python3-cryptography for the key tests, into $1:
#   rsa.pem rsa.spki.der rsa.txt     RSA-2048 key, its SPKI, its eight values
#   rsa2.txt                         another RSA key's values
#   ec.pem ec.spki.der ec.txt        P-256 key, its SPKI, d x y
#   ec2.txt                          another P-256 key's d x y
#   p384.spki.der explicit.spki.der compressed.spki.der dsa.spki.der
#   no-named-curve.spki.der          the SPKI of the vectors' ec_no_named_curve.pem
#   ecdsa.sig                        openssl dgst -sha256 -sign with ec.pem
#   ecdsa.txt                        python-made ECDSA values: der r s (hex)
#   digestinfo.der                   DigestInfo recovered from an RSA signature
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null
py=/usr/bin/python3
vectors=/usr/lib/python3/dist-packages/cryptography_vectors/x509/custom

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.pem 2>/dev/null
openssl pkey -in rsa.pem -pubout -outform DER -out rsa.spki.der
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.pem 2>/dev/null
openssl pkey -in ec.pem -pubout -outform DER -out ec.spki.der
openssl ec -in ec.pem -pubout -conv_form compressed -outform DER -out compressed.spki.der 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:secp384r1 -out p384.pem 2>/dev/null
openssl pkey -in p384.pem -pubout -outform DER -out p384.spki.der
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -pkeyopt ec_param_enc:explicit \
  -out explicit.pem 2>/dev/null
openssl pkey -in explicit.pem -pubout -outform DER -out explicit.spki.der
openssl genpkey -genparam -algorithm DSA -pkeyopt dsa_paramgen_bits:1024 -out dsa.param 2>/dev/null
openssl genpkey -paramfile dsa.param -out dsa.pem 2>/dev/null
openssl pkey -in dsa.pem -pubout -outform DER -out dsa.spki.der

printf 'message to sign\n' > msg.txt
openssl dgst -sha256 -sign ec.pem -out ecdsa.sig msg.txt
openssl dgst -sha256 -sign rsa.pem -out rsa.sig msg.txt
openssl pkeyutl -verifyrecover -pubin -inkey rsa.spki.der -keyform DER -in rsa.sig -out digestinfo.der

openssl x509 -in "$vectors/ec_no_named_curve.pem" -outform DER -out no-named-curve.der

"$py" - <<'PY'
from cryptography.hazmat.primitives import serialization, hashes
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from pyasn1.codec.der import decoder, encoder
from pyasn1_modules import rfc5280

def load(name):
    return serialization.load_pem_private_key(open(name, 'rb').read(), None)

def write_rsa(key, name):
    n = key.private_numbers()
    with open(name, 'w') as f:
        for v in (n.public_numbers.n, n.public_numbers.e, n.d, n.p, n.q, n.dmp1, n.dmq1, n.iqmp):
            f.write('%x\n' % v)

def write_ec(key, name):
    n = key.private_numbers()
    with open(name, 'w') as f:
        for v in (n.private_value, n.public_numbers.x, n.public_numbers.y):
            f.write('%x\n' % v)

write_rsa(load('rsa.pem'), 'rsa.txt')
write_rsa(rsa.generate_private_key(65537, 1024), 'rsa2.txt')
write_ec(load('ec.pem'), 'ec.txt')
write_ec(ec.generate_private_key(ec.SECP256R1()), 'ec2.txt')

# Signatures of many messages, so that r and s of every length and top bit occur.
key = load('ec.pem')
with open('ecdsa.txt', 'w') as f:
    for i in range(64):
        der = key.sign(b'message %d' % i, ec.ECDSA(hashes.SHA256()))
        r, s = decode_dss_signature(der)
        f.write('%s %x %x\n' % (der.hex(), r, s))

cert, _ = decoder.decode(open('no-named-curve.der', 'rb').read(), asn1Spec=rfc5280.Certificate())
open('no-named-curve.spki.der', 'wb').write(encoder.encode(cert['tbsCertificate']['subjectPublicKeyInfo']))
PY

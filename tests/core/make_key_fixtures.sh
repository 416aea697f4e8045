#!/usr/bin/env bash
# Makes the key, certificate and PKCS#12 files of the key tests into $1,
# with openssl, python3-cryptography and kisa_key.py. Passwords: "pw".
#   rsa.pem rsa.der            RSA-2048 PKCS#1 (genrsa -traditional), and as DER
#   rsa-des3.pem rsa-aes128.pem  the same, encrypted (rsa -traditional -des3 / -aes128)
#   rsa.text                   openssl rsa -text -noout
#   p8-aes.der p8-aes.pem      PKCS#8 -v2 aes-256-cbc -v2prf hmacWithSHA256
#   p8-seed.der                PKCS#8 -v2 seed (legacy provider)
#   p8-3des.der                PKCS#8 -v1 PBE-SHA1-3DES
#   p8-plain.der p8-plain.pem  PKCS#8 without encryption
#   p8-kisa.der random.hex     pbeWithSHA1AndSEED-CBC with a 20-byte randomNum, by kisa_key.py
#   p8-iter.der                PKCS#8 -v2 aes-128-cbc at 10^9 iterations (never opened)
#   cert.pem cert.der          self-signed over rsa.pem, keyUsage digitalSignature, nonRepudiation
#   km.der                     the same key, keyUsage keyEncipherment, dataEncipherment
#   pub.pem pub.der rsapub.pem its public key (SubjectPublicKeyInfo, and RSAPublicKey)
#   other.pem other.der        another key and its self-signed certificate
#   ec-p8.der ec-p8-enc.der    a P-256 key, plain and encrypted PKCS#8
#   big.pem                    RSA-4096 with e of 17 bytes (components past their fields)
#   ca.pem ca.key ee.pem ee.key  a CA and an end-entity certificate it signed
#   ee-p8.der                  ee.key as PKCS#8 -v2 aes-256-cbc
#   ee-default.p12 ee-legacy.p12 ee-3des.p12  openssl pkcs12 -export of ee with the CA (default,
#                              -legacy, -keypbe/-certpbe PBE-SHA1-3DES)
#   gov256.p12 gov1.p12        python: O=Government of Korea certificates (SHA-256 / SHA-1) with their keys
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null
legacy=(-provider legacy -provider default)

openssl genrsa -traditional -out rsa.pem 2048 2>/dev/null
openssl rsa -in rsa.pem -traditional -outform DER -out rsa.der 2>/dev/null
openssl rsa -in rsa.pem -traditional -des3 -passout pass:pw -out rsa-des3.pem 2>/dev/null
openssl rsa -in rsa.pem -traditional -aes128 -passout pass:pw -out rsa-aes128.pem 2>/dev/null
openssl rsa -in rsa.pem -text -noout > rsa.text 2>/dev/null
openssl pkcs8 -topk8 -in rsa.pem -outform DER -v2 aes-256-cbc -v2prf hmacWithSHA256 -passout pass:pw -out p8-aes.der
openssl pkcs8 -topk8 -in rsa.pem -v2 aes-256-cbc -v2prf hmacWithSHA256 -passout pass:pw -out p8-aes.pem
openssl pkcs8 -topk8 -in rsa.pem -outform DER -v2 seed -passout pass:pw -out p8-seed.der "${legacy[@]}"
openssl pkcs8 -topk8 -in rsa.pem -outform DER -v1 PBE-SHA1-3DES -passout pass:pw -out p8-3des.der
openssl pkcs8 -topk8 -nocrypt -in rsa.pem -outform DER -out p8-plain.der
openssl pkcs8 -topk8 -nocrypt -in rsa.pem -out p8-plain.pem
printf '%s' 0f1e2d3c4b5a69788796a5b4c3d2e1f0aabbccdd > random.hex
/usr/bin/python3 "$here/kisa_key.py" make p8-plain.der pw "$(cat random.hex)" p8-kisa.der
# The count is written by hand: openssl would run it.
openssl asn1parse -genconf - -out p8-iter.der -noout <<'EOF'
asn1 = SEQUENCE:epki
[epki]
alg = SEQUENCE:alg
data = FORMAT:HEX,OCTETSTRING:00112233445566778899AABBCCDDEEFF
[alg]
oid = OID:PBES2
p = SEQUENCE:pbes2
[pbes2]
kdf = SEQUENCE:kdf
enc = SEQUENCE:enc
[kdf]
oid = OID:PBKDF2
p = SEQUENCE:kdfp
[kdfp]
salt = FORMAT:HEX,OCTETSTRING:0102030405060708
count = INTEGER:1000000000
[enc]
oid = OID:aes-128-cbc
iv = FORMAT:HEX,OCTETSTRING:000102030405060708090A0B0C0D0E0F
EOF

openssl req -x509 -new -key rsa.pem -subj "/C=KR/O=Key Test/CN=signer" -days 30 \
  -addext keyUsage=critical,digitalSignature,nonRepudiation -out cert.pem
openssl x509 -in cert.pem -outform DER -out cert.der
openssl req -x509 -new -key rsa.pem -subj "/C=KR/O=Key Test/CN=km" -days 30 \
  -addext keyUsage=critical,keyEncipherment,dataEncipherment -outform DER -out km.der
openssl pkey -in rsa.pem -pubout -out pub.pem
openssl pkey -in rsa.pem -pubout -outform DER -out pub.der
openssl rsa -in rsa.pem -RSAPublicKey_out -out rsapub.pem 2>/dev/null
openssl genrsa -traditional -out other.pem 2048 2>/dev/null
openssl req -x509 -new -key other.pem -subj "/CN=other" -days 30 -outform DER -out other.der
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 | openssl pkcs8 -topk8 -nocrypt -outform DER -out ec-p8.der
openssl pkcs8 -topk8 -inform DER -in ec-p8.der -outform DER -v2 aes-128-cbc -passout pass:pw -out ec-p8-enc.der
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:4096 -pkeyopt rsa_keygen_pubexp:0x10000000000000000000000000000000f \
  -out big.pem 2>/dev/null

openssl req -x509 -new -newkey rsa:2048 -nodes -keyout ca.key -subj "/C=KR/O=Key Test/CN=Test CA" -days 30 \
  -addext basicConstraints=critical,CA:TRUE -out ca.pem 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -keyout ee.key -subj "/C=KR/O=Key Test/CN=holder" -out ee.csr 2>/dev/null
openssl x509 -req -in ee.csr -CA ca.pem -CAkey ca.key -set_serial 7 -days 30 -out ee.pem \
  -extfile <(printf 'keyUsage=critical,digitalSignature,nonRepudiation\n') 2>/dev/null
openssl pkcs8 -topk8 -in ee.key -outform DER -v2 aes-256-cbc -passout pass:pw -out ee-p8.der
openssl pkcs12 -export -in ee.pem -inkey ee.key -certfile ca.pem -passout pass:pw -out ee-default.p12
openssl pkcs12 -export -legacy -in ee.pem -inkey ee.key -certfile ca.pem -passout pass:pw -out ee-legacy.p12 \
  "${legacy[@]}"
openssl pkcs12 -export -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -in ee.pem -inkey ee.key -certfile ca.pem \
  -passout pass:pw -out ee-3des.p12

/usr/bin/python3 -W ignore - <<'EOF'
import datetime
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.x509.oid import NameOID

now = datetime.datetime.utcnow()
for name, digest in (("gov256", hashes.SHA256()), ("gov1", hashes.SHA1())):
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    subject = x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "KR"),
                         x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Government of Korea"),
                         x509.NameAttribute(NameOID.COMMON_NAME, name)])
    cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now)
            .not_valid_after(now + datetime.timedelta(days=30)).sign(key, digest))
    data = pkcs12.serialize_key_and_certificates(name.encode(), key, cert, None,
                                                 serialization.BestAvailableEncryption(b"pw"))
    open(name + ".p12", "wb").write(data)
    open(name + ".der", "wb").write(cert.public_bytes(serialization.Encoding.DER))
EOF

#!/usr/bin/env bash
# Makes the script-check fixtures with openssl into $1:
#   key.pem pub.der           an RSA key and its SubjectPublicKeyInfo
#   msg.txt sig.bin           script content and its SHA-1 RSA signature
#   hmac.der                  AlgorithmIdentifier hmacWithSHA1 with a 20-byte key (hmac.key, hex)
#   rsa.der                   AlgorithmIdentifier sha1WithRSAEncryption with pub.der as parameter
#   hmac-null.der rsa-none.der sha256.der   hmacWithSHA1 with NULL, sha1WithRSA without
#                             parameters, sha256WithRSAEncryption
set -euo pipefail
cd "$1"
export OPENSSL_CONF=/dev/null

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out key.pem 2>/dev/null
openssl pkey -in key.pem -pubout -outform DER -out pub.der
printf 'document.write("signed script content");\n' > msg.txt
openssl dgst -sha1 -sign key.pem -out sig.bin msg.txt

openssl rand -hex 20 > hmac.key
gen() { openssl asn1parse -genconf "$1.cnf" -noout -out "$1.der" >/dev/null; }
cat > hmac.cnf <<CNF
asn1=SEQUENCE:alg
[alg]
oid=OID:hmacWithSHA1
key=FORMAT:HEX,OCTETSTRING:$(cat hmac.key)
CNF
gen hmac

modulus=$(openssl rsa -in key.pem -noout -modulus 2>/dev/null | sed 's/^Modulus=//')
cat > rsa.cnf <<CNF
asn1=SEQUENCE:alg
[alg]
oid=OID:sha1WithRSAEncryption
spki=SEQUENCE:spki
[spki]
algorithm=SEQUENCE:rsaalg
key=BITWRAP,SEQUENCE:rsakey
[rsaalg]
oid=OID:rsaEncryption
null=NULL
[rsakey]
n=INTEGER:0x$modulus
e=INTEGER:0x010001
CNF
gen rsa

printf 'asn1=SEQUENCE:alg\n[alg]\noid=OID:hmacWithSHA1\nnull=NULL\n' > hmac-null.cnf
gen hmac-null
printf 'asn1=SEQUENCE:alg\n[alg]\noid=OID:sha1WithRSAEncryption\n' > rsa-none.cnf
gen rsa-none
printf 'asn1=SEQUENCE:alg\n[alg]\noid=OID:sha256WithRSAEncryption\nnull=NULL\n' > sha256.cnf
gen sha256

#!/usr/bin/env bash
# Makes key and certificate files with openssl for the crypto front-end
# tests, into $1:
#   rsa-trad.pem rsa-trad.der   PKCS#1 RSA key (genrsa -traditional), and as DER
#   rsa-enc.pem                 the same key encrypted (rsa -traditional -aes128)
#   p8-enc.pem p8-enc.der       PKCS#8 EncryptedPrivateKeyInfo (-v2 aes-256-cbc)
#   p8-plain.der                PKCS#8 PrivateKeyInfo (-nocrypt)
#   pub.pem pub.der             SubjectPublicKeyInfo
#   cert.pem cert.der           a self-signed certificate
#   p7.pem p7.der               a certificates-only PKCS#7
set -euo pipefail
cd "$1"
export OPENSSL_CONF=/dev/null

openssl genrsa -traditional -out rsa-trad.pem 1024 2>/dev/null
openssl rsa -in rsa-trad.pem -traditional -outform DER -out rsa-trad.der 2>/dev/null
openssl rsa -in rsa-trad.pem -traditional -aes128 -passout pass:pw -out rsa-enc.pem 2>/dev/null
openssl pkcs8 -topk8 -v2 aes-256-cbc -in rsa-trad.pem -passout pass:pw -out p8-enc.pem
openssl asn1parse -in p8-enc.pem -noout -out p8-enc.der
openssl pkcs8 -topk8 -nocrypt -in rsa-trad.pem -outform DER -out p8-plain.der
openssl pkey -in rsa-trad.pem -pubout -out pub.pem
openssl pkey -in rsa-trad.pem -pubout -outform DER -out pub.der
openssl req -x509 -new -key rsa-trad.pem -subj /CN=front -days 30 -out cert.pem
openssl x509 -in cert.pem -outform DER -out cert.der
openssl crl2pkcs7 -nocrl -certfile cert.pem -outform DER -out p7.der
openssl pkcs7 -inform DER -in p7.der -out p7.pem

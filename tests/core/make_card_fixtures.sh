#!/usr/bin/env bash
# A card's key and certificate, made with openssl into $1:
#   key.der        an RSA key as encrypted PKCS#8 DER (password "pw")
#   cert.der       its self-signed certificate
#   other.der      the certificate of another key
set -euo pipefail
cd "$1"
export OPENSSL_CONF=/dev/null
openssl genrsa -out key.pem 2048 2>/dev/null
openssl pkcs8 -topk8 -v2 aes-256-cbc -in key.pem -passout pass:pw -outform DER -out key.der
openssl req -x509 -new -key key.pem -subj /CN=card -days 30 -outform DER -out cert.der
openssl genrsa -out other.pem 2048 2>/dev/null
openssl req -x509 -new -key other.pem -subj /CN=other -days 30 -outform DER -out other.der

#!/bin/sh
# Web servers' keys and certificates for the session-data tests, made with
# openssl (no code of ours) into OUT_DIR:
#   server.key server.pem server.der   a web server (RSA 2048)
#   big.key big.pem                    a web server with a 6144-bit key (four
#                                      primes: made in well under a second),
#                                      whose wrapped values pass 1024 bytes
#   other.der                          a second server's certificate
# Usage: make_web_fixtures.sh OUT_DIR
set -eu
cd "$1"
export OPENSSL_CONF=/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout server.key -subj "/C=KR/O=Bank/CN=www.bank.example" -days 365 \
  -out server.pem 2>/dev/null
openssl x509 -in server.pem -outform DER -out server.der
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:6144 -pkeyopt rsa_keygen_primes:4 -out big.key 2>/dev/null
openssl req -x509 -key big.key -subj "/C=KR/O=Bank/CN=big.bank.example" -days 365 -out big.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -subj "/C=KR/O=Shop/CN=www.shop.example" -days 365 \
  -outform DER -out other.der 2>/dev/null

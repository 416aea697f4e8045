#!/usr/bin/env bash
# Certificates of the relay stub, made with openssl into <dir>:
#   ca.pem                      the test CA (QUILLETEX_RELAY_CAFILE)
#   server.pem, server.key      127.0.0.1 and localhost, issued by it
#   other-server.pem/.key       the same names, issued by another CA
#   self.pem, self.key          the same names, self-signed
set -euo pipefail
dir="${1:?usage: make_relay_certs.sh <dir>}"
mkdir -p "$dir"
cd "$dir"
san="subjectAltName=IP:127.0.0.1,DNS:localhost"
ca() {  # name
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 \
        -subj "/CN=$1 test CA" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
server() {  # name issuer
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=127.0.0.1" 2>/dev/null
    openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days 30 \
        -extfile <(printf '%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$san") 2>/dev/null
    rm -f "$1.csr"
}
ca ca
ca other-ca
server server ca
server other-server other-ca
openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 30 -subj "/CN=127.0.0.1" \
    -addext "$san" 2>/dev/null

#!/bin/sh
# The signing fixtures of the agent's tests, made without code of ours:
# the store's make_sign_store.py (python3-cryptography, pyasn1, openssl,
# tests/core/kisa_key.py) into OUT, and beside it
#   zero/signCert.der signPri.key  Hong's pair again, the key holding a VID
#                                  random whose first byte is 0x00
#   hong/cert.pem                  Hong's certificate as PEM
#   hong.p12                       `openssl pkcs12 -export` of Hong's pair,
#                                  password "p12-pw-1"
#   zero-random.txt                the hex of zero/'s random
# Usage: make_signing_fixtures.sh OUT
set -eu
out="$1"
here="$(cd "$(dirname "$0")" && pwd)"
export OPENSSL_CONF=/dev/null
/usr/bin/python3 "$here/../../store/make_sign_store.py" "$out"
password="$(sed -n 's/^password //p' "$out/values.txt")"
mkdir -p "$out/zero"
openssl pkcs8 -topk8 -nocrypt -in "$out/hong/sign.pem" -outform DER -out "$out/zero/plain.der"
random="00$(openssl rand -hex 19)"
/usr/bin/python3 "$here/../../core/kisa_key.py" make "$out/zero/plain.der" "$password" "$random" "$out/zero/signPri.key"
rm -f "$out/zero/plain.der"
cp "$out/hong/signCert.der" "$out/zero/signCert.der"
printf '%s\n' "$random" > "$out/zero-random.txt"
openssl x509 -inform DER -in "$out/hong/signCert.der" -out "$out/hong/cert.pem"
openssl pkcs12 -export -in "$out/hong/cert.pem" -inkey "$out/hong/sign.pem" -passout pass:p12-pw-1 -out "$out/hong.p12"

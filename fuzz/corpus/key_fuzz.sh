#!/usr/bin/env bash
# Key files: encrypted and plain keys in the forms the readers take, under
# the password the target tries ("pw") and small iteration counts.
# Usage: key_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:512 -out "$out/key.pem" 2>/dev/null
openssl pkcs8 -topk8 -nocrypt -in "$out/key.pem" -outform DER -out "$out/plain.der"
openssl rsa -in "$out/key.pem" -traditional -aes128 -passout pass:pw -out "$out/rsa-aes.pem" 2>/dev/null
for v in "-v2 aes-128-cbc -v2prf hmacWithSHA256" "-v2 seed" "-v1 PBE-SHA1-3DES"; do
  # shellcheck disable=SC2086
  openssl pkcs8 -topk8 -in "$out/key.pem" -outform DER -passout pass:pw -iter 3 $v \
    -provider legacy -provider default -out "$out/enc-${v// /_}.der"
done
rm "$out/key.pem"

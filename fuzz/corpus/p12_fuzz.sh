#!/usr/bin/env bash
# PKCS#12 files: openssl's, NSS's and python3-cryptography's of the PKCS#12
# tests, and the same key and certificates under the password the target
# tries ("pw") in every form openssl writes.
# Usage: p12_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/pkcs/make_p12_fixtures.sh" "$out"
for v in "" "-legacy" "-nomaciter -legacy" "-descert"; do
  # shellcheck disable=SC2086
  openssl pkcs12 -export -inkey "$out/leaf.key" -in "$out/leaf.pem" -certfile "$out/ca.pem" -name leaf \
    -passout pass:pw $v -out "$out/pw${v// /_}.p12"
done
find "$out" -mindepth 1 ! -name '*.p12' -exec rm -rf {} +
cp /usr/lib/python3/dist-packages/cryptography_vectors/pkcs12/*.p12 "$out/"

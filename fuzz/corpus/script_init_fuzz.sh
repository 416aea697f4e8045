#!/usr/bin/env bash
# Script keys and Base64 cipher text: the algorithm identifiers of the script
# tests, and openssl enc output under the target's key, in Base64.
# Usage: script_init_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
mkdir -p "$out/made"
"$root/tests/core/make_script_fixtures.sh" "$out/made"
for f in hmac rsa hmac-null sha256; do base64 -w 0 "$out/made/$f.der" > "$out/$f.b64"; done
rm -rf "$out/made"
printf 'script content to hide' |
  OPENSSL_CONF=/dev/null openssl enc -seed-cbc -K 070102030405060708090a0b0c0d0e0f \
    -iv 09080706050403020100010203040506 -provider legacy -provider default | base64 -w 64 > "$out/seed.b64"

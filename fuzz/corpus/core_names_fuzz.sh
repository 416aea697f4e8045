#!/usr/bin/env bash
# Crypto front end: algorithm names, and the key, certificate and PKCS#7
# files of the front-end tests in PEM and DER.
# Usage: core_names_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/core/make_front_fixtures.sh" "$out"
for n in SEED-CBC aes256/ofb ARIA-128-CBC DES_EDE3-CBC bf-ctr SHA-256 sha1 HAS160 MDC2 SHA512withRSA; do
  printf '%s' "$n" > "$out/name-${n//\//_}.txt"
done

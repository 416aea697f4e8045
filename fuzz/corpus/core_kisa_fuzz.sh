#!/usr/bin/env bash
# Security-token driver lists: the signed lists of libzunPKI's driver-list tests
# (both kinds, octet-string texts, an empty list, texts at the length limit).
# Usage: core_kisa_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/pkcs/make_kisa_fixtures.sh" "$out"
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +

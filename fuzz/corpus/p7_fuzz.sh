#!/usr/bin/env bash
# PKCS#7 messages: openssl's of every content type and the changed signed ones.
# Usage: p7_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/pkcs/make_p7_fixtures.sh" "$out"
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +

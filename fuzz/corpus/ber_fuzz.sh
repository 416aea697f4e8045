#!/usr/bin/env bash
# Structures of every kind the ASN.1 tests make, plus a few hand-picked edges.
# Usage: ber_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/asn1/make_fixtures.sh" "$out"
find "$out" -mindepth 1 ! -name '*.der' ! -name '*.ber' -exec rm -rf {} +
printf '\x30\x80\x04\x01\x61\x00\x00' > "$out/indefinite.ber"
printf '\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x0b' > "$out/oid.der"
printf '\x17\x0d240101120000Z' > "$out/utctime.der"

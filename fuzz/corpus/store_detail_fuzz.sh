#!/usr/bin/env bash
# Certificates of the store's detail tests (make_mgmt_certs.py,
# python3-cryptography): every key usage the names cover, a Hangul subject
# with each extension the detail shows, a 4096-bit and an EC key, version 1,
# one in PEM; and passwords with runs at their ends and in EUC-KR.
# Usage: store_detail_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$root/tests/store/make_mgmt_certs.py" "$work"
cp "$work"/*.der "$out/"
openssl x509 -inform DER -in "$work/full.der" -out "$out/full.pem"
printf 'password111' > "$out/pw-run-at-end"
printf '\x03xabcx' > "$out/pw-ascending"
printf '\x04zyxw' > "$out/pw-descending"
printf '\x03\xb0\xa1\xb0\xa1\xb0\xa1' > "$out/pw-euckr"

#!/usr/bin/env bash
# Certificates of every organisation group, key usage and store layout, and
# ones whose names would leave the store, from the store tests' script
# (python3-cryptography), with one in PEM.
# Usage: store_cert_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
/usr/bin/python3 "$root/tests/store/make_store_certs.py" "$out"
rm -f "$out/certs.tsv"
openssl x509 -inform DER -in "$out/user-sign.der" -out "$out/user-sign.pem"

#!/usr/bin/env bash
# Certification requests: those of the request tests (openssl, PSS, python's
# challenge password, the wrapped extension request) and the vectors'.
# Usage: req_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/x509/make_req_fixtures.sh" "$out" 2>/dev/null
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +
vectors=/usr/lib/python3/dist-packages/cryptography_vectors/x509/requests
cp "$vectors"/*.der "$out/"
for f in "$vectors"/*.pem; do
  openssl req -in "$f" -outform DER -out "$out/$(basename "$f" .pem).der" 2>/dev/null || true
done

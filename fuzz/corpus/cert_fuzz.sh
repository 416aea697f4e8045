#!/usr/bin/env bash
# Certificates: the openssl-made ones of the certificate tests (one of them
# in byte forms that differ around its signed body) and PKITS'.
# Usage: cert_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/x509/make_cert_fixtures.sh" "$out"
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +
cp /usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/certs/*.crt "$out/"
cp /usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/certpairs/*.cp "$out/"
# One certificate in byte forms that differ around its signed body.
mkdir -p "$out/forms"
"$root/tests/pki/x509/make_ber_fixtures.sh" "$out/forms"
for f in "$out"/forms/cert*.der; do mv "$f" "$out/forms-$(basename "$f")"; done
rm -rf "$out/forms"

#!/usr/bin/env bash
# Certificates: those of the core's information-record tests (openssl,
# python3-cryptography, libzunPKI's identity data), as DER and PEM, and
# PKITS'.
# Usage: core_x509_info_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/core/make_x509_fixtures.sh" "$work" >/dev/null
for f in "$work"/certs/*.der; do
  cp "$f" "$out/"
  openssl x509 -inform DER -in "$f" -out "$out/$(basename "$f" .der).pem"
done
cp /usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/certs/*.crt "$out/"

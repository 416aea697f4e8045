#!/usr/bin/env bash
# CRLs and trust lists: the lists of the CRL and trust-list tests (one of
# them in byte forms that differ around its signed body), the vectors' and
# PKITS' CRLs.
# Usage: crl_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/x509/make_crl_fixtures.sh" "$out"
mkdir -p "$out/ctl"
"$root/tests/pki/x509/make_ctl_fixtures.sh" "$out/ctl"
for f in "$out"/ctl/*.der; do mv "$f" "$out/ctl-$(basename "$f")"; done
mkdir -p "$out/forms"
"$root/tests/pki/x509/make_ber_fixtures.sh" "$out/forms"
for f in "$out"/forms/crl*.der; do mv "$f" "$out/forms-$(basename "$f")"; done
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +
vectors=/usr/lib/python3/dist-packages/cryptography_vectors/x509
cp "$vectors"/PKITS_data/crls/*.crl "$out/"
for f in "$vectors"/custom/*crl*.pem; do
  openssl crl -in "$f" -outform DER -out "$out/$(basename "$f" .pem).der" 2>/dev/null || true
done
cp "$vectors"/custom/*crl*.der "$out/"

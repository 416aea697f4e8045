#!/usr/bin/env bash
# OCSP: the requests of the OCSP tests (openssl's, signed and unsigned, and
# python's with DEFAULT values present) and responses of openssl's responder
# to them, good and revoked, with and without a nonce.
# Usage: ocsp_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/pki/pkcs/make_ocsp_fixtures.sh" "$work"
cd "$work"
export OPENSSL_CONF=/dev/null
cp q-*.der r-*.der "$out/"
for q in q-signed q-unsigned q-two; do
  openssl ocsp -index index.txt -CA ca.pem -rsigner resp.pem -rkey resp.key -reqin "$q.der" \
    -respout "$out/resp-$q.der" -ndays 1 2>/dev/null
done
openssl ocsp -index index.txt -CA ca.pem -rsigner resp.pem -rkey resp.key -resp_key_id -reqin q-two.der \
  -respout "$out/resp-bykey.der" 2>/dev/null

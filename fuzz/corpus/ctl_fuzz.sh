#!/usr/bin/env bash
# Signed trust lists: the lists of the intake tests, and one that carries
# its root, which the target then trusts.
# Usage: ctl_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/pkcs/make_ctl_signed_fixtures.sh" "$out"
cat "$out/root.pem" "$out/carried.pem" > "$out/with-root.pem"
openssl cms -sign -nodetach -binary -econtent_type 1.3.6.1.4.1.311.10.1 -in "$out/ctl.der" -signer "$out/signer.pem" \
  -inkey "$out/signer.key" -certfile "$out/with-root.pem" -outform DER -out "$out/signed-root.der"
find "$out" -mindepth 1 ! -name 'signed*.der' -exec rm -rf {} +

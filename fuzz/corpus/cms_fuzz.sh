#!/usr/bin/env bash
# CMS messages: openssl cms's signed (attached, detached, key identifier,
# SHA-1, PSS, without attributes, streamed, two signers) and enveloped ones
# (AES-256, 3DES, SEED, OAEP with SHA-256, key identifier), and the PKCS#7
# messages they build on.
# Usage: cms_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/pki/pkcs/make_cms_fixtures.sh" "$out" >/dev/null 2>&1
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +
rm -f "$out"/ca.der "$out"/signer.der "$out"/other.der "$out"/crl.der

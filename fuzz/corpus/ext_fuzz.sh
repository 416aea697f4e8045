#!/usr/bin/env bash
# Extension bodies: every body of the vectors' certificates and CRLs, and
# python-cryptography's.
# Usage: ext_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
/usr/bin/python3 "$root/tests/pki/x509/ext_bodies_dump.py" /usr/lib/python3/dist-packages/cryptography_vectors/x509 "$out"
/usr/bin/python3 "$root/tests/pki/x509/make_ext_bodies.py" "$out"
find "$out" -mindepth 1 ! -name '*.der' -exec rm -rf {} +

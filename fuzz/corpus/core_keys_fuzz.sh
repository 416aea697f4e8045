#!/usr/bin/env bash
# Key files of every form the core opens (PKCS#1 PEM and DER, DEK-Info PEM,
# PKCS#8 under PBES2, SEED, 3DES and the KISA row, plain PKCS#8, EC keys,
# public keys and certificates) and PKCS#12 files of openssl and python, all
# under the password the target tries ("pw"), from the key tests' script.
# Usage: core_keys_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
"$root/tests/core/make_key_fixtures.sh" "$out"
# The 4096-bit key and what is no key file go; the rest seed the corpus.
rm -f "$out"/{big.pem,rsa.text,random.hex,ee.csr,*.key}

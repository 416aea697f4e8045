#!/usr/bin/env bash
# CRLs of the core's check tests (openssl ca -gencrl with reasons,
# python3-cryptography's with invalidity dates and serial 0x1001, a list of
# 3000 entries), libzunPKI's and PKITS' CRLs, and DigestInfos openssl
# signed.
# Usage: core_crl_check_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/core/make_x509_fixtures.sh" "$work" >/dev/null
cp "$work"/ca.crl "$work"/py.crl "$work"/other.crl "$work"/large.crl "$out/"
for f in no-next-update v1 pss openssl as-received; do cp "$work/pkicrl/$f.der" "$out/pki-$f.crl"; done
cp /usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/crls/*.crl "$out/"
export OPENSSL_CONF=/dev/null
echo data > "$work/data"
for md in sha1 sha256 sha512; do
  openssl dgst -"$md" -sign "$work/ca.key" -out "$work/sig" "$work/data"
  openssl pkeyutl -verifyrecover -inkey "$work/ca.key" -pkeyopt rsa_padding_mode:pkcs1 -in "$work/sig" \
    -out "$out/digestinfo-$md.der"
done

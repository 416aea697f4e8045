#!/usr/bin/env bash
# OCSP requests and responses of openssl over the CMS and OCSP tests'
# certificates: requests unsigned and signed, with and without a nonce, under
# SHA-1, SHA-256 and SHA-512, for one and three certificates, as DER and as
# PEM; responses of openssl ocsp -index signed by the CA and by its
# responder (good, revoked, unknown, with a nextUpdate, without
# certificates) and error responses.
# Usage: core_ocsp_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/core/make_cms_ocsp_fixtures.sh" "$work" >/dev/null
export OPENSSL_CONF=/dev/null
cd "$work"
signed=(-signer requestor.pem -signkey requestor.key)
openssl ocsp -issuer ca.pem -cert ee.pem -no_nonce -reqout "$out/q-unsigned.der"
openssl ocsp -issuer ca.pem -cert ee.pem -nonce "${signed[@]}" -reqout "$out/q-signed.der"
openssl ocsp -issuer ca.pem -sha256 -cert ee.pem -cert revoked.pem -cert topbit.pem -nonce "${signed[@]}" \
  -reqout "$out/q-three.der"
openssl ocsp -issuer ca.pem -sha512 -cert revoked.pem -nonce "${signed[@]}" -reqout "$out/q-sha512.der"
openssl ocsp -issuer ca.pem -cert ee.pem -no_nonce "${signed[@]}" -reqout "$out/q-no-nonce.der"
{ echo "-----BEGIN OCSP REQUEST-----"; openssl base64 -in "$out/q-signed.der"; echo "-----END OCSP REQUEST-----"; } \
  > "$out/q-signed.pem"
answer() {
  openssl ocsp -index index.txt -CA ca.pem -rsigner "$1" -rkey "$2" -reqin "$3" -respout "$4" "${@:5}" 2>/dev/null
}
answer resp.pem resp.key "$out/q-three.der" "$out/r-three.der"
answer ca.pem ca.key "$out/q-signed.der" "$out/r-by-ca.der" -ndays 1
answer resp.pem resp.key "$out/q-sha512.der" "$out/r-revoked.der" -resp_no_certs
answer resp.pem resp.key "$out/q-unsigned.der" "$out/r-no-nonce.der" -resp_key_id
openssl ocsp -issuer other-ca.pem -cert other.pem -nonce -reqout other-q.der
answer resp.pem resp.key other-q.der "$out/r-unknown.der"
# responseStatus tryLater and unauthorized, without bytes.
printf '\x30\x03\x0a\x01\x03' > "$out/r-try-later.der"
printf '\x30\x03\x0a\x01\x06' > "$out/r-unauthorized.der"

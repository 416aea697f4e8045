#!/usr/bin/env bash
# PKCS#7 messages of openssl over the key tests' certificates: signed
# (attached, detached, SHA-1, SHA-256, PSS, without attributes, without
# certificates, two signers, a GeneralizedTime signingTime under faketime),
# a degenerate signedData without signers, enveloped (AES, 3DES, SEED, OAEP)
# and a data ContentInfo; each as DER and as PEM.
# Usage: core_pkcs7_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/core/make_key_fixtures.sh" "$work" >/dev/null
export OPENSSL_CONF=/dev/null
legacy=(-provider legacy -provider default)
cd "$work"
printf 'content of a fuzz seed message\n' > data
sign() { openssl cms -sign -binary -outform DER -signer ee.pem -inkey ee.key -in data "$@"; }
sign -nodetach -out "$out/attached.der"
sign -out "$out/detached.der"
sign -nodetach -md sha1 -out "$out/sha1.der"
sign -nodetach -md sha256 -keyopt rsa_padding_mode:pss -out "$out/pss.der"
sign -nodetach -noattr -out "$out/noattr.der"
sign -nodetach -nocerts -out "$out/nocerts.der"
openssl cms -sign -binary -outform DER -nodetach -signer ee.pem -inkey ee.key -signer cert.pem -inkey rsa.pem \
  -in data -out "$out/two-signers.der"
TZ=UTC faketime 2051-01-01 openssl cms -sign -binary -outform DER -nodetach -signer ee.pem -inkey ee.key -in data \
  -out "$out/generalized-time.der"
openssl crl2pkcs7 -nocrl -certfile ee.pem -outform DER -out "$out/degenerate.der"
for c in aes128 aes256 des3; do
  openssl cms -encrypt -binary -outform DER -"$c" -in data -recip km.der -out "$out/env-$c.der"
done
openssl cms -encrypt -binary -outform DER -seed-cbc -in data -recip km.der -out "$out/env-seed.der" "${legacy[@]}"
openssl cms -encrypt -binary -outform DER -aes128 -in data -recip km.der -keyopt rsa_padding_mode:oaep \
  -out "$out/env-oaep.der"
openssl cms -data_create -binary -outform DER -in data -out "$out/data.der"
for f in "$out"/*.der; do
  openssl base64 -in "$f" -out "${f%.der}.b64"
  { echo "-----BEGIN PKCS7-----"; cat "${f%.der}.b64"; echo "-----END PKCS7-----"; } > "${f%.der}.pem"
  rm "${f%.der}.b64"
done

#!/usr/bin/env bash
# CMS messages of openssl over the CMS tests' certificates: signed (attached,
# detached, -keyid, SHA-1, PSS, without attributes, without certificates,
# two signers, a second signer of one certificate), a certificates-only
# message, enveloped (AES, SEED, OAEP, -keyid), digested and data; each as
# DER and as Base64.
# Usage: core_cms_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$root/tests/core/make_cms_ocsp_fixtures.sh" "$work" >/dev/null
export OPENSSL_CONF=/dev/null
legacy=(-provider legacy -provider default)
cd "$work"
printf 'content of a fuzz seed message\n' > data
sign() { openssl cms -sign -binary -outform DER -signer s1.pem -inkey s1.key -in data "$@"; }
sign -nodetach -out "$out/attached.der"
sign -out "$out/detached.der"
sign -nodetach -keyid -out "$out/keyid.der"
sign -nodetach -md sha1 -out "$out/sha1.der"
sign -nodetach -keyopt rsa_padding_mode:pss -out "$out/pss.der"
sign -nodetach -noattr -out "$out/noattr.der"
sign -nodetach -nocerts -out "$out/nocerts.der"
sign -nodetach -signer s2.pem -inkey s2.key -out "$out/two-signers.der"
openssl cms -resign -inform DER -in "$out/attached.der" -signer s1.pem -inkey s1.key -nocerts -outform DER \
  -out "$out/resigned.der"
openssl crl2pkcs7 -nocrl -certfile s1.pem -outform DER -out "$out/degenerate.der"
openssl cms -encrypt -binary -outform DER -aes256 -in data -recip rc.pem -out "$out/env-aes.der"
openssl cms -encrypt -binary -outform DER -seed-cbc -in data -recip rc.pem -out "$out/env-seed.der" "${legacy[@]}"
openssl cms -encrypt -binary -outform DER -aes128 -in data -recip rc.pem -keyopt rsa_padding_mode:oaep \
  -out "$out/env-oaep.der"
openssl cms -encrypt -binary -outform DER -aes128 -keyid -in data -recip rc.pem -out "$out/env-keyid.der"
openssl cms -digest_create -binary -outform DER -in data -out "$out/digested.der"
openssl cms -data_create -binary -outform DER -in data -out "$out/data.der"
for f in "$out"/*.der; do base64 -w 0 "$f" > "${f%.der}.b64"; done

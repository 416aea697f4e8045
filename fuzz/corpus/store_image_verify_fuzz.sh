#!/usr/bin/env bash
# Signed images and URLs. Files (first byte 0): an image signed as the site
# signs it (openssl dgst -sha1 -binary | openssl pkeyutl -sign) with the
# fuzz build's test image signer (its key in <build>/store/image-signer; no
# signed seeds when the build names its own signer), a signature alone, the
# digest signed with 12 bytes more, and 100 bytes. URLs (first byte 1):
# with a port, without, with empty parts, of one part, of 1023 bytes.
# Usage: store_image_verify_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
export OPENSSL_CONF=/dev/null
key="$(cd "$out/../.." && pwd)/store/image-signer/signer.key"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
head -c 3000 /dev/urandom > "$work/img"
if [[ -f $key ]]; then
  sign() { openssl pkeyutl -sign -inkey "$key"; }
  { printf '\x00'; cat "$work/img"; openssl dgst -sha1 -binary "$work/img" | sign; } > "$out/signed"
  { printf '\x00'; openssl dgst -sha1 -binary < /dev/null | sign; } > "$out/signature-alone"
  { printf '\x00'; cat "$work/img"; { openssl dgst -sha1 -binary "$work/img"; printf 'twelve bytes'; } | sign; } \
    > "$out/digest-and-more"
fi
{ printf '\x00'; head -c 100 /dev/urandom; } > "$out/short"
url() { { printf '\x01'; printf '%s' "$2"; } > "$out/$1"; }
url port 'http://www.bank.example:8080/img/logo.png'
url plain 'http://www.bank.example/logo.gif'
url empty-parts 'http://host//a//b.png'
url one-part 'logo.png'
url long "http://h/$(printf 'a%.0s' $(seq 1014))"

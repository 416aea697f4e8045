#!/usr/bin/env bash
# CACerts texts: Base64 certificates made by openssl, stored ids, single
# items, empty and trailing items, 40 characters that are not hex, an item
# over 4095 bytes; subject DNs as the core writes them.
# Usage: job_cacerts_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/k.pem" -subj "/C=KR/O=yessign/CN=yessignCA Class 2" \
  -outform DER -out "$work/ca.der" 2>/dev/null
b64="$(openssl base64 -A -in "$work/ca.der")"
id="$(openssl x509 -inform DER -in "$work/ca.der" -noout -fingerprint -sha1 | sed -e 's/^.*=//' -e 's/://g')"
printf '%s|%s|' "$b64" "$id" > "$out/two"
printf '%s' "$b64" > "$out/single"
printf '||%s||' "$(echo "$id" | tr 'A-F' 'a-f')" > "$out/lower-id"
printf '../%037d|%s' 0 "$b64" > "$out/not-hex"
head -c 4096 /dev/zero | tr '\0' 'Q' > "$out/long"
printf 'cn=yessignCA Class 2,ou=AccreditedCA,o=yessign,c=kr' > "$out/dn"

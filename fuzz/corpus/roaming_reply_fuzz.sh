#!/usr/bin/env bash
# Roaming replies ("OK$" with a Base64 PKCS#12 made by openssl, export codes,
# refusals) and PKCS#10 replies.
# Usage: roaming_reply_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
openssl req -x509 -newkey rsa:1024 -nodes -keyout "$tmp/k.pem" -subj /CN=fuzz -days 1 -out "$tmp/c.pem" 2>/dev/null
openssl pkcs12 -export -in "$tmp/c.pem" -inkey "$tmp/k.pem" -passout pass:pw -out "$tmp/p.p12" 2>/dev/null
b64="$(base64 -w0 "$tmp/p.p12")"
printf 'OK$%s$' "$b64" > "$out/import"
printf 'OK$%s' "$(base64 -w64 "$tmp/p.p12")" > "$out/import-lines"
printf 'OK$12345678' > "$out/export8"
printf 'OK$1234567812345678$' > "$out/export16"
printf 'OK$123' > "$out/export-short"
printf 'ERROR$no such number' > "$out/error"
printf 'success|%s' "$(openssl x509 -in "$tmp/c.pem" -outform DER | base64 -w0)" > "$out/p10"

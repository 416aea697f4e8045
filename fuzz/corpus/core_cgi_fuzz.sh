#!/usr/bin/env bash
# CGI requests: a query with escapes, cookies, and multipart bodies (first
# line: the content type's parameters) with Korean names and a binary file.
# Usage: core_cgi_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
printf 'a=1&b=x%%20y&c&&%%ED%%95%%9C=%%EA%%B8%%80+%%2B&e=%%zz' > "$out/query.txt"
printf 'sid=a%%20b;  theme = dark ; empty=; flag;;' > "$out/cookies.txt"
{
  printf 'boundary=XyZ\n--XyZ\r\nContent-Disposition: form-data; name="a"\r\n\r\nhello\r\n'
  printf -- '--XyZ\r\nContent-Disposition: form-data; name="f"; filename="C:\\dir\\\xed\x95\x9c.bin"\r\n'
  printf 'Content-Type: application/octet-stream\r\n\r\n\x00\x01\xff\r\n--XyZx\r\n--XyZ--\r\n'
} > "$out/multipart.txt"
printf 'boundary="q q"; charset=utf-8\n\r\n--q q\r\ncontent-disposition: FORM-DATA; name=b\r\n\r\n\r\n--q q--' \
  > "$out/quoted.txt"

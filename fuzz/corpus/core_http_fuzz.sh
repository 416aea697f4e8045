#!/usr/bin/env bash
# HTTP responses: a first byte of settings (piece size, raw, small cap), then
# what a server sends: plain, with Content-Length, bare line feeds, chunked,
# folded and overlong fields, a 302 and a 404.
# Usage: core_http_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
printf '\x03HTTP/1.0 200 OK\r\nContent-Length: 5\r\nServer: x\r\n\r\nhello' > "$out/length.txt"
printf '\x00HTTP/1.1 200 OK\r\nContent-Type: application/pkix-crl\r\n\r\n0\x82\x01\x00body' > "$out/close.txt"
printf '\x07HTTP/1.0 302 Found\nLocation: /x\n\nmoved' > "$out/lf.txt"
printf '\x21HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\nContent-Length: 9\r\n\r\nnot found' > "$out/404.txt"
printf '\x02HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n' > "$out/chunked.txt"
printf '\x05HTTP/1.0 200 OK\r\nX-A: 1\r\n folded\r\nContent-Length: 2\r\n\r\nok' > "$out/folded.txt"
printf '\x10SSH-2.0-banner\r\nanything' > "$out/raw.txt"
{ printf '\x01HTTP/1.0 200 OK\r\nX-Long: '; head -c 9000 /dev/zero | tr '\0' a; printf '\r\n\r\nx'; } > "$out/long.txt"

#!/usr/bin/env bash
# Store encodings: Base64 and URL-encoded paths and EUC-KR values, and
# name=value texts with the names to parse before an empty line (the first
# byte picks the buffer room and the parser's mode), made with base64, iconv
# and python's urllib.
# Usage: store_codec_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
path='/home/user/NPKI/yessign/USER/cn=홍길동()0012345678901234,ou=KMB,o=yessign,c=kr/signCert.der'
{ printf '\x10'; printf '%s' "$path" | base64 -w 0; } > "$out/path-base64"
{ printf '\x08'; printf '%s' "$path" | iconv -f UTF-8 -t EUC-KR | base64 -w 0 |
  /usr/bin/python3 -c 'import sys, urllib.parse; sys.stdout.write(urllib.parse.quote_plus(sys.stdin.read(), safe="@./_-"))'; } > "$out/path-base64-url"
{ printf '\x03'; printf 'YWJj'; } > "$out/short"
{ printf '\x80'; printf 'subject\nissuer\nsubject\n\nsubject^%%ED%%99%%8D&issuer^yessignCA&subject=x&issuer=a%%26b&'; } > "$out/items"
{ printf '\x01'; printf 'a\nb\n\na=1&b=2&'; } > "$out/parse"

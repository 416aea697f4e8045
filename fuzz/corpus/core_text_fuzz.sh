#!/usr/bin/env bash
# Core texts: Korean in UTF-8 and EUC-KR, Base64, Base128, URL encoding and
# key=value items, made with iconv and base64.
# Usage: core_text_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
korean=$'\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99 \xe6\xbc\xa2\xe5\xad\x97 \xe2\x82\xac \xc2\xb1 Seoul'
printf '%s' "$korean" > "$out/utf8.txt"
printf '%s' "$korean" | iconv -f UTF-8 -t EUC-KR > "$out/euckr.txt"
printf '%s' "$korean" | base64 -w 64 > "$out/base64.txt"
printf 'a=1&b= 2 &c=%%41%%zz+x;0x1A:00' > "$out/items.txt"
printf './Nn......' > "$out/base128.txt"
printf '2.4.14' > "$out/version.txt"

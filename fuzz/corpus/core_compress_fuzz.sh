#!/usr/bin/env bash
# Texts of every character class and streams of each run header.
# Usage: core_compress_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
printf '2024-01-01 Hello World hello ABCDE abc123XYZ\t-=\n' > "$out/text.txt"
printf '                    ' > "$out/blanks.txt"
printf '\x01\x02\x03\x04\x05\x06@[]^_`\x80\xc0\x80\xc0\x80\xc0\x80' > "$out/bytes.bin"
printf '\x29\x20\x24\xb0\x1b\x01\x1f\x13\x35\x01\xb7\x35\xdb\x70\xf1\x61\x62' > "$out/stream.bin"

#!/usr/bin/env bash
# List-sign data of the relay: name=value pairs, a piece without "=", values
# holding "=" (Base64 padding), empty pieces, a final "&", Korean text.
# Usage: job_signdata_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
printf '%s' 'a=1&b&c=2&d=x=y' > "$out/rows"
printf '%s' "sig=$(printf 'abcd' | base64)&pad=$(printf 'ab' | base64)&&=lead&tail&" > "$out/padding"
printf '%s' '금액=10,000원&받는분=홍길동&메모=' > "$out/korean"
printf '%s' '&&&' > "$out/empty"

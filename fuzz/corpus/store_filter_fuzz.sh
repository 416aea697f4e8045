#!/usr/bin/env bash
# Filter texts of every keyword: lists of prefixes (URL-encoded, EUC-KR),
# empty values and tokens, repeated kinds, numbers, unknown keywords, and a
# serial list of 2,000 characters.
# Usage: store_filter_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
i=0
emit() { printf '%s' "$1" > "$out/filter-$i"; i=$((i + 1)); }
emit 'oid=1.2.410.200004|1.2.410.200005'
emit 'issuer=yessignCA&expire=1'
emit 'oid=&issuer=X'
emit 'oid=A&oid=B'
emit 'crl=1'
emit 'color=red&expire=1'
emit "subject=$(printf '홍' | iconv -f UTF-8 -t EUC-KR | od -An -tx1 | tr -d ' \n' | sed 's/../%&/g')"
emit 'ISSUER=SignKorea+CA2%7CCrossCert&&serial=00|8A&expire=-2'
emit 'subject=a%00b&oid=1.2.410.100001.2.2|'
emit "serial=$(printf 'FFFFFFFFFF|%.0s' $(seq 180))1A2B3C"

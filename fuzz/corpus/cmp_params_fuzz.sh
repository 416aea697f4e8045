#!/usr/bin/env bash
# Parameter texts, names and the agent's texts, each behind its selector
# byte (0 the parameter text, 1 a name, 2 the key renaming).
# Usage: cmp_params_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
mkdir -p "$out"
n=0
seed() {  # selector text
    printf '%b%s' "\\x0$1" "$2" > "$out/seed-$n"
    n=$((n + 1))
}
seed 0 'REFVAL=1234&AUTHCODE=abcd&CAIP=127.0.0.1&CAPORT=829'
seed 0 'REFVAL=1&AUTHCODE=2&CAIP=ca.example&CAPORT=1&CANAME=VERIDAN_CA&CAPATH=VERIDANCA&CMD=RENEW'
seed 0 'REFVAL=1&REFVAL=2'
seed 0 'CAIP=a@b&CAPORT=65536'
seed 1 'CN=Hong Gildong,OU=personal4IB,O=yessign,C=KR'
seed 1 'cn=a\,b+uid=7,o=x,1.2.3.4=#0101'
seed 1 'CN=\48ong\20,DC=example,DC=com'
seed 1 'CN=../../evil,O=Veridan'
seed 2 'REF=1234&CODE=abcd&CAIP=127.0.0.1&CAPORT=829'
seed 2 'REF=&CODE=&CAIP=h&CAPORT=1'
seed 2 'ref=code&code=ref&REFVAL=x&&=&CODE'

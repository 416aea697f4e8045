#!/usr/bin/env bash
# Configuration files: sections, quoted, verbatim and environment values.
# Usage: core_config_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
printf '# comment\ntop = 1\n[one]\na = "x # y"\nb = {{ $HOME }}\nc = $HOME/x # tail\n[two] # c\nd = 4\n[ ]\n' \
  > "$out/sections.conf"
printf '[%s]\nk = $FUZZ_LONG$FUZZ_LONG\nkey=%s\n' "$(printf 's%.0s' {1..130})" "$(printf 'v%.0s' {1..600})" \
  > "$out/limits.conf"

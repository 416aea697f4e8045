#!/usr/bin/env bash
# Files of the sizes that matter around a 1024-bit signature (128 bytes).
# Usage: core_module_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
for n in 1 127 128 129 1000; do head -c "$n" /dev/urandom > "$out/random-$n.bin"; done
printf 'a program module' > "$out/text.bin"

#!/usr/bin/env bash
# Files of the sizes that matter around a 2048-bit signature (256 bytes).
# Usage: core_module_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
for n in 1 255 256 257 1000; do head -c "$n" /dev/urandom > "$out/random-$n.bin"; done
printf 'a program module' > "$out/text.bin"

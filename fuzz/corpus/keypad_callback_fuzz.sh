#!/usr/bin/env bash
# Callbacks of the three keypad providers, enciphered by the tests' peers
# (openssl enc, hashlib, python3-cryptography; tests/agent/ui/keypad_peer.py),
# the NSHC ones sealed to the fuzz target's fixed public key, and a few
# hostile ones. The first byte chooses the adapter: 0 Lumen, 1 Inca, 2 NSHC.
# Usage: keypad_callback_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
peer="$root/tests/agent/ui/keypad_peer.py"
pub=07a37cbc142093c8b755dc1b10e86cb426374ad16aa853ed0bdfc0b2b86d1c7c
# The Inca IV of agent/ui/VirtualKeypad.h.
iv=$(sed -n '/kIncaIv = {/,/};/p' "$root/agent/ui/VirtualKeypad.h" | grep -o '0x[0-9a-f][0-9a-f]' | sed 's/0x//' | tr -d '\n')
pw=7077
printf '\0%s' "transkey://127.0.0.1:8443/?rand=a1b2&result=$(/usr/bin/python3 "$peer" lumen 127.0.0.1:8443 a1b2 $pw)" > "$out/lumen"
printf '\0%s' "TRANSKEY://keypad.example/?rand=r&result=$(/usr/bin/python3 "$peer" lumen keypad.example:0 r $pw)" > "$out/lumen-noport"
printf '\1%s' "transkey://127.0.0.1:8443/?rand=00112233&result=$(/usr/bin/python3 "$peer" inca 00112233 "$iv" $pw)" > "$out/inca"
printf '\2%s' "nfilterkey://127.0.0.1/?encdata=$(/usr/bin/python3 "$peer" nshc $pub $pw)" > "$out/nshc"
printf '\2%s' "nfilterkey://127.0.0.1/?encdata=$(/usr/bin/python3 "$peer" nshc $pub "$(printf '%0600d' 0 | sed 's/0/70/g' | cut -c1-600)")" > "$out/nshc-300"
printf '\0%s' "transkey://h:1/?xrand=1&rand=$(printf '%0251d' 0)&result=$(printf '%0600d' 0)" > "$out/hostile-lumen"
printf '\1%s' "transkey://$(printf '%0300d' 0):99999/?rand=$(printf '%066d' 1)&result=0g" > "$out/hostile-inca"

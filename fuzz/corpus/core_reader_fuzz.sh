#!/usr/bin/env bash
# Device bytes after an operation byte and an argument byte: ACKs, answer
# frames (status 0x00 with APDU answers, 0xFF with an error number), noise,
# and F3 records.
# Usage: core_reader_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
# frame: STX len(2) status data ETX check (XOR of len..ETX)
frame() {
  python3 -c '
import sys
body = bytes.fromhex(sys.argv[1])
n = len(body)
f = bytes([n >> 8, n & 255]) + body + b"\x03"
c = 0
for b in f: c ^= b
sys.stdout.buffer.write(b"\x02" + f + bytes([c]))' "$1"
}
{ printf '\x00\x10'; frame 00aabbcc; } > "$out/recv.bin"
{ printf '\x01\x00\x06'; frame 005a512d43415244; } > "$out/terminal.bin"
{ printf '\x02\x00\x06'; frame 003b6d00008031; } > "$out/atr.bin"
{ printf '\x03\x04\x06'; frame 009000; printf '\x06'; frame "00$(printf '41%.0s' {1..12})9000"; } > "$out/ef.bin"
{ printf '\x04\x02\x06'; frame 009000; printf '\x06'; frame 0001080006616263646566679000; } > "$out/f3.bin"
{ printf '\x05\x08\x06'; frame ff0102; } > "$out/error.bin"
{ printf '\x07\x00\x06\x55\x55'; frame 00ff1011fe; } > "$out/pts.bin"

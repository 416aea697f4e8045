#!/usr/bin/env bash
# SNTP replies to the target's request: a good one, one of era 1 (2040) and
# a kiss-o'-death.
# Usage: sntp_reply_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
/usr/bin/python3 - "$1" <<'PY'
import struct, sys
origin = bytes.fromhex("8a135c07e1902b44")
def reply(first, stratum, seconds):
    return bytes([first, stratum]) + bytes(22) + origin + struct.pack(">II", seconds, 0) * 2
for name, data in {"good": reply(0x24, 2, 0xEB000000), "era1": reply(0x24, 1, 0x0755A000),
                   "kod": reply(0xE4, 0, 0)}.items():
    open(f"{sys.argv[1]}/{name}.bin", "wb").write(data)
PY

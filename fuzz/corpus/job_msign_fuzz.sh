#!/usr/bin/env bash
# Multi-sign data: a header (URL-encoded Base64 of URL-encoded text) and
# items of Base64 digests, leading and doubled "|", items without "=",
# 33 items, a value over 1024 bytes.
# Usage: job_msign_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
/usr/bin/python3 - "$out" <<'PY'
import base64, sys, urllib.parse as u
out = sys.argv[1]
def b64(b):
    return base64.b64encode(b).decode()
hd = "HD=" + u.quote_plus(b64(u.quote_plus("header text").encode()))
files = {
    "items": "||" + hd + "|a=" + b64(b"\x01" * 32) + "||b=" + b64(b"\x02" * 32) + "|c|e=",
    "many": "|".join(f"n{i}=" + b64(b"v") for i in range(33)),
    "big": "a=" + b64(b"v" * 1025),
}
for name, text in files.items():
    with open(f"{out}/{name}", "w") as f:
        f.write(text)
PY

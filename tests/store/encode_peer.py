"""The store's encodings of each input line (hex), as python has them:
Base64, URL form encoding (quote_plus keeping "@./_-", hex digits in lower
case) and Base64 then URL encoding, tab-separated, one line per input.
Python keeps "~" as unreserved (since 3.7); the store's coder encodes it."""
import base64
import re
import sys
from urllib.parse import quote_plus


def url(data):
    text = quote_plus(data, safe="@./_-").replace("~", "%7e")
    return re.sub(r"%[0-9A-F]{2}", lambda m: m.group(0).lower(), text)


for line in sys.stdin.read().splitlines():
    data = bytes.fromhex(line.strip())
    b64 = base64.b64encode(data).decode()
    print(f"{b64}\t{url(data)}\t{url(b64)}")

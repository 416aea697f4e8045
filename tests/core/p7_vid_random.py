#!/usr/bin/python3
"""The VID random of a PKCS#7 message opened as the relay server opens it,
without our library: the signingTime and the encrypted random as
`openssl cms -cmsout -print` shows them, the UTCTime text of that time,
SHA-256 three times over it (SEED key: bytes 0-15, IV: 16-31), and
`openssl enc -d -seed-cbc`. Prints the random in hex, then the UTCTime text.

Usage: p7_vid_random.py <message.der>
"""
import datetime
import hashlib
import os
import re
import subprocess
import sys

ENV = dict(os.environ, OPENSSL_CONF="/dev/null")


def main():
    printed = subprocess.run(["openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", sys.argv[1]],
                             check=True, capture_output=True, text=True, env=ENV).stdout
    when = re.search(r"signingTime.*?UTCTIME:(\w+ +\d+ \d\d:\d\d:\d\d \d{4}) GMT", printed, re.S).group(1)
    utc = datetime.datetime.strptime(" ".join(when.split()), "%b %d %H:%M:%S %Y").strftime("%y%m%d%H%M%SZ")
    unsigned = printed.split("unsignedAttrs:")[1]
    octets = "".join(re.findall(r"^\s+[0-9a-f]{4} - ((?:[0-9a-f]{2}[ -])*[0-9a-f]{2})", unsigned, re.M))
    octets = bytes.fromhex(octets.replace("-", " "))
    key = utc.encode()
    for _ in range(3):
        key = hashlib.sha256(key).digest()
    random = subprocess.run(["openssl", "enc", "-d", "-seed-cbc", "-provider", "legacy", "-provider", "default",
                             "-K", key[:16].hex(), "-iv", key[16:].hex()],
                            input=octets, check=True, capture_output=True, env=ENV).stdout
    print(random.hex())
    print(utc)


if __name__ == "__main__":
    main()

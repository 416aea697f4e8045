#!/usr/bin/env bash
# Certificate-list texts as the store writes them (values URL-encoded by
# python, paths Base64 then URL-encoded), a record with a field of no known
# name, one without "^", a path over 1023 bytes, empty records.
# Usage: job_certlist_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
/usr/bin/python3 - "$out" <<'PY'
import base64, sys, urllib.parse as u
out = sys.argv[1]
def enc(s):
    return u.quote_plus(s, safe="@./_-")
def path(p):
    return enc(base64.b64encode(p.encode()).decode())
kor = "홍길동()0012".encode("euc-kr")
def record(subject=b"user", p="/home/u/NPKI/yessign/USER/cn=user/signCert.der", extra=""):
    return ("subject^" + u.quote_plus(subject, safe="@./_-") + "&issuer^" + enc("yessignCA Class 2") +
            "&oidtype^" + enc("personal") + "&expiredata^2030-01-01&certpath^" + path(p) + "&keypath^" +
            enc(p.replace("signCert.der", "signPri.key")) + "&expireflag^0&certtype^1" + extra + "|")
files = {
    "two": record() + record(kor),
    "bad-name": record() + "subject^a&nosuch^b|",
    "no-caret": "subject^a&issuer|",
    "long-path": record(p="/" + "p" * 1100) + record(),
    "empty": "||",
}
for name, text in files.items():
    with open(f"{out}/{name}", "w") as f:
        f.write(text)
PY

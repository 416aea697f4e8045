#!/usr/bin/env bash
# getFunc answers (policy lists URL-encoded by urllib, sign and msign
# parameters), error answers and version texts.
# Usage: job_reply_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
/usr/bin/python3 - "$out" <<'PY'
import sys, urllib.parse as u
out = sys.argv[1]
def enc(s):
    return u.quote_plus(s, safe="@./_-")
policy = "CAName=yessign&Mode=22&Nonce=" + enc("A" * 44) + "&DisableExpiredCert=1&CertUILanguage=KOR&ProtocolVersion=1.2&ServerTime=20261210101010"
files = {
    "login": "funcName=login&PolicyList=" + enc(policy) + "&paramCount=0",
    "sign": "funcName=sign&PolicyList=" + enc("SignatureAlertTitle=t&") + "&paramCount=2&param1=S" + enc("data&more") + "&param2=S" + enc("title"),
    "msign": "funcName=msign&PolicyList=" + enc("a=b&") + "&paramCount=3&param1=Sd&param2=N5&param3=St",
    "version": "funcName=getVersion",
    "error": "302$session expired",
    "versions": "1.2.81.2.10",
}
for name, text in files.items():
    with open(f"{out}/{name}", "w") as f:
        f.write(text)
PY

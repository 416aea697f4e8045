#!/usr/bin/env bash
# Detail texts: eighteen name^value& items (URL-encoded values, one over its
# field), fewer items, items without "^", a 19th item and a tail.
# Usage: job_certdetail_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
/usr/bin/python3 - "$out" <<'PY'
import sys, urllib.parse as u
out = sys.argv[1]
names = ["version", "serial", "signatureAlg", "issuerDN", "validityFrom", "validityTo", "subjectDN", "pubkey",
         "pubkeydata", "handPrintAlg", "handPrint", "authorityKeyId", "subjectKeyId", "keyUsage", "certPolicy",
         "subjectAltName", "crlDP", "authorityInfoAcc"]
full = "".join(f"{n}^{u.quote_plus('value of ' + n)}&" for n in names)
with open(f"{out}/full", "w") as f:
    f.write(full + "extra^x&tail")
with open(f"{out}/long", "w") as f:
    f.write("version^" + "v" * 300 + "&serial^%B0%A1&noCaret&")
with open(f"{out}/short", "w") as f:
    f.write("a^1&b^2")
PY

#!/usr/bin/env bash
# Start parameters as the daemon hands them over: json-c's escaping of the
# page's text (python's json module, with "/" escaped as json-c does), URL
# forms from urllib.
# Usage: job_param_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
py() { /usr/bin/python3 -c "$1"; }
py 'import json, urllib.parse as u
url = u.quote("https://relay.example/q?a=1&b=2", safe="")
p = "SESSION=JSESSIONID%3Dab%20cd&reqID=123&policyName=login&url=" + url + "&wv=1.0&macVersion=1.0&linuxVersion=1.2.8"
print(json.dumps(p)[1:-1].replace("/", "\\/"), end="")' > "$out/full"
printf '%s' 'reqid=1&URL=https:\/\/x\/&Session=a\"b&POLICYNAME=p&linuxVersion=1%2E2%2E9' > "$out/cases"
printf '%s' 'SESSION=a%3Db%3B%20returl=https://evil/&reqID=&policyName=&url=https://ok/&wv=\ud55c\uae00' > "$out/returl"
printf '%s' 'SESSION=\ud800&reqID=\q&policyName=\u0000&url=https:\/\/x' > "$out/broken"

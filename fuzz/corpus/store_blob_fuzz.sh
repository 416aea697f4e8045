#!/usr/bin/env bash
# Identity blobs under the target's secrets, made with python's hashlib and
# openssl enc -seed-cbc: a whole one ("<Base64 of a DER key>||<certificate>")
# with and without a key source, and ones without "||", with a key that is
# no Base64 and with one that is no DER sequence. The first byte is the
# target's switch (odd: the key source 8001011234567; the secret is
# auth-code-77).
# Usage: store_blob_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
export OPENSSL_CONF=/dev/null
key64="$(openssl genrsa 2048 2>/dev/null | openssl pkcs8 -topk8 -nocrypt -outform DER | base64 -w 0)"
blob() { # <switch byte> <plaintext> <out> <1: with the key source>
  { printf "$1"; printf '%s' "$2" | /usr/bin/python3 -c '
import hashlib, subprocess, sys
ks = b"8001011234567" if sys.argv[1] == "1" else None
secret = b"auth-code-77"
key = hashlib.sha1(ks if ks else hashlib.sha1(secret).digest()).digest()[:16]
iv = hashlib.sha1(secret).digest()[:16]
sys.stdout.buffer.write(subprocess.run(["openssl", "enc", "-seed-cbc", "-provider", "legacy", "-provider", "default",
                                        "-K", key.hex(), "-iv", iv.hex()], input=sys.stdin.buffer.read(),
                                       check=True, capture_output=True).stdout)' "$4"; } > "$out/$3"
}
blob '\x01' "$key64||MIIBcertificate" whole-keysource 1
blob '\x00' "$key64||MIIBcertificate" whole-secret 0
blob '\x01' "$key64" no-bars 1
blob '\x01' '!!!||cert' not-base64 1
blob '\x01' 'QUJD||cert' not-der 1

#!/usr/bin/env bash
# PKCS#12 files under the target's password (fuzz-pw) made by openssl
# pkcs12 -export from the store tests' users (make_sign_store.py): a yessign
# signing pair (default algorithms, and 3DES with a SHA-1 MAC), its KM pair
# with the CA certificate, a government and a private-PKI pair; and one
# under another password.
# Usage: store_pfx_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
export OPENSSL_CONF=/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$root/tests/store/make_sign_store.py" "$work"
pfx() { # <cert.der> <key.pem> <out> [options...]
  local cert="$1" key="$2" name="$3"
  shift 3
  openssl x509 -inform DER -in "$cert" -out "$work/cert.pem"
  openssl pkcs12 -export -in "$work/cert.pem" -inkey "$key" -passout pass:fuzz-pw -out "$out/$name" "$@"
}
pfx "$work/hong/signCert.der" "$work/hong/sign.pem" hong-default.p12
pfx "$work/hong/signCert.der" "$work/hong/sign.pem" hong-3des.p12 -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1
pfx "$work/hong/kmCert.der" "$work/hong/km.pem" hong-km-ca.p12 -certfile "$work/ca.pem"
pfx "$work/gov/Lee001_sig.cer" "$work/gov/sign.pem" gov.p12
pfx "$work/private/signCert.der" "$work/private/sign.pem" private.p12 -nomac
openssl x509 -inform DER -in "$work/hong/signCert.der" -out "$work/cert.pem"
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/hong/sign.pem" -passout pass:other -out "$out/other-pw.p12"

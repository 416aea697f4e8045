#!/usr/bin/env bash
# Makes the keys and certificates of the token tests into $1, with openssl
# and kisa_key.py. Passwords: "pw".
#   sign.pem sign.der      RSA-2048 key and its self-signed certificate, keyUsage digitalSignature, nonRepudiation
#   sign-seed.der          sign.pem as openssl pkcs8 -topk8 -v2 seed writes it (no VID random)
#   sign-random.der        the same scheme (PBES2, hmacWithSHA256, SEED-CBC) holding the VID random sign.random
#   km.pem km.der          another RSA-2048 key and certificate, keyUsage keyEncipherment only
#   km-random.der          km.pem as pbeWithSHA1AndSEED-CBC with the VID random km.random
#   other.der              a third key's certificate
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null
legacy=(-provider legacy -provider default)

openssl genrsa -traditional -out sign.pem 2048 2>/dev/null
openssl req -x509 -new -key sign.pem -subj "/C=KR/O=Token Test/CN=signer" -days 30 -set_serial 0x1001 \
  -addext keyUsage=critical,digitalSignature,nonRepudiation -outform DER -out sign.der
openssl pkcs8 -topk8 -in sign.pem -outform DER -v2 seed -passout pass:pw -out sign-seed.der "${legacy[@]}"
openssl pkcs8 -topk8 -nocrypt -in sign.pem -outform DER -out sign-plain.der
printf '%s' 0f1e2d3c4b5a69788796a5b4c3d2e1f0aabbccdd > sign.random
/usr/bin/python3 "$here/kisa_key.py" make-pbes2 sign-plain.der pw "$(cat sign.random)" sign-random.der

openssl genrsa -traditional -out km.pem 2048 2>/dev/null
openssl req -x509 -new -key km.pem -subj "/C=KR/O=Token Test/CN=km" -days 30 -set_serial 0x1002 \
  -addext keyUsage=critical,keyEncipherment -outform DER -out km.der
openssl pkcs8 -topk8 -nocrypt -in km.pem -outform DER -out km-plain.der
printf '%s' 00112233445566778899aabbccddeeff01020304 > km.random
/usr/bin/python3 "$here/kisa_key.py" make km-plain.der pw "$(cat km.random)" km-random.der

openssl req -x509 -new -newkey rsa:2048 -nodes -keyout other.pem -subj "/CN=other" -days 30 \
  -outform DER -out other.der 2>/dev/null
rm -f sign-plain.der km-plain.der

#!/bin/sh
# Keys and a certificate for the key-password tests, made with openssl and
# tests/core/kisa_key.py (no code of ours) into OUT_DIR:
#   cert.der    a yessign user's certificate for rsa.pem's key
#   seed.key    PKCS#8 PBES2 with SEED-CBC, 2048 iterations, password old-pw
#   kisa.key    pbeWithSHA1AndSEED-CBC with the VID random (random.hex), old-pw
#   plain.der   the PrivateKeyInfo, unencrypted
#   user.p12    openssl pkcs12 -export of the certificate and key, p12-pw
# Usage: make_key_store.sh OUT_DIR
set -eu
out="$1"
here="$(cd "$(dirname "$0")" && pwd)"
legacy="-provider legacy -provider default"
cd "$out"
openssl genrsa -out rsa.pem 2048 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.pem -subj "/C=KR/O=yessign/CN=yessignCA Class 2" -days 365 \
  -out ca.crt 2>/dev/null
openssl req -new -key rsa.pem -utf8 -subj "/C=KR/O=yessign/OU=personal4IB/CN=키사용자()0099" -out user.csr
printf 'keyUsage=critical,digitalSignature,nonRepudiation\ncertificatePolicies=1.2.410.200005.1.1.1\n' > user.ext
openssl x509 -req -in user.csr -CA ca.crt -CAkey ca.pem -set_serial 0x5A11 -days 365 -extfile user.ext \
  -outform DER -out cert.der 2>/dev/null
# shellcheck disable=SC2086
openssl pkcs8 -topk8 -in rsa.pem -v2 seed -iter 2048 -outform DER -passout pass:old-pw $legacy -out seed.key
openssl pkcs8 -topk8 -nocrypt -in rsa.pem -outform DER -out plain.der
openssl rand -hex 20 > random.hex
/usr/bin/python3 "$here/../core/kisa_key.py" make plain.der old-pw "$(cat random.hex)" kisa.key
openssl x509 -inform DER -in cert.der -out cert.pem
openssl pkcs12 -export -in cert.pem -inkey rsa.pem -passout pass:p12-pw -out user.p12

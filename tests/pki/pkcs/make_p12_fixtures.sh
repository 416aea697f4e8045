#!/usr/bin/env bash
# Makes the PKCS#12 test objects with openssl, NSS and python3-cryptography, into $1:
#   ca.key ca.pem ca.der           RSA-2048 root (basicConstraints CA:TRUE)
#   leaf.key leaf.pem leaf.der leaf.p8
#                                  RSA-2048 end entity issued by ca (no basicConstraints),
#                                  leaf.p8 its PrivateKeyInfo in DER
#   name.txt                       the friendly name given to the leaf, in UTF-8 (Korean)
# Leaf, key and ca, password "p12 pass" unless said otherwise:
#   default.p12                    openssl pkcs12 -export: PBES2 AES-256-CBC, SHA-256 MAC
#   legacy.p12                     -legacy: RC2-40 certificate safe, 3DES key, SHA-1 MAC
#   3des.p12                       -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1
#   nomaciter.p12                  -legacy -nomaciter: MacData without its iterations INTEGER
#   empty.p12 empty-legacy.p12     password "", default and -legacy
#   korean-pw.p12 korean-legacy.p12
#                                  password "비밀번호", default and -legacy (openssl derives
#                                  PKCS#12 keys and the MAC from its UTF-16 form)
#   nss.p12                        pk12util's export of default.p12 (BER with indefinite lengths)
#   python-keyonly.p12             python3-cryptography, the key alone: a shrouded key bag
#                                  without localKeyID
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ca.key 2>/dev/null
openssl req -x509 -new -key ca.key -subj "/C=KR/O=P12 Test CA/CN=Root" -days 30 -sha256 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" -out ca.pem
openssl x509 -in ca.pem -outform DER -out ca.der
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out leaf.key 2>/dev/null
openssl req -new -key leaf.key -subj "/C=KR/O=P12 Test/CN=leaf" -out leaf.csr
printf 'keyUsage=critical,digitalSignature\n' > leaf.ext
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x1201 -days 30 -sha256 \
  -extfile leaf.ext -out leaf.pem 2>/dev/null
openssl x509 -in leaf.pem -outform DER -out leaf.der
openssl pkcs8 -topk8 -nocrypt -in leaf.key -outform DER -out leaf.p8
printf '홍길동 인증서' > name.txt

export() { # <file> <password> [options...]
  local file="$1" pass="$2"
  shift 2
  openssl pkcs12 -export -inkey leaf.key -in leaf.pem -certfile ca.pem -name "$(cat name.txt)" \
    -passout "pass:$pass" -out "$file" "$@"
}
export default.p12 'p12 pass'
export legacy.p12 'p12 pass' -legacy
export 3des.p12 'p12 pass' -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES -macalg sha1
export nomaciter.p12 'p12 pass' -legacy -nomaciter
export empty.p12 ''
export empty-legacy.p12 '' -legacy
export korean-pw.p12 '비밀번호'
export korean-legacy.p12 '비밀번호' -legacy

mkdir nssdb
certutil -N -d sql:nssdb --empty-password
pk12util -i default.p12 -d sql:nssdb -W 'p12 pass' >/dev/null
pk12util -o nss.p12 -n "$(cat name.txt)" -d sql:nssdb -W 'p12 pass' >/dev/null

/usr/bin/python3 - <<'PY'
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.serialization import pkcs12

key = serialization.load_pem_private_key(open('leaf.key', 'rb').read(), None)
open('python-keyonly.p12', 'wb').write(pkcs12.serialize_key_and_certificates(
    None, key, None, None, serialization.BestAvailableEncryption(b'p12 pass')))
PY

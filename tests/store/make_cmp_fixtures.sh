#!/usr/bin/env bash
# The CA and users of the issuance tests, made with openssl into $1:
#   ca.key, ca.pem, ca.der       the CA (O=yessign, self-signed, with a key id)
#   user.key                     the key the CMP client is made to use
#   user.pem, user.der           the certificate the mock CA issues for it
#   old.key / old.der / old.p8   a certificate to renew, its key as the store
#                                keeps it (PKCS#8, SEED, password OLDPASS12)
#   old.kisa                     the same key in KISA's pbeWithSHA1AndSEED-CBC
#   renewed.pem, renewed.der     its renewal: same issuer and serial, key user.key
#   ppki.key, ppki.pem           a private-PKI CA for the PKCS#10 tests
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
mkdir -p "$out"
cd "$out"
q() { "$@" >/dev/null 2>&1; }
cat > ext.cnf <<'CNF'
[user]
keyUsage = critical, digitalSignature, nonRepudiation
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
q openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/C=KR/O=yessign/OU=AccreditedCA/CN=yessignCA Test" \
  -days 30 -out ca.pem
openssl x509 -in ca.pem -outform DER -out ca.der
q openssl genrsa -out user.key 2048
q openssl req -new -key user.key -subj "/C=KR/O=yessign/OU=personal4IB/CN=Hong Gildong()0011" -out user.csr
q openssl x509 -req -in user.csr -CA ca.pem -CAkey ca.key -set_serial 4660 -days 10 -extfile ext.cnf -extensions user \
  -out user.pem
openssl x509 -in user.pem -outform DER -out user.der
q openssl genrsa -out old.key 2048
q openssl req -new -key old.key -subj "/C=KR/O=yessign/OU=personal4IB/CN=Kim Renewal()0022" -out old.csr
q openssl x509 -req -in old.csr -CA ca.pem -CAkey ca.key -set_serial 8738 -days 10 -extfile ext.cnf -extensions user \
  -out old.pem
openssl x509 -in old.pem -outform DER -out old.der
openssl pkcs8 -provider legacy -provider default -topk8 -v2 seed -v2prf hmacWithSHA256 -in old.key -passout pass:OLDPASS12 -outform DER -out old.p8
openssl pkcs8 -topk8 -nocrypt -in old.key -outform DER -out old.plain
python3 "$here/../core/kisa_key.py" make old.plain OLDPASS12 0102030405060708090a0b0c0d0e0f1011121314 old.kisa
rm old.plain
# The renewal: the mock compares the old certificate's issuer and serial.
q openssl req -new -key user.key -subj "/C=KR/O=yessign/OU=personal4IB/CN=Kim Renewal()0022" -out renew.csr
q openssl x509 -req -in renew.csr -CA ca.pem -CAkey ca.key -set_serial 8738 -days 20 -extfile ext.cnf \
  -extensions user -out renewed.pem
openssl x509 -in renewed.pem -outform DER -out renewed.der
q openssl req -x509 -newkey rsa:2048 -nodes -keyout ppki.key -subj "/C=KR/O=Veridan/CN=Veridan Private CA" -days 30 \
  -out ppki.pem

#!/usr/bin/env bash
# Makes DER and BER objects with openssl for the codec tests, into $1:
#   ca.key/ca.der        RSA CA certificate with extensions
#   ec.der               P-256 end-entity certificate signed by the CA
#   crl.der              CRL of the CA with a few revoked entries
#   key.p8.der           PKCS#8 private key
#   cms-stream.ber       CMS signed data written with -stream (indefinite lengths)
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/C=KR/O=Test CA/CN=Root" -days 30 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -outform DER -out ca.der 2>/dev/null
openssl x509 -inform DER -in ca.der -out ca.pem
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ec.key -subj "/CN=leaf/O=Example" \
  -out ec.csr 2>/dev/null
openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 0x80 -days 10 -outform DER -out ec.der \
  -extfile <(printf 'subjectAltName=DNS:example.com,IP:127.0.0.1\n') 2>/dev/null
openssl pkcs8 -topk8 -nocrypt -in ca.key -outform DER -out key.p8.der
# A CRL through a minimal CA database.
mkdir -p ca
: > ca/index.txt
echo 01 > ca/crlnumber
cat > ca.cnf <<CNF
[ca]
default_ca = d
[d]
database = ca/index.txt
crlnumber = ca/crlnumber
default_md = sha256
default_crl_days = 7
CNF
for serial in 01 7F 80 FF0102; do
  printf 'R\t300101000000Z\t240101000000Z,keyCompromise\t%s\tunknown\t/CN=r%s\n' "$serial" "$serial" >> ca/index.txt
done
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out crl.pem 2>/dev/null
openssl crl -in crl.pem -outform DER -out crl.der
printf 'streamed content\n' > msg.txt
openssl cms -sign -in msg.txt -signer ca.pem -inkey ca.key -outform DER -stream -nodetach -out cms-stream.ber

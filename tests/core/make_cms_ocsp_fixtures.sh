#!/usr/bin/env bash
# Makes the certificates and keys of the CMS, MAC and OCSP tests into $1,
# with openssl. Passwords: "pw". Every certificate has a subjectKeyIdentifier
# (the SHA-1 of its key) and an authorityKeyIdentifier unless said.
#   ca.key ca.pem ca.der           RSA-2048 CA (CA:TRUE, keyCertSign, cRLSign)
#   s1 s2 (.key .pem .der -p8.der) signers 0x11, 0x12 (digitalSignature);
#                                  -p8.der: PKCS#8 -v2 aes-256-cbc
#   noski.pem noski-p8.der         a signer 0x13 without subjectKeyIdentifier
#   rc.key rc.pem rc-p8.der        a recipient 0x14 (keyEncipherment)
#   resp.key resp.pem resp-p8.der  the CA's OCSP responder 0x77 (OCSPSigning)
#   noeku.key noeku.pem            a certificate 0x78 of the CA without OCSPSigning
#   other-ca.key other-ca.pem      another CA
#   rogue.key rogue.pem            an OCSP responder of the other CA
#   ee.pem revoked.pem topbit.pem  certificates of the CA: 0x1001 (good), 0x1002
#                                  (revoked 2025-03-01 00:00:00Z, keyCompromise),
#                                  0x8001 (good; the serial's top bit set)
#   other.pem                      a certificate 0x1001 of the other CA
#   *-chain.pem *-chain.der        each of those followed by its CA's certificate
#   index.txt                      openssl ca's index for the CA's certificates
#   requestor.key requestor.pem    an OCSP requestor 0x20 (PKCS#1 "RSA PRIVATE KEY")
#   requestor-p8.der requestor-enc.pem  its key as encrypted PKCS#8 (DER) and as
#                                  encrypted PKCS#1 PEM (-aes128)
set -euo pipefail
cd "$1"
export OPENSSL_CONF=/dev/null

newkey() { openssl genrsa -traditional -out "$1" 2048 2>/dev/null; }

# issue KEY SUBJECT SERIAL NAME CA-PEM CA-KEY EXTENSIONS...
issue() {
  local key="$1" subj="$2" serial="$3" name="$4" ca="$5" cakey="$6"
  shift 6
  openssl req -new -key "$key" -subj "$subj" -out "$name.csr"
  printf '%s\n' "$@" > "$name.ext"
  openssl x509 -req -in "$name.csr" -CA "$ca" -CAkey "$cakey" -set_serial "$serial" -days 30 -sha256 \
    -extfile "$name.ext" -out "$name.pem" 2>/dev/null
  openssl x509 -in "$name.pem" -outform DER -out "$name.der"
  rm -f "$name.csr" "$name.ext"
}
p8() { openssl pkcs8 -topk8 -in "$1" -outform DER -v2 aes-256-cbc -passout pass:pw -out "$2"; }
ids=("subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid")

newkey ca.key
openssl req -x509 -new -key ca.key -subj "/C=KR/O=CMS Test/CN=Test CA" -days 30 -sha256 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -addext "subjectKeyIdentifier=hash" -out ca.pem
openssl x509 -in ca.pem -outform DER -out ca.der
newkey other-ca.key
openssl req -x509 -new -key other-ca.key -subj "/C=KR/O=Other/CN=Other CA" -days 30 -sha256 \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -addext "subjectKeyIdentifier=hash" -out other-ca.pem

for n in s1:0x11 s2:0x12; do
  name="${n%%:*}"
  newkey "$name.key"
  issue "$name.key" "/C=KR/O=CMS Test/CN=Signer $name" "${n##*:}" "$name" ca.pem ca.key "${ids[@]}" \
    "keyUsage=critical,digitalSignature,nonRepudiation"
  p8 "$name.key" "$name-p8.der"
done
newkey noski.key
issue noski.key "/C=KR/O=CMS Test/CN=No key id" 0x13 noski ca.pem ca.key "subjectKeyIdentifier=none" \
  "authorityKeyIdentifier=none" "keyUsage=critical,digitalSignature"
p8 noski.key noski-p8.der
newkey rc.key
issue rc.key "/C=KR/O=CMS Test/CN=Recipient" 0x14 rc ca.pem ca.key "${ids[@]}" \
  "keyUsage=critical,keyEncipherment,dataEncipherment"
p8 rc.key rc-p8.der

newkey resp.key
issue resp.key "/C=KR/O=CMS Test/CN=OCSP Responder" 0x77 resp ca.pem ca.key "${ids[@]}" \
  "keyUsage=critical,digitalSignature" "extendedKeyUsage=OCSPSigning"
p8 resp.key resp-p8.der
newkey noeku.key
issue noeku.key "/C=KR/O=CMS Test/CN=No OCSP purpose" 0x78 noeku ca.pem ca.key "${ids[@]}" \
  "keyUsage=critical,digitalSignature" "extendedKeyUsage=clientAuth"
newkey rogue.key
issue rogue.key "/C=KR/O=CMS Test/CN=OCSP Responder" 0x77 rogue other-ca.pem other-ca.key "${ids[@]}" \
  "keyUsage=critical,digitalSignature" "extendedKeyUsage=OCSPSigning"

newkey leaf.key
issue leaf.key "/C=KR/O=CMS Test/CN=Good" 0x1001 ee ca.pem ca.key "${ids[@]}"
issue leaf.key "/C=KR/O=CMS Test/CN=Revoked" 0x1002 revoked ca.pem ca.key "${ids[@]}"
issue leaf.key "/C=KR/O=CMS Test/CN=Top bit" 0x8001 topbit ca.pem ca.key "${ids[@]}"
issue leaf.key "/C=KR/O=Other/CN=Good" 0x1001 other other-ca.pem other-ca.key "${ids[@]}"
for c in ee revoked topbit; do
  cat "$c.pem" ca.pem > "$c-chain.pem"
  cat "$c.der" ca.der > "$c-chain.der"
done
cat other.pem other-ca.pem > other-chain.pem

printf 'V\t300101000000Z\t\t1001\tunknown\t/C=KR/O=CMS Test/CN=Good\n' > index.txt
printf 'R\t300101000000Z\t250301000000Z,keyCompromise\t1002\tunknown\t/C=KR/O=CMS Test/CN=Revoked\n' >> index.txt
printf 'V\t300101000000Z\t\t8001\tunknown\t/C=KR/O=CMS Test/CN=Top bit\n' >> index.txt

newkey requestor.key
issue requestor.key "/C=KR/O=CMS Test/CN=Requestor" 0x20 requestor ca.pem ca.key "${ids[@]}" \
  "keyUsage=critical,digitalSignature"
p8 requestor.key requestor-p8.der
openssl rsa -in requestor.key -traditional -aes128 -passout pass:pw -out requestor-enc.pem 2>/dev/null

#!/usr/bin/env bash
# Makes the openssl objects of the name, extension and attribute tests, into $1:
#   name-<case>.der   requests whose subjects exercise the name codec:
#                     utf8 (every attribute type -subj knows, UTF8String),
#                     korean (UTF8String Hangul), multi (multi-valued RDNs),
#                     mask (string_mask=default: Printable, T61, IA5, BMPString)
#   ext.der           self-signed certificate with critical and plain extensions
#   req.der           request carrying an extensionRequest and a challengePassword
#   signed.der        CMS signed data over msg.txt with the default signed attributes
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key 2>/dev/null

req() { # <name> <subject> [options...]
  local name="$1" subj="$2"
  shift 2
  openssl req -new -key ec.key -subj "$subj" "$@" -outform DER -out "name-$name.der"
}
req utf8 "/C=KR/ST=Seoul/L=Jongno/street=1 Sejong-ro/postalCode=03154/O=Example Corp/OU=Dev/title=Engineer/\
CN=Hong Gildong/SN=Hong/GN=Gildong/initials=GH/pseudonym=gil/generationQualifier=III/serialNumber=0042/\
dnQualifier=dq/DC=example/UID=hong/emailAddress=hong@example.com/name=Hong"
req korean "/C=KR/O=한국정보인증/OU=개인/CN=홍길동()001104420080304123456" -utf8
req multi "/C=KR/O=Example+OU=Dev+L=Seoul/CN=a+CN=b" -multivalue-rdn
printf '[req]\ndistinguished_name=dn\nstring_mask=default\n[dn]\n' > mask.cnf
req mask "/C=KR/O=Printable Org/OU=t61_at@here/CN=홍길동/emailAddress=a@b.kr" -utf8 -config mask.cnf

openssl req -x509 -new -key ec.key -subj "/CN=Extensions" -days 30 \
  -addext "basicConstraints=critical,CA:TRUE,pathlen:0" \
  -addext "keyUsage=critical,digitalSignature,keyCertSign,cRLSign" \
  -addext "extendedKeyUsage=serverAuth,clientAuth" \
  -addext "subjectAltName=DNS:a.example,email:x@example.com" \
  -addext "certificatePolicies=1.2.410.200004.5.2.1.2" \
  -outform DER -out ext.der
openssl x509 -inform DER -in ext.der -out ext.pem

printf '[req]\nprompt=no\ndistinguished_name=dn\nattributes=attrs\n[dn]\nCN=Request\n[attrs]\nchallengePassword=secret pass\n' > req.cnf
openssl req -new -key ec.key -config req.cnf \
  -addext "keyUsage=critical,digitalSignature" -addext "subjectAltName=DNS:req.example" \
  -outform DER -out req.der

printf 'signed content\n' > msg.txt
openssl cms -sign -binary -in msg.txt -signer ext.pem -inkey ec.key -md sha256 -nodetach -outform DER -out signed.der

#!/usr/bin/env bash
# Files the network tests serve and fetch, into $1:
#   small.txt          a short text
#   blob.bin           1 MiB and 17 bytes of random data
#   crl.der arl.der    two CRLs of a throw-away CA (openssl ca -gencrl), the
#                      first listing three serials
#   post.txt           a form body to url-encode (blanks, a line feed, UTF-8, a backslash)
set -euo pipefail
cd "$1"
export OPENSSL_CONF=/dev/null

printf 'hello from the fixture server\n' > small.txt
head -c $((1024 * 1024 + 17)) /dev/urandom > blob.bin
printf 'a b\nc=d&\xc3\xa9\\%%x\r\n' > post.txt

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/C=KR/O=Net Test/CN=Net CA" -days 30 \
  -out ca.pem 2>/dev/null
printf 'R\t300101000000Z\t240101000000Z\t0A\tunknown\t/CN=a\nR\t300101000000Z\t240102000000Z\t0B\tunknown\t/CN=b\nR\t300101000000Z\t240103000000Z\t0C\tunknown\t/CN=c\n' > index.txt
echo 01 > crlnumber
printf '[ca]\ndefault_ca = d\n[d]\ndatabase = index.txt\ncrlnumber = crlnumber\ndefault_md = sha256\ndefault_crl_days = 7\n' > ca.cnf
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out crl.pem 2>/dev/null
openssl crl -in crl.pem -outform DER -out crl.der
: > index.txt
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out arl.pem 2>/dev/null
openssl crl -in arl.pem -outform DER -out arl.der

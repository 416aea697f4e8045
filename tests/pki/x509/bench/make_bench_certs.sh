#!/usr/bin/env bash
# Writes the three certificates the certificate benchmark decodes, made by
# openssl req: rsa2048.der, p256.der and many-extensions.der (RSA-2048 with a
# dozen extensions, as a CA's TLS certificate carries).
# Usage: make_bench_certs.sh OUTDIR
set -euo pipefail
out="$(realpath -m "${1:?usage: make_bench_certs.sh OUTDIR}")"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export OPENSSL_CONF=/dev/null
subj="/C=KR/ST=Seoul/L=Jung-gu/O=Bench Trust Services/OU=Server Certificates/CN=bench.example.com"
openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -subj "$subj" -days 365 -sha256 \
  -outform DER -out "$out/rsa2048.der" 2>/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ec.key -subj "$subj" -days 365 \
  -sha256 -outform DER -out "$out/p256.der" 2>/dev/null
cat > ext.cnf <<'CNF'
[req]
distinguished_name = dn
x509_extensions = ext
prompt = no
[dn]
C = KR
O = Bench Trust Services
CN = many.example.com
[ext]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth, clientAuth, emailProtection
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = @alt
certificatePolicies = 2.23.140.1.2.2, 1.3.6.1.4.1.32473.1.1
crlDistributionPoints = URI:http://crl.example.com/ca.crl, URI:ldap://ldap.example.com/cn=CA?certificateRevocationList
authorityInfoAccess = OCSP;URI:http://ocsp.example.com, caIssuers;URI:http://ca.example.com/ca.crt
issuerAltName = email:ca@example.com
nsComment = "bench certificate"
1.3.6.1.4.1.11129.2.4.3 = critical, ASN1:NULL
[alt]
DNS.1 = many.example.com
DNS.2 = www.many.example.com
DNS.3 = api.many.example.com
DNS.4 = mail.many.example.com
DNS.5 = *.cdn.many.example.com
IP.1 = 192.0.2.10
IP.2 = 2001:db8::10
email.1 = admin@many.example.com
URI.1 = https://many.example.com/
CNF
openssl req -x509 -config ext.cnf -newkey rsa:2048 -nodes -keyout many.key -days 365 -sha256 \
  -outform DER -out "$out/many-extensions.der" 2>/dev/null

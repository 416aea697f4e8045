#!/usr/bin/env bash
# Makes the certificates and CRLs of the core's X.509 information and check
# tests, into $1:
#   ca.key ca.pem ca.der        an RSA-2048 CA valid 2000-2099 (openssl ca -selfsign)
#   other-ca.pem other-ca.der   another CA of the same name layout
#   certs/*.der                 certificates whose records the tests compare with
#                               openssl and python3-cryptography (list below)
#   window.der                  valid 2020-01-01 00:00:00Z to 2030-01-01 00:00:00Z
#   revoked-N.der               leaves revoked on ca.crl
#   ca.crl                      openssl ca -gencrl with reasons (DER), other.crl by
#                               other-ca with the same entries
#   py.crl                      python3-cryptography: invalidityDate before
#                               reasonCode, a 2050+ revocation date, an entry
#                               without extensions
#   large.crl                   scripts/make-large-crl with 3000 entries
#   pkicrl/                     libzunPKI's CRL fixtures (no-next-update.der, pss.der by ca.der)
#   *.crl.txt                   openssl crl -text -noout of each
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null
mkdir -p certs db

key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:"${2:-2048}" -out "$1" 2>/dev/null; }

# A CA database that issues with any dates and serial we ask for.
: > db/index.txt
echo "unique_subject = no" > db/index.txt.attr
echo 1000 > db/crlnumber
cat > ca.cnf <<'EOF'
[ca]
default_ca = core
[core]
database = db/index.txt
new_certs_dir = db
serial = db/serial
crlnumber = db/crlnumber
default_md = sha256
default_crl_days = 30
policy = any
unique_subject = no
copy_extensions = none
[any]
countryName = optional
organizationName = optional
organizationalUnitName = optional
commonName = optional
[v3_ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
EOF

# issue SERIAL START END SUBJECT OUT [extension section] [extra options...]
issue() {
  local serial="$1" start="$2" end="$3" subject="$4" outfile="$5" ext="${6:-}"
  shift 6 || shift $#
  echo "$serial" > db/serial
  openssl req -new -key leaf.key -subj "$subject" -out leaf.csr
  local extopt=()
  [ -n "$ext" ] && extopt=(-extfile ext.cnf -extensions "$ext")
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in leaf.csr -startdate "$start" -enddate "$end" \
    -notext -preserveDN "${extopt[@]}" "$@" -out leaf.pem 2>/dev/null
  openssl x509 -in leaf.pem -outform DER -out "$outfile"
}

key ca.key
openssl req -new -key ca.key -subj "/C=KR/O=Core Test/CN=Core Root CA" -out ca.csr
echo 01 > db/serial
openssl ca -batch -config ca.cnf -selfsign -keyfile ca.key -in ca.csr -startdate 20000101000000Z \
  -enddate 20991231235959Z -extfile ca.cnf -extensions v3_ca -notext -out ca.pem 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der

key leaf.key
cat > ext.cnf <<'EOF'
[leaf]
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid,issuer:always
keyUsage = critical,digitalSignature,nonRepudiation
extendedKeyUsage = clientAuth,emailProtection,1.2.410.200004.10.1.1.99
subjectAltName = URI:http://www.example.com/holder,DNS:holder.example
authorityInfoAccess = OCSP;URI:http://ocsp.example.com/,caIssuers;URI:http://ca.example.com/ca.der,caIssuers;URI:ldap://ldap.example.com/cn=ca
crlDistributionPoints = URI:http://crl.example.com/a.crl,URI:ldap://ldap.example.com/cn=CRL1p1?certificateRevocationList;binary
certificatePolicies = @pol
[pol]
policyIdentifier = 1.2.410.200004.5.2.1.2
CPS.1 = http://www.example.com/cps.html
userNotice.1 = @notice
[notice]
explicitText = "UTF8:Korean accredited certificate"
organization = "Example CA"
noticeNumbers = 1, 2, 300
[keyenc]
keyUsage = keyEncipherment
basicConstraints = CA:FALSE
EOF

# The certificates of the record tests.
issue 02 20200101000000Z 20300101000000Z "/C=KR/O=Core Test/CN=Version One" certs/v1.der
issue 8F00AB 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/OU=RA/CN=RSA 2048" certs/rsa2048.der leaf
key rsa4096.key 4096
cp leaf.key leaf2048.key && cp rsa4096.key leaf.key
issue 0102 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/CN=RSA 4096" certs/rsa4096.der keyenc
cp leaf2048.key leaf.key
issue 0103 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/CN=PSS" certs/pss.der leaf \
  -sigopt rsa_padding_mode:pss -sigopt rsa_pss_saltlen:32
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key 2>/dev/null
cp ec.key leaf.key
issue 0104 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/CN=EC P-256" certs/ec.der leaf
cp leaf2048.key leaf.key
issue 0105 20200101000000Z 20300101000000Z "/C=KR/O=Core Test/CN=Window" window.der leaf
cp window.der certs/window.der

# Certificates python3-cryptography writes: Korean names in UTF8String and
# BMPString, distribution points of every kind, an authority key identifier
# with issuer and serial, a notAfter past 2050 and a serial with its top bit.
/usr/bin/python3 "$here/make_x509_certs.py" ca.key ca.pem leaf.key certs

# The identity-data and every-extension certificates of libzunPKI's tests.
mkdir -p pki
"$root/tests/pki/x509/make_ext_fixtures.sh" pki >/dev/null 2>&1
cp pki/vid.der certs/vid.der
cp pki/all.der certs/all.der
cp pki/vid.txt vid.txt
cp pki/ca.pem vid-ca.pem

# Revoked leaves and openssl's CRL with reasons.
n=0
for reason in keyCompromise CACompromise affiliationChanged superseded cessationOfOperation certificateHold \
  unspecified removeFromCRL; do
  n=$((n + 1))
  issue "$(printf '%04X' $((0x2000 + n)))" 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/CN=Revoked $n" \
    "revoked-$n.der" leaf
  openssl ca -config ca.cnf -cert ca.pem -keyfile ca.key -revoke leaf.pem -crl_reason "$reason" 2>/dev/null || true
done
issue 2FFF 20240101000000Z 20340101000000Z "/C=KR/O=Core Test/CN=Not revoked" good.der leaf
openssl ca -config ca.cnf -cert ca.pem -keyfile ca.key -gencrl -crldays 30 -out ca.crl.pem 2>/dev/null
openssl crl -in ca.crl.pem -outform DER -out ca.crl
openssl crl -in ca.crl.pem -text -noout > ca.crl.txt

# Another CA with its own key: its CRL names another issuer.
key other.key
openssl req -x509 -new -key other.key -subj "/C=KR/O=Core Test/CN=Other CA" -days 3650 -out other-ca.pem
openssl x509 -in other-ca.pem -outform DER -out other-ca.der
openssl ca -config ca.cnf -cert other-ca.pem -keyfile other.key -gencrl -crldays 30 -out other.crl.pem 2>/dev/null
openssl crl -in other.crl.pem -outform DER -out other.crl

# python3-cryptography's CRL (reads py.crl.txt too).
openssl crl -inform DER -in py.crl -text -noout > py.crl.txt

# libzunPKI's CRL fixtures: a CRL without nextUpdate, one signed with PSS.
mkdir -p pkicrl
"$root/tests/pki/x509/make_crl_fixtures.sh" pkicrl >/dev/null 2>&1

"$root/scripts/make-large-crl" large.crl 3000
openssl crl -inform DER -in large.crl -text -noout > large.crl.txt

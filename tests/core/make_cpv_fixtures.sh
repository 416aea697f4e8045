#!/usr/bin/env bash
# Certificates and CRLs for the path-validation tests, into $1, for an LDAP
# server on port $2, an HTTP server on port $3 serving $1, and a server that
# never answers on port $4. Keys and a version 1 CA by openssl,
# certificates by python3-cryptography (make_cpv_certs.py), CRLs by
# openssl ca -gencrl, each as NAME.crl (DER, served) and NAME.crl.pem:
#   root       lists inter2                  inter   lists leaf_revoked,
#   inter2     empty                                 leaf_http_revoked, leaf_ldap_path
#   fk         signed under another key      nocrlsign  by a CA without cRLSign
#   delta      a delta CRL                   idp     for keyCompromise only
#   crit       an unknown critical extension
# ldap/inter.crl is inter.crl again, under a path that says "ldap".
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null

for k in root inter old other ca leaf; do
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$k.key" 2>/dev/null
done
# The version 1 CA needs the root first: a throw-away root of the same name
# and key is made here and the real one later by python, which signs alike.
openssl req -x509 -new -key root.key -subj "/C=KR/O=Zun Test/CN=CPV Root" -days 2 -out v1root.pem
openssl req -new -key ca.key -subj "/C=KR/O=Zun Test/CN=CPV V1 CA" -out v1.csr
openssl x509 -req -in v1.csr -CA v1root.pem -CAkey root.key -set_serial 15 -days 365 -out v1.pem 2>/dev/null

/usr/bin/python3 "$here/make_cpv_certs.py" "$out" "$2" "$3" "$4"

# shellcheck source=../fixtures/gencrl.sh
source "$here/../fixtures/gencrl.sh"

gencrl root root.pem root.key "04"
gencrl inter inter.pem inter.key "0101 0103 0104"
gencrl inter2 inter2.pem ca.key ""
# Another key under fk's name: a throw-away certificate of that name for it.
openssl req -x509 -new -key other.key -subj "/C=KR/O=Zun Test/CN=CPV Inter FK" -days 2 -out fk-other.pem
gencrl fk fk-other.pem other.key ""
gencrl nocrlsign nocrlsign.pem ca.key ""
gencrl delta delta.pem ca.key "" "2.5.29.27 = critical, ASN1:INTEGER:1"
gencrl idp idp.pem ca.key "" "issuingDistributionPoint = critical, @idpsect
[idpsect]
fullname = URI:http://127.0.0.1:$3/idp.crl
onlysomereasons = keyCompromise"
gencrl crit crit.pem ca.key "" "1.2.3.4.5 = critical, ASN1:NULL"
mkdir -p ldap
cp inter.crl ldap/inter.crl

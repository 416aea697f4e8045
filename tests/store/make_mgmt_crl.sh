#!/usr/bin/env bash
# Certificates and CRLs for the store's CRL checks, into $1, for an LDAP
# server on port $2 and an HTTP server on port $3 serving $1. Keys and
# certificates by python3-cryptography (openssl's configuration would split
# the LDAP URIs at their commas), CRLs by openssl ca -gencrl as NAME.crl
# (DER, served) and NAME.crl.pem:
#   root.der         C=KR, O=yessign, CN=Mgmt Root (self-signed); its CRL
#                    "cn=Mgmt Root,c=KR" over LDAP lists nothing
#   ca.der           C=KR, O=VERIDAN, CN=VERIDAN CA under root, its CRL
#                    "cn=VERIDAN CA,c=KR" over LDAP and ca.crl over HTTP
#   good.der revoked.der          users with the LDAP point (revoked is listed)
#   good_http.der revoked_http.der  users with the HTTP point
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null

/usr/bin/python3 - "$out" "$2" "$3" <<'PY'
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

out, ldap, http = sys.argv[1], sys.argv[2], sys.argv[3]
now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def name(org, cn):
    return x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "KR"), x509.NameAttribute(NameOID.ORGANIZATION_NAME, org),
                      x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def new_key(label):
    k = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    open(f"{out}/{label}.key", "wb").write(k.private_bytes(serialization.Encoding.PEM,
                                                          serialization.PrivateFormat.PKCS8,
                                                          serialization.NoEncryption()))
    return k


def make(label, subject, key, issuer, signer, serial, ca, dp=None):
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer).public_key(key.public_key())
         .serial_number(serial).not_valid_before(now - datetime.timedelta(days=1))
         .not_valid_after(now + datetime.timedelta(days=365))
         .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)
         .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(signer.public_key()), False))
    if ca:
        b = b.add_extension(x509.BasicConstraints(True, None), True).add_extension(
            x509.KeyUsage(False, False, False, False, False, True, True, False, False), True)
    else:
        b = b.add_extension(x509.KeyUsage(True, True, False, False, False, False, False, False, False), True)
    if dp:
        b = b.add_extension(x509.CRLDistributionPoints(
            [x509.DistributionPoint([x509.UniformResourceIdentifier(dp)], None, None, None)]), False)
    cert = b.sign(signer, hashes.SHA256())
    open(f"{out}/{label}.der", "wb").write(cert.public_bytes(serialization.Encoding.DER))
    open(f"{out}/{label}.pem", "wb").write(cert.public_bytes(serialization.Encoding.PEM))


root_key, ca_key = new_key("root"), new_key("ca")
ROOT, CA = name("yessign", "Mgmt Root"), name("VERIDAN", "VERIDAN CA")
make("root", ROOT, root_key, ROOT, root_key, 1, True)
make("ca", CA, ca_key, ROOT, root_key, 2, True, f"ldap://127.0.0.1:{ldap}/cn=Mgmt%20Root,c=KR?certificateRevocationList;binary")
ca_ldap = f"ldap://127.0.0.1:{ldap}/cn=VERIDAN%20CA,c=KR?certificateRevocationList;binary"
ca_http = f"http://127.0.0.1:{http}/ca.crl"
for label, serial, dp in (("good", 0x101, ca_ldap), ("revoked", 0x102, ca_ldap), ("good_http", 0x103, ca_http),
                          ("revoked_http", 0x104, ca_http)):
    make(label, name("yessign", label), rsa.generate_private_key(public_exponent=65537, key_size=2048), CA, ca_key,
         serial, False, dp)
PY

# shellcheck source=../fixtures/gencrl.sh
source "$here/../fixtures/gencrl.sh"
gencrl root root.pem root.key "99"
gencrl ca ca.pem ca.key "0102 0104"

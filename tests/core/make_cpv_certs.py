"""Certificates for the path-validation tests, written by python3-cryptography
(openssl's configuration would split the distribution-point URIs at their
commas). Keys are made by openssl beforehand.

Usage: make_cpv_certs.py OUT_DIR LDAP_PORT HTTP_PORT SILENT_PORT

Every certificate NAME.pem is written in OUT_DIR, signed as the table below
says; the CRLs the distribution points name are made afterwards with
openssl ca -gencrl (make_cpv_fixtures.sh)."""
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.x509.oid import NameOID

out, ldap_port, http_port, silent_port = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
UTC = datetime.timezone.utc
NOW = datetime.datetime.now(UTC).replace(microsecond=0)

LDAP = f"ldap://127.0.0.1:{ldap_port}"
HTTP = f"http://127.0.0.1:{http_port}"
SILENT = f"127.0.0.1:{silent_port}"


def key(name):
    return serialization.load_pem_private_key(open(f"{out}/{name}.key", "rb").read(), None)


KEYS = {k: key(k) for k in ("root", "inter", "old", "other", "ca", "leaf")}
CERTS = {}


def dn(cn):
    return x509.Name(
        [
            x509.NameAttribute(NameOID.COUNTRY_NAME, "KR"),
            x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Zun Test"),
            x509.NameAttribute(NameOID.COMMON_NAME, cn),
        ]
    )


def cdp(*uris):
    return x509.CRLDistributionPoints(
        [x509.DistributionPoint([x509.UniformResourceIdentifier(u) for u in uris], None, None, None)]
    )


def ca_usage(crl_sign=True):
    return x509.KeyUsage(False, False, False, False, False, True, crl_sign, False, False)


def make(name, cn, issuer, key_name, serial, ca=None, crl=None, usage=None, lifetime=365, extra=(),
         issuer_key=None, subject_key_id=True):
    """issuer: a name made earlier, or None for self-signed. ca: None for an
    end entity, else the path length (-1 for none). crl: the distribution
    point URIs."""
    subject_key = KEYS[key_name]
    signer_cert = CERTS[issuer] if issuer else None
    signer_key = KEYS[issuer_key] if issuer_key else (signer_cert and signer_cert[1]) or subject_key
    builder = (
        x509.CertificateBuilder()
        .subject_name(dn(cn))
        .issuer_name(signer_cert[0].subject if signer_cert else dn(cn))
        .public_key(subject_key.public_key())
        .serial_number(serial)
        .not_valid_before(NOW - datetime.timedelta(days=1))
        .not_valid_after(NOW + datetime.timedelta(days=lifetime))
    )
    if ca is not None:
        builder = builder.add_extension(x509.BasicConstraints(True, None if ca < 0 else ca), True)
        builder = builder.add_extension(usage or ca_usage(), True)
    if subject_key_id:
        builder = builder.add_extension(x509.SubjectKeyIdentifier.from_public_key(subject_key.public_key()), False)
        signer_public = signer_cert[1].public_key() if signer_cert else subject_key.public_key()
        builder = builder.add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(signer_public), False)
    if crl:
        builder = builder.add_extension(cdp(*crl), False)
    for ext, critical in extra:
        builder = builder.add_extension(ext, critical)
    cert = builder.sign(signer_key, hashes.SHA256())
    CERTS[name] = (cert, subject_key)
    open(f"{out}/{name}.pem", "wb").write(cert.public_bytes(serialization.Encoding.PEM))


ROOT_CRL = f"{LDAP}/cn=CPV%20Root,c=KR?certificateRevocationList;binary"
INTER_CRL = f"{LDAP}/cn=CPV%20Inter,c=KR?certificateRevocationList;binary"

make("root", "CPV Root", None, "root", 1, ca=-1)
make("inter", "CPV Inter", "root", "inter", 2, ca=-1, crl=[ROOT_CRL])
# The same name under another key, listed before the real one.
make("old", "CPV Inter", "root", "old", 3, ca=-1, crl=[ROOT_CRL])
make("inter2", "CPV Inter Revoked", "root", "ca", 4, ca=-1, crl=[ROOT_CRL])
make("fk", "CPV Inter FK", "root", "ca", 5, ca=-1, crl=[ROOT_CRL])
make("nocrlsign", "CPV Inter No CRL Sign", "root", "ca", 6, ca=-1, crl=[ROOT_CRL], usage=ca_usage(False))
make("delta", "CPV Inter Delta", "root", "ca", 7, ca=-1, crl=[ROOT_CRL])
make("idp", "CPV Inter IDP", "root", "ca", 8, ca=-1, crl=[ROOT_CRL])
make("crit", "CPV Inter Crit", "root", "ca", 9, ca=-1, crl=[ROOT_CRL])
make("notca", "CPV Not CA", "root", "ca", 10, extra=[(x509.BasicConstraints(False, None), True)])
make("noext", "CPV No Extensions", "root", "ca", 11, subject_key_id=False)
make("pl0", "CPV Path Length 0", "root", "ca", 12, ca=0)
make("sub", "CPV Under Path Length 0", "pl0", "other", 13, ca=-1)
make("selfsigned", "CPV Self Signed", None, "other", 14, ca=-1)

make("leaf", "CPV Leaf LDAP", "inter", "leaf", 0x100, crl=[INTER_CRL])
make("leaf_revoked", "CPV Leaf LDAP Revoked", "inter", "leaf", 0x101, crl=[INTER_CRL])
make("leaf_http", "CPV Leaf HTTP", "inter", "leaf", 0x102, crl=[f"{HTTP}/inter.crl"])
make("leaf_http_revoked", "CPV Leaf HTTP Revoked", "inter", "leaf", 0x103, crl=[f"{HTTP}/inter.crl"])
make("leaf_ldap_path", "CPV Leaf HTTP ldap path", "inter", "leaf", 0x104, crl=[f"{HTTP}/ldap/inter.crl"])
make("leaf_nocdp", "CPV Leaf No CDP", "inter", "leaf", 0x105)
make("leaf_short", "CPV Leaf Short", "inter", "leaf", 0x106, lifetime=3)
# Distribution points: an unreachable one before a working one; schemes
# not fetched; a server that never answers.
make("leaf_fallback", "CPV Leaf Fallback", "inter", "leaf", 0x107,
     crl=[f"ldap://127.0.0.1:1/cn=CPV%20Inter,c=KR", f"{HTTP}/inter.crl"])
make("leaf_https", "CPV Leaf HTTPS", "inter", "leaf", 0x108, crl=[f"https://127.0.0.1:{http_port}/inter.crl",
                                                                   f"ldaps://127.0.0.1:{ldap_port}/cn=x"])
make("leaf_silent_ldap", "CPV Leaf Silent LDAP", "inter", "leaf", 0x109, crl=[f"ldap://{SILENT}/cn=CPV%20Inter,c=KR"])
make("leaf_silent_http", "CPV Leaf Silent HTTP", "inter", "leaf", 0x10a, crl=[f"http://{SILENT}/inter.crl"])
make("leaf_foreign_issuer", "CPV Leaf Foreign Issuer", "inter", "leaf", 0x10b, crl=[f"{HTTP}/root.crl"])
make("leaf_404", "CPV Leaf 404", "inter", "leaf", 0x10c, crl=[f"{HTTP}/missing.crl"])

make("leaf_inter2", "CPV Leaf Under Revoked", "inter2", "leaf", 0x200, crl=[f"{HTTP}/inter2.crl"])
make("leaf_fk", "CPV Leaf FK", "fk", "leaf", 0x201, crl=[f"{HTTP}/fk.crl"])
make("leaf_nocrlsign", "CPV Leaf No CRL Sign", "nocrlsign", "leaf", 0x202, crl=[f"{HTTP}/nocrlsign.crl"])
make("leaf_delta", "CPV Leaf Delta", "delta", "leaf", 0x203, crl=[f"{HTTP}/delta.crl"])
make("leaf_idp", "CPV Leaf IDP", "idp", "leaf", 0x204, crl=[f"{HTTP}/idp.crl"])
make("leaf_crit", "CPV Leaf Crit", "crit", "leaf", 0x205, crl=[f"{HTTP}/crit.crl"])
make("leaf_notca", "CPV Leaf Not CA", "notca", "leaf", 0x206)
make("leaf_noext", "CPV Leaf No Extensions", "noext", "leaf", 0x207)
make("leaf_sub", "CPV Leaf Too Deep", "sub", "leaf", 0x208)
# A version 1 CA, made by openssl x509 -req beforehand.
CERTS["v1"] = (x509.load_pem_x509_certificate(open(f"{out}/v1.pem", "rb").read()), KEYS["ca"])
make("leaf_v1", "CPV Leaf Under V1", "v1", "leaf", 0x209)

# Two CAs that issue each other, neither self-signed.
CERTS["loop_b_stub"] = (x509.CertificateBuilder().subject_name(dn("CPV Loop B")).issuer_name(dn("CPV Loop B"))
                        .public_key(KEYS["other"].public_key()).serial_number(1)
                        .not_valid_before(NOW).not_valid_after(NOW + datetime.timedelta(days=1))
                        .sign(KEYS["other"], hashes.SHA256()), KEYS["other"])
make("loop_a", "CPV Loop A", "loop_b_stub", "ca", 0x300, ca=-1)
make("loop_b", "CPV Loop B", "loop_a", "other", 0x301, ca=-1)
make("leaf_loop", "CPV Leaf Loop", "loop_a", "leaf", 0x302)

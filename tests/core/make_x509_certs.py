"""Certificates and a CRL that python3-cryptography writes for the core's
X.509 tests, signed by the test CA.

Usage: make_x509_certs.py CA_KEY CA_PEM LEAF_KEY OUT_DIR   (py.crl lands in
the current folder)."""
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.name import _ASN1Type
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

ca_key = serialization.load_pem_private_key(open(sys.argv[1], "rb").read(), None)
ca = x509.load_pem_x509_certificate(open(sys.argv[2], "rb").read())
leaf_key = serialization.load_pem_private_key(open(sys.argv[3], "rb").read(), None)
out = sys.argv[4]

UTC = datetime.timezone.utc


def name(*attrs):
    return x509.Name([x509.NameAttribute(oid, value, *kind) for oid, value, *kind in attrs])


def write(file, subject, extensions=(), serial=0x1234, key=None, not_before=None, not_after=None):
    builder = (
        x509.CertificateBuilder()
        .subject_name(subject)
        .issuer_name(ca.subject)
        .public_key((key or leaf_key).public_key())
        .serial_number(serial)
        .not_valid_before(not_before or datetime.datetime(2024, 1, 1, tzinfo=UTC))
        .not_valid_after(not_after or datetime.datetime(2034, 1, 1, tzinfo=UTC))
    )
    for ext, critical in extensions:
        builder = builder.add_extension(ext, critical)
    cert = builder.sign(ca_key, hashes.SHA256())
    open(f"{out}/{file}", "wb").write(cert.public_bytes(serialization.Encoding.DER))


# Korean names: UTF8String and BMPString side by side, a multi-valued RDN.
write(
    "py-korean.der",
    x509.Name(
        [
            x509.RelativeDistinguishedName([x509.NameAttribute(NameOID.COUNTRY_NAME, "KR")]),
            x509.RelativeDistinguishedName([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "한국정보인증")]),
            x509.RelativeDistinguishedName(
                [x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, "개인", _ASN1Type.BMPString)]
            ),
            x509.RelativeDistinguishedName(
                [
                    x509.NameAttribute(NameOID.COMMON_NAME, "홍길동()0012345"),
                    x509.NameAttribute(NameOID.SERIAL_NUMBER, "7"),
                ]
            ),
        ]
    ),
    [(x509.SubjectAlternativeName([x509.UniformResourceIdentifier("  http://www.example.com/blank  ")]), False)],
)
write(
    "py-bmp.der",
    name((NameOID.COUNTRY_NAME, "KR"), (NameOID.COMMON_NAME, "전자서명인증", _ASN1Type.BMPString)),
)

# Distribution points of every kind.
ReasonFlags = x509.ReasonFlags
write(
    "py-cdp.der",
    name((NameOID.COUNTRY_NAME, "KR"), (NameOID.COMMON_NAME, "Distribution points")),
    [
        (
            x509.CRLDistributionPoints(
                [
                    x509.DistributionPoint(
                        [
                            x509.UniformResourceIdentifier("http://crl.example.com/1.crl"),
                            x509.DNSName("crl.example.com"),
                            x509.UniformResourceIdentifier("ldap://ldap.example.com/cn=CRL1,ou=ca,o=x,c=kr"),
                        ],
                        None,
                        frozenset([ReasonFlags.key_compromise, ReasonFlags.ca_compromise]),
                        [x509.UniformResourceIdentifier("http://issuer.example.com/")],
                    ),
                    x509.DistributionPoint(
                        None,
                        x509.RelativeDistinguishedName([x509.NameAttribute(NameOID.COMMON_NAME, "CRL7")]),
                        frozenset([ReasonFlags.aa_compromise]),
                        None,
                    ),
                    x509.DistributionPoint(
                        [x509.UniformResourceIdentifier("http://crl.example.com/2.crl")], None, None, None
                    ),
                ]
            ),
            False,
        ),
        (
            x509.AuthorityKeyIdentifier(
                b"\x01\x02\x03\x04\x05",
                [x509.DirectoryName(ca.subject)],
                ca.serial_number,
            ),
            False,
        ),
    ],
)

# A notAfter past 2049 (GeneralizedTime), a serial whose top bit is set,
# policies with a Korean explicit text, and an EC key.
ec_key = ec.generate_private_key(ec.SECP256R1())
write(
    "py-2055.der",
    name((NameOID.COUNTRY_NAME, "KR"), (NameOID.COMMON_NAME, "Long lived")),
    [
        (
            x509.CertificatePolicies(
                [
                    x509.PolicyInformation(
                        x509.ObjectIdentifier("1.2.410.200004.5.2.1.1"),
                        [
                            "https://www.example.com/cps",
                            x509.UserNotice(x509.NoticeReference("Org", [7, 8]), "공인인증서"),
                        ],
                    ),
                    x509.PolicyInformation(x509.ObjectIdentifier("2.5.29.32.0"), None),
                ]
            ),
            False,
        ),
        (x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH, ExtendedKeyUsageOID.CODE_SIGNING]), False),
        (x509.SubjectKeyIdentifier(b"\xaa" * 20), False),
    ],
    serial=0xC0FFEE << 128 | 1,
    key=ec_key,
    not_after=datetime.datetime(2055, 12, 31, 23, 59, 59, tzinfo=UTC),
)

# An issuer name that differs from the CA's subject only in string type,
# case and blanks: the same name to RFC 5280 and openssl verify.
builder = (
    x509.CertificateBuilder()
    .subject_name(name((NameOID.COUNTRY_NAME, "KR"), (NameOID.COMMON_NAME, "Issuer by name")))
    .issuer_name(
        name(
            (NameOID.COUNTRY_NAME, "KR"),
            (NameOID.ORGANIZATION_NAME, "CORE TEST", _ASN1Type.PrintableString),
            (NameOID.COMMON_NAME, "core  root   ca", _ASN1Type.PrintableString),
        )
    )
    .public_key(leaf_key.public_key())
    .serial_number(0x4321)
    .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
    .not_valid_after(datetime.datetime(2034, 1, 1, tzinfo=UTC))
)
open(f"{out}/../issuer-case.der", "wb").write(
    builder.sign(ca_key, hashes.SHA256()).public_bytes(serialization.Encoding.DER)
)

# The CRL: invalidityDate before reasonCode, a revocation date past 2049, an
# entry without extensions.
crl = (
    x509.CertificateRevocationListBuilder()
    .issuer_name(ca.subject)
    .last_update(datetime.datetime(2024, 1, 1, tzinfo=UTC))
    .next_update(datetime.datetime(2024, 2, 1, tzinfo=UTC))
)
entries = [
    (0x1001, datetime.datetime(2024, 1, 2, 3, 4, 5, tzinfo=UTC), ReasonFlags.key_compromise),
    (0x1002, datetime.datetime(2051, 6, 7, 8, 9, 10, tzinfo=UTC), ReasonFlags.superseded),
    (0x1003, datetime.datetime(2023, 12, 31, 23, 59, 59, tzinfo=UTC), None),
    (0x1001, datetime.datetime(2024, 1, 3, tzinfo=UTC), ReasonFlags.cessation_of_operation),
]
for serial, when, reason in entries:
    entry = x509.RevokedCertificateBuilder().serial_number(serial).revocation_date(when)
    if reason is not None:
        entry = entry.add_extension(x509.InvalidityDate(datetime.datetime(2023, 12, 1)), False)
        entry = entry.add_extension(x509.CRLReason(reason), False)
    crl = crl.add_revoked_certificate(entry.build())
open("py.crl", "wb").write(crl.sign(ca_key, hashes.SHA256()).public_bytes(serialization.Encoding.DER))

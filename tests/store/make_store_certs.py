"""Certificates for the store's class, naming and writer tests, made with
python3-cryptography into OUT_DIR, with OUT_DIR/certs.tsv listing each file,
the class the rules give it, its CA folder and its subject folder.

Usage: make_store_certs.py OUT_DIR"""
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

import store_layout

out = sys.argv[1]
UTC = datetime.timezone.utc
ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
leaf_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
CA_NAME = x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "kr"),
                     x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Test Root"),
                     x509.NameAttribute(NameOID.COMMON_NAME, "Store Test CA")])

USAGES = {
    "c0": dict(digital_signature=True, content_commitment=True),
    "30": dict(key_encipherment=True, data_encipherment=True),
    "06": dict(key_cert_sign=True, crl_sign=True),
}
rows = []
serial = 0x1000


def name(org=None, cn="user", ous=()):
    attrs = [x509.NameAttribute(NameOID.COUNTRY_NAME, "kr")]
    if org is not None:
        attrs.append(x509.NameAttribute(NameOID.ORGANIZATION_NAME, org))
    attrs += [x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, ou) for ou in ous]
    attrs.append(x509.NameAttribute(NameOID.COMMON_NAME, cn))
    return x509.Name(attrs)


def write(file, subject, usage=None, self_signed=False, policies=(), serial_number=None, expected=None, cps=None):
    global serial
    serial += 1
    builder = (
        x509.CertificateBuilder()
        .subject_name(subject)
        .issuer_name(subject if self_signed else CA_NAME)
        .public_key(leaf_key.public_key())
        .serial_number(serial_number or serial)
        .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
        .not_valid_after(datetime.datetime(2034, 1, 1, tzinfo=UTC))
        .add_extension(x509.SubjectKeyIdentifier.from_public_key(leaf_key.public_key()), False)
    )
    if usage:
        flags = dict(digital_signature=False, content_commitment=False, key_encipherment=False,
                     data_encipherment=False, key_agreement=False, key_cert_sign=False, crl_sign=False,
                     encipher_only=False, decipher_only=False)
        flags.update(USAGES[usage])
        builder = builder.add_extension(x509.KeyUsage(**flags), True)
    if policies:
        builder = builder.add_extension(
            x509.CertificatePolicies([x509.PolicyInformation(x509.ObjectIdentifier(p), [cps[i]] if cps else None)
                                      for i, p in enumerate(policies)]),
            False)
    cert = builder.sign(leaf_key if self_signed else ca_key, hashes.SHA256())
    open(f"{out}/{file}", "wb").write(cert.public_bytes(serialization.Encoding.DER))
    folder = store_layout.ca_stem(cert) if expected in (7, 8, 9) else store_layout.dn_text(subject)
    rows.append((file, expected, store_layout.ca_folder(cert), folder))


# The class table: each organisation with each key usage, and self-signed.
ORGS = {
    "yessign": (1, 2, 7), "SignKorea": (1, 2, 7), "KICA": (1, 2, 7), "KISA": (1, 2, 7),
    "Government of Korea": (5, 6, 9), "VERIDAN": (3, 4, 8), "Acme Widgets": (3, 4, 8), None: (3, 3, 3),
}
for i, (org, (sign, km, ca)) in enumerate(ORGS.items()):
    tag = f"org{i}"
    write(f"{tag}-c0.der", name(org), "c0", expected=sign)
    write(f"{tag}-30.der", name(org), "30", expected=km)
    write(f"{tag}-06.der", name(org), "06", expected=ca)
    write(f"{tag}-self.der", name(org, cn=f"Root {i}"), "c0", self_signed=True, expected=ca)

# A yessign user with a Hangul CN: signing and KM pairs of one subject.
USER = name("yessign", "홍길동()0012345678901234", ("personal4IB", "KMB"))
write("user-sign.der", USER, "c0", expected=1)
write("user-km.der", USER, "30", expected=2)
# CA certificates of each store; one serial with its top bit set.
write("ca-public.der", name("yessign", "yessignCA Class 2"), "06", serial_number=0x8A1B2C, expected=7)
write("ca-private.der", name("VERIDAN", "VERIDAN Private CA"), "06", expected=8)
write("ca-gov.der", name("Government of Korea", "GPKI Root"), "06", expected=9)
# A private-PKI user and government users with and without the class-2 policy.
write("private-sign.der", name("VERIDAN", "private user"), "c0", expected=3)
write("gov-class2.der", name("Government of Korea", "김공무", ("행정안전부",)), "c0",
      policies=["1.2.410.100001.2.2"], expected=5)
write("gov-class1.der", name("Government of Korea", "이공무"), "c0", policies=["1.2.410.100001.2.1"], expected=5)
write("gov-km.der", name("Government of Korea", "김공무", ("행정안전부",)), "30",
      policies=["1.2.410.100001.2.2"], expected=6)
# CPS addresses in two policies.
write("cps.der", name("yessign", "cps user"), "c0", policies=["1.2.410.200005.1.1.1", "1.2.410.200005.1.1.5"],
      cps=["https://www.yessign.or.kr/cps.htm", "http://second.example/cps"], expected=1)
# A subject without CN and OU.
write("no-cn.der", x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "kr"),
                              x509.NameAttribute(NameOID.ORGANIZATION_NAME, "yessign")]), "c0", expected=1)
# Names that would lead out of the store.
write("evil-org.der", name(".."), "c0", expected=3)
write("evil-cn.der", name("yessign", "../../x"), "c0", expected=1)
write("evil-slash-org.der", name("a/b"), "c0", expected=3)
write("evil-gov-cn.der", x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "kr"),
                                    x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Government of Korea"),
                                    x509.NameAttribute(NameOID.COMMON_NAME, "..")]), "c0", expected=5)

with open(f"{out}/certs.tsv", "w", encoding="utf-8") as f:
    for row in rows:
        f.write("\t".join(str(v) for v in row) + "\n")

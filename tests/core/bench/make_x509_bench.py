"""The inputs of the certificate-information benchmark, made with
python3-cryptography and scripts/make-large-crl:
  certs/NNNN.der  1,000 certificates as Korean accredited CAs issue them
                  (RSA-2048 and P-256 keys, Korean names, identity data,
                  policies with notices, distribution points, access
                  information), each with its own serial and name
  large.crl       100,000 entries (make-large-crl)
  revoked.der     a certificate whose serial is the CRL's last entry

Usage: make_x509_bench.py OUTDIR REPO_ROOT"""
import datetime
import os
import subprocess
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

out, root = sys.argv[1], sys.argv[2]
os.makedirs(f"{out}/certs", exist_ok=True)
UTC = datetime.timezone.utc
ca_key = rsa.generate_private_key(65537, 2048)
keys = [rsa.generate_private_key(65537, 2048), ec.generate_private_key(ec.SECP256R1())]
ca_name = x509.Name(
    [
        x509.NameAttribute(NameOID.COUNTRY_NAME, "KR"),
        x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Bench Accredited CA"),
        x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, "AccreditedCA"),
        x509.NameAttribute(NameOID.COMMON_NAME, "BenchCA Class 2"),
    ]
)
ski = x509.SubjectKeyIdentifier.from_public_key(ca_key.public_key())


def identity(n):
    # SEQUENCE { realName UTF8String, SEQUENCE { SEQUENCE { idType, VID } } }
    def tlv(tag, body):
        n = len(body)
        head = bytes([n]) if n < 0x80 else bytes([0x81, n])
        return bytes([tag]) + head + body

    name = tlv(0x0C, f"홍길동{n}".encode())
    vid = tlv(0x30, tlv(0x30, bytes.fromhex("0609608648016503040201")) + tlv(0xA0, tlv(0x04, os.urandom(32))))
    info = tlv(0x30, tlv(0x30, bytes.fromhex("060a2a831a8c9a440a010101") + vid))
    return tlv(0x30, name + info)


for i in range(1000):
    key = keys[i % 2]
    subject = x509.Name(
        [
            x509.NameAttribute(NameOID.COUNTRY_NAME, "KR"),
            x509.NameAttribute(NameOID.ORGANIZATION_NAME, "yessign"),
            x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, "personal4IB"),
            x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, "은행"),
            x509.NameAttribute(NameOID.COMMON_NAME, f"홍길동()00{i:07d}1234567"),
        ]
    )
    b = (
        x509.CertificateBuilder()
        .subject_name(subject)
        .issuer_name(ca_name)
        .public_key(key.public_key())
        .serial_number(0x10000000 + i * 7919)
        .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
        .not_valid_after(datetime.datetime(2025, 1, 1 + i % 28, tzinfo=UTC))
        .add_extension(x509.AuthorityKeyIdentifier(ski.digest, [x509.DirectoryName(ca_name)], 4096), False)
        .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)
        .add_extension(
            x509.KeyUsage(True, True, False, False, False, False, False, False, False), True
        )
        .add_extension(
            x509.CertificatePolicies(
                [
                    x509.PolicyInformation(
                        x509.ObjectIdentifier("1.2.410.200005.1.1.4"),
                        [
                            "http://www.example.com/cps.htm",
                            x509.UserNotice(None, "이 인증서는 공인인증서입니다"),
                        ],
                    )
                ]
            ),
            True,
        )
        .add_extension(
            x509.SubjectAlternativeName([x509.OtherName(x509.ObjectIdentifier("1.2.410.200004.10.1.1"), identity(i))]),
            False,
        )
        .add_extension(
            x509.CRLDistributionPoints(
                [
                    x509.DistributionPoint(
                        [x509.UniformResourceIdentifier(f"ldap://ds.example.com:389/cn=dp{i % 50}p1,ou=dp,o=CA,c=kr")],
                        None,
                        None,
                        None,
                    )
                ]
            ),
            False,
        )
        .add_extension(
            x509.AuthorityInformationAccess(
                [
                    x509.AccessDescription(
                        x509.oid.AuthorityInformationAccessOID.OCSP,
                        x509.UniformResourceIdentifier("http://ocsp.example.com:4612"),
                    )
                ]
            ),
            False,
        )
    )
    if i % 3 == 0:
        b = b.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CLIENT_AUTH]), False)
    cert = b.sign(ca_key, hashes.SHA256())
    open(f"{out}/certs/{i:04d}.der", "wb").write(cert.public_bytes(serialization.Encoding.DER))

subprocess.run([f"{root}/scripts/make-large-crl", f"{out}/large.crl", "100000"], check=True)
# make-large-crl lists serial i * 7 for i = 1..count: the last is 700000.
cert = (
    x509.CertificateBuilder()
    .subject_name(ca_name)
    .issuer_name(ca_name)
    .public_key(keys[0].public_key())
    .serial_number(700000)
    .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
    .not_valid_after(datetime.datetime(2034, 1, 1, tzinfo=UTC))
    .sign(ca_key, hashes.SHA256())
)
open(f"{out}/revoked.der", "wb").write(cert.public_bytes(serialization.Encoding.DER))

"""Homes of 10, 100 and 1,000 public user certificates for the listing
benchmark, made with python3-cryptography: yessign, SignKorea and
CrossCert users in folders named by their subject DN, each with its key.

Usage: make_list_bench.py OUT_DIR   (OUT_DIR/10, OUT_DIR/100, OUT_DIR/1000)"""
import datetime
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

out = sys.argv[1]
UTC = datetime.timezone.utc
NOW = datetime.datetime.now(UTC)
ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
leaf_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
KEY = leaf_key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.PKCS8,
                             serialization.BestAvailableEncryption(b"bench-pw"))
CAS = [("yessign", "yessignCA Class 2", "1.2.410.200005.1.1.1", ["personal4IB", "KMB"]),
       ("SignKorea", "SignKorea CA2", "1.2.410.200004.5.1.1.5", ["personal", "KFTC"]),
       ("CrossCert", "CrossCertCA2", "1.2.410.200004.5.4.1.1", ["AccreditedCA", "KB"])]
SURNAMES = "김이박최정강조윤장임"


def attr(oid, value):
    return x509.NameAttribute(oid, value)


def make(n, count):
    for i in range(count):
        org, issuer_cn, policy, ous = CAS[i % len(CAS)]
        cn = f"{SURNAMES[i % 10]}길동()00{i:06d}{n:04d}123456"
        subject = x509.Name([attr(NameOID.COUNTRY_NAME, "kr"), attr(NameOID.ORGANIZATION_NAME, org)] +
                            [attr(NameOID.ORGANIZATIONAL_UNIT_NAME, ou) for ou in ous] +
                            [attr(NameOID.COMMON_NAME, cn)])
        issuer = x509.Name([attr(NameOID.COUNTRY_NAME, "kr"), attr(NameOID.ORGANIZATION_NAME, org),
                            attr(NameOID.ORGANIZATIONAL_UNIT_NAME, "AccreditedCA"),
                            attr(NameOID.COMMON_NAME, issuer_cn)])
        usage = x509.KeyUsage(digital_signature=True, content_commitment=True, key_encipherment=False,
                              data_encipherment=False, key_agreement=False, key_cert_sign=False, crl_sign=False,
                              encipher_only=False, decipher_only=False)
        cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
                .public_key(leaf_key.public_key()).serial_number(0x10000000 + n * 10000 + i)
                .not_valid_before(NOW - datetime.timedelta(days=100))
                .not_valid_after(NOW + datetime.timedelta(days=265 + i % 200))
                .add_extension(usage, True)
                .add_extension(x509.CertificatePolicies([x509.PolicyInformation(x509.ObjectIdentifier(policy),
                                                                                 ["https://www.example.kr/cps"])]),
                               False)
                .add_extension(x509.SubjectKeyIdentifier.from_public_key(leaf_key.public_key()), False)
                .sign(ca_key, hashes.SHA256()))
        dn = ",".join(f"{k}={v}" for k, v in [("cn", cn)] + [("ou", ou) for ou in reversed(ous)] +
                      [("o", org), ("c", "kr")])
        folder = f"{out}/{n}/NPKI/{org}/USER/{dn}"
        os.makedirs(folder, exist_ok=True)
        with open(f"{folder}/signCert.der", "wb") as f:
            f.write(cert.public_bytes(serialization.Encoding.DER))
        with open(f"{folder}/signPri.key", "wb") as f:
            f.write(KEY)


for n in (10, 100, 1000):
    make(n, n)

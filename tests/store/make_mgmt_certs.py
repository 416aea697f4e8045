#!/usr/bin/python3
"""Certificates for the store's detail, view, field and deletion tests, made
with python3-cryptography into OUT_DIR.

  ca.der                    yessignCA (self-signed, key usage 06)
  full.der                  a yessign user with a Hangul CN, serial 0x8A3F01 (a
                            DER INTEGER with a leading 00), key usage c0, key
                            identifiers, a policy with a CPS, a URI
                            alternative name, an LDAP distribution point,
                            OCSP and CA Issuers access; notBefore and notAfter
                            at hours whose dates differ in Seoul and UTC
  km.der                    key usage 30 (RSA 2048, sha1WithRSA)
  agree.der                 key agreement, encipher only and decipher only
  big.der                   a 4096-bit key
  v1.der                    version 1, no extensions
  inter.der                 yessignCA Class 2, a CA under yessignCA (key usage 06)
  veridan-ca.der            the private root "VERIDAN CA" (O=VERIDAN, self-signed)
  renewed/                  Hong of make_sign_store.py renewed: his DN, valid
                            to 2040 (signCert.der), signPri.key under the
                            password "renew-pw-1" (PBES2, AES-256-CBC)
  ec.der                    a P-256 key (no modulus: no key size in the record)
  expired.der               valid in 2010 only
  delete/NAME/              users for deletion by serial: signCert.der,
                            signPri.key (placeholder bytes) and, for some,
                            kmCert.der and kmPri.key; serials.tsv lists
                            NAME, CA folder, DN folder, hex serial
  private/NAME/             users of the private CA (VERIDAN) for deletion by
                            certificate, listed in private.tsv the same way

Usage: make_mgmt_certs.py OUT_DIR"""
import datetime
import os
import sys
import warnings

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.x509.oid import AuthorityInformationAccessOID, NameOID

warnings.simplefilter("ignore")  # sha1WithRSA is what one certificate is for
out = sys.argv[1]
UTC = datetime.timezone.utc


def key(bits=2048):
    return rsa.generate_private_key(public_exponent=65537, key_size=bits)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)


def name(org, cn, ous=()):
    attrs = [x509.NameAttribute(NameOID.COUNTRY_NAME, "kr"), x509.NameAttribute(NameOID.ORGANIZATION_NAME, org)]
    attrs += [x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, ou) for ou in ous]
    attrs.append(x509.NameAttribute(NameOID.COMMON_NAME, cn))
    return x509.Name(attrs)


def dn_folder(n):
    """The store's DN folder name: RDNs last to first, lower-case names."""
    short = {NameOID.COUNTRY_NAME: "c", NameOID.ORGANIZATION_NAME: "o", NameOID.ORGANIZATIONAL_UNIT_NAME: "ou",
             NameOID.COMMON_NAME: "cn"}
    return ",".join(f"{short[a.oid]}={a.value}" for a in reversed(list(n)))


def usage(**set_bits):
    flags = dict(digital_signature=False, content_commitment=False, key_encipherment=False, data_encipherment=False,
                 key_agreement=False, key_cert_sign=False, crl_sign=False, encipher_only=False, decipher_only=False)
    flags.update(set_bits)
    return x509.KeyUsage(**flags)


C0 = usage(digital_signature=True, content_commitment=True)
K30 = usage(key_encipherment=True, data_encipherment=True)
K06 = usage(key_cert_sign=True, crl_sign=True)

ca_key = key()
CA = name("yessign", "yessignCA")
ca = (x509.CertificateBuilder().subject_name(CA).issuer_name(CA).public_key(ca_key.public_key()).serial_number(1)
      .not_valid_before(datetime.datetime(2020, 1, 1, tzinfo=UTC))
      .not_valid_after(datetime.datetime(2045, 1, 1, tzinfo=UTC))
      .add_extension(x509.BasicConstraints(ca=True, path_length=None), True)
      .add_extension(K06, True)
      .add_extension(x509.SubjectKeyIdentifier.from_public_key(ca_key.public_key()), False)
      .sign(ca_key, hashes.SHA256()))
write(f"{out}/ca.der", ca.public_bytes(serialization.Encoding.DER))


def issue(subject, public_key, serial, ku=C0, digest=hashes.SHA256(), extra=(), version1=False,
          not_before=datetime.datetime(2024, 1, 1, tzinfo=UTC), not_after=datetime.datetime(2034, 1, 1, tzinfo=UTC)):
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(CA).public_key(public_key).serial_number(serial)
         .not_valid_before(not_before).not_valid_after(not_after))
    if not version1:
        if ku is not None:
            b = b.add_extension(ku, True)
        for ext in extra:
            b = b.add_extension(ext, False)
    cert = b.sign(ca_key, digest)
    der = cert.public_bytes(serialization.Encoding.DER)
    if version1:
        der = to_version1(der, ca_key, digest)
    return der


def to_version1(der, signer, digest):
    """python3-cryptography writes version 3 only: the TBS is re-made without
    the version field and signed again (pyasn1)."""
    from pyasn1.codec.der import decoder, encoder
    from pyasn1_modules import rfc5280
    from cryptography.hazmat.primitives.asymmetric import padding
    cert, _ = decoder.decode(der, asn1Spec=rfc5280.Certificate())
    tbs = cert["tbsCertificate"]
    tbs["version"] = "v1"
    tbs_der = encoder.encode(tbs)
    # The default v1 is left out of DER.
    signature = signer.sign(tbs_der, padding.PKCS1v15(), digest)
    cert["signature"] = rfc5280.univ.BitString.fromOctetString(signature)
    return encoder.encode(cert)


hong = name("yessign", "홍길동()0001234", ("personal4IB", "KFB"))
hong_key = key()
full_extra = [
    x509.SubjectKeyIdentifier.from_public_key(hong_key.public_key()),
    x509.AuthorityKeyIdentifier.from_issuer_public_key(ca_key.public_key()),
    x509.CertificatePolicies([x509.PolicyInformation(x509.ObjectIdentifier("1.2.410.200005.1.1.1"),
                                                     ["http://www.yessign.or.kr/cps.htm"])]),
    x509.SubjectAlternativeName([x509.UniformResourceIdentifier("http://example.kr/hong")]),
    x509.CRLDistributionPoints([x509.DistributionPoint(
        [x509.UniformResourceIdentifier("ldap://ds.yessign.or.kr:389/ou=dp5p1234,ou=AccreditedCA,o=yessign,c=kr"
                                        "?certificateRevocationList")], None, None, None)]),
    x509.AuthorityInformationAccess([
        x509.AccessDescription(AuthorityInformationAccessOID.OCSP,
                               x509.UniformResourceIdentifier("http://ocsp.yessign.org:4612")),
        x509.AccessDescription(AuthorityInformationAccessOID.CA_ISSUERS,
                               x509.UniformResourceIdentifier("http://www.yessign.or.kr/ca.der")),
    ]),
]
# Seoul is UTC+9: 16:30 UTC is the next day there, 14:00 UTC the same day.
write(f"{out}/full.der", issue(hong, hong_key.public_key(), 0x8A3F01, extra=full_extra,
                               not_before=datetime.datetime(2024, 3, 1, 16, 30, tzinfo=UTC),
                               not_after=datetime.datetime(2034, 2, 28, 14, 0, tzinfo=UTC)))
write(f"{out}/km.der", issue(hong, key().public_key(), 0x2002, ku=K30, digest=hashes.SHA1()))
write(f"{out}/agree.der", issue(name("yessign", "Agree"), key().public_key(), 0x2003,
                                ku=usage(key_agreement=True, encipher_only=True, decipher_only=True)))
write(f"{out}/big.der", issue(name("yessign", "Big"), key(4096).public_key(), 0x2004,
                              extra=[x509.SubjectKeyIdentifier.from_public_key(ca_key.public_key())]))
write(f"{out}/v1.der", issue(name("Acme Widgets", "Old"), key().public_key(), 0x2005, version1=True))
write(f"{out}/ec.der", issue(name("yessign", "Curve"), ec.generate_private_key(ec.SECP256R1()).public_key(), 0x2006))
write(f"{out}/expired.der", issue(name("yessign", "Expired"), key().public_key(), 0x2007,
                                  not_before=datetime.datetime(2010, 1, 1, tzinfo=UTC),
                                  not_after=datetime.datetime(2011, 1, 1, tzinfo=UTC)))

inter_key = key()
inter = (x509.CertificateBuilder().subject_name(name("yessign", "yessignCA Class 2")).issuer_name(CA)
         .public_key(inter_key.public_key()).serial_number(2)
         .not_valid_before(datetime.datetime(2020, 1, 1, tzinfo=UTC))
         .not_valid_after(datetime.datetime(2040, 1, 1, tzinfo=UTC))
         .add_extension(x509.BasicConstraints(ca=True, path_length=0), True).add_extension(K06, True)
         .add_extension(x509.SubjectKeyIdentifier.from_public_key(inter_key.public_key()), False)
         .sign(ca_key, hashes.SHA256()))
write(f"{out}/inter.der", inter.public_bytes(serialization.Encoding.DER))
veridan_key = key()
VERIDAN = name("VERIDAN", "VERIDAN CA")
veridan = (x509.CertificateBuilder().subject_name(VERIDAN).issuer_name(VERIDAN).public_key(veridan_key.public_key())
           .serial_number(3).not_valid_before(datetime.datetime(2020, 1, 1, tzinfo=UTC))
           .not_valid_after(datetime.datetime(2040, 1, 1, tzinfo=UTC))
           .add_extension(x509.BasicConstraints(ca=True, path_length=None), True).add_extension(K06, True)
           .add_extension(x509.SubjectKeyIdentifier.from_public_key(veridan_key.public_key()), False)
           .sign(veridan_key, hashes.SHA256()))
write(f"{out}/veridan-ca.der", veridan.public_bytes(serialization.Encoding.DER))

renewed_key = key()
write(f"{out}/renewed/signCert.der", issue(name("yessign", "Hong", ("personal4IB", "KFB")), renewed_key.public_key(),
                                           0x3001, not_after=datetime.datetime(2040, 1, 1, tzinfo=UTC)))
write(f"{out}/renewed/signPri.key", renewed_key.private_bytes(
    serialization.Encoding.DER, serialization.PrivateFormat.PKCS8,
    serialization.BestAvailableEncryption(b"renew-pw-1")))

# Users to delete: serials 01, 10, 1A and 8A (a leading 00 in the record) of
# yessign, 01 of SignKorea (another CA's O=), and the private CA's users.
shared_key = key()
rows = []
for label, org, ca_folder, serial, with_km in (
        ("y01", "yessign", "yessign", 0x01, True), ("y10", "yessign", "yessign", 0x10, False),
        ("y1a", "yessign", "yessign", 0x1A, False), ("y8a", "yessign", "yessign", 0x8A, True),
        ("s01", "SignKorea", "SignKorea", 0x01, False)):
    subject = name(org, f"user{label}", ("personal4IB",))
    base = f"{out}/delete/{label}"
    write(f"{base}/signCert.der", issue(subject, shared_key.public_key(), serial))
    write(f"{base}/signPri.key", b"placeholder signing key " + label.encode())
    if with_km:
        write(f"{base}/kmCert.der", issue(subject, shared_key.public_key(), serial + 0x100, ku=K30))
        write(f"{base}/kmPri.key", b"placeholder km key " + label.encode())
    rows.append(f"{label}\t{ca_folder}\t{dn_folder(subject)}\t{serial:X}\n")
open(f"{out}/serials.tsv", "w", encoding="utf-8").writelines(rows)

rows = []
for label, serial in (("p1", 0x31), ("p2", 0x32)):
    subject = name("VERIDAN", f"private{label}", ("users",))
    cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(VERIDAN).public_key(shared_key.public_key())
            .serial_number(serial).not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
            .not_valid_after(datetime.datetime(2034, 1, 1, tzinfo=UTC)).add_extension(C0, True)
            .sign(ca_key, hashes.SHA256()))
    write(f"{out}/private/{label}/signCert.der", cert.public_bytes(serialization.Encoding.DER))
    write(f"{out}/private/{label}/signCert.pem", cert.public_bytes(serialization.Encoding.PEM))
    write(f"{out}/private/{label}/signPri.key", b"placeholder private key " + label.encode())
    rows.append(f"{label}\tVERIDAN CA\t{dn_folder(subject)}\t{serial:X}\n")
open(f"{out}/private.tsv", "w", encoding="utf-8").writelines(rows)

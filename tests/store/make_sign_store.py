#!/usr/bin/python3
"""Certificates and keys for the store's signing, identification, index and
PKCS#12 tests, made with python3-cryptography, pyasn1's DER, openssl and
tests/core/kisa_key.py (no code of ours) into OUT_DIR.

  ca.der ca.pem ca.key     the issuer: C=kr, O=yessign, CN=yessignCA, and its key
  hong/                    a yessign user (CN=Hong) with the KM pair:
    signCert.der           sha256WithRSA, keyUsage c0, policy 1.2.410.200005.1.1.1,
                           identity data whose VID is SHA-256(SHA-256(DER of
                           SEQUENCE { PrintableString idn, BIT STRING R }))
    signPri.key kmPri.key  pbeWithSHA1AndSEED-CBC keys with the VID random (KISA's
                           format), password PASSWORD
    kmCert.der             keyUsage 30
    sign.pem km.pem        the same keys unencrypted (PKCS#8 PEM), pub.pem
  private/                 an Acme Widgets user (private PKI): signCert.der,
                           signPri.key (PBES2 SEED, no random), sign.pem
  gov/                     a Government of Korea user (sha256WithRSA): Lee001_sig.cer,
                           Lee001_sig.key, Lee001_env.cer, Lee001_env.key (PBES2 SEED),
                           sign.pem km.pem
  alg-sha1.der alg-sha256.der alg-pss.der
                           yessign certificates over one key, signed sha1WithRSA,
                           sha256WithRSA and RSASSA-PSS (openssl)
  kcdsa-sha256.der kcdsa-sha1.der
                           yessign templates whose key the tests replace with a KCDSA key
  long/                    a user whose CN is 300 characters (header records over 255)
  values.txt               "name value" lines: password, idn, random, kmrandom

Usage: make_sign_store.py OUT_DIR"""
import datetime
import warnings
import hashlib
import os
import subprocess
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID
from pyasn1.codec.der import encoder
from pyasn1.type import univ

warnings.simplefilter("ignore")  # SHA-1 signatures are what some fixtures are for
out = sys.argv[1]
here = os.path.dirname(os.path.abspath(__file__))
KISA = os.path.join(here, "..", "core", "kisa_key.py")
UTC = datetime.timezone.utc
PASSWORD = "hong-pw-1"
IDN = "8001011234567"


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def oid(text):
    return encoder.encode(univ.ObjectIdentifier(text))


def key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)


def pem_key(k):
    return k.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                           serialization.NoEncryption())


def name(org, cn, ous=(), validate=True):
    attrs = [x509.NameAttribute(NameOID.COUNTRY_NAME, "kr"), x509.NameAttribute(NameOID.ORGANIZATION_NAME, org)]
    attrs += [x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, ou) for ou in ous]
    attrs.append(x509.NameAttribute(NameOID.COMMON_NAME, cn, _validate=validate))
    return x509.Name(attrs)


USAGES = {
    "c0": dict(digital_signature=True, content_commitment=True),
    "30": dict(key_encipherment=True, data_encipherment=True),
}

ca_key = key()
CA_NAME = name("yessign", "yessignCA")
serial = 0x2000


def certificate(subject, public_key, usage="c0", digest=hashes.SHA256(), policy="1.2.410.200005.1.1.1", san=None,
                issuer=CA_NAME, signer=None):
    global serial
    serial += 1
    flags = dict(digital_signature=False, content_commitment=False, key_encipherment=False, data_encipherment=False,
                 key_agreement=False, key_cert_sign=False, crl_sign=False, encipher_only=False, decipher_only=False)
    flags.update(USAGES[usage])
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer).public_key(public_key)
         .serial_number(serial)
         .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
         .not_valid_after(datetime.datetime(2034, 6, 30, 12, tzinfo=UTC))
         .add_extension(x509.KeyUsage(**flags), True)
         .add_extension(x509.CertificatePolicies([x509.PolicyInformation(x509.ObjectIdentifier(policy), None)]),
                        False))
    if san is not None:
        b = b.add_extension(x509.SubjectAlternativeName([x509.OtherName(x509.ObjectIdentifier(
            "1.2.410.200004.10.1.1"), san)]), False)
    return b.sign(signer or ca_key, digest).public_bytes(serialization.Encoding.DER)


def identity_data(real_name, idn, random):
    """KISA identity data: SEQUENCE { realName, SEQUENCE OF { idType, VID } }."""
    inner = tlv(0x30, tlv(0x13, idn.encode()) + tlv(0x03, b"\x00" + random))
    vid = hashlib.sha256(hashlib.sha256(inner).digest()).digest()
    vid_rec = tlv(0x30, tlv(0x30, oid("2.16.840.1.101.3.4.2.1") + b"\x05\x00") + tlv(0xA0, tlv(0x04, vid)))
    info = tlv(0x30, oid("1.2.410.200004.10.1.1.1") + vid_rec)
    return tlv(0x30, tlv(0x0C, real_name.encode()) + tlv(0x30, info))


def kisa_key(k, password, random_hex, path):
    plain = path + ".plain"
    write(plain, k.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.PKCS8,
                                 serialization.NoEncryption()))
    subprocess.run(["/usr/bin/python3", KISA, "make", plain, password, random_hex, path], check=True)
    os.remove(plain)


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, check=True, capture_output=True,
                          env=dict(os.environ, OPENSSL_CONF="/dev/null")).stdout


ca_cert = (x509.CertificateBuilder().subject_name(CA_NAME).issuer_name(CA_NAME).public_key(ca_key.public_key())
           .serial_number(1)
           .not_valid_before(datetime.datetime(2024, 1, 1, tzinfo=UTC))
           .not_valid_after(datetime.datetime(2044, 1, 1, tzinfo=UTC))
           .add_extension(x509.BasicConstraints(ca=True, path_length=None), True)
           .add_extension(x509.KeyUsage(digital_signature=False, content_commitment=False, key_encipherment=False,
                                        data_encipherment=False, key_agreement=False, key_cert_sign=True,
                                        crl_sign=True, encipher_only=False, decipher_only=False), True)
           .sign(ca_key, hashes.SHA256()))
write(f"{out}/ca.der", ca_cert.public_bytes(serialization.Encoding.DER))
write(f"{out}/ca.pem", ca_cert.public_bytes(serialization.Encoding.PEM))
write(f"{out}/ca.key", pem_key(ca_key))

# Hong: the signing pair with identity data, and the KM pair.
random = os.urandom(20)
km_random = os.urandom(20)
hong = name("yessign", "Hong", ("personal4IB", "KFB"))
sign_key, km_key = key(), key()
write(f"{out}/hong/signCert.der", certificate(hong, sign_key.public_key(), san=identity_data("홍길동", IDN, random)))
write(f"{out}/hong/kmCert.der", certificate(hong, km_key.public_key(), usage="30"))
kisa_key(sign_key, PASSWORD, random.hex(), f"{out}/hong/signPri.key")
kisa_key(km_key, PASSWORD, km_random.hex(), f"{out}/hong/kmPri.key")
write(f"{out}/hong/sign.pem", pem_key(sign_key))
write(f"{out}/hong/km.pem", pem_key(km_key))
write(f"{out}/hong/pub.pem", sign_key.public_key().public_bytes(serialization.Encoding.PEM,
                                                                 serialization.PublicFormat.SubjectPublicKeyInfo))

# A private-PKI user: no random in the key.
priv_key = key()
write(f"{out}/private/signCert.der", certificate(name("Acme Widgets", "Kim"), priv_key.public_key(),
                                                 policy="1.2.3.4"))
write(f"{out}/private/sign.pem", pem_key(priv_key))
openssl("pkcs8", "-topk8", "-in", f"{out}/private/sign.pem", "-v2", "seed", "-iter", "2048", "-outform", "DER",
        "-passout", "pass:" + PASSWORD, "-provider", "legacy", "-provider", "default",
        "-out", f"{out}/private/signPri.key")

# A government user signed with SHA-256, with the encryption pair.
gov_key, gov_km_key = key(), key()
gov = name("Government of Korea", "Lee001", ("MOIS",))
write(f"{out}/gov/Lee001_sig.cer", certificate(gov, gov_key.public_key(), policy="1.2.410.100001.2.2.1"))
write(f"{out}/gov/Lee001_env.cer", certificate(gov, gov_km_key.public_key(), usage="30",
                                               policy="1.2.410.100001.2.2.1"))
for k, file in ((gov_key, "sign"), (gov_km_key, "km")):
    write(f"{out}/gov/{file}.pem", pem_key(k))
    openssl("pkcs8", "-topk8", "-in", f"{out}/gov/{file}.pem", "-v2", "seed", "-iter", "2048", "-outform", "DER",
            "-passout", "pass:" + PASSWORD, "-provider", "legacy", "-provider", "default",
            "-out", f"{out}/gov/Lee001_{'sig' if file == 'sign' else 'env'}.key")

# Algorithm choice: one key, three signature algorithms.
alg_subject = name("yessign", "Algorithms")
write(f"{out}/alg-sha1.der", certificate(alg_subject, sign_key.public_key(), digest=hashes.SHA1()))
write(f"{out}/alg-sha256.der", certificate(alg_subject, sign_key.public_key()))
csr = openssl("req", "-new", "-key", f"{out}/hong/sign.pem", "-subj", "/C=kr/O=yessign/CN=Pss", "-outform", "PEM")
write(f"{out}/pss.csr", csr)
openssl("x509", "-req", "-in", f"{out}/pss.csr", "-CA", f"{out}/ca.pem", "-CAkey", f"{out}/ca.key",
        "-set_serial", "77", "-days", "365", "-sha256", "-sigopt", "rsa_padding_mode:pss", "-sigopt",
        "rsa_pss_saltlen:32", "-outform", "DER", "-out", f"{out}/alg-pss.der")
# KCDSA templates: the tests put a KCDSA key in place of this one.
kcdsa_subject = name("yessign", "KcdsaUser")
write(f"{out}/kcdsa-sha256.der", certificate(kcdsa_subject, sign_key.public_key()))
write(f"{out}/kcdsa-sha1.der", certificate(kcdsa_subject, sign_key.public_key(), digest=hashes.SHA1()))

# A CN longer than a header record's old 255 characters.
long_key = key()
write(f"{out}/long/signCert.der", certificate(name("yessign", "L" * 300, validate=False), long_key.public_key()))
kisa_key(long_key, PASSWORD, os.urandom(20).hex(), f"{out}/long/signPri.key")

with open(f"{out}/values.txt", "w") as f:
    f.write(f"password {PASSWORD}\nidn {IDN}\nrandom {random.hex()}\nkmrandom {km_random.hex()}\n")

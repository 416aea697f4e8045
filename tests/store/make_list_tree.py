"""A home directory and a drive of certificate stores for the listing tests,
made with python3-cryptography alone, and the records the listings should
give for them.

Usage: make_list_tree.py HOME DRIVE EXPECTED.tsv

The home holds yessign, SignKorea and CrossCert users in folders named by
their subject DN; folders the listings must pass over (no key, only
kmCert.der, only signPri.key.bak, the unknown CA folder NPKI/FOO); odd but
valid names (XsignCert.der, SIGNCERT.DER); certificates ending in 10 and 40
days, yesterday and starting tomorrow; a folder path longer than 255
characters; private users and CA certificates under PPKI/Veridan/VERIDAN CA;
government pairs in GPKI/Certificate/class1 and class2; root and
intermediate CA certificates in NPKI/yessign and in NPKI/.veridanCACerts
(registered by the tests). The drive holds one user of each store.

EXPECTED.tsv has one line per listed certificate: the storage types that
list it (comma-separated), then subject, issuer display name, type name,
notAfter (ISO, UTC), certificate path, key path, expiry flag, store class,
issuer CN, hex serial and policy OID. Texts are UTF-8; list_peer.py turns
notAfter into the local date under its own TZ."""
import datetime
import hashlib
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

home, drive, expected_path = sys.argv[1:4]
UTC = datetime.timezone.utc
NOW = datetime.datetime.now(UTC).replace(microsecond=0)
DAY = datetime.timedelta(days=1)

ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
leaf_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
KEY_BYTES = leaf_key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.PKCS8,
                                   serialization.BestAvailableEncryption(b"list-test-pw"))
rows = []
serial = 0x7F3A00


def name(*attrs):
    """Attributes from the DN's first RDN (c) to its last (cn)."""
    oids = {"c": NameOID.COUNTRY_NAME, "o": NameOID.ORGANIZATION_NAME, "ou": NameOID.ORGANIZATIONAL_UNIT_NAME,
            "cn": NameOID.COMMON_NAME}
    # Folder names past 255 characters need values past the upper bounds.
    return x509.Name([x509.NameAttribute(oids[k], v, _validate=False) for k, v in attrs])


def dn_text(n):
    short = {NameOID.COMMON_NAME: "cn", NameOID.ORGANIZATIONAL_UNIT_NAME: "ou", NameOID.ORGANIZATION_NAME: "o",
             NameOID.COUNTRY_NAME: "c"}
    return ",".join(f"{short[a.oid]}={a.value}" for rdn in reversed(n.rdns) for a in rdn)


def cn_of(n, fallback_ou=False):
    for oid in [NameOID.COMMON_NAME] + ([NameOID.ORGANIZATIONAL_UNIT_NAME] if fallback_ou else []):
        values = [a.value for rdn in reversed(n.rdns) for a in rdn if a.oid == oid]
        if values:
            return values[0]
    return ""


def hex_serial(number):
    text = format(number, "X")
    text = "0" * (len(text) % 2) + text
    return ("00" + text) if int(text[:2], 16) & 0x80 else text


def certificate(subject, issuer, usage="c0", policy=None, not_before=None, not_after=None, serial_number=None):
    global serial
    serial += 0x101
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(leaf_key.public_key()).serial_number(serial_number or serial)
               .not_valid_before(not_before or NOW - 100 * DAY).not_valid_after(not_after or NOW + 365 * DAY)
               .add_extension(x509.SubjectKeyIdentifier.from_public_key(leaf_key.public_key()), False))
    flags = dict(digital_signature=False, content_commitment=False, key_encipherment=False, data_encipherment=False,
                 key_agreement=False, key_cert_sign=False, crl_sign=False, encipher_only=False, decipher_only=False)
    flags.update({"c0": dict(digital_signature=True, content_commitment=True),
                  "30": dict(key_encipherment=True, data_encipherment=True),
                  "06": dict(key_cert_sign=True, crl_sign=True)}[usage])
    builder = builder.add_extension(x509.KeyUsage(**flags), True)
    if policy:
        builder = builder.add_extension(
            x509.CertificatePolicies([x509.PolicyInformation(x509.ObjectIdentifier(policy), None)]), False)
    return builder.sign(ca_key, hashes.SHA256())


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def der(cert):
    return cert.public_bytes(serialization.Encoding.DER)


def not_before(cert):
    return getattr(cert, "not_valid_before_utc", None) or cert.not_valid_before.replace(tzinfo=UTC)


def not_after(cert):
    return getattr(cert, "not_valid_after_utc", None) or cert.not_valid_after.replace(tzinfo=UTC)


def expiry_flag(cert):
    if not_before(cert) > NOW or not_after(cert) < NOW:
        return 1
    return 2 if not_after(cert) - NOW <= 30 * DAY else 0


def expect(lists, cert, issuer_name, type_name, cert_path, key_path, store_class, policy=""):
    rows.append([lists, cn_of(cert.subject, True), issuer_name, type_name,
                 not_after(cert).strftime("%Y-%m-%dT%H:%M:%SZ"), cert_path, key_path or cert_path,
                 str(expiry_flag(cert)), str(store_class), cn_of(cert.issuer), hex_serial(cert.serial_number),
                 policy or ""])


def user(base, lists, ca_folder, subject, issuer, issuer_name, type_name, policy=None, store="NPKI", store_class=1,
         cert_name="signCert.der", key_name="signPri.key", listed=True, **dates):
    cert = certificate(subject, issuer, policy=policy, **dates)
    folder = f"{base}/{store}/{ca_folder}/USER/{dn_text(subject)}"
    write(f"{folder}/{cert_name}", der(cert))
    if key_name:
        write(f"{folder}/{key_name}", KEY_BYTES)
    if listed:
        expect(lists, cert, issuer_name, type_name, f"{folder}/{cert_name}", f"{folder}/{key_name}", store_class,
               policy)
    return cert, folder


def gov(base, lists, group, cn, issuer, issuer_name, type_name, policy, key_name=None, listed=True, stem=None):
    subject = name(("c", "KR"), ("o", "Government of Korea"), ("ou", "행정안전부"), ("cn", cn))
    cert = certificate(subject, issuer, policy=policy)
    folder = f"{base}/GPKI/Certificate/{group}"
    stem = stem or f"{cn}_sig"
    write(f"{folder}/{stem}.cer", der(cert))
    write(f"{folder}/{key_name or stem + '.key'}", KEY_BYTES)
    if listed:
        expect(lists, cert, issuer_name, type_name, f"{folder}/{stem}.cer", f"{folder}/{stem}.key", 3, policy)


def ca_file(folder, lists, cert, issuer_name, type_name, store_class, file_name=None, policy=None):
    file_name = file_name or hashlib.sha1(der(cert)).hexdigest().upper() + ".der"
    path = f"{folder}/{file_name}"
    write(path, der(cert))
    if lists:
        expect(lists, cert, issuer_name, type_name, path, path, store_class, policy)


YESSIGN_CA = name(("c", "kr"), ("o", "yessign"), ("ou", "AccreditedCA"), ("cn", "yessignCA Class 2"))
SIGNKOREA_CA = name(("c", "KR"), ("o", "SignKorea"), ("cn", "SignKorea CA2"))
CROSSCERT_CA = name(("c", "KR"), ("o", "CrossCert"), ("ou", "AccreditedCA"), ("cn", "CrossCertCA2"))
KISA_ROOT = name(("c", "KR"), ("o", "KISA"), ("ou", "Korea Certification Authority Central"), ("cn", "KISA RootCA 4"))
GOV_CA1 = name(("c", "KR"), ("o", "Government of Korea"), ("ou", "GPKI"), ("cn", "CA131000001"))
GOV_CA2 = name(("c", "KR"), ("o", "Government of Korea"), ("ou", "GPKI"), ("cn", "CA131100001"))
PRIVATE_CA = name(("c", "kr"), ("o", "VERIDAN"), ("cn", "VERIDAN Private CA"))

# ---- Home: public users ------------------------------------------------------
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("ou", "KMB"),
                                ("cn", "홍길동()0012345678901234")),
     YESSIGN_CA, "금융결제원", "범용(개인)", "1.2.410.200005.1.1.1")
# Its encryption pair beside it is not listed.
_, kmfolder = user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("ou", "KMB"),
                                               ("cn", "홍길동()0012345678901234")),
                   YESSIGN_CA, "", "", "1.2.410.200005.1.1.1", cert_name="kmCert.der", key_name="kmPri.key",
                   listed=False)
user(home, "0", "SignKorea", name(("c", "KR"), ("o", "SignKorea"), ("ou", "personal"), ("ou", "KFTC"),
                                  ("cn", "김철수(KimCS)0001042520100101")),
     SIGNKOREA_CA, "코스콤(증권전산)", "범용(개인)", "1.2.410.200004.5.1.1.5")
user(home, "0", "CrossCert", name(("c", "KR"), ("o", "CrossCert"), ("ou", "AccreditedCA"), ("ou", "KB"),
                                  ("cn", "이영희()0071020130705001")),
     CROSSCERT_CA, "한국전자인증", "은행/보험용", "1.2.410.200004.5.4.1.101")
# Dates: one ending at a set instant, and expiry flags 2, 0, 1, 1.
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "날짜시험()001")),
     YESSIGN_CA, "금융결제원", "공인인증서", "1.2.410.200005.1.1.99",
     not_after=datetime.datetime(2030, 3, 31, 15, 30, 0, tzinfo=UTC))
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "renew()010")),
     YESSIGN_CA, "금융결제원", "범용(기업)", "1.2.410.200005.1.1.5", not_after=NOW + 10 * DAY)
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "valid()040")),
     YESSIGN_CA, "금융결제원", "범용(개인)", "1.2.410.200005.1.1.1", not_after=NOW + 40 * DAY)
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "gov"), ("cn", "expired()001")),
     name(("c", "KR"), ("o", "Government of Korea"), ("cn", "KOR_CA1319999")), "행정자치부", "일반인증서",
     not_before=NOW - 400 * DAY, not_after=NOW - DAY)
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "future()001")),
     name(("c", "KR"), ("cn", "Unknown Test CA")), "Unknown Test CA", "은행/신용카드/보험(개인)",
     "1.2.410.200005.1.1.4", not_before=NOW + DAY)
# The FSS issuer's Hangul CN (EUC-KR in the record, as every text).
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "DART"), ("cn", "공시담당()001")),
     name(("c", "KR"), ("o", "FSS"), ("cn", "공시운영과")), "FSS DART", "전자세금용", "1.2.410.200005.1.1.6.8")
# Names taken by their endings, keys by their whole names.
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "prefixed()001")),
     YESSIGN_CA, "금융결제원", "신용카드용", "1.2.410.200005.1.1.6.2", cert_name="XsignCert.der",
     key_name="XsignPri.key")
user(home, "0", "SignKorea", name(("c", "KR"), ("o", "SignKorea"), ("ou", "personal"), ("cn", "UPPER()001")),
     SIGNKOREA_CA, "코스콤(증권전산)", "범용(법인)", "1.2.410.200004.5.1.1.7", cert_name="SIGNCERT.DER",
     key_name="SIGNPRI.KEY")
_, folder = user(home, "0", "CrossCert", name(("c", "KR"), ("o", "CrossCert"), ("ou", "KB"), ("cn", "twokeys()001")),
                 CROSSCERT_CA, "한국전자인증", "신용카드용", "1.2.410.200004.5.4.1.103")
write(f"{folder}/zsignPri.key", b"another key")  # ends in signPri.key, is not its key
# A folder path past 255 characters.
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("ou", "L" * 100),
                                ("cn", "긴이름()" + "0" * 90)),
     YESSIGN_CA, "금융결제원", "범용(개인)", "1.2.410.200005.1.1.1")
# No policy: the public store's default name.
user(home, "0", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "nopolicy()001")),
     YESSIGN_CA, "금융결제원", "일반인증서")

# Folders passed over: no key, only the KM pair, only a longer key name, an
# unknown CA folder.
user(home, "", "yessign", name(("c", "kr"), ("o", "yessign"), ("cn", "nokey()001")), YESSIGN_CA, "", "",
     key_name=None, listed=False)
user(home, "", "yessign", name(("c", "kr"), ("o", "yessign"), ("cn", "kmonly()001")), YESSIGN_CA, "", "",
     cert_name="kmCert.der", key_name="kmPri.key", listed=False)
user(home, "", "yessign", name(("c", "kr"), ("o", "yessign"), ("cn", "bakonly()001")), YESSIGN_CA, "", "",
     key_name="signPri.key.bak", listed=False)
user(home, "", "FOO", name(("c", "kr"), ("o", "yessign"), ("cn", "foo()001")), YESSIGN_CA, "", "", listed=False)

# ---- Home: private users and CAs ---------------------------------------------
user(home, "0", "VERIDAN CA", name(("c", "kr"), ("o", "VERIDAN"), ("cn", "private user")), PRIVATE_CA,
     "VERIDAN Private CA", "사설 인증서", store="PPKI/Veridan", store_class=2)
user(home, "0", "VERIDAN CA", name(("c", "kr"), ("o", "Acme"), ("ou", "staff")), PRIVATE_CA, "VERIDAN Private CA",
     "일반인증서", "1.2.3.4.5", store="PPKI/Veridan", store_class=2)
private_root = certificate(PRIVATE_CA, PRIVATE_CA, usage="06")
ca_file(f"{home}/PPKI/Veridan/VERIDAN CA", "10", private_root, "VERIDAN Private CA", "사설 인증서", 2)
private_sub = certificate(name(("c", "kr"), ("o", "VERIDAN"), ("cn", "VERIDAN Issuing CA")), PRIVATE_CA, usage="06")
ca_file(f"{home}/PPKI/Veridan/VERIDAN CA", "10", private_sub, "VERIDAN Private CA", "사설 인증서", 2)

# ---- Home: government pairs ----------------------------------------------------
gov(home, "0", "class1", "이공무", GOV_CA1, "행정자치부(기관)", "전자관인(기관)", "1.2.410.100001.2.1.1")
gov(home, "0", "class2", "김공무", GOV_CA2, "행정자치부", "공무원 전자서명(개인)", "1.2.410.100001.2.2.1.7")
# Keys named by their certificates' whole names: ab_sig.key is not abc's.
gov(home, "", "class2", "abc", GOV_CA2, "", "", "1.2.410.100001.2.2.1", key_name="ab_sig.key", listed=False)
gov(home, "", "class1", "env", GOV_CA1, "", "", "1.2.410.100001.2.1.1", stem="env_env", listed=False)

# ---- Home: public CA certificates ------------------------------------------------
kisa_root = certificate(KISA_ROOT, KISA_ROOT, usage="06")
ca_file(f"{home}/NPKI/yessign", "5", kisa_root, "한국정보보호진흥원", "일반인증서", 1)
ca_file(f"{home}/NPKI/yessign", "9", certificate(YESSIGN_CA, KISA_ROOT, usage="06"), "한국정보보호진흥원", "일반인증서", 1)
# An intermediate whose CN begins with its issuer's is no root.
sub = name(("c", "KR"), ("o", "KISA"), ("cn", "KISA RootCA 4 Issuing"))
ca_file(f"{home}/NPKI/yessign", "9", certificate(sub, KISA_ROOT, usage="06"), "한국정보보호진흥원", "일반인증서", 1)
VERIDAN_ROOT = name(("c", "KR"), ("o", "yessign"), ("cn", "Veridan Root CA"))
ca_file(f"{home}/NPKI/.veridanCACerts", "5", certificate(VERIDAN_ROOT, VERIDAN_ROOT, usage="06"), "Veridan Root CA",
        "일반인증서", 1)
ca_file(f"{home}/NPKI/.veridanCACerts", "9",
        certificate(name(("c", "KR"), ("o", "yessign"), ("cn", "Veridan Sub CA")), VERIDAN_ROOT, usage="06"),
        "Veridan Root CA", "일반인증서", 1)
OLD_ROOT = name(("c", "KR"), ("o", "yessign"), ("cn", "Old Root CA"))
ca_file(f"{home}/NPKI/.veridanCACerts", "5",
        certificate(OLD_ROOT, OLD_ROOT, usage="06", not_before=NOW - 900 * DAY, not_after=NOW - 2 * DAY),
        "Old Root CA", "일반인증서", 1)
write(f"{home}/NPKI/.veridanCACerts/VPL_20250101.log", b"not a certificate\n")
write(f"{home}/NPKI/.veridanCACerts/broken.der", b"not a certificate either")
ca_file(f"{home}/NPKI/FOO", "", certificate(KISA_ROOT, KISA_ROOT, usage="06"), "", "", 1)

# ---- The drive ---------------------------------------------------------------------
user(drive, "1", "yessign", name(("c", "kr"), ("o", "yessign"), ("ou", "personal4IB"), ("cn", "이동식()001")),
     YESSIGN_CA, "금융결제원", "범용(개인)", "1.2.410.200005.1.1.1")
user(drive, "1", "VERIDAN CA", name(("c", "kr"), ("o", "VERIDAN"), ("cn", "drive private")), PRIVATE_CA,
     "VERIDAN Private CA", "사설 인증서", store="PPKI/Veridan", store_class=2)
gov(drive, "1", "class1", "박공무", GOV_CA1, "행정자치부(기관)", "특수목적용(업무)", "1.2.410.100001.2.1.3")

with open(expected_path, "w", encoding="utf-8") as f:
    for row in rows:
        f.write("\t".join(row) + "\n")

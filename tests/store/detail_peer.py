#!/usr/bin/python3
"""Reads a detail or view record of the store as the agent does (items split
at "&", "^" between name and value, urllib's unquote_plus, iconv from
EUC-KR) and compares every value with what python3-cryptography and openssl
x509 report of the certificate. Dates are local dates under the TZ this
process runs in.

Usage: detail_peer.py detail CERT.der RECORD_FILE
       detail_peer.py view CERT.der RECORD_FILE ISSUER_NAME TYPE_NAME
Prints each difference; exit status 1 when there is one."""
import datetime
import subprocess
import sys
import urllib.parse
import warnings

from cryptography import x509
from cryptography.hazmat.primitives import serialization
from cryptography.x509.oid import ExtensionOID, NameOID

warnings.simplefilter("ignore")  # not_valid_before: Debian's python3-cryptography has no _utc forms
kind, cert_file, record_file = sys.argv[1:4]
der = open(cert_file, "rb").read()
cert = x509.load_der_x509_certificate(der)
record = open(record_file, "rb").read().decode("ascii")


def openssl(*args):
    return subprocess.run(["openssl", "x509", "-inform", "DER", "-in", cert_file, "-noout", *args], check=True,
                          capture_output=True, text=True, env={"OPENSSL_CONF": "/dev/null", "PATH": "/usr/bin:/bin"}
                          ).stdout


def items(text, last_without_amp):
    parts = text.split("&")
    if last_without_amp:
        assert not text.endswith("&"), "the view's last item ends with &"
    else:
        assert text.endswith("&"), "the detail's last item has no &"
        parts = parts[:-1]
    out = []
    for p in parts:
        name, value = p.split("^", 1)
        out.append((name, urllib.parse.unquote_to_bytes(value.replace("+", " ")).decode("euc-kr")))
    return out


SHORT = {NameOID.COUNTRY_NAME: "c", NameOID.ORGANIZATION_NAME: "o", NameOID.ORGANIZATIONAL_UNIT_NAME: "ou",
         NameOID.COMMON_NAME: "cn"}


def dn(name):
    return ",".join(f"{SHORT[a.oid]}={a.value}" for a in reversed(list(name)))


UTC = datetime.timezone.utc
NOT_BEFORE = cert.not_valid_before.replace(tzinfo=UTC)
NOT_AFTER = cert.not_valid_after.replace(tzinfo=UTC)


def local_date(t):
    return t.astimezone().strftime("%Y-%m-%d")


def ext(oid):
    try:
        return cert.extensions.get_extension_for_oid(oid).value
    except x509.ExtensionNotFound:
        return None


def hexcolon(b):
    return ":".join(f"{x:02X}" for x in b)


def serial_bytes(n):
    return n.to_bytes(n.bit_length() // 8 + 1, "big")  # a sign octet when the top bit is set, as DER writes it


def key_usage():
    ku = ext(ExtensionOID.KEY_USAGE)
    names = []
    first = 0
    if ku is not None:
        bits = [("digital_signature", 0x80, "Digital Signature"), ("content_commitment", 0x40, "Non-Repudiation"),
                ("key_encipherment", 0x20, "Key Encipherment"), ("data_encipherment", 0x10, "Data Encipherment"),
                ("key_agreement", 0x08, "Key Agreement"), ("key_cert_sign", 0x04, "Key CertSign"),
                ("crl_sign", 0x02, "CRL Sign")]
        for attr, bit, label in bits:
            if getattr(ku, attr):
                first |= bit
                names.append(label)
        if ku.key_agreement and ku.encipher_only:
            first |= 0x01
            names.append("Encipher Only")
        if ku.key_agreement and ku.decipher_only:
            names.append("Decipher Only")
    return ", ".join(names) + f" ({first:02x})"


def policies():
    p = ext(ExtensionOID.CERTIFICATE_POLICIES)
    if p is None:
        return ""
    texts = []
    for info in p:
        t = "PI=" + info.policy_identifier.dotted_string
        for q in info.policy_qualifiers or []:
            if isinstance(q, str):
                t += ",CPS=" + q
        texts.append(t)
    return "|".join(texts)


def alt_names():
    san = ext(ExtensionOID.SUBJECT_ALTERNATIVE_NAME)
    if san is None:
        return ""
    return "|".join("URI|" + u for u in san.get_values_for_type(x509.UniformResourceIdentifier))


def crl_points():
    cdp = ext(ExtensionOID.CRL_DISTRIBUTION_POINTS)
    if cdp is None:
        return ""
    return "|".join("DP=" + n.value for dp in cdp for n in dp.full_name or []
                    if isinstance(n, x509.UniformResourceIdentifier))


def access():
    aia = ext(ExtensionOID.AUTHORITY_INFORMATION_ACCESS)
    if aia is None:
        return ""
    names = {"1.3.6.1.5.5.7.48.1": "OCSP", "1.3.6.1.5.5.7.48.2": "CA Issuers"}
    text = "|".join(f"{names[d.access_method.dotted_string]}={d.access_location.value}" for d in aia)
    return text + " URI=" + list(aia)[-1].access_location.value


def openssl_line(text, label):
    for line in text.splitlines():
        line = line.strip()
        if line.startswith(label):
            return line[len(label):].strip()
    return ""


text = openssl("-text")
bits = cert.public_key().key_size
problems = []

if kind == "detail":
    got = items(record, False)
    serial = cert.serial_number
    assert openssl("-serial").strip() == f"serial={serial:X}" or openssl("-serial").strip() == f"serial={serial:02X}"
    sha1 = openssl("-fingerprint", "-sha1").strip().split("=", 1)[1]
    aki = ext(ExtensionOID.AUTHORITY_KEY_IDENTIFIER)
    ski = ext(ExtensionOID.SUBJECT_KEY_IDENTIFIER)
    pkcs1 = cert.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    expected = [
        ("version", {x509.Version.v1: "V1 (0x00)", x509.Version.v3: "V3 (0x02)"}[cert.version]),
        ("serial", f"{serial} ( 0x" + "".join(f"{b:02X} " for b in serial_bytes(serial)) + ")"),
        ("signatureAlg", openssl_line(text, "Signature Algorithm:")),
        ("issuerDN", dn(cert.issuer)),
        ("validity_from", local_date(NOT_BEFORE)),
        ("validity_to", local_date(NOT_AFTER)),
        ("subjectDN", dn(cert.subject)),
        ("pubkey", openssl_line(text, "Public Key Algorithm:") + f" ({bits} Bit)"),
        ("pubkeydata", "".join(f"{b:02x} " for b in pkcs1[:(bits + 7) // 8])),
        ("hand_print_alg", "SHA1"),
        ("hand_print", "".join(f"{x} " for x in sha1.lower().split(":"))),
        ("authoritykeyid", "KeyID=" + hexcolon(aki.key_identifier) if aki else ""),
        ("subjectkeyid", hexcolon(ski.digest) if ski else ""),
        ("keyusage", key_usage()),
        ("certpolicy", policies()),
        ("subjectAltName", alt_names()),
        ("crlDP", crl_points()),
        ("authorityInfoAcc", access()),
    ]
    if openssl_line(text, "Public-Key:") != f"({bits} bit)":
        problems.append("openssl's key size: " + openssl_line(text, "Public-Key:"))
else:
    got = items(record, True)
    issuer_name, type_name = sys.argv[4], sys.argv[5]
    now = datetime.datetime.now(datetime.timezone.utc)
    end = NOT_AFTER
    state = 1 if now < NOT_BEFORE or now > end else 2 if end - now <= datetime.timedelta(days=30) else 0
    cn = cert.subject.get_attributes_for_oid(NameOID.COMMON_NAME)
    expected = [
        ("crl_flag", str(state)),
        ("subjectCN", cn[0].value if cn else ""),
        ("issuer", issuer_name),
        ("issuerdate", local_date(NOT_BEFORE)),
        ("expiredate", local_date(NOT_AFTER)),
        ("oidtype", type_name),
    ]

if [n for n, _ in got] != [n for n, _ in expected]:
    problems.append(f"names {[n for n, _ in got]}")
for (name, value), (_, want) in zip(got, expected):
    if value != want:
        problems.append(f"{name}: {value!r} != {want!r}")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)

"""What the information record of a certificate must hold, from
python3-cryptography and openssl x509, one field a line: name, a tab, the
value ("-" for a field that must be NULL). Texts are UTF-8 (the record's are
EUC-KR), bytes hex, the separator '|'. Where both peers speak to a field they
must agree, else the script fails.

Usage: x509_expect.py CERT.der"""
import datetime
import re
import subprocess
import sys

from cryptography import x509
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa

SEP = "|"
der = open(sys.argv[1], "rb").read()
cert = x509.load_der_x509_certificate(der)
out = {}

# Short names of the attributes the fixtures use, as the object-identifier
# table and openssl's sname spell them (lower-cased by the record).
SHORT = {
    "2.5.4.3": "cn",
    "2.5.4.5": "serialnumber",
    "2.5.4.6": "c",
    "2.5.4.7": "l",
    "2.5.4.8": "st",
    "2.5.4.10": "o",
    "2.5.4.11": "ou",
    "1.2.840.113549.1.9.1": "emailaddress",
}
# Rows of the table the fixtures' key purposes have; others read "0.0".
PURPOSES = {"1.3.6.1.5.5.7.3.1", "1.3.6.1.5.5.7.3.2", "1.3.6.1.5.5.7.3.3", "1.3.6.1.5.5.7.3.4"}


def openssl(*args):
    r = subprocess.run(
        ["openssl", "x509", "-inform", "DER", "-noout", *args],
        input=der,
        capture_output=True,
        env={"OPENSSL_CONF": "/dev/null", "PATH": "/usr/bin:/bin"},
    )
    if r.returncode != 0:
        sys.exit("openssl failed: " + r.stderr.decode())
    return r.stdout.decode()


def agree(what, ours, theirs):
    if ours != theirs:
        sys.exit(f"peers differ on {what}: {ours!r} / {theirs!r}")


def tlv(data):
    """One DER element: (tag, contents, rest)."""
    tag, n = data[0], data[1]
    at = 2
    if n & 0x80:
        k = n & 0x7F
        n = int.from_bytes(data[2 : 2 + k], "big")
        at = 2 + k
    return tag, data[at : at + n], data[at + n :]


def oid_text(contents):
    arcs, value = [], 0
    for b in contents:
        value = value << 7 | (b & 0x7F)
        if not b & 0x80:
            arcs.append(value)
            value = 0
    first = min(arcs[0] // 40, 2)
    return ".".join(str(a) for a in [first, arcs[0] - 40 * first] + arcs[1:])


def hexj(data):
    return ":".join("%02X" % b for b in data)


def dump_big(n):
    return bytes.fromhex("%0*X" % (max(2, (n.bit_length() + 7) // 8 * 2), n)).hex().upper()


def dn(name):
    parts = []
    for rdn in reversed(name.rdns):
        for attr in rdn:  # an RDN's attributes in their encoded order
            parts.append(SHORT[attr.oid.dotted_string] + "=" + attr.value)
    return ",".join(parts)


def bits_bytes(flags):
    """A DER BIT STRING's contents (no unused-bits octet) of bit numbers."""
    if not flags:
        return b""
    top = max(flags)
    data = bytearray(top // 8 + 1)
    for f in flags:
        data[f // 8] |= 0x80 >> (f % 8)
    return bytes(data)


def gmt(when):
    return when.strftime("%Y%m%d%H%M%S")


def ext(cls):
    try:
        return cert.extensions.get_extension_for_class(cls).value
    except x509.ExtensionNotFound:
        return None


# ---- Fields openssl and python both give ---------------------------------
text = openssl("-serial", "-subject", "-issuer", "-dates", "-nameopt", "utf8,sep_comma_plus,dn_rev,sname")
lines = dict(line.split("=", 1) for line in text.splitlines())
serial = cert.serial_number
serial_hex = serial.to_bytes((serial.bit_length() + 8) // 8, "big").hex().upper()
agree("serial", serial_hex.lstrip("0") or "0", lines["serial"].lstrip("0") or "0")
out["serialHex"] = serial_hex
out["serialDec"] = str(serial)
out["version"] = str(cert.version.value)


def openssl_dn(value):
    # sname, reversed, multi-valued RDNs joined by '+': the record joins all by ','
    parts = []
    for rdn in value.split(","):
        for attr in rdn.split("+"):
            k, v = attr.split("=", 1)
            parts.append(k.lower() + "=" + v)
    return ",".join(parts)


for field, name, key in (("subjectDN", cert.subject, "subject"), ("issuerDN", cert.issuer, "issuer")):
    # Within a multi-valued RDN python keeps its own order; openssl's dn_rev
    # reverses the entries one by one, as the record does.
    if all(len(rdn) == 1 for rdn in name.rdns):
        agree(field, dn(name), openssl_dn(lines[key]))
    out[field] = openssl_dn(lines[key])
for field, when, key in (
    ("validityFrom", cert.not_valid_before, "notBefore"),
    ("validityTo", cert.not_valid_after, "notAfter"),
):
    agree(field, gmt(when), gmt(datetime.datetime.strptime(lines[key], "%b %d %H:%M:%S %Y GMT")))
    out[field] = gmt(when)

out["signatureAlg.0"] = cert.signature_algorithm_oid.dotted_string
out["subjectDER"] = cert.subject.public_bytes().hex()
spki = cert.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.SubjectPublicKeyInfo)
_, body, _ = tlv(spki)
_, alg, rest = tlv(body)
_, alg_oid, _ = tlv(alg)
_, bits, _ = tlv(rest)
out["pubkeyAlg.0"] = oid_text(alg_oid)
out["pubkey"] = bits[1:].hex()
out["pubkeyDER"] = spki.hex()
key = cert.public_key()
if isinstance(key, rsa.RSAPublicKey):
    n = key.public_numbers().n
    out["modulus"] = n.to_bytes((n.bit_length() + 7) // 8, "big").hex()
    bits_text = re.search(r"Public-Key: \((\d+) bit\)", openssl("-text")).group(1)
    out["keyBits"] = bits_text
else:
    out["modulus"] = "-"
    out["keyBits"] = "0"
out["signature"] = cert.signature.hex()

# ---- Extensions, from python (URIs checked against openssl's -ext) ------
exts = openssl("-ext", "subjectAltName,crlDistributionPoints,authorityInfoAccess")
openssl_uris = sorted(re.findall(r"URI:(.*?)(?:, |\n|    Reasons:|$)", exts))
python_uris = []

v = ext(x509.SubjectKeyIdentifier)
out["subjectKeyId"] = hexj(v.digest) if v else "-"

v = ext(x509.KeyUsage)
if v:
    names = [
        "digital_signature",
        "content_commitment",
        "key_encipherment",
        "data_encipherment",
        "key_agreement",
        "key_cert_sign",
        "crl_sign",
    ]
    flags = [i for i, n in enumerate(names) if getattr(v, n)]
    if v.key_agreement and v.encipher_only:
        flags.append(7)
    if v.key_agreement and v.decipher_only:
        flags.append(8)
    out["keyUsage"] = hexj(bits_bytes(flags))
else:
    out["keyUsage"] = "-"


def identity_text(value):
    if value[0] != 0x30:
        return ""  # an otherName of that type that is not identity data shows nothing
    _, body, _ = tlv(value)
    _, real, rest = tlv(body)
    text = "KISA_ID_DATA" + SEP + real.decode() + SEP
    if rest:
        _, infos, _ = tlv(rest)
        _, info, _ = tlv(infos)
        _, id_type, vid = tlv(info)
        _, vid, _ = tlv(vid)
        _, alg, virtual = tlv(vid)
        _, alg_oid, _ = tlv(alg)
        _, wrapped, _ = tlv(virtual)
        _, octets, _ = tlv(wrapped)
        text += SEP.join([oid_text(id_type), "VID", oid_text(alg_oid), "VID", hexj(octets)])
    return text


v = ext(x509.SubjectAlternativeName)
if v:
    items = []
    for gn in v:
        if isinstance(gn, x509.UniformResourceIdentifier):
            python_uris.append(gn.value)
            items.append("URI" + SEP + gn.value.strip(" \t\r\n"))
        elif isinstance(gn, x509.OtherName) and gn.type_id.dotted_string == "1.2.410.200004.10.1.1":
            try:
                items.append(identity_text(gn.value))
            except (IndexError, UnicodeDecodeError):
                items.append("")
        else:
            items.append("")
    out["subjectAltName"] = SEP.join(items)
else:
    out["subjectAltName"] = "-"

REASON_BITS = {
    "key_compromise": 1,
    "ca_compromise": 2,
    "affiliation_changed": 3,
    "superseded": 4,
    "cessation_of_operation": 5,
    "certificate_hold": 6,
    "privilege_withdrawn": 7,
    "aa_compromise": 8,
}
v = ext(x509.CRLDistributionPoints)
if v:
    items = []
    for dp in v:
        for gn in dp.full_name or []:
            if isinstance(gn, x509.UniformResourceIdentifier):
                python_uris.append(gn.value)
                items.append("DP=" + gn.value)
        if dp.relative_name:
            items.append("RELATIVE=" + "".join(SEP + a.value for a in dp.relative_name))
        if dp.reasons:
            items.append("REASON=" + hexj(bits_bytes([REASON_BITS[r.name] for r in dp.reasons])))
        for gn in dp.crl_issuer or []:
            if isinstance(gn, x509.UniformResourceIdentifier):
                python_uris.append(gn.value)
                items.append("CRLISSUER=" + gn.value)
    out["crlDistPoints"] = SEP.join(items)
else:
    out["crlDistPoints"] = "-"

v = ext(x509.AuthorityInformationAccess)
if v:
    # The method names as openssl shows them.
    names = re.findall(r"^\s+(.*?) - ", exts.split("Authority Information Access")[1], re.M)
    items, last = [], "-"
    for ad, method in zip(v, names):
        loc = ""
        if isinstance(ad.access_location, x509.UniformResourceIdentifier):
            loc = last = ad.access_location.value
            python_uris.append(loc)
        items.append(method + "=" + loc)
    agree("access descriptions", len(names), len(v))
    out["authorityInfoAccess"] = SEP.join(items)
    out["authorityInfoURI"] = last
else:
    out["authorityInfoAccess"] = out["authorityInfoURI"] = "-"
agree("URIs", sorted(python_uris), openssl_uris)

v = ext(x509.AuthorityKeyIdentifier)
if v:
    text = ""
    if v.key_identifier is not None:
        text = "KeyID=" + hexj(v.key_identifier)
    if v.authority_cert_serial_number is not None:
        text += "|Serial=" + dump_big(v.authority_cert_serial_number)
    issuers = v.authority_cert_issuer or []
    if issuers and isinstance(issuers[0], x509.DirectoryName):
        text += dn(issuers[0].value)
    out["authorityKeyId"] = text
else:
    out["authorityKeyId"] = "-"

v = ext(x509.CertificatePolicies)
if v:
    items, ids = [], ""
    for pi in v:
        text = "PI=" + pi.policy_identifier.dotted_string
        ids += pi.policy_identifier.dotted_string
        for q in pi.policy_qualifiers or []:
            if isinstance(q, str):
                text += ",CPS=" + q
            else:
                text += ",USER_NOTICE="
                if q.notice_reference:
                    text += ",O=" + q.notice_reference.organization
                    text += "".join(dump_big(n) for n in q.notice_reference.notice_numbers)
                if q.explicit_text is not None:
                    text += ",Text=" + q.explicit_text
        items.append(text)
    out["policies"] = SEP.join(items)
    out["policyIds"] = ids
else:
    out["policies"] = out["policyIds"] = "-"

v = ext(x509.ExtendedKeyUsage)
out["extKeyUsage"] = SEP.join(o.dotted_string if o.dotted_string in PURPOSES else "0.0" for o in v) if v else "-"

for k, value in out.items():
    print(k + "\t" + value)

#!/usr/bin/python3
"""A PKCS#7 SignedData read without code of ours: a small DER walk finds the
one SignerInfo, python3-cryptography verifies its signature over the signed
attributes (re-tagged as a SET) with the certificate's key.

Usage: cms_peer.py <signed.der> <cert.der>
Prints "verified <0|1>", "digest <name>", "messageDigest <hex>",
"signingTime <epoch seconds>", "content <hex or ->".
"""
import calendar
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import padding


def tlv(data, at):
    tag = data[at]
    n = data[at + 1]
    at += 2
    if n & 0x80:
        k = n & 0x7F
        n = int.from_bytes(data[at:at + k], "big")
        at += k
    return tag, data[at:at + n], at + n


def items(data):
    at, out = 0, []
    while at < len(data):
        tag, body, nxt = tlv(data, at)
        out.append((tag, body, data[at:nxt]))
        at = nxt
    return out


def oid(body):
    parts, v = [], 0
    for b in body:
        v = (v << 7) | (b & 0x7F)
        if not b & 0x80:
            parts.append(v)
            v = 0
    first = min(parts[0] // 40, 2)
    return ".".join(str(p) for p in [first, parts[0] - 40 * first] + parts[1:])


HASHES = {"1.3.14.3.2.26": ("sha1", hashes.SHA1()), "2.16.840.1.101.3.4.2.1": ("sha256", hashes.SHA256())}

der = open(sys.argv[1], "rb").read()
cert = x509.load_der_x509_certificate(open(sys.argv[2], "rb").read())
_, ci, _ = tlv(der, 0)
ci = items(ci)
assert oid(ci[0][1]) == "1.2.840.113549.1.7.2", "not signed data"
sd = items(items(ci[1][1])[0][1])
encap = items(sd[2][1])
content = items(encap[1][1])[0][1] if len(encap) > 1 else None
signer = items([s for s in sd if s[0] == 0x31][-1][1])[0]
si = items(signer[1])
digest_name, digest = HASHES[oid(items(si[2][1])[0][1])]
attrs_item = [s for s in si if s[0] == 0xA0][0]
signature = [s for s in si if s[0] == 0x04][-1][1]
md, when = None, None
for _, attr, _ in items(attrs_item[1]):
    a = items(attr)
    name = oid(a[0][1])
    value = items(a[1][1])[0]
    if name == "1.2.840.113549.1.9.4":
        md = value[1]
    elif name == "1.2.840.113549.1.9.5":
        t = value[1].decode()
        year = int(t[0:2])
        year += 2000 if year < 50 else 1900
        when = calendar.timegm((year, int(t[2:4]), int(t[4:6]), int(t[6:8]), int(t[8:10]), int(t[10:12])))
signed = b"\x31" + attrs_item[2][1:]
try:
    cert.public_key().verify(signature, signed, padding.PKCS1v15(), digest)
    ok = 1
except Exception:
    ok = 0
print("verified", ok)
print("digest", digest_name)
print("messageDigest", md.hex() if md is not None else "-")
print("signingTime", when if when is not None else "-")
print("content", content.hex() if content is not None else "-")

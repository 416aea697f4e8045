#!/usr/bin/python3
"""The names, extension lists and request attributes of the certificates,
CRLs and requests among the python-cryptography vectors, with what pyasn1, an
independent decoder, reads in each.

Usage: vectors_dump.py <vectors-x509-dir> <out-dir>

Writes <out-dir>/manifest.tsv, one line per component:
    kind  label  input.der  expected.der  summary
kind is name, exts or attrs; input.der holds the component's bytes as found
in the file; expected.der its DER as rebuilt from what pyasn1 read (empty
and summary "-" when pyasn1 refuses the component). Summaries:
    name   RDNs joined by "/", attributes of one RDN by "+", each oid:tag:contents
    exts   oid:critical:value joined by ";"
    attrs  oid=tag:contents,tag:contents joined by ";"
"""
import base64
import os
import re
import sys

from pyasn1.codec.ber import decoder as ber_decoder
from pyasn1.codec.der import encoder as der_encoder
from pyasn1.type import univ
from pyasn1_modules import rfc2986, rfc5280


def element(b, i=0):
    """(identifier, contents start, contents end) of the TLV at i."""
    tag = b[i]
    n = b[i + 1]
    j = i + 2
    if n & 0x80:
        k = n & 0x7F
        if k == 0 or k > 4:
            raise ValueError("length")
        n = int.from_bytes(b[j:j + k], "big")
        j += k
    if j + n > len(b):
        raise ValueError("truncated")
    return tag, j, j + n


def children(b):
    _, s, e = element(b)
    out, i = [], s
    while i < e:
        _, cs, ce = element(b, i)
        out.append(b[i:ce])
        i = ce
    return out


def tlv(tag, contents):
    n = len(contents)
    if n < 0x80:
        head = bytes([tag, n])
    else:
        ln = n.to_bytes((n.bit_length() + 7) // 8, "big")
        head = bytes([tag, 0x80 | len(ln)]) + ln
    return head + contents


def value_parts(raw):
    tag, s, e = element(raw)
    return tag, raw[s:e]


def oid_der(oid):
    return der_encoder.encode(univ.ObjectIdentifier(oid))


def name_facts(raw):
    name, rest = ber_decoder.decode(raw, asn1Spec=rfc5280.Name())
    if rest:
        raise ValueError("trailing")
    rdns, sets = [], []
    for rdn in name["rdnSequence"]:
        atvs, seqs = [], []
        for atv in rdn:
            tag, contents = value_parts(atv["value"].asOctets())
            oid = str(atv["type"])
            atvs.append("%s:%02x:%s" % (oid, tag, contents.hex()))
            seqs.append(tlv(0x30, oid_der(oid) + tlv(tag, contents)))
        rdns.append("+".join(atvs))
        sets.append(tlv(0x31, b"".join(seqs)))
    return "/".join(rdns), tlv(0x30, b"".join(sets))


def exts_facts(raw):
    exts, rest = ber_decoder.decode(raw, asn1Spec=rfc5280.Extensions())
    if rest or len(exts) == 0:
        raise ValueError("empty or trailing")
    parts = ["%s:%d:%s" % (e["extnID"], 1 if e["critical"] else 0, e["extnValue"].asOctets().hex()) for e in exts]
    return ";".join(parts), der_encoder.encode(exts)


def attrs_facts(raw):
    """raw is the SET OF Attribute (its identifier already 0x31)."""
    attrs, rest = ber_decoder.decode(raw, asn1Spec=rfc2986.Attributes())
    if rest or len(attrs) == 0:
        raise ValueError("empty or trailing")
    parts, seqs = [], []
    for a in attrs:
        oid = str(a["type"])
        vals, tlvs = [], []
        for v in a["values"]:
            tag, contents = value_parts(v.asOctets())
            vals.append("%02x:%s" % (tag, contents.hex()))
            tlvs.append(tlv(tag, contents))
        parts.append("%s=%s" % (oid, ",".join(vals)))
        seqs.append(tlv(0x30, oid_der(oid) + tlv(0x31, b"".join(tlvs))))
    return ";".join(parts), tlv(0x31, b"".join(seqs))


FACTS = {"name": name_facts, "exts": exts_facts, "attrs": attrs_facts}


def components(der):
    """(kind, raw bytes) of the names, extension lists and attributes of one
    certificate, CRL or request."""
    for spec, kind in ((rfc5280.Certificate(), "cert"), (rfc5280.CertificateList(), "crl"),
                       (rfc2986.CertificationRequest(), "csr")):
        try:
            _, rest = ber_decoder.decode(der, asn1Spec=spec)
            if not rest:
                break
        except Exception:
            pass
    else:
        kind = None
    if kind is None:
        return []
    tbs = children(children(der)[0] if kind != "csr" else der)
    if kind == "csr":
        info = children(children(der)[0])
        out = [("name", info[1])]
        if len(info) > 3 and info[3][0] == 0xA0 and len(info[3]) > 2:
            out.append(("attrs", b"\x31" + info[3][1:]))
        return out
    if kind == "cert":
        at = 1 if tbs[0][0] == 0xA0 else 0
        out = [("name", tbs[at + 2]), ("name", tbs[at + 4])]
        out += [("exts", children(t)[0]) for t in tbs[at + 6:] if t[0] == 0xA3]
        return out
    at = 1 if tbs[0][0] == 0x02 else 0
    out = [("name", tbs[at + 1])]
    for t in tbs[at + 3:]:
        if t[0] == 0x30:  # revoked certificates
            for entry in children(t):
                out += [("exts", e) for e in children(entry)[2:3]]
        elif t[0] == 0xA0:
            out.append(("exts", children(t)[0]))
    return out


PEM = re.compile(rb"-----BEGIN ([A-Z0-9 ]+)-----(.*?)-----END \1-----", re.S)


def objects(path):
    data = open(path, "rb").read()
    blocks = [m.group(2) for m in PEM.finditer(data)
              if m.group(1) in (b"CERTIFICATE", b"X509 CRL", b"CERTIFICATE REQUEST", b"NEW CERTIFICATE REQUEST")]
    if blocks:
        return [base64.b64decode(b"".join(b.split())) for b in blocks]
    if path.endswith((".der", ".crt", ".crl", ".cer")):
        return [data]
    return []


def each_component(src):
    """(label, index of the object in its file, components) of every
    certificate, CRL and request below src, in name order."""
    for root, _, files in sorted(os.walk(src)):
        for f in sorted(files):
            path = os.path.join(root, f)
            try:
                objs = objects(path)
            except Exception:
                continue
            for k, der in enumerate(objs):
                try:
                    comps = components(der)
                except Exception:
                    continue
                yield os.path.relpath(path, src), k, comps


def main():
    src, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    lines, n = [], 0
    for label, k, comps in each_component(src):
        for j, (kind, raw) in enumerate(comps):
            n += 1
            inp = os.path.join(out, "%d.in" % n)
            exp = os.path.join(out, "%d.out" % n)
            open(inp, "wb").write(raw)
            try:
                summary, expected = FACTS[kind](raw)
            except Exception:
                summary, expected = "-", b""
            open(exp, "wb").write(expected)
            lines.append("\t".join([kind, "%s#%d.%d" % (label, k, j), inp, exp, summary]))
    with open(os.path.join(out, "manifest.tsv"), "w") as m:
        m.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

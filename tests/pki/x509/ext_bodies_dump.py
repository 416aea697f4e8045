#!/usr/bin/python3
"""The bodies of the extensions that the library decodes, taken from every
certificate and CRL among the python-cryptography vectors, with what pyasn1,
an independent decoder, makes of each.

Usage: ext_bodies_dump.py <vectors-x509-dir> <out-dir>

Writes <out-dir>/manifest.tsv, one line per body:
    oid  label  body.der  verdict  pyasn1.der
verdict: "der" when pyasn1 reads the body under its RFC 5280 type and writes
it back to the same bytes, "ber" when it reads it but writes other bytes (the
input is not DER; pyasn1.der holds them), "-" when it refuses it.
"""
import os
import sys

from pyasn1.codec.ber import decoder as ber_decoder
from pyasn1.codec.der import encoder as der_encoder
from pyasn1_modules import rfc5280

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vectors_dump  # noqa: E402  (each_component)

SPECS = {
    "2.5.29.17": rfc5280.SubjectAltName,
    "2.5.29.18": rfc5280.IssuerAltName,
    "2.5.29.29": rfc5280.CertificateIssuer,
    "2.5.29.19": rfc5280.BasicConstraints,
    "2.5.29.32": rfc5280.CertificatePolicies,
    "2.5.29.33": rfc5280.PolicyMappings,
    "2.5.29.35": rfc5280.AuthorityKeyIdentifier,
    "2.5.29.31": rfc5280.CRLDistributionPoints,
    "2.5.29.46": rfc5280.FreshestCRL,
    "2.5.29.37": rfc5280.ExtKeyUsageSyntax,
    "1.3.6.1.5.5.7.1.1": rfc5280.AuthorityInfoAccessSyntax,
    "1.3.6.1.5.5.7.1.11": rfc5280.SubjectInfoAccessSyntax,
    "2.5.29.36": rfc5280.PolicyConstraints,
    "2.5.29.30": rfc5280.NameConstraints,
    "2.5.29.28": rfc5280.IssuingDistributionPoint,
}


def verdict(oid, body):
    """(verdict, pyasn1's DER)"""
    try:
        value, rest = ber_decoder.decode(body, asn1Spec=SPECS[oid]())
        if rest:
            return "-", b""
        der = der_encoder.encode(value)
        return ("der" if der == body else "ber"), der
    except Exception:
        return "-", b""


def main():
    src, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    lines, n = [], 0
    for label, k, comps in vectors_dump.each_component(src):
        for kind, raw in comps:
            if kind != "exts":
                continue
            try:
                exts, _ = ber_decoder.decode(raw, asn1Spec=rfc5280.Extensions())
            except Exception:
                continue
            for e in exts:
                oid = str(e["extnID"])
                if oid not in SPECS:
                    continue
                body = e["extnValue"].asOctets()
                n += 1
                name = os.path.join(out, "%d.der" % n)
                theirs = os.path.join(out, "%d.pyasn1" % n)
                open(name, "wb").write(body)
                v, der = verdict(oid, body)
                open(theirs, "wb").write(der)
                lines.append("\t".join([oid, "%s#%d" % (label, k), name, v, theirs]))
    with open(os.path.join(out, "manifest.tsv"), "w") as m:
        m.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

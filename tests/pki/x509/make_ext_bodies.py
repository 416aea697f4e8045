#!/usr/bin/python3
"""Extension bodies written by python-cryptography, the peer our encoders are
held to. Usage: make_ext_bodies.py <out-dir>; writes <out-dir>/<name>.der.
The tests build the same values with the library and compare the bytes."""
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.x509.oid import AuthorityInformationAccessOID, ExtendedKeyUsageOID, NameOID


def name(*pairs):
    return x509.Name([x509.NameAttribute(oid, value) for oid, value in pairs])


URI = x509.UniformResourceIdentifier
OID = x509.ObjectIdentifier
R = x509.ReasonFlags

BODIES = {
    "bc_ca_200": x509.BasicConstraints(True, 200),
    "bc_ca_3": x509.BasicConstraints(True, 3),
    "bc_leaf": x509.BasicConstraints(False, None),
    "pc_300_1": x509.PolicyConstraints(300, 1),
    "nc": x509.NameConstraints(
        permitted_subtrees=[x509.DNSName("example.com"), x509.IPAddress(ipaddress.ip_network("192.168.0.0/16"))],
        excluded_subtrees=[x509.DirectoryName(name((NameOID.COMMON_NAME, "Bad")))]),
    "san": x509.SubjectAlternativeName([
        x509.OtherName(OID("1.2.3.4"), b"\x0c\x05hello"),
        x509.RFC822Name("a@example.com"),
        x509.DNSName("a.example"),
        URI("http://a.example/"),
        x509.IPAddress(ipaddress.ip_address("192.0.2.1")),
        x509.IPAddress(ipaddress.ip_address("2001:db8::1")),
        x509.RegisteredID(OID("1.2.3.5")),
        x509.DirectoryName(name((NameOID.COUNTRY_NAME, "KR"), (NameOID.COMMON_NAME, "Name"))),
    ]),
    "cdp": x509.CRLDistributionPoints([
        x509.DistributionPoint([URI("http://crl.example/a.crl")], None, frozenset({R.key_compromise, R.ca_compromise}),
                               [x509.DirectoryName(name((NameOID.COMMON_NAME, "Issuer")))]),
        x509.DistributionPoint(None, x509.RelativeDistinguishedName([
            x509.NameAttribute(NameOID.COMMON_NAME, "rel"), x509.NameAttribute(NameOID.ORGANIZATION_NAME, "org")]),
            None, [URI("http://issuer.example/")]),
    ]),
    "idp": x509.IssuingDistributionPoint([URI("http://crl.example/a.crl")], None, True, False,
                                         frozenset({R.key_compromise}), False, False),
    "idp_indirect": x509.IssuingDistributionPoint([URI("http://crl.example/a.crl")], None, False, False, None, True,
                                                  False),
    "idp_attr": x509.IssuingDistributionPoint(None, x509.RelativeDistinguishedName([
        x509.NameAttribute(NameOID.COMMON_NAME, "x")]), False, False, None, False, True),
    "aia": x509.AuthorityInformationAccess([
        x509.AccessDescription(AuthorityInformationAccessOID.OCSP, URI("http://ocsp.example/")),
        x509.AccessDescription(AuthorityInformationAccessOID.CA_ISSUERS, URI("http://ca.example/ca.der")),
    ]),
    "aki": x509.AuthorityKeyIdentifier(bytes(range(20)), [x509.DirectoryName(name((NameOID.COMMON_NAME, "CA")))],
                                       0x1234),
    "cp": x509.CertificatePolicies([
        x509.PolicyInformation(OID("1.2.410.200004.5.2.1.2"), [
            "http://cps.example/", x509.UserNotice(x509.NoticeReference("Org", [1, 2, 300]), "explicit")]),
        x509.PolicyInformation(OID("1.2.3.4"), None),
    ]),
    "eku": x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH, ExtendedKeyUsageOID.CLIENT_AUTH]),
}

out = sys.argv[1]
for label, value in BODIES.items():
    with open(os.path.join(out, label + ".der"), "wb") as f:
        f.write(value.public_bytes())

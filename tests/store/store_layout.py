"""Where the store files a certificate, worked out from the certificate with
python3-cryptography alone: the class, the CA folder and the subject folder,
and the paths of the certificate and key files under a base directory.

Usage: store_layout.py CERT.der USE   prints "class<TAB>cert path<TAB>key path"
(paths relative to the base; key path "-" for CA certificates)."""
import sys

from cryptography import x509
from cryptography.x509.oid import ExtensionOID, NameOID

PUBLIC = ["CROSSCERT", "KICA", "KISA", "NCASIGN", "SIGNKOREA", "TRADESIGN", "YESSIGN", "ZUNPASS"]
GOVERNMENT = ["GOVERNMENT OF KOREA", "PUBLIC OF KOREA", "PRIVATE OF KOREA"]
CA_FOLDERS = [
    ("CROSSCERT", "CrossCert"),
    ("KICA", "KICA"),
    ("KISA", "KISA"),
    ("NCASIGN", "NCASign"),
    ("SIGNKOREA", "SignKorea"),
    ("TRADESIGN", "TradeSign"),
    ("YESSIGN", "yessign"),
    ("GOVERNMENT OF KOREA", "Certificate"),
    ("PUBLIC OF KOREA", "Certificate"),
    ("PRIVATE OF KOREA", "Certificate"),
    ("VERIDAN", "VERIDAN CA"),
    ("ZUNPASS", "ZUNPASS"),
]
SHORT = {
    NameOID.COMMON_NAME: "cn",
    NameOID.ORGANIZATIONAL_UNIT_NAME: "ou",
    NameOID.ORGANIZATION_NAME: "o",
    NameOID.COUNTRY_NAME: "c",
    NameOID.LOCALITY_NAME: "l",
    NameOID.STATE_OR_PROVINCE_NAME: "st",
}
CLASS2_POLICY = "1.2.410.100001.2.2"


def dn_text(name):
    """RDNs last to first, lower-case short names, values as they are, "," between."""
    return ",".join(f"{SHORT[a.oid]}={a.value}" for rdn in reversed(name.rdns) for a in rdn)


def organisation(cert):
    values = [a.value for rdn in reversed(cert.subject.rdns) for a in rdn if a.oid == NameOID.ORGANIZATION_NAME]
    return values[0] if values and values[0] else None


def key_usage_byte(cert):
    try:
        ku = cert.extensions.get_extension_for_oid(ExtensionOID.KEY_USAGE).value
    except x509.ExtensionNotFound:
        return 0
    bits = [ku.digital_signature, ku.content_commitment, ku.key_encipherment, ku.data_encipherment,
            ku.key_agreement, ku.key_cert_sign, ku.crl_sign]
    return sum(0x80 >> i for i, b in enumerate(bits) if b)


def cert_class(cert):
    org = organisation(cert)
    if org is None:
        return 3
    upper = org.upper()
    sign, km, ca = 3, 4, 8
    if any(upper.startswith(w) for w in PUBLIC):
        sign, km, ca = 1, 2, 7
    elif any(upper.startswith(w) for w in GOVERNMENT):
        sign, km, ca = 5, 6, 9
    if dn_text(cert.issuer).startswith(dn_text(cert.subject)):
        return ca
    usage = key_usage_byte(cert)
    if usage & 0x04 and usage & 0x02:
        return ca
    if usage <= 0x30 and usage & 0x30:
        return km
    return sign


def ca_folder(cert):
    org = organisation(cert)
    if org is None:
        return "VERIDAN CA"
    upper = org.upper()
    for word, folder in CA_FOLDERS:
        if upper.startswith(word):
            return folder
    return upper


def ca_stem(cert):
    ski = cert.extensions.get_extension_for_oid(ExtensionOID.SUBJECT_KEY_IDENTIFIER).value.digest.hex().upper()
    serial = format(cert.serial_number, "X")
    return f"{ski}_{'0' * (len(serial) % 2)}{serial}"


def layout(cert, use):
    cls = cert_class(cert)
    sign = use == 3
    if cls in (1, 2, 3, 4):
        store = "NPKI" if cls <= 2 else "PPKI/Veridan"
        folder = f"{store}/{ca_folder(cert)}/USER/{dn_text(cert.subject)}"
        return cls, f"{folder}/{'sign' if sign else 'km'}Cert.der", f"{folder}/{'sign' if sign else 'km'}Pri.key"
    if cls in (7, 8):
        store = "NPKI" if cls == 7 else "PPKI/Veridan"
        return cls, f"{store}/{ca_folder(cert)}/{ca_stem(cert)}.der", None
    if cls == 9:
        return cls, f"GPKI/root/{ca_stem(cert)}.der", None
    try:
        policies = [p.policy_identifier.dotted_string
                    for p in cert.extensions.get_extension_for_oid(ExtensionOID.CERTIFICATE_POLICIES).value]
    except x509.ExtensionNotFound:
        policies = []
    group = "class2" if any(CLASS2_POLICY in p for p in policies) else "class1"
    cn = [a.value for rdn in reversed(cert.subject.rdns) for a in rdn if a.oid == NameOID.COMMON_NAME][0]
    stem = f"GPKI/Certificate/{group}/{cn}_{'sig' if sign else 'env'}"
    return cls, f"{stem}.cer", f"{stem}.key"


if __name__ == "__main__":
    cert = x509.load_der_x509_certificate(open(sys.argv[1], "rb").read())
    cls, cert_path, key_path = layout(cert, int(sys.argv[2]))
    print(f"{cls}\t{cert_path}\t{key_path or '-'}")

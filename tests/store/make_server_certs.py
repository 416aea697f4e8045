#!/usr/bin/python3
"""Server certificates for the plug-in CA check, made with
python3-cryptography under the stand-in CAs' keys the build made
(scripts/make-plugin-test-ca), into OUT_DIR:

  current.der   issued by the current CA, valid from a day ago for 30 days
  older.der     issued by the older CA, the same validity
  otherkey.der  the current CA's name as issuer, signed with another key
  otherca.der   issued by a CA of another name
  times.txt     notBefore and notAfter of the first two, as seconds since 1970

Usage: make_server_certs.py CA_DIR OUT_DIR"""
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

ca_dir, out = sys.argv[1], sys.argv[2]
now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
not_before, not_after = now - datetime.timedelta(days=1), now + datetime.timedelta(days=30)


def load(name):
    cert = x509.load_pem_x509_certificate(open(f"{ca_dir}/{name}.crt.pem", "rb").read())
    key = serialization.load_pem_private_key(open(f"{ca_dir}/{name}.key", "rb").read(), None)
    return cert.subject, key


def server(issuer, signer, path):
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    cert = (x509.CertificateBuilder()
            .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "127.0.0.1")]))
            .issuer_name(issuer).public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(not_before).not_valid_after(not_after)
            .sign(signer, hashes.SHA256()))
    open(f"{out}/{path}", "wb").write(cert.public_bytes(serialization.Encoding.DER))


other = rsa.generate_private_key(public_exponent=65537, key_size=2048)
current_name, current_key = load("current")
older_name, older_key = load("older")
server(current_name, current_key, "current.der")
server(older_name, older_key, "older.der")
server(current_name, other, "otherkey.der")
server(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Another CA")]), other, "otherca.der")
open(f"{out}/times.txt", "w").write(f"{int(not_before.timestamp())} {int(not_after.timestamp())}\n")

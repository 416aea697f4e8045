#!/usr/bin/python3
"""Makes an RSA key for the crypto layer's tests: writes priv.pem and pub.pem
into the given folder and prints the eight values as hex, one per line."""
import sys

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import rsa

folder, bits = sys.argv[1], int(sys.argv[2])
key = rsa.generate_private_key(public_exponent=65537, key_size=bits)
with open(folder + "/priv.pem", "wb") as f:
    f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                              serialization.NoEncryption()))
with open(folder + "/pub.pem", "wb") as f:
    f.write(key.public_key().public_bytes(serialization.Encoding.PEM,
                                          serialization.PublicFormat.SubjectPublicKeyInfo))
n = key.private_numbers()
for v in (n.public_numbers.n, n.public_numbers.e, n.d, n.p, n.q, n.dmp1, n.dmq1, n.iqmp):
    print("%x" % v)

#!/usr/bin/python3
"""The keypad page's side of the NSHC key agreement, with python3-cryptography.

  nfilter_peer.py public <private hex>
      the X25519 public key (hex) of a private key given as hex
  nfilter_peer.py seal <agent public hex> <plain hex> [<salt hex> [<nonce hex>]]
      three lines: the page's 72-character key data (salt hex, then its
      public key hex), the derived key as Base64, and Base64 of
      nonce || AES-256-GCM cipher text || tag

seal() is imported by the tests' keypad page too.
"""
import base64
import os
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric.x25519 import X25519PrivateKey, X25519PublicKey
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from cryptography.hazmat.primitives import serialization

RAW = serialization.Encoding.Raw


def public_of(private_hex):
    key = X25519PrivateKey.from_private_bytes(bytes.fromhex(private_hex))
    return key.public_key().public_bytes(RAW, serialization.PublicFormat.Raw).hex()


def seal(agent_public_hex, plain, salt=None, nonce=None):
    """(key data, derived key Base64, sealed Base64) for plain bytes."""
    salt = salt if salt is not None else os.urandom(4)
    nonce = nonce if nonce is not None else os.urandom(12)
    own = X25519PrivateKey.generate()
    shared = own.exchange(X25519PublicKey.from_public_bytes(bytes.fromhex(agent_public_hex)))
    key = HKDF(algorithm=hashes.SHA256(), length=32, salt=salt, info=b"nFilterkey").derive(shared)
    own_pub = own.public_key().public_bytes(RAW, serialization.PublicFormat.Raw)
    sealed = nonce + AESGCM(key).encrypt(nonce, plain, None)
    return (salt.hex() + own_pub.hex(), base64.b64encode(key).decode(), base64.b64encode(sealed).decode())


def main(argv):
    if argv[1] == "public":
        print(public_of(argv[2]))
    elif argv[1] == "seal":
        salt = bytes.fromhex(argv[4]) if len(argv) > 4 else None
        nonce = bytes.fromhex(argv[5]) if len(argv) > 5 else None
        for line in seal(argv[2], bytes.fromhex(argv[3]), salt, nonce):
            print(line)
    else:
        sys.exit("unknown command")


if __name__ == "__main__":
    main(sys.argv)

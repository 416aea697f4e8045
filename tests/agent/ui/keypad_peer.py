#!/usr/bin/python3
"""Callback URLs of the three keypad providers, enciphered by peers.

Lumen: SEED-CBC by openssl enc (legacy provider) under the first 16 bytes
of SHA-1(domainport || SHA-1(rand || "brovatane")) from hashlib, IV
"quofenstralbimek". Inca: ARIA-256-CBC by openssl enc under 256 rounds of
SHA-256 over the rand bytes (hashlib), with the IV the test hands over.
NSHC: X25519, HKDF and AES-256-GCM by python3-cryptography against the
agent's public key (tests/platform/nfilter/nfilter_peer.py).

  keypad_peer.py lumen <domainport> <rand> <plain hex>      result hex
  keypad_peer.py inca <rand hex> <iv hex> <plain hex>       result hex
  keypad_peer.py nshc <agent public hex> <plain hex>        encdata
"""
import hashlib
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform", "nfilter"))
import nfilter_peer  # noqa: E402

LUMEN_IV = b"quofenstralbimek"


def openssl_enc(args, key, iv, plain):
    out = subprocess.run(["openssl", "enc"] + args + ["-K", key.hex(), "-iv", iv.hex()],
                         input=plain, stdout=subprocess.PIPE, check=True)
    return out.stdout


def lumen_key(domainport, rand):
    h1 = hashlib.sha1(rand.encode() + b"brovatane").digest()
    return hashlib.sha1(domainport.encode() + h1).digest()[:16]


def lumen_result(domainport, rand, plain):
    key = lumen_key(domainport, rand)
    return openssl_enc(["-seed-cbc", "-provider", "legacy", "-provider", "default"], key, LUMEN_IV, plain).hex()


def inca_key(rand):
    buf = rand
    for _ in range(256):
        buf = hashlib.sha256(buf).digest()
    return buf


def inca_result(rand, iv, plain):
    return openssl_enc(["-aria-256-cbc"], inca_key(rand), iv, plain).hex()


def nshc_encdata(agent_public_hex, plain):
    peer, _key, sealed = nfilter_peer.seal(agent_public_hex, plain)
    return peer + sealed


def main(argv):
    if argv[1] == "lumen":
        print(lumen_result(argv[2], argv[3], bytes.fromhex(argv[4])))
    elif argv[1] == "inca":
        print(inca_result(bytes.fromhex(argv[2]), bytes.fromhex(argv[3]), bytes.fromhex(argv[4])))
    elif argv[1] == "nshc":
        print(nshc_encdata(argv[2], bytes.fromhex(argv[3])))
    else:
        sys.exit("unknown provider")


if __name__ == "__main__":
    main(sys.argv)

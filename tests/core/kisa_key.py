#!/usr/bin/python3
"""Korean key files without our library: a pbeWithSHA1AndSEED-CBC
EncryptedPrivateKeyInfo holding the VID random (randomNum), written with
hashlib's PBKDF1 and `openssl enc -seed-cbc`, and the VID random read back
from any encrypted key (tests/pki/pkcs/independent_decrypt.py decrypts,
a DER walk finds the attribute).

Also the same key under PBES2 (PBKDF2 with hmacWithSHA256, SEED-CBC), the
scheme of `openssl pkcs8 -topk8 -v2 seed`, which drops the attribute.

Usage: kisa_key.py make <plain PrivateKeyInfo.der> <password> <random hex> <out.der>
       kisa_key.py make-pbes2 <plain PrivateKeyInfo.der> <password> <random hex> <out.der>
       kisa_key.py random <encrypted key.der> <password>   (random hex, or "-" without one)
"""
import hashlib
import os
import subprocess
import sys

from pyasn1.codec.der import decoder
from pyasn1.type import univ

RANDOM_NUM = "1.2.410.200004.10.1.1.3"
PBE_SEED = "1.2.410.200004.1.15"
PBES2 = "1.2.840.113549.1.5.13"
PBKDF2 = "1.2.840.113549.1.5.12"
HMAC_SHA256 = "1.2.840.113549.2.9"
SEED_CBC = "1.2.410.200004.1.4"
HERE = os.path.dirname(os.path.abspath(__file__))


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def oid(text):
    parts = [int(p) for p in text.split(".")]
    out = bytes([parts[0] * 40 + parts[1]])
    for p in parts[2:]:
        chunk = [p & 0x7F]
        p >>= 7
        while p:
            chunk.append(0x80 | (p & 0x7F))
            p >>= 7
        out += bytes(reversed(chunk))
    return tlv(0x06, out)


def with_random(plain_path, random_hex):
    """The PrivateKeyInfo with [0] IMPLICIT { randomNum: BIT STRING }."""
    plain = open(plain_path, "rb").read()
    assert len(children(plain)) == 3  # no attributes yet
    attr = tlv(0x30, oid(RANDOM_NUM) + tlv(0x31, tlv(0x03, b"\x00" + bytes.fromhex(random_hex))))
    head_len = 2 if plain[1] < 0x80 else 2 + (plain[1] & 0x7F)
    return tlv(0x30, plain[head_len:] + tlv(0xA0, attr))


def seed_cbc(data, key, iv):
    return subprocess.run(["openssl", "enc", "-seed-cbc", "-provider", "legacy", "-provider", "default",
                           "-K", key.hex(), "-iv", iv.hex()], input=data, check=True,
                          capture_output=True).stdout


def make_pbes2(plain_path, password, random_hex, out_path):
    key_info = with_random(plain_path, random_hex)
    salt, iv, count = os.urandom(16), os.urandom(16), 2048
    key = hashlib.pbkdf2_hmac("sha256", password, salt, count, 16)
    prf = tlv(0x30, oid(HMAC_SHA256) + b"\x05\x00")
    kdf = tlv(0x30, oid(PBKDF2) + tlv(0x30, tlv(0x04, salt) + tlv(0x02, count.to_bytes(2, "big")) + prf))
    enc = tlv(0x30, oid(SEED_CBC) + tlv(0x04, iv))
    alg = tlv(0x30, oid(PBES2) + tlv(0x30, kdf + enc))
    open(out_path, "wb").write(tlv(0x30, alg + tlv(0x04, seed_cbc(key_info, key, iv))))


def make(plain_path, password, random_hex, out_path):
    key_info = with_random(plain_path, random_hex)
    salt = os.urandom(8)
    count = 2048
    dk = hashlib.sha1(password + salt).digest()
    for _ in range(count - 1):
        dk = hashlib.sha1(dk).digest()
    key, iv = dk[:16], hashlib.sha1(dk[16:]).digest()[:16]
    sealed = seed_cbc(key_info, key, iv)
    params = tlv(0x30, tlv(0x04, salt) + tlv(0x02, count.to_bytes(2, "big")))
    epki = tlv(0x30, tlv(0x30, oid(PBE_SEED) + params) + tlv(0x04, sealed))
    open(out_path, "wb").write(epki)


def elements(data):
    """(tag, contents, whole TLV) of each element in data."""
    out, i = [], 0
    while i < len(data):
        tag, n, j = data[i], data[i + 1], i + 2
        if n & 0x80:
            k = n & 0x7F
            n, j = int.from_bytes(data[j:j + k], "big"), j + k
        out.append((tag, data[j:j + n], data[i:j + n]))
        i = j + n
    return out


def children(der):
    return elements(elements(der)[0][1])


def random_of(path, password):
    plain = subprocess.run([os.path.join(HERE, "..", "pki", "pkcs", "independent_decrypt.py"), path, password],
                           check=True, capture_output=True).stdout
    for tag, body, _ in children(plain):
        if tag != 0xA0:
            continue
        for _, attr, _ in elements(body):
            (_, _, oid_tlv), (_, values, _) = elements(attr)
            if decoder.decode(oid_tlv, asn1Spec=univ.ObjectIdentifier())[0] == univ.ObjectIdentifier(RANDOM_NUM):
                return elements(values)[0][1][1:].hex()  # the BIT STRING after its unused-bits octet
    return "-"


if sys.argv[1] == "make":
    make(sys.argv[2], sys.argv[3].encode(), sys.argv[4], sys.argv[5])
elif sys.argv[1] == "make-pbes2":
    make_pbes2(sys.argv[2], sys.argv[3].encode(), sys.argv[4], sys.argv[5])
else:
    print(random_of(sys.argv[2], sys.argv[3]))

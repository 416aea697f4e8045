#!/usr/bin/python3
"""Decrypts an EncryptedPrivateKeyInfo without our library: pyasn1 reads the
structure, hashlib and `openssl kdf` derive key and IV, `openssl enc` runs the
cipher. Covers the Korean schemes OpenSSL's pkcs8 command does not know.

Usage: independent_decrypt.py <file.der> <password>   (plaintext on stdout)
"""
import hashlib
import subprocess
import sys

from pyasn1.codec.der import decoder
from pyasn1.type import univ

KISA_FIXED_IV = b"4917260358143729"
CIPHERS = {  # scheme identifier -> openssl cipher name
    "1.2.410.200004.1.4": "seed-cbc",
    "1.2.410.100001.1.20": "aria-128-cbc",
    "2.16.840.1.101.3.4.1.2": "aes-128-cbc",
    "2.16.840.1.101.3.4.1.42": "aes-256-cbc",
}
PRFS = {"1.2.840.113549.2.7": "SHA1", "1.2.840.113549.2.9": "SHA256"}


def pbkdf1_sha1(password, salt, count):
    t = hashlib.sha1(password + salt).digest()
    for _ in range(count - 1):
        t = hashlib.sha1(t).digest()
    return t


def openssl_kdf(kdf, digest, password, salt, count, length, extra=()):
    if kdf == "PKCS12KDF":  # the derivation takes the BMPString form as is
        pw = "hexpass:" + "".join("00%02x" % c for c in password) + "0000"
    else:
        pw = "hexpass:" + password.hex()
    args = ["openssl", "kdf", "-keylen", str(length), "-kdfopt", "digest:" + digest, "-kdfopt", pw,
            "-kdfopt", "hexsalt:" + salt.hex(), "-kdfopt", "iter:%d" % count]
    for e in extra:
        args += ["-kdfopt", e]
    out = subprocess.run(args + [kdf], check=True, capture_output=True, text=True).stdout
    return bytes.fromhex(out.strip().replace(":", ""))


def main():
    der = open(sys.argv[1], "rb").read()
    password = sys.argv[2].encode()
    epki, rest = decoder.decode(der)
    assert not rest
    alg, data = epki[0], bytes(epki[1])
    oid = str(alg[0])
    params = alg[1]
    if oid == "1.2.840.113549.1.5.13":  # PBES2
        kdf, scheme = params[0], params[1]
        assert str(kdf[0]) == "1.2.840.113549.1.5.12"
        kp = kdf[1]
        salt, count = bytes(kp[0]), int(kp[1])
        prf = "SHA1"
        for field in (kp[i] for i in range(2, len(kp))):
            if field.isSameTypeWith(univ.Sequence()) and str(field[0]) in PRFS:
                prf = PRFS[str(field[0])]
        cipher = CIPHERS[str(scheme[0])]
        iv = bytes(scheme[1])
        keylen = 32 if "256" in cipher else 16
        key = openssl_kdf("PBKDF2", prf, password, salt, count, keylen)
    else:
        salt, count = bytes(params[0]), int(params[1])
        if oid in ("1.2.410.200004.1.15", "1.2.410.100001.1.24", "1.2.410.200004.1.4"):
            dk = pbkdf1_sha1(password, salt, count)
            key = dk[:16]
            iv = KISA_FIXED_IV if oid == "1.2.410.200004.1.4" else hashlib.sha1(dk[16:]).digest()[:16]
            cipher = "aria-128-cbc" if oid == "1.2.410.100001.1.24" else "seed-cbc"
        elif oid == "1.2.410.200004.1.4.2":  # GPKI
            key = openssl_kdf("PKCS12KDF", "SHA1", password, salt, count, 16, ["id:1"])
            iv = openssl_kdf("PKCS12KDF", "SHA1", password, salt, count, 16, ["id:2"])
            cipher = "seed-cbc"
        else:
            sys.exit("unknown algorithm " + oid)
    plain = subprocess.run(["openssl", "enc", "-d", "-" + cipher, "-provider", "legacy", "-provider", "default",
                            "-K", key.hex(), "-iv", iv.hex()], input=data, check=True, capture_output=True).stdout
    sys.stdout.buffer.write(plain)


main()

#!/usr/bin/python3
"""Reads a ZUNPlugin data string as a web server does and checks every field
with openssl (no code of ours): the string is split with
urllib.parse.parse_qsl, the wrapped key opened with openssl pkeyutl, the
enciphered fields with openssl enc, the signature checked with openssl dgst,
the vd value recovered with pkeyutl -verifyrecover, the certificates compared
with openssl x509's PEM.

Usage: zunplugin_peer.py STRING_FILE name=value...
  version     0, 1, 10, 11 or 21
  server_key  the web server's private key (PEM)
  kx, kxh     the key-exchange names the string should use (RSA15, RSA20,
              RSA21; SHA1, SHA256)
  sg, sgh     the signature names (RSA15 or PSS; SHA1 or SHA256)
  sk          hex of what sk must open to (the session key or the premaster)
  data        hex of D
  enc         openssl's name of the cipher (seed-cbc)
  ts          the time-stamp text (Base64) of the extended versions
  er          hex of er's plaintext, or "empty"
  user_cert   the user's certificate (DER) of versions 1, 11, 21
  km_cert     the KM certificate (DER) of version 21
  vd          hex of vd's plaintext (version 1)
  alg         the algorithm text of the extended versions
Prints "R <hex>" (the extended versions) and "R1 <hex>" (21) and exits 0,
or prints what failed and exits 1."""
import base64
import hashlib
import os
import subprocess
import sys
import tempfile
import urllib.parse

FIELDS_OLD = ["vf", "vd", "sk", "cc", "sg", "alg", "dt", "er"]
FIELDS_EXT = ["vf", "sk", "cc", "sg", "alg", "dt", "er", "ts", "kecc", "iver"]
FIXED_IV = b"ZORBAXE MODULE.."
ENV = dict(os.environ, OPENSSL_CONF="/dev/null")
failures = []


def fail(text):
    failures.append(text)


def openssl(*args, data=b""):
    r = subprocess.run(["openssl", *args], input=data, capture_output=True, env=ENV)
    if r.returncode != 0:
        raise RuntimeError("openssl %s: %s" % (" ".join(args), r.stderr.decode(errors="replace").strip()))
    return r.stdout


def lined(name, text):
    """Lined Base64: lines of 64 characters, the last too ending with a line feed."""
    if not text.endswith("\n"):
        fail("%s: no final line feed" % name)
    lines = text.split("\n")[:-1]
    if any(len(line) != 64 for line in lines[:-1]) or (lines and not 0 < len(lines[-1]) <= 64):
        fail("%s: not in lines of 64" % name)
    return base64.b64decode(text)


def oaep(name, digest):
    if name == "RSA15":
        return []
    md = digest.lower()
    return ["-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:" + md, "-pkeyopt", "rsa_mgf1_md:" + md]


def main():
    text = open(sys.argv[1]).read()
    a = dict(arg.split("=", 1) for arg in sys.argv[2:])
    version = int(a["version"])
    extended = version in (10, 11, 21)
    signed = version in (1, 11, 21)
    tmp = tempfile.mkdtemp()

    def path(name, data):
        p = os.path.join(tmp, name)
        open(p, "wb").write(data)
        return p

    pairs = urllib.parse.parse_qsl(text, keep_blank_values=True, strict_parsing=True)
    names = [n for n, _ in pairs]
    expected = FIELDS_EXT if extended else FIELDS_OLD
    if names != expected:
        fail("fields %s, expected %s" % (names, expected))
        return
    v = dict(pairs)
    if v["vf"] != str(version):
        fail("vf %s" % v["vf"])

    # sk: the server's key opens it.
    wrapped = lined("sk", v["sk"])
    opened = openssl("pkeyutl", "-decrypt", "-inkey", a["server_key"], *oaep(a["kx"], a["kxh"]),
                     data=wrapped)
    if opened.hex() != a["sk"]:
        fail("sk opens to %s" % opened.hex())

    if extended:
        digest = hashlib.sha256(bytes.fromhex(a["sk"])).digest()
        key, iv = digest[:16], digest[16:]
    else:
        key, iv = bytes.fromhex(a["sk"]), FIXED_IV

    def decipher(name):
        return openssl("enc", "-d", "-" + a["enc"], "-provider", "legacy", "-provider", "default", "-K", key.hex(),
                       "-iv", iv.hex(), data=lined(name, v[name]))

    data = bytes.fromhex(a["data"])
    plain = decipher("dt")
    handshake = b""
    if extended:
        if plain[16:16 + len(data)] != data or len(plain) < 16 + len(data):
            fail("dt does not hold R and D: %s" % plain.hex())
        print("R", plain[:16].hex())
        handshake = plain[16 + len(data):]
        if version == 21:
            prefix = b"&Handshake_init="
            if not handshake.startswith(prefix):
                fail("dt has no handshake after D")
            else:
                init = urllib.parse.unquote_plus(handshake[len(prefix):].decode())
                r1 = openssl("pkeyutl", "-decrypt", "-inkey", a["server_key"], *oaep(a["kx"], a["kxh"]),
                             data=lined("Handshake_init", init))
                if len(r1) != 32:
                    fail("R1 of %d bytes" % len(r1))
                print("R1", r1.hex())
        elif handshake:
            fail("dt holds more than R and D")
    elif plain != data:
        fail("dt opens to %s" % plain.hex())

    if a.get("er", "empty") == "empty":
        if v["er"]:
            fail("er is not empty")
    elif decipher("er").hex() != a["er"]:
        fail("er opens to %s" % decipher("er").hex())

    if extended:
        if decipher("ts") != base64.b64decode(a["ts"]):
            fail("ts opens to %s" % decipher("ts"))
        if v["iver"] != "100":
            fail("iver %s" % v["iver"])
        if version == 21:
            km_pem = openssl("x509", "-inform", "DER", "-in", a["km_cert"]).decode()
            if v["kecc"] != km_pem:
                fail("kecc is not the KM certificate's PEM")
        elif v["kecc"]:
            fail("kecc is not empty")
        alg = base64.b64decode(v["alg"]).decode()
        if alg != a["alg"]:
            fail("alg %s" % alg)
    elif v["alg"] != "SEED-CBC":
        fail("alg %s" % v["alg"])

    if signed:
        cert = a["user_cert"]
        pem = openssl("x509", "-inform", "DER", "-in", cert).decode()
        if v["cc"] != pem:
            fail("cc is not the certificate's PEM")
        pub = path("pub.pem", openssl("x509", "-inform", "DER", "-in", cert, "-pubkey", "-noout"))
        sig = path("sg.bin", lined("sg", v["sg"]))
        opts = ["-sigopt", "rsa_padding_mode:pss"] if a["sg"] == "PSS" else []
        r = subprocess.run(["openssl", "dgst", "-" + a["sgh"].lower(), "-verify", pub, "-signature", sig, *opts],
                           input=data + handshake, capture_output=True, env=ENV)
        if r.returncode != 0:
            fail("sg does not verify: %s" % r.stdout.decode(errors="replace").strip())
    else:
        for name in ("cc", "sg"):
            if v[name]:
                fail("%s is not empty" % name)

    if version == 1:
        recovered = openssl("pkeyutl", "-verifyrecover", "-pubin", "-inkey", pub, data=lined("vd", v["vd"]))
        if recovered.hex() != a["vd"]:
            fail("vd recovers %s" % recovered.hex())
    elif not extended and v["vd"]:
        fail("vd is not empty")


try:
    main()
except Exception as e:  # a peer that cannot read the string is a failure too
    fail("error: %s" % e)
for f in failures:
    print("FAIL", f)
sys.exit(1 if failures else 0)

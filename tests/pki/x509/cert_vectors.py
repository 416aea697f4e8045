#!/usr/bin/python3
"""Splits the certificates of python3-cryptography-vectors' x509/ and
x509/custom/ folders and of NIST's PKITS into DER files under OUT and writes
OUT/manifest.tsv, one line per encoded object:

    label <TAB> der-path <TAB> expect <TAB> sha1

expect is "ok" for a certificate that python-cryptography reads and whose key
is RSA (rsaEncryption) or EC on P-256, else "refuse" (other keys, CRLs,
private keys, malformed certificates, and identifiers of more than one octet,
which the library does not read: X.509 has no tag number above 30). sha1 is the fingerprint openssl prints
for the vectors' certificates (the SHA-1 of the DER where openssl refuses one)
and the SHA-1 of the DER for PKITS."""
import base64
import hashlib
import os
import re
import subprocess
import sys

from cryptography import x509
from pyasn1.codec.der import decoder
from pyasn1_modules import rfc5280

VECTORS = '/usr/lib/python3/dist-packages/cryptography_vectors/x509'
RSA = '1.2.840.113549.1.1.1'
EC = '1.2.840.10045.2.1'
P256 = '1.2.840.10045.3.1.7'


def blocks(path):
    data = open(path, 'rb').read()
    if b'-----BEGIN' not in data:
        return [data]
    return [base64.b64decode(m.group(1))
            for m in re.finditer(rb'-----BEGIN [A-Z0-9 ]+-----(.*?)-----END', data, re.S)]


def long_identifier(der):
    """True when an element anywhere in der has a multi-octet identifier."""
    stack = [(0, len(der))]
    while stack:
        at, end = stack.pop()
        while at < end:
            ident = der[at]
            if ident & 0x1f == 0x1f:
                return True
            n = der[at + 1]
            at += 2
            if n & 0x80:
                k = n & 0x7f
                n = int.from_bytes(der[at:at + k], 'big')
                at += k
            if ident & 0x20:
                stack.append((at, at + n))
            at += n
    return False


def supported(der):
    try:
        x509.load_der_x509_certificate(der)
        cert, rest = decoder.decode(der, asn1Spec=rfc5280.Certificate())
    except Exception:
        return False
    if rest or long_identifier(der):
        return False
    spki = cert['tbsCertificate']['subjectPublicKeyInfo']['algorithm']
    alg = str(spki['algorithm'])
    if alg == RSA:
        return True
    if alg != EC or not spki['parameters'].hasValue():
        return False
    try:
        curve, _ = decoder.decode(bytes(spki['parameters']))
        return str(curve) == P256
    except Exception:
        return False


def openssl_sha1(path, der):
    r = subprocess.run(['openssl', 'x509', '-inform', 'DER', '-in', path, '-noout', '-fingerprint', '-sha1'],
                       capture_output=True, text=True)
    if r.returncode != 0:  # openssl refuses a few the others read (invalid UTF-8 in a name)
        return hashlib.sha1(der).hexdigest()
    return r.stdout.strip().split('=', 1)[1].replace(':', '').lower()


def main(out):
    lines = []
    sources = [(d, sorted(os.listdir(os.path.join(VECTORS, d)))) for d in ('.', 'custom')]
    sources.append(('PKITS_data/certs', sorted(os.listdir(os.path.join(VECTORS, 'PKITS_data/certs')))))
    for folder, names in sources:
        for name in names:
            path = os.path.join(VECTORS, folder, name)
            if os.path.isdir(path):
                continue
            for i, der in enumerate(blocks(path)):
                label = '%s/%s#%d' % (folder, name, i)
                file = os.path.join(out, 'vec-%d.der' % len(lines))
                with open(file, 'wb') as f:
                    f.write(der)
                ok = supported(der)
                if not ok:
                    sha1 = '-'
                elif folder.startswith('PKITS'):
                    sha1 = hashlib.sha1(der).hexdigest()
                else:
                    sha1 = openssl_sha1(file, der)
                lines.append('\t'.join((label, file, 'ok' if ok else 'refuse', sha1)))
    with open(os.path.join(out, 'manifest.tsv'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    os.environ['OPENSSL_CONF'] = '/dev/null'
    main(sys.argv[1])

#!/usr/bin/python3
# What python3-cryptography reads from PKCS#12 files, for comparison with ours.
#   p12_peer.py file <password>      one file: "key <PKCS#8 DER hex>" (or "key -"), then
#                                    "cert <DER hex> <friendlyName hex>" per certificate,
#                                    the one of the key first
#   p12_peer.py vectors <directory>  every *.p12 of the vectors package opened with the
#                                    first password that works ("-" for none): one line
#                                    "<file> <password> <0|1 key> <sha1:name hex>,..." with
#                                    the certificates sorted
import glob
import hashlib
import os
import sys

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.serialization import pkcs12


def certs_of(p):
    return ([p.cert] if p.cert else []) + list(p.additional_certs)


def der(c):
    return c.certificate.public_bytes(serialization.Encoding.DER)


if sys.argv[1] == 'vectors':
    for path in sorted(glob.glob(os.path.join(sys.argv[2], '*.p12'))):
        data = open(path, 'rb').read()
        for pw in (b'cryptography', b'password', None):
            try:
                p = pkcs12.load_pkcs12(data, pw)
            except ValueError:
                continue
            items = sorted(hashlib.sha1(der(c)).hexdigest() + ':' + (c.friendly_name or b'').hex()
                           for c in certs_of(p))
            print(os.path.basename(path), (pw or b'-').decode(), 1 if p.key else 0, ','.join(items) or '-')
            break
else:
    p = pkcs12.load_pkcs12(open(sys.argv[1], 'rb').read(), sys.argv[2].encode())
    if p.key:
        print('key', p.key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.PKCS8,
                                         serialization.NoEncryption()).hex())
    else:
        print('key -')
    for c in certs_of(p):
        print('cert', der(c).hex(), (c.friendly_name or b'').hex() or '-')

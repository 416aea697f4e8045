#!/usr/bin/python3
"""openssl's RSASSA-PSS messages with parameters that state another salt
length than the signature was made with. A SignerInfo's signatureAlgorithm
is not under its signature, so anyone on the way may change it:
  pss-salt<X>-stated<Y>.der   pss-salt<X>.der (openssl cms, a salt of X
                              bytes) with a saltLength of Y in its
                              parameters, X and Y in 0, 20 and 32
Usage: p7_pss_salts.py <dir holding pss-salt0.der ...>"""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(here, '..', 'x509'))
from derwriter import tlv  # noqa: E402
from p7_variants import children, parse, rebuild  # noqa: E402

SALTS = (0, 20, 32)


def stated(params, salt):
    """RSASSA-PSS-params with saltLength [2] set to salt (left out for the
    default, 20), the other members as openssl wrote them."""
    _, _, body, _ = parse(params)
    kids = [k for k in children(body) if k[0] != 0xa2]
    if salt != 20:
        kids.append(tlv(0xa2, tlv(0x02, bytes([salt]))))
    kids.sort(key=lambda k: k[0])
    return tlv(0x30, b''.join(kids))


def main():
    out = sys.argv[1]
    for made in SALTS:
        message = open(f'{out}/pss-salt{made}.der', 'rb').read()
        # ContentInfo / [0] / SignedData / signerInfos (last) / SignerInfo
        _, _, ci, _ = parse(message)
        _, _, sd_wrap, _ = parse(children(ci)[1])
        _, _, sd, _ = parse(sd_wrap)
        _, _, signers, _ = parse(children(sd)[-1])
        _, _, si, _ = parse(children(signers)[0])
        alg = next(i for i, k in enumerate(children(si)) if i > 2 and k[0] == 0x30)
        path = [1, 0, len(children(sd)) - 1, 0, alg, 1]
        assert rebuild(message, path, lambda old: stated(old, made)) == message
        for salt in SALTS:
            result = rebuild(message, path, lambda old: stated(old, salt))
            open(f'{out}/pss-salt{made}-stated{salt}.der', 'wb').write(result)


main()

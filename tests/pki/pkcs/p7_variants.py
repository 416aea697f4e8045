#!/usr/bin/python3
"""Variants of openssl's signed message whose signed attributes are changed
and signed again with the signer's key, the way a careless or hostile signer
would make them:
  no-md.der      the messageDigest attribute left out
  short-md.der   messageDigest holding only the first 16 bytes of the digest
  unsorted.der   the attributes in reverse order (not DER order)
  ber-attrs.der  one attribute written with a long-form length (BER)
  ber-wire.der   the same long-form length on the wire, signed over the DER
                 (as the standards have it: a carrier may re-encode in BER)
Usage: p7_variants.py <signed-attached.der> <signer.key> <outdir>"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'x509'))
from derwriter import seq, setof, tlv  # noqa: E402
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

MESSAGE_DIGEST = bytes.fromhex('06092a864886f70d010904')


def parse(b, pos=0):
    """One definite-length TLV at pos: (tag, header, contents, end)."""
    tag = b[pos]
    n = b[pos + 1]
    if n < 0x80:
        length, hl = n, 2
    else:
        k = n & 0x7f
        length, hl = int.from_bytes(b[pos + 2:pos + 2 + k], 'big'), 2 + k
    start = pos + hl
    return tag, b[pos:start], b[start:start + length], start + length


def children(contents):
    out, pos = [], 0
    while pos < len(contents):
        tag, head, body, end = parse(contents, pos)
        out.append(contents[pos:end])
        pos = end
    return out


def long_form(tag, body):
    """An element whose length takes the long form even when short (BER)."""
    raw = len(body).to_bytes((len(body).bit_length() + 7) // 8 or 1, 'big')
    return bytes([tag, 0x80 | len(raw)]) + raw + body


def rebuild(der, path, replace):
    """der with the element at path (child indexes) replaced by replace(old)."""
    tag, head, body, _ = parse(der)
    if not path:
        return replace(der)
    kids = children(body)
    kids[path[0]] = rebuild(kids[path[0]], path[1:], replace)
    return tlv(tag, b''.join(kids))


def main():
    message = open(sys.argv[1], 'rb').read()
    key = serialization.load_pem_private_key(open(sys.argv[2], 'rb').read(), None)
    out = sys.argv[3]
    # ContentInfo / [0] / SignedData / signerInfos (last) / SignerInfo
    _, _, ci, _ = parse(message)
    _, _, sd_wrap, _ = parse(children(ci)[1])
    _, _, sd, _ = parse(sd_wrap)
    signer_path = [1, 0, len(children(sd)) - 1, 0]
    _, _, signers, _ = parse(children(sd)[-1])
    signer = children(signers)[0]
    _, _, si, _ = parse(signer)
    si_kids = children(si)
    attrs_index = next(i for i, k in enumerate(si_kids) if k[0] == 0xa0)
    _, _, attrs_body, _ = parse(si_kids[attrs_index])
    attrs = children(attrs_body)

    def variant(name, new_attrs, wire=None):
        signed = setof(*new_attrs)
        signature = key.sign(signed, padding.PKCS1v15(), hashes.SHA256())
        kids = list(si_kids)
        kids[attrs_index] = bytes([0xa0]) + (setof(*wire) if wire else signed)[1:]
        kids[-1] = tlv(0x04, signature)
        new_si = seq(*kids)
        result = rebuild(message, signer_path, lambda old: new_si)
        open(f'{out}/{name}', 'wb').write(result)

    def is_md(a):
        return MESSAGE_DIGEST in a[:16]

    variant('no-md.der', [a for a in attrs if not is_md(a)])

    def shorten(a):
        _, _, body, _ = parse(a)
        oid, values = children(body)
        _, _, vals, _ = parse(values)
        _, _, digest, _ = parse(vals)
        return seq(oid, setof(tlv(0x04, digest[:16])))

    variant('short-md.der', [shorten(a) if is_md(a) else a for a in attrs])
    variant('unsorted.der', list(reversed(attrs)))

    def lengthened(a):
        _, _, body, _ = parse(a)
        return long_form(0x30, body)

    variant('ber-attrs.der', [lengthened(a) if is_md(a) else a for a in attrs])
    variant('ber-wire.der', attrs, [lengthened(a) if is_md(a) else a for a in attrs])


if __name__ == '__main__':
    main()

"""DER written by hand, for the fixture scripts' objects that no encoder of
ours or of a peer writes (bodies with non-DER values, forms of our own)."""


def tlv(tag, content):
    """One element: identifier, the shortest definite length, contents."""
    size = len(content)
    if size < 128:
        length = bytes([size])
    else:
        b = size.to_bytes((size.bit_length() + 7) // 8, 'big')
        length = bytes([0x80 | len(b)]) + b
    return bytes([tag]) + length + content


def seq(*parts):
    return tlv(0x30, b''.join(parts))


def setof(*parts):
    return tlv(0x31, b''.join(parts))


def oid(text):
    """An OBJECT IDENTIFIER element from its dotted text."""
    arcs = [int(a) for a in text.split('.')]
    body = bytes([40 * arcs[0] + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7f]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7f))
            arc >>= 7
        body += bytes(reversed(chunk))
    return tlv(0x06, body)

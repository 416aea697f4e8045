#!/usr/bin/env bash
# Makes one openssl certificate and one openssl CRL and byte forms of each
# that differ only outside the signed body (BER lengths, a constructed
# signature BIT STRING), plus forms whose signed body itself is BER (signed
# again over those bytes), into $1:
#   ca.der ca.key                 the issuer (fixture-ca.sh)
#   cert.der crl.der              the DER originals (openssl x509 -req, openssl ca -gencrl)
#   cert-<form>.der crl-<form>.der  the variants (forms below)
#   manifest.txt                  one line a variant: kind, file, its DER form, openssl's SHA-1
#                                 fingerprint of that DER form, openssl's fingerprint of the
#                                 variant itself ("-" when openssl does not read it)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

. "$here/fixture-ca.sh"
make_ca "/C=KR/O=Test CA/CN=Forms Root"
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x1234 -days 30 -sha256 \
  -outform DER -out cert.der 2>/dev/null

printf 'R\t300101000000Z\t250301000000Z,keyCompromise\t1234\tunknown\t/CN=a\n' > index.txt
echo 01 > crlnumber
printf '[ca]\ndefault_ca = d\n[d]\ndatabase = index.txt\ncrlnumber = crlnumber\ndefault_md = sha256\n' > ca.cnf
printf 'default_crl_days = 7\n' >> ca.cnf
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out crl.pem 2>/dev/null
openssl crl -in crl.pem -outform DER -out crl.der

/usr/bin/python3 - <<'PY'
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding

key = serialization.load_pem_private_key(open('ca.key', 'rb').read(), None)


def header(tag, n, form):
    if form == 'indef':
        return bytes([tag, 0x80])
    b = n.to_bytes(max(1, (n.bit_length() + 7) // 8), 'big')
    if form == 'long':  # one length octet more than needed
        return bytes([tag, 0x80 | (len(b) + 1), 0]) + b
    return bytes([tag, n]) if n < 128 else bytes([tag, 0x80 | len(b)]) + b


def tlv(tag, contents, form='der'):
    return header(tag, len(contents), form) + contents + (b'\0\0' if form == 'indef' else b'')


def split(b):
    """identifier, contents, rest of one DER element"""
    n, i = b[1], 2
    if n & 0x80:
        i = 2 + (n & 0x7f)
        n = int.from_bytes(b[2:i], 'big')
    return b[0], b[i:i + n], b[i + n:]


def children(contents):
    out = []
    while contents:
        _, _, rest = split(contents)
        out.append(contents[:len(contents) - len(rest)])
        contents = rest
    return out


def algorithm(alg, form='der', oid='der', null='der'):
    oid_el, *params = children(split(alg)[1])
    oid_el = tlv(0x06, split(oid_el)[1], oid)
    if null == 'long' and params == [b'\x05\x00']:
        params = [b'\x05\x81\x00']
    return tlv(0x30, oid_el + b''.join(params), form)


def signature(sig, form='der'):
    bits = split(sig)[1]
    if form.startswith('cons'):  # two primitive segments of a constructed BIT STRING
        half = 1 + (len(bits) - 1) // 2
        parts = tlv(0x03, bits[:half]) + tlv(0x03, b'\0' + bits[half:])
        return tlv(0x23, parts, 'indef' if form == 'cons' else 'der')
    return tlv(0x03, bits, form)


def forms(der):
    tbs, alg, sig = children(split(der)[1])
    yield 'outer-long', tlv(0x30, tbs + alg + sig, 'long')
    yield 'outer-indef', tlv(0x30, tbs + alg + sig, 'indef')
    yield 'alg-long', tlv(0x30, tbs + algorithm(alg, 'long') + sig)
    yield 'alg-indef', tlv(0x30, tbs + algorithm(alg, 'indef') + sig)
    yield 'alg-oid-long', tlv(0x30, tbs + algorithm(alg, oid='long') + sig)
    yield 'alg-null-long', tlv(0x30, tbs + algorithm(alg, null='long') + sig)
    yield 'sig-long', tlv(0x30, tbs + alg + signature(sig, 'long'))
    yield 'sig-cons', tlv(0x30, tbs + alg + signature(sig, 'cons'))
    yield 'sig-cons-def', tlv(0x30, tbs + alg + signature(sig, 'cons-def'))
    yield 'all', tlv(0x30, tbs + algorithm(alg, 'indef', 'long', 'long') + signature(sig, 'cons'), 'indef')
    # The signed body in BER (indefinite, and one long-form length inside),
    # signed again: it is kept as received, the layers around it in DER.
    inner = children(split(tbs)[1])
    at = 4 if inner[0][0] == 0xa0 else 3  # the validity, the thisUpdate
    inner[at] = tlv(inner[at][0], split(inner[at])[1], 'long')
    ber_tbs = tlv(0x30, b''.join(inner), 'indef')
    sig = tlv(0x03, b'\0' + key.sign(ber_tbs, padding.PKCS1v15(), hashes.SHA256()))
    yield 'tbs-ber', tlv(0x30, ber_tbs + alg + sig)
    yield 'tbs-ber-outer-indef', tlv(0x30, ber_tbs + alg + signature(sig, 'long'), 'indef')


for kind in ('cert', 'crl'):
    for name, der in forms(open(kind + '.der', 'rb').read()):
        open('%s-%s.der' % (kind, name), 'wb').write(der)
PY

fingerprint() {  # kind file: openssl's SHA-1 fingerprint, "-" when it does not read the file
  local tool=x509
  [ "$1" = crl ] && tool=crl
  openssl "$tool" -inform DER -in "$2" -noout -fingerprint -sha1 2>/dev/null | sed -n 's/.*=//p' | tr -d ':' |
    grep . || echo -
}
: > manifest.txt
for kind in cert crl; do
  for f in "$kind"-*.der; do
    ref="$kind.der"
    case "$f" in *-tbs-ber*) ref="$kind-tbs-ber.der" ;; esac
    echo "$kind $f $ref $(fingerprint "$kind" "$ref") $(fingerprint "$kind" "$f")" >> manifest.txt
  done
done

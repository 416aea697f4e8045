#!/usr/bin/env bash
# Chains, leaf first and anchor last, as one SEQUENCE OF Certificate after a
# settings byte: the chains of the path tests and PKITS' chains followed by
# issuer name.
# Usage: path_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
mkdir -p "$out/made"
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$root/tests/pki/x509" /usr/bin/python3 \
  "$root/tests/pki/x509/make_path_fixtures.py" "$out/made"
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$root/tests/pki/x509" /usr/bin/python3 - "$out" \
  /usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/certs <<'PY'
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives.serialization import Encoding

from derwriter import seq

out, pkits = sys.argv[1:3]


def write(name, ders):
    for settings in (0, 1, 3):
        open(os.path.join(out, '%s-%d.bin' % (name, settings)), 'wb').write(bytes([settings]) + seq(*ders))


made = os.path.join(out, 'made')
load = lambda n: open(os.path.join(made, n + '.der'), 'rb').read()
for leaf, cas in (('leaf', ['ca']), ('leaf-akid', ['ca']), ('leaf', ['ca-cafalse']), ('leaf', ['ca-v1']),
                  ('leaf-policy', ['ca']), ('leaf-dupext', ['ca']), ('leaf', ['ca-selfsigned'])):
    write('made-%s-%s' % (leaf, cas[0]), [load(leaf)] + [load(c) for c in cas] + [load('root')])
certs = {}
for name in os.listdir(pkits):
    try:
        certs[name] = x509.load_der_x509_certificate(open(os.path.join(pkits, name), 'rb').read())
    except ValueError:
        pass
for name, cert in sorted(certs.items()):
    if not name.endswith('EE.crt'):
        continue
    chain, current = [cert], cert
    while current.issuer != current.subject and len(chain) < 8:
        issuers = [c for n, c in sorted(certs.items()) if not n.endswith('EE.crt') and c.subject == current.issuer]
        if not issuers:
            break
        current = issuers[0]
        chain.append(current)
    write(name[:-4], [c.public_bytes(Encoding.DER) for c in chain])
PY
rm -rf "$out/made"

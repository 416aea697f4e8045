#!/usr/bin/env bash
# Chains of the path-validation tests (target first, then the CA list) with
# the CRL of the target's issuer, made by tests/core/make_cpv_fixtures.sh:
# good, revoked, a CRL under a foreign key, delta, some reasons only, an
# unknown critical extension, CAs that are none, a path length passed, a
# same-named CA under another key, CAs issuing each other.
# Usage: core_cpv_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$1"
made="$out/made"
mkdir -p "$made"
# Ports that nothing uses: the distribution points are not fetched here.
"$root/tests/core/make_cpv_fixtures.sh" "$made" 1 2 3
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$root/tests/pki/x509" /usr/bin/python3 - "$made" "$out" <<'PY'
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives.serialization import Encoding

from derwriter import seq

made, out = sys.argv[1:3]


def der(name):
    return x509.load_pem_x509_certificate(open(os.path.join(made, name + '.pem'), 'rb').read()).public_bytes(
        Encoding.DER)


for chain, crl in ((['leaf', 'inter', 'root'], 'inter'), (['leaf_revoked', 'inter', 'root'], 'inter'),
                   (['leaf_inter2', 'inter2', 'root'], 'inter2'), (['leaf_fk', 'fk', 'root'], 'fk'),
                   (['leaf_delta', 'delta', 'root'], 'delta'), (['leaf_idp', 'idp', 'root'], 'idp'),
                   (['leaf_crit', 'crit', 'root'], 'crit'), (['leaf_nocrlsign', 'nocrlsign', 'root'], 'nocrlsign'),
                   (['inter', 'root'], 'root'), (['leaf_notca', 'notca', 'root'], None),
                   (['leaf_v1', 'v1', 'root'], None), (['leaf_sub', 'sub', 'pl0', 'root'], None),
                   (['leaf', 'old', 'root', 'inter'], 'inter'), (['selfsigned', 'root'], None),
                   (['leaf_loop', 'loop_a', 'loop_b'], None)):
    certs = seq(*[der(c) for c in chain])
    tail = open(os.path.join(made, crl + '.crl'), 'rb').read() if crl else b''
    for settings in (0, 1):
        name = '%s-%d.bin' % ('-'.join(chain), settings)
        open(os.path.join(out, name), 'wb').write(bytes([settings]) + len(certs).to_bytes(2, 'big') + certs + tail)
PY
rm -rf "$made"

#!/usr/bin/env bash
# Makes the trust lists of the trust-list tests into $1, the DER written by
# python from the registered form (not by our encoder), and signed data
# around one made by openssl cms:
#   full.der      every member: usages 1.2.410.200004.8.1.1.1 and serverAuth, list identifier
#                 "ZQ-CTL", sequence number 0x0102, thisUpdate UTCTime 250101000000Z, nextUpdate
#                 GeneralizedTime 20260101000000Z, subject algorithm sha1 with NULL, three subjects
#                 (SHA-1 of "a", "b", "c"; the second with a friendly-name attribute holding the
#                 BMPString "b", the third with two attributes), a CRL number extension 5
#   minimal.der   usage serverAuth, thisUpdate 250101000000Z, subject algorithm sha256 without
#                 parameters, nothing else
#   old-version.der  full.der's members with version 1 written as [0] EXPLICIT INTEGER
#   signed.der    CMS signed data of content type 1.3.6.1.4.1.311.10.1 carrying full.der
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" /usr/bin/python3 - <<'PY'
import hashlib

from derwriter import oid, seq, setof, tlv

usages = seq(oid('1.2.410.200004.8.1.1.1'), oid('1.3.6.1.5.5.7.3.1'))
friendly = seq(oid('1.3.6.1.4.1.311.10.11.11'), setof(tlv(0x04, 'b'.encode('utf-16-be'))))
keyid = seq(oid('1.3.6.1.4.1.311.10.11.20'), setof(tlv(0x04, bytes.fromhex('0102030405'))))
subjects = seq(
    seq(tlv(0x04, hashlib.sha1(b'a').digest())),
    seq(tlv(0x04, hashlib.sha1(b'b').digest()), setof(friendly)),
    seq(tlv(0x04, hashlib.sha1(b'c').digest()), setof(friendly, keyid)))
extensions = tlv(0xa0, seq(seq(oid('2.5.29.20'), tlv(0x04, tlv(0x02, b'\x05')))))
members = [usages, tlv(0x04, b'ZQ-CTL'), tlv(0x02, b'\x01\x02'), tlv(0x17, b'250101000000Z'),
           tlv(0x18, b'20260101000000Z'), seq(oid('1.3.14.3.2.26'), tlv(0x05, b'')), subjects, extensions]
open('full.der', 'wb').write(seq(*members))
open('old-version.der', 'wb').write(seq(tlv(0xa0, tlv(0x02, b'\x01')), *members))
open('minimal.der', 'wb').write(seq(seq(oid('1.3.6.1.5.5.7.3.1')), tlv(0x17, b'250101000000Z'),
                                    seq(oid('2.16.840.1.101.3.4.2.1'))))
PY

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -subj "/CN=Trust List Signer" -days 30 \
  -out signer.pem 2>/dev/null
openssl cms -sign -nodetach -binary -econtent_type 1.3.6.1.4.1.311.10.1 -in full.der -signer signer.pem \
  -inkey signer.key -outform DER -out signed.der

#!/usr/bin/env bash
# Makes the objects of the CRL tests with openssl, python3-cryptography and
# pyasn1-modules, into $1:
#   ca.key ca.der ca.pem ca.rsa.txt  RSA-2048 CRL issuer (ca.rsa.txt: n e d p q dP dQ qInv in hex)
#   leaf.der other.der               certificates of ca with serials 0x1234 and 0x99
#   openssl.der                      CRL of ca by openssl ca -gencrl: 0x1234 keyCompromise,
#                                    0x05 superseded, 0x01 without reason; CRL number
#   pss.der                          the same list signed with RSASSA-PSS (SHA-256)
#   no-next-update.der               CRL of ca without nextUpdate, three entries, CRL number (pyasn1-modules)
#   v1.der                           v1 CRL of ca: no version, no extensions, two entries (pyasn1-modules)
#   as-received.der                  CRL of ca whose CRL number is critical with the BOOLEAN 01
#                                    (openssl reads it; our encoder writes FF)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

. "$here/fixture-ca.sh"
make_ca "/C=KR/O=Test CA/CN=CRL Root"
for pair in leaf.der:0x1234 other.der:0x99; do
  openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial "${pair#*:}" -days 30 -sha256 \
    -outform DER -out "${pair%%:*}" 2>/dev/null
done

printf 'R\t300101000000Z\t250301000000Z,keyCompromise\t1234\tunknown\t/CN=a\n' > index.txt
printf 'R\t300101000000Z\t250302000000Z,superseded\t05\tunknown\t/CN=b\n' >> index.txt
printf 'R\t300101000000Z\t250303000000Z\t01\tunknown\t/CN=c\n' >> index.txt
echo 01 > crlnumber
printf '[ca]\ndefault_ca = d\n[d]\ndatabase = index.txt\ncrlnumber = crlnumber\ndefault_md = sha256\n' > ca.cnf
printf 'default_crl_days = 7\n' >> ca.cnf
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out openssl.pem 2>/dev/null
openssl crl -in openssl.pem -outform DER -out openssl.der
openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -sigopt rsa_padding_mode:pss \
  -out pss.pem 2>/dev/null
openssl crl -in pss.pem -outform DER -out pss.der

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" /usr/bin/python3 - <<'PY'
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from pyasn1.codec.der import decoder, encoder
from pyasn1.type import univ, useful
from pyasn1_modules import rfc5280

from derwriter import seq, tlv

key = serialization.load_pem_private_key(open('ca.key', 'rb').read(), None)
ca = x509.load_der_x509_certificate(open('ca.der', 'rb').read())
SHA256_RSA = '1.2.840.113549.1.1.11'


def sign(tbs_der):
    return key.sign(tbs_der, padding.PKCS1v15(), hashes.SHA256())


def algorithm():
    alg = rfc5280.AlgorithmIdentifier()
    alg['algorithm'] = univ.ObjectIdentifier(SHA256_RSA)
    alg['parameters'] = encoder.encode(univ.Null(''))
    return alg


def utc(text):
    t = rfc5280.Time()
    t['utcTime'] = useful.UTCTime(text)
    return t


def crl_with(version, next_update, entries, crl_number):
    tbs = rfc5280.TBSCertList()
    if version is not None:
        tbs['version'] = version
    tbs['signature'] = algorithm()
    tbs['issuer'] = decoder.decode(ca.subject.public_bytes(), asn1Spec=rfc5280.Name())[0]
    tbs['thisUpdate'] = utc('250101000000Z')
    if next_update:
        tbs['nextUpdate'] = utc(next_update)
    revoked = tbs['revokedCertificates']
    for i, (serial, date) in enumerate(entries):
        entry = revoked.componentType.clone()
        entry['userCertificate'] = serial
        entry['revocationDate'] = utc(date)
        revoked[i] = entry
    if crl_number is not None:
        ext = rfc5280.Extension()
        ext['extnID'] = rfc5280.id_ce_cRLNumber
        ext['extnValue'] = encoder.encode(univ.Integer(crl_number))
        tbs['crlExtensions'][0] = ext
    tbs_der = encoder.encode(tbs)
    cl = rfc5280.CertificateList()
    cl['tbsCertList'] = tbs
    cl['signatureAlgorithm'] = algorithm()
    cl['signature'] = univ.BitString.fromOctetString(sign(tbs_der))
    return encoder.encode(cl)


open('no-next-update.der', 'wb').write(
    crl_with(1, None, [(0x1234, '250102000000Z'), (7, '250103000000Z'), (0x99, '250104000000Z')], 3))
open('v1.der', 'wb').write(crl_with(None, '250201000000Z', [(0x42, '250102000000Z'), (3, '250103000000Z')], None))


alg = seq(tlv(0x06, bytes.fromhex('2a864886f70d01010b')), tlv(0x05, b''))
entry = seq(tlv(0x02, bytes.fromhex('1234')), tlv(0x17, b'250102000000Z'))
crl_number = seq(tlv(0x06, bytes.fromhex('551d14')), tlv(0x01, b'\x01'), tlv(0x04, tlv(0x02, b'\x09')))
tbs = seq(tlv(0x02, b'\x01'), alg, ca.subject.public_bytes(), tlv(0x17, b'250101000000Z'),
          tlv(0x17, b'250201000000Z'), seq(entry), tlv(0xa0, seq(crl_number)))
open('as-received.der', 'wb').write(seq(tbs, alg, tlv(0x03, b'\x00' + sign(tbs))))
PY

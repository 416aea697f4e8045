#!/usr/bin/env bash
# Makes the PKCS#7 test objects with openssl and python3-cryptography, into $1:
#   ca.key ca.pem ca.der         RSA-2048 root (fixture-ca.sh)
#   signer.key signer.pem signer.der signer.p8   RSA-2048 signer issued by ca (serial 0x1001),
#                                 signer.p8 its PKCS#8 PrivateKeyInfo in DER
#   other.key other.pem other.der other.p8       a second signer (serial 0x1002)
#   crl.der                      a CRL of ca revoking serial 0x1002
#   content.bin                  the signed and encrypted content (binary, with CR LF and NUL)
#   signed-attached.der          openssl smime -sign -nodetach, SHA-256
#   signed-detached.der          openssl smime -sign, SHA-256
#   signed-two.der               smime -sign with both signers, attached
#   signed-noattr.der            smime -sign -noattr, attached
#   signed-nocerts.der           smime -sign -nocerts, attached
#   signed-stream.der            openssl cms -sign -stream: indefinite lengths
#   signed-pss.der               openssl cms -sign with RSASSA-PSS, attached
#   pss-salt<X>.der              the same with a salt of X bytes (X in 0, 20, 32)
#   pss-salt<X>-stated<Y>.der    pss-salt<X>.der with parameters that state a salt of Y
#                                bytes (p7_pss_salts.py)
#   certs-only.der               crl2pkcs7: ca and signer certificates and the CRL, no signers
#   enveloped-aes256.der         openssl smime -encrypt for signer, AES-256
#   encrypted-data.der           openssl cms -EncryptedData_encrypt, AES-128
#   digested.der                 openssl cms -digest_create, SHA-256
#   no-md.der short-md.der unsorted.der ber-attrs.der ber-wire.der
#                                signed-attached.der with its signed attributes changed
#                                and signed again (p7_variants.py)
set -euo pipefail
out="$1"
here="$(cd "$(dirname "$0")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null

. "$here/../x509/fixture-ca.sh"
make_ca "/C=KR/O=P7 Test CA/CN=Root"
printf 'keyUsage=critical,digitalSignature,keyEncipherment\n' > leaf.ext
leaf() { # <name> <serial>
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null
  openssl req -new -key "$1.key" -subj "/C=KR/O=P7 Test/CN=$1" -out "$1.csr"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -set_serial "$2" -days 30 -sha256 \
    -extfile leaf.ext -out "$1.pem" 2>/dev/null
  openssl x509 -in "$1.pem" -outform DER -out "$1.der"
  openssl pkcs8 -topk8 -nocrypt -in "$1.key" -outform DER -out "$1.p8"
}
leaf signer 0x1001
leaf other 0x1002

/usr/bin/python3 - <<'PY'
import datetime
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization

ca_key = serialization.load_pem_private_key(open('ca.key', 'rb').read(), None)
ca = x509.load_pem_x509_certificate(open('ca.pem', 'rb').read())
now = datetime.datetime(2026, 1, 1, tzinfo=datetime.timezone.utc)
revoked = (x509.RevokedCertificateBuilder().serial_number(0x1002).revocation_date(now).build())
crl = (x509.CertificateRevocationListBuilder().issuer_name(ca.subject).last_update(now)
       .next_update(now + datetime.timedelta(days=30)).add_revoked_certificate(revoked)
       .sign(ca_key, hashes.SHA256()))
open('crl.der', 'wb').write(crl.public_bytes(serialization.Encoding.DER))
open('content.bin', 'wb').write(b'Document to sign\r\nline two\x00\xff\xfe binary tail\n' * 3)
PY

sign() { # <out> [options...]
  local name="$1"
  shift
  openssl smime -sign -binary -in content.bin -md sha256 -outform DER -out "$name" "$@"
}
sign signed-attached.der -signer signer.pem -inkey signer.key -nodetach
sign signed-detached.der -signer signer.pem -inkey signer.key
sign signed-two.der -signer signer.pem -inkey signer.key -signer other.pem -inkey other.key -nodetach
sign signed-noattr.der -signer signer.pem -inkey signer.key -nodetach -noattr
sign signed-nocerts.der -signer signer.pem -inkey signer.key -nodetach -nocerts
openssl cms -sign -binary -stream -in content.bin -md sha256 -signer signer.pem -inkey signer.key -nodetach \
  -outform DER -out signed-stream.der
openssl cms -sign -binary -in content.bin -md sha256 -signer signer.pem -inkey signer.key -nodetach \
  -keyopt rsa_padding_mode:pss -outform DER -out signed-pss.der
for salt in 0 20 32; do
  openssl cms -sign -binary -in content.bin -md sha256 -signer signer.pem -inkey signer.key -nodetach \
    -keyopt rsa_padding_mode:pss -keyopt rsa_pss_saltlen:$salt -outform DER -out pss-salt$salt.der
done
/usr/bin/python3 "$here/p7_pss_salts.py" .
openssl crl2pkcs7 -inform DER -in crl.der -certfile ca.pem -certfile signer.pem -outform DER -out certs-only.der
openssl smime -encrypt -binary -aes256 -in content.bin -outform DER -out enveloped-aes256.der signer.pem
openssl cms -EncryptedData_encrypt -binary -aes-128-cbc -secretkey 000102030405060708090a0b0c0d0e0f \
  -in content.bin -outform DER -out encrypted-data.der
openssl cms -digest_create -binary -md sha256 -in content.bin -outform DER -out digested.der
/usr/bin/python3 "$here/p7_variants.py" signed-attached.der signer.key .

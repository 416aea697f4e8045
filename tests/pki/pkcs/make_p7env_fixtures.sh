#!/usr/bin/env bash
# Makes the enveloped-data test objects with openssl into $1, beside (and
# after) those of make_p7_fixtures.sh, whose keys and content they use:
#   enveloped-3des.der enveloped-aes128.der   openssl smime -encrypt for signer
#   enveloped-two.der            smime -encrypt, AES-128, for signer and other
#   enveloped-oaep256.der        openssl cms -encrypt, AES-128, RSAES-OAEP with SHA-256
#   enveloped-seed.der           openssl cms -encrypt, SEED-CBC (legacy provider)
#   enveloped-aria128.der enveloped-aria256.der
#                                openssl cms -encrypt, ARIA-CBC under its RFC 5794 identifiers
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null
encrypt() { # <out> <cipher> <recipient...>
  local name="$1" cipher="$2"
  shift 2
  openssl smime -encrypt -binary "$cipher" -in content.bin -outform DER -out "$name" "$@"
}
encrypt enveloped-3des.der -des3 signer.pem
encrypt enveloped-aes128.der -aes128 signer.pem
encrypt enveloped-two.der -aes128 signer.pem other.pem
openssl cms -encrypt -binary -aes128 -in content.bin -recip signer.pem -keyopt rsa_padding_mode:oaep \
  -keyopt rsa_oaep_md:sha256 -outform DER -out enveloped-oaep256.der
openssl cms -encrypt -binary -seed-cbc -in content.bin -recip signer.pem -outform DER -out enveloped-seed.der \
  -provider legacy -provider default
for bits in 128 256; do
  openssl cms -encrypt -binary -aria$bits -in content.bin -recip signer.pem -outform DER -out "enveloped-aria$bits.der"
done

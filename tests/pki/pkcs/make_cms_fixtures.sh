#!/usr/bin/env bash
# Makes the CMS test objects into $1: the keys, certificates and content of
# make_p7_fixtures.sh (signer and other with subjectKeyIdentifiers, their
# PKCS#8 keys, content.bin), then openssl cms messages:
#   cms-attached.der cms-detached.der   -sign -md sha256, attached and detached
#   cms-keyid.der                       -sign -keyid (sid: subjectKeyIdentifier, version 3)
#   cms-sha1.der                        -sign -md sha1
#   cms-pss.der                         -sign -keyopt rsa_padding_mode:pss
#   cms-noattr.der                      -sign -noattr
#   cms-stream.der                      -sign -stream (indefinite lengths, the content in pieces)
#   cms-two.der                         -sign with signer and other
#   env-aes256.der env-des3.der         -encrypt -aes256 / -des3 for signer
#   env-seed.der                        -encrypt -seed-cbc (legacy provider)
#   env-oaep256.der                     -encrypt -aes128, RSAES-OAEP with SHA-256
#   env-keyid.der                       -encrypt -aes128 -keyid (rid: subjectKeyIdentifier)
set -euo pipefail
out="$1"
here="$(cd "$(dirname "$0")" && pwd)"
"$here/make_p7_fixtures.sh" "$out"
cd "$out"
export OPENSSL_CONF=/dev/null

sign() { # <out> [options...]
  local name="$1"
  shift
  openssl cms -sign -binary -in content.bin -signer signer.pem -inkey signer.key -outform DER -out "$name" "$@"
}
sign cms-attached.der -md sha256 -nodetach
sign cms-detached.der -md sha256
sign cms-keyid.der -md sha256 -nodetach -keyid
sign cms-sha1.der -md sha1 -nodetach
sign cms-pss.der -md sha256 -nodetach -keyopt rsa_padding_mode:pss
sign cms-noattr.der -md sha256 -nodetach -noattr
sign cms-stream.der -md sha256 -nodetach -stream
sign cms-two.der -md sha256 -nodetach -signer other.pem -inkey other.key

encrypt() { # <out> [options...]
  local name="$1"
  shift
  openssl cms -encrypt -binary -in content.bin -recip signer.pem -outform DER -out "$name" "$@"
}
encrypt env-aes256.der -aes256
encrypt env-des3.der -des3
encrypt env-seed.der -seed-cbc -provider legacy -provider default
encrypt env-oaep256.der -aes128 -keyopt rsa_padding_mode:oaep -keyopt rsa_oaep_md:sha256
encrypt env-keyid.der -aes128 -keyid

#!/usr/bin/env bash
# Replies under the target's fixed session, enciphered with openssl enc
# -seed-cbc: the session key "0123456789abcdef" with the fixed IV
# "ZORBAXE MODULE..", and the server key and IV (SHA-256 of 64 bytes 0xee,
# by python's hashlib). The first byte picks the reader (0 VPL_SYM_Decrypt,
# 1 VPL_ZUNPlugin_VFx_Decrypt, 2 VPL_IPDecrypt, 3 VPL_Exchangekey_Decrypt,
# 4 a key-exchange reply the target seals), the second the mode (bit 0 the
# extended mode, bit 1 Base64 input, bits 1-2 the key-exchange name).
# Usage: store_zunplugin_reply_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
export OPENSSL_CONF=/dev/null
session_key=30313233343536373839616263646566
session_iv=5a4f5242415845204d4f44554c452e2e
server="$(/usr/bin/python3 -c 'import hashlib; print(hashlib.sha256(b"\xee" * 64).hexdigest())')"
server_key="${server:0:32}"
server_iv="${server:32:32}"
enc() { openssl enc -seed-cbc -provider legacy -provider default -K "$1" -iv "$2"; }
seed() { # <name> <reader and mode bytes> <plaintext> <session|server> <raw|base64>
  local key="$session_key" iv="$session_iv"
  if [[ $4 == server ]]; then key="$server_key" iv="$server_iv"; fi
  { printf "$2"; if [[ $5 == base64 ]]; then printf '%s' "$3" | enc "$key" "$iv" | base64 -w 0;
    else printf '%s' "$3" | enc "$key" "$iv"; fi; } > "$out/$1"
}
seed sym-session '\x00\x00' 'ret=1&result=paid' session base64
seed vfx-session-base64 '\x01\x02' 'ret=1&result=paid' session base64
seed vfx-server-raw '\x01\x01' 'ret=1&result=paid' server raw
seed ip-framed '\x02\x01' "r$(printf '%021d' 0)payload" server raw
seed ip-short '\x02\x01' 'rshort' server raw
seed ip-session '\x02\x00' 'plain reply' session raw
{ printf '\x03\x00'; printf 'bm90IGEgcmVwbHk='; } > "$out/exchange-text"
{ printf '\x04\x00'; printf '\x00the server premaster half here!'; } > "$out/exchange-rsa15"
{ printf '\x04\x02'; printf '\x00the server premaster half here!'; } > "$out/exchange-rsa20"
{ printf '\x04\x00'; printf '\x05wrong R1 in the reply, 32 bytes'; } > "$out/exchange-wrong-r1"

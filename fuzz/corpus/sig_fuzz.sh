#!/usr/bin/env bash
# Signature values: openssl's ECDSA values and KCDSA values of the standard's
# sizes (r a BIT STRING of 20, 28 or 32 bytes, s an INTEGER with and without
# a sign octet).
# Usage: sig_fuzz.sh <corpus folder>; run by scripts/fuzz.
set -euo pipefail
out="$1"
openssl ecparam -name prime256v1 -genkey -noout -out "$out/ec.pem"
for i in 1 2 3 4; do
  echo "message $i" | openssl dgst -sha256 -sign "$out/ec.pem" -out "$out/ecdsa-$i.der"
done
rm "$out/ec.pem"
for n in 20 28 32; do
  for top in 11 b7; do
    r=$(openssl rand -hex "$n")
    s=$top$(openssl rand -hex $((n - 1)))
    printf 'asn1=SEQUENCE:v\n[v]\nr=FORMAT:HEX,BITSTRING:%s\ns=INTEGER:0x%s\n' "$r" "$s" > "$out/conf"
    openssl asn1parse -genconf "$out/conf" -noout -out "$out/kcdsa-$n-$top.der"
  done
done
rm "$out/conf"

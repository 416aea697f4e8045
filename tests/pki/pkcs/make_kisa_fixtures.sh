#!/usr/bin/env bash
# Makes signed security-token driver lists into $1, the DER written by
# openssl asn1parse -genconf and signed by openssl dgst -sign:
#   signer.der signer.key  RSA-2048, self-signed, /C=KR/O=KISA Test/CN=Driver List Signer, serial 0x1234ABCD
#   other.der      another signer: /C=KR/O=KISA Test/CN=Other Signer, serial 0x55
#   impostor.der   signer.der's subject and serial over another key
#   kind1-sha1.der     two distribution entries, signed sha1WithRSAEncryption (BIT STRING):
#                      "https://drivers.example/kisa/list1" with
#                        driver 1: "Veridan Token", "VT-2000", URI "https://drivers.example/vt2000/setup.exe",
#                                  2, DNS "drivers.example", "x86 Linux"
#                        driver 2: "Other Token", "OT-1", URI "https://drivers.example/ot1/setup.exe", -1,
#                                  directoryName CN=Other Vendor (five members)
#                      "https://mirror.example/kisa" with
#                        driver 3: "Mirror Token", "MT-9", URI "https://mirror.example/mt9.exe", 2147483647,
#                                  URI "https://mirror.example", "amd64 Linux"
#   kind1-sha256.der   the same list signed sha256WithRSAEncryption
#   octet-sha256.der   the same list with every text an OCTET STRING
#   kind2-sha256.der   two signature tokens ("VT-2000 Signer", sha256WithRSAEncryption, 00112233..EEFF;
#                      "OT-1 Signer", sha1WithRSAEncryption, CAFE), signed sha256 (OCTET STRING)
#   empty.der          an empty list with algorithm, signer and a BIT STRING signature
#   text255.der text256.der  one entry whose driver's first text is 255 or 256 "A"s
# Each NAME.der comes with NAME.list.der, the list the signature covers.
set -euo pipefail
out="$1"
cd "$out"
export OPENSSL_CONF=/dev/null

subject="/C=KR/O=KISA Test/CN=Driver List Signer"
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -subj "$subject" -set_serial 0x1234ABCD -days 30 \
  -outform DER -out signer.der 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -subj "/C=KR/O=KISA Test/CN=Other Signer" \
  -set_serial 0x55 -days 30 -outform DER -out other.der 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout impostor.key -subj "$subject" -set_serial 0x1234ABCD -days 30 \
  -outform DER -out impostor.der 2>/dev/null

# The signer as the lists name it (openssl writes C as PrintableString, the
# rest as UTF8String) and the signature algorithms.
cat > common.cnf <<'EOF'
[signer]
issuer=SEQUENCE:issuer
serial=INTEGER:0x1234ABCD
[issuer]
c=SET:rdn_c
o=SET:rdn_o
cn=SET:rdn_cn
[rdn_c]
atv=SEQUENCE:atv_c
[atv_c]
type=OID:countryName
value=PRINTABLESTRING:KR
[rdn_o]
atv=SEQUENCE:atv_o
[atv_o]
type=OID:organizationName
value=UTF8String:KISA Test
[rdn_cn]
atv=SEQUENCE:atv_cn
[atv_cn]
type=OID:commonName
value=UTF8String:Driver List Signer
[sha1]
alg=OID:sha1WithRSAEncryption
p=NULL
[sha256]
alg=OID:sha256WithRSAEncryption
p=NULL
EOF

cat > kind1.body <<'EOF'
[list]
e1=SEQUENCE:entry1
e2=SEQUENCE:entry2
[entry1]
url=IA5STRING:https://drivers.example/kisa/list1
drivers=SEQUENCE:drivers1
[drivers1]
d1=SEQUENCE:driver1
d2=SEQUENCE:driver2
[driver1]
t1=PRINTABLESTRING:Veridan Token
t2=PRINTABLESTRING:VT-2000
n1=IMPLICIT:6,IA5STRING:https://drivers.example/vt2000/setup.exe
v=INTEGER:2
n2=IMPLICIT:2,IA5STRING:drivers.example
t3=PRINTABLESTRING:x86 Linux
[driver2]
t1=PRINTABLESTRING:Other Token
t2=PRINTABLESTRING:OT-1
n1=IMPLICIT:6,IA5STRING:https://drivers.example/ot1/setup.exe
v=INTEGER:-1
n2=EXPLICIT:4,SEQUENCE:vendor
[vendor]
rdn=SET:vendor_rdn
[vendor_rdn]
atv=SEQUENCE:vendor_atv
[vendor_atv]
type=OID:commonName
value=UTF8String:Other Vendor
[entry2]
url=IA5STRING:https://mirror.example/kisa
drivers=SEQUENCE:drivers2
[drivers2]
d1=SEQUENCE:driver3
[driver3]
t1=PRINTABLESTRING:Mirror Token
t2=PRINTABLESTRING:MT-9
n1=IMPLICIT:6,IA5STRING:https://mirror.example/mt9.exe
v=INTEGER:2147483647
n2=IMPLICIT:6,IA5STRING:https://mirror.example
t3=PRINTABLESTRING:amd64 Linux
EOF
sed 's/PRINTABLESTRING:/OCTETSTRING:/' kind1.body > octet.body

cat > kind2.body <<'EOF'
[list]
t1=SEQUENCE:token1
t2=SEQUENCE:token2
[token1]
name=PRINTABLESTRING:VT-2000 Signer
alg=SEQUENCE:sha256
value=FORMAT:HEX,OCTETSTRING:00112233445566778899AABBCCDDEEFF
[token2]
name=PRINTABLESTRING:OT-1 Signer
alg=SEQUENCE:sha1
value=FORMAT:HEX,OCTETSTRING:CAFE
EOF

printf '[list]\n' > empty.body

for n in 255 256; do
  text=$(head -c "$n" /dev/zero | tr '\0' A)
  cat > "text$n.body" <<EOF
[list]
e1=SEQUENCE:entry1
[entry1]
url=IA5STRING:https://drivers.example/kisa/long
drivers=SEQUENCE:drivers1
[drivers1]
d1=SEQUENCE:driver1
[driver1]
t1=PRINTABLESTRING:$text
t2=PRINTABLESTRING:L-1
n1=IMPLICIT:6,IA5STRING:https://drivers.example/long.exe
v=INTEGER:1
n2=IMPLICIT:2,IA5STRING:drivers.example
EOF
done

# signed NAME BODY DIGEST SIGNATURE-TYPE: NAME.list.der from the body alone,
# its signature by signer.key, and NAME.der around both.
signed() {
  local name=$1 body=$2 digest=$3 type=$4
  { echo "asn1=SEQUENCE:list"; cat "$body" common.cnf; } > "$name.list.cnf"
  openssl asn1parse -genconf "$name.list.cnf" -out "$name.list.der" > /dev/null
  openssl dgst "-$digest" -sign signer.key -out "$name.sig" "$name.list.der"
  local hex
  hex=$(od -An -v -tx1 "$name.sig" | tr -d ' \n')
  {
    printf 'asn1=SEQUENCE:value\n[value]\nlist=SEQUENCE:list\nalg=SEQUENCE:%s\nsigner=SEQUENCE:signer\n' "$digest"
    printf 'sig=FORMAT:HEX,%s:%s\n' "$type" "$hex"
    cat "$body" common.cnf
  } > "$name.cnf"
  openssl asn1parse -genconf "$name.cnf" -out "$name.der" > /dev/null
}

signed kind1-sha1 kind1.body sha1 BITSTRING
signed kind1-sha256 kind1.body sha256 BITSTRING
signed octet-sha256 octet.body sha256 BITSTRING
signed kind2-sha256 kind2.body sha256 OCTETSTRING
signed empty empty.body sha256 BITSTRING
signed text255 text255.body sha256 BITSTRING
signed text256 text256.body sha256 BITSTRING

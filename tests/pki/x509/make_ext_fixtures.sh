#!/usr/bin/env bash
# Makes the openssl objects of the extension-body tests, into $1:
#   all.der        certificate carrying every extension kind the print knows,
#                  and one of an unknown OID
#   hostile.der    certificate whose id-qt-cps qualifier holds a SEQUENCE
#   vid.der        certificate whose subjectAltName otherName holds identity
#                  data; vid.txt: "<idn> <random hex>" it was made from, the
#                  virtual ID computed by Python's hashlib
#   bodies/<name>.der  extension bodies written by python-cryptography
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$out"
export OPENSSL_CONF=/dev/null
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
key ca.key
key leaf.key
openssl req -x509 -new -key ca.key -subj "/CN=Test CA" -days 30 -set_serial 0x99 \
  -addext "subjectKeyIdentifier=0A0B0C0D" -addext "basicConstraints=critical,CA:TRUE" -out ca.pem
openssl req -new -key leaf.key -subj "/CN=Leaf" -out leaf.csr

cat > all.cnf <<'EOF'
[ext]
subjectKeyIdentifier = 01020304
authorityKeyIdentifier = keyid:always,issuer:always
keyUsage = critical,digitalSignature,keyCertSign
subjectAltName = otherName:1.2.410.200004.10.1.1;UTF8:hello,DNS:a.example
basicConstraints = critical,CA:TRUE,pathlen:3
certificatePolicies = 1.2.410.200004.5.2.1.2,1.2.3.4
crlDistributionPoints = dp
authorityInfoAccess = OCSP;URI:http://ocsp.example/,caIssuers;URI:http://ca.example/ca.der
policyConstraints = requireExplicitPolicy:0,inhibitPolicyMapping:5
nameConstraints = permitted;DNS:example.com
policyMappings = 1.2.3.4:1.2.3.5
issuingDistributionPoint = @idp
1.2.3.99.1 = ASN1:UTF8String:unknown
[dp]
fullname = URI:http://crl.example/a.crl
reasons = keyCompromise,CACompromise
CRLissuer = URI:http://issuer.example/
[idp]
fullname = URI:http://crl.example/a.crl
onlyuser = TRUE
EOF
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 0x1234 -days 30 \
  -extfile all.cnf -extensions ext -outform DER -out all.der

# policy 1.2.3.4, qualifier id-qt-cps holding SEQUENCE { UTF8String "hello" }
openssl req -x509 -new -key leaf.key -subj "/CN=Hostile" -days 30 \
  -addext "certificatePolicies=DER:301E301C06032A03043015301306082B0601050507020130070C0568656C6C6F" \
  -outform DER -out hostile.der

# Identity data: VID = SHA-256(SHA-256(DER of SEQUENCE { PrintableString idn, BIT STRING random })).
idn=8001011234567
random=0f1e2d3c4b5a69788796a5b4c3d2e1f0aabbccdd
vid="$(PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$here" /usr/bin/python3 - "$idn" "$random" <<'EOF'
import hashlib, sys
from derwriter import tlv
idn, rnd = sys.argv[1].encode(), bytes.fromhex(sys.argv[2])
der = tlv(0x30, tlv(0x13, idn) + tlv(0x03, b"\0" + rnd))
print(hashlib.sha256(hashlib.sha256(der).digest()).hexdigest())
EOF
)"
echo "$idn $random" > vid.txt
cat > vid.cnf <<EOF
[ext]
subjectAltName = DNS:vid.example,otherName:1.2.410.200004.10.1.1;SEQUENCE:identify
[identify]
realName = FORMAT:UTF8,UTF8:홍길동
userInfos = SEQUENCE:userInfos
[userInfos]
info = SEQUENCE:userInfo
[userInfo]
idType = OID:1.2.410.200004.10.1.1.1
vid = SEQUENCE:vid
[vid]
hashAlg = SEQUENCE:hashAlg
virtualID = EXPLICIT:0,FORMAT:HEX,OCTETSTRING:$vid
[hashAlg]
algorithm = OID:sha256
parameters = NULL
EOF
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -set_serial 7 -days 30 \
  -extfile vid.cnf -extensions ext -outform DER -out vid.der

mkdir -p bodies
/usr/bin/python3 "$here/make_ext_bodies.py" bodies

# Sourced by the fixture scripts. make_ca SUBJECT writes, in the current
# folder, an RSA-2048 CA that signs certificates and CRLs and a leaf request:
#   ca.key ca.der ca.pem   the CA, self-signed with sha256WithRSAEncryption
#   ca.rsa.txt             its eight values in hex (n e d p q dP dQ qInv), one a line
#   leaf.key leaf.csr      an RSA-2048 key and its request for /C=KR/O=Test/CN=Leaf
make_ca() {
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ca.key 2>/dev/null
  openssl req -x509 -new -key ca.key -subj "$1" -days 30 -sha256 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -outform DER -out ca.der
  openssl x509 -inform DER -in ca.der -out ca.pem
  /usr/bin/python3 - <<'PY'
from cryptography.hazmat.primitives import serialization

n = serialization.load_pem_private_key(open('ca.key', 'rb').read(), None).private_numbers()
with open('ca.rsa.txt', 'w') as f:
    for v in (n.public_numbers.n, n.public_numbers.e, n.d, n.p, n.q, n.dmp1, n.dmq1, n.iqmp):
        f.write('%x\n' % v)
PY
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out leaf.key 2>/dev/null
  openssl req -new -key leaf.key -subj "/C=KR/O=Test/CN=Leaf" -out leaf.csr
}

"""Makes the chains of the path tests into OUT (argv[1]): certificates
written with derwriter (so that v1 bodies, duplicate extensions and odd key
identifiers can be had) and signed by python3-cryptography with
sha256WithRSAEncryption, each as NAME.der and NAME.pem.

  root            "ZQ Path Root", self-signed CA (rootKey)
  ca              "ZQ Path CA" under root (caKey), serial 2
  leaf            "ZQ Path Leaf" under ca, authorityKeyIdentifier the CA's key identifier
  leaf-akid       "ZQ Path Leaf 2" under ca, authorityKeyIdentifier {root's name, serial 2}
  ca-cafalse      ca's name and key, basicConstraints cA FALSE, no keyUsage
  ca-noext        ca's name and key, v3 without extensions
  ca-v1           ca's name and key, v1
  ca-otherserial  ca's name and key as a CA, serial 9
  ca-skiprefix    ca's name and key as a CA, subjectKeyIdentifier the first 10 bytes of ca's
  ca-selfsigned   ca's name and key, self-signed CA
  other-root      "ZQ Path Root" self-signed with otherKey
  ca-cross        ca's name and key under other-root, serial 10
  decoy           "ZQ Decoy" CA under root, serial 2
  leaf-dupext     "ZQ Path Leaf 3" under ca with keyUsage twice
  ca-policies     ca's name and key as a CA with 5000 certificate policies
  leaf-policy     "ZQ Path Leaf 4" under ca with the policy 1.2.3.4 only
Every certificate but leaf-policy carries certificatePolicies anyPolicy;
all are valid from yesterday for a year. anchor.der is root's name and key
as SEQUENCE { Name, SubjectPublicKeyInfo }."""
import datetime
import hashlib
import os
import ssl
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

from derwriter import oid, seq, tlv

out = sys.argv[1]


def key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


root_key, ca_key, other_key, leaf_key = key(), key(), key(), key()


def spki(k):
    return k.public_key().public_bytes(serialization.Encoding.DER,
                                       serialization.PublicFormat.SubjectPublicKeyInfo)


def key_id(k):
    # RFC 5280 4.2.1.2 (1): SHA-1 of the subjectPublicKey BIT STRING's value.
    return hashlib.sha1(k.public_key().public_bytes(serialization.Encoding.DER,
                                                    serialization.PublicFormat.PKCS1)).digest()


def name(cn):
    return seq(tlv(0x31, seq(oid('2.5.4.10'), tlv(0x13, b'ZQ'))),
               tlv(0x31, seq(oid('2.5.4.3'), tlv(0x0c, cn.encode()))))


def ext(ident, body, critical=False):
    return seq(oid(ident), tlv(0x01, b'\xff') if critical else b'', tlv(0x04, body))


def ca_exts(k, issuer_k=None, ski=None):
    e = [ext('2.5.29.19', seq(tlv(0x01, b'\xff')), True),
         ext('2.5.29.15', tlv(0x03, b'\x01\x06'), True),
         ext('2.5.29.14', tlv(0x04, ski if ski is not None else key_id(k))),
         ext('2.5.29.32', seq(seq(oid('2.5.29.32.0'))))]
    if issuer_k:
        e.append(ext('2.5.29.35', seq(tlv(0x80, key_id(issuer_k)))))
    return e


def any_policy():
    return ext('2.5.29.32', seq(seq(oid('2.5.29.32.0'))))


now = datetime.datetime.now(datetime.timezone.utc)
validity = seq(tlv(0x17, (now - datetime.timedelta(days=1)).strftime('%y%m%d%H%M%SZ').encode()),
               tlv(0x17, (now + datetime.timedelta(days=365)).strftime('%y%m%d%H%M%SZ').encode()))
sha256_rsa = seq(oid('1.2.840.113549.1.1.11'), tlv(0x05, b''))


def cert(file, serial, issuer, subject, k, signer, exts, version=3):
    tbs = b''
    if version > 1:
        tbs += tlv(0xa0, tlv(0x02, bytes([version - 1])))
    tbs += tlv(0x02, serial.to_bytes(serial.bit_length() // 8 + 1, 'big')) + sha256_rsa + issuer + validity + subject + spki(k)
    if exts:
        tbs += tlv(0xa3, seq(*exts))
    tbs = seq(tbs)
    sig = signer.sign(tbs, padding.PKCS1v15(), hashes.SHA256())
    der = seq(tbs, sha256_rsa, tlv(0x03, b'\x00' + sig))
    open(os.path.join(out, file + '.der'), 'wb').write(der)
    open(os.path.join(out, file + '.pem'), 'w').write(ssl.DER_cert_to_PEM_cert(der))


ROOT, CA = name('ZQ Path Root'), name('ZQ Path CA')
cert('root', 1, ROOT, ROOT, root_key, root_key, ca_exts(root_key))
cert('ca', 2, ROOT, CA, ca_key, root_key, ca_exts(ca_key, root_key))
leaf_akid = ext('2.5.29.35', seq(tlv(0x80, key_id(ca_key))))
cert('leaf', 3, CA, name('ZQ Path Leaf'), leaf_key, ca_key, [leaf_akid, any_policy()])
by_name = ext('2.5.29.35', seq(tlv(0xa1, tlv(0xa4, ROOT)), tlv(0x82, b'\x02')))
cert('leaf-akid', 4, CA, name('ZQ Path Leaf 2'), leaf_key, ca_key, [by_name, any_policy()])
cert('ca-cafalse', 5, ROOT, CA, ca_key, root_key,
     [ext('2.5.29.19', seq(), True), ext('2.5.29.14', tlv(0x04, key_id(ca_key))), any_policy()])
cert('ca-noext', 6, ROOT, CA, ca_key, root_key, [])
cert('ca-v1', 7, ROOT, CA, ca_key, root_key, [], version=1)
cert('ca-otherserial', 9, ROOT, CA, ca_key, root_key, ca_exts(ca_key, root_key))
cert('ca-skiprefix', 11, ROOT, CA, ca_key, root_key, ca_exts(ca_key, root_key, key_id(ca_key)[:10]))
cert('ca-selfsigned', 12, CA, CA, ca_key, ca_key, ca_exts(ca_key))
cert('other-root', 13, ROOT, ROOT, other_key, other_key, ca_exts(other_key))
cert('ca-cross', 10, ROOT, CA, ca_key, other_key, ca_exts(ca_key, other_key))
cert('decoy', 2, ROOT, name('ZQ Decoy'), other_key, root_key, ca_exts(other_key, root_key))
usage = ext('2.5.29.15', tlv(0x03, b'\x07\x80'), True)
cert('leaf-dupext', 14, CA, name('ZQ Path Leaf 3'), leaf_key, ca_key, [leaf_akid, usage, usage, any_policy()])
many = ext('2.5.29.32', seq(*[seq(oid('1.3.6.1.4.1.32473.9.%d' % i)) for i in range(5000)]))
cert('ca-policies', 15, ROOT, CA, ca_key, root_key, ca_exts(ca_key, root_key)[:3] + [many])
cert('leaf-policy', 16, CA, name('ZQ Path Leaf 4'), leaf_key, ca_key,
     [leaf_akid, ext('2.5.29.32', seq(seq(oid('1.2.3.4'))))])
open(os.path.join(out, 'anchor.der'), 'wb').write(seq(ROOT, spki(root_key)))

// The envelope engine of PKCS#7 (pkcs7_env.cpp), which CMS carries its
// content keys and content through as well. Results are 0 or a code of
// L_PKCS7, a plain 1 where said, or the crypto library's code.
#pragma once

#include "asn1/codec_util.hpp"
#include <zunPKI/pkcs/pkcs7_env.h>
#include "x509/x509_algorithm.hpp"

namespace zpki::pkcs7 {

// The cipher id alg names for the content (a password-based row only when
// passwordBased), the modes that are never padded marked so; 0 for none.
int cipherOfContent(const X509_ALGO_IDENTIFIER* alg, bool passwordBased);
// The same for enveloping, with the key and IV lengths; 0 for a cipher we
// cannot run.
int cipherForEnvelope(const X509_ALGO_IDENTIFIER* alg, int& keyLen, int& ivLen);
// An OCTET STRING of an IV as AlgorithmIdentifier parameters.
asn1::String ivAsParameters(const unsigned char* iv, int len);
// The RSAES mode a caller names (0 is PKCS#1 v1.5); false for others.
bool transportMode(int mode, int& out);

// The keyEncryptionAlgorithm of a new recipient for mode: rsaEncryption, or
// id-RSAES-OAEP with oaep (null: the defaults) when our crypto library can
// follow its parameters.
int recipientLabel(int mode, const RSAES_OAEP_PARAM* oaep, x509::Algorithm& out);
// The content key encrypted for a recipient's RSA key under mode: OAEP
// with the hash the recipient's label names; a label that does not say the
// mode gets a new one in label.
int transportKey(const X509_ALGO_IDENTIFIER* kea, const ASYMMETRIC_KEY* pub, int mode, const void* key, int keyLen,
                 x509::Algorithm& label, asn1::String& out);
// The content key from encryptedKey with the private key: exactly keyLen
// bytes (the content cipher's), into out of *outLen bytes of room.
int openKey(const X509_ALGO_IDENTIFIER* kea, const OCTET_STRING* encryptedKey, const ASYMMETRIC_KEY* key, int mode,
            int keyLen, char* out, int* outLen);

// One streaming step of the running cipher: output needs room for the
// input plus a block (a final, for a block); into out (its room in
// *outLen) and, unless external, appended to encryptedContent.
int streamUpdate(P7_ENCRYPTED_CONTENT_INFO* eci, bool external, const char* data, int len, char* out, int* outLen);
int streamFinal(P7_ENCRYPTED_CONTENT_INFO* eci, bool external, char* out, int* outLen);
// The whole content decrypted with key and iv (null: the IV the algorithm
// carries, exactly the cipher's length), into out of *outLen bytes of room.
int decryptContent(const P7_ENCRYPTED_CONTENT_INFO* eci, const void* key, const void* iv, char* out, int* outLen);

}  // namespace zpki::pkcs7

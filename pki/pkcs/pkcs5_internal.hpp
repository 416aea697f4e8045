// Pieces of the password-based schemes shared with the PKCS#12 code.
#pragma once

#include "asn1/pki_error.h"

namespace zpki::pkcs5 {

// The PKCS#12 PBE algorithms (RFC 7292 appendix C): the object-identifier
// row, the cipher id (0 for RC4) and the key length.
struct Pkcs12Pbe {
    int row;
    int cipherId;
    int keyLength;
};
// The algorithm of a row, or null when the row is none of them.
const Pkcs12Pbe* pkcs12PbeOfRow(int row);

// Encrypts or decrypts in with a PKCS#12 PBE algorithm: key (id 1) and IV
// (id 2) from the PKCS#12 derivation with SHA-1, then the cipher (CBC with
// padding, or RC4). *outLen is the room in out on entry and the bytes written
// on return. libFunc carries the library and function bytes of errors.
PKI_ERROR pkcs12PbeCrypt(const Pkcs12Pbe& pbe, bool encrypt, const char* password, int pwLen,
                         const unsigned char* salt, int saltLen, int iterations, const unsigned char* in, int inLen,
                         unsigned char* out, int* outLen, unsigned libFunc);

}  // namespace zpki::pkcs5

// Pieces of the password-based schemes shared with the PKCS#12 code.
#pragma once

#include "asn1/pki_buffer.hpp"
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/pkcs/pkcs8.h>

#include <zunCrypto/zunCrypto.h>

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

// The cipher id of a block cipher that other tools name under an identifier
// the table has no row for (ARIA-CBC under its RFC 5794 identifiers); 0 for
// any other identifier.
int cipherOfUnlistedOid(const OBJECT_IDENTIFIER* oid);

// An iteration count read from a file: 1 to PKCS5_MAX_ITERATIONS, else 0
// (also for a negative count, whose magnitude is no count at all).
int iterationsOf(const BIGINT* count);

// A password of PKCS#12 contents: its bytes (len 0 or more; a null password
// is no octets at all, which the PKCS#12 derivation tells from "") and,
// when bmp is set, the BMPString the PKCS#12 derivation takes instead of
// widening each byte. PBES2 always takes the bytes.
struct PbePassword {
    const char* pw;
    int len;
    const unsigned char* bmp = nullptr;
    int bmpLen = 0;
};

// The UTF-16 form of a password that is UTF-8 but not ASCII, with its two
// terminating zero octets (len of them); empty for any other password.
Buffer utf16Password(const PbePassword& pw, int& len);

// n octets of the PKCS#12 derivation (pkcs12_kdf.h) from the password in
// its BMPString form, with the algorithm of digest; 0 or 1.
int pkcs12Key(const PbePassword& pw, const unsigned char* salt, int saltLen, int id, int iterations, int n,
              unsigned char* out, DIGEST_UNIT* digest);

// Encrypts in under pbeRow as encrypt_PKCS5 chooses the scheme (rows 144-149
// with the PKCS#12 derivation) into a new *out holding the algorithm, its
// parameters and the ciphertext. Without a salt, 8 random bytes.
PKI_ERROR sealBytes(int pbeRow, const PbePassword& pw, const unsigned char* salt, int saltLen, int iterations,
                    const unsigned char* in, int inLen, PKCS8** out);

// Decrypts the data of enc under its algorithm (any scheme decrypt_PKCS5
// reads, with its second try of a password that is not ASCII) into plain,
// plainLen bytes. The cipher's result passes through: a wrong password
// usually shows as VSC_FAIL (bad padding).
PKI_ERROR openBytes(const PKCS8& enc, const PbePassword& pw, Buffer& plain, int& plainLen);

}  // namespace zpki::pkcs5

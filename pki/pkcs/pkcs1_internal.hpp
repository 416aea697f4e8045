// RSAPrivateKey DER for the PKCS#8 codec, which carries it in its privateKey.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include "asn1/pki_buffer.hpp"
#include <zunPKI/asn1/pki_error.h>

namespace zpki::pkcs1 {

// The RSAPrivateKey DER of a private unit with n, e, d, p and q (CRT values
// computed when missing); empty, with len -1, otherwise.
Buffer privateKeyDer(const RSA_UNIT* key, int& len);
// A private unit (*out, or a new one) from the len bytes, which must be
// exactly one RSAPrivateKey of two primes.
PKI_ERROR privateUnitFromDer(RSA_UNIT** out, const unsigned char* der, int len);

}  // namespace zpki::pkcs1

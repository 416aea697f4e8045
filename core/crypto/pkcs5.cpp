// The PKCS#5 schemes by name: arguments checked, names mapped, everything
// else handed to libzunPKI as it is.
#include <cstring>

#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCore/pkcs5.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/pkcs/pkcs5.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

constexpr int invalid(int category) { return VCL_CORE_CODE(category, VCL_R_INVALID_PARAM); }

// What every scheme takes: the data, the password and the salt.
bool schemeArgsMissing(const unsigned char* in, int inLen, const char* password, int pwLen, const unsigned char* salt,
                       int saltLen, int iterations, const unsigned char* out, const int* outLen) {
    return !in || !password || !salt || !out || !outLen || inLen <= 0 || pwLen <= 0 || saltLen <= 0 || iterations <= 0;
}

// Both names mapped, the cipher's first.
int mapNames(const char* cipherName, const char* hashName, int& cipher, int& digest) {
    if (int rc = VCL_COM_convert_cipher_name(cipherName, &cipher); rc != 0) return rc;
    return VCL_COM_convert_hash_name(hashName, &digest);
}

// The KISA variant's IV mode by meaning: 1 the derived IV, 2 and above the
// fixed one.
int kisaIvMode(int ivMode) { return ivMode == VCL_PK5_KISA_IV_DIGEST ? PBES1_KISA_IV_DIGEST : PBES1_KISA_IV_FIXED; }

int pbes1Kisa(bool encrypt, const unsigned char* in, int inLen, const char* password, int pwLen,
              const unsigned char* salt, int saltLen, int iterations, unsigned char* out, int* outLen,
              const char* cipherName, const char* hashName, int ivMode) {
    const int cat = encrypt ? VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_ENC : VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_DEC;
    if (schemeArgsMissing(in, inLen, password, pwLen, salt, saltLen, iterations, out, outLen) || !cipherName ||
        !hashName || ivMode <= 0)
        return invalid(cat);
    int cipher = 0, digest = 0;
    if (int rc = mapNames(cipherName, hashName, cipher, digest); rc != 0) return rc;
    auto fn = encrypt ? encrypt_PBES1_KISA : decrypt_PBES1_KISA;
    return fn(in, inLen, password, pwLen, salt, saltLen, iterations, out, outLen, cipher, digest, kisaIvMode(ivMode));
}

int pbes1(bool encrypt, const unsigned char* in, int inLen, const char* password, int pwLen, const unsigned char* salt,
          int saltLen, int iterations, unsigned char* out, int* outLen, const char* cipherName, const char* hashName) {
    const int cat = encrypt ? VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_ENC : VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_DEC;
    if (schemeArgsMissing(in, inLen, password, pwLen, salt, saltLen, iterations, out, outLen) || !cipherName ||
        !hashName)
        return invalid(cat);
    int cipher = 0, digest = 0;
    if (int rc = mapNames(cipherName, hashName, cipher, digest); rc != 0) return rc;
    auto fn = encrypt ? encrypt_PBES1 : decrypt_PBES1;
    return fn(in, inLen, password, pwLen, salt, saltLen, iterations, out, outLen, cipher, digest);
}

}  // namespace

extern "C" {

VCL_API int VCL_PK5_Encrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                       const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                       int* out_len, const char* cipher_name, const char* hash_name, int iv_mode) {
    return pbes1Kisa(true, in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, cipher_name,
                     hash_name, iv_mode);
}

VCL_API int VCL_PK5_Decrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                                       const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                       int* out_len, const char* cipher_name, const char* hash_name, int iv_mode) {
    return pbes1Kisa(false, in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, cipher_name,
                     hash_name, iv_mode);
}

VCL_API int VCL_PK5_Encrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const char* cipher_name, const char* hash_name) {
    return pbes1(true, in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, cipher_name, hash_name);
}

VCL_API int VCL_PK5_Decrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const char* cipher_name, const char* hash_name) {
    return pbes1(false, in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, cipher_name, hash_name);
}

VCL_API int VCL_PK5_Encrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, unsigned char** iv, int* iv_len, const char* cipher_name,
                                  const char* hash_name) {
    constexpr int cat = VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_ENC;
    if (schemeArgsMissing(in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len) || !iv || !iv_len ||
        !cipher_name || !hash_name)
        return invalid(cat);
    int cipher = 0, digest = 0;
    if (int rc = mapNames(cipher_name, hash_name, cipher, digest); rc != 0) return rc;
    const bool given = *iv && *iv_len > 0;
    unsigned char* made = given ? *iv : nullptr;
    int madeLen = given ? *iv_len : 0;
    const int rc = encrypt_PBES2(in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, &made,
                                 &madeLen, cipher, digest);
    if (given) return rc;
    // A new IV comes from libzunPKI's allocator: hand out one of ours.
    zcore::VscPtr<unsigned char> layerIv(made);
    if (rc != 0) return rc;
    char* copy = zcore::newBuffer({reinterpret_cast<const char*>(made), static_cast<size_t>(madeLen)});
    if (!copy) {
        explicit_bzero(out, static_cast<size_t>(*out_len));
        *out_len = 0;
        return VCL_CORE_CODE(cat, VCL_R_MALLOC);
    }
    *iv = reinterpret_cast<unsigned char*>(copy);
    *iv_len = madeLen;
    return 0;
}

VCL_API int VCL_PK5_Decrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                                  const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                                  int* out_len, const unsigned char* iv, const char* cipher_name,
                                  const char* hash_name) {
    if (schemeArgsMissing(in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len) || !iv ||
        !cipher_name || !hash_name)
        return invalid(VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_DEC);
    int cipher = 0, digest = 0;
    if (int rc = mapNames(cipher_name, hash_name, cipher, digest); rc != 0) return rc;
    // The IV is as long as the cipher wants; a cipher without one is refused
    // by the scheme.
    return decrypt_PBES2(in, in_len, password, pw_len, salt, salt_len, iterations, out, out_len, iv,
                         VSC_Get_IV_Length(cipher), cipher, digest);
}

VCL_API int VCL_PK5_PBKDF1(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                           const char* hash_name, int dk_len, unsigned char* dk) {
    if (!password || !salt || !hash_name || !dk || pw_len <= 0 || salt_len <= 0 || iterations <= 0)
        return invalid(VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF1);
    int digest = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &digest); rc != 0) return rc;
    return PBKDF1(password, pw_len, salt, salt_len, iterations, digest, dk, dk_len);
}

VCL_API int VCL_PK5_PBKDF2(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                           const char* hash_name, unsigned char* dk, int dk_len) {
    if (!password || !salt || !hash_name || !dk || pw_len <= 0 || salt_len <= 0 || iterations <= 0 || dk_len <= 0)
        return invalid(VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF2);
    int digest = 0;
    if (int rc = VCL_COM_convert_hash_name(hash_name, &digest); rc != 0) return rc;
    return PBKDF2(password, pw_len, salt, salt_len, iterations, digest, dk, dk_len);
}

}  // extern "C"

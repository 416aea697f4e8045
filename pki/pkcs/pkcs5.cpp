#include "pkcs5.h"

#include "asn1/pki_buffer.h"
#include "pkcs/pkcs12_kdf.h"
#include "pkcs/pkcs5_internal.hpp"
#include "pkcs/secret.hpp"

#include <zunCrypto/zunCrypto.h>

#include <cstring>

namespace zpki::pkcs5 {
namespace {

constexpr int kSha1 = VSC_DIGEST_SHA1;
// The KISA variant's IV mode 0: the first block-length bytes of this text.
constexpr char kKisaFixedIv[] = "4917260358143729";
constexpr size_t kMaxKey = 64, kMaxIv = 16;

PKI_ERROR err(unsigned libFunc, unsigned reason)
{
    return PKI_ERR(libFunc, 0, reason);
}

// What every primitive needs: password, salt, a positive iteration count.
struct Password {
    const char* pw;
    int pwLen;
    const unsigned char* salt;
    int saltLen;
    int iterations;
    bool missing() const { return pw == nullptr || pwLen <= 0 || salt == nullptr || saltLen <= 0 || iterations <= 0; }
    bool tooManyRounds() const { return iterations > PKCS5_MAX_ITERATIONS; }
};

bool dataMissing(const unsigned char* in, int inLen, const unsigned char* out, const int* outLen)
{
    return in == nullptr || inLen <= 0 || out == nullptr || outLen == nullptr;
}

// One pass of the block cipher into a scratch buffer, then into out when it
// fits the room *outLen gives. Crypto errors pass through.
PKI_ERROR cipherInto(int cipherId, bool encrypt, const unsigned char* key, const unsigned char* iv,
                     const unsigned char* in, int inLen, unsigned char* out, int* outLen, unsigned libFunc)
{
    const int block = VSC_Get_Block_Length(cipherId);
    if (block <= 0)
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    auto scratch = Buffer::allocate(static_cast<size_t>(inLen) + static_cast<size_t>(block));
    if (!scratch)
        return err(libFunc, ERR_R_ALLOC);
    int n = 0;
    if (int rc = VSC_BLOCK_CIPHER(cipherId, encrypt ? 1 : 0, key, iv, in, inLen, scratch.data(), &n); rc != VSC_OK)
        return rc;
    if (n > *outLen)
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    std::memcpy(out, scratch.data(), static_cast<size_t>(n));
    *outLen = n;
    return PKI_SUCCESS;
}

PKI_ERROR rc4Into(const unsigned char* key, int keyLen, const unsigned char* in, int inLen, unsigned char* out,
                  int* outLen, unsigned libFunc)
{
    if (inLen > *outLen)
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    Owned<RC4_UNIT, VSC_Free_RC4_Unit> rc4(VSC_New_RC4_Unit());
    if (!rc4)
        return err(libFunc, ERR_R_ALLOC_3C);
    int rc = VSC_Init_RC4(rc4.get(), key, keyLen);
    if (rc == VSC_OK)
        rc = VSC_Do_RC4(rc4.get(), in, inLen, out);
    if (rc != VSC_OK)
        return rc;
    *outLen = inLen;
    return PKI_SUCCESS;
}

// The block cipher of a scheme that always runs in CBC mode.
int cbcOf(int cipherId)
{
    return VSC_CIPHER_ALG(cipherId) | VSC_CIPHER_MODE_CBC;
}

PKI_ERROR pbkdf1(const Password& s, int digestId, unsigned char* out, int outLen, unsigned libFunc)
{
    if (s.missing() || out == nullptr || outLen <= 0)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId);
    if (hLen <= 0 || outLen > hLen || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    DigestUnit unit(VSC_New_DIGEST_Unit());
    if (!unit)
        return err(libFunc, ERR_R_ALLOC_3C);
    Secret<VSC_MAX_DIGEST_LENGTH> t;
    int rc = VSC_Init_DIGEST(unit.get(), digestId);
    if (rc == VSC_OK)
        rc = VSC_Update_DIGEST(unit.get(), reinterpret_cast<const unsigned char*>(s.pw), s.pwLen);
    if (rc == VSC_OK)
        rc = VSC_Update_DIGEST(unit.get(), s.salt, s.saltLen);
    if (rc == VSC_OK)
        rc = VSC_Final_DIGEST(unit.get(), t.data(), nullptr);
    for (int i = 1; rc == VSC_OK && i < s.iterations; ++i) {
        rc = VSC_Update_DIGEST(unit.get(), t.data(), hLen);
        if (rc == VSC_OK)
            rc = VSC_Final_DIGEST(unit.get(), t.data(), nullptr);
    }
    if (rc != VSC_OK)
        return rc;
    std::memcpy(out, t.data(), static_cast<size_t>(outLen));
    return PKI_SUCCESS;
}

PKI_ERROR pbkdf2(const Password& s, int digestId, unsigned char* out, int outLen, unsigned libFunc)
{
    if (s.missing() || out == nullptr || outLen <= 0)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId & ~VSC_HMAC_FLAG);
    if (hLen <= 0 || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    HmacUnit prf(VSC_New_HMAC_Unit());
    if (!prf)
        return err(libFunc, ERR_R_ALLOC_3C);
    auto saltBlock = Buffer::allocate(static_cast<size_t>(s.saltLen) + 4);
    if (!saltBlock)
        return err(libFunc, ERR_R_ALLOC);
    std::memcpy(saltBlock.data(), s.salt, static_cast<size_t>(s.saltLen));
    int rc = VSC_Init_HMAC(prf.get(), digestId, reinterpret_cast<const unsigned char*>(s.pw), s.pwLen);
    Secret<VSC_MAX_DIGEST_LENGTH> u, t;
    const unsigned blocks = static_cast<unsigned>((outLen + hLen - 1) / hLen);
    for (unsigned i = 1; rc == VSC_OK && i <= blocks; ++i) {
        // U1 = PRF(P, S || INT(i)); Uj = PRF(P, Uj-1); T = U1 ^ ... ^ Uc.
        unsigned char* counter = saltBlock.data() + s.saltLen;
        counter[0] = static_cast<unsigned char>(i >> 24);
        counter[1] = static_cast<unsigned char>(i >> 16);
        counter[2] = static_cast<unsigned char>(i >> 8);
        counter[3] = static_cast<unsigned char>(i);
        rc = VSC_Update_HMAC(prf.get(), saltBlock.data(), s.saltLen + 4);
        if (rc == VSC_OK)
            rc = VSC_Final_HMAC(prf.get(), u.data(), nullptr);
        std::memcpy(t.data(), u.data(), static_cast<size_t>(hLen));
        for (int j = 1; rc == VSC_OK && j < s.iterations; ++j) {
            rc = VSC_Update_HMAC(prf.get(), u.data(), hLen);
            if (rc == VSC_OK)
                rc = VSC_Final_HMAC(prf.get(), u.data(), nullptr);
            for (int k = 0; k < hLen; ++k)
                t.data()[k] ^= u.data()[k];
        }
        if (rc != VSC_OK)
            break;
        const int offset = static_cast<int>(i - 1) * hLen;
        const int take = outLen - offset < hLen ? outLen - offset : hLen;
        std::memcpy(out + offset, t.data(), static_cast<size_t>(take));
    }
    if (rc != VSC_OK) {
        wipe(out, static_cast<size_t>(outLen));
        return rc;
    }
    return PKI_SUCCESS;
}

PKI_ERROR pbes1(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out, int* outLen,
                int cipherId, int digestId)
{
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENCRYPT_PBES1 : F_DECRYPT_PBES1);
    if (dataMissing(in, inLen, out, outLen) || s.missing())
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId);
    if (VSC_Get_Key_Length(cipherId) != 8 || VSC_Get_IV_Length(cipherId) != 8 || hLen < 16 || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    Secret<VSC_MAX_DIGEST_LENGTH> dk;
    if (PKI_ERROR rc = pbkdf1(s, digestId, dk.data(), hLen, L_PKCS5 | F_PBKDF1); rc != PKI_SUCCESS)
        return rc;
    return cipherInto(cipherId, encrypt, dk.data(), dk.data() + 8, in, inLen, out, outLen, libFunc);
}

PKI_ERROR pbes1Kisa(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out,
                    int* outLen, int cipherId, int digestId, int ivMode)
{
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENC_PBES1_KISA : F_DEC_PBES1_KISA);
    if (dataMissing(in, inLen, out, outLen) || s.missing())
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int cipher = cbcOf(cipherId);
    const int hLen = VSC_Get_DIGEST_Length(digestId);
    const int block = VSC_Get_Block_Length(cipher);
    // The key is the first block-length bytes of the derived key, so the
    // cipher's key must be that long, and mode 1 hashes what is left of it.
    if (hLen <= 0 || block <= 0 || VSC_Get_Key_Length(cipher) != block || static_cast<size_t>(block) > kMaxIv ||
        hLen < block || (ivMode == PBES1_KISA_IV_DIGEST && hLen == block) ||
        (ivMode != PBES1_KISA_IV_FIXED && ivMode != PBES1_KISA_IV_DIGEST) || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    Secret<VSC_MAX_DIGEST_LENGTH> dk;
    if (PKI_ERROR rc = pbkdf1(s, digestId, dk.data(), hLen, L_PKCS5 | F_PBKDF1); rc != PKI_SUCCESS)
        return encrypt ? err(libFunc, ERR_PKCS5_KDF_OR_PLAINTEXT) : rc;

    Secret<VSC_MAX_DIGEST_LENGTH> iv;
    if (ivMode == PBES1_KISA_IV_FIXED) {
        std::memcpy(iv.data(), kKisaFixedIv, static_cast<size_t>(block));
    } else {
        // Encryption always hashes with SHA-1; decryption with the digest
        // the caller names (SHA-1 for every row in use).
        const int ivDigest = encrypt ? kSha1 : digestId;
        if (VSC_Get_DIGEST_Length(ivDigest) < block)
            return err(libFunc, ERR_R_INVALID_ELEMENT);
        DigestUnit unit(VSC_New_DIGEST_Unit());
        if (!unit)
            return err(libFunc, ERR_R_ALLOC_3C);
        if (int rc = VSC_Init_DIGEST(unit.get(), ivDigest); rc != VSC_OK)
            return encrypt ? err(libFunc, ERR_PKCS5_IV_DIGEST_INIT) : rc;
        if (int rc = VSC_Update_DIGEST(unit.get(), dk.data() + block, hLen - block); rc != VSC_OK)
            return encrypt ? err(libFunc, ERR_PKCS5_IV_DIGEST_UPDATE) : rc;
        if (int rc = VSC_Final_DIGEST(unit.get(), iv.data(), nullptr); rc != VSC_OK)
            return encrypt ? err(libFunc, ERR_PKCS5_IV_DIGEST_FINAL) : rc;
    }
    return cipherInto(cipher, encrypt, dk.data(), iv.data(), in, inLen, out, outLen, libFunc);
}

// Key and IV from the PKCS#12 derivation with SHA-1, then the cipher.
PKI_ERROR pkcs12Derived(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out,
                        int* outLen, int cipherId, int keyLen, unsigned libFunc)
{
    if (dataMissing(in, inLen, out, outLen) || s.missing())
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int ivLen = cipherId != 0 ? VSC_Get_IV_Length(cipherId) : 0;
    if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey || ivLen < 0 || static_cast<size_t>(ivLen) > kMaxIv ||
        (cipherId != 0 && VSC_Get_Block_Length(cipherId) <= 0) || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    DigestUnit sha1(VSC_New_DIGEST_Unit());
    if (!sha1 || VSC_Init_DIGEST(sha1.get(), kSha1) != VSC_OK)
        return err(libFunc, ERR_R_ALLOC_3C);
    Secret<kMaxKey> key;
    Secret<kMaxIv> iv;
    if (gen_PKCS12_key_ASC(s.pw, s.pwLen, s.salt, s.saltLen, PKCS12_KEY_ID, s.iterations, keyLen, key.data(),
                           sha1.get()) != 0 ||
        (ivLen > 0 && gen_PKCS12_key_ASC(s.pw, s.pwLen, s.salt, s.saltLen, PKCS12_IV_ID, s.iterations, ivLen,
                                         iv.data(), sha1.get()) != 0))
        return err(libFunc, ERR_R_ALLOC);
    if (cipherId == 0)
        return rc4Into(key.data(), keyLen, in, inLen, out, outLen, libFunc);
    return cipherInto(cipherId, encrypt, key.data(), iv.data(), in, inLen, out, outLen, libFunc);
}

PKI_ERROR pbes1Gpki(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out,
                    int* outLen, int cipherId)
{
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENC_PBES1_GPKI : F_DEC_PBES1_GPKI);
    const int cipher = cbcOf(cipherId);
    const int keyLen = VSC_Get_Key_Length(cipher);
    if (keyLen <= 0 && !dataMissing(in, inLen, out, outLen) && !s.missing())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    return pkcs12Derived(encrypt, in, inLen, s, out, outLen, cipher, keyLen, libFunc);
}

PKI_ERROR pbes2Key(const Password& s, int cipherId, int prfDigestId, Secret<kMaxKey>& key, int& ivLen,
                   unsigned libFunc)
{
    const int keyLen = VSC_Get_Key_Length(cipherId);
    ivLen = VSC_Get_IV_Length(cipherId);
    if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey || ivLen <= 0 || static_cast<size_t>(ivLen) > kMaxIv ||
        VSC_Get_DIGEST_Length(prfDigestId & ~VSC_HMAC_FLAG) <= 0 || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    return pbkdf2(s, prfDigestId, key.data(), keyLen, L_PKCS5 | F_PBKDF2);
}

PKI_ERROR pbes2Encrypt(const unsigned char* in, int inLen, const Password& s, unsigned char* out, int* outLen,
                       unsigned char** iv, int* ivLen, int cipherId, int prfDigestId)
{
    const unsigned libFunc = L_PKCS5 | F_ENCRYPT_PBES2;
    if (dataMissing(in, inLen, out, outLen) || s.missing() || iv == nullptr || ivLen == nullptr)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    Secret<kMaxKey> key;
    int wantIv = 0;
    if (PKI_ERROR rc = pbes2Key(s, cipherId, prfDigestId, key, wantIv, libFunc); rc != PKI_SUCCESS)
        return rc;
    const bool given = *iv != nullptr && *ivLen > 0;
    if (given && *ivLen != wantIv)
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    VscPtr<unsigned char> made;
    if (!given) {
        made.reset(static_cast<unsigned char*>(PKI_MALLOC(static_cast<size_t>(wantIv))));
        if (!made)
            return err(libFunc, ERR_R_ALLOC);
        if (int rc = VSC_Rand_Bytes(made.get(), wantIv); rc != VSC_OK)
            return rc;
    }
    PKI_ERROR rc = cipherInto(cipherId, true, key.data(), given ? *iv : made.get(), in, inLen, out, outLen, libFunc);
    if (rc == PKI_SUCCESS && !given) {
        *iv = made.release();
        *ivLen = wantIv;
    }
    return rc;
}

PKI_ERROR pbes2Decrypt(const unsigned char* in, int inLen, const Password& s, unsigned char* out, int* outLen,
                       const unsigned char* iv, int ivLen, int cipherId, int prfDigestId)
{
    const unsigned libFunc = L_PKCS5 | F_DECRYPT_PBES2;
    if (dataMissing(in, inLen, out, outLen) || s.missing() || iv == nullptr || ivLen <= 0)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    Secret<kMaxKey> key;
    int wantIv = 0;
    if (PKI_ERROR rc = pbes2Key(s, cipherId, prfDigestId, key, wantIv, libFunc); rc != PKI_SUCCESS)
        return rc;
    if (ivLen != wantIv)
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    return cipherInto(cipherId, false, key.data(), iv, in, inLen, out, outLen, libFunc);
}

const Pkcs12Pbe kPkcs12Pbes[] = {
    {144, 0, 16},
    {145, 0, 5},
    {146, VSC_CIPHER_DES_EDE3_CBC, 24},
    {147, VSC_CIPHER_DES_EDE_2KEY | VSC_CIPHER_MODE_CBC, 16},
    {148, VSC_PBE_RC2_128_CBC, 16},
    {149, VSC_PBE_RC2_40_CBC, 5},
};

}  // namespace

const Pkcs12Pbe* pkcs12PbeOfRow(int row)
{
    for (const auto& p : kPkcs12Pbes)
        if (p.row == row)
            return &p;
    return nullptr;
}

PKI_ERROR pkcs12PbeCrypt(const Pkcs12Pbe& pbe, bool encrypt, const char* password, int pwLen,
                         const unsigned char* salt, int saltLen, int iterations, const unsigned char* in, int inLen,
                         unsigned char* out, int* outLen, unsigned libFunc)
{
    const Password s{password, pwLen, salt, saltLen, iterations};
    return pkcs12Derived(encrypt, in, inLen, s, out, outLen, pbe.cipherId, pbe.keyLength, libFunc);
}

}  // namespace zpki::pkcs5


extern "C" {

PKI_ERROR PBKDF1(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                 int digest_id, unsigned char* out, int out_len)
{
    return zpki::pkcs5::pbkdf1({password, pw_len, salt, salt_len, iterations}, digest_id, out, out_len,
                               L_PKCS5 | F_PBKDF1);
}

PKI_ERROR PBKDF2(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                 int digest_id, unsigned char* out, int out_len)
{
    return zpki::pkcs5::pbkdf2({password, pw_len, salt, salt_len, iterations}, digest_id, out, out_len,
                               L_PKCS5 | F_PBKDF2);
}

PKI_ERROR encrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        int cipher_id, int digest_id)
{
    return zpki::pkcs5::pbes1(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                              cipher_id, digest_id);
}

PKI_ERROR decrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        int cipher_id, int digest_id)
{
    return zpki::pkcs5::pbes1(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                              cipher_id, digest_id);
}

PKI_ERROR encrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                             int* out_len, int cipher_id, int digest_id, int iv_mode)
{
    return zpki::pkcs5::pbes1Kisa(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id, digest_id, iv_mode);
}

PKI_ERROR decrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                             int* out_len, int cipher_id, int digest_id, int iv_mode)
{
    return zpki::pkcs5::pbes1Kisa(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id, digest_id, iv_mode);
}

PKI_ERROR encrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                             int* out_len, int cipher_id, int /*digest_id*/)
{
    return zpki::pkcs5::pbes1Gpki(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id);
}

PKI_ERROR decrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out,
                             int* out_len, int cipher_id, int /*digest_id*/)
{
    return zpki::pkcs5::pbes1Gpki(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id);
}

PKI_ERROR encrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        unsigned char** iv, int* iv_len, int cipher_id, int prf_digest_id)
{
    return zpki::pkcs5::pbes2Encrypt(in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len, iv,
                                     iv_len, cipher_id, prf_digest_id);
}

PKI_ERROR decrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        const unsigned char* iv, int iv_len, int cipher_id, int prf_digest_id)
{
    return zpki::pkcs5::pbes2Decrypt(in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len, iv,
                                     iv_len, cipher_id, prf_digest_id);
}

}  // extern "C"

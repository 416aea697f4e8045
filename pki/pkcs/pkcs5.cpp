#include <zunPKI/pkcs/pkcs5.h>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/convert.hpp"
#include "asn1/pki_buffer.hpp"
#include <zunPKI/pkcs/pkcs12_kdf.h>
#include "pkcs/pkcs_codecs.hpp"
#include "pkcs/pkcs5_internal.hpp"
#include "asn1/secret.hpp"

#include <zunCrypto/zunCrypto.h>

#include <cstring>
#include <string_view>

namespace zpki::pkcs5 {
namespace {

constexpr int kSha1 = VSC_DIGEST_SHA1;
// The KISA variant's IV mode 0: the first block-length bytes of this text.
constexpr char kKisaFixedIv[] = "4917260358143729";
constexpr size_t kMaxKey = 64, kMaxIv = 16;

PKI_ERROR err(unsigned libFunc, unsigned reason) { return PKI_ERR(libFunc, 0, reason); }

// What every primitive needs: password, salt, a positive iteration count.
// PKCS#12 contents may be protected by an empty password (mayBeEmpty), and
// a null one is then a password of no octets at all; bmp, when set, is the
// BMPString the PKCS#12 derivation uses instead of widening each byte.
struct Password {
    const char* pw;
    int pwLen;
    const unsigned char* salt;
    int saltLen;
    int iterations;
    bool mayBeEmpty = false;
    const unsigned char* bmp = nullptr;
    int bmpLen = 0;
    bool missing() const {
        const bool noPassword = mayBeEmpty ? pwLen < 0 || (pw == nullptr && pwLen > 0) : pw == nullptr || pwLen <= 0;
        return noPassword || salt == nullptr || saltLen <= 0 || iterations <= 0;
    }
    bool tooManyRounds() const { return iterations > PKCS5_MAX_ITERATIONS; }
};

bool dataMissing(const unsigned char* in, int inLen, const unsigned char* out, const int* outLen) {
    return in == nullptr || inLen <= 0 || out == nullptr || outLen == nullptr;
}

// One pass of the block cipher into a scratch buffer, then into out when it
// fits the room *outLen gives. Crypto errors pass through.
PKI_ERROR cipherInto(int cipherId, bool encrypt, const unsigned char* key, const unsigned char* iv,
                     const unsigned char* in, int inLen, unsigned char* out, int* outLen, unsigned libFunc) {
    const int block = VSC_Get_Block_Length(cipherId);
    if (block <= 0) return err(libFunc, ERR_R_INVALID_ELEMENT);
    auto scratch = Buffer::allocate(static_cast<size_t>(inLen) + static_cast<size_t>(block));
    if (!scratch) return err(libFunc, ERR_R_ALLOC);
    int n = 0;
    if (int rc = VSC_BLOCK_CIPHER(cipherId, encrypt ? 1 : 0, key, iv, in, inLen, scratch.data(), &n); rc != VSC_OK)
        return rc;
    if (n > *outLen) return err(libFunc, ERR_R_INVALID_ELEMENT);
    std::memcpy(out, scratch.data(), static_cast<size_t>(n));
    *outLen = n;
    return PKI_SUCCESS;
}

PKI_ERROR rc4Into(const unsigned char* key, int keyLen, const unsigned char* in, int inLen, unsigned char* out,
                  int* outLen, unsigned libFunc) {
    if (inLen > *outLen) return err(libFunc, ERR_R_INVALID_ELEMENT);
    Owned<RC4_UNIT, VSC_Free_RC4_Unit> rc4(VSC_New_RC4_Unit());
    if (!rc4) return err(libFunc, ERR_R_ALLOC_3C);
    int rc = VSC_Init_RC4(rc4.get(), key, keyLen);
    if (rc == VSC_OK) rc = VSC_Do_RC4(rc4.get(), in, inLen, out);
    if (rc != VSC_OK) return rc;
    *outLen = inLen;
    return PKI_SUCCESS;
}

// The block cipher of a scheme that always runs in CBC mode.
int cbcOf(int cipherId) { return VSC_CIPHER_ALG(cipherId) | VSC_CIPHER_MODE_CBC; }

PKI_ERROR pbkdf1(const Password& s, int digestId, unsigned char* out, int outLen, unsigned libFunc) {
    if (s.missing() || out == nullptr || outLen <= 0) return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId);
    if (hLen <= 0 || outLen > hLen || s.tooManyRounds()) return err(libFunc, ERR_R_INVALID_ELEMENT);
    DigestUnit unit(VSC_New_DIGEST_Unit());
    if (!unit) return err(libFunc, ERR_R_ALLOC_3C);
    Secret<VSC_MAX_DIGEST_LENGTH> t;
    int rc = VSC_Init_DIGEST(unit.get(), digestId);
    if (rc == VSC_OK) rc = VSC_Update_DIGEST(unit.get(), reinterpret_cast<const unsigned char*>(s.pw), s.pwLen);
    if (rc == VSC_OK) rc = VSC_Update_DIGEST(unit.get(), s.salt, s.saltLen);
    if (rc == VSC_OK) rc = VSC_Final_DIGEST(unit.get(), t.data(), nullptr);
    for (int i = 1; rc == VSC_OK && i < s.iterations; ++i) {
        rc = VSC_Update_DIGEST(unit.get(), t.data(), hLen);
        if (rc == VSC_OK) rc = VSC_Final_DIGEST(unit.get(), t.data(), nullptr);
    }
    if (rc != VSC_OK) return rc;
    std::memcpy(out, t.data(), static_cast<size_t>(outLen));
    return PKI_SUCCESS;
}

PKI_ERROR pbkdf2(const Password& s, int digestId, unsigned char* out, int outLen, unsigned libFunc) {
    if (s.missing() || out == nullptr || outLen <= 0) return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId & ~VSC_HMAC_FLAG);
    if (hLen <= 0 || s.tooManyRounds()) return err(libFunc, ERR_R_INVALID_ELEMENT);
    HmacUnit prf(VSC_New_HMAC_Unit());
    if (!prf) return err(libFunc, ERR_R_ALLOC_3C);
    int rc = VSC_Init_HMAC(prf.get(), digestId, reinterpret_cast<const unsigned char*>(s.pw), s.pwLen);
    Secret<VSC_MAX_DIGEST_LENGTH> u, t;
    // Counted in 64 bits: outLen near INT_MAX must not wrap.
    const auto blocks = static_cast<unsigned>((static_cast<long long>(outLen) + hLen - 1) / hLen);
    for (unsigned i = 1; rc == VSC_OK && i <= blocks; ++i) {
        // U1 = PRF(P, S || INT(i)); Uj = PRF(P, Uj-1); T = U1 ^ ... ^ Uc.
        // The salt and the counter go in apart: a salt near INT_MAX has no
        // room for four more bytes in an int length.
        const unsigned char counter[4] = {static_cast<unsigned char>(i >> 24), static_cast<unsigned char>(i >> 16),
                                          static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)};
        rc = VSC_Update_HMAC(prf.get(), s.salt, s.saltLen);
        if (rc == VSC_OK) rc = VSC_Update_HMAC(prf.get(), counter, 4);
        if (rc == VSC_OK) rc = VSC_Final_HMAC(prf.get(), u.data(), nullptr);
        std::memcpy(t.data(), u.data(), static_cast<size_t>(hLen));
        for (int j = 1; rc == VSC_OK && j < s.iterations; ++j) {
            rc = VSC_Update_HMAC(prf.get(), u.data(), hLen);
            if (rc == VSC_OK) rc = VSC_Final_HMAC(prf.get(), u.data(), nullptr);
            for (int k = 0; k < hLen; ++k) t.data()[k] ^= u.data()[k];
        }
        if (rc != VSC_OK) break;
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
                int cipherId, int digestId) {
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENCRYPT_PBES1 : F_DECRYPT_PBES1);
    if (dataMissing(in, inLen, out, outLen) || s.missing()) return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int hLen = VSC_Get_DIGEST_Length(digestId);
    if (VSC_Get_Key_Length(cipherId) != 8 || VSC_Get_IV_Length(cipherId) != 8 || hLen < 16 || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    Secret<VSC_MAX_DIGEST_LENGTH> dk;
    if (PKI_ERROR rc = pbkdf1(s, digestId, dk.data(), hLen, L_PKCS5 | F_PBKDF1); rc != PKI_SUCCESS) return rc;
    return cipherInto(cipherId, encrypt, dk.data(), dk.data() + 8, in, inLen, out, outLen, libFunc);
}

PKI_ERROR pbes1Kisa(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out,
                    int* outLen, int cipherId, int digestId, int ivMode) {
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENC_PBES1_KISA : F_DEC_PBES1_KISA);
    if (dataMissing(in, inLen, out, outLen) || s.missing()) return err(libFunc, ERR_R_NULL_ARGUMENT);
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
        if (VSC_Get_DIGEST_Length(ivDigest) < block) return err(libFunc, ERR_R_INVALID_ELEMENT);
        DigestUnit unit(VSC_New_DIGEST_Unit());
        if (!unit) return err(libFunc, ERR_R_ALLOC_3C);
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
                        int* outLen, int cipherId, int keyLen, unsigned libFunc) {
    if (dataMissing(in, inLen, out, outLen) || s.missing()) return err(libFunc, ERR_R_NULL_ARGUMENT);
    const int ivLen = cipherId != 0 ? VSC_Get_IV_Length(cipherId) : 0;
    if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey || ivLen < 0 || static_cast<size_t>(ivLen) > kMaxIv ||
        (cipherId != 0 && VSC_Get_Block_Length(cipherId) <= 0) || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    DigestUnit sha1(VSC_New_DIGEST_Unit());
    if (!sha1 || VSC_Init_DIGEST(sha1.get(), kSha1) != VSC_OK) return err(libFunc, ERR_R_ALLOC_3C);
    const PbePassword pw{s.pw, s.pwLen, s.bmp, s.bmpLen};
    auto derive = [&](int id, int n, unsigned char* out) {
        return pkcs12Key(pw, s.salt, s.saltLen, id, s.iterations, n, out, sha1.get());
    };
    Secret<kMaxKey> key;
    Secret<kMaxIv> iv;
    if (derive(PKCS12_KEY_ID, keyLen, key.data()) != 0 || (ivLen > 0 && derive(PKCS12_IV_ID, ivLen, iv.data()) != 0))
        return err(libFunc, ERR_R_ALLOC);
    if (cipherId == 0) return rc4Into(key.data(), keyLen, in, inLen, out, outLen, libFunc);
    return cipherInto(cipherId, encrypt, key.data(), iv.data(), in, inLen, out, outLen, libFunc);
}

PKI_ERROR pbes1Gpki(bool encrypt, const unsigned char* in, int inLen, const Password& s, unsigned char* out,
                    int* outLen, int cipherId) {
    const unsigned libFunc = L_PKCS5 | (encrypt ? F_ENC_PBES1_GPKI : F_DEC_PBES1_GPKI);
    const int cipher = cbcOf(cipherId);
    const int keyLen = VSC_Get_Key_Length(cipher);
    if (keyLen <= 0 && !dataMissing(in, inLen, out, outLen) && !s.missing()) return err(libFunc, ERR_R_INVALID_ELEMENT);
    return pkcs12Derived(encrypt, in, inLen, s, out, outLen, cipher, keyLen, libFunc);
}

PKI_ERROR pbes2Key(const Password& s, int cipherId, int prfDigestId, Secret<kMaxKey>& key, int& ivLen,
                   unsigned libFunc) {
    const int keyLen = VSC_Get_Key_Length(cipherId);
    ivLen = VSC_Get_IV_Length(cipherId);
    if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey || ivLen <= 0 || static_cast<size_t>(ivLen) > kMaxIv ||
        VSC_Get_DIGEST_Length(prfDigestId & ~VSC_HMAC_FLAG) <= 0 || s.tooManyRounds())
        return err(libFunc, ERR_R_INVALID_ELEMENT);
    return pbkdf2(s, prfDigestId, key.data(), keyLen, L_PKCS5 | F_PBKDF2);
}

PKI_ERROR pbes2Encrypt(const unsigned char* in, int inLen, const Password& s, unsigned char* out, int* outLen,
                       unsigned char** iv, int* ivLen, int cipherId, int prfDigestId) {
    const unsigned libFunc = L_PKCS5 | F_ENCRYPT_PBES2;
    if (dataMissing(in, inLen, out, outLen) || s.missing() || iv == nullptr || ivLen == nullptr)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    Secret<kMaxKey> key;
    int wantIv = 0;
    if (PKI_ERROR rc = pbes2Key(s, cipherId, prfDigestId, key, wantIv, libFunc); rc != PKI_SUCCESS) return rc;
    const bool given = *iv != nullptr && *ivLen > 0;
    if (given && *ivLen != wantIv) return err(libFunc, ERR_R_INVALID_ELEMENT);
    VscPtr<unsigned char> made;
    if (!given) {
        made.reset(static_cast<unsigned char*>(PKI_MALLOC(static_cast<size_t>(wantIv))));
        if (!made) return err(libFunc, ERR_R_ALLOC);
        if (int rc = VSC_Rand_Bytes(made.get(), wantIv); rc != VSC_OK) return rc;
    }
    PKI_ERROR rc = cipherInto(cipherId, true, key.data(), given ? *iv : made.get(), in, inLen, out, outLen, libFunc);
    if (rc == PKI_SUCCESS && !given) {
        *iv = made.release();
        *ivLen = wantIv;
    }
    return rc;
}

PKI_ERROR pbes2Decrypt(const unsigned char* in, int inLen, const Password& s, unsigned char* out, int* outLen,
                       const unsigned char* iv, int ivLen, int cipherId, int prfDigestId) {
    const unsigned libFunc = L_PKCS5 | F_DECRYPT_PBES2;
    if (dataMissing(in, inLen, out, outLen) || s.missing() || iv == nullptr || ivLen <= 0)
        return err(libFunc, ERR_R_NULL_ARGUMENT);
    Secret<kMaxKey> key;
    int wantIv = 0;
    if (PKI_ERROR rc = pbes2Key(s, cipherId, prfDigestId, key, wantIv, libFunc); rc != PKI_SUCCESS) return rc;
    if (ivLen != wantIv) return err(libFunc, ERR_R_INVALID_ELEMENT);
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

int pkcs12Key(const PbePassword& pw, const unsigned char* salt, int saltLen, int id, int iterations, int n,
              unsigned char* out, DIGEST_UNIT* digest) {
    if (pw.bmp != nullptr) return get_PKCS12_key_UNI(pw.bmp, pw.bmpLen, salt, saltLen, id, iterations, n, out, digest);
    return gen_PKCS12_key_ASC(pw.pw, pw.len, salt, saltLen, id, iterations, n, out, digest);
}

Buffer utf16Password(const PbePassword& pw, int& len) {
    len = 0;
    std::string_view text(pw.pw ? pw.pw : "", static_cast<size_t>(pw.len));
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    unsigned char* out = nullptr;
    if (ascii || (len = zpki::text::utf8ToUtf16(text, &out), !out)) return {};
    Buffer units = Buffer::adopt(out, len);
    Buffer withEnd = Buffer::allocate(static_cast<size_t>(len) + 2);
    if (!withEnd) return {};
    std::memcpy(withEnd.data(), units.data(), static_cast<size_t>(len));
    len += 2;
    return withEnd;
}

int iterationsOf(const BIGINT* count) {
    BigInt zero(VSC_New_BIGINT());
    if (!zero || count == nullptr || VSC_Cmp_BIGINT(count, zero.get()) <= 0 || VSC_Get_BIGINT_Bits_Length(count) > 31)
        return 0;
    const unsigned long n = VSC_Get_BIGINT_Word(count);
    return n <= PKCS5_MAX_ITERATIONS ? static_cast<int>(n) : 0;
}

const Pkcs12Pbe* pkcs12PbeOfRow(int row) {
    for (const auto& p : kPkcs12Pbes)
        if (p.row == row) return &p;
    return nullptr;
}

}  // namespace zpki::pkcs5

extern "C" {

PKI_ERROR PBKDF1(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                 int digest_id, unsigned char* out, int out_len) {
    return zpki::pkcs5::pbkdf1({password, pw_len, salt, salt_len, iterations}, digest_id, out, out_len,
                               L_PKCS5 | F_PBKDF1);
}

PKI_ERROR PBKDF2(const char* password, int pw_len, const unsigned char* salt, int salt_len, int iterations,
                 int digest_id, unsigned char* out, int out_len) {
    return zpki::pkcs5::pbkdf2({password, pw_len, salt, salt_len, iterations}, digest_id, out, out_len,
                               L_PKCS5 | F_PBKDF2);
}

PKI_ERROR encrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        int cipher_id, int digest_id) {
    return zpki::pkcs5::pbes1(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len, cipher_id,
                              digest_id);
}

PKI_ERROR decrypt_PBES1(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        int cipher_id, int digest_id) {
    return zpki::pkcs5::pbes1(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                              cipher_id, digest_id);
}

PKI_ERROR encrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                             int cipher_id, int digest_id, int iv_mode) {
    return zpki::pkcs5::pbes1Kisa(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id, digest_id, iv_mode);
}

PKI_ERROR decrypt_PBES1_KISA(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                             int cipher_id, int digest_id, int iv_mode) {
    return zpki::pkcs5::pbes1Kisa(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id, digest_id, iv_mode);
}

PKI_ERROR encrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                             int cipher_id, int /*digest_id*/) {
    return zpki::pkcs5::pbes1Gpki(true, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id);
}

PKI_ERROR decrypt_PBES1_GPKI(const unsigned char* in, int in_len, const char* password, int pw_len,
                             const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                             int cipher_id, int /*digest_id*/) {
    return zpki::pkcs5::pbes1Gpki(false, in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len,
                                  cipher_id);
}

PKI_ERROR encrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        unsigned char** iv, int* iv_len, int cipher_id, int prf_digest_id) {
    return zpki::pkcs5::pbes2Encrypt(in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len, iv,
                                     iv_len, cipher_id, prf_digest_id);
}

PKI_ERROR decrypt_PBES2(const unsigned char* in, int in_len, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, unsigned char* out, int* out_len,
                        const unsigned char* iv, int iv_len, int cipher_id, int prf_digest_id) {
    return zpki::pkcs5::pbes2Decrypt(in, in_len, {password, pw_len, salt, salt_len, iterations}, out, out_len, iv,
                                     iv_len, cipher_id, prf_digest_id);
}

}  // extern "C"

// ---- Private keys ----------------------------------------------------------

namespace zpki::pkcs5 {
namespace {

constexpr int kRowPbes2 = 161;
constexpr int kRowGpki = 793;
constexpr PKI_ERROR kEncUnsupported = PKI_ERR(L_PKCS5, F_ENC_PKCS5, ERR_NOT_FOUNDED);
constexpr PKI_ERROR kDecUnsupported = PKI_ERR(L_PKCS5, F_DEC_PKCS5, ERR_NOT_FOUNDED);

enum class Kind { Kisa, Gpki, Pkcs12, Pbes1, Pbes2 };

// A scheme with everything its primitive needs.
struct Scheme {
    Kind kind = Kind::Pbes2;
    int row = 0;  // the algorithm written or read
    int cipher = 0;
    int digest = 0;  // PBKDF1's digest, or PBKDF2's PRF
    int ivMode = 0;
    const Pkcs12Pbe* pkcs12 = nullptr;
    int schemeRow = 0;  // PBES2: the cipher's row written in the scheme
};

// PBKDF2 PRFs by their identifiers, which the table has no rows for.
struct Prf {
    int digest;
    const char* oid;
};
constexpr Prf kPrfs[] = {
    {VSC_DIGEST_SHA1, "1.2.840.113549.2.7"},    {VSC_DIGEST_SHA224, "1.2.840.113549.2.8"},
    {VSC_DIGEST_SHA256, "1.2.840.113549.2.9"},  {VSC_DIGEST_SHA384, "1.2.840.113549.2.10"},
    {VSC_DIGEST_SHA512, "1.2.840.113549.2.11"},
};

bool sameOid(const OBJECT_IDENTIFIER* oid, const char* text) {
    return oid != nullptr && oid->data != nullptr && static_cast<size_t>(oid->length) == std::strlen(text) &&
           std::memcmp(oid->data, text, static_cast<size_t>(oid->length)) == 0;
}

const Prf* prfOfDigest(int digest) {
    for (const auto& p : kPrfs)
        if (p.digest == digest) return &p;
    return nullptr;
}

bool isDesPbe(int row) {
    return get_AlgorType_from_OID(row) == OID_ALGOR_PBE && VSC_CIPHER_ALG(get_CipherID_from_OID(row)) == VSC_CIPHER_DES;
}

int digestOr(int row, int fallback) {
    const int d = get_DigestID_from_OID(row);
    return d != 0 ? d : fallback;
}

// The schemes that are one row each, both ways.
bool fixedScheme(int row, Scheme& s) {
    s.row = row;
    s.cipher = get_CipherID_from_OID(row);
    switch (row) {
        case 777:
            s.kind = Kind::Kisa, s.digest = kSha1, s.ivMode = PBES1_KISA_IV_FIXED;
            return true;
        case 780:
        case 828:
            s.kind = Kind::Kisa, s.digest = digestOr(row, kSha1), s.ivMode = PBES1_KISA_IV_DIGEST;
            return true;
        case 793:
            s.kind = Kind::Gpki, s.digest = kSha1;
            return true;
        default:
            break;
    }
    if ((s.pkcs12 = pkcs12PbeOfRow(row)) != nullptr) {
        s.kind = Kind::Pkcs12;
        return true;
    }
    if (isDesPbe(row)) {
        // Each PBES1 row names its digest; MD2 (row 9) is not on offer.
        s.kind = Kind::Pbes1, s.digest = get_DigestID_from_OID(row);
        return true;
    }
    return false;
}

// PBES2 with the cipher and digest of cipherRow; the scheme names the plain
// cipher's row when cipherRow is a PBE row.
PKI_ERROR pbes2Scheme(int cipherRow, Scheme& s) {
    s.kind = Kind::Pbes2;
    s.row = kRowPbes2;
    s.cipher = get_CipherID_from_OID(cipherRow);
    s.digest = digestOr(cipherRow, kSha1);
    s.schemeRow = get_AlgorType_from_OID(cipherRow) == OID_ALGOR_CIPHER ? cipherRow : get_OID_from_CipherID(s.cipher);
    if (s.cipher == 0 || VSC_CIPHER_MODE(s.cipher) != VSC_CIPHER_MODE_CBC || s.schemeRow == 0 ||
        prfOfDigest(s.digest) == nullptr)
        return kEncUnsupported;
    return PKI_SUCCESS;
}

// prf (the _prf form, PBES2 only): HMAC over that digest in place of the
// cipher row's; 0 keeps the row's.
PKI_ERROR schemeForWriting(int pbeRow, int cipherRow, bool ex, int prf, Scheme& s) {
    if (fixedScheme(pbeRow, s)) return s.kind == Kind::Pbes1 && s.digest == 0 ? kEncUnsupported : PKI_SUCCESS;
    if (!ex) return pbes2Scheme(pbeRow, s);
    if (pbeRow != kRowPbes2) return kEncUnsupported;
    if (PKI_ERROR rc = pbes2Scheme(cipherRow, s); rc != PKI_SUCCESS) return rc;
    if (prf == 0) return PKI_SUCCESS;
    if (prfOfDigest(prf) == nullptr) return kEncUnsupported;
    s.digest = prf;
    return PKI_SUCCESS;
}

// The count as the big-endian bytes its value needs.
int countBytes(int iterations, unsigned char out[4]) {
    int n = 0;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (n > 0 || (iterations >> shift) != 0 || shift == 0)
            out[n++] = static_cast<unsigned char>(iterations >> shift);
    return n;
}

PKI_ERROR runScheme(const Scheme& s, bool encrypt, const Password& pw, const unsigned char* in, int inLen,
                    unsigned char* out, int* outLen, unsigned char** iv, int* ivLen) {
    switch (s.kind) {
        case Kind::Kisa:
            return pbes1Kisa(encrypt, in, inLen, pw, out, outLen, s.cipher, s.digest, s.ivMode);
        case Kind::Gpki:
            return pbes1Gpki(encrypt, in, inLen, pw, out, outLen, s.cipher);
        case Kind::Pkcs12:
            return pkcs12Derived(encrypt, in, inLen, pw, out, outLen, s.pkcs12->cipherId, s.pkcs12->keyLength,
                                 L_PKCS5 | (encrypt ? F_ENC_PBE_PKCS12 : F_DEC_PBE_PKCS12));
        case Kind::Pbes1:
            return pbes1(encrypt, in, inLen, pw, out, outLen, s.cipher, s.digest);
        case Kind::Pbes2:
            if (encrypt) return pbes2Encrypt(in, inLen, pw, out, outLen, iv, ivLen, s.cipher, s.digest);
            return pbes2Decrypt(in, inLen, pw, out, outLen, *iv, *ivLen, s.cipher, s.digest);
    }
    return kEncUnsupported;
}

using Pkcs8Ptr = Owned<PKCS8, free_PKCS8>;
using ParamPtr = Owned<P5_PBE_PARAM, free_P5_PBE_PARAM>;
using InfoPtr = Owned<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>;
using OidPtr = Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER>;
using StringPtr = Owned<ASN1_STRING, free_ASN1_STRING>;

// The PBE parameters written for a scheme.
PKI_ERROR fillParams(const Scheme& s, const unsigned char* salt, int saltLen, int iterations, const unsigned char* iv,
                     int ivLen, P5_PBE_PARAM& param) {
    constexpr PKI_ERROR failed = PKI_ERR(L_PKCS5, F_ENC_PKCS5, ERR_R_WRITE_FAILED);
    unsigned char count[4];
    const int countLen = countBytes(iterations, count);
    if (s.kind != Kind::Pbes2)
        return set_P5_PBE_PARAM(&param, salt, saltLen, count, countLen, nullptr, nullptr) == 0 ? PKI_SUCCESS : failed;
    OidPtr schemeOid(index_to_OBJECT_IDENTIFIER(s.schemeRow));
    StringPtr ivString(new_ASN1_STRING());
    if (!schemeOid || !ivString || set_ASN1_STRING_value(ivString.get(), ASN1_TAG_OCTET_STRING, iv, ivLen) != 0)
        return PKI_ERR(L_PKCS5, F_ENC_PKCS5, ERR_R_ALLOC_3C);
    if (set_P5_PBE_PARAM(&param, salt, saltLen, count, countLen, schemeOid.get(), ivString.get()) != 0) return failed;
    if (s.digest != kSha1) {
        // hmacWithSHA1 is the default and left out; any other PRF is named.
        OidPtr prfOid(new_OBJECT_IDENTIFIER(prfOfDigest(s.digest)->oid,
                                            static_cast<int>(std::strlen(prfOfDigest(s.digest)->oid))));
        param.prf = new_X509_ALGO_IDENTIFIER();
        if (!prfOid || !param.prf || set_X509_ALGO_IDENTIFIER_value(param.prf, prfOid.get(), nullptr) != 0)
            return failed;
    }
    return PKI_SUCCESS;
}

// Encrypts in under the scheme of pbeRow (cipherRow for encrypt_PKCS5_ex)
// into a new PKCS8: algorithm, parameters and ciphertext. Without a salt, 8
// random bytes.
PKI_ERROR sealBytesAs(int pbeRow, int cipherRow, bool ex, int prf, Password pw, const unsigned char* in, int inLen,
                      Pkcs8Ptr& made) {
    constexpr unsigned LF = L_PKCS5 | F_ENC_PKCS5;
    if (in == nullptr || inLen <= 0 || pw.iterations <= 0) return err(LF, ERR_R_NULL_ARGUMENT);
    if (pw.tooManyRounds()) return err(LF, ERR_R_INVALID_ELEMENT);
    Scheme s;
    if (PKI_ERROR rc = schemeForWriting(pbeRow, cipherRow, ex, prf, s); rc != PKI_SUCCESS) return rc;

    unsigned char drawn[8];
    if (pw.salt == nullptr || pw.saltLen <= 0) {
        if (int rc = VSC_Rand_Bytes(drawn, sizeof drawn); rc != VSC_OK) return rc;
        pw.salt = drawn, pw.saltLen = sizeof drawn;
    }
    auto sealed = Buffer::allocate(static_cast<size_t>(inLen) + 32);
    if (!sealed) return err(LF, ERR_R_ALLOC);
    int sealedLen = inLen + 32;
    VscPtr<unsigned char> iv;
    unsigned char* ivOut = nullptr;
    int ivLen = 0;
    if (PKI_ERROR rc = runScheme(s, true, pw, in, inLen, sealed.data(), &sealedLen, &ivOut, &ivLen); rc != PKI_SUCCESS)
        return rc;
    iv.reset(ivOut);

    Pkcs8Ptr p8(new_PKCS8());
    ParamPtr param(new_P5_PBE_PARAM());
    OidPtr algorithm(index_to_OBJECT_IDENTIFIER(s.row));
    if (!p8 || !param || !algorithm) return err(LF, ERR_R_ALLOC_3C);
    p8->kind = s.kind == Kind::Kisa ? PKCS8_KIND_KISA : s.kind == Kind::Pbes1 ? PKCS8_KIND_PBES1 : PKCS8_KIND_OTHER;
    if (set_OID_PKCS8(p8.get(), algorithm.get()) != 0 ||
        set_encryptedData_PKCS8(p8.get(), sealed.data(), sealedLen) != 0)
        return err(LF, ERR_R_WRITE_FAILED);
    if (PKI_ERROR rc = fillParams(s, pw.salt, pw.saltLen, pw.iterations, iv.get(), ivLen, *param); rc != PKI_SUCCESS)
        return rc;
    if (set_PKCS8_P5_PBE_PARAM(p8.get(), param.get()) != 0) return err(LF, ERR_R_WRITE_FAILED);
    made = std::move(p8);
    return PKI_SUCCESS;
}

PKI_ERROR encryptKey(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pwLen,
                     const unsigned char* salt, int saltLen, int iterations, int pbeRow, int cipherRow, bool ex,
                     int prf) {
    constexpr unsigned LF = L_PKCS5 | F_ENC_PKCS5;
    if (key == nullptr || out == nullptr || password == nullptr || pwLen <= 0 || iterations <= 0)
        return err(LF, ERR_R_NULL_ARGUMENT);
    if (iterations > PKCS5_MAX_ITERATIONS) return err(LF, ERR_R_INVALID_ELEMENT);
    Scheme s;
    if (PKI_ERROR rc = schemeForWriting(pbeRow, cipherRow, ex, prf, s); rc != PKI_SUCCESS) return rc;
    int derLen = -1;
    Buffer der = pkcs::derOf<P8_PRIV_KEY_INFO>(key, P8_PRIV_KEY_INFO_to_Seq, derLen);
    if (!der) {
        ASN1_UNIT* node = nullptr;
        PKI_ERROR rc = P8_PRIV_KEY_INFO_to_Seq(key, &node);
        free_ASN1_UNIT(node);
        return rc != PKI_SUCCESS ? rc : err(LF, ERR_R_ALLOC);
    }
    Pkcs8Ptr p8;
    if (PKI_ERROR rc = sealBytesAs(pbeRow, cipherRow, ex, prf, {password, pwLen, salt, saltLen, iterations}, der.data(),
                                   derLen, p8);
        rc != PKI_SUCCESS)
        return rc;
    pkcs::deliver<clean_PKCS8>(p8, out);
    return PKI_SUCCESS;
}

// The scheme of an encrypted key and, for PBES2, its IV.
PKI_ERROR schemeForReading(const PKCS8& enc, const P5_PBE_PARAM& param, Scheme& s, const unsigned char*& iv,
                           int& ivLen) {
    constexpr unsigned LF = L_PKCS5 | F_DEC_PKCS5;
    const int row = index_from_OBJECT_IDENTIFIER(get_OID_PKCS8(&enc));
    if (row != kRowPbes2) {
        if (!fixedScheme(row, s) || (s.kind == Kind::Pbes1 && s.digest == 0)) return kDecUnsupported;
        return param.scheme == nullptr ? PKI_SUCCESS : err(LF, ERR_R_INVALID_ELEMENT);
    }
    const X509_ALGO_IDENTIFIER* scheme = param.scheme;
    if (scheme == nullptr || scheme->algorithm == nullptr) return err(LF, ERR_R_INVALID_ELEMENT);
    s.kind = Kind::Pbes2;
    s.row = row;
    s.schemeRow = index_from_OBJECT_IDENTIFIER(scheme->algorithm);
    s.cipher = get_CipherID_from_OID(s.schemeRow);
    if (const int named = cipherOfUnlistedOid(scheme->algorithm)) s.cipher = named;
    if (s.cipher == 0 || VSC_CIPHER_MODE(s.cipher) != VSC_CIPHER_MODE_CBC) return kDecUnsupported;
    // Without a PRF, keys of this system's own rows (pbeWithSHA256AndARIA
    // ...) used the row's digest; every standard cipher row has none and
    // takes the default, hmacWithSHA1.
    s.digest = digestOr(s.schemeRow, kSha1);
    if (param.prf != nullptr) {
        s.digest = 0;
        for (const auto& p : kPrfs)
            if (sameOid(param.prf->algorithm, p.oid)) s.digest = p.digest;
        if (s.digest == 0) return kDecUnsupported;
    }
    if (param.keyLength != nullptr &&
        (VSC_Get_BIGINT_Bits_Length(param.keyLength) > 16 ||
         static_cast<int>(VSC_Get_BIGINT_Word(param.keyLength)) != VSC_Get_Key_Length(s.cipher)))
        return err(LF, ERR_R_INVALID_ELEMENT);
    // The IV is the scheme's OCTET STRING parameter.
    const ASN1_STRING* p = scheme->parameters;
    if (p == nullptr || p->type != ASN1_TAG_OCTET_STRING || p->length != VSC_Get_IV_Length(s.cipher))
        return err(LF, ERR_R_INVALID_ELEMENT);
    iv = p->data;
    ivLen = p->length;
    return PKI_SUCCESS;
}

// Decrypts enc's data under its algorithm into plain (plainLen bytes). The
// cipher's result passes through: a wrong password usually shows as
// VSC_FAIL (bad padding).
PKI_ERROR openBytesAs(const PKCS8& enc, Password pw, Buffer& plain, int& plainLen) {
    constexpr unsigned LF = L_PKCS5 | F_DEC_PKCS5;
    ParamPtr param(get_PKCS8_P5_PBE_PARAM(&enc));
    if (!param) return err(LF, ERR_ASN1_DECODING);
    // A count beyond the bound is refused before any work is done.
    const ASN1_STRING* salt = param->salt;
    const int iterations = iterationsOf(param->iterationCount);
    if (iterations <= 0 || salt == nullptr || salt->length <= 0) return err(LF, ERR_R_INVALID_ELEMENT);
    const OCTET_STRING* sealed = enc.encryptedData;
    if (sealed == nullptr || sealed->length <= 0) return err(LF, ERR_R_INVALID_ELEMENT);

    Scheme s;
    const unsigned char* iv = nullptr;
    int ivLen = 0;
    if (PKI_ERROR rc = schemeForReading(enc, *param, s, iv, ivLen); rc != PKI_SUCCESS) return rc;
    plain = Buffer::allocate(static_cast<size_t>(sealed->length));
    if (!plain) return err(LF, ERR_R_ALLOC);
    plainLen = sealed->length;
    unsigned char* ivIn = const_cast<unsigned char*>(iv);
    pw.salt = salt->data, pw.saltLen = salt->length, pw.iterations = iterations;
    return runScheme(s, false, pw, sealed->data, sealed->length, plain.data(), &plainLen, &ivIn, &ivLen);
}

// A wrong key shows as bad padding, or as bytes that are no key.
bool wrongKey(PKI_ERROR rc, const Buffer& plain, int plainLen) {
    return rc == VSC_FAIL || (rc == PKI_SUCCESS && !pkcs::isOneSequence(plain.data(), static_cast<size_t>(plainLen)));
}

// openBytesAs, and once more when the PKCS#12 derivation took a password
// that is not ASCII byte by byte and gave no key: other tools derive from
// its UTF-16 form.
PKI_ERROR openAnyForm(const PKCS8& enc, Password pw, Buffer& plain, int& plainLen) {
    PKI_ERROR rc = openBytesAs(enc, pw, plain, plainLen);
    const int row = index_from_OBJECT_IDENTIFIER(get_OID_PKCS8(&enc));
    if (!wrongKey(rc, plain, plainLen) || pw.bmp != nullptr || (pkcs12PbeOfRow(row) == nullptr && row != kRowGpki))
        return rc;
    int bmpLen = 0;
    const Buffer bmp = utf16Password({pw.pw, pw.pwLen}, bmpLen);
    if (!bmp) return rc;
    pw.bmp = bmp.data(), pw.bmpLen = bmpLen;
    return openBytesAs(enc, pw, plain, plainLen);
}

PKI_ERROR decryptKey(const PKCS8* enc, P8_PRIV_KEY_INFO** out, const char* password, int pwLen) {
    constexpr unsigned LF = L_PKCS5 | F_DEC_PKCS5;
    if (enc == nullptr || out == nullptr || password == nullptr || pwLen <= 0) return err(LF, ERR_R_NULL_ARGUMENT);
    Buffer plain;
    int plainLen = 0;
    PKI_ERROR rc = openAnyForm(*enc, {password, pwLen, nullptr, 0, 0}, plain, plainLen);
    if (wrongKey(rc, plain, plainLen)) return err(LF, ERR_PKCS5_KDF_OR_PLAINTEXT);
    if (rc != PKI_SUCCESS) return rc;
    Owned<ASN1_UNIT, free_ASN1_UNIT> node(decodeToDERSequence(plain.data(), plainLen));
    P8_PRIV_KEY_INFO* made = nullptr;
    rc = node ? Seq_to_P8_PRIV_KEY_INFO(node.get(), &made) : err(LF, ERR_PKCS5_KDF_OR_PLAINTEXT);
    InfoPtr info(made);
    if (rc != PKI_SUCCESS) return rc;
    pkcs::deliver<clean_P8_PRIV_KEY_INFO>(info, out);
    return PKI_SUCCESS;
}

PKI_ERROR schemeOfKey(const PKCS8* enc, int* pbeRow, int* cipherRow, int* prf) {
    constexpr unsigned LF = L_PKCS5 | F_DEC_PKCS5;
    if (enc == nullptr || pbeRow == nullptr || cipherRow == nullptr || prf == nullptr)
        return err(LF, ERR_R_NULL_ARGUMENT);
    ParamPtr param(get_PKCS8_P5_PBE_PARAM(enc));
    if (!param) return err(LF, ERR_ASN1_DECODING);
    Scheme s;
    const unsigned char* iv = nullptr;
    int ivLen = 0;
    if (PKI_ERROR rc = schemeForReading(*enc, *param, s, iv, ivLen); rc != PKI_SUCCESS) return rc;
    *pbeRow = s.row;
    *cipherRow = 0;
    *prf = 0;
    if (s.kind == Kind::Pbes2) {
        // A cipher named by an identifier outside the table is written
        // under the table's row of the same cipher.
        *cipherRow = s.schemeRow > 0 ? s.schemeRow : get_OID_from_CipherID(s.cipher);
        *prf = s.digest;
    }
    return PKI_SUCCESS;
}

Password pkcs12Password(const PbePassword& pw, const unsigned char* salt, int saltLen, int iterations) {
    Password p{pw.pw, pw.len, salt, saltLen, iterations};
    p.mayBeEmpty = true;
    p.bmp = pw.bmp;
    p.bmpLen = pw.bmpLen;
    return p;
}

}  // namespace

int cipherOfUnlistedOid(const OBJECT_IDENTIFIER* oid) {
    // ARIA-CBC under its RFC 5794 identifiers, as openssl writes it.
    static constexpr struct {
        const char* oid;
        int cipher;
    } kCiphers[] = {
        {"1.2.410.200046.1.1.2", VSC_CIPHER_ARIA128_CBC},
        {"1.2.410.200046.1.1.7", VSC_CIPHER_ARIA192 | VSC_CIPHER_MODE_CBC},
        {"1.2.410.200046.1.1.12", VSC_CIPHER_ARIA256 | VSC_CIPHER_MODE_CBC},
    };
    for (const auto& c : kCiphers)
        if (sameOid(oid, c.oid)) return c.cipher;
    return 0;
}

PKI_ERROR sealBytes(int pbeRow, const PbePassword& pw, const unsigned char* salt, int saltLen, int iterations,
                    const unsigned char* in, int inLen, PKCS8** out) {
    Pkcs8Ptr made;
    PKI_ERROR rc = sealBytesAs(pbeRow, 0, false, 0, pkcs12Password(pw, salt, saltLen, iterations), in, inLen, made);
    if (rc == PKI_SUCCESS) *out = made.release();
    return rc;
}

PKI_ERROR openBytes(const PKCS8& enc, const PbePassword& pw, Buffer& plain, int& plainLen) {
    return openAnyForm(enc, pkcs12Password(pw, nullptr, 0, 0), plain, plainLen);
}

}  // namespace zpki::pkcs5

extern "C" {

PKI_ERROR encrypt_PKCS5(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                        const unsigned char* salt, int salt_len, int iterations, int pbe_row) {
    return zpki::pkcs5::encryptKey(key, out, password, pw_len, salt, salt_len, iterations, pbe_row, 0, false, 0);
}

PKI_ERROR encrypt_PKCS5_ex(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                           const unsigned char* salt, int salt_len, int iterations, int pbe_row, int cipher_row) {
    return zpki::pkcs5::encryptKey(key, out, password, pw_len, salt, salt_len, iterations, pbe_row, cipher_row, true,
                                   0);
}

PKI_ERROR encrypt_PKCS5_prf(const P8_PRIV_KEY_INFO* key, PKCS8** out, const char* password, int pw_len,
                            const unsigned char* salt, int salt_len, int iterations, int pbe_row, int cipher_row,
                            int prf_digest_id) {
    return zpki::pkcs5::encryptKey(key, out, password, pw_len, salt, salt_len, iterations, pbe_row, cipher_row, true,
                                   prf_digest_id);
}

PKI_ERROR get_PKCS5_scheme(const PKCS8* enc, int* pbe_row, int* cipher_row, int* prf_digest_id) {
    return zpki::pkcs5::schemeOfKey(enc, pbe_row, cipher_row, prf_digest_id);
}

PKI_ERROR decrypt_PKCS5(const PKCS8* enc, P8_PRIV_KEY_INFO** out, const char* password, int pw_len) {
    return zpki::pkcs5::decryptKey(enc, out, password, pw_len);
}

}  // extern "C"

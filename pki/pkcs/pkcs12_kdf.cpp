#include <zunPKI/pkcs/pkcs12_kdf.h>

#include "asn1/pki_buffer.hpp"
#include <zunPKI/pkcs/pkcs5.h>
#include "asn1/secret.hpp"

#include <climits>
#include <cstring>

namespace {

// S or P of appendix B.2: the bytes repeated to fill whole v-octet blocks
// (nothing for no bytes).
void fillRepeated(unsigned char* to, size_t total, const unsigned char* from, size_t n) {
    for (size_t i = 0; i < total; ++i) to[i] = from[i % n];
}

size_t roundUp(size_t n, size_t v) { return (n + v - 1) / v * v; }

}  // namespace

extern "C" {

int get_PKCS12_key_UNI(const unsigned char* bmp, int bmp_len, const void* salt, int salt_len, int id, int iterations,
                       int n, void* out, DIGEST_UNIT* digest) {
    if (out == nullptr || n <= 0 || digest == nullptr || digest->alg_id == 0 || bmp_len < 0 ||
        (bmp == nullptr && bmp_len > 0) || salt_len < 0 || (salt == nullptr && salt_len > 0) ||
        iterations > PKCS5_MAX_ITERATIONS || id < 0 || id > 255)
        return 1;
    auto* result = static_cast<unsigned char*>(out);
    std::memset(result, 0, static_cast<size_t>(n));
    // Start the unit afresh: nothing a caller fed it may leak into the key.
    if (VSC_Init_DIGEST(digest, digest->alg_id) != VSC_OK) return 1;
    const size_t v = static_cast<size_t>(digest->block_length);
    const size_t u = static_cast<size_t>(digest->digest_length);
    if (v == 0 || u == 0 || u > VSC_MAX_DIGEST_LENGTH || v > 256) return 1;

    const size_t sLen = roundUp(static_cast<size_t>(salt_len), v);
    const size_t pLen = roundUp(static_cast<size_t>(bmp_len), v);
    // I is digested in one update: past INT_MAX its length would wrap (at
    // 4 GiB to nothing at all, and the key would ignore salt and password).
    if (sLen + pLen > static_cast<size_t>(INT_MAX)) return 1;
    auto I = zpki::Buffer::allocate(sLen + pLen);
    auto D = zpki::Buffer::allocate(v);
    auto B = zpki::Buffer::allocate(v);
    if (!I || !D || !B) return 1;
    std::memset(D.data(), id, v);
    if (salt_len > 0)
        fillRepeated(I.data(), sLen, static_cast<const unsigned char*>(salt), static_cast<size_t>(salt_len));
    if (bmp_len > 0) fillRepeated(I.data() + sLen, pLen, bmp, static_cast<size_t>(bmp_len));

    zpki::Secret<VSC_MAX_DIGEST_LENGTH> A;
    const int rounds = iterations > 1 ? iterations : 1;
    size_t done = 0;
    const size_t want = static_cast<size_t>(n);
    for (;;) {
        int rc = VSC_Update_DIGEST(digest, D.data(), static_cast<int>(v));
        if (rc == VSC_OK && sLen + pLen > 0) rc = VSC_Update_DIGEST(digest, I.data(), static_cast<int>(sLen + pLen));
        if (rc == VSC_OK) rc = VSC_Final_DIGEST(digest, A.data(), nullptr);
        for (int r = 1; rc == VSC_OK && r < rounds; ++r) {
            rc = VSC_Update_DIGEST(digest, A.data(), static_cast<int>(u));
            if (rc == VSC_OK) rc = VSC_Final_DIGEST(digest, A.data(), nullptr);
        }
        if (rc != VSC_OK) {
            zpki::wipe(result, want);
            return 1;
        }
        const size_t take = want - done < u ? want - done : u;
        std::memcpy(result + done, A.data(), take);
        done += take;
        if (done == want) return 0;
        // I_j = (I_j + B + 1) mod 2^(8v) for every v-octet block of I.
        fillRepeated(B.data(), v, A.data(), u);
        for (size_t j = 0; j < sLen + pLen; j += v) {
            unsigned carry = 1;
            for (size_t k = v; k-- > 0;) {
                carry += static_cast<unsigned>(I.data()[j + k]) + B.data()[k];
                I.data()[j + k] = static_cast<unsigned char>(carry);
                carry >>= 8;
            }
        }
    }
}

int gen_PKCS12_key_ASC(const char* password, int len, const void* salt, int salt_len, int id, int iterations, int n,
                       void* out, DIGEST_UNIT* digest) {
    size_t chars = 0;
    if (password != nullptr) chars = len < 0 ? std::strlen(password) : static_cast<size_t>(len);
    if (chars > (0x7fffffff - 2) / 2) return 1;
    // Each octet becomes 00 xx; a non-null password ends with 00 00.
    const size_t bmpLen = password != nullptr ? 2 * chars + 2 : 0;
    auto bmp = zpki::Buffer::allocate(bmpLen);
    if (!bmp) return 1;
    for (size_t i = 0; i < chars; ++i) bmp.data()[2 * i + 1] = static_cast<unsigned char>(password[i]);
    return get_PKCS12_key_UNI(bmp.data(), static_cast<int>(bmpLen), salt, salt_len, id, iterations, n, out, digest);
}

}  // extern "C"

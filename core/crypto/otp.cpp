// One-time passwords: digests folded to 64 bits, chained as RFC 2289 does.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunCore/cipher.h>
#include <zunCore/error.h>
#include <zunCore/script.h>
#include <zunCore/util.h>

#include "util/core_internal.hpp"

namespace {

constexpr int kItem = 8;

constexpr int foldCode(int reason) { return VCL_CORE_CODE(VCL_CAT_OTP_FOLD_HASH_OTP, reason); }
constexpr int chainCode(int reason) { return VCL_CORE_CODE(VCL_CAT_OTP_GEN_OTP_MSG, reason); }

// The items made so far; released unless handed out.
struct Chain {
    std::vector<unsigned char*> items;
    ~Chain() {
        for (unsigned char* p : items) VCL_Free(p, kItem);
    }
};

// The named digest of data folded into out.
int digestAndFold(const char* name, const unsigned char* data, int len, unsigned char* out) {
    unsigned char* digest = nullptr;
    int n = 0;
    if (int rc = VCL_HASH_Data(data, len, &digest, &n, name); rc != 0) return rc;
    const int rc = VCL_OTP_fold_hash(name, digest, n, out);
    VCL_Free(digest, n);
    return rc;
}

}  // namespace

extern "C" {

VCL_API int VCL_OTP_fold_hash(const char* hash_name, const unsigned char* digest, int digest_len, unsigned char* out8) {
    // Shorter digests would leave part of the result unset.
    if (!hash_name || !digest || !out8 || digest_len < kItem) return foldCode(VCL_R_INVALID_PARAM);
    const bool sha1 = strcasecmp(hash_name, "SHA1") == 0;
    if (!sha1 && strcasecmp(hash_name, "MD4") != 0 && strcasecmp(hash_name, "MD5") != 0)
        return foldCode(VCL_R_UNSUPPORTED_NAME);
    unsigned char folded[kItem];
    std::memcpy(folded, digest, kItem);
    for (int i = kItem; i < digest_len; ++i) folded[i % kItem] ^= digest[i];
    if (sha1) {
        // RFC 2289 folds SHA-1 as 32-bit words, least significant byte first.
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 4; ++j) out8[4 * k + 3 - j] = folded[4 * k + j];
    } else {
        std::memcpy(out8, folded, kItem);
    }
    return 0;
}

VCL_API int VCL_OTP_Gen_Message(const unsigned char* first, const unsigned char* second, const char* hash_name,
                                int count, unsigned char*** chain) {
    if (!hash_name || !first || !second || !chain) return chainCode(VCL_R_NULL_PARAM);
    *chain = nullptr;
    if (count <= 0) return chainCode(VCL_R_INVALID_PARAM);
    unsigned char block[32];
    std::memcpy(block, second, 16);
    std::memcpy(block + 16, first, 16);
    Chain made;
    try {
        made.items.reserve(static_cast<size_t>(count));
    } catch (const std::exception&) {
        return chainCode(VCL_R_MALLOC);
    }
    for (int i = 0; i < count; ++i) {
        auto* item = static_cast<unsigned char*>(std::malloc(kItem));
        if (!item) return chainCode(VCL_R_MALLOC);
        made.items.push_back(item);
        const int rc = i == 0 ? digestAndFold(hash_name, block, sizeof block, item)
                              : digestAndFold(hash_name, made.items[static_cast<size_t>(i - 1)], kItem, item);
        if (rc != 0) {
            explicit_bzero(block, sizeof block);
            return rc;
        }
    }
    explicit_bzero(block, sizeof block);
    auto** out = static_cast<unsigned char**>(std::malloc(sizeof(unsigned char*) * static_cast<size_t>(count)));
    if (!out) return chainCode(VCL_R_MALLOC);
    std::memcpy(out, made.items.data(), sizeof(unsigned char*) * static_cast<size_t>(count));
    made.items.clear();
    *chain = out;
    return 0;
}

}  // extern "C"

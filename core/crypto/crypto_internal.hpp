// Helpers shared by the crypto front end, the ciphers and the formats of
// libzunCore: owners of the crypto layer's units, the bounded PEM test.
#pragma once

#include <memory>
#include <string_view>

#include <zunCrypto/zunCrypto.h>

namespace zcore {

template <typename T, void (*Free)(T*)>
struct UnitDeleter {
    void operator()(T* p) const { Free(p); }
};
using CipherUnit = std::unique_ptr<BLOCK_CIPHER_UNIT, UnitDeleter<BLOCK_CIPHER_UNIT, VSC_Free_BLOCK_CIPHER_Unit>>;
using DigestUnit = std::unique_ptr<DIGEST_UNIT, UnitDeleter<DIGEST_UNIT, VSC_Free_DIGEST_Unit>>;
using BigInt = std::unique_ptr<BIGINT, UnitDeleter<BIGINT, VSC_Free_BIGINT>>;

// A buffer of the crypto layer's allocator (also what libzunPKI hands out),
// wiped and released with VSC_Free_Ex.
struct VscFree {
    void operator()(void* p) const { VSC_Free_Ex(p, 0, __FILE_NAME__, __LINE__); }
};
template <typename T>
using VscPtr = std::unique_ptr<T, VscFree>;

// PEM as VCL_COM_is_pem sees it, within the text's own bytes: after leading
// blanks, tabs, CRs and LFs, more than 5 characters beginning with "-----".
bool isPemText(std::string_view text);

// The mode bits of a cipher id, and whether the mode is a stream mode
// (CFB, OFB, CTR) that is never padded.
inline int cipherMode(int id) { return id & VSC_CIPHER_MODE_MASK; }
inline bool isStreamMode(int id) {
    const int m = cipherMode(id);
    return m == VSC_CIPHER_MODE_CFB || m == VSC_CIPHER_MODE_OFB || m == VSC_CIPHER_MODE_CTR;
}

}  // namespace zcore

// Key material on the stack and crypto-layer units owned by a scope. Every
// derived key, IV and intermediate digest of the password-based schemes lives
// in one of these, so it is wiped on every exit path.
#pragma once

#include <zunCrypto/zunCrypto.h>

#include <cstddef>
#include <cstdint>

#include "asn1/pki_mem.hpp"

namespace zpki {

// Zeroes n bytes in a way the compiler may not drop.
inline void wipe(void* p, size_t n) {
    volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
    while (n-- > 0) *v++ = 0;
}

// N bytes wiped when the scope ends.
template <size_t N>
struct Secret {
    unsigned char bytes[N] = {};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(bytes, N); }
    unsigned char* data() { return bytes; }
    const unsigned char* data() const { return bytes; }
    static constexpr size_t size() { return N; }
};

using DigestUnit = Owned<DIGEST_UNIT, VSC_Free_DIGEST_Unit>;
using HmacUnit = Owned<HMAC_UNIT, VSC_Free_HMAC_Unit>;
using RsaUnit = Owned<RSA_UNIT, VSC_Free_RSA>;
using BigInt = Owned<BIGINT, VSC_Free_BIGINT>;

}  // namespace zpki

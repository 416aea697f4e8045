// The signature-value decoders on arbitrary bytes: whatever the ECDSA or the
// KCDSA decoder accepts encodes back to exactly the bytes it came from, and
// a buffer one byte short for either value is refused without a write past it.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <zunPKI/x509/x509_sig.h>

#include "fuzz_util.hpp"

namespace {

using Decoder = int (*)(unsigned char*, int*, unsigned char*, int*, const unsigned char*, int);

// Decodes into heap buffers of exactly the sizes the value needs, then of
// one byte less each, so a write past either is a sanitizer report.
void tightBuffers(Decoder decode, const uint8_t* data, int len) {
    constexpr int kRoom = SIGNATURE_VALUE_MAX_PART + 1;
    auto r = std::make_unique<unsigned char[]>(kRoom), s = std::make_unique<unsigned char[]>(kRoom);
    int rLen = kRoom, sLen = kRoom;
    if (decode(r.get(), &rLen, s.get(), &sLen, data, len) != 0) return;
    const int rooms[][2] = {{rLen, sLen}, {rLen - 1, sLen}, {rLen, sLen - 1}};
    for (const auto& [rRoom, sRoom] : rooms) {
        if (rRoom <= 0 || sRoom <= 0) continue;
        auto rb = std::make_unique<unsigned char[]>(static_cast<size_t>(rRoom));
        auto sb = std::make_unique<unsigned char[]>(static_cast<size_t>(sRoom));
        int rl = rRoom, sl = sRoom;
        const bool fits = rRoom == rLen && sRoom == sLen;
        if ((decode(rb.get(), &rl, sb.get(), &sl, data, len) == 0) != fits) abort();
    }
}

int ecdsa(unsigned char* r, int* rLen, unsigned char* s, int* sLen, const unsigned char* der, int len) {
    return static_cast<int>(decode_ECDSASignatureValue(r, rLen, s, sLen, der, len));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 3 * SIGNATURE_VALUE_MAX_PART) return 0;
    const int len = static_cast<int>(size);
    checkSignatureValue(data, len);
    tightBuffers(ecdsa, data, len);
    tightBuffers(decode_KCDSASignatureValue, data, len);
    return 0;
}

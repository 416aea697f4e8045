// The BER decoder on arbitrary bytes: a node is decoded, re-encoded to the
// bytes it came from, and every child read as every kind of value.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"

namespace {

void readValues(const ASN1_UNIT* node, int depth) {
    if (depth > 40) return;
    const int children = getSequenceChildNum(node);
    for (int i = 0; i <= children; ++i) {
        for (int expected : {1, 2, 3, 4, 5, 6, 10, 12, 19, 20, 22, 23, 24, 30, 32, 33}) {
            void* v = getBERChildAt(node, i, expected);
            if (!v) continue;
            switch (expected) {
                case 2:
                case 10:
                    VSC_Free_BIGINT(static_cast<BIGINT*>(v));
                    break;
                case 1:
                case 5:
                    VSC_Free(v, __FILE__, __LINE__);
                    break;
                case 33:
                    free_ASN1_UNIT(static_cast<ASN1_UNIT*>(v));
                    break;
                default: {
                    auto* s = static_cast<ASN1_STRING*>(v);
                    if (expected == 23) free_ASN1_TIME(utcTimeToASN1_TIME(s));
                    if (expected == 24) free_ASN1_TIME(generalizedTimeToASN1_TIME(s));
                    if (expected == 6) {  // dotted text that came out must go back in
                        zpki::ber::Bytes contents;
                        if (!zpki::ber::oidTextToContents(reinterpret_cast<char*>(s->data), s->length, contents))
                            abort();
                    }
                    free_ASN1_STRING(s);
                }
            }
        }
        if (auto* child = static_cast<ASN1_UNIT*>(getBERChildAt(node, i, 48))) {
            if (child->tag[0] & 0x20) readValues(child, depth + 1);
            free_ASN1_UNIT(child);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    zpki::ber::Bytes again;
    if (!zpki::ber::serialize(node, again) || again.size() > size || std::memcmp(again.data(), data, again.size()) != 0)
        abort();
    readValues(node, 0);
    free_ASN1_UNIT(node);
    return 0;
}

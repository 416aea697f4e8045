// The PKCS#12 decoders on arbitrary bytes: a PFX that decodes is copied,
// compared with its copy, encoded, given a new MAC and imported under the
// seeds' password;
// the same bytes are also read as a SafeContents and as a lone SafeBag.
#include <cstdint>
#include <cstdlib>

#include <zunPKI/asn1/ber.h>
#include "fuzz_util.hpp"
#include <zunPKI/pkcs/pkcs12_safe.h>

namespace {

void freeItems(STACK* list, bool keys) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        void* item = get_STACK_value(list, i);
        if (keys)
            free_P8_PRIV_KEY_INFO(static_cast<P8_PRIV_KEY_INFO*>(item));
        else
            free_X509_CERT(static_cast<X509_CERT*>(item));
    }
    free_STACK(list);
}

void exercise(PKCS12* pfx) {
    PKCS12* copy = dup_PKCS12(pfx);
    if (!copy) abort();
    cmp_PKCS12(pfx, copy);
    encodeAndFree(P12_PFX_to_Seq, static_cast<const PKCS12*>(copy));
    // A new MAC over whatever the safes became, so that the import reads them.
    static const unsigned char kOne = 1;
    if (copy->macData) set_PKCS12_MAC_iter(copy, &kOne, 1);
    set_PKCS12_mac(copy, "pw", -1, nullptr, 0, 1, 0);
    STACK *keys = nullptr, *certs = nullptr, *cas = nullptr;
    import_PKCS12(copy, "pw", -1, &keys, &certs, &cas);
    freeItems(keys, true);
    freeItems(certs, false);
    freeItems(cas, false);
    free_PKCS12(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    PKCS12* pfx = nullptr;
    if (Seq_to_P12_PFX(node, &pfx) == 0) exercise(pfx);
    free_PKCS12(pfx);

    P12_SAFEBAGS* bags = nullptr;
    if (Seq_to_P12_SAFEBAGS(node, &bags) == 0)
        encodeAndFree(P12_SAFEBAGS_to_Seq, static_cast<const P12_SAFEBAGS*>(bags));
    free_P12_SAFEBAGS(bags);
    P12_SAFEBAG* bag = nullptr;
    if (Seq_to_P12_SAFEBAG(node, &bag) == 0) {
        P12_SAFEBAG* copy = dup_P12_SAFEBAG(bag);
        if (!copy) abort();
        cmp_P12_SAFEBAG(bag, copy);
        encodeAndFree(P12_SAFEBAG_to_Seq, static_cast<const P12_SAFEBAG*>(copy));
        free_P12_SAFEBAG(copy);
    }
    free_P12_SAFEBAG(bag);
    free_ASN1_UNIT(node);
    return 0;
}

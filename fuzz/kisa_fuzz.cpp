// The token-driver list decoder on arbitrary bytes, followed by what its
// callers do with a list that decodes: count the drivers and signature
// tokens, read the signer's issuer name, and copy every record into fixed
// 256-byte fields. Properties: the record is of one kind throughout, every
// text fits its field, the signed bytes are one element, and decoding into
// the same record again gives the same result.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/kisa.h>

namespace {

constexpr size_t kField = 256;  // the fields callers copy into

// Copies a string as a caller does: its bytes and a terminator.
void copyField(const ASN1_STRING* s, char (&field)[kField]) {
    if (!s) {
        field[0] = 0;
        return;
    }
    if (s->length < 0 || s->length > KISA_HSM_MAX_TEXT_LEN || (s->length > 0 && !s->data)) abort();
    std::memcpy(field, s->data, static_cast<size_t>(s->length));
    field[s->length] = 0;
}

// A general name's string (the kinds held as strings), else its DER.
void copyName(const GENERAL_NAME* gn, char (&field)[kField]) {
    if (!gn || !gn->value) abort();  // both names are required
    switch (gn->type) {
        case GENERAL_NAME_RFC822:
        case GENERAL_NAME_DNS:
        case GENERAL_NAME_X400:
        case GENERAL_NAME_URI:
        case GENERAL_NAME_IP:
            copyField(static_cast<const ASN1_STRING*>(gn->value), field);
            return;
        default: {
            ASN1_UNIT* node = nullptr;
            if (GENERAL_NAME_to_Seq(gn, &node) != 0) abort();  // what decoded encodes
            free_ASN1_UNIT(node);
            field[0] = 0;
        }
    }
}

// The counts and records of one decoded list.
void walk(const KISA_HSM_SIGNATURE_VALUE* v, int& drivers, int& tokens) {
    char field[kField];
    drivers = tokens = 0;
    const int n = get_STACK_count(v->list);
    if (n < 0) abort();
    switch (v->kind) {
        case KISA_HSM_KIND_EMPTY:
            if (n != 0 || v->signature) abort();
            break;
        case KISA_HSM_KIND_DISTRIBUTION:
            if (!v->signature || v->signature->extra != 0) abort();
            for (int i = 0; i < n; ++i) {
                auto* e = static_cast<const KISA_HSM_TOKEN_DISTRIBUTION_URL*>(get_STACK_value(v->list, i));
                if (!e || !e->url) abort();
                copyField(e->url, field);
                for (int j = 0; j < get_STACK_count(e->drivers); ++j) {
                    auto* d = static_cast<const KISA_HSM_DRIVER_INFO*>(get_STACK_value(e->drivers, j));
                    if (!d || !d->text1 || !d->text2) abort();
                    copyField(d->text1, field);
                    copyField(d->text2, field);
                    copyName(d->name1, field);
                    copyName(d->name2, field);
                    copyField(d->text3, field);
                    ++drivers;
                }
            }
            break;
        case KISA_HSM_KIND_SIGNATURE:
            if (!v->signature) abort();
            for (int i = 0; i < n; ++i) {
                auto* t = static_cast<const KISA_HSM_SIGNATURE_TOKEN*>(get_STACK_value(v->list, i));
                if (!t || !t->name || !t->algorithm || !t->algorithm->algorithm || !t->value) abort();
                copyField(t->name, field);
                copyField(t->value, field);
                ++tokens;
            }
            break;
        default:
            abort();
    }
}

// The signer's issuer name as callers read it: every entry's value.
void readIssuer(const KISA_HSM_SIGNATURE_VALUE* v) {
    if (!v->signer || !v->signer->issuer || !v->signer->serialNumber || !v->signatureAlgorithm) abort();
    ASN1_UNIT* node = nullptr;
    if (X509_NAME_to_Seq(v->signer->issuer, &node) != 0) abort();
    free_ASN1_UNIT(node);
    for (int i = 0; i < get_X509_NAME_count(v->signer->issuer); ++i) {
        const X509_NAME_CHILD* entry = get_X509_NAME_CHILD(v->signer->issuer, i);
        if (!entry || !get_X509_NAME_CHILD_OID(entry)) abort();
        get_X509_NAME_CHILD_data(entry);
    }
}

// The decoder as readDER_from_Binary calls it.
PKI_ERROR decodeList(ASN1_UNIT* node, void** out) {
    return Seq_to_KISA_HSM_SIGNATURE_VALUE(node, reinterpret_cast<KISA_HSM_SIGNATURE_VALUE**>(out));
}

PKI_ERROR decode(const uint8_t* data, size_t size, KISA_HSM_SIGNATURE_VALUE** out) {
    return readDER_from_Binary(reinterpret_cast<void**>(out), decodeList, data, static_cast<int>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KISA_HSM_SIGNATURE_VALUE* v = nullptr;
    if (decode(data, size, &v) != 0) {
        if (v) abort();  // nothing is handed out on failure
        return 0;
    }
    int drivers = 0, tokens = 0;
    walk(v, drivers, tokens);
    readIssuer(v);

    // The signed bytes are exactly one element: the list as received.
    if (!v->signedBytes || v->signedLength <= 0) abort();
    ASN1_UNIT* list = decodeToBERSequence(v->signedBytes, v->signedLength);
    if (!list) abort();
    free_ASN1_UNIT(list);

    // Decoding into the record it made gives the same list again.
    KISA_HSM_SIGNATURE_VALUE* again = v;
    if (decode(data, size, &again) != 0 || again != v) abort();
    int drivers2 = 0, tokens2 = 0;
    walk(v, drivers2, tokens2);
    if (drivers2 != drivers || tokens2 != tokens) abort();

    X509_CERT* none = nullptr;
    if (verify_KISA_HSM_SIGNATURE_VALUE(v, &none) != 0x30020049) abort();
    free_KISA_HSM_SIGNATURE_VALUE(v);
    return 0;
}

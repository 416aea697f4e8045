// The information record of arbitrary bytes, as DER and wrapped as PEM: the
// two records agree field by field, every field keeps its form (lengths,
// texts, limits), every getter hands out what the record holds, DN fields
// are found where the text has them, and the distribution-point getters
// agree with their count.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/base64.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool same(const char* a, const char* b) { return (!a && !b) || (a && b && std::strcmp(a, b) == 0); }
bool sameBytes(const unsigned char* a, int an, const unsigned char* b, int bn) {
    return an == bn && ((!a && !b) || (a && b && std::memcmp(a, b, static_cast<size_t>(an)) == 0));
}

// A copy handed out by a getter: equal to the field, or nothing when empty.
void gotText(int rc, char* got, const char* field) {
    check(rc == 0);
    check(field ? got && std::strcmp(got, field) == 0 : got == nullptr);
    std::free(got);
}

bool digits(const char* s, size_t n) {
    if (!s || std::strlen(s) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

void checkForms(const X509_Info* r) {
    check(r->format == 1 && r->separator == '|');
    check(r->version >= 0 && r->version <= 255);
    check(r->serialDec && r->serialHex && std::strlen(r->serialHex) % 2 == 0);
    check(digits(r->validityFrom, 14) && digits(r->validityTo, 14));
    check(r->issuerDN && std::strlen(r->issuerDN) <= VCL_X509_DN_MAX);
    check(r->subjectDN && std::strlen(r->subjectDN) <= VCL_X509_DN_MAX);
    check(r->subjectDER && r->subjectDERLen > 0 && r->pubkeyDER && r->pubkeyAlg && r->signatureAlg);
    check(r->keyBits == r->modulusLen * 8 && (r->modulus != nullptr) == (r->modulusLen > 0));
    check(!r->reserved1 && !r->reserved2);
    for (const char* t : {r->authorityKeyId, r->subjectKeyId, r->subjectAltName, r->crlDistPoints,
                          r->authorityInfoAccess, r->authorityInfoURI, r->keyUsage, r->policies, r->extKeyUsage})
        check(!t || std::strlen(t) <= VCL_X509_EXT_TEXT_MAX);
    check(!r->policyIds || std::strlen(r->policyIds) <= VCL_X509_POLICY_IDS_MAX);
    check(!r->authorityInfoURI || r->authorityInfoAccess);
    // Algorithm texts have their three items.
    check(VCL_X509_get_field_cnt(r->signatureAlg, '|') >= 3 && VCL_X509_get_field_cnt(r->pubkeyAlg, '|') >= 3);
}

void checkGetters(const X509_Info* r) {
    char* text = nullptr;
    gotText(VCL_X509_Info_Get_IssuerDN(r, &text), text, r->issuerDN);
    text = nullptr;
    gotText(VCL_X509_Info_Get_SubjectDN(r, &text), text, r->subjectDN);
    text = nullptr;
    gotText(VCL_X509_Info_Get_Serial(r, &text, 1), text, r->serialDec);
    text = nullptr;
    gotText(VCL_X509_Info_Get_Serial(r, &text, 2), text, r->serialHex);
    text = nullptr;
    gotText(VCL_X509_Info_Get_ValidityFrom(r, &text), text, r->validityFrom);
    text = nullptr;
    gotText(VCL_X509_Info_Get_ValidityTo(r, &text), text, r->validityTo);
    unsigned char* bytes = nullptr;
    int n = 0;
    check(VCL_X509_Info_Get_Pubkey(r, &bytes, &n) == 0);
    check(r->pubkeyLen <= 0 || (bytes && sameBytes(bytes, n, r->pubkey, r->pubkeyLen)));
    std::free(bytes);
    bytes = nullptr;
    check(VCL_X509_Info_Get_Signature(r, &bytes, &n) == 0);
    check(r->signatureLen <= 0 || (bytes && sameBytes(bytes, n, r->signature, r->signatureLen)));
    std::free(bytes);
    bytes = nullptr;
    check(VCL_X509_Info_Get_SubjectDN_DER(r, &bytes) == 0);
    check(bytes && std::memcmp(bytes, r->subjectDER, static_cast<size_t>(r->subjectDERLen)) == 0);
    std::free(bytes);
    for (int part = 0; part < 3; ++part) {
        for (auto get : {VCL_X509_Info_Get_PubkeyAlg, VCL_X509_Info_Get_SignatureAlg}) {
            text = nullptr;
            check(get(r, &text, part) == 0);
            std::free(text);
        }
    }
    X509_PUBKEY* key = nullptr;
    if (VCL_X509_get_pubkey(r, &key) == 0) free_X509_PUBKEY(key);

    // DN fields: what is found is the rest of an item of the text.
    for (const char* dn : {r->subjectDN, r->issuerDN})
        for (const char* name : {"cn", "o", "ou", "c", "serialnumber", "undef"}) {
            char* value = nullptr;
            const int rc = VCL_X509_Info_Get_DN_Field(dn, name, &value);
            check(rc == 0);
            if (value) check(std::strstr(dn, value) != nullptr);
            std::free(value);
        }

    // Distribution points: as many as the count says, then none.
    const int count = VCL_X509_Info_Get_CRLdp_Count(r);
    check(count >= 0);
    for (int i = 0; i <= count; ++i) {
        char* uri = nullptr;
        const int rc = VCL_X509_Info_Get_CRLdp_Index(r, &uri, i);
        if (rc != 0) {  // only a text too long for the split
            check(r->crlDistPoints && std::strlen(r->crlDistPoints) > VCL_X509_ITEM_TEXT_MAX);
            break;
        }
        check((uri != nullptr) == (i < count));
        if (uri) check(std::strstr(r->crlDistPoints, uri) != nullptr);
        std::free(uri);
    }
}

void compare(const X509_Info* a, const X509_Info* b) {
    check(a->version == b->version && a->keyBits == b->keyBits);
    for (auto f : {&X509_Info::serialDec, &X509_Info::serialHex, &X509_Info::signatureAlg, &X509_Info::issuerDN,
                   &X509_Info::validityFrom, &X509_Info::validityTo, &X509_Info::subjectDN, &X509_Info::pubkeyAlg,
                   &X509_Info::authorityKeyId, &X509_Info::subjectKeyId, &X509_Info::subjectAltName,
                   &X509_Info::crlDistPoints, &X509_Info::authorityInfoAccess, &X509_Info::authorityInfoURI,
                   &X509_Info::keyUsage, &X509_Info::policies, &X509_Info::policyIds, &X509_Info::extKeyUsage})
        check(same(a->*f, b->*f));
    check(sameBytes(a->subjectDER, a->subjectDERLen, b->subjectDER, b->subjectDERLen));
    check(sameBytes(a->pubkey, a->pubkeyLen, b->pubkey, b->pubkeyLen));
    check(sameBytes(a->modulus, a->modulusLen, b->modulus, b->modulusLen));
    check(sameBytes(a->signature, a->signatureLen, b->signature, b->signatureLen));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    const int len = static_cast<int>(size);
    X509_Info* der = nullptr;
    const int rc = VCL_X509_Init_X509_Info(data, len, '|', &der);
    if (rc != 0) {
        check(der == nullptr);
        return 0;
    }
    checkForms(der);
    checkGetters(der);

    // The certificate's own bytes (without what followed them) as PEM give
    // the same record.
    X509_CERT* cert = nullptr;
    check(VCL_X509_conv_cert2x509(data, len, &cert) == 0);
    ASN1_UNIT* node = nullptr;
    check(X509_CERT_to_Seq(cert, &node) == 0);
    unsigned char* kept = nullptr;
    const int keptLen = ASN1_to_binary(node, &kept);
    check(keptLen > 0);
    char* b64 = nullptr;
    const int n = encode_Base64(kept, keptLen, &b64, 1);
    check(n > 0);
    const std::string pem =
        "-----BEGIN CERTIFICATE-----\n" + std::string(b64, static_cast<size_t>(n)) + "\n-----END CERTIFICATE-----\n";
    X509_Info* fromPem = nullptr;
    check(VCL_X509_Init_X509_Info(pem.data(), static_cast<int>(pem.size()), '|', &fromPem) == 0);
    compare(der, fromPem);
    VCL_X509_Free_X509_Info(fromPem);
    VSC_FREE(b64);
    VSC_FREE(kept);
    free_ASN1_UNIT(node);
    free_X509_CERT(cert);
    VCL_X509_Free_X509_Info(der);
    return 0;
}

// The extension-body decoders on arbitrary bytes: every body that decodes is
// copied and encoded, and its copy must encode to the same bytes; the bytes
// also go through the VID check as a subjectAltName body.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunPKI/asn1/ber.h>
#include "asn1/ber_internal.hpp"
#include <zunPKI/x509/x509.h>

namespace {

std::vector<uint8_t> bytesOf(ASN1_UNIT* node) {
    zpki::ber::Bytes out;
    if (node) zpki::ber::serialize(node, out);
    free_ASN1_UNIT(node);
    return std::vector<uint8_t>(out.begin(), out.end());
}

template <class T>
void body(const ASN1_UNIT* node, PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**), PKI_ERROR (*toSeq)(const T*, ASN1_UNIT**),
          T* (*dup)(const T*), void (*release)(T*)) {
    T* rec = nullptr;
    if (fromSeq(node, &rec) != 0) return;
    T* copy = dup(rec);
    if (!copy) abort();
    ASN1_UNIT* a = nullptr;
    ASN1_UNIT* b = nullptr;
    const PKI_ERROR ra = toSeq(rec, &a), rb = toSeq(copy, &b);
    if (ra != rb || bytesOf(a) != bytesOf(b)) abort();  // a copy writes what its original writes
    release(copy);
    release(rec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ASN1_UNIT* node = decodeToBERSequence(data, static_cast<int>(size));
    if (!node) return 0;
    body(node, Seq_to_GENERAL_NAME, GENERAL_NAME_to_Seq, dup_GENERAL_NAME, free_GENERAL_NAME);
    body(node, Seq_to_GENERAL_NAMES, GENERAL_NAMES_to_Seq, dup_GENERAL_NAMES, free_GENERAL_NAMES);
    body(node, Seq_to_AUTHORITY_KEYID, AUTHORITY_KEYID_to_Seq, dup_AUTHORITY_KEYID, free_AUTHORITY_KEYID);
    body(node, Seq_to_BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_to_Seq, dup_BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS);
    body(node, Seq_to_POLICY_CONSTRAINTS, POLICY_CONSTRAINTS_to_Seq, dup_POLICY_CONSTRAINTS, free_POLICY_CONSTRAINTS);
    body(node, Seq_to_NAME_CONSTRAINTS, NAME_CONSTRAINTS_to_Seq, dup_NAME_CONSTRAINTS, free_NAME_CONSTRAINTS);
    body(node, Seq_to_EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_to_Seq, dup_EXTENDED_KEY_USAGE, free_EXTENDED_KEY_USAGE);
    body(node, Seq_to_CERTIFICATE_POLICIES, CERTIFICATE_POLICIES_to_Seq, dup_CERTIFICATE_POLICIES,
         free_CERTIFICATE_POLICIES);
    body(node, Seq_to_POLICY_MAPPINGS, POLICY_MAPPINGS_to_Seq, dup_POLICY_MAPPINGS, free_POLICY_MAPPINGS);
    body(node, Seq_to_CRL_DIST_POINTS, CRL_DIST_POINTS_to_Seq, dup_CRL_DIST_POINTS, free_CRL_DIST_POINTS);
    body(node, Seq_to_issuing_DIST_POINT, issuing_DIST_POINT_to_Seq, dup_ISSUING_DIST_POINT, free_ISSUING_DIST_POINT);
    body(node, Seq_to_AUTHORITY_INFO_ACCESS, AUTHORITY_INFO_ACCESS_to_Seq, dup_AUTHORITY_INFO_ACCESS,
         free_AUTHORITY_INFO_ACCESS);
    body(node, Seq_to_KISA_IDENTIFY_DATA, KISA_IDENTIFY_DATA_to_Seq, dup_KISA_IDENTIFY_DATA, free_KISA_IDENTIFY_DATA);
    free_ASN1_UNIT(node);

    // As the body of a subjectAltName, through the VID check.
    OCTET_STRING* value = new_OCTET_STRING(data, static_cast<int>(size));
    X509_EXTENSION* ext = create_X509_EXTENSION_by_OID_index(nullptr, 85, 0, value);
    X509_EXTENSIONS* list = nullptr;
    if (ext && add_X509_EXTENSION(&list, ext, -1) == 0) {
        static const unsigned char random[] = {1, 2, 3, 4};
        check_VID_extensions(list, random, sizeof random, "8001011234567", 13);
    }
    free_X509_EXTENSIONS(list);
    free_X509_EXTENSION(ext);
    free_OCTET_STRING(value);
    return 0;
}

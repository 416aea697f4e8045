// Helpers of the extension-body tests: owners of the body records, decoding
// hex or bytes into them, and the body of a certificate's extension.
#pragma once

#include <cstring>

#include "X509TestUtil.h"

namespace x509test {

template <class T, void (*Free)(T*)>
using Own = std::unique_ptr<T, FreeWith<Free>>;

using GeneralName = Own<GENERAL_NAME, free_GENERAL_NAME>;
using GeneralNames = Own<GENERAL_NAMES, free_GENERAL_NAMES>;
using Akid = Own<AUTHORITY_KEYID, free_AUTHORITY_KEYID>;
using BasicConstraints = Own<BASIC_CONSTRAINTS, free_BASIC_CONSTRAINTS>;
using PolicyConstraints = Own<POLICY_CONSTRAINTS, free_POLICY_CONSTRAINTS>;
using NameConstraints = Own<NAME_CONSTRAINTS, free_NAME_CONSTRAINTS>;
using Policies = Own<CERTIFICATE_POLICIES, free_CERTIFICATE_POLICIES>;
using Mappings = Own<POLICY_MAPPINGS, free_POLICY_MAPPINGS>;
using DistPoints = Own<CRL_DIST_POINTS, free_CRL_DIST_POINTS>;
using IssuingDistPoint = Own<ISSUING_DIST_POINT, free_ISSUING_DIST_POINT>;
using InfoAccess = Own<AUTHORITY_INFO_ACCESS, free_AUTHORITY_INFO_ACCESS>;

template <class Owner, class T>
Owner decodeHex(PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**), const std::string& hex, PKI_ERROR* rc = nullptr) {
    return decodeWith<Owner>(fromSeq, fromHex(hex), rc);
}

// The code fromSeq refuses hex with (0 when it does not), making nothing.
template <class Owner, class T>
PKI_ERROR refusal(PKI_ERROR (*fromSeq)(const ASN1_UNIT*, T**), const std::string& hex) {
    PKI_ERROR rc;
    Owner made = decodeHex<Owner>(fromSeq, hex, &rc);
    EXPECT_EQ(made == nullptr, rc != 0) << hex;
    return rc;
}

// The objects of make_ext_fixtures.sh, made once per test program.
inline const std::string& extFixtures() {
    static zqtest::TempDir dir("extfix");
    static const bool made =
        zqtest::run({zqtest::sourceDir() + "/tests/pki/x509/make_ext_fixtures.sh", dir.path()}).status == 0;
    static const std::string path = made ? dir.path() : std::string();
    return path;
}
inline Bytes extFixture(const std::string& name) { return pkitest::readBytes(extFixtures() + "/" + name); }
// A body python-cryptography wrote (bodies/<name>.der).
inline Bytes peerBody(const std::string& name) { return extFixture("bodies/" + name + ".der"); }

// The extension list of a DER certificate.
inline Extensions certificateExtensions(const Bytes& cert) {
    Node c = nodeOf(cert);
    Node exts = childAt(c.get(), {0, 7, 0});
    return decodeExtensions(pkitest::bytesOf(exts.get()));
}

// The body of the first extension of a table row in a DER certificate.
inline Bytes extensionBody(const Bytes& cert, int row) {
    Extensions list = certificateExtensions(cert);
    const int at = get_X509_EXTENSION_index_by_OID_index(list.get(), row, -1);
    const OCTET_STRING* v = get_X509_EXTENSION_data(get_X509_EXTENSION(list.get(), at));
    return v ? Bytes(v->data, v->data + v->length) : Bytes{};
}

// The i-th item of a list as a T.
template <class T>
T* itemOf(const STACK* list, int i) {
    return static_cast<T*>(get_STACK_value(list, i));
}

inline std::string text(const ASN1_STRING* s) {
    return s && s->data ? std::string(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length)) : "?";
}

inline std::string hexOf(const ASN1_STRING* s) { return s ? toHex(s->data, static_cast<size_t>(s->length)) : "?"; }

inline std::string bigHex(const BIGINT* b) {
    char* h = b ? VSC_BIGINT_To_HEX(b) : nullptr;
    std::string s = h ? h : "?";
    VSC_FREE(h);
    return s;
}

// Values as a test builds them.
inline GENERAL_NAME* makeName(int type, void* value) {
    GENERAL_NAME* gn = new_GENERAL_NAME();
    gn->type = type;
    gn->value = value;
    return gn;
}

inline ASN1_STRING* ia5(const char* s) {
    return new_IA5_STRING(reinterpret_cast<const unsigned char*>(s), static_cast<int>(std::strlen(s)));
}
inline ASN1_STRING* oid(const char* s) { return new_OBJECT_IDENTIFIER(s, static_cast<int>(std::strlen(s))); }
inline ASN1_STRING* octets(const Bytes& b) { return new_OCTET_STRING(b.data(), static_cast<int>(b.size())); }
inline BIGINT* number(const char* hex) { return VSC_HEX_To_BIGINT(hex); }

inline X509_NAME* cnName(const char* cn) {
    X509_NAME* n = new_X509_NAME();
    add_X509_NAME_child_OID_index(n, 13, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>(cn), -1, -1);
    return n;
}

}  // namespace x509test

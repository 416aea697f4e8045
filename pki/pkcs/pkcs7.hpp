// PKCS#7 inside the library: what signing, verification and enveloping share
// with the records.
#pragma once

#include <cstring>

#include "asn1/asn1_struct.hpp"
#include "asn1/ber_internal.hpp"
#include "asn1/kept.hpp"
#include "x509/x509_attr.hpp"
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs7.h>

namespace zpki::pkcs7 {

inline PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS7, func, reason); }

// The table row of an identifier; 0 for none.
int rowOf(const OBJECT_IDENTIFIER* oid);
// The content-type row of a message; 0 for none.
int typeOf(const P7_CONTENT_INFO* p7);

// The content when the message is of that type, else null.
template <class T>
T* contentAs(const P7_CONTENT_INFO* p7, int row) {
    return typeOf(p7) == row ? static_cast<T*>(p7->content) : nullptr;
}

// A new BIGINT of a small value.
BIGINT* smallBigint(unsigned long v);
// Replaces *slot with a new BIGINT of v; false (slot unchanged) when short of memory.
bool setVersion(BIGINT*& slot, unsigned long v);
// The version as a number; -1 for none or one that does not fit.
long versionOf(const BIGINT* v);

// The DER of an attribute list as a SET OF, in the list's order; false when
// it does not encode (an empty list included).
bool attributesDer(const X509_ATTRIBUTES* list, ber::Bytes& out);
// Forgets the signed attributes as received (their order is about to change).
void dropReceived(P7_SIGNER_INFO* si);
// The bytes a verifier digests for si's signed attributes: as received while
// the list is unchanged, else as it encodes now.
bool signedAttributesDer(const P7_SIGNER_INFO* si, ber::Bytes& out);

// An EncryptedContentInfo as a member of another record (CMS's envelopes
// carry the same record): read in place, written as DER.
struct EncryptedContentInfoCodec {
    using WriteOwner = EncryptedContentInfoCodec;
    using Value = P7_ENCRYPTED_CONTENT_INFO*;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const asn1::Element& e, Value& out);
    static bool write(const Value& v, asn1::Writer& w);
    static bool encode(const Value& v, ASN1_UNIT* parent) {
        return asn1::encodeByWriting<EncryptedContentInfoCodec>(v, parent);
    }
    static bool present(const Value& v) { return v != nullptr; }
    static void release(Value& v) {
        free_P7_ENCRYPTED_CONTENT_INFO(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        return !from || (to = dup_P7_ENCRYPTED_CONTENT_INFO(from)) != nullptr;
    }
    static int compare(const Value& a, const Value& b) { return cmp_P7_ENCRYPTED_CONTENT_INFO(a, b); }
};

// ---- Signed attributes kept as received ------------------------------------------

using SignedAttrsCodec = asn1::Implicit<0, x509::AttributesCodec>;

// The fingerprint of a list of attributes, by content.
inline uint64_t attributesMark(const X509_ATTRIBUTES* list) {
    asn1::Mark m;
    asn1::markValue<x509::AttributesCodec>(const_cast<X509_ATTRIBUTES*>(list), m);
    return m.value();
}

// The signed attributes [0] of a SignerInfo S (PKCS#7's, CMS's), with the
// bytes they came in (Received) when those are not our DER of them (BER
// lengths, constructed strings): the bytes a signer signed, which
// verification digests for as long as the list is what was read.
template <class S, X509_ATTRIBUTES* S::*Attrs, p7_received_attrs_st* S::*Received>
struct KeptSignedAttributes {
    using Kept = p7_received_attrs_st;
    static constexpr bool kOwnOps = true;
    static bool init(S&) { return true; }
    static void release(S& si) {
        SignedAttrsCodec::release(si.*Attrs);
        forget(si);
    }
    static void forget(S& si) {
        if (!(si.*Received)) return;
        asn1::Kept* kept = si.*Received;
        asn1::freeKept(kept);
        si.*Received = nullptr;
    }
    static bool copy(const S& from, S& to) {
        if (!SignedAttrsCodec::copy(from.*Attrs, to.*Attrs)) return false;
        const Kept* k = from.*Received;
        if (!k || k->mark != attributesMark(from.*Attrs)) return true;
        Kept* made = PKI_NEW(Kept);
        if (!made) return false;
        asn1::retain(k->der);
        made->der = k->der;
        made->offset = k->offset;
        made->size = k->size;
        made->mark = attributesMark(to.*Attrs);
        to.*Received = made;
        return true;
    }
    static int compare(const S& a, const S& b) { return SignedAttrsCodec::compare(a.*Attrs, b.*Attrs); }
    static int missing(const S&) { return 0; }
    static int write(const S& si, asn1::Writer& w) {
        if (!(si.*Attrs)) return 0;
        return SignedAttrsCodec::write(si.*Attrs, w) ? 0 : ERR_ASN1_ENCODING;
    }
    static bool accepts(uint8_t id) { return id == 0xa0; }
    static constexpr bool required() { return false; }
    static bool absentValue(S&) { return true; }
    static bool decodeElement(S& si, const asn1::Element& e) {
        if (!SignedAttrsCodec::decodeContents(e, si.*Attrs)) return false;
        ber::Bytes ours;
        if (!attributesDer(si.*Attrs, ours)) return true;
        if (ours.size() == e.totalSize && std::memcmp(ours.data() + 1, e.start + 1, e.totalSize - 1) == 0)
            return true;  // our DER: nothing to keep
        return (si.*Received = asn1::keepElementAs<Kept>(e, attributesMark(si.*Attrs))) != nullptr;
    }
    static void mark(const S& si, asn1::Mark& m) { asn1::markValue<SignedAttrsCodec>(si.*Attrs, m); }
};

// ---- The SignerInfo engine (pkcs7_sign.cpp), which CMS signs and verifies
// through as well: a CMS SignerInfo lends its members to a P7_SIGNER_INFO.

// The digestAlgorithm and signature algorithm of a new signer (kind 1
// PKCS#1 v1.5 or KCDSA by the key, 2 RSASSA-PSS with pss, or the digest,
// MGF1 with it and its length as salt for null); key, when given, must be the
// certificate's. 0 (both replaced) or the reason to refuse.
unsigned signerAlgorithms(const X509_CERT* signer, const ASYMMETRIC_KEY* key, int digestRow, int kind,
                          const RSASSA_PSS_PARAM* pss, X509_ALGO_IDENTIFIER*& digestAlg,
                          X509_ALGO_IDENTIFIER*& signatureAlg);
// Signs si with its key as a signer of a message of version over content
// (null: detached, the signed attributes carry the digest): signed
// attributes sorted into DER order and signed, messageDigest required and
// compared, the KCDSA row labelled by the digest. 0 or a code.
PKI_ERROR signSigner(P7_SIGNER_INFO* si, long version, const OCTET_STRING* content);
// Verifies si under key over content (null with digestOnly: the signed
// attributes alone), the attributes as received first. 0, VSC_FAIL or a code.
PKI_ERROR verifySigner(const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* key, const uint8_t* content, size_t len,
                       bool digestOnly);

}  // namespace zpki::pkcs7

// X.509 certificates: records, DER codec, setters and getters, the DER kept
// from decoding, digest and diagnostic print.
#include <zunPKI/x509/x509_cert.h>

#include <cstdio>
#include <cstring>
#include <new>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/asn1_time.hpp"
#include <zunPKI/asn1/utils.h>
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509_signing.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;
using zpki::x509::DerBytes;

template <>
struct zpki::asn1::Describe<X509_VALIDITY> {
    using Shape = Sequence<Field<&X509_VALIDITY::notBefore, zpki::x509::TimeCodec, ERR_TBS_CERT_VALIDITY>,
                           Field<&X509_VALIDITY::notAfter, zpki::x509::TimeCodec, ERR_TBS_CERT_VALIDITY>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_VALIDITY)

// Never encoded: the shape only gives the lifecycle.
template <>
struct zpki::asn1::Describe<X509_AUX> {
    using Shape = Sequence<Field<&X509_AUX::friendlyName, Optional<Utf8String>>,
                           Field<&X509_AUX::localKeyId, Optional<OctetString>>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_AUX)

using zpki::x509::addr;
using zpki::x509::extensionsMark;
using zpki::x509::freeReceived;
using zpki::x509::nameMark;
using zpki::x509::publicKeyMark;
using zpki::x509::Snapshot;

// What a certificate holds, for its kept DER: the members a setter or a
// caller would replace.
template <>
struct zpki::x509::Kept<X509_TBS_CERT> {
    static Snapshot of(const X509_TBS_CERT* t) {
        const X509_VALIDITY* v = t->validity;
        const X509_TIME* nb = v ? v->notBefore : nullptr;
        const X509_TIME* na = v ? v->notAfter : nullptr;
        return {static_cast<uintptr_t>(t->version),
                addr(t->serialNumber),
                addr(t->signature),
                addr(t->signatureParameters),
                addr(t->issuer),
                static_cast<uintptr_t>(get_X509_NAME_count(t->issuer)),
                addr(v),
                addr(nb),
                addr(na),
                addr(nb ? nb->value : nullptr),
                addr(na ? na->value : nullptr),
                addr(t->subject),
                static_cast<uintptr_t>(get_X509_NAME_count(t->subject)),
                addr(t->subjectPublicKeyInfo),
                addr(t->extensions),
                static_cast<uintptr_t>(get_X509_EXTENSION_count(t->extensions)),
                addr(t->issuerUniqueID),
                addr(t->subjectUniqueID),
                nameMark(t->issuer),
                nameMark(t->subject),
                publicKeyMark(t->subjectPublicKeyInfo),
                extensionsMark(t->extensions)};
    }
    static bool partsKept(const X509_TBS_CERT*) { return true; }
};

template <>
struct zpki::x509::Kept<X509_CERT> {
    static Snapshot of(const X509_CERT* c) {
        return {addr(c->tbs), addr(c->tbs ? c->tbs->received : nullptr), addr(c->signatureAlgorithm),
                addr(c->signatureParameters), addr(c->signatureValue)};
    }
    static bool partsKept(const X509_CERT* c) { return zpki::x509::receivedValid(c->tbs); }
};

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Tbs = Owned<X509_TBS_CERT, free_X509_TBS_CERT>;
using Cert = Owned<X509_CERT, free_X509_CERT>;
using zpki::x509::copyReceived;
using zpki::x509::keep;
using zpki::x509::TimeCodec;
using zpki::x509::timeUsable;

constexpr PKI_ERROR x509Err(unsigned func, unsigned reason) { return PKI_ERR(L_X509, func, reason); }

// ---------------------------------------------------------------------------
// Copies of members.

template <class V, class Dup>
bool copyMember(V*& to, const V* from, Dup dup) {
    if (!from) return true;
    to = dup(from);
    return to != nullptr;
}

// ---------------------------------------------------------------------------
// Encoding.

// The optional tail of a TBSCertificate (RFC 5280 4.1): unique identifiers,
// which no CA should issue but a reader should accept, then extensions.
using IssuerUid = Implicit<1, BitString>;
using SubjectUid = Implicit<2, BitString>;
using Extensions = Explicit<3, zpki::x509::ExtensionsCodec>;

// Appends the TBSCertificate's elements to seq; 0 or the reason.
unsigned encodeTbsInto(const X509_TBS_CERT* t, ASN1_UNIT* seq) {
    if (!t->serialNumber) return ERR_TBS_CERT_SERIAL;
    if (!t->signature || t->signature->length <= 0) return ERR_TBS_CERT_SIGNATURE;
    if (!t->issuer) return ERR_TBS_CERT_ISSUER;
    if (!t->validity) return ERR_TBS_CERT_VALIDITY;
    if (!t->subject) return ERR_TBS_CERT_SUBJECT;
    if (!t->subjectPublicKeyInfo) return ERR_TBS_CERT_SPKI;
    if (!timeUsable(t->validity->notBefore) || !timeUsable(t->validity->notAfter)) return ERR_TBS_CERT_VALIDITY;
    const int version = t->version & 0xff;
    if (version != 0 && !Explicit<0, SmallInt<>>::encode(version, seq)) return ERR_ASN1_ENCODING;
    if (!Integer::encode(t->serialNumber, seq) ||
        !zpki::x509::appendAlgorithm(seq, t->signature, t->signatureParameters) ||
        !zpki::x509::NameCodec::encode(t->issuer, seq) || !Sub<X509_VALIDITY>::encode(t->validity, seq) ||
        !zpki::x509::NameCodec::encode(t->subject, seq))
        return ERR_ASN1_ENCODING;
    ASN1_UNIT* key = nullptr;
    if (X509_PUBKEY_to_Seq(t->subjectPublicKeyInfo, &key) != 0 || !appendNode(seq, key)) {
        free_ASN1_UNIT(key);
        return ERR_ASN1_ENCODING;
    }
    if ((t->issuerUniqueID && !IssuerUid::encode(t->issuerUniqueID, seq)) ||
        (t->subjectUniqueID && !SubjectUid::encode(t->subjectUniqueID, seq)))
        return ERR_ASN1_ENCODING;
    if (Extensions::present(t->extensions) && !Extensions::encode(t->extensions, seq)) return ERR_ASN1_ENCODING;
    seq->tag[0] = 0x30;
    return 0;
}

// ---------------------------------------------------------------------------
// Decoding.

bool decodeValidity(const der::Element& e, X509_VALIDITY*& out) {
    return Sub<X509_VALIDITY>::matches(e.identifier) && Sub<X509_VALIDITY>::decodeContents(e, out);
}

bool decodeName(const der::Element& e, X509_NAME*& out) {
    return zpki::x509::NameCodec::matches(e.identifier) && zpki::x509::NameCodec::decodeContents(e, out);
}

bool decodePublicKey(const der::Element& e, X509_PUBKEY*& out) {
    if (e.identifier != 0x30) return false;
    Node node(ber::nodeFromElement(e));
    return node && Seq_to_X509_PUBKEY(node.get(), &out) == 0;
}

// A TBSCertificate element (with its whole encoding) into a new body; 0 or
// the reason.
unsigned decodeTbs(const der::Element& whole, X509_TBS_CERT*& out) {
    if (whole.identifier != 0x30 || !whole.start) return ERR_ASN1_DECODING;
    // version, six fields, two unique identifiers, extensions, and one more
    // to see what follows
    constexpr size_t kMost = 11;
    der::Element el[kMost];
    size_t n = 0;
    Decoder d(der::Cursor(whole.contents, whole.contentsSize));
    while (d.more()) {
        if (n == kMost || !d.next(el[n])) return ERR_ASN1_DECODING;
        ++n;
    }
    if (n < 6) return ERR_R_INVALID_ELEMENT;
    Tbs tbs(new_X509_TBS_CERT());
    if (!tbs) return ERR_R_ALLOC_3C;
    size_t i = 0;
    if (el[0].identifier == 0xa0) {
        int version = -1;
        // v1, v2 or v3, in one content byte
        if (!Explicit<0, SmallInt<>>::decodeContents(el[0], version) || version < 0 || version > 2)
            return ERR_ASN1_DECODING;
        tbs->version = version;
        i = 1;
    }
    if (n - i < 6) return ERR_ASN1_DECODING;
    X509_TBS_CERT* t = tbs.get();
    if (!Integer::matches(el[i].identifier) || !Integer::decodeContents(el[i++], t->serialNumber) ||
        !zpki::x509::readAlgorithm(el[i++], t->signature, t->signatureParameters) || !decodeName(el[i++], t->issuer) ||
        !decodeValidity(el[i++], t->validity) || !decodeName(el[i++], t->subject) ||
        !decodePublicKey(el[i++], t->subjectPublicKeyInfo))
        return ERR_ASN1_DECODING;
    if (i < n && el[i].identifier == 0x81 && !IssuerUid::decodeContents(el[i++], t->issuerUniqueID))
        return ERR_ASN1_DECODING;
    if (i < n && el[i].identifier == 0x82 && !SubjectUid::decodeContents(el[i++], t->subjectUniqueID))
        return ERR_ASN1_DECODING;
    if (i < n && el[i].identifier == 0xa3 && !Extensions::decodeContents(el[i++], t->extensions))
        return ERR_ASN1_DECODING;
    if (i != n) return ERR_ASN1_DECODING;
    if (!keep(t, whole.start, whole.totalSize)) return ERR_R_ALLOC_3C;
    out = tbs.release();
    return 0;
}

X509_TBS_CERT* tbsOf(const X509_CERT* cert) { return cert ? cert->tbs : nullptr; }

// ---------------------------------------------------------------------------
// Print.

void printName(const X509_NAME* name) {
    for (int i = 0; i < get_X509_NAME_count(name); ++i) {
        const X509_NAME_CHILD* e = get_X509_NAME_CHILD(name, i);
        const char* sn = sn_from_index(index_from_OBJECT_IDENTIFIER(e->type));
        std::printf("  - %s=", sn ? sn : reinterpret_cast<const char*>(e->type->data));
        print_ASN1STRING(e->value);
    }
}

void printAlgorithm(const OBJECT_IDENTIFIER* oid) {
    const char* ln = ln_from_index(index_from_OBJECT_IDENTIFIER(oid));
    std::printf("  -  %.*s - %s \n", oid->length, reinterpret_cast<const char*>(oid->data), ln ? ln : "unknown");
}

}  // namespace

namespace zpki::x509 {

bool TimeCodec::decodeContents(const Element& e, Value& out) {
    const bool generalized = e.identifier == ASN1_TAG_GENERALIZED_TIME;
    ASN1_STRING* v = nullptr;
    const bool read = generalized ? GeneralizedTime::decodeContents(e, v) : UtcTime::decodeContents(e, v);
    Owned<ASN1_STRING, free_ASN1_STRING> value(v);
    Time64_T instant;
    if (!read || !zpki::asn1time::parseInstant(value->data, static_cast<size_t>(value->length), generalized, instant))
        return false;
    X509_TIME* t = new_X509_TIME();
    if (!t) return false;
    t->type = generalized ? X509_TIME_GENERALIZED : X509_TIME_UTC;
    t->value = value.release();
    out = t;
    return true;
}

bool TimeCodec::encode(const Value& v, ASN1_UNIT* parent) {
    if (!timeUsable(v)) return false;
    return v->type == X509_TIME_UTC ? UtcTime::encode(v->value, parent) : GeneralizedTime::encode(v->value, parent);
}

PKI_ERROR tbsDer(const X509_TBS_CERT* tbs, DerBytes& out) {
    if (!tbs) return x509Err(F_X509_TBS_CERT_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return derOf(tbs, out, L_X509 | F_X509_TBS_CERT_TO_SEQ, encodeTbsInto);
}

PKI_ERROR certDer(const X509_CERT* cert, DerBytes& out) {
    if (!cert || !cert->tbs || !cert->signatureAlgorithm || !cert->signatureValue)
        return x509Err(F_X509_CERT_TO_SEQ, ERR_R_NULL_ARGUMENT);
    return derOf(cert, out, L_X509 | F_X509_CERT_TO_SEQ, [](const X509_CERT* c, ASN1_UNIT* seq) -> unsigned {
        DerBytes tbs;
        if (PKI_ERROR rc = tbsDer(c->tbs, tbs)) return static_cast<unsigned>(rc);
        return appendSignedParts(seq, tbs, c->signatureAlgorithm, c->signatureParameters, c->signatureValue);
    });
}

void dropReceived(X509_TBS_CERT* tbs) {
    if (tbs) freeReceived(tbs->received);
}

void dropReceived(X509_CERT* cert) {
    if (!cert) return;
    freeReceived(cert->received);
    dropReceived(cert->tbs);
}

}  // namespace zpki::x509

using zpki::x509::dropReceived;

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API X509_TBS_CERT* new_X509_TBS_CERT(void) { return PKI_NEW(X509_TBS_CERT); }

ZUNPKI_API void clean_X509_TBS_CERT(X509_TBS_CERT* t) {
    if (!t) return;
    VSC_Free_BIGINT(t->serialNumber);
    free_ASN1_STRING(t->signature);
    free_X509_NAME(t->issuer);
    free_X509_VALIDITY(t->validity);
    free_X509_NAME(t->subject);
    free_X509_PUBKEY(t->subjectPublicKeyInfo);
    free_X509_EXTENSIONS(t->extensions);
    free_ASN1_STRING(t->signatureParameters);
    free_ASN1_STRING(t->issuerUniqueID);
    free_ASN1_STRING(t->subjectUniqueID);
    freeReceived(t->received);
    *t = X509_TBS_CERT{};
}

ZUNPKI_API void free_X509_TBS_CERT(X509_TBS_CERT* t) {
    clean_X509_TBS_CERT(t);
    PKI_FREE(t);
}

ZUNPKI_API X509_TBS_CERT* dup_X509_TBS_CERT(const X509_TBS_CERT* t) {
    if (!t) return nullptr;
    Tbs c(new_X509_TBS_CERT());
    if (!c) return nullptr;
    c->version = t->version;
    if (!copyMember(c->serialNumber, t->serialNumber, VSC_Dup_BIGINT) ||
        !copyMember(c->signature, t->signature, dup_ASN1_STRING) ||
        !copyMember(c->signatureParameters, t->signatureParameters, dup_ASN1_STRING) ||
        !copyMember(c->issuer, t->issuer, dup_X509_NAME) || !copyMember(c->validity, t->validity, dup_X509_VALIDITY) ||
        !copyMember(c->subject, t->subject, dup_X509_NAME) ||
        !copyMember(c->subjectPublicKeyInfo, t->subjectPublicKeyInfo, dup_X509_PUBKEY) ||
        !copyMember(c->issuerUniqueID, t->issuerUniqueID, dup_ASN1_STRING) ||
        !copyMember(c->subjectUniqueID, t->subjectUniqueID, dup_ASN1_STRING) ||
        !copyMember(c->extensions, t->extensions, dup_X509_EXTENSIONS) || !copyReceived(t, c.get()))
        return nullptr;
    return c.release();
}

ZUNPKI_API X509_CERT* new_X509_CERT(void) {
    Cert c(PKI_NEW(X509_CERT));
    if (!c || !(c->tbs = new_X509_TBS_CERT())) return nullptr;
    return c.release();
}

ZUNPKI_API void clean_X509_CERT(X509_CERT* c) {
    if (!c) return;
    free_X509_TBS_CERT(c->tbs);
    free_ASN1_STRING(c->signatureAlgorithm);
    free_ASN1_STRING(c->signatureValue);
    free_X509_AUX(c->aux);
    free_ASN1_STRING(c->signatureParameters);
    freeReceived(c->received);
    *c = X509_CERT{};
}

ZUNPKI_API void free_X509_CERT(X509_CERT* c) {
    clean_X509_CERT(c);
    PKI_FREE(c);
}

ZUNPKI_API X509_CERT* dup_X509_CERT(const X509_CERT* c) {
    if (!c) return nullptr;
    Cert copy(PKI_NEW(X509_CERT));
    if (!copy || !copyMember(copy->tbs, c->tbs, dup_X509_TBS_CERT) ||
        !copyMember(copy->signatureAlgorithm, c->signatureAlgorithm, dup_ASN1_STRING) ||
        !copyMember(copy->signatureParameters, c->signatureParameters, dup_ASN1_STRING) ||
        !copyMember(copy->signatureValue, c->signatureValue, dup_ASN1_STRING) ||
        !copyMember(copy->aux, c->aux, dup_X509_AUX) || !copyReceived(c, copy.get()))
        return nullptr;
    return copy.release();
}

ZUNPKI_API int cmp_X509_CERT(const X509_CERT* a, const X509_CERT* b) {
    DerBytes x, y;
    if (!a || !b || zpki::x509::certDer(a, x) != 0 || zpki::x509::certDer(b, y) != 0) return 1;
    if (x.size != y.size) return x.size < y.size ? -1 : 1;
    const int c = std::memcmp(x.data, y.data, x.size);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

ZUNPKI_API void touch_X509_CERT(X509_CERT* cert) { dropReceived(cert); }

ZUNPKI_API X509_TIME* new_X509_TIME(void) { return PKI_NEW(X509_TIME); }

// The value is released whatever the type says.
ZUNPKI_API void clean_X509_TIME(X509_TIME* t) {
    if (!t) return;
    free_ASN1_STRING(t->value);
    *t = X509_TIME{};
}

ZUNPKI_API void free_X509_TIME(X509_TIME* t) {
    clean_X509_TIME(t);
    PKI_FREE(t);
}

ZUNPKI_API X509_TIME* dup_X509_TIME(const X509_TIME* t) {
    if (!t) return nullptr;
    X509_TIME* c = new_X509_TIME();
    if (!c || !copyMember(c->value, t->value, dup_ASN1_STRING)) {
        free_X509_TIME(c);
        return nullptr;
    }
    c->type = t->type;
    return c;
}

ZUNPKI_API int cmp_X509_TIME(const X509_TIME* a, const X509_TIME* b) {
    if (a == b) return 0;
    if (!a || !b) return a ? 1 : -1;
    if (a->type != b->type) return a->type < b->type ? -1 : 1;
    return cmp_ASN1_STRING(a->value, b->value);
}

ZUNPKI_API int copy_X509_TIME(const X509_TIME* from, X509_TIME* to) {
    if (!from || !to || !timeUsable(from)) return 1;
    ASN1_STRING* value = dup_ASN1_STRING(from->value);
    if (!value) return 1;
    free_ASN1_STRING(to->value);
    to->value = value;
    to->type = from->type;
    return 0;
}

// ===========================================================================
// Setters

ZUNPKI_API PKI_ERROR set_X509_version(X509_CERT* cert, unsigned int version) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t) return x509Err(F_SET_X509_VERSION, ERR_R_NULL_ARGUMENT);
    if ((version & 0xff) > 3) return x509Err(F_SET_X509_VERSION, ERR_R_INVALID_ELEMENT);
    t->version = static_cast<int>(version & 0xff);
    dropReceived(t);
    return 0;
}

ZUNPKI_API PKI_ERROR set_X509_serial(X509_CERT* cert, const BIGINT* serial) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t || !serial) return x509Err(F_SET_X509_SERIAL, ERR_R_NULL_ARGUMENT);
    if (!t->serialNumber) {
        if (!(t->serialNumber = VSC_Dup_BIGINT(serial))) return x509Err(F_SET_X509_SERIAL, ERR_R_ALLOC);
    } else if (VSC_Cmp_BIGINT(t->serialNumber, serial) != 0 && VSC_Copy_BIGINT(t->serialNumber, serial) != 0) {
        return x509Err(F_SET_X509_SERIAL, ERR_R_ALLOC);
    }
    dropReceived(t);
    return 0;
}

ZUNPKI_API PKI_ERROR set_X509_signature(X509_CERT* cert, const OBJECT_IDENTIFIER* oid) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t || !oid) return x509Err(F_SET_X509_SIGNATURE, ERR_R_NULL_ARGUMENT);
    OBJECT_IDENTIFIER* copy = dup_ASN1_STRING(oid);
    if (!copy) return x509Err(F_SET_X509_SIGNATURE, ERR_R_ALLOC_3C);
    // Parameters belong to the algorithm they came with.
    if (cmp_ASN1_STRING(t->signature, oid) != 0) {
        free_ASN1_STRING(t->signatureParameters);
        t->signatureParameters = nullptr;
    }
    free_ASN1_STRING(t->signature);
    t->signature = copy;
    dropReceived(t);
    return 0;
}

}  // extern "C"

namespace {

PKI_ERROR setName(X509_CERT* cert, const X509_NAME* name, X509_NAME* X509_TBS_CERT::*member, unsigned func) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t || !name) return x509Err(func, ERR_R_NULL_ARGUMENT);
    X509_NAME* copy = dup_X509_NAME(name);
    if (!copy) return x509Err(func, ERR_R_ALLOC);
    free_X509_NAME(t->*member);
    t->*member = copy;
    dropReceived(t);
    return 0;
}

PKI_ERROR setTime(X509_CERT* cert, const X509_TIME* time, X509_TIME* X509_VALIDITY::*member, unsigned func) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t || !time) return x509Err(func, ERR_R_NULL_ARGUMENT);
    if (!timeUsable(time)) return 1;
    if (!t->validity && !(t->validity = new_X509_VALIDITY())) return x509Err(func, ERR_R_ALLOC);
    X509_TIME*& slot = t->validity->*member;
    if (!slot && !(slot = new_X509_TIME())) return x509Err(func, ERR_R_ALLOC);
    dropReceived(t);
    return copy_X509_TIME(time, slot);
}

int setAux(X509_CERT* cert, const unsigned char* bytes, int len, ASN1_STRING* X509_AUX::*member,
           ASN1_STRING* (*make)(const unsigned char*, int)) {
    if (!cert) return 1;
    if (!bytes) {
        if (cert->aux) {
            free_ASN1_STRING(cert->aux->*member);
            cert->aux->*member = nullptr;
        }
        return 0;
    }
    if (len < 0) return 1;
    if (!cert->aux && !(cert->aux = new_X509_AUX())) return 1;
    ASN1_STRING* value = make(bytes, len);
    if (!value) return 1;
    free_ASN1_STRING(cert->aux->*member);
    cert->aux->*member = value;
    return 0;
}

unsigned char* getAux(const X509_CERT* cert, int* len, ASN1_STRING* X509_AUX::*member) {
    const ASN1_STRING* v = cert && cert->aux ? cert->aux->*member : nullptr;
    if (!v) return nullptr;
    if (len) *len = v->length;
    return v->data;
}

}  // namespace

extern "C" {

ZUNPKI_API PKI_ERROR set_X509_issuer(X509_CERT* cert, const X509_NAME* name) {
    return setName(cert, name, &X509_TBS_CERT::issuer, F_SET_X509_ISSUER);
}

ZUNPKI_API PKI_ERROR set_X509_subject(X509_CERT* cert, const X509_NAME* name) {
    return setName(cert, name, &X509_TBS_CERT::subject, F_SET_X509_SUBJECT);
}

ZUNPKI_API PKI_ERROR set_X509_notAfter(X509_CERT* cert, const X509_TIME* time) {
    return setTime(cert, time, &X509_VALIDITY::notAfter, F_SET_X509_NOTAFTER);
}

ZUNPKI_API PKI_ERROR set_X509_notBefore(X509_CERT* cert, const X509_TIME* time) {
    return setTime(cert, time, &X509_VALIDITY::notBefore, F_SET_X509_NOTBEFORE);
}

ZUNPKI_API PKI_ERROR set_X509_pub_key(X509_CERT* cert, const X509_PUBKEY* key) {
    X509_TBS_CERT* t = tbsOf(cert);
    if (!t || !key || !key->algorithm || !key->key || !key->key->key)
        return x509Err(F_SET_X509_PUB_KEY, ERR_R_NULL_ARGUMENT);
    Owned<X509_PUBKEY, free_X509_PUBKEY> made(new_X509_PUBKEY());
    if (!made) return x509Err(F_SET_X509_PUB_KEY, ERR_R_ALLOC);
    int rc;
    switch (key->key->kind) {
        case ASYMMETRIC_KEY_RSA:
            rc = set_X509_PUBKEY_rsa(made.get(), static_cast<const RSA_UNIT*>(key->key->key));
            break;
        case ASYMMETRIC_KEY_KCDSA:
            rc = set_X509_PUBKEY_kcdsa(made.get(), static_cast<const KCDSA_UNIT*>(key->key->key));
            break;
        default:
            rc = 1;
            break;
    }
    if (rc != 0) return x509Err(F_SET_X509_PUB_KEY, ERR_R_INVALID_ELEMENT);
    free_X509_PUBKEY(t->subjectPublicKeyInfo);
    t->subjectPublicKeyInfo = made.release();
    dropReceived(t);
    return 0;
}

// ===========================================================================
// Getters

ZUNPKI_API int get_X509_version(const X509_CERT* cert) { return cert && cert->tbs ? cert->tbs->version & 0xff : 1; }
ZUNPKI_API BIGINT* get_X509_serial(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->tbs->serialNumber : nullptr;
}
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_signature(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->tbs->signature : nullptr;
}
ZUNPKI_API X509_NAME* get_X509_issuer(const X509_CERT* cert) { return cert && cert->tbs ? cert->tbs->issuer : nullptr; }
ZUNPKI_API X509_NAME* get_X509_subject(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->tbs->subject : nullptr;
}
ZUNPKI_API X509_TIME* get_X509_notBefore(const X509_CERT* cert) {
    return cert && cert->tbs && cert->tbs->validity ? cert->tbs->validity->notBefore : nullptr;
}
ZUNPKI_API X509_TIME* get_X509_notAfter(const X509_CERT* cert) {
    return cert && cert->tbs && cert->tbs->validity ? cert->tbs->validity->notAfter : nullptr;
}
ZUNPKI_API X509_PUBKEY* get_X509_SPKI(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->tbs->subjectPublicKeyInfo : nullptr;
}
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_sig_alg(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->signatureAlgorithm : nullptr;
}
ZUNPKI_API BIT_STRING* get_X509_sig_value(const X509_CERT* cert) {
    return cert && cert->tbs ? cert->signatureValue : nullptr;
}

// ===========================================================================
// Codecs

ZUNPKI_API PKI_ERROR Seq_to_X509_TBS_CERT(const ASN1_UNIT* node, X509_CERT* cert) {
    if (!node || !cert) return x509Err(F_SEQ_TO_X509_TBS_CERT, ERR_R_NULL_ARGUMENT);
    ber::Bytes bytes;
    der::Element whole;
    if (!zpki::x509::wholeElement(node, bytes, whole)) return x509Err(F_SEQ_TO_X509_TBS_CERT, ERR_ASN1_DECODING);
    X509_TBS_CERT* made = nullptr;
    if (unsigned reason = decodeTbs(whole, made)) return x509Err(F_SEQ_TO_X509_TBS_CERT, reason);
    free_X509_TBS_CERT(cert->tbs);
    cert->tbs = made;
    freeReceived(cert->received);
    return 0;
}

ZUNPKI_API PKI_ERROR X509_TBS_CERT_to_Seq(const X509_TBS_CERT* tbs, ASN1_UNIT** node) {
    if (!tbs || !node) return x509Err(F_X509_TBS_CERT_TO_SEQ, ERR_R_NULL_ARGUMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::tbsDer(tbs, der)) return rc;
    return zpki::x509::derToNode(der, node, L_X509 | F_X509_TBS_CERT_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_CERT(const ASN1_UNIT* node, X509_CERT** cert) {
    if (!node || !cert) return x509Err(F_SEQ_TO_X509_CERT, ERR_R_NULL_ARGUMENT);
    const PKI_ERROR bad = x509Err(F_SEQ_TO_X509_CERT, ERR_ASN1_DECODING);
    ber::Bytes bytes;
    der::Element whole;
    if (!zpki::x509::wholeElement(node, bytes, whole) || whole.identifier != 0x30) return bad;
    Decoder d(der::Cursor(whole.contents, whole.contentsSize));
    if (!d.more()) return 1;
    der::Element tbsElement, algElement, sigElement;
    // Exactly TBSCertificate, signatureAlgorithm and signatureValue.
    if (!d.next(tbsElement) || !d.next(algElement) || !d.next(sigElement) || d.more() ||
        !BitString::matches(sigElement.identifier))
        return bad;
    Cert made(PKI_NEW(X509_CERT));
    if (!made) return x509Err(F_SEQ_TO_X509_CERT, ERR_R_ALLOC_3C);
    if (tbsElement.identifier != 0x30) return bad;
    if (unsigned reason = decodeTbs(tbsElement, made->tbs)) return x509Err(F_SEQ_TO_X509_TBS_CERT, reason);
    if (!zpki::x509::readAlgorithm(algElement, made->signatureAlgorithm, made->signatureParameters) ||
        !BitString::decodeContents(sigElement, made->signatureValue))
        return bad;
    if (!keep(made.get(), bytes.data(), bytes.size())) return x509Err(F_SEQ_TO_X509_CERT, ERR_R_ALLOC_3C);
    zpki::asn1::deliver<clean_X509_CERT>(made, cert);
    return 0;
}

ZUNPKI_API PKI_ERROR X509_CERT_to_Seq(const X509_CERT* cert, ASN1_UNIT** node) {
    if (!node) return x509Err(F_X509_CERT_TO_SEQ, ERR_R_NULL_ARGUMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::certDer(cert, der)) return rc;
    return zpki::x509::derToNode(der, node, L_X509 | F_X509_CERT_TO_SEQ);
}

// ===========================================================================
// Extras and helpers

ZUNPKI_API int set_X509_AUX_localkey(X509_CERT* cert, const unsigned char* bytes, int len) {
    return setAux(cert, bytes, len, &X509_AUX::localKeyId, new_OCTET_STRING);
}

ZUNPKI_API int set_X509_AUX_friendly(X509_CERT* cert, const unsigned char* text, int len) {
    return setAux(cert, text, len, &X509_AUX::friendlyName, new_UTF8_STRING);
}

ZUNPKI_API unsigned char* get_X509_AUX_localkey(const X509_CERT* cert, int* len) {
    return getAux(cert, len, &X509_AUX::localKeyId);
}

ZUNPKI_API unsigned char* get_X509_AUX_friendly(const X509_CERT* cert, int* len) {
    return getAux(cert, len, &X509_AUX::friendlyName);
}

ZUNPKI_API int X509_CERT_digest(const X509_CERT* cert, int digestId, unsigned char* out, int* out_len) {
    DerBytes der;
    if (!cert || !out || zpki::x509::certDer(cert, der) != 0 || der.size > static_cast<size_t>(INT_MAX)) return 1;
    return VSC_DIGEST(digestId, der.data, static_cast<int>(der.size), out, out_len);
}

ZUNPKI_API int get_X509_PUBLIC_KEY_hash(const X509_CERT* cert, int digestId, unsigned char* out) {
    const X509_PUBKEY* pk = get_X509_SPKI(cert);
    if (!pk || !pk->key || !pk->key->key) return 1;
    if (!out) return 0;
    BIT_STRING* bits = nullptr;
    PKI_ERROR rc;
    switch (pk->key->kind) {
        case ASYMMETRIC_KEY_RSA:
            rc = RSA_KEY_to_BITSTRING(static_cast<const RSA_UNIT*>(pk->key->key), &bits);
            break;
        case ASYMMETRIC_KEY_KCDSA:
            rc = KCDSA_KEY_to_BITSTRING(static_cast<const KCDSA_UNIT*>(pk->key->key), &bits);
            break;
        default:
            return 0;
    }
    String owned(bits);
    int len = 0;
    if (rc != 0 || !bits || VSC_DIGEST(digestId, bits->data, bits->length, out, &len) != 0) return 0;
    return len;
}

ZUNPKI_API void print_X509_serial(const X509_CERT* cert) {
    std::printf("+ Serial : ");
    VSC_Print_BIGINT(get_X509_serial(cert));
}

ZUNPKI_API void print_X509(const X509_CERT* cert) {
    const X509_TBS_CERT* t = tbsOf(cert);
    if (!t) return;
    std::printf("+ Version : %02X\n", t->version & 0xff);
    print_X509_serial(cert);
    std::printf("+ Signature : ");
    print_ASN1STRING(t->signature);
    std::printf("+ Issuer : \n");
    printName(t->issuer);
    std::printf("+ Validity\n");
    std::printf("  -  notBefore : ");
    print_ASN1STRING(t->validity && t->validity->notBefore ? t->validity->notBefore->value : nullptr);
    std::printf("  -  notAfter : ");
    print_ASN1STRING(t->validity && t->validity->notAfter ? t->validity->notAfter->value : nullptr);
    std::printf("+ Subject : \n");
    printName(t->subject);
    const X509_PUBKEY* pk = t->subjectPublicKeyInfo;
    if (!pk) return;
    std::printf("+ SPKI\n");
    if (pk->algorithm) printAlgorithm(pk->algorithm);
    if (pk->key && pk->key->kind == ASYMMETRIC_KEY_RSA && pk->key->key) {
        const auto* rsa = static_cast<const RSA_UNIT*>(pk->key->key);
        std::printf("  -  n : ");
        VSC_Print_BIGINT(rsa->n);
        std::printf("  -  e : ");
        VSC_Print_BIGINT(rsa->e);
    }
    if (cert->signatureAlgorithm) {
        std::printf("+ SIG and VALUE\n");
        printAlgorithm(cert->signatureAlgorithm);
    }
    if (cert->signatureValue) {
        std::printf("  -  value : ");
        VKL_print_hex(cert->signatureValue->data, cert->signatureValue->length);
    }
    unsigned char hash[VSC_MAX_DIGEST_LENGTH];
    const int n = get_X509_PUBLIC_KEY_hash(cert, VSC_DIGEST_SHA1, hash);
    std::printf("+ SPKI Hash\n");
    std::printf("  -  value : ");
    VKL_print_hex_nl(hash, n > 1 ? n : 0);
}

}  // extern "C"

// X.509 certificates: records described once, setters and getters, the DER
// kept from decoding, digest and diagnostic print.
#include <zunPKI/x509/x509_cert.h>

#include <cstdio>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/asn1_time.hpp"
#include <zunPKI/asn1/utils.h>
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;
namespace der = zpki::der;
using zpki::Owned;
using namespace zpki::x509;

template <>
struct zpki::asn1::Describe<X509_VALIDITY> {
    using Shape = Sequence<Field<&X509_VALIDITY::notBefore, TimeCodec, ERR_TBS_CERT_VALIDITY>,
                           Field<&X509_VALIDITY::notAfter, TimeCodec, ERR_TBS_CERT_VALIDITY>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_VALIDITY)

// Never encoded: the shape only gives the lifecycle.
template <>
struct zpki::asn1::Describe<X509_AUX> {
    using Shape = Sequence<Field<&X509_AUX::friendlyName, Optional<Utf8String>>,
                           Field<&X509_AUX::localKeyId, Optional<OctetString>>>;
};
ZPKI_STRUCT_LIFECYCLE(X509_AUX)

namespace {

constexpr PKI_ERROR x509Err(unsigned func, unsigned reason) { return PKI_ERR(L_X509, func, reason); }

// version [0] EXPLICIT Version DEFAULT v1: the low byte of the member; v1 to
// v3 are read.
struct CertVersion : Explicit<0, SmallInt<>> {
    using WriteOwner = CertVersion;
    using Base = Explicit<0, SmallInt<>>;
    static constexpr bool kOptional = true;
    static constexpr int kDefault = 0;
    static bool present(const int& v) { return (v & 0xff) != 0; }
    static bool decodeContents(const Element& e, int& out) {
        return Base::decodeContents(e, out) && out >= 0 && out <= 2;
    }
    static bool write(const int& v, Writer& w) { return Base::write(v & 0xff, w); }
    static bool encode(const int& v, ASN1_UNIT* parent) { return encodeByWriting<CertVersion>(v, parent); }
};

// A validity is there when both its times read: a bound nobody can check
// makes the certificate unusable.
struct ValidityCodec : Sub<X509_VALIDITY> {
    using WriteOwner = ValidityCodec;
    static bool present(const Value& v) { return v && timeUsable(v->notBefore) && timeUsable(v->notAfter); }
};

}  // namespace

// TBSCertificate (RFC 5280 4.1), unique identifiers included: no CA should
// issue them, but a reader should accept them.
template <>
struct zpki::asn1::Describe<X509_TBS_CERT> {
    using T = X509_TBS_CERT;
    using Shape = Sequence<Field<&T::version, CertVersion>,                        //
                           Field<&T::serialNumber, Integer, ERR_TBS_CERT_SERIAL>,  //
                           AlgorithmField<&T::signature, &T::signatureParameters, ERR_TBS_CERT_SIGNATURE>,
                           Field<&T::issuer, NameCodec, ERR_TBS_CERT_ISSUER>,                   //
                           Field<&T::validity, ValidityCodec, ERR_TBS_CERT_VALIDITY>,           //
                           Field<&T::subject, NameCodec, ERR_TBS_CERT_SUBJECT>,                 //
                           Field<&T::subjectPublicKeyInfo, PublicKeyCodec, ERR_TBS_CERT_SPKI>,  //
                           Field<&T::issuerUniqueID, Optional<Implicit<1, BitString>>>,         //
                           Field<&T::subjectUniqueID, Optional<Implicit<2, BitString>>>,        //
                           Field<&T::extensions, Optional<Explicit<3, zpki::x509::ExtensionsCodec>>>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_X509 | F_X509_TBS_CERT_TO_SEQ;
    // Fewer than the six required elements is an invalid body, anything else
    // that does not read a malformed one.
    static PKI_ERROR decodeError(const Element& e) {
        int n = 0;
        Decoder d(der::Cursor(e.contents, e.contentsSize));
        for (Element x; d.more() && d.next(x);) ++n;
        return x509Err(F_SEQ_TO_X509_TBS_CERT, n < 6 ? ERR_R_INVALID_ELEMENT : ERR_ASN1_DECODING);
    }
};

// Certificate: exactly the body, signatureAlgorithm and signatureValue.
template <>
struct zpki::asn1::Describe<X509_CERT> {
    using T = X509_CERT;
    using Shape = Sequence<Field<&T::tbs, Sub<X509_TBS_CERT>>,                               //
                           AlgorithmField<&T::signatureAlgorithm, &T::signatureParameters>,  //
                           Field<&T::signatureValue, BitString>,                             //
                           Field<&T::aux, NotEncoded<Sub<X509_AUX>>>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_X509 | F_X509_CERT_TO_SEQ;
    static Kept* keep(const Element& e, const T& r, uint64_t mark) {
        return zpki::x509::keepSigned<T, X509_TBS_CERT, &T::tbs>(e, r, mark);
    }
};

namespace {

using Tbs = Family<X509_TBS_CERT>;
using CertFamily = Family<X509_CERT>;
using Signed =
    zpki::x509::SignedFamily<X509_CERT, X509_TBS_CERT, &X509_CERT::tbs, zpki::x509::certDer, zpki::x509::tbsDer>;

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

bool TimeCodec::write(const Value& v, Writer& w) {
    if (!timeUsable(v)) return false;
    return v->type == X509_TIME_UTC ? UtcTime::write(v->value, w) : GeneralizedTime::write(v->value, w);
}

bool CertCodec::decodeContents(const Element& e, Value& out) {
    X509_CERT* r = PKI_NEW(X509_CERT);
    if (!r) return false;
    if (!CertFamily::decodeElement(e, *r)) {
        PKI_FREE(r);
        return false;
    }
    out = r;
    return true;
}

bool CertCodec::write(const Value& v, Writer& w) {
    DerBytes der;
    if (!v || certDer(v, der) != 0) return false;
    w.raw(der.data, der.size);
    return true;
}

PKI_ERROR tbsDer(const X509_TBS_CERT* tbs, DerBytes& out) { return bodyDerOf(tbs, out); }
PKI_ERROR certDer(const X509_CERT* cert, DerBytes& out) { return signedDerOf<X509_CERT, &X509_CERT::tbs>(cert, out); }

void dropReceived(X509_TBS_CERT* tbs) {
    if (tbs) detail::RecordOps<X509_TBS_CERT>::forget(*tbs);
}

void dropReceived(X509_CERT* cert) { dropSigned<X509_CERT, X509_TBS_CERT, &X509_CERT::tbs>(cert); }

}  // namespace zpki::x509

using zpki::x509::dropReceived;

ZPKI_SIGNED_LIFECYCLE(X509_CERT, Signed)

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API X509_TBS_CERT* new_X509_TBS_CERT(void) { return Tbs::create(); }
ZUNPKI_API void clean_X509_TBS_CERT(X509_TBS_CERT* t) { Tbs::clean(t); }
ZUNPKI_API void free_X509_TBS_CERT(X509_TBS_CERT* t) { Tbs::destroy(t); }
ZUNPKI_API X509_TBS_CERT* dup_X509_TBS_CERT(const X509_TBS_CERT* t) { return Tbs::dup(t); }

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
    if (!c || (t->value && !(c->value = dup_ASN1_STRING(t->value)))) {
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
    return Signed::bodyFromSeq(node, cert, L_X509 | F_SEQ_TO_X509_TBS_CERT);
}

ZUNPKI_API PKI_ERROR X509_TBS_CERT_to_Seq(const X509_TBS_CERT* tbs, ASN1_UNIT** node) {
    return Signed::bodyToSeq(tbs, node, L_X509 | F_X509_TBS_CERT_TO_SEQ);
}

// An empty Certificate SEQUENCE gives 1.
ZUNPKI_API PKI_ERROR Seq_to_X509_CERT(const ASN1_UNIT* node, X509_CERT** cert) {
    Element e;
    if (node && cert && elementOf(node, e) && e.identifier == 0x30 && e.contentsSize == 0) return 1;
    return Signed::fromSeq(node, cert, L_X509 | F_SEQ_TO_X509_CERT);
}

ZUNPKI_API PKI_ERROR X509_CERT_to_Seq(const X509_CERT* cert, ASN1_UNIT** node) {
    return Signed::toSeq(cert, node, L_X509 | F_X509_CERT_TO_SEQ);
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

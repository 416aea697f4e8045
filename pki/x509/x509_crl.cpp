// Certificate revocation lists: records described once (keeping the DER
// received), setters and getters, entries, signing and signature checks.
#include <zunPKI/x509/x509_crl.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_algorithm.hpp"
#include "x509/x509_cert.hpp"
#include "x509/x509_crl.hpp"
#include "x509/x509_list.hpp"
#include "x509/x509_name.hpp"
#include "x509/x509_signing.hpp"
#include "x509/x509v3.hpp"

using namespace zpki::asn1;
namespace der = zpki::der;
using zpki::Owned;
using namespace zpki::x509;

namespace {

constexpr PKI_ERROR crlErr(unsigned func, unsigned reason) { return PKI_ERR(L_X509_CRL, func, reason); }

constexpr int kRowCrlReason = 141;

}  // namespace

// An entry is exactly serial, date and optional non-empty extensions. It
// keeps a fingerprint of what was decoded; a setter clears it, and a member
// replaced in place no longer matches it.
template <>
struct zpki::asn1::Describe<X509_REVOKED> {
    using T = X509_REVOKED;
    using Shape = Sequence<Field<&T::userCertificate, Integer>,                       //
                           Field<&T::revocationDate, TimeCodec>,                      //
                           Field<&T::crlEntryExtensions, Optional<ExtensionsCodec>>,  //
                           Field<&T::position, NotEncoded<SmallInt<>>>>;
    static constexpr auto kFingerprint = &T::received;
};
ZPKI_STRUCT_LIFECYCLE(X509_REVOKED)

namespace {

using Entry = Owned<X509_REVOKED, free_X509_REVOKED>;
using Revoked = Family<X509_REVOKED>;

// Entries are ordered by serial number (the compare function of the list).
int compareSerials(const X509_REVOKED* a, const X509_REVOKED* b) {
    const BIGINT* x = a ? a->userCertificate : nullptr;
    const BIGINT* y = b ? b->userCertificate : nullptr;
    if (!x || !y) return x ? 1 : y ? -1 : 0;
    return VSC_Cmp_BIGINT(x, y);
}

int compareEntrySlots(const void* a, const void* b) {
    return compareSerials(*static_cast<const X509_REVOKED* const*>(a), *static_cast<const X509_REVOKED* const*>(b));
}

STACK* newEntryList() { return new_STACK_compare_func(compareEntrySlots); }

// The entries of a revokedCertificates element appended to list, numbered
// from first. 0, 1 for an empty list, or a code of Seq_to_X509_REVOKED.
PKI_ERROR decodeEntries(const der::Element& e, STACK* list, int first) {
    const PKI_ERROR bad = crlErr(F_SEQ_TO_X509_REVOKED, ERR_ASN1_DECODING);
    if (e.identifier != 0x30) return bad;
    if (e.contentsSize == 0) return 1;
    if (!zpki::reserveStack(list, countOf(list) + countElements(e)))
        return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_ALLOC_3C);
    Decoder items(der::Cursor(e.contents, e.contentsSize));
    for (int position = first; items.more(); ++position) {
        der::Element x;
        if (!items.next(x) || x.identifier != 0x30) return bad;
        Entry entry(PKI_NEW(X509_REVOKED));
        if (!entry) return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_ALLOC_3C);
        if (!Revoked::decodeElement(x, *entry)) return bad;
        entry->position = position;
        if (push_STACK_value(list, entry.get()) == 0) return bad;
        (void)entry.release();
    }
    return 0;
}

// revokedCertificates: SEQUENCE OF entry, left out when empty; a list the
// body always has (sorted by serial number on request).
struct EntriesCodec {
    using WriteOwner = EntriesCodec;
    using Value = STACK*;
    static constexpr bool kOptional = true;
    static bool matches(uint8_t id) { return id == 0x30; }
    static bool decodeContents(const Element& e, Value& out) {
        Owned<STACK, free_X509_REVOKED_LIST> list(newEntryList());
        const PKI_ERROR rc = list ? decodeEntries(e, list.get(), 0) : crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_ALLOC_3C);
        if (rc) {
            DecodeFailure::note(rc);
            return false;
        }
        out = list.release();
        return true;
    }
    static bool whenAbsent(Value& v) { return (v = newEntryList()) != nullptr; }
    static bool init(Value& v) { return whenAbsent(v); }
    // 0 or a whole code of X509_REVOKED_to_Seq.
    static int writeReason(const Value& v, Writer& w) {
        const size_t start = w.open(0x30);
        for (int i = 0; i < countOf(v); ++i) {
            const auto* entry = static_cast<const X509_REVOKED*>(v->items[i]);
            if (!entry) return crlErr(F_X509_REVOKED_TO_SEQ, ERR_R_INVALID_ELEMENT);
            if (!Sub<X509_REVOKED>::write(const_cast<X509_REVOKED*>(entry), w))
                return crlErr(F_X509_REVOKED_TO_SEQ, ERR_ASN1_ENCODING);
        }
        return w.close(start) ? 0 : crlErr(F_X509_REVOKED_TO_SEQ, ERR_ASN1_ENCODING);
    }
    static bool write(const Value& v, Writer& w) { return writeReason(v, w) == 0; }
    static bool encode(const Value& v, ASN1_UNIT* parent) { return encodeByWriting<EntriesCodec>(v, parent); }
    static bool present(const Value& v) { return countOf(v) > 0; }
    static void release(Value& v) {
        free_X509_REVOKED_LIST(v);
        v = nullptr;
    }
    static bool copy(const Value& from, Value& to) {
        if (!from) return true;
        Owned<STACK, free_X509_REVOKED_LIST> list(newEntryList());
        if (!list) return false;
        for (int i = 0; i < countOf(from); ++i) {
            Entry copy(dup_X509_REVOKED(static_cast<const X509_REVOKED*>(from->items[i])));
            if (!copy || push_STACK_value(list.get(), copy.get()) == 0) return false;
            (void)copy.release();
        }
        list->sorted = from->sorted;
        to = list.release();
        return true;
    }
    static int compare(const Value& a, const Value& b) { return SequenceOf<Sub<X509_REVOKED>>::compare(a, b); }
    // The entries by address, not by order: sorting them for lookups does
    // not change what was signed. Each entry must still be what was decoded.
    static void mark(const Value& v, Mark& m) {
        m.address(v);
        uint64_t sum = 0;
        bool decoded = true;
        for (int i = 0; i < countOf(v); ++i) {
            const auto* entry = static_cast<const X509_REVOKED*>(v->items[i]);
            sum += reinterpret_cast<uintptr_t>(entry);
            decoded = decoded && (m.fresh || (entry && detail::RecordOps<X509_REVOKED>::stillDecoded(*entry)));
        }
        m.word(static_cast<uint64_t>(countOf(v)));
        m.word(sum);
        m.word(decoded);
    }
};

// The version of a TBSCertList: a small non-negative INTEGER, written always.
struct CrlVersion : SmallInt<> {
    using WriteOwner = CrlVersion;
    static constexpr bool kOptional = true;
    static bool decodeContents(const Element& e, int& version) {
        if (e.constructed() || e.contentsSize == 0 || e.contentsSize > 2 || (e.contents[0] & 0x80)) {
            DecodeFailure::note(crlErr(F_SEQ_TO_X509_CRL_INFO, ERR_R_INVALID_ELEMENT));
            return false;
        }
        const unsigned v = e.contentsSize == 1 ? e.contents[0] : (e.contents[0] << 8 | e.contents[1]);
        if (v > 0xff) {
            DecodeFailure::note(crlErr(F_SEQ_TO_X509_CRL_INFO, ERR_R_INVALID_ELEMENT));
            return false;
        }
        version = static_cast<int>(v);
        return true;
    }
    static bool write(const int& v, Writer& w) { return SmallInt<>::write(v & 0xff, w); }
    static bool encode(const int& v, ASN1_UNIT* parent) { return encodeByWriting<CrlVersion>(v, parent); }
};

// crlExtensions [0]: a list the body always has, left out when empty.
struct CrlExtensionsCodec : Explicit<0, ExtensionsCodec> {
    using WriteOwner = CrlExtensionsCodec;
    static constexpr bool kOptional = true;
    static bool whenAbsent(Value& v) { return (v = new_X509_EXTENSIONS()) != nullptr; }
    static bool init(Value& v) { return whenAbsent(v); }
};

}  // namespace

// TBSCertList: members told by their identifiers (version, nextUpdate, the
// entries and the extensions may each be missing).
template <>
struct zpki::asn1::Describe<X509_CRL_INFO> {
    using T = X509_CRL_INFO;
    using Shape = Sequence<Field<&T::version, CrlVersion>,                                               //
                           AlgorithmField<&T::signature, &T::signatureParameters, ERR_R_NULL_ARGUMENT>,  //
                           Field<&T::issuer, NameCodec, ERR_R_NULL_ARGUMENT>,                            //
                           Field<&T::thisUpdate, TimeCodec, ERR_R_NULL_ARGUMENT>,                        //
                           Field<&T::nextUpdate, Optional<TimeCodec>>,                                   //
                           Field<&T::revokedCertificates, EntriesCodec>,                                 //
                           Field<&T::crlExtensions, CrlExtensionsCodec>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_X509_CRL | F_X509_CRL_INFO_TO_SEQ;
    static PKI_ERROR decodeError(const Element&) { return crlErr(F_SEQ_TO_X509_CRL_INFO, ERR_ASN1_DECODING); }
};

// CertificateList: exactly the body, signatureAlgorithm and signatureValue.
template <>
struct zpki::asn1::Describe<X509_CRL> {
    using T = X509_CRL;
    using Shape = Sequence<Field<&T::info, Sub<X509_CRL_INFO>>,                              //
                           AlgorithmField<&T::signatureAlgorithm, &T::signatureParameters>,  //
                           Field<&T::signatureValue, BitString>>;
    static constexpr auto kReceived = &T::received;
    static constexpr unsigned kEncodeFunc = L_X509_CRL | F_X509_CRL_TO_SEQ;
    static Kept* keep(const Element& e, const T& r, uint64_t mark) {
        return zpki::x509::keepSigned<T, X509_CRL_INFO, &T::info>(e, r, mark);
    }
};

namespace {

using Info = Family<X509_CRL_INFO>;

void markChanged(X509_REVOKED* r) { detail::RecordOps<X509_REVOKED>::forget(*r); }

void dropReceived(X509_CRL* crl) { zpki::x509::dropSigned<X509_CRL, X509_CRL_INFO, &X509_CRL::info>(crl); }

X509_CRL_INFO* infoOf(const X509_CRL* crl) { return crl ? crl->info : nullptr; }

// The result of a key operation under this file's function byte. The shared
// checker reads a signature value that is not a KCDSA one as a decoding
// fault; for a CRL that is an invalid element.
PKI_ERROR kcdsaValueFault(PKI_ERROR rc, unsigned func) {
    return rc == crlErr(func, ERR_ASN1_DECODING) ? crlErr(func, ERR_R_INVALID_ELEMENT) : rc;
}

// The body and outer algorithms must agree (RFC 5280 5.1.1.2).
bool algorithmsAgree(const X509_CRL* crl) {
    return cmp_ASN1_STRING(crl->info->signature, crl->signatureAlgorithm) == 0 &&
           cmp_ASN1_STRING(crl->info->signatureParameters, crl->signatureParameters) == 0;
}

template <class Key, class Signer>
PKI_ERROR signInfo(const X509_CRL* crl, BIT_STRING** bits, const OBJECT_IDENTIFIER* alg, Key* key, unsigned func,
                   Signer signer) {
    if (!crl || !crl->info || !bits || !key) return crlErr(func, ERR_R_NULL_ARGUMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::crlInfoDer(crl->info, der)) return rc;
    BIT_STRING* made = nullptr;
    if (PKI_ERROR rc = signer(der.data, der.size, alg, key, &made, L_X509_CRL | func)) return rc;
    free_ASN1_STRING(*bits);
    *bits = made;
    return 0;
}

template <class Key, class Check>
PKI_ERROR verifyInfo(const X509_CRL* crl, const Key* key, unsigned func, Check check) {
    if (!crl || !crl->info || !crl->signatureValue || !key) return crlErr(func, ERR_R_NULL_ARGUMENT);
    if (!algorithmsAgree(crl)) return crlErr(func, ERR_R_INVALID_ELEMENT);
    DerBytes der;
    if (PKI_ERROR rc = zpki::x509::crlInfoDer(crl->info, der)) return rc;
    return check(der, L_X509_CRL | func);
}

// A setter's last step: replaces slot with fresh (1 when there is none) and
// drops the kept bytes of the body and the CRL.
template <class T, void (*Free)(T*)>
int install(X509_CRL* crl, T*& slot, T* fresh) {
    if (zpki::asn1::replace<Free>(slot, fresh) != 0) return 1;
    dropReceived(crl);
    return 0;
}

int setTime(X509_CRL* crl, const X509_TIME* time, X509_TIME* X509_CRL_INFO::*member) {
    X509_CRL_INFO* t = infoOf(crl);
    // A time that cannot be copied is refused before the list changes: an
    // empty slot would leave a list that no longer encodes or verifies.
    if (!t || !zpki::x509::timeUsable(time)) return 1;
    X509_TIME*& slot = t->*member;
    if (!slot && !(slot = new_X509_TIME())) return 1;
    dropReceived(crl);
    return copy_X509_TIME(time, slot);
}

}  // namespace

namespace zpki::x509 {

PKI_ERROR crlInfoDer(const X509_CRL_INFO* info, DerBytes& out) { return bodyDerOf(info, out); }
PKI_ERROR crlDer(const X509_CRL* crl, DerBytes& out) { return signedDerOf<X509_CRL, &X509_CRL::info>(crl, out); }

}  // namespace zpki::x509

namespace {
using Signed =
    zpki::x509::SignedFamily<X509_CRL, X509_CRL_INFO, &X509_CRL::info, zpki::x509::crlDer, zpki::x509::crlInfoDer>;
}  // namespace

ZPKI_SIGNED_LIFECYCLE(X509_CRL, Signed)

extern "C" {

// ===========================================================================
// Records

ZUNPKI_API void free_X509_REVOKED_LIST(STACK* list) { zpki::x509::freeList<X509_REVOKED, free_X509_REVOKED>(list); }

ZUNPKI_API X509_CRL_INFO* new_X509_CRL_INFO(void) { return Info::create(); }
ZUNPKI_API void free_X509_CRL_INFO(X509_CRL_INFO* t) { Info::destroy(t); }

ZUNPKI_API X509_CRLS* new_X509_CRLS(void) { return new_STACK(); }

ZUNPKI_API void free_X509_CRLS(X509_CRLS* list) { zpki::x509::freeList<X509_CRL, free_X509_CRL>(list); }

// ===========================================================================
// Setters and getters

ZUNPKI_API int set_X509_CRL_version(X509_CRL* crl, int version) {
    X509_CRL_INFO* t = infoOf(crl);
    if (!t) return 1;
    t->version = version;
    dropReceived(crl);
    return 0;
}

ZUNPKI_API int set_X509_CRL_signature(X509_CRL* crl, const OBJECT_IDENTIFIER* oid) {
    X509_CRL_INFO* t = infoOf(crl);
    if (!t || !oid) return 1;
    if (cmp_ASN1_STRING(t->signature, oid) == 0) return 0;  // nothing changes
    // Parameters belong to the algorithm they came with.
    if (install<ASN1_STRING, free_ASN1_STRING>(crl, t->signature, dup_ASN1_STRING(oid)) != 0) return 1;
    free_ASN1_STRING(t->signatureParameters);
    t->signatureParameters = nullptr;
    return 0;
}

ZUNPKI_API int set_X509_CRL_issuer(X509_CRL* crl, const X509_NAME* name) {
    X509_CRL_INFO* t = infoOf(crl);
    if (!t || !name) return 1;
    return install<X509_NAME, free_X509_NAME>(crl, t->issuer, dup_X509_NAME(name));
}

ZUNPKI_API int set_X509_CRL_thisUpdate(X509_CRL* crl, const X509_TIME* time) {
    return setTime(crl, time, &X509_CRL_INFO::thisUpdate);
}

ZUNPKI_API int set_X509_CRL_nextUpdate(X509_CRL* crl, const X509_TIME* time) {
    return setTime(crl, time, &X509_CRL_INFO::nextUpdate);
}

ZUNPKI_API int set_X509_CRL_sig_alg(X509_CRL* crl, const OBJECT_IDENTIFIER* oid) {
    if (!infoOf(crl) || !oid) return 1;
    if (cmp_ASN1_STRING(crl->signatureAlgorithm, oid) == 0) return 0;
    if (zpki::asn1::replace<free_ASN1_STRING>(crl->signatureAlgorithm, dup_ASN1_STRING(oid)) != 0) return 1;
    free_ASN1_STRING(crl->signatureParameters);
    crl->signatureParameters = nullptr;
    detail::RecordOps<X509_CRL>::forget(*crl);
    return 0;
}

ZUNPKI_API int set_X509_CRL_sig_value(X509_CRL* crl, const BIT_STRING* bits) {
    if (!infoOf(crl) || !bits || bits->length < 0 || (bits->length > 0 && !bits->data)) return 1;
    BIT_STRING* made = binaryToBIT_STRING(bits->data, bits->length);
    if (!made) return 1;
    made->extra = bits->extra;
    free_ASN1_STRING(crl->signatureValue);
    crl->signatureValue = made;
    detail::RecordOps<X509_CRL>::forget(*crl);
    return 0;
}

ZUNPKI_API int get_X509_CRL_version(const X509_CRL* crl) { return infoOf(crl) ? crl->info->version & 0xff : 0; }
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_CRL_signature(const X509_CRL* crl) {
    return infoOf(crl) ? crl->info->signature : nullptr;
}
ZUNPKI_API X509_NAME* get_X509_CRL_issuer(const X509_CRL* crl) { return infoOf(crl) ? crl->info->issuer : nullptr; }
ZUNPKI_API X509_TIME* get_X509_CRL_thisUpdate(const X509_CRL* crl) {
    return infoOf(crl) ? crl->info->thisUpdate : nullptr;
}
ZUNPKI_API X509_TIME* get_X509_CRL_nextUpdate(const X509_CRL* crl) {
    return infoOf(crl) ? crl->info->nextUpdate : nullptr;
}
ZUNPKI_API OBJECT_IDENTIFIER* get_X509_CRL_sig_alg(const X509_CRL* crl) {
    return infoOf(crl) ? crl->signatureAlgorithm : nullptr;
}
ZUNPKI_API BIT_STRING* get_X509_CRL_sig_value(const X509_CRL* crl) {
    return infoOf(crl) ? crl->signatureValue : nullptr;
}
ZUNPKI_API X509_REVOKED* get_X509_CRL_revoked(const X509_CRL* crl, int index) {
    return get_X509_REVOKED(infoOf(crl), index);
}

// ===========================================================================
// Extensions

ZUNPKI_API int get_X509_CRL_ext_count(const X509_CRL* crl) {
    return get_X509_EXTENSION_count(infoOf(crl) ? crl->info->crlExtensions : nullptr);
}
ZUNPKI_API int get_X509_CRL_ext_by_OBJ(const X509_CRL* crl, const OBJECT_IDENTIFIER* oid, int lastpos) {
    return get_X509_EXTENSION_index_by_OID(infoOf(crl) ? crl->info->crlExtensions : nullptr, oid, lastpos);
}
ZUNPKI_API int get_X509_CRL_ext_index_by_OID_index(const X509_CRL* crl, int row, int lastpos) {
    return get_X509_EXTENSION_index_by_OID_index(infoOf(crl) ? crl->info->crlExtensions : nullptr, row, lastpos);
}
ZUNPKI_API X509_EXTENSION* get_X509_CRL_ext(const X509_CRL* crl, int index) {
    return get_X509_EXTENSION(infoOf(crl) ? crl->info->crlExtensions : nullptr, index);
}
ZUNPKI_API X509_EXTENSION* remove_X509_CRL_ext(X509_CRL* crl, int index) {
    X509_EXTENSION* ext = remove_X509_EXTENSION(infoOf(crl) ? crl->info->crlExtensions : nullptr, index);
    if (ext) dropReceived(crl);
    return ext;
}
ZUNPKI_API int add_X509_CRL_ext(X509_CRL* crl, const X509_EXTENSION* ext, int where) {
    if (!infoOf(crl) || add_X509_EXTENSION(&crl->info->crlExtensions, ext, where) != 0) return 1;
    dropReceived(crl);
    return 0;
}

ZUNPKI_API int get_X509_REVOKED_ext_count(const X509_REVOKED* entry) {
    return get_X509_EXTENSION_count(entry ? entry->crlEntryExtensions : nullptr);
}
ZUNPKI_API int get_X509_REVOKED_ext_by_OID(const X509_REVOKED* entry, const OBJECT_IDENTIFIER* oid, int lastpos) {
    return get_X509_EXTENSION_index_by_OID(entry ? entry->crlEntryExtensions : nullptr, oid, lastpos);
}
ZUNPKI_API int get_X509_REVOKED_ext_index_by_OID_index(const X509_REVOKED* entry, int row, int lastpos) {
    return get_X509_EXTENSION_index_by_OID_index(entry ? entry->crlEntryExtensions : nullptr, row, lastpos);
}
ZUNPKI_API X509_EXTENSION* get_X509_REVOKED_ext(const X509_REVOKED* entry, int index) {
    return get_X509_EXTENSION(entry ? entry->crlEntryExtensions : nullptr, index);
}
ZUNPKI_API X509_EXTENSION* remove_X509_REVOKED_ext(X509_REVOKED* entry, int index) {
    X509_EXTENSION* ext = remove_X509_EXTENSION(entry ? entry->crlEntryExtensions : nullptr, index);
    if (ext) markChanged(entry);
    return ext;
}
ZUNPKI_API int add_X509_REVOKED_ext(X509_REVOKED* entry, const X509_EXTENSION* ext, int where) {
    if (!entry || add_X509_EXTENSION(&entry->crlEntryExtensions, ext, where) != 0) return 1;
    markChanged(entry);
    return 0;
}

// ===========================================================================
// Entries

ZUNPKI_API int get_X509_REVOKED_count(const X509_CRL_INFO* info) {
    return info ? countOf(info->revokedCertificates) : 1;
}

ZUNPKI_API X509_REVOKED* get_X509_REVOKED(const X509_CRL_INFO* info, int index) {
    return info ? zpki::x509::itemAt<X509_REVOKED>(info->revokedCertificates, index) : nullptr;
}

ZUNPKI_API BIGINT* get_X509_REVOKED_userCert(const X509_REVOKED* entry) {
    return entry ? entry->userCertificate : nullptr;
}

ZUNPKI_API X509_TIME* get_X509_REVOKED_revocationDate(const X509_REVOKED* entry) {
    return entry ? entry->revocationDate : nullptr;
}

ZUNPKI_API int set_X509_REVOKED_userCert(X509_REVOKED* entry, const BIGINT* serial) {
    if (!entry || !serial) return 1;
    if (serial == entry->userCertificate) return 0;
    if (zpki::asn1::replace<VSC_Free_BIGINT>(entry->userCertificate, VSC_Dup_BIGINT(serial)) != 0) return 1;
    markChanged(entry);
    return 0;
}

ZUNPKI_API int set_X509_REVOKED_revocationDate(X509_REVOKED* entry, const X509_TIME* time) {
    if (!entry || !zpki::x509::timeUsable(time)) return 1;
    if (!entry->revocationDate && !(entry->revocationDate = new_X509_TIME())) return 1;
    markChanged(entry);
    return copy_X509_TIME(time, entry->revocationDate);
}

ZUNPKI_API int add_X509_CRL_revoked(X509_CRL* crl, X509_REVOKED* entry) {
    X509_CRL_INFO* t = infoOf(crl);
    if (!t || !entry) return 1;
    if (!t->revokedCertificates && !(t->revokedCertificates = newEntryList())) return 1;
    if (push_STACK_value(t->revokedCertificates, entry) == 0) return 1;
    dropReceived(crl);
    return 0;
}

ZUNPKI_API int add_X509_REVOKED_child(X509_CRL* crl, const BIGINT* serial, const X509_TIME* time) {
    if (!infoOf(crl) || !serial || !time) return 1;
    Entry entry(new_X509_REVOKED());
    if (!entry) return 1;
    if (int rc = set_X509_REVOKED_userCert(entry.get(), serial)) return rc;
    if (int rc = set_X509_REVOKED_revocationDate(entry.get(), time)) return rc;
    if (int rc = add_X509_CRL_revoked(crl, entry.get())) return rc;
    (void)entry.release();
    return 0;
}

ZUNPKI_API int sort_X509_CRL_revoked(X509_CRL* crl) {
    X509_CRL_INFO* t = infoOf(crl);
    if (!t) return 1;
    STACK* list = t->revokedCertificates;
    if (!list) return 0;
    // Always sorted anew: an entry's serial may have been set since the list
    // was last marked sorted. Stable: equal serial numbers keep their order.
    auto** items = reinterpret_cast<X509_REVOKED**>(list->items);
    std::stable_sort(items, items + list->count,
                     [](const X509_REVOKED* a, const X509_REVOKED* b) { return compareSerials(a, b) < 0; });
    list->compare = compareEntrySlots;
    list->sorted = 1;
    for (int i = 0; i < list->count; ++i)
        if (auto* entry = static_cast<X509_REVOKED*>(list->items[i])) entry->position = i;
    return 0;
}

ZUNPKI_API int get_X509_REVOKED_CRLreason(const X509_REVOKED* entry, int index) {
    if (!entry || index < 0) return 0;
    const X509_EXTENSION* ext = get_X509_EXTENSION(entry->crlEntryExtensions, index);
    if (!ext || index_from_OBJECT_IDENTIFIER(ext->extnID) != kRowCrlReason) return 0;
    const OCTET_STRING* v = ext->extnValue;
    if (!v || !v->data || v->length <= 0) return -1;
    // CRLReason ::= ENUMERATED; an INTEGER is read alike.
    der::Cursor c(v->data, static_cast<size_t>(v->length));
    der::Element e;
    if (!der::getElement(c, e) || !c.empty() || (e.identifier != 0x0a && e.identifier != 0x02) || e.contentsSize == 0 ||
        e.contentsSize > 4 || (e.contents[0] & 0x80))
        return -1;
    int reason = 0;
    for (size_t i = 0; i < e.contentsSize; ++i) reason = reason << 8 | e.contents[i];
    return reason;
}

ZUNPKI_API int verify_CRL_X509_CERT(const X509_CRL* crl, const X509_CERT* cert) {
    const BIGINT* serial = get_X509_serial(cert);
    if (!infoOf(crl) || !serial) return -1;
    const STACK* list = crl->info->revokedCertificates;
    for (int i = 0; i < countOf(list); ++i) {
        const auto* entry = static_cast<const X509_REVOKED*>(list->items[i]);
        if (entry && entry->userCertificate && VSC_Cmp_BIGINT(entry->userCertificate, serial) == 0) return i + 1;
    }
    return 0;
}

// ===========================================================================
// Codecs

ZUNPKI_API PKI_ERROR Seq_to_X509_CRL(const ASN1_UNIT* node, X509_CRL** crl) {
    return Signed::fromSeq(node, crl, L_X509_CRL | F_SEQ_TO_X509_CRL);
}

ZUNPKI_API PKI_ERROR X509_CRL_to_Seq(const X509_CRL* crl, ASN1_UNIT** node) {
    return Signed::toSeq(crl, node, L_X509_CRL | F_X509_CRL_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_CRL_INFO(const ASN1_UNIT* node, X509_CRL* crl) {
    return Signed::bodyFromSeq(node, crl, L_X509_CRL | F_SEQ_TO_X509_CRL_INFO);
}

ZUNPKI_API PKI_ERROR X509_CRL_INFO_to_Seq(const X509_CRL_INFO* info, ASN1_UNIT** node) {
    return Signed::bodyToSeq(info, node, L_X509_CRL | F_X509_CRL_INFO_TO_SEQ);
}

ZUNPKI_API PKI_ERROR X509_REVOKED_to_Seq(const X509_CRL_INFO* info, ASN1_UNIT** node) {
    if (!info || !node) return crlErr(F_X509_REVOKED_TO_SEQ, ERR_R_NULL_ARGUMENT);
    if (countOf(info->revokedCertificates) == 0) return crlErr(F_X509_REVOKED_TO_SEQ, ERR_R_INVALID_ELEMENT);
    return deliverWritten(node, L_X509_CRL | F_X509_REVOKED_TO_SEQ, false,
                          [info](Writer& w) { return EntriesCodec::writeReason(info->revokedCertificates, w); });
}

ZUNPKI_API PKI_ERROR Seq_to_X509_REVOKED(const ASN1_UNIT* node, X509_CRL* crl) {
    if (!node) return 1;
    if (!crl) return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_NULL_ARGUMENT);
    der::Element e;
    if (!elementOf(node, e)) return crlErr(F_SEQ_TO_X509_REVOKED, ERR_ASN1_DECODING);
    Owned<STACK, free_X509_REVOKED_LIST> decoded(new_STACK());
    if (!decoded) return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_ALLOC_3C);
    const int first = crl->info ? countOf(crl->info->revokedCertificates) : 0;
    if (PKI_ERROR rc = decodeEntries(e, decoded.get(), first)) return rc;
    // The body and its list are made only once the entries decoded: a list
    // that fails leaves the CRL as it was.
    if (!crl->info && !(crl->info = new_X509_CRL_INFO())) return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_NULL_ARGUMENT);
    X509_CRL_INFO* t = crl->info;
    if (!t->revokedCertificates && !(t->revokedCertificates = newEntryList()))
        return crlErr(F_SEQ_TO_X509_REVOKED, ERR_R_NULL_ARGUMENT);
    if (!zpki::x509::appendAll(t->revokedCertificates, decoded.get()))
        return crlErr(F_SEQ_TO_X509_REVOKED, ERR_ASN1_DECODING);
    (void)decoded.release();  // the entries moved, the shell freed
    dropReceived(crl);
    return 0;
}

ZUNPKI_API PKI_ERROR X509_CRLS_to_Seq(const X509_CRLS* list, ASN1_UNIT** node) {
    if (!list || !node) return 1;
    return zpki::x509::encodeRecords<X509_CRL, X509_CRL_to_Seq>(list, node, L_X509_CRL | F_X509_CRLS_TO_SEQ);
}

ZUNPKI_API PKI_ERROR Seq_to_X509_CRLS(const ASN1_UNIT* node, X509_CRLS** list) {
    return zpki::x509::decodeRecordsInto<X509_CRL, free_X509_CRL, Seq_to_X509_CRL>(node, list,
                                                                                   L_X509_CRL | F_SEQ_TO_X509_CRLS);
}

// ===========================================================================
// Signatures

ZUNPKI_API PKI_ERROR gen_RSA_SIG_X509_CRL(const X509_CRL* crl, BIT_STRING** bits, const OBJECT_IDENTIFIER* alg,
                                          RSA_UNIT* key) {
    return signInfo(crl, bits, alg, key, F_GEN_RSASIGN_X509_CRL, zpki::x509::signRsa);
}

ZUNPKI_API PKI_ERROR gen_KCDSA_SIG_X509_CRL(const X509_CRL* crl, BIT_STRING** bits, const OBJECT_IDENTIFIER* alg,
                                            KCDSA_UNIT* key) {
    return signInfo(crl, bits, alg, key, F_GEN_KCDSASIGN_X509_CRL, zpki::x509::signKcdsa);
}

ZUNPKI_API PKI_ERROR verify_RSA_SIG_X509_CRL(const X509_CRL* crl, RSA_UNIT* key) {
    return verifyInfo(crl, key, F_VERIFY_RSASIGN_X509_CRL, [&](const DerBytes& der, unsigned libFunc) {
        return zpki::x509::verifyRsa(der.data, der.size, crl->signatureAlgorithm, crl->signatureParameters,
                                     crl->signatureValue, key, libFunc);
    });
}

ZUNPKI_API PKI_ERROR verify_KCDSA_SIG_X509_CRL(const X509_CRL* crl, KCDSA_UNIT* key) {
    return verifyInfo(crl, key, F_VERIFY_KCDSASIGN_X509_CRL, [&](const DerBytes& der, unsigned libFunc) {
        return kcdsaValueFault(
            zpki::x509::verifyKcdsa(der.data, der.size, crl->signatureAlgorithm, crl->signatureValue, key, libFunc),
            F_VERIFY_KCDSASIGN_X509_CRL);
    });
}

ZUNPKI_API int verify_SIG_X509_CRL(const X509_CRL* crl, const X509_PUBKEY* issuerKey) {
    if (!infoOf(crl)) return 1;
    return zpki::x509::verifyUnderIssuerKey(
        issuerKey, [&](RSA_UNIT* key) { return verify_RSA_SIG_X509_CRL(crl, key); },
        [&](KCDSA_UNIT* key) { return verify_KCDSA_SIG_X509_CRL(crl, key); });
}

}  // extern "C"

// KISA security-token driver lists: the records, their decoder and the check
// of the list's signature.
#include <zunPKI/pkcs/kisa.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "x509/x509_signing.hpp"

using namespace zpki::asn1;
namespace ber = zpki::ber;
namespace der = zpki::der;
using zpki::Owned;

namespace {

constexpr unsigned kDecode = L_KISA | F_SEQ_TO_KISA_HSM_SIGNATURE_VALUE;
constexpr unsigned kVerify = L_KISA | F_VERIFY_KISA_HSM_SIGNATURE_VALUE;

PKI_ERROR fail(unsigned libFunc, unsigned reason) { return static_cast<PKI_ERROR>(libFunc | reason); }

// ---- Releasing members -----------------------------------------------------

void releaseMembers(KISA_HSM_DRIVER_INFO* d) {
    free_ASN1_STRING(d->text1);
    free_ASN1_STRING(d->text2);
    free_GENERAL_NAME(d->name1);
    free_GENERAL_NAME(d->name2);
    free_ASN1_STRING(d->text3);
    std::memset(static_cast<void*>(d), 0, sizeof(*d));
}

template <class T, void (*Free)(T*)>
void freeList(STACK*& list) {
    for (int i = 0; i < get_STACK_count(list); ++i) Free(static_cast<T*>(get_STACK_value(list, i)));
    free_STACK(list);
    list = nullptr;
}

void releaseMembers(KISA_HSM_TOKEN_DISTRIBUTION_URL* e) {
    free_ASN1_STRING(e->url);
    freeList<KISA_HSM_DRIVER_INFO, free_KISA_HSM_DRIVER_INFO>(e->drivers);
    std::memset(static_cast<void*>(e), 0, sizeof(*e));
}

void releaseMembers(KISA_HSM_SIGNATURE_TOKEN* t) {
    free_ASN1_STRING(t->name);
    free_X509_ALGO_IDENTIFIER(t->algorithm);
    free_ASN1_STRING(t->value);
    std::memset(static_cast<void*>(t), 0, sizeof(*t));
}

void releaseMembers(KISA_HSM_SIGNATURE_VALUE* v) {
    // The list's items are released by the kind that made them.
    if (v->kind == KISA_HSM_KIND_SIGNATURE)
        freeList<KISA_HSM_SIGNATURE_TOKEN, free_KISA_HSM_SIGNATURE_TOKEN>(v->list);
    else
        freeList<KISA_HSM_TOKEN_DISTRIBUTION_URL, free_KISA_HSM_TOKEN_DISTRIBUTION_URL>(v->list);
    PKI_FREE(v->signedBytes);
    free_X509_ALGO_IDENTIFIER(v->signatureAlgorithm);
    free_P7_ISSUER_AND_SERIAL_NUMBER(v->signer);
    free_ASN1_STRING(v->signature);
    std::memset(static_cast<void*>(v), 0, sizeof(*v));
}

// ---- Nested records a new record starts with -------------------------------

bool makeNested(KISA_HSM_DRIVER_INFO* d) {
    return (d->name1 = new_GENERAL_NAME()) != nullptr && (d->name2 = new_GENERAL_NAME()) != nullptr;
}
bool makeNested(KISA_HSM_TOKEN_DISTRIBUTION_URL* e) { return (e->drivers = new_STACK()) != nullptr; }
bool makeNested(KISA_HSM_SIGNATURE_TOKEN* t) { return (t->algorithm = new_X509_ALGO_IDENTIFIER()) != nullptr; }
bool makeNested(KISA_HSM_SIGNATURE_VALUE* v) {
    return (v->list = new_STACK()) != nullptr && (v->signatureAlgorithm = new_X509_ALGO_IDENTIFIER()) != nullptr &&
           (v->signer = new_P7_ISSUER_AND_SERIAL_NUMBER()) != nullptr;
}

template <class T>
T* createRecord() {
    T* r = PKI_NEW(T);
    if (r && !makeNested(r)) {
        releaseMembers(r);
        PKI_FREE(r);
        return nullptr;
    }
    return r;
}

template <class T>
void destroyRecord(T* r) {
    if (!r) return;
    releaseMembers(r);
    PKI_FREE(r);
}

template <class T>
void cleanRecord(T* r) {
    if (!r) return;
    releaseMembers(r);
    makeNested(r);
}

// ---- Decoding ---------------------------------------------------------------

// The members of a constructed element: the first kKeep of them, and how
// many there are. False when the contents do not read as elements.
struct Members {
    static constexpr size_t kKeep = 6;
    Element at[kKeep];
    size_t count = 0;
};

bool membersOf(const Element& e, Members& m) {
    if (!e.constructed()) return false;
    Decoder in(der::Cursor(e.contents, e.contentsSize));
    while (in.more()) {
        Element x;
        if (!in.next(x)) return false;
        if (m.count < Members::kKeep) m.at[m.count] = x;
        ++m.count;
    }
    return true;
}

bool isSequence(const Element& e) { return e.identifier == 0x30; }

bool fits(const ASN1_STRING* s) { return s && s->length >= 0 && s->length <= KISA_HSM_MAX_TEXT_LEN; }

// A string of one universal type, at most KISA_HSM_MAX_TEXT_LEN bytes.
template <int Tag>
ASN1_STRING* readString(const Element& e) {
    if (!Str<Tag>::matches(e.identifier)) return nullptr;
    ASN1_STRING* s = nullptr;
    if (!Str<Tag>::decodeContents(e, s)) return nullptr;
    if (!fits(s)) {
        free_ASN1_STRING(s);
        return nullptr;
    }
    return s;
}

// A signature value: any length.
template <int Tag>
ASN1_STRING* readSignature(const Element& e) {
    ASN1_STRING* s = nullptr;
    return Str<Tag>::matches(e.identifier) && Str<Tag>::decodeContents(e, s) ? s : nullptr;
}

// A text is a PrintableString; lists described with octet strings carry
// OCTET STRINGs, read alike.
ASN1_STRING* readText(const Element& e) {
    return Str<ASN1_TAG_OCTET_STRING>::matches(e.identifier) ? readString<ASN1_TAG_OCTET_STRING>(e)
                                                             : readString<ASN1_TAG_PRINTABLE_STRING>(e);
}

// Runs a public decoder over a copy of the element as a node.
template <class T>
T* readRecord(const Element& e, PKI_ERROR (*decode)(const ASN1_UNIT*, T**)) {
    Owned<ASN1_UNIT, free_ASN1_UNIT> node(ber::nodeFromElement(e));
    T* r = nullptr;
    if (!node || decode(node.get(), &r) != 0) return nullptr;
    return r;
}

// A GeneralName is its tagged element itself, one of the nine kinds; the
// kinds held as strings are capped like the texts.
GENERAL_NAME* readName(const Element& e) {
    if ((e.identifier & 0xc0) != 0x80 || e.tagNumber() > GENERAL_NAME_REGISTERED_ID) return nullptr;
    GENERAL_NAME* gn = readRecord(e, Seq_to_GENERAL_NAME);
    if (!gn || !gn->value) {
        free_GENERAL_NAME(gn);
        return nullptr;
    }
    switch (gn->type) {
        case GENERAL_NAME_RFC822:
        case GENERAL_NAME_DNS:
        case GENERAL_NAME_X400:
        case GENERAL_NAME_URI:
        case GENERAL_NAME_IP:
            if (!fits(static_cast<const ASN1_STRING*>(gn->value))) {
                free_GENERAL_NAME(gn);
                return nullptr;
            }
            break;
        default:
            break;
    }
    return gn;
}

// An INTEGER within the range of an int.
bool readInt(const Element& e, int& out) {
    return e.identifier == ASN1_TAG_INTEGER && SmallInt<>::decodeContents(e, out);
}

// DriverInfo: five or six members as described; members after the sixth
// are passed over.
KISA_HSM_DRIVER_INFO* readDriver(const Element& e) {
    Members m;
    if (!isSequence(e) || !membersOf(e, m) || m.count < 5) return nullptr;
    Owned<KISA_HSM_DRIVER_INFO, free_KISA_HSM_DRIVER_INFO> d(PKI_NEW(KISA_HSM_DRIVER_INFO));
    if (!d) return nullptr;
    if (!(d->text1 = readText(m.at[0])) || !(d->text2 = readText(m.at[1])) || !(d->name1 = readName(m.at[2])) ||
        !readInt(m.at[3], d->value) || !(d->name2 = readName(m.at[4])))
        return nullptr;
    if (m.count > 5 && !(d->text3 = readText(m.at[5]))) return nullptr;
    return d.release();
}

// Items of a SEQUENCE OF, each read by read, appended to list.
template <class T, void (*Free)(T*), class Read>
bool readItems(const Element& e, STACK* list, Read read) {
    if (!isSequence(e)) return false;
    Decoder in(der::Cursor(e.contents, e.contentsSize));
    while (in.more()) {
        Element x;
        if (!in.next(x)) return false;
        T* item = read(x);
        if (!item) return false;
        if (push_STACK_value(list, item) == 0) {
            Free(item);
            return false;
        }
    }
    return true;
}

KISA_HSM_TOKEN_DISTRIBUTION_URL* readDistribution(const Element& e) {
    Members m;
    if (!isSequence(e) || !membersOf(e, m) || m.count != 2) return nullptr;
    Owned<KISA_HSM_TOKEN_DISTRIBUTION_URL, free_KISA_HSM_TOKEN_DISTRIBUTION_URL> entry(
        PKI_NEW(KISA_HSM_TOKEN_DISTRIBUTION_URL));
    if (!entry || !(entry->drivers = new_STACK())) return nullptr;
    if (!(entry->url = readString<ASN1_TAG_IA5_STRING>(m.at[0])) ||
        !readItems<KISA_HSM_DRIVER_INFO, free_KISA_HSM_DRIVER_INFO>(m.at[1], entry->drivers, readDriver))
        return nullptr;
    return entry.release();
}

KISA_HSM_SIGNATURE_TOKEN* readSignatureToken(const Element& e) {
    Members m;
    if (!isSequence(e) || !membersOf(e, m) || m.count != 3) return nullptr;
    Owned<KISA_HSM_SIGNATURE_TOKEN, free_KISA_HSM_SIGNATURE_TOKEN> token(PKI_NEW(KISA_HSM_SIGNATURE_TOKEN));
    if (!token) return nullptr;
    if (!(token->name = readText(m.at[0])) || !isSequence(m.at[1]) ||
        !(token->algorithm = readRecord(m.at[1], Seq_to_X509_ALGO_IDENTIFIER)) ||
        !(token->value = readString<ASN1_TAG_OCTET_STRING>(m.at[2])))
        return nullptr;
    return token.release();
}

// The list's kind, told by its first entry's member count.
bool kindOf(const Element& list, int& kind) {
    Decoder in(der::Cursor(list.contents, list.contentsSize));
    if (!in.more()) {
        kind = KISA_HSM_KIND_EMPTY;
        return true;
    }
    Element first;
    Members m;
    if (!in.next(first) || !membersOf(first, m)) return false;
    kind = m.count == 2 ? KISA_HSM_KIND_DISTRIBUTION : m.count == 3 ? KISA_HSM_KIND_SIGNATURE : -1;
    return kind > 0;
}

// Decodes the whole value into v (a zeroed record); 0 or the reason.
unsigned decodeValue(const Element& whole, KISA_HSM_SIGNATURE_VALUE& v) {
    Members m;
    if (!isSequence(whole) || !membersOf(whole, m) || m.count != 4) return ERR_R_INVALID_ELEMENT;
    const Element& list = m.at[0];
    if (!isSequence(list) || !list.start || !kindOf(list, v.kind)) return ERR_R_INVALID_ELEMENT;

    // The signature covers the list exactly as it came.
    v.signedBytes = static_cast<unsigned char*>(PKI_MALLOC(list.totalSize));
    if (!v.signedBytes) return ERR_R_ALLOC;
    std::memcpy(v.signedBytes, list.start, list.totalSize);
    v.signedLength = static_cast<int>(list.totalSize);  // at most INT_MAX: the cursor refuses longer

    if (!(v.list = new_STACK())) return ERR_R_ALLOC;
    bool ok = true;
    if (v.kind == KISA_HSM_KIND_DISTRIBUTION)
        ok = readItems<KISA_HSM_TOKEN_DISTRIBUTION_URL, free_KISA_HSM_TOKEN_DISTRIBUTION_URL>(list, v.list,
                                                                                              readDistribution);
    else if (v.kind == KISA_HSM_KIND_SIGNATURE)
        ok = readItems<KISA_HSM_SIGNATURE_TOKEN, free_KISA_HSM_SIGNATURE_TOKEN>(list, v.list, readSignatureToken);
    if (!ok) return ERR_R_INVALID_ELEMENT;

    if (!isSequence(m.at[1]) || !(v.signatureAlgorithm = readRecord(m.at[1], Seq_to_X509_ALGO_IDENTIFIER)))
        return ERR_R_INVALID_ELEMENT;
    if (!isSequence(m.at[2]) || !(v.signer = readRecord(m.at[2], Seq_to_P7_ISSUER_AND_SERIAL_NUMBER)))
        return ERR_R_INVALID_ELEMENT;
    if (v.kind == KISA_HSM_KIND_DISTRIBUTION) {
        // A signature is whole bytes: a BIT STRING with unused bits is no RSA signature.
        if (!(v.signature = readSignature<ASN1_TAG_BIT_STRING>(m.at[3])) || v.signature->extra != 0)
            return ERR_R_INVALID_ELEMENT;
    } else if (v.kind == KISA_HSM_KIND_SIGNATURE) {
        if (!(v.signature = readSignature<ASN1_TAG_OCTET_STRING>(m.at[3]))) return ERR_R_INVALID_ELEMENT;
    }
    return 0;
}

}  // namespace

// ---- Verification -----------------------------------------------------------

namespace {

// The signature algorithms a list is signed with: PKCS#1 v1.5 under SHA-1 or
// SHA-256, with NULL or absent parameters as RFC 4055 allows.
bool algorithmAccepted(const X509_ALGO_IDENTIFIER* alg) {
    if (!alg || !alg->algorithm) return false;
    const int row = index_from_OBJECT_IDENTIFIER(alg->algorithm);
    if (row != index_from_sn("RSA-SHA1", 8) && row != index_from_sn("RSA-SHA256", 10)) return false;
    const ASN1_STRING* p = alg->parameters;
    return !p || (p->type == ASN1_TAG_NULL && p->length == 0);
}

}  // namespace

extern "C" {

ZUNPKI_API KISA_HSM_SIGNATURE_TOKEN* new_KISA_HSM_SIGNATURE_TOKEN(void) {
    return createRecord<KISA_HSM_SIGNATURE_TOKEN>();
}
ZUNPKI_API void free_KISA_HSM_SIGNATURE_TOKEN(KISA_HSM_SIGNATURE_TOKEN* token) { destroyRecord(token); }
ZUNPKI_API void clean_KISA_HSM_SIGNATURE_TOKEN(KISA_HSM_SIGNATURE_TOKEN* token) { cleanRecord(token); }

ZUNPKI_API KISA_HSM_TOKEN_DISTRIBUTION_URL* new_KISA_HSM_TOKEN_DISTRIBUTION_URL(void) {
    return createRecord<KISA_HSM_TOKEN_DISTRIBUTION_URL>();
}
ZUNPKI_API void free_KISA_HSM_TOKEN_DISTRIBUTION_URL(KISA_HSM_TOKEN_DISTRIBUTION_URL* entry) { destroyRecord(entry); }
ZUNPKI_API void clean_KISA_HSM_TOKEN_DISTRIBUTION_URL(KISA_HSM_TOKEN_DISTRIBUTION_URL* entry) { cleanRecord(entry); }

ZUNPKI_API KISA_HSM_DRIVER_INFO* new_KISA_HSM_DRIVER_INFO(void) { return createRecord<KISA_HSM_DRIVER_INFO>(); }
ZUNPKI_API void free_KISA_HSM_DRIVER_INFO(KISA_HSM_DRIVER_INFO* driver) { destroyRecord(driver); }
ZUNPKI_API void clean_KISA_HSM_DRIVER_INFO(KISA_HSM_DRIVER_INFO* driver) { cleanRecord(driver); }

ZUNPKI_API KISA_HSM_SIGNATURE_VALUE* new_KISA_HSM_SIGNATURE_VALUE(void) {
    return createRecord<KISA_HSM_SIGNATURE_VALUE>();
}
ZUNPKI_API void free_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value) { destroyRecord(value); }
ZUNPKI_API void clean_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value) { cleanRecord(value); }

ZUNPKI_API PKI_ERROR Seq_to_KISA_HSM_SIGNATURE_VALUE(ASN1_UNIT* in, KISA_HSM_SIGNATURE_VALUE** out) {
    // Null arguments have one code, the verifier's, for both.
    if (!in || !out) return fail(kVerify, ERR_R_NULL_ARGUMENT);
    Element whole;
    if (!elementOf(in, whole)) return fail(kDecode, ERR_R_INVALID_ELEMENT);
    Owned<KISA_HSM_SIGNATURE_VALUE, free_KISA_HSM_SIGNATURE_VALUE> made(PKI_NEW(KISA_HSM_SIGNATURE_VALUE));
    if (!made) return fail(kDecode, ERR_R_ALLOC);
    if (const unsigned reason = decodeValue(whole, *made)) return fail(kDecode, reason);
    if (*out) {
        releaseMembers(*out);
        std::memcpy(static_cast<void*>(*out), made.get(), sizeof(KISA_HSM_SIGNATURE_VALUE));
        std::memset(static_cast<void*>(made.get()), 0, sizeof(KISA_HSM_SIGNATURE_VALUE));
    } else {
        *out = made.release();
    }
    return 0;
}

ZUNPKI_API PKI_ERROR verify_KISA_HSM_SIGNATURE_VALUE(KISA_HSM_SIGNATURE_VALUE* value, X509_CERT** signer) {
    if (!value || !signer || !*signer) return fail(kVerify, ERR_R_NULL_ARGUMENT);
    if (!value->signedBytes || value->signedLength <= 0) return fail(kVerify, 0x10);
    if (!value->signature || !value->signature->data || value->signature->length <= 0) return fail(kVerify, 0x11);
    const X509_PUBKEY* spki = get_X509_SPKI(*signer);
    if (!spki || !spki->key || !spki->key->key) return fail(kVerify, ERR_R_INVALID_ELEMENT);
    if (spki->key->kind != ASYMMETRIC_KEY_RSA) return fail(kVerify, 0x29);
    // The list names the certificate it was signed with; another one's key
    // must not vouch for it.
    if (!value->signer || cmp_P7_ISSUER_AND_SERIAL_NUMBER(*signer, value->signer) != 0)
        return fail(kVerify, ERR_NOT_FOUNDED);
    if (!algorithmAccepted(value->signatureAlgorithm)) return fail(kVerify, ERR_R_UNSUPPORTED);
    // The signature is a BIT STRING (kind 1) or an OCTET STRING (kind 2);
    // either holds whole bytes here.
    ASN1_STRING sig = *value->signature;
    sig.extra = 0;
    return zpki::x509::verifyUnderIssuerKey(
        spki,
        [&](RSA_UNIT* key) {
            return zpki::x509::verifyRsa(value->signedBytes, static_cast<size_t>(value->signedLength),
                                         value->signatureAlgorithm->algorithm, nullptr, &sig, key, kVerify);
        },
        [](KCDSA_UNIT*) { return fail(kVerify, 0x29); });
}

}  // extern "C"

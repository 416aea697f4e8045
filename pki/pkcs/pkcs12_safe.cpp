// PKCS#12 MAC, password-protected safes and key bags, bag building and import.
#include <zunPKI/pkcs/pkcs12_safe.h>

#include <cstring>
#include <string_view>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/convert.hpp"
#include <zunPKI/pkcs/pkcs5.h>
#include "pkcs/pkcs5_internal.hpp"
#include "pkcs/pkcs7.hpp"
#include <zunPKI/pkcs/pkcs7_env.h>
#include "pkcs/pkcs_codecs.hpp"
#include "asn1/secret.hpp"
#include "x509/x509_list.hpp"
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509v3_constraints.h>

using zpki::Buffer;
using zpki::Owned;
using zpki::pkcs5::PbePassword;
using zpki::pkcs7::rowOf;
namespace der = zpki::der;

namespace {

using Node = Owned<ASN1_UNIT, free_ASN1_UNIT>;
using Bag = Owned<P12_SAFEBAG, free_P12_SAFEBAG>;
using BagList = Owned<STACK, free_P12_SAFEBAGS>;
using ContentInfo = Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO>;
using KeyInfo = Owned<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>;
using Cert = Owned<X509_CERT, free_X509_CERT>;
using Pkcs8 = Owned<PKCS8, free_PKCS8>;

constexpr int kRowKeyUsage = 83;
constexpr int kRowBasicConstraints = 87;

PKI_ERROR code(unsigned func, unsigned reason) { return PKI_ERR(L_PKCS12, func, reason); }

// A caller's password: -1 means up to the terminating zero.
PbePassword passwordOf(const char* password, int len) {
    if (password == nullptr) return {nullptr, 0};
    return {password, len < 0 ? static_cast<int>(std::strlen(password)) : len};
}

void freeKeys(STACK* list) { zpki::x509::freeList<P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>(list); }
void freeCerts(STACK* list) { zpki::x509::freeList<X509_CERT, free_X509_CERT>(list); }

// The one SEQUENCE that bytes hold (nothing after it), as a node.
Node sequenceNode(const unsigned char* bytes, int len) {
    if (!bytes || len <= 0) return nullptr;
    der::Cursor in(bytes, static_cast<size_t>(len));
    der::Element e;
    if (!der::getElement(in, e) || !in.empty() || e.identifier != 0x30) return nullptr;
    return Node(zpki::ber::nodeFromElement(e));
}

// ---- MAC -------------------------------------------------------------------------

struct MacDigest {
    int row;
    int id;
};
// The digests a new MAC may use.
constexpr MacDigest kMacDigests[] = {
    {64, VSC_DIGEST_SHA1},    {672, VSC_DIGEST_SHA256}, {673, VSC_DIGEST_SHA384},
    {674, VSC_DIGEST_SHA512}, {781, VSC_DIGEST_HAS160},
};

// An iteration count of a file: absent means 1; 0 when it is out of range.
int macIterations(const BIGINT* count) { return count ? zpki::pkcs5::iterationsOf(count) : 1; }

// The MAC over authSafe under pw with the salt, count and digest of mac into
// out (room for VSC_MAX_DIGEST_LENGTH); its length, or 0 when it cannot be
// computed.
int computeMac(const P7_CONTENT_INFO* authSafe, const P12_MAC_DATA* mac, const PbePassword& pw, unsigned char* out) {
    const auto* data = zpki::pkcs7::contentAs<ASN1_STRING>(authSafe, P7_DATA);
    if (!data || !data->data || data->length <= 0 || !mac || !mac->macSalt) return 0;
    const int iterations = macIterations(mac->iterations);
    const int digestId = get_DigestID_from_OID(rowOf(mac->algorithm));
    const int length = VSC_Get_DIGEST_Length(digestId);
    if (iterations == 0 || digestId == 0 || length <= 0 || length > VSC_MAX_DIGEST_LENGTH) return 0;
    zpki::DigestUnit digest(VSC_New_DIGEST_Unit());
    zpki::HmacUnit hmac(VSC_New_HMAC_Unit());
    zpki::Secret<VSC_MAX_DIGEST_LENGTH> key;
    if (!digest || !hmac || VSC_Init_DIGEST(digest.get(), digestId) != VSC_OK ||
        zpki::pkcs5::pkcs12Key(pw, mac->macSalt->data, mac->macSalt->length, PKCS12_MAC_ID, iterations, length,
                               key.data(), digest.get()) != 0 ||
        VSC_Init_HMAC(hmac.get(), digestId, key.data(), length) != VSC_OK ||
        VSC_Update_HMAC(hmac.get(), data->data, data->length) != VSC_OK ||
        VSC_Final_HMAC(hmac.get(), out, nullptr) != VSC_OK)
        return 0;
    return length;
}

// 0 equal, -1 different, 1 cannot compute.
int verifyMac(const PKCS12& pfx, const PbePassword& pw) {
    zpki::Secret<VSC_MAX_DIGEST_LENGTH> mac;
    const int n = computeMac(pfx.authSafe, pfx.macData, pw, mac.data());
    const OCTET_STRING* stored = pfx.macData ? pfx.macData->digest : nullptr;
    if (n == 0 || !stored || !stored->data) return 1;
    if (stored->length != n) return -1;
    unsigned char diff = 0;  // every octet, whatever the first difference
    for (int i = 0; i < n; ++i) diff |= static_cast<unsigned char>(mac.data()[i] ^ stored->data[i]);
    return diff == 0 ? 0 : -1;
}

// ---- Safes and shrouded keys ---------------------------------------------------------

// The plaintext of data under the algorithm alg, as a node of the one
// SEQUENCE it must be (a wrong password almost never gives one).
Node openToNode(X509_ALGO_IDENTIFIER* alg, OCTET_STRING* data, const PbePassword& pw) {
    if (!alg || !data) return nullptr;
    const PKCS8 view{PKCS8_KIND_OTHER, alg, data};
    Buffer plain;
    int plainLen = 0;
    if (zpki::pkcs5::openBytes(view, pw, plain, plainLen) != PKI_SUCCESS) return nullptr;
    return sequenceNode(plain.data(), plainLen);
}

BagList bagsOfNode(const Node& node) {
    P12_SAFEBAGS* bags = nullptr;
    if (!node || Seq_to_P12_SAFEBAGS(node.get(), &bags) != PKI_SUCCESS) return nullptr;
    return BagList(bags);
}

BagList openSafe(const P7_CONTENT_INFO* ci, const PbePassword& pw) {
    const auto* ed = zpki::pkcs7::contentAs<P7_ENCRYPTED_DATA>(ci, P7_ENCRYPTED_DATA_TYPE);
    const P7_ENCRYPTED_CONTENT_INFO* eci = ed ? ed->encryptedContentInfo : nullptr;
    if (!eci) return nullptr;
    return bagsOfNode(openToNode(eci->contentEncryptionAlgorithm, eci->encryptedContent, pw));
}

BagList plainSafe(const P7_CONTENT_INFO* ci) {
    const auto* data = zpki::pkcs7::contentAs<ASN1_STRING>(ci, P7_DATA);
    return data ? bagsOfNode(sequenceNode(data->data, data->length)) : nullptr;
}

// The DER of the bags encrypted under pbeRow into a new PKCS8 (algorithm
// and ciphertext); salts of 0 octets or none are drawn, counts of 0 or less
// are the default.
Pkcs8 seal(int pbeRow, const PbePassword& pw, const void* salt, int saltLen, int iterations, const unsigned char* in,
           int inLen) {
    if (saltLen <= 0) salt = nullptr;
    PKCS8* made = nullptr;
    if (zpki::pkcs5::sealBytes(pbeRow, pw, static_cast<const unsigned char*>(salt), saltLen,
                               iterations > 0 ? iterations : P12_DEFAULT_ITERATIONS, in, inLen, &made) != PKI_SUCCESS)
        return nullptr;
    return Pkcs8(made);
}

// The DER of a record sealed as above.
template <class T>
Pkcs8 sealRecord(int pbeRow, const PbePassword& pw, const void* salt, int saltLen, int iterations, const T* record,
                 PKI_ERROR (*encoder)(const T*, ASN1_UNIT**)) {
    int len = -1;
    Buffer der = zpki::pkcs::derOf<T>(record, encoder, len);
    return der ? seal(pbeRow, pw, salt, saltLen, iterations, der.data(), len) : nullptr;
}

P7_CONTENT_INFO* encryptedSafe(int pbeRow, const PbePassword& pw, const void* salt, int saltLen, int iterations,
                               const P12_SAFEBAGS* bags) {
    Pkcs8 sealed = sealRecord<P12_SAFEBAGS>(pbeRow, pw, salt, saltLen, iterations, bags, P12_SAFEBAGS_to_Seq);
    ContentInfo ci(new_P7_CONTENT_INFO());
    if (!sealed || !ci || set_PKCS7_Type(ci.get(), P7_ENCRYPTED_DATA_TYPE) != 0) return nullptr;
    auto* ed = static_cast<P7_ENCRYPTED_DATA*>(ci->content);
    if (!ed->encryptedContentInfo && !(ed->encryptedContentInfo = new_P7_ENCRYPTED_CONTENT_INFO())) return nullptr;
    const OCTET_STRING* data = sealed->encryptedData;
    if (set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(ed->encryptedContentInfo, P7_DATA, sealed->encryptionAlgorithm, data->data,
                                            data->length) != 0)
        return nullptr;
    return ci.release();
}

P7_CONTENT_INFO* dataSafe(const P12_SAFEBAGS* bags) {
    int len = -1;
    Buffer der = zpki::pkcs::derOf<P12_SAFEBAGS>(bags, P12_SAFEBAGS_to_Seq, len);
    P7_CONTENT_INFO* ci = nullptr;
    if (!der || gen_PKCS7_DATA_from_Binary(&ci, der.data(), len) != 0) {
        free_P7_CONTENT_INFO(ci);
        return nullptr;
    }
    return ci;
}

P12_SAFEBAG* shroudedBag(int pbeRow, const PbePassword& pw, const void* salt, int saltLen, int iterations,
                         const P8_PRIV_KEY_INFO* key) {
    Pkcs8 sealed = sealRecord<P8_PRIV_KEY_INFO>(pbeRow, pw, salt, saltLen, iterations, key, P8_PRIV_KEY_INFO_to_Seq);
    if (!sealed) return nullptr;
    int encLen = -1;
    Buffer enc = zpki::pkcs::derOf<PKCS8>(sealed.get(), P8_ENCRYPTED_KEY_to_Seq, encLen);
    Bag bag(new_P12_SAFEBAG());
    if (!enc || !bag || !(bag->bagId = index_to_OBJECT_IDENTIFIER(P12_SHROUDED_KEY_BAG)) ||
        !(bag->algorithm = dup_OBJECT_IDENTIFIER(get_OID_PKCS8(sealed.get()))) ||
        !(bag->bagValue = new_OCTET_STRING(enc.data(), encLen)))
        return nullptr;
    return bag.release();
}

// The PrivateKeyInfo of a shrouded key bag.
KeyInfo openShroudedKey(const OCTET_STRING* value, const PbePassword& pw) {
    Node encNode = value ? sequenceNode(value->data, value->length) : nullptr;
    PKCS8* enc = nullptr;
    if (!encNode || Seq_to_P8_ENCRYPTED_KEY(encNode.get(), &enc) != PKI_SUCCESS) return nullptr;
    Pkcs8 sealed(enc);
    Node plain = openToNode(sealed->encryptionAlgorithm, sealed->encryptedData, pw);
    P8_PRIV_KEY_INFO* key = nullptr;
    if (!plain || Seq_to_P8_PRIV_KEY_INFO(plain.get(), &key) != PKI_SUCCESS) return nullptr;
    return KeyInfo(key);
}

// ---- Attributes ------------------------------------------------------------------------

X509_ATTRIBUTES* attributesOf(P12_SAFEBAG* bag) {
    if (!bag) return nullptr;
    if (!bag->bagAttributes) bag->bagAttributes = new_X509_ATTRIBUTES();
    return bag->bagAttributes;
}

// A string attribute of the row with one value of that tag.
int addStringAttribute(X509_ATTRIBUTES* attrs, int row, int tag, const unsigned char* bytes, int len) {
    if (!attrs || (!bytes && len > 0) || len < 0) return 1;
    Owned<ASN1_STRING, free_ASN1_STRING> value(new_ASN1_STRING());
    if (!value || set_ASN1_STRING_value(value.get(), tag, bytes, len) != PKI_SUCCESS) return 1;
    return add_X509_ATTRIBUTES_OID_INDEX(attrs, row, tag, value.get(), -1) == 0 ? 0 : 1;
}

// The name as UTF-16: UTF-8, else KS X 1001, else each byte a character.
Buffer utf16Of(std::string_view name, int& len) {
    unsigned char* out = nullptr;
    len = zpki::text::utf8ToUtf16(name, &out);
    if (!out) len = zpki::text::cp949ToUtf16(name, &out);
    if (out) return Buffer::adopt(out, len);
    Buffer wide = Buffer::allocate(2 * name.size() + 1);
    if (!wide) return wide;
    for (size_t i = 0; i < name.size(); ++i) wide.data()[2 * i + 1] = static_cast<unsigned char>(name[i]);
    len = static_cast<int>(2 * name.size());
    return wide;
}

// The keyUsage attribute: the value's octet as a BIT STRING without its
// trailing zero bits (DER).
int addKeyUsage(P8_PRIV_KEY_INFO* key, int usage) {
    if (!key->attributes && !(key->attributes = new_X509_ATTRIBUTES())) return 1;
    const unsigned char octet = static_cast<unsigned char>(usage);
    int unused = 0;
    while (unused < 7 && !(octet & (1u << unused))) ++unused;
    Owned<ASN1_STRING, free_ASN1_STRING> bits(new_ASN1_STRING());
    if (!bits || set_ASN1_STRING_value(bits.get(), ASN1_TAG_BIT_STRING, &octet, 1) != PKI_SUCCESS) return 1;
    bits->extra = unused;
    return add_X509_ATTRIBUTES_OID_INDEX(key->attributes, kRowKeyUsage, ASN1_TAG_BIT_STRING, bits.get(), -1) == 0 ? 0
                                                                                                                  : 1;
}

// ---- Import ----------------------------------------------------------------------------

struct Import {
    PbePassword pw;
    Owned<STACK, freeKeys> keys{new_STACK()};
    Owned<STACK, freeCerts> certs{new_STACK()};
    Owned<STACK, freeCerts> cas{new_STACK()};
};

bool push(STACK* list, void* item) { return push_STACK_value(list, item) != 0; }

// A CA certificate: basicConstraints with cA TRUE.
bool isCa(const X509_CERT& cert) {
    const X509_EXTENSIONS* exts = cert.tbs ? cert.tbs->extensions : nullptr;
    const int at = get_X509_EXTENSION_index_by_OID_index(exts, kRowBasicConstraints, -1);
    const OCTET_STRING* body = at >= 0 ? get_X509_EXTENSION_data(get_X509_EXTENSION(exts, at)) : nullptr;
    Node node = body ? sequenceNode(body->data, body->length) : nullptr;
    BASIC_CONSTRAINTS* bc = nullptr;
    if (!node || Seq_to_BASIC_CONSTRAINTS(node.get(), &bc) != PKI_SUCCESS) return false;
    const bool ca = bc->cA != 0;
    free_BASIC_CONSTRAINTS(bc);
    return ca;
}

bool importCert(const P12_SAFEBAG& bag, const ASN1_STRING* localKeyId, Import& in) {
    const auto* body = static_cast<const P12_BAGS*>(bag.bagValue);
    if (!body || rowOf(body->type) != P12_X509_CERTIFICATE) return true;  // other certificate types
    X509_CERT* made = nullptr;
    if (CertBag_to_X509_CERT(&bag, &made) != PKI_SUCCESS) {
        free_X509_CERT(made);
        return false;
    }
    Cert cert(made);
    if (localKeyId && set_X509_AUX_localkey(cert.get(), localKeyId->data, localKeyId->length) != 0) return false;
    Buffer name = Buffer::adopt(get_PKCS12_friendlyname(&bag), 0);
    if (name && set_X509_AUX_friendly(cert.get(), name.data(), static_cast<int>(std::strlen(name.chars()))) != 0)
        return false;
    STACK* to = isCa(*cert) ? in.cas.get() : in.certs.get();
    if (!push(to, cert.get())) return false;
    (void)cert.release();
    return true;
}

bool importBags(STACK* bags, Import& in, int depth);

bool importBag(P12_SAFEBAG& bag, Import& in, int depth) {
    const ASN1_STRING* localKeyId = get_PKCS12_attribute(bag.bagAttributes, P12_LOCAL_KEY_ID);
    switch (rowOf(bag.bagId)) {
        case P12_KEY_BAG: {
            if (!localKeyId || !bag.bagValue) return false;
            if (!push(in.keys.get(), bag.bagValue)) return false;
            bag.bagValue = nullptr;  // taken out of the bag
            return true;
        }
        case P12_SHROUDED_KEY_BAG: {
            // Imported with or without localKeyID: the keys are paired with
            // their certificates by the keys themselves.
            KeyInfo key = openShroudedKey(static_cast<const OCTET_STRING*>(bag.bagValue), in.pw);
            if (!key || !push(in.keys.get(), key.get())) return false;
            (void)key.release();
            return true;
        }
        case P12_CERT_BAG:
            return importCert(bag, localKeyId, in);
        case P12_SAFE_CONTENTS_BAG:
            return depth < P12_MAX_BAG_NESTING && importBags(static_cast<STACK*>(bag.bagValue), in, depth + 1);
        default:
            return true;  // CRLs, secrets and bags of other types
    }
}

bool importBags(STACK* bags, Import& in, int depth) {
    for (int i = 0; i < zpki::x509::countOf(bags); ++i) {
        P12_SAFEBAG* bag = zpki::x509::itemAt<P12_SAFEBAG>(bags, i);
        if (!bag || !importBag(*bag, in, depth)) return false;
    }
    return true;
}

bool importContents(const PKCS12& pfx, Import& in) {
    P12_AUTH_SAFE* made = nullptr;
    if (PKCS12_to_P12_AUTH_SAFE(&pfx, &made) != PKI_SUCCESS) return false;
    Owned<STACK, free_P12_AUTH_SAFE> safes(made);
    for (int i = 0; i < safes->count; ++i) {
        const auto* ci = zpki::x509::itemAt<P7_CONTENT_INFO>(safes.get(), i);
        const int type = zpki::pkcs7::typeOf(ci);
        if (type != P7_DATA && type != P7_ENCRYPTED_DATA_TYPE) continue;
        BagList bags = type == P7_DATA ? plainSafe(ci) : openSafe(ci, in.pw);
        if (!bags || !importBags(bags.get(), in, 0)) return false;
    }
    return true;
}

// The items of from appended to *to, or from itself when *to is null.
// False, with both as they were, when *to cannot grow.
template <class List>
bool moveInto(List& from, STACK** to) {
    if (!*to) {
        *to = from.release();
        return true;
    }
    if (!zpki::x509::appendAll(*to, from.get())) return false;
    (void)from.release();  // the items moved, the list was freed
    return true;
}

}  // namespace

extern "C" {

// ---- MAC --------------------------------------------------------------------------------

ZUNPKI_API PKI_ERROR set_PKCS12_mac(PKCS12* pfx, const char* password, int len, const void* salt, int salt_len,
                                    int iterations, int digest_id) {
    constexpr unsigned F = F_PKCS12_MAC;
    if (!pfx) return code(F, ERR_R_NULL_ARGUMENT);
    if (digest_id == 0) digest_id = VSC_DIGEST_SHA1;
    const MacDigest* chosen = nullptr;
    for (const auto& d : kMacDigests)
        if (d.id == digest_id) chosen = &d;
    if (!chosen) return code(F, ERR_P12_MAC_INIT);
    // A working copy: the PFX changes only when the new MAC is made.
    Owned<P12_MAC_DATA, free_P12_MAC_DATA> mac(pfx->macData ? dup_P12_MAC_DATA(pfx->macData) : new_P12_MAC_DATA());
    if (!mac) return code(F, ERR_P12_MAC_INIT);
    free_OBJECT_IDENTIFIER(mac->algorithm);
    if (!(mac->algorithm = index_to_OBJECT_IDENTIFIER(chosen->row))) return code(F, ERR_P12_MAC_INIT);
    if (!mac->macSalt && !mac->iterations) {
        if (iterations <= 0) iterations = P12_DEFAULT_ITERATIONS;
        if (iterations > PKCS5_MAX_ITERATIONS) return code(F, ERR_P12_MAC_INIT);
        const unsigned char count[4] = {
            static_cast<unsigned char>(iterations >> 24), static_cast<unsigned char>(iterations >> 16),
            static_cast<unsigned char>(iterations >> 8), static_cast<unsigned char>(iterations)};
        if (iterations >= 2 && !(mac->iterations = VSC_Binary_To_BIGINT(nullptr, count, 4)))
            return code(F, ERR_P12_MAC_INIT);
        if (salt_len <= 0) salt_len = 8;
        Buffer drawn;
        if (!salt) {
            if (!(drawn = Buffer::allocate(static_cast<size_t>(salt_len))) ||
                VSC_Rand_Bytes(drawn.data(), salt_len) != VSC_OK)
                return code(F, ERR_P12_MAC_INIT);
            salt = drawn.data();
        }
        if (!(mac->macSalt = new_OCTET_STRING(static_cast<const unsigned char*>(salt), salt_len)))
            return code(F, ERR_P12_MAC_INIT);
    }
    zpki::Secret<VSC_MAX_DIGEST_LENGTH> value;
    const int n = computeMac(pfx->authSafe, mac.get(), passwordOf(password, len), value.data());
    OCTET_STRING* digest = n > 0 ? new_OCTET_STRING(value.data(), n) : nullptr;
    if (!digest) return code(F, ERR_P12_MAC_GEN);
    free_ASN1_STRING(mac->digest);
    mac->digest = digest;
    free_P12_MAC_DATA(pfx->macData);
    pfx->macData = mac.release();
    return 0;
}

ZUNPKI_API int verify_PKCS12_mac(const PKCS12* pfx, const char* password, int len) {
    return pfx ? verifyMac(*pfx, passwordOf(password, len)) : 1;
}

// ---- Import -------------------------------------------------------------------------------

ZUNPKI_API PKI_ERROR import_PKCS12(const PKCS12* pfx, const char* password, int len, STACK** keys, STACK** certs,
                                   STACK** ca_certs) {
    constexpr unsigned F = F_IMPORT_PKCS12;
    if (!pfx || !keys || !certs || !ca_certs) return code(F, ERR_R_NULL_ARGUMENT);
    Import in;
    if (!in.keys || !in.certs || !in.cas) return code(F, ERR_R_ALLOC);

    // The MAC tells which form of the password the file was made with.
    const PbePassword given = passwordOf(password, len);
    int utf16Len = 0;
    Buffer utf16;
    if (given.len > 0) {
        in.pw = given;
        if (verifyMac(*pfx, given) != 0) {
            utf16 = zpki::pkcs5::utf16Password(given, utf16Len);
            in.pw = {given.pw, given.len, utf16.data(), utf16Len};
            if (!utf16 || verifyMac(*pfx, in.pw) != 0) return code(F, ERR_PKCS12_MAC_MISMATCH);
        }
    } else if (verifyMac(*pfx, {nullptr, 0}) == 0) {
        in.pw = {nullptr, 0};
    } else if (verifyMac(*pfx, {"", 0}) == 0) {
        in.pw = {"", 0};
    } else {
        return code(F, ERR_PKCS12_MAC_MISMATCH);
    }

    if (!importContents(*pfx, in)) return code(F, ERR_ASN1_DECODING);
    // The caller's lists change only now, and all of them or none.
    STACK** const out[3] = {keys, certs, ca_certs};
    STACK* const was[3] = {*keys, *certs, *ca_certs};
    const int had[3] = {zpki::x509::countOf(*keys), zpki::x509::countOf(*certs), zpki::x509::countOf(*ca_certs)};
    if (moveInto(in.keys, keys) && moveInto(in.certs, certs) && moveInto(in.cas, ca_certs)) return 0;
    for (int i = 0; i < 3; ++i) {
        auto freeItem = [i](void* item) {
            if (i == 0)
                free_P8_PRIV_KEY_INFO(static_cast<P8_PRIV_KEY_INFO*>(item));
            else
                free_X509_CERT(static_cast<X509_CERT*>(item));
        };
        if (*out[i] == was[i]) {
            while (zpki::x509::countOf(*out[i]) > had[i]) freeItem(pop_STACK_value(*out[i]));
        } else {  // a list made here
            while (zpki::x509::countOf(*out[i]) > 0) freeItem(pop_STACK_value(*out[i]));
            free_STACK(*out[i]);
            *out[i] = nullptr;
        }
    }
    return code(F, ERR_R_ALLOC);
}

// ---- Safes ----------------------------------------------------------------------------------

ZUNPKI_API PKI_ERROR PKCS12_add_safe(P12_AUTH_SAFE** safes, const P12_SAFEBAGS* bags, int pbe_row, int iterations,
                                     const char* password) {
    if (!safes || !bags) return 1;
    Owned<STACK, free_P12_AUTH_SAFE> made;
    if (!*safes) {
        made.reset(new_P12_AUTH_SAFE());
        if (!made) return code(F_PKCS12_SAFE, ERR_R_ALLOC);
    }
    ContentInfo ci(pbe_row == -1 ? dataSafe(bags)
                                 : encryptedSafe(pbe_row == 0 ? P12_DEFAULT_PBE : pbe_row, passwordOf(password, -1),
                                                 nullptr, 0, iterations, bags));
    STACK* list = *safes ? *safes : made.get();
    if (!ci || !push(list, ci.get())) return 1;
    (void)ci.release();
    if (made) *safes = made.release();
    return 0;
}

ZUNPKI_API PKCS12* PKCS12_add_safes(const P12_AUTH_SAFE* safes) {
    PKCS12* pfx = nullptr;
    return P12_AUTH_SAFE_to_PKCS12(safes, &pfx) == 0 ? pfx : nullptr;
}

ZUNPKI_API P7_CONTENT_INFO* gen_PKCS12_p7data(const P12_SAFEBAGS* bags) { return dataSafe(bags); }

ZUNPKI_API P12_SAFEBAGS* get_PKCS12_p7data(const P7_CONTENT_INFO* ci) { return plainSafe(ci).release(); }

ZUNPKI_API P7_CONTENT_INFO* gen_PKCS12_p7encdata(int pbe_row, const char* password, int len, const void* salt,
                                                 int salt_len, int iterations, const P12_SAFEBAGS* bags) {
    return encryptedSafe(pbe_row, passwordOf(password, len), salt, salt_len, iterations, bags);
}

ZUNPKI_API P12_SAFEBAGS* get_PKCS12_p7encdata(const P7_CONTENT_INFO* ci, const char* password, int len) {
    return openSafe(ci, passwordOf(password, len)).release();
}

// ---- Bags -----------------------------------------------------------------------------------

ZUNPKI_API PKI_ERROR add_PKCS12_bag(P12_SAFEBAGS** bags, P12_SAFEBAG* bag) {
    constexpr unsigned F = F_PKCS12_BAG;
    if (!bags || !bag) return code(F, ERR_R_NULL_ARGUMENT);
    BagList made;
    if (!*bags) {
        made.reset(new_P12_SAFEBAGS());
        if (!made) return code(F, ERR_R_ALLOC);
    }
    if (!push(*bags ? *bags : made.get(), bag)) return code(F, ERR_STK_ERROR);
    if (made) *bags = made.release();
    return 0;
}

ZUNPKI_API P12_SAFEBAG* add_PKCS12_cert(P12_SAFEBAGS** bags, const X509_CERT* cert) {
    Bag bag(new_P12_SAFEBAG());
    P12_SAFEBAG* filled = bag.get();
    if (!bag || X509_CERT_to_CertBag(cert, &filled) != PKI_SUCCESS || add_PKCS12_bag(bags, bag.get()) != PKI_SUCCESS)
        return nullptr;
    return bag.release();
}

ZUNPKI_API P12_SAFEBAG* add_PKCS12_keyinfo(P12_SAFEBAGS** bags, const P8_PRIV_KEY_INFO* key, int key_usage,
                                           int iterations, int pbe_row, const char* password) {
    if (!bags || !key || key_usage < 0) return nullptr;
    KeyInfo copy(dup_P8_PRIV_KEY_INFO(key));
    if (!copy || (key_usage != 0 && addKeyUsage(copy.get(), key_usage) != 0)) return nullptr;
    Bag bag;
    if (pbe_row == -1) {
        bag.reset(get_PKCS12_keybag(copy.get()));
        if (bag) (void)copy.release();
    } else {
        bag.reset(get_PKCS12_shr_keybag(pbe_row == 0 ? P12_DEFAULT_PBE : pbe_row, password, -1, nullptr, 0, iterations,
                                        copy.get()));
    }
    if (!bag || add_PKCS12_bag(bags, bag.get()) != PKI_SUCCESS) return nullptr;
    return bag.release();
}

ZUNPKI_API P12_SAFEBAG* get_PKCS12_keybag(P8_PRIV_KEY_INFO* key) {
    if (!key) return nullptr;
    Bag bag(new_P12_SAFEBAG());
    if (!bag || !(bag->bagId = index_to_OBJECT_IDENTIFIER(P12_KEY_BAG))) return nullptr;
    bag->bagValue = key;
    return bag.release();
}

ZUNPKI_API P12_SAFEBAG* get_PKCS12_shr_keybag(int pbe_row, const char* password, int len, const void* salt,
                                              int salt_len, int iterations, const P8_PRIV_KEY_INFO* key) {
    if (!key || !password) return nullptr;
    return shroudedBag(pbe_row, passwordOf(password, len), salt, salt_len, iterations, key);
}

// ---- Attributes ---------------------------------------------------------------------------

ZUNPKI_API int add_PKCS12_LKID(P12_SAFEBAG* bag, const void* id, int len) {
    return addStringAttribute(attributesOf(bag), P12_LOCAL_KEY_ID, ASN1_TAG_OCTET_STRING,
                              static_cast<const unsigned char*>(id), len);
}

ZUNPKI_API int add_PKCS12_friendlyname_ASC(P12_SAFEBAG* bag, const char* name, int len) {
    if (!bag || !name) return 1;
    int n = 0;
    Buffer units = utf16Of(std::string_view(name, len < 0 ? std::strlen(name) : static_cast<size_t>(len)), n);
    if (!units || !attributesOf(bag)) return 1;
    return add_PKCS12_friendlyname_UNI(bag, units.chars(), n) == 1 ? 0 : 1;
}

ZUNPKI_API int add_PKCS12_friendlyname_UNI(P12_SAFEBAG* bag, const char* bmp, int len) {
    if (!bag || !bag->bagAttributes || len % 2 != 0) return 0;
    return addStringAttribute(bag->bagAttributes, P12_FRIENDLY_NAME, ASN1_TAG_BMP_STRING,
                              reinterpret_cast<const unsigned char*>(bmp), len) == 0
               ? 1
               : 0;
}

ZUNPKI_API ASN1_STRING* get_PKCS12_attribute(const X509_ATTRIBUTES* attrs, int row) {
    const int at = get_X509_ATTRIBUTES_index_by_OID_index(attrs, row, -1);
    const X509_ATTRIBUTE* attr = at >= 0 ? get_X509_ATTRIBUTES_child(attrs, at) : nullptr;
    const int tag = get_X509_ATTRIBUTE_data_type(attr, 0);
    if (tag < 0 || (tag & 0x20)) return nullptr;
    return static_cast<ASN1_STRING*>(get_X509_ATTRIBUTE_data(attr, 0));
}

ZUNPKI_API char* get_PKCS12_friendlyname(const P12_SAFEBAG* bag) {
    const ASN1_STRING* name = bag ? get_PKCS12_attribute(bag->bagAttributes, P12_FRIENDLY_NAME) : nullptr;
    if (!name || name->type != ASN1_TAG_BMP_STRING || name->length < 0) return nullptr;
    unsigned char* text = nullptr;
    zpki::text::utf16ToUtf8(
        std::string_view(reinterpret_cast<const char*>(name->data), static_cast<size_t>(name->length)), &text);
    return reinterpret_cast<char*>(text);
}

}  // extern "C"

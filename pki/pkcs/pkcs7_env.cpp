// PKCS#7 enveloped, signed-and-enveloped and encrypted data.
#include <zunPKI/pkcs/pkcs7_env.h>

#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/pki_buffer.hpp"
#include "pkcs/pkcs5_internal.hpp"
#include "pkcs/pkcs7.hpp"
#include "pkcs/pkcs7_env.hpp"
#include <zunPKI/pkcs/pkcs7_sign.h>
#include "asn1/secret.hpp"
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/x509_attr.h>
#include "x509/x509_signing.hpp"

using zpki::Buffer;
using zpki::Owned;
using zpki::pkcs7::code;
using zpki::pkcs7::contentAs;
using zpki::pkcs7::rowOf;
using zpki::pkcs7::typeOf;

namespace {

constexpr unsigned F_ENC = F_ENCRYPT_PKCS7;
constexpr unsigned F_GEN = F_PKCS7_GENERAL;
constexpr unsigned F_RI = F_SET_P7_RECIPIENT_INFO;

constexpr int kRowRsaEncryption = 6;
constexpr int kRowOaep = 832;
constexpr int kRowMessageDigest = 51;

// Room for any key and IV of the block ciphers.
constexpr size_t kMaxKey = 64;
constexpr size_t kMaxIv = 16;

using String = Owned<ASN1_STRING, free_ASN1_STRING>;
using Algorithm = Owned<X509_ALGO_IDENTIFIER, free_X509_ALGO_IDENTIFIER>;
using Eci = Owned<P7_ENCRYPTED_CONTENT_INFO, free_P7_ENCRYPTED_CONTENT_INFO>;
using CipherUnit = Owned<BLOCK_CIPHER_UNIT, VSC_Free_BLOCK_CIPHER_Unit>;
using Recipient = Owned<P7_RECIPIENT_INFO, free_P7_RECIPIENT_INFO>;
using Message = Owned<P7_CONTENT_INFO, free_P7_CONTENT_INFO>;

// The members the three encrypted types share.
struct EnvelopeView {
    int type = 0;
    P7_ENCRYPTED_CONTENT_INFO** eci = nullptr;
    P7_RECIPIENT_INFOS** recipients = nullptr;  // null for encryptedData
    void** external = nullptr;                  // null for signedAndEnvelopedData
    X509_CERTIFICATES* certificates = nullptr;  // signedAndEnvelopedData only
};

bool viewOf(const P7_CONTENT_INFO* p7, EnvelopeView& v) {
    if (auto* ed = contentAs<P7_ENVELOPED_DATA>(p7, P7_ENVELOPED_DATA_TYPE)) {
        v = {P7_ENVELOPED_DATA_TYPE, &ed->encryptedContentInfo, &ed->recipientInfos, &ed->external_output, nullptr};
        return true;
    }
    if (auto* sed = contentAs<P7_SIGNED_AND_ENVELOPED_DATA>(p7, P7_SIGNED_AND_ENVELOPED_DATA_TYPE)) {
        v = {P7_SIGNED_AND_ENVELOPED_DATA_TYPE, &sed->encryptedContentInfo, &sed->recipientInfos, nullptr,
             sed->certificates};
        return true;
    }
    if (auto* ed = contentAs<P7_ENCRYPTED_DATA>(p7, P7_ENCRYPTED_DATA_TYPE)) {
        v = {P7_ENCRYPTED_DATA_TYPE, &ed->encryptedContentInfo, nullptr, &ed->external_output, nullptr};
        return true;
    }
    return false;
}

// ---- Algorithms ----------------------------------------------------------------

// The RSAES mode a caller names (0 is PKCS#1 v1.5); false for others.
bool rsaesMode(int mode, int& out) {
    if (mode == P7_RSAES_DEFAULT) mode = P7_RSAES_PKCS1_V15;
    if (mode != P7_RSAES_OAEP && mode != P7_RSAES_OAEP_V21 && mode != P7_RSAES_PKCS1_V15) return false;
    out = mode;
    return true;
}

bool isOaep(int mode) { return mode == P7_RSAES_OAEP || mode == P7_RSAES_OAEP_V21; }

// The cipher id the content is encrypted with: a symmetric cipher's row (or,
// where allowed, a password-based one's), the modes that are never padded
// marked so; 0 for anything else.
int contentCipherId(const X509_ALGO_IDENTIFIER* alg, bool passwordBased) {
    if (!alg) return 0;
    int id = zpki::pkcs5::cipherOfUnlistedOid(alg->algorithm);
    if (!id) {
        const int row = rowOf(alg->algorithm);
        const int kind = get_AlgorType_from_OID(row);
        if (kind != OID_ALGOR_CIPHER && !(passwordBased && kind == OID_ALGOR_PBE)) return 0;
        id = get_CipherID_from_OID(row);
    }
    const int low = id & 0xfe;
    if (low == 0x40 || low == 0x4c || low == 0x60 || low == 0x80) id |= VSC_CIPHER_NO_PADDING;
    return id;
}

const unsigned char* bytesOf(const void* p) { return static_cast<const unsigned char*>(p); }

// { row, NULL }; null when short of memory.
Algorithm algorithmOfRow(int row) {
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(index_to_OBJECT_IDENTIFIER(row));
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!oid || !alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return nullptr;
    return alg;
}

// The cipher alg names for enveloping, with its key and IV lengths; 0 for
// none we can run.
int envelopeCipher(const X509_ALGO_IDENTIFIER* alg, int& keyLen, int& ivLen) {
    const int id = contentCipherId(alg, false);
    keyLen = id ? VSC_Get_Key_Length(id) : -1;
    ivLen = id ? VSC_Get_IV_Length(id) : -1;
    if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey || ivLen < 0 || static_cast<size_t>(ivLen) > kMaxIv)
        return 0;
    return id;
}

// An OCTET STRING of an IV, as AlgorithmIdentifier parameters.
String ivParameters(const unsigned char* iv, int len) {
    String s(new_ASN1_STRING());
    if (!s || set_ASN1_STRING_value(s.get(), ASN1_TAG_OCTET_STRING, iv, len) != 0) return nullptr;
    return s;
}

// The IV an algorithm carries for a cipher: none when the cipher takes none,
// else OCTET STRING parameters exactly as long as the cipher's IV.
bool ivOf(const X509_ALGO_IDENTIFIER* alg, int cipherId, const unsigned char*& iv) {
    const int len = VSC_Get_IV_Length(cipherId);
    iv = nullptr;
    if (len <= 0) return len == 0;
    const ASN1_STRING* p = alg->parameters;
    if (!p || p->type != ASN1_TAG_OCTET_STRING || p->length != len) return false;
    iv = p->data;
    return true;
}

// ---- Streaming ---------------------------------------------------------------

// The running cipher of a message and where its output goes; 0 or a reason.
struct Stream {
    P7_ENCRYPTED_CONTENT_INFO* eci = nullptr;
    bool external = false;
};

unsigned streamOf(const P7_CONTENT_INFO* p7, Stream& s) {
    if (!p7) return ERR_R_NULL_ARGUMENT;
    EnvelopeView v;
    if (!viewOf(p7, v)) return ERR_R_UNSUPPORTED;
    s.eci = *v.eci;
    s.external = v.external && *v.external;
    return s.eci && s.eci->cipher ? 0 : ERR_R_NULL_ARGUMENT;
}

// A block freed or replaced is no longer the one grown here (the allocator
// may hand its address out again).
void forgetGrown(P7_ENCRYPTED_CONTENT_INFO* eci) {
    eci->grown = nullptr;
    eci->grownSize = 0;
}

// Appends n bytes to the encryptedContent (made when null); false when it
// cannot grow. The block grows geometrically while it is the one grown here,
// so streaming in small pieces stays linear.
bool append(P7_ENCRYPTED_CONTENT_INFO* eci, const unsigned char* bytes, int n) {
    OCTET_STRING*& s = eci->encryptedContent;
    if (!s) {
        forgetGrown(eci);
        if (!(s = new_OCTET_STRING(bytes, 0))) return false;
    }
    if (n == 0) return true;
    if (s->length > INT_MAX - 1 - n) return false;
    const int total = s->length + n;
    const bool ours = s->data && s->data == eci->grown && eci->grownSize > s->length;
    const int size = ours ? eci->grownSize : s->length + 1;
    if (total >= size) {
        const int wanted = total < INT_MAX / 2 ? 2 * total : INT_MAX;
        unsigned char* grown;
        if (zpki::ber::dataInline(s)) {  // the bytes share the record's block: copied out
            grown = static_cast<unsigned char*>(PKI_MALLOC(static_cast<size_t>(wanted)));
            if (!grown) return false;
            std::memcpy(grown, s->data, static_cast<size_t>(s->length) + 1);
        } else {
            grown = static_cast<unsigned char*>(PKI_REALLOC(s->data, static_cast<size_t>(wanted)));
            if (!grown) return false;
        }
        s->data = grown;
        eci->grown = grown;
        eci->grownSize = wanted;
    }
    std::memcpy(s->data + s->length, bytes, static_cast<size_t>(n));
    s->data[total] = 0;
    s->length = total;
    return true;
}

// The caller's buffer when it has room for need bytes, else a work buffer
// when the caller gave none; false (reason 0x49) otherwise.
struct Output {
    Buffer work;
    unsigned char* at = nullptr;
    int room = 0;
};

bool outputFor(char* out, const int* outLen, bool external, long long need, Output& o) {
    if (need > INT_MAX) return false;
    if (out) {
        if (!outLen || *outLen < need) return false;
        o.at = reinterpret_cast<unsigned char*>(out);
        o.room = *outLen;
        return true;
    }
    if (external || !(o.work = Buffer::allocate(static_cast<size_t>(need)))) return false;
    o.at = o.work.data();
    o.room = static_cast<int>(need);
    return true;
}

// The n bytes the cipher gave: into encryptedContent unless the caller takes
// them alone.
int deliver(const Stream& s, const Output& o, int n, char* out, int* outLen) {
    if (!s.external && !append(s.eci, o.at, n)) return code(F_ENC, ERR_R_ALLOC_3A);
    if (out) *outLen = n;
    return 0;
}

int blockOf(const BLOCK_CIPHER_UNIT* unit) { return unit->block_length > 0 ? unit->block_length : 1; }

// ---- Starting the cipher --------------------------------------------------------

// What init changes in a message, made before anything is changed.
struct Pending {
    String params;                  // the caller's algorithm's new parameters (null: unchanged)
    Eci eci;                        // a fresh EncryptedContentInfo (enveloped types)
    std::vector<Algorithm> labels;  // per recipient: a new keyEncryptionAlgorithm, or null
    std::vector<String> keys;       // per recipient: the encrypted key
};

// A copy of alg with params in place of its parameters (null: as they are).
Algorithm withParameters(const X509_ALGO_IDENTIFIER* alg, const ASN1_STRING* params) {
    Algorithm copy(dup_X509_ALGO_IDENTIFIER(alg));
    if (!copy || !params) return copy;
    String p(dup_ASN1_STRING(params));
    if (!p) return nullptr;
    free_ASN1_STRING(copy->parameters);
    copy->parameters = p.release();
    return copy;
}

using OidPtr = Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER>;

// params, when there are new ones, become alg's.
void replaceParameters(X509_ALGO_IDENTIFIER* alg, String& params) {
    if (!params) return;
    free_ASN1_STRING(alg->parameters);
    alg->parameters = params.release();
}

// The content key encrypted for one recipient under mode; 0 or a code.
int encryptKey(const P7_RECIPIENT_INFO* ri, int mode, const void* key, int keyLen, Pending& p) {
    if (!ri) return code(F_ENC, ERR_R_INVALID_ELEMENT);
    Algorithm label;
    String encrypted;
    if (int rc = zpki::pkcs7::transportKey(ri->keyEncryptionAlgorithm, ri->key, mode, key, keyLen, label, encrypted))
        return rc;
    try {
        p.labels.push_back(std::move(label));
        p.keys.push_back(std::move(encrypted));
    } catch (const std::bad_alloc&) {
        return code(F_ENC, ERR_R_ALLOC);
    }
    return 0;
}

// An envelopedData or signedAndEnvelopedData: a fresh cipher, the key for
// every recipient.
int prepareEnveloped(const EnvelopeView& v, const X509_ALGO_IDENTIFIER* alg, const void* key, const void* iv, int mode,
                     Pending& p) {
    const STACK* recipients = *v.recipients;
    if (get_STACK_count(recipients) <= 0 || !key) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    int keyLen = 0, ivLen = 0;
    const int cipherId = envelopeCipher(alg, keyLen, ivLen);
    if (!cipherId) return code(F_ENC, ERR_R_UNSUPPORTED);
    // A fresh IV for every message when the caller has none.
    zpki::Secret<kMaxIv> drawn;
    if (!iv && ivLen > 0) {
        if (int rc = VSC_Rand_Bytes(drawn.data(), ivLen)) return rc;
        iv = drawn.data();
    }
    CipherUnit unit(VSC_New_BLOCK_CIPHER_Unit());
    if (!unit) return code(F_ENC, ERR_R_ALLOC);
    if (int rc = VSC_Init_BLOCK_CIPHER(unit.get(), cipherId, bytesOf(key), bytesOf(iv), 1)) return rc;
    if (unit->iv_length > 0 && !(p.params = ivParameters(unit->iv, unit->iv_length))) return code(F_ENC, ERR_R_ALLOC);

    for (int i = 0; i < get_STACK_count(recipients); ++i) {
        const auto* ri = static_cast<const P7_RECIPIENT_INFO*>(get_STACK_value(recipients, i));
        if (int rc = encryptKey(ri, mode, key, keyLen, p)) return rc;
    }
    p.eci.reset(new_P7_ENCRYPTED_CONTENT_INFO());
    if (!p.eci || !(p.eci->contentType = index_to_OBJECT_IDENTIFIER(P7_DATA)) ||
        !(p.eci->contentEncryptionAlgorithm = withParameters(alg, p.params.get()).release()))
        return code(F_ENC, ERR_R_ALLOC);
    p.eci->cipher = unit.release();
    return 0;
}

// An encryptedData: the unit the caller set, whose IV the algorithm carries.
int prepareEncrypted(const EnvelopeView& v, const X509_ALGO_IDENTIFIER* alg, Pending& p) {
    const P7_ENCRYPTED_CONTENT_INFO* eci = *v.eci;
    const BLOCK_CIPHER_UNIT* unit = eci ? eci->cipher : nullptr;
    if (!unit || !unit->impl || unit->encrypt != 1) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    const int kind = get_AlgorType_from_OID(rowOf(alg->algorithm));
    const int cipherId = contentCipherId(alg, true);
    // The message names the cipher that does the work (PBES2 names it in
    // its parameters).
    const int mask = static_cast<int>(VSC_CIPHER_ALG_MASK) | VSC_CIPHER_MODE_MASK;
    if (cipherId ? (cipherId & mask) != (unit->alg_id & mask) : kind != OID_ALGOR_PBE)
        return code(F_ENC, ERR_R_UNSUPPORTED);
    const ASN1_STRING* params = alg->parameters;
    if (kind == OID_ALGOR_CIPHER && unit->iv_length > 0 &&
        (!params || params->type == ASN1_TAG_NULL || params->type == ASN1_TAG_OCTET_STRING) &&
        !(p.params = ivParameters(unit->iv, unit->iv_length)))
        return code(F_ENC, ERR_R_ALLOC);
    return 0;
}

// ---- Keys ------------------------------------------------------------------------

// A random key and IV of the cipher alg names (none for an encryptedData,
// whose unit holds its own).
int drawKey(const P7_CONTENT_INFO* p7, const X509_ALGO_IDENTIFIER* alg, zpki::Secret<kMaxKey>& key,
            zpki::Secret<kMaxIv>& iv) {
    int keyLen = 0, ivLen = 0;
    if (typeOf(p7) == P7_ENCRYPTED_DATA_TYPE || !envelopeCipher(alg, keyLen, ivLen)) return 0;  // init names a fault
    if (int rc = VSC_Rand_Bytes(key.data(), keyLen)) return rc;
    return ivLen > 0 ? VSC_Rand_Bytes(iv.data(), ivLen) : 0;
}

int encryptAll(P7_CONTENT_INFO* p7, X509_ALGO_IDENTIFIER* alg, const char* data, int len, const void* key,
               const void* iv, int mode) {
    if (int rc = init_PKCS7_Encrypt(p7, P7_DATA, alg, nullptr, key, iv, mode)) return rc;
    if (int rc = update_PKCS7_encrypt(p7, data, len, nullptr, nullptr)) return rc;
    return final_PKCS7_Encrypt(p7, nullptr, nullptr);
}

// ---- Recipients -------------------------------------------------------------------

// A RecipientInfo for an RSA certificate; 0 or a code.
int newRecipient(const X509_CERT* cert, int mode, const RSAES_OAEP_PARAM* oaep, Recipient& out) {
    const X509_NAME* issuer = get_X509_issuer(cert);
    const BIGINT* serial = get_X509_serial(cert);
    if (!issuer || !serial) return code(F_RI, ERR_R_NULL_ARGUMENT);
    const X509_PUBKEY* spki = get_X509_SPKI(cert);
    if (!spki || !spki->key || spki->key->kind != ASYMMETRIC_KEY_RSA || !spki->key->key)
        return code(F_RI, ERR_R_UNSUPPORTED);
    Recipient ri(new_P7_RECIPIENT_INFO());
    if (!ri || !zpki::pkcs7::setVersion(ri->version, 0)) return code(F_RI, ERR_R_ALLOC);
    const ISSUER_AND_SERIAL_NUMBER ias{const_cast<X509_NAME*>(issuer), const_cast<BIGINT*>(serial)};
    if (!(ri->issuerAndSerialNumber = dup_ISSUER_AND_SERIAL_NUMBER(&ias))) return code(F_RI, ERR_R_NULL_ARGUMENT);
    Algorithm label;
    if (int rc = zpki::pkcs7::recipientLabel(mode, oaep, label)) return rc;
    ri->keyEncryptionAlgorithm = label.release();
    if (!(ri->key = dup_ASYMMETRIC_KEY(spki->key))) return code(F_RI, ERR_R_ALLOC);
    out = std::move(ri);
    return 0;
}

// The RecipientInfo of cert; without one, the first, when the message
// carries its certificate.
const P7_RECIPIENT_INFO* recipientFor(const STACK* list, const X509_CERTIFICATES* certs, const X509_CERT* cert) {
    if (cert && cert->tbs) {
        for (int i = 0; i < get_STACK_count(list); ++i) {
            const auto* ri = static_cast<const P7_RECIPIENT_INFO*>(get_STACK_value(list, i));
            if (ri && cmp_P7_ISSUER_AND_SERIAL_NUMBER(cert, ri->issuerAndSerialNumber) == 0) return ri;
        }
        return nullptr;
    }
    const auto* first = static_cast<const P7_RECIPIENT_INFO*>(get_STACK_value(list, 0));
    return first && find_X509_CERT_by_IssuerAndSerialNumber(certs, first->issuerAndSerialNumber) ? first : nullptr;
}

// ---- Signed and enveloped ---------------------------------------------------------

P7_SIGNER_INFO* signerAt(const STACK* list, int i) { return static_cast<P7_SIGNER_INFO*>(get_STACK_value(list, i)); }

// Every signer still to sign carries the digest of data in its messageDigest;
// its signature covers that attribute, not the content.
int checkMessageDigests(const STACK* signers, const char* data, int len) {
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        const P7_SIGNER_INFO* si = signerAt(signers, i);
        if (!si || si->encryptedDigest || !si->digestAlgorithm) continue;  // signing names these faults
        const X509_ATTRIBUTES* attrs = si->authenticatedAttributes;
        const X509_ATTRIBUTE* a =
            get_X509_ATTRIBUTES_child(attrs, get_X509_ATTRIBUTES_index_by_OID_index(attrs, kRowMessageDigest, -1));
        const int digest = get_DigestID_from_OID(rowOf(si->digestAlgorithm->algorithm));
        if (!a || !digest || get_X509_ATTRIBUTE_count(a) != 1 ||
            get_X509_ATTRIBUTE_data_type(a, 0) != ASN1_TAG_OCTET_STRING)
            continue;
        const auto* md = static_cast<const ASN1_STRING*>(get_X509_ATTRIBUTE_data(a, 0));
        unsigned char out[VSC_MAX_DIGEST_LENGTH];
        int outLen = sizeof out;
        if (int rc = VSC_DIGEST(digest, reinterpret_cast<const unsigned char*>(data), len, out, &outLen)) return rc;
        if (md->length != outLen || std::memcmp(md->data, out, static_cast<size_t>(outLen)) != 0)
            return code(F_SIGN_PKCS7, 0x5e);
    }
    return 0;
}

// Each signature run through the content cipher (encrypt 1) or back (0),
// all or none; 0 or a code.
int sealSignatures(P7_SIGNED_AND_ENVELOPED_DATA* sed, const void* key, int encrypt) {
    const P7_ENCRYPTED_CONTENT_INFO* eci = sed->encryptedContentInfo;
    const int cipherId = eci ? contentCipherId(eci->contentEncryptionAlgorithm, false) : 0;
    const unsigned char* iv = nullptr;
    if (!cipherId || !ivOf(eci->contentEncryptionAlgorithm, cipherId, iv))
        return code(F_SIGN_PKCS7, ERR_R_INVALID_ELEMENT);
    const int block = VSC_Get_Block_Length(cipherId);
    std::vector<String> sealed;
    const STACK* signers = sed->signerInfos;
    if (get_STACK_count(signers) <= 0) return code(F_SIGN_PKCS7, ERR_R_INVALID_ELEMENT);
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        const P7_SIGNER_INFO* si = signerAt(signers, i);
        const OCTET_STRING* sig = si ? si->encryptedDigest : nullptr;
        if (!sig || block <= 0 || sig->length > INT_MAX - block) return code(F_SIGN_PKCS7, ERR_R_INVALID_ELEMENT);
        Buffer out = Buffer::allocate(static_cast<size_t>(sig->length) + static_cast<size_t>(block));
        if (!out) return code(F_SIGN_PKCS7, ERR_R_ALLOC);
        int n = 0;
        if (int rc = VSC_BLOCK_CIPHER(cipherId, encrypt, bytesOf(key), iv, sig->data, sig->length, out.data(), &n))
            return rc;
        String value(new_OCTET_STRING(out.data(), n));
        if (!value) return code(F_SIGN_PKCS7, ERR_R_ALLOC);
        try {
            sealed.push_back(std::move(value));
        } catch (const std::bad_alloc&) {
            return code(F_SIGN_PKCS7, ERR_R_ALLOC);
        }
    }
    for (int i = 0; i < get_STACK_count(signers); ++i) {
        P7_SIGNER_INFO* si = signerAt(signers, i);
        free_OCTET_STRING(si->encryptedDigest);
        si->encryptedDigest = sealed[static_cast<size_t>(i)].release();
    }
    return 0;
}

int signAndEncrypt(P7_CONTENT_INFO* p7, X509_ALGO_IDENTIFIER* alg, const char* data, int len, const void* key,
                   const void* iv, int mode, bool sealed) {
    int rsaes = 0;
    if (!p7 || !alg || !data || len < 0) return 1;
    if (!rsaesMode(mode, rsaes)) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    auto* sed = contentAs<P7_SIGNED_AND_ENVELOPED_DATA>(p7, P7_SIGNED_AND_ENVELOPED_DATA_TYPE);
    if (!sed) return 1;
    zpki::Secret<kMaxKey> drawnKey;
    zpki::Secret<kMaxIv> drawnIv;
    if (!key) {
        if (int rc = drawKey(p7, alg, drawnKey, drawnIv)) return rc;
        key = drawnKey.data();
        iv = drawnIv.data();
    }
    if (int rc = checkMessageDigests(sed->signerInfos, data, len)) return rc;
    if (int rc = init_PKCS7_Sign(p7, 1)) return rc;
    if (int rc = update_PKCS7_Sign(p7, data, len)) return rc;
    if (int rc = final_PKCS7_Sign(p7)) return rc;
    if (int rc = encryptAll(p7, alg, data, len, key, iv, mode)) return rc;
    return sealed ? sealSignatures(sed, key, 1) : 0;
}

}  // namespace

namespace zpki::pkcs7 {

int cipherOfContent(const X509_ALGO_IDENTIFIER* alg, bool passwordBased) {
    return ::contentCipherId(alg, passwordBased);
}

int cipherForEnvelope(const X509_ALGO_IDENTIFIER* alg, int& keyLen, int& ivLen) {
    return ::envelopeCipher(alg, keyLen, ivLen);
}

asn1::String ivAsParameters(const unsigned char* iv, int len) { return ::ivParameters(iv, len); }

bool transportMode(int mode, int& out) { return ::rsaesMode(mode, out); }

int recipientLabel(int mode, const RSAES_OAEP_PARAM* oaep, x509::Algorithm& out) {
    Algorithm label = algorithmOfRow(::isOaep(mode) ? kRowOaep : kRowRsaEncryption);
    if (!label) return code(F_RI, ERR_R_ALLOC);
    if (::isOaep(mode)) {
        if (PKI_ERROR rc = set_X509_ALGO_IDENTIFIER_with_RSAES_OAEP_PARAM(label.get(), oaep)) return rc;
        // Parameters the crypto library cannot follow make a message nobody opens.
        int digest = 0;
        if (!x509::oaepDigest(label->parameters, digest)) return code(F_RI, ERR_R_UNSUPPORTED);
    }
    out = std::move(label);
    return 0;
}

int transportKey(const X509_ALGO_IDENTIFIER* kea, const ASYMMETRIC_KEY* pub, int mode, const void* key, int keyLen,
                 x509::Algorithm& label, asn1::String& out) {
    if (!pub || pub->kind != ASYMMETRIC_KEY_RSA || !pub->key) return code(F_ENC, ERR_R_UNSUPPORTED);
    // The label the recipient carries decides the OAEP hash.
    int digest = 0;
    const int row = kea ? rowOf(kea->algorithm) : 0;
    if (!::isOaep(mode)) {
        if (row != kRowRsaEncryption && !(label = algorithmOfRow(kRowRsaEncryption))) return code(F_ENC, ERR_R_ALLOC);
    } else if (row == kRowOaep) {
        if (!x509::oaepDigest(kea->parameters, digest)) return code(F_ENC, ERR_R_UNSUPPORTED);
    } else {
        label = algorithmOfRow(kRowOaep);
        if (!label || set_X509_ALGO_IDENTIFIER_with_RSAES_OAEP_PARAM(label.get(), nullptr) != 0)
            return code(F_ENC, ERR_R_ALLOC);
        digest = VSC_DIGEST_SHA1;
    }
    RsaUnit rsa(VSC_Dup_RSA(static_cast<const RSA_UNIT*>(pub->key)));
    if (!rsa) return code(F_ENC, ERR_R_ALLOC);
    const int n = VSC_Get_RSA_Length(rsa.get());
    if (n <= 0) return code(F_ENC, ERR_R_UNSUPPORTED);
    Buffer encrypted = Buffer::allocate(static_cast<size_t>(n));
    if (!encrypted) return code(F_ENC, ERR_R_ALLOC);
    int outLen = n;
    if (int rc = VSC_Init_RSAES(rsa.get(), mode, 0, digest)) return rc;
    if (int rc = VSC_Encrypt_RSAES(rsa.get(), encrypted.data(), &outLen, bytesOf(key), keyLen)) return rc;
    String value(new_OCTET_STRING(encrypted.data(), outLen));
    if (!value) return code(F_ENC, ERR_R_ALLOC);
    out = std::move(value);
    return 0;
}

int openKey(const X509_ALGO_IDENTIFIER* kea, const OCTET_STRING* encryptedKey, const ASYMMETRIC_KEY* key, int mode,
            int keyLen, char* out, int* outLen) {
    if (!encryptedKey || !key || key->kind != ASYMMETRIC_KEY_RSA || !key->key || !out || !outLen || keyLen <= 0)
        return 1;
    // OAEP with the hash the recipient's label names.
    int digest = 0;
    if (::isOaep(mode) && kea && rowOf(kea->algorithm) == kRowOaep && !x509::oaepDigest(kea->parameters, digest))
        return 1;
    RsaUnit rsa(VSC_Dup_RSA(static_cast<const RSA_UNIT*>(key->key)));
    const int n = rsa ? VSC_Get_RSA_Length(rsa.get()) : -1;
    if (n <= 0) return 1;
    Buffer plain = Buffer::allocate(static_cast<size_t>(n));
    if (!plain) return code(F_GEN, ERR_R_ALLOC);
    int plainLen = n;
    if (int rc = VSC_Init_RSAES(rsa.get(), mode, 1, digest)) return rc;
    if (int rc = VSC_Decrypt_RSAES(rsa.get(), plain.data(), &plainLen, encryptedKey->data, encryptedKey->length))
        return rc;
    // The key must fit the content cipher.
    if (plainLen != keyLen) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    if (plainLen > *outLen) return code(F_GEN, ERR_R_NULL_ARGUMENT);
    std::memcpy(out, plain.data(), static_cast<size_t>(plainLen));
    *outLen = plainLen;
    return 0;
}

int streamUpdate(P7_ENCRYPTED_CONTENT_INFO* eci, bool external, const char* data, int len, char* out, int* outLen) {
    if (!eci || !eci->cipher) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    if (len < 0 || (!data && len > 0)) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    const Stream s{eci, external};
    // One update gives up to len plus what the cipher held back (less than a block).
    Output o;
    if (!outputFor(out, outLen, external, static_cast<long long>(len) + blockOf(eci->cipher), o))
        return code(F_ENC, ERR_R_NULL_ARGUMENT);
    int n = o.room;
    if (int rc = VSC_Update_BLOCK_CIPHER(eci->cipher, o.at, &n, reinterpret_cast<const unsigned char*>(data), len))
        return rc;
    return deliver(s, o, n, out, outLen);
}

int streamFinal(P7_ENCRYPTED_CONTENT_INFO* eci, bool external, char* out, int* outLen) {
    if (!eci || !eci->cipher) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    const Stream s{eci, external};
    Output o;
    if (!outputFor(out, outLen, external, blockOf(eci->cipher), o)) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    int n = o.room;
    if (int rc = VSC_Final_BLOCK_CIPHER(eci->cipher, o.at, &n)) return rc;
    // An empty content still has its (empty) encryptedContent.
    return deliver(s, o, n, out, outLen);
}

int decryptContent(const P7_ENCRYPTED_CONTENT_INFO* eci, const void* key, const void* iv, char* out, int* outLen) {
    if (!eci || !key || !out || !outLen) return 1;
    if (!eci->encryptedContent || !eci->contentEncryptionAlgorithm) return 1;
    const int cipherId = ::contentCipherId(eci->contentEncryptionAlgorithm, true);
    if (!cipherId) return 1;
    const unsigned char* ivBytes = bytesOf(iv);
    if (!ivBytes && !ivOf(eci->contentEncryptionAlgorithm, cipherId, ivBytes))
        return code(F_GEN, ERR_R_INVALID_ELEMENT);
    const OCTET_STRING* in = eci->encryptedContent;
    const int block = VSC_Get_Block_Length(cipherId);
    if (block <= 0 || in->length > INT_MAX - block) return 1;
    Buffer plain = Buffer::allocate(static_cast<size_t>(in->length) + static_cast<size_t>(block));
    if (!plain) return code(F_GEN, ERR_R_ALLOC);
    int n = 0;
    if (int rc = VSC_BLOCK_CIPHER(cipherId, 0, bytesOf(key), ivBytes, in->data, in->length, plain.data(), &n))
        return rc;
    if (n > *outLen) return code(F_GEN, ERR_R_NULL_ARGUMENT);
    std::memcpy(out, plain.data(), static_cast<size_t>(n));
    *outLen = n;
    return 0;
}

}  // namespace zpki::pkcs7

extern "C" {

// ---- Recipients -----------------------------------------------------------------

ZUNPKI_API int add_PKCS7_P7_RECIPIENT_INFO(P7_CONTENT_INFO* p7, P7_RECIPIENT_INFO* ri) {
    EnvelopeView v;
    if (!ri || !viewOf(p7, v) || !v.recipients) return 1;
    const bool made = !*v.recipients;
    if (made && !(*v.recipients = new_P7_RECIPIENT_INFOS())) return 1;
    if (push_STACK_value(*v.recipients, ri) != 0) return 0;
    if (made) {
        free_P7_RECIPIENT_INFOS(*v.recipients);
        *v.recipients = nullptr;
    }
    return 1;
}

ZUNPKI_API P7_RECIPIENT_INFO* add_PKCS7_Recipient_withEncryptedAlgorithm(P7_CONTENT_INFO* p7,
                                                                         const X509_CERT* recipient, int mode,
                                                                         const RSAES_OAEP_PARAM* oaep) {
    int rsaes = 0;
    EnvelopeView v;
    Recipient ri;
    if (!rsaesMode(mode, rsaes) || !viewOf(p7, v) || !v.recipients || newRecipient(recipient, rsaes, oaep, ri) != 0 ||
        add_PKCS7_P7_RECIPIENT_INFO(p7, ri.get()) != 0)
        return nullptr;
    return ri.release();
}

ZUNPKI_API P7_RECIPIENT_INFO* add_PKCS7_Recipient(P7_CONTENT_INFO* p7, const X509_CERT* recipient) {
    return add_PKCS7_Recipient_withEncryptedAlgorithm(p7, recipient, P7_RSAES_DEFAULT, nullptr);
}

// ---- Encrypted-content set-up ----------------------------------------------------

ZUNPKI_API int set_PKCS7_P7_ENCRYPTED_CONTENT_INFO(P7_ENCRYPTED_CONTENT_INFO* eci, int type_row,
                                                   const X509_ALGO_IDENTIFIER* alg, const unsigned char* data,
                                                   int len) {
    if (!eci || !alg || len < 0) return code(F_GEN, ERR_R_NULL_ARGUMENT);
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(type_row));
    if (!type) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    Algorithm copy(dup_X509_ALGO_IDENTIFIER(alg));
    String content(data && len > 0 ? new_OCTET_STRING(data, len) : nullptr);
    if (!copy || (data && len > 0 && !content)) return code(F_GEN, ERR_R_ALLOC);
    free_OBJECT_IDENTIFIER(eci->contentType);
    eci->contentType = type.release();
    free_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm);
    eci->contentEncryptionAlgorithm = copy.release();
    free_OCTET_STRING(eci->encryptedContent);
    eci->encryptedContent = content.release();
    forgetGrown(eci);
    return 0;
}

ZUNPKI_API int set_PKCS7_Cipher(P7_CONTENT_INFO* p7, BLOCK_CIPHER_UNIT* unit) {
    if (!unit) return code(F_GEN, ERR_R_NULL_ARGUMENT);
    EnvelopeView v;
    if (!viewOf(p7, v)) return 1;
    if (!*v.eci && !(*v.eci = new_P7_ENCRYPTED_CONTENT_INFO())) return 1;
    if ((*v.eci)->cipher != unit) VSC_Free_BLOCK_CIPHER_Unit((*v.eci)->cipher);
    (*v.eci)->cipher = unit;
    return 0;
}

// ---- Encryption ------------------------------------------------------------------

ZUNPKI_API int init_PKCS7_Encrypt(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg, void* external,
                                  const void* key, const void* iv, int mode) {
    int rsaes = 0;
    if (!p7 || !rsaesMode(mode, rsaes)) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    EnvelopeView v;
    if (!viewOf(p7, v)) return code(F_ENC, ERR_R_UNSUPPORTED);
    if (!alg || !alg->algorithm) return code(F_ENC, ERR_R_NULL_ARGUMENT);
    Pending p;
    if (v.type == P7_ENCRYPTED_DATA_TYPE) {
        if (int rc = prepareEncrypted(v, alg, p)) return rc;
        P7_ENCRYPTED_CONTENT_INFO* eci = *v.eci;
        OidPtr type(index_to_OBJECT_IDENTIFIER(P7_DATA));
        Algorithm copy;
        const bool own = alg == eci->contentEncryptionAlgorithm;
        if (!type || (!own && !(copy = withParameters(alg, p.params.get())))) return code(F_ENC, ERR_R_ALLOC);
        // The new description, and the content starts afresh.
        replaceParameters(alg, p.params);
        free_OBJECT_IDENTIFIER(eci->contentType);
        eci->contentType = type.release();
        if (!own) {
            free_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm);
            eci->contentEncryptionAlgorithm = copy.release();
        }
        free_OCTET_STRING(eci->encryptedContent);
        eci->encryptedContent = nullptr;
        forgetGrown(eci);
    } else {
        if (int rc = prepareEnveloped(v, alg, key, iv, rsaes, p)) return rc;
        replaceParameters(alg, p.params);
        STACK* recipients = *v.recipients;
        for (int i = 0; i < get_STACK_count(recipients); ++i) {
            auto* ri = static_cast<P7_RECIPIENT_INFO*>(get_STACK_value(recipients, i));
            free_OCTET_STRING(ri->encryptedKey);
            ri->encryptedKey = p.keys[static_cast<size_t>(i)].release();
            if (Algorithm& label = p.labels[static_cast<size_t>(i)]) {
                free_X509_ALGO_IDENTIFIER(ri->keyEncryptionAlgorithm);
                ri->keyEncryptionAlgorithm = label.release();
            }
        }
        free_P7_ENCRYPTED_CONTENT_INFO(*v.eci);
        *v.eci = p.eci.release();
    }
    if (v.external) *v.external = external;
    return 0;
}

ZUNPKI_API int update_PKCS7_encrypt(P7_CONTENT_INFO* p7, const char* data, int len, char* out, int* out_len) {
    Stream s;
    if (unsigned reason = streamOf(p7, s)) return code(F_ENC, reason);
    return zpki::pkcs7::streamUpdate(s.eci, s.external, data, len, out, out_len);
}

ZUNPKI_API int final_PKCS7_Encrypt(P7_CONTENT_INFO* p7, char* out, int* out_len) {
    Stream s;
    if (unsigned reason = streamOf(p7, s)) return code(F_ENC, reason);
    return zpki::pkcs7::streamFinal(s.eci, s.external, out, out_len);
}

ZUNPKI_API int encrypt_PKCS7(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg, const char* data, int len,
                             int mode) {
    int rsaes = 0;
    if (!p7 || !alg || !data || len < 0) return 1;
    if (!rsaesMode(mode, rsaes)) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    zpki::Secret<kMaxKey> key;
    zpki::Secret<kMaxIv> iv;
    if (int rc = drawKey(p7, alg, key, iv)) return rc;
    return encryptAll(p7, alg, data, len, key.data(), iv.data(), mode);
}

ZUNPKI_API int encrypt_PKCS7_userKEY(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg, const char* data,
                                     int len, const void* key, const void* iv, int mode) {
    int rsaes = 0;
    if (!p7 || !alg || !data || len < 0 || !key) return 1;
    if (!rsaesMode(mode, rsaes)) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    return encryptAll(p7, alg, data, len, key, iv, mode);
}

ZUNPKI_API int sign_encrypt_PKCS7(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg, const char* data,
                                  int len, int mode) {
    return signAndEncrypt(p7, alg, data, len, nullptr, nullptr, mode, false);
}

ZUNPKI_API int sign_encrypt_PKCS7_userKEY(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg,
                                          const char* data, int len, const void* key, const void* iv, int mode) {
    return key ? signAndEncrypt(p7, alg, data, len, key, iv, mode, false) : 1;
}

ZUNPKI_API int sign_encrypt_PKCS7_SP(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg, const char* data,
                                     int len, int mode) {
    return signAndEncrypt(p7, alg, data, len, nullptr, nullptr, mode, true);
}

ZUNPKI_API int sign_encrypt_PKCS7_userKEY_SP(P7_CONTENT_INFO* p7, int /*unused*/, X509_ALGO_IDENTIFIER* alg,
                                             const char* data, int len, const void* key, const void* iv, int mode) {
    return key ? signAndEncrypt(p7, alg, data, len, key, iv, mode, true) : 1;
}

// ---- Decryption ------------------------------------------------------------------

ZUNPKI_API int decrypt_PKCS7_enveloped_CEK(P7_CONTENT_INFO* p7, const X509_CERT* recipient, const ASYMMETRIC_KEY* key,
                                           char* out, int* out_len, int mode) {
    EnvelopeView v;
    int rsaes = 0;
    if (!p7 || !key || !out || !out_len || !viewOf(p7, v) || !v.recipients) return 1;
    if (!rsaesMode(mode, rsaes)) return code(F_GEN, ERR_R_INVALID_ELEMENT);
    const P7_RECIPIENT_INFO* ri = recipientFor(*v.recipients, v.certificates, recipient);
    if (!ri || !ri->encryptedKey || key->kind != ASYMMETRIC_KEY_RSA || !key->key) return 1;
    // The key must fit the content cipher.
    const P7_ENCRYPTED_CONTENT_INFO* eci = *v.eci;
    const int cipherId = eci ? contentCipherId(eci->contentEncryptionAlgorithm, false) : 0;
    const int keyLen = cipherId ? VSC_Get_Key_Length(cipherId) : -1;
    if (keyLen <= 0 || !ri->encryptedKey) return 1;
    return zpki::pkcs7::openKey(ri->keyEncryptionAlgorithm, ri->encryptedKey, key, rsaes, keyLen, out, out_len);
}

ZUNPKI_API int decrypt_PKCS7(P7_CONTENT_INFO* p7, const void* key, const void* iv, char* out, int* out_len) {
    EnvelopeView v;
    if (!p7 || !key || !out || !out_len || !viewOf(p7, v)) return 1;
    return zpki::pkcs7::decryptContent(*v.eci, key, iv, out, out_len);
}

}  // extern "C"

namespace {

// Verification of a copy whose signatures were encrypted with the content key.
bool verifiesUnsealed(const P7_CONTENT_INFO* p7, const X509_CERT* signer, const void* key, const char* data, int len) {
    Message copy(dup_P7_CONTENT_INFO(p7));
    auto* sed = contentAs<P7_SIGNED_AND_ENVELOPED_DATA>(copy.get(), P7_SIGNED_AND_ENVELOPED_DATA_TYPE);
    return sed && sealSignatures(sed, key, 0) == 0 && verify_PKCS7(copy.get(), signer, data, len) == 0;
}

}  // namespace

extern "C" ZUNPKI_API int verify_decrypt_PKCS7(P7_CONTENT_INFO* p7, const X509_CERT* signer, const void* key, char* out,
                                               int* out_len) {
    if (!contentAs<P7_SIGNED_AND_ENVELOPED_DATA>(p7, P7_SIGNED_AND_ENVELOPED_DATA_TYPE)) return 1;
    if (int rc = decrypt_PKCS7(p7, key, nullptr, out, out_len)) return rc;
    int rc = verify_PKCS7(p7, signer, out, *out_len);
    if (rc != 0 && verifiesUnsealed(p7, signer, key, out, *out_len)) rc = 0;
    if (rc != 0) {
        // Content whose signatures fail is not handed out.
        zpki::wipe(out, static_cast<size_t>(*out_len));
        *out_len = 0;
    }
    return rc;
}

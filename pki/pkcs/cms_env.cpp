// CMS enveloped and encrypted data: recipients, the content cipher and the
// content keys, through PKCS#7's envelope engine.
#include <zunPKI/pkcs/cms_env.h>

#include <vector>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/secret.hpp"
#include "pkcs/cms.hpp"
#include "pkcs/pkcs7_env.hpp"
#include "pkcs/pkcs_codecs.hpp"

using zpki::Owned;
using zpki::cms::asCms;
using zpki::cms::code;
using zpki::cms::rowOf;
using zpki::cms::typeOf;

namespace {

constexpr int kRowRsaEncryption = 6;
constexpr int kRowOaep = 832;
// Room for any key and IV of the block ciphers.
constexpr size_t kMaxKey = 64;
constexpr size_t kMaxIv = 16;

using Algorithm = zpki::x509::Algorithm;
using String = zpki::asn1::String;
using CipherUnit = Owned<BLOCK_CIPHER_UNIT, VSC_Free_BLOCK_CIPHER_Unit>;

// The members enveloped and encrypted data share.
struct Envelope {
    CMS_ENCRYPTED_CONTENT_INFO** eci = nullptr;
    CMS_RECIPIENT_INFOS** recipients = nullptr;  // null for encryptedData
    int* detached = nullptr;
};

bool envelopeOf(const CMS_CONTENT_INFO* cms, Envelope& v) {
    if (auto* ed = zpki::cms::contentAs<CMS_ENVELOPED_DATA>(cms, CMS_ENVELOPED_DATA_TYPE)) {
        v = {&ed->encryptedContentInfo, &ed->recipientInfos, &ed->detached};
        return true;
    }
    if (auto* ed = zpki::cms::contentAs<CMS_ENCRYPTED_DATA>(cms, CMS_ENCRYPTED_DATA_TYPE)) {
        v = {&ed->encryptedContentInfo, nullptr, &ed->detached};
        return true;
    }
    return false;
}

// The cipher a caller names: SEED-CBC for 0, and the modes that are never
// padded (CFB, OFB) marked so.
int runnableCipher(int id) {
    if (id == 0) return CMS_DEFAULT_CIPHER;
    const int low = id & 0xfe;
    if (low == 0x40 || low == 0x4c || low == 0x60 || low == 0x80) id |= VSC_CIPHER_NO_PADDING;
    return id;
}

// The cipher algorithm and mode of an id, whatever its padding bit.
int cipherFamily(int id) { return id & (static_cast<int>(VSC_CIPHER_ALG_MASK) | VSC_CIPHER_MODE_MASK); }

// What init changes, made before anything is changed.
struct Pending {
    std::vector<Algorithm> labels;  // per recipient: a new keyEncryptionAlgorithm, or null
    std::vector<String> keys;       // per recipient: the encrypted key
};

// The content key encrypted for every recipient of the list; reasons under
// func (0x30 a recipient without its record or key, 0x48 another kind).
int encryptForRecipients(const STACK* list, int mode, const unsigned char* key, int keyLen, unsigned func, Pending& p) {
    if (get_STACK_count(list) <= 0) return code(func, ERR_R_NULL_ARGUMENT);
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const auto* ri = static_cast<const CMS_RECIPIENT_INFO*>(get_STACK_value(list, i));
        if (!ri) return code(func, ERR_NOT_FOUNDED);
        // Key agreement is not offered; no other kind carries a key here.
        if (ri->type != CMS_RI_KEY_TRANSPORT) return code(func, ERR_R_UNSUPPORTED);
        const KEY_TRANS_RECIPIENT_INFO* ktri = ri->ktri;
        if (!ktri || !ktri->key) return code(func, ERR_R_WRITE_FAILED);
        if (ktri->key->kind != ASYMMETRIC_KEY_RSA) return code(func, ERR_R_UNSUPPORTED);
        Algorithm label;
        String encrypted;
        if (int rc =
                zpki::pkcs7::transportKey(ktri->keyEncryptionAlgorithm, ktri->key, mode, key, keyLen, label, encrypted))
            return asCms(rc, func);
        try {
            p.labels.push_back(std::move(label));
            p.keys.push_back(std::move(encrypted));
        } catch (const std::bad_alloc&) {
            return code(func, ERR_R_ALLOC);
        }
    }
    return 0;
}

// The pending keys and labels into the recipients.
void install(STACK* list, Pending& p) {
    for (int i = 0; i < get_STACK_count(list); ++i) {
        KEY_TRANS_RECIPIENT_INFO* ktri = static_cast<CMS_RECIPIENT_INFO*>(get_STACK_value(list, i))->ktri;
        free_OCTET_STRING(ktri->encryptedKey);
        ktri->encryptedKey = p.keys[static_cast<size_t>(i)].release();
        if (Algorithm& label = p.labels[static_cast<size_t>(i)]) {
            free_X509_ALGO_IDENTIFIER(ktri->keyEncryptionAlgorithm);
            ktri->keyEncryptionAlgorithm = label.release();
        }
    }
}

void replaceParameters(X509_ALGO_IDENTIFIER* alg, String& params) {
    if (!params) return;
    free_ASN1_STRING(alg->parameters);
    alg->parameters = params.release();
}

// The RSAES mode a recipient's label calls for; 0 for a label we cannot follow.
int modeOfLabel(const X509_ALGO_IDENTIFIER* kea) {
    const int row = kea ? rowOf(kea->algorithm) : 0;
    if (row == kRowRsaEncryption) return CMS_RSAES_PKCS1_V15;
    if (row == kRowOaep) return CMS_RSAES_OAEP_V21;
    return 0;
}

}  // namespace

extern "C" {

// ---- Recipients ----------------------------------------------------------------------

ZUNPKI_API int set_CMS_RECIPIENT_INFO(CMS_RECIPIENT_INFO* ri, const X509_CERT* cert, int mode,
                                      const RSAES_OAEP_PARAM* oaep, int flags) {
    constexpr unsigned F = F_SET_CMS_RECIPIENT_INFO;
    if (!ri || !cert) return code(F, ERR_R_NULL_ARGUMENT);
    // Key agreement ("RSA encryption to the originator's key") and other
    // kinds are not offered.
    if (flags & (CMS_RECIPIENT_KEY_AGREEMENT | CMS_RECIPIENT_OTHER)) return code(F, ERR_R_UNSUPPORTED);
    int rsaes = 0;
    if (!zpki::pkcs7::transportMode(mode, rsaes)) return code(F, ERR_R_UNSUPPORTED);
    const X509_PUBKEY* spki = get_X509_SPKI(cert);
    if (!spki || !spki->key || spki->key->kind != ASYMMETRIC_KEY_RSA || !spki->key->key)
        return code(F, ERR_R_UNSUPPORTED);
    SIGNER_IDENTIFIER* rid = nullptr;
    if (PKI_ERROR rc = zpki::cms::identifierOf(cert, flags & CMS_RECIPIENT_BY_KEY_IDENTIFIER, rid, F)) return rc;
    Owned<KEY_TRANS_RECIPIENT_INFO, free_KEY_TRANS_RECIPIENT_INFO> ktri(new_KEY_TRANS_RECIPIENT_INFO());
    if (!ktri) {
        free_SIGNER_IDENTIFIER(rid);
        return code(F, ERR_R_ALLOC);
    }
    ktri->rid = rid;
    Algorithm label;
    // Parameters our crypto library cannot follow make a message nobody opens.
    if (int rc = zpki::pkcs7::recipientLabel(rsaes, oaep, label))
        return PKI_ERR_LIB(rc) == PKI_ERR_LIB(L_PKCS7) ? code(F, ERR_R_UNSUPPORTED) : rc;
    ktri->keyEncryptionAlgorithm = label.release();
    if (!zpki::pkcs7::setVersion(ktri->version, zpki::cms::recipientVersion(rid)) ||
        !(ktri->key = dup_ASYMMETRIC_KEY(spki->key)))
        return code(F, ERR_R_ALLOC);
    clean_CMS_RECIPIENT_INFO(ri);
    ri->type = CMS_RI_KEY_TRANSPORT;
    ri->ktri = ktri.release();
    return 0;
}

ZUNPKI_API int add_CMS_RECIPIENT_INFO(CMS_CONTENT_INFO* cms, CMS_RECIPIENT_INFO* ri) {
    constexpr unsigned F = F_ADD_CMS_RECIPIENT_INFO;
    if (!cms || !ri) return code(F, ERR_R_NULL_ARGUMENT);
    CMS_RECIPIENT_INFOS** list = nullptr;
    if (auto* ed = zpki::cms::contentAs<CMS_ENVELOPED_DATA>(cms, CMS_ENVELOPED_DATA_TYPE))
        list = &ed->recipientInfos;
    else if (auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE))
        list = &ad->recipientInfos;
    else
        return code(F, ERR_R_UNSUPPORTED);
    if (!*list && !(*list = new_CMS_RECIPIENT_INFOS())) return code(F, ERR_STK_ERROR);
    return push_STACK_value(*list, ri) != 0 ? 0 : code(F, ERR_STK_ERROR);
}

ZUNPKI_API int add_CMS_Recipient(CMS_CONTENT_INFO* cms, const X509_CERT* cert, int mode, const RSAES_OAEP_PARAM* oaep,
                                 int flags) {
    Owned<CMS_RECIPIENT_INFO, free_CMS_RECIPIENT_INFO> ri(new_CMS_RECIPIENT_INFO());
    if (!ri) return code(F_SET_CMS_RECIPIENT_INFO, ERR_R_ALLOC);
    if (int rc = set_CMS_RECIPIENT_INFO(ri.get(), cert, mode, oaep, flags)) return rc;
    if (int rc = add_CMS_RECIPIENT_INFO(cms, ri.get())) return rc;
    (void)ri.release();
    return 0;
}

// ---- The content cipher ---------------------------------------------------------------

ZUNPKI_API int set_CMS_Cipher(CMS_CONTENT_INFO* cms, int cipher_id, const unsigned char* key, const unsigned char* iv,
                              int encrypt) {
    constexpr unsigned F = F_SET_CMS_CIPHER;
    if (!cms || !key) return code(F, ERR_R_NULL_ARGUMENT);
    Envelope v;
    if (!envelopeOf(cms, v)) return code(F, ERR_R_INVALID_ELEMENT);
    CipherUnit unit(VSC_New_BLOCK_CIPHER_Unit());
    if (!unit) return code(F, ERR_R_ALLOC);
    if (int rc = VSC_Init_BLOCK_CIPHER(unit.get(), runnableCipher(cipher_id), key, iv, encrypt ? 1 : 0)) return rc;
    if (!*v.eci && !(*v.eci = new_CMS_ENCRYPTED_CONTENT_INFO())) return code(F, ERR_R_ALLOC);
    VSC_Free_BLOCK_CIPHER_Unit((*v.eci)->cipher);
    (*v.eci)->cipher = unit.release();
    return 0;
}

ZUNPKI_API int set_CMS_ENCRYPTED_CONTENT_INFO(CMS_ENCRYPTED_CONTENT_INFO* eci, int row, const X509_ALGO_IDENTIFIER* alg,
                                              const unsigned char* bytes, int len) {
    constexpr unsigned F = F_SET_CMS_ENCRYPTED_CONTENT_INFO;
    if (!eci || !alg || len < 0) return code(F, ERR_R_NULL_ARGUMENT);
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(row > 0 ? index_to_OBJECT_IDENTIFIER(row) : nullptr);
    if (!type) return code(F, ERR_R_UNSUPPORTED);
    Algorithm copy(dup_X509_ALGO_IDENTIFIER(alg));
    String content(bytes && len > 0 ? new_OCTET_STRING(bytes, len) : nullptr);
    if (!copy || (bytes && len > 0 && !content)) return code(F, ERR_R_NULL_ARGUMENT);
    free_OBJECT_IDENTIFIER(eci->contentType);
    eci->contentType = type.release();
    free_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm);
    eci->contentEncryptionAlgorithm = copy.release();
    free_OCTET_STRING(eci->encryptedContent);
    eci->encryptedContent = content.release();
    eci->grown = nullptr;  // the block grown while encrypting is gone
    eci->grownSize = 0;
    return 0;
}

ZUNPKI_API int init_CMS_Encrypt_RecipientInfo(CMS_RECIPIENT_INFOS* list, X509_ALGO_IDENTIFIER* alg,
                                              const unsigned char* key, const unsigned char* iv, int mode) {
    constexpr unsigned F = F_INIT_CMS_ENCRYPT_RECIPIENT_INFO;
    if (get_STACK_count(list) <= 0 || !alg || !key) return code(F, ERR_R_NULL_ARGUMENT);
    int rsaes = 0;
    if (!zpki::pkcs7::transportMode(mode, rsaes)) return code(F, ERR_R_UNSUPPORTED);
    int keyLen = 0, ivLen = 0;
    const int cipherId = zpki::pkcs7::cipherForEnvelope(alg, keyLen, ivLen);
    if (!cipherId) return code(F, ERR_R_UNSUPPORTED);
    zpki::Secret<kMaxIv> drawn;
    if (!iv && ivLen > 0) {
        if (int rc = VSC_Rand_Bytes(drawn.data(), ivLen)) return rc;
        iv = drawn.data();
    }
    CipherUnit unit(VSC_New_BLOCK_CIPHER_Unit());
    if (!unit) return code(F, ERR_R_ALLOC);
    if (int rc = VSC_Init_BLOCK_CIPHER(unit.get(), cipherId, key, iv, 1)) return rc;
    String params(unit->iv_length > 0 ? zpki::pkcs7::ivAsParameters(unit->iv, unit->iv_length) : nullptr);
    if (unit->iv_length > 0 && !params) return code(F, ERR_R_ALLOC);
    Pending p;
    if (int rc = encryptForRecipients(list, rsaes, key, keyLen, F, p)) return rc;
    install(list, p);
    replaceParameters(alg, params);
    return 0;
}

ZUNPKI_API int init_CMS_Encrypt(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg, int detached,
                                const unsigned char* key, const unsigned char* iv, int mode) {
    constexpr unsigned F = F_INIT_CMS_ENCRYPT;
    (void)iv;  // the running cipher holds it
    int rsaes = 0;
    if (!cms || !alg || !alg->algorithm || !zpki::pkcs7::transportMode(mode, rsaes))
        return code(F, ERR_R_NULL_ARGUMENT);
    Envelope v;
    if (!envelopeOf(cms, v)) return code(F, ERR_R_UNSUPPORTED);
    if (row != CMS_DATA && row != CMS_SIGNED_DATA_TYPE && row != CMS_ENVELOPED_DATA_TYPE &&
        row != CMS_ENCRYPTED_DATA_TYPE)
        return code(F, ERR_R_UNSUPPORTED);
    CMS_ENCRYPTED_CONTENT_INFO* eci = *v.eci;
    const BLOCK_CIPHER_UNIT* unit = eci ? eci->cipher : nullptr;
    if (!unit || !unit->impl || unit->encrypt != 1) return code(F, ERR_R_NULL_ARGUMENT);
    // The message names the cipher that does the work (a password-based
    // row of an encryptedData names its own in its parameters).
    const int kind = get_AlgorType_from_OID(rowOf(alg->algorithm));
    const int named = zpki::pkcs7::cipherOfContent(alg, !v.recipients);
    if (named ? cipherFamily(named) != cipherFamily(unit->alg_id) : kind != OID_ALGOR_PBE)
        return code(F, ERR_R_UNSUPPORTED);
    // The IV the running cipher has is the one the parameters carry.
    String params;
    const ASN1_STRING* old = alg->parameters;
    if (kind == OID_ALGOR_CIPHER && unit->iv_length > 0 &&
        (v.recipients || !old || old->type == ASN1_TAG_NULL || old->type == ASN1_TAG_OCTET_STRING) &&
        !(params = zpki::pkcs7::ivAsParameters(unit->iv, unit->iv_length)))
        return code(F, ERR_R_ALLOC);
    Pending p;
    if (v.recipients) {
        if (!key) return code(F, ERR_R_NULL_ARGUMENT);
        const int keyLen = VSC_Get_Key_Length(unit->alg_id);
        if (keyLen <= 0 || static_cast<size_t>(keyLen) > kMaxKey) return code(F, ERR_R_UNSUPPORTED);
        if (int rc = encryptForRecipients(*v.recipients, rsaes, key, keyLen, F, p)) return rc;
    }
    Algorithm described(dup_X509_ALGO_IDENTIFIER(alg));
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> type(index_to_OBJECT_IDENTIFIER(row));
    if (!described || !type) return code(F, ERR_R_ALLOC);
    if (params) {
        String second(dup_ASN1_STRING(params.get()));
        if (!second) return code(F, ERR_R_ALLOC);
        replaceParameters(described.get(), second);
    }
    // Nothing fails from here on.
    if (v.recipients) install(*v.recipients, p);
    replaceParameters(alg, params);
    free_OBJECT_IDENTIFIER(eci->contentType);
    eci->contentType = type.release();
    free_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm);
    eci->contentEncryptionAlgorithm = described.release();
    free_OCTET_STRING(eci->encryptedContent);
    eci->encryptedContent = nullptr;
    eci->grown = nullptr;
    eci->grownSize = 0;
    *v.detached = detached ? 1 : 0;
    return 0;
}

ZUNPKI_API int update_CMS_encrypt(CMS_CONTENT_INFO* cms, const unsigned char* bytes, int len, unsigned char* out,
                                  int* out_len) {
    constexpr unsigned F = F_UPDATE_CMS_ENCRYPT;
    Envelope v;
    if (!envelopeOf(cms, v)) return cms && cms->content ? code(F, ERR_R_UNSUPPORTED) : code(F, ERR_R_NULL_ARGUMENT);
    if (!*v.eci || !(*v.eci)->cipher) return code(F, ERR_R_NULL_ARGUMENT);
    return asCms(zpki::pkcs7::streamUpdate(*v.eci, *v.detached != 0, reinterpret_cast<const char*>(bytes), len,
                                           reinterpret_cast<char*>(out), out_len),
                 F);
}

ZUNPKI_API int final_CMS_Encrypt(CMS_CONTENT_INFO* cms, unsigned char* out, int* out_len) {
    constexpr unsigned F = F_FINAL_CMS_ENCRYPT;
    Envelope v;
    if (!envelopeOf(cms, v)) return cms && cms->content ? code(F, ERR_R_UNSUPPORTED) : code(F, ERR_R_NULL_ARGUMENT);
    if (!*v.eci || !(*v.eci)->cipher) return code(F, ERR_R_NULL_ARGUMENT);
    return asCms(zpki::pkcs7::streamFinal(*v.eci, *v.detached != 0, reinterpret_cast<char*>(out), out_len), F);
}

}  // extern "C"

namespace {

int encryptWhole(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg, const unsigned char* bytes, int len,
                 const unsigned char* key, const unsigned char* iv, int mode) {
    if (int rc = init_CMS_Encrypt(cms, row, alg, 0, key, iv, mode)) return rc;
    if (int rc = update_CMS_encrypt(cms, bytes, len, nullptr, nullptr)) return rc;
    return final_CMS_Encrypt(cms, nullptr, nullptr);
}

bool modeUsable(int mode) {
    int rsaes = 0;
    return zpki::pkcs7::transportMode(mode, rsaes);
}

}  // namespace

extern "C" {

ZUNPKI_API int encrypt_CMS(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg, const unsigned char* bytes,
                           int len, int mode) {
    constexpr unsigned F = F_ENCRYPT_CMS;
    if (!cms || !alg || !bytes || len < 0 || !modeUsable(mode)) return code(F, ERR_R_INVALID_ELEMENT);
    int keyLen = 0, ivLen = 0;
    const int cipherId = zpki::pkcs7::cipherForEnvelope(alg, keyLen, ivLen);
    if (!cipherId) return code(F, ERR_R_UNSUPPORTED);
    zpki::Secret<kMaxKey> key;
    zpki::Secret<kMaxIv> iv;
    if (int rc = VSC_Rand_Bytes(key.data(), keyLen)) return rc;
    if (ivLen > 0)
        if (int rc = VSC_Rand_Bytes(iv.data(), ivLen)) return rc;
    if (int rc = set_CMS_Cipher(cms, cipherId, key.data(), iv.data(), 1)) return rc;
    return encryptWhole(cms, row, alg, bytes, len, key.data(), iv.data(), mode);
}

ZUNPKI_API int encrypt_CMS_userKEY(CMS_CONTENT_INFO* cms, int row, X509_ALGO_IDENTIFIER* alg,
                                   const unsigned char* bytes, int len, const unsigned char* key,
                                   const unsigned char* iv, int mode) {
    constexpr unsigned F = F_ENCRYPT_CMS;
    if (!cms || !alg || !bytes || len < 0 || !key) return code(F, ERR_R_INVALID_ELEMENT);
    if (!modeUsable(mode)) return code(F, ERR_R_UNSUPPORTED);
    return encryptWhole(cms, row, alg, bytes, len, key, iv, mode);
}

ZUNPKI_API int encrypt_CMS_RecipientInfo(CMS_CONTENT_INFO* cms, int cipher_id, const unsigned char* key,
                                         const unsigned char* iv) {
    constexpr unsigned F = F_ENCRYPT_CMS_RECIPIENT_INFO;
    auto* ad = zpki::cms::contentAs<CMS_AUTHENTICATED_DATA>(cms, CMS_AUTHENTICATED_DATA_TYPE);
    if (!ad) return code(F, ERR_R_UNSUPPORTED);
    if (!ad->recipientInfos && !(ad->recipientInfos = new_CMS_RECIPIENT_INFOS())) return code(F, ERR_R_UNSUPPORTED);
    const int row = get_OID_from_CipherID(cipher_id & ~VSC_CIPHER_NO_PADDING);
    Owned<OBJECT_IDENTIFIER, free_OBJECT_IDENTIFIER> oid(row ? index_to_OBJECT_IDENTIFIER(row) : nullptr);
    if (!oid) return code(F, ERR_NOT_FOUNDED);
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    if (!alg || set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr) != 0) return code(F, ERR_R_UNSUPPORTED);
    return init_CMS_Encrypt_RecipientInfo(ad->recipientInfos, alg.get(), key, iv, CMS_RSAES_PKCS1_V15) == 0
               ? 0
               : code(F, ERR_R_UNSUPPORTED);
}

// ---- Decryption ----------------------------------------------------------------------

ZUNPKI_API int decrypt_content_encryption_key(CMS_CONTENT_INFO* cms, const X509_CERT* cert, const ASYMMETRIC_KEY* key,
                                              unsigned char* out, int* out_len, int mode) {
    constexpr unsigned F = F_DECRYPT_CMS_KEY;
    if (!cms || !key || !out || !out_len) return code(F, ERR_R_INVALID_ELEMENT);
    auto* ed = zpki::cms::contentAs<CMS_ENVELOPED_DATA>(cms, CMS_ENVELOPED_DATA_TYPE);
    if (!ed) return code(F, ERR_R_UNSUPPORTED);
    if (!modeUsable(mode)) return code(F, ERR_R_UNSUPPORTED);
    if (get_STACK_count(ed->recipientInfos) <= 0 || !cert) return code(F, ERR_NOT_FOUNDED);
    const KEY_TRANS_RECIPIENT_INFO* mine = nullptr;
    for (int i = 0; i < get_STACK_count(ed->recipientInfos) && !mine; ++i) {
        const auto* ri = static_cast<const CMS_RECIPIENT_INFO*>(get_STACK_value(ed->recipientInfos, i));
        if (!ri || ri->type != CMS_RI_KEY_TRANSPORT) return code(F, ERR_R_UNSUPPORTED);
        if (!ri->ktri) return code(F, ERR_R_NULL_ARGUMENT);
        if (ri->ktri->rid && zpki::cms::identifies(ri->ktri->rid, cert)) mine = ri->ktri;
    }
    if (!mine || !mine->encryptedKey) return code(F, ERR_R_NULL_ARGUMENT);
    if (key->kind != ASYMMETRIC_KEY_RSA || !key->key) return code(F, ERR_R_UNSUPPORTED);
    // The scheme is the one the label names (its OAEP hash included).
    const int scheme = modeOfLabel(mine->keyEncryptionAlgorithm);
    if (!scheme) return code(F, ERR_R_UNSUPPORTED);
    const CMS_ENCRYPTED_CONTENT_INFO* eci = ed->encryptedContentInfo;
    const int cipherId = eci ? zpki::pkcs7::cipherOfContent(eci->contentEncryptionAlgorithm, false) : 0;
    const int keyLen = cipherId ? VSC_Get_Key_Length(cipherId) : -1;
    if (keyLen <= 0) return code(F, ERR_R_INVALID_ELEMENT);
    return asCms(zpki::pkcs7::openKey(mine->keyEncryptionAlgorithm, mine->encryptedKey, key, scheme, keyLen,
                                      reinterpret_cast<char*>(out), out_len),
                 F);
}

ZUNPKI_API int decrypt_CMS(CMS_CONTENT_INFO* cms, const unsigned char* key, const unsigned char* iv, unsigned char* out,
                           int* out_len) {
    constexpr unsigned F = F_ENCRYPT_CMS;
    if (!cms || !key || !out || !out_len) return code(F, ERR_R_INVALID_ELEMENT);
    Envelope v;
    if (!envelopeOf(cms, v)) return code(F, ERR_R_UNSUPPORTED);
    const CMS_ENCRYPTED_CONTENT_INFO* eci = *v.eci;
    if (!eci || !eci->encryptedContent) return code(F, ERR_R_INVALID_ELEMENT);
    if (!zpki::pkcs7::cipherOfContent(eci->contentEncryptionAlgorithm, !v.recipients))
        return code(F, ERR_R_UNSUPPORTED);
    const int rc = zpki::pkcs7::decryptContent(eci, key, iv, reinterpret_cast<char*>(out), out_len);
    if (rc == 1) return code(F, ERR_R_INVALID_ELEMENT);
    if (rc != 0 && PKI_ERR_LIB(rc) == PKI_ERR_LIB(L_PKCS7) && PKI_ERR_REASON(rc) == ERR_R_NULL_ARGUMENT)
        return code(F, ERR_R_INVALID_ELEMENT);  // no room
    return asCms(rc, F);
}

}  // extern "C"

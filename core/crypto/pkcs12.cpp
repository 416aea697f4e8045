// PKCS#12 files from signer credentials, and credentials from PKCS#12
// files with their keys re-encrypted as the store keeps them.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs12.h>
#include <zunCore/pkcs8.h>
#include <zunCore/x509_check.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/pkcs/pkcs12.h>
#include <zunPKI/pkcs/pkcs12_safe.h>
#include <zunPKI/pkcs/pkcs5.h>

#include "crypto/keys_internal.hpp"

namespace {

using zcore::code;

constexpr int kMake = VCL_CAT_PKCS12_MAKE_PFX;
constexpr int kRead = VCL_CAT_PKCS12_VERIFY_PFX;

// Reasons of the PKCS#12 codes.
constexpr int kReasonDigest = 0x0b;
constexpr int kReasonNotPfx = 0x59;
constexpr int kReasonNotPair = 0x5b;
constexpr int kReasonEmptyEntry = 0x5d;
constexpr int kReasonNoPfx = 0x5e;
constexpr int kReasonNotWritten = 0x5f;
constexpr int kReasonSafe = 0x60;
constexpr int kReasonCertBag = 0x73;
constexpr int kReasonKeyBag = 0x74;
constexpr int kReasonLocalKeyId = 0x75;
constexpr int kReasonFriendlyName = 0x76;

// Bag encryption of a PFX made here, its iterations and those of its MAC
// (a count peers read, where one iteration protects nothing).
constexpr int kPbe = 146;
constexpr int kIterations = 2048;
constexpr int kMacSaltLen = 20;
constexpr int kSha1Len = 20;

void freeSafeBags(P12_SAFEBAGS* b) { free_P12_SAFEBAGS(b); }
void freeAuthSafe(P12_AUTH_SAFE* s) { free_P12_AUTH_SAFE(s); }
void freeKeyItem(void* p) { free_P8_PRIV_KEY_INFO(static_cast<P8_PRIV_KEY_INFO*>(p)); }
void freeCertItem(void* p) { free_X509_CERT(static_cast<X509_CERT*>(p)); }

using Bags = zcore::Owned<P12_SAFEBAGS, freeSafeBags>;
using Safes = zcore::Owned<P12_AUTH_SAFE, freeAuthSafe>;
using Pfx = zcore::Owned<PKCS12, free_PKCS12>;

// A stack and its items, released together.
struct Items {
    STACK* stack = nullptr;
    STACK_free_func freeItem;
    explicit Items(STACK_free_func f) : freeItem(f) {}
    Items(const Items&) = delete;
    Items& operator=(const Items&) = delete;
    ~Items() {
        if (stack) free_STACK_values(stack, freeItem);
    }
    int count() const { return stack ? get_STACK_count(stack) : 0; }
    template <typename T>
    T* at(int i) const {
        return static_cast<T*>(get_STACK_value(stack, i));
    }
};

bool tooLong(int len) { return len > zcore::kMaxPassword; }

// The credential's key as a PrivateKeyInfo: PKCS#8 files decrypted with the
// key password, PKCS#1 keys (PEM, or DER) opened and wrapped.
int credentialKey(const PKISTRINFO& c, const char* pw, int pwLen, zcore::P8Info& out) {
    int type = 0;
    const int typed = zcore::isPem(c.key, c.key_len)
                          ? VCL_COM_get_pemfile_type(reinterpret_cast<const char*>(c.key), c.key_len, &type)
                          : VCL_COM_get_derfile_type(c.key, c.key_len, &type);
    if (typed != 0) return typed;
    if (type == VCL_PEM_ENCRYPTED_PRIVATE_KEY) {
        P8_PRIV_KEY_INFO* raw = nullptr;
        const int rc = VCL_PK8_decode_pkcs8(c.key, c.key_len, pw, pwLen, &raw);
        out.reset(raw);
        return rc;
    }
    ASYMMETRIC_KEY* raw = nullptr;
    if (int rc = VCL_PK1_get_asym_key(c.key, c.key_len, pw, pwLen, &raw); rc != 0) return rc;
    zcore::AsymKey key(raw);
    out.reset(gen_P8_PRIV_KEY_INFO(key.get(), nullptr));
    return out ? 0 : code(kMake, VCL_R_MALLOC);
}

// The key-usage value of a certificate's key bag.
int keyUsageValue(const zcore::Secret& certDer, int& usage) {
    zcore::X509InfoPtr info;
    if (int rc = zcore::certInfo(certDer.u(), certDer.size(), info); rc != 0) return rc;
    const bool encipher = info->keyUsage && std::strcmp(info->keyUsage, "30") == 0;
    usage = encipher ? VCL_PK12_KEY_USAGE_ENCIPHER : VCL_PK12_KEY_USAGE_SIGN;
    return 0;
}

int addCredential(const PKISTRINFO& c, const char* keyPw, int keyPwLen, const zcore::Secret& pfxPw, const char* name,
                  int nameLen, Bags& keyBags, Bags& certBags) {
    if (!c.cert || c.cert_len <= 0 || !c.key || c.key_len <= 0) return code(kMake, VCL_R_NULL_PARAM);
    zcore::Cert cert;
    if (int rc = zcore::decodeCert(c.cert, c.cert_len, cert); rc != 0) return rc;
    zcore::P8Info info;
    if (int rc = credentialKey(c, keyPw, keyPwLen, info); rc != 0) return rc;
    if (check_X509_keypair(get_X509_SPKI(cert.get()), info->privateKey) != 0) return code(kMake, kReasonNotPair);

    const zcore::Secret der = zcore::derOfCert(cert.get());
    unsigned char id[VSC_MAX_DIGEST_LENGTH];
    if (der.empty() || VSC_DIGEST(VSC_DIGEST_SHA1, der.u(), der.size(), id, nullptr) != 0)
        return code(kMake, kReasonDigest);
    int usage = 0;
    if (int rc = keyUsageValue(der, usage); rc != 0) return rc;

    P12_SAFEBAGS* kb = keyBags.release();
    P12_SAFEBAG* keyBag = add_PKCS12_keyinfo(&kb, info.get(), usage, kIterations, kPbe, pfxPw.data());
    keyBags.reset(kb);
    if (!keyBag) return code(kMake, kReasonKeyBag);
    if (add_PKCS12_LKID(keyBag, id, kSha1Len) != 0) return code(kMake, kReasonLocalKeyId);
    if (name && nameLen != 0 && add_PKCS12_friendlyname_ASC(keyBag, name, nameLen) != 0)
        return code(kMake, kReasonFriendlyName);

    P12_SAFEBAGS* cb = certBags.release();
    P12_SAFEBAG* certBag = add_PKCS12_cert(&cb, cert.get());
    certBags.reset(cb);
    if (!certBag) return code(kMake, kReasonCertBag);
    if (add_PKCS12_LKID(certBag, id, kSha1Len) != 0) return code(kMake, kReasonLocalKeyId);
    return 0;
}

int addSafe(Safes& safes, const Bags& bags, bool encrypted, const zcore::Secret& pw) {
    P12_AUTH_SAFE* s = safes.release();
    const int rc = PKCS12_add_safe(&s, bags.get(), encrypted ? kPbe : -1, encrypted ? kIterations : 0,
                                   encrypted ? pw.data() : nullptr);
    safes.reset(s);
    if (rc == 1) return code(kMake, kReasonSafe);
    return rc;
}

int makePfx(const char* keyPw, int keyPwLen, const char* pfxPw, int pfxPwLen, const char* name, int nameLen, int nKeys,
            const PKISTRINFO* infos, int nExtra, const CERT_ITEM* extra, unsigned char** pfx, int* pfxLen,
            bool encryptCerts) {
    if (!pfx || !pfxLen) return code(kMake, VCL_R_NULL_PARAM);
    *pfx = nullptr;
    *pfxLen = 0;
    if (!keyPw || !pfxPw || !infos) return code(kMake, VCL_R_NULL_PARAM);
    if (keyPwLen <= 0 || pfxPwLen <= 0 || nKeys <= 0) return code(kMake, VCL_R_ZERO_LENGTH);
    // The bags take the PFX password as a zero-terminated text.
    if (tooLong(keyPwLen) || tooLong(pfxPwLen) || std::memchr(pfxPw, 0, static_cast<size_t>(pfxPwLen)))
        return code(kMake, VCL_R_INVALID_PARAM);
    const zcore::Secret pw(std::string_view(pfxPw, static_cast<size_t>(pfxPwLen)));

    Bags keyBags, certBags;
    for (int i = 0; i < nKeys; ++i)
        if (int rc = addCredential(infos[i], keyPw, keyPwLen, pw, name, nameLen, keyBags, certBags); rc != 0) return rc;
    for (int i = 0; extra && i < nExtra; ++i) {
        zcore::Cert cert;
        if (int rc = zcore::decodeCert(extra[i].data, extra[i].len, cert); rc != 0) return rc;
        P12_SAFEBAGS* cb = certBags.release();
        const P12_SAFEBAG* bag = add_PKCS12_cert(&cb, cert.get());
        certBags.reset(cb);
        if (!bag) return code(kMake, kReasonCertBag);
    }

    Safes safes;
    if (int rc = addSafe(safes, certBags, encryptCerts, pw); rc != 0) return rc;
    if (int rc = addSafe(safes, keyBags, false, pw); rc != 0) return rc;
    Pfx made(PKCS12_add_safes(safes.get()));
    if (!made) return code(kMake, kReasonNoPfx);
    if (int rc = set_PKCS12_mac(made.get(), pfxPw, pfxPwLen, nullptr, kMacSaltLen, kIterations, VSC_DIGEST_SHA1);
        rc != 0)
        return rc;
    const zcore::Secret der = zcore::derOf<PKCS12, P12_PFX_to_Seq>(made.get());
    if (der.empty()) return code(kMake, kReasonNotWritten);
    if (!zcore::handOut(der.view(), pfx, pfxLen)) return code(kMake, VCL_R_MALLOC);
    return 0;
}

// ---- Reading ---------------------------------------------------------------

// A contiguous array of records under construction, released on failure.
struct Records {
    std::vector<PKISTRINFO> items;
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() {
        if (!items.empty()) VCL_PK1_Free_PKISTRINFOS(items.data(), static_cast<int>(items.size()));
    }
    // A new record holding a copy of the certificate's DER (and of key).
    int add(const zcore::Secret& cert, const zcore::Secret* key) {
        items.emplace_back();
        PKISTRINFO& r = items.back();
        std::memset(&r, 0, sizeof r);
        if (!zcore::handOut(cert.view(), &r.cert, &r.cert_len) ||
            (key && !zcore::handOut(key->view(), &r.key, &r.key_len)))
            return code(kRead, VCL_R_MALLOC);
        return 0;
    }
    // The array handed out, when asked for and not empty.
    int deliver(int* n, PKISTRINFO** out) {
        if (!n || !out || items.empty()) return 0;
        auto* array = static_cast<PKISTRINFO*>(std::calloc(items.size(), sizeof(PKISTRINFO)));
        if (!array) return code(kRead, VCL_R_MALLOC);
        std::memcpy(array, items.data(), items.size() * sizeof(PKISTRINFO));
        *out = array;
        *n = static_cast<int>(items.size());
        items.clear();  // the array owns the buffers now
        return 0;
    }
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Keys of certificates of the Korean government, public and private PKI
// signed with SHA-256 are kept under PBES2 with ARIA-CBC, the others under
// pbeWithSHA1AndSEED-CBC.
int storedKey(const X509_CERT* cert, const zcore::Secret& certDer, const P8_PRIV_KEY_INFO* info, const char* pw,
              int pwLen, zcore::Secret& out) {
    zcore::X509InfoPtr record;
    if (int rc = zcore::certInfo(certDer.u(), certDer.size(), record); rc != 0) return rc;
    const std::string subject = lower(record->subjectDN ? record->subjectDN : "");
    const bool korean = subject.find("o=government of korea") != std::string::npos ||
                        subject.find("o=public of korea") != std::string::npos ||
                        subject.find("o=private of korea") != std::string::npos;
    const bool sha256 =
        get_DigestID_from_OID(index_from_OBJECT_IDENTIFIER(get_X509_sig_alg(cert))) == VSC_DIGEST_SHA256;
    PKCS8* made = nullptr;
    const int rc = korean && sha256 ? encrypt_PKCS5_ex(info, &made, pw, pwLen, nullptr, 0, kIterations, VCL_PBE_PBES2,
                                                       VCL_OID_ARIA_CBC)
                                    : encrypt_PKCS5(info, &made, pw, pwLen, nullptr, 0, kIterations, VCL_PBE_SEED_CBC);
    zcore::P8Enc sealed(made);
    if (rc != 0) return rc;
    out = zcore::derOfEnc(sealed.get());
    return out.empty() ? code(kRead, kReasonNotWritten) : 0;
}

int readPfx(const char* keyPw, int keyPwLen, const char* pfxPw, int pfxPwLen, const void* pfx, int pfxLen, int* nPairs,
            PKISTRINFO** pairs, int* nCerts, PKISTRINFO** certs) {
    if (nPairs) *nPairs = 0;
    if (pairs) *pairs = nullptr;
    if (nCerts) *nCerts = 0;
    if (certs) *certs = nullptr;
    if (!keyPw || !pfxPw || !pfx) return code(kMake, VCL_R_NULL_PARAM);
    if (keyPwLen <= 0 || pfxPwLen <= 0 || pfxLen <= 0) return code(kMake, VCL_R_ZERO_LENGTH);
    if (tooLong(keyPwLen) || tooLong(pfxPwLen)) return code(kMake, VCL_R_INVALID_PARAM);

    Pfx file;
    if (zcore::readRecord<PKCS12, Seq_to_P12_PFX>(pfx, pfxLen, file) != 0) return code(kRead, kReasonNotPfx);
    Items keys(freeKeyItem), withKey(freeCertItem), cas(freeCertItem);
    if (int rc = import_PKCS12(file.get(), pfxPw, pfxPwLen, &keys.stack, &withKey.stack, &cas.stack); rc != 0)
        return rc;

    // Certificates with a localKeyID have a key in the file; the others are
    // further certificates, whichever list the import put them in.
    std::vector<const X509_CERT*> paired, further;
    for (const Items* list : {&withKey, &cas})
        for (int i = 0; i < list->count(); ++i) {
            const X509_CERT* cert = list->at<X509_CERT>(i);
            int idLen = 0;
            const bool hasId = cert && get_X509_AUX_localkey(cert, &idLen) != nullptr && idLen > 0;
            (hasId ? paired : further).push_back(cert);
        }

    Records pairRecords, certRecords;
    for (const X509_CERT* cert : paired) {
        if (!cert) return code(kRead, kReasonEmptyEntry);
        const P8_PRIV_KEY_INFO* key = nullptr;
        for (int i = 0; i < keys.count() && !key; ++i) {
            const P8_PRIV_KEY_INFO* k = keys.at<P8_PRIV_KEY_INFO>(i);
            if (!k || !k->privateKey) return code(kRead, kReasonEmptyEntry);
            if (check_X509_keypair(get_X509_SPKI(cert), k->privateKey) == 0) key = k;
        }
        if (!key) return code(kRead, zcore::kReasonNoSuchKey);
        const zcore::Secret certDer = zcore::derOfCert(cert);
        if (certDer.empty()) return code(kRead, kReasonNotWritten);
        zcore::Secret keyDer;
        if (int rc = storedKey(cert, certDer, key, keyPw, keyPwLen, keyDer); rc != 0) return rc;
        if (int rc = pairRecords.add(certDer, &keyDer); rc != 0) return rc;
        const X509_PUBKEY* spki = get_X509_SPKI(cert);
        PKISTRINFO& r = pairRecords.items.back();
        r.cert_use = VCL_X509_is_signcert(cert) == VCL_CERT_USE_SIGN ? VCL_CERT_USE_SIGN : VCL_CERT_USE_OTHER;
        r.key_kind =
            spki && spki->key && spki->key->kind == ASYMMETRIC_KEY_KCDSA ? VCL_KEY_KIND_KCDSA : VCL_KEY_KIND_RSA;
    }
    for (const X509_CERT* cert : further) {
        if (!cert) return code(kRead, kReasonEmptyEntry);
        const zcore::Secret certDer = zcore::derOfCert(cert);
        if (certDer.empty()) return code(kRead, kReasonNotWritten);
        if (int rc = certRecords.add(certDer, nullptr); rc != 0) return rc;
    }

    if (int rc = pairRecords.deliver(nPairs, pairs); rc != 0) return rc;
    if (int rc = certRecords.deliver(nCerts, certs); rc != 0) {
        if (pairs && *pairs) {
            VCL_PK1_Free_PKISTRINFOS(*pairs, *nPairs);
            std::free(*pairs);
            *pairs = nullptr;
            *nPairs = 0;
        }
        return rc;
    }
    return 0;
}

}  // namespace

extern "C" {

VCL_API int VCL_PK12_Make_PFX_SafeBagEncrypt(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                             const char* friendly_name, int name_len, int n_keys,
                                             const PKISTRINFO* infos, int n_extra, const CERT_ITEM* extra,
                                             unsigned char** pfx, int* pfx_len, int encrypt_certs) {
    return makePfx(key_pw, key_pw_len, pfx_pw, pfx_pw_len, friendly_name, name_len, n_keys, infos, n_extra, extra, pfx,
                   pfx_len, encrypt_certs != 0);
}

VCL_API int VCL_PK12_Make_PFX_With_Pass(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                        const char* friendly_name, int name_len, int n_keys, const PKISTRINFO* infos,
                                        int n_extra, const CERT_ITEM* extra, unsigned char** pfx, int* pfx_len) {
    return makePfx(key_pw, key_pw_len, pfx_pw, pfx_pw_len, friendly_name, name_len, n_keys, infos, n_extra, extra, pfx,
                   pfx_len, true);
}

VCL_API int VCL_PK12_Make_PFX(const char* password, int pw_len, const char* friendly_name, int name_len, int n_keys,
                              const PKISTRINFO* infos, int n_extra, const CERT_ITEM* extra, unsigned char** pfx,
                              int* pfx_len) {
    return makePfx(password, pw_len, password, pw_len, friendly_name, name_len, n_keys, infos, n_extra, extra, pfx,
                   pfx_len, true);
}

VCL_API int VCL_PK12_Make_PFX_With_SafeBagEncrypt(const char* password, int pw_len, const char* friendly_name,
                                                  int name_len, int n_keys, const PKISTRINFO* infos, int n_extra,
                                                  const CERT_ITEM* extra, unsigned char** pfx, int* pfx_len,
                                                  int encrypt_certs) {
    return makePfx(password, pw_len, password, pw_len, friendly_name, name_len, n_keys, infos, n_extra, extra, pfx,
                   pfx_len, encrypt_certs != 0);
}

VCL_API int VCL_PK12_Verify_PFX_With_Pass(const char* key_pw, int key_pw_len, const char* pfx_pw, int pfx_pw_len,
                                          const void* pfx, int pfx_len, int* n_pairs, PKISTRINFO** pairs, int* n_certs,
                                          PKISTRINFO** certs) {
    return readPfx(key_pw, key_pw_len, pfx_pw, pfx_pw_len, pfx, pfx_len, n_pairs, pairs, n_certs, certs);
}

VCL_API int VCL_PK12_Verify_PFX(const char* password, int pw_len, const void* pfx, int pfx_len, int* n_pairs,
                                PKISTRINFO** pairs, int* n_certs, PKISTRINFO** certs) {
    return readPfx(password, pw_len, password, pw_len, pfx, pfx_len, n_pairs, pairs, n_certs, certs);
}

}  // extern "C"

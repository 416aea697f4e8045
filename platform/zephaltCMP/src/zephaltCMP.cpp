// The CMP client over OpenSSL 3's OSSL_CMP, in a library context of its own
// (made by ZUNCMP_Init, freed by ZUNCMP_Final) so that loading and closing
// the library again and again leaves OpenSSL's global state alone: never
// OPENSSL_cleanup, which would end libcrypto for the whole process.
#include <zephaltCMP/zephaltCMP.h>

#include <dirent.h>
#include <openssl/cmp.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "params.hpp"

namespace {

template <typename T, void (*F)(T*)>
struct Deleter {
    void operator()(T* p) const { F(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using CtxPtr = std::unique_ptr<OSSL_CMP_CTX, Deleter<OSSL_CMP_CTX, OSSL_CMP_CTX_free>>;
using ReqPtr = std::unique_ptr<X509_REQ, Deleter<X509_REQ, X509_REQ_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME, X509_NAME_free>>;
using StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using P8Ptr = std::unique_ptr<PKCS8_PRIV_KEY_INFO, Deleter<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>>;
using SigPtr = std::unique_ptr<X509_SIG, Deleter<X509_SIG, X509_SIG_free>>;

// Keys are hashed slowly enough for a password, as the store's readers
// expect PBKDF2 to be.
constexpr int kPbkdf2Iterations = 2048;
// A CA that does not answer ends the exchange rather than the job.
constexpr int kMessageTimeout = 30;
constexpr int kTotalTimeout = 120;

struct Output {
    std::string bytes;
    void clear() {
        OPENSSL_cleanse(bytes.data(), bytes.size());
        bytes.clear();
    }
};

struct State {
    OSSL_LIB_CTX* lib = nullptr;
    OSSL_PROVIDER* base = nullptr;
    OSSL_PROVIDER* legacy = nullptr;
    int bits = 2048;
    std::string hash = "SHA256";
    Output ca, signCert, signKey, kmCert, kmKey;
    void clearOutputs() {
        ca.clear();
        signCert.clear();
        signKey.clear();
        kmCert.clear();
        kmKey.clear();
    }
};
State g;

// 2048, 3072 and 4096 bits; anything else is 2048 (no shorter key is made).
int keyBits(int bits) { return bits == 3072 || bits == 4096 ? bits : 2048; }

std::string digestName(std::string_view hash) {
    std::string h;
    for (char c : hash)
        if (c != '-') h += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return h == "SHA384" || h == "SHA512" ? h : "SHA256";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The new key: the test hook's PEM key when ZEPHALTCMP_TEST_NEWKEY names one
// (a mock CA answers with a fixed certificate for a fixed key), else RSA.
PkeyPtr newKey(int bits) {
    if (const char* path = std::getenv("ZEPHALTCMP_TEST_NEWKEY"); path && *path) {
        BIO* bio = BIO_new_file(path, "r");
        if (!bio) return nullptr;
        PkeyPtr key(PEM_read_bio_PrivateKey_ex(bio, nullptr, nullptr, nullptr, g.lib, nullptr));
        BIO_free(bio);
        return key;
    }
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_from_name(g.lib, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    if (!kctx || EVP_PKEY_keygen_init(kctx) <= 0 || EVP_PKEY_CTX_set_rsa_keygen_bits(kctx, keyBits(bits)) <= 0 ||
        EVP_PKEY_generate(kctx, &key) <= 0)
        key = nullptr;
    EVP_PKEY_CTX_free(kctx);
    return PkeyPtr(key);
}

// The key as the store keeps it: EncryptedPrivateKeyInfo, PBES2 with
// PBKDF2-HMAC-SHA256 and SEED-CBC.
bool encryptKey(EVP_PKEY* key, const char* password, std::string& out) {
    P8Ptr p8(EVP_PKEY2PKCS8(key));
    EVP_CIPHER* seed = EVP_CIPHER_fetch(g.lib, "SEED-CBC", nullptr);
    if (!p8 || !seed) {
        EVP_CIPHER_free(seed);
        return false;
    }
    SigPtr sig(PKCS8_encrypt_ex(-1, seed, password, static_cast<int>(std::strlen(password)), nullptr, 0,
                                kPbkdf2Iterations, p8.get(), g.lib, nullptr));
    EVP_CIPHER_free(seed);
    if (!sig) return false;
    unsigned char* der = nullptr;
    const int n = i2d_X509_SIG(sig.get(), &der);
    if (n <= 0) return false;
    out.assign(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    OPENSSL_clear_free(der, static_cast<size_t>(n));
    return true;
}

bool sha1(const unsigned char* in, size_t n, unsigned char out[20]) {
    EVP_MD* md = EVP_MD_fetch(g.lib, "SHA1", nullptr);
    unsigned int len = 0;
    const bool ok = md && EVP_Digest(in, n, out, &len, md, nullptr) == 1 && len == 20;
    EVP_MD_free(md);
    return ok;
}

// KISA's pbeWithSHA1AndSEED-CBC (1.2.410.200004.1.15), which most stored
// keys of the national PKI use and OpenSSL does not know: PBKDF1 with SHA-1
// over password and salt, the SEED key its first 16 bytes, the IV the first
// 16 bytes of SHA-1 over its last 4.
P8Ptr decryptKisa(const X509_SIG* sig, const char* password) {
    const X509_ALGOR* alg = nullptr;
    const ASN1_OCTET_STRING* data = nullptr;
    X509_SIG_get0(sig, &alg, &data);
    const ASN1_OBJECT* oid = nullptr;
    int paramType = 0;
    const void* param = nullptr;
    X509_ALGOR_get0(&oid, &paramType, &param, alg);
    char text[64];
    if (OBJ_obj2txt(text, sizeof text, oid, 1) <= 0 || std::strcmp(text, "1.2.410.200004.1.15") != 0 ||
        paramType != V_ASN1_SEQUENCE || !data)
        return nullptr;
    const auto* seq = static_cast<const ASN1_STRING*>(param);
    const unsigned char* p = ASN1_STRING_get0_data(seq);
    std::unique_ptr<PBEPARAM, Deleter<PBEPARAM, PBEPARAM_free>> pbe(d2i_PBEPARAM(nullptr, &p, ASN1_STRING_length(seq)));
    if (!pbe) return nullptr;
    const long iterations = ASN1_INTEGER_get(pbe->iter);
    if (iterations < 1 || iterations > 10000000) return nullptr;
    std::string input(password);
    input.append(reinterpret_cast<const char*>(ASN1_STRING_get0_data(pbe->salt)),
                 static_cast<size_t>(ASN1_STRING_length(pbe->salt)));
    unsigned char dk[20], iv[20];
    bool ok = sha1(reinterpret_cast<const unsigned char*>(input.data()), input.size(), dk);
    OPENSSL_cleanse(input.data(), input.size());
    for (long i = 1; ok && i < iterations; ++i) ok = sha1(dk, sizeof dk, dk);
    ok = ok && sha1(dk + 16, 4, iv);
    EVP_CIPHER* seed = EVP_CIPHER_fetch(g.lib, "SEED-CBC", nullptr);
    EVP_CIPHER_CTX* cctx = EVP_CIPHER_CTX_new();
    std::string plain(static_cast<size_t>(ASN1_STRING_length(data)) + 32, '\0');
    int n1 = 0, n2 = 0;
    ok = ok && seed && cctx && EVP_DecryptInit_ex2(cctx, seed, dk, iv, nullptr) == 1 &&
         EVP_DecryptUpdate(cctx, reinterpret_cast<unsigned char*>(plain.data()), &n1, ASN1_STRING_get0_data(data),
                           ASN1_STRING_length(data)) == 1 &&
         EVP_DecryptFinal_ex(cctx, reinterpret_cast<unsigned char*>(plain.data()) + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(cctx);
    EVP_CIPHER_free(seed);
    OPENSSL_cleanse(dk, sizeof dk);
    OPENSSL_cleanse(iv, sizeof iv);
    P8Ptr p8;
    if (ok) {
        const unsigned char* q = reinterpret_cast<const unsigned char*>(plain.data());
        p8.reset(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &q, n1 + n2));
    }
    OPENSSL_cleanse(plain.data(), plain.size());
    return p8;
}

PkeyPtr decryptKey(const std::string& der, const char* password) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    SigPtr sig(d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size())));
    if (!sig || p != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return nullptr;
    P8Ptr p8(PKCS8_decrypt_ex(sig.get(), password, static_cast<int>(std::strlen(password)), g.lib, nullptr));
    if (!p8) p8 = decryptKisa(sig.get(), password);
    if (!p8) return nullptr;
    return PkeyPtr(EVP_PKCS82PKEY_ex(p8.get(), g.lib, nullptr));
}

std::string certDer(X509* cert) {
    unsigned char* der = nullptr;
    const int n = i2d_X509(cert, &der);
    if (n <= 0) return {};
    std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    OPENSSL_free(der);
    return out;
}

X509Ptr readCert(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (cert && p != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) cert.reset();
    return cert;
}

// The CA certificates (*.der) of a folder as trust anchors.
StorePtr trustStore(const std::string& dir) {
    StorePtr store(X509_STORE_new());
    DIR* d = opendir(dir.c_str());
    if (!store || !d) {
        if (d) closedir(d);
        return nullptr;
    }
    int added = 0;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".der") != 0) continue;
        X509Ptr cert = readCert(readFile(dir + "/" + name));
        if (cert && X509_STORE_add_cert(store.get(), cert.get()) == 1) ++added;
    }
    closedir(d);
    if (added == 0) return nullptr;
    return store;
}

CtxPtr newContext(const zcmp::Params& p) {
    CtxPtr ctx(OSSL_CMP_CTX_new(g.lib, nullptr));
    if (!ctx || !OSSL_CMP_CTX_set1_server(ctx.get(), p.caIp.c_str()) ||
        !OSSL_CMP_CTX_set_serverPort(ctx.get(), p.caPort) || !OSSL_CMP_CTX_set1_serverPath(ctx.get(), "/") ||
        !OSSL_CMP_CTX_set_option(ctx.get(), OSSL_CMP_OPT_MSG_TIMEOUT, kMessageTimeout) ||
        !OSSL_CMP_CTX_set_option(ctx.get(), OSSL_CMP_OPT_TOTAL_TIMEOUT, kTotalTimeout) ||
        !OSSL_CMP_CTX_set_option(ctx.get(), OSSL_CMP_OPT_DIGEST_ALGNID, OBJ_sn2nid(digestName(g.hash).c_str())))
        return nullptr;
    // The library's diagnostics go nowhere: the store logs our codes.
    OSSL_CMP_CTX_set_log_cb(ctx.get(), [](const char*, const char*, int, OSSL_CMP_severity, const char*) { return 1; });
    return ctx;
}

bool keep(Output& out, const std::string& bytes) {
    if (bytes.size() > ZUNCMP_OUTPUT_MAX) return false;
    out.bytes = bytes;
    return true;
}

// The outputs of an exchange: the new certificate, its key under password,
// and the first CA certificate the CA sent.
int collect(OSSL_CMP_CTX* ctx, X509* cert, EVP_PKEY* key, const char* password) {
    std::string keyDer;
    if (!encryptKey(key, password, keyDer)) return ZUNCMP_ERR_ENCODE;
    const std::string certBytes = certDer(cert);
    std::string caBytes;
    if (STACK_OF(X509)* pubs = OSSL_CMP_CTX_get1_caPubs(ctx)) {
        if (sk_X509_num(pubs) > 0) caBytes = certDer(sk_X509_value(pubs, 0));
        sk_X509_pop_free(pubs, X509_free);
    }
    const bool fits = !certBytes.empty() && keep(g.signCert, certBytes) && keep(g.signKey, keyDer) &&
                      (caBytes.empty() || keep(g.ca, caBytes));
    OPENSSL_cleanse(keyDer.data(), keyDer.size());
    if (!fits) {
        g.clearOutputs();
        return ZUNCMP_ERR_TOO_LARGE;
    }
    return 0;
}

bool ready() { return g.lib != nullptr; }

bool validText(const char* s) { return s && *s; }

// ir or cr under the PBM secret.
int enrol(const char* params, const char* password, bool replace) {
    if (!ready()) return ZUNCMP_ERR_NOT_INIT;
    g.clearOutputs();
    zcmp::Params p;
    if (!params || !validText(password) || !zcmp::parseParams(params, p) || p.refVal.empty() || p.authCode.empty() ||
        p.caIp.empty() || p.caPort == 0)
        return ZUNCMP_ERR_PARAM;
    CtxPtr ctx = newContext(p);
    if (!ctx) return ZUNCMP_ERR_NOT_INIT;
    PkeyPtr key = newKey(g.bits);
    if (!key) return ZUNCMP_ERR_KEYGEN;
    if (!OSSL_CMP_CTX_set1_referenceValue(ctx.get(), reinterpret_cast<const unsigned char*>(p.refVal.data()),
                                          static_cast<int>(p.refVal.size())) ||
        !OSSL_CMP_CTX_set1_secretValue(ctx.get(), reinterpret_cast<const unsigned char*>(p.authCode.data()),
                                       static_cast<int>(p.authCode.size())) ||
        !EVP_PKEY_up_ref(key.get()) || !OSSL_CMP_CTX_set0_newPkey(ctx.get(), 1, key.get()))
        return ZUNCMP_ERR_NOT_INIT;
    // The CA names the subject from the reference; the template carries one
    // so that the request is well-formed.
    NamePtr subject(X509_NAME_new());
    if (!subject ||
        !X509_NAME_add_entry_by_txt(subject.get(), "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(p.refVal.data()),
                                    static_cast<int>(p.refVal.size()), -1, 0) ||
        !OSSL_CMP_CTX_set1_subjectName(ctx.get(), subject.get()))
        return ZUNCMP_ERR_PARAM;
    X509* cert = replace ? OSSL_CMP_exec_CR_ses(ctx.get()) : OSSL_CMP_exec_IR_ses(ctx.get());
    if (!cert) {
        ERR_clear_error();
        return ZUNCMP_ERR_EXCHANGE;
    }
    return collect(ctx.get(), cert, key.get(), password);
}

int readOutput(const Output& out, unsigned char* buf, unsigned short* len) {
    if (!buf || !len) return ZUNCMP_ERR_NO_OUTPUT;
    *len = 0;
    if (out.bytes.size() > ZUNCMP_OUTPUT_MAX) return ZUNCMP_ERR_TOO_LARGE;
    std::memcpy(buf, out.bytes.data(), out.bytes.size());
    *len = static_cast<unsigned short>(out.bytes.size());
    return 0;
}

// Outputs of ZUNCMP_PPKI_MAKE_PKCS10 carry their size in front, so that
// ZUNCMP_StringFree can zero them.
unsigned char* handOut(const std::string& bytes) {
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(size_t) + bytes.size() + 1));
    if (!block) return nullptr;
    const size_t n = bytes.size();
    std::memcpy(block, &n, sizeof n);
    std::memcpy(block + sizeof n, bytes.data(), n);
    block[sizeof n + n] = 0;
    return block + sizeof n;
}

}  // namespace

extern "C" {

ZUNCMP_API int ZUNCMP_Init(void) {
    if (g.lib) return 0;
    g.lib = OSSL_LIB_CTX_new();
    if (g.lib) {
        g.base = OSSL_PROVIDER_load(g.lib, "default");
        g.legacy = OSSL_PROVIDER_load(g.lib, "legacy");  // SEED
    }
    if (!g.lib || !g.base || !g.legacy) {
        ZUNCMP_Final();
        return ZUNCMP_ERR_NOT_INIT;
    }
    g.bits = 2048;
    g.hash = "SHA256";
    return 0;
}

ZUNCMP_API int ZUNCMP_SetUseHSM(int use, int, int) { return use == 0 ? 0 : ZUNCMP_ERR_PARAM; }

ZUNCMP_API int ZUNCMP_SetBITAndHash(const char* hash, int hashLen, const char* bits, int bitsLen) {
    if (hash && hashLen > 0) g.hash = digestName(std::string_view(hash, strnlen(hash, static_cast<size_t>(hashLen))));
    if (bits && bitsLen > 0) {
        const std::string text(bits, strnlen(bits, static_cast<size_t>(bitsLen)));
        g.bits = keyBits(std::atoi(text.c_str()));
    }
    return 0;
}

ZUNCMP_API int ZUNCMP_GetCACert(unsigned char* buf, unsigned short* len) { return readOutput(g.ca, buf, len); }
ZUNCMP_API int ZUNCMP_GetSignCert(unsigned char* buf, unsigned short* len) { return readOutput(g.signCert, buf, len); }
ZUNCMP_API int ZUNCMP_GetSignPri(unsigned char* buf, unsigned short* len) { return readOutput(g.signKey, buf, len); }
ZUNCMP_API int ZUNCMP_GetKMCert(unsigned char* buf, unsigned short* len) { return readOutput(g.kmCert, buf, len); }
ZUNCMP_API int ZUNCMP_GetKMPri(unsigned char* buf, unsigned short* len) { return readOutput(g.kmKey, buf, len); }

ZUNCMP_API const char* ZUNCMP_GetErrorString(int code) {
    switch (code) {
        case 0:
            return "success";
        case ZUNCMP_ERR_NOT_INIT:
            return "CMP library not initialised";
        case ZUNCMP_ERR_PARAM:
            return "invalid parameter";
        case ZUNCMP_ERR_KEYGEN:
            return "key generation failed";
        case ZUNCMP_ERR_EXCHANGE:
            return "CMP exchange with the CA failed";
        case ZUNCMP_ERR_CURRENT_KEY:
            return "current private key does not open";
        case ZUNCMP_ERR_CURRENT_CERT:
            return "current certificate does not read";
        case ZUNCMP_ERR_ENCODE:
            return "encoding failed";
        case ZUNCMP_ERR_TOO_LARGE:
            return "output too large";
        case ZUNCMP_ERR_NO_OUTPUT:
            return "no output buffer";
        default:
            return "unknown error";
    }
}

ZUNCMP_API int ZUNCMP_Final(void) {
    g.clearOutputs();
    if (g.legacy) OSSL_PROVIDER_unload(g.legacy);
    if (g.base) OSSL_PROVIDER_unload(g.base);
    if (g.lib) OSSL_LIB_CTX_free(g.lib);
    g.legacy = g.base = nullptr;
    g.lib = nullptr;
    ERR_clear_error();
    return 0;
}

ZUNCMP_API int ZUNCMP_CertRequestNonUI(const char*, int, const char* params, const char* password, int) {
    return enrol(params, password, false);
}

ZUNCMP_API int ZUNCMP_CertReplaceNonUI(const char*, int, const char* params, const char* password, int) {
    return enrol(params, password, true);
}

ZUNCMP_API int ZUNCMP_CertUpdateNonUI(const char*, int, const char* params, const char* password,
                                      const char* newPassword, const char* certDir, int) {
    if (!ready()) return ZUNCMP_ERR_NOT_INIT;
    g.clearOutputs();
    zcmp::Params p;
    if (!params || !validText(password) || !validText(newPassword) || !validText(certDir) ||
        !zcmp::parseParams(params, p) || p.caIp.empty() || p.caPort == 0)
        return ZUNCMP_ERR_PARAM;
    std::string dir = certDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    X509Ptr current = readCert(readFile(dir + "/signCert.der"));
    if (!current) return ZUNCMP_ERR_CURRENT_CERT;
    std::string keyDer = readFile(dir + "/signPri.key");
    PkeyPtr currentKey = decryptKey(keyDer, password);
    OPENSSL_cleanse(keyDer.data(), keyDer.size());
    if (!currentKey || X509_check_private_key(current.get(), currentKey.get()) != 1) {
        ERR_clear_error();
        return ZUNCMP_ERR_CURRENT_KEY;
    }
    StorePtr trusted = trustStore(dir + "/../..");
    CtxPtr ctx = newContext(p);
    if (!ctx) return ZUNCMP_ERR_NOT_INIT;
    PkeyPtr key = newKey(g.bits);
    if (!key) return ZUNCMP_ERR_KEYGEN;
    if (!trusted) return ZUNCMP_ERR_CURRENT_CERT;
    if (!OSSL_CMP_CTX_set1_cert(ctx.get(), current.get()) || !OSSL_CMP_CTX_set1_pkey(ctx.get(), currentKey.get()) ||
        !OSSL_CMP_CTX_set0_trustedStore(ctx.get(), trusted.get()))
        return ZUNCMP_ERR_NOT_INIT;
    trusted.release();  // the context owns it now
    if (!EVP_PKEY_up_ref(key.get()) || !OSSL_CMP_CTX_set0_newPkey(ctx.get(), 1, key.get())) return ZUNCMP_ERR_NOT_INIT;
    X509* cert = OSSL_CMP_exec_KUR_ses(ctx.get());
    if (!cert) {
        ERR_clear_error();
        return ZUNCMP_ERR_EXCHANGE;
    }
    return collect(ctx.get(), cert, key.get(), newPassword);
}

ZUNCMP_API int ZUNCMP_PPKI_MAKE_PKCS10(const char* dn, const char* password, int bits, int, unsigned char** request,
                                       int* requestLen, unsigned char** key, int* keyLen) {
    if (!request || !requestLen || !key || !keyLen) return ZUNCMP_ERR_NO_OUTPUT;
    *request = *key = nullptr;
    *requestLen = *keyLen = 0;
    if (!ready()) return ZUNCMP_ERR_NOT_INIT;
    std::vector<zcmp::Attribute> attrs;
    if (!dn || !validText(password) || !zcmp::parseDn(dn, attrs)) return ZUNCMP_ERR_PARAM;
    // RFC 4514 writes the most specific RDN first; the name holds it last.
    NamePtr name(X509_NAME_new());
    if (!name) return ZUNCMP_ERR_ENCODE;
    int lastSet = -1;
    for (auto it = attrs.rbegin(); it != attrs.rend(); ++it) {
        const bool sameRdn = it->set == lastSet;
        lastSet = it->set;
        if (!X509_NAME_add_entry_by_txt(name.get(), it->type.c_str(), MBSTRING_UTF8,
                                        reinterpret_cast<const unsigned char*>(it->value.data()),
                                        static_cast<int>(it->value.size()), -1, sameRdn ? -1 : 0)) {
            ERR_clear_error();
            return ZUNCMP_ERR_PARAM;
        }
    }
    PkeyPtr pkey = newKey(bits > 0 ? bits : g.bits);
    if (!pkey) return ZUNCMP_ERR_KEYGEN;
    ReqPtr req(X509_REQ_new_ex(g.lib, nullptr));
    EVP_MD* md = EVP_MD_fetch(g.lib, digestName(g.hash).c_str(), nullptr);
    const bool signedOk = req && md && X509_REQ_set_version(req.get(), 0) &&
                          X509_REQ_set_subject_name(req.get(), name.get()) &&
                          X509_REQ_set_pubkey(req.get(), pkey.get()) && X509_REQ_sign(req.get(), pkey.get(), md) > 0;
    EVP_MD_free(md);
    if (!signedOk) {
        ERR_clear_error();
        return ZUNCMP_ERR_ENCODE;
    }
    unsigned char* der = nullptr;
    const int n = i2d_X509_REQ(req.get(), &der);
    if (n <= 0) return ZUNCMP_ERR_ENCODE;
    const std::string reqBytes(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    OPENSSL_free(der);
    std::string keyDer;
    if (!encryptKey(pkey.get(), password, keyDer)) return ZUNCMP_ERR_ENCODE;
    *request = handOut(reqBytes);
    *key = handOut(keyDer);
    OPENSSL_cleanse(keyDer.data(), keyDer.size());
    if (!*request || !*key) {
        ZUNCMP_StringFree(*request);
        ZUNCMP_StringFree(*key);
        *request = *key = nullptr;
        return ZUNCMP_ERR_ENCODE;
    }
    *requestLen = static_cast<int>(reqBytes.size());
    *keyLen = static_cast<int>(keyDer.size());
    return 0;
}

ZUNCMP_API void ZUNCMP_StringFree(void* p) {
    if (!p) return;
    unsigned char* block = static_cast<unsigned char*>(p) - sizeof(size_t);
    size_t n = 0;
    std::memcpy(&n, block, sizeof n);
    OPENSSL_cleanse(block, sizeof n + n + 1);
    std::free(block);
}

}  // extern "C"

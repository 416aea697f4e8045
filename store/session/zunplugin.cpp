// The data string built from a domain's context and the user's stored
// certificate, and the decryption of the web server's replies.
#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/session.h>
#include <zephaltpavix/sign.h>
#include <zephaltpavix/zunplugin.h>
#include <zunCore/cipher.h>
#include <zunCore/error.h>
#include <zunCore/pkcs1.h>

#include "context/context_internal.hpp"
#include "session/session_internal.hpp"
#include "session/web_internal.hpp"

namespace zstore::web {

namespace {

bool unset(const char* name) { return !name || !*name; }

}  // namespace

int chooseNames(int vf, const CTX& ctx, std::string_view userCert, Names& n) {
    n.sym = extended(vf) ? name(ctx.sym) : "SEED-CBC";
    if (vf == 0) {
        n.kx = n.sg = "RSA15";
        n.kxh = n.sgh = "SHA1";
        return 0;
    }
    if (vf == 10) {
        n.kx = unset(ctx.kx) ? "RSA15" : ctx.kx;
        n.kxh = unset(ctx.kxh) ? "SHA256" : ctx.kxh;
        n.sg = "RSA15";
        n.sgh = "SHA256";
        return 0;
    }
    char* alg = nullptr;
    char* hash = nullptr;
    const int rc = VPL_Get_Cert_AlgorithmAndHash(1, userCert.data(), static_cast<int>(userCert.size()), &alg, &hash);
    const std::string certAlg = rc == 0 ? alg : "", certHash = rc == 0 ? hash : "";
    std::free(alg);
    std::free(hash);
    if (rc != 0) return rc;
    // A KCDSA key signs with its own algorithm whatever the site asks for.
    const bool kcdsa = startsWithNoCase(certAlg, "KCDSA");
    if (vf == 1 && !kcdsa) {
        n.kx = n.sg = "RSA15";
        n.kxh = n.sgh = "SHA1";
        return 0;
    }
    n.kx = name(ctx.kx);
    n.kxh = name(ctx.kxh);
    if (!kcdsa && !unset(ctx.sg) && !unset(ctx.sgh)) {
        n.sg = ctx.sg;
        n.sgh = ctx.sgh;
    } else {
        n.sg = certAlg;
        n.sgh = certHash;
    }
    return 0;
}

}  // namespace zstore::web

namespace {

using zstore::fail;
using zstore::SecretBytes;
using zstore::web::bytes;
using zstore::web::member;

bool supportedVersion(int vf) { return vf == 0 || vf == 1 || vf == 10 || vf == 11 || vf == 21; }
// The media whose credentials the builders take.
bool builderMedium(int storageType) {
    return (storageType >= 0 && storageType <= 3) || storageType == 7 || storageType == 12;
}

void clearOut(char** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
}

// The user's certificate and key of an encoded path.
struct User {
    std::string path;
    std::string cert;
    SecretBytes key;
    int cls = -1;
};

int loadUser(const char* encCertPath, User& u) {
    if (!encCertPath) return VPL_ERR_INVALID_PARAM;
    if (const int rc = zstore::decodePath(encCertPath, -1, u.path); rc != 0) return rc;
    const int medium = VPL_InputPath_Check(u.path.c_str());
    if (medium < 0) return -1;
    if (medium == 0) {
        zstore::StoredPair pair;
        if (const int rc = zstore::readStoredPair(u.path, pair); rc != 0) return rc;
        u.cert = std::move(pair.cert);
        u.key.assign(pair.key.view());
        u.cls = pair.cls;
        return 0;
    }
    void* cert = nullptr;
    int certLen = 0;
    if (const int rc = VPL_Get_MemoryCert(u.path.c_str(), &cert, &certLen); rc != 0) return rc;
    u.cert.assign(bytes(cert, certLen));
    VPL_Free(cert, certLen);
    void* key = nullptr;
    int keyLen = 0;
    if (const int rc = VPL_Get_MemoryPrivateKey(u.path.c_str(), &key, &keyLen); rc != 0) return rc;
    u.key.assign(bytes(key, keyLen));
    VPL_Free(key, keyLen);
    u.cls = VPL_Get_CertType(u.cert.data(), static_cast<int>(u.cert.size()));
    return u.cls < 0 ? -1 : 0;
}

// The key-exchange holder of a version-21 build that did not hand its
// string out goes again: its R1 was never sent.
struct HolderGuard {
    bool armed = false;
    ~HolderGuard() {
        if (armed) VPL_Delete_Exchg_Cert();
    }
};

struct Request {
    const char* domain;
    int vf;
    int storageType;
    std::string_view pin;
    const char* encCertPath;
    const char* password;  // with passwordLen
    int passwordLen;
    std::string_view vdOrTs;
    std::string_view data;
};

int makeString(const Request& r, std::string& out) {
    using namespace zstore::web;
    if (!supportedVersion(r.vf)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Make_ZUNPlugindata () : Not Support Version(%d)\n", r.vf);
        return -1;
    }
    if (!r.domain) return VPL_ERR_INVALID_PARAM;
    SecretBytes d;
    if (r.vf == 11 && r.data.empty()) {
        // The time stamp stands in for the page's data.
        if (r.vdOrTs.empty()) return VPL_ERR_INVALID_PARAM;
        std::string stamp;
        if (urlForm(r.vdOrTs, stamp) != 0) return VPL_ERR_MALLOC;
        d.assign("__ZUNts__=" + stamp);
    } else if (r.data.empty()) {
        return VPL_ERR_INVALID_PARAM;
    } else {
        d.assign(r.data);
    }

    User user;
    SecretBytes password;
    if (signedVersion(r.vf)) {
        if (!r.password) return VPL_ERR_INVALID_PARAM;
        password.assign(zstore::bounded(r.password, r.passwordLen));
        if (const int rc = loadUser(r.encCertPath, user); rc != 0) return rc;
    }
    CTX* ctx = zstore::findContext(r.domain);
    if (!ctx) return VPL_ERR_DOMAIN;
    // An HSM key does not sign here; refused before anything changes.
    if (signedVersion(r.vf) && r.storageType == VPL_STORAGE_HSM) return -1;

    Material m;
    m.vf = r.vf;
    if (const int rc = chooseNames(r.vf, *ctx, user.cert, m.names); rc != 0) return rc;
    m.serverCert = member(ctx->serverCert, ctx->serverCertLen);
    m.userCert = user.cert;
    m.key = user.key.view();
    m.password = password.view();
    m.vdOrTs = r.vdOrTs;
    m.premaster = member(ctx->premaster, ctx->premasterLen);
    if (extended(r.vf)) {
        m.cipherKey = member(ctx->clientKey, ctx->clientKeyLen);
        m.cipherIv = member(ctx->clientIv, ctx->clientIvLen);
    } else {
        m.cipherKey = member(ctx->sessionKey, ctx->sessionKeyLen);
        m.cipherIv = member(ctx->iv, ctx->ivLen);
    }
    m.data = d.view();
    m.erFromKey = user.cls == VPL_CLASS_PUBLIC_SIGN || user.cls == VPL_CLASS_PUBLIC_KM;

    HolderGuard holder;
    std::string handshake, kecc;
    if (r.vf == 21) {
        SecretBytes r1;
        if (const int rc = randomBytes(kHandshakeLen, r1); rc != 0) return rc;
        void* km = nullptr;
        int kmLen = 0;
        const int rc = VPL_Get_Kecc_EncryptionCert(user.cls, r.storageType, user.path.c_str(), r1.data(), r1.size(),
                                                   password.data(), password.size(), r.pin.data(),
                                                   static_cast<int>(r.pin.size()), &km, &kmLen);
        if (rc != 0) return rc;
        holder.armed = true;
        const std::string kmCert(bytes(km, kmLen));
        VPL_Free(km, kmLen);
        if (const int rc2 = makeCc(kmCert, kecc); rc2 != 0) return rc2;
        std::string wrapped;
        if (const int rc2 =
                makeSk(m.serverCert, VPL_get_pad_mode(m.names.kx.c_str(), 0), m.names.kxh.c_str(), r1.view(), wrapped);
            rc2 != 0)
            return rc2;
        handshake = "&Handshake_init=" + wrapped;
    }
    m.handshake = handshake;
    m.kecc = kecc;

    if (const int rc = build(m, out); rc != 0) return rc;
    holder.armed = false;
    ctx->extendedMode = extended(r.vf) ? 1 : 0;
    return 0;
}

int makeOut(const char* fn, const Request& r, char** out, int* outLen) {
    if (!out || !outLen) return fail(fn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    std::string s;
    int rc = makeString(r, s);
    if (rc == 0 && zstore::handOut(s, out, outLen) != 0) rc = VPL_ERR_MALLOC;
    zstore::wipe(s);
    return rc ? fail(fn, rc) : 0;
}

std::string_view dataOf(const void* data, int len) { return bytes(data, len); }

// The core's input encoding of a reply: Base64 text for 0 and 1.
int coreEncoding(int encoding) { return encoding == 0 || encoding == 1 ? VCL_ENCODING_BASE64 : VCL_ENCODING_RAW; }

// A deciphered reply: none for no bytes.
int handOutPlain(const SecretBytes& plain, char** out, int* outLen) {
    if (plain.empty()) return 0;
    return zstore::handOut(plain.view(), out, outLen);
}

// The KM key's decryption of a key-exchange reply: raw bytes out.
int kmDecrypt(const VPL_Exchg_Info& held, int padCode, const char* hash, std::string_view in, SecretBytes& out) {
    void* plain = nullptr;
    int plainLen = 0;
    VCL_COM_Change_Non_Proven();
    const int rc = VPL_RSA_Private_Crypto(0, held.kmKey, held.kmKeyLen, held.password ? held.password : "",
                                          held.passwordLen, padCode, VCL_PK1_RAW, hash && *hash ? hash : "SHA1",
                                          in.data(), static_cast<int>(in.size()), &plain, &plainLen);
    if (rc != 0) return rc;
    out.assign(bytes(plain, plainLen));
    VPL_Free(plain, plainLen);
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_Make_ZUNPlugindata(const char* domain, int vf, int storageType, const char* pin, int pinLen,
                                   const char* encCertPath, const char* password, int passwordLen, const char* vdOrTs,
                                   int vdOrTsLen, const void* data, int dataLen, char** out, int* outLen) {
    const Request r{domain,
                    vf,
                    storageType,
                    zstore::bounded(pin, pinLen),
                    encCertPath,
                    password,
                    passwordLen,
                    zstore::bounded(vdOrTs, vdOrTsLen),
                    dataOf(data, dataLen)};
    return makeOut("VPL_Make_ZUNPlugindata", r, out, outLen);
}

VPL_API int VPL_Make_ZunpluginData_VF0(const char* domain, int, const char* dataAlgorithm, int, const void* data,
                                       int dataLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_ZunpluginData_VF0";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !dataAlgorithm || !data || dataLen <= 0) return fail(kFn, VPL_ERR_INVALID_PARAM);
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : data algorithm [%s]\n", kFn, dataAlgorithm);
    const Request r{domain, 0, 0, {}, nullptr, nullptr, 0, {}, dataOf(data, dataLen)};
    return makeOut(kFn, r, out, outLen);
}

VPL_API int VPL_Make_ZunpluginData_VF1(int storageType, const char* pin, int pinLen, const char* encCertPath,
                                       int pathLen, const char* password, int passwordLen, const char* domain, int,
                                       const char* vd, int vdLen, const char* dataAlgorithm, int, const void* data,
                                       int dataLen, const char* signaturePadding, const char* signatureAlgorithm,
                                       char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_ZunpluginData_VF1";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !encCertPath || !password || !vd || !dataAlgorithm || !data || dataLen <= 0)
        return fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!builderMedium(storageType)) return fail(kFn, -1);
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : [%s] [%s] [%s]\n", kFn, dataAlgorithm, signaturePadding ? signaturePadding : "",
               signatureAlgorithm ? signatureAlgorithm : "");
    const std::string path(zstore::bounded(encCertPath, pathLen));
    const Request r{domain,
                    1,
                    storageType,
                    zstore::bounded(pin, pinLen),
                    path.c_str(),
                    password,
                    passwordLen,
                    zstore::bounded(vd, vdLen),
                    dataOf(data, dataLen)};
    return makeOut(kFn, r, out, outLen);
}

VPL_API int VPL_Make_ZunpluginData_VFx0(const char* domain, int vf, const void* data, int dataLen,
                                        const char* timeStamp, int timeStampLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_ZunpluginData_VFx0";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !data || dataLen <= 0 || !timeStamp) return fail(kFn, VPL_ERR_INVALID_PARAM);
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : vf [%d], building 10\n", kFn, vf);
    const Request r{
        domain, 10, 0, {}, nullptr, nullptr, 0, zstore::bounded(timeStamp, timeStampLen), dataOf(data, dataLen)};
    return makeOut(kFn, r, out, outLen);
}

VPL_API int VPL_Make_ZunpluginData_VFx1(int storageType, int vf, const char* pin, int pinLen, const char* encCertPath,
                                        const char* password, int passwordLen, const char* domain,
                                        const char* timeStamp, int timeStampLen, const void* data, int dataLen,
                                        char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_ZunpluginData_VFx1";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !encCertPath || !timeStamp || !password || (vf != 11 && (!data || dataLen <= 0)))
        return fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!builderMedium(storageType)) return fail(kFn, -1);
    const Request r{domain,
                    vf,
                    storageType,
                    zstore::bounded(pin, pinLen),
                    encCertPath,
                    password,
                    passwordLen,
                    zstore::bounded(timeStamp, timeStampLen),
                    dataOf(data, dataLen)};
    return makeOut(kFn, r, out, outLen);
}

VPL_API int VPL_SYM_Decrypt(const char* domain, int, const char* cipherName, int, const void* cipherText,
                            int cipherTextLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_SYM_Decrypt";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !cipherName || !cipherText) return fail(kFn, VPL_ERR_INVALID_PARAM);
    const CTX* ctx = zstore::findContext(domain);
    if (!ctx) return fail(kFn, VPL_ERR_DOMAIN);
    SecretBytes plain;
    int rc =
        zstore::web::decipher(member(ctx->sessionKey, ctx->sessionKeyLen), member(ctx->iv, ctx->ivLen), cipherName, 1,
                              bytes(cipherText, cipherTextLen), VCL_ENCODING_BASE64, VPL_ERR_SYM_DECRYPT, plain);
    if (rc == 0 && handOutPlain(plain, out, outLen) != 0) rc = VPL_ERR_MALLOC;
    return rc ? fail(kFn, rc) : 0;
}

VPL_API int VPL_ZUNPlugin_VFx_Decrypt(const char* domain, const char* cipherName, int inputEncoding,
                                      const void* cipherText, int cipherTextLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_ZUNPlugin_VFx_Decrypt";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!domain || !cipherName || !cipherText) return fail(kFn, VPL_ERR_INVALID_PARAM);
    const CTX* ctx = zstore::findContext(domain);
    if (!ctx) return fail(kFn, VPL_ERR_DOMAIN);
    SecretBytes plain;
    int rc = zstore::web::decryptReply(*ctx, cipherName, bytes(cipherText, cipherTextLen), coreEncoding(inputEncoding),
                                       VPL_ERR_SYM_DECRYPT, plain);
    if (rc == 0 && handOutPlain(plain, out, outLen) != 0) rc = VPL_ERR_MALLOC;
    return rc ? fail(kFn, rc) : 0;
}

VPL_API int VPL_Exchangekey_Decrypt(const char* domain, const char* text, int textLen) {
    static const char* const kFn = "VPL_Exchangekey_Decrypt";
    using zstore::web::kHandshakeLen;
    using zstore::web::kPremasterLen;
    if (!domain || !text) return fail(kFn, VPL_ERR_INVALID_PARAM);
    CTX* ctx = zstore::findContext(domain);
    if (!ctx) return fail(kFn, VPL_ERR_DOMAIN);
    if (!g_EXCHG_CERT) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Exchangekey_Decrypt () : g_EXCHG_CERT NULL\n");
        return -1;
    }
    // R1 answers one exchange: the KM key, its password, the PIN and R1 go
    // now, whatever the reply holds.
    struct Release {
        ~Release() { VPL_Delete_Exchg_Cert(); }
    } release;
    const VPL_Exchg_Info& held = *g_EXCHG_CERT;

    const std::string_view encoded = zstore::bounded(text, textLen);
    char* decoded = nullptr;
    int decodedLen = 0;
    if (encoded.empty() ||
        VPL_DataDecode(0, encoded.data(), static_cast<int>(encoded.size()), &decoded, &decodedLen) != 0)
        return fail(kFn, -1);
    SecretBytes reply;
    reply.assign(bytes(decoded, decodedLen));
    VPL_Free(decoded, decodedLen);

    SecretBytes plain;
    if (const int rc = kmDecrypt(held, VPL_get_pad_mode(ctx->kx, 0), ctx->kxh, reply.view(), plain); rc != 0)
        return fail(kFn, rc);
    const std::string_view r1 = bytes(held.random, held.randomLen);
    if (plain.size() != kPremasterLen || r1.size() != static_cast<size_t>(kHandshakeLen) ||
        plain.view().substr(0, kHandshakeLen) != r1) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Exchangekey_Decrypt () : R1 Verify Fail[len:%d] \n", plain.size());
        return fail(kFn, VPL_ERR_R1);
    }

    // Derived first, so that a failure leaves the context as it was.
    unsigned char *ck = nullptr, *civ = nullptr, *sk = nullptr, *siv = nullptr;
    int ckLen = 0, civLen = 0, skLen = 0, sivLen = 0;
    int rc = VPL_Make_ClientSK(plain.data(), plain.size(), &ck, &ckLen, &civ, &civLen);
    if (rc == 0) rc = VPL_Make_ServerSK(plain.data(), plain.size(), &sk, &skLen, &siv, &sivLen);
    char* premaster = rc == 0 ? zstore::newBuffer(plain.view()) : nullptr;
    if (rc == 0 && !premaster) rc = VPL_ERR_MALLOC;
    if (rc != 0) {
        VPL_Free(ck, ckLen);
        VPL_Free(civ, civLen);
        VPL_Free(sk, skLen);
        VPL_Free(siv, sivLen);
        return fail(kFn, rc);
    }
    const auto replace = [](unsigned char*& member, int& memberLen, unsigned char* value, int valueLen) {
        VPL_Free(member, memberLen);
        member = value;
        memberLen = valueLen;
    };
    replace(ctx->premaster, ctx->premasterLen, reinterpret_cast<unsigned char*>(premaster), plain.size());
    replace(ctx->clientKey, ctx->clientKeyLen, ck, ckLen);
    replace(ctx->clientIv, ctx->clientIvLen, civ, civLen);
    replace(ctx->serverKey, ctx->serverKeyLen, sk, skLen);
    replace(ctx->serverIv, ctx->serverIvLen, siv, sivLen);
    return 0;
}

}  // extern "C"

// The session-id builders: the data string with a certificate of the
// index-based list, or from key material given as bytes; and the raw reply
// of a session.
#include <cstring>
#include <string>

#include <zephaltpavix/base.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/index.h>
#include <zephaltpavix/zunplugin.h>
#include <zunCore/cipher.h>
#include <zunCore/error.h>
#include <zunCore/pkcs8.h>

#include "session/session_internal.hpp"
#include "session/web_internal.hpp"

namespace {

using zstore::fail;
using zstore::SecretBytes;
using zstore::web::bytes;
using zstore::web::member;

// The first 22 bytes of a reply that begins with "r" are the server's
// header.
constexpr size_t kReplyHeaderLen = 22;

void clearOut(char** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
}

// The byte-level builder's checks, then the string.
int buildWithBin(zstore::web::Material& m, std::string& out) {
    using namespace zstore::web;
    if (m.vf != 0 && m.vf != 1 && m.vf != 10 && m.vf != 11) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_MakeZUNpluginDataWithBin () : Not Support Version(%d)\n", m.vf);
        return -1;
    }
    if (m.serverCert.empty() || m.cipherKey.empty() || m.cipherIv.empty() || m.names.sym.empty() || m.data.empty())
        return VPL_ERR_BUILDER_PARAM;
    if (signedVersion(m.vf) && (m.userCert.empty() || m.key.empty())) return VPL_ERR_BUILDER_PARAM;
    if (m.vf != 0 && m.vdOrTs.empty()) return VPL_ERR_BUILDER_PARAM;
    if (extended(m.vf) && m.premaster.empty()) return VPL_ERR_BUILDER_PARAM;
    return build(m, out);
}

int phone(const char* fn, const char* id, int vf, int index, const char* password, int passwordLen,
          std::string_view text, std::string_view data, char** out, int* outLen) {
    using namespace zstore::web;
    if (!out || !outLen) return fail(fn, VPL_ERR_BUILDER_PARAM);
    clearOut(out, outLen);
    if (vf == 1 || vf == 11) {
        if (index < 0 || index >= g_nCertCnt) return fail(fn, VPL_ERR_INDEX);
        if (!id || !password || text.empty() || data.empty()) return fail(fn, VPL_ERR_BUILDER_PARAM);
    } else if (vf == 10) {
        if (!id || data.empty() || text.empty()) return fail(fn, VPL_ERR_BUILDER_PARAM);
    } else if (vf == 0) {
        if (!id || data.empty()) return fail(fn, VPL_ERR_BUILDER_PARAM);
    } else {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Not Support Version(%d)\n", fn, vf);
        return -1;
    }
    CTX* ctx = zstore::findContext(id);
    if (!ctx) return fail(fn, VPL_ERR_DOMAIN);

    std::string cert;
    SecretBytes key, pw, random;
    if (vf == 1 || vf == 11) {
        char *c = nullptr, *k = nullptr;
        int cLen = 0, kLen = 0;
        if (const int rc = VPL_GetCertPkey(index, &c, &cLen, &k, &kLen); rc != 0) return fail(fn, rc);
        cert.assign(bytes(c, cLen));
        key.assign(bytes(k, kLen));
        VPL_Free(c, cLen);
        VPL_Free(k, kLen);
        pw.assign(zstore::bounded(password, passwordLen));
        zstore::CoreBuffer value;
        VCL_COM_Change_Non_Proven();
        const int rc =
            VCL_PK8_Get_Random(key.data(), key.size(), pw.str().c_str(), pw.size(), &value.bytes, &value.len);
        if (rc != 0 || value.len <= 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK8_Get_Random:  get random error [%08x][%s]\n", static_cast<unsigned>(rc),
                       VCL_Get_Error_Msg(rc));
            return fail(fn, VPL_ERR_KEY_RANDOM);
        }
        random.assign(value.view());
    }

    Material m;
    m.vf = vf;
    if (const int rc = chooseNames(vf, *ctx, cert, m.names); rc != 0) return fail(fn, rc);
    m.serverCert = member(ctx->serverCert, ctx->serverCertLen);
    m.userCert = cert;
    m.key = key.view();
    m.password = pw.view();
    m.vdOrTs = text;
    m.premaster = member(ctx->premaster, ctx->premasterLen);
    if (extended(vf)) {
        m.cipherKey = member(ctx->clientKey, ctx->clientKeyLen);
        m.cipherIv = member(ctx->clientIv, ctx->clientIvLen);
    } else {
        m.cipherKey = member(ctx->sessionKey, ctx->sessionKeyLen);
        m.cipherIv = member(ctx->iv, ctx->ivLen);
    }
    m.data = data;
    if (vf == 1) m.erRandom = random.view();

    std::string s;
    int rc = buildWithBin(m, s);
    if (rc == 0 && zstore::handOut(s, out, outLen) != 0) rc = VPL_ERR_MALLOC;
    zstore::wipe(s);
    if (rc != 0) return fail(fn, rc);
    ctx->extendedMode = extended(vf) ? 1 : 0;
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_MakeZUNPlugindata_phone(const char* id, int vf, int index, const char* password, int passwordLen,
                                        const char* vdOrTs, int vdOrTsLen, const void* data, int dataLen, char** out,
                                        int* outLen) {
    return phone("VPL_MakeZUNPlugindata_phone", id, vf, index, password, passwordLen,
                 zstore::bounded(vdOrTs, vdOrTsLen), bytes(data, dataLen), out, outLen);
}

VPL_API int VPL_MakeZUNPluginData_0(const char* id, int vf, const void* data, int dataLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_MakeZUNPluginData_0";
    clearOut(out, outLen);
    if (!id || !data || dataLen <= 0) return fail(kFn, VPL_ERR_BUILDER_PARAM);
    return phone(kFn, id, vf, 0, nullptr, 0, {}, bytes(data, dataLen), out, outLen);
}

VPL_API int VPL_MakeZUNPluginData_1(const char* id, int vf, int index, const char* password, int passwordLen,
                                    const char* vdOrTs, int vdOrTsLen, const void* data, int dataLen, char** out,
                                    int* outLen) {
    static const char* const kFn = "VPL_MakeZUNPluginData_1";
    clearOut(out, outLen);
    if (index < 0 || index >= g_nCertCnt) return fail(kFn, VPL_ERR_INDEX);
    const std::string_view text = zstore::bounded(vdOrTs, vdOrTsLen);
    const std::string_view given = bytes(data, dataLen);
    if (!id || !password || text.empty() || (vf != 11 && given.empty())) return fail(kFn, VPL_ERR_BUILDER_PARAM);
    SecretBytes stamped;
    if (vf == 11 && given.empty()) {
        // The time stamp stands in for the page's data.
        std::string stamp;
        if (zstore::web::urlForm(text, stamp) != 0) return fail(kFn, -1);
        stamped.assign("__ZUNts__=" + stamp);
    }
    return phone(kFn, id, vf, index, password, passwordLen, text, stamped.empty() ? given : stamped.view(), out,
                 outLen);
}

VPL_API int VPL_MakeZUNpluginDataWithBin(int vf, const void* serverCert, int serverCertLen, const void* userCert,
                                         int userCertLen, const void* privateKey, int privateKeyLen,
                                         const char* password, int passwordLen, const char* vdOrTs, int vdOrTsLen,
                                         const void* premaster, int premasterLen, const void* cipherKey,
                                         int cipherKeyLen, const void* cipherIv, int cipherIvLen,
                                         const char* cipherName, const char* kx, const char* kxh, const char* sg,
                                         const char* sgh, const void* data, int dataLen, const void* random,
                                         int randomLen, int, void*, char** out, int* outLen) {
    static const char* const kFn = "VPL_MakeZUNpluginDataWithBin";
    using zstore::web::name;
    if (!out || !outLen) return fail(kFn, VPL_ERR_BUILDER_PARAM);
    clearOut(out, outLen);
    zstore::web::Material m;
    m.vf = vf;
    m.serverCert = bytes(serverCert, serverCertLen);
    m.userCert = bytes(userCert, userCertLen);
    m.key = bytes(privateKey, privateKeyLen);
    m.password = zstore::bounded(password, passwordLen);
    m.vdOrTs = zstore::bounded(vdOrTs, vdOrTsLen);
    m.premaster = bytes(premaster, premasterLen);
    m.cipherKey = bytes(cipherKey, cipherKeyLen);
    m.cipherIv = bytes(cipherIv, cipherIvLen);
    m.names = {name(cipherName), name(kx), name(kxh), name(sg), name(sgh)};
    m.data = bytes(data, dataLen);
    m.erRandom = bytes(random, randomLen);
    if (zstore::web::signedVersion(vf) && !password) return fail(kFn, VPL_ERR_BUILDER_PARAM);
    std::string s;
    int rc = buildWithBin(m, s);
    if (rc == 0 && zstore::handOut(s, out, outLen) != 0) rc = VPL_ERR_MALLOC;
    zstore::wipe(s);
    return rc ? fail(kFn, rc) : 0;
}

VPL_API int VPL_IPDecrypt(const char* id, const void* cipherText, int cipherTextLen, char** out) {
    static const char* const kFn = "VPL_IPDecrypt";
    if (out) *out = nullptr;
    if (!id || !cipherText || !out) return fail(kFn, VPL_ERR_IP_PARAM);
    const CTX* ctx = zstore::findContext(id);
    if (!ctx) return fail(kFn, VPL_ERR_DOMAIN);
    SecretBytes plain;
    if (const int rc = zstore::web::decryptReply(*ctx, ctx->sym, bytes(cipherText, cipherTextLen), VCL_ENCODING_RAW,
                                                 VPL_ERR_IP_DECRYPT, plain);
        rc != 0)
        return fail(kFn, rc);
    std::string_view text = plain.view();
    if (!text.empty() && text.front() == 'r') {
        if (text.size() < kReplyHeaderLen) return fail(kFn, VPL_ERR_IP_DECRYPT);
        text.remove_prefix(kReplyHeaderLen);
    }
    int len = 0;
    if (zstore::handOut(text, out, &len) != 0) return fail(kFn, VPL_ERR_MALLOC);
    return 0;
}

}  // extern "C"

// The session registry of the data-string builders: a session is the domain
// context of its id, with the web server's certificate and algorithm names.
#include <cstring>

#include <zephaltpavix/context.h>
#include <zephaltpavix/session.h>

#include "base/store_internal.hpp"
#include "session/session_internal.hpp"

namespace {

bool replaceName(char*& name, const char* value) {
    char* copy = zstore::newBuffer(value);
    if (!copy) return false;
    if (name) zstore::release(name, std::strlen(name));
    name = copy;
    return true;
}

}  // namespace

extern "C" {

VPL_API int VPL_SetZUNPluginDataProperty(const char* id, const void* cert, int certLen, const char* sym, const char* kx,
                                         const char* kxh, const char* sg, const char* sgh) {
    if (!id || !cert || certLen <= 0 || !sym)
        return zstore::fail("VPL_SetZUNPluginDataProperty", VPL_ERR_PROPERTY_PARAM);
    const int idLen = static_cast<int>(std::strlen(id));
    if (const int rc = VPL_Set_DomainInfo(id, idLen); rc != 0) return rc;
    if (const int rc = VPL_Set_ServerCert(id, idLen, cert, certLen); rc != 0) return rc;
    CTX* ctx = zstore::findContext(id);
    if (!ctx) return zstore::fail("VPL_SetZUNPluginDataProperty", VPL_ERR_DOMAIN);
    bool kept = replaceName(ctx->sym, sym);
    for (auto [member, given] : {std::pair{&ctx->kx, kx}, {&ctx->kxh, kxh}, {&ctx->sg, sg}, {&ctx->sgh, sgh}})
        if (kept && given) kept = replaceName(*member, given);
    return kept ? 0 : zstore::fail("VPL_SetZUNPluginDataProperty", VPL_ERR_MEMORY);
}

VPL_API int VPL_GetZUNPluginDataProperty(const char* id, const unsigned char** cert, int* certLen, const char** sym,
                                         const char** kx, const char** kxh, const char** sg, const char** sgh,
                                         const unsigned char** sessionKey, int* sessionKeyLen, const unsigned char** iv,
                                         int* ivLen) {
    if (!id) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_GetZUNPluginDataProperty() : param error (sid is null)");
        return VPL_ERR_NO_SID;
    }
    const CTX* ctx = zstore::findContext(id);
    if (!ctx) return zstore::fail("VPL_GetZUNPluginDataProperty", VPL_ERR_DOMAIN);
    if (cert) *cert = ctx->serverCert;
    if (certLen) *certLen = ctx->serverCertLen;
    if (sym) *sym = ctx->sym;
    if (kx) *kx = ctx->kx;
    if (kxh) *kxh = ctx->kxh;
    if (sg) *sg = ctx->sg;
    if (sgh) *sgh = ctx->sgh;
    if (sessionKey) *sessionKey = ctx->sessionKey;
    if (sessionKeyLen) *sessionKeyLen = ctx->sessionKeyLen;
    if (iv) *iv = ctx->iv;
    if (ivLen) *ivLen = ctx->ivLen;
    return 0;
}

VPL_API void VPL_ClearZUNPluginDataProperty(const char* id) {
    // The exact id only: clearing "VERI" leaves "VERIDAN" registered.
    VPL_Find_CTX_Delete(&g_CTX_Head, id);
}

}  // extern "C"

// Domain contexts, their cached credentials, and the key-exchange and
// request holders.
#include <cstring>
#include <new>

#include <zephaltpavix/context.h>

#include "base/store_internal.hpp"
#include "context/context_internal.hpp"

VPL_API CTX* g_CTX_Head = nullptr;
VPL_Exchg_Info* g_EXCHG_CERT = nullptr;
VPL_PKCS10_Certs* g_PPKI_PKCS10 = nullptr;

namespace {

using zstore::release;

template <typename T>
T* newZeroed() {
    return static_cast<T*>(std::calloc(1, sizeof(T)));
}

// Texts without a length of their own are released over their string
// length (they are names, but zeroed all the same).
void releaseText(char*& text) {
    if (text) release(text, std::strlen(text));
    text = nullptr;
}

template <typename T>
void releaseBuffer(T*& p, int& len) {
    release(p, len);
    p = nullptr;
    len = 0;
}

void releaseNode(CertsInfo* node) {
    releaseBuffer(node->path, node->pathLen);
    releaseBuffer(node->cert, node->certLen);
    releaseBuffer(node->key, node->keyLen);
    releaseBuffer(node->extra1, node->extra1Len);
    releaseBuffer(node->extra2, node->extra2Len);
    release(node, sizeof *node);
}

void releaseContext(CTX* ctx) {
    releaseBuffer(ctx->domain, ctx->domainLen);
    releaseBuffer(ctx->premaster, ctx->premasterLen);
    releaseBuffer(ctx->sessionKey, ctx->sessionKeyLen);
    releaseBuffer(ctx->iv, ctx->ivLen);
    releaseBuffer(ctx->clientKey, ctx->clientKeyLen);
    releaseBuffer(ctx->clientIv, ctx->clientIvLen);
    releaseBuffer(ctx->serverKey, ctx->serverKeyLen);
    releaseBuffer(ctx->serverIv, ctx->serverIvLen);
    releaseBuffer(ctx->serverCert, ctx->serverCertLen);
    releaseBuffer(ctx->FilterInfo, ctx->FilterInfoLen);
    for (char** name : {&ctx->sym, &ctx->kx, &ctx->kxh, &ctx->sg, &ctx->sgh}) releaseText(*name);
    releaseBuffer(ctx->imagePath, ctx->imagePathLen);
    releaseBuffer(ctx->phoneValue, ctx->phoneValueLen);
    releaseBuffer(ctx->phoneUrl, ctx->phoneUrlLen);
    releaseBuffer(ctx->phoneVersion, ctx->phoneVersionLen);
    releaseBuffer(ctx->pHSM_Module, ctx->pHSM_ModuleLen);
    for (CertsInfo** list : {&ctx->memoryCerts, &ctx->hsmCerts, &ctx->scardCerts, &ctx->usbtCerts, &ctx->phoneCerts})
        VPL_Delete_ALL_CertsInfo(list);
    release(ctx, sizeof *ctx);
}

bool sameKey(const char* stored, int storedLen, std::string_view wanted) {
    return stored && storedLen >= 0 &&
           zstore::equalNoCase(std::string_view(stored, static_cast<size_t>(storedLen)), wanted);
}

}  // namespace

namespace zstore {

CertsInfo** cachedList(CTX& ctx, int storageType) {
    switch (storageType) {
        case VPL_STORAGE_MEMORY:
            return &ctx.memoryCerts;
        case VPL_STORAGE_HSM:
            return &ctx.hsmCerts;
        case VPL_STORAGE_SCARD:
            return &ctx.scardCerts;
        case VPL_STORAGE_USBT:
            return &ctx.usbtCerts;
        case VPL_STORAGE_PHONE:
            return &ctx.phoneCerts;
        default:
            return nullptr;
    }
}

}  // namespace zstore

extern "C" {

VPL_API CTX* VPL_Init_CTX(void) {
    CTX* ctx = newZeroed<CTX>();
    if (!ctx) ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CTX_Init () : Memory Fail\n");
    return ctx;
}

VPL_API int VPL_Insert_CTX(CTX** head, CTX* ctx) {
    if (!head || !ctx) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Insert_CTX () : Input Parameter NULL\n");
        return -1;
    }
    CTX** tail = head;
    while (*tail) tail = &(*tail)->next;
    ctx->next = nullptr;
    *tail = ctx;
    return 0;
}

VPL_API CTX* VPL_Find_CTX(CTX* head, const char* domain) {
    if (!head || !domain) {
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Find_CTX () : Input Parameter NULL\n");
        return nullptr;
    }
    for (CTX* ctx = head; ctx; ctx = ctx->next)
        if (sameKey(ctx->domain, ctx->domainLen, domain)) return ctx;
    return nullptr;
}

VPL_API void VPL_Find_CTX_Delete(CTX** head, const char* domain) {
    if (!head || !domain) return;
    // The same exact match as the find: "VERI" does not delete "VERIDAN".
    for (CTX** link = head; *link; link = &(*link)->next) {
        CTX* ctx = *link;
        if (sameKey(ctx->domain, ctx->domainLen, domain)) {
            *link = ctx->next;
            releaseContext(ctx);
            return;
        }
    }
}

VPL_API void VPL_Delete_ALL_CTX(CTX** head) {
    if (!head) return;
    while (CTX* ctx = *head) {
        *head = ctx->next;
        releaseContext(ctx);
    }
}

VPL_API int VPL_CTX_Certs_Delete(const char* domain, int /*domainLen*/, int storageType) {
    if (!domain || storageType > VPL_STORAGE_HSM) return zstore::fail("VPL_CTX_Certs_Delete", VPL_ERR_INVALID_PARAM);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain);
    if (!ctx) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_CTX_Certs_Delete () : Not Found Domain Info\n");
        return zstore::fail("VPL_CTX_Certs_Delete", VPL_ERR_DOMAIN);
    }
    if (CertsInfo** list = zstore::cachedList(*ctx, storageType)) VPL_Delete_ALL_CertsInfo(list);
    return 0;
}

VPL_API int VPL_Get_Domain_HSMModule(const char* domain, char** module, int* moduleLen) {
    if (!module || !moduleLen) return zstore::fail("VPL_Get_Domain_HSMModule", VPL_ERR_INVALID_PARAM);
    *module = nullptr;
    *moduleLen = 0;
    if (!domain) return zstore::fail("VPL_Get_Domain_HSMModule", VPL_ERR_DOMAIN);
    const CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain);
    if (!ctx) return zstore::fail("VPL_Get_Domain_HSMModule", VPL_ERR_NO_DOMAIN);
    if (!ctx->pHSM_Module || ctx->pHSM_ModuleLen <= 0)
        return zstore::fail("VPL_Get_Domain_HSMModule", VPL_ERR_MODULE_NAME);
    const int rc = zstore::handOut({ctx->pHSM_Module, static_cast<size_t>(ctx->pHSM_ModuleLen)}, module, moduleLen);
    return rc ? zstore::fail("VPL_Get_Domain_HSMModule", rc) : 0;
}

VPL_API CertsInfo* VPL_Init_CertsInfo(void) {
    CertsInfo* node = newZeroed<CertsInfo>();
    if (!node) ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Init_CertsInfo () : Memory Fail\n");
    return node;
}

VPL_API int VPL_Insert_CertsInfo(CertsInfo** head, CertsInfo* node) {
    if (!head || !node) return -1;
    CertsInfo** tail = head;
    while (*tail) tail = &(*tail)->next;
    node->next = nullptr;
    *tail = node;
    return 0;
}

VPL_API CertsInfo* VPL_Find_CertsInfo(CertsInfo* head, const char* path) {
    if (!head || !path) {
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Find_CertsInfo () : Input Parameter NULL\n");
        return nullptr;
    }
    // Exact: an empty path or a shorter serial must not pick another
    // certificate's key.
    for (CertsInfo* node = head; node; node = node->next) {
        if (sameKey(node->path, node->pathLen, path)) {
            ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Find_CertsInfo () : Found Path[%s]\n", path);
            return node;
        }
    }
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Find_CertsInfo () : Not Found Path[%s]\n", path);
    return nullptr;
}

VPL_API void VPL_Find_CertsInfo_Delete(CertsInfo** head, const char* path) {
    if (!head || !path) return;
    for (CertsInfo** link = head; *link; link = &(*link)->next) {
        CertsInfo* node = *link;
        if (sameKey(node->path, node->pathLen, path)) {
            *link = node->next;
            ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Find_CertsInfo_Delete () : Delete Path[%s]\n", path);
            releaseNode(node);
            return;
        }
    }
}

VPL_API void VPL_Delete_ALL_CertsInfo(CertsInfo** head) {
    if (!head) return;
    while (CertsInfo* node = *head) {
        *head = node->next;
        releaseNode(node);
    }
}

VPL_API int VPL_Init_Exchg_Cert(void) {
    VPL_Delete_Exchg_Cert();
    g_EXCHG_CERT = newZeroed<VPL_Exchg_Info>();
    return g_EXCHG_CERT ? 0 : zstore::fail("VPL_Init_Exchg_Cert", VPL_ERR_MALLOC);
}

VPL_API void VPL_Delete_Exchg_Cert(void) {
    VPL_Exchg_Info* held = g_EXCHG_CERT;
    if (!held) return;
    g_EXCHG_CERT = nullptr;
    releaseBuffer(held->random, held->randomLen);
    releaseBuffer(held->kmKey, held->kmKeyLen);
    releaseBuffer(held->password, held->passwordLen);
    releaseBuffer(held->pin, held->pinLen);
    release(held, sizeof *held);
}

VPL_API int VPL_Init_PKCS10_Cert(void) {
    VPL_Delete_PKCS10_Cert();
    g_PPKI_PKCS10 = newZeroed<VPL_PKCS10_Certs>();
    return g_PPKI_PKCS10 ? 0 : zstore::fail("VPL_Init_PKCS10_Cert", VPL_ERR_MALLOC);
}

VPL_API void VPL_Delete_PKCS10_Cert(void) {
    VPL_PKCS10_Certs* held = g_PPKI_PKCS10;
    if (!held) return;
    g_PPKI_PKCS10 = nullptr;
    releaseBuffer(held->drive, held->driveLen);
    releaseBuffer(held->pin, held->pinLen);
    releaseBuffer(held->password, held->passwordLen);
    releaseBuffer(held->privateKey, held->privateKeyLen);
    release(held, sizeof *held);
}

}  // extern "C"

/* A PKCS#11 module for the token tests that answers what a test chooses:
 * lengths and counts (also CK_UNAVAILABLE_INFORMATION and absurd ones) while
 * writing only within the room it was given, and the results of searches,
 * logins and destroys. It counts the searches left open, so a test sees
 * that every search started was finalised. Its controls are the hostile_*
 * functions, reached with dlsym; built with default visibility. */
#include <p11-kit/pkcs11.h>
#include <string.h>

static CK_ULONG g_length = 4;      /* reported output and attribute length */
static CK_ULONG g_found = 0;       /* objects a search reports */
static CK_RV g_findRv = CKR_OK;    /* C_FindObjectsInit's answer */
static CK_RV g_loginRv = CKR_OK;   /* C_Login's answer */
static CK_RV g_destroyRv = CKR_OK; /* C_DestroyObject's answer */
static int g_openSearches = 0;
static int g_destroyed = 0;

void hostile_set(CK_ULONG length, CK_ULONG found, CK_RV findRv, CK_RV loginRv, CK_RV destroyRv) {
    g_length = length;
    g_found = found;
    g_findRv = findRv;
    g_loginRv = loginRv;
    g_destroyRv = destroyRv;
    g_openSearches = 0;
    g_destroyed = 0;
}
int hostile_open_searches(void) { return g_openSearches; }
int hostile_destroyed(void) { return g_destroyed; }

static CK_ULONG smaller(CK_ULONG a, CK_ULONG b) { return a < b ? a : b; }

static CK_RV output(CK_BYTE_PTR out, CK_ULONG_PTR len) {
    if (!len) return CKR_ARGUMENTS_BAD;
    if (out) memset(out, 0x5a, smaller(*len, g_length));
    *len = g_length;
    return CKR_OK;
}

CK_RV C_Initialize(CK_VOID_PTR args) {
    (void)args;
    return CKR_OK;
}
CK_RV C_Finalize(CK_VOID_PTR reserved) {
    (void)reserved;
    return CKR_OK;
}
CK_RV C_GetSlotList(CK_BBOOL present, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    (void)present;
    if (!count) return CKR_ARGUMENTS_BAD;
    if (list && *count >= 1) list[0] = 3;
    *count = 1;
    return CKR_OK;
}
CK_RV C_GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    (void)slot;
    memset(info, ' ', sizeof *info);
    memcpy(info->serialNumber, "HOSTILE-0001", 12);
    info->ulFreePublicMemory = 1000;
    info->ulFreePrivateMemory = CK_UNAVAILABLE_INFORMATION;
    return CKR_OK;
}
CK_RV C_OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR app, CK_NOTIFY notify, CK_SESSION_HANDLE_PTR session) {
    (void)slot;
    (void)flags;
    (void)app;
    (void)notify;
    *session = 9;
    return CKR_OK;
}
CK_RV C_CloseSession(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}
CK_RV C_Login(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG len) {
    (void)session;
    (void)user;
    (void)pin;
    (void)len;
    return g_loginRv;
}
CK_RV C_FindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR tmpl, CK_ULONG n) {
    (void)session;
    (void)tmpl;
    (void)n;
    if (g_findRv != CKR_OK) return g_findRv;
    ++g_openSearches;
    return CKR_OK;
}
CK_RV C_FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG max, CK_ULONG_PTR count) {
    (void)session;
    for (CK_ULONG i = 0; objects && i < smaller(max, g_found); ++i) objects[i] = 100 + i;
    *count = g_found;
    return CKR_OK;
}
CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE session) {
    (void)session;
    --g_openSearches;
    return CKR_OK;
}
CK_RV C_GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attrs, CK_ULONG n) {
    (void)session;
    (void)object;
    for (CK_ULONG i = 0; i < n; ++i) {
        if (attrs[i].pValue) memset(attrs[i].pValue, 0x30, smaller(attrs[i].ulValueLen, g_length));
        attrs[i].ulValueLen = g_length;
    }
    return CKR_OK;
}
CK_RV C_DestroyObject(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object) {
    (void)session;
    (void)object;
    if (g_destroyRv == CKR_OK) ++g_destroyed;
    return g_destroyRv;
}
CK_RV C_SignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    (void)session;
    (void)mechanism;
    (void)key;
    return CKR_OK;
}
CK_RV C_Sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR sig, CK_ULONG_PTR sigLen) {
    (void)session;
    (void)data;
    (void)len;
    return output(sig, sigLen);
}
CK_RV C_DigestInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism) {
    (void)session;
    (void)mechanism;
    return CKR_OK;
}
CK_RV C_Digest(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR out, CK_ULONG_PTR outLen) {
    (void)session;
    (void)data;
    (void)len;
    return output(out, outLen);
}
CK_RV C_EncryptInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    (void)session;
    (void)mechanism;
    (void)key;
    return CKR_OK;
}
CK_RV C_Encrypt(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR out, CK_ULONG_PTR outLen) {
    (void)session;
    (void)data;
    (void)len;
    return output(out, outLen);
}

/* A small PKCS#11 module for the loader's tests. It exports some C_*
 * functions (not C_SignUpdate, nor most others) and reports whatever length
 * or count the test chose, while writing only within the room it was given,
 * as a careless or hostile module might. Its controls are the fixture_*
 * functions, reached with dlsym. Built with default visibility: every
 * function here is exported. */
#include <p11-kit/pkcs11.h>
#include <string.h>

static CK_ULONG g_answer = 4;
static CK_RV g_rv = CKR_OK;
static int g_tokenPresent = -1;

void fixture_answer(CK_ULONG length, CK_RV rv) {
    g_answer = length;
    g_rv = rv;
}

/* The tokenPresent byte of the last C_GetSlotList, -1 before one. */
int fixture_token_present(void) { return g_tokenPresent; }

static CK_ULONG smaller(CK_ULONG a, CK_ULONG b) { return a < b ? a : b; }

/* Writes up to the room it was given and reports the chosen length. */
static CK_RV output(CK_BYTE_PTR out, CK_ULONG_PTR len) {
    if (!len) return CKR_ARGUMENTS_BAD;
    if (out) memset(out, 0xab, smaller(*len, g_answer));
    *len = g_answer;
    return g_rv;
}

CK_RV C_Initialize(CK_VOID_PTR args) {
    (void)args;
    return CKR_OK;
}

CK_RV C_Finalize(CK_VOID_PTR reserved) {
    (void)reserved;
    return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO_PTR info) {
    if (!info) return CKR_ARGUMENTS_BAD;
    memset(info, ' ', sizeof(*info));
    info->cryptokiVersion.major = 2;
    info->cryptokiVersion.minor = 40;
    memcpy(info->manufacturerID, "loader fixture", 14);
    info->flags = 0;
    return CKR_OK;
}

CK_RV C_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    g_tokenPresent = tokenPresent;
    if (!count) return CKR_ARGUMENTS_BAD;
    if (list)
        for (CK_ULONG i = 0; i < smaller(*count, g_answer); ++i) list[i] = 7 + i;
    *count = g_answer;
    return g_rv;
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attrs, CK_ULONG count) {
    (void)session;
    (void)object;
    for (CK_ULONG i = 0; i < count; ++i) {
        if (attrs[i].pValue) memset(attrs[i].pValue, 0xcd, smaller(attrs[i].ulValueLen, g_answer));
        attrs[i].ulValueLen = g_answer;
    }
    return g_rv;
}

CK_RV C_FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG max, CK_ULONG_PTR count) {
    (void)session;
    if (!count) return CKR_ARGUMENTS_BAD;
    for (CK_ULONG i = 0; objects && i < smaller(max, g_answer); ++i) objects[i] = 100 + i;
    *count = g_answer;
    return g_rv;
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

CK_RV C_Encrypt(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR out, CK_ULONG_PTR outLen) {
    (void)session;
    (void)data;
    (void)len;
    return output(out, outLen);
}

CK_RV C_DecryptFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR out, CK_ULONG_PTR outLen) {
    (void)session;
    return output(out, outLen);
}

CK_RV C_Digest(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG len, CK_BYTE_PTR out, CK_ULONG_PTR outLen) {
    (void)session;
    (void)data;
    (void)len;
    return output(out, outLen);
}

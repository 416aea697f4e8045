// The PKCS#11 module loader: the one place that opens a vendor module and
// calls into it. Every wrapper checks its pointer, and the counts and lengths
// a module reports are checked before a caller can size anything from them.
#include <zunPKI/pkcs/pkcs11.h>

#include <dlfcn.h>

#include <new>
#include <vector>

// The names in binding order; each gets a pointer pfnC_<name>.
// clang-format off
#define ZPKI_P11_FUNCTIONS(X) \
    X(C_Initialize) \
    X(C_Finalize) \
    X(C_GetSlotList) \
    X(C_GetTokenInfo) \
    X(C_OpenSession) \
    X(C_CloseSession) \
    X(C_Login) \
    X(C_Logout) \
    X(C_GetAttributeValue) \
    X(C_FindObjectsInit) \
    X(C_FindObjects) \
    X(C_FindObjectsFinal) \
    X(C_GetSlotInfo) \
    X(C_GetFunctionList) \
    X(C_GetInfo) \
    X(C_GenerateKeyPair) \
    X(C_CreateObject) \
    X(C_EncryptInit) \
    X(C_Encrypt) \
    X(C_EncryptUpdate) \
    X(C_EncryptFinal) \
    X(C_DecryptInit) \
    X(C_Decrypt) \
    X(C_DecryptUpdate) \
    X(C_DecryptFinal) \
    X(C_DigestInit) \
    X(C_Digest) \
    X(C_DigestUpdate) \
    X(C_DigestKey) \
    X(C_DigestFinal) \
    X(C_SignInit) \
    X(C_Sign) \
    X(C_SignUpdate) \
    X(C_SignFinal) \
    X(C_VerifyInit) \
    X(C_Verify) \
    X(C_DestroyObject)
// clang-format on

extern "C" {
#define ZPKI_P11_POINTER(name) ZUNPKI_API CK_##name pfn##name = nullptr;
ZPKI_P11_FUNCTIONS(ZPKI_P11_POINTER)
#undef ZPKI_P11_POINTER
}

namespace {

// The handle of the loaded module; null while none is.
void* g_hModule = nullptr;

template <class Fn>
void bindOne(Fn& pointer, const char* name) {
    // dlsym hands functions out as void*; POSIX guarantees the round trip.
    pointer = g_hModule ? reinterpret_cast<Fn>(dlsym(g_hModule, name)) : nullptr;
}

// Calls fn with args, or answers P11_NOT_BOUND when it is not bound.
template <class Fn, class... Args>
CK_RV call(Fn fn, Args... args) {
    return fn ? fn(args...) : P11_NOT_BOUND;
}

// Answers the module gives with a count or length worth reading: success,
// and the buffer-too-small answer that reports the size needed.
bool reportsLength(CK_RV rv) { return rv == CKR_OK || rv == CKR_BUFFER_TOO_SMALL; }

// A call that writes up to *outLen bytes to out (or, with out null, reports
// the size needed in *outLen). The reported length must fit the caller's
// room when there was an output, and stay within bound.
template <class Fn, class... Args>
CK_RV callWithOutput(Fn fn, CK_BYTE_PTR out, CK_ULONG_PTR outLen, CK_ULONG bound, Args... args) {
    if (!fn) return P11_NOT_BOUND;
    const CK_ULONG room = out && outLen ? *outLen : 0;
    const CK_RV rv = fn(args..., out, outLen);
    if (!outLen || !reportsLength(rv)) return rv;
    const CK_ULONG n = *outLen;
    if (n == CK_UNAVAILABLE_INFORMATION || n > bound || (out && rv == CKR_OK && n > room)) {
        *outLen = 0;
        return P11_BAD_ANSWER;
    }
    return rv;
}

// Bound of an output made from an input of inLen bytes (encryption adds
// padding, a tag or a whole RSA block).
CK_ULONG boundAfter(CK_ULONG inLen) {
    return inLen > CK_UNAVAILABLE_INFORMATION - 1 - P11_MAX_VALUE_LEN ? CK_UNAVAILABLE_INFORMATION - 1
                                                                      : inLen + P11_MAX_VALUE_LEN;
}

}  // namespace

extern "C" {

ZUNPKI_API void _assign_function_list(void) {
#define ZPKI_P11_BIND(name) bindOne(pfn##name, #name);
    ZPKI_P11_FUNCTIONS(ZPKI_P11_BIND)
#undef ZPKI_P11_BIND
}

ZUNPKI_API void _unload_pkcs11_module(void) {
    void* module = g_hModule;
    // Unbound first, so nothing can reach the module while it goes.
    g_hModule = nullptr;
    _assign_function_list();
    if (module) dlclose(module);
}

ZUNPKI_API int _load_pkcs11_module(const char* path) {
    // The earlier module is closed, not leaked under the new one; and a load
    // that fails leaves nothing bound rather than the old module's pointers.
    _unload_pkcs11_module();
    // dlopen of null or "" would hand back the program itself.
    if (!path || !*path) return -1;
    g_hModule = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    if (!g_hModule) return -1;
    _assign_function_list();
    return 0;
}

ZUNPKI_API CK_RV p11_C_Initialize(CK_VOID_PTR pInitArgs) { return call(pfnC_Initialize, pInitArgs); }

ZUNPKI_API CK_RV p11_C_Finalize(CK_VOID_PTR pReserved) { return call(pfnC_Finalize, pReserved); }

ZUNPKI_API CK_RV p11_C_GetSlotList(CK_ULONG tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount) {
    if (!pfnC_GetSlotList) return P11_NOT_BOUND;
    // Its low byte alone would turn 0x100 into "any slot".
    const CK_BBOOL present = tokenPresent ? CK_TRUE : CK_FALSE;
    const CK_ULONG room = pSlotList && pulCount ? *pulCount : 0;
    const CK_RV rv = pfnC_GetSlotList(present, pSlotList, pulCount);
    if (!pulCount || !reportsLength(rv)) return rv;
    const CK_ULONG n = *pulCount;
    if (n > P11_MAX_SLOT_COUNT || (pSlotList && rv == CKR_OK && n > room)) {
        *pulCount = 0;
        return P11_BAD_ANSWER;
    }
    return rv;
}

ZUNPKI_API CK_RV p11_C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo) {
    return call(pfnC_GetTokenInfo, slotID, pInfo);
}

ZUNPKI_API CK_RV p11_C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication, CK_NOTIFY Notify,
                                   CK_SESSION_HANDLE_PTR phSession) {
    return call(pfnC_OpenSession, slotID, flags, pApplication, Notify, phSession);
}

ZUNPKI_API CK_RV p11_C_CloseSession(CK_SESSION_HANDLE hSession) { return call(pfnC_CloseSession, hSession); }

ZUNPKI_API CK_RV p11_C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin,
                             CK_ULONG ulPinLen) {
    return call(pfnC_Login, hSession, userType, pPin, ulPinLen);
}

ZUNPKI_API CK_RV p11_C_Logout(CK_SESSION_HANDLE hSession) { return call(pfnC_Logout, hSession); }

ZUNPKI_API CK_RV p11_C_GetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                                         CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
    if (!pfnC_GetAttributeValue) return P11_NOT_BOUND;
    if (!pTemplate) return pfnC_GetAttributeValue(hSession, hObject, pTemplate, ulCount);
    std::vector<CK_ULONG> rooms;
    if (ulCount > rooms.max_size()) return CKR_ARGUMENTS_BAD;
    try {
        rooms.resize(ulCount);
    } catch (const std::bad_alloc&) {
        return CKR_HOST_MEMORY;
    }
    for (CK_ULONG i = 0; i < ulCount; ++i) rooms[i] = pTemplate[i].pValue ? pTemplate[i].ulValueLen : 0;
    const CK_RV rv = pfnC_GetAttributeValue(hSession, hObject, pTemplate, ulCount);
    // These answers fill every entry, marking those without a value
    // CK_UNAVAILABLE_INFORMATION; only success vouches for every value.
    if (rv != CKR_OK && rv != CKR_ATTRIBUTE_SENSITIVE && rv != CKR_ATTRIBUTE_TYPE_INVALID && rv != CKR_BUFFER_TOO_SMALL)
        return rv;
    CK_RV result = rv;
    for (CK_ULONG i = 0; i < ulCount; ++i) {
        CK_ATTRIBUTE& a = pTemplate[i];
        const bool unavailable = a.ulValueLen == CK_UNAVAILABLE_INFORMATION;
        const bool bad =
            unavailable ? rv == CKR_OK
                        : a.ulValueLen > P11_MAX_VALUE_LEN || (a.pValue && rv == CKR_OK && a.ulValueLen > rooms[i]);
        if (bad) {
            a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            result = P11_BAD_ANSWER;
        }
    }
    return result;
}

ZUNPKI_API CK_RV p11_C_FindObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount) {
    return call(pfnC_FindObjectsInit, hSession, pTemplate, ulCount);
}

ZUNPKI_API CK_RV p11_C_FindObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject, CK_ULONG ulMaxObjectCount,
                                   CK_ULONG_PTR pulObjectCount) {
    if (!pfnC_FindObjects) return P11_NOT_BOUND;
    const CK_RV rv = pfnC_FindObjects(hSession, phObject, ulMaxObjectCount, pulObjectCount);
    if (rv == CKR_OK && pulObjectCount && *pulObjectCount > ulMaxObjectCount) {
        *pulObjectCount = 0;
        return P11_BAD_ANSWER;
    }
    return rv;
}

ZUNPKI_API CK_RV p11_C_FindObjectsFinal(CK_SESSION_HANDLE hSession) { return call(pfnC_FindObjectsFinal, hSession); }

ZUNPKI_API CK_RV p11_C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo) {
    return call(pfnC_GetSlotInfo, slotID, pInfo);
}

ZUNPKI_API CK_RV p11_C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList) {
    return call(pfnC_GetFunctionList, ppFunctionList);
}

ZUNPKI_API CK_RV p11_C_GetInfo(CK_INFO_PTR pInfo) { return call(pfnC_GetInfo, pInfo); }

ZUNPKI_API CK_RV p11_C_GenerateKeyPair(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                                       CK_ATTRIBUTE_PTR pPublicKeyTemplate, CK_ULONG ulPublicKeyAttributeCount,
                                       CK_ATTRIBUTE_PTR pPrivateKeyTemplate, CK_ULONG ulPrivateKeyAttributeCount,
                                       CK_OBJECT_HANDLE_PTR phPublicKey, CK_OBJECT_HANDLE_PTR phPrivateKey) {
    return call(pfnC_GenerateKeyPair, hSession, pMechanism, pPublicKeyTemplate, ulPublicKeyAttributeCount,
                pPrivateKeyTemplate, ulPrivateKeyAttributeCount, phPublicKey, phPrivateKey);
}

ZUNPKI_API CK_RV p11_C_CreateObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                                    CK_OBJECT_HANDLE_PTR phObject) {
    return call(pfnC_CreateObject, hSession, pTemplate, ulCount, phObject);
}

ZUNPKI_API CK_RV p11_C_EncryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
    return call(pfnC_EncryptInit, hSession, pMechanism, hKey);
}

ZUNPKI_API CK_RV p11_C_Encrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                               CK_BYTE_PTR pEncryptedData, CK_ULONG_PTR pulEncryptedDataLen) {
    return callWithOutput(pfnC_Encrypt, pEncryptedData, pulEncryptedDataLen, boundAfter(ulDataLen), hSession, pData,
                          ulDataLen);
}

ZUNPKI_API CK_RV p11_C_EncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                                     CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen) {
    return callWithOutput(pfnC_EncryptUpdate, pEncryptedPart, pulEncryptedPartLen, boundAfter(ulPartLen), hSession,
                          pPart, ulPartLen);
}

ZUNPKI_API CK_RV p11_C_EncryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastEncryptedPart,
                                    CK_ULONG_PTR pulLastEncryptedPartLen) {
    return callWithOutput(pfnC_EncryptFinal, pLastEncryptedPart, pulLastEncryptedPartLen, P11_MAX_VALUE_LEN, hSession);
}

ZUNPKI_API CK_RV p11_C_DecryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
    return call(pfnC_DecryptInit, hSession, pMechanism, hKey);
}

ZUNPKI_API CK_RV p11_C_Decrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedData, CK_ULONG ulEncryptedDataLen,
                               CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen) {
    return callWithOutput(pfnC_Decrypt, pData, pulDataLen, boundAfter(ulEncryptedDataLen), hSession, pEncryptedData,
                          ulEncryptedDataLen);
}

ZUNPKI_API CK_RV p11_C_DecryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart,
                                     CK_ULONG ulEncryptedPartLen, CK_BYTE_PTR pPart, CK_ULONG_PTR pulPartLen) {
    return callWithOutput(pfnC_DecryptUpdate, pPart, pulPartLen, boundAfter(ulEncryptedPartLen), hSession,
                          pEncryptedPart, ulEncryptedPartLen);
}

ZUNPKI_API CK_RV p11_C_DecryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastPart, CK_ULONG_PTR pulLastPartLen) {
    return callWithOutput(pfnC_DecryptFinal, pLastPart, pulLastPartLen, P11_MAX_VALUE_LEN, hSession);
}

ZUNPKI_API CK_RV p11_C_DigestInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism) {
    return call(pfnC_DigestInit, hSession, pMechanism);
}

ZUNPKI_API CK_RV p11_C_Digest(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pDigest,
                              CK_ULONG_PTR pulDigestLen) {
    return callWithOutput(pfnC_Digest, pDigest, pulDigestLen, P11_MAX_VALUE_LEN, hSession, pData, ulDataLen);
}

ZUNPKI_API CK_RV p11_C_DigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
    return call(pfnC_DigestUpdate, hSession, pPart, ulPartLen);
}

ZUNPKI_API CK_RV p11_C_DigestKey(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hKey) {
    return call(pfnC_DigestKey, hSession, hKey);
}

ZUNPKI_API CK_RV p11_C_DigestFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen) {
    return callWithOutput(pfnC_DigestFinal, pDigest, pulDigestLen, P11_MAX_VALUE_LEN, hSession);
}

ZUNPKI_API CK_RV p11_C_SignInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
    return call(pfnC_SignInit, hSession, pMechanism, hKey);
}

ZUNPKI_API CK_RV p11_C_Sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
                            CK_ULONG_PTR pulSignatureLen) {
    return callWithOutput(pfnC_Sign, pSignature, pulSignatureLen, P11_MAX_VALUE_LEN, hSession, pData, ulDataLen);
}

ZUNPKI_API CK_RV p11_C_SignUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen) {
    return call(pfnC_SignUpdate, hSession, pPart, ulPartLen);
}

ZUNPKI_API CK_RV p11_C_SignFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen) {
    return callWithOutput(pfnC_SignFinal, pSignature, pulSignatureLen, P11_MAX_VALUE_LEN, hSession);
}

ZUNPKI_API CK_RV p11_C_VerifyInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey) {
    return call(pfnC_VerifyInit, hSession, pMechanism, hKey);
}

ZUNPKI_API CK_RV p11_C_Verify(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
                              CK_ULONG ulSignatureLen) {
    return call(pfnC_Verify, hSession, pData, ulDataLen, pSignature, ulSignatureLen);
}

ZUNPKI_API CK_RV p11_C_DestroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject) {
    return call(pfnC_DestroyObject, hSession, hObject);
}

}  // extern "C"

/*
 * The PKCS#11 (Cryptoki 2.x) module loader: one vendor module at a time is
 * opened by path, 37 of its C_* functions are bound by name into the
 * process-wide pointers pfnC_*, and each has a wrapper p11_C_* that calls it.
 *
 * Types and constants are the standard's, from p11-kit's <p11-kit/pkcs11.h>:
 * handles, slots and lengths are CK_ULONG (8 bytes on 64-bit Linux).
 *
 * A wrapper whose function is not bound (no module, a module that lacks the
 * name, after an unload or a failed load) answers CKR_CRYPTOKI_NOT_INITIALIZED
 * (0x190, 400) without calling anything. Otherwise it returns the module's
 * CK_RV unchanged, except where the module reports a count or length that
 * cannot be right (more than the caller's room, CK_UNAVAILABLE_INFORMATION
 * where a length is due, or above the caps below): the wrapper then answers
 * P11_BAD_ANSWER, and the reported length is set to 0 (to
 * CK_UNAVAILABLE_INFORMATION for an attribute), so a caller never sizes a
 * buffer from it.
 *
 * C_Initialize and C_Finalize are the caller's to call. Nothing here is
 * locked: loading or unloading while another thread calls a wrapper is not
 * supported.
 */
#ifndef ZUNPKI_PKCS11_H
#define ZUNPKI_PKCS11_H

#include <p11-kit/pkcs11.h>

#include <zunPKI/asn1/pki_export.h>

/* What a wrapper answers while its function is not bound. */
#define P11_NOT_BOUND CKR_CRYPTOKI_NOT_INITIALIZED
/* What a wrapper answers for a count or length the module cannot mean. */
#define P11_BAD_ANSWER CKR_DEVICE_ERROR
/* The largest attribute value, signature, digest or final output a module
 * may report: a certificate or key is far smaller, and callers allocate what
 * is reported. Encrypt and decrypt outputs may pass their input length by
 * at most this much. */
#define P11_MAX_VALUE_LEN ((CK_ULONG)1 << 20)
/* The most slots a module may report: callers allocate a list of that many. */
#define P11_MAX_SLOT_COUNT ((CK_ULONG)1024)

ZUNPKI_BEGIN_DECLS

/* The bound functions, in binding order; null while unbound. */
extern ZUNPKI_API CK_C_Initialize pfnC_Initialize;
extern ZUNPKI_API CK_C_Finalize pfnC_Finalize;
extern ZUNPKI_API CK_C_GetSlotList pfnC_GetSlotList;
extern ZUNPKI_API CK_C_GetTokenInfo pfnC_GetTokenInfo;
extern ZUNPKI_API CK_C_OpenSession pfnC_OpenSession;
extern ZUNPKI_API CK_C_CloseSession pfnC_CloseSession;
extern ZUNPKI_API CK_C_Login pfnC_Login;
extern ZUNPKI_API CK_C_Logout pfnC_Logout;
extern ZUNPKI_API CK_C_GetAttributeValue pfnC_GetAttributeValue;
extern ZUNPKI_API CK_C_FindObjectsInit pfnC_FindObjectsInit;
extern ZUNPKI_API CK_C_FindObjects pfnC_FindObjects;
extern ZUNPKI_API CK_C_FindObjectsFinal pfnC_FindObjectsFinal;
extern ZUNPKI_API CK_C_GetSlotInfo pfnC_GetSlotInfo;
extern ZUNPKI_API CK_C_GetFunctionList pfnC_GetFunctionList;
extern ZUNPKI_API CK_C_GetInfo pfnC_GetInfo;
extern ZUNPKI_API CK_C_GenerateKeyPair pfnC_GenerateKeyPair;
extern ZUNPKI_API CK_C_CreateObject pfnC_CreateObject;
extern ZUNPKI_API CK_C_EncryptInit pfnC_EncryptInit;
extern ZUNPKI_API CK_C_Encrypt pfnC_Encrypt;
extern ZUNPKI_API CK_C_EncryptUpdate pfnC_EncryptUpdate;
extern ZUNPKI_API CK_C_EncryptFinal pfnC_EncryptFinal;
extern ZUNPKI_API CK_C_DecryptInit pfnC_DecryptInit;
extern ZUNPKI_API CK_C_Decrypt pfnC_Decrypt;
extern ZUNPKI_API CK_C_DecryptUpdate pfnC_DecryptUpdate;
extern ZUNPKI_API CK_C_DecryptFinal pfnC_DecryptFinal;
extern ZUNPKI_API CK_C_DigestInit pfnC_DigestInit;
extern ZUNPKI_API CK_C_Digest pfnC_Digest;
extern ZUNPKI_API CK_C_DigestUpdate pfnC_DigestUpdate;
extern ZUNPKI_API CK_C_DigestKey pfnC_DigestKey;
extern ZUNPKI_API CK_C_DigestFinal pfnC_DigestFinal;
extern ZUNPKI_API CK_C_SignInit pfnC_SignInit;
extern ZUNPKI_API CK_C_Sign pfnC_Sign;
extern ZUNPKI_API CK_C_SignUpdate pfnC_SignUpdate;
extern ZUNPKI_API CK_C_SignFinal pfnC_SignFinal;
extern ZUNPKI_API CK_C_VerifyInit pfnC_VerifyInit;
extern ZUNPKI_API CK_C_Verify pfnC_Verify;
extern ZUNPKI_API CK_C_DestroyObject pfnC_DestroyObject;

/* ---- Loading ------------------------------------------------------------ */
/* Unloads the module loaded before (if any), then opens path (dlopen, lazy
 * binding) and binds every name; a name the module lacks stays unbound.
 * 0, or -1 when path is null or cannot be opened: nothing is loaded then and
 * every wrapper answers P11_NOT_BOUND. */
ZUNPKI_API int _load_pkcs11_module(const char* path);
/* Binds every pointer from the loaded module afresh (all null without one). */
ZUNPKI_API void _assign_function_list(void);
/* Closes the loaded module (dlclose) and unbinds every pointer. Call
 * C_Finalize first: the module's code goes away. */
ZUNPKI_API void _unload_pkcs11_module(void);

/* ---- Wrappers: the standard's arguments, passed on unchanged ------------ */
ZUNPKI_API CK_RV p11_C_Initialize(CK_VOID_PTR pInitArgs);
ZUNPKI_API CK_RV p11_C_Finalize(CK_VOID_PTR pReserved);
/* Any non-zero tokenPresent asks for slots with a token (the module gets
 * CK_TRUE). With a list, *pulCount is its room on entry. */
ZUNPKI_API CK_RV p11_C_GetSlotList(CK_ULONG tokenPresent, CK_SLOT_ID_PTR pSlotList, CK_ULONG_PTR pulCount);
ZUNPKI_API CK_RV p11_C_GetTokenInfo(CK_SLOT_ID slotID, CK_TOKEN_INFO_PTR pInfo);
ZUNPKI_API CK_RV p11_C_OpenSession(CK_SLOT_ID slotID, CK_FLAGS flags, CK_VOID_PTR pApplication, CK_NOTIFY Notify,
                                   CK_SESSION_HANDLE_PTR phSession);
ZUNPKI_API CK_RV p11_C_CloseSession(CK_SESSION_HANDLE hSession);
ZUNPKI_API CK_RV p11_C_Login(CK_SESSION_HANDLE hSession, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pPin,
                             CK_ULONG ulPinLen);
ZUNPKI_API CK_RV p11_C_Logout(CK_SESSION_HANDLE hSession);
/* Each entry's ulValueLen is the room of its pValue on entry. */
ZUNPKI_API CK_RV p11_C_GetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject,
                                         CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount);
ZUNPKI_API CK_RV p11_C_FindObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount);
ZUNPKI_API CK_RV p11_C_FindObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject, CK_ULONG ulMaxObjectCount,
                                   CK_ULONG_PTR pulObjectCount);
ZUNPKI_API CK_RV p11_C_FindObjectsFinal(CK_SESSION_HANDLE hSession);
ZUNPKI_API CK_RV p11_C_GetSlotInfo(CK_SLOT_ID slotID, CK_SLOT_INFO_PTR pInfo);
ZUNPKI_API CK_RV p11_C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR ppFunctionList);
ZUNPKI_API CK_RV p11_C_GetInfo(CK_INFO_PTR pInfo);
ZUNPKI_API CK_RV p11_C_GenerateKeyPair(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism,
                                       CK_ATTRIBUTE_PTR pPublicKeyTemplate, CK_ULONG ulPublicKeyAttributeCount,
                                       CK_ATTRIBUTE_PTR pPrivateKeyTemplate, CK_ULONG ulPrivateKeyAttributeCount,
                                       CK_OBJECT_HANDLE_PTR phPublicKey, CK_OBJECT_HANDLE_PTR phPrivateKey);
ZUNPKI_API CK_RV p11_C_CreateObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                                    CK_OBJECT_HANDLE_PTR phObject);
/* Output lengths (*pulEncryptedDataLen and the like) are the room of the
 * output on entry; with a null output the module reports the size needed. */
ZUNPKI_API CK_RV p11_C_EncryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey);
ZUNPKI_API CK_RV p11_C_Encrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen,
                               CK_BYTE_PTR pEncryptedData, CK_ULONG_PTR pulEncryptedDataLen);
ZUNPKI_API CK_RV p11_C_EncryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen,
                                     CK_BYTE_PTR pEncryptedPart, CK_ULONG_PTR pulEncryptedPartLen);
ZUNPKI_API CK_RV p11_C_EncryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastEncryptedPart,
                                    CK_ULONG_PTR pulLastEncryptedPartLen);
ZUNPKI_API CK_RV p11_C_DecryptInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey);
ZUNPKI_API CK_RV p11_C_Decrypt(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedData, CK_ULONG ulEncryptedDataLen,
                               CK_BYTE_PTR pData, CK_ULONG_PTR pulDataLen);
ZUNPKI_API CK_RV p11_C_DecryptUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pEncryptedPart,
                                     CK_ULONG ulEncryptedPartLen, CK_BYTE_PTR pPart, CK_ULONG_PTR pulPartLen);
ZUNPKI_API CK_RV p11_C_DecryptFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pLastPart, CK_ULONG_PTR pulLastPartLen);
ZUNPKI_API CK_RV p11_C_DigestInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism);
ZUNPKI_API CK_RV p11_C_Digest(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pDigest,
                              CK_ULONG_PTR pulDigestLen);
ZUNPKI_API CK_RV p11_C_DigestUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen);
ZUNPKI_API CK_RV p11_C_DigestKey(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hKey);
ZUNPKI_API CK_RV p11_C_DigestFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pDigest, CK_ULONG_PTR pulDigestLen);
ZUNPKI_API CK_RV p11_C_SignInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey);
ZUNPKI_API CK_RV p11_C_Sign(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
                            CK_ULONG_PTR pulSignatureLen);
ZUNPKI_API CK_RV p11_C_SignUpdate(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pPart, CK_ULONG ulPartLen);
ZUNPKI_API CK_RV p11_C_SignFinal(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pSignature, CK_ULONG_PTR pulSignatureLen);
ZUNPKI_API CK_RV p11_C_VerifyInit(CK_SESSION_HANDLE hSession, CK_MECHANISM_PTR pMechanism, CK_OBJECT_HANDLE hKey);
ZUNPKI_API CK_RV p11_C_Verify(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pData, CK_ULONG ulDataLen, CK_BYTE_PTR pSignature,
                              CK_ULONG ulSignatureLen);
ZUNPKI_API CK_RV p11_C_DestroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject);

ZUNPKI_END_DECLS

#endif

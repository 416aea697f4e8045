/*
 * Domain contexts: one record per web domain (or session id) the agent
 * works for, in one singly linked list whose head is g_CTX_Head (NULL while
 * there is none). A context holds what the session layer negotiated for its
 * domain and, per non-file medium (memory, HSM, smart card, USB token,
 * phone), the certificates and keys that medium handed over.
 *
 * Every pointer of a record owns a buffer of the library, one byte longer
 * than its length and zero-terminated. Releasing a context or a node zeroes
 * every buffer before freeing it. Functions that change a list take the
 * address of its head, so the first entry can go too.
 *
 * Domains and pseudo paths match exactly: the same length, letters compared
 * without case.
 */
#ifndef ZEPHALTPAVIX_CONTEXT_H
#define ZEPHALTPAVIX_CONTEXT_H

#include <zephaltpavix/store_export.h>

/* One certificate of a non-file medium, named by its pseudo path
 * ("{domain}/{MEDIUM}/{subject}/{hex serial}"). */
typedef struct CertsInfo {
    int reserved; /* always 0 */
    char* path;
    int pathLen;
    unsigned char* cert;
    int certLen;
    unsigned char* key; /* the private key as the medium holds it */
    int keyLen;
    unsigned char* extra1;
    int extra1Len;
    unsigned char* extra2;
    int extra2Len;
    struct CertsInfo* next;
} CertsInfo;

typedef struct CTX {
    char* domain; /* the key of the list */
    int domainLen;
    unsigned char* premaster; /* 64 random bytes of the session */
    int premasterLen;
    unsigned char* sessionKey;
    int sessionKeyLen;
    unsigned char* iv;
    int ivLen;
    unsigned char* clientKey;
    int clientKeyLen;
    unsigned char* clientIv;
    int clientIvLen;
    unsigned char* serverKey;
    int serverKeyLen;
    unsigned char* serverIv;
    int serverIvLen;
    unsigned char* serverCert;
    int serverCertLen;
    char* FilterInfo; /* the domain's certificate filter text */
    int FilterInfoLen;
    char* sym; /* algorithm names: cipher, key exchange and its hash, signature and its hash */
    char* kx;
    char* kxh;
    char* sg;
    char* sgh;
    int extendedMode; /* set by the session layer's data-string builders */
    char* imagePath;
    int imagePathLen;
    char* phoneValue;
    int phoneValueLen;
    char* phoneUrl;
    int phoneUrlLen;
    char* phoneVersion;
    int phoneVersionLen;
    char* pHSM_Module;
    int pHSM_ModuleLen;
    CertsInfo* memoryCerts; /* storage type 6 */
    CertsInfo* hsmCerts;    /* 12 */
    CertsInfo* scardCerts;  /* 2 */
    CertsInfo* usbtCerts;   /* 3 */
    CertsInfo* phoneCerts;  /* 8 */
    struct CTX* next;
} CTX;

/* The key-exchange holder: the encryption certificate's key for the
 * session data, kept between the steps of one exchange. */
typedef struct {
    int storageType;
    unsigned char* random; /* R1 */
    int randomLen;
    unsigned char* kmKey;
    int kmKeyLen;
    char* password;
    int passwordLen;
    char* pin;
    int pinLen;
} VPL_Exchg_Info;

/* The pending private-PKI request, kept between request and insert. */
typedef struct {
    int storageType;
    char* drive;
    int driveLen;
    char* pin;
    int pinLen;
    char* password;
    int passwordLen;
    unsigned char* privateKey;
    int privateKeyLen;
} VPL_PKCS10_Certs;

VPL_BEGIN_DECLS

VPL_API extern CTX* g_CTX_Head;

/* A new zeroed context, or NULL when memory runs out. */
VPL_API CTX* VPL_Init_CTX(void);
/* Appends ctx at the tail of *head (ctx becomes the head of an empty list):
 * 0, or -1 when head or ctx is NULL. */
VPL_API int VPL_Insert_CTX(CTX** head, CTX* ctx);
/* The context of domain, or NULL. */
VPL_API CTX* VPL_Find_CTX(CTX* head, const char* domain);
/* Unlinks and releases the context of domain, when there is one. */
VPL_API void VPL_Find_CTX_Delete(CTX** head, const char* domain);
/* Releases every context and empties the list. */
VPL_API void VPL_Delete_ALL_CTX(CTX** head);
/* Releases the domain's cached list of a medium (2, 3, 6, 8 or 12; other
 * types change nothing): 0; 1052011 for no domain or a type above 12;
 * 1052039 for an unknown domain. */
VPL_API int VPL_CTX_Certs_Delete(const char* domain, int domainLen, int storageType);
/* A copy of the domain's HSM module name: 0; 1052039 no domain given,
 * 1052047 unknown domain, 1052062 no module, 1052007 no memory. */
VPL_API int VPL_Get_Domain_HSMModule(const char* domain, char** module, int* moduleLen);

VPL_API CertsInfo* VPL_Init_CertsInfo(void);
VPL_API int VPL_Insert_CertsInfo(CertsInfo** head, CertsInfo* node);
VPL_API CertsInfo* VPL_Find_CertsInfo(CertsInfo* head, const char* path);
VPL_API void VPL_Find_CertsInfo_Delete(CertsInfo** head, const char* path);
VPL_API void VPL_Delete_ALL_CertsInfo(CertsInfo** head);

/* Make a zeroed holder (replacing one held before): 0, or 1052007; and
 * release it (its buffers zeroed). */
VPL_API int VPL_Init_Exchg_Cert(void);
VPL_API void VPL_Delete_Exchg_Cert(void);
VPL_API int VPL_Init_PKCS10_Cert(void);
VPL_API void VPL_Delete_PKCS10_Cert(void);

VPL_END_DECLS

#endif

/*
 * Certificate records, lists, filters, store walks and the certificate-list
 * record string.
 *
 * A listing walks the stores of a medium into a CertInfoList, one record
 * per certificate, hides what the filter text excludes and writes one
 * record per visible certificate:
 *   subject^{s}&issuer^{s}&oidtype^{s}&expiredata^{s}&certpath^{p}&keypath^{s}&expireflag^{s}&certtype^{s}|
 * {s} is the value URL-encoded (VPL_DataEncode type 1), {p} the path in
 * Base64, then URL-encoded (type 2); texts are EUC-KR. expiredata is the end
 * of validity as YYYY-MM-DD in the host's local time; expireflag 0 valid,
 * 1 expired or not yet valid, 2 valid and within 30 days of its end;
 * certtype 1 public, 2 private, 3 government. A CA record repeats its
 * certificate path as keypath.
 *
 * Records in lists hold their texts whole (paths, names, filter values of
 * any length). The exported CertInfo keeps its 2828-byte layout for the
 * functions that take one; where a text does not fit its 256-byte field the
 * function refuses with 1051038 rather than cut it.
 *
 * Filter text: tokens joined by "&", each a keyword (any case) and its
 * URL-encoded value: "oid=", "issuer=", "subject=", "serial=" take prefixes
 * separated by "|" (a certificate stays when one of them begins its policy
 * OID, issuer CN, subject or hex serial, letters without case; the kinds
 * given must all match; the last token of a kind counts); "expire=" with a
 * nonzero number hides expired and not yet valid certificates; "crl=" is
 * kept and used by nothing. Another keyword is 1052026 for its token, which
 * is skipped.
 *
 * Stores walked: user certificates under {base}/NPKI and
 * {base}/PPKI/Veridan as {CA}/{group}/{folder}/...signCert.der with
 * ...signPri.key beside it; government ones under {base}/GPKI/Certificate
 * as {class}/..._sig.cer with ..._sig.key; CA certificates as {CA}/{name}.der.
 * A certificate is paired with the one key file whose name is its own with
 * the ending replaced (signCert.der: signPri.key, kmCert.der: kmPri.key,
 * _sig.cer: _sig.key), compared whole, letters without case; one without
 * its key is not listed. Under NPKI only the CA folders of kind 1 are
 * walked, under PPKI/Veridan every one.
 *
 * CA kinds: the CA folders of the public store ("CROSSCERT", "KICA", "KISA",
 * "NCASIGN", "SIGNKOREA", "TRADESIGN", "YESSIGN", "ZUNPASS") are kind 1,
 * "VERIDAN" and "VERIDAN_CA" kind 3, and one extra folder name may be
 * registered with a kind of its own (the agent registers ".veridanCACerts"
 * with 1). Names compare whole, letters without case.
 */
#ifndef ZEPHALTPAVIX_CERTLIST_H
#define ZEPHALTPAVIX_CERTLIST_H

#include <zephaltpavix/store_export.h>
#include <zunCore/x509_info.h>

/* Room of each text of a CertInfo, its terminating zero included. */
#define VPL_CERTINFO_TEXT 256

/* One certificate as the selection window shows it. Texts are EUC-KR and
 * zero-terminated. */
typedef struct {
    char issuerName[VPL_CERTINFO_TEXT];   /* the issuing CA's display name */
    char issuerCN[VPL_CERTINFO_TEXT];     /* the issuer DN's CN */
    char subject[VPL_CERTINFO_TEXT];      /* the subject DN's CN, else its OU */
    char serial[VPL_CERTINFO_TEXT];       /* hex, as the information record gives it */
    char policyOid[VPL_CERTINFO_TEXT];    /* the first policy identifier; empty without */
    char typeName[VPL_CERTINFO_TEXT];     /* the certificate type's Korean name */
    char validFrom[VPL_CERTINFO_TEXT];    /* YYYY-MM-DD, local time */
    char validTo[VPL_CERTINFO_TEXT];      /* YYYY-MM-DD, local time */
    char certPath[VPL_CERTINFO_TEXT];     /* file or pseudo path */
    char keyPath[VPL_CERTINFO_TEXT];      /* the key file; a CA's certificate path */
    char organisation[VPL_CERTINFO_TEXT]; /* the subject's first O= value */
    int expireFlag;                       /* 0 valid, 1 expired or not yet valid, 2 renewal due */
    int hidden;                           /* 1 when a filter excludes it */
    int storeClass;                       /* 1 public, 2 private, 3 government */
} CertInfo;

/* The record's layout is an interface: 2828 bytes on every build. */
#if defined(__cplusplus)
static_assert(sizeof(CertInfo) == 11 * VPL_CERTINFO_TEXT + 3 * 4, "CertInfo is 2828 bytes");
#else
_Static_assert(sizeof(CertInfo) == 11 * VPL_CERTINFO_TEXT + 3 * 4, "CertInfo is 2828 bytes");
#endif

/* A list of records: a head made by VPL_InitList, entries in insertion
 * order. Opaque; the head is released with free() after VPL_DeleteAllList. */
typedef struct CertInfoList CertInfoList;

/* A list of filter values: an empty head, then the values in order. */
typedef struct FilterNode {
    char* value;  /* whole, with a zero byte after it; NULL in the head */
    int valueLen; /* a decoded value may hold zero bytes: it then matches nothing */
    struct FilterNode* next;
} FilterNode;

/* A parsed filter text. The caller allocates it zeroed. */
typedef struct {
    FilterNode* oids; /* lists, or NULL when the text has no token of the kind */
    FilterNode* subjects;
    FilterNode* issuers;
    FilterNode* serials;
    int expire; /* 1 hides certificates whose expireFlag is 1 */
    int crl;    /* kept, used by nothing */
} FilterInfo;

VPL_BEGIN_DECLS

/* ---- CA kinds ------------------------------------------------------------- */

/* Registers caName (held whole) with caKind, replacing the name registered
 * before: 0; 1052011 for a NULL or empty name (nothing changes); 1052007
 * when memory runs out. */
VPL_API int VPL_ADD_User_CertType(const char* caName, int caKind);
/* The kind of a CA folder name: 1, 3, the registered kind, or -1. */
VPL_API int VPL_Delete_CertType(const char* caName);

/* ---- Lists ---------------------------------------------------------------- */

/* A new empty list (the argument plays no part), or NULL. */
VPL_API CertInfoList* VPL_InitList(CertInfoList* unused);
/* Appends a copy of info: 0; 1051022 for NULL arguments or no memory. */
VPL_API int VPL_InsertList(CertInfoList* list, const CertInfo* info);
/* Releases every entry; the head stays (free() it). */
VPL_API void VPL_DeleteAllList(CertInfoList* list);
/* The number of entries, or with visibleOnly nonzero of those not hidden;
 * 0 for NULL. */
VPL_API int VPL_GetListCount(CertInfoList* list, int visibleOnly);
/* A copy of entry index (from 0) into info: 0; -1 past the end or for NULL
 * arguments; 1051038 when one of its texts does not fit its field. */
VPL_API int VPL_GetListEntry(CertInfoList* list, int index, CertInfo* info);

/* ---- Filters -------------------------------------------------------------- */

/* A new empty head (the argument plays no part), or NULL. */
VPL_API FilterNode* VPL_Init_FilterNode(FilterNode* unused);
/* Appends a copy of value: 0, or -1 for NULL arguments or no memory. */
VPL_API int VPL_Insert_FilterNode(FilterNode* head, const char* value);
/* 0 when a value of the list begins text (letters without case), else -1. */
VPL_API int VPL_Find_FilterNode(FilterNode* head, const char* text);
/* Releases the values after the head. */
VPL_API void VPL_Delete_ALL_FilterNode(FilterNode* head);
/* Releases the four lists with their heads (the pointers become NULL). */
VPL_API void VPL_Delete_FilterList(FilterInfo* filter);
/* head = text before the first occurrence of delim's first character (all
 * of it without one), rest = the text after it (empty without one); new
 * buffers, VPL_Free. 0, or -1 for NULL arguments or no memory. */
VPL_API int VPL_strParsing(const char* text, const char* delim, char** head, char** rest);
/* The kind of a token (1 oid, 2 issuer, 3 subject, 4 serial, 5 expire,
 * 6 crl) and a new copy of its value, with "|" appended for kinds 1-4 when
 * it does not end in one (VPL_Free): the token is not changed. -1 for any
 * other token or NULL arguments. */
VPL_API int VPL_FilterType(const char* token, char** value, int* valueLen);
/* Adds one token to the filter: 0; 1052026 for a token of no kind; the
 * decoder's code; 1052011 for NULL arguments; 1052007 no memory. */
VPL_API int VPL_Make_FilterList(FilterInfo* filter, const char* token);
/* Parses len bytes of text (up to a zero byte) token by token: the result
 * of the last token (a failed token does not stop the others); 1052011 for
 * NULL arguments. */
VPL_API int VPL_FilterData_Parsing(FilterInfo* filter, const char* text, int len);
/* Hides the entries the filter excludes; nothing is ever shown again. */
VPL_API void VPL_FilterInfo_Check(FilterInfo* filter, CertInfoList* list);

/* ---- Records -------------------------------------------------------------- */

/* Fills info (zeroed first) from DER or PEM certificate bytes; *typeCode
 * (may be NULL) gets the certificate class (VPL_Get_CertType). 0; 1051024
 * when the certificate does not decode; -1 when it cannot be classified;
 * 1051038 when a text does not fit its field; the time conversion's code
 * when a date cannot be shown (the rest is filled). */
VPL_API int VPL_Cert_Make_CertInfo(const void* cert, int certLen, CertInfo* info, int* typeCode);
/* The same from a file, whose path becomes certPath: -1 when it cannot be
 * read. */
VPL_API int VPL_CertPath_Make_CertInfo(const char* certPath, CertInfo* info, int* typeCode);
/* The subject's CN (else its OU), the issuer's CN, into out
 * (VPL_CERTINFO_TEXT bytes): out, or NULL with the last error set (1051005
 * for NULL arguments, 1051038 for a name that does not fit, 1051006 when
 * the DN has none). */
VPL_API char* VPL_X509GetSubjectDN(char* out, X509_Info* info);
VPL_API char* VPL_GetCertIssuer(char* out, X509_Info* info);
/* The display name of an issuer CN into displayName (VPL_CERTINFO_TEXT
 * bytes; the CN itself when no table row knows it): 0; 1051038 when it does
 * not fit; 1052011 for NULL arguments. */
VPL_API int VPL_ConvertIssuerCN(const char* issuerCN, char* displayName);
/* The Korean type name of a policy OID into typeName (VPL_CERTINFO_TEXT
 * bytes): 0, or 1 when there is none (typeName empty). */
VPL_API int VPL_GetCertTypeString(const char* oid, char* typeName);
/* The same with the row's code (a letter for the CA family, its row number:
 * "a1", "d4", "c10"; empty for an OID no row lists) in code. */
VPL_API int VPL_GetCertType(const char* oid, char code[4], char* typeName);
/* 0 when the path ends in "NPKI" (letters without case) and is longer;
 * -1 otherwise; 1052011 for NULL. */
VPL_API int VPL_Check_NPKIStringofPath(const char* path);
/* 0 valid, 1 expired or not yet valid, 2 within 30 days of its end; -1 for
 * NULL. */
VPL_API int VPL_IsUpdateCert(X509_Info* info);

/* ---- Walks ---------------------------------------------------------------- *
 * Add the records of one store under base (baseLen bytes) to list: the
 * number of entries of the list afterwards; 0 when base does not open;
 * -1 for an entry that cannot be examined or NULL arguments; 1051000 for a
 * folder below base that does not open; 1052007 no memory. */
VPL_API int VPL_Get_CertListInfo(CertInfoList* list, const char* base, int baseLen);
VPL_API int VPL_Get_GPKI_CertListInfo(CertInfoList* list, const char* base, int baseLen);
/* mode 1 keeps the self-issued (subject CN equal to the issuer CN), 2 the
 * others, any other mode all. */
VPL_API int VPL_Get_Root_CA_CertListInfo(int mode, CertInfoList* list, const char* base, int baseLen);

/* ---- Listings ------------------------------------------------------------- *
 * Results are the number of visible records (0: *list NULL) or a code
 * (-1, or 1051000 and above). *list is released with VPL_Free and its
 * length. */

/* The agent's entry: the domain's filter text joined to the caller's by
 * "&", the domain's cached list of the type released; storage types 0 home,
 * 1 drive, 5 public root CAs, 9 other public CAs, 10 private CAs. 1052008
 * for a PIN whose length is not pinLen; 1052027 for type 1 without a drive
 * or a drive whose length is not driveLen; -1 for the domain without
 * context, or another type. */
VPL_API int VPL_Get_Domain_CertList(int storageType, const char* drive, int driveLen, const char* pin, int pinLen,
                                    const char* domain, int domainLen, const char* filter, int filterLen, char** list,
                                    int* listLen);
/* The same without a domain. */
VPL_API int VPL_Get_CertList(unsigned storageType, const char* drive, int driveLen, const char* pin, int pinLen,
                             const char* filter, int filterLen, char** list, int* listLen);
/* One list per medium; filter may be NULL. */
VPL_API int VPL_Get_HDDCertList(const char* filter, char** list, int* listLen);
VPL_API int VPL_Get_FDDCertList(const char* filter, const char* drive, char** list, int* listLen);
VPL_API int VPL_Get_Public_CertList(const char* filter, const char* drive, int mode, char** list, int* listLen);
VPL_API int VPL_Get_Private_CertList(const char* filter, const char* drive, int mode, char** list, int* listLen);
/* The record string of the visible entries into *out (new, VPL_Free with
 * its string length); count <= 0 writes nothing. 0; 1052007 no memory;
 * 1052011 for NULL arguments. */
VPL_API int VPL_Make_SendData(CertInfoList* list, char** out, int count);
/* Adds a certificate and key held in memory to list and to the domain's
 * memory cache under "{domain}/MEMORY/{subject DN}/{hex serial}": 0;
 * 1052039 for a domain without context; the record's code; 1052007. */
VPL_API int VPL_MEMORY_ListInfo(const char* domain, int domainLen, const void* cert, int certLen, const void* key,
                                int keyLen, CertInfoList* list);
/* Lists the signing certificates of a PKCS#12 file as memory entries of
 * the domain (caching them): the count or a code (1052011 no domain,
 * 1052009 path, 1052013 password, 1052030 unreadable file, 1052035 a file
 * that does not open with the password). */
VPL_API int VPL_Cert_Find(const char* domain, int domainLen, const char* pfxPath, int pfxPathLen, const char* password,
                          int passwordLen, char** list, int* listLen);

VPL_END_DECLS

#endif

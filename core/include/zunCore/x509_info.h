/*
 * The X.509 information record: the decoded, text-oriented view of one
 * certificate that callers read field by field, its getters, and the item
 * split its multi-valued texts are read with.
 *
 * Results are 0 or a CORE_ERROR_CODE. Texts and byte fields are separate
 * allocations, NUL-terminated; what the getters hand out is a fresh copy
 * released with VCL_Free, a whole record with VCL_X509_Free_X509_Info.
 *
 * Text forms:
 * - serial: decimal; hexadecimal upper case, two digits a byte, with a
 *   leading 00 when the top bit of the first byte is set;
 * - algorithm: dotted identifier, separator, short name in lower case,
 *   separator, long name of its table row ("0.0", "undef", "undefined" for an
 *   identifier not in the table);
 * - DN: the RDNs last to first, each attribute as its lower-case short name,
 *   "=" and the value (UTF8String and BMPString in EUC-KR, other strings as
 *   stored, no escaping), joined by ","; at most 2047 characters;
 * - time: YYYYMMDDhhmmss in GMT, whatever zone or offset the certificate
 *   wrote; seconds it left out read "00" (notBefore) or "59" (notAfter).
 */
#ifndef ZUNCORE_X509_INFO_H
#define ZUNCORE_X509_INFO_H

#include <stddef.h>

#include <zunCore/core_export.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509v3.h>

/* The record. Callers read the fields directly: their order and types are
 * fixed (checked below). Fields 22-31 are NULL when the certificate lacks
 * the extension, it does not decode or its text passes its limit (8191
 * characters; 1023 for policyIds; a subjectAltName URI over 127); of an
 * extension present twice the last one's text stays. */
typedef struct {
    int format;                /* always 1 */
    char separator;            /* joins the items of multi-valued texts; '\n' is stored as '|' */
    int version;               /* 0 v1, 1 v2, 2 v3 */
    char* serialDec;           /* serial in decimal */
    char* serialHex;           /* serial in hexadecimal */
    char* signatureAlg;        /* algorithm text of the signature algorithm */
    char* issuerDN;            /* DN text */
    char* validityFrom;        /* time text of notBefore */
    char* validityTo;          /* time text of notAfter */
    char* subjectDN;           /* DN text */
    unsigned char* subjectDER; /* DER of the subject name */
    int subjectDERLen;         /* its length */
    char* pubkeyAlg;           /* algorithm text of the subject key */
    unsigned char* pubkey;     /* subjectPublicKey contents, without the unused-bits octet */
    int pubkeyLen;             /* its length */
    int keyBits;               /* 8 x modulusLen; 0 without modulus */
    unsigned char* modulus;    /* RSA n, or KCDSA p, unsigned big-endian; NULL for other keys */
    int modulusLen;            /* its byte count; 0 when absent */
    unsigned char* pubkeyDER;  /* the SubjectPublicKeyInfo's DER; its length is its header's */
    char* reserved1;           /* NULL */
    char* reserved2;           /* NULL */
    char* authorityKeyId;      /* "KeyID=" hex, "|Serial=" hex, then the issuer's DN text */
    char* subjectKeyId;        /* hex joined by ':' */
    char* subjectAltName;      /* an item per name: "URI", sep, the URI; the identity data's text */
    char* crlDistPoints;       /* "DP=" URI, "RELATIVE=", "REASON=" bits, "CRLISSUER=" URI items */
    char* authorityInfoAccess; /* access method name "=" URI, per description */
    char* authorityInfoURI;    /* the URI of the last description that has one */
    char* keyUsage;            /* the key-usage bytes in hex joined by ':' ("C0") */
    char* policies;            /* "PI=" oid with ",CPS=", ",USER_NOTICE=", ",O=", ",Text=" */
    char* policyIds;           /* the policy identifiers one after another */
    char* extKeyUsage;         /* the purposes' dotted texts */
    unsigned char* signature;  /* the signature value */
    int signatureLen;          /* its length */
} X509_Info;

/* The layout is an interface: every field at its offset, on 32- and 64-bit
 * builds alike. */
#if defined(__cplusplus)
#define ZUNCORE_X509_INFO_ASSERT(e) static_assert(e, #e)
#else
#define ZUNCORE_X509_INFO_ASSERT(e) _Static_assert(e, #e)
#endif
#define ZUNCORE_X509_INFO_AT(field, lp64, ilp32) \
    ZUNCORE_X509_INFO_ASSERT(offsetof(X509_Info, field) == (sizeof(void*) == 8 ? (lp64) : (ilp32)))
ZUNCORE_X509_INFO_AT(format, 0, 0);
ZUNCORE_X509_INFO_AT(separator, 4, 4);
ZUNCORE_X509_INFO_AT(version, 8, 8);
ZUNCORE_X509_INFO_AT(serialDec, 16, 12);
ZUNCORE_X509_INFO_AT(serialHex, 24, 16);
ZUNCORE_X509_INFO_AT(signatureAlg, 32, 20);
ZUNCORE_X509_INFO_AT(issuerDN, 40, 24);
ZUNCORE_X509_INFO_AT(validityFrom, 48, 28);
ZUNCORE_X509_INFO_AT(validityTo, 56, 32);
ZUNCORE_X509_INFO_AT(subjectDN, 64, 36);
ZUNCORE_X509_INFO_AT(subjectDER, 72, 40);
ZUNCORE_X509_INFO_AT(subjectDERLen, 80, 44);
ZUNCORE_X509_INFO_AT(pubkeyAlg, 88, 48);
ZUNCORE_X509_INFO_AT(pubkey, 96, 52);
ZUNCORE_X509_INFO_AT(pubkeyLen, 104, 56);
ZUNCORE_X509_INFO_AT(keyBits, 108, 60);
ZUNCORE_X509_INFO_AT(modulus, 112, 64);
ZUNCORE_X509_INFO_AT(modulusLen, 120, 68);
ZUNCORE_X509_INFO_AT(pubkeyDER, 128, 72);
ZUNCORE_X509_INFO_AT(reserved1, 136, 76);
ZUNCORE_X509_INFO_AT(reserved2, 144, 80);
ZUNCORE_X509_INFO_AT(authorityKeyId, 152, 84);
ZUNCORE_X509_INFO_AT(subjectKeyId, 160, 88);
ZUNCORE_X509_INFO_AT(subjectAltName, 168, 92);
ZUNCORE_X509_INFO_AT(crlDistPoints, 176, 96);
ZUNCORE_X509_INFO_AT(authorityInfoAccess, 184, 100);
ZUNCORE_X509_INFO_AT(authorityInfoURI, 192, 104);
ZUNCORE_X509_INFO_AT(keyUsage, 200, 108);
ZUNCORE_X509_INFO_AT(policies, 208, 112);
ZUNCORE_X509_INFO_AT(policyIds, 216, 116);
ZUNCORE_X509_INFO_AT(extKeyUsage, 224, 120);
ZUNCORE_X509_INFO_AT(signature, 232, 124);
ZUNCORE_X509_INFO_AT(signatureLen, 240, 128);
ZUNCORE_X509_INFO_ASSERT(sizeof(X509_Info) == (sizeof(void*) == 8 ? 248 : 132));
#undef ZUNCORE_X509_INFO_AT
#undef ZUNCORE_X509_INFO_ASSERT

/* Limits of the texts. */
#define VCL_X509_DN_MAX 2047         /* a DN text; longer: reason 0x03 */
#define VCL_X509_EXT_TEXT_MAX 8191   /* an extension's text; longer: the field stays NULL */
#define VCL_X509_POLICY_IDS_MAX 1023 /* policyIds; longer: NULL */
#define VCL_X509_URI_MAX 127         /* a subjectAltName URI; longer: subjectAltName NULL */
#define VCL_X509_ITEM_TEXT_MAX 2047  /* a text the item split takes */
#define VCL_X509_FIELD_NAME_MAX 30   /* a field name of VCL_X509_Info_Get_DN_Field */

VCL_BEGIN_DECLS

/* ---- Building and releasing ----------------------------------------------
 * A record of a DER or PEM certificate (PEM as VCL_X509_conv_cert2x509
 * reads it) with the given separator; on failure nothing is handed out.
 * 0xa9030002 cert NULL or len <= 0, 0xa9030061 info NULL; otherwise the
 * code of the step that failed (decoding 0xa951..., a DN over its limit
 * 0xa9580003, a time that does not read 0xa9570003, a subjectAltName whose
 * names do not decode 0xa959009a). */
VCL_API int VCL_X509_Init_X509_Info(const void* cert, int len, int separator, X509_Info** info);
/* A zeroed record with format 1 and the separator. 0xa9530061, 0xa9530001. */
VCL_API int VCL_X509_new_x509_info(X509_Info** info, int separator);
VCL_API int VCL_X509_set_x509_info(X509_Info** info, int separator);
/* Fills a record from a decoded certificate, stopping at the first failure
 * (what was filled stays). 0xa9540002 cert NULL, 0xa9540061 info NULL,
 * 0xa9540062 no public key, 0xa9540001, 0xa962006e; the text makers' codes. */
VCL_API int VCL_X509_conv_x509_to_x509info(const X509_CERT* cert, X509_Info* info);
/* VCL_X509_mk_extstr over every extension in order; its first failure.
 * 0xa95a0002 list NULL, 0xa95a0061 info NULL. */
VCL_API int VCL_X509_parse_extensions(const X509_EXTENSIONS* list, X509_Info* info);
/* The text of one extension into its field (a field it held is replaced).
 * 0xa9590002 extension NULL or without identifier, 0xa9590061 info NULL,
 * 0xa959009a the subjectAltName names do not decode, 0xa9590001. */
VCL_API int VCL_X509_mk_extstr(const X509_EXTENSION* ext, X509_Info* info);
/* Releases every text and byte field and the record; NULL is ignored. */
VCL_API void VCL_X509_Free_X509_Info(X509_Info* info);

/* ---- Getters: a copy of the field; 0 and *out untouched when the field is
 * empty. Codes: reason 0x02 record NULL, 0x61 out NULL, 0x01 short memory,
 * in categories 0xa90a (issuer) 0xa90b (subject) 0xa90c (serial) 0xa90d
 * 0xa90e (validity) 0xa90f (key) 0xa910 (signature) 0xa911 0xa912 (algorithm
 * items). */
VCL_API int VCL_X509_Info_Get_IssuerDN(const X509_Info* info, char** text);
VCL_API int VCL_X509_Info_Get_SubjectDN(const X509_Info* info, char** text);
/* subjectDERLen bytes. */
VCL_API int VCL_X509_Info_Get_SubjectDN_DER(const X509_Info* info, unsigned char** der);
/* type 1 decimal, 2 hexadecimal; another type or an empty field 0xa90c006b. */
VCL_API int VCL_X509_Info_Get_Serial(const X509_Info* info, char** text, int type);
VCL_API int VCL_X509_Info_Get_ValidityFrom(const X509_Info* info, char** text);
VCL_API int VCL_X509_Info_Get_ValidityTo(const X509_Info* info, char** text);
VCL_API int VCL_X509_Info_Get_Pubkey(const X509_Info* info, unsigned char** bytes, int* len);
VCL_API int VCL_X509_Info_Get_Signature(const X509_Info* info, unsigned char** bytes, int* len);
/* Item part (0 dotted identifier, 1 short name, 2 long name) of the
 * algorithm text; another part 0xa911006c / 0xa912006c; the item split's
 * codes. */
VCL_API int VCL_X509_Info_Get_PubkeyAlg(const X509_Info* info, char** text, int part);
VCL_API int VCL_X509_Info_Get_SignatureAlg(const X509_Info* info, char** text, int part);

/* The value of the first component of a DN text whose name (at most 30
 * characters, any case) is field: the rest of the item after "field=",
 * leading blanks of the item skipped. 0 with *value NULL when there is none.
 * 0xa9190002 a text NULL, 0xa9190061 value NULL, 0xa9190003 a name over 30
 * characters, 0xa9190001; the item split's codes. */
VCL_API int VCL_X509_Info_Get_DN_Field(const char* dn, const char* field, char** value);

/* The n-th (from 0) item of crlDistPoints that begins with "DP=" (any case),
 * without those three characters; 0 with *uri NULL when there is none.
 * 0xa9050002 info NULL or n < 0, 0xa9050061 uri NULL, 0xa9050001; the item
 * split's codes. */
VCL_API int VCL_X509_Info_Get_CRLdp(const X509_Info* info, char** uri);
VCL_API int VCL_X509_Info_Get_CRLdp_Index(const X509_Info* info, char** uri, int n);
/* How many such items; 0 for NULL. Counting stops at an item split that fails. */
VCL_API int VCL_X509_Info_Get_CRLdp_Count(const X509_Info* info);

/* ---- The item split --------------------------------------------------------
 * Occurrences of ch followed by another character, plus 1 for a text that is
 * not empty; 0 for NULL. */
VCL_API int VCL_X509_get_field_cnt(const char* text, int ch);
/* The index-th (from 0) item of text split at runs of ch (empty items
 * vanish), in a new text; 0 with *item NULL when there are fewer. 0xa95f0002
 * text NULL, 0xa95f0061 item NULL, 0xa95f0003 a text over 2047 characters,
 * 0xa95f0001. */
VCL_API int VCL_X509_parse_str_at(const char* text, int ch, int index, char** item);

VCL_END_DECLS

#endif

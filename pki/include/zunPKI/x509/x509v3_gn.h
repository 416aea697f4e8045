/*
 * General names (RFC 5280 4.2.1.6): one name of the nine kinds, and the
 * GeneralNames list that alternative names, distribution points, access
 * locations and name-constraint subtrees hold.
 *
 * Decoders take the tagged element itself (a GeneralName) or any constructed
 * node (a GeneralNames list, also under an implicit tag). Encoders write
 * RFC 5280's forms. Results: 0, or 0x47 << 24 | function << 16 | reason.
 */
#ifndef ZUNPKI_X509V3_GN_H
#define ZUNPKI_X509V3_GN_H

#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/pki_error.h>
#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/x509/x509_name.h>

/* GENERAL_NAME.type: the CHOICE's tag number. */
#define GENERAL_NAME_OTHER_NAME 0    /* OTHERNAME */
#define GENERAL_NAME_RFC822 1        /* IA5_STRING */
#define GENERAL_NAME_DNS 2           /* IA5_STRING */
#define GENERAL_NAME_X400 3          /* ASN1_STRING: the [3] element's identifier and contents (the ORAddress) */
#define GENERAL_NAME_DIRECTORY 4     /* X509_NAME */
#define GENERAL_NAME_EDI_PARTY 5     /* EDIPARTYNAME */
#define GENERAL_NAME_URI 6           /* IA5_STRING */
#define GENERAL_NAME_IP 7            /* OCTET_STRING: 4 or 16 bytes, 8 or 32 with a mask in name constraints */
#define GENERAL_NAME_REGISTERED_ID 8 /* OBJECT_IDENTIFIER */

typedef struct {
    OBJECT_IDENTIFIER* typeId;
    /* type: the [0] wrapper's identifier as read (0xA0); data: its contents,
     * the whole TLV of the inner value. Written as [0] constructed. */
    ASN1_STRING* value;
} OTHERNAME;

typedef struct {
    /* Each keeps the identifier of its [0] / [1] field and that field's
     * contents (the DirectoryString's TLV in the usual explicit form). A string
     * of a universal type set by a caller is written inside [0] / [1]. */
    ASN1_STRING* nameAssigner; /* optional */
    ASN1_STRING* partyName;
} EDIPARTYNAME;

typedef struct {
    int type;    /* GENERAL_NAME_* */
    void* value; /* by type, see above; null for a tag number outside 0-8 */
} GENERAL_NAME;

/* A STACK of GENERAL_NAME in encoding order; the list owns its names. */
typedef STACK GENERAL_NAMES;

ZUNPKI_BEGIN_DECLS

ZUNPKI_API GENERAL_NAME* new_GENERAL_NAME(void);
ZUNPKI_API void free_GENERAL_NAME(GENERAL_NAME* gn);
ZUNPKI_API void clean_GENERAL_NAME(GENERAL_NAME* gn);
/* Null for null and for a type outside 0-8. */
ZUNPKI_API GENERAL_NAME* dup_GENERAL_NAME(const GENERAL_NAME* gn);
ZUNPKI_API int cmp_GENERAL_NAME(const GENERAL_NAME* a, const GENERAL_NAME* b);
/* A tag number outside 0-8 decodes to a record without a value; such a
 * record does not encode (0x4706002b). */
ZUNPKI_API PKI_ERROR Seq_to_GENERAL_NAME(const ASN1_UNIT* node, GENERAL_NAME** gn);
ZUNPKI_API PKI_ERROR GENERAL_NAME_to_Seq(const GENERAL_NAME* gn, ASN1_UNIT** node);

ZUNPKI_API OTHERNAME* new_OTHERNAME(void);
ZUNPKI_API void free_OTHERNAME(OTHERNAME* on);
ZUNPKI_API void clean_OTHERNAME(OTHERNAME* on);
ZUNPKI_API OTHERNAME* dup_OTHERNAME(const OTHERNAME* on);
ZUNPKI_API int cmp_OTHERNAME(const OTHERNAME* a, const OTHERNAME* b);
ZUNPKI_API PKI_ERROR Seq_to_OTHERNAME(const ASN1_UNIT* node, OTHERNAME** on);
ZUNPKI_API PKI_ERROR OTHERNAME_to_Seq(const OTHERNAME* on, ASN1_UNIT** node);

ZUNPKI_API EDIPARTYNAME* new_EDIPARTYNAME(void);
ZUNPKI_API void free_EDIPARTYNAME(EDIPARTYNAME* edi);
ZUNPKI_API void clean_EDIPARTYNAME(EDIPARTYNAME* edi);
ZUNPKI_API EDIPARTYNAME* dup_EDIPARTYNAME(const EDIPARTYNAME* edi);
ZUNPKI_API int cmp_EDIPARTYNAME(const EDIPARTYNAME* a, const EDIPARTYNAME* b);
ZUNPKI_API PKI_ERROR Seq_to_EDIPARTYNAME(const ASN1_UNIT* node, EDIPARTYNAME** edi);
ZUNPKI_API PKI_ERROR EDIPARTYNAME_to_Seq(const EDIPARTYNAME* edi, ASN1_UNIT** node);

ZUNPKI_API GENERAL_NAMES* new_GENERAL_NAMES(void);
ZUNPKI_API void free_GENERAL_NAMES(GENERAL_NAMES* list);
ZUNPKI_API GENERAL_NAMES* dup_GENERAL_NAMES(const GENERAL_NAMES* list);
/* At least one name (0x4707002b); appended to *list (made when null). */
ZUNPKI_API PKI_ERROR Seq_to_GENERAL_NAMES(const ASN1_UNIT* node, GENERAL_NAMES** list);
/* An empty list is refused (0x4708002b). */
ZUNPKI_API PKI_ERROR GENERAL_NAMES_to_Seq(const GENERAL_NAMES* list, ASN1_UNIT** node);

ZUNPKI_END_DECLS

#endif

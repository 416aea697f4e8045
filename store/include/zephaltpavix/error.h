/*
 * Result codes of libzephaltpavix and their texts.
 *
 * 0 is success and -1 a general failure; every other code is a decimal
 * number standing for itself: 1051000-1051042 (store, memory, key and
 * session failures), 1051044-1051047 (the server-certificate check; no text
 * of their own) and 1052000-1052078 (parameters, media, CMP, tokens,
 * signing). Functions that return a count tell it from a code by
 * code >= 1051000 or code == -1.
 *
 * The names below are those the library's modules use; add a name here when
 * a module needs one (the texts are fixed).
 */
#ifndef ZEPHALTPAVIX_ERROR_H
#define ZEPHALTPAVIX_ERROR_H

#include <zephaltpavix/store_export.h>

typedef int STORE_ERROR_CODE;

#define VPL_OK 0
#define VPL_FAIL (-1)

#define VPL_ERR_CORE_PARAM 1001003       /* the core's code for a missing or malformed argument */
#define VPL_ERR_DIR_OPEN 1051000         /* a folder of a store does not open */
#define VPL_ERR_LIST_PATH 1051001        /* the index-based list got no base folder */
#define VPL_ERR_LIST_MEMORY 1051002      /* the index-based header could not be allocated */
#define VPL_ERR_BLOCK_MEMORY 1051003     /* the index-based block could not be allocated */
#define VPL_ERR_SUBJECT_NULL 1051005     /* a name reader was given NULL */
#define VPL_ERR_SUBJECT_NAME 1051006     /* the certificate's name has no such part */
#define VPL_ERR_BLOB_DECRYPT 1051020     /* an identity blob does not decrypt */
#define VPL_ERR_BLOB_PARSE 1051021       /* a decrypted identity blob has no "||" */
#define VPL_ERR_MEMORY 1051022           /* memory allocation failed (record and list code) */
#define VPL_ERR_BLOB_BASE64 1051023      /* the key of an identity blob is no Base64 */
#define VPL_ERR_X509_INFO 1051024        /* the certificate does not decode */
#define VPL_ERR_INDEX 1051026            /* an index outside the index-based list */
#define VPL_ERR_PASSWORD 1051027         /* the password does not open the key */
#define VPL_ERR_KEY_WRITE 1051028        /* the re-protected key was not written */
#define VPL_ERR_KEY_RANDOM 1051029       /* the key's VID random could not be read */
#define VPL_ERR_VID 1051030              /* the identity check failed */
#define VPL_ERR_INDEX_KEY 1051033        /* the key of an index entry could not be read */
#define VPL_ERR_POP 1051034              /* the key of an index entry refused the password */
#define VPL_ERR_VID_PARAM 1051035        /* a missing password or identity number */
#define VPL_ERR_BLOB_KEY 1051037         /* the key of an identity blob is no DER sequence */
#define VPL_ERR_OVERFLOW 1051038         /* a text does not fit a fixed field (it is not cut) */
#define VPL_ERR_PROPERTY_PARAM 1051039   /* registering a session without id, certificate or cipher */
#define VPL_ERR_NO_SID 1051040           /* reading a session without id */
#define VPL_ERR_SERVER_ISSUER 1051044    /* a server certificate issued by neither built-in CA */
#define VPL_ERR_SERVER_SIGNATURE 1051045 /* the built-in CA of its issuer's name does not verify it */
#define VPL_ERR_SERVER_NOT_YET 1051046   /* a server certificate not yet valid */
#define VPL_ERR_SERVER_EXPIRED 1051047   /* a server certificate expired */
#define VPL_ERR_MALLOC 1052007           /* memory allocation failed */
#define VPL_ERR_PIN 1052008              /* the PIN's length is not the one given */
#define VPL_ERR_PATH 1052009             /* a path, or a name that becomes part of one, is refused */
#define VPL_ERR_PATH_LENGTH 1052010      /* a path whose length is not the one given */
#define VPL_ERR_INVALID_PARAM 1052011    /* a missing or malformed argument */
#define VPL_ERR_HASH 1052012             /* the digest failed */
#define VPL_ERR_PASSWORD_PARAM 1052013   /* a password missing or not of its length */
#define VPL_ERR_CERT_TYPE 1052014        /* a certificate use or type the operation does not handle */
#define VPL_ERR_DATA 1052015             /* a value that is empty */
#define VPL_ERR_FILTER_TYPE 1052026      /* a filter token of no known kind */
#define VPL_ERR_DRIVE 1052027            /* the drive name is missing or wrong */
#define VPL_ERR_ID_NUMBER 1052029        /* an identification number missing or of the wrong length */
#define VPL_ERR_READ_FILE 1052030        /* nothing to read: a file, or a credential held in memory */
#define VPL_ERR_WRITE_FILE 1052031       /* a file could not be written (nothing is left of it) */
#define VPL_ERR_CERT_DER 1052032         /* a certificate that does not convert to DER */
#define VPL_ERR_PKCS1_SIGN 1052033       /* the log-in (PKCS#1) signature failed */
#define VPL_ERR_PKCS7_SIGN 1052034       /* the document (PKCS#7) signature failed */
#define VPL_ERR_PFX 1052035              /* a PKCS#12 file does not open */
#define VPL_ERR_PFX_EXPORT 1052036       /* PKCS#12 data that could not be made */
#define VPL_ERR_RANDOM 1052037           /* the key's VID random could not be read */
#define VPL_ERR_RANDOM_GEN 1052038       /* the random generator failed */
#define VPL_ERR_DOMAIN 1052039           /* no domain given, or none known by that name */
#define VPL_ERR_NO_CTX 1052040           /* no domain context exists at all */
#define VPL_ERR_NO_SERVER_CERT 1052042   /* the domain holds no server certificate */
#define VPL_ERR_NO_SESSION_KEY 1052044   /* the domain holds no session key (or no server key) */
#define VPL_ERR_NO_DOMAIN 1052047        /* the domain has no context */
#define VPL_ERR_NO_IV 1052049            /* the domain holds no IV */
#define VPL_ERR_MODULE_NAME 1052062      /* the domain has no HSM module */
#define VPL_ERR_COPY 1052063             /* a copy refused: it would replace a certificate valid for longer */
#define VPL_ERR_DELETE 1052064           /* a certificate's files could not all be removed */
#define VPL_ERR_NO_PHONE_VALUE 1052066   /* phone-drive value, URL, version missing */
#define VPL_ERR_NO_PHONE_URL 1052067
#define VPL_ERR_NO_PHONE_VERSION 1052068
#define VPL_ERR_NO_CPS 1052069        /* the certificate names no CPS address */
#define VPL_ERR_NO_IMAGE_PATH 1052070 /* the domain holds no verified image path */

VPL_BEGIN_DECLS

/* The text of a code, EUC-KR; a fixed text for codes without one. Never
 * NULL, never to be freed. */
VPL_API const char* VPL_GetErrorString(int code);

/* The code the index-based API, the two name readers and the session-key
 * table stored last (0 at load); other functions leave it alone. */
VPL_API int VPL_GetLastError(void);

VPL_END_DECLS

#endif

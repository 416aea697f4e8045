/*
 * Error codes of libzunCore and their texts, the library's version and the
 * version check.
 *
 * Two schemes live side by side:
 * - CORE_ERROR_CODE: (category << 16) | reason. The category names the module
 *   and the operation (VCL_CAT_ below), the reason indexes a list of English
 *   texts (VCL_R_). VCL_Get_Error_Msg gives "Module:OPERATION:" and the
 *   reason's text. Codes of the crypto layer pass through unchanged and read
 *   as the unknown text.
 * - LEGACY_ERROR_CODE: seven-digit decimal codes (VCL_ERR_), some of them also
 *   kept in VCLLastErrorCode; VCL_GetErrorString gives a Korean text (EUC-KR).
 */
#ifndef ZUNCORE_ERROR_H
#define ZUNCORE_ERROR_H

#include <zunCore/core_export.h>

typedef int CORE_ERROR_CODE;
typedef int LEGACY_ERROR_CODE;

/* A core code from a category (VCL_CAT_) and a reason (VCL_R_). */
#define VCL_CORE_CODE(category, reason) ((int)(((unsigned)(category) << 16) | ((unsigned)(reason)&0xFFFFu)))

/* ---- Categories (bits 31-16), with the prefix of their messages ---------- */
#define VCL_CAT_UNKNOWN_UNKNOWN 0x0000                       /* Unknown:Unknown: */
#define VCL_CAT_SYMMETRIC_ENCRYPT 0xa001                     /* Symmetric:ENCRYPT: */
#define VCL_CAT_SYMMETRIC_DECRYPT 0xa002                     /* Symmetric:DECRYPT: */
#define VCL_CAT_HASH_HASH 0xa101                             /* Hash:HASH: */
#define VCL_CAT_RANDOM_GET_SEEDRAND 0xb001                   /* Random:GET_SEEDRAND: */
#define VCL_CAT_PKCS1_GEN_KEY 0xa401                         /* PKCS1:GEN_KEY: */
#define VCL_CAT_PKCS1_PK1_SET_PKISTRINFO 0xa402              /* PKCS1:PK1_SET_PKISTRINFO: */
#define VCL_CAT_PKCS1_PRIV_CONV_KEYUNIT 0xa403               /* PKCS1:PRIV_CONV_KEYUNIT: */
#define VCL_CAT_PKCS1_PUBK_CONV_KEYUNIT 0xa404               /* PKCS1:PUBK_CONV_KEYUNIT: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_RSAES 0xa501                /* PKCS1_Crypto:PK1_RSAES: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_RSADS 0xa502                /* PKCS1_Crypto:PK1_RSADS: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_RSASS 0xa503                /* PKCS1_Crypto:PK1_RSASS: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_RSAVS 0xa504                /* PKCS1_Crypto:PK1_RSAVS: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_ENC 0xa505             /* PKCS1_Crypto:PK1_PRIV_ENC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_DEC 0xa506             /* PKCS1_Crypto:PK1_PUBK_DEC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PK8_SIGN 0xa507             /* PKCS1_Crypto:PK1_PK8_SIGN: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PK8_ENC 0xa508              /* PKCS1_Crypto:PK1_PK8_ENC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_CERT_DEC 0xa509             /* PKCS1_Crypto:PK1_CERT_DEC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_CERT_VERI 0xa50a            /* PKCS1_Crypto:PK1_CERT_VERI: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_ENC 0xa50b             /* PKCS1_Crypto:PK1_PUBK_ENC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_DEC 0xa50c             /* PKCS1_Crypto:PK1_PRIV_DEC: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_SIGN 0xa50d            /* PKCS1_Crypto:PK1_PRIV_SIGN: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_VERI 0xa50e            /* PKCS1_Crypto:PK1_PUBK_VERI: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_CERT_TO_PUBK_PEM 0xa50f     /* PKCS1_Crypto:PK1_CERT_TO_PUBK_PEM: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PK8_KCDSA_SIGN 0xa510       /* PKCS1_Crypto:PK1_PK8_KCDSA_SIGN: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_PK8_KCDSA_VERIFY 0xa511     /* PKCS1_Crypto:PK1_PK8_KCDSA_VERIFY: */
#define VCL_CAT_PKCS1_CRYPTO_PK1_HASH_SIGN 0xa512            /* PKCS1_Crypto:PK1_HASH_SIGN: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_ENC 0xa601       /* PKCS5_Crypto:PK5_PBES1_KISA_ENC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_DEC 0xa602       /* PKCS5_Crypto:PK5_PBES1_KISA_DEC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_ENC 0xa603            /* PKCS5_Crypto:PK5_PBES1_ENC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_DEC 0xa604            /* PKCS5_Crypto:PK5_PBES1_DEC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_ENC 0xa605            /* PKCS5_Crypto:PK5_PBES2_ENC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_DEC 0xa606            /* PKCS5_Crypto:PK5_PBES2_DEC: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF1 0xa607               /* PKCS5_Crypto:PK5_PBKDF1: */
#define VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF2 0xa608               /* PKCS5_Crypto:PK5_PBKDF2: */
#define VCL_CAT_PKCS7_CMS_PK7_NAME_TO_OID 0xa701             /* PKCS7_CMS:PK7_NAME_TO_OID: */
#define VCL_CAT_PKCS7_CMS_PK7_ENCODE_PKCS7 0xa702            /* PKCS7_CMS:PK7_ENCODE_PKCS7: */
#define VCL_CAT_PKCS7_CMS_PK7_DECODE_PKCS7 0xa703            /* PKCS7_CMS:PK7_DECODE_PKCS7: */
#define VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED 0xa704             /* PKCS7_CMS:PK7_MAKE_SIGNED: */
#define VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED 0xa705           /* PKCS7_CMS:PK7_VERIFY_SIGNED: */
#define VCL_CAT_PKCS7_CMS_PK7_GET_SIGNER_CERT 0xa706         /* PKCS7_CMS:PK7_GET_SIGNER_CERT: */
#define VCL_CAT_PKCS7_CMS_PK7_GET_SIGN_TIME 0xa707           /* PKCS7_CMS:PK7_GET_SIGN_TIME: */
#define VCL_CAT_PKCS7_CMS_PK7_MAKE_ENVELOPED 0xa708          /* PKCS7_CMS:PK7_MAKE_ENVELOPED: */
#define VCL_CAT_PKCS7_CMS_PK7_VERIFY_ENVELOPED 0xa709        /* PKCS7_CMS:PK7_VERIFY_ENVELOPED: */
#define VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED_ENVELOPED 0xa70a   /* PKCS7_CMS:PK7_MAKE_SIGNED_ENVELOPED: */
#define VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED_ENVELOPED 0xa70b /* PKCS7_CMS:PK7_VERIFY_SIGNED_ENVELOPED: */
#define VCL_CAT_PKCS7_CMS_PK7_CHECK_FORMAT 0xa70c            /* PKCS7_CMS:PK7_CHECK_FORMAT: */
#define VCL_CAT_PKCS8_DECODE_PKCS8 0xa801                    /* PKCS8:DECODE_PKCS8: */
#define VCL_CAT_PKCS8_LOAD_STR_TO_RSA 0xa802                 /* PKCS8:LOAD_STR_TO_RSA: */
#define VCL_CAT_PKCS8_GET_RANDOM 0xa803                      /* PKCS8:GET_RANDOM: */
#define VCL_CAT_PKCS8_MAKE_PRIV_KEY 0xa804                   /* PKCS8:MAKE_PRIV_KEY: */
#define VCL_CAT_PKCS8_GET_ASYMM_KEY 0xa805                   /* PKCS8:GET_ASYMM_KEY: */
#define VCL_CAT_X509_CONV_CERT2PEM 0xa901                    /* X509:CONV_CERT2PEM: */
#define VCL_CAT_X509_CONV_CERT2DER 0xa902                    /* X509:CONV_CERT2DER: */
#define VCL_CAT_X509_INIT_X509_INFO 0xa903                   /* X509:INIT_X509_INFO: */
#define VCL_CAT_X509_FREE_X509_INFO 0xa904                   /* X509:FREE_X509_INFO: */
#define VCL_CAT_X509_INFO_GET_CRLDP 0xa905                   /* X509:INFO_GET_CRLDP: */
#define VCL_CAT_X509_CHECK_VID 0xa907                        /* X509:CHECK_VID: */
#define VCL_CAT_X509_CRL_VERIFY 0xa908                       /* X509:CRL_VERIFY: */
#define VCL_CAT_X509_IS_REVOKED 0xa909                       /* X509:IS_REVOKED: */
#define VCL_CAT_X509_INFO_GET_ISSUERDN 0xa90a                /* X509:INFO_GET_ISSUERDN: */
#define VCL_CAT_X509_INFO_GET_SUBJECTDN 0xa90b               /* X509:INFO_GET_SUBJECTDN: */
#define VCL_CAT_X509_INFO_GET_SERIAL 0xa90c                  /* X509:INFO_GET_SERIAL: */
#define VCL_CAT_X509_INFO_GET_VALIDITYFROM 0xa90d            /* X509:INFO_GET_VALIDITYFROM: */
#define VCL_CAT_X509_INFO_GET_VALIDITYTO 0xa90e              /* X509:INFO_GET_VALIDITYTO: */
#define VCL_CAT_X509_INFO_GET_PUBKEY 0xa90f                  /* X509:INFO_GET_PUBKEY: */
#define VCL_CAT_X509_INFO_GET_SIGNATURE 0xa910               /* X509:INFO_GET_SIGNATURE: */
#define VCL_CAT_X509_INFO_GET_PUBKEYALG 0xa911               /* X509:INFO_GET_PUBKEYALG: */
#define VCL_CAT_X509_INFO_GET_SIGNATUREALG 0xa912            /* X509:INFO_GET_SIGNATUREALG: */
#define VCL_CAT_X509_CRL_VERIFY_X509_CERT 0xa913             /* X509:CRL_VERIFY_X509_CERT: */
#define VCL_CAT_X509_CRL_VERIFY_NEXTUPDATE 0xa914            /* X509:CRL_VERIFY_NEXTUPDATE: */
#define VCL_CAT_X509_VERIFY 0xa915                           /* X509:VERIFY: */
#define VCL_CAT_X509_VERIFY_DN 0xa916                        /* X509:VERIFY_DN: */
#define VCL_CAT_X509_VERIFY_SIGNATURE 0xa917                 /* X509:VERIFY_SIGNATURE: */
#define VCL_CAT_X509_VERIFY_VALIDITY 0xa918                  /* X509:VERIFY_VALIDITY: */
#define VCL_CAT_X509_INFO_GET_DN_FIELD 0xa919                /* X509:INFO_GET_DN_FIELD: */
#define VCL_CAT_X509_EXIST_VID 0xa91a                        /* X509:EXIST_VID: */
#define VCL_CAT_X509_CONV_CERT2X509 0xa951                   /* X509:CONV_CERT2X509: */
#define VCL_CAT_X509_GET_RSAUNIT 0xa952                      /* X509:GET_RSAUNIT: */
#define VCL_CAT_X509_NEW_X509_INFO 0xa953                    /* X509:NEW_X509_INFO: */
#define VCL_CAT_X509_X509_TO_X509INFO 0xa954                 /* X509:X509_TO_X509INFO: */
#define VCL_CAT_X509_BIGINT_TO_STR 0xa955                    /* X509:BIGINT_TO_STR: */
#define VCL_CAT_X509_OID_TO_STR 0xa956                       /* X509:OID_TO_STR: */
#define VCL_CAT_X509_TIME_TO_STR 0xa957                      /* X509:TIME_TO_STR: */
#define VCL_CAT_X509_NAME_TO_STR 0xa958                      /* X509:NAME_TO_STR: */
#define VCL_CAT_X509_MK_EXTSTR 0xa959                        /* X509:MK_EXTSTR: */
#define VCL_CAT_X509_PARSE_EXTENSIONS 0xa95a                 /* X509:PARSE_EXTENSIONS: */
#define VCL_CAT_X509_GET_DATA_ATTRIBUTES 0xa95b              /* X509:GET_DATA_ATTRIBUTES: */
#define VCL_CAT_X509_GET_PUBKEYALGOID 0xa95c                 /* X509:GET_PUBKEYALGOID: */
#define VCL_CAT_X509_GET_PUBKEY 0xa95d                       /* X509:GET_PUBKEY: */
#define VCL_CAT_X509_MK_PUBKEY 0xa95e                        /* X509:MK_PUBKEY: */
#define VCL_CAT_X509_PARSE_STR_AT 0xa95f                     /* X509:PARSE_STR_AT: */
#define VCL_CAT_X509_CRL_CONV_CRL2X509CRL 0xa960             /* X509:CRL_CONV_CRL2X509CRL: */
#define VCL_CAT_X509_STR_TO_UTC_TIME 0xa961                  /* X509:STR_TO_UTC_TIME: */
#define VCL_CAT_X509_PUBKEY_TO_BINARY 0xa962                 /* X509:PUBKEY_TO_BINARY: */
#define VCL_CAT_X509_BINARY_TO_PUBKEY 0xa963                 /* X509:BINARY_TO_PUBKEY: */
#define VCL_CAT_X509_CPV_CERT_PATH_VALID 0xaa01              /* X509_CPV:CERT_PATH_VALID: */
#define VCL_CAT_X509_CPV_VERIFY_CERT_PATH 0xaa02             /* X509_CPV:VERIFY_CERT_PATH: */
#define VCL_CAT_X509_CPV_VERIFY_CERT 0xaa03                  /* X509_CPV:VERIFY_CERT: */
#define VCL_CAT_X509_CPV_CHECK_CRL 0xaa04                    /* X509_CPV:CHECK_CRL: */
#define VCL_CAT_COMMON_IS_PEM 0xb101                         /* Common:IS_PEM: */
#define VCL_CAT_COMMON_ENC_PWD 0xb102                        /* Common:ENC_PWD: */
#define VCL_CAT_COMMON_DEC_PWD 0xb103                        /* Common:DEC_PWD: */
#define VCL_CAT_COMMON_GEN_RAND 0xb104                       /* Common:GEN_RAND: */
#define VCL_CAT_COMMON_DER_TO_PEM 0xb105                     /* Common:DER_TO_PEM: */
#define VCL_CAT_COMMON_PEM_TO_DER 0xb106                     /* Common:PEM_TO_DER: */
#define VCL_CAT_COMMON_CONV_CIPHER_NAME 0xb107               /* Common:CONV_CIPHER_NAME: */
#define VCL_CAT_COMMON_CONV_HASH_NAME 0xb108                 /* Common:CONV_HASH_NAME: */
#define VCL_CAT_COMMON_GET_PEMFILE_TYPE 0xb109               /* Common:GET_PEMFILE_TYPE: */
#define VCL_CAT_COMMON_GET_DERFILE_TYPE 0xb10a               /* Common:GET_DERFILE_TYPE: */
#define VCL_CAT_PKCS12_MAKE_PFX 0xb301                       /* PKCS12:MAKE_PFX: */
#define VCL_CAT_PKCS12_VERIFY_PFX 0xb302                     /* PKCS12:VERIFY_PFX: */
#define VCL_CAT_PKCS11_GET_HSM_SIGNER_ISSUERDN 0xb401        /* PKCS11:GET_HSM_SIGNER_ISSUERDN: */
#define VCL_CAT_PKCS11_GET_HSM_DRIVER_COUNT 0xb402           /* PKCS11:GET_HSM_DRIVER_COUNT: */
#define VCL_CAT_PKCS11_VERIFY_HSM_DRIVER 0xb403              /* PKCS11:VERIFY_HSM_DRIVER: */
#define VCL_CAT_PKCS11_HSM_DRIVER_SIGN_COUNT 0xb404          /* PKCS11:HSM_DRIVER_SIGN_COUNT: */
#define VCL_CAT_PKCS11_VERIFY_HSM_DRIVER_SIGN 0xb405         /* PKCS11:VERIFY_HSM_DRIVER_SIGN: */
#define VCL_CAT_PKCS11_LOAD_LIB 0xb406                       /* PKCS11:LOAD_LIB: */
#define VCL_CAT_PKCS11_INITIALIZE 0xb407                     /* PKCS11:INITIALIZE: */
#define VCL_CAT_PKCS11_FINALIZE 0xb408                       /* PKCS11:FINALIZE: */
#define VCL_CAT_PKCS11_GET_SLOT_COUNT 0xb409                 /* PKCS11:GET_SLOT_COUNT: */
#define VCL_CAT_PKCS11_OPEN_SESSION 0xb40a                   /* PKCS11:OPEN_SESSION: */
#define VCL_CAT_PKCS11_CLOSE_SESSION 0xb40b                  /* PKCS11:CLOSE_SESSION: */
#define VCL_CAT_PKCS11_CONV_ALGO_TYPE 0xb40c                 /* PKCS11:CONV_ALGO_TYPE: */
#define VCL_CAT_PKCS11_FIND_OBJECT 0xb40d                    /* PKCS11:FIND_OBJECT: */
#define VCL_CAT_PKCS11_SYM_ENCRYPT 0xb40e                    /* PKCS11:SYM_ENCRYPT: */
#define VCL_CAT_PKCS11_SYM_DECRYPT 0xb40f                    /* PKCS11:SYM_DECRYPT: */
#define VCL_CAT_PKCS11_RSA_ENCRYPT 0xb410                    /* PKCS11:RSA_ENCRYPT: */
#define VCL_CAT_PKCS11_RSA_DECRYPT 0xb411                    /* PKCS11:RSA_DECRYPT: */
#define VCL_CAT_PKCS11_VSC_RSA_SIGN 0xb412                   /* PKCS11:VSC_RSA_SIGN: */
#define VCL_CAT_PKCS11_VSC_RSA_VERIFY 0xb413                 /* PKCS11:VSC_RSA_VERIFY: */
#define VCL_CAT_PKCS11_KEY_GENERATE 0xb414                   /* PKCS11:KEY_GENERATE: */
#define VCL_CAT_PKCS11_P11_HASH 0xb415                       /* PKCS11:P11_HASH: */
#define VCL_CAT_PKCS11_DELETE_OBJECT 0xb416                  /* PKCS11:DELETE_OBJECT: */
#define VCL_CAT_PKCS11_SET_RSAKEY 0xb417                     /* PKCS11:SET_RSAKEY: */
#define VCL_CAT_PKCS11_GET_CERT 0xb418                       /* PKCS11:GET_CERT: */
#define VCL_CAT_PKCS11_DELETE_RSAKEY 0xb419                  /* PKCS11:DELETE_RSAKEY: */
#define VCL_CAT_PKCS11_SET_PUBLIC_KEY 0xb41a                 /* PKCS11:SET_PUBLIC_KEY: */
#define VCL_CAT_PKCS11_SET_PRIVATE_KEY 0xb41b                /* PKCS11:SET_PRIVATE_KEY: */
#define VCL_CAT_PKCS11_SET_VID_RAND 0xb41c                   /* PKCS11:SET_VID_RAND: */
#define VCL_CAT_PKCS11_GET_VID_RAND 0xb41d                   /* PKCS11:GET_VID_RAND: */
#define VCL_CAT_PKCS11_GET_TOKEN_SERIAL 0xb41e               /* PKCS11:GET_TOKEN_SERIAL: */
#define VCL_CAT_PKCS11_GET_TOKEN_FREE_MEMORY 0xb41f          /* PKCS11:GET_TOKEN_FREE_MEMORY: */
#define VCL_CAT_PKCS11_SET_SYMMETRIC_KEY 0xb420              /* PKCS11:SET_SYMMETRIC_KEY: */
#define VCL_CAT_PKCS11_DELETE_SYMMETRIC_KEY 0xb421           /* PKCS11:DELETE_SYMMETRIC_KEY: */
#define VCL_CAT_PKCS11_CONVERT_HASH_TYPE 0xb422              /* PKCS11:CONVERT_HASH_TYPE: */
#define VCL_CAT_PKCS11_GET_ALL_CERTS_COUNT 0xb423            /* PKCS11:GET_ALL_CERTS_COUNT: */
#define VCL_CAT_PKCS11_GET_ALL_CERTS 0xb424                  /* PKCS11:GET_ALL_CERTS: */
#define VCL_CAT_STRING_READ_FILE 0xc901                      /* String:READ_FILE: */
#define VCL_CAT_STRING_WRITE_FILE 0xc902                     /* String:WRITE_FILE: */
#define VCL_CAT_STRING_CHECK_VERSION 0xc903                  /* String:CHECK_VERSION: */
#define VCL_CAT_OTP_FOLD_HASH_OTP 0xa301                     /* OTP:FOLD_HASH_OTP: */
#define VCL_CAT_OTP_GEN_OTP_SEED 0xa302                      /* OTP:GEN_OTP_SEED: */
#define VCL_CAT_OTP_GEN_OTP_MSG 0xa303                       /* OTP:GEN_OTP_MSG: */
/* Categories of the key Parts without a row (their codes read as the
 * unknown text). */
#define VCL_CAT_PKCS1_PRIVK_TO_RSAINFO 0xa405  /* VCL_PK1_Privatekey_To_RSAINFO */
#define VCL_CAT_PKCS1_CERT_TO_RSAINFO 0xa406   /* VCL_PK1_Cert_To_RSAINFO */
#define VCL_CAT_PKCS1_CERT_TO_PUBK_PEM 0xa40f  /* VCL_PK1_Cert_To_Publickey_Pemfile */
#define VCL_CAT_PKCS1_CERT_TO_PRIVK_PEM 0xa413 /* VCL_PK1_Cert_To_Privatekey_Pemfile */
#define VCL_CAT_PKCS8_DER_TO_PK1_PEM 0xa806    /* VCL_PK8_DER_to_PK1_PEM */
#define VCL_CAT_PKCS8_TO_PK1 0xa807            /* VCL_PK8_to_PK1 */
#define VCL_CAT_PKCS8_REMOVE_RDATA 0xa808      /* VCL_PK8_Remove_RData */
#define VCL_CAT_PKCS8_CHANGE_PASSWD 0xa80b     /* VCL_PK8_Change_Passwd */
#define VCL_CAT_COMMON_CHANGE_PASSWORD 0xb10b  /* VCL_COM_Change_Password */
/* Category of VCL_Parse_String_By_Name; it has no row above, so its codes
 * read as the unknown text. */
#define VCL_CAT_STRING_PARSE_STRING 0xc904
/* More categories without a row (their codes read as the unknown text):
 * the parallel CTR cipher, file digests, the web-content script check and
 * the network-time client (0xd10e: its socket). */
#define VCL_CAT_SYMMETRIC_PARALLEL 0xa003
#define VCL_CAT_HASH_FILE 0xa102
#define VCL_CAT_COMMON_SCRIPT 0xb10c
#define VCL_CAT_NTP 0xd101
#define VCL_CAT_NTP_SOCKET 0xd10e
/* The DigestInfo writer and reader and the Korean-time converter share one;
 * the calendar-text reader has another. */
#define VCL_CAT_X509_SIGN_TO_BINARY 0xa964
#define VCL_CAT_X509_STR_TO_ASN1_TIME 0xa966
/* CMS and OCSP: rows appended after the table's own (see error.cpp). */
#define VCL_CAT_CMS_ENCODE 0xa712           /* PKCS7_CMS:CMS_ENCODE_CMS: (encoder and decoder) */
#define VCL_CAT_CMS_DECODE 0xa713           /* PKCS7_CMS:CMS_DECODE_CMS: */
#define VCL_CAT_CMS_MAKE_SIGNED 0xa714      /* PKCS7_CMS:CMS_MAKE_SIGNED: */
#define VCL_CAT_CMS_VERIFY_SIGNED 0xa715    /* PKCS7_CMS:CMS_VERIFY_SIGNED: */
#define VCL_CAT_CMS_GET_SIGNER_CERT 0xa716  /* PKCS7_CMS:CMS_GET_SIGNER_CERT: */
#define VCL_CAT_CMS_GET_SIGN_TIME 0xa717    /* PKCS7_CMS:CMS_GET_SIGN_TIME: */
#define VCL_CAT_CMS_MAKE_ENVELOPED 0xa718   /* PKCS7_CMS:CMS_MAKE_ENVELOPED: */
#define VCL_CAT_CMS_VERIFY_ENVELOPED 0xa719 /* PKCS7_CMS:CMS_VERIFY_ENVELOPED: */
#define VCL_CAT_OCSP_MAKE_REQUEST 0xd001    /* OCSP:MAKE_REQUEST: */
#define VCL_CAT_OCSP_READ_RESPONSE 0xd002   /* OCSP:READ_RESPONSE: (and certificate re-encoding) */
#define VCL_CAT_OCSP_PARSE_REQUEST 0xd003   /* OCSP:PARSE_REQUEST: (and key conversion) */
#define VCL_CAT_OCSP_INFO_FROM_CERT 0xd004  /* OCSP:INFO_FROM_CERT: */
#define VCL_CAT_OCSP_REVOKE_INFO 0xd005     /* OCSP:MAKE_REVOKE_INFO: */
#define VCL_CAT_OCSP_RESPONSE_INIT 0xd006   /* OCSP:RESPONSE_INIT: */
#define VCL_CAT_OCSP_RESPONSE_UPDATE 0xd007 /* OCSP:RESPONSE_UPDATE: */
#define VCL_CAT_OCSP_RESPONSE_FINAL 0xd008  /* OCSP:RESPONSE_FINAL: */
#define VCL_CAT_OCSP_REQUEST_LIST 0xd009    /* OCSP:REQUEST_FROM_LIST: */
#define VCL_CAT_OCSP_SINGLE_REQUEST 0xd00a  /* OCSP:SINGLE_REQUEST_INFO: */
#define VCL_CAT_OCSP_RESPONSE_ERROR 0xd00b  /* OCSP:RESPONSE_ERROR: */

/* ---- Reasons (bits 15-0). Name more here as modules need them. --------- */
#define VCL_R_UNKNOWN 0
#define VCL_R_MALLOC 1            /* "Fail to malloc" */
#define VCL_R_NULL_PARAM 2        /* "Input parameter is NULL" */
#define VCL_R_INVALID_PARAM 3     /* "Input parameter is Invalid" */
#define VCL_R_OPEN_FAIL 4         /* "Fail open Fail" */
#define VCL_R_ZERO_LENGTH 5       /* "Input parameter length is Zero" */
#define VCL_R_INVALID_HASH_ID 6   /* "Invalid hash ID" */
#define VCL_R_NOT_FOUND 7         /* "Data not Found" */
#define VCL_R_LENGTH_TOO_LONG 8   /* "Requested length greater than result" */
#define VCL_R_MALLOC_SIZE_FULL 9  /* "Malloc size full" */
#define VCL_R_INVALID_LENGTH 10   /* "Invalid input length" */
#define VCL_R_HASH_FAIL 11        /* "Hash failed" */
#define VCL_R_READ_FILE 12        /* "Read file error" */
#define VCL_R_WRITE_FILE 13       /* "Write file error" */
#define VCL_R_UNSUPPORTED_NAME 16 /* "not supported name" */
#define VCL_R_UNSUPPORTED_MODE 17 /* "not supported mode" */
#define VCL_R_UNSUPPORTED_VERSION 18
#define VCL_R_UNSUPPORTED_PADDING 19
#define VCL_R_UNSUPPORTED_ENCODING 22
#define VCL_R_NEW_DIGEST_UNIT 32     /* "Fail to new digest unit" */
#define VCL_R_DIGEST_LENGTH 34       /* "Fail to get digest length" */
#define VCL_R_ENCODE_BASE64 35       /* "Fail to encode Base64" */
#define VCL_R_DECODE_BASE64 36       /* "Fail to decode Base64" */
#define VCL_R_ASN_TO_BINARY 60       /* "Fail to convert ASN to binary" */
#define VCL_R_DER_TO_ASN1 61         /* "Fail to convert DER to ASN1" */
#define VCL_R_VERIFY_SIGN 63         /* "Fail to verify sign" */
#define VCL_R_UNKNOWN_KEY_MODE 64    /* "Unkown key mode" */
#define VCL_R_ENCODE_PEM 65          /* "Fail to encode PEM" */
#define VCL_R_NO_DER 66              /* "No DER format" */
#define VCL_R_NO_PEM 67              /* "No PEM format" */
#define VCL_R_NO_VID 79              /* "No VID" */
#define VCL_R_VERIFY_CERT_SIGN 84    /* "Fail to verify sign of cert" */
#define VCL_R_EXPIRED_CERT 85        /* "Expired date of certificate" */
#define VCL_R_NO_ISSUER 86           /* "There is no valid Issuer_cert with user_cert" */
#define VCL_R_CRL_PATH 87            /* "Invalid CRL path" */
#define VCL_R_REVOKED 88             /* "Revoked certificate" */
#define VCL_R_OUTPUT_NULL 97         /* "Output is NULL" */
#define VCL_R_NO_PUBLIC_KEY 98       /* "Does not have PublicKey" */
#define VCL_R_KEY_TO_RSA 99          /* "Conver AKEY to RSAKEY fail" */
#define VCL_R_WRITE_PEM 100          /* "Write PEM to Binary Fail" */
#define VCL_R_WRITE_DER 102          /* "Write DER to Binary Fail" */
#define VCL_R_READ_DER_PARAM 104     /* "Input parameter error(or NULL) during Read DER from Binary" */
#define VCL_R_READ_PEM_PARAM 105     /* "Input parameter error(or NULL) during Read PEM from Binary" */
#define VCL_R_NO_SERIAL 107          /* "Can't found Serial" */
#define VCL_R_UNKNOWN_ALGORITHM 108  /* "Unknown Algorithm Type" */
#define VCL_R_GET_CHILD 109          /* "NChild Getting Fail" */
#define VCL_R_SEQ_TO_BINARY 110      /* "Convert PublicKey Sequence to Binary Error" */
#define VCL_R_PEM_LABEL 144          /* "Fail to Not Found PEM Format" */
#define VCL_R_CRYPTO_VERSION_LOW 121 /* "Current crypto_version is lower than requested version" */
#define VCL_R_PKI_VERSION_LOW 122
#define VCL_R_CORE_VERSION_LOW 123
#define VCL_R_LAST 144 /* reasons above read as "Unknown" */
/* Reasons past the text table. */
#define VCL_R_GENERAL_NAMES 0x9a /* subjectAltName names that do not decode */
#define VCL_R_TIME_CONVERT 0x118 /* a time text that does not convert */
#define VCL_R_NO_ANSWER 0x11a    /* no time-server answer */
#define VCL_R_NO_ALGORITHM_PART 0x11d
#define VCL_R_NO_MODE_PART 0x11e
#define VCL_R_THREAD_START 0x15a
#define VCL_R_BLOCK_COUNT 0x15b
#define VCL_R_KEY_LENGTH 0x15c
#define VCL_R_BLOCK_LENGTH 0x15d
#define VCL_R_THREAD_COUNT 0x15e
#define VCL_R_SOCKET 0x6185

/* ---- Legacy codes ------------------------------------------------------- */
#define VCL_ERR_MEMORY 1001001        /* memory could not be allocated */
#define VCL_ERR_UNALLOCATED 1001002   /* a buffer that was never allocated */
#define VCL_ERR_INVALID_PARAM 1001003 /* a bad argument */
#define VCL_ERR_DATA_FORMAT 1001004   /* data not in the expected form */
#define VCL_ERR_READ_FILE 1001005
#define VCL_ERR_LOG_OPEN 1001100
#define VCL_ERR_URL_ENCODE 1002000
#define VCL_ERR_URL_DECODE 1002001
#define VCL_ERR_BASE128_ENCODE 1003001
#define VCL_ERR_BASE128_DECODE 1003002
#define VCL_ERR_BASE128_ENCODE_PARAM 1003003
#define VCL_ERR_BASE128_DECODE_PARAM 1003004
#define VCL_ERR_BASE64_ENCODE 1003005
#define VCL_ERR_BASE64_DECODE 1003006
#define VCL_ERR_BASE64_ENCODE_PARAM 1003007
#define VCL_ERR_BASE64_DECODE_PARAM 1003009
#define VCL_ERR_BASE64_DECODE_SHORT 1003010
#define VCL_ERR_COMPRESS 1004000             /* compression: bad arguments or input past the limits */
#define VCL_ERR_DECOMPRESS 1004001           /* decompression: bad arguments or a stream past the limits */
#define VCL_ERR_UNICODE_TARGET_FULL 1005001  /* no room left in the output */
#define VCL_ERR_UNICODE_SOURCE_SHORT 1005002 /* a sequence runs past the input */
#define VCL_ERR_UNICODE_UCS4 1005003         /* a character beyond UCS-2 */
#define VCL_ERR_UNICODE_NOT_UCS2 1005004     /* not whole UCS-2 units */
#define VCL_ERR_CONFIG_NOT_FOUND 1008001
#define VCL_ERR_CONFIG_INVALID 1008002
#define VCL_ERR_CONFIG_OPEN 1009400
#define VCL_ERR_CONFIG_EMPTY 1009401

/* The library's version text. */
#define VCL_CORE_VERSION "2.4.14"

VCL_BEGIN_DECLS

/* The last legacy code a function stored (0 at load; never reset). A plain
 * int for old callers; the library reads and writes it atomically. */
VCL_API extern int VCLLastErrorCode;

/* "Module:OPERATION:" and the reason's text for a core code. The text lives in
 * a buffer of the calling thread that the thread's next call overwrites (the
 * same pointer each time); never freed by the caller. */
VCL_API const char* VCL_Get_Error_Msg(int code);
/* The Korean text (EUC-KR) of a legacy code; a constant. Unknown codes give
 * the undefined-error text. */
VCL_API const char* VCL_GetErrorString(int code);
VCL_API int VCL_GetLastError(void);

/* Versions: this library ("2.4.14"), the crypto layer, libzunPKI. */
VCL_API const char* VCL_Get_Version(void);
VCL_API const char* VCL_Get_Crypto_Version(void);
VCL_API const char* VCL_Get_Pki_Version(void);

/* 0 when the crypto layer, libzunPKI and this library are at least the given
 * versions; else the category VCL_CAT_STRING_CHECK_VERSION with the reason of
 * the first that is older (VCL_R_NULL_PARAM for a NULL argument). */
VCL_API int VCL_Check_Version(const char* crypto_min, const char* pki_min, const char* core_min);

/* Order of two dotted versions over their first four components: the
 * difference of the first that differs, 0 when equal, -1 when a is missing a
 * component b has (or either is NULL), 1 when b is. */
VCL_API int VCL_CMP_Version(const char* a, const char* b);
VCL_API int VCL_str_cmp_Version(const char* a, const char* b);

/* The n-th (from 1) token of text split at the whole delimiter string, as a
 * number (atoi: a token that is not a number gives 0); -1 when there is no
 * n-th token, it is empty, or its number does not fit an int. */
VCL_API int VCL_str_get_int_tok(const char* text, const char* delimiter, int n);
/* The version's digits with its dots removed, as a decimal number ("2.4.14"
 * gives 2414); -1 for NULL or a number past int. */
VCL_API int VCL_convert_version_int(const char* version);
/* Copies text into token up to the first whole occurrence of delimiter (not
 * copied), NUL-terminates it and returns the position after the delimiter;
 * at the end of text returns the position of its NUL; NULL when text is empty
 * (or an argument NULL). token must hold strlen(text) + 1 bytes. */
VCL_API char* VCL_str_tokenizer(char* token, char* text, const char* delimiter);

VCL_END_DECLS

#endif

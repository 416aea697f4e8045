/*
 * Result codes of libzunPKI.
 *
 * 0 is success. Any other code is
 *     library byte << 24 | function byte << 16 | reason
 * Nothing is stored: the code is only returned. The L_ constants below are
 * already shifted into place, the F_ constants too, so a code is built by
 * or-ing the three: L_BER | F_ADD_TO_BER_SEQUENCE | ERR_INVALID_ENCODE_INPUT.
 *
 * Each folder adds the F_ names of its own operations here, grouped by
 * library byte. Function bytes are only unique within one library byte.
 */
#ifndef ZUNPKI_PKI_ERROR_H
#define ZUNPKI_PKI_ERROR_H

#include "asn1/pki_export.h"

typedef int PKI_ERROR;

#define PKI_SUCCESS 0
#define PKI_ERR(lib, func, reason) ((PKI_ERROR)((unsigned)(lib) | (unsigned)(func) | (unsigned)(reason)))
#define PKI_ERR_LIB(code)    (((unsigned)(code) >> 24) & 0xff)
#define PKI_ERR_FUNC(code)   (((unsigned)(code) >> 16) & 0xff)
#define PKI_ERR_REASON(code) ((unsigned)(code) & ERR_MASK)
/* A function byte placed at bits 23-16. */
#define PKI_FUNC(byte) ((unsigned)(byte) << 16)

/* ---- Library bytes ------------------------------------------------------ */
#define L_KISA                  0x30000000
#define L_ASN1                  0x41000000
#define L_BER                   0x42000000
#define L_DER                   0x43000000
#define L_UTC_TIME              0x44000000
#define L_TIME                  0x45000000
#define L_X509                  0x46000000
#define L_X509V3                0x47000000
#define L_X509_CRL              0x48000000
#define L_PKCS1                 0x49000000
#define L_PKCS5                 0x4a000000
#define L_PKCS7                 0x4b000000
#define L_PKCS8                 0x4c000000
#define L_PKCS12                0x4d000000
#define L_PEM                   0x4e000000
#define L_GPKI                  0x4f000000
#define L_GENERALIZED_TIME      0x50000000
#define L_ISSUER_AND_SERIAL_NUMBER 0x51000000
#define L_CMS                   0x52000000
#define L_CPV                   0x53000000
#define L_CTL                   0x54000000
#define L_PKCS10                0x55000000

/* ---- Named reasons ------------------------------------------------------ */
#define ERR_INVALID_ENCODE_INPUT        0x101
#define ERR_INVALID_DECODE_INPUT        0x102
#define ERR_ASN1_ENCODING               0x103
#define ERR_ASN1_DECODING               0x104
#define ERR_TBS_CERT_ISSUER             0x105
#define ERR_TBS_CERT_SUBJECT            0x106
#define ERR_TBS_CERT_VALIDITY           0x107
#define ERR_TBS_CERT_SIGNATURE          0x108
#define ERR_TBS_CERT_SPKI               0x109
#define ERR_TBS_CERT_SERIAL             0x10a
#define ERR_TBS_CERT_VERSION            0x10b
#define ERR_STK_ERROR                   0x10c
#define ERR_P12_MAC_INIT                0x10d
#define ERR_P12_MAC_GEN                 0x10e
#define ERR_CERT_NOT_BEFORE             0x10f
#define ERR_CERT_NOT_AFTER              0x110
#define ERR_INVALID_VID_LENGTH          0x111
#define ERR_INVALID_VID_DATA            0x112
#define ERR_INVALID_CERT_NOT_BEFORE     0x113
#define ERR_INVALID_CERT_NOT_AFTER      0x114
#define ERR_INVALID_X509_TIME_TYPE      0x115
#define ERR_INVALID_TRUST_ANCHOR        0x116
#define ERR_INVALID_POLICY_MAPPING      0x117
#define ERR_INVALID_KEY_USAGE           0x118
#define ERR_INVALID_VALID_POLICY_TREE   0x119
#define ERR_INVALID_MAX_PATH_LENGTH     0x11a
#define ERR_INVALID_BASIC_CONSTRAINTS   0x11b
#define ERR_INVALID_CERTIFICATE_POLICIES 0x11c
#define ERR_NOT_FOUNDED                 0x12f
#define ERR_MASK                        0xffff

/* Reasons every operation uses alike. Their values are fixed; the names are
 * ours (the tables have none). */
#define ERR_R_NULL_ARGUMENT     0x49  /* a required argument is null */
#define ERR_R_INVALID_ELEMENT   0x2b  /* missing or invalid element, wrong child count */
#define ERR_R_ALLOC_3A          0x3a  /* allocation or record creation failed */
#define ERR_R_ALLOC             0x3b
#define ERR_R_ALLOC_3C          0x3c
#define ERR_R_UNSUPPORTED       0x48  /* unsupported type or key kind */
#define ERR_R_BAD_KEY_VALUE     0x38  /* a key value that does not read */
#define ERR_R_WRITE_FAILED      0x30  /* a new value cannot be written */
#define ERR_R_NOT_ONE_TLV       0x4f  /* bytes that do not parse as one TLV */

/* ---- Function bytes: L_ASN1 --------------------------------------------- */
#define F_SET_ASN1_STRING_VALUE         PKI_FUNC(0x01)
#define F_ASN1_STRING_TO_SEQ            PKI_FUNC(0x02)
#define F_CHECK_ASN1_TIME               PKI_FUNC(0x03)

/* ---- Function bytes: L_BER ---------------------------------------------- */
#define F_ENCODE_TO_BER_BOOLEAN         PKI_FUNC(0x01)
#define F_ENCODE_TO_BER_INTEGER         PKI_FUNC(0x02)
#define F_ENCODE_TO_BER_BIT_STRING      PKI_FUNC(0x03)
#define F_ENCODE_TO_BER_NULL            PKI_FUNC(0x04)
#define F_ENCODE_TO_BER_OBJECT_IDENTIFIER PKI_FUNC(0x05)
#define F_ENCODE_TO_BER_TIME            PKI_FUNC(0x07)
#define F_ENCODE_TO_BER_STRING          PKI_FUNC(0x08)
#define F_ENCODE_TO_BER                 PKI_FUNC(0x09)
#define F_ENCODE_TO_BER_CS              PKI_FUNC(0x0a)
#define F_ADD_TO_BER_SEQUENCE           PKI_FUNC(0x0b)
#define F_ADD_TO_BER_SEQUENCE_OF        PKI_FUNC(0x0c)
#define F_ADD_TO_BER_SET                PKI_FUNC(0x0d)
#define F_ADD_TO_BER_SET_OF             PKI_FUNC(0x0e)
#define F_ADD_TO_BER_SEQUENCE_CS        PKI_FUNC(0x0f)
#define F_SET_BER_LENGTH_FORM           PKI_FUNC(0x10)
#define F_ADD_TO_BER_STRING_SEQUENCE    PKI_FUNC(0x11)
#define F_ADD_PAD_TO_BER_BIT_STRING     PKI_FUNC(0x12)

/* ---- Function bytes: L_DER ---------------------------------------------- */
#define F_DER_IO                        PKI_FUNC(0x00)
#define F_CHECK_DER                     PKI_FUNC(0x01)
#define F_ENCODE_TO_DER                 PKI_FUNC(0x02)
#define F_ENCODE_TO_DER_CS              PKI_FUNC(0x03)
#define F_ADD_TO_DER_SEQUENCE           PKI_FUNC(0x04)
#define F_ADD_TO_DER_SEQUENCE_OF        PKI_FUNC(0x05)
#define F_ADD_TO_DER_SET                PKI_FUNC(0x06)
#define F_ADD_TO_DER_SET_OF             PKI_FUNC(0x07)
#define F_ADD_TO_DER_SEQUENCE_CS        PKI_FUNC(0x08)

/* ---- Function bytes: L_UTC_TIME, L_TIME, L_GENERALIZED_TIME ------------- */
#define F_COPY_UTC_TIME                 PKI_FUNC(0x00)
#define F_ADD_TIME                      PKI_FUNC(0x02)
#define F_COPY_GENERALIZED_TIME         PKI_FUNC(0x00)

/* ---- Function bytes: L_X509 --------------------------------------------- */
#define F_SET_X509_VERSION              PKI_FUNC(0x01)
#define F_SET_X509_SERIAL               PKI_FUNC(0x02)
#define F_SET_X509_SIGNATURE            PKI_FUNC(0x03)
#define F_SET_X509_ISSUER               PKI_FUNC(0x04)
#define F_SET_X509_SUBJECT              PKI_FUNC(0x05)
#define F_SET_X509_NOTAFTER             PKI_FUNC(0x06)
#define F_SET_X509_NOTBEFORE            PKI_FUNC(0x07)
#define F_SET_X509_PUB_KEY              PKI_FUNC(0x08)
#define F_BITSTRING_to_RSA_KEY          PKI_FUNC(0x09)
#define F_RSA_KEY_to_BITSTRING          PKI_FUNC(0x0a)
#define F_BITSTRING_to_KCDSA_KEY        PKI_FUNC(0x0b)
#define F_KCDSA_KEY_to_BITSTRING        PKI_FUNC(0x0c)
#define F_KCDSA_KEY_to_Seq              PKI_FUNC(0x0d)
#define F_Seq_to_KCDSA_KEY              PKI_FUNC(0x0e)
#define F_SEQ_TO_X509_CERT              PKI_FUNC(0x0f)
#define F_X509_CERT_TO_SEQ              PKI_FUNC(0x10)
#define F_SEQ_TO_X509_TBS_CERT          PKI_FUNC(0x11)
#define F_X509_TBS_CERT_TO_SEQ          PKI_FUNC(0x12)
#define F_SEQ_TO_X509_PUBKEY            PKI_FUNC(0x13)
#define F_X509_PUBKEY_TO_SEQ            PKI_FUNC(0x14)
#define F_GEN_RSASIGN_TBS_CERT          PKI_FUNC(0x15)
#define F_GEN_KCDSASIGN_TBS_CERT        PKI_FUNC(0x16)
#define F_VERIFY_RSASIGN_TBS_CERT       PKI_FUNC(0x17)
#define F_VERIFY_KCDSASIGN_TBS_CERT     PKI_FUNC(0x18)
#define F_X509_EXT_TO_SEQ               PKI_FUNC(0x19)
#define F_SEQ_TO_X509_EXT               PKI_FUNC(0x1a)
#define F_X509_NAME_TO_SEQ              PKI_FUNC(0x1b)
#define F_SEQ_TO_X509_NAME              PKI_FUNC(0x1c)
#define F_X509_CERT_PAIR_TO_SEQ         PKI_FUNC(0x1d)
#define F_SEQ_TO_X509_CERT_PAIR         PKI_FUNC(0x1e)
#define F_X509_CERTIFICATES_TO_SEQ      PKI_FUNC(0x1f)
#define F_SEQ_TO_X509_CERTIFICATES      PKI_FUNC(0x20)
#define F_X509_ATTRIBUTE_TO_SEQ         PKI_FUNC(0x21)
#define F_SEQ_TO_X509_ATTRIBUTE         PKI_FUNC(0x22)
#define F_X509_ATTRIBUTES_TO_SEQ        PKI_FUNC(0x23)
#define F_SEQ_TO_X509_ATTRIBUTES        PKI_FUNC(0x24)
#define F_X509_ALGO_IDENTIFIER_TO_SEQ   PKI_FUNC(0x25)
#define F_SEQ_TO_X509_ALGO_IDENTIFIER   PKI_FUNC(0x26)
#define F_X509_ALGO_IDENTIFIERS_TO_SEQ  PKI_FUNC(0x27)
#define F_SEQ_TO_X509_ALGO_IDENTIFIERS  PKI_FUNC(0x28)
#define F_RSA_KEY_to_Seq                PKI_FUNC(0x29)
#define F_Seq_to_RSA_KEY                PKI_FUNC(0x2a)
#define F_VERIFY_X509_VALIDITY          PKI_FUNC(0x2b)
#define F_BITSTRING_TO_ECC_KEY          PKI_FUNC(0x2c)
#define F_ECC_KEY_TO_BITSTRING          PKI_FUNC(0x2d)
#define F_ENCODE_ECDSA_SIGNATURE_VALUE  PKI_FUNC(0x2e)
#define F_DECODE_ECDSA_SIGNATURE_VALUE  PKI_FUNC(0x2f)

/* ---- Function bytes: L_X509V3 ------------------------------------------ */
/* The operation's number written as two decimal digits read as hex. */
#define F_SEQ_TO_VID                       PKI_FUNC(0x01)
#define F_VID_TO_SEQ                       PKI_FUNC(0x02)
#define F_SEQ_TO_KISA_IDENTIFY_DATA        PKI_FUNC(0x03)
#define F_KISA_IDENTIFY_DATA_TO_SEQ        PKI_FUNC(0x04)
#define F_SEQ_TO_GENERAL_NAME              PKI_FUNC(0x05)
#define F_GENERAL_NAME_TO_SEQ              PKI_FUNC(0x06)
#define F_SEQ_TO_GENERAL_NAMES             PKI_FUNC(0x07)
#define F_GENERAL_NAMES_TO_SEQ             PKI_FUNC(0x08)
#define F_SEQ_TO_AUTHORITY_KEYID           PKI_FUNC(0x09)
#define F_AUTHORITY_KEYID_TO_SEQ           PKI_FUNC(0x10)
#define F_SEQ_TO_OTHERNAME                 PKI_FUNC(0x11)
#define F_OTHERNAME_TO_SEQ                 PKI_FUNC(0x12)
#define F_SEQ_TO_EDIPARTYNAME              PKI_FUNC(0x13)
#define F_EDIPARTYNAME_TO_SEQ              PKI_FUNC(0x14)
#define F_SEQ_TO_DIST_POINT                PKI_FUNC(0x15)
#define F_DIST_POINT_TO_SEQ                PKI_FUNC(0x16)
#define F_SEQ_TO_ISSUING_DIST_POINT        PKI_FUNC(0x17)
#define F_ISSUING_DIST_POINT_TO_SEQ        PKI_FUNC(0x18)
#define F_SEQ_TO_POLICY_MAPPING            PKI_FUNC(0x19)
#define F_POLICY_MAPPING_TO_SEQ            PKI_FUNC(0x20)
#define F_SEQ_TO_POLICY_MAPPINGS           PKI_FUNC(0x21)
#define F_POLICY_MAPPINGS_TO_SEQ           PKI_FUNC(0x22)
#define F_SEQ_TO_BASIC_CONSTRAINTS         PKI_FUNC(0x23)
#define F_BASIC_CONSTRAINTS_TO_SEQ         PKI_FUNC(0x24)
#define F_SEQ_TO_AUTHORITY_INFO_ACCESS     PKI_FUNC(0x25)
#define F_AUTHORITY_INFO_ACCESS_TO_SEQ     PKI_FUNC(0x26)
#define F_SEQ_TO_CERTIFICATE_POLICIES      PKI_FUNC(0x27)
#define F_CERTIFICATE_POLICIES_TO_SEQ      PKI_FUNC(0x28)
#define F_SEQ_TO_ISSUING_DIST_POINTS       PKI_FUNC(0x27)
#define F_ISSUING_DIST_POINTS_TO_SEQ       PKI_FUNC(0x28)
#define F_SEQ_TO_POLICY_INFO               PKI_FUNC(0x29)
#define F_POLICY_INFO_TO_SEQ               PKI_FUNC(0x30)
#define F_SEQ_TO_POLICY_QUALIFIERS         PKI_FUNC(0x31)
#define F_POLICY_QUALIFIERS_TO_SEQ         PKI_FUNC(0x32)
#define F_SEQ_TO_POLICY_QUALIFIER_INFO     PKI_FUNC(0x33)
#define F_POLICY_QUALIFIER_INFO_TO_SEQ     PKI_FUNC(0x34)
#define F_SEQ_TO_USER_NOTICE               PKI_FUNC(0x35)
#define F_USER_NOTICE_TO_SEQ               PKI_FUNC(0x36)
#define F_SEQ_TO_NOTICE_REFERENCE          PKI_FUNC(0x37)
#define F_NOTICE_REFERENCE_TO_SEQ          PKI_FUNC(0x38)
#define F_SEQ_TO_NOTICE_NUMBERS            PKI_FUNC(0x39)
#define F_NOTICE_NUMBERS_TO_SEQ            PKI_FUNC(0x40)
#define F_SEQ_TO_CRL_DIST_POINTS           PKI_FUNC(0x41)
#define F_CRL_DIST_POINTS_TO_SEQ           PKI_FUNC(0x42)
#define F_SEQ_TO_ACCESS_DESCRIPTION        PKI_FUNC(0x43)
#define F_ACCESS_DESCRIPTION_TO_SEQ        PKI_FUNC(0x44)
#define F_SEQ_TO_POLICY_CONSTRAINTS        PKI_FUNC(0x45)
#define F_POLICY_CONSTRAINTS_TO_SEQ        PKI_FUNC(0x46)
#define F_SEQ_TO_GENERAL_SUBTREE           PKI_FUNC(0x47)
#define F_GENERAL_SUBTREE_TO_SEQ           PKI_FUNC(0x48)
#define F_SEQ_TO_GENERAL_SUBTREES          PKI_FUNC(0x49)
#define F_GENERAL_SUBTREES_TO_SEQ          PKI_FUNC(0x50)
#define F_SEQ_TO_NAME_CONSTRAINTS          PKI_FUNC(0x51)
#define F_NAME_CONSTRAINTS_TO_SEQ          PKI_FUNC(0x52)
#define F_SEQ_TO_X509_SIGN                 PKI_FUNC(0x53)
#define F_X509_SIGN_TO_SEQ                 PKI_FUNC(0x54)
#define F_CHECK_VID                        PKI_FUNC(0x55)
#define F_SEQ_TO_EXTENDED_KEY_USAGE        PKI_FUNC(0x56)
#define F_EXTENDED_KEY_USAGE_TO_SEQ        PKI_FUNC(0x57)

/* ---- Function bytes: L_X509_CRL ----------------------------------------- */
#define F_X509_CRL_TO_SEQ               PKI_FUNC(0x01)
#define F_SEQ_TO_X509_CRL               PKI_FUNC(0x02)
#define F_X509_CRL_INFO_TO_SEQ          PKI_FUNC(0x03)
#define F_SEQ_TO_X509_CRL_INFO          PKI_FUNC(0x04)
#define F_GEN_RSASIGN_X509_CRL          PKI_FUNC(0x05)
#define F_VERIFY_RSASIGN_X509_CRL       PKI_FUNC(0x06)
#define F_GEN_KCDSASIGN_X509_CRL        PKI_FUNC(0x07)
#define F_VERIFY_KCDSASIGN_X509_CRL     PKI_FUNC(0x08)
#define F_SEQ_TO_X509_REVOKED           PKI_FUNC(0x09)
#define F_X509_REVOKED_TO_SEQ           PKI_FUNC(0x10)
#define F_X509_CRLS_TO_SEQ              PKI_FUNC(0x11)
#define F_SEQ_TO_X509_CRLS              PKI_FUNC(0x12)

/* ---- Function bytes: L_CTL ---------------------------------------------- */
#define F_CERT_TRUST_LIST_TO_SEQ        PKI_FUNC(0x01)
#define F_SEQ_TO_CERT_TRUST_LIST        PKI_FUNC(0x02)
#define F_TRUSTED_SUBJECTS_TO_SEQ       PKI_FUNC(0x03)
#define F_SEQ_TO_TRUSTED_SUBJECTS       PKI_FUNC(0x04)
#define F_TRUSTED_CERTIFICATE_TO_SEQ    PKI_FUNC(0x05)
#define F_SEQ_TO_TRUSTED_CERTIFICATE    PKI_FUNC(0x06)

/* ---- Function bytes: L_GPKI --------------------------------------------- */
#define F_KCDSA_SIGNATURE_VALUE         PKI_FUNC(0x00)

/* ---- Function bytes: L_ISSUER_AND_SERIAL_NUMBER ------------------------- */
#define F_ISSUER_AND_SERIAL_NUMBER_TO_SEQ PKI_FUNC(0x01)
#define F_SEQ_TO_ISSUER_AND_SERIAL_NUMBER PKI_FUNC(0x02)

/* ---- Function bytes: L_PKCS1 -------------------------------------------- */
#define F_PKCS1_PEM                     PKI_FUNC(0x00) /* PEM key files */
#define F_SEQ_TO_PKCS1_RSA_PRIVATE_KEY  PKI_FUNC(0x03) /* also the PEM key derivation */
#define F_PKCS1_RSA_PRIVATE_KEY_TO_SEQ  PKI_FUNC(0x04)
#define F_PKCS1_RSA_PUBLIC_KEY_TO_SEQ   PKI_FUNC(0x07)
#define F_SEQ_TO_PKCS1_RSA_PUBLIC_KEY   PKI_FUNC(0x08)
#define F_SET_RSA_UNIT_TO_PKCS1_RSA_PRIVATE_KEY PKI_FUNC(0x09)
#define F_SET_RSA_UNIT_TO_PKCS1_RSA_PUBLIC_KEY  PKI_FUNC(0x0a)
#define F_SET_RSAES_OAEP_PARAM_HASHALGORITHM    PKI_FUNC(0x0d)
#define F_SET_RSAES_OAEP_PARAM_MASKGENALGORITHM PKI_FUNC(0x0e)
#define F_SET_RSAES_OAEP_PARAM_PSOURCEALGORITHM PKI_FUNC(0x0f)
#define F_RSAES_OAEP_PARAM_TO_SEQ       PKI_FUNC(0x10)
#define F_SEQ_TO_RSAES_OAEP_PARAM       PKI_FUNC(0x11)
#define F_SET_RSASSA_PSS_PARAM_HASHALGORITHM    PKI_FUNC(0x12)
#define F_SET_RSASSA_PSS_PARAM_MASKGENALGORITHM PKI_FUNC(0x13)
#define F_SET_RSASSA_PSS_PARAM_TRAILERFIELD     PKI_FUNC(0x14)
#define F_RSASSA_PSS_PARAM_TO_SEQ       PKI_FUNC(0x15)
#define F_SEQ_TO_RSASSA_PSS_PARAM       PKI_FUNC(0x16)
#define F_SET_RSASSA_PSS_PARAM_SALTLENGTH PKI_FUNC(0x17)

/* ---- Function bytes: L_PKCS5 -------------------------------------------- */
#define F_ENCRYPT_PBES1                 PKI_FUNC(0x01)
#define F_DECRYPT_PBES1                 PKI_FUNC(0x02)
#define F_PBKDF1                        PKI_FUNC(0x04)
#define F_PBKDF2                        PKI_FUNC(0x05)
#define F_ENC_PKCS5                     PKI_FUNC(0x06)
#define F_DEC_PKCS5                     PKI_FUNC(0x07)
#define F_ENC_PBES1_KISA                PKI_FUNC(0x08)
#define F_DEC_PBES1_KISA                PKI_FUNC(0x09)
#define F_ENCRYPT_PBES2                 PKI_FUNC(0x10)
#define F_DECRYPT_PBES2                 PKI_FUNC(0x11)
#define F_ENC_PBES1_GPKI                PKI_FUNC(0x12)
#define F_DEC_PBES1_GPKI                PKI_FUNC(0x13)
#define F_ENC_PBE_PKCS12                PKI_FUNC(0x14) /* PKCS#12 PBE algorithms on a key */
#define F_DEC_PBE_PKCS12                PKI_FUNC(0x15)

/* ---- Function bytes: L_PKCS7 -------------------------------------------- */
#define F_PKCS7_GENERAL                       PKI_FUNC(0x00)
#define F_P7_ISSUER_AND_SERIAL_NUMBER_TO_SEQ  PKI_FUNC(0x01)
#define F_SEQ_TO_P7_ISSUER_AND_SERIAL_NUMBER  PKI_FUNC(0x02)
#define F_P7_SIGNER_INFO_TO_SEQ               PKI_FUNC(0x03)
#define F_SEQ_TO_P7_SIGNER_INFO               PKI_FUNC(0x04)
#define F_P7_DIGEST_INFO_TO_SEQ               PKI_FUNC(0x05)
#define F_SEQ_TO_P7_DIGEST_INFO               PKI_FUNC(0x06)
#define F_P7_SIGNER_INFOS_TO_SEQ              PKI_FUNC(0x07)
#define F_SEQ_TO_P7_SIGNER_INFOS              PKI_FUNC(0x08)
#define F_P7_SIGNED_DATA_TO_SEQ               PKI_FUNC(0x09)
#define F_SEQ_TO_P7_SIGNED_DATA               PKI_FUNC(0x0a)
#define F_P7_RECIPIENT_INFO_TO_SEQ            PKI_FUNC(0x0b)
#define F_SEQ_TO_P7_RECIPIENT_INFO            PKI_FUNC(0x0c)
#define F_P7_RECIPIENT_INFOS_TO_SEQ           PKI_FUNC(0x0d)
#define F_SEQ_TO_P7_RECIPIENT_INFOS           PKI_FUNC(0x0e)
#define F_P7_ENCRYPTED_CONTENT_INFO_TO_SEQ    PKI_FUNC(0x0f)
#define F_SEQ_TO_P7_ENCRYPTED_CONTENT_INFO    PKI_FUNC(0x10)
#define F_P7_ENVELOPED_DATA_TO_SEQ            PKI_FUNC(0x11)
#define F_SEQ_TO_P7_ENVELOPED_DATA            PKI_FUNC(0x12)
#define F_P7_SIGNED_AND_ENVELOPED_DATA_TO_SEQ PKI_FUNC(0x13)
#define F_SEQ_TO_P7_SIGNED_AND_ENVELOPED_DATA PKI_FUNC(0x14)
#define F_P7_DIGESTED_DATA_TO_SEQ             PKI_FUNC(0x15)
#define F_SEQ_TO_P7_DIGESTED_DATA             PKI_FUNC(0x16)
#define F_P7_ENCRYPTED_DATA_TO_SEQ            PKI_FUNC(0x17)
#define F_SEQ_TO_P7_ENCRYPTED_DATA            PKI_FUNC(0x18)
#define F_P7_CONTENT_INFO_TO_SEQ              PKI_FUNC(0x19)
#define F_SEQ_TO_P7_CONTENT_INFO              PKI_FUNC(0x1a)
#define F_VERIFY_PKCS7                        PKI_FUNC(0x1b)
#define F_SIGN_PKCS7                          PKI_FUNC(0x1c)
#define F_GEN_PKCS7_DATA_FROM_BINARY          PKI_FUNC(0x1d)
#define F_SET_P7_SIGNER_INFO                  PKI_FUNC(0x1e)
#define F_SET_P7_RECIPIENT_INFO               PKI_FUNC(0x1f)
#define F_ENCRYPT_PKCS7                       PKI_FUNC(0x20)
#define F_VERIFY_PKCS7_SIGNER                 PKI_FUNC(0x21)

/* ---- Function bytes: L_PKCS8 -------------------------------------------- */
#define F_P8_ENCRYPTED_KEY_TO_SEQ       PKI_FUNC(0x01)
#define F_SEQ_TO_P8_ENCRYPTED_KEY       PKI_FUNC(0x02)
#define F_SEQ_TO_P8_PRIV_KEY_INFO       PKI_FUNC(0x03)
#define F_P8_PRIV_KEY_INFO_TO_SEQ       PKI_FUNC(0x04)
#define F_SEQ_TO_P5_PBE_PARAM           PKI_FUNC(0x05)
#define F_P5_PBE_PARAM_TO_SEQ           PKI_FUNC(0x06)

/* ---- Function bytes: L_PKCS12 ------------------------------------------- */
#define F_X509_CERT_TO_CERTBAG          PKI_FUNC(0x01)
#define F_CERTBAG_TO_X509_CERT          PKI_FUNC(0x02)
#define F_P12_SAFEBAGS_TO_SEQ           PKI_FUNC(0x03)
#define F_SEQ_TO_P12_SAFEBAGS           PKI_FUNC(0x04)
#define F_P12_SAFEBAG_TO_SEQ            PKI_FUNC(0x05)
#define F_SEQ_TO_P12_SAFEBAG            PKI_FUNC(0x06)
#define F_P12_BAGS_TO_SEQ               PKI_FUNC(0x07)
#define F_SEQ_TO_P12_BAGS               PKI_FUNC(0x08)
#define F_P12_MAC_DATA_TO_SEQ           PKI_FUNC(0x09)
#define F_SEQ_TO_P12_MAC_DATA           PKI_FUNC(0x0a)
#define F_P12_PFX_TO_SEQ                PKI_FUNC(0x0b)
#define F_SEQ_TO_P12_PFX                PKI_FUNC(0x0c)
#define F_SEQ_TO_P12_AUTH_SAFE          PKI_FUNC(0x0d)
#define F_P12_AUTH_SAFE_TO_SEQ          PKI_FUNC(0x0e)
#define F_IMPORT_PKCS12                 PKI_FUNC(0x0f)
#define F_PKCS12_SAFE                   PKI_FUNC(0x10)
#define F_PKCS12_MAC                    PKI_FUNC(0x11)
#define F_PKCS12_BAG                    PKI_FUNC(0x12)

#endif

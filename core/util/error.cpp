// Texts of the two error-code schemes, the versions and the version check.
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/korean.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/utils.h>

#include "core_internal.hpp"

extern "C" {
VCL_API int VCLLastErrorCode = 0;
}

namespace {

struct Category {
    int category;  // the code's high half
    const char* prefix;
};

// Searched from row 0 in this order; the first equal category wins.
constexpr Category kCategories[] = {
    {VCL_CAT_UNKNOWN_UNKNOWN, "Unknown:Unknown:"},
    {VCL_CAT_SYMMETRIC_ENCRYPT, "Symmetric:ENCRYPT:"},
    {VCL_CAT_SYMMETRIC_DECRYPT, "Symmetric:DECRYPT:"},
    {VCL_CAT_HASH_HASH, "Hash:HASH:"},
    {VCL_CAT_RANDOM_GET_SEEDRAND, "Random:GET_SEEDRAND:"},
    {VCL_CAT_PKCS1_GEN_KEY, "PKCS1:GEN_KEY:"},
    {VCL_CAT_PKCS1_PK1_SET_PKISTRINFO, "PKCS1:PK1_SET_PKISTRINFO:"},
    {VCL_CAT_PKCS1_PRIV_CONV_KEYUNIT, "PKCS1:PRIV_CONV_KEYUNIT:"},
    {VCL_CAT_PKCS1_PUBK_CONV_KEYUNIT, "PKCS1:PUBK_CONV_KEYUNIT:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_RSAES, "PKCS1_Crypto:PK1_RSAES:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_RSADS, "PKCS1_Crypto:PK1_RSADS:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_RSASS, "PKCS1_Crypto:PK1_RSASS:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_RSAVS, "PKCS1_Crypto:PK1_RSAVS:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_ENC, "PKCS1_Crypto:PK1_PRIV_ENC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_DEC, "PKCS1_Crypto:PK1_PUBK_DEC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PK8_SIGN, "PKCS1_Crypto:PK1_PK8_SIGN:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PK8_ENC, "PKCS1_Crypto:PK1_PK8_ENC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_CERT_DEC, "PKCS1_Crypto:PK1_CERT_DEC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_CERT_VERI, "PKCS1_Crypto:PK1_CERT_VERI:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_ENC, "PKCS1_Crypto:PK1_PUBK_ENC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_DEC, "PKCS1_Crypto:PK1_PRIV_DEC:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PRIV_SIGN, "PKCS1_Crypto:PK1_PRIV_SIGN:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PUBK_VERI, "PKCS1_Crypto:PK1_PUBK_VERI:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_CERT_TO_PUBK_PEM, "PKCS1_Crypto:PK1_CERT_TO_PUBK_PEM:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PK8_KCDSA_SIGN, "PKCS1_Crypto:PK1_PK8_KCDSA_SIGN:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_PK8_KCDSA_VERIFY, "PKCS1_Crypto:PK1_PK8_KCDSA_VERIFY:"},
    {VCL_CAT_PKCS1_CRYPTO_PK1_HASH_SIGN, "PKCS1_Crypto:PK1_HASH_SIGN:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_ENC, "PKCS5_Crypto:PK5_PBES1_KISA_ENC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_KISA_DEC, "PKCS5_Crypto:PK5_PBES1_KISA_DEC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_ENC, "PKCS5_Crypto:PK5_PBES1_ENC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES1_DEC, "PKCS5_Crypto:PK5_PBES1_DEC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_ENC, "PKCS5_Crypto:PK5_PBES2_ENC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBES2_DEC, "PKCS5_Crypto:PK5_PBES2_DEC:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF1, "PKCS5_Crypto:PK5_PBKDF1:"},
    {VCL_CAT_PKCS5_CRYPTO_PK5_PBKDF2, "PKCS5_Crypto:PK5_PBKDF2:"},
    {VCL_CAT_PKCS7_CMS_PK7_NAME_TO_OID, "PKCS7_CMS:PK7_NAME_TO_OID:"},
    {VCL_CAT_PKCS7_CMS_PK7_ENCODE_PKCS7, "PKCS7_CMS:PK7_ENCODE_PKCS7:"},
    {VCL_CAT_PKCS7_CMS_PK7_DECODE_PKCS7, "PKCS7_CMS:PK7_DECODE_PKCS7:"},
    {VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED, "PKCS7_CMS:PK7_MAKE_SIGNED:"},
    {VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED, "PKCS7_CMS:PK7_VERIFY_SIGNED:"},
    {VCL_CAT_PKCS7_CMS_PK7_GET_SIGNER_CERT, "PKCS7_CMS:PK7_GET_SIGNER_CERT:"},
    {VCL_CAT_PKCS7_CMS_PK7_GET_SIGN_TIME, "PKCS7_CMS:PK7_GET_SIGN_TIME:"},
    {VCL_CAT_PKCS7_CMS_PK7_MAKE_ENVELOPED, "PKCS7_CMS:PK7_MAKE_ENVELOPED:"},
    {VCL_CAT_PKCS7_CMS_PK7_VERIFY_ENVELOPED, "PKCS7_CMS:PK7_VERIFY_ENVELOPED:"},
    {VCL_CAT_PKCS7_CMS_PK7_MAKE_SIGNED_ENVELOPED, "PKCS7_CMS:PK7_MAKE_SIGNED_ENVELOPED:"},
    {VCL_CAT_PKCS7_CMS_PK7_VERIFY_SIGNED_ENVELOPED, "PKCS7_CMS:PK7_VERIFY_SIGNED_ENVELOPED:"},
    {VCL_CAT_PKCS7_CMS_PK7_CHECK_FORMAT, "PKCS7_CMS:PK7_CHECK_FORMAT:"},
    {VCL_CAT_PKCS8_DECODE_PKCS8, "PKCS8:DECODE_PKCS8:"},
    {VCL_CAT_PKCS8_LOAD_STR_TO_RSA, "PKCS8:LOAD_STR_TO_RSA:"},
    {VCL_CAT_PKCS8_GET_RANDOM, "PKCS8:GET_RANDOM:"},
    {VCL_CAT_PKCS8_MAKE_PRIV_KEY, "PKCS8:MAKE_PRIV_KEY:"},
    {VCL_CAT_PKCS8_GET_ASYMM_KEY, "PKCS8:GET_ASYMM_KEY:"},
    {VCL_CAT_X509_CONV_CERT2PEM, "X509:CONV_CERT2PEM:"},
    {VCL_CAT_X509_CONV_CERT2DER, "X509:CONV_CERT2DER:"},
    {VCL_CAT_X509_INIT_X509_INFO, "X509:INIT_X509_INFO:"},
    {VCL_CAT_X509_FREE_X509_INFO, "X509:FREE_X509_INFO:"},
    {VCL_CAT_X509_INFO_GET_CRLDP, "X509:INFO_GET_CRLDP:"},
    {VCL_CAT_X509_CHECK_VID, "X509:CHECK_VID:"},
    {VCL_CAT_X509_CRL_VERIFY, "X509:CRL_VERIFY:"},
    {VCL_CAT_X509_IS_REVOKED, "X509:IS_REVOKED:"},
    {VCL_CAT_X509_INFO_GET_ISSUERDN, "X509:INFO_GET_ISSUERDN:"},
    {VCL_CAT_X509_INFO_GET_SUBJECTDN, "X509:INFO_GET_SUBJECTDN:"},
    {VCL_CAT_X509_INFO_GET_SERIAL, "X509:INFO_GET_SERIAL:"},
    {VCL_CAT_X509_INFO_GET_VALIDITYFROM, "X509:INFO_GET_VALIDITYFROM:"},
    {VCL_CAT_X509_INFO_GET_VALIDITYTO, "X509:INFO_GET_VALIDITYTO:"},
    {VCL_CAT_X509_INFO_GET_PUBKEY, "X509:INFO_GET_PUBKEY:"},
    {VCL_CAT_X509_INFO_GET_SIGNATURE, "X509:INFO_GET_SIGNATURE:"},
    {VCL_CAT_X509_INFO_GET_PUBKEYALG, "X509:INFO_GET_PUBKEYALG:"},
    {VCL_CAT_X509_INFO_GET_SIGNATUREALG, "X509:INFO_GET_SIGNATUREALG:"},
    {VCL_CAT_X509_CRL_VERIFY_X509_CERT, "X509:CRL_VERIFY_X509_CERT:"},
    {VCL_CAT_X509_CRL_VERIFY_NEXTUPDATE, "X509:CRL_VERIFY_NEXTUPDATE:"},
    {VCL_CAT_X509_VERIFY, "X509:VERIFY:"},
    {VCL_CAT_X509_VERIFY_DN, "X509:VERIFY_DN:"},
    {VCL_CAT_X509_VERIFY_SIGNATURE, "X509:VERIFY_SIGNATURE:"},
    {VCL_CAT_X509_VERIFY_VALIDITY, "X509:VERIFY_VALIDITY:"},
    {VCL_CAT_X509_INFO_GET_DN_FIELD, "X509:INFO_GET_DN_FIELD:"},
    {VCL_CAT_X509_EXIST_VID, "X509:EXIST_VID:"},
    {VCL_CAT_X509_CONV_CERT2X509, "X509:CONV_CERT2X509:"},
    {VCL_CAT_X509_GET_RSAUNIT, "X509:GET_RSAUNIT:"},
    {VCL_CAT_X509_NEW_X509_INFO, "X509:NEW_X509_INFO:"},
    {VCL_CAT_X509_X509_TO_X509INFO, "X509:X509_TO_X509INFO:"},
    {VCL_CAT_X509_BIGINT_TO_STR, "X509:BIGINT_TO_STR:"},
    {VCL_CAT_X509_OID_TO_STR, "X509:OID_TO_STR:"},
    {VCL_CAT_X509_TIME_TO_STR, "X509:TIME_TO_STR:"},
    {VCL_CAT_X509_NAME_TO_STR, "X509:NAME_TO_STR:"},
    {VCL_CAT_X509_MK_EXTSTR, "X509:MK_EXTSTR:"},
    {VCL_CAT_X509_PARSE_EXTENSIONS, "X509:PARSE_EXTENSIONS:"},
    {VCL_CAT_X509_GET_DATA_ATTRIBUTES, "X509:GET_DATA_ATTRIBUTES:"},
    {VCL_CAT_X509_GET_PUBKEYALGOID, "X509:GET_PUBKEYALGOID:"},
    {VCL_CAT_X509_GET_PUBKEY, "X509:GET_PUBKEY:"},
    {VCL_CAT_X509_MK_PUBKEY, "X509:MK_PUBKEY:"},
    {VCL_CAT_X509_PARSE_STR_AT, "X509:PARSE_STR_AT:"},
    {VCL_CAT_X509_CRL_CONV_CRL2X509CRL, "X509:CRL_CONV_CRL2X509CRL:"},
    {VCL_CAT_X509_STR_TO_UTC_TIME, "X509:STR_TO_UTC_TIME:"},
    {VCL_CAT_X509_PUBKEY_TO_BINARY, "X509:PUBKEY_TO_BINARY:"},
    {VCL_CAT_X509_BINARY_TO_PUBKEY, "X509:BINARY_TO_PUBKEY:"},
    {VCL_CAT_X509_CPV_CERT_PATH_VALID, "X509_CPV:CERT_PATH_VALID:"},
    {VCL_CAT_X509_CPV_VERIFY_CERT_PATH, "X509_CPV:VERIFY_CERT_PATH:"},
    {VCL_CAT_X509_CPV_VERIFY_CERT, "X509_CPV:VERIFY_CERT:"},
    {VCL_CAT_X509_CPV_CHECK_CRL, "X509_CPV:CHECK_CRL:"},
    {VCL_CAT_COMMON_IS_PEM, "Common:IS_PEM:"},
    {VCL_CAT_COMMON_ENC_PWD, "Common:ENC_PWD:"},
    {VCL_CAT_COMMON_DEC_PWD, "Common:DEC_PWD:"},
    {VCL_CAT_COMMON_GEN_RAND, "Common:GEN_RAND:"},
    {VCL_CAT_COMMON_DER_TO_PEM, "Common:DER_TO_PEM:"},
    {VCL_CAT_COMMON_PEM_TO_DER, "Common:PEM_TO_DER:"},
    {VCL_CAT_COMMON_CONV_CIPHER_NAME, "Common:CONV_CIPHER_NAME:"},
    {VCL_CAT_COMMON_CONV_HASH_NAME, "Common:CONV_HASH_NAME:"},
    {VCL_CAT_COMMON_GET_PEMFILE_TYPE, "Common:GET_PEMFILE_TYPE:"},
    {VCL_CAT_COMMON_GET_DERFILE_TYPE, "Common:GET_DERFILE_TYPE:"},
    {VCL_CAT_PKCS12_MAKE_PFX, "PKCS12:MAKE_PFX:"},
    {VCL_CAT_PKCS12_VERIFY_PFX, "PKCS12:VERIFY_PFX:"},
    {VCL_CAT_PKCS11_GET_HSM_SIGNER_ISSUERDN, "PKCS11:GET_HSM_SIGNER_ISSUERDN:"},
    {VCL_CAT_PKCS11_GET_HSM_DRIVER_COUNT, "PKCS11:GET_HSM_DRIVER_COUNT:"},
    {VCL_CAT_PKCS11_VERIFY_HSM_DRIVER, "PKCS11:VERIFY_HSM_DRIVER:"},
    {VCL_CAT_PKCS11_HSM_DRIVER_SIGN_COUNT, "PKCS11:HSM_DRIVER_SIGN_COUNT:"},
    {VCL_CAT_PKCS11_VERIFY_HSM_DRIVER_SIGN, "PKCS11:VERIFY_HSM_DRIVER_SIGN:"},
    {VCL_CAT_PKCS11_LOAD_LIB, "PKCS11:LOAD_LIB:"},
    {VCL_CAT_PKCS11_INITIALIZE, "PKCS11:INITIALIZE:"},
    {VCL_CAT_PKCS11_FINALIZE, "PKCS11:FINALIZE:"},
    {VCL_CAT_PKCS11_GET_SLOT_COUNT, "PKCS11:GET_SLOT_COUNT:"},
    {VCL_CAT_PKCS11_OPEN_SESSION, "PKCS11:OPEN_SESSION:"},
    {VCL_CAT_PKCS11_CLOSE_SESSION, "PKCS11:CLOSE_SESSION:"},
    {VCL_CAT_PKCS11_CONV_ALGO_TYPE, "PKCS11:CONV_ALGO_TYPE:"},
    {VCL_CAT_PKCS11_FIND_OBJECT, "PKCS11:FIND_OBJECT:"},
    {VCL_CAT_PKCS11_SYM_ENCRYPT, "PKCS11:SYM_ENCRYPT:"},
    {VCL_CAT_PKCS11_SYM_DECRYPT, "PKCS11:SYM_DECRYPT:"},
    {VCL_CAT_PKCS11_RSA_ENCRYPT, "PKCS11:RSA_ENCRYPT:"},
    {VCL_CAT_PKCS11_RSA_DECRYPT, "PKCS11:RSA_DECRYPT:"},
    {VCL_CAT_PKCS11_VSC_RSA_SIGN, "PKCS11:VSC_RSA_SIGN:"},
    {VCL_CAT_PKCS11_VSC_RSA_VERIFY, "PKCS11:VSC_RSA_VERIFY:"},
    {VCL_CAT_PKCS11_KEY_GENERATE, "PKCS11:KEY_GENERATE:"},
    {VCL_CAT_PKCS11_P11_HASH, "PKCS11:P11_HASH:"},
    {VCL_CAT_PKCS11_DELETE_OBJECT, "PKCS11:DELETE_OBJECT:"},
    {VCL_CAT_PKCS11_SET_RSAKEY, "PKCS11:SET_RSAKEY:"},
    {VCL_CAT_PKCS11_GET_CERT, "PKCS11:GET_CERT:"},
    {VCL_CAT_PKCS11_DELETE_RSAKEY, "PKCS11:DELETE_RSAKEY:"},
    {VCL_CAT_PKCS11_SET_PUBLIC_KEY, "PKCS11:SET_PUBLIC_KEY:"},
    {VCL_CAT_PKCS11_SET_PRIVATE_KEY, "PKCS11:SET_PRIVATE_KEY:"},
    {VCL_CAT_PKCS11_SET_VID_RAND, "PKCS11:SET_VID_RAND:"},
    {VCL_CAT_PKCS11_GET_VID_RAND, "PKCS11:GET_VID_RAND:"},
    {VCL_CAT_PKCS11_GET_TOKEN_SERIAL, "PKCS11:GET_TOKEN_SERIAL:"},
    {VCL_CAT_PKCS11_GET_TOKEN_FREE_MEMORY, "PKCS11:GET_TOKEN_FREE_MEMORY:"},
    {VCL_CAT_PKCS11_SET_SYMMETRIC_KEY, "PKCS11:SET_SYMMETRIC_KEY:"},
    {VCL_CAT_PKCS11_DELETE_SYMMETRIC_KEY, "PKCS11:DELETE_SYMMETRIC_KEY:"},
    {VCL_CAT_PKCS11_CONVERT_HASH_TYPE, "PKCS11:CONVERT_HASH_TYPE:"},
    {VCL_CAT_PKCS11_GET_ALL_CERTS_COUNT, "PKCS11:GET_ALL_CERTS_COUNT:"},
    {VCL_CAT_PKCS11_GET_ALL_CERTS, "PKCS11:GET_ALL_CERTS:"},
    {VCL_CAT_STRING_READ_FILE, "String:READ_FILE:"},
    {VCL_CAT_STRING_WRITE_FILE, "String:WRITE_FILE:"},
    {VCL_CAT_STRING_CHECK_VERSION, "String:CHECK_VERSION:"},
    {VCL_CAT_OTP_FOLD_HASH_OTP, "OTP:FOLD_HASH_OTP:"},
    {VCL_CAT_OTP_GEN_OTP_SEED, "OTP:GEN_OTP_SEED:"},
    {VCL_CAT_OTP_GEN_OTP_MSG, "OTP:GEN_OTP_MSG:"},
    // CMS and OCSP, appended: rows match by value, so no other text moves.
    {VCL_CAT_CMS_ENCODE, "PKCS7_CMS:CMS_ENCODE_CMS:"},
    {VCL_CAT_CMS_DECODE, "PKCS7_CMS:CMS_DECODE_CMS:"},
    {VCL_CAT_CMS_MAKE_SIGNED, "PKCS7_CMS:CMS_MAKE_SIGNED:"},
    {VCL_CAT_CMS_VERIFY_SIGNED, "PKCS7_CMS:CMS_VERIFY_SIGNED:"},
    {VCL_CAT_CMS_GET_SIGNER_CERT, "PKCS7_CMS:CMS_GET_SIGNER_CERT:"},
    {VCL_CAT_CMS_GET_SIGN_TIME, "PKCS7_CMS:CMS_GET_SIGN_TIME:"},
    {VCL_CAT_CMS_MAKE_ENVELOPED, "PKCS7_CMS:CMS_MAKE_ENVELOPED:"},
    {VCL_CAT_CMS_VERIFY_ENVELOPED, "PKCS7_CMS:CMS_VERIFY_ENVELOPED:"},
    {VCL_CAT_OCSP_MAKE_REQUEST, "OCSP:MAKE_REQUEST:"},
    {VCL_CAT_OCSP_READ_RESPONSE, "OCSP:READ_RESPONSE:"},
    {VCL_CAT_OCSP_PARSE_REQUEST, "OCSP:PARSE_REQUEST:"},
    {VCL_CAT_OCSP_INFO_FROM_CERT, "OCSP:INFO_FROM_CERT:"},
    {VCL_CAT_OCSP_REVOKE_INFO, "OCSP:MAKE_REVOKE_INFO:"},
    {VCL_CAT_OCSP_RESPONSE_INIT, "OCSP:RESPONSE_INIT:"},
    {VCL_CAT_OCSP_RESPONSE_UPDATE, "OCSP:RESPONSE_UPDATE:"},
    {VCL_CAT_OCSP_RESPONSE_FINAL, "OCSP:RESPONSE_FINAL:"},
    {VCL_CAT_OCSP_REQUEST_LIST, "OCSP:REQUEST_FROM_LIST:"},
    {VCL_CAT_OCSP_SINGLE_REQUEST, "OCSP:SINGLE_REQUEST_INFO:"},
    {VCL_CAT_OCSP_RESPONSE_ERROR, "OCSP:RESPONSE_ERROR:"},
};

// Reasons by number; the empty slots are reserved or unused.
constexpr const char* kReasons[VCL_R_LAST + 1] = {
    /*   0 */ "Unknown",
    /*   1 */ "Fail to malloc",
    /*   2 */ "Input parameter is NULL",
    /*   3 */ "Input parameter is Invalid",
    /*   4 */ "Fail open Fail",
    /*   5 */ "Input parameter length is Zero",
    /*   6 */ "Invalid hash ID",
    /*   7 */ "Data not Found",
    /*   8 */ "Requested length greater than result",
    /*   9 */ "Malloc size full",
    /*  10 */ "Invalid input length",
    /*  11 */ "Hash failed",
    /*  12 */ "Read file error",
    /*  13 */ "Write file error",
    /*  14 */ "",
    /*  15 */ "",
    /*  16 */ "not supported name",
    /*  17 */ "not supported mode",
    /*  18 */ "not supported version",
    /*  19 */ "not supported padding",
    /*  20 */ "",
    /*  21 */ "",
    /*  22 */ "not supported encode type",
    /*  23 */ "plaindata length is zero",
    /*  24 */ "convert privkey unit error",
    /*  25 */ "convert pubkey unit error",
    /*  26 */ "",
    /*  27 */ "",
    /*  28 */ "",
    /*  29 */ "",
    /*  30 */ "",
    /*  31 */ "",
    /*  32 */ "Fail to new digest unit",
    /*  33 */ "Fail to get digest name",
    /*  34 */ "Fail to get digest length",
    /*  35 */ "Fail to encode Base64",
    /*  36 */ "Fail to decode Base64",
    /*  37 */ "Fail to get random",
    /*  38 */ "",
    /*  39 */ "",
    /*  40 */ "",
    /*  41 */ "Fail to get signer_info",
    /*  42 */ "Fail to convert UTCtime to ASN1time",
    /*  43 */ "Fail to read PKCS#1 key",
    /*  44 */ "Fail to convert public-key to binary",
    /*  45 */ "Fail to get signer certificate",
    /*  46 */ "Fail to convert certificate to SEQENCE",
    /*  47 */ "Private-key not match",
    /*  48 */ "Fail to new pkcs8 structure",
    /*  49 */ "Fail to new pbe param",
    /*  50 */ "Fail to new PRIV_KEY_INFO",
    /*  51 */ "Fail to set content_type",
    /*  52 */ "Fail to set content_data",
    /*  53 */ "Fail to make signer_info",
    /*  54 */ "Fail to set certificate",
    /*  55 */ "Fail to set attribute_type",
    /*  56 */ "Fail to set attribute_signtime",
    /*  57 */ "Fail to set attribute_message_digest",
    /*  58 */ "Fail to sign to PKCS#7",
    /*  59 */ "Fail to convert PKCS#7 to SEQENCE",
    /*  60 */ "Fail to convert ASN to binary",
    /*  61 */ "Fail to convert DER to ASN1",
    /*  62 */ "Fail to convert SEQENCE to PKCS#7",
    /*  63 */ "Fail to verify sign",
    /*  64 */ "Unkown key mode",
    /*  65 */ "Fail to encode PEM",
    /*  66 */ "No DER format",
    /*  67 */ "No PEM format",
    /*  68 */ "Fail to convert DER to PEM",
    /*  69 */ "Fail to convert PEM to DER",
    /*  70 */ "Fail to get OID",
    /*  71 */ "Fail to set OID to Algorithm_ID",
    /*  72 */ "Fail to set certificate to recipient_info",
    /*  73 */ "Fail to encrypt enveloped_data",
    /*  74 */ "Fail to CEK from enveloped_data",
    /*  75 */ "Fail to decyrpt enveloped_data",
    /*  76 */ "",
    /*  77 */ "Fail to sign and encrypt signed_and_enveloped_data",
    /*  78 */ "Fail to verify and decrypt signed_and_enveloped_data",
    /*  79 */ "No VID",
    /*  80 */ "Fail to encrypt RSAES",
    /*  81 */ "Fail to decrypt RSAES",
    /*  82 */ "Fail to sign",
    /*  83 */ "Fail to verify",
    /*  84 */ "Fail to verify sign of cert",
    /*  85 */ "Expired date of certificate",
    /*  86 */ "There is no valid Issuer_cert with user_cert",
    /*  87 */ "Invalid CRL path",
    /*  88 */ "Revoked certificate",
    /*  89 */ "Fail to convert DER to SEQENCE",
    /*  90 */ "Fail to verify MAC of PKCS#12",
    /*  91 */ "Not match key-pair",
    /*  92 */ "Fail to make Encode-Message",
    /*  93 */ "Fail to get stack value",
    /*  94 */ "Fail to add auth_safe_bags to PFX",
    /*  95 */ "Fail to convert SEQUENCE to DER",
    /*  96 */ "Fail to add safebag to authsafebag",
    /*  97 */ "Output is NULL",
    /*  98 */ "Does not have PublicKey",
    /*  99 */ "Conver AKEY to RSAKEY fail",
    /* 100 */ "Write PEM to Binary Fail",
    /* 101 */ "Read DER from Binary Fail",
    /* 102 */ "Write DER to Binary Fail",
    /* 103 */ "Read PEM from Binary Fail",
    /* 104 */ "Input parameter error(or NULL) during Read DER from Binary",
    /* 105 */ "Input parameter error(or NULL) during Read PEM from Binary",
    /* 106 */ "",
    /* 107 */ "Can't found Serial",
    /* 108 */ "Unknown Algorithm Type",
    /* 109 */ "NChild Getting Fail",
    /* 110 */ "Convert PublicKey Sequence to Binary Error",
    /* 111 */ "Generate RSA Param Error",
    /* 112 */ "Fail to generate PKCS#1 public-key(PEM)",
    /* 113 */ "Fail to generate PKCS#1 private-key(PEM)",
    /* 114 */ "Fail to sign KCDSA",
    /* 115 */ "Fail to add certificate to safebag",
    /* 116 */ "Fail to add private-key to safebag",
    /* 117 */ "Fail to add key-id to safebag",
    /* 118 */ "Fail to add friendly-name to safebag",
    /* 119 */ "Not support LDAP",
    /* 120 */ "HSM driver info is not token_distribution_url_type",
    /* 121 */ "Current crypto_version is lower than requested version",
    /* 122 */ "Current PKI_version is lower than requested version",
    /* 123 */ "Current core_version is lower than requested version",
    /* 124 */ "Fail to initialize HSM",
    /* 125 */ "Fail to finalize HSM",
    /* 126 */ "Fail to get slot_count",
    /* 127 */ "Fail to open session",
    /* 128 */ "Fail to login",
    /* 129 */ "Fail to close session",
    /* 130 */ "Fail to find object",
    /* 131 */ "Fail to Encrypt_Init",
    /* 132 */ "Fail to Encrypt",
    /* 133 */ "Fail to Decrypt_Init",
    /* 134 */ "Fail to Decrypt",
    /* 135 */ "Fail to Load Library",
    /* 136 */ "Fail to get value of attriute",
    /* 137 */ "Fail to delete object",
    /* 138 */ "Fail to create object",
    /* 139 */ "Fail to delete certificate",
    /* 140 */ "Fail to delete public-key",
    /* 141 */ "Fail to delete private-key",
    /* 142 */ "Fail to delete vid_random",
    /* 143 */ "Fail to Get Token Info",
    /* 144 */ "Fail to Not Found PEM Format",
};

// Longest prefix (255 characters) and longest reason text, with room to spare.
constexpr size_t kMessageSize = 512;

struct Legacy {
    int code;
    const char* text;  // UTF-8 here; handed out in EUC-KR
};

constexpr Legacy kLegacy[] = {
    {1001001, "메모리를 할당하지 못했습니다."},
    {1001002, "메모리가 할당되지 않은 버퍼를 사용하였습니다"},
    {1001003, "함수 호출시 전달한 파라미터가 잘못되었습니다."},
    {1001004, "데이타 형식이 맞지 않습니다"},
    {1001005, "파일 읽기를 실패했습니다."},
    {1001100, "LOG파일을 열수 없습니다."},
    {1002000, "url encoding 실패.잘못된 파라미터입니다."},
    {1002001, "url decoding 실패.잘못된 파라미터 입니다."},
    {1003001, "Base128Encoding(전송형태)실패하였습니다."},
    {1003002, "Base128Decoding(전송형태)실패하였습니다."},
    {1003003, "Base128Encoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003004, "Base128Decoding(전송평태)실패.잘못된 파라미터입니다."},
    {1003005, "Base64Encoding(전송형태)실패하였습니다."},
    {1003006, "Base64Decoding(전송형태)실패하였습니다."},
    {1003007, "Base64Encoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003009, "Base64Decoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003010, "Base64Decoding(전송형태)실패.dest buffer 사이즈가 작습니다."},
    {1004000, "압축 실패.잘못된 파라미터 입니다."},
    {1004001, "압축해제 실패.잘못된 파라미터 입니다."},
    {1005001, "유니코드 매핑 실패.dest buffer 에 공간이 없습니다."},
    {1005002, "유니코드 매핑 실패.src buffer에 공간이 없습니다."},
    {1005003, "utf8에서 ucs2로 변환 실패.데이터가 UCS4 입니다."},
    {1005004, "ucs2에서 euckr로 변환 실패.데이터가 ucs2 가 아닙니다."},
    {1006004, "ldap connect error "},
    {1006005, "ldap bind error"},
    {1006006, "ldap search error"},
    {1006007, "ldap not found entry error"},
    {1006008, "ldap not found attribute error"},
    {1007000, "base64 encode 실패 했습니다."},
    {1007001, "base64 decode 실패 했습니다."},
    {1007002, "base64 encode 실패. 잘못된 파라미터입니다."},
    {1007003, "base64 decode 실패. 잘못된 파라미터입니다."},
    {1007004, "base64 malloc encode 실패."},
    {1007005, "base64 malloc decode 실패."},
    {1007006, "base64 malloc encode 실패. 잘못된 파라미터입니다."},
    {1007007, "base64 malloc decode 실패. 잘못된 파라미터입니다."},
    {1007010, "X509인증서 형식이 아닙니다"},
    {1007011, "X509구조체에서 공개키를 가져올수 없습니다."},
    {1007012, "인증서를 로드할 수 없습니다."},
    {1007013, "I/O 버퍼 객체를 생성할 수 없습니다."},
    {1007014, "개인키의 패스워드가 적당하지 않습니다."},
    {1007015, "공개키로 암호화 하는 중에 에러가 발생했습니다."},
    {1007016, "개인키를 읽을 수 없습니다."},
    {1007017, "개인키가 적당하지 않습니다."},
    {1007020, "키를 생성할 수가 없습니다."},
    {1007021, "개인키를 PEM 구조체로 변환하지 못하였습니다."},
    {1007022, "공개키를 PEM 구조체로 변환하지 못하였습니다."},
    {1007024, "개인키로 복호화 하는 중에 에러가 발생했습니다."},
    {1007025, "공개키로 복호화 하는 중에 에러가 발생했습니다."},
    {1007026, "ASN1_UTCTIME에서 localtime 얻기를 실패했습니다."},
    {1007027, "공개키를 읽을 수 없습니다."},
    {1007028, "공개키 파일이 비어있습니다."},
    {1007029, "알수없는 DIGEST 메시지 입니다."},
    {1007030, "대칭키 암/복호화에 실패하였습니다."},
    {1007031, "PKCS8구조체에서 개인키 추출에 실패하였습니다"},
    {1007032, "개인키 복호화에 실패하였습니다."},
    {1007033, "개인키를 I/O버퍼에 쓸수 없습니다."},
    {1007034, "X509_STORE 생성에 실패 하였습니다."},
    {1007035, "인증서 유효성 검증에 실패 하였습니다."},
    {1007036, "인증서를 X509형태로 변환하는데 실패 하였습니다."},
    {1007038, "인증서를 PEM 형태로 변환하는데 실패 하였습니다."},
    {1007039, "X509에서 EXT를 가져오는데 실패 하였습니다."},
    {1007040, "X509V3에서 EXT를 가져오는데 실패 하였습니다."},
    {1007041, "라이브러리 초기화에 실패했습니다."},
    {1007042, "알수없는 알고리즘명입니다."},
    {1008001, "Config 파일을 찾을 수 없습니다."},
    {1008002, "config 파일에 설정이 올바르지 않습니다."},
    {1009001, "seed 데이타가 없습니다"},
    {1009002, "확장E2E 데이타의 길이가 올바르지 않습니다."},
    {1009003, "확장E2E 데이타가 올바르게 복호화되지 않았습니다."},
    {1009400, "Config 파일을 열기 실패했습니다."},
    {1009401, "Config파일에 내용이 없습니다."},
};

constexpr const char* kUndefined = "정의되지 않은 에러입니다.";

// The texts converted once to EUC-KR, the encoding of the library's messages.
struct LegacyTexts {
    std::string undefined;
    std::string texts[std::size(kLegacy)];
};

std::string toEucKr(const char* utf8) {
    zcore::MallocPtr<char> euc(VCL_ConvertUTF8ToEUCKR(utf8));
    return euc ? std::string(euc.get()) : std::string(utf8);
}

const LegacyTexts& legacyTexts() {
    static const LegacyTexts texts = [] {
        LegacyTexts t;
        t.undefined = toEucKr(kUndefined);
        for (size_t i = 0; i < std::size(kLegacy); ++i) t.texts[i] = toEucKr(kLegacy[i].text);
        return t;
    }();
    return texts;
}

// The n-th token (from 1) of text split at the whole delimiter, the way
// VCL_str_tokenizer takes them; nullopt when text has fewer tokens.
std::optional<std::string_view> nthToken(std::string_view text, std::string_view delimiter, int n) {
    std::string_view token;
    for (int i = 0; i < n; ++i) {
        if (text.empty()) return std::nullopt;
        size_t matched = 0, end = text.size(), next = text.size();
        for (size_t k = 0; k < text.size(); ++k) {
            if (matched < delimiter.size() && text[k] == delimiter[matched]) {
                if (++matched == delimiter.size()) {
                    end = k + 1 - matched;
                    next = k + 1;
                    break;
                }
            } else {
                matched = 0;  // the mismatching character does not start a new run
            }
        }
        if (delimiter.empty()) end = next = text.size();
        token = text.substr(0, end);
        text.remove_prefix(next);
    }
    return token;
}

// atoi of the text's leading number, or nullopt when it does not fit an int.
std::optional<int> leadingNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace

extern "C" {

VCL_API const char* VCL_Get_Error_Msg(int code) {
    thread_local char message[kMessageSize];
    const int category = static_cast<int>(static_cast<unsigned>(code) >> 16);
    const unsigned reason = static_cast<unsigned>(code) & 0xFFFFu;
    const Category* row = nullptr;
    for (const auto& c : kCategories) {
        if (c.category == category) {
            row = &c;
            break;
        }
    }
    const char* text = kReasons[0];
    if (row && reason <= VCL_R_LAST) text = kReasons[reason];
    std::snprintf(message, sizeof message, "%s%s", row ? row->prefix : kCategories[0].prefix, text);
    return message;
}

VCL_API const char* VCL_GetErrorString(int code) {
    const LegacyTexts& texts = legacyTexts();
    for (size_t i = 0; i < std::size(kLegacy); ++i)
        if (kLegacy[i].code == code) return texts.texts[i].c_str();
    return texts.undefined.c_str();
}

VCL_API int VCL_GetLastError(void) { return zcore::lastError(); }

VCL_API const char* VCL_Get_Version(void) { return VCL_CORE_VERSION; }
VCL_API const char* VCL_Get_Crypto_Version(void) { return VSC_Get_Crypto_Version(); }
VCL_API const char* VCL_Get_Pki_Version(void) { return get_PkiVersion(); }

VCL_API char* VCL_str_tokenizer(char* token, char* text, const char* delimiter) {
    if (!token || !text || !delimiter || !*text) return nullptr;
    const size_t textLen = std::strlen(text);
    const size_t delimLen = std::strlen(delimiter);
    size_t matched = 0;
    for (size_t k = 0; k < textLen; ++k) {
        token[k] = text[k];
        if (matched < delimLen && text[k] == delimiter[matched]) {
            if (++matched == delimLen) {
                token[k + 1 - matched] = '\0';
                return text + k + 1;
            }
        } else {
            matched = 0;
        }
    }
    token[textLen] = '\0';
    return text + textLen;
}

VCL_API int VCL_str_get_int_tok(const char* text, const char* delimiter, int n) {
    if (!text || !delimiter || n < 1) return -1;
    auto token = nthToken(text, delimiter, n);
    if (!token || token->empty()) return -1;
    return leadingNumber(*token).value_or(-1);
}

VCL_API int VCL_convert_version_int(const char* version) {
    if (!version) return -1;
    std::string digits;
    for (const char* p = version; *p; ++p)
        if (*p != '.') digits += *p;
    return leadingNumber(digits).value_or(-1);
}

VCL_API int VCL_str_cmp_Version(const char* a, const char* b) {
    if (!a || !b) return -1;
    for (int i = 1; i <= 4; ++i) {
        const int x = VCL_str_get_int_tok(a, ".", i);
        const int y = VCL_str_get_int_tok(b, ".", i);
        if (x == -1 || y == -1) {
            if (x == y) return 0;
            return x == -1 ? -1 : 1;
        }
        // Both are non-negative here, so the difference cannot overflow.
        if (x != y) return x - y;
    }
    return 0;
}

VCL_API int VCL_CMP_Version(const char* a, const char* b) { return VCL_str_cmp_Version(a, b); }

VCL_API int VCL_Check_Version(const char* crypto_min, const char* pki_min, const char* core_min) {
    if (!crypto_min || !pki_min || !core_min) return VCL_CORE_CODE(VCL_CAT_STRING_CHECK_VERSION, VCL_R_NULL_PARAM);
    if (VCL_str_cmp_Version(VSC_Get_Crypto_Version(), crypto_min) < 0)
        return VCL_CORE_CODE(VCL_CAT_STRING_CHECK_VERSION, VCL_R_CRYPTO_VERSION_LOW);
    if (VCL_str_cmp_Version(get_PkiVersion(), pki_min) < 0)
        return VCL_CORE_CODE(VCL_CAT_STRING_CHECK_VERSION, VCL_R_PKI_VERSION_LOW);
    if (VCL_str_cmp_Version(VCL_CORE_VERSION, core_min) < 0)
        return VCL_CORE_CODE(VCL_CAT_STRING_CHECK_VERSION, VCL_R_CORE_VERSION_LOW);
    return 0;
}

}  // extern "C"

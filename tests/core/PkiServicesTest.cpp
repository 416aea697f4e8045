// What the core library calls of libzunPKI, through its public headers only,
// as the library landed. Every name the core uses is listed once (the file
// compiles and links only when all exist); where the landed library differs
// from what the core was first written against, the difference is shown.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <type_traits>

#include <zunCore/log.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/base64.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/convert.h>
#include <zunPKI/asn1/pem.h>
#include <zunPKI/asn1/stack.h>
#include <zunPKI/asn1/time64.h>
#include <zunPKI/asn1/utils.h>
#include <zunPKI/pkcs/cms.h>
#include <zunPKI/pkcs/cms_env.h>
#include <zunPKI/pkcs/cms_sign.h>
#include <zunPKI/pkcs/ocsp.h>
#include <zunPKI/pkcs/kisa.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs11.h>
#include <zunPKI/pkcs/pkcs12.h>
#include <zunPKI/pkcs/pkcs12_safe.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs7.h>
#include <zunPKI/pkcs/pkcs7_env.h>
#include <zunPKI/pkcs/pkcs7_sign.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/rsa_param.h>
#include <zunPKI/x509/vid.h>
#include <zunPKI/x509/x509.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509_sig.h>
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_crldp.h>
#include <zunPKI/x509/x509v3_gn.h>
#include <zunPKI/x509/x509v3_policy.h>

#include "CoreHelpers.h"

namespace {

struct Named {
    const char* name;
    const void* address;
};
#define NAMED(fn) \
    Named { #fn, reinterpret_cast < const void*>(&fn) }

// The ASN.1 core: nodes, strings, times, identifiers, stacks, Base64, DER,
// PEM and files.
const Named kAsn1[] = {
    NAMED(ASN1_STRING_to_binary),
    NAMED(ASN1_STRING_to_Seq),
    NAMED(ASN1_to_binary),
    NAMED(addToDERSequence),
    NAMED(add_UTC_TIME),
    NAMED(asn1TimeToGENERALIZED_TIME),
    NAMED(asn1TimeToUTC_TIME),
    NAMED(binaryToBIT_STRING),
    NAMED(binary_to_File),
    NAMED(charToASN1_TIME),
    NAMED(cmp_ASN1_STRING),
    NAMED(cmp_GENERALIZED_TIME),
    NAMED(cmp_UTC_TIME),
    NAMED(decodeToBERBitString),
    NAMED(decodeToDERASN1String),
    NAMED(decodeToDERBitString),
    NAMED(decodeToDEROctetString),
    NAMED(decodeToDERSequence),
    NAMED(decode_Base64),
    NAMED(decode_PEM),
    NAMED(dump_ASN1STRING),
    NAMED(dump_hex),
    NAMED(dup_ASN1_STRING),
    NAMED(dup_ASN1_TIME),
    NAMED(dup_STACK),
    NAMED(encode_Base64),
    NAMED(encode_Base64_Line),
    NAMED(encode_PEM),
    NAMED(File_to_binary),
    NAMED(free_ASN1_STRING),
    NAMED(free_ASN1_TIME),
    NAMED(free_ASN1_UNIT),
    NAMED(free_BIT_STRING),
    NAMED(free_OBJECT_IDENTIFIER),
    NAMED(free_OCTET_STRING),
    NAMED(free_STACK_values),
    NAMED(free_UTC_TIME),
    NAMED(getCurrentGMTime),
    NAMED(getDERChildAt),
    NAMED(getSequenceChildNum),
    NAMED(get_ASN1_hash),
    NAMED(get_CipherID_from_OID),
    NAMED(get_DigestID_from_OID),
    NAMED(get_OBJECT_IDENTIFIER),
    NAMED(get_OID_from_DigestID),
    NAMED(get_PkiVersion),
    NAMED(get_STACK_count),
    NAMED(get_STACK_value),
    NAMED(index_from_OBJECT_IDENTIFIER),
    NAMED(index_from_oid_string),
    NAMED(index_to_OBJECT_IDENTIFIER),
    NAMED(insert_STACK_value),
    NAMED(ln_from_index),
    NAMED(new_ASN1_STRING),
    NAMED(new_ASN1_TIME),
    NAMED(localtime64_r),
    NAMED(gmtime64_r),
    NAMED(new_ASN1_UNIT),
    NAMED(new_OBJECT_IDENTIFIER),
    NAMED(new_OCTET_STRING),
    NAMED(new_STACK),
    NAMED(new_UTC_TIME),
    NAMED(OID_LIST),
    NAMED(pop_STACK_value),
    NAMED(readDER_from_Binary),
    NAMED(readPEM_from_Binary),
    NAMED(sn_from_index),
    NAMED(utcTimeToASN1_TIME),
    NAMED(writeDER_to_Binary),
    NAMED(writePEM_to_Binary),
};

// Certificates, names, extensions, CRLs and keys.
const Named kX509[] = {
    NAMED(add_X509_ATTRIBUTES_OID_INDEX),
    NAMED(ASYMMETRIC_KEY_to_RSA_UNIT),
    NAMED(BITSTRING_to_KCDSA_KEY),
    NAMED(BITSTRING_to_RSA_KEY),
    NAMED(add_X509_ATTRIBUTES_child),
    NAMED(add_X509_ATTRIBUTE_data),
    NAMED(check_VID),
    NAMED(check_X509_keypair),
    NAMED(check_X509_RSA_keypair),
    NAMED(cmp_X509_CERT),
    NAMED(cmp_X509_NAME),
    NAMED(cmp_X509_NAME_canonical),
    NAMED(decode_KCDSASignatureValue),
    NAMED(dup_ASYMMETRIC_KEY),
    NAMED(encode_KCDSASignatureValue),
    NAMED(free_ASYMMETRIC_KEY),
    NAMED(free_X509_ALGO_IDENTIFIER),
    NAMED(free_X509_ATTRIBUTE),
    NAMED(free_X509_ATTRIBUTES),
    NAMED(free_X509_CERT),
    NAMED(free_X509_CERTIFICATES),
    NAMED(free_X509_CRL),
    NAMED(free_X509_PUBKEY),
    NAMED(free_X509_SIGN),
    NAMED(free_X509_TIME),
    NAMED(get_X509_ATTRIBUTE_count),
    NAMED(get_X509_ATTRIBUTE_data),
    NAMED(get_X509_ATTRIBUTE_data_type),
    NAMED(get_X509_ATTRIBUTES_child),
    NAMED(get_X509_ATTRIBUTES_count),
    NAMED(get_X509_ATTRIBUTES_index_by_OID_index),
    NAMED(get_X509_AUX_localkey),
    NAMED(get_X509_CRL_ext),
    NAMED(get_X509_CRL_ext_count),
    NAMED(get_X509_CRL_issuer),
    NAMED(get_X509_CRL_nextUpdate),
    NAMED(get_X509_CRL_thisUpdate),
    NAMED(get_X509_EXTENSION),
    NAMED(get_X509_EXTENSION_count),
    NAMED(get_X509_EXTENSION_data),
    NAMED(get_X509_EXTENSION_index_by_OID_index),
    NAMED(get_X509_NAME_CHILD),
    NAMED(get_X509_NAME_CHILD_data),
    NAMED(get_X509_NAME_CHILD_OID),
    NAMED(get_X509_NAME_count),
    NAMED(get_X509_REVOKED),
    NAMED(get_X509_REVOKED_CRLreason),
    NAMED(get_X509_REVOKED_ext),
    NAMED(get_X509_REVOKED_ext_count),
    NAMED(get_X509_REVOKED_revocationDate),
    NAMED(get_X509_sig_alg),
    NAMED(get_X509_SPKI),
    NAMED(get_X509_issuer),
    NAMED(get_X509_notAfter),
    NAMED(get_X509_notBefore),
    NAMED(get_X509_serial),
    NAMED(get_X509_sig_value),
    NAMED(get_X509_signature),
    NAMED(get_X509_subject),
    NAMED(get_X509_version),
    NAMED(new_ASYMMETRIC_KEY),
    NAMED(new_X509_ALGO_IDENTIFIER),
    NAMED(new_X509_ATTRIBUTE),
    NAMED(new_X509_ATTRIBUTES),
    NAMED(new_X509_CERTIFICATES),
    NAMED(new_X509_PUBKEY),
    NAMED(new_X509_SIGN),
    NAMED(new_X509_TIME),
    NAMED(Seq_to_AUTHORITY_INFO_ACCESS),
    NAMED(Seq_to_AUTHORITY_KEYID),
    NAMED(Seq_to_BASIC_CONSTRAINTS),
    NAMED(Seq_to_CERTIFICATE_POLICIES),
    NAMED(Seq_to_CRL_DIST_POINTS),
    NAMED(Seq_to_GENERAL_NAMES),
    NAMED(Seq_to_KISA_IDENTIFY_DATA),
    NAMED(Seq_to_NAME_CONSTRAINTS),
    NAMED(Seq_to_POLICY_CONSTRAINTS),
    NAMED(Seq_to_POLICY_MAPPINGS),
    NAMED(Seq_to_X509_ALGO_IDENTIFIER),
    NAMED(Seq_to_X509_ATTRIBUTES),
    NAMED(Seq_to_X509_CERT),
    NAMED(Seq_to_X509_CRL),
    NAMED(Seq_to_X509_PUBKEY),
    NAMED(Seq_to_X509_SIGN),
    NAMED(Seq_to_issuing_DIST_POINT),
    NAMED(Seq_to_issuing_DIST_POINTS),
    NAMED(set_X509_ALGO_IDENTIFIER_value),
    NAMED(verify_SIG_X509_CERT),
    NAMED(verify_SIG_X509_CRL),
    NAMED(verify_X509_validity),
    NAMED(X509_ATTRIBUTES_to_Seq),
    NAMED(X509_CERT_to_Seq),
    NAMED(X509_NAME_to_Seq),
    NAMED(X509_PUBKEY_to_Seq),
    NAMED(X509_SIGN_to_Seq),
    NAMED(new_RSAES_OAEP_PARAM),
    NAMED(free_RSAES_OAEP_PARAM),
    NAMED(cmp_ISSUER_AND_SERIAL_NUMBER),
    NAMED(find_X509_CERT_by_IssuerAndSerialNumber),
};

// What the certificate information and checks call besides.
const Named kCertificateChecks[] = {
    NAMED(cmp_X509_NAME_canonical),
    NAMED(get_KISA_IDENTIFY_DATA_from_extensions),
    NAMED(free_KISA_IDENTIFY_DATA),
    NAMED(Seq_to_EXTENDED_KEY_USAGE),
    NAMED(free_EXTENDED_KEY_USAGE),
    NAMED(free_GENERAL_NAMES),
    NAMED(free_CERTIFICATE_POLICIES),
    NAMED(free_AUTHORITY_KEYID),
    NAMED(free_CRL_DIST_POINTS),
    NAMED(free_AUTHORITY_INFO_ACCESS),
    NAMED(get_X509_REVOKED),
    NAMED(get_X509_REVOKED_count),
    NAMED(get_X509_REVOKED_ext_index_by_OID_index),
    NAMED(get_X509_ATTRIBUTES_index_by_OID_index),
    NAMED(get_X509_ATTRIBUTE_count),
    NAMED(get_X509_ATTRIBUTE_data),
    NAMED(get_X509_ATTRIBUTE_data_type),
    NAMED(getASN1ValueLength),
    NAMED(set_ASN1_STRING_value),
    NAMED(timegm64),
    NAMED(X509_SIGN_to_Seq),
    NAMED(decodeToDERBitString),
};

// PKCS#1, #5, #7, #8 and #12 (CMS, OCSP, PKCS#11 and the KISA token lists
// come with their own modules).
const Named kPkcs[] = {
    NAMED(P12_PFX_to_Seq),
    NAMED(P7_CONTENT_INFO_to_Seq),
    NAMED(P7_DIGESTED_DATA_to_Seq),
    NAMED(P7_ENCRYPTED_DATA_to_Seq),
    NAMED(P7_ENVELOPED_DATA_to_Seq),
    NAMED(P7_SIGNED_AND_ENVELOPED_DATA_to_Seq),
    NAMED(P7_SIGNED_DATA_to_Seq),
    NAMED(P8_ENCRYPTED_KEY_to_Seq),
    NAMED(P8_PRIV_KEY_INFO_to_Seq),
    NAMED(PBKDF1),
    NAMED(PBKDF2),
    NAMED(PKCS12_add_safe),
    NAMED(PKCS12_add_safes),
    NAMED(Seq_to_P12_PFX),
    NAMED(Seq_to_P7_CONTENT_INFO),
    NAMED(Seq_to_P8_ENCRYPTED_KEY),
    NAMED(Seq_to_P8_PRIV_KEY_INFO),
    NAMED(Seq_to_PKCS1_RSA_PRIVATE_KEY),
    NAMED(add_PKCS12_LKID),
    NAMED(add_PKCS12_cert),
    NAMED(add_PKCS12_friendlyname_ASC),
    NAMED(add_PKCS12_keyinfo),
    NAMED(add_PKCS7_Certificate),
    NAMED(add_PKCS7_Recipient),
    NAMED(add_PKCS7_Recipient_withEncryptedAlgorithm),
    NAMED(add_PKCS7_Signature),
    NAMED(add_PKCS7_Signed_Attribute),
    NAMED(add_PKCS7_Unauthenticated_Attribute),
    NAMED(cmp_P7_ISSUER_AND_SERIAL_NUMBER),
    NAMED(decrypt_PBES1),
    NAMED(decrypt_PBES1_KISA),
    NAMED(decrypt_PBES2),
    NAMED(decrypt_PKCS5),
    NAMED(decrypt_PKCS7),
    NAMED(decrypt_PKCS7_enveloped_CEK),
    NAMED(encrypt_PBES1),
    NAMED(encrypt_PBES1_KISA),
    NAMED(encrypt_PBES2),
    NAMED(encrypt_PKCS5),
    NAMED(encrypt_PKCS5_ex),
    NAMED(encrypt_PKCS5_prf),
    NAMED(encrypt_PKCS7),
    NAMED(encrypt_PKCS7_userKEY),
    NAMED(free_P12_AUTH_SAFE),
    NAMED(free_P12_SAFEBAGS),
    NAMED(free_P5_PBE_PARAM),
    NAMED(free_P7_CONTENT_INFO),
    NAMED(free_P7_SIGNER_INFO),
    NAMED(free_P8_PRIV_KEY_INFO),
    NAMED(free_PKCS12),
    NAMED(free_PKCS1_RSA_PRIVATE_KEY),
    NAMED(free_PKCS8),
    NAMED(gen_P8_PRIV_KEY_INFO),
    NAMED(get_PKCS5_scheme),
    NAMED(get_PKCS7_ENCRYPTED_CONTENT_length),
    NAMED(get_PKCS8_P5_PBE_PARAM),
    NAMED(get_RSA_UNIT_from_PKCS1_RSA_PRIVATE_KEY),
    NAMED(import_PKCS12),
    NAMED(new_P5_PBE_PARAM),
    NAMED(new_P7_CONTENT_INFO),
    NAMED(new_P7_SIGNER_INFO),
    NAMED(new_PKCS7_Content),
    NAMED(new_PKCS8),
    NAMED(readPKCS1_from_Binary),
    NAMED(set_P7_version),
    NAMED(set_PKCS12_mac),
    NAMED(set_PKCS7_Type),
    NAMED(sign_PKCS7),
    NAMED(sign_encrypt_PKCS7),
    NAMED(sign_encrypt_PKCS7_userKEY),
    NAMED(verify_PKCS7),
    NAMED(verify_decrypt_PKCS7),
    NAMED(writePKCS1PrivateKey_to_Binary),
    NAMED(writePKCS1PublicKey_to_Binary),
};

// CMS messages and OCSP requests and responses.
const Named kCmsOcsp[] = {
    NAMED(add_CMS_Certificate),
    NAMED(add_CMS_Recipient),
    NAMED(add_CMS_Signature),
    NAMED(add_CMS_Signed_Attribute),
    NAMED(CMS_CONTENT_INFO_to_Seq),
    NAMED(decrypt_CMS),
    NAMED(decrypt_content_encryption_key),
    NAMED(encrypt_CMS),
    NAMED(encrypt_CMS_userKEY),
    NAMED(free_CMS_CONTENT_INFO),
    NAMED(free_ENCAPSULATED_CONTENT_INFO),
    NAMED(new_CMS_Content),
    NAMED(new_CMS_CONTENT_INFO),
    NAMED(new_ENCAPSULATED_CONTENT_INFO),
    NAMED(Seq_to_CMS_CONTENT_INFO),
    NAMED(set_CMS_Cipher),
    NAMED(set_CMS_Type),
    NAMED(set_CMS_version),
    NAMED(set_ENCAPSULATED_CONTENT_INFO),
    NAMED(sign_CMS),
    NAMED(verify_CMS),
    NAMED(add_single_OCSP_RESPONSE),
    NAMED(free_BASIC_OCSP_RESPONSE),
    NAMED(free_GENERALIZED_TIME),
    NAMED(free_OCSP_REQUEST),
    NAMED(free_OCSP_RESPONSE),
    NAMED(free_OCSP_RESPONSE_BYTES),
    NAMED(free_OCSP_RESPONSE_DATA),
    NAMED(free_OCSP_REVOKED_INFO),
    NAMED(free_OCSP_SINGLE_REQUEST),
    NAMED(generate_BASIC_OCSP_RESPONSE_Ex),
    NAMED(generate_OCSP_RESPONSE),
    NAMED(generate_OCSP_RESPONSE_BYTES),
    NAMED(generate_OCSP_RESPONSE_DATA),
    NAMED(generate_single_OCSP_REQUEST_Ex),
    NAMED(get_BASIC_OCSP_RESPONSE),
    NAMED(get_OCSP_REQUEST_list),
    NAMED(get_OCSP_REQUEST_list_count),
    NAMED(get_OCSP_REQUEST_nonce),
    NAMED(get_OCSP_REQUEST_signature_cert),
    NAMED(get_X509_PUBLIC_KEY_hash),
    NAMED(hash_X509_NAME),
    NAMED(is_OCSP_REQUEST_signature),
    NAMED(new_BASIC_OCSP_RESPONSE),
    NAMED(new_OCSP_REQUEST),
    NAMED(new_OCSP_REVOKED_INFO),
    NAMED(new_OCSP_SINGLE_REQUEST),
    NAMED(OCSP_REQUEST_to_Seq),
    NAMED(OCSP_RESPONSE_DATA_to_Seq),
    NAMED(OCSP_RESPONSE_to_Seq),
    NAMED(OCSP_REVOKED_INFO_to_Seq),
    NAMED(OCSP_SINGLE_REQUEST_to_Seq),
    NAMED(Seq_to_OCSP_REQUEST),
    NAMED(Seq_to_OCSP_RESPONSE),
    NAMED(Seq_to_OCSP_RESPONSE_DATA),
    NAMED(Seq_to_OCSP_REVOKED_INFO),
    NAMED(Seq_to_OCSP_SINGLE_REQUEST),
    NAMED(sign_OCSP_REQUEST_Ex),
    NAMED(verify_BASIC_OCSP_RESPONSE_Ex),
    NAMED(verify_OCSP_REQUEST_Ex),
};

// The token functions: the PKCS#11 loader and its wrappers, the driver lists.
const Named kTokens[] = {
    NAMED(_load_pkcs11_module),
    NAMED(_unload_pkcs11_module),
    NAMED(p11_C_CloseSession),
    NAMED(p11_C_CreateObject),
    NAMED(p11_C_Decrypt),
    NAMED(p11_C_DecryptInit),
    NAMED(p11_C_DestroyObject),
    NAMED(p11_C_Digest),
    NAMED(p11_C_DigestInit),
    NAMED(p11_C_Encrypt),
    NAMED(p11_C_EncryptInit),
    NAMED(p11_C_Finalize),
    NAMED(p11_C_FindObjects),
    NAMED(p11_C_FindObjectsFinal),
    NAMED(p11_C_FindObjectsInit),
    NAMED(p11_C_GenerateKeyPair),
    NAMED(p11_C_GetAttributeValue),
    NAMED(p11_C_GetSlotList),
    NAMED(p11_C_GetTokenInfo),
    NAMED(p11_C_Initialize),
    NAMED(p11_C_Login),
    NAMED(p11_C_Logout),
    NAMED(p11_C_OpenSession),
    NAMED(p11_C_Sign),
    NAMED(p11_C_SignInit),
    NAMED(p11_C_Verify),
    NAMED(p11_C_VerifyInit),
    NAMED(Seq_to_KISA_HSM_SIGNATURE_VALUE),
    NAMED(free_KISA_HSM_SIGNATURE_VALUE),
    NAMED(verify_KISA_HSM_SIGNATURE_VALUE),
};

TEST(PkiServices, EveryNameTheCoreCallsIsThere) {
    for (const auto& n : kAsn1) EXPECT_NE(n.address, nullptr) << n.name;
    for (const auto& n : kX509) EXPECT_NE(n.address, nullptr) << n.name;
    for (const auto& n : kPkcs) EXPECT_NE(n.address, nullptr) << n.name;
    for (const auto& n : kCertificateChecks) EXPECT_NE(n.address, nullptr) << n.name;
    for (const auto& n : kTokens) EXPECT_NE(n.address, nullptr) << n.name;
    for (const auto& n : kCmsOcsp) EXPECT_NE(n.address, nullptr) << n.name;
}

// Response data is written only with at least one SingleResponse, and read
// with none: the responder's data before its first entry is written with the
// responses replaced by an empty SEQUENCE.
TEST(PkiServices, ResponseDataWithoutEntries) {
    OCSP_RESPONSE_DATA* data = new_OCSP_RESPONSE_DATA();
    data->responderID->type = OCSP_RESPONDER_BY_KEY;
    data->responderID->byKey = new_OCTET_STRING(reinterpret_cast<const unsigned char*>("k"), 1);
    data->producedAt = decodeToDERASN1String(reinterpret_cast<const unsigned char*>("\x18\x0f"
                                                                                    "20250101000000Z"),
                                             17);
    ASN1_UNIT* node = nullptr;
    EXPECT_NE(OCSP_RESPONSE_DATA_to_Seq(data, &node), 0);
    free_ASN1_UNIT(node);
    free_OCSP_RESPONSE_DATA(data);
    const unsigned char der[] = {0x30, 0x18, 0xa2, 0x03, 0x04, 0x01, 'k', 0x18, 0x0f, '2', '0', '2',  '5',
                                 '0',  '1',  '0',  '1',  '0',  '0',  '0', '0',  '0',  '0', 'Z', 0x30, 0x00};
    ASN1_UNIT* read = decodeToDERSequence(der, sizeof der);
    BASIC_OCSP_RESPONSE* holder = new_BASIC_OCSP_RESPONSE();
    EXPECT_EQ(Seq_to_OCSP_RESPONSE_DATA(read, holder), 0);
    EXPECT_EQ(get_STACK_count(holder->tbsResponseData->responses), 0);
    free_BASIC_OCSP_RESPONSE(holder);
    free_ASN1_UNIT(read);
}

// Lengths and handles cross the loader as CK_ULONG; a wrapper without a
// bound function answers 400; the loader's caps are what the core's limits
// assume.
static_assert(std::is_same_v<decltype(&p11_C_GetSlotList), CK_RV (*)(CK_ULONG, CK_SLOT_ID_PTR, CK_ULONG_PTR)>);
static_assert(P11_NOT_BOUND == 400 && P11_MAX_VALUE_LEN == (1u << 20));

// The decoders take the length of the bytes; the core passes it.
static_assert(
    std::is_same_v<decltype(&readDER_from_Binary), PKI_ERROR (*)(void**, ASN1_DECODE_FUNC, const unsigned char*, int)>);
static_assert(std::is_same_v<decltype(&decodeToDERSequence), ASN1_UNIT* (*)(const unsigned char*, int)>);
static_assert(std::is_same_v<decltype(&decodeToDEROctetString), OCTET_STRING* (*)(const unsigned char*, int)>);
static_assert(std::is_same_v<decltype(&decodeToDERBitString), BIT_STRING* (*)(const unsigned char*, int)>);
static_assert(std::is_same_v<decltype(&decodeToDERASN1String), ASN1_STRING* (*)(const unsigned char*, int)>);
// Digest ids come from a table row, not from an identifier.
static_assert(std::is_same_v<decltype(&get_DigestID_from_OID), int (*)(int)>);
// Public-key bits decode into the crypto layer's key units.
static_assert(std::is_same_v<decltype(&BITSTRING_to_RSA_KEY), PKI_ERROR (*)(const BIT_STRING*, RSA_UNIT**)>);
static_assert(std::is_same_v<decltype(&BITSTRING_to_KCDSA_KEY), PKI_ERROR (*)(const BIT_STRING*, KCDSA_UNIT**)>);
// PBES2 decryption takes the IV's length.
static_assert(std::is_same_v<decltype(&decrypt_PBES2),
                             PKI_ERROR (*)(const unsigned char*, int, const char*, int, const unsigned char*, int, int,
                                           unsigned char*, int*, const unsigned char*, int, int, int)>);

TEST(PkiServices, NullInputGivesTheReadersCodes) {
    void* value = nullptr;
    auto decoder = reinterpret_cast<ASN1_DECODE_FUNC>(&Seq_to_X509_CERT);
    EXPECT_EQ(static_cast<unsigned>(readDER_from_Binary(&value, decoder, nullptr, 10)), 0x4300002Bu);
    EXPECT_EQ(static_cast<unsigned>(readPEM_from_Binary(&value, decoder, nullptr, 10)), 0x4E00002Bu);
    const unsigned char junk[] = {0x30, 0x05, 0x02};
    EXPECT_EQ(static_cast<unsigned>(readDER_from_Binary(&value, decoder, junk, sizeof junk)), 0x4300004Fu);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(decodeToDERSequence(nullptr, 4), nullptr);
    EXPECT_EQ(decodeToDEROctetString(nullptr, 4), nullptr);
}

// Issuer names are compared as RFC 5280 compares them, beside the byte
// comparison of cmp_X509_NAME.
static_assert(std::is_same_v<decltype(&cmp_X509_NAME_canonical), int (*)(const X509_NAME*, const X509_NAME*)>);

TEST(PkiServices, DigestIdsByRow) {
    const int sha256 = index_from_oid_string("2.16.840.1.101.3.4.2.1", 22);
    ASSERT_GT(sha256, 0);
    EXPECT_EQ(get_DigestID_from_OID(sha256), VSC_DIGEST_SHA256);
    EXPECT_EQ(get_OID_from_DigestID(VSC_DIGEST_SHA256), sha256);
    // sha256WithRSAEncryption implies the same digest.
    EXPECT_EQ(get_DigestID_from_OID(index_from_oid_string("1.2.840.113549.1.1.11", 21)), VSC_DIGEST_SHA256);
    EXPECT_EQ(get_DigestID_from_OID(0), 0);
}

TEST(PkiServices, StringToBinaryGivesTheWholeTlv) {
    OCTET_STRING* s = new_OCTET_STRING(reinterpret_cast<const unsigned char*>("ab"), 2);
    unsigned char* der = nullptr;
    const int n = ASN1_STRING_to_binary(s, &der);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(der), 4), std::string("\x04\x02"
                                                                        "ab",
                                                                        4));
    VSC_FREE(der);
    free_OCTET_STRING(s);
}

UTC_TIME* utcTime(const std::string& text) {
    const std::string der = std::string("\x17") + static_cast<char>(text.size()) + text;
    return decodeToDERASN1String(reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
}

TEST(PkiServices, TimeComparisonsAndConversions) {
    UTC_TIME* a = utcTime("250101000000Z");
    UTC_TIME* b = utcTime("250101000001Z");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(cmp_UTC_TIME(a, b), -1);
    EXPECT_EQ(cmp_UTC_TIME(b, a), 1);
    EXPECT_EQ(cmp_UTC_TIME(a, a), 0);
    // An unreadable value is neither earlier nor later: test for it first.
    UTC_TIME* bad = utcTime("251301000000Z");
    ASSERT_TRUE(bad);
    EXPECT_EQ(cmp_UTC_TIME(a, bad), ASN1_TIME_CMP_ERROR);
    free_UTC_TIME(bad);
    free_UTC_TIME(a);
    free_UTC_TIME(b);

    // A Z form converts the caller's local calendar time to UTC in place:
    // the core passes a copy.
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "Asia/Seoul", 1);
    tzset();
    ASN1_TIME* local = charToASN1_TIME("2025-06-01,09:00:00");
    ASSERT_TRUE(local);
    ASN1_TIME* copy = dup_ASN1_TIME(local);
    UTC_TIME* z = asn1TimeToUTC_TIME(copy, UTC_TIME_YYMMDDHHMMSSZ);
    ASSERT_TRUE(z);
    EXPECT_STREQ(reinterpret_cast<char*>(z->data), "250601000000Z");
    EXPECT_EQ(copy->tm_hour, 0);   // overwritten with UTC
    EXPECT_EQ(local->tm_hour, 9);  // the original is untouched
    free_UTC_TIME(z);
    free_ASN1_TIME(copy);
    free_ASN1_TIME(local);
    // UTCTime holds 1950-2049 only.
    ASN1_TIME* late = charToASN1_TIME("2050-06-01,09:00:00");
    ASSERT_TRUE(late);
    EXPECT_EQ(asn1TimeToUTC_TIME(late, UTC_TIME_YYMMDDHHMMSSZ), nullptr);
    free_ASN1_TIME(late);
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// A certificate valid from 2020-01-01 00:00:00Z to 2030-01-01 00:00:00Z,
// made by python-cryptography.
std::string validityCertificate() {
    const auto r = coretest::python(
        "import datetime, sys\n"
        "from cryptography import x509\n"
        "from cryptography.hazmat.primitives import hashes, serialization\n"
        "from cryptography.hazmat.primitives.asymmetric import rsa\n"
        "k = rsa.generate_private_key(65537, 2048)\n"
        "n = x509.Name([x509.NameAttribute(x509.oid.NameOID.COMMON_NAME, 'core')])\n"
        "c = (x509.CertificateBuilder().subject_name(n).issuer_name(n).public_key(k.public_key())\n"
        "     .serial_number(1).not_valid_before(datetime.datetime(2020, 1, 1))\n"
        "     .not_valid_after(datetime.datetime(2030, 1, 1)).sign(k, hashes.SHA256()))\n"
        "sys.stdout.buffer.write(c.public_bytes(serialization.Encoding.DER))\n");
    EXPECT_EQ(r.status, 0);
    return r.output;
}

TEST(PkiServices, CertificateValidityAndKey) {
    const std::string der = validityCertificate();
    X509_CERT* cert = nullptr;
    ASSERT_EQ(
        readDER_from_Binary(reinterpret_cast<void**>(&cert), reinterpret_cast<ASN1_DECODE_FUNC>(&Seq_to_X509_CERT),
                            coretest::u8(der), coretest::len(der)),
        0);
    struct Case {
        const char* when;
        unsigned expected;
    } cases[] = {
        {"200101000000Z", 0},  // both bounds count as valid
        {"300101000000Z", 0},
        {"191231235959Z", 0x462B0113},
        {"300101000001Z", 0x462B0114},
    };
    for (const auto& c : cases) {
        X509_TIME* t = new_X509_TIME();
        t->type = X509_TIME_UTC;
        t->value = utcTime(c.when);
        EXPECT_EQ(static_cast<unsigned>(verify_X509_validity(cert, t)), c.expected) << c.when;
        free_X509_TIME(t);
    }
    // No time: the library reads time() itself, without the network-time
    // offset; the core passes its own clock when the offset matters.
    g_gap_with_ntp = 20 * 365 * 86400;
    EXPECT_EQ(verify_X509_validity(cert, nullptr), 0);
    g_gap_with_ntp = 0;

    RSA_UNIT* rsa = nullptr;
    ASSERT_EQ(BITSTRING_to_RSA_KEY(get_X509_SPKI(cert)->subjectPublicKey, &rsa), 0);
    EXPECT_EQ(VSC_Get_RSA_Length(rsa), 256);
    VSC_Free_RSA(rsa);
    free_X509_CERT(cert);
}

TEST(PkiServices, TextsOfValuesAndRows) {
    // A UTF8String with a character KS X 1001 lacks is rendered as hex.
    const std::string utf8 = "\x0c\x03\xea\xb0\x82";  // U+AC02
    ASN1_STRING* s = decodeToDERASN1String(coretest::u8(utf8), coretest::len(utf8));
    ASSERT_TRUE(s);
    char* text = dump_ASN1STRING(s);
    ASSERT_TRUE(text);
    EXPECT_STREQ(text, "EA:B0:82");
    VSC_FREE(text);
    free_ASN1_STRING(s);
    // Unused rows have no names.
    EXPECT_EQ(OID_LIST(102)->sn, nullptr);
    EXPECT_EQ(OID_LIST(102)->ln, nullptr);
    EXPECT_STREQ(OID_LIST(672)->sn, "SHA256");
    EXPECT_STREQ(OID_LIST(842)->sn, "UNDEF");  // past the table: row 0
}

TEST(PkiServices, Pkcs5OutputRoomAndIvModes) {
    const std::string plain = "0123456789abcdef-key-bytes";
    const unsigned char salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char enc[64];
    unsigned char dec[64];
    // *out_len holds the room on entry, the bytes written on return.
    for (int ivMode : {PBES1_KISA_IV_FIXED, PBES1_KISA_IV_DIGEST}) {
        int encLen = 8;  // too little room
        EXPECT_NE(encrypt_PBES1_KISA(coretest::u8(plain), coretest::len(plain), "pw", 2, salt, 8, 2048, enc, &encLen,
                                     VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA1, ivMode),
                  0);
        encLen = sizeof enc;
        ASSERT_EQ(encrypt_PBES1_KISA(coretest::u8(plain), coretest::len(plain), "pw", 2, salt, 8, 2048, enc, &encLen,
                                     VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA1, ivMode),
                  0);
        EXPECT_EQ(encLen, 32);
        int decLen = sizeof dec;
        ASSERT_EQ(decrypt_PBES1_KISA(enc, encLen, "pw", 2, salt, 8, 2048, dec, &decLen, VSC_CIPHER_SEED_CBC,
                                     VSC_DIGEST_SHA1, ivMode),
                  0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(dec), static_cast<size_t>(decLen)), plain);
    }
    unsigned char* iv = nullptr;
    int ivLen = 0;
    int encLen = sizeof enc;
    ASSERT_EQ(encrypt_PBES2(coretest::u8(plain), coretest::len(plain), "pw", 2, salt, 8, 2048, enc, &encLen, &iv,
                            &ivLen, VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA256),
              0);
    ASSERT_EQ(ivLen, 16);
    int decLen = sizeof dec;
    ASSERT_EQ(decrypt_PBES2(enc, encLen, "pw", 2, salt, 8, 2048, dec, &decLen, iv, ivLen, VSC_CIPHER_SEED_CBC,
                            VSC_DIGEST_SHA256),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dec), static_cast<size_t>(decLen)), plain);
    decLen = sizeof dec;
    EXPECT_NE(
        decrypt_PBES2(enc, encLen, "pw", 2, salt, 8, 2048, dec, &decLen, iv, 8, VSC_CIPHER_SEED_CBC, VSC_DIGEST_SHA256),
        0);  // an IV of the wrong length
    VSC_FREE(iv);
}

}  // namespace

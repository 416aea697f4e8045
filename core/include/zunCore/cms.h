/*
 * CMS (RFC 5652) messages from signer credentials: signed data with one
 * signer a call (RSA PKCS#1 v1.5, RSASSA-PSS or KCDSA), a further signer
 * added to a message, verification and signer queries, enveloped data for
 * one RSA recipient, and the message codec.
 *
 * Encodings of messages in and out: 0 Base64 on one line, 1 Base64 in lines
 * of 64 characters, 48 DER; there is no PEM form (49 and any other value:
 * 0xa7120016).
 *
 * Signed data always carries its content (id-data). The version argument is
 * the SignedData's: 1 names each signer by issuer and serial number, 3 by
 * its certificate's subjectKeyIdentifier (a certificate without one:
 * 0xa7140035); any other version is refused (0xa7140094). The signature kind
 * is 1 (PKCS#1 v1.5 for an RSA key, KCDSA for a KCDSA key) or 2 (RSASSA-PSS,
 * RSA keys only); anything else is 0xa7140035.
 *
 * Signing time: a local calendar time (NULL: now with the network-time
 * offset), written as the UTCTime of its UTC instant (YYMMDDhhmmssZ; years
 * outside 1950-2049: 0xa7140002).
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of the name lookup
 * (VCL_PK7_name_to_oid), the certificate and key readers, and the digests
 * pass through unchanged. On failure nothing is handed out. Buffers handed
 * out are NUL-terminated, one byte longer than their length, and released
 * with VCL_Free.
 */
#ifndef ZUNCORE_CMS_H
#define ZUNCORE_CMS_H

#include <zunCore/core_export.h>
#include <zunCore/keys.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/pkcs/cms.h>

/* Message encodings. */
#define VCL_CMS_BASE64 0
#define VCL_CMS_BASE64_LINES 1
#define VCL_CMS_DER 48

/* Signature kinds. */
#define VCL_CMS_SIGN_PKCS1 1
#define VCL_CMS_SIGN_PSS 2

/* Room Get_Sign_Time writes: "YYYY/MM/DD hh:mm:ss" and a NUL. */
#define VCL_CMS_SIGN_TIME_TEXT_SIZE 20

VCL_BEGIN_DECLS

/* ---- The codec ----------------------------------------------------------------
 * 0xa7120002 NULL arguments, 0xa712003b the message does not encode,
 * 0xa712003c no DER, 0xa7120023 Base64, 0xa7120001 short memory. */
VCL_API int VCL_CMS_encode_cms(const CMS_CONTENT_INFO* cms, int encoding, char** out, int* out_len);
/* A new ContentInfo (free_CMS_CONTENT_INFO). 0xa7120002 NULL, 0xa7120005
 * len <= 0, 0xa7120024 Base64, 0xa712003d not one DER element, 0xa712003e
 * not a CMS ContentInfo. */
VCL_API int VCL_CMS_decode_cms(int encoding, const void* data, int len, CMS_CONTENT_INFO** cms);
/* 0 when the bytes decode as a ContentInfo in the encoding; the decoder's
 * code otherwise. */
VCL_API int VCL_CMS_Check_Format(int in_encoding, const void* message, int length);

/* ---- Signed data ---------------------------------------------------------------
 * The signer's certificate (DER or PEM) and private key (any form the key
 * openers read, opened with the password). attr_flag 1 adds the signed
 * attributes contentType, signingTime and messageDigest (the plain maker
 * passes 1); any other value signs the content itself. Codes: 0xa7140005 no
 * data or a signer length <= 0, 0xa7140002 NULL signer fields or
 * out-pointers, 0xa7140001, 0xa7140033 / 0xa7140034 the message not set
 * up, 0xa7140035 no SignerInfo (see above; also a key that is not the
 * certificate's), 0xa7140036 the certificate not added, 0xa7140037 /
 * 0xa7140038 / 0xa7140039 an attribute not added, 0xa7140094 the version,
 * 0xa714003a signing failed; then the encoder's codes. */
VCL_API int VCL_CMS_Make_Signed_Data(const void* data, int data_len, const PKISTRINFO* signer, int kind,
                                     const char* hash_name, const ASN1_TIME* sign_time, int version, int encoding,
                                     char** out, int* out_len);
VCL_API int VCL_CMS_Make_Signed_Data_With_AttrOption(const void* data, int data_len, const PKISTRINFO* signer, int kind,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int version,
                                                     int encoding, int attr_flag, char** out, int* out_len);
/* A further signer (with the three signed attributes) over the content the
 * message carries (none: 0xa7140017); the signatures already there stay as
 * they are. The SignedData's version is the one given, or 3 when any signer
 * is named by key identifier. Codes as the maker. */
VCL_API int VCL_CMS_Add_Signed_Data(int in_encoding, const void* message, int length, const PKISTRINFO* signer,
                                    int kind, const char* hash_name, const ASN1_TIME* sign_time, int version,
                                    int encoding, char** out, int* out_len);

/* ---- Verification and signer queries ------------------------------------------
 * Signers are counted from 0; each is checked against the certificate the
 * message carries for it (by issuer and serial or by key identifier).
 * 0xa7150005 length <= 0, 0xa7150002 NULL, 0xa715003f any failed
 * verification (no SignerInfo, a missing certificate, content that differs
 * from its messageDigest, a detached message), 0xa7150017 empty content. */
VCL_API int VCL_CMS_Verify_Signed_Data(int in_encoding, const void* message, int length, char** content,
                                       int* content_len);
/* *count is 0 first. 0xa7160005, 0xa7160002, 0xa7160029 not a signedData. */
VCL_API int VCL_CMS_Get_Signer_Count(int in_encoding, const void* message, int length, int* count);
/* The certificate of the signer at index, as DER (48) or PEM (49): *cert
 * and *cert_len are cleared first. 0xa7160005, 0xa7160002, 0xa7160029 no
 * such signer, 0xa716002d its certificate not in the message, 0xa716002e /
 * 0xa716003c it does not encode, 0xa7160016 another encoding, 0xa7160001. */
VCL_API int VCL_CMS_Get_Signer_Certs(int in_encoding, const void* message, int length, int index, int encoding,
                                     char** cert, int* cert_len);
/* The signer's signingTime as "YYYY/MM/DD hh:mm:ss" in UTC into text
 * (VCL_CMS_SIGN_TIME_TEXT_SIZE bytes). 0xa7170005, 0xa7170002, 0xa7170029 no
 * such signer, 0xa717002a no signingTime that reads. */
VCL_API int VCL_CMS_Get_Sign_Time(int in_encoding, const void* message, int length, int index, char* text);

/* ---- Enveloped data ------------------------------------------------------------
 * The data encrypted under the named cipher ("SEED-CBC", "AES256-CBC", ...)
 * with key and iv of its lengths (both given) or random ones, the key
 * carried to the recipient's RSA key under rsaes_mode (32 PKCS#1 v1.5; 8
 * and 16 RSAES-OAEP with its default parameters). content_type 21, 22, 23
 * or 26 labels the encrypted content; any other is 21 (id-data).
 * 0xa7180005 data_len <= 0, 0xa7180002 NULL data or out-pointers,
 * 0xa7140005 / 0xa7140002 no recipient, 0xa7180001, 0xa7180033, 0xa7180046
 * / 0xa7180047 the algorithm, 0xa7180048 no RecipientInfo (a key that is
 * not RSA, another mode), 0xa7180049 encryption failed. */
VCL_API int VCL_CMS_Make_Enveloped_Data(const void* data, int data_len, int content_type, const CERT_ITEM* recipient,
                                        const char* cipher_name, const void* key, const void* iv, int encoding,
                                        char** out, int* out_len, int rsaes_mode);
/* Opens with the recipient's certificate and private key (password
 * NUL-terminated), the key transport tried as PKCS#1 v1.5, then OAEP.
 * key_out and iv_out (either may be NULL) receive the content key and the
 * IV the message carries: at most 32 and 16 bytes. 0xa7190005 / 0xa7190002
 * missing input, 0xa7190001, 0xa719004a no content key for this recipient,
 * 0xa719004b the content does not decrypt. */
VCL_API int VCL_CMS_Verify_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                          const void* recipient_cert, int cert_len, const void* private_key,
                                          int key_len, const char* password, unsigned char* key_out, int* key_out_len,
                                          unsigned char* iv_out, int* iv_out_len, char** content, int* content_len);

VCL_END_DECLS

#endif

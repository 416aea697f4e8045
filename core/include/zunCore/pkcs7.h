/*
 * PKCS#7 messages: signed data from signer credentials (one signer a call,
 * further signers added to a message), signed data around signatures made
 * elsewhere (a token or HSM signs the authenticated attributes), the
 * encrypted VID random, verification and signer queries, enveloped and
 * signed-and-enveloped data for one RSA recipient.
 *
 * Encodings of messages in and out: 0 Base64 on one line, 1 Base64 in lines
 * of 64 characters, 48 DER, 49 PEM ("PKCS7"); any other is 0xa7020016.
 * Flags are ints compared with 1, except the attribute flag (non-zero adds
 * contentType, signingTime and messageDigest, and is written as the version
 * of the SignedData and of every SignerInfo).
 *
 * Signing time: a local calendar time (NULL: now with the network-time
 * offset). The message carries its UTC instant as UTCTime YYMMDDhhmmssZ,
 * and the encrypted VID random is keyed from exactly that text: SHA-256
 * applied three times, bytes 0-15 the SEED key, 16-31 the IV, SEED-CBC with
 * padding. Years outside 1950-2049 are refused (0xa7040002).
 *
 * Makers around an outside signature check it with the certificate's key
 * before they hand the message out (0xa704003a when it does not verify).
 *
 * Results are 0 or a CORE_ERROR_CODE; codes of the name lookup, of the
 * certificate and key readers, of digests, ciphers and the VID random pass
 * through unchanged. On failure nothing is handed out and the out-pointers
 * are left as they were. Buffers handed out are NUL-terminated, one byte
 * longer than their length, and released with VCL_Free.
 */
#ifndef ZUNCORE_PKCS7_H
#define ZUNCORE_PKCS7_H

#include <zunCore/core_export.h>
#include <zunCore/keys.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/pkcs/pkcs7.h>

/* Message encodings (OUT_ENCODING). */
#define VCL_PK7_BASE64 0
#define VCL_PK7_BASE64_LINES 1
#define VCL_PK7_DER 48
#define VCL_PK7_PEM 49

/* Key-transport modes of the enveloping makers. */
#define VCL_PK7_RSAES_PKCS1_V15 32
#define VCL_PK7_RSAES_OAEP 8
#define VCL_PK7_RSAES_OAEP_V21 16

/* Room Get_Sign_Time writes: "YYYY/MM/DD hh:mm:ss" and a NUL. */
#define VCL_PK7_SIGN_TIME_TEXT_SIZE 20

/* The object-identifier row of the encrypted VID random (an unauthenticated
 * OCTET STRING attribute). */
#define VCL_PK7_OID_ENCRYPTED_RANDOM 836

VCL_BEGIN_DECLS

/* ---- Names and encodings ---------------------------------------------------
 * The row of a digest or cipher name, compared whole and case-sensitive:
 * MD5 4, SHA1 64, MDC2 95, SHA224 675, SHA256 672, SHA384 673, SHA512 674,
 * HAS-160 and HAS160 781; DES-, SEED-, AES128-, AES192-, AES256-, ARIA128-,
 * DES_EDE- (three-key triple DES: DES_EDE-CBC is des-ede3-cbc, 44) and RC5-
 * with ECB, CBC, OFB or CFB. 0xb1010010 for any other name, 0xb1010002 NULL
 * arguments. */
VCL_API int VCL_PK7_name_to_oid(const char* name, int* row);
/* 0xa702003b the message does not encode, 0xa702003c no DER, 0xa7020023
 * Base64, 0xa7020044 PEM, 0xa7020016 another encoding, 0xa7020002 NULL
 * arguments, 0xa7020001 short memory. */
VCL_API int VCL_PK7_encode_pkcs7(const P7_CONTENT_INFO* p7, int encoding, char** out, int* out_len);
/* A new ContentInfo (free_P7_CONTENT_INFO). 0xa7020002 NULL arguments,
 * 0xa7020005 len <= 0, 0xa7020024 Base64, 0xa7020045 PEM, 0xa702003d not one
 * DER element, 0xa702003e not a ContentInfo, 0xa7020016. */
VCL_API int VCL_PK7_decode_pkcs7(int encoding, const void* data, int len, P7_CONTENT_INFO** p7);
/* The content without the ContentInfo around it (data: its OCTET STRING), in
 * encoding. The decoder's codes; 0xa702003b a content that does not encode,
 * and the encoder's codes. */
VCL_API int VCL_PK7_Remove_ContentType(int in_encoding, const void* p7_data, int p7_len, int encoding, char** out,
                                       int* out_len);
/* 0 when the bytes decode as a ContentInfo in the encoding; the decoder's
 * code otherwise. */
VCL_API int VCL_PK7_Check_Format(int in_encoding, const void* p7_data, int p7_len);

/* ---- Signed data from credentials ------------------------------------------
 * The signer's certificate (DER or PEM) and private key (any form the key
 * openers read, opened with the password). Codes: 0xa7040005 no data or a
 * signer length <= 0, 0xa7040002 NULL signer fields or out-pointers or no
 * signing time, 0xa7040001, 0xa7040033 / 0xa7040034 the message not set
 * up, 0xa7040035 no SignerInfo (a key that is not the certificate's, a name
 * that is no digest), 0xa7040036 the certificate not added, 0xa7040037 /
 * 0xa7040038 / 0xa7040039 contentType / signingTime / messageDigest not
 * added, 0xa704011c the random not added, 0xa7040094 the version, 0xa704003a
 * signing failed; then the encoder's codes. */
VCL_API int VCL_PK7_Make_Signed_Data(const void* data, int data_len, const PKISTRINFO* signer, const char* hash_name,
                                     const ASN1_TIME* sign_time, int attr_flag, int encoding, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                 const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                 int cert_flag, int content_flag, int encoding, char** out,
                                                 int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                 const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                 int cert_flag, int content_flag, int random_flag, int encoding,
                                                 char** out, int* out_len);
/* attr and attr_len are accepted and not used. */
VCL_API int VCL_PK7_Make_Signed_Data_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                      const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                      int cert_flag, int content_flag, int random_flag, int encoding,
                                                      const void* attr, int attr_len, char** out, int* out_len);

/* A further signer on a message that carries its content (else 0xa7040017):
 * the existing signatures stay as they are; the version is written into
 * every SignerInfo. Codes as the makers. */
VCL_API int VCL_PK7_Add_Signed_Data(int in_encoding, const void* p7_data, int p7_len, const PKISTRINFO* signer,
                                    const char* hash_name, const ASN1_TIME* sign_time, int attr_flag, int encoding,
                                    char** out, int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_With_Option(int in_encoding, const void* p7_data, int p7_len,
                                                const PKISTRINFO* signer, const char* hash_name,
                                                const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                int content_flag, int encoding, char** out, int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_With_Random(int in_encoding, const void* p7_data, int p7_len,
                                                const PKISTRINFO* signer, const char* hash_name,
                                                const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                int content_flag, int random_flag, int encoding, char** out,
                                                int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_With_Unauth_Attr(int in_encoding, const void* p7_data, int p7_len,
                                                     const PKISTRINFO* signer, const char* hash_name,
                                                     const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                     int content_flag, int random_flag, int encoding, const void* attr,
                                                     int attr_len, char** out, int* out_len);

/* A detached message over a digest the caller made with the digest
 * hash_name names (its length is checked: 0xa7040005; NULL 0xa7040002);
 * certificate and the three attributes always. */
VCL_API int VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(const void* digest, int digest_len, const PKISTRINFO* signer,
                                                           const char* hash_name, const ASN1_TIME* sign_time,
                                                           int encoding, char** out, int* out_len);

/* ---- Signatures made elsewhere ---------------------------------------------
 * A message around a signature over the content itself (no authenticated
 * attributes, version 0); an RSA signer is labelled rsaEncryption. unused is
 * not used. 0xa7040005 / 0xa7040002 missing input. */
VCL_API int VCL_PK7_Make_Signed_Data_With_OutSign(const void* signature, int sig_len, const void* content,
                                                  int content_len, const CERT_ITEM* cert, const char* hash_name,
                                                  int unused, int cert_flag, int content_flag, int encoding, char** out,
                                                  int* out_len);
/* The DER (SET OF) of contentType, signingTime and messageDigest over the
 * data under hash_name: what an outside signer signs. 0xa7040005 no data or
 * an unknown name, 0xa704003b nothing written. */
VCL_API int VCL_PK7_Make_SignedData_Init(const void* data, int data_len, const char* hash_name,
                                         const ASN1_TIME* sign_time, char** out, int* out_len);
/* The same with the given digest as messageDigest. */
VCL_API int VCL_PK7_Make_Authenticated_Attribute(const void* digest, int digest_len, const ASN1_TIME* sign_time,
                                                 char** out, int* out_len);
/* A message from a signature over attrs_der (attrs_len bytes, as the Init
 * functions hand them out); with attr_flag 0 the attributes are read and not
 * used. 0xa7040037 attributes that do not read. */
VCL_API int VCL_PK7_Make_Signed_Data_With_SignData(const void* content, int content_len, const CERT_ITEM* cert,
                                                   const char* hash_name, int attr_flag, int cert_flag,
                                                   int content_flag, int encoding, const void* signature, int sig_len,
                                                   const void* attrs_der, int attrs_len, char** out, int* out_len);

/* Two steps for a token: Init makes the message without a signature (out)
 * and the DER of its authenticated attributes (attrs), which the token
 * signs; Final puts the signature into the first SignerInfo. signingTime
 * only when a time is given; the random flag then needs one (0xa7200005)
 * and encrypts the signer's key field (a token's holds the random). The
 * attribute flag must be non-zero (0xa7040005). */
VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM(const void* data, int data_len, const PKISTRINFO* signer,
                                              const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                              char** attrs, int* attrs_len, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag, int encoding,
                                                          char** attrs, int* attrs_len, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag,
                                                          int random_flag, int encoding, char** attrs, int* attrs_len,
                                                          char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_Init_HSM_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                               const char* hash_name, const ASN1_TIME* sign_time,
                                                               int attr_flag, int cert_flag, int content_flag,
                                                               int random_flag, int encoding, char** attrs,
                                                               int* attrs_len, const void* attr, int attr_len,
                                                               char** out, int* out_len);
/* 0xa7040029 no SignerInfo. An RSA SignerInfo of version 1 is labelled
 * rsaEncryption. When the message carries the signer's certificate the
 * signature is checked (0xa704003a). */
VCL_API int VCL_PK7_Make_Signed_Data_Final_HSM(int in_encoding, const void* message, int message_len,
                                               const void* signature, int sig_len, int encoding, char** out,
                                               int* out_len);

/* One step: a signature made beforehand over the attributes these rebuild
 * from the same data, digest name and signing time (none without a time). */
VCL_API int VCL_PK7_Make_Signed_Data_HSM(const void* data, int data_len, const PKISTRINFO* signer,
                                         const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                         const void* signature, int sig_len, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Option(const void* data, int data_len, const PKISTRINFO* signer,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                     int cert_flag, int content_flag, int encoding,
                                                     const void* signature, int sig_len, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Random(const void* data, int data_len, const PKISTRINFO* signer,
                                                     const char* hash_name, const ASN1_TIME* sign_time, int attr_flag,
                                                     int cert_flag, int content_flag, int random_flag, int encoding,
                                                     const void* signature, int sig_len, char** out, int* out_len);
VCL_API int VCL_PK7_Make_Signed_Data_HSM_With_Unauth_Attr(const void* data, int data_len, const PKISTRINFO* signer,
                                                          const char* hash_name, const ASN1_TIME* sign_time,
                                                          int attr_flag, int cert_flag, int content_flag,
                                                          int random_flag, int encoding, const void* signature,
                                                          int sig_len, const void* attr, int attr_len, char** out,
                                                          int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_HSM(int in_encoding, const void* message, int message_len, const PKISTRINFO* signer,
                                        const char* hash_name, const ASN1_TIME* sign_time, int encoding,
                                        const void* signature, int sig_len, char** out, int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Option(int in_encoding, const void* message, int message_len,
                                                    const PKISTRINFO* signer, const char* hash_name,
                                                    const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                    int content_flag, int encoding, const void* signature, int sig_len,
                                                    char** out, int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Random(int in_encoding, const void* message, int message_len,
                                                    const PKISTRINFO* signer, const char* hash_name,
                                                    const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                    int content_flag, int random_flag, int encoding,
                                                    const void* signature, int sig_len, char** out, int* out_len);
VCL_API int VCL_PK7_Add_Signed_Data_HSM_With_Unauth_Attr(int in_encoding, const void* message, int message_len,
                                                         const PKISTRINFO* signer, const char* hash_name,
                                                         const ASN1_TIME* sign_time, int attr_flag, int cert_flag,
                                                         int content_flag, int random_flag, int encoding,
                                                         const void* signature, int sig_len, const void* attr,
                                                         int attr_len, char** out, int* out_len);

/* ---- The encrypted VID random ---------------------------------------------
 * time is the UTCTime of the message's signingTime. 0xa7200005 no time or a
 * signer length <= 0, 0xa7200002 NULL signer fields or out-pointers,
 * 0xa720004f a key without a VID random; the random reader's and cipher's
 * codes. MoreInfo encrypts the given data (0xa7300005 / 0xa7300002); HSM
 * the signer's key field itself. */
VCL_API int VCL_PK7_Encrypt_VeridanRandom(const UTC_TIME* time, const PKISTRINFO* signer, char** out, int* out_len);
VCL_API int VCL_PK7_Encrypt_VeridanMoreInfo(const UTC_TIME* time, const void* data, int data_len, char** out,
                                            int* out_len);
VCL_API int VCL_PK7_Encrypt_VeridanRandom_HSM(const UTC_TIME* time, const PKISTRINFO* signer, char** out, int* out_len);

/* ---- Verification and signer queries ---------------------------------------
 * Signers are counted from 0. Categories: verification 0xa705, count and
 * certificates 0xa706, signing time 0xa707, public key 0xa70d, encrypted
 * digest and the first signer's data 0xa70e; reasons 0x05 length <= 0,
 * 0x02 NULL, 0x29 no such signer (or no signed message), 0x2d a signer
 * whose certificate the message lacks. Any failed verification is
 * 0xa705003f: a missing certificate or SignerInfo, content that differs from
 * the signed content or from the data given. */
VCL_API int VCL_PK7_Verify_Signed_Data(int in_encoding, const void* message, int message_len, char** content,
                                       int* content_len);
/* cert (when given) is added to the message's certificates; data (when
 * given) is the content of a detached message, and must equal the content
 * of one that carries it. */
VCL_API int VCL_PK7_Verify_Signed_Data_With_Add_Cert_Data(int in_encoding, const void* message, int message_len,
                                                          const void* cert, int cert_len, const void* data,
                                                          int data_len, char** content, int* content_len);
/* The signatures over the authenticated attributes alone (the caller holds
 * the digest). */
VCL_API int VCL_PK7_Verify_Signed_Data_WithOut_Plain(int in_encoding, const void* message, int message_len);
VCL_API int VCL_PK7_Get_Signer_Count(int in_encoding, const void* message, int message_len, int* count);
/* DER (48) or PEM (49); 0xa7060016 another encoding. */
VCL_API int VCL_PK7_Get_Signer_Certs(int in_encoding, const void* message, int message_len, int index, int encoding,
                                     char** cert, int* cert_len);
/* RSAPublicKey (modulus, exponent) or, for KCDSA, a SEQUENCE of the public
 * value, as DER; 0xa70d006c another kind of key. */
VCL_API int VCL_PK7_Get_PubKey(int in_encoding, const void* message, int message_len, int index, char** key,
                               int* key_len);
VCL_API int VCL_PK7_Get_EncDigest(int in_encoding, const void* message, int message_len, int index, char** sig,
                                  int* sig_len);
/* "YYYY/MM/DD hh:mm:ss" in UTC (UTCTime or GeneralizedTime) into text, which
 * holds VCL_PK7_SIGN_TIME_TEXT_SIZE bytes. 0xa707002a no signingTime that
 * reads. */
VCL_API int VCL_PK7_Get_Sign_Time(int in_encoding, const void* message, int message_len, int index, char* text);
/* The first signer's certificate (DER), messageDigest and subject name text,
 * each a copy released with VCL_Free. 0xa70e0029 no signer, 0xa70e002d its
 * certificate not in the message, 0xa70e0007 no messageDigest. */
VCL_API int VCL_PK7_Get_CertDataAndMessageDigest(int in_encoding, const void* p7_data, int p7_len, char** cert_der,
                                                 int* cert_len, char** digest, int* digest_len, char** subject_dn);

/* ---- Enveloped data ----------------------------------------------------------
 * The content encrypted under the named cipher ("SEED-CBC", "AES128-CBC",
 * ...) with key and iv of its lengths (both given) or random ones, the key
 * carried to the recipient's RSA key under rsaes_mode (8 and 16 write
 * RSAES-OAEP parameters). 0xa7080005 / 0xa7080002 no data, 0xa7040005 /
 * 0xa7040002 no recipient, 0xa7080046 / 0xa7080047 the algorithm, 0xa7080048
 * no RecipientInfo, 0xa7080049 encryption failed. */
VCL_API int VCL_PK7_Make_Enveloped_Data(const void* data, int data_len, const CERT_ITEM* recipient,
                                        const char* cipher_name, const void* key, const void* iv, int encoding,
                                        char** out, int* out_len, int rsaes_mode);
/* Opens with the recipient's certificate and private key (password
 * NUL-terminated), trying PKCS#1 v1.5, then OAEP. key_out and iv_out
 * (either may be NULL) receive the content key and IV: at most 32 and 16
 * bytes. 0xa7090005 / 0xa7090002 missing input, 0xa709004a no content key
 * for this recipient, 0xa709004b the content does not decrypt. */
VCL_API int VCL_PK7_Verify_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                          const void* recipient_cert, int cert_len, const void* private_key,
                                          int key_len, const char* password, unsigned char* key_out, int* key_out_len,
                                          unsigned char* iv_out, int* iv_out_len, char** content, int* content_len);
/* Signed by signer (signingTime and messageDigest attributes), enveloped for
 * the certificate of recipient. 0xa70a0005 / 0xa70a0002 missing input,
 * 0xa70a0035 / 0xa70a0036 signer, 0xa70a0038 / 0xa70a0039 attributes,
 * 0xa70a0048 no RecipientInfo, 0xa70a004d signing or encryption failed. */
VCL_API int VCL_PK7_Make_Signed_And_Enveloped_Data(const void* data, int data_len, const PKISTRINFO* recipient,
                                                   const PKISTRINFO* signer, const char* hash_name,
                                                   const ASN1_TIME* sign_time, const char* cipher_name, const void* key,
                                                   const void* iv, int encoding, char** out, int* out_len,
                                                   int rsaes_mode);
/* As VCL_PK7_Verify_Enveloped_Data, every signer verified too: 0xa70b0005,
 * 0xa70b0002, 0xa70b004a, 0xa70b004e. */
VCL_API int VCL_PK7_Verify_Signed_And_Enveloped_Data(int in_encoding, const void* message, int message_len,
                                                     const void* recipient_cert, int cert_len, const void* private_key,
                                                     int key_len, const char* password, unsigned char* key_out,
                                                     int* key_out_len, unsigned char* iv_out, int* iv_out_len,
                                                     char** content, int* content_len);

VCL_END_DECLS

#endif

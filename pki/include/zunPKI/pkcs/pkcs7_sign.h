/*
 * PKCS#7 signing and verification: signers, certificates, CRLs and
 * attributes added to a signedData (or signedAndEnvelopedData), signatures
 * with RSA (PKCS#1 v1.5 or PSS) and KCDSA keys, verification, and
 * digestedData.
 *
 * A signedData is made in this order: set_PKCS7_Type (22), new_PKCS7_Content
 * (21), add_PKCS7_Signature and add_PKCS7_Certificate, the signed attributes
 * on the SignerInfo, set_P7_version, then sign_PKCS7. Signed attributes are
 * signed in DER order (the list is sorted by encoding when it is signed);
 * when there are any, a messageDigest attribute is required.
 *
 * Results are 0 or a PKI_ERROR of library L_PKCS7 (function bytes 0x1c
 * signing, 0x1b verification, 0x21 one signer's verification, 0x1e SignerInfo
 * set-up), a plain 1 where said, or the crypto library's code.
 */
#ifndef ZUNPKI_PKCS7_SIGN_H
#define ZUNPKI_PKCS7_SIGN_H

#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/pkcs/pkcs7.h>

/* Signature kinds of add_PKCS7_Signature_withEncryptedAlgorithm. */
#define P7_SIGN_PKCS1_V15 1 /* RSA PKCS#1 v1.5, or KCDSA for a KCDSA key */
#define P7_SIGN_RSA_PSS 2

ZUNPKI_BEGIN_DECLS

/* A new SignerInfo for signer, added to a signedData or
 * signedAndEnvelopedData (which owns it), or null on any failure (nothing is
 * added then). version 1; issuer and serial of the certificate; a copy of
 * key (RSA or KCDSA; null when the signature is made elsewhere), which must
 * belong to the certificate; digestAlgorithm { digest row, NULL }, a digest
 * the crypto library computes. digestEncryptionAlgorithm: for kind 2
 * id-RSASSA-PSS with pss (null: the digest, MGF1 with the digest and a salt
 * of the digest's length); for kind 1 the RSA row of the digest
 * (sha256WithRSAEncryption for SHA-256, ... rsaEncryption for others), or
 * for a KCDSA key the KCDSA row of the digest (HAS160withKCDSA1,
 * KCDSA1withSHA1, KCDSA1withSHA256; KCDSA1 for others). */
ZUNPKI_API P7_SIGNER_INFO* add_PKCS7_Signature_withEncryptedAlgorithm(P7_CONTENT_INFO* p7, const X509_CERT* signer,
                                                                      const ASYMMETRIC_KEY* key, int digest_row,
                                                                      int kind, const RSASSA_PSS_PARAM* pss);
ZUNPKI_API P7_SIGNER_INFO* add_PKCS7_Signature(P7_CONTENT_INFO* p7, const X509_CERT* signer, const ASYMMETRIC_KEY* key,
                                               int digest_row);
/* Appends si itself (owned by p7 on success) and a copy of its
 * digestAlgorithm to digestAlgorithms. 0, or 1 for other types, null
 * arguments or when either append fails (nothing added). */
ZUNPKI_API int add_PKCS7_Signer(P7_CONTENT_INFO* p7, P7_SIGNER_INFO* si);
/* Appends a copy of cert. 0, or 1. */
ZUNPKI_API int add_PKCS7_Certificate(P7_CONTENT_INFO* p7, const X509_CERT* cert);
/* Appends crl itself, which p7 owns from then on (also when the call fails:
 * it is freed then). 0, or 1. */
ZUNPKI_API int add_PKCS7_Crl(P7_CONTENT_INFO* p7, X509_CRL* crl);
/* Appends an attribute of the row's type with one value of universal type
 * tag: the len bytes are the contents (the dotted text for an OBJECT
 * IDENTIFIER, the time text for a time), or for a constructed tag (0x30,
 * 0x31) the whole element. 0, or 1 for null arguments, an unknown row or a
 * value that does not read. */
ZUNPKI_API int add_PKCS7_Signed_Attribute(P7_SIGNER_INFO* si, int row, int tag, const void* value, int len);
ZUNPKI_API int add_PKCS7_Unauthenticated_Attribute(P7_SIGNER_INFO* si, int row, int tag, const void* value, int len);

/* Signing. init checks every SignerInfo still to be signed (its digest and
 * signature algorithms, its key) and keeps detached: 1 when the content is
 * not carried, or when the caller gives the messageDigest attribute instead
 * of content. update makes a copy of data the content of an attached
 * signedData that has none. final signs every SignerInfo without a
 * signature, in order; a SignerInfo signed before is left alone, and the
 * first failure stops (those signed before it keep their signature).
 *   0x4B1C0049 null message, or no data for an attached signedData
 *   0x4B1C0048 not a signed type; a key that is missing or neither RSA nor
 *              KCDSA; nothing to sign (no content and no signed attributes)
 *   0x4B1C002B no SignerInfo, no inner ContentInfo, an unknown digest or
 *              signature algorithm, or signed attributes without messageDigest
 *   0x4B1C005E a messageDigest attribute that is not the content's digest
 *   0x4B1C005F the signed attributes do not encode
 *   0x4B1C0054 / 0x4B190012 an empty KCDSA r or s / a value that does not encode */
ZUNPKI_API int init_PKCS7_Sign(P7_CONTENT_INFO* p7, int detached);
ZUNPKI_API int update_PKCS7_Sign(P7_CONTENT_INFO* p7, const char* data, int len);
ZUNPKI_API int final_PKCS7_Sign(P7_CONTENT_INFO* p7);
/* init, update and final in turn; the first failure. */
ZUNPKI_API int sign_PKCS7(P7_CONTENT_INFO* p7, const char* data, int len, int detached);

/* 0 when every SignerInfo of a signedData or signedAndEnvelopedData
 * verifies against its certificate: signer when given (then every SignerInfo
 * it names, at least one), else the one the message carries for it. data is
 * the content when the message carries none; len -1 without data checks the
 * signatures over the signed attributes alone (the caller holds the digest).
 *   0x4B1B0049 null message; 0x4B1B0048 not a signed type; 0x4B1B002B no
 *   SignerInfo; 1 a detached message without data, a signer that names no
 *   SignerInfo, a certificate not in the message, or an algorithm we do not
 *   know; else verify_PKCS7_data's code. */
ZUNPKI_API int verify_PKCS7(P7_CONTENT_INFO* p7, const X509_CERT* signer, const void* data, int len);
/* One SignerInfo under public_key (cipher_id and digest_id of its
 * algorithms). With signed attributes their messageDigest (required) must be
 * the content's digest, then the signature over them as received, else over
 * their DER (when they came in BER), is checked; without, the
 * content itself. The content is the one the message carries, else data
 * (len 0 with data: an empty content); data given beside carried content
 * must be the same bytes.
 *   0x4B21005E messageDigest differs, or data differs from the carried content; 0x4B21002B no messageDigest, no
 *   signature, or parameters we cannot honour; 0x4B21000E a KCDSA value that
 *   does not read; 0x4B210048 a key of another kind than the algorithm, or no
 *   content (data null); VSC_FAIL (1) a signature that does not verify. */
ZUNPKI_API int verify_PKCS7_data(P7_CONTENT_INFO* p7, const P7_SIGNER_INFO* si, const ASYMMETRIC_KEY* public_key,
                                 int cipher_id, int digest_id, const void* data, int len);

/* A digestedData of a copy of data under digest_id. 0, 1 (null message or
 * data, another type, a digest without a row), or the crypto library's code;
 * the message changes only on success. */
ZUNPKI_API int digest_PKCS7(P7_CONTENT_INFO* p7, int digest_id, const void* data, int len);

ZUNPKI_END_DECLS

#endif

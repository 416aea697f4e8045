/*
 * CMS signing and verification, and digestedData. Signers are made and
 * checked by PKCS#7's SignerInfo engine: signed attributes are signed in DER
 * order and verified over the bytes received, a messageDigest attribute is
 * required and compared, KCDSA signatures are labelled by their digest, PSS
 * parameters are honoured, and a signer's key must be its certificate's.
 *
 * A signedData is made in this order: new_CMS_CONTENT_INFO, set_CMS_Type
 * (22), new_CMS_Content (21) or set_ENCAPSULATED_CONTENT_INFO with the
 * content, add_CMS_Signature, add_CMS_Certificate, the signed attributes
 * (contentType, signingTime, messageDigest) on the SignerInfo,
 * set_CMS_version, sign_CMS, then CMS_CONTENT_INFO_to_Seq.
 *
 * Results are 0 or a PKI_ERROR of library L_CMS (function bytes 0x02
 * SignerInfo set-up, 0x11 adding signers, 0x17-0x19 signing, 0x21
 * verification, 0x22 digestedData), or the crypto library's code.
 */
#ifndef ZUNPKI_CMS_SIGN_H
#define ZUNPKI_CMS_SIGN_H

#include <zunPKI/pkcs/cms.h>
#include <zunPKI/pkcs/pkcs1.h>

/* Flags of the signer set-up. */
#define CMS_SIGNER_BY_KEY_IDENTIFIER 0x01 /* sid: the certificate's subjectKeyIdentifier, version 3 */
/* Signature kinds. */
#define CMS_SIGN_PKCS1_V15 1 /* RSA PKCS#1 v1.5, or KCDSA for a KCDSA key */
#define CMS_SIGN_RSA_PSS 2

ZUNPKI_BEGIN_DECLS

/* A new SignerInfo for signer added to a signedData (which owns it), or
 * null on any failure (nothing is added then). */
ZUNPKI_API CMS_SIGNER_INFO* add_CMS_Signature(CMS_CONTENT_INFO* cms, const X509_CERT* signer, const ASYMMETRIC_KEY* key,
                                              int flags, int digest_row, int kind, const RSASSA_PSS_PARAM* pss);
/* Fills si: sid by key identifier (flags bit 0; 0x5257012f when the
 * certificate has none) and version 3, else issuer and serial and version 1;
 * a copy of key (RSA or KCDSA, which must be the certificate's; null when
 * the signature is made elsewhere); digestAlgorithm { digest row, NULL };
 * signatureAlgorithm id-RSASSA-PSS with pss (null: the digest, MGF1 with it
 * and a salt of its length) for kind 2, else the RSA row of the digest
 * (rsaEncryption for a digest without one) or the KCDSA row of the digest
 * (HAS160withKCDSA1, KCDSA1withSHA1, KCDSA1withSHA256). 0x52020048 another
 * kind, a key of another kind or not the certificate's, a digest we do not
 * know; si is unchanged on failure. */
ZUNPKI_API int set_CMS_SIGNER_INFO(CMS_SIGNER_INFO* si, const X509_CERT* cert, int flags, const ASYMMETRIC_KEY* key,
                                   int digest_row, int kind, const RSASSA_PSS_PARAM* pss);
/* Appends a copy of si's digestAlgorithm to digestAlgorithms unless an equal
 * one is there. 0x52110048, 0x5211003b, 0x5211010c. */
ZUNPKI_API int add_CMS_DigestAlgoIdentifier(CMS_CONTENT_INFO* cms, const CMS_SIGNER_INFO* si);
/* Appends si itself (owned from then on); the SignedData's version rises to
 * the SignerInfo's. 0x52110048, 0x5211010c. */
ZUNPKI_API int add_CMS_SignerInfo(CMS_CONTENT_INFO* cms, CMS_SIGNER_INFO* si);

/* init checks every SignerInfo still to be signed (its algorithms, its
 * key); update checks the message; final signs every SignerInfo without a
 * signature in order, each with the version its identifier calls for, over
 * its signed attributes (their messageDigest must be the eContent's digest;
 * a detached message signs them as given) or over the eContent. The first
 * failure stops; those signed before it keep their signature.
 *   0x52xx0049 null message; 0x52xx0048 not a signedData, a key that is
 *   missing or neither RSA nor KCDSA; 0x52xx002b no SignerInfo, an unknown
 *   algorithm, signed attributes without messageDigest; 0x5219005e a
 *   messageDigest that is not the content's digest. */
ZUNPKI_API int init_CMS_Sign(CMS_CONTENT_INFO* cms);
ZUNPKI_API int update_CMS_Sign(CMS_CONTENT_INFO* cms);
ZUNPKI_API int final_CMS_Sign(CMS_CONTENT_INFO* cms);
/* init, update and final in turn; the first failure. */
ZUNPKI_API int sign_CMS(CMS_CONTENT_INFO* cms);

/* 0 when every SignerInfo verifies: under signer when given (every
 * SignerInfo must name it, by issuer and serial or by key identifier), else
 * under the certificate the message carries for each. The content is the
 * eContent, else (detached: the flag is set) the len bytes of data. With
 * signed attributes, messageDigest is required and compared with the
 * content's digest, and a contentType attribute, when there is one, must be
 * the eContentType.
 *   0x52210049 null or not a signedData, a detached message without data,
 *   a certificate not found by issuer and serial; 0x5221002b no SignerInfo,
 *   no messageDigest, a contentType that differs; 0x5221003c no certificate
 *   of the key identifier; 0x52210048 a SignerInfo that does not name the
 *   given signer, a key of another kind (ECDSA among them); 0x5221005e a
 *   messageDigest or data that differs; 1 (VSC_FAIL) a signature that does
 *   not verify. */
ZUNPKI_API int verify_CMS(CMS_CONTENT_INFO* cms, const X509_CERT* signer, const unsigned char* data, int len);

/* A digestedData of a copy of the bytes under digest_id: eContent data,
 * digestAlgorithm { OID, NULL }, digest. 0x52220048 another type or a digest
 * without a row, 0x5222002b null bytes or a negative length, the crypto
 * library's code. */
ZUNPKI_API int digest_CMS(CMS_CONTENT_INFO* cms, int digest_id, const unsigned char* bytes, int len);

ZUNPKI_END_DECLS

#endif

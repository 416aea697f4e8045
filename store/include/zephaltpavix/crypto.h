/*
 * Crypto wrappers of the store over libzunCore, named fields of a
 * certificate, and certificate checks (signature, validity, SHA-256, path
 * validation with CRLs against the CA certificates of the user's stores).
 *
 * Outputs are new buffers, one byte longer than their length and
 * zero-terminated, released with VPL_Free. Out-pointers are cleared first.
 * A failure of the core is logged and returned as the core's code.
 */
#ifndef ZEPHALTPAVIX_CRYPTO_H
#define ZEPHALTPAVIX_CRYPTO_H

#include <zephaltpavix/certlist.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* Digest of len bytes with the named algorithm ("SHA1", "SHA256", any name
 * the core's digest table takes) in a new buffer: 0; 1001003 for a missing
 * input or output or a length of 0 or less; 1052012 when the digest fails
 * (an unknown name included); 1051022 when memory runs out. The outputs are
 * left alone on failure. */
VPL_API int VPL_HASH_Data(const void* in, int len, void** digest, int* digestLen, const char* algorithm);

/* ---- Ciphers ---------------------------------------------------------------
 * mode 1 encrypts, any other decrypts, with the named cipher ("SEED-CBC",
 * "AES128-CBC", ...) and padding flag (0 off). encoding 0 hands out (or, to
 * decrypt, takes in) Base64 on one line, 1 Base64 in lines, 2 raw bytes.
 * keyLen must be at least the cipher's key length and ivLen at least its
 * block length (ECB takes no IV), else 1052011: a short key is never read
 * past its end. 1052011 for a missing key, IV, input or output; the core's
 * code; 1052007. */
VPL_API int VPL_Symmetric_Crypto(int mode, const void* key, int keyLen, const void* iv, int ivLen,
                                 const char* cipherName, int padFlag, int encoding, const void* in, int inLen,
                                 char** out, int* outLen);

/* ---- RSA --------------------------------------------------------------------
 * scheme is the core's one-byte scheme code (encryption: 32 PKCS#1 v1.5,
 * 8 and 16 OAEP, 0 raw; signatures: 1 PKCS#1 v1.5, 2 PSS, 0 KCDSA) and
 * encoding its encoding flag (0 Base64, 1 Base64 in lines, any other value
 * raw; signatures and ciphertexts taken in the same form). hashName is the
 * digest of OAEP, PSS and signatures. The private key is any form the core
 * opens, with its password; the public key a certificate or an RSA public
 * key. 1052011 for a missing key, password or input (lengths of 0 or less
 * included); the core's code; 1052007. */
/* mode 1: the private-key operation (PKCS#1 v1.5 block type 1); other
 * modes decrypt. */
VPL_API int VPL_RSA_Private_Crypto(int mode, const void* key, int keyLen, const char* password, int passwordLen,
                                   int scheme, int encoding, const char* hashName, const void* in, int inLen,
                                   void** out, int* outLen);
/* mode 1 encrypts for the key's holder; other modes undo the private-key
 * operation. */
VPL_API int VPL_RSA_Public_Crypto(int mode, const void* certOrKey, int certOrKeyLen, int scheme, int encoding,
                                  const char* hashName, const void* in, int inLen, void** out, int* outLen);
VPL_API int VPL_RSA_Private_Sign(const void* key, int keyLen, const char* password, int passwordLen, int scheme,
                                 int encoding, const char* hashName, const void* data, int dataLen, void** signature,
                                 int* signatureLen);
/* 0 when the signature over data is valid, else the core's code. */
VPL_API int VPL_RSA_Public_Verify(const void* certOrKey, int certOrKeyLen, int scheme, int encoding,
                                  const char* hashName, const void* data, int dataLen, const void* signature,
                                  int signatureLen);

/* len random bytes of the core's DRBG in a new buffer of len + 1 bytes:
 * 0; -1 for len of 0 or less or a failing generator (no buffer); 1052007;
 * 1052011 for a missing output. */
VPL_API int VPL_Generator_Random(int len, void** out);
/* Lets the crypto layer use algorithms outside its validated set; the
 * core's result. */
VPL_API int VPL_COM_Change_Non_Proven(void);

/* ---- Fields of a certificate (DER or PEM) -----------------------------------
 * The field's value as text, by name (letters without case, the whole
 * name): "version" (0, 1 or 2), "serial" (decimal), "hexaserial", the
 * algorithm texts "signatureAlg" and "pubkeyAlg" ("dotted|short|long"), the
 * DN texts "issuerDN" and "subjectDN" (EUC-KR, RDNs last to first,
 * "cn=...,o=...,c=kr"), "validityFrom" and "validityTo" (YYYYMMDDhhmmss,
 * GMT), "pubkey" (the first (bits + 7) / 8 bytes of the subject key, raw)
 * and "pubkeyBit" (the key size in bits). 0; -1 for any other name;
 * 1052015 for an empty value; 1051024 for bytes that do not decode;
 * 1052011 for missing arguments; 1052007. */
VPL_API int VPL_Get_ValueOfX509Field(const void* cert, int certLen, const char* fieldName, char** value, int* valueLen);

/* ---- Checks -------------------------------------------------------------------
 * 0 when the issuer's key verifies the certificate's signature, else -1;
 * 1052011 for a missing certificate or issuer. */
VPL_API int VPL_Verify_signature(const void* cert, int certLen, const void* issuerCert, int issuerLen);
/* 0 inside the validity period (now with the network-time offset), else
 * -1; 1052011 for a missing certificate. */
VPL_API int VPL_Cert_Verify_Validity(const void* cert, int certLen);
/* 0 when the certificate is signed with SHA-256 (the short name of its
 * signature algorithm reads "x-SHA256..."), else -1; 1052011 for a missing
 * certificate; the field reader's code. */
VPL_API int VPL_Is_Cert_Advanced(const void* cert, int certLen);

/* ---- Path validation with CRLs ------------------------------------------------
 * The certificate's path is validated against every CA certificate of the
 * home directory's NPKI and PPKI/Veridan stores, with the CRL of each link
 * fetched from its distribution point (LDAP or HTTP); the result is the
 * core's (<zunCore/x509_cpv.h>: 0, a revoked certificate 0xaa040058, ...).
 * 1052011 for a missing certificate; -1 when the stores cannot be walked. */
VPL_API int VPL_Check_CRL(const void* cert, int certLen);
/* The same for a certificate named by an encoded path (VPL_DataEncode type
 * 0) of a store file or a pseudo path: 1052009 for a missing path; 1052030
 * when nothing can be read; the decoder's code. */
VPL_API int VPL_CertPath_CRL(const char* encCertPath, int len);
/* Adds the CA certificates of {home}/NPKI, then {home}/PPKI/Veridan to
 * list: the number of entries of the list, or -1. */
VPL_API int VPL_Get_All_CACert(CertInfoList* list);
/* Reads the certificate file of each entry of list into the next record of
 * array (as many records as the list has entries, zeroed by the caller); a
 * file that cannot be read is logged and leaves its record empty. The
 * records are released with VCL_PK1_Free_PKISTRINFOS. 0, or 1052011. */
VPL_API int VPL_CertListToPKI_STR_INFO(PKI_STR_INFO* array, CertInfoList* list);

VPL_END_DECLS

#endif

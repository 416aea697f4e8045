/*
 * libzephaltCMP: the CMP client the store loads by file name for each
 * issuance operation, and the agent links for its PKCS#10 requests.
 *
 * Calls come in this order: ZUNCMP_Init, ZUNCMP_SetUseHSM(0, 0, 0),
 * ZUNCMP_SetBITAndHash, one operation, the ZUNCMP_Get* readers (after a
 * success) or ZUNCMP_GetErrorString (after a failure), ZUNCMP_Final. The
 * library is not thread-safe; callers serialise.
 *
 * Parameter text: "&"-separated KEY=value pairs, keys REFVAL, AUTHCODE,
 * CAIP, CAPORT, CANAME, CAPATH and CMD ("RENEW"), each at most once; any
 * other key, a repeat, an empty value where one is needed, or a value with
 * a control character refuses the operation. The CA is reached at
 * http://CAIP:CAPORT/.
 *
 * New keys are RSA of the size ZUNCMP_SetBITAndHash names (2048, 3072 or
 * 4096; anything else 2048), handed out as the store keeps them: a DER
 * EncryptedPrivateKeyInfo, PBES2 with PBKDF2-HMAC-SHA256 and SEED-CBC,
 * under the operation's (new) password.
 */
#ifndef ZEPHALTCMP_ZEPHALTCMP_H
#define ZEPHALTCMP_ZEPHALTCMP_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZUNCMP_API __attribute__((visibility("default")))

/* Room of the caller's buffer of every ZUNCMP_Get* reader. */
#define ZUNCMP_OUTPUT_MAX 5120

/* Result codes (0 success). */
#define ZUNCMP_ERR_NOT_INIT 7001     /* no ZUNCMP_Init, or the crypto set-up failed */
#define ZUNCMP_ERR_PARAM 7002        /* a refused argument or parameter text */
#define ZUNCMP_ERR_KEYGEN 7003       /* the new key could not be made */
#define ZUNCMP_ERR_EXCHANGE 7004     /* the CA refused, or could not be reached */
#define ZUNCMP_ERR_CURRENT_KEY 7005  /* the current key does not open with the password */
#define ZUNCMP_ERR_CURRENT_CERT 7006 /* the current certificate does not read */
#define ZUNCMP_ERR_ENCODE 7007       /* an output could not be encoded */
#define ZUNCMP_ERR_TOO_LARGE 7008    /* an output does not fit the caller's buffer */
#define ZUNCMP_ERR_NO_OUTPUT 7009    /* a null buffer or length */

ZUNCMP_API int ZUNCMP_Init(void);
ZUNCMP_API int ZUNCMP_SetUseHSM(int use, int slot, int flags);
ZUNCMP_API int ZUNCMP_SetBITAndHash(const char* hash, int hashLen, const char* bits, int bitsLen);

/* The outputs of the last successful operation into buf (ZUNCMP_OUTPUT_MAX
 * bytes) with their length; a length of 0 means the item is absent. */
ZUNCMP_API int ZUNCMP_GetCACert(unsigned char* buf, unsigned short* len);
ZUNCMP_API int ZUNCMP_GetSignCert(unsigned char* buf, unsigned short* len);
ZUNCMP_API int ZUNCMP_GetSignPri(unsigned char* buf, unsigned short* len);
ZUNCMP_API int ZUNCMP_GetKMCert(unsigned char* buf, unsigned short* len);
ZUNCMP_API int ZUNCMP_GetKMPri(unsigned char* buf, unsigned short* len);

/* A static text for a result code. */
ZUNCMP_API const char* ZUNCMP_GetErrorString(int code);
/* Zeroes every output and releases the library's crypto context. */
ZUNCMP_API int ZUNCMP_Final(void);

/* Issue (ir) with REFVAL as sender reference and AUTHCODE as PBM secret;
 * the new key is encrypted under password. */
ZUNCMP_API int ZUNCMP_CertRequestNonUI(const char* caName, int flag, const char* params, const char* password,
                                       int unused);
/* Reissue (cr), the same exchange. */
ZUNCMP_API int ZUNCMP_CertReplaceNonUI(const char* caName, int flag, const char* params, const char* password,
                                       int unused);
/* Renewal (kur) of certDir's signCert.der, signed with its signPri.key
 * (opened with password); the server is trusted when it chains to a CA
 * certificate (*.der) of the certificate's CA folder (certDir/../..). The
 * new key is encrypted under newPassword. */
ZUNCMP_API int ZUNCMP_CertUpdateNonUI(const char* caName, int flag, const char* params, const char* password,
                                      const char* newPassword, const char* certDir, int unused);
/* A PKCS#10 request (DER) for the RFC 4514 name dn with a new key of bits
 * (0: the ZUNCMP_SetBITAndHash size), and the key encrypted under password.
 * Both outputs are released with ZUNCMP_StringFree. */
ZUNCMP_API int ZUNCMP_PPKI_MAKE_PKCS10(const char* dn, const char* password, int bits, int unused,
                                       unsigned char** request, int* requestLen, unsigned char** key, int* keyLen);
/* Zeroes and releases an output of ZUNCMP_PPKI_MAKE_PKCS10; NULL is
 * ignored. */
ZUNCMP_API void ZUNCMP_StringFree(void* p);

#ifdef __cplusplus
}
#endif

#endif

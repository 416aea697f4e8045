/*
 * The ZUNPlugin data string a web page hands to its web server, and the
 * decryption of the server's replies.
 *
 * The string is form-encoded: name=value pairs joined by "&", every field
 * written even when empty. Versions 0 and 1:
 *   vf=..&vd=..&sk=..&cc=..&sg=..&alg=..&dt=..&er=..
 * versions 10, 11 and 21:
 *   vf=..&sk=..&cc=..&sg=..&alg=..&dt=..&er=..&ts=..&kecc=..&iver=100
 *
 *   vf    the version in decimal
 *   vd    (1) the caller's vd input under the user's private key: for an RSA
 *         key the private-key operation on its Base64-decoded bytes (lined
 *         Base64, URL form), for another key a signature over the text
 *         (lined Base64, not URL form)
 *   sk    the session key (0, 1) or the 64-byte premaster (10, 11, 21)
 *         encrypted for the server's certificate with the kx padding and
 *         kxh hash
 *   cc    (1, 11, 21) the user's certificate as PEM
 *   sg    (1, 11, 21) the signature over D (over D and H in 21) with the
 *         sg padding and sgh hash
 *   alg   0 and 1: "SEED-CBC"; else Base64 (one line) of
 *         "sym:<sym>;kx:<kx>;kxh:<kxh>;sg:<sg>;sgh:<sgh>"
 *   dt    D (0, 1), or R followed by D (10, 11; and H in 21) enciphered
 *   er    (1, 11, 21) the user key's VID random enciphered like dt, for the
 *         public classes 1 and 2; else empty
 *   ts    (10, 11, 21) the Base64-decoded time stamp enciphered like dt
 *   kecc  (21) the user's encryption (KM) certificate as PEM
 *   iver  (10, 11, 21) "100"
 * Every value but vd of a non-RSA key is in URL form (letters, digits and
 * "@./_-" stay, a blank is "+", other bytes "%xx": a line feed is %0a);
 * Base64 values are "lined" (a line feed after every 64 characters and at
 * the end).
 *
 * D is the caller's data; version 11 without data signs and enciphers
 * "__ZUNts__=" and the URL form of the time-stamp text. R is 16 fresh
 * random bytes. H (21) is "&Handshake_init=" and 32 fresh random bytes R1
 * encrypted like sk; the KM key, R1, the password and the PIN are kept
 * for VPL_Exchangekey_Decrypt.
 *
 * Keys: 0 and 1 encipher with the domain's session key and fixed IV under
 * SEED-CBC; the other versions with the client key and IV derived from the
 * premaster under the domain's cipher. A key or IV that is not of the
 * cipher's lengths is refused (1051010), never read past its end.
 *
 * Algorithm names: 0 uses RSA15/SHA1 for all four; 10 the domain's kx and
 * kxh (RSA15 and SHA256 when unset) and RSA15/SHA256 for signing; 1 uses
 * RSA15/SHA1 for all four, 11 and 21 the domain's kx, kxh and (when both
 * are set) sg, sgh, else the certificate's; a KCDSA certificate always
 * signs with its own names.
 *
 * Outputs are new zero-terminated buffers released with VPL_Free; they are
 * set to NULL and 0 on entry and left so on failure. Codes: 0; 1052011 a
 * required argument missing; 1052039 the domain has no context; 1052030 a
 * certificate or key that does not read; 1052033 a signature failed;
 * 1051010 an encipherment in a field failed; 1051011 a reply does not
 * decipher; 1052037 the key gives no VID random; 1052078 a key-exchange
 * reply that does not begin with R1 or is not 64 bytes; 1052007 / 1051022
 * no memory; -1 an unsupported certificate, path, version or storage type
 * (12 for versions 1, 11 and 21); the codes of the services called.
 */
#ifndef ZEPHALTPAVIX_ZUNPLUGIN_H
#define ZEPHALTPAVIX_ZUNPLUGIN_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* ---- Builders ----------------------------------------------------------------
 * Versions 0, 1, 10, 11 and 21 (any other: -1). encCertPath is the Base64
 * text of the user's certificate path (a store file, or a pseudo path whose
 * credentials the domain caches); vdOrTs is the vd input (1) or the
 * time-stamp text, Base64 (10, 11, 21). Texts given with a length are read
 * up to that length, never past a zero byte. On success the context's
 * extendedMode is 0 after versions 0 and 1, else 1. */
VPL_API int VPL_Make_ZUNPlugindata(const char* domain, int vf, int storageType, const char* pin, int pinLen,
                                   const char* encCertPath, const char* password, int passwordLen, const char* vdOrTs,
                                   int vdOrTsLen, const void* data, int dataLen, char** out, int* outLen);
/* Version 0; the algorithm name is only logged. */
VPL_API int VPL_Make_ZunpluginData_VF0(const char* domain, int domainLen, const char* dataAlgorithm,
                                       int dataAlgorithmLen, const void* data, int dataLen, char** out, int* outLen);
/* Version 1 for storage types 0-3, 7 and 12 (others -1); the last two names
 * are only logged. */
VPL_API int VPL_Make_ZunpluginData_VF1(int storageType, const char* pin, int pinLen, const char* encCertPath,
                                       int pathLen, const char* password, int passwordLen, const char* domain,
                                       int domainLen, const char* vd, int vdLen, const char* dataAlgorithm,
                                       int dataAlgorithmLen, const void* data, int dataLen,
                                       const char* signaturePadding, const char* signatureAlgorithm, char** out,
                                       int* outLen);
/* Always version 10 (vf is only logged). */
VPL_API int VPL_Make_ZunpluginData_VFx0(const char* domain, int vf, const void* data, int dataLen,
                                        const char* timeStamp, int timeStampLen, char** out, int* outLen);
/* Version vf (11 or 21) for storage types 0-3, 7 and 12 (others -1); data
 * may be missing in version 11. */
VPL_API int VPL_Make_ZunpluginData_VFx1(int storageType, int vf, const char* pin, int pinLen, const char* encCertPath,
                                        const char* password, int passwordLen, const char* domain,
                                        const char* timeStamp, int timeStampLen, const void* data, int dataLen,
                                        char** out, int* outLen);

/* ---- Field makers --------------------------------------------------------------
 * The string from ready values (NULL is empty): versions 0 and 1 without
 * ts, kecc and iver, the others without vd. 1052007 no memory. */
VPL_API int VPL_Make_Zunplugindata_format(int vf, const char* vd, const char* sk, const char* cc, const char* sg,
                                          const char* alg, const char* dt, const char* er, const char* ts,
                                          const char* kecc, const char* iver, char** out, int* outLen);
/* "sym:..;kx:..;kxh:..;sg:..;sgh:.." in VPL_DataEncode's encoding type
 * (names of any length); 1052011 for any NULL name. */
VPL_API int VPL_Make_AlgorithmField(int encodingType, const char* sym, const char* kx, const char* kxh, const char* sg,
                                    const char* sgh, char** out, int* outLen);
/* The vd value of a zero-terminated vd input with the key (password
 * zero-terminated): the padding code and hash serve the RSA operation, or
 * the signature of another key kind. 1052011; 1051010 the RSA operation
 * failed; 1052033 the signature failed; the key reader's and the Base64
 * decoder's codes. */
VPL_API int VPL_Make_VDData(const char* vd, const void* key, int keyLen, const char* password, int paddingCode,
                            const char* hashName, char** out, int* outLen);
/* RSA encryption for the certificate (DER or PEM), lined Base64 in URL
 * form. 1052011 no certificate or plaintext; 1051010. */
VPL_API int VPL_Make_SKData(const void* cert, int certLen, int paddingCode, const char* hashName, const void* plain,
                            int plainLen, char** out, int* outLen);
/* The certificate as PEM in URL form. 1052011; the converter's code. */
VPL_API int VPL_Make_CCData(const void* cert, int certLen, char** out, int* outLen);
/* Encipherment with padding, lined Base64 in URL form. 1052011 no key, IV
 * or cipher name; NULL data: 0 and no output; 1051010 also for a key or IV
 * not of the cipher's lengths. */
VPL_API int VPL_Make_DTData(const void* key, int keyLen, const void* iv, int ivLen, const char* cipherName,
                            const void* data, int dataLen, char** out, int* outLen);
/* The private key's VID random enciphered as VPL_Make_DTData does.
 * 1052011; 1052037 the key gives no random. */
VPL_API int VPL_Make_ERData(const void* privateKey, int privateKeyLen, const char* password, int passwordLen,
                            const void* key, int keyLen, const void* iv, int ivLen, const char* cipherName, char** out,
                            int* outLen);

/* ---- Replies --------------------------------------------------------------------
 * A Base64 reply under the domain's session key and IV with the named
 * cipher: 0; a plaintext of no bytes gives 0 and no output. 1052011,
 * 1052039, 1051011 (also for a cipher whose key is not 16 bytes). */
VPL_API int VPL_SYM_Decrypt(const char* domain, int domainLen, const char* cipherName, int cipherNameLen,
                            const void* cipherText, int cipherTextLen, char** out, int* outLen);
/* After an extended data string (extendedMode 1): under the server key and
 * IV with the domain's cipher (no padding when kx is "KCDSA"); else as
 * VPL_SYM_Decrypt with cipherName. inputEncoding 0 or 1: Base64 text, any
 * other value raw bytes. Codes as VPL_SYM_Decrypt. */
VPL_API int VPL_ZUNPlugin_VFx_Decrypt(const char* domain, const char* cipherName, int inputEncoding,
                                      const void* cipherText, int cipherTextLen, char** out, int* outLen);
/* The server's version-21 reply (Base64): decrypted with the kept KM key
 * (kx padding, kxh hash), it must be 64 bytes beginning with R1; it then
 * becomes the domain's premaster and the client and server keys and IVs
 * are derived again. The kept KM key, password, PIN and R1 are zeroed and
 * released by every call that reaches them, whatever its result. 1052011,
 * 1052039, -1 nothing kept or a text that does not decode, 1052078 (the
 * premaster unchanged), the RSA decryption's code. */
VPL_API int VPL_Exchangekey_Decrypt(const char* domain, const char* text, int textLen);

/* ---- Session-id builders over the index-based certificate list -------------------
 * The session (id) is a domain context registered with
 * VPL_SetZUNPluginDataProperty. Versions 0, 1, 10 and 11 (any other: -1).
 * The certificate of versions 1 and 11 is the entry index of the
 * index-based list (<zephaltpavix/index.h>). Codes: 1051041 an argument
 * missing; 1051026 an index outside 0 .. g_nCertCnt - 1; 1051029 the key
 * gives no VID random (or the password does not open it); 1052039; the
 * field makers' codes. Version 11 writes an empty er. */
VPL_API int VPL_MakeZUNPluginData_0(const char* id, int vf, const void* data, int dataLen, char** out, int* outLen);
/* Version 11 without data uses "__ZUNts__=" and the URL form of the text. */
VPL_API int VPL_MakeZUNPluginData_1(const char* id, int vf, int index, const char* password, int passwordLen,
                                    const char* vdOrTs, int vdOrTsLen, const void* data, int dataLen, char** out,
                                    int* outLen);
VPL_API int VPL_MakeZUNPlugindata_phone(const char* id, int vf, int index, const char* password, int passwordLen,
                                        const char* vdOrTs, int vdOrTsLen, const void* data, int dataLen, char** out,
                                        int* outLen);
/* The string from key material given as bytes (versions 0, 1, 10, 11): the
 * cipher key, IV and name encipher dt, er and ts; sk wraps the cipher key
 * (0, 1) or the premaster (10, 11); the user's certificate, key and
 * password serve vd, cc and sg (1, 11); random (may be NULL) is er's
 * plaintext. Names of any length. 1051041 an argument the version needs is
 * missing. unusedInt and unused are ignored. */
VPL_API int VPL_MakeZUNpluginDataWithBin(int vf, const void* serverCert, int serverCertLen, const void* userCert,
                                         int userCertLen, const void* privateKey, int privateKeyLen,
                                         const char* password, int passwordLen, const char* vdOrTs, int vdOrTsLen,
                                         const void* premaster, int premasterLen, const void* cipherKey,
                                         int cipherKeyLen, const void* cipherIv, int cipherIvLen,
                                         const char* cipherName, const char* kx, const char* kxh, const char* sg,
                                         const char* sgh, const void* data, int dataLen, const void* random,
                                         int randomLen, int unusedInt, void* unused, char** out, int* outLen);
/* A raw reply of the session, deciphered as VPL_ZUNPlugin_VFx_Decrypt does
 * with the session's cipher. A plaintext beginning with "r" loses its first
 * 22 bytes (fewer than 22: 1051037). The text is handed out zero-terminated
 * (release it with VPL_Free over its string length). 1051042 no id or
 * reply, 1052039, 1051037. */
VPL_API int VPL_IPDecrypt(const char* id, const void* cipherText, int cipherTextLen, char** out);

VPL_END_DECLS

#endif

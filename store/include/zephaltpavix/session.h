/*
 * Web sessions: the key material, server certificate, algorithm names,
 * certificate filter, verified image and phone-drive properties a domain
 * context (context.h) holds for one web domain or session id.
 *
 * Creating a context makes a 64-byte random premaster, from it the client
 * key and IV (SHA-256 of the premaster: bytes 0-15 and 16-31) and the server
 * key and IV (the same over the complemented premaster), a 16-byte random
 * session key and the fixed IV "ZORBAXE MODULE..". A second creation for the
 * same domain keeps the keys it has.
 *
 * Codes: 0; 1052011 a required argument missing; 1052040 no context exists
 * at all, where a function says so, else 1052039 (or 1052047) the domain has
 * none; the "nothing stored" code each function names; 1052007 / 1051022
 * when memory runs out. Outputs are new buffers released with VPL_Free; they
 * are set to NULL and 0 before work starts.
 *
 * Domains are zero-terminated texts matched exactly (same length, letters
 * without case); the length beside a domain is used only by
 * VPL_Set_DomainInfo, which takes at most that many bytes of it.
 */
#ifndef ZEPHALTPAVIX_SESSION_H
#define ZEPHALTPAVIX_SESSION_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* Creates the domain's context (0 also when it exists already). 1052011 for
 * no domain, 1052038 when the random generator fails, -1 when a derivation
 * fails; nothing is added then. */
VPL_API int VPL_Set_DomainInfo(const char* domain, int domainLen);

/* The server certificate as given (DER or PEM bytes). Set: 1052040 / 1052039.
 * Get: -1 when none is stored. Delete: 1052042 when none is stored. */
VPL_API int VPL_Set_ServerCert(const char* domain, int domainLen, const void* cert, int certLen);
VPL_API int VPL_Get_ServerCert(const char* domain, unsigned char** cert, int* certLen);
VPL_API int VPL_Delete_ServerCert(const char* domain);

/* A copy of the 64-byte premaster; -1 when none is stored. */
VPL_API int VPL_Get_Premaster(const char* domain, unsigned char** premaster, int* premasterLen);

/* Base64 of the session key (1052039 without the domain's context, 1052044
 * without a key); Delete releases key and IV (1052044 when no key was
 * stored); Refresh makes a new random key and sets the fixed IV again. */
VPL_API int VPL_Get_SessionKey(const char* domain, int domainLen, char** key, int* keyLen);
VPL_API int VPL_Delete_SessionKey(const char* domain, int domainLen);
VPL_API int VPL_Refresh_SessionKey(const char* domain, int domainLen);

/* Base64 of the server key and of the server IV: 1052040, 1052047, 1052044. */
VPL_API int VPL_Get_Server_SKeyAndIV(const char* domain, char** key, int* keyLen, char** iv, int* ivLen);
/* Raw copies of session key, IV and server certificate: 1052039 for no
 * domain, 1052047 without its context, 1052044 / 1052049 / 1052042 for a
 * missing member. */
VPL_API int VPL_Get_DomainToSKEYAndIVAndCert(const char* domain, unsigned char** key, int* keyLen, unsigned char** iv,
                                             int* ivLen, unsigned char** cert, int* certLen);

/* The domain's certificate filter text (VPL_Get_Domain_CertList's form). */
VPL_API int VPL_Set_gFilter(const char* domain, int domainLen, const char* filter, int filterLen);
VPL_API int VPL_Delete_gFilter(const char* domain, int domainLen);

/* Phone-drive properties, names without case: "certmanui_phone" /
 * "certmanui_infovine" (the value "off" is ignored), "certmanui_phoneVer" /
 * "certmanui_infovineVer", "certmanui_phoneURL" / "certmanui_infovineURL";
 * any other name -1. valueLen bytes of value are kept. */
VPL_API int VPL_Set_Property(const char* domain, int domainLen, const char* name, int nameLen, const char* value,
                             int valueLen);
/* Base64 of the image path for a name beginning with "ImagePath" (1052070
 * when none is stored), of the session key for one beginning with
 * "SessionKey" (1052044); -1 for any other name. */
VPL_API int VPL_Get_Property(const char* domain, int domainLen, const char* name, int nameLen, char** value,
                             int* valueLen);
/* Base64 of the verified image's path; 1052070 when none is stored. */
VPL_API int VPL_Get_ImagePath(const char* domain, int domainLen, char** path, int* pathLen);
/* "<value>&<version>" and a copy of the URL: 1052039 for no domain, 1052047
 * without its context, 1052066 / 1052067 / 1052068 for a missing value,
 * URL, version (checked in this order). */
VPL_API int VPL_Get_PhoneDriveInfo(const char* domain, char** info, int* infoLen, char** url, int* urlLen);

/* The certificate's subjectPublicKey bytes (DER or PEM certificate):
 * 1051024 when it does not decode, -1 without a key. */
VPL_API int VPL_Get_CertToPubKey(const void* cert, int certLen, unsigned char** key, int* keyLen);
/* Base64 of a decimal text (optional sign, leading digits) read as an int:
 * 0; -1 for NULL, a failed decode or a value outside int. */
VPL_API int VPL_Get_Server_Time(const char* base64Text, int* time);

/* Client and server key and IV (16 bytes each) of a 64-byte premaster:
 * 1001003 for any other length, 1052012 when the digest fails. */
VPL_API int VPL_Make_ClientSK(const void* premaster, int premasterLen, unsigned char** key, int* keyLen,
                              unsigned char** iv, int* ivLen);
VPL_API int VPL_Make_ServerSK(const void* premaster, int premasterLen, unsigned char** key, int* keyLen,
                              unsigned char** iv, int* ivLen);

/* Registers a session: creates the context of id (keeping an existing one's
 * keys), stores the server certificate, sets sym and each of kx, kxh, sg,
 * sgh that is not NULL. 1051039 without id, certificate or sym; the codes of
 * VPL_Set_DomainInfo and VPL_Set_ServerCert pass through. */
VPL_API int VPL_SetZUNPluginDataProperty(const char* id, const void* cert, int certLen, const char* sym, const char* kx,
                                         const char* kxh, const char* sg, const char* sgh);
/* The context's own buffers (not to be released; valid until the session is
 * cleared): 1051040 without id, 1052039 without its context. */
VPL_API int VPL_GetZUNPluginDataProperty(const char* id, const unsigned char** cert, int* certLen, const char** sym,
                                         const char** kx, const char** kxh, const char** sg, const char** sgh,
                                         const unsigned char** sessionKey, int* sessionKeyLen, const unsigned char** iv,
                                         int* ivLen);
/* Removes the session whose id equals id (exactly, letters without case). */
VPL_API void VPL_ClearZUNPluginDataProperty(const char* id);

VPL_END_DECLS

#endif

/*
 * Where certificates and keys live, and the store writer.
 *
 * Under a base directory (the home directory for the hard disk, or the
 * root of a removable drive):
 *   NPKI/{CA}/USER/{subject DN}/signCert.der, signPri.key   signing pair
 *                               kmCert.der, kmPri.key       encryption pair
 *   NPKI/{CA}/{keyid}_{serial}.der                          public CA
 *   PPKI/Veridan/{CA}/USER/{subject DN}/...                 private PKI, as NPKI
 *   PPKI/Veridan/{CA}/{keyid}_{serial}.der                  private CA
 *   GPKI/Certificate/class1|class2/{CN}_sig.cer, _sig.key   government signing
 *                                  {CN}_env.cer, _env.key   government encryption
 *   GPKI/root/{keyid}_{serial}.der                          government root
 * Folder names come from <zephaltpavix/certclass.h>: the subject DN text in
 * UTF-8 ("cn=...,ou=...,o=yessign,c=kr"), the CN for the government store.
 * Other programs read these trees: the names are byte-exact.
 *
 * The home directory is QUILLETEX_HOME when set, else the password
 * database's entry of the real user (HOME without one). Removable drives are
 * the directories under /media (the user's own /media/<login> stands for
 * its subdirectories) and under /run/media/<login>; QUILLETEX_MEDIA_ROOT,
 * when set, stands in for "/" in both.
 *
 * Writing: new folders 0700 (existing ones are left alone), keys 0600,
 * certificates 0644 (less the umask; on FAT the mount decides). Files are
 * written under a temporary name, synced and renamed; when anything fails,
 * what the call wrote is removed and the result is 1052031. Key bytes are
 * written as given. A path longer than 1023 characters, or a certificate
 * whose names are not safe path components, is refused with 1052009 before
 * anything is written.
 *
 * A certificate held by a non-file medium is named by a pseudo path
 * "{domain}/{MEDIUM}/{subject}/{hex serial}" (MEDIUM: MEMORY, HSM, SCARD,
 * USBT, ICCARD, PHONE) and cached in its domain's context.
 */
#ifndef ZEPHALTPAVIX_LAYOUT_H
#define ZEPHALTPAVIX_LAYOUT_H

#include <zephaltpavix/store_export.h>
#include <zunCore/keys.h>

/* The credential record the writer stores: cert, key (written as stored)
 * and cert_use (3 signing pair, 4 encryption pair; a CA record carries no
 * key). The core's PKISTRINFO under the store's name. */
typedef PKISTRINFO PKI_STR_INFO;

/* Storage types (media). */
#define VPL_STORAGE_HDD 0
#define VPL_STORAGE_REMOVABLE 1
#define VPL_STORAGE_SCARD 2
#define VPL_STORAGE_USBT 3
#define VPL_STORAGE_MEMORY 6
#define VPL_STORAGE_ICCARD 7
#define VPL_STORAGE_PHONE 8
#define VPL_STORAGE_HSM 12

/* Room of the caller's buffer of VPL_Get_OSCertLocation, and the longest
 * path the store writes (one less). */
#define VPL_PATH_MAX 1024

VPL_BEGIN_DECLS

/* The home directory into dst (VPL_PATH_MAX bytes) and its length: 0;
 * 1052011 for NULL arguments; 1052009 when there is none or it does not
 * fit. Further arguments are ignored. */
VPL_API int VPL_Get_OSCertLocation(char* dst, int* len, ...);

/* Stores rec by its certificate's class under the home directory (flag 0)
 * or the drive path (any other flag). 0; -1 for a class the store does not
 * file; 1052009 for refused names or paths; 1052011 for a missing record or
 * certificate; 1052027 for a missing drive; 1052014 for a pair whose use is
 * neither 3 nor 4; 1052031 when writing fails. A CA certificate whose file
 * exists is kept (0). */
VPL_API int VPL_Location_CertCreate(int flag, const char* drive, PKI_STR_INFO* rec);
/* The public and private layouts (classes 1-4, 7, 8), under storeBase (the
 * base's "NPKI" or "PPKI"); ppkiDir is the private store's subfolder. */
VPL_API int VPL_Cert_Create(PKI_STR_INFO* rec, int pkiFlag, const char* storeBase, const char* ppkiDir,
                            const char* caDir, const char* userDir);
/* The government layout (classes 5, 6, 9) under gpkiBase (the base's
 * "GPKI"); an existing file is replaced. */
VPL_API int VPL_GPKI_Cert_Create(PKI_STR_INFO* rec, int pkiFlag, const char* gpkiBase, const char* classDir,
                                 const char* name);
/* 0 when the directory exists or was made (mode 0700, its parent must
 * exist), -1 otherwise. */
VPL_API int VPL_Dir_CheckANDCreate(const char* path);

/* The government store's names of a certificate: the subject CN (UTF-8,
 * new buffer), the use (3 digital signature, 4 key or data encipherment,
 * else 0) and the class folder's number (2 with policy 1.2.410.100001.2.2,
 * else 1). 0; -1 without subject, key usage or CN; 1051024 when the
 * certificate does not decode; 1052009 when the CN is no safe path
 * component; 1052011 for NULL arguments. */
VPL_API int VPL_Get_GPKI_CNNameOfSubjectDN(const void* cert, int len, char** cn, int* use, int* gpkiClass);

/* Drive records "drive^{URL-encoded path}&volume^" joined by "|": the home
 * directory's first, then each removable drive (VPL_Get_DriveInfos). */
VPL_API int VPL_Get_SystemDrive(char** out, int* outLen);
VPL_API int VPL_Send_DriveData(const char* path, char** out, int* outLen);
VPL_API int VPL_Get_DriveInfos(char** out, int* outLen);

/* The storage type a path names: 0 for a file path (one beginning with
 * "/", or of one component); for a pseudo path by its second component
 * (case ignored): "USBT..." 3, "MEMORY..." 6, "SCARD..." 2, "ICCARD..." 7,
 * "PHONE" 8, "HSM..." 12, anything else 0; -1 for NULL. */
VPL_API int VPL_InputPath_Check(const char* path);
/* A copy of a pseudo path's first component (its domain): 0; -1 for a path
 * of one component; 1052011 for NULL. */
VPL_API int VPL_Get_PathToDomain(const char* path, char** domain, int* len);

/* Credentials cached for a pseudo path in its domain's context. 0; 1052030
 * when nothing is cached (no context, no such node, no certificate or key);
 * 1052011 for NULL arguments; 1052007 when memory runs out. */
VPL_API int VPL_Set_MemoryPrivateKey(const char* path, const void* key, int keyLen);
VPL_API int VPL_Get_MemoryPrivateKey(const char* path, void** key, int* keyLen);
VPL_API int VPL_Get_MemoryCert(const char* path, void** cert, int* certLen);
/* Stores a copy of the HSM module name in the domain's context: 0; 1052011
 * for NULL arguments or lengths that are not the texts'; 1052047 for a
 * domain without context; 1052007 no memory. */
VPL_API int VPL_Set_HSM_Drive(const char* domain, int domainLen, const char* module, int moduleLen);
/* The subject DN and hex serial of a pseudo path's cached certificate (an
 * output stays NULL when its text is empty): 0, the memory lookup's code,
 * or 1051024. */
VPL_API int VPL_Get_PathToSubjectDNAndSerial(const char* path, char** subjectDN, int* dnLen, char** hexSerial,
                                             int* serialLen);
/* The certificate and private key behind a path: a pseudo path's cached
 * pair, or the files of the store (a CA certificate comes with no key).
 * 0; 1052011 for NULL; 1052030 when a file cannot be read or nothing is
 * cached; -1 for a certificate the store does not file. */
VPL_API int VPL_SaveToken_CopyPath_Check(const char* certPath, void** cert, int* certLen, void** key, int* keyLen);
/* The key file beside a certificate file: its name with the last eight
 * characters replaced by "Pri.key" (classes 5, 6: the last three by
 * "key"; 10: the last four by "priv"), a regular file of the folder whose
 * whole name is that, letters without case (its own spelling first).
 * 0 with a new path; 1052009 for NULL; -1 when there is none. */
VPL_API int VPL_CertPathConvKeyPath(int typeCode, const char* certPath, char** keyPath);

/* A copy of s with the first occurrence of find (case ignored) replaced by
 * repl; an unchanged copy when there is none. 0, or -1 for NULL arguments
 * or when memory runs out. */
VPL_API int VPL_StrReplace(const char* s, const char* find, const char* repl, char** out, int* outLen);

VPL_END_DECLS

#endif

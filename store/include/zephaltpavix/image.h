/*
 * Site images (logos, banners) signed by the system's image signer.
 *
 * A signed image is the image's bytes followed by the signature: the RSA
 * private-key operation with PKCS#1 v1.5 block formatting over the bare
 * 20-byte SHA-1 digest of the image (no DigestInfo), as
 *   openssl dgst -sha1 -binary img | openssl pkeyutl -sign -inkey signer.key
 * gives it; the signature is as long as the signer's modulus (256 bytes for
 * its 2048-bit key). The opened block must be exactly the digest.
 *
 * Verified downloads are stored whole (signature included) in the image
 * folder "<home>/.veridan/zephalt_fx/images" (folders made 0700), written
 * under a temporary name and renamed; the file is named after the URL's
 * host (cut at ":") and its last component, "<host>_<file>".
 *
 * Codes: 0; 1052011 no URL, or one that is empty, over 1023 bytes, holds a
 * zero byte or has fewer than two "/"-separated parts; 1052039 the domain
 * has no context; 1052005 nothing downloaded or a signature that does not
 * match; 1052006 data shorter than a signature; 1051024 the signer
 * certificate does not read; 1052030 the file does not read; 1052009 a
 * path too long or a name that is not one path component; 1052031 the file
 * not written (nothing is left of it); 1052007 no memory; the decoder's,
 * digest's and RSA codes. A failed check stores nothing and leaves the
 * domain's image path as it was.
 */
#ifndef ZEPHALTPAVIX_IMAGE_H
#define ZEPHALTPAVIX_IMAGE_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* The image signer's certificate (PEM, zero-terminated); the same file is
 * installed as Resources/image_verify_cert.pem. */
VPL_API extern const char Image_Verify_Cert[];

/* Downloads the image the Base64 URL names (plain http; 30 s to connect,
 * 10 s for each wait, at most 64 MiB), checks its signature, stores it and
 * makes it the domain's image path; the path comes out as Base64. */
VPL_API int VPL_Image_Verify_Signed(const char* domain, int domainLen, const char* urlBase64, int urlBase64Len,
                                    char** path, int* pathLen);
/* 0 when the file's signature is good. */
VPL_API int VPL_Downloaded_Image_Verify(const char* path);
/* Makes the image folder (and its parents) when missing; its path. */
VPL_API int VPL_Check_ImageFolerPath(char** path, int* pathLen);
/* "<host>_<last component>" of a URL of urlLen bytes (up to a zero byte). */
VPL_API int VPL_Make_ImageFileName(const char* url, int urlLen, char** name, int* nameLen);

VPL_END_DECLS

#endif

/*
 * The web server's certificate against the plug-in's certification
 * authorities, and the password policy checks.
 *
 * The library carries two CA certificates (the current plug-in root CA and
 * an older plug-in CA), taken at build time from two PEM files.
 *
 * Each password check returns 0 when its rule holds and -1 when it is
 * broken, so that callers combine them with limits of their own; 1052011
 * for a missing text. Passwords are bytes: len is the caller's count, no
 * terminator is read.
 */
#ifndef ZEPHALTPAVIX_POLICY_H
#define ZEPHALTPAVIX_POLICY_H

#include <zephaltpavix/store_export.h>

VPL_BEGIN_DECLS

/* 0 when the certificate (DER or PEM) was issued by one of the two
 * built-in CAs (its issuer name is the CA's subject and the CA's key
 * verifies its signature) and now (with the network-time offset) is inside
 * its validity. 1052011 missing certificate or length of 0 or less; 1051044
 * no built-in CA has its issuer's name; 1051045 none of that name verifies
 * it; 1051046 not yet valid; 1051047 expired; -1 any other failure. */
VPL_API int VPL_ServerCert_Verify_Validity(const void* cert, int certLen);

/* Broken when len is above max (max of 0 or less: 30). */
VPL_API int VPL_Check_MaxLength(const char* pw, int len, int max);
/* Broken when len is below min (min of 0 or less: 8). */
VPL_API int VPL_Check_MinLength(const char* pw, int len, int min);
/* Broken when run bytes (run of 0 or less: 3) ascend or descend by one
 * ("abc", "321"); bytes of 0x80 and above never take part. 1052011 also
 * for len of 0 or less. */
VPL_API int VPL_Check_Continous_Letter(const unsigned char* pw, int len, int run);
/* Broken when one byte repeats run times in a row (run of 0 or less: 3),
 * anywhere in the text, and when the text is shorter than run; bytes of
 * 0x80 and above never count as repeated. 1052011 also for len of 0 or
 * less. */
VPL_API int VPL_Check_Repeated_Letter(const char* pw, int len, int run);

VPL_END_DECLS

#endif

/*
 * libzunCore: the core security API (VCL_ functions). This header includes
 * every public header of the library:
 *   <zunCore/error.h>   error codes and texts, versions
 *   <zunCore/log.h>     the core log and its process lock
 *   <zunCore/encode.h>  Base64, URL, Base128, hex, byte order
 *   <zunCore/util.h>    buffers, files, strings, time texts
 *   <zunCore/korean.h>  EUC-KR, UCS-2 and UTF-8 conversion
 *   <zunCore/config.h>  the configuration-file reader
 *   <zunCore/crypto.h>  algorithm names, PEM and DER typing, the clock
 *   <zunCore/cipher.h>  random bytes, block ciphers, parallel CTR, digests
 *   <zunCore/pkcs5.h>   PKCS#5 password-based encryption and key derivation
 *   <zunCore/script.h>  the web-content script check, one-time passwords
 *   <zunCore/net.h>     the HTTP/1.0 download and LDAP CRL retrieval
 *   <zunCore/x509_info.h>   the X.509 information record
 *   <zunCore/x509_conv.h>   certificate, name, time and key conversions
 *   <zunCore/x509_check.h>  certificate and CRL checks
 *   <zunCore/x509_cpv.h>    path validation with CRLs fetched over LDAP or HTTP
 */
#ifndef ZUNCORE_ZUNCORE_H
#define ZUNCORE_ZUNCORE_H

#include <zunCore/cipher.h>
#include <zunCore/config.h>
#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/korean.h>
#include <zunCore/log.h>
#include <zunCore/net.h>
#include <zunCore/pkcs5.h>
#include <zunCore/script.h>
#include <zunCore/util.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_cpv.h>
#include <zunCore/x509_info.h>

#endif

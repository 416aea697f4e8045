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
 *   <zunCore/keys.h>    signer credentials, opening keys, RSA key files
 *   <zunCore/pkcs1.h>   RSA encryption and RSA / KCDSA signatures
 *   <zunCore/pkcs8.h>   PKCS#8 keys and the VID random
 *   <zunCore/keypass.h> key passwords, protected passwords
 *   <zunCore/pkcs12.h>  PKCS#12 files
 *   <zunCore/pkcs7.h>   PKCS#7 signed, enveloped and signed-and-enveloped data
 *   <zunCore/mac.h>     HMAC and CBC-MAC
 *   <zunCore/cms.h>     CMS signed and enveloped data
 *   <zunCore/ocsp.h>    the OCSP client and responder
 *   <zunCore/script.h>  the web-content script check, one-time passwords
 *   <zunCore/ntp.h>     the network-time client and offset
 *   <zunCore/smartcard.h> the serial card reader, APDUs and card files
 *   <zunCore/cgi.h>     CGI requests and HTML output
 *   <zunCore/compress.h> pattern compression
 *   <zunCore/module.h>  files with an appended signature
 *   <zunCore/x509_info.h>   the X.509 information record
 *   <zunCore/x509_conv.h>   certificate, name, time and key conversions
 *   <zunCore/x509_check.h>  certificate and CRL checks
 *   <zunCore/net.h>     the HTTP/1.0 download and LDAP CRL retrieval
 *   <zunCore/x509_cpv.h>    path validation with CRLs fetched over LDAP or HTTP
 *   <zunCore/pkcs11.h>  PKCS#11 tokens and the KISA token-driver lists
 */
#ifndef ZUNCORE_ZUNCORE_H
#define ZUNCORE_ZUNCORE_H

#include <zunCore/cgi.h>
#include <zunCore/cipher.h>
#include <zunCore/cms.h>
#include <zunCore/compress.h>
#include <zunCore/config.h>
#include <zunCore/crypto.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/keypass.h>
#include <zunCore/keys.h>
#include <zunCore/korean.h>
#include <zunCore/log.h>
#include <zunCore/mac.h>
#include <zunCore/module.h>
#include <zunCore/ntp.h>
#include <zunCore/ocsp.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs11.h>
#include <zunCore/pkcs12.h>
#include <zunCore/net.h>
#include <zunCore/pkcs5.h>
#include <zunCore/pkcs7.h>
#include <zunCore/pkcs8.h>
#include <zunCore/script.h>
#include <zunCore/smartcard.h>
#include <zunCore/util.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_cpv.h>
#include <zunCore/x509_info.h>

#endif

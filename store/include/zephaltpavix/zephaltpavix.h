/*
 * libzephaltpavix: the certificate store (VPL_ functions). This header
 * includes every public header of the library:
 *   <zephaltpavix/error.h>     result codes and their texts
 *   <zephaltpavix/base.h>      start and clean-up, log, VPL_Free, name=value parser
 *   <zephaltpavix/encode.h>    Base64 and URL encodings of the interface
 *   <zephaltpavix/certclass.h> certificate class and store folder names
 *   <zephaltpavix/certlist.h>  certificate records, lists, filters, walks and listings
 *   <zephaltpavix/context.h>   domain contexts and their cached credentials
 *   <zephaltpavix/layout.h>    the on-disk stores, the writer, drives, pseudo paths
 *   <zephaltpavix/crypto.h>    crypto wrappers (digests)
 *   <zephaltpavix/session.h>   web sessions: keys, server certificate, properties
 *   <zephaltpavix/keypass.h>   key passwords, certificate folders, CPS addresses
 *   <zephaltpavix/sign.h>      algorithm choice, KM lookup, signing, identification
 *   <zephaltpavix/pfx.h>       PKCS#12 export, import and loaded credentials
 *   <zephaltpavix/index.h>     the index-based certificate API
 *   <zephaltpavix/zunplugin.h> the ZUNPlugin data string and the server's replies
 *   <zephaltpavix/sessionkey.h> the session-key table and Base64 crypto helpers
 *   <zephaltpavix/image.h>     signed site images
 */
#ifndef ZEPHALTPAVIX_ZEPHALTPAVIX_H
#define ZEPHALTPAVIX_ZEPHALTPAVIX_H

#include <zephaltpavix/base.h>
#include <zephaltpavix/certclass.h>
#include <zephaltpavix/certlist.h>
#include <zephaltpavix/context.h>
#include <zephaltpavix/crypto.h>
#include <zephaltpavix/detail.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/error.h>
#include <zephaltpavix/image.h>
#include <zephaltpavix/index.h>
#include <zephaltpavix/issue.h>
#include <zephaltpavix/keypass.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/manage.h>
#include <zephaltpavix/policy.h>
#include <zephaltpavix/pfx.h>
#include <zephaltpavix/session.h>
#include <zephaltpavix/sessionkey.h>
#include <zephaltpavix/sign.h>
#include <zephaltpavix/zunplugin.h>

#endif

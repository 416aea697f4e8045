/*
 * Export and linkage macros of libzunPKI.
 *
 * Everything in the library is hidden unless marked ZUNPKI_API. Public
 * headers wrap their declarations in ZUNPKI_BEGIN_DECLS / ZUNPKI_END_DECLS so
 * the names stay unmangled when included from C++.
 */
#ifndef ZUNPKI_PKI_EXPORT_H
#define ZUNPKI_PKI_EXPORT_H

#define ZUNPKI_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define ZUNPKI_BEGIN_DECLS extern "C" {
#define ZUNPKI_END_DECLS }
#else
#define ZUNPKI_BEGIN_DECLS
#define ZUNPKI_END_DECLS
#endif

#endif

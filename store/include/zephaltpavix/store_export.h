/*
 * Export and linkage macros of libzephaltpavix.
 *
 * Everything in the library is hidden unless marked VPL_API. Public headers
 * wrap their declarations in VPL_BEGIN_DECLS / VPL_END_DECLS so the names
 * stay unmangled when included from C++.
 */
#ifndef ZEPHALTPAVIX_STORE_EXPORT_H
#define ZEPHALTPAVIX_STORE_EXPORT_H

#define VPL_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define VPL_BEGIN_DECLS extern "C" {
#define VPL_END_DECLS }
#else
#define VPL_BEGIN_DECLS
#define VPL_END_DECLS
#endif

#endif

/*
 * Export and linkage macros of libzunCore.
 *
 * Everything in the library is hidden unless marked VCL_API. Public headers
 * wrap their declarations in VCL_BEGIN_DECLS / VCL_END_DECLS so the names
 * stay unmangled when included from C++.
 */
#ifndef ZUNCORE_CORE_EXPORT_H
#define ZUNCORE_CORE_EXPORT_H

#define VCL_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define VCL_BEGIN_DECLS extern "C" {
#define VCL_END_DECLS }
#else
#define VCL_BEGIN_DECLS
#define VCL_END_DECLS
#endif

#endif

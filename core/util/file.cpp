// Whole-file input and output through libzunPKI's file functions.
#include <cstring>

#include <zunCore/error.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/utils.h>

#include "core_internal.hpp"

extern "C" {

VCL_API int VCL_Read_File(const char* path, unsigned char** buf, int* len) {
    if (!path || !buf || !len) return VCL_CORE_CODE(VCL_CAT_STRING_READ_FILE, VCL_R_NULL_PARAM);
    unsigned char* bytes = nullptr;
    const int n = File_to_binary(path, &bytes);
    if (n < 0 || !bytes) return VCL_CORE_CODE(VCL_CAT_STRING_READ_FILE, VCL_R_READ_FILE);
    char* copy = zcore::newBuffer({reinterpret_cast<const char*>(bytes), static_cast<size_t>(n)});
    VSC_Free(bytes, "String/string", 643);
    if (!copy) return VCL_CORE_CODE(VCL_CAT_STRING_READ_FILE, VCL_R_MALLOC);
    *buf = reinterpret_cast<unsigned char*>(copy);
    *len = n;
    return 0;
}

VCL_API int VCL_Write_File(const unsigned char* buf, int len, const char* path) {
    if (binary_to_File(buf, 0, len, path) == -1) return VCL_CORE_CODE(VCL_CAT_STRING_WRITE_FILE, VCL_R_WRITE_FILE);
    return 0;
}

}  // extern "C"

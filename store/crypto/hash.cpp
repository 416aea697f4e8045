// The store's digest wrapper: the core's one-shot digest, handed out in a
// buffer of ours.
#include <zephaltpavix/crypto.h>
#include <zunCore/cipher.h>

#include "base/store_internal.hpp"

extern "C" {

VPL_API int VPL_HASH_Data(const void* in, int len, void** digest, int* digestLen, const char* algorithm) {
    if (!in || len <= 0 || !digest || !digestLen) return zstore::fail("VPL_HASH_Data", VPL_ERR_CORE_PARAM);
    zstore::CoreBuffer made;
    if (VCL_HASH_Data(in, len, &made.bytes, &made.len, algorithm) != 0 || !made.bytes || made.len <= 0)
        return zstore::fail("VPL_HASH_Data", VPL_ERR_HASH);
    char* copy = nullptr;
    int copyLen = 0;
    if (zstore::handOut(made.view(), &copy, &copyLen) != 0) return zstore::fail("VPL_HASH_Data", VPL_ERR_MEMORY);
    *digest = copy;
    *digestLen = copyLen;
    return 0;
}

}  // extern "C"

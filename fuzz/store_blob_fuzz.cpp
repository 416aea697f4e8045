// Identity blobs through VPL_DecryptAndSave under fixed secrets (the first
// byte picks whether a key source is given): every answer is one of its
// codes, and the same bytes give the same answer again.
#include <cstdint>
#include <cstdlib>

#include <zephaltpavix/zephaltpavix.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char* keySource = (data[0] & 1) ? "8001011234567" : nullptr;
    const void* blob = data + 1;
    const int len = static_cast<int>(size - 1);
    const int rc = VPL_DecryptAndSave(blob, len, keySource, "auth-code-77");
    check(rc == 0 || rc == VPL_ERR_BLOB_DECRYPT || rc == VPL_ERR_BLOB_PARSE || rc == VPL_ERR_MEMORY ||
          rc == VPL_ERR_BLOB_BASE64 || rc == VPL_ERR_BLOB_KEY);
    check(VPL_DecryptAndSave(blob, len, keySource, "auth-code-77") == rc);
    check(VPL_GetLastError() == rc);
    return 0;
}

// Start and clean-up, the log wrappers and the release function.
#include <cstdarg>
#include <cstdio>

#include <zephaltpavix/context.h>

#include "sign/sign_internal.hpp"
#include "store_internal.hpp"

VPL_API int g_nCertCnt = 0;
VPL_API int g_nSkIdInfoCnt = 0;

namespace zstore {

void (*g_releaseCertBlock)() = nullptr;
void (*g_releaseSkIdBlock)() = nullptr;

}  // namespace zstore

namespace {

void releaseBlocks() {
    if (zstore::g_releaseCertBlock) zstore::g_releaseCertBlock();
    if (zstore::g_releaseSkIdBlock) zstore::g_releaseSkIdBlock();
    g_nCertCnt = 0;
    g_nSkIdInfoCnt = 0;
}

}  // namespace

extern "C" {

VPL_API void VPL_Init(void) {}

VPL_API void VPL_Cleanup(void) {
    releaseBlocks();
    zstore::releaseLoadedKeys();
    VPL_Delete_ALL_CTX(&g_CTX_Head);
    VPL_Delete_PKCS10_Cert();
    VPL_Delete_Exchg_Cert();
}

VPL_API void VPL_SkIdArrayCleanup(void) { releaseBlocks(); }

VPL_API int VPL_LogInit(const char* dir, const char* prefix, int level) {
    return VCL_Log_Init(dir, prefix, level, VCL_LOG_MODE_FILE);
}

VPL_API void VPL_LogClose(void) { VCL_LogClose(); }

VPL_API void VPL_SetLogLevel(int level) { VCL_setLogLevel(level); }

VPL_API void VPL_Log(int level, const char* /*file*/, int /*line*/, const char* format, ...) {
    // One record of at most 2047 characters; longer text is cut.
    char text[2048] = {};
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    VCL_Log(level, nullptr, 0, "%s", text);
}

VPL_API void VPL_Log_HEXA(int level, const char* file, int line, const char* title, const void* data, int len) {
    VCL_Log_HEXA(level, file, line, title, static_cast<const unsigned char*>(data), len);
}

VPL_API void VPL_Free(void* buf, int len) { zstore::release(buf, len); }

}  // extern "C"

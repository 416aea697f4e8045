// The web server's certificate against the two built-in plug-in CAs.
#include <string>
#include <string_view>
#include <vector>

#include <zephaltpavix/encode.h>
#include <zephaltpavix/policy.h>
#include <zunCore/x509_check.h>

#include "base/store_internal.hpp"
#include "policy/policy_internal.hpp"

// kPluginCaCurrent, kPluginCaOlder: the PEM texts the build was given.
#include "plugin_ca.inc"

namespace {

// The bytes of a PEM block: its body Base64-decoded. The older CA comes as
// a block whose body is itself a PEM certificate, which is read in turn.
std::string blockBytes(std::string_view text, int depth = 0) {
    const size_t begin = text.find("-----BEGIN ");
    if (begin == std::string_view::npos) return std::string(text);
    const size_t bodyStart = text.find('\n', begin);
    const size_t end = text.find("-----END ", begin);
    if (bodyStart == std::string_view::npos || end == std::string_view::npos || end < bodyStart) return {};
    std::string body;
    for (char c : text.substr(bodyStart + 1, end - bodyStart - 1))
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t') body += c;
    char* decoded = nullptr;
    int n = 0;
    if (body.empty() || VPL_DataDecode(0, body.data(), static_cast<int>(body.size()), &decoded, &n) != 0) return {};
    std::string bytes(decoded, static_cast<size_t>(n));
    VPL_Free(decoded, n);
    if (depth == 0 && bytes.find("-----BEGIN ") != std::string::npos) return blockBytes(bytes, 1);
    return bytes;
}

}  // namespace

namespace zstore {

const std::vector<std::string>& pluginCAs() {
    static const std::vector<std::string> cas = {blockBytes(kPluginCaCurrent), blockBytes(kPluginCaOlder)};
    return cas;
}

}  // namespace zstore

extern "C" {

VPL_API int VPL_ServerCert_Verify_Validity(const void* cert, int certLen) {
    static const char* const kFn = "VPL_ServerCert_Verify_Validity";
    if (!cert || certLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);

    // The CAs whose subject is the certificate's issuer name, current first.
    std::vector<const std::string*> named;
    for (const std::string& ca : zstore::pluginCAs()) {
        if (ca.empty()) continue;
        const int rc = VCL_X509_Verify_DN(cert, certLen, ca.data(), static_cast<int>(ca.size()));
        if (rc == 0)
            named.push_back(&ca);
        else
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_ServerCert_Verify_Validity () :VCL_X509_Verify_DN Fail (0x%08x)\n",
                       static_cast<unsigned>(rc));
    }
    if (named.empty()) return zstore::fail(kFn, VPL_ERR_SERVER_ISSUER);

    bool verified = false;
    for (const std::string* ca : named) {
        const int rc = VCL_X509_Verify_Signature(cert, certLen, ca->data(), static_cast<int>(ca->size()));
        if (rc == 0) {
            verified = true;
            break;
        }
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_ServerCert_Verify_Validity () :VCL_X509_Verify_Signature Fail (0x%08x)\n",
                   static_cast<unsigned>(rc));
    }
    if (!verified) return zstore::fail(kFn, VPL_ERR_SERVER_SIGNATURE);

    switch (const int rc = VCL_X509_Verify_Validity(cert, certLen, nullptr)) {
        case 0:
            return 0;
        case VCL_X509_EXPIRED:
            return zstore::fail(kFn, VPL_ERR_SERVER_EXPIRED);
        case VCL_X509_NOT_YET_VALID:
            return zstore::fail(kFn, VPL_ERR_SERVER_NOT_YET);
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_ServerCert_Verify_Validity () :VCL_X509_Verify_Validity Fail (0x%08x)\n",
                       static_cast<unsigned>(rc));
            return -1;
    }
}

}  // extern "C"

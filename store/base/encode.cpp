// The encodings of the store's interface over the core's Base64 and URL
// coders.
#include <cstring>
#include <string>

#include <zephaltpavix/encode.h>
#include <zunCore/encode.h>

#include "store_internal.hpp"

namespace {

using zstore::CoreBuffer;

bool base64Encode(std::string_view in, std::string& out) {
    CoreBuffer text;
    const int n = VCL_Base64_Encode(reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()),
                                    reinterpret_cast<char**>(&text.bytes), 0);
    if (n < 0) return false;
    text.len = n;
    out.assign(text.view());
    return true;
}

// Nothing when the text does not decode or decodes to nothing.
bool base64Decode(std::string_view in, std::string& out) {
    if (in.empty()) return false;
    CoreBuffer bytes;
    const int n = VCL_Base64_Decode(in.data(), static_cast<int>(in.size()), &bytes.bytes);
    if (n <= 0 || !bytes.bytes) return false;
    bytes.len = n;
    out.assign(bytes.view());
    return true;
}

bool urlEncode(std::string_view in, std::string& out) {
    out.clear();
    if (in.empty()) return true;  // the core's coder refuses an empty input
    std::string room(in.size() * 3 + 1, '\0');
    int n = 0;
    if (VCL_URL_Encode(in.data(), static_cast<int>(in.size()), room.data(), &n) != 0) return false;
    room.resize(static_cast<size_t>(n));
    out = std::move(room);
    return true;
}

bool urlDecode(std::string_view in, std::string& out) {
    std::string room(in.size() + 1, '\0');
    int n = 0;
    if (VCL_URL_Decode(in.data(), static_cast<int>(in.size()), room.data(), &n) != 0) return false;
    room.resize(static_cast<size_t>(n));
    out = std::move(room);
    return true;
}

// Each step's text is wiped: paths and values may be secrets of the caller.
struct Steps {
    std::string a, b;
    ~Steps() {
        zstore::wipe(a);
        zstore::wipe(b);
    }
};

}  // namespace

extern "C" {

VPL_API int VPL_DataEncode(int type, const void* in, int len, char** out, int* outLen) {
    if (!in || len < 0 || !out || !outLen) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_DataEncode () : Input Data NULL\n");
        return VPL_ERR_INVALID_PARAM;
    }
    *out = nullptr;
    *outLen = 0;
    const std::string_view input(static_cast<const char*>(in), static_cast<size_t>(len));
    Steps s;
    std::string_view result = input;
    if (type == 0 || type == 2) {
        if (!base64Encode(result, s.a)) return -1;
        result = s.a;
    }
    if (type == 1 || type == 2) {
        if (!urlEncode(result, s.b)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_DataEncode () : URL Encode Memory Fail\n");
            return -1;
        }
        result = s.b;
    }
    return zstore::handOut(result, out, outLen) == 0 ? 0 : -1;
}

VPL_API int VPL_DataDecode(int type, const char* in, int len, char** out, int* outLen) {
    if (!in || len < 0 || !out || !outLen) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_DataDecode () : Input NULL\n");
        return VPL_ERR_INVALID_PARAM;
    }
    *out = nullptr;
    *outLen = 0;
    Steps s;
    std::string_view result(in, static_cast<size_t>(len));
    if (type == 1 || type == 2) {
        if (!urlDecode(result, s.a)) return -1;
        result = s.a;
    }
    if (type == 0 || type == 2) {
        if (!base64Decode(result, s.b)) return -1;
        result = s.b;
    }
    return zstore::handOut(result, out, outLen) == 0 ? 0 : -1;
}

VPL_API char* VPL_URLEncode(const char* text) {
    if (!text) return nullptr;
    char* encoded = VCL_URLEncode(text);
    if (!encoded) return nullptr;
    char* copy = zstore::newBuffer(encoded);
    VCL_Free(encoded, static_cast<int>(std::strlen(encoded)));
    return copy;
}

VPL_API char* VPL_Insert_PKCS10_CertEncode(const char* text) { return VPL_URLEncode(text); }

VPL_API int VPL_URLDecode(char* text) { return VCL_URLDecode(text); }

VPL_API int VPL_Base64EncodeNoline(const void* in, int len, char* out, int outSize) {
    if (!in || len < 0 || !out || outSize < 0) return -1;
    std::string text;
    if (!base64Encode({static_cast<const char*>(in), static_cast<size_t>(len)}, text)) return -1;
    if (text.size() > static_cast<size_t>(outSize)) return -1;
    std::memset(out, 0, static_cast<size_t>(outSize));
    std::memcpy(out, text.data(), text.size());
    return static_cast<int>(text.size());
}

VPL_API int VPL_Base64DecodeNoline(const char* in, int len, void* out, int outSize) {
    if (!in || len < 0 || !out || outSize <= 0) return -1;
    Steps s;
    if (!base64Decode({in, static_cast<size_t>(len)}, s.a)) return -1;
    // The bytes and the zero after them must fit: the room is checked before
    // anything is written.
    if (s.a.size() >= static_cast<size_t>(outSize)) return -1;
    std::memcpy(out, s.a.data(), s.a.size());
    static_cast<char*>(out)[s.a.size()] = '\0';
    return static_cast<int>(s.a.size());
}

}  // extern "C"

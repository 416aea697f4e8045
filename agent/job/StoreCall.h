// Small helpers around the store library's calls for the job's adapters:
// its output buffers, released (and zeroed) by VPL_Free, and the Base64
// form of a certificate path the store takes.
#pragma once

#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include <zephaltpavix/zephaltpavix.h>

struct StoreBuffer {
    char* data = nullptr;
    int len = 0;
    StoreBuffer() = default;
    StoreBuffer(const StoreBuffer&) = delete;
    StoreBuffer& operator=(const StoreBuffer&) = delete;
    ~StoreBuffer() { VPL_Free(data, len); }
    char** ptr() { return &data; }
    void** vptr() { return reinterpret_cast<void**>(&data); }
    std::string_view view() const { return data && len > 0 ? std::string_view(data, size_t(len)) : std::string_view(); }
};

// Every length the store takes is an int.
inline bool FitsInt(size_t n) { return n <= size_t(INT_MAX); }
inline int TextLen(const char* text) { return text ? static_cast<int>(strnlen(text, INT_MAX)) : 0; }

// type 0 Base64, 1 URL form, 2 both: false when the store fails.
inline bool StoreEncode(int type, std::string_view in, std::string& out) {
    out.clear();
    if (!FitsInt(in.size())) return false;
    StoreBuffer b;
    if (VPL_DataEncode(type, in.data(), static_cast<int>(in.size()), b.ptr(), &b.len) != 0 || !b.data) return false;
    out.assign(b.data, size_t(b.len > 0 ? b.len : 0));
    return true;
}

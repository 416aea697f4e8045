// The store's decoder as the job's parsers take it (VPL_DataDecode), for the
// job_* targets of the store's texts.
#pragma once

#include <climits>
#include <string>
#include <string_view>

#include <zephaltpavix/zephaltpavix.h>

inline bool FuzzStoreDecode(int type, std::string_view in, std::string& out) {
    out.clear();
    if (in.empty()) return type != 0 && type != 2;
    if (in.size() > INT_MAX) return false;
    char* buf = nullptr;
    int len = 0;
    const int rc = VPL_DataDecode(type, in.data(), static_cast<int>(in.size()), &buf, &len);
    if (rc != 0 || buf == nullptr || len < 0) {
        VPL_Free(buf, len);
        return false;
    }
    out.assign(buf, static_cast<size_t>(len));
    VPL_Free(buf, len);
    return !(out.empty() && (type == 0 || type == 2));
}

// The roaming and issuing servers' replies, read with bounds: every piece is
// taken by position and length, never past the reply's end.
#include <zephaltpavix/base.h>
#include <zephaltpavix/encode.h>

#include <algorithm>
#include <cstring>

#include "job/Roaming.h"

namespace {

constexpr std::string_view kOk = "OK$";

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The text after "OK$" up to the next "$" or the end.
bool afterOk(std::string_view reply, std::string_view& piece) {
    const size_t at = reply.find(kOk);
    if (at == std::string_view::npos) return false;
    piece = reply.substr(at + kOk.size());
    piece = piece.substr(0, piece.find('$'));
    return true;
}

}  // namespace

bool RoamingNumberIsValid(std::string_view number, int digits) {
    return (digits == 8 || digits == 12 || digits == 16) && number.size() == static_cast<size_t>(digits) &&
           allDigits(number);
}

int RoamingDigitCount(std::string_view text) {
    if (text == "8") return 8;
    if (text == "12") return 12;
    if (text == "16") return 16;
    return 0;
}

int ParseImportReply(std::string_view reply, std::string& data) {
    std::string_view piece;
    if (!afterOk(reply, piece) || piece.empty()) return -1;
    data.assign(piece);
    return 0;
}

int pars_ExportCert_RetValue(std::string_view reply, int digits, std::string& authCode) {
    std::string_view piece;
    if (!afterOk(reply, piece) || !RoamingNumberIsValid(piece, digits)) return -1;
    authCode.assign(piece);
    return 0;
}

int ParseP10Reply(std::string_view reply, std::string& certificate) {
    constexpr std::string_view kSuccess = "success";
    if (reply.size() < kSuccess.size() + 2 || reply.substr(0, kSuccess.size()) != kSuccess) return -1;
    certificate.assign(reply.substr(kSuccess.size() + 1));
    return 0;
}

bool DecodeRoamingData(std::string_view base64, std::string& bytes) {
    bytes.clear();
    std::string text;
    text.reserve(base64.size());
    for (const char c : base64)
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t') text += c;
    if (text.empty() || text.size() > 0x7fffffff) return false;
    char* out = nullptr;
    int outLen = 0;
    if (VPL_DataDecode(0, text.data(), static_cast<int>(text.size()), &out, &outLen) != 0 || !out) return false;
    bytes.assign(out, static_cast<size_t>(outLen));
    VPL_Free(out, outLen);
    return !bytes.empty();
}

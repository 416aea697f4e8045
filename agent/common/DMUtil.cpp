#include "DMUtil.h"

#include <cstring>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

char DMUtil_HexChar(unsigned nibble) { return "0123456789ABCDEF"[nibble & 0xF]; }

int DMUtil_URLDecode(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return 1;
}

int DMUtil_URLDecodeStream(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char c = in[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= in.size() || hexValue(in[i + 1]) < 0 || hexValue(in[i + 2]) < 0) return 0;
            out += static_cast<char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return 1;
}

std::string DMUtil_URLEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if (isAsciiAlnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else if (isAsciiSpace(c)) {
            out += '+';
        } else {
            out += '%';
            out += DMUtil_HexChar(c >> 4);
            out += DMUtil_HexChar(c);
        }
    }
    return out;
}

bool DMUtil_Parse_GetValue(const char* query, const char* name, std::string& value) {
    if (query == nullptr || name == nullptr) return false;
    std::string key = std::string(name) + "=";
    const char* at = std::strstr(query, key.c_str());
    if (at == nullptr) return false;
    const char* begin = at + key.size();
    const char* end = std::strchr(begin, '&');
    if (end == nullptr) {
        value.assign(begin);
        return true;
    }
    value.assign(begin, end);
    return !value.empty();
}

bool DMUtil_SplitURL(std::string_view url, DMUrlParts& parts) {
    parts = DMUrlParts{};
    size_t sep = url.find("://");
    if (sep == std::string_view::npos) return false;
    parts.scheme = url.substr(0, sep);
    std::string_view authority = url.substr(sep + 3);
    size_t slash = authority.find('/');
    if (slash != std::string_view::npos) {
        parts.rest = authority.substr(slash + 1);
        authority = authority.substr(0, slash);
    }
    size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return false;
        int port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            port = port * 10 + (c - '0');
        }
        if (port > 65535) return false;
        parts.port = port;
        authority = authority.substr(0, colon);
    }
    parts.host = authority;
    return !parts.host.empty();
}

int DMUtil_GetPaserURL(const char* url, const char* name, std::string& out) {
    if (url == nullptr || name == nullptr) return -1;
    DMUrlParts parts;
    if (!DMUtil_SplitURL(url, parts)) return -1;
    if (std::strcmp(name, "domainport") == 0) {
        out = parts.host + ":" + std::to_string(parts.port);
        return 0;
    }
    size_t q = parts.rest.find('?');
    std::string query = q == std::string::npos ? parts.rest : parts.rest.substr(q + 1);
    return DMUtil_Parse_GetValue(query.c_str(), name, out) ? 0 : -1;
}

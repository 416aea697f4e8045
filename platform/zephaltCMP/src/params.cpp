// The parameter text and RFC 4514 names.
#include "params.hpp"

#include <array>
#include <cctype>
#include <charconv>

namespace zcmp {

namespace {

constexpr std::array<const char*, 7> kKeys = {"REFVAL", "AUTHCODE", "CAIP", "CAPORT", "CANAME", "CAPATH", "CMD"};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool hasControl(std::string_view v) {
    for (unsigned char c : v)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// A host name or an IPv4 address: letters, digits, "." and "-", no
// leading "-" (no scheme, user, path or port can ride along).
bool isHost(std::string_view v) {
    if (v.empty() || v.size() > 253 || v.front() == '-' || v.front() == '.') return false;
    for (unsigned char c : v)
        if (!std::isalnum(c) && c != '.' && c != '-') return false;
    return true;
}

int keyIndex(std::string_view key) {
    for (size_t i = 0; i < kKeys.size(); ++i)
        if (equalNoCase(key, kKeys[i])) return static_cast<int>(i);
    return -1;
}

struct Type {
    const char* name;  // as written
    const char* sn;    // OpenSSL's short name
};
constexpr std::array<Type, 12> kTypes = {{{"CN", "CN"},
                                          {"C", "C"},
                                          {"O", "O"},
                                          {"OU", "OU"},
                                          {"L", "L"},
                                          {"ST", "ST"},
                                          {"STREET", "street"},
                                          {"DC", "DC"},
                                          {"UID", "UID"},
                                          {"E", "emailAddress"},
                                          {"EMAILADDRESS", "emailAddress"},
                                          {"SERIALNUMBER", "serialNumber"}}};

bool isDotted(std::string_view t) {
    if (t.empty() || !std::isdigit(static_cast<unsigned char>(t.front())) || t.back() == '.') return false;
    int dots = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '.') {
            if (t[i - 1] == '.') return false;
            ++dots;
        } else if (!std::isdigit(static_cast<unsigned char>(t[i]))) {
            return false;
        }
    }
    return dots >= 1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

}  // namespace

bool Params::has(const char* key) const {
    const int i = keyIndex(key);
    return i >= 0 && (seen & (1u << i));
}

bool parseParams(std::string_view text, Params& out) {
    Params p;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (amp != std::string_view::npos && text.empty()) return false;  // a trailing "&"
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos) return false;
        const int k = keyIndex(pair.substr(0, eq));
        if (k < 0 || (p.seen & (1u << k))) return false;
        p.seen |= 1u << k;
        const std::string_view value = pair.substr(eq + 1);
        if (hasControl(value) || value.size() > 1023) return false;
        switch (k) {
            case 0:
                p.refVal = value;
                break;
            case 1:
                p.authCode = value;
                break;
            case 2:
                if (!isHost(value)) return false;
                p.caIp = value;
                break;
            case 3: {
                int port = 0;
                const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
                if (ec != std::errc() || end != value.data() + value.size() || port < 1 || port > 65535) return false;
                p.caPort = port;
                break;
            }
            case 4:
                p.caName = value;
                break;
            case 5:
                p.caPath = value;
                break;
            default:
                if (!equalNoCase(value, "RENEW")) return false;
                p.cmd = "RENEW";
        }
    }
    out = std::move(p);
    return true;
}

bool parseDn(std::string_view text, std::vector<Attribute>& out) {
    std::vector<Attribute> attrs;
    if (text.empty()) return false;
    int set = 0;
    size_t i = 0;
    while (true) {
        // type
        const std::string_view rest = trimBlanks(text.substr(i));
        i = text.size() - rest.size();
        const size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) return false;
        std::string_view typeText = text.substr(i, eq - i);
        while (!typeText.empty() && typeText.back() == ' ') typeText.remove_suffix(1);
        std::string sn;
        for (const Type& t : kTypes)
            if (equalNoCase(typeText, t.name)) sn = t.sn;
        if (sn.empty()) {
            if (typeText.size() > 4 && equalNoCase(typeText.substr(0, 4), "OID.")) typeText.remove_prefix(4);
            if (!isDotted(typeText) || typeText.size() > 64) return false;
            sn = typeText;
        }
        // value
        std::string value;
        i = eq + 1;
        char end = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c == ',' || c == '+') {
                end = c;
                break;
            }
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
            if (c == '\\') {
                if (i + 1 >= text.size()) return false;
                const char n = text[i + 1];
                const int hi = hexValue(n);
                if (hi >= 0 && i + 2 < text.size() && hexValue(text[i + 2]) >= 0) {
                    const auto b = static_cast<unsigned char>(hi * 16 + hexValue(text[i + 2]));
                    if (b < 0x20 || b == 0x7f) return false;  // escaped or not, no control character
                    value += static_cast<char>(b);
                    i += 2;
                } else if (std::string_view(",+\"\\<>;=# ").find(n) != std::string_view::npos) {
                    value += n;
                    ++i;
                } else {
                    return false;
                }
                continue;
            }
            value += c;
        }
        if (value.empty() || value.size() > 1024) return false;
        attrs.push_back({std::move(sn), std::move(value), set});
        if (attrs.size() > 64) return false;
        if (end == 0) break;
        if (end == ',') ++set;
        ++i;
        if (i >= text.size()) return false;  // a trailing separator
    }
    out = std::move(attrs);
    return true;
}

}  // namespace zcmp

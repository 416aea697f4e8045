// The LDAP URL parser on arbitrary bytes: what it takes has a host, a port
// and a DN without a NUL, and written again with every byte of DN and
// attribute %-encoded it parses to the same parts; what it refuses for its
// scheme does not begin "ldap:".
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <zunCore/net.h>

#include "services/net_internal.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

std::string encoded(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    zcore::LdapUrl u;
    const int rc = zcore::parseLdapUrl(url, u);
    if (size == 0 || size >= zcore::kLdapMaxUrl) check(rc == VCL_ERR_INVALID_PARAM);
    if (rc == VCL_ERR_LDAP_SCHEME) {
        check(size < 5 || !(std::tolower(data[0]) == 'l' && std::tolower(data[1]) == 'd' &&
                            std::tolower(data[2]) == 'a' && std::tolower(data[3]) == 'p' && data[4] == ':'));
        return 0;
    }
    if (rc != 0) {
        check(rc == VCL_ERR_INVALID_PARAM);
        return 0;
    }
    check(!u.server.host.empty() && u.server.host.size() <= 255);
    check(u.server.port != 0);
    check(u.dn.find('\0') == std::string::npos);
    for (char c : u.attribute) check(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ';' || c == '.');

    const bool v6 = u.server.host.find(':') != std::string::npos;
    std::string again = "ldap://" + (v6 ? "[" + u.server.host + "]" : u.server.host) + ":" +
                        std::to_string(u.server.port) + "/" + encoded(u.dn);
    if (!u.attribute.empty()) again += "?" + encoded(u.attribute);
    if (again.size() >= zcore::kLdapMaxUrl) return 0;
    zcore::LdapUrl v;
    check(zcore::parseLdapUrl(again, v) == 0);
    check(v.server.host == u.server.host && v.server.port == u.server.port);
    check(v.dn == u.dn && v.attribute == u.attribute);
    return 0;
}

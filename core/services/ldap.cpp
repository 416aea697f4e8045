// The LDAP clients: a CRL from an LDAP URL and a general one-value search.
// The only file that sees OpenLDAP.
#include <lber.h>
#include <ldap.h>

#include <cctype>
#include <cstring>
#include <vector>

#include <zunCore/korean.h>
#include <zunCore/net.h>

#include "services/net_internal.hpp"

namespace zcore {

namespace {

constexpr uint16_t kLdapPort = 389;
// The filter that matches every entry: the search is of one entry by name.
constexpr char kAnyObject[] = "(objectclass=*)";

bool attributeChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ';' || c == '.'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool percentDecode(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = hexValue(in[i + 1]), lo = hexValue(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out.find('\0') == std::string::npos;
}

// The attribute's name without its options ("certificateRevocationList" of
// "certificateRevocationList;binary").
std::string_view baseName(std::string_view description) { return description.substr(0, description.find(';')); }

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

class Connection {
public:
    Connection() = default;
    ~Connection() {
        if (m_ld) ldap_unbind_ext_s(m_ld, nullptr, nullptr);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    LDAP* get() const { return m_ld; }

    // A handle for hp with LDAPv3, the time-outs, no referrals and the cap
    // on what one message may bring; nothing is sent yet.
    int open(const HostPort& hp) {
        const bool v6 = hp.host.find(':') != std::string::npos;
        const std::string uri = "ldap://" + (v6 ? "[" + hp.host + "]" : hp.host) + ":" + std::to_string(hp.port);
        if (ldap_initialize(&m_ld, uri.c_str()) != LDAP_SUCCESS || m_ld == nullptr) return VCL_ERR_LDAP_CONNECT;
        const int version = LDAP_VERSION3;
        timeval tv{kLdapTimeoutSeconds, 0};
        ber_len_t maxIncoming = kNetMaxBody + 64 * 1024;  // the value and its message around it
        Sockbuf* sb = nullptr;
        if (ldap_set_option(m_ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS ||
            ldap_set_option(m_ld, LDAP_OPT_NETWORK_TIMEOUT, &tv) != LDAP_OPT_SUCCESS ||
            ldap_set_option(m_ld, LDAP_OPT_TIMEOUT, &tv) != LDAP_OPT_SUCCESS ||
            ldap_set_option(m_ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS ||
            ldap_get_option(m_ld, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS || sb == nullptr ||
            ber_sockbuf_ctrl(sb, LBER_SB_OPT_SET_MAX_INCOMING, &maxIncoming) != 1)
            return VCL_ERR_LDAP_CONNECT;
        return 0;
    }

    // A simple bind (anonymous for a null name and password). A server that
    // cannot be reached or does not answer in time is a connection failure.
    int bind(const char* dn, const char* password) {
        berval cred{password ? std::strlen(password) : 0, const_cast<char*>(password ? password : "")};
        const int rc = ldap_sasl_bind_s(m_ld, dn, LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
        if (rc == LDAP_SUCCESS) return 0;
        ZCORE_LOG(VCL_LOG_ERROR, "ldap: bind: %s", ldap_err2string(rc));
        if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT) return VCL_ERR_LDAP_CONNECT;
        return VCL_ERR_LDAP_BIND;
    }

private:
    LDAP* m_ld = nullptr;
};

struct Result {
    LDAPMessage* msg = nullptr;
    ~Result() {
        if (msg) ldap_msgfree(msg);
    }
};

struct Values {
    berval** v = nullptr;
    ~Values() {
        if (v) ldap_value_free_len(v);
    }
};

int search(LDAP* ld, const char* base, int scope, const char* filter, char** attrs, Result& res) {
    timeval tv{kLdapTimeoutSeconds, 0};
    const int rc = ldap_search_ext_s(ld, base, scope, filter, attrs, 0, nullptr, nullptr, &tv, 0, &res.msg);
    if (rc == LDAP_SUCCESS) return 0;
    ZCORE_LOG(VCL_LOG_ERROR, "ldap: search of \"%s\": %s", base, ldap_err2string(rc));
    return rc == LDAP_NO_SUCH_OBJECT ? VCL_ERR_LDAP_NO_ENTRY : VCL_ERR_LDAP_SEARCH;
}

// The values of the entry's first attribute whose name, options aside, is
// one of wanted (in their order of preference).
bool valuesOf(LDAP* ld, LDAPMessage* entry, const std::vector<std::string_view>& wanted, Values& out) {
    std::vector<std::string> present;
    BerElement* ber = nullptr;
    for (char* a = ldap_first_attribute(ld, entry, &ber); a != nullptr; a = ldap_next_attribute(ld, entry, ber)) {
        present.emplace_back(a);
        ldap_memfree(a);
    }
    if (ber) ber_free(ber, 0);
    for (std::string_view w : wanted)
        for (const std::string& p : present)
            if (sameNoCase(baseName(p), baseName(w))) {
                out.v = ldap_get_values_len(ld, entry, p.c_str());
                if (out.v != nullptr) return true;
            }
    return false;
}

}  // namespace

int parseLdapUrl(std::string_view url, LdapUrl& out) {
    if (url.empty() || url.size() >= kLdapMaxUrl) return VCL_ERR_INVALID_PARAM;
    const size_t schemeEnd = url.find_first_of(":/");
    if (schemeEnd == std::string_view::npos || !sameNoCase(url.substr(0, schemeEnd), "ldap"))
        return VCL_ERR_LDAP_SCHEME;
    if (url.substr(schemeEnd, 3) != "://") return VCL_ERR_INVALID_PARAM;
    std::string_view rest = url.substr(schemeEnd + 3);
    const size_t hostEnd = rest.find_first_of("/?");
    if (!parseHostPort(rest.substr(0, hostEnd), kLdapPort, out.server)) return VCL_ERR_INVALID_PARAM;
    rest = hostEnd == std::string_view::npos ? std::string_view() : rest.substr(hostEnd);
    if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    const size_t q = rest.find('?');
    if (!percentDecode(rest.substr(0, q), out.dn)) return VCL_ERR_INVALID_PARAM;
    out.attribute.clear();
    if (q != std::string_view::npos) {
        std::string_view attrs = rest.substr(q + 1);
        attrs = attrs.substr(0, attrs.find('?'));
        if (!percentDecode(attrs.substr(0, attrs.find(',')), out.attribute)) return VCL_ERR_INVALID_PARAM;
        for (char c : out.attribute)
            if (!attributeChar(c)) return VCL_ERR_INVALID_PARAM;
    }
    return 0;
}

}  // namespace zcore

extern "C" VCL_API int VCL_Ldap_Get_Data(const char* url, int url_length, unsigned char** data, int* data_length) {
    using namespace zcore;
    if (url == nullptr || url_length <= 0 || data == nullptr || data_length == nullptr) return VCL_ERR_INVALID_PARAM;
    // Only the caller's length is read; a NUL inside it ends the URL.
    const size_t n = strnlen(url, static_cast<size_t>(url_length));
    if (n != static_cast<size_t>(url_length)) return VCL_ERR_INVALID_PARAM;
    LdapUrl parsed;
    if (const int rc = parseLdapUrl(std::string_view(url, n), parsed); rc != 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "ldap: URL refused (%d)", rc);
        return rc;
    }
    Connection conn;
    if (const int rc = conn.open(parsed.server); rc != 0) return rc;
    if (const int rc = conn.bind(nullptr, nullptr); rc != 0) return rc;

    std::vector<std::string_view> wanted;
    if (!parsed.attribute.empty())
        wanted = {parsed.attribute};
    else
        wanted = {"certificateRevocationList;binary", "certificateRevocationList", "authorityRevocationList"};
    std::vector<std::string> names(wanted.begin(), wanted.end());
    std::vector<char*> attrs;
    for (auto& a : names) attrs.push_back(a.data());
    attrs.push_back(nullptr);

    Result res;
    if (const int rc = search(conn.get(), parsed.dn.c_str(), LDAP_SCOPE_BASE, kAnyObject, attrs.data(), res); rc != 0)
        return rc;
    LDAPMessage* entry = ldap_first_entry(conn.get(), res.msg);
    Values values;
    if (entry == nullptr || !valuesOf(conn.get(), entry, wanted, values) || values.v[0] == nullptr ||
        values.v[0]->bv_len == 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "ldap: no CRL at \"%s\"", parsed.dn.c_str());
        return VCL_ERR_LDAP_NO_ENTRY;
    }
    const berval* v = values.v[0];
    if (v->bv_len > kNetMaxBody) return VCL_ERR_LDAP_SEARCH;
    char* copy = newBuffer(std::string_view(v->bv_val, v->bv_len));
    if (copy == nullptr) return VCL_ERR_MEMORY;
    *data = reinterpret_cast<unsigned char*>(copy);
    *data_length = static_cast<int>(v->bv_len);
    return 0;
}

extern "C" VCL_API int VCL_Ldap_Simple_Search(const char* host, int port, const char* bind_dn, const char* password,
                                              const char* base, const char* filter, const char* attribute,
                                              char** value) {
    using namespace zcore;
    if (host == nullptr || base == nullptr || filter == nullptr || attribute == nullptr || value == nullptr ||
        port <= 0 || port > 65535)
        return VCL_ERR_INVALID_PARAM;
    // A bare IPv6 literal is written in brackets, as in a URI.
    std::string hostText = host;
    if (hostText.find(':') != std::string::npos && hostText.front() != '[') hostText = "[" + hostText + "]";
    HostPort hp;
    if (!parseHostPort(hostText, static_cast<uint16_t>(port), hp) || hp.port != port) return VCL_ERR_INVALID_PARAM;
    MallocPtr<char> base8(VCL_ConvertEUCKRToUTF8(base));
    MallocPtr<char> filter8(VCL_ConvertEUCKRToUTF8(filter));
    if (!base8 || !filter8) return VCL_ERR_INVALID_PARAM;

    Connection conn;
    if (const int rc = conn.open(hp); rc != 0) return rc;
    if (const int rc = conn.bind(bind_dn, password); rc != 0) return rc;
    std::string attr = attribute;
    char* attrs[] = {attr.data(), nullptr};
    Result res;
    if (const int rc = search(conn.get(), base8.get(), LDAP_SCOPE_SUBTREE, filter8.get(), attrs, res); rc != 0)
        return rc;
    LDAPMessage* entry = ldap_first_entry(conn.get(), res.msg);
    if (entry == nullptr) return VCL_ERR_LDAP_NO_ENTRY;
    Values values;
    if (!valuesOf(conn.get(), entry, {attr}, values) || values.v[0] == nullptr) return VCL_ERR_LDAP_NO_ATTRIBUTE;
    const std::string text(values.v[0]->bv_val, values.v[0]->bv_len);
    if (text.find('\0') != std::string::npos) return VCL_ERR_DATA_FORMAT;
    char* converted = VCL_ConvertUTF8ToEUCKR(text.c_str());
    if (converted == nullptr) return VCL_ERR_DATA_FORMAT;
    *value = converted;
    return 0;
}

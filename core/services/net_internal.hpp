// The HTTP and LDAP clients inside libzunCore: the full download call, the
// response reader and the URL parsers, reached by the path validation and by
// the tests and fuzz targets through zunCore_static.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "util/core_internal.hpp"

namespace zcore {

// Bodies, POST files and LDAP values above this are refused, never cut.
constexpr size_t kNetMaxBody = 64u * 1024 * 1024;

// ---- HTTP -------------------------------------------------------------------

// host[:port] as given after "//" (or a proxy or SOCKS host text).
struct HostPort {
    std::string host;  // without brackets for an IPv6 literal
    uint16_t port = 0;
};
// Parses "host", "host:port", "[v6]" or "[v6]:port"; false for an empty or
// over-long (255) host, characters no host name has, or a port outside
// 1-65535. An absent or empty port is defaultPort.
bool parseHostPort(std::string_view text, uint16_t defaultPort, HostPort& out);

struct HttpUrl {
    HostPort target;
    std::string hostHeader;  // host[:port] as written in the URL
    std::string path;        // from the first '/', '?' made "/?...", "/" when none
    std::string absolute;    // the whole URL for a proxy (scheme added when absent)
};
// "http://host[:port]/path" or the same without "http:" or without "//".
// False for another scheme (https among them), a bad host part, or a URL
// holding blanks or control characters (they would end the request line).
bool parseHttpUrl(std::string_view url, HttpUrl& out);

// Reads an HTTP/1.0 response fed as it arrives, in pieces of any size. The
// status line must come first; the header ends at an empty line; the body
// follows, exactly Content-Length bytes when the header gives it, else up to
// the peer's close. Everything it refuses fails: no status line, a line over
// kMaxLine, a header over kMaxHeader, Content-Lengths that disagree or pass
// the cap, a transfer coding, a body past the cap or shorter than announced.
class HttpResponseReader {
public:
    enum class State { Header, Body, Done, Failed };
    static constexpr size_t kMaxLine = 8192;
    static constexpr size_t kMaxHeader = 64 * 1024;

    // raw: no header is expected; every byte is body.
    explicit HttpResponseReader(bool raw = false, size_t cap = kNetMaxBody);

    State feed(const char* data, size_t n);
    // The peer closed the connection.
    State finish();
    State state() const { return m_state; }

    // The status code (0 until the status line is read) and Content-Length
    // (-1 when absent).
    int status() const { return m_status; }
    long long contentLength() const { return m_contentLength; }

    // In the Body state: room at the body's end to receive into directly, then
    // the count received there.
    std::span<char> bodyRoom();
    State bodyCommit(size_t n);

    size_t bodyLength() const { return m_bodyLen; }
    const char* body() const { return m_body.get(); }
    // The body with a NUL after it (a 1-byte buffer for an empty one); the
    // reader keeps none.
    MallocPtr<char> takeBody();
    // Why it failed, for the log.
    const char* failure() const { return m_failure; }

private:
    State fail(const char* why);
    State line(std::string_view text);
    State startBody();
    bool reserve(size_t room);
    State appendBody(const char* data, size_t n);

    State m_state = State::Header;
    size_t m_cap;
    std::string m_line;
    size_t m_headerBytes = 0;
    bool m_sawStatus = false;
    bool m_lastFieldUsed = false;  // the previous field is one we read (no folding into it)
    int m_status = 0;
    long long m_contentLength = -1;
    MallocPtr<char> m_body;
    size_t m_bodyLen = 0;
    size_t m_bodyCap = 0;
    const char* m_failure = nullptr;
};

// A POST file's bytes: as they are, or url-encoded for a form (line feed "&",
// carriage return dropped, blank "+", a backslash keeps the next byte as it
// is, bytes outside the form's plain set as %XX). "-" reads standard input.
// False when the file cannot be read or passes the cap.
bool readPostFile(const char* path, bool encode, std::string& out);
// The encoding alone, appended to out.
void encodePostBytes(std::string_view in, bool& escaped, std::string& out);

struct HttpFetch {
    const char* url = nullptr;
    const char* socksHost = nullptr;
    const char* proxyHost = nullptr;
    int connectTimeout = 0;  // seconds, 0 = blocking connect
    int readTimeout = 0;     // seconds for each wait, 0 or less = 20
    const char* postFile = nullptr;
    bool encodePost = false;
    const char* cookie = nullptr;
    const char* referer = nullptr;
    const char* extraHeader = nullptr;
    bool raw = false;
    // Read the body whatever the status; else only 200 and 302.
    bool anyStatus = false;
};
struct HttpAnswer {
    int status = 0;
    MallocPtr<char> body;  // a NUL after it
    size_t length = 0;
};
// One exchange; false when it failed anywhere (logged), or when the status
// is not accepted.
bool httpFetch(const HttpFetch& request, HttpAnswer& answer);

// The download with every option, as the library's callers know it: the body
// (malloc'd, a NUL after it, free to release) and *length, or null with
// *length untouched. reserved is not read.
char* get_http_file(const char* url, const char* socks_host, const char* proxy_host, int connect_timeout,
                    int read_timeout, const char* post_file, const char* cookie, const char* referer,
                    int read_any_status, int encode_post, int reserved, int raw, const char* extra_header, int* length);

// ---- LDAP -------------------------------------------------------------------

// Seconds for the connection and for each answer the LDAP client waits for.
constexpr int kLdapTimeoutSeconds = 10;
// LDAP URLs of this length or more are refused.
constexpr size_t kLdapMaxUrl = 256;

struct LdapUrl {
    HostPort server;        // port 389 when absent
    std::string dn;         // %XX decoded
    std::string attribute;  // the first of the URL's attributes, decoded; empty when none
};
// 0, VCL_ERR_LDAP_SCHEME for another scheme (ldaps among them), 1001003 for
// anything malformed (no host, a bad port, a bad %XX, a NUL in the DN, an
// attribute that is not an attribute description).
int parseLdapUrl(std::string_view url, LdapUrl& out);

}  // namespace zcore

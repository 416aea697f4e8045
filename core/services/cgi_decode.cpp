// CGI request decoding over bytes: url-encoded pairs, cookies, multipart
// bodies and the request body read from standard input.
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstring>
#include <optional>

#include <zunCore/encode.h>

#include "services/cgi_internal.hpp"
#include "util/core_internal.hpp"

namespace zcore::cgi {

namespace {

constexpr const char kFormatInvalid[] = "_parse_multipart_data() : String format invalid.";
constexpr const char kEndOfInput[] = "_parse_multipart_data() : Internal bug.";

std::string urlDecoded(std::string_view s) {
    std::string t(s);
    t.resize(static_cast<size_t>(VCL_URLDecode(t.data())));
    return t;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view skipBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}

// Characters of an unquoted parameter value (RFC 2045's token).
bool isTokenChar(char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F &&
           !std::strchr("()<>@,;:\\\"/[]?=", c);
}

// A header's parameters: "; key=value" with the value a token or a quoted
// string. Browsers write a quote inside as %22 and send the backslashes of
// Windows paths as they are, so a backslash escapes nothing. Keys are lower-cased; the first of
// a key wins. Nothing when the text does not parse.
using Params = std::vector<std::pair<std::string, std::string>>;
std::optional<Params> parseParams(std::string_view s) {
    Params params;
    for (;;) {
        s = skipBlanks(s);
        if (s.empty()) return params;
        if (s.front() != ';') return std::nullopt;
        s = skipBlanks(s.substr(1));
        if (s.empty()) return params;  // a trailing ";"
        size_t k = 0;
        while (k < s.size() && isTokenChar(s[k])) ++k;
        if (k == 0) return std::nullopt;
        std::string key(s.substr(0, k));
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        s = skipBlanks(s.substr(k));
        if (s.empty() || s.front() != '=') return std::nullopt;
        s = skipBlanks(s.substr(1));
        std::string value;
        if (!s.empty() && s.front() == '"') {
            size_t i = 1;
            for (; i < s.size() && s[i] != '"'; ++i) value += s[i];
            if (i >= s.size()) return std::nullopt;  // no closing quote
            s.remove_prefix(i + 1);
        } else {
            size_t i = 0;
            // Browsers send raw UTF-8 in unquoted names too.
            while (i < s.size() && (isTokenChar(s[i]) || static_cast<unsigned char>(s[i]) >= 0x80)) ++i;
            if (i == 0) return std::nullopt;
            value.assign(s.substr(0, i));
            s.remove_prefix(i);
        }
        bool seen = false;
        for (const auto& p : params) seen = seen || p.first == key;
        if (!seen) params.emplace_back(std::move(key), std::move(value));
    }
}

const std::string* param(const Params& params, std::string_view key) {
    for (const auto& p : params)
        if (p.first == key) return &p.second;
    return nullptr;
}

// The boundary parameter of a multipart content type.
std::optional<std::string> boundaryOf(std::string_view contentType) {
    const size_t semi = contentType.find(';');
    if (semi == std::string_view::npos) return std::nullopt;
    auto params = parseParams(contentType.substr(semi));
    if (!params) return std::nullopt;
    const std::string* b = param(*params, "boundary");
    if (!b) return std::nullopt;
    const std::string_view trimmed = zcore::trimmed(*b);
    if (trimmed.empty() || trimmed.size() > kMaxBoundary) return std::nullopt;
    return std::string(trimmed);
}

struct Disposition {
    std::string name;
    std::optional<std::string> filename;
};

std::optional<Disposition> parseDisposition(std::string_view value) {
    value = skipBlanks(value);
    if (!startsWithNoCase(value, "form-data")) return std::nullopt;
    auto params = parseParams(value.substr(9));
    if (!params) return std::nullopt;
    const std::string* name = param(*params, "name");
    if (!name) return std::nullopt;
    Disposition d{*name, std::nullopt};
    if (const std::string* f = param(*params, "filename")) {
        const size_t slash = f->rfind('\\');
        d.filename = slash == std::string::npos ? *f : f->substr(slash + 1);
    }
    return d;
}

// Where the delimiter after a part's content starts: CR LF, "--" and the
// boundary, then CR LF (another part) or "--" (the last). npos when none.
size_t findDelimiter(std::string_view body, size_t from, const std::string& marker) {
    for (size_t at = body.find(marker, from); at != std::string_view::npos; at = body.find(marker, at + 1)) {
        const std::string_view after = body.substr(at + marker.size());
        if (after.starts_with("--") || skipBlanks(after).starts_with("\r\n")) return at;
    }
    return std::string_view::npos;
}

}  // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void parseUrlencoded(std::string_view text, Entries& out) {
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text.remove_prefix(amp == std::string_view::npos ? text.size() : amp + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        out.push_back({urlDecoded(pair.substr(0, eq)),
                       eq == std::string_view::npos ? std::string() : urlDecoded(pair.substr(eq + 1))});
    }
}

void parseCookies(std::string_view header, Entries& out) {
    while (!header.empty()) {
        const size_t semi = header.find(';');
        const std::string_view item = header.substr(0, semi);
        header.remove_prefix(semi == std::string_view::npos ? header.size() : semi + 1);
        if (zcore::trimmed(item).empty()) continue;
        const size_t eq = item.find('=');
        std::string name = urlDecoded(item.substr(0, eq));
        out.push_back({std::string(zcore::trimmed(name)),
                       eq == std::string_view::npos ? std::string() : urlDecoded(item.substr(eq + 1))});
    }
}

std::string parseMultipart(std::string_view contentType, std::string_view body, Entries& out) {
    const auto boundary = boundaryOf(contentType);
    if (!boundary) return kFormatInvalid;
    const std::string delimiter = "--" + *boundary;
    size_t pos = body.starts_with("\r\n") ? 2 : 0;
    if (!body.substr(pos).starts_with(delimiter)) return kFormatInvalid;
    pos += delimiter.size();
    const std::string marker = "\r\n" + delimiter;
    for (;;) {
        if (body.substr(pos).starts_with("--")) return {};
        while (pos < body.size() && isBlank(body[pos])) ++pos;
        if (!body.substr(pos).starts_with("\r\n")) return pos >= body.size() ? kEndOfInput : kFormatInvalid;
        pos += 2;

        std::optional<Disposition> disposition;
        for (;;) {
            const size_t eol = body.find("\r\n", pos);
            const size_t len = (eol == std::string_view::npos ? body.size() : eol) - pos;
            if (len + 2 > kMaxHeaderLine) return "_parse_multipart_data() : Header line too long.";
            if (eol == std::string_view::npos) return kEndOfInput;
            const std::string_view line = body.substr(pos, len);
            pos = eol + 2;
            if (line.empty()) break;
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) return kFormatInvalid;
            if (zcore::trimmed(line.substr(0, colon)).size() == 19 &&
                startsWithNoCase(zcore::trimmed(line.substr(0, colon)), "Content-Disposition")) {
                if (disposition) return kFormatInvalid;
                disposition = parseDisposition(line.substr(colon + 1));
                if (!disposition) return kFormatInvalid;
            }
        }
        if (!disposition) return kFormatInvalid;

        const size_t end = findDelimiter(body, pos, marker);
        if (end == std::string_view::npos) return kEndOfInput;
        const std::string_view content = body.substr(pos, end - pos);
        out.push_back({disposition->name, std::string(content)});
        if (disposition->filename) {
            out.push_back({disposition->name + ".length", std::to_string(content.size())});
            out.push_back({disposition->name + ".filename", *disposition->filename});
        }
        pos = end + marker.size();
    }
}

std::string parseContentLength(const char* text, size_t& length) {
    if (!text) return "_get_query() : Your browser sent a non-HTTP compliant message.";
    const std::string_view s(text);
    size_t n = 0;
    bool ok = !s.empty() && s.size() <= 9;
    for (char c : s) {
        ok = ok && c >= '0' && c <= '9';
        if (ok) n = n * 10 + static_cast<size_t>(c - '0');
    }
    if (!ok || n > kMaxContentLength) return "_get_query() : Invalid CONTENT_LENGTH.";
    length = n;
    return {};
}

std::string decodeRequest(const Request& request, int fd, Entries& out) {
    const bool multipart = request.contentType &&
                           !startsWithNoCase(request.contentType, "application/x-www-form-urlencoded") &&
                           startsWithNoCase(request.contentType, "multipart/form-data");
    const bool post = request.method && std::strcmp(request.method, "POST") == 0;
    std::string body;
    if (multipart || post) {
        size_t length = 0;
        if (std::string error = parseContentLength(request.contentLength, length); !error.empty()) return error;
        // Exactly CONTENT_LENGTH bytes: the server may keep the connection's
        // further bytes on the same descriptor.
        body.resize(length);
        size_t got = 0;
        while (got < length) {
            const ssize_t n = ::read(fd, body.data() + got, length - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return "_get_query() : The request body is shorter than CONTENT_LENGTH.";
            got += static_cast<size_t>(n);
        }
    }
    if (multipart) return parseMultipart(request.contentType, body, out);
    if (request.query) parseUrlencoded(request.query, out);
    if (post) parseUrlencoded(body, out);
    return {};
}

}  // namespace zcore::cgi

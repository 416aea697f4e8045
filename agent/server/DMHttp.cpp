#include "DMHttp.h"

#include <string>

namespace {

struct StatusText {
    int code;
    const char* line;
    const char* reason;
};

constexpr StatusText kStatuses[] = {
    {200, "HTTP/1.1 200 OK\r\n", "OK"},
    {201, "HTTP/1.1 201 Created\r\n", "Created"},
    {202, "HTTP/1.1 202 Accepted\r\n", "Accepted"},
    {204, "HTTP/1.1 204 No Content\r\n", "No Content"},
    {300, "HTTP/1.1 300 Multiple Choices\r\n", "Multiple Choices"},
    {301, "HTTP/1.1 301 Moved Permanently\r\n", "Moved Permanently"},
    {302, "HTTP/1.1 302 Moved Temporarily\r\n", "Moved Temporarily"},
    {304, "HTTP/1.1 304 Not Modified\r\n", "Not Modified"},
    {400, "HTTP/1.1 400 Bad Request\r\n", "Bad Request"},
    {401, "HTTP/1.1 401 Unauthorized\r\n", "Unauthorized"},
    {403, "HTTP/1.1 403 Forbidden\r\n", "Forbidden"},
    {404, "HTTP/1.1 404 Not Found\r\n", "Not Found"},
    {500, "HTTP/1.1 500 Internal Server Error\r\n", "Internal Server Error"},
    {501, "HTTP/1.1 501 Not Implemented\r\n", "Not Implemented"},
    {502, "HTTP/1.1 502 Bad Gateway\r\n", "Bad Gateway"},
    {503, "HTTP/1.1 503 Service Unavailable\r\n", "Service Unavailable"},
};

// Unknown statuses are written as 500.
const StatusText& statusText(int code) {
    for (const auto& s : kStatuses)
        if (s.code == code) return s;
    return kStatuses[12];
}

std::string stockBody(int code) {
    if (code == 200) return {};
    if (code == 204) return "<html><head><title>No Content</title></head><body><h1>204 Content</h1></body></html>";
    const StatusText& s = statusText(code);
    return std::string("<html><head><title>") + s.reason + "</title></head><body><h1>" + std::to_string(s.code) + " " +
           s.reason + "</h1></body></html>";
}

bool is_char(int c) { return c >= 0 && c <= 127; }
bool is_ctl(int c) { return (c >= 0 && c <= 31) || c == 127; }
bool is_tspecial(int c) {
    switch (c) {
        case '(':
        case ')':
        case '<':
        case '>':
        case '@':
        case ',':
        case ';':
        case ':':
        case '\\':
        case '"':
        case '/':
        case '[':
        case ']':
        case '?':
        case '=':
        case '{':
        case '}':
        case ' ':
        case '\t':
            return true;
        default:
            return false;
    }
}
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_token(int c) { return is_char(c) && !is_ctl(c) && !is_tspecial(c); }

constexpr std::string_view kSeparator = ": ";
constexpr std::string_view kCrlf = "\r\n";

}  // namespace

std::vector<std::string_view> SDMHttpReply::to_buffers() const {
    std::vector<std::string_view> out;
    out.reserve(2 + headers.size() * 4 + 1);
    out.emplace_back(statusText(status).line);
    for (const auto& h : headers) {
        out.emplace_back(h.name);
        out.emplace_back(kSeparator);
        out.emplace_back(h.value);
        out.emplace_back(kCrlf);
    }
    out.emplace_back(kCrlf);
    out.emplace_back(content);
    return out;
}

std::string SDMHttpReply::serialize() const {
    auto pieces = to_buffers();
    size_t total = 0;
    for (auto p : pieces) total += p.size();
    std::string block;
    block.reserve(total);
    for (auto p : pieces) block.append(p);
    return block;
}

SDMHttpReply SDMHttpReply::stock_reply(status_type status) {
    SDMHttpReply rep;
    rep.status = status;
    rep.content = stockBody(status);
    rep.headers = {{"Content-Length", std::to_string(rep.content.size())}, {"Content-Type", "text/html"}};
    return rep;
}

DMParse CDMHttpRequestParser::consume(SDMHttpRequest& req, char ch) {
    const int c = static_cast<unsigned char>(ch);
    auto versionDigit = [&](int& field) {
        // Bounded, so a long run of digits cannot overflow the number.
        if (++m_versionDigits > kMaxVersionDigits) return false;
        field = field * 10 + (c - '0');
        return true;
    };
    switch (m_state) {
        case 0:
            if (!is_token(c)) return DMParse::bad;
            req.method.push_back(ch);
            m_state = 1;
            return DMParse::indeterminate;
        case 1:
            if (c == ' ') {
                m_state = 2;
                return DMParse::indeterminate;
            }
            if (!is_token(c)) return DMParse::bad;
            req.method.push_back(ch);
            return DMParse::indeterminate;
        case 2:
            if (c == ' ') {
                m_state = 3;
                return DMParse::indeterminate;
            }
            if (is_ctl(c)) return DMParse::bad;
            req.uri.push_back(ch);
            return DMParse::indeterminate;
        case 3:
            if (c != 'H') return DMParse::bad;
            m_state = 4;
            return DMParse::indeterminate;
        case 4:
        case 5:
            if (c != 'T') return DMParse::bad;
            ++m_state;
            return DMParse::indeterminate;
        case 6:
            if (c != 'P') return DMParse::bad;
            m_state = 7;
            return DMParse::indeterminate;
        case 7:
            if (c != '/') return DMParse::bad;
            req.http_version_major = 0;
            req.http_version_minor = 0;
            m_versionDigits = 0;
            m_state = 8;
            return DMParse::indeterminate;
        case 8:
            if (!is_digit(c) || !versionDigit(req.http_version_major)) return DMParse::bad;
            m_state = 9;
            return DMParse::indeterminate;
        case 9:
            if (c == '.') {
                m_versionDigits = 0;
                m_state = 10;
                return DMParse::indeterminate;
            }
            if (!is_digit(c) || !versionDigit(req.http_version_major)) return DMParse::bad;
            return DMParse::indeterminate;
        case 10:
            if (!is_digit(c) || !versionDigit(req.http_version_minor)) return DMParse::bad;
            m_state = 11;
            return DMParse::indeterminate;
        case 11:
            if (c == '\r') {
                m_state = 12;
                return DMParse::indeterminate;
            }
            if (!is_digit(c) || !versionDigit(req.http_version_minor)) return DMParse::bad;
            return DMParse::indeterminate;
        case 12:
            if (c != '\n') return DMParse::bad;
            m_state = 13;
            return DMParse::indeterminate;
        case 13:
            if (c == '\r') {
                m_state = 19;
                return DMParse::indeterminate;
            }
            if (!req.headers.empty() && (c == ' ' || c == '\t')) {
                m_state = 14;
                return DMParse::indeterminate;
            }
            if (!is_token(c)) return DMParse::bad;
            req.headers.push_back({std::string(1, ch), std::string()});
            m_state = 15;
            return DMParse::indeterminate;
        case 14:
            if (c == '\r') {
                m_state = 18;
                return DMParse::indeterminate;
            }
            if (c == ' ' || c == '\t') return DMParse::indeterminate;
            if (is_ctl(c)) return DMParse::bad;
            req.headers.back().value.push_back(ch);
            m_state = 17;
            return DMParse::indeterminate;
        case 15:
            if (c == ':') {
                m_state = 16;
                return DMParse::indeterminate;
            }
            if (!is_token(c)) return DMParse::bad;
            req.headers.back().name.push_back(ch);
            return DMParse::indeterminate;
        case 16:
            if (c != ' ') return DMParse::bad;
            m_state = 17;
            return DMParse::indeterminate;
        case 17:
            if (c == '\r') {
                m_state = 18;
                return DMParse::indeterminate;
            }
            if (is_ctl(c)) return DMParse::bad;
            req.headers.back().value.push_back(ch);
            return DMParse::indeterminate;
        case 18:
            if (c != '\n') return DMParse::bad;
            m_state = 13;
            return DMParse::indeterminate;
        case 19:
            return c == '\n' ? DMParse::good : DMParse::bad;
        default:
            return DMParse::bad;
    }
}

std::string extension_to_type(const std::string& extension) {
    if (extension == "gif") return "image/gif";
    if (extension == "htm" || extension == "html") return "text/html";
    if (extension == "jpg") return "image/jpeg";
    if (extension == "png") return "image/png";
    return "application/x-www-form-urlenceded";
}

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
    switch (m_state) {
        case State::MethodStart:
        case State::Method:
        case State::Uri:
            return requestLine(req, ch);
        case State::Protocol:
        case State::MajorStart:
        case State::Major:
        case State::MinorStart:
        case State::Minor:
        case State::RequestLineLf:
            return version(req, static_cast<unsigned char>(ch));
        default:
            return headerLine(req, ch);
    }
}

// Method and URI, each ended by one blank.
DMParse CDMHttpRequestParser::requestLine(SDMHttpRequest& req, char ch) {
    const int c = static_cast<unsigned char>(ch);
    switch (m_state) {
        case State::MethodStart:
            if (!is_token(c)) return DMParse::bad;
            req.method.push_back(ch);
            return next(State::Method);
        case State::Method:
            if (c == ' ') return next(State::Uri);
            if (!is_token(c)) return DMParse::bad;
            req.method.push_back(ch);
            return DMParse::indeterminate;
        default:  // State::Uri
            if (c == ' ') {
                m_protocolAt = 0;
                return next(State::Protocol);
            }
            if (is_ctl(c)) return DMParse::bad;
            req.uri.push_back(ch);
            return DMParse::indeterminate;
    }
}

bool CDMHttpRequestParser::versionDigit(int& field, int c) {
    // Bounded, so a long run of digits cannot overflow the number.
    if (!is_digit(c) || ++m_versionDigits > kMaxVersionDigits) return false;
    field = field * 10 + (c - '0');
    return true;
}

// "HTTP/" major "." minor CR LF.
DMParse CDMHttpRequestParser::version(SDMHttpRequest& req, int c) {
    constexpr std::string_view kProtocol = "HTTP/";
    switch (m_state) {
        case State::Protocol:
            if (c != kProtocol[m_protocolAt]) return DMParse::bad;
            if (++m_protocolAt < kProtocol.size()) return DMParse::indeterminate;
            req.http_version_major = 0;
            req.http_version_minor = 0;
            m_versionDigits = 0;
            return next(State::MajorStart);
        case State::MajorStart:
            if (!versionDigit(req.http_version_major, c)) return DMParse::bad;
            return next(State::Major);
        case State::Major:
            if (c == '.') {
                m_versionDigits = 0;
                return next(State::MinorStart);
            }
            if (!versionDigit(req.http_version_major, c)) return DMParse::bad;
            return DMParse::indeterminate;
        case State::MinorStart:
            if (!versionDigit(req.http_version_minor, c)) return DMParse::bad;
            return next(State::Minor);
        case State::Minor:
            if (c == '\r') return next(State::RequestLineLf);
            if (!versionDigit(req.http_version_minor, c)) return DMParse::bad;
            return DMParse::indeterminate;
        default:  // State::RequestLineLf
            if (c != '\n') return DMParse::bad;
            return next(State::HeaderLineStart);
    }
}

// "Name: value" CR LF, a continuation line (blanks, then more of the last
// value), or the CR LF that ends the head.
DMParse CDMHttpRequestParser::headerLine(SDMHttpRequest& req, char ch) {
    const int c = static_cast<unsigned char>(ch);
    switch (m_state) {
        case State::HeaderLineStart:
            if (c == '\r') return next(State::HeadEndLf);
            if (!req.headers.empty() && (c == ' ' || c == '\t')) return next(State::ContinuationBlanks);
            if (!is_token(c)) return DMParse::bad;
            req.headers.push_back({std::string(1, ch), std::string()});
            return next(State::HeaderName);
        case State::ContinuationBlanks:
            if (c == '\r') return next(State::HeaderLineLf);
            if (c == ' ' || c == '\t') return DMParse::indeterminate;
            if (is_ctl(c)) return DMParse::bad;
            req.headers.back().value.push_back(ch);
            return next(State::HeaderValue);
        case State::HeaderName:
            if (c == ':') return next(State::BlankAfterColon);
            if (!is_token(c)) return DMParse::bad;
            req.headers.back().name.push_back(ch);
            return DMParse::indeterminate;
        case State::BlankAfterColon:
            if (c != ' ') return DMParse::bad;
            return next(State::HeaderValue);
        case State::HeaderValue:
            if (c == '\r') return next(State::HeaderLineLf);
            if (is_ctl(c)) return DMParse::bad;
            req.headers.back().value.push_back(ch);
            return DMParse::indeterminate;
        case State::HeaderLineLf:
            if (c != '\n') return DMParse::bad;
            return next(State::HeaderLineStart);
        case State::HeadEndLf:
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

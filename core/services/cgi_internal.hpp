// The CGI request decoders as functions over bytes: each returns an empty
// text on success and the error page's message otherwise, so they run (and
// are fuzzed) without ending the process.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <zunCore/cgi.h>

namespace zcore::cgi {

struct Entry {
    std::string name;
    std::string value;
};
using Entries = std::vector<Entry>;

// Largest request body read: far above any form, small enough to hold.
constexpr size_t kMaxContentLength = size_t{16} << 20;
// Longest header line of a multipart part, as the line buffer holds it.
constexpr size_t kMaxHeaderLine = 1000;
// Longest boundary taken (RFC 2046 allows 70 characters).
constexpr size_t kMaxBoundary = 200;

// "a=1&b=x%20y": pairs at "&", name and value at the first "=", both
// URL-decoded; empty pairs are skipped.
void parseUrlencoded(std::string_view text, Entries& out);

// "a=1; b=2": items at ";", name and value at the first "=", both
// URL-decoded, the name trimmed; empty items are skipped.
void parseCookies(std::string_view header, Entries& out);

// A multipart/form-data body under the boundary of contentType. A file part
// gives three entries: name = content, "name.length", "name.filename" (cut
// after its last backslash).
std::string parseMultipart(std::string_view contentType, std::string_view body, Entries& out);

// CONTENT_LENGTH: digits only, at most kMaxContentLength.
std::string parseContentLength(const char* text, size_t& length);

// The request of a CGI environment: a multipart body, or the query string
// and, for POST, the url-encoded body: exactly CONTENT_LENGTH bytes read from
// the descriptor fd, unbuffered, so nothing past them is taken from it.
struct Request {
    const char* method = nullptr;
    const char* contentType = nullptr;
    const char* contentLength = nullptr;
    const char* query = nullptr;
};
std::string decodeRequest(const Request& request, int fd, Entries& out);

// The process's request and cookie lists as decoded (for tests).
const VCL_CGI_ENTRY* requestEntries();
const VCL_CGI_ENTRY* cookieEntries();

// Text with <, >, &, " and ' as entities.
std::string htmlEscape(std::string_view text);

}  // namespace zcore::cgi

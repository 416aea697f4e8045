// The exported CGI functions: process-wide request and cookie lists, HTML
// output, the error page, counters and checks.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include <zunCore/cgi.h>
#include <zunCore/encode.h>

#include "services/cgi_internal.hpp"
#include "util/core_internal.hpp"

namespace {

using zcore::cgi::Entries;

// CGI programs are single-threaded: the globals are the process's, unlocked.
struct List {
    VCL_CGI_ENTRY* head = nullptr;
    bool built = false;
};
List gRequest;
List gCookies;
std::string gErrorLogPath;
std::string gContact;
bool gContentTypePrinted = false;

void freeList(VCL_CGI_ENTRY* e) {
    while (e) {
        VCL_CGI_ENTRY* next = e->next;
        std::free(e->name);
        std::free(e->value);
        std::free(e);
        e = next;
    }
}

// The entries as a malloc'd list; false (and nothing kept) when memory is short.
bool toList(const Entries& entries, VCL_CGI_ENTRY** out) {
    *out = nullptr;
    VCL_CGI_ENTRY** tail = out;
    for (const auto& e : entries) {
        auto* node = static_cast<VCL_CGI_ENTRY*>(std::calloc(1, sizeof(VCL_CGI_ENTRY)));
        if (node) {
            *tail = node;
            tail = &node->next;
            node->name = zcore::newBuffer(e.name);
            node->value = zcore::newBuffer(e.value);
        }
        if (!node || !node->name || !node->value) {
            freeList(*out);
            *out = nullptr;
            return false;
        }
    }
    return true;
}

bool isAsciiAlnum(unsigned char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

const char* findValue(const VCL_CGI_ENTRY* e, const char* name) {
    if (!name) return nullptr;
    for (; e; e = e->next)
        if (std::strcmp(e->name, name) == 0) return e->value;
    return nullptr;
}

int countOf(const VCL_CGI_ENTRY* e) {
    int n = 0;
    for (; e; e = e->next) ++n;
    return n;
}

void printEntries(const VCL_CGI_ENTRY* e) {
    VCL_CGIPrintContentType("text/html");
    for (; e; e = e->next)
        std::printf("'%s' = '%s'<br>\n", zcore::cgi::htmlEscape(e->name).c_str(),
                    zcore::cgi::htmlEscape(e->value).c_str());
}

[[noreturn]] void fail(const std::string& message) { VCL_CGIError("%s", message.c_str()); }

// Builds a list from a decoder; its error or a memory failure ends the process.
template <typename Decode>
int build(List& list, const char* what, Decode decode) {
    if (list.built) return -1;
    Entries entries;
    std::string error;
    try {
        error = decode(entries);
    } catch (const std::bad_alloc&) {
        fail(std::string(what) + " : Memory allocation fail.");
    }
    if (!error.empty()) fail(error);
    if (!toList(entries, &list.head)) fail(std::string(what) + " : Memory allocation fail.");
    list.built = true;
    return countOf(list.head);
}

bool hasPrefix(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

bool isUrl(const char* s) {
    for (const char* p : {"http://", "ftp://", "telnet://", "mailto:", "news:"})
        if (hasPrefix(s, p)) return true;
    return false;
}

// Output of VCL_CGIPuts' cutting modes.
void autolink(int mode, const char* text) {
    const int base = mode > 10 ? mode - 10 : mode;
    const bool links = base == 2 || base == 3 || base == 5 || base == 6;
    const char* target = base == 3 || base == 6 ? "_top" : "";
    const bool escapeAll = base <= 3;
    const bool convert = mode > 10;
    const char* separators = " `(){}[]<>&\"',\r\n";
    bool inTag = false;
    char previous = 0;  // the last separator printed
    std::string piece;
    for (const char* p = text;; ++p) {
        const char c = *p;
        const bool separator = c == '\0' || std::strchr(separators, c);
        if (!separator) {
            piece += c;
            continue;
        }
        if (inTag) {
            std::fputs(piece.c_str(), stdout);
        } else if (!piece.empty()) {
            if (links && isUrl(piece.c_str()))
                std::printf("<a href='%s' target='%s'>%s</a>", piece.c_str(), target, piece.c_str());
            else if (links && VCL_CGICheckEmail(piece.c_str()))
                std::printf("<a href='mailto:%s' target='%s'>%s</a>", piece.c_str(), target, piece.c_str());
            else
                std::fputs(piece.c_str(), stdout);
        }
        if (c == '\0') break;
        const bool emptyPiece = piece.empty();
        piece.clear();
        if (!escapeAll) {
            // Tags pass through untouched.
            if (c == '<') inTag = true;
            if (inTag) {
                std::putchar(c);
                if (c == '>') inTag = false;
                previous = c;
                continue;
            }
        }
        if (convert && c == ' ' && previous == ' ' && emptyPiece) {
            std::fputs("&nbsp;", stdout);
        } else if (convert && c == '\r') {
        } else if (convert && c == '\n') {
            std::fputs("<br>", stdout);
        } else if (c == '"') {
            std::fputs("&quot;", stdout);
        } else if (c == '&') {
            std::fputs("&amp;", stdout);
        } else if (escapeAll && c == '<') {
            std::fputs("&lt;", stdout);
        } else if (escapeAll && c == '>') {
            std::fputs("&gt;", stdout);
        } else {
            std::putchar(c);
        }
        previous = c;
    }
}

// The counter file under an exclusive or shared flock; -1 when it cannot be opened.
struct LockedFile {
    int fd = -1;
    LockedFile(const char* path, int flags, int lock) {
        if (!path) return;
        fd = ::open(path, flags | O_CLOEXEC, 0644);
        if (fd >= 0 && ::flock(fd, lock) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~LockedFile() {
        if (fd >= 0) ::close(fd);  // releases the lock
    }
    // The counter's value; 0 for an empty or unreadable file.
    int read() const {
        char buf[32] = {};
        ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        if (n <= 0) return 0;
        return std::atoi(buf);
    }
    bool write(int value) const {
        char buf[32];
        const int n = std::snprintf(buf, sizeof buf, "%d\n", value);
        return ::ftruncate(fd, 0) == 0 && ::pwrite(fd, buf, static_cast<size_t>(n), 0) == n;
    }
};

// A UTC text of the instant; false past the year 9999 or before 1970.
bool gmtText(time_t t, char* out) {
    struct tm tm;
    if (t < 0 || !gmtime_r(&t, &tm) || tm.tm_year + 1900 > 9999) return false;
    return std::strftime(out, VCL_CGI_GMT_TIME_SIZE, "%a, %d-%b-%Y %H:%M:%S GMT", &tm) > 0;
}

bool cookieFieldOk(const char* s) { return !s || !std::strpbrk(s, "\r\n;"); }

}  // namespace

namespace zcore::cgi {
const VCL_CGI_ENTRY* requestEntries() { return gRequest.head; }
const VCL_CGI_ENTRY* cookieEntries() { return gCookies.head; }
}  // namespace zcore::cgi

extern "C" {

VCL_API int VCL_CGIQueryDecoder(void) {
    return build(gRequest, "_parse_urlencoded()", [](Entries& entries) {
        zcore::cgi::Request r;
        r.method = std::getenv("REQUEST_METHOD");
        r.contentType = std::getenv("CONTENT_TYPE");
        r.contentLength = std::getenv("CONTENT_LENGTH");
        r.query = std::getenv("QUERY_STRING");
        return zcore::cgi::decodeRequest(r, STDIN_FILENO, entries);
    });
}

VCL_API const char* VCL_CGIQueryFindValue(const char* name) {
    if (!gRequest.built) VCL_CGIQueryDecoder();
    return findValue(gRequest.head, name);
}

VCL_API int VCL_CGIQueryFindValue2Int(const char* name) {
    const char* v = VCL_CGIQueryFindValue(name);
    return v ? std::atoi(v) : 0;
}

VCL_API int VCL_CGIQueryEntryPrint(const char* path) {
    if (!path) return 0;
    FILE* f = std::fopen(path, "a");
    if (!f) return 0;
    for (const VCL_CGI_ENTRY* e = gRequest.head; e; e = e->next) {
        if (std::strcmp(e->name, "ZUNpluginData") == 0 || hasPrefix(e->value, "***")) continue;
        std::fprintf(f, "&%s=%s", e->name, e->value);
    }
    std::fputs("&test=test", f);
    return std::fclose(f) == 0 ? 1 : 0;
}

VCL_API int VCL_CGIQuery(char* buffer, int size, const char* exclude) {
    if (!buffer || size <= 0) return -1;
    buffer[0] = '\0';
    std::string out;
    for (const VCL_CGI_ENTRY* e = gRequest.head; e; e = e->next) {
        if (std::strcmp(e->name, "ZUNpluginData") == 0) continue;
        if (exclude && std::strstr(exclude, (std::string(e->name) + "=").c_str())) continue;
        zcore::MallocPtr<char> name(VCL_URLEncode(e->name));
        zcore::MallocPtr<char> value(VCL_URLEncode(e->value));
        if (!name || !value) return -1;
        out += '&';
        out += name.get();
        out += '=';
        out += value.get();
    }
    if (out.size() >= static_cast<size_t>(size)) return -1;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

VCL_API void VCL_CGIQueryPrintAllEntries(void) { printEntries(gRequest.head); }

VCL_API void VCL_CGIQueryFreeEntries(void) {
    freeList(gRequest.head);
    gRequest = List{};
}

VCL_API VCL_CGI_ENTRY* VCL_CGIFileDecoder(const char* path) {
    if (!path) return nullptr;
    FILE* f = std::fopen(path, "r");
    if (!f) return nullptr;
    Entries entries;
    char* line = nullptr;
    size_t cap = 0;
    try {
        while (getline(&line, &cap, f) != -1) {
            const std::string_view t = zcore::trimmed(line);
            if (t.empty() || t.front() == '#') continue;
            const size_t eq = t.find('=');
            entries.push_back(
                {std::string(zcore::trimmed(t.substr(0, eq))),
                 eq == std::string_view::npos ? std::string() : std::string(zcore::trimmed(t.substr(eq + 1)))});
        }
    } catch (const std::bad_alloc&) {
        std::free(line);
        std::fclose(f);
        fail("VCL_CGIFileDecoder() : Memory allocation fail.");
    }
    std::free(line);
    std::fclose(f);
    VCL_CGI_ENTRY* list = nullptr;
    if (!toList(entries, &list)) fail("VCL_CGIFileDecoder() : Memory allocation fail.");
    return list;
}

VCL_API const char* VCL_CGIFileFindValue(const VCL_CGI_ENTRY* list, const char* name) { return findValue(list, name); }

VCL_API void VCL_CGIFilePrintEntries(const VCL_CGI_ENTRY* list) { printEntries(list); }

VCL_API void VCL_CGIFileFreeEntries(VCL_CGI_ENTRY* list) { freeList(list); }

VCL_API int VCL_CGICookieAnayzer(void) {
    return build(gCookies, "VCL_CGICookieAnayzer()", [](Entries& entries) {
        if (const char* header = std::getenv("HTTP_COOKIE")) zcore::cgi::parseCookies(header, entries);
        return std::string();
    });
}

VCL_API const char* VCL_CGICookieFindValue(const char* name) {
    if (!gCookies.built) VCL_CGICookieAnayzer();
    return findValue(gCookies.head, name);
}

VCL_API void VCL_CGICookiePrintEntries(void) { printEntries(gCookies.head); }

VCL_API void VCL_CGICookieFreeEntries(void) {
    freeList(gCookies.head);
    gCookies = List{};
}

VCL_API int VCL_CGISetCookie(const char* name, const char* value, int days, const char* domain, const char* path,
                             int secure) {
    // A CR or LF would start a header of the client's choosing; ";" an attribute.
    if (!name || !cookieFieldOk(domain) || !cookieFieldOk(path)) return -1;
    char expires[VCL_CGI_GMT_TIME_SIZE] = {};
    if (days != 0 && !gmtText(zcore::now() + static_cast<time_t>(days) * 86400, expires)) return -1;
    zcore::MallocPtr<char> n(VCL_URLEncode(name));
    zcore::MallocPtr<char> v(VCL_URLEncode(value ? value : ""));
    if (!n || !v) return -1;
    std::string line = std::string("Set-Cookie: ") + n.get() + "=" + v.get();
    if (days != 0) line += std::string("; expires=") + expires;
    if (domain && *domain) line += std::string("; domain=") + domain;
    if (path && *path) line += std::string("; path=") + path;
    if (secure) line += "; secure";
    line += '\n';
    std::fputs(line.c_str(), stdout);
    return 0;
}

VCL_API void VCL_CGIPrintContentType(const char* type) {
    if (gContentTypePrinted) return;
    gContentTypePrinted = true;
    std::printf("Content-type: %s\n\n", type ? type : "text/html");
}

VCL_API void VCL_CGIPrintfMessage(int mode, const char* format, ...) {
    char buf[VCL_CGI_MAX_MESSAGE + 1];
    va_list ap;
    va_start(ap, format);
    const int n = format ? std::vsnprintf(buf, sizeof buf, format, ap) : -1;
    va_end(ap);
    if (n < 0 || n > VCL_CGI_MAX_MESSAGE) VCL_CGIError("qprintf() : Message is too long");
    VCL_CGIPuts(mode, buf);
}

VCL_API void VCL_CGIPuts(int mode, const char* text) {
    if (!text) return;
    if (mode == 0) {
        std::fputs(text, stdout);
    } else if (mode == 10) {
        char previous = 0;
        for (const char* p = text; *p; previous = *p++) {
            if (*p == '\r') continue;
            if (*p == '\n')
                std::fputs("<br>\n", stdout);
            else if (*p == ' ' && previous == ' ')
                std::fputs("&nbsp;", stdout);
            else
                std::putchar(*p);
        }
    } else if ((mode >= 1 && mode <= 6) || (mode >= 11 && mode <= 16)) {
        autolink(mode, text);
    } else {
        VCL_CGIError("_autolink() : Invalid Mode (%d)", mode);
    }
}

VCL_API void VCL_CGIError(const char* format, ...) {
    VCL_CGIPrintContentType("text/html");
    char message[VCL_CGI_MAX_MESSAGE + 1];
    va_list ap;
    va_start(ap, format);
    const int n = format ? std::vsnprintf(message, sizeof message, format, ap) : -1;
    va_end(ap);
    if (n < 0 || n > VCL_CGI_MAX_MESSAGE) {
        std::puts("qError() : Message is too long or not valid");
        std::exit(1);
    }
    bool logFailed = false;
    if (!gErrorLogPath.empty()) {
        if (FILE* log = std::fopen(gErrorLogPath.c_str(), "a")) {
            const time_t t = std::time(nullptr);
            struct tm tm;
            localtime_r(&t, &tm);
            const char* host = std::getenv("REMOTE_HOST");
            const char* agent = std::getenv("HTTP_USER_AGENT");
            std::fprintf(log, "%04d/%02d/%02d(%02d:%02d) : '%s' from %s(%s)\n", tm.tm_year + 1900, tm.tm_mon + 1,
                         tm.tm_mday, tm.tm_hour, tm.tm_min, message, host ? host : "null", agent ? agent : "null");
            logFailed = std::fclose(log) != 0;
        } else {
            logFailed = true;
        }
    }
    std::puts("<html>");
    std::puts("<body bgcolor=white>\n");
    std::puts("  <font color=red size=6><B>Error !!!</B></font><br><br>\n");
    std::printf("  <font size=3><b><i>%s</i></b></font><br><br>\n\n", zcore::cgi::htmlEscape(message).c_str());
    if (std::strstr(message, "non-HTTP compliant message")) {
        std::puts("    There is a little PROBLEM in your COOKIE information of 'Netscape' browser.<br>");
        std::puts("    1. Close every browser window.<br>");
        std::puts("    2. Delete the file 'cookies.txt' in your browser's profile folder.<br>");
        std::puts("    3. Open the browser and try again.<br>");
    }
    std::puts("  <center><font size=2>");
    if (!gContact.empty()) std::printf("    %s<p>\n", zcore::cgi::htmlEscape(gContact).c_str());
    std::puts("    <a href='javascript:history.back()'>BACK</a><p>");
    if (logFailed) std::puts("    Error logging failed.");
    std::puts("  </font></center>\n");
    std::puts("</body>");
    std::puts("</html>");
    std::exit(1);
}

VCL_API void VCL_CGIErrorLog(const char* path) { gErrorLogPath = path ? path : ""; }

VCL_API void VCL_CGIErrorContact(const char* text) { gContact = text ? text : ""; }

VCL_API void VCL_CGIEnv(VCL_CGI_ENV* env) {
    if (!env) return;
    const char* names[] = {
        "AUTH_TYPE",   "CONTENT_LENGTH",  "CONTENT_TYPE", "DOCUMENT_ROOT",   "GATEWAY_INTERFACE", "HTTP_ACCEPT",
        "HTTP_COOKIE", "HTTP_USER_AGENT", "QUERY_STRING", "REMOTE_ADDR",     "REMOTE_HOST",       "REMOTE_USER",
        "REMOTE_PORT", "REQUEST_METHOD",  "SCRIPT_NAME",  "SCRIPT_FILENAME", "SERVER_NAME",       "SERVER_PROTOCOL",
        "SERVER_PORT", "SERVER_SOFTWARE", "SERVER_ADMIN"};
    const char** fields[] = {&env->auth_type,         &env->content_length,  &env->content_type, &env->document_root,
                             &env->gateway_interface, &env->http_accept,     &env->http_cookie,  &env->http_user_agent,
                             &env->query_string,      &env->remote_addr,     &env->remote_host,  &env->remote_user,
                             &env->remote_port,       &env->request_method,  &env->script_name,  &env->script_filename,
                             &env->server_name,       &env->server_protocol, &env->server_port,  &env->server_software,
                             &env->server_admin};
    for (size_t i = 0; i < std::size(names); ++i) *fields[i] = std::getenv(names[i]);
    const struct tm* now = VCL_CGIGetTime();
    env->year = now->tm_year;
    env->mon = now->tm_mon;
    env->day = now->tm_mday;
    env->hour = now->tm_hour;
    env->min = now->tm_min;
    env->sec = now->tm_sec;
}

VCL_API struct tm* VCL_CGIGetTime(void) {
    thread_local struct tm tm;
    const time_t t = zcore::now();
    localtime_r(&t, &tm);
    tm.tm_year += 1900;
    tm.tm_mon += 1;
    return &tm;
}

VCL_API time_t VCL_CGIGetGMTTime(char* buffer, int seconds) {
    if (!buffer) return -1;
    buffer[0] = '\0';
    const time_t t = zcore::now() + seconds;
    if (!gmtText(t, buffer)) {
        buffer[0] = '\0';
        return -1;
    }
    return t;
}

VCL_API int VCL_CGICheckFile(const char* path) {
    if (!path) return 0;
    FILE* f = std::fopen(path, "r");
    if (!f) return 0;
    std::fclose(f);
    return 1;
}

VCL_API int VCL_CGIPrintFileStdOut(const char* path) {
    if (!path) return 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) std::fwrite(buf, 1, n, stdout);
    std::fclose(f);
    return 1;
}

VCL_API int VCL_CGIReadCounter(const char* path) {
    LockedFile f(path, O_RDONLY, LOCK_SH);
    return f.fd < 0 ? 0 : f.read();
}

VCL_API int VCL_CGISaveCounter(const char* path, int value) {
    LockedFile f(path, O_RDWR | O_CREAT, LOCK_EX);
    return f.fd >= 0 && f.write(value) ? 1 : 0;
}

VCL_API int VCL_CGIUpdateCounter(const char* path) {
    LockedFile f(path, O_RDWR | O_CREAT, LOCK_EX);
    if (f.fd < 0) return 0;
    const int value = f.read() + 1;
    return f.write(value) ? value : 0;
}

VCL_API int VCL_CGICheckEmail(const char* text) {
    if (!text) return 0;
    int at = 0, dots = 0, others = 0;
    char previous = 0;
    for (const char* p = text; *p; previous = *p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!isAsciiAlnum(c) && c != '-' && c != '_' && c != '.' && c != '@') return 0;
        if (c == '@') {
            if (p == text || ++at > 1) return 0;
            continue;
        }
        if (c == '.') {
            if (previous == '@' || (at && previous == '.')) return 0;
            ++dots;
        }
        ++others;
    }
    return at == 1 && others > 3 && dots > 0 ? 1 : 0;
}

VCL_API int VCL_CGIURLCheck(const char* text) { return text && isUrl(text) ? 1 : 0; }

VCL_API char* VCL_CGISpaceRemover(char* text) {
    if (!text) return text;
    size_t start = 0;
    while (text[start] == ' ' || text[start] == '\t') ++start;
    size_t end = std::strlen(text);
    while (end > start && std::strchr(" \t\r\n", text[end - 1])) --end;
    std::memmove(text, text + start, end - start);
    text[end - start] = '\0';
    return text;
}

VCL_API int VCL_CGICheckStr09AZaz(const char* text) {
    if (!text) return 0;
    for (const char* p = text; *p; ++p)
        if (!isAsciiAlnum(static_cast<unsigned char>(*p))) return 0;
    return 1;
}

}  // extern "C"

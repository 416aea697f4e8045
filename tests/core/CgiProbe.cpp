// A CGI program over the library's CGI functions, run by the tests with a CGI
// environment of their own and behind python's http.server. PATH_INFO picks
// what it does; entries are written as "<length>:<bytes>" pairs, one entry a
// line, so binary values compare exactly.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/cgi.h>

#include "services/cgi_internal.hpp"

namespace {

void dump(const VCL_CGI_ENTRY* e, const char* lengthName) {
    VCL_CGIPrintContentType("application/octet-stream");
    for (; e; e = e->next) {
        // A file's content may hold NUL bytes: its length entry gives its size.
        size_t n = std::strlen(e->value);
        if (lengthName) {
            const std::string key = std::string(e->name) + ".length";
            for (const VCL_CGI_ENTRY* f = e->next; f; f = f->next)
                if (key == f->name) n = static_cast<size_t>(std::atoll(f->value));
        }
        std::printf("%zu:%s%zu:", std::strlen(e->name), e->name, n);
        std::fwrite(e->value, 1, n, stdout);
        std::putchar('\n');
    }
}

const char* arg(const char* name, const char* fallback = "") {
    const char* v = VCL_CGIQueryFindValue(name);
    return v ? v : fallback;
}

}  // namespace

int main() {
    const char* info = std::getenv("PATH_INFO");
    const std::string action = info && *info ? info : "/dump";
    if (action == "/dump") {
        const int n = VCL_CGIQueryDecoder();
        dump(zcore::cgi::requestEntries(), ".length");
        if (std::getenv("PROBE_REST")) {
            // What the decoder left of standard input.
            std::string rest;
            char buf[256];
            for (ssize_t k; (k = read(0, buf, sizeof buf)) > 0;) rest.append(buf, static_cast<size_t>(k));
            std::printf("count=%d rest=%s\n", n, rest.c_str());
            std::printf("again=%d\n", VCL_CGIQueryDecoder());
        }
    } else if (action == "/print") {
        VCL_CGIQueryDecoder();
        VCL_CGIQueryPrintAllEntries();
    } else if (action == "/cookies") {
        const int n = VCL_CGICookieAnayzer();
        dump(zcore::cgi::cookieEntries(), nullptr);
        if (std::getenv("PROBE_REST")) std::printf("count=%d again=%d\n", n, VCL_CGICookieAnayzer());
    } else if (action == "/setcookie") {
        const int rc =
            VCL_CGISetCookie(arg("name"), arg("value"), std::atoi(arg("days", "0")), VCL_CGIQueryFindValue("domain"),
                             VCL_CGIQueryFindValue("path"), std::atoi(arg("secure", "0")));
        VCL_CGIPrintContentType("text/plain");
        std::printf("rc=%d\n", rc);
    } else if (action == "/error") {
        if (const char* log = std::getenv("PROBE_ERROR_LOG")) VCL_CGIErrorLog(log);
        VCL_CGIErrorContact("Contact <webmaster@example.com>");
        VCL_CGIError("%s", arg("msg"));
    } else if (action == "/puts") {
        VCL_CGIPrintContentType("text/html");
        VCL_CGIPuts(std::atoi(arg("mode")), arg("text"));
    } else if (action == "/counter") {
        const char* path = std::getenv("PROBE_COUNTER");
        const int times = std::atoi(std::getenv("PROBE_TIMES") ? std::getenv("PROBE_TIMES") : "1");
        int last = 0;
        for (int i = 0; i < times; ++i) last = VCL_CGIUpdateCounter(path);
        std::printf("%d\n", last);
    } else if (action == "/query") {
        VCL_CGIQueryDecoder();
        char small[8], big[4096];
        const int a = VCL_CGIQuery(small, sizeof small, nullptr);
        const int b = VCL_CGIQuery(big, sizeof big, arg("exclude"));
        const int printed = VCL_CGIQueryEntryPrint(std::getenv("PROBE_ENTRY_FILE"));
        std::printf("small=%d[%s] big=%d[%s] printed=%d\n", a, small, b, big, printed);
    }
    VCL_CGIQueryFreeEntries();
    VCL_CGICookieFreeEntries();
    return 0;
}

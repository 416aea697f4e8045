// The job's start parameter as the daemon hands it over: whatever is read
// keeps to its field, JSON escapes and URL forms hold their round trips.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    StructURLValues v;
    ParseNotes notes;
    const int rc = ParseStartParameter(text, v, notes);
    if (rc != 0 && rc != -1) abort();
    if (rc == 0) {
        // Accepted: every field fits, the four the exchanges need are there.
        if (v.SESSION.size() >= kSessionWidth || v.url.size() >= kUrlWidth) abort();
        for (const std::string* f : {&v.reqID, &v.policyName, &v.wv, &v.macVersion, &v.linuxVersion})
            if (f->size() >= kShortWidth) abort();
    }
    // Unescaping never grows a text past what its escapes stand for, and
    // never makes a NUL.
    std::string unescaped;
    if (JsonUnescape(text, unescaped)) {
        if (unescaped.size() > text.size() * 2) abort();
        if (unescaped.find('\0') != std::string::npos && text.find('\0') == std::string::npos) abort();
    }
    // URL forms: decoding what was encoded gives the bytes back, and the
    // encoded text uses only the safe set, "+" and "%xx".
    const std::string encoded = URLEncodeText(text);
    if (URLDecodeText(encoded) != text) abort();
    for (const char c : encoded)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '%' || c == '+' || c == '@' || c == '.' || c == '/' ||
              c == '_' || c == '-'))
            abort();
    if (URLDecodeText(text).size() > text.size()) abort();
    return 0;
}

// The CGI decoders on arbitrary bytes: the query and cookie parsers and the
// multipart parser (the input's first line is the content type's parameters,
// the rest the body). Entries hold only bytes of the input; a file's length
// entry is its content's size; a failure hands out nothing new.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/cgi_internal.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input's bytes, so a read past them is seen.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string_view text(input);
    using zcore::cgi::Entries;

    Entries query;
    zcore::cgi::parseUrlencoded(text, query);
    for (const auto& e : query) check(e.name.size() + e.value.size() <= size);
    Entries cookies;
    zcore::cgi::parseCookies(text, cookies);
    for (const auto& e : cookies) check(!e.name.empty() || !e.value.empty() || size > 0);

    const size_t eol = text.find('\n');
    const std::string contentType = "multipart/form-data; " + std::string(text.substr(0, eol));
    const std::string_view body = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    Entries parts;
    parts.push_back({"kept", "x"});
    const std::string error = zcore::cgi::parseMultipart(contentType, body, parts);
    check(!parts.empty() && parts[0].name == "kept");
    if (!error.empty()) return 0;
    for (size_t i = 1; i < parts.size(); ++i) {
        check(parts[i].value.size() <= body.size());
        if (parts[i].name.ends_with(".length") && i >= 1) {
            const std::string base = parts[i].name.substr(0, parts[i].name.size() - 7);
            if (parts[i - 1].name == base && i + 1 < parts.size() && parts[i + 1].name == base + ".filename")
                check(parts[i].value == std::to_string(parts[i - 1].value.size()));
        }
        if (parts[i].name.find(".filename") == std::string::npos)
            check(parts[i].value.empty() || body.find(parts[i].value) != std::string_view::npos ||
                  parts[i].name.ends_with(".length"));
    }
    return 0;
}

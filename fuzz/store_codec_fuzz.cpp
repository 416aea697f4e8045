// The store's decoders and parser on arbitrary bytes: what decodes encodes
// and decodes back to the same bytes, the fixed-buffer Base64 decoder keeps
// to its room and agrees with the allocating one, and the name=value parser
// hands out substrings of its text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

struct Out {
    char* p = nullptr;
    int n = 0;
    ~Out() { VPL_Free(p, n); }
    std::string str() const { return p ? std::string(p, static_cast<size_t>(n)) : std::string(); }
};

// 0 and a NUL-terminated copy, or a failure with nothing handed out.
bool decode(int type, std::string_view in, std::string& out) {
    Out o;
    const int rc = VPL_DataDecode(type, in.data(), static_cast<int>(in.size()), &o.p, &o.n);
    if (rc != 0) {
        check(o.p == nullptr && o.n == 0 && (rc == -1 || rc == 1052011));
        return false;
    }
    check(o.p && o.n >= 0 && o.p[o.n] == '\0');
    out = o.str();
    return true;
}

std::string encode(int type, const std::string& in) {
    Out o;
    check(VPL_DataEncode(type, in.data(), static_cast<int>(in.size()), &o.p, &o.n) == 0);
    check(o.p && o.p[o.n] == '\0');
    return o.str();
}

void codecs(std::string_view text) {
    for (int type = 0; type <= 2; ++type) {
        std::string bytes, again;
        if (!decode(type, text, bytes)) continue;
        if (type != 1) check(!bytes.empty());
        // Our encoding of the bytes decodes to them again.
        check(decode(type, encode(type, bytes), again) || (bytes.empty() && type != 1));
        check(again == bytes);
    }
}

void fixedBuffer(std::string_view text, size_t room) {
    std::string bytes;
    const bool ok = decode(0, text, bytes);
    // Exactly room bytes on the heap: a write past them is caught.
    std::vector<unsigned char> out(room ? room : 1);
    const int n =
        VPL_Base64DecodeNoline(text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(room));
    if (!ok || bytes.size() >= room) {
        check(n == -1);
        return;
    }
    check(n == static_cast<int>(bytes.size()));
    check(std::memcmp(out.data(), bytes.data(), bytes.size()) == 0 && out[bytes.size()] == 0);
}

// Names are the lines before the first empty line; the rest is the text.
void parse(std::string_view data, int keep) {
    const size_t split = data.find("\n\n");
    if (split == std::string_view::npos) return;
    const std::string text(data.substr(split + 2));
    std::vector<std::string> names;
    for (size_t start = 0; start <= split && names.size() < 8;) {
        size_t end = data.find('\n', start);
        if (end > split) end = split;
        names.emplace_back(data.substr(start, end - start));
        start = end + 1;
    }
    std::vector<NamedValue> items(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        items[i] = {static_cast<int>(names.size() - i), names[i].data(), nullptr, nullptr};
    check(VPL_Parse_WithNames(text.c_str(), items.data(), static_cast<int>(items.size()), '=', '&', keep) == 0);
    const std::string_view all(text.c_str());
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) check(items[i - 1].order <= items[i].order);
        const char* v = items[i].value;
        if (!v) continue;
        const std::string_view value(v);
        check(value.size() <= all.size());
        check(value.empty() || all.find(value) != std::string_view::npos);
        if (!keep) check(value.find('&') == std::string_view::npos);
        std::free(items[i].value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    codecs(text);
    fixedBuffer(text, data[0] % 24);
    parse(text, data[0] & 0x80 ? 0 : 1);
    return 0;
}

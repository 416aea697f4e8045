// The CMP client's parameter-text and RFC 4514 parsers and the store's key
// renaming: what is accepted holds each key once and no control character,
// and reads back the same once written out again; a name's values survive
// escaping; the renaming changes whole REF and CODE keys only, never a
// value, and refuses rather than cuts.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "params.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

std::vector<std::string_view> split(std::string_view text, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(sep, start);
        out.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return out;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

void params(std::string_view text) {
    zcmp::Params p;
    if (!zcmp::parseParams(text, p)) return;
    for (unsigned char c : text) check(c >= 0x20 && c != 0x7f);
    std::string again;
    auto add = [&](const char* key, const std::string& value) {
        if (!p.has(key)) return;
        if (!again.empty()) again += '&';
        again += std::string(key) + "=" + value;
    };
    add("REFVAL", p.refVal);
    add("AUTHCODE", p.authCode);
    add("CAIP", p.caIp);
    add("CAPORT", p.caPort ? std::to_string(p.caPort) : "");
    add("CANAME", p.caName);
    add("CAPATH", p.caPath);
    add("CMD", p.cmd);
    zcmp::Params q;
    check(zcmp::parseParams(again, q));
    check(q.refVal == p.refVal && q.authCode == p.authCode && q.caIp == p.caIp && q.caPort == p.caPort &&
          q.caName == p.caName && q.caPath == p.caPath && q.cmd == p.cmd && q.seen == p.seen);
    for (char c : p.caIp) check(c != '/' && c != '@' && c != ':');
}

std::string escaped(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (std::string_view(",+\"\\<>;=# ").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

void dn(std::string_view text) {
    std::vector<zcmp::Attribute> attrs;
    if (!zcmp::parseDn(text, attrs)) return;
    check(!attrs.empty() && attrs.size() <= 64);
    std::string again;
    for (size_t i = 0; i < attrs.size(); ++i) {
        check(!attrs[i].value.empty() && !attrs[i].type.empty());
        check(attrs[i].value.find('\0') == std::string::npos);
        if (i > 0) again += attrs[i].set == attrs[i - 1].set ? "+" : ",";
        again += attrs[i].type + "=" + escaped(attrs[i].value);
    }
    std::vector<zcmp::Attribute> back;
    check(zcmp::parseDn(again, back));
    check(back.size() == attrs.size());
    for (size_t i = 0; i < back.size(); ++i) check(back[i].value == attrs[i].value && back[i].set == attrs[i].set);
}

void convert(const std::string& text) {
    char* out = nullptr;
    int outLen = 0;
    const int rc = VPL_DN_Convert(text.c_str(), &out, &outLen);
    const std::string_view in(text.c_str());  // as the function reads it: up to the zero byte
    if (in.size() > 4095) {
        check(rc == 1052011 && out == nullptr);
        return;
    }
    check(rc == 0);
    if (in.empty()) {
        check(out == nullptr);
        return;
    }
    check(out != nullptr && out[outLen] == '\0');
    const std::vector<std::string_view> before = split(in, '&'), after = split(std::string_view(out, outLen), '&');
    check(before.size() == after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const size_t eb = before[i].find('='), ea = after[i].find('=');
        const std::string_view kb = before[i].substr(0, eb), ka = after[i].substr(0, ea);
        const std::string want = upper(kb) == "REF" ? "REFVAL" : upper(kb) == "CODE" ? "AUTHCODE" : std::string(kb);
        check(ka == want);
        check((eb == std::string_view::npos) == (ea == std::string_view::npos));
        if (eb != std::string_view::npos) check(before[i].substr(eb) == after[i].substr(ea));
    }
    VPL_Free(out, outLen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the reader; the rest is the text.
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            params(text);
            break;
        case 1:
            dn(text);
            break;
        default:
            convert(text);
    }
    return 0;
}

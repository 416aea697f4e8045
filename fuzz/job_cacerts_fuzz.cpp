// The policy's CACerts split into items: no empty item, none over 4095
// bytes, an id exactly when 40 hex digits (upper-cased), the items joined
// give the text without its empty items; the common name of a DN never
// holds a ",".
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<CACertItem> items;
    const bool ok = SplitCACerts(text, items);
    std::string longest, joined, expected;
    size_t at = 0;
    while (true) {
        const size_t bar = text.find('|', at);
        const std::string piece = text.substr(at, bar == std::string::npos ? std::string::npos : bar - at);
        if (piece.size() > longest.size()) longest = piece;
        if (!piece.empty()) expected += (expected.empty() ? "" : "|") + piece;
        if (bar == std::string::npos) break;
        at = bar + 1;
    }
    if (ok != (longest.size() <= 4095)) abort();
    if (!ok && !items.empty()) abort();
    for (const CACertItem& item : items) {
        if (item.text.empty() || item.text.size() > 4095) abort();
        bool hex = item.text.size() == 40;
        for (const char c : item.text) hex = hex && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
        if (item.isId != hex) abort();
        joined += (joined.empty() ? "" : "|") + item.text;
    }
    if (ok) {
        // Ids are upper-cased; everything else stands as sent.
        if (joined.size() != expected.size()) abort();
        for (size_t i = 0; i < joined.size(); ++i) {
            char e = expected[i];
            if (e >= 'a' && e <= 'f') e = static_cast<char>(e - 'a' + 'A');
            if (joined[i] != expected[i] && joined[i] != e) abort();
        }
    }
    const std::string cn = SubjectCommonName(text);
    if (cn.find(',') != std::string::npos || cn.size() > text.size()) abort();
    if (!cn.empty() && text.compare(3, cn.size(), cn) != 0) abort();
    return 0;
}

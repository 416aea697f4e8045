// Sign data of the relay through the list-sign window's row splitter:
// every byte the user signs is shown. Each piece between "&" is one row
// (none after a final "&"), and the row gives the piece back: "name=value",
// or the bare name of a piece without "="; no name holds "=" or "&", no
// value "&"; the same answer twice.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto rows = SplitSignDataRows(text);
    size_t row = 0, start = 0;
    while (start < text.size()) {
        size_t amp = text.find('&', start);
        if (amp == std::string::npos) amp = text.size();
        const std::string piece = text.substr(start, amp - start);
        if (row == rows.size()) abort();
        const auto& [name, value] = rows[row++];
        if (name.find_first_of("=&") != std::string::npos || value.find('&') != std::string::npos) abort();
        const bool hasEq = piece.find('=') != std::string::npos;
        if (hasEq ? piece != name + "=" + value : (piece != name || !value.empty())) abort();
        start = amp + 1;
    }
    if (row != rows.size()) abort();
    if (SplitSignDataRows(text) != rows) abort();
    return 0;
}

// Multi-sign data through the job's parser and the store's decoders: the
// count is the items', at most 32, names and values within their limits,
// values never empty; stopping at the header gives the same header and no
// more items than walking on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"
#include "job_store_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    PDFMultiSignData all, head;
    ParseNotes notes;
    const int n = ParseMultiSignData(text, all, false, FuzzStoreDecode, notes);
    if (n < 0 || static_cast<size_t>(n) != all.items.size() || all.items.size() > kMultiSignMaxItems) abort();
    for (const PDFMultiSignItem& item : all.items) {
        if (item.name.size() > 31 || item.value.empty() || item.value.size() > 1024) abort();
        if (item.name.rfind("HD", 0) == 0) abort();
    }
    const int h = ParseMultiSignData(text, head, true, FuzzStoreDecode, notes);
    if (h < 0 || static_cast<size_t>(h) != head.items.size()) abort();
    if (n > 0 && head.items.size() > all.items.size()) abort();
    if (!head.hd.empty() && n > 0 && head.hd != all.hd && all.hd.empty()) abort();
    return 0;
}

// The name=value parser.
#include <algorithm>
#include <cstring>
#include <vector>

#include "store_internal.hpp"

extern "C" {

VPL_API int VPL_Parse_WithNames(const char* text, NamedValue* items, int count, char separator, char delimiter,
                                int keepDelimiters) {
    if (!text || !items) return -1;
    if (count <= 0) return 0;
    const std::string_view all(text);
    std::vector<int> found;
    for (int i = 0; i < count; ++i) {
        NamedValue& item = items[i];
        item.value = nullptr;
        item.position = nullptr;
        if (!item.name) continue;
        const std::string name(item.name);
        const size_t at = all.find(delimiter + name + separator);
        if (at != std::string_view::npos)
            item.position = text + at + 1;
        else if (all.substr(0, name.size() + 1) == name + separator)
            item.position = text;
        if (item.position) found.push_back(i);
    }
    std::stable_sort(found.begin(), found.end(), [&](int a, int b) { return items[a].position < items[b].position; });

    const char* textEnd = text + all.size();
    if (!all.empty() && all.back() == delimiter) --textEnd;
    for (size_t k = 0; k < found.size(); ++k) {
        NamedValue& item = items[found[k]];
        const char* start = item.position + std::strlen(item.name) + 1;
        // A value ends at the delimiter before the next found name. The same
        // name asked for twice is found twice at one place: the first of
        // the two gets an empty value rather than a negative length.
        const char* end = k + 1 < found.size() ? items[found[k + 1]].position - 1 : textEnd;
        std::string_view value =
            end > start ? std::string_view(start, static_cast<size_t>(end - start)) : std::string_view();
        if (!keepDelimiters) value = value.substr(0, value.find(delimiter));
        item.value = zstore::newBuffer(value);
        if (!item.value) {
            for (int i = 0; i < count; ++i) {
                std::free(items[i].value);
                items[i].value = nullptr;
            }
            return -1;
        }
    }
    std::stable_sort(items, items + count, [](const NamedValue& a, const NamedValue& b) { return a.order < b.order; });
    return 0;
}

VPL_API void VPL_Parse_st_Free(NamedValue* items, int count) {
    if (!items) return;
    for (int i = 0; i < count; ++i) {
        std::free(items[i].name);
        std::free(items[i].value);
    }
    std::free(items);
}

}  // extern "C"

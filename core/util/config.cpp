// The sectioned configuration-file reader. Lines are read in pieces of at
// most 511 characters; every item field has a fixed size, so a line whose
// key, section name or (expanded) value would not fit is skipped, never cut.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/config.h>
#include <zunCore/util.h>

#include "core_internal.hpp"

namespace {

constexpr size_t kMaxText = VCL_CONFIG_LINE_SIZE - 1;     // 511
constexpr size_t kMaxValue = 510;                         // longest value kept
constexpr size_t kMaxKey = VCL_CONFIG_KEY_SIZE - 1;       // 127
constexpr size_t kMaxSection = VCL_CONFIG_KEY_SIZE - 3;   // 125: "[" name "]" in the key field
constexpr size_t kMaxSectionLine = 500;                   // longest section text processed
constexpr size_t kMaxEqualsAt = 501;                      // last position of a key line's "="
constexpr size_t kMaxAfterEquals = 500;                   // longest text after it
constexpr size_t kMaxVariable = 255;                      // longest environment name
constexpr size_t kCountPiece = VCL_CONFIG_LINE_SIZE - 1;  // VCL_count_line's fgets size (510 characters)

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void copyOut(std::string_view s, char* out) {
    std::memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
}

// Environment expansion; false when a name is unset or too long, or the
// result would not fit a value.
bool expand(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$') {
            out += text[i];
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && text[end] != '/' && !isBlank(text[end])) ++end;
        const std::string name(text.substr(i + 1, end - i - 1));
        if (name.size() > kMaxVariable) return false;
        const char* value = std::getenv(name.c_str());
        if (!value) return false;
        out += value;
        if (end < text.size()) out += text[end];
        i = end;
        if (out.size() > kMaxText) return false;
    }
    return out.size() <= kMaxText;
}

// Steps 1-5 of the value rules over text of 1 to 511 characters.
bool processValue(std::string_view text, std::string& out) {
    out.clear();
    if (text.empty() || text.size() > kMaxText) return false;
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    if (text.substr(0, 2) == "{{") {
        const size_t close = text.rfind("}}");
        if (close == std::string_view::npos || close < 2) return false;
        out.assign(text.substr(2, close - 2));  // verbatim
        return true;
    }
    std::string_view v;
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        v = text.substr(0, text.find('"'));
    } else {
        v = text.substr(0, text.find('#'));
        while (!v.empty() && (isBlank(v.back()) || v.back() == '"')) v.remove_suffix(1);
    }
    return expand(v, out);
}

// A key may begin with "[" too ("[x]y = 1"); only sections have no value.
bool isSection(const VCL_CONFIG_ITEM& item) { return item.key[0] == '[' && item.value[0] == '\0'; }

int itemCount(const VCL_CONFIG_ITEM* items) { return items ? items[0].count : 0; }

// "[name]" -> "name"
void sectionName(const VCL_CONFIG_ITEM& item, char* name) {
    const std::string_view key(item.key);
    copyOut(key.substr(1, key.size() - 2), name);
}

bool isSectionNamed(const VCL_CONFIG_ITEM& item, std::string_view name) {
    const std::string_view key(item.key);
    return isSection(item) && key.size() == name.size() + 2 && key.substr(1, name.size()) == name;
}

// One trimmed line into the next item; false when the line is skipped.
bool parseLine(std::string_view line, VCL_CONFIG_ITEM& item) {
    std::string processed;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        if (!processValue(line.substr(1, line.size() - 2), processed)) return false;
        if (processed.empty() || processed.size() > kMaxSectionLine || processed.size() > kMaxSection) return false;
        item.key[0] = '[';
        std::memcpy(item.key + 1, processed.data(), processed.size());
        item.key[processed.size() + 1] = ']';
        item.key[processed.size() + 2] = '\0';
        item.value[0] = '\0';
        return true;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq < 1 || eq > kMaxEqualsAt || line.size() - eq - 1 > kMaxAfterEquals)
        return false;
    std::string key, value;
    if (!processValue(line.substr(0, eq), key) || key.empty() || key.size() > kMaxKey) return false;
    if (!processValue(line.substr(eq + 1), value) || value.empty() || value.size() > kMaxValue) return false;
    copyOut(key, item.key);
    copyOut(value, item.value);
    return true;
}

}  // namespace

extern "C" {

VCL_API int VCL_count_line(FILE* f) {
    if (!f) return 0;
    const long pos = std::ftell(f);
    std::rewind(f);
    char piece[kCountPiece];
    int count = 0;
    while (std::fgets(piece, sizeof piece, f))
        if (piece[0] != '#' && piece[0] != '\n') ++count;
    std::clearerr(f);
    if (pos >= 0) std::fseek(f, pos, SEEK_SET);
    return count;
}

VCL_API int VCL_read_line(FILE* f, char* buf) {
    if (!f || !buf) return 0;
    if (!std::fgets(buf, VCL_CONFIG_LINE_SIZE, f)) {
        buf[0] = '\0';
        return 0;
    }
    buf[std::strcspn(buf, "\r\n")] = '\0';
    return 1;
}

VCL_API int VCL_get_value_index(const char* line) {
    if (!line || line[0] == '#') return 0;
    const char* eq = std::strchr(line, '=');
    return eq ? static_cast<int>(eq - line) : 0;
}

VCL_API int VCL_convert_env(const char* text, char* out) {
    if (!out) return 0;
    out[0] = '\0';
    if (!text) return 0;
    std::string result;
    if (!expand(text, result)) return 0;
    copyOut(result, out);
    return static_cast<int>(result.size());
}

VCL_API int VCL_trim(const char* text, char* out) {
    if (!out) return 0;
    out[0] = '\0';
    if (!text) return 0;
    std::string result;
    if (!processValue(text, result)) return 0;
    copyOut(result, out);
    return static_cast<int>(result.size());
}

VCL_API VCL_CONFIG_ITEM* VCL_Load_File(const char* path) {
    if (!path) return nullptr;
    FILE* f = std::fopen(path, "re");
    if (!f) return nullptr;
    const int counted = VCL_count_line(f);
    auto* items =
        counted > 0 ? static_cast<VCL_CONFIG_ITEM*>(std::calloc(static_cast<size_t>(counted), sizeof(VCL_CONFIG_ITEM)))
                    : nullptr;
    if (!items) {
        std::fclose(f);
        return nullptr;
    }
    int used = 0;
    char line[VCL_CONFIG_LINE_SIZE];
    // The two line readers cut long lines differently, so the count is only
    // an estimate: never store past it.
    while (used < counted && VCL_read_line(f, line)) {
        VCL_StrTrim(line);
        if (line[0] == '\0' || line[0] == '#') continue;
        if (parseLine(line, items[used])) ++used;
    }
    std::fclose(f);
    items[0].count = used;
    return items;
}

VCL_API void VCL_Free_Config(VCL_CONFIG_ITEM* items) { std::free(items); }

VCL_API const char* VCL_Get_String(const VCL_CONFIG_ITEM* items, const char* section, const char* key) {
    if (!items || !key) return nullptr;
    const int n = itemCount(items);
    const size_t sectionLen = section ? std::strlen(section) : 0;
    // A bracketed name longer than the key field can never be stored.
    if (section && sectionLen > kMaxSection) return nullptr;
    bool inside = !section || sectionLen < 2;
    for (int i = 0; i < n; ++i) {
        const VCL_CONFIG_ITEM& item = items[i];
        if (isSection(item)) {
            if (!section) continue;
            if (sectionLen < 2) break;  // only the keys before the first section
            inside = isSectionNamed(item, section);
            continue;
        }
        if (inside && std::strcmp(item.key, key) == 0) return item.value;
    }
    return nullptr;
}

VCL_API int VCL_Get_Num(const VCL_CONFIG_ITEM* items, const char* section, const char* key) {
    const char* value = VCL_Get_String(items, section, key);
    return value ? std::atoi(value) : 0;
}

VCL_API int VCL_Get_Section_Count(const VCL_CONFIG_ITEM* items) {
    int sections = 0;
    for (int i = 0; i < itemCount(items); ++i)
        if (isSection(items[i])) ++sections;
    return sections;
}

VCL_API int VCL_Get_Next_Section(const VCL_CONFIG_ITEM* items, int from, char* name) {
    if (name) name[0] = '\0';
    if (!items) return 0;
    const int n = itemCount(items);
    for (int i = from > 0 ? from : 0; i < n; ++i) {
        if (isSection(items[i])) {
            if (name) sectionName(items[i], name);
            return i + 1;
        }
    }
    return from > n ? from : n;
}

VCL_API int VCL_Get_Section_by_IDX(const VCL_CONFIG_ITEM* items, int n, char* name) {
    if (name) name[0] = '\0';
    if (!items) return 0;
    int seen = 0;
    for (int i = 0; i < itemCount(items); ++i) {
        if (isSection(items[i]) && ++seen == n) {
            if (name) sectionName(items[i], name);
            return i;
        }
    }
    return itemCount(items);
}

VCL_API int VCL_Get_Section_Value_Count(const VCL_CONFIG_ITEM* items, const char* section) {
    if (!items || !section || std::strlen(section) < 2) return 0;
    const int n = itemCount(items);
    int i = 0;
    while (i < n && !isSectionNamed(items[i], section)) ++i;
    int keys = 0;
    for (++i; i < n && !isSection(items[i]); ++i) ++keys;
    return keys;
}

VCL_API int VCL_Get_Section_Value_by_IDX(const VCL_CONFIG_ITEM* items, const char* section, int n, int from, char* key,
                                         char* value) {
    if (key) key[0] = '\0';
    if (value) value[0] = '\0';
    if (!items || !section || std::strlen(section) < 2) return 0;
    const int count = itemCount(items);
    int line = from > 0 ? from : 0;
    while (line < count && !isSectionNamed(items[line], section)) ++line;
    if (line >= count) return 0;
    int seen = 0;
    for (int i = line + 1; i < count && !isSection(items[i]); ++i) {
        if (++seen == n) {
            if (key) copyOut(items[i].key, key);
            if (value) copyOut(items[i].value, value);
            break;
        }
    }
    return line;
}

}  // extern "C"

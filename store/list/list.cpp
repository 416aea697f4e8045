// Record lists and filters: the list of a listing, the filter text's
// tokens and the hiding of what a filter excludes.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <zephaltpavix/certlist.h>
#include <zephaltpavix/encode.h>

#include "list/list_internal.hpp"

namespace {

template <typename T>
T* newZeroed() {
    return static_cast<T*>(std::calloc(1, sizeof(T)));
}

// ---- Filter values ---------------------------------------------------------

FilterNode* newValue(std::string_view value) {
    FilterNode* node = newZeroed<FilterNode>();
    if (!node) return nullptr;
    node->value = zstore::newBuffer(value);
    if (!node->value || value.size() > static_cast<size_t>(INT32_MAX)) {
        std::free(node->value);
        std::free(node);
        return nullptr;
    }
    node->valueLen = static_cast<int>(value.size());
    return node;
}

int insertValue(FilterNode* head, std::string_view value) {
    if (!head) return -1;
    FilterNode* node = newValue(value);
    if (!node) return -1;
    FilterNode* tail = head;
    while (tail->next) tail = tail->next;
    tail->next = node;
    return 0;
}

bool matches(const FilterNode* head, std::string_view text) {
    for (const FilterNode* n = head ? head->next : nullptr; n; n = n->next) {
        const std::string_view value(n->value ? n->value : "", n->value ? static_cast<size_t>(n->valueLen) : 0);
        if (zstore::startsWithNoCase(text, value)) return true;
    }
    return false;
}

void releaseList(FilterNode*& head) {
    if (!head) return;
    VPL_Delete_ALL_FilterNode(head);
    std::free(head);
    head = nullptr;
}

// ---- Tokens ----------------------------------------------------------------

struct Keyword {
    std::string_view word;
    int kind;
};
constexpr Keyword kKeywords[] = {{"oid=", 1},    {"issuer=", 2}, {"subject=", 3},
                                 {"serial=", 4}, {"expire=", 5}, {"crl=", 6}};

FilterNode** listOf(FilterInfo& filter, int kind) {
    switch (kind) {
        case 1:
            return &filter.oids;
        case 2:
            return &filter.issuers;
        case 3:
            return &filter.subjects;
        case 4:
            return &filter.serials;
        default:
            return nullptr;
    }
}

// atoi's reading (blanks, a sign, digits), without its undefined overflow:
// only zero or not matters.
bool nonzeroNumber(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p == '+' || *p == '-') ++p;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (*p != '0') return true;
    return false;
}

int makeFilterList(FilterInfo& filter, std::string_view token) {
    static const char* const kFn = "VPL_Make_FilterList";
    const std::string tokenText(token);
    char* raw = nullptr;
    int rawLen = 0;
    const int kind = VPL_FilterType(tokenText.c_str(), &raw, &rawLen);
    if (kind < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Make_FilterList () : Filter Type Error \n");
        return zstore::fail(kFn, VPL_ERR_FILTER_TYPE);
    }
    char* decoded = nullptr;
    int decodedLen = 0;
    const int rc = VPL_DataDecode(1, raw, rawLen, &decoded, &decodedLen);
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Make_FilterList () : VPL_DataDecode Fail (0x%08x):(Data:%s) \n",
                   static_cast<unsigned>(rc), raw);
        VPL_Free(raw, rawLen);
        return rc;
    }
    VPL_Free(raw, rawLen);
    const std::string_view value(decoded, static_cast<size_t>(decodedLen));
    int result = 0;
    if (FilterNode** list = listOf(filter, kind)) {
        // The last token of a kind counts: its list replaces an earlier one.
        releaseList(*list);
        *list = VPL_Init_FilterNode(nullptr);
        if (!*list) result = VPL_ERR_MALLOC;
        // Every piece before a "|" is a value; the value ends in one.
        std::string_view rest = value;
        while (result == 0 && !rest.empty()) {
            const size_t bar = rest.find('|');
            const std::string_view piece = rest.substr(0, bar);
            if (insertValue(*list, piece) != 0) result = VPL_ERR_MALLOC;
            rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
        }
    } else {
        const bool on = nonzeroNumber(std::string(value.substr(0, value.find('\0'))));
        (kind == 5 ? filter.expire : filter.crl) = on ? 1 : 0;
    }
    VPL_Free(decoded, decodedLen);
    return result ? zstore::fail(kFn, result) : 0;
}

}  // namespace

namespace zstore {

int append(CertInfoList* list, CertRecord&& rec) {
    if (!list) return VPL_ERR_MEMORY;
    CertInfoList* node = newZeroed<CertInfoList>();
    if (!node) return VPL_ERR_MEMORY;
    node->record = new (std::nothrow) CertRecord(std::move(rec));
    if (!node->record) {
        std::free(node);
        return VPL_ERR_MEMORY;
    }
    CertInfoList* tail = list->tail ? list->tail : list;
    tail->next = node;
    list->tail = node;
    return 0;
}

}  // namespace zstore

extern "C" {

// ---- Lists -------------------------------------------------------------------

VPL_API CertInfoList* VPL_InitList(CertInfoList* /*unused*/) {
    CertInfoList* head = newZeroed<CertInfoList>();
    if (!head) ZSTORE_LOG(VCL_LOG_ERROR, "VPL_InitList() : Memory Fail\n");
    return head;
}

VPL_API int VPL_InsertList(CertInfoList* list, const CertInfo* info) {
    if (!list || !info) return VPL_ERR_MEMORY;
    try {
        if (zstore::append(list, zstore::fromCertInfo(*info)) == 0) return 0;
    } catch (const std::bad_alloc&) {
    }
    ZSTORE_LOG(VCL_LOG_ERROR, "VPL_InsertList () : %s\n", VPL_GetErrorString(1051002));
    return VPL_ERR_MEMORY;
}

VPL_API void VPL_DeleteAllList(CertInfoList* list) {
    if (!list) return;
    CertInfoList* n = list->next;
    while (n) {
        CertInfoList* next = n->next;
        delete n->record;
        std::free(n);
        n = next;
    }
    list->next = nullptr;
    list->tail = nullptr;
}

VPL_API int VPL_GetListCount(CertInfoList* list, int visibleOnly) {
    int count = 0;
    for (CertInfoList* n = list ? list->next : nullptr; n; n = n->next)
        if (!visibleOnly || (n->record && n->record->hidden == 0)) ++count;
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_GetListCount () : in Flag (%d), count (%d)\n", visibleOnly, count);
    return count;
}

VPL_API int VPL_GetListEntry(CertInfoList* list, int index, CertInfo* info) {
    if (!list || !info || index < 0) return -1;
    CertInfoList* n = list->next;
    for (; n && index > 0; n = n->next) --index;
    if (!n || !n->record) return -1;
    const int rc = zstore::toCertInfo(*n->record, *info);
    return rc ? zstore::fail("VPL_GetListEntry", rc) : 0;
}

// ---- Filters -----------------------------------------------------------------

VPL_API FilterNode* VPL_Init_FilterNode(FilterNode* /*unused*/) { return newZeroed<FilterNode>(); }

VPL_API int VPL_Insert_FilterNode(FilterNode* head, const char* value) { return value ? insertValue(head, value) : -1; }

VPL_API int VPL_Find_FilterNode(FilterNode* head, const char* text) {
    return head && text && matches(head, text) ? 0 : -1;
}

VPL_API void VPL_Delete_ALL_FilterNode(FilterNode* head) {
    if (!head) return;
    FilterNode* n = head->next;
    while (n) {
        FilterNode* next = n->next;
        VPL_Free(n->value, n->valueLen);
        std::free(n);
        n = next;
    }
    head->next = nullptr;
}

VPL_API void VPL_Delete_FilterList(FilterInfo* filter) {
    if (!filter) return;
    for (FilterNode** list : {&filter->oids, &filter->subjects, &filter->issuers, &filter->serials}) releaseList(*list);
}

VPL_API int VPL_strParsing(const char* text, const char* delim, char** head, char** rest) {
    if (!text || !delim || !head || !rest) return -1;
    *head = *rest = nullptr;
    const std::string_view all(text);
    const size_t at = *delim ? all.find(*delim) : std::string_view::npos;
    int headLen = 0, restLen = 0;
    if (zstore::handOut(all.substr(0, at), head, &headLen) != 0) return -1;
    if (zstore::handOut(at == std::string_view::npos ? std::string_view() : all.substr(at + 1), rest, &restLen) != 0) {
        VPL_Free(*head, headLen);
        *head = nullptr;
        return -1;
    }
    return 0;
}

VPL_API int VPL_FilterType(const char* token, char** value, int* valueLen) {
    if (!token || !value || !valueLen) return -1;
    *value = nullptr;
    *valueLen = 0;
    const std::string_view text(token);
    for (const Keyword& k : kKeywords) {
        if (!zstore::startsWithNoCase(text, k.word)) continue;
        std::string v(text.substr(k.word.size()));
        if (k.kind <= 4 && (v.empty() || v.back() != '|')) v += '|';
        return zstore::handOut(v, value, valueLen) == 0 ? k.kind : -1;
    }
    return -1;
}

VPL_API int VPL_Make_FilterList(FilterInfo* filter, const char* token) {
    if (!filter || !token) return zstore::fail("VPL_Make_FilterList", VPL_ERR_INVALID_PARAM);
    try {
        return makeFilterList(*filter, token);
    } catch (const std::bad_alloc&) {
        return zstore::fail("VPL_Make_FilterList", VPL_ERR_MALLOC);
    }
}

VPL_API int VPL_FilterData_Parsing(FilterInfo* filter, const char* text, int len) {
    if (!filter || !text) return zstore::fail("VPL_FilterData_Parsing", VPL_ERR_INVALID_PARAM);
    const std::string_view all = zstore::bounded(text, len);
    int result = 0;
    try {
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('&', start);
            if (end == std::string_view::npos) end = all.size();
            // Each token's result replaces the one before: the last counts.
            if (end > start) result = makeFilterList(*filter, all.substr(start, end - start));
            start = end + 1;
        }
    } catch (const std::bad_alloc&) {
        result = VPL_ERR_MALLOC;
    }
    if (result != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_FilterData_Parsing () : %s(0x%08x)\n", VPL_GetErrorString(result),
                   static_cast<unsigned>(result));
    else
        VPL_Log_HEXA(VCL_LOG_DEBUG, zstore::kLogSource, __LINE__, "Filter", all.data(), static_cast<int>(all.size()));
    return result;
}

VPL_API void VPL_FilterInfo_Check(FilterInfo* filter, CertInfoList* list) {
    if (!filter || !list) return;
    zstore::forEachRecord(list, [&](zstore::CertRecord& rec) {
        const bool excluded = (filter->oids && !matches(filter->oids, rec.policyOid)) ||
                              (filter->issuers && !matches(filter->issuers, rec.issuerCN)) ||
                              (filter->subjects && !matches(filter->subjects, rec.subject)) ||
                              (filter->serials && !matches(filter->serials, rec.serial)) ||
                              (filter->expire && rec.expireFlag == 1);
        if (excluded) rec.hidden = 1;
    });
}

}  // extern "C"

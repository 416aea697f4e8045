// Filter texts over a fixed list of records: parsing gives 0 or the code of
// an unknown token, every value is whole with its zero byte, empty tokens
// change nothing, a text repeated after itself filters the same, an entry
// is hidden exactly when a present list does not begin its field or it is
// expired under expire=1, and the record string holds one record per
// visible entry.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "list/list_internal.hpp"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

struct Filter {
    FilterInfo f{};
    Filter() = default;
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;
    ~Filter() { VPL_Delete_FilterList(&f); }
};

std::vector<std::string> values(const FilterNode* head) {
    std::vector<std::string> out;
    if (!head) return out;
    check(head->value == nullptr);
    for (const FilterNode* n = head->next; n; n = n->next) {
        check(n->value && n->valueLen >= 0 && n->value[n->valueLen] == '\0');
        out.emplace_back(n->value, static_cast<size_t>(n->valueLen));
    }
    return out;
}

bool sameFilter(const FilterInfo& a, const FilterInfo& b) {
    return values(a.oids) == values(b.oids) && values(a.subjects) == values(b.subjects) &&
           values(a.issuers) == values(b.issuers) && values(a.serials) == values(b.serials) &&
           (a.oids == nullptr) == (b.oids == nullptr) && (a.subjects == nullptr) == (b.subjects == nullptr) &&
           (a.issuers == nullptr) == (b.issuers == nullptr) && (a.serials == nullptr) == (b.serials == nullptr) &&
           a.expire == b.expire && a.crl == b.crl;
}

// Records as the walks make them: EUC-KR names, serials with and without
// a leading 00, policies of each family, every expiry flag.
CertInfoList* fixedList() {
    struct Row {
        const char *issuerCN, *subject, *serial, *oid;
        int flag;
    } rows[] = {
        {"yessignCA Class 2", "\xc8\xab\xb1\xe6\xb5\xbf()0012345678901234", "1A2B3C", "1.2.410.200005.1.1.1", 0},
        {"SignKorea CA2", "KimCS()0001", "008A1B2C", "1.2.410.200004.5.1.1.5", 2},
        {"CrossCertCA2", "", "01", "", 1},
        {"\xb0\xf8\xbd\xc3\xbf\xee\xbf\xb5\xb0\xfa", "dart", "7F", "1.2.410.100001.2.2.1", 0},
        {"", "staff", "FFFF", "1.2.3", 1},
    };
    CertInfoList* list = VPL_InitList(nullptr);
    check(list != nullptr);
    for (const Row& r : rows) {
        zstore::CertRecord rec;
        rec.issuerCN = r.issuerCN;
        rec.issuerName = r.issuerCN;
        rec.subject = r.subject;
        rec.serial = r.serial;
        rec.policyOid = r.oid;
        rec.expireFlag = r.flag;
        rec.storeClass = 1;
        rec.certPath = rec.keyPath = std::string("/home/u/NPKI/x/USER/") + r.subject + "/signCert.der";
        check(zstore::append(list, std::move(rec)) == 0);
    }
    return list;
}

void reset(CertInfoList* list) {
    zstore::forEachRecord(list, [](zstore::CertRecord& r) { r.hidden = 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CertInfoList* const list = fixedList();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int len = static_cast<int>(size);

    Filter filter;
    const int rc = VPL_FilterData_Parsing(&filter.f, text.data(), len);
    check(rc == 0 || rc == VPL_ERR_FILTER_TYPE);
    check(filter.f.expire == 0 || filter.f.expire == 1);
    check(filter.f.crl == 0 || filter.f.crl == 1);
    values(filter.f.oids);

    // Only the text up to a zero byte counts; empty tokens change nothing;
    // a text twice filters as once.
    const std::string upToZero = text.substr(0, text.find('\0'));
    if (upToZero.size() < 4096) {
        Filter padded, twice;
        const std::string withEmpty = "&&" + upToZero + "&";
        VPL_FilterData_Parsing(&padded.f, withEmpty.c_str(), static_cast<int>(withEmpty.size()));
        check(sameFilter(filter.f, padded.f));
        const std::string doubled = upToZero + "&" + upToZero;
        VPL_FilterData_Parsing(&twice.f, doubled.c_str(), static_cast<int>(doubled.size()));
        check(sameFilter(filter.f, twice.f));
    }

    reset(list);
    VPL_FilterInfo_Check(&filter.f, list);
    int visible = 0;
    zstore::forEachRecord(list, [&](const zstore::CertRecord& r) {
        const auto fails = [](FilterNode* head, const std::string& field) {
            return head && VPL_Find_FilterNode(head, field.c_str()) != 0;
        };
        const bool excluded = fails(filter.f.oids, r.policyOid) || fails(filter.f.issuers, r.issuerCN) ||
                              fails(filter.f.subjects, r.subject) || fails(filter.f.serials, r.serial) ||
                              (filter.f.expire && r.expireFlag == 1);
        check(r.hidden == (excluded ? 1 : 0));
        visible += excluded ? 0 : 1;
    });
    check(VPL_GetListCount(list, 1) == visible);
    char* records = nullptr;
    check(VPL_Make_SendData(list, &records, visible) == 0);
    check((records != nullptr) == (visible > 0));
    if (records) {
        const std::string all(records);
        check(static_cast<int>(std::count(all.begin(), all.end(), '|')) == visible);
        VPL_Free(records, static_cast<int>(all.size()));
    }
    return 0;
}

// Certificate bytes through the store's classification, naming and record:
// a class is -1 or 1-9 and the same from every function, every folder name
// handed out is one safe path component, the government names keep their
// forms, and a record keeps its fields' forms, comes back whole from a list
// and writes one record of the eight items.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zephaltpavix/zephaltpavix.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool isDate(const char* text) {
    if (!*text) return true;
    if (std::strlen(text) != 10 || text[4] != '-' || text[7] != '-') return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// The record of the certificate: its forms, and one record string item by
// item.
void checkRecord(const uint8_t* data, int len, int cls) {
    CertInfo info;
    int typeCode = -7;
    const int rc = VPL_Cert_Make_CertInfo(data, len, &info, &typeCode);
    if (rc == VPL_ERR_X509_INFO) {
        check(cls == -1 && typeCode == -7);
        return;
    }
    if (rc != 0) {
        // Unclassified, a date the host cannot show, or a text past its field.
        check(rc == -1 || rc == VPL_ERR_OVERFLOW);
        return;
    }
    check(typeCode == cls && cls != -1);
    const int storeClass = cls == 1 || cls == 2 || cls == 7 ? 1 : cls == 5 || cls == 6 || cls == 9 ? 3 : 2;
    check(info.storeClass == storeClass);
    check(info.expireFlag >= 0 && info.expireFlag <= 2 && info.hidden == 0);
    check(isDate(info.validFrom) && isDate(info.validTo));
    check(!info.certPath[0] && !info.keyPath[0]);
    check(info.typeName[0] != '\0' || info.policyOid[0] != '\0');

    CertInfoList* list = VPL_InitList(nullptr);
    check(list != nullptr);
    check(VPL_InsertList(list, &info) == 0);
    CertInfo back;
    check(VPL_GetListEntry(list, 0, &back) == 0 && std::memcmp(&back, &info, sizeof info) == 0);
    char* text = nullptr;
    check(VPL_Make_SendData(list, &text, 1) == 0 && text);
    const std::string records(text);
    VPL_Free(text, static_cast<int>(records.size()));
    VPL_DeleteAllList(list);
    std::free(list);
    static const char* const kNames[] = {"subject",  "issuer",  "oidtype",    "expiredata",
                                         "certpath", "keypath", "expireflag", "certtype"};
    check(!records.empty() && records.back() == '|');
    size_t at = 0;
    for (int i = 0; i < 8; ++i) {
        const std::string name = std::string(kNames[i]) + "^";
        check(records.compare(at, name.size(), name) == 0);
        const size_t end = records.find_first_of("&|^", at + name.size());
        check(end != std::string::npos && records[end] == (i == 7 ? '|' : '&'));
        // Values are URL-encoded: they carry none of the separators.
        char* value = nullptr;
        int valueLen = 0;
        const std::string encoded = records.substr(at + name.size(), end - at - name.size());
        check(VPL_DataDecode(1, encoded.data(), static_cast<int>(encoded.size()), &value, &valueLen) == 0);
        if (i == 0) check(std::string(value, static_cast<size_t>(valueLen)) == info.subject);
        if (i == 3) check(std::string(value, static_cast<size_t>(valueLen)) == info.validTo);
        if (i == 7) check(std::string(value, static_cast<size_t>(valueLen)) == std::to_string(storeClass));
        VPL_Free(value, valueLen);
        at = end + 1;
    }
    check(at == records.size());
}

bool safeComponent(const char* p, int n) {
    if (!p || n <= 0 || std::strlen(p) != static_cast<size_t>(n)) return false;
    const std::string_view name(p, static_cast<size_t>(n));
    return name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int len = static_cast<int>(size);
    const int cls = VPL_Get_CertType(data, len);
    check(cls == -1 || (cls >= 1 && cls <= 9));

    char *ca = nullptr, *subject = nullptr;
    int caLen = -1, subjectLen = -1;
    const int named = VPL_Cert_PublicANDPrivate(data, len, &ca, &caLen, &subject, &subjectLen);
    if (named >= 1 && named <= 9) {
        check(named == cls);
        check(safeComponent(ca, caLen) && safeComponent(subject, subjectLen));
    } else {
        check(named == -1 || named == VPL_ERR_PATH);
        check(!ca && !subject && caLen == 0 && subjectLen == 0);
        check(named == VPL_ERR_PATH ? cls != -1 : true);
    }
    VPL_Free(ca, caLen);
    VPL_Free(subject, subjectLen);
    checkRecord(data, len, cls);

    char* cn = nullptr;
    int use = -1, gpkiClass = -1;
    const int rc = VPL_Get_GPKI_CNNameOfSubjectDN(data, len, &cn, &use, &gpkiClass);
    if (rc == 0) {
        check(cn && safeComponent(cn, static_cast<int>(std::strlen(cn))));
        check(use == 0 || use == 3 || use == 4);
        check(gpkiClass == 1 || gpkiClass == 2);
        check(cls != -1);
    } else {
        check(!cn && (rc == -1 || rc == VPL_ERR_X509_INFO || rc == VPL_ERR_PATH));
    }
    std::free(cn);

    // The bytes as a DN text and a key id, read only within their length.
    char* out = nullptr;
    int outLen = 0;
    const char* text = reinterpret_cast<const char*>(data);
    VPL_OEqual_Find(text, len, &out, &outLen);
    check(!out || static_cast<size_t>(outLen) < size);
    VPL_Free(out, outLen);
    if (VPL_ToUpper(text, len, &out, &outLen) == 0 && out) {
        check(static_cast<size_t>(outLen) <= size);
        for (int i = 0; i < outLen; ++i) check(!(out[i] >= 'a' && out[i] <= 'z'));
        VPL_Free(out, outLen);
    }
    return 0;
}

// Certificate bytes through the detail and view records, every named field
// and the SHA-256 test; the same bytes through the four password checks.
// Records hold their items in order with URL-encoded values, detail and
// view succeed together, a field read fails for every name or for none,
// field values keep their forms, and the password checks agree with a
// direct reading of their rules.
#include <cctype>
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

// The names of a record's items; every value free of the separators.
std::vector<std::string> itemNames(const std::string& record, bool lastWithAmp) {
    std::vector<std::string> names;
    check(!record.empty() && (record.back() == '&') == lastWithAmp);
    size_t at = 0;
    while (at < record.size()) {
        const size_t caret = record.find('^', at);
        check(caret != std::string::npos);
        size_t end = record.find('&', caret);
        if (end == std::string::npos) end = record.size();
        check(record.find('^', caret + 1) == std::string::npos || record.find('^', caret + 1) > end);
        names.push_back(record.substr(at, caret - at));
        at = end + 1;
    }
    return names;
}

void checkRecords(const uint8_t* data, int len) {
    static const std::vector<std::string> kDetail = {
        "version",      "serial",   "signatureAlg", "issuerDN",       "validity_from", "validity_to",
        "subjectDN",    "pubkey",   "pubkeydata",   "hand_print_alg", "hand_print",    "authoritykeyid",
        "subjectkeyid", "keyusage", "certpolicy",   "subjectAltName", "crlDP",         "authorityInfoAcc"};
    static const std::vector<std::string> kView = {"crl_flag",   "subjectCN",  "issuer",
                                                   "issuerdate", "expiredate", "oidtype"};
    char* detail = nullptr;
    int detailLen = -1;
    const int d = VPL_Make_CertDetail(data, len, &detail, &detailLen);
    char* view = nullptr;
    int viewLen = -1;
    const int v = VPL_Make_CertView(0, data, len, &view, &viewLen);
    check(d == 0 || d == VPL_ERR_CERT_DER || d == VPL_ERR_X509_INFO);
    check(v == 0 || v == VPL_ERR_X509_INFO);
    check((d == 0) == (v == 0));
    if (d == 0) {
        check(detail && detailLen == static_cast<int>(std::strlen(detail)));
        check(itemNames(detail, true) == kDetail);
        check(view && viewLen == static_cast<int>(std::strlen(view)));
        check(itemNames(view, false) == kView);
    } else {
        check(!detail && detailLen == 0 && !view && viewLen == 0);
    }
    VPL_Free(detail, detailLen);
    VPL_Free(view, viewLen);
}

bool allOf(const std::string& s, int (*pred)(int)) {
    for (unsigned char c : s)
        if (!pred(c)) return false;
    return true;
}

void checkFields(const uint8_t* data, int len) {
    static const char* const kNames[] = {"version",   "serial",       "hexaserial", "signatureAlg",
                                         "issuerDN",  "validityFrom", "validityTo", "subjectDN",
                                         "pubkeyAlg", "pubkey",       "pubkeyBit"};
    int undecodable = 0;
    for (const char* name : kNames) {
        char* value = nullptr;
        int valueLen = -1;
        const int rc = VPL_Get_ValueOfX509Field(data, len, name, &value, &valueLen);
        check(rc == 0 || rc == VPL_ERR_DATA || rc == VPL_ERR_X509_INFO);
        if (rc == VPL_ERR_X509_INFO) ++undecodable;
        if (rc != 0) {
            check(!value && valueLen == 0);
            continue;
        }
        check(value && valueLen > 0 && value[valueLen] == '\0');
        const std::string text(value, static_cast<size_t>(valueLen));
        const std::string_view n(name);
        if (n == "version") check(text == "0" || text == "1" || text == "2");
        if (n == "serial") check(allOf(text[0] == '-' ? text.substr(1) : text, isdigit));  // INTEGERs may be negative
        if (n == "pubkeyBit") check(allOf(text, isdigit));
        if (n == "hexaserial") check(allOf(text, isxdigit));
        if (n == "validityFrom" || n == "validityTo") check(text.size() == 14 && allOf(text, isdigit));
        if (n == "pubkeyBit") {
            char* key = nullptr;
            int keyLen = 0;
            check(VPL_Get_ValueOfX509Field(data, len, "PUBKEY", &key, &keyLen) == 0);
            check(keyLen <= (std::atoi(text.c_str()) + 7) / 8);
            VPL_Free(key, keyLen);
        }
        VPL_Free(value, valueLen);
    }
    check(undecodable == 0 || undecodable == static_cast<int>(std::size(kNames)));
    char* value = nullptr;
    int valueLen = 0;
    check(VPL_Get_ValueOfX509Field(data, len, "subjectDN ", &value, &valueLen) ==
          (undecodable ? VPL_ERR_X509_INFO : -1));
    const int advanced = VPL_Is_Cert_Advanced(data, len);
    check(advanced == 0 || advanced == -1 || advanced == VPL_ERR_X509_INFO || advanced == VPL_ERR_DATA);
    check((advanced == VPL_ERR_X509_INFO) == (undecodable != 0));
}

// The rules read directly: expected bytes signed, actual bytes unsigned.
bool continuousModel(const unsigned char* p, int len, int run) {
    if (run <= 0) run = 3;
    for (int i = 0; i + run <= len; ++i)
        for (int step : {1, -1}) {
            bool all = true;
            for (int d = 1; d < run && all; ++d)
                all = static_cast<int>(static_cast<signed char>(p[i] + step * d)) == static_cast<int>(p[i + d]);
            if (all) return true;
        }
    return false;
}

bool repeatedModel(const unsigned char* p, int len, int run) {
    if (run <= 0) run = 3;
    if (len < run) return true;
    for (int i = 0; i + run <= len; ++i) {
        if (p[i] >= 0x80) continue;
        bool all = true;
        for (int d = 1; d < run && all; ++d) all = p[i + d] == p[i];
        if (all) return true;
    }
    return false;
}

void checkPasswords(const uint8_t* data, int len) {
    const int run = len > 0 ? static_cast<int>(data[0] % 8) - 1 : 3;
    const char* text = reinterpret_cast<const char*>(data);
    const int max = len > 1 ? data[1] % 40 - 2 : 0;
    check(VPL_Check_MaxLength(text, len, max) == (len > (max <= 0 ? 30 : max) ? -1 : 0));
    check(VPL_Check_MinLength(text, len, max) == (len < (max <= 0 ? 8 : max) ? -1 : 0));
    if (len <= 0) {
        check(VPL_Check_Continous_Letter(data, len, run) == VPL_ERR_INVALID_PARAM);
        check(VPL_Check_Repeated_Letter(text, len, run) == VPL_ERR_INVALID_PARAM);
        return;
    }
    check(VPL_Check_Continous_Letter(data, len, run) == (continuousModel(data, len, run) ? -1 : 0));
    check(VPL_Check_Repeated_Letter(text, len, run) == (repeatedModel(data, len, run) ? -1 : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    // A copy of exactly size bytes: reads past the end are the sanitizer's.
    const std::vector<uint8_t> bytes(data, data + size);
    const int len = static_cast<int>(size);
    if (len > 0) {
        checkRecords(bytes.data(), len);
        checkFields(bytes.data(), len);
    }
    static const uint8_t kEmpty[1] = {0};
    checkPasswords(len > 0 ? bytes.data() : kEmpty, len);
    return 0;
}

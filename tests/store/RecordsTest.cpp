// Records of single certificates, the name tables (compared through iconv),
// record lists and the filter grammar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "StoreHelpers.h"
#include "list/list_internal.hpp"

using storetest::cert;
using storetest::len;
using storetest::Out;

namespace {

std::string utf8(const char* euc) { return storetest::iconvText(euc, "EUC-KR", "UTF-8").value_or("<not EUC-KR>"); }
std::string eucKr(const std::string& text) { return storetest::iconvText(text, "UTF-8", "EUC-KR").value_or("?"); }

// The values of a filter list, in order.
std::vector<std::string> values(const FilterNode* head) {
    std::vector<std::string> out;
    for (const FilterNode* n = head ? head->next : nullptr; n; n = n->next)
        out.emplace_back(n->value, static_cast<size_t>(n->valueLen));
    return out;
}

struct Filter {
    FilterInfo f{};
    ~Filter() { VPL_Delete_FilterList(&f); }
    int parse(const std::string& text) { return VPL_FilterData_Parsing(&f, text.c_str(), len(text)); }
};

class TzUtc : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

using StoreRecords = TzUtc;

}  // namespace

TEST(StoreNames, IssuerDisplayNames) {
    struct Case {
        std::string cn;
        const char* name;
    } cases[] = {
        {"yessignCA", "금융결제원"},
        {"YESSIGNCA CLASS 2", "금융결제원"},
        {"signGATE CA4", "한국정보인증"},
        {"CrossCert Certificate Authority", "한국전자인증"},
        {"KISA Test RootCA 7", "한국정보보호진흥원 TEST"},
        {"Root CA", "행정안전부"},
        {"CA131000031T", "행정자치부"},
        {"ZUNPASS TEST OCSP", "베리단 TEST"},
        {eucKr("공시운영과"), "FSS DART"},
        {"KOR_CA1319999", "행정자치부"},
        {"CA1280000999", "대검찰청"},
        {"kor_ca974", "대법원"},
        {"KOR_CA1340499", "교육과학기술부"},
        {"KOR_CA97", "KOR_CA97"},
        {"yessignCA ", "yessignCA "},
        {"Unknown CA", "Unknown CA"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char name[VPL_CERTINFO_TEXT];
        ASSERT_EQ(VPL_ConvertIssuerCN(c.cn.c_str(), name), 0) << c.cn;
        EXPECT_EQ(utf8(name), c.name) << c.cn;
    }
    char name[VPL_CERTINFO_TEXT] = "x";
    EXPECT_EQ(VPL_ConvertIssuerCN(std::string(300, 'C').c_str(), name), 1051038);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(VPL_ConvertIssuerCN(nullptr, name), 1052011);
}

TEST(StoreNames, TypeNamesAndTheirFallbacks) {
    struct Case {
        const char* oid;
        int rc;
        const char* name;
        const char* code;
    } cases[] = {
        {"1.2.410.200005.1.1.1", 0, "범용(개인)", "a1"},
        {"1.2.410.200005.1.1.12.902", 0, "공인인증서", "a8"},
        {"1.2.410.200005.1.1.99", 0, "공인인증서", ""},
        {"1.2.410.200012.1.1.105", 0, "신용카드용", "b4"},
        {"1.2.410.200012.7", 0, "일반인증서", ""},
        {"1.2.410.200004.5.1.1.10.2", 0, "신용카드용(법인)", "c8"},
        {"1.2.410.200004.5.2.1.7.1", 0, "은행/신용카드용/보험용", "d3"},
        {"1.2.410.200004.5.4.2.80", 0, "전자세금용", "e5"},
        {"1.2.410.200004.5.5.1.4.5", 0, "특수목적용(기업)", "f7"},
        {"1.2.410.200004.5.3.1.9", 0, "개인", "g3"},
        {"1.2.410.200004.5.5.1.9", 1, "", ""},
        {"1.2.410.200004.5.4.1.9", 0, "일반인증서", ""},
        {"1.2.410.200004.5.1", 0, "일반인증서", ""},
        {"1.2.410.100001.2.2.1.5", 0, "공무원 전자서명(개인)", ""},
        {"1.2.410.100001.2.1.6", 0, "공공/민간 특수목적용", ""},
        {"1.2.410.100001.5.3.1.9.1", 0, "SSL용", ""},
        {"1.2.410.100001.9.9", 0, "일반인증서", ""},
        {"1.2.3.4", 0, "일반인증서", ""},
    };
    for (const auto& c : cases) {
        char name[VPL_CERTINFO_TEXT] = "x";
        char code[4] = "x";
        EXPECT_EQ(VPL_GetCertType(c.oid, code, name), c.rc) << c.oid;
        EXPECT_EQ(utf8(name), c.name) << c.oid;
        EXPECT_STREQ(code, c.code) << c.oid;
        char again[VPL_CERTINFO_TEXT];
        EXPECT_EQ(VPL_GetCertTypeString(c.oid, again), c.rc);
        EXPECT_STREQ(again, name);
    }
    char name[VPL_CERTINFO_TEXT];
    EXPECT_EQ(VPL_GetCertTypeString(nullptr, name), 1);
    EXPECT_EQ(VPL_GetCertTypeString("1.2.3", nullptr), 1);
}

TEST_F(StoreRecords, RecordOfOneCertificate) {
    const std::string der = cert("user-sign.der");
    CertInfo info;
    int cls = 0;
    ASSERT_EQ(VPL_Cert_Make_CertInfo(der.data(), len(der), &info, &cls), 0);
    EXPECT_EQ(cls, 1);
    EXPECT_EQ(utf8(info.subject), "홍길동()0012345678901234");
    EXPECT_STREQ(info.issuerCN, "Store Test CA");
    EXPECT_STREQ(info.issuerName, "Store Test CA");
    EXPECT_STREQ(info.organisation, "yessign");
    EXPECT_STREQ(info.validFrom, "2024-01-01");
    EXPECT_STREQ(info.validTo, "2034-01-01");
    EXPECT_EQ(utf8(info.typeName), "일반인증서");
    EXPECT_STREQ(info.policyOid, "");
    EXPECT_EQ(info.storeClass, 1);
    EXPECT_EQ(info.expireFlag, 0);
    EXPECT_EQ(info.hidden, 0);
    EXPECT_STREQ(info.certPath, "");
    const auto serial = zqtest::run(
        {"openssl", "x509", "-inform", "DER", "-in", storetest::certDir() + "/user-sign.der", "-noout", "-serial"});
    EXPECT_EQ("serial=" + std::string(info.serial) + "\n", serial.output);

    // PEM gives the same record; the class of each store.
    const auto pem = zqtest::run({"openssl", "x509", "-inform", "DER", "-in", storetest::certDir() + "/user-sign.der"});
    CertInfo fromPem;
    ASSERT_EQ(VPL_Cert_Make_CertInfo(pem.output.data(), len(pem.output), &fromPem, nullptr), 0);
    EXPECT_EQ(std::memcmp(&info, &fromPem, sizeof info), 0);
    struct Case {
        const char* file;
        int cls, storeClass;
        const char* type;
    } cases[] = {{"private-sign.der", 3, 2, "사설 인증서"},
                 {"gov-class2.der", 5, 3, "일반인증서"},
                 {"ca-public.der", 7, 1, "일반인증서"},
                 {"ca-gov.der", 9, 3, "행정부인증서"},
                 {"org6-30.der", 4, 2, "사설 인증서"}};
    for (const auto& c : cases) {
        const std::string bytes = cert(c.file);
        ASSERT_EQ(VPL_Cert_Make_CertInfo(bytes.data(), len(bytes), &info, &cls), 0) << c.file;
        EXPECT_EQ(cls, c.cls) << c.file;
        EXPECT_EQ(info.storeClass, c.storeClass) << c.file;
        EXPECT_EQ(utf8(info.typeName), c.type) << c.file;
    }
    const std::string junk = "not a certificate";
    EXPECT_EQ(VPL_Cert_Make_CertInfo(junk.data(), len(junk), &info, &cls), 1051024);
    EXPECT_EQ(VPL_Cert_Make_CertInfo(der.data(), len(der), nullptr, &cls), 1052011);
    EXPECT_EQ(VPL_CertPath_Make_CertInfo((storetest::certDir() + "/none.der").c_str(), &info, &cls), -1);
    ASSERT_EQ(VPL_CertPath_Make_CertInfo((storetest::certDir() + "/user-km.der").c_str(), &info, &cls), 0);
    EXPECT_EQ(cls, 2);
    EXPECT_EQ(std::string(info.certPath), storetest::certDir() + "/user-km.der");

    // The name readers.
    const zstore::InfoPtr x509 = zstore::readInfo(der.data(), len(der));
    char out[VPL_CERTINFO_TEXT];
    EXPECT_EQ(VPL_X509GetSubjectDN(out, x509.get()), out);
    EXPECT_EQ(utf8(out), "홍길동()0012345678901234");
    EXPECT_EQ(VPL_GetLastError(), 0);
    EXPECT_EQ(VPL_GetCertIssuer(out, x509.get()), out);
    EXPECT_STREQ(out, "Store Test CA");
    EXPECT_EQ(VPL_GetCertIssuer(nullptr, x509.get()), nullptr);
    EXPECT_EQ(VPL_GetLastError(), 1051005);
    const std::string noCn = cert("no-cn.der");
    const zstore::InfoPtr anonymous = zstore::readInfo(noCn.data(), len(noCn));
    EXPECT_EQ(VPL_X509GetSubjectDN(out, anonymous.get()), nullptr);
    EXPECT_EQ(VPL_GetLastError(), 1051006);
    EXPECT_EQ(VPL_IsUpdateCert(x509.get()), 0);
    EXPECT_EQ(VPL_IsUpdateCert(nullptr), -1);
}

TEST_F(StoreRecords, ListsCopyAndHandOutWholeRecords) {
    CertInfoList* list = VPL_InitList(nullptr);
    ASSERT_NE(list, nullptr);
    CertInfo info;
    const std::string der = cert("user-sign.der");
    ASSERT_EQ(VPL_Cert_Make_CertInfo(der.data(), len(der), &info, nullptr), 0);
    std::strcpy(info.certPath, "/a/signCert.der");
    std::strcpy(info.keyPath, "/a/signPri.key");
    ASSERT_EQ(VPL_InsertList(list, &info), 0);
    info.hidden = 1;
    ASSERT_EQ(VPL_InsertList(list, &info), 0);
    EXPECT_EQ(VPL_InsertList(list, nullptr), 1051022);
    EXPECT_EQ(VPL_InsertList(nullptr, &info), 1051022);
    // A record made whole, with a path the fixed form cannot hold.
    zstore::CertRecord whole = zstore::fromCertInfo(info);
    whole.hidden = 0;
    whole.certPath = "/" + std::string(400, 'p') + "/signCert.der";
    ASSERT_EQ(zstore::append(list, std::move(whole)), 0);
    EXPECT_EQ(VPL_GetListCount(list, 0), 3);
    EXPECT_EQ(VPL_GetListCount(list, 1), 2);
    EXPECT_EQ(VPL_GetListCount(nullptr, 0), 0);

    CertInfo back;
    ASSERT_EQ(VPL_GetListEntry(list, 1, &back), 0);
    EXPECT_EQ(std::memcmp(&back, &info, sizeof info), 0);
    EXPECT_EQ(VPL_GetListEntry(list, 2, &back), 1051038);
    EXPECT_EQ(VPL_GetListEntry(list, 3, &back), -1);

    // The record string of the visible entries, every path whole.
    char* text = nullptr;
    ASSERT_EQ(VPL_Make_SendData(list, &text, 2), 0);
    ASSERT_NE(text, nullptr);
    const std::string records(text);
    VPL_Free(text, len(records));
    EXPECT_EQ(std::count(records.begin(), records.end(), '|'), 2);
    Out<> path;
    const std::string longPath = "/" + std::string(400, 'p') + "/signCert.der";
    ASSERT_EQ(VPL_DataEncode(2, longPath.data(), len(longPath), path.ptr(), &path.n), 0);
    EXPECT_NE(records.find("&certpath^" + path.str() + "&keypath^/a/signPri.key&expireflag^0&certtype^1|"),
              std::string::npos);
    EXPECT_EQ(records.rfind("subject^%c8%ab%b1%e6%b5%bf%28%290012345678901234&issuer^Store+Test+CA&oidtype^%c0%cf%b9%dd"
                            "%c0%ce%c1%f5%bc%ad&expiredata^2034-01-01&certpath^",
                            0),
              0u);
    ASSERT_EQ(VPL_Make_SendData(list, &text, 0), 0);
    EXPECT_EQ(text, nullptr);

    VPL_DeleteAllList(list);
    EXPECT_EQ(VPL_GetListCount(list, 0), 0);
    ASSERT_EQ(VPL_InsertList(list, &info), 0);  // the head works on after
    VPL_DeleteAllList(list);
    std::free(list);
}

TEST(StoreFilters, TheGrammar) {
    struct Case {
        std::string text;
        int rc;
        std::vector<std::string> oids, issuers;
        int expire;
    } cases[] = {
        {"oid=1.2.410.200004|1.2.410.200005", 0, {"1.2.410.200004", "1.2.410.200005"}, {}, 0},
        {"issuer=yessignCA&expire=1", 0, {}, {"yessignCA"}, 1},
        {"oid=&issuer=X", 0, {""}, {"X"}, 0},
        {"oid=A&oid=B", 0, {"B"}, {}, 0},
        {"OID=a%7Cb|c", 0, {"a", "b", "c"}, {}, 0},
        {"oid=a||b|", 0, {"a", "", "b"}, {}, 0},
        {"issuer=yessign+CA%20x", 0, {}, {"yessign CA x"}, 0},
        {"color=red", 1052026, {}, {}, 0},
        {"color=red&expire=1", 0, {}, {}, 1},
        {"expire=1&color=red", 1052026, {}, {}, 1},
        {"expire=0", 0, {}, {}, 0},
        {"expire=abc", 0, {}, {}, 0},
        {"expire=-3", 0, {}, {}, 1},
        {"expire=%2b0012", 0, {}, {}, 1},
        {"expire=99999999999999999999999", 0, {}, {}, 1},
        {"&&expire=1&&", 0, {}, {}, 1},
        {"", 0, {}, {}, 0},
    };
    for (const auto& c : cases) {
        Filter f;
        EXPECT_EQ(f.parse(c.text), c.rc) << c.text;
        EXPECT_EQ(values(f.f.oids), c.oids) << c.text;
        EXPECT_EQ(values(f.f.issuers), c.issuers) << c.text;
        EXPECT_EQ(f.f.expire, c.expire) << c.text;
    }
    // Values of any length stay whole; a zero byte stays in its value.
    Filter f;
    const std::string subject(5000, 's');
    ASSERT_EQ(f.parse("crl=1&serial=" + std::string(3000, 'A') + "&subject=" + subject + "%00x"), 0);
    EXPECT_EQ(values(f.f.serials), std::vector<std::string>{std::string(3000, 'A')});
    EXPECT_EQ(values(f.f.subjects), std::vector<std::string>{subject + std::string(1, '\0') + "x"});
    EXPECT_EQ(f.f.crl, 1);
    EXPECT_EQ(VPL_Find_FilterNode(f.f.subjects, (subject + "x").c_str()), -1);
    EXPECT_EQ(VPL_Find_FilterNode(f.f.serials, (std::string(3000, 'a') + "BC").c_str()), 0);
    EXPECT_EQ(VPL_Find_FilterNode(f.f.serials, std::string(2999, 'A').c_str()), -1);
    EXPECT_EQ(VPL_FilterData_Parsing(nullptr, "a", 1), 1052011);
    // Only len bytes are read.
    Filter g;
    EXPECT_EQ(VPL_FilterData_Parsing(&g.f, "expire=1&oid=x", 8), 0);
    EXPECT_EQ(g.f.expire, 1);
    EXPECT_EQ(g.f.oids, nullptr);

    // The token is not written to; the value gets its "|".
    const char token[] = "serial=AB";
    char* value = nullptr;
    int valueLen = 0;
    EXPECT_EQ(VPL_FilterType(token, &value, &valueLen), 4);
    EXPECT_STREQ(token, "serial=AB");
    EXPECT_STREQ(value, "AB|");
    VPL_Free(value, valueLen);
    EXPECT_EQ(VPL_FilterType("crl=1", &value, &valueLen), 6);
    EXPECT_STREQ(value, "1");
    VPL_Free(value, valueLen);
    EXPECT_EQ(VPL_FilterType("colour=1", &value, &valueLen), -1);
    EXPECT_EQ(value, nullptr);

    char* head = nullptr;
    char* rest = nullptr;
    ASSERT_EQ(VPL_strParsing("a|b|c", "|", &head, &rest), 0);
    EXPECT_STREQ(head, "a");
    EXPECT_STREQ(rest, "b|c");
    VPL_Free(head, 1);
    VPL_Free(rest, 3);
    ASSERT_EQ(VPL_strParsing("abc", "|", &head, &rest), 0);
    EXPECT_STREQ(head, "abc");
    EXPECT_STREQ(rest, "");
    VPL_Free(head, 3);
    VPL_Free(rest, 0);
    EXPECT_EQ(VPL_strParsing(nullptr, "|", &head, &rest), -1);

    FilterNode* list = VPL_Init_FilterNode(nullptr);
    ASSERT_EQ(VPL_Insert_FilterNode(list, "yessignca"), 0);
    EXPECT_EQ(VPL_Find_FilterNode(list, "yessignCA Class 2"), 0);
    EXPECT_EQ(VPL_Find_FilterNode(list, "yessign"), -1);
    EXPECT_EQ(VPL_Find_FilterNode(nullptr, "x"), -1);
    EXPECT_EQ(VPL_Insert_FilterNode(list, nullptr), -1);
    VPL_Delete_ALL_FilterNode(list);
    EXPECT_EQ(VPL_Find_FilterNode(list, "yessignCA"), -1);
    std::free(list);
}

TEST_F(StoreRecords, HidingSetsTheFlagOnly) {
    CertInfoList* list = VPL_InitList(nullptr);
    for (const char* file : {"user-sign.der", "ca-public.der", "gov-class2.der", "private-sign.der"}) {
        zstore::CertRecord rec;
        const std::string bytes = cert(file);
        ASSERT_EQ(zstore::makeRecord(bytes.data(), len(bytes), rec, nullptr), 0) << file;
        ASSERT_EQ(zstore::append(list, std::move(rec)), 0);
    }
    Filter f;
    ASSERT_EQ(f.parse("oid=1.2.410.100001.2|9&subject=%b1%e8"), 0);  // 김: the government user
    VPL_FilterInfo_Check(&f.f, list);
    EXPECT_EQ(VPL_GetListCount(list, 1), 1);
    // A second filter never shows again what the first hid.
    Filter all;
    ASSERT_EQ(all.parse("oid="), 0);
    VPL_FilterInfo_Check(&all.f, list);
    EXPECT_EQ(VPL_GetListCount(list, 1), 1);
    VPL_FilterInfo_Check(nullptr, list);
    VPL_FilterInfo_Check(&f.f, nullptr);
    VPL_DeleteAllList(list);
    std::free(list);
}

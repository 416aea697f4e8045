// The two name tables of the listings: certificate-type names by policy
// OID, display names of issuing CAs by issuer CN. Written in UTF-8 and
// converted once to EUC-KR, the form of every text of a record (the issuer
// CNs compared are EUC-KR too, so the Hangul key is converted as well).
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certlist.h>
#include <zunCore/korean.h>

#include "list/list_internal.hpp"

namespace {

struct TypeRow {
    const char* oid;
    const char* name;
    char family;  // 0 for the government's prefix rows
};

// Exact rows (letters without case) by CA family, then the government's
// rows, which match every OID they begin.
constexpr TypeRow kTypeRows[] = {
    {"1.2.410.200005.1.1.1", "범용(개인)", 'a'},
    {"1.2.410.200005.1.1.5", "범용(기업)", 'a'},
    {"1.2.410.200005.1.1.4", "은행/신용카드/보험(개인)", 'a'},
    {"1.2.410.200005.1.1.2", "은행/신용카드/보험(법인)", 'a'},
    {"1.2.410.200005.1.1.6.2", "신용카드용", 'a'},
    {"1.2.410.200005.1.1.6.8", "전자세금용", 'a'},
    {"1.2.410.200005.1.1.6.1", "기업뱅킹", 'a'},
    {"1.2.410.200005.1.1.12.902", "공인인증서", 'a'},
    {"1.2.410.200012.1.1.1", "범용(개인)", 'b'},
    {"1.2.410.200012.1.1.3", "범용(법인)", 'b'},
    {"1.2.410.200012.1.1.101", "은행/보험용", 'b'},
    {"1.2.410.200012.1.1.105", "신용카드용", 'b'},
    {"1.2.410.200012.5.19.1.1", "전자세금용", 'b'},
    {"1.2.410.200004.5.1.1.5", "범용(개인)", 'c'},
    {"1.2.410.200004.5.1.1.7", "범용(법인)", 'c'},
    {"1.2.410.200004.5.1.1.9", "증권/보험(개인)", 'c'},
    {"1.2.410.200004.5.1.1.9.1", "은행/보험용(개인)", 'c'},
    {"1.2.410.200004.5.1.1.9.2", "신용카드용(개인)", 'c'},
    {"1.2.410.200004.5.1.1.10", "증권/보험용(개인)", 'c'},
    {"1.2.410.200004.5.1.1.10.1", "은행/보험용(법인)", 'c'},
    {"1.2.410.200004.5.1.1.10.2", "신용카드용(법인)", 'c'},
    {"1.2.410.200004.5.2.1.2", "1등급 개인", 'd'},
    {"1.2.410.200004.5.2.1.1", "1등급 법인", 'd'},
    {"1.2.410.200004.5.2.1.7.1", "은행/신용카드용/보험용", 'd'},
    {"1.2.410.200004.5.2.1.7.3", "신용카드용", 'd'},
    {"1.2.410.200004.5.4.1.1", "범용(개인)", 'e'},
    {"1.2.410.200004.5.4.1.2", "범용(법인)", 'e'},
    {"1.2.410.200004.5.4.1.101", "은행/보험용", 'e'},
    {"1.2.410.200004.5.4.1.103", "신용카드용", 'e'},
    {"1.2.410.200004.5.4.2.80", "전자세금용", 'e'},
    {"1.2.410.200004.5.5.1.1", "범용(개인)", 'f'},
    {"1.2.410.200004.5.5.1.2", "범용(기업)", 'f'},
    {"1.2.410.200004.5.5.1.3.1", "제휴기관용(개인)", 'f'},
    {"1.2.410.200004.5.5.1.4.1", "제휴기관용(기업)", 'f'},
    {"1.2.410.200004.5.5.1.4.2", "전자세금용(기업)", 'f'},
    {"1.2.410.200004.5.5.1.4.4", "이용기관용", 'f'},
    {"1.2.410.200004.5.5.1.4.5", "특수목적용(기업)", 'f'},
    {"1.2.410.200004.5.3.1.1", "기관", 'g'},
    {"1.2.410.200004.5.3.1.2", "법인", 'g'},
    {"1.2.410.200004.5.3.1.9", "개인", 'g'},
    {"1.2.410.100001.2.2.1", "공무원 전자서명(개인)", 0},
    {"1.2.410.100001.2.2.2", "공공/민간 전자서명(개인)", 0},
    {"1.2.410.100001.2.1.1", "전자관인(기관)", 0},
    {"1.2.410.100001.2.1.2", "서버용(컴퓨터)", 0},
    {"1.2.410.100001.2.1.3", "특수목적용(업무)", 0},
    {"1.2.410.100001.2.1.4", "공공/민간 전자관인", 0},
    {"1.2.410.100001.2.1.5", "공공/민간 컴퓨터용", 0},
    {"1.2.410.100001.2.1.6", "공공/민간 특수목적용", 0},
    {"1.2.410.100001.5.3.1.1", "전자관인", 0},
    {"1.2.410.100001.5.3.1.3", "개인용", 0},
    {"1.2.410.100001.5.3.1.5", "특수목적용", 0},
    {"1.2.410.100001.5.3.1.7", "컴퓨터용", 0},
    {"1.2.410.100001.5.3.1.9", "SSL용", 0},
};
constexpr const char* kLicensedDefault = "공인인증서";
constexpr const char* kGeneralDefault = "일반인증서";
constexpr std::string_view kGovernmentArc = "1.2.410.100001";

struct IssuerRow {
    const char* cn;
    const char* name;
};

constexpr IssuerRow kIssuerRows[] = {
    {"yessignCA", "금융결제원"},
    {"yessignCA Class 1", "금융결제원"},
    {"yessignCA Class 2", "금융결제원"},
    {"signGATE CA", "한국정보인증"},
    {"signGATE CA2", "한국정보인증"},
    {"signGATE CA4", "한국정보인증"},
    {"SignKorea CA", "코스콤(증권전산)"},
    {"SignKorea CA2", "코스콤(증권전산)"},
    {"CrossCertCA", "한국전자인증"},
    {"CrossCertCA2", "한국전자인증"},
    {"CrossCert Certificate Authority", "한국전자인증"},
    {"TradeSignCA", "한국무역정보통신"},
    {"TradeSignCA2", "한국무역정보통신"},
    {"NCASign CA", "한국전산원"},
    {"NCASignCA", "한국전산원"},
    {"CertRSA01", "한국정보보호진흥원"},
    {"KISA RootCA 1", "한국정보보호진흥원"},
    {"KISA RootCA 4", "한국정보보호진흥원"},
    {"yessignCA-TEST", "금융결제원 TEST"},
    {"yessignCA-Test Class 0", "금융결제원 TEST"},
    {"yessignCA-Test Class 1", "금융결제원 TEST"},
    {"yessignCA-Test Class 2", "금융결제원 TEST"},
    {"yessignCA-Test Class 3", "금융결제원 TEST"},
    {"SignGateFTCA", "SignGateFTCA"},
    {"signGATE FTCA02", "SignGateFTCA"},
    {"signGATE FTCA04", "SignGateFTCA"},
    {"SignKorea Test CA", "코스콤TEST"},
    {"SignKorea Test CA2", "코스콤TEST"},
    {"SignKorea Test CA3", "코스콤TEST"},
    {"CrossCertCA-Test2", "한국전자인증 TEST"},
    {"3280TestCAServer", "한국전자인증 TEST"},
    {"CrossCertTestCA3", "한국전자인증 TEST"},
    {"TradeSignCA2011Test2", "한국무역정보통신 TEST"},
    {"TestCertRSA", "한국정보보호진흥원 TEST"},
    {"KISA Test RootCA 4", "한국정보보호진흥원 TEST"},
    {"KISA Test RootCA 5", "한국정보보호진흥원 TEST"},
    {"KISA Test RootCA 6", "한국정보보호진흥원 TEST"},
    {"KISA Test RootCA 7", "한국정보보호진흥원 TEST"},
    {"ZunCA-Demo", "베리단 데모 CA"},
    {"Korea First Bank", "제일은행"},
    {"공시운영과", "FSS DART"},
    {"Root CA", "행정안전부"},
    {"GPKIRootCA1", "행정안전부"},
    {"GPKI RootCA 1T", "행정안전부"},
    {"CA128000001", "대검찰청(기관)"},
    {"CA128000002", "대검찰청(개인)"},
    {"CA128000031", "대검찰청"},
    {"CA128000032", "대검찰청"},
    {"CA974000001", "대법원"},
    {"CA974000002", "대법원"},
    {"CA974000031", "대법원"},
    {"CA131000001", "행정자치부(기관)"},
    {"CA131000002", "행정자치부(개인)"},
    {"CA131100001", "행정자치부"},
    {"CA131100002", "행정자치부"},
    {"CA131000031T", "행정자치부"},
    {"CA134040001", "교육과학기술부"},
    {"CA134100031", "교육과학기술부"},
    {"CA130000002", "병무청"},
    {"CA130000031", "병무청"},
    {"Korail-CA", "한국철도공사"},
    {"ZUNPASS CA", "베리단"},
    {"ZUNPASS TEST CA", "베리단 TEST"},
    {"ZUNPASS TEST TSA", "베리단 TEST"},
    {"ZUNPASS TEST OCSP", "베리단 TEST"},
};

// Government CAs not in the table, by the first nine characters of the CN.
constexpr IssuerRow kIssuerPrefixes[] = {
    {"CA1280000", "대검찰청"},           {"KOR_CA9740000", "대법원"}, {"KOR_CA1310000", "행정자치부"},
    {"KOR_CA1340400", "교육과학기술부"}, {"KOR_CA1300000", "병무청"},
};
constexpr size_t kIssuerPrefixLength = 9;

std::string toEucKr(const char* utf8) {
    zstore::MallocPtr<char> euc(VCL_ConvertUTF8ToEUCKR(utf8));
    return euc ? std::string(euc.get()) : std::string(utf8);
}

struct Converted {
    std::string key, name;
    char family = 0;
};

struct Tables {
    std::vector<Converted> types, issuers, issuerPrefixes;
    std::string licensedDefault, generalDefault;
    Tables() {
        for (const TypeRow& r : kTypeRows) types.push_back({r.oid, toEucKr(r.name), r.family});
        for (const IssuerRow& r : kIssuerRows) issuers.push_back({toEucKr(r.cn), toEucKr(r.name)});
        for (const IssuerRow& r : kIssuerPrefixes)
            issuerPrefixes.push_back({std::string(r.cn, kIssuerPrefixLength), toEucKr(r.name)});
        licensedDefault = toEucKr(kLicensedDefault);
        generalDefault = toEucKr(kGeneralDefault);
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// The n-th character (from 1) of an OID text; 0 past its end.
char at(std::string_view oid, size_t n) { return n <= oid.size() ? oid[n - 1] : '\0'; }

}  // namespace

namespace zstore {

bool certTypeName(std::string_view oid, std::string& name, std::string& code) {
    name.clear();
    code.clear();
    const Tables& t = tables();
    int row = 0;
    char family = 0;
    for (const Converted& r : t.types) {
        row = r.family == family ? row + 1 : 1;
        family = r.family;
        if (r.family && equalNoCase(oid, r.key)) {
            name = r.name;
            code = std::string(1, r.family) + std::to_string(row);
            return true;
        }
    }
    // Unlisted OIDs by their family: the licensed CAs' arcs 200005 and
    // 200012 by the 14th character, the 200004 CAs by the 18th.
    const char arc = at(oid, 14);
    if (arc == '5') {
        name = t.licensedDefault;
    } else if (arc == '2') {
        name = t.generalDefault;
    } else {
        if (at(oid, 18) != '5') name = t.generalDefault;
        if (startsWithNoCase(oid, kGovernmentArc)) {
            name = t.generalDefault;
            for (const Converted& r : t.types)
                if (!r.family && startsWithNoCase(oid, r.key)) {
                    name = r.name;
                    break;
                }
        }
    }
    return !name.empty();
}

std::string issuerDisplayName(std::string_view issuerCN) {
    const Tables& t = tables();
    for (const Converted& r : t.issuers)
        if (equalNoCase(issuerCN, r.key)) {
            ZSTORE_LOG(VCL_LOG_DEBUG, "VRL_MatchCA() : cert %s = [%s]", std::string(issuerCN).c_str(), r.name.c_str());
            return r.name;
        }
    if (issuerCN.size() >= kIssuerPrefixLength)
        for (const Converted& r : t.issuerPrefixes)
            if (equalNoCase(issuerCN.substr(0, kIssuerPrefixLength), r.key)) return r.name;
    return std::string(issuerCN);
}

}  // namespace zstore

namespace {

// Copies a whole text into a field of VPL_CERTINFO_TEXT bytes.
bool fitInto(std::string_view text, char* out) {
    if (text.size() >= VPL_CERTINFO_TEXT) return false;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
}

}  // namespace

extern "C" {

VPL_API int VPL_ConvertIssuerCN(const char* issuerCN, char* displayName) {
    if (!issuerCN || !displayName) return zstore::fail("VPL_ConvertIssuerCN", VPL_ERR_INVALID_PARAM);
    displayName[0] = '\0';
    if (!fitInto(zstore::issuerDisplayName(issuerCN), displayName))
        return zstore::fail("VPL_ConvertIssuerCN", VPL_ERR_OVERFLOW);
    return 0;
}

VPL_API int VPL_GetCertType(const char* oid, char code[4], char* typeName) {
    if (code) code[0] = '\0';
    if (typeName) typeName[0] = '\0';
    std::string name, rowCode;
    if (!oid || !typeName || !zstore::certTypeName(oid, name, rowCode)) {
        ZSTORE_LOG(VCL_LOG_DEBUG, "GetCertTypeString() : GetCertType fail \n");
        return 1;
    }
    // Names of the table are short: they always fit.
    fitInto(name, typeName);
    if (code) std::memcpy(code, rowCode.c_str(), rowCode.size() + 1);
    return 0;
}

VPL_API int VPL_GetCertTypeString(const char* oid, char* typeName) { return VPL_GetCertType(oid, nullptr, typeName); }

}  // extern "C"

// The data of the job's UI: certificate rows with their English names, and
// the chosen certificate.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "job/Job.h"
#include "ui/MainUI.h"

namespace {

struct NamePair {
    const char* korean;  // UTF-8 here; rows are compared in the store's encoding
    const char* english;
};

const NamePair kIssuerNames[] = {
    {"금융결제원", "Yessign"},
    {"한국정보인증", "SignGate"},
    {"코스콤(증권전산)", "SignKorea"},
    {"한국전산원", "NCASign"},
    {"한국전자인증", "CrossCert"},
    {"한국정보보호진흥원", "CertRSA"},
    {"한국무역정보통신", "TradeSign"},
    {"SC은행인증기관", "SC KFB"},
    {"금결원TEST", "Yessign TEST"},
    {"금융결제원 TEST", "Yessign TEST"},
    {"베리단 데모CA", "Veridan DemoCA"},
    {"한국전자인증 TEST", "CrossCertCA-Test2"},
    {"코스콤 TEST", "SignKorea TEST"},
    {"한국정보보호진흥원 TEST", "CertRSA TEST"},
    {"행정자치부", "MOGAHA / GPKI"},
    {"대검찰청", "SUPREME PROSECUTORS'OFFICE"},
    {"대법원", "SUPREME COURT OF KOREA"},
    {"행정안전부", "MOPAS"},
    {"교육과학기술부", "MEST"},
    {"병무청", "MMA"},
    {"베리단", "Veridan"},
    {"베리단 TEST", "Veridan TEST"},
};

const NamePair kPolicyNames[] = {
    {"은행/신용카드/보험(법인)", "Banking/CreditCard(Corporation)"},
    {"은행/신용카드/보험(개인)", "Banking/CreditCard(Individual)"},
    {"은행/신용카드용/보험용", "Banking/CreditCard"},
    {"범용(개인)", "Public(Individual)"},
    {"범용(기업)", "Public(Enterprise)"},
    {"공인인증서", "Public"},
    {"은행/보험(개인)", "Banking(Individual)"},
    {"은행/보험(기업)", "Banking(Enterprise)"},
    {"신용카드용", "CreditCard"},
    {"전자세금용", "E-Tax"},
    {"범용(법인)", "Public(Corporation)"},
    {"일반인증서", "Public"},
    {"은행/보험용", "Banking"},
    {"1등급(개인)", "1Class(Individual)"},
    {"1등급(법인)", "1Class(Corporation)"},
    {"기관", "Agency"},
    {"법인", "Corporation"},
    {"개인", "Individual"},
    {"공무원 전자서명(개인용)", "Personal"},
    {"공공/민간 전자서명(개인용)", "Public Personal"},
    {"전자관인(기관용)", "Department"},
    {"서버용(컴퓨터용)", "Computer"},
    {"특수목적용(업무용)", "Special"},
    {"공공/민간 전자관인", "Public Department"},
    {"공공/민간 컴퓨터용", "Public Computer"},
    {"공공/민간 특수목적용", "Public Special"},
    {"전자관인", "CA"},
    {"개인용", "Personal"},
    {"특수목적용", "Special"},
    {"컴퓨터용", "Computer"},
    {"SSL용", "SSL"},
    {"제휴기관용(개인)", "Alliance(Individual)"},
    {"제휴기관용(기업)", "Alliance(Corporation)"},
    {"전자세금용(기업)", "E-Tax(Corporation)"},
    {"이용기관용", "User institution"},
    {"특수목적용(기업)", "Special purpose(Corporation)"},
};
static_assert(std::size(kIssuerNames) == 22);
static_assert(std::size(kPolicyNames) == 36);

// A table's Korean names in the store's encoding, converted once.
struct EncodedNames {
    std::vector<std::pair<std::string, const char*>> rows;
    explicit EncodedNames(const NamePair* table, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            gsize len = 0;
            gchar* text = g_convert(table[i].korean, -1, "CP949", "UTF-8", nullptr, &len, nullptr);
            if (text) rows.emplace_back(std::string(text, len), table[i].english);
            g_free(text);
        }
    }
    const char* find(std::string_view text) const {
        for (const auto& [korean, english] : rows)
            if (korean == text) return english;
        return nullptr;
    }
};

const EncodedNames& issuerNames() {
    static const EncodedNames names(kIssuerNames, std::size(kIssuerNames));
    return names;
}

const EncodedNames& policyNames() {
    static const EncodedNames names(kPolicyNames, std::size(kPolicyNames));
    return names;
}

std::string englishOr(const EncodedNames& names, const char* text) {
    const char* english = names.find(text ? text : "");
    return english ? english : (text ? text : "");
}

// Copies text into a field whose room (its zero included) it must fit.
bool fits(const std::string& text, size_t room) { return text.size() < room; }

void copyText(char* field, size_t room, std::string text) {
    CutText(text, room - 1);
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
}

int decimal(const std::string& text) {
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return errno == 0 && v >= INT_MIN && v <= INT_MAX ? static_cast<int>(v) : 0;
}

}  // namespace

CQuilletUIDatas::~CQuilletUIDatas() { explicit_bzero(&m_selectedCertValues, sizeof m_selectedCertValues); }

int CQuilletUIDatas::AddCertLists(CertLists row, int listNo) {
    std::vector<CertLists>& list = listNo == 1 ? m_rootCACertLists : m_certLists;
    const int id = list.empty() ? 0 : decimal(list.back().id) + 1;
    row.id = std::to_string(id);
    list.push_back(std::move(row));
    return id;
}

int CQuilletUIDatas::AddCertLists(const char* subject, const char* issuer, const char* oidtype, const char* expiredata,
                                  const char* certpath, const char* keypath, const char* expireflag,
                                  const char* certtype, int listNo) {
    auto s = [](const char* t) { return std::string(t ? t : ""); };
    CertLists row{"",
                  s(subject),
                  g_swLanguage_Eng ? englishOr(issuerNames(), issuer) : s(issuer),
                  g_swLanguage_Eng ? englishOr(policyNames(), oidtype) : s(oidtype),
                  s(expiredata),
                  s(certpath),
                  s(keypath),
                  s(expireflag),
                  s(certtype)};
    return AddCertLists(std::move(row), listNo);
}

void CQuilletUIDatas::ClearCertLists(int listNo) {
    if (listNo == 0) m_certLists.clear();
    if (listNo == 1) m_rootCACertLists.clear();
}

int CQuilletUIDatas::SetSelectedCertValues(GtkTreeView* view) {
    if (!view) return -1;
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter)) return -1;
    gchar* id = nullptr;
    gtk_tree_model_get(model, &iter, 0, &id, -1);
    const std::string selected = id ? id : "";
    g_free(id);
    JOBLOG("selected row(selected_id) is : %s\n", selected.c_str());
    const CertLists* row = nullptr;
    for (const CertLists& r : m_certLists)
        if (r.id == selected) {
            row = &r;
            break;
        }
    // A path that does not fit would name another file.
    if (!row || !fits(row->certpath, sizeof m_selectedCertValues.certpath) ||
        !fits(row->keypath, sizeof m_selectedCertValues.keypath))
        return -1;
    SelectedCertValues& v = m_selectedCertValues;
    explicit_bzero(&v, sizeof v);
    copyText(v.subject, sizeof v.subject, row->subject);
    copyText(v.issuer, sizeof v.issuer, row->issuer);
    copyText(v.oidtype, sizeof v.oidtype, row->oidtype);
    copyText(v.expiredata, sizeof v.expiredata, row->expiredata);
    copyText(v.certpath, sizeof v.certpath, row->certpath);
    copyText(v.keypath, sizeof v.keypath, row->keypath);
    v.expireflag = decimal(row->expireflag);
    v.certtype = decimal(row->certtype);
    return 0;
}

// Parsers of the start parameter, the getFunc answer and the relay's error
// answers. Keys are found by name at the start of a text or after "&", never
// by position, and no field is cut that the job reads.
#include "job/ParsingFunc.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

using P = StructPolicyList;

// The policy keys, in the relay's order, with their widths and use.
#define TEXT_KEY(name, width, use) \
    { #name, &P::name, nullptr, width, PolicyUse::use }
#define INT_KEY(name) \
    { #name, nullptr, &P::name, 0, PolicyUse::Read }
const PolicyKey kPolicyKeys[] = {
    TEXT_KEY(CertStorageListMode, 100, Stored),
    TEXT_KEY(CACerts, 100000, Read),
    TEXT_KEY(ScreenKeyboardCheckMode, 100, Read),
    TEXT_KEY(CertUpdateDDay, 100, Stored),
    TEXT_KEY(Mode, 1024, Read),
    TEXT_KEY(CertStorage, 1024, Stored),
    TEXT_KEY(ViewValidCert, 1024, Read),
    INT_KEY(DisableExpiredCert),
    TEXT_KEY(KeyboardSecureProvider, 100, Stored),
    TEXT_KEY(ScreenKeyboardProvider, 100, Read),
    TEXT_KEY(CertInitMode, 100, Stored),
    TEXT_KEY(ScreenKeyboardProviderOption, 1024, Read),
    TEXT_KEY(CertUpdateAlert, 100, Stored),
    TEXT_KEY(CertUILanguage, 1024, Read),
    TEXT_KEY(CertUpdateURL, 1024, Stored),
    TEXT_KEY(TitleLogoPathPC, 4096, Read),
    TEXT_KEY(Nonce, 1024, Secret),
    TEXT_KEY(SignatureMode, 100, Read),
    TEXT_KEY(SelectCertUIMode, 100, Read),
    TEXT_KEY(CertSerialNumber, 100, Read),
    TEXT_KEY(SignatureAlert, 100, Stored),
    TEXT_KEY(SignatureAlertTitle, 100, Read),
    TEXT_KEY(CertIssuerDN, 1024, Read),
    TEXT_KEY(CertSubjectDN, 1024, Stored),
    TEXT_KEY(SignaturePlainTextEncoding, 100, Read),
    TEXT_KEY(ServerTime, 100, Read),
    TEXT_KEY(CMPServerAddr, 100, Read),
    TEXT_KEY(CAName, 1024, Read),
    TEXT_KEY(CMPServerPort, 100, Read),
    TEXT_KEY(IssueRefID, 1024, Read),
    TEXT_KEY(IssuePassword, 1024, Secret),
    TEXT_KEY(Package, 1024, Read),
    TEXT_KEY(CapslockAlert, 1024, Stored),
    TEXT_KEY(process, 1024, Stored),
    TEXT_KEY(DeleteAlert, 1024, Stored),
    TEXT_KEY(DeleteCertSerialNumber, 4096, Read),
    TEXT_KEY(PKCS10CertDN, 2048, Read),
    TEXT_KEY(PKCS10Cert, 4096, Read),
    INT_KEY(CertBit),
    TEXT_KEY(Action, 2048, Read),
    TEXT_KEY(ParamString, 2048, Read),
    TEXT_KEY(TitleLogoMessage, 1024, Stored),
    TEXT_KEY(CertImportInfoURL, 4096, Stored),
    TEXT_KEY(RoamingURL, 4096, Read),
    TEXT_KEY(AuthenticationNumber, 1024, Read),
    TEXT_KEY(ProtocolVersion, 1024, Read),
    TEXT_KEY(CertExportTime, 1024, Stored),
    TEXT_KEY(CertExportInfoURL, 4096, Stored),
    TEXT_KEY(YessignCertPasswordPolicy, 100, Read),
    TEXT_KEY(CertPasswordPolicy, 1024, Read),
    TEXT_KEY(YessignPwdUIType, 100, Read),
    TEXT_KEY(PPKI, 100, Read),
    TEXT_KEY(ShowAlertBanner, 100, Read),
    TEXT_KEY(AlertBannerURL, 4096, Read),
};
#undef TEXT_KEY
#undef INT_KEY
static_assert(std::size(kPolicyKeys) == 54);

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

void appendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool readHex4(std::string_view in, size_t at, unsigned& value) {
    if (at + 4 > in.size()) return false;
    value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int h = hexValue(in[i]);
        if (h < 0) return false;
        value = value << 4 | static_cast<unsigned>(h);
    }
    return true;
}

// Where each of keys begins in text (at the start or after "&"), in text
// order: the value of a key runs to the "&" before the next one.
struct KeyHit {
    size_t key;    // index into keys
    size_t value;  // where its value begins
    size_t end;    // where its value ends
};
std::vector<KeyHit> findKeys(std::string_view text, const std::string_view* keys, size_t keyCount) {
    std::vector<KeyHit> hits;
    for (size_t at = 0; at <= text.size();) {
        for (size_t k = 0; k < keyCount; ++k) {
            if (startsWithNoCase(text.substr(at), keys[k])) {
                if (!hits.empty()) hits.back().end = at - 1;
                hits.push_back({k, at + keys[k].size(), text.size()});
                break;
            }
        }
        const size_t amp = text.find('&', at);
        if (amp == std::string_view::npos) break;
        at = amp + 1;
    }
    return hits;
}

void note(ParseNotes& notes, const char* tag, std::string text) { notes.push_back({tag, std::move(text)}); }

// Stores one policy value by its key's rule: false when a read value is
// over its width.
bool storeValue(const PolicyKey& key, std::string value, StructPolicyList& policy, ParseNotes& notes) {
    if (key.number) {
        int n = 0;
        if (!DecimalInt(value, n)) {
            note(notes, "[ERR]", std::string("pars_ServerRetValue(), ") + key.name + " out of range.");
            return false;
        }
        policy.*key.number = n;
        note(notes, "[NOT]",
             std::string("main, pars_ServerRetValue(), strPolicyList->") + key.name + " = " + std::to_string(n));
        return true;
    }
    std::string& field = policy.*key.text;
    if (value.size() >= key.width) {
        if (key.use != PolicyUse::Stored) {
            note(notes, "[ERR]",
                 std::string("pars_ServerRetValue(), strPolicyList->") + key.name + " longer than its field.");
            return false;
        }
        note(notes, "[WAR]",
             std::string("pars_ServerRetValue(), strPolicyList->") + key.name + " cut to " +
                 std::to_string(key.width - 1) + " bytes.");
        value.resize(key.width - 1);
    }
    field = std::move(value);
    std::string shown = key.use == PolicyUse::Secret || key.width >= 100000
                            ? std::string(" Len = ") + std::to_string(field.size())
                            : std::string(" = ") + field;
    note(notes, "[NOT]", std::string("main, pars_ServerRetValue(), strPolicyList->") + key.name + shown);
    return true;
}

const PolicyKey* policyKey(std::string_view name) {
    for (const PolicyKey& k : kPolicyKeys)
        if (name == k.name) return &k;
    return nullptr;
}

// The sign parameters after "paramCount=": "<n>&param1=S<data>[&param2=S<title>]"
// or, for msign, "3&param1=S<data>&param2=N<n>&param3=S<title>".
bool parseSignParams(std::string_view func, std::string_view rest, SignParams& sign, ParseNotes& notes) {
    const size_t amp = rest.find('&');
    if (amp == std::string_view::npos) {
        note(notes, "[ERR]", "pars_ServerRetValue(), strchr(retValue+= match[1][2],'&') , ParamCount Parsing.FAILED.");
        return false;
    }
    int count = 0;
    if (!DecimalInt(rest.substr(0, amp), count) || count <= 0) {
        note(notes, "[ERR]", "pars_ServerRetValue(), ParamCount Parsing.FAILED.");
        return false;
    }
    note(notes, "[NOT]", "main, pars_ServerRetValue(), paramCount =" + std::to_string(count));
    const int most = func == "sign" ? 2 : 3;
    if (count > most) {
        note(notes, "[ERR]", "pars_ServerRetValue(), ParamCount > " + std::to_string(most) + ",  FAILED.");
        return false;
    }
    const size_t eq = rest.find('=', amp);
    if (eq == std::string_view::npos) {
        note(notes, "[ERR]", "pars_ServerRetValue(), param1 Parsing.FAILED.");
        return false;
    }
    const std::string_view raw = rest.substr(eq + 1);
    // Data and title are split at their markers before decoding, so data
    // whose own text holds a marker stays whole; a body that encodes the
    // markers too is split after decoding.
    const char* dataEnd = count == 2 ? "&param2=S" : "&param2=N";
    const char* titleAt = count == 2 ? "&param2=S" : "&param3=S";
    std::string data, title;
    if (count == 1) {
        data = URLDecodeText(raw);
    } else {
        const std::string decodedAll = URLDecodeText(raw);
        std::string_view source = raw;
        size_t cut = raw.find(dataEnd), titlePos = raw.find(titleAt);
        bool decoded = false;
        if (cut == std::string_view::npos || titlePos == std::string_view::npos) {
            source = decodedAll;
            cut = source.find(dataEnd);
            titlePos = source.find(titleAt);
            decoded = true;
        }
        if (cut == std::string_view::npos || titlePos == std::string_view::npos || titlePos < cut) {
            note(notes, "[ERR]", "pars_ServerRetValue(), param markers not found.");
            return false;
        }
        const std::string_view dataPart = source.substr(0, cut);
        const std::string_view titlePart = source.substr(titlePos + std::strlen(titleAt));
        data = decoded ? std::string(dataPart) : URLDecodeText(dataPart);
        title = decoded ? std::string(titlePart) : URLDecodeText(titlePart);
    }
    if (data.empty()) {
        note(notes, "[ERR]", "pars_ServerRetValue(), param1 has no type.");
        return false;
    }
    sign.paramCount = count;
    sign.data = data.substr(1);  // the type letter ("S" text, "N" number) goes
    sign.title = std::move(title);
    note(notes, "[NOT]", "main, pars_ServerRetValue(), g_param1 Len = " + std::to_string(sign.data.size()));
    return true;
}

}  // namespace

const PolicyKey* PolicyKeys(size_t& count) {
    count = std::size(kPolicyKeys);
    return kPolicyKeys;
}

bool DecimalInt(std::string_view text, int& value) {
    std::string copy(text);  // strtol needs a terminated text
    errno = 0;
    const long long n = std::strtoll(copy.c_str(), nullptr, 10);
    if (errno == ERANGE || n < INT_MIN || n > INT_MAX) return false;
    value = static_cast<int>(n);
    return true;
}

bool JsonUnescape(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
            case '"':
            case '\\':
            case '/':
                out += in[i];
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned cp = 0;
                if (!readHex4(in, i + 1, cp)) return false;
                i += 4;
                if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned low = 0;
                    if (i + 2 >= in.size() || in[i + 1] != '\\' || in[i + 2] != 'u' || !readHex4(in, i + 3, low) ||
                        low < 0xDC00 || low > 0xDFFF)
                        return false;
                    i += 6;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                if (cp == 0) return false;
                appendUtf8(out, cp);
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

std::string URLDecodeText(std::string_view in) {
    // Decoding never lengthens a text: one pass into room of its size.
    std::string out(in.size(), '\0');
    char* o = out.data();
    const char* p = in.data();
    const char* const end = p + in.size();
    while (p < end) {
        const char c = *p;
        if (c == '+') {
            *o++ = ' ';
            ++p;
        } else if (c == '%' && end - p > 2) {
            const int hi = hexValue(p[1]), lo = hexValue(p[2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = static_cast<char>(hi << 4 | lo);
                p += 3;
            } else {
                *o++ = *p++;
            }
        } else {
            *o++ = *p++;
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

std::string URLEncodeText(std::string_view in) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(in.size() * 3);
    for (const char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' || c == '.' ||
            c == '/' || c == '_' || c == '-') {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

int ParseStartParameter(std::string_view text, StructURLValues& out, ParseNotes& notes) {
    static constexpr std::string_view keys[] = {
        "SESSION=", "reqID=", "policyName=", "url=", "wv=", "macVersion=", "linuxVersion="};
    std::string StructURLValues::*const fields[] = {
        &StructURLValues::SESSION, &StructURLValues::reqID,      &StructURLValues::policyName,  &StructURLValues::url,
        &StructURLValues::wv,      &StructURLValues::macVersion, &StructURLValues::linuxVersion};
    const bool decoded[] = {true, false, false, true, false, false, true};
    const size_t widths[] = {kSessionWidth, kShortWidth, kShortWidth, kUrlWidth, kShortWidth, kShortWidth, kShortWidth};

    out = StructURLValues{};
    const auto hits = findKeys(text, keys, std::size(keys));
    if (hits.empty()) {
        note(notes, "[ERR]", "not match..");
        return -1;
    }
    bool seen[std::size(keys)] = {};
    bool ok = true;
    for (const KeyHit& h : hits) {
        if (seen[h.key]) continue;
        seen[h.key] = true;
        const std::string_view name = keys[h.key].substr(0, keys[h.key].size() - 1);
        std::string value;
        if (!JsonUnescape(text.substr(h.value, h.end - h.value), value)) {
            note(notes, "[ERR]", "main, pars_URL_Parameter(), broken escape in " + std::string(name));
            ok = false;
            continue;
        }
        if (decoded[h.key]) value = URLDecodeText(value);
        if (value.size() >= widths[h.key]) {
            note(notes, "[ERR]", "main, pars_URL_Parameter(), " + std::string(name) + " longer than its field.");
            ok = false;
            continue;
        }
        out.*fields[h.key] = std::move(value);
    }
    for (size_t required = 0; required < 4; ++required) {
        if (!seen[required]) {
            note(notes, "[ERR]", "main, pars_URL_Parameter(), no " + std::string(keys[required]));
            ok = false;
        }
    }
    return ok ? 0 : -1;
}

int ParseServerReply(std::string_view reply, std::string& funcName, StructPolicyList& policy, SignParams& sign,
                     ParseNotes& notes) {
    static constexpr std::string_view keys[] = {"funcName=", "PolicyList=", "paramCount="};
    funcName.clear();
    sign = SignParams{};
    const auto hits = findKeys(reply, keys, std::size(keys));
    if (hits.empty()) {
        note(notes, "[ERR]", "pars_ServerRetValue()\tregexec(), matchcnt <=0 FAILED.");
        return -1;
    }
    std::optional<std::string_view> values[3];
    for (const KeyHit& h : hits)
        if (!values[h.key]) values[h.key] = reply.substr(h.value, h.end - h.value);
    if (!values[0] || values[0]->empty() || values[0]->size() >= kFuncNameWidth) {
        note(notes, "[ERR]", "pars_ServerRetValue(), funcName missing or too long.");
        return -1;
    }
    funcName.assign(*values[0]);
    note(notes, "[NOT]", "main, pars_ServerRetValue(), funcName = " + funcName);
    if (funcName == "getVersion") return 0;

    if (!values[1]) {
        note(notes, "[ERR]", "pars_ServerRetValue(), no PolicyList.");
        return -1;
    }
    const std::string list = URLDecodeText(*values[1]);

    if (funcName == "sign" || funcName == "msign") {
        if (!values[2] || !parseSignParams(funcName, *values[2], sign, notes)) return -1;
    }

    // Every item before the last "&" is name=value; the last item counts
    // only as ServerTime.
    const size_t lastAmp = list.rfind('&');
    const std::string_view items =
        lastAmp == std::string::npos ? std::string_view() : std::string_view(list).substr(0, lastAmp);
    const std::string_view last =
        lastAmp == std::string::npos ? std::string_view(list) : std::string_view(list).substr(lastAmp + 1);
    size_t index = 0;
    for (size_t at = 0; lastAmp != std::string::npos && at <= items.size(); ++index) {
        size_t end = items.find('&', at);
        if (end == std::string_view::npos) end = items.size();
        const std::string_view item = items.substr(at, end - at);
        at = end + 1;
        note(notes, "[NOT]", "main, pars_ServerRetValue(), policyList " + std::to_string(index) + "th.");
        const size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            note(notes, "[ERR]", "pars_ServerRetValue(), strchr(temp_policyList,'=') FAILED.");
            return -1;
        }
        const std::string_view name = item.substr(0, eq);
        std::string value = URLDecodeText(item.substr(eq + 1));
        const PolicyKey* key = name == "ServerTime" ? nullptr : policyKey(name);
        if (!key) {
            note(notes, "[NOT]", "UNKNOWN Policy name " + std::string(name.substr(0, 99)));
            continue;
        }
        const bool title = key->text == &P::SignatureAlertTitle && sign.paramCount >= 2;
        if (!storeValue(*key, title ? sign.title : std::move(value), policy, notes)) return -1;
    }
    if (last.substr(0, 10) == "ServerTime") {
        const size_t eq = last.find('=');
        const std::string_view time = eq == std::string_view::npos ? std::string_view() : last.substr(eq + 1);
        const PolicyKey serverTime{"ServerTime", &P::ServerTime, nullptr, 100, PolicyUse::Read};
        if (!storeValue(serverTime, std::string(time), policy, notes)) return -1;
    }
    return 0;
}

bool ParseErrorAnswer(std::string_view body, int* code, std::string* message) {
    const size_t dollar = body.find('$');
    if (dollar == std::string_view::npos) return false;
    if (message) message->assign(body.substr(dollar + 1));
    if (code) {
        const size_t from = dollar >= 3 ? dollar - 3 : 0;
        int n = 0;
        *code = DecimalInt(body.substr(from, dollar - from), n) ? n : 0;
    }
    return true;
}

int CheckVersionText(std::string_view version, std::string_view required) {
    auto part = [](std::string_view text, size_t& at) {
        size_t end = text.find('.', at);
        if (end == std::string_view::npos) end = text.size();
        int n = 0;
        if (!DecimalInt(text.substr(at, end - at), n)) n = INT_MAX;
        at = end + 1;
        return n;
    };
    size_t a = 0, b = 0;
    while (a <= version.size() || b <= required.size()) {
        const int x = a <= version.size() ? part(version, a) : 0;
        const int y = b <= required.size() ? part(required, b) : 0;
        if (x != y) return x < y ? -1 : 0;
    }
    return 0;
}

int OSNameIsUbuntu(const std::optional<std::string>& issueNet) {
    return issueNet && !issueNet->empty() && (*issueNet)[0] == 'F' ? 0 : 1;
}

// ---- Texts of the certificate store and the relay's CA certificates ----------

namespace {

// Fields of a list record after the first, by the start of their name.
struct RowField {
    std::string_view name;
    std::string CertListRow::*text;
    size_t width;
    int decodeType;
};
constexpr RowField kRowFields[] = {
    {"issuer", &CertListRow::issuer, kRowTextWidth, 1},
    {"oidtype", &CertListRow::oidtype, kRowTextWidth, 1},
    {"expiredata", &CertListRow::expiredata, kRowTextWidth, 1},
    {"certpath", &CertListRow::certpath, kRowPathWidth, 2},
    {"keypath", &CertListRow::keypath, kRowPathWidth, 1},
    {"expireflag", &CertListRow::expireflag, kRowFlagWidth, 1},
    {"certtype", &CertListRow::certtype, kRowFlagWidth, 1},
};

// Pieces of text between separators, empty ones included.
template <typename F>
void forEachPiece(std::string_view text, char sep, F&& f) {
    size_t at = 0;
    while (true) {
        const size_t end = text.find(sep, at);
        if (!f(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at))) return;
        if (end == std::string_view::npos) return;
        at = end + 1;
    }
}

bool isHex(char c) { return hexValue(c) >= 0; }

}  // namespace

void CutText(std::string& text, size_t max) {
    if (text.size() <= max) return;
    // EUC-KR: a byte from 0x81 up leads a two-byte character.
    size_t keep = 0;
    while (keep < max) {
        const size_t step = static_cast<unsigned char>(text[keep]) >= 0x81 ? 2 : 1;
        if (keep + step > max) break;
        keep += step;
    }
    text.resize(keep);
}

int ParseCertListRecords(std::string_view list, DataDecoder decode, std::vector<CertListRow>& rows, ParseNotes& notes) {
    if (decode == nullptr) return -1;
    int count = 0;
    bool bad = false;
    forEachPiece(list, '|', [&](std::string_view record) {
        if (record.empty()) return true;
        CertListRow row;
        bool first = true, skip = false;
        forEachPiece(record, '&', [&](std::string_view field) {
            const size_t caret = field.find('^');
            if (caret == std::string_view::npos) {
                note(notes, "[ERR]", "token_2 parsing error");
                bad = true;
                return false;
            }
            const std::string_view name = field.substr(0, caret), value = field.substr(caret + 1);
            const RowField* target = nullptr;
            static constexpr RowField kSubject{"subject", &CertListRow::subject, kRowTextWidth, 1};
            if (first) {
                target = &kSubject;
                first = false;
            } else {
                for (const RowField& f : kRowFields)
                    if (name.substr(0, f.name.size()) == f.name) {
                        target = &f;
                        break;
                    }
            }
            if (target == nullptr) {
                note(notes, "[ERR]", "token_2 parsing error");
                bad = true;
                return false;
            }
            std::string decoded;
            if (!decode(target->decodeType, value, decoded)) {
                note(notes, "[ERR]", "pars_CertListsString(), the value of " + std::string(name) + " does not decode.");
                bad = true;
                return false;
            }
            if (decoded.size() >= target->width) {
                if (target->width == kRowPathWidth) {
                    // A cut path would name another file.
                    note(notes, "[WAR]",
                         "pars_CertListsString(), a path over " + std::to_string(kRowPathWidth - 1) +
                             " bytes: the certificate is not listed.");
                    skip = true;
                }
                CutText(decoded, target->width - 1);
            }
            row.*target->text = std::move(decoded);
            return true;
        });
        if (bad) return false;
        if (!skip) {
            rows.push_back(std::move(row));
            ++count;
        }
        return true;
    });
    return bad ? -1 : count;
}

int ParseCertDetail(std::string_view detail, CertDetailInfo& out) {
    struct Field {
        char* text;
        size_t width;
    };
    out = CertDetailInfo{};
    const Field fields[] = {
        {out.version, sizeof out.version},
        {out.serialNumber, sizeof out.serialNumber},
        {out.signatureAlg, sizeof out.signatureAlg},
        {out.issuerDN, sizeof out.issuerDN},
        {out.validity_from, sizeof out.validity_from},
        {out.validity_to, sizeof out.validity_to},
        {out.subjectDN, sizeof out.subjectDN},
        {out.pubkey, sizeof out.pubkey},
        {out.pubkeydata, sizeof out.pubkeydata},
        {out.hand_print_alg, sizeof out.hand_print_alg},
        {out.hand_print, sizeof out.hand_print},
        {out.authoritykeyid, sizeof out.authoritykeyid},
        {out.subjectkeyid, sizeof out.subjectkeyid},
        {out.keyusage, sizeof out.keyusage},
        {out.certpolicy, sizeof out.certpolicy},
        {out.subjectAltName, sizeof out.subjectAltName},
        {out.crlDP, sizeof out.crlDP},
        {out.authorityInfoAcc, sizeof out.authorityInfoAcc},
    };
    size_t n = 0;
    size_t at = 0;
    for (size_t amp; n < std::size(fields) && (amp = detail.find('&', at)) != std::string_view::npos; at = amp + 1) {
        const std::string_view item = detail.substr(at, amp - at);
        const size_t caret = item.find('^');
        std::string value = caret == std::string_view::npos ? std::string() : URLDecodeText(item.substr(caret + 1));
        CutText(value, fields[n].width - 1);
        std::memcpy(fields[n].text, value.data(), value.size());
        fields[n].text[value.size()] = '\0';
        ++n;
    }
    return static_cast<int>(n);
}

int ParseMultiSignData(std::string_view data, PDFMultiSignData& out, bool stopAtHD, DataDecoder decode,
                       ParseNotes& notes) {
    out = PDFMultiSignData{};
    if (decode == nullptr) return 0;
    bool refused = false;
    forEachPiece(data, '|', [&](std::string_view item) {
        const size_t eq = item.find('=');
        if (item.empty() || eq == std::string_view::npos || eq + 1 == item.size()) return true;
        if (item.size() > 4096) {
            note(notes, "[ERR]", "ParseSignData_PDFMultiSign(), an item over 4096 bytes.");
            refused = true;
            return false;
        }
        const std::string_view name = item.substr(0, eq), value = item.substr(eq + 1);
        if (name.substr(0, 2) == "HD") {
            std::string base, hd;
            if (decode(2, value, base) && decode(1, base, hd) && !hd.empty()) {
                out.hd = std::move(hd);
                note(notes, "[NOT]", "msign HD = " + out.hd);
                if (stopAtHD) return false;
            }
            return true;
        }
        std::string decoded;
        if (!decode(0, value, decoded) || decoded.empty()) return true;
        if (out.items.size() == kMultiSignMaxItems || name.size() > 31 || decoded.size() > 1024) {
            note(notes, "[ERR]",
                 "ParseSignData_PDFMultiSign(), more than 32 items, a name over 31 bytes or a "
                 "value over 1024 bytes.");
            refused = true;
            return false;
        }
        note(notes, "[NOT]", "msign value " + std::string(name) + " = " + std::to_string(decoded.size()) + " bytes");
        out.items.push_back({std::string(name), std::move(decoded)});
        return true;
    });
    if (refused) {
        out = PDFMultiSignData{};
        return 0;
    }
    return static_cast<int>(out.items.size());
}

bool SplitCACerts(std::string_view text, std::vector<CACertItem>& items) {
    items.clear();
    bool ok = true;
    forEachPiece(text, '|', [&](std::string_view item) {
        if (item.empty()) return true;
        if (item.size() > 4095) {
            ok = false;
            return false;
        }
        CACertItem c;
        c.isId = item.size() == 40 && std::all_of(item.begin(), item.end(), isHex);
        c.text = item;
        if (c.isId)
            for (char& ch : c.text)
                if (ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 'a' + 'A');
        items.push_back(std::move(c));
        return true;
    });
    if (!ok) items.clear();
    return ok;
}

std::string SubjectCommonName(std::string_view subjectDN) {
    if (!startsWithNoCase(subjectDN, "cn=")) return {};
    const std::string_view rest = subjectDN.substr(3);
    return std::string(rest.substr(0, rest.find(',')));
}

std::string SerialFilterText(std::string_view serial) {
    return std::string("serial=") + (serial.size() % 2 != 0 ? "0" : "") + URLEncodeText(serial);
}

std::string IssuerSerialFilterText(std::string_view issuerDN, std::string_view serial) {
    std::string_view name = issuerDN.size() > 3 ? issuerDN.substr(3) : std::string_view();
    name = name.substr(0, std::min(name.find(','), size_t{511}));
    return "issuer=" + URLEncodeText(name) + "&" + SerialFilterText(serial);
}

std::vector<std::pair<std::string, std::string>> SplitSignDataRows(std::string_view data) {
    std::vector<std::pair<std::string, std::string>> rows;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('&', start);
        if (end == std::string_view::npos) end = data.size();
        const std::string_view piece = data.substr(start, end - start);
        const size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            rows.emplace_back(std::string(piece), std::string());
        else
            rows.emplace_back(std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1)));
        start = end + 1;
    }
    return rows;
}

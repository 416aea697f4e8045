// Our password-policy module: one rule for every new certificate password
// (README.md), messages and rules in Korean or English as EUC-KR.
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <mutex>
#include <set>
#include <string>

#include "zuncc/zuncc.h"

#define ZUNCC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr size_t kMinLength = 10;
constexpr size_t kMaxLength = 255;  // the password field of a certificate record

enum class Text { Rule, Accepted, Short, Long, Classes, Characters, Repeat, Guide };

struct Texts {
    const char* korean;
    const char* english;
};

// UTF-8 here; handed out as EUC-KR.
Texts textsOf(Text t) {
    switch (t) {
        case Text::Rule:
            return {"인증서 암호는 10자 이상으로, 영문자, 숫자, 특수문자를 모두 포함해야 합니다.",
                    "A certificate password has at least 10 characters with a letter, a digit and a special "
                    "character."};
        case Text::Accepted:
            return {"사용할 수 있는 암호입니다.", "The password is acceptable."};
        case Text::Short:
            return {"인증서 암호는 10자 이상이어야 합니다.", "The password must have at least 10 characters."};
        case Text::Long:
            return {"인증서 암호는 255자를 넘을 수 없습니다.", "The password may have at most 255 characters."};
        case Text::Classes:
            return {"인증서 암호에는 영문자, 숫자, 특수문자가 모두 있어야 합니다.",
                    "The password must contain a letter, a digit and a special character."};
        case Text::Characters:
            return {"인증서 암호에는 영문자, 숫자, 특수문자만 쓸 수 있습니다.",
                    "The password may contain only letters, digits and special characters."};
        case Text::Repeat:
            return {"같은 문자를 세 번 이상 연속하여 쓸 수 없습니다.",
                    "The same character may not appear three times in a row."};
        case Text::Guide:
            return {
                "1. 10자 이상 255자 이하로 입력하십시오.\n"
                "2. 영문자, 숫자, 특수문자(!@#$%^&* 등)를 각각 하나 이상 포함하십시오.\n"
                "3. 같은 문자를 세 번 이상 연속하여 쓸 수 없습니다.\n"
                "4. 공백과 한글은 쓸 수 없습니다.",
                "1. Use 10 to 255 characters.\n"
                "2. Include at least one letter, one digit and one special character (!@#$%^&* and so on).\n"
                "3. Do not repeat a character three times in a row.\n"
                "4. Blanks and non-ASCII characters are not allowed."};
    }
    return {"", ""};
}

std::string toEucKr(const char* utf8) {
    iconv_t cd = iconv_open("EUC-KR", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
    std::string in(utf8), out(in.size() * 2 + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    const size_t rc = iconv(cd, &src, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return utf8;
    out.resize(out.size() - outLeft);
    return out;
}

// Tests: ZUNCC_TEST_RECORD names a file that receives one line per call
// (never a password); ZUNCC_TEST_NULL_TEXTS=1 makes both texts NULL.
void record(const std::string& line) {
    const char* path = std::getenv("ZUNCC_TEST_RECORD");
    if (!path || !*path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool nullTexts() {
    const char* v = std::getenv("ZUNCC_TEST_NULL_TEXTS");
    return v && std::strcmp(v, "1") == 0;
}

class Manager final : public zunccPasswordManager {
public:
    const char* GetMessage() override {
        record("GetMessage");
        if (nullTexts()) return nullptr;
        m_out = text(m_message);
        return m_out.c_str();
    }
    void Reserved1() override {}
    void SetProperty(const char* name, const char* value) override {
        const std::string n = name ? name : "", v = value ? value : "";
        record("SetProperty " + n + "=" + v);
        if (n == "language") m_english = v == "eng";
    }
    void Reserved3() override {}
    void SetData(const char* data, int length) override {
        record("SetData " + std::to_string(data && length > 0 ? length : 0));
    }
    bool CheckPassword(const char* password) override {
        record("CheckPassword");
        m_message = judge(password ? password : "");
        return m_message == Text::Accepted;
    }
    void Reserved6() override {}
    const char* GetGuideText() override {
        record("GetGuideText");
        if (nullTexts()) return nullptr;
        m_out = text(Text::Guide);
        return m_out.c_str();
    }
    ~Manager() { std::fill(m_out.begin(), m_out.end(), '\0'); }

private:
    std::string text(Text t) const {
        const Texts x = textsOf(t);
        return toEucKr(m_english ? x.english : x.korean);
    }

    static Text judge(const std::string& pw) {
        if (pw.size() < kMinLength) return Text::Short;
        if (pw.size() > kMaxLength) return Text::Long;
        bool letter = false, digit = false, special = false;
        for (size_t i = 0; i < pw.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(pw[i]);
            if (c <= 0x20 || c >= 0x7f) return Text::Characters;
            if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
                letter = true;
            else if (c >= '0' && c <= '9')
                digit = true;
            else
                special = true;
            if (i >= 2 && pw[i] == pw[i - 1] && pw[i] == pw[i - 2]) return Text::Repeat;
        }
        if (!letter || !digit || !special) return Text::Classes;
        return Text::Accepted;
    }

    Text m_message = Text::Rule;
    bool m_english = false;
    std::string m_out;
};

std::mutex g_mutex;
std::set<Manager*> g_managers;

}  // namespace

ZUNCC_EXPORT zunccPasswordManager* zunccFactory(const char* name, const char* domain) {
    record(std::string("zunccFactory ") + (name ? name : "") + " " + (domain ? domain : ""));
    if (!name || std::strcmp(name, "zunccManagePassword") != 0) return nullptr;
    auto* m = new Manager();
    std::lock_guard lock(g_mutex);
    g_managers.insert(m);
    return m;
}

ZUNCC_EXPORT void zunccClean(zunccPasswordManager* manager) {
    record("zunccClean");
    std::lock_guard lock(g_mutex);
    auto* m = static_cast<Manager*>(manager);
    if (g_managers.erase(m)) delete m;
}

ZUNCC_EXPORT void zunccAllClean(void) {
    record("zunccAllClean");
    std::lock_guard lock(g_mutex);
    for (Manager* m : g_managers) delete m;
    g_managers.clear();
}

// The keypad adapters, their factory, the keypad option text and the VSF_
// wrappers of the core's digest and cipher.
#include "ui/VirtualKeypad.h"

#include <nfilter/NFilterOpenWeb.h>
#include <strings.h>
#include <zunCore/cipher.h>
#include <zunCore/util.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// A buffer of the VSF_ functions, wiped and freed.
struct VsfBuffer {
    unsigned char* p = nullptr;
    int len = 0;
    ~VsfBuffer() {
        if (p) {
            explicit_bzero(p, static_cast<size_t>(len));
            std::free(p);
        }
    }
};

// A text of libNFilterOpenWeb, released (and zeroed) with FreeString.
struct NFilterText {
    char* p = nullptr;
    ~NFilterText() { FreeString(p); }
};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// NSHC: the plain text fits the result buffer, so its Base64 does too.
constexpr size_t kNshcKeyData = 72;
constexpr size_t kNshcMaxCipherB64 = 4 * ((12 + kKeypadMaxPlain + 16 + 2) / 3);

}  // namespace

// ---- Wiped bytes ----------------------------------------------------------------------------

void WipedBytes::clear() {
    if (!m_bytes.empty()) explicit_bzero(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

void WipedBytes::assign(const void* data, size_t n) {
    clear();
    m_bytes.resize(n);
    if (n) std::memcpy(m_bytes.data(), data, n);
}

void WipedBytes::resize(size_t n) {
    // A growing vector would leave its old bytes behind.
    WipedBytes grown(n);
    const size_t kept = std::min(n, m_bytes.size());
    if (kept) std::memcpy(grown.m_bytes.data(), m_bytes.data(), kept);
    clear();
    m_bytes.swap(grown.m_bytes);
}

// ---- Base utilities -----------------------------------------------------------------------

int CBasicVirtualKeypad::GetHex2bin(char c) {
    if (c == '\0') return -1;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -2;
}

int CBasicVirtualKeypad::GetHex2bin(const char* hex, unsigned char* out, int len) {
    if (!hex || !out || len <= 0 || len % 2 != 0) return -1;
    for (int i = 0; i < len; i += 2) {
        const int hi = GetHex2bin(hex[i]), lo = GetHex2bin(hex[i + 1]);
        if (hi < 0 || lo < 0) return -2;
        out[i / 2] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return len / 2;
}

char CBasicVirtualKeypad::toHex(const unsigned char& nibble) {
    return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
}

std::string CBasicVirtualKeypad::URLEncode(const char* text, int len) {
    std::string out;
    if (!text || len <= 0) return out;
    const size_t n = strnlen(text, static_cast<size_t>(len));
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
            out += static_cast<char>(c);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
            out += '+';
        } else {
            out += '%';
            out += toHex(static_cast<unsigned char>(c >> 4));
            out += toHex(static_cast<unsigned char>(c & 15));
        }
    }
    return out;
}

int CBasicVirtualKeypad::strnocasecmp(const char* a, const char* b, int n) {
    if (!a || !b) return a == b ? 0 : 1;
    return n <= 0 ? 0 : strncasecmp(a, b, static_cast<size_t>(n));
}

int CBasicVirtualKeypad::Base64Decode(const char* text, int len, WipedBytes& out) {
    out.clear();
    if (!text || len < 0) return -1;
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    WipedBytes bytes(static_cast<size_t>(len) / 4 * 3 + 3);
    size_t n = 0;
    unsigned int group = 0;
    int count = 0;
    int i = 0;
    for (; i < len && text[i] != '='; ++i) {
        const int v = value(text[i]);
        if (v < 0) return -1;
        group = group << 6 | static_cast<unsigned int>(v);
        if (++count == 4) {
            bytes.data()[n++] = static_cast<unsigned char>(group >> 16);
            bytes.data()[n++] = static_cast<unsigned char>(group >> 8);
            bytes.data()[n++] = static_cast<unsigned char>(group);
            group = 0;
            count = 0;
        }
    }
    for (; i < len; ++i)
        if (text[i] != '=') return -1;
    if (count == 2) {
        bytes.data()[n++] = static_cast<unsigned char>(group >> 4);
    } else if (count == 3) {
        bytes.data()[n++] = static_cast<unsigned char>(group >> 10);
        bytes.data()[n++] = static_cast<unsigned char>(group >> 2);
    }
    bytes.resize(n);
    out.assign(bytes.data(), n);
    return static_cast<int>(n);
}

bool CBasicVirtualKeypad::URLParse_GetPort(const std::string& host, unsigned short& port) {
    const size_t colon = host.find(':');
    if (host.size() < 2 || colon == std::string::npos) return false;
    // As strtol reads it; the port is 16 bits wide.
    port = static_cast<unsigned short>(std::strtol(host.c_str() + colon + 1, nullptr, 10));
    return true;
}

bool CBasicVirtualKeypad::URLParse_GetServer(const std::string& host, std::string& server) {
    size_t end = host.find(':');
    if (end == std::string::npos) end = host.find('/');
    server = host.substr(0, end);
    return true;
}

bool CBasicVirtualKeypad::URLParse_GetValue(const char* text, const char* name, std::string& value) {
    if (!text || !name || !*name) return false;
    const std::string_view rest(text);
    const std::string key = std::string(name) + "=";
    for (size_t at = rest.find(key); at != std::string_view::npos; at = rest.find(key, at + 1)) {
        // A whole name: "xrand=" is not "rand=".
        if (at != 0 && rest[at - 1] != '?' && rest[at - 1] != '&') continue;
        const size_t start = at + key.size();
        const size_t end = rest.find('&', start);
        value.assign(rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        return true;
    }
    return false;
}

bool CBasicVirtualKeypad::URLParse(const char* url, int&, std::string& server, std::string& rest,
                                   unsigned short& port) {
    if (!url) return false;
    const std::string_view text(url);
    const size_t scheme = text.find("://");
    if (scheme == std::string_view::npos) return false;
    const std::string_view after = text.substr(scheme + 3);
    server.clear();
    port = 0;
    if (after.empty() || after[0] != '/') {
        const std::string host(after.substr(0, after.find('/')));
        URLParse_GetServer(host, server);
        URLParse_GetPort(host, port);
    }
    const size_t slash = after.find('/');
    rest.assign(slash == std::string_view::npos ? after : after.substr(slash + 1));
    return true;
}

int CBasicVirtualKeypad::GetPaserURL(const char* url, const char* name, std::string& value) {
    int unused = 0;
    std::string server, rest;
    unsigned short port = 0;
    if (!name || !URLParse(url, unused, server, rest, port)) return -1;
    if (std::strcmp(name, "domainport") == 0) {
        // A URL without a port has port 0.
        value = server + ":" + std::to_string(port);
        return 0;
    }
    return URLParse_GetValue(rest.c_str(), name, value) ? 0 : -1;
}

int CBasicVirtualKeypad::DecodeHexParam(const std::string& hex, int maxDigits, unsigned char* out) {
    const size_t n = hex.size();
    if (n == 0 || n > static_cast<size_t>(maxDigits) || n % 2 != 0) return -1;
    if (!std::all_of(hex.begin(), hex.end(), isHexDigit)) return -1;
    return GetHex2bin(hex.c_str(), out, static_cast<int>(n));
}

bool CBasicVirtualKeypad::CopyPlain(const unsigned char* plain, int len, char* out) {
    if (!out || len < 0 || len > kKeypadMaxPlain) return false;
    if (len) std::memcpy(out, plain, static_cast<size_t>(len));
    return true;
}

// ---- Lumen ------------------------------------------------------------------------------------

int CVirtualKeypad_Lumen::CheckURL(std::string url) {
    return url.size() >= 11 && strnocasecmp(url.c_str(), "transkey://", 11) == 0 ? 255 : 0;
}

int CVirtualKeypad_Lumen::_GetSeedKey(const char* domainport, const char* rand, unsigned char* key, int*) {
    if (!domainport || !rand || !key) return -1;
    const size_t randLen = std::strlen(rand), dpLen = std::strlen(domainport);
    // Both joined texts must fit their buffers whole: a cut rand or
    // domainport would silently give another key.
    if (randLen > static_cast<size_t>(kLumenMaxRand) || dpLen > static_cast<size_t>(kLumenMaxDomainPort)) return -1;

    WipedBytes joined;
    joined.resize(randLen + sizeof kLumenSalt - 1);
    std::memcpy(joined.data(), rand, randLen);
    std::memcpy(joined.data() + randLen, kLumenSalt, sizeof kLumenSalt - 1);
    VsfBuffer h1;
    if (VSF_HASH_Data(joined.data(), static_cast<int>(joined.size()), &h1.p, &h1.len, "SHA1") != 0 || h1.len != 20)
        return -2;

    joined.resize(dpLen + 20);
    std::memcpy(joined.data(), domainport, dpLen);
    std::memcpy(joined.data() + dpLen, h1.p, 20);
    VsfBuffer h2;
    if (VSF_HASH_Data(joined.data(), static_cast<int>(joined.size()), &h2.p, &h2.len, "SHA1") != 0 || h2.len != 20)
        return -3;
    std::memcpy(key, h2.p, 16);
    return 0;
}

int CVirtualKeypad_Lumen::GetNavigate(std::string url, char* out) {
    if (CheckURL(url) == 0) return -1;
    std::string rand, result, domainport;
    if (GetPaserURL(url.c_str(), "rand", rand) != 0) return -2;
    if (GetPaserURL(url.c_str(), "result", result) != 0) return -3;
    if (result.empty()) return 0;

    WipedBytes cipher(kKeypadResultSize);
    const int cipherLen = DecodeHexParam(result, kKeypadMaxHexDigits, cipher.data());
    if (cipherLen <= 0) return -6;

    GetPaserURL(url.c_str(), "domainport", domainport);
    WipedBytes key(16);
    if (_GetSeedKey(domainport.c_str(), rand.c_str(), key.data(), nullptr) != 0) return -5;

    VsfBuffer plain;
    char name[] = "SEED-CBC";
    if (VSF_Cipher(key.data(), kLumenIv, name, 1, cipher.data(), cipherLen, reinterpret_cast<void**>(&plain.p),
                   &plain.len, 16, 2) != 0)
        return -6;
    return CopyPlain(plain.p, plain.len, out) ? 0 : -6;
}

// ---- Inca -------------------------------------------------------------------------------------

int CVirtualKeypad_Inca::CheckURL(std::string url) {
    return url.size() >= 11 && strnocasecmp(url.c_str(), "transkey://", 11) == 0 ? 255 : 0;
}

int CVirtualKeypad_Inca::GetNavigate(std::string url, char* out) {
    if (CheckURL(url) == 0) return -1;
    std::string randHex, result;
    if (GetPaserURL(url.c_str(), "rand", randHex) != 0) return -2;
    if (GetPaserURL(url.c_str(), "result", result) != 0) return -3;
    if (result.empty()) return 0;

    // The key buffer takes 1 to 32 rand bytes.
    WipedBytes key(kIncaMaxRandBytes);
    const int randLen = DecodeHexParam(randHex, 2 * kIncaMaxRandBytes, key.data());
    if (randLen <= 0) return -4;
    WipedBytes cipher(kKeypadResultSize);
    const int cipherLen = DecodeHexParam(result, kKeypadMaxHexDigits, cipher.data());
    if (cipherLen <= 0) return -4;

    int len = randLen;
    for (int round = 0; round < 256; ++round) {
        VsfBuffer digest;
        if (VSF_HASH_Data(key.data(), len, &digest.p, &digest.len, "SHA256") != 0 || digest.len != 32) return -4;
        std::memcpy(key.data(), digest.p, 32);
        len = 32;
    }

    std::array<unsigned char, 16> iv = kIncaIv;
    VsfBuffer plain;
    char name[] = "ARIA256-CBC";
    const int rc = VSF_Cipher(key.data(), iv.data(), name, 1, cipher.data(), cipherLen,
                              reinterpret_cast<void**>(&plain.p), &plain.len, 16, 2);
    if (rc != 0) return -4;
    return CopyPlain(plain.p, plain.len, out) ? 0 : -4;
}

// ---- NSHC -------------------------------------------------------------------------------------

void CVirtualKeypad_NSHC::CNSHC_Key::SetKey(const char* bytes, int len) {
    if (!bytes || len <= 0) return;
    m_bytes.clear();
    m_bytes.resize(static_cast<size_t>(len) + 1);
    std::memcpy(m_bytes.data(), bytes, static_cast<size_t>(len));
}

int CVirtualKeypad_NSHC::CheckURL(std::string url) {
    return url.size() >= 13 && strnocasecmp(url.c_str(), "nFilterkey://", 13) == 0 ? 255 : 0;
}

std::string CVirtualKeypad_NSHC::GetUrl(std::string url) {
    NFilterText priv, pub;
    int privLen = 0, pubLen = 0;
    if (N_GenerateKeypair(5, 2, &priv.p, &privLen, &pub.p, &pubLen) != 0 || !priv.p || !pub.p || privLen <= 0 ||
        pubLen <= 0)
        return url;
    m_publicKey.SetKey(pub.p, pubLen);
    m_privateKey.SetKey(priv.p, privLen);
    // The library's own copies go with priv and pub (FreeString zeroes them).
    return url + (url.find('?') != std::string::npos ? "&" : "?") +
           "publickey=" + URLEncode(m_publicKey.GetKey(), m_publicKey.GetKeyLength());
}

int CVirtualKeypad_NSHC::_GetString(std::string encdata, char* out) {
    if (encdata.size() <= kNshcKeyData) return -1;
    // Whatever decodes to more than the result buffer holds is refused
    // before it is decoded.
    if (encdata.size() - kNshcKeyData > kNshcMaxCipherB64) return -4;
    NFilterText derived;
    if (N_DeriveKey(5, 2, encdata.c_str(), static_cast<int>(kNshcKeyData), m_privateKey.GetKey(),
                    m_privateKey.GetKeyLength(), &derived.p) != 0 ||
        !derived.p)
        return -3;
    WipedBytes cipher, key;
    if (Base64Decode(encdata.c_str() + kNshcKeyData, static_cast<int>(encdata.size() - kNshcKeyData), cipher) < 0 ||
        Base64Decode(derived.p, static_cast<int>(std::strlen(derived.p)), key) < 0)
        return -4;
    NFilterText plain;
    if (N_Decrypt(5, key.data(), static_cast<int>(key.size()), cipher.data(), static_cast<int>(cipher.size()),
                  &plain.p) != 0 ||
        !plain.p)
        return -4;
    // The page chooses encdata: a plain text longer than the buffer is refused.
    const size_t n = std::strlen(plain.p);
    if (n > static_cast<size_t>(kKeypadMaxPlain)) return -4;
    return CopyPlain(reinterpret_cast<const unsigned char*>(plain.p), static_cast<int>(n), out) ? 0 : -4;
}

int CVirtualKeypad_NSHC::GetNavigate(std::string url, char* out) {
    if (CheckURL(url) == 0) return -1;
    std::string encdata;
    if (GetPaserURL(url.c_str(), "encdata", encdata) != 0) return -1;
    return _GetString(encdata, out) == 0 ? 0 : -2;
}

// ---- Factory ---------------------------------------------------------------------------------

int CWebDlgVirtualKeypad::CreateKeypad(const char* name) {
    if (!name) return -1;
    std::memset(m_name, 0, sizeof m_name);
    std::strncpy(m_name, name, sizeof m_name);
    m_name[sizeof m_name - 1] = '\0';
    ReleaseKeypad();
    m_keypad.reset(CreateVirtualKeypad());
    if (!m_keypad) return -2;
    m_keypad->Init("");
    return 0;
}

IVirtualKeypad* CWebDlgVirtualKeypad::CreateVirtualKeypad() {
    if (strcasecmp(m_name, "lumen") == 0) return new CVirtualKeypad_Lumen();
    if (strcasecmp(m_name, "inca") == 0) return new CVirtualKeypad_Inca();
    if (strcasecmp(m_name, "nshc") == 0) return new CVirtualKeypad_NSHC();
    return nullptr;
}

// ---- Option text ------------------------------------------------------------------------------

namespace {

// The number after key in the lowered text, as strtol reads it; fallback
// when key is missing or ends the text.
int optionNumber(const std::string& lowered, const char* key, int fallback) {
    const size_t at = lowered.find(key);
    if (at == std::string::npos) return fallback;
    const size_t start = at + std::strlen(key);
    if (start >= lowered.size()) return fallback;
    errno = 0;
    const long v = std::strtol(lowered.c_str() + start, nullptr, 10);
    if (errno == ERANGE || v > 1 << 20) return 1 << 20;
    if (v < 0) return 0;
    return static_cast<int>(v);
}

// The page may be opened: https, or http to this machine only. Nothing that
// a browser would read as another host (user info, white space, controls).
bool pageUrlAllowed(const std::string& url) {
    for (const char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    const std::string l = lower(url);
    if (l.rfind("https://", 0) == 0) return l.size() > 8;
    if (l.rfind("http://", 0) != 0) return false;
    const std::string authority = l.substr(7, l.find_first_of("/?#\\", 7) - 7);
    if (authority.find('@') != std::string::npos) return false;
    std::string host, port;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        host = authority.substr(0, close + 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return false;
            port = authority.substr(close + 2);
        }
    } else {
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}

}  // namespace

int KeypadOption_Parse(const char* text, KeypadPageOption& option) {
    option = KeypadPageOption{};
    const std::string original = text ? text : "";
    const std::string lowered = lower(original);
    const size_t at = lowered.find("url=");
    if (at != std::string::npos) {
        const size_t start = at + 4;
        const size_t end = original.find('&', start);
        option.url = original.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    option.width = std::clamp(optionNumber(lowered, "width=", 500), 100, 1920);
    option.height = std::clamp(optionNumber(lowered, "height=", 400), 100, 1200);
    if (option.url.empty() || !pageUrlAllowed(option.url)) return -2;
    return 0;
}

// ---- VSF_ -----------------------------------------------------------------------------------

extern "C" {

int VSF_HASH_Data(const void* in, int len, unsigned char** out, int* outLen, const char* name) {
    if (!in || len <= 0) return -100;
    if (!out || !outLen) return -1;
    unsigned char* digest = nullptr;
    int digestLen = 0;
    if (VCL_HASH_Data(in, len, &digest, &digestLen, name) != 0 || !digest || digestLen <= 0) {
        if (digest) VCL_Free(digest, digestLen);
        return -1;
    }
    auto* copy = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(digestLen) + 1));
    if (copy) {
        std::memcpy(copy, digest, static_cast<size_t>(digestLen));
        copy[digestLen] = '\0';
    }
    VCL_Free(digest, digestLen);
    if (!copy) return -200;
    *out = copy;
    *outLen = digestLen;
    return 0;
}

int VSF_Cipher(const void* key, const void* iv, char* name, int pad, const void* in, int inLen, void** out, int* outLen,
               int encoding, int direction) {
    if (!key || !name) return -1;
    if (!in || inLen <= 0) return -200;
    if (!out || !outLen) return -1;
    static constexpr const char* kBare[][2] = {
        {"DES", "DES-CBC"},         {"SEED", "SEED-CBC"},       {"AES128", "AES128-CBC"},   {"AES192", "AES192-CBC"},
        {"AES256", "AES256-CBC"},   {"RC5", "RC5-CBC"},         {"BF", "BF-CBC"},           {"ARIA128", "ARIA128-CBC"},
        {"ARIA192", "ARIA192-CBC"}, {"ARIA256", "ARIA256-CBC"}, {"DES_EDE", "DES_EDE-CBC"},
    };
    std::string used = name;
    for (const auto& row : kBare)
        if (strcasecmp(name, row[0]) == 0) used = row[1];
    const std::string upper = [&] {
        std::string u = used;
        for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u;
    }();
    static constexpr const char* kModes[] = {"CBC", "ECB", "OFB", "CTR", "CFB"};
    if (std::none_of(std::begin(kModes), std::end(kModes),
                     [&](const char* m) { return upper.find(m) != std::string::npos; }))
        return -200;

    unsigned char* result = nullptr;
    int resultLen = 0;
    const int enc = static_cast<unsigned char>(encoding);
    const int rc = direction == 1 ? VCL_SYM_Encrypt(key, iv, used.c_str(), pad, in, inLen, &result, &resultLen, enc)
                                  : VCL_SYM_Decrypt(key, iv, used.c_str(), pad, in, inLen, &result, &resultLen, enc);
    if (rc != 0 || !result || resultLen < 0) {
        if (result) VCL_Free(result, resultLen);
        return direction == 1 ? -300 : -400;
    }
    auto* copy = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(resultLen) + 1));
    if (copy) {
        if (resultLen) std::memcpy(copy, result, static_cast<size_t>(resultLen));
        copy[resultLen] = '\0';
    }
    VCL_Free(result, resultLen);
    if (!copy) return -500;
    *out = copy;
    *outLen = resultLen;
    return 0;
}

}  // extern "C"

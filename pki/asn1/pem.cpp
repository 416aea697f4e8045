#include <zunPKI/asn1/pem.h>

#include <zunPKI/asn1/base64.h>
#include "asn1/pki_buffer.hpp"

#include <climits>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEndOfLabel = "-----\n";
constexpr std::string_view kEnd = "\n-----END ";
constexpr std::string_view kDashes = "-----";

bool skippedBeforeBody(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '-'; }

}  // namespace

extern "C" {

int base64ToPEM(const char* b64, int b64_len, const char* label, int label_len, char** out) {
    if (b64 == nullptr || label == nullptr || out == nullptr || b64_len < 0 || label_len < 0) return 0;
    *out = nullptr;
    long long total = static_cast<long long>(b64_len) + 2LL * label_len + 33;
    if (total >= INT_MAX) return 0;
    auto buf = zpki::Buffer::allocate(static_cast<size_t>(total) + 1);
    if (!buf) return 0;
    char* p = buf.chars();
    auto put = [&p](const char* s, size_t n) {
        std::memcpy(p, s, n);
        p += n;
    };
    put(kBegin.data(), kBegin.size());
    put(label, static_cast<size_t>(label_len));
    put(kEndOfLabel.data(), kEndOfLabel.size());
    put(b64, static_cast<size_t>(b64_len));
    put(kEnd.data(), kEnd.size());
    put(label, static_cast<size_t>(label_len));
    put(kEndOfLabel.data(), kEndOfLabel.size());
    *p = '\0';
    *out = buf.releaseChars();
    return static_cast<int>(total);
}

int encode_PEM(const unsigned char* der, int der_len, const char* label, int label_len, char** out, int line_flag) {
    if (der == nullptr || label == nullptr || out == nullptr) return 0;
    *out = nullptr;
    char* text = nullptr;
    int len = encode_Base64(der, der_len, &text, line_flag);
    // The Base64 of a private key is as secret as the key: wiped on release.
    auto b64 = zpki::Buffer::adopt(text, len + 1LL);
    if (len <= 0) return 0;
    return base64ToPEM(b64.chars(), len, label, label_len, out);
}

int decode_PEM(const char* pem, int pem_len, unsigned char** out) {
    if (pem == nullptr || out == nullptr) return 0;
    *out = nullptr;
    if (pem_len < 20 || pem[0] == '=') return 0;
    std::string_view text(pem, static_cast<size_t>(pem_len));

    // Text before the armour (a certificate's text dump, the "Bag
    // Attributes" lines of openssl pkcs12) is passed over. The body starts
    // after the next run of five dashes, up to pem_len - 5: for normal
    // armour, the dashes that close the BEGIN line.
    size_t from = text.find(kBegin);
    if (from == std::string_view::npos) from = 0;
    size_t start = from;
    std::string_view window = text.substr(0, text.size() - 5);
    if (size_t run = window.find(kDashes, from + 5); run != std::string_view::npos) start = run + kDashes.size();
    while (start < text.size() && skippedBeforeBody(text[start])) ++start;

    // The body ends at the dashes of the END line. A lone '-' inside it (a
    // "Proc-Type:" header line) means this is not a plain armour: refuse it
    // rather than decode the word before the dash.
    size_t end = text.find('-', start);
    if (end == std::string_view::npos || text.substr(end, kDashes.size()) != kDashes) return 0;
    // The END line must be whole, "-----END <label>-----", and name the
    // label the BEGIN line gave: armour cut short inside it is damaged.
    constexpr std::string_view kEndLine = "-----END ";
    if (text.substr(end, kEndLine.size()) != kEndLine) return 0;
    const size_t label = end + kEndLine.size();
    const size_t close = text.find(kDashes, label);
    if (close == std::string_view::npos || close == label) return 0;
    if (text.compare(from, kBegin.size(), kBegin) == 0) {
        const size_t beginLabel = from + kBegin.size();
        const size_t beginClose = text.find(kDashes, beginLabel);
        if (beginClose == std::string_view::npos ||
            text.substr(beginLabel, beginClose - beginLabel) != text.substr(label, close - label))
            return 0;
    }
    if (end > start && text[end - 1] == '\n') {
        --end;
        if (end > start && text[end - 1] == '\r') --end;
    }
    return decode_Base64(text.data() + start, static_cast<int>(end - start), out);
}

}  // extern "C"

// Base64 against coreutils' base64, and the malformed texts that must fail.
#include <zunPKI/asn1/base64.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using pkitest::bytes;
using pkitest::len;
using pkitest::Owned;

std::string sample(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 73 + 11) & 0xFF));
    return s;
}

std::string encode(const std::string& data, int lineFlag) {
    Owned<char> t;
    int n = encode_Base64(bytes(data), len(data), t.out(), lineFlag);
    EXPECT_NE(t.p, nullptr);
    return t.str(n);
}

std::string encodeLines(const std::string& data, int width) {
    Owned<char> t;
    int n = encode_Base64_Line(bytes(data), len(data), t.out(), width);
    return t.str(n);
}

// The decoded bytes, or nothing when decode_Base64 refuses the text.
std::optional<std::string> decode(const std::string& text) {
    Owned<unsigned char> b;
    int n = decode_Base64(text.data(), len(text), b.out());
    if (b.p != nullptr) {
        EXPECT_EQ(b.p[n], 0) << "decoded bytes are NUL-terminated";
    }
    return b.result(n);
}

TEST(Base64, MatchesCoreutilsForEveryLengthUpTo200) {
    for (size_t n = 0; n <= 200; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        std::string data = sample(n);
        auto lines = zqtest::run({"base64", "-w", "64"}, data);
        auto oneLine = zqtest::run({"base64", "-w", "0"}, data);
        ASSERT_EQ(lines.status, 0);

        // encode_Base64 leaves out the newline after the last line.
        EXPECT_EQ(encode(data, 1) + (n > 0 ? "\n" : ""), lines.output);
        EXPECT_EQ(encodeLines(data, 64), lines.output);
        EXPECT_EQ(encode(data, 0), oneLine.output);
        if (n % 7 == 0) {
            EXPECT_EQ(encodeLines(data, 76), zqtest::run({"base64", "-w", "76"}, data).output);
        }

        EXPECT_EQ(decode(lines.output), data);
        EXPECT_EQ(decode(oneLine.output), data);
    }
}

TEST(Base64, CrLfLineEndsDecodeLikeLf) {
    std::string data = sample(100);
    std::string crlf;
    for (char c : encode(data, 1)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(decode(crlf), data);
    EXPECT_EQ(decode(crlf + "\r\n"), data);
}

TEST(Base64, MalformedTextFails) {
    const char* cases[] = {
        "QUJD*RVJH",  // character outside the alphabet
        "QUJD RUZH",  // a space is outside it too
        "QUJD\tRUZH", "QUJDRE\xC3\xA9",
        "QU\rJD",    // lone CR
        "QUJDRA\r",  // CR at the very end
        "QQ===",     // third '='
        "Q===",
        "QQ==QQ==",  // alphabet after padding
        "QUI=Q",
        "QUJ",  // incomplete group
        "QUJDR",      "=",
        "QQ=",
    };
    for (const char* text : cases) EXPECT_EQ(decode(text), std::nullopt) << text;
}

TEST(Base64, EmptyTextAndNullArguments) {
    EXPECT_EQ(decode(""), "");
    Owned<unsigned char> b;
    EXPECT_EQ(decode_Base64(nullptr, 4, b.out()), 0);
    EXPECT_EQ(decode_Base64("QUJD", 4, nullptr), 0);
    Owned<char> t;
    EXPECT_EQ(encode_Base64(nullptr, 3, t.out(), 1), 0);
    EXPECT_EQ(encode_Base64(bytes("abc"), 3, nullptr, 1), 0);
    EXPECT_EQ(encode_Base64_Line(bytes("abc"), 3, t.out(), 0), 0);
    EXPECT_EQ(t.p, nullptr);
}

}  // namespace

// The interface's encodings against python's base64 and urllib.parse; the
// fixed-buffer Base64 functions and their room.
#include <gtest/gtest.h>

#include <cstring>

#include "StoreHelpers.h"

using storetest::len;
using storetest::Out;

namespace {

std::string hex(const std::string& bytes) {
    static const char d[] = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h += d[c >> 4];
        h += d[c & 15];
    }
    return h;
}

std::string encoded(int type, const std::string& in, int* rc = nullptr) {
    Out<> out;
    const int r = VPL_DataEncode(type, in.data(), len(in), out.ptr(), &out.n);
    if (rc) *rc = r;
    EXPECT_TRUE(r != 0 || (out.p && out.p[out.n] == '\0'));
    return out.str();
}

std::optional<std::string> decoded(int type, const std::string& in) {
    Out<> out;
    if (VPL_DataDecode(type, in.data(), len(in), out.ptr(), &out.n) != 0) {
        EXPECT_EQ(out.p, nullptr);
        return std::nullopt;
    }
    EXPECT_EQ(out.p[out.n], '\0');
    return out.str();
}

}  // namespace

TEST(StoreEncode, TypesAgreeWithPython) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    const std::string euckr = storetest::iconvText("홍길동 인증서/NPKI (yessign)", "UTF-8", "EUC-KR").value();
    const std::vector<std::string> inputs = {
        "", "a", "ab", "abc", std::string("\0\0\xff", 3), binary, euckr, "safe@./_-AZaz09 +%&=?", "/home/u/NPKI"};
    std::string request;
    for (const auto& in : inputs) request += hex(in) + "\n";
    const auto peer = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/encode_peer.py"}, request);
    ASSERT_EQ(peer.status, 0);
    std::istringstream lines(peer.output);
    for (const auto& in : inputs) {
        std::string line, b64, url, both;
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream fields(line);
        std::getline(fields, b64, '\t');
        std::getline(fields, url, '\t');
        std::getline(fields, both, '\t');
        EXPECT_EQ(encoded(0, in), b64) << hex(in);
        EXPECT_EQ(encoded(1, in), url) << hex(in);
        EXPECT_EQ(encoded(2, in), both) << hex(in);
        EXPECT_EQ(decoded(1, url), in) << hex(in);
        EXPECT_EQ(encoded(5, in), in);
        EXPECT_EQ(decoded(5, in), in);
        if (in.empty()) continue;  // Base64 that decodes to nothing is a failure
        EXPECT_EQ(decoded(0, b64), in) << hex(in);
        EXPECT_EQ(decoded(2, both), in) << hex(in);
    }
}

TEST(StoreEncode, DecodeFailures) {
    EXPECT_EQ(decoded(0, ""), std::nullopt);
    EXPECT_EQ(decoded(2, ""), std::nullopt);
    EXPECT_EQ(decoded(0, "!!!!"), std::nullopt);
    // A failed Base64 step of type 2 is -1, as type 0's is.
    Out<> out;
    EXPECT_EQ(VPL_DataDecode(2, "%21%21%21%21", 12, out.ptr(), &out.n), -1);
    EXPECT_EQ(VPL_DataDecode(0, nullptr, 4, out.ptr(), &out.n), 1052011);
    EXPECT_EQ(VPL_DataEncode(0, nullptr, 4, out.ptr(), &out.n), 1052011);
    EXPECT_EQ(VPL_DataEncode(0, "abc", -1, out.ptr(), &out.n), 1052011);
    // The length bounds the input: the text is not read past it.
    EXPECT_EQ(decoded(0, std::string("QUJD", 4)), "ABC");
    Out<> part;
    ASSERT_EQ(VPL_DataDecode(0, "QUJDREVG", 4, part.ptr(), &part.n), 0);
    EXPECT_EQ(part.str(), "ABC");
}

TEST(StoreEncode, UrlWrappers) {
    char* text = VPL_URLEncode("a b/한");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "a+b/%ed%95%9c");
    char* same = VPL_Insert_PKCS10_CertEncode("a b/한");
    EXPECT_STREQ(same, text);
    EXPECT_EQ(VPL_URLDecode(text), 7);
    EXPECT_STREQ(text, "a b/한");
    std::free(text);
    std::free(same);
    EXPECT_EQ(VPL_URLEncode(nullptr), nullptr);
}

TEST(StoreEncode, FixedBuffersKeepToTheirRoom) {
    char out[8];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(VPL_Base64EncodeNoline("abc", 3, out, 4), 4);
    EXPECT_EQ(std::string(out, 5), "YWJjz");  // no terminating zero when the text fills the room
    EXPECT_EQ(VPL_Base64EncodeNoline("abc", 3, out, 3), -1);
    EXPECT_EQ(VPL_Base64EncodeNoline("abc", 3, out, 8), 4);
    EXPECT_EQ(std::string(out, 8), std::string("YWJj\0\0\0\0", 8));

    // Decoding needs room for the bytes and a zero after them: three bytes
    // into three are refused and nothing past the room is touched.
    unsigned char room[5];
    std::memset(room, 0xEE, sizeof room);
    EXPECT_EQ(VPL_Base64DecodeNoline("YWJj", 4, room, 3), -1);
    EXPECT_EQ(room[3], 0xEE);
    EXPECT_EQ(VPL_Base64DecodeNoline("YWJj", 4, room, 4), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(room), 5), std::string("abc\0\xEE", 5));
    EXPECT_EQ(VPL_Base64DecodeNoline("YW!j", 4, room, 4), -1);
    EXPECT_EQ(VPL_Base64DecodeNoline("", 0, room, 4), -1);
}

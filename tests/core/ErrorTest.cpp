// Error texts of both code schemes, versions and the version check.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include <zunCore/error.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/utils.h>

#include "CoreHelpers.h"

namespace {

TEST(CoreErrorMsg, CodesGiveTheirTexts) {
    struct Case {
        unsigned code;
        const char* text;
    } cases[] = {
        {0x00000000, "Unknown:Unknown:Unknown"},
        {0x00000002, "Unknown:Unknown:Input parameter is NULL"},
        {0x0000000e, "Unknown:Unknown:"},  // reason 14 is empty
        {0xa5050001, "PKCS1_Crypto:PK1_PRIV_ENC:Fail to malloc"},
        {0xb1090090, "Common:GET_PEMFILE_TYPE:Fail to Not Found PEM Format"},
        {0xb109008f, "Common:GET_PEMFILE_TYPE:Fail to Get Token Info"},
        {0xb1090091, "Common:GET_PEMFILE_TYPE:Unknown"},  // reason 145, past the list
        {0xffffffff, "Unknown:Unknown:Unknown"},
        {0xa9030001, "X509:INIT_X509_INFO:Fail to malloc"},
        {0xa90300c8, "X509:INIT_X509_INFO:Unknown"},
        {0xc9010002, "String:READ_FILE:Input parameter is NULL"},
        {0xc903007b, "String:CHECK_VERSION:Current core_version is lower than requested version"},
        {0xa3030005, "OTP:GEN_OTP_MSG:Input parameter length is Zero"},  // the last row
        {0xa0010000, "Symmetric:ENCRYPT:Unknown"},
        {0x60000004, "Unknown:Unknown:Unknown"},  // a crypto-layer code passes through unknown
        {0xc9040007, "Unknown:Unknown:Unknown"},  // VCL_Parse_String_By_Name has no category row
        {0xa9630069, "X509:BINARY_TO_PUBKEY:Input parameter error(or NULL) during Read PEM from Binary"},
    };
    for (const auto& c : cases) EXPECT_STREQ(VCL_Get_Error_Msg(static_cast<int>(c.code)), c.text) << std::hex << c.code;
}

TEST(CoreErrorMsg, OneBufferPerThread) {
    const char* first = VCL_Get_Error_Msg(static_cast<int>(0xa9030001));
    const std::string firstText = first;
    const char* second = VCL_Get_Error_Msg(0);
    EXPECT_EQ(first, second);  // the same buffer, overwritten
    EXPECT_STREQ(first, "Unknown:Unknown:Unknown");
    EXPECT_NE(firstText, first);

    // Another thread's messages never land in this thread's buffer.
    const char* mine = VCL_Get_Error_Msg(static_cast<int>(0xa9030001));
    const char* theirs = nullptr;
    std::thread([&] {
        for (int i = 0; i < 1000; ++i) theirs = VCL_Get_Error_Msg(static_cast<int>(0xb1090090));
    }).join();
    EXPECT_NE(mine, theirs);
    EXPECT_STREQ(mine, "X509:INIT_X509_INFO:Fail to malloc");
}

// The Korean texts, as the library's users read them, in UTF-8; the library
// hands them out in EUC-KR.
const struct {
    int code;
    const char* utf8;
} kLegacy[] = {
    {1001001, "메모리를 할당하지 못했습니다."},
    {1001002, "메모리가 할당되지 않은 버퍼를 사용하였습니다"},
    {1001003, "함수 호출시 전달한 파라미터가 잘못되었습니다."},
    {1001004, "데이타 형식이 맞지 않습니다"},
    {1001005, "파일 읽기를 실패했습니다."},
    {1001100, "LOG파일을 열수 없습니다."},
    {1002000, "url encoding 실패.잘못된 파라미터입니다."},
    {1002001, "url decoding 실패.잘못된 파라미터 입니다."},
    {1003001, "Base128Encoding(전송형태)실패하였습니다."},
    {1003002, "Base128Decoding(전송형태)실패하였습니다."},
    {1003003, "Base128Encoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003004, "Base128Decoding(전송평태)실패.잘못된 파라미터입니다."},
    {1003005, "Base64Encoding(전송형태)실패하였습니다."},
    {1003006, "Base64Decoding(전송형태)실패하였습니다."},
    {1003007, "Base64Encoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003009, "Base64Decoding(전송형태)실패.잘못된 파라미터입니다."},
    {1003010, "Base64Decoding(전송형태)실패.dest buffer 사이즈가 작습니다."},
    {1004000, "압축 실패.잘못된 파라미터 입니다."},
    {1004001, "압축해제 실패.잘못된 파라미터 입니다."},
    {1005001, "유니코드 매핑 실패.dest buffer 에 공간이 없습니다."},
    {1005002, "유니코드 매핑 실패.src buffer에 공간이 없습니다."},
    {1005003, "utf8에서 ucs2로 변환 실패.데이터가 UCS4 입니다."},
    {1005004, "ucs2에서 euckr로 변환 실패.데이터가 ucs2 가 아닙니다."},
    {1006004, "ldap connect error "},
    {1006005, "ldap bind error"},
    {1006006, "ldap search error"},
    {1006007, "ldap not found entry error"},
    {1006008, "ldap not found attribute error"},
    {1007000, "base64 encode 실패 했습니다."},
    {1007001, "base64 decode 실패 했습니다."},
    {1007002, "base64 encode 실패. 잘못된 파라미터입니다."},
    {1007003, "base64 decode 실패. 잘못된 파라미터입니다."},
    {1007004, "base64 malloc encode 실패."},
    {1007005, "base64 malloc decode 실패."},
    {1007006, "base64 malloc encode 실패. 잘못된 파라미터입니다."},
    {1007007, "base64 malloc decode 실패. 잘못된 파라미터입니다."},
    {1007010, "X509인증서 형식이 아닙니다"},
    {1007011, "X509구조체에서 공개키를 가져올수 없습니다."},
    {1007012, "인증서를 로드할 수 없습니다."},
    {1007013, "I/O 버퍼 객체를 생성할 수 없습니다."},
    {1007014, "개인키의 패스워드가 적당하지 않습니다."},
    {1007015, "공개키로 암호화 하는 중에 에러가 발생했습니다."},
    {1007016, "개인키를 읽을 수 없습니다."},
    {1007017, "개인키가 적당하지 않습니다."},
    {1007020, "키를 생성할 수가 없습니다."},
    {1007021, "개인키를 PEM 구조체로 변환하지 못하였습니다."},
    {1007022, "공개키를 PEM 구조체로 변환하지 못하였습니다."},
    {1007024, "개인키로 복호화 하는 중에 에러가 발생했습니다."},
    {1007025, "공개키로 복호화 하는 중에 에러가 발생했습니다."},
    {1007026, "ASN1_UTCTIME에서 localtime 얻기를 실패했습니다."},
    {1007027, "공개키를 읽을 수 없습니다."},
    {1007028, "공개키 파일이 비어있습니다."},
    {1007029, "알수없는 DIGEST 메시지 입니다."},
    {1007030, "대칭키 암/복호화에 실패하였습니다."},
    {1007031, "PKCS8구조체에서 개인키 추출에 실패하였습니다"},
    {1007032, "개인키 복호화에 실패하였습니다."},
    {1007033, "개인키를 I/O버퍼에 쓸수 없습니다."},
    {1007034, "X509_STORE 생성에 실패 하였습니다."},
    {1007035, "인증서 유효성 검증에 실패 하였습니다."},
    {1007036, "인증서를 X509형태로 변환하는데 실패 하였습니다."},
    {1007038, "인증서를 PEM 형태로 변환하는데 실패 하였습니다."},
    {1007039, "X509에서 EXT를 가져오는데 실패 하였습니다."},
    {1007040, "X509V3에서 EXT를 가져오는데 실패 하였습니다."},
    {1007041, "라이브러리 초기화에 실패했습니다."},
    {1007042, "알수없는 알고리즘명입니다."},
    {1008001, "Config 파일을 찾을 수 없습니다."},
    {1008002, "config 파일에 설정이 올바르지 않습니다."},
    {1009001, "seed 데이타가 없습니다"},
    {1009002, "확장E2E 데이타의 길이가 올바르지 않습니다."},
    {1009003, "확장E2E 데이타가 올바르게 복호화되지 않았습니다."},
    {1009400, "Config 파일을 열기 실패했습니다."},
    {1009401, "Config파일에 내용이 없습니다."},
};
constexpr const char* kUndefined = "정의되지 않은 에러입니다.";

TEST(CoreLegacyError, KoreanTextsAreIconvsEucKr) {
    for (const auto& l : kLegacy) {
        const auto expected = coretest::iconvText(l.utf8, "UTF-8", "EUC-KR");
        ASSERT_TRUE(expected) << l.code;
        EXPECT_EQ(std::string(VCL_GetErrorString(l.code)), *expected) << l.code;
    }
    const auto undefined = coretest::iconvText(kUndefined, "UTF-8", "EUC-KR");
    ASSERT_TRUE(undefined);
    // Unlisted codes, and the two of the scheme without a text of their own.
    for (int code : {42, 0, -1, 1003008, 1007023, 1001000, 2000000})
        EXPECT_EQ(std::string(VCL_GetErrorString(code)), *undefined) << code;
    // The text is a constant: the same pointer each time.
    EXPECT_EQ(VCL_GetErrorString(1001001), VCL_GetErrorString(1001001));
}

TEST(CoreVersion, Texts) {
    EXPECT_STREQ(VCL_Get_Version(), "2.4.14");
    EXPECT_STREQ(VCL_Get_Crypto_Version(), VSC_Get_Crypto_Version());
    EXPECT_STREQ(VCL_Get_Pki_Version(), get_PkiVersion());
}

TEST(CoreVersion, CheckReportsTheFirstLibraryTooOld) {
    const int kCheck = VCL_CAT_STRING_CHECK_VERSION;
    struct Case {
        const char *crypto, *pki, *core;
        int expected;
    } cases[] = {
        {"0", "0", "2.4.15", VCL_CORE_CODE(kCheck, 0x7b)},
        {"0", "0", "2.4.14", 0},
        {"0", "0", "2.4", 0},
        {"0", "0", "2.4.14.0", VCL_CORE_CODE(kCheck, 0x7b)},  // a missing fourth component is lower
        {"999", "999", "999", VCL_CORE_CODE(kCheck, 0x79)},   // crypto first
        {"0", "999", "999", VCL_CORE_CODE(kCheck, 0x7a)},
        {nullptr, "0", "0", VCL_CORE_CODE(kCheck, 2)},
        {"0", "0", nullptr, VCL_CORE_CODE(kCheck, 2)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VCL_Check_Version(c.crypto, c.pki, c.core), c.expected)
            << (c.crypto ? c.crypto : "NULL") << " " << (c.pki ? c.pki : "NULL") << " " << (c.core ? c.core : "NULL");
    EXPECT_EQ(VCL_Check_Version(VSC_Get_Crypto_Version(), get_PkiVersion(), VCL_Get_Version()), 0);
}

TEST(CoreVersion, Comparison) {
    const std::string longer = "1.2.3.4" + std::string(200, '.');  // past any fixed work buffer
    struct Case {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"2.4.14", "2.4.9", 5},      {"2.4.9", "2.4.14", -5},
        {"2.4", "2.4.1", -1},        {"2.4.1", "2.4", 1},
        {"2.4.14", "2.4.14.0", -1},  {"1.2.3.4.5", "1.2.3.4.9", 0},  // a fifth component is never looked at
        {"2.4", "2.4", 0},           {"", "", 0},
        {"2147483648.1", "1.1", -1},  // a component past int reads as missing
        {"01.02", "1.2", 0},         {longer.c_str(), "1.2.3.4", 0},
        {nullptr, "1", -1},          {"1", nullptr, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VCL_str_cmp_Version(c.a, c.b), c.expected) << (c.a ? c.a : "NULL") << " vs " << (c.b ? c.b : "NULL");
        EXPECT_EQ(VCL_CMP_Version(c.a, c.b), c.expected);
    }
}

TEST(CoreVersion, IntegerTokens) {
    std::string many;
    for (int i = 1; i <= 40; ++i) many += std::to_string(i) + ".";  // well past 31 characters
    struct Case {
        const char* text;
        const char* delim;
        int n;
        int expected;
    } cases[] = {
        {"2.4.14", ".", 1, 2},
        {"2.4.14", ".", 2, 4},
        {"2.4.14", ".", 3, 14},
        {"2.4.14", ".", 4, -1},
        {"2..3", ".", 2, -1},  // an empty token
        {"2..3", ".", 3, 3},
        {"2.x.3", ".", 2, 0},  // not a number: atoi's 0
        {"2.4.", ".", 3, -1},
        {"7", ".", 1, 7},
        {"2147483647", ".", 1, INT_MAX},
        {"2147483648", ".", 1, -1},
        {"99999999999999999999", ".", 1, -1},
        {"1::2::3", "::", 3, 3},
        {"1:2::3", "::", 2, 3},
        {"2.4.14", ".", 0, -1},
        {"", ".", 1, -1},
        {many.c_str(), ".", 40, 40},
        {nullptr, ".", 1, -1},
        {"1.2", nullptr, 1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VCL_str_get_int_tok(c.text, c.delim, c.n), c.expected) << (c.text ? c.text : "NULL") << " n=" << c.n;

    EXPECT_EQ(VCL_convert_version_int("2.4.14"), 2414);
    EXPECT_EQ(VCL_convert_version_int("1.2.3.4.5.6.7.8.9"), 123456789);
    EXPECT_EQ(VCL_convert_version_int("9.9.9.9.9.9.9.9.9.9"), -1);                         // past int
    EXPECT_EQ(VCL_convert_version_int(("0." + std::string(100, '0') + ".7").c_str()), 7);  // past 63 characters
    EXPECT_EQ(VCL_convert_version_int(""), 0);
    EXPECT_EQ(VCL_convert_version_int(nullptr), -1);
}

TEST(CoreVersion, Tokenizer) {
    struct Case {
        const char* text;
        const char* delim;
        const char* token;  // nullptr: the call returns NULL
        const char* rest;
    } cases[] =
        {
            {"a.b.c", ".", "a", "b.c"},   {"abc", ".", "abc", ""},  {".x", ".", "", "x"},
            {"", ".", nullptr, nullptr},  {"k::v", "::", "k", "v"}, {"xaby", "ab", "x", "y"},
            {"xaaby", "ab", "xaaby", ""},  // the second 'a' is not tried as a new start
            {"abab", "ab", "", "ab"},
        };
    for (const auto& c : cases) {
        std::string text = c.text;
        std::string token(text.size() + 1, '#');
        char* rest = VCL_str_tokenizer(token.data(), text.data(), c.delim);
        if (!c.token) {
            EXPECT_EQ(rest, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(rest, nullptr) << c.text;
        EXPECT_STREQ(token.c_str(), c.token) << c.text;
        EXPECT_STREQ(rest, c.rest) << c.text;
        EXPECT_GE(rest, text.data());
        EXPECT_LE(rest, text.data() + text.size());
    }
}

TEST(CoreLastError, HoldsTheLastCodeStored) {
    EXPECT_EQ(VCL_GetLastError(), __atomic_load_n(&VCLLastErrorCode, __ATOMIC_RELAXED));
    VCLLastErrorCode = 1005004;
    EXPECT_EQ(VCL_GetLastError(), 1005004);
}

}  // namespace

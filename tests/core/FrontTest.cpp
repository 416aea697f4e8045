// The crypto front end: algorithm names, padding modes, PEM and DER typing
// and conversion against openssl's files, the clock with the network-time
// offset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include <zunCore/crypto.h>
#include <zunCore/log.h>
#include <zunCore/util.h>
#include <zunPKI/asn1/time64.h>

#include "CoreHelpers.h"

namespace {

using coretest::Buf;
using coretest::Exact;
using coretest::rc;

const std::string& fixtures() {
    static const std::string dir = coretest::fixtureDir("make_front_fixtures.sh");
    return dir;
}

std::string fixture(const std::string& name) {
    EXPECT_FALSE(fixtures().empty()) << "fixture script failed";
    return zqtest::readFile(fixtures() + "/" + name);
}

std::string openssl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = zqtest::run(argv, {}, {"OPENSSL_CONF=/dev/null"});
    EXPECT_EQ(r.status, 0);
    return r.output;
}

struct NameCase {
    const char* name;
    unsigned result;  // 0 or the code
    int id;
};

TEST(CoreFront, CipherNames) {
    const NameCase cases[] = {
        {"seed-cbc", 0, 0x04000120},      {"SEED/CBC", 0, 0x04000120},
        {"Seed-Cbc", 0, 0x04000120},      {"SEEDX-CBC", 0, 0x04000120},  // prefix of 4
        {"//aes256--ofb", 0, 0x01000360}, {"AES-ECB", 0, 0x01000100},
        {"aes128-ctr", 0, 0x01000180},    {"AES192-CFB", 0, 0x01000240},
        {"ARIA256-CTR", 0, 0x03000380},   {"aria192-cbc", 0, 0x03000220},
        {"BF-CFB", 0, 0x06000140},        {"BFX-OFB", 0, 0x06000160},
        {"DES-CBC", 0, 0x02000120},       {"DES_EDE-CBC", 0, 0x02000220},
        {"DES_EDE3-CBC", 0, 0x02000220},  {"RC5-CBC", 0, 0x05000120},
        {"SEED-CBCPAD", 0, 0x04000120},  // modes by their first three letters
        {"ARIA-128-CBC", 0, 0x03000120},  {"ARIA-CBC-junk", 0, 0x03000120},
        {"aria-128-cbc", 0xb1070011, 0},  {"AES-128-CBC", 0xb1070011, 0},
        {"DES-EDE3-CBC", 0xb1070011, 0},  {"SEED-XYZ", 0xb1070011, 0},
        {"BLOWFISH-CBC", 0xb1070010, 0},  {"DES3-CBC", 0xb1070010, 0},
        {"AES128X-CBC", 0xb1070010, 0},   {"S-CBC", 0xb1070003, 0},
        {"SEED-CB", 0xb1070003, 0},       {"SEED", 0xb107011e, 0},
        {"SEED--", 0xb107011e, 0},        {"", 0xb107011d, 0},
        {"-/-", 0xb107011d, 0},
    };
    for (const auto& c : cases) {
        int id = -1;
        EXPECT_EQ(rc(VCL_COM_convert_cipher_name(c.name, &id)), c.result) << c.name;
        EXPECT_EQ(id, c.result == 0 ? c.id : -1) << c.name;
    }
    const std::string longPart = std::string(64, 'A') + "-CBC";
    const std::string longName = "SEED-CBC-" + std::string(119, 'x');
    int id = -1;
    EXPECT_EQ(VCL_COM_convert_cipher_name(longPart.c_str(), &id), static_cast<int>(0xb1070003));
    EXPECT_EQ(VCL_COM_convert_cipher_name(longName.c_str(), &id), static_cast<int>(0xb1070003));
    EXPECT_EQ(VCL_COM_convert_cipher_name(longName.substr(0, 127).c_str(), &id), 0);
    EXPECT_EQ(VCL_COM_convert_cipher_name(nullptr, &id), static_cast<int>(0xb1070002));
    EXPECT_EQ(VCL_COM_convert_cipher_name("SEED-CBC", nullptr), static_cast<int>(0xb1070002));
}

TEST(CoreFront, HashNames) {
    const NameCase cases[] = {
        {"SHA-256", 0, 0x05000300}, {"sha256", 0, 0x05000300},     {"SHA256withRSA", 0, 0x05000300},
        {"SHA1", 0, 0x05000100},    {"sha-1", 0, 0x05000100},      {"SHA224", 0, 0x05000200},
        {"sha-384", 0, 0x05000400}, {"SHA512", 0, 0x05000500},     {"SHA-512/256", 0, 0x05000500},
        {"md5", 0, 0x06000100},     {"MD5withRSA", 0, 0x06000100}, {"MDC2", 0, 0x08000100},
        {"has160", 0, 0x07000100},  {"HAS-160", 0, 0x07000100},    {"SHA1withRSA", 0xb1080010, 0},
        {"SHA-2", 0xb1080010, 0},   {"MD4", 0xb1080010, 0},        {"SH", 0xb1080003, 0},
        {"", 0xb1080003, 0},
    };
    for (const auto& c : cases) {
        int id = -1;
        EXPECT_EQ(rc(VCL_COM_convert_hash_name(c.name, &id)), c.result) << c.name;
        EXPECT_EQ(id, c.result == 0 ? c.id : -1) << c.name;
        int alias = -1;
        EXPECT_EQ(rc(VCL_COM_Convert_Hash_Name(c.name, &alias)), c.result) << c.name;
        EXPECT_EQ(alias, id);
    }
    int id = -1;
    const std::string longest = "SHA256" + std::string(25, 'x');
    EXPECT_EQ(VCL_COM_convert_hash_name(longest.c_str(), &id), 0);
    EXPECT_EQ(VCL_COM_convert_hash_name((longest + "x").c_str(), &id), static_cast<int>(0xb1080003));
    EXPECT_EQ(VCL_COM_convert_hash_name(nullptr, &id), static_cast<int>(0xb1080002));
}

TEST(CoreFront, HashRowToName) {
    const std::pair<int, const char*> rows[] = {{668, "SHA256"}, {672, "SHA256"}, {65, "SHA1"}, {64, "SHA1"}};
    for (const auto& [row, name] : rows) {
        char out[32] = "unchanged";
        EXPECT_EQ(VCL_COM_convert_hash_id_to_name(row, out), 0) << row;
        EXPECT_STREQ(out, name) << row;
    }
    char out[32];
    EXPECT_EQ(VCL_COM_convert_hash_id_to_name(0, out), -1);
    EXPECT_EQ(VCL_COM_convert_hash_id_to_name(6, out), -1);  // rsaEncryption implies no digest
    EXPECT_EQ(VCL_COM_convert_hash_id_to_name(668, nullptr), -1);
}

TEST(CoreFront, PaddingModes) {
    struct Oaep {
        int scheme;
        const char* hash;
        int result, mode;
    };
    const Oaep oaep[] = {
        {8, "SHA256", 0, 0x05000308},
        {16, "SHA1", 0, 0x05000110},
        {16, "MD5", 0, 0x06000110},
        {8, "SHA224", 0, 8},
        {16, "HAS160", 0, 16},
        {32, "SHA256", 0, 32},
        {0, "SHA512", 0, 0},
        {1, "SHA256", static_cast<int>(0xa5010013), 0},
        {8, "SHA3", static_cast<int>(0xa5010010), 0},
    };
    for (const auto& c : oaep) {
        int mode = -1;
        EXPECT_EQ(VCL_RSA_OAEP_make_padding_mode(c.scheme, c.hash, &mode), c.result) << c.scheme << c.hash;
        if (c.result == 0) EXPECT_EQ(mode, c.mode) << c.scheme << c.hash;
    }
    struct Pss {
        int scheme, hash, result, mode;
    };
    const Pss pss[] = {
        {2, 0x05000100, 0, 0x05140102},
        {2, 0x05000300, 0, 0x05200302},
        {2, 0x05000400, 0, 0x05300402},
        {2, 0x05000500, 0, 0x05400502},
        {2, 0x06000100, 0, 0x06100102},
        {2, 0x05000200, 0, 2},
        {1, 0x05000300, 0, 1},
        {0, 0x05000300, 0, 0},
        {3, 0x05000300, static_cast<int>(0xa5010013), 0},
        {-1, 0x05000300, static_cast<int>(0xa5010013), 0},
    };
    for (const auto& c : pss) {
        int mode = -1;
        EXPECT_EQ(VCL_RSA_PSS_make_padding_mode(c.scheme, c.hash, &mode), c.result) << c.scheme;
        if (c.result == 0) EXPECT_EQ(mode, c.mode) << c.scheme << " " << c.hash;
    }
}

TEST(CoreFront, IsPem) {
    EXPECT_EQ(VCL_COM_is_pem("-----BEGIN X-----"), 0);
    EXPECT_EQ(VCL_COM_is_pem("\n\r\t  ------"), 0);
    EXPECT_EQ(VCL_COM_is_pem("  -----"), -1);  // five characters are not enough
    EXPECT_EQ(VCL_COM_is_pem("MIIB-----"), -1);
    EXPECT_EQ(VCL_COM_is_pem(""), -1);
    EXPECT_EQ(VCL_COM_Is_Pem("-----BEGIN"), 0);
    EXPECT_EQ(VCL_COM_is_pem(nullptr), static_cast<int>(0xb1010002));
}

TEST(CoreFront, PemKeyTypes) {
    const std::pair<const char*, int> files[] = {{"rsa-trad.pem", 53}, {"rsa-enc.pem", 67}, {"p8-enc.pem", 54}};
    for (const auto& [name, type] : files) {
        const Exact text(fixture(name));
        int got = -1;
        EXPECT_EQ(VCL_COM_get_pemfile_type(text.c(), text.n(), &got), 0) << name;
        EXPECT_EQ(got, type) << name;
    }
    struct Bad {
        std::string text;
        int code, type;
    };
    const std::string rsa = fixture("rsa-trad.pem");
    const Bad bad[] = {
        {"\n" + rsa, static_cast<int>(0xb1090043), 0},           // is PEM, but not at its first character
        {fixture("pub.pem"), static_cast<int>(0xb1090090), 0},   // not a private-key label
        {fixture("cert.pem"), static_cast<int>(0xb1090090), 0},  // not a private-key label
        {rsa.substr(0, rsa.find("-----END")), static_cast<int>(0xb1090043), 53},  // the type stays set
        {"MIIBOgIBAAJBAK", static_cast<int>(0xb1090043), 0},
        // Only the caller's length is read: the label lies beyond it.
        {rsa.substr(0, 14), static_cast<int>(0xb1090090), 0},
        {"-----BEGIN", static_cast<int>(0xb1090090), 0},
    };
    for (const auto& b : bad) {
        const Exact text(b.text);
        int got = -1;
        EXPECT_EQ(VCL_COM_get_pemfile_type(text.c(), text.n(), &got), b.code) << b.text.substr(0, 40);
        EXPECT_EQ(got, b.type) << b.text.substr(0, 40);
    }
    // The "DEK-Info: " line must lie within the length too.
    const std::string enc = fixture("rsa-enc.pem");
    const Exact head(enc);
    int got = -1;
    EXPECT_EQ(VCL_COM_get_pemfile_type(head.c(), static_cast<int>(enc.find("DEK-Info")), &got),
              static_cast<int>(0xb1090043));
    EXPECT_EQ(got, 53);
    EXPECT_EQ(VCL_COM_get_pemfile_type(nullptr, 10, &got), static_cast<int>(0xb1090043));
    EXPECT_EQ(VCL_COM_get_pemfile_type(head.c(), 0, &got), static_cast<int>(0xb1090043));
}

// A SEQUENCE of n small INTEGERs.
std::string seqOf(int n) {
    std::string body;
    for (int i = 0; i < n; ++i) body += std::string("\x02\x01\x01", 3);
    return std::string("\x30", 1) + static_cast<char>(body.size()) + body;
}

TEST(CoreFront, DerKeyTypes) {
    const std::pair<const char*, int> files[] = {{"rsa-trad.der", 53}, {"p8-enc.der", 54}, {"p8-plain.der", 54}};
    for (const auto& [name, type] : files) {
        const Exact der(fixture(name));
        int got = -1;
        EXPECT_EQ(VCL_COM_get_derfile_type(der.u(), der.n(), &got), 0) << name;
        EXPECT_EQ(got, type) << name;
    }
    const std::pair<std::string, int> bad[] = {
        {seqOf(1), static_cast<int>(0xb10a0042)},
        {seqOf(5), static_cast<int>(0xb10a0042)},
        {seqOf(11), static_cast<int>(0xb10a0042)},
        {std::string("\x02\x01\x05", 3), static_cast<int>(0xb10a0003)},      // not a SEQUENCE
        {std::string("\x30\x05\x02\x01", 4), static_cast<int>(0xb10a0003)},  // cut short
        {fixture("rsa-trad.pem"), static_cast<int>(0xb10a0003)},
    };
    for (const auto& [bytes, code] : bad) {
        const Exact der(bytes);
        int got = 77;
        EXPECT_EQ(VCL_COM_get_derfile_type(der.u(), der.n(), &got), code);
        EXPECT_EQ(got, 77);
    }
    const Exact der(seqOf(3));
    int got = 77;
    EXPECT_EQ(VCL_COM_get_derfile_type(nullptr, 5, &got), static_cast<int>(0xb10a0043));
    EXPECT_EQ(VCL_COM_get_derfile_type(der.u(), 0, &got), static_cast<int>(0xb10a0043));
    EXPECT_EQ(got, 77);
}

TEST(CoreFront, ConversionsEqualOpenssl) {
    const std::string dir = fixtures();
    struct Conv {
        const char* der;
        int type;
        std::string pem;  // what openssl writes
    };
    const Conv convs[] = {
        {"cert.der", 55, openssl({"x509", "-inform", "DER", "-in", dir + "/cert.der", "-outform", "PEM"})},
        {"pub.der", 52, openssl({"pkey", "-pubin", "-inform", "DER", "-in", dir + "/pub.der", "-outform", "PEM"})},
        {"rsa-trad.der", 53,
         openssl({"pkey", "-inform", "DER", "-in", dir + "/rsa-trad.der", "-traditional", "-outform", "PEM"})},
        {"rsa-trad.der", 67, fixture("rsa-trad.pem")},
        {"p8-enc.der", 54, fixture("p8-enc.pem")},
        {"p7.der", 56, fixture("p7.pem")},
    };
    for (const auto& c : convs) {
        SCOPED_TRACE(c.der);
        const Exact der(fixture(c.der));
        Buf<char> pem;
        int pemLen = 0;
        ASSERT_EQ(VCL_COM_DER_to_PEM(der.u(), der.n(), pem.out(), &pemLen, c.type), 0);
        EXPECT_EQ(pem.str(pemLen), c.pem);
        EXPECT_EQ(pem.p[pemLen], '\0');

        // And back: the DER openssl writes.
        const Exact text(c.pem);
        Buf<unsigned char> back;
        int backLen = 0;
        ASSERT_EQ(VCL_COM_PEM_to_DER(text.c(), text.n(), back.out(), &backLen), 0);
        EXPECT_EQ(back.str(backLen), fixture(c.der));
    }
}

TEST(CoreFront, ConversionErrors) {
    const Exact der(fixture("cert.der"));
    const Exact pem(fixture("cert.pem"));
    char* text = reinterpret_cast<char*>(1);
    int n = 5;
    EXPECT_EQ(VCL_COM_DER_to_PEM(reinterpret_cast<const unsigned char*>(pem.c()), pem.n(), &text, &n, 55),
              static_cast<int>(0xb1050042));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(VCL_COM_DER_to_PEM(nullptr, 10, &text, &n, 55), static_cast<int>(0xb1050042));
    EXPECT_EQ(VCL_COM_DER_to_PEM(der.u(), 0, &text, &n, 55), static_cast<int>(0xb1050042));
    EXPECT_EQ(VCL_COM_DER_to_PEM(der.u(), der.n(), &text, &n, 57), static_cast<int>(0xb1050040));
    EXPECT_EQ(VCL_COM_DER_to_PEM(der.u(), der.n(), nullptr, &n, 55), static_cast<int>(0xb1050002));

    unsigned char* bytes = reinterpret_cast<unsigned char*>(1);
    EXPECT_EQ(VCL_COM_PEM_to_DER(reinterpret_cast<const char*>(der.u()), der.n(), &bytes, &n),
              static_cast<int>(0xb1060043));
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(n, 0);
    // Header lines inside the armour, and Base64 that does not decode.
    const Exact enc(fixture("rsa-enc.pem"));
    EXPECT_EQ(VCL_COM_PEM_to_DER(enc.c(), enc.n(), &bytes, &n), static_cast<int>(0xb1060041));
    const Exact broken("-----BEGIN X-----\nMII*\n-----END X-----\n");
    EXPECT_EQ(VCL_COM_PEM_to_DER(broken.c(), broken.n(), &bytes, &n), static_cast<int>(0xb1060041));
    // The armour cut at the caller's length, before its closing line.
    const int bodyEnd = static_cast<int>(fixture("cert.pem").find("-----END"));
    EXPECT_EQ(VCL_COM_PEM_to_DER(pem.c(), bodyEnd, &bytes, &n), static_cast<int>(0xb1060041));
    EXPECT_EQ(bytes, nullptr);
}

// Sets TZ for the scope of a test and restores it.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        m_had = std::getenv("TZ") != nullptr;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

TEST(CoreFront, ClockCarriesTheOffset) {
    for (const char* tz : {"Asia/Seoul", "UTC", "America/New_York"}) {
        SCOPED_TRACE(tz);
        Zone zone(tz);
        for (int gap : {0, 30, -3600}) {
            g_gap_with_ntp = gap;
            const time_t before = time(nullptr);
            ASN1_TIME* gmt = VCL_COM_getCurrentGMTime();
            ASN1_TIME* local = VCL_COM_getCurrentLocalTime();
            const time_t after = time(nullptr);
            ASSERT_TRUE(gmt && local);
            EXPECT_EQ(gmt->tm_gmtoff, 0);
            const Time64_T g = timegm64(gmt);
            EXPECT_GE(g, before + gap);
            EXPECT_LE(g, after + gap);
            // The local record names the same instant.
            const Time64_T l = timegm64(local) - local->tm_gmtoff;
            EXPECT_GE(l, before + gap);
            EXPECT_LE(l, after + gap);
            free_ASN1_TIME(gmt);
            free_ASN1_TIME(local);
        }
        g_gap_with_ntp = 0;
    }
}

TEST(CoreFront, HexNumbersCompare) {
    EXPECT_EQ(VCL_COM_HEX2BIGINT_n_cmp("0A", "a"), 0);
    EXPECT_LT(VCL_COM_HEX2BIGINT_n_cmp("FF", "100"), 0);
    EXPECT_GT(VCL_COM_HEX2BIGINT_n_cmp("0123456789ABCDEF0123", "FF"), 0);
    EXPECT_EQ(VCL_COM_HEX2BIGINT_n_cmp("zz", "1"), -99);
    EXPECT_EQ(VCL_COM_HEX2BIGINT_n_cmp("1", nullptr), -99);
}

TEST(CoreFront, ModesPassThrough) {
    EXPECT_EQ(VCL_Initialize(), 0);
    EXPECT_EQ(VCL_COM_Change_Non_Proven(), 0);
    EXPECT_EQ(VCL_COM_ChangeTestMode(), 0);
}

}  // namespace

// Certificate forms against openssl x509 -outform, the text makers, time
// texts (Korean time against date(1) in three host zones), DER of names,
// keys and DigestInfo (against openssl pkeyutl -verifyrecover), attributes,
// and the record of a KCDSA certificate libzunPKI signed.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509_attr.h>

#include "X509Helpers.h"

using namespace x509test;
using coretest::Buf;
using namespace std::string_literals;

namespace {

// ---- Certificate forms -----------------------------------------------------

TEST(X509Conv, PemAndDerEqualOpenssl) {
    for (const char* name : {"certs/rsa2048.der", "certs/ec.der", "certs/py-korean.der", "certs/pss.der"}) {
        SCOPED_TRACE(name);
        const std::string der = fixture(name);
        const std::string pem = pemOf(der);
        Buf<char> outPem;
        int n = 0;
        ASSERT_EQ(VCL_X509_Conv_Cert2PEM(der.data(), static_cast<int>(der.size()), outPem.out(), &n), 0);
        EXPECT_EQ(outPem.str(n), pem);
        // PEM given is handed back byte for byte, whatever surrounds it.
        const std::string padded = "\r\n  " + pem + "\n\n";
        ASSERT_EQ(VCL_X509_Conv_Cert2PEM(padded.data(), static_cast<int>(padded.size()), outPem.out(), &n), 0);
        EXPECT_EQ(outPem.str(n), padded);

        Buf<void> outDer;
        ASSERT_EQ(VCL_X509_Conv_Cert2DER(padded.data(), static_cast<int>(padded.size()), outDer.out(), &n), 0);
        EXPECT_EQ(outDer.str(n), openssl({"x509", "-outform", "DER"}, pem));
        EXPECT_EQ(outDer.str(n), der);
        ASSERT_EQ(VCL_X509_Conv_Cert2DER(der.data(), static_cast<int>(der.size()), outDer.out(), &n), 0);
        EXPECT_EQ(outDer.str(n), der);
    }
}

TEST(X509Conv, FormErrors) {
    const std::string der = fixture("certs/rsa2048.der");
    Buf<char> pem;
    Buf<void> out;
    int n = 0;
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2PEM(nullptr, 1, pem.out(), &n)), 0xa9010002u);
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2PEM(der.data(), 0, pem.out(), &n)), 0xa9010002u);
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2PEM(der.data(), 10, nullptr, &n)), 0xa9010061u);
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2PEM("\x30\x05\x02", 3, pem.out(), &n)), 0x4300004fu);
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2DER(nullptr, 1, out.out(), &n)), 0xa9020002u);
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2DER(der.data(), 10, out.out(), nullptr)), 0xa9020061u);
    const std::string noBody = "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n";
    EXPECT_EQ(rc(VCL_X509_Conv_Cert2DER(noBody.data(), static_cast<int>(noBody.size()), out.out(), &n)), 0xa9020069u);
    EXPECT_FALSE(out);
    X509_CERT* cert = nullptr;
    EXPECT_EQ(rc(VCL_X509_conv_cert2x509(nullptr, 1, &cert)), 0xa9510002u);
    EXPECT_EQ(rc(VCL_X509_conv_cert2x509(der.data(), -1, &cert)), 0xa9510002u);
    EXPECT_EQ(rc(VCL_X509_conv_cert2x509(der.data(), 10, nullptr)), 0xa9510061u);
    // A length one byte short of the certificate: the reader stays within it.
    coretest::Exact shortDer(der.substr(0, der.size() - 1));
    EXPECT_EQ(rc(VCL_X509_conv_cert2x509(shortDer.c(), shortDer.n(), &cert)), 0x4300004fu);
    EXPECT_EQ(cert, nullptr);
}

TEST(X509Conv, RsaUnitOfACertificate) {
    const std::string der = fixture("certs/rsa4096.der");
    RSA_UNIT* rsa = VSC_New_RSA();
    ASSERT_EQ(VCL_X509_get_rsaunit(der.data(), static_cast<int>(der.size()), rsa), 0);
    Info r = record(der);
    unsigned char n[512];
    ASSERT_EQ(VSC_BIGINT_To_Binary_Unsigned(rsa->n, n), 512);
    EXPECT_EQ(hex(n, 512), hex(r->modulus, r->modulusLen));
    const std::string ec = fixture("certs/ec.der");
    EXPECT_EQ(rc(VCL_X509_get_rsaunit(ec.data(), static_cast<int>(ec.size()), rsa)), 0xa9520063u);
    EXPECT_EQ(rc(VCL_X509_get_rsaunit(der.data(), static_cast<int>(der.size()), nullptr)), 0xa9520061u);
    VSC_Free_RSA(rsa);
}

// ---- Text makers -------------------------------------------------------------

X509_TIME* timeValue(int type, const std::string& text) {
    X509_TIME* t = new_X509_TIME();
    t->type = type;
    t->value = new_ASN1_STRING();
    set_ASN1_STRING_value(t->value, type == X509_TIME_UTC ? ASN1_TAG_UTC_TIME : ASN1_TAG_GENERALIZED_TIME,
                          coretest::u8(text), static_cast<int>(text.size()));
    return t;
}

TEST(X509Conv, TimeTexts) {
    const struct {
        int type;
        const char* text;
        const char* seconds;
        const char* gmt;  // null: refused
    } cases[] = {
        {X509_TIME_UTC, "491231235959Z", "00", "20491231235959"},
        {X509_TIME_UTC, "500101000000Z", "00", "19500101000000"},
        {X509_TIME_UTC, "0912312359Z", "59", "20091231235959"},  // seconds left out
        {X509_TIME_UTC, "0912312359Z", "00", "20091231235900"},
        // Offsets are applied: the texts are GMT.
        {X509_TIME_UTC, "0912312359+0900", "59", "20091231145959"},
        {X509_TIME_UTC, "250101000000-0130", "00", "20250101013000"},
        {X509_TIME_GENERALIZED, "20500101000000Z", "00", "20500101000000"},
        {X509_TIME_GENERALIZED, "20500101000000.123Z", "00", "20500101000000"},
        {X509_TIME_GENERALIZED, "205001010000Z", "59", "20500101000059"},
        {X509_TIME_GENERALIZED, "20491231235959-0001", "00", "20500101000059"},
        // Shorter than their form, no zone, bad fields.
        {X509_TIME_UTC, "09123123Z", "00", nullptr},
        {X509_TIME_UTC, "091231235959", "00", nullptr},
        {X509_TIME_UTC, "091331235959Z", "00", nullptr},
        {X509_TIME_UTC, "0912312359+09", "00", nullptr},
        {X509_TIME_GENERALIZED, "2050010100Z", "00", nullptr},
        {X509_TIME_GENERALIZED, "20500101000060Z", "00", nullptr},
        {X509_TIME_GENERALIZED, "20500101000000Zjunk", "00", nullptr},
    };
    for (const auto& c : cases) {
        Own<X509_TIME, free_X509_TIME> t(timeValue(c.type, c.text));
        Buf<char> text;
        const int r = VCL_X509_time_to_str(t.get(), c.seconds, text.out());
        if (c.gmt) {
            EXPECT_EQ(r, 0) << c.text;
            EXPECT_EQ(text.str(), c.gmt) << c.text;
        } else {
            EXPECT_EQ(rc(r), 0xa9570003u) << c.text;
            EXPECT_FALSE(text) << c.text;
        }
    }
    Own<X509_TIME, free_X509_TIME> other(timeValue(X509_TIME_UTC, "250101000000Z"));
    other->type = 2;
    Buf<char> text;
    EXPECT_EQ(rc(VCL_X509_time_to_str(other.get(), "00", text.out())), 0xa9570003u);
    EXPECT_EQ(rc(VCL_X509_time_to_str(nullptr, "00", text.out())), 0xa9570002u);
}

TEST(X509Conv, SerialAndAlgorithmTexts) {
    const struct {
        const char* hex;
        const char* dec;
        const char* text;
    } serials[] = {{"01", "1", "01"}, {"80", "128", "0080"}, {"7FFF", "32767", "7FFF"}, {"0", "0", "00"}};
    for (const auto& s : serials) {
        Own<BIGINT, VSC_Free_BIGINT> n(VSC_HEX_To_BIGINT(s.hex));
        Buf<char> text;
        ASSERT_EQ(VCL_X509_bigint_to_str(n.get(), text.out(), 2), 0);
        EXPECT_EQ(text.str(), s.text);
        ASSERT_EQ(VCL_X509_bigint_to_str(n.get(), text.out(), 1), 0);
        EXPECT_EQ(text.str(), s.dec);
    }
    const struct {
        const char* oid;
        const char* text;
    } algorithms[] = {
        {"1.2.840.113549.1.1.11", "1.2.840.113549.1.1.11|rsa-sha256|sha256WithRSAEncryption"},
        {"1.2.410.200004.1.21", "1.2.410.200004.1.21|kcdsa1|kcdsa1"},
        {"1.2.3.4.5", "0.0|undef|undefined"},
    };
    for (const auto& a : algorithms) {
        Own<ASN1_STRING, free_ASN1_STRING> oid(new_OBJECT_IDENTIFIER(a.oid, static_cast<int>(std::strlen(a.oid))));
        Buf<char> text;
        ASSERT_EQ(VCL_X509_oid_to_str(oid.get(), text.out(), '|'), 0);
        EXPECT_EQ(text.str(), a.text);
    }
    Buf<char> text;
    EXPECT_EQ(rc(VCL_X509_bigint_to_str(nullptr, text.out(), 1)), 0xa9550002u);
    EXPECT_EQ(rc(VCL_X509_oid_to_str(nullptr, text.out(), '|')), 0xa9560002u);
}

// ---- Time texts read back ----------------------------------------------------

TEST(X509Conv, TimeTextsReadAsLocalTime) {
    Zone zone("Asia/Seoul");
    UTC_TIME* utc = nullptr;
    ASSERT_EQ(VCL_X509_str_to_utc_time("20250101120000", &utc, UTC_TIME_YYMMDDHHMMSSZ), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(utc->data), "250101030000Z");
    free_UTC_TIME(utc);
    utc = nullptr;
    ASSERT_EQ(VCL_X509_str_to_utc_time("202501011200", &utc, UTC_TIME_YYMMDDHHMMSSZ), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(utc->data), "250101030000Z");
    free_UTC_TIME(utc);
    utc = nullptr;
    EXPECT_EQ(rc(VCL_X509_str_to_utc_time("20250101120", &utc, 2)), 0xa9610003u);
    // UTCTime has no form for 2050: a failure, not success without a value.
    EXPECT_EQ(rc(VCL_X509_str_to_utc_time("20550101120000", &utc, 2)), 0xa9610003u);
    EXPECT_EQ(rc(VCL_X509_str_to_utc_time("2025x101120000", &utc, 2)), 0xa9610003u);
    EXPECT_EQ(utc, nullptr);
    EXPECT_EQ(rc(VCL_X509_str_to_utc_time(nullptr, &utc, 2)), 0xa9610002u);
    EXPECT_EQ(rc(VCL_X509_str_to_utc_time("20250101120000", nullptr, 2)), 0xa9610061u);

    ASN1_TIME* t = nullptr;
    ASSERT_EQ(VCL_X509_str_to_asn1_time("20250102030405", &t), 0);
    EXPECT_EQ(t->tm_year, 125);
    EXPECT_EQ(t->tm_mday, 2);
    EXPECT_EQ(t->tm_sec, 5);
    free_ASN1_TIME(t);
    t = nullptr;
    EXPECT_EQ(rc(VCL_X509_str_to_asn1_time("20251302030405", &t)), 0xa9660003u);
    EXPECT_EQ(rc(VCL_X509_str_to_asn1_time("2025", &t)), 0xa9660003u);
}

// Korean time is GMT + 9 h in every host zone, across New York's daylight
// saving changes: 2,000 instants against date(1) under Asia/Seoul.
TEST(X509Conv, KoreanTimeEqualsDateInEveryHostZone) {
    std::mt19937_64 random(20240601);
    std::vector<long long> instants = {1710054000, 1710057600, 1730613600, 1730617200};  // around US changes
    std::uniform_int_distribution<long long> range(631152000, 4102444799);               // 1990-2099
    while (instants.size() < 2000) instants.push_back(range(random));
    std::string input;
    for (long long t : instants) input += "@" + std::to_string(t) + "\n";
    const auto seoul = zqtest::run({"date", "-f", "-", "+%Y%m%d%H%M%S"}, input, {"TZ=Asia/Seoul"});
    ASSERT_EQ(seoul.status, 0);
    std::vector<std::string> expected;
    std::istringstream lines(seoul.output);
    for (std::string line; std::getline(lines, line);) expected.push_back(line);
    ASSERT_EQ(expected.size(), instants.size());
    for (const char* tz : kZones) {
        Zone zone(tz);
        int wrong = 0;
        for (size_t i = 0; i < instants.size(); ++i) {
            const time_t t = static_cast<time_t>(instants[i]);
            struct tm g {};
            gmtime_r(&t, &g);
            char gmt[16], out[15] = {};
            std::strftime(gmt, sizeof gmt, "%Y%m%d%H%M%S", &g);
            if (VCL_GenTime_To_LocalTime(gmt, out) != 0 || expected[i] != out) ++wrong;
        }
        EXPECT_EQ(wrong, 0) << tz;
    }
    char out[15];
    ASSERT_EQ(VCL_GenTime_To_LocalTime("20241231200000", out), 0);
    EXPECT_STREQ(out, "20250101050000");
    ASSERT_EQ(VCL_GenTime_To_LocalTime("20241231200000Z", out), 0);
    EXPECT_STREQ(out, "20250101050000");
    for (const char* bad : {"2024123120000", "20241331200000", "2024123120000x", "20241231200000+0900", ""})
        EXPECT_EQ(rc(VCL_GenTime_To_LocalTime(bad, out)), 0xa9640118u) << bad;
    EXPECT_EQ(rc(VCL_GenTime_To_LocalTime(nullptr, out)), 0xa9640002u);
}

// ---- Binary forms ----------------------------------------------------------

TEST(X509Conv, NamesAndPublicKeys) {
    const std::string der = fixture("certs/rsa2048.der");
    Cert cert = decodeCert(der);
    Info r = record(der);
    Buf<unsigned char> bytes;
    int n = 0;
    ASSERT_EQ(VCL_X509_name_to_binary(get_X509_subject(cert.get()), bytes.out(), &n), 0);
    EXPECT_EQ(hex(bytes.p, n), hex(r->subjectDER, r->subjectDERLen));
    ASSERT_EQ(VCL_X509_pubkey_to_binary(get_X509_SPKI(cert.get()), bytes.out(), &n), 0);
    const std::string spki = openssl({"x509", "-inform", "DER", "-noout", "-pubkey"}, der);
    const std::string spkiDer = openssl({"pkey", "-pubin", "-outform", "DER"}, spki);
    EXPECT_EQ(bytes.str(n), spkiDer);

    X509_PUBKEY* key = nullptr;
    ASSERT_EQ(VCL_X509_binary_to_pubkey(bytes.p, n, &key), 0);
    Own<X509_PUBKEY, free_X509_PUBKEY> back(key);
    EXPECT_EQ(cmp_X509_PUBKEY(back.get(), get_X509_SPKI(cert.get())), 0);
    key = nullptr;
    ASSERT_EQ(VCL_X509_get_pubkey(r.get(), &key), 0);
    Own<X509_PUBKEY, free_X509_PUBKEY> fromRecord(key);
    EXPECT_EQ(cmp_X509_PUBKEY(fromRecord.get(), get_X509_SPKI(cert.get())), 0);

    // Bytes that do not decode are a failure, the out-pointer kept.
    X509_PUBKEY* kept = reinterpret_cast<X509_PUBKEY*>(0x1);
    EXPECT_EQ(rc(VCL_X509_binary_to_pubkey(bytes.p, n - 1, &kept)), 0xa963003du);
    EXPECT_EQ(rc(VCL_X509_binary_to_pubkey(coretest::u8("\x30\x03\x02\x01\x01"), 5, &kept)), 0xa963003du);
    EXPECT_EQ(kept, reinterpret_cast<X509_PUBKEY*>(0x1));
    EXPECT_EQ(rc(VCL_X509_binary_to_pubkey(nullptr, 5, &kept)), 0xa9630002u);
    EXPECT_EQ(rc(VCL_X509_get_pubkey(nullptr, &kept)), 0xa95d0002u);
    EXPECT_EQ(rc(VCL_X509_name_to_binary(nullptr, bytes.out(), &n)), 0xa9620002u);
}

TEST(X509Conv, PublicKeysFromBits) {
    // An RSAPublicKey as openssl writes it.
    const std::string rsaBits =
        openssl({"rsa", "-pubin", "-RSAPublicKey_out", "-outform", "DER"},
                openssl({"x509", "-inform", "DER", "-noout", "-pubkey"}, fixture("certs/rsa2048.der")));
    X509_PUBKEY* key = nullptr;
    ASSERT_EQ(VCL_X509_mk_pubkey("1.2.840.113549.1.1.1", coretest::u8(rsaBits), coretest::len(rsaBits), &key), 0);
    Own<X509_PUBKEY, free_X509_PUBKEY> rsa(key);
    ASSERT_NE(rsa->key, nullptr);
    EXPECT_EQ(rsa->key->kind, ASYMMETRIC_KEY_RSA);
    EXPECT_EQ(index_from_OBJECT_IDENTIFIER(rsa->algorithm), 6);
    EXPECT_EQ(VSC_Get_BIGINT_Bits_Length(static_cast<RSA_UNIT*>(rsa->key->key)->n), 2048);
    // A KCDSA public value: one INTEGER.
    const std::string y = "\x02\x03\x01\x00\x01"s;
    key = nullptr;
    ASSERT_EQ(VCL_X509_mk_pubkey("1.2.410.200004.1.21", coretest::u8(y), coretest::len(y), &key), 0);
    Own<X509_PUBKEY, free_X509_PUBKEY> kcdsa(key);
    EXPECT_EQ(kcdsa->key->kind, ASYMMETRIC_KEY_KCDSA);
    // Any other algorithm is refused, not answered with success and nothing.
    key = nullptr;
    EXPECT_EQ(rc(VCL_X509_mk_pubkey("1.2.840.10045.2.1", coretest::u8(y), coretest::len(y), &key)), 0xa95e006cu);
    EXPECT_NE(VCL_X509_mk_pubkey("1.2.840.113549.1.1.1", coretest::u8(y), coretest::len(y), &key), 0);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(rc(VCL_X509_mk_pubkey(nullptr, coretest::u8(y), 5, &key)), 0xa95e0002u);
    EXPECT_EQ(rc(VCL_X509_mk_pubkey("1.2.840.113549.1.1.1", coretest::u8(y), 5, nullptr)), 0xa95e0061u);
}

// A DigestInfo as PKCS#1 v1.5 signatures carry it: equal to the one openssl
// signed, recovered with openssl pkeyutl.
TEST(X509Conv, DigestInfoEqualsOpensslSignatures) {
    zqtest::TempDir dir("digestinfo");
    openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024", "-out", dir / "k.pem"});
    const std::string data = "the signed content";
    zqtest::writeFile(dir / "data", data);
    for (const char* name : {"SHA1", "SHA256", "SHA384", "SHA512"}) {
        SCOPED_TRACE(name);
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        openssl({"dgst", "-" + lower, "-sign", dir / "k.pem", "-out", dir / "sig", dir / "data"});
        const std::string info = openssl({"pkeyutl", "-verifyrecover", "-inkey", dir / "k.pem", "-pkeyopt",
                                          "rsa_padding_mode:pkcs1", "-in", dir / "sig"});
        const std::string digest = openssl({"dgst", "-" + lower, "-binary", dir / "data"});
        Buf<unsigned char> der;
        int n = 0;
        ASSERT_EQ(VCL_X509_SIGN_to_binary(name, coretest::u8(digest), coretest::len(digest), der.out(), &n), 0);
        EXPECT_EQ(der.str(n), info);

        DIGEST_INFO_TEXT text{};
        ASSERT_EQ(VCL_binary_to_X509_SIGN(der.p, n, &text), 0);
        EXPECT_EQ(text.reserved, nullptr);
        EXPECT_EQ(text.digestLen, coretest::len(digest));
        std::string expectedHex;
        for (unsigned char b : digest) {
            char h[4];
            std::snprintf(h, sizeof h, expectedHex.empty() ? "%02X" : ":%02X", b);
            expectedHex += h;
        }
        EXPECT_EQ(std::string(text.digest), expectedHex);
        EXPECT_EQ(std::string(text.algorithm).substr(0, 2), lower == "sha1" ? "1." : "2.");
        std::free(text.algorithm);
        std::free(text.digest);

        // A digest of another length is refused: it would be signed as this one.
        EXPECT_EQ(rc(VCL_X509_SIGN_to_binary(name, coretest::u8(digest), coretest::len(digest) - 1, der.out(), &n)),
                  0xa964000au);
    }
    Buf<unsigned char> der;
    int n = 0;
    EXPECT_EQ(rc(VCL_X509_SIGN_to_binary("SHA256", nullptr, 32, der.out(), &n)), 0xa9640002u);
    EXPECT_EQ(rc(VCL_X509_SIGN_to_binary("SHA256", coretest::u8("x"), 32, nullptr, &n)), 0xa9640002u);
    EXPECT_EQ(rc(VCL_X509_SIGN_to_binary("NOSUCH", coretest::u8("x"), 1, der.out(), &n)), 0xa9640006u);
    DIGEST_INFO_TEXT text{};
    EXPECT_EQ(VCL_binary_to_X509_SIGN(coretest::u8("\x30\x03\x02\x01\x01"), 5, &text), -1);
    EXPECT_EQ(VCL_binary_to_X509_SIGN(coretest::u8("\x04\x01"), 2, &text), -1);
    EXPECT_EQ(text.algorithm, nullptr);
    EXPECT_EQ(rc(VCL_binary_to_X509_SIGN(nullptr, 5, &text)), 0xa9640002u);
}

// ---- Attributes and extensions ---------------------------------------------

void freeAttributes(X509_ATTRIBUTES* list) { free_X509_ATTRIBUTES(list); }

TEST(X509Conv, AttributeValuesAreReadNotTaken) {
    Own<X509_ATTRIBUTES, freeAttributes> list(new_X509_ATTRIBUTES());
    Own<ASN1_STRING, free_ASN1_STRING> when(new_ASN1_STRING());
    set_ASN1_STRING_value(when.get(), ASN1_TAG_UTC_TIME, coretest::u8("250101000000Z"), 13);
    ASSERT_EQ(add_X509_ATTRIBUTES_OID_INDEX(list.get(), 52, ASN1_TAG_UTC_TIME, when.get(), -1), 0);
    ASN1_STRING* out = nullptr;
    for (int round = 0; round < 2; ++round) {  // the attribute still holds its value after a read
        ASSERT_EQ(VCL_X509_attributes_get_asn1_string(list.get(), 52, &out), 0);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out->data), out->length), "250101000000Z");
        free_ASN1_STRING(out);
        out = nullptr;
    }
    EXPECT_EQ(get_X509_ATTRIBUTE_count(get_X509_ATTRIBUTES_child(list.get(), 0)), 1);
    // No attribute of the row: NULL. Two values: left as it was.
    out = reinterpret_cast<ASN1_STRING*>(0x1);
    ASSERT_EQ(VCL_X509_attributes_get_asn1_string(list.get(), 789, &out), 0);
    EXPECT_EQ(out, nullptr);
    add_X509_ATTRIBUTE_data(get_X509_ATTRIBUTES_child(list.get(), 0), ASN1_TAG_UTC_TIME, when.get());
    out = reinterpret_cast<ASN1_STRING*>(0x1);
    ASSERT_EQ(VCL_X509_attributes_get_asn1_string(list.get(), 52, &out), 0);
    EXPECT_EQ(out, reinterpret_cast<ASN1_STRING*>(0x1));
    EXPECT_EQ(rc(VCL_X509_attributes_get_asn1_string(nullptr, 52, &out)), 0xa95b0002u);
}

TEST(X509Conv, SubjectKeyIdentifier) {
    Cert cert = decodeCert(fixture("certs/py-2055.der"));
    ASN1_STRING* id = nullptr;
    ASSERT_EQ(VCL_X509_get_subjectkeyidentifier(cert.get(), &id), 0);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(id->data), id->length), std::string(20, '\xaa'));
    free_ASN1_STRING(id);
    Cert v1 = decodeCert(fixture("certs/v1.der"));
    id = nullptr;
    EXPECT_EQ(VCL_X509_get_subjectkeyidentifier(v1.get(), &id), 0);
    EXPECT_EQ(id, nullptr);
}

// ---- A KCDSA certificate of libzunPKI's signer -------------------------------

std::map<std::string, std::string> kcdsaVector(int index) {
    const auto run =
        zqtest::run({zqtest::kPython, "-c",
                     "import json,sys\n"
                     "c=json.load(open(sys.argv[1]))['cases'][int(sys.argv[2])]\n"
                     "[print(k, v) for k, v in c.items() if isinstance(v, str)]\n",
                     zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json", std::to_string(index)});
    EXPECT_EQ(run.status, 0);
    std::map<std::string, std::string> out;
    std::istringstream in(run.output);
    for (std::string k, v; in >> k >> v;) out[k] = v;
    return out;
}

// The identity-data certificate of libzunPKI's tests with the KCDSA key of
// the standard's 2048-bit example, signed by libzunPKI with KCDSA and
// SHA-256: its record, signature and identity data.
TEST(X509Conv, KcdsaCertificateOfOurSigner) {
    const auto v = kcdsaVector(2);
    Own<BIGINT, VSC_Free_BIGINT> p(VSC_HEX_To_BIGINT(v.at("P").c_str())), q(VSC_HEX_To_BIGINT(v.at("Q").c_str())),
        g(VSC_HEX_To_BIGINT(v.at("G").c_str())), x(VSC_HEX_To_BIGINT(v.at("X").c_str()));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    key->kind = ASYMMETRIC_KEY_KCDSA;
    key->key = unit;
    Own<ASYMMETRIC_KEY, free_ASYMMETRIC_KEY> ownKey(key);
    Own<X509_PUBKEY, free_X509_PUBKEY> pub(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(pub.get(), unit), 0);

    const std::string vidDer = fixture("certs/vid.der");
    Cert cert = decodeCert(vidDer);
    ASSERT_EQ(set_X509_pub_key(cert.get(), pub.get()), 0);
    Own<ASN1_STRING, free_ASN1_STRING> alg(index_to_OBJECT_IDENTIFIER(841));  // KCDSA1withSHA256
    ASSERT_EQ(set_X509_signature(cert.get(), alg.get()), 0);
    ASSERT_EQ(gen_SIG_X509_Cert(cert.get(), key), 0);
    ASN1_UNIT* node = nullptr;
    ASSERT_EQ(X509_CERT_to_Seq(cert.get(), &node), 0);
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node, &bytes);
    free_ASN1_UNIT(node);
    ASSERT_GT(n, 0);
    const std::string der(reinterpret_cast<char*>(bytes), static_cast<size_t>(n));
    VSC_FREE(bytes);

    Info r = record(der);
    ASSERT_TRUE(r);
    Info original = record(vidDer);
    EXPECT_STREQ(r->pubkeyAlg, "1.2.410.200004.1.21|kcdsa1|kcdsa1");
    EXPECT_STREQ(r->signatureAlg, "1.2.410.200004.1.38|kcdsa1withsha256|kcdsa1WithSHA256");
    EXPECT_EQ(r->keyBits, 2048);
    EXPECT_EQ(hex(r->modulus, r->modulusLen), [&] {
        std::string s = v.at("P");
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }());
    for (char* X509_Info::*f :
         {&X509_Info::subjectDN, &X509_Info::issuerDN, &X509_Info::serialHex, &X509_Info::validityFrom,
          &X509_Info::validityTo, &X509_Info::subjectAltName, &X509_Info::authorityKeyId})
        EXPECT_STREQ((*r).*f, (*original).*f);
    EXPECT_EQ(std::string(r->subjectAltName).find("|KISA_ID_DATA|" + eucKr("홍길동") + "|1.2.410.200004.10.1.1.1|VID|"),
              0u);
    // Self-signed with that key, the identity data kept.
    EXPECT_EQ(
        VCL_X509_Verify_Signature(der.data(), static_cast<int>(der.size()), der.data(), static_cast<int>(der.size())),
        0);
    EXPECT_EQ(VCL_X509_Exist_VID(der.data(), static_cast<int>(der.size())), 0);
    std::istringstream holder(fixture("vid.txt"));
    std::string idn, random;
    holder >> idn >> random;
    const std::string rnd = fromHex(random);
    EXPECT_EQ(VCL_X509_Check_VID(der.data(), static_cast<int>(der.size()), coretest::u8(rnd), coretest::len(rnd),
                                 idn.c_str(), static_cast<int>(idn.size())),
              0);
}

}  // namespace

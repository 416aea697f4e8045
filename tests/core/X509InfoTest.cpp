// The X.509 information record: every field of certificates openssl,
// python3-cryptography and libzunPKI's own signer made, against openssl x509
// and python3-cryptography; the getters, the item split, the limits of the
// texts and the extensions' corner cases.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509v3_gn.h>

#include "X509Helpers.h"

using namespace x509test;
using coretest::Buf;
using namespace std::string_literals;

extern "C" size_t x509InfoSizeInC(void);

namespace {

// The record as the store, a C program, sees it.
TEST(X509Info, LayoutInC) { EXPECT_EQ(x509InfoSizeInC(), sizeof(X509_Info)); }

const char* const kCerts[] = {"v1.der",        "rsa2048.der", "rsa4096.der", "pss.der",     "ec.der",  "window.der",
                              "py-korean.der", "py-bmp.der",  "py-cdp.der",  "py-2055.der", "vid.der", "all.der"};

std::map<std::string, std::string> expectation(const std::string& file) {
    const auto run = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/core/x509_expect.py", file});
    EXPECT_EQ(run.status, 0) << file;
    std::map<std::string, std::string> out;
    std::istringstream in(run.output);
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) out[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return out;
}

// The length a DER element's header gives.
int derLength(const unsigned char* der) {
    if (der[1] < 0x80) return 2 + der[1];
    int n = 0;
    const int octets = der[1] & 0x7f;
    for (int i = 0; i < octets; ++i) n = n << 8 | der[2 + i];
    return 2 + octets + n;
}

std::string item(const X509_Info* info, int (*getter)(const X509_Info*, char**, int), int part) {
    Buf<char> text;
    EXPECT_EQ(getter(info, text.out(), part), 0);
    return text.str();
}

// Compares every field of the record with the peers' expectation.
void expectFields(const X509_Info& r, const std::map<std::string, std::string>& e) {
    EXPECT_EQ(r.format, 1);
    EXPECT_EQ(r.separator, '|');
    EXPECT_EQ(std::to_string(r.version), e.at("version"));
    const struct {
        const char* name;
        char* const* field;
    } texts[] = {
        {"serialHex", &r.serialHex},
        {"serialDec", &r.serialDec},
        {"subjectDN", &r.subjectDN},
        {"issuerDN", &r.issuerDN},
        {"validityFrom", &r.validityFrom},
        {"validityTo", &r.validityTo},
        {"subjectKeyId", &r.subjectKeyId},
        {"keyUsage", &r.keyUsage},
        {"subjectAltName", &r.subjectAltName},
        {"crlDistPoints", &r.crlDistPoints},
        {"authorityInfoAccess", &r.authorityInfoAccess},
        {"authorityInfoURI", &r.authorityInfoURI},
        {"authorityKeyId", &r.authorityKeyId},
        {"policies", &r.policies},
        {"policyIds", &r.policyIds},
        {"extKeyUsage", &r.extKeyUsage},
    };
    for (const auto& t : texts) {
        const std::string& want = e.at(t.name);
        if (want == "-")
            EXPECT_EQ(*t.field, nullptr) << t.name << ": " << *t.field;
        else
            EXPECT_EQ(*t.field ? std::string(*t.field) : "(null)", eucKr(want)) << t.name;
    }
    EXPECT_EQ(hex(r.subjectDER, r.subjectDERLen), e.at("subjectDER"));
    EXPECT_EQ(hex(r.pubkey, r.pubkeyLen), e.at("pubkey"));
    ASSERT_NE(r.pubkeyDER, nullptr);
    EXPECT_EQ(hex(r.pubkeyDER, derLength(r.pubkeyDER)), e.at("pubkeyDER"));
    EXPECT_EQ(std::to_string(r.keyBits), e.at("keyBits"));
    if (e.at("modulus") == "-") {
        EXPECT_EQ(r.modulus, nullptr);
        EXPECT_EQ(r.modulusLen, 0);
    } else {
        EXPECT_EQ(hex(r.modulus, r.modulusLen), e.at("modulus"));
    }
    EXPECT_EQ(hex(r.signature, r.signatureLen), e.at("signature"));
    EXPECT_EQ(item(&r, VCL_X509_Info_Get_SignatureAlg, 0), e.at("signatureAlg.0"));
    EXPECT_EQ(item(&r, VCL_X509_Info_Get_PubkeyAlg, 0), e.at("pubkeyAlg.0"));
    EXPECT_EQ(r.reserved1, nullptr);
    EXPECT_EQ(r.reserved2, nullptr);
}

TEST(X509Info, RecordsEqualOpensslAndPython) {
    ASSERT_FALSE(fixtures().empty());
    for (const char* name : kCerts) {
        SCOPED_TRACE(name);
        const std::string path = fixtures() + "/certs/" + name;
        const std::string der = zqtest::readFile(path);
        const auto e = expectation(path);
        ASSERT_FALSE(e.empty());
        int code = 0;
        Info fromDer = record(der, '|', &code);
        ASSERT_EQ(code, 0);
        expectFields(*fromDer, e);
        // The same certificate as PEM, with blank lines before it.
        Info fromPem = record("\n \r\n" + pemOf(der), '|', &code);
        ASSERT_EQ(code, 0);
        expectFields(*fromPem, e);
    }
}

// Spot checks of the forms whatever the peers say: names and texts as they
// are written out.
TEST(X509Info, TextForms) {
    Info rsa = record(fixture("certs/rsa2048.der"));
    ASSERT_TRUE(rsa);
    EXPECT_STREQ(rsa->signatureAlg, "1.2.840.113549.1.1.11|rsa-sha256|sha256WithRSAEncryption");
    EXPECT_STREQ(rsa->pubkeyAlg, "1.2.840.113549.1.1.1|rsaencryption|rsaEncryption");
    EXPECT_STREQ(rsa->serialHex, "008F00AB");  // the top bit set: a leading 00, as the DER carries it
    EXPECT_STREQ(rsa->subjectDN, "cn=RSA 2048,ou=RA,o=Core Test,c=KR");
    EXPECT_STREQ(rsa->keyUsage, "C0");
    EXPECT_EQ(rsa->keyBits, 2048);
    // A v1 certificate: no extension fields.
    Info v1 = record(fixture("certs/v1.der"));
    ASSERT_TRUE(v1);
    EXPECT_EQ(v1->version, 0);
    for (char* X509_Info::*f :
         {&X509_Info::authorityKeyId, &X509_Info::subjectKeyId, &X509_Info::subjectAltName, &X509_Info::crlDistPoints,
          &X509_Info::authorityInfoAccess, &X509_Info::authorityInfoURI, &X509_Info::keyUsage, &X509_Info::policies,
          &X509_Info::policyIds, &X509_Info::extKeyUsage})
        EXPECT_EQ((*v1).*f, nullptr);
    // An EC key: no size, but its bits and DER.
    Info ec = record(fixture("certs/ec.der"));
    ASSERT_TRUE(ec);
    EXPECT_EQ(ec->keyBits, 0);
    EXPECT_EQ(ec->modulus, nullptr);
    EXPECT_EQ(ec->pubkeyLen, 65);
    EXPECT_NE(ec->pubkeyDER, nullptr);
    // notAfter past 2049 is a GeneralizedTime.
    Info late = record(fixture("certs/py-2055.der"));
    ASSERT_TRUE(late);
    EXPECT_STREQ(late->validityTo, "20551231235959");
    // A line feed as separator is stored as '|'.
    Info lf = record(fixture("certs/rsa2048.der"), '\n');
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->separator, '|');
    Info semi = record(fixture("certs/rsa2048.der"), ';');
    ASSERT_TRUE(semi);
    EXPECT_STREQ(semi->signatureAlg, "1.2.840.113549.1.1.11;rsa-sha256;sha256WithRSAEncryption");
}

TEST(X509Info, BuildingErrors) {
    X509_Info* info = nullptr;
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info(nullptr, 10, '|', &info)), 0xa9030002u);
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info("x", 0, '|', &info)), 0xa9030002u);
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info("x", 1, '|', nullptr)), 0xa9030061u);
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info("\x30\x03\x02\x01\x01", 5, '|', &info)), 0x460f0104u);
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info("\x30\x05\x02", 3, '|', &info)), 0x4300004fu);
    EXPECT_EQ(rc(VCL_X509_Init_X509_Info("-----BEGIN CERTIFICATE-----\n", 28, '|', &info)), 0xa9510069u);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(rc(VCL_X509_new_x509_info(nullptr, '|')), 0xa9530061u);
    EXPECT_EQ(rc(VCL_X509_conv_x509_to_x509info(nullptr, nullptr)), 0xa9540002u);
    Cert cert = decodeCert(fixture("certs/rsa2048.der"));
    EXPECT_EQ(rc(VCL_X509_conv_x509_to_x509info(cert.get(), nullptr)), 0xa9540061u);
    EXPECT_EQ(rc(VCL_X509_parse_extensions(nullptr, nullptr)), 0xa95a0002u);
    EXPECT_EQ(rc(VCL_X509_mk_extstr(nullptr, nullptr)), 0xa9590002u);
    VCL_X509_Free_X509_Info(nullptr);
}

TEST(X509Info, Getters) {
    Info r = record(fixture("certs/rsa2048.der"));
    ASSERT_TRUE(r);
    Buf<char> text;
    Buf<unsigned char> bytes;
    int n = 0;
    ASSERT_EQ(VCL_X509_Info_Get_IssuerDN(r.get(), text.out()), 0);
    EXPECT_EQ(text.str(), "cn=Core Root CA,o=Core Test,c=KR");
    ASSERT_EQ(VCL_X509_Info_Get_SubjectDN(r.get(), text.out()), 0);
    EXPECT_EQ(text.str(), r->subjectDN);
    ASSERT_EQ(VCL_X509_Info_Get_SubjectDN_DER(r.get(), bytes.out()), 0);
    EXPECT_EQ(bytes.str(r->subjectDERLen), std::string(reinterpret_cast<char*>(r->subjectDER), r->subjectDERLen));
    ASSERT_EQ(VCL_X509_Info_Get_Serial(r.get(), text.out(), 1), 0);
    EXPECT_EQ(text.str(), "9371819");
    ASSERT_EQ(VCL_X509_Info_Get_Serial(r.get(), text.out(), 2), 0);
    EXPECT_EQ(text.str(), "008F00AB");
    EXPECT_EQ(rc(VCL_X509_Info_Get_Serial(r.get(), text.out(), 3)), 0xa90c006bu);
    ASSERT_EQ(VCL_X509_Info_Get_ValidityFrom(r.get(), text.out()), 0);
    EXPECT_EQ(text.str(), "20240101000000");
    ASSERT_EQ(VCL_X509_Info_Get_ValidityTo(r.get(), text.out()), 0);
    EXPECT_EQ(text.str(), "20340101000000");
    ASSERT_EQ(VCL_X509_Info_Get_Pubkey(r.get(), bytes.out(), &n), 0);
    EXPECT_EQ(n, r->pubkeyLen);
    ASSERT_EQ(VCL_X509_Info_Get_Signature(r.get(), bytes.out(), &n), 0);
    EXPECT_EQ(n, 256);
    const char* parts[] = {"1.2.840.113549.1.1.1", "rsaencryption", "rsaEncryption"};
    for (int part = 0; part < 3; ++part) {
        ASSERT_EQ(VCL_X509_Info_Get_PubkeyAlg(r.get(), text.out(), part), 0);
        EXPECT_EQ(text.str(), parts[part]);
    }
    ASSERT_EQ(VCL_X509_Info_Get_SignatureAlg(r.get(), text.out(), 1), 0);
    EXPECT_EQ(text.str(), "rsa-sha256");
    EXPECT_EQ(rc(VCL_X509_Info_Get_PubkeyAlg(r.get(), text.out(), 3)), 0xa911006cu);
    EXPECT_EQ(rc(VCL_X509_Info_Get_SignatureAlg(r.get(), text.out(), -1)), 0xa912006cu);

    // Codes of a NULL record and a NULL out-pointer, in each getter's category.
    const struct {
        unsigned category;
        int (*get)(const X509_Info*, char**);
    } textGetters[] = {{0xa90a, VCL_X509_Info_Get_IssuerDN},
                       {0xa90b, VCL_X509_Info_Get_SubjectDN},
                       {0xa90d, VCL_X509_Info_Get_ValidityFrom},
                       {0xa90e, VCL_X509_Info_Get_ValidityTo}};
    for (const auto& g : textGetters) {
        EXPECT_EQ(rc(g.get(nullptr, text.out())), g.category << 16 | 2);
        EXPECT_EQ(rc(g.get(r.get(), nullptr)), g.category << 16 | 0x61);
    }
    EXPECT_EQ(rc(VCL_X509_Info_Get_Pubkey(r.get(), bytes.out(), nullptr)), 0xa90f0061u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_Signature(nullptr, bytes.out(), &n)), 0xa9100002u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_SubjectDN_DER(r.get(), nullptr)), 0xa90b0061u);

    // An empty field leaves the out-pointer as it was.
    X509_Info* empty = nullptr;
    ASSERT_EQ(VCL_X509_new_x509_info(&empty, '|'), 0);
    Info blank(empty);
    char* untouched = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(VCL_X509_Info_Get_IssuerDN(blank.get(), &untouched), 0);
    EXPECT_EQ(untouched, reinterpret_cast<char*>(0x1));
    unsigned char* noBytes = reinterpret_cast<unsigned char*>(0x1);
    EXPECT_EQ(VCL_X509_Info_Get_Pubkey(blank.get(), &noBytes, &n), 0);
    EXPECT_EQ(noBytes, reinterpret_cast<unsigned char*>(0x1));
    EXPECT_EQ(rc(VCL_X509_Info_Get_Serial(blank.get(), &untouched, 1)), 0xa90c006bu);
}

TEST(X509Info, ItemSplit) {
    EXPECT_EQ(VCL_X509_get_field_cnt("a|b|c", '|'), 3);
    EXPECT_EQ(VCL_X509_get_field_cnt("a||b|", '|'), 3);  // a trailing separator adds nothing
    EXPECT_EQ(VCL_X509_get_field_cnt("", '|'), 0);
    EXPECT_EQ(VCL_X509_get_field_cnt(nullptr, '|'), 0);
    const struct {
        const char* text;
        int index;
        const char* item;  // null: none
    } cases[] = {
        {"a|b|c", 0, "a"},   {"a|b|c", 2, "c"}, {"a|b|c", 3, nullptr}, {"||a|||b|", 1, "b"},
        {"|||", 0, nullptr}, {"abc", 0, "abc"}, {"a|b", -1, nullptr},
    };
    for (const auto& c : cases) {
        Buf<char> item;
        ASSERT_EQ(VCL_X509_parse_str_at(c.text, '|', c.index, item.out()), 0) << c.text;
        if (c.item)
            EXPECT_EQ(item.str(), c.item) << c.text << " " << c.index;
        else
            EXPECT_FALSE(item) << c.text << " " << c.index;
    }
    Buf<char> item;
    const std::string fits(2047, 'x'), over(2048, 'x');
    EXPECT_EQ(VCL_X509_parse_str_at(fits.c_str(), '|', 0, item.out()), 0);
    EXPECT_EQ(item.str(), fits);
    EXPECT_EQ(rc(VCL_X509_parse_str_at(over.c_str(), '|', 0, item.out())), 0xa95f0003u);
    EXPECT_EQ(rc(VCL_X509_parse_str_at(nullptr, '|', 0, item.out())), 0xa95f0002u);
    EXPECT_EQ(rc(VCL_X509_parse_str_at("a", '|', 0, nullptr)), 0xa95f0061u);
}

TEST(X509Info, DnField) {
    const struct {
        const char* dn;
        const char* name;
        const char* value;  // null: none
    } cases[] = {
        {"cn=Hong,ou=x", "CN", "Hong"}, {"cn=Hong,ou=x", "ou", "x"},
        {"cn=Hong, ou=x", "OU", "x"},                               // blanks before a component
        {"cn=Hong,ou=x", "o", nullptr}, {"cn=a,b,o=c", "cn", "a"},  // a value with a comma is cut there
        {"c=KR,,cn=x", "cn", "x"},      {"", "cn", nullptr},
    };
    for (const auto& c : cases) {
        Buf<char> value;
        ASSERT_EQ(VCL_X509_Info_Get_DN_Field(c.dn, c.name, value.out()), 0) << c.dn;
        if (c.value)
            EXPECT_EQ(value.str(), c.value) << c.dn << " " << c.name;
        else
            EXPECT_FALSE(value) << c.dn << " " << c.name;
    }
    Buf<char> value;
    EXPECT_EQ(rc(VCL_X509_Info_Get_DN_Field(nullptr, "cn", value.out())), 0xa9190002u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_DN_Field("cn=x", nullptr, value.out())), 0xa9190002u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_DN_Field("cn=x", "cn", nullptr)), 0xa9190061u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_DN_Field("cn=x", std::string(31, 'a').c_str(), value.out())), 0xa9190003u);
    EXPECT_EQ(VCL_X509_Info_Get_DN_Field("cn=x", std::string(30, 'a').c_str(), value.out()), 0);
    EXPECT_EQ(rc(VCL_X509_Info_Get_DN_Field(("cn=" + std::string(2048, 'x')).c_str(), "cn", value.out())), 0xa95f0003u);
    // A Korean name read back from its record.
    Info korean = record(fixture("certs/py-korean.der"));
    ASSERT_TRUE(korean);
    ASSERT_EQ(VCL_X509_Info_Get_DN_Field(korean->subjectDN, "cn", value.out()), 0);
    EXPECT_EQ(value.str(), eucKr("홍길동()0012345"));
}

TEST(X509Info, CrlDistributionPoints) {
    Info r = record(fixture("certs/py-cdp.der"));
    ASSERT_TRUE(r);
    EXPECT_EQ(VCL_X509_Info_Get_CRLdp_Count(r.get()), 3);
    const char* uris[] = {"http://crl.example.com/1.crl", "ldap://ldap.example.com/cn=CRL1,ou=ca,o=x,c=kr",
                          "http://crl.example.com/2.crl"};
    Buf<char> uri;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(VCL_X509_Info_Get_CRLdp_Index(r.get(), uri.out(), i), 0);
        EXPECT_EQ(uri.str(), uris[i]);
    }
    ASSERT_EQ(VCL_X509_Info_Get_CRLdp(r.get(), uri.out()), 0);
    EXPECT_EQ(uri.str(), uris[0]);
    ASSERT_EQ(VCL_X509_Info_Get_CRLdp_Index(r.get(), uri.out(), 3), 0);
    EXPECT_FALSE(uri);
    EXPECT_EQ(rc(VCL_X509_Info_Get_CRLdp_Index(r.get(), uri.out(), -1)), 0xa9050002u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_CRLdp_Index(nullptr, uri.out(), 0)), 0xa9050002u);
    EXPECT_EQ(rc(VCL_X509_Info_Get_CRLdp(r.get(), nullptr)), 0xa9050061u);
    EXPECT_EQ(VCL_X509_Info_Get_CRLdp_Count(nullptr), 0);
    // None at all.
    Info none = record(fixture("certs/v1.der"));
    ASSERT_EQ(VCL_X509_Info_Get_CRLdp(none.get(), uri.out()), 0);
    EXPECT_FALSE(uri);
    EXPECT_EQ(VCL_X509_Info_Get_CRLdp_Count(none.get()), 0);
}

// ---- Extensions built here: limits and malformed bodies --------------------

std::string tlv(unsigned char tag, const std::string& body) {
    std::string out(1, static_cast<char>(tag));
    const size_t n = body.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else if (n < 0x100) {
        out += '\x81';
        out += static_cast<char>(n);
    } else {
        out += '\x82';
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(n & 0xff);
    }
    return out + body;
}

// An extension of a table row with the given body; its text in a fresh
// record (separator '|'), or the code.
struct Made {
    int code;
    Info info;
};
Made extension(int row, const std::string& body) {
    OCTET_STRING* value = new_OCTET_STRING(coretest::u8(body), static_cast<int>(body.size()));
    X509_EXTENSION* ext = create_X509_EXTENSION_by_OID_index(nullptr, row, 0, value);
    free_OCTET_STRING(value);
    X509_Info* info = nullptr;
    EXPECT_EQ(VCL_X509_new_x509_info(&info, '|'), 0);
    Made out{VCL_X509_mk_extstr(ext, info), Info(info)};
    free_X509_EXTENSION(ext);
    return out;
}

std::string uri(const std::string& text) { return tlv(0x86, text); }

TEST(X509Info, ExtensionLimits) {
    constexpr int kSan = 85, kCdp = 103, kPolicies = 89;
    // A subjectAltName URI of 127 characters fits; 128 leave the field NULL.
    // Blanks around it are trimmed first.
    const std::string u127 = "http://" + std::string(120, 'a');
    Made fits = extension(kSan, tlv(0x30, uri("  " + u127 + " ")));
    ASSERT_EQ(fits.code, 0);
    EXPECT_EQ(std::string(fits.info->subjectAltName), "URI|" + u127);
    Made over = extension(kSan, tlv(0x30, uri(u127 + "b")));
    ASSERT_EQ(over.code, 0);
    EXPECT_EQ(over.info->subjectAltName, nullptr);
    // A URI holding a NUL would be cut short by every reader: no text.
    Made nul = extension(kSan, tlv(0x30, uri(std::string("http://a\0.evil", 14))));
    ASSERT_EQ(nul.code, 0);
    EXPECT_EQ(nul.info->subjectAltName, nullptr);
    // Names that do not decode fail the record.
    EXPECT_EQ(rc(extension(kSan, "\x30\x03\x86\x05x").code), 0xa959009au);
    EXPECT_EQ(rc(extension(kSan, "\x05\x00"s).code), 0xa959009au);

    // Distribution points: a text of 8191 characters fits, one more does not.
    auto cdpOf = [](size_t total) {
        // "DP=" + URI per item, items joined by '|'.
        std::string names;
        size_t length = 0;
        while (length + 4 + 100 < total) {
            names += uri(std::string(100, 'u'));
            length += (length ? 1 : 0) + 3 + 100;
        }
        const size_t last = total - length - (length ? 1 : 0) - 3;
        names += uri(std::string(last, 'v'));
        return tlv(0x30, tlv(0x30, tlv(0xa0, tlv(0xa0, names))));
    };
    Made cdpFits = extension(kCdp, cdpOf(8191));
    ASSERT_EQ(cdpFits.code, 0);
    ASSERT_NE(cdpFits.info->crlDistPoints, nullptr);
    EXPECT_EQ(std::strlen(cdpFits.info->crlDistPoints), 8191u);
    Made cdpOver = extension(kCdp, cdpOf(8192));
    ASSERT_EQ(cdpOver.code, 0);
    EXPECT_EQ(cdpOver.info->crlDistPoints, nullptr);
    // The getters cannot split a text past 2047 characters.
    Buf<char> dp;
    EXPECT_EQ(rc(VCL_X509_Info_Get_CRLdp(cdpFits.info.get(), dp.out())), 0xa95f0003u);

    // Policy identifiers: 1023 characters of them fit, past that only
    // policyIds is left NULL.
    auto policiesOf = [](int count) {
        std::string list;
        for (int i = 0; i < count; ++i) list += tlv(0x30, tlv(0x06, "\x2a\x03\x04\x81\x00"s));  // 1.2.3.4.128
        return tlv(0x30, list);
    };
    Made ids = extension(kPolicies, policiesOf(93));  // 93 x 11 = 1023
    ASSERT_EQ(ids.code, 0);
    ASSERT_NE(ids.info->policyIds, nullptr);
    EXPECT_EQ(std::strlen(ids.info->policyIds), 1023u);
    Made idsOver = extension(kPolicies, policiesOf(94));
    ASSERT_EQ(idsOver.code, 0);
    EXPECT_EQ(idsOver.info->policyIds, nullptr);
    EXPECT_NE(idsOver.info->policies, nullptr);
}

TEST(X509Info, ExtensionCorners) {
    // A CPS qualifier holding a SEQUENCE is not shown as a CPS text.
    Made hostile =
        extension(89, tlv(0x30, tlv(0x30, tlv(0x06, "\x2a\x03\x04") +
                                              tlv(0x30, tlv(0x30, tlv(0x06, "\x2b\x06\x01\x05\x05\x07\x02\x01") +
                                                                      tlv(0x30, tlv(0x0c, "hello")))))));
    ASSERT_EQ(hostile.code, 0);
    EXPECT_STREQ(hostile.info->policies, "PI=1.2.3.4");
    // Undecodable bodies leave their fields NULL without failing.
    for (int row : {82, 83, 89, 90, 103, 126, 177}) {
        Made bad = extension(row, "\x30\x01");
        EXPECT_EQ(bad.code, 0) << row;
    }
    // An unknown extension and the constraint kinds are passed over.
    for (int row : {87, 401, 666, 747, 770, 142}) EXPECT_EQ(extension(row, "\x30\x00"s).code, 0) << row;
    // Of two occurrences the last one's text stays.
    X509_Info* raw = nullptr;
    ASSERT_EQ(VCL_X509_new_x509_info(&raw, '|'), 0);
    Info info(raw);
    for (const char* bits : {"\x03\x02\x07\x80", "\x03\x02\x05\x20"}) {
        OCTET_STRING* value = new_OCTET_STRING(coretest::u8(bits), 4);
        X509_EXTENSION* ext = create_X509_EXTENSION_by_OID_index(nullptr, 83, 1, value);
        EXPECT_EQ(VCL_X509_mk_extstr(ext, info.get()), 0);
        free_X509_EXTENSION(ext);
        free_OCTET_STRING(value);
    }
    EXPECT_STREQ(info->keyUsage, "20");
    // An extended key usage with a purpose outside the table reads 0.0.
    Made eku = extension(126, tlv(0x30, tlv(0x06, "\x2b\x06\x01\x05\x05\x07\x03\x02") + tlv(0x06, "\x2a\x03")));
    ASSERT_EQ(eku.code, 0);
    EXPECT_STREQ(eku.info->extKeyUsage, "1.3.6.1.5.5.7.3.2|0.0");
}

TEST(X509Info, NamesAndTheirLimits) {
    auto nameOf = [](const std::vector<std::pair<int, std::string>>& parts) {
        X509_NAME* name = new_X509_NAME();
        for (const auto& [type, value] : parts)
            EXPECT_EQ(
                add_X509_NAME_child_OID_index(name, 13, type, coretest::u8(value), static_cast<int>(value.size()), -1),
                0);
        return Own<X509_NAME, free_X509_NAME>(name);
    };
    Buf<char> text;
    // 2047 characters fit; one more is refused.
    auto fits = nameOf({{ASN1_TAG_UTF8_STRING, std::string(2044, 'x')}});
    ASSERT_EQ(VCL_X509_name_to_str(fits.get(), text.out()), 0);
    EXPECT_EQ(text.str().size(), 2047u);
    auto over =
        nameOf({{ASN1_TAG_UTF8_STRING, std::string(1000, 'x')}, {ASN1_TAG_UTF8_STRING, std::string(1043, 'y')}});
    EXPECT_EQ(rc(VCL_X509_name_to_str(over.get(), text.out())), 0xa9580003u);
    // A NUL inside a value would hide what follows it.
    auto nul = nameOf({{ASN1_TAG_IA5_STRING, std::string("good\0.evil", 10)}});
    EXPECT_EQ(rc(VCL_X509_name_to_str(nul.get(), text.out())), 0xa958006du);
    auto bmpNul = nameOf({{ASN1_TAG_BMP_STRING, std::string("\0a\0\0", 4)}});
    EXPECT_EQ(rc(VCL_X509_name_to_str(bmpNul.get(), text.out())), 0xa958006du);
    // VisibleString and NumericString are shown as they are; an empty value
    // shows nothing.
    auto kinds = nameOf({{26, "visible"}, {18, "123"}, {ASN1_TAG_PRINTABLE_STRING, ""}});
    ASSERT_EQ(VCL_X509_name_to_str(kinds.get(), text.out()), 0);
    EXPECT_EQ(text.str(), "cn=,cn=123,cn=visible");
    auto none = nameOf({});
    ASSERT_EQ(VCL_X509_name_to_str(none.get(), text.out()), 0);
    EXPECT_EQ(text.str(), "");
    EXPECT_EQ(rc(VCL_X509_name_to_str(nullptr, text.out())), 0xa9580002u);
    EXPECT_EQ(rc(VCL_X509_name_to_str(none.get(), nullptr)), 0xa9580061u);
}

}  // namespace

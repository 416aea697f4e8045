// KISA token-driver lists through the core: lists written by openssl
// asn1parse -genconf and signed by openssl dgst -sign (libzunPKI's
// make_kisa_fixtures.sh) are counted, verified and copied into the records;
// altered lists, other signers and malformed lists are refused.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/pkcs11.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "P11Helpers.h"
#include "services/pkcs11_internal.hpp"

namespace {

using coretest::Buf;
using coretest::rc;
using p11core::n;
using p11core::openssl;
using p11core::u;

std::string list(const std::string& name) { return p11core::fixture("kisa/" + name); }

struct Driver {
    const char *url, *field1, *field2, *field3;
    int field4;
    const char *field5, *field6;
};

const Driver kDrivers[] = {
    {"https://drivers.example/kisa/list1", "Veridan Token", "VT-2000", "https://drivers.example/vt2000/setup.exe", 2,
     "drivers.example", "x86 Linux"},
    {"https://drivers.example/kisa/list1", "Other Token", "OT-1", "https://drivers.example/ot1/setup.exe", -1,
     "cn=Other Vendor", ""},
    {"https://mirror.example/kisa", "Mirror Token", "MT-9", "https://mirror.example/mt9.exe", 2147483647,
     "https://mirror.example", "amd64 Linux"},
};

void expectDrivers(const std::vector<VCL_PK11_DRIVER_INFO>& got, const std::string& what) {
    ASSERT_EQ(got.size(), std::size(kDrivers)) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        const Driver& w = kDrivers[i];
        const VCL_PK11_DRIVER_INFO& g = got[i];
        EXPECT_STREQ(g.url, w.url) << what << " " << i;
        EXPECT_STREQ(g.field1, w.field1) << what << " " << i;
        EXPECT_STREQ(g.field2, w.field2) << what << " " << i;
        EXPECT_STREQ(g.field3, w.field3) << what << " " << i;
        EXPECT_EQ(g.field4, w.field4) << what << " " << i;
        EXPECT_STREQ(g.field5, w.field5) << what << " " << i;
        EXPECT_STREQ(g.field6, w.field6) << what << " " << i;
    }
}

// The records of a list verified with a signer certificate: the code, and
// the records (the array filled past the count keeps its marks).
int verifyDrivers(const std::string& der, const std::string& cert, std::vector<VCL_PK11_DRIVER_INFO>& out) {
    out.assign(8, VCL_PK11_DRIVER_INFO{});
    for (auto& r : out) r.field4 = 0x5a5a;
    const int code = VCL_PK11_Verify_HSM_Driver_Info(u(der), n(der), cert.data(), n(cert), out.data());
    int count = 0;
    if (code == 0) {
        EXPECT_EQ(VCL_PK11_Get_HSM_Driver_Count(u(der), n(der), &count), 0);
    }
    for (size_t i = static_cast<size_t>(code == 0 ? count : 0); i < out.size(); ++i)
        EXPECT_EQ(out[i].field4, 0x5a5a) << "record " << i << " written";
    out.resize(code == 0 ? static_cast<size_t>(count) : 0);
    return code;
}

// The signer's certificate with the KCDSA key of the standard's 2048-bit
// worked example in place of its RSA key.
std::string kcdsaSigner() {
    const auto run = zqtest::run({zqtest::kPython, "-c",
                                  "import json,sys\n"
                                  "c=json.load(open(sys.argv[1]))['cases'][2]\n"
                                  "print(c['P'], c['Q'], c['G'], c['X'])\n",
                                  zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json"});
    EXPECT_EQ(run.status, 0);
    std::istringstream in(run.output);
    std::string hex[4];
    in >> hex[0] >> hex[1] >> hex[2] >> hex[3];
    BIGINT* v[4];
    for (int i = 0; i < 4; ++i) v[i] = VSC_HEX_To_BIGINT(hex[i].c_str());
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    EXPECT_EQ(VSC_Set_KCDSA_Params(unit, v[0], v[1], v[2], v[3], nullptr), VSC_OK);
    for (BIGINT* b : v) VSC_Free_BIGINT(b);

    X509_CERT* cert = nullptr;
    const std::string der = list("signer.der");
    EXPECT_EQ(VCL_X509_conv_cert2x509(der.data(), n(der), &cert), 0);
    zcore::Cert owned(cert);
    X509_PUBKEY* pub = new_X509_PUBKEY();
    EXPECT_EQ(set_X509_PUBKEY_kcdsa(pub, unit), 0);
    EXPECT_EQ(set_X509_pub_key(cert, pub), 0);
    free_X509_PUBKEY(pub);
    VSC_Free_KCDSA(unit);
    const zcore::Secret out = zcore::derOfCert(cert);
    return std::string(out.view());
}

TEST(Pkcs11Drivers, CountsAndIssuer) {
    for (const char* name : {"kind1-sha1.der", "kind1-sha256.der", "octet-sha256.der"}) {
        const std::string der = list(name);
        int count = -1;
        ASSERT_EQ(VCL_PK11_Get_HSM_Driver_Count(u(der), n(der), &count), 0) << name;
        EXPECT_EQ(count, 3) << name;
        ASSERT_EQ(VCL_PK11_Get_HSM_Driver_Signature_Count(u(der), n(der), &count), 0) << name;
        EXPECT_EQ(count, 0) << name;
    }
    const std::string kind2 = list("kind2-sha256.der");
    int count = -1;
    ASSERT_EQ(VCL_PK11_Get_HSM_Driver_Signature_Count(u(kind2), n(kind2), &count), 0);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(VCL_PK11_Get_HSM_Driver_Count(u(kind2), n(kind2), &count), 0);
    EXPECT_EQ(count, 0);

    // The issuer as openssl writes the signer certificate's, in the DN text's form.
    const auto peer = openssl({"x509", "-inform", "DER", "-in", p11core::path("kisa/signer.der"), "-noout", "-issuer",
                               "-nameopt", "utf8,sep_comma_plus,dn_rev,sname"});
    ASSERT_EQ(peer.status, 0);
    std::string want;
    for (std::string part : {std::string("cn=Driver List Signer"), std::string("o=KISA Test"), std::string("c=KR")})
        want += (want.empty() ? "" : ",") + part;
    EXPECT_EQ(peer.output, "issuer=CN=Driver List Signer,O=KISA Test,C=KR\n");
    Buf<char> text;
    ASSERT_EQ(VCL_PK11_Get_HSM_Signer_IssuerDN(u(kind2), n(kind2), text.out()), 0);
    EXPECT_EQ(text.str(), want);

    const std::string junk = "not a list";
    EXPECT_EQ(rc(VCL_PK11_Get_HSM_Driver_Count(u(junk), n(junk), &count)), 0xb4020059u);
    EXPECT_EQ(rc(VCL_PK11_Get_HSM_Driver_Signature_Count(u(junk), n(junk), &count)), 0xb4040059u);
    EXPECT_EQ(rc(VCL_PK11_Get_HSM_Signer_IssuerDN(u(junk), n(junk), text.out())), 0xb4010059u);
    EXPECT_EQ(text.p, nullptr);
    EXPECT_EQ(rc(VCL_PK11_Get_HSM_Driver_Count(nullptr, 4, &count)), 0xb4020003u);
    EXPECT_EQ(rc(VCL_PK11_Get_HSM_Signer_IssuerDN(u(kind2), 0, text.out())), 0xb4010003u);
}

TEST(Pkcs11Drivers, VerifiedRecordsAreTheListsTexts) {
    const std::string signer = list("signer.der");
    std::vector<VCL_PK11_DRIVER_INFO> got;
    // SHA-1 and SHA-256 signatures, texts as PrintableString and OCTET STRING,
    // the signer as DER and as PEM.
    for (const char* name : {"kind1-sha1.der", "kind1-sha256.der", "octet-sha256.der"}) {
        ASSERT_EQ(verifyDrivers(list(name), signer, got), 0) << name;
        expectDrivers(got, name);
    }
    const std::string pem = openssl({"x509", "-inform", "DER", "-in", p11core::path("kisa/signer.der")}).output;
    ASSERT_EQ(verifyDrivers(list("kind1-sha256.der"), pem, got), 0);
    expectDrivers(got, "PEM signer");

    // 255 bytes fill a field; 256 refuse the list.
    ASSERT_EQ(verifyDrivers(list("text255.der"), signer, got), 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].field1), std::string(255, 'A'));
    EXPECT_EQ(got[0].field6[0], 0);
    EXPECT_EQ(rc(verifyDrivers(list("text256.der"), signer, got)), 0xb4030059u);

    // Signature tokens.
    const std::string kind2 = list("kind2-sha256.der");
    VCL_PK11_DRIVER_SIGNATURE_INFO tokens[3] = {};
    tokens[2].value_len = 77;
    ASSERT_EQ(VCL_PK11_Verify_HSM_Driver_Signature_Info(u(kind2), n(kind2), signer.data(), n(signer), tokens), 0);
    EXPECT_STREQ(tokens[0].name, "VT-2000 Signer");
    EXPECT_STREQ(tokens[0].algorithm, "sha256WithRSAEncryption");
    EXPECT_EQ(p11core::hex(std::string(reinterpret_cast<char*>(tokens[0].value), tokens[0].value_len)),
              "00112233445566778899aabbccddeeff");
    EXPECT_STREQ(tokens[1].name, "OT-1 Signer");
    EXPECT_STREQ(tokens[1].algorithm, "sha1WithRSAEncryption");
    EXPECT_EQ(p11core::hex(std::string(reinterpret_cast<char*>(tokens[1].value), tokens[1].value_len)), "cafe");
    EXPECT_EQ(tokens[2].value_len, 77);
}

TEST(Pkcs11Drivers, RefusedLists) {
    const std::string signer = list("signer.der");
    const std::string der = list("kind1-sha256.der");
    std::vector<VCL_PK11_DRIVER_INFO> got;
    // One signed byte changed: the list reads, and no longer verifies.
    std::string flipped = der;
    const size_t at = flipped.find("Veridan Token");
    ASSERT_NE(at, std::string::npos);
    flipped[at] = 'W';
    EXPECT_NE(verifyDrivers(flipped, signer, got), 0);
    // Another signer, its look-alike over another key, a KCDSA key, none.
    EXPECT_EQ(rc(verifyDrivers(der, list("other.der"), got)), 0x3002012fu);
    EXPECT_NE(verifyDrivers(der, list("impostor.der"), got), 0);
    EXPECT_EQ(rc(verifyDrivers(der, kcdsaSigner(), got)), 0x30020029u);
    EXPECT_EQ(rc(verifyDrivers(der, "", got)), 0xb4030003u);
    EXPECT_EQ(rc(verifyDrivers("junk", signer, got)), 0xb4030059u);
    // The other kind, each way; an empty list carries no signature.
    const std::string kind2 = list("kind2-sha256.der");
    EXPECT_EQ(rc(verifyDrivers(kind2, signer, got)), 0xb4030078u);
    VCL_PK11_DRIVER_SIGNATURE_INFO tokens[4] = {};
    EXPECT_EQ(rc(VCL_PK11_Verify_HSM_Driver_Signature_Info(u(der), n(der), signer.data(), n(signer), tokens)),
              0xb4050078u);
    EXPECT_EQ(rc(VCL_PK11_Verify_HSM_Driver_Signature_Info(u(kind2), n(kind2), nullptr, 0, tokens)), 0xb4050003u);
    EXPECT_EQ(rc(verifyDrivers(list("empty.der"), signer, got)), 0x30020011u);
    EXPECT_EQ(rc(VCL_PK11_Verify_HSM_Driver_Info(u(der), n(der), signer.data(), n(signer), nullptr)), 0xb4030003u);
}

// A general name's text must fit its field: a directory name's text can be
// longer than the list's strings; kinds without a text refuse the list.
TEST(Pkcs11Drivers, GeneralNamesWithoutAFittingText) {
    const auto make = [](const std::string& name2) {
        const std::string conf =
            "asn1=SEQUENCE:value\n[value]\nlist=SEQUENCE:list\nalg=SEQUENCE:alg\n"
            "signer=SEQUENCE:signer\nsig=FORMAT:HEX,BITSTRING:00\n"
            "[alg]\nalg=OID:sha256WithRSAEncryption\np=NULL\n"
            "[signer]\nissuer=SEQUENCE:issuer\nserial=INTEGER:1\n[issuer]\nrdn=SET:rdn\n"
            "[rdn]\natv=SEQUENCE:atv\n[atv]\ntype=OID:commonName\nvalue=UTF8String:s\n"
            "[list]\ne1=SEQUENCE:entry\n[entry]\nurl=IA5STRING:https://x.example\n"
            "drivers=SEQUENCE:drivers\n[drivers]\nd1=SEQUENCE:driver\n[driver]\n"
            "t1=PRINTABLESTRING:a\nt2=PRINTABLESTRING:b\nn1=IMPLICIT:6,IA5STRING:https://x\n"
            "v=INTEGER:1\nn2=" +
            name2 +
            "\n[vendor]\nrdn=SET:vendor_rdn\n[vendor_rdn]\natv=SEQUENCE:vendor_atv\n"
            "[vendor_atv]\ntype=OID:commonName\nvalue=UTF8String:" +
            std::string(300, 'V') + "\n";
        const std::string out = p11core::temp("dir.der", "");
        EXPECT_EQ(openssl({"asn1parse", "-genconf", p11core::temp("dir.cnf", conf), "-out", out, "-noout"}).status, 0);
        return zqtest::readFile(out);
    };
    struct Case {
        const char* name2;
        unsigned code;
        const char* text;
    };
    const Case cases[] = {
        {"EXPLICIT:4,SEQUENCE:vendor", 0xb4030059, nullptr},  // "cn=" and 300 characters
        {"IMPLICIT:7,FORMAT:HEX,OCTETSTRING:7f000001", 0, "127.0.0.1"},
        {"IMPLICIT:7,FORMAT:HEX,OCTETSTRING:20010db8000000000000000000000001", 0, "2001:db8::1"},
        {"IMPLICIT:7,FORMAT:HEX,OCTETSTRING:7f00", 0xb4030059, nullptr},
        {"IMPLICIT:8,OID:1.2.410.200004", 0, "1.2.410.200004"},
        {"IMPLICIT:1,IA5STRING:drivers@x.example", 0, "drivers@x.example"},
    };
    for (const Case& c : cases) {
        const std::string der = make(c.name2);
        zcore::p11::List decoded;
        ASSERT_EQ(zcore::p11::decodeList(u(der), n(der), decoded), 0) << c.name2;
        std::vector<VCL_PK11_DRIVER_INFO> records;
        EXPECT_EQ(rc(zcore::p11::driverRecords(*decoded, records)), c.code) << c.name2;
        if (c.text) {
            ASSERT_EQ(records.size(), 1u);
            EXPECT_STREQ(records[0].field5, c.text);
        }
    }
}

}  // namespace

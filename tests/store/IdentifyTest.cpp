// The key-password check, identification (the VID check against the
// identity data python wrote), password changes checked by the KISA
// computation without our library (independent_decrypt.py through
// kisa_key.py), and the small readers of a stored certificate.
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "SignHelpers.h"

using signtest::encoded;
using signtest::fx;
using signtest::fxBytes;
using signtest::quietly;
using storetest::len;
using storetest::Out;

namespace {

const char kPw[] = "hong-pw-1";
const std::string kDn = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";

// The VID random a key gives under a password without our library ("-" for
// none, "" when it does not open).
std::string kisaRandom(const std::string& key, const std::string& pw) {
    // A key that does not open makes the script complain: kept quiet.
    const auto r = zqtest::run({"sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null", zqtest::kPython,
                                zqtest::sourceDir() + "/tests/core/kisa_key.py", "random", key, pw});
    if (r.status != 0) return "";
    std::string out = r.output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

class StoreIdentify : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = m_home.hong();
        m_enc = encoded(m_dir + "/signCert.der");
    }
    void TearDown() override { VPL_Cleanup(); }

    int check(int type, const std::string& enc, const char* pw, std::string* dn = nullptr, int pwLen = -1) {
        Out<> s;
        const int rc = VPL_Cert_Password_Check(type, nullptr, 0, enc.c_str(), len(enc), pw,
                                               pwLen >= 0 ? pwLen : static_cast<int>(std::strlen(pw)), s.ptr(), &s.n);
        if (dn) *dn = s.str();
        return rc;
    }
    int identify(const std::string& enc, const char* pw, const std::string& idn, int type = 0) {
        return VPL_Cert_Indentification(type, nullptr, 0, enc.c_str(), len(enc), pw, static_cast<int>(std::strlen(pw)),
                                        idn.c_str(), len(idn));
    }
    int changeEx(const std::string& oldPw, const std::string& newPw, int type = 0) {
        return VPL_Set_CertChange_PasswordEx(type, nullptr, 0, m_enc.c_str(), len(m_enc), oldPw.c_str(), len(oldPw),
                                             newPw.c_str(), len(newPw));
    }

    signtest::Home m_home;
    std::string m_dir, m_enc;
};

}  // namespace

TEST_F(StoreIdentify, PasswordCheckHandsOutTheSubjectDn) {
    std::string dn;
    ASSERT_EQ(check(0, m_enc, kPw, &dn), 0);
    EXPECT_EQ(storetest::iconvText(dn, "EUC-KR", "UTF-8").value_or("?"), kDn);
    EXPECT_EQ(check(1, m_enc, "hong-pw-2", &dn), 1051027);
    EXPECT_EQ(dn, "");
    EXPECT_EQ(check(0, m_enc, kPw, nullptr, 4), 1052013);
    EXPECT_EQ(VPL_Cert_Password_Check(0, nullptr, 0, m_enc.c_str(), len(m_enc) - 1, kPw, 9, nullptr, nullptr), 1052011);
    Out<> s;
    EXPECT_EQ(VPL_Cert_Password_Check(0, nullptr, 0, m_enc.c_str(), len(m_enc) + 1, kPw, 9, s.ptr(), &s.n), 1052009);
    // Media without a key file: no password passes unexamined.
    EXPECT_EQ(check(2, m_enc, "anything"), -1);
    EXPECT_EQ(check(-1, m_enc, kPw), -1);
}

TEST_F(StoreIdentify, PasswordCheckOfAKeyADomainCaches) {
    const std::string pseudo = "VERIDAN/MEMORY/Hong/2001";
    signtest::Domain veridan("VERIDAN", nullptr, nullptr);
    CTX* ctx = VPL_Find_CTX(g_CTX_Head, "VERIDAN");
    ASSERT_NE(ctx, nullptr);
    CertsInfo* node = VPL_Init_CertsInfo();
    const auto copy = [](const std::string& s, auto*& field, int& n) {
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(malloc(s.size() + 1));
        std::memcpy(field, s.data(), s.size());
        reinterpret_cast<char*>(field)[s.size()] = '\0';
        n = static_cast<int>(s.size());
    };
    copy(pseudo, node->path, node->pathLen);
    copy(fxBytes("hong/signCert.der"), node->cert, node->certLen);
    copy(fxBytes("hong/signPri.key"), node->key, node->keyLen);
    ASSERT_EQ(VPL_Insert_CertsInfo(&ctx->memoryCerts, node), 0);
    const std::string enc = encoded(pseudo);
    std::string dn;
    EXPECT_EQ(check(6, enc, kPw, &dn), 0);
    EXPECT_EQ(storetest::iconvText(dn, "EUC-KR", "UTF-8").value_or("?"), kDn);
    EXPECT_EQ(check(6, enc, "hong-pw-2"), 1051027);
    EXPECT_EQ(check(6, encoded("VERIDAN/MEMORY/Nobody/1"), kPw), -1);
}

TEST_F(StoreIdentify, IdentificationNumberAgainstTheVid) {
    const std::string idn = signtest::value("idn");
    EXPECT_EQ(identify(m_enc, kPw, idn), 0);
    EXPECT_EQ(identify(m_enc, kPw, "8001011234568"), 1051030);
    EXPECT_EQ(identify(m_enc, "hong-pw-2", idn), 1051027);
    EXPECT_EQ(identify(m_enc, kPw, ""), 1052029);
    EXPECT_EQ(identify(m_enc, kPw, idn, 2), -1);
    // A private-PKI certificate has neither identity data nor a random.
    const std::string priv =
        m_home.place("private", {"signCert.der", "signPri.key"}, "cn=Kim,o=Acme Widgets,c=kr", "ACME WIDGETS");
    EXPECT_EQ(identify(encoded(priv + "/signCert.der"), kPw, idn), 1051030);
}

TEST_F(StoreIdentify, PasswordChangeExChangesBothKeysOrNeither) {
    const std::string r = signtest::value("random"), kmR = signtest::value("kmrandom");
    {
        // The KM key under another password: nothing changes.
        const std::string plain = m_home.path() + "/km-plain.der";
        ASSERT_TRUE(quietly(
            {"openssl", "pkcs8", "-topk8", "-nocrypt", "-in", fx("hong/km.pem"), "-outform", "DER", "-out", plain}));
        ASSERT_EQ(zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/core/kisa_key.py", "make", plain,
                               "other-pw", kmR, m_dir + "/kmPri.key"})
                      .status,
                  0);
        const std::string keptKm = zqtest::readFile(m_dir + "/kmPri.key");
        EXPECT_EQ(changeEx(kPw, "new-pw-22"), 1051027);
        EXPECT_TRUE(signtest::same(m_dir + "/signPri.key", fx("hong/signPri.key")));
        EXPECT_EQ(zqtest::readFile(m_dir + "/kmPri.key"), keptKm);
        zqtest::writeFile(m_dir + "/kmPri.key", fxBytes("hong/kmPri.key"));
    }
    EXPECT_EQ(changeEx("hong-pw-2", "new-pw-22"), 1051027);
    EXPECT_EQ(changeEx(kPw, "new-pw-22", 2), -1);
    ASSERT_EQ(changeEx(kPw, "new-pw-22"), 0);
    for (const auto& [key, random] :
         {std::pair{std::string("signPri.key"), r}, std::pair{std::string("kmPri.key"), kmR}}) {
        EXPECT_EQ(kisaRandom(m_dir + "/" + key, "new-pw-22"), random) << key;
        EXPECT_EQ(kisaRandom(m_dir + "/" + key, kPw), "") << key;
        EXPECT_EQ(signtest::modeOf(m_dir + "/" + key), 0600u) << key;
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"kmCert.der", "kmPri.key", "signCert.der", "signPri.key"}));
}

TEST_F(StoreIdentify, PasswordChangeWithoutKmAndOfTheSigningKeyAlone) {
    std::filesystem::remove(m_dir + "/kmCert.der");
    ASSERT_EQ(changeEx(kPw, "new-pw-22"), 0);
    EXPECT_EQ(kisaRandom(m_dir + "/signPri.key", "new-pw-22"), signtest::value("random"));
    EXPECT_TRUE(signtest::same(m_dir + "/kmPri.key", fx("hong/kmPri.key")));

    const std::string back = "hong-pw-1";
    EXPECT_EQ(
        VPL_Set_CertChange_Password(0, nullptr, 0, m_enc.c_str(), len(m_enc), "new-pw-22", 9, back.c_str(), len(back)),
        0);
    EXPECT_EQ(kisaRandom(m_dir + "/signPri.key", back), signtest::value("random"));
    EXPECT_EQ(VPL_Set_CertChange_Password(0, nullptr, 0, m_enc.c_str(), len(m_enc), back.c_str(), len(back), "x", 5),
              1052013);
}

TEST_F(StoreIdentify, EncryptCertPathReplacesTheFileNameOnly) {
    // A folder whose name holds the file name: only the last component counts.
    const std::string dir = m_home.place("hong", {"signCert.der", "kmCert.der"}, "cn=signCert.der,o=yessign,c=kr");
    const std::string enc = encoded(dir + "/signCert.der");
    Out<> km;
    ASSERT_EQ(VPL_Get_Path_EncryptCertFromSignCert(enc.c_str(), len(enc), km.ptr(), &km.n), 0);
    Out<> decoded;
    ASSERT_EQ(VPL_DataDecode(0, km.p, km.n, decoded.ptr(), &decoded.n), 0);
    EXPECT_EQ(decoded.str(), dir + "/kmCert.der");

    const std::string kmEnc = encoded(dir + "/kmCert.der");
    EXPECT_EQ(VPL_Get_Path_EncryptCertFromSignCert(kmEnc.c_str(), len(kmEnc), km.ptr(), &km.n), -1);
    std::filesystem::remove(dir + "/kmCert.der");
    EXPECT_EQ(VPL_Get_Path_EncryptCertFromSignCert(enc.c_str(), len(enc), km.ptr(), &km.n), 1052030);
    EXPECT_EQ(km.p, nullptr);
}

TEST_F(StoreIdentify, SubjectDerAndPem) {
    Out<void> der;
    ASSERT_EQ(VPL_Get_SubjectDNDer(0, nullptr, 0, m_enc.c_str(), len(m_enc), der.ptr(), &der.n), 0);
    const auto py = zqtest::run({zqtest::kPython, "-c",
                                 "import sys\nfrom cryptography import x509\n"
                                 "sys.stdout.buffer.write(x509.load_der_x509_certificate(open(sys.argv[1],'rb')"
                                 ".read()).subject.public_bytes())",
                                 fx("hong/signCert.der")});
    EXPECT_EQ(der.str(), py.output);
    for (int type : {4, 7, 11, 13, -1})
        EXPECT_EQ(VPL_Get_SubjectDNDer(type, nullptr, 0, m_enc.c_str(), len(m_enc), der.ptr(), &der.n), -1) << type;

    const std::string cert = fxBytes("hong/signCert.der");
    Out<> pem, b64;
    ASSERT_EQ(VPL_CertToPEMCert(cert.data(), len(cert), 0, pem.ptr(), &pem.n), 0);
    EXPECT_EQ(pem.str(), zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx("hong/signCert.der")}).output);
    ASSERT_EQ(VPL_CertToPEMCert(cert.data(), len(cert), 1, b64.ptr(), &b64.n), 0);
    Out<> back;
    ASSERT_EQ(VPL_DataDecode(0, b64.p, b64.n, back.ptr(), &back.n), 0);
    EXPECT_EQ(back.str(), pem.str());
    EXPECT_EQ(VPL_GetLastError(), 0);
    EXPECT_NE(VPL_CertToPEMCert("junk", 4, 0, pem.ptr(), &pem.n), 0);
    EXPECT_NE(VPL_GetLastError(), 0);

    Out<> copy;
    EXPECT_EQ(VPL_Data_Malloc("text", copy.ptr(), &copy.n), 0);
    EXPECT_EQ(copy.str(), "text");
    EXPECT_EQ(VPL_Data_Malloc(nullptr, copy.ptr(), &copy.n), 1052011);
}

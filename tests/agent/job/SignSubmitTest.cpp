// The signing submissions and the management adapters against the store,
// on a temporary home of the fixtures of make_signing_fixtures.sh; every
// signature and file is judged by openssl or python3-cryptography.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include <zephaltpavix/zephaltpavix.h>

#include "SigningFixtures.h"
#include "job/CertAdapters.h"
#include "job/Job.h"
#include "job/SignSubmit.h"

namespace {

using signfx::fx;

const unsigned char kNonce[32] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                  17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 0};

class Signing : public ::testing::Test {
protected:
    void SetUp() override {
        signfx::dir();
        ZUNLIB_Init();  // the "VERIDAN" domain
    }
    void TearDown() override {
        ZUNLIB_Cleanup();
        SetRunningFlag(0);
        if (m_tz) unsetenv("TZ");
        tzset();
    }
    void setTz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
        m_tz = true;
    }
    static std::string nonce() { return std::string(reinterpret_cast<const char*>(kNonce), sizeof kNonce); }
    // The relay's form of a PKCS#7 output: URL-encoded Base64.
    static std::string der(const std::string& relayText) { return signfx::base64Decode(URLDecodeText(relayText)); }

    signfx::Home home;
    zqtest::TempDir tmp{"agentsign"};
    std::string pw = signfx::password();
    bool m_tz = false;
};

TEST_F(Signing, LogInSignatureVerifiesWithOpensslAndCarriesTheKeyRandom) {
    struct Case {
        const char* user;
        std::string random;
    } cases[] = {
        {"hong", signfx::value("random")},
        {"zero", signfx::zeroRandomHex()},  // a random that begins with 0x00 is still a random
        {"private", ""},
    };
    for (const Case& c : cases) {
        const std::string path = home.place(c.user, std::string("cn=") + c.user + ",o=yessign,c=kr");
        SubmitResult r;
        ASSERT_EQ(PKCS1_Cert_Submit(0, path.c_str(), pw.c_str(), kNonce, r), 0) << c.user;
        EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(r.signature)), nonce(),
                                            fx(std::string(c.user) + "/signCert.der"), tmp.path()))
            << c.user;
        EXPECT_EQ(URLDecodeText(r.certificate), signfx::certPem(fx(std::string(c.user) + "/signCert.der"))) << c.user;
        EXPECT_NE(r.certificate.find("%0a"), std::string::npos) << "URL-encoded";
        EXPECT_EQ(signfx::hex(r.random), c.random) << c.user;
    }
}

TEST_F(Signing, LogInFailuresLeaveNothing) {
    const std::string path = home.place("hong");
    SubmitResult r;
    EXPECT_EQ(PKCS1_Cert_Submit(0, path.c_str(), "wrong-pw", kNonce, r), SubmitCode::kWrongPassword);
    EXPECT_TRUE(r.signature.empty() && r.certificate.empty() && r.random.empty());
    EXPECT_EQ(PKCS1_Cert_Submit(0, (home.path() + "/none/signCert.der").c_str(), pw.c_str(), kNonce, r),
              SubmitCode::kFailed);
    EXPECT_EQ(PKCS1_Cert_Submit(5, path.c_str(), pw.c_str(), kNonce, r), SubmitCode::kFailed);
    EXPECT_TRUE(r.signature.empty());
}

TEST_F(Signing, SignedDataVerifiesWithTheServerTimeAsSigningTimeUnderAnyZone) {
    const std::string path = home.place("hong");
    const std::string data = "계좌이체 100,000원 & more";
    for (const char* tz : {"Asia/Seoul", "UTC"}) {
        setTz(tz);
        SubmitResult r;
        ASSERT_EQ(PKCS7_Cert_Submit(0, path.c_str(), pw.c_str(), data, "1700000000", r, 0), 0) << tz;
        const std::string p7 = der(r.signature);
        EXPECT_EQ(signfx::cmsVerify(p7, tmp.path()), data) << tz;
        const auto v = signfx::cmsPeer(p7, fx("hong/signCert.der"), tmp.path());
        EXPECT_TRUE(v.verified()) << tz;
        EXPECT_EQ(v.at("digest"), "sha256") << "the domain's hash";
        EXPECT_EQ(v.at("signingTime"), "1700000000") << tz;
        // openssl's print of the attribute, against date's of the instant.
        zqtest::writeFile(tmp / "print.p7", p7);
        const std::string printed =
            zqtest::run({"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", tmp / "print.p7"}, {},
                        signfx::kNoConf)
                .output;
        const std::string when =
            zqtest::run({"date", "-u", "-d", "@1700000000", "+%b %e %H:%M:%S %Y GMT"}, {}, {"LC_ALL=C"}).output;
        EXPECT_NE(printed.find("UTCTIME:" + when.substr(0, when.size() - 1)), std::string::npos) << tz << "\n" << when;
        EXPECT_EQ(r.certificate, signfx::certPem(fx("hong/signCert.der"))) << "plain PEM";
        EXPECT_EQ(signfx::hex(r.random), signfx::value("random"));
    }
    // The first instant of 1970 is a time as well.
    SubmitResult r;
    ASSERT_EQ(PKCS7_Cert_Submit(0, path.c_str(), pw.c_str(), "x", "0", r, 0), 0);
    EXPECT_EQ(signfx::cmsPeer(der(r.signature), fx("hong/signCert.der"), tmp.path()).at("signingTime"), "0");
}

TEST_F(Signing, DigestAndMultiSignForms) {
    const std::string path = home.place("hong");
    const std::string digest = zqtest::run({"sh", "-c", "printf document | openssl dgst -sha256 -binary"}).output;
    ASSERT_EQ(digest.size(), 32u);
    {
        SubmitResult r;
        ASSERT_EQ(PKCS7_Cert_Submit(0, path.c_str(), pw.c_str(), "md=" + digest, "1700000000", r, 1), 0);
        const auto v = signfx::cmsPeer(der(r.signature), fx("hong/signCert.der"), tmp.path());
        EXPECT_TRUE(v.verified());
        EXPECT_EQ(v.at("messageDigest"), signfx::hex(digest));
        EXPECT_EQ(v.at("content"), "-");
    }
    // "HD=" URL(Base64(header)) then two items of Base64 digests.
    const std::string other = zqtest::run({"sh", "-c", "printf other | openssl dgst -sha256 -binary"}).output;
    const std::string b64 = zqtest::run({"base64", "-w0"}, digest).output;
    const std::string b64b = zqtest::run({"base64", "-w0"}, other).output;
    const std::string hd = zqtest::run({"base64", "-w0"}, std::string("PDFHEADER1")).output;
    const std::string data = "HD=" + URLEncodeText(hd) + "|first=" + b64 + "|second=" + b64b + "|";
    SubmitResult r;
    ASSERT_EQ(PKCS7_Cert_Submit(0, path.c_str(), pw.c_str(), data, "1700000000", r, 1), 0);
    EXPECT_EQ(r.signature.find('|'), std::string::npos) << "URL-encoded once as a whole";
    const std::string text = URLDecodeText(r.signature);
    std::vector<std::string> pieces;
    for (size_t at = 0, bar; (bar = text.find('|', at)) != std::string::npos; at = bar + 1)
        pieces.push_back(text.substr(at, bar - at));
    ASSERT_EQ(pieces.size(), 3u) << text;
    ASSERT_EQ(text.back(), '|');
    ASSERT_EQ(pieces[0].compare(0, 3, "HD="), 0);
    const auto head = signfx::cmsPeer(signfx::base64Decode(pieces[0].substr(3)), fx("hong/signCert.der"), tmp.path());
    EXPECT_TRUE(head.verified());
    EXPECT_EQ(head.at("content"), signfx::hex("PDFHEADER1%00")) << "the header with its zero, URL-encoded";
    const std::string names[] = {"first", "second"};
    const std::string digests[] = {digest, other};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(pieces[i + 1].compare(0, names[i].size() + 1, names[i] + "="), 0) << pieces[i + 1];
        const auto v = signfx::cmsPeer(signfx::base64Decode(pieces[i + 1].substr(names[i].size() + 1)),
                                       fx("hong/signCert.der"), tmp.path());
        EXPECT_TRUE(v.verified()) << i;
        EXPECT_EQ(v.at("messageDigest"), signfx::hex(digests[i])) << i;
        EXPECT_EQ(v.at("signingTime"), "1700000000") << i;
    }
}

TEST_F(Signing, SignedDataRefusals) {
    const std::string path = home.place("hong");
    struct Case {
        std::string data, serverTime;
        int multiSign, want;
    } cases[] = {
        {"x", "", 0, SubmitCode::kServerTime},
        {"x", "abc", 0, SubmitCode::kServerTime},
        {"x", "-5", 0, SubmitCode::kServerTime},
        {"x", "1700000000 ", 0, SubmitCode::kServerTime},
        {"x", "2524608000", 0, SubmitCode::kServerTime},  // 2050: no UTCTime holds it
        {"x", "99999999999999999999999", 0, SubmitCode::kServerTime},
        {"plain text", "1700000000", 1, SubmitCode::kP7Sign},  // digest mode takes md= or HD= only
        {"HD=", "1700000000", 1, SubmitCode::kP7Sign},
        {"HD=" + zqtest::run({"base64", "-w0"}, std::string("H")).output, "1700000000", 1, SubmitCode::kP7Sign},
    };
    for (const Case& c : cases) {
        SubmitResult r;
        EXPECT_EQ(PKCS7_Cert_Submit(0, path.c_str(), pw.c_str(), c.data, c.serverTime.c_str(), r, c.multiSign), c.want)
            << c.data << " / " << c.serverTime;
        EXPECT_TRUE(r.signature.empty());
    }
    SubmitResult r;
    EXPECT_EQ(PKCS7_Cert_Submit(0, path.c_str(), "wrong", "x", "1700000000", r, 0), SubmitCode::kWrongPassword);
    EXPECT_EQ(PKCS7_Cert_Submit(0, (home.path() + "/no/signCert.der").c_str(), pw.c_str(), "x", "1700000000", r, 0),
              SubmitCode::kP7Sign);
}

TEST_F(Signing, PKCS12FileSubmissions) {
    EXPECT_EQ(Get_PFXFile_ToBuffer(fx("hong.p12").c_str(), "wrong"), AdapterCode::kWrongPassword);
    EXPECT_EQ(Get_PFXFile_ToBuffer((tmp.path() + "/none.p12").c_str(), signfx::kP12Password), AdapterCode::kStore);
    ASSERT_EQ(Get_PFXFile_ToBuffer(fx("hong.p12").c_str(), signfx::kP12Password), 0);
    SubmitResult p1;
    ASSERT_EQ(PKCS1_Cert_Submit_Buffer(signfx::kP12Password, kNonce, p1), 0);
    EXPECT_TRUE(signfx::rsaSha1Verifies(signfx::base64Decode(URLDecodeText(p1.signature)), nonce(),
                                        fx("hong/signCert.der"), tmp.path()));
    EXPECT_TRUE(p1.random.empty()) << "openssl's PKCS#12 keys hold no VID random";
    setTz("Asia/Seoul");
    SubmitResult p7;
    ASSERT_EQ(PKCS7_Cert_Submit_Buffer(signfx::kP12Password, "file data", "1700000000", p7), 0);
    EXPECT_EQ(signfx::cmsVerify(der(p7.signature), tmp.path()), "file data");
    const auto v = signfx::cmsPeer(der(p7.signature), fx("hong/signCert.der"), tmp.path());
    EXPECT_TRUE(v.verified());
    EXPECT_EQ(v.at("digest"), "sha1");
    EXPECT_EQ(v.at("signingTime"), "1700000000");
    EXPECT_EQ(PKCS7_Cert_Submit_Buffer(signfx::kP12Password, "file data", "x", p7), SubmitCode::kServerTime);
    VPL_Cleanup();
}

// ---- Management adapters ---------------------------------------------------------

TEST_F(Signing, PasswordChangeAndCheck) {
    const std::string path = home.place("hong");
    const std::string key = path.substr(0, path.rfind('/')) + "/signPri.key";
    const auto opens = [&](const std::string& password) {
        return signfx::quietly(
            {zqtest::kPython, zqtest::sourceDir() + "/tests/core/kisa_key.py", "random", key, password});
    };
    EXPECT_EQ(Check_CertPasswd(0, path.c_str(), pw.c_str()), 0);
    EXPECT_EQ(Check_CertPasswd(0, path.c_str(), "wrong"), AdapterCode::kCheckPassword);
    EXPECT_EQ(Change_CertPasswd(0, path.c_str(), "wrong", "new-pw-22"), AdapterCode::kChangePassword);
    ASSERT_EQ(Change_CertPasswd(0, path.c_str(), pw.c_str(), "new-pw-22"), 0);
    EXPECT_TRUE(opens("new-pw-22"));
    EXPECT_FALSE(opens(pw));
    EXPECT_EQ(Check_CertPasswd(0, path.c_str(), "new-pw-22"), 0);
    EXPECT_EQ(Check_CertPasswd(0, path.c_str(), pw.c_str()), AdapterCode::kCheckPassword);
}

TEST_F(Signing, DeleteRemovesTheFolder) {
    const std::string path = home.place("hong");
    const std::string folder = path.substr(0, path.rfind('/'));
    ASSERT_EQ(Delete_Cert(0, path.c_str()), 0);
    EXPECT_FALSE(zqtest::fileExists(folder));
    EXPECT_EQ(Delete_Cert(0, path.c_str()), AdapterCode::kDelete);
    EXPECT_EQ(Delete_Cert(7, path.c_str()), AdapterCode::kDelete);
}

TEST_F(Signing, DetailAgreesWithOpenssl) {
    const std::string path = home.place("hong");
    CertDetailInfo d{};
    ASSERT_EQ(Get_CertDetail(0, path.c_str(), &d), 0);
    const auto x509 = [&](const char* opt) {
        return zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx("hong/signCert.der"), "-noout", opt}, {},
                           signfx::kNoConf)
            .output;
    };
    std::string serial = x509("-serial");  // serial=2001
    serial = serial.substr(serial.find('=') + 1);
    serial.erase(serial.find_last_not_of("\n") + 1);
    EXPECT_EQ(std::string(d.serialNumber).substr(0, std::string(d.serialNumber).find(' ')),
              std::to_string(std::stoul(serial, nullptr, 16)));
    std::string fp = x509("-fingerprint");
    fp = fp.substr(fp.find('=') + 1);
    fp.erase(fp.find_last_not_of("\n") + 1);
    std::replace(fp.begin(), fp.end(), ':', ' ');
    std::transform(fp.begin(), fp.end(), fp.begin(), ::tolower);
    std::string ours = d.hand_print;
    ours.erase(ours.find_last_not_of(' ') + 1);
    EXPECT_EQ(ours, fp);
    EXPECT_NE(x509("-text").find(std::string("Signature Algorithm: ") + d.signatureAlg), std::string::npos)
        << d.signatureAlg;
    EXPECT_EQ(Get_CertDetail(0, (home.path() + "/none").c_str(), &d), AdapterCode::kDetail);
}

TEST_F(Signing, PKCS12ExportAndImport) {
    const std::string path = home.place("hong");
    const std::string out = tmp.path() + "/export.p12";
    EXPECT_EQ(Set_PFXFile(0, path.c_str(), out.c_str(), "wrong"), AdapterCode::kPfxWrongPassword);
    EXPECT_EQ(Set_PFXFile(0, path.c_str(), (tmp.path() + "/no/such/dir/x.p12").c_str(), pw.c_str()),
              AdapterCode::kFailed);
    ASSERT_EQ(Set_PFXFile(0, path.c_str(), out.c_str(), pw.c_str()), 0);
    EXPECT_TRUE(signfx::quietly({"openssl", "pkcs12", "-info", "-noout", "-in", out, "-passin", "pass:" + pw}));
    void* buf = nullptr;
    int bufLen = 0;
    ASSERT_EQ(Set_PFXBuf(0, path.c_str(), pw.c_str(), &buf, &bufLen), 0);
    zqtest::writeFile(tmp.path() + "/buf.p12", std::string(static_cast<char*>(buf), size_t(bufLen)));
    free(buf);
    EXPECT_TRUE(signfx::quietly(
        {"openssl", "pkcs12", "-info", "-noout", "-in", tmp.path() + "/buf.p12", "-passin", "pass:" + pw}));
    EXPECT_EQ(Set_PFXBuf(0, path.c_str(), "wrong", &buf, &bufLen), AdapterCode::kStore);
    EXPECT_EQ(buf, nullptr);

    // openssl's file into a fresh home.
    signfx::Home other;
    EXPECT_EQ(Get_PFXFile(2, nullptr, fx("hong.p12").c_str(), signfx::kP12Password), AdapterCode::kFailed);
    EXPECT_EQ(Get_PFXFile(0, nullptr, fx("hong.p12").c_str(), "wrong"), AdapterCode::kPfxImportWrongPassword);
    ASSERT_EQ(Get_PFXFile(0, nullptr, fx("hong.p12").c_str(), signfx::kP12Password), 0);
    const std::string imported = other.path() + "/NPKI/yessign/USER/" + signfx::kHongFolder + "/signCert.der";
    EXPECT_EQ(zqtest::readFile(imported), zqtest::readFile(fx("hong/signCert.der")));
    EXPECT_EQ(Check_CertPasswd(0, imported.c_str(), signfx::kP12Password), 0);
}

TEST_F(Signing, IdentificationTellsPasswordFromNumber) {
    const std::string path = home.place("hong");
    EXPECT_EQ(Cert_Indentification(0, path.c_str(), pw.c_str(), signfx::value("idn").c_str()), 0);
    EXPECT_EQ(Cert_Indentification(0, path.c_str(), "wrong", signfx::value("idn").c_str()),
              AdapterCode::kPfxWrongPassword);
    EXPECT_EQ(Cert_Indentification(0, path.c_str(), pw.c_str(), "8001011234568"), AdapterCode::kIdentityMismatch);
}

TEST_F(Signing, CopyToADrive) {
    const std::string path = home.place("hong");
    zqtest::TempDir drive("agentdrive");
    EXPECT_EQ(Cert_Domain_Copy(0, 1, path.c_str(), drive.path().c_str(), "wrong"), AdapterCode::kCopy);
    ASSERT_EQ(Cert_Domain_Copy(0, 1, path.c_str(), drive.path().c_str(), pw.c_str()), 0);
    EXPECT_EQ(zqtest::readFile(drive.path() + "/NPKI/yessign/USER/" + signfx::kHongFolder + "/signCert.der"),
              zqtest::readFile(fx("hong/signCert.der")));
}

TEST_F(Signing, FileHashAndPem) {
    const std::string file = fx("hong/signCert.der");
    std::string peer = zqtest::run({"openssl", "dgst", "-sha256", "-c", file}, {}, signfx::kNoConf).output;
    peer = peer.substr(peer.find("= ") + 2);
    peer.erase(peer.find_last_not_of("\n") + 1);
    std::transform(peer.begin(), peer.end(), peer.begin(), ::toupper);
    char out[100];
    ASSERT_EQ(MakeFileHashStr(file.c_str(), out, sizeof out, "SHA256", ':', 1), 0);
    EXPECT_EQ(std::string(out), peer + ":") << "32 pairs, each followed by the separator";
    char small[10];
    ASSERT_EQ(MakeFileHashStr(file.c_str(), small, sizeof small, "SHA256", ':', 1), 0);
    EXPECT_EQ(std::string(small), peer.substr(0, 9)) << "what fits, terminated";
    ASSERT_EQ(MakeFileHashStr(file.c_str(), out, sizeof out, "SHA256", '-', 0), 0);
    EXPECT_EQ(std::string(out).size(), 64u);
    EXPECT_EQ(MakeFileHashStr((tmp.path() + "/none").c_str(), out, sizeof out, "SHA256", ':', 1), -2);
    EXPECT_EQ(MakeFileHashStr(nullptr, out, sizeof out, "SHA256", ':', 1), -1);

    char* pem = nullptr;
    int pemLen = 0;
    ASSERT_EQ(GetPEMCert(file.c_str(), &pem, &pemLen), 0);
    EXPECT_EQ(std::string(pem, size_t(pemLen)), signfx::certPem(file));
    DeleteCertPEM(pem, pemLen);
    EXPECT_EQ(GetPEMCert((tmp.path() + "/none").c_str(), &pem, &pemLen), -1);
}

}  // namespace

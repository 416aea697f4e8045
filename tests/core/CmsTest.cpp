// CMS signed data: our messages against openssl cms -verify and NSS's
// cmsutil, openssl's messages against our verification and signer queries,
// signing times under other zones.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include <zunCore/cms.h>
#include <zunCore/error.h>

#include "CmsOcspHelpers.h"
#include "KeyHelpers.h"

namespace {

using namespace cotest;

const std::string kData = "a CMS document: 0123456789 and more text after it";

// openssl cms -verify against the test CA; whether it verified and the
// content it wrote.
struct Verified {
    bool ok = false;
    std::string content;
};
Verified opensslVerify(const std::string& der, std::vector<std::string> extra = {}) {
    const std::string out = temp("verified.out", "");
    std::vector<std::string> args{
        "cms",  "-verify", "-inform", "DER", "-binary", "-CAfile", path("ca.pem"), "-in", temp("verify.der", der),
        "-out", out};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = openssl(args);
    return {r.status == 0, zqtest::readFile(out)};
}

std::string printed(const std::string& der) {
    return openssl({"cms", "-cmsout", "-print", "-inform", "DER", "-in", temp("print.der", der)}).output;
}

// A message of openssl cms -sign over kData (DER).
std::string opensslSigned(std::vector<std::string> args) {
    const std::string out = temp("ossl.der", "");
    std::vector<std::string> all{"cms", "-sign", "-binary", "-outform", "DER", "-in", temp("data", kData), "-out", out};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(openssl(all).status, 0);
    return zqtest::readFile(out);
}

std::string der(const std::string& text, int encoding) {
    if (encoding == VCL_CMS_DER) return text;
    return zqtest::run({"base64", "-d"}, text).output;
}

std::string made(const PKISTRINFO* s, int kind, const char* hash, int version, int encoding = VCL_CMS_DER,
                 int expect = 0) {
    Out out;
    EXPECT_EQ(rc(VCL_CMS_Make_Signed_Data(kData.data(), n(kData), s, kind, hash, nullptr, version, encoding, out.ptr(),
                                          &out.len)),
              rc(expect));
    return out.str();
}

TEST(CmsSign, MessagesVerifyInOpenssl) {
    Signer s1(file("s1.pem"), file("s1-p8.der"));
    for (int kind : {VCL_CMS_SIGN_PKCS1, VCL_CMS_SIGN_PSS}) {
        for (int version : {1, 3}) {
            for (const char* hash : {"SHA1", "SHA256"}) {
                for (int encoding : {VCL_CMS_DER, VCL_CMS_BASE64, VCL_CMS_BASE64_LINES}) {
                    SCOPED_TRACE("kind " + std::to_string(kind) + " version " + std::to_string(version) + " " + hash +
                                 " encoding " + std::to_string(encoding));
                    const std::string text = made(s1, kind, hash, version, encoding);
                    ASSERT_FALSE(text.empty());
                    if (encoding == VCL_CMS_BASE64) EXPECT_EQ(text.find('\n'), std::string::npos);
                    if (encoding == VCL_CMS_BASE64_LINES) EXPECT_NE(text.find('\n'), std::string::npos);
                    const std::string msg = der(text, encoding);
                    const Verified v = opensslVerify(msg);
                    EXPECT_TRUE(v.ok);
                    EXPECT_EQ(v.content, kData);
                    if (encoding != VCL_CMS_DER) continue;
                    // RFC 5652 5.3: version 3 names the signer by key
                    // identifier, version 1 by issuer and serial.
                    const std::string p = printed(msg);
                    EXPECT_NE(p.find(version == 3 ? "d.subjectKeyIdentifier" : "d.issuerAndSerialNumber"),
                              std::string::npos);
                    EXPECT_NE(p.find("version: " + std::to_string(version)), std::string::npos);
                    EXPECT_EQ(p.find("rsassaPss") != std::string::npos, kind == VCL_CMS_SIGN_PSS);
                    EXPECT_NE(p.find("signingTime"), std::string::npos);
                    EXPECT_NE(p.find(std::string(hash) == "SHA1" ? "sha1" : "sha256"), std::string::npos);
                }
            }
        }
    }
}

TEST(CmsSign, Refusals) {
    Signer s1(file("s1.pem"), file("s1-p8.der"));
    Signer noSki(file("noski.pem"), file("noski-p8.der"));
    Signer wrongPw(file("s1.pem"), file("s1-p8.der"), "not-pw");
    // The version is checked after the SignerInfo and attributes were made.
    made(s1, VCL_CMS_SIGN_PKCS1, "SHA256", 2, VCL_CMS_DER, 0xa7140094);
    made(s1, VCL_CMS_SIGN_PKCS1, "SHA256", 0, VCL_CMS_DER, 0xa7140094);
    // Version 3 needs the certificate's key identifier.
    made(noSki, VCL_CMS_SIGN_PKCS1, "SHA256", 3, VCL_CMS_DER, 0xa7140035);
    EXPECT_TRUE(opensslVerify(made(noSki, VCL_CMS_SIGN_PKCS1, "SHA256", 1)).ok);
    made(s1, 3, "SHA256", 1, VCL_CMS_DER, 0xa7140035);
    made(s1, 0, "SHA256", 1, VCL_CMS_DER, 0xa7140035);
    made(s1, VCL_CMS_SIGN_PKCS1, "SHA256", 1, 49, 0xa7120016);
    made(s1, VCL_CMS_SIGN_PKCS1, "SHA", 1, VCL_CMS_DER, 0xb1010010);
    EXPECT_NE(rc(VCL_CMS_Make_Signed_Data(kData.data(), n(kData), wrongPw, 1, "SHA256", nullptr, 1, VCL_CMS_DER,
                                          nullptr, nullptr)),
              0u);
    Out out;
    EXPECT_EQ(
        rc(VCL_CMS_Make_Signed_Data(kData.data(), 0, s1, 1, "SHA256", nullptr, 1, VCL_CMS_DER, out.ptr(), &out.len)),
        0xa7140005u);
    EXPECT_EQ(rc(VCL_CMS_Make_Signed_Data(nullptr, 5, s1, 1, "SHA256", nullptr, 1, VCL_CMS_DER, out.ptr(), &out.len)),
              0xa7140005u);
    EXPECT_EQ(rc(VCL_CMS_Make_Signed_Data(kData.data(), n(kData), nullptr, 1, "SHA256", nullptr, 1, VCL_CMS_DER,
                                          out.ptr(), &out.len)),
              0xa7140002u);
    EXPECT_EQ(out.p, nullptr);
    // The new categories read as their rows.
    EXPECT_STREQ(VCL_Get_Error_Msg(static_cast<int>(0xa7140094)), "PKCS7_CMS:CMS_MAKE_SIGNED:Unknown");
    EXPECT_STREQ(VCL_Get_Error_Msg(static_cast<int>(0xa7150005)),
                 "PKCS7_CMS:CMS_VERIFY_SIGNED:Input parameter length is Zero");
}

TEST(CmsSign, KcdsaSignsWithKindOneOnly) {
    const keytest::KcdsaFiles k = keytest::kcdsaFiles("pw");
    ASSERT_FALSE(k.key.empty());
    Signer s(k.cert, k.key);
    made(s, VCL_CMS_SIGN_PSS, "SHA256", 1, VCL_CMS_DER, 0xa7140035);
    for (const char* hash : {"SHA1", "SHA256", "HAS160"}) {
        SCOPED_TRACE(hash);
        const std::string msg = made(s, VCL_CMS_SIGN_PKCS1, hash, 1);
        Out content;
        ASSERT_EQ(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, msg.data(), n(msg), content.ptr(), &content.len), 0);
        EXPECT_EQ(content.str(), kData);
    }
}

TEST(CmsSign, AddedSignerVerifies) {
    Signer s1(file("s1.pem"), file("s1-p8.der"));
    Signer s2(file("s2.pem"), file("s2-p8.der"));
    const std::string first = made(s1, VCL_CMS_SIGN_PKCS1, "SHA256", 1);
    for (int version : {1, 3}) {
        SCOPED_TRACE(version);
        Out second;
        ASSERT_EQ(VCL_CMS_Add_Signed_Data(VCL_CMS_DER, first.data(), n(first), s2, VCL_CMS_SIGN_PSS, "SHA1", nullptr,
                                          version, VCL_CMS_BASE64, second.ptr(), &second.len),
                  0);
        const std::string msg = der(second.str(), VCL_CMS_BASE64);
        const Verified v = opensslVerify(msg);
        EXPECT_TRUE(v.ok);
        EXPECT_EQ(v.content, kData);
        int count = 0;
        ASSERT_EQ(VCL_CMS_Get_Signer_Count(VCL_CMS_DER, msg.data(), n(msg), &count), 0);
        EXPECT_EQ(count, 2);
        // The first signature is carried over as it was.
        const std::string p1 = printed(first), p2 = printed(msg);
        const auto sig = [](const std::string& p) { return p.substr(p.find("signature:"), 200); };
        EXPECT_EQ(sig(p1), sig(p2));
        // RFC 5652 5.1: version 3 as soon as a signer is named by key identifier.
        EXPECT_EQ(p2.find("\n    version: " + std::to_string(version)) != std::string::npos, true) << p2;
    }
    // A message whose content is not carried has nothing to sign.
    const std::string detached = opensslSigned({"-signer", path("s1.pem"), "-inkey", path("s1.key")});
    Out none;
    EXPECT_EQ(rc(VCL_CMS_Add_Signed_Data(VCL_CMS_DER, detached.data(), n(detached), s2, 1, "SHA256", nullptr, 1,
                                         VCL_CMS_DER, none.ptr(), &none.len)),
              0xa7140017u);
}

TEST(CmsSign, NssReadsOurMessages) {
    zqtest::TempDir d("cmsnss");
    const std::string db = "sql:" + d.path();
    ASSERT_EQ(zqtest::run({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
    ASSERT_EQ(zqtest::run({"certutil", "-A", "-d", db, "-n", "ca", "-t", "CT,C,C", "-i", path("ca.pem")}).status, 0);
    Signer s1(file("s1.pem"), file("s1-p8.der"));
    for (int version : {1, 3}) {
        SCOPED_TRACE(version);
        zqtest::writeFile(d / "m.der", made(s1, VCL_CMS_SIGN_PKCS1, "SHA256", version));
        const auto r = zqtest::run({"cmsutil", "-D", "-d", db, "-i", d / "m.der", "-o", d / "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(zqtest::readFile(d / "out"), kData);
    }
}

TEST(CmsVerify, OpensslMessages) {
    const std::string s1 = path("s1.pem"), k1 = path("s1.key"), s2 = path("s2.pem"), k2 = path("s2.key");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int signers;
    };
    const std::vector<Case> cases = {
        {"plain", {"-nodetach", "-signer", s1, "-inkey", k1}, 1},
        {"keyid", {"-nodetach", "-keyid", "-signer", s1, "-inkey", k1}, 1},
        {"two signers", {"-nodetach", "-signer", s1, "-inkey", k1, "-signer", s2, "-inkey", k2, "-md", "sha1"}, 2},
        {"PSS", {"-nodetach", "-signer", s2, "-inkey", k2, "-keyopt", "rsa_padding_mode:pss"}, 1},
        {"no attributes", {"-nodetach", "-noattr", "-signer", s1, "-inkey", k1}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string msg = opensslSigned(c.args);
        Out content;
        ASSERT_EQ(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, msg.data(), n(msg), content.ptr(), &content.len), 0);
        EXPECT_EQ(content.str(), kData);
        int count = -1;
        ASSERT_EQ(VCL_CMS_Get_Signer_Count(VCL_CMS_DER, msg.data(), n(msg), &count), 0);
        EXPECT_EQ(count, c.signers);
        // Each signer's certificate is the one openssl names for it.
        const std::string signersOut = temp("signers.pem", "");
        ASSERT_EQ(openssl({"cms", "-verify", "-inform", "DER", "-binary", "-CAfile", path("ca.pem"), "-in",
                           temp("m.der", msg), "-signer", signersOut, "-out", "/dev/null"})
                      .status,
                  0);
        const std::string pems = zqtest::readFile(signersOut);
        size_t at = 0;
        for (int i = 0; i < c.signers; ++i) {
            const size_t begin = pems.find("-----BEGIN", at), end = pems.find("-----END CERTIFICATE-----", begin);
            ASSERT_NE(end, std::string::npos);
            at = end + 25;
            const std::string expected =
                openssl({"x509", "-outform", "DER"}, pems.substr(begin, at - begin) + "\n").output;
            Out cert, pem;
            ASSERT_EQ(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, msg.data(), n(msg), i, 48, cert.ptr(), &cert.len), 0);
            EXPECT_EQ(cert.str(), expected);
            ASSERT_EQ(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, msg.data(), n(msg), i, 49, pem.ptr(), &pem.len), 0);
            EXPECT_EQ(openssl({"x509", "-outform", "DER"}, pem.str()).output, expected);
        }
        Out none;
        EXPECT_EQ(rc(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, msg.data(), n(msg), c.signers, 48, none.ptr(), &none.len)),
                  0xa7160029u);
        EXPECT_EQ(rc(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, msg.data(), n(msg), 0, 50, none.ptr(), &none.len)),
                  0xa7160016u);
    }
}

// Two signers and one certificate: openssl's -resign by the same signer.
// The second signer's certificate is found though the list holds nothing at
// its position.
TEST(CmsVerify, SignerCertificateWhateverItsPosition) {
    const std::string first = opensslSigned({"-nodetach", "-signer", path("s1.pem"), "-inkey", path("s1.key")});
    const std::string out = temp("resigned.der", "");
    ASSERT_EQ(openssl({"cms", "-resign", "-inform", "DER", "-in", temp("first.der", first), "-signer", path("s1.pem"),
                       "-inkey", path("s1.key"), "-nocerts", "-outform", "DER", "-out", out})
                  .status,
              0);
    const std::string msg = zqtest::readFile(out);
    int count = 0;
    ASSERT_EQ(VCL_CMS_Get_Signer_Count(VCL_CMS_DER, msg.data(), n(msg), &count), 0);
    ASSERT_EQ(count, 2);
    for (int i = 0; i < 2; ++i) {
        Out cert;
        ASSERT_EQ(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, msg.data(), n(msg), i, 48, cert.ptr(), &cert.len), 0) << i;
        EXPECT_EQ(cert.str(), file("s1.der"));
    }
    Out content;
    EXPECT_EQ(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, msg.data(), n(msg), content.ptr(), &content.len), 0);
}

TEST(CmsVerify, StrippedOrChangedMessagesFail) {
    const std::string s1 = path("s1.pem"), k1 = path("s1.key");
    const std::string noCerts = opensslSigned({"-nodetach", "-nocerts", "-signer", s1, "-inkey", k1});
    const std::string detached = opensslSigned({"-signer", s1, "-inkey", k1});
    const std::string noSigners =
        openssl({"crl2pkcs7", "-nocrl", "-certfile", s1, "-outform", "DER"}).output;  // a certificates-only message
    std::string changed = opensslSigned({"-nodetach", "-signer", s1, "-inkey", k1});
    const size_t at = changed.find(kData);
    ASSERT_NE(at, std::string::npos);
    changed[at] ^= 1;
    for (const std::string* msg : {&noCerts, &detached, &noSigners, static_cast<const std::string*>(&changed)}) {
        Out content;
        EXPECT_EQ(rc(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, msg->data(), n(*msg), content.ptr(), &content.len)),
                  0xa715003fu);
        EXPECT_EQ(content.p, nullptr);
    }
    Out cert;
    EXPECT_EQ(rc(VCL_CMS_Get_Signer_Certs(VCL_CMS_DER, noCerts.data(), n(noCerts), 0, 48, cert.ptr(), &cert.len)),
              0xa716002du);
    EXPECT_EQ(cert.p, nullptr);
    EXPECT_EQ(cert.len, 0);

    Out content;
    EXPECT_EQ(rc(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, "x", 0, content.ptr(), &content.len)), 0xa7150005u);
    EXPECT_EQ(rc(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, nullptr, 4, content.ptr(), &content.len)), 0xa7150002u);
    EXPECT_EQ(rc(VCL_CMS_Verify_Signed_Data(49, noCerts.data(), n(noCerts), content.ptr(), &content.len)), 0xa7120016u);
    EXPECT_EQ(rc(VCL_CMS_Verify_Signed_Data(VCL_CMS_DER, "\x30\x03\x02\x01\x01", 5, content.ptr(), &content.len)),
              0xa712003eu);
    EXPECT_EQ(VCL_CMS_Check_Format(VCL_CMS_DER, detached.data(), n(detached)), 0);
    EXPECT_EQ(rc(VCL_CMS_Check_Format(VCL_CMS_DER, "junk", 4)), 0xa712003du);
    EXPECT_EQ(rc(VCL_CMS_Check_Format(VCL_CMS_BASE64, "!!!!", 4)), 0xa7120024u);
    int count = 7;
    EXPECT_EQ(rc(VCL_CMS_Get_Signer_Count(VCL_CMS_DER, "junk", 4, &count)), 0xa712003du);
    EXPECT_EQ(count, 0);
    char text[VCL_CMS_SIGN_TIME_TEXT_SIZE];
    EXPECT_EQ(rc(VCL_CMS_Get_Sign_Time(VCL_CMS_DER, detached.data(), n(detached), 1, text)), 0xa7170029u);
    const std::string noAttr = opensslSigned({"-nodetach", "-noattr", "-signer", s1, "-inkey", k1});
    EXPECT_EQ(rc(VCL_CMS_Get_Sign_Time(VCL_CMS_DER, noAttr.data(), n(noAttr), 0, text)), 0xa717002au);
}

// "UTCTIME:Mar  1 10:05:09 2024 GMT" of openssl's print as an instant.
long signingTimeOf(const std::string& printedText) {
    const size_t at = printedText.find("UTCTIME:");
    if (at == std::string::npos) return -1;
    const std::string text = printedText.substr(at + 8, printedText.find('\n', at) - at - 8);
    const auto r = zqtest::run({"date", "-u", "-d", text, "+%s"});
    return r.status == 0 ? std::stol(r.output) : -1;
}

std::string helper(const std::vector<std::string>& args, const std::string& tz) {
    std::vector<std::string> argv{CORE_CMS_OCSP_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, {}, {"TZ=" + tz}).output;
}

TEST(CmsSign, SigningTimeIsNowUnderAnyZone) {
    for (const std::string tz : {"Asia/Seoul", "UTC", "America/New_York"}) {
        SCOPED_TRACE(tz);
        const std::string out = temp("now-" + std::to_string(tz.size()) + ".der", "");
        const long before = static_cast<long>(std::time(nullptr));
        EXPECT_EQ(helper({"cms-sign", path("s1.pem"), path("s1-p8.der"), "now", out}, tz), "");
        const long after = static_cast<long>(std::time(nullptr));
        const std::string msg = zqtest::readFile(out);
        ASSERT_TRUE(opensslVerify(msg).ok);
        // Between the clock before and after the helper ran, however long a
        // loaded machine took.
        const long t = signingTimeOf(printed(msg));
        EXPECT_GE(t, before);
        EXPECT_LE(t, after);
        // The query prints the instant the message holds, in UTC.
        const std::string expected =
            zqtest::run({"date", "-u", "-d", "@" + std::to_string(t), "+%Y/%m/%d %H:%M:%S"}).output;
        EXPECT_EQ(helper({"cms-time", out}, tz), expected);
    }
    // A given time is local: 19:05:09 in Seoul is 10:05:09 UTC.
    const std::string out = temp("given.der", "");
    EXPECT_EQ(helper({"cms-sign", path("s1.pem"), path("s1-p8.der"), "2024-02-29,19:05:09", out}, "Asia/Seoul"), "");
    EXPECT_NE(printed(zqtest::readFile(out)).find("UTCTIME:Feb 29 10:05:09 2024 GMT"), std::string::npos);
    EXPECT_EQ(helper({"cms-time", out}, "America/New_York"), "2024/02/29 10:05:09\n");
}

}  // namespace

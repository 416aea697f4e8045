// CMS enveloped data: ours opened by openssl cms -decrypt and NSS's cmsutil,
// theirs opened by ours.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zunCore/cms.h>

#include "CmsOcspHelpers.h"

namespace {

using namespace cotest;

const std::string kData = "an enveloped document, longer than one block of any cipher: 0123456789";

std::string enveloped(const char* cipher, int mode, int contentType = 21, const std::string& key = {},
                      const std::string& iv = {}, int encoding = VCL_CMS_DER, int expect = 0) {
    const std::string rcCert = file("rc.pem");
    std::string copy = rcCert;
    const CERT_ITEM recipient{reinterpret_cast<unsigned char*>(copy.data()), n(copy)};
    Out out;
    EXPECT_EQ(rc(VCL_CMS_Make_Enveloped_Data(kData.data(), n(kData), contentType, &recipient, cipher,
                                             key.empty() ? nullptr : key.data(), iv.empty() ? nullptr : iv.data(),
                                             encoding, out.ptr(), &out.len, mode)),
              rc(expect));
    return out.str();
}

std::string printed(const std::string& der) {
    return openssl({"cms", "-cmsout", "-print", "-inform", "DER", "-in", temp("print.der", der)}).output;
}

struct Opened {
    int result = -1;
    std::string content, key, iv;
};
Opened open(const std::string& msg, const std::string& cert = "rc.pem", const std::string& key = "rc-p8.der",
            const char* pw = "pw", int encoding = VCL_CMS_DER) {
    const std::string c = file(cert), k = file(key);
    unsigned char keyOut[32], ivOut[16];
    int keyLen = 0, ivLen = 0;
    Out content;
    Opened o;
    o.result = VCL_CMS_Verify_Enveloped_Data(encoding, msg.data(), n(msg), c.data(), n(c), k.data(), n(k), pw, keyOut,
                                             &keyLen, ivOut, &ivLen, content.ptr(), &content.len);
    if (o.result == 0) {
        o.content = content.str();
        o.key.assign(reinterpret_cast<char*>(keyOut), static_cast<size_t>(keyLen));
        o.iv.assign(reinterpret_cast<char*>(ivOut), static_cast<size_t>(ivLen));
    }
    return o;
}

// The IV openssl prints as the content-encryption parameters (hex).
std::string printedIv(const std::string& p) {
    const size_t alg = p.find("contentEncryptionAlgorithm:");
    const size_t at = p.find("OCTET STRING:", alg);
    if (at == std::string::npos) return {};
    std::string out;
    for (size_t i = p.find('\n', at) + 1; i < p.size(); ++i) {
        const std::string line = p.substr(i, p.find('\n', i) - i);
        if (line.find(" - ") == std::string::npos) break;
        // "      0000 - 9a 47 ...   .G..."
        const std::string bytes = line.substr(line.find(" - ") + 3, 47);
        for (char ch : bytes)
            if (std::isxdigit(static_cast<unsigned char>(ch))) out += static_cast<char>(std::toupper(ch));
        i = p.find('\n', i);
    }
    return out;
}

TEST(CmsEnvelope, OpensslDecryptsOurs) {
    struct Case {
        const char* cipher;
        bool legacy;
        size_t keyLen;
    };
    for (const Case c : {Case{"SEED-CBC", true, 16}, Case{"AES256-CBC", false, 32}}) {
        for (int mode : {32, 16}) {
            SCOPED_TRACE(std::string(c.cipher) + " mode " + std::to_string(mode));
            const std::string msg = enveloped(c.cipher, mode);
            ASSERT_FALSE(msg.empty());
            const std::string out = temp("dec.out", "");
            const auto r = openssl({"cms", "-decrypt", "-binary", "-inform", "DER", "-in", temp("env.der", msg),
                                    "-recip", path("rc.pem"), "-inkey", path("rc.key"), "-out", out},
                                   {}, c.legacy);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(zqtest::readFile(out), kData);
            const std::string p = printed(msg);
            EXPECT_EQ(p.find("rsaesOaep") != std::string::npos, mode == 16);
            const Opened o = open(msg);
            ASSERT_EQ(o.result, 0);
            EXPECT_EQ(o.content, kData);
            EXPECT_EQ(o.key.size(), c.keyLen);
            EXPECT_EQ(hex(o.iv), printedIv(p));
        }
    }
}

TEST(CmsEnvelope, OursOpensOpensslsAndNss) {
    const std::string data = temp("plain", kData);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool legacy;
    };
    const std::vector<Case> cases = {
        {"aes-256 v1.5", {"-aes256"}, false},
        {"aes-128 OAEP", {"-aes128", "-keyopt", "rsa_padding_mode:oaep"}, false},
        {"seed", {"-seed-cbc"}, true},
        {"keyid", {"-aes256", "-keyid"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = temp("ossl-env.der", "");
        std::vector<std::string> args{"cms", "-encrypt", "-binary", "-outform", "DER", "-in", data, "-out", out};
        // Key options follow the recipient they are for.
        const auto keyopt = std::find(c.args.begin(), c.args.end(), "-keyopt");
        args.insert(args.end(), c.args.begin(), keyopt);
        args.insert(args.end(), {"-recip", path("rc.pem")});
        args.insert(args.end(), keyopt, c.args.end());
        ASSERT_EQ(openssl(args, {}, c.legacy).status, 0);
        const std::string msg = zqtest::readFile(out);
        const Opened o = open(msg);
        ASSERT_EQ(o.result, 0);
        EXPECT_EQ(o.content, kData);
        EXPECT_EQ(hex(o.iv), printedIv(printed(msg)));
    }

    // NSS: cmsutil envelopes for the recipient in its database, and opens
    // ours with the recipient's key imported.
    zqtest::TempDir d("cmsnss");
    const std::string db = "sql:" + d.path();
    ASSERT_EQ(zqtest::run({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
    ASSERT_EQ(zqtest::run({"certutil", "-A", "-d", db, "-n", "ca", "-t", "CT,C,C", "-i", path("ca.pem")}).status, 0);
    ASSERT_EQ(openssl({"pkcs12", "-export", "-in", path("rc.pem"), "-inkey", path("rc.key"), "-name", "rc", "-passout",
                       "pass:pw", "-out", d / "rc.p12"})
                  .status,
              0);
    ASSERT_EQ(zqtest::run({"pk12util", "-i", d / "rc.p12", "-d", db, "-W", "pw"}).status, 0);
    const auto e = zqtest::run({"cmsutil", "-E", "-d", db, "-r", "rc", "-i", data, "-o", d / "nss-env.der"});
    ASSERT_EQ(e.status, 0);
    const Opened o = open(zqtest::readFile(d / "nss-env.der"));
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.content, kData);
    for (const char* cipher : {"AES256-CBC", "AES128-CBC"}) {
        zqtest::writeFile(d / "ours.der", enveloped(cipher, 32));
        const auto r = zqtest::run({"cmsutil", "-D", "-d", db, "-i", d / "ours.der", "-o", d / "ours.out"});
        EXPECT_EQ(r.status, 0) << cipher;
        EXPECT_EQ(zqtest::readFile(d / "ours.out"), kData) << cipher;
    }
}

TEST(CmsEnvelope, GivenKeyAndContentType) {
    const std::string key = unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const std::string iv = unhex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    const std::string a = enveloped("AES256-CBC", 32, 21, key, iv), b = enveloped("AES256-CBC", 32, 21, key, iv);
    const std::string ciphertext = openssl({"enc", "-aes-256-cbc", "-K", hex(key), "-iv", hex(iv)}, kData).output;
    EXPECT_NE(a.find(ciphertext), std::string::npos);
    EXPECT_NE(b.find(ciphertext), std::string::npos);
    const Opened o = open(a);
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.key, key);
    EXPECT_EQ(o.iv, iv);
    EXPECT_EQ(enveloped("AES256-CBC", 32).find(ciphertext), std::string::npos);
    // Labels other than data, signed, enveloped and encrypted data become
    // id-data.
    EXPECT_NE(printed(enveloped("SEED-CBC", 32, 24)).find("contentType: pkcs7-data"), std::string::npos);
    EXPECT_NE(printed(enveloped("SEED-CBC", 32, 26)).find("contentType: pkcs7-encryptedData"), std::string::npos);
    // Base64 both ways.
    const std::string text = enveloped("SEED-CBC", 16, 21, {}, {}, VCL_CMS_BASE64_LINES);
    EXPECT_EQ(open(text, "rc.pem", "rc-p8.der", "pw", VCL_CMS_BASE64_LINES).content, kData);
}

TEST(CmsEnvelope, Refusals) {
    enveloped("AES256-CBC", 32, 21, {}, {}, 49, 0xa7120016);
    enveloped("SHA256", 32, 21, {}, {}, VCL_CMS_DER, 0xa7180046);
    enveloped("AES-256", 32, 21, {}, {}, VCL_CMS_DER, 0xb1010010);
    enveloped("AES256-CBC", 4, 21, {}, {}, VCL_CMS_DER, 0xa7180048);
    const std::string msg = enveloped("AES256-CBC", 32);
    EXPECT_EQ(rc(open(msg, "s2.pem", "s2-p8.der").result), 0xa719004au);
    EXPECT_NE(open(msg, "rc.pem", "rc-p8.der", "wrong").result, 0);
    // A message whose ciphertext was changed does not open (bad padding)
    // or opens to other bytes, never to the content.
    std::string changed = msg;
    changed[changed.size() - 1] ^= 0x55;
    const Opened o = open(changed);
    EXPECT_TRUE(o.result == static_cast<int>(0xa719004bu) || o.content != kData);

    std::string c = file("rc.pem");
    const CERT_ITEM none{nullptr, 0}, noData{nullptr, 5}, ok{reinterpret_cast<unsigned char*>(c.data()), n(c)};
    Out out;
    EXPECT_EQ(rc(VCL_CMS_Make_Enveloped_Data(kData.data(), 0, 21, &ok, "SEED-CBC", nullptr, nullptr, VCL_CMS_DER,
                                             out.ptr(), &out.len, 32)),
              0xa7180005u);
    EXPECT_EQ(rc(VCL_CMS_Make_Enveloped_Data(kData.data(), n(kData), 21, &none, "SEED-CBC", nullptr, nullptr,
                                             VCL_CMS_DER, out.ptr(), &out.len, 32)),
              0xa7140005u);
    EXPECT_EQ(rc(VCL_CMS_Make_Enveloped_Data(kData.data(), n(kData), 21, &noData, "SEED-CBC", nullptr, nullptr,
                                             VCL_CMS_DER, out.ptr(), &out.len, 32)),
              0xa7140002u);
    EXPECT_EQ(rc(VCL_CMS_Make_Enveloped_Data(kData.data(), n(kData), 21, nullptr, "SEED-CBC", nullptr, nullptr,
                                             VCL_CMS_DER, out.ptr(), &out.len, 32)),
              0xa7140002u);
    EXPECT_EQ(out.p, nullptr);
    Out content;
    const std::string k = file("rc-p8.der");
    EXPECT_EQ(rc(VCL_CMS_Verify_Enveloped_Data(VCL_CMS_DER, msg.data(), 0, c.data(), n(c), k.data(), n(k), "pw",
                                               nullptr, nullptr, nullptr, nullptr, content.ptr(), &content.len)),
              0xa7190005u);
    EXPECT_EQ(rc(VCL_CMS_Verify_Enveloped_Data(VCL_CMS_DER, msg.data(), n(msg), nullptr, n(c), k.data(), n(k), "pw",
                                               nullptr, nullptr, nullptr, nullptr, content.ptr(), &content.len)),
              0xa7190002u);
    EXPECT_EQ(rc(VCL_CMS_Verify_Enveloped_Data(VCL_CMS_DER, msg.data(), n(msg), c.data(), n(c), k.data(), n(k), "pw",
                                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)),
              0xa7190002u);
    // Neither key nor IV asked for: the content alone.
    ASSERT_EQ(VCL_CMS_Verify_Enveloped_Data(VCL_CMS_DER, msg.data(), n(msg), c.data(), n(c), k.data(), n(k), "pw",
                                            nullptr, nullptr, nullptr, nullptr, content.ptr(), &content.len),
              0);
    EXPECT_EQ(content.str(), kData);
}

}  // namespace

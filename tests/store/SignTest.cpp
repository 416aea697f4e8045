// Signing from the store: the algorithm a certificate asks for, the KM
// certificate beside a signing one, the log-in signature checked by openssl
// dgst, document signatures checked by openssl cms (signingTime against
// date -u in two zones), the credentials of an openssl pkcs12 file, a KCDSA
// signer made with libzunPKI checked by the core, and what the log keeps.
#include <dirent.h>
#include <stdlib.h>
#include <time.h>

#include <cstring>
#include <filesystem>

#include <zunCore/pkcs1.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>

#include "KcdsaFixture.h"
#include "SignHelpers.h"
#include "context/context_internal.hpp"

using signtest::encoded;
using signtest::fx;
using signtest::fxBytes;
using signtest::quietly;
using storetest::len;
using storetest::Out;

namespace {

const char kPw[] = "hong-pw-1";

struct Names {
    int rc;
    std::string alg, hash;
};
Names namesOf(const std::string& cert, int prefer) {
    char* alg = nullptr;
    char* hash = nullptr;
    Names n;
    n.rc = VPL_Get_Cert_AlgorithmAndHash(prefer, cert.data(), len(cert), &alg, &hash);
    n.alg = alg ? alg : "";
    n.hash = hash ? hash : "";
    free(alg);
    free(hash);
    return n;
}

std::string opensslOut(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, {}, {"OPENSSL_CONF=/dev/null"}).output;
}

}  // namespace

TEST(StoreAlgorithm, NamesFromTheCertificate) {
    const auto kcdsa256 = signtest::kcdsaPair(fxBytes("kcdsa-sha256.der"), kPw);
    const auto kcdsa1 = signtest::kcdsaPair(fxBytes("kcdsa-sha1.der"), kPw);
    const std::string pem = opensslOut({"x509", "-inform", "DER", "-in", fx("alg-sha256.der")});
    struct Row {
        const char* what;
        std::string cert;
        const char *alg1, *alg0, *hash;
    } rows[] = {
        {"sha1WithRSA", fxBytes("alg-sha1.der"), "RSA15", "RSA15", "SHA1"},
        {"sha256WithRSA", fxBytes("alg-sha256.der"), "RSA15", "RSA20", "SHA256"},
        {"sha256WithRSA as PEM", pem, "RSA15", "RSA20", "SHA256"},
        // id-RSASSA-PSS names no SHA-256 of its own: PSS all the same.
        {"RSASSA-PSS", fxBytes("alg-pss.der"), "PSS", "PSS", "SHA256"},
        {"KCDSA under SHA-256", kcdsa256.cert, "KCDSA1", "KCDSA1", "SHA256"},
        {"KCDSA under SHA-1", kcdsa1.cert, "KCDSA1", "KCDSA1", "HAS160"},
    };
    for (const Row& r : rows) {
        const Names one = namesOf(r.cert, 1), zero = namesOf(r.cert, 0);
        EXPECT_EQ(one.rc, 0) << r.what;
        EXPECT_EQ(one.alg, r.alg1) << r.what;
        EXPECT_EQ(one.hash, r.hash) << r.what;
        EXPECT_EQ(zero.alg, r.alg0) << r.what;
        EXPECT_EQ(zero.hash, r.hash) << r.what;
    }
    EXPECT_EQ(namesOf("", 1).rc, -1);
    const Names junk = namesOf("\x30\x03\x02\x01\x01", 1);
    EXPECT_EQ(junk.rc, 1051024);
    EXPECT_EQ(junk.alg, "");
}

TEST(StoreAlgorithm, PaddingCodesByExactName) {
    struct {
        const char* name;
        int sign, encrypt;
    } rows[] = {{"RSA15", 1, 0x20}, {"PSS", 2, 8},    {"RSA20", 1, 8}, {"RSA21", 1, 0x10},
                {"KCDSA", 0, 0},    {"KCDSA1", 1, 8}, {"rsa15", 1, 8}, {nullptr, 1, 8}};
    for (const auto& r : rows) {
        EXPECT_EQ(VPL_get_pad_mode(r.name, 1), r.sign) << (r.name ? r.name : "NULL");
        EXPECT_EQ(VPL_get_pad_mode(r.name, 0), r.encrypt) << (r.name ? r.name : "NULL");
    }
}

// ---- The KM certificate beside a signing one -----------------------------------

class StoreKm : public ::testing::Test {
protected:
    // (km path, key path) as VPL_Get_Encrypt_Path gives them; rc in *rc.
    std::pair<std::string, std::string> paths(int cls, const std::string& sign, int* rc = nullptr) {
        char* cert = nullptr;
        char* key = nullptr;
        const int r = VPL_Get_Encrypt_Path(cls, sign.c_str(), &cert, &key);
        if (rc) *rc = r;
        std::pair<std::string, std::string> out(cert ? cert : "", key ? key : "");
        free(cert);
        free(key);
        return out;
    }
    signtest::Home m_home;
};

TEST_F(StoreKm, FindsTheWholeNameOnly) {
    const std::string dir = m_home.hong();
    const std::string sign = dir + "/signCert.der";
    EXPECT_EQ(paths(1, sign), std::make_pair(dir + "/kmCert.der", dir + "/kmPri.key"));

    Out<void> cert, key;
    ASSERT_EQ(VPL_Get_EncryptCertPrivateKey(1, sign.c_str(), cert.ptr(), &cert.n, key.ptr(), &key.n), 0);
    EXPECT_EQ(cert.str(), fxBytes("hong/kmCert.der"));
    EXPECT_EQ(key.str(), fxBytes("hong/kmPri.key"));

    // A backup copy is not the certificate; neither is a folder of its name.
    std::filesystem::rename(dir + "/kmCert.der", dir + "/kmCert.der.bak");
    zqtest::makeDirs(dir + "/kmcert.der");
    int rc = 1;
    EXPECT_EQ(paths(1, sign, &rc), std::make_pair(std::string(), std::string()));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(VPL_Get_EncryptCertPrivateKey(1, sign.c_str(), cert.ptr(), &cert.n, key.ptr(), &key.n), -1);
    EXPECT_EQ(cert.p, nullptr);

    // FAT upper-cases names: the whole name still counts.
    std::filesystem::rename(dir + "/kmCert.der.bak", dir + "/KMCERT.DER");
    EXPECT_EQ(paths(1, sign).first, dir + "/KMCERT.DER");

    EXPECT_EQ(paths(10, sign, &rc).first, "");
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(VPL_Get_Encrypt_Path(1, nullptr, nullptr, nullptr), 1052009);
}

TEST_F(StoreKm, GovernmentSigningLooksForItsEnvFile) {
    const std::string dir = m_home.path() + "/GPKI/Certificate/class2";
    zqtest::makeDirs(dir);
    for (const char* f : {"Lee001_sig.cer", "Lee001_sig.key", "Lee001_env.cer", "Lee001_env.key"})
        zqtest::writeFile(dir + "/" + f, fxBytes(std::string("gov/") + f));
    EXPECT_EQ(paths(5, dir + "/Lee001_sig.cer"), std::make_pair(dir + "/Lee001_env.cer", dir + "/Lee001_env.key"));
}

TEST_F(StoreKm, KeyExchangeHolderGetsTheKmKey) {
    const std::string sign = m_home.hong() + "/signCert.der";
    const std::string r1(32, '\x5a'), pin = "1234";
    Out<void> cert;
    ASSERT_EQ(VPL_Get_Kecc_EncryptionCert(1, 0, sign.c_str(), r1.data(), len(r1), kPw, 9, pin.data(), len(pin),
                                          cert.ptr(), &cert.n),
              0);
    EXPECT_EQ(cert.str(), fxBytes("hong/kmCert.der"));
    ASSERT_NE(g_EXCHG_CERT, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g_EXCHG_CERT->random), g_EXCHG_CERT->randomLen), r1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g_EXCHG_CERT->kmKey), g_EXCHG_CERT->kmKeyLen),
              fxBytes("hong/kmPri.key"));
    EXPECT_EQ(std::string(g_EXCHG_CERT->password, g_EXCHG_CERT->passwordLen), kPw);
    EXPECT_EQ(std::string(g_EXCHG_CERT->pin, g_EXCHG_CERT->pinLen), pin);
    VPL_Cleanup();
    EXPECT_EQ(g_EXCHG_CERT, nullptr);
}

// ---- Signing from the store ----------------------------------------------------

namespace {

struct Signed {
    int rc = -99;
    Out<> pem;
    Out<void> sig, random;
};

class StoreSign : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = m_home.hong();
        m_enc = encoded(m_dir + "/signCert.der");
    }
    void TearDown() override { VPL_Cleanup(); }

    void login(Signed& s, const char* domain, const std::string& data, int type = 0, const std::string& pw = kPw,
               int flag = 0, const std::string* enc = nullptr) {
        s.rc = VPL_Domain_PKCS1_Cert_Submit(type, nullptr, 0, (enc ? *enc : m_enc).c_str(), domain, pw.c_str(),
                                            static_cast<int>(std::strlen(pw.c_str())), data.data(), len(data), flag,
                                            s.pem.ptr(), &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
    }
    void document(Signed& s, const char* domain, const std::string& data, const struct tm* when,
                  const std::string* enc = nullptr) {
        s.rc = VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute(
            0, nullptr, 0, (enc ? *enc : m_enc).c_str(), domain, kPw, 9, data.data(), len(data), when, 0, s.pem.ptr(),
            &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
    }
    std::string file(const std::string& name, const std::string& bytes) {
        const std::string p = m_tmp / name;
        zqtest::writeFile(p, bytes);
        return p;
    }
    // openssl dgst's verdict on a signature over data with the user's key.
    bool dgstVerifies(const Signed& s, const std::string& data, const std::vector<std::string>& opts) {
        std::vector<std::string> argv = {"openssl", "dgst"};
        argv.insert(argv.end(), opts.begin(), opts.end());
        argv.insert(argv.end(),
                    {"-verify", fx("hong/pub.pem"), "-signature", file("sig", s.sig.str()), file("data", data)});
        return quietly(argv, {"OPENSSL_CONF=/dev/null"});
    }
    // openssl cms's verdict, with the content it hands back.
    bool cmsVerifies(const std::string& message, std::string* content, const std::string& detached = {}) {
        std::vector<std::string> argv = {"openssl",  "cms",
                                         "-verify",  "-inform",
                                         "DER",      "-binary",
                                         "-purpose", "any",
                                         "-CAfile",  fx("ca.pem"),
                                         "-in",      file("msg", message),
                                         "-out",     m_tmp / "content"};
        if (!detached.empty()) argv.insert(argv.end(), {"-content", file("detached", detached)});
        const bool ok = quietly(argv, {"OPENSSL_CONF=/dev/null"});
        if (content) *content = ok ? zqtest::readFile(m_tmp / "content") : "";
        return ok;
    }
    std::string cmsPrint(const std::string& message) {
        return opensslOut({"cms", "-cmsout", "-print", "-inform", "DER", "-in", file("print", message)});
    }

    signtest::Home m_home;
    zqtest::TempDir m_tmp{"signtmp"};
    std::string m_dir, m_enc;
};

std::string nonce() {
    std::string n(32, '\0');
    for (size_t i = 0; i < n.size(); ++i) n[i] = static_cast<char>(i * 37 + 11);
    return n;
}

}  // namespace

TEST_F(StoreSign, LoginVerifiesWithOpensslAndHandsOutPemAndRandom) {
    const std::string data = nonce();
    {
        // No domain: what relays verify, SHA-1 PKCS#1 v1.5, whatever the
        // certificate's own choice (SHA-256) is.
        Signed s;
        login(s, nullptr, data);
        ASSERT_EQ(s.rc, 0);
        EXPECT_TRUE(dgstVerifies(s, data, {"-sha1"}));
        EXPECT_EQ(s.pem.str(), opensslOut({"x509", "-inform", "DER", "-in", fx("hong/signCert.der")}));
        EXPECT_EQ(signtest::hex(s.random.str()), signtest::value("random"));
    }
    struct {
        const char *sg, *sgh;
        std::vector<std::string> opts;
    } domains[] = {
        {"RSA15", "SHA256", {"-sha256"}},
        {"PSS", "SHA256", {"-sha256", "-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:32"}},
        // Without sg the certificate's own: RSA15 and SHA-256.
        {nullptr, "SHA1", {"-sha256"}},
    };
    for (const auto& d : domains) {
        signtest::Domain veridan("VERIDAN", d.sg, d.sgh);
        Signed s;
        login(s, "VERIDAN", data);
        ASSERT_EQ(s.rc, 0) << (d.sg ? d.sg : "-");
        EXPECT_TRUE(dgstVerifies(s, data, d.opts)) << (d.sg ? d.sg : "-");
    }
}

TEST_F(StoreSign, WrongPasswordLeavesTheKeyAlone) {
    const std::string key = m_dir + "/signPri.key";
    Signed s;
    login(s, nullptr, nonce(), 0, "hong-pw-2");
    EXPECT_EQ(s.rc, 1051027);
    EXPECT_EQ(s.sig.p, nullptr);
    EXPECT_EQ(s.random.p, nullptr);
    EXPECT_TRUE(signtest::same(key, fx("hong/signPri.key")));
}

TEST_F(StoreSign, DocumentSigningTimeIsTheInstantInUtc) {
    const time_t epoch = 1767225600 + 3 * 3600 + 25 * 60 + 7;  // 2026-01-01 03:25:07 UTC
    const std::string expected =
        zqtest::run({"date", "-u", "-d", "@" + std::to_string(epoch), "+%b %e %H:%M:%S %Y GMT"}).output;
    const char* saved = getenv("TZ");
    const std::string oldTz = saved ? saved : "";
    signtest::Domain veridan("VERIDAN", "RSA15", "SHA256");
    const std::string data = "a document of the relay, " + std::string(200, 'x');
    for (const char* zone : {"Asia/Seoul", "UTC"}) {
        setenv("TZ", zone, 1);
        tzset();
        struct tm local {};
        localtime_r(&epoch, &local);
        Signed s;
        document(s, "VERIDAN", data, &local);
        ASSERT_EQ(s.rc, 0) << zone;
        std::string content;
        EXPECT_TRUE(cmsVerifies(s.sig.str(), &content)) << zone;
        EXPECT_EQ(content, data) << zone;
        const std::string print = cmsPrint(s.sig.str());
        const size_t at = print.find("UTCTIME:", print.find("signingTime"));
        ASSERT_NE(at, std::string::npos) << print;
        EXPECT_EQ(print.substr(at + 8, print.find('\n', at) - at - 8) + "\n", expected) << zone;
        EXPECT_NE(print.find("algorithm: sha256"), std::string::npos) << zone;
        EXPECT_EQ(signtest::hex(s.random.str()), signtest::value("random"));
    }
    if (saved)
        setenv("TZ", oldTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(StoreSign, DocumentFormsAndTheirDigests) {
    const std::string data = "terms of the transfer";
    {
        // No domain: SHA-1, the time now.
        Signed s;
        s.rc = VPL_PKCS7_Cert_Submit(0, nullptr, 0, m_enc.c_str(), nullptr, kPw, 9, data.data(), len(data), 0,
                                     s.pem.ptr(), &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
        ASSERT_EQ(s.rc, 0);
        std::string content;
        EXPECT_TRUE(cmsVerifies(s.sig.str(), &content));
        EXPECT_EQ(content, data);
        EXPECT_NE(cmsPrint(s.sig.str()).find("algorithm: sha1"), std::string::npos);
    }
    signtest::Domain veridan("VERIDAN", "RSA15", "SHA256");
    {
        Signed s;
        s.rc = VPL_Domain_PKCS7_Cert_submit(0, nullptr, 0, m_enc.c_str(), "VERIDAN", kPw, 9, data.data(), len(data), 0,
                                            s.pem.ptr(), &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
        ASSERT_EQ(s.rc, 0);
        EXPECT_TRUE(cmsVerifies(s.sig.str(), nullptr));
    }
    {
        // Over a digest the caller made: no content, verified beside the data.
        const std::string digest =
            zqtest::run({"openssl", "dgst", "-sha256", "-binary", file("doc", data)}, {}, {"OPENSSL_CONF=/dev/null"})
                .output;
        ASSERT_EQ(digest.size(), 32u);
        Signed s;
        s.rc = VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD(
            0, nullptr, 0, m_enc.c_str(), "VERIDAN", kPw, 9, digest.data(), len(digest), nullptr, 0, s.pem.ptr(),
            &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
        ASSERT_EQ(s.rc, 0);
        EXPECT_TRUE(cmsVerifies(s.sig.str(), nullptr, data));
        EXPECT_FALSE(cmsVerifies(s.sig.str(), nullptr, data + "."));
    }
}

TEST_F(StoreSign, RefusalsAndOutputForms) {
    const std::string data = nonce();
    Signed raw;
    login(raw, nullptr, data);
    ASSERT_EQ(raw.rc, 0);
    {
        // Not a file store: refused after the certificate went out.
        Signed s;
        login(s, nullptr, data, 2);
        EXPECT_EQ(s.rc, -1);
        EXPECT_EQ(s.pem.str(), raw.pem.str());
        EXPECT_EQ(s.sig.p, nullptr);
    }
    {
        // A length that is not the password's: before the key is touched.
        Signed s;
        s.rc = VPL_Domain_PKCS1_Cert_Submit(0, nullptr, 0, m_enc.c_str(), nullptr, kPw, 3, data.data(), len(data), 0,
                                            s.pem.ptr(), &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
        EXPECT_EQ(s.rc, 1052013);
        const std::string longPw(256, 'p');
        login(s, nullptr, data, 0, longPw);
        EXPECT_EQ(s.rc, 1052013);
    }
    {
        Signed s;
        login(s, "NO-SUCH-DOMAIN", data);
        EXPECT_EQ(s.rc, 1052039);
        s.rc = VPL_Domain_PKCS1_Cert_Submit(0, nullptr, 0, m_enc.c_str(), nullptr, kPw, 9, nullptr, 0, 0, s.pem.ptr(),
                                            &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n);
        EXPECT_EQ(s.rc, 1052009);
        const std::string missing = encoded(m_dir + "/nothing.der");
        login(s, nullptr, data, 0, kPw, 0, &missing);
        EXPECT_EQ(s.rc, -1);
    }
    {
        // Flag 1: each output in Base64 (PKCS#1 v1.5 signs the same again).
        Signed s;
        login(s, nullptr, data, 0, kPw, 1);
        ASSERT_EQ(s.rc, 0);
        const auto decoded = [](const std::string& text) {
            Out<> d;
            EXPECT_EQ(VPL_DataDecode(0, text.data(), len(text), d.ptr(), &d.n), 0);
            return d.str();
        };
        EXPECT_EQ(decoded(s.pem.str()), raw.pem.str());
        EXPECT_EQ(decoded(s.sig.str()), raw.sig.str());
        EXPECT_EQ(decoded(s.random.str()), raw.random.str());
    }
    {
        // A private-PKI certificate signs and has no random to hand out.
        const std::string dir =
            m_home.place("private", {"signCert.der", "signPri.key"}, "cn=Kim,o=Acme Widgets,c=kr", "ACME WIDGETS");
        const std::string enc = encoded(dir + "/signCert.der");
        Signed s;
        login(s, nullptr, data, 1, kPw, 0, &enc);
        EXPECT_EQ(s.rc, 0);
        EXPECT_GT(s.sig.n, 0);
        EXPECT_EQ(s.random.p, nullptr);
        EXPECT_EQ(s.random.n, 0);
    }
}

TEST_F(StoreSign, NamesOfTheLoginSignature) {
    const std::string data = nonce();
    Signed s;
    Out<> alg, hash;
    s.rc = VPL_PKCS1_Cert_Submit(0, nullptr, 0, m_enc.c_str(), "ignored", kPw, 9, data.data(), len(data), 0,
                                 s.pem.ptr(), &s.pem.n, s.sig.ptr(), &s.sig.n, s.random.ptr(), &s.random.n, alg.ptr(),
                                 &alg.n, hash.ptr(), &hash.n);
    ASSERT_EQ(s.rc, 0);
    EXPECT_EQ(alg.str(), "RSASSA_PKCS1_15");
    EXPECT_EQ(hash.str(), "SHA1");
    EXPECT_TRUE(dgstVerifies(s, data, {"-sha1"}));
}

TEST_F(StoreSign, KcdsaSignerSignsBothKindsAndTheCoreVerifies) {
    for (const auto& [tmpl, hash] : {std::pair<const char*, const char*>{"kcdsa-sha256.der", "SHA256"},
                                     std::pair<const char*, const char*>{"kcdsa-sha1.der", "HAS160"}}) {
        const auto pair = signtest::kcdsaPair(fxBytes(tmpl), kPw);
        const std::string dir = m_home.path() + "/NPKI/yessign/USER/cn=KcdsaUser,o=yessign,c=kr-" + std::string(hash);
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", pair.cert);
        zqtest::writeFile(dir + "/signPri.key", pair.key);
        const std::string enc = encoded(dir + "/signCert.der");
        const std::string data = nonce();
        // Its own algorithm whatever the domain asks for.
        signtest::Domain veridan("VERIDAN", "RSA15", "SHA1");
        for (const char* domain : {static_cast<const char*>(nullptr), "VERIDAN"}) {
            Signed s;
            login(s, domain, data, 0, kPw, 0, &enc);
            ASSERT_EQ(s.rc, 0) << hash;
            EXPECT_EQ(s.random.p, nullptr);  // the key holds none
            EXPECT_EQ(VCL_PK1_Public_Verify(pair.cert.data(), len(pair.cert), VCL_SIGN_KCDSA, hash, data.data(),
                                            len(data), s.sig.p, s.sig.n, VCL_PK1_RAW),
                      0)
                << hash;
            EXPECT_NE(VCL_PK1_Public_Verify(pair.cert.data(), len(pair.cert), VCL_SIGN_KCDSA, hash, "other", 5, s.sig.p,
                                            s.sig.n, VCL_PK1_RAW),
                      0);
        }
        // The names handed out are those of the signature made.
        Signed named;
        Out<> alg, digest;
        named.rc =
            VPL_PKCS1_Cert_Submit(0, nullptr, 0, enc.c_str(), nullptr, kPw, 9, data.data(), len(data), 0,
                                  named.pem.ptr(), &named.pem.n, named.sig.ptr(), &named.sig.n, named.random.ptr(),
                                  &named.random.n, alg.ptr(), &alg.n, digest.ptr(), &digest.n);
        EXPECT_EQ(named.rc, 0);
        EXPECT_EQ(alg.str(), "KCDSA1");
        EXPECT_EQ(digest.str(), hash);
        Signed d;
        document(d, "VERIDAN", data, nullptr, &enc);
        ASSERT_EQ(d.rc, 0) << hash;
        char* content = nullptr;
        int contentLen = 0;
        EXPECT_EQ(VCL_PK7_Verify_Signed_Data(VCL_PK7_DER, d.sig.p, d.sig.n, &content, &contentLen), 0) << hash;
        EXPECT_EQ(std::string(content ? content : "", static_cast<size_t>(contentLen)), data);
        VCL_Free(content, contentLen);
    }
}

TEST_F(StoreSign, BufferFormsSignWithALoadedPkcs12) {
    const std::string data = nonce();
    Signed none;
    none.rc = VPL_Domain_PKCS1_Cert_Submit_Buffer(data.data(), len(data), kPw, 9, none.pem.ptr(), &none.pem.n,
                                                  none.sig.ptr(), &none.sig.n, none.random.ptr(), &none.random.n);
    EXPECT_EQ(none.rc, 1052011);  // nothing loaded

    const std::string certPem =
        file("cert.pem", opensslOut({"x509", "-inform", "DER", "-in", fx("hong/signCert.der")}));
    const std::string p12 = m_tmp / "hong.p12";
    ASSERT_TRUE(quietly({"openssl", "pkcs12", "-export", "-in", certPem, "-inkey", fx("hong/sign.pem"), "-passout",
                         std::string("pass:") + kPw, "-out", p12},
                        {"OPENSSL_CONF=/dev/null"}));
    EXPECT_EQ(VPL_Get_PFXBuffer(p12.c_str(), len(p12), "wrong", 5), 1052035);
    EXPECT_EQ(tmp_User_keys, nullptr);
    ASSERT_EQ(VPL_Get_PFXBuffer(p12.c_str(), len(p12), kPw, 9), 0);
    ASSERT_NE(tmp_User_keys, nullptr);

    Signed s;
    s.rc = VPL_Domain_PKCS1_Cert_Submit_Buffer(data.data(), len(data), kPw, 9, s.pem.ptr(), &s.pem.n, s.sig.ptr(),
                                               &s.sig.n, s.random.ptr(), &s.random.n);
    ASSERT_EQ(s.rc, 0);
    EXPECT_TRUE(dgstVerifies(s, data, {"-sha1"}));
    EXPECT_EQ(s.pem.str(), zqtest::readFile(certPem));
    EXPECT_EQ(s.random.p, nullptr);  // openssl's key carries no VID random

    Signed d;
    const time_t epoch = 1767225600;
    struct tm local {};
    localtime_r(&epoch, &local);
    d.rc = VPL_Domain_PKCS7_Cert_Submit_Buffer(data.data(), len(data), kPw, 9, &local, d.pem.ptr(), &d.pem.n,
                                               d.sig.ptr(), &d.sig.n, d.random.ptr(), &d.random.n);
    ASSERT_EQ(d.rc, 0);
    std::string content;
    EXPECT_TRUE(cmsVerifies(d.sig.str(), &content));
    EXPECT_EQ(content, data);
    // The password went into a record of the call, not into the loaded entry.
    EXPECT_EQ(tmp_User_keys[0].password_len, 0);
    EXPECT_EQ(tmp_User_keys[0].password[0], '\0');

    Signed bad;
    bad.rc = VPL_Domain_PKCS7_Cert_Submit_Buffer(data.data(), len(data), "wrong", 5, nullptr, bad.pem.ptr(), &bad.pem.n,
                                                 bad.sig.ptr(), &bad.sig.n, bad.random.ptr(), &bad.random.n);
    EXPECT_EQ(bad.rc, 1052034);
    VPL_Cleanup();
    EXPECT_EQ(tmp_User_keys, nullptr);
}

TEST_F(StoreSign, TheLogKeepsNoSecret) {
    zqtest::TempDir logs("signlog");
    ASSERT_EQ(VPL_LogInit(logs.path().c_str(), "store", 8), 0);
    const std::string data = nonce();
    Signed s;
    login(s, nullptr, data);
    ASSERT_EQ(s.rc, 0);
    Signed wrong;
    login(wrong, nullptr, data, 0, "a-wrong-secret");
    EXPECT_EQ(wrong.rc, 1051027);
    VPL_LogClose();
    std::string all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(logs.path()))
        if (e.is_regular_file()) all += zqtest::readFile(e.path());
    EXPECT_NE(all.find("VPL_Domain_PKCS1_Cert_Submit"), std::string::npos);
    const std::string r = signtest::value("random");
    std::string upper = r;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(all.find(r), std::string::npos);
    EXPECT_EQ(all.find(upper), std::string::npos);
    // The hex dump form ("72 70 5c ...") too.
    std::string spaced;
    for (size_t i = 0; i + 1 < r.size(); i += 2) spaced += r.substr(i, 2) + (i + 2 < r.size() ? " " : "");
    EXPECT_EQ(all.find(spaced.substr(0, 23)), std::string::npos);
    EXPECT_EQ(all.find(s.random.str()), std::string::npos);
    EXPECT_EQ(all.find(kPw), std::string::npos);
    EXPECT_EQ(all.find("a-wrong-secret"), std::string::npos);
}

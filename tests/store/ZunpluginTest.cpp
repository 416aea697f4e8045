// The ZUNPlugin data string as a web server reads it: every version split
// with python's parse_qsl and each field opened or verified with openssl
// (zunplugin_peer.py); the session-id builders over the index-based list and
// over key bytes; the field makers; the server's replies made with openssl
// enc and pkeyutl, and the version-21 key exchange.
#include <functional>

#include <zunCore/cipher.h>

#include <zunCore/pkcs1.h>

#include "KcdsaFixture.h"
#include "WebHelpers.h"
#include "base/store_internal.hpp"
#include "context/context_internal.hpp"

using signtest::encoded;
using signtest::fx;
using storetest::len;
using storetest::Out;
using webtest::hex;
using webtest::web;

namespace {

const char kDomain[] = "www.bank.example";
const char kPw[] = "hong-pw-1";
const std::string kData = "account=12345&amount=700000&memo=rent";
// The vd input: what the page asks the user's key to process, as Base64.
const std::string kVdBytes = "server challenge 01!";
// A time stamp whose Base64 has "/" and "=" in it.
const std::string kStamp = "MTcwMDAwMDAwMPvv/w==";
const std::string kStampUrl = "MTcwMDAwMDAwMPvv/w%3d%3d";  // lower-case hex, as the core writes it

std::string unbase64(const std::string& text) { return webtest::openssl({"base64", "-d", "-A"}, text).output; }

std::string algText(const char* sym, const char* kx, const char* kxh, const char* sg, const char* sgh) {
    return std::string("sym:") + sym + ";kx:" + kx + ";kxh:" + kxh + ";sg:" + sg + ";sgh:" + sgh;
}

// openssl pkeyutl's options for a key-exchange name and hash.
std::vector<std::string> oaep(const std::string& kx, const std::string& hash) {
    if (kx == "RSA15") return {};
    std::string md = hash;
    for (char& c : md) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:" + md, "-pkeyopt", "rsa_mgf1_md:" + md};
}

// What zstore::release zeroed and freed (address and length).
std::vector<std::pair<const void*, size_t>> gReleased;
void recordRelease(const void* p, size_t n) { gReleased.emplace_back(p, n); }
bool released(const void* p, int n) {
    for (const auto& [q, m] : gReleased)
        if (q == p && m == static_cast<size_t>(n)) return true;
    return false;
}

class StoreZunplugin : public ::testing::Test {
protected:
    void SetUp() override { m_certPath = m_home.hong() + "/signCert.der"; }
    void TearDown() override { VPL_Cleanup(); }

    void registerDomain(const char* kx, const char* kxh, const char* sg, const char* sgh,
                        const std::string& serverCert = "server.der", const char* sym = "SEED-CBC") {
        const std::string cert = zqtest::readFile(web(serverCert));
        ASSERT_EQ(VPL_SetZUNPluginDataProperty(kDomain, cert.data(), len(cert), sym, kx, kxh, sg, sgh), 0);
    }
    CTX* ctx() { return VPL_Find_CTX(g_CTX_Head, kDomain); }
    std::string premaster() {
        Out<unsigned char> p;
        EXPECT_EQ(VPL_Get_Premaster(kDomain, p.ptr(), &p.n), 0);
        return p.str();
    }
    std::string sessionKey() {
        Out<> k;
        EXPECT_EQ(VPL_Get_SessionKey(kDomain, 0, k.ptr(), &k.n), 0);
        return unbase64(k.str());
    }

    // VPL_Make_ZUNPlugindata for the user Hong; the vd-or-time-stamp text
    // by version.
    int build(int vf, Out<>& out, const std::string& data = kData, int storageType = 0) {
        const std::string path = encoded(m_certPath);
        const std::string text = vf == 1 ? webtest::base64(kVdBytes) : kStamp;
        return VPL_Make_ZUNPlugindata(kDomain, vf, storageType, "1234", 4, path.c_str(), kPw, 9, text.c_str(),
                                      len(text), data.empty() ? nullptr : data.data(), len(data), out.ptr(), &out.n);
    }

    // The peer's arguments for a string of this domain.
    std::map<std::string, std::string> expect(int vf, const char* kx, const char* kxh, const char* sg, const char* sgh,
                                              const std::string& data = kData) {
        const bool ext = vf >= 10;
        std::map<std::string, std::string> a = {{"version", std::to_string(vf)},
                                                {"server_key", web("server.key")},
                                                {"kx", kx},
                                                {"kxh", kxh},
                                                {"sg", sg},
                                                {"sgh", sgh},
                                                {"sk", hex(ext ? premaster() : sessionKey())},
                                                {"data", hex(data)},
                                                {"enc", "seed-cbc"},
                                                {"ts", kStamp},
                                                {"user_cert", m_certPath},
                                                {"km_cert", fx("hong/kmCert.der")},
                                                {"vd", hex(kVdBytes)},
                                                {"alg", algText("SEED-CBC", kx, kxh, sg, sgh)}};
        a["er"] = vf == 1 || vf == 11 || vf == 21 ? signtest::value("random") : "empty";
        return a;
    }

    signtest::Home m_home;
    std::string m_certPath;
};

TEST_F(StoreZunplugin, EveryVersionReadsAsTheServerReadsIt) {
    struct Row {
        int vf;
        const char *ckx, *ckxh, *csg, *csgh;  // the domain's names
        const char *kx, *kxh, *sg, *sgh;      // the names the string uses
    } rows[] = {
        {0, "RSA20", "SHA256", "PSS", "SHA256", "RSA15", "SHA1", "RSA15", "SHA1"},
        // Version 1 signs RSA15/SHA1 whatever the domain holds.
        {1, "RSA20", "SHA256", "PSS", "SHA256", "RSA15", "SHA1", "RSA15", "SHA1"},
        {10, "RSA15", "SHA1", "PSS", "SHA256", "RSA15", "SHA1", "RSA15", "SHA256"},
        {10, "RSA20", "SHA256", "RSA15", "SHA1", "RSA20", "SHA256", "RSA15", "SHA256"},
        {11, "RSA15", "SHA256", "RSA15", "SHA256", "RSA15", "SHA256", "RSA15", "SHA256"},
        {11, "RSA20", "SHA256", "PSS", "SHA256", "RSA20", "SHA256", "PSS", "SHA256"},
        {21, "RSA21", "SHA1", "RSA15", "SHA256", "RSA21", "SHA1", "RSA15", "SHA256"},
        {21, "RSA15", "SHA256", "PSS", "SHA256", "RSA15", "SHA256", "PSS", "SHA256"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.vf) + " " + r.ckx + " " + r.csg);
        registerDomain(r.ckx, r.ckxh, r.csg, r.csgh);
        Out<> s;
        ASSERT_EQ(build(r.vf, s), 0);
        EXPECT_EQ(s.p[s.n], '\0');
        EXPECT_EQ(s.str().find('\n'), std::string::npos) << "line feeds travel as %0a";
        EXPECT_NE(s.str().find("%0a"), std::string::npos);
        const auto verdict = webtest::readAsServer(s.str(), expect(r.vf, r.kx, r.kxh, r.sg, r.sgh));
        EXPECT_EQ(verdict.status, 0) << verdict.output << "\n" << s.str();
        EXPECT_EQ(ctx()->extendedMode, r.vf >= 10 ? 1 : 0);
        if (r.vf == 21) {
            // The key exchange keeps R1 (what Handshake_init carries), the KM
            // key, the password and the PIN.
            ASSERT_NE(g_EXCHG_CERT, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(g_EXCHG_CERT->random), g_EXCHG_CERT->randomLen), verdict.r1);
            EXPECT_EQ(std::string(g_EXCHG_CERT->password, g_EXCHG_CERT->passwordLen), kPw);
            EXPECT_EQ(std::string(g_EXCHG_CERT->pin, g_EXCHG_CERT->pinLen), "1234");
            EXPECT_EQ(std::string(reinterpret_cast<char*>(g_EXCHG_CERT->kmKey), g_EXCHG_CERT->kmKeyLen),
                      zqtest::readFile(fx("hong/kmPri.key")));
        }
        VPL_Cleanup();
    }
}

TEST_F(StoreZunplugin, Version11WithoutDataSignsTheTimeStamp) {
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    Out<> s;
    ASSERT_EQ(build(11, s, ""), 0);
    const auto verdict =
        webtest::readAsServer(s.str(), expect(11, "RSA15", "SHA256", "RSA15", "SHA256", "__ZUNts__=" + kStampUrl));
    EXPECT_EQ(verdict.status, 0) << verdict.output;
    // Other versions need data.
    EXPECT_EQ(build(10, s, ""), 1052011);
    EXPECT_EQ(s.p, nullptr);
}

TEST_F(StoreZunplugin, AServerKeyPast1024BytesOfHandshakeIsWrappedWhole) {
    // 6144 bits: the handshake text alone is over 1,100 bytes.
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256", "big.pem");
    Out<> s;
    ASSERT_EQ(build(21, s), 0);
    auto a = expect(21, "RSA15", "SHA256", "RSA15", "SHA256");
    a["server_key"] = web("big.key");
    const auto verdict = webtest::readAsServer(s.str(), a);
    EXPECT_EQ(verdict.status, 0) << verdict.output;
    ASSERT_EQ(verdict.r1.size(), 32u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(g_EXCHG_CERT->random), 32), verdict.r1);
}

TEST_F(StoreZunplugin, FrontEndsBuildTheirVersions) {
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    const std::string path = encoded(m_certPath);
    const std::string vd = webtest::base64(kVdBytes);
    Out<> s;
    ASSERT_EQ(VPL_Make_ZunpluginData_VF0(kDomain, 0, "SEED-CBC", 8, kData.data(), len(kData), s.ptr(), &s.n), 0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(0, "RSA15", "SHA1", "RSA15", "SHA1")).status, 0) << s.str();
    ASSERT_EQ(VPL_Make_ZunpluginData_VF1(1, "", 0, path.c_str(), len(path), kPw, 9, kDomain, 0, vd.c_str(), len(vd),
                                         "SEED-CBC", 8, kData.data(), len(kData), "RSA15", "SHA1", s.ptr(), &s.n),
              0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(1, "RSA15", "SHA1", "RSA15", "SHA1")).status, 0) << s.str();
    // VFx0 builds version 10 whatever vf says.
    ASSERT_EQ(
        VPL_Make_ZunpluginData_VFx0(kDomain, 11, kData.data(), len(kData), kStamp.c_str(), len(kStamp), s.ptr(), &s.n),
        0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(10, "RSA15", "SHA256", "RSA15", "SHA256")).status, 0) << s.str();
    ASSERT_EQ(VPL_Make_ZunpluginData_VFx1(0, 11, "", 0, path.c_str(), kPw, 9, kDomain, kStamp.c_str(), len(kStamp),
                                          nullptr, 0, s.ptr(), &s.n),
              0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(11, "RSA15", "SHA256", "RSA15", "SHA256", "__ZUNts__=" + kStampUrl))
                  .status,
              0)
        << s.str();

    // Media the front ends do not take are refused, not built as nothing.
    EXPECT_EQ(VPL_Make_ZunpluginData_VF1(5, "", 0, path.c_str(), len(path), kPw, 9, kDomain, 0, vd.c_str(), len(vd),
                                         "SEED-CBC", 8, kData.data(), len(kData), "RSA15", "SHA1", s.ptr(), &s.n),
              -1);
    EXPECT_EQ(VPL_Make_ZunpluginData_VFx1(9, 11, "", 0, path.c_str(), kPw, 9, kDomain, kStamp.c_str(), len(kStamp),
                                          kData.data(), len(kData), s.ptr(), &s.n),
              -1);
    EXPECT_EQ(s.p, nullptr);
    EXPECT_EQ(VPL_Make_ZunpluginData_VF0(kDomain, 0, nullptr, 0, kData.data(), len(kData), s.ptr(), &s.n), 1052011);
    EXPECT_EQ(VPL_Make_ZunpluginData_VFx0(kDomain, 10, kData.data(), len(kData), nullptr, 0, s.ptr(), &s.n), 1052011);
}

TEST_F(StoreZunplugin, RefusalsLeaveNoOutputAndNoState) {
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    const std::string path = encoded(m_certPath);
    Out<> s;
    struct Case {
        const char* what;
        std::function<int()> call;
        int code;
    } cases[] = {
        {"version 5", [&] { return build(5, s); }, -1},
        {"version 12", [&] { return build(12, s); }, -1},
        {"no domain",
         [&] {
             return VPL_Make_ZUNPlugindata(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, 0, kData.data(),
                                           len(kData), s.ptr(), &s.n);
         },
         1052011},
        {"unknown domain",
         [&] {
             return VPL_Make_ZUNPlugindata("www.shop.example", 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, 0,
                                           kData.data(), len(kData), s.ptr(), &s.n);
         },
         1052039},
        {"HSM storage signs nothing", [&] { return build(11, s, kData, 12); }, -1},
        {"no certificate path",
         [&] {
             return VPL_Make_ZUNPlugindata(kDomain, 11, 0, nullptr, 0, nullptr, kPw, 9, kStamp.c_str(), len(kStamp),
                                           kData.data(), len(kData), s.ptr(), &s.n);
         },
         1052011},
        {"a certificate file that is not there",
         [&] {
             const std::string missing = encoded(m_home.path() + "/NPKI/nowhere/signCert.der");
             return VPL_Make_ZUNPlugindata(kDomain, 11, 0, nullptr, 0, missing.c_str(), kPw, 9, kStamp.c_str(),
                                           len(kStamp), kData.data(), len(kData), s.ptr(), &s.n);
         },
         1052030},
        {"a wrong password",
         [&] {
             return VPL_Make_ZUNPlugindata(kDomain, 11, 0, nullptr, 0, path.c_str(), "wrong", 5, kStamp.c_str(),
                                           len(kStamp), kData.data(), len(kData), s.ptr(), &s.n);
         },
         1052033},
        {"no time stamp",
         [&] {
             return VPL_Make_ZUNPlugindata(kDomain, 10, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, 0, kData.data(),
                                           len(kData), s.ptr(), &s.n);
         },
         1052011},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.code);
        EXPECT_EQ(s.p, nullptr);
        EXPECT_EQ(s.n, 0);
        EXPECT_EQ(ctx()->extendedMode, 0);
    }

    // A cipher whose key is longer than the 16 bytes the context derives is
    // refused; its key is never read past the end.
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256", "server.der", "ARIA256-CBC");
    EXPECT_EQ(build(10, s), 1051010);
    // Without a server certificate there is nothing to wrap the key for.
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    ASSERT_EQ(VPL_Delete_ServerCert(kDomain), 0);
    EXPECT_EQ(build(0, s), 1052011);

    // A version-21 build that fails after the KM lookup keeps nothing of it.
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    EXPECT_EQ(VPL_Make_ZUNPlugindata(kDomain, 21, 0, "", 0, path.c_str(), kPw, 9, "", 0, kData.data(), len(kData),
                                     s.ptr(), &s.n),
              1052011);
    EXPECT_EQ(g_EXCHG_CERT, nullptr);
}

TEST(StoreZunpluginFields, MakersAndTheStringsLayout) {
    Out<> s;
    ASSERT_EQ(VPL_Make_Zunplugindata_format(0, nullptr, "S", nullptr, nullptr, "SEED-CBC", "D", nullptr, "T", "K",
                                            "100", s.ptr(), &s.n),
              0);
    EXPECT_EQ(s.str(), "vf=0&vd=&sk=S&cc=&sg=&alg=SEED-CBC&dt=D&er=");
    ASSERT_EQ(VPL_Make_Zunplugindata_format(10, "V", "S", nullptr, nullptr, "A", "D", nullptr, "T", nullptr, "100",
                                            s.ptr(), &s.n),
              0);
    EXPECT_EQ(s.str(), "vf=10&sk=S&cc=&sg=&alg=A&dt=D&er=&ts=T&kecc=&iver=100");

    // The algorithm text is made whole, whatever the names' lengths.
    const std::string longName(700, 'K');
    ASSERT_EQ(
        VPL_Make_AlgorithmField(0, "SEED-CBC", longName.c_str(), "SHA256", longName.c_str(), "SHA256", s.ptr(), &s.n),
        0);
    EXPECT_EQ(unbase64(s.str()), "sym:SEED-CBC;kx:" + longName + ";kxh:SHA256;sg:" + longName + ";sgh:SHA256");
    ASSERT_EQ(VPL_Make_AlgorithmField(2, "SEED-CBC", "RSA15", "SHA1", "RSA15", "SHA1", s.ptr(), &s.n), 0);
    EXPECT_EQ(s.str(), "c3ltOlNFRUQtQ0JDO2t4OlJTQTE1O2t4aDpTSEExO3NnOlJTQTE1O3NnaDpTSEEx");
    EXPECT_EQ(VPL_Make_AlgorithmField(2, "SEED-CBC", nullptr, "SHA1", "RSA15", "SHA1", s.ptr(), &s.n), 1052011);

    // dt: openssl enc reads it back; a key or IV of another length than the
    // cipher's is refused; no data is no field.
    const std::string key = "0123456789abcdef", iv = "fedcba9876543210", data = "x+y=z\n";
    ASSERT_EQ(VPL_Make_DTData(key.data(), 16, iv.data(), 16, "SEED-CBC", data.data(), len(data), s.ptr(), &s.n), 0);
    char* decoded = nullptr;
    int decodedLen = 0;
    ASSERT_EQ(VPL_DataDecode(1, s.p, s.n, &decoded, &decodedLen), 0);
    const std::string lined(decoded, static_cast<size_t>(decodedLen));
    VPL_Free(decoded, decodedLen);
    EXPECT_EQ(lined.back(), '\n');
    EXPECT_EQ(webtest::enc("seed-cbc", key, iv, webtest::openssl({"base64", "-d"}, lined).output, true), data);
    EXPECT_EQ(VPL_Make_DTData(key.data(), 16, iv.data(), 16, "SEED-CBC", nullptr, 0, s.ptr(), &s.n), 0);
    EXPECT_EQ(s.p, nullptr);
    EXPECT_EQ(VPL_Make_DTData(key.data(), 15, iv.data(), 16, "SEED-CBC", data.data(), len(data), s.ptr(), &s.n),
              1051010);
    EXPECT_EQ(VPL_Make_DTData(key.data(), 16, iv.data(), 16, "AES256-CBC", data.data(), len(data), s.ptr(), &s.n),
              1051010);
    EXPECT_EQ(VPL_Make_DTData(key.data(), 16, iv.data(), 8, "SEED-CBC", data.data(), len(data), s.ptr(), &s.n),
              1051010);
    EXPECT_EQ(VPL_Make_DTData(nullptr, 16, iv.data(), 16, "SEED-CBC", data.data(), len(data), s.ptr(), &s.n), 1052011);

    // sk and cc: the server's key opens one, openssl x509 writes the other.
    const std::string cert = zqtest::readFile(web("server.der"));
    ASSERT_EQ(VPL_Make_SKData(cert.data(), len(cert), 32, "SHA1", key.data(), 16, s.ptr(), &s.n), 0);
    ASSERT_EQ(VPL_DataDecode(1, s.p, s.n, &decoded, &decodedLen), 0);
    const std::string wrapped = webtest::openssl({"base64", "-d"}, std::string(decoded, decodedLen)).output;
    VPL_Free(decoded, decodedLen);
    EXPECT_EQ(webtest::openssl({"pkeyutl", "-decrypt", "-inkey", web("server.key")}, wrapped).output, key);
    EXPECT_EQ(VPL_Make_SKData(nullptr, 0, 32, "SHA1", key.data(), 16, s.ptr(), &s.n), 1052011);
    EXPECT_EQ(VPL_Make_SKData("not a certificate", 17, 32, "SHA1", key.data(), 16, s.ptr(), &s.n), 1051010);
    ASSERT_EQ(VPL_Make_CCData(cert.data(), len(cert), s.ptr(), &s.n), 0);
    ASSERT_EQ(VPL_DataDecode(1, s.p, s.n, &decoded, &decodedLen), 0);
    EXPECT_EQ(std::string(decoded, decodedLen), zqtest::readFile(web("server.pem")));
    VPL_Free(decoded, decodedLen);
}

// ---- Replies ----------------------------------------------------------------------

TEST_F(StoreZunplugin, RepliesOpenUnderTheKeysTheLastStringUsed) {
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    const std::string reply = "ret=1&result=paid";
    const std::string fixedIv = "ZORBAXE MODULE..";
    // A Base64 reply under the session key (openssl enc -a: lines of 64).
    const std::string sealed =
        webtest::openssl({"base64"}, webtest::enc("seed-cbc", sessionKey(), fixedIv, reply)).output;
    Out<> plain;
    ASSERT_EQ(VPL_SYM_Decrypt(kDomain, 0, "SEED-CBC", 8, sealed.data(), len(sealed), plain.ptr(), &plain.n), 0);
    EXPECT_EQ(plain.str(), reply);
    // After a version-0 string the session key opens replies.
    Out<> s;
    ASSERT_EQ(build(0, s), 0);
    ASSERT_EQ(VPL_ZUNPlugin_VFx_Decrypt(kDomain, "SEED-CBC", 0, sealed.data(), len(sealed), plain.ptr(), &plain.n), 0);
    EXPECT_EQ(plain.str(), reply);
    // After a version-10 string, the server key: SHA-256 of the
    // complemented premaster; raw input.
    ASSERT_EQ(build(10, s), 0);
    std::string complement = premaster();
    for (char& c : complement) c = static_cast<char>(~static_cast<unsigned char>(c));
    const std::string serverKeys = webtest::sha256(complement);
    const std::string raw = webtest::enc("seed-cbc", serverKeys.substr(0, 16), serverKeys.substr(16), reply);
    ASSERT_EQ(VPL_ZUNPlugin_VFx_Decrypt(kDomain, "SEED-CBC", 2, raw.data(), len(raw), plain.ptr(), &plain.n), 0);
    EXPECT_EQ(plain.str(), reply);
    EXPECT_EQ(VPL_ZUNPlugin_VFx_Decrypt(kDomain, "SEED-CBC", 0, sealed.data(), len(sealed), plain.ptr(), &plain.n),
              1051011);

    // The session's raw reply: an "r" reply loses its 22-byte header.
    char* text = nullptr;
    const std::string header = "r" + std::string(21, 'h');
    const std::string framed =
        webtest::enc("seed-cbc", serverKeys.substr(0, 16), serverKeys.substr(16), header + reply);
    ASSERT_EQ(VPL_IPDecrypt(kDomain, framed.data(), len(framed), &text), 0);
    EXPECT_STREQ(text, reply.c_str());
    VPL_Free(text, static_cast<int>(strlen(text)));
    const std::string unframed = "paid in full";
    const std::string plainRaw = webtest::enc("seed-cbc", serverKeys.substr(0, 16), serverKeys.substr(16), unframed);
    ASSERT_EQ(VPL_IPDecrypt(kDomain, plainRaw.data(), len(plainRaw), &text), 0);
    EXPECT_STREQ(text, unframed.c_str());
    VPL_Free(text, static_cast<int>(strlen(text)));
    const std::string shortR = webtest::enc("seed-cbc", serverKeys.substr(0, 16), serverKeys.substr(16), "r-short");
    EXPECT_EQ(VPL_IPDecrypt(kDomain, shortR.data(), len(shortR), &text), 1051037);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(VPL_IPDecrypt(kDomain, "0123456789abcdef", 16, &text), 1051037);
    EXPECT_EQ(VPL_IPDecrypt(nullptr, raw.data(), len(raw), &text), 1051042);
    EXPECT_EQ(VPL_IPDecrypt("nobody", raw.data(), len(raw), &text), 1052039);

    // Codes, and a cipher whose key is not the 16-byte session key.
    const std::string empty = webtest::openssl({"base64"}, webtest::enc("seed-cbc", sessionKey(), fixedIv, "")).output;
    ASSERT_EQ(VPL_SYM_Decrypt(kDomain, 0, "SEED-CBC", 8, empty.data(), len(empty), plain.ptr(), &plain.n), 0);
    EXPECT_EQ(plain.p, nullptr) << "no bytes, no output";
    EXPECT_EQ(VPL_SYM_Decrypt(kDomain, 0, "AES256-CBC", 10, sealed.data(), len(sealed), plain.ptr(), &plain.n),
              1051011);
    EXPECT_EQ(VPL_SYM_Decrypt(kDomain, 0, "SEED-CBC", 8, "bm90IGEgcmVwbHk=", 16, plain.ptr(), &plain.n), 1051011);
    EXPECT_EQ(VPL_SYM_Decrypt(kDomain, 0, nullptr, 0, sealed.data(), len(sealed), plain.ptr(), &plain.n), 1052011);
    EXPECT_EQ(VPL_SYM_Decrypt("nobody", 0, "SEED-CBC", 8, sealed.data(), len(sealed), plain.ptr(), &plain.n), 1052039);
    EXPECT_EQ(VPL_ZUNPlugin_VFx_Decrypt("nobody", "SEED-CBC", 0, sealed.data(), len(sealed), plain.ptr(), &plain.n),
              1052039);
}

TEST_F(StoreZunplugin, Version21ReplyReplacesThePremaster) {
    for (const char* kx : {"RSA15", "RSA20"}) {
        SCOPED_TRACE(kx);
        registerDomain(kx, "SHA256", "RSA15", "SHA256");
        Out<> s;
        ASSERT_EQ(build(21, s), 0);
        ASSERT_NE(g_EXCHG_CERT, nullptr);
        const std::string r1(reinterpret_cast<char*>(g_EXCHG_CERT->random), g_EXCHG_CERT->randomLen);
        const std::string kmPem = webtest::openssl({"x509", "-inform", "DER", "-in", fx("hong/kmCert.der")}).output;
        zqtest::TempDir tmp("kmreply");
        zqtest::writeFile(tmp / "km.pem", kmPem);
        const auto seal = [&](const std::string& plain) {
            std::vector<std::string> args = {"pkeyutl", "-encrypt", "-certin", "-inkey", tmp / "km.pem"};
            for (const auto& o : oaep(kx, "SHA256")) args.push_back(o);
            return webtest::base64(webtest::openssl(args, plain).output);
        };

        // A reply whose first 32 bytes are not R1: refused, the premaster
        // kept, and the kept KM key gone all the same.
        const std::string before = premaster();
        std::string wrongR1 = r1;
        wrongR1[0] = static_cast<char>(wrongR1[0] ^ 1);
        const std::string rest(32, '\x5c');
        const std::string wrong = seal(wrongR1 + rest);
        EXPECT_EQ(VPL_Exchangekey_Decrypt(kDomain, wrong.c_str(), len(wrong)), 1052078);
        EXPECT_EQ(premaster(), before);
        EXPECT_EQ(g_EXCHG_CERT, nullptr);
        EXPECT_EQ(VPL_Exchangekey_Decrypt(kDomain, wrong.c_str(), len(wrong)), -1) << "nothing kept";

        // The right one: the premaster is R1 and the server's 32 bytes, the
        // keys derive from it again, and the reply key opens openssl enc.
        // The KM key, password and PIN go zeroed when a build replaces them
        // and when a reply used them.
        ASSERT_EQ(build(21, s), 0);
        const std::string r1b(reinterpret_cast<char*>(g_EXCHG_CERT->random), g_EXCHG_CERT->randomLen);
        EXPECT_NE(r1b, r1) << "a second build draws a new R1";
        const auto gone = [](const VPL_Exchg_Info& x) {
            return released(x.kmKey, x.kmKeyLen) && released(x.password, x.passwordLen) && released(x.pin, x.pinLen) &&
                   released(x.random, x.randomLen);
        };
        gReleased.clear();
        zstore::g_releaseHook = recordRelease;
        const VPL_Exchg_Info replaced = *g_EXCHG_CERT;
        ASSERT_EQ(build(21, s), 0);
        EXPECT_TRUE(gone(replaced)) << "replaced by a build";
        const VPL_Exchg_Info tried = *g_EXCHG_CERT;
        EXPECT_EQ(VPL_Exchangekey_Decrypt(kDomain, seal(r1b + rest).c_str(), 0), -1) << "a text of no length";
        EXPECT_EQ(g_EXCHG_CERT, nullptr);
        EXPECT_TRUE(gone(tried)) << "used by a reply";
        ASSERT_EQ(build(21, s), 0);
        const VPL_Exchg_Info used = *g_EXCHG_CERT;
        const std::string r1c(reinterpret_cast<char*>(g_EXCHG_CERT->random), g_EXCHG_CERT->randomLen);
        const std::string right = seal(r1c + rest);
        ASSERT_EQ(VPL_Exchangekey_Decrypt(kDomain, right.c_str(), len(right)), 0);
        EXPECT_EQ(g_EXCHG_CERT, nullptr);
        EXPECT_TRUE(gone(used));
        zstore::g_releaseHook = nullptr;
        EXPECT_EQ(premaster(), r1c + rest);
        std::string complement = r1c + rest;
        for (char& c : complement) c = static_cast<char>(~static_cast<unsigned char>(c));
        const std::string serverKeys = webtest::sha256(complement);
        const std::string reply = "handshake done";
        const std::string raw = webtest::enc("seed-cbc", serverKeys.substr(0, 16), serverKeys.substr(16), reply);
        Out<> plain;
        ASSERT_EQ(VPL_ZUNPlugin_VFx_Decrypt(kDomain, "SEED-CBC", 2, raw.data(), len(raw), plain.ptr(), &plain.n), 0);
        EXPECT_EQ(plain.str(), reply);
        EXPECT_EQ(hex(std::string(reinterpret_cast<char*>(ctx()->clientKey), 16) +
                      std::string(reinterpret_cast<char*>(ctx()->clientIv), 16)),
                  hex(webtest::sha256(r1c + rest)));
        VPL_Cleanup();
    }
    EXPECT_EQ(VPL_Exchangekey_Decrypt(nullptr, "x", 1), 1052011);
    EXPECT_EQ(VPL_Exchangekey_Decrypt("nobody", "x", 1), 1052039);
}

// ---- The session-id builders ------------------------------------------------------

TEST_F(StoreZunplugin, IndexAndByteBuildersReadAsTheServerReadsThem) {
    ASSERT_EQ(VPL_FetchCertList(0, 0, m_home.path().c_str()), 1);
    registerDomain("RSA15", "SHA256", "RSA15", "SHA256");
    const std::string vd = webtest::base64(kVdBytes);
    Out<> s;
    ASSERT_EQ(
        VPL_MakeZUNPluginData_1(kDomain, 1, 0, kPw, 9, vd.c_str(), len(vd), kData.data(), len(kData), s.ptr(), &s.n),
        0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(1, "RSA15", "SHA1", "RSA15", "SHA1")).status, 0) << s.str();
    EXPECT_EQ(ctx()->extendedMode, 0);
    // Version 11 by index: no random is passed, er is empty.
    ASSERT_EQ(VPL_MakeZUNPluginData_1(kDomain, 11, 0, kPw, 9, kStamp.c_str(), len(kStamp), nullptr, 0, s.ptr(), &s.n),
              0);
    auto a = expect(11, "RSA15", "SHA256", "RSA15", "SHA256", "__ZUNts__=" + kStampUrl);
    a["er"] = "empty";
    EXPECT_EQ(webtest::readAsServer(s.str(), a).status, 0) << s.str();
    EXPECT_EQ(ctx()->extendedMode, 1);
    ASSERT_EQ(VPL_MakeZUNPluginData_0(kDomain, 0, kData.data(), len(kData), s.ptr(), &s.n), 0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(0, "RSA15", "SHA1", "RSA15", "SHA1")).status, 0) << s.str();
    ASSERT_EQ(VPL_MakeZUNPlugindata_phone(kDomain, 10, 0, nullptr, 0, kStamp.c_str(), len(kStamp), kData.data(),
                                          len(kData), s.ptr(), &s.n),
              0);
    EXPECT_EQ(webtest::readAsServer(s.str(), expect(10, "RSA15", "SHA256", "RSA15", "SHA256")).status, 0);

    // Index and argument checks.
    EXPECT_EQ(VPL_MakeZUNPluginData_1(kDomain, 1, g_nCertCnt, kPw, 9, vd.c_str(), len(vd), kData.data(), len(kData),
                                      s.ptr(), &s.n),
              1051026);
    EXPECT_EQ(VPL_MakeZUNPlugindata_phone(kDomain, 11, -1, kPw, 9, vd.c_str(), len(vd), kData.data(), len(kData),
                                          s.ptr(), &s.n),
              1051026);
    EXPECT_EQ(VPL_MakeZUNPluginData_1(kDomain, 1, 0, nullptr, 0, vd.c_str(), len(vd), kData.data(), len(kData), s.ptr(),
                                      &s.n),
              1051041);
    EXPECT_EQ(VPL_MakeZUNPluginData_0(kDomain, 0, nullptr, 0, s.ptr(), &s.n), 1051041);
    EXPECT_EQ(VPL_MakeZUNPluginData_1(kDomain, 1, 0, "wrong", 5, vd.c_str(), len(vd), kData.data(), len(kData), s.ptr(),
                                      &s.n),
              1051029);
    EXPECT_EQ(VPL_MakeZUNPlugindata_phone(kDomain, 21, 0, kPw, 9, kStamp.c_str(), len(kStamp), kData.data(), len(kData),
                                          s.ptr(), &s.n),
              -1);
    EXPECT_EQ(VPL_MakeZUNPluginData_0("nobody", 0, kData.data(), len(kData), s.ptr(), &s.n), 1052039);
    EXPECT_EQ(s.p, nullptr);

    // From key bytes, with names far longer than any fixed field: the
    // algorithm text comes out whole. Unknown key-exchange names wrap with
    // OAEP, unknown signature names sign PKCS#1 v1.5.
    const std::string cert = zqtest::readFile(m_certPath), key = zqtest::readFile(fx("hong/signPri.key"));
    const std::string server = zqtest::readFile(web("server.der"));
    const std::string pm(64, '\x42');
    const std::string keys = webtest::sha256(pm);
    const std::string random = webtest::unhex(signtest::value("random"));
    const std::string kx(100, 'X'), sg(100, 'Y');
    ASSERT_EQ(
        VPL_MakeZUNpluginDataWithBin(11, server.data(), len(server), cert.data(), len(cert), key.data(), len(key), kPw,
                                     9, kStamp.c_str(), len(kStamp), pm.data(), 64, keys.data(), 16, keys.data() + 16,
                                     16, "SEED-CBC", kx.c_str(), "SHA1", sg.c_str(), "SHA256", kData.data(), len(kData),
                                     random.data(), len(random), 0, nullptr, s.ptr(), &s.n),
        0);
    a = expect(11, "RSA20", "SHA1", "RSA15", "SHA256");
    a["sk"] = hex(pm);
    a["alg"] = algText("SEED-CBC", kx.c_str(), "SHA1", sg.c_str(), "SHA256");
    EXPECT_EQ(webtest::readAsServer(s.str(), a).status, 0) << webtest::readAsServer(s.str(), a).output;
    // Version 1 from bytes: the cipher key is wrapped, the given random is er.
    const std::string sessionKey = "sixteen byte key";
    ASSERT_EQ(VPL_MakeZUNpluginDataWithBin(
                  1, server.data(), len(server), cert.data(), len(cert), key.data(), len(key), kPw, 9, vd.c_str(),
                  len(vd), nullptr, 0, sessionKey.data(), 16, "ZORBAXE MODULE..", 16, "SEED-CBC", "RSA15", "SHA1",
                  "RSA15", "SHA1", kData.data(), len(kData), random.data(), len(random), 0, nullptr, s.ptr(), &s.n),
              0);
    a = expect(1, "RSA15", "SHA1", "RSA15", "SHA1");
    a["sk"] = hex(sessionKey);
    EXPECT_EQ(webtest::readAsServer(s.str(), a).status, 0) << s.str();
    EXPECT_EQ(VPL_MakeZUNpluginDataWithBin(21, server.data(), len(server), cert.data(), len(cert), key.data(), len(key),
                                           kPw, 9, vd.c_str(), len(vd), pm.data(), 64, keys.data(), 16,
                                           keys.data() + 16, 16, "SEED-CBC", "RSA15", "SHA1", "RSA15", "SHA1",
                                           kData.data(), len(kData), nullptr, 0, 0, nullptr, s.ptr(), &s.n),
              -1);
    EXPECT_EQ(VPL_MakeZUNpluginDataWithBin(1, server.data(), len(server), nullptr, 0, key.data(), len(key), kPw, 9,
                                           vd.c_str(), len(vd), nullptr, 0, sessionKey.data(), 16, "ZORBAXE MODULE..",
                                           16, "SEED-CBC", "RSA15", "SHA1", "RSA15", "SHA1", kData.data(), len(kData),
                                           nullptr, 0, 0, nullptr, s.ptr(), &s.n),
              1051041);
}

TEST(StoreZunpluginKcdsa, AKcdsaKeySignsVdAndSgWithItsOwnAlgorithm) {
    // vd of a key that is not RSA: a signature over the vd text as given,
    // lined Base64 without URL form; sg a KCDSA signature over D.
    const auto pair = signtest::kcdsaPair(signtest::fxBytes("kcdsa-sha256.der"), kPw);
    const std::string server = zqtest::readFile(web("server.der"));
    const std::string vd = "vd text/+=";
    Out<> s;
    ASSERT_EQ(VPL_MakeZUNpluginDataWithBin(
                  1, server.data(), len(server), pair.cert.data(), len(pair.cert), pair.key.data(), len(pair.key), kPw,
                  9, vd.c_str(), len(vd), nullptr, 0, "sixteen byte key", 16, "ZORBAXE MODULE..", 16, "SEED-CBC",
                  "RSA15", "SHA1", "KCDSA", "SHA256", kData.data(), len(kData), nullptr, 0, 0, nullptr, s.ptr(), &s.n),
              0);
    const auto field = [&](const std::string& name) {
        const std::string text = "&" + s.str() + "&";
        const size_t at = text.find("&" + name + "=") + name.size() + 2;
        return text.substr(at, text.find('&', at) - at);
    };
    const std::string vdValue = field("vd");
    EXPECT_EQ(vdValue.back(), '\n') << "lined Base64, not in URL form";
    EXPECT_EQ(VCL_PK1_Public_Verify(pair.cert.data(), len(pair.cert), VCL_SIGN_KCDSA, "SHA256", vd.data(), len(vd),
                                    vdValue.data(), len(vdValue), VCL_PK1_BASE64_LINES),
              0);
    char* sg = nullptr;
    int sgLen = 0;
    ASSERT_EQ(VPL_DataDecode(1, field("sg").c_str(), len(field("sg")), &sg, &sgLen), 0);
    EXPECT_EQ(VCL_PK1_Public_Verify(pair.cert.data(), len(pair.cert), VCL_SIGN_KCDSA, "SHA256", kData.data(),
                                    len(kData), sg, sgLen, VCL_PK1_BASE64_LINES),
              0);
    VPL_Free(sg, sgLen);
    EXPECT_EQ(field("er"), "");
}

}  // namespace

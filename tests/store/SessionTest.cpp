// Web sessions: the digest wrapper against openssl dgst, contexts with
// fresh keys and their derivation, the members' getters and codes, and the
// session registry.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>

#include "StoreHelpers.h"
#include "base/store_internal.hpp"

using storetest::len;
using storetest::Out;

namespace {

std::string dgst(const std::string& algorithm, const std::string& data) {
    const auto r = zqtest::run({"openssl", "dgst", "-" + algorithm, "-binary"}, data);
    EXPECT_EQ(r.status, 0);
    return r.output;
}

std::string bytesOf(const unsigned char* p, int n) {
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

std::string base64(const std::string& s) {
    Out<> out;
    EXPECT_EQ(VPL_DataEncode(0, s.data(), len(s), out.ptr(), &out.n), 0);
    return out.str();
}

class StoreSession : public ::testing::Test {
protected:
    void TearDown() override { VPL_Cleanup(); }

    CTX* context(const std::string& domain) { return VPL_Find_CTX(g_CTX_Head, domain.c_str()); }
};

TEST_F(StoreSession, HashDataAgreesWithOpenssl) {
    const std::string data = "The agent signs what the page sends.\n";
    for (const char* name : {"SHA1", "SHA256"}) {
        void* digest = nullptr;
        int n = 0;
        ASSERT_EQ(VPL_HASH_Data(data.data(), len(data), &digest, &n, name), 0) << name;
        const std::string got(static_cast<const char*>(digest), static_cast<size_t>(n));
        EXPECT_EQ(static_cast<const char*>(digest)[n], '\0');
        VPL_Free(digest, n);
        EXPECT_EQ(got, dgst(name == std::string("SHA1") ? "sha1" : "sha256", data)) << name;
    }
    void* digest = reinterpret_cast<void*>(0x1);
    int n = 7;
    EXPECT_EQ(VPL_HASH_Data(nullptr, 3, &digest, &n, "SHA1"), 1001003);
    EXPECT_EQ(VPL_HASH_Data("abc", 0, &digest, &n, "SHA1"), 1001003);
    EXPECT_EQ(VPL_HASH_Data("abc", -1, &digest, &n, "SHA1"), 1001003);
    EXPECT_EQ(VPL_HASH_Data("abc", 3, &digest, &n, "NOSUCH"), 1052012);
    EXPECT_EQ(digest, reinterpret_cast<void*>(0x1)) << "outputs untouched on failure";
    EXPECT_EQ(n, 7);
}

TEST_F(StoreSession, ContextKeysDeriveFromThePremasterAsOpensslDigestsIt) {
    ASSERT_EQ(VPL_Set_DomainInfo("example", 7), 0);
    const CTX* ctx = context("example");
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(ctx->premasterLen, 64);
    const std::string premaster = bytesOf(ctx->premaster, ctx->premasterLen);
    std::string complement = premaster;
    for (char& c : complement) c = static_cast<char>(~static_cast<unsigned char>(c));

    EXPECT_EQ(bytesOf(ctx->clientKey, ctx->clientKeyLen) + bytesOf(ctx->clientIv, ctx->clientIvLen),
              dgst("sha256", premaster));
    EXPECT_EQ(bytesOf(ctx->serverKey, ctx->serverKeyLen) + bytesOf(ctx->serverIv, ctx->serverIvLen),
              dgst("sha256", complement));
    EXPECT_EQ(ctx->sessionKeyLen, 16);
    EXPECT_EQ(bytesOf(ctx->iv, ctx->ivLen), "ZORBAXE MODULE..");
    EXPECT_STREQ(ctx->sym, "SEED-CBC");
    EXPECT_STREQ(ctx->kx, "RSA15");
    EXPECT_STREQ(ctx->kxh, "SHA1");
    EXPECT_STREQ(ctx->sg, "RSA15");
    EXPECT_STREQ(ctx->sgh, "SHA1");
    EXPECT_EQ(ctx->extendedMode, 0);

    // The same domain in another case keeps the first keys.
    const std::string sessionKey = bytesOf(ctx->sessionKey, ctx->sessionKeyLen);
    EXPECT_EQ(VPL_Set_DomainInfo("Example", 7), 0);
    EXPECT_EQ(context("EXAMPLE"), ctx);
    EXPECT_EQ(bytesOf(ctx->premaster, ctx->premasterLen), premaster);
    EXPECT_EQ(bytesOf(ctx->sessionKey, ctx->sessionKeyLen), sessionKey);

    // Another domain: other random keys, the same fixed IV.
    ASSERT_EQ(VPL_Set_DomainInfo("other", 5), 0);
    const CTX* other = context("other");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(bytesOf(other->premaster, other->premasterLen), premaster);
    EXPECT_NE(bytesOf(other->sessionKey, other->sessionKeyLen), sessionKey);
    EXPECT_EQ(bytesOf(other->iv, other->ivLen), "ZORBAXE MODULE..");
}

TEST_F(StoreSession, DerivationTakesExactly64Bytes) {
    const std::string premaster(64, '\x5a');
    unsigned char *key = nullptr, *iv = nullptr;
    int keyLen = 0, ivLen = 0;
    ASSERT_EQ(VPL_Make_ServerSK(premaster.data(), 64, &key, &keyLen, &iv, &ivLen), 0);
    EXPECT_EQ(bytesOf(key, keyLen) + bytesOf(iv, ivLen), dgst("sha256", std::string(64, '\xa5')));
    VPL_Free(key, keyLen);
    VPL_Free(iv, ivLen);
    for (int n : {0, 63, 65})
        EXPECT_EQ(VPL_Make_ClientSK(premaster.data(), n, &key, &keyLen, &iv, &ivLen), 1001003) << n;
    EXPECT_EQ(VPL_Make_ClientSK(nullptr, 64, &key, &keyLen, &iv, &ivLen), 1001003);
}

TEST_F(StoreSession, DomainTakesAtMostItsLengthAndNeverReadsPastTheText) {
    // A length beyond the text stops at its end; a shorter one cuts it.
    ASSERT_EQ(VPL_Set_DomainInfo("abc", 4096), 0);
    ASSERT_NE(context("abc"), nullptr);
    EXPECT_EQ(context("abc")->domainLen, 3);
    ASSERT_EQ(VPL_Set_DomainInfo("abcdef", 3), 0);
    EXPECT_EQ(context("abcdef"), nullptr) << "cut to abc, which exists";
    EXPECT_EQ(VPL_Set_DomainInfo(nullptr, 3), 1052011);
    EXPECT_EQ(VPL_Set_DomainInfo("", 0), 1052011);
}

TEST_F(StoreSession, CodesWithoutAnyContextAndForAnUnknownDomain) {
    Out<> t1, t2;
    Out<unsigned char> b1, b2, b3;
    struct Case {
        const char* what;
        std::function<int(const char*)> call;
        int noContextAtAll, unknownDomain;
    };
    const std::vector<Case> cases = {
        {"Set_ServerCert", [](const char* d) { return VPL_Set_ServerCert(d, 0, "x", 1); }, 1052040, 1052039},
        {"Get_ServerCert", [&](const char* d) { return VPL_Get_ServerCert(d, b1.ptr(), &b1.n); }, 1052040, 1052039},
        {"Delete_ServerCert", [](const char* d) { return VPL_Delete_ServerCert(d); }, 1052040, 1052039},
        {"Get_Premaster", [&](const char* d) { return VPL_Get_Premaster(d, b1.ptr(), &b1.n); }, 1052040, 1052039},
        {"Get_SessionKey", [&](const char* d) { return VPL_Get_SessionKey(d, 0, t1.ptr(), &t1.n); }, 1052039, 1052039},
        {"Delete_SessionKey", [](const char* d) { return VPL_Delete_SessionKey(d, 0); }, 1052040, 1052039},
        {"Refresh_SessionKey", [](const char* d) { return VPL_Refresh_SessionKey(d, 0); }, 1052040, 1052039},
        {"Get_Server_SKeyAndIV",
         [&](const char* d) { return VPL_Get_Server_SKeyAndIV(d, t1.ptr(), &t1.n, t2.ptr(), &t2.n); }, 1052040,
         1052047},
        {"Get_DomainToSKEYAndIVAndCert",
         [&](const char* d) {
             return VPL_Get_DomainToSKEYAndIVAndCert(d, b1.ptr(), &b1.n, b2.ptr(), &b2.n, b3.ptr(), &b3.n);
         },
         1052047, 1052047},
        {"Set_gFilter", [](const char* d) { return VPL_Set_gFilter(d, 0, "issuer=", 7); }, 1052040, 1052039},
        {"Delete_gFilter", [](const char* d) { return VPL_Delete_gFilter(d, 0); }, 1052040, 1052039},
        {"Set_Property", [](const char* d) { return VPL_Set_Property(d, 0, "certmanui_phone", 0, "v", 1); }, 1052040,
         1052039},
        {"Get_Property", [&](const char* d) { return VPL_Get_Property(d, 0, "ImagePath", 9, t1.ptr(), &t1.n); },
         1052039, 1052039},
        {"Get_ImagePath", [&](const char* d) { return VPL_Get_ImagePath(d, 0, t1.ptr(), &t1.n); }, 1052039, 1052039},
        {"Get_PhoneDriveInfo",
         [&](const char* d) { return VPL_Get_PhoneDriveInfo(d, t1.ptr(), &t1.n, t2.ptr(), &t2.n); }, 1052047, 1052047},
    };
    for (const auto& c : cases) EXPECT_EQ(c.call("example"), c.noContextAtAll) << c.what;
    ASSERT_EQ(VPL_Set_DomainInfo("somewhere", 9), 0);
    for (const auto& c : cases) EXPECT_EQ(c.call("example"), c.unknownDomain) << c.what;
    EXPECT_EQ(VPL_Get_DomainToSKEYAndIVAndCert(nullptr, b1.ptr(), &b1.n, b2.ptr(), &b2.n, b3.ptr(), &b3.n), 1052039);
    EXPECT_EQ(VPL_Get_PhoneDriveInfo(nullptr, t1.ptr(), &t1.n, t2.ptr(), &t2.n), 1052039);
}

TEST_F(StoreSession, SessionKeyServerKeysAndCertificate) {
    ASSERT_EQ(VPL_Set_DomainInfo("d", 1), 0);
    CTX* ctx = context("d");
    Out<> key, iv;
    ASSERT_EQ(VPL_Get_SessionKey("d", 1, key.ptr(), &key.n), 0);
    EXPECT_EQ(key.str(), base64(bytesOf(ctx->sessionKey, ctx->sessionKeyLen)));
    ASSERT_EQ(VPL_Get_Server_SKeyAndIV("D", key.ptr(), &key.n, iv.ptr(), &iv.n), 0);
    EXPECT_EQ(key.str(), base64(bytesOf(ctx->serverKey, 16)));
    EXPECT_EQ(iv.str(), base64(bytesOf(ctx->serverIv, 16)));

    Out<unsigned char> k, i, c;
    EXPECT_EQ(VPL_Get_DomainToSKEYAndIVAndCert("d", k.ptr(), &k.n, i.ptr(), &i.n, c.ptr(), &c.n), 1052042);
    EXPECT_EQ(VPL_Get_ServerCert("d", c.ptr(), &c.n), -1);
    EXPECT_EQ(VPL_Delete_ServerCert("d"), 1052042);
    ASSERT_EQ(VPL_Set_ServerCert("d", 1, "CERT", 4), 0);
    ASSERT_EQ(VPL_Get_DomainToSKEYAndIVAndCert("d", k.ptr(), &k.n, i.ptr(), &i.n, c.ptr(), &c.n), 0);
    EXPECT_EQ(k.str(), bytesOf(ctx->sessionKey, 16));
    EXPECT_EQ(i.str(), "ZORBAXE MODULE..");
    EXPECT_EQ(c.str(), "CERT");
    EXPECT_EQ(VPL_Delete_ServerCert("d"), 0);
    EXPECT_EQ(VPL_Get_ServerCert("d", c.ptr(), &c.n), -1);

    Out<unsigned char> pm;
    ASSERT_EQ(VPL_Get_Premaster("d", pm.ptr(), &pm.n), 0);
    EXPECT_EQ(pm.str(), bytesOf(ctx->premaster, 64));

    // Deleted, the key is gone (and the IV with it); refreshed, a new key
    // and the fixed IV again.
    const std::string before = bytesOf(ctx->sessionKey, 16);
    EXPECT_EQ(VPL_Delete_SessionKey("d", 1), 0);
    EXPECT_EQ(VPL_Get_SessionKey("d", 1, key.ptr(), &key.n), 1052044);
    EXPECT_EQ(VPL_Get_DomainToSKEYAndIVAndCert("d", k.ptr(), &k.n, i.ptr(), &i.n, c.ptr(), &c.n), 1052044);
    EXPECT_EQ(VPL_Delete_SessionKey("d", 1), 1052044);
    ASSERT_EQ(VPL_Refresh_SessionKey("d", 1), 0);
    ASSERT_EQ(VPL_Get_SessionKey("d", 1, key.ptr(), &key.n), 0);
    EXPECT_NE(key.str(), base64(before));
    EXPECT_EQ(bytesOf(ctx->iv, ctx->ivLen), "ZORBAXE MODULE..");
    ASSERT_EQ(VPL_Get_Property("d", 1, "SessionKeyX", 0, key.ptr(), &key.n), 0);
    EXPECT_EQ(key.str(), base64(bytesOf(ctx->sessionKey, 16)));
}

TEST_F(StoreSession, PropertiesFilterAndImagePath) {
    ASSERT_EQ(VPL_Set_DomainInfo("d", 1), 0);
    CTX* ctx = context("d");
    Out<> info, url;
    EXPECT_EQ(VPL_Get_PhoneDriveInfo("d", info.ptr(), &info.n, url.ptr(), &url.n), 1052066);
    ASSERT_EQ(VPL_Set_Property("d", 1, "certmanui_phone", 0, "a", 1), 0);
    EXPECT_EQ(VPL_Get_PhoneDriveInfo("d", info.ptr(), &info.n, url.ptr(), &url.n), 1052067);
    ASSERT_EQ(VPL_Set_Property("d", 1, "CERTMANUI_INFOVINEURL", 0, "https://p/x", 11), 0);
    EXPECT_EQ(VPL_Get_PhoneDriveInfo("d", info.ptr(), &info.n, url.ptr(), &url.n), 1052068);
    ASSERT_EQ(VPL_Set_Property("d", 1, "certmanui_phoneVer", 0, "1", 1), 0);
    ASSERT_EQ(VPL_Get_PhoneDriveInfo("d", info.ptr(), &info.n, url.ptr(), &url.n), 0);
    EXPECT_EQ(info.str(), "a&1");
    EXPECT_EQ(url.str(), "https://p/x");
    // "off" in any case keeps the value; an unknown name is refused.
    EXPECT_EQ(VPL_Set_Property("d", 0, "CERTMANUI_PHONE", 0, "OFF", 3), 0);
    EXPECT_EQ(bytesOf(reinterpret_cast<unsigned char*>(ctx->phoneValue), ctx->phoneValueLen), "a");
    EXPECT_EQ(VPL_Set_Property("d", 0, "certmanui_other", 0, "x", 1), -1);
    EXPECT_EQ(VPL_Set_Property("d", 0, nullptr, 0, "x", 1), 1052011);
    // Values take their length, never more than the text.
    ASSERT_EQ(VPL_Set_Property("d", 0, "certmanui_phone", 0, "long value", 4), 0);
    EXPECT_EQ(ctx->phoneValueLen, 4);
    ASSERT_EQ(VPL_Set_Property("d", 0, "certmanui_phone", 0, "ab", 100), 0);
    EXPECT_EQ(ctx->phoneValueLen, 2);

    ASSERT_EQ(VPL_Set_gFilter("d", 1, "issuer=yessign&", 15), 0);
    EXPECT_STREQ(ctx->FilterInfo, "issuer=yessign&");
    EXPECT_EQ(VPL_Delete_gFilter("d", 1), 0);
    EXPECT_EQ(ctx->FilterInfo, nullptr);
    EXPECT_EQ(VPL_Delete_gFilter("d", 1), 0);
    EXPECT_EQ(VPL_Set_gFilter("d", 1, nullptr, 0), 1052011);

    Out<> path;
    EXPECT_EQ(VPL_Get_ImagePath("d", 1, path.ptr(), &path.n), 1052070);
    EXPECT_EQ(VPL_Get_Property("d", 1, "ImagePath", 9, path.ptr(), &path.n), 1052070);
    EXPECT_EQ(VPL_Get_Property("d", 1, "Nothing", 7, path.ptr(), &path.n), -1);
    // Longer than any fixed buffer: kept and handed out whole.
    const std::string image = "/home/u/.veridan/zephalt_fx/images/" + std::string(3000, 'i') + ".png";
    ctx->imagePath = zstore::newBuffer(image);
    ctx->imagePathLen = len(image);
    ASSERT_EQ(VPL_Get_ImagePath("d", 1, path.ptr(), &path.n), 0);
    EXPECT_EQ(path.str(), base64(image));
    ASSERT_EQ(VPL_Get_Property("d", 1, "imagepath", 9, path.ptr(), &path.n), 0);
    EXPECT_EQ(path.str(), base64(image));
}

TEST_F(StoreSession, PublicKeyOfACertificateAndServerTime) {
    const std::string der = storetest::cert("user-sign.der");
    // The subjectPublicKey's contents as python3-cryptography writes them.
    const auto peer = zqtest::run(
        {zqtest::kPython, "-c",
         "import sys;from cryptography import x509;from cryptography.hazmat.primitives import serialization as s;"
         "c=x509.load_der_x509_certificate(sys.stdin.buffer.read());k=c.public_key();"
         "sys.stdout.buffer.write(k.public_bytes(s.Encoding.DER,s.PublicFormat.PKCS1)[:(k.key_size+7)//8])"},
        der);
    ASSERT_EQ(peer.status, 0);
    Out<unsigned char> key;
    ASSERT_EQ(VPL_Get_CertToPubKey(der.data(), len(der), key.ptr(), &key.n), 0);
    EXPECT_EQ(key.str(), peer.output);
    EXPECT_EQ(VPL_Get_CertToPubKey("junk", 4, key.ptr(), &key.n), 1051024);

    int t = 0;
    ASSERT_EQ(VPL_Get_Server_Time(base64("1765339200").c_str(), &t), 0);
    EXPECT_EQ(t, 1765339200);
    ASSERT_EQ(VPL_Get_Server_Time(base64("-42x").c_str(), &t), 0);
    EXPECT_EQ(t, -42);
    ASSERT_EQ(VPL_Get_Server_Time(base64("abc").c_str(), &t), 0);
    EXPECT_EQ(t, 0);
    t = 7;
    // Outside int: refused, never wrapped.
    EXPECT_EQ(VPL_Get_Server_Time(base64("4294967296").c_str(), &t), -1);
    EXPECT_EQ(VPL_Get_Server_Time(base64("-2147483649").c_str(), &t), -1);
    EXPECT_EQ(VPL_Get_Server_Time(nullptr, &t), -1);
    EXPECT_EQ(VPL_Get_Server_Time("!!!", &t), -1);
    EXPECT_EQ(t, 7);
}

TEST_F(StoreSession, RegistryKeepsKeysReplacesCertificateAndNames) {
    const std::string cert1 = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
    const std::string cert2 = "second";
    ASSERT_EQ(VPL_SetZUNPluginDataProperty("VERIDAN", cert1.data(), len(cert1), "SEED-CBC", "RSA15", "SHA256", "RSA15",
                                           "SHA256"),
              0);
    CTX* ctx = context("VERIDAN");
    ASSERT_NE(ctx, nullptr);
    const std::string premaster = bytesOf(ctx->premaster, 64), sessionKey = bytesOf(ctx->sessionKey, 16);
    ASSERT_EQ(
        VPL_SetZUNPluginDataProperty("veridan", cert2.data(), len(cert2), "ARIA-CBC", nullptr, nullptr, "PSS", nullptr),
        0);
    EXPECT_EQ(context("VERIDAN"), ctx);
    EXPECT_EQ(bytesOf(ctx->premaster, 64), premaster);

    const unsigned char *cert = nullptr, *key = nullptr, *iv = nullptr;
    const char *sym, *kx, *kxh, *sg, *sgh;
    int certLen = 0, keyLen = 0, ivLen = 0;
    ASSERT_EQ(VPL_GetZUNPluginDataProperty("VERIDAN", &cert, &certLen, &sym, &kx, &kxh, &sg, &sgh, &key, &keyLen, &iv,
                                           &ivLen),
              0);
    EXPECT_EQ(bytesOf(cert, certLen), cert2);
    EXPECT_STREQ(sym, "ARIA-CBC");
    EXPECT_STREQ(kx, "RSA15");
    EXPECT_STREQ(kxh, "SHA256");
    EXPECT_STREQ(sg, "PSS");
    EXPECT_STREQ(sgh, "SHA256");
    EXPECT_EQ(bytesOf(key, keyLen), sessionKey);
    EXPECT_EQ(bytesOf(iv, ivLen), "ZORBAXE MODULE..");

    EXPECT_EQ(VPL_SetZUNPluginDataProperty(nullptr, "c", 1, "SEED-CBC", 0, 0, 0, 0), 1051039);
    EXPECT_EQ(VPL_SetZUNPluginDataProperty("X", nullptr, 1, "SEED-CBC", 0, 0, 0, 0), 1051039);
    EXPECT_EQ(VPL_SetZUNPluginDataProperty("X", "c", 1, nullptr, 0, 0, 0, 0), 1051039);
    EXPECT_EQ(context("X"), nullptr);
    EXPECT_EQ(
        VPL_GetZUNPluginDataProperty(nullptr, &cert, &certLen, &sym, &kx, &kxh, &sg, &sgh, &key, &keyLen, &iv, &ivLen),
        1051040);
    EXPECT_EQ(
        VPL_GetZUNPluginDataProperty("OTHER", &cert, &certLen, &sym, &kx, &kxh, &sg, &sgh, &key, &keyLen, &iv, &ivLen),
        1052039);

    // Clearing takes the exact id (any case); a prefix leaves it, and every
    // buffer is zeroed as it goes.
    VPL_ClearZUNPluginDataProperty("VERI");
    EXPECT_NE(context("VERIDAN"), nullptr);
    static bool allZero;
    allZero = true;
    zstore::g_releaseHook = [](const void* p, size_t n) {
        for (size_t i = 0; i < n; ++i) allZero = allZero && static_cast<const unsigned char*>(p)[i] == 0;
    };
    VPL_ClearZUNPluginDataProperty("veriDAN");
    zstore::g_releaseHook = nullptr;
    EXPECT_EQ(context("VERIDAN"), nullptr);
    EXPECT_EQ(g_CTX_Head, nullptr);
    EXPECT_TRUE(allZero);
}

}  // namespace

// Domain contexts and their cached credentials: exact matches, zeroed
// releases, cached-list release by medium, HSM module, pseudo paths and the
// memory lookups.
#include <gtest/gtest.h>

#include <set>

#include "StoreHelpers.h"
#include "base/store_internal.hpp"
#include "context/context_internal.hpp"

using storetest::len;
using storetest::Out;

namespace {

template <typename T>
T* bytes(const std::string& s, int& n) {
    n = len(s);
    return reinterpret_cast<T*>(zstore::newBuffer(s));
}

CTX* addContext(const std::string& domain) {
    CTX* ctx = VPL_Init_CTX();
    ctx->domain = bytes<char>(domain, ctx->domainLen);
    EXPECT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    return ctx;
}

CertsInfo* addCert(CTX* ctx, CertsInfo** list, const std::string& path, const std::string& cert,
                   const std::string& key) {
    (void)ctx;
    CertsInfo* node = VPL_Init_CertsInfo();
    node->path = bytes<char>(path, node->pathLen);
    node->cert = bytes<unsigned char>(cert, node->certLen);
    if (!key.empty()) node->key = bytes<unsigned char>(key, node->keyLen);
    EXPECT_EQ(VPL_Insert_CertsInfo(list, node), 0);
    return node;
}

std::map<const void*, size_t> gReleased;
bool gAllZero = true;
void recordRelease(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) gAllZero = gAllZero && static_cast<const unsigned char*>(p)[i] == 0;
    gReleased[p] = n;
}

class StoreContext : public ::testing::Test {
protected:
    void TearDown() override {
        zstore::g_releaseHook = nullptr;
        VPL_Cleanup();
    }
};

}  // namespace

TEST_F(StoreContext, DomainsMatchExactlyIgnoringCase) {
    CTX* veridan = addContext("veridan.example");
    CTX* other = addContext("other.example");
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, "VERIDAN.Example"), veridan);
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, "veridan"), nullptr);
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, "veridan.example.com"), nullptr);
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, nullptr), nullptr);
    EXPECT_EQ(VPL_Insert_CTX(&g_CTX_Head, nullptr), -1);
    EXPECT_EQ(VPL_Insert_CTX(nullptr, veridan), -1);

    // A beginning of a domain deletes nothing; the first context can go and
    // the list head follows.
    VPL_Find_CTX_Delete(&g_CTX_Head, "VERI");
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, "veridan.example"), veridan);
    VPL_Find_CTX_Delete(&g_CTX_Head, "Veridan.Example");
    EXPECT_EQ(g_CTX_Head, other);
    EXPECT_EQ(VPL_Find_CTX(g_CTX_Head, "veridan.example"), nullptr);
    VPL_Find_CTX_Delete(&g_CTX_Head, "other.example");
    EXPECT_EQ(g_CTX_Head, nullptr);
}

TEST_F(StoreContext, ReleasesZeroSessionMaterialAndCachedKeys) {
    CTX* ctx = addContext("bank.example");
    ctx->premaster = bytes<unsigned char>(std::string(64, '\xA5'), ctx->premasterLen);
    ctx->sessionKey = bytes<unsigned char>(std::string(16, '\x11'), ctx->sessionKeyLen);
    ctx->clientKey = bytes<unsigned char>(std::string(16, '\x22'), ctx->clientKeyLen);
    ctx->clientIv = bytes<unsigned char>(std::string(16, '\x33'), ctx->clientIvLen);
    ctx->serverKey = bytes<unsigned char>(std::string(16, '\x44'), ctx->serverKeyLen);
    ctx->serverIv = bytes<unsigned char>(std::string(16, '\x55'), ctx->serverIvLen);
    ctx->imagePath = bytes<char>("/tmp/img.png", ctx->imagePathLen);
    int ignored = 0;
    ctx->sg = bytes<char>("RSA15", ignored);
    CertsInfo* memory = addCert(ctx, &ctx->memoryCerts, "bank.example/MEMORY/cn=a/01", "cert-a", "key-a-secret");
    CertsInfo* hsm = addCert(ctx, &ctx->hsmCerts, "bank.example/HSM/cn=b/02", "cert-b", "key-b-secret");
    const std::set<const void*> secrets = {ctx->premaster, ctx->sessionKey, ctx->clientKey, ctx->clientIv,
                                           ctx->serverKey, ctx->serverIv,   memory->key,    hsm->key};
    const void* image = ctx->imagePath;

    gReleased.clear();
    gAllZero = true;
    zstore::g_releaseHook = recordRelease;
    VPL_Find_CTX_Delete(&g_CTX_Head, "bank.example");
    zstore::g_releaseHook = nullptr;
    EXPECT_TRUE(gAllZero);
    for (const void* p : secrets) {
        ASSERT_TRUE(gReleased.count(p));
        EXPECT_GE(gReleased[p], 12u);
    }
    EXPECT_TRUE(gReleased.count(image));
    EXPECT_EQ(g_CTX_Head, nullptr);

    // The holders zero theirs too.
    ASSERT_EQ(VPL_Init_Exchg_Cert(), 0);
    g_EXCHG_CERT->kmKey = bytes<unsigned char>("km private key", g_EXCHG_CERT->kmKeyLen);
    g_EXCHG_CERT->password = bytes<char>("password", g_EXCHG_CERT->passwordLen);
    ASSERT_EQ(VPL_Init_PKCS10_Cert(), 0);
    g_PPKI_PKCS10->privateKey = bytes<unsigned char>("new private key", g_PPKI_PKCS10->privateKeyLen);
    const void* held[] = {g_EXCHG_CERT->kmKey, g_EXCHG_CERT->password, g_PPKI_PKCS10->privateKey};
    gReleased.clear();
    zstore::g_releaseHook = recordRelease;
    VPL_Cleanup();
    zstore::g_releaseHook = nullptr;
    EXPECT_TRUE(gAllZero);
    for (const void* p : held) EXPECT_TRUE(gReleased.count(p));
    EXPECT_EQ(g_EXCHG_CERT, nullptr);
    EXPECT_EQ(g_PPKI_PKCS10, nullptr);
}

TEST_F(StoreContext, CachedCertificatesMatchExactly) {
    CTX* ctx = addContext("d.example");
    CertsInfo* first = addCert(ctx, &ctx->memoryCerts, "d.example/MEMORY/cn=a/0A1B", "cert-1", "key-1");
    CertsInfo* second = addCert(ctx, &ctx->memoryCerts, "d.example/MEMORY/cn=a/0A", "cert-2", "key-2");
    EXPECT_EQ(VPL_Find_CertsInfo(ctx->memoryCerts, "d.example/MEMORY/cn=a/0a"), second);
    EXPECT_EQ(VPL_Find_CertsInfo(ctx->memoryCerts, "d.example/MEMORY/cn=a/0A1B"), first);
    EXPECT_EQ(VPL_Find_CertsInfo(ctx->memoryCerts, ""), nullptr);
    EXPECT_EQ(VPL_Find_CertsInfo(ctx->memoryCerts, "d.example/MEMORY/cn=a/0"), nullptr);

    // A signature asks for the key of its own path, never a neighbour's.
    Out<void> key;
    ASSERT_EQ(VPL_Get_MemoryPrivateKey("d.example/MEMORY/cn=a/0A", key.ptr(), &key.n), 0);
    EXPECT_EQ(key.str(), "key-2");
    EXPECT_EQ(VPL_Get_MemoryPrivateKey("d.example/MEMORY/cn=a/0A1", key.ptr(), &key.n), 1052030);
    EXPECT_EQ(key.p, nullptr);

    VPL_Find_CertsInfo_Delete(&ctx->memoryCerts, "d.example/MEMORY/cn=a/0");
    EXPECT_EQ(ctx->memoryCerts, first);
    VPL_Find_CertsInfo_Delete(&ctx->memoryCerts, "D.EXAMPLE/memory/CN=A/0a1b");
    EXPECT_EQ(ctx->memoryCerts, second);
}

TEST_F(StoreContext, MemoryLookupsReportWhatIsMissing) {
    CTX* ctx = addContext("m.example");
    addCert(ctx, &ctx->memoryCerts, "m.example/MEMORY/cn=x/01", "cert-x", "");
    Out<void> out;
    // No context, no list for the medium, no node, no key: 1052030, empty.
    EXPECT_EQ(VPL_Get_MemoryCert("none.example/MEMORY/cn=x/01", out.ptr(), &out.n), 1052030);
    EXPECT_EQ(VPL_Get_MemoryCert("m.example/USBT/cn=x/01", out.ptr(), &out.n), 1052030);
    EXPECT_EQ(VPL_Get_MemoryCert("m.example/MEMORY/cn=x/02", out.ptr(), &out.n), 1052030);
    EXPECT_EQ(VPL_Get_MemoryPrivateKey("m.example/MEMORY/cn=x/01", out.ptr(), &out.n), 1052030);
    EXPECT_EQ(out.p, nullptr);
    EXPECT_EQ(VPL_Get_MemoryCert("/home/u/NPKI/x/signCert.der", out.ptr(), &out.n), 1052030);
    EXPECT_EQ(VPL_Get_MemoryCert(nullptr, out.ptr(), &out.n), 1052011);

    ASSERT_EQ(VPL_Get_MemoryCert("m.example/MEMORY/cn=x/01", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "cert-x");
    EXPECT_EQ(VPL_Set_MemoryPrivateKey("m.example/MEMORY/cn=x/02", "k", 1), 1052030);
    ASSERT_EQ(VPL_Set_MemoryPrivateKey("m.example/MEMORY/cn=x/01", "new-key", 7), 0);
    ASSERT_EQ(VPL_Get_MemoryPrivateKey("m.example/MEMORY/cn=x/01", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "new-key");

    // The certificate and key behind a pseudo path.
    Out<void> cert, key;
    ASSERT_EQ(VPL_SaveToken_CopyPath_Check("m.example/MEMORY/cn=x/01", cert.ptr(), &cert.n, key.ptr(), &key.n), 0);
    EXPECT_EQ(cert.str(), "cert-x");
    EXPECT_EQ(key.str(), "new-key");
    EXPECT_EQ(VPL_SaveToken_CopyPath_Check("m.example/MEMORY/cn=y/01", cert.ptr(), &cert.n, key.ptr(), &key.n),
              1052030);
    EXPECT_EQ(cert.p, nullptr);
}

TEST_F(StoreContext, CachedListsByMediumAndHsmModule) {
    CTX* ctx = addContext("h.example");
    addCert(ctx, &ctx->hsmCerts, "h.example/HSM/cn=x/01", "c", "k");
    addCert(ctx, &ctx->usbtCerts, "h.example/USBT/cn=x/01", "c", "k");
    EXPECT_EQ(VPL_CTX_Certs_Delete("h.example", 9, 0), 0);
    EXPECT_EQ(VPL_CTX_Certs_Delete("h.example", 9, -1), 0);
    EXPECT_NE(ctx->hsmCerts, nullptr);
    EXPECT_EQ(VPL_CTX_Certs_Delete("h.example", 9, 13), 1052011);
    EXPECT_EQ(VPL_CTX_Certs_Delete(nullptr, 0, 12), 1052011);
    EXPECT_EQ(VPL_CTX_Certs_Delete("x.example", 9, 12), 1052039);
    EXPECT_EQ(VPL_CTX_Certs_Delete("H.EXAMPLE", 9, 12), 0);
    EXPECT_EQ(ctx->hsmCerts, nullptr);
    EXPECT_NE(ctx->usbtCerts, nullptr);

    Out<> module;
    EXPECT_EQ(VPL_Get_Domain_HSMModule("h.example", module.ptr(), &module.n), 1052062);
    EXPECT_EQ(VPL_Get_Domain_HSMModule(nullptr, module.ptr(), &module.n), 1052039);
    EXPECT_EQ(VPL_Get_Domain_HSMModule("x.example", module.ptr(), &module.n), 1052047);
    EXPECT_EQ(VPL_Set_HSM_Drive("x.example", 9, "libhsm.so", 9), 1052047);
    EXPECT_EQ(VPL_Set_HSM_Drive("h.example", 9, "libhsm.so", 4), 1052011);
    ASSERT_EQ(VPL_Set_HSM_Drive("h.example", 9, "libhsm.so", 9), 0);
    ASSERT_EQ(VPL_Set_HSM_Drive("h.example", 9, "libother.so", 11), 0);
    ASSERT_EQ(VPL_Get_Domain_HSMModule("h.example", module.ptr(), &module.n), 0);
    EXPECT_EQ(module.str(), "libother.so");
}

TEST(StorePaths, StorageTypeOfAPath) {
    const std::pair<const char*, int> cases[] = {
        {"/home/hsmith/NPKI/x/signCert.der", 0},
        {"/home/usbtuser/NPKI/yessign/USER/x/signCert.der", 0},
        {"/media/u/MEMORY/signCert.der", 0},
        {"VERIDAN/HSM/x/01", 12},
        {"VERIDAN/hsm1/x/01", 12},
        {"d/usbt1/cn=a/01", 3},
        {"d/MEMORY/cn=a/01", 6},
        {"d/SCARD/cn=a/01", 2},
        {"d/ICCARD/cn=a/01", 7},
        {"d/PHONE/cn=a/01", 8},
        {"d/PHONEX/cn=a/01", 0},
        {"d/OTHER/x", 0},
        {"signCert.der", 0},
        {"", 0},
    };
    for (const auto& [path, type] : cases) EXPECT_EQ(VPL_InputPath_Check(path), type) << path;
    EXPECT_EQ(VPL_InputPath_Check(nullptr), -1);

    Out<> domain;
    ASSERT_EQ(VPL_Get_PathToDomain("bank.example/MEMORY/cn=a/01", domain.ptr(), &domain.n), 0);
    EXPECT_EQ(domain.str(), "bank.example");
    EXPECT_EQ(VPL_Get_PathToDomain("bank.example", domain.ptr(), &domain.n), -1);
    EXPECT_EQ(VPL_Get_PathToDomain(nullptr, domain.ptr(), &domain.n), 1052011);
}

TEST_F(StoreContext, SubjectAndSerialOfACachedCertificate) {
    const std::string der = storetest::cert("user-sign.der");
    CTX* ctx = addContext("s.example");
    addCert(ctx, &ctx->scardCerts, "s.example/SCARD/x/01", der, "k");
    Out<> dn, serial;
    ASSERT_EQ(VPL_Get_PathToSubjectDNAndSerial("s.example/SCARD/x/01", dn.ptr(), &dn.n, serial.ptr(), &serial.n), 0);
    const auto euc =
        storetest::iconvText("cn=홍길동()0012345678901234,ou=KMB,ou=personal4IB,o=yessign,c=kr", "UTF-8", "EUC-KR");
    EXPECT_EQ(dn.str(), euc.value());
    EXPECT_EQ(serial.str().size() % 2, 0u);
    EXPECT_EQ(VPL_Get_PathToSubjectDNAndSerial("s.example/SCARD/x/02", dn.ptr(), &dn.n, serial.ptr(), &serial.n),
              1052030);
    addCert(ctx, &ctx->scardCerts, "s.example/SCARD/x/03", "junk", "k");
    EXPECT_EQ(VPL_Get_PathToSubjectDNAndSerial("s.example/SCARD/x/03", dn.ptr(), &dn.n, serial.ptr(), &serial.n),
              1051024);
}

TEST(StoreText, StrReplace) {
    Out<> out;
    ASSERT_EQ(VPL_StrReplace("/a/signCert.der", "SIGNCERT.DER", "signPri.key", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "/a/signPri.key");
    // A replacement longer than the rest of the text, and texts past 1024.
    ASSERT_EQ(VPL_StrReplace("ab", "b", "a much longer text", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "aa much longer text");
    const std::string big(3000, 'x');
    ASSERT_EQ(VPL_StrReplace((big + "Y").c_str(), "y", big.c_str(), out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), big + big);
    ASSERT_EQ(VPL_StrReplace("abc", "z", "q", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "abc");
    ASSERT_EQ(VPL_StrReplace("abc", "", "q", out.ptr(), &out.n), 0);
    EXPECT_EQ(out.str(), "abc");
    EXPECT_EQ(VPL_StrReplace(nullptr, "a", "b", out.ptr(), &out.n), -1);
}

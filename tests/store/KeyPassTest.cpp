// Key passwords of the store's certificates, with keys openssl pkcs8 and
// kisa_key.py made (make_key_store.sh), checked after a change by openssl
// pkcs8 and independent_decrypt.py; certificate folders and CPS addresses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "StoreHelpers.h"
#include "base/store_internal.hpp"

using storetest::len;
using storetest::Out;

namespace {

const std::string& keyDir() {
    static zqtest::TempDir dir("storekeys");
    static const bool made =
        zqtest::run({"sh", zqtest::sourceDir() + "/tests/store/make_key_store.sh", dir.path()}).status == 0;
    EXPECT_TRUE(made) << "make_key_store.sh failed";
    return dir.path();
}

std::string fixture(const std::string& name) { return zqtest::readFile(keyDir() + "/" + name); }

bool same(const std::string& path, const std::string& file) {
    return zqtest::run({"cmp", "-s", path, keyDir() + "/" + file}).status == 0;
}

// A peer's verdict, its complaints about wrong passwords kept quiet.
bool quietly(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"});
    return zqtest::run(argv).status == 0;
}

// openssl pkcs8 opens a PBES2 key with this password.
bool opensslOpens(const std::string& path, const std::string& password) {
    return quietly({"openssl", "pkcs8", "-inform", "DER", "-in", path, "-passin", "pass:" + password, "-provider",
                    "legacy", "-provider", "default"});
}

// The KISA computation without our library opens a key with this password.
bool kisaOpens(const std::string& path, const std::string& password) {
    return quietly({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/pkcs/independent_decrypt.py", path, password});
}

class StoreKeyPass : public ::testing::Test {
protected:
    // A user folder with the certificate and a key file of the given name.
    std::string place(const std::string& folder, const std::string& keyFile, const std::string& keyName) {
        const std::string dir = m_home / ("NPKI/yessign/USER/" + folder);
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", fixture("cert.der"));
        if (!keyName.empty()) {
            zqtest::writeFile(dir + "/" + keyName, fixture(keyFile));
            chmod((dir + "/" + keyName).c_str(), 0640);
        }
        return dir;
    }
    int check(const std::string& certPath, const std::string& password, std::string* subject = nullptr) {
        Out<> s;
        const int rc = VPL_PassWord_Check(certPath.c_str(), password.c_str(), len(password), s.ptr(), &s.n);
        if (subject) *subject = s.str();
        return rc;
    }
    int change(const std::string& certPath, const std::string& oldPw, const std::string& newPw) {
        return VPL_Set_User_PassWordChange(certPath.c_str(), oldPw.c_str(), len(oldPw), newPw.c_str(), len(newPw));
    }

    zqtest::TempDir m_home{"storekeyhome"};
};

unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

}  // namespace

TEST_F(StoreKeyPass, CheckFindsTheKeyByItsWholeName) {
    const std::string upper = place("cn=upper", "seed.key", "SIGNPRI.KEY");
    std::string subject;
    ASSERT_EQ(check(upper + "/signCert.der", "old-pw", &subject), 0);
    EXPECT_EQ(storetest::iconvText(subject, "EUC-KR", "UTF-8").value_or("?"), "키사용자()0099");
    EXPECT_EQ(check(upper + "/signCert.der", "wrong", &subject), 1051027);
    EXPECT_TRUE(subject.empty());
    EXPECT_TRUE(same(upper + "/SIGNPRI.KEY", "seed.key"));

    const std::string bak = place("cn=bak", "seed.key", "signPri.key.bak");
    EXPECT_EQ(check(bak + "/signCert.der", "old-pw"), -1);
    EXPECT_EQ(change(bak + "/signCert.der", "old-pw", "new-pw"), -1);
    EXPECT_TRUE(same(bak + "/signPri.key.bak", "seed.key"));
    const std::string none = place("cn=none", "seed.key", "");
    EXPECT_EQ(check(none + "/signCert.der", "old-pw"), -1);

    // Arguments: a password not of its length, no outputs, unreadable files.
    Out<> s;
    EXPECT_EQ(VPL_PassWord_Check((upper + "/signCert.der").c_str(), "old-pw", 3, s.ptr(), &s.n), 1052013);
    EXPECT_EQ(VPL_PassWord_Check((upper + "/signCert.der").c_str(), nullptr, 0, s.ptr(), &s.n), 1052013);
    EXPECT_EQ(VPL_PassWord_Check((upper + "/signCert.der").c_str(), "old-pw", 6, nullptr, &s.n), 1052011);
    EXPECT_EQ(check(upper + "/none.der", "old-pw"), 1052030);
    EXPECT_EQ(check("", "old-pw"), 1052030);
    EXPECT_EQ(VPL_PassWord_Check(nullptr, "old-pw", 6, s.ptr(), &s.n), -1);
    const std::string key = fixture("kisa.key");
    EXPECT_EQ(VPL_Priv_PassWord_Check(key.data(), len(key), "old-pw", 6), 0);
    EXPECT_EQ(VPL_Priv_PassWord_Check(key.data(), len(key), "old-px", 6), 1051027);
    EXPECT_EQ(VPL_Priv_PassWord_Check(nullptr, 0, "old-pw", 6), 1052011);
    EXPECT_EQ(VPL_Priv_PassWord_Check(key.data(), len(key), "old-pw", 7), 1052013);
}

TEST_F(StoreKeyPass, ChangeWritesANewKeyOnlyTheNewPasswordOpens) {
    for (const char* file : {"seed.key", "kisa.key"}) {
        SCOPED_TRACE(file);
        const bool pbes2 = std::string(file) == "seed.key";
        const auto opens = [&](const std::string& path, const std::string& pw) {
            return pbes2 ? opensslOpens(path, pw) : kisaOpens(path, pw);
        };
        const std::string dir = place(std::string("cn=") + file, file, "signPri.key");
        const std::string cert = dir + "/signCert.der", key = dir + "/signPri.key";
        ASSERT_TRUE(opens(key, "old-pw"));

        // A wrong old password changes nothing.
        EXPECT_EQ(change(cert, "wrong", "new-pw"), 1051027);
        EXPECT_TRUE(same(key, file));
        EXPECT_EQ(change(cert, "old-pw", "new-pw"), 0);
        EXPECT_FALSE(same(key, file));
        EXPECT_EQ(modeOf(key), 0600u);
        EXPECT_TRUE(opens(key, "new-pw"));
        EXPECT_FALSE(opens(key, "old-pw"));
        EXPECT_EQ(check(cert, "new-pw"), 0);
        EXPECT_EQ(check(cert, "old-pw"), 1051027);
        EXPECT_TRUE(same(cert, "cert.der"));
        if (!pbes2) {
            // The VID random goes with the key.
            const auto random = zqtest::run(
                {zqtest::kPython, zqtest::sourceDir() + "/tests/core/kisa_key.py", "random", key, "new-pw"});
            EXPECT_EQ(random.output, fixture("random.hex"));
        }
        // Nothing but the pair is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);
    }
    const std::string dir = place("cn=args", "seed.key", "signPri.key");
    EXPECT_EQ(VPL_Set_User_PassWordChange(nullptr, "a", 1, "b", 1), 1052011);
    EXPECT_EQ(VPL_Set_User_PassWordChange((dir + "/signCert.der").c_str(), "old-pw", 6, "new", 4), 1052013);
    EXPECT_EQ(change(dir + "/signCert.der", "old-pw", ""), 1051027);  // the core refuses an empty password
    EXPECT_TRUE(same(dir + "/signPri.key", "seed.key"));
}

TEST_F(StoreKeyPass, FailedWriteKeepsTheOldKey) {
    const std::string dir = place("cn=fsize", "kisa.key", "signPri.key");
    const std::string cert = dir + "/signCert.der", key = dir + "/signPri.key";
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = change(cert, "old-pw", "new-pw");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, 1052031);
    EXPECT_TRUE(same(key, "kisa.key"));
    EXPECT_TRUE(kisaOpens(key, "old-pw"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);

    // A folder in the key's place is no key.
    const std::string blocked = place("cn=blocked", "seed.key", "");
    zqtest::makeDirs(blocked + "/signPri.key");
    EXPECT_EQ(change(blocked + "/signCert.der", "old-pw", "new-pw"), -1);  // no key file beside it
}

TEST_F(StoreKeyPass, CachedKeysOfADomain) {
    CTX* ctx = VPL_Init_CTX();
    ASSERT_NE(ctx, nullptr);
    ctx->domain = zstore::newBuffer("VERIDAN");
    ctx->domainLen = 7;
    ASSERT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    CertInfoList* list = VPL_InitList(nullptr);
    const std::string cert = fixture("cert.der"), key = fixture("seed.key");
    ASSERT_EQ(VPL_MEMORY_ListInfo("VERIDAN", 7, cert.data(), len(cert), key.data(), len(key), list), 0);
    EXPECT_EQ(VPL_MEMORY_ListInfo("OTHER", 5, cert.data(), len(cert), key.data(), len(key), list), 1052039);
    CertInfo info;
    ASSERT_EQ(VPL_GetListEntry(list, 0, &info), 0);
    EXPECT_EQ(std::string(info.certPath).rfind("VERIDAN/MEMORY/cn=", 0), 0u) << info.certPath;
    EXPECT_STREQ(info.certPath, info.keyPath);
    EXPECT_EQ(std::string(info.certPath).substr(std::strlen(info.certPath) - 5), "/5A11");

    std::string subject;
    EXPECT_EQ(check(info.certPath, "old-pw", &subject), 0);
    EXPECT_EQ(storetest::iconvText(subject, "EUC-KR", "UTF-8").value_or("?"), "키사용자()0099");
    EXPECT_EQ(change(info.certPath, "old-pw", "new-pw"), 0);
    Out<void> cached;
    ASSERT_EQ(VPL_Get_MemoryPrivateKey(info.certPath, cached.ptr(), &cached.n), 0);
    EXPECT_EQ(VPL_Priv_PassWord_Check(cached.p, cached.n, "new-pw", 6), 0);
    EXPECT_EQ(VPL_Priv_PassWord_Check(cached.p, cached.n, "old-pw", 6), 1051027);
    EXPECT_EQ(check("VERIDAN/MEMORY/nothing/01", "new-pw"), 1052030);
    VPL_DeleteAllList(list);
    std::free(list);
    VPL_Cleanup();
}

TEST_F(StoreKeyPass, CertificateFolders) {
    struct Case {
        const char* path;
        int rc;
        const char* folder;
    } cases[] = {
        {"/a/b.der", 0, "/a"}, {"/a/", 0, "/a"},   {"/a/b/c/signCert.der", 0, "/a/b/c"},
        {"b.der", -1, ""},     {"/b.der", -1, ""}, {"", -1, ""},
        {"a/b", 0, "a"},
    };
    for (const auto& c : cases) {
        Out<> folder;
        EXPECT_EQ(VPL_CertPathToCertFolder(c.path, folder.ptr()), c.rc) << c.path;
        folder.n = folder.p ? static_cast<int>(std::strlen(folder.p)) : 0;
        EXPECT_EQ(folder.str(), c.folder) << c.path;
    }
    Out<> folder;
    EXPECT_EQ(VPL_CertPathToCertFolder(nullptr, folder.ptr()), 1052009);
}

TEST_F(StoreKeyPass, CpsAddresses) {
    struct Case {
        const char* text;
        const char* cps;
    } cases[] = {
        {"OID=1.2.3,CPS=address", "address"},
        {"PI=1.2.3,cps=http://a/cps.htm|PI=1.2.4,CPS=http://b", "http://a/cps.htm"},
        {"PI=1.2.3|PI=1.2.4,CPS=http://b", "http://b"},
        {"PI=1.2.3,USER_NOTICE=,Text=x", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        Out<> cps;
        EXPECT_EQ(VPL_Get_CPSPath(c.text, cps.ptr(), &cps.n), 0) << c.text;
        EXPECT_EQ(cps.str(), c.cps ? c.cps : "") << c.text;
        if (!c.cps) {
            EXPECT_EQ(cps.p, nullptr);
        }
    }

    // Certificates from make_store_certs.py: one with CPS addresses in two
    // policies, one with a policy and none, one without policies.
    const auto encPath = [](const std::string& file) {
        const std::string path = storetest::certDir() + "/" + file;
        Out<> enc;
        EXPECT_EQ(VPL_DataEncode(0, path.data(), len(path), enc.ptr(), &enc.n), 0);
        return enc.str();
    };
    const std::string cps = encPath("cps.der");
    Out<> url;
    ASSERT_EQ(VPL_User_Notification(0, 0, 0, cps.c_str(), len(cps), url.ptr(), &url.n), 0);
    // python's URL encoding of the address (the peer's second column).
    const auto peer = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/encode_peer.py"},
                                  "68747470733a2f2f7777772e7965737369676e2e6f722e6b722f6370732e68746d\n");
    const size_t tab = peer.output.find('\t');
    EXPECT_EQ(url.str(), peer.output.substr(tab + 1, peer.output.find('\t', tab + 1) - tab - 1));
    EXPECT_EQ(url.str(), "https%3a//www.yessign.or.kr/cps.htm");
    for (int type : {1, 2, 3, 6, 9, 10, 12}) {
        Out<> again;
        EXPECT_EQ(VPL_User_Notification(type, 0, 0, cps.c_str(), len(cps), again.ptr(), &again.n), 0) << type;
    }
    EXPECT_EQ(VPL_User_Notification(4, 0, 0, cps.c_str(), len(cps), url.ptr(), &url.n), -1);
    EXPECT_EQ(VPL_User_Notification(0, 0, 0, cps.c_str(), len(cps) - 1, url.ptr(), &url.n), 1052009);
    const std::string noCps = encPath("gov-class1.der"), noPolicy = encPath("user-sign.der"),
                      missing = encPath("none.der");
    EXPECT_EQ(VPL_User_Notification(0, 0, 0, noCps.c_str(), len(noCps), url.ptr(), &url.n), -1);
    EXPECT_EQ(VPL_User_Notification(0, 0, 0, noPolicy.c_str(), len(noPolicy), url.ptr(), &url.n), 1052069);
    EXPECT_EQ(VPL_User_Notification(0, 0, 0, missing.c_str(), len(missing), url.ptr(), &url.n), 1052030);
    EXPECT_EQ(url.p, nullptr);
}

TEST_F(StoreKeyPass, PkcsTwelveListedAsMemoryEntries) {
    CTX* ctx = VPL_Init_CTX();
    ASSERT_NE(ctx, nullptr);
    ctx->domain = zstore::newBuffer("VERIDAN");
    ctx->domainLen = 7;
    ASSERT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    const std::string p12 = keyDir() + "/user.p12";
    for (int round = 0; round < 2; ++round) {
        Out<> list;
        ASSERT_EQ(VPL_Cert_Find("VERIDAN", 7, p12.c_str(), len(p12), "p12-pw", 6, list.ptr(), &list.n), 1);
        // One record; its certpath and keypath name the cached pair.
        const std::string text = list.str();
        ASSERT_EQ(std::count(text.begin(), text.end(), '|'), 1);
        const size_t at = text.find("&certpath^") + 10;
        const std::string enc = text.substr(at, text.find('&', at) - at);
        Out<> path;
        ASSERT_EQ(VPL_DataDecode(2, enc.c_str(), len(enc), path.ptr(), &path.n), 0);
        EXPECT_EQ(path.str().rfind("VERIDAN/MEMORY/cn=", 0), 0u) << path.str();
        EXPECT_NE(text.find("&keypath^VERIDAN/MEMORY/cn%3d"), std::string::npos);
        EXPECT_EQ(check(path.str(), "p12-pw"), 0);
        // A second listing replaces the cache: one node, not two.
        int nodes = 0;
        for (CertsInfo* n = ctx->memoryCerts; n; n = n->next) ++nodes;
        EXPECT_EQ(nodes, 1);
    }
    Out<> list;
    EXPECT_EQ(VPL_Cert_Find("VERIDAN", 7, p12.c_str(), len(p12), "wrong!", 6, list.ptr(), &list.n), 1052035);
    EXPECT_EQ(list.p, nullptr);
    const std::string none = keyDir() + "/none.p12";
    EXPECT_EQ(VPL_Cert_Find("VERIDAN", 7, none.c_str(), len(none), "p12-pw", 6, list.ptr(), &list.n), 1052030);
    EXPECT_EQ(VPL_Cert_Find("VERIDAN", 7, p12.c_str(), 3, "p12-pw", 6, list.ptr(), &list.n), 1052009);
    EXPECT_EQ(VPL_Cert_Find("VERIDAN", 7, p12.c_str(), len(p12), "p12-pw", 2, list.ptr(), &list.n), 1052013);
    EXPECT_EQ(VPL_Cert_Find(nullptr, 0, p12.c_str(), len(p12), "p12-pw", 6, list.ptr(), &list.n), 1052011);
    EXPECT_EQ(VPL_Cert_Find("OTHER", 5, p12.c_str(), len(p12), "p12-pw", 6, list.ptr(), &list.n), -1);
    VPL_Cleanup();
}

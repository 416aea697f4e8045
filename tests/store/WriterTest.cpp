// The store writer in a temporary home and drive: paths against
// store_layout.py, contents against cmp, CA file names against openssl x509,
// refusals and failures against find.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "StoreHelpers.h"
#include "disk/disk_internal.hpp"

using storetest::cert;
using storetest::len;
using storetest::Out;

namespace {

// Key bytes as a key file holds them: binary, zeros included.
std::string keyBytes(size_t n, unsigned seed) {
    std::string k(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        k[i] = static_cast<char>(i % 7 == 0 ? 0 : seed >> 16);
    }
    return k;
}

PKISTRINFO record(const std::string& certBytes, const std::string& key, int use) {
    PKISTRINFO r{};
    r.cert = reinterpret_cast<unsigned char*>(const_cast<char*>(certBytes.data()));
    r.cert_len = len(certBytes);
    r.key = key.empty() ? nullptr : reinterpret_cast<unsigned char*>(const_cast<char*>(key.data()));
    r.key_len = len(key);
    r.cert_use = use;
    return r;
}

std::string find(const std::string& dir) {
    const auto r = zqtest::run({"find", dir, "-printf", "%P %y\\n"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines;
    std::istringstream in(r.output);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

bool sameFile(const std::string& path, const std::string& bytes) {
    zqtest::TempDir dir("storecmp");
    zqtest::writeFile(dir / "expected", bytes);
    return zqtest::run({"cmp", path, dir / "expected"}).status == 0;
}

class StoreWriter : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedHome = std::getenv("QUILLETEX_HOME");
        m_home = m_root / "home";
        m_drive = m_root / "drive";
        zqtest::makeDirs(m_home);
        zqtest::makeDirs(m_drive);
        setenv("QUILLETEX_HOME", m_home.c_str(), 1);
    }
    void TearDown() override {
        setenv("QUILLETEX_HOME", m_savedHome.c_str(), 1);
        umask(022);
    }
    std::string base(int flag) const { return flag == 0 ? m_home : m_drive; }
    int store(int flag, const std::string& file, const std::string& key, int use) {
        const std::string der = cert(file);
        PKISTRINFO r = record(der, key, use);
        return VPL_Location_CertCreate(flag, flag ? m_drive.c_str() : nullptr, &r);
    }

    zqtest::TempDir m_root{"storewriter"};
    std::string m_savedHome, m_home, m_drive;
};

}  // namespace

TEST_F(StoreWriter, HangulUserPairsLandWherePythonSaysWithPrivateModes) {
    const auto sign = storetest::layoutOf("user-sign.der", 3);
    const auto km = storetest::layoutOf("user-km.der", 4);
    ASSERT_EQ(sign.cls, 1);
    ASSERT_EQ(km.cls, 2);
    const std::string signKey = keyBytes(1234, 1), kmKey = keyBytes(1300, 2);
    for (int flag : {0, 1}) {
        for (mode_t mask : {022, 077}) {
            SCOPED_TRACE(std::to_string(flag) + " umask " + std::to_string(mask));
            std::filesystem::remove_all(base(flag) + "/NPKI");
            umask(mask);
            ASSERT_EQ(store(flag, "user-sign.der", signKey, 3), 0);
            ASSERT_EQ(store(flag, "user-km.der", kmKey, 4), 0);
            const std::string b = base(flag);
            EXPECT_TRUE(sameFile(b + "/" + sign.certPath, cert("user-sign.der")));
            EXPECT_TRUE(sameFile(b + "/" + sign.keyPath, signKey));
            EXPECT_TRUE(sameFile(b + "/" + km.certPath, cert("user-km.der")));
            EXPECT_TRUE(sameFile(b + "/" + km.keyPath, kmKey));
            const std::string user = b + "/" + sign.certPath.substr(0, sign.certPath.rfind('/'));
            for (const std::string& dir : {b + "/NPKI", b + "/NPKI/yessign", b + "/NPKI/yessign/USER", user})
                EXPECT_EQ(modeOf(dir), 0700u) << dir;
            EXPECT_EQ(modeOf(b + "/" + sign.keyPath), 0600u);
            EXPECT_EQ(modeOf(b + "/" + km.keyPath), 0600u);
            EXPECT_EQ(modeOf(b + "/" + sign.certPath), 0644u & ~mask);
            // Nothing else: no temporary file is left behind.
            const std::string tree = find(b + "/NPKI");
            EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), 8) << tree;
        }
    }
    // Existing folders are left as they are.
    umask(022);
    chmod((m_home + "/NPKI").c_str(), 0755);
    ASSERT_EQ(store(0, "user-sign.der", signKey, 3), 0);
    EXPECT_EQ(modeOf(m_home + "/NPKI"), 0755u);
}

TEST_F(StoreWriter, CaCertificatesAreNamedAsOpensslPrintsThem) {
    for (const char* file : {"ca-public.der", "ca-private.der", "ca-gov.der"}) {
        SCOPED_TRACE(file);
        const auto layout = storetest::layoutOf(file, 0);
        ASSERT_EQ(store(0, file, "", layout.cls), 0);
        const std::string path = m_home + "/" + layout.certPath;
        EXPECT_TRUE(sameFile(path, cert(file)));
        EXPECT_EQ(modeOf(path), 0644u);

        const auto x509 = zqtest::run({"openssl", "x509", "-inform", "DER", "-in", storetest::certDir() + "/" + file,
                                       "-noout", "-ext", "subjectKeyIdentifier", "-serial"});
        ASSERT_EQ(x509.status, 0);
        std::string keyId, serial;
        std::istringstream lines(x509.output);
        for (std::string l; std::getline(lines, l);) {
            if (l.rfind("serial=", 0) == 0)
                serial = l.substr(7);
            else if (l.rfind("    ", 0) == 0)
                keyId = l.substr(4);
        }
        std::erase(keyId, ':');
        ASSERT_FALSE(keyId.empty());
        EXPECT_EQ(path.substr(path.rfind('/') + 1), keyId + "_" + serial + ".der");
    }
    // A CA file already there is kept (the government root is replaced).
    const auto layout = storetest::layoutOf("ca-public.der", 0);
    zqtest::writeFile(m_home + "/" + layout.certPath, "kept");
    EXPECT_EQ(store(0, "ca-public.der", "", 7), 0);
    EXPECT_EQ(zqtest::readFile(m_home + "/" + layout.certPath), "kept");
    const auto root = storetest::layoutOf("ca-gov.der", 0);
    zqtest::writeFile(m_home + "/" + root.certPath, "old");
    EXPECT_EQ(store(0, "ca-gov.der", "", 9), 0);
    EXPECT_EQ(zqtest::readFile(m_home + "/" + root.certPath), cert("ca-gov.der"));
}

TEST_F(StoreWriter, PrivateAndGovernmentLayouts) {
    const struct {
        const char* file;
        int use;
        const char* path;
    } cases[] = {
        {"private-sign.der", 3, "PPKI/Veridan/VERIDAN CA/USER/cn=private user,o=VERIDAN,c=kr/signCert.der"},
        {"gov-class2.der", 3, "GPKI/Certificate/class2/김공무_sig.cer"},
        {"gov-km.der", 4, "GPKI/Certificate/class2/김공무_env.cer"},
        {"gov-class1.der", 3, "GPKI/Certificate/class1/이공무_sig.cer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto layout = storetest::layoutOf(c.file, c.use);
        EXPECT_EQ(layout.certPath, c.path);
        const std::string key = keyBytes(900, c.use);
        ASSERT_EQ(store(1, c.file, key, c.use), 0);
        EXPECT_TRUE(sameFile(m_drive + "/" + layout.certPath, cert(c.file)));
        EXPECT_TRUE(sameFile(m_drive + "/" + layout.keyPath, key));
        EXPECT_EQ(modeOf(m_drive + "/" + layout.keyPath), 0600u);
    }
    EXPECT_EQ(modeOf(m_drive + "/GPKI/Certificate/class2"), 0700u);
}

TEST_F(StoreWriter, RefusalsWriteNothing) {
    const std::string before = find(m_root.path());
    for (const char* file : {"evil-org.der", "evil-cn.der", "evil-slash-org.der", "evil-gov-cn.der"}) {
        EXPECT_EQ(store(0, file, "key", 3), 1052009) << file;
        EXPECT_EQ(store(1, file, "key", 3), 1052009) << file;
    }
    EXPECT_EQ(store(0, "user-sign.der", "key", 5), 1052014);
    const std::string junk = "junk";
    PKISTRINFO r = record(junk, "key", 3);
    EXPECT_EQ(VPL_Location_CertCreate(0, nullptr, &r), -1);
    const std::string der = cert("user-sign.der");
    r = record(der, "key", 3);
    EXPECT_EQ(VPL_Location_CertCreate(1, nullptr, &r), 1052027);
    EXPECT_EQ(VPL_Location_CertCreate(0, nullptr, nullptr), 1052011);
    // Names given directly to the layout writers are checked too.
    EXPECT_EQ(VPL_Cert_Create(&r, 1, (m_home + "/NPKI").c_str(), nullptr, "..", "x"), 1052009);
    EXPECT_EQ(VPL_Cert_Create(&r, 3, (m_home + "/PPKI").c_str(), "../..", "ca", "x"), 1052009);
    EXPECT_EQ(VPL_GPKI_Cert_Create(&r, 5, (m_home + "/GPKI").c_str(), "class1", "a/b"), 1052009);
    EXPECT_EQ(VPL_Cert_Create(&r, 5, (m_home + "/NPKI").c_str(), nullptr, "ca", "x"), -1);
    // A path past the readers' buffers.
    const std::string deep = m_root / std::string(980, 'h');
    setenv("QUILLETEX_HOME", deep.c_str(), 1);
    EXPECT_EQ(store(0, "user-sign.der", "key", 3), 1052009);
    EXPECT_EQ(find(m_root.path()), before);
}

TEST_F(StoreWriter, FailedWritesLeaveNothing) {
    const auto sign = storetest::layoutOf("user-sign.der", 3);
    const auto km = storetest::layoutOf("user-km.der", 4);
    ASSERT_EQ(store(0, "user-sign.der", keyBytes(500, 3), 3), 0);
    const std::string signTree = find(m_home);

    // A directory where the KM key goes: the KM certificate goes again and
    // the signing pair beside it stays.
    zqtest::makeDirs(m_home + "/" + km.keyPath);
    const std::string blocked = find(m_home);
    EXPECT_EQ(store(0, "user-km.der", keyBytes(700, 4), 4), 1052031);
    EXPECT_EQ(find(m_home), blocked);
    std::filesystem::remove(m_home + "/" + km.keyPath);
    EXPECT_EQ(find(m_home), signTree);

    // A file-size limit below the key: nothing of the call is left, new
    // folders included.
    zqtest::TempDir drive("storefsize");
    const std::string before = find(drive.path());
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16384;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string der = cert("user-sign.der");
    const std::string bigKey = keyBytes(65536, 5);
    PKISTRINFO r = record(der, bigKey, 3);
    const int rc = VPL_Location_CertCreate(1, drive.path().c_str(), &r);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, 1052031);
    EXPECT_EQ(find(drive.path()), before);
    (void)sign;
}

TEST_F(StoreWriter, AFileItReplacedComesBackWhenTheOperationFails) {
    // Two keys of one operation: the first replaced, the second not written.
    const std::string dir = m_root / "pair";
    zqtest::makeDirs(dir);
    zqtest::writeFile(dir + "/signPri.key", "old key");
    chmod((dir + "/signPri.key").c_str(), 0640);
    {
        zstore::StoreWriter writer;
        ASSERT_TRUE(writer.write(dir, {{"signPri.key", "new key", 0600}}));
        EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), "new key");
        EXPECT_FALSE(writer.write(dir + "/missing", {{"kmPri.key", "new km", 0600}}));
    }
    EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), "old key");
    struct stat st {};
    ASSERT_EQ(stat((dir + "/signPri.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"signPri.key"});  // no temporary left
    {
        // Committed, the new bytes stay.
        zstore::StoreWriter writer;
        ASSERT_TRUE(writer.write(dir, {{"signPri.key", "new key", 0600}}));
        writer.commit();
    }
    EXPECT_EQ(zqtest::readFile(dir + "/signPri.key"), "new key");
}

TEST_F(StoreWriter, CredentialsBehindAFilePath) {
    const auto sign = storetest::layoutOf("user-sign.der", 3);
    const std::string key = keyBytes(800, 6);
    ASSERT_EQ(store(0, "user-sign.der", key, 3), 0);
    const std::string certPath = m_home + "/" + sign.certPath;
    Out<void> c, k;
    ASSERT_EQ(VPL_SaveToken_CopyPath_Check(certPath.c_str(), c.ptr(), &c.n, k.ptr(), &k.n), 0);
    EXPECT_EQ(c.str(), cert("user-sign.der"));
    EXPECT_EQ(k.str(), key);

    // The key file is found whatever the case of its name.
    const std::string keyPath = m_home + "/" + sign.keyPath;
    const std::string upper = keyPath.substr(0, keyPath.rfind('/')) + "/SIGNPRI.KEY";
    std::filesystem::rename(keyPath, upper);
    Out<> found;
    ASSERT_EQ(VPL_CertPathConvKeyPath(1, certPath.c_str(), found.ptr()), 0);
    found.n = static_cast<int>(std::strlen(found.p));
    EXPECT_EQ(found.str(), upper);
    std::filesystem::remove(upper);
    EXPECT_EQ(VPL_CertPathConvKeyPath(1, certPath.c_str(), found.ptr()), -1);
    EXPECT_EQ(VPL_SaveToken_CopyPath_Check(certPath.c_str(), c.ptr(), &c.n, k.ptr(), &k.n), -1);
    EXPECT_EQ(VPL_CertPathConvKeyPath(1, "/a/b.der", found.ptr()), -1);  // shorter than the ending
    EXPECT_EQ(VPL_CertPathConvKeyPath(1, nullptr, found.ptr()), 1052009);

    // A CA certificate comes without a key; a missing file is 1052030.
    const auto ca = storetest::layoutOf("ca-public.der", 0);
    ASSERT_EQ(store(0, "ca-public.der", "", 7), 0);
    ASSERT_EQ(VPL_SaveToken_CopyPath_Check((m_home + "/" + ca.certPath).c_str(), c.ptr(), &c.n, k.ptr(), &k.n), 0);
    EXPECT_EQ(c.str(), cert("ca-public.der"));
    EXPECT_EQ(k.p, nullptr);
    EXPECT_EQ(VPL_SaveToken_CopyPath_Check((m_home + "/none.der").c_str(), c.ptr(), &c.n, k.ptr(), &k.n), 1052030);
}

TEST_F(StoreWriter, HomeDirectory) {
    char dst[VPL_PATH_MAX];
    int n = 0;
    ASSERT_EQ(VPL_Get_OSCertLocation(dst, &n, nullptr, 0), 0);
    EXPECT_EQ(std::string(dst), m_home);
    EXPECT_EQ(n, len(m_home));
    const std::string tooLong = "/" + std::string(1100, 'h');
    setenv("QUILLETEX_HOME", tooLong.c_str(), 1);
    EXPECT_EQ(VPL_Get_OSCertLocation(dst, &n), 1052009);
    EXPECT_EQ(dst[0], '\0');
    EXPECT_EQ(VPL_Get_OSCertLocation(nullptr, &n), 1052011);
    // Without the override: the password database's entry.
    unsetenv("QUILLETEX_HOME");
    ASSERT_EQ(VPL_Get_OSCertLocation(dst, &n), 0);
    EXPECT_EQ(
        std::string(dst),
        zqtest::run({"sh", "-c", "getent passwd $(id -u) | cut -d: -f6"}).output.substr(0, static_cast<size_t>(n)));
    EXPECT_EQ(VPL_Dir_CheckANDCreate((m_home + "/made").c_str()), 0);
    EXPECT_EQ(modeOf(m_home + "/made"), 0700u);
    EXPECT_EQ(VPL_Dir_CheckANDCreate((m_home + "/made").c_str()), 0);
    EXPECT_EQ(VPL_Dir_CheckANDCreate((m_home + "/no/such").c_str()), -1);
}

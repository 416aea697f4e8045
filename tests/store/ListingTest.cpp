// Listings over the home and drive that make_list_tree.py builds, read back
// by list_peer.py (python's URL and Base64 decoding, iconv, the filter
// grammar of its own) and compared with the records the script expects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "StoreHelpers.h"
#include "list/list_internal.hpp"

using storetest::len;
using storetest::Out;

namespace {

struct Tree {
    zqtest::TempDir root{"storelist"};
    std::string home = root / "home", drive = root / "drive", expected = root / "expected.tsv";
    bool made = false;
    Tree() {
        zqtest::makeDirs(home);
        zqtest::makeDirs(drive);
        made = zqtest::run(
                   {zqtest::kPython, zqtest::sourceDir() + "/tests/store/make_list_tree.py", home, drive, expected})
                   .status == 0;
    }
};

const Tree& tree() {
    static const Tree t;
    return t;
}

// The expected rows' fields by subject (the script's column order).
std::vector<std::string> expectedRow(const std::string& subject) {
    std::istringstream in(zqtest::readFile(tree().expected));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string v; std::getline(fields, v, '\t');) f.push_back(v);
        if (f.size() > 1 && f[1] == subject) return f;
    }
    ADD_FAILURE() << "no expected row for " << subject;
    return std::vector<std::string>(12);
}

class StoreListing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tree().made) << "make_list_tree.py failed";
        if (const char* h = std::getenv("QUILLETEX_HOME")) m_savedHome = h;
        setenv("QUILLETEX_HOME", tree().home.c_str(), 1);
        ASSERT_EQ(VPL_ADD_User_CertType(".veridanCACerts", 1), 0);
        CTX* ctx = VPL_Init_CTX();
        ASSERT_NE(ctx, nullptr);
        ctx->domain = zstore::newBuffer("VERIDAN");
        ctx->domainLen = 7;
        ASSERT_EQ(VPL_Insert_CTX(&g_CTX_Head, ctx), 0);
    }
    void TearDown() override {
        VPL_Cleanup();
        setenv("QUILLETEX_HOME", m_savedHome.c_str(), 1);
        unsetenv("TZ");
        tzset();
    }

    void setDomainFilter(const std::string& text) {
        CTX* ctx = VPL_Find_CTX(g_CTX_Head, "VERIDAN");
        VPL_Free(ctx->FilterInfo, ctx->FilterInfoLen);
        ctx->FilterInfo = zstore::newBuffer(text);
        ctx->FilterInfoLen = len(text);
    }

    // The agent's call: domain "VERIDAN", no PIN.
    int list(int type, const std::string& filter, std::string& out, const char* drive = nullptr) {
        Out<> text;
        const int rc = VPL_Get_Domain_CertList(type, drive, drive ? static_cast<int>(std::strlen(drive)) : 0, nullptr,
                                               0, "VERIDAN", 7, filter.empty() ? nullptr : filter.c_str(), len(filter),
                                               text.ptr(), &text.n);
        out = text.str();
        if (rc > 0) {
            EXPECT_EQ(static_cast<size_t>(text.n), std::strlen(text.p));
        }
        return rc;
    }

    // list_peer.py's verdict on a record string.
    zqtest::RunResult peer(int type, const std::string& filter, const std::string& records, const char* tz = nullptr) {
        zqtest::TempDir dir("storepeer");
        zqtest::writeFile(dir / "list", records);
        std::vector<std::string> env;
        if (tz) env.push_back(std::string("TZ=") + tz);
        return zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/store/list_peer.py", tree().expected,
                            std::to_string(type), filter, dir / "list"},
                           {}, env);
    }

    // Lists and compares: the count and the peer's records agree.
    void expectListing(int type, const std::string& filter, const char* drive = nullptr,
                       const std::string& peerFilter = "\x01") {
        SCOPED_TRACE("type " + std::to_string(type) + " filter " + filter.substr(0, 80));
        std::string records;
        const int count = list(type, filter, records, drive);
        const auto verdict = peer(type, peerFilter == "\x01" ? filter : peerFilter, records);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
        const std::string expectedCount = verdict.output.substr(verdict.output.find("expected ") + 9);
        EXPECT_EQ(count, std::stoi(expectedCount)) << verdict.output;
        if (count == 0) {
            EXPECT_TRUE(records.empty());
        }
    }

    std::string m_savedHome;
};

}  // namespace

TEST_F(StoreListing, EveryStorageTypeListsWhatThePeerExpects) {
    expectListing(0, "");
    expectListing(1, "", tree().drive.c_str());
    expectListing(5, "");
    expectListing(9, "");
    expectListing(10, "");
    // The root list of the agent: expired roots left out.
    expectListing(5, "expire=1");

    // Counts by hand, so the peer's expectations are themselves checked:
    // home users 14 public, 2 private, 2 government; drive 3; roots 3,
    // other CAs 3, private CAs 2.
    std::string records;
    EXPECT_EQ(list(0, "", records), 18);
    EXPECT_EQ(list(1, "", records, tree().drive.c_str()), 3);
    EXPECT_EQ(list(5, "", records), 3);
    EXPECT_EQ(list(9, "", records), 3);
    EXPECT_EQ(list(10, "", records), 2);
    // A drive path with a trailing "/" lists the same records.
    const std::string slashed = tree().drive + "/";
    EXPECT_EQ(list(1, "", records, slashed.c_str()), 3);
    EXPECT_EQ(peer(1, "", records).status, 0);
}

TEST_F(StoreListing, PathsAreWholeAndKeysPairByTheirWholeNames) {
    std::string records;
    ASSERT_EQ(list(0, "", records), 18);
    // certpath: URL-decoded, then Base64-decoded, the exact path; keypath
    // only URL-decoded. The folder past 255 characters keeps its path.
    const auto row = expectedRow("긴이름()" + std::string(90, '0'));
    ASSERT_GT(row[5].size(), 255u);
    Out<> encoded;
    ASSERT_EQ(VPL_DataEncode(2, row[5].data(), len(row[5]), encoded.ptr(), &encoded.n), 0);
    EXPECT_NE(records.find("certpath^" + encoded.str() + "&"), std::string::npos);
    // The fixed record refuses what it cannot hold whole.
    CertInfo info;
    EXPECT_EQ(VPL_CertPath_Make_CertInfo(row[5].c_str(), &info, nullptr), 1051038);
    EXPECT_EQ(info.subject[0], '\0');

    // XsignCert.der with XsignPri.key, SIGNCERT.DER with SIGNPRI.KEY, and
    // signPri.key where zsignPri.key also ends in it: the peer has them.
    for (const char* subject : {"prefixed()001", "UPPER()001", "twokeys()001"}) {
        const auto r = expectedRow(subject);
        Out<> key;
        ASSERT_EQ(VPL_DataEncode(1, r[6].data(), len(r[6]), key.ptr(), &key.n), 0);
        EXPECT_NE(records.find("keypath^" + key.str() + "&"), std::string::npos) << subject;
    }
    // Only signPri.key.bak beside a certificate: no key.
    const std::string bak = tree().home + "/NPKI/yessign/USER/cn=bakonly()001,o=yessign,c=kr/signCert.der";
    ASSERT_TRUE(zqtest::fileExists(bak));
    Out<> keyPath;
    EXPECT_EQ(VPL_CertPathConvKeyPath(1, bak.c_str(), keyPath.ptr()), -1);
    EXPECT_EQ(records.find("bakonly"), std::string::npos);
}

TEST_F(StoreListing, DatesInLocalTimeAndExpiryFlags) {
    const auto row = expectedRow("날짜시험()001");
    ASSERT_EQ(row[4], "2030-03-31T15:30:00Z");
    for (const auto& [tz, date] : {std::pair{"Asia/Seoul", "2030-04-01"}, std::pair{"UTC", "2030-03-31"}}) {
        setenv("TZ", tz, 1);
        tzset();
        CertInfo info;
        ASSERT_EQ(VPL_CertPath_Make_CertInfo(row[5].c_str(), &info, nullptr), 0);
        EXPECT_STREQ(info.validTo, date) << tz;
        std::string records;
        ASSERT_EQ(list(0, "", records), 18);
        const auto verdict = peer(0, "", records, tz);
        EXPECT_EQ(verdict.status, 0) << tz << "\n" << verdict.output;
    }
    // Ending in 10 days, in 40 days, yesterday, starting tomorrow.
    for (const auto& [subject, flag] : {std::pair{"renew()010", 2}, std::pair{"valid()040", 0},
                                        std::pair{"expired()001", 1}, std::pair{"future()001", 1}}) {
        CertInfo info;
        int cls = 0;
        ASSERT_EQ(VPL_CertPath_Make_CertInfo(expectedRow(subject)[5].c_str(), &info, &cls), 0) << subject;
        EXPECT_EQ(info.expireFlag, flag) << subject;
        EXPECT_EQ(cls, 1) << subject;
        EXPECT_EQ(info.storeClass, 1);
    }
}

TEST_F(StoreListing, FiltersAgreeWithThePeer) {
    const auto hong = expectedRow("홍길동()0012345678901234");
    const std::vector<std::string> filters = {
        "oid=1.2.410.200004|1.2.410.200005",
        "issuer=yessignCA&expire=1",
        "oid=&issuer=SignKorea",
        "oid=1.2.410.200005&oid=1.2.410.200004",
        "crl=1",
        "color=red",
        "ISSUER=YESSIGNCA%20class",
        "subject=%c8%ab",                   // the EUC-KR of the first syllable of 홍길동
        "issuer=%b0%f8%bd%c3",              // 공시: the FSS issuer's CN in EUC-KR
        "serial=" + hong[10].substr(0, 4),  // a prefix
        "expire=1&oid=1.2.410.100001",
        "subject=nope%00prefixed",  // a value holding a zero byte matches nothing
        "expire=1&&&subject=&",
    };
    for (const auto& f : filters) expectListing(0, f);
    expectListing(10, "issuer=VERIDAN");

    // A serial list of 2,000 characters keeps exactly the one it names: no
    // value is cut to a prefix that matches more.
    std::string serials;
    for (int i = 0; i < 182; ++i) serials += "FFFFFFFFFF|";
    const std::string longFilter = "serial=" + serials + hong[10];
    ASSERT_GT(longFilter.size(), 2000u);
    std::string records;
    EXPECT_EQ(list(0, longFilter, records), 1);
    expectListing(0, longFilter);
    // A filter that hides everything: count 0 and no buffer.
    EXPECT_EQ(list(0, "serial=" + serials, records), 0);
    EXPECT_TRUE(records.empty());
}

TEST_F(StoreListing, DomainFilterJoinsTheCallers) {
    // The domain's text and the caller's are one filter: "&" is put between
    // them, so expire=1 is not read into the issuer value.
    setDomainFilter("issuer=yessignCA");
    expectListing(0, "expire=1", nullptr, "issuer=yessignCA&expire=1");
    expectListing(0, "", nullptr, "issuer=yessignCA");
    setDomainFilter("issuer=yessignCA&");
    expectListing(0, "expire=1", nullptr, "issuer=yessignCA&expire=1");
    // A caller token of the domain's kind replaces it.
    setDomainFilter("issuer=yessignCA&expire=1");
    expectListing(0, "issuer=SignKorea", nullptr, "issuer=yessignCA&expire=1&issuer=SignKorea");
    std::string records;
    EXPECT_EQ(list(0, "issuer=SignKorea", records), 2);
}

TEST_F(StoreListing, RefusalsAndMediaWithoutStores) {
    Out<> text;
    const auto call = [&](int type, const char* drive, int driveLen, const char* pin, int pinLen,
                          const char* domain = "VERIDAN") {
        return VPL_Get_Domain_CertList(type, drive, driveLen, pin, pinLen, domain, 7, nullptr, 0, text.ptr(), &text.n);
    };
    EXPECT_EQ(call(1, nullptr, 0, nullptr, 0), 1052027);
    EXPECT_EQ(call(1, "", 0, nullptr, 0), 1052027);
    EXPECT_EQ(call(1, tree().drive.c_str(), 3, nullptr, 0), 1052027);
    EXPECT_EQ(call(0, nullptr, 0, "1234", 3), 1052008);
    EXPECT_EQ(call(0, nullptr, 0, "1234", 4), 18);
    for (int type : {2, 3, 8, 12, 6, 7, 4, 11, 13, -1}) EXPECT_EQ(call(type, nullptr, 0, nullptr, 0), -1) << type;
    EXPECT_EQ(text.p, nullptr);  // the PIN's and the types' refusals hand out nothing
    EXPECT_EQ(text.n, 0);
    // A domain without context, and none.
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0, "OTHER"), -1);
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0, nullptr), -1);
    EXPECT_EQ(VPL_Get_Domain_CertList(0, nullptr, 0, nullptr, 0, "VERIDAN", 7, nullptr, 0, nullptr, &text.n), 1052011);

    // A medium without store folders: 0 and no buffer, for every kind.
    zqtest::TempDir empty("storeempty");
    setenv("QUILLETEX_HOME", empty.path().c_str(), 1);
    for (int type : {0, 5, 9, 10}) {
        EXPECT_EQ(call(type, nullptr, 0, nullptr, 0), 0) << type;
        EXPECT_EQ(text.p, nullptr);
        EXPECT_EQ(text.n, 0);
    }
    EXPECT_EQ(call(1, empty.path().c_str(), len(empty.path()), nullptr, 0), 0);
    // A "certificate" of 2 MiB is not read.
    const std::string big = empty / "NPKI/yessign/USER/cn=big,o=yessign,c=kr";
    zqtest::makeDirs(big);
    zqtest::writeFile(big + "/signPri.key", "key");
    zqtest::writeFile(big + "/signCert.der", storetest::cert("user-sign.der"));
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0), 1);
    std::filesystem::resize_file(big + "/signCert.der", 2 << 20);
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0), 0);
    std::filesystem::remove_all(empty / "NPKI");
    // A CA folder below the base that does not open ends the listing.
    zqtest::makeDirs(empty / "NPKI/yessign");
    std::filesystem::remove_all(empty / "NPKI/yessign");
    std::filesystem::create_symlink(empty / "nowhere", empty / "NPKI/yessign");
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0), 0);  // a link to nothing is passed over
    std::filesystem::remove(empty / "NPKI/yessign");
    zqtest::writeFile(empty / "file", "x");
    std::filesystem::create_symlink(empty / "file/x", empty / "NPKI/yessign");
    EXPECT_EQ(call(0, nullptr, 0, nullptr, 0), -1);  // a status that cannot be read (ENOTDIR)
}

TEST_F(StoreListing, WalksOneStoreAtATime) {
    CertInfoList* list = VPL_InitList(nullptr);
    ASSERT_NE(list, nullptr);
    const std::string npki = tree().home + "/NPKI", gpki = tree().home + "/GPKI/Certificate";
    EXPECT_EQ(VPL_Get_CertListInfo(list, npki.c_str(), len(npki)), 14);
    // Counts include the entries of earlier walks.
    EXPECT_EQ(VPL_Get_GPKI_CertListInfo(list, gpki.c_str(), len(gpki)), 16);
    EXPECT_EQ(VPL_Get_Root_CA_CertListInfo(0, list, npki.c_str(), len(npki)), 16 + 6);
    EXPECT_EQ(VPL_GetListCount(list, 1), 22);
    // Unregistered, the agent's CA folder is walked no more.
    ASSERT_EQ(VPL_ADD_User_CertType("other", 1), 0);
    VPL_DeleteAllList(list);
    EXPECT_EQ(VPL_Get_Root_CA_CertListInfo(0, list, npki.c_str(), len(npki)), 3);
    EXPECT_EQ(VPL_Get_CertListInfo(list, (npki + "/none").c_str(), len(npki) + 5), 0);  // no base: nothing
    EXPECT_EQ(VPL_Get_Root_CA_CertListInfo(1, list, nullptr, 0), -1);
    VPL_DeleteAllList(list);
    std::free(list);
    EXPECT_EQ(VPL_Check_NPKIStringofPath("/home/u/npki"), 0);
    EXPECT_EQ(VPL_Check_NPKIStringofPath("NPKI"), -1);
    EXPECT_EQ(VPL_Check_NPKIStringofPath("/home/u/PPKI/Veridan"), -1);
    EXPECT_EQ(VPL_Check_NPKIStringofPath(nullptr), 1052011);
}

// Copy and deletion in temporary homes and media roots: what lands where
// (cmp, find, stat), what is refused, and that nothing but the named
// certificates goes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "MgmtHelpers.h"
#include "SignHelpers.h"

namespace {

using mgmttest::filesBelow;
using mgmttest::mx;
using mgmttest::mxBytes;
using mgmttest::Out;
using signtest::encoded;
using signtest::fx;
using storetest::len;

const std::string kHongDN = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";
const std::string kHongDir = "NPKI/yessign/USER/" + kHongDN;
const std::vector<std::string> kPairFiles = {"kmCert.der", "kmPri.key", "signCert.der", "signPri.key"};

std::vector<std::string> under(const std::string& prefix, const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const auto& n : names) out.push_back(prefix + "/" + n);
    return out;
}

int copy(int src, int dst, const std::string& drive, const std::string& certPath, const std::string& password) {
    const std::string path = encoded(certPath);
    return VPL_Cert_Domain_Copy("VERIDAN", 7, src, nullptr, 0, dst, drive.empty() ? nullptr : drive.c_str(), len(drive),
                                nullptr, 0, path.c_str(), len(path), password.c_str(), len(password));
}

int deleteByPath(int type, const std::string& certPath) {
    const std::string path = encoded(certPath);
    return VPL_Cert_Delete(type, nullptr, 0, path.c_str(), len(path));
}

// The users of make_mgmt_certs.py (serials.tsv, private.tsv): label to CA
// folder and DN folder.
struct User {
    std::string label, ca, dn;
};
std::vector<User> users(const char* table) {
    std::vector<User> out;
    std::istringstream in(zqtest::readFile(mx(table)));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        User u;
        std::getline(f, u.label, '\t');
        std::getline(f, u.ca, '\t');
        std::getline(f, u.dn, '\t');
        out.push_back(u);
    }
    return out;
}

// Places every user of a table under base's store (NPKI or PPKI/Veridan);
// the files each folder got, relative to base.
std::map<std::string, std::vector<std::string>> placeUsers(const std::string& base, const char* table,
                                                           const std::string& store, const std::string& from) {
    std::map<std::string, std::vector<std::string>> placed;
    for (const User& u : users(table)) {
        const std::string rel = store + "/" + u.ca + "/USER/" + u.dn;
        zqtest::makeDirs(base + "/" + rel);
        for (const auto& f : filesBelow(mx(from + "/" + u.label))) {
            if (f.ends_with(".pem")) continue;
            zqtest::writeFile(base + "/" + rel + "/" + f, zqtest::readFile(mx(from + "/" + u.label + "/" + f)));
            placed[u.label].push_back(rel + "/" + f);
        }
    }
    return placed;
}

std::vector<std::string> allBut(const std::map<std::string, std::vector<std::string>>& placed,
                                const std::vector<std::string>& gone) {
    std::vector<std::string> files;
    for (const auto& [label, list] : placed)
        if (std::find(gone.begin(), gone.end(), label) == gone.end())
            files.insert(files.end(), list.begin(), list.end());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

// Home to drive and back: the drive's standard folder gets the four files,
// byte for byte, keys 0600; nothing else is written.
TEST(Copy, HomeToDriveAndBack) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string source = home.hong();
    const std::string drive = media.drive("usb1");
    ASSERT_EQ(copy(0, 1, drive, source + "/signCert.der", signtest::password()), 0);
    EXPECT_EQ(filesBelow(drive), under(kHongDir, kPairFiles));
    for (const auto& f : kPairFiles) {
        EXPECT_TRUE(signtest::same(source + "/" + f, drive + "/" + kHongDir + "/" + f)) << f;
        if (f.find("Pri") != std::string::npos) EXPECT_EQ(signtest::modeOf(drive + "/" + kHongDir + "/" + f), 0600u);
    }

    // Back to an empty home: from the drive (type 1) to the hard disk.
    for (const auto& f : kPairFiles) ASSERT_EQ(unlink((source + "/" + f).c_str()), 0);
    ASSERT_EQ(copy(1, 0, "", drive + "/" + kHongDir + "/signCert.der", signtest::password()), 0);
    EXPECT_EQ(filesBelow(home.path()), under(kHongDir, kPairFiles));
    for (const auto& f : kPairFiles)
        EXPECT_TRUE(signtest::same(fx("hong/" + f), home.path() + "/" + kHongDir + "/" + f)) << f;
}

// A wrong password changes nothing anywhere; refused arguments neither.
TEST(Copy, RefusedCopiesWriteNothing) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string source = home.hong();
    const std::string drive = media.drive("usb1");
    const std::string cert = source + "/signCert.der";
    const std::string path = encoded(cert);
    const std::string pw = signtest::password();
    const auto before = filesBelow(home.path());

    EXPECT_EQ(copy(0, 1, drive, cert, "wrong-password"), VPL_ERR_PASSWORD);
    EXPECT_EQ(copy(0, 0, "", cert, "wrong-password"), VPL_ERR_PASSWORD);
    const struct Case {
        const char* name;
        int rc;
        int expected;
    } cases[] = {
        {"path length not its own",
         VPL_Cert_Domain_Copy("VERIDAN", 7, 0, nullptr, 0, 1, drive.c_str(), len(drive), nullptr, 0, path.c_str(),
                              len(path) + 1, pw.c_str(), len(pw)),
         VPL_ERR_PATH},
        {"no path",
         VPL_Cert_Domain_Copy("VERIDAN", 7, 0, nullptr, 0, 1, drive.c_str(), len(drive), nullptr, 0, nullptr, 0,
                              pw.c_str(), len(pw)),
         VPL_ERR_PATH},
        {"password length not its own",
         VPL_Cert_Domain_Copy("VERIDAN", 7, 0, nullptr, 0, 1, drive.c_str(), len(drive), nullptr, 0, path.c_str(),
                              len(path), pw.c_str(), len(pw) - 1),
         VPL_ERR_PASSWORD_PARAM},
        {"source a smart card", copy(2, 1, drive, cert, pw), -1},
        {"source negative", copy(-1, 1, drive, cert, pw), -1},
        {"destination a token", copy(0, 3, drive, cert, pw), -1},
        {"drive missing", copy(0, 1, "", cert, pw), VPL_ERR_DRIVE},
        {"drive length not its own",
         VPL_Cert_Copy(0, nullptr, 0, 1, drive.c_str(), len(drive) + 3, nullptr, 0, path.c_str(), len(path), pw.c_str(),
                       len(pw)),
         VPL_ERR_DRIVE},
        {"no such certificate", copy(0, 1, drive, source + "/none.der", pw), VPL_ERR_READ_FILE},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rc, c.expected) << c.name;
    EXPECT_EQ(filesBelow(drive), std::vector<std::string>{});
    EXPECT_EQ(filesBelow(home.path()), before);
}

// An older certificate of the same name is not copied over a renewed one
// (its key would be lost); the renewed one replaces the older.
TEST(Copy, NeverReplacesARenewedCertificate) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string source = home.hong();
    const std::string drive = media.drive("usb1");
    const std::string target = drive + "/" + kHongDir;
    zqtest::makeDirs(target);
    for (const char* f : {"signCert.der", "signPri.key"})
        zqtest::writeFile(target + "/" + f, zqtest::readFile(mx(std::string("renewed/") + f)));

    EXPECT_EQ(copy(0, 1, drive, source + "/signCert.der", signtest::password()), VPL_ERR_COPY);
    EXPECT_EQ(filesBelow(drive), under(kHongDir, {"signCert.der", "signPri.key"}));
    for (const char* f : {"signCert.der", "signPri.key"})
        EXPECT_TRUE(signtest::same(mx(std::string("renewed/") + f), target + "/" + f)) << f;

    ASSERT_EQ(copy(1, 0, "", target + "/signCert.der", "renew-pw-1"), 0);
    for (const char* f : {"signCert.der", "signPri.key"})
        EXPECT_TRUE(signtest::same(mx(std::string("renewed/") + f), source + "/" + f)) << f;
    EXPECT_TRUE(signtest::same(fx("hong/kmCert.der"), source + "/kmCert.der")) << "the encryption pair stays";
}

// A given pair saved to a drive under the user's own /media/<login>.
TEST(Copy, SaveToDrive) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string drive = media.drive(mgmttest::loginName() + "/LABEL");
    const std::string cert = signtest::fxBytes("hong/signCert.der"), key = signtest::fxBytes("hong/signPri.key");
    ASSERT_EQ(VPL_Cert_FDD_Save(drive.c_str(), cert.data(), len(cert), key.data(), len(key)), 0);
    EXPECT_EQ(filesBelow(drive), under(kHongDir, {"signCert.der", "signPri.key"}));
    EXPECT_EQ(VPL_Cert_FDD_Save(drive.c_str(), nullptr, 0, key.data(), len(key)), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Cert_HDD_Copy(nullptr), VPL_ERR_INVALID_PARAM);
}

// By path: the four files go and the folder stays; CA certificates of the
// lists of types 5, 9 and 10 go (they have no key).
TEST(Delete, ByPathRemovesThePairsAndKeepsTheFolder) {
    signtest::Home home;
    const std::string dir = home.hong();
    EXPECT_EQ(deleteByPath(0, dir + "/signCert.der"), 0);
    EXPECT_EQ(filesBelow(home.path()), std::vector<std::string>{});
    struct stat st {};
    EXPECT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(deleteByPath(0, dir + "/signCert.der"), VPL_ERR_READ_FILE) << "nothing left to read";

    // A certificate whose key is already gone still goes.
    home.place("hong", {"signCert.der"});
    EXPECT_EQ(deleteByPath(1, dir + "/signCert.der"), 0);
    EXPECT_EQ(filesBelow(home.path()), std::vector<std::string>{});

    const std::map<std::string, std::string> cas = {{"NPKI/yessign/root.der", "ca.der"},
                                                    {"NPKI/yessign/inter.der", "inter.der"},
                                                    {"PPKI/Veridan/VERIDAN CA/veridan.der", "veridan-ca.der"}};
    for (const auto& [rel, file] : cas) {
        zqtest::makeDirs(home.path() + "/" + rel.substr(0, rel.rfind('/')));
        zqtest::writeFile(home.path() + "/" + rel, mxBytes(file));
    }
    for (int type : {5, 9, 10}) {
        SCOPED_TRACE(type);
        Out<> list;
        ASSERT_EQ(VPL_Get_CertList(type, nullptr, 0, nullptr, 0, nullptr, 0, list.ptr(), &list.n), 1);
        const std::string record = list.str();
        const size_t at = record.find("certpath^") + 9;
        const std::string value = record.substr(at, record.find('&', at) - at);
        Out<> base64;
        ASSERT_EQ(VPL_DataDecode(1, value.data(), len(value), base64.ptr(), &base64.n), 0);
        EXPECT_EQ(VPL_Cert_Delete(type, nullptr, 0, base64.p, base64.n), 0);
    }
    EXPECT_EQ(filesBelow(home.path()), std::vector<std::string>{});
}

// A key that cannot be removed (a directory of its name: unlink fails even
// for root) is reported, and the certificate stays beside it.
TEST(Delete, ByPathReportsWhatStays) {
    signtest::Home home;
    const std::string dir = home.place("hong", {"signCert.der", "kmCert.der", "kmPri.key"});
    zqtest::makeDirs(dir + "/signPri.key");
    EXPECT_EQ(deleteByPath(0, dir + "/signCert.der"), VPL_ERR_DELETE);
    EXPECT_EQ(filesBelow(home.path()), under(kHongDir, {"signCert.der"}));

    const std::string path = encoded(dir + "/signCert.der");
    const struct Case {
        const char* name;
        int rc, expected;
    } cases[] = {
        {"smart card", VPL_Cert_Delete(2, nullptr, 0, path.c_str(), len(path)), -1},
        {"token", VPL_Cert_Delete(3, nullptr, 0, path.c_str(), len(path)), -1},
        {"no path", VPL_Cert_Delete(0, nullptr, 0, nullptr, 0), VPL_ERR_PATH},
        {"decoded length not its own", VPL_UserCert_Delete((dir + "/signCert.der").c_str(), 5), 1052010},
        {"no decoded path", VPL_UserCert_Delete(nullptr, 0), VPL_ERR_PATH},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rc, c.expected) << c.name;
    EXPECT_EQ(filesBelow(home.path()), under(kHongDir, {"signCert.der"}));
}

TEST(Delete, MediaSet) {
    const struct Case {
        const char* media;
        int set;
    } cases[] = {{nullptr, 1},
                 {"", 1},
                 {"HDD", 1},
                 {"HDD|FDD", 3},
                 {"fdd", 2},
                 {"SCARD", 4},
                 {"USB", 8},
                 {"USBTOKEN", 8},
                 {"HD", 0},
                 {"XYZ", 0},
                 {"SCA|hdd|FDDX", 7},
                 {"|HDD|", 1},
                 {"HDD|FDD|SCARD|USB", 15}};
    for (const Case& c : cases) EXPECT_EQ(VPL_Delete_StorageType(c.media), c.set) << (c.media ? c.media : "NULL");
}

// By CA and serial over a home and two drives (one under the user's own
// /media/<login>): whole serials as numbers, the CA's O= whole; only the
// media named.
TEST(Delete, ByCaAndSerial) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string usb = media.drive("usb1");
    const std::string own = media.drive(mgmttest::loginName() + "/LABEL");
    const auto placed = placeUsers(home.path(), "serials.tsv", "NPKI", "delete");
    placeUsers(usb, "serials.tsv", "NPKI", "delete");
    placeUsers(own, "serials.tsv", "NPKI", "delete");

    struct Step {
        const char* ca;
        const char* media;
        const char* serial;
        int expected;
        std::vector<std::string> home, drives;  // labels gone after the step
    };
    const Step steps[] = {
        {"yessign", "HDD", "1", 0, {"y01"}, {}},
        {"yessign", "SCARD", "10", 0, {"y01"}, {}},
        {"yessign", "HDD|FDD", "8a", 0, {"y01", "y8a"}, {"y8a"}},
        {"YESSIGN", "FDD", "0010", 0, {"y01", "y8a"}, {"y8a", "y10"}},
        {"yessign", "HDD", "1A0", 0, {"y01", "y8a"}, {"y8a", "y10"}},
        {"yessign", "HDD", "zz", 0, {"y01", "y8a"}, {"y8a", "y10"}},
        {"SignKorea", "HDD|FDD", "01", 0, {"y01", "y8a", "s01"}, {"y8a", "y10", "s01"}},
        {"nosuch", "HDD|FDD", "1A", -1, {"y01", "y8a", "s01"}, {"y8a", "y10", "s01"}},
        {"yessign", "", "1a", 0, {"y01", "y8a", "s01", "y1a"}, {"y8a", "y10", "s01"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.ca) + " " + s.media + " " + s.serial);
        EXPECT_EQ(VPL_Delete_UserCert(s.ca, static_cast<int>(std::strlen(s.ca)), s.media,
                                      static_cast<int>(std::strlen(s.media)), s.serial,
                                      static_cast<int>(std::strlen(s.serial))),
                  s.expected);
        EXPECT_EQ(filesBelow(home.path()), allBut(placed, s.home));
        EXPECT_EQ(filesBelow(usb), allBut(placed, s.drives));
        EXPECT_EQ(filesBelow(own), allBut(placed, s.drives));
    }
    EXPECT_EQ(VPL_Delete_UserCert(nullptr, 0, "HDD", 3, "1", 1), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Delete_UserCert("yessign", 7, "HDD", 3, nullptr, 0), VPL_ERR_INVALID_PARAM);
}

// A file of a matched certificate that cannot go is reported; the signing
// pair stays (the encryption key goes first).
TEST(Delete, ByCaAndSerialReportsFailures) {
    signtest::Home home;
    const auto placed = placeUsers(home.path(), "serials.tsv", "NPKI", "delete");
    const std::string dir = home.path() + "/" + placed.at("y01").front().substr(0, placed.at("y01").front().rfind('/'));
    ASSERT_EQ(unlink((dir + "/kmPri.key").c_str()), 0);
    zqtest::makeDirs(dir + "/kmPri.key");
    EXPECT_EQ(VPL_Delete_UserCert("yessign", 7, "HDD", 3, "01", 2), VPL_ERR_DELETE);
    std::vector<std::string> left = allBut(placed, {"y01"});
    for (const auto& f : placed.at("y01"))
        if (f.find("kmPri.key") == std::string::npos) left.push_back(f);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(filesBelow(home.path()), left);
}

// The private CA's users by certificate: serial, issuer CN and subject all
// equal, on the home and a drive; a value that is no certificate fails.
TEST(Delete, ByCertificateOfThePrivateCa) {
    signtest::Home home;
    mgmttest::Media media;
    const std::string usb = media.drive("usb1");
    const auto placed = placeUsers(home.path(), "private.tsv", "PPKI/Veridan", "private");
    placeUsers(usb, "private.tsv", "PPKI/Veridan", "private");
    const std::string pem = mxBytes("private/p1/signCert.pem");
    EXPECT_EQ(VPL_Delete_UserCert("VERIDAN", 7, "HDD|FDD", 7, pem.data(), len(pem)), 0);
    EXPECT_EQ(filesBelow(home.path()), allBut(placed, {"p1"}));
    EXPECT_EQ(filesBelow(usb), allBut(placed, {"p1"}));
    EXPECT_EQ(VPL_Delete_UserCert("VERIDAN", 7, "HDD", 3, "not a certificate", 17), VPL_ERR_DELETE);
    EXPECT_EQ(filesBelow(home.path()), allBut(placed, {"p1"}));
}

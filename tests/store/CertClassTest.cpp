// Certificate classes and the store's folder names, for python3-cryptography
// certificates of every organisation group, key usage and self-signed.
#include <gtest/gtest.h>

#include "StoreHelpers.h"
#include "base/store_internal.hpp"

using storetest::cert;
using storetest::len;
using storetest::Out;

TEST(StoreCertClass, ClassesAndFoldersOfEveryCase) {
    const auto rows = storetest::certRows();
    ASSERT_GE(rows.size(), 40u);
    for (const auto& row : rows) {
        const std::string der = cert(row.file);
        EXPECT_EQ(VPL_Get_CertType(der.data(), len(der)), row.cls) << row.file;
        Out<> ca, subject;
        const int rc = VPL_Cert_PublicANDPrivate(der.data(), len(der), ca.ptr(), &ca.n, subject.ptr(), &subject.n);
        if (row.file.rfind("evil-", 0) == 0 && row.file != "evil-gov-cn.der") {
            // "O=..", "O=a/b" and "CN=../../x" would leave the store.
            EXPECT_EQ(rc, 1052009) << row.file;
            EXPECT_EQ(ca.p, nullptr);
            EXPECT_EQ(subject.p, nullptr);
            continue;
        }
        EXPECT_EQ(rc, row.cls) << row.file;
        EXPECT_EQ(ca.str(), row.caFolder) << row.file;
        EXPECT_EQ(subject.str(), row.subjectFolder) << row.file;
    }
}

TEST(StoreCertClass, PemAndUndecodableCertificates) {
    const auto pem = zqtest::run({"openssl", "x509", "-inform", "DER", "-in", storetest::certDir() + "/user-km.der"});
    ASSERT_EQ(pem.status, 0);
    EXPECT_EQ(VPL_Get_CertType(pem.output.data(), len(pem.output)), 2);
    // Bytes that do not decode cannot be classified: -1, never a code that
    // callers would take for a class.
    const std::string junk = "not a certificate";
    EXPECT_EQ(VPL_Get_CertType(junk.data(), len(junk)), -1);
    EXPECT_EQ(VPL_Get_CertType(nullptr, 10), -1);
    Out<> ca, subject;
    EXPECT_EQ(VPL_Cert_PublicANDPrivate(junk.data(), len(junk), ca.ptr(), &ca.n, subject.ptr(), &subject.n), -1);
    EXPECT_EQ(ca.p, nullptr);
    const std::string der = cert("user-sign.der");
    EXPECT_EQ(VPL_Cert_PublicANDPrivate(der.data(), len(der), nullptr, &ca.n, subject.ptr(), &subject.n), 1052011);
}

TEST(StoreCertClass, GovernmentNames) {
    struct Case {
        const char* file;
        int rc;
        const char* cn;
        int use, cls;
    } cases[] = {
        {"gov-class2.der", 0, "김공무", 3, 2},       {"gov-class1.der", 0, "이공무", 3, 1},
        {"gov-km.der", 0, "김공무", 4, 2},           {"org4-06.der", 0, "user", 0, 1},
        {"evil-gov-cn.der", 1052009, nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string der = cert(c.file);
        Out<> cn;
        int use = -7, cls = -7;
        EXPECT_EQ(VPL_Get_GPKI_CNNameOfSubjectDN(der.data(), len(der), cn.ptr(), &use, &cls), c.rc) << c.file;
        cn.n = cn.p ? static_cast<int>(std::strlen(cn.p)) : 0;
        if (c.rc != 0) {
            EXPECT_EQ(cn.p, nullptr);
            continue;
        }
        EXPECT_EQ(cn.str(), c.cn) << c.file;
        EXPECT_EQ(use, c.use) << c.file;
        EXPECT_EQ(cls, c.cls) << c.file;
    }
    const std::string junk = "junk";
    Out<> cn;
    int use = 0, cls = 0;
    EXPECT_EQ(VPL_Get_GPKI_CNNameOfSubjectDN(junk.data(), len(junk), cn.ptr(), &use, &cls), 1051024);
}

TEST(StoreCertClass, TextHelpers) {
    Out<> o;
    VPL_OEqual_Find("cn=a,o=yessign,c=kr", 19, o.ptr(), &o.n);
    EXPECT_EQ(o.str(), "yessign");
    VPL_OEqual_Find("cn=a, o=yessign,c=kr", 20, o.ptr(), &o.n);  // a blank before "o=": no organisation
    EXPECT_EQ(o.p, nullptr);
    VPL_OEqual_Find("cn=a,O=First,o=second", 21, o.ptr(), &o.n);
    EXPECT_EQ(o.str(), "First");
    VPL_OEqual_Find("cn=a,o=yessign,c=kr", 9, o.ptr(), &o.n);  // only the first len bytes count
    EXPECT_EQ(o.str(), "ye");
    VPL_OEqual_Find("o=x", 0, o.ptr(), &o.n);
    EXPECT_EQ(o.p, nullptr);

    // Upper-casing reads exactly len bytes (ASan catches more), ASCII only.
    const std::string mixed = "yesSign \xb0\xa1z";
    std::vector<char> exact(mixed.begin(), mixed.end());
    EXPECT_EQ(VPL_ToUpper(exact.data(), len(mixed), o.ptr(), &o.n), 0);
    EXPECT_EQ(o.str(), "YESSIGN \xb0\xa1Z");
    EXPECT_EQ(VPL_ToUpper(exact.data(), 3, o.ptr(), &o.n), 0);
    EXPECT_EQ(o.str(), "YES");
    EXPECT_EQ(VPL_ToUpper("", 0, o.ptr(), &o.n), 0);
    EXPECT_EQ(o.p, nullptr);
    EXPECT_EQ(VPL_ToUpper(nullptr, 3, o.ptr(), &o.n), 1052011);
    const std::string longText(5000, 'a');
    EXPECT_EQ(VPL_ToUpper(longText.c_str(), len(longText), o.ptr(), &o.n), 0);
    EXPECT_EQ(o.str(), std::string(5000, 'A'));

    EXPECT_EQ(VPL_Get_SubjectKeyidANDSerial("AB:CD:EF", 8, "0123", 4, o.ptr(), &o.n), 0);
    EXPECT_EQ(o.str(), "ABCDEF_0123");
    EXPECT_EQ(VPL_Get_SubjectKeyidANDSerial(":::", 3, "01", 2, o.ptr(), &o.n), 0);
    EXPECT_EQ(o.p, nullptr);
    EXPECT_EQ(o.n, 0);
    EXPECT_EQ(VPL_Get_SubjectKeyidANDSerial(nullptr, 3, "01", 2, o.ptr(), &o.n), 1052011);
    // Key identifiers longer than any fixed buffer are built whole.
    std::string id;
    for (int i = 0; i < 600; ++i) id += "AB:";
    EXPECT_EQ(VPL_Get_SubjectKeyidANDSerial(id.c_str(), len(id), "7F", 2, o.ptr(), &o.n), 0);
    EXPECT_EQ(o.n, 1200 + 3);
}

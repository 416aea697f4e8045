// CA kinds of the store's folder names and the registered extra name.
#include <gtest/gtest.h>

#include "StoreHelpers.h"

TEST(StoreCaKind, FolderNamesAndTheRegisteredOne) {
    struct Case {
        const char* name;
        int kind;
    } fixed[] = {
        {"yessign", 1},   {"SignKorea", 1},   {"CrossCert", 1}, {"kica", 1},       {"KISA", 1},   {"NCASign", 1},
        {"TradeSign", 1}, {"ZUNPASS", 1},     {"VERIDAN", 3},   {"veridan_ca", 3}, {"KICAX", -1}, {"KIC", -1},
        {"FOO", -1},      {"VERIDAN CA", -1}, {"", -1},         {"yessign/", -1},
    };
    for (const auto& c : fixed) EXPECT_EQ(VPL_Delete_CertType(c.name), c.kind) << c.name;
    EXPECT_EQ(VPL_Delete_CertType(nullptr), -1);

    EXPECT_EQ(VPL_Delete_CertType(".veridanCACerts"), -1);
    ASSERT_EQ(VPL_ADD_User_CertType(".veridanCACerts", 1), 0);
    EXPECT_EQ(VPL_Delete_CertType(".VERIDANCACERTS"), 1);
    EXPECT_EQ(VPL_Delete_CertType(".veridanCACert"), -1);
    // The name is held whole: a long name is not cut to a prefix that
    // other folders would share.
    const std::string longName(300, 'n');
    ASSERT_EQ(VPL_ADD_User_CertType(longName.c_str(), 7), 0);
    EXPECT_EQ(VPL_Delete_CertType(longName.c_str()), 7);
    EXPECT_EQ(VPL_Delete_CertType(longName.substr(0, 255).c_str()), -1);
    EXPECT_EQ(VPL_Delete_CertType(".veridanCACerts"), -1);  // replaced
    // A missing name changes nothing; the fixed names stay whatever is
    // registered.
    EXPECT_EQ(VPL_ADD_User_CertType(nullptr, 1), 1052011);
    EXPECT_EQ(VPL_ADD_User_CertType("", 1), 1052011);
    EXPECT_EQ(VPL_Delete_CertType(longName.c_str()), 7);
    ASSERT_EQ(VPL_ADD_User_CertType("yessign", 5), 0);
    EXPECT_EQ(VPL_Delete_CertType("yessign"), 1);
    ASSERT_EQ(VPL_ADD_User_CertType(".veridanCACerts", 1), 0);
}

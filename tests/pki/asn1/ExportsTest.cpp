// libzunPKI.so exports plain C names only: every C++ helper stays hidden.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "TestSupport.h"

TEST(PkiExports, OnlyFlatCNames) {
    const auto result = zqtest::run({"nm", "-D", "--defined-only", ZUNPKI_SO});
    ASSERT_EQ(result.status, 0);
    std::istringstream lines(result.output);
    std::string line;
    std::set<std::string> names;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string addr, kind, name;
        if (!(in >> addr >> kind >> name)) continue;
        if (kind != "T" && kind != "D" && kind != "B" && kind != "R") continue;
        EXPECT_NE(name.rfind("_Z", 0), 0u) << "C++ symbol exported: " << name;
        names.insert(name);
    }
    for (const char* expected : {"timegm64", "gmtime64_r", "localtime64_r", "mktime64", "asctime64_r"})
        EXPECT_TRUE(names.count(expected)) << expected;
}

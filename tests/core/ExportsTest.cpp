// libzunCore.so exports its VCL_ functions and the data its interface names,
// nothing else: no C++ helper and none of libzunPKI's objects.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "TestSupport.h"

TEST(CoreExports, OnlyVclNamesAndNamedData) {
    const std::set<std::string> data = {
        "VCLLastErrorCode", "g_loginfo",      "g_corelogfp",   "g_log_open_date",
        "g_lock_fd",        "g_gap_with_ntp", "g_ntplock_fd",  "kschangul",
        "symbol_ksc2uni",   "hanja_ksc2uni",  "unihan",        "symbol_uni2ksc_onebyte",
        "symbol_uni2ksc",   "hanja_uni2ksc",  "bytesFromUTF8", "offsetsFromUTF8",
        "firstByteMark",
    };
    const auto result = zqtest::run({"nm", "-D", "--defined-only", ZUNCORE_SO});
    ASSERT_EQ(result.status, 0);
    std::istringstream lines(result.output);
    std::string line;
    std::set<std::string> seen;
    int functions = 0;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string addr, kind, name;
        if (!(in >> addr >> kind >> name)) continue;
        if (kind != "T" && kind != "D" && kind != "B" && kind != "R") continue;
        if (name.rfind("__odr_asan", 0) == 0) continue;  // the address sanitizer's marks, in its builds only
        if (name.rfind("VCL_", 0) == 0) {
            EXPECT_EQ(kind, "T") << name;
            ++functions;
            continue;
        }
        EXPECT_TRUE(data.count(name)) << "unexpected export: " << kind << " " << name;
        seen.insert(name);
    }
    for (const auto& name : data) EXPECT_TRUE(seen.count(name)) << "missing export: " << name;
    EXPECT_GE(functions, 90);
}

// libzephaltpavix.so exports its VPL_ functions and the data its interface
// names, nothing else (strcasestr stays inside: glibc's is the process's).
// It needs only the system's libraries: every name it leaves undefined is
// one libzunCore exports or one of those libraries defines.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include <zephaltpavix/error.h>

#include "TestSupport.h"

namespace {

std::set<std::string> symbols(const std::string& file, const char* which) {
    const auto r = zqtest::run({"nm", "-D", which, file});
    EXPECT_EQ(r.status, 0) << file;
    std::set<std::string> names;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string a, b, c;
        if (!(in >> a >> b)) continue;
        std::string name = (in >> c) ? c : b;  // undefined lines have no address
        names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

}  // namespace

TEST(StoreExports, OnlyVplNamesAndNamedData) {
    const std::set<std::string> data = {
        "g_nCertCnt", "g_nSkIdInfoCnt", "g_CTX_Head", "tmp_User_keys", "Image_Verify_Cert",
        // issuance: the CMP client's entry points and the last drive issue's CN
        "selectedCertSubjectCN", "lpCMP_Init", "lpCMP_SetUseHSM", "lpCMP_SetBITAndHash", "lpCMP_GetCACert",
        "lpCMP_GetSignCert", "lpCMP_GetSignPri", "lpCMP_GetKMCert", "lpCMP_GetKMPri", "lpCMP_GetErrorString",
        "lpCMP_Final", "lpCMP_CertRequestNonUI", "lpCMP_CertUpdateNonUI", "lpCMP_CertReplaceNonUI",
        "lpCMP_PPKI_MAKE_PKCS10", "lpCMP_StringFree"};
    const auto result = zqtest::run({"nm", "-D", "--defined-only", ZEPHALTPAVIX_SO});
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
        if (name.rfind("__odr_asan", 0) == 0) continue;  // the address sanitizer's marks
        if (name.rfind("VPL_", 0) == 0) {
            EXPECT_EQ(kind, "T") << name;
            ++functions;
            continue;
        }
        EXPECT_TRUE(data.count(name)) << "unexpected export: " << kind << " " << name;
        seen.insert(name);
    }
    for (const auto& name : data) EXPECT_TRUE(seen.count(name)) << "missing export: " << name;
    EXPECT_GE(functions, 60);
    EXPECT_FALSE(symbols(ZEPHALTPAVIX_SO, "--defined-only").count("strcasestr"));
}

TEST(StoreExports, NeedsSystemLibrariesOnlyAndResolvesAgainstTheCore) {
    const auto dynamic = zqtest::run({"readelf", "-d", ZEPHALTPAVIX_SO});
    ASSERT_EQ(dynamic.status, 0);
    std::istringstream lines(dynamic.output);
    std::string line;
    std::set<std::string> needed;
    while (std::getline(lines, line)) {
        const auto open = line.find("(NEEDED)");
        if (open == std::string::npos) continue;
        const auto a = line.find('['), b = line.find(']');
        needed.insert(line.substr(a + 1, b - a - 1));
    }
    EXPECT_TRUE(needed.count("libc.so.6"));
    for (const auto& lib : needed) EXPECT_EQ(lib.rfind("libzun", 0), std::string::npos) << lib;

    // Every undefined name: exported by libzunCore, or defined by a library
    // the store needs (found where the loader finds it).
    std::set<std::string> provided = symbols(ZUNCORE_SO, "--defined-only");
    const auto ldd = zqtest::run({"ldd", ZEPHALTPAVIX_SO});
    ASSERT_EQ(ldd.status, 0);
    std::istringstream deps(ldd.output);
    while (std::getline(deps, line)) {
        const auto arrow = line.find("=> /");
        if (arrow == std::string::npos) continue;
        const std::string path = line.substr(arrow + 3, line.find(" (") - arrow - 3);
        std::string base = path.substr(path.rfind('/') + 1);
        if (!needed.count(base)) continue;
        const auto defined = symbols(path, "--defined-only");
        provided.insert(defined.begin(), defined.end());
    }
    const auto undefinedOut = zqtest::run({"nm", "-D", "--undefined-only", ZEPHALTPAVIX_SO});
    std::istringstream undefined(undefinedOut.output);
    int core = 0;
    while (std::getline(undefined, line)) {
        std::istringstream in(line);
        std::string kind, name;
        if (!(in >> kind >> name) || kind == "w") continue;  // weak references may stay unresolved
        name = name.substr(0, name.find('@'));
        EXPECT_TRUE(provided.count(name)) << "unresolved: " << name;
        if (name.rfind("VCL_", 0) == 0) ++core;
    }
    EXPECT_GT(core, 10);
}

TEST(StoreExports, LoadsBesideTheCore) {
    // This program links the shared library: its names resolved at load.
    EXPECT_NE(VPL_GetErrorString(0), nullptr);
}

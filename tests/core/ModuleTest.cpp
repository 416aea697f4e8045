// Files with an appended signature, against openssl dgst with PSS (SHA-256,
// salt 32) both ways, with keys made by make_module_fixtures.sh.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include <zunCore/module.h>

#include "CoreHelpers.h"

namespace {

const std::string& fixtures() {
    static const std::string dir = coretest::fixtureDir("make_module_fixtures.sh");
    return dir;
}

std::string pem(const std::string& name) { return zqtest::readFile(fixtures() + "/" + name); }

// openssl's verdict on the tail of a signed file (sigLen bytes) over its head.
bool opensslVerifies(const std::string& signedFile, size_t sigLen, const std::string& pub, zqtest::TempDir& dir) {
    const std::string all = zqtest::readFile(signedFile);
    if (all.size() < sigLen) return false;
    zqtest::writeFile(dir / "head", all.substr(0, all.size() - sigLen));
    zqtest::writeFile(dir / "tail", all.substr(all.size() - sigLen));
    const auto r =
        zqtest::run({"openssl", "dgst", "-sha256", "-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:32",
                     "-verify", fixtures() + "/" + pub, "-signature", dir / "tail", dir / "head"});
    return r.status == 0 && r.output == "Verified OK\n";
}

}  // namespace

TEST(Module, SignedFilesPassOpenssl) {
    ASSERT_FALSE(fixtures().empty());
    zqtest::TempDir dir("module");
    const std::string data = fixtures() + "/data.bin";
    const std::string input = zqtest::readFile(data);
    for (const auto& [bits, sigLen] :
         {std::pair{std::string("2048"), size_t{256}}, {std::string("3072"), size_t{384}}}) {
        const std::string out = dir / ("signed" + bits);
        ASSERT_EQ(VCL_sign_module(data.c_str(), out.c_str(), pem("key" + bits + ".pem").c_str()), 0) << bits;
        const std::string signedFile = zqtest::readFile(out);
        EXPECT_EQ(signedFile.size(), input.size() + sigLen) << bits;
        EXPECT_EQ(signedFile.substr(0, input.size()), input) << bits;
        EXPECT_TRUE(opensslVerifies(out, sigLen, "pub" + bits + ".pem", dir)) << bits;
        EXPECT_EQ(VCL_verify_module(out.c_str(), pem("rsapub" + bits + ".pem").c_str()), 0) << bits;
    }
    // openssl's signature verifies with ours; another key's does not.
    const std::string theirs = fixtures() + "/openssl-signed.bin";
    EXPECT_EQ(VCL_verify_module(theirs.c_str(), pem("rsapub2048.pem").c_str()), 0);
    EXPECT_EQ(coretest::rc(VCL_verify_module(theirs.c_str(), pem("rsapub-other.pem").c_str())), 0x1a010019u);
    // A 3072-bit key reads 384 bytes as the signature.
    EXPECT_EQ(coretest::rc(VCL_verify_module(theirs.c_str(), pem("rsapub3072.pem").c_str())), 0x1a010019u);
}

TEST(Module, ChangedBytesFail) {
    zqtest::TempDir dir("module");
    const std::string out = dir / "signed";
    ASSERT_EQ(VCL_sign_module((fixtures() + "/data.bin").c_str(), out.c_str(), pem("key2048.pem").c_str()), 0);
    const std::string good = zqtest::readFile(out);
    for (size_t at : {size_t{0}, size_t{19999}, good.size() - 256, good.size() - 1}) {
        std::string bad = good;
        bad[at] ^= 0x01;
        zqtest::writeFile(dir / "bad", bad);
        EXPECT_EQ(coretest::rc(VCL_verify_module((dir / "bad").c_str(), pem("rsapub2048.pem").c_str())), 0x1a010019u)
            << at;
    }
    // Truncated to the signature's length or below: no signed content.
    for (size_t len : {size_t{256}, size_t{255}, size_t{1}}) {
        zqtest::writeFile(dir / "short", good.substr(good.size() - len));
        EXPECT_EQ(coretest::rc(VCL_verify_module((dir / "short").c_str(), pem("rsapub2048.pem").c_str())), 0x1a010049u)
            << len;
    }
    EXPECT_EQ(coretest::rc(VCL_verify_module((dir / "absent").c_str(), pem("rsapub2048.pem").c_str())), 0x1a010049u);
    EXPECT_EQ(coretest::rc(VCL_verify_module(out.c_str(), "not a key")), 0x1a010023u);
    EXPECT_EQ(coretest::rc(VCL_verify_module(out.c_str(), nullptr)), 0x1a010023u);
}

TEST(Module, FailuresLeaveNoFile) {
    zqtest::TempDir dir("module");
    const std::string data = fixtures() + "/data.bin";
    zqtest::writeFile(dir / "empty", "");
    struct Case {
        const char* name;
        std::string in, key;
        unsigned code;
    } cases[] = {
        {"empty input", dir / "empty", pem("key2048.pem"), 0x1a010049u},
        {"absent input", dir / "absent", pem("key2048.pem"), 0x1a010049u},
        {"public key", data, pem("rsapub2048.pem"), 0x1a010023u},
        {"no key", data, "", 0x1a010023u},
        // d no longer inverts e: the self-check fails before anything is written.
        {"altered exponent", data, pem("key-bad-e.pem"), 0x1a010019u},
    };
    for (const auto& c : cases) {
        const std::string out = dir / "out";
        EXPECT_EQ(coretest::rc(VCL_sign_module(c.in.c_str(), out.c_str(), c.key.c_str())), c.code) << c.name;
        EXPECT_FALSE(zqtest::fileExists(out)) << c.name;
    }
    // A failure does not touch an output that was there.
    zqtest::writeFile(dir / "kept", "old");
    EXPECT_NE(VCL_sign_module(data.c_str(), (dir / "kept").c_str(), pem("key-bad-e.pem").c_str()), 0);
    EXPECT_EQ(zqtest::readFile(dir / "kept"), "old");
    // A folder that cannot be written: nothing is left in it.
    const std::string locked = dir / "locked";
    zqtest::makeDirs(locked);
    EXPECT_EQ(
        coretest::rc(VCL_sign_module(data.c_str(), (locked + "/no/such/out").c_str(), pem("key2048.pem").c_str())),
        0x1a01000du);
    // Signing in place replaces the file with the signed one.
    zqtest::writeFile(dir / "inplace", "content");
    EXPECT_EQ(VCL_sign_module((dir / "inplace").c_str(), (dir / "inplace").c_str(), pem("key2048.pem").c_str()), 0);
    EXPECT_EQ(zqtest::readFile(dir / "inplace").size(), 7u + 256u);
    EXPECT_EQ(VCL_verify_module((dir / "inplace").c_str(), pem("rsapub2048.pem").c_str()), 0);
    const auto listing = zqtest::run({"ls", "-A", dir.path()}).output;
    // No temporary file was left behind.
    EXPECT_EQ(listing, "empty\ninplace\nkept\nlocked\n");
}

// Fixtures and peers of the signing tests: the certificates and keys of
// make_signing_fixtures.sh, a temporary home (QUILLETEX_HOME) the users are
// placed in, and the verdicts of openssl and cms_peer.py.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "job/ParsingFunc.h"

namespace signfx {

inline const std::vector<std::string> kNoConf = {"OPENSSL_CONF=/dev/null"};
inline const char* kP12Password = "p12-pw-1";

inline const std::string& dir() {
    static zqtest::TempDir d("agentsignfx");
    static const bool made =
        zqtest::run({"sh", zqtest::sourceDir() + "/tests/agent/job/make_signing_fixtures.sh", d.path()}).status == 0;
    EXPECT_TRUE(made) << "make_signing_fixtures.sh failed";
    return d.path();
}
inline std::string fx(const std::string& name) { return dir() + "/" + name; }

inline std::string value(const std::string& name) {
    std::istringstream in(zqtest::readFile(fx("values.txt")));
    std::string n, v;
    while (in >> n >> v)
        if (n == name) return v;
    return {};
}
inline std::string password() { return value("password"); }
inline std::string zeroRandomHex() {
    std::string s = zqtest::readFile(fx("zero-random.txt"));
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

using zqtest::hex;

inline std::string base64Encode(const std::string& bytes) { return zqtest::run({"base64", "-w0"}, bytes).output; }
inline std::string base64Decode(const std::string& text) { return zqtest::run({"base64", "-d"}, text).output; }

inline bool quietly(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"});
    return zqtest::run(argv, {}, kNoConf).status == 0;
}

// The relay's server time, 1700000000, as its policy sends it.
inline const char* kServerTimeB64 = "MTcwMDAwMDAwMA==";

// The URL values and policy of a log-in job of the stub relay at relayUrl
// (session S1, request 77) with the nonce given; the test puts them in place.
inline void loginJob(StructURLValues& url, StructPolicyList& policy, const std::string& relayUrl,
                     const std::string& nonce) {
    url.url = relayUrl;
    url.SESSION = "JSESSIONID=S1";
    url.reqID = "77";
    url.policyName = "login";
    policy.Nonce = base64Encode(nonce);
    policy.ServerTime = URLEncodeText(kServerTimeB64);
}

// The post of a job that ended with ErrMsg code (request 77).
inline std::string errPost(const std::string& code) {
    return "Action=setResult&reqID=77&returnValue=ret%3d2%26retdata%3dErrMsg%253d" + code;
}

// The folder names the store files Hong under.
inline const char* kHongFolder = "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr";

// A temporary home with users placed in its NPKI tree.
class Home {
public:
    Home() { setenv("QUILLETEX_HOME", m_dir.path().c_str(), 1); }
    ~Home() { unsetenv("QUILLETEX_HOME"); }
    const std::string& path() const { return m_dir.path(); }
    // The fixture folder's signing pair under NPKI/<ca>/USER/<folder>; the
    // certificate's path.
    std::string place(const std::string& from, const std::string& folder = kHongFolder,
                      const std::string& ca = "yessign") {
        const std::string d = m_dir.path() + "/NPKI/" + ca + "/USER/" + folder;
        zqtest::makeDirs(d);
        for (const char* f : {"signCert.der", "signPri.key"}) {
            zqtest::writeFile(d + "/" + f, zqtest::readFile(fx(from + "/" + f)));
            chmod((d + "/" + f).c_str(), 0600);
        }
        return d + "/signCert.der";
    }

private:
    zqtest::TempDir m_dir{"agentsignhome"};
};

// What cms_peer.py says of a signed-data message.
struct CmsVerdict {
    std::map<std::string, std::string> v;
    bool verified() const { return v.count("verified") && v.at("verified") == "1"; }
    std::string at(const std::string& k) const { return v.count(k) ? v.at(k) : std::string("?"); }
};
inline CmsVerdict cmsPeer(const std::string& der, const std::string& certDer, const std::string& tmpDir) {
    const std::string file = tmpDir + "/peer.p7";
    zqtest::writeFile(file, der);
    const auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/agent/job/cms_peer.py", file, certDer});
    EXPECT_EQ(r.status, 0) << "cms_peer.py failed";
    CmsVerdict out;
    std::istringstream in(r.output);
    std::string k, val;
    while (in >> k >> val) out.v[k] = val;
    return out;
}

// openssl cms -verify of DER against the fixture CA: the content, or "!".
inline std::string cmsVerify(const std::string& der, const std::string& tmpDir) {
    const std::string file = tmpDir + "/verify.p7";
    zqtest::writeFile(file, der);
    const auto r =
        zqtest::run({"sh", "-c", "openssl cms -verify -inform DER -binary -CAfile \"$0\" -in \"$1\" 2>/dev/null",
                     fx("ca.pem"), file},
                    {}, kNoConf);
    return r.status == 0 ? r.output : "!";
}

// openssl dgst -sha1 -verify of a signature over data with the certificate's key.
inline bool rsaSha1Verifies(const std::string& sig, const std::string& data, const std::string& certDer,
                            const std::string& tmpDir) {
    zqtest::writeFile(tmpDir + "/sig.bin", sig);
    zqtest::writeFile(tmpDir + "/data.bin", data);
    const auto pub =
        zqtest::run({"openssl", "x509", "-inform", "DER", "-in", certDer, "-noout", "-pubkey"}, {}, kNoConf);
    zqtest::writeFile(tmpDir + "/pub.pem", pub.output);
    return quietly({"openssl", "dgst", "-sha1", "-verify", tmpDir + "/pub.pem", "-signature", tmpDir + "/sig.bin",
                    tmpDir + "/data.bin"});
}

inline std::string certPem(const std::string& certDer) {
    return zqtest::run({"openssl", "x509", "-inform", "DER", "-in", certDer}, {}, kNoConf).output;
}

// SEED-CBC decryption by openssl of the relay's Base64 text.
inline std::string seedDecrypt(const std::string& base64, const std::string& key, const std::string& iv) {
    return zqtest::run({"sh", "-c",
                        "base64 -d | openssl enc -d -seed-cbc -provider legacy -provider default -K \"$0\" -iv \"$1\"",
                        hex(key), hex(iv)},
                       base64, kNoConf)
        .output;
}

}  // namespace signfx

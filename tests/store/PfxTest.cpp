// PKCS#12 export read by openssl pkcs12, NSS pk12util and
// python3-cryptography; import of openssl pkcs12 -export files into a
// temporary home and drive, where store_layout.py says, the stored keys
// opened without our library (independent_decrypt.py, openssl pkcs8).
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "SignHelpers.h"

using signtest::encoded;
using signtest::fx;
using signtest::fxBytes;
using signtest::quietly;
using storetest::len;
using storetest::Out;

namespace {

const char kPw[] = "hong-pw-1";
const std::vector<std::string> kNoConf = {"OPENSSL_CONF=/dev/null"};

// Where store_layout.py files a fixture certificate: (certificate, key)
// relative to the base.
std::pair<std::string, std::string> layout(const std::string& cert, int use) {
    const auto r = zqtest::run(
        {zqtest::kPython, zqtest::sourceDir() + "/tests/store/store_layout.py", fx(cert), std::to_string(use)});
    std::istringstream in(r.output);
    std::string cls, c, k;
    std::getline(in, cls, '\t');
    std::getline(in, c, '\t');
    std::getline(in, k);
    return {c, k};
}

std::string find(const std::string& dir) { return zqtest::run({"sh", "-c", "cd \"$0\" && find . | sort", dir}).output; }

// python3-cryptography's reading: the key, whose public key is the one of
// the certificate beside it, and the count of certificates.
std::string pythonReads(const std::string& file, const std::string& pw) {
    return zqtest::run({zqtest::kPython, "-c",
                        "import sys\n"
                        "from cryptography.hazmat.primitives import serialization as s\n"
                        "from cryptography.hazmat.primitives.serialization import pkcs12\n"
                        "k, c, more = pkcs12.load_key_and_certificates(open(sys.argv[1],'rb').read(), "
                        "sys.argv[2].encode())\n"
                        "f = s.PublicFormat.SubjectPublicKeyInfo\n"
                        "same = k.public_key().public_bytes(s.Encoding.DER, f) == "
                        "c.public_key().public_bytes(s.Encoding.DER, f)\n"
                        "print('key-matches' if same else 'key-differs', 1 + len(more))\n",
                        file, pw})
        .output;
}

// The private numbers of a key file as python reads them: the PEM fixture,
// or the stored key decrypted by independent_decrypt.py.
std::string numbersOfPem(const std::string& pem) {
    return zqtest::run({zqtest::kPython, "-c",
                        "import sys\nfrom cryptography.hazmat.primitives import serialization as s\n"
                        "print(s.load_pem_private_key(open(sys.argv[1],'rb').read(), None).private_numbers().d)",
                        pem})
        .output;
}
std::string numbersOfStored(const std::string& key, const std::string& pw) {
    return zqtest::run(
               {"sh", "-c",
                "\"$0\" \"$1\" \"$2\" 2>/dev/null | \"$3\" -c 'import sys\nfrom cryptography.hazmat.primitives import "
                "serialization as s\nprint(s.load_der_private_key(sys.stdin.buffer.read(), "
                "None).private_numbers().d)' 2>/dev/null",
                zqtest::sourceDir() + "/tests/pki/pkcs/independent_decrypt.py", key, pw, zqtest::kPython})
        .output;
}

class StorePfx : public ::testing::Test {
protected:
    void TearDown() override { VPL_Cleanup(); }
    // An openssl pkcs12 -export file of a fixture pair.
    std::string opensslPfx(const std::string& cert, const std::string& key, const std::vector<std::string>& opts,
                           const std::string& name) {
        const std::string pem = m_tmp / (name + ".crt");
        zqtest::writeFile(pem, zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx(cert)}, {}, kNoConf).output);
        const std::string out = m_tmp / (name + ".p12");
        std::vector<std::string> argv = {
            "openssl", "pkcs12", "-export", "-in", pem, "-inkey", fx(key), "-passout", std::string("pass:") + kPw,
            "-out",    out};
        argv.insert(argv.end(), opts.begin(), opts.end());
        EXPECT_TRUE(quietly(argv, kNoConf));
        return out;
    }
    int exportFile(const std::string& enc, const std::string& target, const char* pw = kPw, int type = 0,
                   const char* drive = nullptr) {
        return VPL_Set_PFXFile(type, drive, drive ? static_cast<int>(std::strlen(drive)) : 0, enc.c_str(), len(enc),
                               target.c_str(), len(target), pw, static_cast<int>(std::strlen(pw)));
    }
    int importFile(int type, const std::string& file, const char* drive = nullptr, const char* pw = kPw) {
        return VPL_Get_Domain_PFXFile(type, "VERIDAN", 7, file.c_str(), len(file), drive,
                                      drive ? static_cast<int>(std::strlen(drive)) : 0, 0, 0, pw,
                                      static_cast<int>(std::strlen(pw)));
    }
    std::string shroudedBags(const std::string& file) {
        const auto r = zqtest::run(
            {"sh", "-c", "openssl pkcs12 -info -noout -passin pass:\"$1\" -in \"$0\" 2>&1", file, kPw}, {}, kNoConf);
        size_t n = 0;
        for (size_t at = r.output.find("Shrouded Keybag"); at != std::string::npos;
             at = r.output.find("Shrouded Keybag", at + 1))
            ++n;
        return std::to_string(r.status) + ":" + std::to_string(n);
    }

    signtest::Home m_home;
    zqtest::TempDir m_tmp{"pfxtmp"};
};

}  // namespace

TEST_F(StorePfx, ExportReadsInOpensslNssAndPython) {
    const std::string dir = m_home.hong();
    const std::string enc = encoded(dir + "/signCert.der");
    const std::string target = m_tmp / "hong.p12";
    ASSERT_EQ(exportFile(enc, target), 0);
    EXPECT_EQ(signtest::modeOf(target), 0600u);
    EXPECT_EQ(shroudedBags(target), "0:2");  // the signing and the KM key
    EXPECT_EQ(pythonReads(target, kPw), "key-matches 2\n");

    zqtest::TempDir nss("pfxnss");
    ASSERT_TRUE(quietly({"certutil", "-N", "-d", "sql:" + nss.path(), "--empty-password"}));
    const auto listed = zqtest::run({"pk12util", "-l", target, "-d", "sql:" + nss.path(), "-W", kPw});
    EXPECT_EQ(listed.status, 0) << listed.output;
    size_t keys = 0;
    for (size_t at = listed.output.find("Key(shrouded)"); at != std::string::npos;
         at = listed.output.find("Key(shrouded)", at + 1))
        ++keys;
    EXPECT_EQ(keys, 2u) << listed.output;

    // Without the KM pair, one key; a buffer reads the same.
    std::filesystem::remove(dir + "/kmCert.der");
    const std::string single = m_tmp / "single.p12";
    ASSERT_EQ(exportFile(enc, single), 0);
    EXPECT_EQ(shroudedBags(single), "0:1");
    Out<void> buf;
    ASSERT_EQ(VPL_Set_PFXBuf(0, enc.c_str(), len(enc), kPw, 9, buf.ptr(), &buf.n), 0);
    const std::string fromBuf = m_tmp / "buf.p12";
    zqtest::writeFile(fromBuf, buf.str());
    EXPECT_EQ(pythonReads(fromBuf, kPw), "key-matches 1\n");
}

TEST_F(StorePfx, ExportRefusals) {
    const std::string enc = encoded(m_home.hong() + "/signCert.der");
    const std::string target = m_tmp / "refused.p12";
    EXPECT_EQ(exportFile(enc, target, "hong-pw-2"), 1051027);
    EXPECT_EQ(exportFile(enc, target, kPw, 5), 1052008);
    EXPECT_EQ(exportFile(enc, target, kPw, 5, "1234"), -1);
    EXPECT_EQ(exportFile(enc, target, kPw, 13), -1);
    EXPECT_EQ(exportFile(enc, target, kPw, -1), -1);
    EXPECT_EQ(exportFile(enc, target, kPw, 2), -1);  // no key a domain caches
    EXPECT_EQ(VPL_Set_PFXFile(0, nullptr, 0, enc.c_str(), len(enc) - 1, target.c_str(), len(target), kPw, 9), 1052009);
    EXPECT_EQ(VPL_Set_PFXFile(0, nullptr, 0, enc.c_str(), len(enc), target.c_str(), len(target), kPw, 8), 1052013);
    EXPECT_FALSE(zqtest::fileExists(target));
    // A folder that does not exist: nothing written, 1052031.
    const std::string nowhere = m_tmp / "missing/out.p12";
    EXPECT_EQ(exportFile(enc, nowhere), 1052031);
    Out<void> buf;
    EXPECT_EQ(VPL_Set_PFXBuf(4, enc.c_str(), len(enc), kPw, 9, buf.ptr(), &buf.n), -1);
    EXPECT_EQ(find(m_tmp.path()), ".\n");
}

TEST_F(StorePfx, ImportLandsWhereTheLayoutSays) {
    const auto [certRel, keyRel] = layout("hong/signCert.der", 3);
    struct {
        const char* what;
        std::vector<std::string> opts;
    } variants[] = {{"default", {}},
                    {"3DES, SHA-1 MAC", {"-keypbe", "PBE-SHA1-3DES", "-certpbe", "PBE-SHA1-3DES", "-macalg", "sha1"}}};
    for (const auto& v : variants) {
        const std::string p12 = opensslPfx("hong/signCert.der", "hong/sign.pem", v.opts, "hong");
        zqtest::TempDir home("pfxhome"), media("pfxmedia");
        setenv("QUILLETEX_HOME", home.path().c_str(), 1);
        setenv("QUILLETEX_MEDIA_ROOT", media.path().c_str(), 1);
        const std::string drive = media / "media/usb1";
        zqtest::makeDirs(drive);
        for (const std::string& base : {home.path(), drive}) {
            ASSERT_EQ(importFile(base == drive ? 1 : 0, p12, base == drive ? drive.c_str() : nullptr), 0) << v.what;
            EXPECT_EQ(zqtest::readFile(base + "/" + certRel), fxBytes("hong/signCert.der")) << v.what;
            EXPECT_EQ(signtest::modeOf(base + "/" + keyRel), 0600u);
            const std::string d = numbersOfStored(base + "/" + keyRel, kPw);
            EXPECT_FALSE(d.empty()) << v.what;
            EXPECT_EQ(d, numbersOfPem(fx("hong/sign.pem"))) << v.what;
        }
        unsetenv("QUILLETEX_MEDIA_ROOT");
        setenv("QUILLETEX_HOME", m_home.path().c_str(), 1);
    }
}

TEST_F(StorePfx, GovernmentKeyIsKeptUnderAria) {
    const std::string p12 = opensslPfx("gov/Lee001_sig.cer", "gov/sign.pem", {}, "gov");
    ASSERT_EQ(importFile(0, p12), 0);
    const auto [certRel, keyRel] = layout("gov/Lee001_sig.cer", 3);
    EXPECT_EQ(certRel, "GPKI/Certificate/class2/Lee001_sig.cer");
    EXPECT_EQ(zqtest::readFile(m_home.path() + "/" + certRel), fxBytes("gov/Lee001_sig.cer"));
    // PBES2 with ARIA-CBC under the identifier the Korean stores use
    // (1.2.410.100001.1.20, which openssl pkcs8 does not know): openssl's
    // kdf and enc open it through independent_decrypt.py.
    const std::string key = m_home.path() + "/" + keyRel;
    EXPECT_NE(zqtest::run({"openssl", "asn1parse", "-inform", "DER", "-in", key}, {}, kNoConf)
                  .output.find("1.2.410.100001.1.20"),
              std::string::npos);
    EXPECT_EQ(numbersOfStored(key, kPw), numbersOfPem(fx("gov/sign.pem")));
    EXPECT_EQ(numbersOfStored(key, "hong-pw-2"), "");
}

TEST_F(StorePfx, ImportRefusalsWriteNothing) {
    const std::string p12 = opensslPfx("hong/signCert.der", "hong/sign.pem", {}, "hong");
    const std::string before = find(m_home.path());
    EXPECT_EQ(importFile(0, p12, nullptr, "hong-pw-2"), 1052035);
    EXPECT_EQ(importFile(2, m_tmp / "no-such.p12"), -1);
    EXPECT_EQ(importFile(12, p12), -1);
    EXPECT_EQ(importFile(1, p12), 1052009);  // a drive is needed
    EXPECT_EQ(importFile(0, m_tmp / "no-such.p12"), 1052030);
    EXPECT_EQ(VPL_Get_Domain_PFXFile(0, "VERIDAN", 7, p12.c_str(), len(p12) + 1, nullptr, 0, 0, 0, kPw, 9), 1052009);
    EXPECT_EQ(VPL_Get_Domain_PFXFile(0, "VERIDAN", 7, p12.c_str(), len(p12), nullptr, 0, 0, 0, kPw, 2), 1052013);
    // A file without a key stores nothing.
    const std::string certOnly = m_tmp / "cert-only.p12";
    ASSERT_TRUE(quietly({"openssl", "pkcs12", "-export", "-nokeys", "-in", m_tmp / "hong.crt", "-passout",
                         std::string("pass:") + kPw, "-out", certOnly},
                        kNoConf));
    EXPECT_EQ(importFile(0, certOnly), 1052035);
    EXPECT_EQ(VPL_Get_PFXBuffer(certOnly.c_str(), len(certOnly), kPw, 9), 1052035);
    const std::string junk = "not a pkcs#12 file";
    EXPECT_EQ(VPL_Get_PFXBuf(junk.data(), len(junk), 0, nullptr, kPw, 9), 1052035);
    EXPECT_EQ(VPL_Get_PFXBuf(nullptr, 0, 0, nullptr, kPw, 9), 1052011);
    EXPECT_EQ(find(m_home.path()), before);
}

TEST_F(StorePfx, ImportReportsTheFirstFailure) {
    // Our export puts the signing pair first, then the KM pair.
    const std::string dir = m_home.hong();
    const std::string enc = encoded(dir + "/signCert.der");
    Out<void> buf;
    ASSERT_EQ(VPL_Set_PFXBuf(0, enc.c_str(), len(enc), kPw, 9, buf.ptr(), &buf.n), 0);

    PKI_STR_INFO* entries = nullptr;
    int count = 0;
    ASSERT_EQ(VPL_PFXBufToCert(buf.p, buf.n, kPw, 9, &entries, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(entries[0].cert_use, 3);
    EXPECT_EQ(entries[1].cert_use, 4);
    VCL_PK1_Free_PKISTRINFOS(entries, count);
    free(entries);

    // A folder where the signing certificate goes: that pair fails, the KM
    // pair is stored all the same, and the result says so.
    zqtest::TempDir drive("pfxdrive");
    const auto [certRel, keyRel] = layout("hong/signCert.der", 3);
    const auto [kmRel, kmKeyRel] = layout("hong/kmCert.der", 4);
    zqtest::makeDirs(drive / certRel);
    EXPECT_EQ(VPL_Get_FDD_PFXBuf(buf.p, buf.n, drive.path().c_str(), kPw, 9), 1052031);
    EXPECT_EQ(zqtest::readFile(drive / kmRel), fxBytes("hong/kmCert.der"));
    EXPECT_TRUE(zqtest::fileExists(drive / kmKeyRel));
    EXPECT_FALSE(zqtest::fileExists(drive / keyRel));
    // Both stored: 0.
    std::filesystem::remove(drive / certRel);
    EXPECT_EQ(VPL_Get_FDD_PFXBuf(buf.p, buf.n, drive.path().c_str(), kPw, 9), 0);
    EXPECT_EQ(zqtest::readFile(drive / certRel), fxBytes("hong/signCert.der"));
}

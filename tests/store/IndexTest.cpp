// The index-based API over a temporary home's NPKI tree: the header text
// (EUC-KR, read through iconv), operations by index checked by openssl and
// the KISA computation, deletion of an entry's folder, identity blobs
// python and openssl enc made, and the PKCS#7 armour.
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "SignHelpers.h"
#include "base/store_internal.hpp"

using signtest::fx;
using signtest::fxBytes;
using signtest::quietly;
using storetest::len;
using storetest::Out;

namespace {

const char kPw[] = "hong-pw-1";

std::string utf8(const std::string& euc) { return storetest::iconvText(euc, "EUC-KR", "UTF-8").value_or("?"); }

class StoreIndex : public ::testing::Test {
protected:
    void SetUp() override {
        VPL_Cleanup();
        m_hong = m_home.hong();
        m_long = m_home.place("long", {"signCert.der", "signPri.key"}, "cn=Long,o=yessign,c=kr");
        // A certificate without its key is no entry.
        m_home.place("hong", {"signCert.der"}, "cn=Keyless,o=yessign,c=kr");
    }
    void TearDown() override { VPL_Cleanup(); }
    int header(std::string& text, int type = 0) {
        char* h = nullptr;
        const int n = VPL_GetAllCertHeader(type, 0, m_home.path().c_str(), &h);
        text = h ? h : "";
        VPL_Free(h, h ? static_cast<int>(std::strlen(h)) : 0);
        return n;
    }

    signtest::Home m_home;
    std::string m_hong, m_long;
};

}  // namespace

TEST_F(StoreIndex, NothingBeforeAHeader) {
    Out<> a, b;
    EXPECT_EQ(VPL_GetCertPkey(0, a.ptr(), &a.n, b.ptr(), &b.n), 1051026);
    EXPECT_EQ(VPL_GetLastError(), 1051026);
    EXPECT_EQ(VPL_ChangePasswd(0, kPw, "x"), 1051026);
    EXPECT_EQ(VPL_CheckPOP(0, kPw, 9), 1051026);
    EXPECT_EQ(VPL_GetPK8Random(0, kPw, a.ptr(), &a.n), 1051026);
    EXPECT_EQ(VPL_CheckVID(0, kPw, "1"), 1051026);
    EXPECT_EQ(VPL_GetPEMCert(0, 0, a.ptr(), &a.n), 1051026);
    char cert[VPL_PATH_MAX], key[VPL_PATH_MAX];
    EXPECT_EQ(VPL_GetCertPkeyPath(0, cert, key), -1);
    EXPECT_EQ(VPL_DeleteCert(0), -1);
    EXPECT_TRUE(zqtest::fileExists(m_hong + "/signCert.der"));
}

TEST_F(StoreIndex, HeaderRecordsAreWholeAndTheFetchSetsTheCount) {
    std::string text;
    ASSERT_EQ(header(text), 2);
    EXPECT_EQ(g_nCertCnt, 2);
    const std::string tail = "&issuer=금융결제원&type=범용(개인)&expire=2034-06-30&expired=0|";
    EXPECT_EQ(utf8(text), "index=0&user=Hong" + tail + "index=1&user=" + std::string(300, 'L') + tail);

    // Another medium, or no base: nothing, and the count follows.
    EXPECT_EQ(header(text, 1), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(g_nCertCnt, 0);
    char* h = nullptr;
    EXPECT_EQ(VPL_GetAllCertHeader(0, 0, nullptr, &h), -2);
    EXPECT_EQ(VPL_GetLastError(), 1051001);
    EXPECT_EQ(VPL_FetchCertList(0, 0, m_home.path().c_str()), 2);
    EXPECT_EQ(g_nCertCnt, 2);
    EXPECT_EQ(VPL_CountCerts(0, 0, (m_home.path() + "/NPKI").c_str()), 3);  // the keyless one counts
    EXPECT_EQ(VPL_CountCerts(-1, 0, m_home.path().c_str()), 0);
}

TEST_F(StoreIndex, OperationsByIndex) {
    std::string text;
    ASSERT_EQ(header(text), 2);
    Out<> cert, key;
    ASSERT_EQ(VPL_GetCertPkey(0, cert.ptr(), &cert.n, key.ptr(), &key.n), 0);
    EXPECT_EQ(cert.str(), fxBytes("hong/signCert.der"));
    EXPECT_EQ(key.str(), fxBytes("hong/signPri.key"));
    EXPECT_EQ(VPL_GetLastError(), 0);

    char certPath[VPL_PATH_MAX], keyPath[VPL_PATH_MAX];
    std::memset(certPath, 'X', sizeof certPath);
    std::memset(keyPath, 'X', sizeof keyPath);
    ASSERT_EQ(VPL_GetCertPkeyPath(0, certPath, keyPath), 0);
    EXPECT_EQ(std::string(certPath), m_hong + "/signCert.der");
    EXPECT_EQ(std::string(keyPath), m_hong + "/signPri.key");
    EXPECT_EQ(VPL_GetCertPkeyPath(2, certPath, keyPath), -1);

    char* dn = nullptr;
    ASSERT_EQ(VPL_GetsubjectDN(0, &dn), 0);
    EXPECT_EQ(utf8(dn), "cn=Hong,ou=KFB,ou=personal4IB,o=yessign,c=kr");
    VPL_Free(dn, static_cast<int>(std::strlen(dn)));

    EXPECT_EQ(VPL_CheckPOP(0, kPw, 9), 0);
    EXPECT_EQ(VPL_CheckPOP(0, "hong-pw-2", 9), 1051034);
    Out<> random;
    ASSERT_EQ(VPL_GetPK8Random(0, kPw, random.ptr(), &random.n), 0);
    EXPECT_EQ(signtest::hex(random.str()), signtest::value("random"));
    EXPECT_EQ(VPL_GetPK8Random(0, nullptr, random.ptr(), &random.n), 1051035);
    EXPECT_EQ(VPL_CheckVID(0, kPw, signtest::value("idn").c_str()), 0);
    EXPECT_EQ(VPL_CheckVID(0, kPw, "8001011234568"), 1051030);
    EXPECT_EQ(VPL_CheckVID(0, kPw, nullptr), 1051035);

    Out<> pem;
    ASSERT_EQ(VPL_GetPEMCert(0, 0, pem.ptr(), &pem.n), 0);
    EXPECT_EQ(pem.str(), zqtest::run({"openssl", "x509", "-inform", "DER", "-in", fx("hong/signCert.der")}).output);

    EXPECT_EQ(VPL_ChangePasswd(0, "hong-pw-2", "new-pw-3"), 1051027);
    ASSERT_EQ(VPL_ChangePasswd(0, kPw, "new-pw-3"), 0);
    EXPECT_EQ(signtest::modeOf(m_hong + "/signPri.key"), 0600u);
    EXPECT_TRUE(quietly({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/pkcs/independent_decrypt.py",
                         m_hong + "/signPri.key", "new-pw-3"}));
    EXPECT_EQ(VPL_CheckPOP(0, "new-pw-3", 8), 0);
}

TEST_F(StoreIndex, DeleteRemovesTheEntryFolderOnly) {
    std::string text;
    ASSERT_EQ(header(text), 2);
    // A folder inside the entry's is not entered: its removal fails, and
    // says so.
    zqtest::makeDirs(m_long + "/inner");
    zqtest::writeFile(m_long + "/inner/keep", "x");
    EXPECT_EQ(VPL_DeleteCert(1), 1052064);
    EXPECT_TRUE(zqtest::fileExists(m_long + "/inner/keep"));
    EXPECT_FALSE(zqtest::fileExists(m_long + "/signCert.der"));

    ASSERT_EQ(VPL_DeleteCert(0), 0);
    EXPECT_FALSE(std::filesystem::exists(m_hong));
    EXPECT_TRUE(zqtest::fileExists(m_home.path() + "/NPKI/yessign/USER/cn=Keyless,o=yessign,c=kr/signCert.der"));
    EXPECT_EQ(VPL_DeleteCert(0), -2);  // gone: the block keeps the entry
}

TEST_F(StoreIndex, IdentityBlobs) {
    // "<Base64 of the DER key>||<certificate>" under SEED-CBC, the key
    // SHA-1(keySource) (or SHA-1(SHA-1(secret))), the IV SHA-1(secret).
    const auto blob = [&](const std::string& keySource, const std::string& secret, const std::string& plain) {
        const auto r = zqtest::run(
            {zqtest::kPython, "-c",
             "import hashlib, subprocess, sys\n"
             "ks, secret, plain = sys.argv[1], sys.argv[2].encode(), sys.stdin.buffer.read()\n"
             "key = hashlib.sha1(ks.encode() if ks else hashlib.sha1(secret).digest()).digest()[:16]\n"
             "iv = hashlib.sha1(secret).digest()[:16]\n"
             "sys.stdout.buffer.write(subprocess.run(['openssl', 'enc', '-seed-cbc', '-provider', 'legacy', "
             "'-provider', 'default', '-K', key.hex(), '-iv', iv.hex()], input=plain, check=True, "
             "capture_output=True).stdout)\n",
             keySource, secret},
            plain, {"OPENSSL_CONF=/dev/null"});
        EXPECT_EQ(r.status, 0);
        return r.output;
    };
    const std::string keyDer =
        zqtest::run({"openssl", "pkcs8", "-topk8", "-nocrypt", "-in", fx("hong/sign.pem"), "-outform", "DER"}).output;
    Out<> keyB64;
    ASSERT_EQ(VPL_DataEncode(0, keyDer.data(), len(keyDer), keyB64.ptr(), &keyB64.n), 0);
    const std::string plain = keyB64.str() + "||" + fxBytes("hong/signCert.der");
    const auto check = [](const std::string& data, const char* keySource, const char* secret) {
        return VPL_DecryptAndSave(data.data(), len(data), keySource, secret);
    };
    EXPECT_EQ(check(blob("8001011234567", "auth-code-77", plain), "8001011234567", "auth-code-77"), 0);
    EXPECT_EQ(check(blob("", "auth-code-77", plain), nullptr, "auth-code-77"), 0);
    EXPECT_NE(check(blob("", "auth-code-77", plain), nullptr, "auth-code-78"), 0);
    EXPECT_NE(check(blob("8001011234567", "auth-code-77", plain), "8001011234568", "auth-code-77"), 0);
    EXPECT_EQ(check(blob("k", "s", keyB64.str()), "k", "s"), 1051021);
    EXPECT_EQ(check(blob("k", "s", "QUJD||cert"), "k", "s"), 1051037);
    EXPECT_EQ(check(blob("k", "s", "!!||cert"), "k", "s"), 1051023);
    EXPECT_EQ(check("short", "k", "s"), 1051020);
    EXPECT_EQ(check(plain, "k", nullptr), 1051020);
}

TEST(StoreIndexText, Pkcs7ArmourAndFilters) {
    char out[64];
    EXPECT_EQ(VPL_CutPEMPKCS7Header("-----BEGIN PKCS7-----QUJD-----END PKCS7-----", out, sizeof out), 0);
    EXPECT_STREQ(out, "QUJD");
    EXPECT_EQ(VPL_CutPEMPKCS7Header("QUJD-----END PKCS7-----", out, sizeof out), 0);
    EXPECT_STREQ(out, "QUJD");
    EXPECT_EQ(VPL_CutPEMPKCS7Header("-----BEGIN PKCS7-----QUJD", out, sizeof out), 0);
    EXPECT_STREQ(out, "QUJD");
    EXPECT_EQ(VPL_AddPEMPKCS7Header("QUJD", out, sizeof out), 0);
    EXPECT_STREQ(out, "-----BEGIN PKCS7-----QUJD-----END PKCS7-----");
    // The room is the caller's: what does not fit is refused, not cut.
    std::memset(out, 'X', sizeof out);
    EXPECT_EQ(VPL_AddPEMPKCS7Header(std::string(30, 'A').c_str(), out, 64), -1);
    EXPECT_EQ(out[0], 'X');
    EXPECT_EQ(VPL_CutPEMPKCS7Header("QUJD", out, 4), -1);
    EXPECT_EQ(VPL_CutPEMPKCS7Header("QUJD", out, 5), 0);

    const std::string cert = fxBytes("hong/signCert.der");
    const zstore::InfoPtr info = zstore::readInfo(cert.data(), len(cert));
    ASSERT_TRUE(info);
    const std::string serial = "SerialNumber=" + std::string(info->serialDec);
    EXPECT_EQ(VPL_filterCert(nullptr, info.get()), 1);
    EXPECT_EQ(VPL_filterCert("SubjectDN=cn=HONG", info.get()), 1);
    EXPECT_EQ(VPL_filterCert(("IssuerDN=yessignca|" + serial).c_str(), info.get()), 1);
    EXPECT_EQ(VPL_filterCert("IssuerDN=KICA", info.get()), 0);
    EXPECT_EQ(VPL_filterCert("SubjectDN=x", nullptr), 0);
    EXPECT_EQ(VPL_IsExpiredCert(info.get()), 0);
    EXPECT_EQ(VPL_IsExpiredCert(nullptr), -1);
    EXPECT_EQ(VPL_SaveCertPkey(0, 0, 0, cert.data(), len(cert), nullptr, 0), 0);
    EXPECT_EQ(VPL_SaveCertPkey(0, 0, 0, "junk", 4, nullptr, 0), 1051024);
}

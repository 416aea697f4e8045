// The session-key table against openssl (the skid is openssl x509 -outform
// DER | openssl dgst -sha1, the table's encipherment is openssl enc's), its
// bounds and codes, and the Base64 wrappers checked with openssl base64,
// enc, pkeyutl and dgst.
#include <cstring>

#include "WebHelpers.h"
#include "base/store_internal.hpp"

using storetest::len;
using storetest::Out;
using webtest::web;

namespace {

using Bytes = std::string;

Bytes skidByOpenssl(const std::string& pemPath) {
    const std::string der = webtest::openssl({"x509", "-in", pemPath, "-outform", "DER"}).output;
    return webtest::openssl({"dgst", "-sha1", "-binary"}, der).output;
}

const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

class StoreSessionKey : public ::testing::Test {
protected:
    void TearDown() override { VPL_Cleanup(); }
    const std::string m_server = zqtest::readFile(web("server.pem"));
    const std::string m_other = zqtest::readFile(web("other.der"));
    const std::string m_key = "0123456789abcdef", m_iv = "ZYXWVUTSRQPONMLK";
};

TEST_F(StoreSessionKey, SkidIsOpensslsDigestAndTheKeyEnciphersAsOpensslEnc) {
    unsigned char skid[20] = {};
    ASSERT_EQ(VPL_InitSkIdArray(m_server.data(), len(m_server), u(m_key), u(m_iv), skid), 0);
    // The table digests the bytes it is given: here the PEM text.
    const Bytes pemDigest = webtest::openssl({"dgst", "-sha1", "-binary"}, m_server).output;
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(skid), 20), pemDigest);
    EXPECT_EQ(g_nSkIdInfoCnt, 1);
    unsigned char key[16], iv[16];
    ASSERT_EQ(VPL_GetSkeyIV(skid, key, iv), 0);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(key), 16), m_key);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(iv), 16), m_iv);

    // A DER certificate: the skid is openssl's over the DER.
    const std::string der = zqtest::readFile(web("server.der"));
    unsigned char derSkid[20];
    ASSERT_EQ(VPL_AddSkeyIV(der.data(), len(der), nullptr, nullptr, derSkid), 0);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(derSkid), 20), skidByOpenssl(web("server.pem")));
    EXPECT_EQ(g_nSkIdInfoCnt, 2);

    const std::string plain = "card=4111111111111111&cvc=123";
    Out<unsigned char> sealed, opened;
    ASSERT_EQ(VPL_SymEncMatchSkeyIV(skid, plain.data(), len(plain), "SEED-CBC", sealed.ptr(), &sealed.n), 0);
    EXPECT_EQ(sealed.str(), webtest::enc("seed-cbc", m_key, m_iv, plain));
    ASSERT_EQ(VPL_SymDecMatchSkeyIV(skid, sealed.p, sealed.n, "SEED-CBC", opened.ptr(), &opened.n), 0);
    EXPECT_EQ(opened.str(), plain);
    const std::string aria = webtest::enc("aria-128-cbc", m_key, m_iv, plain);
    ASSERT_EQ(VPL_SymDecMatchSkeyIV(skid, aria.data(), len(aria), "ARIA128-CBC", opened.ptr(), &opened.n), 0);
    EXPECT_EQ(opened.str(), plain);
    // A cipher whose key is not the table's 16 bytes is refused, not read
    // past the entry.
    EXPECT_EQ(VPL_SymEncMatchSkeyIV(skid, plain.data(), len(plain), "AES256-CBC", sealed.ptr(), &sealed.n), -3);
    EXPECT_EQ(VPL_GetLastError(), 1051010);
    EXPECT_EQ(VPL_SymDecMatchSkeyIV(skid, "0123456789abcdef", 16, "SEED-CBC", opened.ptr(), &opened.n), -3);
    EXPECT_EQ(VPL_SymEncMatchSkeyIV(nullptr, plain.data(), len(plain), "SEED-CBC", sealed.ptr(), &sealed.n), -1);
    EXPECT_EQ(VPL_GetLastError(), 1051018);
    const unsigned char unknown[20] = {1, 2, 3};
    EXPECT_EQ(VPL_SymEncMatchSkeyIV(unknown, plain.data(), len(plain), "SEED-CBC", sealed.ptr(), &sealed.n), -2);
    EXPECT_EQ(VPL_GetLastError(), 1051019);
}

TEST_F(StoreSessionKey, KnownServersRenewAndLookUpsSeeWrittenEntriesOnly) {
    unsigned char skid[20] = {}, again[20] = {};
    unsigned char key[16], iv[16];
    // Nothing before the first table.
    const unsigned char zero[20] = {};
    EXPECT_EQ(VPL_GetSkeyIV(zero, key, iv), -1);
    EXPECT_EQ(VPL_GetLastError(), 1051014);
    EXPECT_EQ(VPL_AddSkeyIV(m_other.data(), len(m_other), nullptr, nullptr, skid), -4);
    EXPECT_EQ(VPL_GetLastError(), 1051014);

    ASSERT_EQ(VPL_InitSkIdArray(m_server.data(), len(m_server), u(m_key), u(m_iv), skid), 0);
    // An all-zero skid matches no unused entry (and no zero key comes back).
    std::memset(key, 0x77, sizeof key);
    EXPECT_EQ(VPL_GetSkeyIV(zero, key, iv), -1);
    EXPECT_EQ(VPL_GetLastError(), 1051014);
    EXPECT_EQ(key[0], 0x77);

    // The same server again: random values in place of the given ones, the
    // caller's skid buffer untouched, the count unchanged.
    std::memset(again, 0xee, sizeof again);
    ASSERT_EQ(VPL_AddSkeyIV(m_server.data(), len(m_server), u(m_key), u(m_iv), again), 0);
    EXPECT_EQ(again[0], 0xee);
    EXPECT_EQ(g_nSkIdInfoCnt, 1);
    ASSERT_EQ(VPL_GetSkeyIV(skid, key, iv), 0);
    EXPECT_NE(Bytes(reinterpret_cast<char*>(key), 16), m_key);
    EXPECT_NE(Bytes(reinterpret_cast<char*>(iv), 16), m_iv);

    // Another server with no key given: random ones, count 2.
    ASSERT_EQ(VPL_AddSkeyIV(m_other.data(), len(m_other), nullptr, nullptr, again), 0);
    EXPECT_EQ(g_nSkIdInfoCnt, 2);
    unsigned char otherKey[16], otherIv[16];
    ASSERT_EQ(VPL_GetSkeyIV(again, otherKey, otherIv), 0);
    EXPECT_NE(std::memcmp(otherKey, key, 16), 0);

    // Codes.
    EXPECT_EQ(VPL_GetSkeyIV(nullptr, key, iv), -2);
    EXPECT_EQ(VPL_GetLastError(), 1051013);
    EXPECT_EQ(VPL_AddSkeyIV(nullptr, 5, nullptr, nullptr, again), -1);
    EXPECT_EQ(VPL_GetLastError(), 1051016);
    EXPECT_EQ(VPL_InitSkIdArray(m_server.data(), 0, nullptr, nullptr, again), -1);
    EXPECT_EQ(VPL_GetLastError(), 1051012);
    EXPECT_EQ(g_nSkIdInfoCnt, 2) << "a refused init leaves the table";
}

TEST_F(StoreSessionKey, ASecondTableStartsCountingAgainAndHoldsTen) {
    unsigned char skid[20];
    ASSERT_EQ(VPL_InitSkIdArray(m_server.data(), len(m_server), nullptr, nullptr, skid), 0);
    ASSERT_EQ(VPL_AddSkeyIV(m_other.data(), len(m_other), nullptr, nullptr, skid), 0);
    // A second init replaces the table and its count (ASan sees any write
    // past the ten entries).
    ASSERT_EQ(VPL_InitSkIdArray(m_other.data(), len(m_other), nullptr, nullptr, skid), 0);
    EXPECT_EQ(g_nSkIdInfoCnt, 1);
    unsigned char key[16], iv[16];
    unsigned char first[20];
    std::memcpy(first, skid, 20);
    const Bytes serverSkid = webtest::openssl({"dgst", "-sha1", "-binary"}, m_server).output;
    EXPECT_EQ(VPL_GetSkeyIV(u(serverSkid), key, iv), -1) << "entries of the old table are gone";
    std::vector<std::string> certs;
    for (int i = 0; i < 10; ++i) certs.push_back("server certificate number " + std::to_string(i));
    for (int i = 0; i < 9; ++i) ASSERT_EQ(VPL_AddSkeyIV(certs[i].data(), len(certs[i]), nullptr, nullptr, skid), 0);
    EXPECT_EQ(g_nSkIdInfoCnt, 10);
    EXPECT_EQ(VPL_AddSkeyIV(certs[9].data(), len(certs[9]), nullptr, nullptr, skid), -3);
    EXPECT_EQ(VPL_GetLastError(), 1051007);
    EXPECT_EQ(g_nSkIdInfoCnt, 10);
    EXPECT_EQ(VPL_GetSkeyIV(first, key, iv), 0);
    // A count raised by hand never makes the table write past its end.
    EXPECT_EQ(VPL_SkIdInfoCntInc(), 11);
    EXPECT_EQ(VPL_AddSkeyIV(certs[9].data(), len(certs[9]), nullptr, nullptr, skid), -3);
    VPL_Cleanup();
    EXPECT_EQ(g_nSkIdInfoCnt, 0);
    EXPECT_EQ(VPL_GetSkeyIV(first, key, iv), -1);
}

TEST_F(StoreSessionKey, Base64WrappersAgreeWithOpenssl) {
    char* text = nullptr;
    VPL_GenSessionKeyWithBase64(&text);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(strlen(text), 25u);
    EXPECT_EQ(text[24], '\n');
    EXPECT_EQ(webtest::openssl({"base64", "-d"}, text).output.size(), 16u);
    VPL_Free(text, 25);

    const std::string bytes(100, '\xfb');
    const std::string lined = webtest::openssl({"base64"}, bytes).output;  // lines of 64, a final line feed
    ASSERT_EQ(VPL_Base64EncodeMalloc(bytes.data(), len(bytes), &text), len(lined));
    EXPECT_EQ(std::string(text), lined);
    unsigned char* decoded = nullptr;
    ASSERT_EQ(VPL_Base64DecodeMalloc(text, len(lined), &decoded), 100);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), 100), bytes);
    EXPECT_EQ(decoded[100], 0);
    VPL_Free(text, len(lined));
    VPL_Free(decoded, 100);
    EXPECT_EQ(VPL_Base64DecodeMalloc("!!!!", 4, &decoded), -1);
    EXPECT_EQ(decoded, nullptr);

    const std::string key = "0123456789abcdef", iv = "ZYXWVUTSRQPONMLK", plain = "pay 100 to shop";
    const std::string expected = webtest::openssl({"base64"}, webtest::enc("seed-cbc", key, iv, plain)).output;
    int n = VPL_SymEncryptWithBase64(&text, plain.c_str(), "SEED-CBC", u(key), u(iv));
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(text, n), expected);
    VPL_Free(text, n);
    // The plaintext and key as Base64: the plaintext up to its zero byte, a
    // key of the cipher's length only.
    const std::string plainB64 = webtest::base64(plain + std::string(1, '\0') + "tail");
    n = VPL_SymEncryptWithBase64_B64Skey(&text, plainB64.c_str(), "SEED-CBC", webtest::base64(key).c_str(), u(iv));
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(text, n), expected);
    VPL_Free(text, n);
    for (const std::string& bad : {key.substr(0, 5), key + "0123456789abcdef"})
        EXPECT_EQ(
            VPL_SymEncryptWithBase64_B64Skey(&text, plainB64.c_str(), "SEED-CBC", webtest::base64(bad).c_str(), u(iv)),
            -1)
            << bad.size();
    EXPECT_EQ(text, nullptr);

    // RSA: the server's key opens what we wrap; openssl verifies what we sign.
    const std::string cert = zqtest::readFile(web("server.der"));
    n = VPL_RSAPublicEncryptDataWithBase64(key.data(), 16, &text, cert.data(), len(cert));
    ASSERT_GT(n, 0);
    const std::string wrapped = webtest::openssl({"base64", "-d"}, std::string(text, n)).output;
    VPL_Free(text, n);
    EXPECT_EQ(webtest::openssl({"pkeyutl", "-decrypt", "-inkey", web("server.key")}, wrapped).output, key);
    EXPECT_EQ(VPL_RSAPublicEncryptDataWithBase64(key.data(), 16, &text, "junk", 4), 0);
    EXPECT_EQ(text, nullptr);

    const std::string pem = zqtest::readFile(web("server.key"));
    int sigLen = 0;
    ASSERT_EQ(VPL_RSASignWithBase64(pem.c_str(), "", "SHA256", plain.data(), len(plain), &text, &sigLen), 0);
    zqtest::TempDir tmp("rsasign");
    zqtest::writeFile(tmp / "sig", webtest::openssl({"base64", "-d"}, std::string(text, sigLen)).output);
    VPL_Free(text, sigLen);
    EXPECT_EQ(
        webtest::openssl({"dgst", "-sha256", "-prverify", web("server.key"), "-signature", tmp / "sig"}, plain).status,
        0);

    // A key's VID random as Base64, or nothing.
    text = VPL_GetRVfromPrivKeyWithBase64(signtest::fx("hong/signPri.key").c_str(), "hong-pw-1");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(webtest::hex(webtest::openssl({"base64", "-d"}, text).output), signtest::value("random"));
    VPL_Free(text, static_cast<int>(strlen(text)));
    EXPECT_EQ(VPL_GetRVfromPrivKeyWithBase64("/nonexistent/signPri.key", "hong-pw-1"), nullptr);
    EXPECT_EQ(VPL_GetRVfromPrivKeyWithBase64(signtest::fx("hong/signPri.key").c_str(), "wrong"), nullptr);
}

}  // namespace

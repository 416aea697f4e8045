// The token functions on SoftHSM2, a real module, with pkcs11-tool, openssl
// and the coreutils digests as peers: sessions and PINs, signers stored and
// listed, RSA, symmetric and digest operations, key generation, deletions
// and capacity; and on a module of the tests that answers hostile lengths.
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/pkcs1.h>
#include <zunCore/pkcs11.h>
#include <zunCore/util.h>

#include "../pki/pkcs/Pkcs11Helpers.h"
#include "P11Helpers.h"

namespace {

using coretest::Buf;
using p11core::fixture;
using p11core::hex;
using p11core::n;
using p11core::openssl;
using p11core::path;
using p11core::temp;
using p11core::u;
using p11test::kSoftHsm;
using p11test::SoftHsmToken;

constexpr char kLabelRef = 'L';
constexpr char kIdRef = VCL_PK11_REF_ID;

std::string trimmed(const unsigned char* field, size_t size) {
    std::string s(reinterpret_cast<const char*>(field), size);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

// pkcs11-tool logged in on the token.
std::string tool(std::vector<std::string> args) {
    args.insert(args.begin(), {"--login", "--pin", SoftHsmToken::kPin});
    return SoftHsmToken::tool(args);
}

// A fresh token in SoftHSM2, loaded and initialised through the core, with
// a session logged in as the user.
class Token : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(p11core::fixtures().empty());
        m_token = std::make_unique<SoftHsmToken>();
        ASSERT_TRUE(m_token->ready());
        ASSERT_EQ(VCL_PK11_Load_Library(kSoftHsm), 0);
        ASSERT_EQ(VCL_PK11_Initialize(), 0);
        ASSERT_TRUE(findSlot());
        ASSERT_EQ(VCL_PK11_Open_Session(slot, SoftHsmToken::kPin, 4, &session), 0);
    }
    void TearDown() override {
        if (session != CK_INVALID_HANDLE) VCL_PK11_Close_Session(&session);
        VCL_PK11_Unload_Library();
        m_token.reset();
    }

    // The slot of the token labelled "t" among the slots with a token.
    bool findSlot() {
        CK_SLOT_ID slots[8];
        CK_ULONG count = 8;
        if (VCL_PK11_Get_Slot_List(slots, &count) != 0) return false;
        for (CK_ULONG i = 0; i < count; ++i) {
            CK_TOKEN_INFO info;
            if (p11_C_GetTokenInfo(slots[i], &info) == CKR_OK &&
                trimmed(info.label, sizeof info.label) == SoftHsmToken::kLabel) {
                slot = slots[i];
                return true;
            }
        }
        return false;
    }

    int store(const std::string& vid, const std::string& cert, const std::string& key, const char* pw = "pw") {
        return VCL_PK11_Set_RSAKey(session, vid.data(), n(vid), cert.data(), n(cert), key.data(), n(key), pw,
                                   pw ? static_cast<int>(std::strlen(pw)) : 0);
    }
    int certCount() {
        int count = -1;
        EXPECT_EQ(VCL_PK11_Get_All_Certs_Count(session, &count), 0);
        return count;
    }
    // Whether an object of the class has this label.
    bool has(CK_OBJECT_CLASS cls, const std::string& label) {
        CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
        return VCL_PK11_find_object_by_lable(session, cls, 0, label.data(), n(label), &h) == 0;
    }

    CK_SLOT_ID slot = 0;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;

private:
    std::unique_ptr<SoftHsmToken> m_token;
};

// ---- Sessions ---------------------------------------------------------------

TEST_F(Token, SlotsSerialAndPin) {
    // As many slots as pkcs11-tool lists: the token and SoftHSM's free slot.
    const std::string listed = SoftHsmToken::tool({"-L"});
    const std::string tokens = SoftHsmToken::tool({"-T"});
    std::istringstream in(listed);
    CK_ULONG lines = 0;
    for (std::string line; std::getline(in, line);) lines += line.rfind("Slot ", 0) == 0;
    CK_ULONG count = 0;
    ASSERT_EQ(VCL_PK11_Get_Slot_Count(&count), 0);
    EXPECT_EQ(count, lines);
    CK_SLOT_ID one[1];
    CK_ULONG room = 1;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Slot_List(one, &room)), 0xb409000au);

    unsigned char serial[16];
    int len = sizeof serial;
    ASSERT_EQ(VCL_PK11_Get_Token_Serial(slot, serial, &len), 0);
    ASSERT_EQ(len, 16);
    EXPECT_NE(tokens.find("serial num         : " + trimmed(serial, 16) + "\n"), std::string::npos) << tokens;
    len = 15;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Token_Serial(slot, serial, &len)), 0xb41e000au);
    CK_ULONG freePublic = 0, freePrivate = 0;
    EXPECT_EQ(VCL_PK11_Get_Token_FreeMemory(slot, &freePublic, &freePrivate), 0);

    // Logging in again through a second session is no failure; a wrong PIN
    // is, and leaves its session open for the caller.
    CK_SESSION_HANDLE second = CK_INVALID_HANDLE;
    EXPECT_EQ(VCL_PK11_Open_Session(slot, SoftHsmToken::kPin, 4, &second), 0);
    EXPECT_EQ(VCL_PK11_Close_Session(&second), 0);
    EXPECT_EQ(second, CK_INVALID_HANDLE);
    ASSERT_EQ(VCL_PK11_Logout(session), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Open_Session(slot, "0000", 4, &second)), 0xb40a0080u);
    ASSERT_NE(second, CK_INVALID_HANDLE);
    EXPECT_EQ(VCL_PK11_Close_Session(&second), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Close_Session(&second)), 0xb40b0081u);
}

// Every call needs a loaded module: before a load, after a failed one and
// after an unload. Unloading finalises what the core initialised first.
TEST(Pkcs11Module, CallsNeedALoadedModule) {
    SoftHsmToken token;
    ASSERT_TRUE(token.ready());
    VCL_PK11_Unload_Library();
    CK_ULONG count = 0;
    EXPECT_EQ(coretest::rc(VCL_PK11_Initialize()), 0xb407007cu);
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Slot_Count(&count)), 0xb409007eu);
    EXPECT_EQ(coretest::rc(VCL_PK11_Load_Library("/nonexistent/libp11.so")), 0xb4060087u);
    EXPECT_EQ(coretest::rc(VCL_PK11_Load_Library(nullptr)), 0xb4060087u);
    EXPECT_EQ(coretest::rc(VCL_PK11_Initialize()), 0xb407007cu);

    ASSERT_EQ(VCL_PK11_Load_Library(kSoftHsm), 0);
    ASSERT_EQ(VCL_PK11_Initialize(), 0);
    EXPECT_EQ(VCL_PK11_Initialize(), 0);  // already initialised
    EXPECT_TRUE(p11test::mapped("libsofthsm2"));
    EXPECT_EQ(VCL_PK11_Unload_Library(), 0);
    EXPECT_FALSE(p11test::mapped("libsofthsm2"));
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Slot_Count(&count)), 0xb409007eu);
    EXPECT_EQ(coretest::rc(VCL_PK11_Finalize()), 0xb408007du);
}

// ---- A signer on the token -----------------------------------------------------

TEST_F(Token, SignerAsPkcs11ToolListsIt) {
    const std::string cert = fixture("sign.der");
    ASSERT_EQ(store("vid-001", cert, fixture("sign-random.der")), 0);
    const std::string km = fixture("km.der");
    ASSERT_EQ(store("km-7", km, fixture("km-random.der")), 0);

    const std::string listed = tool({"-O"});
    const std::string id = "ID:         " + hex("vid-001");
    for (const std::string& text : std::vector<std::string>{
             "Certificate Object; type = X.509 cert\n  label:      SIGN_vid-001\n  subject:    DN: C=KR, O=Token Test, "
             "CN=signer\n  " +
                 id,
             "Public Key Object; RSA 2048 bits\n  label:      SIGN_vid-001\n  " + id + "\n  Usage:      verify, wrap",
             "Private Key Object; RSA \n  label:      SIGN_vid-001\n  " + id + "\n  Usage:      sign, unwrap",
             "Public Key Object; RSA 2048 bits\n  label:      KM_km-7\n  ID:         " + hex("km-7") +
                 "\n  Usage:      encrypt, wrap",
             "Private Key Object; RSA \n  label:      KM_km-7\n  ID:         " + hex("km-7") +
                 "\n  Usage:      decrypt, unwrap",
             "Data object ", "label:          'R4VID=vid-001'\n  application:    'Veridan PKI Application'",
             "label:          'R4VID=km-7'\n  application:    'Veridan PKI Application'"})
        EXPECT_NE(listed.find(text), std::string::npos) << text << "\n--- in ---\n" << listed;

    const std::string out = temp("read.der", "");
    tool({"--read-object", "--type", "cert", "--label", "SIGN_vid-001", "-o", out});
    EXPECT_EQ(zqtest::run({"cmp", out, path("sign.der")}).status, 0);

    // The private key stays inside: not extractable, its exponent unreadable.
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    ASSERT_EQ(VCL_PK11_find_object_by_id(session, CKO_PRIVATE_KEY, "vid-001", 7, &key), 0);
    CK_BBOOL extractable = CK_TRUE;
    CK_ATTRIBUTE a{CKA_EXTRACTABLE, &extractable, 1};
    ASSERT_EQ(p11_C_GetAttributeValue(session, key, &a, 1), CKR_OK);
    EXPECT_EQ(extractable, CK_FALSE);
    unsigned char d[512];
    CK_ATTRIBUTE exponent{CKA_PRIVATE_EXPONENT, d, sizeof d};
    EXPECT_EQ(p11_C_GetAttributeValue(session, key, &exponent, 1), CKR_ATTRIBUTE_SENSITIVE);

    // Read back: the certificate by id and the VID random.
    Buf<unsigned char> got;
    int len = 0;
    ASSERT_EQ(VCL_PK11_Get_Cert(session, "vid-001", 7, got.out(), &len), 0);
    EXPECT_EQ(got.str(len), cert);
    unsigned char random[VCL_PK11_MAX_VID_RANDOM];
    len = sizeof random;
    ASSERT_EQ(VCL_PK11_Get_Vid_Random(session, "vid-001", 7, random, &len), 0);
    EXPECT_EQ(hex(std::string(reinterpret_cast<char*>(random), len)), fixture("sign.random"));
    len = 19;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Vid_Random(session, "vid-001", 7, random, &len)), 0xb41d000au);
    len = sizeof random;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Vid_Random(session, "nobody", 6, random, &len)), 0xb40d0082u);
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Cert(session, "nobody", 6, got.out(), &len)), 0xb40d0082u);
    EXPECT_EQ(got.p, nullptr);
}

// A signer is stored whole or not at all; what was stored before under the
// same identifier stays.
TEST_F(Token, SignerRefusedLeavesTheTokenAsItWas) {
    const std::string cert = fixture("sign.der"), key = fixture("sign-random.der");
    const std::string vid249(249, 'v'), vid250(250, 'v');
    struct Case {
        const char* what;
        const char* vid;
        int vidLen;
        std::string cert, key;
        const char* pw;
        unsigned code;
    };
    const Case cases[] = {
        {"no VID random (openssl's -v2 seed key)", "a", 1, cert, fixture("sign-seed.der"), "pw", 0xa95b0002u},
        {"another certificate's key", "a", 1, fixture("other.der"), key, "pw", 0xb417002fu},
        {"wrong password", "a", 1, cert, key, "px", 0x4a070012u},
        {"identifier too long", vid250.c_str(), 250, cert, key, "pw", 0xb4170003u},
        {"no identifier", nullptr, 1, cert, key, "pw", 0xb4170002u},
        {"empty identifier", "a", 0, cert, key, "pw", 0xb4170005u},
        {"neither certificate nor key", "a", 1, "", "", "pw", 0xb4170003u},
        {"a certificate that does not decode", "a", 1, "0123456789", key, "pw", 0x4300004fu},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(coretest::rc(VCL_PK11_Set_RSAKey(session, c.vid, c.vidLen, c.cert.data(), n(c.cert), c.key.data(),
                                                   n(c.key), c.pw, 2)),
                  c.code)
            << c.what;
        EXPECT_EQ(certCount(), 0) << c.what;
        EXPECT_FALSE(has(CKO_PUBLIC_KEY, "SIGN_a")) << c.what;
    }
    EXPECT_EQ(store(vid249, cert, key), 0);

    // The private key cannot be made without a login: the certificate and
    // public key this call made go again, the signer stored before stays.
    ASSERT_EQ(store("a", cert, key), 0);
    ASSERT_EQ(VCL_PK11_Logout(session), 0);
    EXPECT_EQ(coretest::rc(store("a", cert, key)), 0xb41b008au);
    EXPECT_EQ(certCount(), 2);
    const std::string keys = SoftHsmToken::tool({"-O", "--type", "pubkey"});
    const size_t first = keys.find("label:      SIGN_a\n");
    EXPECT_NE(first, std::string::npos) << keys;
    EXPECT_EQ(keys.find("label:      SIGN_a\n", first + 1), std::string::npos) << keys;
    CK_SESSION_HANDLE again = CK_INVALID_HANDLE;
    ASSERT_EQ(VCL_PK11_Open_Session(slot, SoftHsmToken::kPin, 4, &again), 0);  // logs the token in again
    VCL_PK11_Close_Session(&again);
    Buf<unsigned char> got;
    int len = 0;
    EXPECT_EQ(VCL_PK11_Get_Cert(session, "a", 1, got.out(), &len), 0);
    unsigned char random[VCL_PK11_MAX_VID_RANDOM];
    len = sizeof random;
    EXPECT_EQ(VCL_PK11_Get_Vid_Random(session, "a", 1, random, &len), 0);
}

// Deleting a signer stored without certificate: its keys and VID random go
// (a search that found nothing is finalised, so the next one runs).
TEST_F(Token, DeleteSignerWithoutCertificate) {
    ASSERT_EQ(store("nocert", "", fixture("sign-random.der")), 0);
    EXPECT_TRUE(has(CKO_PUBLIC_KEY, "SIGN_nocert"));
    EXPECT_TRUE(has(CKO_DATA, "R4VID=nocert"));
    EXPECT_EQ(VCL_PK11_Delete_RSAKey(session, "nocert", 6), 0);
    for (CK_OBJECT_CLASS cls : {CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) EXPECT_FALSE(has(cls, "SIGN_nocert"));
    EXPECT_FALSE(has(CKO_DATA, "R4VID=nocert"));
    EXPECT_EQ(tool({"-O"}).find("nocert"), std::string::npos);
    EXPECT_EQ(VCL_PK11_Delete_RSAKey(session, "nocert", 6), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Delete_RSAKey(session, "nocert", 0)), 0xb4190003u);
}

// 51 certificates count 50; a capacity of 2 fills 2 records.
TEST_F(Token, CertificatesListedUpToTheCapacity) {
    const std::string cert = fixture("sign.der");
    for (int i = 0; i < 51; ++i) {
        const std::string vid = "c" + std::to_string(i);
        ASSERT_EQ(VCL_PK11_Set_RSAKey(session, vid.data(), n(vid), cert.data(), n(cert), nullptr, 0, nullptr, 0), 0);
    }
    EXPECT_EQ(certCount(), 50);
    PKISTRINFO records[3] = {};
    int count = -1;
    ASSERT_EQ(VCL_PK11_Get_All_Certs(session, records, 2, &count), 0);
    ASSERT_EQ(count, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::string(reinterpret_cast<char*>(records[i].cert), records[i].cert_len), cert);
        const std::string id(reinterpret_cast<char*>(records[i].key), records[i].key_len);
        EXPECT_EQ(id[0], 'c');
        EXPECT_EQ(records[i].key[records[i].key_len], 0);
        EXPECT_EQ(records[i].cert_use, VCL_CERT_USE_SIGN);
        EXPECT_EQ(records[i].key_kind, VCL_KEY_KIND_RSA);
    }
    EXPECT_EQ(records[2].cert, nullptr);
    VCL_PK1_Free_PKISTRINFOS(records, count);
    EXPECT_EQ(VCL_PK11_Get_All_Certs(session, records, 0, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_All_Certs(session, records, -1, &count)), 0xb4240003u);
}

// ---- RSA --------------------------------------------------------------------------

// openssl's verdict on a signature over data by the certificate's key:
// peer is "dgst ..." (over the data) or "pkeyutl ..." (over a digest).
bool opensslVerifies(const std::string& cert, std::vector<std::string> peer, const std::string& data,
                     const std::string& sig) {
    const std::string pub = temp("pub.pem", openssl({"x509", "-inform", "DER", "-pubkey", "-noout"}, cert).output);
    const std::string sigFile = temp("sig.bin", sig), dataFile = temp("data.bin", data);
    if (peer[0] == "dgst")
        peer.insert(peer.end(), {"-verify", pub, "-signature", sigFile, dataFile});
    else
        peer.insert(peer.end(), {"-verify", "-pubin", "-inkey", pub, "-sigfile", sigFile, "-in", dataFile});
    const auto r = openssl(peer);
    EXPECT_EQ(r.status, 0) << r.output;
    return r.status == 0;
}

TEST_F(Token, SignaturesOpensslVerifies) {
    const std::string cert = fixture("sign.der");
    ASSERT_EQ(store("s", cert, fixture("sign-random.der")), 0);
    const std::string data = "data signed on the token";
    const std::string sha256 = p11core::unhex(openssl({"dgst", "-sha256", "-r"}, data).output.substr(0, 64));
    const std::string digestInfo =
        p11core::unhex("3031300d060960864801650304020105000420") + sha256;  // SHA-256 DigestInfo
    struct Case {
        const char* hash;
        int kind;
        std::string data;
        std::vector<std::string> peer;
    };
    const Case cases[] = {
        {"SHA1", VCL_PK11_PKCS1_V15, data, {"dgst", "-sha1"}},
        {"sha256", VCL_PK11_PKCS1_V15, data, {"dgst", "-sha256"}},
        {"SHA512", VCL_PK11_PKCS1_V15, data, {"dgst", "-sha512"}},
        {"SHA256",
         VCL_PK11_PSS,
         data,
         {"dgst", "-sha256", "-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:32"}},
        {"",
         VCL_PK11_PSS,
         sha256,
         {"pkeyutl", "-pkeyopt", "digest:sha256", "-pkeyopt", "rsa_padding_mode:pss", "-pkeyopt",
          "rsa_pss_saltlen:32"}},
        {nullptr, VCL_PK11_PKCS1_V15, digestInfo, {"pkeyutl", "-pkeyopt", "rsa_padding_mode:pkcs1"}},
    };
    for (const Case& c : cases) {
        for (const auto& [ref, kind] : {std::pair<std::string, char>{"SIGN_s", kLabelRef}, {"s", kIdRef}}) {
            Buf<unsigned char> sig;
            int len = 0;
            ASSERT_EQ(VCL_PK11_RSA_Sign(session, ref.data(), n(ref), kind, c.hash, c.kind, u(c.data), n(c.data),
                                        sig.out(), &len),
                      0)
                << (c.hash ? c.hash : "(none)");
            EXPECT_EQ(len, 256);
            EXPECT_TRUE(opensslVerifies(cert, c.peer, c.data, sig.str(len))) << (c.hash ? c.hash : "(none)");
            EXPECT_EQ(VCL_PK11_RSA_Verify(session, ref.data(), n(ref), kind, c.hash, c.kind, u(c.data), n(c.data),
                                          sig.p, len),
                      0);
        }
    }

    // openssl dgst's SHA-256 v1.5 and PSS signatures verify on the token.
    const std::string dataFile = temp("data.bin", data);
    const std::string sigFile = temp("dgst.sig", "");
    ASSERT_EQ(openssl({"dgst", "-sha256", "-sign", path("sign.pem"), "-out", sigFile, dataFile}).status, 0);
    std::string sig = zqtest::readFile(sigFile);
    EXPECT_EQ(VCL_PK11_RSA_Verify(session, "SIGN_s", 6, kLabelRef, "SHA256", 1, u(data), n(data), u(sig), n(sig)), 0);
    // pkcs11-tool's own signature.
    const std::string toolSig = temp("tool.sig", "");
    tool({"--sign", "-m", "SHA256-RSA-PKCS", "--id", hex("s"), "-i", dataFile, "-o", toolSig});
    sig = zqtest::readFile(toolSig);
    EXPECT_EQ(VCL_PK11_RSA_Verify(session, "s", 1, kIdRef, "SHA256", 1, u(data), n(data), u(sig), n(sig)), 0);
    sig[10] ^= 1;
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Verify(session, "s", 1, kIdRef, "SHA256", 1, u(data), n(data), u(sig), n(sig))),
              0xb4130053u);
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Verify(session, "s", 1, kIdRef, "SHA256", 1, u(data), n(data), nullptr, 0)),
              0xb4130003u);

    // PSS over MD5 and an unnamed PSS over bytes of no digest's length are
    // refused; so are other kinds, and a signing key that is not there.
    Buf<unsigned char> out;
    int len = 0;
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Sign(session, "s", 1, kIdRef, "MD5", 2, u(data), n(data), out.out(), &len)),
              0xb4220010u);
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Sign(session, "s", 1, kIdRef, nullptr, 2, u(data), n(data), out.out(), &len)),
              0xb4220010u);
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Sign(session, "s", 1, kIdRef, "SHA256", 3, u(data), n(data), out.out(), &len)),
              0xb4220013u);
    EXPECT_EQ(
        coretest::rc(VCL_PK11_RSA_Sign(session, "none", 4, kIdRef, "SHA256", 1, u(data), n(data), out.out(), &len)),
        0xb4120052u);
    EXPECT_EQ(out.p, nullptr);
    EXPECT_EQ(len, 0);
}

TEST_F(Token, EncryptionAgainstOpensslPkeyutl) {
    ASSERT_EQ(store("k", fixture("km.der"), fixture("km-random.der")), 0);
    const std::string pub = temp("km-pub.pem", openssl({"rsa", "-in", path("km.pem"), "-pubout"}).output);
    const std::string plain = "a content-encryption key 0123456";
    for (const auto& [padding, opts] :
         {std::pair<int, std::vector<std::string>>{VCL_RSA_OAEP, {"-pkeyopt", "rsa_padding_mode:oaep"}},
          {VCL_RSA_OAEP_V21, {"-pkeyopt", "rsa_padding_mode:oaep"}},
          {VCL_RSA_PKCS1_V15, {}}}) {
        // Ours, opened by openssl.
        Buf<unsigned char> enc;
        int len = 0;
        ASSERT_EQ(
            VCL_PK11_RSA_Encrypt(session, "KM_k", 4, kLabelRef, '2', padding, u(plain), n(plain), enc.out(), &len), 0);
        EXPECT_EQ(len, 256);
        std::vector<std::string> argv{"pkeyutl", "-decrypt", "-inkey", path("km.pem")};
        argv.insert(argv.end(), opts.begin(), opts.end());
        auto r = openssl(argv, enc.str(len));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, plain) << padding;

        // openssl's, opened on the token.
        argv = {"pkeyutl", "-encrypt", "-pubin", "-inkey", pub};
        argv.insert(argv.end(), opts.begin(), opts.end());
        r = openssl(argv, plain);
        ASSERT_EQ(r.status, 0);
        Buf<unsigned char> dec;
        ASSERT_EQ(
            VCL_PK11_RSA_Decrypt(session, "k", 1, kIdRef, '3', padding, u(r.output), n(r.output), dec.out(), &len), 0);
        EXPECT_EQ(dec.str(len), plain) << padding;
    }
    Buf<unsigned char> out;
    int len = 0;
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Encrypt(session, "k", 1, kIdRef, '2', 0, u(plain), n(plain), out.out(), &len)),
              0xb4100011u);
    // A signing key does not decrypt (its template says so): the module refuses.
    ASSERT_EQ(store("s", fixture("sign.der"), fixture("sign-random.der")), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Encrypt(session, "s", 1, kIdRef, '2', 32, u(plain), n(plain), out.out(), &len)),
              0xb4100083u);
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Decrypt(session, "k", 1, kIdRef, '3', 32, u(plain), n(plain), out.out(), &len)),
              0xb4110086u);
}

TEST_F(Token, GeneratedKeyPairAsPkcs11ToolReadsIt) {
    unsigned char modulus[512];
    int len = 255;
    EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Key_Generate(session, "g1", 2, "g1", 2, 2048, modulus, &len)), 0xb4140003u);
    EXPECT_FALSE(has(CKO_PUBLIC_KEY, "PUBK_g1"));
    len = sizeof modulus;
    ASSERT_EQ(VCL_PK11_RSA_Key_Generate(session, "g1", 2, "g1", 2, 2048, modulus, &len), 0);
    ASSERT_EQ(len, 256);

    const std::string der = temp("pub.der", "");
    tool({"--read-object", "--type", "pubkey", "--label", "PUBK_g1", "-o", der});
    const auto r = openssl({"rsa", "-pubin", "-inform", "DER", "-in", der, "-noout", "-modulus"});
    ASSERT_EQ(r.status, 0);
    std::string upper = hex(std::string(reinterpret_cast<char*>(modulus), len));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(r.output, "Modulus=" + upper + "\n");

    // The pair signs and verifies; its private half never leaves.
    const std::string data = "generated";
    Buf<unsigned char> sig;
    ASSERT_EQ(VCL_PK11_RSA_Sign(session, "PRIV_g1", 7, kLabelRef, "SHA256", 1, u(data), n(data), sig.out(), &len), 0);
    EXPECT_EQ(VCL_PK11_RSA_Verify(session, "PUBK_g1", 7, kLabelRef, "SHA256", 1, u(data), n(data), sig.p, len), 0);
    EXPECT_NE(tool({"-O", "--type", "privkey"}).find("never extractable"), std::string::npos);
}

// ---- Secret keys and digests ---------------------------------------------------------

TEST_F(Token, SymmetricCiphersAsOpensslEnc) {
    const std::string data =
        "sixteen byte blk"
        "and a second one";  // two AES blocks, four DES blocks
    const std::string aesKey = p11core::unhex("000102030405060708090a0b0c0d0e0f");
    const std::string des3Key = p11core::unhex("0123456789abcdeffedcba987654321089abcdef01234567");
    const std::string iv16 = p11core::unhex("f0e0d0c0b0a090807060504030201000");
    const std::string iv8 = iv16.substr(0, 8);
    ASSERT_EQ(VCL_PK11_Set_Sym_Key(session, "aes", 3, "AES-CBC", u(aesKey), n(aesKey)), 0);
    ASSERT_EQ(VCL_PK11_Set_Sym_Key(session, "des3", 4, "des_3ede-cbc", u(des3Key), n(des3Key)), 0);
    struct Case {
        const char* algorithm;
        const char* ref;
        std::string iv;
        std::vector<std::string> enc;  // openssl enc's cipher options
        std::string key;
    };
    const std::string zeros16(16, '\0'), zeros8(8, '\0');
    const Case cases[] = {
        {"AES-CBC", "aes", iv16, {"-aes-128-cbc", "-iv", hex(iv16)}, aesKey},
        {"aes-cbc", "aes", "", {"-aes-128-cbc", "-iv", hex(zeros16)}, aesKey},
        {"AES-ECB", "aes", "", {"-aes-128-ecb", "-nopad"}, aesKey},
        {"DES_3EDE-CBC", "des3", iv8, {"-des-ede3-cbc", "-iv", hex(iv8)}, des3Key},
        {"DES_3EDE-CBC", "des3", "", {"-des-ede3-cbc", "-iv", hex(zeros8)}, des3Key},
        {"DES_3EDE-ECB", "des3", "", {"-des-ede3-ecb", "-nopad"}, des3Key},
    };
    for (const Case& c : cases) {
        for (const auto& [ref, kind] :
             {std::pair<std::string, char>{c.ref, kLabelRef}, std::pair<std::string, char>{c.ref, kIdRef}}) {
            Buf<unsigned char> enc, dec;
            int len = 0, decLen = 0;
            ASSERT_EQ(VCL_PK11_Sym_Encrypt(session, ref.data(), n(ref), kind, c.algorithm, u(c.iv), n(c.iv), u(data),
                                           n(data), enc.out(), &len),
                      0)
                << c.algorithm;
            std::vector<std::string> argv{"enc", "-e", "-K", hex(c.key)};
            argv.insert(argv.end(), c.enc.begin(), c.enc.end());
            EXPECT_EQ(hex(enc.str(len)), hex(openssl(argv, data).output)) << c.algorithm << " " << c.iv.size();
            ASSERT_EQ(VCL_PK11_Sym_Decrypt(session, ref.data(), n(ref), kind, c.algorithm, u(c.iv), n(c.iv), enc.p, len,
                                           dec.out(), &decLen),
                      0);
            EXPECT_EQ(dec.str(decLen), data);
        }
    }

    Buf<unsigned char> out;
    int len = 0;
    // 3DES takes an 8-byte IV: 16 bytes are refused before the token sees them.
    EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Encrypt(session, "des3", 4, kLabelRef, "DES_3EDE-CBC", u(iv16), 16, u(data),
                                                n(data), out.out(), &len)),
              0xb40e000au);
    for (const char* name : {"RC5-CBC", "RC5-ECB", "AES-CTR", "DES_3EDE-CBC-PAD"})
        EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Encrypt(session, "aes", 3, kLabelRef, name, nullptr, 0, u(data), n(data),
                                                    out.out(), &len)),
                  0xb40c0010u)
            << name;
    EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Encrypt(session, "aes", 3, kLabelRef, nullptr, nullptr, 0, u(data), n(data),
                                                out.out(), &len)),
              0xb40e0002u);
    // ECB over a partial block: the token refuses, and the session goes on.
    EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Encrypt(session, "aes", 3, kLabelRef, "AES-ECB", nullptr, 0, u(data), 5,
                                                out.out(), &len)),
              0xb40e0084u);
    // A key of another type is not found under the algorithm's key type.
    EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Decrypt(session, "aes", 3, kLabelRef, "DES_3EDE-CBC", nullptr, 0, u(data),
                                                n(data), out.out(), &len)),
              0xb40f0085u);

    // Deleting a key that is not there is no failure, and the session works on.
    EXPECT_EQ(VCL_PK11_Delete_Sym_Key(session, "absent", 6), 0);
    EXPECT_EQ(VCL_PK11_Delete_Sym_Key(session, "aes", 3), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Sym_Encrypt(session, "aes", 3, kIdRef, "AES-CBC", nullptr, 0, u(data), n(data),
                                                out.out(), &len)),
              0xb40e0083u);
    EXPECT_EQ(
        VCL_PK11_Sym_Encrypt(session, "des3", 4, kIdRef, "DES_3EDE-CBC", nullptr, 0, u(data), n(data), out.out(), &len),
        0);
    // SoftHSM2 has no SEED keys.
    EXPECT_EQ(coretest::rc(VCL_PK11_Set_Sym_Key(session, "x", 1, "SEED-CBC", u(aesKey), 16)), 0xb420008au);
    EXPECT_EQ(coretest::rc(VCL_PK11_Set_Sym_Key(session, "x", 0, "AES-CBC", u(aesKey), 16)), 0xb4200005u);
}

TEST_F(Token, DigestsAsCoreutils) {
    const std::string data = "digest me on the token";
    const std::pair<const char*, const char*> digests[] = {{"MD5", "md5sum"},       {"SHA1", "sha1sum"},
                                                           {"sha224", "sha224sum"}, {"SHA256", "sha256sum"},
                                                           {"SHA384", "sha384sum"}, {"SHA512", "sha512sum"}};
    for (const auto& [name, tool] : digests) {
        unsigned char digest[VCL_PK11_MAX_DIGEST];
        int len = sizeof digest;
        ASSERT_EQ(VCL_PK11_Hash(session, name, u(data), n(data), digest, &len), 0) << name;
        const std::string peer = zqtest::run({tool}, data).output;
        EXPECT_EQ(hex(std::string(reinterpret_cast<char*>(digest), len)), peer.substr(0, peer.find(' '))) << name;
    }
    // Too little room: refused, and the next digest runs (the module's
    // operation was ended).
    unsigned char digest[VCL_PK11_MAX_DIGEST];
    int len = 31;
    EXPECT_EQ(coretest::rc(VCL_PK11_Hash(session, "SHA256", u(data), n(data), digest, &len)), 0xb415000au);
    len = 32;
    EXPECT_EQ(VCL_PK11_Hash(session, "SHA256", u(data), n(data), digest, &len), 0);
    EXPECT_EQ(coretest::rc(VCL_PK11_Hash(session, "SHA3-256", u(data), n(data), digest, &len)), 0xb4150006u);
}

// ---- A module of hostile answers ------------------------------------------------------

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VCL_PK11_Load_Library(P11_HOSTILE_MODULE), 0);
        m_handle = dlopen(P11_HOSTILE_MODULE, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(m_handle, nullptr);
        set = reinterpret_cast<decltype(set)>(dlsym(m_handle, "hostile_set"));
        openSearches = reinterpret_cast<decltype(openSearches)>(dlsym(m_handle, "hostile_open_searches"));
        destroyed = reinterpret_cast<decltype(destroyed)>(dlsym(m_handle, "hostile_destroyed"));
        ASSERT_TRUE(set && openSearches && destroyed);
        ASSERT_EQ(VCL_PK11_Initialize(), 0);
        ASSERT_EQ(VCL_PK11_Open_Session(3, nullptr, 0, &session), 0);
    }
    void TearDown() override {
        if (m_handle) dlclose(m_handle);
        VCL_PK11_Unload_Library();
    }

    void (*set)(CK_ULONG length, CK_ULONG found, CK_RV findRv, CK_RV loginRv, CK_RV destroyRv) = nullptr;
    int (*openSearches)() = nullptr;
    int (*destroyed)() = nullptr;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;

private:
    void* m_handle = nullptr;
};

// Lengths a module cannot mean (its "no value", 16 MiB) and more objects
// than asked for are refused without reading or allocating by them; every
// search started is finalised.
TEST_F(Hostile, LengthsAndCountsRefused) {
    const CK_ULONG lengths[] = {CK_UNAVAILABLE_INFORMATION, CK_ULONG{16} << 20};
    for (CK_ULONG length : lengths) {
        set(length, 1, CKR_OK, CKR_OK, CKR_OK);
        Buf<unsigned char> out;
        int len = 0;
        EXPECT_EQ(coretest::rc(VCL_PK11_Get_Cert(session, "id", 2, out.out(), &len)), 0xb4180088u) << length;
        unsigned char buffer[VCL_PK11_MAX_VID_RANDOM];
        len = sizeof buffer;
        EXPECT_EQ(coretest::rc(VCL_PK11_Get_Vid_Random(session, "id", 2, buffer, &len)), 0xb41d0088u) << length;
        PKISTRINFO records[2] = {};
        int count = -1;
        EXPECT_EQ(coretest::rc(VCL_PK11_Get_All_Certs(session, records, 2, &count)), 0xb4240088u) << length;
        EXPECT_EQ(count, 0);
        EXPECT_EQ(records[0].cert, nullptr);
        const std::string x = "x";
        EXPECT_EQ(coretest::rc(VCL_PK11_RSA_Sign(session, "id", 2, 'L', "SHA256", 1, u(x), 1, out.out(), &len)),
                  0xb4120052u)
            << length;
        len = sizeof buffer;
        EXPECT_EQ(coretest::rc(VCL_PK11_Hash(session, "SHA256", u(x), 1, buffer, &len)), 0xb415000bu) << length;
        EXPECT_EQ(openSearches(), 0);
    }
    // Longer than a VID random or a digest may be, yet a plausible value.
    set(300, 1, CKR_OK, CKR_OK, CKR_OK);
    unsigned char buffer[VCL_PK11_MAX_VID_RANDOM];
    int len = sizeof buffer;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_Vid_Random(session, "id", 2, buffer, &len)), 0xb41d0088u);
    const std::string x = "x";
    EXPECT_EQ(coretest::rc(VCL_PK11_Hash(session, "SHA256", u(x), 1, buffer, &len)), 0xb415000bu);
    Buf<unsigned char> sig;
    ASSERT_EQ(VCL_PK11_RSA_Sign(session, "id", 2, 'L', "SHA256", 1, u(x), 1, sig.out(), &len), 0);
    EXPECT_EQ(len, 300);
    // A search that reports more than it was asked for.
    set(4, VCL_PK11_MAX_CERTS + 1, CKR_OK, CKR_OK, CKR_OK);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    EXPECT_EQ(coretest::rc(VCL_PK11_find_object_by_id(session, CKO_CERTIFICATE, "id", 2, &h)), 0xb40d0082u);
    int count = -1;
    EXPECT_EQ(coretest::rc(VCL_PK11_Get_All_Certs_Count(session, &count)), 0xb4230082u);
    EXPECT_EQ(openSearches(), 0);

    CK_ULONG freePublic = 0, freePrivate = 0;
    EXPECT_EQ(VCL_PK11_Get_Token_FreeMemory(3, &freePublic, &freePrivate), 0);
    EXPECT_EQ(freePublic, 1000u);
    EXPECT_EQ(freePrivate, CK_UNAVAILABLE_INFORMATION);
}

// A search that fails is not an object that is not there: deletions report
// it instead of success, and destroy nothing.
TEST_F(Hostile, FailedSearchIsNoMissingObject) {
    set(4, 0, CKR_DEVICE_ERROR, CKR_OK, CKR_OK);
    EXPECT_EQ(coretest::rc(VCL_PK11_Delete_Sym_Key(session, "k", 1)), 0xb40d0082u);
    EXPECT_EQ(coretest::rc(VCL_PK11_Delete_RSAKey(session, "k", 1)), 0xb40d0082u);
    set(4, 0, CKR_OK, CKR_OK, CKR_OK);
    EXPECT_EQ(VCL_PK11_Delete_Sym_Key(session, "k", 1), 0);
    EXPECT_EQ(VCL_PK11_Delete_RSAKey(session, "k", 1), 0);
    EXPECT_EQ(destroyed(), 0);
    set(4, 1, CKR_OK, CKR_OK, CKR_DEVICE_ERROR);
    EXPECT_EQ(coretest::rc(VCL_PK11_Delete_Sym_Key(session, "k", 1)), 0xb4210089u);
    EXPECT_EQ(coretest::rc(VCL_PK11_Delete_RSAKey(session, "k", 1)), 0xb419008bu);
    EXPECT_EQ(coretest::rc(VCL_PK11_delete_object(session, CKO_DATA, "k", 1)), 0xb4160089u);
    EXPECT_EQ(openSearches(), 0);

    // Logins: a wrong PIN, and one already done.
    CK_SESSION_HANDLE s = CK_INVALID_HANDLE;
    set(4, 0, CKR_OK, CKR_PIN_INCORRECT, CKR_OK);
    EXPECT_EQ(coretest::rc(VCL_PK11_Open_Session(3, "1", 1, &s)), 0xb40a0080u);
    EXPECT_EQ(s, 9u);
    set(4, 0, CKR_OK, CKR_USER_ALREADY_LOGGED_IN, CKR_OK);
    EXPECT_EQ(VCL_PK11_Open_Session(3, "1", 1, &s), 0);
}

}  // namespace

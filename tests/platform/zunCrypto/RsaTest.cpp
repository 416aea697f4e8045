// RSA signatures and encryption against the openssl tool.
#include "CryptoTestUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <utility>

#include <sstream>

using namespace zctest;

namespace {

struct RsaDeleter {
    void operator()(RSA_UNIT* r) const { VSC_Free_RSA(r); }
};
using RsaPtr = std::unique_ptr<RSA_UNIT, RsaDeleter>;

struct DigestName {
    int id;
    const char* name;
};
const DigestName kDigests[] = {{VSC_DIGEST_SHA1, "sha1"},     {VSC_DIGEST_SHA224, "sha224"},
                               {VSC_DIGEST_SHA256, "sha256"}, {VSC_DIGEST_SHA384, "sha384"},
                               {VSC_DIGEST_SHA512, "sha512"}, {VSC_DIGEST_MD5, "md5"}};

class VscRsa : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new zqtest::TempDir("vscrsa");
        zqtest::RunResult r = zqtest::run(
            {zqtest::kPython, zqtest::sourceDir() + "/tests/platform/zunCrypto/rsa_fixture.py", s_dir->path(), "2048"});
        ASSERT_EQ(r.status, 0);
        std::istringstream in(r.output);
        std::string line;
        while (std::getline(in, line)) s_values.push_back(line);
        ASSERT_EQ(s_values.size(), 8u);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    // A unit of the fixture key: all eight values, or only the first count.
    static RsaPtr key(int count = 8) {
        std::vector<BIGINT*> v;
        for (int i = 0; i < 8; ++i) v.push_back(i < count ? VSC_HEX_To_BIGINT(s_values[i].c_str()) : nullptr);
        RsaPtr r(VSC_New_RSA());
        EXPECT_EQ(VSC_Set_RSA_Params(r.get(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]), VSC_OK);
        for (auto* b : v) VSC_Free_BIGINT(b);
        return r;
    }
    static RsaPtr publicKey() { return key(2); }
    static std::string file(const std::string& name) { return s_dir->path() + "/" + name; }
    static std::string write(const std::string& name, const Bytes& data) {
        zqtest::writeFile(file(name), std::string(data.begin(), data.end()));
        return file(name);
    }

    static Bytes sign(RSA_UNIT* r, int digest, int mode, const Bytes& msg) {
        EXPECT_EQ(VSC_Init_RSASSA(r, digest, mode, 1), VSC_OK);
        EXPECT_EQ(VSC_Update_RSASSA(r, msg.data(), static_cast<int>(msg.size())), VSC_OK);
        Bytes sig(static_cast<size_t>(VSC_Get_RSA_Length(r)) + 1);
        int len = static_cast<int>(sig.size());
        EXPECT_EQ(VSC_Final_RSASSA(r, sig.data(), &len), VSC_OK);
        sig.resize(static_cast<size_t>(len));
        return sig;
    }
    static int verify(RSA_UNIT* r, int digest, int mode, const Bytes& msg, const Bytes& sig) {
        EXPECT_EQ(VSC_Init_RSASSA(r, digest, mode, 0), VSC_OK);
        EXPECT_EQ(VSC_Update_RSASSA(r, msg.data(), static_cast<int>(msg.size())), VSC_OK);
        int len = static_cast<int>(sig.size());
        return VSC_Final_RSASSA(r, const_cast<unsigned char*>(sig.data()), &len);
    }
    static Bytes encrypt(RSA_UNIT* r, int mode, int usePrivate, const Bytes& msg, int* rc = nullptr) {
        EXPECT_EQ(VSC_Init_RSAES(r, mode, usePrivate, 0), VSC_OK);
        Bytes out(static_cast<size_t>(VSC_Get_RSA_Length(r)));
        int len = 0;
        int res = VSC_Encrypt_RSAES(r, out.data(), &len, msg.data(), static_cast<int>(msg.size()));
        if (rc != nullptr)
            *rc = res;
        else
            EXPECT_EQ(res, VSC_OK);
        out.resize(static_cast<size_t>(len));
        return out;
    }
    static Bytes decrypt(RSA_UNIT* r, int mode, int usePrivate, const Bytes& in, int* rc = nullptr) {
        EXPECT_EQ(VSC_Init_RSAES(r, mode, usePrivate, 0), VSC_OK);
        Bytes out(static_cast<size_t>(VSC_Get_RSA_Length(r)));
        int len = static_cast<int>(out.size());
        int res = VSC_Decrypt_RSAES(r, out.data(), &len, in.data(), static_cast<int>(in.size()));
        if (rc != nullptr)
            *rc = res;
        else
            EXPECT_EQ(res, VSC_OK);
        out.resize(res == VSC_OK ? static_cast<size_t>(len) : 0);
        return out;
    }
    static Bytes digestOf(int id, const Bytes& msg) {
        unsigned char out[VSC_MAX_DIGEST_LENGTH];
        int n = 0;
        EXPECT_EQ(VSC_DIGEST(id, msg.data(), static_cast<int>(msg.size()), out, &n), VSC_OK);
        return Bytes(out, out + n);
    }

    static inline zqtest::TempDir* s_dir = nullptr;
    static inline std::vector<std::string> s_values;
};

}  // namespace

TEST_F(VscRsa, OurSignaturesVerifyWithOpensslAndTheirsWithOurs) {
    RsaPtr priv = key(), pub = publicKey();
    Bytes msg = pattern(1000, 3);
    for (const auto& d : kDigests) {
        std::string digestFile = write("digest", digestOf(d.id, msg));
        std::string md = std::string("digest:") + d.name;
        // PKCS#1 v1.5 is deterministic: our bytes equal OpenSSL's.
        Bytes ours = sign(priv.get(), d.id, VSC_RSASSA_PKCS1_V15, msg);
        Bytes theirs =
            bytesOf(openssl({"pkeyutl", "-sign", "-inkey", file("priv.pem"), "-in", digestFile, "-pkeyopt", md}));
        EXPECT_EQ(toHex(ours), toHex(theirs)) << d.name;
        EXPECT_EQ(verify(pub.get(), d.id, VSC_RSASSA_PKCS1_V15, msg, theirs), VSC_OK) << d.name;

        // PSS: our salt is the digest length unless the mode gives one
        // (bits 16-23); OpenSSL checks exactly that length.
        int hLen = VSC_Get_DIGEST_Length(d.id);
        for (int salt : {0, 20}) {
            SCOPED_TRACE(std::string(d.name) + " salt " + std::to_string(salt));
            int mode = VSC_RSASSA_PSS | (salt << 16);
            Bytes pss = sign(priv.get(), d.id, mode, msg);
            std::string saltText = std::to_string(salt == 0 ? hLen : salt);
            EXPECT_EQ(opensslStatus({"pkeyutl", "-verify", "-pubin", "-inkey", file("pub.pem"), "-in", digestFile,
                                     "-sigfile", write("sig", pss), "-pkeyopt", md, "-pkeyopt", "rsa_padding_mode:pss",
                                     "-pkeyopt", "rsa_pss_saltlen:" + saltText}),
                      0);
        }
        // OpenSSL's PSS signature with a salt of its own choice: our verifier
        // takes any salt length when the mode names none.
        Bytes theirPss = bytesOf(openssl({"pkeyutl", "-sign", "-inkey", file("priv.pem"), "-in", digestFile, "-pkeyopt",
                                          md, "-pkeyopt", "rsa_padding_mode:pss", "-pkeyopt", "rsa_pss_saltlen:11"}));
        EXPECT_EQ(verify(pub.get(), d.id, VSC_RSASSA_PSS, msg, theirPss), VSC_OK) << d.name;
        EXPECT_EQ(verify(pub.get(), d.id, VSC_RSASSA_PSS | (11 << 16), msg, theirPss), VSC_OK) << d.name;
        EXPECT_EQ(verify(pub.get(), d.id, VSC_RSASSA_PSS | (12 << 16), msg, theirPss), VSC_FAIL) << d.name;
    }
}

// The exact-salt start: a PSS signature verifies only under the salt length
// it was made with, 0 included, both ways with openssl; the mode's salt bits
// keep their meaning (0: the digest's length to sign, any length to verify).
TEST_F(VscRsa, ExactPssSaltLengths) {
    RsaPtr priv = key(), pub = publicKey();
    const Bytes msg = pattern(1000, 5);
    const std::string digestFile = write("digest", digestOf(VSC_DIGEST_SHA256, msg));
    auto pssOpts = [](int salt) {
        return std::vector<std::string>{"-pkeyopt", "digest:sha256",
                                        "-pkeyopt", "rsa_padding_mode:pss",
                                        "-pkeyopt", "rsa_pss_saltlen:" + std::to_string(salt)};
    };
    auto exact = [&](RSA_UNIT* r, int salt, int sign, Bytes sig) {
        EXPECT_EQ(VSC_Init_RSASSA_PSS(r, VSC_DIGEST_SHA256, salt, sign), VSC_OK);
        EXPECT_EQ(VSC_Update_RSASSA(r, msg.data(), static_cast<int>(msg.size())), VSC_OK);
        int len = static_cast<int>(sig.size());
        const int rc = VSC_Final_RSASSA(r, sig.data(), &len);
        sig.resize(rc == VSC_OK ? static_cast<size_t>(len) : 0);
        return std::make_pair(rc, sig);
    };
    const int salts[] = {0, 20, 32};
    for (int made : salts) {
        SCOPED_TRACE("made with " + std::to_string(made));
        std::vector<std::string> args{"pkeyutl", "-sign", "-inkey", file("priv.pem"), "-in", digestFile};
        for (const auto& o : pssOpts(made)) args.push_back(o);
        const Bytes theirs = bytesOf(openssl(args));
        for (int asked : salts)
            EXPECT_EQ(exact(pub.get(), asked, 0, theirs).first, asked == made ? VSC_OK : VSC_FAIL) << asked;
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PSS, msg, theirs), VSC_OK);

        const auto [rc, ours] = exact(priv.get(), made, 1, Bytes(256));
        ASSERT_EQ(rc, VSC_OK);
        const std::string sigFile = write("sig", ours);
        for (int asked : salts) {
            std::vector<std::string> check{"pkeyutl", "-verify",  "-pubin",   "-inkey", file("pub.pem"),
                                           "-in",     digestFile, "-sigfile", sigFile};
            for (const auto& o : pssOpts(asked)) check.push_back(o);
            EXPECT_EQ(opensslStatus(check) == 0, asked == made) << asked;
        }
    }
    // The longest salt a 2048-bit key holds with SHA-256 is 256 - 32 - 2.
    const auto [longest, longSig] = exact(priv.get(), 222, 1, Bytes(256));
    ASSERT_EQ(longest, VSC_OK);
    EXPECT_EQ(exact(pub.get(), 222, 0, longSig).first, VSC_OK);
    EXPECT_EQ(exact(priv.get(), 223, 1, Bytes(256)).first, VSC_FAIL);
    EXPECT_EQ(VSC_Init_RSASSA_PSS(priv.get(), VSC_DIGEST_SHA256, -1, 1), VSC_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(VSC_Init_RSASSA_PSS(nullptr, VSC_DIGEST_SHA256, 0, 1), VSC_ERR_NULL_ARGUMENT);
}

TEST_F(VscRsa, BadSignaturesFailAndNeverPass) {
    RsaPtr priv = key(), pub = publicKey();
    Bytes msg = bytesOf("the signed text");
    for (int mode : {VSC_RSASSA_PKCS1_V15, VSC_RSASSA_PSS, 0x05200302 /* PSS, SHA-256, salt 32 */}) {
        SCOPED_TRACE(mode);
        Bytes sig = sign(priv.get(), VSC_DIGEST_SHA256, mode, msg);
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, msg, sig), VSC_OK);
        EXPECT_EQ(VSC_Init_RSASSA(pub.get(), VSC_DIGEST_SHA256, mode, 0), VSC_OK);
        EXPECT_EQ(VSC_Update_RSASSA(pub.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
        EXPECT_EQ(VSC_Verify_RSASSA(pub.get(), sig.data(), static_cast<int>(sig.size())), VSC_OK);

        for (size_t bit : {0u, 7u, 1000u, 2047u}) {
            Bytes bad = sig;
            bad[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
            EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, msg, bad), VSC_FAIL) << bit;
        }
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, bytesOf("the signed text!"), sig), VSC_FAIL);
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA1, mode, msg, sig), VSC_FAIL);
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, msg, Bytes(sig.begin(), sig.end() - 1)), VSC_FAIL);
        Bytes longer = sig;
        longer.push_back(0);
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, msg, longer), VSC_FAIL);
        EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, mode, msg, Bytes(sig.size(), 0xff)), VSC_FAIL);
    }
    // A signature whose first byte is zero has that byte: without it, it is
    // the same number but not the same bytes, and openssl refuses it too.
    Bytes leadingZero, zeroMsg;
    for (int i = 0; i < 4000 && leadingZero.empty(); ++i) {
        zeroMsg = bytesOf("message " + std::to_string(i));
        Bytes sig = sign(priv.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, zeroMsg);
        if (sig[0] == 0) leadingZero = sig;
    }
    ASSERT_FALSE(leadingZero.empty());
    EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, zeroMsg, leadingZero), VSC_OK);
    const Bytes dropped(leadingZero.begin() + 1, leadingZero.end());
    EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, zeroMsg, dropped), VSC_FAIL);
    const std::string digestFile = write("digest", digestOf(VSC_DIGEST_SHA256, zeroMsg));
    for (const Bytes* sig : std::initializer_list<const Bytes*>{&leadingZero, &dropped})
        EXPECT_EQ(opensslStatus({"pkeyutl", "-verify", "-pubin", "-inkey", file("pub.pem"), "-in", digestFile,
                                 "-sigfile", write("sig", *sig), "-pkeyopt", "digest:sha256"}) == 0,
                  sig == &leadingZero);
    // A v1.5 signature is not a PSS one.
    Bytes v15 = sign(priv.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg);
    EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PSS, msg, v15), VSC_FAIL);
}

TEST_F(VscRsa, EncryptionInteroperatesWithOpenssl) {
    RsaPtr priv = key(), pub = publicKey();
    Bytes secret = pattern(32, 8);
    struct Case {
        int mode;
        std::vector<std::string> opts;
    } cases[] = {
        {VSC_RSAES_PKCS1_V15, {"-pkeyopt", "rsa_padding_mode:pkcs1"}},
        {VSC_RSAES_OAEP, {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha1"}},
        {VSC_RSAES_OAEP_V21, {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha1"}},
        {VSC_RSAES_OAEP | VSC_DIGEST_SHA256,
         {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha256", "-pkeyopt", "rsa_mgf1_md:sha256"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Bytes ct = encrypt(pub.get(), c.mode, 0, secret);
        ASSERT_EQ(ct.size(), 256u);
        std::vector<std::string> args{"pkeyutl", "-decrypt", "-inkey", file("priv.pem"), "-in", write("ct", ct)};
        args.insert(args.end(), c.opts.begin(), c.opts.end());
        EXPECT_EQ(toHex(bytesOf(openssl(args))), toHex(secret));

        args = {"pkeyutl", "-encrypt", "-pubin", "-inkey", file("pub.pem"), "-in", write("pt", secret)};
        args.insert(args.end(), c.opts.begin(), c.opts.end());
        Bytes theirs = bytesOf(openssl(args));
        EXPECT_EQ(toHex(decrypt(priv.get(), c.mode, 1, theirs)), toHex(secret));
    }
    // Raw RSA both ways.
    Bytes raw = pattern(256, 2);
    raw[0] = 0x01;  // below the modulus
    Bytes rawCt = encrypt(pub.get(), VSC_RSAES_RAW, 0, raw);
    EXPECT_EQ(toHex(rawCt), toHex(bytesOf(openssl({"pkeyutl", "-encrypt", "-pubin", "-inkey", file("pub.pem"), "-in",
                                                   write("raw", raw), "-pkeyopt", "rsa_padding_mode:none"}))));
    EXPECT_EQ(toHex(decrypt(priv.get(), VSC_RSAES_RAW, 1, rawCt)), toHex(raw));
}

TEST_F(VscRsa, PrivateKeyBlockTypeOneIsRecoveredWithThePublicKey) {
    // The "private encryption" that the agent's image check decrypts with a certificate.
    RsaPtr priv = key(), pub = publicKey();
    Bytes data = bytesOf("image digest");
    Bytes ct = encrypt(priv.get(), VSC_RSAES_PKCS1_V15, 1, data);
    EXPECT_EQ(toHex(bytesOf(
                  openssl({"pkeyutl", "-verifyrecover", "-pubin", "-inkey", file("pub.pem"), "-in", write("t1", ct)}))),
              toHex(data));
    EXPECT_EQ(toHex(decrypt(pub.get(), VSC_RSAES_PKCS1_V15, 0, ct)), toHex(data));
    Bytes theirs = bytesOf(openssl({"pkeyutl", "-sign", "-inkey", file("priv.pem"), "-in", write("d", data)}));
    EXPECT_EQ(toHex(decrypt(pub.get(), VSC_RSAES_PKCS1_V15, 0, theirs)), toHex(data));
    // OAEP works in this direction too (our own encoding).
    Bytes oaep = encrypt(priv.get(), VSC_RSAES_OAEP, 1, data);
    EXPECT_EQ(toHex(decrypt(pub.get(), VSC_RSAES_OAEP, 0, oaep)), toHex(data));
}

TEST_F(VscRsa, WrongPaddingFails) {
    RsaPtr priv = key(), pub = publicKey();
    Bytes data = pattern(20, 1);
    Bytes v15 = encrypt(pub.get(), VSC_RSAES_PKCS1_V15, 0, data);
    Bytes oaep = encrypt(pub.get(), VSC_RSAES_OAEP, 0, data);
    Bytes oaep256 = encrypt(pub.get(), VSC_RSAES_OAEP | VSC_DIGEST_SHA256, 0, data);
    int rc = 0;
    // Each ciphertext under the other schemes, and under the wrong key direction.
    decrypt(priv.get(), VSC_RSAES_OAEP, 1, v15, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    decrypt(priv.get(), VSC_RSAES_PKCS1_V15, 1, oaep, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    decrypt(priv.get(), VSC_RSAES_OAEP, 1, oaep256, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    decrypt(priv.get(), VSC_RSAES_OAEP | VSC_DIGEST_HAS160, 1, oaep, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    decrypt(pub.get(), VSC_RSAES_PKCS1_V15, 0, v15, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    decrypt(pub.get(), VSC_RSAES_OAEP, 0, oaep, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    Bytes flipped = v15;
    flipped[100] ^= 4;
    decrypt(priv.get(), VSC_RSAES_PKCS1_V15, 1, flipped, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    // Too long for the padding, a value above the modulus.
    encrypt(pub.get(), VSC_RSAES_PKCS1_V15, 0, pattern(246), &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    encrypt(pub.get(), VSC_RSAES_OAEP, 0, pattern(215), &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    EXPECT_EQ(encrypt(pub.get(), VSC_RSAES_OAEP, 0, pattern(214)).size(), 256u);
    decrypt(priv.get(), VSC_RSAES_RAW, 1, Bytes(256, 0xff), &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    // Output room: the plaintext does not fit.
    ASSERT_EQ(VSC_Init_RSAES(priv.get(), VSC_RSAES_PKCS1_V15, 1, 0), VSC_OK);
    unsigned char small[10];
    int len = sizeof small;
    EXPECT_EQ(VSC_Decrypt_RSAES(priv.get(), small, &len, v15.data(), 256), VSC_ERR_BUFFER_TOO_SMALL);
}

TEST_F(VscRsa, EncodersWithTheRawOperationMakeValidSignatures) {
    // The core library's digest signing: encode, then the raw private operation.
    RsaPtr priv = key();
    Bytes msg = pattern(77, 4);
    Bytes digest = digestOf(VSC_DIGEST_SHA256, msg);
    std::string digestFile = write("digest", digest);
    Bytes em(256);
    ASSERT_EQ(VSC_Add_EMSA_PKCS1_v1_5_Encode(em.data(), 256, digest.data(), 32, VSC_DIGEST_SHA256), VSC_OK);
    Bytes sig = encrypt(priv.get(), VSC_RSAES_RAW, 1, em);
    EXPECT_EQ(sig, sign(priv.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg));

    ASSERT_EQ(VSC_Init_RSASSA(priv.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PSS, 1), VSC_OK);
    Bytes pem(257, 0xEE);
    ASSERT_EQ(VSC_Add_RSASSA_PKCS1_PSS_Encode(priv.get(), pem.data(), 257, digest.data(), 32, 32, priv->digest_unit),
              VSC_OK);
    EXPECT_EQ(pem[0], 0);
    Bytes pss = encrypt(priv.get(), VSC_RSAES_RAW, 1, Bytes(pem.begin() + 1, pem.end()));
    EXPECT_EQ(opensslStatus({"pkeyutl", "-verify", "-pubin", "-inkey", file("pub.pem"), "-in", digestFile, "-sigfile",
                             write("sig", pss), "-pkeyopt", "digest:sha256", "-pkeyopt", "rsa_padding_mode:pss",
                             "-pkeyopt", "rsa_pss_saltlen:32"}),
              0);
    // A salt that does not fit is refused, however large the number.
    for (int salt : {256 - 32 - 1, INT_MAX - 33, INT_MAX})
        EXPECT_EQ(
            VSC_Add_RSASSA_PKCS1_PSS_Encode(priv.get(), pem.data(), 257, digest.data(), 32, salt, priv->digest_unit),
            VSC_FAIL)
            << salt;
    EXPECT_EQ(VSC_Add_EMSA_PKCS1_v1_5_Encode(em.data(), 40, digest.data(), 32, VSC_DIGEST_SHA256), VSC_FAIL);
    EXPECT_EQ(VSC_Add_EMSA_PKCS1_v1_5_Encode(em.data(), 256, digest.data(), 20, VSC_DIGEST_SHA256),
              VSC_ERR_INVALID_LENGTH);
}

TEST_F(VscRsa, KeyRecordsAndPartialKeys) {
    RsaPtr full = key();
    EXPECT_EQ(full->flag, VSC_RSA_FLAG_FULL);
    EXPECT_EQ(full->is_private, 1);
    EXPECT_EQ(VSC_Get_RSA_Length(full.get()), 256);
    RsaPtr pub = publicKey();
    EXPECT_EQ(pub->flag, VSC_RSA_FLAG_PUBLIC);
    EXPECT_EQ(pub->is_private, 0);
    // n, e, d only: signs without the CRT values.
    RsaPtr nd = key(3);
    EXPECT_EQ(nd->flag, VSC_RSA_FLAG_PRIVATE);
    Bytes msg = bytesOf("partial");
    Bytes sig = sign(nd.get(), VSC_DIGEST_SHA1, 1, msg);
    EXPECT_EQ(sig, sign(full.get(), VSC_DIGEST_SHA1, 1, msg));
    // After Final the unit takes a next message without a new Init.
    ASSERT_EQ(VSC_Update_RSASSA(nd.get(), msg.data(), static_cast<int>(msg.size())), VSC_OK);
    Bytes again(256);
    int againLen = 256;
    ASSERT_EQ(VSC_Final_RSASSA(nd.get(), again.data(), &againLen), VSC_OK);
    EXPECT_EQ(again, sig);
    // n, e, d, p, q: the CRT values are computed.
    RsaPtr five = key(5);
    EXPECT_EQ(five->flag, VSC_RSA_FLAG_FULL);
    EXPECT_EQ(VSC_Cmp_BIGINT(five->qInv, full->qInv), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(five->dP, full->dP), 0);

    // CRT values that cannot be made (q equal to p) leave the unit as it was.
    RsaPtr kept = key(3);
    EXPECT_EQ(VSC_Set_RSA_Params(kept.get(), full->n, full->e, five->d, full->p, full->p, nullptr, nullptr, nullptr),
              VSC_ERR_INVALID_KEY);
    EXPECT_EQ(kept->flag, VSC_RSA_FLAG_PRIVATE);
    EXPECT_EQ(kept->p, nullptr);
    EXPECT_EQ(kept->q, nullptr);
    EXPECT_EQ(sign(kept.get(), VSC_DIGEST_SHA1, 1, msg), sig);

    RsaPtr copy(VSC_Dup_RSA(full.get()));
    EXPECT_EQ(copy->flag, VSC_RSA_FLAG_FULL);
    EXPECT_EQ(VSC_Cmp_BIGINT(copy->d, full->d), 0);
    EXPECT_EQ(sign(copy.get(), VSC_DIGEST_SHA1, 1, msg), sig);

    // Wrong uses.
    EXPECT_EQ(VSC_Init_RSASSA(pub.get(), VSC_DIGEST_SHA1, 1, 1), VSC_ERR_KEY_MISSING);
    EXPECT_EQ(VSC_Init_RSAES(pub.get(), VSC_RSAES_PKCS1_V15, 1, 0), VSC_ERR_KEY_MISSING);
    EXPECT_EQ(VSC_Init_RSASSA(full.get(), VSC_DIGEST_SHA1, 3, 1), VSC_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(VSC_Init_RSASSA(full.get(), VSC_DIGEST_MDC2, 1, 1), VSC_ERR_UNSUPPORTED);
    EXPECT_EQ(VSC_Init_RSAES(full.get(), 4, 0, 0), VSC_ERR_INVALID_ARGUMENT);
    RsaPtr empty(VSC_New_RSA());
    EXPECT_EQ(VSC_Get_RSA_Length(empty.get()), -1);
    EXPECT_EQ(VSC_Update_RSASSA(empty.get(), msg.data(), 1), VSC_ERR_NOT_INITIALIZED);
    // Signing into a room smaller than the modulus.
    ASSERT_EQ(VSC_Init_RSASSA(full.get(), VSC_DIGEST_SHA1, 1, 1), VSC_OK);
    Bytes room(256);
    int len = 100;
    EXPECT_EQ(VSC_Final_RSASSA(full.get(), room.data(), &len), VSC_ERR_BUFFER_TOO_SMALL);
    VSC_Clean_RSA(full.get());
    EXPECT_EQ(full->n, nullptr);
    EXPECT_EQ(full->flag, 0);
}

TEST_F(VscRsa, GeneratedKeysAndHas160Signatures) {
    RsaPtr r(VSC_New_RSA());
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(r.get(), 65537, 2048, 0), VSC_OK);
    EXPECT_EQ(r->flag, VSC_RSA_FLAG_FULL);
    EXPECT_EQ(VSC_Get_BIGINT_Bits_Length(r->n), 2048);
    EXPECT_EQ(VSC_Get_BIGINT_Word(r->e), 65537u);
    Bytes msg = pattern(500, 9);
    for (int mode : {VSC_RSASSA_PKCS1_V15, VSC_RSASSA_PSS}) {
        // HAS-160 is ours: a round trip, and the tamper check.
        Bytes sig = sign(r.get(), VSC_DIGEST_HAS160, mode, msg);
        EXPECT_EQ(verify(r.get(), VSC_DIGEST_HAS160, mode, msg, sig), VSC_OK);
        sig[5] ^= 1;
        EXPECT_EQ(verify(r.get(), VSC_DIGEST_HAS160, mode, msg, sig), VSC_FAIL);
    }
    EXPECT_EQ(VSC_Generate_RSA_Params_Ex(r.get(), 65536, 2048, 0), VSC_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(VSC_Generate_RSA_Params_Ex(r.get(), 3, 512, 0), VSC_ERR_INVALID_ARGUMENT);
}

// The unit keeps OpenSSL's key between operations; values set directly in
// the record, in place or by new BIGINTs, are still the ones used.
TEST_F(VscRsa, KeptKeyFollowsTheValuesSetDirectly) {
    RsaPtr a = key();
    RsaPtr b(VSC_New_RSA());
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(b.get(), 65537, 1024, 0), VSC_OK);
    RsaPtr aPub = publicKey(), bPub(VSC_New_RSA());
    ASSERT_EQ(VSC_Set_RSA_Public_Params(bPub.get(), b->n, b->e), VSC_OK);
    const Bytes msg = bytesOf("kept key");
    auto signedBy = [&](RSA_UNIT* unit) {
        const Bytes sig = sign(unit, VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg);
        if (verify(aPub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg, sig) == VSC_OK) return 'a';
        if (verify(bPub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg, sig) == VSC_OK) return 'b';
        return '?';
    };
    RsaPtr unit = key();
    EXPECT_EQ(signedBy(unit.get()), 'a');
    // New BIGINTs in the members, as a decoder fills a record.
    for (int i = 0; i < 8; ++i) {
        BIGINT** slots[] = {&unit->n, &unit->e, &unit->d, &unit->p, &unit->q, &unit->dP, &unit->dQ, &unit->qInv};
        const BIGINT* from[] = {b->n, b->e, b->d, b->p, b->q, b->dP, b->dQ, b->qInv};
        VSC_Free_BIGINT(*slots[i]);
        *slots[i] = VSC_Dup_BIGINT(from[i]);
    }
    EXPECT_EQ(signedBy(unit.get()), 'b');
    // The same BIGINTs given other values in place.
    for (auto [to, from] : {std::pair{unit->n, a->n},
                            {unit->e, a->e},
                            {unit->d, a->d},
                            {unit->p, a->p},
                            {unit->q, a->q},
                            {unit->dP, a->dP},
                            {unit->dQ, a->dQ},
                            {unit->qInv, a->qInv}})
        ASSERT_EQ(VSC_Copy_BIGINT(to, from), VSC_OK);
    EXPECT_EQ(signedBy(unit.get()), 'a');
    // The CRT values taken away: n, e and d alone still sign.
    for (BIGINT** v : {&unit->p, &unit->q, &unit->dP, &unit->dQ, &unit->qInv}) {
        VSC_Free_BIGINT(*v);
        *v = nullptr;
    }
    EXPECT_EQ(signedBy(unit.get()), 'a');
    // d taken away: no private operation.
    VSC_Free_BIGINT(unit->d);
    unit->d = nullptr;
    EXPECT_EQ(VSC_Init_RSASSA(unit.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, 1), VSC_ERR_KEY_MISSING);
    // The setter replaces the key too, and decryption follows as signing does.
    ASSERT_EQ(VSC_Set_RSA_Params(unit.get(), b->n, b->e, b->d, b->p, b->q, b->dP, b->dQ, b->qInv), VSC_OK);
    EXPECT_EQ(signedBy(unit.get()), 'b');
    const Bytes secret = bytesOf("a secret");
    EXPECT_EQ(decrypt(unit.get(), VSC_RSAES_PKCS1_V15, 1, encrypt(bPub.get(), VSC_RSAES_PKCS1_V15, 0, secret)), secret);
    ASSERT_EQ(VSC_Copy_BIGINT(unit->d, a->d), VSC_OK);
    ASSERT_EQ(VSC_Copy_BIGINT(unit->n, a->n), VSC_OK);
    for (BIGINT** v : {&unit->p, &unit->q, &unit->dP, &unit->dQ, &unit->qInv}) {
        VSC_Free_BIGINT(*v);
        *v = nullptr;
    }
    EXPECT_EQ(decrypt(unit.get(), VSC_RSAES_OAEP_V21, 1, encrypt(aPub.get(), VSC_RSAES_OAEP_V21, 0, secret)), secret);
}

// Copies share the key their source made (or the one they make first) until
// the values of one of them change; copies made and used from several
// threads at once all sign with their own values.
TEST_F(VscRsa, CopiesShareTheKeptKeyUntilTheirValuesDiffer) {
    RsaPtr source = key(), pub = publicKey();
    RsaPtr other(VSC_New_RSA());
    ASSERT_EQ(VSC_Generate_RSA_Params_Ex(other.get(), 65537, 1024, 0), VSC_OK);
    const Bytes msg = bytesOf("copies");
    const Bytes expected = sign(source.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg);
    RsaPtr copy(VSC_Dup_RSA(source.get()));
    ASSERT_EQ(VSC_Copy_BIGINT(copy->n, other->n), VSC_OK);
    ASSERT_EQ(VSC_Copy_BIGINT(copy->d, other->d), VSC_OK);
    for (BIGINT** v : {&copy->p, &copy->q, &copy->dP, &copy->dQ, &copy->qInv}) {
        VSC_Free_BIGINT(*v);
        *v = nullptr;
    }
    const Bytes fromCopy = sign(copy.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg);
    EXPECT_EQ(fromCopy.size(), 128u);
    EXPECT_EQ(sign(source.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg), expected);
    RsaPtr second(VSC_Dup_RSA(copy.get()));
    EXPECT_EQ(sign(second.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg), fromCopy);
    copy.reset();
    EXPECT_EQ(sign(second.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg), fromCopy);

    // One unit copied by many threads (as a CA key is for each check), each
    // copy signing and verifying; a fresh source whose key nobody made yet.
    RsaPtr shared = key();
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 4; ++i) {
                RsaPtr mine(VSC_Dup_RSA(shared.get()));
                Bytes sig(256);
                int len = 256;
                if (!mine || VSC_Init_RSASSA(mine.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, 1) != VSC_OK ||
                    VSC_Update_RSASSA(mine.get(), msg.data(), static_cast<int>(msg.size())) != VSC_OK ||
                    VSC_Final_RSASSA(mine.get(), sig.data(), &len) != VSC_OK || sig != expected)
                    continue;
                if (VSC_Init_RSASSA(mine.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, 0) == VSC_OK &&
                    VSC_Update_RSASSA(mine.get(), msg.data(), static_cast<int>(msg.size())) == VSC_OK &&
                    VSC_Verify_RSASSA(mine.get(), sig.data(), len) == VSC_OK)
                    ++good;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), 24);
    EXPECT_EQ(verify(pub.get(), VSC_DIGEST_SHA256, VSC_RSASSA_PKCS1_V15, msg, expected), VSC_OK);
}

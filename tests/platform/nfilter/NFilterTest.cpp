// The NSHC keypad library against python3-cryptography playing the keypad
// page (nfilter_peer.py): the same public key, the same derived key, the
// page's cipher text deciphered; and what it must refuse.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "nfilter/NFilterOpenWeb.h"

namespace {

std::string peerScript() { return zqtest::sourceDir() + "/tests/platform/nfilter/nfilter_peer.py"; }

std::vector<unsigned char> base64(const std::string& text) {
    std::vector<unsigned char> out(text.size());
    const int n =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) return {};
    out.resize(static_cast<size_t>(n));
    size_t pad = 0;
    for (auto it = text.rbegin(); it != text.rend() && *it == '='; ++it) ++pad;
    out.resize(out.size() - pad);
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

struct KeyPair {
    char* priv = nullptr;
    char* pub = nullptr;
    int privLen = 0, pubLen = 0;
    KeyPair() { EXPECT_EQ(0, N_GenerateKeypair(5, 2, &priv, &privLen, &pub, &pubLen)); }
    ~KeyPair() {
        FreeString(priv);
        FreeString(pub);
    }
};

// What the page sends for plain: key data, its derived key, sealed bytes.
struct Sealed {
    std::string peer, keyB64, sealedB64;
};
Sealed seal(const std::string& agentPub, const std::string& plain) {
    const zqtest::RunResult r = zqtest::run({zqtest::kPython, peerScript(), "seal", agentPub, zqtest::hex(plain)});
    EXPECT_EQ(0, r.status);
    const auto l = lines(r.output);
    if (l.size() != 3) return {};
    return {l[0], l[1], l[2]};
}

}  // namespace

TEST(NFilter, KeyPairIsX25519AsPythonComputesIt) {
    KeyPair kp;
    ASSERT_EQ(64, kp.privLen);
    ASSERT_EQ(64, kp.pubLen);
    EXPECT_EQ(64u, std::string(kp.priv).size());
    const zqtest::RunResult r = zqtest::run({zqtest::kPython, peerScript(), "public", kp.priv});
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(std::string(kp.pub) + "\n", r.output);
    KeyPair other;
    EXPECT_NE(std::string(kp.priv), std::string(other.priv));
}

TEST(NFilter, DerivesThePagesKeyAndDecipherItsText) {
    KeyPair kp;
    const std::string cases[] = {"pw", std::string(259, 'x'), "\xed\x95\x9c\xea\xb8\x80 1234", ""};
    for (const std::string& plain : cases) {
        SCOPED_TRACE(plain.size());
        const Sealed s = seal(kp.pub, plain);
        ASSERT_EQ(72u, s.peer.size());
        char* derived = nullptr;
        ASSERT_EQ(0, N_DeriveKey(5, 2, s.peer.c_str(), 72, kp.priv, kp.privLen, &derived));
        EXPECT_EQ(s.keyB64, derived);
        const auto key = base64(derived);
        const auto sealed = base64(s.sealedB64);
        FreeString(derived);
        char* out = nullptr;
        ASSERT_EQ(0, N_Decrypt(5, key.data(), static_cast<int>(key.size()), sealed.data(),
                               static_cast<int>(sealed.size()), &out));
        EXPECT_EQ(plain, out);
        FreeString(out);
    }
}

TEST(NFilter, RefusesWhatItCannotTrust) {
    KeyPair kp;
    const Sealed s = seal(kp.pub, "pw");
    const auto key = base64(s.keyB64);
    const auto sealed = base64(s.sealedB64);
    auto flippedTag = sealed;
    flippedTag.back() ^= 1;
    auto flippedBody = sealed;
    flippedBody[12] ^= 0x80;
    std::string upperPeer = s.peer;
    std::transform(upperPeer.begin(), upperPeer.end(), upperPeer.begin(), ::toupper);
    const std::string zeroPeer = "01020304" + std::string(64, '0');  // a public key of small order
    std::string nonHexPeer = s.peer;
    nonHexPeer[20] = 'g';

    struct Derive {
        const char* what;
        int suite, format;
        std::string peer;
        int peerLen;
        int privLen;
        int expected;
    };
    const Derive derives[] = {
        {"suite 4", 4, 2, s.peer, 72, 64, NF_ERR_CONSTANT},
        {"format 1", 5, 1, s.peer, 72, 64, NF_ERR_CONSTANT},
        {"71 characters", 5, 2, s.peer, 71, 64, NF_ERR_FORMAT},
        {"73 characters", 5, 2, s.peer + "0", 73, 64, NF_ERR_FORMAT},
        {"non-hex digit", 5, 2, nonHexPeer, 72, 64, NF_ERR_FORMAT},
        {"short private key", 5, 2, s.peer, 72, 63, NF_ERR_FORMAT},
        {"negative length", 5, 2, s.peer, -1, 64, NF_ERR_ARGUMENT},
        {"small-order key", 5, 2, zeroPeer, 72, 64, NF_ERR_AGREEMENT},
        {"capitals", 5, 2, upperPeer, 72, 64, 0},
    };
    for (const Derive& d : derives) {
        SCOPED_TRACE(d.what);
        char* derived = reinterpret_cast<char*>(0x1);
        EXPECT_EQ(d.expected, N_DeriveKey(d.suite, d.format, d.peer.c_str(), d.peerLen, kp.priv, d.privLen, &derived));
        if (d.expected == 0) {
            EXPECT_EQ(s.keyB64, derived);
            FreeString(derived);
        } else {
            EXPECT_EQ(reinterpret_cast<char*>(0x1), derived);  // untouched
        }
    }

    struct Decrypt {
        const char* what;
        int suite;
        int keyLen;
        std::vector<unsigned char> in;
        int expected;
    };
    const Decrypt decrypts[] = {
        {"suite 2", 2, 32, sealed, NF_ERR_CONSTANT},
        {"16-byte key", 5, 16, sealed, NF_ERR_FORMAT},
        {"flipped tag", 5, 32, flippedTag, NF_ERR_DECRYPT},
        {"flipped cipher text", 5, 32, flippedBody, NF_ERR_DECRYPT},
        {"nonce and tag only, cut", 5, 32, std::vector<unsigned char>(sealed.begin(), sealed.begin() + 27),
         NF_ERR_DECRYPT},
    };
    for (const Decrypt& d : decrypts) {
        SCOPED_TRACE(d.what);
        char* out = reinterpret_cast<char*>(0x1);
        EXPECT_EQ(d.expected,
                  N_Decrypt(d.suite, key.data(), d.keyLen, d.in.data(), static_cast<int>(d.in.size()), &out));
        EXPECT_EQ(reinterpret_cast<char*>(0x1), out);
    }

    // A plain text that holds a NUL would reach the caller cut.
    const Sealed nul = seal(kp.pub, std::string("a\0b", 3));
    char* derived = nullptr;
    ASSERT_EQ(0, N_DeriveKey(5, 2, nul.peer.c_str(), 72, kp.priv, 64, &derived));
    const auto nulKey = base64(derived);
    FreeString(derived);
    const auto nulSealed = base64(nul.sealedB64);
    char* out = nullptr;
    EXPECT_EQ(NF_ERR_PLAIN,
              N_Decrypt(5, nulKey.data(), 32, nulSealed.data(), static_cast<int>(nulSealed.size()), &out));
    EXPECT_EQ(nullptr, out);

    char *a = nullptr, *b = nullptr;
    int al = 0, bl = 0;
    EXPECT_EQ(NF_ERR_CONSTANT, N_GenerateKeypair(5, 3, &a, &al, &b, &bl));
    EXPECT_EQ(NF_ERR_ARGUMENT, N_GenerateKeypair(5, 2, nullptr, &al, &b, &bl));
    EXPECT_EQ(nullptr, a);
    FreeString(nullptr);
}

TEST(NFilter, ExportsExactlyItsFourNames) {
    const zqtest::RunResult r = zqtest::run({"nm", "-D", "--defined-only", ZQ_NFILTER_LIBRARY});
    ASSERT_EQ(0, r.status);
    std::vector<std::string> names;
    for (const std::string& l : lines(r.output)) names.push_back(l.substr(l.rfind(' ') + 1));
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"FreeString", "N_Decrypt", "N_DeriveKey", "N_GenerateKeypair"}), names);
}

// Block ciphers, CBC-MAC and RC4 against the openssl tool.
#include "CryptoTestUtil.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

using namespace zctest;

namespace {

struct CipherCase {
    int alg;
    const char* ecb;  // openssl enc names of ECB, CBC, CFB, OFB (null: no equivalent)
    const char* cbc;
    const char* cfb;
    const char* ofb;
    int key;
    int block;
};

const CipherCase kCiphers[] = {
    {VSC_CIPHER_SEED, "seed-ecb", "seed-cbc", "seed-cfb", "seed-ofb", 16, 16},
    {VSC_CIPHER_ARIA128, "aria-128-ecb", "aria-128-cbc", "aria-128-cfb", "aria-128-ofb", 16, 16},
    {VSC_CIPHER_ARIA192, "aria-192-ecb", "aria-192-cbc", "aria-192-cfb", "aria-192-ofb", 24, 16},
    {VSC_CIPHER_ARIA256, "aria-256-ecb", "aria-256-cbc", "aria-256-cfb", "aria-256-ofb", 32, 16},
    {VSC_CIPHER_AES128, "aes-128-ecb", "aes-128-cbc", "aes-128-cfb", "aes-128-ofb", 16, 16},
    {VSC_CIPHER_AES192, "aes-192-ecb", "aes-192-cbc", "aes-192-cfb", "aes-192-ofb", 24, 16},
    {VSC_CIPHER_AES256, "aes-256-ecb", "aes-256-cbc", "aes-256-cfb", "aes-256-ofb", 32, 16},
    {VSC_CIPHER_DES, "des-ecb", "des-cbc", "des-cfb", "des-ofb", 8, 8},
    {VSC_CIPHER_DES_EDE, "des-ede3", "des-ede3-cbc", "des-ede3-cfb", "des-ede3-ofb", 24, 8},
    {VSC_CIPHER_DES_EDE3, "des-ede3", "des-ede3-cbc", "des-ede3-cfb", "des-ede3-ofb", 24, 8},
    {VSC_CIPHER_DES_EDE_2KEY, "des-ede", "des-ede-cbc", "des-ede-cfb", "des-ede-ofb", 16, 8},
    {VSC_CIPHER_BF, "bf-ecb", "bf-cbc", "bf-cfb", "bf-ofb", 16, 8},
    {VSC_CIPHER_RC2_128, "rc2-ecb", "rc2-cbc", "rc2-cfb", "rc2-ofb", 16, 8},
    {VSC_CIPHER_RC2_40, nullptr, "rc2-40-cbc", nullptr, nullptr, 5, 8},
};

const int kModes[] = {VSC_CIPHER_MODE_ECB, VSC_CIPHER_MODE_CBC, VSC_CIPHER_MODE_CFB, VSC_CIPHER_MODE_OFB};

const char* encName(const CipherCase& c, int mode) {
    switch (mode) {
        case VSC_CIPHER_MODE_ECB:
            return c.ecb;
        case VSC_CIPHER_MODE_CBC:
            return c.cbc;
        case VSC_CIPHER_MODE_CFB:
            return c.cfb;
        default:
            return c.ofb;
    }
}

Bytes opensslEnc(const char* name, const Bytes& key, const Bytes& iv, bool encrypt, bool pad, const Bytes& in) {
    std::vector<std::string> args{
        "enc",    "-" + std::string(name), encrypt ? "-e" : "-d", "-K", toHex(key), "-provider", "legacy", "-provider",
        "default"};
    if (!iv.empty()) args.insert(args.end(), {"-iv", toHex(iv)});
    if (!pad) args.push_back("-nopad");
    return bytesOf(openssl(args, in));
}

Bytes oneShot(int id, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in, int* rc = nullptr) {
    Bytes out(in.size() + 32);
    int n = 0;
    int r = VSC_BLOCK_CIPHER(id, encrypt ? 1 : 0, key.data(), iv.empty() ? nullptr : iv.data(), in.data(),
                             static_cast<int>(in.size()), out.data(), &n);
    if (rc != nullptr)
        *rc = r;
    else
        EXPECT_EQ(r, VSC_OK);
    out.resize(r == VSC_OK ? static_cast<size_t>(n) : 0);
    return out;
}

Bytes inPieces(BLOCK_CIPHER_UNIT* unit, int id, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in,
               size_t piece) {
    EXPECT_EQ(VSC_Init_BLOCK_CIPHER(unit, id, key.data(), iv.data(), encrypt ? 1 : 0), VSC_OK);
    Bytes out;
    unsigned char buf[64];
    for (size_t off = 0; off < in.size(); off += piece) {
        int k = static_cast<int>(std::min(piece, in.size() - off));
        int n = 0;
        EXPECT_EQ(VSC_Update_BLOCK_CIPHER(unit, buf, &n, in.data() + off, k), VSC_OK);
        out.insert(out.end(), buf, buf + n);
    }
    int n = 0;
    EXPECT_EQ(VSC_Final_BLOCK_CIPHER(unit, buf, &n), VSC_OK);
    out.insert(out.end(), buf, buf + n);
    return out;
}

}  // namespace

TEST(VscCipher, EqualsOpensslEnc) {
    for (const auto& c : kCiphers) {
        Bytes key = pattern(static_cast<size_t>(c.key), 11), iv = pattern(static_cast<size_t>(c.block), 12);
        for (int mode : kModes) {
            const char* name = encName(c, mode);
            if (name == nullptr) continue;
            bool blockMode = mode == VSC_CIPHER_MODE_ECB || mode == VSC_CIPHER_MODE_CBC;
            Bytes ivUse = mode == VSC_CIPHER_MODE_ECB ? Bytes{} : iv;
            for (bool pad : {true, false}) {
                if (!pad && !blockMode) continue;
                for (size_t size : {0, 17, 48}) {
                    if (!pad && size % static_cast<size_t>(c.block) != 0) continue;
                    SCOPED_TRACE(std::string(name) + (pad ? " padded " : " unpadded ") + std::to_string(size));
                    int id = c.alg | mode | (pad ? 0 : VSC_CIPHER_NO_PADDING);
                    Bytes plain = pattern(size, static_cast<unsigned>(size) + 3);
                    Bytes expected = opensslEnc(name, key, ivUse, true, pad || !blockMode, plain);
                    Bytes ours = oneShot(id, true, key, ivUse, plain);
                    EXPECT_EQ(toHex(ours), toHex(expected));
                    EXPECT_EQ(toHex(oneShot(id, false, key, ivUse, ours)), toHex(plain));
                }
            }
        }
    }
}

TEST(VscCipher, CounterModeIsEcbOfABigEndianCounter) {
    // AES and ARIA: as OpenSSL's own CTR. SEED and DES: the key stream is the
    // ECB encryption of the counter blocks.
    Bytes plain = pattern(100, 5);
    for (auto [alg, ctrName] : {std::pair{VSC_CIPHER_AES128, "aes-128-ctr"}, {VSC_CIPHER_ARIA256, "aria-256-ctr"}}) {
        Bytes key = pattern(static_cast<size_t>(VSC_Get_Key_Length(alg)), 1);
        Bytes iv = fromHex("00000000000000000000000000fffffe");  // carries into the higher bytes
        EXPECT_EQ(toHex(oneShot(alg | VSC_CIPHER_MODE_CTR, true, key, iv, plain)),
                  toHex(opensslEnc(ctrName, key, iv, true, true, plain)));
    }
    for (auto [alg, ecbName] : {std::pair{VSC_CIPHER_SEED, "seed-ecb"}, {VSC_CIPHER_DES_EDE, "des-ede3"}}) {
        size_t block = static_cast<size_t>(VSC_Get_Block_Length(alg));
        Bytes key = pattern(static_cast<size_t>(VSC_Get_Key_Length(alg)), 2);
        Bytes iv(block, 0);
        iv[block - 1] = 0xff;
        iv[block - 2] = 0xff;
        Bytes counters;
        Bytes ctr = iv;
        for (size_t i = 0; i * block < plain.size(); ++i) {
            counters.insert(counters.end(), ctr.begin(), ctr.end());
            for (size_t k = block; k-- > 0;)
                if (++ctr[k] != 0) break;
        }
        Bytes stream = opensslEnc(ecbName, key, {}, true, false, counters);
        Bytes expected(plain.size());
        for (size_t i = 0; i < plain.size(); ++i) expected[i] = plain[i] ^ stream[i];
        // Padding requested or not: a stream mode is never padded.
        EXPECT_EQ(toHex(oneShot(alg | VSC_CIPHER_MODE_CTR, true, key, iv, plain)), toHex(expected));
        EXPECT_EQ(toHex(oneShot(alg | VSC_CIPHER_MODE_CTR | VSC_CIPHER_NO_PADDING, false, key, iv, expected)),
                  toHex(plain));
    }
}

TEST(VscCipher, UnitInPiecesEqualsOneShot) {
    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    ASSERT_NE(unit, nullptr);
    for (int alg : {VSC_CIPHER_SEED, VSC_CIPHER_ARIA128, VSC_CIPHER_AES256, VSC_CIPHER_DES, VSC_CIPHER_DES_EDE}) {
        Bytes key = pattern(static_cast<size_t>(VSC_Get_Key_Length(alg)), 4);
        Bytes iv = pattern(16, 6);
        for (int mode : {VSC_CIPHER_MODE_ECB, VSC_CIPHER_MODE_CBC, VSC_CIPHER_MODE_CFB, VSC_CIPHER_MODE_OFB,
                         VSC_CIPHER_MODE_CTR}) {
            for (int noPad : {0, VSC_CIPHER_NO_PADDING}) {
                int id = alg | mode | noPad;
                Bytes plain = pattern(noPad ? 96 : 101, 8);
                Bytes cipher = oneShot(id, true, key, iv, plain);
                for (size_t piece = 1; piece <= 33; ++piece) {
                    SCOPED_TRACE(std::to_string(id) + " piece " + std::to_string(piece));
                    EXPECT_EQ(inPieces(unit, id, true, key, iv, plain, piece), cipher);
                    EXPECT_EQ(inPieces(unit, id, false, key, iv, cipher, piece), plain);
                }
            }
        }
        // The unit reports what callers read from it.
        ASSERT_EQ(VSC_Init_BLOCK_CIPHER(unit, alg | VSC_CIPHER_MODE_CBC, key.data(), iv.data(), 1), VSC_OK);
        EXPECT_EQ(unit->iv_length, unit->block_length);
        EXPECT_EQ(std::memcmp(unit->iv, iv.data(), static_cast<size_t>(unit->iv_length)), 0);
        EXPECT_EQ(unit->key_length, VSC_Get_Key_Length(alg));
    }
    VSC_Free_BLOCK_CIPHER_Unit(unit);
}

TEST(VscCipher, LengthsPaddingFaultsAndUnknownIds) {
    struct {
        int id;
        int key, iv, block;
    } lengths[] = {
        {0x04000120, 16, 16, 16},
        {0x04000100, 16, 0, 16},
        {0x03000320, 32, 16, 16},
        {0x02000220, 24, 8, 8},
        {0x02010220, 24, 8, 8},
        {0x02001220, 16, 8, 8},
        {0x02000120, 8, 8, 8},
        {0x07000220, 5, 8, 8},
        {0x01000280, 24, 16, 16},
        {0x0400012a, -1, -1, -1},
        {0x09000100, -1, -1, -1},
        {0x050001a0, -1, -1, -1},
        {VSC_CIPHER_RC5 | VSC_CIPHER_MODE_CBC, -1, -1, -1},
    };
    for (const auto& l : lengths) {
        EXPECT_EQ(VSC_Get_Key_Length(l.id), l.key) << std::hex << l.id;
        EXPECT_EQ(VSC_Get_IV_Length(l.id), l.iv) << std::hex << l.id;
        EXPECT_EQ(VSC_Get_Block_Length(l.id), l.block) << std::hex << l.id;
    }

    Bytes key = pattern(16, 1), iv = pattern(16, 2);
    int rc = 0;
    // Unpadded data that is not whole blocks, and a wrong padding on decryption.
    oneShot(VSC_CIPHER_SEED_CBC | VSC_CIPHER_NO_PADDING, true, key, iv, pattern(17), &rc);
    EXPECT_EQ(rc, VSC_ERR_INVALID_LENGTH);
    Bytes raw = oneShot(VSC_CIPHER_SEED_CBC | VSC_CIPHER_NO_PADDING, true, key, iv, pattern(32));
    oneShot(VSC_CIPHER_SEED_CBC, false, key, iv, raw, &rc);
    EXPECT_EQ(rc, VSC_FAIL);
    Bytes wrongKey = pattern(16, 99);
    Bytes good = oneShot(VSC_CIPHER_SEED_CBC, true, key, iv, pattern(40));
    Bytes out(good.size() + 32, 0xAA);
    int n = 0;
    EXPECT_EQ(VSC_BLOCK_CIPHER(VSC_CIPHER_SEED_CBC, 0, wrongKey.data(), iv.data(), good.data(),
                               static_cast<int>(good.size()), out.data(), &n),
              VSC_FAIL);
    EXPECT_EQ(n, 0);

    oneShot(VSC_CIPHER_RC5 | VSC_CIPHER_MODE_CBC, true, key, iv, pattern(8), &rc);
    EXPECT_EQ(rc, VSC_ERR_UNSUPPORTED);
    oneShot(0x09000120, true, key, iv, pattern(8), &rc);
    EXPECT_EQ(rc, VSC_ERR_UNKNOWN_ALGORITHM);

    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    unsigned char buf[64];
    EXPECT_EQ(VSC_Update_BLOCK_CIPHER(unit, buf, &n, key.data(), 16), VSC_ERR_NOT_INITIALIZED);
    ASSERT_EQ(VSC_Init_BLOCK_CIPHER(unit, VSC_CIPHER_SEED_CBC, key.data(), iv.data(), 1), VSC_OK);
    ASSERT_EQ(VSC_Final_BLOCK_CIPHER(unit, buf, &n), VSC_OK);
    EXPECT_EQ(VSC_Final_BLOCK_CIPHER(unit, buf, &n), VSC_ERR_NOT_INITIALIZED);
    EXPECT_EQ(VSC_Update_BLOCK_CIPHER(unit, buf, &n, key.data(), -1), VSC_ERR_INVALID_LENGTH);
    VSC_Free_BLOCK_CIPHER_Unit(unit);
}

TEST(VscCipher, AdvancedPairBoundsItsOutput) {
    Bytes key = pattern(16, 1), iv = pattern(16, 2), plain = pattern(40);
    BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
    EXPECT_EQ(VSC_Init_Advanced_BLOCK_CIPHER(VSC_CIPHER_ARIA128_CBC, unit, key.data(), 1, iv.data(), 24),
              VSC_ERR_INVALID_LENGTH);
    ASSERT_EQ(VSC_Init_Advanced_BLOCK_CIPHER(VSC_CIPHER_ARIA128_CBC, unit, key.data(), 1, iv.data(), 16), VSC_OK);
    Bytes out(48);
    int n = 0;
    ASSERT_EQ(VSC_DoFinal_Advanced_BLOCK_CIPHER(unit, out.data(), &n, plain.data(), 40, 48), VSC_OK);
    out.resize(static_cast<size_t>(n));
    EXPECT_EQ(out, oneShot(VSC_CIPHER_ARIA128_CBC, true, key, iv, plain));

    ASSERT_EQ(VSC_Init_Advanced_BLOCK_CIPHER(VSC_CIPHER_ARIA128_CBC, unit, key.data(), 1, iv.data(), 16), VSC_OK);
    unsigned char small[47];
    EXPECT_EQ(VSC_DoFinal_Advanced_BLOCK_CIPHER(unit, small, &n, plain.data(), 40, 47), VSC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(n, 0);
    VSC_Free_BLOCK_CIPHER_Unit(unit);
}

// Lengths whose result would not fit an int are refused before any work.
// The input is a mapping of zero pages and the output one never touched, so
// nothing near 2 GiB is committed.
TEST(VscCipher, ResultsPastIntMaxAreRefused) {
    const size_t big = static_cast<size_t>(INT_MAX) - 3;
    void* in = mmap(nullptr, big, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    void* out = mmap(nullptr, big + 64, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(in, MAP_FAILED);
    ASSERT_NE(out, MAP_FAILED);
    auto* src = static_cast<const unsigned char*>(in);
    auto* dst = static_cast<unsigned char*>(out);
    Bytes key = pattern(16, 1);
    struct Row {
        const char* what;
        std::function<int(int*)> call;
    } rows[] = {
        {"one shot, padded encryption",
         [&](int* n) {
             return VSC_BLOCK_CIPHER(VSC_CIPHER_AES128_CBC, 1, key.data(), nullptr, src, int(big), dst, n);
         }},
        {"advanced finish",
         [&](int* n) {
             BLOCK_CIPHER_UNIT* unit = VSC_New_BLOCK_CIPHER_Unit();
             int rc = VSC_Init_Advanced_BLOCK_CIPHER(VSC_CIPHER_AES128_CBC, unit, key.data(), 1, nullptr, 16);
             if (rc == VSC_OK) rc = VSC_DoFinal_Advanced_BLOCK_CIPHER(unit, dst, n, src, int(big), INT_MAX);
             VSC_Free_BLOCK_CIPHER_Unit(unit);
             return rc;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        int n = -1;
        EXPECT_EQ(row.call(&n), VSC_ERR_INVALID_LENGTH);
        EXPECT_EQ(n, 0);
    }
    munmap(in, big);
    munmap(out, big + 64);
}

TEST(VscCipher, CbcMacIsTheLastBlockOfZeroPaddedCbc) {
    for (auto [alg, name] :
         {std::pair{VSC_CIPHER_DES, "des-cbc"}, {VSC_CIPHER_SEED, "seed-cbc"}, {VSC_CIPHER_ARIA128, "aria-128-cbc"}}) {
        size_t block = static_cast<size_t>(VSC_Get_Block_Length(alg));
        Bytes key = pattern(static_cast<size_t>(VSC_Get_Key_Length(alg)), 3);
        for (size_t len : {0, 5, 16, 33}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(len));
            Bytes data = pattern(len, 4);
            Bytes padded = data;
            padded.resize(len == 0 ? block : (len + block - 1) / block * block, 0);
            Bytes enc = opensslEnc(name, key, Bytes(block, 0), true, false, padded);
            Bytes mac(block);
            int n = 0;
            // The mode bits of the id do not matter.
            ASSERT_EQ(
                VSC_CBC_MAC(alg | VSC_CIPHER_MODE_OFB, key.data(), data.data(), static_cast<int>(len), mac.data(), &n),
                VSC_OK);
            EXPECT_EQ(n, static_cast<int>(block));
            EXPECT_EQ(toHex(mac), toHex(Bytes(enc.end() - static_cast<long>(block), enc.end())));
        }
    }
}

// Data just short of INT_MAX (zero pages, nothing committed) has a MAC: its
// zero padding must not take the length past an int. OpenSSL's CBC over the
// same zeros, a chunk at a time, gives the last block.
TEST(VscCipher, CbcMacOfDataNearIntMax) {
    const size_t len = static_cast<size_t>(INT_MAX) - 3;
    void* map = mmap(nullptr, len, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    Bytes key = pattern(16, 1);
    unsigned char ours[16] = {};
    int n = 0;
    EXPECT_EQ(VSC_CBC_MAC(VSC_CIPHER_AES128, key.data(), static_cast<const unsigned char*>(map), int(len), ours, &n),
              VSC_OK);
    munmap(map, len);
    EXPECT_EQ(n, 16);

    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ASSERT_EQ(EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), Bytes(16).data()), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    const size_t padded = (len + 15) / 16 * 16;
    Bytes zeros(1 << 20), chunk((1 << 20) + 16);
    Bytes last(16);
    for (size_t done = 0; done < padded;) {
        const size_t take = std::min(zeros.size(), padded - done);
        int m = 0;
        ASSERT_EQ(EVP_EncryptUpdate(ctx, chunk.data(), &m, zeros.data(), int(take)), 1);
        std::memcpy(last.data(), chunk.data() + m - 16, 16);
        done += take;
    }
    EVP_CIPHER_CTX_free(ctx);
    EXPECT_EQ(Bytes(ours, ours + 16), last);
}

TEST(VscRc4, EqualsOpensslEnc) {
    for (auto [keyLen, name] : {std::pair{16, "rc4"}, {5, "rc4-40"}}) {
        Bytes key = pattern(static_cast<size_t>(keyLen), 5), data = pattern(300, 6);
        Bytes expected = opensslEnc(name, key, {}, true, true, data);
        RC4_UNIT* rc4 = VSC_New_RC4_Unit();
        ASSERT_EQ(VSC_Init_RC4(rc4, key.data(), keyLen), VSC_OK);
        Bytes out(data.size());
        // A running stream: two calls continue each other.
        ASSERT_EQ(VSC_Do_RC4(rc4, data.data(), 100, out.data()), VSC_OK);
        ASSERT_EQ(VSC_Do_RC4(rc4, data.data() + 100, 200, out.data() + 100), VSC_OK);
        EXPECT_EQ(toHex(out), toHex(expected));
        EXPECT_EQ(VSC_Init_RC4(rc4, key.data(), 0), VSC_ERR_INVALID_LENGTH);
        EXPECT_EQ(VSC_Do_RC4(rc4, data.data(), 1, out.data()), VSC_ERR_NOT_INITIALIZED);
        VSC_Free_RC4_Unit(rc4);
    }
}

TEST(VscContext, LegacyAlgorithmsStayOutOfTheProcessDefaultContext) {
    // SEED works here...
    Bytes key = pattern(16, 1);
    Bytes out = oneShot(VSC_CIPHER_SEED_CBC, true, key, Bytes(16, 0), pattern(16));
    EXPECT_EQ(out.size(), 32u);
    // ...while the process's default context still has its default provider
    // only: no SEED, and AES as before.
    EVP_CIPHER* seed = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
    EXPECT_EQ(seed, nullptr);
    EVP_CIPHER_free(seed);
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
    EXPECT_NE(aes, nullptr);
    EVP_CIPHER_free(aes);
}

// The card functions against zq_cardsim (a reader and card of our own on a
// pty pair, with OpenSSL's DES): frames and APDUs as the simulator logs
// them, the EF and F3 layouts, the PIN and its change, the selection cache,
// each fault the simulator injects, and DES against openssl enc.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <zunCore/smartcard.h>
#include <zunCore/util.h>

#include "CoreHelpers.h"

namespace {

using coretest::u8;

std::string hexOf(const unsigned char* p, size_t n) {
    std::string s(2 * n + 1, '\0');
    VCL_bin2hex(s.data(), p, static_cast<int>(n));
    s.resize(2 * n);
    return s;
}
std::string hexOf(const std::string& s) { return hexOf(u8(s), s.size()); }

// A simulator on its own pty, stopped by its process id.
class CardSim {
public:
    explicit CardSim(std::vector<std::string> args, const std::string& key = "KEY-BYTES", const std::string& cert = "")
        : m_dir("cardsim") {
        m_log = m_dir / "apdu.log";
        zqtest::writeFile(m_dir / "key", key);
        zqtest::writeFile(m_dir / "cert", cert.empty() ? std::string(700, 'C') : cert);
        args.insert(args.begin(), {ZQ_CARDSIM, "--log", m_log, "--key", m_dir / "key", "--cert", m_dir / "cert"});
        int out[2];
        if (::pipe(out) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') m_path += c;
        ::close(out[0]);
    }
    ~CardSim() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& path() const { return m_path; }
    std::string log() const { return zqtest::readFile(m_log); }
    // The log's lines that begin with prefix, without it.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> out;
        std::istringstream in(log());
        for (std::string l; std::getline(in, l);)
            if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
        return out;
    }

private:
    zqtest::TempDir m_dir;
    std::string m_log, m_path;
    pid_t m_pid = -1;
};

// A port opened on the simulator and powered; closed at the end.
struct Port {
    int port;
    explicit Port(const CardSim& sim, int p = 0, bool power = true) : port(p) {
        EXPECT_EQ(VCL_InitializeDevice(p, sim.path().c_str()), p);
        if (power) {
            char atr[VCL_SC_ATR_HEX_SIZE];
            EXPECT_GT(VCL_PowerOnCmd(p, atr), 0);
        }
    }
    ~Port() { VCL_ExitDevice(port); }
};

std::string openssl(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv = {"openssl", "enc"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"-nopad", "-provider", "legacy", "-provider", "default"});
    return zqtest::run(argv, input).output;
}

}  // namespace

TEST(SmartCardDes, EqualsOpenssl) {
    std::mt19937 rng(46);
    auto bytes = [&](size_t n) {
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(rng());
        return s;
    };
    for (int round = 0; round < 4; ++round) {
        const std::string key = bytes(16), iv = bytes(8), data = bytes(8 * (1 + round * 3));
        std::string out(data.size(), '\0');
        auto* o = reinterpret_cast<unsigned char*>(out.data());
        const int blocks = static_cast<int>(data.size() / 8);

        ASSERT_EQ(VCL_SC_DES_ECB(u8(data), coretest::len(data), u8(key), o, 1), blocks);
        EXPECT_EQ(out, openssl({"-des-ecb", "-K", hexOf(key.substr(0, 8))}, data));
        std::string back(data.size(), '\0');
        VCL_SC_DES_ECB(o, coretest::len(out), u8(key), reinterpret_cast<unsigned char*>(back.data()), 0);
        EXPECT_EQ(back, data);

        ASSERT_EQ(VCL_SC_DES_EDE(u8(data), coretest::len(data), u8(key), o, 1), blocks);
        EXPECT_EQ(out, openssl({"-des-ede", "-K", hexOf(key)}, data));
        VCL_SC_DES_EDE(u8(data), coretest::len(data), u8(key), o, 0);
        EXPECT_EQ(out, openssl({"-d", "-des-ede", "-K", hexOf(key)}, data));

        unsigned char mac[8];
        ASSERT_EQ(VCL_SC_DES_MAC(u8(iv), u8(data), coretest::len(data), u8(key), mac, 1), blocks);
        const std::string cbc = openssl({"-des-cbc", "-K", hexOf(key.substr(0, 8)), "-iv", hexOf(iv)}, data);
        EXPECT_EQ(hexOf(mac, 8), hexOf(cbc.substr(cbc.size() - 8)));
    }
    // A remainder is left alone.
    unsigned char out[16];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(VCL_SC_DES_ECB(u8("0123456789ab"), 12, u8("KTRVNWQY"), out, 1), 1);
    EXPECT_EQ(out[8], 0xEE);
}

TEST(SmartCardHex, BoundedAndStrict) {
    unsigned char out[VCL_SC_MAX_HEX_BYTES + 1];
    EXPECT_EQ(VCL_hex2bin(out, "ff 10,2a", 8), 3);
    EXPECT_EQ(hexOf(out, 3), "FF102A");
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(VCL_hex2bin(out, "FG", 2), -1);
    EXPECT_EQ(VCL_hex2bin(out, "ABC", 3), -1);
    const std::string longest(VCL_SC_MAX_HEX_TEXT, 'a');
    EXPECT_EQ(VCL_hex2bin(out, longest.c_str(), coretest::len(longest)), VCL_SC_MAX_HEX_BYTES);
    const std::string tooLong = longest + "aa";
    EXPECT_EQ(VCL_hex2bin(out, tooLong.c_str(), coretest::len(tooLong)), -1);
    EXPECT_EQ(VCL_hex2byte("7f"), 0x7F);
    EXPECT_EQ(VCL_hex2byte("x1"), -1);
    char text[8];
    EXPECT_EQ(VCL_bin2hex(text, u8("\x01\xab"), 2), 4);
    EXPECT_STREQ(text, "01AB");
}

TEST(SmartCardReader, FramesAndCommands) {
    CardSim sim({});
    ASSERT_FALSE(sim.path().empty());
    EXPECT_EQ(VCL_InitializeDevice(3, sim.path().c_str()), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(VCL_InitializeDevice(-1, sim.path().c_str()), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(VCL_InitializeDevice(0, nullptr), -1);
    Port port(sim, 1, false);
    char id[VCL_SC_MAX_TERMINAL_ID + 1];
    EXPECT_EQ(VCL_GetTerminalIdCmd(1, id), 13);
    EXPECT_STREQ(id, "ZQ-CARDSIM-01");
    unsigned char state[VCL_SC_MAX_STATE];
    EXPECT_EQ(VCL_CheckCardInOutCmd(1, state), 1);
    EXPECT_EQ(state[0], 1);
    char atr[VCL_SC_ATR_HEX_SIZE];
    EXPECT_EQ(VCL_PowerOnCmd(1, atr), 34);
    EXPECT_STREQ(atr, "3B6D000080318065B0831100C883009000");
    EXPECT_EQ(Pcs[1].powered, 1);
    char pts[VCL_SC_PTS_HEX_SIZE];
    EXPECT_EQ(VCL_RequestPTSCmd(1, "ff1011fe", pts), 8);
    EXPECT_STREQ(pts, "FF1011FE");
    for (const char* bad : {"001011FE", "FF1011F", "FF10", "FF1011FE0011AA", "FF10 11FX"})
        EXPECT_EQ(VCL_RequestPTSCmd(1, bad, pts), VCL_SC_ERR_ARGUMENT) << bad;

    // A 'G' frame with 6 APDU bytes: length 00 07, the check byte over the
    // length bytes, 'G', the APDU and ETX.
    unsigned char a[258];
    const unsigned char header[4] = {0x00, 0x84, 0x00, 0x00};
    EXPECT_EQ(VCL_ISOCmd(1, header, 0, nullptr, 8, a), 10);
    const std::string frame = sim.lines("RX ").back();
    ASSERT_EQ(frame.size(), 2u * 12);
    EXPECT_EQ(frame.substr(0, 22),
              "02000747008400000008"
              "03");
    unsigned char check = 0;
    for (size_t i = 2; i < 22; i += 2) check ^= static_cast<unsigned char>(VCL_hex2byte(&frame[i]));
    EXPECT_EQ(VCL_hex2byte(&frame[22]), check);

    // Arguments past the APDU's one-byte fields.
    std::vector<unsigned char> big(256);
    EXPECT_EQ(VCL_ISOCmd(1, header, 256, big.data(), 0, a), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(VCL_ISOCmd(1, header, 0, nullptr, -1, a), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(VCL_ISOCmd(1, header, 0, nullptr, 256, a), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(VCL_ISOCmd(7, header, 0, nullptr, 8, a), VCL_SC_ERR_ARGUMENT);
    EXPECT_GT(VCL_PowerOffCmd(1), -1);
    EXPECT_EQ(Pcs[1].powered, 0);
}

TEST(SmartCardFiles, EfReadsInChunksAndThePin) {
    CardSim sim({"--pin", "123456"});
    Port port(sim);
    std::vector<unsigned char> out(301);
    // 300 bytes from offset 0 of free data 2 (500 bytes, no PIN needed).
    EXPECT_EQ(VCL_ReadEF(0, 9, 0, 300, out.data()), 0);
    std::vector<std::string> reads;
    for (const auto& apdu : sim.lines("APDU "))
        if (apdu.rfind("00B0", 0) == 0) reads.push_back(apdu.substr(4, 4) + "/" + apdu.substr(10, 2));
    EXPECT_EQ(reads, (std::vector<std::string>{"0000/80", "0080/80", "0100/2C"}));
    EXPECT_EQ(out[300], 0);

    // The key's file before the PIN: the card says 69 82.
    EXPECT_EQ(VCL_ReadEF(0, 3, 0, 2, out.data()), VCL_SC_ERR_SECURITY);
    // PINs of 5 and 9 characters go nowhere.
    const size_t before = sim.lines("RX ").size();
    EXPECT_EQ(VCL_VerifyPIN(0, "12345"), -1);
    EXPECT_EQ(VCL_VerifyPIN(0, "123456789"), -1);
    EXPECT_EQ(VCL_VerifyPIN(0, nullptr), -1);
    EXPECT_EQ(sim.lines("RX ").size(), before);
    EXPECT_EQ(VCL_VerifyPIN(0, "654321"), VCL_SC_ERR_PIN);
    EXPECT_EQ(Pcs[0].pin_verified, 0);
    // Writing wants the PIN first, without asking the card.
    const std::string etc(100, 'e');
    const size_t beforeWrite = sim.lines("RX ").size();
    EXPECT_EQ(EF_UpdateEtc1(0, u8(etc)), VCL_SC_ERR_SECURITY);
    EXPECT_EQ(sim.lines("RX ").size(), beforeWrite);

    EXPECT_EQ(VCL_VerifyPIN(0, "123456"), 0);
    EXPECT_EQ(Pcs[0].pin_verified, 1);
    EXPECT_EQ(sim.lines("APDU ").back(), "0020000108313233343536000000");
    unsigned char key[VCL_SC_MAX_ITEM + 1];
    EXPECT_EQ(EF_ReadSignPrivKey(0, key, sizeof key), 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key)), "KEY-BYTES");
    EXPECT_EQ(EF_ReadSignPrivKey(0, key, 9), VCL_SC_ERR_ARGUMENT);  // no room for the NUL
    unsigned char cert[VCL_SC_MAX_ITEM + 1];
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);

    EXPECT_EQ(EF_UpdateEtc1(0, u8(etc)), 0);
    unsigned char back[101];
    EXPECT_EQ(EF_ReadEtc1(0, back), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 100), etc);
    // Writes go in 64-byte chunks.
    std::vector<std::string> writes;
    for (const auto& apdu : sim.lines("APDU "))
        if (apdu.rfind("00D6", 0) == 0) writes.push_back(apdu.substr(4, 6));
    EXPECT_EQ(writes, (std::vector<std::string>{"000040", "004024"}));

    const std::string newKey(3000, 'k');
    EXPECT_EQ(EF_UpdateSignPrivKey(0, u8(newKey), coretest::len(newKey)), 0);
    EXPECT_EQ(EF_ReadSignPrivKey(0, key, sizeof key), 3000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 3000), newKey);
    const std::string tooBig(VCL_SC_MAX_ITEM + 1, 'x');
    EXPECT_EQ(EF_UpdateSignPrivKey(0, u8(tooBig), coretest::len(tooBig)), VCL_SC_ERR_ARGUMENT);
}

// The selection cache knows the file's kind and forgets with the power.
TEST(SmartCardFiles, SelectionCache) {
    CardSim sim({"--layout", "ef"});
    Port port(sim);
    auto selects = [&] {
        int n = 0;
        for (const auto& apdu : sim.lines("APDU ")) n += apdu.rfind("00A40000", 0) == 0 && apdu.substr(10, 4) == "EF04";
        return n;
    };
    unsigned char cert[VCL_SC_MAX_ITEM + 1];
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);
    EXPECT_EQ(Pcs[0].selected, 0xEF04);
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);
    EXPECT_EQ(selects(), 1);  // the cached EF is not selected again

    // A dedicated file of the same number is another file.
    EXPECT_EQ(sc_select_df(0, 0x3000), 0);
    EXPECT_EQ(Pcs[0].selected, 0x3000);
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);
    EXPECT_EQ(selects(), 2);

    // After power off and on the card has nothing selected and no PIN.
    EXPECT_EQ(VCL_VerifyPIN(0, "123456"), 0);
    VCL_PowerOffCmd(0);
    EXPECT_EQ(Pcs[0].selected, 0);
    EXPECT_EQ(Pcs[0].pin_verified, 0);
    char atr[VCL_SC_ATR_HEX_SIZE];
    EXPECT_GT(VCL_PowerOnCmd(0, atr), 0);
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);
    EXPECT_EQ(selects(), 3);
    EXPECT_EQ(VCL_ReadEF(0, 3, 0, 2, cert), VCL_SC_ERR_SECURITY);
    // Not powered.
    VCL_PowerOffCmd(0);
    EXPECT_EQ(VCL_ReadEF(0, 4, 0, 2, cert), -1);
    EXPECT_EQ(VCL_WriteEF(0, 40, 0, cert, 2), -1);
}

// After power-off another card is put into the reader: its file is read,
// not the one the cache remembers.
TEST(SmartCardFiles, NewCardAfterPowerOff) {
    zqtest::TempDir dir("newcard");
    const std::string second(900, 'S');
    zqtest::writeFile(dir / "second", second);
    CardSim sim({"--swap-cert", dir / "second"});
    Port port(sim);
    unsigned char cert[VCL_SC_MAX_ITEM + 1];
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 700);
    VCL_PowerOffCmd(0);
    char atr[VCL_SC_ATR_HEX_SIZE];
    ASSERT_GT(VCL_PowerOnCmd(0, atr), 0);
    EXPECT_EQ(EF_ReadCert(0, cert, sizeof cert), 900);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(cert), 900), second);
    EXPECT_EQ(sim.lines("CARD "), std::vector<std::string>{"swapped"});
}

TEST(SmartCardFiles, F3Records) {
    std::string cert;
    for (int i = 0; i < 1234; ++i) cert += static_cast<char>(i * 7);
    CardSim sim({"--layout", "f3"}, std::string(600, 'K'), cert);
    Port port(sim);
    unsigned char out[VCL_SC_MAX_ITEM + 1];
    EXPECT_EQ(F3_ReadCert(0, out, sizeof out), 1234);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 1234), cert);
    EXPECT_EQ(out[1234], 0);
    // Records of item 4 under the dedicated file 30 04: P2 = 4 x 8 + 4, Le 52.
    const auto apdus = sim.lines("APDU ");
    EXPECT_NE(std::find(apdus.begin(), apdus.end(), "00A4040007D410650990300400"), apdus.end());
    EXPECT_NE(std::find(apdus.begin(), apdus.end(), "00B201240034"), apdus.end());
    // Part of an item: 5 bytes from offset 100 of the data.
    EXPECT_EQ(VCL_ReadF3(0, 4, 102, 5, out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), cert.substr(100, 5));
    EXPECT_EQ(VCL_ReadF3(0, 4, 2, 1235, out), VCL_SC_ERR_ARGUMENT);
    EXPECT_EQ(F3_ReadSignPrivKey(0, out, sizeof out), VCL_SC_ERR_SECURITY);
    EXPECT_EQ(VCL_VerifyPIN(0, "123456"), 0);
    EXPECT_EQ(F3_ReadSignPrivKey(0, out, sizeof out), 600);
}

TEST(SmartCardPin, ChangePinPassesTheCardsCheck) {
    CardSim sim({"--pin", "1234567"});
    Port port(sim);
    EXPECT_EQ(ChangePIN(0, "12345"), -1);
    EXPECT_EQ(ChangePIN(0, "87654321"), 0);
    EXPECT_EQ(sim.lines("AUTH "), std::vector<std::string>{"ok"});
    EXPECT_EQ(VCL_VerifyPIN(0, "1234567"), VCL_SC_ERR_PIN);
    EXPECT_EQ(VCL_VerifyPIN(0, "87654321"), 0);
    // A session under a key the card does not have.
    unsigned char session[8];
    EXPECT_EQ(VCL_MakeSession(0, 2, u8("QWMZRTPX"), session), -1);
    // A wrong card key fails the card's check.
    EXPECT_EQ(VCL_MakeSession(0, 3, u8("XXXXXXXX"), session), 0);
    unsigned char sw[2];
    EXPECT_EQ(VCL_ExAuthen(0, 3, u8("XXXXXXXX"), session, sw), -1);
    EXPECT_EQ(hexOf(sw, 2), "6300");
}

// Each fault the simulator injects ends in a negative code, soon.
TEST(SmartCardFaults, EveryFaultEndsInAnError) {
    enum Op { kTerminalId, kPowerOn, kReadEf, kReadF3Key };
    struct Case {
        const char* fault;
        int at;
        const char* layout;
        Op op;
        int want;  // 1: any negative code
    } cases[] = {
        {"nak", 1, "ef", kTerminalId, -1},
        {"badcheck", 1, "ef", kTerminalId, VCL_SC_ERR_CHECK},
        {"noetx", 1, "ef", kTerminalId, VCL_SC_ERR_FRAME},
        {"readererr", 1, "ef", kTerminalId, -258},
        {"readererr0", 1, "ef", kTerminalId, VCL_SC_ERR_FRAME},
        {"chatter", 1, "ef", kTerminalId, VCL_SC_ERR_READ},
        {"longframe", 1, "ef", kTerminalId, VCL_SC_ERR_FRAME},
        {"longatr", 1, "ef", kPowerOn, VCL_SC_ERR_FRAME},
        {"pastle", 3, "ef", kReadEf, VCL_SC_ERR_FRAME},
        {"recpast", 3, "f3", kReadF3Key, VCL_SC_ERR_READ_REFUSED},
        {"zerolen", 3, "f3", kReadF3Key, VCL_SC_ERR_READ_REFUSED},
        {"bigt", 1, "f3", kReadF3Key, VCL_SC_ERR_READ_REFUSED},
        {"silence", 1, "ef", kTerminalId, -1},
        {"mute", 1, "ef", kTerminalId, VCL_SC_ERR_READ},
    };
    for (const auto& c : cases) {
        CardSim sim({"--layout", c.layout, "--fault", c.fault, "--fault-at", std::to_string(c.at)},
                    std::string(200, 'K'));
        ASSERT_EQ(VCL_InitializeDevice(2, sim.path().c_str()), 2);
        const auto start = std::chrono::steady_clock::now();
        int rc = 0;
        char text[VCL_SC_ATR_HEX_SIZE];
        unsigned char out[VCL_SC_MAX_ITEM + 1];
        switch (c.op) {
            case kTerminalId:
                rc = VCL_GetTerminalIdCmd(2, text);
                break;
            case kPowerOn:
                rc = VCL_PowerOnCmd(2, text);
                break;
            case kReadEf:
                VCL_PowerOnCmd(2, text);
                rc = VCL_ReadEF(2, 9, 0, 10, out);
                break;
            case kReadF3Key:
                VCL_PowerOnCmd(2, text);
                rc = VCL_VerifyPIN(2, "123456");
                if (rc == 0) rc = F3_ReadSignPrivKey(2, out, sizeof out);
                break;
        }
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(rc, c.want) << c.fault;
        EXPECT_LT(seconds, 20) << c.fault;
        VCL_ExitDevice(2);
    }
    // Noise before STX that stays within the bound is skipped.
    CardSim sim({"--fault", "noise"});
    ASSERT_EQ(VCL_InitializeDevice(2, sim.path().c_str()), 2);
    char id[VCL_SC_MAX_TERMINAL_ID + 1];
    EXPECT_EQ(VCL_GetTerminalIdCmd(2, id), 13);
    VCL_ExitDevice(2);
}

namespace {

const std::string& cardFixtures() {
    static const std::string dir = coretest::fixtureDir("make_card_fixtures.sh");
    return dir;
}
std::string cardFile(const std::string& name) { return zqtest::readFile(cardFixtures() + "/" + name); }

// What VCL_Load_Smart_Key handed out, copied; its buffers are released.
struct Loaded {
    int rc = -99;
    bool handedOut = false;
    std::string cert, key;
};

Loaded load(int type, const CardSim& sim, const char* pin = "123456", const char* password = "pw") {
    Loaded l;
    unsigned char *cert = nullptr, *key = nullptr;
    int certLen = 0, keyLen = 0;
    l.rc = VCL_Load_Smart_Key(type, sim.path().c_str(), pin, password,
                              password ? static_cast<int>(std::strlen(password)) : 0, &cert, &certLen, &key, &keyLen);
    l.handedOut = cert || key;
    if (cert) l.cert.assign(reinterpret_cast<char*>(cert), static_cast<size_t>(certLen));
    if (key) l.key.assign(reinterpret_cast<char*>(key), static_cast<size_t>(keyLen));
    VCL_Free(cert, certLen);
    VCL_Free(key, keyLen);
    return l;
}

}  // namespace

// The key and certificate come back as the card holds them, with the pair
// checked; the reader is closed again.
TEST(SmartCardLoad, EfAndF3Cards) {
    ASSERT_FALSE(cardFixtures().empty());
    const std::string key = cardFile("key.der"), cert = cardFile("cert.der");
    for (const auto& [type, layout] : {std::pair{1, "ef"}, std::pair{0, "f3"}}) {
        CardSim sim({"--layout", layout}, key, cert);
        const Loaded l = load(type, sim);
        ASSERT_EQ(l.rc, 0) << layout;
        EXPECT_EQ(l.key, key) << layout;
        EXPECT_EQ(l.cert, cert) << layout;
        for (const auto& p : Pcs) EXPECT_EQ(p.fd, -1) << layout;
        EXPECT_EQ(sim.lines("POWER "), (std::vector<std::string>{"on", "off"})) << layout;
    }
}

TEST(SmartCardLoad, Failures) {
    const std::string key = cardFile("key.der"), cert = cardFile("cert.der");
    CardSim ef({"--layout", "ef"}, key, cert);
    struct Case {
        const char* name;
        int type;
        const char* pin;
        const char* password;
        unsigned code;
    } cases[] = {
        {"empty PIN", 1, "", "pw", 0xd2010152u},
        {"wrong PIN", 1, "654321", "pw", 0xd2010153u},
        {"short PIN", 1, "12345", "pw", 0xd2010153u},
        {"card type", 2, "123456", "pw", 0xd2010156u},
        {"F3 reading of an EF card", 0, "123456", "pw", 0xd2010154u},
    };
    for (const auto& c : cases) {
        const Loaded l = load(c.type, ef, c.pin, c.password);
        EXPECT_EQ(coretest::rc(l.rc), c.code) << c.name;
        EXPECT_FALSE(l.handedOut) << c.name;
    }
    // A wrong password: the key reader's own code.
    const Loaded wrong = load(1, ef, "123456", "not-pw");
    EXPECT_NE(wrong.rc, 0);
    EXPECT_FALSE(wrong.handedOut);
    unsigned char *c = nullptr, *k = nullptr;
    int cl = 0, kl = 0;
    EXPECT_EQ(coretest::rc(VCL_Load_Smart_Key(1, "/nonexistent/tty", "123456", "pw", 2, &c, &cl, &k, &kl)),
              0xd2010150u);
    EXPECT_EQ(c, nullptr);

    // A certificate of another key: the pair check's code.
    CardSim mismatched({"--layout", "f3"}, key, cardFile("other.der"));
    EXPECT_EQ(load(0, mismatched).rc, 1);
    // A key too short to be one.
    CardSim tiny({"--layout", "ef"}, std::string(16, 'k'), cert);
    EXPECT_EQ(coretest::rc(load(1, tiny).rc), 0xd2010157u);

    // A port in use is left alone: the reader goes into the next free entry.
    CardSim other({});
    ASSERT_EQ(VCL_InitializeDevice(0, other.path().c_str()), 0);
    const int fd = Pcs[0].fd;
    EXPECT_EQ(load(1, ef).rc, 0);
    EXPECT_EQ(Pcs[0].fd, fd);
    EXPECT_EQ(Pcs[1].fd, -1);
    VCL_ExitDevice(0);
}

// zq_cardsim: a serial smart-card reader with a card in it, on a pty pair,
// for the tests of the library's card functions. It prints the slave side's
// path on its first line and then serves the reader's frames on the master
// side until it is killed.
//
// Reader: frames STX, length (2 bytes, data + 1), command, data, ETX, XOR
// check over length..ETX, each answered by ACK or NAK; commands 3 (terminal
// id), 'C' (card state), 'D' (power, 1 on with the ATR as answer, 0 off),
// 'G' (APDU exchange), 'H' (PTS echo); status 0x00, or 0xFF and an error
// number. Card: an EF layout (files 0xEF n) or an F3 layout (records of the
// dedicated files D4 10 65 09 90 30 0n) holding a key (3) and a certificate
// (4); SELECT, READ/UPDATE BINARY, READ RECORD, VERIFY, GET CHALLENGE,
// EXTERNAL AUTHENTICATE, HY CREATE SESSION and HY PUT KEY. Its DES is
// OpenSSL's.
//
// Usage: zq_cardsim [--layout ef|f3] [--pin PIN] [--key FILE] [--cert FILE]
//                   [--log FILE] [--fault NAME] [--fault-at N] [--swap-cert FILE]
// --swap-cert: at the first power-off another card with that certificate is
// put into the reader.
// A fault applies from the N-th frame received on (default 1): nak, silence,
// mute, badcheck, noetx, readererr, readererr0, noise, chatter, longframe,
// pastle, recpast, bigt, zerolen, longatr.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <fcntl.h>
#include <openssl/des.h>
#include <openssl/rand.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned char kStx = 0x02, kEtx = 0x03, kAck = 0x06, kNak = 0x15;
constexpr unsigned char kCardKey3[8] = {'Q', 'W', 'M', 'Z', 'R', 'T', 'P', 'X'};
constexpr unsigned char kDfName[5] = {0xD4, 0x10, 0x65, 0x09, 0x90};
// Content bytes of one record: a READ RECORD with Le 52 takes tag, length and 50.
constexpr size_t kRecordContent = 50;
constexpr size_t kItemFile = 2 + 8192;

struct Options {
    bool ef = true;
    std::string pin = "123456";
    Bytes key, cert, swapCert;
    std::string log;
    std::string fault;
    int faultAt = 1;
};

FILE* gLog = nullptr;

std::string hex(const unsigned char* p, size_t n) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

void logLine(const std::string& line) {
    if (!gLog) return;
    std::fprintf(gLog, "%s\n", line.c_str());
    std::fflush(gLog);
}

void des(const unsigned char key[8], const unsigned char in[8], unsigned char out[8]) {
    DES_cblock k;
    std::memcpy(k, key, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    DES_cblock i, o;
    std::memcpy(i, in, 8);
    DES_ecb_encrypt(&i, &o, &ks, DES_ENCRYPT);
    std::memcpy(out, o, 8);
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

bool writeAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// One byte within timeoutMs (-1: wait for ever); false on timeout or error.
bool readByte(int fd, unsigned char& b, int timeoutMs = -1) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t n = ::read(fd, &b, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return n == 1;
    }
}

class Card {
public:
    explicit Card(const Options& o) : m_opt(o) {
        m_pin = pad(o.pin);
        if (o.ef) {
            m_ef[3] = item(o.key, kItemFile);
            m_ef[4] = item(o.cert, kItemFile);
            for (auto [n, size] : {std::pair{5, 40}, {6, 40}, {7, 40}, {8, 100}, {9, 500}, {10, 1000}, {11, 1000}})
                m_ef[n] = Bytes(static_cast<size_t>(size), 0);
        } else {
            m_f3[3] = item(o.key, 0);
            m_f3[4] = item(o.cert, 0);
            if (o.fault == "bigt") m_f3[3][0] = 0x23, m_f3[3][1] = 0x28;  // T 9000
        }
    }

    // Another card: the same key, another certificate.
    void replaceCert(const Bytes& cert) {
        if (m_opt.ef)
            m_ef[4] = item(cert, kItemFile);
        else
            m_f3[4] = item(cert, 0);
    }

    void reset() {
        m_verified = m_authenticated = m_haveChallenge = m_haveSession = false;
        m_ef_sel = m_df_sel = -1;
    }

    // The answer to one APDU: data and status words.
    Bytes apdu(const Bytes& a, bool fault) {
        if (a.size() < 6 || a.size() != static_cast<size_t>(a[4]) + 6) return sw(0x67, 0x00);
        const int cla = a[0], ins = a[1], p1 = a[2], p2 = a[3], lc = a[4], le = a[5 + lc];
        const Bytes data(a.begin() + 5, a.begin() + 5 + lc);
        switch (ins) {
            case 0xA4:
                return select(p1, data);
            case 0xB0:
                return readBinary((p1 << 8) | p2, le, fault);
            case 0xD6:
                return updateBinary((p1 << 8) | p2, data);
            case 0xB2:
                return readRecord(p1, p2, le, fault);
            case 0x20:
                return verify(p2, data);
            case 0x84:
                return challenge(le);
            case 0x8A:
                return cla == 0x90 ? createSession(p2, data) : sw(0x6E, 0x00);
            case 0x82:
                return externalAuthenticate(p2, data);
            case 0xEA:
                return cla == 0x90 ? putKey(p1, p2, data) : sw(0x6E, 0x00);
            default:
                return sw(0x6D, 0x00);
        }
    }

private:
    static Bytes sw(int a, int b) { return {static_cast<unsigned char>(a), static_cast<unsigned char>(b)}; }
    static Bytes pad(const std::string& pin) {
        Bytes p(8, 0);
        std::memcpy(p.data(), pin.data(), std::min<size_t>(pin.size(), 8));
        return p;
    }
    // A length-prefixed item, zero-filled to size when given.
    static Bytes item(const Bytes& content, size_t size) {
        Bytes b;
        b.push_back(static_cast<unsigned char>(content.size() >> 8));
        b.push_back(static_cast<unsigned char>(content.size()));
        b.insert(b.end(), content.begin(), content.end());
        if (b.size() < size) b.resize(size, 0);
        return b;
    }
    static Bytes ok(Bytes data) {
        data.push_back(0x90);
        data.push_back(0x00);
        return data;
    }

    Bytes select(int p1, const Bytes& d) {
        m_ef_sel = -1;
        if (p1 == 0 && d.size() == 2 && d[0] == 0xEF && m_ef.count(d[1])) {
            m_ef_sel = d[1];
            return sw(0x90, 0x00);
        }
        if (p1 == 0 && d.size() == 2 && d[0] == 0xF3 && m_f3.count(d[1])) return sw(0x90, 0x00);
        if (p1 == 4 && d.size() == 7 && std::memcmp(d.data(), kDfName, 5) == 0) {
            const int number = (d[5] << 8) | d[6];
            if (number == 0x3000) {
                m_df_sel = 0;
                return sw(0x90, 0x00);
            }
            if (m_f3.count(number - 0x3000)) {
                m_df_sel = number - 0x3000;
                return sw(0x90, 0x00);
            }
        }
        return sw(0x6A, 0x82);
    }

    Bytes readBinary(int offset, int le, bool fault) {
        if (m_ef_sel < 0) return sw(0x69, 0x86);
        if (m_ef_sel == 3 && !m_verified) return sw(0x69, 0x82);
        const Bytes& f = m_ef[m_ef_sel];
        if (static_cast<size_t>(offset + le) > f.size()) return sw(0x6B, 0x00);
        Bytes out(f.begin() + offset, f.begin() + offset + le);
        if (fault && m_opt.fault == "pastle") out.resize(out.size() + 10, 0xEE);
        return ok(out);
    }

    Bytes updateBinary(int offset, const Bytes& d) {
        if (m_ef_sel < 0) return sw(0x69, 0x86);
        if (!m_verified) return sw(0x69, 0x82);
        Bytes& f = m_ef[m_ef_sel];
        if (static_cast<size_t>(offset) + d.size() > f.size()) return sw(0x6B, 0x00);
        std::copy(d.begin(), d.end(), f.begin() + offset);
        return sw(0x90, 0x00);
    }

    Bytes readRecord(int record, int p2, int le, bool fault) {
        const int item = p2 >> 3;
        if ((p2 & 7) != 4 || item != m_df_sel || !m_f3.count(item)) return sw(0x6A, 0x82);
        if (item == 3 && !m_verified) return sw(0x69, 0x82);
        const Bytes& s = m_f3[item];
        const size_t from = static_cast<size_t>(record - 1) * kRecordContent;
        if (record < 1 || from >= s.size()) return sw(0x6A, 0x83);
        const size_t n = std::min(kRecordContent, s.size() - from);
        Bytes out = {0x01, static_cast<unsigned char>(n)};
        out.insert(out.end(), s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(from + n));
        if (fault && m_opt.fault == "recpast") out[1] = static_cast<unsigned char>(n + 20);
        if (fault && m_opt.fault == "zerolen" && record == 2) out.resize(2), out[1] = 0;
        if (fault && m_opt.fault == "pastle") out.resize(static_cast<size_t>(le) + 10, 0xEE);
        return ok(out);
    }

    Bytes verify(int p2, const Bytes& d) {
        m_verified = p2 == 1 && d == m_pin;
        return m_verified ? sw(0x90, 0x00) : sw(0x63, 0xC2);
    }

    Bytes challenge(int le) {
        if (le != 8) return sw(0x67, 0x00);
        RAND_bytes(m_challenge, 8);
        m_haveChallenge = true;
        return ok(Bytes(m_challenge, m_challenge + 8));
    }

    Bytes createSession(int keyNumber, const Bytes& host) {
        if (keyNumber != 3 || host.size() != 8) return sw(0x6A, 0x88);
        unsigned char r[8], k[8];
        RAND_bytes(r, 8);
        des(kCardKey3, host.data(), k);
        des(k, r, m_session);
        m_haveSession = true;
        m_authenticated = false;
        return ok(Bytes(r, r + 8));
    }

    Bytes externalAuthenticate(int keyNumber, const Bytes& d) {
        bool good = false;
        if (keyNumber == 3 && d.size() == 4 && m_haveSession && m_haveChallenge) {
            unsigned char t[8];
            des(kCardKey3, m_challenge, t);
            des(m_session, t, t);
            good = std::memcmp(t + 4, d.data(), 4) == 0;
        }
        m_haveChallenge = false;
        m_authenticated = good;
        logLine(std::string("AUTH ") + (good ? "ok" : "refused"));
        return good ? sw(0x90, 0x00) : sw(0x63, 0x00);
    }

    Bytes putKey(int p1, int p2, const Bytes& d) {
        if (!m_authenticated) return sw(0x69, 0x82);
        if (p1 != 0x80 || p2 != 1 || d.size() != 8) return sw(0x6A, 0x86);
        m_pin = d;
        m_authenticated = false;
        return sw(0x90, 0x00);
    }

    const Options& m_opt;
    Bytes m_pin;
    std::map<int, Bytes> m_ef, m_f3;
    bool m_verified = false, m_authenticated = false, m_haveChallenge = false, m_haveSession = false;
    int m_ef_sel = -1, m_df_sel = -1;
    unsigned char m_challenge[8] = {}, m_session[8] = {};
};

class Reader {
public:
    Reader(int fd, const Options& o) : m_fd(fd), m_opt(o), m_card(o) {}

    void serve() {
        for (;;) {
            Bytes frame;
            if (!receive(frame)) continue;
            ++m_count;
            const bool fault = !m_opt.fault.empty() && m_count >= m_opt.faultAt;
            const std::string& f = m_opt.fault;
            if (fault && f == "silence") {
                logLine("FAULT silence");
                continue;
            }
            if (fault && f == "nak") {
                logLine("FAULT nak");
                put(kNak);
                continue;
            }
            put(kAck);
            const int command = frame[0];
            const Bytes data(frame.begin() + 1, frame.end());
            Bytes answer;
            const int status = handle(command, data, answer, fault);
            if (fault && f == "mute") {
                logLine("FAULT mute");
                continue;
            }
            send(status, answer, fault);
        }
    }

private:
    void put(unsigned char b) { writeAll(m_fd, &b, 1); }

    // A frame from the host; malformed ones are NAKed.
    bool receive(Bytes& body) {
        unsigned char b = 0;
        do {
            if (!readByte(m_fd, b)) return false;
        } while (b != kStx);
        unsigned char len[2];
        if (!readByte(m_fd, len[0], 2000) || !readByte(m_fd, len[1], 2000)) return false;
        const size_t n = static_cast<size_t>((len[0] << 8) | len[1]);
        body.resize(n);
        for (auto& c : body)
            if (!readByte(m_fd, c, 2000)) return false;
        unsigned char etx = 0, check = 0;
        if (!readByte(m_fd, etx, 2000) || !readByte(m_fd, check, 2000)) return false;
        Bytes raw = {kStx, len[0], len[1]};
        raw.insert(raw.end(), body.begin(), body.end());
        raw.push_back(etx);
        raw.push_back(check);
        logLine("RX " + hex(raw.data(), raw.size()));
        unsigned char sum = len[0] ^ len[1] ^ etx;
        for (unsigned char c : body) sum ^= c;
        if (n == 0 || etx != kEtx || sum != check) {
            logLine("RX refused");
            put(kNak);
            return false;
        }
        return true;
    }

    int handle(int command, const Bytes& data, Bytes& answer, bool fault) {
        const std::string& f = m_opt.fault;
        if (fault && f == "readererr") {
            answer = {0x01, 0x02};
            return 0xFF;
        }
        if (fault && f == "readererr0") {
            answer = {0x00, 0x00};
            return 0xFF;
        }
        switch (command) {
            case 3: {
                const std::string id = "ZQ-CARDSIM-01";
                answer.assign(id.begin(), id.end());
                return 0;
            }
            case 'C':
                answer = {0x01};
                return 0;
            case 'H':
                answer = data;
                return 0;
            case 'D':
                m_card.reset();
                m_powered = !data.empty() && data[0] == 1;
                logLine(m_powered ? "POWER on" : "POWER off");
                if (!m_powered && !m_opt.swapCert.empty() && !m_swapped) {
                    m_card.replaceCert(m_opt.swapCert);
                    m_swapped = true;
                    logLine("CARD swapped");
                }
                if (m_powered) {
                    answer = {0x3B, 0x6D, 0x00, 0x00, 0x80, 0x31, 0x80, 0x65, 0xB0,
                              0x83, 0x11, 0x00, 0xC8, 0x83, 0x00, 0x90, 0x00};
                    if (fault && f == "longatr") answer.resize(40, 0x11);
                }
                return 0;
            case 'G': {
                if (!m_powered) {
                    answer = {0x00, 0x06};
                    return 0xFF;
                }
                logLine("APDU " + hex(data.data(), data.size()));
                answer = m_card.apdu(data, fault);
                logLine("SW " + hex(answer.data() + answer.size() - 2, 2));
                return 0;
            }
            default:
                answer = {0x00, 0x01};
                return 0xFF;
        }
    }

    void send(int status, const Bytes& answer, bool fault) {
        const std::string& f = m_opt.fault;
        Bytes frame;
        if (fault && f == "noise") frame.assign(40, 0x55);
        if (fault && f == "chatter") {
            // More noise than a reader should skip; the host stops listening first.
            Bytes noise(3000, 0xAA);
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
            ::write(m_fd, noise.data(), noise.size());
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
            logLine("FAULT chatter");
            return;
        }
        size_t length = answer.size() + 1;
        if (fault && f == "longframe") length = 0xFFFF;
        frame.push_back(kStx);
        frame.push_back(static_cast<unsigned char>(length >> 8));
        frame.push_back(static_cast<unsigned char>(length));
        frame.push_back(static_cast<unsigned char>(status));
        frame.insert(frame.end(), answer.begin(), answer.end());
        frame.push_back(fault && f == "noetx" ? 0x04 : kEtx);
        unsigned char check = 0;
        for (size_t i = frame.size() - answer.size() - 5 + 1; i < frame.size(); ++i) check ^= frame[i];
        if (fault && f == "badcheck") check ^= 0xFF;
        frame.push_back(check);
        writeAll(m_fd, frame.data(), frame.size());
        unsigned char reply = 0;
        const bool got = readByte(m_fd, reply, 6000);
        logLine(std::string("TX ") + hex(frame.data(), std::min<size_t>(frame.size(), 64)) + " -> " +
                (!got            ? "none"
                 : reply == kAck ? "ACK"
                 : reply == kNak ? "NAK"
                                 : "other"));
    }

    int m_fd;
    const Options& m_opt;
    Card m_card;
    bool m_powered = false;
    bool m_swapped = false;
    int m_count = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--layout")
            o.ef = v != "f3";
        else if (a == "--pin")
            o.pin = v;
        else if (a == "--key")
            o.key = readFileBytes(v);
        else if (a == "--cert")
            o.cert = readFileBytes(v);
        else if (a == "--log")
            o.log = v;
        else if (a == "--fault")
            o.fault = v;
        else if (a == "--fault-at")
            o.faultAt = std::atoi(v.c_str());
        else if (a == "--swap-cert")
            o.swapCert = readFileBytes(v);
        else {
            std::fprintf(stderr, "zq_cardsim: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (!o.log.empty()) gLog = std::fopen(o.log.c_str(), "a");
    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    // Raw from the start: nothing the host writes is echoed back. The slave
    // stays open here, so the master side never sees a hang-up.
    struct termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    std::printf("%s\n", name);
    std::fflush(stdout);
    Reader(master, o).serve();
}

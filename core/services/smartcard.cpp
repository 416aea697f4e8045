// The serial smart-card reader: frames with their handshake, APDUs, the
// card's EF and F3 files, the PIN and the DES session. Every length the
// device sends is bounded by what was asked and by the room it goes into.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <zunCore/smartcard.h>

#include "services/sc_internal.hpp"
#include "util/core_internal.hpp"

VCL_SC_PORT Pcs[VCL_SC_PORTS] = {{-1, 0, 0, 0}, {-1, 0, 0, 0}, {-1, 0, 0, 0}};

namespace {

constexpr unsigned char kStx = 0x02, kEtx = 0x03, kAck = 0x06, kNak = 0x15;
constexpr int kStatusError = 0xFF;
// Timed-out or failed reads tolerated while waiting for STX.
constexpr int kReadFailures = 3;
// The dedicated file's name: these five bytes and the number's two.
constexpr unsigned char kDfName[5] = {0xD4, 0x10, 0x65, 0x09, 0x90};
constexpr unsigned char kHostChallenge[8] = {'K', 'T', 'R', 'V', 'N', 'W', 'Q', 'Y'};
constexpr unsigned char kPinCardKey[8] = {'Q', 'W', 'M', 'Z', 'R', 'T', 'P', 'X'};
constexpr int kPinKeyNumber = 3;
constexpr int kRecordLe = 52;
constexpr int kReadChunk = 128;
constexpr int kWriteChunk = 64;

bool badPort(int port) { return port < 0 || port >= VCL_SC_PORTS; }

VCL_SC_PORT& entry(int port) { return Pcs[port]; }

void clearState(VCL_SC_PORT& p) {
    p.powered = 0;
    p.pin_verified = 0;
    p.selected = 0;
}

// One byte: 1, 0 when the read timed out or the device closed, -1 on error.
int readByte(int fd, unsigned char& b) {
    for (;;) {
        const ssize_t n = ::read(fd, &b, 1);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? 1 : (n == 0 ? 0 : -1);
    }
}

bool readExact(int fd, unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (readByte(fd, p[i]) != 1) return false;
    return true;
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

// Pending input is dropped before a frame and a handshake byte. Output is
// not: what is pending there is our own last ACK or NAK, and dropping it
// would leave the reader waiting for it. A descriptor that is not a
// terminal has nothing to drop.
void flushInput(int fd) { ::tcflush(fd, TCIFLUSH); }

void answer(int fd, unsigned char byte) {
    flushInput(fd);
    writeAll(fd, &byte, 1);
}

// Status words of an answer of n bytes.
int sw1(const unsigned char* a, int n) { return a[n - 2]; }
bool sw(const unsigned char* a, int n, int s1, int s2) { return a[n - 2] == s1 && a[n - 1] == s2; }

// Room an APDU's answer may take: its data are bounded by Le (256 for Le 0).
int answerRoom(int le) { return (le > 0 ? le : 256) + 2; }

struct Wiped {
    unsigned char b[8];
    ~Wiped() { explicit_bzero(b, sizeof b); }
};

// The PIN padded with zero bytes to 8; false unless it has 6 to 8 characters.
bool padPin(const char* pin, unsigned char out[8]) {
    if (!pin) return false;
    const size_t n = strnlen(pin, 9);
    if (n < 6 || n > 8) return false;
    std::memset(out, 0, 8);
    std::memcpy(out, pin, n);
    return true;
}

int readLengthPrefixed(int port, bool f3, int n, unsigned char* out, int size) {
    if (!out || size <= 0) return VCL_SC_ERR_ARGUMENT;
    unsigned char head[3];
    int rc = f3 ? VCL_ReadF3(port, n, 0, 2, head) : VCL_ReadEF(port, n, 0, 2, head);
    if (rc != 0) return rc;
    const int len = (head[0] << 8) | head[1];
    if (len > VCL_SC_MAX_ITEM) return VCL_SC_ERR_READ_REFUSED;
    if (len + 1 > size) return VCL_SC_ERR_ARGUMENT;
    rc = f3 ? VCL_ReadF3(port, n, 2, len, out) : VCL_ReadEF(port, n, 2, len, out);
    return rc != 0 ? rc : len;
}

int writeLengthPrefixed(int port, int n, const unsigned char* data, int len) {
    if (!data || len < 1 || len > VCL_SC_MAX_ITEM) return VCL_SC_ERR_ARGUMENT;
    std::vector<unsigned char> buf(static_cast<size_t>(len) + 2);
    buf[0] = static_cast<unsigned char>(len >> 8);
    buf[1] = static_cast<unsigned char>(len);
    std::memcpy(buf.data() + 2, data, static_cast<size_t>(len));
    const int rc = VCL_WriteEF(port, n, 0, buf.data(), len + 2);
    explicit_bzero(buf.data(), buf.size());
    return rc;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A SELECT whose answer must be 61 xx or 90 xx; the selection is recorded
// (with its kind) only when it succeeded.
int selectFile(int port, int p1, const unsigned char* data, int lc, int id) {
    if (badPort(port)) return VCL_SC_ERR_ARGUMENT;
    entry(port).selected = 0;
    unsigned char a[258];
    const int n = ISOSelectFile(port, 0, p1, 0, lc, data, 0, a);
    if (n < 0) return n;
    if (sw1(a, n) != 0x61 && sw1(a, n) != 0x90) return VCL_SC_ERR_SELECT;
    entry(port).selected = id;
    return 0;
}

}  // namespace

extern "C" {

// ---- Reader layer ------------------------------------------------------------

VCL_API int VCL_InitializeDevice(int port, const char* path) {
    if (badPort(port)) return VCL_SC_ERR_ARGUMENT;
    VCL_SC_PORT& p = entry(port);
    if (p.fd >= 0) VCL_ExitDevice(port);
    if (!path) return -1;
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct termios t;
    if (::tcgetattr(fd, &t) != 0) {
        ::close(fd);
        return VCL_SC_ERR_TCGETATTR;
    }
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | NOFLSH | IEXTEN);
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | INPCK | ISTRIP | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_cflag |= CS8 | CREAD;
    // A read returns after at most 5 seconds.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 50;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    if (::tcsetattr(fd, TCSAFLUSH, &t) != 0) {
        ::close(fd);
        return VCL_SC_ERR_TCSETATTR;
    }
    p.fd = fd;
    clearState(p);
    return port;
}

VCL_API int VCL_ExitDevice(int port) {
    if (badPort(port)) return VCL_SC_ERR_ARGUMENT;
    VCL_SC_PORT& p = entry(port);
    const int rc = p.fd >= 0 ? ::close(p.fd) : -1;
    p.fd = -1;
    clearState(p);
    return rc;
}

VCL_API int sc_reader_send_frame(int port, int command, const unsigned char* data, int len) {
    if (badPort(port) || len < 0 || len > VCL_SC_MAX_FRAME_DATA || (len > 0 && !data)) return VCL_SC_ERR_ARGUMENT;
    const int fd = entry(port).fd;
    std::vector<unsigned char> frame;
    frame.reserve(static_cast<size_t>(len) + 6);
    const int length = len + 1;
    frame.push_back(kStx);
    frame.push_back(static_cast<unsigned char>(length >> 8));
    frame.push_back(static_cast<unsigned char>(length));
    frame.push_back(static_cast<unsigned char>(command));
    frame.insert(frame.end(), data, data + len);
    frame.push_back(kEtx);
    unsigned char check = 0;
    for (size_t i = 1; i < frame.size(); ++i) check ^= frame[i];
    frame.push_back(check);
    flushInput(fd);
    if (!writeAll(fd, frame.data(), frame.size())) return VCL_SC_ERR_NO_ACK;
    unsigned char ack = 0;
    if (readByte(fd, ack) != 1 || ack != kAck) return VCL_SC_ERR_NO_ACK;
    return 0;
}

VCL_API int sc_reader_recv_frame(int port, unsigned char* buf, int room) {
    if (badPort(port) || !buf || room < 3) return VCL_SC_ERR_ARGUMENT;
    const int fd = entry(port).fd;
    // A silent or chattering device must not hold the call: timed-out reads
    // and the noise before STX are both counted.
    int failures = 0, skipped = 0;
    for (;;) {
        unsigned char b = 0;
        const int r = readByte(fd, b);
        if (r != 1) {
            if (++failures >= kReadFailures) return VCL_SC_ERR_READ;
            continue;
        }
        if (b == kStx) break;
        if (++skipped > VCL_SC_MAX_NOISE) return VCL_SC_ERR_READ;
    }
    if (!readExact(fd, buf, 2)) return VCL_SC_ERR_READ;
    const int length = (buf[0] << 8) | buf[1];
    // The length counts the status byte; more than the room is refused
    // before anything of it is read.
    if (length < 1 || length > VCL_SC_MAX_FRAME_DATA + 1 || length + 2 > room) {
        answer(fd, kNak);
        return VCL_SC_ERR_FRAME;
    }
    if (!readExact(fd, buf + 2, static_cast<size_t>(length))) return VCL_SC_ERR_READ;
    unsigned char etx = 0, check = 0;
    if (readByte(fd, etx) != 1) return VCL_SC_ERR_READ;
    if (etx != kEtx) {
        answer(fd, kNak);
        return VCL_SC_ERR_FRAME;
    }
    if (readByte(fd, check) != 1) return VCL_SC_ERR_READ;
    unsigned char sum = kEtx;
    for (int i = 0; i < length + 2; ++i) sum ^= buf[i];
    if (sum != check) {
        answer(fd, kNak);
        return VCL_SC_ERR_CHECK;
    }
    answer(fd, kAck);
    return length + 2;
}

VCL_API int sc_reader_transceive(int port, int command, const unsigned char* data, int len, unsigned char* out,
                                 int room) {
    if (badPort(port) || room < 0 || (room > 0 && !out)) return VCL_SC_ERR_ARGUMENT;
    if (sc_reader_send_frame(port, command, data, len) != 0) return -1;
    unsigned char frame[VCL_SC_MAX_FRAME_DATA + 3];
    const int n = sc_reader_recv_frame(port, frame, sizeof frame);
    if (n < 0) return n;
    const int answerLen = n - 3;
    if (frame[2] == kStatusError) {
        const int e = answerLen >= 2 ? (frame[3] << 8) | frame[4] : 0;
        // An error numbered 0 would read as success.
        return e > 0 ? -e : VCL_SC_ERR_FRAME;
    }
    if (answerLen > room) return VCL_SC_ERR_FRAME;
    if (answerLen > 0) std::memcpy(out, frame + 3, static_cast<size_t>(answerLen));
    return answerLen;
}

VCL_API int VCL_GetTerminalIdCmd(int port, char* out) {
    if (!out) return VCL_SC_ERR_ARGUMENT;
    out[0] = '\0';
    const int n =
        sc_reader_transceive(port, 3, nullptr, 0, reinterpret_cast<unsigned char*>(out), VCL_SC_MAX_TERMINAL_ID);
    if (n >= 0) out[n] = '\0';
    return n;
}

VCL_API int VCL_CheckCardInOutCmd(int port, unsigned char* out) {
    if (!out) return VCL_SC_ERR_ARGUMENT;
    return sc_reader_transceive(port, 'C', nullptr, 0, out, VCL_SC_MAX_STATE);
}

VCL_API int VCL_PowerOnCmd(int port, char* out) {
    if (badPort(port) || !out) return VCL_SC_ERR_ARGUMENT;
    out[0] = '\0';
    clearState(entry(port));
    const unsigned char on = 1;
    unsigned char atr[VCL_SC_MAX_ATR];
    const int n = sc_reader_transceive(port, 'D', &on, 1, atr, sizeof atr);
    if (n < 0) return n;
    VCL_bin2hex(out, atr, n);
    entry(port).powered = 1;
    return 2 * n;
}

VCL_API int VCL_PowerOffCmd(int port) {
    if (badPort(port)) return VCL_SC_ERR_ARGUMENT;
    clearState(entry(port));
    const unsigned char off = 0;
    unsigned char answer[64];
    return sc_reader_transceive(port, 'D', &off, 1, answer, sizeof answer);
}

VCL_API int VCL_RequestPTSCmd(int port, const char* hex, char* out) {
    if (badPort(port) || !hex || !out) return VCL_SC_ERR_ARGUMENT;
    out[0] = '\0';
    const size_t len = strnlen(hex, 13);
    if (len < 8 || len > 12) return VCL_SC_ERR_ARGUMENT;
    unsigned char request[VCL_SC_MAX_HEX_BYTES + 1];
    const int n = VCL_hex2bin(request, hex, static_cast<int>(len));
    // The first byte is PTSS.
    if (n < 4 || request[0] != 0xFF) return VCL_SC_ERR_ARGUMENT;
    unsigned char reply[6];
    const int r = sc_reader_transceive(port, 'H', request, n, reply, sizeof reply);
    if (r < 0) return r;
    if (r != n || std::memcmp(reply, request, static_cast<size_t>(n)) != 0) return -1;
    return VCL_bin2hex(out, reply, r);
}

VCL_API int VCL_ISOCmd(int port, const unsigned char* header, int lc, const unsigned char* data, int le,
                       unsigned char* out) {
    if (badPort(port) || !header || !out || lc < 0 || lc > VCL_SC_MAX_LC || le < 0 || le > 255 || (lc > 0 && !data))
        return VCL_SC_ERR_ARGUMENT;
    unsigned char apdu[VCL_SC_MAX_LC + 6];
    std::memcpy(apdu, header, 4);
    apdu[4] = static_cast<unsigned char>(lc);
    if (lc > 0) std::memcpy(apdu + 5, data, static_cast<size_t>(lc));
    apdu[5 + lc] = static_cast<unsigned char>(le);
    const int n = sc_reader_transceive(port, 'G', apdu, lc + 6, out, answerRoom(le));
    explicit_bzero(apdu, sizeof apdu);
    if (n >= 0 && n < 2) return VCL_SC_ERR_FRAME;  // no status words
    return n;
}

// ---- APDUs -------------------------------------------------------------------

VCL_API int sc_apdu_case2(int port, int cla, int ins, int p1, int p2, int le, unsigned char* out) {
    return sc_apdu_case34(port, cla, ins, p1, p2, 0, nullptr, le, out);
}

VCL_API int sc_apdu_case34(int port, int cla, int ins, int p1, int p2, int lc, const unsigned char* data, int le,
                           unsigned char* out) {
    const unsigned char header[4] = {static_cast<unsigned char>(cla), static_cast<unsigned char>(ins),
                                     static_cast<unsigned char>(p1), static_cast<unsigned char>(p2)};
    return VCL_ISOCmd(port, header, lc, data, le, out);
}

#define ZCORE_CASE2(name, ins)                                                        \
    VCL_API int name(int port, int cla, int p1, int p2, int le, unsigned char* out) { \
        return sc_apdu_case2(port, cla, ins, p1, p2, le, out);                        \
    }
#define ZCORE_CASE3(name, ins)                                                                                   \
    VCL_API int name(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out) { \
        return sc_apdu_case34(port, cla, ins, p1, p2, lc, data, 0, out);                                         \
    }
ZCORE_CASE2(ISOReadBinary, 0xB0)
ZCORE_CASE3(ISOWriteBinary, 0xD0)
ZCORE_CASE3(ISOUpdateBinary, 0xD6)
ZCORE_CASE3(ISOEraseBinary, 0x0E)
ZCORE_CASE2(ISOReadRecord, 0xB2)
ZCORE_CASE3(ISOWriteRecord, 0xD2)
ZCORE_CASE3(ISOUpdateRecord, 0xDC)
ZCORE_CASE2(ISOGetData, 0xCA)
ZCORE_CASE3(ISOPutData, 0xDA)
ZCORE_CASE2(ISOManageChannel, 0x70)
ZCORE_CASE3(HYCreateFile, 0xE0)
ZCORE_CASE3(HYPutKey, 0xEA)
#undef ZCORE_CASE2
#undef ZCORE_CASE3

VCL_API int ISOAppendRecord(int port, int cla, int p2, int lc, const unsigned char* data, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0xE2, 0, p2, lc, data, 0, out);
}

VCL_API int ISOSelectFile(int port, int cla, int p1, int p2, int lc, const unsigned char* data, int le,
                          unsigned char* out) {
    return sc_apdu_case34(port, cla, 0xA4, p1, p2, lc, data, le, out);
}

VCL_API int ISOVerify(int port, int cla, int p2, int lc, const unsigned char* data, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0x20, 0, p2, lc, data, 0, out);
}

VCL_API int ISOInternAuthen(int port, int cla, int p1, int p2, int lc, const unsigned char* data, int le,
                            unsigned char* out) {
    return sc_apdu_case34(port, cla, 0x88, p1, p2, lc, data, le, out);
}

VCL_API int ISOExternAuthen(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0x82, p1, p2, lc, data, 0, out);
}

VCL_API int ISOGetChallenge(int port, int cla, int le, unsigned char* out) {
    return sc_apdu_case2(port, cla, 0x84, 0, 0, le, out);
}

VCL_API int ISOGetResponse(int port, int cla, int le, unsigned char* out) {
    return sc_apdu_case2(port, cla, 0xC0, 0, 0, le, out);
}

VCL_API int ISOEnvelope(int port, int cla, int lc, const unsigned char* data, int le, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0xC2, 0, 0, lc, data, le, out);
}

VCL_API int HYSetLifeCycle(int port, int p1, unsigned char* out) {
    return sc_apdu_case2(port, 0x90, 0xE0, p1, 0, 0, out);
}

VCL_API int HYCreateSession(int port, int key_number, int lc, const unsigned char* data, int le, unsigned char* out) {
    return sc_apdu_case34(port, 0x90, 0x8A, 0, key_number, lc, data, le, out);
}

VCL_API int HYLockUnlock(int port, int p1, unsigned char* out) {
    return sc_apdu_case2(port, 0x90, 0xE6, p1, 0, 0, out);
}

VCL_API int HYCredit(int port, int cla, int p1, int lc, const unsigned char* data, int le, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0x42, p1, 0, lc, data, le, out);
}

VCL_API int HYDebit(int port, int cla, int p1, int lc, const unsigned char* data, int le, unsigned char* out) {
    return sc_apdu_case34(port, cla, 0x44, p1, 0, lc, data, le, out);
}

VCL_API int HYReadBalance(int port, int cla, int p1, int p2, unsigned char* out) {
    return sc_apdu_case2(port, cla, 0x40, p1, p2, 0, out);
}

VCL_API int HYSign(int port, int p2, int le, unsigned char* out) {
    return sc_apdu_case2(port, 0x94, 0x46, 0, p2, le, out);
}

// ---- Card files --------------------------------------------------------------

VCL_API int sc_select_ef(int port, int n) {
    if (badPort(port) || n < 0 || n > 255) return VCL_SC_ERR_ARGUMENT;
    const int id = 0xEF00 | n;
    if (entry(port).selected == id) return 0;
    const unsigned char fid[2] = {0xEF, static_cast<unsigned char>(n)};
    return selectFile(port, 0, fid, 2, id);
}

VCL_API int sc_select_f3(int port, int n) {
    if (badPort(port) || n < 0 || n > 255) return VCL_SC_ERR_ARGUMENT;
    const unsigned char fid[2] = {0xF3, static_cast<unsigned char>(n)};
    return selectFile(port, 0, fid, 2, 0xF300 | n);
}

VCL_API int sc_select_df(int port, int number) {
    if (badPort(port) || number < 0 || number > 0xFFFF) return VCL_SC_ERR_ARGUMENT;
    unsigned char name[7];
    std::memcpy(name, kDfName, 5);
    name[5] = static_cast<unsigned char>(number >> 8);
    name[6] = static_cast<unsigned char>(number);
    return selectFile(port, 4, name, 7, number);
}

VCL_API int VCL_ReadEF(int port, int n, int offset, int count, unsigned char* out) {
    if (badPort(port) || !out || offset < 0 || count < 0 || offset + count > 0x7FFF) return VCL_SC_ERR_ARGUMENT;
    VCL_SC_PORT& p = entry(port);
    if (!p.powered) return -1;
    if (n >= 17 && n <= 31 && !p.pin_verified) return VCL_SC_ERR_SECURITY;
    if (int rc = sc_select_ef(port, n); rc != 0) return rc;
    unsigned char a[kReadChunk + 2];
    for (int done = 0; done < count;) {
        const int le = std::min(kReadChunk, count - done);
        const int at = offset + done;
        const int r = ISOReadBinary(port, 0, at >> 8, at & 0xFF, le, a);
        if (r < 0) return r;
        if (sw(a, r, 0x69, 0x82)) {
            p.pin_verified = 0;
            return VCL_SC_ERR_SECURITY;
        }
        // A short answer would leave part of out unset.
        if (sw1(a, r) != 0x90 || r - 2 != le) return VCL_SC_ERR_READ_REFUSED;
        std::memcpy(out + done, a, static_cast<size_t>(le));
        done += le;
    }
    out[count] = 0;
    return 0;
}

VCL_API int VCL_WriteEF(int port, int n, int offset, const unsigned char* data, int count) {
    if (badPort(port) || (!data && count > 0) || offset < 0 || count < 0 || offset + count > 0x7FFF)
        return VCL_SC_ERR_ARGUMENT;
    VCL_SC_PORT& p = entry(port);
    if (!p.powered) return -1;
    if (n < 32 && !p.pin_verified) return VCL_SC_ERR_SECURITY;
    if (int rc = sc_select_ef(port, n); rc != 0) return rc;
    unsigned char a[258];
    for (int done = 0; done < count;) {
        const int len = std::min(kWriteChunk, count - done);
        const int at = offset + done;
        const int r = ISOUpdateBinary(port, 0, at >> 8, at & 0xFF, len, data + done, a);
        if (r < 0) return r;
        if (sw(a, r, 0x69, 0x82)) {
            p.pin_verified = 0;
            return VCL_SC_ERR_SECURITY;
        }
        if (sw1(a, r) != 0x90) return VCL_SC_ERR_WRITE_REFUSED;
        done += len;
    }
    return 0;
}

VCL_API int VCL_ReadF3(int port, int n, int skip, int count, unsigned char* out) {
    if (badPort(port) || !out || n < 0 || n > 31 || skip < 0 || count < 0) return VCL_SC_ERR_ARGUMENT;
    VCL_SC_PORT& p = entry(port);
    if (!p.powered) return -1;
    if (n >= 17 && n <= 31 && !p.pin_verified) return VCL_SC_ERR_SECURITY;
    if (int rc = sc_select_df(port, 0x3000 + n); rc != 0) return rc;
    // The item's bytes: T (two bytes) and T bytes of data, over records of
    // tag, length L and L content bytes.
    std::vector<unsigned char> item;
    size_t total = 2;
    unsigned char a[kRecordLe + 2];
    for (int record = 1;; ++record) {
        if (record > 255) return VCL_SC_ERR_READ_REFUSED;
        const int r = ISOReadRecord(port, 0, record, n * 8 + 4, kRecordLe, a);
        if (r < 0) return r;
        if (sw(a, r, 0x69, 0x82)) {
            p.pin_verified = 0;
            return VCL_SC_ERR_SECURITY;
        }
        if (sw1(a, r) != 0x90) return VCL_SC_ERR_READ_REFUSED;
        const int data = r - 2;
        if (data < 2) return VCL_SC_ERR_READ_REFUSED;
        const size_t l = a[1];
        // A record must carry what it claims, something, and nothing past T.
        if (l == 0 || l > static_cast<size_t>(data - 2) || (record == 1 && l < 2)) return VCL_SC_ERR_READ_REFUSED;
        item.insert(item.end(), a + 2, a + 2 + l);
        if (record == 1) {
            const size_t t = (static_cast<size_t>(item[0]) << 8) | item[1];
            if (t > VCL_SC_MAX_ITEM) return VCL_SC_ERR_READ_REFUSED;
            if (t == 0) {
                std::memset(out, 0, static_cast<size_t>(count) + 1);
                return 0;
            }
            total = t + 2;
        }
        if (item.size() > total) return VCL_SC_ERR_READ_REFUSED;
        if (item.size() == total || item.size() >= static_cast<size_t>(skip) + static_cast<size_t>(count)) break;
    }
    if (static_cast<size_t>(skip) + static_cast<size_t>(count) > total) {
        explicit_bzero(item.data(), item.size());
        return VCL_SC_ERR_ARGUMENT;
    }
    std::memcpy(out, item.data() + skip, static_cast<size_t>(count));
    out[count] = 0;
    explicit_bzero(item.data(), item.size());
    return 0;
}

VCL_API int VCL_VerifyPIN(int port, const char* pin) {
    if (badPort(port)) return VCL_SC_ERR_ARGUMENT;
    entry(port).pin_verified = 0;
    Wiped padded;
    if (!padPin(pin, padded.b)) return -1;
    if (int rc = sc_select_df(port, 0x3000); rc != 0) return rc;
    unsigned char a[258];
    const int r = ISOVerify(port, 0, 1, 8, padded.b, a);
    if (r < 0) return r;
    if (sw1(a, r) != 0x90) return VCL_SC_ERR_PIN;
    entry(port).pin_verified = 1;
    return 0;
}

VCL_API int VCL_MakeSession(int port, int key_number, const unsigned char* card_key, unsigned char* session_key) {
    if (!card_key || !session_key) return -1;
    unsigned char a[10];
    const int r = HYCreateSession(port, key_number, 8, kHostChallenge, 8, a);
    if (r != 10 || sw1(a, r) != 0x90) return -1;
    Wiped k;
    zcore::sc::desBlock(card_key, kHostChallenge, k.b, true);
    zcore::sc::desBlock(k.b, a, session_key, true);
    return 0;
}

VCL_API int VCL_ExAuthen(int port, int key_number, const unsigned char* card_key, const unsigned char* session_key,
                         unsigned char* out) {
    if (!card_key || !session_key) return -1;
    unsigned char challenge[10];
    if (ISOGetChallenge(port, 0, 8, challenge) != 10 || sw1(challenge, 10) != 0x90) return -1;
    Wiped t;
    zcore::sc::desBlock(card_key, challenge, t.b, true);
    zcore::sc::desBlock(session_key, t.b, t.b, true);
    unsigned char a[258];
    const int r = ISOExternAuthen(port, 0, 0, key_number, 4, t.b + 4, a);
    if (r < 0) return -1;
    if (out) std::memcpy(out, a + r - 2, 2);
    return a[0] == 0x90 ? 0 : -1;
}

VCL_API int ChangePIN(int port, const char* new_pin) {
    Wiped padded, session;
    if (!padPin(new_pin, padded.b)) return -1;
    if (VCL_MakeSession(port, kPinKeyNumber, kPinCardKey, session.b) != 0) return -1;
    if (VCL_ExAuthen(port, kPinKeyNumber, kPinCardKey, session.b, nullptr) != 0) return -1;
    unsigned char a[258];
    const int r = HYPutKey(port, 0x90, 0x80, 1, 8, padded.b, a);
    return r >= 2 && sw1(a, r) == 0x90 ? 0 : -1;
}

VCL_API int EF_ReadSignPrivKey(int port, unsigned char* out, int size) {
    return readLengthPrefixed(port, false, 3, out, size);
}
VCL_API int EF_ReadCert(int port, unsigned char* out, int size) {
    return readLengthPrefixed(port, false, 4, out, size);
}
VCL_API int F3_ReadSignPrivKey(int port, unsigned char* out, int size) {
    return readLengthPrefixed(port, true, 3, out, size);
}
VCL_API int F3_ReadCert(int port, unsigned char* out, int size) { return readLengthPrefixed(port, true, 4, out, size); }
VCL_API int EF_UpdateSignPrivKey(int port, const unsigned char* data, int len) {
    return writeLengthPrefixed(port, 3, data, len);
}
VCL_API int EF_UpdateCert(int port, const unsigned char* data, int len) {
    return writeLengthPrefixed(port, 4, data, len);
}

#define ZCORE_FIXED_EF(read, update, n, size)                                                    \
    VCL_API int read(int port, unsigned char* out) { return VCL_ReadEF(port, n, 0, size, out); } \
    VCL_API int update(int port, const unsigned char* data) { return VCL_WriteEF(port, n, 0, data, size); }
ZCORE_FIXED_EF(EF_ReadSignPrivKeyHash, EF_UpdateSignPrivKeyHash, 5, 40)
ZCORE_FIXED_EF(EF_ReadPrivKeyHash, EF_UpdatePrivKeyHash, 6, 40)
ZCORE_FIXED_EF(EF_ReadProgramHash, EF_UpdateProgramHash, 7, 40)
ZCORE_FIXED_EF(EF_ReadEtc1, EF_UpdateEtc1, 8, 100)
ZCORE_FIXED_EF(EF_ReadEtc2, EF_UpdateEtc2, 9, 500)
ZCORE_FIXED_EF(EF_ReadEtc3, EF_UpdateEtc3, 10, 1000)
ZCORE_FIXED_EF(EF_ReadEtc4, EF_UpdateEtc4, 11, 1000)
#undef ZCORE_FIXED_EF

// ---- Hex ---------------------------------------------------------------------

VCL_API int VCL_bin2hex(char* out, const unsigned char* in, int len) {
    static const char digits[] = "0123456789ABCDEF";
    if (!out || len < 0 || (len > 0 && !in)) return -1;
    for (int i = 0; i < len; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 15];
    }
    out[2 * len] = '\0';
    return 2 * len;
}

VCL_API int VCL_hex2bin(unsigned char* out, const char* text, int len) {
    if (!out || !text || len < 0) return -1;
    int kept = 0, hi = -1, n = 0;
    for (int i = 0; i < len; ++i) {
        const char c = text[i];
        if (c == ' ' || c == ',') continue;
        const int v = hexValue(c);
        if (v < 0 || ++kept > VCL_SC_MAX_HEX_TEXT) return -1;
        if (hi < 0) {
            hi = v;
        } else {
            out[n++] = static_cast<unsigned char>(hi << 4 | v);
            hi = -1;
        }
    }
    if (hi >= 0) return -1;
    out[n] = 0;
    return n;
}

VCL_API int VCL_hex2byte(const char* text) {
    if (!text) return -1;
    const int hi = hexValue(text[0]);
    const int lo = hi < 0 ? -1 : hexValue(text[1]);
    return lo < 0 ? -1 : hi << 4 | lo;
}

}  // extern "C"

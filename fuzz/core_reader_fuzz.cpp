// The card reader's receive path fed from a socket holding arbitrary bytes
// (the device's side, closed after them): frames, APDU answers, EF and F3
// reads stay inside buffers of exactly the promised size and end with a
// documented result; nothing waits once the bytes run out.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunCore/smartcard.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 32768) return 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
    const int room = 1 << 20;
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    // The device's bytes, then its end of the line.
    const uint8_t op = data[0], arg = data[1];
    for (size_t at = 2; at < size;) {
        const ssize_t n = ::write(fds[1], data + at, size - at);
        if (n <= 0) abort();
        at += static_cast<size_t>(n);
    }
    ::shutdown(fds[1], SHUT_WR);
    Pcs[0] = VCL_SC_PORT{fds[0], 1, 1, 0};

    switch (op % 8) {
        case 0: {
            const int bufRoom = 3 + arg * 8;
            std::vector<unsigned char> buf(static_cast<size_t>(bufRoom));
            const int n = sc_reader_recv_frame(0, buf.data(), bufRoom);
            check(n < 0 || (n >= 3 && n <= bufRoom && n == ((buf[0] << 8) | buf[1]) + 2));
            break;
        }
        case 1: {
            std::vector<char> id(VCL_SC_MAX_TERMINAL_ID + 1);
            const int n = VCL_GetTerminalIdCmd(0, id.data());
            check(n <= VCL_SC_MAX_TERMINAL_ID && (n < 0 || id[static_cast<size_t>(n)] == '\0'));
            break;
        }
        case 2: {
            std::vector<char> atr(VCL_SC_ATR_HEX_SIZE);
            const int n = VCL_PowerOnCmd(0, atr.data());
            check(n <= 2 * VCL_SC_MAX_ATR && (n < 0) == (Pcs[0].powered == 0));
            break;
        }
        case 3: {
            const int count = arg * 3;
            std::vector<unsigned char> out(static_cast<size_t>(count) + 1);
            const int rc = VCL_ReadEF(0, 9, 0, count, out.data());
            check(rc <= 0);
            break;
        }
        case 4: {
            const int count = arg * 5, skip = arg & 3;
            std::vector<unsigned char> out(static_cast<size_t>(count) + 1);
            const int rc = VCL_ReadF3(0, 4, skip, count, out.data());
            check(rc <= 0);
            break;
        }
        case 5: {
            const unsigned char header[4] = {0x00, 0xB0, 0x00, 0x00};
            const int le = arg;
            std::vector<unsigned char> out(static_cast<size_t>(le > 0 ? le : 256) + 2);
            const int n = VCL_ISOCmd(0, header, 0, nullptr, le, out.data());
            check(n < 0 || (n >= 2 && static_cast<size_t>(n) <= out.size()));
            break;
        }
        case 6: {
            std::vector<unsigned char> out(static_cast<size_t>(arg) * 40 + 1);
            const int n = (arg & 1) ? F3_ReadCert(0, out.data(), static_cast<int>(out.size()))
                                    : EF_ReadCert(0, out.data(), static_cast<int>(out.size()));
            check(n < static_cast<int>(out.size()) && n <= VCL_SC_MAX_ITEM);
            break;
        }
        default: {
            char pts[VCL_SC_PTS_HEX_SIZE];
            const int n = VCL_RequestPTSCmd(0, "FF1011FE", pts);
            check(n < 0 || (n == 8 && std::strcmp(pts, "FF1011FE") == 0));
            break;
        }
    }
    ::close(fds[0]);
    ::close(fds[1]);
    Pcs[0] = VCL_SC_PORT{-1, 0, 0, 0};
    return 0;
}

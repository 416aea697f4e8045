#include <zunPKI/asn1/utils.h>
#include "utils.hpp"

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/convert.h>
#include "asn1/pki_buffer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kVersion = "5.2.4";

int printHex(const unsigned char* bytes, int n, bool newlineAtEnd, bool newlineWhenEmpty) {
    if (bytes == nullptr || n < 0) return 0;
    for (int i = 0; i < n; ++i) std::printf(i + 1 < n ? "%02X:" : "%02X", bytes[i]);
    if ((n > 0 && newlineAtEnd) || (n == 0 && newlineWhenEmpty)) std::fputc('\n', stdout);
    return n;
}

// A new text of exactly the printf result.
template <class... Args>
char* format(const char* fmt, Args... args) {
    int n = std::snprintf(nullptr, 0, fmt, args...);
    if (n < 0) return nullptr;
    auto buf = zpki::Buffer::allocate(static_cast<size_t>(n) + 1);
    if (!buf) return nullptr;
    std::snprintf(buf.chars(), static_cast<size_t>(n) + 1, fmt, args...);
    return buf.releaseChars();
}

const char* longNameOf(const OBJECT_IDENTIFIER* oid) {
    const char* ln = OID_LIST(index_from_OBJECT_IDENTIFIER(oid))->ln;
    return ln != nullptr ? ln : "undefined";
}

// UTF8String and BMPString as KS X 1001 text; null when they do not convert.
zpki::Buffer asKsText(const ASN1_STRING* str, int& len) {
    char* text = nullptr;
    len = str->type == ASN1_TAG_UTF8_STRING ? utf8ToCP949(str, &text) : bmpToCP949(str, &text);
    return zpki::Buffer::adopt(text, len + 1LL);
}

bool isEmpty(const ASN1_STRING* str) {
    return str == nullptr || str->type == 0 || str->data == nullptr || str->length <= 0;
}

// Mode for a file we create: what an open(0666) would get under the umask,
// read without changing it (umask(2) cannot be read alone).
mode_t newFileMode() {
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

bool writeAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Writes the bytes to a new file beside path and renames it over path, so a
// reader never sees half a file and a failure leaves the old one intact. A
// file that is replaced keeps its mode; a new one gets the umask's, or 0600
// when it is to hold a secret.
bool replaceFile(const std::string& requested, const unsigned char* data, size_t n, bool secret) {
    std::string path = requested;
    struct stat st {};
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // Write where the link points, as opening it would, and keep the link.
        char* real = ::realpath(path.c_str(), nullptr);
        if (real != nullptr) {
            path = real;
            std::free(real);
        }
        exists = ::stat(path.c_str(), &st) == 0;
    }
    if (exists && !S_ISREG(st.st_mode)) return false;
    mode_t mode = exists ? (st.st_mode & 07777) : secret ? 0600 : newFileMode();

    std::string tmp = path + ".XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, data, n) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

}  // namespace

int zpki::writePrivateFile(const unsigned char* data, size_t n, const char* path) {
    if (data == nullptr || path == nullptr || n == 0 || n > INT_MAX || !replaceFile(path, data, n, true)) return -1;
    return static_cast<int>(n);
}

extern "C" {

int VKL_print_hex(const unsigned char* bytes, int n) { return printHex(bytes, n, true, false); }

int VKL_print_hex_nl(const unsigned char* bytes, int n) { return printHex(bytes, n, true, true); }

int VKL_print_hex_no_nl(const unsigned char* bytes, int n) { return printHex(bytes, n, false, false); }

char* dump_hex(const unsigned char* bytes, int n) {
    if (bytes == nullptr || n < 0 || n > INT_MAX / 3) return nullptr;
    auto buf = zpki::Buffer::allocate(3 * static_cast<size_t>(n));
    if (!buf) return nullptr;
    char* p = buf.chars();
    for (int i = 0; i < n; ++i) {
        std::snprintf(p, 3, "%02X", bytes[i]);
        p += 2;
        if (i + 1 < n) *p++ = ':';
    }
    return buf.releaseChars();
}

void print_PCHAR(const char* chars, int n) {
    if (chars != nullptr && n > 0) std::fwrite(chars, 1, static_cast<size_t>(n), stdout);
    std::fputc('\n', stdout);
}

char* dump_PCHAR(const char* chars, int n) {
    if (chars == nullptr || n < 0 || n > INT_MAX - 2) return nullptr;
    auto buf = zpki::Buffer::allocate(static_cast<size_t>(n) + 2);
    if (!buf) return nullptr;
    std::memcpy(buf.data(), chars, static_cast<size_t>(n));
    return buf.releaseChars();
}

void print_ASN1STRING(const ASN1_STRING* str) {
    if (isEmpty(str)) {
        std::puts("Null String");
        return;
    }
    const char* chars = reinterpret_cast<const char*>(str->data);
    switch (str->type) {
        case ASN1_TAG_BIT_STRING:
        case ASN1_TAG_OCTET_STRING:
            VKL_print_hex(str->data, str->length);
            break;
        case ASN1_TAG_OBJECT_IDENTIFIER:
            std::printf("%.*s - (%s)\n", str->length, chars, longNameOf(str));
            break;
        case ASN1_TAG_UTF8_STRING:
        case ASN1_TAG_BMP_STRING: {
            int len;
            auto text = asKsText(str, len);
            if (text)
                print_PCHAR(text.chars(), len);
            else
                VKL_print_hex(str->data, str->length);  // no KS X 1001 form: show the bytes
            break;
        }
        case ASN1_TAG_PRINTABLE_STRING:
        case ASN1_TAG_T61_STRING:
        case ASN1_TAG_IA5_STRING:
        case ASN1_TAG_UTC_TIME:
        case ASN1_TAG_GENERALIZED_TIME:
        case 26:  // VisibleString
            print_PCHAR(chars, str->length);
            break;
        default:
            std::printf("Un-Supported Type (%02X)\n", static_cast<unsigned>(str->type));
    }
}

char* dump_ASN1STRING(const ASN1_STRING* str) {
    if (isEmpty(str)) return nullptr;
    const char* chars = reinterpret_cast<const char*>(str->data);
    switch (str->type) {
        case ASN1_TAG_BIT_STRING:
        case ASN1_TAG_OCTET_STRING:
            return dump_hex(str->data, str->length);
        case ASN1_TAG_OBJECT_IDENTIFIER:
            return format("%.*s - (%s)\n", str->length, chars, longNameOf(str));
        case ASN1_TAG_UTF8_STRING:
        case ASN1_TAG_BMP_STRING: {
            int len;
            auto text = asKsText(str, len);
            return text ? dump_PCHAR(text.chars(), len) : dump_hex(str->data, str->length);
        }
        case ASN1_TAG_PRINTABLE_STRING:
        case ASN1_TAG_T61_STRING:
        case ASN1_TAG_IA5_STRING:
        case ASN1_TAG_UTC_TIME:
            return dump_PCHAR(chars, str->length);
        default:
            return format("Un-Supported Type (%02X)\n", static_cast<unsigned>(str->type));
    }
}

int File_to_binary(const char* path, unsigned char** bytes) {
    if (bytes != nullptr) *bytes = nullptr;
    if (path == nullptr || bytes == nullptr) return -1;
    // Without O_NONBLOCK, opening a pipe waits for a writer; the size check
    // below refuses everything but a regular file, which ignores the flag.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    zpki::Buffer buf;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size < INT_MAX;
    if (ok) buf = zpki::Buffer::allocate(static_cast<size_t>(st.st_size) + 1);
    size_t done = 0;
    while (ok && buf && done < static_cast<size_t>(st.st_size)) {
        ssize_t r = ::read(fd, buf.data() + done, static_cast<size_t>(st.st_size) - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0)
            ok = false;  // a short read: the file shrank under us
        else
            done += static_cast<size_t>(r);
    }
    ::close(fd);
    if (!ok || !buf) return -1;
    *bytes = buf.release();
    return static_cast<int>(done);
}

int binary_to_File(const unsigned char* data, int offset, int end, const char* path) {
    if (data == nullptr || path == nullptr || offset < 0 || end <= offset) return -1;
    if (!replaceFile(path, data + offset, static_cast<size_t>(end - offset), false)) return -1;
    return end - offset;
}

const char* get_PkiVersion(void) { return kVersion; }

}  // extern "C"

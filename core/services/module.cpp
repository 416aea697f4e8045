// Files with an appended RSA signature: signing (checked before anything is
// written, the output written to a new file and renamed) and verification.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/module.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/pkcs/pkcs1.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

// Kind words the unit carries for a signing and a verifying key.
constexpr int kKindSign = 5;
constexpr int kKindVerify = 3;
// Digest updates take an int length: large files go in pieces.
constexpr size_t kPiece = size_t{1} << 20;

using RsaUnit = std::unique_ptr<RSA_UNIT, zcore::UnitDeleter<RSA_UNIT, VSC_Free_RSA>>;

// The whole file; empty when it cannot be read or is empty.
bool module_read_file(const char* path, std::vector<unsigned char>& out) {
    out.clear();
    if (!path) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    unsigned char buf[65536];
    size_t n;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    ok = !std::ferror(f);
    std::fclose(f);
    return ok && !out.empty();
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

// The content and signature to a new file beside path, renamed over it once
// complete; nothing is left behind on failure.
bool module_write_file(const std::vector<unsigned char>& content, const unsigned char* sig, int sigLen,
                       const char* path) {
    if (!path || !*path) return false;
    std::string tmp = std::string(path) + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    // A replaced file keeps its mode; a new one gets the usual 0644 less the umask.
    struct stat st;
    mode_t mode = 0644;
    if (::stat(path, &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, content.data(), content.size()) &&
              writeAll(fd, sig, static_cast<size_t>(sigLen)) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tmp.c_str(), path) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

// A key of the PEM text; null when it does not read or lacks the private
// part signing needs.
RsaUnit readKey(const char* pem, bool needPrivate) {
    if (!pem) return nullptr;
    const size_t len = std::strlen(pem);
    if (len == 0 || len > INT_MAX) return nullptr;
    RSA_UNIT* raw = nullptr;
    const PKI_ERROR rc = readPKCS1_from_Binary(&raw, nullptr, 0, pem, static_cast<int>(len));
    RsaUnit unit(raw);
    if (rc != 0 || !unit) return nullptr;
    if (needPrivate && !unit->d) return nullptr;
    return unit;
}

// Runs the scheme over content: signing into sig (its length in *sigLen),
// or verifying sig of *sigLen bytes.
int runScheme(RSA_UNIT* rsa, bool sign, const unsigned char* content, size_t len, unsigned char* sig, int* sigLen) {
    if (VSC_Init_RSASSA(rsa, VCL_MODULE_HASH_ID, VCL_MODULE_PAD_MODE, sign ? 1 : 0) != VSC_OK)
        return VCL_ERR_MODULE_INIT;
    for (size_t at = 0; at < len; at += kPiece) {
        const int n = static_cast<int>(std::min(kPiece, len - at));
        if (VSC_Update_RSASSA(rsa, content + at, n) != VSC_OK) return VCL_ERR_MODULE_UPDATE;
    }
    return VSC_Final_RSASSA(rsa, sig, sigLen) == VSC_OK ? 0 : VCL_ERR_MODULE_FINAL;
}

}  // namespace

extern "C" {

VCL_API int VCL_sign_module(const char* in_path, const char* out_path, const char* private_key_pem) {
    RsaUnit key = readKey(private_key_pem, true);
    if (!key) return VCL_ERR_MODULE_INIT;
    key->flag = kKindSign;
    std::vector<unsigned char> content;
    if (!module_read_file(in_path, content)) return VCL_ERR_MODULE_READ;
    const int modulus = VSC_Get_RSA_Length(key.get());
    if (modulus <= 0) return VCL_ERR_MODULE_INIT;
    std::vector<unsigned char> sig(static_cast<size_t>(modulus));
    int sigLen = modulus;
    if (int rc = runScheme(key.get(), true, content.data(), content.size(), sig.data(), &sigLen); rc != 0) return rc;
    if (sigLen != modulus) return VCL_ERR_MODULE_FINAL;
    // The signature is checked before the file exists: a key whose parts do
    // not agree leaves nothing behind.
    if (int rc = runScheme(key.get(), false, content.data(), content.size(), sig.data(), &sigLen); rc != 0) return rc;
    return module_write_file(content, sig.data(), sigLen, out_path) ? 0 : VCL_ERR_MODULE_WRITE;
}

VCL_API int VCL_verify_module(const char* path, const char* public_key_pem) {
    std::vector<unsigned char> file;
    if (!module_read_file(path, file)) return VCL_ERR_MODULE_READ;
    RsaUnit key = readKey(public_key_pem, false);
    if (!key) return VCL_ERR_MODULE_INIT;
    key->flag = kKindVerify;
    const int modulus = VSC_Get_RSA_Length(key.get());
    if (modulus <= 0) return VCL_ERR_MODULE_INIT;
    // A file no longer than the signature has no signed content.
    if (file.size() <= static_cast<size_t>(modulus)) return VCL_ERR_MODULE_READ;
    const size_t contentLen = file.size() - static_cast<size_t>(modulus);
    int sigLen = modulus;
    return runScheme(key.get(), false, file.data(), contentLen, file.data() + contentLen, &sigLen);
}

}  // extern "C"

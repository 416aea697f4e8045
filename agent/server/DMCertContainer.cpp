#include "DMCertContainer.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "DMCertMaterial.h"
#include "common/DMLinuxLog.h"

namespace {

struct LibCtxFree {
    void operator()(OSSL_LIB_CTX* c) const { OSSL_LIB_CTX_free(c); }
};
struct ProviderUnload {
    void operator()(OSSL_PROVIDER* p) const { OSSL_PROVIDER_unload(p); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* c) const { EVP_CIPHER_free(c); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// SEED lives in the legacy provider; it is loaded into a context of our own
// for the few calls that need it.
class SeedCipher {
public:
    SeedCipher() {
        m_ctx.reset(OSSL_LIB_CTX_new());
        if (!m_ctx) return;
        m_legacy.reset(OSSL_PROVIDER_load(m_ctx.get(), "legacy"));
        m_default.reset(OSSL_PROVIDER_load(m_ctx.get(), "default"));
        if (m_legacy && m_default) m_cipher.reset(EVP_CIPHER_fetch(m_ctx.get(), "SEED-CBC", nullptr));
        if (!m_cipher) DMLOG("[ERR] SEED-CBC is not available (legacy provider missing?)\n");
    }
    // Declared in this order so the cipher goes before its providers and context.
    const EVP_CIPHER* get() const { return m_cipher.get(); }

private:
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> m_ctx;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> m_legacy;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> m_default;
    std::unique_ptr<EVP_CIPHER, CipherFree> m_cipher;
};

// One length field: optional blanks, 1 to 15 digits, then anything but a
// digit, all within the field. -1 when the field says no number.
long long parseLengthField(const unsigned char* field) {
    size_t i = 0;
    while (i < kDMCertFieldSize && field[i] == ' ') ++i;
    long long value = 0;
    size_t digits = 0;
    while (i < kDMCertFieldSize && field[i] >= '0' && field[i] <= '9') {
        value = value * 10 + (field[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || digits >= kDMCertFieldSize) return -1;
    return value;
}

// 1 success, negative codes as vscg_seed_cbc_decrypt.
template <typename Out>
int seedCbc(bool encrypt, const unsigned char* in, size_t inLength, const unsigned char iv[16],
            const unsigned char key[16], Out& out) {
    if (in == nullptr || inLength == 0 || iv == nullptr || key == nullptr || inLength > INT32_MAX - 32) return -1;
    SeedCipher seed;
    if (seed.get() == nullptr) return -1;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return -3;
    if (EVP_CipherInit_ex2(ctx.get(), seed.get(), key, iv, encrypt ? 1 : 0, nullptr) != 1) return -1;
    if (EVP_CIPHER_CTX_set_padding(ctx.get(), 1) != 1) return -2;
    Out buf(inLength + 16);
    int n = 0;
    if (EVP_CipherUpdate(ctx.get(), buf.data(), &n, in, static_cast<int>(inLength)) != 1) return -4;
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), buf.data() + n, &tail) != 1) return -5;
    if constexpr (std::is_same_v<Out, DMSecretBuffer>)
        buf.truncate(static_cast<size_t>(n + tail));
    else
        buf.resize(static_cast<size_t>(n + tail));
    out = std::move(buf);
    return 1;
}

void writeLengthField(std::vector<unsigned char>& plain, size_t value) {
    char field[kDMCertFieldSize] = {};
    std::snprintf(field, sizeof field, "%zu", value);
    plain.insert(plain.end(), field, field + sizeof field);
}

}  // namespace

DMSecretBuffer& DMSecretBuffer::operator=(DMSecretBuffer&& other) noexcept {
    if (this != &other) {
        wipe();
        m_bytes = std::move(other.m_bytes);
    }
    return *this;
}

void DMSecretBuffer::wipe() {
    if (!m_bytes.empty()) OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

void DMSecretBuffer::truncate(size_t n) {
    if (n < m_bytes.size()) {
        OPENSSL_cleanse(m_bytes.data() + n, m_bytes.size() - n);
        m_bytes.resize(n);
    }
}

void DMSecretBuffer::assign(const unsigned char* p, size_t n) {
    DMSecretBuffer copy(n);
    if (n > 0) std::memcpy(copy.data(), p, n);
    *this = std::move(copy);
}

int VSCG_GenerateEncKeyAndIV(unsigned char key[16], unsigned char iv[16]) {
    DMSecretBuffer block;
    block.assign(kDMCertMaterial, kDMCertMaterialSize);
    DMSecretBuffer digest(SHA256_DIGEST_LENGTH);
    if (SHA256(block.data(), block.size(), digest.data()) == nullptr) return 0;
    std::memcpy(key, digest.data(), 16);
    std::memcpy(iv, digest.data() + 16, 16);
    for (const auto& piece : kDMCertKeyPieces)
        for (int i = 0; i < 16; ++i) key[i] ^= piece[i];
    for (const auto& piece : kDMCertIvPieces)
        for (int i = 0; i < 16; ++i) iv[i] ^= piece[i];
    return 1;
}

int vscg_seed_cbc_decrypt(const unsigned char* in, size_t inLength, const unsigned char iv[16],
                          const unsigned char key[16], DMSecretBuffer& out) {
    return seedCbc(false, in, inLength, iv, key, out);
}

int vscg_seed_cbc_encrypt(const unsigned char* in, size_t inLength, const unsigned char iv[16],
                          const unsigned char key[16], std::vector<unsigned char>& out) {
    return seedCbc(true, in, inLength, iv, key, out);
}

int vscg_deccerts(const unsigned char* data, size_t length, DEC_CERT* cert) {
    if (data == nullptr || length == 0 || cert == nullptr) return -1;
    DMSecretBuffer keyIv(32);
    if (VSCG_GenerateEncKeyAndIV(keyIv.data(), keyIv.data() + 16) != 1) return -2;
    DMSecretBuffer plain;
    if (vscg_seed_cbc_decrypt(data, length, keyIv.data() + 16, keyIv.data(), plain) != 1) return -3;
    if (plain.size() < kDMCertHeaderSize) return -4;
    // All in 64 bits: a field holds at most 15 digits, so nothing overflows.
    const long long room = static_cast<long long>(plain.size() - kDMCertHeaderSize);
    const long long l1 = parseLengthField(plain.data());
    if (l1 <= 0 || l1 >= room) return -4;
    const long long l2 = parseLengthField(plain.data() + kDMCertFieldSize);
    if (l2 <= 0 || l1 + l2 > room) return -5;
    const unsigned char* body = plain.data() + kDMCertHeaderSize;
    cert->chain.assign(body, static_cast<size_t>(l1));
    cert->key.assign(body + l1, static_cast<size_t>(l2));
    return 0;
}

int ReadCertFileData(const char* path, DMSecretBuffer& data) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<unsigned long long>(st.st_size) > kDMCertContainerMax) {
        ::close(fd);
        return -1;
    }
    // One byte more than allowed, to see a file that grew since fstat.
    DMSecretBuffer buf(kDMCertContainerMax + 1);
    size_t got = 0;
    while (got < buf.size()) {
        ssize_t n = ::read(fd, buf.data() + got, buf.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got == 0 || got > kDMCertContainerMax) return -1;
    buf.truncate(got);
    data = std::move(buf);
    return 0;
}

int LoadEncryptedCert(const char* path, DEC_CERT* cert) {
    if (path == nullptr || cert == nullptr) return -1;
    DMSecretBuffer file;
    if (ReadCertFileData(path, file) != 0) {
        DMLOG("[ERR] certificate container %s is missing, empty or larger than %zu bytes\n", path, kDMCertContainerMax);
        return -2;
    }
    int r = vscg_deccerts(file.data(), file.size(), cert);
    if (r < 0) {
        DMLOG("[ERR] certificate container %s refused (%d)\n", path, r);
        cert->chain.wipe();
        cert->key.wipe();
        return r;
    }
    return 0;
}

int DMCertContainer_Make(std::string_view chain, std::string_view key, std::vector<unsigned char>& out) {
    if (chain.empty() || key.empty() || chain.size() + key.size() + kDMCertHeaderSize + 16 > kDMCertContainerMax)
        return -1;
    std::vector<unsigned char> plain;
    plain.reserve(kDMCertHeaderSize + chain.size() + key.size());
    writeLengthField(plain, chain.size());
    writeLengthField(plain, key.size());
    plain.insert(plain.end(), chain.begin(), chain.end());
    plain.insert(plain.end(), key.begin(), key.end());
    DMSecretBuffer keyIv(32);
    int r = -1;
    if (VSCG_GenerateEncKeyAndIV(keyIv.data(), keyIv.data() + 16) == 1)
        r = vscg_seed_cbc_encrypt(plain.data(), plain.size(), keyIv.data() + 16, keyIv.data(), out) == 1 ? 0 : -1;
    OPENSSL_cleanse(plain.data(), plain.size());
    return r;
}

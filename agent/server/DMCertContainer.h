// The server-certificate container "zunwssc.dat": the loopback server's PEM
// certificate chain and PEM private key, enciphered with SEED-CBC under a key
// and IV derived at run time from built-in material.
//
// Plaintext layout: bytes 0-15 the chain's length L1 in ASCII decimal,
// bytes 16-31 the key's length L2 likewise (each field: optional blanks,
// digits, then anything that is not a digit), then L1 bytes of chain and
// L2 bytes of key; bytes after those are ignored.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr const char* kDMCertContainerName = "zunwssc.dat";
inline constexpr size_t kDMCertContainerMax = 16384;
inline constexpr size_t kDMCertFieldSize = 16;
inline constexpr size_t kDMCertHeaderSize = 2 * kDMCertFieldSize;

// Bytes that are zeroed before their memory is released.
class DMSecretBuffer {
public:
    DMSecretBuffer() = default;
    explicit DMSecretBuffer(size_t n) : m_bytes(n) {}
    ~DMSecretBuffer() { wipe(); }
    DMSecretBuffer(DMSecretBuffer&& other) noexcept : m_bytes(std::move(other.m_bytes)) {}
    DMSecretBuffer& operator=(DMSecretBuffer&& other) noexcept;
    DMSecretBuffer(const DMSecretBuffer&) = delete;
    DMSecretBuffer& operator=(const DMSecretBuffer&) = delete;

    unsigned char* data() { return m_bytes.data(); }
    const unsigned char* data() const { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    // Shrinks without leaving the cut bytes behind.
    void truncate(size_t n);
    void assign(const unsigned char* p, size_t n);
    std::string_view view() const { return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()}; }
    void wipe();

private:
    std::vector<unsigned char> m_bytes;
};

// The deciphered chain and key.
struct DEC_CERT {
    DMSecretBuffer chain;
    DMSecretBuffer key;
};

// 0; -1 null argument; -2 unreadable, empty or larger than 16384 bytes;
// otherwise the negative result of vscg_deccerts.
int LoadEncryptedCert(const char* path, DEC_CERT* cert);
// 0, or -1: the whole file, 1 to 16384 bytes.
int ReadCertFileData(const char* path, DMSecretBuffer& data);
// 0; -1 bad arguments; -2 key derivation failed; -3 decryption failed;
// -4 L1 bad or out of range; -5 L2 bad or out of range.
int vscg_deccerts(const unsigned char* data, size_t length, DEC_CERT* cert);

// 1; 0 when the digest could not be made.
int VSCG_GenerateEncKeyAndIV(unsigned char key[16], unsigned char iv[16]);

// SEED-CBC with PKCS#7 padding, through a library context of our own that
// has the legacy provider, so the process default (TLS) is left alone.
// 1 success; -1 bad arguments or cipher unavailable; -3 no memory;
// -4 update failed; -5 final block failed (bad padding, wrong key).
int vscg_seed_cbc_decrypt(const unsigned char* in, size_t inLength, const unsigned char iv[16],
                          const unsigned char key[16], DMSecretBuffer& out);
int vscg_seed_cbc_encrypt(const unsigned char* in, size_t inLength, const unsigned char iv[16],
                          const unsigned char key[16], std::vector<unsigned char>& out);

// The container for a chain and a key; 0, or -1 when either is empty, the
// result would exceed 16384 bytes, or encryption failed.
int DMCertContainer_Make(std::string_view chain, std::string_view key, std::vector<unsigned char>& out);

// Digests by name: of a buffer, of a file, and step by step.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCore/util.h>
#include <zunCrypto/zunCrypto.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

// Files are read in large pieces: one digest update per read keeps the
// call overhead far below the digest's own cost.
constexpr size_t kChunk = 256 * 1024;

// A started digest unit of the named algorithm, and its length.
int startDigest(int category, const char* name, zcore::DigestUnit& unit, int& length) {
    unit.reset(VSC_New_DIGEST_Unit());
    if (!unit) return VCL_CORE_CODE(category, VCL_R_NEW_DIGEST_UNIT);
    int id = 0;
    if (int rc = VCL_COM_convert_hash_name(name, &id); rc != 0) return rc;
    // Initialised first: a digest the layer names but lacks (MDC2) reports
    // as unsupported rather than as a missing length.
    if (int rc = VSC_Init_DIGEST(unit.get(), id); rc != VSC_OK) return rc;
    length = unit->digest_length;
    if (length <= 0) return VCL_CORE_CODE(category, VCL_R_DIGEST_LENGTH);
    return 0;
}

// The digest into a new buffer: length + 4 bytes, zero after the digest.
int finish(int category, DIGEST_UNIT* unit, int length, unsigned char** digest, int* digestLen) {
    auto* buf = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(length) + 4, 1));
    if (!buf) return VCL_CORE_CODE(category, VCL_R_MALLOC);
    int n = 0;
    if (int rc = VSC_Final_DIGEST(unit, buf, &n); rc != VSC_OK) {
        std::free(buf);
        return rc;
    }
    *digest = buf;
    *digestLen = n;
    return 0;
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

extern "C" {

VCL_API int VCL_HASH_Data(const unsigned char* in, int in_len, unsigned char** digest, int* digest_len,
                          const char* name) {
    constexpr int cat = VCL_CAT_HASH_HASH;
    if (!digest || !digest_len || (!in && in_len > 0)) return VCL_CORE_CODE(cat, VCL_R_NULL_PARAM);
    *digest = nullptr;
    *digest_len = 0;
    if (in_len < 0) return VCL_CORE_CODE(cat, VCL_R_INVALID_PARAM);
    zcore::DigestUnit unit;
    int length = 0;
    if (int rc = startDigest(cat, name, unit, length); rc != 0) return rc;
    if (int rc = VSC_Update_DIGEST(unit.get(), in, in_len); rc != VSC_OK) return rc;
    return finish(cat, unit.get(), length, digest, digest_len);
}

VCL_API int VCL_HASH_FILE(const char* path, unsigned char** digest, int* digest_len, const char* name) {
    constexpr int cat = VCL_CAT_HASH_FILE;
    if (!path || !digest || !digest_len) return VCL_CORE_CODE(cat, VCL_R_NULL_PARAM);
    *digest = nullptr;
    *digest_len = 0;
    zcore::DigestUnit unit;
    int length = 0;
    if (int rc = startDigest(cat, name, unit, length); rc != 0) return rc;
    Fd file{::open(path, O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return VCL_CORE_CODE(cat, VCL_R_OPEN_FAIL);
    std::vector<unsigned char> chunk;
    try {
        chunk.resize(kChunk);
    } catch (const std::bad_alloc&) {
        return VCL_CORE_CODE(cat, VCL_R_MALLOC);
    }
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk.data(), chunk.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            // A read error (a directory, an I/O error) is no end of file:
            // the digest of what was read so far would be wrong.
            return VCL_CORE_CODE(cat, VCL_R_READ_FILE);
        }
        if (int rc = VSC_Update_DIGEST(unit.get(), chunk.data(), static_cast<int>(n)); rc != VSC_OK) return rc;
    }
    return finish(cat, unit.get(), length, digest, digest_len);
}

VCL_API int VCL_HASH_Get_Length(const char* name, int* len) {
    int id = 0;
    if (int rc = VCL_COM_convert_hash_name(name, &id); rc != 0) return rc;
    const int n = VSC_Get_DIGEST_Length(id);
    if (n <= 0) return VCL_CORE_CODE(VCL_CAT_HASH_HASH, VCL_R_DIGEST_LENGTH);
    if (len) *len = n;
    return 0;
}

VCL_API DIGEST_UNIT* VCL_HASH_New(void) { return VSC_New_DIGEST_Unit(); }

VCL_API int VCL_HASH_Init(DIGEST_UNIT* unit, const char* name) {
    int id = 0;
    if (int rc = VCL_COM_convert_hash_name(name, &id); rc != 0) return rc;
    return VSC_Init_DIGEST(unit, id);
}

VCL_API int VCL_HASH_Update(DIGEST_UNIT* unit, const unsigned char* data, int len) {
    return VSC_Update_DIGEST(unit, data, len);
}

VCL_API int VCL_HASH_Final(DIGEST_UNIT* unit, unsigned char* buf, int* len) { return VSC_Final_DIGEST(unit, buf, len); }

VCL_API void VCL_HASH_Free(DIGEST_UNIT* unit) {
    if (unit) VSC_Free_DIGEST_Unit(unit);
}

}  // extern "C"

// Message authentication codes: HMAC and CBC-MAC over the crypto layer.
#include <cstdlib>

#include <zunCore/mac.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

using HmacUnit = std::unique_ptr<HMAC_UNIT, zcore::UnitDeleter<HMAC_UNIT, VSC_Free_HMAC_Unit>>;

// Bytes and their count as the crypto layer takes them: a null pointer only
// with nothing to read.
int checkBytes(const void* p, int len) {
    if (len < 0) return VSC_ERR_INVALID_LENGTH;
    if (!p && len > 0) return VSC_ERR_NULL_ARGUMENT;
    return 0;
}

const unsigned char* bytes(const void* p) {
    static const unsigned char kNone = 0;
    return p ? static_cast<const unsigned char*>(p) : &kNone;
}

}  // namespace

extern "C" {

VCL_API int VCL_MAC_HMAC(int hmac_id, const void* data, int data_len, const void* key, int key_len, char** mac,
                         int* mac_len) {
    if (!mac || !mac_len) return VSC_ERR_NULL_ARGUMENT;
    if (int rc = checkBytes(data, data_len); rc != 0) return rc;
    if (int rc = checkBytes(key, key_len); rc != 0) return rc;
    HmacUnit unit(VSC_New_HMAC_Unit());
    if (!unit) return -1;
    // The digest of an HMAC id is the id without bit 28; a digest id is
    // taken as it is.
    const int digest = hmac_id & ~VSC_HMAC_FLAG;
    // Started before its length is asked, so a digest the layer knows but
    // cannot run reports the layer's own code.
    if (int rc = VSC_Init_HMAC(unit.get(), digest, bytes(key), key_len); rc != 0) return rc;
    const int length = VSC_Get_DIGEST_Length(digest);
    if (length <= 0) return VSC_ERR_UNKNOWN_ALGORITHM;
    zcore::MallocPtr<char> out(static_cast<char*>(std::calloc(static_cast<size_t>(length) + 1, 1)));
    if (!out) return -1;
    auto* raw = reinterpret_cast<unsigned char*>(out.get());
    int n = 0;
    int rc = VSC_Update_HMAC(unit.get(), bytes(data), data_len);
    if (rc == 0) rc = VSC_Final_HMAC(unit.get(), raw, &n);
    if (rc == 0 && (n <= 0 || n > length)) rc = VSC_ERR_BACKEND;
    if (rc != 0) {
        explicit_bzero(raw, static_cast<size_t>(length));
        return rc;
    }
    *mac = out.release();
    *mac_len = n;
    return 0;
}

VCL_API int VCL_MAC_CBC(int cipher_id, const void* data, int data_len, const void* key, unsigned char* mac_buffer) {
    if (!key || !mac_buffer) return VSC_ERR_NULL_ARGUMENT;
    if (int rc = checkBytes(data, data_len); rc != 0) return rc;
    int length = 0;
    return VSC_CBC_MAC(cipher_id, static_cast<const unsigned char*>(key), bytes(data), data_len, mac_buffer, &length);
}

}  // extern "C"

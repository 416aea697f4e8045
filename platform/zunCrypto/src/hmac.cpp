// HMAC over any digest of ours (HAS-160 included), built on the digest units.
#include "internal.h"

#include <cstring>

namespace {

struct HmacImpl {
    zc::Hasher inner;
    zc::Hasher outer;
    zc::SecureBytes ipad;  // key block XOR 0x36
    zc::SecureBytes opad;  // key block XOR 0x5c
    bool ready = false;

    int restart() {
        int rc = inner.init(inner.id());
        if (rc == VSC_OK) rc = inner.update(zc::Bytes(ipad.data(), ipad.size()));
        return rc;
    }
};

HmacImpl* implOf(HMAC_UNIT* unit) { return static_cast<HmacImpl*>(unit->impl); }

}  // namespace

extern "C" {

HMAC_UNIT* VSC_New_HMAC_Unit(void) { return zc::newUnit<HMAC_UNIT, HmacImpl>(); }

void VSC_Free_HMAC_Unit(HMAC_UNIT* unit) { zc::freeUnit<HMAC_UNIT, HmacImpl>(unit); }

int VSC_Init_HMAC(HMAC_UNIT* unit, int digest_id, const unsigned char* key, int key_len) {
    if (unit == nullptr || unit->impl == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(key, key_len)) return VSC_ERR_INVALID_LENGTH;
    HmacImpl* h = implOf(unit);
    h->ready = false;
    unit->alg_id = 0;
    unit->digest_length = 0;
    int id = digest_id & ~VSC_HMAC_FLAG;
    int rc = h->inner.init(id);
    if (rc != VSC_OK) return rc;
    if ((rc = h->outer.init(id)) != VSC_OK) return rc;
    std::size_t block = static_cast<std::size_t>(h->inner.block());
    zc::SecureBytes k(block, 0);
    if (static_cast<std::size_t>(key_len) > block) {
        zc::Hasher kh;
        if ((rc = kh.init(id)) != VSC_OK || (rc = kh.update(zc::Bytes(key, key_len))) != VSC_OK ||
            (rc = kh.final(k.data())) != VSC_OK)
            return rc;
    } else if (key_len > 0) {
        std::memcpy(k.data(), key, static_cast<std::size_t>(key_len));
    }
    h->ipad.assign(block, 0);
    h->opad.assign(block, 0);
    for (std::size_t i = 0; i < block; ++i) {
        h->ipad[i] = k[i] ^ 0x36;
        h->opad[i] = k[i] ^ 0x5c;
    }
    if ((rc = h->restart()) != VSC_OK) return rc;
    h->ready = true;
    unit->alg_id = id;
    unit->digest_length = h->inner.length();
    return VSC_OK;
}

int VSC_Update_HMAC(HMAC_UNIT* unit, const unsigned char* data, int len) {
    if (unit == nullptr || unit->impl == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(data, len)) return VSC_ERR_INVALID_LENGTH;
    HmacImpl* h = implOf(unit);
    if (!h->ready) return VSC_ERR_NOT_INITIALIZED;
    return h->inner.update(zc::Bytes(data, static_cast<std::size_t>(len)));
}

int VSC_Final_HMAC(HMAC_UNIT* unit, unsigned char* out, int* out_len) {
    if (unit == nullptr || unit->impl == nullptr || out == nullptr) return VSC_ERR_NULL_ARGUMENT;
    HmacImpl* h = implOf(unit);
    if (!h->ready) return VSC_ERR_NOT_INITIALIZED;
    unsigned char inner[VSC_MAX_DIGEST_LENGTH];
    int rc = h->inner.final(inner);
    if (rc == VSC_OK) rc = h->outer.init(h->outer.id());
    if (rc == VSC_OK) rc = h->outer.update(zc::Bytes(h->opad.data(), h->opad.size()));
    if (rc == VSC_OK) rc = h->outer.update(zc::Bytes(inner, static_cast<std::size_t>(h->inner.length())));
    if (rc == VSC_OK) rc = h->outer.final(out);
    OPENSSL_cleanse(inner, sizeof inner);
    if (rc == VSC_OK) rc = h->restart();
    if (rc == VSC_OK && out_len != nullptr) *out_len = h->inner.length();
    if (rc != VSC_OK) h->ready = false;
    return rc;
}

}  // extern "C"

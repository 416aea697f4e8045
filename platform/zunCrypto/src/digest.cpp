// Digests: OpenSSL's from our context, HAS-160 of our own.
#include "internal.h"

#include <strings.h>

#include <cstring>

namespace zc {
namespace {

const DigestInfo kDigests[] = {
    {VSC_DIGEST_SHA1, 20, 64, "SHA1"},      {VSC_DIGEST_SHA224, 28, 64, "SHA224"},
    {VSC_DIGEST_SHA256, 32, 64, "SHA256"},  {VSC_DIGEST_SHA384, 48, 128, "SHA384"},
    {VSC_DIGEST_SHA512, 64, 128, "SHA512"}, {VSC_DIGEST_MD5, 16, 64, "MD5"},
    {VSC_DIGEST_HAS160, 20, 64, nullptr},
};

struct DigestName {
    const char* name;
    int id;
};

// Names of the digest-name tables and the long names of the identifier table.
const DigestName kNames[] = {
    {"sha1", VSC_DIGEST_SHA1},      {"sha-1", VSC_DIGEST_SHA1},     {"sha224", VSC_DIGEST_SHA224},
    {"sha-224", VSC_DIGEST_SHA224}, {"sha256", VSC_DIGEST_SHA256},  {"sha-256", VSC_DIGEST_SHA256},
    {"sha384", VSC_DIGEST_SHA384},  {"sha-384", VSC_DIGEST_SHA384}, {"sha512", VSC_DIGEST_SHA512},
    {"sha-512", VSC_DIGEST_SHA512}, {"md5", VSC_DIGEST_MD5},        {"has160", VSC_DIGEST_HAS160},
    {"has-160", VSC_DIGEST_HAS160}, {"mdc2", VSC_DIGEST_MDC2},
};

}  // namespace

const DigestInfo* digestInfo(int digestId) {
    for (const auto& d : kDigests)
        if (d.id == digestId) return &d;
    return nullptr;
}

Hasher::~Hasher() {
    EVP_MD_CTX_free(m_ctx);
    if (m_has != nullptr) {
        OPENSSL_cleanse(m_has, sizeof *m_has);
        delete m_has;
    }
}

int Hasher::init(int digestId) {
    // Whatever ran before stops here, also when this start fails.
    m_info = nullptr;
    const DigestInfo* info = digestInfo(digestId);
    if (info == nullptr) return digestId == VSC_DIGEST_MDC2 ? VSC_ERR_UNSUPPORTED : VSC_ERR_UNKNOWN_ALGORITHM;
    if (int rc = ensureInit(); rc != VSC_OK) return rc;
    if (info->evpName == nullptr) {
        if (m_has == nullptr) {
            m_has = new (std::nothrow) Has160State;
            if (m_has == nullptr) return VSC_ERR_MEMORY;
        }
        has160Init(*m_has);
    } else {
        const EVP_MD* md = fetchedDigest(digestId);
        if (md == nullptr) return VSC_ERR_UNSUPPORTED;
        if (m_ctx == nullptr && (m_ctx = EVP_MD_CTX_new()) == nullptr) return VSC_ERR_MEMORY;
        if (!EVP_DigestInit_ex2(m_ctx, md, nullptr)) return VSC_ERR_BACKEND;
    }
    m_info = info;
    return VSC_OK;
}

int Hasher::update(Bytes data) {
    if (m_info == nullptr) return VSC_ERR_NOT_INITIALIZED;
    if (data.empty()) return VSC_OK;
    if (m_info->evpName == nullptr) {
        has160Update(*m_has, data.data(), data.size());
        return VSC_OK;
    }
    return EVP_DigestUpdate(m_ctx, data.data(), data.size()) ? VSC_OK : VSC_ERR_BACKEND;
}

int Hasher::final(unsigned char* out) {
    if (m_info == nullptr) return VSC_ERR_NOT_INITIALIZED;
    if (m_info->evpName == nullptr) {
        has160Final(*m_has, out);
        has160Init(*m_has);
        return VSC_OK;
    }
    unsigned int n = 0;
    if (!EVP_DigestFinal_ex(m_ctx, out, &n)) return VSC_ERR_BACKEND;
    // Ready for the next message with the same algorithm.
    return EVP_DigestInit_ex2(m_ctx, nullptr, nullptr) ? VSC_OK : VSC_ERR_BACKEND;
}

}  // namespace zc

namespace {

zc::Hasher* hasherOf(DIGEST_UNIT* unit) { return static_cast<zc::Hasher*>(unit->impl); }

}  // namespace

extern "C" {

DIGEST_UNIT* VSC_New_DIGEST_Unit(void) { return zc::newUnit<DIGEST_UNIT, zc::Hasher>(); }

void VSC_Free_DIGEST_Unit(DIGEST_UNIT* unit) { zc::freeUnit<DIGEST_UNIT, zc::Hasher>(unit); }

int VSC_Init_DIGEST(DIGEST_UNIT* unit, int digest_id) {
    if (unit == nullptr || unit->impl == nullptr) return VSC_ERR_NULL_ARGUMENT;
    zc::Hasher* h = hasherOf(unit);
    int rc = h->init(digest_id);
    if (rc != VSC_OK) {
        unit->alg_id = 0;
        unit->block_length = unit->digest_length = 0;
        return rc;
    }
    unit->alg_id = h->id();
    unit->block_length = h->block();
    unit->digest_length = h->length();
    return VSC_OK;
}

int VSC_Update_DIGEST(DIGEST_UNIT* unit, const unsigned char* data, int len) {
    if (unit == nullptr || unit->impl == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(data, len)) return VSC_ERR_INVALID_LENGTH;
    return hasherOf(unit)->update(zc::Bytes(data, static_cast<std::size_t>(len)));
}

int VSC_Final_DIGEST(DIGEST_UNIT* unit, unsigned char* out, int* out_len) {
    if (unit == nullptr || unit->impl == nullptr || out == nullptr) return VSC_ERR_NULL_ARGUMENT;
    zc::Hasher* h = hasherOf(unit);
    int rc = h->final(out);
    if (rc == VSC_OK && out_len != nullptr) *out_len = h->length();
    return rc;
}

int VSC_DIGEST(int digest_id, const unsigned char* data, int len, unsigned char* out, int* out_len) {
    if (out == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (zc::badBuffer(data, len)) return VSC_ERR_INVALID_LENGTH;
    zc::Hasher h;
    int rc = h.init(digest_id);
    if (rc == VSC_OK) rc = h.update(zc::Bytes(data, static_cast<std::size_t>(len)));
    if (rc == VSC_OK) rc = h.final(out);
    if (rc == VSC_OK && out_len != nullptr) *out_len = h.length();
    return rc;
}

int VSC_Get_DIGEST_Length(int digest_id) {
    const zc::DigestInfo* info = zc::digestInfo(digest_id);
    return info == nullptr ? -1 : info->length;
}

int VSC_Get_DIGEST_Block_Length(int digest_id) {
    const zc::DigestInfo* info = zc::digestInfo(digest_id);
    return info == nullptr ? -1 : info->block;
}

int VSC_Get_DIGEST_Alg_ID_By_Name(const char* name) {
    if (name == nullptr) return 0;
    for (const auto& n : zc::kNames)
        if (strcasecmp(n.name, name) == 0) return n.id;
    return 0;
}

}  // extern "C"

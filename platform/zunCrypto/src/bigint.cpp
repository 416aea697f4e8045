// BIGINT: a thin owner of an OpenSSL BIGNUM.
#include "internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace zc {

BIGINT* wrapBn(BIGNUM* bn) {
    if (bn == nullptr) return nullptr;
    auto* a = new (std::nothrow) vsc_bigint_st{bn};
    if (a == nullptr) BN_clear_free(bn);
    return a;
}

const BIGNUM* bnOf(const BIGINT* a) { return a == nullptr ? nullptr : a->bn; }

BIGINT* bigintFromBn(const BIGNUM* bn) { return bn == nullptr ? nullptr : wrapBn(BN_dup(bn)); }

void freeBigint(BIGINT** slot) {
    if (slot != nullptr) {
        VSC_Free_BIGINT(*slot);
        *slot = nullptr;
    }
}

int setCopy(BIGINT** slot, const BIGINT* v) {
    BIGINT* copy = nullptr;
    if (v != nullptr) {
        copy = VSC_Dup_BIGINT(v);
        if (copy == nullptr) return VSC_ERR_MEMORY;
    }
    freeBigint(slot);
    *slot = copy;
    return VSC_OK;
}

namespace {

BIGINT* sharedOne() {
    static BIGINT* one = [] {
        BIGNUM* bn = BN_new();
        if (bn != nullptr) BN_one(bn);
        return wrapBn(bn);
    }();
    return one;
}

char* hexText(const BIGINT* a) {
    if (a == nullptr) return nullptr;
    int n = BN_num_bytes(a->bn);
    SecureBytes bytes(n > 0 ? n : 1, 0);
    if (n > 0) BN_bn2bin(a->bn, bytes.data());
    bool neg = BN_is_negative(a->bn) != 0;
    std::size_t len = bytes.size() * 2 + (neg ? 1 : 0);
    char* out = static_cast<char*>(VSC_Malloc(len + 1, __FILE__, __LINE__));
    if (out == nullptr) return nullptr;
    static const char digits[] = "0123456789ABCDEF";
    std::size_t pos = 0;
    if (neg) out[pos++] = '-';
    for (unsigned char b : bytes) {
        out[pos++] = digits[b >> 4];
        out[pos++] = digits[b & 15];
    }
    out[pos] = '\0';
    return out;
}

// BN_bn2dec leaves the value's digits in blocks it frees as they are; the
// value may be a private one, so the digits are made here in wiped memory.
char* decText(const BIGINT* a) {
    if (a == nullptr) return nullptr;
    BnPtr t(BN_dup(a->bn));
    if (!t) return nullptr;
    const bool neg = BN_is_negative(t.get()) != 0;
    BN_set_negative(t.get(), 0);
    SecureBytes digits;  // lowest first, nine at a time
    do {
        BN_ULONG chunk = BN_div_word(t.get(), 1000000000);
        if (chunk == static_cast<BN_ULONG>(-1)) return nullptr;
        for (int i = 0; i < 9; ++i, chunk /= 10) digits.push_back(static_cast<unsigned char>('0' + chunk % 10));
    } while (!BN_is_zero(t.get()));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const std::size_t len = digits.size() + (neg ? 1 : 0);
    char* out = static_cast<char*>(VSC_Malloc(len + 1, __FILE__, __LINE__));
    if (out == nullptr) return nullptr;
    std::size_t pos = 0;
    if (neg) out[pos++] = '-';
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) out[pos++] = static_cast<char>(*it);
    out[pos] = '\0';
    return out;
}

// 0 when a may be changed: present and not the shared one.
int writable(const BIGINT* a) {
    if (a == nullptr) return VSC_ERR_NULL_ARGUMENT;
    return a == sharedOne() ? VSC_ERR_INVALID_ARGUMENT : VSC_OK;
}

}  // namespace
}  // namespace zc

using zc::wrapBn;

extern "C" {

BIGINT* VSC_New_BIGINT(void) { return wrapBn(BN_new()); }

void VSC_Free_BIGINT(BIGINT* a) {
    if (a == nullptr || a == zc::sharedOne()) return;
    BN_clear_free(a->bn);
    delete a;
}

BIGINT* VSC_Dup_BIGINT(const BIGINT* a) { return a == nullptr ? nullptr : wrapBn(BN_dup(a->bn)); }

int VSC_Copy_BIGINT(BIGINT* to, const BIGINT* from) {
    if (from == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (int rc = zc::writable(to); rc != VSC_OK) return rc;
    return BN_copy(to->bn, from->bn) != nullptr ? VSC_OK : VSC_ERR_MEMORY;
}

int VSC_Cmp_BIGINT(const BIGINT* a, const BIGINT* b) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    int c = BN_cmp(a->bn, b->bn);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

BIGINT* VSC_Binary_To_BIGINT(BIGINT* ret, const unsigned char* bin, int len) {
    if (zc::badBuffer(bin, len) || ret == zc::sharedOne()) return nullptr;
    if (ret == nullptr) {
        BIGINT* fresh = wrapBn(BN_bin2bn(bin, len, nullptr));
        return fresh;
    }
    return BN_bin2bn(bin, len, ret->bn) != nullptr ? ret : nullptr;
}

int VSC_BIGINT_To_Binary(const BIGINT* a, unsigned char* out) {
    if (a == nullptr || out == nullptr) return -1;
    int len = BN_num_bits(a->bn) / 8 + 1;  // (bits + 8) / 8
    return BN_bn2binpad(a->bn, out, len);
}

int VSC_BIGINT_To_Binary_Unsigned(const BIGINT* a, unsigned char* out) {
    if (a == nullptr || out == nullptr) return -1;
    return BN_bn2bin(a->bn, out);
}

int VSC_Get_BIGINT_Bits_Length(const BIGINT* a) { return a == nullptr ? 0 : BN_num_bits(a->bn); }

unsigned long VSC_Get_BIGINT_Word(const BIGINT* a) {
    if (a == nullptr) return 0;
    BN_ULONG w = BN_get_word(a->bn);
    return static_cast<unsigned long>(w);
}

int VSC_Set_BIGINT_Word(BIGINT* a, unsigned long w) {
    if (int rc = zc::writable(a); rc != VSC_OK) return rc;
    return BN_set_word(a->bn, w) ? VSC_OK : VSC_ERR_MEMORY;
}

int VSC_Add_BIGINT(BIGINT* r, const BIGINT* a, const BIGINT* b) {
    if (a == nullptr || b == nullptr) return VSC_ERR_NULL_ARGUMENT;
    if (int rc = zc::writable(r); rc != VSC_OK) return rc;
    return BN_add(r->bn, a->bn, b->bn) ? VSC_OK : VSC_ERR_MEMORY;
}

int VSC_Add_BIGINT_Word(BIGINT* a, unsigned long w) {
    if (int rc = zc::writable(a); rc != VSC_OK) return rc;
    return BN_add_word(a->bn, w) ? VSC_OK : VSC_ERR_MEMORY;
}

BIGINT* VSC_Value_One_BIGINT(void) { return zc::sharedOne(); }

char* VSC_BIGINT_To_DEC(const BIGINT* a) {
    if (a == nullptr) return nullptr;
    return zc::decText(a);
}

char* VSC_BIGINT_To_HEX(const BIGINT* a) { return zc::hexText(a); }

char* VSC_Dump_BIGINT(const BIGINT* a) { return zc::hexText(a); }

BIGINT* VSC_HEX_To_BIGINT(const char* text) {
    if (text == nullptr) return nullptr;
    const char* digits = text[0] == '-' ? text + 1 : text;
    std::size_t n = std::strlen(digits);
    if (n == 0 || n > 16384) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(digits[i]))) return nullptr;
    BIGNUM* bn = nullptr;
    if (BN_hex2bn(&bn, text) == 0) return nullptr;
    return wrapBn(bn);
}

int VSC_Print_BIGINT(const BIGINT* a) {
    if (a == nullptr) return VSC_ERR_NULL_ARGUMENT;
    char* hex = zc::hexText(a);
    if (hex == nullptr) return VSC_ERR_MEMORY;
    std::printf("%s\n", hex);
    VSC_Free(hex, __FILE__, __LINE__);
    return VSC_OK;
}

}  // extern "C"

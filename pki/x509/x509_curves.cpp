// The named-curve table (P-256) and the curve records made from it.
#include <zunPKI/x509/x509_key.h>

#include <cstring>

#include <zunPKI/asn1/asn1_objects.h>
#include "asn1/asn1_struct.hpp"
#include "asn1/codec_util.hpp"
#include "x509/x509_key.hpp"
#include "x509/x509_key_internal.hpp"
#include "x509/x509_list.hpp"

using namespace zpki::x509::keys;

namespace {

// The named-curve table.

struct NamedCurve {
    int curveNumber;
    int row;
    char name[32];
    unsigned char a[64];
    int aLen;
    unsigned char b[64];
    int bLen;
    unsigned char p[64];
    int pLen;
    unsigned char gx[64];
    int gxLen;
    unsigned char gy[64];
    int gyLen;
    unsigned char n[64];
    int nLen;
};

constexpr int hexDigit(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

struct Value64 {
    unsigned char bytes[64];
    int len;
};

template <size_t N>
constexpr Value64 hexValue(const char (&hex)[N]) {
    Value64 v{};
    v.len = static_cast<int>((N - 1) / 2);
    for (int i = 0; i < v.len; ++i)
        v.bytes[i] = static_cast<unsigned char>(hexDigit(hex[2 * i]) * 16 + hexDigit(hex[2 * i + 1]));
    return v;
}

// SEC 2 secp256r1 (FIPS 186 P-256).
constexpr Value64 kP256[] = {
    hexValue("FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC"),  // a
    hexValue("5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B"),  // b
    hexValue("FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF"),  // p
    hexValue("6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296"),  // Gx
    hexValue("4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5"),  // Gy
    hexValue("FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551"),  // n
};

constexpr NamedCurve makeCurve(int number, int row, const char* name, const Value64 (&v)[6]) {
    NamedCurve c{};
    c.curveNumber = number;
    c.row = row;
    for (int i = 0; name[i] && i < 31; ++i) c.name[i] = name[i];
    unsigned char* bufs[6] = {c.a, c.b, c.p, c.gx, c.gy, c.n};
    int* lens[6] = {&c.aLen, &c.bLen, &c.pLen, &c.gxLen, &c.gyLen, &c.nLen};
    for (int k = 0; k < 6; ++k) {
        for (int i = 0; i < 64; ++i) bufs[k][i] = v[k].bytes[i];
        *lens[k] = v[k].len;
    }
    return c;
}

constexpr NamedCurve kNamedCurves[] = {makeCurve(0, kRowPrime256v1, "prime256v1", kP256)};

const NamedCurve* curveOfRow(int row) {
    for (const auto& c : kNamedCurves)
        if (c.row == row) return &c;
    return nullptr;
}

}  // namespace

extern "C" {

// ===========================================================================
// Named curves

ZUNPKI_API int set_ECURVE_from_list(ECURVE** curve, int row) {
    const NamedCurve* c = curveOfRow(row);
    if (!curve || !c) return 1;
    if (!*curve) {
        // A new curve is filled in place: no values made only to be copied.
        Curve made(VSC_New_ECURVE());
        if (!made || !(made->a = VSC_Binary_To_BIGINT(nullptr, c->a, c->aLen)) ||
            !(made->b = VSC_Binary_To_BIGINT(nullptr, c->b, c->bLen)) ||
            !(made->p = VSC_Binary_To_BIGINT(nullptr, c->p, c->pLen)) ||
            !(made->n = VSC_Binary_To_BIGINT(nullptr, c->n, c->nLen)) || !(made->G = VSC_New_ECPOINT()) ||
            !VSC_Binary_To_BIGINT(made->G->x, c->gx, c->gxLen) || !VSC_Binary_To_BIGINT(made->G->y, c->gy, c->gyLen))
            return 1;
        made->curve_id = c->curveNumber;
        std::memcpy(made->name, c->name, sizeof c->name < sizeof made->name ? sizeof c->name : sizeof made->name);
        made->field_length = c->pLen;
        *curve = made.release();
        return 0;
    }
    Big a(VSC_Binary_To_BIGINT(nullptr, c->a, c->aLen));
    Big b(VSC_Binary_To_BIGINT(nullptr, c->b, c->bLen));
    Big p(VSC_Binary_To_BIGINT(nullptr, c->p, c->pLen));
    Big n(VSC_Binary_To_BIGINT(nullptr, c->n, c->nLen));
    Point g(VSC_New_ECPOINT());
    if (!a || !b || !p || !n || !g || !VSC_Binary_To_BIGINT(g->x, c->gx, c->gxLen) ||
        !VSC_Binary_To_BIGINT(g->y, c->gy, c->gyLen))
        return 1;
    Curve made(*curve ? nullptr : VSC_New_ECURVE());
    ECURVE* target = *curve ? *curve : made.get();
    if (!target ||
        VSC_Set_ECURVE_Params(target, c->curveNumber, c->name, a.get(), b.get(), p.get(), g.get(), n.get()) != VSC_OK)
        return 1;
    if (made) *curve = made.release();
    return 0;
}

ZUNPKI_API int set_ECURVE_from_list_ex(ECURVE** curve, const OBJECT_IDENTIFIER* oid) {
    return oid ? set_ECURVE_from_list(curve, index_from_OBJECT_IDENTIFIER(oid)) : 1;
}

ZUNPKI_API int get_ECURVE_OID_from_name(OBJECT_IDENTIFIER** oid, const char* name) {
    if (!oid || !name) return 1;
    for (const auto& c : kNamedCurves) {
        if (std::strcmp(c.name, name) != 0) continue;
        OBJECT_IDENTIFIER* made = index_to_OBJECT_IDENTIFIER(c.row);
        if (!made) return 1;
        free_ASN1_STRING(*oid);
        *oid = made;
        return 0;
    }
    return 1;
}

}  // extern "C"

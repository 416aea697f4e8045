// Elliptic-curve key records.
#include "CryptoTestUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace zctest;

namespace {

// P-256 (SEC 2 secp256r1).
const char* kP = "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF";
const char* kA = "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC";
const char* kB = "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B";
const char* kGx = "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296";
const char* kGy = "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5";
const char* kN = "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551";

void setPoint(ECPOINT* pt, const std::string& x, const std::string& y) {
    BIGINT* bx = VSC_HEX_To_BIGINT(x.c_str());
    BIGINT* by = VSC_HEX_To_BIGINT(y.c_str());
    ASSERT_EQ(VSC_Copy_BIGINT(pt->x, bx), VSC_OK);
    ASSERT_EQ(VSC_Copy_BIGINT(pt->y, by), VSC_OK);
    pt->infinity = 0;
    VSC_Free_BIGINT(bx);
    VSC_Free_BIGINT(by);
}

// What a python3-cryptography script prints, one value a line.
std::vector<std::string> pythonLines(const char* script) {
    zqtest::RunResult r = zqtest::run({zqtest::kPython, "-c", script});
    EXPECT_EQ(r.status, 0);
    std::istringstream in(r.output);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The P-256 values, released with the object.
struct P256 {
    BIGINT* a = VSC_HEX_To_BIGINT(kA);
    BIGINT* b = VSC_HEX_To_BIGINT(kB);
    BIGINT* p = VSC_HEX_To_BIGINT(kP);
    BIGINT* n = VSC_HEX_To_BIGINT(kN);
    ECPOINT* g = VSC_New_ECPOINT();
    P256() { setPoint(g, kGx, kGy); }
    ~P256() {
        VSC_Free_ECPOINT(g);
        for (BIGINT* v : {a, b, p, n}) VSC_Free_BIGINT(v);
    }
    int setInto(ECURVE* curve, const char* name = "prime256v1") const {
        return VSC_Set_ECURVE_Params(curve, 0, name, a, b, p, g, n);
    }
};

// Checks each "x y peerAccepts" line's point on P-256 against the peer's
// verdict; returns how many the peer accepted.
int checkedLikeThePeer(const std::vector<std::string>& lines) {
    ECC_KEY* key = VSC_New_ECC_Key();
    key->curve = VSC_New_ECURVE();
    EXPECT_EQ(P256().setInto(key->curve), VSC_OK);
    key->point = VSC_New_ECPOINT();
    int accepted = 0;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string x, y;
        int peerAccepts = -1;
        in >> x >> y >> peerAccepts;
        setPoint(key->point, x, y);
        EXPECT_EQ(VSC_Check_ECC_Key(key), peerAccepts == 1 ? VSC_OK : VSC_FAIL) << line;
        accepted += peerAccepts == 1;
    }
    VSC_Free_ECC_Key(key);
    return accepted;
}

}  // namespace

TEST(VscEc, CurveRecordsAndPointCheck) {
    // A public point made by python3-cryptography.
    const auto xy = pythonLines(
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "n = ec.generate_private_key(ec.SECP256R1()).public_key().public_numbers()\n"
        "print('%x' % n.x); print('%x' % n.y)\n");
    ASSERT_EQ(xy.size(), 2u);
    const std::string& x = xy[0];
    const std::string& y = xy[1];

    P256 c;
    ECC_KEY* key = VSC_New_ECC_Key();
    key->curve = VSC_New_ECURVE();
    ASSERT_EQ(c.setInto(key->curve), VSC_OK);
    EXPECT_STREQ(key->curve->name, "prime256v1");
    EXPECT_EQ(key->curve->field_length, 32);
    EXPECT_EQ(c.setInto(key->curve, "a-name-much-longer-than-thirty-one"), VSC_ERR_INVALID_ARGUMENT);
    // Values set again under the record's own name keep it.
    ASSERT_EQ(c.setInto(key->curve, key->curve->name), VSC_OK);
    EXPECT_STREQ(key->curve->name, "prime256v1");

    key->point = VSC_New_ECPOINT();
    setPoint(key->point, x, y);
    EXPECT_EQ(VSC_Check_ECC_Key(key), VSC_OK);
    setPoint(key->point, kGx, kGy);
    EXPECT_EQ(VSC_Check_ECC_Key(key), VSC_OK);
    setPoint(key->point, x, kGy);
    EXPECT_EQ(VSC_Check_ECC_Key(key), VSC_FAIL);
    ASSERT_EQ(VSC_Zero_Value_ECPOINT(key->point), VSC_OK);
    EXPECT_EQ(key->point->infinity, 1);
    EXPECT_EQ(VSC_Get_BIGINT_Bits_Length(key->point->x), 0);
    EXPECT_EQ(VSC_Check_ECC_Key(key), VSC_FAIL);

    VSC_Free_ECC_Key(key);
}

// Many points of python3-cryptography's keys lie on the curve, and the same
// points with y changed by one (or x and y swapped) do not: P-256 points are
// checked with arithmetic of our own, the other curves through OpenSSL.
TEST(VscEc, PointCheckAgreesWithThePeerOnManyPoints) {
    const auto v = pythonLines(
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "p = 0xFFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF\n"
        "for i in range(24):\n"
        "    n = ec.generate_private_key(ec.SECP256R1()).public_key().public_numbers()\n"
        "    for x, y in ((n.x, n.y), (n.x, (n.y + 1) % p), (n.y, n.x), (n.x, p - n.y)):\n"
        "        try:\n"
        "            ec.EllipticCurvePublicNumbers(x, y, ec.SECP256R1()).public_key(); ok = 1\n"
        "        except ValueError:\n"
        "            ok = 0\n"
        "        print('%x %x %d' % (x, y, ok))\n");
    ASSERT_EQ(v.size(), 96u);
    EXPECT_GE(checkedLikeThePeer(v), 48);  // each point and its negation
}

// d x G against python3-cryptography's public key of the same scalar.
TEST(VscEc, PublicPointOfPrivateScalar) {
    const auto dxy = pythonLines(
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "k = ec.generate_private_key(ec.SECP256R1())\n"
        "n = k.public_key().public_numbers()\n"
        "print('%x' % k.private_numbers().private_value); print('%x' % n.x); print('%x' % n.y)\n");
    ASSERT_EQ(dxy.size(), 3u);

    P256 c;
    ECC_KEY* key = VSC_New_ECC_Key();
    key->curve = VSC_New_ECURVE();
    ASSERT_EQ(c.setInto(key->curve), VSC_OK);
    ECPOINT* out = VSC_New_ECPOINT();
    EXPECT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_ERR_KEY_MISSING);
    key->d = VSC_HEX_To_BIGINT(dxy[0].c_str());
    ASSERT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_OK);
    BIGINT* ex = VSC_HEX_To_BIGINT(dxy[1].c_str());
    BIGINT* ey = VSC_HEX_To_BIGINT(dxy[2].c_str());
    EXPECT_EQ(VSC_Cmp_BIGINT(out->x, ex), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(out->y, ey), 0);
    EXPECT_EQ(out->infinity, 0);

    // Scalars at and past the order: n x G is the point at infinity, and
    // (n + 1) x G is G again.
    BIGINT* n = VSC_Dup_BIGINT(key->curve->n);
    VSC_Free_BIGINT(key->d);
    key->d = VSC_Dup_BIGINT(n);
    ASSERT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_OK);
    EXPECT_EQ(out->infinity, 1);
    ASSERT_EQ(VSC_Add_BIGINT_Word(key->d, 1), VSC_OK);
    ASSERT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_OK);
    EXPECT_EQ(out->infinity, 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(out->x, key->curve->G->x), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(out->y, key->curve->G->y), 0);
    VSC_Free_BIGINT(n);

    VSC_Free_ECPOINT(out);
    VSC_Free_ECC_Key(key);
    VSC_Free_BIGINT(ex);
    VSC_Free_BIGINT(ey);
}

// A point is valid only with coordinates in [0, p): the same point written
// with x + p, y + p or a negative x is no public key (python3-cryptography
// refuses each of them), although it reduces onto the curve.
TEST(VscEc, PointCoordinatesOutsideTheFieldRefused) {
    const auto v = pythonLines(
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "n = ec.generate_private_key(ec.SECP256R1()).public_key().public_numbers()\n"
        "p = 0xFFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF\n"
        "for x, y in ((n.x, n.y), (n.x + p, n.y), (n.x, n.y + p), (n.x - p, n.y)):\n"
        "    try:\n"
        "        ec.EllipticCurvePublicNumbers(x, y, ec.SECP256R1()).public_key(); ok = 1\n"
        "    except ValueError:\n"
        "        ok = 0\n"
        "    print('%x %x %d' % (x, y, ok))\n");
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(checkedLikeThePeer(v), 1);
}

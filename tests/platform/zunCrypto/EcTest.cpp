// Elliptic-curve key records.
#include "CryptoTestUtil.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace zctest;

namespace {

// P-256 (SEC 2 secp256r1).
const char* kP = "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF";
const char* kA = "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFC";
const char* kB = "5AC635D8AA3A93E7B3EBBD55769886BC651D06B0CC53B0F63BCE3C3E27D2604B";
const char* kGx = "6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296";
const char* kGy = "4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5";
const char* kN = "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551";

void setPoint(ECPOINT* pt, const std::string& x, const std::string& y)
{
    BIGINT* bx = VSC_HEX_To_BIGINT(x.c_str());
    BIGINT* by = VSC_HEX_To_BIGINT(y.c_str());
    ASSERT_EQ(VSC_Copy_BIGINT(pt->x, bx), VSC_OK);
    ASSERT_EQ(VSC_Copy_BIGINT(pt->y, by), VSC_OK);
    pt->infinity = 0;
    VSC_Free_BIGINT(bx);
    VSC_Free_BIGINT(by);
}

}  // namespace

TEST(VscEc, CurveRecordsAndPointCheck)
{
    // A public point made by python3-cryptography.
    static const char* script =
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "n = ec.generate_private_key(ec.SECP256R1()).public_key().public_numbers()\n"
        "print('%x' % n.x); print('%x' % n.y)\n";
    zqtest::RunResult r = zqtest::run({zqtest::kPython, "-c", script});
    ASSERT_EQ(r.status, 0);
    std::istringstream in(r.output);
    std::string x, y;
    std::getline(in, x);
    std::getline(in, y);

    BIGINT* a = VSC_HEX_To_BIGINT(kA);
    BIGINT* b = VSC_HEX_To_BIGINT(kB);
    BIGINT* p = VSC_HEX_To_BIGINT(kP);
    BIGINT* n = VSC_HEX_To_BIGINT(kN);
    ECPOINT* g = VSC_New_ECPOINT();
    setPoint(g, kGx, kGy);

    ECC_KEY* key = VSC_New_ECC_Key();
    key->curve = VSC_New_ECURVE();
    ASSERT_EQ(VSC_Set_ECURVE_Params(key->curve, 0, "prime256v1", a, b, p, g, n), VSC_OK);
    EXPECT_STREQ(key->curve->name, "prime256v1");
    EXPECT_EQ(key->curve->field_length, 32);
    EXPECT_EQ(VSC_Set_ECURVE_Params(key->curve, 0, "a-name-much-longer-than-thirty-one", a, b, p, g, n),
              VSC_ERR_INVALID_ARGUMENT);

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
    VSC_Free_ECPOINT(g);
    for (BIGINT* v : {a, b, p, n})
        VSC_Free_BIGINT(v);
}

// d x G against python3-cryptography's public key of the same scalar.
TEST(VscEc, PublicPointOfPrivateScalar)
{
    const char* script =
        "from cryptography.hazmat.primitives.asymmetric import ec\n"
        "k = ec.generate_private_key(ec.SECP256R1())\n"
        "n = k.public_key().public_numbers()\n"
        "print('%x' % k.private_numbers().private_value); print('%x' % n.x); print('%x' % n.y)\n";
    zqtest::RunResult r = zqtest::run({zqtest::kPython, "-c", script});
    ASSERT_EQ(r.status, 0);
    std::istringstream in(r.output);
    std::string d, x, y;
    std::getline(in, d);
    std::getline(in, x);
    std::getline(in, y);

    BIGINT* a = VSC_HEX_To_BIGINT(kA);
    BIGINT* b = VSC_HEX_To_BIGINT(kB);
    BIGINT* p = VSC_HEX_To_BIGINT(kP);
    BIGINT* n = VSC_HEX_To_BIGINT(kN);
    ECPOINT* g = VSC_New_ECPOINT();
    setPoint(g, kGx, kGy);
    ECC_KEY* key = VSC_New_ECC_Key();
    key->curve = VSC_New_ECURVE();
    ASSERT_EQ(VSC_Set_ECURVE_Params(key->curve, 0, "prime256v1", a, b, p, g, n), VSC_OK);

    ECPOINT* out = VSC_New_ECPOINT();
    EXPECT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_ERR_KEY_MISSING);
    key->d = VSC_HEX_To_BIGINT(d.c_str());
    ASSERT_EQ(VSC_Get_ECC_Public_Point(key, out), VSC_OK);
    BIGINT* ex = VSC_HEX_To_BIGINT(x.c_str());
    BIGINT* ey = VSC_HEX_To_BIGINT(y.c_str());
    EXPECT_EQ(VSC_Cmp_BIGINT(out->x, ex), 0);
    EXPECT_EQ(VSC_Cmp_BIGINT(out->y, ey), 0);
    EXPECT_EQ(out->infinity, 0);

    VSC_Free_ECPOINT(out);
    VSC_Free_ECC_Key(key);
    VSC_Free_ECPOINT(g);
    for (BIGINT* v : {a, b, p, n, ex, ey})
        VSC_Free_BIGINT(v);
}

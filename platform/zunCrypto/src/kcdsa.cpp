// KCDSA on OpenSSL's BIGNUM.
#include "internal.h"

extern "C" {

KCDSA_UNIT* VSC_New_KCDSA(void)
{
    return new (std::nothrow) KCDSA_UNIT{};
}

void VSC_Clean_KCDSA(KCDSA_UNIT* k)
{
    if (k == nullptr)
        return;
    for (BIGINT** slot : {&k->p, &k->q, &k->g, &k->y, &k->x, &k->j})
        zc::freeBigint(slot);
    VSC_Free_Ex(k->seed, static_cast<size_t>(k->seed_len > 0 ? k->seed_len : 0), __FILE__, __LINE__);
    k->seed = nullptr;
    k->seed_len = 0;
    k->count = 0;
    k->is_private = 0;
    VSC_Free_DIGEST_Unit(k->digest_unit);
    k->digest_unit = nullptr;
    k->digest_id = 0;
    k->sign = 0;
}

void VSC_Free_KCDSA(KCDSA_UNIT* k)
{
    if (k == nullptr)
        return;
    VSC_Clean_KCDSA(k);
    delete k;
}

int VSC_Set_KCDSA_Params(KCDSA_UNIT*, const BIGINT*, const BIGINT*, const BIGINT*, const BIGINT*, const BIGINT*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Get_KCDSA_Length(const KCDSA_UNIT* k)
{
    if (k == nullptr || k->q == nullptr)
        return -1;
    return BN_num_bytes(k->q->bn);
}

int VSC_Init_KCDSA(KCDSA_UNIT*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Init_KCDSA_Ex(KCDSA_UNIT*, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Update_KCDSA(KCDSA_UNIT*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Final_KCDSA(KCDSA_UNIT*, unsigned char*, int*, unsigned char*, int*)
{
    return VSC_FAIL;
}

int VSC_Verify_KCDSA(KCDSA_UNIT*, const unsigned char*, int, const unsigned char*, int)
{
    return VSC_FAIL;
}

}  // extern "C"

namespace zc {

int kcdsaFinalWithK(KCDSA_UNIT*, const BIGNUM*, unsigned char*, int*, unsigned char*, int*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

}  // namespace zc

// RSA key records and the RSASSA / RSAES schemes.
#include "internal.h"

namespace {

BIGINT** slots(RSA_UNIT* r, int i)
{
    BIGINT** all[] = {&r->n, &r->e, &r->d, &r->p, &r->q, &r->dP, &r->dQ, &r->qInv, &r->cache};
    return all[i];
}
constexpr int kSlots = 9;

}  // namespace

extern "C" {

RSA_UNIT* VSC_New_RSA(void)
{
    return new (std::nothrow) RSA_UNIT{};
}

void VSC_Clean_RSA(RSA_UNIT* rsa)
{
    if (rsa == nullptr)
        return;
    for (int i = 0; i < kSlots; ++i)
        zc::freeBigint(slots(rsa, i));
    VSC_Free_DIGEST_Unit(rsa->digest_unit);
    rsa->digest_unit = nullptr;
    rsa->flag = 0;
    rsa->operation = 0;
    rsa->is_private = 0;
    rsa->digest_id = 0;
    rsa->padding_mode = 0;
    rsa->sign = 0;
}

void VSC_Free_RSA(RSA_UNIT* rsa)
{
    if (rsa == nullptr)
        return;
    VSC_Clean_RSA(rsa);
    delete rsa;
}

int VSC_Set_RSA_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e, const BIGINT* d, const BIGINT* p,
                       const BIGINT* q, const BIGINT* dP, const BIGINT* dQ, const BIGINT* qInv)
{
    if (rsa == nullptr || n == nullptr || e == nullptr)
        return VSC_ERR_NULL_ARGUMENT;
    const BIGINT* values[] = {n, e, d, p, q, dP, dQ, qInv};
    BIGINT* copies[8] = {};
    for (int i = 0; i < 8; ++i) {
        if (values[i] != nullptr && (copies[i] = VSC_Dup_BIGINT(values[i])) == nullptr) {
            for (auto* c : copies)
                VSC_Free_BIGINT(c);
            return VSC_ERR_MEMORY;
        }
    }
    for (int i = 0; i < 8; ++i) {
        zc::freeBigint(slots(rsa, i));
        *slots(rsa, i) = copies[i];
    }
    rsa->is_private = d != nullptr ? 1 : 0;
    bool crt = p && q && dP && dQ && qInv;
    rsa->flag = d == nullptr ? VSC_RSA_FLAG_PUBLIC : (crt ? VSC_RSA_FLAG_FULL : VSC_RSA_FLAG_PRIVATE);
    return VSC_OK;
}

int VSC_Set_RSA_Public_Params(RSA_UNIT* rsa, const BIGINT* n, const BIGINT* e)
{
    return VSC_Set_RSA_Params(rsa, n, e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

RSA_UNIT* VSC_Dup_RSA(const RSA_UNIT* rsa)
{
    if (rsa == nullptr)
        return nullptr;
    RSA_UNIT* copy = VSC_New_RSA();
    if (copy == nullptr)
        return nullptr;
    RSA_UNIT* src = const_cast<RSA_UNIT*>(rsa);
    for (int i = 0; i < 8; ++i) {
        if (zc::setCopy(slots(copy, i), *slots(src, i)) != VSC_OK) {
            VSC_Free_RSA(copy);
            return nullptr;
        }
    }
    copy->flag = rsa->flag;
    copy->is_private = rsa->is_private;
    return copy;
}

int VSC_Get_RSA_Length(const RSA_UNIT* rsa)
{
    if (rsa == nullptr || rsa->n == nullptr)
        return -1;
    return BN_num_bytes(rsa->n->bn);
}

int VSC_Generate_RSA_Params_Ex(RSA_UNIT*, unsigned long, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Init_RSASSA(RSA_UNIT*, int, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Update_RSASSA(RSA_UNIT*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Final_RSASSA(RSA_UNIT*, unsigned char*, int*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Verify_RSASSA(RSA_UNIT*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Init_RSAES(RSA_UNIT*, int, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Encrypt_RSAES(RSA_UNIT*, unsigned char*, int*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Decrypt_RSAES(RSA_UNIT*, unsigned char*, int*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Add_EMSA_PKCS1_v1_5_Encode(unsigned char*, int, const unsigned char*, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Add_RSASSA_PKCS1_PSS_Encode(const RSA_UNIT*, unsigned char*, int, const unsigned char*, int, int,
                                    const DIGEST_UNIT*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

}  // extern "C"

// Block ciphers (placeholder until the cipher layer lands).
#include "internal.h"

extern "C" {

BLOCK_CIPHER_UNIT* VSC_New_BLOCK_CIPHER_Unit(void)
{
    return new (std::nothrow) BLOCK_CIPHER_UNIT{};
}

void VSC_Free_BLOCK_CIPHER_Unit(BLOCK_CIPHER_UNIT* unit)
{
    delete unit;
}

int VSC_Init_BLOCK_CIPHER(BLOCK_CIPHER_UNIT*, int, const unsigned char*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Update_BLOCK_CIPHER(BLOCK_CIPHER_UNIT*, unsigned char*, int*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Final_BLOCK_CIPHER(BLOCK_CIPHER_UNIT*, unsigned char*, int*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_BLOCK_CIPHER(int, int, const unsigned char*, const unsigned char*, const unsigned char*, int, unsigned char*,
                     int*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Get_Key_Length(int)
{
    return -1;
}

int VSC_Get_IV_Length(int)
{
    return -1;
}

int VSC_Get_Block_Length(int)
{
    return -1;
}

int VSC_Init_Advanced_BLOCK_CIPHER(int, BLOCK_CIPHER_UNIT*, const unsigned char*, int, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_DoFinal_Advanced_BLOCK_CIPHER(BLOCK_CIPHER_UNIT*, unsigned char*, int*, const unsigned char*, int, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_CBC_MAC(int, const unsigned char*, const unsigned char*, int, unsigned char*, int*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

}  // extern "C"

// RC4 (placeholder until the cipher layer lands).
#include "internal.h"

extern "C" {

RC4_UNIT* VSC_New_RC4_Unit(void)
{
    return new (std::nothrow) RC4_UNIT{};
}

void VSC_Free_RC4_Unit(RC4_UNIT* unit)
{
    delete unit;
}

int VSC_Init_RC4(RC4_UNIT*, const unsigned char*, int)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

int VSC_Do_RC4(RC4_UNIT*, const unsigned char*, int, unsigned char*)
{
    return VSC_ERR_NOT_IMPLEMENTED;
}

}  // extern "C"

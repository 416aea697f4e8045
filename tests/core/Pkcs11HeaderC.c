/* The token header compiles as C, and its records keep their sizes. */
#include <zunCore/pkcs11.h>

_Static_assert(sizeof(VCL_PK11_DRIVER_INFO) == 6 * VCL_PK11_FIELD_SIZE + sizeof(int), "driver record");
_Static_assert(sizeof(VCL_PK11_DRIVER_SIGNATURE_INFO) == 772, "driver-signature record");
_Static_assert(sizeof(CK_SESSION_HANDLE) == sizeof(unsigned long), "handles are CK_ULONG");

int pkcs11HeaderInC(void);
int pkcs11HeaderInC(void) { return VCL_PK11_MAX_ID_LEN; }

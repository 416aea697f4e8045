/* The certificate headers compile as C (their layout checks included). */
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>

size_t x509InfoSizeInC(void);
size_t x509InfoSizeInC(void) { return sizeof(X509_Info); }

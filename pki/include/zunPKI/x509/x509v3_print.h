/* A readable dump of a certificate's extensions, for diagnostics. */
#ifndef ZUNPKI_X509V3_PRINT_H
#define ZUNPKI_X509V3_PRINT_H

#include <zunPKI/asn1/pki_export.h>
#include <zunPKI/x509/x509_cert.h>

ZUNPKI_BEGIN_DECLS

/* Prints every extension of cert to standard output: its index, dotted OID
 * and long name, then what the bodies of the known kinds hold (a body that
 * does not decode prints nothing more). The number of extensions; 0 when
 * cert, its body or its extension list is missing. */
ZUNPKI_API int print_X509_Extension(const X509_CERT* cert);

ZUNPKI_END_DECLS

#endif

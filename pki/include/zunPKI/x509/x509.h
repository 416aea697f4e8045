/* X.509 records of libzunPKI, one header a line. */
#ifndef ZUNPKI_X509_H
#define ZUNPKI_X509_H

#include <zunPKI/x509/x509_name.h>
#include <zunPKI/x509/x509v3.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_sig.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/ctl.h>
#include <zunPKI/x509/x509v3_gn.h>
#include <zunPKI/x509/x509v3_constraints.h>
#include <zunPKI/x509/x509v3_policy.h>
#include <zunPKI/x509/x509v3_crldp.h>
#include <zunPKI/x509/vid.h>
#include <zunPKI/x509/x509v3_print.h>
#include <zunPKI/x509/x509_certs.h>
#include <zunPKI/x509/issuer_and_serial_number.h>
#include <zunPKI/x509/trust_anchor.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/pkcs10.h>

#endif

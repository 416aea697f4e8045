/* X.509 records of libzunPKI, one header a line. */
#ifndef ZUNPKI_X509_H
#define ZUNPKI_X509_H

#include "x509/x509_name.h"
#include "x509/x509v3.h"
#include "x509/x509_attr.h"
#include "x509/x509_key.h"
#include "x509/x509_sig.h"
#include "x509/x509_cert.h"
#include "x509/x509_crl.h"
#include "x509/ctl.h"
#include "x509/x509v3_gn.h"
#include "x509/x509v3_constraints.h"
#include "x509/x509v3_policy.h"
#include "x509/x509v3_crldp.h"
#include "x509/vid.h"
#include "x509/x509v3_print.h"
#include "x509/x509_certs.h"
#include "x509/issuer_and_serial_number.h"

#endif

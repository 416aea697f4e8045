// The steps of signed trust-list intake, for the tests.
#pragma once

#include <zunPKI/pkcs/ctl_signed.h>

namespace zpki::ctl {

// Every SignerInfo of a signedData carrying a trust list verifies, through
// signed attributes, over the list (0 or a code of ctl_signed.h).
PKI_ERROR verifySignerInfos(const P7_CONTENT_INFO* p7);
// Version 1, at (null: now) within thisUpdate..nextUpdate, subject usage
// row 838.
PKI_ERROR verifyValidityPeriod(const CERT_TRUST_LIST* ctl, const X509_TIME* at);

}  // namespace zpki::ctl

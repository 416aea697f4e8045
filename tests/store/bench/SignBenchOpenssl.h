// OpenSSL's half of the store's signing benchmark.
#pragma once

#include <string>

struct OpensslSigner {
    std::string keyFile;  // encrypted PKCS#8 DER: PBES2, AES-256-CBC, hmacWithSHA256, 2048 iterations
    std::string certDer;  // a yessign user's certificate over the key (self-signed)
};

// A new RSA-2048 key and its certificate.
OpensslSigner opensslSigner(const char* password);
// Opens the key file (d2i_PKCS8PrivateKey_bio) and makes a DER signedData
// of data with CMS_sign (SHA-256, the certificate, the content, signed
// attributes) and i2d; its length, or 0 on failure.
long opensslCmsSign(const OpensslSigner& signer, const char* password, const std::string& data);

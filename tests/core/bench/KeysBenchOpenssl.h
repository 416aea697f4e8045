// OpenSSL's half of the key benchmark.
#pragma once

#include <string>

// A new RSA-2048 key as an encrypted PKCS#8 DER file under password.
std::string opensslKeyFile(const char* password);
// Opens the file with OpenSSL and signs data with SHA-256 (PKCS#1 v1.5).
bool opensslSign(const std::string& file, const char* password, const std::string& data);

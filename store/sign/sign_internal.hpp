// What the signing, identification and PKCS#12 modules share: argument
// checks, reading a stored pair, a key opened once per call, outputs by
// encoding flag and the signing time.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>

#include "base/store_internal.hpp"

namespace zstore {

// Bytes that held a key, a password or a random: zeroed when they go.
class SecretBytes {
public:
    SecretBytes() = default;
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes() { wipe(m_bytes); }
    std::string& str() { return m_bytes; }
    const std::string& str() const { return m_bytes; }
    std::string_view view() const { return m_bytes; }
    const unsigned char* data() const { return reinterpret_cast<const unsigned char*>(m_bytes.data()); }
    int size() const { return static_cast<int>(m_bytes.size()); }
    bool empty() const { return m_bytes.empty(); }
    void assign(std::string_view bytes) {
        wipe(m_bytes);
        m_bytes.assign(bytes);
    }

private:
    std::string m_bytes;
};

// ---- Arguments ---------------------------------------------------------------

// A text given with its string length (no zero byte inside the length).
bool givenWithLength(const char* text, int len);
// A password given with its string length and within the credential's
// field: 0, or VPL_ERR_PASSWORD_PARAM.
int passwordArg(const char* password, int len);
// The path an encoded path names: 0; VPL_ERR_PATH when it is not given with
// its length (len < 0: its string length) or holds a zero byte; the
// decoder's code.
int decodePath(const char* encoded, int len, std::string& path);

// ---- Files and credentials ---------------------------------------------------

// A whole file through the core: false when it does not read. The core's
// buffer is zeroed as it goes.
bool readFile(const std::string& path, std::string& bytes);
bool readFile(const std::string& path, SecretBytes& bytes);

// A certificate file of the store with its class and its key file.
struct StoredPair {
    std::string certPath;
    std::string cert;
    int cls = -1;
    std::string keyPath;
    SecretBytes key;
};
// Reads the certificate (VPL_ERR_READ_FILE), classifies it (-1 for a class
// the store does not sign with: CA certificates and unclassified ones),
// finds the key file (VPL_CertPathConvKeyPath's code) and reads it
// (VPL_ERR_READ_FILE).
int readStoredPair(const std::string& certPath, StoredPair& pair);

// The encryption certificate beside a signing certificate of a class (see
// <zephaltpavix/sign.h>): 0 with its path, or empty when there is none; -1
// for class 10 or a folder that does not open.
int findEncryptCert(int certClass, const std::string& signPath, std::string& found);

// A private key opened once with its password: the signing calls get the
// plain PKCS#1 key of an RSA key (so they do not run the password-based
// decryption again), else the stored key with the password.
class OpenedKey {
public:
    // 0, or VPL_ERR_PASSWORD when the key does not open.
    int open(std::string_view key, std::string_view password);
    const void* key() const { return m_plain.empty() ? m_key.data() : m_plain.data(); }
    int keyLen() const { return m_plain.empty() ? m_key.size() : m_plain.size(); }
    const char* password() const { return m_plain.empty() ? m_password.str().c_str() : nullptr; }
    int passwordLen() const { return m_plain.empty() ? m_password.size() : 0; }

private:
    SecretBytes m_key;
    SecretBytes m_password;
    SecretBytes m_plain;
};

// The VID random of a key under its password: 0 with the bytes, or with
// none when the key holds no random; the core's code otherwise.
int keyRandom(std::string_view key, std::string_view password, SecretBytes& random);

// Credentials for the core's PKCS#7 makers over bytes the caller keeps;
// the password field is zeroed when it goes.
struct SignerRecord {
    PKISTRINFO info{};
    SignerRecord(std::string_view cert, const void* key, int keyLen, const char* password, int passwordLen);
    SignerRecord(const SignerRecord&) = delete;
    SignerRecord& operator=(const SignerRecord&) = delete;
    ~SignerRecord() { explicit_bzero(info.password, sizeof info.password); }
};

// The password check of a decoded path for a storage type: the key file
// beside the certificate for media 0 and 1; for the others the key a domain
// caches for a pseudo path (-1 when there is none: nothing else can be
// checked here). With subjectDN given, the certificate's subject DN is
// handed out. 0, VPL_ERR_PASSWORD, or VPL_PassWord_Check's codes.
int checkKeyPassword(const char* fn, int storageType, const std::string& path, const char* password, int passwordLen,
                     char** subjectDN, int* subjectDNLen);

// ---- Outputs -----------------------------------------------------------------

// Hands out bytes raw (flag 0) or as Base64 text: 0 or VPL_ERR_MALLOC.
int emit(std::string_view bytes, int encodingFlag, char** out, int* outLen);
int emit(std::string_view bytes, int encodingFlag, void** out, int* outLen);

// The certificate as PEM text through the core: 0 or the core's code.
int pemOf(std::string_view cert, std::string& pem);

// ---- Time --------------------------------------------------------------------

// The core's calendar record of a local time as localtime_r gives it: the
// instant mktime makes of a copy, broken down again (so fields out of their
// ranges add up, and the zone's offset and daylight flag are the ones of
// that instant). False when mktime cannot place it.
bool calendarTime(const struct tm& local, ASN1_TIME& out);

// ---- The PKCS#12 credentials --------------------------------------------------

// The first entry VPL_Get_PFXBuffer loaded, or null.
const PKISTRINFO* firstLoadedKey();
// Zeroes and releases what VPL_Get_PFXBuffer loaded (VPL_Cleanup).
void releaseLoadedKeys();

}  // namespace zstore

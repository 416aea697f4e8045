// The signed values a log-in or sign result carries, made by the store's
// per-domain submit functions: a PKCS#1 signature over the relay's nonce and
// a PKCS#7 signed-data message of the job's data at the server's time, each
// from a stored certificate (by path) or from the PKCS#12 file loaded into
// the store's memory (Get_PFXFile_ToBuffer). 0 on success, a negative job
// code otherwise; every failure leaves the result empty.
#pragma once

#include <ctime>
#include <string>

// Job codes of the submissions.
namespace SubmitCode {
inline constexpr int kFailed = -1;               // path not encoded or the PKCS#1 store call failed
inline constexpr int kRandomLength = -100;       // PKCS#7: a key random neither 0 nor 20 bytes
inline constexpr int kWrongPassword = -100001;   // the store's 1051027
inline constexpr int kP1RandomLength = -100210;  // PKCS#1: a key random neither 0 nor 20 bytes
inline constexpr int kP7Encoding = -100211;      // the output did not encode
inline constexpr int kP7Alloc = -100212;
inline constexpr int kP1Encoding = -100213;  // the signature did not encode (the job is not ended here)
inline constexpr int kP7Path = -100214;
inline constexpr int kP7Sign = -100215;      // the signing step failed or the multi-sign data is malformed
inline constexpr int kServerTime = -100216;  // no usable server time: nothing is signed
}  // namespace SubmitCode

// What one submission hands back; the random is wiped when it goes.
struct SubmitResult {
    std::string signature;    // PKCS#1: Base64, URL-encoded; PKCS#7: as the chosen encoding gives it
    std::string certificate;  // the signer's PEM: URL-encoded in the PKCS#1 forms, as is in the PKCS#7 forms
    std::string random;       // the key's VID random: empty, or 20 bytes
    SubmitResult() = default;
    SubmitResult(const SubmitResult&) = delete;
    SubmitResult& operator=(const SubmitResult&) = delete;
    ~SubmitResult();
    void clear();
};

inline constexpr size_t kNonceLength = 32;
inline constexpr size_t kKeyRandomLength = 20;

// PKCS#1 v1.5 with SHA-1 over the 32 nonce bytes, no domain (a KCDSA
// certificate signs with its own algorithm).
int PKCS1_Cert_Submit(int storeType, const char* certPath, const char* password, const unsigned char* nonce,
                      SubmitResult& out);
int PKCS1_Cert_Submit_Buffer(const char* password, const unsigned char* nonce, SubmitResult& out);

// The relay's ServerTime text (decimal seconds since 1970) as an instant the
// signing time can hold (before 2050): false for anything else.
bool ParseServerTime(const char* text, time_t& out);

// PKCS#7 signed data with the domain's hash and serverTime as signingTime.
// multiSign 0 signs data as content (output Base64, URL-encoded); otherwise
// data is "md=<digest>" (signed without content, output as before) or the
// PDF multi-sign text "HD=..." (output "HD=<b64>|name=<b64>|...",
// URL-encoded once). data is taken with its length: the bytes are signed as
// they are.
int PKCS7_Cert_Submit(int storeType, const char* certPath, const char* password, const std::string& data,
                      const char* serverTime, SubmitResult& out, int multiSign);
// With the loaded PKCS#12 key (SHA-1), data as content.
int PKCS7_Cert_Submit_Buffer(const char* password, const std::string& data, const char* serverTime, SubmitResult& out);

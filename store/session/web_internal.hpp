// The field makers and the builder the data-string modules share: every
// value is made whole in a std::string (no fixed buffers), secrets live in
// SecretBytes and are zeroed when they go.
#pragma once

#include <string>
#include <string_view>

#include <zephaltpavix/context.h>

#include "sign/sign_internal.hpp"

namespace zstore::web {

inline constexpr int kRandomLen = 16;     // R, in front of the extended versions' data
inline constexpr int kHandshakeLen = 32;  // R1 of version 21
inline constexpr int kPremasterLen = 64;
inline constexpr int kSkidLen = 20;

inline bool extended(int vf) { return vf == 10 || vf == 11 || vf == 21; }
inline bool signedVersion(int vf) { return vf == 1 || vf == 11 || vf == 21; }

inline std::string_view bytes(const void* p, int n) {
    return p && n > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string_view();
}

// A context member as bytes (empty when unset).
template <typename T>
std::string_view member(const T* p, int n) {
    return bytes(p, n);
}
inline std::string name(const char* text) { return text ? text : ""; }

struct Names {
    std::string sym, kx, kxh, sg, sgh;
};

// ---- Encodings ------------------------------------------------------------------

// Base64 with a line feed after every 64 characters and at the end.
int linedBase64(std::string_view bytes, std::string& out);
// VPL_DataEncode type 1; an empty text stays empty.
int urlForm(std::string_view text, std::string& out);

// ---- Ciphers ----------------------------------------------------------------------

// The key is exactly the cipher's key length and the IV at least one
// block: the core reads that many bytes of each.
bool cipherFits(const char* cipherName, size_t keyLen, size_t ivLen);

// ---- Field values ------------------------------------------------------------------
// Each gives 0 and the value, or the code of the field maker.

int makeSk(std::string_view cert, int padCode, const char* hash, std::string_view plain, std::string& out);
int makeCc(std::string_view cert, std::string& out);
int makeDt(std::string_view key, std::string_view iv, const char* cipher, std::string_view data, std::string& out);
int makeEr(std::string_view privateKey, std::string_view password, std::string_view key, std::string_view iv,
           const char* cipher, std::string& out);
// RSA key: the private-key operation on the decoded text with rsaPad and
// rsaHash; another kind: a signature over the text with signPad and
// signHash (lined Base64, no URL form).
int makeVd(std::string_view vdText, std::string_view privateKey, std::string_view password, int rsaPad,
           const char* rsaHash, int signPad, const char* signHash, std::string& out);
int makeSg(std::string_view privateKey, std::string_view password, int padCode, const char* hash, std::string_view data,
           std::string& out);
int makeAlg(int encodingType, const Names& names, std::string& out);

struct Fields {
    std::string vd, sk, cc, sg, alg, dt, er, ts, kecc, iver;
    ~Fields();
};
std::string format(int vf, const Fields& f);

// ---- The builder ------------------------------------------------------------------

// What one data string is made of; views of the caller's material.
struct Material {
    int vf = 0;
    std::string_view serverCert;
    std::string_view userCert;  // versions 1, 11, 21
    std::string_view key;       // its private key and password
    std::string_view password;
    std::string_view vdOrTs;
    std::string_view premaster;
    std::string_view cipherKey, cipherIv;
    Names names;                 // sym is the cipher of dt, er and ts
    std::string_view data;       // D
    std::string_view handshake;  // H (21)
    std::string_view kecc;       // the KM certificate's field (21)
    // er: the key's own VID random (keyRandom), or the bytes given.
    bool erFromKey = false;
    std::string_view erRandom;
};

// The string of m: 0, or the first failing field's code.
int build(const Material& m, std::string& out);

// 16 or 32 random bytes: 0 or VPL_ERR_RANDOM_GEN.
int randomBytes(int n, SecretBytes& out);

// ---- Names and replies -------------------------------------------------------------

// The algorithm names of a version (sym, kx, kxh, sg, sgh) from the
// context and, for versions 1, 11 and 21, the user's certificate: 0, or
// VPL_Get_Cert_AlgorithmAndHash's code.
int chooseNames(int vf, const CTX& ctx, std::string_view userCert, Names& names);

// Deciphers in with key and IV of the cipher's lengths: 0, or failureCode.
// encoding is the core's (VCL_ENCODING_BASE64 or VCL_ENCODING_RAW).
int decipher(std::string_view key, std::string_view iv, const char* cipher, int pad, std::string_view in, int encoding,
             int failureCode, SecretBytes& out);
// A reply of the context: extendedMode 1 deciphers with the server key and
// IV and the context's cipher (no padding under kx "KCDSA"), else with the
// session key and IV and cipherName.
int decryptReply(const CTX& ctx, const char* cipherName, std::string_view in, int encoding, int failureCode,
                 SecretBytes& out);

}  // namespace zstore::web

// The issuance modules' shared parts: one CMP client session, its outputs,
// and the private store's writer.
#pragma once

#include <string>
#include <string_view>

namespace zstore {

// The CMP client loaded for one operation: dlopen, the 15 entry points,
// ZUNCMP_Init and ZUNCMP_SetUseHSM(0, 0, 0); ZUNCMP_Final, the pointers
// cleared and dlclose when it goes.
class CmpSession {
public:
    CmpSession() = default;
    CmpSession(const CmpSession&) = delete;
    CmpSession& operator=(const CmpSession&) = delete;
    ~CmpSession();
    // 0, or -1 when the library cannot be loaded, bound or started.
    int open(std::string_view hash, std::string_view keyBits);
    // The client's text for its code (logged only).
    const char* errorText(int code) const;

private:
    void* m_handle = nullptr;
    bool m_started = false;
};

// What an issue, reissue or renewal brought; the keys are zeroed when it
// goes.
struct CmpOutputs {
    std::string ca, signCert, signKey, kmCert, kmKey;
    ~CmpOutputs();
    // Reads the five outputs of the session's last success: false when one
    // does not fit the client's output room.
    bool fetch();
};

// Stores a private-PKI certificate (DER) and its key as stored under
// {base}/PPKI/Veridan/VERIDAN CA/USER/{subject DN}; base is the home
// (flag 0) or drive. The store's codes.
int storePrivatePair(int flag, const char* drive, std::string_view certDer, std::string_view key);

// The SHA-1 of an RSA modulus (leading zero octets dropped) in 40
// upper-case hex digits; empty when the digest fails.
std::string modulusName(const unsigned char* modulus, int len);

}  // namespace zstore

// Helpers shared by the PKCS#11 sources of libzunCore (token operations,
// the signer store and the driver lists), and the steps the tests and the
// fuzz target reach one by one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/pkcs11.h>
#include <zunPKI/pkcs/kisa.h>

#include "crypto/keys_internal.hpp"

namespace zcore::p11 {

constexpr int code(int category, int reason) { return VCL_CORE_CODE(category, reason); }

// Reasons of the token functions (their texts are in the message table).
inline constexpr int kReasonRoom = VCL_R_INVALID_LENGTH;  // output longer than the caller's room
inline constexpr int kReasonDecode = 0x59;                // the list does not decode
inline constexpr int kReasonWrongKind = 0x78;             // a list of the other kind
inline constexpr int kReasonInitialize = 0x7c;
inline constexpr int kReasonFinalize = 0x7d;
inline constexpr int kReasonSlots = 0x7e;
inline constexpr int kReasonOpen = 0x7f;
inline constexpr int kReasonLogin = 0x80;
inline constexpr int kReasonClose = 0x81;
inline constexpr int kReasonFind = 0x82;
inline constexpr int kReasonEncryptInit = 0x83;
inline constexpr int kReasonEncrypt = 0x84;
inline constexpr int kReasonDecryptInit = 0x85;
inline constexpr int kReasonDecrypt = 0x86;
inline constexpr int kReasonLoad = 0x87;
inline constexpr int kReasonAttribute = 0x88;
inline constexpr int kReasonDestroy = 0x89;
inline constexpr int kReasonCreate = 0x8a;
inline constexpr int kReasonTokenInfo = 0x8f;
inline constexpr int kReasonSign = 0x52;
inline constexpr int kReasonVerify = 0x53;
inline constexpr int kReasonGenerate = 0x6f;
inline constexpr int kReasonNotTheKey = 0x2f;  // "Private-key not match"

// What every search gives: 0xb40d0082 for none and for a failed search.
inline constexpr int kFindFailed = VCL_CORE_CODE(VCL_CAT_PKCS11_FIND_OBJECT, kReasonFind);

// A search's outcome: callers that pass over a missing object must still
// stop on a search that failed.
enum class Found { yes, none, error };

// The first object the template matches. The search is always finalised
// once started, found or not: a search left open makes the session refuse
// the next one.
Found findFirst(CK_SESSION_HANDLE session, CK_ATTRIBUTE* tmpl, CK_ULONG n, CK_OBJECT_HANDLE& handle);
// By CKA_CLASS, CKA_KEY_TYPE (when not 0) and CKA_LABEL; by CKA_CLASS and CKA_ID.
Found findByLabel(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, CK_KEY_TYPE keyType, std::string_view label,
                  CK_OBJECT_HANDLE& handle);
Found findById(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, std::string_view id, CK_OBJECT_HANDLE& handle);
// By a caller's reference: CKA_ID for VCL_PK11_REF_ID, else CKA_LABEL.
Found findByRef(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, CK_KEY_TYPE keyType, std::string_view ref, char kind,
                CK_OBJECT_HANDLE& handle);

// One attribute's value of at most maxLen bytes: false for a failed read, a
// value the module does not give (CK_UNAVAILABLE_INFORMATION: sensitive,
// absent) or a longer one.
bool readAttribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, CK_ULONG maxLen,
                   Secret& out);

// An identifier's bytes, when it names one of at most VCL_PK11_MAX_ID_LEN.
inline bool validId(const void* id, int len) { return id && len > 0 && len <= VCL_PK11_MAX_ID_LEN; }
inline std::string_view bytesOf(const void* p, int len) {
    return p && len > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(len)) : std::string_view();
}
// A label: the prefix and the identifier's bytes (never through a format:
// identifiers are counted bytes).
inline std::string label(std::string_view prefix, std::string_view id) {
    std::string out(prefix);
    out.append(id);
    return out;
}

inline constexpr std::string_view kSignPrefix = "SIGN_";
inline constexpr std::string_view kKmPrefix = "KM_";
inline constexpr std::string_view kVidPrefix = "R4VID=";

// ---- Driver lists --------------------------------------------------------

using List = Owned<KISA_HSM_SIGNATURE_VALUE, free_KISA_HSM_SIGNATURE_VALUE>;

// The list of len DER bytes: 0 or the decoder's code.
int decodeList(const unsigned char* der, int len, List& out);
// Every driver of a distribution list, entry by entry, as records (none on
// failure): 0, or 0xb4030059 for a general name without a text of at most
// 255 bytes. Another kind of list gives none.
int driverRecords(const KISA_HSM_SIGNATURE_VALUE& list, std::vector<VCL_PK11_DRIVER_INFO>& out);
// Every token of a signature list as records (another kind gives none, and
// so does a failure): 0, or 0xb4050059 for an algorithm name above 255 bytes.
int signatureRecords(const KISA_HSM_SIGNATURE_VALUE& list, std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO>& out);

}  // namespace zcore::p11

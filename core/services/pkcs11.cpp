// PKCS#11 tokens through libzunPKI's loader: the module, slots, sessions,
// object searches, names of mechanisms, and the RSA, symmetric and digest
// operations on the token.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/pkcs1.h>
#include <zunCore/pkcs11.h>

#include "services/pkcs11_internal.hpp"
#include "util/core_internal.hpp"

namespace zcore::p11 {

namespace {

// Whether this library initialised the loaded module: a module someone else
// initialised is not finalised behind their back.
bool g_initialised = false;

}  // namespace

Found findFirst(CK_SESSION_HANDLE session, CK_ATTRIBUTE* tmpl, CK_ULONG n, CK_OBJECT_HANDLE& handle) {
    if (p11_C_FindObjectsInit(session, tmpl, n) != CKR_OK) return Found::error;
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    CK_ULONG count = 0;
    const CK_RV rv = p11_C_FindObjects(session, &h, 1, &count);
    p11_C_FindObjectsFinal(session);
    if (rv != CKR_OK) return Found::error;
    if (count == 0) return Found::none;
    handle = h;
    return Found::yes;
}

Found findByLabel(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, CK_KEY_TYPE keyType, std::string_view label,
                  CK_OBJECT_HANDLE& handle) {
    CK_ATTRIBUTE tmpl[3];
    CK_ULONG n = 0;
    tmpl[n++] = {CKA_CLASS, &cls, sizeof cls};
    if (keyType != 0) tmpl[n++] = {CKA_KEY_TYPE, &keyType, sizeof keyType};
    tmpl[n++] = {CKA_LABEL, const_cast<char*>(label.data()), label.size()};
    return findFirst(session, tmpl, n, handle);
}

Found findById(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, std::string_view id, CK_OBJECT_HANDLE& handle) {
    CK_ATTRIBUTE tmpl[] = {{CKA_CLASS, &cls, sizeof cls}, {CKA_ID, const_cast<char*>(id.data()), id.size()}};
    return findFirst(session, tmpl, 2, handle);
}

Found findByRef(CK_SESSION_HANDLE session, CK_OBJECT_CLASS cls, CK_KEY_TYPE keyType, std::string_view ref, char kind,
                CK_OBJECT_HANDLE& handle) {
    return kind == VCL_PK11_REF_ID ? findById(session, cls, ref, handle)
                                   : findByLabel(session, cls, keyType, ref, handle);
}

bool readAttribute(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, CK_ULONG maxLen,
                   Secret& out) {
    CK_ATTRIBUTE a{type, nullptr, 0};
    // The standard's "no value" is all ones: its + 1 would wrap to 0.
    if (p11_C_GetAttributeValue(session, object, &a, 1) != CKR_OK || a.ulValueLen == CK_UNAVAILABLE_INFORMATION ||
        a.ulValueLen > maxLen)
        return false;
    const CK_ULONG room = a.ulValueLen;
    out.resize(room);
    a.pValue = out.data();
    if (p11_C_GetAttributeValue(session, object, &a, 1) != CKR_OK || a.ulValueLen > room) {
        out.resize(0);
        return false;
    }
    if (a.ulValueLen < room) {
        Secret shorter;
        shorter.assign(out.data(), a.ulValueLen);
        out = std::move(shorter);
    }
    return true;
}

}  // namespace zcore::p11

namespace {

using namespace zcore::p11;
using zcore::Secret;

// ---- Names ------------------------------------------------------------------

struct Cipher {
    const char* name;
    CK_KEY_TYPE keyType;
    CK_MECHANISM_TYPE mechanism;
    CK_ULONG ivLen;  // 0: an ECB mechanism, which takes no parameter
};

// The vendor-defined SEED numbers of Korean tokens.
constexpr CK_ULONG kSeedKey = 0xde4369a5;
constexpr CK_ULONG kSeedEcb = 0xde436985;
constexpr CK_ULONG kSeedCbcPad = 0xde436987;

// RC5's mechanisms take CK_RC5_PARAMS (rounds, word size), which callers
// cannot give: its names are not listed. "-CBC" is the padded CBC mechanism,
// except Blowfish's.
constexpr Cipher kCiphers[] = {
    {"BF-CBC", CKK_BLOWFISH, CKM_BLOWFISH_CBC, 8},   {"DES-ECB", CKK_DES, CKM_DES_ECB, 0},
    {"DES-CBC", CKK_DES, CKM_DES_CBC_PAD, 8},        {"AES-ECB", CKK_AES, CKM_AES_ECB, 0},
    {"AES-CBC", CKK_AES, CKM_AES_CBC_PAD, 16},       {"ARIA-ECB", CKK_ARIA, CKM_ARIA_ECB, 0},
    {"ARIA-CBC", CKK_ARIA, CKM_ARIA_CBC_PAD, 16},    {"SEED-ECB", kSeedKey, kSeedEcb, 0},
    {"SEED-CBC", kSeedKey, kSeedCbcPad, 16},         {"DES_2EDE-ECB", CKK_DES2, CKM_DES3_ECB, 0},
    {"DES_2EDE-CBC", CKK_DES2, CKM_DES3_CBC_PAD, 8}, {"DES_3EDE-ECB", CKK_DES3, CKM_DES3_ECB, 0},
    {"DES_3EDE-CBC", CKK_DES3, CKM_DES3_CBC_PAD, 8},
};

// Names are compared without regard to case, and only names shorter than
// 128 characters are looked at.
constexpr size_t kMaxName = 128;

bool sameName(const char* given, const char* listed) {
    return ::strnlen(given, kMaxName) < kMaxName && ::strcasecmp(given, listed) == 0;
}

const Cipher* cipherOf(const char* name) {
    for (const Cipher& c : kCiphers)
        if (sameName(name, c.name)) return &c;
    return nullptr;
}

struct Digest {
    const char* name;
    CK_MECHANISM_TYPE digest;
    CK_RSA_PKCS_MGF_TYPE mgf;
    CK_ULONG length;
    CK_MECHANISM_TYPE v15;
    CK_MECHANISM_TYPE pss;  // 0: none
};

constexpr Digest kDigests[] = {
    {"MD5", CKM_MD5, 0, 16, CKM_MD5_RSA_PKCS, 0},
    {"SHA1", CKM_SHA_1, CKG_MGF1_SHA1, 20, CKM_SHA1_RSA_PKCS, CKM_SHA1_RSA_PKCS_PSS},
    {"SHA224", CKM_SHA224, CKG_MGF1_SHA224, 28, CKM_SHA224_RSA_PKCS, CKM_SHA224_RSA_PKCS_PSS},
    {"SHA256", CKM_SHA256, CKG_MGF1_SHA256, 32, CKM_SHA256_RSA_PKCS, CKM_SHA256_RSA_PKCS_PSS},
    {"SHA384", CKM_SHA384, CKG_MGF1_SHA384, 48, CKM_SHA384_RSA_PKCS, CKM_SHA384_RSA_PKCS_PSS},
    {"SHA512", CKM_SHA512, CKG_MGF1_SHA512, 64, CKM_SHA512_RSA_PKCS, CKM_SHA512_RSA_PKCS_PSS},
};

const Digest* digestOf(const char* name) {
    for (const Digest& d : kDigests)
        if (sameName(name, d.name)) return &d;
    return nullptr;
}

// The digest PSS works with: the named one, or for a digest signed as
// given the one of its length (MD5 never: PSS is not defined over it).
const Digest* pssDigest(const char* name, CK_ULONG dataLen) {
    if (name && *name) {
        const Digest* d = digestOf(name);
        return d && d->pss ? d : nullptr;
    }
    for (const Digest& d : kDigests)
        if (d.pss && d.length == dataLen) return &d;
    return nullptr;
}

// ---- Operations with output ---------------------------------------------------

// A one-part operation that writes output: the module is asked for the
// length first, then given a buffer of exactly that room, so the operation
// always ends (a buffer too small would leave it active on the session).
template <typename Call>
CK_RV runWithOutput(Call call, Secret& out) {
    CK_ULONG n = 0;
    CK_RV rv = call(nullptr, &n);
    if (rv != CKR_OK) return rv;
    out.resize(n);
    CK_ULONG got = n;
    rv = call(out.u(), &got);
    if (rv != CKR_OK) return rv;
    if (got > n) return P11_BAD_ANSWER;
    if (got < n) {
        Secret shorter;
        shorter.assign(out.data(), got);
        out = std::move(shorter);
    }
    return CKR_OK;
}

bool clearOut(unsigned char** out, int* outLen) {
    if (!out || !outLen) return false;
    *out = nullptr;
    *outLen = 0;
    return true;
}

// Hands the result out; false when memory is short.
bool handOut(const Secret& result, unsigned char** out, int* outLen) {
    return zcore::handOut(result.view(), out, outLen);
}

// A caller's input: a pointer with a length of 0 or more (NULL only when 0).
bool validInput(const void* p, int len) { return len >= 0 && (p || len == 0); }

CK_BYTE_PTR bytes(const void* p) { return static_cast<CK_BYTE_PTR>(const_cast<void*>(p)); }

// The symmetric operations share everything but their codes and calls.
struct SymCodes {
    int category;
    int init;
    int op;
};

int symmetric(bool encrypt, CK_SESSION_HANDLE session, const void* ref, int refLen, char refKind, const char* algorithm,
              const unsigned char* iv, int ivLen, const unsigned char* in, int inLen, unsigned char** out,
              int* outLen) {
    const SymCodes c = encrypt ? SymCodes{VCL_CAT_PKCS11_SYM_ENCRYPT, kReasonEncryptInit, kReasonEncrypt}
                               : SymCodes{VCL_CAT_PKCS11_SYM_DECRYPT, kReasonDecryptInit, kReasonDecrypt};
    const bool outOk = clearOut(out, outLen);
    if (!algorithm) return code(c.category, VCL_R_NULL_PARAM);
    if (!outOk || !ref || refLen <= 0 || !validInput(in, inLen) || !validInput(iv, ivLen))
        return code(c.category, VCL_R_INVALID_PARAM);
    CK_KEY_TYPE keyType = 0;
    CK_MECHANISM_TYPE mech = 0;
    if (int rc = VCL_PK11_convert_algorithm(algorithm, &keyType, &mech); rc != 0) return rc;
    const Cipher* cipher = cipherOf(algorithm);

    // CBC takes one block of IV (zeros when none is given); ECB none.
    unsigned char zeros[16] = {};
    CK_MECHANISM mechanism{mech, nullptr, 0};
    if (cipher->ivLen > 0) {
        if (ivLen > 0 && static_cast<CK_ULONG>(ivLen) != cipher->ivLen) return code(c.category, kReasonRoom);
        mechanism.pParameter = ivLen > 0 ? bytes(iv) : zeros;
        mechanism.ulParameterLen = cipher->ivLen;
    } else if (ivLen > 0) {
        ZCORE_LOG(VCL_LOG_WARN, "pkcs11: %s takes no IV; the IV given is not used", cipher->name);
    }

    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    if (findByRef(session, CKO_SECRET_KEY, keyType, bytesOf(ref, refLen), refKind, key) != Found::yes)
        return code(c.category, c.init);
    const CK_RV init =
        encrypt ? p11_C_EncryptInit(session, &mechanism, key) : p11_C_DecryptInit(session, &mechanism, key);
    if (init != CKR_OK) return code(c.category, c.init);
    Secret result;
    const auto call = [&](CK_BYTE_PTR o, CK_ULONG_PTR n) {
        return encrypt ? p11_C_Encrypt(session, bytes(in), static_cast<CK_ULONG>(inLen), o, n)
                       : p11_C_Decrypt(session, bytes(in), static_cast<CK_ULONG>(inLen), o, n);
    };
    if (runWithOutput(call, result) != CKR_OK) return code(c.category, c.op);
    return handOut(result, out, outLen) ? 0 : code(c.category, VCL_R_MALLOC);
}

// OAEP as the crypto layer and OpenSSL do it by default.
CK_RSA_PKCS_OAEP_PARAMS g_oaep{CKM_SHA_1, CKG_MGF1_SHA1, CKZ_DATA_SPECIFIED, nullptr, 0};

int rsaCipher(bool encrypt, CK_SESSION_HANDLE session, const void* ref, int refLen, char refKind, char keyClass,
              int padding, const unsigned char* in, int inLen, unsigned char** out, int* outLen) {
    const SymCodes c = encrypt ? SymCodes{VCL_CAT_PKCS11_RSA_ENCRYPT, kReasonEncryptInit, kReasonEncrypt}
                               : SymCodes{VCL_CAT_PKCS11_RSA_DECRYPT, kReasonDecryptInit, kReasonDecrypt};
    const bool outOk = clearOut(out, outLen);
    if (!outOk || !ref || refLen <= 0 || !in || inLen <= 0) return code(c.category, VCL_R_INVALID_PARAM);
    CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
    if (padding == VCL_RSA_OAEP || padding == VCL_RSA_OAEP_V21) {
        CK_RSA_PKCS_OAEP_PARAMS* params = &g_oaep;
        mechanism = {CKM_RSA_PKCS_OAEP, params, sizeof *params};
    } else if (padding != VCL_RSA_PKCS1_V15) {
        return code(c.category, VCL_R_UNSUPPORTED_MODE);
    }
    const CK_OBJECT_CLASS cls = keyClass == '3' ? CKO_PRIVATE_KEY : CKO_PUBLIC_KEY;
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    if (findByRef(session, cls, 0, bytesOf(ref, refLen), refKind, key) != Found::yes) return code(c.category, c.init);
    const CK_RV init =
        encrypt ? p11_C_EncryptInit(session, &mechanism, key) : p11_C_DecryptInit(session, &mechanism, key);
    if (init != CKR_OK) return code(c.category, c.init);
    Secret result;
    const auto call = [&](CK_BYTE_PTR o, CK_ULONG_PTR n) {
        return encrypt ? p11_C_Encrypt(session, bytes(in), static_cast<CK_ULONG>(inLen), o, n)
                       : p11_C_Decrypt(session, bytes(in), static_cast<CK_ULONG>(inLen), o, n);
    };
    if (runWithOutput(call, result) != CKR_OK) return code(c.category, c.op);
    return handOut(result, out, outLen) ? 0 : code(c.category, VCL_R_MALLOC);
}

// The mechanism of a signature, with the PSS parameters it needs.
int signatureMechanism(const char* hashName, int kind, CK_ULONG dataLen, CK_MECHANISM& mechanism,
                       CK_RSA_PKCS_PSS_PARAMS& pss) {
    CK_MECHANISM_TYPE type = 0;
    if (int rc = VCL_PK11_convert_hashname(hashName, kind, &type); rc != 0) return rc;
    mechanism = {type, nullptr, 0};
    if (kind == VCL_PK11_PSS) {
        const Digest* d = pssDigest(hashName, dataLen);
        if (!d) return code(VCL_CAT_PKCS11_CONVERT_HASH_TYPE, VCL_R_UNSUPPORTED_NAME);
        pss = {d->digest, d->mgf, d->length};
        mechanism.pParameter = &pss;
        mechanism.ulParameterLen = sizeof pss;
    }
    return 0;
}

int tokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO& info) { return p11_C_GetTokenInfo(slot, &info) == CKR_OK ? 0 : 1; }

}  // namespace

extern "C" {

// ---- Module, slots and sessions ----------------------------------------------

VCL_API int VCL_PK11_Load_Library(const char* path) {
    if (g_initialised) p11_C_Finalize(nullptr);
    g_initialised = false;
    if (!path || _load_pkcs11_module(path) != 0) {
        ZCORE_LOG(VCL_LOG_ERROR, "pkcs11: cannot load the module %s", path ? path : "(null)");
        return code(VCL_CAT_PKCS11_LOAD_LIB, kReasonLoad);
    }
    return 0;
}

VCL_API int VCL_PK11_Unload_Library(void) {
    // The module's code goes with it: it must not keep running state.
    if (g_initialised) p11_C_Finalize(nullptr);
    g_initialised = false;
    _unload_pkcs11_module();
    return 0;
}

VCL_API int VCL_PK11_Initialize(void) {
    const CK_RV rv = p11_C_Initialize(nullptr);
    if (rv == CKR_OK) g_initialised = true;
    if (rv == CKR_OK || rv == CKR_CRYPTOKI_ALREADY_INITIALIZED) return 0;
    ZCORE_LOG(VCL_LOG_ERROR, "pkcs11: C_Initialize gave 0x%lx", rv);
    return code(VCL_CAT_PKCS11_INITIALIZE, kReasonInitialize);
}

VCL_API int VCL_PK11_Finalize(void) {
    const CK_RV rv = p11_C_Finalize(nullptr);
    if (rv != CKR_OK) return code(VCL_CAT_PKCS11_FINALIZE, kReasonFinalize);
    g_initialised = false;
    return 0;
}

VCL_API int VCL_PK11_Get_Slot_Count(CK_ULONG* count) {
    if (!count) return code(VCL_CAT_PKCS11_GET_SLOT_COUNT, VCL_R_NULL_PARAM);
    CK_ULONG n = 0;
    if (p11_C_GetSlotList(CK_TRUE, nullptr, &n) != CKR_OK) return code(VCL_CAT_PKCS11_GET_SLOT_COUNT, kReasonSlots);
    *count = n;
    return 0;
}

VCL_API int VCL_PK11_Get_Slot_List(CK_SLOT_ID* slots, CK_ULONG* count) {
    if (!slots || !count) return code(VCL_CAT_PKCS11_GET_SLOT_COUNT, VCL_R_NULL_PARAM);
    CK_ULONG n = *count;
    const CK_RV rv = p11_C_GetSlotList(CK_TRUE, slots, &n);
    if (rv == CKR_BUFFER_TOO_SMALL) return code(VCL_CAT_PKCS11_GET_SLOT_COUNT, kReasonRoom);
    if (rv != CKR_OK) return code(VCL_CAT_PKCS11_GET_SLOT_COUNT, kReasonSlots);
    *count = n;
    return 0;
}

VCL_API int VCL_PK11_Open_Session(CK_SLOT_ID slot, const char* pin, int pin_len, CK_SESSION_HANDLE* session) {
    if (!session) return code(VCL_CAT_PKCS11_OPEN_SESSION, VCL_R_NULL_PARAM);
    if (pin && pin_len < 0) return code(VCL_CAT_PKCS11_OPEN_SESSION, VCL_R_INVALID_PARAM);
    CK_SESSION_HANDLE h = CK_INVALID_HANDLE;
    if (p11_C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &h) != CKR_OK)
        return code(VCL_CAT_PKCS11_OPEN_SESSION, kReasonOpen);
    *session = h;
    if (!pin) return 0;
    // The module gets a copy of ours, wiped after the call.
    Secret copy(std::string_view(pin, static_cast<size_t>(pin_len)));
    const CK_RV rv = p11_C_Login(h, CKU_USER, copy.u(), static_cast<CK_ULONG>(pin_len));
    // Logging in is per application: a second session finds it done.
    if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return 0;
    ZCORE_LOG(VCL_LOG_ERROR, "pkcs11: C_Login gave 0x%lx", rv);
    return code(VCL_CAT_PKCS11_OPEN_SESSION, kReasonLogin);
}

VCL_API int VCL_PK11_Logout(CK_SESSION_HANDLE session) { return static_cast<int>(p11_C_Logout(session)); }

VCL_API int VCL_PK11_Close_Session(CK_SESSION_HANDLE* session) {
    if (!session) return code(VCL_CAT_PKCS11_CLOSE_SESSION, VCL_R_NULL_PARAM);
    if (p11_C_CloseSession(*session) != CKR_OK) return code(VCL_CAT_PKCS11_CLOSE_SESSION, kReasonClose);
    *session = CK_INVALID_HANDLE;
    return 0;
}

// ---- Token information ------------------------------------------------------------

VCL_API int VCL_PK11_Get_Token_Serial(CK_SLOT_ID slot, unsigned char* buffer, int* len) {
    if (!buffer || !len) return code(VCL_CAT_PKCS11_GET_TOKEN_SERIAL, VCL_R_NULL_PARAM);
    CK_TOKEN_INFO info;
    constexpr int n = sizeof info.serialNumber;
    if (*len < n) return code(VCL_CAT_PKCS11_GET_TOKEN_SERIAL, kReasonRoom);
    if (tokenInfo(slot, info) != 0) return code(VCL_CAT_PKCS11_GET_TOKEN_SERIAL, kReasonTokenInfo);
    std::memcpy(buffer, info.serialNumber, n);
    *len = n;
    return 0;
}

VCL_API int VCL_PK11_Get_Token_FreeMemory(CK_SLOT_ID slot, CK_ULONG* free_public, CK_ULONG* free_private) {
    if (!free_public || !free_private) return code(VCL_CAT_PKCS11_GET_TOKEN_FREE_MEMORY, VCL_R_NULL_PARAM);
    CK_TOKEN_INFO info;
    if (tokenInfo(slot, info) != 0) return code(VCL_CAT_PKCS11_GET_TOKEN_FREE_MEMORY, kReasonTokenInfo);
    *free_public = info.ulFreePublicMemory;
    *free_private = info.ulFreePrivateMemory;
    return 0;
}

// ---- Objects ----------------------------------------------------------------------

VCL_API int VCL_PK11_find_object_by_lable(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, CK_KEY_TYPE key_type,
                                          const void* label, int label_len, CK_OBJECT_HANDLE* handle) {
    if (!label || !handle) return code(VCL_CAT_PKCS11_FIND_OBJECT, VCL_R_NULL_PARAM);
    if (label_len <= 0) return code(VCL_CAT_PKCS11_FIND_OBJECT, VCL_R_ZERO_LENGTH);
    return findByLabel(session, object_class, key_type, bytesOf(label, label_len), *handle) == Found::yes ? 0
                                                                                                          : kFindFailed;
}

VCL_API int VCL_PK11_find_object_by_id(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, const void* id,
                                       int id_len, CK_OBJECT_HANDLE* handle) {
    if (!id || !handle) return code(VCL_CAT_PKCS11_FIND_OBJECT, VCL_R_NULL_PARAM);
    if (id_len <= 0) return code(VCL_CAT_PKCS11_FIND_OBJECT, VCL_R_ZERO_LENGTH);
    return findById(session, object_class, bytesOf(id, id_len), *handle) == Found::yes ? 0 : kFindFailed;
}

VCL_API int VCL_PK11_delete_object(CK_SESSION_HANDLE session, CK_OBJECT_CLASS object_class, const void* id,
                                   int id_len) {
    if (!id || id_len <= 0) return code(VCL_CAT_PKCS11_DELETE_OBJECT, VCL_R_INVALID_PARAM);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    if (findById(session, object_class, bytesOf(id, id_len), h) != Found::yes) return kFindFailed;
    return p11_C_DestroyObject(session, h) == CKR_OK ? 0 : code(VCL_CAT_PKCS11_DELETE_OBJECT, kReasonDestroy);
}

// ---- Names --------------------------------------------------------------------------

VCL_API int VCL_PK11_convert_algorithm(const char* name, CK_KEY_TYPE* key_type, CK_MECHANISM_TYPE* mechanism) {
    if (!name || !key_type || !mechanism) return code(VCL_CAT_PKCS11_CONV_ALGO_TYPE, VCL_R_NULL_PARAM);
    const Cipher* c = cipherOf(name);
    if (!c) return code(VCL_CAT_PKCS11_CONV_ALGO_TYPE, VCL_R_UNSUPPORTED_NAME);
    *key_type = c->keyType;
    *mechanism = c->mechanism;
    return 0;
}

VCL_API int VCL_PK11_convert_hashname(const char* hash_name, int padding_kind, CK_MECHANISM_TYPE* mechanism) {
    if (!mechanism) return code(VCL_CAT_PKCS11_CONVERT_HASH_TYPE, VCL_R_NULL_PARAM);
    if (padding_kind != VCL_PK11_PKCS1_V15 && padding_kind != VCL_PK11_PSS)
        return code(VCL_CAT_PKCS11_CONVERT_HASH_TYPE, VCL_R_UNSUPPORTED_PADDING);
    if (!hash_name || !*hash_name) {
        *mechanism = padding_kind == VCL_PK11_PSS ? CKM_RSA_PKCS_PSS : CKM_RSA_PKCS;
        return 0;
    }
    const Digest* d = digestOf(hash_name);
    // PSS over MD5 would be a v1.5 signature under a PSS name.
    const CK_MECHANISM_TYPE m = !d ? 0 : padding_kind == VCL_PK11_PSS ? d->pss : d->v15;
    if (m == 0) return code(VCL_CAT_PKCS11_CONVERT_HASH_TYPE, VCL_R_UNSUPPORTED_NAME);
    *mechanism = m;
    return 0;
}

// ---- Operations ----------------------------------------------------------------------

VCL_API int VCL_PK11_Sym_Encrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                 const char* algorithm, const unsigned char* iv, int iv_len, const unsigned char* in,
                                 int in_len, unsigned char** out, int* out_len) {
    return symmetric(true, session, ref, ref_len, ref_kind, algorithm, iv, iv_len, in, in_len, out, out_len);
}

VCL_API int VCL_PK11_Sym_Decrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                 const char* algorithm, const unsigned char* iv, int iv_len, const unsigned char* in,
                                 int in_len, unsigned char** out, int* out_len) {
    return symmetric(false, session, ref, ref_len, ref_kind, algorithm, iv, iv_len, in, in_len, out, out_len);
}

VCL_API int VCL_PK11_RSA_Encrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind, char key_class,
                                 int padding, const unsigned char* in, int in_len, unsigned char** out, int* out_len) {
    return rsaCipher(true, session, ref, ref_len, ref_kind, key_class, padding, in, in_len, out, out_len);
}

VCL_API int VCL_PK11_RSA_Decrypt(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind, char key_class,
                                 int padding, const unsigned char* in, int in_len, unsigned char** out, int* out_len) {
    return rsaCipher(false, session, ref, ref_len, ref_kind, key_class, padding, in, in_len, out, out_len);
}

VCL_API int VCL_PK11_RSA_Sign(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                              const char* hash_name, int padding_kind, const unsigned char* data, int data_len,
                              unsigned char** sig, int* sig_len) {
    const bool outOk = clearOut(sig, sig_len);
    if (!outOk || !ref || ref_len <= 0 || !validInput(data, data_len))
        return code(VCL_CAT_PKCS11_VSC_RSA_SIGN, VCL_R_INVALID_PARAM);
    CK_MECHANISM mechanism;
    CK_RSA_PKCS_PSS_PARAMS pss;
    if (int rc = signatureMechanism(hash_name, padding_kind, static_cast<CK_ULONG>(data_len), mechanism, pss); rc != 0)
        return rc;
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    if (findByRef(session, CKO_PRIVATE_KEY, 0, bytesOf(ref, ref_len), ref_kind, key) != Found::yes ||
        p11_C_SignInit(session, &mechanism, key) != CKR_OK)
        return code(VCL_CAT_PKCS11_VSC_RSA_SIGN, kReasonSign);
    Secret result;
    const auto call = [&](CK_BYTE_PTR o, CK_ULONG_PTR n) {
        return p11_C_Sign(session, bytes(data), static_cast<CK_ULONG>(data_len), o, n);
    };
    if (runWithOutput(call, result) != CKR_OK || result.empty()) return code(VCL_CAT_PKCS11_VSC_RSA_SIGN, kReasonSign);
    return handOut(result, sig, sig_len) ? 0 : code(VCL_CAT_PKCS11_VSC_RSA_SIGN, VCL_R_MALLOC);
}

VCL_API int VCL_PK11_RSA_Verify(CK_SESSION_HANDLE session, const void* ref, int ref_len, char ref_kind,
                                const char* hash_name, int padding_kind, const unsigned char* data, int data_len,
                                const unsigned char* sig, int sig_len) {
    if (!ref || ref_len <= 0 || !validInput(data, data_len) || !sig || sig_len <= 0)
        return code(VCL_CAT_PKCS11_VSC_RSA_VERIFY, VCL_R_INVALID_PARAM);
    CK_MECHANISM mechanism;
    CK_RSA_PKCS_PSS_PARAMS pss;
    if (int rc = signatureMechanism(hash_name, padding_kind, static_cast<CK_ULONG>(data_len), mechanism, pss); rc != 0)
        return rc;
    CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
    if (findByRef(session, CKO_PUBLIC_KEY, 0, bytesOf(ref, ref_len), ref_kind, key) != Found::yes ||
        p11_C_VerifyInit(session, &mechanism, key) != CKR_OK ||
        p11_C_Verify(session, bytes(data), static_cast<CK_ULONG>(data_len), bytes(sig),
                     static_cast<CK_ULONG>(sig_len)) != CKR_OK)
        return code(VCL_CAT_PKCS11_VSC_RSA_VERIFY, kReasonVerify);
    return 0;
}

VCL_API int VCL_PK11_RSA_Key_Generate(CK_SESSION_HANDLE session, const void* pub_id, int pub_id_len,
                                      const void* priv_id, int priv_id_len, CK_ULONG modulus_bits,
                                      unsigned char* modulus, int* modulus_len) {
    constexpr int cat = VCL_CAT_PKCS11_KEY_GENERATE;
    // Sizes above 16384 bits are no RSA key a token makes; the room is
    // checked before anything is generated.
    if (!validId(pub_id, pub_id_len) || !validId(priv_id, priv_id_len) || !modulus || !modulus_len ||
        modulus_bits == 0 || modulus_bits > 16384 || *modulus_len < 0 ||
        static_cast<CK_ULONG>(*modulus_len) < (modulus_bits + 7) / 8)
        return code(cat, VCL_R_INVALID_PARAM);
    const std::string pubLabel = label("PUBK_", bytesOf(pub_id, pub_id_len));
    const std::string privLabel = label("PRIV_", bytesOf(priv_id, priv_id_len));
    CK_OBJECT_CLASS pubClass = CKO_PUBLIC_KEY, privClass = CKO_PRIVATE_KEY;
    CK_KEY_TYPE rsa = CKK_RSA;
    CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
    CK_ULONG bits = modulus_bits;
    CK_BYTE exponent[] = {0x01, 0x00, 0x01};
    CK_ATTRIBUTE pub[] = {
        {CKA_CLASS, &pubClass, sizeof pubClass},
        {CKA_KEY_TYPE, &rsa, sizeof rsa},
        {CKA_TOKEN, &yes, 1},
        {CKA_LABEL, const_cast<char*>(pubLabel.data()), pubLabel.size()},
        {CKA_ID, bytes(pub_id), static_cast<CK_ULONG>(pub_id_len)},
        {CKA_WRAP, &no, 1},
        {CKA_ENCRYPT, &yes, 1},
        {CKA_MODULUS_BITS, &bits, sizeof bits},
        {CKA_PRIVATE, &no, 1},
        {CKA_VERIFY, &yes, 1},
        {CKA_PUBLIC_EXPONENT, exponent, sizeof exponent},
    };
    CK_ATTRIBUTE priv[] = {
        {CKA_CLASS, &privClass, sizeof privClass},
        {CKA_KEY_TYPE, &rsa, sizeof rsa},
        {CKA_TOKEN, &yes, 1},
        {CKA_LABEL, const_cast<char*>(privLabel.data()), privLabel.size()},
        {CKA_ID, bytes(priv_id), static_cast<CK_ULONG>(priv_id_len)},
        {CKA_SENSITIVE, &yes, 1},
        {CKA_DECRYPT, &yes, 1},
        {CKA_SIGN, &yes, 1},
        {CKA_UNWRAP, &no, 1},
        {CKA_PRIVATE, &yes, 1},
        {CKA_EXTRACTABLE, &no, 1},
    };
    CK_MECHANISM mechanism{CKM_RSA_PKCS_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE hPub = CK_INVALID_HANDLE, hPriv = CK_INVALID_HANDLE;
    if (p11_C_GenerateKeyPair(session, &mechanism, pub, std::size(pub), priv, std::size(priv), &hPub, &hPriv) != CKR_OK)
        return code(cat, kReasonGenerate);
    Secret n;
    if (!readAttribute(session, hPub, CKA_MODULUS, static_cast<CK_ULONG>(*modulus_len), n) || n.empty()) {
        p11_C_DestroyObject(session, hPriv);
        p11_C_DestroyObject(session, hPub);
        return code(cat, kReasonAttribute);
    }
    std::memcpy(modulus, n.data(), static_cast<size_t>(n.size()));
    *modulus_len = n.size();
    return 0;
}

VCL_API int VCL_PK11_Hash(CK_SESSION_HANDLE session, const char* name, const unsigned char* data, int data_len,
                          unsigned char* digest, int* digest_len) {
    constexpr int cat = VCL_CAT_PKCS11_P11_HASH;
    if (!name || !digest || !digest_len || !validInput(data, data_len)) return code(cat, VCL_R_NULL_PARAM);
    const Digest* d = digestOf(name);
    if (!d) return code(cat, VCL_R_INVALID_HASH_ID);
    CK_MECHANISM mechanism{d->digest, nullptr, 0};
    if (p11_C_DigestInit(session, &mechanism) != CKR_OK) return code(cat, VCL_R_HASH_FAIL);
    // Our own buffer of the longest digest: the operation ends whatever
    // room the caller gave.
    unsigned char value[VCL_PK11_MAX_DIGEST];
    CK_ULONG n = sizeof value;
    if (p11_C_Digest(session, bytes(data), static_cast<CK_ULONG>(data_len), value, &n) != CKR_OK || n == 0)
        return code(cat, VCL_R_HASH_FAIL);
    if (n > static_cast<CK_ULONG>(*digest_len)) return code(cat, kReasonRoom);
    std::memcpy(digest, value, n);
    *digest_len = static_cast<int>(n);
    return 0;
}

// ---- Secret keys ------------------------------------------------------------------------

VCL_API int VCL_PK11_Set_Sym_Key(CK_SESSION_HANDLE session, const void* id, int id_len, const char* algorithm,
                                 const unsigned char* key, int key_len) {
    constexpr int cat = VCL_CAT_PKCS11_SET_SYMMETRIC_KEY;
    if (!id || !algorithm || !key) return code(cat, VCL_R_NULL_PARAM);
    if (!validId(id, id_len) || key_len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    CK_KEY_TYPE keyType = 0;
    CK_MECHANISM_TYPE mech = 0;
    if (int rc = VCL_PK11_convert_algorithm(algorithm, &keyType, &mech); rc != 0) return rc;
    CK_OBJECT_CLASS cls = CKO_SECRET_KEY;
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE tmpl[] = {
        {CKA_CLASS, &cls, sizeof cls},
        {CKA_TOKEN, &yes, 1},
        {CKA_KEY_TYPE, &keyType, sizeof keyType},
        {CKA_SENSITIVE, &yes, 1},
        {CKA_ENCRYPT, &yes, 1},
        {CKA_DECRYPT, &yes, 1},
        {CKA_LABEL, bytes(id), static_cast<CK_ULONG>(id_len)},
        {CKA_ID, bytes(id), static_cast<CK_ULONG>(id_len)},
        {CKA_VALUE, bytes(key), static_cast<CK_ULONG>(key_len)},
    };
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    return p11_C_CreateObject(session, tmpl, std::size(tmpl), &h) == CKR_OK ? 0 : code(cat, kReasonCreate);
}

VCL_API int VCL_PK11_Delete_Sym_Key(CK_SESSION_HANDLE session, const void* id, int id_len) {
    constexpr int cat = VCL_CAT_PKCS11_DELETE_SYMMETRIC_KEY;
    if (!id || id_len <= 0) return code(cat, VCL_R_INVALID_PARAM);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    switch (findById(session, CKO_SECRET_KEY, bytesOf(id, id_len), h)) {
        case Found::none:
            return 0;
        case Found::error:
            return kFindFailed;
        case Found::yes:
            break;
    }
    return p11_C_DestroyObject(session, h) == CKR_OK ? 0 : code(cat, kReasonDestroy);
}

}  // extern "C"

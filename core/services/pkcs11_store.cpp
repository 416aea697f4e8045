// A signer on a PKCS#11 token: its certificate, RSA key pair and VID random
// stored under fixed labels, read back, listed and deleted.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/pkcs11.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>
#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>

#include "services/pkcs11_internal.hpp"
#include "util/core_internal.hpp"

namespace {

using namespace zcore::p11;
using zcore::Secret;

// The largest numbers the templates take: a 4096-bit modulus, and the
// public exponent's field of the tokens this was written for.
constexpr int kMaxNumber = 512;
constexpr int kMaxExponent = 127;

constexpr char kApplication[] = "Veridan PKI Application";

// A number as unsigned big-endian bytes (wiped when released); false when
// it is absent, zero or longer than room.
bool numberBytes(const BIGINT* value, int room, Secret& out) {
    const int bits = VSC_Get_BIGINT_Bits_Length(value);
    if (bits <= 0 || (bits + 7) / 8 > room) return false;
    out.resize(static_cast<size_t>((bits + 7) / 8));
    return VSC_BIGINT_To_Binary_Unsigned(value, out.u()) == out.size();
}

// The labels and usage flags of a kind: key management, or signing (also
// without a certificate).
std::string_view prefixOf(int kind) { return kind == VCL_PK11_KIND_KM ? kKmPrefix : kSignPrefix; }

// An RSA private key's numbers, wiped when released.
struct PrivateNumbers {
    Secret n, e, d, p, q, dP, dQ, qInv;
};

// The numbers of an opened RSA private key: 0, or the reason (0x40 not an
// RSA private key, 0x0a a number too long).
int privateNumbers(const ASYMMETRIC_KEY* key, PrivateNumbers& out) {
    const RSA_UNIT* rsa = zcore::rsaOf(key);
    if (!rsa || !rsa->d) return zcore::kReasonKeyKind;
    if (!numberBytes(rsa->n, kMaxNumber, out.n) || !numberBytes(rsa->e, kMaxExponent, out.e) ||
        !numberBytes(rsa->d, kMaxNumber, out.d))
        return VCL_R_INVALID_LENGTH;
    // The CRT numbers are passed when the key has them.
    const std::pair<const BIGINT*, Secret*> crt[] = {
        {rsa->p, &out.p}, {rsa->q, &out.q}, {rsa->dP, &out.dP}, {rsa->dQ, &out.dQ}, {rsa->qInv, &out.qInv}};
    for (const auto& [value, field] : crt)
        if (value && VSC_Get_BIGINT_Bits_Length(value) > 0 && !numberBytes(value, kMaxNumber, *field))
            return VCL_R_INVALID_LENGTH;
    return 0;
}

CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, const void* value, size_t len) {
    return {type, const_cast<void*>(value), static_cast<CK_ULONG>(len)};
}
CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, std::string_view value) { return attr(type, value.data(), value.size()); }
CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, const Secret& value) { return attr(type, value.data(), value.size()); }

CK_BBOOL kTrue = CK_TRUE;
CK_BBOOL kFalse = CK_FALSE;
CK_BBOOL* flag(bool on) { return on ? &kTrue : &kFalse; }

CK_RV create(CK_SESSION_HANDLE session, std::vector<CK_ATTRIBUTE>& tmpl, CK_OBJECT_HANDLE& handle) {
    return p11_C_CreateObject(session, tmpl.data(), tmpl.size(), &handle);
}

int createCertificate(CK_SESSION_HANDLE session, int kind, std::string_view vid, std::string_view subject,
                      std::string_view der, CK_OBJECT_HANDLE& handle) {
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    const std::string lbl = label(prefixOf(kind), vid);
    std::vector<CK_ATTRIBUTE> tmpl = {
        attr(CKA_CLASS, &cls, sizeof cls), attr(CKA_CERTIFICATE_TYPE, &type, sizeof type),
        attr(CKA_TOKEN, &kTrue, 1),        attr(CKA_LABEL, lbl),
        attr(CKA_SUBJECT, subject),        attr(CKA_ID, vid),
        attr(CKA_PRIVATE, &kFalse, 1),     attr(CKA_VALUE, der),
    };
    return create(session, tmpl, handle) == CKR_OK ? 0 : code(VCL_CAT_PKCS11_SET_RSAKEY, kReasonCreate);
}

int createPublicKey(CK_SESSION_HANDLE session, int kind, std::string_view vid, std::string_view subject,
                    std::string_view modulus, std::string_view exponent, CK_OBJECT_HANDLE& handle) {
    CK_OBJECT_CLASS cls = CKO_PUBLIC_KEY;
    CK_KEY_TYPE type = CKK_RSA;
    const bool km = kind == VCL_PK11_KIND_KM;
    const std::string lbl = label(prefixOf(kind), vid);
    std::vector<CK_ATTRIBUTE> tmpl = {attr(CKA_CLASS, &cls, sizeof cls), attr(CKA_KEY_TYPE, &type, sizeof type),
                                      attr(CKA_TOKEN, &kTrue, 1), attr(CKA_LABEL, lbl)};
    if (!subject.empty()) tmpl.push_back(attr(CKA_SUBJECT, subject));
    tmpl.insert(tmpl.end(), {attr(CKA_ID, vid), attr(CKA_WRAP, &kTrue, 1), attr(CKA_MODULUS, modulus),
                             attr(CKA_ENCRYPT, flag(km), 1), attr(CKA_PRIVATE, &kFalse, 1),
                             attr(CKA_VERIFY, flag(!km), 1), attr(CKA_PUBLIC_EXPONENT, exponent)});
    return create(session, tmpl, handle) == CKR_OK ? 0 : code(VCL_CAT_PKCS11_SET_PUBLIC_KEY, kReasonCreate);
}

int createPrivateKey(CK_SESSION_HANDLE session, int kind, std::string_view vid, std::string_view subject,
                     const PrivateNumbers& k, CK_OBJECT_HANDLE& handle) {
    CK_OBJECT_CLASS cls = CKO_PRIVATE_KEY;
    CK_KEY_TYPE type = CKK_RSA;
    const bool km = kind == VCL_PK11_KIND_KM;
    const std::string lbl = label(prefixOf(kind), vid);
    std::vector<CK_ATTRIBUTE> tmpl = {attr(CKA_CLASS, &cls, sizeof cls), attr(CKA_KEY_TYPE, &type, sizeof type),
                                      attr(CKA_TOKEN, &kTrue, 1), attr(CKA_LABEL, lbl)};
    if (!subject.empty()) tmpl.push_back(attr(CKA_SUBJECT, subject));
    // Never to leave the token: sensitive and not extractable.
    tmpl.insert(tmpl.end(), {attr(CKA_ID, vid), attr(CKA_SENSITIVE, &kTrue, 1), attr(CKA_SIGN, flag(!km), 1),
                             attr(CKA_UNWRAP, &kTrue, 1), attr(CKA_DECRYPT, flag(km), 1), attr(CKA_PRIVATE, &kTrue, 1),
                             attr(CKA_EXTRACTABLE, &kFalse, 1), attr(CKA_MODULUS, k.n), attr(CKA_PUBLIC_EXPONENT, k.e),
                             attr(CKA_PRIVATE_EXPONENT, k.d)});
    const std::pair<CK_ATTRIBUTE_TYPE, const Secret*> crt[] = {{CKA_PRIME_1, &k.p},
                                                               {CKA_PRIME_2, &k.q},
                                                               {CKA_EXPONENT_1, &k.dP},
                                                               {CKA_EXPONENT_2, &k.dQ},
                                                               {CKA_COEFFICIENT, &k.qInv}};
    for (const auto& [type, value] : crt)
        if (!value->empty()) tmpl.push_back(attr(type, *value));
    return create(session, tmpl, handle) == CKR_OK ? 0 : code(VCL_CAT_PKCS11_SET_PRIVATE_KEY, kReasonCreate);
}

int createVidRandom(CK_SESSION_HANDLE session, std::string_view vid, std::string_view random,
                    CK_OBJECT_HANDLE& handle) {
    CK_OBJECT_CLASS cls = CKO_DATA;
    const std::string lbl = label(kVidPrefix, vid);
    std::vector<CK_ATTRIBUTE> tmpl = {
        attr(CKA_CLASS, &cls, sizeof cls),
        attr(CKA_TOKEN, &kTrue, 1),
        attr(CKA_PRIVATE, &kTrue, 1),
        attr(CKA_LABEL, lbl),
        attr(CKA_APPLICATION, kApplication, sizeof kApplication - 1),
        attr(CKA_MODIFIABLE, &kFalse, 1),
        attr(CKA_VALUE, random),
    };
    return create(session, tmpl, handle) == CKR_OK ? 0 : code(VCL_CAT_PKCS11_SET_VID_RAND, kReasonCreate);
}

// A private key opened with its password (the opener's code, or 0x40 of
// category for a key that is not RSA) and its numbers.
int openPrivate(const void* key, int keyLen, const char* pw, int pwLen, int category, PrivateNumbers& out) {
    ASYMMETRIC_KEY* raw = nullptr;
    if (int rc = VCL_PK1_priv_convert_keyunit(key, keyLen, pw, pwLen, &raw); rc != 0) return rc;
    const zcore::AsymKey opened(raw);  // its numbers are cleared when freed
    const int reason = privateNumbers(opened.get(), out);
    return reason == 0 ? 0 : code(category, reason);
}

// The VID random of a key (wiped when released): 0 or the lookup's code.
int vidRandom(const void* key, int keyLen, const char* pw, int pwLen, Secret& out) {
    unsigned char* random = nullptr;
    int n = 0;
    if (int rc = VCL_PK8_Get_Random(key, keyLen, pw, pwLen, &random, &n); rc != 0) return rc;
    out.assign(random, static_cast<size_t>(n));
    VCL_Free(random, n);
    return 0;
}

// What a certificate gives a stored signer.
struct CertParts {
    std::string der;
    std::string subject;
    Secret n, e;
    int kind = VCL_PK11_KIND_NONE;
};

int certParts(const void* cert, int certLen, CertParts& out) {
    constexpr int cat = VCL_CAT_PKCS11_SET_RSAKEY;
    X509_CERT* raw = nullptr;
    if (int rc = VCL_X509_conv_cert2x509(cert, certLen, &raw); rc != 0) return rc;
    const zcore::Cert decoded(raw);
    const X509_PUBKEY* spki = decoded->tbs ? decoded->tbs->subjectPublicKeyInfo : nullptr;
    const RSA_UNIT* rsa = spki ? zcore::rsaOf(spki->key) : nullptr;
    if (!rsa) return code(cat, zcore::kReasonKeyKind);
    if (!numberBytes(rsa->n, kMaxNumber, out.n) || !numberBytes(rsa->e, kMaxExponent, out.e))
        return code(cat, VCL_R_INVALID_LENGTH);
    const int use = VCL_X509_is_signcert(decoded.get());
    if (use != VCL_PK11_KIND_SIGN && use != VCL_PK11_KIND_KM) return use;
    out.kind = use;
    unsigned char* subject = nullptr;
    int subjectLen = 0;
    if (int rc = VCL_X509_name_to_binary(decoded->tbs->subject, &subject, &subjectLen); rc != 0) return rc;
    out.subject.assign(reinterpret_cast<char*>(subject), static_cast<size_t>(subjectLen));
    VCL_Free(subject, subjectLen);
    void* der = nullptr;
    int derLen = 0;
    if (int rc = VCL_X509_Conv_Cert2DER(cert, certLen, &der, &derLen); rc != 0) return rc;
    out.der.assign(static_cast<char*>(der), static_cast<size_t>(derLen));
    VCL_Free(der, derLen);
    return 0;
}

// Objects made by one call, destroyed again unless the call succeeds.
class Created {
public:
    explicit Created(CK_SESSION_HANDLE session) : m_session(session) {}
    ~Created() {
        for (auto it = m_handles.rbegin(); it != m_handles.rend(); ++it) p11_C_DestroyObject(m_session, *it);
    }
    Created(const Created&) = delete;
    Created& operator=(const Created&) = delete;
    void add(CK_OBJECT_HANDLE h) { m_handles.push_back(h); }
    void keep() { m_handles.clear(); }

private:
    CK_SESSION_HANDLE m_session;
    std::vector<CK_OBJECT_HANDLE> m_handles;
};

// The certificate objects of the token (X.509, token objects), at most max.
bool certificateHandles(CK_SESSION_HANDLE session, CK_ULONG max, std::vector<CK_OBJECT_HANDLE>& out) {
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &cls, sizeof cls), attr(CKA_CERTIFICATE_TYPE, &type, sizeof type),
                           attr(CKA_TOKEN, &kTrue, 1)};
    out.assign(max, CK_INVALID_HANDLE);
    if (p11_C_FindObjectsInit(session, tmpl, std::size(tmpl)) != CKR_OK) return false;
    CK_ULONG n = 0;
    const CK_RV rv = max == 0 ? CKR_OK : p11_C_FindObjects(session, out.data(), max, &n);
    p11_C_FindObjectsFinal(session);
    if (rv != CKR_OK) return false;
    out.resize(n);
    return true;
}

// A new malloc'd copy with a zero byte after it, as PKISTRINFO owns its
// buffers.
unsigned char* copyOut(const Secret& value) {
    auto* p = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(value.size()) + 1));
    if (!p) return nullptr;
    std::memcpy(p, value.data(), static_cast<size_t>(value.size()));
    p[value.size()] = 0;
    return p;
}

// One listed certificate into a record: 0 or a code.
int fillRecord(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE h, PKISTRINFO& record) {
    constexpr int cat = VCL_CAT_PKCS11_GET_ALL_CERTS;
    Secret value, id;
    if (!readAttribute(session, h, CKA_VALUE, P11_MAX_VALUE_LEN, value) || value.empty() ||
        !readAttribute(session, h, CKA_ID, P11_MAX_VALUE_LEN, id))
        return code(cat, kReasonAttribute);
    X509_CERT* raw = nullptr;
    if (int rc = VCL_X509_conv_cert2x509(value.data(), value.size(), &raw); rc != 0) return rc;
    const zcore::Cert cert(raw);
    const int use = VCL_X509_is_signcert(cert.get());
    if (use != VCL_CERT_USE_SIGN && use != VCL_CERT_USE_OTHER) return use;
    const X509_PUBKEY* spki = cert->tbs ? cert->tbs->subjectPublicKeyInfo : nullptr;
    const bool kcdsa = spki && spki->key && spki->key->kind == ASYMMETRIC_KEY_KCDSA;

    std::memset(&record, 0, sizeof record);
    record.cert = copyOut(value);
    record.key = copyOut(id);
    if (!record.cert || !record.key) {
        std::free(record.cert);
        std::free(record.key);
        std::memset(&record, 0, sizeof record);
        return code(cat, VCL_R_MALLOC);
    }
    record.cert_len = value.size();
    record.key_len = id.size();
    record.cert_use = use;
    record.key_kind = kcdsa ? VCL_KEY_KIND_KCDSA : VCL_KEY_KIND_RSA;
    return 0;
}

}  // namespace

extern "C" {

VCL_API int VCL_PK11_set_public_key(CK_SESSION_HANDLE session, int kind, const char* vid, int vid_len,
                                    const unsigned char* subject, int subject_len, const unsigned char* modulus,
                                    int modulus_len, const unsigned char* exponent, int exponent_len,
                                    CK_OBJECT_HANDLE* handle) {
    constexpr int cat = VCL_CAT_PKCS11_SET_PUBLIC_KEY;
    if (!vid || !modulus || !exponent) return code(cat, VCL_R_NULL_PARAM);
    if (!validId(vid, vid_len) || modulus_len <= 0 || modulus_len > kMaxNumber || exponent_len <= 0 ||
        exponent_len > kMaxExponent || subject_len < 0)
        return code(cat, VCL_R_ZERO_LENGTH);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    if (int rc = createPublicKey(session, kind, bytesOf(vid, vid_len), bytesOf(subject, subject_len),
                                 bytesOf(modulus, modulus_len), bytesOf(exponent, exponent_len), h);
        rc != 0)
        return rc;
    if (handle) *handle = h;
    return 0;
}

VCL_API int VCL_PK11_set_private_key(CK_SESSION_HANDLE session, int kind, const char* vid, int vid_len,
                                     const unsigned char* subject, int subject_len, const void* key, int key_len,
                                     const char* password, int password_len) {
    constexpr int cat = VCL_CAT_PKCS11_SET_PRIVATE_KEY;
    if (!vid || !key) return code(cat, VCL_R_NULL_PARAM);
    if (!validId(vid, vid_len) || key_len <= 0 || subject_len < 0) return code(cat, VCL_R_ZERO_LENGTH);
    PrivateNumbers numbers;
    if (int rc = openPrivate(key, key_len, password, password_len, cat, numbers); rc != 0) return rc;
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    return createPrivateKey(session, kind, bytesOf(vid, vid_len), bytesOf(subject, subject_len), numbers, h);
}

VCL_API int VCL_PK11_set_vid_random(CK_SESSION_HANDLE session, const char* vid, int vid_len, const void* key,
                                    int key_len, const char* password, int password_len) {
    constexpr int cat = VCL_CAT_PKCS11_SET_VID_RAND;
    if (!vid || !key) return code(cat, VCL_R_NULL_PARAM);
    if (!validId(vid, vid_len) || key_len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    Secret random;
    if (int rc = vidRandom(key, key_len, password, password_len, random); rc != 0) return rc;
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    return createVidRandom(session, bytesOf(vid, vid_len), random.view(), h);
}

VCL_API int VCL_PK11_Set_RSAKey(CK_SESSION_HANDLE session, const char* vid, int vid_len, const void* cert, int cert_len,
                                const void* key, int key_len, const char* password, int password_len) {
    constexpr int cat = VCL_CAT_PKCS11_SET_RSAKEY;
    if (!vid) return code(cat, VCL_R_NULL_PARAM);
    if (vid_len <= 0) return code(cat, VCL_R_ZERO_LENGTH);
    const bool withCert = cert && cert_len > 1;
    const bool withKey = key && key_len > 0;
    if (vid_len > VCL_PK11_MAX_ID_LEN || (!withCert && !withKey)) return code(cat, VCL_R_INVALID_PARAM);
    const std::string_view id = bytesOf(vid, vid_len);

    // Everything is read and checked first: a token is written only for a
    // signer that can be stored whole.
    CertParts c;
    if (withCert) {
        if (int rc = certParts(cert, cert_len, c); rc != 0) return rc;
    }
    PrivateNumbers k;
    Secret random;
    if (withKey) {
        if (int rc = openPrivate(key, key_len, password, password_len, cat, k); rc != 0) return rc;
        if (withCert && (k.n.view() != c.n.view() || k.e.view() != c.e.view())) return code(cat, kReasonNotTheKey);
        if (int rc = vidRandom(key, key_len, password, password_len, random); rc != 0) return rc;
    }

    Created made(session);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    if (withCert) {
        if (int rc = createCertificate(session, c.kind, id, c.subject, c.der, h); rc != 0) return rc;
        made.add(h);
    }
    const Secret& n = withCert ? c.n : k.n;
    const Secret& e = withCert ? c.e : k.e;
    if (int rc = createPublicKey(session, c.kind, id, c.subject, n.view(), e.view(), h); rc != 0) return rc;
    made.add(h);
    if (withKey) {
        if (int rc = createPrivateKey(session, c.kind, id, c.subject, k, h); rc != 0) return rc;
        made.add(h);
        if (int rc = createVidRandom(session, id, random.view(), h); rc != 0) return rc;
        made.add(h);
    }
    made.keep();
    return 0;
}

VCL_API int VCL_PK11_Get_Vid_Random(CK_SESSION_HANDLE session, const char* vid, int vid_len, unsigned char* buffer,
                                    int* len) {
    constexpr int cat = VCL_CAT_PKCS11_GET_VID_RAND;
    if (!vid || !buffer || !len) return code(cat, VCL_R_NULL_PARAM);
    if (!validId(vid, vid_len) || *len < 0) return code(cat, VCL_R_ZERO_LENGTH);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    if (findByLabel(session, CKO_DATA, 0, label(kVidPrefix, bytesOf(vid, vid_len)), h) != Found::yes)
        return kFindFailed;
    Secret value;
    if (!readAttribute(session, h, CKA_VALUE, VCL_PK11_MAX_VID_RANDOM, value)) return code(cat, kReasonAttribute);
    if (value.size() > *len) return code(cat, kReasonRoom);
    std::memcpy(buffer, value.data(), static_cast<size_t>(value.size()));
    *len = value.size();
    return 0;
}

VCL_API int VCL_PK11_Get_Cert(CK_SESSION_HANDLE session, const void* id, int id_len, unsigned char** cert,
                              int* cert_len) {
    constexpr int cat = VCL_CAT_PKCS11_GET_CERT;
    if (!cert || !cert_len) return code(cat, VCL_R_INVALID_PARAM);
    *cert = nullptr;
    *cert_len = 0;
    if (!id || id_len <= 0) return code(cat, VCL_R_INVALID_PARAM);
    CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
    if (findById(session, CKO_CERTIFICATE, bytesOf(id, id_len), h) != Found::yes) return kFindFailed;
    Secret value;
    if (!readAttribute(session, h, CKA_VALUE, P11_MAX_VALUE_LEN, value) || value.empty())
        return code(cat, kReasonAttribute);
    return zcore::handOut(value.view(), cert, cert_len) ? 0 : code(cat, VCL_R_MALLOC);
}

VCL_API int VCL_PK11_Delete_RSAKey(CK_SESSION_HANDLE session, const char* vid, int vid_len) {
    constexpr int cat = VCL_CAT_PKCS11_DELETE_RSAKEY;
    if (!validId(vid, vid_len)) return code(cat, VCL_R_INVALID_PARAM);
    const std::string_view id = bytesOf(vid, vid_len);
    // Each class in turn; one that is not there is passed over.
    const std::pair<CK_OBJECT_CLASS, int> steps[] = {
        {CKO_CERTIFICATE, 0x8b}, {CKO_PUBLIC_KEY, 0x8c}, {CKO_PRIVATE_KEY, 0x8d}, {CKO_DATA, 0x8e}};
    for (const auto& [cls, reason] : steps) {
        CK_OBJECT_HANDLE h = CK_INVALID_HANDLE;
        const Found found =
            cls == CKO_DATA ? findByLabel(session, cls, 0, label(kVidPrefix, id), h) : findById(session, cls, id, h);
        if (found == Found::error) return kFindFailed;
        if (found == Found::yes && p11_C_DestroyObject(session, h) != CKR_OK) return code(cat, reason);
    }
    return 0;
}

VCL_API int VCL_PK11_Get_All_Certs_Count(CK_SESSION_HANDLE session, int* count) {
    constexpr int cat = VCL_CAT_PKCS11_GET_ALL_CERTS_COUNT;
    if (!count) return code(cat, VCL_R_NULL_PARAM);
    std::vector<CK_OBJECT_HANDLE> handles;
    if (!certificateHandles(session, VCL_PK11_MAX_CERTS, handles)) return code(cat, kReasonFind);
    *count = static_cast<int>(handles.size());
    return 0;
}

VCL_API int VCL_PK11_Get_All_Certs(CK_SESSION_HANDLE session, PKISTRINFO* certs, int capacity, int* count) {
    constexpr int cat = VCL_CAT_PKCS11_GET_ALL_CERTS;
    if (!count) return code(cat, VCL_R_NULL_PARAM);
    *count = 0;
    if (capacity < 0) return code(cat, VCL_R_INVALID_PARAM);
    if (!certs && capacity > 0) return code(cat, VCL_R_NULL_PARAM);
    // The token may have gained certificates since they were counted: no
    // more than the caller's room is written.
    const CK_ULONG max = static_cast<CK_ULONG>(std::min(capacity, VCL_PK11_MAX_CERTS));
    std::vector<CK_OBJECT_HANDLE> handles;
    if (!certificateHandles(session, max, handles)) return code(cat, kReasonFind);
    for (CK_OBJECT_HANDLE h : handles) {
        if (int rc = fillRecord(session, h, certs[*count]); rc != 0) return rc;
        ++*count;
    }
    return 0;
}

}  // extern "C"

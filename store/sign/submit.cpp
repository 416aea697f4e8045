// The log-in signature (PKCS#1) and document signatures (PKCS#7) from a
// stored certificate, from the credentials of a loaded PKCS#12 file, and
// their building blocks.
#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/context.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/sign.h>
#include <zunCore/pkcs1.h>
#include <zunCore/pkcs7.h>

#include "sign/sign_internal.hpp"

namespace {

using zstore::CoreBuffer;
using zstore::OpenedKey;
using zstore::SecretBytes;

enum class Kind { Pkcs1, Pkcs7, Pkcs7Time, Pkcs7Digest };

struct Outputs {
    char** cert;
    int* certLen;
    void** sig;
    int* sigLen;
    void** random;
    int* randomLen;

    bool valid() const { return cert && certLen && sig && sigLen && random && randomLen; }
    void clear() const {
        *cert = nullptr;
        *sig = *random = nullptr;
        *certLen = *sigLen = *randomLen = 0;
    }
};

std::string_view bytesOf(const void* p, int n) {
    return p && n > 0 ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string_view();
}

// ---- Signatures over an opened or stored key ---------------------------------

int pkcs1Sign(const void* key, int keyLen, const char* pw, int pwLen, int pad, const char* hash, std::string_view data,
              SecretBytes& sig) {
    CoreBuffer out;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_PK1_Private_Sign(key, keyLen, pw, pwLen, static_cast<unsigned char>(pad), hash, data.data(),
                                        static_cast<int>(data.size()), &out.bytes, &out.len, VCL_PK1_RAW);
    if (rc != 0 || out.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK1_Private_Sign Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return VPL_ERR_PKCS1_SIGN;
    }
    sig.assign(out.view());
    return 0;
}

int pkcs7Sign(Kind kind, std::string_view cert, const void* key, int keyLen, const char* pw, int pwLen,
              const char* hash, std::string_view data, const struct tm* signTime, std::string& out) {
    ASN1_TIME when{};
    const ASN1_TIME* at = nullptr;  // now, with the network-time offset
    if (kind != Kind::Pkcs7 && signTime) {
        if (!zstore::calendarTime(*signTime, when)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "Sign Time Fail\n");
            return VPL_ERR_PKCS7_SIGN;
        }
        at = &when;
    }
    zstore::SignerRecord signer(cert, key, keyLen, pw, pwLen);
    CoreBuffer message;
    char** text = reinterpret_cast<char**>(&message.bytes);
    VCL_COM_Change_Non_Proven();
    const int size = static_cast<int>(data.size());
    const int rc =
        kind == Kind::Pkcs7Digest
            ? VCL_PK7_Make_Signed_Data_WithOut_Plain_With_MD(data.data(), size, &signer.info, hash, at, VCL_PK7_DER,
                                                             text, &message.len)
            : VCL_PK7_Make_Signed_Data(data.data(), size, &signer.info, hash, at, 1, VCL_PK7_DER, text, &message.len);
    if (rc != 0 || message.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK7_Make_Signed_Data Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return VPL_ERR_PKCS7_SIGN;
    }
    out.assign(message.view());
    return 0;
}

// ---- Choosing hash and padding -------------------------------------------------

struct Choice {
    std::string certAlg, certHash;  // what the certificate asks for
    std::string hash;               // what signs
    int pad = 1;
    bool kcdsa = false;
};

int choose(const std::string& cert, const char* domain, bool useDomain, Choice& c) {
    char* alg = nullptr;
    char* hash = nullptr;
    const int rc = VPL_Get_Cert_AlgorithmAndHash(1, cert.data(), static_cast<int>(cert.size()), &alg, &hash);
    if (rc == 0) {
        c.certAlg = alg;
        c.certHash = hash;
    }
    std::free(alg);
    std::free(hash);
    if (rc != 0) return -1;
    c.kcdsa = zstore::startsWithNoCase(c.certAlg, "KCDSA");
    if (useDomain && domain) {
        const CTX* ctx = VPL_Find_CTX(g_CTX_Head, domain);
        if (!ctx) return VPL_ERR_DOMAIN;
        if (!c.kcdsa && ctx->sg && *ctx->sg && ctx->sgh && *ctx->sgh) {
            c.pad = VPL_get_pad_mode(ctx->sg, 1);
            c.hash = ctx->sgh;
            return 0;
        }
    } else if (!c.kcdsa) {
        // The log-in signature without a domain: what relays verify.
        c.pad = 1;
        c.hash = "SHA1";
        return 0;
    }
    c.pad = VPL_get_pad_mode(c.certAlg.c_str(), 1);
    c.hash = c.certHash;
    return 0;
}

// ---- The store-based submit -------------------------------------------------

int submit(const char* fn, Kind kind, int storageType, const char* encCertPath, const char* domain, bool useDomain,
           const char* password, int passwordLen, const void* data, int dataLen, const struct tm* signTime,
           int encodingFlag, const Outputs& o, Choice* used = nullptr) {
    if (!o.valid()) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    o.clear();
    if (!encCertPath || !data || dataLen <= 0) return zstore::fail(fn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::decodePath(encCertPath, -1, path); rc != 0) return zstore::fail(fn, rc);

    zstore::StoredPair pair;
    if (!zstore::readFile(path, pair.cert)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Cert Read Fail. path=[%s]\n", fn, path.c_str());
        return zstore::fail(fn, -1);
    }
    Choice choice;
    if (const int rc = choose(pair.cert, domain, useDomain, choice); rc != 0) return zstore::fail(fn, rc);
    if (used) *used = choice;

    std::string pem;
    if (const int rc = zstore::pemOf(pair.cert, pem); rc != 0) return zstore::fail(fn, rc);
    if (!pem.empty() && zstore::emit(pem, encodingFlag, o.cert, o.certLen) != 0)
        return zstore::fail(fn, VPL_ERR_MALLOC);

    if (storageType != VPL_STORAGE_HDD && storageType != VPL_STORAGE_REMOVABLE) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) Not Support\n", fn, storageType);
        return zstore::fail(fn, -1);
    }
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);

    // The key is read and opened once: the password check, the random and
    // the signature all use this opening.
    if (const int rc = zstore::readStoredPair(path, pair); rc != 0) return zstore::fail(fn, rc);
    const std::string_view pw(password, static_cast<size_t>(passwordLen));
    OpenedKey key;
    if (const int rc = key.open(pair.key.view(), pw); rc != 0) return zstore::fail(fn, rc);

    if (pair.cls == VPL_CLASS_PUBLIC_SIGN || pair.cls == VPL_CLASS_PUBLIC_KM) {
        SecretBytes random;
        if (zstore::keyRandom(pair.key.view(), pw, random) != 0) return zstore::fail(fn, VPL_ERR_RANDOM);
        if (!random.empty() && zstore::emit(random.view(), encodingFlag, o.random, o.randomLen) != 0)
            return zstore::fail(fn, VPL_ERR_MALLOC);
    }

    const std::string_view bytes = bytesOf(data, dataLen);
    if (kind == Kind::Pkcs1) {
        SecretBytes sig;
        if (const int rc = pkcs1Sign(key.key(), key.keyLen(), key.password(), key.passwordLen(), choice.pad,
                                     choice.hash.c_str(), bytes, sig);
            rc != 0)
            return zstore::fail(fn, rc);
        if (zstore::emit(sig.view(), encodingFlag, o.sig, o.sigLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    } else {
        std::string message;
        if (const int rc = pkcs7Sign(kind, pair.cert, key.key(), key.keyLen(), key.password(), key.passwordLen(),
                                     choice.hash.c_str(), bytes, signTime, message);
            rc != 0)
            return zstore::fail(fn, rc);
        if (zstore::emit(message, encodingFlag, o.sig, o.sigLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    }
    // Lengths only: the random is the holder's identity secret.
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : OK cert(%d) signature(%d) random(%d) hash(%s)\n", fn, *o.certLen, *o.sigLen,
               *o.randomLen, choice.hash.c_str());
    return 0;
}

// ---- Building blocks ------------------------------------------------------------

// The certificate and key behind a path (a store file or a cached pseudo
// path), the key zeroed when it goes.
struct PathCredentials {
    std::string cert;
    SecretBytes key;
};
int credentialsOf(const char* certPath, PathCredentials& c) {
    void* cert = nullptr;
    void* key = nullptr;
    int certLen = 0, keyLen = 0;
    const int rc = VPL_SaveToken_CopyPath_Check(certPath, &cert, &certLen, &key, &keyLen);
    c.cert.assign(bytesOf(cert, certLen));
    c.key.assign(bytesOf(key, keyLen));
    VPL_Free(cert, certLen);
    VPL_Free(key, keyLen);
    if (rc == 0 && c.key.empty()) return VPL_ERR_READ_FILE;  // a CA certificate has no key
    return rc;
}

int makePkcs7(const char* fn, Kind kind, const char* certPath, int encodingFlag, const char* hashName,
              const char* password, int passwordLen, const void* data, int dataLen, const struct tm* signTime,
              void** out, int* outLen) {
    if (!out || !outLen) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    *outLen = 0;
    if (!certPath) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    PathCredentials c;
    if (const int rc = credentialsOf(certPath, c); rc != 0) return zstore::fail(fn, rc);
    std::string message;
    if (const int rc = pkcs7Sign(kind, c.cert, c.key.data(), c.key.size(), password, passwordLen,
                                 hashName ? hashName : "SHA1", bytesOf(data, dataLen), signTime, message);
        rc != 0)
        return zstore::fail(fn, rc);
    return zstore::emit(message, encodingFlag, out, outLen) == 0 ? 0 : zstore::fail(fn, VPL_ERR_MALLOC);
}

// ---- The credentials of VPL_Get_PFXBuffer -------------------------------------

int bufferSubmit(const char* fn, Kind kind, const void* data, int dataLen, const char* password, int passwordLen,
                 const struct tm* signTime, const Outputs& o) {
    if (!o.valid()) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    o.clear();
    const PKISTRINFO* entry = zstore::firstLoadedKey();
    if (!entry) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : No PKCS#12 credentials loaded\n", fn);
        return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    }
    if (!data || dataLen <= 0) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    const std::string_view cert = bytesOf(entry->cert, entry->cert_len);
    const std::string_view key = bytesOf(entry->key, entry->key_len);

    if (kind == Kind::Pkcs1) {
        SecretBytes sig;
        if (const int rc = pkcs1Sign(key.data(), static_cast<int>(key.size()), password, passwordLen, 1, "SHA1",
                                     bytesOf(data, dataLen), sig);
            rc != 0)
            return zstore::fail(fn, rc);
        if (zstore::emit(sig.view(), 0, o.sig, o.sigLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    } else {
        // The password goes into a record of this call, not into the loaded
        // entry: nothing keeps it after the signature.
        std::string message;
        if (const int rc = pkcs7Sign(kind, cert, key.data(), static_cast<int>(key.size()), password, passwordLen,
                                     "SHA1", bytesOf(data, dataLen), signTime, message);
            rc != 0)
            return zstore::fail(fn, rc);
        if (zstore::emit(message, 0, o.sig, o.sigLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    }
    SecretBytes random;
    if (zstore::keyRandom(key, {password, static_cast<size_t>(passwordLen)}, random) != 0)
        return zstore::fail(fn, VPL_ERR_RANDOM);
    if (!random.empty() && zstore::emit(random.view(), 0, o.random, o.randomLen) != 0)
        return zstore::fail(fn, VPL_ERR_MALLOC);
    std::string pem;
    if (const int rc = zstore::pemOf(cert, pem); rc != 0) return zstore::fail(fn, rc);
    if (!pem.empty() && zstore::emit(pem, 0, o.cert, o.certLen) != 0) return zstore::fail(fn, VPL_ERR_MALLOC);
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_Domain_PKCS1_Cert_Submit(int storageType, const char* /*drive*/, int /*driveLen*/,
                                         const char* encCertPath, const char* domain, const char* password,
                                         int passwordLen, const void* data, int dataLen, int encodingFlag,
                                         char** certPem, int* certPemLen, void** signature, int* signatureLen,
                                         void** random, int* randomLen) {
    return submit("VPL_Domain_PKCS1_Cert_Submit", Kind::Pkcs1, storageType, encCertPath, domain, true, password,
                  passwordLen, data, dataLen, nullptr, encodingFlag,
                  {certPem, certPemLen, signature, signatureLen, random, randomLen});
}

VPL_API int VPL_Domain_PKCS7_Cert_submit(int storageType, const char* /*drive*/, int /*driveLen*/,
                                         const char* encCertPath, const char* domain, const char* password,
                                         int passwordLen, const void* data, int dataLen, int encodingFlag,
                                         char** certPem, int* certPemLen, void** signedData, int* signedDataLen,
                                         void** random, int* randomLen) {
    return submit("VPL_Domain_PKCS7_Cert_submit", Kind::Pkcs7, storageType, encCertPath, domain, true, password,
                  passwordLen, data, dataLen, nullptr, encodingFlag,
                  {certPem, certPemLen, signedData, signedDataLen, random, randomLen});
}

VPL_API int VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute(int storageType, const char* /*drive*/, int /*driveLen*/,
                                                               const char* encCertPath, const char* domain,
                                                               const char* password, int passwordLen, const void* data,
                                                               int dataLen, const struct tm* signTime, int encodingFlag,
                                                               char** certPem, int* certPemLen, void** signedData,
                                                               int* signedDataLen, void** random, int* randomLen) {
    return submit("VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute", Kind::Pkcs7Time, storageType, encCertPath,
                  domain, true, password, passwordLen, data, dataLen, signTime, encodingFlag,
                  {certPem, certPemLen, signedData, signedDataLen, random, randomLen});
}

VPL_API int VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD(int storageType, const char* /*drive*/,
                                                                    int /*driveLen*/, const char* encCertPath,
                                                                    const char* domain, const char* password,
                                                                    int passwordLen, const void* digest, int digestLen,
                                                                    const struct tm* signTime, int encodingFlag,
                                                                    char** certPem, int* certPemLen, void** signedData,
                                                                    int* signedDataLen, void** random, int* randomLen) {
    return submit("VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD", Kind::Pkcs7Digest, storageType,
                  encCertPath, domain, true, password, passwordLen, digest, digestLen, signTime, encodingFlag,
                  {certPem, certPemLen, signedData, signedDataLen, random, randomLen});
}

VPL_API int VPL_PKCS1_Cert_Submit(int storageType, const char* /*drive*/, int /*driveLen*/, const char* encCertPath,
                                  const char* /*unused*/, const char* password, int passwordLen, const void* data,
                                  int dataLen, int encodingFlag, char** certPem, int* certPemLen, void** signature,
                                  int* signatureLen, void** random, int* randomLen, char** algorithm, int* algorithmLen,
                                  char** hash, int* hashLen) {
    static const char* const kFn = "VPL_PKCS1_Cert_Submit";
    if (!algorithm || !algorithmLen || !hash || !hashLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *algorithm = *hash = nullptr;
    *algorithmLen = *hashLen = 0;
    Choice used;
    const int rc =
        submit(kFn, Kind::Pkcs1, storageType, encCertPath, nullptr, false, password, passwordLen, data, dataLen,
               nullptr, encodingFlag, {certPem, certPemLen, signature, signatureLen, random, randomLen}, &used);
    // The names of the signature actually made (once the certificate was
    // read): PKCS#1 v1.5 with SHA-1 for RSA, the certificate's own for KCDSA.
    if (!used.certAlg.empty()) {
        const std::string alg = used.kcdsa ? used.certAlg : "RSASSA_PKCS1_15";
        if (zstore::handOut(alg, algorithm, algorithmLen) != 0 || zstore::handOut(used.hash, hash, hashLen) != 0) {
            VPL_Free(*algorithm, *algorithmLen);
            *algorithm = nullptr;
            *algorithmLen = 0;
            return rc != 0 ? rc : zstore::fail(kFn, VPL_ERR_MALLOC);
        }
    }
    return rc;
}

VPL_API int VPL_PKCS7_Cert_Submit(int storageType, const char* /*drive*/, int /*driveLen*/, const char* encCertPath,
                                  const char* /*unused*/, const char* password, int passwordLen, const void* data,
                                  int dataLen, int encodingFlag, char** certPem, int* certPemLen, void** signedData,
                                  int* signedDataLen, void** random, int* randomLen) {
    return submit("VPL_PKCS7_Cert_Submit", Kind::Pkcs7, storageType, encCertPath, nullptr, false, password, passwordLen,
                  data, dataLen, nullptr, encodingFlag,
                  {certPem, certPemLen, signedData, signedDataLen, random, randomLen});
}

VPL_API int VPL_Domain_PKCS1_Cert_Submit_Buffer(const void* data, int dataLen, const char* password, int passwordLen,
                                                char** certPem, int* certPemLen, void** signature, int* signatureLen,
                                                void** random, int* randomLen) {
    return bufferSubmit("VPL_Domain_PKCS1_Cert_Submit_Buffer", Kind::Pkcs1, data, dataLen, password, passwordLen,
                        nullptr, {certPem, certPemLen, signature, signatureLen, random, randomLen});
}

VPL_API int VPL_Domain_PKCS7_Cert_Submit_Buffer(const void* data, int dataLen, const char* password, int passwordLen,
                                                const struct tm* signTime, char** certPem, int* certPemLen,
                                                void** signedData, int* signedDataLen, void** random, int* randomLen) {
    return bufferSubmit("VPL_Domain_PKCS7_Cert_Submit_Buffer", Kind::Pkcs7Time, data, dataLen, password, passwordLen,
                        signTime, {certPem, certPemLen, signedData, signedDataLen, random, randomLen});
}

VPL_API int VPL_PKCS1_Make_Sign(const char* certPath, int encodingFlag, int padCode, const char* hashName,
                                const char* password, int passwordLen, const void* data, int dataLen, void** signature,
                                int* signatureLen) {
    static const char* const kFn = "VPL_PKCS1_Make_Sign";
    if (!signature || !signatureLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *signature = nullptr;
    *signatureLen = 0;
    if (!certPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    PathCredentials c;
    if (const int rc = credentialsOf(certPath, c); rc != 0) return zstore::fail(kFn, rc);
    SecretBytes sig;
    if (const int rc = pkcs1Sign(c.key.data(), c.key.size(), password, passwordLen, padCode > 2 ? 1 : padCode,
                                 hashName ? hashName : "SHA1", bytesOf(data, dataLen), sig);
        rc != 0)
        return zstore::fail(kFn, rc);
    return zstore::emit(sig.view(), encodingFlag, signature, signatureLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_PKCS7_Make_Sign(const char* certPath, int encodingFlag, const char* hashName, const char* password,
                                int passwordLen, const void* data, int dataLen, void** signedData, int* signedDataLen) {
    return makePkcs7("VPL_PKCS7_Make_Sign", Kind::Pkcs7, certPath, encodingFlag, hashName, password, passwordLen, data,
                     dataLen, nullptr, signedData, signedDataLen);
}

VPL_API int VPL_PKCS7_Make_Sign_WithSignTimeAttribute(const char* certPath, int encodingFlag, const char* hashName,
                                                      const char* password, int passwordLen, const void* data,
                                                      int dataLen, const struct tm* signTime, void** signedData,
                                                      int* signedDataLen) {
    return makePkcs7("VPL_PKCS7_Make_Sign_WithSignTimeAttribute", Kind::Pkcs7Time, certPath, encodingFlag, hashName,
                     password, passwordLen, data, dataLen, signTime, signedData, signedDataLen);
}

VPL_API int VPL_PKCS7_Make_Signed_Data_WithOut_Plain_With_MD(const char* certPath, int encodingFlag,
                                                             const char* hashName, const char* password,
                                                             int passwordLen, const void* digest, int digestLen,
                                                             const struct tm* signTime, void** signedData,
                                                             int* signedDataLen) {
    return makePkcs7("VPL_PKCS7_Make_Signed_Data_WithOut_Plain_With_MD", Kind::Pkcs7Digest, certPath, encodingFlag,
                     hashName, password, passwordLen, digest, digestLen, signTime, signedData, signedDataLen);
}

VPL_API int VPL_Get_Random(const char* certPath, int encodingFlag, const char* password, int passwordLen, void** random,
                           int* randomLen) {
    static const char* const kFn = "VPL_Get_Random";
    if (!random || !randomLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *random = nullptr;
    *randomLen = 0;
    if (!certPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    std::string cert;
    if (!zstore::readFile(certPath, cert)) return zstore::fail(kFn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(cert.data(), static_cast<int>(cert.size()));
    if (cls == -1) return zstore::fail(kFn, -1);
    // Only the public certificates' keys carry the random the relays check.
    if (cls != VPL_CLASS_PUBLIC_SIGN && cls != VPL_CLASS_PUBLIC_KM) return 0;
    zstore::StoredPair pair;
    if (const int rc = zstore::readStoredPair(certPath, pair); rc != 0) return zstore::fail(kFn, rc);
    SecretBytes value;
    if (zstore::keyRandom(pair.key.view(), {password, static_cast<size_t>(passwordLen)}, value) != 0)
        return zstore::fail(kFn, VPL_ERR_RANDOM);
    if (value.empty()) return 0;
    return zstore::emit(value.view(), encodingFlag, random, randomLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_Get_Random_fromBuffer(const char* password, int passwordLen, void** random, int* randomLen) {
    static const char* const kFn = "VPL_Get_Random_fromBuffer";
    if (!random || !randomLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *random = nullptr;
    *randomLen = 0;
    const PKISTRINFO* entry = zstore::firstLoadedKey();
    if (!entry) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(kFn, rc);
    SecretBytes value;
    if (zstore::keyRandom(bytesOf(entry->key, entry->key_len), {password, static_cast<size_t>(passwordLen)}, value) !=
        0)
        return zstore::fail(kFn, VPL_ERR_RANDOM);
    if (value.empty()) return 0;
    return zstore::emit(value.view(), 0, random, randomLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_DERCertToPEMCert(const char* certPath, int encodingFlag, char** pem, int* pemLen) {
    static const char* const kFn = "VPL_DERCertToPEMCert";
    if (!pem || !pemLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *pem = nullptr;
    *pemLen = 0;
    if (!certPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string cert;
    if (VPL_InputPath_Check(certPath) > 0) {
        void* cached = nullptr;
        int cachedLen = 0;
        if (const int rc = VPL_Get_MemoryCert(certPath, &cached, &cachedLen); rc != 0) return rc;
        cert.assign(bytesOf(cached, cachedLen));
        VPL_Free(cached, cachedLen);
    } else if (!zstore::readFile(certPath, cert)) {
        return zstore::fail(kFn, VPL_ERR_READ_FILE);
    }
    std::string text;
    if (const int rc = zstore::pemOf(cert, text); rc != 0) return zstore::fail(kFn, rc);
    if (text.empty()) return 0;
    return zstore::emit(text, encodingFlag, pem, pemLen) == 0 ? 0 : zstore::fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_PKCS7_Make_Sign_With_Random(void) { return -1; }

}  // extern "C"

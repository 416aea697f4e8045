// Copying a certificate with its key (and the encryption pair beside it)
// between the home directory and removable drives.
#include <cstring>
#include <string>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/manage.h>
#include <zephaltpavix/sign.h>

#include "disk/disk_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

bool fileMedium(int type) { return type == VPL_STORAGE_HDD || type == VPL_STORAGE_REMOVABLE; }

// A pair read from the source, as the writer takes it (the bytes stay
// ours; the record only points at them).
struct Pair {
    std::string cert;
    zstore::SecretBytes key;
    int use = VCL_CERT_USE_SIGN;
    PKI_STR_INFO record() {
        PKI_STR_INFO r{};
        r.cert = reinterpret_cast<unsigned char*>(cert.data());
        r.cert_len = static_cast<int>(cert.size());
        r.key = reinterpret_cast<unsigned char*>(key.str().data());
        r.key_len = key.size();
        r.cert_use = use;
        return r;
    }
};

// The end of a certificate's validity as its GMT text, comparable as
// text; empty when the bytes are no certificate.
std::string notAfter(std::string_view bytes) {
    const zstore::InfoPtr info = zstore::readInfo(bytes.data(), static_cast<int>(bytes.size()));
    return info ? std::string(zstore::field(info->validityTo)) : std::string();
}

// A certificate file is replaced only by a certificate valid at least as
// long: an old certificate copied over a renewed one of the same name
// would take the renewed key's place.
bool mayReplace(const std::string& path, std::string_view old, std::string_view replacement, bool& refused) {
    const std::string before = notAfter(old);
    if (before.empty()) return true;  // a key, or no certificate at all
    const std::string after = notAfter(replacement);
    if (after.empty() || after >= before) return true;
    ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Copy () : [%s] is valid until %s, the copy until %s\n", path.c_str(),
               before.c_str(), after.c_str());
    refused = true;
    return false;
}

// The encryption pair's class of lookup beside a signing file of the
// store's own name (signCert.der; the government's ..._sig.cer), or 0.
int encryptLookup(const std::string& path, int cls) {
    const size_t slash = path.rfind('/');
    const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (zstore::equalNoCase(name, "signCert.der")) return VPL_CLASS_PUBLIC_KM;
    if (cls == VPL_CLASS_GPKI_SIGN && name.size() > 8 && zstore::equalNoCase(name.substr(name.size() - 8), "_sig.cer"))
        return VPL_CLASS_GPKI_SIGN;
    return 0;
}

// The pair of certPath and, beside a signing file, the encryption pair,
// written to the home directory (flag 0) or the drive, all or nothing.
int copyPair(const char* fn, const char* certPath, int flag, const char* drive) {
    if (!certPath) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    Pair sign;
    if (!zstore::readFile(certPath, sign.cert)) return zstore::fail(fn, VPL_ERR_READ_FILE);
    const int cls = VPL_Get_CertType(sign.cert.data(), static_cast<int>(sign.cert.size()));
    if (cls < 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : not Support Cert Type. path=[%s]\n", fn, certPath);
        return -1;
    }
    char* keyPath = nullptr;
    if (const int rc = VPL_CertPathConvKeyPath(cls, certPath, &keyPath); rc != 0) return zstore::fail(fn, rc);
    const bool keyRead = zstore::readFile(keyPath, sign.key);
    std::free(keyPath);
    if (!keyRead) return zstore::fail(fn, VPL_ERR_READ_FILE);

    Pair km;
    bool withKm = false;
    std::string kmPath;
    const int lookup = encryptLookup(certPath, cls);
    if (lookup != 0 && zstore::findEncryptCert(lookup, certPath, kmPath) == 0 && !kmPath.empty()) {
        void *cert = nullptr, *key = nullptr;
        int certLen = 0, keyLen = 0;
        const int rc = VPL_Get_EncryptCertPrivateKey(lookup, certPath, &cert, &certLen, &key, &keyLen);
        if (rc != 0) return zstore::fail(fn, rc);
        km.cert.assign(static_cast<const char*>(cert), static_cast<size_t>(certLen));
        km.key.assign({static_cast<const char*>(key), static_cast<size_t>(keyLen)});
        km.use = VCL_CERT_USE_OTHER;
        withKm = true;
        VPL_Free(cert, certLen);
        VPL_Free(key, keyLen);
    }

    zstore::StoreWriter writer;
    bool refused = false;
    writer.setReplaceCheck([&](const std::string& path, std::string_view old, std::string_view replacement) {
        return mayReplace(path, old, replacement, refused);
    });
    for (Pair* p : {&sign, withKm ? &km : nullptr}) {
        if (!p) continue;
        PKI_STR_INFO rec = p->record();
        const int rc = zstore::locationCertCreate(writer, flag, drive, &rec);
        if (rc != 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VPL_Location_CertCreate Fail\n", fn);
            return zstore::fail(fn, refused ? VPL_ERR_COPY : rc);
        }
    }
    writer.commit();
    return 0;
}

// The argument checks of the two copies, then the password check and the
// copy itself.
int copyChecked(const char* fn, int srcType, const char* srcDrive, int srcDriveLen, int dstType, const char* dstDrive,
                int dstDriveLen, const char* encCertPath, int encCertPathLen, const char* password, int passwordLen) {
    std::string path;
    if (!zstore::givenWithLength(encCertPath, encCertPathLen)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : path refused. src type(%d) dst type(%d) dst drive[%s]\n", fn, srcType,
                   dstType, dstDrive ? dstDrive : "");
        return zstore::fail(fn, VPL_ERR_PATH);
    }
    if (const int rc = zstore::decodePath(encCertPath, encCertPathLen, path); rc != 0) {
        if (rc == VPL_ERR_PATH)
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : path refused. src type(%d) dst type(%d) dst drive[%s]\n", fn, srcType,
                       dstType, dstDrive ? dstDrive : "");
        return zstore::fail(fn, rc);
    }
    if (const int rc = zstore::passwordArg(password, passwordLen); rc != 0) return zstore::fail(fn, rc);
    if (!fileMedium(srcType)) {
        if (srcType < 0 || srcType > VPL_STORAGE_HSM)
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Domain_Copy () : Store Type(%d) Error\n", srcType);
        return zstore::fail(fn, -1);
    }
    char* subject = nullptr;
    int subjectLen = 0;
    const int checked = VPL_Cert_Password_Check(srcType, srcDrive, srcDriveLen, encCertPath, encCertPathLen, password,
                                                passwordLen, &subject, &subjectLen);
    VPL_Free(subject, subjectLen);
    if (checked != 0) return zstore::fail(fn, checked);
    return VPL_Cert_Copy_ToDestType(nullptr, 0, dstType, nullptr, 0, dstDrive, dstDriveLen, path.c_str(), nullptr);
}

}  // namespace

extern "C" {

VPL_API int VPL_Cert_Domain_Copy(const char* domain, int domainLen, int srcType, const char* srcDrive, int srcDriveLen,
                                 int dstType, const char* dstDrive, int dstDriveLen, const char* /*dstPin*/,
                                 int /*dstPinLen*/, const char* encCertPath, int encCertPathLen, const char* password,
                                 int passwordLen) {
    const std::string_view d = zstore::bounded(domain, domainLen);
    ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Cert_Domain_Copy () : domain [%.*s] src type(%d) dst type(%d)\n",
               static_cast<int>(d.size()), d.data(), srcType, dstType);
    return copyChecked("VPL_Cert_Domain_Copy", srcType, srcDrive, srcDriveLen, dstType, dstDrive, dstDriveLen,
                       encCertPath, encCertPathLen, password, passwordLen);
}

VPL_API int VPL_Cert_Copy(int srcType, const char* srcDrive, int srcDriveLen, int dstType, const char* dstDrive,
                          int dstDriveLen, const char* /*dstPin*/, int /*dstPinLen*/, const char* encCertPath,
                          int encCertPathLen, const char* password, int passwordLen) {
    return copyChecked("VPL_Cert_Copy", srcType, srcDrive, srcDriveLen, dstType, dstDrive, dstDriveLen, encCertPath,
                       encCertPathLen, password, passwordLen);
}

VPL_API int VPL_Cert_Copy_ToDestType(const char* /*domain*/, int /*domainLen*/, int dstType, const char* /*dstPin*/,
                                     int /*dstPinLen*/, const char* dstDrive, int dstDriveLen, const char* certPath,
                                     const char* /*password*/) {
    static const char* const kFn = "VPL_Cert_Copy_ToDestType";
    switch (dstType) {
        case VPL_STORAGE_HDD:
            return VPL_Cert_HDD_Copy(certPath);
        case VPL_STORAGE_REMOVABLE:
            if (!zstore::givenWithLength(dstDrive, dstDriveLen) || dstDriveLen == 0)
                return zstore::fail(kFn, VPL_ERR_DRIVE);
            return VPL_Cert_FDD_Copy(certPath, dstDrive);
        default:
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Cert_Copy_ToDestType () : Destination Store Type(%d) Error\n", dstType);
            return -1;
    }
}

VPL_API int VPL_Cert_HDD_Copy(const char* certPath) { return copyPair("VPL_Cert_HDD_Copy", certPath, 0, nullptr); }

VPL_API int VPL_Cert_FDD_Copy(const char* certPath, const char* drive) {
    if (!drive || !*drive) return zstore::fail("VPL_Cert_FDD_Copy", VPL_ERR_DRIVE);
    return copyPair("VPL_Cert_FDD_Copy", certPath, 1, drive);
}

VPL_API int VPL_Cert_FDD_Save(const char* drive, const void* cert, int certLen, const void* key, int keyLen) {
    static const char* const kFn = "VPL_Cert_FDD_Save";
    if (!drive || !cert || certLen <= 0 || !key || keyLen <= 0) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    PKI_STR_INFO rec{};
    rec.cert = static_cast<unsigned char*>(const_cast<void*>(cert));
    rec.cert_len = certLen;
    rec.key = static_cast<unsigned char*>(const_cast<void*>(key));
    rec.key_len = keyLen;
    rec.cert_use = VCL_CERT_USE_SIGN;
    return VPL_Location_CertCreate(1, drive, &rec);
}

}  // extern "C"

// The signature algorithm a certificate asks for, the padding codes, and the
// encryption certificate beside a signing certificate.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/context.h>
#include <zephaltpavix/layout.h>
#include <zephaltpavix/sign.h>

#include "context/context_internal.hpp"
#include "sign/sign_internal.hpp"

namespace {

// The short name of an algorithm text ("1.2.840.113549.1.1.11|rsa-sha256|
// sha256WithRSAEncryption"): its second field, empty without one.
std::string_view shortName(const char* text) {
    const std::string_view t = zstore::field(text);
    const size_t first = t.find('|');
    if (first == std::string_view::npos) return {};
    const size_t second = t.find('|', first + 1);
    return t.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
}

bool contains(std::string_view text, std::string_view word) {
    return zstore::findNoCase(text, word) != std::string_view::npos;
}

// The encryption certificate's file name beside a signing certificate of a
// class: the government's ..._sig.cer gives ..._env.cer, the others
// kmCert.der. Empty for class 10 and a name too short to change.
std::string kmName(int certClass, std::string_view signName) {
    if (certClass == 10) return {};
    if (certClass == VPL_CLASS_GPKI_SIGN || certClass == VPL_CLASS_GPKI_KM) {
        if (signName.size() < 7) return {};
        return std::string(signName.substr(0, signName.size() - 7)) + "env.cer";
    }
    return "kmCert.der";
}

}  // namespace

int zstore::findEncryptCert(int certClass, const std::string& signPath, std::string& found) {
    found.clear();
    const size_t slash = signPath.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : signPath.substr(0, slash);
    const std::string signName = slash == std::string::npos ? signPath : signPath.substr(slash + 1);
    const std::string expected = kmName(certClass, signName);
    if (expected.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "Not Support Cert Type(%d). path=[%s]\n", certClass, signPath.c_str());
        return -1;
    }
    DIR* d = opendir(dir.c_str());
    if (!d) {
        ZSTORE_LOG(VCL_LOG_ERROR, "Open dir Fail (%s)\n", dir.c_str());
        return -1;
    }
    // The whole name, letters without case (FAT upper-cases); the exact
    // spelling first, else the first in name order. A backup copy
    // (kmCert.der.bak) or a folder of that name is no certificate.
    std::vector<std::string> names;
    while (const dirent* e = readdir(d))
        if (zstore::equalNoCase(e->d_name, expected)) names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        if ((a == expected) != (b == expected)) return a == expected;
        return a < b;
    });
    for (const std::string& name : names) {
        const std::string full = (dir == "/" ? "" : dir) + "/" + name;
        struct stat st {};
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            found = full;
            break;
        }
    }
    return 0;
}

namespace {

// The encryption certificate beside a signing one with its class and key
// bytes: 0, or -1 when any of them is missing.
int readKm(const char* fn, int certClass, const char* signCertPath, zstore::StoredPair& km) {
    if (!signCertPath) return zstore::fail(fn, VPL_ERR_PATH);
    std::string path;
    if (const int rc = zstore::findEncryptCert(certClass, signCertPath, path); rc != 0) return zstore::fail(fn, rc);
    if (path.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Encrypt Cert Not Found. path=[%s]\n", fn, signCertPath);
        return -1;
    }
    if (const int rc = zstore::readStoredPair(path, km); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Encrypt Cert or Key Read Fail(0x%08x). path=[%s]\n", fn,
                   static_cast<unsigned>(rc), path.c_str());
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_Get_Cert_AlgorithmAndHash(int preferRSA15, const void* cert, int len, char** algorithm, char** hash) {
    static const char* const kFn = "VPL_Get_Cert_AlgorithmAndHash";
    if (algorithm) *algorithm = nullptr;
    if (hash) *hash = nullptr;
    if (!cert || len <= 0 || !algorithm || !hash) return zstore::fail(kFn, -1);
    const zstore::InfoPtr info = zstore::readInfo(cert, len);
    if (!info) return zstore::fail(kFn, VPL_ERR_X509_INFO);
    const std::string_view sig = shortName(info->signatureAlg);
    const bool kcdsaKey = contains(shortName(info->pubkeyAlg), "KCDSA");

    const char* alg;
    const char* digest;
    if (kcdsaKey) {
        // A KCDSA key signs KCDSA whatever signed its certificate.
        alg = "KCDSA1";
        digest = contains(sig, "SHA256") ? "SHA256" : "HAS160";
    } else if (contains(sig, "PSS")) {
        // id-RSASSA-PSS names no digest of its own.
        alg = "PSS";
        digest = "SHA256";
    } else if (contains(sig, "SHA256")) {
        digest = "SHA256";
        alg = contains(sig, "OAEP") ? "RSA20" : contains(sig, "KCDSA") ? "KCDSA1" : preferRSA15 ? "RSA15" : "RSA20";
    } else {
        alg = "RSA15";
        digest = "SHA1";
    }
    *algorithm = zstore::newBuffer(alg);
    *hash = zstore::newBuffer(digest);
    if (!*algorithm || !*hash) {
        std::free(*algorithm);
        std::free(*hash);
        *algorithm = *hash = nullptr;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_get_pad_mode(const char* name, int forSign) {
    const std::string_view n = zstore::field(name);
    if (forSign) {
        if (n == "RSA15") return 1;
        if (n == "PSS") return 2;
        if (n == "KCDSA") return 0;
        return 1;
    }
    if (n == "RSA15") return 0x20;
    if (n == "RSA20") return 8;
    if (n == "RSA21") return 0x10;
    if (n == "KCDSA") return 0;
    return 8;
}

VPL_API int VPL_Get_Encrypt_Path(int certClass, const char* signCertPath, char** encCertPath, char** encKeyPath) {
    static const char* const kFn = "VPL_Get_Encrypt_Path";
    if (encCertPath) *encCertPath = nullptr;
    if (encKeyPath) *encKeyPath = nullptr;
    if (!signCertPath) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!encCertPath || !encKeyPath) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string path;
    if (const int rc = zstore::findEncryptCert(certClass, signCertPath, path); rc != 0) return zstore::fail(kFn, rc);
    zstore::StoredPair km;
    if (path.empty() || zstore::readStoredPair(path, km) != 0) {
        // A signing certificate without an encryption certificate is usual.
        ZSTORE_LOG(VCL_LOG_DEBUG, "VPL_Get_Encrypt_Path () : No Encrypt Cert. path=[%s]\n", signCertPath);
        return 0;
    }
    *encCertPath = zstore::newBuffer(km.certPath);
    *encKeyPath = zstore::newBuffer(km.keyPath);
    if (!*encCertPath || !*encKeyPath) {
        std::free(*encCertPath);
        std::free(*encKeyPath);
        *encCertPath = *encKeyPath = nullptr;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_Get_EncryptCertPrivateKey(int certClass, const char* signCertPath, void** cert, int* certLen,
                                          void** key, int* keyLen) {
    static const char* const kFn = "VPL_Get_EncryptCertPrivateKey";
    if (!cert || !certLen || !key || !keyLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cert = *key = nullptr;
    *certLen = *keyLen = 0;
    zstore::StoredPair km;
    if (const int rc = readKm(kFn, certClass, signCertPath, km); rc != 0) return rc;
    if (zstore::emit(km.cert, 0, cert, certLen) != 0 || zstore::emit(km.key.view(), 0, key, keyLen) != 0) {
        VPL_Free(*cert, *certLen);
        *cert = nullptr;
        *certLen = 0;
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

VPL_API int VPL_Get_Kecc_EncryptionCert(int certClass, int value, const char* signCertPath, const void* first,
                                        int firstLen, const void* second, int secondLen, const void* third,
                                        int thirdLen, void** cert, int* certLen) {
    static const char* const kFn = "VPL_Get_Kecc_EncryptionCert";
    if (!cert || !certLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *cert = nullptr;
    *certLen = 0;
    if ((firstLen > 0 && !first) || (secondLen > 0 && !second) || (thirdLen > 0 && !third) || firstLen < 0 ||
        secondLen < 0 || thirdLen < 0)
        return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    zstore::StoredPair km;
    if (const int rc = readKm(kFn, certClass, signCertPath, km); rc != 0) return rc;

    VPL_Delete_Exchg_Cert();
    if (VPL_Init_Exchg_Cert() != 0 || !g_EXCHG_CERT) return zstore::fail(kFn, VPL_ERR_MALLOC);
    VPL_Exchg_Info& x = *g_EXCHG_CERT;
    x.storageType = value;
    const auto copy = [](const void* p, int n, auto*& field, int& fieldLen) {
        if (!p) return true;
        char* c = zstore::newBuffer({static_cast<const char*>(p), static_cast<size_t>(n)});
        if (!c) return false;
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(c);
        fieldLen = n;
        return true;
    };
    if (!copy(first, firstLen, x.random, x.randomLen) || !copy(km.key.data(), km.key.size(), x.kmKey, x.kmKeyLen) ||
        !copy(second, secondLen, x.password, x.passwordLen) || !copy(third, thirdLen, x.pin, x.pinLen) ||
        zstore::emit(km.cert, 0, cert, certLen) != 0) {
        VPL_Delete_Exchg_Cert();
        return zstore::fail(kFn, VPL_ERR_MALLOC);
    }
    return 0;
}

}  // extern "C"

// Issue, reissue and renewal through the CMP client, and the parameter
// text's key renaming. The issued pair is what matters most: it is stored
// first, and nothing of an old pair is replaced until every new file is on
// disk.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/base.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/error.h>
#include <zephaltpavix/issue.h>
#include <zephaltpavix/keypass.h>
#include <zephaltpavix/layout.h>

#include "base/store_internal.hpp"
#include "disk/disk_internal.hpp"
#include "issue/issue_internal.hpp"

extern "C" {
VPL_API char selectedCertSubjectCN[256] = {};
}

namespace {

using zstore::CmpOutputs;
using zstore::CmpSession;
using zstore::StoreWriter;

constexpr int kErrCaName = 1052016;
constexpr int kErrCaIp = 1052017;
constexpr int kErrCaPort = 1052018;
constexpr int kErrPpkiName = 1052019;
constexpr int kErrPpkiPath = 1052020;
constexpr int kErrRefVal = 1052021;
constexpr int kErrAuthCode = 1052022;
constexpr int kErrIssue = 1052023;
constexpr int kErrReplace = 1052024;
constexpr int kErrUpdate = 1052025;
// The agent's parameter text is at most 1023 characters; a text four times
// that is no parameter text.
constexpr size_t kParamsMax = 4095;

// A checked text: not NULL, not empty, and its length its strlen.
bool present(const char* text, int len) { return text && len > 0 && std::strlen(text) == static_cast<size_t>(len); }

// A value that goes into the parameter text as one value: no "&" or "="
// (which would add or change keys, such as a CAIP that moves the CA) and
// no control character.
bool plainValue(std::string_view v) {
    return std::none_of(v.begin(), v.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '&' || c == '=' || u < 0x20 || u == 0x7f;
    });
}

int commonCheck(const char* caName, int caNameLen, const char* caIp, int caIpLen, const char* caPort, int caPortLen) {
    int rc = 0;
    if (!present(caName, caNameLen))
        rc = kErrCaName;
    else if (!present(caIp, caIpLen))
        rc = kErrCaIp;
    else if (!present(caPort, caPortLen))
        rc = kErrCaPort;
    if (rc != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Common_String_NULL_Check () : Ca Name(%d:%s) CA IP (%d:%s) CA Port (%d:%s)\n",
                   caNameLen, caName ? caName : "", caIpLen, caIp ? caIp : "", caPortLen, caPort ? caPort : "");
    return rc;
}

bool isPrivateCa(std::string_view caName) { return zstore::startsWithNoCase(caName, PPKI_CA_NAME); }

// The CA port as atoi reads it ("8080x" is 8080); 0 for none.
int portOf(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return v >= 1 && v <= 65535 ? static_cast<int>(v) : 0;
}

std::string upperName(const char* caName, int caNameLen) {
    return zstore::upperAscii(zstore::bounded(caName, caNameLen));
}

// The first "cn=" item of a DN text.
std::string commonName(std::string_view dn) {
    size_t start = 0;
    while (start <= dn.size()) {
        size_t end = dn.find(',', start);
        if (end == std::string_view::npos) end = dn.size();
        std::string_view item = dn.substr(start, end - start);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        if (zstore::startsWithNoCase(item, "cn=")) return std::string(item.substr(3));
        start = end + 1;
    }
    return {};
}

PKI_STR_INFO record(const std::string& cert, const std::string& key, int use) {
    PKI_STR_INFO rec{};
    rec.cert = reinterpret_cast<unsigned char*>(const_cast<char*>(cert.data()));
    rec.cert_len = static_cast<int>(cert.size());
    rec.key = key.empty() ? nullptr : reinterpret_cast<unsigned char*>(const_cast<char*>(key.data()));
    rec.key_len = static_cast<int>(key.size());
    rec.cert_use = use;
    return rec;
}

// A CA certificate that came with a certificate: kept when it can be,
// logged when not (the user's pair is stored already).
void storeCaCertificate(int flag, const char* drive, const std::string& ca) {
    if (ca.empty()) return;
    StoreWriter writer;
    PKI_STR_INFO rec = record(ca, {}, 0);
    const int rc = zstore::locationCertCreate(writer, flag, drive, &rec);
    if (rc == 0) {
        writer.commit();
        return;
    }
    ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Issue_Cert () : CA Cert Store Fail(%d); the issued certificate is kept\n", rc);
}

void logCmpFailure(const char* fn, const CmpSession& session, int rc) {
    ZSTORE_LOG(VCL_LOG_ERROR, "%s () : CMP Error code : %s(0x%08x)\n", fn, session.errorText(rc),
               static_cast<unsigned>(rc));
}

// Issue or reissue onto the home disk (drive null) or a drive.
int issueToDisk(bool replace, const std::string& caName, const char* params, const char* password, const char* drive,
                const std::string& hash, const std::string& bits) {
    const char* fn = replace ? "VPL_Replace_Cert" : "VPL_Issue_Cert";
    const int failure = replace ? kErrReplace : kErrIssue;
    const int flag = drive ? 1 : 0;
    CmpSession session;
    if (session.open(hash, bits) != 0) return zstore::fail(fn, failure);
    const int rc = replace ? lpCMP_CertReplaceNonUI(caName.c_str(), 0, params, password, 0)
                           : lpCMP_CertRequestNonUI(caName.c_str(), 0, params, password, 0);
    if (rc != 0) {
        logCmpFailure(fn, session, rc);
        return zstore::fail(fn, failure);
    }
    CmpOutputs out;
    if (!out.fetch() || out.signCert.empty() || out.signKey.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : no signing pair came back\n", fn);
        return zstore::fail(fn, failure);
    }
    ZSTORE_LOG(VCL_LOG_DEBUG, "%s () : sign cert %d bytes, CA cert %d bytes, KM cert %d bytes\n", fn,
               static_cast<int>(out.signCert.size()), static_cast<int>(out.ca.size()),
               static_cast<int>(out.kmCert.size()));

    // The user's pairs first, together: the issue code is spent.
    StoreWriter writer;
    PKI_STR_INFO sign = record(out.signCert, out.signKey, VCL_CERT_USE_SIGN);
    if (const int stored = zstore::locationCertCreate(writer, flag, drive, &sign); stored != 0) return stored;
    if (!out.kmCert.empty()) {
        PKI_STR_INFO km = record(out.kmCert, out.kmKey, VCL_CERT_USE_OTHER);
        if (const int stored = zstore::locationCertCreate(writer, flag, drive, &km); stored != 0) return stored;
    }
    if (drive) {
        // The agent removes the home copy by this name; a name it cannot
        // read leaves the home as it is.
        std::memset(selectedCertSubjectCN, 0, sizeof selectedCertSubjectCN);
        if (const zstore::InfoPtr info = zstore::readInfo(out.signCert.data(), static_cast<int>(out.signCert.size())))
            std::strncpy(selectedCertSubjectCN, commonName(zstore::field(info->subjectDN)).c_str(),
                         sizeof selectedCertSubjectCN - 1);
    }
    writer.commit();
    storeCaCertificate(flag, drive, out.ca);
    return 0;
}

// The base of a certificate folder's store ({base}/NPKI/{CA}/USER/{DN} or
// {base}/PPKI/Veridan/{CA}/USER/{DN}); empty for another layout.
std::string storeBaseOf(const std::string& certFolder) {
    auto parent = [](const std::string& p) {
        const size_t slash = p.rfind('/');
        return slash == std::string::npos ? std::string() : p.substr(0, slash);
    };
    const std::string userDir = parent(certFolder);
    if (userDir.size() < 5 || userDir.compare(userDir.size() - 5, 5, "/USER") != 0) return {};
    const std::string root = parent(parent(userDir));
    auto endsWith = [](const std::string& s, std::string_view e) {
        return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
    };
    if (endsWith(root, "/NPKI")) return parent(root);
    if (endsWith(root, "/PPKI/Veridan")) return parent(parent(root));
    return {};
}

int updateOnDisk(const std::string& certPath, const std::string& caName, const char* params, const char* password,
                 const char* newPassword, const std::string& hash, const std::string& bits) {
    static const char* const kFn = "VPL_HDDFDD_Update_Cert";
    char* folder = nullptr;
    const int folderRc = VPL_CertPathToCertFolder(certPath.c_str(), &folder);
    const zstore::MallocPtr<char> folderOwned(folder);
    if (folderRc != 0 || !folder) return folderRc != 0 ? folderRc : -1;
    const std::string certFolder = zstore::withoutTrailingSlash(folder);

    CmpSession session;
    if (session.open(hash, bits) != 0) return zstore::fail(kFn, kErrUpdate);
    const int rc = lpCMP_CertUpdateNonUI(caName.c_str(), 0, params, password, newPassword, certFolder.c_str(), 0);
    if (rc != 0) {
        logCmpFailure(kFn, session, rc);
        return zstore::fail(kFn, kErrUpdate);
    }
    CmpOutputs out;
    if (!out.fetch() || out.signCert.empty() || out.signKey.empty()) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : no signing pair came back\n", kFn);
        return zstore::fail(kFn, kErrUpdate);
    }
    // Every new file under a temporary name, synced, before any old one is
    // replaced; a failure puts the old bytes back.
    std::vector<StoreWriter::File> files = {{"signCert.der", out.signCert, 0644}, {"signPri.key", out.signKey, 0600}};
    if (!out.kmCert.empty() && !out.kmKey.empty()) {
        files.push_back({"kmCert.der", out.kmCert, 0644});
        files.push_back({"kmPri.key", out.kmKey, 0600});
    }
    StoreWriter writer;
    if (!writer.write(certFolder, files)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : renewed files not written; the old ones stay\n", kFn);
        return zstore::fail(kFn, VPL_ERR_WRITE_FILE);
    }
    writer.commit();
    // The CA certificate goes where the CA walks look: its own CA folder.
    const std::string base = storeBaseOf(certFolder);
    if (!out.ca.empty() && !base.empty())
        storeCaCertificate(1, base.c_str(), out.ca);
    else if (!out.ca.empty())
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : CA Cert not stored (no store above %s)\n", kFn, certFolder.c_str());
    return 0;
}

// issue and reissue with a ready parameter text.
int issueReduction(bool replace, int storageType, const char* drive, int driveLen, const char* caName, int caNameLen,
                   const char* params, int paramsLen, const char* password, int passwordLen, const char* hashAlg,
                   int hashAlgLen, const char* keyBits, int keyBitsLen) {
    const char* fn = replace ? "VPL_Replace_Certificate_Reduction" : "VPL_Issue_Certificate_Reduction";
    if (!caName) return zstore::fail(fn, VPL_ERR_INVALID_PARAM);
    if (!present(password, passwordLen)) return zstore::fail(fn, VPL_ERR_PASSWORD_PARAM);
    const std::string text(zstore::bounded(params, paramsLen));
    char* converted = nullptr;
    int convertedLen = 0;
    if (const int rc = VPL_DN_Convert(text.c_str(), &converted, &convertedLen); rc != 0) return zstore::fail(fn, rc);
    const std::string paramText = converted ? std::string(converted, static_cast<size_t>(convertedLen)) : std::string();
    VPL_Free(converted, convertedLen);
    const std::string upper = upperName(caName, caNameLen);
    if (upper.empty()) return -1;
    const std::string pw(zstore::bounded(password, passwordLen));
    const std::string hash(zstore::bounded(hashAlg, hashAlgLen)), bits(zstore::bounded(keyBits, keyBitsLen));
    switch (storageType) {
        case VPL_STORAGE_HDD:
            return issueToDisk(replace, upper, paramText.c_str(), pw.c_str(), nullptr, hash, bits);
        case VPL_STORAGE_REMOVABLE: {
            if (!present(drive, driveLen)) return zstore::fail(fn, VPL_ERR_DRIVE);
            return issueToDisk(replace, upper, paramText.c_str(), pw.c_str(), drive, hash, bits);
        }
        default:
            // The key chain stores nothing on this platform: an issue there
            // would spend the code and lose the key, so it is not started.
            ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Store Type(%d) Not Support\n", fn, storageType);
            return -1;
    }
}

}  // namespace

extern "C" {

VPL_API int VPL_DN_Convert(const char* text, char** out, int* outLen) {
    static const char* const kFn = "VPL_DN_Convert";
    if (!text || !out || !outLen) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    *out = nullptr;
    *outLen = 0;
    const std::string_view in(text);
    if (in.size() > kParamsMax) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (in.empty()) return 0;
    // Whole keys only: a value holding "code" or a key REFVAL stays.
    std::string result;
    size_t start = 0;
    while (start <= in.size()) {
        size_t end = in.find('&', start);
        if (end == std::string_view::npos) end = in.size();
        const std::string_view pair = in.substr(start, end - start);
        const size_t eq = pair.find('=');
        const std::string_view key = pair.substr(0, eq);
        if (zstore::equalNoCase(key, "REF"))
            result += "REFVAL";
        else if (zstore::equalNoCase(key, "CODE"))
            result += "AUTHCODE";
        else
            result += key;
        if (eq != std::string_view::npos) result += pair.substr(eq);
        if (end < in.size()) result += '&';
        start = end + 1;
    }
    return zstore::handOut(result, out, outLen);
}

VPL_API int VPL_Issue_Certificate_Reduction(int storageType, const char* drive, int driveLen, int, int,
                                            const char* caName, int caNameLen, const char* params, int paramsLen,
                                            const char* password, int passwordLen, const char* hashAlg, int hashAlgLen,
                                            const char* keyBits, int keyBitsLen) {
    return issueReduction(false, storageType, drive, driveLen, caName, caNameLen, params, paramsLen, password,
                          passwordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
}

VPL_API int VPL_Replace_Certificate_Reduction(int storageType, const char* drive, int driveLen, int, int,
                                              const char* caName, int caNameLen, const char* params, int paramsLen,
                                              const char* password, int passwordLen, const char* hashAlg,
                                              int hashAlgLen, const char* keyBits, int keyBitsLen) {
    return issueReduction(true, storageType, drive, driveLen, caName, caNameLen, params, paramsLen, password,
                          passwordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
}

VPL_API int VPL_Update_Certificate_Reduction(int storageType, int flag, int, const char* encCertPath,
                                             int encCertPathLen, const char* caName, int caNameLen, const char* params,
                                             int paramsLen, const char* password, int passwordLen,
                                             const char* newPassword, int newPasswordLen, const char* hashAlg,
                                             int hashAlgLen, const char* keyBits, int keyBitsLen) {
    static const char* const kFn = "VPL_Update_Certificate_Reduction";
    if (!present(encCertPath, encCertPathLen)) return zstore::fail(kFn, VPL_ERR_PATH);
    if (!caName) return zstore::fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!present(password, passwordLen) || !present(newPassword, newPasswordLen))
        return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    const std::string upper = upperName(caName, caNameLen);
    if (upper.empty()) return -1;
    char* path = nullptr;
    int pathLen = 0;
    if (const int rc = VPL_DataDecode(0, encCertPath, encCertPathLen, &path, &pathLen); rc != 0 || !path)
        return rc != 0 ? rc : -1;
    const std::string certPath(path, static_cast<size_t>(pathLen));
    VPL_Free(path, pathLen);
    if (storageType < 0 || storageType > 3) return -1;
    if (storageType >= 2) return flag == 0 ? zstore::fail(kFn, VPL_ERR_PIN) : 0;
    // The agent's renewal text carries empty REF and CODE keys too: they
    // reach the client under its own names, as for an issue.
    const std::string raw(zstore::bounded(params, paramsLen));
    char* converted = nullptr;
    int convertedLen = 0;
    if (const int rc = VPL_DN_Convert(raw.c_str(), &converted, &convertedLen); rc != 0) return zstore::fail(kFn, rc);
    const std::string text = converted ? std::string(converted, static_cast<size_t>(convertedLen)) : std::string();
    VPL_Free(converted, convertedLen);
    return updateOnDisk(certPath, upper, text.c_str(), std::string(zstore::bounded(password, passwordLen)).c_str(),
                        std::string(zstore::bounded(newPassword, newPasswordLen)).c_str(),
                        std::string(zstore::bounded(hashAlg, hashAlgLen)),
                        std::string(zstore::bounded(keyBits, keyBitsLen)));
}

}  // extern "C"

namespace {

// The full forms' parameter text: "REF" and "CODE" keys (renamed on the
// way, as the agent's are), the CA, and for the private CA its name and
// path. Every value is one plain value.
int fullText(bool codes, bool renew, const char* caName, const char* caIp, const char* caPort, const char* ppkiCaName,
             int ppkiCaNameLen, const char* ppkiCaPath, int ppkiCaPathLen, const char* refVal, const char* authCode,
             std::string& text) {
    const bool ppki = isPrivateCa(caName);
    if (ppki) {
        if (!present(ppkiCaName, ppkiCaNameLen)) return kErrPpkiName;
        if (!present(ppkiCaPath, ppkiCaPathLen)) return kErrPpkiPath;
    }
    const int port = portOf(caPort);
    if (port == 0) return kErrCaPort;
    for (const char* v :
         {caIp, ppki ? ppkiCaName : "", ppki ? ppkiCaPath : "", codes ? refVal : "", codes ? authCode : ""})
        if (!plainValue(v)) return VPL_ERR_INVALID_PARAM;
    text.clear();
    if (codes) text += std::string("REF=") + refVal + "&CODE=" + authCode + "&";
    text += std::string("CAIP=") + caIp + "&CAPORT=" + std::to_string(port);
    if (ppki) text += std::string("&CANAME=") + ppkiCaName + "&CAPATH=" + ppkiCaPath;
    if (renew) text += "&CMD=RENEW";
    return text.size() > kParamsMax ? VPL_ERR_INVALID_PARAM : 0;
}

int issueFull(bool replace, int storageType, const char* drive, int driveLen, const char* caName, int caNameLen,
              const char* caIp, int caIpLen, const char* caPort, int caPortLen, const char* ppkiCaName,
              int ppkiCaNameLen, const char* ppkiCaPath, int ppkiCaPathLen, const char* refVal, int refValLen,
              const char* authCode, int authCodeLen, const char* password, int passwordLen, const char* hashAlg,
              int hashAlgLen, const char* keyBits, int keyBitsLen) {
    const char* fn = replace ? "VPL_Replace_Certificate" : "VPL_Issue_Certificate";
    if (const int rc = commonCheck(caName, caNameLen, caIp, caIpLen, caPort, caPortLen); rc != 0) return rc;
    if (!present(refVal, refValLen)) return zstore::fail(fn, kErrRefVal);
    if (!present(authCode, authCodeLen)) return zstore::fail(fn, kErrAuthCode);
    std::string text;
    if (const int rc = fullText(true, replace, caName, caIp, caPort, ppkiCaName, ppkiCaNameLen, ppkiCaPath,
                                ppkiCaPathLen, refVal, authCode, text);
        rc != 0)
        return zstore::fail(fn, rc);
    const int rc =
        issueReduction(replace, storageType, drive, driveLen, caName, caNameLen, text.c_str(),
                       static_cast<int>(text.size()), password, passwordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
    if (rc != 0)
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : Error code : %s(0x%08x)\n", fn, VPL_GetErrorString(rc),
                   static_cast<unsigned>(rc));
    return rc;
}

}  // namespace

extern "C" {

VPL_API int VPL_Issue_Certificate(int storageType, const char* drive, int driveLen, int, int, const char* caName,
                                  int caNameLen, const char* caIp, int caIpLen, const char* caPort, int caPortLen,
                                  const char* ppkiCaName, int ppkiCaNameLen, const char* ppkiCaPath, int ppkiCaPathLen,
                                  const char* refVal, int refValLen, const char* authCode, int authCodeLen,
                                  const char* password, int passwordLen, const char* hashAlg, int hashAlgLen,
                                  const char* keyBits, int keyBitsLen) {
    return issueFull(false, storageType, drive, driveLen, caName, caNameLen, caIp, caIpLen, caPort, caPortLen,
                     ppkiCaName, ppkiCaNameLen, ppkiCaPath, ppkiCaPathLen, refVal, refValLen, authCode, authCodeLen,
                     password, passwordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
}

VPL_API int VPL_Replace_Certificate(int storageType, const char* drive, int driveLen, int, int, const char* caName,
                                    int caNameLen, const char* caIp, int caIpLen, const char* caPort, int caPortLen,
                                    const char* ppkiCaName, int ppkiCaNameLen, const char* ppkiCaPath,
                                    int ppkiCaPathLen, const char* refVal, int refValLen, const char* authCode,
                                    int authCodeLen, const char* password, int passwordLen, const char* hashAlg,
                                    int hashAlgLen, const char* keyBits, int keyBitsLen) {
    return issueFull(true, storageType, drive, driveLen, caName, caNameLen, caIp, caIpLen, caPort, caPortLen,
                     ppkiCaName, ppkiCaNameLen, ppkiCaPath, ppkiCaPathLen, refVal, refValLen, authCode, authCodeLen,
                     password, passwordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
}

VPL_API int VPL_Update_Certificate(int storageType, int flag, int unused, const char* encCertPath, int encCertPathLen,
                                   const char* caName, int caNameLen, const char* caIp, int caIpLen, const char* caPort,
                                   int caPortLen, const char* ppkiCaName, int ppkiCaNameLen, const char* ppkiCaPath,
                                   int ppkiCaPathLen, const char* password, int passwordLen, const char* newPassword,
                                   int newPasswordLen, const char* hashAlg, int hashAlgLen, const char* keyBits,
                                   int keyBitsLen) {
    static const char* const kFn = "VPL_Update_Certificate";
    if (const int rc = commonCheck(caName, caNameLen, caIp, caIpLen, caPort, caPortLen); rc != 0) return rc;
    if (!present(password, passwordLen) || !present(newPassword, newPasswordLen))
        return zstore::fail(kFn, VPL_ERR_PASSWORD_PARAM);
    std::string text;
    if (const int rc = fullText(false, false, caName, caIp, caPort, ppkiCaName, ppkiCaNameLen, ppkiCaPath,
                                ppkiCaPathLen, nullptr, nullptr, text);
        rc != 0)
        return zstore::fail(kFn, rc);
    return VPL_Update_Certificate_Reduction(storageType, flag, unused, encCertPath, encCertPathLen, caName, caNameLen,
                                            text.c_str(), static_cast<int>(text.size()), password, passwordLen,
                                            newPassword, newPasswordLen, hashAlg, hashAlgLen, keyBits, keyBitsLen);
}

}  // extern "C"

// The helpers of sign_internal.hpp.
#include <cstring>

#include <zephaltpavix/certclass.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/layout.h>
#include <zunCore/error.h>
#include <zunCore/keypass.h>
#include <zunCore/pkcs8.h>
#include <zunCore/x509_conv.h>

#include "sign/sign_internal.hpp"

namespace zstore {

bool givenWithLength(const char* text, int len) {
    return text && len >= 0 && strnlen(text, static_cast<size_t>(len) + 1) == static_cast<size_t>(len);
}

int passwordArg(const char* password, int len) {
    if (!givenWithLength(password, len) || len > VCL_PASSWORD_MAX) return VPL_ERR_PASSWORD_PARAM;
    return 0;
}

int decodePath(const char* encoded, int len, std::string& path) {
    if (!encoded) return VPL_ERR_PATH;
    if (len < 0) len = static_cast<int>(strnlen(encoded, INT32_MAX - 1));
    if (!givenWithLength(encoded, len) || len == 0) return VPL_ERR_PATH;
    char* decoded = nullptr;
    int decodedLen = 0;
    if (const int rc = VPL_DataDecode(0, encoded, len, &decoded, &decodedLen); rc != 0) return rc;
    path.assign(decoded, static_cast<size_t>(decodedLen));
    VPL_Free(decoded, decodedLen);
    // Every reader below takes a C string: a path cut at a zero byte would
    // name another file.
    if (path.empty() || path.find('\0') != std::string::npos) return VPL_ERR_PATH;
    return 0;
}

bool readFile(const std::string& path, std::string& bytes) {
    CoreBuffer file;
    if (VCL_Read_File(path.c_str(), &file.bytes, &file.len) != 0 || !file.bytes || file.len <= 0) return false;
    bytes.assign(file.view());
    return true;
}

bool readFile(const std::string& path, SecretBytes& bytes) { return readFile(path, bytes.str()); }

int readStoredPair(const std::string& certPath, StoredPair& pair) {
    pair.certPath = certPath;
    if (!readFile(certPath, pair.cert)) return VPL_ERR_READ_FILE;
    pair.cls = VPL_Get_CertType(pair.cert.data(), static_cast<int>(pair.cert.size()));
    if (pair.cls < VPL_CLASS_PUBLIC_SIGN || pair.cls > VPL_CLASS_GPKI_KM) {
        ZSTORE_LOG(VCL_LOG_ERROR, "not Support Cert Type. path=[%s]\n", certPath.c_str());
        return -1;
    }
    char* keyPath = nullptr;
    if (const int rc = VPL_CertPathConvKeyPath(pair.cls, certPath.c_str(), &keyPath); rc != 0) return rc;
    pair.keyPath = keyPath;
    std::free(keyPath);
    if (!readFile(pair.keyPath, pair.key)) return VPL_ERR_READ_FILE;
    return 0;
}

int OpenedKey::open(std::string_view key, std::string_view password) {
    m_key.assign(key);
    m_password.assign(password);
    m_plain.assign({});
    VCL_COM_Change_Non_Proven();
    // An RSA key in PKCS#8 comes out as the plain PKCS#1 key: this one
    // decryption is the password check as well.
    CoreBuffer plain;
    if (VCL_PK8_to_PK1(m_key.data(), m_key.size(), m_password.str().c_str(), m_password.size(), VCL_FORM_DER,
                       &plain.bytes, &plain.len) == 0 &&
        plain.len > 0) {
        m_plain.assign(plain.view());
        return 0;
    }
    // KCDSA keys and PKCS#1 files are used as they are.
    const int rc = VCL_COM_Check_Password(m_key.data(), m_key.size(), m_password.str().c_str(), m_password.size());
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_COM_Check_Password Fail : %s(0x%08x)\n", VCL_Get_Error_Msg(rc),
                   static_cast<unsigned>(rc));
        return VPL_ERR_PASSWORD;
    }
    return 0;
}

int keyRandom(std::string_view key, std::string_view password, SecretBytes& random) {
    random.assign({});
    SecretBytes pw;
    pw.assign(password);  // the core reads a C string
    CoreBuffer value;
    VCL_COM_Change_Non_Proven();
    const int rc = VCL_COM_Get_Random(key.data(), static_cast<int>(key.size()), pw.str().c_str(), pw.size(),
                                      &value.bytes, &value.len);
    // A key without attributes, or whose attributes hold no random, has
    // none to give: no failure.
    if (rc == VCL_CORE_CODE(VCL_CAT_X509_GET_DATA_ATTRIBUTES, VCL_R_NULL_PARAM) ||
        rc == VCL_CORE_CODE(VCL_CAT_PKCS8_GET_RANDOM, VCL_R_NOT_FOUND))
        return 0;
    if (rc != 0) return rc;
    random.assign(value.view());
    return 0;
}

SignerRecord::SignerRecord(std::string_view cert, const void* key, int keyLen, const char* password, int passwordLen) {
    // The makers read these fields only.
    info.cert = reinterpret_cast<unsigned char*>(const_cast<char*>(cert.data()));
    info.cert_len = static_cast<int>(cert.size());
    info.key = static_cast<unsigned char*>(const_cast<void*>(key));
    info.key_len = keyLen;
    if (password && passwordLen > 0 && passwordLen <= VCL_PASSWORD_MAX) {
        std::memcpy(info.password, password, static_cast<size_t>(passwordLen));
        info.password_len = passwordLen;
    }
}

int emit(std::string_view bytes, int encodingFlag, char** out, int* outLen) {
    *out = nullptr;
    *outLen = 0;
    if (encodingFlag == 0) return handOut(bytes, out, outLen);
    if (VPL_DataEncode(0, bytes.data(), static_cast<int>(bytes.size()), out, outLen) != 0) {
        *out = nullptr;
        *outLen = 0;
        return VPL_ERR_MALLOC;
    }
    return 0;
}

int emit(std::string_view bytes, int encodingFlag, void** out, int* outLen) {
    char* text = nullptr;
    const int rc = emit(bytes, encodingFlag, &text, outLen);
    *out = text;
    return rc;
}

int pemOf(std::string_view cert, std::string& pem) {
    CoreBuffer text;
    const int rc = VCL_X509_Conv_Cert2PEM(cert.data(), static_cast<int>(cert.size()),
                                          reinterpret_cast<char**>(&text.bytes), &text.len);
    if (rc != 0) return rc;
    pem.assign(text.view());
    return 0;
}

bool calendarTime(const struct tm& local, ASN1_TIME& out) {
    struct tm copy = local;
    copy.tm_wday = -1;  // mktime sets it when it places the time (-1 is also a second before 1970)
    const time_t instant = mktime(&copy);
    struct tm again {};
    if (copy.tm_wday == -1 || !localtime_r(&instant, &again)) return false;
    out = ASN1_TIME{};
    out.tm_sec = again.tm_sec;
    out.tm_min = again.tm_min;
    out.tm_hour = again.tm_hour;
    out.tm_mday = again.tm_mday;
    out.tm_mon = again.tm_mon;
    out.tm_year = again.tm_year;
    out.tm_wday = again.tm_wday;
    out.tm_yday = again.tm_yday;
    out.tm_isdst = again.tm_isdst;
    out.tm_gmtoff = again.tm_gmtoff;
    out.tm_zone = again.tm_zone;
    return true;
}

}  // namespace zstore

// The log-in and sign submissions over the store's per-domain submit
// functions.
#include "job/SignSubmit.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "job/Job.h"
#include "job/StoreCall.h"

namespace {

constexpr const char kDomain[] = "VERIDAN";

// The instant the store still takes: signingTime is a UTCTime, which ends
// with 2049.
constexpr time_t kServerTimeEnd = 2524608000;  // 2050-01-01T00:00:00Z

void logLastError(const char* what, int rc) {
    const int last = VPL_GetLastError();
    JOBLOG("%s result %d, Last error code VPL[%d][%s]\n", what, rc, last, VPL_GetErrorString(last));
}

// The store's random is the key's VID random, or nothing.
bool takeRandom(const StoreBuffer& random, std::string& out) {
    if (random.len != 0 && random.len != static_cast<int>(kKeyRandomLength)) return false;
    if (random.len == static_cast<int>(kKeyRandomLength) && random.data) out.assign(random.data, kKeyRandomLength);
    return true;
}

// The six outputs of a submit call.
struct SubmitOutputs {
    StoreBuffer cert, signature, random;
};

int finishPKCS1(int rc, SubmitOutputs& o, SubmitResult& out) {
    if (rc == 1051027) {
        JOBLOG("PKCS1_Cert_Submit, wrong password.\n");
        return SubmitCode::kWrongPassword;
    }
    if (rc != 0) {
        logLastError("PKCS1_Cert_Submit", rc);
        return SubmitCode::kFailed;
    }
    SubmitResult r;
    if (!takeRandom(o.random, r.random)) {
        JOBLOG("nRandomlen != PRIVKEY_RANDOMVALUE(20) Failed.\n");
        return SubmitCode::kP1RandomLength;
    }
    if (o.signature.len <= 0 || !StoreEncode(2, o.signature.view(), r.signature) ||
        !StoreEncode(1, o.cert.view(), r.certificate) || r.certificate.empty()) {
        JOBLOG("PKCS1_Cert_Submit, the signature or certificate did not encode.\n");
        return SubmitCode::kP1Encoding;
    }
    out.signature.swap(r.signature);
    out.certificate.swap(r.certificate);
    out.random.swap(r.random);
    return 0;
}

bool signingTime(const char* serverTime, struct tm& tm) {
    time_t t = 0;
    if (!ParseServerTime(serverTime, t)) {
        JOBLOG("PKCS7_Cert_Submit, no usable server time [%s].\n", serverTime ? serverTime : "(null)");
        return false;
    }
    return localtime_r(&t, &tm) != nullptr;
}

int mapPKCS7(int rc, const char* what) {
    if (rc == 1051027) {
        JOBLOG("%s, wrong password.\n", what);
        return SubmitCode::kWrongPassword;
    }
    if (rc != 0) {
        logLastError(what, rc);
        return SubmitCode::kP7Sign;
    }
    return 0;
}

// One PKCS#7 store call from a stored certificate: content, or a digest.
int storeSign(bool digest, int storeType, const std::string& encPath, const char* password, std::string_view data,
              const struct tm& tm, SubmitOutputs& o) {
    if (!FitsInt(data.size())) return SubmitCode::kP7Sign;
    const int len = static_cast<int>(data.size());
    const int rc =
        digest
            ? VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD(
                  storeType, nullptr, 0, encPath.c_str(), kDomain, password, TextLen(password), data.data(), len, &tm,
                  0, o.cert.ptr(), &o.cert.len, o.signature.vptr(), &o.signature.len, o.random.vptr(), &o.random.len)
            : VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute(
                  storeType, nullptr, 0, encPath.c_str(), kDomain, password, TextLen(password), data.data(), len, &tm,
                  0, o.cert.ptr(), &o.cert.len, o.signature.vptr(), &o.signature.len, o.random.vptr(), &o.random.len);
    return mapPKCS7(rc, digest ? "VPL_Domain_PKCS7_Cert_submit_WithSignWithOutPlainWithMD"
                               : "VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute");
}

int finishPKCS7(SubmitOutputs& o, int encoding, std::string_view message, SubmitResult& out) {
    SubmitResult r;
    if (!takeRandom(o.random, r.random)) {
        JOBLOG("PKCS7_Cert_Submit, nRandomlen != PRIVKEY_RANDOMVALUE(20) Failed.\n");
        return SubmitCode::kRandomLength;
    }
    r.certificate.assign(o.cert.view());
    if (message.empty() || !StoreEncode(encoding, message, r.signature)) {
        JOBLOG("PKCS7_Cert_Submit, the signed data did not encode.\n");
        return SubmitCode::kP7Encoding;
    }
    out.signature.swap(r.signature);
    out.certificate.swap(r.certificate);
    out.random.swap(r.random);
    return 0;
}

// "HD=<b64 of the header's signature>|" then "<name>=<b64>|" per item.
int multiSign(int storeType, const std::string& encPath, const char* password, const std::string& data,
              const struct tm& tm, SubmitResult& out) {
    PDFMultiSignData parsed;
    if (ParseSignData_PDFMultiSign(data.c_str(), &parsed, 0) < 1 || parsed.hd.empty()) {
        JOBLOG("PKCS7_Cert_Submit, the multi-sign data has no header or no item.\n");
        return SubmitCode::kP7Sign;
    }
    // The header is signed with its terminating zero, URL-encoded (so the
    // signed text ends in %00), as the PDF signers expect it.
    std::string header;
    if (!StoreEncode(1, std::string_view(parsed.hd.c_str(), parsed.hd.size() + 1), header)) return SubmitCode::kP7Sign;
    SubmitOutputs first;
    int rc = storeSign(false, storeType, encPath, password, header, tm, first);
    if (rc != 0) return rc;
    std::string text, piece;
    if (!StoreEncode(0, first.signature.view(), piece)) return SubmitCode::kP7Encoding;
    text = "HD=" + piece + "|";
    for (const PDFMultiSignItem& item : parsed.items) {
        SubmitOutputs o;
        rc = storeSign(true, storeType, encPath, password, item.value, tm, o);
        if (rc != 0) return rc == SubmitCode::kWrongPassword ? rc : SubmitCode::kP7Sign;
        if (!StoreEncode(0, o.signature.view(), piece)) return SubmitCode::kP7Encoding;
        text += item.name + "=" + piece + "|";
    }
    return finishPKCS7(first, 1, text, out);
}

}  // namespace

SubmitResult::~SubmitResult() { clear(); }

void SubmitResult::clear() {
    explicit_bzero(random.data(), random.size());
    random.clear();
    signature.clear();
    certificate.clear();
}

bool ParseServerTime(const char* text, time_t& out) {
    if (!text || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v >= static_cast<unsigned long long>(kServerTimeEnd)) return false;
    out = static_cast<time_t>(v);
    return true;
}

int PKCS1_Cert_Submit(int storeType, const char* certPath, const char* password, const unsigned char* nonce,
                      SubmitResult& out) {
    out.clear();
    std::string encPath;
    if (!certPath || !nonce || !StoreEncode(0, certPath, encPath)) {
        logLastError("PKCS1_Cert_Submit, VPL_DataEncode", -1);
        return SubmitCode::kFailed;
    }
    SubmitOutputs o;
    // No domain: relays verify the log-in as SHA-1 with PKCS#1 v1.5.
    const int rc = VPL_Domain_PKCS1_Cert_Submit(
        storeType, nullptr, 0, encPath.c_str(), nullptr, password, TextLen(password), nonce, int(kNonceLength), 0,
        o.cert.ptr(), &o.cert.len, o.signature.vptr(), &o.signature.len, o.random.vptr(), &o.random.len);
    return finishPKCS1(rc, o, out);
}

int PKCS1_Cert_Submit_Buffer(const char* password, const unsigned char* nonce, SubmitResult& out) {
    out.clear();
    if (!nonce) return SubmitCode::kFailed;
    SubmitOutputs o;
    const int rc = VPL_Domain_PKCS1_Cert_Submit_Buffer(nonce, int(kNonceLength), password, TextLen(password),
                                                       o.cert.ptr(), &o.cert.len, o.signature.vptr(), &o.signature.len,
                                                       o.random.vptr(), &o.random.len);
    return finishPKCS1(rc, o, out);
}

int PKCS7_Cert_Submit(int storeType, const char* certPath, const char* password, const std::string& data,
                      const char* serverTime, SubmitResult& out, int multiSignMode) {
    out.clear();
    std::string encPath;
    if (!certPath || !StoreEncode(0, certPath, encPath)) {
        logLastError("PKCS7_Cert_Submit, VPL_DataEncode", -1);
        return SubmitCode::kP7Path;
    }
    struct tm tm {};
    if (!signingTime(serverTime, tm)) return SubmitCode::kServerTime;
    if (multiSignMode == 0) {
        SubmitOutputs o;
        const int rc = storeSign(false, storeType, encPath, password, data, tm, o);
        return rc != 0 ? rc : finishPKCS7(o, 2, o.signature.view(), out);
    }
    if (data.compare(0, 3, "md=") == 0) {
        SubmitOutputs o;
        const int rc = storeSign(true, storeType, encPath, password, std::string_view(data).substr(3), tm, o);
        return rc != 0 ? rc : finishPKCS7(o, 2, o.signature.view(), out);
    }
    if (data.compare(0, 3, "HD=") == 0) return multiSign(storeType, encPath, password, data, tm, out);
    JOBLOG("PKCS7_Cert_Submit, digest mode with data that is neither md= nor HD=.\n");
    return SubmitCode::kP7Sign;
}

int PKCS7_Cert_Submit_Buffer(const char* password, const std::string& data, const char* serverTime, SubmitResult& out) {
    out.clear();
    struct tm tm {};
    if (!signingTime(serverTime, tm)) return SubmitCode::kServerTime;
    if (!FitsInt(data.size())) return SubmitCode::kP7Sign;
    SubmitOutputs o;
    const int rc = VPL_Domain_PKCS7_Cert_Submit_Buffer(
        data.data(), static_cast<int>(data.size()), password, TextLen(password), &tm, o.cert.ptr(), &o.cert.len,
        o.signature.vptr(), &o.signature.len, o.random.vptr(), &o.random.len);
    const int mapped = mapPKCS7(rc, "VPL_Domain_PKCS7_Cert_Submit_Buffer");
    return mapped != 0 ? mapped : finishPKCS7(o, 2, o.signature.view(), out);
}

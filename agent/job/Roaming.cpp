// The roaming and PKCS#10 exchanges over the job's HTTPS client. Bodies and
// replies carry a PKCS#12, its authorisation number or a certificate
// request: only their lengths are logged.
#include "job/Roaming.h"

#include <cstring>

#include "job/IRelayClient.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

struct Codes {
    int setup, transfer, status;
};

int post(const char* name, const std::string& url, std::string form, const Codes& codes, std::string& reply) {
    reply.clear();
    HttpExchange x;
    x.url = url;
    x.form = std::move(form);
    JOBLOG("%s() start.\n", name);
    JOBLOG("%s, roamingURL = %s\n", name, url.c_str());
    JOBLOG("%s, postData length = %zu\n", name, x.form.size());
    const Transfer t = DefaultRelayClient().Post(x);
    explicit_bzero(x.form.data(), x.form.size());
    if (t == Transfer::SetupFailed) {
        JOBLOG("[ERR]%s, client set-up failed: %s\n", name, x.error.c_str());
        return codes.setup;
    }
    if (t == Transfer::TransferFailed) {
        JOBLOG("[ERR]%s, curl_easy_perform() failed: %s\n", name, x.error.c_str());
        return codes.transfer;
    }
    JOBLOG("CURLINFO_HTTP_CODE : [%ld]\n", x.status);
    if (x.status != 200) {
        explicit_bzero(x.body.data(), x.body.size());
        return codes.status;
    }
    JOBLOG("%s, responseBody length = %zu\n", name, x.body.size());
    reply = std::move(x.body);
    return 0;
}

bool digitsOnly(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

}  // namespace

int ImportCertificateWithURL(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                             std::string& reply) {
    reply.clear();
    // A number is digits: anything else could carry fields of its own.
    if (!digitsOnly(authNum)) return kImportSetup;
    return post("ImportCertificateWithURL", roamingURL,
                "Action=IMPORT&SVer=" + URLEncodeText(sVer) + "&AuthNum=" + URLEncodeText(authNum),
                {kImportSetup, kImportTransfer, kImportStatus}, reply);
}

int ImportSetStatus(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                    const std::string& status, std::string& reply) {
    reply.clear();
    if (!digitsOnly(authNum)) return kSetStatusSetup;
    return post("ImportSetStatus", roamingURL,
                "Action=SET_STATUS&SVer=" + URLEncodeText(sVer) + "&AuthNum=" + URLEncodeText(authNum) +
                    "&Status=" + URLEncodeText(status),
                {kSetStatusSetup, kSetStatusTransfer, kSetStatusStatus}, reply);
}

int ExportCertificate(const std::string& roamingURL, const std::string& encCert, const std::string& sVer, int size,
                      std::string& reply) {
    std::string encoded = URLEncodeText(encCert);
    const int rc =
        post("ExportCertificate", roamingURL,
             "Action=EXPORT&SVer=" + URLEncodeText(sVer) + "&Size=" + std::to_string(size) + "&EncCert=" + encoded,
             {kExportSetup, kExportTransfer, kExportStatus}, reply);
    explicit_bzero(encoded.data(), encoded.size());
    return rc;
}

int ExportGetStatus(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                    std::string& reply) {
    reply.clear();
    if (!digitsOnly(authNum)) return kGetStatusSetup;
    return post("ExportGetStatus", roamingURL,
                "Action=GET_STATUS&SVer=" + URLEncodeText(sVer) + "&AuthNum=" + URLEncodeText(authNum),
                {kGetStatusSetup, kGetStatusTransfer, kGetStatusStatus}, reply);
}

int send_P10CertRequestAndgetCert(const std::string& serverURL, const std::string& postData, std::string& certificate) {
    certificate.clear();
    std::string reply;
    const int rc =
        post("send_P10CertRequestAndgetCert", serverURL, postData, {kP10Setup, kP10Transfer, kP10Status}, reply);
    if (rc != 0) return rc;
    if (ParseP10Reply(reply, certificate) != 0) {
        JOBLOG("send_P10CertRequestAndgetCert, resposeBody_isNot_success. Program Terminated.\n");
        return kP10NotSuccess;
    }
    return 0;
}

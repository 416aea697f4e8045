// The relay exchanges of a job: getFunc, setResult and the job codes, and
// image downloads. The transport is IRelayClient's.
#include <unistd.h>

#include <cstring>

#include "common/DMLinuxUtil.h"
#include "job/IRelayClient.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

bool isSafeFileName(const char* name) {
    if (!name || !*name) return false;
    const std::string_view n(name);
    return n != "." && n != ".." && n.find('/') == std::string_view::npos;
}

void logExchange(const char* what, const HttpExchange& x) {
    JOBLOG("%s, url = %s\n", what, x.url.c_str());
    // The session is the page's cookie: its length only.
    JOBLOG("%s, SESSION Len = %zu\n", what, x.cookie.size());
    JOBLOG("%s, postData = %s\n", what, x.form.c_str());
}

}  // namespace

bool RelaySessionExpired(int relayCode) { return relayCode == 302 || relayCode == 402 || relayCode == 600; }

int send_GetFunc(const std::string& url, const std::string& session, const std::string& reqID,
                 const std::string& policyName, const char* caCertIDs, std::string& reply, int* relayCode) {
    reply.clear();
    if (relayCode) *relayCode = 0;
    HttpExchange x;
    x.url = url;
    x.cookie = session;
    // The ids are encoded as the result is; the CA ids come encoded.
    x.form = "Action=getFunc&reqID=" + URLEncodeText(reqID) + "&PolicyName=" + URLEncodeText(policyName) +
             "&CACertIDs=" + (caCertIDs ? caCertIDs : "");
    logExchange("send_GetFunc", x);
    WriteLogFile("[NOT]", "curl_easy_perform() +");
    const Transfer t = DefaultRelayClient().Post(x);
    WriteLogFile("[NOT]", "curl_easy_perform() -");
    if (t == Transfer::SetupFailed) {
        JOBLOG("send_GetFunc, client set-up FAILED (%s). Program Terminated.\n", x.error.c_str());
        return kGetFuncSetup;
    }
    if (t == Transfer::TransferFailed) {
        JOBLOG("send_GetFunc, curl_easy_perform FAILED (%s). Program Terminated.\n", x.error.c_str());
        return kGetFuncTransfer;
    }
    JOBLOG("CURLINFO_HTTP_CODE : [%ld]\n", x.status);
    if (x.status != 200) {
        JOBLOG("send_GetFunc, CURLINFO_HTTP_CODE_isNot_200_OK. Program Terminated.\n");
        return kGetFuncStatus;
    }
    JOBLOG("CURLINFO_SIZE_DOWNLOAD : [%zu]\n", x.body.size());
    if (x.body.empty()) {
        JOBLOG("send_GetFunc, CURLINFO_SIZE_DOWNLOAD is zero. Program Terminated.\n");
        return kGetFuncEmpty;
    }
    int code = 0;
    ParseErrorAnswer(x.body, &code, nullptr);
    if (code > 0) {
        JOBLOG("send_GetFunc, the relay answered with error %d.\n", code);
        if (relayCode) *relayCode = code;
        explicit_bzero(x.body.data(), x.body.size());
        return kRelayErrorAnswer;
    }
    reply = std::move(x.body);
    return 0;
}

int send_ResultByFunc(const std::string& url, const std::string& session, const std::string& reqID,
                      const char* retStatus, const std::string& retData, std::string* reply) {
    if (reply) reply->clear();
    const std::string inner = std::string("ret=") + (retStatus ? retStatus : "") + "&retdata=" + URLEncodeText(retData);
    HttpExchange x;
    x.url = url;
    x.cookie = session;
    x.form = "Action=setResult&reqID=" + URLEncodeText(reqID) + "&returnValue=" + URLEncodeText(inner);
    logExchange("send_ResultByFunc", x);
    WriteLogFile("[NOT]", "curl_easy_perform() +");
    const Transfer t = DefaultRelayClient().Post(x);
    WriteLogFile("[NOT]", "curl_easy_perform() -");
    int result = 0;
    if (t == Transfer::SetupFailed) {
        JOBLOG("send_ResultByFunc, client set-up FAILED (%s). Program Terminated.\n", x.error.c_str());
        result = kSetResultSetup;
    } else if (t == Transfer::TransferFailed) {
        JOBLOG("send_ResultByFunc, curl_easy_perform FAILED (%s). Program Terminated.\n", x.error.c_str());
        result = kSetResultTransfer;
    } else {
        JOBLOG("CURLINFO_HTTP_CODE : [%ld]\n", x.status);
        if (x.status != 200) {
            JOBLOG("send_ResultByFunc, CURLINFO_HTTP_CODE_isNot_200_OK. Program Terminated.\n");
            result = kSetResultStatus;
        } else {
            JOBLOG("send_ResultByFunc, responseBody = %s\n", x.body.c_str());
            if (reply) *reply = std::move(x.body);
        }
    }
    JOBLOG("send_ResultByFunc() end.\n");
    return result;
}

namespace {

int postResult(const char* ret, const std::string& data) {
    if (!strURLValues) return kSetResultSetup;
    std::string reply;
    return send_ResultByFunc(strURLValues->url, strURLValues->SESSION, strURLValues->reqID, ret, data, &reply);
}

}  // namespace

int send_ErrCode(const char* code) {
    const std::string data = std::string("ErrMsg=") + (code ? code : "");
    const int rc = postResult("2", data);
    if (rc != 0) {
        JOBLOG("send_ErrCode, send_ResultByFunc FAILED. Program Terminated.\n");
        QUILLET_EXIT(0);
    }
    WriteLogFile("[NOT] send_ErrCode() ok, ErrMsg = ", code ? code : "");
    return rc;
}

int send_Cancel() {
    const int rc = postResult("3", "");
    JOBLOG("%s\n", rc == 0 ? "send_Cancel() ok" : "send_Cancel, send_ResultByFunc FAILED. Program Terminated.");
    return rc;
}

int send_BlankOK() {
    const int rc = postResult("1", "");
    JOBLOG("%s\n", rc == 0 ? "send_BlankOK() ok" : "send_BlankOK, send_ResultByFunc FAILED. Program Terminated.");
    return rc;
}

int Downlaod_ImageURL(const char* url, const char* fileName, std::string& outPath) {
    outPath.clear();
    if (!url || !isSafeFileName(fileName) || !DMLinuxUtil_HasUserHOMEDir()) {
        JOBLOG("Downlaod_ImageURL(), fopen() FAILED.\n");
        return -1;
    }
    const std::string path = JobHomeDir() + "/NPKI/.veridanCACerts/" + fileName;
    WriteLogFile("[NOT] Downlaod_ImageURL(), TitleLogoPath = ", url);
    HttpExchange x;
    x.url = url;
    x.cap = kImageReplyCap;
    WriteLogFile("[NOT]", "curl_easy_perform() +");
    const Transfer t = DefaultRelayClient().Get(x);
    WriteLogFile("[NOT]", "curl_easy_perform() -");
    if (t == Transfer::SetupFailed) {
        JOBLOG("Downlaod_ImageURL, curl_easy_init FAILED (%s).\n", x.error.c_str());
        return kImageSetup;
    }
    if (t == Transfer::TransferFailed || x.status != 200) {
        JOBLOG("[ERROR] Downlaod_ImageURL, curl_easy_perform() failed: %s (status %ld)\n", x.error.c_str(), x.status);
        return kImageTransfer;
    }
    // Whole or not at all: a half-written image is never left behind.
    if (DMLinuxUtil_WriteFileAtomic(path, x.body, 0600) != 0) {
        JOBLOG("Downlaod_ImageURL(), fopen() FAILED.\n");
        return -1;
    }
    outPath = path;
    return 0;
}

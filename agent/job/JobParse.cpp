// The parsers' front ends: they log what the pure parsers noted.
#include <unistd.h>

#include <cstring>

#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

void logNotes(const ParseNotes& notes) {
    for (const ParseNote& n : notes) WriteLogFile(n.tag.c_str(), n.text.c_str());
}

}  // namespace

int pars_URL_Parameter(const char* text, StructURLValues* out) {
    if (!text || !out) return -1;
    // The parameter holds the page's session: its length only.
    WriteLogFileWithInt("[NOT] main, pars_URL_Parameter() urlValue Len = ", static_cast<int>(std::strlen(text)));
    ParseNotes notes;
    const int rc = ParseStartParameter(text, *out, notes);
    logNotes(notes);
    WriteLogFileWithInt("[NOT] main, pars_URL_Parameter(), strURLValues->SESSION Len = ",
                        static_cast<int>(out->SESSION.size()));
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->reqID = ", out->reqID.c_str());
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->policyName = ", out->policyName.c_str());
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->url = ", out->url.c_str());
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->wv = ", out->wv.c_str());
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->macVersion = ", out->macVersion.c_str());
    WriteLogFile("[NOT] main, pars_URL_Parameter(), strURLValues->linuxVersion = ", out->linuxVersion.c_str());
    return rc;
}

int pars_ServerRetValue(const char* reply, std::string& funcName, StructPolicyList* out) {
    if (!reply || !out) return -1;
    // The reply carries the policy's Nonce: its length only.
    WriteLogFileWithInt("[NOT] pars_ServerRetValue(), reply Len = ", static_cast<int>(std::strlen(reply)));
    ParseNotes notes;
    const int rc = ParseServerReply(reply, funcName, *out, g_signParams, notes);
    logNotes(notes);
    if (rc == 0 && !DecimalInt(out->Mode, g_Mode)) g_Mode = 0;
    return rc;
}

int pars_RequestRetValue(const char* body, int* code, std::string* message) {
    if (!body || !ParseErrorAnswer(body, code, message))
        WriteLogFile("[NOT]", "pars_RequestRetValue(retValue) is NO ERROR.");
    return 0;
}

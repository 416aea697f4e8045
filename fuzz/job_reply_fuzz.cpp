// The relay's getFunc answers and error answers: an accepted policy keeps
// every field to its width, sign data and title come from the reply, error
// messages are the body's tail, and the version order is consistent.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    std::string func;
    StructPolicyList policy;
    SignParams sign;
    ParseNotes notes;
    const int rc = ParseServerReply(body, func, policy, sign, notes);
    if (rc != 0 && rc != -1) abort();
    if (rc == 0) {
        if (func.empty() || func.size() >= kFuncNameWidth) abort();
        if (body.find(func) == std::string::npos) abort();
        size_t count = 0;
        const PolicyKey* keys = PolicyKeys(count);
        for (size_t i = 0; i < count; ++i)
            if (keys[i].text && (policy.*keys[i].text).size() >= keys[i].width) abort();
        if (func == "getVersion" && (!policy.CAName.empty() || sign.paramCount != 0)) abort();
        if ((func == "sign" && (sign.paramCount < 1 || sign.paramCount > 2)) ||
            (func == "msign" && (sign.paramCount < 1 || sign.paramCount > 3)))
            abort();
        if (sign.data.size() > body.size()) abort();
    }
    int code = -5;
    std::string message;
    if (ParseErrorAnswer(body, &code, &message)) {
        if (message.size() >= body.size() || body.compare(body.size() - message.size(), message.size(), message) != 0)
            abort();
        if (code < -99 || code > 999) abort();
    } else if (code != -5 || !message.empty()) {
        abort();
    }
    // The version order: never both older than the other.
    const size_t half = body.size() / 2;
    const std::string a = body.substr(0, half), b = body.substr(half);
    if (CheckVersionText(a, b) == -1 && CheckVersionText(b, a) == -1) abort();
    if (CheckVersionText(a, a) != 0) abort();
    return 0;
}

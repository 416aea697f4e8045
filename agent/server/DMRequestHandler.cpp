#include "DMRequestHandler.h"

#include <json-c/json.h>

#include <cstdio>

#include "common/DMUtil.h"
#include "common/IQuillet.h"

namespace {

std::string replyCode(int code) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{\"zunres\":\"%d\"}", code);
    return buf;
}

std::string errorReply() {
    std::string reply;
    MakeJsonString(reply, "\"zunres\"", "-100");
    return "{" + reply + "}";
}

int ProcessRequest_IsRunning(IQuillet* q, const std::string&, std::string& reply) {
    if (q == nullptr) return -1;
    int running = q->IsRunning();
    reply = replyCode(running != 0 ? 2 : 1);
    return running;
}

int ProcessRequest_GetVersion(IQuillet* q, const std::string&, std::string& reply) {
    if (q == nullptr) return -1;
    const char* version = q->GetVersionString();
    if (version == nullptr || *version == '\0') {
        reply = replyCode(0);
        return 0;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "{\"zunres\":\"%d\", \"data\":\"%s\"}", 1, version);
    reply = buf;
    return 1;
}

int ProcessRequest_GetResult(IQuillet* q, const std::string&, std::string& reply) {
    if (q == nullptr) return -1;
    int result = q->GetResult(nullptr);
    reply = replyCode(result == 3 ? 3 : result == 1 ? 1 : 0);
    return result;
}

int ProcessRequest_StartQuillet(IQuillet* q, const std::string& param, std::string& reply) {
    if (q == nullptr) return -1;
    int r = q->StartQuilletProcess(param.c_str());
    // A page must not mistake "another job is pending or running" for its
    // own start, or it would later read that job's result.
    if (r == QUILLET_START_BUSY)
        reply = replyCode(kDMReplyJobBusy);
    else
        reply = replyCode(r < 0 ? 0 : 1);
    return r;
}

int ProcessRequest_DummyGetVersion(IQuillet* q, const std::string& param, std::string& reply) {
    if (q == nullptr) return -1;
    int r = q->DummyGetVersion(param.c_str());
    reply = replyCode(r < 0 ? 0 : 1);
    return r;
}

using Headers = std::vector<DMHttpHeader>;

Headers postHeaders(size_t length) {
    return {{"Access-Control-Allow-Headers", "Content-Type"},
            {"Access-Control-Allow-Methods", "POST, GET, OPTIONS"},
            {"Access-Control-Allow-Origin", "*"},
            {"Connection", "Closed"},
            {"Content-Type", "text/html;charset=UTF-8"},
            {"Content-Length", std::to_string(length)},
            {"Vary", "Accept-Encoding"},
            {"Cache-Control", "no-store, no-cache, no-revalidate"},
            {"Access-Control-Max-Age", "10000"}};
}

Headers getHeaders(size_t length) {
    return {{"Access-Control-Allow-Origin", "*"},
            {"Connection", "Closed"},
            {"Content-Type", "application/javascript"},
            {"Cache-Control", "no-store, no-cache, no-revalidate"},
            {"Content-Length", std::to_string(length)}};
}

Headers optionsHeaders(size_t length) {
    return {{"Access-Control-Allow-Headers", "Content-Type, accept, x-requested-with, X-Custom-Header"},
            {"Access-Control-Allow-Methods", "POST, GET, OPTIONS"},
            {"Access-Control-Allow-Origin", "*"},
            {"Access-Control-Max-Age", "10000"},
            {"Connection", "Closed"},
            {"Content-Type", "text/html;charset=UTF-8"},
            {"Content-Length", std::to_string(length)},
            {"Vary", "Accept-Encoding"}};
}

bool isIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }

}  // namespace

// ---- CDM_Json ----

CDM_Json::~CDM_Json() { Clear(); }

void CDM_Json::Clear() {
    if (m_root != nullptr) {
        json_object_put(m_root);
        m_root = nullptr;
    }
}

int CDM_Json::Parse(const std::string& text) {
    Clear();
    json_tokener* tok = json_tokener_new();
    if (tok == nullptr) return -1;
    json_object* obj = json_tokener_parse_ex(tok, text.c_str(), static_cast<int>(text.size()));
    bool ok = obj != nullptr && json_tokener_get_error(tok) == json_tokener_success;
    // Only white space may follow the document.
    if (ok) {
        for (size_t i = json_tokener_get_parse_end(tok); i < text.size(); ++i) {
            char c = text[i];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                ok = false;
                break;
            }
        }
    }
    json_tokener_free(tok);
    if (!ok) {
        json_object_put(obj);
        return -1;
    }
    if (!json_object_is_type(obj, json_type_object)) {
        json_object_put(obj);
        return -2;
    }
    m_root = obj;
    return 0;
}

int CDM_Json::GetValueString(const char* key, std::string& out) {
    if (m_root == nullptr) return -1;
    json_object* value = nullptr;
    if (key == nullptr || !json_object_object_get_ex(m_root, key, &value) ||
        !json_object_is_type(value, json_type_string))
        return -2;
    // The member's JSON text, with the library's escapes (it writes "/" as
    // "\/"); the connector drops the enclosing quotes.
    out = json_object_to_json_string_ext(value, JSON_C_TO_STRING_PLAIN);
    return 0;
}

// ---- CDMQuilletHandler ----

CDMQuilletHandler::CDMQuilletHandler() { CreateMap(); }

CDMQuilletHandler::CDMQuilletHandler(IQuillet* quillet) : m_quillet(quillet) { CreateMap(); }

void CDMQuilletHandler::InsertProcessMap(const char* name, ProcessRequestFunc func) {
    m_processMap[std::string("\"") + name + "\""] = func;
}

void CDMQuilletHandler::CreateMap() {
    InsertProcessMap("isRunning", ProcessRequest_IsRunning);
    InsertProcessMap("getVersion2", ProcessRequest_GetVersion);
    InsertProcessMap("getResult", ProcessRequest_GetResult);
    for (const char* job : {"login", "showCertManager", "sign", "msign", "issue", "update", "revoke", "roaming",
                            "certRequest", "insertCert"})
        InsertProcessMap(job, ProcessRequest_StartQuillet);
    InsertProcessMap("getVersion", ProcessRequest_DummyGetVersion);
}

void CDMQuilletHandler::SetFunctionData(const std::string& func, const std::string& param) {
    m_function = func;
    m_param = param;
}

int CDMQuilletHandler::ProcessQuilletRequest(std::string& replyJson) {
    if (m_quillet == nullptr) return -1;
    auto it = m_processMap.find(m_function);
    if (it == m_processMap.end()) return -1;
    return it->second(m_quillet, m_param, replyJson);
}

// ---- CDMHttpRequestHandler ----

void MakeJsonString(std::string& list, const std::string& key, const std::string& value) {
    if (!list.empty()) list += ",";
    list += key;
    list += ":";
    list += value;
}

bool DMIsSafeCallback(const std::string& callback) {
    if (callback.empty() || callback.size() > kDMMaxCallbackLength) return false;
    bool segmentStart = true;
    for (char c : callback) {
        if (c == '.') {
            if (segmentStart) return false;
            segmentStart = true;
        } else if (segmentStart) {
            if (!isIdentStart(c)) return false;
            segmentStart = false;
        } else if (!isIdentStart(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return !segmentStart;
}

void CDMHttpRequestHandler::SetQuilletInstance(IQuillet* quillet) {
    m_quillet = quillet;
    m_handler.SetQuilletInstance(quillet);
}

void CDMHttpRequestHandler::handle_request(const SDMHttpRequest& request, const std::string& body,
                                           SDMHttpReply& reply) {
    // The path is what is guarded: "..." in a JSONP call's data is fine.
    std::string path;
    DMUtil_URLDecode(std::string_view(request.uri).substr(0, request.uri.find('?')), path);
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) {
        reply = SDMHttpReply::stock_reply(SDMHttpReply::bad_request);
        return;
    }
    int type = kGet;
    std::string data;
    if (request.method == "POST") {
        type = kPost;
        data = body;
    } else if (request.method == "OPTIONS") {
        type = kOptions;
    } else {
        data = request.uri;
    }
    std::string text;
    DMUtil_URLDecode(data, text);
    handle_quillet(text, reply, type);
}

int CDMHttpRequestHandler::GetJsonStringFromReqData(const std::string& text, std::string& json, int type) {
    std::string raw;
    if (type == kPost) {
        size_t at = text.find("data=");
        if (at == std::string::npos) return -1;
        raw = text.substr(at + 5);
    } else if (!DMUtil_Parse_GetValue(text.c_str(), "data", raw)) {
        return -1;
    }
    DMUtil_URLDecode(raw, json);
    return json.empty() ? -1 : 0;
}

int CDMHttpRequestHandler::ProcessQuilletRequest(const std::string& func, const std::string& param,
                                                 std::string& replyJson) {
    m_handler.SetFunctionData(func, param);
    return m_handler.ProcessQuilletRequest(replyJson);
}

void CDMHttpRequestHandler::handle_quillet(const std::string& text, SDMHttpReply& reply, int type) {
    std::string callback;
    std::string replyJson;
    bool haveCallback = false;
    bool unsafeCallback = false;
    if (type == kGet) {
        haveCallback = DMUtil_Parse_GetValue(text.c_str(), "callback", callback) && !callback.empty();
        if (haveCallback && !DMIsSafeCallback(callback)) {
            // Never reflect it into the script.
            haveCallback = false;
            unsafeCallback = true;
        }
    }
    if (type == kOptions) {
        // Pre-flight: headers only.
    } else if (type == kGet && !haveCallback) {
        replyJson = errorReply();
    } else {
        std::string json;
        CDM_Json doc;
        std::string func;
        std::string param;
        if (GetJsonStringFromReqData(text, json, type) != 0 || doc.Parse(json) != 0 ||
            doc.GetValueString("func", func) != 0) {
            replyJson = errorReply();
        } else {
            doc.GetValueString("param", param);
            ProcessQuilletRequest(func, param, replyJson);
        }
    }

    std::string body;
    if (type == kPost)
        body = replyJson;
    else if (type == kGet && haveCallback)
        body = "try { " + callback + "(" + replyJson + ");" + "} catch (e){}";
    else if (type == kGet && unsafeCallback)
        body = replyJson;

    reply.status = SDMHttpReply::ok;
    reply.content = std::move(body);
    switch (type) {
        case kPost:
            reply.headers = postHeaders(reply.content.size());
            break;
        case kOptions:
            reply.headers = optionsHeaders(reply.content.size());
            break;
        default:
            reply.headers = getHeaders(reply.content.size());
            break;
    }
}

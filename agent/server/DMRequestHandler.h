// Takes the JSON command out of a request, runs it against the connector
// and builds the reply with its CORS headers.
#pragma once

#include <map>
#include <string>

#include "DMHttp.h"

class IQuillet;
struct json_object;

// One parsed JSON document.
class CDM_Json {
public:
    CDM_Json() = default;
    virtual ~CDM_Json();
    CDM_Json(const CDM_Json&) = delete;
    CDM_Json& operator=(const CDM_Json&) = delete;

    // 0; -1 not JSON; -2 the top level is not an object.
    virtual int Parse(const std::string& text);
    // 0 with the member's JSON text (quotes and escapes included); -1 no
    // document; -2 the member is missing or not a string.
    virtual int GetValueString(const char* key, std::string& out);
    void Clear();

private:
    json_object* m_root = nullptr;
};

using ProcessRequestFunc = int (*)(IQuillet*, const std::string& param, std::string& replyJson);

class CDMQuilletHandler {
public:
    CDMQuilletHandler();
    explicit CDMQuilletHandler(IQuillet* quillet);
    virtual ~CDMQuilletHandler() = default;

    void SetQuilletInstance(IQuillet* quillet) { m_quillet = quillet; }
    void SetFunctionData(const std::string& func, const std::string& param);
    // -1 when there is no connector or the command is unknown (reply empty).
    int ProcessQuilletRequest(std::string& replyJson);

private:
    void CreateMap();
    void InsertProcessMap(const char* name, ProcessRequestFunc func);

    std::string m_function;
    std::string m_param;
    IQuillet* m_quillet = nullptr;
    // Keyed by the quoted name, as the JSON library writes a string.
    std::map<std::string, ProcessRequestFunc> m_processMap;
};

// The answer of a job command that found another job pending or running.
inline constexpr int kDMReplyJobBusy = 2;
// The longest JSONP callback name accepted.
inline constexpr size_t kDMMaxCallbackLength = 128;

class CDMHttpRequestHandler {
public:
    enum RequestType { kGet = 0, kPost = 1, kOptions = 2 };

    CDMHttpRequestHandler() = default;
    CDMHttpRequestHandler(const CDMHttpRequestHandler&) = delete;
    CDMHttpRequestHandler& operator=(const CDMHttpRequestHandler&) = delete;

    void SetQuilletInstance(IQuillet* quillet);
    void handle_request(const SDMHttpRequest& request, const std::string& body, SDMHttpReply& reply);
    void handle_quillet(const std::string& text, SDMHttpReply& reply, int type);
    // 0, or -1 when no JSON text was found.
    int GetJsonStringFromReqData(const std::string& text, std::string& json, int type);
    int ProcessQuilletRequest(const std::string& func, const std::string& param, std::string& replyJson);

private:
    IQuillet* m_quillet = nullptr;
    CDMQuilletHandler m_handler;
};

// Appends "," when list is not empty, then key, ":" and value.
void MakeJsonString(std::string& list, const std::string& key, const std::string& value);
// Letters, digits, "_" and "$" in dot-separated names that do not start
// with a digit: all a page needs, and nothing that can break out of the call.
bool DMIsSafeCallback(const std::string& callback);

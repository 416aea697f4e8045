// The small subset of HTTP/1.x the command server speaks: the request
// record and its byte-at-a-time parser, the reply record and its wire form.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct DMHttpHeader {
    std::string name;
    std::string value;
};

struct SDMHttpRequest {
    std::string method;
    std::string uri;
    int http_version_major = 0;
    int http_version_minor = 0;
    std::vector<DMHttpHeader> headers;
};

struct SDMHttpReply {
    enum status_type {
        ok = 200,
        created = 201,
        accepted = 202,
        no_content = 204,
        multiple_choices = 300,
        moved_permanently = 301,
        moved_temporarily = 302,
        not_modified = 304,
        bad_request = 400,
        unauthorized = 401,
        forbidden = 403,
        not_found = 404,
        internal_server_error = 500,
        not_implemented = 501,
        bad_gateway = 502,
        service_unavailable = 503,
    };

    status_type status = ok;
    std::vector<DMHttpHeader> headers;
    std::string content;

    // Status line, headers in vector order, blank line, content. The views
    // point into this reply and static strings.
    std::vector<std::string_view> to_buffers() const;
    // The same pieces joined into one block.
    std::string serialize() const;

    static SDMHttpReply stock_reply(status_type status);
};

enum class DMParse { bad, good, indeterminate };

// Reads a request head one byte at a time: the request line
// ("GET /x HTTP/1.1"), header lines ("Name: value", continued on lines that
// start with a blank), then the blank line that ends the head.
class CDMHttpRequestParser {
public:
    // The version numbers take at most this many digits each.
    static constexpr int kMaxVersionDigits = 3;

    void reset() {
        m_state = State::MethodStart;
        m_protocolAt = 0;
        m_versionDigits = 0;
    }
    DMParse consume(SDMHttpRequest& req, char c);
    // Feeds bytes until the request head is complete or malformed; returns the
    // result and the position after the last byte consumed.
    template <typename It>
    std::pair<DMParse, It> parse(SDMHttpRequest& req, It begin, It end) {
        while (begin != end) {
            DMParse r = consume(req, *begin++);
            if (r != DMParse::indeterminate) return {r, begin};
        }
        return {DMParse::indeterminate, begin};
    }

private:
    enum class State {
        // request line
        MethodStart,
        Method,
        Uri,
        Protocol,  // "HTTP/", one letter at a time
        MajorStart,
        Major,
        MinorStart,
        Minor,
        RequestLineLf,
        // header lines
        HeaderLineStart,
        ContinuationBlanks,  // leading blanks of a continuation line
        HeaderName,
        BlankAfterColon,
        HeaderValue,
        HeaderLineLf,
        HeadEndLf,  // the LF of the blank line that ends the head
    };

    DMParse requestLine(SDMHttpRequest& req, char ch);
    DMParse version(SDMHttpRequest& req, int c);
    DMParse headerLine(SDMHttpRequest& req, char ch);
    // Adds a digit to field; false once it has taken kMaxVersionDigits.
    bool versionDigit(int& field, int c);
    DMParse next(State state) {
        m_state = state;
        return DMParse::indeterminate;
    }

    State m_state = State::MethodStart;
    size_t m_protocolAt = 0;
    int m_versionDigits = 0;
};

// MIME type by file extension.
std::string extension_to_type(const std::string& extension);

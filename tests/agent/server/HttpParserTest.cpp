#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/DMHttp.h"

namespace {

struct ParseOutcome {
    DMParse result;
    size_t consumed;
    SDMHttpRequest request;
};

// Feeds the text in pieces of the given sizes (the rest in one piece), as
// successive reads would deliver it.
ParseOutcome parseInPieces(const std::string& text, std::vector<size_t> pieces = {}) {
    ParseOutcome out{DMParse::indeterminate, 0, {}};
    CDMHttpRequestParser parser;
    size_t at = 0;
    pieces.push_back(text.size());
    for (size_t piece : pieces) {
        size_t end = std::min(text.size(), at + piece);
        auto [r, pos] =
            parser.parse(out.request, text.begin() + static_cast<long>(at), text.begin() + static_cast<long>(end));
        out.result = r;
        out.consumed = static_cast<size_t>(pos - text.begin());
        if (r != DMParse::indeterminate || end == text.size()) break;
        at = end;
    }
    return out;
}

struct Case {
    const char* name;
    std::string text;
    DMParse expected;
};

TEST(HttpParser, StatesTable) {
    const std::vector<Case> cases = {
        {"get with one header", "GET /x HTTP/1.1\r\nHost: a\r\n\r\n", DMParse::good},
        {"post without headers", "POST / HTTP/1.0\r\n\r\n", DMParse::good},
        {"continuation line", "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n", DMParse::good},
        {"three-digit version", "GET / HTTP/100.999\r\n\r\n", DMParse::good},
        {"incomplete head", "GET / HTTP/1.1\r\nHost: a\r\n", DMParse::indeterminate},
        {"leading carriage return", "\r\nGET / HTTP/1.1\r\n\r\n", DMParse::bad},
        {"separator in method", "G(T / HTTP/1.1\r\n\r\n", DMParse::bad},
        {"control in uri", std::string("GET /\x01 HTTP/1.1\r\n\r\n"), DMParse::bad},
        {"not HTTP", "GET / HTXP/1.1\r\n\r\n", DMParse::bad},
        {"protocol in lower case", "GET / http/1.1\r\n\r\n", DMParse::bad},
        {"protocol without its slash", "GET / HTTP1.1\r\n\r\n", DMParse::bad},
        {"two blanks before the protocol", "GET /  HTTP/1.1\r\n\r\n", DMParse::bad},
        {"no version digits", "GET / HTTP/.1\r\n\r\n", DMParse::bad},
        {"four-digit major", "GET / HTTP/1000.1\r\n\r\n", DMParse::bad},
        {"endless minor", "GET / HTTP/1." + std::string(50, '1') + "\r\n\r\n", DMParse::bad},
        {"lone CR after version", "GET / HTTP/1.1\rX", DMParse::bad},
        {"no blank after colon", "GET / HTTP/1.1\r\nHost:a\r\n\r\n", DMParse::bad},
        {"separator in header name", "GET / HTTP/1.1\r\nHo st: a\r\n\r\n", DMParse::bad},
        {"continuation before any header", "GET / HTTP/1.1\r\n a\r\n\r\n", DMParse::bad},
        {"control in header value", std::string("GET / HTTP/1.1\r\nX: a\x02\r\n\r\n"), DMParse::bad},
        {"CR without LF at the end", "GET / HTTP/1.1\r\n\rX", DMParse::bad},
    };
    for (const auto& c : cases) {
        // Whole, and byte by byte: the parser keeps its state between reads.
        EXPECT_EQ(parseInPieces(c.text).result, c.expected) << c.name;
        std::vector<size_t> ones(c.text.size(), 1);
        EXPECT_EQ(parseInPieces(c.text, ones).result, c.expected) << c.name << " (byte by byte)";
    }
}

TEST(HttpParser, FillsTheRequestAndStopsAtTheHeadsEnd) {
    const std::string head = "GET /x?a=1 HTTP/1.1\r\nHost: a\r\nX: a\r\n\tb\r\n\r\n";
    auto out = parseInPieces(head + "BODY", {7, 20});
    ASSERT_EQ(out.result, DMParse::good);
    EXPECT_EQ(out.consumed, head.size());
    EXPECT_EQ(out.request.method, "GET");
    EXPECT_EQ(out.request.uri, "/x?a=1");
    EXPECT_EQ(out.request.http_version_major, 1);
    EXPECT_EQ(out.request.http_version_minor, 1);
    ASSERT_EQ(out.request.headers.size(), 2u);
    EXPECT_EQ(out.request.headers[0].name, "Host");
    EXPECT_EQ(out.request.headers[0].value, "a");
    // A continuation adds to the value without a separator.
    EXPECT_EQ(out.request.headers[1].value, "ab");
}

TEST(HttpReply, StockRepliesAndWireForm) {
    auto bad = SDMHttpReply::stock_reply(SDMHttpReply::bad_request);
    EXPECT_EQ(bad.serialize(),
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 89\r\nContent-Type: text/html\r\n\r\n"
              "<html><head><title>Bad Request</title></head><body><h1>400 Bad Request</h1></body></html>");

    auto ok = SDMHttpReply::stock_reply(SDMHttpReply::ok);
    EXPECT_EQ(ok.serialize(), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nContent-Type: text/html\r\n\r\n");

    auto noContent = SDMHttpReply::stock_reply(SDMHttpReply::no_content);
    EXPECT_EQ(noContent.content,
              "<html><head><title>No Content</title></head><body><h1>204 Content</h1></body></html>");

    // A status without a line of its own is written as 500.
    auto teapot = SDMHttpReply::stock_reply(static_cast<SDMHttpReply::status_type>(418));
    EXPECT_EQ(teapot.serialize().rfind("HTTP/1.1 500 Internal Server Error\r\n", 0), 0u);
    EXPECT_EQ(teapot.content, SDMHttpReply::stock_reply(SDMHttpReply::internal_server_error).content);

    SDMHttpReply custom;
    custom.headers = {{"B", "2"}, {"A", "1"}};
    custom.content = "x";
    EXPECT_EQ(custom.serialize(), "HTTP/1.1 200 OK\r\nB: 2\r\nA: 1\r\n\r\nx");
}

}  // namespace

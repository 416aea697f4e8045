// URL text helpers of the agent.
#pragma once

#include <string>
#include <string_view>

// Each "%" with two hex digits becomes that byte; everything else, "+" and
// a "%" without two hex digits included, is copied. Returns 1.
int DMUtil_URLDecode(std::string_view in, std::string& out);
// "+" becomes a blank and "%XX" a byte; a "%" without two hex digits fails.
// Returns 1, or 0 with out unspecified.
int DMUtil_URLDecodeStream(std::string_view in, std::string& out);
// Letters, digits, "-", "_" and "." stay, white space becomes "+", every
// other byte "%XX" in upper case.
std::string DMUtil_URLEncode(std::string_view text);
char DMUtil_HexChar(unsigned nibble);

// Value of name in a query text: the first "name=" anywhere in it, up to the
// next "&". An empty value followed by "&" gives false.
bool DMUtil_Parse_GetValue(const char* query, const char* name, std::string& value);

struct DMUrlParts {
    std::string scheme;
    std::string host;
    int port = 0;
    std::string rest;
};
// scheme "://" host [":" port] ["/" rest]; false when the URL has no "://"
// or a bad port.
bool DMUtil_SplitURL(std::string_view url, DMUrlParts& parts);
// "domainport" gives "host:port"; any other name its value in the rest.
int DMUtil_GetPaserURL(const char* url, const char* name, std::string& out);

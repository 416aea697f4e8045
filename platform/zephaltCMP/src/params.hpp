// The stand-in's text parsers: the CMP parameter text and RFC 4514 names.
// Pure functions, for the library and its fuzz target.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zcmp {

struct Params {
    std::string refVal, authCode, caIp, caName, caPath, cmd;
    int caPort = 0;
    bool has(const char* key) const;
    unsigned seen = 0;  // bit per key
};

// "&"-separated KEY=value pairs: keys REFVAL, AUTHCODE, CAIP, CAPORT,
// CANAME, CAPATH, CMD, each at most once, letters without case. Refused:
// an unknown key or a repeat, a pair without "=", a value holding a control
// character, a CAIP that is no host name or address, a CAPORT that is not
// 1-65535 in decimal, a CMD other than "RENEW". An empty text gives no key.
bool parseParams(std::string_view text, Params& out);

// One attribute of a name: its OpenSSL short name (or dotted identifier)
// and its value (UTF-8, escapes removed). set: the index of its RDN.
struct Attribute {
    std::string type;
    std::string value;
    int set;
};

// An RFC 4514 name ("CN=Hong,O=Veridan,C=KR"; "+" joins the attributes of
// one RDN; "\," and "\2C" escape), attributes in text order (the most
// specific first). Types: CN, C, O, OU, L, ST, STREET, DC, UID, E or
// EMAILADDRESS, SERIALNUMBER, or a dotted identifier; letters without case.
// Refused: an empty text or value, an unknown type, a bad escape, a zero
// byte or a control character, more than 64 attributes.
bool parseDn(std::string_view text, std::vector<Attribute>& out);

}  // namespace zcmp

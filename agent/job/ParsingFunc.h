// Parsers of the texts a job receives: the start parameter the page sends
// (through the daemon, with json-c's escapes), the relay's getFunc answer
// and its error answers, version and system texts. Pure functions over
// text: nothing here logs, allocates outside its results or touches
// process state; what a caller should log comes back as notes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/JobTypes.h"

struct ParseNote {
    std::string tag;  // "[NOT]", "[WAR]", "[ERR]"
    std::string text;
};
using ParseNotes = std::vector<ParseNote>;

// Undoes every JSON string escape (\" \\ \/ \b \f \n \r \t \uXXXX with
// surrogate pairs as UTF-8). False for a broken escape, a lone surrogate or
// \u0000 (no C text could carry it).
bool JsonUnescape(std::string_view in, std::string& out);

// "%" with two hex digits becomes that byte, "+" a blank; any other "%"
// stays.
std::string URLDecodeText(std::string_view in);
// Letters, digits and "@./_-" stay, a blank becomes "+", every other byte
// "%" and two lower-case hex digits.
std::string URLEncodeText(std::string_view in);

// Widths of the start parameter's fields (a value holds at most width - 1
// bytes).
inline constexpr size_t kSessionWidth = 1024;
inline constexpr size_t kUrlWidth = 1024;
inline constexpr size_t kShortWidth = 100;
// funcName is a 100-byte field.
inline constexpr size_t kFuncNameWidth = 100;

// The start parameter. Keys (any letter case) count at the start of the
// text or right after "&"; a value runs to the "&" before the next key. The
// first occurrence of a key is taken. Every value is unescaped (JSON), then
// SESSION, url and linuxVersion are URL-decoded. 0; -1 when no key is found,
// SESSION, reqID, policyName or url is missing, an escape is broken or a
// value is over its width. The record keeps what could be read either way,
// so an error post can still reach the relay.
int ParseStartParameter(std::string_view text, StructURLValues& out, ParseNotes& notes);

// The getFunc answer "funcName=<name>&PolicyList=<list>&paramCount=<n>
// &param1=...". The three keys count at the start or after "&". 0 (for
// "getVersion" nothing past the name is read); -1 for a missing or over-long
// funcName, a missing PolicyList, a malformed sign parameter or list item,
// or a read policy value over its width (stored-only values are cut, with a
// note).
int ParseServerReply(std::string_view reply, std::string& funcName, StructPolicyList& policy, SignParams& sign,
                     ParseNotes& notes);

// An error answer: three decimal digits, "$", a message. When the body holds
// a "$", code (if given) takes the decimal reading of the at most three
// characters before it (0 when there are none or they read as nothing) and
// message (if given) the text after it; returns true. Without a "$" both
// stay untouched; false.
bool ParseErrorAnswer(std::string_view body, int* code, std::string* message);

// -1 when version is older than required, compared number by number
// ("1.2.10" is newer than "1.2.8", "1.3.0" newer than "1.2.10"; missing
// parts count as 0), else 0.
int CheckVersionText(std::string_view version, std::string_view required);

// 1 (Ubuntu-like) unless /etc/issue.net begins with "F" (Fedora-like);
// a missing file counts as Ubuntu.
int OSNameIsUbuntu(const std::optional<std::string>& issueNet);

// The decimal reading of text as strtol reads it; false when it lies
// outside int.
bool DecimalInt(std::string_view text, int& value);

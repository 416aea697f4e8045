// Parsers of the texts a job receives: the start parameter the page sends
// (through the daemon, with json-c's escapes), the relay's getFunc answer
// and its error answers, version and system texts. Pure functions over
// text: nothing here logs, allocates outside its results or touches
// process state; what a caller should log comes back as notes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

// ---- Texts of the certificate store and the relay's CA certificates ----------

// The store's decoders (VPL_DataDecode): type 0 Base64, 1 URL form, 2 URL
// form then Base64. False when the text does not decode; for types 0 and 2
// also when it decodes to nothing.
using DataDecoder = bool (*)(int type, std::string_view in, std::string& out);

// One record of the store's certificate-list text, decoded.
struct CertListRow {
    std::string subject, issuer, oidtype, expiredata, certpath, keypath, expireflag, certtype;
};

// Room of each row text, its terminating zero included, as the windows keep
// them. Paths that do not fit are never cut: their record is skipped.
inline constexpr size_t kRowTextWidth = 512;
inline constexpr size_t kRowPathWidth = 1024;
inline constexpr size_t kRowFlagWidth = 10;

// The certificate-list text: records split at "|" (empty ones skipped),
// fields at "&", each name "^" value. The first field is the subject
// whatever its name; the others go to the row field their name begins with
// (issuer, oidtype, expiredata, certpath, keypath, expireflag, certtype);
// certpath is decoded with type 2, the rest with type 1. Texts longer than
// their room are cut at a character boundary (EUC-KR), a record whose path
// does not fit is skipped with a note. Returns the number of rows appended,
// or -1 at the first record with a field of no known name, without "^", or
// whose value does not decode (the rows before it stay).
int ParseCertListRecords(std::string_view list, DataDecoder decode, std::vector<CertListRow>& rows, ParseNotes& notes);

// The store's detail text: items name "^" value, each ended by "&", stored by
// position into the eighteen fields after URL decoding (the names are not
// read; an item without "^" leaves its field empty; the text after the last
// "&" and items after the eighteenth are not used). Each value is cut to its
// field. out is cleared first. Returns the number of fields filled.
int ParseCertDetail(std::string_view detail, CertDetailInfo& out);

// The multi-sign data: items name "=" value separated by runs of "|". A name
// beginning with "HD" gives the header (decoded with type 2, then type 1;
// with stopAtHD the walk ends there); any other name an item whose value is
// decoded with type 0. Items without "=", with an empty value or whose value
// does not decode are skipped. Returns the number of items; 0 when there are
// none, and 0 with out cleared when there are more than kMultiSignMaxItems,
// a name over 31 bytes, an item over 4096 bytes or a value over 1024 bytes
// (never fewer items signed than were sent).
inline constexpr size_t kMultiSignMaxItems = 32;
int ParseMultiSignData(std::string_view data, PDFMultiSignData& out, bool stopAtHD, DataDecoder decode,
                       ParseNotes& notes);

// An item of the policy's CACerts: a stored certificate's id (40 hex digits,
// upper-cased) or a certificate in Base64.
struct CACertItem {
    bool isId = false;
    std::string text;
};
// CACerts split at "|"; empty items are skipped, a single item is one item.
// False (items cleared) when an item is over 4095 bytes.
bool SplitCACerts(std::string_view text, std::vector<CACertItem>& items);

// The common name that begins a subject DN ("cn=" in any letter case): the
// text after it up to the first ",". Empty when the DN does not begin so.
std::string SubjectCommonName(std::string_view subjectDN);

// The serial filter of a list: "serial=" and the URL-encoded serial, with a
// "0" before a serial of odd length (whole bytes of hex).
std::string SerialFilterText(std::string_view serial);
// "issuer=" and the URL-encoded name of issuerDN (from its fourth character,
// after its "cn=", up to the first ",", at most 511 characters), then "&"
// and the serial filter.
std::string IssuerSerialFilterText(std::string_view issuerDN, std::string_view serial);

// Cuts text to at most max bytes without splitting an EUC-KR character.
void CutText(std::string& text, size_t max);

// The rows a list-sign window shows for its sign data: pieces between "&"
// (as the UI's tokenizer cuts them: empty pieces kept, none after a final
// "&"), each a name and the value after its first "=" (empty without one).
// Every piece the user signs is shown, Base64 padding in values included.
std::vector<std::pair<std::string, std::string>> SplitSignDataRows(std::string_view data);

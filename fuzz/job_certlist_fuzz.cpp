// The store's certificate-list text through the job's record parser and
// the store's own decoders: a count or -1, rows within their rooms, no path
// cut, the same answer twice.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/ParsingFunc.h"
#include "job_store_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<CertListRow> rows, again;
    ParseNotes notes;
    const int n = ParseCertListRecords(text, FuzzStoreDecode, rows, notes);
    if (n < -1) abort();
    if (n >= 0 && static_cast<size_t>(n) != rows.size()) abort();
    size_t records = 1;
    for (const char c : text) records += c == '|';
    if (rows.size() > records) abort();
    for (const CertListRow& r : rows) {
        for (const std::string* t : {&r.subject, &r.issuer, &r.oidtype, &r.expiredata})
            if (t->size() >= kRowTextWidth) abort();
        if (r.certpath.size() >= kRowPathWidth || r.keypath.size() >= kRowPathWidth) abort();
        if (r.expireflag.size() >= kRowFlagWidth || r.certtype.size() >= kRowFlagWidth) abort();
    }
    ParseNotes notes2;
    if (ParseCertListRecords(text, FuzzStoreDecode, again, notes2) != n || again.size() != rows.size()) abort();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].subject != again[i].subject || rows[i].certpath != again[i].certpath) abort();
    return 0;
}

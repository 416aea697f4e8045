// The texts of the certificate information record (serials, algorithms,
// names, times) and the time texts read back, one by one.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/error.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/utils.h>

#include "crypto/x509_internal.hpp"
#include "util/core_internal.hpp"

namespace zcore::x509 {

namespace {

bool digits(const unsigned char* p, int n, int& value) {
    value = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

bool digits(std::string_view s, size_t at, int n, int& value) {
    return at + static_cast<size_t>(n) <= s.size() &&
           digits(reinterpret_cast<const unsigned char*>(s.data()) + at, n, value);
}

// A certificate time text, read by its content: the length alone does not
// tell the form once fractions and offsets are allowed.
bool parseTime(const unsigned char* text, size_t len, bool generalized, int missingSeconds, Time64_T& instant) {
    const size_t yearDigits = generalized ? 4 : 2;
    if (!text || len < yearDigits + 9) return false;  // the shortest form: minutes and a 'Z'
    int year, month, day, hour, minute, second = missingSeconds;
    if (!digits(text, static_cast<int>(yearDigits), year)) return false;
    size_t i = yearDigits;
    if (!digits(text + i, 2, month) || !digits(text + i + 2, 2, day) || !digits(text + i + 4, 2, hour) ||
        !digits(text + i + 6, 2, minute))
        return false;
    i += 8;
    if (!generalized) year += year < 50 ? 2000 : 1900;
    if (i < len && text[i] >= '0' && text[i] <= '9') {
        if (i + 2 > len || !digits(text + i, 2, second)) return false;
        i += 2;
        if (generalized && i < len && (text[i] == '.' || text[i] == ',')) {
            const size_t start = ++i;
            while (i < len && text[i] >= '0' && text[i] <= '9') ++i;
            if (i == start) return false;
        }
    }
    long offset = 0;
    if (i < len && text[i] == 'Z') {
        ++i;
    } else if (i < len && (text[i] == '+' || text[i] == '-')) {
        int oh, om;
        if (i + 5 > len || !digits(text + i + 1, 2, oh) || !digits(text + i + 3, 2, om) || oh > 23 || om > 59)
            return false;
        offset = (oh * 3600L + om * 60L) * (text[i] == '-' ? -1 : 1);
        i += 5;
    } else {
        return false;  // a time without its zone names no instant
    }
    if (i != len) return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    struct TM fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    instant = timegm64(&fields) - offset;
    return true;
}

// Value types whose bytes are shown as they are.
bool shownAsStored(int type) {
    switch (type) {
        case ASN1_TAG_PRINTABLE_STRING:
        case ASN1_TAG_T61_STRING:
        case ASN1_TAG_IA5_STRING:
        case 18:  // NumericString
        case 26:  // VisibleString
            return true;
        default:
            return false;
    }
}

// Whether a string of this type holds a NUL character.
bool holdsNul(const ASN1_STRING* s) {
    if (!s->data || s->length <= 0) return false;
    if (s->type == ASN1_TAG_BMP_STRING) {
        for (int i = 0; i + 1 < s->length; i += 2)
            if (s->data[i] == 0 && s->data[i + 1] == 0) return true;
        return false;
    }
    return std::memchr(s->data, 0, static_cast<size_t>(s->length)) != nullptr;
}

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

Time64_T clockNow() { return static_cast<Time64_T>(zcore::now()); }

bool instantOf(const X509_TIME* time, int missingSeconds, Time64_T& instant) {
    if (!time || !time->value || !time->value->data) return false;
    if (time->type != X509_TIME_UTC && time->type != X509_TIME_GENERALIZED) return false;
    return parseTime(time->value->data, static_cast<size_t>(time->value->length < 0 ? 0 : time->value->length),
                     time->type == X509_TIME_GENERALIZED, missingSeconds, instant);
}

bool gmtText(Time64_T instant, char* out) {
    struct TM tm {};
    if (!gmtime64_r(&instant, &tm)) return false;
    const long long year = static_cast<long long>(tm.tm_year) + 1900;
    if (year < 0 || year > 9999) return false;
    std::snprintf(out, 15, "%04lld%02d%02d%02d%02d%02d", year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return true;
}

bool readGmtText(std::string_view text, Time64_T& instant) {
    int year, month, day, hour, minute, second;
    if (text.size() != 14 || !digits(text, 0, 4, year) || !digits(text, 4, 2, month) || !digits(text, 6, 2, day) ||
        !digits(text, 8, 2, hour) || !digits(text, 10, 2, minute) || !digits(text, 12, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    struct TM fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    instant = timegm64(&fields);
    return true;
}

X509_TIME* timeOf(Time64_T instant) {
    char text[16];
    if (!gmtText(instant, text)) return nullptr;
    text[14] = 'Z';
    text[15] = 0;
    Own<X509_TIME, free_X509_TIME> time(new_X509_TIME());
    if (!time || !(time->value = new_ASN1_STRING()) ||
        set_ASN1_STRING_value(time->value, ASN1_TAG_GENERALIZED_TIME, reinterpret_cast<const unsigned char*>(text),
                              15) != 0)
        return nullptr;
    time->type = X509_TIME_GENERALIZED;
    time->value->extra = 1;
    return time.release();
}

bool valueText(const ASN1_STRING* value, std::string& out) {
    out.clear();
    if (!value) return false;
    if (holdsNul(value)) return false;
    if (!value->data || value->length <= 0) return true;  // an empty value shows nothing
    if (shownAsStored(value->type)) {
        out.assign(reinterpret_cast<const char*>(value->data), static_cast<size_t>(value->length));
        return true;
    }
    VscPtr<char> dumped(dump_ASN1STRING(value));
    if (dumped) out = dumped.get();
    return true;
}

std::string hexJoined(const unsigned char* bytes, int len) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (!bytes || len <= 0) return out;
    out.reserve(static_cast<size_t>(len) * 3);
    for (int i = 0; i < len; ++i) {
        if (i) out += ':';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

bool algorithmText(const OBJECT_IDENTIFIER* oid, char sep, std::string& out) {
    const OID_TABLE* row = OID_LIST(oid ? index_from_OBJECT_IDENTIFIER(oid) : 0);
    // Unused rows have no names: they read as row 0.
    if (!row || !row->sn || !row->ln || !row->oid) row = OID_LIST(0);
    out = row->oid;
    out += sep;
    for (const char* c = row->sn; *c; ++c) out += lower(*c);
    out += sep;
    out += row->ln;
    return true;
}

int nameText(const X509_NAME* name, std::string& out) {
    out.clear();
    // The entries from the last to the first, one by one (the attributes of
    // a multi-valued RDN too, as openssl's reversed names show them).
    std::string value;
    for (int i = get_X509_NAME_count(name) - 1; i >= 0; --i) {
        const X509_NAME_CHILD* e = get_X509_NAME_CHILD(name, i);
        if (!e || !e->type || !valueText(e->value, value)) return VCL_R_GET_CHILD;
        const OID_TABLE* row = OID_LIST(index_from_OBJECT_IDENTIFIER(e->type));
        if (!row || !row->sn) row = OID_LIST(0);
        if (!out.empty()) out += ',';
        for (const char* c = row->sn; *c; ++c) out += lower(*c);
        out += '=';
        out += value;
        if (out.size() > VCL_X509_DN_MAX) return VCL_R_INVALID_PARAM;
    }
    return 0;
}

bool serialHexText(const BIGINT* serial, std::string& out) {
    out.clear();
    if (!serial) return false;
    std::string bytes(static_cast<size_t>(VSC_Get_BIGINT_Bits_Length(serial) + 8) / 8, '\0');
    const int n = VSC_BIGINT_To_Binary(serial, reinterpret_cast<unsigned char*>(bytes.data()));
    if (n < 0 || static_cast<size_t>(n) > bytes.size()) return false;
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return true;
}

bool serialDecText(const BIGINT* serial, std::string& out) {
    VscPtr<char> text(serial ? VSC_BIGINT_To_DEC(serial) : nullptr);
    if (!text) return false;
    out = text.get();
    return true;
}

namespace {

// The DER of a node handed out in a buffer of ours.
int nodeDer(PKI_ERROR rc, ASN1_UNIT* made, unsigned char** der, int* len) {
    Node node(made);
    if (rc != 0 || !node) return VCL_R_SEQ_TO_BINARY;
    unsigned char* raw = nullptr;
    const int n = ASN1_to_binary(node.get(), &raw);
    VscPtr<unsigned char> bytes(raw);
    if (n <= 0 || !bytes) return VCL_R_SEQ_TO_BINARY;
    char* copy = newBuffer(std::string_view(reinterpret_cast<const char*>(bytes.get()), static_cast<size_t>(n)));
    if (!copy) return VCL_R_MALLOC;
    *der = reinterpret_cast<unsigned char*>(copy);
    *len = n;
    return 0;
}

}  // namespace

int nameDer(const X509_NAME* name, unsigned char** der, int* len) {
    ASN1_UNIT* node = nullptr;
    const PKI_ERROR rc = X509_NAME_to_Seq(name, &node);
    return nodeDer(rc, node, der, len);
}

int pubkeyDer(const X509_PUBKEY* key, unsigned char** der, int* len) {
    ASN1_UNIT* node = nullptr;
    const PKI_ERROR rc = X509_PUBKEY_to_Seq(key, &node);
    return nodeDer(rc, node, der, len);
}

bool setField(char*& field, std::string_view text) {
    char* copy = newBuffer(text);
    if (!copy) return false;
    std::free(field);
    field = copy;
    return true;
}

int findRevoked(const X509_CRL* crl, const BIGINT* serial) {
    if (!crl || !crl->info || !serial) return -1;
    const int count = get_X509_REVOKED_count(crl->info);
    for (int i = 0; i < count; ++i) {
        const X509_REVOKED* entry = get_X509_REVOKED(crl->info, i);
        if (entry && entry->userCertificate && VSC_Cmp_BIGINT(entry->userCertificate, serial) == 0) return i;
    }
    return -1;
}

}  // namespace zcore::x509

using namespace zcore::x509;

namespace {

// A text handed out through *out; reason VCL_R_MALLOC when it cannot be.
int handOut(std::string_view text, char** out) {
    char* copy = zcore::newBuffer(text);
    if (!copy) return VCL_R_MALLOC;
    *out = copy;
    return 0;
}

// The calendar text YYYY-MM-DD,hh:mm:ss of a time text of at least 12
// digits (seconds "00" when it has only 12); false for anything else.
bool calendarText(const char* text, char* out) {
    const size_t n = std::strlen(text);
    if (n < 12) return false;
    const size_t used = n >= 14 ? 14 : 12;
    for (size_t i = 0; i < used; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    std::snprintf(out, 20, "%.4s-%.2s-%.2s,%.2s:%.2s:%.2s", text, text + 4, text + 6, text + 8, text + 10,
                  used == 14 ? text + 12 : "00");
    return true;
}

}  // namespace

extern "C" {

VCL_API int VCL_X509_bigint_to_str(const BIGINT* number, char** text, int mode) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_BIGINT_TO_STR, r); };
    if (!number) return code(VCL_R_NULL_PARAM);
    if (!text) return code(VCL_R_OUTPUT_NULL);
    std::string s;
    if (!(mode == 2 ? serialHexText(number, s) : serialDecText(number, s))) return code(VCL_R_MALLOC);
    const int rc = handOut(s, text);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_oid_to_str(const OBJECT_IDENTIFIER* oid, char** text, int separator) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_OID_TO_STR, r); };
    if (!oid) return code(VCL_R_NULL_PARAM);
    if (!text) return code(VCL_R_OUTPUT_NULL);
    std::string s;
    algorithmText(oid, static_cast<char>(separator), s);
    const int rc = handOut(s, text);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_time_to_str(const X509_TIME* time, const char* seconds, char** text) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_TIME_TO_STR, r); };
    if (!time || !seconds) return code(VCL_R_NULL_PARAM);
    if (!text) return code(VCL_R_OUTPUT_NULL);
    int missing;
    Time64_T instant;
    char out[15];
    if (std::strlen(seconds) != 2 || !digits(std::string_view(seconds), 0, 2, missing) || missing > 59 ||
        !instantOf(time, missing, instant) || !gmtText(instant, out))
        return code(VCL_R_INVALID_PARAM);
    const int rc = handOut(out, text);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_name_to_str(const X509_NAME* name, char** text) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_NAME_TO_STR, r); };
    if (!name) return code(VCL_R_NULL_PARAM);
    if (!text) return code(VCL_R_OUTPUT_NULL);
    std::string s;
    int rc = nameText(name, s);
    if (rc == 0) rc = handOut(s, text);
    return rc ? code(rc) : 0;
}

VCL_API int VCL_X509_str_to_utc_time(const char* text, UTC_TIME** out, int form) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_STR_TO_UTC_TIME, r); };
    if (!text) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    char calendar[20];
    if (!calendarText(text, calendar)) return code(VCL_R_INVALID_PARAM);
    // UTCTime cannot say years outside 1950-2049: no value, and a failure.
    UTC_TIME* made = new_UTC_TIME(calendar, form);
    if (!made) return code(VCL_R_INVALID_PARAM);
    *out = made;
    return 0;
}

VCL_API int VCL_X509_str_to_asn1_time(const char* text, ASN1_TIME** out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_STR_TO_ASN1_TIME, r); };
    if (!text) return code(VCL_R_NULL_PARAM);
    if (!out) return code(VCL_R_OUTPUT_NULL);
    char calendar[20];
    if (!calendarText(text, calendar)) return code(VCL_R_INVALID_PARAM);
    ASN1_TIME* made = charToASN1_TIME(calendar);
    if (!made) return code(VCL_R_INVALID_PARAM);
    *out = made;
    return 0;
}

VCL_API int VCL_GenTime_To_LocalTime(const char* text, char* out) {
    const auto code = [](int r) { return VCL_CORE_CODE(VCL_CAT_X509_SIGN_TO_BINARY, r); };
    if (!text || !out) return code(VCL_R_NULL_PARAM);
    std::string_view t(text);
    if (t.size() == 15 && t.back() == 'Z') t.remove_suffix(1);
    // Korean time is GMT + 9 h all year (no daylight saving since 1988):
    // plain arithmetic on the instant, not the host's zone rules.
    Time64_T instant;
    char korean[15];
    if (!readGmtText(t, instant) || !gmtText(instant + 9 * 3600, korean)) return code(VCL_R_TIME_CONVERT);
    std::memcpy(out, korean, sizeof korean);
    return 0;
}

}  // extern "C"

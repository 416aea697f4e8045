// Certificate records, lists and walks for the store's own modules.
#pragma once

#include <string>
#include <string_view>

#include <zephaltpavix/certlist.h>

#include "base/store_internal.hpp"

namespace zstore {

// A certificate as the listings see it: CertInfo's fields, texts whole.
struct CertRecord {
    std::string issuerName, issuerCN, subject, serial, policyOid, typeName, validFrom, validTo, certPath, keyPath,
        organisation;
    int expireFlag = 0;
    int hidden = 0;
    int storeClass = 0;
};

// The record of a decoded certificate (VPL_Cert_Make_CertInfo's codes but
// 1051038: texts are whole). *typeCode (may be null) gets the class.
int makeRecord(const X509_Info& info, CertRecord& rec, int* typeCode);
// The same from certificate bytes, decoded once; *selfIssued (may be null)
// tells whether the subject DN is the issuer DN.
int makeRecord(const void* cert, int len, CertRecord& rec, int* typeCode, bool* selfIssued = nullptr);
// The same from a file (certPath set): -1 when it cannot be read.
int makeRecordFromFile(const std::string& path, CertRecord& rec, int* typeCode, bool* selfIssued = nullptr);

// CertInfo from a record: 0, or VPL_ERR_OVERFLOW (info zeroed) when a text
// does not fit its field.
int toCertInfo(const CertRecord& rec, CertInfo& info);
CertRecord fromCertInfo(const CertInfo& info);

// YYYY-MM-DD of a GMT time text in the host's local time; false when it
// does not convert.
bool localDate(const char* gmt, std::string& out);

// The value of the first item "name=..." of a DN text (items split at
// ",", leading blanks skipped, the name's case ignored); empty when there
// is none.
std::string dnValue(std::string_view dn, std::string_view name);
// The subject as listed: the CN, else the OU.
std::string subjectName(std::string_view subjectDN);
// The display name of an issuer CN (EUC-KR); the CN itself when no row
// knows it.
std::string issuerDisplayName(std::string_view issuerCN);
// The type name (EUC-KR) of a policy OID and its row's code; false when
// there is none (both empty).
bool certTypeName(std::string_view oid, std::string& name, std::string& code);
// The type name (EUC-KR) of a certificate without one of its policy, by
// class: the public, government or private store's.
const std::string& defaultTypeName(int cls);
// 0 valid, 1 expired or not yet valid, 2 within 30 days of its end.
int renewalState(const X509_Info& info);

// The kind of a CA folder name (1 public, 3 private, the registered kind),
// or -1.
int caKind(std::string_view name);

}  // namespace zstore

// The list: a head without record, then the entries. The head keeps the
// last entry so appending does not walk the list.
struct CertInfoList {
    zstore::CertRecord* record;
    CertInfoList* next;
    CertInfoList* tail;  // the head's only
};

namespace zstore {

// Appends a record (moved): 0, or VPL_ERR_MEMORY.
int append(CertInfoList* list, CertRecord&& rec);

// Calls f(record) for every entry in order.
template <typename F>
void forEachRecord(CertInfoList* list, F&& f) {
    for (CertInfoList* n = list ? list->next : nullptr; n; n = n->next)
        if (n->record) f(*n->record);
}

// The record string of the visible entries (empty for none).
int recordString(CertInfoList* list, std::string& out);

}  // namespace zstore

// The certificate class and folder names over a decoded record, for the
// store's own modules.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <zunCore/x509_info.h>

namespace zstore {

// The first "O=" value of a DN text (items split at ",", no blanks skipped).
std::optional<std::string> organisation(std::string_view dn);

// The class of a record (1-9), or -1 without a subject.
int classify(const X509_Info& info);

// The CA folder name of a subject DN (EUC-KR, as the record holds it).
std::string caFolder(std::string_view subjectDN);

// The CA file stem: the key id without ":", "_", the serial; empty when
// nothing is left of the key id.
std::string caFileStem(std::string_view keyId, std::string_view serial);

// The class with both folder names in UTF-8.
struct StoreNames {
    int cls = -1;
    std::string ca;
    std::string subject;
};
// 0; -1 when the record cannot be classified or named; VPL_ERR_PATH when a
// name is not one safe path component.
int storeNames(const X509_Info& info, StoreNames& names);

}  // namespace zstore

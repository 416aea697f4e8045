// The store's detail text into the fixed detail record: every field ends
// within its room, at most one field per "&" and eighteen in all, and the
// fields past the count stay empty.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "job/ParsingFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CertDetailInfo d;
    std::memset(&d, 'x', sizeof d);
    const int n = ParseCertDetail(text, d);
    size_t amps = 0;
    for (const char c : text) amps += c == '&';
    if (n < 0 || n > 18 || static_cast<size_t>(n) > amps) abort();
    struct Field {
        const char* text;
        size_t size;
    } fields[] = {
        {d.version, sizeof d.version},
        {d.serialNumber, sizeof d.serialNumber},
        {d.signatureAlg, sizeof d.signatureAlg},
        {d.issuerDN, sizeof d.issuerDN},
        {d.validity_from, sizeof d.validity_from},
        {d.validity_to, sizeof d.validity_to},
        {d.subjectDN, sizeof d.subjectDN},
        {d.pubkey, sizeof d.pubkey},
        {d.pubkeydata, sizeof d.pubkeydata},
        {d.hand_print_alg, sizeof d.hand_print_alg},
        {d.hand_print, sizeof d.hand_print},
        {d.authoritykeyid, sizeof d.authoritykeyid},
        {d.subjectkeyid, sizeof d.subjectkeyid},
        {d.keyusage, sizeof d.keyusage},
        {d.certpolicy, sizeof d.certpolicy},
        {d.subjectAltName, sizeof d.subjectAltName},
        {d.crlDP, sizeof d.crlDP},
        {d.authorityInfoAcc, sizeof d.authorityInfoAcc},
    };
    for (int i = 0; i < 18; ++i) {
        if (std::memchr(fields[i].text, '\0', fields[i].size) == nullptr) abort();
        if (i >= n && fields[i].text[0] != '\0') abort();
    }
    return 0;
}

// The roaming server's IMPORT and EXPORT replies, the issuing server's
// PKCS#10 reply and the Base64 step of an import: every piece taken lies
// inside the reply, and what is accepted has the form the callers rely on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "job/Roaming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);

    std::string piece = "kept";
    const int imp = ParseImportReply(reply, piece);
    if (imp != 0 && imp != -1) abort();
    if (imp == 0) {
        if (piece.empty() || piece.find('$') != std::string::npos) abort();
        if (reply.find("OK$" + piece) == std::string::npos) abort();
        std::string bytes;
        if (DecodeRoamingData(piece, bytes) && bytes.size() > piece.size()) abort();
    } else if (piece != "kept") {
        abort();
    }

    for (const int digits : {8, 12, 16, 10}) {
        std::string code = "kept";
        const int rc = pars_ExportCert_RetValue(reply, digits, code);
        if (rc == 0 && (!RoamingNumberIsValid(code, digits) || reply.find("OK$" + code) == std::string::npos)) abort();
        if (rc != 0 && (rc != -1 || code != "kept")) abort();
    }

    std::string cert = "kept";
    const int p10 = ParseP10Reply(reply, cert);
    if (p10 == 0 && (reply.compare(0, 7, "success") != 0 || cert.empty() || cert != reply.substr(8))) abort();
    if (p10 != 0 && (p10 != -1 || cert != "kept")) abort();

    std::string bytes;
    if (DecodeRoamingData(reply, bytes) && bytes.empty()) abort();
    return 0;
}

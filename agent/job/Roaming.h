// The roaming-server exchanges (a certificate and key carried between
// computers as a Base64 PKCS#12 under an authorisation number) and the
// PKCS#10 submission to an issuing web server. Transport as the relay's
// (IRelayClient: TLS verified, time-outs, reply cap), no cookie. Replies are
// held whole within the cap; the parsers below read them with bounds.
#pragma once

#include <string>
#include <string_view>

// Transport results of the exchanges (negative ints).
enum RoamingCode {
    kImportSetup = -100418,
    kImportTransfer = -100419,
    kImportStatus = -100420,
    kSetStatusSetup = -100421,
    kSetStatusTransfer = -100422,
    kSetStatusStatus = -100423,
    kExportSetup = -100424,
    kExportTransfer = -100425,
    kExportStatus = -100426,
    kGetStatusSetup = -100427,
    kGetStatusTransfer = -100428,
    kGetStatusStatus = -100429,
    kP10Setup = -100433,
    kP10Transfer = -100434,
    kP10Status = -100435,
    kP10NotSuccess = -100436,
};

// Job error codes of the roaming actions (ret "2").
namespace RoamingErrorCode {
inline constexpr const char* kImportNotSent = "1450";
inline constexpr const char* kImportNoData = "1451";
inline constexpr const char* kImportNotStored = "1452";
inline constexpr const char* kImportResultNotSent = "1453";
inline constexpr const char* kImportResultError = "1454";
inline constexpr const char* kImportStatusNotSent = "1455";
inline constexpr const char* kExportWrongPassword = "1456";
inline constexpr const char* kExportNoPkcs12 = "1457";
inline constexpr const char* kExportNotSent = "1458";
inline constexpr const char* kExportBadReply = "1459";
}  // namespace RoamingErrorCode

// ---- Pure parts (no network; also the fuzz target's) -----------------------------

// An authorisation number: exactly digits characters, all decimal digits,
// and digits one of 8, 12, 16.
bool RoamingNumberIsValid(std::string_view number, int digits);
// The policy's AuthenticationNumber as a digit count: 8, 12 or 16, else 0.
int RoamingDigitCount(std::string_view policyText);

// The text after the first "OK$" up to the next "$" or the end: 0 with it in
// data, -1 without "OK$" or with nothing after it.
int ParseImportReply(std::string_view reply, std::string& data);
// The code of an EXPORT reply: the text after "OK$" up to "$" or the end,
// which must be exactly digits decimal digits: 0 with it, else -1.
int pars_ExportCert_RetValue(std::string_view reply, int digits, std::string& authCode);
// An issuing server's reply: "success", one separator character, then the
// certificate (at least one character): 0 with the certificate, else -1.
int ParseP10Reply(std::string_view reply, std::string& certificate);
// The Base64 PKCS#12 of an IMPORT reply as bytes (whitespace, as a server
// may wrap lines, is dropped first): false when it does not decode.
bool DecodeRoamingData(std::string_view base64, std::string& bytes);

// ---- Exchanges: 0, or a transport code; reply holds the body on 0 ----------------

// "Action=IMPORT&SVer=..&AuthNum=..", every value URL-encoded. A number
// that is not all digits is refused before anything is sent (setup code).
int ImportCertificateWithURL(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                             std::string& reply);
int ImportSetStatus(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                    const std::string& status, std::string& reply);
// "Action=EXPORT&SVer=..&Size=%d&EncCert=..": encCert is the Base64 PKCS#12.
int ExportCertificate(const std::string& roamingURL, const std::string& encCert, const std::string& sVer, int size,
                      std::string& reply);
int ExportGetStatus(const std::string& roamingURL, const std::string& sVer, const std::string& authNum,
                    std::string& reply);
// Posts postData as it is; 0 with the issued certificate (ParseP10Reply).
int send_P10CertRequestAndgetCert(const std::string& serverURL, const std::string& postData, std::string& certificate);

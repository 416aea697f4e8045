// Helpers shared by the certificate information, conversions and checks:
// owners of libzunPKI's records, time texts read as instants, and the texts
// the information record is made of.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <zunCore/x509_info.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/asn1/time64.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_crl.h>
#include <zunPKI/x509/x509_key.h>
#include <zunPKI/x509/x509_name.h>

#include "crypto/crypto_internal.hpp"

namespace zcore::x509 {

template <typename T, void (*Free)(T*)>
using Own = std::unique_ptr<T, UnitDeleter<T, Free>>;
using Cert = Own<X509_CERT, free_X509_CERT>;
using Crl = Own<X509_CRL, free_X509_CRL>;
using Node = Own<ASN1_UNIT, free_ASN1_UNIT>;
using String = Own<ASN1_STRING, free_ASN1_STRING>;
using PubKey = Own<X509_PUBKEY, free_X509_PUBKEY>;
using Info = Own<X509_Info, VCL_X509_Free_X509_Info>;

// Rows of the object-identifier table.
constexpr int kRowRsa = 6;
constexpr int kRowSubjectKeyId = 82;
constexpr int kRowKeyUsage = 83;
constexpr int kRowSubjectAltName = 85;
constexpr int kRowBasicConstraints = 87;
constexpr int kRowPolicies = 89;
constexpr int kRowAuthorityKeyId = 90;
constexpr int kRowCrlDistPoints = 103;
constexpr int kRowExtKeyUsage = 126;
constexpr int kRowCrlReason = 141;
constexpr int kRowCps = 164;
constexpr int kRowUserNotice = 165;
constexpr int kRowAuthorityInfoAccess = 177;
constexpr int kRowPolicyConstraints = 401;
constexpr int kRowNameConstraints = 666;
constexpr int kRowPolicyMappings = 747;
constexpr int kRowIssuingDistPoint = 770;
constexpr int kRowKcdsa = 782;

// The otherName type of the identity data, matched by its dotted text.
inline constexpr std::string_view kIdentityDataOid = "1.2.410.200004.10.1.1";

// ---- Time ------------------------------------------------------------------

// Now as the library reads it: time() plus the network-time offset.
Time64_T clockNow();

// The instant a certificate time names. Forms read: UTCTime
// YYMMDDhhmm[ss](Z|+hhmm|-hhmm), GeneralizedTime YYYYMMDDhhmm[ss[.f]](Z|...);
// missingSeconds stands in for seconds the text leaves out. False for any
// other type or a text that does not read.
bool instantOf(const X509_TIME* time, int missingSeconds, Time64_T& instant);

// YYYYMMDDhhmmss of the instant in GMT into out (15 bytes with the NUL);
// false for a year outside 0-9999.
bool gmtText(Time64_T instant, char* out);

// A 14-character GMT text YYYYMMDDhhmmss as an instant; false unless it is
// exactly that, with fields in range.
bool readGmtText(std::string_view text, Time64_T& instant);

// A new X509_TIME of the instant as a GeneralizedTime in Z form.
X509_TIME* timeOf(Time64_T instant);

// ---- Texts -----------------------------------------------------------------

// A value as the record shows it: UTF8String and BMPString in EUC-KR (hex
// when a character has no EUC-KR form), Printable, Teletex, IA5, Visible and
// Numeric strings as stored, others as libzunPKI dumps them. False for a
// value holding a NUL, which no C text can carry.
bool valueText(const ASN1_STRING* value, std::string& out);

// Bytes as upper-case hex joined by ':'.
std::string hexJoined(const unsigned char* bytes, int len);

// The algorithm text of an identifier (dotted, sep, lower-case short name,
// sep, long name of its row); false when memory runs out.
bool algorithmText(const OBJECT_IDENTIFIER* oid, char sep, std::string& out);

// The DN text into out. 0, or a reason: VCL_R_INVALID_PARAM over the limit,
// VCL_R_GET_CHILD a component that cannot be read.
int nameText(const X509_NAME* name, std::string& out);

// Serial texts; false when the crypto layer fails.
bool serialHexText(const BIGINT* serial, std::string& out);
bool serialDecText(const BIGINT* serial, std::string& out);

// The DER of a name or public key in a buffer handed out (NUL after it); 0,
// or a reason (VCL_R_SEQ_TO_BINARY, VCL_R_MALLOC).
int nameDer(const X509_NAME* name, unsigned char** der, int* len);
int pubkeyDer(const X509_PUBKEY* key, unsigned char** der, int* len);

// Replaces a field of the record with a copy of text; false when memory runs
// out (the field then keeps what it had).
bool setField(char*& field, std::string_view text);

// The position of the first entry of the CRL with this serial; -1 if none.
int findRevoked(const X509_CRL* crl, const BIGINT* serial);

}  // namespace zcore::x509

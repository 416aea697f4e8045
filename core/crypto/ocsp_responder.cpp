// The OCSP responder: a signed request read into its signer, nonce and
// single requests, the response data built entry by entry and signed, error
// responses, and the key and certificate conversions a responder needs.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/log.h>
#include <zunCore/ocsp.h>
#include <zunCore/x509_conv.h>
#include <zunCore/x509_info.h>
#include <zunPKI/asn1/asn1_objects.h>

#include "crypto/ocsp_internal.hpp"

namespace {

using zcore::code;
using zcore::Secret;
using namespace zcore::ocsp;

// Reasons of the responder (their texts are the table's or "Unknown").
constexpr int kWrongRequest = 0x03;
constexpr int kUnsigned = 0x12d;
constexpr int kNoEntry = 0x12e;
constexpr int kNoCert = 0x12f;
constexpr int kVerify = 0x106;
constexpr int kNoNonce = 0x116;
constexpr int kIndex = 0x133;
constexpr int kListEntry = 0x134;
constexpr int kCertDecode = 0x103;
constexpr int kNoKeyId = 0x130;
constexpr int kNoSerial = 0x6b;
constexpr int kEmptyKeyId = 0x8f;
constexpr int kNotKeyId = 0x131;
constexpr int kMakeData = 0x132;
constexpr int kTimeText = 0x135;
constexpr int kDataDecode = 0x136;
constexpr int kSingleDecode = 0x137;
constexpr int kAddEntry = 0x138;
constexpr int kRevokedEncode = 0x139;
constexpr int kUpdateEncode = 0x13a;
constexpr int kSignBasic = 0x13b;
constexpr int kWrap = 0x13c;
constexpr int kRevokedDecode = 0x13d;
constexpr int kBytes = 0x13e;
constexpr int kResponderCert = 0x119;

// The key-identifier text the information record gives; a longer one is
// refused rather than cut.
constexpr size_t kMaxKeyIdText = 1023;

// The information record's own codes, as the responder reports them.
constexpr int kRecordCreation = static_cast<int>(0xd0570000u);
constexpr int kRecordFilling = static_cast<int>(0xd0550000u);

using zcore::Cert;

// Upper-case hex, two digits a byte.
std::string hexOf(const unsigned char* bytes, int len) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(static_cast<size_t>(len) * 2);
    for (int i = 0; i < len; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// A serial number as upper-case hex (VSC_BIGINT_To_HEX: two digits a byte,
// no sign byte), the one form both sides of a responder's match use.
bool serialText(const BIGINT* serial, std::string& out) {
    if (!serial) return false;
    zcore::VscPtr<char> hex(VSC_BIGINT_To_HEX(serial));
    if (!hex) return false;
    out = hex.get();
    return true;
}

// A request of DER or PEM bytes: 0 or the reason of the form that failed.
int readRequest(const void* req, int len, Request& out) {
    return readAny<OCSP_REQUEST, Seq_to_OCSP_REQUEST, free_OCSP_REQUEST>(req, len, out);
}

// The response data of DER bytes, taken out of the holder it decodes into.
bool readData(const void* der, int len, Data& out) {
    out.reset();
    if (!der || len <= 0) return false;
    zcore::Node node(decodeToDERSequence(static_cast<const unsigned char*>(der), len));
    Basic holder(new_BASIC_OCSP_RESPONSE());
    if (!node || !holder || Seq_to_OCSP_RESPONSE_DATA(node.get(), holder.get()) != 0) return false;
    out.reset(holder->tbsResponseData);
    holder->tbsResponseData = nullptr;
    return static_cast<bool>(out);
}

// The single request of DER bytes.
bool readSingle(const void* der, int len, SingleRequest& out) {
    return der && len > 0 &&
           readDer<OCSP_SINGLE_REQUEST, Seq_to_OCSP_SINGLE_REQUEST, free_OCSP_SINGLE_REQUEST>(der, len, out) == 0 &&
           out->reqCert;
}

bool readRevoked(const void* der, int len, Revoked& out) {
    return der && len > 0 &&
           readDer<OCSP_REVOKED_INFO, Seq_to_OCSP_REVOKED_INFO, free_OCSP_REVOKED_INFO>(der, len, out) == 0;
}

// New response data for the responder with the nonce; producedAt read from
// the library's clock, as thisUpdate is.
bool newData(const X509_CERT* responder, const unsigned char* nonce, int nonceLen, Data& out) {
    OCSP_RESPONSE_DATA* made = nullptr;
    if (generate_OCSP_RESPONSE_DATA(&made, responder, OCSP_RESPONDER_BY_KEY, 0, nonce, nonceLen) != 0 || !made)
        return false;
    out.reset(made);
    GenTime now = nowGeneralized();
    if (!now) return false;
    free_GENERALIZED_TIME(out->producedAt);
    out->producedAt = now.release();
    return true;
}

// One entry: the single request's CertID with its status, thisUpdate now and
// no nextUpdate (RFC 6960 4.2.2.1: newer information is available at any
// time).
bool addEntry(OCSP_RESPONSE_DATA* data, const OCSP_SINGLE_REQUEST* single, int status, const OCSP_REVOKED_INFO* info) {
    GenTime thisUpdate = nowGeneralized();
    return thisUpdate && add_single_OCSP_RESPONSE(data, single, status, info, thisUpdate.get(), nullptr) == 0;
}

// ---- Response data without entries ------------------------------------------
// libzunPKI writes a ResponseData only with at least one SingleResponse, as a
// response must have; the data init hands out has none yet. It is written
// with a stand-in entry whose responses SEQUENCE is then replaced by an
// empty one (30 00), which the decoder reads back.

// One DER element at the start of bytes: its identifier octet and where its
// contents lie; false when it does not read within them.
struct Element {
    unsigned char tag = 0;
    size_t header = 0, length = 0;
    size_t size() const { return header + length; }
};
bool readElement(std::string_view bytes, Element& e) {
    if (bytes.size() < 2) return false;
    e.tag = static_cast<unsigned char>(bytes[0]);
    if ((e.tag & 0x1f) == 0x1f) return false;
    const auto first = static_cast<unsigned char>(bytes[1]);
    e.header = 2;
    e.length = first;
    if (first & 0x80) {
        const size_t octets = first & 0x7f;
        if (octets == 0 || octets > 4 || bytes.size() < 2 + octets) return false;
        e.length = 0;
        for (size_t i = 0; i < octets; ++i) e.length = (e.length << 8) | static_cast<unsigned char>(bytes[2 + i]);
        e.header += octets;
    }
    return e.length <= bytes.size() - e.header;
}

std::string lengthOctets(size_t n) {
    if (n < 0x80) return std::string(1, static_cast<char>(n));
    std::string octets;
    for (size_t l = n; l; l >>= 8) octets.insert(octets.begin(), static_cast<char>(l & 0xff));
    return static_cast<char>(0x80 | octets.size()) + octets;
}

// The ResponseData DER with its responses (its first universal SEQUENCE
// child) replaced by an empty SEQUENCE; empty when the shape is not that.
std::string withoutResponses(std::string_view der) {
    Element outer;
    if (!readElement(der, outer) || outer.tag != 0x30 || outer.size() != der.size()) return {};
    std::string_view rest = der.substr(outer.header);
    std::string contents;
    bool replaced = false;
    while (!rest.empty()) {
        Element child;
        if (!readElement(rest, child)) return {};
        if (!replaced && child.tag == 0x30) {
            contents += std::string("\x30\x00", 2);
            replaced = true;
        } else {
            contents += rest.substr(0, child.size());
        }
        rest.remove_prefix(child.size());
    }
    return replaced ? "\x30" + lengthOctets(contents.size()) + contents : std::string();
}

// A SingleRequest whose CertID holds one-byte stand-ins.
bool standInEntry(OCSP_RESPONSE_DATA* data) {
    SingleRequest single(new_OCSP_SINGLE_REQUEST());
    OCSP_CERT_ID* id = single ? single->reqCert : nullptr;
    if (!id) return false;
    constexpr unsigned char kByte = 1;
    constexpr int kRowSha1 = 64;
    free_X509_ALGO_IDENTIFIER(id->hashAlgorithm);
    id->hashAlgorithm = new_X509_ALGO_IDENTIFIER();
    if (!id->hashAlgorithm || !(id->hashAlgorithm->algorithm = index_to_OBJECT_IDENTIFIER(kRowSha1))) return false;
    free_OCTET_STRING(id->issuerNameHash);
    free_OCTET_STRING(id->issuerKeyHash);
    VSC_Free_BIGINT(id->serialNumber);
    id->issuerNameHash = new_OCTET_STRING(&kByte, 1);
    id->issuerKeyHash = new_OCTET_STRING(&kByte, 1);
    id->serialNumber = VSC_HEX_To_BIGINT("01");
    return id->issuerNameHash && id->issuerKeyHash && id->serialNumber && addEntry(data, single.get(), 0, nullptr);
}

// The DER of our working response data (changed on the way when it has no
// entry yet).
Secret dataDer(OCSP_RESPONSE_DATA* data) {
    if (get_STACK_count(data->responses) > 0) return zcore::derOf<OCSP_RESPONSE_DATA, OCSP_RESPONSE_DATA_to_Seq>(data);
    Secret out;
    if (!standInEntry(data)) return out;
    Secret withEntry = zcore::derOf<OCSP_RESPONSE_DATA, OCSP_RESPONSE_DATA_to_Seq>(data);
    std::string stripped = withoutResponses(withEntry.view());
    if (!stripped.empty()) out.assign(stripped.data(), stripped.size());
    zcore::wipe(stripped);
    return out;
}

int handOutData(OCSP_RESPONSE_DATA* data, int cat, int writeReason, unsigned char** out, int* outLen) {
    Secret der = dataDer(data);
    if (der.empty()) {
        ZCORE_LOG(VCL_LOG_ERROR, "writeDER_to_Binary .. %d", der.size());
        return code(cat, writeReason);
    }
    return zcore::handOut(der.view(), out, outLen) ? 0 : code(cat, VCL_R_MALLOC);
}

int parse(const void* req, int len, int verify, unsigned char** signerDer, int* signerLen, int padMode,
          unsigned char** nonce, int* nonceLen, int* count) {
    constexpr int cat = kCatParse;
    if (!req || len <= 0) return code(cat, kWrongRequest);
    if (!signerDer || !signerLen || !nonce || !nonceLen || !count) return code(cat, VCL_R_NULL_PARAM);
    Request request;
    if (int reason = readRequest(req, len, request); reason != 0) return code(cat, reason);
    if (is_OCSP_REQUEST_signature(request.get()) != 1) return code(cat, kUnsigned);
    if (verify == 1 && verify_OCSP_REQUEST_Ex(request.get(), padMode) != 0) return code(cat, kVerify);
    const int entries = get_OCSP_REQUEST_list_count(request.get());
    if (entries <= 0) return code(cat, kNoEntry);
    unsigned char* raw = nullptr;
    const int n = get_OCSP_REQUEST_nonce(request.get(), &raw);
    zcore::VscPtr<unsigned char> nonceBytes(raw);
    if (n <= 0 || !nonceBytes) return code(cat, kNoNonce);
    const X509_CERT* signer = get_OCSP_REQUEST_signature_cert(request.get());
    if (!signer) return code(cat, kNoCert);
    Secret der = zcore::derOfCert(signer);
    if (der.empty()) return code(cat, kWriteFailed);
    unsigned char *s = nullptr, *nb = nullptr;
    int sLen = 0, nLen = 0;
    if (!zcore::handOut(der.view(), &s, &sLen) || !zcore::handOut(zcore::viewOf(nonceBytes, n), &nb, &nLen)) {
        std::free(s);
        return code(cat, VCL_R_MALLOC);
    }
    *signerDer = s;
    *signerLen = sLen;
    *nonce = nb;
    *nonceLen = nLen;
    *count = entries;
    return 0;
}

}  // namespace

extern "C" {

VCL_API int VCL_Parsing_OCSP_request_Ex(const void* req, int len, int verify, unsigned char** signer_der,
                                        int* signer_len, int pad_mode, unsigned char** nonce, int* nonce_len,
                                        int* count) {
    // Outputs are empty unless the whole request reads.
    if (signer_der) *signer_der = nullptr;
    if (signer_len) *signer_len = 0;
    if (nonce) *nonce = nullptr;
    if (nonce_len) *nonce_len = 0;
    if (count) *count = 0;
    return parse(req, len, verify, signer_der, signer_len, pad_mode, nonce, nonce_len, count);
}

VCL_API int VCL_Parsing_OCSP_request(const void* req, int len, int verify, unsigned char** signer_der, int* signer_len,
                                     unsigned char** nonce, int* nonce_len, int* count) {
    return VCL_Parsing_OCSP_request_Ex(req, len, verify, signer_der, signer_len, VSC_RSASSA_PKCS1_V15, nonce, nonce_len,
                                       count);
}

VCL_API int VCL_Get_OCSP_request_from_list(const void* req, int len, int index, unsigned char** single_der,
                                           int* single_len) {
    constexpr int cat = kCatList;
    if (!req || len <= 0) return code(cat, kWrongRequest);
    if (!single_der || !single_len) return code(cat, VCL_R_NULL_PARAM);
    Request request;
    if (int reason = readRequest(req, len, request); reason != 0) return code(cat, reason);
    if (index < 0 || index >= get_OCSP_REQUEST_list_count(request.get())) return code(cat, kIndex);
    OCSP_SINGLE_REQUEST* single = nullptr;
    if (get_OCSP_REQUEST_list(request.get(), &single, index) != 0 || !single) return code(cat, kListEntry);
    const int reason = handOutDer<OCSP_SINGLE_REQUEST, OCSP_SINGLE_REQUEST_to_Seq>(single, single_der, single_len);
    return reason == 0 ? 0 : code(cat, reason);
}

VCL_API int VCL_Get_single_requet_info(const void* single_der, int single_len, char** serial_hex, char** key_hash_hex) {
    constexpr int cat = kCatSingle;
    if (serial_hex) *serial_hex = nullptr;
    if (key_hash_hex) *key_hash_hex = nullptr;
    if (!single_der || single_len <= 0) return code(cat, kWrongRequest);
    if (!serial_hex || !key_hash_hex) return code(cat, VCL_R_NULL_PARAM);
    SingleRequest single;
    if (!readSingle(single_der, single_len, single)) return code(cat, kDerFailed);
    const OCSP_CERT_ID* id = single->reqCert;
    const OCTET_STRING* keyHash = id->issuerKeyHash;
    std::string serial;
    if (!keyHash || !keyHash->data || keyHash->length <= 0 || !id->serialNumber) return code(cat, kDerFailed);
    if (!serialText(id->serialNumber, serial)) return code(cat, VCL_R_MALLOC);
    // Two digits a byte, whatever the CertID's digest (SHA-512 included).
    const std::string hash = hexOf(keyHash->data, keyHash->length);
    char* s = zcore::newBuffer(serial);
    char* h = zcore::newBuffer(hash);
    if (!s || !h) {
        std::free(s);
        std::free(h);
        return code(cat, VCL_R_MALLOC);
    }
    *serial_hex = s;
    *key_hash_hex = h;
    return 0;
}

VCL_API int VCL_Get_infomation_from_cert(const void* cert_der, int cert_len, char** key_id_hex, char** serial_hex,
                                         int* digest_id) {
    constexpr int cat = kCatCertInfo;
    if (!cert_der || cert_len <= 0) return code(cat, kWrongRequest);
    if (!key_id_hex || !serial_hex || !digest_id) return code(cat, VCL_R_NULL_PARAM);
    Cert cert;
    if (zcore::decodeCert(cert_der, cert_len, cert) != 0) return code(cat, kCertDecode);
    zcore::X509InfoPtr info;
    if (const int rc = zcore::certInfo(cert_der, cert_len, info); rc != 0)
        return (rc & 0xffff) == VCL_R_MALLOC ? kRecordCreation : kRecordFilling;
    if (!info->authorityKeyId) return code(cat, kNoKeyId);
    std::string serial;
    if (!info->serialHex || !serialText(get_X509_serial(cert.get()), serial)) return code(cat, kNoSerial);
    const std::string_view aki(info->authorityKeyId);
    const std::string_view item = aki.substr(0, aki.find(info->separator));
    if (item.empty()) return code(cat, kEmptyKeyId);
    if (item.size() > kMaxKeyIdText) return code(cat, kWrongRequest);
    constexpr std::string_view kPrefix = "keyid=";
    if (item.size() < kPrefix.size()) return code(cat, kNotKeyId);
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(item[i])) != kPrefix[i]) return code(cat, kNotKeyId);
    std::string keyId;
    for (char c : item.substr(kPrefix.size()))
        if (c != ':') keyId += c;
    char* k = zcore::newBuffer(keyId);
    char* s = zcore::newBuffer(serial);
    if (!k || !s) {
        std::free(k);
        std::free(s);
        return code(cat, VCL_R_MALLOC);
    }
    *key_id_hex = k;
    *serial_hex = s;
    *digest_id = signatureDigest(cert.get(), VSC_DIGEST_SHA256);
    return 0;
}

VCL_API int VCL_Make_OCSP_response_init(const void* responder_cert_der, int cert_len, const unsigned char* nonce,
                                        int nonce_len, unsigned char** rd_der, int* rd_len) {
    constexpr int cat = kCatInit;
    if (!responder_cert_der || cert_len <= 0 || !nonce || nonce_len <= 0) return code(cat, kWrongRequest);
    if (!rd_der || !rd_len) return code(cat, VCL_R_NULL_PARAM);
    Cert cert;
    if (zcore::decodeCert(responder_cert_der, cert_len, cert) != 0) return code(cat, kDerFailed);
    Data data;
    if (!newData(cert.get(), nonce, nonce_len, data)) return code(cat, kMakeData);
    return handOutData(data.get(), cat, kWriteFailed, rd_der, rd_len);
}

VCL_API int VCL_Make_OCSP_response_init_one(const void* req, int req_len, const void* single_der, int single_len,
                                            const void* revoked_der, int revoked_len, const void* responder_cert_der,
                                            int cert_len, int status, const unsigned char* nonce, int nonce_len,
                                            unsigned char** rd_der, int* rd_len) {
    constexpr int cat = kCatInit;
    if (!req || req_len <= 0 || !single_der || single_len <= 0 || !responder_cert_der || cert_len <= 0 || !nonce ||
        nonce_len <= 0)
        return code(cat, kWrongRequest);
    if (!rd_der || !rd_len) return code(cat, VCL_R_NULL_PARAM);
    Request request;
    if (int reason = readRequest(req, req_len, request); reason != 0) return code(cat, reason);
    SingleRequest single;
    if (!readSingle(single_der, single_len, single)) return code(cat, kSingleDecode);
    Revoked revoked;
    if (revoked_der && !readRevoked(revoked_der, revoked_len, revoked)) return code(cat, kRevokedDecode);
    Cert cert;
    if (zcore::decodeCert(responder_cert_der, cert_len, cert) != 0) return code(cat, kResponderCert);
    Data data;
    if (!newData(cert.get(), nonce, nonce_len, data)) return code(cat, kMakeData);
    if (!addEntry(data.get(), single.get(), status, revoked.get())) return code(cat, kAddEntry);
    return handOutData(data.get(), cat, kMakeData, rd_der, rd_len);
}

VCL_API int VCL_Make_OCSP_response_update(const void* rd_der, int rd_len, const void* single_der, int single_len,
                                          const void* revoked_der, int revoked_len, int status,
                                          unsigned char** rd_der_out, int* rd_out_len) {
    constexpr int cat = kCatUpdate;
    if (!rd_der || rd_len <= 0 || !single_der || single_len <= 0) return code(cat, kWrongRequest);
    if (!rd_der_out || !rd_out_len) return code(cat, VCL_R_NULL_PARAM);
    Data data;
    if (!readData(rd_der, rd_len, data)) return code(cat, kDataDecode);
    SingleRequest single;
    if (!readSingle(single_der, single_len, single)) return code(cat, kSingleDecode);
    Revoked revoked;
    if (status == VCL_OCSP_REVOKED && !readRevoked(revoked_der, revoked_len, revoked)) return code(cat, kDerFailed);
    if (!addEntry(data.get(), single.get(), status, revoked.get())) return code(cat, kAddEntry);
    return handOutData(data.get(), cat, kUpdateEncode, rd_der_out, rd_out_len);
}

VCL_API int VCL_Make_revoke_info(const char* time_text, int reason, unsigned char** revoked_der, int* revoked_len) {
    constexpr int cat = kCatRevoked;
    if (!time_text) return code(cat, kWrongRequest);
    if (!revoked_der || !revoked_len) return code(cat, VCL_R_NULL_PARAM);
    ASN1_TIME* rawTime = nullptr;
    const int rc = VCL_X509_str_to_asn1_time(time_text, &rawTime);
    zcore::Owned<ASN1_TIME, free_ASN1_TIME> local(rawTime);
    if (rc != 0 || !local) return code(cat, kTimeText);
    GenTime when(asn1TimeToGENERALIZED_TIME(local.get(), GENERALIZED_TIME_YYYYMMDDHHMMSSZ));
    if (!when) return code(cat, kTimeText);
    Revoked info(new_OCSP_REVOKED_INFO());
    if (!info) return code(cat, VCL_R_MALLOC);
    info->revocationTime = when.release();
    info->revocationReason = reason;
    const int r = handOutDer<OCSP_REVOKED_INFO, OCSP_REVOKED_INFO_to_Seq>(info.get(), revoked_der, revoked_len);
    return r == 0 ? 0 : code(cat, r == VCL_R_MALLOC ? r : kRevokedEncode);
}

VCL_API int VCL_Make_OCSP_response_final_Ex(const void* rd_der, int rd_len, const void* responder_cert_der,
                                            int cert_len, const void* key_der, int key_len, int digest_id, int pad_mode,
                                            int resp_status, unsigned char** resp, int* resp_len) {
    constexpr int cat = kCatFinal;
    if (!rd_der || rd_len <= 0 || !responder_cert_der || cert_len <= 0 || !key_der || key_len <= 0)
        return code(cat, kWrongRequest);
    if (!resp || !resp_len) return code(cat, VCL_R_NULL_PARAM);
    Data data;
    // Data without an entry answers nothing: no response is made of it.
    if (!readData(rd_der, rd_len, data) || get_STACK_count(data->responses) <= 0) return code(cat, kDataDecode);
    Cert cert;
    if (zcore::decodeCert(responder_cert_der, cert_len, cert) != 0) return code(cat, kResponderCert);
    zcore::P8Info key;
    if (readDer<P8_PRIV_KEY_INFO, Seq_to_P8_PRIV_KEY_INFO, free_P8_PRIV_KEY_INFO>(key_der, key_len, key) != 0)
        return code(cat, kDerFailed);
    BASIC_OCSP_RESPONSE* rawBasic = nullptr;
    if (generate_BASIC_OCSP_RESPONSE_Ex(&rawBasic, data.get(), cert.get(), key.get(), digest_id, pad_mode) != 0 ||
        !rawBasic)
        return code(cat, kSignBasic);
    // The basic response took the data over.
    (void)data.release();
    Basic basic(rawBasic);
    OCSP_RESPONSE_BYTES* rawBytes = nullptr;
    if (generate_OCSP_RESPONSE_BYTES(&rawBytes, basic.get()) != 0 || !rawBytes) {
        free_OCSP_RESPONSE_BYTES(rawBytes);
        return code(cat, kBytes);
    }
    Bytes bytes(rawBytes);
    OCSP_RESPONSE* rawResponse = nullptr;
    if (generate_OCSP_RESPONSE(&rawResponse, bytes.get(), resp_status) != 0 || !rawResponse) {
        free_OCSP_RESPONSE(rawResponse);
        return code(cat, kWrap);
    }
    // The response took the bytes over.
    (void)bytes.release();
    Response response(rawResponse);
    const int r = handOutDer<OCSP_RESPONSE, OCSP_RESPONSE_to_Seq>(response.get(), resp, resp_len);
    return r == 0 ? 0 : code(cat, r);
}

VCL_API int VCL_Make_OCSP_response_final(const void* rd_der, int rd_len, const void* responder_cert_der, int cert_len,
                                         const void* key_der, int key_len, int digest_id, int resp_status,
                                         unsigned char** resp, int* resp_len) {
    return VCL_Make_OCSP_response_final_Ex(rd_der, rd_len, responder_cert_der, cert_len, key_der, key_len, digest_id,
                                           VSC_RSASSA_PKCS1_V15, resp_status, resp, resp_len);
}

VCL_API int VCL_OCSP_Response_error(int resp_status, unsigned char** resp, int* resp_len) {
    constexpr int cat = kCatError;
    if (resp) *resp = nullptr;
    if (resp_len) *resp_len = 0;
    // A successful response carries its bytes: the final step makes it.
    if (resp_status <= OCSP_RESPONSE_SUCCESSFUL || resp_status > OCSP_RESPONSE_UNAUTHORIZED) return code(cat, kWrap);
    if (!resp || !resp_len) return code(cat, VCL_R_NULL_PARAM);
    OCSP_RESPONSE* raw = nullptr;
    if (generate_OCSP_RESPONSE(&raw, nullptr, resp_status) != 0 || !raw) {
        free_OCSP_RESPONSE(raw);
        return code(cat, kWrap);
    }
    Response response(raw);
    const int r = handOutDer<OCSP_RESPONSE, OCSP_RESPONSE_to_Seq>(response.get(), resp, resp_len);
    return r == 0 ? 0 : code(cat, r);
}

VCL_API int VCL_Priv_to_key_unit(const void* key, int key_len, const char* password, unsigned char** p8_der,
                                 int* p8_len) {
    constexpr int cat = kCatParse;
    VCL_COM_Change_Non_Proven();
    if (!key || !password || key_len <= 0) return code(cat, kWrongRequest);
    if (!p8_der || !p8_len) return code(cat, VCL_R_NULL_PARAM);
    zcore::P8Info info;
    if (int reason = readPrivateKey(key, key_len, password, static_cast<int>(std::strlen(password)),
                                    {kPemFailed, kDerFailed}, info);
        reason != 0)
        return code(cat, reason);
    Secret der = zcore::derOfInfo(info.get());
    if (der.empty()) return code(cat, kWriteFailed);
    return handOutVsc(der.view(), p8_der, p8_len) ? 0 : code(cat, VCL_R_MALLOC);
}

VCL_API int VCL_Cert_conv_DER_type(const void* cert, int len, unsigned char** der, int* der_len) {
    constexpr int cat = kCatResponse;
    if (!cert || len <= 0) return code(cat, kWrongRequest);
    if (!der || !der_len) return code(cat, VCL_R_NULL_PARAM);
    Cert x509;
    if (int reason = readAny<X509_CERT, Seq_to_X509_CERT, free_X509_CERT>(cert, len, x509); reason != 0)
        return code(cat, reason);
    Secret bytes = zcore::derOfCert(x509.get());
    if (bytes.empty()) return code(cat, kWriteFailed);
    return handOutVsc(bytes.view(), der, der_len) ? 0 : code(cat, VCL_R_MALLOC);
}

}  // extern "C"

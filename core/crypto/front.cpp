// The crypto front end: algorithm names to the crypto layer's ids, RSA
// padding modes, the crypto layer's modes, the clock with the network-time
// offset, and hex big-integer comparison.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include <zunCore/crypto.h>
#include <zunCore/error.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/asn1/time64.h>

#include "crypto/crypto_internal.hpp"
#include "util/core_internal.hpp"

namespace {

// How a table entry compares: the whole part, or its first n characters.
constexpr int kExact = 0;

struct NameRow {
    std::string_view text;
    int prefix;  // kExact or the number of leading characters compared
    int id;
};

bool matches(std::string_view part, const NameRow& row) {
    if (row.prefix == kExact) return part == row.text;
    const auto n = static_cast<size_t>(row.prefix);
    return part.size() >= n && part.substr(0, n) == row.text.substr(0, n);
}

int lookUp(std::string_view part, const NameRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (matches(part, rows[i])) return rows[i].id;
    return 0;
}

// First match wins, in this order.
constexpr NameRow kCipherAlgorithms[] = {
    {"BF", 2, VSC_CIPHER_BF},
    {"DES", kExact, VSC_CIPHER_DES},
    {"RC5", 3, VSC_CIPHER_RC5},
    {"AES", kExact, VSC_CIPHER_AES128},
    {"AES128", kExact, VSC_CIPHER_AES128},
    {"ARIA", kExact, VSC_CIPHER_ARIA128},
    {"ARIA128", kExact, VSC_CIPHER_ARIA128},
    {"SEED", 4, VSC_CIPHER_SEED},
    {"AES192", 6, VSC_CIPHER_AES192},
    {"AES256", 6, VSC_CIPHER_AES256},
    {"DES_EDE", 7, VSC_CIPHER_DES_EDE},
    {"ARIA192", 7, VSC_CIPHER_ARIA192},
    {"ARIA256", 7, VSC_CIPHER_ARIA256},
};

// Modes by their first three letters. The ids are or'd into the algorithm's,
// so ECB (0) is told apart from "no match" by the table row, not the value.
constexpr NameRow kCipherModes[] = {
    {"ECB", 3, VSC_CIPHER_MODE_ECB}, {"CBC", 3, VSC_CIPHER_MODE_CBC}, {"CFB", 3, VSC_CIPHER_MODE_CFB},
    {"OFB", 3, VSC_CIPHER_MODE_OFB}, {"CTR", 3, VSC_CIPHER_MODE_CTR},
};

constexpr NameRow kDigests[] = {
    {"MD5", 3, VSC_DIGEST_MD5},         {"MDC2", 4, VSC_DIGEST_MDC2},      {"SHA1", kExact, VSC_DIGEST_SHA1},
    {"SHA-1", kExact, VSC_DIGEST_SHA1}, {"SHA224", 6, VSC_DIGEST_SHA224},  {"SHA-224", 7, VSC_DIGEST_SHA224},
    {"SHA256", 6, VSC_DIGEST_SHA256},   {"SHA-256", 7, VSC_DIGEST_SHA256}, {"SHA384", 6, VSC_DIGEST_SHA384},
    {"SHA-384", 7, VSC_DIGEST_SHA384},  {"SHA512", 6, VSC_DIGEST_SHA512},  {"SHA-512", 7, VSC_DIGEST_SHA512},
    {"HAS160", 6, VSC_DIGEST_HAS160},   {"HAS-160", 7, VSC_DIGEST_HAS160},
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The next run of characters outside "/-" from pos on (strtok_r's view of
// the name); pos moves past it.
std::string_view nextPart(std::string_view name, size_t& pos) {
    const size_t start = name.find_first_not_of("/-", pos);
    if (start == std::string_view::npos) {
        pos = name.size();
        return {};
    }
    const size_t end = std::min(name.find_first_of("/-", start), name.size());
    pos = end;
    return name.substr(start, end - start);
}

constexpr int cipherCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_CONV_CIPHER_NAME, reason); }
constexpr int hashCode(int reason) { return VCL_CORE_CODE(VCL_CAT_COMMON_CONV_HASH_NAME, reason); }
constexpr int rsaesCode(int reason) { return VCL_CORE_CODE(VCL_CAT_PKCS1_CRYPTO_PK1_RSAES, reason); }

// Digests whose id goes into an OAEP or PSS padding mode, with the PSS salt
// length (the digest's length).
struct PadDigest {
    int id;
    int salt;
};
constexpr PadDigest kPadDigests[] = {
    {VSC_DIGEST_SHA1, 20},   {VSC_DIGEST_SHA256, 32}, {VSC_DIGEST_SHA384, 48},
    {VSC_DIGEST_SHA512, 64}, {VSC_DIGEST_MD5, 16},
};

const PadDigest* padDigest(int id) {
    for (const auto& d : kPadDigests)
        if (d.id == id) return &d;
    return nullptr;
}

ASN1_TIME* clockAs(bool local) {
    const Time64_T now = static_cast<Time64_T>(zcore::now());
    ASN1_TIME* t = new_ASN1_TIME();
    if (!t) return nullptr;
    if (!(local ? localtime64_r(&now, t) : gmtime64_r(&now, t))) {
        free_ASN1_TIME(t);
        return nullptr;
    }
    return t;
}

}  // namespace

extern "C" {

VCL_API int VCL_Initialize(void) { return VSC_Crypto_Initialize(); }
VCL_API int VCL_COM_Change_Non_Proven(void) { return VSC_Change_Non_Proven_Mode(); }
VCL_API int VCL_COM_ChangeTestMode(void) { return VSC_Change_Test_Mode(); }

VCL_API int VCL_COM_convert_cipher_name(const char* name, int* id) {
    if (!name || !id) return cipherCode(VCL_R_NULL_PARAM);
    const std::string_view whole(name);
    if (whole.size() > VCL_CIPHER_NAME_MAX) return cipherCode(VCL_R_INVALID_PARAM);
    size_t pos = 0;
    const std::string_view algPart = nextPart(whole, pos);
    if (algPart.empty()) return cipherCode(VCL_R_NO_ALGORITHM_PART);
    const std::string_view modePart = nextPart(whole, pos);
    if (modePart.empty()) return cipherCode(VCL_R_NO_MODE_PART);
    if (algPart.size() > VCL_CIPHER_PART_MAX || modePart.size() > VCL_CIPHER_PART_MAX)
        return cipherCode(VCL_R_INVALID_PARAM);
    const std::string alg = upper(algPart);
    std::string mode = upper(modePart);
    if (alg.size() < 2 || mode.size() < 3) return cipherCode(VCL_R_INVALID_PARAM);

    const int algId = lookUp(alg, kCipherAlgorithms, std::size(kCipherAlgorithms));
    if (algId == 0) return cipherCode(VCL_R_UNSUPPORTED_NAME);
    // The one three-part name understood, as written and in this case only.
    if ((alg == "ARIA" || alg == "ARIA128") && whole == "ARIA-128-CBC") mode = "CBC";
    for (const auto& row : kCipherModes) {
        if (matches(mode, row)) {
            *id = algId | row.id;
            return 0;
        }
    }
    return cipherCode(VCL_R_UNSUPPORTED_MODE);
}

VCL_API int VCL_COM_convert_hash_name(const char* name, int* id) {
    if (!name || !id) return hashCode(VCL_R_NULL_PARAM);
    const std::string_view text(name);
    if (text.size() < 3 || text.size() > VCL_HASH_NAME_MAX) return hashCode(VCL_R_INVALID_PARAM);
    const int found = lookUp(upper(text), kDigests, std::size(kDigests));
    if (found == 0) return hashCode(VCL_R_UNSUPPORTED_NAME);
    *id = found;
    return 0;
}

VCL_API int VCL_COM_Convert_Hash_Name(const char* name, int* id) { return VCL_COM_convert_hash_name(name, id); }

VCL_API int VCL_COM_convert_hash_id_to_name(int oid_row, char* name_out) {
    if (!name_out) return -1;
    const int digest = get_DigestID_from_OID(oid_row);
    if (digest == 0) return -1;
    const int row = get_OID_from_DigestID(digest);
    if (row == 0) return -1;
    const char* sn = sn_from_index(row);
    if (!sn || std::strlen(sn) >= 32) return -1;
    std::strcpy(name_out, sn);
    return 0;
}

VCL_API int VCL_RSA_OAEP_make_padding_mode(int scheme, const char* hash_name, int* mode) {
    if (!mode) return rsaesCode(VCL_R_NULL_PARAM);
    int digest = 0;
    if (VCL_COM_convert_hash_name(hash_name, &digest) != 0) return rsaesCode(VCL_R_UNSUPPORTED_NAME);
    switch (scheme) {
        case VSC_RSAES_OAEP:
        case VSC_RSAES_OAEP_V21:
            *mode = padDigest(digest) ? scheme | digest : scheme;
            return 0;
        case VSC_RSAES_RAW:
        case VSC_RSAES_PKCS1_V15:
            *mode = scheme;
            return 0;
        default:
            return rsaesCode(VCL_R_UNSUPPORTED_PADDING);
    }
}

VCL_API int VCL_RSA_PSS_make_padding_mode(int scheme, int hash_id, int* mode) {
    if (!mode) return rsaesCode(VCL_R_NULL_PARAM);
    if (scheme < 0 || scheme > VSC_RSASSA_PSS) return rsaesCode(VCL_R_UNSUPPORTED_PADDING);
    *mode = scheme;
    if (scheme == VSC_RSASSA_PSS) {
        // Other digests leave the salt length to the signer.
        if (const PadDigest* d = padDigest(hash_id)) *mode = scheme | hash_id | d->salt << 16;
    }
    return 0;
}

VCL_API ASN1_TIME* VCL_COM_getCurrentLocalTime(void) { return clockAs(true); }
VCL_API ASN1_TIME* VCL_COM_getCurrentGMTime(void) { return clockAs(false); }

VCL_API int VCL_COM_HEX2BIGINT_n_cmp(const char* hex_a, const char* hex_b) {
    zcore::BigInt a(VSC_HEX_To_BIGINT(hex_a));
    zcore::BigInt b(VSC_HEX_To_BIGINT(hex_b));
    if (!a || !b) return -99;
    return VSC_Cmp_BIGINT(a.get(), b.get());
}

}  // extern "C"

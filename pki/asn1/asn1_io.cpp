#include <zunPKI/asn1/asn1_io.h>

#include "asn1/ber_internal.hpp"
#include <zunPKI/asn1/utils.h>
#include "asn1/utils.hpp"
#include "asn1/pki_buffer.hpp"
#include <zunPKI/asn1/pem.h>

#include <zunCrypto/zunCrypto.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

constexpr PKI_ERROR kDerNoInput = PKI_ERR(L_DER, F_DER_IO, ERR_R_INVALID_ELEMENT);
constexpr PKI_ERROR kDerNotOneTlv = PKI_ERR(L_DER, F_DER_IO, ERR_R_NOT_ONE_TLV);
constexpr PKI_ERROR kPemNoInput = PKI_ERR(L_PEM, 0, ERR_R_INVALID_ELEMENT);
constexpr PKI_ERROR kPemNotOneTlv = PKI_ERR(L_PEM, 0, ERR_R_NOT_ONE_TLV);

using Node = zpki::Owned<ASN1_UNIT, free_ASN1_UNIT>;

// The DER of value through its encoder; empty when the encoder fails (the
// node it may have started is freed with it).
zpki::Buffer encodeDer(void* value, ASN1_ENCODE_FUNC encoder, int& len) {
    len = -1;
    if (encoder == nullptr) return {};
    ASN1_UNIT* made = nullptr;
    PKI_ERROR rc = encoder(value, &made);
    Node node(made);  // freed also when the encoder fails half-way
    if (rc != PKI_SUCCESS || node == nullptr) return {};
    unsigned char* bytes = nullptr;
    int n = ASN1_to_binary(node.get(), &bytes);
    auto der = zpki::Buffer::adopt(bytes, n);
    if (n < 0) return {};
    len = n;
    return der;
}

// The whole file, or nothing when it cannot be read.
zpki::Buffer wholeFile(const char* path, int& len) {
    unsigned char* bytes = nullptr;
    len = File_to_binary(path, &bytes);
    return zpki::Buffer::adopt(bytes, len);
}

PKI_ERROR decodeDer(void** value, ASN1_DECODE_FUNC decoder, const unsigned char* bytes, int len, PKI_ERROR notOneTlv) {
    Node node(decodeToDERSequence(bytes, len));
    if (node == nullptr) return notOneTlv;
    return decoder(node.get(), value);
}

}  // namespace

extern "C" {

int ASN1_to_binary(const ASN1_UNIT* node, unsigned char** bytes) {
    if (bytes == nullptr) return -1;
    *bytes = nullptr;
    zpki::ber::Bytes encoded;
    if (node == nullptr || !zpki::ber::serialize(node, encoded) || encoded.size() >= INT32_MAX) return -1;
    auto out = zpki::Buffer::allocate(encoded.size() + 1);
    if (!out) return -1;
    std::memcpy(out.data(), encoded.data(), encoded.size());
    *bytes = out.release();
    return static_cast<int>(encoded.size());
}

int ASN1_STRING_to_binary(const ASN1_STRING* str, unsigned char** bytes) {
    if (str == nullptr || bytes == nullptr) return -1;
    *bytes = nullptr;
    // Appended as the one child of a fresh SEQUENCE, whose contents are then
    // exactly the string's TLV.
    Node holder(new_ASN1_UNIT());
    if (holder == nullptr ||
        addToDERSequence(holder.get(), ASN1_TAG_ANY_STRING, const_cast<ASN1_STRING*>(str), str->length) != PKI_SUCCESS)
        return -1;
    int n = getASN1ValueLength(holder.get());
    if (n <= 0 || holder->value == nullptr) return -1;
    auto out = zpki::Buffer::allocate(static_cast<size_t>(n) + 1);
    if (!out) return -1;
    std::memcpy(out.data(), holder->value, static_cast<size_t>(n));
    *bytes = out.release();
    return n;
}

int ASN1_to_FILE(const ASN1_UNIT* node, const char* path) {
    if (path == nullptr) return -1;
    unsigned char* bytes = nullptr;
    int n = ASN1_to_binary(node, &bytes);
    auto der = zpki::Buffer::adopt(bytes, n);
    if (n <= 0) return -1;
    return binary_to_File(der.data(), 0, n, path);
}

int writeDER_to_Binary(void* value, ASN1_ENCODE_FUNC encoder, unsigned char** bytes) {
    if (bytes == nullptr) return -1;
    *bytes = nullptr;
    int len;
    auto der = encodeDer(value, encoder, len);
    if (!der) return -1;
    *bytes = der.release();
    return len;
}

int writeDER_to_FILE(void* value, ASN1_ENCODE_FUNC encoder, const char* path) {
    if (path == nullptr) return -1;
    int len;
    auto der = encodeDer(value, encoder, len);
    if (!der) return -1;
    return binary_to_File(der.data(), 0, len, path);
}

PKI_ERROR readDER_from_Binary(void** value, ASN1_DECODE_FUNC decoder, const unsigned char* bytes, int len) {
    if (value == nullptr || decoder == nullptr || bytes == nullptr || len <= 0) return kDerNoInput;
    return decodeDer(value, decoder, bytes, len, kDerNotOneTlv);
}

PKI_ERROR readDER_from_File(void** value, ASN1_DECODE_FUNC decoder, const char* path) {
    int n;
    auto der = wholeFile(path, n);
    if (!der) return kDerNoInput;
    return readDER_from_Binary(value, decoder, der.data(), n);
}

int writePEM_to_Binary(void* value, ASN1_ENCODE_FUNC encoder, const char* label, int labelLen, char** pem) {
    if (pem == nullptr) return kPemNoInput;
    *pem = nullptr;
    int len;
    auto der = encodeDer(value, encoder, len);
    if (!der) return -1;
    int n = encode_PEM(der.data(), len, label, labelLen, pem, 1);
    return n > 0 ? n : -1;
}

int writePEM_to_FILE(void* value, ASN1_ENCODE_FUNC encoder, const char* label, int labelLen, const char* path) {
    if (path == nullptr) return kPemNoInput;
    char* text = nullptr;
    int n = writePEM_to_Binary(value, encoder, label, labelLen, &text);
    auto pem = zpki::Buffer::adopt(text, n);
    if (n <= 0 || text == nullptr) return -1;
    // A private key is for its owner's eyes only, in whatever armour.
    const bool secret = labelLen > 0 && std::string_view(label, static_cast<size_t>(labelLen)).find("PRIVATE KEY") !=
                                            std::string_view::npos;
    return secret ? zpki::writePrivateFile(pem.data(), static_cast<size_t>(n), path)
                  : binary_to_File(pem.data(), 0, n, path);
}

PKI_ERROR readPEM_from_Binary(void** value, ASN1_DECODE_FUNC decoder, const char* pem, int pemLen) {
    if (value == nullptr || decoder == nullptr || pem == nullptr) return kPemNoInput;
    unsigned char* bytes = nullptr;
    int n = decode_PEM(pem, pemLen, &bytes);
    auto der = zpki::Buffer::adopt(bytes, n);
    if (n <= 0) return kPemNoInput;
    return decodeDer(value, decoder, der.data(), n, kPemNotOneTlv);
}

PKI_ERROR readPEM_from_File(void** value, ASN1_DECODE_FUNC decoder, const char* path) {
    int n;
    auto text = wholeFile(path, n);
    if (!text) return kPemNoInput;
    return readPEM_from_Binary(value, decoder, text.chars(), n);
}

int get_ASN1_hash(void* value, ASN1_ENCODE_FUNC encoder, int digestId, unsigned char* out) {
    if (value == nullptr || out == nullptr) return 0;
    int len;
    auto der = encodeDer(value, encoder, len);
    if (!der) return 0;
    int outLen = 0;
    if (VSC_DIGEST(digestId, der.data(), len, out, &outLen) != VSC_OK) return 0;
    return outLen;
}

}  // extern "C"

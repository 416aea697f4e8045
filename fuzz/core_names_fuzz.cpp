// The crypto front end on arbitrary bytes: cipher and digest names map to
// ids of the known tables or to a refusal, PEM and DER typing read nothing
// past the length given (the input is an exactly sized heap copy) and give
// only the listed types, and PEM to DER to PEM to DER comes back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zunCore/zunCore.h>
#include <zunCrypto/zunCrypto.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool knownCipher(int id) {
    const int alg = id & static_cast<int>(VSC_CIPHER_ALG_MASK);
    const int mode = id & 0xFF;
    const int algs[] = {VSC_CIPHER_BF,      VSC_CIPHER_DES,    VSC_CIPHER_RC5,     VSC_CIPHER_AES128,
                        VSC_CIPHER_AES192,  VSC_CIPHER_AES256, VSC_CIPHER_ARIA128, VSC_CIPHER_ARIA192,
                        VSC_CIPHER_ARIA256, VSC_CIPHER_SEED,   VSC_CIPHER_DES_EDE};
    bool known = false;
    for (int a : algs) known = known || a == alg;
    return known && (mode == 0x00 || mode == 0x20 || mode == 0x40 || mode == 0x60 || mode == 0x80);
}

bool knownDigest(int id) {
    for (int d : {VSC_DIGEST_MD5, VSC_DIGEST_MDC2, VSC_DIGEST_SHA1, VSC_DIGEST_SHA224, VSC_DIGEST_SHA256,
                  VSC_DIGEST_SHA384, VSC_DIGEST_SHA512, VSC_DIGEST_HAS160})
        if (d == id) return true;
    return false;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

void names(const std::string& text) {
    const std::string name = text.substr(0, text.find('\0'));
    int id = -1;
    if (VCL_COM_convert_cipher_name(name.c_str(), &id) == 0) {
        check(knownCipher(id));
        // Case matters only for the one three-part name understood.
        int again = -1;
        if (name != "ARIA-128-CBC" && VCL_COM_convert_cipher_name(upper(name).c_str(), &again) == 0) check(again == id);
        if (VCL_SYM_Get_Block_Length(name.c_str()) > 0) check(VCL_SYM_Enc_Buf_Size(name.c_str(), 16) > 17);
    } else {
        check(id == -1);
    }
    id = -1;
    if (VCL_COM_convert_hash_name(name.c_str(), &id) == 0) {
        check(knownDigest(id));
        int again = -1;
        check(VCL_COM_convert_hash_name(upper(name).c_str(), &again) == 0 && again == id);
    } else {
        check(id == -1);
    }
}

void files(const uint8_t* data, size_t size) {
    const int n = static_cast<int>(size);
    const char* text = reinterpret_cast<const char*>(data);
    int type = -1;
    if (VCL_COM_get_pemfile_type(text, n, &type) == 0) check(type == 53 || type == 54 || type == 67);
    type = -1;
    if (VCL_COM_get_derfile_type(data, n, &type) == 0)
        check(type == 53 || type == 54);
    else
        check(type == -1);

    unsigned char* der = nullptr;
    int derLen = 0;
    if (VCL_COM_PEM_to_DER(text, n, &der, &derLen) != 0) {
        check(der == nullptr && derLen == 0);
        return;
    }
    check(der != nullptr && derLen > 0 && der[derLen] == 0);
    char* pem = nullptr;
    int pemLen = 0;
    // DER that looks like PEM text is refused; anything else converts back.
    if (VCL_COM_DER_to_PEM(der, derLen, &pem, &pemLen, 55) == 0) {
        unsigned char* back = nullptr;
        int backLen = 0;
        check(VCL_COM_PEM_to_DER(pem, pemLen, &back, &backLen) == 0);
        check(backLen == derLen && std::memcmp(back, der, static_cast<size_t>(derLen)) == 0);
        VCL_Free(back, backLen);
        VCL_Free(pem, pemLen);
    }
    VCL_Free(der, derLen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    names(std::string(reinterpret_cast<const char*>(data), size));
    files(data, size);
    return 0;
}

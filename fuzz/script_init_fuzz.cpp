// Script keys and Base64 cipher input on arbitrary text: a key read is of a
// known kind with a NUL after its data (the RSA kind Base64 of the
// parameter's whole element, which the verifier then judges), and whatever
// VCL_SYM_Decrypt accepts as Base64 encrypts back to the bytes the text
// carries.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/zunCore.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

const unsigned char kKey[32] = {7,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
const unsigned char kIv[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};

void scriptKey(const std::string& text) {
    VCL_SCRIPT_KEY* key = nullptr;
    if (VCL_COM_WebContentScriptInit(text.c_str(), &key) != 0) {
        check(key == nullptr);
        return;
    }
    check(key != nullptr && key->data != nullptr && key->data_len > 0 && key->data[key->data_len] == 0);
    check(key->kind == VCL_SCRIPT_HMAC_SHA1 || key->kind == VCL_SCRIPT_SHA1_RSA);
    if (key->kind == VCL_SCRIPT_SHA1_RSA) {
        unsigned char* der = nullptr;
        const int n = VCL_Base64_Decode(reinterpret_cast<char*>(key->data), key->data_len, &der);
        check(n >= 2);  // at least an identifier and a length
        VCL_Free(der, n);
        // The verifier takes the key, or tells why not; it never crashes.
        const unsigned char sig[4] = {1, 2, 3, 4};
        VCL_COM_WebContentScriptVerifier_RSA(reinterpret_cast<char*>(key->data), sig, 4, sig, 4);
    }
    std::free(key->data);
    std::free(key);
}

void decrypt(const std::string& text, const char* name, int pad) {
    unsigned char* plain = nullptr;
    int plainLen = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const int n = static_cast<int>(text.size());
    if (VCL_SYM_Decrypt(kKey, kIv, name, pad, in, n, &plain, &plainLen, VCL_ENCODING_BASE64) != 0) {
        check(plain == nullptr && plainLen == 0);
        return;
    }
    unsigned char* bytes = nullptr;
    const int m = VCL_Base64_Decode(text.data(), n, &bytes);
    check(m > 0);
    unsigned char* again = nullptr;
    int againLen = 0;
    check(VCL_SYM_Encrypt(kKey, kIv, name, pad, plain, plainLen, &again, &againLen, VCL_ENCODING_RAW) == 0);
    check(againLen == m && std::memcmp(again, bytes, static_cast<size_t>(m)) == 0);
    VCL_Free(again, againLen);
    VCL_Free(bytes, m);
    VCL_Free(plain, plainLen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    scriptKey(text.substr(0, text.find('\0')));
    decrypt(text, "SEED-CBC", 1);
    decrypt(text, "ARIA-CTR", 1);
    decrypt(text, "BF-ECB", 0);
    return 0;
}

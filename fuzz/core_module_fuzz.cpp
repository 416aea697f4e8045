// Appended-signature verification on arbitrary files: random bytes never
// verify, and a file that is made from them with the library's own signing
// verifies until any byte of it changes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <zunCore/module.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/pkcs/pkcs1.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

std::string gPrivate, gPublic, gIn, gOut;

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A key of its own, made once: no key text is kept in the tree.
    RSA_UNIT* rsa = VSC_New_RSA();
    if (!rsa || VSC_Generate_RSA_Params_Ex(rsa, 65537, 2048, 1) != VSC_OK) abort();
    char* priv = nullptr;
    char* pub = nullptr;
    // The writers go by the unit's private marker.
    rsa->is_private = 1;
    const int privLen = writePKCS1PrivateKey_to_Binary(rsa, nullptr, 0, &priv);
    rsa->is_private = 0;
    const int pubLen = writePKCS1PublicKey_to_Binary(rsa, nullptr, &pub);
    if (privLen <= 0 || pubLen <= 0) abort();
    gPrivate.assign(priv, static_cast<size_t>(privLen));
    gPublic.assign(pub, static_cast<size_t>(pubLen));
    VSC_Free(priv, __FILE__, __LINE__);
    VSC_Free(pub, __FILE__, __LINE__);
    VSC_Free_RSA(rsa);
    const std::string base = "/tmp/core-module-fuzz-" + std::to_string(getpid());
    gIn = base + ".in";
    gOut = base + ".out";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFile(gIn, data, size);
    const int rc = VCL_verify_module(gIn.c_str(), gPublic.c_str());
    check(rc == VCL_ERR_MODULE_READ || rc == VCL_ERR_MODULE_FINAL);
    check((rc == VCL_ERR_MODULE_READ) == (size <= 256));

    // Signed by us: it verifies, and no longer once a byte changes.
    if (size == 0 || size > 4096) return 0;
    check(VCL_sign_module(gIn.c_str(), gOut.c_str(), gPrivate.c_str()) == 0);
    check(VCL_verify_module(gOut.c_str(), gPublic.c_str()) == 0);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    bytes[data[0] % size] ^= static_cast<char>(1 | data[size - 1]);
    writeFile(gIn, reinterpret_cast<const uint8_t*>(bytes.data()), size);
    FILE* f = std::fopen(gOut.c_str(), "r+b");
    if (!f) abort();
    std::fwrite(bytes.data(), 1, size, f);
    std::fclose(f);
    check(VCL_verify_module(gOut.c_str(), gPublic.c_str()) == VCL_ERR_MODULE_FINAL);
    return 0;
}

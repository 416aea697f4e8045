// A small program the certificate-check tests run under faketime and other
// time zones:
//   core_x509_helper validity <cert> <margin>   the record path, the path
//       without record, VCL_X509_Verify's validity bit and the renewal check
//   core_x509_helper nextupdate <crl>           the CRL's freshness
// Each prints its results as hex codes on one line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <zunCore/x509_check.h>
#include <zunCore/x509_info.h>

namespace {

std::string readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int validity(const char* path, int margin) {
    const std::string der = readAll(path);
    const int len = static_cast<int>(der.size());
    X509_Info* info = nullptr;
    if (VCL_X509_Init_X509_Info(der.data(), len, '|', &info) != 0) return 2;
    const int withRecord = VCL_X509_Verify_Validity(nullptr, 0, info);
    const int plain = VCL_X509_Verify_Validity(der.data(), len, nullptr);
    const int verify = VCL_X509_Verify(der.data(), len, nullptr, 0, VCL_X509_CHECK_VALIDITY);
    const int update = VCL_X509_Check_Update(info, margin);
    VCL_X509_Free_X509_Info(info);
    std::printf("%x %x %x %x\n", static_cast<unsigned>(withRecord), static_cast<unsigned>(plain),
                static_cast<unsigned>(verify), static_cast<unsigned>(update));
    return 0;
}

int nextUpdate(const char* path) {
    const std::string der = readAll(path);
    std::printf("%x\n", static_cast<unsigned>(VCL_X509_CRL_Verify_NextUpdate(
                            reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()))));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "validity") == 0) return validity(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "nextupdate") == 0) return nextUpdate(argv[2]);
    std::fprintf(stderr, "usage: core_x509_helper validity <cert> <margin> | nextupdate <crl>\n");
    return 1;
}

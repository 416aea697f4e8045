// Prints VPL_ServerCert_Verify_Validity's result for a certificate file:
// the tests run it under faketime.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <zephaltpavix/policy.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::string cert((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("%d\n", VPL_ServerCert_Verify_Validity(cert.data(), static_cast<int>(cert.size())));
    return 0;
}

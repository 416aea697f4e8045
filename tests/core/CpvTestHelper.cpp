// The path validation as a program of its own, for the tests that run it
// under faketime and other time zones:
//   core_cpv_helper <crl flag> <target> [<CA>...]
// prints the result as a hex code on one line.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zunCore/x509_cpv.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: core_cpv_helper <crl flag> <target> [<CA>...]\n");
        return 1;
    }
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<CERT_ITEM> cas;
    for (size_t i = 1; i < files.size(); ++i)
        cas.push_back({reinterpret_cast<unsigned char*>(files[i].data()), static_cast<int>(files[i].size())});
    const int rc = VCL_CPV_Cert_Path_Validation(static_cast<int>(cas.size()), cas.data(), files[0].data(),
                                                static_cast<int>(files[0].size()), std::atoi(argv[1]));
    std::printf("%x\n", static_cast<unsigned>(rc));
    return 0;
}

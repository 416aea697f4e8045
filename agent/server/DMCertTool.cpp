// Writes a server-certificate container from a PEM chain and a PEM key.
// Usage: zq-wssc-make <chain.pem> <key.pem> <out>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DMCertContainer.h"
#include "common/DMLinuxUtil.h"

namespace {

bool readAll(const char* path, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <chain.pem> <key.pem> <out>\n", argv[0]);
        return 2;
    }
    // The key goes into a buffer of its final size that is wiped when freed;
    // a stream grown into a string leaves copies of it in freed blocks.
    std::string chain;
    DMSecretBuffer key;
    if (!readAll(argv[1], chain) || ReadCertFileData(argv[2], key) != 0) {
        std::fprintf(stderr, "%s: cannot read the chain or the key\n", argv[0]);
        return 1;
    }
    std::vector<unsigned char> container;
    int r = DMCertContainer_Make(chain, key.view(), container);
    key.wipe();
    if (r != 0) {
        std::fprintf(stderr, "%s: cannot make the container (empty input, or more than %zu bytes)\n", argv[0],
                     kDMCertContainerMax);
        return 1;
    }
    // The agent runs as the user and reads it from a root-owned directory.
    if (DMLinuxUtil_WriteFileAtomic(argv[3], std::string(container.begin(), container.end()), 0644) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}

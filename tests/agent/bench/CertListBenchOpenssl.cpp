// The OpenSSL side of agent_certlist_bench: each file read, decoded with
// d2i_X509, and its subject and issuer written with X509_NAME_oneline.
#include <openssl/x509.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

size_t opensslRead(const std::vector<std::string>& paths) {
    size_t total = 0;
    char name[1024];
    for (const std::string& p : paths) {
        std::ifstream in(p, std::ios::binary);
        const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const unsigned char* q = reinterpret_cast<const unsigned char*>(der.data());
        X509* x = d2i_X509(nullptr, &q, static_cast<long>(der.size()));
        if (!x) continue;
        total += std::strlen(X509_NAME_oneline(X509_get_subject_name(x), name, sizeof name));
        total += std::strlen(X509_NAME_oneline(X509_get_issuer_name(x), name, sizeof name));
        X509_free(x);
    }
    return total;
}

// OpenSSL's side of the listing benchmark, in a file of its own: OpenSSL's
// headers name their types as libzunPKI's do.
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// Reads each certificate file and decodes it with d2i_X509.
void opensslDecodeFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), {});
        const unsigned char* p = der.data();
        X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
        if (!cert) throw std::runtime_error("d2i_X509 failed: " + path);
        X509_free(cert);
    }
}

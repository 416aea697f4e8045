// Signed images and their URLs. An even first byte: the rest is a file's
// bytes through VPL_Downloaded_Image_Verify, which answers only its codes,
// the same twice, 1052006 exactly for data shorter than a signature, and
// accepts no file whose image part had one byte changed. An odd first byte:
// the rest is a URL through VPL_Make_ImageFileName, whose name is the one a
// plain reading of the rule gives (second "/"-separated part cut at ":",
// "_", last part; URLs over 1023 bytes or of fewer than two parts refused).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>
#include <zunCore/x509_info.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

char g_dir[] = "/tmp/store_image_fuzz.XXXXXX";

std::string file() {
    static const bool made = [] {
        check(mkdtemp(g_dir) != nullptr);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(g_dir, ignored);
        });
        return true;
    }();
    (void)made;
    return std::string(g_dir) + "/image";
}

// The signature's length: the signer's modulus in bytes.
size_t signatureLength() {
    static const size_t n = [] {
        X509_Info* info = nullptr;
        check(VCL_X509_Init_X509_Info(Image_Verify_Cert, static_cast<int>(strlen(Image_Verify_Cert)), '|', &info) == 0);
        const size_t bytes = (static_cast<size_t>(info->keyBits) + 7) / 8;
        VCL_X509_Free_X509_Info(info);
        return bytes;
    }();
    return n;
}

int verify(const std::string& bytes) {
    FILE* f = fopen(file().c_str(), "wb");
    check(f != nullptr);
    check(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    check(fclose(f) == 0);
    return VPL_Downloaded_Image_Verify(file().c_str());
}

// The rule, read plainly.
bool expectedName(const std::string& url, std::string& name) {
    if (url.size() > 1023) return false;
    std::vector<std::string> parts;
    std::string part;
    for (char c : url + "/") {
        if (c != '/') {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    if (parts.size() < 2) return false;
    name = parts[1].substr(0, parts[1].find(':')) + "_" + parts.back();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0) {
        // An empty file does not read: the core hands out nothing for it.
        const int rc = verify(rest);
        if (rest.empty()) {
            check(rc == VPL_ERR_READ_FILE);
            return 0;
        }
        // The RSA layer's own codes (0xa5...) pass through for blocks that do
        // not open.
        check(rc == 0 || rc == VPL_ERR_IMAGE || rc == VPL_ERR_IMAGE_LENGTH ||
              (static_cast<unsigned>(rc) & 0xff000000u) == 0xa5000000u);
        const size_t sigLen = signatureLength();
        check((rc == VPL_ERR_IMAGE_LENGTH) == (rest.size() < sigLen));
        check(verify(rest) == rc);
        if (rc == 0 && rest.size() > sigLen) {
            std::string changed = rest;
            changed[data[0] % (rest.size() - sigLen)] ^= 0x20;
            check(verify(changed) == VPL_ERR_IMAGE);
        }
        return 0;
    }
    // The URL up to its first zero byte, as the function reads a text.
    const std::string url = rest.substr(0, rest.find('\0'));
    char* name = nullptr;
    int nameLen = 0;
    const int rc = VPL_Make_ImageFileName(rest.data(), static_cast<int>(rest.size()), &name, &nameLen);
    std::string expected;
    if (expectedName(url, expected)) {
        check(rc == 0 && name != nullptr && std::string(name, nameLen) == expected && name[nameLen] == '\0');
        check(expected.find('/') == std::string::npos);
    } else {
        check(rc == VPL_ERR_INVALID_PARAM && name == nullptr && nameLen == 0);
    }
    VPL_Free(name, nameLen);
    return 0;
}

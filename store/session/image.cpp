// Site images signed by the system's image signer: download, check, store
// in the per-user image folder, and the check of a stored file.
#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/context.h>
#include <zephaltpavix/encode.h>
#include <zephaltpavix/image.h>
#include <zephaltpavix/layout.h>
#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/net.h>
#include <zunCore/pkcs1.h>

#include "disk/disk_internal.hpp"
#include "session/session_internal.hpp"
#include "session/web_internal.hpp"

namespace {

using zstore::fail;
using zstore::web::bytes;

constexpr int kSha1Len = 20;
// The longest URL a download takes (the interface has always had room for
// 1023 bytes); a longer one is refused, never cut.
constexpr size_t kMaxUrl = 1023;
constexpr mode_t kImageMode = 0644;

void clearOut(char** out, int* outLen) {
    if (out) *out = nullptr;
    if (outLen) *outLen = 0;
}

std::string_view signerCert() { return Image_Verify_Cert; }

// The signature's length: the signer key's modulus in bytes.
int signatureLength(int& len) {
    const zstore::InfoPtr info = zstore::readInfo(Image_Verify_Cert, static_cast<int>(signerCert().size()));
    if (!info || info->keyBits <= 0) return VPL_ERR_X509_INFO;
    len = (info->keyBits + 7) / 8;
    return 0;
}

// The signature at the end of signed bytes against the SHA-1 of the rest:
// 0, VPL_ERR_IMAGE_LENGTH, VPL_ERR_IMAGE, or the digest's and RSA codes.
int checkSigned(std::string_view all, const char* fn) {
    int sigLen = 0;
    if (const int rc = signatureLength(sigLen); rc != 0) return rc;
    if (all.size() < static_cast<size_t>(sigLen)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : %zu bytes, shorter than a signature\n", fn, all.size());
        return VPL_ERR_IMAGE_LENGTH;
    }
    const std::string_view image = all.substr(0, all.size() - static_cast<size_t>(sigLen));
    const std::string_view signature = all.substr(image.size());
    zstore::CoreBuffer digest;
    // An empty image has a digest too; the core's digest takes no empty input.
    const int hashRc = VCL_HASH_Data(image.empty() ? "" : image.data(), static_cast<int>(image.size()), &digest.bytes,
                                     &digest.len, "SHA1");
    if (hashRc != 0) return hashRc;
    VCL_COM_Change_Non_Proven();
    zstore::CoreBuffer opened;
    const int rc = VCL_PK1_Public_Decrypt(Image_Verify_Cert, static_cast<int>(signerCert().size()), VCL_RSA_PKCS1_V15,
                                          signature.data(), sigLen, &opened.bytes, &opened.len, VCL_PK1_RAW);
    VPL_Log_HEXA(VCL_LOG_DEBUG, zstore::kLogSource, __LINE__, "image digest", digest.bytes, digest.len);
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s () : VCL_PK1_Public_Decrypt Fail(0x%08x)\n", fn, static_cast<unsigned>(rc));
        return rc;
    }
    VPL_Log_HEXA(VCL_LOG_DEBUG, zstore::kLogSource, __LINE__, "opened signature", opened.bytes, opened.len);
    // Exactly the digest: a block with more behind it is no signature of
    // this image alone.
    if (digest.len != kSha1Len || opened.view() != digest.view()) return VPL_ERR_IMAGE;
    return 0;
}

// "<home>/.veridan/zephalt_fx/images", each level made (0700) when missing.
int imageFolder(zstore::StoreWriter& writer, std::string& folder) {
    std::string home;
    if (const int rc = zstore::homeDirectory(home); rc != 0) return rc;
    std::string path = home == "/" ? "" : home;
    for (const char* level : {"/.veridan", "/zephalt_fx", "/images"}) {
        path += level;
        if (!writer.makeDir(path)) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Check_ImageFolerPath () : [%s] Fail\n", path.c_str());
            return -1;
        }
    }
    folder = std::move(path);
    return 0;
}

// The file name of a URL: the second "/"-separated part cut at ":", "_",
// the last part. Empty parts are skipped.
int imageFileName(std::string_view url, std::string& name) {
    if (url.size() > kMaxUrl) return VPL_ERR_INVALID_PARAM;
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= url.size()) {
        const size_t slash = url.find('/', at);
        const size_t end = slash == std::string_view::npos ? url.size() : slash;
        if (end > at) parts.push_back(url.substr(at, end - at));
        at = end + 1;
    }
    if (parts.size() < 2) return VPL_ERR_INVALID_PARAM;
    const std::string_view host = parts[1].substr(0, parts[1].find(':'));
    name.assign(host);
    name += '_';
    name += parts.back();
    return 0;
}

struct DownloadDeleter {
    int len = 0;
    void operator()(char* p) const { VCL_Free(p, len); }
};

}  // namespace

extern "C" {

VPL_API int VPL_Make_ImageFileName(const char* url, int urlLen, char** name, int* nameLen) {
    static const char* const kFn = "VPL_Make_ImageFileName";
    if (!name || !nameLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(name, nameLen);
    if (!url) return fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string made;
    if (const int rc = imageFileName(zstore::bounded(url, urlLen), made); rc != 0) return fail(kFn, rc);
    return zstore::handOut(made, name, nameLen) == 0 ? 0 : fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_Check_ImageFolerPath(char** path, int* pathLen) {
    static const char* const kFn = "VPL_Check_ImageFolerPath";
    if (!path || !pathLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(path, pathLen);
    zstore::StoreWriter writer;
    std::string folder;
    if (const int rc = imageFolder(writer, folder); rc != 0) return fail(kFn, rc);
    writer.commit();
    return zstore::handOut(folder, path, pathLen) == 0 ? 0 : fail(kFn, VPL_ERR_MALLOC);
}

VPL_API int VPL_Downloaded_Image_Verify(const char* path) {
    static const char* const kFn = "VPL_Downloaded_Image_Verify";
    std::string file;
    if (!path || !zstore::readFile(path, file)) return fail(kFn, VPL_ERR_READ_FILE);
    const int rc = checkSigned(file, kFn);
    return rc ? fail(kFn, rc) : 0;
}

VPL_API int VPL_Image_Verify_Signed(const char* domain, int, const char* urlBase64, int urlBase64Len, char** path,
                                    int* pathLen) {
    static const char* const kFn = "VPL_Image_Verify_Signed";
    if (!path || !pathLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(path, pathLen);
    if (!urlBase64) return fail(kFn, VPL_ERR_INVALID_PARAM);
    CTX* ctx = domain ? zstore::findContext(domain) : nullptr;
    if (!ctx) return fail(kFn, VPL_ERR_DOMAIN);

    const std::string_view encoded = zstore::bounded(urlBase64, urlBase64Len);
    char* decoded = nullptr;
    int decodedLen = 0;
    if (const int rc = VPL_DataDecode(0, encoded.data(), static_cast<int>(encoded.size()), &decoded, &decodedLen);
        rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Image_Verify_Signed () : URI Decode Fail\n");
        return fail(kFn, rc);
    }
    const std::string url(bytes(decoded, decodedLen));
    VPL_Free(decoded, decodedLen);
    std::string name;
    if (url.empty() || url.size() > kMaxUrl || url.find('\0') != std::string::npos)
        return fail(kFn, VPL_ERR_INVALID_PARAM);
    if (const int rc = imageFileName(url, name); rc != 0) return fail(kFn, rc);
    if (!zstore::isSafeComponent(name)) return fail(kFn, VPL_ERR_PATH);

    int got = 0;
    std::unique_ptr<char, DownloadDeleter> body(VCL_Http_Get_file(url.c_str(), &got));
    body.get_deleter().len = got;
    if (!body || got <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VPL_Image_Verify_Signed () : nothing downloaded from [%s]\n", url.c_str());
        return fail(kFn, VPL_ERR_IMAGE);
    }
    const std::string_view download(body.get(), static_cast<size_t>(got));
    if (const int rc = checkSigned(download, kFn); rc != 0) return fail(kFn, rc);

    zstore::StoreWriter writer;
    std::string folder;
    if (const int rc = imageFolder(writer, folder); rc != 0) return fail(kFn, rc);
    const std::string full = folder + "/" + name;
    if (full.size() >= VPL_PATH_MAX) return fail(kFn, VPL_ERR_PATH);
    if (!writer.write(folder, {{name, download, kImageMode}})) return fail(kFn, VPL_ERR_WRITE_FILE);

    char* copy = zstore::newBuffer(full);
    char* text = nullptr;
    int textLen = 0;
    if (!copy || VPL_DataEncode(0, full.data(), static_cast<int>(full.size()), &text, &textLen) != 0) {
        std::free(copy);
        return fail(kFn, VPL_ERR_MALLOC);
    }
    writer.commit();
    zstore::release(ctx->imagePath, ctx->imagePathLen);
    ctx->imagePath = copy;
    ctx->imagePathLen = static_cast<int>(full.size());
    *path = text;
    *pathLen = textLen;
    return 0;
}

}  // extern "C"

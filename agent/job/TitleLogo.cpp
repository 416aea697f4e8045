// The signature check of a downloaded title logo or alert banner.
#include <zephaltpavix/error.h>
#include <zunCore/cipher.h>
#include <zunCore/crypto.h>
#include <zunCore/pkcs1.h>
#include <zunCore/util.h>

#include <cstring>
#include <string>

#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/Launchers.h"

namespace {

constexpr int kSha1Length = 20;
// PKCS#1 v1.5 with the public key: undoes the signer's block type 1.
constexpr unsigned char kRsaPkcs1 = 32;
// Raw bytes in and out (no Base64).
constexpr int kRawBytes = 16;

// Frees a core buffer on every path.
struct CoreBuffer {
    unsigned char* data = nullptr;
    int length = 0;
    ~CoreBuffer() { VCL_Free(data, length); }
};

}  // namespace

int Verify_downloadedTitleLogo(const char* imagePath) {
    if (!imagePath) return VPL_ERR_READ_FILE;
    CoreBuffer file;
    int rc = VCL_Read_File(imagePath, &file.data, &file.length);
    if (rc != 0 || !file.data) {
        JOBLOG("[ERR]Verify_downloadedTitleLogo : VCL_Read_File [%d] %s\n", rc, imagePath);
        return VPL_ERR_READ_FILE;
    }
    // At least one image byte before the signature; a shorter file would
    // make the signature read outside it.
    if (file.length <= kLogoSignatureLength) {
        JOBLOG("[ERR]Verify_downloadedTitleLogo : %d bytes hold no signed image\n", file.length);
        return VPL_ERR_READ_FILE;
    }
    CoreBuffer cert;
    const std::string certPath = std::string(DMLinuxUtil_GetInstallDir()) + "/Resources/image_verify_cert.pem";
    rc = VCL_Read_File(certPath.c_str(), &cert.data, &cert.length);
    if (rc != 0 || !cert.data) {
        JOBLOG("[ERR]Verify_downloadedTitleLogo : no verification certificate [%d] %s\n", rc, certPath.c_str());
        return VPL_ERR_READ_FILE;
    }
    VCL_COM_Change_Non_Proven();
    const int imageLength = file.length - kLogoSignatureLength;
    CoreBuffer hash;
    rc = VCL_HASH_Data(file.data, imageLength, &hash.data, &hash.length, "SHA1");
    if (rc != 0) return rc;
    CoreBuffer recovered;
    rc = VCL_PK1_Public_Decrypt(cert.data, cert.length, kRsaPkcs1, file.data + imageLength, kLogoSignatureLength,
                                &recovered.data, &recovered.length, kRawBytes);
    if (rc != 0) return rc;
    // Exactly the digest: a shorter recovered block never passes as a
    // prefix of it.
    if (hash.length != kSha1Length || recovered.length != kSha1Length ||
        std::memcmp(hash.data, recovered.data, kSha1Length) != 0) {
        JOBLOG("Verify_downloadedTitleLogo : Decrypt data Fail\n");
        return VPL_ERR_IMAGE;
    }
    return 0;
}

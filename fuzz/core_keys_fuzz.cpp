// The core's key openers and PKCS#12 reader on arbitrary bytes, under the
// seeds' password "pw". Properties: an opened private key is RSA or KCDSA;
// a PKCS#8 key that opens changes its password and keeps its VID random; a
// PFX (given a fresh MAC, so that mutated safes are read) that reads gives
// pairs whose keys open with the password and belong to their
// certificates, and those pairs make a PFX that reads back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/keypass.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs12.h>
#include <zunCore/pkcs8.h>
#include <zunCore/util.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/pkcs12.h>
#include <zunPKI/pkcs/pkcs12_safe.h>

#include "fuzz_util.hpp"

namespace {

const char kPw[] = "pw";
constexpr int kPwLen = 2;

std::string bytesOf(const void* p, int n) { return p && n > 0 ? std::string(static_cast<const char*>(p), n) : ""; }

std::string randomOf(const void* key, int len, const char* pw, int pwLen, int& rc) {
    unsigned char* random = nullptr;
    int n = 0;
    rc = VCL_PK8_Get_Random(key, len, pw, pwLen, &random, &n);
    std::string out = bytesOf(random, n);
    VCL_Free(random, n);
    return out;
}

void openKeys(const uint8_t* data, int size) {
    for (const char* pw : {kPw, static_cast<const char*>(nullptr)}) {
        const int pwLen = pw ? kPwLen : 0;
        ASYMMETRIC_KEY* key = nullptr;
        if (VCL_PK1_priv_convert_keyunit(data, size, pw, pwLen, &key) == 0 &&
            (!key || (key->kind != ASYMMETRIC_KEY_RSA && key->kind != ASYMMETRIC_KEY_KCDSA)))
            abort();
        free_ASYMMETRIC_KEY(key);
        RSAINFO* info = nullptr;
        VCL_PK1_Privatekey_To_RSAINFO(data, size, pw, pwLen, &info);
        std::free(info);
        VCL_COM_Check_Password(data, size, pw, pwLen);
    }
    ASYMMETRIC_KEY* pub = nullptr;
    VCL_PK1_pubk_convert_keyunit(data, size, &pub);
    free_ASYMMETRIC_KEY(pub);

    // A PKCS#8 key that opens takes a new password and keeps its random.
    if (VCL_PK8_Check_Passwd(data, size, kPw, kPwLen) != 0) return;
    int before = 0, after = 0;
    const std::string random = randomOf(data, size, kPw, kPwLen, before);
    unsigned char* changed = nullptr;
    int changedLen = 0;
    if (VCL_PK8_Change_Passwd(data, size, kPw, kPwLen, "new", 3, &changed, &changedLen) == 0) {
        if (VCL_PK8_Check_Passwd(changed, changedLen, "new", 3) != 0) abort();
        if (randomOf(changed, changedLen, "new", 3, after) != random || (before == 0) != (after == 0)) abort();
    }
    VCL_Free(changed, changedLen);
}

// The PFX's bytes with a fresh MAC under the password, or empty.
std::string withFreshMac(const uint8_t* data, int size) {
    ASN1_UNIT* node = decodeToBERSequence(data, size);
    PKCS12* pfx = nullptr;
    std::string out;
    if (node && Seq_to_P12_PFX(node, &pfx) == 0 && pfx->macData) {
        static const unsigned char kOne = 1;
        set_PKCS12_MAC_iter(pfx, &kOne, 1);
        if (set_PKCS12_mac(pfx, kPw, kPwLen, nullptr, 0, 1, 0) == 0) {
            ASN1_UNIT* encoded = nullptr;
            unsigned char* bytes = nullptr;
            const int n = P12_PFX_to_Seq(pfx, &encoded) == 0 ? ASN1_to_binary(encoded, &bytes) : -1;
            out = bytesOf(bytes, n);
            VSC_FREE(bytes);
            free_ASN1_UNIT(encoded);
        }
    }
    free_PKCS12(pfx);
    free_ASN1_UNIT(node);
    return out;
}

struct Read {
    PKISTRINFO *pairs = nullptr, *certs = nullptr;
    int nPairs = 0, nCerts = 0;
    int rc = 0;
    Read(const std::string& pfx) {
        rc = VCL_PK12_Verify_PFX(kPw, kPwLen, pfx.data(), static_cast<int>(pfx.size()), &nPairs, &pairs, &nCerts,
                                 &certs);
    }
    ~Read() {
        VCL_PK1_Free_PKISTRINFOS(pairs, nPairs);
        VCL_PK1_Free_PKISTRINFOS(certs, nCerts);
        std::free(pairs);
        std::free(certs);
    }
};

void readPfx(const uint8_t* data, int size) {
    const std::string pfx = withFreshMac(data, size);
    if (pfx.empty()) return;
    const Read first(pfx);
    if (first.rc != 0) {
        if (first.pairs || first.certs) abort();
        return;
    }
    for (int i = 0; i < first.nPairs; ++i) {
        const PKISTRINFO& p = first.pairs[i];
        if (!p.cert || !p.key || VCL_PK8_Check_Passwd(p.key, p.key_len, kPw, kPwLen) != 0) abort();
    }
    if (first.nPairs == 0 || first.nPairs > 2) return;
    // The pairs (and further certificates) make a file that reads back.
    CERT_ITEM extra[4];
    const int nExtra = first.nCerts < 4 ? first.nCerts : 4;
    for (int i = 0; i < nExtra; ++i) extra[i] = {first.certs[i].cert, first.certs[i].cert_len};
    unsigned char* made = nullptr;
    int madeLen = 0;
    if (VCL_PK12_Make_PFX(kPw, kPwLen, nullptr, 0, first.nPairs, first.pairs, nExtra, extra, &made, &madeLen) == 0) {
        const Read again(bytesOf(made, madeLen));
        if (again.rc != 0 || again.nPairs != first.nPairs || again.nCerts != nExtra) abort();
        for (int i = 0; i < again.nPairs; ++i)
            if (bytesOf(again.pairs[i].cert, again.pairs[i].cert_len) !=
                bytesOf(first.pairs[i].cert, first.pairs[i].cert_len))
                abort();
    }
    VCL_Free(made, madeLen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    const int n = static_cast<int>(size);
    openKeys(data, n);
    readPfx(data, n);
    return 0;
}

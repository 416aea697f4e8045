// A key and certificate read from a card in a serial reader, opened with
// the key's password and checked to belong together.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/log.h>
#include <zunCore/smartcard.h>
#include <zunCore/util.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "crypto/keys_internal.hpp"
#include "util/core_internal.hpp"

namespace {

constexpr int kCategory = 0xd201;
constexpr int code(int reason) { return VCL_CORE_CODE(kCategory, reason); }
// The shortest key that can be one: anything shorter was never stored.
constexpr int kMinKey = 16;

// A work buffer of the largest item, wiped when released.
struct Work {
    std::vector<unsigned char> b = std::vector<unsigned char>(VCL_SC_MAX_ITEM + 1);
    ~Work() { explicit_bzero(b.data(), b.size()); }
};

// A card item by layout into work: its length, or the failure code.
int readItem(int port, int type, bool key, Work& work, int& len) {
    const int size = static_cast<int>(work.b.size());
    if (type == 0) {
        len = key ? F3_ReadSignPrivKey(port, work.b.data(), size) : F3_ReadCert(port, work.b.data(), size);
        return len >= 0 ? 0 : code(key ? 0x154 : 0x158);
    }
    len = key ? EF_ReadSignPrivKey(port, work.b.data(), size) : EF_ReadCert(port, work.b.data(), size);
    return len >= 0 ? 0 : code(key ? 0x155 : 0x159);
}

// The reader in the first free entry of the table, powered on; powered off
// and closed again when it goes.
struct Reader {
    int port = -1;
    bool powered = false;
    ~Reader() {
        if (port < 0) return;
        if (powered) VCL_PowerOffCmd(port);
        VCL_ExitDevice(port);
    }
};

int loadSmartKey(int type, const char* path, const char* pin, const char* password, int password_len,
                 unsigned char** cert, int* cert_len, unsigned char** key, int* key_len) {
    Reader reader;
    for (int p = 0; p < VCL_SC_PORTS && reader.port < 0; ++p)
        if (Pcs[p].fd < 0) reader.port = p;
    const int opened = reader.port < 0 ? -1 : VCL_InitializeDevice(reader.port, path);
    if (opened < 0) {
        reader.port = -1;
        VCL_log(2, "VCL_LoadSmartKey() : Device can not be opened.(%d)(%s)U", opened, path ? path : "null");
        return code(0x150);
    }
    char atr[VCL_SC_ATR_HEX_SIZE];
    if (VCL_PowerOnCmd(reader.port, atr) < 0) {
        VCL_log(2, "VCL_LoadSmartKey() : Power on failed.");
        return code(0x151);
    }
    reader.powered = true;
    if (!pin || !*pin) {
        VCL_log(2, "VCL_LoadSmartKey() : Retry limit has been exceeded.");
        return code(0x152);
    }
    if (VCL_VerifyPIN(reader.port, pin) != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : PIN verification failed.");
        return code(0x153);
    }
    VCL_log(5, "VCL_LoadSmartKey() : PIN verification has successed.");
    if (type != 0 && type != 1) {
        VCL_log(2, "VCL_LoadSmartKey() : not supported card");
        return code(0x156);
    }

    Work work;
    int len = 0;
    if (int rc = readItem(reader.port, type, true, work, len); rc != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : private key can not be read.");
        return rc;
    }
    if (len <= kMinKey) {
        VCL_log(2, "VCL_LoadSmartKey() : private key is not properly stored. Please check the card.");
        return code(0x157);
    }
    zcore::MallocPtr<unsigned char> keyCopy(
        reinterpret_cast<unsigned char*>(zcore::newBuffer({reinterpret_cast<char*>(work.b.data()), size_t(len)})));
    if (!keyCopy) return code(VCL_R_MALLOC);
    const int keyLen = len;
    VCL_log(5, "VCL_LoadSmartKey() : reading the private key has successed.");
    // The copies are released with VCL_Free (wiped) unless handed out.
    struct Release {
        zcore::MallocPtr<unsigned char>& p;
        int n;
        ~Release() {
            if (p) VCL_Free(p.release(), n);
        }
    } keyRelease{keyCopy, keyLen};

    if (int rc = readItem(reader.port, type, false, work, len); rc != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : certificate can not be read.");
        return rc;
    }
    zcore::MallocPtr<unsigned char> certCopy(
        reinterpret_cast<unsigned char*>(zcore::newBuffer({reinterpret_cast<char*>(work.b.data()), size_t(len)})));
    if (!certCopy) return code(VCL_R_MALLOC);
    const int certLen = len;
    Release certRelease{certCopy, certLen};
    VCL_log(5, "VCL_LoadSmartKey() : reading the certificate has successed.");

    ASYMMETRIC_KEY* rawKey = nullptr;
    const int keyRc = VCL_PK1_priv_convert_keyunit(keyCopy.get(), keyLen, password, password_len, &rawKey);
    zcore::AsymKey asym(rawKey);
    if (keyRc != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : the private key does not open.(0x%08x)", static_cast<unsigned>(keyRc));
        return keyRc;
    }
    zcore::Cert x509;
    if (int rc = zcore::decodeCert(certCopy.get(), certLen, x509); rc != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : the certificate does not decode.(0x%08x)", static_cast<unsigned>(rc));
        return rc;
    }
    if (int rc = check_X509_keypair(get_X509_SPKI(x509.get()), asym.get()); rc != 0) {
        VCL_log(2, "VCL_LoadSmartKey() : X509_check_private_key ERR.");
        return rc;
    }
    VCL_log(8, "VCL_LoadSmartKey() : X509_check_private_key SUCCESS.");
    *key = keyCopy.release();
    *key_len = keyLen;
    *cert = certCopy.release();
    *cert_len = certLen;
    return 0;
}

}  // namespace

extern "C" VCL_API int VCL_Load_Smart_Key(int card_type, const char* path, const char* pin, const char* password,
                                          int password_len, unsigned char** cert, int* cert_len, unsigned char** key,
                                          int* key_len) {
    if (!cert || !cert_len || !key || !key_len) return code(VCL_R_NULL_PARAM);
    *cert = *key = nullptr;
    *cert_len = *key_len = 0;
    return loadSmartKey(card_type, path, pin, password, password_len, cert, cert_len, key, key_len);
}

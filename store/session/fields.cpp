// The values of the data string's fields, the string's assembly and the
// builder both families of builders use, with the exported field makers.
#include <cstring>
#include <string>

#include <zephaltpavix/encode.h>
#include <zephaltpavix/sign.h>
#include <zephaltpavix/zunplugin.h>
#include <zunCore/cipher.h>
#include <zunCore/encode.h>
#include <zunCore/error.h>
#include <zunCore/keypass.h>
#include <zunCore/keys.h>
#include <zunCore/pkcs1.h>

#include "session/web_internal.hpp"

namespace zstore::web {

namespace {

// A secret as the core's C string (the core reads up to its length).
struct CText {
    SecretBytes s;
    explicit CText(std::string_view v) { s.assign(v); }
    const char* c() const { return s.str().c_str(); }
    int n() const { return s.size(); }
};

const char* hashOr(const char* hash) { return hash && *hash ? hash : "SHA1"; }

}  // namespace

int linedBase64(std::string_view in, std::string& out) {
    CoreBuffer text;
    const int n = VCL_Base64_Encode(reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()),
                                    reinterpret_cast<char**>(&text.bytes), 1);
    if (n < 0 || !text.bytes) return VPL_ERR_MALLOC;
    text.len = n;
    out.assign(text.view());
    return 0;
}

int urlForm(std::string_view text, std::string& out) {
    out.clear();
    if (text.empty()) return 0;
    char* encoded = nullptr;
    int encodedLen = 0;
    if (VPL_DataEncode(1, text.data(), static_cast<int>(text.size()), &encoded, &encodedLen) != 0)
        return VPL_ERR_MALLOC;
    out.assign(encoded, static_cast<size_t>(encodedLen));
    VPL_Free(encoded, encodedLen);
    return 0;
}

bool cipherFits(const char* cipherName, size_t keyLen, size_t ivLen) {
    if (!cipherName) return false;
    int need = 0;
    if (VCL_SYM_Get_Key_Length(cipherName, &need) != 0 || need <= 0) return false;
    const int block = VCL_SYM_Get_Block_Length(cipherName);
    if (block <= 0) return false;
    if (keyLen != static_cast<size_t>(need) || ivLen < static_cast<size_t>(block)) {
        ZSTORE_LOG(VCL_LOG_ERROR, "%s needs a %d-byte key and a %d-byte IV (given %zu, %zu)\n", cipherName, need, block,
                   keyLen, ivLen);
        return false;
    }
    return true;
}

int makeSk(std::string_view cert, int padCode, const char* hash, std::string_view plain, std::string& out) {
    if (cert.empty() || plain.empty()) return VPL_ERR_INVALID_PARAM;
    VCL_COM_Change_Non_Proven();
    CoreBuffer enc;
    const int rc = VCL_PK1_Public_Encrypt_ex(
        cert.data(), static_cast<int>(cert.size()), static_cast<unsigned char>(padCode), plain.data(),
        static_cast<int>(plain.size()), &enc.bytes, &enc.len, VCL_PK1_BASE64_LINES, hashOr(hash));
    if (rc != 0 || enc.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK1_Public_Encrypt_ex Fail : %s(0x%08x)\n", VCL_Get_Error_Msg(rc),
                   static_cast<unsigned>(rc));
        return VPL_ERR_SYM_ENCRYPT;
    }
    return urlForm(enc.view(), out);
}

int makeCc(std::string_view cert, std::string& out) {
    if (cert.empty()) return VPL_ERR_INVALID_PARAM;
    std::string pem;
    if (const int rc = pemOf(cert, pem); rc != 0) return rc;
    return urlForm(pem, out);
}

int makeDt(std::string_view key, std::string_view iv, const char* cipher, std::string_view data, std::string& out) {
    if (key.empty() || iv.empty() || !cipher) return VPL_ERR_INVALID_PARAM;
    if (!cipherFits(cipher, key.size(), iv.size())) return VPL_ERR_SYM_ENCRYPT;
    CoreBuffer enc;
    const int rc = VCL_SYM_Encrypt(key.data(), iv.data(), cipher, 1, data.data() ? data.data() : "",
                                   static_cast<int>(data.size()), &enc.bytes, &enc.len, VCL_ENCODING_BASE64_LINES);
    if (rc != 0 || enc.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_SYM_Encrypt Fail : %s(0x%08x)\n", VCL_Get_Error_Msg(rc),
                   static_cast<unsigned>(rc));
        return VPL_ERR_SYM_ENCRYPT;
    }
    return urlForm(enc.view(), out);
}

int makeEr(std::string_view privateKey, std::string_view password, std::string_view key, std::string_view iv,
           const char* cipher, std::string& out) {
    if (privateKey.empty() || key.empty() || iv.empty() || !cipher) return VPL_ERR_INVALID_PARAM;
    const CText pw(password);
    VCL_COM_Change_Non_Proven();
    CoreBuffer value;
    const int rc = VCL_COM_Get_Random(privateKey.data(), static_cast<int>(privateKey.size()), pw.c(), pw.n(),
                                      &value.bytes, &value.len);
    if (rc != 0 || value.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_COM_Get_Random Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return VPL_ERR_RANDOM;
    }
    SecretBytes random;
    random.assign(value.view());
    return makeDt(key, iv, cipher, random.view(), out);
}

int makeVd(std::string_view vdText, std::string_view privateKey, std::string_view password, int rsaPad,
           const char* rsaHash, int signPad, const char* signHash, std::string& out) {
    if (vdText.empty() || privateKey.empty()) return VPL_ERR_INVALID_PARAM;
    const CText pw(password);
    const int keyLen = static_cast<int>(privateKey.size());
    int kind = 0;
    if (const int rc = VCL_COM_GetPrivateKeyType(privateKey.data(), keyLen, pw.c(), pw.n(), &kind); rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_COM_GetPrivateKeyType Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return rc;
    }
    VCL_COM_Change_Non_Proven();
    CoreBuffer value;
    if (kind == VCL_KEY_KIND_RSA) {
        char* decoded = nullptr;
        int decodedLen = 0;
        if (const int rc = VPL_DataDecode(0, vdText.data(), static_cast<int>(vdText.size()), &decoded, &decodedLen);
            rc != 0)
            return rc;
        SecretBytes input;
        input.assign(bytes(decoded, decodedLen));
        VPL_Free(decoded, decodedLen);
        const int rc = VCL_PK1_Private_Encrypt_ex(privateKey.data(), keyLen, pw.c(), pw.n(),
                                                  static_cast<unsigned char>(rsaPad), input.data(), input.size(),
                                                  &value.bytes, &value.len, VCL_PK1_BASE64_LINES, hashOr(rsaHash));
        if (rc != 0 || value.len <= 0) {
            ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK1_Private_Encrypt_ex Fail(0x%08x)\n", static_cast<unsigned>(rc));
            return VPL_ERR_SYM_ENCRYPT;
        }
        return urlForm(value.view(), out);
    }
    const int rc = VCL_PK1_Private_Sign(privateKey.data(), keyLen, pw.c(), pw.n(), static_cast<unsigned char>(signPad),
                                        hashOr(signHash), vdText.data(), static_cast<int>(vdText.size()), &value.bytes,
                                        &value.len, VCL_PK1_BASE64_LINES);
    if (rc != 0 || value.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK1_Private_Sign Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return VPL_ERR_PKCS1_SIGN;
    }
    out.assign(value.view());
    return 0;
}

int makeSg(std::string_view privateKey, std::string_view password, int padCode, const char* hash, std::string_view data,
           std::string& out) {
    if (privateKey.empty() || data.empty()) return VPL_ERR_INVALID_PARAM;
    const CText pw(password);
    VCL_COM_Change_Non_Proven();
    CoreBuffer sig;
    const int rc = VCL_PK1_Private_Sign(privateKey.data(), static_cast<int>(privateKey.size()), pw.c(), pw.n(),
                                        static_cast<unsigned char>(padCode), hashOr(hash), data.data(),
                                        static_cast<int>(data.size()), &sig.bytes, &sig.len, VCL_PK1_BASE64_LINES);
    if (rc != 0 || sig.len <= 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_PK1_Private_Sign Fail(0x%08x)\n", static_cast<unsigned>(rc));
        return VPL_ERR_PKCS1_SIGN;
    }
    return urlForm(sig.view(), out);
}

int makeAlg(int encodingType, const Names& n, std::string& out) {
    const std::string text = "sym:" + n.sym + ";kx:" + n.kx + ";kxh:" + n.kxh + ";sg:" + n.sg + ";sgh:" + n.sgh;
    char* encoded = nullptr;
    int encodedLen = 0;
    if (VPL_DataEncode(encodingType, text.data(), static_cast<int>(text.size()), &encoded, &encodedLen) != 0)
        return VPL_ERR_MALLOC;
    out.assign(encoded, static_cast<size_t>(encodedLen));
    VPL_Free(encoded, encodedLen);
    return 0;
}

Fields::~Fields() {
    for (std::string* s : {&vd, &sk, &cc, &sg, &alg, &dt, &er, &ts, &kecc, &iver}) wipe(*s);
}

std::string format(int vf, const Fields& f) {
    std::string s = "vf=" + std::to_string(vf);
    const auto add = [&s](const char* name, const std::string& value) {
        s += '&';
        s += name;
        s += '=';
        s += value;
    };
    if (!extended(vf)) add("vd", f.vd);
    add("sk", f.sk);
    add("cc", f.cc);
    add("sg", f.sg);
    add("alg", f.alg);
    add("dt", f.dt);
    add("er", f.er);
    if (extended(vf)) {
        add("ts", f.ts);
        add("kecc", f.kecc);
        add("iver", f.iver);
    }
    return s;
}

int randomBytes(int n, SecretBytes& out) {
    out.str().assign(static_cast<size_t>(n), '\0');
    if (VCL_DRBG_Get_Random(reinterpret_cast<unsigned char*>(out.str().data()), n) != 0) {
        out.assign({});
        return VPL_ERR_RANDOM_GEN;
    }
    return 0;
}

int build(const Material& m, std::string& out) {
    const Names& n = m.names;
    const int kxPad = VPL_get_pad_mode(n.kx.c_str(), 0);
    const int sgPad = VPL_get_pad_mode(n.sg.c_str(), 1);
    const char* cipher = n.sym.c_str();
    Fields f;
    int rc = 0;

    if (m.vf == 1) {
        rc = makeVd(m.vdOrTs, m.key, m.password, kxPad, n.kxh.c_str(), sgPad, n.sgh.c_str(), f.vd);
        if (rc != 0) return rc;
    } else if (extended(m.vf)) {
        if (m.vdOrTs.empty()) return VPL_ERR_INVALID_PARAM;
        char* decoded = nullptr;
        int decodedLen = 0;
        if ((rc = VPL_DataDecode(0, m.vdOrTs.data(), static_cast<int>(m.vdOrTs.size()), &decoded, &decodedLen)) != 0)
            return rc;
        SecretBytes stamp;
        stamp.assign(bytes(decoded, decodedLen));
        VPL_Free(decoded, decodedLen);
        if ((rc = makeDt(m.cipherKey, m.cipherIv, cipher, stamp.view(), f.ts)) != 0) return rc;
    }

    if ((rc = makeSk(m.serverCert, kxPad, n.kxh.c_str(), extended(m.vf) ? m.premaster : m.cipherKey, f.sk)) != 0)
        return rc;

    SecretBytes signedText;
    signedText.str().assign(m.data);
    signedText.str().append(m.handshake);
    if (signedVersion(m.vf)) {
        if ((rc = makeCc(m.userCert, f.cc)) != 0) return rc;
        if ((rc = makeSg(m.key, m.password, sgPad, n.sgh.c_str(), signedText.view(), f.sg)) != 0) return rc;
    }

    if ((rc = extended(m.vf) ? makeAlg(2, n, f.alg) : urlForm(n.sym, f.alg)) != 0) return rc;

    SecretBytes plain;
    if (extended(m.vf)) {
        if ((rc = randomBytes(kRandomLen, plain)) != 0) return rc;
    }
    plain.str().append(signedText.view());
    if ((rc = makeDt(m.cipherKey, m.cipherIv, cipher, plain.view(), f.dt)) != 0) return rc;

    if (signedVersion(m.vf)) {
        if (m.erFromKey)
            rc = makeEr(m.key, m.password, m.cipherKey, m.cipherIv, cipher, f.er);
        else if (!m.erRandom.empty())
            rc = makeDt(m.cipherKey, m.cipherIv, cipher, m.erRandom, f.er);
        if (rc != 0) return rc;
    }

    if (extended(m.vf)) {
        f.kecc.assign(m.kecc);
        f.iver = "100";
    }
    out = format(m.vf, f);
    return 0;
}

int decipher(std::string_view key, std::string_view iv, const char* cipher, int pad, std::string_view in, int encoding,
             int failureCode, SecretBytes& out) {
    if (in.empty() || !cipherFits(cipher, key.size(), iv.size())) return failureCode;
    CoreBuffer plain;
    const int rc = VCL_SYM_Decrypt(key.data(), iv.data(), cipher, pad, in.data(), static_cast<int>(in.size()),
                                   &plain.bytes, &plain.len, encoding);
    if (rc != 0) {
        ZSTORE_LOG(VCL_LOG_ERROR, "VCL_SYM_Decrypt Fail : %s(0x%08x)\n", VCL_Get_Error_Msg(rc),
                   static_cast<unsigned>(rc));
        return failureCode;
    }
    out.assign(plain.view());
    return 0;
}

int decryptReply(const CTX& ctx, const char* cipherName, std::string_view in, int encoding, int failureCode,
                 SecretBytes& out) {
    if (ctx.extendedMode == 1)
        return decipher(member(ctx.serverKey, ctx.serverKeyLen), member(ctx.serverIv, ctx.serverIvLen), ctx.sym,
                        VPL_get_pad_mode(ctx.kx, 0) == 0 ? 0 : 1, in, encoding, failureCode, out);
    return decipher(member(ctx.sessionKey, ctx.sessionKeyLen), member(ctx.iv, ctx.ivLen), cipherName, 1, in, encoding,
                    failureCode, out);
}

}  // namespace zstore::web

namespace {

using zstore::fail;
using zstore::web::bytes;

void clearOut(char** out, int* outLen) {
    *out = nullptr;
    *outLen = 0;
}

// Hands a made value out; the value's code otherwise.
int handOutValue(const char* fn, int rc, const std::string& value, char** out, int* outLen) {
    if (rc != 0) return fail(fn, rc);
    if (zstore::handOut(value, out, outLen) != 0) return fail(fn, VPL_ERR_MALLOC);
    return 0;
}

}  // namespace

extern "C" {

VPL_API int VPL_Make_Zunplugindata_format(int vf, const char* vd, const char* sk, const char* cc, const char* sg,
                                          const char* alg, const char* dt, const char* er, const char* ts,
                                          const char* kecc, const char* iver, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_Zunplugindata_format";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    zstore::web::Fields f;
    const auto set = [](std::string& field, const char* value) {
        if (value) field = value;
    };
    set(f.vd, vd);
    set(f.sk, sk);
    set(f.cc, cc);
    set(f.sg, sg);
    set(f.alg, alg);
    set(f.dt, dt);
    set(f.er, er);
    set(f.ts, ts);
    set(f.kecc, kecc);
    set(f.iver, iver);
    std::string s = zstore::web::format(vf, f);
    const int rc = handOutValue(kFn, 0, s, out, outLen);
    zstore::wipe(s);
    return rc;
}

VPL_API int VPL_Make_AlgorithmField(int encodingType, const char* sym, const char* kx, const char* kxh, const char* sg,
                                    const char* sgh, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_AlgorithmField";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!sym || !kx || !kxh || !sg || !sgh) return fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string value;
    const int rc = zstore::web::makeAlg(encodingType, {sym, kx, kxh, sg, sgh}, value);
    return handOutValue(kFn, rc, value, out, outLen);
}

VPL_API int VPL_Make_VDData(const char* vd, const void* key, int keyLen, const char* password, int paddingCode,
                            const char* hashName, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_VDData";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!vd || !key || keyLen <= 0 || !password) return fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string value;
    const int rc =
        zstore::web::makeVd(vd, bytes(key, keyLen), password, paddingCode, hashName, paddingCode, hashName, value);
    return handOutValue(kFn, rc, value, out, outLen);
}

VPL_API int VPL_Make_SKData(const void* cert, int certLen, int paddingCode, const char* hashName, const void* plain,
                            int plainLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_SKData";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    std::string value;
    const int rc = zstore::web::makeSk(bytes(cert, certLen), paddingCode, hashName, bytes(plain, plainLen), value);
    return handOutValue(kFn, rc, value, out, outLen);
}

VPL_API int VPL_Make_CCData(const void* cert, int certLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_CCData";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    std::string value;
    const int rc = zstore::web::makeCc(bytes(cert, certLen), value);
    return handOutValue(kFn, rc, value, out, outLen);
}

VPL_API int VPL_Make_DTData(const void* key, int keyLen, const void* iv, int ivLen, const char* cipherName,
                            const void* data, int dataLen, char** out, int* outLen) {
    static const char* const kFn = "VPL_Make_DTData";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!key || !iv || !cipherName) return fail(kFn, VPL_ERR_INVALID_PARAM);
    if (!data) return 0;
    if (dataLen < 0) return fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string value;
    const int rc =
        zstore::web::makeDt(bytes(key, keyLen), bytes(iv, ivLen), cipherName,
                            std::string_view(static_cast<const char*>(data), static_cast<size_t>(dataLen)), value);
    return handOutValue(kFn, rc, value, out, outLen);
}

VPL_API int VPL_Make_ERData(const void* privateKey, int privateKeyLen, const char* password, int passwordLen,
                            const void* key, int keyLen, const void* iv, int ivLen, const char* cipherName, char** out,
                            int* outLen) {
    static const char* const kFn = "VPL_Make_ERData";
    if (!out || !outLen) return fail(kFn, VPL_ERR_INVALID_PARAM);
    clearOut(out, outLen);
    if (!privateKey || !password || !cipherName) return fail(kFn, VPL_ERR_INVALID_PARAM);
    std::string value;
    const int rc = zstore::web::makeEr(bytes(privateKey, privateKeyLen), zstore::bounded(password, passwordLen),
                                       bytes(key, keyLen), bytes(iv, ivLen), cipherName, value);
    return handOutValue(kFn, rc, value, out, outLen);
}

}  // extern "C"

// The revocation lookup on arbitrary bytes as a CRL, with one certificate
// made at start-up (serial 0x1001, as the seed CRLs list it): the flag points
// at the first entry with the certificate's serial or is 0, both lookups and
// the lookup by serial text agree, dates are 14 digits and reasons come from
// the table; the same bytes are read as a DigestInfo.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/x509_check.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_crl.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

std::string gCert;
BIGINT* gSerial = nullptr;

X509_TIME* timeOf(const char* text) {
    X509_TIME* t = new_X509_TIME();
    t->type = X509_TIME_UTC;
    t->value = new_ASN1_STRING();
    set_ASN1_STRING_value(t->value, ASN1_TAG_UTC_TIME, reinterpret_cast<const unsigned char*>(text),
                          static_cast<int>(std::strlen(text)));
    return t;
}

// A self-signed RSA certificate built with libzunPKI.
std::string makeCertificate() {
    RSA_UNIT* rsa = VSC_New_RSA();
    check(VSC_Generate_RSA_Params_Ex(rsa, 65537, 1024, 0) == 0);
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    key->kind = ASYMMETRIC_KEY_RSA;
    key->key = rsa;
    X509_PUBKEY* pub = new_X509_PUBKEY();
    check(set_X509_PUBKEY_rsa(pub, rsa) == 0);
    X509_NAME* name = new_X509_NAME();
    check(add_X509_NAME_child_OID_index(name, 13, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>("fuzz"),
                                        4, -1) == 0);
    OBJECT_IDENTIFIER* alg = index_to_OBJECT_IDENTIFIER(668);
    X509_TIME* from = timeOf("240101000000Z");
    X509_TIME* to = timeOf("340101000000Z");
    gSerial = VSC_HEX_To_BIGINT("1001");
    X509_CERT* cert = new_X509_CERT();
    check(set_X509_version(cert, 2) == 0 && set_X509_serial(cert, gSerial) == 0 && set_X509_signature(cert, alg) == 0 &&
          set_X509_issuer(cert, name) == 0 && set_X509_subject(cert, name) == 0 &&
          set_X509_notBefore(cert, from) == 0 && set_X509_notAfter(cert, to) == 0 && set_X509_pub_key(cert, pub) == 0 &&
          gen_SIG_X509_Cert(cert, key) == 0);
    ASN1_UNIT* node = nullptr;
    check(X509_CERT_to_Seq(cert, &node) == 0);
    unsigned char* der = nullptr;
    const int n = ASN1_to_binary(node, &der);
    check(n > 0);
    std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    VSC_FREE(der);
    free_ASN1_UNIT(node);
    free_X509_CERT(cert);
    free_X509_TIME(from);
    free_X509_TIME(to);
    free_OBJECT_IDENTIFIER(alg);
    free_X509_NAME(name);
    free_X509_PUBKEY(pub);
    free_ASYMMETRIC_KEY(key);
    return out;
}

bool isDate(const char* s) {
    if (std::strlen(s) != 14) return false;
    for (int i = 0; i < 14; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

bool isReason(const char* s) {
    for (int code = -2; code <= 11; ++code) {
        char text[VCL_X509_REVOKED_REASON_SIZE] = {};
        VCL_Get_Revoked_Reason(code, text);
        if (std::strcmp(text, s) == 0) return true;
    }
    return false;
}

std::string hexOf(const BIGINT* n) {
    char* text = VSC_BIGINT_To_HEX(n);
    std::string out = text ? text : "";
    VSC_FREE(text);
    return out;
}

void lookups(const uint8_t* data, int len) {
    int flag = -5, flag2 = -5;
    char date[VCL_X509_REVOKED_DATE_SIZE] = {}, reason[VCL_X509_REVOKED_REASON_SIZE] = {};
    const int rc = VCL_X509_Is_Revoked(data, len, gCert.data(), static_cast<int>(gCert.size()), &flag);
    const int rc2 =
        VCL_X509_Is_Revoked_With_Reason(data, len, gCert.data(), static_cast<int>(gCert.size()), &flag2, date, reason);
    if (rc != 0) {
        check(flag == 0 && flag2 == 0);
        return;
    }
    X509_CRL* crl = nullptr;
    check(VCL_X509_CRL_conv_crl2x509crl(data, len, &crl) == 0);
    const int count = crl->info ? get_X509_REVOKED_count(crl->info) : 0;
    check(flag >= 0 && flag <= count);
    // The first entry with the serial, and none before it.
    for (int i = 0; i < (flag ? flag - 1 : count); ++i)
        check(VSC_Cmp_BIGINT(get_X509_REVOKED(crl->info, i)->userCertificate, gSerial) != 0);
    if (flag) check(VSC_Cmp_BIGINT(get_X509_REVOKED(crl->info, flag - 1)->userCertificate, gSerial) == 0);
    check(VCL_X509_CRL_verify_x509_cert(crl, "1001") == flag - 1);
    if (rc2 == 0) {
        check(flag2 == flag);
        if (flag) check(isDate(date) && isReason(reason));
    } else {
        check(flag && flag2 == 0);  // only a date that does not read fails
    }
    // Every listed serial is found at its first entry, with its date and reason.
    for (int i = 0; i < count && i < 64; ++i) {
        const BIGINT* serial = get_X509_REVOKED(crl->info, i)->userCertificate;
        if (!serial) continue;
        const std::string hex = hexOf(serial);
        if (hex.empty() || hex[0] == '-') continue;
        int position = -5;
        char d[VCL_X509_REVOKED_DATE_SIZE] = {}, r[VCL_X509_REVOKED_REASON_SIZE] = {};
        const int found = VCL_X509_CRL_verify_x509_cert_with_reason(crl, hex.c_str(), &position, d, r);
        check(position >= 0 && position <= i);
        if (found == 0) check(isDate(d) && isReason(r));
    }
    VCL_X509_CRL_Verify_NextUpdate(data, len);
    free_X509_CRL(crl);
}

void digestInfo(const uint8_t* data, int len) {
    DIGEST_INFO_TEXT text{};
    if (VCL_binary_to_X509_SIGN(data, len, &text) != 0) {
        check(!text.algorithm && !text.digest);
        return;
    }
    check(text.algorithm && text.digest && !text.reserved && text.digestLen >= 0);
    check(std::strlen(text.digest) == static_cast<size_t>(text.digestLen ? text.digestLen * 3 - 1 : 0));
    std::free(text.algorithm);
    std::free(text.digest);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gCert = makeCertificate();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 22)) return 0;
    lookups(data, static_cast<int>(size));
    digestInfo(data, static_cast<int>(size));
    return 0;
}

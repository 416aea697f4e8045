// Security-token driver lists on arbitrary bytes, through the core: the
// driver and signature-token counts, the signer's issuer text and the copy
// into the flat records, beside what libzunPKI's decoder holds. Properties:
// the three readers agree on whether the bytes are a list; a list is of one
// kind, with as many records as the counts say, each field terminated
// within its 256 bytes and holding the list's bytes; and the same list
// signed again under a key made at start-up verifies to the same records
// (under that key's certificate only), while the bytes as given never verify
// under it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <zunCore/pkcs1.h>
#include <zunCore/pkcs11.h>
#include <zunCore/util.h>
#include <zunCore/x509_conv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509_cert.h>

#include "services/pkcs11_internal.hpp"

namespace {

using zcore::p11::List;

void check(bool condition) {
    if (!condition) abort();
}

// ---- The signer made at start-up ---------------------------------------

ASYMMETRIC_KEY* gKey = nullptr;
std::string gCert;      // its self-signed certificate
std::string gIssuerSn;  // its IssuerAndSerialNumber

std::string tlv(unsigned char tag, std::string_view body) {
    std::string out(1, static_cast<char>(tag));
    const size_t n = body.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string len;
        for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<char>(v & 0xff));
        out += static_cast<char>(0x80 | len.size());
        out += len;
    }
    out.append(body);
    return out;
}

X509_TIME* timeOf(const char* text) {
    X509_TIME* t = new_X509_TIME();
    t->type = X509_TIME_UTC;
    t->value = new_ASN1_STRING();
    set_ASN1_STRING_value(t->value, ASN1_TAG_UTC_TIME, reinterpret_cast<const unsigned char*>(text),
                          static_cast<int>(std::strlen(text)));
    return t;
}

void makeSigner() {
    RSA_UNIT* rsa = VSC_New_RSA();
    check(VSC_Generate_RSA_Params_Ex(rsa, 65537, 1024, 0) == 0);
    gKey = new_ASYMMETRIC_KEY();
    gKey->kind = ASYMMETRIC_KEY_RSA;
    gKey->key = rsa;
    X509_PUBKEY* pub = new_X509_PUBKEY();
    check(set_X509_PUBKEY_rsa(pub, rsa) == 0);
    X509_NAME* name = new_X509_NAME();
    check(add_X509_NAME_child_OID_index(name, 13, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>("fuzz"),
                                        4, -1) == 0);
    OBJECT_IDENTIFIER* alg = index_to_OBJECT_IDENTIFIER(668);
    X509_TIME* from = timeOf("240101000000Z");
    X509_TIME* to = timeOf("340101000000Z");
    BIGINT* serial = VSC_HEX_To_BIGINT("1001");
    X509_CERT* cert = new_X509_CERT();
    check(set_X509_version(cert, 2) == 0 && set_X509_serial(cert, serial) == 0 && set_X509_signature(cert, alg) == 0 &&
          set_X509_issuer(cert, name) == 0 && set_X509_subject(cert, name) == 0 &&
          set_X509_notBefore(cert, from) == 0 && set_X509_notAfter(cert, to) == 0 && set_X509_pub_key(cert, pub) == 0 &&
          gen_SIG_X509_Cert(cert, gKey) == 0);
    gCert = std::string(zcore::derOfCert(cert).view());
    check(!gCert.empty());
    unsigned char* issuer = nullptr;
    int issuerLen = 0;
    check(VCL_X509_name_to_binary(name, &issuer, &issuerLen) == 0);
    gIssuerSn = tlv(0x30, std::string(reinterpret_cast<char*>(issuer), static_cast<size_t>(issuerLen)) +
                              tlv(0x02, std::string("\x10\x01", 2)));
    VCL_Free(issuer, issuerLen);
    free_X509_CERT(cert);
    VSC_Free_BIGINT(serial);
    free_X509_TIME(from);
    free_X509_TIME(to);
    free_OBJECT_IDENTIFIER(alg);
    free_X509_NAME(name);
    free_X509_PUBKEY(pub);
}

// The list's signed bytes in a new value signed by the start-up key with
// SHA-256, the signature in the kind's type.
std::string resigned(const KISA_HSM_SIGNATURE_VALUE& v) {
    const std::string_view list(reinterpret_cast<const char*>(v.signedBytes), static_cast<size_t>(v.signedLength));
    unsigned char sig[256];
    int sigLen = sizeof sig;
    check(VCL_PK1_signature_schemes(gKey, VCL_SIGN_PKCS1_V15, VSC_DIGEST_SHA256, list.data(),
                                    static_cast<int>(list.size()), sig, &sigLen) == 0);
    const std::string value(reinterpret_cast<char*>(sig), static_cast<size_t>(sigLen));
    const std::string alg =
        tlv(0x30, tlv(0x06, std::string("\x2a\x86\x48\x86\xf7\x0d\x01\x01\x0b", 9)) + tlv(0x05, ""));
    const std::string signature =
        v.kind == KISA_HSM_KIND_SIGNATURE ? tlv(0x04, value) : tlv(0x03, std::string(1, '\0') + value);
    return tlv(0x30, std::string(list) + alg + gIssuerSn + signature);
}

// ---- What the records must hold ------------------------------------------

std::string_view bytesOf(const ASN1_STRING* s) {
    return s && s->data && s->length > 0
               ? std::string_view(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length))
               : std::string_view();
}

// A field holds exactly these bytes and a terminator.
bool holds(const char (&field)[VCL_PK11_FIELD_SIZE], std::string_view bytes) {
    return bytes.size() < VCL_PK11_FIELD_SIZE && field[bytes.size()] == 0 &&
           (bytes.empty() || std::memcmp(field, bytes.data(), bytes.size()) == 0);
}

bool terminated(const char (&field)[VCL_PK11_FIELD_SIZE]) {
    return std::memchr(field, 0, VCL_PK11_FIELD_SIZE) != nullptr;
}

// A name the records copy as it stands.
bool stringName(const GENERAL_NAME* gn) {
    return gn && (gn->type == GENERAL_NAME_RFC822 || gn->type == GENERAL_NAME_DNS || gn->type == GENERAL_NAME_URI ||
                  gn->type == GENERAL_NAME_REGISTERED_ID);
}

void checkDrivers(const KISA_HSM_SIGNATURE_VALUE& v, int rc, const std::vector<VCL_PK11_DRIVER_INFO>& records,
                  int count) {
    if (rc != 0) {
        check(rc == static_cast<int>(0xb4030059u) && records.empty());
        return;
    }
    check(static_cast<int>(records.size()) == count);
    if (v.kind != KISA_HSM_KIND_DISTRIBUTION) return;
    size_t k = 0;
    for (int i = 0; i < get_STACK_count(v.list); ++i) {
        const auto* e = static_cast<const KISA_HSM_TOKEN_DISTRIBUTION_URL*>(get_STACK_value(v.list, i));
        for (int j = 0; j < get_STACK_count(e->drivers); ++j, ++k) {
            const auto* d = static_cast<const KISA_HSM_DRIVER_INFO*>(get_STACK_value(e->drivers, j));
            const VCL_PK11_DRIVER_INFO& r = records.at(k);
            check(holds(r.url, bytesOf(e->url)) && holds(r.field1, bytesOf(d->text1)) &&
                  holds(r.field2, bytesOf(d->text2)) && holds(r.field6, bytesOf(d->text3)) && r.field4 == d->value);
            check(terminated(r.field3) && terminated(r.field5));
            if (stringName(d->name1)) check(holds(r.field3, bytesOf(static_cast<const ASN1_STRING*>(d->name1->value))));
            if (stringName(d->name2)) check(holds(r.field5, bytesOf(static_cast<const ASN1_STRING*>(d->name2->value))));
        }
    }
    check(k == records.size());
}

void checkTokens(const KISA_HSM_SIGNATURE_VALUE& v, int rc, const std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO>& records,
                 int count) {
    if (rc != 0) {
        check(rc == static_cast<int>(0xb4050059u) && records.empty());
        return;
    }
    check(static_cast<int>(records.size()) == count);
    for (int i = 0; i < count; ++i) {
        const auto* t = static_cast<const KISA_HSM_SIGNATURE_TOKEN*>(get_STACK_value(v.list, i));
        const VCL_PK11_DRIVER_SIGNATURE_INFO& r = records[static_cast<size_t>(i)];
        check(holds(r.name, bytesOf(t->name)) && terminated(r.algorithm) && r.algorithm[0] != 0);
        check(bytesOf(t->value) ==
              std::string_view(reinterpret_cast<const char*>(r.value), static_cast<size_t>(r.value_len)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    makeSigner();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    const int len = static_cast<int>(size);
    int drivers = -1, tokens = -1;
    char* issuer = nullptr;
    const int rcDrivers = VCL_PK11_Get_HSM_Driver_Count(data, len, &drivers);
    const int rcTokens = VCL_PK11_Get_HSM_Driver_Signature_Count(data, len, &tokens);
    const int rcIssuer = VCL_PK11_Get_HSM_Signer_IssuerDN(data, len, &issuer);

    List list;
    if (zcore::p11::decodeList(data, len, list) != 0) {
        check(!list);
        check(rcDrivers == static_cast<int>(0xb4020059u) && rcTokens == static_cast<int>(0xb4040059u) &&
              rcIssuer == static_cast<int>(0xb4010059u) && !issuer);
        return 0;
    }
    const KISA_HSM_SIGNATURE_VALUE& v = *list;
    check(rcDrivers == 0 && rcTokens == 0);
    check(v.signedBytes && v.signedLength > 0);
    if (v.kind != KISA_HSM_KIND_DISTRIBUTION) check(drivers == 0);
    if (v.kind != KISA_HSM_KIND_SIGNATURE) check(tokens == 0);
    if (v.kind == KISA_HSM_KIND_SIGNATURE) check(tokens == get_STACK_count(v.list));
    // The issuer's text, or the text maker's refusal (its category).
    if (rcIssuer == 0) {
        check(issuer && std::strlen(issuer) > 0);
        VCL_Free(issuer, static_cast<int>(std::strlen(issuer)));
    } else {
        check(!issuer && (static_cast<unsigned>(rcIssuer) >> 16) == VCL_CAT_X509_NAME_TO_STR);
    }

    std::vector<VCL_PK11_DRIVER_INFO> driverRecords;
    std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO> tokenRecords;
    const int rcCopy = zcore::p11::driverRecords(v, driverRecords);
    const int rcCopyTokens = zcore::p11::signatureRecords(v, tokenRecords);
    checkDrivers(v, rcCopy, driverRecords, drivers);
    checkTokens(v, rcCopyTokens, tokenRecords, tokens);

    // The bytes as given never verify under the start-up signer.
    std::vector<VCL_PK11_DRIVER_INFO> got(static_cast<size_t>(drivers) + 1);
    std::vector<VCL_PK11_DRIVER_SIGNATURE_INFO> gotTokens(static_cast<size_t>(tokens) + 1);
    const int cl = static_cast<int>(gCert.size());
    check(VCL_PK11_Verify_HSM_Driver_Info(data, len, gCert.data(), cl, got.data()) != 0);
    check(VCL_PK11_Verify_HSM_Driver_Signature_Info(data, len, gCert.data(), cl, gotTokens.data()) != 0);
    if (v.kind == KISA_HSM_KIND_EMPTY) return 0;

    // Signed again: the same records, of the list's kind only.
    const std::string again = resigned(v);
    const auto* a = reinterpret_cast<const unsigned char*>(again.data());
    const int al = static_cast<int>(again.size());
    const int rcInfo = VCL_PK11_Verify_HSM_Driver_Info(a, al, gCert.data(), cl, got.data());
    const int rcSign = VCL_PK11_Verify_HSM_Driver_Signature_Info(a, al, gCert.data(), cl, gotTokens.data());
    if (v.kind == KISA_HSM_KIND_DISTRIBUTION) {
        check(rcSign == static_cast<int>(0xb4050078u) && rcInfo == rcCopy);
        if (rcInfo == 0)
            check(drivers == 0 ||
                  std::memcmp(got.data(), driverRecords.data(), driverRecords.size() * sizeof got[0]) == 0);
    } else {
        check(rcInfo == static_cast<int>(0xb4030078u) && rcSign == rcCopyTokens);
        if (rcSign == 0)
            check(tokens == 0 ||
                  std::memcmp(gotTokens.data(), tokenRecords.data(), tokenRecords.size() * sizeof gotTokens[0]) == 0);
    }
    return 0;
}

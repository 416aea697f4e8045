// The path validation and the CRL step on mutated chains and CRLs. Input:
// a settings byte, two bytes of length, a SEQUENCE OF Certificate (target
// first, then the CA list) of that length, then a CRL of the target's
// issuer (the list's first certificate). CRLs are not fetched here: the
// chain is validated without them and the CRL step is run on the given CRL.
// Both run as they come, and again with every certificate and the CRL given
// one fixed key and signed with it, so that mutated names, extensions and
// entries get past the signatures. What is accepted is checked again here.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zunCore/x509_cpv.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/x509/certpath.h>
#include <zunPKI/x509/x509.h>

#include "crypto/x509_cpv_internal.hpp"

namespace {

constexpr int kMaxCertificates = 8;

void check(bool condition) {
    if (!condition) abort();
}

X509_CERT* at(const STACK* list, int i) { return static_cast<X509_CERT*>(get_STACK_value(list, i)); }

bool sameName(const X509_NAME* a, const X509_NAME* b) { return cmp_X509_NAME_canonical(a, b) == 0; }

// What an accepted path needs at least: the target is a listed anchor
// itself, or some listed certificate of its issuer's name signed it.
void checkAccepted(const X509_CERT* target, const STACK* list) {
    bool anchor = false, signer = false;
    for (int i = 0; i < get_STACK_count(list); ++i) {
        const X509_CERT* c = at(list, i);
        anchor |= cmp_X509_CERT(c, target) == 0;
        signer |= sameName(get_X509_subject(c), get_X509_issuer(target)) &&
                  verify_SIG_X509_CERT(target, get_X509_SPKI(c)) == 0;
    }
    if (sameName(get_X509_issuer(target), get_X509_subject(target)))
        check(anchor && verify_SIG_X509_CERT(target, get_X509_SPKI(target)) == 0);
    else
        check(signer);
}

void validate(const X509_CERT* target, const STACK* list) {
    if (VCL_CPV_verify_cert_path(target, list, 0) == 0) checkAccepted(target, list);
}

// The CRL step; a CRL it accepts (or finds the target on) is the issuer's,
// verifies under its key, and lists the target exactly when it said so.
void crlStep(const X509_CERT* target, const X509_CERT* issuer, const std::string& der) {
    if (der.empty()) return;
    const int rc = zcore::cpv::checkCrlBytes(target, issuer, reinterpret_cast<const unsigned char*>(der.data()),
                                             static_cast<int>(der.size()), {"http://crl.example/ca.crl"});
    if (rc != 0 && rc != VCL_CPV_ERR_REVOKED) return;
    ASN1_UNIT* node =
        decodeToDERSequence(reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    X509_CRL* crl = nullptr;
    check(node && Seq_to_X509_CRL(node, &crl) == 0);
    check(sameName(get_X509_CRL_issuer(crl), get_X509_issuer(target)));
    check(verify_SIG_X509_CRL(crl, get_X509_SPKI(issuer)) == 0);
    check((verify_CRL_X509_CERT(crl, target) > 0) == (rc == VCL_CPV_ERR_REVOKED));
    free_X509_CRL(crl);
    free_ASN1_UNIT(node);
}

struct FixedKey {
    RSA_UNIT* rsa = VSC_New_RSA();
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    X509_PUBKEY* pub = new_X509_PUBKEY();
    FixedKey() {
        if (!rsa || VSC_Generate_RSA_Params_Ex(rsa, 65537, 1024, 0) != 0 || RSA_UNIT_to_ASYMMETRIC_KEY(rsa, key) != 0 ||
            set_X509_PUBKEY_rsa(pub, rsa) != 0)
            abort();
    }
};

bool resign(STACK* certs, const FixedKey& fixed) {
    for (int i = 0; i < get_STACK_count(certs); ++i)
        if (set_X509_pub_key(at(certs, i), fixed.pub) != 0 || gen_SIG_X509_Cert(at(certs, i), fixed.key) != 0)
            return false;
    return true;
}

// The CRL signed again under the fixed key with its own algorithm; empty
// when it does not decode or cannot be signed so.
std::string resignCrl(const std::string& der, const FixedKey& fixed) {
    std::string out;
    ASN1_UNIT* node =
        decodeToDERSequence(reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    X509_CRL* crl = nullptr;
    BIT_STRING* bits = nullptr;
    if (node && Seq_to_X509_CRL(node, &crl) == 0) {
        touch_X509_CRL(crl);
        OBJECT_IDENTIFIER* alg = get_X509_CRL_signature(crl);
        unsigned char* bytes = nullptr;
        ASN1_UNIT* encoded = nullptr;
        if (alg && gen_RSA_SIG_X509_CRL(crl, &bits, alg, fixed.rsa) == 0 && set_X509_CRL_sig_alg(crl, alg) == 0 &&
            set_X509_CRL_sig_value(crl, bits) == 0 && X509_CRL_to_Seq(crl, &encoded) == 0) {
            const int n = ASN1_to_binary(encoded, &bytes);
            if (n > 0) out.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
        }
        VSC_FREE(bytes);
        free_ASN1_UNIT(encoded);
    }
    free_ASN1_STRING(bits);
    free_X509_CRL(crl);
    free_ASN1_UNIT(node);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FixedKey fixed;
    if (size < 3) return 0;
    const size_t certLen = std::min<size_t>((data[1] << 8) | data[2], size - 3);
    const uint8_t* certBytes = data + 3;
    const std::string crl(reinterpret_cast<const char*>(certBytes + certLen), size - 3 - certLen);
    ASN1_UNIT* node = decodeToBERSequence(certBytes, static_cast<int>(certLen));
    if (!node) return 0;
    STACK* certs = nullptr;
    if (Seq_to_X509_CERTIFICATES(node, &certs) == 0 && get_STACK_count(certs) > 1 &&
        get_STACK_count(certs) <= kMaxCertificates) {
        STACK* list = dup_STACK(certs);
        X509_CERT* target = static_cast<X509_CERT*>(remove_STACK_value(list, 0));
        validate(target, list);
        crlStep(target, at(list, 0), crl);
        if ((data[0] & 1) && resign(certs, fixed)) {
            validate(target, list);
            crlStep(target, at(list, 0), resignCrl(crl, fixed));
        }
        free_STACK(list);
    }
    free_X509_CERTIFICATES(certs);
    free_ASN1_UNIT(node);
    return 0;
}

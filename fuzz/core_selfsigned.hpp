// A self-signed RSA certificate and its PKCS#1 key, made through the PKI
// library at a core fuzz target's start-up.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/pkcs1.h>
#include <zunPKI/x509/x509_cert.h>

namespace corefuzz {

inline void check(bool condition) {
    if (!condition) abort();
}

inline X509_TIME* utcTime(const char* text) {
    X509_TIME* t = new_X509_TIME();
    t->type = X509_TIME_UTC;
    t->value = new_ASN1_STRING();
    set_ASN1_STRING_value(t->value, ASN1_TAG_UTC_TIME, reinterpret_cast<const unsigned char*>(text),
                          static_cast<int>(std::strlen(text)));
    return t;
}

struct SelfSigned {
    std::string cert, key;  // DER certificate, PKCS#1 key
};

// RSA-1024 (start-up speed), serial 1001, CN=cn, from 2024 to notAfter.
inline SelfSigned makeSelfSigned(const char* cn, const char* notAfter) {
    RSA_UNIT* rsa = VSC_New_RSA();
    check(VSC_Generate_RSA_Params_Ex(rsa, 65537, 1024, 0) == 0);
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    key->kind = ASYMMETRIC_KEY_RSA;
    key->key = rsa;
    X509_PUBKEY* pub = new_X509_PUBKEY();
    check(set_X509_PUBKEY_rsa(pub, rsa) == 0);
    X509_NAME* name = new_X509_NAME();
    check(add_X509_NAME_child_OID_index(name, 13, ASN1_TAG_UTF8_STRING, reinterpret_cast<const unsigned char*>(cn),
                                        static_cast<int>(std::strlen(cn)), -1) == 0);
    OBJECT_IDENTIFIER* alg = index_to_OBJECT_IDENTIFIER(668);
    X509_TIME* from = utcTime("240101000000Z");
    X509_TIME* to = utcTime(notAfter);
    BIGINT* serial = VSC_HEX_To_BIGINT("1001");
    X509_CERT* cert = new_X509_CERT();
    check(set_X509_version(cert, 2) == 0 && set_X509_serial(cert, serial) == 0 && set_X509_signature(cert, alg) == 0 &&
          set_X509_issuer(cert, name) == 0 && set_X509_subject(cert, name) == 0 &&
          set_X509_notBefore(cert, from) == 0 && set_X509_notAfter(cert, to) == 0 && set_X509_pub_key(cert, pub) == 0 &&
          gen_SIG_X509_Cert(cert, key) == 0);
    ASN1_UNIT* node = nullptr;
    check(X509_CERT_to_Seq(cert, &node) == 0);
    unsigned char* der = nullptr;
    const int n = ASN1_to_binary(node, &der);
    check(n > 0);
    SelfSigned made;
    made.cert.assign(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    VSC_FREE(der);
    char* pem = nullptr;
    const int pemLen = writePKCS1PrivateKey_to_Binary(rsa, nullptr, 0, &pem);
    check(pemLen > 0);
    made.key.assign(pem, static_cast<size_t>(pemLen));
    VSC_FREE(pem);
    free_ASN1_UNIT(node);
    free_X509_CERT(cert);
    free_X509_TIME(from);
    free_X509_TIME(to);
    VSC_Free_BIGINT(serial);
    free_OBJECT_IDENTIFIER(alg);
    free_X509_NAME(name);
    free_X509_PUBKEY(pub);
    free_ASYMMETRIC_KEY(key);
    return made;
}

}  // namespace corefuzz

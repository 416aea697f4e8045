// A KCDSA signer made with libzunPKI: the 1024-bit example key of the KCDSA
// standard (TTAK vectors) as a pbeWithSHA1AndSEED-CBC key file, and a
// python-made certificate template with its key replaced by that one.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include <zunCore/keys.h>
#include <zunCore/pkcs8.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>
#include <zunPKI/x509/x509_cert.h>
#include <zunPKI/x509/x509_key.h>

#include "TestSupport.h"

namespace signtest {

struct KcdsaPair {
    std::string key;   // encrypted PKCS#8 DER
    std::string cert;  // DER
};

namespace kcdsa_detail {

inline std::string encode(ASN1_UNIT* node) {
    unsigned char* bytes = nullptr;
    const int n = ASN1_to_binary(node, &bytes);
    std::string out(reinterpret_cast<char*>(bytes), static_cast<size_t>(n > 0 ? n : 0));
    VSC_Free(bytes, __FILE__, __LINE__);
    free_ASN1_UNIT(node);
    return out;
}

inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

}  // namespace kcdsa_detail

inline KcdsaPair kcdsaPair(const std::string& templateDer, const char* pw) {
    using namespace kcdsa_detail;
    const auto r =
        zqtest::run({zqtest::kPython, "-c",
                     "import json,sys\n"
                     "c=[c for c in json.load(open(sys.argv[1]))['cases'] if c['sizes'].startswith('A1024')][0]\n"
                     "print(c['P'],c['Q'],c['G'],c['X'])",
                     zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json"});
    std::istringstream in(r.output);
    std::string p, q, g, x;
    in >> p >> q >> g >> x;
    const auto info =
        zqtest::run({"openssl", "asn1parse", "-genconf", "-", "-out", "/dev/stdout", "-noout"},
                    "asn1 = SEQUENCE:pki\n[pki]\nv = INTEGER:0\nalg = SEQUENCE:alg\nkey = "
                    "OCTWRAP,INTEGER:0x" +
                        x + "\n[alg]\noid = OID:1.2.410.200004.1.21\nd = SEQUENCE:d\n[d]\np = INTEGER:0x" + p +
                        "\nq = INTEGER:0x" + q + "\ng = INTEGER:0x" + g + "\n",
                    {"OPENSSL_CONF=/dev/null"});
    KcdsaPair out;
    ASN1_UNIT* infoNode = decodeToDERSequence(u(info.output), static_cast<int>(info.output.size()));
    P8_PRIV_KEY_INFO* plain = nullptr;
    EXPECT_EQ(Seq_to_P8_PRIV_KEY_INFO(infoNode, &plain), 0);
    free_ASN1_UNIT(infoNode);
    PKCS8* enc = nullptr;
    EXPECT_EQ(encrypt_PKCS5(plain, &enc, pw, static_cast<int>(std::strlen(pw)), nullptr, 0, 2048, VCL_PBE_SEED_CBC), 0);
    free_P8_PRIV_KEY_INFO(plain);
    ASN1_UNIT* encNode = nullptr;
    EXPECT_EQ(P8_ENCRYPTED_KEY_to_Seq(enc, &encNode), 0);
    free_PKCS8(enc);
    out.key = encode(encNode);

    ASYMMETRIC_KEY* key = nullptr;
    EXPECT_EQ(VCL_PK1_priv_convert_keyunit(out.key.data(), static_cast<int>(out.key.size()), pw,
                                           static_cast<int>(std::strlen(pw)), &key),
              0);
    if (!key) return out;
    ASN1_UNIT* node = decodeToDERSequence(u(templateDer), static_cast<int>(templateDer.size()));
    X509_CERT* cert = nullptr;
    EXPECT_EQ(Seq_to_X509_CERT(node, &cert), 0);
    free_ASN1_UNIT(node);
    X509_PUBKEY* pub = new_X509_PUBKEY();
    EXPECT_EQ(set_X509_PUBKEY_kcdsa(pub, static_cast<KCDSA_UNIT*>(key->key)), 0);
    EXPECT_EQ(set_X509_pub_key(cert, pub), 0);
    ASN1_UNIT* encoded = nullptr;
    EXPECT_EQ(X509_CERT_to_Seq(cert, &encoded), 0);
    out.cert = encode(encoded);
    free_X509_PUBKEY(pub);
    free_X509_CERT(cert);
    free_ASYMMETRIC_KEY(key);
    return out;
}

}  // namespace signtest

// PrivateKeyInfo and EncryptedPrivateKeyInfo records: layouts checked against
// structures that openssl asn1parse builds from their parts, and against
// what openssl reads and writes.
#include "KeyHelpers.h"

#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/x509/x509_attr.h>
#include <zunPKI/x509/x509_key.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using keyfmt::Encrypted;
using keyfmt::Info;

std::string genconf(const std::string& conf) {
    auto b = pkitest::genconf(conf);
    return std::string(b.begin(), b.end());
}

TEST(PrivateKeyInfo, AttributesAreWrittenOnlyWhenThereAreSome) {
    const std::string& plain = keyfmt::rsaPrivateKeyInfo();
    Info info;
    ASSERT_EQ(keyfmt::readInfo(plain, info), 0);
    EXPECT_EQ(info->privateKey->kind, ASYMMETRIC_KEY_RSA);
    EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(info.get()), plain));

    X509_ATTRIBUTES* attrs = new_X509_ATTRIBUTES();
    Info none(gen_P8_PRIV_KEY_INFO(info->privateKey, attrs));
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(none.get()), plain));

    // The identity random, as the core library keeps it.
    OCTET_STRING* random = new_OCTET_STRING(pkitest::bytes("0123456789abcdef0123"), 20);
    ASSERT_EQ(add_X509_ATTRIBUTES_OID_INDEX(attrs, 789, ASN1_TAG_OCTET_STRING, random, -1), 0);
    free_OCTET_STRING(random);
    Info with(gen_P8_PRIV_KEY_INFO(info->privateKey, attrs));
    free_X509_ATTRIBUTES(attrs);
    ASSERT_NE(with, nullptr);
    std::string der = keyfmt::derOf(with.get());
    std::string want = plain.substr(4) + genconf(
                                             "asn1 = IMPLICIT:0,SET:attrs\n[attrs]\na = SEQUENCE:a\n"
                                             "[a]\noid = OID:1.2.410.200004.10.1.1.3\nv = SET:v\n"
                                             "[v]\nr = OCTETSTRING:0123456789abcdef0123\n");
    EXPECT_TRUE(keyfmt::sameBytes(der.substr(4), want));
    EXPECT_EQ(zqtest::run({"openssl", "pkey", "-inform", "DER", "-check", "-noout"}, der).status, 0);

    // Decoded and copied, the attribute stays.
    Info back;
    ASSERT_EQ(keyfmt::readInfo(der, back), 0);
    EXPECT_EQ(get_X509_ATTRIBUTES_count(back->attributes), 1);
    Info copy(dup_P8_PRIV_KEY_INFO(back.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(cmp_P8_PRIV_KEY_INFO(copy.get(), back.get()), 0);
    EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(copy.get()), der));
}

TEST(PrivateKeyInfo, IncompleteRsaKeysAreRefused) {
    const std::string head =
        "asn1 = SEQUENCE:pki\n[pki]\nv = INTEGER:0\nalg = SEQUENCE:alg\nkey = OCTWRAP,SEQUENCE:rsa\n"
        "[alg]\noid = OID:rsaEncryption\nnull = NULL\n[rsa]\nv = INTEGER:0\n"
        "n = INTEGER:0x00C2D1\ne = INTEGER:65537\n";
    const std::string threeMembers = genconf(head);
    const std::string eightMembers =
        genconf(head + "d = INTEGER:7\np = INTEGER:3\nq = INTEGER:5\ndp = INTEGER:1\ndq = INTEGER:1\n");
    const std::string& plain = keyfmt::rsaPrivateKeyInfo();
    for (const auto& der : {threeMembers, eightMembers}) {
        Info info;
        ASSERT_EQ(keyfmt::readInfo(plain, info), 0);
        P8_PRIV_KEY_INFO* target = info.get();
        ASSERT_FALSE(der.empty());
        pkitest::Node node(decodeToDERSequence(pkitest::bytes(der), pkitest::len(der)));
        EXPECT_EQ(Seq_to_P8_PRIV_KEY_INFO(node.get(), &target), (PKI_ERROR)0x4c030104);
        // The caller's record is as it was.
        EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(info.get()), plain));
    }

    // A key object without its private values is no private key to write.
    Info info;
    ASSERT_EQ(keyfmt::readInfo(plain, info), 0);
    auto* rsa = static_cast<RSA_UNIT*>(info->privateKey->key);
    for (BIGINT** v : {&rsa->p, &rsa->q, &rsa->dP, &rsa->dQ, &rsa->qInv}) {
        VSC_Free_BIGINT(*v);
        *v = nullptr;
    }
    rsa->flag = VSC_RSA_FLAG_PRIVATE;
    ASN1_UNIT* out = nullptr;
    EXPECT_EQ(P8_PRIV_KEY_INFO_to_Seq(info.get(), &out), (PKI_ERROR)0x4c04002b);
    EXPECT_EQ(out, nullptr);
}

// The 1024-bit example of the KCDSA standard.
struct Kcdsa {
    std::string p, q, g, x, y;
};
Kcdsa ttak1024() {
    auto r = zqtest::run({zqtest::kPython, "-c",
                          "import json,sys\n"
                          "c=[c for c in json.load(open(sys.argv[1]))['cases'] if c['sizes'].startswith('A1024')][0]\n"
                          "print(c['P'],c['Q'],c['G'],c['X'],c['Y'])",
                          zqtest::sourceDir() + "/tests/platform/zunCrypto/vectors/kcdsa-ttak.json"});
    Kcdsa k;
    std::istringstream in(r.output);
    in >> k.p >> k.q >> k.g >> k.x >> k.y;
    return k;
}

TEST(PrivateKeyInfo, KcdsaKeyLayout) {
    const Kcdsa v = ttak1024();
    ASSERT_FALSE(v.y.empty());
    auto big = [](const std::string& hex) { return VSC_HEX_To_BIGINT(hex.c_str()); };
    BIGINT *p = big(v.p), *q = big(v.q), *g = big(v.g), *x = big(v.x);
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p, q, g, x, nullptr), 0);
    ASYMMETRIC_KEY* key = new_ASYMMETRIC_KEY();
    ASSERT_EQ(KCDSA_UNIT_to_ASYMMETRIC_KEY(unit, key), 0);
    Info info(gen_P8_PRIV_KEY_INFO(key, nullptr));
    free_ASYMMETRIC_KEY(key);
    VSC_Free_KCDSA(unit);
    for (BIGINT* b : {p, q, g, x}) VSC_Free_BIGINT(b);
    ASSERT_NE(info, nullptr);

    // Domain parameters in the algorithm, x alone in the key.
    auto layout = [&](const std::string& xHex) {
        return genconf("asn1 = SEQUENCE:pki\n[pki]\nv = INTEGER:0\nalg = SEQUENCE:alg\nkey = OCTWRAP,INTEGER:0x" +
                       xHex + "\n[alg]\noid = OID:1.2.410.200004.1.21\nd = SEQUENCE:d\n[d]\np = INTEGER:0x" + v.p +
                       "\nq = INTEGER:0x" + v.q + "\ng = INTEGER:0x" + v.g + "\n");
    };
    const std::string want = layout(v.x);
    EXPECT_TRUE(keyfmt::sameBytes(keyfmt::derOf(info.get()), want));

    Info back;
    ASSERT_EQ(keyfmt::readInfo(want, back), 0);
    ASSERT_EQ(back->privateKey->kind, ASYMMETRIC_KEY_KCDSA);
    BIGINT* y = big(v.y);
    EXPECT_EQ(VSC_Cmp_BIGINT(static_cast<KCDSA_UNIT*>(back->privateKey->key)->y, y), 0);
    VSC_Free_BIGINT(y);
    // A private value the key cannot hold (x = q) is refused, not kept.
    Info bad;
    EXPECT_EQ(keyfmt::readInfo(layout(v.q), bad), (PKI_ERROR)0x4c030104);
}

TEST(PrivateKeyInfo, KeysWeDoNotCarryDecodeEmpty) {
    for (const char* alg : {"ED25519", "EC"}) {
        SCOPED_TRACE(alg);
        std::vector<std::string> args{"genpkey", "-algorithm", alg};
        if (std::string(alg) == "EC") args.insert(args.end(), {"-pkeyopt", "ec_paramgen_curve:P-256"});
        std::string pem = pkitest::openssl(args);
        std::string der = pkitest::openssl({"pkcs8", "-topk8", "-nocrypt", "-outform", "DER"}, pem);
        Info info;
        ASSERT_EQ(keyfmt::readInfo(der, info), 0);
        EXPECT_EQ(info->privateKey->kind, ASYMMETRIC_KEY_EMPTY);
        ASN1_UNIT* out = nullptr;
        EXPECT_EQ(P8_PRIV_KEY_INFO_to_Seq(info.get(), &out), (PKI_ERROR)0x4c040048);
        EXPECT_EQ(gen_P8_PRIV_KEY_INFO(info->privateKey, nullptr), nullptr);
    }
}

TEST(EncryptedPrivateKeyInfo, KindsAndShape) {
    auto epki = [](const std::string& oid, const std::string& extra = "") {
        return genconf("asn1 = SEQUENCE:e\n[e]\nalg = SEQUENCE:alg\nd = FORMAT:HEX,OCTETSTRING:00\n" + extra +
                       "[alg]\noid = OID:" + oid +
                       "\np = SEQUENCE:p\n[p]\ns = FORMAT:HEX,OCTETSTRING:01\nc = INTEGER:1\n");
    };
    struct Case {
        const char* oid;
        int kind;
    } cases[] = {
        {"1.2.410.200004.1.4.2", PKCS8_KIND_OTHER},  {"1.2.410.200004.1.4", PKCS8_KIND_KISA},
        {"1.2.410.200004.1.15", PKCS8_KIND_KISA},    {"1.2.840.113549.1.5.10", PKCS8_KIND_PBES1},
        {"1.2.840.113549.1.5.13", PKCS8_KIND_OTHER}, {"1.2.840.113549.1.12.1.3", PKCS8_KIND_OTHER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oid);
        Encrypted p8;
        ASSERT_EQ(keyfmt::readEncrypted(epki(c.oid), p8), 0);
        EXPECT_EQ(p8->kind, c.kind);
        P5_PBE_PARAM* param = get_PKCS8_P5_PBE_PARAM(p8.get());
        ASSERT_NE(param, nullptr);
        EXPECT_EQ(param->scheme, nullptr);
        free_P5_PBE_PARAM(param);
    }
    Encrypted p8;
    EXPECT_EQ(keyfmt::readEncrypted(epki("1.2.410.200004.1.15", "x = INTEGER:1\n"), p8), (PKI_ERROR)0x4c02002b);
    EXPECT_EQ(keyfmt::readEncrypted(genconf("asn1 = SEQUENCE:e\n[e]\nalg = SEQUENCE:a\nd = INTEGER:5\n"
                                            "[a]\noid = OID:1.2.410.200004.1.15\n"),
                                    p8),
              (PKI_ERROR)0x4c020104);
}

}  // namespace

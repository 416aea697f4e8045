// PKCS#12 files from credentials and back, against openssl pkcs12, NSS's
// pk12util and python3-cryptography.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zunCore/keys.h>
#include <zunCore/pkcs12.h>
#include <zunCore/pkcs8.h>
#include <zunCrypto/zunCrypto.h>
#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/pkcs12.h>
#include <zunPKI/pkcs/pkcs12_safe.h>
#include <zunPKI/pkcs/pkcs5.h>
#include <zunPKI/pkcs/pkcs8.h>

#include "KeyHelpers.h"

namespace {

using coretest::Buf;
using coretest::rc;
using keytest::file;
using keytest::n;
using keytest::Records;
using keytest::temp;
using keytest::u;

const char kPw[] = "pw";
const int kPwLen = 2;

std::string derOf(const std::string& pem) { return keytest::openssl({"x509", "-outform", "DER"}, pem).output; }

// A credential over copies of the bytes.
struct Credential {
    PKISTRINFO info = {};
    Credential(const std::string& cert, const std::string& key) {
        EXPECT_EQ(VCL_PK1_Set_PKISTRINFO(&info, u(cert), n(cert), u(key), n(key), nullptr), 0);
    }
    ~Credential() { VCL_PK1_Free_PKISTRINFOS(&info, 1); }
};

std::string makePfx(const std::vector<const PKISTRINFO*>& creds, const std::vector<std::string>& extra = {},
                    int encryptCerts = 1, const char* name = nullptr, const char* keyPw = kPw) {
    std::vector<PKISTRINFO> infos;
    for (const PKISTRINFO* c : creds) infos.push_back(*c);
    std::vector<CERT_ITEM> items;
    for (const std::string& e : extra) items.push_back({const_cast<unsigned char*>(u(e)), n(e)});
    Buf<unsigned char> pfx;
    int len = 0;
    const int got = VCL_PK12_Make_PFX_SafeBagEncrypt(
        keyPw, static_cast<int>(std::strlen(keyPw)), kPw, kPwLen, name, name ? static_cast<int>(std::strlen(name)) : 0,
        static_cast<int>(infos.size()), infos.data(), static_cast<int>(items.size()), items.data(), pfx.out(), &len,
        encryptCerts);
    EXPECT_EQ(got, 0) << std::hex << got;
    return pfx.str(len);
}

// openssl pkcs12 -info, standard error included.
std::string opensslInfo(const std::string& pfx) {
    return zqtest::run(
               {"sh", "-c", "openssl pkcs12 -info -noout -passin pass:pw -in \"$1\" 2>&1", "sh", temp("info.p12", pfx)},
               {}, {"OPENSSL_CONF=/dev/null"})
        .output;
}

int verify(const std::string& pfx, Records& pairs, Records& certs, const char* pw = kPw) {
    return VCL_PK12_Verify_PFX(pw, static_cast<int>(std::strlen(pw)), u(pfx), n(pfx), &pairs.count, &pairs.p,
                               &certs.count, &certs.p);
}

// The scheme a key of a pair is kept under: algorithm row and cipher row.
std::pair<int, int> schemeOf(const std::string& der) {
    ASN1_UNIT* node = decodeToDERSequence(u(der), n(der));
    PKCS8* p8 = nullptr;
    int row = -1, cipher = -1, prf = -1;
    if (node && Seq_to_P8_ENCRYPTED_KEY(node, &p8) == 0) get_PKCS5_scheme(p8, &row, &cipher, &prf);
    free_PKCS8(p8);
    free_ASN1_UNIT(node);
    return {row, cipher};
}

TEST(Pkcs12Files, OursAreReadByOpensslNssAndPython) {
    const std::string cert = file("cert.der"), key = file("p8-kisa.der"), ca = derOf(file("ca.pem"));
    Credential cred(cert, key);
    const std::string pfx = makePfx({&cred.info}, {ca}, 1, "signer");

    const std::string info = opensslInfo(pfx);
    EXPECT_NE(info.find("MAC: sha1, Iteration 2048"), std::string::npos) << info;
    EXPECT_NE(info.find("MAC length: 20, salt length: 20"), std::string::npos) << info;
    EXPECT_NE(info.find("PKCS7 Encrypted data: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048"), std::string::npos);
    EXPECT_NE(info.find("Shrouded Keybag: pbeWithSHA1And3-KeyTripleDES-CBC, Iteration 2048"), std::string::npos);

    // NSS lists it from a database of the test's own.
    zqtest::TempDir db("nssdb");
    ASSERT_EQ(zqtest::run({"certutil", "-N", "-d", "sql:" + db.path(), "--empty-password"}).status, 0);
    const auto listed = zqtest::run({"pk12util", "-l", temp("nss.p12", pfx), "-W", kPw, "-d", "sql:" + db.path()});
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("Key Test"), std::string::npos) << listed.output;

    // python reads the same key and certificate.
    const auto py =
        zqtest::run({zqtest::kPython, "-c",
                     "import sys\n"
                     "from cryptography.hazmat.primitives import serialization as s\n"
                     "from cryptography.hazmat.primitives.serialization import pkcs12\n"
                     "k, c, more = pkcs12.load_key_and_certificates(open(sys.argv[1], 'rb').read(), b'pw')\n"
                     "print(k.private_bytes(s.Encoding.DER, s.PrivateFormat.TraditionalOpenSSL,\n"
                     "      s.NoEncryption()).hex())\n"
                     "print(c.public_bytes(s.Encoding.DER).hex())\n"
                     "print(len(more))",
                     temp("py.p12", pfx)});
    ASSERT_EQ(py.status, 0);
    EXPECT_EQ(py.output, keytest::hex(file("rsa.der")) + "\n" + keytest::hex(cert) + "\n1\n");
}

TEST(Pkcs12Files, OursReadBackWithTheRandom) {
    const std::string cert = file("cert.pem"), key = file("p8-kisa.der");
    Credential cred(cert, key);
    const std::string pfx = makePfx({&cred.info});
    Records pairs, certs;
    ASSERT_EQ(verify(pfx, pairs, certs), 0);
    ASSERT_EQ(pairs.count, 1);
    EXPECT_EQ(certs.count, 0);
    EXPECT_EQ(certs.p, nullptr);
    EXPECT_EQ(pairs.cert(0), file("cert.der"));
    EXPECT_EQ(pairs.p[0].cert_use, VCL_CERT_USE_SIGN);
    EXPECT_EQ(pairs.p[0].key_kind, VCL_KEY_KIND_RSA);
    EXPECT_EQ(pairs.p[0].password_len, 0);
    const std::string stored = pairs.key(0);
    EXPECT_EQ(schemeOf(stored), std::make_pair(780, 0));
    Buf<unsigned char> random;
    int len = 0;
    ASSERT_EQ(VCL_PK8_Get_Random(u(stored), n(stored), kPw, kPwLen, random.out(), &len), 0);
    EXPECT_EQ(keytest::hex(random.str(len)), file("random.hex"));
}

TEST(Pkcs12Files, EveryKeyFormAndTheCertificateSafe) {
    const std::string cert = file("cert.der");
    for (const char* name : {"rsa.pem", "rsa-des3.pem", "rsa.der", "p8-aes.pem", "p8-seed.der"}) {
        SCOPED_TRACE(name);
        Credential cred(cert, file(name));
        const std::string pfx = makePfx({&cred.info}, {}, 0);
        // The certificate safe is plain data.
        const std::string info = opensslInfo(pfx);
        EXPECT_EQ(info.find("PKCS7 Encrypted data"), std::string::npos);
        EXPECT_NE(info.find("PKCS7 Data"), std::string::npos);
        Records pairs, certs;
        ASSERT_EQ(verify(pfx, pairs, certs), 0);
        ASSERT_EQ(pairs.count, 1);
        EXPECT_EQ(pairs.cert(0), cert);
    }
}

TEST(Pkcs12Files, KeyUsageOfTheKeyBag) {
    // keyEncipherment and dataEncipherment ("30") give 48, others 192.
    struct Case {
        const char* cert;
        const char* want;
        int use;
    } cases[] = {{"km.der", "X509v3 Key Usage: 30", VCL_CERT_USE_OTHER},
                 {"cert.der", "X509v3 Key Usage: C0", VCL_CERT_USE_SIGN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cert);
        Credential cred(file(c.cert), file("p8-aes.der"));
        const std::string pfx = makePfx({&cred.info});
        const auto out = zqtest::run(
            {"sh", "-c", "openssl pkcs12 -info -nodes -passin pass:pw -in \"$1\" 2>&1", "sh", temp("ku.p12", pfx)}, {},
            {"OPENSSL_CONF=/dev/null"});
        EXPECT_NE(out.output.find(c.want), std::string::npos) << out.output;
        Records pairs, certs;
        ASSERT_EQ(verify(pfx, pairs, certs), 0);
        EXPECT_EQ(pairs.p[0].cert_use, c.use);
    }
}

TEST(Pkcs12Files, OpensslExportsReadIntoOnePairAndTheCa) {
    const std::string ee = derOf(file("ee.pem")), ca = derOf(file("ca.pem"));
    for (const char* name : {"ee-default.p12", "ee-legacy.p12", "ee-3des.p12"}) {
        SCOPED_TRACE(name);
        Records pairs, certs;
        ASSERT_EQ(verify(file(name), pairs, certs), 0);
        ASSERT_EQ(pairs.count, 1);
        ASSERT_EQ(certs.count, 1);
        EXPECT_EQ(pairs.cert(0), ee);
        EXPECT_EQ(certs.cert(0), ca);
        EXPECT_EQ(certs.p[0].key, nullptr);
        const std::string key = pairs.key(0);
        EXPECT_EQ(schemeOf(key), std::make_pair(780, 0));
        EXPECT_EQ(VCL_PK8_Check_Passwd(u(key), n(key), kPw, kPwLen), 0);
        EXPECT_EQ(keytest::opensslModulus({"rsa", "-noout", "-modulus"}, file("ee.key")),
                  keytest::opensslModulus({"x509", "-inform", "DER", "-noout", "-modulus"}, pairs.cert(0)));
        // The pair's key is the key of the certificate.
        Buf<char> pem;
        int len = 0;
        const std::string c = pairs.cert(0);
        EXPECT_EQ(VCL_PK1_Cert_To_Privatekey_Pemfile(u(c), n(c), u(key), n(key), kPw, kPwLen, pem.out(), &len), 0);
    }
    // A wrong password, and bytes that are no PFX.
    Records pairs, certs;
    EXPECT_EQ(rc(verify(file("ee-3des.p12"), pairs, certs, "wrong")), 0x4d0f005eu);
    EXPECT_EQ(pairs.p, nullptr);
    EXPECT_EQ(rc(verify(file("cert.der"), pairs, certs)), 0xb3020059u);
}

TEST(Pkcs12Files, KoreanGovernmentKeysAreKeptUnderAria) {
    struct Case {
        const char* file;
        std::pair<int, int> scheme;
    } cases[] = {{"gov256.p12", {161, 824}}, {"gov1.p12", {780, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Records pairs, certs;
        const std::string pfx = file(c.file);
        ASSERT_EQ(VCL_PK12_Verify_PFX_With_Pass("key pw", 6, kPw, kPwLen, u(pfx), n(pfx), &pairs.count, &pairs.p,
                                                &certs.count, &certs.p),
                  0);
        ASSERT_EQ(pairs.count, 1);
        const std::string key = pairs.key(0);
        EXPECT_EQ(schemeOf(key), c.scheme);
        EXPECT_EQ(VCL_PK8_Check_Passwd(u(key), n(key), "key pw", 6), 0);
        EXPECT_NE(VCL_PK8_Check_Passwd(u(key), n(key), kPw, kPwLen), 0);
    }
}

TEST(Pkcs12Files, KeysThatDoNotBelong) {
    // A credential whose key is another certificate's.
    Credential wrong(file("cert.der"), file("other.pem"));
    std::vector<PKISTRINFO> infos{wrong.info};
    Buf<unsigned char> pfx;
    int len = 0;
    EXPECT_EQ(rc(VCL_PK12_Make_PFX(kPw, kPwLen, nullptr, 0, 1, infos.data(), 0, nullptr, pfx.out(), &len)),
              0xb301005bu);
    EXPECT_FALSE(pfx);
    // A wrong key password.
    Credential cred(file("cert.der"), file("p8-aes.der"));
    infos = {cred.info};
    EXPECT_EQ(rc(VCL_PK12_Make_PFX_With_Pass("wrong", 5, kPw, kPwLen, nullptr, 0, 1, infos.data(), 0, nullptr,
                                             pfx.out(), &len)),
              0x4a070012u);
    EXPECT_EQ(rc(VCL_PK12_Make_PFX(kPw, kPwLen, nullptr, 0, 0, infos.data(), 0, nullptr, pfx.out(), &len)),
              0xb3010005u);
    EXPECT_EQ(rc(VCL_PK12_Make_PFX(nullptr, 0, nullptr, 0, 1, infos.data(), 0, nullptr, pfx.out(), &len)), 0xb3010002u);
    const std::string zero("p\0w", 3);
    EXPECT_EQ(rc(VCL_PK12_Make_PFX(zero.data(), 3, nullptr, 0, 1, infos.data(), 0, nullptr, pfx.out(), &len)),
              0xb3010003u);

    // A file whose certificate names a local key and holds another's key.
    const std::string certDer = file("cert.der"), otherKey = file("other.pem");
    ASN1_UNIT* node = decodeToDERSequence(u(certDer), n(certDer));
    X509_CERT* cert = nullptr;
    ASSERT_EQ(Seq_to_X509_CERT(node, &cert), 0);
    keytest::Key key;
    ASSERT_EQ(VCL_PK1_priv_convert_keyunit(u(otherKey), n(otherKey), nullptr, 0, key.out()), 0);
    P8_PRIV_KEY_INFO* info = gen_P8_PRIV_KEY_INFO(key.p, nullptr);
    P12_SAFEBAGS* bags = nullptr;
    P12_SAFEBAG* certBag = add_PKCS12_cert(&bags, cert);
    P12_SAFEBAG* keyBag = add_PKCS12_keyinfo(&bags, info, 0, 2048, 146, kPw);
    ASSERT_NE(certBag, nullptr);
    ASSERT_NE(keyBag, nullptr);
    ASSERT_EQ(add_PKCS12_LKID(certBag, "id", 2), 0);
    ASSERT_EQ(add_PKCS12_LKID(keyBag, "id", 2), 0);
    P12_AUTH_SAFE* safes = nullptr;
    ASSERT_EQ(PKCS12_add_safe(&safes, bags, -1, 0, nullptr), 0);
    PKCS12* made = PKCS12_add_safes(safes);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(set_PKCS12_mac(made, kPw, kPwLen, nullptr, 20, 2048, 0), 0);
    ASN1_UNIT* encoded = nullptr;
    ASSERT_EQ(P12_PFX_to_Seq(made, &encoded), 0);
    unsigned char* bytes = nullptr;
    const int total = ASN1_to_binary(encoded, &bytes);
    const std::string mismatched(reinterpret_cast<char*>(bytes), static_cast<size_t>(total));
    VSC_Free(bytes, __FILE__, __LINE__);
    free_ASN1_UNIT(encoded);
    free_PKCS12(made);
    free_P12_AUTH_SAFE(safes);
    free_P12_SAFEBAGS(bags);
    free_P8_PRIV_KEY_INFO(info);
    free_X509_CERT(cert);
    free_ASN1_UNIT(node);
    Records pairs, certs;
    EXPECT_EQ(rc(verify(mismatched, pairs, certs)), 0xb302002fu);
    EXPECT_EQ(pairs.p, nullptr);
    EXPECT_EQ(certs.p, nullptr);
}

}  // namespace

// Signing certificates with RSA and KCDSA keys, checking signatures (PKITS,
// the vectors, openssl's PSS certificates, bodies our encoder would write
// differently), the validity check at its bounds, digests and the print.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <thread>
#include <vector>

#include "CertTestUtil.h"
#include "DigestInfoForms.h"
#include "KeyTestUtil.h"
#include <zunPKI/x509/x509_sig.h>

using namespace x509test;

namespace {

using keytest::holding;
using Key = keytest::Key;

// The root's private key, as the crypto library holds it.
Key caKey() {
    return Key(holding(ASYMMETRIC_KEY_RSA, keytest::rsaFrom(fileLines(certFixtures() + "/ca.rsa.txt"), true)));
}

const X509_PUBKEY* keyOf(const Cert& cert) { return get_X509_SPKI(cert.get()); }

TEST(CertSignature, PkitsAndVectors) {
    Cert anchor = vectorCert("PKITS_data/certs/TrustAnchorRootCertificate.crt");
    Cert good = vectorCert("PKITS_data/certs/GoodCACert.crt");
    Cert bad = vectorCert("PKITS_data/certs/BadSignedCACert.crt");
    EXPECT_EQ(verify_SIG_X509_CERT(good.get(), keyOf(anchor)), 0);
    // PKITS spoils this signature by giving its BIT STRING an unused bit.
    EXPECT_EQ(verify_SIG_X509_CERT(bad.get(), keyOf(anchor)), 0x4617002b);
    bad->signatureValue->extra = 0;
    EXPECT_EQ(verify_SIG_X509_CERT(bad.get(), keyOf(anchor)), VSC_FAIL);
    EXPECT_EQ(verify_SIG_X509_CERT(good.get(), keyOf(good)), VSC_FAIL);  // not its own issuer

    // invalid_signature_cert.pem is the issuer of the vectors' CRL with a bad
    // signature; it is itself a correctly self-signed copy of
    // valid_signature_cert.pem, as openssl verify and python-cryptography agree.
    Cert valid = vectorCert("custom/valid_signature_cert.pem");
    Cert issuer = vectorCert("custom/invalid_signature_cert.pem");
    EXPECT_EQ(verify_SIG_X509_CERT(valid.get(), keyOf(valid)), 0);
    EXPECT_EQ(verify_SIG_X509_CERT(issuer.get(), keyOf(issuer)), 0);
    issuer->signatureValue->data[issuer->signatureValue->length - 1] ^= 0x01;
    EXPECT_EQ(verify_SIG_X509_CERT(issuer.get(), keyOf(valid)), VSC_FAIL);
}

// Certificates whose TBS our encoder would write differently verify over
// the bytes they came with; encoded afresh they would not.
TEST(CertSignature, BodiesAsReceived) {
    Cert ca = certFixture("ca.der");
    for (const char* file :
         {"leaf.der", "pss-sha256.der", "pss-sha512.der", "nonminimal.der", "absent-params.der", "oiw-sha1.der"}) {
        SCOPED_TRACE(file);
        Cert cert = certFixture(file);
        ASSERT_NE(cert, nullptr);
        EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), keyOf(ca)), 0);
        // A copy keeps the bytes.
        Cert copy(dup_X509_CERT(cert.get()));
        EXPECT_EQ(verify_SIG_X509_CERT(copy.get(), keyOf(ca)), 0);
    }
    for (const char* file : {"nonminimal.der", "absent-params.der"}) {
        Cert cert = certFixture(file);
        touch_X509_CERT(cert.get());
        EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), keyOf(ca)), VSC_FAIL) << file;
    }
    // A signature that has been tampered with does not verify under PSS either.
    Cert pss = certFixture("pss-sha256.der");
    pss->signatureValue->data[10] ^= 1;
    EXPECT_EQ(verify_SIG_X509_CERT(pss.get(), keyOf(ca)), VSC_FAIL);
}

// A certificate whose PSS parameters state one salt length verifies only
// when its signature was made with that length, 0 included; openssl
// pkeyutl made the signatures and openssl verify agrees.
TEST(CertSignature, PssSaltLengthIsTheStatedOne) {
    Cert ca = certFixture("ca.der");
    for (int made : {0, 20, 32}) {
        for (int stated : {0, 20, 32}) {
            const std::string file = "pss-salt" + std::to_string(made) + "-stated" + std::to_string(stated) + ".der";
            SCOPED_TRACE(file);
            Cert cert = certFixture(file);
            ASSERT_NE(cert, nullptr);
            const bool same = made == stated;
            EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), keyOf(ca)), same ? 0 : VSC_FAIL);
            const auto peer =
                zqtest::run({"openssl", "verify", "-CAfile", certFixtures() + "/ca.pem", certFixtures() + "/" + file});
            EXPECT_EQ(peer.status == 0, same);
        }
    }
}

// A certificate's v1.5 signature verifies only over the DER DigestInfo of
// its body's digest: the same digest in another byte form (openssl pkeyutl
// signed each raw) is refused, as openssl verify refuses it.
TEST(CertSignature, OnlyTheDerDigestInfoVerifies) {
    Cert ca = certFixture("ca.der");
    const Bytes leaf = pkitest::readBytes(certFixtures() + "/leaf.der");
    zpki::der::Cursor in(leaf.data(), leaf.size());
    zpki::der::Element whole, tbs, alg;
    ASSERT_TRUE(zpki::der::getElement(in, whole));
    zpki::der::Cursor parts(whole.contents, whole.contentsSize);
    ASSERT_TRUE(zpki::der::getElement(parts, tbs) && zpki::der::getElement(parts, alg));
    const Bytes body(tbs.start, tbs.start + tbs.totalSize), algorithm(alg.start, alg.start + alg.totalSize);
    unsigned char md[32];
    int mdLen = 0;
    ASSERT_EQ(VSC_DIGEST(VSC_DIGEST_SHA256, body.data(), static_cast<int>(body.size()), md, &mdLen), 0);
    zqtest::TempDir dir("certdi");
    for (const auto& form : zqtest::sha256DigestInfoForms(std::string(md, md + mdLen))) {
        SCOPED_TRACE(form.name);
        const bool der = std::string(form.name) == "DER";
        const std::string sig = zqtest::signRawBlock(certFixtures() + "/ca.key", form.bytes);
        ASSERT_EQ(sig.size(), 256u);
        const Bytes signedCert = seq({body, algorithm, tlv(0x03, cat({Bytes{0}, Bytes(sig.begin(), sig.end())}))});
        Cert cert = decodeCert(signedCert);
        ASSERT_NE(cert, nullptr);
        EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), keyOf(ca)), der ? 0 : VSC_FAIL);
        zqtest::writeFile(dir / "cert.der", std::string(signedCert.begin(), signedCert.end()));
        EXPECT_EQ(
            zqtest::run({"openssl", "verify", "-CAfile", certFixtures() + "/ca.pem", dir / "cert.der"}).status == 0,
            der);
    }
}

TEST(CertSignature, RefusedAlgorithmsAndKeys) {
    Cert ca = certFixture("ca.der");
    Cert ec = certFixture("ec.der");
    // EC keys are not verified; RSA keys do not serve ECDSA.
    EXPECT_EQ(verify_SIG_X509_CERT(ca.get(), keyOf(ec)), 1);
    Cert ecdsa = vectorCert("scottishpower-bitstring-dn.pem");
    EXPECT_EQ(verify_SIG_X509_CERT(ecdsa.get(), keyOf(ca)), 0x4617002b);

    // The outer algorithm must be the one the body names.
    Cert leaf = certFixture("leaf.der");
    free_ASN1_STRING(leaf->signatureAlgorithm);
    leaf->signatureAlgorithm = index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA512", 10));
    EXPECT_EQ(verify_SIG_X509_CERT(leaf.get(), keyOf(ca)), 0x4617002b);

    // PSS whose mask uses another digest than the message: our crypto
    // library cannot check it, so it is refused rather than failed.
    Cert pss = certFixture("pss-sha256.der");
    ASN1_STRING* p = pss->signatureParameters;
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->type, 0x30);
    Bytes params(p->data, p->data + p->length);
    // [0] sha256 then [1] mgf1(sha256): make the mask's hash sha384 (...02 01 -> ...02 02)
    const Bytes sha256Oid = fromHex("608648016503040201");
    auto at = std::search(params.begin() + 20, params.end(), sha256Oid.begin(), sha256Oid.end());
    ASSERT_NE(at, params.end());
    at[sha256Oid.size() - 1] = 0x02;
    set_ASN1_STRING_value(pss->signatureParameters, 0x30, params.data(), static_cast<int>(params.size()));
    set_ASN1_STRING_value(pss->tbs->signatureParameters, 0x30, params.data(), static_cast<int>(params.size()));
    EXPECT_EQ(verify_SIG_X509_CERT(pss.get(), keyOf(ca)), 0x4617002b);

    // A negative saltLength or trailerField is no length and no trailer
    // (openssl refuses both), though the signature was made with 32 bytes of
    // salt and the usual trailer.
    EXPECT_EQ(verify_SIG_X509_CERT(certFixture("pss-negative-salt.der").get(), keyOf(ca)), 0x4617002b);
    Cert trailer = certFixture("pss-sha256.der");
    ASSERT_EQ(verify_SIG_X509_CERT(trailer.get(), keyOf(ca)), 0);
    Bytes withTrailer(trailer->signatureParameters->data,
                      trailer->signatureParameters->data + trailer->signatureParameters->length);
    for (uint8_t b : {0xa3, 0x03, 0x02, 0x01, 0xff}) withTrailer.push_back(b);  // trailerField [3] -1
    for (ASN1_STRING* s : {trailer->signatureParameters, trailer->tbs->signatureParameters})
        set_ASN1_STRING_value(s, 0x30, withTrailer.data(), static_cast<int>(withTrailer.size()));
    EXPECT_EQ(verify_SIG_X509_CERT(trailer.get(), keyOf(ca)), 0x4617002b);

    EXPECT_EQ(verify_SIG_X509_CERT(nullptr, keyOf(ca)), 1);
    EXPECT_EQ(verify_RSA_SIG_X509_CERT(ca.get(), nullptr), 0x46170049);
    EXPECT_EQ(verify_KCDSA_SIG_X509_CERT(ca.get(), nullptr), 0x46180049);
}

// A KCDSA private key of a TTAK vector and the public-key record of it.
struct KcdsaPair {
    Key key;
    PubKey pub;
};
KcdsaPair kcdsaPairOf(int vector) {
    const auto v = keytest::kcdsaVector(vector);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    KcdsaPair out{Key(holding(ASYMMETRIC_KEY_KCDSA, unit)), PubKey(new_X509_PUBKEY())};
    EXPECT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    EXPECT_EQ(set_X509_PUBKEY_kcdsa(out.pub.get(), unit), 0);
    return out;
}

// A v3 certificate built by the setters and signed with the root's key.
Cert buildLeaf(const Cert& ca, int sigRow) {
    Cert leaf = certFixture("leaf.der");
    Cert cert(new_X509_CERT());
    keytest::Big serial(VSC_HEX_To_BIGINT("0100"));
    pkitest::String alg(index_to_OBJECT_IDENTIFIER(sigRow));
    Time nb(makeTime(X509_TIME_UTC, "250101000000Z")), na(makeTime(X509_TIME_GENERALIZED, "20991231235959Z"));
    EXPECT_EQ(set_X509_version(cert.get(), 2), 0);
    EXPECT_EQ(set_X509_serial(cert.get(), serial.get()), 0);
    EXPECT_EQ(set_X509_signature(cert.get(), alg.get()), 0);
    EXPECT_EQ(set_X509_issuer(cert.get(), get_X509_subject(ca.get())), 0);
    EXPECT_EQ(set_X509_subject(cert.get(), get_X509_subject(leaf.get())), 0);
    EXPECT_EQ(set_X509_notBefore(cert.get(), nb.get()), 0);
    EXPECT_EQ(set_X509_notAfter(cert.get(), na.get()), 0);
    EXPECT_EQ(set_X509_pub_key(cert.get(), get_X509_SPKI(leaf.get())), 0);
    cert->tbs->extensions = dup_X509_EXTENSIONS(leaf->tbs->extensions);
    return cert;
}

TEST(CertSigning, RsaSha256PassesOpensslVerify) {
    Cert ca = certFixture("ca.der");
    Key key = caKey();
    Cert cert = buildLeaf(ca, index_from_sn("RSA-SHA256", 10));
    ASSERT_EQ(gen_SIG_X509_Cert(cert.get(), key.get()), 0);
    EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), keyOf(ca)), 0);
    const Bytes der = encodeCert(cert.get());
    ASSERT_FALSE(der.empty());
    zqtest::TempDir dir("certsign");
    zqtest::writeFile(dir / "built.der", std::string(der.begin(), der.end()));
    pkitest::openssl({"x509", "-inform", "DER", "-in", dir / "built.der", "-out", dir / "built.pem"});
    auto r = zqtest::run({"openssl", "verify", "-CAfile", certFixtures() + "/ca.pem", dir / "built.pem"});
    EXPECT_EQ(r.status, 0) << r.output;
    // python-cryptography's strict DER reader takes it too, signature and
    // every extension body.
    r = zqtest::run({zqtest::kPython, "-c",
                     "import sys\n"
                     "from cryptography import x509\n"
                     "from cryptography.hazmat.primitives.asymmetric import padding\n"
                     "ca = x509.load_pem_x509_certificate(open(sys.argv[1], 'rb').read())\n"
                     "c = x509.load_der_x509_certificate(open(sys.argv[2], 'rb').read())\n"
                     "ca.public_key().verify(c.signature, c.tbs_certificate_bytes, padding.PKCS1v15(),\n"
                     "                       c.signature_hash_algorithm)\n"
                     "print(hex(c.serial_number), len(c.extensions))",
                     certFixtures() + "/ca.pem", dir / "built.der"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "0x100 " + std::to_string(get_X509_EXTENSION_count(cert->tbs->extensions)) + "\n");

    // Decoded again, it still verifies, and signing it anew gives the same
    // bytes (RSA PKCS#1 v1.5 is deterministic).
    Cert back = decodeCert(der);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(verify_SIG_X509_CERT(back.get(), keyOf(ca)), 0);
    ASSERT_EQ(gen_SIG_X509_Cert(back.get(), key.get()), 0);
    EXPECT_EQ(encodeCert(back.get()), der);
}

// A CA signs from several threads with its one key: each signature is made
// on a copy of the key, and each verifies.
TEST(CertSigning, OneKeySignsFromManyThreads) {
    Cert ca = certFixture("ca.der");
    Key key = caKey();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                Cert cert = buildLeaf(ca, index_from_sn("RSA-SHA256", 10));
                if (gen_SIG_X509_Cert(cert.get(), key.get()) != 0 || verify_SIG_X509_CERT(cert.get(), keyOf(ca)) != 0)
                    ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    // No operation ran on the shared unit itself (it keeps only the OpenSSL
    // key its copies share).
    const auto* shared = static_cast<const RSA_UNIT*>(key->key);
    EXPECT_EQ(shared->digest_unit, nullptr);
    EXPECT_EQ(shared->digest_id, 0);
    EXPECT_EQ(shared->padding_mode, 0);
}

TEST(CertSigning, RefusedAlgorithmsAndKeys) {
    Cert ca = certFixture("ca.der");
    Key key = caKey();
    // No digest in the row (rsaEncryption), PSS, and an ECDSA row.
    for (const char* sn : {"rsaEncryption", "id-RSASSA-PSS", "ecdsa-with-SHA256"}) {
        Cert cert = buildLeaf(ca, index_from_sn(sn, static_cast<int>(std::strlen(sn))));
        EXPECT_EQ(gen_SIG_X509_Cert(cert.get(), key.get()), 0x4615002b) << sn;
        EXPECT_EQ(cert->signatureValue, nullptr);
    }
    Cert cert = buildLeaf(ca, index_from_sn("RSA-SHA256", 10));
    Key empty(new_ASYMMETRIC_KEY());
    EXPECT_EQ(gen_SIG_X509_Cert(cert.get(), empty.get()), 1);
    EXPECT_EQ(gen_SIG_X509_Cert(cert.get(), nullptr), 1);
    BIT_STRING* sig = nullptr;
    EXPECT_EQ(gen_RSA_SIG_X509_TBS_CERT(cert->tbs, &sig, get_X509_signature(cert.get()), nullptr), 0x46150049);
    EXPECT_EQ(gen_KCDSA_SIG_X509_TBS_CERT(cert->tbs, &sig, get_X509_signature(cert.get()), nullptr), 0x46160049);
    // An RSA key without its private values: the crypto library's code, no signature.
    Key pub(holding(ASYMMETRIC_KEY_RSA, keytest::rsaFrom(fileLines(certFixtures() + "/ca.rsa.txt"), false)));
    const int rc = gen_SIG_X509_Cert(cert.get(), pub.get());
    EXPECT_NE(rc, 0);
    EXPECT_EQ(cert->signatureValue, nullptr);
}

// KCDSA keys of the standard's worked examples: 1024/160 with HAS-160 (20-byte
// r and s) and 2048/256 with SHA-256 (32-byte values).
TEST(CertSigning, KcdsaRoundTrip) {
    struct Case {
        int vector;
        const char* alg;
        int rLen;
    } cases[] = {{4, "KCDSAwithHAS160", 20}, {2, "KCDSA1withSHA256", 32}};
    Cert ca = certFixture("ca.der");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alg);
        auto [key, pub] = kcdsaPairOf(c.vector);
        ASSERT_NE(pub->key, nullptr);

        Cert cert = buildLeaf(ca, index_from_sn(c.alg, static_cast<int>(std::strlen(c.alg))));
        ASSERT_EQ(set_X509_pub_key(cert.get(), pub.get()), 0);
        ASSERT_EQ(gen_SIG_X509_Cert(cert.get(), key.get()), 0);
        EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), get_X509_SPKI(cert.get())), 0);

        // The signature value holds r whole.
        unsigned char r[64], s[64];
        int rLen = sizeof r, sLen = sizeof s;
        const BIT_STRING* sig = get_X509_sig_value(cert.get());
        ASSERT_EQ(decode_KCDSASignatureValue(r, &rLen, s, &sLen, sig->data, sig->length), 0);
        EXPECT_EQ(rLen, c.rLen);

        Cert back = decodeCert(encodeCert(cert.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_SIG_X509_CERT(back.get(), get_X509_SPKI(back.get())), 0);
        // The same value with a long-form length is not its DER: refused.
        Cert ber = decodeCert(encodeCert(cert.get()));
        ASSERT_NE(ber, nullptr);
        Bytes longForm{0x30, 0x81};
        longForm.insert(longForm.end(), sig->data + 1, sig->data + sig->length);
        ASSERT_EQ(set_ASN1_STRING_value(ber->signatureValue, ASN1_TAG_BIT_STRING, longForm.data(),
                                        static_cast<int>(longForm.size())),
                  0);
        ber->signatureValue->extra = 0;
        EXPECT_EQ(verify_SIG_X509_CERT(ber.get(), get_X509_SPKI(ber.get())), 0x46180104);
        back->signatureValue->data[back->signatureValue->length - 1] ^= 1;
        EXPECT_EQ(verify_SIG_X509_CERT(back.get(), get_X509_SPKI(back.get())), VSC_FAIL);

        // A public key cannot sign: the crypto library's code, nothing stored.
        Key publicOnly(new_ASYMMETRIC_KEY());
        ASSERT_EQ(KCDSA_UNIT_to_ASYMMETRIC_KEY(static_cast<KCDSA_UNIT*>(pub->key->key), publicOnly.get()), 0);
        Cert unsigned_ = buildLeaf(ca, index_from_sn(c.alg, static_cast<int>(std::strlen(c.alg))));
        EXPECT_NE(gen_SIG_X509_Cert(unsigned_.get(), publicOnly.get()), 0);
        EXPECT_EQ(unsigned_->signatureValue, nullptr);
    }
}

// A KCDSA signature is computed and checked under the digest its algorithm
// names, not the one the key's size would pick (HAS-160 for this 1024/160
// key): checked against the crypto library's KCDSA under that digest.
TEST(CertSigning, KcdsaUsesTheDigestItsAlgorithmNames) {
    Cert ca = certFixture("ca.der");
    auto [key, pub] = kcdsaPairOf(4);
    ASSERT_NE(pub->key, nullptr);
    auto* unit = static_cast<KCDSA_UNIT*>(key->key);
    auto* publicUnit = static_cast<KCDSA_UNIT*>(pub->key->key);
    const auto rowOf = [](const char* sn) { return index_from_sn(sn, static_cast<int>(std::strlen(sn))); };
    // r and s of a KCDSA signature value.
    struct Pair {
        unsigned char r[64], s[64];
        int rLen = 64, sLen = 64;
    };
    const auto checksUnder = [&](int digest, const Bytes& tbs, const BIT_STRING* sig) {
        Pair rs;
        EXPECT_EQ(decode_KCDSASignatureValue(rs.r, &rs.rLen, rs.s, &rs.sLen, sig->data, sig->length), 0);
        EXPECT_EQ(VSC_Init_KCDSA_Ex(publicUnit, 0, digest), VSC_OK);
        EXPECT_EQ(VSC_Update_KCDSA(publicUnit, tbs.data(), static_cast<int>(tbs.size())), VSC_OK);
        return VSC_Final_KCDSA(publicUnit, rs.r, &rs.rLen, rs.s, &rs.sLen) == 0;
    };
    const struct {
        const char* alg;
        int digest;
    } cases[] = {{"KCDSA1withSHA1", VSC_DIGEST_SHA1},
                 {"KCDSAwithSHA1", VSC_DIGEST_SHA1},
                 {"KCDSA1withSHA256", VSC_DIGEST_SHA256},
                 {"KCDSAwithHAS160", VSC_DIGEST_HAS160}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alg);
        Cert cert = buildLeaf(ca, rowOf(c.alg));
        ASSERT_EQ(set_X509_pub_key(cert.get(), pub.get()), 0);
        ASSERT_EQ(gen_SIG_X509_Cert(cert.get(), key.get()), 0);
        const Bytes tbs = encode(X509_TBS_CERT_to_Seq, static_cast<const X509_TBS_CERT*>(cert->tbs));
        EXPECT_TRUE(checksUnder(c.digest, tbs, get_X509_sig_value(cert.get())));
        EXPECT_EQ(verify_SIG_X509_CERT(cert.get(), pub.get()), 0);
    }

    // A value made under HAS-160 for a certificate that names SHA-1 does not verify.
    Cert cert = buildLeaf(ca, rowOf("KCDSA1withSHA1"));
    ASSERT_EQ(set_X509_pub_key(cert.get(), pub.get()), 0);
    const Bytes tbs = encode(X509_TBS_CERT_to_Seq, static_cast<const X509_TBS_CERT*>(cert->tbs));
    Pair rs;
    ASSERT_EQ(VSC_Init_KCDSA_Ex(unit, 1, VSC_DIGEST_HAS160), VSC_OK);
    ASSERT_EQ(VSC_Update_KCDSA(unit, tbs.data(), static_cast<int>(tbs.size())), VSC_OK);
    ASSERT_EQ(VSC_Final_KCDSA(unit, rs.r, &rs.rLen, rs.s, &rs.sLen), VSC_OK);
    unsigned char* value = nullptr;
    const int n = encode_KCDSASignatureValue(&value, rs.r, rs.rLen, rs.s, rs.sLen);
    ASSERT_GT(n, 0);
    cert->signatureAlgorithm = dup_ASN1_STRING(cert->tbs->signature);
    cert->signatureValue = binaryToBIT_STRING(value, n);
    VSC_FREE(value);
    ASSERT_TRUE(checksUnder(VSC_DIGEST_HAS160, tbs, get_X509_sig_value(cert.get())));
    EXPECT_NE(verify_SIG_X509_CERT(cert.get(), pub.get()), 0);
}

TEST(CertValidity, BoundsAreInclusive) {
    // The zone of the process does not matter: instants are compared.
    pkitest::ZoneScope zone("Asia/Seoul");
    Cert bounds = certFixture("bounds.der");  // 2030-01-01 00:00:00Z .. 2030-12-31 23:59:59Z
    Cert gt = certFixture("bounds-gt.der");   // .. 2050-01-01 00:00:00Z (GeneralizedTime)
    struct Case {
        const X509_CERT* cert;
        int type;
        const char* time;
        PKI_ERROR code;
    } cases[] = {
        {bounds.get(), X509_TIME_UTC, "291231235959Z", 0x462b0113},
        {bounds.get(), X509_TIME_UTC, "300101000000Z", 0},
        {bounds.get(), X509_TIME_UTC, "300101090000+0900", 0},
        {bounds.get(), X509_TIME_GENERALIZED, "20300101085959+0900", 0x462b0113},
        {bounds.get(), X509_TIME_UTC, "300701120000Z", 0},
        {bounds.get(), X509_TIME_UTC, "301231235959Z", 0},
        {bounds.get(), X509_TIME_GENERALIZED, "20301231235959.5Z", 0},
        {bounds.get(), X509_TIME_UTC, "310101000000Z", 0x462b0114},
        {gt.get(), X509_TIME_GENERALIZED, "20500101000000Z", 0},
        {gt.get(), X509_TIME_GENERALIZED, "20500101000001Z", 0x462b0114},
        {bounds.get(), X509_TIME_UTC, "not a time", 0x462b0115},
    };
    for (const auto& c : cases) {
        Time t(makeTime(c.type, c.time));
        EXPECT_EQ(verify_X509_validity(c.cert, t.get()), c.code) << c.time;
    }
    Time other(makeTime(X509_TIME_UTC, "300701120000Z"));
    other->type = 2;
    EXPECT_EQ(verify_X509_validity(bounds.get(), other.get()), 0x462b0115);
    EXPECT_EQ(verify_X509_validity(nullptr, nullptr), 0x462b0049);
}

TEST(CertValidity, NowAndUnreadableBounds) {
    EXPECT_EQ(verify_X509_validity(certFixture("leaf.der").get(), nullptr), 0);
    EXPECT_EQ(verify_X509_validity(certFixture("expired.der").get(), nullptr), 0x462b0114);
    EXPECT_EQ(verify_X509_validity(certFixture("future.der").get(), nullptr), 0x462b0113);

    // A bound that does not read fails the check, it does not pass it.
    Time t(makeTime(X509_TIME_UTC, "300701120000Z"));
    Cert cert = certFixture("bounds.der");
    set_ASN1_STRING_value(cert->tbs->validity->notAfter->value, ASN1_TAG_UTC_TIME,
                          reinterpret_cast<const unsigned char*>("30x231235959Z"), 13);
    EXPECT_EQ(verify_X509_validity(cert.get(), t.get()), 0x462b0110);
    set_ASN1_STRING_value(cert->tbs->validity->notBefore->value, ASN1_TAG_UTC_TIME,
                          reinterpret_cast<const unsigned char*>("garbage"), 7);
    EXPECT_EQ(verify_X509_validity(cert.get(), t.get()), 0x462b010f);
    cert->tbs->validity->notBefore->type = 7;
    EXPECT_EQ(verify_X509_validity(cert.get(), t.get()), 0x462b0115);

    // Without a validity record there is nothing to check.
    Cert bare(new_X509_CERT());
    EXPECT_EQ(verify_X509_validity(bare.get(), nullptr), 0);
}

TEST(CertHelpers, PublicKeyHashIsTheSubjectKeyIdentifier) {
    // openssl writes the SHA-1 of the subjectPublicKey as key identifier.
    Cert ca = certFixture("ca.der");
    unsigned char hash[VSC_MAX_DIGEST_LENGTH];
    ASSERT_EQ(get_X509_PUBLIC_KEY_hash(ca.get(), VSC_DIGEST_SHA1, hash), 20);
    const std::string text = pkitest::openssl(
        {"x509", "-inform", "DER", "-in", certFixtures() + "/ca.der", "-noout", "-ext", "subjectKeyIdentifier"});
    std::string hex;
    for (char ch : text.substr(text.find('\n') + 1))
        if (std::isxdigit(static_cast<unsigned char>(ch))) hex += static_cast<char>(std::tolower(ch));
    EXPECT_EQ(toHex(hash, 20), hex);
    EXPECT_EQ(get_X509_PUBLIC_KEY_hash(certFixture("ec.der").get(), VSC_DIGEST_SHA1, hash), 0);
    Cert bare(new_X509_CERT());
    EXPECT_EQ(get_X509_PUBLIC_KEY_hash(bare.get(), VSC_DIGEST_SHA1, hash), 1);
}

TEST(CertHelpers, Print) {
    Cert leaf = certFixture("leaf.der");
    testing::internal::CaptureStdout();
    print_X509(leaf.get());
    const std::string out = testing::internal::GetCapturedStdout();
    for (const char* expected :
         {"+ Version : 02\n", "+ Serial : 1234\n", "+ Issuer : \n", "  - CN=Root\n", "  - CN=Leaf\n", "+ SPKI\n",
          "  -  1.2.840.113549.1.1.1 - rsaEncryption \n", "+ SIG and VALUE\n", "+ SPKI Hash\n"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

}  // namespace

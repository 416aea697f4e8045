// The certificate record: its codec on hand-made and openssl-made
// certificates, the DER kept from decoding, setters and getters.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "CertTestUtil.h"

using namespace x509test;

namespace {

// A certificate's TLV with its contents replaced.
Bytes withContents(uint8_t identifier, const Bytes& contents) {
    Bytes out{identifier};
    const size_t n = contents.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 256) {
        out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

// The elements inside one constructed element.
std::vector<Bytes> elementsOf(const Bytes& der) {
    zpki::der::Cursor c(der.data(), der.size());
    zpki::der::Element whole;
    EXPECT_TRUE(zpki::der::getElement(c, whole));
    zpki::der::Cursor in(whole.contents, whole.contentsSize);
    std::vector<Bytes> out;
    zpki::der::Element e;
    while (!in.empty() && zpki::der::getElement(in, e)) out.emplace_back(e.start, e.start + e.totalSize);
    return out;
}

Bytes joined(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// leaf.der with its TBSCertificate's elements changed by edit.
Bytes leafWithTbs(const std::function<void(std::vector<Bytes>&)>& edit) {
    auto outer = elementsOf(pkitest::readBytes(certFixtures() + "/leaf.der"));
    auto tbs = elementsOf(outer[0]);
    edit(tbs);
    outer[0] = withContents(0x30, joined(tbs));
    return withContents(0x30, joined(outer));
}

TEST(CertCodec, VersionOneAndThree) {
    // A v1 certificate has no [0] element, and none is written for it.
    Cert v1 = vectorCert("v1_cert.pem");
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(get_X509_version(v1.get()), 0);
    touch_X509_CERT(v1.get());
    EXPECT_NE(elementsOf(elementsOf(encodeCert(v1.get()))[0])[0][0], 0xa0);

    Cert v3 = certFixture("leaf.der");
    ASSERT_NE(v3, nullptr);
    EXPECT_EQ(get_X509_version(v3.get()), 2);
    touch_X509_CERT(v3.get());
    EXPECT_EQ(elementsOf(elementsOf(encodeCert(v3.get()))[0])[0], (Bytes{0xa0, 0x03, 0x02, 0x01, 0x02}));
}

TEST(CertCodec, MalformedCertificatesAreRefusedWithTheirCode) {
    const Bytes leaf = pkitest::readBytes(certFixtures() + "/leaf.der");
    const Bytes garbage{0x05, 0x00};
    struct Case {
        const char* what;
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {"five TBS elements", leafWithTbs([](auto& t) { t.resize(5); }), 0x4611002b},
        {"version 3 (v4)", leafWithTbs([](auto& t) {
             t[0] = {0xa0, 0x03, 0x02, 0x01, 0x03};
         }),
         0x46110104},
        {"element after the extensions", leafWithTbs([&](auto& t) { t.push_back(garbage); }), 0x46110104},
        {"extensions under [4]", leafWithTbs([](auto& t) { t.back()[0] = 0xa4; }), 0x46110104},
        {"extensions under private [3]", leafWithTbs([](auto& t) { t.back()[0] = 0xe3; }), 0x46110104},
        {"primitive [3]", leafWithTbs([](auto& t) { t.back()[0] = 0x83; }), 0x46110104},
        {"empty extensions", leafWithTbs([](auto& t) {
             t.back() = {0xa3, 0x02, 0x30, 0x00};
         }),
         0x46110104},
        {"validity of one time", leafWithTbs([](auto& t) { t[4] = withContents(0x30, elementsOf(t[4])[0]); }),
         0x46110104},
        {"unreadable notAfter", leafWithTbs([](auto& t) {
             auto v = elementsOf(t[4]);
             v[1] = withContents(0x17, Bytes{'9', '9', '1', '3', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'});
             t[4] = withContents(0x30, joined(v));
         }),
         0x46110104},
        {"element after the signature",
         [&] {
             auto outer = elementsOf(leaf);
             outer.push_back(garbage);
             return withContents(0x30, joined(outer));
         }(),
         0x460f0104},
        {"no signature value",
         [&] {
             auto outer = elementsOf(leaf);
             outer.pop_back();
             return withContents(0x30, joined(outer));
         }(),
         0x460f0104},
        {"signature algorithm with three elements",
         [&] {
             auto outer = elementsOf(leaf);
             outer[1] = withContents(0x30, joined({elementsOf(outer[1])[0], garbage, garbage}));
             return withContents(0x30, joined(outer));
         }(),
         0x460f0104},
        {"empty certificate", Bytes{0x30, 0x00}, 1},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        Cert cert = decodeCert(c.der, &rc);
        EXPECT_EQ(rc, c.code) << c.what;
        EXPECT_EQ(cert, nullptr) << c.what;
    }
}

TEST(CertCodec, UniqueIdentifiersAreReadAndWritten) {
    // No CA should issue them, but RFC 5280 asks readers to accept them.
    for (const char* file : {"UIDCACert.crt", "ValidNameUIDsTest6EE.crt"}) {
        Cert cert = vectorCert(std::string("PKITS_data/certs/") + file);
        ASSERT_NE(cert, nullptr);
        EXPECT_NE(cert->tbs->issuerUniqueID != nullptr, cert->tbs->subjectUniqueID != nullptr) << file;
        const Bytes der = encodeCert(cert.get());
        touch_X509_CERT(cert.get());
        EXPECT_EQ(encodeCert(cert.get()), der) << file;
    }
}

TEST(CertCodec, FailedDecodeLeavesTheCallersCertificate) {
    Cert mine = certFixture("leaf.der");
    const Bytes before = encodeCert(mine.get());
    pkitest::Node bad = nodeOf(Bytes{0x30, 0x03, 0x30, 0x01, 0x05});
    X509_CERT* target = mine.get();
    EXPECT_NE(Seq_to_X509_CERT(bad.get(), &target), 0);
    EXPECT_EQ(target, mine.get());
    EXPECT_EQ(encodeCert(mine.get()), before);

    pkitest::Node ca = nodeOf(pkitest::readBytes(certFixtures() + "/ca.der"));
    ASSERT_EQ(Seq_to_X509_CERT(ca.get(), &target), 0);
    EXPECT_EQ(target, mine.get());
    EXPECT_EQ(encodeCert(mine.get()), pkitest::readBytes(certFixtures() + "/ca.der"));

    // The TBS decoder too keeps the body it had when it fails.
    X509_TBS_CERT* tbs = mine->tbs;
    EXPECT_EQ(Seq_to_X509_TBS_CERT(bad.get(), mine.get()), 0x4611002b);
    EXPECT_EQ(mine->tbs, tbs);
}

TEST(CertCodec, EveryOneByteChangeDecodesToAnErrorOrAUsableRecord) {
    expectMutationsHarmless<Cert>(pkitest::readBytes(certFixtures() + "/ec.der"), Seq_to_X509_CERT, X509_CERT_to_Seq,
                                  dup_X509_CERT);
}

// A record whose members the setters made encodes afresh; openssl reads it.
TEST(CertKeptDer, SettersDropTheReceivedBytes) {
    Cert cert = certFixture("leaf.der");
    const Bytes received = encodeCert(cert.get());
    Name name(new_X509_NAME());
    ASSERT_EQ(add_X509_NAME_child_OID_index(name.get(), index_from_sn("CN", 2), ASN1_TAG_UTF8_STRING,
                                            reinterpret_cast<const unsigned char*>("Changed"), -1, -1),
              0);
    ASSERT_EQ(set_X509_subject(cert.get(), name.get()), 0);
    const Bytes changed = encodeCert(cert.get());
    ASSERT_FALSE(changed.empty());
    EXPECT_NE(changed, received);
    zqtest::TempDir dir("certset");
    zqtest::writeFile(dir / "c.der", std::string(changed.begin(), changed.end()));
    EXPECT_NE(
        pkitest::openssl({"x509", "-inform", "DER", "-in", dir / "c.der", "-noout", "-subject"}).find("CN = Changed"),
        std::string::npos);

    // A caller that changes a member in place says so with touch.
    Cert other = certFixture("leaf.der");
    VSC_Set_BIGINT_Word(other->tbs->serialNumber, 99);
    EXPECT_EQ(encodeCert(other.get()), received);
    touch_X509_CERT(other.get());
    Cert back = decodeCert(encodeCert(other.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(VSC_Get_BIGINT_Word(get_X509_serial(back.get())), 99u);
}

// Members changed through their own setters (the key record, an extension,
// a name decoded into the certificate's own) are encoded and signed as they
// now stand, not as they were received.
TEST(CertKeptDer, MembersChangedThroughTheirSettersAreEncoded) {
    const Bytes received = pkitest::readBytes(certFixtures() + "/leaf.der");
    Cert ca = certFixture("ca.der");
    const X509_PUBKEY* caKey = get_X509_SPKI(ca.get());
    auto* caRsa = static_cast<RSA_UNIT*>(caKey->key->key);
    const X509_EXTENSION* caExt = get_X509_EXTENSION(ca->tbs->extensions, 0);
    ASSERT_NE(caExt, nullptr);
    const std::function<void(X509_CERT*)> changes[] = {
        [&](X509_CERT* c) { ASSERT_EQ(set_X509_PUBKEY_rsa(get_X509_SPKI(c), caRsa), 0); },
        [&](X509_CERT* c) { ASSERT_EQ(RSA_UNIT_to_ASYMMETRIC_KEY(caRsa, get_X509_SPKI(c)->key), 0); },
        [&](X509_CERT* c) {
            X509_EXTENSION* e = get_X509_EXTENSION(c->tbs->extensions, 0);
            ASSERT_EQ(set_X509_EXTENSION_critical(e, get_X509_EXTENSION_critical(e) ? 0 : 1), 0);
        },
        [&](X509_CERT* c) {
            ASSERT_EQ(set_X509_EXTENSION_data(get_X509_EXTENSION(c->tbs->extensions, 0), caExt->extnValue), 0);
        },
        [&](X509_CERT* c) {
            // the same count, another extension in the first place
            free_X509_EXTENSION(remove_X509_EXTENSION(c->tbs->extensions, 0));
            ASSERT_EQ(add_X509_EXTENSION(&c->tbs->extensions, caExt, 0), 0);
        },
        [&](X509_CERT* c) {
            // a name of as many entries, decoded into the certificate's own
            Name other(dup_X509_NAME(get_X509_subject(c)));
            X509_NAME_CHILD* first = get_X509_NAME_CHILD(other.get(), 0);
            ASSERT_EQ(set_ASN1_STRING_value(first->value, first->value->type,
                                            reinterpret_cast<const unsigned char*>("Other"), 5),
                      0);
            Node node = nodeOf(encode(X509_NAME_to_Seq, static_cast<const X509_NAME*>(other.get())));
            X509_NAME* subject = get_X509_subject(c);
            ASSERT_EQ(Seq_to_X509_NAME(node.get(), &subject), 0);
        },
    };
    int i = 0;
    for (const auto& change : changes) {
        SCOPED_TRACE(i++);
        Cert cert = decodeCert(received);
        ASSERT_NE(cert, nullptr);
        ASSERT_EQ(verify_SIG_X509_CERT(cert.get(), caKey), 0);
        change(cert.get());
        const Bytes der = encodeCert(cert.get());
        EXPECT_NE(der, received);
        EXPECT_NE(verify_SIG_X509_CERT(cert.get(), caKey), 0);
        touch_X509_CERT(cert.get());
        EXPECT_EQ(encodeCert(cert.get()), der);
    }
}

// A CA's key checks many certificates, often from several threads: each
// check works on its own copy, so the shared key is never changed.
TEST(CertVerify, OneIssuerKeyChecksCertificatesFromManyThreads) {
    const Bytes good = pkitest::readBytes(certFixtures() + "/leaf.der");
    Bytes bad = good;
    bad.back() ^= 0x01;
    Cert ca = certFixture("ca.der");
    const X509_PUBKEY* caKey = get_X509_SPKI(ca.get());
    Cert leaf = decodeCert(good), forged = decodeCert(bad);
    ASSERT_TRUE(leaf && forged);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                if (verify_SIG_X509_CERT(leaf.get(), caKey) != 0) ++wrong;
                if (verify_SIG_X509_CERT(forged.get(), caKey) == 0) ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    // No operation ran on the shared unit itself (it keeps only the OpenSSL
    // key its copies share).
    const auto* shared = static_cast<const RSA_UNIT*>(caKey->key->key);
    EXPECT_EQ(shared->digest_unit, nullptr);
    EXPECT_EQ(shared->digest_id, 0);
    EXPECT_EQ(shared->padding_mode, 0);
}

// A signature AlgorithmIdentifier written afresh carries NULL parameters
// only for the algorithms that take them (RFC 3279: none for DSA and ECDSA,
// as openssl writes them).
TEST(CertKeptDer, FreshAlgorithmIdentifiersFollowTheirAlgorithm) {
    const struct {
        const char* sn;
        const char* der;
    } cases[] = {{"DSA-SHA1", "300906072a8648ce380403"},
                 {"ecdsa-with-SHA256", "300a06082a8648ce3d040302"},
                 {"RSA-SHA256", "300d06092a864886f70d01010b0500"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sn);
        Cert cert = certFixture("leaf.der");
        pkitest::String oid(index_to_OBJECT_IDENTIFIER(index_from_sn(c.sn, static_cast<int>(std::strlen(c.sn)))));
        ASSERT_NE(oid, nullptr);
        ASSERT_EQ(set_X509_signature(cert.get(), oid.get()), 0);
        auto tbs = elementsOf(elementsOf(encodeCert(cert.get()))[0]);
        ASSERT_GT(tbs.size(), 2u);
        EXPECT_EQ(tbs[2], fromHex(c.der));
    }
}

TEST(CertKeptDer, EmptyExtensionListIsLeftOut) {
    Cert cert = certFixture("leaf.der");
    free_X509_EXTENSIONS(cert->tbs->extensions);
    cert->tbs->extensions = new_X509_EXTENSIONS();
    touch_X509_CERT(cert.get());
    auto tbs = elementsOf(elementsOf(encodeCert(cert.get()))[0]);
    EXPECT_NE(tbs.back()[0], 0xa3);
    EXPECT_EQ(tbs.size(), 7u);
}

TEST(CertSetters, CodesAndValues) {
    Cert cert(new_X509_CERT());
    X509_CERT* none = nullptr;
    EXPECT_EQ(set_X509_version(none, 2), 0x46010049);
    EXPECT_EQ(set_X509_version(cert.get(), 4), 0x4601002b);
    EXPECT_EQ(set_X509_version(cert.get(), 0x103), 0);
    EXPECT_EQ(get_X509_version(cert.get()), 3);
    EXPECT_EQ(set_X509_serial(cert.get(), nullptr), 0x46020049);
    EXPECT_EQ(set_X509_signature(cert.get(), nullptr), 0x46030049);
    EXPECT_EQ(set_X509_issuer(cert.get(), nullptr), 0x46040049);
    EXPECT_EQ(set_X509_subject(cert.get(), nullptr), 0x46050049);
    EXPECT_EQ(set_X509_notAfter(cert.get(), nullptr), 0x46060049);
    EXPECT_EQ(set_X509_notBefore(cert.get(), nullptr), 0x46070049);
    EXPECT_EQ(set_X509_pub_key(cert.get(), nullptr), 0x46080049);
    Time bad(makeTime(X509_TIME_UTC, "300101000000Z"));
    bad->type = 2;
    EXPECT_EQ(set_X509_notAfter(cert.get(), bad.get()), 1);
    EXPECT_EQ(get_X509_notAfter(cert.get()), nullptr);

    // The TBS encoder names the first missing member.
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(X509_TBS_CERT_to_Seq(cert->tbs, &node), 0x4612010a);
    PKI_ERROR rc;
    Cert leaf = decodeCert(pkitest::readBytes(certFixtures() + "/leaf.der"), &rc);
    ASSERT_EQ(rc, 0);
    struct Missing {
        void** member;
        PKI_ERROR code;
    } missing[] = {
        {reinterpret_cast<void**>(&leaf->tbs->signature), 0x46120108},
        {reinterpret_cast<void**>(&leaf->tbs->issuer), 0x46120105},
        {reinterpret_cast<void**>(&leaf->tbs->validity), 0x46120107},
        {reinterpret_cast<void**>(&leaf->tbs->subject), 0x46120106},
        {reinterpret_cast<void**>(&leaf->tbs->subjectPublicKeyInfo), 0x46120109},
    };
    for (const auto& m : missing) {
        void* kept = *m.member;
        *m.member = nullptr;
        touch_X509_CERT(leaf.get());
        ASN1_UNIT* out = nullptr;
        EXPECT_EQ(X509_TBS_CERT_to_Seq(leaf->tbs, &out), m.code);
        EXPECT_EQ(out, nullptr);
        *m.member = kept;
    }

    // Without a TBS body the getters have nothing to give.
    Cert bare(new_X509_CERT());
    free_X509_TBS_CERT(bare->tbs);
    bare->tbs = nullptr;
    EXPECT_EQ(get_X509_version(bare.get()), 1);
    EXPECT_EQ(get_X509_serial(bare.get()), nullptr);
    EXPECT_EQ(set_X509_serial(bare.get(), get_X509_serial(leaf.get())), 0x46020049);
    Cert copy(dup_X509_CERT(bare.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->tbs, nullptr);
}

TEST(CertSetters, TimesAndAux) {
    Cert cert(new_X509_CERT());
    Time gt(makeTime(X509_TIME_GENERALIZED, "20500101000000Z"));
    ASSERT_EQ(set_X509_notAfter(cert.get(), gt.get()), 0);
    ASSERT_NE(get_X509_notAfter(cert.get()), gt.get());
    EXPECT_EQ(cmp_X509_TIME(get_X509_notAfter(cert.get()), gt.get()), 0);
    EXPECT_EQ(get_X509_notBefore(cert.get()), nullptr);

    const unsigned char id[] = {1, 2, 3};
    ASSERT_EQ(set_X509_AUX_localkey(cert.get(), id, 3), 0);
    ASSERT_EQ(set_X509_AUX_friendly(cert.get(), reinterpret_cast<const unsigned char*>("name"), 4), 0);
    int len = 0;
    unsigned char* got = get_X509_AUX_localkey(cert.get(), &len);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(Bytes(got, got + len), Bytes(id, id + 3));
    Cert copy(dup_X509_CERT(cert.get()));
    EXPECT_NE(get_X509_AUX_friendly(copy.get(), &len), nullptr);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(set_X509_AUX_localkey(cert.get(), nullptr, 0), 0);
    EXPECT_EQ(get_X509_AUX_localkey(cert.get(), &len), nullptr);
}

}  // namespace

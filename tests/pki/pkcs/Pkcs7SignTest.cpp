// PKCS#7 signing and verification: our signed data checked by openssl and
// NSS, openssl's checked by ours (and refused once tampered with), KCDSA,
// the digest-only path, and the signers' algorithms and attributes.
#include "DigestInfoForms.h"
#include "P7Helpers.h"

#include "../x509/KeyTestUtil.h"
#include <zunPKI/pkcs/pkcs7_sign.h>
#include <zunPKI/x509/rsa_param.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

using namespace p7test;
using pkitest::toHex;

constexpr int kSha256 = 672;
constexpr const char* kDataOid = "1.2.840.113549.1.7.1";

struct Signer {
    Cert cert;
    KeyInfo key;
};

Signer signer(const char* name) {
    Signer s{cert(std::string(name) + ".der"), key(std::string(name) + ".p8")};
    EXPECT_NE(s.cert, nullptr);
    EXPECT_NE(s.key, nullptr);
    return s;
}

Bytes sha256(const Bytes& data) {
    Bytes md(32);
    int len = 32;
    EXPECT_EQ(VSC_DIGEST(VSC_DIGEST_SHA256, data.data(), static_cast<int>(data.size()), md.data(), &len), 0);
    return md;
}

// The UTCTime text of now (NSS checks the certificate at the signing time).
std::string utcNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%y%m%d%H%M%SZ", &tm);
    return text;
}

// contentType, signingTime and messageDigest, added in the reverse of DER
// order (the core library's order is contentType, signingTime, messageDigest).
void addAttributes(P7_SIGNER_INFO* si, const Bytes& md, const std::string& time = utcNow()) {
    ASSERT_EQ(add_PKCS7_Signed_Attribute(si, 51, ASN1_TAG_OCTET_STRING, md.data(), static_cast<int>(md.size())), 0);
    ASSERT_EQ(add_PKCS7_Signed_Attribute(si, 52, ASN1_TAG_UTC_TIME, time.data(), static_cast<int>(time.size())), 0);
    ASSERT_EQ(add_PKCS7_Signed_Attribute(si, 50, ASN1_TAG_OBJECT_IDENTIFIER, kDataOid,
                                         static_cast<int>(std::strlen(kDataOid))),
              0);
}

int sign(P7_CONTENT_INFO* p7, const Bytes& content) {
    return sign_PKCS7(p7, reinterpret_cast<const char*>(content.data()), static_cast<int>(content.size()), 0);
}

Bytes octets(const OCTET_STRING* s) { return Bytes(s->data, s->data + s->length); }

// A signedData of content, made in the core library's order.
struct Made {
    Message p7;
    P7_SIGNER_INFO* si = nullptr;
};

Made newSigned(const Signer& s, int kind = P7_SIGN_PKCS1_V15) {
    Made m{Message(new_P7_CONTENT_INFO())};
    EXPECT_EQ(set_PKCS7_Type(m.p7.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(new_PKCS7_Content(m.p7.get(), P7_DATA), 0);
    m.si =
        add_PKCS7_Signature_withEncryptedAlgorithm(m.p7.get(), s.cert.get(), s.key->privateKey, kSha256, kind, nullptr);
    EXPECT_NE(m.si, nullptr);
    EXPECT_EQ(add_PKCS7_Certificate(m.p7.get(), s.cert.get()), 0);
    return m;
}

Bytes signContent(const Signer& s, const Bytes& content, int kind, bool attributes, bool detached) {
    Made m = newSigned(s, kind);
    if (!m.si) return {};
    if (attributes) {
        addAttributes(m.si, sha256(content));
        // The core library's encrypted identity random rides unsigned.
        EXPECT_EQ(add_PKCS7_Unauthenticated_Attribute(m.si, 836, ASN1_TAG_OCTET_STRING, "0123456789abcdef0123", 20), 0);
    }
    EXPECT_EQ(set_P7_version(m.p7.get(), 1), 0);
    EXPECT_EQ(sign(m.p7.get(), content), 0);
    if (detached) {
        P7_CONTENT_INFO* inner = signedData(m.p7.get())->contentInfo;
        free_ASN1_STRING(static_cast<ASN1_STRING*>(inner->content));
        inner->content = nullptr;
    }
    return encode(m.p7.get());
}

TEST(Pkcs7Sign, OurSignedDataVerifiesWithOpensslAndNss) {
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    NssDb nss;
    struct Case {
        const char* name;
        int kind;
        bool attributes;
        bool detached;
    } cases[] = {
        {"v1.5 attached", P7_SIGN_PKCS1_V15, true, false},
        {"v1.5 detached", P7_SIGN_PKCS1_V15, true, true},
        {"PSS attached", P7_SIGN_RSA_PSS, true, false},
        {"PSS detached", P7_SIGN_RSA_PSS, true, true},
        {"v1.5 without attributes", P7_SIGN_PKCS1_V15, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes der = signContent(s, content, c.kind, c.attributes, c.detached);
        ASSERT_FALSE(der.empty());
        zqtest::TempDir dir("p7sign");
        zqtest::writeFile(dir / "msg.der", textOf(der));
        // openssl's PKCS#7 verifier (smime) knows no PSS; its CMS one does.
        std::vector<std::string> args{c.kind == P7_SIGN_RSA_PSS ? "cms" : "smime",
                                      "-verify",
                                      "-inform",
                                      "DER",
                                      "-binary",
                                      "-CAfile",
                                      fixturePath("ca.pem"),
                                      "-in",
                                      dir / "msg.der",
                                      "-out",
                                      dir / "out.bin"};
        std::vector<std::string> nssArgs{"cmsutil", "-D", "-d", nss.db, "-i", dir / "msg.der", "-o", dir / "nss.bin"};
        if (c.detached) {
            args.insert(args.end(), {"-content", fixturePath("content.bin")});
            nssArgs.insert(nssArgs.end(), {"-c", fixturePath("content.bin")});
        }
        EXPECT_EQ(openssl(args).status, 0);
        EXPECT_EQ(zqtest::run({"cmp", dir / "out.bin", fixturePath("content.bin")}).status, 0);
        EXPECT_EQ(zqtest::run(nssArgs).status, 0);
        if (!c.detached) {
            EXPECT_EQ(pkitest::readBytes(dir / "nss.bin"), content);
        }

        // And by ours, from the bytes.
        Message back = decode(der);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, content.data(), static_cast<int>(content.size())), 0);
    }
}

TEST(Pkcs7Sign, SignedAttributesAreWrittenInDerOrder) {
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    Made m = newSigned(s);
    ASSERT_NE(m.si, nullptr);
    addAttributes(m.si, sha256(content));
    ASSERT_EQ(sign(m.p7.get(), content), 0);
    // The list itself now holds the order that was signed and is written.
    std::vector<Bytes> encodings;
    for (int i = 0; i < get_X509_ATTRIBUTES_count(m.si->authenticatedAttributes); ++i)
        encodings.push_back(
            x509test::encode(X509_ATTRIBUTE_to_Seq, get_X509_ATTRIBUTES_child(m.si->authenticatedAttributes, i)));
    ASSERT_EQ(encodings.size(), 3u);
    EXPECT_TRUE(std::is_sorted(encodings.begin(), encodings.end()));
    EXPECT_EQ(rowOf(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(m.si->authenticatedAttributes, 0))), 50);
}

TEST(Pkcs7Sign, SigningTimeIsTheOnePassedInWhateverTheZone) {
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    for (const char* zone : {"Asia/Seoul", "UTC"}) {
        SCOPED_TRACE(zone);
        pkitest::ZoneScope scope(zone);
        Made m = newSigned(s);
        ASSERT_NE(m.si, nullptr);
        addAttributes(m.si, sha256(content), "260115093000Z");
        ASSERT_EQ(sign(m.p7.get(), content), 0);
        auto r = zqtest::run({"openssl", "cms", "-cmsout", "-print", "-inform", "DER"}, textOf(encode(m.p7.get())),
                             {std::string("TZ=") + zone});
        ASSERT_EQ(r.status, 0);
        const size_t at = r.output.find("signingTime");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(r.output.find("UTCTIME:Jan 15 09:30:00 2026 GMT", at), std::string::npos) << r.output.substr(at, 200);
    }
}

TEST(Pkcs7Verify, OpensslSignedDataVerifiesWithOurs) {
    const Bytes content = fixture("content.bin");
    Cert signerCert = cert("signer.der");
    for (const char* file : {"signed-attached.der", "signed-two.der", "signed-noattr.der", "signed-stream.der",
                             "signed-pss.der", "unsorted.der", "ber-attrs.der", "ber-wire.der"}) {
        SCOPED_TRACE(file);
        Message p7 = decode(fixture(file));
        ASSERT_NE(p7, nullptr);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), 0);
        EXPECT_EQ(verify_PKCS7(p7.get(), signerCert.get(), nullptr, 0), 0);
    }
    // Signed attributes carried in BER but signed over their DER, as the
    // standards have it: openssl checks them over the DER, and so must we.
    EXPECT_EQ(openssl({"smime", "-verify", "-inform", "DER", "-binary", "-CAfile", fixturePath("ca.pem"), "-in",
                       fixturePath("ber-wire.der"), "-out", "/dev/null"})
                  .status,
              0);
    Message detached = decode(fixture("signed-detached.der"));
    ASSERT_NE(detached, nullptr);
    EXPECT_EQ(verify_PKCS7(detached.get(), nullptr, content.data(), static_cast<int>(content.size())), 0);
    EXPECT_EQ(signedData(detached.get())->detached, 1);
    EXPECT_EQ(verify_PKCS7(detached.get(), nullptr, nullptr, 0), 1);
    // Only the signatures over the signed attributes (the caller has the digest).
    EXPECT_EQ(verify_PKCS7(detached.get(), nullptr, nullptr, -1), 0);
}

// Content given for a message that carries its own is what the caller asks
// about: openssl checks the given bytes, so one that differs must not pass.
TEST(Pkcs7Verify, GivenContentOtherThanTheCarriedOneFails) {
    const Bytes content = fixture("content.bin");
    Bytes other = content;
    other.back() ^= 1;
    Cert signerCert = cert("signer.der");
    for (const char* file : {"signed-attached.der", "signed-noattr.der"}) {
        SCOPED_TRACE(file);
        Message p7 = decode(fixture(file));
        ASSERT_NE(p7, nullptr);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, content.data(), static_cast<int>(content.size())), 0);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, other.data(), static_cast<int>(other.size())), 0x4b21005e);
        EXPECT_EQ(verify_PKCS7(p7.get(), signerCert.get(), other.data(), static_cast<int>(other.size())), 0x4b21005e);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, content.data(), static_cast<int>(content.size()) - 1), 0x4b21005e);
    }
}

// NSS writes its messages in BER (indefinite lengths, the content as a
// constructed OCTET STRING).
TEST(Pkcs7Verify, NssSignedDataVerifiesWithOurs) {
    const Bytes content = fixture("content.bin");
    NssDb nss;
    nss.holdKey("signer");
    for (bool detached : {false, true}) {
        SCOPED_TRACE(detached ? "detached" : "attached");
        zqtest::TempDir dir("p7nsssign");
        std::vector<std::string> args{"cmsutil", "-S",         "-d",     nss.db, "-N",
                                      "signer",  "-H",         "SHA256", "-i",   fixturePath("content.bin"),
                                      "-o",      dir / "m.der"};
        if (detached) args.push_back("-T");
        ASSERT_EQ(zqtest::run(args).status, 0);
        Message p7 = decode(pkitest::readBytes(dir / "m.der"));
        ASSERT_NE(p7, nullptr);
        if (detached) {
            EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), 1);
            EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, content.data(), static_cast<int>(content.size())), 0);
        } else {
            EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), 0);
            EXPECT_EQ(pkitest::toHex(octets(static_cast<OCTET_STRING*>(signedData(p7.get())->contentInfo->content))),
                      pkitest::toHex(content));
        }
    }
}

TEST(Pkcs7Verify, TamperedMessagesFailWithACode) {
    const Bytes content = fixture("content.bin");
    Cert other = cert("other.der");
    struct Case {
        const char* name;
        const char* file;
        void (*tamper)(P7_CONTENT_INFO*);
        const X509_CERT* signer;
        PKI_ERROR rc;
    } cases[] = {
        {"certificates stripped", "signed-attached.der",
         [](P7_CONTENT_INFO* p7) {
             free_X509_CERTIFICATES(signedData(p7)->certificates);
             signedData(p7)->certificates = nullptr;
         },
         nullptr, 1},
        {"signer removed", "signed-attached.der",
         [](P7_CONTENT_INFO* p7) {
             free_P7_SIGNER_INFO(static_cast<P7_SIGNER_INFO*>(remove_STACK_value(signedData(p7)->signerInfos, 0)));
         },
         nullptr, 0x4b1b002b},
        {"content byte changed", "signed-attached.der",
         [](P7_CONTENT_INFO* p7) { static_cast<OCTET_STRING*>(signedData(p7)->contentInfo->content)->data[5] ^= 1; },
         nullptr, 0x4b21005e},
        {"content byte changed, no attributes", "signed-noattr.der",
         [](P7_CONTENT_INFO* p7) { static_cast<OCTET_STRING*>(signedData(p7)->contentInfo->content)->data[5] ^= 1; },
         nullptr, VSC_FAIL},
        {"signature byte changed", "signed-attached.der",
         [](P7_CONTENT_INFO* p7) { signerAt(p7, 0)->encryptedDigest->data[7] ^= 1; }, nullptr, VSC_FAIL},
        {"one of two signatures changed", "signed-two.der",
         [](P7_CONTENT_INFO* p7) { signerAt(p7, 1)->encryptedDigest->data[7] ^= 1; }, nullptr, VSC_FAIL},
        {"a signer certificate that signed nothing", "signed-attached.der", [](P7_CONTENT_INFO*) {}, other.get(), 1},
        {"no messageDigest attribute", "no-md.der", [](P7_CONTENT_INFO*) {}, nullptr, 0x4b21002b},
        {"messageDigest of 16 bytes", "short-md.der", [](P7_CONTENT_INFO*) {}, nullptr, 0x4b21005e},
        {"certificates only", "certs-only.der", [](P7_CONTENT_INFO*) {}, nullptr, 0x4b1b002b},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Message p7 = decode(fixture(c.file));
        ASSERT_NE(p7, nullptr);
        c.tamper(p7.get());
        EXPECT_EQ(verify_PKCS7(p7.get(), c.signer, nullptr, 0), c.rc);
    }
    // Not signed data at all.
    Message env = decode(fixture("enveloped-aes256.der"));
    EXPECT_EQ(verify_PKCS7(env.get(), nullptr, nullptr, 0), 0x4b1b0048);
    EXPECT_EQ(verify_PKCS7(nullptr, nullptr, nullptr, 0), 0x4b1b0049);
}

// A v1.5 encryptedDigest verifies only over the DER DigestInfo of the
// content's digest: the same digest in another byte form (openssl pkeyutl
// signed each raw) is refused, as openssl refuses it.
TEST(Pkcs7Verify, OnlyTheDerDigestInfoVerifies) {
    Message p7 = decode(fixture("signed-noattr.der"));
    ASSERT_NE(p7, nullptr);
    const auto* content = static_cast<const OCTET_STRING*>(signedData(p7.get())->contentInfo->content);
    const Bytes md = sha256(Bytes(content->data, content->data + content->length));
    for (const auto& form : zqtest::sha256DigestInfoForms(textOf(md))) {
        SCOPED_TRACE(form.name);
        const bool der = std::string(form.name) == "DER";
        const std::string sig = zqtest::signRawBlock(fixturePath("signer.key"), form.bytes);
        ASSERT_EQ(sig.size(), 256u);
        EXPECT_EQ(zqtest::opensslVerifiesSha256(fixturePath("signer.key"), textOf(md), sig), der);
        OCTET_STRING* value = signerAt(p7.get(), 0)->encryptedDigest;
        ASSERT_EQ(
            set_ASN1_STRING_value(value, ASN1_TAG_OCTET_STRING, reinterpret_cast<const unsigned char*>(sig.data()),
                                  static_cast<int>(sig.size())),
            0);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), der ? 0 : VSC_FAIL);
    }
}

// A SignerInfo's signature algorithm lies outside its signature, so anyone
// on the way may change the salt length it states: only the length the
// signature was made with verifies, 0 included (openssl agrees).
TEST(Pkcs7Verify, PssSaltLengthIsTheStatedOne) {
    for (int made : {0, 20, 32}) {
        for (int stated : {0, 20, 32}) {
            const std::string file = "pss-salt" + std::to_string(made) + "-stated" + std::to_string(stated) + ".der";
            SCOPED_TRACE(file);
            Message p7 = decode(fixture(file));
            ASSERT_NE(p7, nullptr);
            const bool same = made == stated;
            EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), same ? 0 : VSC_FAIL);
            EXPECT_EQ(openssl({"cms", "-verify", "-inform", "DER", "-binary", "-CAfile", fixturePath("ca.pem"), "-in",
                               fixturePath(file), "-out", "/dev/null"})
                              .status == 0,
                      same);
        }
    }
    // Lengths past one octet are exact too (they were taken as "any"), and
    // one the crypto library cannot carry is refused, not widened.
    struct Case {
        Bytes saltLength;
        PKI_ERROR rc;
    } cases[] = {{{0xa2, 0x04, 0x02, 0x02, 0x01, 0x20}, VSC_FAIL},
                 {{0xa2, 0x05, 0x02, 0x03, 0x01, 0x11, 0x70}, 0x4b21002b}};
    for (const Case& c : cases) {
        Message p7 = decode(fixture("pss-salt32-stated32.der"));
        ASSERT_NE(p7, nullptr);
        ASN1_STRING* params = signerAt(p7.get(), 0)->digestEncryptionAlgorithm->parameters;
        ASSERT_NE(params, nullptr);
        Bytes contents(params->data, params->data + params->length);
        const Bytes salt32{0xa2, 0x03, 0x02, 0x01, 0x20};
        ASSERT_TRUE(std::equal(salt32.rbegin(), salt32.rend(), contents.rbegin()));
        contents.resize(contents.size() - salt32.size());
        contents.insert(contents.end(), c.saltLength.begin(), c.saltLength.end());
        ASSERT_EQ(set_ASN1_STRING_value(params, 0x30, contents.data(), static_cast<int>(contents.size())), 0);
        EXPECT_EQ(verify_PKCS7(p7.get(), nullptr, nullptr, 0), c.rc);
    }
}

// Signing under given PSS parameters writes exactly the salt they state:
// a stated 0 is no salt, not the digest's length.
TEST(Pkcs7Sign, PssSaltLengthIsTheStatedOne) {
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    for (int salt : {0, 20, 32, 64}) {
        SCOPED_TRACE(salt);
        std::unique_ptr<RSASSA_PSS_PARAM, FreeWith<free_RSASSA_PSS_PARAM>> pss(new_RSASSA_PSS_PARAM());
        ASSERT_EQ(set_RSASSA_PSS_PARAM_hashAlgorithm(pss.get(), kSha256), 0);
        ASSERT_EQ(set_RSASSA_PSS_PARAM_maskGenAlgorithm(pss.get(), 833), 0);
        ASSERT_EQ(set_RSASSA_PSS_PARAM_saltLength(pss.get(), salt), 0);
        Message p7(new_P7_CONTENT_INFO());
        ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_SIGNED_DATA_TYPE), 0);
        ASSERT_EQ(new_PKCS7_Content(p7.get(), P7_DATA), 0);
        P7_SIGNER_INFO* si = add_PKCS7_Signature_withEncryptedAlgorithm(p7.get(), s.cert.get(), s.key->privateKey,
                                                                        kSha256, P7_SIGN_RSA_PSS, pss.get());
        ASSERT_NE(si, nullptr);
        ASSERT_EQ(add_PKCS7_Certificate(p7.get(), s.cert.get()), 0);
        addAttributes(si, sha256(content));
        ASSERT_EQ(set_P7_version(p7.get(), 1), 0);
        ASSERT_EQ(sign(p7.get(), content), 0);
        zqtest::TempDir dir("p7pss");
        zqtest::writeFile(dir / "msg.der", textOf(encode(p7.get())));
        EXPECT_EQ(openssl({"cms", "-verify", "-inform", "DER", "-binary", "-CAfile", fixturePath("ca.pem"), "-in",
                           dir / "msg.der", "-out", "/dev/null"})
                      .status,
                  0);
        Message back = decode(encode(p7.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0);
    }
}

TEST(Pkcs7Sign, DigestOnlySignatureOverTheCallersMessageDigest) {
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    Made m = newSigned(s);
    ASSERT_NE(m.si, nullptr);
    addAttributes(m.si, sha256(content));
    ASSERT_EQ(set_P7_version(m.p7.get(), 1), 0);
    ASSERT_EQ(sign_PKCS7(m.p7.get(), nullptr, 0, 1), 0);
    EXPECT_EQ(signedData(m.p7.get())->contentInfo->content, nullptr);
    Message back = decode(encode(m.p7.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, -1), 0);
    EXPECT_EQ(verify_PKCS7(back.get(), nullptr, content.data(), static_cast<int>(content.size())), 0);
    Bytes wrong = content;
    wrong[0] ^= 1;
    EXPECT_EQ(verify_PKCS7(back.get(), nullptr, wrong.data(), static_cast<int>(wrong.size())), 0x4b21005e);
    zqtest::TempDir dir("p7md");
    zqtest::writeFile(dir / "msg.der", textOf(encode(m.p7.get())));
    EXPECT_EQ(openssl({"smime", "-verify", "-inform", "DER", "-binary", "-CAfile", fixturePath("ca.pem"), "-in",
                       dir / "msg.der", "-content", fixturePath("content.bin"), "-out", "/dev/null"})
                  .status,
              0);

    // Nothing to cover: no content and no signed attributes; signed
    // attributes without messageDigest.
    Made bare = newSigned(s);
    EXPECT_EQ(sign_PKCS7(bare.p7.get(), nullptr, 0, 1), 0x4b1c0048);
    EXPECT_EQ(bare.si->encryptedDigest, nullptr);
    Made noDigest = newSigned(s);
    ASSERT_EQ(add_PKCS7_Signed_Attribute(noDigest.si, 50, ASN1_TAG_OBJECT_IDENTIFIER, kDataOid, 20), 0);
    EXPECT_EQ(sign_PKCS7(noDigest.p7.get(), nullptr, 0, 1), 0x4b1c002b);
    // A messageDigest that is not the content's.
    Made mismatch = newSigned(s);
    addAttributes(mismatch.si, sha256(wrong));
    EXPECT_EQ(sign(mismatch.p7.get(), content), 0x4b1c005e);
}

TEST(Pkcs7Sign, SignersAlgorithmsAndIdempotence) {
    const Bytes content = fixture("content.bin");
    const char* data = reinterpret_cast<const char*>(content.data());
    const int len = static_cast<int>(content.size());
    Signer a = signer("signer"), b = signer("other");

    // Without attributes the SHA-256 row stays; with them (version 1) the
    // label becomes rsaEncryption; PSS keeps its own.
    Made plain = newSigned(a);
    EXPECT_EQ(rowOf(plain.si->digestEncryptionAlgorithm->algorithm), 668);
    ASSERT_EQ(sign_PKCS7(plain.p7.get(), data, len, 0), 0);
    EXPECT_EQ(rowOf(plain.si->digestEncryptionAlgorithm->algorithm), 668);
    Made attrs = newSigned(a);
    addAttributes(attrs.si, sha256(content));
    ASSERT_EQ(sign_PKCS7(attrs.p7.get(), data, len, 0), 0);
    EXPECT_EQ(rowOf(attrs.si->digestEncryptionAlgorithm->algorithm), 6);
    Made pss = newSigned(a, P7_SIGN_RSA_PSS);
    addAttributes(pss.si, sha256(content));
    ASSERT_EQ(sign_PKCS7(pss.p7.get(), data, len, 0), 0);
    EXPECT_EQ(rowOf(pss.si->digestEncryptionAlgorithm->algorithm), 835);

    // A second signer: its own digest algorithm entry, and only it is signed
    // by the second call; the content set first stays.
    const Bytes firstSignature = octets(attrs.si->encryptedDigest);
    P7_SIGNER_INFO* second = add_PKCS7_Signature(attrs.p7.get(), b.cert.get(), b.key->privateKey, kSha256);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(add_PKCS7_Certificate(attrs.p7.get(), b.cert.get()), 0);
    addAttributes(second, sha256(content));
    ASSERT_EQ(sign_PKCS7(attrs.p7.get(), "other content", 13, 0), 0);
    EXPECT_EQ(get_STACK_count(signedData(attrs.p7.get())->digestAlgorithms), 2);
    EXPECT_EQ(cmp_X509_ALGO_IDENTIFIER(
                  static_cast<X509_ALGO_IDENTIFIER*>(get_STACK_value(signedData(attrs.p7.get())->digestAlgorithms, 0)),
                  static_cast<X509_ALGO_IDENTIFIER*>(get_STACK_value(signedData(attrs.p7.get())->digestAlgorithms, 1))),
              0);
    EXPECT_EQ(octets(attrs.si->encryptedDigest), firstSignature);
    Message back = decode(encode(attrs.p7.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0);
    EXPECT_EQ(verify_PKCS7(back.get(), b.cert.get(), nullptr, 0), 0);

    // A key that is not the certificate's, and refusals of the signing steps.
    EXPECT_EQ(add_PKCS7_Signature(attrs.p7.get(), a.cert.get(), b.key->privateKey, kSha256), nullptr);
    EXPECT_EQ(get_STACK_count(signedData(attrs.p7.get())->signerInfos), 2);
    EXPECT_EQ(sign_PKCS7(nullptr, data, len, 0), 0x4b1c0049);
    Message env(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(env.get(), P7_ENVELOPED_DATA_TYPE), 0);
    EXPECT_EQ(sign_PKCS7(env.get(), data, len, 0), 0x4b1c0048);
    Message empty(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(empty.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(sign_PKCS7(empty.get(), data, len, 0), 0x4b1c002b);
    Made noData = newSigned(a);
    EXPECT_EQ(sign_PKCS7(noData.p7.get(), nullptr, 0, 0), 0x4b1c0049);
    Made noKey{Message(new_P7_CONTENT_INFO())};
    ASSERT_EQ(set_PKCS7_Type(noKey.p7.get(), P7_SIGNED_DATA_TYPE), 0);
    ASSERT_EQ(new_PKCS7_Content(noKey.p7.get(), P7_DATA), 0);
    ASSERT_NE(add_PKCS7_Signature(noKey.p7.get(), a.cert.get(), nullptr, kSha256), nullptr);
    EXPECT_EQ(sign_PKCS7(noKey.p7.get(), data, len, 0), 0x4b1c0048);
    Made noInner{Message(new_P7_CONTENT_INFO())};
    ASSERT_EQ(set_PKCS7_Type(noInner.p7.get(), P7_SIGNED_DATA_TYPE), 0);
    ASSERT_NE(add_PKCS7_Signature(noInner.p7.get(), a.cert.get(), a.key->privateKey, kSha256), nullptr);
    EXPECT_EQ(sign_PKCS7(noInner.p7.get(), data, len, 0), 0x4b1c002b);
}

// KCDSA keys of the standard's worked examples on a certificate of our own:
// the label names the digest signed with; our verifier checks them.
TEST(Pkcs7Sign, KcdsaRoundTrip) {
    const Bytes content = fixture("content.bin");
    struct Case {
        int vector;
        int digestRow;
        int label;
    } cases[] = {{4, 781, 783}, {2, kSha256, 841}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto v = keytest::kcdsaVector(c.vector);
        keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
            x(keytest::hex(v.at("X")));
        KCDSA_UNIT* unit = VSC_New_KCDSA();
        ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
        keytest::Key key(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
        keytest::PubKey pub(new_X509_PUBKEY());
        ASSERT_EQ(set_X509_PUBKEY_kcdsa(pub.get(), unit), 0);
        Cert kcdsaCert = cert("signer.der");
        ASSERT_EQ(set_X509_pub_key(kcdsaCert.get(), pub.get()), 0);

        Message p7(new_P7_CONTENT_INFO());
        ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_SIGNED_DATA_TYPE), 0);
        ASSERT_EQ(new_PKCS7_Content(p7.get(), P7_DATA), 0);
        P7_SIGNER_INFO* si = add_PKCS7_Signature(p7.get(), kcdsaCert.get(), key.get(), c.digestRow);
        ASSERT_NE(si, nullptr);
        EXPECT_EQ(rowOf(si->digestEncryptionAlgorithm->algorithm), c.label);
        ASSERT_EQ(add_PKCS7_Certificate(p7.get(), kcdsaCert.get()), 0);
        Bytes md(VSC_Get_DIGEST_Length(get_DigestID_from_OID(c.digestRow)));
        int mdLen = static_cast<int>(md.size());
        ASSERT_EQ(VSC_DIGEST(get_DigestID_from_OID(c.digestRow), content.data(), static_cast<int>(content.size()),
                             md.data(), &mdLen),
                  0);
        addAttributes(si, md);
        ASSERT_EQ(sign(p7.get(), content), 0);
        EXPECT_EQ(rowOf(si->digestEncryptionAlgorithm->algorithm), c.label);

        Message back = decode(encode(p7.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0);
        OCTET_STRING* sig = signerAt(back.get(), 0)->encryptedDigest;
        // The same value with a long-form length is not its DER: refused.
        const Bytes der(sig->data, sig->data + sig->length);
        Bytes longForm{0x30, 0x81};
        longForm.insert(longForm.end(), der.begin() + 1, der.end());
        ASSERT_EQ(set_ASN1_STRING_value(sig, ASN1_TAG_OCTET_STRING, longForm.data(), static_cast<int>(longForm.size())),
                  0);
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0x4b21000e);
        ASSERT_EQ(set_ASN1_STRING_value(sig, ASN1_TAG_OCTET_STRING, der.data(), static_cast<int>(der.size())), 0);
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0);
        sig->data[sig->length - 1] ^= 1;
        EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), VSC_FAIL);
    }
}

TEST(Pkcs7Digest, DigestedDataVerifiesWithOpenssl) {
    const Bytes content = fixture("content.bin");
    Message p7(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(p7.get(), P7_DIGESTED_DATA_TYPE), 0);
    ASSERT_EQ(digest_PKCS7(p7.get(), VSC_DIGEST_SHA256, content.data(), static_cast<int>(content.size())), 0);
    const Bytes der = encode(p7.get());
    auto r = openssl({"cms", "-digest_verify", "-inform", "DER", "-binary"}, textOf(der));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(bytesOf(r.output), content);
    // openssl's own reads and is the same but for the NULL parameters of its digest algorithm.
    Message theirs = decode(fixture("digested.der"));
    ASSERT_NE(theirs, nullptr);
    const auto* dd = static_cast<const P7_DIGESTED_DATA*>(theirs->content);
    const auto* ours = static_cast<const P7_DIGESTED_DATA*>(p7->content);
    EXPECT_EQ(cmp_ASN1_STRING(dd->digest, ours->digest), 0);
    EXPECT_EQ(cmp_P7_CONTENT_INFO(dd->contentInfo, ours->contentInfo), 0);
    EXPECT_EQ(digest_PKCS7(p7.get(), 0x12345678, content.data(), static_cast<int>(content.size())), 1);
    Message signedMsg(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(signedMsg.get(), P7_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(digest_PKCS7(signedMsg.get(), VSC_DIGEST_SHA256, content.data(), static_cast<int>(content.size())), 1);
}

}  // namespace

namespace {

TEST(Pkcs7Sign, CrlsTravelWithTheMessage) {
    using p7test::fixture;
    const Bytes content = fixture("content.bin");
    Signer s = signer("signer");
    Made m = newSigned(s);
    ASSERT_NE(m.si, nullptr);
    X509_CRL* crl = x509test::decodeWith<std::unique_ptr<X509_CRL, x509test::FreeWith<free_X509_CRL>>>(
                        Seq_to_X509_CRL, fixture("crl.der"), nullptr)
                        .release();
    ASSERT_NE(crl, nullptr);
    ASSERT_EQ(add_PKCS7_Crl(m.p7.get(), crl), 0);  // the message owns it now
    ASSERT_EQ(sign(m.p7.get(), content), 0);
    const Bytes der = encode(m.p7.get());
    auto r = openssl({"pkcs7", "-inform", "DER", "-print_certs", "-noout", "-text"}, textOf(der));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("Serial Number: 1002"), std::string::npos) << r.output;
    Message back = decode(der);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(get_STACK_count(signedData(back.get())->crls), 1);
    EXPECT_EQ(toHex(x509test::encode(X509_CRL_to_Seq,
                                     static_cast<const X509_CRL*>(get_STACK_value(signedData(back.get())->crls, 0)))),
              toHex(fixture("crl.der")));
    EXPECT_EQ(verify_PKCS7(back.get(), nullptr, nullptr, 0), 0);

    // Refused by a message that carries none: the CRL is freed all the same.
    Message env(new_P7_CONTENT_INFO());
    ASSERT_EQ(set_PKCS7_Type(env.get(), P7_ENVELOPED_DATA_TYPE), 0);
    X509_CRL* refused = new_X509_CRL();
    EXPECT_EQ(add_PKCS7_Crl(env.get(), refused), 1);
}

}  // namespace

// CMS: signed data made here checked by openssl cms and NSS's cmsutil,
// openssl's signed messages (attached, detached, key identifier, SHA-1, PSS,
// without attributes, streamed) verified here and refused once tampered,
// KCDSA through the PKCS#7 engine, enveloped data made here opened by
// openssl and cmsutil and theirs opened here, streaming, and the edge cases
// of the records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "../x509/KeyTestUtil.h"
#include "../x509/X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/cms.h>
#include <zunPKI/pkcs/cms_env.h>
#include <zunPKI/pkcs/cms_sign.h>
#include <zunPKI/pkcs/pkcs8.h>

using pkitest::Bytes;
using x509test::decodeWith;
using x509test::encode;
using x509test::FreeWith;

namespace {

using Cms = std::unique_ptr<CMS_CONTENT_INFO, FreeWith<free_CMS_CONTENT_INFO>>;
using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;
using KeyInfo = std::unique_ptr<P8_PRIV_KEY_INFO, FreeWith<free_P8_PRIV_KEY_INFO>>;
using Algorithm = std::unique_ptr<X509_ALGO_IDENTIFIER, FreeWith<free_X509_ALGO_IDENTIFIER>>;

constexpr int kRowSha1 = 64;
constexpr int kRowSha256 = 672;
constexpr int kRowContentType = 50;
constexpr int kRowMessageDigest = 51;
constexpr int kRowSigningTime = 52;
constexpr int kRowSeedCbc = 777;

const std::string& fx() {
    static zqtest::TempDir dir("cmsfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_cms_fixtures.sh", dir);
    return path;
}
std::string fxPath(const std::string& name) {
    EXPECT_FALSE(fx().empty()) << "fixture script failed";
    return fx() + "/" + name;
}
Bytes fxBytes(const std::string& name) { return pkitest::readBytes(fxPath(name)); }
Cert cert(const std::string& name) { return decodeWith<Cert>(Seq_to_X509_CERT, fxBytes(name + ".der"), nullptr); }
KeyInfo key(const std::string& name) {
    return decodeWith<KeyInfo>(Seq_to_P8_PRIV_KEY_INFO, fxBytes(name + ".p8"), nullptr);
}

Cms decodeCms(const Bytes& der, PKI_ERROR* rc = nullptr) { return decodeWith<Cms>(Seq_to_CMS_CONTENT_INFO, der, rc); }
Bytes encodeCms(const CMS_CONTENT_INFO* cms) { return encode(CMS_CONTENT_INFO_to_Seq, cms); }

std::string textOf(const Bytes& b) { return std::string(b.begin(), b.end()); }

zqtest::RunResult openssl(std::vector<std::string> args) {
    args.insert(args.begin(), "openssl");
    return zqtest::run(args, {}, {"OPENSSL_CONF=/dev/null"});
}

CMS_SIGNED_DATA* signedData(const CMS_CONTENT_INFO* cms) { return static_cast<CMS_SIGNED_DATA*>(cms->content); }
CMS_SIGNER_INFO* signerAt(const CMS_CONTENT_INFO* cms, int i) {
    return static_cast<CMS_SIGNER_INFO*>(get_STACK_value(signedData(cms)->signerInfos, i));
}
int rowOf(const OBJECT_IDENTIFIER* oid) { return oid ? index_from_OBJECT_IDENTIFIER(oid) : 0; }

// An NSS database under a temporary folder that trusts the fixture CA and
// holds the signer's key.
struct NssDb {
    zqtest::TempDir dir{"cmsnss"};
    std::string db = "sql:" + dir.path();
    NssDb() {
        EXPECT_EQ(zqtest::run({"certutil", "-N", "-d", db, "--empty-password"}).status, 0);
        EXPECT_EQ(zqtest::run({"certutil", "-A", "-d", db, "-n", "ca", "-t", "CT,C,C", "-i", fxPath("ca.der")}).status,
                  0);
        const std::string p12 = dir / "signer.p12";
        EXPECT_EQ(openssl({"pkcs12", "-export", "-in", fxPath("signer.pem"), "-inkey", fxPath("signer.key"), "-name",
                           "signer", "-passout", "pass:pw", "-out", p12})
                      .status,
                  0);
        EXPECT_EQ(zqtest::run({"pk12util", "-i", p12, "-d", db, "-W", "pw"}).status, 0);
    }
};

// ===========================================================================
// Signed data made here

struct SignSpec {
    int flags = 0;  // CMS_SIGNER_BY_KEY_IDENTIFIER
    int kind = CMS_SIGN_PKCS1_V15;
    int digestRow = kRowSha256;
    bool detached = false;
};

// The digest of the bytes under a digest row.
Bytes digestOf(int row, const Bytes& content) {
    unsigned char md[VSC_MAX_DIGEST_LENGTH];
    int n = sizeof md;
    EXPECT_EQ(VSC_DIGEST(get_DigestID_from_OID(row), content.data(), static_cast<int>(content.size()), md, &n), 0);
    return Bytes(md, md + n);
}

// A signedData in the core library's order: type, content, signer,
// certificate, contentType, signingTime and messageDigest, version, sign.
Cms signHere(const Bytes& content, const X509_CERT* signer, const ASYMMETRIC_KEY* key, const SignSpec& s) {
    Cms cms(new_CMS_CONTENT_INFO());
    EXPECT_EQ(set_CMS_Type(cms.get(), CMS_SIGNED_DATA_TYPE), 0);
    ENCAPSULATED_CONTENT_INFO* eci = new_ENCAPSULATED_CONTENT_INFO();
    eci->eContentType = index_to_OBJECT_IDENTIFIER(CMS_DATA);
    if (!s.detached) eci->eContent = new_OCTET_STRING(content.data(), static_cast<int>(content.size()));
    EXPECT_EQ(set_ENCAPSULATED_CONTENT_INFO(cms.get(), eci), 0);
    CMS_SIGNER_INFO* si = add_CMS_Signature(cms.get(), signer, key, s.flags, s.digestRow, s.kind, nullptr);
    EXPECT_NE(si, nullptr);
    if (!si) return nullptr;
    EXPECT_EQ(add_CMS_Certificate(cms.get(), signer), 0);
    const char* data = "1.2.840.113549.1.7.1";
    EXPECT_EQ(add_CMS_Signed_Attribute(si, kRowContentType, ASN1_TAG_OBJECT_IDENTIFIER, data,
                                       static_cast<int>(std::strlen(data))),
              0);
    // Now: NSS checks the certificate's validity at the signing time.
    char now[16];
    const std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::strftime(now, sizeof now, "%y%m%d%H%M%SZ", &utc);
    EXPECT_EQ(add_CMS_Signed_Attribute(si, kRowSigningTime, ASN1_TAG_UTC_TIME, now, 13), 0);
    const Bytes md = digestOf(s.digestRow, content);
    EXPECT_EQ(
        add_CMS_Signed_Attribute(si, kRowMessageDigest, ASN1_TAG_OCTET_STRING, md.data(), static_cast<int>(md.size())),
        0);
    EXPECT_EQ(set_CMS_version(cms.get(), s.flags & CMS_SIGNER_BY_KEY_IDENTIFIER ? 3 : 1), 0);
    EXPECT_EQ(sign_CMS(cms.get()), 0);
    return cms;
}

TEST(CmsSigned, MadeHerePassesOpensslAndNss) {
    const Bytes content = fxBytes("content.bin");
    Cert signer = cert("signer");
    KeyInfo k = key("signer");
    NssDb nss;
    struct Case {
        const char* name;
        SignSpec spec;
        int version;
    } cases[] = {
        {"issuer and serial, v1.5", {0, CMS_SIGN_PKCS1_V15}, 1},
        {"key identifier, v1.5", {CMS_SIGNER_BY_KEY_IDENTIFIER, CMS_SIGN_PKCS1_V15}, 3},
        {"issuer and serial, PSS", {0, CMS_SIGN_RSA_PSS}, 1},
        {"key identifier, PSS", {CMS_SIGNER_BY_KEY_IDENTIFIER, CMS_SIGN_RSA_PSS}, 3},
        {"detached", {0, CMS_SIGN_PKCS1_V15, kRowSha256, true}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cms cms = signHere(content, signer.get(), k->privateKey, c.spec);
        ASSERT_NE(cms, nullptr);
        const Bytes der = encodeCms(cms.get());
        ASSERT_FALSE(der.empty());
        zqtest::TempDir dir("cmssign");
        zqtest::writeFile(dir / "m.der", textOf(der));
        std::vector<std::string> args{"cms",         "-verify", "-inform",        "DER",
                                      "-binary",     "-CAfile", fxPath("ca.pem"), "-in",
                                      dir / "m.der", "-out",    dir / "out.bin"};
        std::vector<std::string> nssArgs{"cmsutil", "-D", "-d", nss.db, "-i", dir / "m.der", "-o", dir / "nss.bin"};
        if (c.spec.detached) {
            args.insert(args.end(), {"-content", fxPath("content.bin")});
            nssArgs.insert(nssArgs.end(), {"-c", fxPath("content.bin")});
        }
        auto r = openssl(args);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(pkitest::readBytes(dir / "out.bin"), content);
        r = zqtest::run(nssArgs);
        EXPECT_EQ(r.status, 0) << r.output;
        if (!c.spec.detached) EXPECT_EQ(pkitest::readBytes(dir / "nss.bin"), content);

        // The SignerInfo's version and sid as written.
        const std::string printed =
            openssl({"cms", "-cmsout", "-print", "-inform", "DER", "-in", dir / "m.der"}).output;
        EXPECT_NE(printed.find(c.version == 3 ? "subjectKeyIdentifier" : "issuerAndSerialNumber"), std::string::npos);
        if (c.spec.kind == CMS_SIGN_RSA_PSS) {
            // The parameters name what was done: SHA-256, MGF1 with SHA-256, a 32-byte salt.
            const size_t at = printed.find("rsassaPss");
            ASSERT_NE(at, std::string::npos) << printed;
            const std::string params = printed.substr(at, 1200);
            EXPECT_NE(params.find(":sha256"), std::string::npos) << params;
            EXPECT_NE(params.find(":mgf1"), std::string::npos) << params;
            EXPECT_NE(params.find("INTEGER           :20"), std::string::npos) << params;
        }

        // And here, from the bytes.
        Cms back = decodeCms(der);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_CMS(back.get(), nullptr, c.spec.detached ? content.data() : nullptr,
                             c.spec.detached ? static_cast<int>(content.size()) : 0),
                  0);
        EXPECT_EQ(verify_CMS(back.get(), signer.get(), content.data(), static_cast<int>(content.size())), 0);
        EXPECT_EQ(encodeCms(back.get()), der);
    }
}

// Signed attributes added in any order are signed and written in DER order.
TEST(CmsSigned, AttributesSignedInDerOrder) {
    const Bytes content = fxBytes("content.bin");
    Cert signer = cert("signer");
    KeyInfo k = key("signer");
    Cms cms = signHere(content, signer.get(), k->privateKey, {});
    ASSERT_NE(cms, nullptr);
    const X509_ATTRIBUTES* attrs = signerAt(cms.get(), 0)->signedAttrs;
    // Added as contentType, signingTime, messageDigest; by their encodings
    // (30 18 .., 30 1c .., 30 2f ..) the same order, and openssl's.
    ASSERT_EQ(get_X509_ATTRIBUTES_count(attrs), 3);
    EXPECT_EQ(rowOf(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(attrs, 0))), kRowContentType);
    EXPECT_EQ(rowOf(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(attrs, 1))), kRowSigningTime);
    EXPECT_EQ(rowOf(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(attrs, 2))), kRowMessageDigest);
    // Added in another order, they are signed and written in that one.
    Cms reordered(new_CMS_CONTENT_INFO());
    ASSERT_EQ(set_CMS_Type(reordered.get(), CMS_SIGNED_DATA_TYPE), 0);
    ASSERT_EQ(set_Content_Info(reordered.get(), content.data(), static_cast<int>(content.size()), 0), 0);
    CMS_SIGNER_INFO* si =
        add_CMS_Signature(reordered.get(), signer.get(), k->privateKey, 0, kRowSha256, CMS_SIGN_PKCS1_V15, nullptr);
    ASSERT_NE(si, nullptr);
    ASSERT_EQ(add_CMS_Certificate(reordered.get(), signer.get()), 0);
    const Bytes md = digestOf(kRowSha256, content);
    ASSERT_EQ(
        add_CMS_Signed_Attribute(si, kRowMessageDigest, ASN1_TAG_OCTET_STRING, md.data(), static_cast<int>(md.size())),
        0);
    ASSERT_EQ(add_CMS_Signed_Attribute(si, kRowContentType, ASN1_TAG_OBJECT_IDENTIFIER, "1.2.840.113549.1.7.1", 20), 0);
    ASSERT_EQ(sign_CMS(reordered.get()), 0);
    EXPECT_EQ(rowOf(get_X509_ATTRIBUTE_OID(get_X509_ATTRIBUTES_child(si->signedAttrs, 0))), kRowContentType);
    zqtest::TempDir dir("cmsorder");
    zqtest::writeFile(dir / "m.der", textOf(encodeCms(reordered.get())));
    auto r = openssl({"cms", "-verify", "-inform", "DER", "-binary", "-CAfile", fxPath("ca.pem"), "-in", dir / "m.der",
                      "-out", dir / "out.bin"});
    EXPECT_EQ(r.status, 0) << r.output;
}

// ===========================================================================
// openssl's signed messages

TEST(CmsSigned, OpensslMessagesVerify) {
    const Bytes content = fxBytes("content.bin");
    Cert signer = cert("signer");
    for (const char* file : {"cms-attached.der", "cms-keyid.der", "cms-sha1.der", "cms-pss.der", "cms-noattr.der",
                             "cms-stream.der", "cms-two.der", "cms-detached.der"}) {
        SCOPED_TRACE(file);
        PKI_ERROR rc;
        Cms cms = decodeCms(fxBytes(file), &rc);
        ASSERT_EQ(rc, 0);
        const bool detached = std::string(file) == "cms-detached.der";
        if (detached) {
            EXPECT_EQ(verify_CMS(cms.get(), nullptr, nullptr, 0), 0x52210049);
            EXPECT_EQ(signedData(cms.get())->detached, 1);
        }
        EXPECT_EQ(verify_CMS(cms.get(), nullptr, detached ? content.data() : nullptr,
                             detached ? static_cast<int>(content.size()) : 0),
                  0);
        if (std::string(file) != "cms-two.der")
            EXPECT_EQ(verify_CMS(cms.get(), signer.get(), content.data(), static_cast<int>(content.size())), 0);
        if (std::string(file) == "cms-keyid.der") {
            EXPECT_EQ(signerAt(cms.get(), 0)->sid->type, CMS_ID_KEY_IDENTIFIER);
            EXPECT_EQ(encodeCms(cms.get()), fxBytes(file));
        }
    }
}

// Signed attributes signed as they came (not in DER order, a long-form
// length) verify over the bytes received, and over their DER when the
// carrier re-encoded them; a messageDigest left out or cut short does not.
TEST(CmsSigned, SignedAttributesAsReceived) {
    struct Case {
        const char* file;
        PKI_ERROR rc;
    } cases[] = {{"unsorted.der", 0},
                 {"ber-attrs.der", 0},
                 {"ber-wire.der", 0},
                 {"no-md.der", 0x5221002b},
                 {"short-md.der", 0x5221005e}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes der = fxBytes(c.file);
        Cms cms = decodeCms(der);
        ASSERT_NE(cms, nullptr);
        EXPECT_EQ(verify_CMS(cms.get(), nullptr, nullptr, 0), c.rc);
        // A copy verifies alike; attributes out of order are written as they came.
        Cms copy(dup_CMS_CONTENT_INFO(cms.get()));
        EXPECT_EQ(verify_CMS(copy.get(), nullptr, nullptr, 0), c.rc);
        if (std::string(c.file) == "unsorted.der") EXPECT_EQ(encodeCms(cms.get()), der);
    }
}

TEST(CmsSigned, TamperedMessagesFailWithCodes) {
    const Bytes content = fxBytes("content.bin");
    Cert other = cert("other");
    struct Case {
        const char* name;
        const char* file;
        void (*tamper)(CMS_CONTENT_INFO*);
        PKI_ERROR rc;
    } cases[] = {
        {"signers stripped", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) {
             free_CMS_SIGNER_INFOS(signedData(c)->signerInfos);
             signedData(c)->signerInfos = new_CMS_SIGNER_INFOS();
         },
         0x5221002b},
        {"certificates stripped", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) {
             free_X509_CERTIFICATES(signedData(c)->certificates);
             signedData(c)->certificates = nullptr;
         },
         0x52210049},
        {"certificates stripped, key identifier", "cms-keyid.der",
         [](CMS_CONTENT_INFO* c) {
             free_X509_CERTIFICATES(signedData(c)->certificates);
             signedData(c)->certificates = nullptr;
         },
         0x5221003c},
        {"eContent byte", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) { signedData(c)->encapContentInfo->eContent->data[3] ^= 1; }, 0x5221005e},
        {"eContent byte, no attributes", "cms-noattr.der",
         [](CMS_CONTENT_INFO* c) { signedData(c)->encapContentInfo->eContent->data[3] ^= 1; }, VSC_FAIL},
        {"messageDigest", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) {
             X509_ATTRIBUTES* attrs = signerAt(c, 0)->signedAttrs;
             X509_ATTRIBUTE* md =
                 get_X509_ATTRIBUTES_child(attrs, get_X509_ATTRIBUTES_index_by_OID_index(attrs, kRowMessageDigest, -1));
             static_cast<ASN1_STRING*>(get_X509_ATTRIBUTE_data(md, 0))->data[0] ^= 1;
         },
         0x5221005e},
        {"messageDigest removed", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) {
             X509_ATTRIBUTES* attrs = signerAt(c, 0)->signedAttrs;
             const int at = get_X509_ATTRIBUTES_index_by_OID_index(attrs, kRowMessageDigest, -1);
             free_X509_ATTRIBUTE(static_cast<X509_ATTRIBUTE*>(remove_STACK_value(attrs, at)));
         },
         0x5221002b},
        {"contentType differs from eContentType", "cms-attached.der",
         [](CMS_CONTENT_INFO* c) {
             ENCAPSULATED_CONTENT_INFO* eci = signedData(c)->encapContentInfo;
             free_OBJECT_IDENTIFIER(eci->eContentType);
             eci->eContentType = index_to_OBJECT_IDENTIFIER(837);
         },
         0x5221002b},
        {"signature byte", "cms-pss.der", [](CMS_CONTENT_INFO* c) { signerAt(c, 0)->signature->data[10] ^= 1; },
         VSC_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cms cms = decodeCms(fxBytes(c.file));
        ASSERT_NE(cms, nullptr);
        c.tamper(cms.get());
        EXPECT_EQ(verify_CMS(cms.get(), nullptr, nullptr, 0), c.rc);
    }
    // A signer that no SignerInfo names; content other than the carried one.
    Cms cms = decodeCms(fxBytes("cms-attached.der"));
    EXPECT_EQ(verify_CMS(cms.get(), other.get(), nullptr, 0), 0x52210048);
    Bytes changed = content;
    changed[0] ^= 1;
    EXPECT_EQ(verify_CMS(cms.get(), nullptr, changed.data(), static_cast<int>(changed.size())), 0x5221005e);
    Cms detached = decodeCms(fxBytes("cms-detached.der"));
    EXPECT_EQ(verify_CMS(detached.get(), nullptr, changed.data(), static_cast<int>(changed.size())), 0x5221005e);
}

// ===========================================================================
// KCDSA

TEST(CmsSigned, KcdsaLabelledByDigest) {
    const Bytes content = fxBytes("content.bin");
    const auto v = keytest::kcdsaVector(2);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    keytest::Key kcdsa(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    Cert signer = cert("signer");
    keytest::PubKey spki(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(spki.get(), unit), 0);
    ASSERT_EQ(set_X509_pub_key(signer.get(), spki.get()), 0);
    struct Case {
        int digestRow;
        int label;
    } cases[] = {{get_OID_from_DigestID(VSC_DIGEST_HAS160), 783}, {kRowSha1, 784}, {kRowSha256, 841}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Cms cms = signHere(content, signer.get(), kcdsa.get(), {0, CMS_SIGN_PKCS1_V15, c.digestRow});
        ASSERT_NE(cms, nullptr);
        EXPECT_EQ(rowOf(signerAt(cms.get(), 0)->signatureAlgorithm->algorithm), c.label);
        Cms back = decodeCms(encodeCms(cms.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_CMS(back.get(), nullptr, nullptr, 0), 0);
        signerAt(back.get(), 0)->signature->data[8] ^= 1;
        EXPECT_NE(verify_CMS(back.get(), nullptr, nullptr, 0), 0);
    }
    // The key must be the certificate's.
    Cert rsaSigner = cert("signer");
    Cms cms(new_CMS_CONTENT_INFO());
    ASSERT_EQ(set_CMS_Type(cms.get(), CMS_SIGNED_DATA_TYPE), 0);
    EXPECT_EQ(add_CMS_Signature(cms.get(), rsaSigner.get(), kcdsa.get(), 0, kRowSha256, CMS_SIGN_PKCS1_V15, nullptr),
              nullptr);
    EXPECT_EQ(get_STACK_count(signedData(cms.get())->signerInfos), 0);
}

// ===========================================================================
// Records and edge cases

using x509test::seq;
using x509test::tlv;

const Bytes kSha256Alg = seq({tlv(0x06, pkitest::fromHex("608648016503040201"))});
const Bytes kRsaAlg = seq({tlv(0x06, pkitest::fromHex("2a864886f70d010101")), tlv(0x05, {})});

std::unique_ptr<CMS_SIGNER_INFO, FreeWith<free_CMS_SIGNER_INFO>> decodeSigner(const Bytes& der, PKI_ERROR* rc) {
    return decodeWith<std::unique_ptr<CMS_SIGNER_INFO, FreeWith<free_CMS_SIGNER_INFO>>>(Seq_to_CMS_SIGNER_INFO, der,
                                                                                        rc);
}

TEST(CmsRecords, SignerInfoForms) {
    PKI_ERROR rc;
    // A key identifier in [0] IMPLICIT, and in the explicit form older
    // encoders wrote: both read, and it is written implicitly.
    const Bytes implicitSid = tlv(0x80, pkitest::fromHex("0102"));
    const Bytes explicitSid = tlv(0xa0, tlv(0x04, pkitest::fromHex("0102")));
    for (const Bytes& sid : {implicitSid, explicitSid}) {
        auto si = decodeSigner(seq({tlv(0x02, {3}), sid, kSha256Alg, kRsaAlg, tlv(0x04, {0})}), &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(si->sid->type, CMS_ID_KEY_IDENTIFIER);
        EXPECT_EQ(pkitest::toHex(encode(CMS_SIGNER_INFO_to_Seq, static_cast<const CMS_SIGNER_INFO*>(si.get()))),
                  pkitest::toHex(seq({tlv(0x02, {3}), implicitSid, kSha256Alg, kRsaAlg, tlv(0x04, {0})})));
    }
    // An element a SignerInfo has no place for, twice the same, or none of
    // the signature: refused.
    decodeSigner(seq({tlv(0x02, {1}), implicitSid, kSha256Alg, kRsaAlg, tlv(0x04, {0}), tlv(0x05, {})}), &rc);
    EXPECT_EQ(rc, 0x52320104);
    decodeSigner(seq({tlv(0x02, {1}), implicitSid, kSha256Alg, kRsaAlg, tlv(0x04, {0}), tlv(0x04, {0})}), &rc);
    EXPECT_EQ(rc, 0x52320104);
    decodeSigner(seq({tlv(0x02, {1}), implicitSid, kSha256Alg, kRsaAlg}), &rc);
    EXPECT_EQ(rc, 0x5232002b);
    // A SignerInfo whose identifier has no value does not encode.
    auto si = decodeSigner(seq({tlv(0x02, {3}), implicitSid, kSha256Alg, kRsaAlg, tlv(0x04, {0})}), &rc);
    free_OCTET_STRING(si->sid->subjectKeyIdentifier);
    si->sid->subjectKeyIdentifier = nullptr;
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(CMS_SIGNER_INFO_to_Seq(si.get(), &node), 0x52310049);
}

TEST(CmsRecords, ContentAndLists) {
    Cert signer = cert("signer");
    KeyInfo k = key("signer");
    Cms cms(new_CMS_CONTENT_INFO());
    EXPECT_EQ(set_CMS_Type(cms.get(), 24), 0x52010048);
    ASSERT_EQ(set_CMS_Type(cms.get(), CMS_SIGNED_DATA_TYPE), 0);
    ASSERT_EQ(new_CMS_Content(cms.get(), CMS_DATA), 0);
    EXPECT_EQ(set_CMS_version(cms.get(), 2), 0x5203002b);
    EXPECT_EQ(new_CMS_Content(cms.get(), 22), 0x52010048);
    const unsigned char bytes[] = {1, 2, 3};
    ASSERT_EQ(set_Content_Info(cms.get(), bytes, 3, 0), 0);
    EXPECT_EQ(signedData(cms.get())->encapContentInfo->eContent->length, 3);
    ASSERT_NE(add_CMS_Signature(cms.get(), signer.get(), k->privateKey, 0, kRowSha256, CMS_SIGN_PKCS1_V15, nullptr),
              nullptr);
    ASSERT_EQ(sign_CMS(cms.get()), 0);  // no attributes: over the content
    // No certificate list: no [0]; an empty one: A0 00.
    std::string hex = pkitest::toHex(encodeCms(cms.get()));
    EXPECT_EQ(hex.find("a000"), std::string::npos);
    signedData(cms.get())->certificates = new_X509_CERTIFICATES();
    hex = pkitest::toHex(encodeCms(cms.get()));
    EXPECT_NE(hex.find("a0003"), std::string::npos) << hex;
    // A signedData with no certificate to verify by.
    EXPECT_EQ(verify_CMS(cms.get(), nullptr, nullptr, 0), 0x52210049);
    EXPECT_EQ(verify_CMS(cms.get(), signer.get(), nullptr, 0), 0);

    // EncapsulatedContentInfo: one element is detached content; a second
    // element other than [0] is passed over; [0] without an OCTET STRING fails.
    using Eci = std::unique_ptr<ENCAPSULATED_CONTENT_INFO, FreeWith<free_ENCAPSULATED_CONTENT_INFO>>;
    const Bytes dataOid = tlv(0x06, pkitest::fromHex("2a864886f70d010701"));
    PKI_ERROR rc;
    Eci one = decodeWith<Eci>(Seq_to_ENCAPSULATED_CONTENT_INFO, seq({dataOid}), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(one->eContent, nullptr);
    Eci other = decodeWith<Eci>(Seq_to_ENCAPSULATED_CONTENT_INFO, seq({dataOid, tlv(0x05, {})}), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(other->eContent, nullptr);
    decodeWith<Eci>(Seq_to_ENCAPSULATED_CONTENT_INFO, seq({dataOid, tlv(0xa0, tlv(0x05, {}))}), &rc);
    EXPECT_EQ(rc, 0x52460104);

    // A ContentInfo of a type outside the six decodes to 1; freeing one
    // frees the type alone.
    const Bytes unknown = seq({tlv(0x06, pkitest::fromHex("2a864886f70d010704")), tlv(0xa0, seq({}))});
    decodeCms(unknown, &rc);
    EXPECT_EQ(rc, 1);
    Cms plain(new_CMS_CONTENT_INFO());
    plain->contentType = index_to_OBJECT_IDENTIFIER(24);

    // A certificate without subjectKeyIdentifier cannot name a signer by it.
    Cert bare = cert("signer");
    X509_EXTENSIONS* exts = bare->tbs->extensions;
    for (int i = get_X509_EXTENSION_count(exts) - 1; i >= 0; --i)
        if (rowOf(get_X509_EXTENSION(exts, i)->extnID) == index_from_sn("subjectKeyIdentifier", 20))
            free_X509_EXTENSION(remove_X509_EXTENSION(exts, i));
    touch_X509_CERT(bare.get());
    std::unique_ptr<CMS_SIGNER_INFO, FreeWith<free_CMS_SIGNER_INFO>> si(new_CMS_SIGNER_INFO());
    EXPECT_EQ(set_CMS_SIGNER_INFO(si.get(), bare.get(), CMS_SIGNER_BY_KEY_IDENTIFIER, k->privateKey, kRowSha256,
                                  CMS_SIGN_PKCS1_V15, nullptr),
              0x5257012f);
    EXPECT_EQ(set_CMS_SIGNER_INFO(si.get(), signer.get(), 0, k->privateKey, kRowSha256, 3, nullptr), 0x52020048);
    EXPECT_EQ(si->sid, nullptr);

    // Recipients: another kind does not encode, nor decode.
    std::unique_ptr<CMS_RECIPIENT_INFO, FreeWith<free_CMS_RECIPIENT_INFO>> ri(new_CMS_RECIPIENT_INFO());
    ri->type = CMS_RI_KEY_AGREEMENT;
    ri->kari = new_KEY_AGREE_RECIPIENT_INFO();
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(CMS_RECIPIENT_INFO_to_Seq(ri.get(), &node), 0x52390048);
    decodeWith<std::unique_ptr<CMS_RECIPIENT_INFO, FreeWith<free_CMS_RECIPIENT_INFO>>>(
        Seq_to_CMS_RECIPIENT_INFO, tlv(0xa1, seq({tlv(0x02, {3})})), &rc);
    EXPECT_EQ(rc, 0x52400048);
}

// A digestedData made here checked by openssl.
TEST(CmsRecords, DigestedDataPassesOpenssl) {
    const Bytes content = fxBytes("content.bin");
    Cms cms(new_CMS_CONTENT_INFO());
    ASSERT_EQ(set_CMS_Type(cms.get(), CMS_DIGESTED_DATA_TYPE), 0);
    EXPECT_EQ(digest_CMS(cms.get(), VSC_DIGEST_SHA256, nullptr, 1), 0x5222002b);
    ASSERT_EQ(digest_CMS(cms.get(), VSC_DIGEST_SHA256, content.data(), static_cast<int>(content.size())), 0);
    zqtest::TempDir dir("cmsdigest");
    zqtest::writeFile(dir / "d.der", textOf(encodeCms(cms.get())));
    auto r = openssl({"cms", "-digest_verify", "-inform", "DER", "-in", dir / "d.der", "-out", dir / "out.bin"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pkitest::readBytes(dir / "out.bin"), content);
}

// ===========================================================================
// Enveloped data

struct Cipher {
    const char* name;
    int row;
    int id;
    bool legacy;  // openssl needs its legacy provider
};
const Cipher kCiphers[] = {
    {"SEED", kRowSeedCbc, VSC_CIPHER_SEED_CBC, true},
    {"AES-128", 419, VSC_CIPHER_AES128_CBC, false},
    {"AES-256", 427, VSC_CIPHER_AES256_CBC, false},
    {"3DES", 44, VSC_CIPHER_DES_EDE3_CBC, false},
};

Algorithm algorithmOf(int row) {
    Algorithm alg(new_X509_ALGO_IDENTIFIER());
    std::unique_ptr<OBJECT_IDENTIFIER, FreeWith<free_OBJECT_IDENTIFIER>> oid(index_to_OBJECT_IDENTIFIER(row));
    EXPECT_EQ(set_X509_ALGO_IDENTIFIER_value(alg.get(), oid.get(), nullptr), 0);
    return alg;
}

std::unique_ptr<RSAES_OAEP_PARAM, FreeWith<free_RSAES_OAEP_PARAM>> oaepWith(int digestRow) {
    std::unique_ptr<RSAES_OAEP_PARAM, FreeWith<free_RSAES_OAEP_PARAM>> p(new_RSAES_OAEP_PARAM());
    EXPECT_EQ(set_RSAES_OAEP_PARAM_hashAlgorithm(p.get(), digestRow), 0);
    EXPECT_EQ(set_RSAES_OAEP_PARAM_maskGenAlgorithm(p.get(), 833), 0);
    return p;
}

Cms envelopedFor(const X509_CERT* recipient, int mode, const RSAES_OAEP_PARAM* oaep, int flags = 0) {
    Cms cms(new_CMS_CONTENT_INFO());
    EXPECT_EQ(set_CMS_Type(cms.get(), CMS_ENVELOPED_DATA_TYPE), 0);
    EXPECT_EQ(add_CMS_Recipient(cms.get(), recipient, mode, oaep, flags), 0);
    return cms;
}

// The content key for signer, then the content.
Bytes opened(CMS_CONTENT_INFO* cms, const X509_CERT* recipient, const ASYMMETRIC_KEY* k, int mode = 0) {
    unsigned char cek[64];
    int cekLen = sizeof cek;
    const int rc = decrypt_content_encryption_key(cms, recipient, k, cek, &cekLen, mode);
    EXPECT_EQ(rc, 0);
    if (rc) return {};
    auto* ed = static_cast<CMS_ENVELOPED_DATA*>(cms->content);
    Bytes out(static_cast<size_t>(ed->encryptedContentInfo->encryptedContent->length));
    int n = static_cast<int>(out.size());
    EXPECT_EQ(decrypt_CMS(cms, cek, nullptr, out.data(), &n), 0);
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST(CmsEnveloped, MadeHereOpensInOpensslAndNss) {
    const Bytes content = fxBytes("content.bin");
    Cert recipient = cert("signer");
    KeyInfo k = key("signer");
    NssDb nss;
    auto sha1 = oaepWith(kRowSha1);
    auto sha256 = oaepWith(kRowSha256);
    struct Transport {
        const char* name;
        int mode;
        const RSAES_OAEP_PARAM* oaep;
    } transports[] = {{"v1.5", CMS_RSAES_DEFAULT, nullptr},
                      {"OAEP SHA-1", CMS_RSAES_OAEP_V21, sha1.get()},
                      {"OAEP SHA-256", CMS_RSAES_OAEP_V21, sha256.get()}};
    for (const Cipher& c : kCiphers) {
        for (const Transport& t : transports) {
            SCOPED_TRACE(std::string(c.name) + " " + t.name);
            Cms cms = envelopedFor(recipient.get(), t.mode, t.oaep);
            Algorithm alg = algorithmOf(c.row);
            ASSERT_EQ(
                encrypt_CMS(cms.get(), CMS_DATA, alg.get(), content.data(), static_cast<int>(content.size()), t.mode),
                0);
            const Bytes der = encodeCms(cms.get());
            zqtest::TempDir dir("cmsenv");
            zqtest::writeFile(dir / "m.der", textOf(der));
            std::vector<std::string> args{"cms",    "-decrypt",           "-inform", "DER",
                                          "-in",    dir / "m.der",        "-recip",  fxPath("signer.pem"),
                                          "-inkey", fxPath("signer.key"), "-out",    dir / "out.bin"};
            if (c.legacy) args.insert(args.end(), {"-provider", "legacy", "-provider", "default"});
            auto r = openssl(args);
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_EQ(pkitest::readBytes(dir / "out.bin"), content);
            // NSS knows no OAEP key transport.
            if (!t.oaep) {
                r = zqtest::run({"cmsutil", "-D", "-d", nss.db, "-i", dir / "m.der", "-o", dir / "nss.bin"});
                EXPECT_EQ(r.status, 0) << r.output;
                EXPECT_EQ(pkitest::readBytes(dir / "nss.bin"), content);
            }
            Cms back = decodeCms(der);
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(opened(back.get(), recipient.get(), k->privateKey), content);
        }
    }
}

// A recipient named by its key identifier, and the default cipher.
TEST(CmsEnveloped, KeyIdentifierRecipientAndDefaultCipher) {
    const Bytes content = fxBytes("content.bin");
    Cert recipient = cert("signer");
    KeyInfo k = key("signer");
    Cms cms = envelopedFor(recipient.get(), CMS_RSAES_PKCS1_V15, nullptr, CMS_RECIPIENT_BY_KEY_IDENTIFIER);
    const auto* ri = static_cast<CMS_RECIPIENT_INFO*>(
        get_STACK_value(static_cast<CMS_ENVELOPED_DATA*>(cms->content)->recipientInfos, 0));
    EXPECT_EQ(ri->ktri->rid->type, CMS_ID_KEY_IDENTIFIER);
    const unsigned char key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const unsigned char iv[16] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    ASSERT_EQ(set_CMS_Cipher(cms.get(), 0, key, iv, 1), 0);  // SEED-CBC
    Algorithm alg = algorithmOf(kRowSeedCbc);
    ASSERT_EQ(encrypt_CMS_userKEY(cms.get(), CMS_DATA, alg.get(), content.data(), static_cast<int>(content.size()), key,
                                  iv, 0),
              0);
    zqtest::TempDir dir("cmsenvkid");
    zqtest::writeFile(dir / "m.der", textOf(encodeCms(cms.get())));
    auto r =
        openssl({"cms", "-decrypt", "-inform", "DER", "-in", dir / "m.der", "-recip", fxPath("signer.pem"), "-inkey",
                 fxPath("signer.key"), "-out", dir / "out.bin", "-provider", "legacy", "-provider", "default"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(pkitest::readBytes(dir / "out.bin"), content);
    const std::string printed = openssl({"cms", "-cmsout", "-print", "-inform", "DER", "-in", dir / "m.der"}).output;
    EXPECT_NE(printed.find("subjectKeyIdentifier"), std::string::npos);
    EXPECT_NE(printed.find("seed-cbc"), std::string::npos) << printed;
    EXPECT_NE(printed.find("version: 2"), std::string::npos) << printed;
}

// openssl's and NSS's envelopes open here.
TEST(CmsEnveloped, PeerMessagesOpenHere) {
    const Bytes content = fxBytes("content.bin");
    Cert recipient = cert("signer");
    KeyInfo k = key("signer");
    for (const char* file : {"env-aes256.der", "env-des3.der", "env-seed.der", "env-oaep256.der", "env-keyid.der"}) {
        SCOPED_TRACE(file);
        Cms cms = decodeCms(fxBytes(file));
        ASSERT_NE(cms, nullptr);
        EXPECT_EQ(opened(cms.get(), recipient.get(), k->privateKey, CMS_RSAES_PKCS1_V15), content);
    }
    NssDb nss;
    zqtest::TempDir dir("cmsnssenv");
    ASSERT_EQ(
        zqtest::run({"cmsutil", "-E", "-d", nss.db, "-r", "signer", "-i", fxPath("content.bin"), "-o", dir / "m.der"})
            .status,
        0);
    Cms cms = decodeCms(pkitest::readBytes(dir / "m.der"));
    ASSERT_NE(cms, nullptr);
    EXPECT_EQ(opened(cms.get(), recipient.get(), k->privateKey), content);
}

// Streaming one byte at a time writes the bytes one call writes; output
// room is checked; a detached envelope hands the ciphertext to the caller.
TEST(CmsEnveloped, StreamingAndRoom) {
    const Bytes content = fxBytes("content.bin");
    Cert recipient = cert("signer");
    const unsigned char key[32] = {7};
    const unsigned char iv[16] = {3};
    for (const Cipher& c : kCiphers) {
        SCOPED_TRACE(c.name);
        Cms whole = envelopedFor(recipient.get(), 0, nullptr);
        ASSERT_EQ(set_CMS_Cipher(whole.get(), c.id, key, iv, 1), 0);
        Algorithm alg = algorithmOf(c.row);
        ASSERT_EQ(encrypt_CMS_userKEY(whole.get(), CMS_DATA, alg.get(), content.data(),
                                      static_cast<int>(content.size()), key, iv, 0),
                  0);
        Cms streamed = envelopedFor(recipient.get(), 0, nullptr);
        ASSERT_EQ(set_CMS_Cipher(streamed.get(), c.id, key, iv, 1), 0);
        Algorithm alg2 = algorithmOf(c.row);
        ASSERT_EQ(init_CMS_Encrypt(streamed.get(), CMS_DATA, alg2.get(), 0, key, iv, 0), 0);
        const int block = VSC_Get_Block_Length(c.id);
        unsigned char out[64];
        for (unsigned char b : content) {
            int room = 1;  // less than the input plus a block
            EXPECT_EQ(update_CMS_encrypt(streamed.get(), &b, 1, out, &room), 0x52260049);
            room = 1 + block;
            ASSERT_EQ(update_CMS_encrypt(streamed.get(), &b, 1, out, &room), 0);
        }
        int room = block - 1;
        EXPECT_EQ(final_CMS_Encrypt(streamed.get(), out, &room), 0x52270049);
        room = block;
        ASSERT_EQ(final_CMS_Encrypt(streamed.get(), out, &room), 0);
        const auto* a = static_cast<CMS_ENVELOPED_DATA*>(whole->content)->encryptedContentInfo;
        const auto* b = static_cast<CMS_ENVELOPED_DATA*>(streamed->content)->encryptedContentInfo;
        ASSERT_NE(b->encryptedContent, nullptr);
        EXPECT_EQ(Bytes(a->encryptedContent->data, a->encryptedContent->data + a->encryptedContent->length),
                  Bytes(b->encryptedContent->data, b->encryptedContent->data + b->encryptedContent->length));
        EXPECT_EQ(cmp_X509_ALGO_IDENTIFIER(a->contentEncryptionAlgorithm, b->contentEncryptionAlgorithm), 0);
    }
    // Detached: nothing in encryptedContent, the ciphertext in the caller's buffers.
    Cms detached = envelopedFor(recipient.get(), 0, nullptr);
    ASSERT_EQ(set_CMS_Cipher(detached.get(), VSC_CIPHER_AES128_CBC, key, iv, 1), 0);
    Algorithm alg = algorithmOf(419);
    ASSERT_EQ(init_CMS_Encrypt(detached.get(), CMS_DATA, alg.get(), 1, key, iv, 0), 0);
    Bytes out(content.size() + 16);
    int n = static_cast<int>(out.size());
    EXPECT_EQ(update_CMS_encrypt(detached.get(), content.data(), static_cast<int>(content.size()), nullptr, &n),
              0x52260049);
    ASSERT_EQ(update_CMS_encrypt(detached.get(), content.data(), static_cast<int>(content.size()), out.data(), &n), 0);
    int tail = 16;
    ASSERT_EQ(final_CMS_Encrypt(detached.get(), out.data() + n, &tail), 0);
    EXPECT_EQ(static_cast<CMS_ENVELOPED_DATA*>(detached->content)->encryptedContentInfo->encryptedContent, nullptr);
    EXPECT_EQ(static_cast<size_t>(n + tail), (content.size() / 16 + 1) * 16);
}

TEST(CmsEnveloped, EdgeCases) {
    const Bytes content = fxBytes("content.bin");
    Cert recipient = cert("signer");
    KeyInfo k = key("signer");
    // Key agreement and other kinds are not offered.
    Cms cms(new_CMS_CONTENT_INFO());
    ASSERT_EQ(set_CMS_Type(cms.get(), CMS_ENVELOPED_DATA_TYPE), 0);
    EXPECT_EQ(add_CMS_Recipient(cms.get(), recipient.get(), 0, nullptr, CMS_RECIPIENT_KEY_AGREEMENT), 0x52070048);
    EXPECT_EQ(add_CMS_Recipient(cms.get(), recipient.get(), 0, nullptr, CMS_RECIPIENT_OTHER), 0x52070048);
    EXPECT_EQ(add_CMS_Recipient(cms.get(), recipient.get(), 4, nullptr, 0), 0x52070048);
    // No recipients: nothing to encrypt for.
    const unsigned char key[32] = {5};
    ASSERT_EQ(set_CMS_Cipher(cms.get(), VSC_CIPHER_AES128_CBC, key, key, 1), 0);
    Algorithm aes = algorithmOf(419);
    EXPECT_EQ(init_CMS_Encrypt(cms.get(), CMS_DATA, aes.get(), 0, key, key, 0), 0x52250049);
    // A cipher other than the algorithm's.
    ASSERT_EQ(add_CMS_Recipient(cms.get(), recipient.get(), 0, nullptr, 0), 0);
    Algorithm seed = algorithmOf(kRowSeedCbc);
    EXPECT_EQ(init_CMS_Encrypt(cms.get(), CMS_DATA, seed.get(), 0, key, key, 0), 0x52250048);
    EXPECT_EQ(init_CMS_Encrypt(cms.get(), 24, aes.get(), 0, key, key, 0), 0x52250048);
    // SEED-CFB is started unpadded.
    ASSERT_EQ(set_CMS_Cipher(cms.get(), 0x4000140, key, key, 1), 0);
    EXPECT_EQ(static_cast<CMS_ENVELOPED_DATA*>(cms->content)->encryptedContentInfo->cipher->alg_id, 0x4000141);

    // Opening: no certificate, an IV of another length, a key of another
    // length than the cipher's, no room.
    Cms env = decodeCms(fxBytes("env-aes256.der"));
    ASSERT_NE(env, nullptr);
    unsigned char cek[64];
    int cekLen = sizeof cek;
    EXPECT_EQ(decrypt_content_encryption_key(env.get(), nullptr, k->privateKey, cek, &cekLen, 0), 0x5228012f);
    cekLen = 31;
    EXPECT_NE(decrypt_content_encryption_key(env.get(), recipient.get(), k->privateKey, cek, &cekLen, 0), 0);
    cekLen = sizeof cek;
    ASSERT_EQ(decrypt_content_encryption_key(env.get(), recipient.get(), k->privateKey, cek, &cekLen, 0), 0);
    EXPECT_EQ(cekLen, 32);
    Bytes out(content.size() + 32);
    int n = static_cast<int>(content.size()) - 1;
    EXPECT_EQ(decrypt_CMS(env.get(), cek, nullptr, out.data(), &n), 0x5223002b);
    auto* eci = static_cast<CMS_ENVELOPED_DATA*>(env->content)->encryptedContentInfo;
    ASN1_STRING* params = eci->contentEncryptionAlgorithm->parameters;
    const int ivLen = params->length;
    params->length = 8;
    n = static_cast<int>(out.size());
    EXPECT_EQ(decrypt_CMS(env.get(), cek, nullptr, out.data(), &n), 0x5223002b);
    params->length = ivLen;
    // The label says AES-128: the 32-byte key does not fit.
    Algorithm aes128 = algorithmOf(419);
    free_ASN1_STRING(aes128->parameters);
    aes128->parameters = dup_ASN1_STRING(params);
    free_X509_ALGO_IDENTIFIER(eci->contentEncryptionAlgorithm);
    eci->contentEncryptionAlgorithm = aes128.release();
    cekLen = sizeof cek;
    EXPECT_EQ(decrypt_content_encryption_key(env.get(), recipient.get(), k->privateKey, cek, &cekLen, 0), 0x5228002b);
}

}  // namespace

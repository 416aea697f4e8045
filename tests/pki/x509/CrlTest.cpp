// Certificate revocation lists: the codec over the python-cryptography
// vectors, PKITS and lists made by openssl and pyasn1-modules, the bytes as
// received, signing checked by openssl, entries, reasons and lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include "CertTestUtil.h"
#include "KeyTestUtil.h"
#include <zunPKI/x509/x509_crl.h>

using namespace x509test;

namespace {

using Crl = std::unique_ptr<X509_CRL, FreeWith<free_X509_CRL>>;
using Crls = std::unique_ptr<X509_CRLS, FreeWith<free_X509_CRLS>>;
using Key = keytest::Key;

Crl decodeCrl(const Bytes& der, PKI_ERROR* rc = nullptr) { return decodeWith<Crl>(Seq_to_X509_CRL, der, rc); }
Bytes encodeCrl(const X509_CRL* crl) { return encode(X509_CRL_to_Seq, crl); }

const std::string& crlFixtures() {
    static zqtest::TempDir dir("crlfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_crl_fixtures.sh", dir);
    return path;
}

Bytes crlFixtureBytes(const std::string& name) {
    EXPECT_FALSE(crlFixtures().empty()) << "fixture script failed";
    return pkitest::readBytes(crlFixtures() + "/" + name);
}

Crl crlFixture(const std::string& name) {
    PKI_ERROR rc;
    Crl crl = decodeCrl(crlFixtureBytes(name), &rc);
    EXPECT_EQ(rc, 0) << name;
    return crl;
}

Cert certOf(const std::string& name) { return decodeCert(crlFixtureBytes(name)); }

// The DER of a file of the vectors, PEM or DER.
Bytes vectorBytes(const std::string& relative) {
    const std::string path = std::string(kVectorsDir) + "/" + relative;
    const std::string text = zqtest::readFile(path);
    if (text.find("-----BEGIN") == std::string::npos) return Bytes(text.begin(), text.end());
    const std::string der = pkitest::openssl({"crl", "-in", path, "-outform", "DER"});
    return Bytes(der.begin(), der.end());
}

Crl vectorCrl(const std::string& relative, PKI_ERROR* rc = nullptr) { return decodeCrl(vectorBytes(relative), rc); }

Key caKey() {
    return Key(keytest::holding(ASYMMETRIC_KEY_RSA, keytest::rsaFrom(fileLines(crlFixtures() + "/ca.rsa.txt"), true)));
}

std::string serialHex(const BIGINT* b) {
    char* text = VSC_BIGINT_To_HEX(b);
    std::string s = text ? text : "?";
    VSC_FREE(text);
    std::transform(s.begin(), s.end(), s.begin(), ::toupper);
    return s.empty() ? "0" : s;
}

Bytes utc(const char* text) { return tlv(0x17, Bytes(text, text + std::strlen(text))); }

const Bytes kAlg = seq({tlv(0x06, fromHex("2a864886f70d01010b")), tlv(0x05, {})});
const Bytes kIssuer = fromHex("300f310d300b06035504030c0454657374");  // CN=Test
const Bytes kReasonKeyCompromise = seq({tlv(0x06, fromHex("551d15")), tlv(0x04, fromHex("0a0101"))});

// A CertificateList around the given TBSCertList contents, with a fake signature.
Bytes listOf(const Bytes& tbsContents) { return seq({tlv(0x30, tbsContents), kAlg, tlv(0x03, fromHex("00aabb"))}); }

// ===========================================================================
// Codec

// Every vector openssl reads decodes to as many entries as openssl lists,
// keeps its bytes, and encodes afresh to the same bytes.
TEST(CrlCodec, VectorsAgainstOpenssl) {
    struct Case {
        const char* file;
        int entries;
        bool next;
    } cases[] = {
        {"custom/crl_almost_10k.pem", 9999, true},
        {"custom/crl_all_reasons.pem", 12, true},
        {"custom/crl_empty.pem", 0, true},
        {"custom/crl_empty_no_sequence.der", 0, true},
        {"custom/crl_no_next_update.pem", 0, false},
        {"custom/crl_bad_version.pem", 0, true},
        {"custom/crl_dup_entry_ext.pem", 1, true},
        {"custom/crl_unsupported_reason.pem", 1, true},
        {"custom/crl_idp_fullname_indirect_crl.pem", 0, true},
        {"custom/crl_delta_crl_indicator.pem", 0, true},
        {"custom/crl_md2_unknown_crit_entry_ext.pem", 1, true},
        {"custom/valid_signature_crl.pem", 0, true},
        {"PKITS_data/crls/GoodCACRL.crl", 2, true},
        {"PKITS_data/crls/TrustAnchorRootCRL.crl", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes der = vectorBytes(c.file);
        PKI_ERROR rc;
        Crl crl = decodeCrl(der, &rc);
        ASSERT_EQ(rc, 0);
        const std::string text =
            pkitest::openssl({"crl", "-inform", "DER", "-noout", "-text"}, std::string(der.begin(), der.end()));
        size_t listed = 0;
        for (size_t at = 0; (at = text.find("Serial Number:", at)) != std::string::npos; ++at) ++listed;
        EXPECT_EQ(get_X509_REVOKED_count(crl->info), c.entries);
        EXPECT_EQ(static_cast<size_t>(c.entries), listed);
        EXPECT_EQ(get_X509_CRL_nextUpdate(crl.get()) != nullptr, c.next);
        EXPECT_EQ(encodeCrl(crl.get()), der);
        Crl copy(dup_X509_CRL(crl.get()));
        EXPECT_EQ(cmp_X509_CRL(copy.get(), crl.get()), 0);
        touch_X509_CRL(crl.get());
        EXPECT_EQ(encodeCrl(crl.get()), der);
    }
    // A time that does not read is refused.
    PKI_ERROR rc;
    EXPECT_EQ(vectorCrl("custom/crl_invalid_time.der", &rc), nullptr);
    EXPECT_EQ(rc, 0x48040104);
}

// A CRL without nextUpdate keeps every entry and the extensions after them;
// so does a v1 list without version.
TEST(CrlCodec, OptionalMembersAreToldByTheirTags) {
    Crl noNext = crlFixture("no-next-update.der");
    ASSERT_NE(noNext, nullptr);
    EXPECT_EQ(get_X509_CRL_nextUpdate(noNext.get()), nullptr);
    ASSERT_EQ(get_X509_REVOKED_count(noNext->info), 3);
    EXPECT_EQ(serialHex(get_X509_CRL_revoked(noNext.get(), 2)->userCertificate), "99");
    EXPECT_EQ(get_X509_CRL_ext_index_by_OID_index(noNext.get(), index_from_sn("crlNumber", 9), -1), 0);
    EXPECT_EQ(get_X509_CRL_version(noNext.get()), 1);
    touch_X509_CRL(noNext.get());
    EXPECT_EQ(encodeCrl(noNext.get()), crlFixtureBytes("no-next-update.der"));

    Crl v1 = crlFixture("v1.der");
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(get_X509_CRL_version(v1.get()), 0);
    EXPECT_EQ(get_X509_REVOKED_count(v1->info), 2);
    EXPECT_EQ(get_X509_CRL_ext_count(v1.get()), 0);

    // Entries absent and extensions in their place; neither.
    const Bytes head = cat({tlv(0x02, {0x01}), kAlg, kIssuer, utc("250101000000Z")});
    const Bytes exts = tlv(0xa0, seq({seq({tlv(0x06, fromHex("551d14")), tlv(0x04, fromHex("020105"))})}));
    Crl onlyExts = decodeCrl(listOf(cat({head, utc("250201000000Z"), exts})));
    ASSERT_NE(onlyExts, nullptr);
    EXPECT_EQ(get_X509_REVOKED_count(onlyExts->info), 0);
    EXPECT_EQ(get_X509_CRL_ext_count(onlyExts.get()), 1);
    Crl bare = decodeCrl(listOf(head));
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(get_X509_CRL_nextUpdate(bare.get()), nullptr);
}

TEST(CrlCodec, MalformedListsAreRefusedWithTheirCode) {
    const Bytes version = tlv(0x02, {0x01});
    const Bytes times = cat({utc("250101000000Z"), utc("250201000000Z")});
    const Bytes entry = seq({tlv(0x02, {0x05}), utc("250102000000Z")});
    struct Case {
        const char* what;
        Bytes tbs;
        PKI_ERROR code;
    } cases[] = {
        {"empty revokedCertificates", cat({version, kAlg, kIssuer, times, seq({})}), 1},
        {"entry without date", cat({version, kAlg, kIssuer, times, seq({seq({tlv(0x02, {0x05})})})}), 0x48090104},
        {"entry serial not an INTEGER",
         cat({version, kAlg, kIssuer, times, seq({entry, seq({tlv(0x04, {0x05}), utc("250102000000Z")})})}),
         0x48090104},
        {"entry that is not a SEQUENCE", cat({version, kAlg, kIssuer, times, seq({entry, tlv(0x31, {})})}), 0x48090104},
        {"entry with empty extensions",
         cat({version, kAlg, kIssuer, times, seq({seq({tlv(0x02, {0x05}), utc("250102000000Z"), seq({})})})}),
         0x48090104},
        {"three-byte version", cat({tlv(0x02, {0x01, 0x00, 0x00}), kAlg, kIssuer, times}), 0x4804002b},
        {"negative version", cat({tlv(0x02, {0xff}), kAlg, kIssuer, times}), 0x4804002b},
        {"no thisUpdate", cat({version, kAlg, kIssuer}), 0x48040104},
        {"thisUpdate an OCTET STRING", cat({version, kAlg, kIssuer, tlv(0x04, {0x01})}), 0x48040104},
        {"issuer missing", cat({version, kAlg, times}), 0x48040104},
        {"element after the extensions",
         cat({version, kAlg, kIssuer, times, tlv(0xa0, seq({kReasonKeyCompromise})), tlv(0x02, {0x01})}), 0x48040104},
        {"empty extensions", cat({version, kAlg, kIssuer, times, tlv(0xa0, seq({}))}), 0x48040104},
    };
    for (const auto& c : cases) {
        PKI_ERROR rc;
        EXPECT_EQ(decodeCrl(listOf(c.tbs), &rc), nullptr) << c.what;
        EXPECT_EQ(rc, c.code) << c.what;
    }
    // The CertificateList itself: three elements, the last a BIT STRING.
    const Bytes tbs = tlv(0x30, cat({version, kAlg, kIssuer, times}));
    PKI_ERROR rc;
    for (const Bytes& bad :
         {seq({tbs, kAlg}), seq({tbs, kAlg, tlv(0x04, {0x00}), tlv(0x05, {})}), seq({tbs, kAlg, tlv(0x04, {0x00})})}) {
        EXPECT_EQ(decodeCrl(bad, &rc), nullptr);
        EXPECT_EQ(rc, 0x48020104);
    }
    X509_CRL* out = nullptr;
    EXPECT_EQ(Seq_to_X509_CRL(nullptr, &out), 0x48020049);
    Node node = nodeOf(listOf(cat({version, kAlg, kIssuer, times})));
    EXPECT_EQ(Seq_to_X509_CRL(node.get(), nullptr), 0x48020049);

    // A failed decode leaves the caller's CRL as it was.
    Crl mine = crlFixture("openssl.der");
    X509_CRL* target = mine.get();
    Node badNode = nodeOf(listOf(cat({version, kAlg, kIssuer, times, seq({})})));
    EXPECT_EQ(Seq_to_X509_CRL(badNode.get(), &target), 1);
    EXPECT_EQ(get_X509_REVOKED_count(mine->info), 3);
}

TEST(CrlCodec, EveryOneByteChangeDecodesToAnErrorOrAUsableList) {
    const Bytes entries =
        seq({seq({tlv(0x02, {0x05}), utc("250102000000Z"), seq({kReasonKeyCompromise})}),
             seq({tlv(0x02, {0x01}),
                  tlv(0x18, Bytes{'2', '0', '2', '5', '0', '1', '0', '3', '0', '0', '0', '0', '0', '0', 'Z'})})});
    const Bytes good = listOf(cat({tlv(0x02, {0x01}), kAlg, kIssuer, utc("250101000000Z"), utc("250201000000Z"),
                                   entries, tlv(0xa0, seq({kReasonKeyCompromise}))}));
    ASSERT_NE(decodeCrl(good), nullptr);
    expectMutationsHarmless<Crl>(good, Seq_to_X509_CRL, X509_CRL_to_Seq, dup_X509_CRL);
}

// The empty list our encoder writes reads back; nextUpdate is written only
// when the list has one.
TEST(CrlCodec, BuiltListsEncodeTheirMembersOnly) {
    Crl crl(new_X509_CRL());
    pkitest::String alg(index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA256", 10)));
    Name issuer = decodeName(kIssuer);
    Time tu(makeTime(X509_TIME_UTC, "250101000000Z"));
    EXPECT_EQ(X509_CRL_INFO_to_Seq(crl->info, nullptr), 0x48030049);
    ASN1_UNIT* made = nullptr;
    EXPECT_EQ(X509_CRL_INFO_to_Seq(crl->info, &made), 0x48030049);
    ASSERT_EQ(set_X509_CRL_signature(crl.get(), alg.get()), 0);
    ASSERT_EQ(set_X509_CRL_issuer(crl.get(), issuer.get()), 0);
    ASSERT_EQ(set_X509_CRL_thisUpdate(crl.get(), tu.get()), 0);
    const Bytes bare = encode(X509_CRL_INFO_to_Seq, static_cast<const X509_CRL_INFO*>(crl->info));
    EXPECT_EQ(bare, seq({tlv(0x02, {0x00}), kAlg, kIssuer, utc("250101000000Z")}));
    Time nu(makeTime(X509_TIME_GENERALIZED, "20500101000000Z"));
    ASSERT_EQ(set_X509_CRL_nextUpdate(crl.get(), nu.get()), 0);
    ASSERT_EQ(set_X509_CRL_sig_alg(crl.get(), alg.get()), 0);
    pkitest::String sig(binaryToBIT_STRING(fromHex("aabb").data(), 2));
    ASSERT_EQ(set_X509_CRL_sig_value(crl.get(), sig.get()), 0);
    const Bytes der = encodeCrl(crl.get());
    EXPECT_EQ(der,
              seq({seq({tlv(0x02, {0x00}), kAlg, kIssuer, utc("250101000000Z"),
                        tlv(0x18, Bytes{'2', '0', '5', '0', '0', '1', '0', '1', '0', '0', '0', '0', '0', '0', 'Z'})}),
                   kAlg, tlv(0x03, fromHex("00aabb"))}));
    Crl back = decodeCrl(der);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(get_X509_CRL_nextUpdate(back.get())->type, X509_TIME_GENERALIZED);
    EXPECT_EQ(get_X509_REVOKED_count(back->info), 0);

    // A time of an unknown type does not encode.
    crl->info->thisUpdate->type = 2;
    touch_X509_CRL(crl.get());
    EXPECT_EQ(X509_CRL_to_Seq(crl.get(), &made), 0x48030103);
    EXPECT_EQ(set_X509_CRL_thisUpdate(crl.get(), crl->info->thisUpdate), 1);
}

// ===========================================================================
// Signatures

TEST(CrlSignature, PeersListsVerifyOverTheBytesReceived) {
    Cert goodCa = vectorCert("PKITS_data/certs/GoodCACert.crt");
    Crl goodCrl = vectorCrl("PKITS_data/crls/GoodCACRL.crl");
    ASSERT_NE(goodCrl, nullptr);
    EXPECT_EQ(verify_SIG_X509_CRL(goodCrl.get(), get_X509_SPKI(goodCa.get())), 0);
    Cert anchor = vectorCert("PKITS_data/certs/TrustAnchorRootCertificate.crt");
    EXPECT_EQ(verify_SIG_X509_CRL(goodCrl.get(), get_X509_SPKI(anchor.get())), VSC_FAIL);

    // The vectors' pair: the same issuer, one list signed right, one wrong.
    Cert issuer = vectorCert("custom/valid_signature_cert.pem");
    EXPECT_EQ(verify_SIG_X509_CRL(vectorCrl("custom/valid_signature_crl.pem").get(), get_X509_SPKI(issuer.get())), 0);
    EXPECT_EQ(verify_SIG_X509_CRL(vectorCrl("custom/invalid_signature_crl.pem").get(), get_X509_SPKI(issuer.get())),
              VSC_FAIL);

    Cert ca = certOf("ca.der");
    for (const char* file : {"openssl.der", "pss.der", "no-next-update.der", "v1.der", "as-received.der"}) {
        SCOPED_TRACE(file);
        Crl crl = crlFixture(file);
        EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), get_X509_SPKI(ca.get())), 0);
        Crl copy(dup_X509_CRL(crl.get()));
        EXPECT_EQ(verify_SIG_X509_CRL(copy.get(), get_X509_SPKI(ca.get())), 0);
        // Sorted for lookups, the list still verifies and encodes as signed.
        ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);
        EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), get_X509_SPKI(ca.get())), 0);
        EXPECT_EQ(encodeCrl(crl.get()), crlFixtureBytes(file));
    }
    // Encoded afresh, the BOOLEAN 01 becomes FF: the bytes were what counted.
    Crl asReceived = crlFixture("as-received.der");
    touch_X509_CRL(asReceived.get());
    EXPECT_EQ(verify_SIG_X509_CRL(asReceived.get(), get_X509_SPKI(ca.get())), VSC_FAIL);
}

// Changes made through the entries' setters, or members replaced in place,
// are encoded and so no longer verify.
TEST(CrlSignature, ChangedEntriesAreEncodedAfresh) {
    Cert ca = certOf("ca.der");
    const X509_PUBKEY* key = get_X509_SPKI(ca.get());
    const Bytes original = crlFixtureBytes("openssl.der");
    keytest::Big other(VSC_HEX_To_BIGINT("77"));
    Time date(makeTime(X509_TIME_UTC, "240101000000Z"));
    pkitest::String reasonOid(index_to_OBJECT_IDENTIFIER(141));
    pkitest::String reasonValue(new_OCTET_STRING(fromHex("0a0104").data(), 3));
    Extension reason(create_X509_EXTENSION_by_OID(nullptr, reasonOid.get(), 0, reasonValue.get()));
    const std::function<void(X509_CRL*)> changes[] = {
        [&](X509_CRL* c) { set_X509_REVOKED_userCert(get_X509_CRL_revoked(c, 1), other.get()); },
        [&](X509_CRL* c) { set_X509_REVOKED_revocationDate(get_X509_CRL_revoked(c, 0), date.get()); },
        [&](X509_CRL* c) { add_X509_REVOKED_ext(get_X509_CRL_revoked(c, 0), reason.get(), -1); },
        [&](X509_CRL* c) { free_X509_EXTENSION(remove_X509_REVOKED_ext(get_X509_CRL_revoked(c, 2), 0)); },
        [&](X509_CRL* c) {
            // made before the old one is freed, so that it cannot take its place
            X509_REVOKED* e = get_X509_CRL_revoked(c, 2);
            BIGINT* fresh = VSC_HEX_To_BIGINT("78");
            VSC_Free_BIGINT(e->userCertificate);
            e->userCertificate = fresh;
        },
        [&](X509_CRL* c) { add_X509_REVOKED_child(c, other.get(), date.get()); },
        [&](X509_CRL* c) { free_X509_EXTENSION(remove_X509_CRL_ext(c, 0)); },
        [&](X509_CRL* c) { set_X509_CRL_nextUpdate(c, date.get()); },
        // extensions changed through their own setters
        [&](X509_CRL* c) {
            set_X509_EXTENSION_data(get_X509_REVOKED_ext(get_X509_CRL_revoked(c, 2), 0), reasonValue.get());
        },
        [&](X509_CRL* c) { set_X509_EXTENSION_critical(get_X509_CRL_ext(c, 0), 1); },
    };
    int i = 0;
    for (const auto& change : changes) {
        SCOPED_TRACE(i++);
        Crl crl = decodeCrl(original);
        change(crl.get());
        const Bytes der = encodeCrl(crl.get());
        EXPECT_NE(der, original);
        EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), key), VSC_FAIL);
        // What was encoded is what the record holds.
        touch_X509_CRL(crl.get());
        EXPECT_EQ(encodeCrl(crl.get()), der);
    }
}

// A time the setters refuse (no value, or a type that is neither UTCTime nor
// GeneralizedTime) leaves the list and its entries as they were: it still
// verifies and encodes to the bytes it came from.
TEST(CrlSignature, RefusedTimesChangeNothing) {
    Cert ca = certOf("ca.der");
    const Bytes original = crlFixtureBytes("no-next-update.der");
    Time noValue(new_X509_TIME());
    Time badType(makeTime(X509_TIME_UTC, "240101000000Z"));
    badType->type = 2;
    for (const X509_TIME* bad :
         {static_cast<const X509_TIME*>(noValue.get()), static_cast<const X509_TIME*>(badType.get())}) {
        const std::function<int(X509_CRL*)> setters[] = {
            [&](X509_CRL* c) { return set_X509_CRL_thisUpdate(c, bad); },
            [&](X509_CRL* c) { return set_X509_CRL_nextUpdate(c, bad); },
            [&](X509_CRL* c) { return set_X509_REVOKED_revocationDate(get_X509_CRL_revoked(c, 0), bad); },
        };
        int i = 0;
        for (const auto& set : setters) {
            SCOPED_TRACE(i++);
            Crl crl = decodeCrl(original);
            ASSERT_NE(get_X509_CRL_revoked(crl.get(), 0), nullptr);
            EXPECT_EQ(set(crl.get()), 1);
            EXPECT_EQ(get_X509_CRL_nextUpdate(crl.get()), nullptr);
            EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), get_X509_SPKI(ca.get())), 0);
            EXPECT_EQ(encodeCrl(crl.get()), original);
        }
    }
}

// A list built by the setters, signed by the library, passes openssl.
TEST(CrlSigning, RsaListPassesOpenssl) {
    Cert ca = certOf("ca.der");
    Key key = caKey();
    Crl crl(new_X509_CRL());
    pkitest::String alg(index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA256", 10)));
    Time tu(makeTime(X509_TIME_UTC, "250101000000Z")), nu(makeTime(X509_TIME_GENERALIZED, "20991231000000Z"));
    ASSERT_EQ(set_X509_CRL_version(crl.get(), 1), 0);
    ASSERT_EQ(set_X509_CRL_signature(crl.get(), alg.get()), 0);
    ASSERT_EQ(set_X509_CRL_issuer(crl.get(), get_X509_subject(ca.get())), 0);
    ASSERT_EQ(set_X509_CRL_thisUpdate(crl.get(), tu.get()), 0);
    ASSERT_EQ(set_X509_CRL_nextUpdate(crl.get(), nu.get()), 0);
    for (const char* serial : {"7777", "1234", "05"}) {
        keytest::Big s(VSC_HEX_To_BIGINT(serial));
        ASSERT_EQ(add_X509_REVOKED_child(crl.get(), s.get(), tu.get()), 0);
    }
    pkitest::String reasonOid(index_to_OBJECT_IDENTIFIER(141));
    pkitest::String reasonValue(new_OCTET_STRING(fromHex("0a0101").data(), 3));
    Extension reason(create_X509_EXTENSION_by_OID(nullptr, reasonOid.get(), 0, reasonValue.get()));
    ASSERT_EQ(add_X509_REVOKED_ext(get_X509_CRL_revoked(crl.get(), 1), reason.get(), -1), 0);
    pkitest::String numberOid(index_to_OBJECT_IDENTIFIER(index_from_sn("crlNumber", 9)));
    pkitest::String numberValue(new_OCTET_STRING(fromHex("020102").data(), 3));
    Extension number(create_X509_EXTENSION_by_OID(nullptr, numberOid.get(), 0, numberValue.get()));
    ASSERT_EQ(add_X509_CRL_ext(crl.get(), number.get(), -1), 0);
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);

    BIT_STRING* sig = nullptr;
    ASSERT_EQ(gen_RSA_SIG_X509_CRL(crl.get(), &sig, alg.get(), static_cast<RSA_UNIT*>(key->key)), 0);
    pkitest::String owned(sig);
    ASSERT_EQ(set_X509_CRL_sig_alg(crl.get(), alg.get()), 0);
    ASSERT_EQ(set_X509_CRL_sig_value(crl.get(), sig), 0);
    EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), get_X509_SPKI(ca.get())), 0);

    const Bytes der = encodeCrl(crl.get());
    ASSERT_FALSE(der.empty());
    zqtest::TempDir dir("crlsign");
    zqtest::writeFile(dir / "built.der", std::string(der.begin(), der.end()));
    auto r = zqtest::run(
        {"openssl", "crl", "-inform", "DER", "-in", dir / "built.der", "-CAfile", crlFixtures() + "/ca.pem", "-noout"});
    EXPECT_EQ(r.status, 0) << r.output;
    // python-cryptography's strict DER reader: signature, entries, reasons.
    r = zqtest::run({zqtest::kPython, "-c",
                     "import sys\n"
                     "from cryptography import x509\n"
                     "ca = x509.load_pem_x509_certificate(open(sys.argv[1], 'rb').read())\n"
                     "crl = x509.load_der_x509_crl(open(sys.argv[2], 'rb').read())\n"
                     "print(crl.is_signature_valid(ca.public_key()), crl.extensions[0].value.crl_number,\n"
                     "      [(hex(e.serial_number), [x.value.reason.name for x in e.extensions]) for e in crl])",
                     crlFixtures() + "/ca.pem", dir / "built.der"});
    EXPECT_EQ(r.output, "True 2 [('0x5', []), ('0x1234', ['key_compromise']), ('0x7777', [])]\n") << r.output;
    const std::string text = pkitest::openssl({"crl", "-inform", "DER", "-in", dir / "built.der", "-noout", "-text"});
    // Sorted by serial, the reason with its entry.
    EXPECT_NE(text.find("Serial Number: 05"), std::string::npos) << text;
    EXPECT_LT(text.find("Serial Number: 05"), text.find("Serial Number: 1234"));
    EXPECT_LT(text.find("Serial Number: 1234"), text.find("Key Compromise"));
    EXPECT_LT(text.find("Key Compromise"), text.find("Serial Number: 7777"));

    // The leaf 0x1234 is on it, at the second place; 0x99 is not.
    Crl back = decodeCrl(der);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(verify_SIG_X509_CRL(back.get(), get_X509_SPKI(ca.get())), 0);
    EXPECT_EQ(verify_CRL_X509_CERT(back.get(), certOf("leaf.der").get()), 2);
    EXPECT_EQ(verify_CRL_X509_CERT(back.get(), certOf("other.der").get()), 0);

    // Refused algorithms and missing arguments.
    pkitest::String ecdsa(index_to_OBJECT_IDENTIFIER(index_from_sn("ecdsa-with-SHA256", 17)));
    EXPECT_EQ(gen_RSA_SIG_X509_CRL(crl.get(), &sig, ecdsa.get(), static_cast<RSA_UNIT*>(key->key)), 0x4805002b);
    EXPECT_EQ(gen_RSA_SIG_X509_CRL(crl.get(), &sig, alg.get(), nullptr), 0x48050049);
    EXPECT_EQ(gen_KCDSA_SIG_X509_CRL(nullptr, &sig, alg.get(), nullptr), 0x48070049);
    EXPECT_EQ(verify_RSA_SIG_X509_CRL(crl.get(), nullptr), 0x48060049);
    EXPECT_EQ(verify_SIG_X509_CRL(crl.get(), nullptr), 1);
    // The outer algorithm must be the one the body names.
    pkitest::String sha512(index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA512", 10)));
    ASSERT_EQ(set_X509_CRL_sig_alg(back.get(), sha512.get()), 0);
    EXPECT_EQ(verify_SIG_X509_CRL(back.get(), get_X509_SPKI(ca.get())), 0x4806002b);
    // EC keys are not for CRLs here.
    Cert ecCert = vectorCert("scottishpower-bitstring-dn.pem");
    EXPECT_EQ(verify_SIG_X509_CRL(back.get(), get_X509_SPKI(ecCert.get())), 1);
}

// KCDSA over SHA-256 has 32-byte r and s: signing and checking hold them.
TEST(CrlSigning, KcdsaWithSha256) {
    const auto v = keytest::kcdsaVector(2);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    Key key(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
    PubKey pub(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(pub.get(), unit), 0);

    Crl crl = crlFixture("openssl.der");
    pkitest::String alg(index_to_OBJECT_IDENTIFIER(index_from_sn("KCDSA1withSHA256", 16)));
    ASSERT_EQ(set_X509_CRL_signature(crl.get(), alg.get()), 0);
    BIT_STRING* sig = nullptr;
    ASSERT_EQ(gen_KCDSA_SIG_X509_CRL(crl.get(), &sig, alg.get(), unit), 0);
    pkitest::String owned(sig);
    ASSERT_EQ(set_X509_CRL_sig_alg(crl.get(), alg.get()), 0);
    ASSERT_EQ(set_X509_CRL_sig_value(crl.get(), sig), 0);
    unsigned char r[64], s[64];
    int rLen = sizeof r, sLen = sizeof s;
    ASSERT_EQ(decode_KCDSASignatureValue(r, &rLen, s, &sLen, sig->data, sig->length), 0);
    EXPECT_EQ(rLen, 32);

    Crl back = decodeCrl(encodeCrl(crl.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(verify_SIG_X509_CRL(back.get(), pub.get()), 0);
    back->signatureValue->data[back->signatureValue->length - 1] ^= 1;
    EXPECT_EQ(verify_SIG_X509_CRL(back.get(), pub.get()), VSC_FAIL);
    // A signature value that is not a KCDSA one.
    set_ASN1_STRING_value(back->signatureValue, ASN1_TAG_BIT_STRING, fromHex("3000").data(), 2);
    EXPECT_EQ(verify_KCDSA_SIG_X509_CRL(back.get(), static_cast<KCDSA_UNIT*>(pub->key->key)), 0x4808002b);
    EXPECT_EQ(gen_KCDSA_SIG_X509_CRL(crl.get(), &sig, alg.get(), nullptr), 0x48070049);
    pkitest::String rsaAlg(index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA256", 10)));
    EXPECT_EQ(gen_KCDSA_SIG_X509_CRL(crl.get(), &sig, rsaAlg.get(), unit), 0x4807002b);
}

// ===========================================================================
// Entries

TEST(CrlEntries, ReasonsMatchOpenssl) {
    const Bytes der = vectorBytes("custom/crl_all_reasons.pem");
    const std::string text =
        pkitest::openssl({"crl", "-inform", "DER", "-noout", "-text"}, std::string(der.begin(), der.end()));
    const std::map<std::string, int> codes = {
        {"Unspecified", 0},         {"Key Compromise", 1},         {"CA Compromise", 2},    {"Affiliation Changed", 3},
        {"Superseded", 4},          {"Cessation Of Operation", 5}, {"Certificate Hold", 6}, {"Remove From CRL", 8},
        {"Privilege Withdrawn", 9}, {"AA Compromise", 10}};
    // serial -> reason, -1 when the entry has none
    std::map<std::string, int> theirs;
    std::istringstream in(text);
    std::string serial;
    for (std::string line; std::getline(in, line);) {
        if (auto at = line.find("Serial Number: "); at != std::string::npos) {
            serial = line.substr(at + 15);
            theirs[serial] = -1;
        } else if (line.find("CRL Reason Code") != std::string::npos) {
            std::getline(in, line);
            line.erase(0, line.find_first_not_of(' '));
            ASSERT_TRUE(codes.count(line)) << line;
            theirs[serial] = codes.at(line);
        }
    }
    Crl crl = decodeCrl(der);
    ASSERT_NE(crl, nullptr);
    std::map<std::string, int> ours;
    for (int i = 0; i < get_X509_REVOKED_count(crl->info); ++i) {
        const X509_REVOKED* e = get_X509_REVOKED(crl->info, i);
        std::string s = serialHex(get_X509_REVOKED_userCert(e));
        if (s.size() % 2) s = "0" + s;
        const int at = get_X509_REVOKED_ext_index_by_OID_index(e, 141, -1);
        ours[s] = at < 0 ? -1 : get_X509_REVOKED_CRLreason(e, at);
        EXPECT_EQ(get_X509_REVOKED_CRLreason(e, at < 0 ? 0 : at + 1), 0);  // another extension, or none
    }
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(theirs.size(), 12u);
    EXPECT_EQ(get_X509_REVOKED_CRLreason(nullptr, 0), 0);
    EXPECT_EQ(get_X509_REVOKED_CRLreason(get_X509_REVOKED(crl->info, 1), -1), 0);
}

TEST(CrlEntries, SortAndLookup) {
    Crl crl(new_X509_CRL());
    Time date(makeTime(X509_TIME_UTC, "250101000000Z"));
    for (const char* s : {"05", "01", "03", "01"}) {
        keytest::Big serial(VSC_HEX_To_BIGINT(s));
        ASSERT_EQ(add_X509_REVOKED_child(crl.get(), serial.get(), date.get()), 0);
    }
    X509_REVOKED* secondOne = get_X509_CRL_revoked(crl.get(), 3);
    keytest::Big five(VSC_HEX_To_BIGINT("05"));
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);
    std::string order;
    for (int i = 0; i < 4; ++i) {
        const X509_REVOKED* e = get_X509_CRL_revoked(crl.get(), i);
        order += serialHex(e->userCertificate);
        EXPECT_EQ(e->position, i);
    }
    EXPECT_EQ(order, "01010305");
    EXPECT_EQ(get_X509_CRL_revoked(crl.get(), 1), secondOne);  // equal serials keep their order
    // An empty slot put on the list by hand sorts first and is passed over.
    ASSERT_NE(insert_STACK_value(crl->info->revokedCertificates, nullptr, 2), 0);
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);
    EXPECT_EQ(get_X509_CRL_revoked(crl.get(), 0), nullptr);
    EXPECT_EQ(get_X509_CRL_revoked(crl.get(), 2), secondOne);
    EXPECT_EQ(secondOne->position, 2);
    EXPECT_EQ(remove_STACK_value(crl->info->revokedCertificates, 0), nullptr);
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);
    // A serial set after sorting is sorted anew.
    keytest::Big zero(VSC_HEX_To_BIGINT("00"));
    ASSERT_EQ(set_X509_REVOKED_userCert(get_X509_CRL_revoked(crl.get(), 3), zero.get()), 0);
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);
    EXPECT_EQ(serialHex(get_X509_CRL_revoked(crl.get(), 0)->userCertificate), "00");
    ASSERT_EQ(set_X509_REVOKED_userCert(get_X509_CRL_revoked(crl.get(), 0), five.get()), 0);
    ASSERT_EQ(sort_X509_CRL_revoked(crl.get()), 0);

    // A match at the first place is told from no match.
    Cert cert(new_X509_CERT());
    keytest::Big one(VSC_HEX_To_BIGINT("01")), two(VSC_HEX_To_BIGINT("02"));
    ASSERT_EQ(set_X509_serial(cert.get(), one.get()), 0);
    EXPECT_EQ(verify_CRL_X509_CERT(crl.get(), cert.get()), 1);
    ASSERT_EQ(set_X509_serial(cert.get(), five.get()), 0);
    EXPECT_EQ(verify_CRL_X509_CERT(crl.get(), cert.get()), 4);
    ASSERT_EQ(set_X509_serial(cert.get(), two.get()), 0);
    EXPECT_EQ(verify_CRL_X509_CERT(crl.get(), cert.get()), 0);
    Cert bare(new_X509_CERT());
    EXPECT_EQ(verify_CRL_X509_CERT(crl.get(), bare.get()), -1);
    EXPECT_EQ(verify_CRL_X509_CERT(nullptr, cert.get()), -1);

    // Lookups and bounds on the entries.
    EXPECT_EQ(get_X509_REVOKED_count(nullptr), 1);
    EXPECT_EQ(get_X509_REVOKED(crl->info, 4), nullptr);
    EXPECT_EQ(get_X509_REVOKED(crl->info, -1), nullptr);
    EXPECT_EQ(sort_X509_CRL_revoked(nullptr), 1);
    X509_REVOKED* e = get_X509_CRL_revoked(crl.get(), 0);
    EXPECT_EQ(set_X509_REVOKED_userCert(e, e->userCertificate), 0);
    EXPECT_EQ(set_X509_REVOKED_userCert(nullptr, one.get()), 1);
    EXPECT_EQ(add_X509_CRL_revoked(crl.get(), nullptr), 1);

    // Copies of an entry carry its extensions.
    pkitest::String oid(index_to_OBJECT_IDENTIFIER(141));
    pkitest::String value(new_OCTET_STRING(fromHex("0a0105").data(), 3));
    Extension reason(create_X509_EXTENSION_by_OID(nullptr, oid.get(), 0, value.get()));
    ASSERT_EQ(add_X509_REVOKED_ext(e, reason.get(), -1), 0);
    std::unique_ptr<X509_REVOKED, FreeWith<free_X509_REVOKED>> copy(dup_X509_REVOKED(e));
    EXPECT_EQ(cmp_X509_REVOKED(copy.get(), e), 0);
    EXPECT_EQ(get_X509_REVOKED_CRLreason(copy.get(), 0), 5);
    // A CRLReason whose value does not read.
    set_ASN1_STRING_value(e->crlEntryExtensions ? get_X509_EXTENSION(e->crlEntryExtensions, 0)->extnValue : nullptr,
                          ASN1_TAG_OCTET_STRING, fromHex("0a0201").data(), 3);
    EXPECT_EQ(get_X509_REVOKED_CRLreason(e, 0), -1);
}

// ===========================================================================
// Lists of CRLs

TEST(CrlLists, RoundTripAndFaults) {
    Crls list(new_X509_CRLS());
    ASN1_UNIT* made = nullptr;
    EXPECT_EQ(X509_CRLS_to_Seq(list.get(), &made), 0x4811002b);
    EXPECT_EQ(X509_CRLS_to_Seq(nullptr, &made), 1);
    Crl a = crlFixture("openssl.der"), b = vectorCrl("PKITS_data/crls/GoodCACRL.crl");
    push_STACK_value(list.get(), dup_X509_CRL(a.get()));
    push_STACK_value(list.get(), dup_X509_CRL(b.get()));
    const Bytes der = encode(X509_CRLS_to_Seq, static_cast<const X509_CRLS*>(list.get()));
    EXPECT_EQ(der, seq({crlFixtureBytes("openssl.der"), vectorBytes("PKITS_data/crls/GoodCACRL.crl")}));

    X509_CRLS* back = nullptr;
    Node node = nodeOf(der);
    ASSERT_EQ(Seq_to_X509_CRLS(node.get(), &back), 0);
    Crls owned(back);
    ASSERT_EQ(get_STACK_count(back), 2);
    EXPECT_EQ(cmp_X509_CRL(static_cast<X509_CRL*>(get_STACK_value(back, 1)), b.get()), 0);
    // The [1] IMPLICIT form signed data carries.
    Bytes tagged = der;
    tagged[0] = 0xa1;
    Node taggedNode = nodeOf(tagged);
    ASSERT_EQ(Seq_to_X509_CRLS(taggedNode.get(), &back), 0);
    EXPECT_EQ(get_STACK_count(back), 4);

    // Faults leave the caller's list as it was.
    struct Case {
        Bytes der;
        PKI_ERROR code;
    } cases[] = {
        {seq({}), 0x4812002b},
        {seq({crlFixtureBytes("openssl.der"), tlv(0x02, {0x01})}), 0x48120104},
        {seq({crlFixtureBytes("openssl.der"), seq({tlv(0x02, {0x01})})}), 0x48020104},
    };
    for (const auto& c : cases) {
        Node n = nodeOf(c.der);
        EXPECT_EQ(Seq_to_X509_CRLS(n.get(), &back), c.code);
        EXPECT_EQ(get_STACK_count(back), 4);
    }
    EXPECT_EQ(Seq_to_X509_CRLS(nullptr, &back), 0x48120049);
    push_STACK_value(list.get(), nullptr);
    EXPECT_EQ(X509_CRLS_to_Seq(list.get(), &made), 0x4811002b);
}

TEST(CrlSetters, CodesAndEntryList) {
    Crl crl(new_X509_CRL());
    pkitest::String oid(index_to_OBJECT_IDENTIFIER(index_from_sn("RSA-SHA256", 10)));
    EXPECT_EQ(set_X509_CRL_version(nullptr, 1), 1);
    EXPECT_EQ(set_X509_CRL_signature(crl.get(), nullptr), 1);
    EXPECT_EQ(set_X509_CRL_issuer(nullptr, nullptr), 1);
    EXPECT_EQ(set_X509_CRL_thisUpdate(crl.get(), nullptr), 1);
    EXPECT_EQ(set_X509_CRL_sig_alg(nullptr, oid.get()), 1);
    EXPECT_EQ(set_X509_CRL_sig_value(crl.get(), nullptr), 1);
    EXPECT_EQ(set_X509_CRL_version(crl.get(), 0x101), 0);
    EXPECT_EQ(get_X509_CRL_version(crl.get()), 1);
    EXPECT_EQ(get_X509_CRL_version(nullptr), 0);
    EXPECT_EQ(get_X509_CRL_nextUpdate(crl.get()), nullptr);
    EXPECT_EQ(get_X509_CRL_revoked(crl.get(), 0), nullptr);

    // The entries as a SEQUENCE of their own, and back into another list.
    ASN1_UNIT* made = nullptr;
    EXPECT_EQ(X509_REVOKED_to_Seq(crl->info, &made), 0x4810002b);
    Crl full = crlFixture("openssl.der");
    const Bytes entries = encode(X509_REVOKED_to_Seq, static_cast<const X509_CRL_INFO*>(full->info));
    ASSERT_FALSE(entries.empty());
    const Bytes der = crlFixtureBytes("openssl.der");
    EXPECT_NE(std::search(der.begin(), der.end(), entries.begin(), entries.end()), der.end());
    Node node = nodeOf(entries);
    ASSERT_EQ(Seq_to_X509_REVOKED(node.get(), crl.get()), 0);
    ASSERT_EQ(Seq_to_X509_REVOKED(node.get(), crl.get()), 0);
    EXPECT_EQ(get_X509_REVOKED_count(crl->info), 6);
    EXPECT_EQ(get_X509_CRL_revoked(crl.get(), 5)->position, 5);
    Node empty = nodeOf(seq({}));
    EXPECT_EQ(Seq_to_X509_REVOKED(empty.get(), crl.get()), 1);
    EXPECT_EQ(Seq_to_X509_REVOKED(nullptr, crl.get()), 1);
    Node bad = nodeOf(seq({seq({tlv(0x02, {0x01})})}));
    EXPECT_EQ(Seq_to_X509_REVOKED(bad.get(), crl.get()), 0x48090104);
    EXPECT_EQ(get_X509_REVOKED_count(crl->info), 6);

    // A CRL without a body or entry list gets none from a list that fails.
    X509_CRL bare{};
    EXPECT_EQ(Seq_to_X509_REVOKED(bad.get(), &bare), 0x48090104);
    EXPECT_EQ(bare.info, nullptr);
    ASSERT_EQ(Seq_to_X509_REVOKED(node.get(), &bare), 0);
    EXPECT_EQ(get_X509_REVOKED_count(bare.info), 3);
    free_X509_REVOKED_LIST(bare.info->revokedCertificates);
    bare.info->revokedCertificates = nullptr;
    EXPECT_EQ(Seq_to_X509_REVOKED(bad.get(), &bare), 0x48090104);
    EXPECT_EQ(bare.info->revokedCertificates, nullptr);
    clean_X509_CRL(&bare);
}

}  // namespace

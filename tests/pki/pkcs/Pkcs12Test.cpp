// PKCS#12 records and codecs, the key derivation and the MAC, against the
// files openssl, NSS and python3-cryptography write.
#include "P12Helpers.h"

#include "asn1/convert.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace p12test;
using pkitest::toHex;

namespace {

// The contents of the authSafe's data: the AuthenticatedSafe's DER.
Bytes authSafeDer(const PKCS12* pfx) {
    const auto* data = static_cast<const ASN1_STRING*>(pfx->authSafe->content);
    return Bytes(data->data, data->data + data->length);
}

Safes safesOf(const PKCS12* pfx) {
    P12_AUTH_SAFE* safes = nullptr;
    EXPECT_EQ(PKCS12_to_P12_AUTH_SAFE(pfx, &safes), 0);
    return Safes(safes);
}

// The identifier and length octets of an element of n content octets.
Bytes header(unsigned char tag, size_t n) {
    Bytes out{tag};
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
        return out;
    }
    const int k = n > 0xffff ? 3 : n > 0xff ? 2 : 1;
    out.push_back(static_cast<unsigned char>(0x80 | k));
    for (int i = k - 1; i >= 0; --i) out.push_back(static_cast<unsigned char>(n >> (8 * i)));
    return out;
}
// The bytes of a DER element built from its parts.
Bytes tlv(unsigned char tag, const Bytes& contents) {
    Bytes out = header(tag, contents.size());
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes oidBytes(int row) {
    OBJECT_IDENTIFIER* oid = index_to_OBJECT_IDENTIFIER(row);
    unsigned char* der = nullptr;
    const int n = ASN1_STRING_to_binary(oid, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    VSC_FREE(der);
    free_OBJECT_IDENTIFIER(oid);
    return out;
}

int childCount(const Bytes& der) {
    zpki::der::Cursor c(der.data(), der.size());
    zpki::der::Element e;
    if (!zpki::der::getElement(c, e)) return -1;
    zpki::der::Cursor in(e.contents, e.contentsSize);
    int n = 0;
    while (!in.empty() && zpki::der::getElement(in, e)) ++n;
    return n;
}

std::string opensslInfo(const std::string& path, const std::string& password) {
    auto r =
        zqtest::run({"openssl", "pkcs12", "-info", "-noout", "-legacy", "-in", path, "-passin", "pass:" + password}, {},
                    {"OPENSSL_CONF=/dev/null"});
    return r.status == 0 ? "ok" : "refused";
}

}  // namespace

TEST(Pkcs12Codec, PeersFilesAreWrittenBackByteForByte) {
    for (const char* name : {"default.p12", "legacy.p12", "3des.p12", "nomaciter.p12", "empty.p12", "korean-pw.p12",
                             "python-keyonly.p12"}) {
        SCOPED_TRACE(name);
        const Bytes der = fixture(name);
        PKI_ERROR rc = -1;
        Pfx pfx = decodePfx(der, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(toHex(encodePfx(pfx.get())), toHex(der));
        // Every SafeContents in the clear, shrouded key bags included, too.
        Safes safes = safesOf(pfx.get());
        ASSERT_GT(get_STACK_count(safes.get()), 0);
        EXPECT_EQ(toHex(x509test::encode(P12_AUTH_SAFE_to_Seq, static_cast<const P12_AUTH_SAFE*>(safes.get()))),
                  toHex(authSafeDer(pfx.get())));
        for (int i = 0; i < get_STACK_count(safes.get()); ++i) {
            auto* ci = static_cast<P7_CONTENT_INFO*>(get_STACK_value(safes.get(), i));
            if (index_from_OBJECT_IDENTIFIER(ci->contentType) != P7_DATA) continue;
            const auto* data = static_cast<const ASN1_STRING*>(ci->content);
            Bags bags(get_PKCS12_p7data(ci));
            ASSERT_NE(bags, nullptr);
            EXPECT_EQ(toHex(x509test::encode(P12_SAFEBAGS_to_Seq, static_cast<const P12_SAFEBAGS*>(bags.get()))),
                      toHex(data->data, static_cast<size_t>(data->length)));
        }
    }
}

TEST(Pkcs12Codec, NssBerFileReadsAndOurDerOfItStillVerifies) {
    PKI_ERROR rc = -1;
    Pfx pfx = decodePfx(fixture("nss.p12"), &rc);
    ASSERT_EQ(rc, 0);
    // The MAC covers the joined contents of the constructed OCTET STRING.
    EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 0);
    zqtest::TempDir dir("p12nss");
    EXPECT_EQ(opensslInfo(writeTemp(dir, "der.p12", encodePfx(pfx.get())), kPass), "ok");
}

TEST(Pkcs12Codec, LayoutRules) {
    // MacData without iterations: none kept, and the MAC is over one.
    Pfx noIter = decodePfx(fixture("nomaciter.p12"));
    ASSERT_NE(noIter, nullptr);
    EXPECT_EQ(get_PKCS12_MAC_iter(noIter.get()), nullptr);
    EXPECT_EQ(verify_PKCS12_mac(noIter.get(), kPass, -1), 0);

    // No PFX without MacData, either way.
    Pfx pfx = decodePfx(fixture("legacy.p12"));
    ASSERT_NE(pfx, nullptr);
    free_P12_MAC_DATA(pfx->macData);
    pfx->macData = nullptr;
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(P12_PFX_to_Seq(pfx.get(), &node), (PKI_ERROR)0x4d0b002b);
    EXPECT_EQ(node, nullptr);
    const Bytes version = tlv(0x02, {0x03});
    const Bytes authSafe = x509test::encode(P7_CONTENT_INFO_to_Seq, static_cast<const P7_CONTENT_INFO*>(pfx->authSafe));
    PKI_ERROR rc = 0;
    EXPECT_EQ(decodePfx(tlv(0x30, cat({version, authSafe})), &rc), nullptr);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d0a0049);

    // Empty lists neither encode nor decode.
    Bags empty(new_P12_SAFEBAGS());
    node = nullptr;
    EXPECT_EQ(P12_SAFEBAGS_to_Seq(empty.get(), &node), (PKI_ERROR)0x4d03002b);
    Safes noSafes(new_P12_AUTH_SAFE());
    EXPECT_EQ(P12_AUTH_SAFE_to_Seq(noSafes.get(), &node), (PKI_ERROR)0x4d0e002b);
    EXPECT_EQ(node, nullptr);
    x509test::decodeWith<Bags>(Seq_to_P12_SAFEBAGS, {0x30, 0x00}, &rc);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d04002b);
    x509test::decodeWith<Safes>(Seq_to_P12_AUTH_SAFE, {0x30, 0x00}, &rc);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d0d002b);

    // A bag without its [0] value.
    x509test::decodeWith<Bag>(Seq_to_P12_SAFEBAG, tlv(0x30, oidBytes(P12_KEY_BAG)), &rc);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d060104);
}

TEST(Pkcs12Codec, BagsOfEveryKind) {
    // A certificate bag without attributes has two elements, and gives its
    // certificate back.
    Cert leaf = cert("leaf.der");
    Bag bag(new_P12_SAFEBAG());
    P12_SAFEBAG* filled = bag.get();
    ASSERT_EQ(X509_CERT_to_CertBag(leaf.get(), &filled), 0);
    const Bytes certBag = x509test::encode(P12_SAFEBAG_to_Seq, static_cast<const P12_SAFEBAG*>(bag.get()));
    EXPECT_EQ(childCount(certBag), 2);
    X509_CERT* back = nullptr;
    ASSERT_EQ(CertBag_to_X509_CERT(bag.get(), &back), 0);
    Cert owned(back);
    EXPECT_EQ(certDer(back), fixture("leaf.der"));
    EXPECT_EQ(CertBag_to_X509_CERT(nullptr, &back), (PKI_ERROR)0x4d020049);
    EXPECT_EQ(X509_CERT_to_CertBag(nullptr, &filled), (PKI_ERROR)0x4d010049);

    // Bodies by type: sdsiCertificate is an IA5String, other types keep the
    // tag of their value; bags of unknown types keep their value.
    const Bytes sdsi = tlv(0x30, cat({oidBytes(P12_SDSI_CERTIFICATE), tlv(0xa0, tlv(0x16, bytesOf("sdsi")))}));
    const Bytes secret = tlv(0x30, cat({pkitest::fromHex("06032a0304"), tlv(0xa0, tlv(0x30, tlv(0x04, {1, 2})))}));
    const Bytes unknownBag =
        tlv(0x30, cat({pkitest::fromHex("06032a0305"), tlv(0xa0, tlv(0x0c, bytesOf("x"))),
                       tlv(0x31, tlv(0x30, cat({oidBytes(P12_LOCAL_KEY_ID), tlv(0x31, tlv(0x04, {7}))})))}));
    const Bytes crlBag = tlv(
        0x30,
        cat({oidBytes(P12_CRL_BAG), tlv(0xa0, tlv(0x30, cat({oidBytes(P12_X509_CRL), tlv(0xa0, tlv(0x04, {9}))})))}));
    for (const Bytes* body : {&sdsi, &secret}) {
        PKI_ERROR rc = -1;
        auto b = x509test::decodeWith<std::unique_ptr<P12_BAGS, FreeWith<free_P12_BAGS>>>(Seq_to_P12_BAGS, *body, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(x509test::encode(P12_BAGS_to_Seq, static_cast<const P12_BAGS*>(b.get())), *body);
    }
    for (const Bytes* der : {&unknownBag, &crlBag}) {
        PKI_ERROR rc = -1;
        Bag b = x509test::decodeWith<Bag>(Seq_to_P12_SAFEBAG, *der, &rc);
        ASSERT_EQ(rc, 0);
        Bag copy(dup_P12_SAFEBAG(b.get()));
        EXPECT_EQ(cmp_P12_SAFEBAG(copy.get(), b.get()), 0);
        EXPECT_EQ(x509test::encode(P12_SAFEBAG_to_Seq, static_cast<const P12_SAFEBAG*>(copy.get())), *der);
    }
    // A certificate body of the wrong tag does not decode.
    PKI_ERROR rc = 0;
    x509test::decodeWith<std::unique_ptr<P12_BAGS, FreeWith<free_P12_BAGS>>>(
        Seq_to_P12_BAGS, tlv(0x30, cat({oidBytes(P12_X509_CERTIFICATE), tlv(0xa0, tlv(0x16, {1}))})), &rc);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d080104);
}

TEST(Pkcs12Codec, DeepNestingAndDamagedFilesFailCleanly) {
    // SafeContents nested far deeper than the stack would take, built from
    // the inside out (the bytes reversed, then turned round).
    const Bytes nestedOid = oidBytes(P12_SAFE_CONTENTS_BAG);
    Bytes rev;
    auto pushReversed = [&](const Bytes& b) { rev.insert(rev.end(), b.rbegin(), b.rend()); };
    pushReversed(
        tlv(0x30,
            tlv(0x30, cat({oidBytes(P12_SECRET_BAG),
                           tlv(0xa0, tlv(0x30, cat({pkitest::fromHex("06032a0304"), tlv(0xa0, tlv(0x04, {1}))})))}))));
    for (int level = 0; level < 100000; ++level) {
        pushReversed(header(0xa0, rev.size()));
        pushReversed(nestedOid);
        pushReversed(header(0x30, rev.size()));
        pushReversed(header(0x30, rev.size()));
    }
    const Bytes bomb(rev.rbegin(), rev.rend());
    PKI_ERROR rc = 0;
    EXPECT_EQ(x509test::decodeWith<Bags>(Seq_to_P12_SAFEBAGS, bomb, &rc), nullptr);
    EXPECT_EQ(rc, (PKI_ERROR)0x4d060104);

    // Every cut of a DER file and of NSS's BER file is refused.
    for (const char* name : {"legacy.p12", "nss.p12"}) {
        const Bytes der = fixture(name);
        for (size_t n = 0; n < der.size(); ++n) {
            Bytes cut(der.begin(), der.begin() + static_cast<long>(n));
            rc = 0;
            Pfx pfx = decodePfx(cut, &rc);
            EXPECT_NE(rc, 0) << name << " cut at " << n;
        }
    }
    // Any byte of a bag changed: an error and nothing, or a bag that copies
    // and encodes.
    Pfx pfx = decodePfx(fixture("legacy.p12"));
    Safes safes = safesOf(pfx.get());
    Bags bags(get_PKCS12_p7data(static_cast<P7_CONTENT_INFO*>(get_STACK_value(safes.get(), 1))));
    ASSERT_NE(bags, nullptr);
    const Bytes keyBag =
        x509test::encode(P12_SAFEBAG_to_Seq, static_cast<const P12_SAFEBAG*>(get_STACK_value(bags.get(), 0)));
    x509test::expectMutationsHarmless<Bag>(keyBag, Seq_to_P12_SAFEBAG, P12_SAFEBAG_to_Seq, dup_P12_SAFEBAG);
    Cert leaf = cert("leaf.der");
    Bag certBag(new_P12_SAFEBAG());
    P12_SAFEBAG* filled = certBag.get();
    ASSERT_EQ(X509_CERT_to_CertBag(leaf.get(), &filled), 0);
    ASSERT_EQ(add_PKCS12_LKID(certBag.get(), "id", 2), 0);
    ASSERT_EQ(add_PKCS12_friendlyname_ASC(certBag.get(), "name", -1), 0);
    x509test::expectMutationsHarmless<Bag>(
        x509test::encode(P12_SAFEBAG_to_Seq, static_cast<const P12_SAFEBAG*>(certBag.get())), Seq_to_P12_SAFEBAG,
        P12_SAFEBAG_to_Seq, dup_P12_SAFEBAG);
}

// ---- Key derivation and MAC --------------------------------------------------------

TEST(Pkcs12Kdf, MatchesOpensslForAsciiAndKoreanPasswords) {
    const std::string korean = "비밀번호 암호";
    auto hexOf = [](const Bytes& b) { return toHex(b); };
    auto widened = [](const std::string& pw) {  // 00 xx per byte, then 00 00
        Bytes out;
        for (unsigned char c : pw) out.insert(out.end(), {0x00, c});
        out.insert(out.end(), {0x00, 0x00});
        return out;
    };
    auto utf16 = [](const std::string& pw) {
        unsigned char* out = nullptr;
        const int n = zpki::text::utf8ToUtf16(pw, &out);
        Bytes b(out, out + n);
        VSC_FREE(out);
        b.insert(b.end(), {0x00, 0x00});
        return b;
    };
    struct Case {
        int digest;
        const char* name;
        std::string pw;
        bool asUtf16;
        Bytes salt;
        int id, iterations, n;
    } cases[] = {
        {VSC_DIGEST_SHA1, "SHA1", "p12 pass", false, Bytes(8, 0x5a), PKCS12_KEY_ID, 2048, 24},
        {VSC_DIGEST_SHA1, "SHA1", korean, false, Bytes(8, 0x11), PKCS12_IV_ID, 2048, 8},
        {VSC_DIGEST_SHA1, "SHA1", korean, true, Bytes(20, 0x22), PKCS12_MAC_ID, 1, 20},
        {VSC_DIGEST_SHA256, "SHA256", korean, true, Bytes(16, 0x33), PKCS12_MAC_ID, 3, 32},
        {VSC_DIGEST_SHA512, "SHA512", "p12 pass", false, Bytes(70, 0x44), PKCS12_KEY_ID, 2, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.pw);
        const Bytes bmp = c.asUtf16 ? utf16(c.pw) : widened(c.pw);
        DIGEST_UNIT* unit = VSC_New_DIGEST_Unit();
        ASSERT_EQ(VSC_Init_DIGEST(unit, c.digest), 0);
        Bytes ours(static_cast<size_t>(c.n));
        const int rc =
            c.asUtf16 ? get_PKCS12_key_UNI(bmp.data(), static_cast<int>(bmp.size()), c.salt.data(),
                                           static_cast<int>(c.salt.size()), c.id, c.iterations, c.n, ours.data(), unit)
                      : gen_PKCS12_key_ASC(c.pw.c_str(), -1, c.salt.data(), static_cast<int>(c.salt.size()), c.id,
                                           c.iterations, c.n, ours.data(), unit);
        VSC_Free_DIGEST_Unit(unit);
        ASSERT_EQ(rc, 0);
        auto r =
            zqtest::run({"openssl", "kdf", "-keylen", std::to_string(c.n), "-kdfopt", std::string("digest:") + c.name,
                         "-kdfopt", "hexpass:" + hexOf(bmp), "-kdfopt", "hexsalt:" + hexOf(c.salt), "-kdfopt",
                         "iter:" + std::to_string(c.iterations), "-kdfopt", "id:" + std::to_string(c.id), "PKCS12KDF"});
        std::string theirs;
        for (char ch : r.output)
            if (std::isxdigit(static_cast<unsigned char>(ch))) theirs += static_cast<char>(std::tolower(ch));
        EXPECT_EQ(hexOf(ours), theirs);
    }
}

TEST(Pkcs12Mac, SettingRulesAndDigests) {
    zqtest::TempDir dir("p12mac");
    const Bytes saltBytes(20, 0x7c);
    struct Case {
        int iterations, digest;
        const char* iterDer;  // the iterations INTEGER written, "" for none
        bool opensslReads;
    } cases[] = {
        {1, 0, "", true},
        {2048, VSC_DIGEST_SHA1, "020208 00", true},
        {0, VSC_DIGEST_SHA256, "020208 00", true},
        {3, VSC_DIGEST_SHA384, "020103", true},
        {70000, VSC_DIGEST_SHA512, "0203011170", true},
        {1, VSC_DIGEST_HAS160, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iterations);
        Pfx pfx = decodePfx(fixture("legacy.p12"));
        ASSERT_NE(pfx, nullptr);
        free_P12_MAC_DATA(pfx->macData);
        pfx->macData = nullptr;
        ASSERT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, saltBytes.data(), 20, c.iterations, c.digest), 0);
        const Bytes macDer = x509test::encode(P12_MAC_DATA_to_Seq, static_cast<const P12_MAC_DATA*>(pfx->macData));
        std::string expected = c.iterDer;
        expected.erase(std::remove(expected.begin(), expected.end(), ' '), expected.end());
        const std::string hex = toHex(macDer);
        const std::string saltTail = "0414" + toHex(saltBytes);
        ASSERT_NE(hex.find(saltTail), std::string::npos);
        EXPECT_EQ(hex.substr(hex.find(saltTail) + saltTail.size()), expected);
        EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 0);
        EXPECT_EQ(verify_PKCS12_mac(pfx.get(), "other", -1), -1);
        if (c.opensslReads) {
            EXPECT_EQ(opensslInfo(writeTemp(dir, "mac.p12", encodePfx(pfx.get())), kPass), "ok");
        }
    }

    // MAC data that has a salt keeps it, and its count, on a new MAC.
    Pfx pfx = decodePfx(fixture("3des.p12"));
    const Bytes before = x509test::encode(P12_MAC_DATA_to_Seq, static_cast<const P12_MAC_DATA*>(pfx->macData));
    ASSERT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, nullptr, 20, 1, VSC_DIGEST_SHA1), 0);
    EXPECT_EQ(x509test::encode(P12_MAC_DATA_to_Seq, static_cast<const P12_MAC_DATA*>(pfx->macData)), before);
    // No salt: random octets of the length asked for.
    free_P12_MAC_DATA(pfx->macData);
    pfx->macData = nullptr;
    ASSERT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, nullptr, 0, 1, 0), 0);
    EXPECT_EQ(pfx->macData->macSalt->length, 8);
    EXPECT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, nullptr, 0, 1, VSC_DIGEST_MD5), (PKI_ERROR)0x4d11010d);
    EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 0);  // the failed call changed nothing
    EXPECT_EQ(set_PKCS12_mac(nullptr, kPass, -1, nullptr, 0, 1, 0), (PKI_ERROR)0x4d110049);
    // Nothing to compute a MAC over: an error, and the MAC data as it was.
    P7_CONTENT_INFO* authSafe = std::exchange(pfx->authSafe, nullptr);
    EXPECT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, nullptr, 0, 1, VSC_DIGEST_SHA256), (PKI_ERROR)0x4d11010e);
    pfx->authSafe = authSafe;
    EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 0);
    free_P12_MAC_DATA(pfx->macData);
    pfx->macData = nullptr;
    EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 1);
}

TEST(Pkcs12Mac, ANegativeCountIsRefused) {
    // legacy.p12's MAC runs 2048 rounds (02 02 08 00); the same octets with
    // the sign bit set (-2048) are no count a MAC was made with.
    Pfx pfx = decodePfx(fixture("legacy.p12"));
    ASSERT_NE(pfx, nullptr);
    ASSERT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 0);
    Bytes mac = x509test::encode(P12_MAC_DATA_to_Seq, static_cast<const P12_MAC_DATA*>(pfx->macData));
    ASSERT_EQ(toHex(Bytes(mac.end() - 4, mac.end())), "02020800");
    mac[mac.size() - 2] = 0xf8;
    std::unique_ptr<ASN1_UNIT, FreeWith<free_ASN1_UNIT>> node(
        decodeToDERSequence(mac.data(), static_cast<int>(mac.size())));
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(Seq_to_P12_MAC_DATA(node.get(), &pfx->macData), 0);
    EXPECT_EQ(verify_PKCS12_mac(pfx.get(), kPass, -1), 1);
    Imported got;
    importInto(got, pfx.get(), kPass);
    EXPECT_EQ(got.rc, (PKI_ERROR)0x4d0f005e);
    EXPECT_EQ(got.keys, nullptr);
    // openssl does not open the file either.
    zqtest::TempDir dir("p12count");
    EXPECT_NE(opensslInfo(writeTemp(dir, "count.p12", encodePfx(pfx.get())), kPass), "ok");
}

TEST(Pkcs12Safes, EncryptedSafeRoundTripAndRefusals) {
    Cert leaf = cert("leaf.der");
    P12_SAFEBAGS* made = nullptr;
    ASSERT_NE(add_PKCS12_cert(&made, leaf.get()), nullptr);
    Bags bags(made);
    const unsigned char salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ContentInfo safe(gen_PKCS12_p7encdata(P12_DEFAULT_PBE, kPass, -1, salt, 8, 0, bags.get()));
    ASSERT_NE(safe, nullptr);
    // The caller's salt and the default count in the PBE parameters.
    const std::string der =
        toHex(x509test::encode(P7_CONTENT_INFO_to_Seq, static_cast<const P7_CONTENT_INFO*>(safe.get())));
    EXPECT_NE(der.find("300e0408010203040506070802020800"), std::string::npos) << der;
    Bags back(get_PKCS12_p7encdata(safe.get(), kPass, -1));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(cmp_P12_SAFEBAG(static_cast<P12_SAFEBAG*>(get_STACK_value(back.get(), 0)),
                              static_cast<P12_SAFEBAG*>(get_STACK_value(bags.get(), 0))),
              0);
    EXPECT_EQ(get_PKCS12_p7encdata(safe.get(), "wrong", -1), nullptr);
    // openssl's legacy certificate safe under a password that is not ASCII:
    // its PKCS#12 derivation takes the password in UTF-16.
    Pfx korean = decodePfx(fixture("korean-legacy.p12"));
    ASSERT_NE(korean, nullptr);
    Safes koreanSafes = safesOf(korean.get());
    int opened = 0;
    for (int i = 0; i < get_STACK_count(koreanSafes.get()); ++i) {
        const auto* ci = static_cast<const P7_CONTENT_INFO*>(get_STACK_value(koreanSafes.get(), i));
        if (index_from_OBJECT_IDENTIFIER(ci->contentType) != P7_ENCRYPTED_DATA_TYPE) continue;
        Bags certs(get_PKCS12_p7encdata(ci, "비밀번호", -1));
        EXPECT_NE(certs, nullptr);
        EXPECT_EQ(get_PKCS12_p7encdata(ci, "비밀번호x", -1), nullptr);
        ++opened;
    }
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(get_PKCS12_p7data(safe.get()), nullptr);                                  // not a plain safe
    EXPECT_EQ(gen_PKCS12_p7encdata(0, kPass, -1, nullptr, 0, 0, bags.get()), nullptr);  // no such algorithm
    Bags none(new_P12_SAFEBAGS());
    EXPECT_EQ(gen_PKCS12_p7encdata(P12_DEFAULT_PBE, kPass, -1, nullptr, 0, 0, none.get()), nullptr);
    P12_AUTH_SAFE* safes = nullptr;
    EXPECT_EQ(PKCS12_add_safe(&safes, none.get(), -1, 0, nullptr), 1);
    EXPECT_EQ(safes, nullptr);
}

// PKCS#12 import of the files openssl, NSS and python3-cryptography write,
// and export of files they read back with the same key and certificates.
#include "P12Helpers.h"

#include <zunPKI/asn1/convert.h>

#include <map>
#include <set>
#include <sstream>

using namespace p12test;
using pkitest::toHex;

namespace {

const std::string kVectors = "/usr/lib/python3/dist-packages/cryptography_vectors/pkcs12";

std::string name() { return textOf(fixture("name.txt")); }

zqtest::RunResult openssl(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, input, {"OPENSSL_CONF=/dev/null"});
}

// The private key openssl takes out of a PFX, as PrivateKeyInfo DER.
Bytes opensslKey(const std::string& path, const std::string& password) {
    auto pem = openssl({"pkcs12", "-in", path, "-passin", "pass:" + password, "-legacy", "-nocerts", "-nodes"});
    if (pem.status != 0) return {};
    return bytesOf(openssl({"pkcs8", "-topk8", "-nocrypt", "-outform", "DER"}, pem.output).output);
}

// What p12_peer.py prints for one file: the key and (certificate, name) pairs.
struct PeerView {
    std::string key;
    std::vector<std::pair<std::string, std::string>> certs;
};
PeerView pythonView(const std::string& path, const std::string& password) {
    auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/pkcs/p12_peer.py", path, password});
    EXPECT_EQ(r.status, 0);
    PeerView v;
    std::istringstream in(r.output);
    std::string what, a, b;
    while (in >> what >> a) {
        if (what == "key") {
            v.key = a == "-" ? "" : a;
        } else {
            in >> b;
            v.certs.emplace_back(a, b == "-" ? "" : b);
        }
    }
    return v;
}

// A PFX built the way the core library builds its exports: a shrouded key
// bag in a plain safe, the certificates in a safe of their own, both bags of
// the key's certificate with the SHA-1 of its DER as localKeyID.
struct Export {
    int certPbe = P12_DEFAULT_PBE;
    int keyPbe = P12_DEFAULT_PBE;
    const char* password = kPass;
    std::string friendlyName;
    int digest = VSC_DIGEST_SHA1;
    int keyUsage = 0;
};
Bytes exportPfx(const Export& e) {
    Cert leaf = cert("leaf.der"), ca = cert("ca.der");
    KeyInfo leafKey = key("leaf.p8");
    unsigned char id[VSC_MAX_DIGEST_LENGTH];
    int idLen = 0;
    EXPECT_EQ(X509_CERT_digest(leaf.get(), VSC_DIGEST_SHA1, id, &idLen), 0);
    P12_SAFEBAGS* keyBags = nullptr;
    P12_SAFEBAGS* certBags = nullptr;
    P12_SAFEBAG* keyBag = add_PKCS12_keyinfo(&keyBags, leafKey.get(), e.keyUsage, 2048, e.keyPbe, e.password);
    P12_SAFEBAG* certBag = add_PKCS12_cert(&certBags, leaf.get());
    Bags ownKeys(keyBags), ownCerts(certBags);
    EXPECT_NE(keyBag, nullptr);
    EXPECT_NE(certBag, nullptr);
    if (!keyBag || !certBag) return {};
    for (P12_SAFEBAG* bag : {keyBag, certBag}) {
        EXPECT_EQ(add_PKCS12_LKID(bag, id, idLen), 0);
        if (!e.friendlyName.empty()) {
            EXPECT_EQ(add_PKCS12_friendlyname_ASC(bag, e.friendlyName.c_str(), -1), 0);
        }
    }
    EXPECT_NE(add_PKCS12_cert(&certBags, ca.get()), nullptr);
    P12_AUTH_SAFE* safes = nullptr;
    EXPECT_EQ(PKCS12_add_safe(&safes, certBags, e.certPbe, 2048, e.password), 0);
    EXPECT_EQ(PKCS12_add_safe(&safes, keyBags, -1, 0, nullptr), 0);
    Safes ownSafes(safes);
    Pfx pfx(PKCS12_add_safes(safes));
    EXPECT_NE(pfx, nullptr);
    if (!pfx) return {};
    EXPECT_EQ(set_PKCS12_mac(pfx.get(), e.password, -1, nullptr, 20, 1, e.digest), 0);
    return encodePfx(pfx.get());
}

// One key equal to the leaf's, the leaf with its bag attributes, the CA.
void expectLeafKeyAndCa(const Imported& in, const std::string& friendly) {
    ASSERT_EQ(in.rc, 0);
    ASSERT_EQ(in.count(in.keys), 1);
    EXPECT_EQ(toHex(keyDer(in.key(0))), toHex(fixture("leaf.p8")));
    ASSERT_EQ(in.count(in.certs), 1);
    EXPECT_EQ(certDer(in.cert(0)), fixture("leaf.der"));
    EXPECT_EQ(friendlyOf(in.cert(0)), friendly);
    int len = 0;
    EXPECT_NE(get_X509_AUX_localkey(in.cert(0), &len), nullptr);
    ASSERT_EQ(in.count(in.cas), 1);
    EXPECT_EQ(certDer(in.ca(0)), fixture("ca.der"));
}

}  // namespace

TEST(Pkcs12Import, PeersFilesOfEveryForm) {
    struct Case {
        const char* file;
        const char* password;
    } cases[] = {
        {"default.p12", kPass},
        {"legacy.p12", kPass},
        {"3des.p12", kPass},
        {"nomaciter.p12", kPass},
        {"nss.p12", kPass},
        {"korean-pw.p12", "비밀번호"},
        {"empty.p12", nullptr},
        {"empty.p12", ""},
        {"empty-legacy.p12", ""},
        {"empty-legacy.p12", nullptr},
        {"korean-legacy.p12", "비밀번호"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + (c.password ? c.password : "(null)"));
        Pfx pfx = decodePfx(fixture(c.file));
        ASSERT_NE(pfx, nullptr);
        Imported in;
        importInto(in, pfx.get(), c.password);
        expectLeafKeyAndCa(in, name());

        Imported wrong;
        importInto(wrong, pfx.get(), "wrong");
        EXPECT_EQ(wrong.rc, (PKI_ERROR)0x4d0f005e);
        EXPECT_EQ(wrong.keys, nullptr);
        EXPECT_EQ(wrong.certs, nullptr);
    }
}

TEST(Pkcs12Import, PythonVectorsReadAsPythonReadsThem) {
    auto r = zqtest::run({zqtest::kPython, zqtest::sourceDir() + "/tests/pki/pkcs/p12_peer.py", "vectors", kVectors});
    ASSERT_EQ(r.status, 0);
    std::istringstream lines(r.output);
    std::string file, password, certs;
    int hasKey = 0, seen = 0;
    while (lines >> file >> password >> hasKey >> certs) {
        SCOPED_TRACE(file);
        ++seen;
        Pfx pfx = decodePfx(pkitest::readBytes(kVectors + "/" + file));
        ASSERT_NE(pfx, nullptr);
        Imported in;
        importInto(in, pfx.get(), password == "-" ? nullptr : password.c_str());
        ASSERT_EQ(in.rc, 0);
        EXPECT_EQ(in.count(in.keys), hasKey);
        std::set<std::string> ours;
        for (STACK* list : {in.certs, in.cas}) {
            for (int i = 0; i < in.count(list); ++i) {
                auto* cert = static_cast<X509_CERT*>(get_STACK_value(list, i));
                unsigned char sha1[VSC_MAX_DIGEST_LENGTH];
                int n = 0;
                ASSERT_EQ(X509_CERT_digest(cert, VSC_DIGEST_SHA1, sha1, &n), 0);
                ours.insert(toHex(sha1, static_cast<size_t>(n)) + ":" + toHex(bytesOf(friendlyOf(cert))));
            }
        }
        std::string joined;
        for (const auto& s : ours) joined += (joined.empty() ? "" : ",") + s;
        EXPECT_EQ(joined.empty() ? "-" : joined, certs);
    }
    EXPECT_GE(seen, 30);
}

TEST(Pkcs12Import, KeysWithoutLocalKeyIdNestingAndTheCallersLists) {
    // A shrouded key bag without localKeyID is imported, not dropped.
    Pfx keyOnly = decodePfx(fixture("python-keyonly.p12"));
    Imported in;
    importInto(in, keyOnly.get(), kPass);
    ASSERT_EQ(in.rc, 0);
    ASSERT_EQ(in.count(in.keys), 1);
    EXPECT_EQ(toHex(keyDer(in.key(0))), toHex(fixture("leaf.p8")));
    EXPECT_EQ(in.count(in.certs) + in.count(in.cas), 0);

    // Bags nested as deep as allowed are imported; a plain key bag without
    // localKeyID fails the import and leaves the caller's lists alone.
    Cert leaf = cert("leaf.der");
    KeyInfo leafKey = key("leaf.p8");
    auto pfxOf = [](P12_SAFEBAGS* bags) {
        P12_AUTH_SAFE* safes = nullptr;
        EXPECT_EQ(PKCS12_add_safe(&safes, bags, -1, 0, nullptr), 0);
        Safes owned(safes);
        Pfx pfx(PKCS12_add_safes(safes));
        EXPECT_EQ(set_PKCS12_mac(pfx.get(), kPass, -1, nullptr, 0, 0, 0), 0);
        return pfx;
    };
    auto nested = [&](int depth) {
        P12_SAFEBAGS* bags = nullptr;
        EXPECT_NE(add_PKCS12_cert(&bags, leaf.get()), nullptr);
        for (int i = 0; i < depth; ++i) {
            Bag bag(new_P12_SAFEBAG());
            bag->bagId = index_to_OBJECT_IDENTIFIER(P12_SAFE_CONTENTS_BAG);
            bag->bagValue = bags;
            bags = nullptr;
            EXPECT_EQ(add_PKCS12_bag(&bags, bag.release()), 0);
        }
        Bags owned(bags);
        return encodePfx(pfxOf(bags).get());
    };
    Pfx deep = decodePfx(nested(P12_MAX_BAG_NESTING));
    Imported deepIn;
    importInto(deepIn, deep.get(), kPass);
    EXPECT_EQ(deepIn.rc, 0);
    EXPECT_EQ(deepIn.count(deepIn.certs), 1);
    Pfx tooDeep = decodePfx(nested(P12_MAX_BAG_NESTING + 1));
    ASSERT_NE(tooDeep, nullptr);  // the safes are opaque to the PFX codec
    Imported tooDeepIn;
    importInto(tooDeepIn, tooDeep.get(), kPass);
    EXPECT_EQ(tooDeepIn.rc, (PKI_ERROR)0x4d0f0104);

    P12_SAFEBAGS* bags = nullptr;
    ASSERT_NE(add_PKCS12_cert(&bags, leaf.get()), nullptr);
    ASSERT_NE(add_PKCS12_keyinfo(&bags, leafKey.get(), 0, 0, -1, nullptr), nullptr);
    Bags owned(bags);
    Pfx plainKey = pfxOf(bags);
    Imported callers;
    callers.keys = new_STACK();
    callers.certs = new_STACK();
    ASSERT_NE(push_STACK_value(callers.keys, dup_P8_PRIV_KEY_INFO(leafKey.get())), 0);
    importInto(callers, plainKey.get(), kPass);
    EXPECT_EQ(callers.rc, (PKI_ERROR)0x4d0f0104);
    EXPECT_EQ(callers.count(callers.keys), 1);
    EXPECT_EQ(callers.count(callers.certs), 0);
    EXPECT_EQ(callers.cas, nullptr);
    // With its localKeyID it imports, appended to the caller's lists.
    ASSERT_EQ(add_PKCS12_LKID(static_cast<P12_SAFEBAG*>(get_STACK_value(bags, 1)), "k", 1), 0);
    Pfx withId = pfxOf(bags);
    importInto(callers, withId.get(), kPass);
    EXPECT_EQ(callers.rc, 0);
    EXPECT_EQ(callers.count(callers.keys), 2);
    EXPECT_EQ(callers.count(callers.certs), 1);
    EXPECT_EQ(import_PKCS12(nullptr, kPass, -1, &callers.keys, &callers.certs, &callers.cas), (PKI_ERROR)0x4d0f0049);
}

TEST(Pkcs12Export, DefaultPfxReadsInOpensslNssAndPython) {
    zqtest::TempDir dir("p12export");
    const std::string path = writeTemp(dir, "ours.p12", exportPfx({.friendlyName = name()}));

    auto info = openssl({"pkcs12", "-info", "-noout", "-legacy", "-in", path, "-passin", std::string("pass:") + kPass});
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(toHex(opensslKey(path, kPass)), toHex(fixture("leaf.p8")));

    zqtest::run({"certutil", "-N", "-d", "sql:" + dir.path(), "--empty-password"});
    auto nss = zqtest::run({"pk12util", "-l", path, "-d", "sql:" + dir.path(), "-W", kPass});
    EXPECT_EQ(nss.status, 0) << nss.output;
    EXPECT_NE(nss.output.find("Friendly Name: " + name()), std::string::npos) << nss.output;
    // Imported, NSS pairs the key with the leaf by its localKeyID: the key
    // takes the leaf's name and the leaf counts as the user's own (u,u,u).
    nss = zqtest::run({"pk12util", "-i", path, "-d", "sql:" + dir.path(), "-W", kPass});
    EXPECT_EQ(nss.status, 0) << nss.output;
    auto keys = zqtest::run({"certutil", "-K", "-d", "sql:" + dir.path()});
    EXPECT_NE(keys.output.find("rsa"), std::string::npos) << keys.output;
    EXPECT_NE(keys.output.find(name()), std::string::npos) << keys.output;
    auto certs = zqtest::run({"certutil", "-L", "-d", "sql:" + dir.path(), "-n", name()});
    EXPECT_EQ(certs.status, 0) << certs.output;
    EXPECT_NE(certs.output.find("User"), std::string::npos) << certs.output;

    PeerView py = pythonView(path, kPass);
    EXPECT_EQ(py.key, toHex(fixture("leaf.p8")));
    ASSERT_EQ(py.certs.size(), 2u);
    EXPECT_EQ(py.certs[0].first, toHex(fixture("leaf.der")));
    EXPECT_EQ(py.certs[0].second, toHex(bytesOf(name())));
    EXPECT_EQ(py.certs[1].first, toHex(fixture("ca.der")));

    Pfx back = decodePfx(pkitest::readBytes(path));
    Imported in;
    importInto(in, back.get(), kPass);
    expectLeafKeyAndCa(in, name());
}

TEST(Pkcs12Export, EveryPbeAlgorithmAndEmptyPasswords) {
    zqtest::TempDir dir("p12rows");
    const int aes256 = index_from_sn("AES-256-CBC", 11);
    ASSERT_GT(aes256, 0);
    struct Case {
        int certPbe, keyPbe;
        const char* password;
        int digest;
    } cases[] = {
        {144, 145, kPass, VSC_DIGEST_SHA256},       {145, 144, kPass, VSC_DIGEST_SHA1},
        {147, 148, kPass, VSC_DIGEST_SHA512},       {149, 149, kPass, VSC_DIGEST_SHA1},
        {aes256, aes256, kPass, VSC_DIGEST_SHA256}, {146, 146, "", VSC_DIGEST_SHA1},
        {-1, -1, nullptr, VSC_DIGEST_SHA1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.certPbe) + "/" + std::to_string(c.keyPbe));
        const Bytes der = exportPfx({.certPbe = c.certPbe,
                                     .keyPbe = c.keyPbe,
                                     .password = c.password,
                                     .friendlyName = "name",
                                     .digest = c.digest});
        ASSERT_FALSE(der.empty());
        const std::string path = writeTemp(dir, "rows.p12", der);
        EXPECT_EQ(toHex(opensslKey(path, c.password ? c.password : "")), toHex(fixture("leaf.p8")));
        Pfx pfx = decodePfx(der);
        for (const char* pw : {c.password, c.password ? c.password : ""}) {
            Imported in;
            importInto(in, pfx.get(), pw);
            expectLeafKeyAndCa(in, "name");
        }
    }
}

TEST(Pkcs12Attributes, NamesIdsAndKeyUsage) {
    // A name in EUC-KR is stored as the same UTF-16 text as in UTF-8.
    ASN1_STRING utf8{ASN1_TAG_UTF8_STRING, nullptr, 0, 0};
    const std::string korean = name();
    utf8.data = reinterpret_cast<unsigned char*>(const_cast<char*>(korean.data()));
    utf8.length = static_cast<int>(korean.size());
    char* euckr = nullptr;
    ASSERT_GT(utf8ToCP949(&utf8, &euckr), 0);
    for (const char* text : {korean.c_str(), static_cast<const char*>(euckr)}) {
        Bag bag(new_P12_SAFEBAG());
        EXPECT_EQ(get_PKCS12_friendlyname(bag.get()), nullptr);
        EXPECT_EQ(add_PKCS12_friendlyname_UNI(bag.get(), "\0a", 2), 0);  // no attribute list yet
        ASSERT_EQ(add_PKCS12_friendlyname_ASC(bag.get(), text, -1), 0);
        char* back = get_PKCS12_friendlyname(bag.get());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::string(back), korean);
        VSC_FREE(back);
        const ASN1_STRING* value = get_PKCS12_attribute(bag->bagAttributes, P12_FRIENDLY_NAME);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, ASN1_TAG_BMP_STRING);
        EXPECT_EQ(toHex(value->data, 4), "d64dae38");  // 홍길: U+D64D U+AE38
    }
    VSC_FREE(euckr);

    // keyUsage on the key: a one-octet BIT STRING without its trailing zero bits.
    KeyInfo leafKey = key("leaf.p8");
    for (auto [usage, bits] : {std::pair{48, "03020430"}, std::pair{192, "030206c0"}}) {
        P12_SAFEBAGS* bags = nullptr;
        P12_SAFEBAG* bag = add_PKCS12_keyinfo(&bags, leafKey.get(), usage, 0, -1, nullptr);
        Bags owned(bags);
        ASSERT_NE(bag, nullptr);
        const std::string der = toHex(keyDer(static_cast<P8_PRIV_KEY_INFO*>(bag->bagValue)));
        EXPECT_NE(der.find("0603551d0f3104" + std::string(bits)), std::string::npos) << der;
    }
    P12_SAFEBAGS* bags = nullptr;
    EXPECT_EQ(add_PKCS12_keyinfo(&bags, leafKey.get(), -1, 0, -1, nullptr), nullptr);
    EXPECT_EQ(bags, nullptr);
    EXPECT_EQ(add_PKCS12_bag(nullptr, nullptr), (PKI_ERROR)0x4d120049);
    EXPECT_EQ(get_PKCS12_shr_keybag(146, nullptr, 0, nullptr, 0, 0, leafKey.get()), nullptr);
}

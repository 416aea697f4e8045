// PKCS #10 certification requests: the python-cryptography vectors with their
// attributes (pyasn1 as the reader beside us), openssl's and python's
// requests, requests made and signed here checked by openssl and python, the
// extension request in both value forms, KCDSA, and the edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "CertTestUtil.h"
#include "KeyTestUtil.h"
#include <zunPKI/x509/pkcs10.h>

using namespace x509test;

namespace {

using Req = std::unique_ptr<PKCS10_X509_REQ, FreeWith<free_PKCS10_X509_REQ>>;
using Info = std::unique_ptr<PKCS10_X509_REQ_INFO, FreeWith<free_PKCS10_X509_REQ_INFO>>;
using Key = keytest::Key;

Req decodeReq(const Bytes& der, PKI_ERROR* rc = nullptr) { return decodeWith<Req>(Seq_to_PKCS10_X509_REQ, der, rc); }
Bytes encodeReq(const PKCS10_X509_REQ* req) { return encode(PKCS10_X509_REQ_to_Seq, req); }

const std::string& reqFixtures() {
    static zqtest::TempDir dir("reqfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/x509/make_req_fixtures.sh", dir);
    return path;
}

Bytes reqFixtureBytes(const std::string& name) {
    EXPECT_FALSE(reqFixtures().empty()) << "fixture script failed";
    return pkitest::readBytes(reqFixtures() + "/" + name);
}

Req reqFixture(const std::string& name) {
    PKI_ERROR rc;
    Req req = decodeReq(reqFixtureBytes(name), &rc);
    EXPECT_EQ(rc, 0) << name;
    return req;
}

Key rsaKey() {
    return Key(keytest::holding(ASYMMETRIC_KEY_RSA, keytest::rsaFrom(fileLines(reqFixtures() + "/key.rsa.txt"), true)));
}

Bytes vectorReqBytes(const std::string& file) {
    const std::string path = std::string(kVectorsDir) + "/requests/" + file;
    if (file.size() > 4 && file.substr(file.size() - 4) == ".der") return pkitest::readBytes(path);
    const std::string der = pkitest::openssl({"req", "-in", path, "-outform", "DER"});
    return Bytes(der.begin(), der.end());
}

// 0 when openssl finds the request's self-signature good, else 1.
int opensslVerdict(const Bytes& der) {
    zqtest::TempDir dir("reqverify");
    zqtest::writeFile(dir / "r.der", std::string(der.begin(), der.end()));
    // openssl reports the outcome on standard error and exits with 0 either way.
    auto r = zqtest::run({"sh", "-c", "openssl req -verify -noout -inform DER -in \"$1\" 2>&1", "sh", dir / "r.der"});
    return r.status == 0 && r.output.find("verify OK") != std::string::npos ? 0 : 1;
}

// The attributes of each request file as pyasn1 reads them, in
// attrsSummary's form ("-" for none).
const std::map<std::string, std::string>& pyasn1Attributes() {
    static const std::map<std::string, std::string> table = [] {
        const std::string script =
            "import os, sys\n"
            "sys.path.insert(0, sys.argv[1])\n"
            "import vectors_dump as v\n"
            "src = sys.argv[2]\n"
            "for f in sorted(os.listdir(src)):\n"
            "    for der in v.objects(os.path.join(src, f)):\n"
            "        attrs = [raw for kind, raw in v.components(der) if kind == 'attrs']\n"
            "        try:\n"
            "            print(f + '\\t' + (v.attrs_facts(attrs[0])[0] if attrs else '-'))\n"
            "        except ValueError:\n"
            "            print(f + '\\t!')\n";
        auto r = zqtest::run({zqtest::kPython, "-c", script, zqtest::sourceDir() + "/tests/pki/x509",
                              std::string(kVectorsDir) + "/requests"});
        EXPECT_EQ(r.status, 0) << r.output;
        std::map<std::string, std::string> out;
        std::istringstream in(r.output);
        for (std::string line; std::getline(in, line);) {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos) out[line.substr(0, tab)] = line.substr(tab + 1);
        }
        return out;
    }();
    return table;
}

std::string extsOf(const PKCS10_X509_REQ_INFO* info, int* rc = nullptr) {
    X509_EXTENSIONS* made = nullptr;
    const int code = get_PKCS10_X509_REQ_Extensions(info, &made);
    Extensions list(made);
    if (rc) *rc = code;
    return code == 0 ? extsSummary(list.get()) : std::string();
}

// ===========================================================================
// Codec

// Every RSA request of the vectors decodes with the attributes pyasn1 reads,
// encodes to the bytes it came in, and verifies as openssl says.
TEST(ReqCodec, VectorsWithTheirAttributes) {
    struct Case {
        const char* file;
        int extensions;  // -1: no extension request
        bool checkSignature;
    } cases[] = {
        {"rsa_sha1.der", -1, true},
        {"rsa_sha1.pem", -1, true},
        {"rsa_sha256.der", -1, true},
        {"rsa_sha256.pem", -1, true},
        {"rsa_md4.der", -1, false},  // openssl has no MD4 to compare with
        {"san_rsa_sha1.der", 1, true},
        {"san_rsa_sha1.pem", 1, true},
        {"challenge.pem", -1, true},
        {"challenge-unstructured.pem", -1, true},
        {"challenge-multi-valued.der", -1, true},
        {"challenge-invalid.der", -1, true},
        {"basic_constraints.pem", 1, true},
        {"two_basic_constraints.pem", 2, true},
        {"unsupported_extension.pem", 1, true},
        {"unsupported_extension_critical.pem", 1, true},
        {"freeipa-bad-critical.pem", 4, true},
        {"invalid_signature.pem", -1, true},
        {"bad-version.pem", -1, true},
    };
    const auto& expected = pyasn1Attributes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes der = vectorReqBytes(c.file);
        PKI_ERROR rc;
        Req req = decodeReq(der, &rc);
        ASSERT_EQ(rc, 0);
        const PKCS10_X509_REQ_INFO* info = req->certificationRequestInfo;
        const std::string attrs = attrsSummary(info->attributes);
        EXPECT_EQ(attrs.empty() ? "-" : attrs, expected.at(c.file));
        int extRc;
        const std::string exts = extsOf(info, &extRc);
        if (c.extensions < 0) {
            EXPECT_EQ(extRc, 0x550d012f);
        } else {
            ASSERT_EQ(extRc, 0);
            EXPECT_EQ(std::count(exts.begin(), exts.end(), ';') + 1, c.extensions) << exts;
        }
        EXPECT_EQ(encodeReq(req.get()), der);
        Req copy(dup_PKCS10_X509_REQ(req.get()));
        EXPECT_EQ(cmp_PKCS10_X509_REQ(copy.get(), req.get()), 0);
        if (c.checkSignature) EXPECT_EQ(verify_PKCS10_X509_REQ(req.get()) == 0 ? 0 : 1, opensslVerdict(der));
    }
}

// Requests in DER are written afresh to the same bytes once the kept DER is
// dropped; one whose value uses a tag of more than one octet is refused.
TEST(ReqCodec, FreshEncodingAndRefusals) {
    for (const char* file : {"rsa_sha256.der", "san_rsa_sha1.der", "challenge-multi-valued.der"}) {
        SCOPED_TRACE(file);
        const Bytes der = vectorReqBytes(file);
        Req req = decodeReq(der);
        ASSERT_NE(req, nullptr);
        touch_PKCS10_X509_REQ(req.get());
        EXPECT_EQ(encodeReq(req.get()), der);
    }
    PKI_ERROR rc;
    EXPECT_EQ(decodeReq(vectorReqBytes("long-form-attribute.pem"), &rc), nullptr);
    EXPECT_NE(rc, 0);
}

// openssl's and python's requests: extensions, PSS, a challenge password and
// the extension request wrapped in an OCTET STRING all read and verify.
TEST(ReqCodec, PeerRequests) {
    Req o = reqFixture("openssl.der");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(verify_PKCS10_X509_REQ(o.get()), 0);
    const std::string exts = extsOf(o->certificationRequestInfo);
    EXPECT_NE(exts.find("2.5.29.17:0:"), std::string::npos) << exts;
    EXPECT_NE(exts.find("2.5.29.19:1:3000"), std::string::npos) << exts;

    Req pss = reqFixture("pss.der");
    ASSERT_NE(pss, nullptr);
    EXPECT_EQ(verify_PKCS10_X509_REQ(pss.get()), 0);
    EXPECT_EQ(encodeReq(pss.get()), reqFixtureBytes("pss.der"));

    Req challenge = reqFixture("challenge.der");
    ASSERT_NE(challenge, nullptr);
    EXPECT_EQ(verify_PKCS10_X509_REQ(challenge.get()), 0);
    EXPECT_NE(
        attrsSummary(challenge->certificationRequestInfo->attributes)
            .find("1.2.840.113549.1.9.7=0c:" + toHex(Bytes{'s', 'e', 'c', 'r', 'e', 't', ' ', 'w', 'o', 'r', 'd'})),
        std::string::npos);
    EXPECT_EQ(extsOf(challenge->certificationRequestInfo), "2.5.29.15:1:03020780");

    Req wrapped = reqFixture("wrapped.der");
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(verify_PKCS10_X509_REQ(wrapped.get()), 0);
    EXPECT_EQ(extsOf(wrapped->certificationRequestInfo), "2.5.29.19:1:30030101ff");
    EXPECT_EQ(encodeReq(wrapped.get()), reqFixtureBytes("wrapped.der"));
}

// ===========================================================================
// Building and signing

X509_EXTENSION* extension(int row, int critical, const Bytes& body) {
    pkitest::String value(new_OCTET_STRING(body.data(), static_cast<int>(body.size())));
    return create_X509_EXTENSION_by_OID_index(nullptr, row, critical, value.get());
}

// A request for the fixture key: C=KR, CN=Made Here, subjectAltName
// DNS:made.here, critical basicConstraints and keyUsage.
Req buildRequest(const X509_PUBKEY* spki) {
    Req req(new_PKCS10_X509_REQ());
    Name name(new_X509_NAME());
    EXPECT_EQ(add_X509_NAME_child_OID_index(name.get(), index_from_sn("C", 1), ASN1_TAG_PRINTABLE_STRING,
                                            pkitest::bytes("KR"), 2, -1),
              0);
    EXPECT_EQ(add_X509_NAME_child_OID_index(name.get(), index_from_sn("CN", 2), ASN1_TAG_UTF8_STRING,
                                            pkitest::bytes("Made Here"), 9, -1),
              0);
    PKCS10_X509_REQ_INFO* info = req->certificationRequestInfo;
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Set_Subject(info, name.get()), 0);
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Set_Pubkey(info, spki), 0);
    Extensions list(new_X509_EXTENSIONS());
    X509_EXTENSIONS* raw = list.get();
    for (X509_EXTENSION* e : {extension(index_from_sn("subjectAltName", 14), 0, fromHex("300b82096d6164652e68657265")),
                              extension(index_from_sn("basicConstraints", 16), 1, fromHex("3000")),
                              extension(index_from_sn("keyUsage", 8), 1, fromHex("03020780"))}) {
        Extension owned(e);
        EXPECT_EQ(add_X509_EXTENSION(&raw, owned.get(), -1), 0);
    }
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Add_Extension(info, list.get()), 0);
    return req;
}

TEST(ReqSigning, MadeHerePassesOpensslAndPython) {
    Req peer = reqFixture("openssl.der");
    Key key = rsaKey();
    for (const char* alg : {"RSA-SHA256", "RSA-SHA1"}) {
        SCOPED_TRACE(alg);
        Req req = buildRequest(peer->certificationRequestInfo->subjectPKInfo);
        ASSERT_EQ(sign_PKCS10_X509_REQ(req.get(), key.get(), index_from_sn(alg, static_cast<int>(std::strlen(alg)))),
                  0);
        EXPECT_EQ(verify_PKCS10_X509_REQ(req.get()), 0);
        const Bytes der = encodeReq(req.get());
        ASSERT_FALSE(der.empty());
        EXPECT_EQ(opensslVerdict(der), 0);

        zqtest::TempDir dir("reqmade");
        zqtest::writeFile(dir / "r.der", std::string(der.begin(), der.end()));
        const std::string text = pkitest::openssl({"req", "-inform", "DER", "-in", dir / "r.der", "-noout", "-text"});
        EXPECT_NE(text.find("X509v3 Subject Alternative Name"), std::string::npos) << text;
        EXPECT_NE(text.find("DNS:made.here"), std::string::npos);
        EXPECT_NE(text.find("CA:FALSE"), std::string::npos);
        EXPECT_NE(text.find("Digital Signature"), std::string::npos);
        auto r = zqtest::run({zqtest::kPython, "-W", "ignore", "-c",
                              "import sys\n"
                              "from cryptography import x509\n"
                              "csr = x509.load_der_x509_csr(open(sys.argv[1], 'rb').read())\n"
                              "print(csr.is_signature_valid, csr.subject.rfc4514_string())\n"
                              "for e in csr.extensions: print(e.oid.dotted_string, e.critical)\n",
                              dir / "r.der"});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "True CN=Made Here,C=KR\n2.5.29.17 False\n2.5.29.19 True\n2.5.29.15 True\n");

        // What we wrote reads back and verifies over the bytes received.
        Req back = decodeReq(der);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_PKCS10_X509_REQ(back.get()), 0);
        EXPECT_EQ(extsOf(back->certificationRequestInfo), extsOf(req->certificationRequestInfo));
    }
}

// A KCDSA key signs under the row of each digest and verifies here.
TEST(ReqSigning, KcdsaRoundTrips) {
    const auto v = keytest::kcdsaVector(2);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    Key key(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    keytest::PubKey spki(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(spki.get(), unit), 0);
    for (int row : {783, 784, 841}) {
        SCOPED_TRACE(row);
        Req req = buildRequest(spki.get());
        ASSERT_EQ(sign_PKCS10_X509_REQ(req.get(), key.get(), row), 0);
        EXPECT_EQ(index_from_OBJECT_IDENTIFIER(req->signatureAlgorithm->algorithm), row);
        Bytes der = encodeReq(req.get());
        Req back = decodeReq(der);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(verify_PKCS10_X509_REQ(back.get()), 0);
        // A changed subject byte no longer verifies.
        const Bytes cn{'M', 'a', 'd', 'e'};
        auto at = std::search(der.begin(), der.end(), cn.begin(), cn.end());
        ASSERT_NE(at, der.end());
        *at = 'm';
        Req changed = decodeReq(der);
        ASSERT_NE(changed, nullptr);
        EXPECT_NE(verify_PKCS10_X509_REQ(changed.get()), 0);
    }
    // An RSA row for a KCDSA key, another key than the request's.
    Req req = buildRequest(spki.get());
    EXPECT_EQ(sign_PKCS10_X509_REQ(req.get(), key.get(), index_from_sn("RSA-SHA256", 10)), 0x550b002b);
    Key rsa = rsaKey();
    EXPECT_EQ(sign_PKCS10_X509_REQ(req.get(), rsa.get(), index_from_sn("RSA-SHA256", 10)), 0x550b0048);
    EXPECT_EQ(req->signature, nullptr);
}

// Setters drop the kept DER: the changed request encodes afresh and no
// longer verifies under the old signature.
TEST(ReqSigning, SettersDropTheBytesReceived) {
    Req req = reqFixture("openssl.der");
    const Bytes der = reqFixtureBytes("openssl.der");
    Name name(new_X509_NAME());
    ASSERT_EQ(add_X509_NAME_child_OID_index(name.get(), index_from_sn("CN", 2), ASN1_TAG_UTF8_STRING,
                                            pkitest::bytes("Other"), 5, -1),
              0);
    ASSERT_EQ(PKCS10_X509_REQ_INFO_Set_Subject(req->certificationRequestInfo, name.get()), 0);
    EXPECT_NE(encodeReq(req.get()), der);
    EXPECT_EQ(verify_PKCS10_X509_REQ(req.get()), VSC_FAIL);
    Key key = rsaKey();
    ASSERT_EQ(sign_PKCS10_X509_REQ(req.get(), key.get(), index_from_sn("RSA-SHA256", 10)), 0);
    EXPECT_EQ(opensslVerdict(encodeReq(req.get())), 0);

    // A second extension request takes the first one's place.
    Extensions list(new_X509_EXTENSIONS());
    X509_EXTENSIONS* raw = list.get();
    Extension bc(extension(index_from_sn("basicConstraints", 16), 1, fromHex("30030101ff")));
    ASSERT_EQ(add_X509_EXTENSION(&raw, bc.get(), -1), 0);
    ASSERT_EQ(PKCS10_X509_REQ_INFO_Add_Extension(req->certificationRequestInfo, list.get()), 0);
    EXPECT_EQ(extsOf(req->certificationRequestInfo), "2.5.29.19:1:30030101ff");
    EXPECT_EQ(get_X509_ATTRIBUTES_index_by_OID_index(req->certificationRequestInfo->attributes, PKCS10_EXT_REQ_ROW, 0),
              -1);
}

// ===========================================================================
// Edge cases

TEST(ReqEdges, NewRecordsAndCodes) {
    // A new information record: version 02 01 00, an empty name, attributes A0 00.
    Info info(new_PKCS10_X509_REQ_INFO());
    Key key = rsaKey();
    keytest::PubKey spki(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_rsa(spki.get(), static_cast<RSA_UNIT*>(key->key)), 0);
    ASSERT_EQ(PKCS10_X509_REQ_INFO_Set_Pubkey(info.get(), spki.get()), 0);
    const Bytes der = encode(PKCS10_X509_REQ_INFO_to_Seq, static_cast<const PKCS10_X509_REQ_INFO*>(info.get()));
    ASSERT_GT(der.size(), 8u);
    EXPECT_EQ(toHex(Bytes(der.begin() + 4, der.begin() + 9)), "0201003000");
    EXPECT_EQ(toHex(Bytes(der.end() - 2, der.end())), "a000");
    Info back;
    {
        PKI_ERROR rc;
        back = decodeWith<Info>(Seq_to_PKCS10_X509_REQ_INFO, der, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(get_X509_ATTRIBUTES_count(back->attributes), 0);
    }
    // Without its attributes element the list is null and nothing is written.
    free_X509_ATTRIBUTES(info->attributes);
    info->attributes = nullptr;
    const Bytes bare = encode(PKCS10_X509_REQ_INFO_to_Seq, static_cast<const PKCS10_X509_REQ_INFO*>(info.get()));
    EXPECT_EQ(bare.size() + 2, der.size());

    // A request without a signature does not encode.
    Req req(new_PKCS10_X509_REQ());
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(PKCS10_X509_REQ_to_Seq(req.get(), &node), 0x55010049);
    EXPECT_EQ(node, nullptr);

    // Two elements: 1 and no request; an element past the signature: refused.
    const Bytes alg = seq({tlv(0x06, fromHex("2a864886f70d01010b")), tlv(0x05, {})});
    PKI_ERROR rc;
    EXPECT_EQ(decodeReq(seq({tlv(0x30, {}), alg}), &rc), nullptr);
    EXPECT_EQ(rc, 1);
    const Bytes good = reqFixtureBytes("openssl.der");
    Bytes longer(good.begin() + 4, good.end());
    longer.insert(longer.end(), {0x05, 0x00});
    EXPECT_EQ(decodeReq(tlv(0x30, longer), &rc), nullptr);
    EXPECT_EQ(rc, 0x55020104);

    // The byte helpers.
    unsigned char* out = nullptr;
    int len = 0;
    pkitest::Node empty(new_ASN1_UNIT());
    EXPECT_EQ(encode_PKCS10_X509_REQ(empty.get(), &out, &len), 0x55090103);
    EXPECT_EQ(out, nullptr);
    pkitest::Node whole = nodeOf(good);
    ASSERT_EQ(encode_PKCS10_X509_REQ(whole.get(), &out, &len), 0);
    EXPECT_EQ(Bytes(out, out + len), good);
    VSC_FREE(out);
    ASN1_UNIT* read = nullptr;
    EXPECT_EQ(decode_PKCS10_X509_REQ(good.data(), 0, &read), 0x550a0049);
    EXPECT_EQ(decode_PKCS10_X509_REQ(good.data(), static_cast<int>(good.size()) - 1, &read), 0x550a0104);
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(decode_PKCS10_X509_REQ(trailing.data(), static_cast<int>(trailing.size()), &read), 0x550a0104);
    ASSERT_EQ(decode_PKCS10_X509_REQ(good.data(), static_cast<int>(good.size()), &read), 0);
    pkitest::Node ownedRead(read);
    EXPECT_EQ(pkitest::bytesOf(read), good);

    // Setters refuse null; an empty extension list makes no attribute.
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Set_Subject(nullptr, nullptr), 0x55060049);
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Set_Pubkey(info.get(), nullptr), 0x55070049);
    EXPECT_EQ(PKCS10_X509_REQ_Set_signatureAlgorithm(nullptr, nullptr), 0x55070049);
    Extensions none(new_X509_EXTENSIONS());
    EXPECT_EQ(PKCS10_X509_REQ_INFO_Add_Extension(info.get(), none.get()), 0x5508011d);
    EXPECT_EQ(verify_PKCS10_X509_REQ(req.get()), 0x550c0049);
}

// Mutated requests decode to an error and nothing, or to a record that
// copies, encodes and verifies without harm.
TEST(ReqEdges, MutationsAreHarmless) {
    const Bytes good = reqFixtureBytes("openssl.der");
    for (size_t i = 0; i < good.size(); i += 3) {
        for (unsigned char v : {0x00, 0x30, 0x80, 0xa0, 0xff}) {
            Bytes m = good;
            m[i] = v;
            PKI_ERROR rc;
            Req r = decodeReq(m, &rc);
            if (rc != 0) {
                EXPECT_EQ(r, nullptr);
                continue;
            }
            Req copy(dup_PKCS10_X509_REQ(r.get()));
            encodeReq(copy.get());
            verify_PKCS10_X509_REQ(r.get());
            X509_EXTENSIONS* exts = nullptr;
            get_PKCS10_X509_REQ_Extensions(r->certificationRequestInfo, &exts);
            free_X509_EXTENSIONS(exts);
        }
    }
}

}  // namespace

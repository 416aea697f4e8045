// OCSP: requests made here answered by openssl's responder (SHA-1 and
// SHA-256 CertIDs, a CA whose key identifier is not its key's SHA-1),
// openssl's requests read and verified here, responses made here checked by
// openssl ocsp under another zone, signing with RSA (v1.5, PSS) and KCDSA,
// and the edge cases of both halves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "../x509/KeyTestUtil.h"
#include "../x509/X509TestUtil.h"
#include <zunPKI/asn1/asn1_objects.h>
#include <zunPKI/pkcs/ocsp.h>

using pkitest::Bytes;
using x509test::decodeWith;
using x509test::encode;
using x509test::FreeWith;

namespace {

using Request = std::unique_ptr<OCSP_REQUEST, FreeWith<free_OCSP_REQUEST>>;
using Response = std::unique_ptr<OCSP_RESPONSE, FreeWith<free_OCSP_RESPONSE>>;
using Basic = std::unique_ptr<BASIC_OCSP_RESPONSE, FreeWith<free_BASIC_OCSP_RESPONSE>>;
using Data = std::unique_ptr<OCSP_RESPONSE_DATA, FreeWith<free_OCSP_RESPONSE_DATA>>;
using RevokedInfo = std::unique_ptr<OCSP_REVOKED_INFO, FreeWith<free_OCSP_REVOKED_INFO>>;
using Cert = std::unique_ptr<X509_CERT, FreeWith<free_X509_CERT>>;
using KeyInfo = std::unique_ptr<P8_PRIV_KEY_INFO, FreeWith<free_P8_PRIV_KEY_INFO>>;
using Str = pkitest::String;

const std::string& fx() {
    static zqtest::TempDir dir("ocspfix");
    static const std::string path = pkitest::runFixtureScript("tests/pki/pkcs/make_ocsp_fixtures.sh", dir);
    return path;
}
std::string fxPath(const std::string& name) {
    EXPECT_FALSE(fx().empty()) << "fixture script failed";
    return fx() + "/" + name;
}
Bytes fxBytes(const std::string& name) { return pkitest::readBytes(fxPath(name)); }
Cert cert(const std::string& name) { return decodeWith<Cert>(Seq_to_X509_CERT, fxBytes(name), nullptr); }
Cert pemCert(const std::string& name) {
    const std::string der = pkitest::openssl({"x509", "-in", fxPath(name), "-outform", "DER"});
    return decodeWith<Cert>(Seq_to_X509_CERT, Bytes(der.begin(), der.end()), nullptr);
}

KeyInfo rsaKey(const std::string& name) {
    keytest::Key key(
        keytest::holding(ASYMMETRIC_KEY_RSA, keytest::rsaFrom(x509test::fileLines(fxPath(name + ".rsa.txt")), true)));
    return KeyInfo(gen_P8_PRIV_KEY_INFO(key.get(), nullptr));
}

Request decodeRequest(const Bytes& der, PKI_ERROR* rc = nullptr) {
    return decodeWith<Request>(Seq_to_OCSP_REQUEST, der, rc);
}
Bytes encodeRequest(const OCSP_REQUEST* r) { return encode(OCSP_REQUEST_to_Seq, r); }

// The basic response of an OCSPResponse's DER (null when there is none).
Basic basicOf(const Bytes& der, int* status = nullptr) {
    PKI_ERROR rc;
    Response response = decodeWith<Response>(Seq_to_OCSP_RESPONSE, der, &rc);
    EXPECT_EQ(rc, 0);
    if (!response) return nullptr;
    if (status) *status = response->responseStatus;
    return Basic(get_BASIC_OCSP_RESPONSE(response->responseBytes));
}

// Runs a shell command line with $1.. as arguments; standard output and
// error together.
zqtest::RunResult sh(const std::string& line, const std::vector<std::string>& args = {},
                     const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv{"sh", "-c", line + " 2>&1", "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> fullEnv{"OPENSSL_CONF=/dev/null"};
    fullEnv.insert(fullEnv.end(), env.begin(), env.end());
    return zqtest::run(argv, {}, fullEnv);
}

// openssl's responder (no server) answering the request from an index.
Bytes opensslAnswer(const Bytes& request, const std::string& index = "index.txt", const std::string& ca = "ca.pem",
                    const std::string& signer = "resp.pem", const std::string& key = "resp.key") {
    zqtest::TempDir dir("ocspanswer");
    zqtest::writeFile(dir / "q.der", std::string(request.begin(), request.end()));
    auto r =
        sh("openssl ocsp -index \"$1\" -CA \"$2\" -rsigner \"$3\" -rkey \"$4\" -reqin \"$5\" -respout \"$6\" -ndays 1",
           {fxPath(index), fxPath(ca), fxPath(signer), fxPath(key), dir / "q.der", dir / "r.der"});
    EXPECT_EQ(r.status, 0) << r.output;
    return pkitest::readBytes(dir / "r.der");
}

// A GeneralizedTime of an instant.
ASN1_STRING* generalized(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[20];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &utc);
    ASN1_STRING* s = new_ASN1_STRING();
    EXPECT_EQ(set_ASN1_STRING_value(s, ASN1_TAG_GENERALIZED_TIME, reinterpret_cast<unsigned char*>(text),
                                    static_cast<int>(std::strlen(text))),
              0);
    return s;
}

const unsigned char kNonce[8] = {0x10, 0x20, 0x00, 0x30, 0x40, 0x50, 0x60, 0x70};

// ===========================================================================
// Requests made here, answered by openssl

TEST(OcspRequests, AnsweredByOpensslResponder) {
    Cert ca = cert("ca.der"), ee = cert("ee.der"), revoked = cert("revoked.der");
    Cert otherCa = pemCert("other-ca.pem");
    Cert other = cert("other.der");
    for (int digest : {VSC_DIGEST_SHA1, VSC_DIGEST_SHA256}) {
        SCOPED_TRACE(digest);
        Request req(new_OCSP_REQUEST());
        ASSERT_EQ(generate_single_OCSP_REQUEST_Ex(req.get(), revoked.get(), ca.get(), digest, nullptr, 0), 0);
        ASSERT_EQ(generate_single_OCSP_REQUEST_Ex(req.get(), ee.get(), ca.get(), digest, kNonce, sizeof kNonce), 0);
        EXPECT_EQ(get_OCSP_REQUEST_list_count(req.get()), 2);
        EXPECT_EQ(get_X509_EXTENSION_count(req->tbsRequest->requestExtensions), 1);  // one nonce
        int status = -1;
        Basic basic = basicOf(opensslAnswer(encodeRequest(req.get())), &status);
        ASSERT_EQ(status, OCSP_RESPONSE_SUCCESSFUL);
        ASSERT_NE(basic, nullptr);
        EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, kNonce, sizeof kNonce), 0);
        int reason = -1;
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), ee.get(), ca.get(), nullptr), 0);
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), revoked.get(), ca.get(), &reason), 1);
        EXPECT_EQ(reason, 1);  // keyCompromise
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE(basic.get(), ee.get(), nullptr), 0);
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(basic.get(), 0, nullptr), 1);
        // Another CA's certificate of the same serial is not the one asked about.
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), other.get(), otherCa.get(), nullptr), 2);
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE(basic.get(), other.get(), nullptr), 2);
        // The responder's key verifies it as given, too.
        Cert resp = cert("resp.der");
        EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), resp.get(), nullptr, 0), 0);
        EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), ca.get(), nullptr, 0), VSC_FAIL);
    }
}

// A CA whose key identifier is not its key's SHA-1: the key hash is of the
// key, so openssl's responder finds the certificate.
TEST(OcspRequests, CaWithAnotherKeyIdentifier) {
    Cert ca = pemCert("ski-ca.pem");
    Cert ee = cert("ski-ee.der");
    Request req(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), kNonce, sizeof kNonce), 0);
    Basic basic =
        basicOf(opensslAnswer(encodeRequest(req.get()), "ski-index.txt", "ski-ca.pem", "ski-ca.pem", "ski-ca.key"));
    ASSERT_NE(basic, nullptr);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, kNonce, sizeof kNonce), 0);
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), ee.get(), ca.get(), nullptr), 0);
}

// ===========================================================================
// openssl's requests read here

TEST(OcspRequests, OpensslRequestsReadAndVerify) {
    const Bytes der = fxBytes("q-signed.der");
    PKI_ERROR rc;
    Request req = decodeRequest(der, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(is_OCSP_REQUEST_signature(req.get()), 1);
    EXPECT_EQ(verify_OCSP_REQUEST(req.get()), 0);
    EXPECT_EQ(encodeRequest(req.get()), der);
    const X509_CERT* signer = get_OCSP_REQUEST_signature_cert(req.get());
    ASSERT_NE(signer, nullptr);
    Cert ee = cert("ee.der");
    EXPECT_EQ(cmp_X509_CERT(signer, ee.get()), 0);
    EXPECT_EQ(get_OCSP_REQUEST_list_count(req.get()), 1);
    // openssl's nonce value: an OCTET STRING of 16 bytes, taken as it is.
    unsigned char* nonce = reinterpret_cast<unsigned char*>(1);
    ASSERT_EQ(get_OCSP_REQUEST_nonce(req.get(), &nonce), 18);
    EXPECT_EQ(nonce[0], 0x04);
    EXPECT_EQ(nonce[1], 0x10);
    VSC_FREE(nonce);

    // One changed byte of the serial no longer verifies.
    Bytes changed = der;
    const Bytes serial{0x02, 0x02, 0x10, 0x01};
    auto at = std::search(changed.begin(), changed.end(), serial.begin(), serial.end());
    ASSERT_NE(at, changed.end());
    at[3] = 0x02;
    Request tampered = decodeRequest(changed);
    ASSERT_NE(tampered, nullptr);
    EXPECT_EQ(verify_OCSP_REQUEST(tampered.get()), VSC_FAIL);

    Request plain = decodeRequest(fxBytes("q-unsigned.der"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(is_OCSP_REQUEST_signature(plain.get()), 0);
    EXPECT_EQ(verify_OCSP_REQUEST(plain.get()), 0x5013001c);
    EXPECT_EQ(get_OCSP_REQUEST_list_count(plain.get()), 2);
    EXPECT_EQ(get_OCSP_REQUEST_nonce_length(plain.get()), 0);
}

// Bodies that carry DEFAULT values DER leaves out were signed over those
// bytes: they verify as received, and would not once written afresh.
TEST(OcspRequests, SignaturesCoverTheBytesReceived) {
    const Bytes q = fxBytes("q-explicit.der");
    Request req = decodeRequest(q);
    ASSERT_NE(req, nullptr);
    EXPECT_EQ(verify_OCSP_REQUEST(req.get()), 0);
    EXPECT_EQ(encodeRequest(req.get()), q);
    touch_OCSP_REQUEST(req.get());
    EXPECT_LT(encodeRequest(req.get()).size(), q.size());
    EXPECT_EQ(verify_OCSP_REQUEST(req.get()), VSC_FAIL);

    const Bytes r = fxBytes("r-explicit.der");
    Basic basic = basicOf(r);
    ASSERT_NE(basic, nullptr);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, nullptr, 0), 0);
    Cert ca = cert("ca.der"), ee = cert("ee.der");
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), ee.get(), ca.get(), nullptr), 0);
    touch_BASIC_OCSP_RESPONSE(basic.get());
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, nullptr, 0), VSC_FAIL);
}

// The crypto layer verifies no ECDSA: such signatures give the
// unsupported-key codes, not a verdict.
TEST(OcspRequests, EcdsaSignaturesAreUnsupported) {
    Request req = decodeRequest(fxBytes("q-ec.der"));
    ASSERT_NE(req, nullptr);
    EXPECT_EQ(is_OCSP_REQUEST_signature(req.get()), 1);
    EXPECT_EQ(verify_OCSP_REQUEST(req.get()), 0x50130048);
    Basic basic = basicOf(fxBytes("r-ec.der"));
    ASSERT_NE(basic, nullptr);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, nullptr, 0), 0x500f0029);
    Cert ca = cert("ca.der"), ee = cert("ee.der");
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(basic.get(), ee.get(), ca.get(), nullptr), 0);
}

// ===========================================================================
// Responses made here, checked by openssl

// The responder's answer to openssl's request for ee (good) and revoked.
Bytes respond(const OCSP_REQUEST* req, int idType, std::time_t now) {
    Cert resp = cert("resp.der");
    KeyInfo key = rsaKey("resp");
    unsigned char* nonce = nullptr;
    const int n = get_OCSP_REQUEST_nonce(req, &nonce);
    OCSP_RESPONSE_DATA* data = nullptr;
    EXPECT_EQ(generate_OCSP_RESPONSE_DATA(&data, resp.get(), idType, 0, nonce, n), 0);
    VSC_FREE(nonce);
    Data owned(data);
    Str thisUpdate(generalized(now));
    RevokedInfo info(new_OCSP_REVOKED_INFO());
    info->revocationTime = generalized(now - 86400);
    info->revocationReason = 1;
    for (int i = 0; i < get_OCSP_REQUEST_list_count(req); ++i) {
        OCSP_SINGLE_REQUEST* single = nullptr;
        EXPECT_EQ(get_OCSP_REQUEST_list(req, &single, i), 0);
        const bool good = VSC_Get_BIGINT_Word(single->reqCert->serialNumber) == 0x1001;
        EXPECT_EQ(add_single_OCSP_RESPONSE(data, single, good ? 0 : 1, good ? nullptr : info.get(), thisUpdate.get(),
                                           nullptr),
                  0);
    }
    BASIC_OCSP_RESPONSE* basic = nullptr;
    EXPECT_EQ(generate_BASIC_OCSP_RESPONSE_Ex(&basic, data, resp.get(), key.get(), VSC_DIGEST_SHA256, 1), 0);
    (void)owned.release();  // the basic response holds it now
    Basic ownedBasic(basic);
    OCSP_RESPONSE_BYTES* bytes = nullptr;
    EXPECT_EQ(generate_OCSP_RESPONSE_BYTES(&bytes, basic), 0);
    OCSP_RESPONSE* response = nullptr;
    EXPECT_EQ(generate_OCSP_RESPONSE(&response, bytes, OCSP_RESPONSE_SUCCESSFUL), 0);
    Response ownedResponse(response);
    return encode(OCSP_RESPONSE_to_Seq, static_cast<const OCSP_RESPONSE*>(response));
}

TEST(OcspResponses, MadeHereVerifyInOpenssl) {
    pkitest::ZoneScope seoul("Asia/Seoul");
    const Bytes q = fxBytes("q-two.der");
    Request req = decodeRequest(q);
    ASSERT_NE(req, nullptr);
    for (int idType : {OCSP_RESPONDER_BY_NAME, OCSP_RESPONDER_BY_KEY}) {
        SCOPED_TRACE(idType);
        const std::time_t now = std::time(nullptr);
        const Bytes r = respond(req.get(), idType, now);
        ASSERT_FALSE(r.empty());
        zqtest::TempDir dir("ocspresp");
        zqtest::writeFile(dir / "r.der", std::string(r.begin(), r.end()));
        // -cert makes openssl build a request of its own: without a nonce,
        // so that ours is not compared with one it never sent.
        auto out =
            sh("openssl ocsp -respin \"$1\" -issuer \"$2\" -cert \"$3\" -cert \"$4\" -no_nonce -CAfile \"$2\" "
               "-VAfile \"$5\" -resp_text",
               {dir / "r.der", fxPath("ca.pem"), fxPath("ee.pem"), fxPath("revoked.pem"), fxPath("resp.pem")},
               {"TZ=Asia/Seoul"});
        EXPECT_EQ(out.status, 0) << out.output;
        EXPECT_NE(out.output.find("Response verify OK"), std::string::npos) << out.output;
        // The request's nonce came back.
        auto echo = sh("openssl ocsp -respin \"$1\" -reqin \"$2\" -CAfile \"$3\" -VAfile \"$4\"",
                       {dir / "r.der", fxPath("q-two.der"), fxPath("ca.pem"), fxPath("resp.pem")});
        EXPECT_NE(echo.output.find("Response verify OK"), std::string::npos) << echo.output;
        EXPECT_EQ(echo.output.find("WARNING"), std::string::npos) << echo.output;
        EXPECT_EQ(echo.output.find("Nonce Verify error"), std::string::npos) << echo.output;
        EXPECT_NE(out.output.find("ee.pem: good"), std::string::npos) << out.output;
        EXPECT_NE(out.output.find("revoked.pem: revoked"), std::string::npos) << out.output;
        EXPECT_NE(out.output.find("Reason: keyCompromise"), std::string::npos) << out.output;
        EXPECT_NE(out.output.find(idType == OCSP_RESPONDER_BY_NAME ? "Responder Id: C = KR, O = Test CA, CN = OCSP"
                                                                   : "Responder Id: "),
                  std::string::npos);
        // producedAt is the instant it was made, whatever the zone.
        const size_t at = out.output.find("Produced At: ");
        ASSERT_NE(at, std::string::npos);
        std::tm produced{};
        ASSERT_NE(strptime(out.output.c_str() + at + 13, "%b %d %H:%M:%S %Y GMT", &produced), nullptr);
        EXPECT_LE(std::abs(static_cast<long>(timegm(&produced) - now)), 2L);

        // And here: with the nonce the request carried.
        Basic basic = basicOf(r);
        ASSERT_NE(basic, nullptr);
        unsigned char* nonce = nullptr;
        const int n = get_OCSP_REQUEST_nonce(req.get(), &nonce);
        EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic.get(), nullptr, nonce, n), 0);
        VSC_FREE(nonce);
        EXPECT_EQ(basic->tbsResponseData->responderID->type, idType);
    }
}

// ===========================================================================
// Signing

TEST(OcspSigning, RequestsSignedHereRoundTrip) {
    Cert ca = cert("ca.der"), ee = cert("ee.der");
    KeyInfo key = rsaKey("ee");
    struct Case {
        int digest;
        int mode;
        const char* algorithm;  // as openssl prints it
    } cases[] = {
        {VSC_DIGEST_SHA256, 1, "sha256WithRSAEncryption"},
        {VSC_DIGEST_SHA1, 0, "sha1WithRSAEncryption"},
        {VSC_DIGEST_SHA256, 2, "rsassaPss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.algorithm);
        Request req(new_OCSP_REQUEST());
        ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
        ASSERT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ee.get(), key.get(), c.digest, c.mode), 0);
        // Signing twice carries the certificate once.
        ASSERT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ee.get(), key.get(), c.digest, c.mode), 0);
        EXPECT_EQ(get_STACK_count(req->optionalSignature->certs), 1);
        const Bytes der = encodeRequest(req.get());
        Request back = decodeRequest(der);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(is_OCSP_REQUEST_signature(back.get()), 1);
        EXPECT_EQ(verify_OCSP_REQUEST(back.get()), 0);
        zqtest::TempDir dir("ocspreq");
        zqtest::writeFile(dir / "q.der", std::string(der.begin(), der.end()));
        auto out = sh("openssl ocsp -reqin \"$1\" -req_text", {dir / "q.der"});
        EXPECT_NE(out.output.find("Requestor Name: DirName:C = KR, O = Test, CN = Good"), std::string::npos)
            << out.output;
        EXPECT_NE(out.output.find(std::string("Signature Algorithm: ") + c.algorithm), std::string::npos);
        if (c.mode == 2) EXPECT_NE(out.output.find("Salt Length: 0x20"), std::string::npos) << out.output;
    }
    // Refused: a digest the key cannot sign with, a mode of no scheme,
    // another pair's key, and the request stays as it was.
    Request req(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
    const Bytes before = encodeRequest(req.get());
    EXPECT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ee.get(), key.get(), VSC_DIGEST_HAS160, 1), 0x5001002b);
    EXPECT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ee.get(), key.get(), VSC_DIGEST_SHA256, 5), 0x5001002b);
    EXPECT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ca.get(), key.get(), VSC_DIGEST_SHA256, 1), 0x5001002b);
    keytest::Key empty(new_ASYMMETRIC_KEY());
    KeyInfo none(gen_P8_PRIV_KEY_INFO(key->privateKey, nullptr));
    none->privateKey->kind = ASYMMETRIC_KEY_EC;  // a kind that signs no OCSP here
    EXPECT_EQ(sign_OCSP_REQUEST_Ex(req.get(), ee.get(), none.get(), VSC_DIGEST_SHA256, 1), 0x50010048);
    none->privateKey->kind = ASYMMETRIC_KEY_RSA;
    EXPECT_EQ(encodeRequest(req.get()), before);
    EXPECT_EQ(is_OCSP_REQUEST_signature(req.get()), 0);
}

// A KCDSA signer signs requests and responses under the row of its digest.
TEST(OcspSigning, KcdsaLabelledByDigest) {
    const auto v = keytest::kcdsaVector(2);
    keytest::Big p(keytest::hex(v.at("P"))), q(keytest::hex(v.at("Q"))), g(keytest::hex(v.at("G"))),
        x(keytest::hex(v.at("X")));
    KCDSA_UNIT* unit = VSC_New_KCDSA();
    keytest::Key kcdsa(keytest::holding(ASYMMETRIC_KEY_KCDSA, unit));
    ASSERT_EQ(VSC_Set_KCDSA_Params(unit, p.get(), q.get(), g.get(), x.get(), nullptr), VSC_OK);
    KeyInfo key(gen_P8_PRIV_KEY_INFO(kcdsa.get(), nullptr));
    ASSERT_NE(key, nullptr);
    // A certificate carrying the KCDSA key (its own signature is not read).
    Cert signer = cert("resp.der"), ca = cert("ca.der"), ee = cert("ee.der");
    keytest::PubKey spki(new_X509_PUBKEY());
    ASSERT_EQ(set_X509_PUBKEY_kcdsa(spki.get(), unit), 0);
    ASSERT_EQ(set_X509_pub_key(signer.get(), spki.get()), 0);
    struct Case {
        int digest;
        int row;
    } cases[] = {{VSC_DIGEST_HAS160, 783}, {VSC_DIGEST_SHA1, 784}, {VSC_DIGEST_SHA256, 841}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Request req(new_OCSP_REQUEST());
        ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
        ASSERT_EQ(sign_OCSP_REQUEST_Ex(req.get(), signer.get(), key.get(), c.digest, 1), 0);
        Request back = decodeRequest(encodeRequest(req.get()));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(index_from_OBJECT_IDENTIFIER(back->optionalSignature->signatureAlgorithm->algorithm), c.row);
        EXPECT_EQ(verify_OCSP_REQUEST(back.get()), 0);

        OCSP_RESPONSE_DATA* data = nullptr;
        ASSERT_EQ(generate_OCSP_RESPONSE_DATA(&data, signer.get(), OCSP_RESPONDER_BY_KEY, 0, kNonce, sizeof kNonce), 0);
        Str now(generalized(std::time(nullptr)));
        ASSERT_EQ(
            add_single_OCSP_RESPONSE(data, back->tbsRequest->requestList->items[0], 0, nullptr, now.get(), nullptr), 0);
        BASIC_OCSP_RESPONSE* made = nullptr;
        ASSERT_EQ(generate_BASIC_OCSP_RESPONSE_Ex(&made, data, signer.get(), key.get(), c.digest, 1), 0);
        Basic basic(made);
        EXPECT_EQ(index_from_OBJECT_IDENTIFIER(basic->signatureAlgorithm->algorithm), c.row);
        Basic decoded(decodeWith<Basic>(
            Seq_to_BASIC_OCSP_RESPONSE,
            encode(BASIC_OCSP_RESPONSE_to_Seq, static_cast<const BASIC_OCSP_RESPONSE*>(basic.get())), nullptr));
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(decoded.get(), nullptr, kNonce, sizeof kNonce), 0);
        EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_Ex(decoded.get(), ee.get(), ca.get(), nullptr), 0);
    }
    // A digest with no KCDSA row.
    Request req(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
    EXPECT_EQ(sign_OCSP_REQUEST_Ex(req.get(), signer.get(), key.get(), VSC_DIGEST_SHA224, 1), 0x5001002b);
}

// ===========================================================================
// Edge cases

TEST(OcspEdges, Requests) {
    Cert ca = cert("ca.der"), ee = cert("ee.der");
    // The nonce: 16 random bytes, or the caller's; one extension whatever the
    // number of builds; refused beyond 64 bytes.
    Request req(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
    EXPECT_EQ(get_OCSP_REQUEST_nonce_length(req.get()), 16);
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), kNonce, 5), 0);
    EXPECT_EQ(get_OCSP_REQUEST_list_count(req.get()), 2);
    EXPECT_EQ(get_X509_EXTENSION_count(req->tbsRequest->requestExtensions), 1);
    EXPECT_EQ(get_OCSP_REQUEST_nonce_length(req.get()), 5);
    unsigned char big[65] = {};
    EXPECT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), big, 65), 0x5001002b);
    EXPECT_EQ(get_OCSP_REQUEST_list_count(req.get()), 2);
    // An unsigned request: SEQUENCE { tbsRequest } only, version 0 left out.
    const Bytes der = encodeRequest(req.get());
    ASSERT_GT(der.size(), 8u);
    EXPECT_EQ(der[0], 0x30);
    Request back = decodeRequest(der);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->tbsRequest->version, 0);
    EXPECT_EQ(is_OCSP_REQUEST_signature(back.get()), 0);
    EXPECT_EQ(verify_OCSP_REQUEST_Ex(back.get(), 1), 0x5013001c);
    ASSERT_NE(back->optionalSignature, nullptr);  // the record is there, empty
    {
        pkitest::Node node = x509test::nodeOf(der);
        EXPECT_EQ(getSequenceChildNum(node.get()), 1);
    }
    // A nonce a peer sent beyond 64 bytes is not handed out.
    Request longNonce(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(longNonce.get(), ee.get(), ca.get(), kNonce, 8), 0);
    X509_EXTENSION* ext = get_X509_EXTENSION(longNonce->tbsRequest->requestExtensions, 0);
    Str value(new_OCTET_STRING(big, 65));
    ASSERT_EQ(set_X509_EXTENSION_data(ext, value.get()), 0);
    touch_OCSP_REQUEST(longNonce.get());
    Request decodedLong = decodeRequest(encodeRequest(longNonce.get()));
    ASSERT_NE(decodedLong, nullptr);
    unsigned char* buffer = reinterpret_cast<unsigned char*>(1);
    EXPECT_EQ(get_OCSP_REQUEST_nonce(decodedLong.get(), &buffer), -1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(get_OCSP_REQUEST_nonce_length(nullptr), 1);

    // Without the issuer: the authority key identifier under SHA-1 only.
    Request noIssuer(new_OCSP_REQUEST());
    EXPECT_EQ(generate_single_OCSP_REQUEST(noIssuer.get(), ee.get(), nullptr, nullptr, 0), 0);
    EXPECT_EQ(generate_single_OCSP_REQUEST_Ex(noIssuer.get(), ee.get(), nullptr, VSC_DIGEST_SHA256, nullptr, 0),
              0x500100ff);
    EXPECT_EQ(generate_single_OCSP_REQUEST(noIssuer.get(), ca.get(), nullptr, nullptr, 0), 0x500100ff);  // no AKI
    EXPECT_EQ(get_OCSP_REQUEST_list_count(noIssuer.get()), 1);
    // The issuer must be the certificate's.
    EXPECT_EQ(generate_single_OCSP_REQUEST(noIssuer.get(), ee.get(), ee.get(), nullptr, 0), 0x500100ff);

    OCSP_SINGLE_REQUEST* single = nullptr;
    EXPECT_EQ(get_OCSP_REQUEST_list(noIssuer.get(), &single, 1), 0x5016001c);
    EXPECT_EQ(get_OCSP_REQUEST_list(noIssuer.get(), &single, -1), 0x5016002b);
    EXPECT_EQ(generate_single_OCSP_REQUEST(nullptr, ee.get(), ca.get(), nullptr, 0), 0x50010012);
    EXPECT_EQ(generate_single_OCSP_REQUEST(noIssuer.get(), nullptr, ca.get(), nullptr, 0), 0x50010011);

    // Malformed requests are refused with the request decoder's code.
    PKI_ERROR rc;
    EXPECT_EQ(decodeRequest(x509test::seq({}), &rc), nullptr);
    EXPECT_EQ(rc, 0x5012001c);
    zpki::der::Cursor c(der.data(), der.size());
    zpki::der::Element outer;
    ASSERT_TRUE(zpki::der::getElement(c, outer));
    Bytes contents(outer.contents, outer.contents + outer.contentsSize);
    contents.insert(contents.end(), {0x05, 0x00});
    EXPECT_EQ(decodeRequest(x509test::tlv(0x30, contents), &rc), nullptr);
    EXPECT_EQ(rc, 0x5012001c);
}

TEST(OcspEdges, Responses) {
    // A status alone: SEQUENCE { ENUMERATED }, no bytes.
    OCSP_RESPONSE* made = nullptr;
    ASSERT_EQ(generate_OCSP_RESPONSE(&made, nullptr, OCSP_RESPONSE_MALFORMED_REQUEST), 0);
    Response error(made);
    EXPECT_EQ(pkitest::toHex(encode(OCSP_RESPONSE_to_Seq, static_cast<const OCSP_RESPONSE*>(made))), "30030a0101");
    EXPECT_EQ(generate_OCSP_RESPONSE(&made, nullptr, 7), 0x501a002b);
    int status = -1;
    EXPECT_EQ(basicOf(x509test::fromHex("30030a0101"), &status), nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(get_BASIC_OCSP_RESPONSE(nullptr), nullptr);
    // Bytes of another type: refused by their decoder, left out of the response.
    const Bytes otherBytes = x509test::seq(
        {x509test::tlv(0x06, x509test::fromHex("2b0601050507300102")), x509test::tlv(0x04, x509test::fromHex("3000"))});
    PKI_ERROR rc;
    decodeWith<std::unique_ptr<OCSP_RESPONSE_BYTES, FreeWith<free_OCSP_RESPONSE_BYTES>>>(Seq_to_OCSP_RESPONSE_BYTES,
                                                                                         otherBytes, &rc);
    EXPECT_EQ(rc, 0x50090016);
    Response withOther = decodeWith<Response>(
        Seq_to_OCSP_RESPONSE, x509test::seq({x509test::tlv(0x0a, {0}), x509test::tlv(0xa0, otherBytes)}), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(withOther->responseBytes, nullptr);
    decodeWith<Response>(Seq_to_OCSP_RESPONSE, x509test::seq({x509test::tlv(0x0a, {7})}), &rc);
    EXPECT_EQ(rc, 0x5008002b);

    // Statuses: good 80 00, revoked A1 with time and reason, unknown 82 00;
    // nextUpdate and an extension come back; a status [3] is refused.
    Cert ca = cert("ca.der"), ee = cert("ee.der"), resp = cert("resp.der");
    Request req(new_OCSP_REQUEST());
    ASSERT_EQ(generate_single_OCSP_REQUEST(req.get(), ee.get(), ca.get(), nullptr, 0), 0);
    OCSP_SINGLE_REQUEST* single = nullptr;
    ASSERT_EQ(get_OCSP_REQUEST_list(req.get(), &single, 0), 0);
    OCSP_RESPONSE_DATA* data = nullptr;
    ASSERT_EQ(generate_OCSP_RESPONSE_DATA(&data, resp.get(), OCSP_RESPONDER_BY_KEY, 0, nullptr, 0), 0);
    Data ownedData(data);
    Str t(generalized(1700000000)), next(generalized(1700086400));
    RevokedInfo info(new_OCSP_REVOKED_INFO());
    info->revocationTime = generalized(1690000000);
    info->revocationReason = 0;
    ASSERT_EQ(add_single_OCSP_RESPONSE(data, single, 0, nullptr, t.get(), next.get()), 0);
    ASSERT_EQ(add_single_OCSP_RESPONSE(data, single, 1, info.get(), t.get(), nullptr), 0);
    ASSERT_EQ(add_single_OCSP_RESPONSE(data, single, 2, nullptr, t.get(), nullptr), 0);
    EXPECT_EQ(add_single_OCSP_RESPONSE(data, single, 3, nullptr, t.get(), nullptr), 0x5017002b);
    EXPECT_EQ(add_single_OCSP_RESPONSE(data, single, 1, nullptr, t.get(), nullptr), 0x5017002b);
    auto* first = static_cast<OCSP_SINGLE_RESPONSE*>(data->responses->items[0]);
    Str extValue(new_OCTET_STRING(kNonce, 4));
    X509_EXTENSION* ext = create_X509_EXTENSION_by_OID_index(nullptr, index_from_sn("CN", 2), 0, extValue.get());
    ASSERT_EQ(add_X509_EXTENSION(&first->singleExtensions, ext, -1), 0);
    free_X509_EXTENSION(ext);
    const Bytes dataDer = encode(OCSP_RESPONSE_DATA_to_Seq, static_cast<const OCSP_RESPONSE_DATA*>(data));
    const std::string hex = pkitest::toHex(dataDer);
    EXPECT_EQ(dataDer[2] == 0xa2 || dataDer[3] == 0xa2 || dataDer[4] == 0xa2, true) << hex;  // byKey
    EXPECT_NE(hex.find("8000180f"), std::string::npos);                                      // good, then thisUpdate
    EXPECT_NE(hex.find("a116180f"), std::string::npos);    // revoked: time and [0] reason
    EXPECT_NE(hex.find("a0030a0100"), std::string::npos);  // reason 0 written
    EXPECT_NE(hex.find("8200180f"), std::string::npos);
    Basic back(new_BASIC_OCSP_RESPONSE());
    {
        pkitest::Node node = x509test::nodeOf(dataDer);
        ASSERT_EQ(Seq_to_OCSP_RESPONSE_DATA(node.get(), back.get()), 0);
    }
    ASSERT_EQ(get_CERT_STATUS_count_from_OCSP_RESPONSE(back.get()), 3);
    EXPECT_EQ(back->tbsResponseData->responderID->type, OCSP_RESPONDER_BY_KEY);
    int reason = -1;
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(back.get(), 0, &reason), 0);
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(back.get(), 1, &reason), 1);
    EXPECT_EQ(reason, 0);
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(back.get(), 2, nullptr), 2);
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(back.get(), 3, nullptr), 2);
    EXPECT_EQ(get_CERT_STATUS_from_OCSP_RESPONSE_index(back.get(), -1, nullptr), 0x50100049);
    const auto* decodedFirst = static_cast<const OCSP_SINGLE_RESPONSE*>(back->tbsResponseData->responses->items[0]);
    ASSERT_NE(decodedFirst->nextUpdate, nullptr);
    EXPECT_EQ(get_X509_EXTENSION_count(decodedFirst->singleExtensions), 1);
    // A status of [3] does not read.
    Bytes badStatus = dataDer;
    const size_t good = hex.find("8000180f") / 2;
    badStatus[good] = 0x83;
    pkitest::Node badNode = x509test::nodeOf(badStatus);
    Basic other(new_BASIC_OCSP_RESPONSE());
    EXPECT_EQ(Seq_to_OCSP_RESPONSE_DATA(badNode.get(), other.get()), 0x500b002b);

    // The nonce: none in the response, another length, another byte.
    KeyInfo key = rsaKey("resp");
    BASIC_OCSP_RESPONSE* basic = nullptr;
    ASSERT_EQ(generate_BASIC_OCSP_RESPONSE_ex(&basic, ownedData.get(), resp.get(), key.get(), VSC_DIGEST_SHA256), 0);
    (void)ownedData.release();
    Basic signedBasic(basic);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic, nullptr, nullptr, 0), 0);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(basic, nullptr, kNonce, 8), 0x500f001a);
    OCSP_RESPONSE_DATA* withNonce = nullptr;
    ASSERT_EQ(generate_OCSP_RESPONSE_DATA(&withNonce, resp.get(), 0, 0, kNonce, 8), 0);
    ASSERT_EQ(add_single_OCSP_RESPONSE(withNonce, single, 0, nullptr, t.get(), nullptr), 0);
    BASIC_OCSP_RESPONSE* nonceBasic = nullptr;
    ASSERT_EQ(generate_BASIC_OCSP_RESPONSE_ex(&nonceBasic, withNonce, resp.get(), key.get(), VSC_DIGEST_SHA256), 0);
    Basic ownedNonce(nonceBasic);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(nonceBasic, nullptr, kNonce, 8), 0);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(nonceBasic, nullptr, kNonce, 7), 0x500f0019);
    unsigned char changed[8];
    std::memcpy(changed, kNonce, 8);
    changed[5] ^= 1;  // past the zero byte
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(nonceBasic, nullptr, changed, 8), 0x500f0019);
    // No embedded certificate the responderID names.
    BASIC_OCSP_RESPONSE* stripped = dup_BASIC_OCSP_RESPONSE(nonceBasic);
    Basic ownedStripped(stripped);
    free_X509_CERT(static_cast<X509_CERT*>(remove_STACK_value(stripped->certs, 0)));
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(stripped, nullptr, nullptr, 0), 0x500f0014);
    EXPECT_EQ(verify_BASIC_OCSP_RESPONSE(stripped, resp.get(), nullptr, 0), 0);

    // A signer whose key is not the certificate's: refused, nothing taken.
    OCSP_RESPONSE_DATA* spare = nullptr;
    ASSERT_EQ(generate_OCSP_RESPONSE_DATA(&spare, resp.get(), 0, 0, nullptr, 0), 0);
    Data ownedSpare(spare);
    ASSERT_EQ(add_single_OCSP_RESPONSE(spare, single, 0, nullptr, t.get(), nullptr), 0);
    BASIC_OCSP_RESPONSE* none = nullptr;
    EXPECT_EQ(generate_BASIC_OCSP_RESPONSE_ex(&none, spare, ca.get(), key.get(), VSC_DIGEST_SHA256), 0x5018002b);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(generate_OCSP_RESPONSE_DATA(&spare, resp.get(), 2, 0, nullptr, 0), 0x5015002b);
    // An empty list of responses does not encode.
    OCSP_RESPONSE_DATA* empty = nullptr;
    ASSERT_EQ(generate_OCSP_RESPONSE_DATA(&empty, resp.get(), 0, 0, nullptr, 0), 0);
    Data ownedEmpty(empty);
    ASN1_UNIT* node = nullptr;
    EXPECT_EQ(OCSP_RESPONSE_DATA_to_Seq(empty, &node), 0x5019001c);
}

// Mutations of openssl's requests and of a response: an error and nothing,
// or a record that copies, encodes and verifies without harm.
TEST(OcspEdges, MutationsAreHarmless) {
    Cert ee = cert("ee.der");
    const Bytes req = fxBytes("q-signed.der");
    for (size_t i = 0; i < req.size(); i += 2) {
        for (unsigned char v : {0x00, 0x30, 0x80, 0xa0, 0xff}) {
            Bytes m = req;
            m[i] = v;
            PKI_ERROR rc;
            Request r = decodeRequest(m, &rc);
            if (rc != 0) {
                EXPECT_EQ(r, nullptr);
                continue;
            }
            Request copy(dup_OCSP_REQUEST(r.get()));
            encodeRequest(copy.get());
            verify_OCSP_REQUEST(r.get());
            unsigned char* nonce = nullptr;
            get_OCSP_REQUEST_nonce(r.get(), &nonce);
            VSC_FREE(nonce);
        }
    }
}

}  // namespace

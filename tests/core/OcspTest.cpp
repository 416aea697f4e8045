// The OCSP client: our requests answered by openssl ocsp -index (with the
// CA, a delegated responder, responders that must not be trusted, stale
// and future answers under faketime), read by VCL_OCSP_Response_Ex.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zunCore/error.h>
#include <zunCore/ocsp.h>

#include "CmsOcspHelpers.h"

namespace {

using namespace cotest;

const std::string kNonce = "0123456789abcdef";

struct Requested {
    int result = -1;
    std::string der;
};
Requested request(const std::string& certFile, const char* hash = nullptr, const std::string& signerFile = {},
                  const std::string& keyFile = {}, const std::string& nonce = kNonce, const char* pw = "pw") {
    const std::string cert = file(certFile);
    const std::string signer = signerFile.empty() ? std::string() : file(signerFile);
    const std::string key = keyFile.empty() ? std::string() : file(keyFile);
    Out req;
    Requested r;
    r.result = hash ? VCL_OCSP_Single_Request_Ex(cert.data(), n(cert), signer.data(), n(signer), key.data(), n(key), pw,
                                                 pw ? static_cast<int>(std::strlen(pw)) : 0, hash, 1, u(nonce),
                                                 n(nonce), req.uptr(), &req.len)
                    : VCL_OCSP_Single_Request(cert.data(), n(cert), signer.data(), n(signer), key.data(), n(key), pw,
                                              pw ? static_cast<int>(std::strlen(pw)) : 0, u(nonce), n(nonce),
                                              req.uptr(), &req.len);
    r.der = req.str();
    return r;
}

// openssl ocsp as the responder of the CA's index, signing with rsigner.
std::string answer(const std::string& req, const std::string& rsigner, const std::string& rkey,
                   std::vector<std::string> extra = {}, const std::string& fake = {}) {
    const std::string out = temp("r.der", "");
    std::vector<std::string> args;
    if (!fake.empty()) args = {"faketime", "-f", fake};
    args.insert(args.end(), {"openssl", "ocsp", "-index", path("index.txt"), "-CA", path("ca.pem"), "-rsigner",
                             path(rsigner), "-rkey", path(rkey), "-reqin", temp("q.der", req), "-respout", out});
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = zqtest::run(args, {}, {"OPENSSL_CONF=/dev/null"});
    EXPECT_EQ(r.status, 0);
    return zqtest::readFile(out);
}

struct Read {
    unsigned result = 0;
    int respStatus = -1, certStatus = -1;
    std::string date, reason;
};
Read read(const std::string& resp, const std::string& trustedFile, const std::string& nonce = kNonce, int verify = 1) {
    const std::string trusted = trustedFile.empty() ? std::string() : file(trustedFile);
    Read r;
    char date[VCL_OCSP_DATE_SIZE] = "untouched", reason[VCL_OCSP_REASON_SIZE] = "untouched";
    r.result = rc(VCL_OCSP_Response_Ex(resp.data(), n(resp), trusted.empty() ? nullptr : trusted.data(), n(trusted),
                                       verify, 1, nonce.empty() ? nullptr : u(nonce), n(nonce), &r.respStatus,
                                       &r.certStatus, date, reason));
    r.date = date;
    r.reason = reason;
    return r;
}

std::string helper(const std::vector<std::string>& args, const std::string& tz) {
    std::vector<std::string> argv{CORE_CMS_OCSP_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, {}, {"TZ=" + tz}).output;
}

TEST(OcspClient, AnswersOfTheCaAndItsResponder) {
    struct Req {
        const char* name;
        const char* hash;  // null: VCL_OCSP_Single_Request (SHA-1)
        bool chain;        // the issuer's certificate after the certificate
        const char* signer;
        const char* key;
    };
    const Req reqs[] = {
        {"SHA-1 from the key identifier", nullptr, false, nullptr, nullptr},
        {"SHA-256 with the issuer", "SHA256", true, nullptr, nullptr},
        {"signed, PKCS#1 key", nullptr, true, "requestor.pem", "requestor.key"},
        {"signed, encrypted PKCS#8 key", "SHA256", true, "requestor.der", "requestor-p8.der"},
        {"signed, encrypted PKCS#1 key", "SHA1", true, "requestor.pem", "requestor-enc.pem"},
    };
    // The CA signing itself, and its delegated responder.
    const std::pair<const char*, const char*> responders[] = {{"ca.pem", "ca.key"}, {"resp.pem", "resp.key"}};
    for (const Req& q : reqs) {
        for (const char* cert : {"ee", "revoked", "topbit"}) {
            SCOPED_TRACE(std::string(q.name) + " " + cert);
            const std::string certFile = std::string(cert) + (q.chain ? "-chain.pem" : ".pem");
            const Requested r = request(certFile, q.hash, q.signer ? q.signer : "", q.key ? q.key : "");
            ASSERT_EQ(rc(r.result), 0u);
            const std::string text =
                openssl({"ocsp", "-reqin", temp("ours.der", r.der), "-req_text", "-noverify"}).output;
            EXPECT_NE(text.find(std::string("Hash Algorithm: ") +
                                (q.hash && std::string(q.hash) == "SHA256" ? "sha256" : "sha1")),
                      std::string::npos);
            EXPECT_EQ(text.find("Requestor Name") != std::string::npos, q.signer != nullptr);
            for (const auto& [rsigner, rkey] : responders) {
                SCOPED_TRACE(rsigner);
                const std::string resp = answer(r.der, rsigner, rkey);
                const Read got = read(resp, "ca.pem");
                EXPECT_EQ(got.result, 0u);
                EXPECT_EQ(got.respStatus, 0);
                if (std::string(cert) == "revoked") {
                    EXPECT_EQ(got.certStatus, VCL_OCSP_REVOKED);
                    // openssl's index says 2025-03-01 00:00:00 GMT: nine
                    // hours later in Korea.
                    EXPECT_EQ(got.date, "20250301090000");
                    EXPECT_EQ(got.reason, "Key compromise.");
                } else {
                    EXPECT_EQ(got.certStatus, VCL_OCSP_GOOD);
                    EXPECT_EQ(got.date, "untouched");
                    EXPECT_EQ(got.reason, "untouched");
                }
            }
        }
    }
}

TEST(OcspClient, RevocationDateIsKoreanTimeUnderEveryZone) {
    const Requested r = request("revoked-chain.pem", "SHA256");
    const std::string resp = temp("revoked-resp.der", answer(r.der, "resp.pem", "resp.key"));
    const std::string text = openssl({"ocsp", "-respin", resp, "-resp_text", "-noverify"}).output;
    const size_t at = text.find("Revocation Time: ");
    ASSERT_NE(at, std::string::npos);
    const std::string gmt = text.substr(at + 17, text.find('\n', at) - at - 17);
    const std::string korean =
        zqtest::run({"date", "-d", gmt, "+%Y%m%d%H%M%S"}, {}, {"TZ=Asia/Seoul"}).output.substr(0, 14);
    for (const char* tz : {"Asia/Seoul", "UTC", "America/New_York"}) {
        EXPECT_EQ(helper({"ocsp-read", resp, path("ca.pem"), hex(kNonce)}, tz), "0 1 " + korean + " Key compromise.\n")
            << tz;
    }
}

TEST(OcspClient, TrustedResponderCertificate) {
    const Requested r = request("ee-chain.pem", "SHA256");
    const std::string resp = answer(r.der, "resp.pem", "resp.key");
    // The responder itself as the trusted certificate: one answer, read.
    EXPECT_EQ(read(resp, "resp.pem").certStatus, VCL_OCSP_GOOD);
    // Two answers under a certificate that is no CA: which one is ours
    // cannot be told.
    const std::string two = temp("two.der", "");
    ASSERT_EQ(openssl({"ocsp", "-issuer", path("ca.pem"), "-cert", path("ee.pem"), "-cert", path("revoked.pem"),
                       "-no_nonce", "-reqout", two})
                  .status,
              0);
    const std::string both = answer(zqtest::readFile(two), "resp.pem", "resp.key");
    const Read byResponder = read(both, "resp.pem", {});
    EXPECT_EQ(byResponder.result, 0xd0020114u);
    EXPECT_EQ(byResponder.certStatus, VCL_OCSP_UNKNOWN);
    // Under the CA: the first answer about one of its certificates.
    EXPECT_EQ(read(both, "ca.pem", {}).certStatus, VCL_OCSP_GOOD);
}

TEST(OcspClient, UntrustedAnswersAreRefused) {
    const Requested r = request("ee-chain.pem", "SHA256");
    ASSERT_EQ(r.result, 0);
    const std::string noNonceFile = temp("no-nonce.der", "");
    ASSERT_EQ(openssl({"ocsp", "-issuer", path("ca.pem"), "-cert", path("ee.pem"), "-no_nonce", "-reqout", noNonceFile})
                  .status,
              0);
    const std::string noNonce = zqtest::readFile(noNonceFile);
    struct Case {
        const char* name;
        std::string resp;
        const char* trusted;
        std::string nonce;
        unsigned expect;
    };
    const std::vector<Case> cases = {
        {"responder of another CA", answer(r.der, "rogue.pem", "rogue.key"), "ca.pem", kNonce, 0xd0020112},
        {"responder without OCSPSigning", answer(r.der, "noeku.pem", "noeku.key"), "ca.pem", kNonce, 0xd0020112},
        {"responder certificate left out", answer(r.der, "resp.pem", "resp.key", {"-resp_no_certs"}), "ca.pem", kNonce,
         0xd0020112},
        {"nonce of another request", answer(r.der, "resp.pem", "resp.key"), "ca.pem", "another nonce", 0xd0020112},
        {"nonce asked, none answered", answer(noNonce, "resp.pem", "resp.key"), "ca.pem", kNonce, 0xd0020112},
        {"nextUpdate in the past", answer(r.der, "resp.pem", "resp.key", {"-ndays", "1"}, "-3d"), "ca.pem", kNonce,
         0xd0020112},
        {"thisUpdate an hour ahead", answer(r.der, "resp.pem", "resp.key", {}, "+1h"), "ca.pem", kNonce, 0xd0020112},
        {"thisUpdate two minutes ahead", answer(r.der, "resp.pem", "resp.key", {}, "+2m"), "ca.pem", kNonce, 0},
        {"nextUpdate tomorrow", answer(r.der, "resp.pem", "resp.key", {"-ndays", "1"}), "ca.pem", kNonce, 0},
        {"no trusted certificate", answer(r.der, "resp.pem", "resp.key"), nullptr, kNonce, 0xd0020112},
        {"an unrelated trusted certificate", answer(r.der, "resp.pem", "resp.key"), "s1.pem", kNonce, 0xd0020112},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read got = read(c.resp, c.trusted ? c.trusted : "", c.nonce);
        EXPECT_EQ(got.result, c.expect);
        EXPECT_EQ(got.certStatus, c.expect == 0 ? VCL_OCSP_GOOD : VCL_OCSP_UNKNOWN);
    }
    // Without verification the answer is read as it is.
    EXPECT_EQ(read(answer(r.der, "rogue.pem", "rogue.key"), "", {}, 0).certStatus, VCL_OCSP_GOOD);
}

TEST(OcspClient, AnswerAboutAnotherCasCertificate) {
    const Requested r = request("other-chain.pem", "SHA256");
    ASSERT_EQ(r.result, 0);
    for (const auto& [rsigner, rkey] : {std::pair{"resp.pem", "resp.key"}, std::pair{"ca.pem", "ca.key"}}) {
        const Read got = read(answer(r.der, rsigner, rkey), "ca.pem");
        EXPECT_EQ(got.result, 0xd0020114u) << rsigner;
        EXPECT_EQ(got.certStatus, VCL_OCSP_UNKNOWN);
    }
}

TEST(OcspClient, ResponseStatusesAndInput) {
    Out error;
    ASSERT_EQ(VCL_OCSP_Response_error(3, error.uptr(), &error.len), 0);
    const Read tryLater = read(error.str(), "ca.pem");
    EXPECT_EQ(tryLater.result, 0xd0020110u);
    EXPECT_EQ(tryLater.respStatus, 3);
    EXPECT_EQ(read("junk", "ca.pem").result, 0xd0020109u);
    EXPECT_EQ(read("", "ca.pem").result, 0xd0020109u);
    const Requested r = request("ee-chain.pem", "SHA256");
    const std::string resp = answer(r.der, "resp.pem", "resp.key");
    EXPECT_EQ(read(resp, "index.txt").result, 0xd0010119u);
    int status = 0;
    EXPECT_EQ(rc(VCL_OCSP_Response(resp.data(), n(resp), nullptr, 0, nullptr, 0, nullptr, &status, nullptr, nullptr)),
              0xd0020002u);
    EXPECT_EQ(status, VCL_OCSP_UNKNOWN);
    EXPECT_EQ(rc(VCL_OCSP_Response(resp.data(), n(resp), nullptr, 0, nullptr, 4, &status, &status, nullptr, nullptr)),
              0xd0020002u);
    // The categories read as their rows.
    EXPECT_STREQ(VCL_Get_Error_Msg(static_cast<int>(0xd0020112u)), "OCSP:READ_RESPONSE:Unknown");
    EXPECT_STREQ(VCL_Get_Error_Msg(static_cast<int>(0xd0030002u)), "OCSP:PARSE_REQUEST:Input parameter is NULL");
    // A serial the index does not hold: openssl answers unknown.
    const std::string s1 = file("s1.pem") + file("ca.pem");
    Out q;
    ASSERT_EQ(VCL_OCSP_Single_Request_Ex(s1.data(), n(s1), nullptr, 0, nullptr, 0, nullptr, 0, "SHA256", 1, nullptr, 0,
                                         q.uptr(), &q.len),
              0);
    EXPECT_EQ(read(answer(q.str(), "resp.pem", "resp.key"), "ca.pem", {}).certStatus, VCL_OCSP_UNKNOWN);
}

TEST(OcspClient, RequestRefusals) {
    // SHA-256 needs the issuer's key; the key identifier stands for SHA-1
    // only.
    EXPECT_EQ(rc(request("ee.pem", "SHA256").result), 0x500100ffu);
    EXPECT_EQ(rc(request("ee.pem", "NOPE").result), 0xb1080010u);
    EXPECT_EQ(rc(request("index.txt").result), 0xd0010101u);
    EXPECT_EQ(rc(request("ee.pem", nullptr, "index.txt", "requestor.key").result), 0xd0010103u);
    EXPECT_EQ(rc(request("ee.pem", nullptr, "requestor.pem", "index.txt").result), 0xd0010104u);
    EXPECT_EQ(rc(request("ee.pem", nullptr, "requestor.pem", "requestor-p8.der", kNonce, "wrong").result), 0xd0010105u);
    EXPECT_EQ(rc(request("ee.pem", nullptr, "requestor.pem", "requestor-enc.pem", kNonce, "wrong").result),
              0xd0010018u);
    // The key of another certificate does not sign.
    EXPECT_EQ(rc(request("ee.pem", nullptr, "requestor.pem", "s1.key").result), 0xd0010106u);
    const std::string cert = file("ee.pem");
    EXPECT_EQ(rc(VCL_OCSP_Single_Request(cert.data(), n(cert), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                         nullptr)),
              0xd0010002u);
    // Without a nonce, 16 random bytes.
    Out a, b;
    ASSERT_EQ(
        VCL_OCSP_Single_Request(cert.data(), n(cert), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, a.uptr(), &a.len),
        0);
    ASSERT_EQ(
        VCL_OCSP_Single_Request(cert.data(), n(cert), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, b.uptr(), &b.len),
        0);
    EXPECT_NE(a.str(), b.str());
    EXPECT_NE(openssl({"ocsp", "-reqin", temp("rand.der", a.str()), "-req_text"}).output.find("OCSP Nonce"),
              std::string::npos);
}

}  // namespace

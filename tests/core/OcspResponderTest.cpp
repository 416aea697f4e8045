// The OCSP responder: openssl ocsp's requests answered by our cycle, checked
// with openssl ocsp -respin (signature, statuses, nonce, times) and its
// request printer; the responder's refusals.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include <zunCore/ocsp.h>

#include "CmsOcspHelpers.h"

namespace {

using namespace cotest;

const char* const kCerts[] = {"ee.pem", "revoked.pem", "topbit.pem"};

// openssl ocsp's request for the three certificates of the CA.
std::string opensslRequest(std::vector<std::string> extra) {
    const std::string out = temp("q.der", "");
    // A digest option applies to the certificates after it.
    std::vector<std::string> args{"ocsp", "-issuer", path("ca.pem"), "-reqout", out};
    args.insert(args.end(), extra.begin(), extra.end());
    for (const char* c : kCerts) args.insert(args.end(), {"-cert", path(c)});
    EXPECT_EQ(openssl(args).status, 0);
    return zqtest::readFile(out);
}

std::string signedRequest(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"-signer", path("requestor.pem"), "-signkey", path("requestor.key")});
    return opensslRequest(extra);
}

// openssl ocsp -respin: against the request (its nonce and the signature),
// then against the CA's certificates (their statuses; -no_nonce, since
// -cert makes openssl a request of its own).
std::string checked(const std::string& resp, const std::string& req) {
    const std::string r = temp("r.der", resp);
    const std::vector<std::string> trust{"-CAfile", path("ca.pem"), "-VAfile", path("resp.pem")};
    std::vector<std::string> byRequest{"ocsp", "-respin", r, "-reqin", temp("q.der", req), "-resp_text"};
    byRequest.insert(byRequest.end(), trust.begin(), trust.end());
    std::vector<std::string> byCerts{"ocsp", "-respin", r, "-issuer", path("ca.pem"), "-no_nonce"};
    byCerts.insert(byCerts.end(), trust.begin(), trust.end());
    for (const char* c : kCerts) byCerts.insert(byCerts.end(), {"-cert", path(c)});
    std::string out;
    for (const auto& args : {byRequest, byCerts}) {
        const auto run = opensslWithErrors(args);
        out += run.output + (run.status == 0 ? "\n" : "\nexit status " + std::to_string(run.status) + "\n");
    }
    return out;
}

// The value after "label: " on each line that has it (a long one goes on
// after a backslash on the next line).
std::vector<std::string> values(const std::string& text, const std::string& label) {
    std::vector<std::string> out;
    for (size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1)) {
        size_t v = at + label.size();
        std::string value;
        for (;;) {
            const size_t end = text.find('\n', v);
            value += text.substr(v, end - v);
            if (value.empty() || value.back() != '\\' || end == std::string::npos) break;
            value.pop_back();
            v = text.find_first_not_of(" \t", end + 1);
        }
        out.push_back(value);
    }
    return out;
}

long epochOf(const std::string& gmtText) {
    const auto r = zqtest::run({"date", "-u", "-d", gmtText, "+%s"});
    return r.status == 0 ? std::stol(r.output) : -1;
}

std::string helper(const std::vector<std::string>& args, const std::string& tz) {
    std::vector<std::string> argv{CORE_CMS_OCSP_HELPER};
    argv.insert(argv.end(), args.begin(), args.end());
    return zqtest::run(argv, {}, {"TZ=" + tz}).output;
}

TEST(OcspResponder, CycleAnswersASignedRequest) {
    const std::string req = signedRequest({"-nonce"});
    // Revoked at a local time: the helper's zone decides the instant.
    for (const auto& [tz, revokedGmt] :
         {std::pair{"Asia/Seoul", "Mar  1 00:00:00 2025 GMT"}, std::pair{"UTC", "Mar  1 09:00:00 2025 GMT"}}) {
        SCOPED_TRACE(tz);
        const std::string out = temp("cycle.der", "");
        const long before = static_cast<long>(std::time(nullptr));
        ASSERT_EQ(helper({"ocsp-respond", temp("req.der", req), path("resp.der"), path("resp.key"), out, "1002",
                          "20250301090000", "1"},
                         tz),
                  "");
        const std::string text = checked(zqtest::readFile(out), req);
        EXPECT_EQ(text.find("exit status"), std::string::npos) << text;
        EXPECT_NE(text.find("Response verify OK"), std::string::npos) << text;
        EXPECT_NE(text.find("ee.pem: good"), std::string::npos);
        EXPECT_NE(text.find("revoked.pem: revoked"), std::string::npos);
        EXPECT_NE(text.find("topbit.pem: good"), std::string::npos);
        EXPECT_NE(text.find("Reason: keyCompromise"), std::string::npos);
        // Printed by both runs.
        EXPECT_EQ(values(text, "Revocation Time: "), (std::vector<std::string>{revokedGmt, revokedGmt}));
        // thisUpdate and producedAt are now; nothing says when the next
        // update comes.
        const auto thisUpdates = values(text, "This Update: ");
        ASSERT_EQ(thisUpdates.size(), 6u);
        for (const std::string& t : thisUpdates) EXPECT_LE(std::labs(epochOf(t) - before), 2);
        EXPECT_LE(std::labs(epochOf(values(text, "Produced At: ").at(0)) - before), 2);
        EXPECT_TRUE(values(text, "Next Update: ").empty());
        EXPECT_NE(text.find("OCSP Nonce"), std::string::npos);
    }
}

TEST(OcspResponder, TextsEqualOpensslsAndTheCertificates) {
    for (const char* digest : {"-sha1", "-sha256", "-sha512"}) {
        SCOPED_TRACE(digest);
        const std::string req = signedRequest({"-nonce", digest});
        const Cycle c = respond(req, file("resp.der"), file("resp-p8.der"), {{"1002", {"20250301090000", 1}}});
        ASSERT_EQ(c.rc, 0) << c.step;
        // The request list, without the requestor's certificate after it.
        std::string text = openssl({"ocsp", "-reqin", temp("q.der", req), "-req_text"}).output;
        text = text.substr(0, text.find("Request Extensions:"));
        const auto serials = values(text, "Serial Number: "), keyHashes = values(text, "Issuer Key Hash: ");
        ASSERT_EQ(c.entries.size(), 3u);
        ASSERT_EQ(serials.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(c.entries[i].serial, serials[i]);
            EXPECT_EQ(c.entries[i].keyHash, keyHashes[i]);
        }
        // A SHA-512 CertID's key hash is 64 bytes.
        const size_t hashBytes = std::string(digest) == "-sha1" ? 20 : std::string(digest) == "-sha256" ? 32 : 64;
        EXPECT_EQ(c.entries[0].keyHash.size(), 2 * hashBytes);
        EXPECT_NE(checked(c.response, req).find("Response verify OK"), std::string::npos);
        // The certificate side gives the same texts (the key identifier is
        // the SHA-1 of the CA's key).
        for (size_t i = 0; i < 3; ++i) {
            const std::string der = openssl({"x509", "-outform", "DER", "-in", path(kCerts[i])}).output;
            Out keyId, serial;
            int digestId = 0;
            ASSERT_EQ(VCL_Get_infomation_from_cert(der.data(), n(der), keyId.ptr(), serial.ptr(), &digestId), 0);
            EXPECT_EQ(std::string(serial.p), c.entries[i].serial);
            if (std::string(digest) == "-sha1") EXPECT_EQ(std::string(keyId.p), c.entries[i].keyHash);
            EXPECT_EQ(digestId, 0x5000300);
        }
    }
}

TEST(OcspResponder, InitOneAndOurClient) {
    const std::string req = signedRequest({"-nonce"});
    Out signer, nonce, single, rd, key, resp;
    int count = 0;
    ASSERT_EQ(
        VCL_Parsing_OCSP_request(req.data(), n(req), 1, signer.uptr(), &signer.len, nonce.uptr(), &nonce.len, &count),
        0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(signer.str(), file("requestor.der"));
    ASSERT_EQ(VCL_Get_OCSP_request_from_list(req.data(), n(req), 0, single.uptr(), &single.len), 0);
    const std::string resp_der = file("resp.der");
    ASSERT_EQ(VCL_Make_OCSP_response_init_one(req.data(), n(req), single.p, single.len, nullptr, 0, resp_der.data(),
                                              n(resp_der), 0, nonce.bytes(), nonce.len, rd.uptr(), &rd.len),
              0);
    const std::string p8 = file("resp-p8.der");
    unsigned char* info = nullptr;
    int infoLen = 0;
    ASSERT_EQ(VCL_Priv_to_key_unit(p8.data(), n(p8), "pw", &info, &infoLen), 0);
    ASSERT_EQ(VCL_Make_OCSP_response_final_Ex(rd.p, rd.len, resp_der.data(), n(resp_der), info, infoLen, 0x5000100, 1,
                                              0, resp.uptr(), &resp.len),
              0);
    VSC_Free(info, __FILE__, __LINE__);
    const std::string ca = file("ca.pem");
    int respStatus = -1, certStatus = -1;
    EXPECT_EQ(VCL_OCSP_Response(resp.p, resp.len, ca.data(), n(ca), nonce.bytes(), nonce.len, &respStatus, &certStatus,
                                nullptr, nullptr),
              0);
    EXPECT_EQ(certStatus, VCL_OCSP_GOOD);
    const auto text =
        opensslWithErrors({"ocsp", "-respin", temp("one.der", resp.str()), "-CAfile", path("ca.pem"), "-resp_text"});
    EXPECT_NE(text.output.find("Response verify OK"), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("Cert Status: good"), std::string::npos);
}

TEST(OcspResponder, RequestRefusals) {
    Out signer, nonce, single;
    int count = 5;
    const auto parse = [&](const std::string& req, int verify) {
        return rc(VCL_Parsing_OCSP_request(req.data(), n(req), verify, signer.uptr(), &signer.len, nonce.uptr(),
                                           &nonce.len, &count));
    };
    EXPECT_EQ(parse(opensslRequest({"-nonce"}), 1), 0xd003012du);
    EXPECT_EQ(signer.p, nullptr);
    EXPECT_EQ(nonce.p, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(parse(signedRequest({"-no_nonce"}), 1), 0xd0030116u);
    EXPECT_EQ(parse("junk", 1), 0xd0030065u);
    EXPECT_EQ(parse("-----BEGIN OCSP REQUEST-----\nAAAA\n-----END OCSP REQUEST-----\n", 1), 0xd0030067u);
    EXPECT_EQ(rc(VCL_Parsing_OCSP_request(nullptr, 5, 1, signer.uptr(), &signer.len, nonce.uptr(), &nonce.len, &count)),
              0xd0030003u);
    // A changed signature fails only when it is checked.
    std::string tampered = signedRequest({"-nonce"});
    const std::string sigAlg = unhex("300d06092a864886f70d01010b0500");  // sha256WithRSAEncryption
    const size_t at = tampered.find(sigAlg);
    ASSERT_NE(at, std::string::npos);
    tampered[at + sigAlg.size() + 10] ^= 1;
    EXPECT_EQ(parse(tampered, 1), 0xd0030106u);
    EXPECT_EQ(parse(tampered, 0), 0u);
    // PEM requests read too.
    const std::string pem = "-----BEGIN OCSP REQUEST-----\n" +
                            zqtest::run({"base64"}, signedRequest({"-nonce"})).output + "-----END OCSP REQUEST-----\n";
    EXPECT_EQ(parse(pem, 1), 0u);

    const std::string req = signedRequest({"-nonce"});
    EXPECT_EQ(rc(VCL_Get_OCSP_request_from_list(req.data(), n(req), 3, single.uptr(), &single.len)), 0xd0090133u);
    EXPECT_EQ(rc(VCL_Get_OCSP_request_from_list(req.data(), n(req), -1, single.uptr(), &single.len)), 0xd0090133u);
    EXPECT_EQ(rc(VCL_Get_OCSP_request_from_list(req.data(), 0, 0, single.uptr(), &single.len)), 0xd0090003u);
    Out serial, keyHash;
    EXPECT_EQ(rc(VCL_Get_single_requet_info("junk", 4, serial.ptr(), keyHash.ptr())), 0xd00a0065u);
    EXPECT_EQ(rc(VCL_Get_single_requet_info(nullptr, 4, serial.ptr(), keyHash.ptr())), 0xd00a0003u);
    EXPECT_EQ(serial.p, nullptr);
}

TEST(OcspResponder, BuildingRefusals) {
    const std::string cert = file("resp.der");
    const std::string nonce = "nonce";
    Out rd, out, resp;
    EXPECT_EQ(rc(VCL_Make_OCSP_response_init(cert.data(), n(cert), u(nonce), 0, rd.uptr(), &rd.len)), 0xd0060003u);
    EXPECT_EQ(rc(VCL_Make_OCSP_response_init("junk", 4, u(nonce), n(nonce), rd.uptr(), &rd.len)), 0xd0060065u);
    ASSERT_EQ(VCL_Make_OCSP_response_init(cert.data(), n(cert), u(nonce), n(nonce), rd.uptr(), &rd.len), 0);
    const std::string req = signedRequest({"-nonce"});
    Out single;
    ASSERT_EQ(VCL_Get_OCSP_request_from_list(req.data(), n(req), 1, single.uptr(), &single.len), 0);
    EXPECT_EQ(
        rc(VCL_Make_OCSP_response_update(rd.p, rd.len, single.p, single.len, nullptr, 0, 1, out.uptr(), &out.len)),
        0xd0070065u);
    EXPECT_EQ(rc(VCL_Make_OCSP_response_update("junk", 4, single.p, single.len, nullptr, 0, 0, out.uptr(), &out.len)),
              0xd0070136u);
    EXPECT_EQ(rc(VCL_Make_OCSP_response_update(rd.p, rd.len, "junk", 4, nullptr, 0, 0, out.uptr(), &out.len)),
              0xd0070137u);
    EXPECT_EQ(
        rc(VCL_Make_OCSP_response_update(rd.p, rd.len, single.p, single.len, nullptr, 0, 3, out.uptr(), &out.len)),
        0xd0070138u);
    EXPECT_EQ(out.p, nullptr);
    Out info;
    EXPECT_EQ(rc(VCL_Make_revoke_info("2025-03-01", 1, info.uptr(), &info.len)), 0xd0050135u);
    EXPECT_EQ(rc(VCL_Make_revoke_info(nullptr, 1, info.uptr(), &info.len)), 0xd0050003u);
    // Response data without an entry does not make a response.
    const std::string p8 = file("resp-p8.der");
    unsigned char* key = nullptr;
    int keyLen = 0;
    ASSERT_EQ(VCL_Priv_to_key_unit(p8.data(), n(p8), "pw", &key, &keyLen), 0);
    EXPECT_EQ(rc(VCL_Make_OCSP_response_final(rd.p, rd.len, cert.data(), n(cert), key, keyLen, 0x5000300, 0,
                                              resp.uptr(), &resp.len)),
              0xd0080136u);
    // A key of another certificate does not sign.
    ASSERT_EQ(VCL_Make_OCSP_response_update(rd.p, rd.len, single.p, single.len, nullptr, 0, 0, out.uptr(), &out.len),
              0);
    const std::string other = file("s1.der");
    EXPECT_EQ(rc(VCL_Make_OCSP_response_final(out.p, out.len, other.data(), n(other), key, keyLen, 0x5000300, 0,
                                              resp.uptr(), &resp.len)),
              0xd008013bu);
    EXPECT_EQ(rc(VCL_Make_OCSP_response_final(out.p, out.len, cert.data(), n(cert), "junk", 4, 0x5000300, 0,
                                              resp.uptr(), &resp.len)),
              0xd0080065u);
    VSC_Free(key, __FILE__, __LINE__);

    // Error responses: a status of 1 to 6, no bytes.
    EXPECT_EQ(rc(VCL_OCSP_Response_error(7, resp.uptr(), &resp.len)), 0xd00b013cu);
    EXPECT_EQ(resp.p, nullptr);
    EXPECT_EQ(rc(VCL_OCSP_Response_error(0, resp.uptr(), &resp.len)), 0xd00b013cu);
    ASSERT_EQ(VCL_OCSP_Response_error(6, resp.uptr(), &resp.len), 0);
    EXPECT_NE(openssl({"ocsp", "-respin", temp("e.der", resp.str()), "-resp_text"}).output.find("unauthorized (6)"),
              std::string::npos);
}

TEST(OcspResponder, KeysAndCertificates) {
    for (const char* keyFile : {"resp.key", "resp-p8.der"}) {
        const std::string key = file(keyFile);
        unsigned char* info = nullptr;
        int len = 0;
        ASSERT_EQ(VCL_Priv_to_key_unit(key.data(), n(key), "pw", &info, &len), 0) << keyFile;
        // The same key as openssl writes it.
        const std::string plain =
            openssl({"pkcs8", "-topk8", "-nocrypt", "-outform", "DER", "-in", path("resp.key")}).output;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(info), static_cast<size_t>(len)), plain);
        VSC_Free(info, __FILE__, __LINE__);
    }
    const std::string p8 = file("resp-p8.der"), enc = file("requestor-enc.pem");
    unsigned char* info = nullptr;
    int len = 0;
    EXPECT_EQ(rc(VCL_Priv_to_key_unit(p8.data(), n(p8), "wrong", &info, &len)), 0xd0030105u);
    EXPECT_EQ(rc(VCL_Priv_to_key_unit(p8.data(), n(p8), nullptr, &info, &len)), 0xd0030003u);
    EXPECT_EQ(rc(VCL_Priv_to_key_unit("junk", 4, "pw", &info, &len)), 0xd0030065u);
    EXPECT_EQ(rc(VCL_Priv_to_key_unit(enc.data(), n(enc), "wrong", &info, &len)), 0xd0030018u);
    const std::string cert = "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
    EXPECT_EQ(rc(VCL_Priv_to_key_unit(cert.data(), n(cert), "pw", &info, &len)), 0xd0030043u);
    EXPECT_EQ(info, nullptr);

    const std::string pem = file("resp.pem");
    unsigned char* der = nullptr;
    ASSERT_EQ(VCL_Cert_conv_DER_type(pem.data(), n(pem), &der, &len), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(der), static_cast<size_t>(len)), file("resp.der"));
    VSC_Free(der, __FILE__, __LINE__);
    der = nullptr;
    EXPECT_EQ(rc(VCL_Cert_conv_DER_type("junk", 4, &der, &len)), 0xd0020065u);
    EXPECT_EQ(rc(VCL_Cert_conv_DER_type(nullptr, 4, &der, &len)), 0xd0020003u);
}

TEST(OcspResponder, CertificateInformation) {
    Out keyId, serial;
    int digest = 0;
    const auto info = [&](const std::string& der) {
        return rc(VCL_Get_infomation_from_cert(der.data(), n(der), keyId.ptr(), serial.ptr(), &digest));
    };
    // The serial with its top bit set reads as the request's text does.
    ASSERT_EQ(info(file("topbit.der")), 0u);
    EXPECT_STREQ(serial.p, "8001");
    EXPECT_EQ(info(file("noski.der")), 0xd0040130u);
    EXPECT_EQ(info("junk"), 0xd0040103u);
    // Key identifiers that are no key identifier, or too long to be one.
    const std::string dir = temp("akid", "");
    zqtest::run({"rm", "-f", dir});
    zqtest::makeDirs(dir);
    const auto made = zqtest::run({zqtest::kPython, "-c", R"(
import datetime, sys
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID
key = rsa.generate_private_key(public_exponent=65537, key_size=1024)
name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "akid")])
now = datetime.datetime(2025, 1, 1)
for label, akid in (("long", x509.AuthorityKeyIdentifier(bytes(range(256)) * 2, None, None)),
                    ("serial", x509.AuthorityKeyIdentifier(None, [x509.DirectoryName(name)], 5))):
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(3).not_valid_before(now).not_valid_after(now + datetime.timedelta(days=1))
            .add_extension(akid, False).sign(key, hashes.SHA256()))
    open(sys.argv[1] + "/" + label + ".der", "wb").write(cert.public_bytes(serialization.Encoding.DER))
)",
                                   dir});
    ASSERT_EQ(made.status, 0);
    EXPECT_EQ(info(zqtest::readFile(dir + "/long.der")), 0xd0040003u);
    // Without a key identifier the text starts with its separator.
    EXPECT_EQ(info(zqtest::readFile(dir + "/serial.der")), 0xd004008fu);
    EXPECT_EQ(keyId.p, nullptr);
}

}  // namespace

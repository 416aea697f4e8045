// The crypto wrappers against openssl enc and pkeyutl, the named fields
// against openssl x509 and python3-cryptography, and the single
// certificate checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "MgmtHelpers.h"
#include "SignHelpers.h"

namespace {

using mgmttest::mx;
using mgmttest::mxBytes;
using mgmttest::Out;
using signtest::fx;
using signtest::fxBytes;
using storetest::len;

const std::string kKey = "0123456789abcdef";  // 16 bytes
const std::string kIv = "fedcba9876543210";   // 16 bytes
const char* kKeyHex = "30313233343536373839616263646566";
const char* kIvHex = "66656463626139383736353433323130";

std::string opensslOut(std::vector<std::string> argv, const std::string& input = {}) {
    argv.insert(argv.begin(), "openssl");
    const auto r = zqtest::run(argv, input, {"OPENSSL_CONF=/dev/null"});
    EXPECT_EQ(r.status, 0) << argv[1];
    return r.output;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

}  // namespace

// SEED-CBC with padding, Base64 out: openssl enc's bytes, and back; raw
// output too.
TEST(Wrappers, SeedCbcMatchesOpensslEnc) {
    for (const std::string& plain :
         {std::string("a"), std::string("sixteen bytes!!!"),
          std::string("mac=00:11:22:33:44:55&os=Debian GNU/Linux 12"), std::string(1000, 'x')}) {
        SCOPED_TRACE(plain.size());
        zqtest::TempDir dir("seed");
        zqtest::writeFile(dir / "in", plain);
        const auto peer = zqtest::run({"sh", "-c",
                                       std::string("openssl enc -seed-cbc -K ") + kKeyHex + " -iv " + kIvHex +
                                           " -provider legacy -provider default -in " + (dir / "in") + " | base64 -w0"},
                                      {}, {"OPENSSL_CONF=/dev/null"});
        ASSERT_EQ(peer.status, 0);
        Out<> enc;
        ASSERT_EQ(VPL_Symmetric_Crypto(1, kKey.data(), 16, kIv.data(), 16, "SEED-CBC", 1, 0, plain.data(), len(plain),
                                       enc.ptr(), &enc.n),
                  0);
        EXPECT_EQ(enc.str(), peer.output);
        Out<> dec;
        ASSERT_EQ(
            VPL_Symmetric_Crypto(0, kKey.data(), 16, kIv.data(), 16, "SEED-CBC", 1, 0, enc.p, enc.n, dec.ptr(), &dec.n),
            0);
        EXPECT_EQ(dec.str(), plain);
        Out<> raw;
        ASSERT_EQ(VPL_Symmetric_Crypto(1, kKey.data(), 16, kIv.data(), 16, "SEED-CBC", 1, 2, plain.data(), len(plain),
                                       raw.ptr(), &raw.n),
                  0);
        Out<> b64;
        ASSERT_EQ(VPL_DataEncode(0, raw.p, raw.n, b64.ptr(), &b64.n), 0);
        EXPECT_EQ(b64.str(), peer.output);
    }
}

// Keys and IVs shorter than the cipher takes are refused, never read past
// their end; missing arguments likewise.
TEST(Wrappers, SymmetricArgumentsRefused) {
    const std::string plain = "device information";
    const std::string key32(32, 'k');
    const struct Case {
        const char* name;
        const char* cipher;
        const void* key;
        int keyLen;
        const void* iv;
        int ivLen;
        const void* in;
        int expected;
    } cases[] = {
        {"10-byte key", "SEED-CBC", kKey.data(), 10, kIv.data(), 16, plain.data(), VPL_ERR_INVALID_PARAM},
        {"15-byte IV", "SEED-CBC", kKey.data(), 16, kIv.data(), 15, plain.data(), VPL_ERR_INVALID_PARAM},
        {"AES-256 with 16 bytes", "AES256-CBC", kKey.data(), 16, kIv.data(), 16, plain.data(), VPL_ERR_INVALID_PARAM},
        {"AES-256 with 32 bytes", "AES256-CBC", key32.data(), 32, kIv.data(), 16, plain.data(), 0},
        {"ECB takes no IV", "SEED-ECB", kKey.data(), 16, kIv.data(), 0, plain.data(), 0},
        {"no key", "SEED-CBC", nullptr, 16, kIv.data(), 16, plain.data(), VPL_ERR_INVALID_PARAM},
        {"no IV", "SEED-CBC", kKey.data(), 16, nullptr, 16, plain.data(), VPL_ERR_INVALID_PARAM},
        {"no input", "SEED-CBC", kKey.data(), 16, kIv.data(), 16, nullptr, VPL_ERR_INVALID_PARAM},
        {"no cipher", nullptr, kKey.data(), 16, kIv.data(), 16, plain.data(), VPL_ERR_INVALID_PARAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Out<> out;
        const int rc = VPL_Symmetric_Crypto(1, c.key, c.keyLen, c.iv, c.ivLen, c.cipher, 1, 0, c.in, len(plain),
                                            out.ptr(), &out.n);
        EXPECT_EQ(rc, c.expected);
        EXPECT_EQ(out.p == nullptr, c.expected != 0);
    }
    Out<> out;
    EXPECT_NE(VPL_Symmetric_Crypto(1, kKey.data(), 16, kIv.data(), 16, "NOSUCH-CBC", 1, 0, plain.data(), len(plain),
                                   out.ptr(), &out.n),
              0);
    EXPECT_EQ(out.p, nullptr);
}

// A signature with the stored (KISA-format) key verifies under openssl
// pkeyutl; ciphertexts for the certificate open with openssl's key, and
// openssl's open with the stored key.
TEST(Wrappers, RsaAgainstOpensslPkeyutl) {
    const std::string key = fxBytes("hong/signPri.key");
    const std::string cert = fxBytes("hong/signCert.der");
    const std::string pw = signtest::password();
    const std::string data = "nonce from the relay server";
    zqtest::TempDir dir("rsa");
    zqtest::writeFile(dir / "data", data);

    Out<void> sig;
    ASSERT_EQ(VPL_RSA_Private_Sign(key.data(), len(key), pw.c_str(), len(pw), 1, 16, "SHA256", data.data(), len(data),
                                   sig.ptr(), &sig.n),
              0);
    zqtest::writeFile(dir / "sig", sig.str());
    EXPECT_TRUE(signtest::quietly({"openssl", "pkeyutl", "-verify", "-pubin", "-inkey", fx("hong/pub.pem"), "-rawin",
                                   "-digest", "sha256", "-in", dir / "data", "-sigfile", dir / "sig"},
                                  {"OPENSSL_CONF=/dev/null"}));
    EXPECT_EQ(VPL_RSA_Public_Verify(cert.data(), len(cert), 1, 16, "SHA256", data.data(), len(data), sig.p, sig.n), 0);
    std::string bad = sig.str();
    bad[10] ^= 1;
    EXPECT_NE(
        VPL_RSA_Public_Verify(cert.data(), len(cert), 1, 16, "SHA256", data.data(), len(data), bad.data(), len(bad)),
        0);
    Out<void> none;
    EXPECT_NE(VPL_RSA_Private_Sign(key.data(), len(key), "wrong", 5, 1, 16, "SHA256", data.data(), len(data),
                                   none.ptr(), &none.n),
              0);
    EXPECT_EQ(none.p, nullptr);

    const struct Scheme {
        int code;
        std::vector<std::string> opts;
    } schemes[] = {{32, {"-pkeyopt", "rsa_padding_mode:pkcs1"}},
                   {8, {"-pkeyopt", "rsa_padding_mode:oaep", "-pkeyopt", "rsa_oaep_md:sha1"}}};
    for (const Scheme& s : schemes) {
        SCOPED_TRACE(s.code);
        Out<void> ct;
        ASSERT_EQ(VPL_RSA_Public_Crypto(1, cert.data(), len(cert), s.code, 16, "SHA1", data.data(), len(data), ct.ptr(),
                                        &ct.n),
                  0);
        zqtest::writeFile(dir / "ct", ct.str());
        std::vector<std::string> argv{"pkeyutl", "-decrypt", "-inkey", fx("hong/sign.pem"), "-in", dir / "ct"};
        argv.insert(argv.end(), s.opts.begin(), s.opts.end());
        EXPECT_EQ(opensslOut(argv), data);

        std::vector<std::string> enc{"pkeyutl", "-encrypt",   "-pubin", "-inkey",   fx("hong/pub.pem"),
                                     "-in",     dir / "data", "-out",   dir / "ct2"};
        enc.insert(enc.end(), s.opts.begin(), s.opts.end());
        opensslOut(enc);
        const std::string ct2 = zqtest::readFile(dir / "ct2");
        Out<void> plain;
        ASSERT_EQ(VPL_RSA_Private_Crypto(0, key.data(), len(key), pw.c_str(), len(pw), s.code, 16, "SHA1", ct2.data(),
                                         len(ct2), plain.ptr(), &plain.n),
                  0);
        EXPECT_EQ(plain.str(), data);
    }
    Out<void> out;
    EXPECT_EQ(VPL_RSA_Public_Crypto(1, nullptr, 0, 32, 16, "SHA1", data.data(), len(data), out.ptr(), &out.n),
              VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_RSA_Private_Crypto(1, key.data(), len(key), nullptr, 0, 32, 16, "SHA1", data.data(), len(data),
                                     out.ptr(), &out.n),
              VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_RSA_Public_Verify(cert.data(), len(cert), 1, 16, "SHA256", data.data(), len(data), nullptr, 0),
              VPL_ERR_INVALID_PARAM);
}

TEST(Wrappers, Random) {
    Out<void> r;
    ASSERT_EQ(VPL_Generator_Random(32, r.ptr()), 0);
    r.n = 32;
    ASSERT_NE(r.p, nullptr);
    EXPECT_EQ(static_cast<const char*>(r.p)[32], '\0');
    Out<void> none;
    EXPECT_EQ(VPL_Generator_Random(0, none.ptr()), -1);
    EXPECT_EQ(none.p, nullptr);
    EXPECT_EQ(VPL_Generator_Random(-5, none.ptr()), -1);
    EXPECT_EQ(VPL_COM_Change_Non_Proven(), 0);
}

// Every name against openssl x509 and python3-cryptography.
TEST(Fields, AgreeWithOpensslAndPython) {
    const std::string file = mx("full.der");
    const std::string cert = mxBytes("full.der");
    const auto value = [&](const char* name) {
        Out<> v;
        EXPECT_EQ(VPL_Get_ValueOfX509Field(cert.data(), len(cert), name, v.ptr(), &v.n), 0) << name;
        return v.str();
    };
    const auto x509 = [&](const char* opt) {
        return trimmed(opensslOut({"x509", "-inform", "DER", "-in", file, "-noout", opt}));
    };
    const auto py = [&](const std::string& expr) {
        const auto r = zqtest::run({zqtest::kPython, "-c",
                                    "import sys, warnings; warnings.simplefilter('ignore')\n"
                                    "from cryptography import x509\n"
                                    "from cryptography.hazmat.primitives import serialization as s\n"
                                    "from cryptography.x509.oid import NameOID as N\n"
                                    "c = x509.load_der_x509_certificate(open(sys.argv[1], 'rb').read())\n"
                                    "S = {N.COUNTRY_NAME: 'c', N.ORGANIZATION_NAME: 'o', "
                                    "N.ORGANIZATIONAL_UNIT_NAME: 'ou', N.COMMON_NAME: 'cn'}\n"
                                    "dn = lambda n: ','.join(f'{S[a.oid]}={a.value}' for a in reversed(list(n)))\n"
                                    "sys.stdout.buffer.write(" +
                                        expr + ")",
                                    file});
        EXPECT_EQ(r.status, 0) << expr;
        return r.output;
    };
    const auto gmt = [&](const char* opt) {
        const std::string when = x509(opt);
        return trimmed(zqtest::run({"date", "-u", "-d", when.substr(when.find('=') + 1), "+%Y%m%d%H%M%S"}).output);
    };

    EXPECT_EQ(value("version"), "2");
    const std::string serialHex = x509("-serial").substr(7);  // serial=8A3F01
    EXPECT_EQ(value("serial"), std::to_string(std::stoul(serialHex, nullptr, 16)));
    EXPECT_EQ(value("hexaserial"), "00" + serialHex) << "the DER INTEGER's sign octet stays";
    EXPECT_EQ(value("signatureAlg"), "1.2.840.113549.1.1.11|rsa-sha256|sha256WithRSAEncryption");
    EXPECT_EQ(storetest::iconvText(value("issuerDN"), "EUC-KR", "UTF-8"), py("dn(c.issuer).encode()"));
    EXPECT_EQ(storetest::iconvText(value("subjectDN"), "EUC-KR", "UTF-8"), py("dn(c.subject).encode()"));
    EXPECT_EQ(value("validityFrom"), gmt("-startdate"));
    EXPECT_EQ(value("validityTo"), gmt("-enddate"));
    EXPECT_EQ(value("pubkeyAlg"), "1.2.840.113549.1.1.1|rsaencryption|rsaEncryption");
    EXPECT_EQ(value("pubkey"), py("c.public_key().public_bytes(s.Encoding.DER, s.PublicFormat.PKCS1)[:256]"));
    EXPECT_EQ(value("pubkeyBit"), "2048");
    EXPECT_EQ(value("SUBJECTDN"), value("subjectDN"));
    EXPECT_EQ(value("PubKeyBit"), "2048");

    const struct Case {
        const char* name;
        int expected;
    } refused[] = {{"subjectDN ", -1}, {" subjectDN", -1}, {"subject", -1}, {"subjectDNs", -1}, {"", -1}};
    for (const Case& c : refused) {
        Out<> v;
        EXPECT_EQ(VPL_Get_ValueOfX509Field(cert.data(), len(cert), c.name, v.ptr(), &v.n), c.expected) << c.name;
        EXPECT_EQ(v.p, nullptr);
    }
    // An EC key has no modulus: no size and no key bytes in the record.
    const std::string ec = mxBytes("ec.der");
    Out<> v;
    EXPECT_EQ(VPL_Get_ValueOfX509Field(ec.data(), len(ec), "pubkeyBit", v.ptr(), &v.n), VPL_ERR_DATA);
    EXPECT_EQ(VPL_Get_ValueOfX509Field(ec.data(), len(ec), "pubkey", v.ptr(), &v.n), VPL_ERR_DATA);
    EXPECT_EQ(VPL_Get_ValueOfX509Field(cert.data(), 40, "version", v.ptr(), &v.n), VPL_ERR_X509_INFO);
    EXPECT_EQ(VPL_Get_ValueOfX509Field(nullptr, 0, "version", v.ptr(), &v.n), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Get_ValueOfX509Field(cert.data(), len(cert), nullptr, v.ptr(), &v.n), VPL_ERR_INVALID_PARAM);
    // PEM works as DER does.
    const std::string pem = opensslOut({"x509", "-inform", "DER", "-in", file});
    EXPECT_EQ(VPL_Get_ValueOfX509Field(pem.data(), len(pem), "pubkeyBit", v.ptr(), &v.n), 0);
    EXPECT_EQ(v.str(), "2048");
}

TEST(Checks, AdvancedSignatureAndValidity) {
    const std::string full = mxBytes("full.der"), km = mxBytes("km.der"), ca = mxBytes("ca.der");
    const std::string expired = mxBytes("expired.der"), pss = fxBytes("alg-pss.der");
    EXPECT_EQ(VPL_Is_Cert_Advanced(full.data(), len(full)), 0);
    EXPECT_EQ(VPL_Is_Cert_Advanced(km.data(), len(km)), -1) << "sha1WithRSA";
    EXPECT_EQ(VPL_Is_Cert_Advanced(pss.data(), len(pss)), -1) << "RSASSA-PSS names no digest";
    EXPECT_EQ(VPL_Is_Cert_Advanced(nullptr, 0), VPL_ERR_INVALID_PARAM);
    EXPECT_EQ(VPL_Is_Cert_Advanced(full.data(), 30), VPL_ERR_X509_INFO);

    EXPECT_EQ(VPL_Verify_signature(full.data(), len(full), ca.data(), len(ca)), 0);
    EXPECT_EQ(VPL_Verify_signature(ca.data(), len(ca), ca.data(), len(ca)), 0);
    EXPECT_EQ(VPL_Verify_signature(full.data(), len(full), full.data(), len(full)), -1);
    EXPECT_EQ(VPL_Verify_signature(full.data(), len(full), nullptr, 0), VPL_ERR_INVALID_PARAM);

    EXPECT_EQ(VPL_Cert_Verify_Validity(full.data(), len(full)), 0);
    EXPECT_EQ(VPL_Cert_Verify_Validity(expired.data(), len(expired)), -1);
    EXPECT_EQ(VPL_Cert_Verify_Validity(nullptr, 0), VPL_ERR_INVALID_PARAM);
}

// Making a signedData of 1 KB with signed attributes (contentType,
// signingTime, messageDigest) and the signer's certificate, to DER, beside
// one EVP_DigestSign of the same bytes with the same RSA-2048 key and
// OpenSSL's CMS_sign of the same message. Not a test: run it by hand, the
// two sides interleaved:
//   pki_p7sign_bench --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zunPKI/asn1/asn1_io.h>
#include <zunPKI/asn1/ber.h>
#include <zunPKI/pkcs/pkcs7_sign.h>
#include <zunPKI/pkcs/pkcs8.h>

// P7SignBenchOpenssl.cpp (OpenSSL's headers and ours cannot meet in one file).
bool opensslLoad(const std::string& keyPem, const std::string& certPem);
bool opensslDigestSign(const unsigned char* data, size_t len);
bool opensslCmsSign(const unsigned char* data, size_t len);

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kSha256Row = 672;
constexpr const char* kDataOid = "1.2.840.113549.1.7.1";

// The fixtures of the PKCS#7 tests, made once into a folder of /tmp.
const std::string& fixtures() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/p7benchXXXXXX";
        std::string path = mkdtemp(tmpl);
        const std::string cmd =
            std::string(ZQ_SOURCE_DIR) + "/tests/pki/pkcs/make_p7_fixtures.sh " + path + " >/dev/null";
        if (std::system(cmd.c_str()) != 0 || !opensslLoad(path + "/signer.key", path + "/signer.pem")) std::abort();
        return path;
    }();
    return dir;
}

Bytes file(const std::string& name) {
    std::ifstream in(fixtures() + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

template <class T>
T* decoded(const Bytes& der, PKI_ERROR (*decode)(const ASN1_UNIT*, T**)) {
    ASN1_UNIT* node = decodeToDERSequence(der.data(), static_cast<int>(der.size()));
    T* out = nullptr;
    if (!node || decode(node, &out) != 0) std::abort();
    free_ASN1_UNIT(node);
    return out;
}

const Bytes& content() {
    static const Bytes bytes = [] {
        Bytes b(1024);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 131 + 7);
        return b;
    }();
    return bytes;
}

// What a signing client does per document: digest, the message, its DER.
bool signOnce(const X509_CERT* cert, const ASYMMETRIC_KEY* key) {
    const Bytes& data = content();
    unsigned char md[32];
    int mdLen = sizeof md;
    static const char kTime[] = "250101120000Z";
    P7_CONTENT_INFO* p7 = new_P7_CONTENT_INFO();
    bool ok = p7 && VSC_DIGEST(VSC_DIGEST_SHA256, data.data(), static_cast<int>(data.size()), md, &mdLen) == 0 &&
              set_PKCS7_Type(p7, P7_SIGNED_DATA_TYPE) == 0 && new_PKCS7_Content(p7, P7_DATA) == 0;
    P7_SIGNER_INFO* si =
        ok ? add_PKCS7_Signature_withEncryptedAlgorithm(p7, cert, key, kSha256Row, P7_SIGN_PKCS1_V15, nullptr)
           : nullptr;
    ok = si && add_PKCS7_Certificate(p7, cert) == 0 &&
         add_PKCS7_Signed_Attribute(si, 50, ASN1_TAG_OBJECT_IDENTIFIER, kDataOid,
                                    static_cast<int>(std::strlen(kDataOid))) == 0 &&
         add_PKCS7_Signed_Attribute(si, 52, ASN1_TAG_UTC_TIME, kTime, static_cast<int>(std::strlen(kTime))) == 0 &&
         add_PKCS7_Signed_Attribute(si, 51, ASN1_TAG_OCTET_STRING, md, mdLen) == 0 && set_P7_version(p7, 1) == 0 &&
         sign_PKCS7(p7, reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0) == 0;
    ASN1_UNIT* node = nullptr;
    unsigned char* der = nullptr;
    ok = ok && P7_CONTENT_INFO_to_Seq(p7, &node) == 0 && ASN1_to_binary(node, &der) > 0;
    VSC_FREE(der);
    free_ASN1_UNIT(node);
    free_P7_CONTENT_INFO(p7);
    return ok;
}

void BM_OursSignedData(benchmark::State& state) {
    X509_CERT* cert = decoded(file("signer.der"), Seq_to_X509_CERT);
    P8_PRIV_KEY_INFO* key = decoded(file("signer.p8"), Seq_to_P8_PRIV_KEY_INFO);
    for (auto _ : state)
        if (!signOnce(cert, key->privateKey)) state.SkipWithError("signing failed");
    free_P8_PRIV_KEY_INFO(key);
    free_X509_CERT(cert);
}

void BM_OpensslDigestSign(benchmark::State& state) {
    fixtures();
    for (auto _ : state)
        if (!opensslDigestSign(content().data(), content().size())) state.SkipWithError("EVP_DigestSign failed");
}

void BM_OpensslCmsSign(benchmark::State& state) {
    fixtures();
    for (auto _ : state)
        if (!opensslCmsSign(content().data(), content().size())) state.SkipWithError("CMS_sign failed");
}

BENCHMARK(BM_OursSignedData);
BENCHMARK(BM_OpensslDigestSign);
BENCHMARK(BM_OpensslCmsSign);

}  // namespace

BENCHMARK_MAIN();

// A document signature from the store: VPL_Domain_PKCS7_Cert_submit_
// WithSignTimeAttribute (a yessign user's signCert.der and signPri.key in a
// temporary home; RSA-2048, SHA-256 from the domain, PBES2 AES-256-CBC key
// file at 2048 iterations; certificate PEM, the random looked for, 1 KB of
// content) beside OpenSSL opening the same key file with
// d2i_PKCS8PrivateKey_bio and making the message with CMS_sign and i2d, in
// one run; and the same steps through the building blocks, each opening the
// key. Not a test: run it by hand on a Release build.
//   <build>/tests/store/store_sign_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include <zephaltpavix/zephaltpavix.h>

#include "SignBenchOpenssl.h"
#include "TestSupport.h"

namespace {

const char kPw[] = "key password";
const std::string kData(1024, 'd');

const OpensslSigner& signer() {
    static const OpensslSigner s = opensslSigner(kPw);
    return s;
}

// The store's files and the domain, set up once.
struct Store {
    zqtest::TempDir home{"signbench"};
    std::string encPath;
    Store() {
        const OpensslSigner& s = signer();
        const std::string dir = home.path() + "/NPKI/yessign/USER/cn=bench signer,o=yessign,c=kr";
        zqtest::makeDirs(dir);
        zqtest::writeFile(dir + "/signCert.der", s.certDer);
        zqtest::writeFile(dir + "/signPri.key", s.keyFile);
        const std::string path = dir + "/signCert.der";
        char* enc = nullptr;
        int n = 0;
        VPL_DataEncode(0, path.data(), static_cast<int>(path.size()), &enc, &n);
        encPath.assign(enc, static_cast<size_t>(n));
        VPL_Free(enc, n);
        CTX* ctx = VPL_Init_CTX();
        ctx->domain = strdup("VERIDAN");
        ctx->domainLen = 7;
        ctx->sg = strdup("RSA15");
        ctx->sgh = strdup("SHA256");
        VPL_Insert_CTX(&g_CTX_Head, ctx);
    }
};

const Store& store() {
    static const Store s;
    return s;
}

void StoreSignTimeSubmit(benchmark::State& state) {
    const Store& s = store();
    for (auto _ : state) {
        char* pem = nullptr;
        void* msg = nullptr;
        void* random = nullptr;
        int pemLen = 0, msgLen = 0, randomLen = 0;
        if (VPL_Domain_PKCS7_Cert_submit_WithSignTimeAttribute(
                0, nullptr, 0, s.encPath.c_str(), "VERIDAN", kPw, static_cast<int>(std::strlen(kPw)), kData.data(),
                static_cast<int>(kData.size()), nullptr, 0, &pem, &pemLen, &msg, &msgLen, &random, &randomLen) != 0)
            state.SkipWithError("store signing failed");
        benchmark::DoNotOptimize(msg);
        VPL_Free(pem, pemLen);
        VPL_Free(msg, msgLen);
        VPL_Free(random, randomLen);
    }
}
BENCHMARK(StoreSignTimeSubmit)->Unit(benchmark::kMillisecond);

// The same through the building blocks, each of which opens the key: the
// password check, the random, the signature.
void StoreStepByStep(benchmark::State& state) {
    const Store& s = store();
    char* path = nullptr;
    int pathLen = 0;
    VPL_DataDecode(0, s.encPath.data(), static_cast<int>(s.encPath.size()), &path, &pathLen);
    const int pwLen = static_cast<int>(std::strlen(kPw));
    for (auto _ : state) {
        char* dn = nullptr;
        void* msg = nullptr;
        void* random = nullptr;
        int dnLen = 0, msgLen = 0, randomLen = 0;
        if (VPL_Cert_Password_Check(0, nullptr, 0, s.encPath.c_str(), static_cast<int>(s.encPath.size()), kPw, pwLen,
                                    &dn, &dnLen) != 0 ||
            VPL_Get_Random(path, 0, kPw, pwLen, &random, &randomLen) != 0 ||
            VPL_PKCS7_Make_Sign_WithSignTimeAttribute(path, 0, "SHA256", kPw, pwLen, kData.data(),
                                                      static_cast<int>(kData.size()), nullptr, &msg, &msgLen) != 0)
            state.SkipWithError("store signing failed");
        benchmark::DoNotOptimize(msg);
        VPL_Free(dn, dnLen);
        VPL_Free(msg, msgLen);
        VPL_Free(random, randomLen);
    }
    VPL_Free(path, pathLen);
}
BENCHMARK(StoreStepByStep)->Unit(benchmark::kMillisecond);

void OpensslPkcs8CmsSign(benchmark::State& state) {
    const OpensslSigner& s = signer();
    for (auto _ : state)
        if (opensslCmsSign(s, kPw, kData) <= 0) state.SkipWithError("openssl signing failed");
}
BENCHMARK(OpensslPkcs8CmsSign)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

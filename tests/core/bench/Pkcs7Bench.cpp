// A document signature from the key file: VCL_PK7_Make_Signed_Data over
// 1 KB (RSA-2048, SHA-256, the certificate and the content in, signed
// attributes, DER) with a PBES2 key file at 2048 iterations, beside OpenSSL
// decrypting the same file and making the message with CMS_sign, in one
// run. Not a test: run it by hand on a Release build.
//   <build>/tests/core/core_pkcs7_bench
#include <benchmark/benchmark.h>

#include <string>

#include <zunCore/keys.h>
#include <zunCore/pkcs7.h>
#include <zunCore/util.h>

#include "Pkcs7BenchOpenssl.h"

namespace {

const char kPw[] = "key password";
const std::string kData(1024, 'd');

const OpensslSigner& signer() {
    static const OpensslSigner s = opensslSigner(kPw);
    return s;
}

void CoreMakeSignedData(benchmark::State& state) {
    const OpensslSigner& s = signer();
    PKISTRINFO* info = VCL_PK1_New_PKISTRINFO();
    if (!info || VCL_PK1_Set_PKISTRINFO(info, s.certDer.data(), static_cast<int>(s.certDer.size()), s.keyFile.data(),
                                        static_cast<int>(s.keyFile.size()), kPw) != 0) {
        state.SkipWithError("credentials");
        return;
    }
    for (auto _ : state) {
        char* out = nullptr;
        int len = 0;
        if (VCL_PK7_Make_Signed_Data(kData.data(), static_cast<int>(kData.size()), info, "SHA256", nullptr, 1,
                                     VCL_PK7_DER, &out, &len) != 0)
            state.SkipWithError("signing failed");
        benchmark::DoNotOptimize(out);
        VCL_Free(out, len);
    }
    VCL_PK1_Free_PKISTRINFO(info);
}
BENCHMARK(CoreMakeSignedData)->Unit(benchmark::kMillisecond);

// The same key file opened by OpenSSL and the same message by CMS_sign.
void OpensslCmsSign(benchmark::State& state) {
    const OpensslSigner& s = signer();
    for (auto _ : state)
        if (opensslCmsSign(s, kPw, kData) <= 0) state.SkipWithError("openssl signing failed");
}
BENCHMARK(OpensslCmsSign)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// A job from LinuxQuillet_StartProcess to its dispatch against the stub
// relay with a 100 KB policy, beside one bare libcurl HTTPS POST that
// fetches the same reply; and the reply's parse beside two
// curl_easy_unescape passes over it. Medians of the given rounds. Run by
// hand (Release build):
//   agent_job_bench [rounds]
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BenchRelay.h"
#include "BenchSupport.h"
#include "RelayStub.h"
#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "job/ParsingFunc.h"

namespace {

using bench::Clock;
using bench::median;
using bench::ms;

// Notes when the job reaches its dispatch: the log-in window's opening (the
// box of a function without a window, were the dispatch to answer so).
class TimingUi : public IJobUi {
public:
    void MessageBox(const char*, int) override { reached = Clock::now(); }
    int MessageBoxOKCancel(const char*, int) override { return 0; }
    void LanguageSet(const char*) override {}
    int OpenWindow(JobWindow) override {
        reached = Clock::now();
        return -1;
    }
    void QuitLoop() override {}
    void CloseJobWindow() override {}
    void ClearCertLists() override {}
    int AddCertLists(const CertLists&, int) override { return 0; }
    void GetSelectedCertValue(SelectedCertValues& out) override { out = SelectedCertValues{}; }
    void ReleaseUi() override {}
    Clock::time_point reached;
};

// A policy list of about 100 KB: the usual keys and CA certificates in
// Base64, encoded as the relay sends it (each value, then the list).
std::string policyReply() {
    std::mt19937 rng(7);
    const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string certs;
    while (certs.size() < 96000) certs += b64[rng() % 64];
    std::string list = "CAName=yessign&Mode=1&CertUILanguage=KOR&Nonce=" + URLEncodeText(std::string(44, 'N')) +
                       "&SignatureMode=1&ProtocolVersion=1.2&CACerts=" + URLEncodeText(certs) + "&";
    return "funcName=login&PolicyList=" + URLEncodeText(list) + "&paramCount=0";
}

double barePost(const std::string& url, const std::string& form) {
    const auto start = Clock::now();
    size_t got = 0;
    const CURLcode rc = bench::relayPost(url, form, got);
    const double took = ms(Clock::now() - start);
    if (rc != CURLE_OK || got < 100000) std::fprintf(stderr, "bare POST failed (%d, %zu bytes)\n", rc, got);
    return took;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    curl_global_init(CURL_GLOBAL_ALL);
    zqtest::TempDir home("jobbench");
    DMLinuxUtil_SetUserHOMEDir(home.path().c_str());
    agenttest::TrustRelayCa trust;
    agenttest::RelayStub stub;
    const std::string reply = policyReply();
    stub.answer("getFunc", 200, reply);
    stub.answer("setResult", 200, "");
    TimingUi ui;
    Quillet_SetUi(&ui);

    std::string param = "SESSION=JSESSIONID%3Dabc&reqID=1&policyName=login&url=" + stub.url() + "&linuxVersion=1.2.8";
    std::vector<double> job, bare, parse, unescape;
    for (int i = 0; i < rounds; ++i) {
        QuilletJobArgs args{nullptr, param.data()};
        const auto start = Clock::now();
        LinuxQuillet_StartProcess(&args);
        job.push_back(ms(ui.reached - start));
        bare.push_back(barePost(stub.url(), "Action=getFunc&reqID=1&PolicyName=login&CACertIDs="));
    }
    for (int i = 0; i < rounds * 10; ++i) {
        std::string func;
        StructPolicyList policy;
        SignParams sign;
        ParseNotes notes;
        auto start = Clock::now();
        if (ParseServerReply(reply, func, policy, sign, notes) != 0) std::fprintf(stderr, "parse failed\n");
        parse.push_back(ms(Clock::now() - start));

        CURL* h = curl_easy_init();
        start = Clock::now();
        int n1 = 0, n2 = 0;
        char* once = curl_easy_unescape(h, reply.data(), static_cast<int>(reply.size()), &n1);
        char* twice = curl_easy_unescape(h, once, n1, &n2);
        unescape.push_back(ms(Clock::now() - start));
        curl_free(once);
        curl_free(twice);
        curl_easy_cleanup(h);
    }
    Quillet_SetUi(nullptr);
    const double j = median(job), b = median(bare), p = median(parse), u = median(unescape);
    std::printf("reply %zu bytes, %d rounds (medians)\n", reply.size(), rounds);
    std::printf("StartProcess to dispatch   %8.3f ms\n", j);
    std::printf("bare libcurl HTTPS POST    %8.3f ms   ratio %.2f\n", b, j / b);
    std::printf("reply parse                %8.3f ms\n", p);
    std::printf("two curl_easy_unescape     %8.3f ms   ratio %.2f\n", u, p / u);
    curl_global_cleanup();
    return 0;
}

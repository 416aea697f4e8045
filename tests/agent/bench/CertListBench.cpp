// The selection windows' list of a home of 1,000 certificates: the store's
// listing through GetDomainCertList into the UI object's rows, then
// UpdateListStoreForCertList into a GTK list store; beside OpenSSL reading
// the same 1,000 signCert.der files with d2i_X509 and X509_NAME_oneline of
// subject and issuer. Both in one run, interleaved, warm cache; medians of
// the given rounds. Run by hand on a Release build, under Xvfb:
//   xvfb-run -a agent_certlist_bench [rounds] [home]
// (the home is made with tests/fixtures/make_npki_home.sh when not given).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "BenchHome.h"
#include "BenchSupport.h"
#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/JobUiGtk.h"
#include "ui/MainUI.h"

// In a file of its own: OpenSSL's names clash with the PKI library's.
size_t opensslRead(const std::vector<std::string>& paths);

namespace {

using bench::Clock;
using bench::median;
using bench::ms;

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    std::string home = argc > 2 ? argv[2] : "";
    std::unique_ptr<zqtest::TempDir> made;
    home = bench::openCertHome(argc, argv, home, "certlist-bench", made);
    if (home.empty()) return 1;
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home + "/NPKI"))
        if (e.path().filename() == "signCert.der") paths.push_back(e.path());

    GtkListStore* store = gtk_list_store_new(6, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                             G_TYPE_STRING, GDK_TYPE_PIXBUF);
    auto ours = [&] {
        if (GetDomainCertList(0, nullptr, &filter_info) != 0) std::abort();
        GetQuilletUI()->UpdateListStoreForCertList(store);
        return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr);
    };
    filter_info = CertFilter{"issuer=", false};
    const int rows = ours();  // warms the cache
    opensslRead(paths);
    std::vector<double> a, b;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        ours();
        auto t1 = Clock::now();
        opensslRead(paths);
        auto t2 = Clock::now();
        a.push_back(ms(t1 - t0));
        b.push_back(ms(t2 - t1));
    }
    // The parts of ours: the store's listing alone, and the rows into GTK.
    std::vector<double> listing, store_;
    for (int i = 0; i < rounds; ++i) {
        char* list = nullptr;
        int len = 0;
        auto t0 = Clock::now();
        VPL_Get_Domain_CertList(0, nullptr, 0, nullptr, 0, "VERIDAN", 7, "issuer=", 7, &list, &len);
        auto t1 = Clock::now();
        VPL_Free(list, len);
        GetQuilletUI()->UpdateListStoreForCertList(store);
        auto t2 = Clock::now();
        listing.push_back(ms(t1 - t0));
        store_.push_back(ms(t2 - t1));
    }
    std::printf("%d rows, %zu files, %d rounds (medians)\n", rows, paths.size(), rounds);
    std::printf("GetDomainCertList + UpdateListStoreForCertList  %8.2f ms\n", median(a));
    std::printf("  of which the store's listing                  %8.2f ms\n", median(listing));
    std::printf("  of which the list store                       %8.2f ms\n", median(store_));
    std::printf("OpenSSL read + d2i_X509 + 2 X509_NAME_oneline   %8.2f ms\n", median(b));
    std::printf("ratio                                           %8.2fx\n", median(a) / median(b));
    g_object_unref(store);
    ClearQuilletUI();
    VPL_Cleanup();
    return 0;
}

// The certificate manager on a home of 1,000 certificates: from opening the
// window to its first idle moment (tab 0 filled and shown), beside the
// store's VPL_Get_Domain_CertList on the same home; interleaved, warm cache,
// medians. Run by hand on a Release build, under Xvfb:
//   xvfb-run -a agent_manager_bench [rounds] [home]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <zephaltpavix/zephaltpavix.h>

#include "TestSupport.h"
#include "agent/bench/BenchHome.h"
#include "agent/bench/BenchSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"
#include "ui/MainUI.h"
#include "ui/ManagerWindow.h"

namespace {

using bench::Clock;
using bench::median;
using bench::ms;

Clock::time_point g_shown;
gboolean shown(gpointer) {
    g_shown = Clock::now();
    Start_CloseMainWidgetThread(0);
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 11;
    std::string home = argc > 2 ? argv[2] : "";
    std::unique_ptr<zqtest::TempDir> made;
    home = bench::openCertHome(argc, argv, home, "manager-bench", made);
    if (home.empty()) return 1;
    filter_info = CertFilter{"issuer=", false};
    auto manager = [] {
        const auto t0 = Clock::now();
        g_idle_add(shown, nullptr);
        ManageCertWindow();
        return ms(g_shown - t0);
    };
    auto listing = [] {
        char* list = nullptr;
        int len = 0;
        const auto t0 = Clock::now();
        VPL_Get_Domain_CertList(0, nullptr, 0, nullptr, 0, "VERIDAN", 7, "issuer=", 7, &list, &len);
        const auto t1 = Clock::now();
        VPL_Free(list, len);
        return ms(t1 - t0);
    };
    // The parts: the window's builder, the job's list, the list store.
    auto builder = [] {
        const auto t0 = Clock::now();
        GtkBuilder* b = LoadWindowBuilder("MCW_manageCert");
        const auto t1 = Clock::now();
        gtk_widget_destroy(GTK_WIDGET(gtk_builder_get_object(b, "MCW_manageCert")));
        g_object_unref(b);
        return ms(t1 - t0);
    };
    GtkListStore* store = gtk_list_store_new(6, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                             G_TYPE_STRING, GDK_TYPE_PIXBUF);
    auto list = [] {
        const auto t0 = Clock::now();
        GetDomainCertList(0, nullptr, &filter_info);
        return ms(Clock::now() - t0);
    };
    auto fill = [store] {
        const auto t0 = Clock::now();
        GetQuilletUI()->UpdateListStoreForCertList(store);
        return ms(Clock::now() - t0);
    };
    manager();
    listing();
    std::vector<double> a, b, parts[3];
    for (int i = 0; i < rounds; ++i) {
        a.push_back(manager());
        b.push_back(listing());
        parts[0].push_back(builder());
        parts[1].push_back(list());
        parts[2].push_back(fill());
    }
    ClearQuilletUI();
    g_object_unref(store);
    std::printf("%d rounds (medians)\n", rounds);
    std::printf("manager opened, tab 0 filled and shown  %8.2f ms\n", median(a));
    std::printf("VPL_Get_Domain_CertList                 %8.2f ms\n", median(b));
    std::printf("ratio                                   %8.2fx\n", median(a) / median(b));
    std::printf("  the window's builder                  %8.2f ms\n", median(parts[0]));
    std::printf("  GetDomainCertList (store + rows)      %8.2f ms\n", median(parts[1]));
    std::printf("  UpdateListStoreForCertList            %8.2f ms\n", median(parts[2]));
    ClearQuilletUI();
    VPL_Cleanup();
    return 0;
}

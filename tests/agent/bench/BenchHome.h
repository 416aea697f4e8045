// The home and display of the benchmarks that open the list windows.
#pragma once

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "common/DMLinuxUtil.h"
#include "job/Job.h"

namespace bench {

// The home given, or a new one of 1,000 certificates kept in made; GTK up
// on a display and the agent pointed at the home. Empty when either fails.
inline std::string openCertHome(int& argc, char**& argv, const std::string& home, const char* tag,
                                std::unique_ptr<zqtest::TempDir>& made) {
    std::string path = home;
    if (path.empty()) {
        made = std::make_unique<zqtest::TempDir>(tag);
        path = made->path();
        std::printf("making a home of 1,000 certificates...\n");
        if (zqtest::run({"sh", ZQ_SOURCE_DIR "/tests/fixtures/make_npki_home.sh", path, "1000"}).status != 0) return {};
    }
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return {};
    }
    ::setenv("QUILLETEX_HOME", path.c_str(), 1);
    ::setenv("QUILLETEX_INSTALL_DIR", ZQ_UI_STAGE, 1);
    DMLinuxUtil_SetUserHOMEDir(path.c_str());
    ZUNLIB_Init();
    return path;
}

}  // namespace bench

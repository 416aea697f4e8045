// PKCS#12 bytes imported into a temporary home under a fixed password:
// whatever they hold, the import writes only below the home's NPKI, PPKI
// and GPKI folders, never through a link, and answers as the reading of the
// same bytes does (data that does not open writes nothing).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <zephaltpavix/zephaltpavix.h>
#include <zunCore/keys.h>

namespace {

namespace fs = std::filesystem;

void check(bool condition) {
    if (!condition) abort();
}

const char kPw[] = "fuzz-pw";

// The temporary home, removed when the process ends (a plain array: it
// outlives every destructor that runs before the exit handler).
char g_home[] = "/tmp/store_pfx_fuzz.XXXXXX";

const char* home() {
    static const bool made = [] {
        check(mkdtemp(g_home) != nullptr);
        setenv("QUILLETEX_HOME", g_home, 1);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(g_home, ignored);
        });
        return true;
    }();
    (void)made;
    return g_home;
}

// Every entry under the home: inside one of the three stores, no links;
// the count of regular files.
int filesUnderHome() {
    int files = 0;
    for (const auto& top : fs::directory_iterator(home())) {
        const std::string name = top.path().filename();
        check(name == "NPKI" || name == "PPKI" || name == "GPKI");
        check(!top.is_symlink());
        for (const auto& e : fs::recursive_directory_iterator(top.path())) {
            check(!e.is_symlink());
            check(e.path().filename().string().rfind('.', 0) != 0);  // no temporary left
            if (e.is_regular_file()) ++files;
        }
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* dir = home();
    const int len = static_cast<int>(size);

    PKI_STR_INFO* entries = nullptr;
    int count = -1;
    const int read = VPL_PFXBufToCert(data, len, kPw, 7, &entries, &count);
    if (read == 0) {
        check(count >= 0 && (count == 0) == (entries == nullptr));
        for (int i = 0; i < count; ++i) check(entries[i].cert && entries[i].cert_len > 0 && entries[i].key);
    } else {
        check(!entries && count == 0);
        check(read == VPL_ERR_PFX || read == VPL_ERR_INVALID_PARAM);
    }
    if (entries) {
        VCL_PK1_Free_PKISTRINFOS(entries, count);
        std::free(entries);
    }

    const int stored = VPL_Get_PFXBuf(data, len, 0, nullptr, kPw, 7);
    const int files = filesUnderHome();
    if (read != 0 || count == 0) {
        check(stored == VPL_ERR_PFX || stored == VPL_ERR_INVALID_PARAM);
        check(files == 0);
    } else if (stored == 0) {
        check(files > 0);
    }
    for (const auto& top : fs::directory_iterator(dir)) fs::remove_all(top.path());
    return 0;
}

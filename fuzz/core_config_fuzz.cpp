// The configuration reader on arbitrary files: every item it keeps fits its
// fields, every query stays inside the array and finds what it should.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zunCore/config.h>

namespace {

void check(bool condition) {
    if (!condition) abort();
}

std::string gPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Values may name these; the real home is never read.
    setenv("HOME", "/nonexistent/fuzz-home", 1);
    setenv("FUZZ_LONG", std::string(300, 'L').c_str(), 1);
    char name[] = "/tmp/core-config-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) abort();
    close(fd);
    gPath = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(gPath.c_str(), "wb");
    if (!f) abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    VCL_CONFIG_ITEM* items = VCL_Load_File(gPath.c_str());
    if (!items) return 0;
    const int count = items[0].count;
    check(count >= 0);
    int sections = 0;
    for (int i = 0; i < count; ++i) {
        const VCL_CONFIG_ITEM& item = items[i];
        const size_t keyLen = strnlen(item.key, sizeof item.key);
        const size_t valueLen = strnlen(item.value, sizeof item.value);
        check(keyLen > 0 && keyLen < sizeof item.key && valueLen < sizeof item.value);
        if (item.key[0] == '[' && item.value[0] == '\0') {
            ++sections;
            check(keyLen >= 3 && item.key[keyLen - 1] == ']' && valueLen == 0);
        } else {
            check(valueLen > 0 && valueLen <= 510);
            check(VCL_Get_String(items, nullptr, item.key) != nullptr);
        }
    }
    check(VCL_Get_Section_Count(items) == sections);

    char name[VCL_CONFIG_KEY_SIZE], key[VCL_CONFIG_KEY_SIZE], value[VCL_CONFIG_VALUE_SIZE];
    int seen = 0;
    for (int from = 0; (from = VCL_Get_Next_Section(items, from, name)) <= count && name[0]; ++seen) {
        check(seen < sections);
        const int keys = VCL_Get_Section_Value_Count(items, name);
        check(keys >= 0 && keys <= count);
        for (int n = 1; n <= keys + 1; ++n) {
            const int line = VCL_Get_Section_Value_by_IDX(items, name, n, 0, key, value);
            check(line >= 0 && line < count);
            if (std::strlen(name) >= 2 && n <= keys) check(key[0] != '\0');
        }
        VCL_Get_String(items, name, "key");
    }
    check(seen == sections);
    for (int n = 0; n <= sections + 1; ++n) {
        const int index = VCL_Get_Section_by_IDX(items, n, name);
        check(index >= 0 && index <= count);
    }
    VCL_Get_Num(items, nullptr, "key");
    VCL_Get_String(items, "", "key");
    VCL_Free_Config(items);
    return 0;
}

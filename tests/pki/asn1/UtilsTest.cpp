// Diagnostic texts, whole-file input and output, and the version.
#include <zunPKI/asn1/utils.h>

#include "PkiHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>

namespace {

using pkitest::bytes;
using pkitest::len;
using pkitest::Owned;

ASN1_STRING stringOf(int type, const std::string& data) {
    return ASN1_STRING{type, const_cast<unsigned char*>(bytes(data)), len(data), 0};
}

std::string printed(const std::function<void()>& print) {
    ::testing::internal::CaptureStdout();
    print();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

std::string dumped(char* text) {
    Owned<char> owned;
    owned.p = text;
    return text == nullptr ? "<null>" : std::string(text);
}

TEST(Diagnostics, HexOutput) {
    const unsigned char two[] = {0x01, 0xAB};
    EXPECT_EQ(dumped(dump_hex(two, 2)), "01:AB");
    EXPECT_EQ(dumped(dump_hex(two, 1)), "01");
    EXPECT_EQ(dumped(dump_hex(two, 0)), "");
    EXPECT_EQ(dumped(dump_hex(nullptr, 2)), "<null>");

    EXPECT_EQ(printed([&] { EXPECT_EQ(VKL_print_hex(two, 2), 2); }), "01:AB\n");
    EXPECT_EQ(printed([&] { VKL_print_hex(two, 0); }), "");
    EXPECT_EQ(printed([&] { VKL_print_hex_nl(two, 0); }), "\n");
    EXPECT_EQ(printed([&] { VKL_print_hex_no_nl(two, 2); }), "01:AB");
    EXPECT_EQ(printed([&] { EXPECT_EQ(VKL_print_hex(nullptr, 2), 0); }), "");
    EXPECT_EQ(printed([] { print_PCHAR("abc", 2); }), "ab\n");
    EXPECT_EQ(dumped(dump_PCHAR("abc", 2)), "ab");
}

TEST(Diagnostics, ValuesByType) {
    struct Case {
        int type;
        std::string data, print, dump;
    } cases[] = {
        {30, std::string("\xAC\x00", 2), "\xB0\xA1\n", "\xB0\xA1"},  // BMP to KS X 1001
        {12, "A\xEA\xB0\x80", "A\xB0\xA1\n", "A\xB0\xA1"},           // UTF-8 to KS X 1001
        {12, "\xC3\xA9", "C3:A9\n", "C3:A9"},                        // no KS X 1001 form: the bytes
        {6, "2.5.4.3", "2.5.4.3 - (commonName)\n", "2.5.4.3 - (commonName)\n"},
        {6, "1.2.3.4", "1.2.3.4 - (undefined)\n", "1.2.3.4 - (undefined)\n"},
        {4, "\x01\x02", "01:02\n", "01:02"},
        {3, "\xFF", "FF\n", "FF"},
        {19, "Seoul", "Seoul\n", "Seoul"},
        {23, "250101000000Z", "250101000000Z\n", "250101000000Z"},
        {24, "20250101000000Z", "20250101000000Z\n", "Un-Supported Type (18)\n"},
        {2, "\x01", "Un-Supported Type (02)\n", "Un-Supported Type (02)\n"},
        {0x80, "x", "Un-Supported Type (80)\n", "Un-Supported Type (80)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ASN1_STRING str = stringOf(c.type, c.data);
        EXPECT_EQ(printed([&] { print_ASN1STRING(&str); }), c.print);
        EXPECT_EQ(dumped(dump_ASN1STRING(&str)), c.dump);
    }
    ASN1_STRING empty = stringOf(4, "");
    EXPECT_EQ(printed([&] { print_ASN1STRING(&empty); }), "Null String\n");
    EXPECT_EQ(printed([] { print_ASN1STRING(nullptr); }), "Null String\n");
    EXPECT_EQ(dumped(dump_ASN1STRING(&empty)), "<null>");
    EXPECT_STREQ(get_PkiVersion(), "5.2.4");
}

std::optional<std::string> readAll(const std::string& path) {
    Owned<unsigned char> b;
    int n = File_to_binary(path.c_str(), b.out());
    EXPECT_EQ(n < 0, b.p == nullptr);
    return b.result(n);
}

TEST(Files, ReadAndReplace) {
    zqtest::TempDir dir("files");
    std::string path = dir / "out.der";
    const std::string data = std::string("\x30\x03\x02\x01\x05", 5) + std::string(1000, '\0');

    EXPECT_EQ(binary_to_File(bytes(data), 0, len(data), path.c_str()), len(data));
    EXPECT_EQ(readAll(path), data);
    EXPECT_EQ(binary_to_File(bytes(data), 1, 4, path.c_str()), 3);
    EXPECT_EQ(readAll(path), data.substr(1, 3));

    // A file that exists keeps its mode; a link keeps pointing at its file.
    ::chmod(path.c_str(), 0600);
    std::string link = dir / "link.der";
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_EQ(binary_to_File(bytes(data), 0, 5, link.c_str()), 5);
    EXPECT_EQ(readAll(path), data.substr(0, 5));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // Refusals leave the file as it was.
    EXPECT_EQ(binary_to_File(bytes(data), 4, 4, path.c_str()), -1);
    EXPECT_EQ(binary_to_File(bytes(data), -1, 4, path.c_str()), -1);
    EXPECT_EQ(binary_to_File(nullptr, 0, 4, path.c_str()), -1);
    EXPECT_EQ(binary_to_File(bytes(data), 0, 4, nullptr), -1);
    EXPECT_EQ(binary_to_File(bytes(data), 0, 4, (dir / "no/such/dir").c_str()), -1);
    EXPECT_EQ(binary_to_File(bytes(data), 0, 4, dir.path().c_str()), -1);  // a directory
    EXPECT_EQ(readAll(path), data.substr(0, 5));
    // Nothing but the file and the link is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    zqtest::writeFile(dir / "empty", "");
    EXPECT_EQ(readAll(dir / "empty"), std::nullopt);
    EXPECT_EQ(readAll(dir / "missing"), std::nullopt);
    EXPECT_EQ(readAll(dir.path()), std::nullopt);
    unsigned char* out = nullptr;
    EXPECT_EQ(File_to_binary(nullptr, &out), -1);
    EXPECT_EQ(out, nullptr);
}

// A path that names a pipe is refused at once: opening it to read would wait
// for a writer that may never come.
TEST(Files, APipeIsRefusedWithoutWaiting) {
    zqtest::TempDir dir("fifo");
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&fifo] { return readAll(fifo); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the reader go, so the test ends.
        int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        ADD_FAILURE() << "File_to_binary waited on the pipe";
    }
    EXPECT_EQ(reading.get(), std::nullopt);
}

}  // namespace

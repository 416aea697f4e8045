// Test main: keeps every test away from the real home and install
// directories unless the test points them somewhere itself.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("ZQ_SOURCE_DIR", ZQ_SOURCE_DIR, 0);
    ::setenv("ZQ_BINARY_DIR", ZQ_BINARY_DIR, 0);
    ::setenv("QUILLETEX_INSTALL_DIR", ZQ_BINARY_DIR "/no-such-install-dir", 1);
    ::setenv("QUILLETEX_HOME", ZQ_BINARY_DIR "/no-such-home", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Runs GoogleTest without Qt (in place of GoogleTest's own main), in a working folder of the
// process's own: ctest runs the tests of one program side by side, and a file one test writes
// into the working directory must not be another's.
#include <cstdio>
#include <exception>
#include <gtest/gtest.h>

#include "support/UserFolders.h"

// A test process that cannot set up its folder says why and runs nothing.
int main(int argc, char** argv) try {
    const testsupport::OwnWorkFolder workFolder;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
} catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
}

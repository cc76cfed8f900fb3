// SPDX-License-Identifier: GPL-3.0-or-later
// Runs GoogleTest inside the program's application object, on Qt's offscreen platform.
#include "TApplication.h"

#include <cstdio>
#include <exception>
#include <gtest/gtest.h>

#include "support/UserFolders.h"

// A test process that cannot set up its folder says why and runs nothing.
int main(int argc, char** argv) try {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each test process works in a folder of its own: the player writes "PLAY.TMP" into the
    // working directory, and tests of one program run side by side.
    const testsupport::OwnWorkFolder workFolder;
    TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
} catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
}

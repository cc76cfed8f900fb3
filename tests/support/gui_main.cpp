// SPDX-License-Identifier: GPL-3.0-or-later
// Runs GoogleTest inside the program's application object, on Qt's offscreen platform.
#include "TApplication.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/UserFolders.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    // Each test process plays in a folder of its own: the player writes "PLAY.TMP" into the
    // working directory, and tests of one program run side by side.
    QTemporaryDir workDir(QDir::currentPath() + QStringLiteral("/run-XXXXXX"));
    QDir::setCurrent(workDir.path());
    isolateUserFolders(workDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Zuvela: programs a KV 740 / QMR 52 pager receiver with selective-call tones.
#include "TApplication.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"

int main(int argc, char** argv) {
    if (const auto status = TApplication::answerInfoOption(argc, argv))
        return *status;
    // The way to the speaker is chosen once, before any window exists.
    UNT_Bleeper::initBleeper();
    TApplication application(argc, argv);
    showApplicationWindows();
    openFromCommandLine(TApplication::arguments());
    const int result = TApplication::exec();
    destroyApplicationWindows();
    return result;
}

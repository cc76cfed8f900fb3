// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli-sound: zuvela-cli with its sound part, started by zuvela-cli for the commands that
// play; run by itself it is zuvela-cli.
#include "Commands.h"
#include "Sound.h"

#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv(cli::kNotesShown) != nullptr) {
        ::unsetenv(cli::kNotesShown); // for this program only, not for what it starts
        cli::settingsNotesShown();
    }
    return cli::runProgram(argc, argv);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli-sound: zuvela-cli with its sound part, started by zuvela-cli for the commands that
// play; run by itself it is zuvela-cli.
#include "Commands.h"

int main(int argc, char** argv) {
    return cli::runProgram(argc, argv);
}

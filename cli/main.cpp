// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli: the programming data of the KV 740 / QMR 52 from the command line.
#include "Commands.h"
#include "Sound.h"

int main(int argc, char** argv) {
    cli::rememberCommandLine(argv);
    return cli::runProgram(argc, argv);
}

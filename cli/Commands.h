#pragma once
// The commands of zuvela-cli. A command is one function here and one row in main.cpp's table.
#include "Cli.h"

namespace cli {

int runListing(Args& args);
int runRender(Args& args);
int runSend(Args& args);
int runDevices(Args& args);
int runDecode(Args& args);
int runCall(Args& args);

} // namespace cli

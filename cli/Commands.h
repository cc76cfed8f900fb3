// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of zuvela-cli. A command is one function here and one row in Program.cpp's table.
#include "Cli.h"
#include "TestCall.h"

namespace cli {

// A command's arguments as parsed, before anything is done with them: parsing reads the files
// that -f names, and writes nothing.
struct RenderRequest {
    SettingsOptions settings;
    ExpertOptions expert;
    std::string output;
};
struct DecodeRequest {
    std::string file;   // "-": standard input
    std::string output; // empty: no programming-data file; "-": standard output
    double rawRate = 22050;
    bool rateGiven = false;
    bool calls = false;       // --calls: every call, nothing else
    uint8_t system = 0;       // --system: only the calls this tone system reads, 0 all
    std::size_t minTones = 3; // --min-length: only calls of at least this many tones
};
struct SendRequest {
    SettingsOptions settings;
    ExpertOptions expert;
    OutputOptions output;
    bool check = false; // --check: recorded back and compared tone by tone
    std::string input;  // --input: the recording's ALSA name; empty: the default input
};
// The level check: the test tone at an amplitude through an output, recorded from an input.
struct LevelRequest {
    ExpertOptions expert; // only --amplitude
    std::string device;   // --device: the output's ALSA name; empty: the default
    std::string input;    // --input: the input's ALSA name; empty: the default input
};
// The call, its address completed and checked (a failure names what is wrong with it).
struct CallRequest {
    TestCall call;
    OutputOptions output;
    bool toFile = false;
    std::string file;
};
SettingsOptions parseListing(Args& args);
RenderRequest parseRender(Args& args);
SendRequest parseSend(Args& args);
DecodeRequest parseDecode(Args& args);
CallRequest parseCall(Args& args);
LevelRequest parseLevel(Args& args);

// The whole program: the command line as main receives it, the exit status.
int runProgram(int argc, char** argv);

int runListing(Args& args);
int runRender(Args& args);
int runSend(Args& args);
int runDevices(Args& args);
int runDecode(Args& args);
int runCall(Args& args);
int runLevel(Args& args);

} // namespace cli

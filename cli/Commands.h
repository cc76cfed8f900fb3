// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of zuvela-cli. A command is one function here and one row in Program.cpp's table.
#include "Cli.h"
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgSession.h"
#include "TestCall.h"

#include <functional>

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
// A fleet list worked through line by line: the list's settings, the send's options.
struct BatchRequest {
    std::string list;
    std::string log;  // the record; empty: beside the list, LISTE-Protokoll.csv
    std::string from; // --from: the label to start at; empty: the first line
    ExpertOptions expert;
    OutputOptions output;
    bool check = false;
    std::string input;
};
// How one send of a batch ended, for its record line and the summary.
struct BatchSend {
    SendOutcome outcome;
    bool interrupted = false; // Ctrl+C: the batch ends after this line
};
SettingsOptions parseListing(Args& args);
RenderRequest parseRender(Args& args);
SendRequest parseSend(Args& args);
DecodeRequest parseDecode(Args& args);
CallRequest parseCall(Args& args);
BatchRequest parseBatch(Args& args);
// A list file read, or Failure with the refusal ("Die Datei NAME ist keine Liste: ...").
FleetList readListFile(const std::string& name);
// How reading an answer of batch ended.
enum class AnswerEnd { Line, End, Interrupted };
// Works through the list in a programming session: prompt, answer, the question before the
// same addresses twice in a row, send, the record's start and outcome lines, summary; the exit
// status of batch. beforeFirstSend runs once the record is open, before anything is sent (it
// readies the sound and Ctrl+C); readAnswer reads one line of standard input; send plays the
// session's plan for a line, given the record's open file and the line that stands for this
// send if Ctrl+C ends the program during it.
int runBatchWith(const BatchRequest& request, const std::function<void()>& beforeFirstSend,
                 const std::function<AnswerEnd(std::string&)>& readAnswer,
                 const std::function<BatchSend(const SendPlan&, int record,
                                               const std::string& interrupted)>& send);
LevelRequest parseLevel(Args& args);

// The whole program: the command line as main receives it, the exit status.
int runProgram(int argc, char** argv);

int runListing(Args& args);
int runRender(Args& args);
int runSend(Args& args);
int runDevices(Args& args);
int runDecode(Args& args);
int runCall(Args& args);
int runList(Args& args);
int runBatch(Args& args);
int runLevel(Args& args);

} // namespace cli

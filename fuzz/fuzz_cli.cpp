// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line parsing of zuvela-cli: the input is an argument list, arguments separated
// by NUL bytes as the kernel hands them over, the first naming the command. listing, render,
// send, call and decode parse their arguments as the program does; nothing is sent or
// written. Parsing may end only in a usage error or a failure with a message; what it accepts
// must be in range, and settings given as options must come back from the options that
// describe them.
//
// -f reads files: the target works in a folder of its own with a few programming-data files,
// and leaves out inputs with a '/' in any argument, so that only those files can be read.
#include "FuzzCheck.h"

#include "Commands.h"
#include "ProgEngine.h"
#include "Cp1252.h"
#include "ProgListing.h"
#include "TestCall.h"
#include "ToneSequence.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary) << text;
}

fs::path folder;

// The folder and files that -f may name; removed when the run ends.
void makeFolder() {
    char pattern[] = "/tmp/zuvela-fuzz-cli-XXXXXX";
    check(mkdtemp(pattern) != nullptr, "the work folder can be made");
    folder = pattern;
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    fs::current_path(folder);
    write("a.740", "[A]\r\nTS=6\r\nTL=2\r\nAW=2\r\nSM=4\r\n[B I]\r\nRP=1\r\nAD=1234\r\n"
                   "[B II]\r\nRP=True\r\nAD=5R5G\r\n[B III]\r\nRP=0\r\nAD=\r\n");
    write("bool.740", "[B I]\r\nRP=ja\r\n");
    write("empty.740", "");
    write("long.740", "[B I]\r\nRP=1\r\nAD=" + std::string(70000, '7') + "\r\n");
    fs::create_directory("folder.740");
}

// Arguments that set exactly these settings when given to a command from its start-up state.
std::vector<std::string> describe(const ProgDataSettings& s) {
    std::vector<std::string> args = {"--system",
                                     std::to_string(s.tonsys),
                                     s.toneLen == 2 ? "--long" : "--normal",
                                     "--evaluator",
                                     std::to_string(6 - s.evaluator),
                                     "--mode",
                                     std::to_string(s.switchMode)};
    for (std::size_t i = 0; i < s.addresses.size(); ++i)
        if (s.addresses[i].checked)
            args.push_back("--address=" + std::to_string(i + 1) + "=" +
                           platform::cp1252ToUtf8(s.addresses[i].text));
    return args;
}

void checkSettings(const cli::SettingsOptions& options, bool fromFile) {
    const ProgDataSettings& s = options.stored();
    check(s.tonsys >= 1 && s.tonsys <= 7 && s.toneLen >= 1 && s.toneLen <= 2 && s.evaluator >= 1 &&
              s.evaluator <= 3 && s.switchMode >= 1 && s.switchMode <= 4,
          "parsed settings are in range");
    // A file can leave unchecked addresses with texts, which no option gives.
    if (!fromFile) {
        cli::Args again(describe(s));
        cli::SettingsOptions reparsed;
        while (!again.done())
            check(reparsed.take(again), "the describing options are settings options");
        check(reparsed.stored() == s, "settings come back from the options describing them");
    }
    try {
        const TProgTones tones = options.progTones();
        check(progListingLines(tones).size() > 0, "accepted settings give a listing");
    } catch (const cli::Failure& e) {
        check(*e.what() != 0, "a failure says why");
    }
}

void checkExpert(const ExpertValues& e) {
    check(kToneLengthRange.allows(e.toneLength) && kTonePauseRange.allows(e.tonePause) &&
              kBlockPauseRange.allows(e.blockPause) && kAmplitudeRange.allows(e.amplitude),
          "expert values are slider positions");
}

void checkRender(const cli::RenderRequest& r) {
    check(!r.output.empty(), "render has an output");
    TProgTones tones;
    try {
        tones = r.settings.progTones();
    } catch (const cli::Failure&) {
        return;
    }
    const ExpertValues& e = r.expert.values();
    const std::vector<ToneSegment> sequence =
        toneSequence(tones, e.toneLength, e.tonePause, e.blockPause);
    std::size_t count = 0;
    for (const ToneSegment& segment : sequence)
        count += sampleCount(segment.duration);
    const std::vector<uint8_t> samples = progSamples(tones, e);
    check(samples.size() == count, "render gives every segment's samples");
    for (const uint8_t v : samples)
        check(std::abs(int(v) - kSilence) <= e.amplitude, "samples stay within the amplitude");
}

// An accepted call has a sendable address, and its samples stay within the amplitude.
void checkCall(const cli::CallRequest& r) {
    static const TToneTable table = [] {
        TToneTable t;
        fillToneTable(t);
        return t;
    }();
    const TestCall& call = r.call;
    check(call.tonsys >= 1 && call.tonsys <= 7 &&
              (call.toneLength == 40 || call.toneLength == 70 || call.toneLength == 100) &&
              kAmplitudeRange.allows(call.amplitude),
          "the call's values are in range");
    check(!r.toFile || !r.file.empty(), "a call to a file has a name");
    const std::vector<uint8_t> samples = renderTestCall(call, table);
    check(samples.size() == testCallSampleCount(call.address.size(), call.toneLength, call.siren),
          "the call has its length");
    for (const uint8_t v : samples)
        check(std::abs(int(v) - kSilence) <= call.amplitude,
              "call samples stay within the amplitude");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makeFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (true) {
        const std::size_t end = rest.find('\0');
        args.emplace_back(rest.substr(0, end));
        if (args.back().find('/') != std::string::npos)
            return 0;
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    const std::string command = args.front();
    args.erase(args.begin());
    bool fromFile = false;
    for (const std::string& arg : args)
        fromFile = fromFile || arg == "-f";

    cli::Args parsed(args);
    try {
        if (command == "listing") {
            checkSettings(cli::parseListing(parsed), fromFile);
        } else if (command == "render") {
            const cli::RenderRequest r = cli::parseRender(parsed);
            checkSettings(r.settings, fromFile);
            checkExpert(r.expert.values());
            checkRender(r);
        } else if (command == "send") {
            const cli::SendRequest r = cli::parseSend(parsed);
            checkSettings(r.settings, fromFile);
            checkExpert(r.expert.values());
        } else if (command == "call") {
            checkCall(cli::parseCall(parsed));
        } else if (command == "decode") {
            const cli::DecodeRequest r = cli::parseDecode(parsed);
            check(r.rawRate >= 6000 && r.rawRate <= 1000000, "the raw rate is allowed");
            check(!r.calls || r.output.empty(), "--calls writes no programming-data file");
        } else {
            return 0;
        }
    } catch (const cli::UsageError& e) {
        check(*e.what() != 0, "a usage error says why");
    } catch (const cli::Failure& e) {
        check(*e.what() != 0, "a failure says why");
    }
    return 0;
}

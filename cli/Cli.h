// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands of zuvela-cli share: the argument list, the two kinds of errors, and the
// options for the main window's settings and the programming dialog's expert values.
#include "ExpertValues.h"
#include "ProgDataFile.h"
#include "ProgTones.h"
#include "ToneSequence.h"
#include "UserTexts.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130; // 128 + SIGINT, as a shell reports Ctrl+C

// A wrong command line: reported with a pointer to --help, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The task failed: reported as it stands, exit status 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments after the command's name, taken front to back. Options and operands may come
// in any order; after "--" every argument is an operand.
class Args {
public:
    explicit Args(std::vector<std::string> args) : args_(std::move(args)) {}

    bool done() const;
    const std::string& current() const;
    // Takes the value option whose names (for example "-o" and "--output") include the current
    // argument: "NAME VALUE", "--NAME=VALUE" for a long name, "-XVALUE" for a short one. A
    // missing value is a usage error. Every name must be listed in isValueOption.
    bool takeValue(std::initializer_list<std::string_view> names, std::string& value);
    bool takeValue(std::string_view name, std::string& value) { return takeValue({name}, value); }
    bool takeFlag(const std::string& name);
    // Takes the current argument when it is no option ("-" alone counts as a name, and so does
    // everything after "--").
    bool takeArgument(std::string& value);
    // The current argument is no option of the command.
    [[noreturn]] void reject() const;

private:
    bool operand() const; // the current argument stands after "--"
    void skipEnd() const;

    std::vector<std::string> args_;
    mutable std::size_t next_ = 0;
    mutable bool operandsOnly_ = false;
};

// Whether an option of any command takes a value (so that the argument after it is no command).
bool isValueOption(std::string_view name);

// An input named on the command line, "-" for standard input. Throws Failure for a missing
// file, a folder, or one that cannot be opened; the same words for every command.
class Input {
public:
    explicit Input(const std::string& name);
    std::istream& stream() { return file_.is_open() ? file_ : std::cin; }
    bool isStandardInput() const { return !file_.is_open(); }

private:
    std::ifstream file_;
};

// Prints a note for the user on stderr ("Hinweis: ..."): the command goes on.
void warn(const std::string& text);

// Standard input as -f - read it, for the hand-over to the sound part, which cannot read it
// again; nullptr when it was not read.
const std::string* standardInputRead();
// In the sound part after a hand-over: what reading the settings noted was printed there.
void settingsNotesShown();

// The signal that stopped the command (SIGINT, SIGTERM, SIGHUP), or 0. Safe in a handler.
void noteStopSignal(int signal) noexcept;
int stopSignal() noexcept;
// A program stopped by a signal ends by it, after its clean-up, so that a shell stops its loop
// too: with none noted, this returns.
void endByStopSignal();

// The main window's settings, starting from its start-up state; options apply in the order
// given, so that those after -f override the file's values.
class SettingsOptions {
public:
    static std::string help();

    bool take(Args& args);
    // The value of --address N=TEXT.
    void setAddress(const std::string& value);
    const ProgSettings& stored() const { return settings_; }
    // Completes the addresses and checks them as "Programmieren" does, then encodes the tones.
    // Throws Failure with the window's messages.
    TProgTones progTones() const;

private:
    void load(const std::string& file); // "-": standard input
    void selectEvaluator(uint8_t evaluator);

    ProgSettings settings_;
};

// The programming dialog's expert values, starting where its sliders start.
class ExpertOptions {
public:
    static std::string help();

    bool take(Args& args);
    // Only --amplitude, for commands that take no other expert value.
    bool takeAmplitude(Args& args);
    const ExpertValues& values() const { return values_; }

private:
    ExpertValues values_;
};

// Where send and call play: a named ALSA device (empty: the default) or the PC speaker.
// A tone system as --system names it: 1 to 7 or its word; a usage error otherwise.
uint8_t parseSystem(const std::string& text);

struct OutputOptions {
    std::string device;
    bool speaker = false;

    bool take(Args& args);
    // Both given is a usage error.
    void check() const;
};

// The usage errors of --check [--input NAME] beside the output options (send, batch): --input
// without a name or without --check, and --check with --speaker.
void checkCheckOptions(bool check, bool haveInput, const std::string& input,
                       const OutputOptions& output);

// Writes bytes to out (stdout or an open file called name); Failure when that fails.
void writeAll(std::FILE* out, const std::string& bytes, const std::string& name);

// Writes samples to output as render does: "-" is stdout, a ".wav" name a RIFF/WAVE file,
// any other name the raw bytes. No half-written file is left behind.
void writeSamples(const std::string& output, const std::vector<uint8_t>& samples);

// A whole decimal number, nothing around it.
bool parseNumber(const std::string& text, int& value);

// A message of the program as the default error box shows it: with a final period.
using ::withPeriod;

} // namespace cli

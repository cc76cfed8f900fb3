// SPDX-License-Identifier: GPL-3.0-or-later
// The decode command: reads a recording, prints the tones it carries as the dialog lists them
// and the settings they encode, and writes them as a programming-data file on request.
#include "Commands.h"

#include "ProgDataFile.h"
#include "ProgListing.h"
#include "Recording.h"
#include "SequenceDecoder.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace cli {

namespace {

constexpr std::array<const char*, 3> kToneLengths = {"40 ms", "70 ms", "100 ms"};
constexpr std::array<const char*, 2> kLenModes = {"Normal", "Langton"};
constexpr std::array<const char*, 3> kEvaluators = {"5 Ton", "4 Ton", "3 Ton"};
constexpr std::array<const char*, 4> kSwitchModes = {"Schaltbar", "Immer ein", "Immer lautlos",
                                                     "Ein + Mithören"};

double parseRate(const std::string& text) {
    int value = 0;
    if (!parseNumber(text, value) || value < 6000 || value > 1000000)
        throw UsageError("--rate: \"" + text +
                         "\" ist nicht erlaubt (erlaubt: 6000 bis 1000000 Hz).");
    return double(value);
}

long ms(double value) {
    return std::lround(value);
}

std::string report(const DecodedSequence& d) {
    std::string text;
    for (const std::string& line : progListingLines(d.tones))
        text += line + '\n';
    const ProgSettings& s = d.settings;
    text += "\nTonsystem:      " + std::string(toneSystemCaption(s.tonsys)) + '\n';
    text += "Tonlänge:       " + std::string(kToneLengths.at(s.toneLength - 1)) + '\n';
    text += "Normal/Langton: " + std::string(kLenModes.at(s.lenMode - 1)) + '\n';
    text += "Auswerter:      " + std::string(kEvaluators.at(s.evaluator - 1)) + '\n';
    text += "Schaltermodus:  " + std::string(kSwitchModes.at(s.switchMode - 1)) + '\n';
    for (std::size_t i = 0; i < s.addresses.size(); ++i)
        text += "Rufadresse " + std::to_string(i + 1) + ":   " +
                (s.addresses[i].checked ? "[x] " : "[ ] ") + s.addresses[i].text + '\n';
    text += "\nGemessen: Tonlänge " + std::to_string(ms(d.toneLength)) + " ms, Tonpause " +
            std::to_string(ms(d.tonePause)) + " ms, Blockpause " +
            std::to_string(ms(d.blockPause)) + " ms\n";
    for (const std::string& note : d.notes)
        text += "Hinweis: " + note + '\n';
    return text;
}

} // namespace

DecodeRequest parseDecode(Args& args) {
    DecodeRequest r;
    std::string rate;
    bool haveFile = false, haveOutput = false, haveRate = false;
    while (!args.done()) {
        if (args.takeValue("--rate", rate))
            haveRate = true;
        else if (args.takeValue("-o", r.output))
            haveOutput = true;
        else if (!haveFile && args.takeArgument(r.file))
            haveFile = true;
        else
            args.reject();
    }
    if (!haveFile)
        throw UsageError("DATEI fehlt.");
    if (haveOutput && r.output.empty())
        throw UsageError("-o: der Dateiname ist leer.");
    if (haveRate)
        r.rawRate = parseRate(rate);
    return r;
}

int runDecode(Args& args) {
    const DecodeRequest request = parseDecode(args);
    const bool haveOutput = !request.output.empty();
    const std::string& output = request.output;

    TToneTable table;
    fillToneTable(table);
    DecodedSequence decoded;
    try {
        decoded = decodeSequence(readRecordingFile(request.file, request.rawRate), table);
    } catch (const RecordingError& e) {
        throw Failure(e.what());
    } catch (const DecodeError& e) {
        throw Failure(std::string("Keine gültige Programmiersequenz. ") + e.what());
    }
    // The file first: when it cannot be written, nothing else is.
    if (haveOutput) {
        try {
            saveProgDataFile(progDataSettings(decoded.settings), output);
        } catch (const std::exception& e) {
            throw Failure(withPeriod(e.what()));
        }
    }
    writeAll(stdout, report(decoded), "Standardausgabe");
    return kExitOk;
}

} // namespace cli

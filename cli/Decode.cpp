// SPDX-License-Identifier: GPL-3.0-or-later
// The decode command: reads a recording block by block, prints the tones it carries as the
// dialog lists them and the settings they encode, and writes them as a programming-data file on
// request; or, when it holds no programming sequence, the five-tone calls in it.
#include "Commands.h"

#include "CallDecoder.h"
#include "Cp1252.h"
#include "DecodeReport.h"
#include "ProgDataFile.h"
#include "ProgListing.h"
#include "Recording.h"
#include "SequenceDecoder.h"

#include "ProfileFile.h"
#include "SystemErrorText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <streambuf>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

double parseRate(const std::string& text) {
    int value = 0;
    if (!parseNumber(text, value) || value < 6000 || value > 1000000)
        throw UsageError("--rate: \"" + text +
                         "\" ist nicht erlaubt (erlaubt: 6000 bis 1000000 Hz).");
    return double(value);
}

// "0:00:00,60  57434 in ZVEI 1, ZVEI 1 (GB), ZVEI F; 68545 in ZVEI 2, ZVEI DEPR. (70 ms)"
std::string callLine(const DecodedCall& call) {
    std::string line = callTime(call.start) + "  ";
    for (std::size_t i = 0; i < call.readings.size(); ++i) {
        const CallReading& r = call.readings[i];
        line += (i ? "; " : "") + platform::cp1252ToUtf8(r.address) + " in ";
        for (std::size_t k = 0; k < r.systems.size(); ++k)
            line += std::string(k ? ", " : "") + toneSystemCaption(r.systems[k]);
    }
    return line + " (" + std::to_string(std::lround(call.toneLength)) + " ms)\n";
}

// How far the reading has come, on stderr when that is a terminal: an endless input (a live
// channel, a device) is read until Ctrl+C, and the user sees that it is being read.
class ReadPosition {
public:
    ReadPosition() : shown_(isatty(STDERR_FILENO) != 0) {}
    ~ReadPosition() { wipe(); }

    void draw(double seconds) {
        const auto now = std::chrono::steady_clock::now();
        if (!shown_ || now - last_ < std::chrono::milliseconds(500))
            return;
        last_ = now;
        std::fprintf(stderr, "\rgelesen: %s", callTime(seconds).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void wipe() {
        if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// Standard input as it arrives: a live channel's samples reach the decoder without waiting for
// a buffer to fill (std::cin's reads wait for all they ask for).
class ArrivingInput : public std::streambuf {
protected:
    int_type underflow() override {
        ssize_t n;
        do
            n = ::read(STDIN_FILENO, buffer_.data(), buffer_.size());
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
        return traits_type::to_int_type(buffer_[0]);
    }
    // Where standard input is a file, it can go back (to data that came before the format).
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                     std::ios_base::openmode) override {
        if (dir == std::ios_base::cur)
            offset -= egptr() - gptr();
        const int whence = dir == std::ios_base::beg   ? SEEK_SET
                           : dir == std::ios_base::cur ? SEEK_CUR
                                                       : SEEK_END;
        const off_t at = ::lseek(STDIN_FILENO, offset, whence);
        if (at < 0)
            return pos_type(off_type(-1));
        setg(buffer_.data(), buffer_.data(), buffer_.data());
        return pos_type(off_type(at));
    }
    pos_type seekpos(pos_type at, std::ios_base::openmode mode) override {
        return seekoff(off_type(at), std::ios_base::beg, mode);
    }
    std::streamsize showmanyc() override {
        int count = 0;
        return ::ioctl(STDIN_FILENO, FIONREAD, &count) == 0 ? count : 0;
    }

private:
    std::array<char, 65536> buffer_{};
};

} // namespace

// The calls as the request narrows them: only the readings of the asked tone system, only
// calls of the asked length.
std::vector<DecodedCall> wanted(std::vector<DecodedCall> calls, const DecodeRequest& request) {
    std::erase_if(calls, [&](DecodedCall& call) {
        if (request.system != 0)
            std::erase_if(call.readings, [&](CallReading& reading) {
                std::erase_if(reading.systems, [&](uint8_t s) { return s != request.system; });
                return reading.systems.empty();
            });
        return call.readings.empty() || call.readings.front().address.size() < request.minTones;
    });
    return calls;
}

DecodeRequest parseDecode(Args& args) {
    DecodeRequest r;
    std::string rate, system, minTones;
    bool haveFile = false, haveOutput = false;
    while (!args.done()) {
        if (args.takeValue("--rate", rate))
            r.rateGiven = true;
        else if (args.takeValue({"-o", "--output"}, r.output))
            haveOutput = true;
        else if (args.takeFlag("--calls"))
            r.calls = true;
        else if (args.takeValue("--system", system))
            r.system = parseSystem(system);
        else if (args.takeValue("--min-length", minTones)) {
            int n = 0;
            if (!parseNumber(minTones, n) || n < 3 || n > 5)
                throw UsageError("--min-length: \"" + minTones +
                                 "\" ist nicht erlaubt (erlaubt: 3 bis 5 Töne).");
            r.minTones = std::size_t(n);
        } else if (!haveFile && args.takeArgument(r.file))
            haveFile = true;
        else
            args.reject();
    }
    if (!haveFile)
        throw UsageError("DATEI fehlt.");
    if (haveOutput && r.output.empty())
        throw UsageError("-o: der Dateiname ist leer.");
    if (haveOutput && r.calls)
        throw UsageError("-o und --calls schließen einander aus: Rufe tragen keine "
                         "Programmierdaten.");
    if (r.rateGiven)
        r.rawRate = parseRate(rate);
    return r;
}

int runDecode(Args& args) {
    const DecodeRequest request = parseDecode(args);
    Input input(request.file);
    TToneTable table;
    fillToneTable(table);

    std::vector<FoundTone> tones;
    std::vector<DecodedCall> calls;
    try {
        std::string extension = std::filesystem::path(request.file).extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        ArrivingInput arriving;
        std::istream standardInput(&arriving);
        RecordingReader reader(input.isStandardInput() ? standardInput : input.stream(),
                               extension == ".wav", request.rawRate);
        if (reader.isWav() && request.rateGiven)
            warn("--rate gilt nur für Rohdaten; die WAV-Datei nennt ihre Abtastrate (" +
                 std::to_string(std::lround(reader.sampleRate())) + " Hz).");
        ToneFinder finder(reader.sampleRate());
        ReadPosition position;
        double samplesRead = 0;
        bool anyCall = false;
        // The calls among the tones as the finder tells them, a group at a time: it tells the
        // tones of a call together, and a tone of another group is no part of it. With --calls
        // each call is printed as soon as it is read (a live channel on standard input); else
        // they are kept, and the tones too, for a sequence.
        auto takeTones = [&](std::vector<FoundTone> found) {
            for (const DecodedCall& call : wanted(findCalls(found, table), request)) {
                if (request.calls) {
                    position.wipe();
                    writeAll(stdout, callLine(call), "Standardausgabe");
                } else {
                    calls.push_back(call);
                }
                anyCall = true;
            }
            if (!request.calls)
                tones.insert(tones.end(), found.begin(), found.end());
        };
        for (auto block = reader.next(); !block.empty(); block = reader.next()) {
            finder.push(block);
            samplesRead += double(block.size());
            position.draw(samplesRead / reader.sampleRate());
            takeTones(finder.take());
        }
        if (input.stream().bad())
            throw Failure("Datei nicht lesbar: " + request.file);
        position.wipe();
        if (const std::string note = reader.note(); !note.empty())
            warn(note);
        finder.finish();
        takeTones(finder.take());
        if (request.calls) {
            if (!anyCall)
                throw Failure("In der Aufnahme ist kein Ruf zu finden.");
            return kExitOk;
        }
    } catch (const RecordingError& e) {
        throw Failure(e.what());
    } catch (const DecodeError& e) {
        throw Failure(e.what());
    }

    DecodedSequence decoded;
    try {
        decoded = decodeSequence(tones, table);
    } catch (const DecodeError& e) {
        // No sequence: the calls, when there are any and no file was asked for.
        if (calls.empty() || !request.output.empty())
            throw Failure(noSequenceMessage(e));
        std::string text =
            "Keine Programmiersequenz; " +
            std::string(calls.size() == 1 ? "ein Ruf" : std::to_string(calls.size()) + " Rufe") +
            ":\n";
        for (const DecodedCall& call : calls)
            text += callLine(call);
        writeAll(stdout, text, "Standardausgabe");
        return kExitOk;
    }
    const ProgSettings& settings = decoded.settings;
    if (request.output == "-") {
        writeAll(stdout, progDataProfile(settings).text(), "Standardausgabe");
        return kExitOk;
    }
    // The file first: when it cannot be written, nothing else is.
    if (!request.output.empty()) {
        try {
            saveProgDataFile(settings, request.output);
        } catch (const platform::ProfileWriteError& e) {
            // As render says it: in German, with the reason (the window's text is its own).
            throw Failure("Datei kann nicht geschrieben werden: " + request.output + " (" +
                          platform::systemErrorText(e.cause().value()) + ")");
        }
    }
    writeAll(stdout, decodeReport(decoded), "Standardausgabe");
    return kExitOk;
}

} // namespace cli

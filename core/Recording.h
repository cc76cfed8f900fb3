// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a recording of a tone sequence: a WAV file (integer PCM of 8, 16, 24 or 32 bits, or
// 32/64-bit float; plain or extensible format; any rate; the first channel of several) or raw
// unsigned 8-bit mono samples at a given rate. Texts of errors are German, for the user.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct Recording {
    double sampleRate = 0;
    std::vector<float> samples; // first channel, full scale is +-1
};

class RecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether bytes start as a RIFF/WAVE file does.
bool looksLikeWav(std::span<const uint8_t> bytes);

// Parses a whole WAV file held in memory; never reads outside bytes. Throws RecordingError.
Recording readWav(std::span<const uint8_t> bytes);

// Raw unsigned 8-bit mono samples at sampleRate.
Recording readRaw8(std::span<const uint8_t> bytes, double sampleRate);

// Reads file whole: a WAV file when its content or its name says so, else raw 8-bit at rawRate.
Recording readRecordingFile(const std::filesystem::path& file, double rawRate = 22050);

// Reads a recording block by block from a stream (a file, a pipe, standard input), so that
// memory stays the same however long it is. The stream is a WAV file when its content starts as
// one or wavByName says so, else raw 8-bit samples at rawRate. Throws RecordingError.
class RecordingInput;
class RecordingReader {
public:
    static constexpr std::size_t blockFrames = 16384;

    RecordingReader(std::istream& in, bool wavByName, double rawRate);
    // From bytes in memory, which outlive the reader: no stream, so that a program that reads
    // only from memory (the web page's engine) carries none of the streams' machinery.
    RecordingReader(std::span<const uint8_t> bytes, bool wavByName, double rawRate);
    ~RecordingReader();
    double sampleRate() const { return rate_; }
    bool isWav() const { return wav_; }
    // The next samples (first channel, full scale +-1), at most blockFrames; empty at the end.
    // Waits for one frame only and takes what else has arrived, so that a live input is read as
    // it comes. A WAV stream goes on past the size its data chunk declares (writers to a pipe put
    // a placeholder or a guess there) unless another chunk follows the data.
    std::span<const float> next();
    // Empty, or what the user should know about the data read so far (German).
    std::string note() const;

private:
    RecordingReader(std::unique_ptr<RecordingInput> input, bool wavByName, double rawRate);
    void lookBeyondData();

    std::unique_ptr<RecordingInput> input_;
    RecordingInput& in_;
    bool wav_ = false;
    double rate_ = 0;
    uint16_t tag_ = 0, bits_ = 0, blockAlign_ = 1;
    uint64_t dataLeft_ = 0; // bytes of the data chunk still to read
    uint64_t declared_ = 0; // the data chunk's size as its header says
    uint64_t dataRead_ = 0;
    bool beyond_ = false;          // samples followed the declared size
    bool ended_ = false;           // the stream has no more samples
    std::vector<uint8_t> pending_; // raw bytes read while looking for the header
    std::vector<uint8_t> bytes_;
    std::vector<float> samples_;
    bool started_ = false;
};

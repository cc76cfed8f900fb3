// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a recording of a tone sequence: a WAV file (integer PCM of 8, 16, 24 or 32 bits, or
// 32/64-bit float; plain or extensible format; any rate; the first channel of several) or raw
// unsigned 8-bit mono samples at a given rate. Texts of errors are German, for the user.
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
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

// Reads file: a WAV file when its content or its name says so, else raw 8-bit at rawRate.
Recording readRecordingFile(const std::filesystem::path& file, double rawRate = 22050);

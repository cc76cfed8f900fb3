// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RIFF/WAVE files of PCM sound: the programming dialog's (8-bit unsigned, mono) and the
// recorder's (its own format).
#include <cstdint>
#include <string>
#include <vector>

struct PcmFormat {
    uint16_t channels = 1;
    uint16_t bitsPerSample = 8;
    uint32_t sampleRate = 0;
};

// The 44-byte header: the RIFF chunk's length (the file's size less 8) and the data chunk's
// length as given, so that a writer that learns them only at the end can write it again.
std::string waveFileHeader(const PcmFormat& format, uint32_t riffLength, uint32_t dataLength);
// The whole file: the 44-byte header, then the samples (padded to an even length as RIFF
// chunks are). Throws std::length_error for more samples than a RIFF file can hold.
std::string waveFileBytes(const std::vector<uint8_t>& samples, uint32_t sampleRate);

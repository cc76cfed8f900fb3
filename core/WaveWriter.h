// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RIFF/WAVE files of the sound the programming dialog plays: PCM, 8-bit unsigned, mono.
#include <cstdint>
#include <string>
#include <vector>

// The whole file: the 44-byte header, then the samples (padded to an even length as RIFF
// chunks are). Throws std::length_error for more samples than a RIFF file can hold.
std::string waveFileBytes(const std::vector<uint8_t>& samples, uint32_t sampleRate);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A tone detector of the tests' own: splits captured 8-bit samples into tones and pauses and
// measures each tone's frequency with the Goertzel algorithm.
#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedSegment {
    double frequency;   // 0 for a pause
    std::size_t length; // samples
};

// A pause is a run of the silence value 127 of at least minPause samples; a tone is what lies
// between pauses.
std::vector<DecodedSegment> decodeTones(const std::vector<uint8_t>& samples, double sampleRate,
                                        std::size_t minPause = 100);

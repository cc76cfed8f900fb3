// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The synthesis as first written, every sample straight from the extended-precision formula:
// the reference that the fast renderer must match byte for byte.
#include "ToneSequence.h"

#include <cmath>

inline void appendToneSamplesReference(uint16_t frequency, uint16_t duration, uint8_t amplitude,
                                       std::vector<uint8_t>& buffer) {
    const std::size_t count = sampleCount(duration);
    if (frequency == 0) {
        buffer.insert(buffer.end(), count, kSilence);
        return;
    }
    const double step =
        static_cast<double>(frequency / static_cast<long double>(kSampleRate) * 6.28318L);
    for (std::size_t n = 1; n <= count; ++n) {
        const long double value = std::sin(static_cast<long double>(n) * step) * amplitude + 127.0L;
        buffer.push_back(static_cast<uint8_t>(std::nearbyintl(value)));
    }
}

inline std::vector<uint8_t> renderSequenceReference(const std::vector<ToneSegment>& sequence,
                                                    uint8_t amplitude) {
    std::vector<uint8_t> buffer;
    for (const ToneSegment& segment : sequence)
        appendToneSamplesReference(segment.frequency, segment.duration, amplitude, buffer);
    return buffer;
}

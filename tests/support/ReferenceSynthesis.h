// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The synthesis as first written, every step straight from the extended-precision formula in
// long double: the reference that the renderer must match byte for byte. It is that reference
// only where long double is the x87 80-bit format (x86-64); elsewhere the golden sums stand
// in for it.
#include "ToneSequence.h"

#include <cmath>
#include <limits>

namespace testsupport {

// Whether long double has the 64-bit significand that the reference is defined in.
inline constexpr bool kLongDoubleIsExtended = std::numeric_limits<long double>::digits == 64;

inline std::size_t sampleCountReference(uint16_t duration) {
    const long double seconds = duration / 1000.0L;
    const long double samples = seconds * static_cast<long double>(kSampleRate);
    return static_cast<std::size_t>(std::nearbyintl(samples));
}

inline double toneStepReference(uint16_t frequency) {
    return static_cast<double>(frequency / static_cast<long double>(kSampleRate) * 6.28318L);
}

inline uint8_t toneSampleReference(std::size_t n, double step, uint8_t amplitude) {
    const long double value = std::sin(static_cast<long double>(n) * step) * amplitude + 127.0L;
    return static_cast<uint8_t>(std::nearbyintl(value));
}

} // namespace testsupport

inline void appendToneSamplesReference(uint16_t frequency, uint16_t duration, uint8_t amplitude,
                                       std::vector<uint8_t>& buffer) {
    const std::size_t count = testsupport::sampleCountReference(duration);
    if (frequency == 0) {
        buffer.insert(buffer.end(), count, kSilence);
        return;
    }
    const double step = testsupport::toneStepReference(frequency);
    for (std::size_t n = 1; n <= count; ++n)
        buffer.push_back(testsupport::toneSampleReference(n, step, amplitude));
}

inline std::vector<uint8_t> renderSequenceReference(const std::vector<ToneSegment>& sequence,
                                                    uint8_t amplitude) {
    std::vector<uint8_t> buffer;
    for (const ToneSegment& segment : sequence)
        appendToneSamplesReference(segment.frequency, segment.duration, amplitude, buffer);
    return buffer;
}

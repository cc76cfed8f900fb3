// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ToneDecoder.h"

#include <cmath>

namespace {

// The power of one frequency over a block of samples.
double goertzel(const uint8_t* samples, std::size_t count, double frequency, double sampleRate) {
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / sampleRate);
    double s1 = 0, s2 = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const double s0 = (samples[n] - 127.0) + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double strongestFrequency(const uint8_t* samples, std::size_t count, double sampleRate) {
    // A coarse scan over the range of selective-call tones, then finer steps around the peak.
    double best = 0, bestPower = -1;
    auto scan = [&](double from, double to, double step) {
        // Counted in whole steps: a floating-point counter would gather rounding errors.
        for (int i = 0; from + i * step <= to; ++i) {
            const double f = from + i * step;
            const double power = goertzel(samples, count, f, sampleRate);
            if (power > bestPower) {
                bestPower = power;
                best = f;
            }
        }
    };
    scan(200, 4000, 5);
    const double coarse = best;
    scan(coarse - 5, coarse + 5, 0.05);
    return best;
}

} // namespace

std::vector<DecodedSegment> decodeTones(const std::vector<uint8_t>& samples, double sampleRate,
                                        std::size_t minPause) {
    std::vector<DecodedSegment> segments;
    std::size_t i = 0;
    while (i < samples.size()) {
        std::size_t run = i;
        while (run < samples.size() && samples[run] == 127)
            ++run;
        if (run - i >= minPause || run == samples.size()) {
            if (run > i)
                segments.push_back({0, run - i});
            i = run;
            continue;
        }
        // A tone: up to the next run of silence long enough to be a pause.
        std::size_t end = i;
        std::size_t quiet = 0;
        while (end < samples.size() && quiet < minPause) {
            quiet = samples[end] == 127 ? quiet + 1 : 0;
            ++end;
        }
        if (quiet >= minPause)
            end -= quiet;
        segments.push_back({strongestFrequency(&samples[i], end - i, sampleRate), end - i});
        i = end;
    }
    return segments;
}

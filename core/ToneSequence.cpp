// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneSequence.h"

#include "Extended.h"

#include <cmath>

std::vector<ToneSegment> toneSequence(const TProgTones& t, uint16_t toneLength, uint16_t tonePause,
                                      uint16_t blockPause) {
    // The pauses are 16-bit; with the sliders' ranges they never wrap.
    const auto afterBlockA = static_cast<uint16_t>(2 * blockPause - tonePause);
    const auto betweenBlocks = static_cast<uint16_t>(blockPause - tonePause);
    std::vector<ToneSegment> sequence;
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (t[i] != 0) {
            sequence.push_back({t[i], toneLength});
            sequence.push_back({0, tonePause});
        }
        if (i == kBlockASlots - 1)
            sequence.push_back({0, afterBlockA});
        if (i == 10 || i == 15 || i == 20) {
            if (t[i + 1] == 0)
                break;
            sequence.push_back({0, betweenBlocks});
        }
    }
    return sequence;
}

std::size_t sampleCount(uint16_t duration) {
    // Each step rounded to the extended format in this order: at the exact ties (every 20 ms
    // from 10 ms on) the two roundings decide.
    const Extended seconds = extendedQuotient(duration, 1000);
    return nearestInteger(extendedProduct(seconds, extendedOf(uint64_t{kSampleRate})));
}

double toneStep(uint16_t frequency) {
    // The constant is 6.28318, not 2 pi: the receiver was tuned against these tones.
    const Extended cycles = extendedQuotient(frequency, kSampleRate);
    return nearestDouble(extendedProduct(cycles, extendedQuotient(628318, 100000)));
}

namespace {

// The phase n * w as the extended format rounds it, as two doubles that add up to it exactly.
void phaseOf(std::size_t n, double step, double& high, double& low) {
    splitExtended(extendedProduct(extendedOf(uint64_t{n}), extendedOf(step)), high, low);
}

} // namespace

uint8_t preciseToneSample(std::size_t n, double step, uint8_t amplitude) {
    double high = 0, low = 0;
    phaseOf(n, step, high, low);
    const double sine = std::sin(high) + std::cos(high) * low;
    return static_cast<uint8_t>(std::nearbyint(sine * amplitude + 127.0));
}

namespace {

// The samples are round(sin(n * w) * A + 127) in extended precision. A double-precision pass
// gets within kTieMargin of that value (see appendToneSamples); only a value that close to a
// rounding tie can round differently, and those few go through preciseToneSample.
constexpr double kTieMargin = 1e-7;
// The rotation restarts from the sine and cosine of the exact phase every kReseed samples,
// so its rounding error cannot grow with the tone's length.
constexpr std::size_t kReseed = 512;

} // namespace

void appendToneSamples(uint16_t frequency, uint16_t duration, uint8_t amplitude,
                       std::vector<uint8_t>& buffer) {
    const std::size_t count = sampleCount(duration);
    if (frequency == 0) {
        buffer.insert(buffer.end(), count, kSilence);
        return;
    }
    const double step = toneStep(frequency);
    const std::size_t start = buffer.size();
    buffer.resize(start + count);
    uint8_t* out = buffer.data() + start;

    // sin(n w) by rotating (cos, sin) through the angle w in double precision. Against the
    // extended value each rotation adds at most a few 1e-16; after kReseed steps, times an
    // amplitude of at most 255, that stays below 1e-10, far inside kTieMargin. A sine or
    // cosine of the C library that is an ulp off elsewhere changes nothing beyond that margin.
    const double rotCos = std::cos(step);
    const double rotSin = std::sin(step);
    const double a = amplitude;
    double c = 0, s = 0;
    for (std::size_t n = 1; n <= count; ++n) {
        if ((n - 1) % kReseed == 0) {
            double high = 0, low = 0;
            phaseOf(n, step, high, low);
            c = std::cos(high) - std::sin(high) * low;
            s = std::sin(high) + std::cos(high) * low;
        } else {
            const double next = c * rotCos - s * rotSin;
            s = s * rotCos + c * rotSin;
            c = next;
        }
        const double value = s * a + 127.0;
        // Round half to even by the 1.5 * 2^52 trick (default rounding mode, as nearbyint).
        const double rounded = (value + 0x1.8p52) - 0x1.8p52;
        if (std::fabs(std::fabs(value - rounded) - 0.5) < kTieMargin)
            out[n - 1] = preciseToneSample(n, step, amplitude);
        else
            out[n - 1] = static_cast<uint8_t>(rounded);
    }
}

std::vector<uint8_t> renderSequence(const std::vector<ToneSegment>& sequence, uint8_t amplitude) {
    std::vector<uint8_t> buffer;
    for (const ToneSegment& segment : sequence)
        appendToneSamples(segment.frequency, segment.duration, amplitude, buffer);
    return buffer;
}

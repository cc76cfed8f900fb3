#include "ToneSequence.h"

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
    // Each step rounded to extended precision in this order: at the exact ties it decides.
    const long double seconds = duration / 1000.0L;
    const long double samples = seconds * static_cast<long double>(kSampleRate);
    return static_cast<std::size_t>(std::nearbyintl(samples));
}

void appendToneSamples(uint16_t frequency, uint16_t duration, uint8_t amplitude,
                       std::vector<uint8_t>& buffer) {
    const std::size_t count = sampleCount(duration);
    if (frequency == 0) {
        buffer.insert(buffer.end(), count, kSilence);
        return;
    }
    // The constant is 6.28318, not 2 pi: the receiver was tuned against these tones.
    const double step =
        static_cast<double>(frequency / static_cast<long double>(kSampleRate) * 6.28318L);
    buffer.reserve(buffer.size() + count);
    for (std::size_t n = 1; n <= count; ++n) {
        const long double value = std::sin(static_cast<long double>(n) * step) * amplitude + 127.0L;
        buffer.push_back(static_cast<uint8_t>(std::nearbyintl(value)));
    }
}

std::vector<uint8_t> renderSequence(const std::vector<ToneSegment>& sequence, uint8_t amplitude) {
    std::vector<uint8_t> buffer;
    for (const ToneSegment& segment : sequence)
        appendToneSamples(segment.frequency, segment.duration, amplitude, buffer);
    return buffer;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "LevelCheck.h"

#include "ExpertValues.h"
#include "SendCheck.h"
#include "ToneTable.h"
#include "UserTexts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr uint16_t kLevelToneLength = 1000; // ms

// Whole dB with a real minus sign, as the check at the cable writes its level.
std::string decibels(double level) {
    const long rounded = std::lround(level);
    return (rounded < 0 ? "−" : "") + std::to_string(std::labs(rounded)) + " dBFS";
}

std::string percent(int amplitude) {
    return std::to_string(amplitude) + " %";
}

} // namespace

std::vector<ToneSegment> levelToneSegments() {
    return {{kToneSystemTable[0].tones[1], kLevelToneLength}};
}

LevelReading readLevel(const Recording& recording) {
    const SendCheck check = checkSend(levelToneSegments(), recording);
    return {check.heard > 0, check.level, check.clipped};
}

LevelBand judgeLevel(const LevelReading& reading) {
    if (!reading.heard || reading.level < kLevelSilenceFloor)
        return LevelBand::Silent;
    if (reading.clipped)
        return LevelBand::Clipped;
    if (reading.level < kLevelTarget - kLevelTolerance)
        return LevelBand::TooQuiet;
    if (reading.level > kLevelTarget + kLevelTolerance)
        return LevelBand::TooLoud;
    return LevelBand::Good;
}

LevelAdvice adviseLevel(const LevelReading& reading, int amplitude) {
    const ExpertRange& range = kAmplitudeRange;
    LevelAdvice advice;
    advice.amplitude = amplitude;
    const LevelBand band = judgeLevel(reading);
    if (band == LevelBand::Silent) {
        advice.verdict = LevelVerdict::Silent;
        advice.text = kNothingHeard;
        return advice;
    }
    const std::string at = " bei " + percent(amplitude) + " – ";
    if (band == LevelBand::Clipped) {
        // What clipping hides cannot be measured: half the amplitude, then check again.
        const int half = (amplitude / 2) / range.step * range.step;
        if (amplitude <= range.minimum) {
            advice.verdict = LevelVerdict::InputDown;
            advice.text = "✘ Übersteuert" + at + "den Eingangspegel senken";
        } else {
            advice.verdict = LevelVerdict::Clipped;
            advice.amplitude = std::max(range.minimum, half);
            advice.text = "✘ Übersteuert" + at + "Amplitude auf " + percent(advice.amplitude) +
                          " stellen und erneut prüfen";
        }
        return advice;
    }
    const std::string heard = "Pegel " + decibels(reading.level) + at;
    if (band == LevelBand::Good) {
        advice.verdict = LevelVerdict::Good;
        advice.text = "✔ " + heard + "gut";
        return advice;
    }
    // The level moves with the amplitude: the allowed amplitude that comes closest.
    auto predicted = [&](int a) { return reading.level + 20 * std::log10(double(a) / amplitude); };
    int best = range.minimum;
    for (int a = range.minimum; a <= range.maximum; a += range.step)
        if (std::fabs(predicted(a) - kLevelTarget) < std::fabs(predicted(best) - kLevelTarget))
            best = a;
    advice.amplitude = best;
    const LevelBand then = judgeLevel({true, predicted(best), false});
    if (then == LevelBand::Good) {
        advice.verdict = LevelVerdict::SetAmplitude;
        advice.text = "✘ " + heard + "Amplitude auf " + percent(best) + " stellen";
    } else if (then == LevelBand::TooQuiet || then == LevelBand::Silent) {
        advice.verdict = LevelVerdict::InputUp;
        advice.text = "✘ " + heard + "zu leise: " +
                      (best == amplitude ? "" : "Amplitude auf " + percent(best) + " und ") +
                      "den Eingangspegel erhöhen";
    } else {
        advice.verdict = LevelVerdict::InputDown;
        advice.text = "✘ " + heard + "zu laut: " +
                      (best == amplitude ? "" : "Amplitude auf " + percent(best) + " und ") +
                      "den Eingangspegel senken";
    }
    return advice;
}

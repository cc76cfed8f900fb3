// SPDX-License-Identifier: GPL-3.0-or-later
// The level check: the level read from a recording of the test tone, and the advice given for
// a level heard at an amplitude.
#include "LevelCheck.h"
#include "UserTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(LevelCheck, TheAdviceBringsTheInputNearTwelveBelowFullScaleOrSaysWhichWayToTurnIt) {
    using V = LevelVerdict;
    struct Row {
        LevelReading reading;
        int amplitude;
        V verdict;
        int advised;
        const char* text;
    };
    const Row rows[] = {
        // The same input heard 20 dB apart: one amplitude for both.
        {{true, -2.2, false},
         100,
         V::SetAmplitude,
         30,
         "✘ Pegel −2 dBFS bei 100 % – Amplitude auf 30 % stellen"},
        {{true, -22.2, false},
         10,
         V::SetAmplitude,
         30,
         "✘ Pegel −22 dBFS bei 10 % – Amplitude auf 30 % stellen"},
        {{true, -12.7, false}, 30, V::Good, 30, "✔ Pegel −13 dBFS bei 30 % – gut"},
        {{true, -16.0, false}, 50, V::Good, 50, "✔ Pegel −16 dBFS bei 50 % – gut"},
        {{true, -16.5, false},
         50,
         V::SetAmplitude,
         80,
         "✘ Pegel −17 dBFS bei 50 % – Amplitude auf 80 % stellen"},
        {{true, -1.0, false},
         40,
         V::SetAmplitude,
         10,
         "✘ Pegel −1 dBFS bei 40 % – Amplitude auf 10 % stellen"},
        // Beyond the slider's range: the input's level.
        {{true, -40.0, false},
         50,
         V::InputUp,
         100,
         "✘ Pegel −40 dBFS bei 50 % – zu leise: Amplitude auf 100 % und den Eingangspegel "
         "erhöhen"},
        {{true, -40.0, false},
         100,
         V::InputUp,
         100,
         "✘ Pegel −40 dBFS bei 100 % – zu leise: den Eingangspegel erhöhen"},
        {{true, -1.0, false},
         10,
         V::InputDown,
         10,
         "✘ Pegel −1 dBFS bei 10 % – zu laut: den Eingangspegel senken"},
        {{true, -1.0, false},
         20,
         V::InputDown,
         10,
         "✘ Pegel −1 dBFS bei 20 % – zu laut: Amplitude auf 10 % und den Eingangspegel senken"},
        // The ends: clipping and silence.
        {{true, -0.5, true},
         100,
         V::Clipped,
         50,
         "✘ Übersteuert bei 100 % – Amplitude auf 50 % stellen und erneut prüfen"},
        {{true, -0.5, true},
         30,
         V::Clipped,
         10,
         "✘ Übersteuert bei 30 % – Amplitude auf 10 % stellen und erneut prüfen"},
        {{true, -0.5, true},
         10,
         V::InputDown,
         10,
         "✘ Übersteuert bei 10 % – den Eingangspegel senken"},
        {{false, -200, false}, 60, V::Silent, 60, kNothingHeard},
        {{true, -70.0, false}, 60, V::Silent, 60, kNothingHeard},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const LevelAdvice advice = adviseLevel(row.reading, row.amplitude);
        EXPECT_EQ(advice.verdict, row.verdict);
        EXPECT_EQ(advice.amplitude, row.advised);
        EXPECT_EQ(advice.text, row.text);
        EXPECT_EQ(advice.ok(), row.verdict == V::Good);
    }
}

// The one rule for both checks, at the edges of the good band.
TEST(LevelCheck, TheBandOfALevelIsJudgedOnceForBothChecks) {
    using B = LevelBand;
    const std::pair<LevelReading, B> rows[] = {
        {{true, -16.0, false}, B::Good},   {{true, -16.5, false}, B::TooQuiet},
        {{true, -8.0, false}, B::Good},    {{true, -7.5, false}, B::TooLoud},
        {{true, -2.0, false}, B::TooLoud}, {{true, -59.0, false}, B::TooQuiet},
        {{true, -61.0, false}, B::Silent}, {{false, -12.0, false}, B::Silent},
        {{true, -12.0, true}, B::Clipped},
    };
    for (const auto& [reading, band] : rows) {
        SCOPED_TRACE(reading.level);
        EXPECT_EQ(judgeLevel(reading), band);
        // The advice calls good exactly what the band does.
        EXPECT_EQ(adviseLevel(reading, 50).ok(), band == B::Good);
    }
}

// The test tone as an input records it, 0.3 s of silence around it, at gain, clipped at full
// scale: its level is its amplitude.
TEST(LevelCheck, TheLevelReadIsTheTonesAmplitudeAndClippingIsSeen) {
    for (const auto& [amplitude, gain] : {std::pair(100, 1.0), {50, 0.25}, {10, 1.0}, {100, 2.0}}) {
        SCOPED_TRACE(gain * amplitude);
        Recording r{kSampleRate, std::vector<float>(kSampleRate * 3 / 10, 0.0f)};
        for (uint8_t v : renderSequence(levelToneSegments(), uint8_t(amplitude)))
            r.samples.push_back(std::clamp(float((v - 127.0) / 128 * gain), -1.0f, 1.0f));
        r.samples.resize(r.samples.size() + kSampleRate * 3 / 10, 0.0f);
        const LevelReading reading = readLevel(r);
        EXPECT_TRUE(reading.heard);
        EXPECT_EQ(reading.clipped, gain * amplitude > 128);
        if (!reading.clipped) {
            EXPECT_NEAR(reading.level, 20 * std::log10(amplitude / 128.0 * gain), 0.3);
        }
    }
    EXPECT_FALSE(readLevel(Recording{kSampleRate, std::vector<float>(kSampleRate, 0.0f)}).heard);
}

} // namespace

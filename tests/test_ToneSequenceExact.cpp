// SPDX-License-Identifier: GPL-3.0-or-later
// Every tone the sliders and the tone table allow, rendered fast and by the extended-precision
// reference: the bytes must be the same. Pauses are constant silence and need no check.
#include "ToneSequence.h"
#include "ToneTable.h"
#include "support/ReferenceSynthesis.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::set<uint16_t> tableFrequencies() {
    TToneTable table;
    fillToneTable(table);
    std::set<uint16_t> frequencies;
    for (const auto& row : table.rows)
        for (uint16_t f : row)
            if (f != 0)
                frequencies.insert(f);
    return frequencies;
}

TEST(ToneSequenceExact, EveryTableToneAmplitudeAndLengthMatchesTheReference) {
    const std::set<uint16_t> frequencies = tableFrequencies();
    ASSERT_EQ(frequencies.size(), 26u);
    std::size_t compared = 0;
    for (uint16_t f : frequencies)
        for (int amplitude = 10; amplitude <= 100; amplitude += 10)
            for (int length = 40; length <= 200; length += 10) {
                std::vector<uint8_t> fast{1, 2, 3}, reference{1, 2, 3};
                appendToneSamples(f, static_cast<uint16_t>(length), static_cast<uint8_t>(amplitude),
                                  fast);
                appendToneSamplesReference(f, static_cast<uint16_t>(length),
                                           static_cast<uint8_t>(amplitude), reference);
                ASSERT_EQ(fast, reference)
                    << f << " Hz, amplitude " << amplitude << ", " << length << " ms";
                compared += fast.size() - 3;
            }
    EXPECT_GT(compared, 10'000'000u);
}

// Beyond the sliders: odd frequencies, the full 8-bit amplitude range that stays within a
// byte, and segments longer than one reseed interval, so the rotation's bound is exercised.
TEST(ToneSequenceExact, OffTableTonesAndLongSegmentsMatchTheReference) {
    struct Row {
        uint16_t frequency, duration;
        uint8_t amplitude;
    };
    const Row rows[] = {{1, 1000, 100},    {37, 2000, 127},  {825, 3000, 1},    {3333, 1990, 127},
                        {11025, 500, 100}, {22049, 700, 99}, {65535, 300, 127}, {1060, 65535, 100}};
    for (const Row& r : rows) {
        std::vector<uint8_t> fast, reference;
        appendToneSamples(r.frequency, r.duration, r.amplitude, fast);
        appendToneSamplesReference(r.frequency, r.duration, r.amplitude, reference);
        ASSERT_EQ(fast, reference) << r.frequency << " Hz for " << r.duration << " ms";
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneTable.h"

#include <gtest/gtest.h>

namespace {

TToneTable table() {
    TToneTable t;
    fillToneTable(t);
    return t;
}

TEST(ToneTable, RowsThatShareDigitsDifferOnlyInTheTwelfthTone) {
    const TToneTable t = table();
    struct Pair {
        int a, b;
        uint16_t extraA, extraB;
    };
    for (const Pair& p : {Pair{1, 2, 2800, 970}, Pair{3, 5, 2600, 825}, Pair{6, 7, 2400, 1055}}) {
        for (int i = 0; i < kExtraToneIndex; ++i)
            EXPECT_EQ(t.tone(p.a, i), t.tone(p.b, i)) << p.a << "/" << p.b << " index " << i;
        EXPECT_EQ(t.tone(p.a, kExtraToneIndex), p.extraA);
        EXPECT_EQ(t.tone(p.b, kExtraToneIndex), p.extraB);
    }
}

TEST(ToneTable, SpotValuesOfEverySystem) {
    const TToneTable t = table();
    struct Row {
        uint8_t tonsys;
        uint16_t digit0, digit1, digit9, repeat;
    };
    for (const Row& r : {Row{1, 2400, 1060, 2200, 2600}, Row{3, 2200, 970, 2000, 2400},
                         Row{4, 2400, 1060, 2200, 970}, Row{5, 2200, 970, 2000, 2400},
                         Row{6, 1981, 1124, 1860, 2110}, Row{7, 1981, 1124, 1860, 2110}}) {
        EXPECT_EQ(t.tone(r.tonsys, 0), r.digit0) << int(r.tonsys);
        EXPECT_EQ(t.tone(r.tonsys, 1), r.digit1) << int(r.tonsys);
        EXPECT_EQ(t.tone(r.tonsys, 9), r.digit9) << int(r.tonsys);
        EXPECT_EQ(t.tone(r.tonsys, kRepeatToneIndex), r.repeat) << int(r.tonsys);
    }
    EXPECT_EQ(t.tone(4, kExtraToneIndex), 0);
    // Only ZVEI F has an empty cell.
    int zeros = 0;
    for (const auto& row : t.rows)
        for (uint16_t f : row)
            zeros += f == 0 ? 1 : 0;
    EXPECT_EQ(zeros, 1);
}

TEST(ToneTable, ToneLengthFollowsTheToneSystem) {
    const int expected[] = {2, 2, 2, 2, 2, 3, 1};
    for (uint8_t tonsys = 1; tonsys <= 7; ++tonsys)
        EXPECT_EQ(toneLengthButtonFor(tonsys), expected[tonsys - 1]) << int(tonsys);
}

} // namespace

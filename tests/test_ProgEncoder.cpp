// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgEncoder.h"

#include <gtest/gtest.h>

namespace {

TToneTable table() {
    TToneTable t;
    fillToneTable(t);
    return t;
}

ProgSettings startUp() {
    ProgSettings s;
    s.addresses[0] = {true, "57434"};
    return s;
}

TProgTones tonesOf(std::initializer_list<uint16_t> values) {
    TProgTones t{};
    std::copy(values.begin(), values.end(), t.begin());
    return t;
}

TEST(ProgEncoder, WorkedExamples) {
    EXPECT_EQ(EncodeProgTones(startUp(), table()),
              tonesOf({2400, 1160, 1400, 1160, 1270, 1830, 1530, 1830, 1400, 1270, 1400}));

    ProgSettings s;
    s.tonsys = 7;
    s.lenMode = 2;
    s.evaluator = 2;
    s.switchMode = 3;
    s.addresses = {{{false, ""}, {true, "1R1R"}, {false, ""}, {true, "2345"}}};
    EXPECT_EQ(EncodeProgTones(s, table()), tonesOf({1981, 1275, 1446, 1860, 1358, 1860, 1124, 2110,
                                                    1124, 2110, 0, 1197, 1275, 1358, 1446, 0}));
}

TEST(ProgEncoder, SlotsFollowTheSettings) {
    const TToneTable t = table();

    ProgSettings ccir = startUp();
    ccir.tonsys = 6;
    ccir.switchMode = 4;
    const TProgTones c = EncodeProgTones(ccir, t);
    EXPECT_EQ(c[1], 1197);
    EXPECT_EQ(c[3], 1197);
    EXPECT_EQ(c[5], 1197);

    ProgSettings four = startUp();
    four.addresses = {{{true, "12345"}, {true, "23456"}, {true, "34567"}, {true, "4567R"}}};
    const TProgTones f = EncodeProgTones(four, t);
    EXPECT_EQ(f[4], t.tone(1, 6));
    for (int slot = 0; slot < 26; ++slot)
        EXPECT_NE(f[slot], 0) << slot;
    EXPECT_EQ(f[25], t.tone(1, kRepeatToneIndex));

    ProgSettings onlyFourth = startUp();
    onlyFourth.addresses = {{{false, "11111"}, {false, ""}, {false, ""}, {true, "98765"}}};
    const TProgTones o = EncodeProgTones(onlyFourth, t);
    EXPECT_EQ(o[6], t.tone(1, 9));
    EXPECT_EQ(o[10], t.tone(1, 5));
    for (int slot = 11; slot < 26; ++slot)
        EXPECT_EQ(o[slot], 0) << slot;

    ProgSettings three = startUp();
    three.evaluator = 3;
    three.addresses = {{{true, "123"}, {true, "456"}}};
    const TProgTones th = EncodeProgTones(three, t);
    EXPECT_EQ(th[3], t.tone(1, 8));
    for (int slot : {9, 10, 14, 15})
        EXPECT_EQ(th[slot], 0) << slot;
    for (int slot = 16; slot < 26; ++slot)
        EXPECT_EQ(th[slot], 0) << slot;

    ProgSettings repeats = startUp();
    repeats.addresses[0].text = "1R1R1";
    const TProgTones r = EncodeProgTones(repeats, t);
    EXPECT_EQ(r[6], 1060);
    EXPECT_EQ(r[7], 2600);
    EXPECT_EQ(r[10], 1060);
}

TEST(ProgEncoder, SystemsThatShareDigitsGiveTheSameTones) {
    const TToneTable t = table();
    auto under = [&](uint8_t tonsys) {
        ProgSettings s = startUp();
        s.tonsys = tonsys;
        s.addresses = {{{true, "1R2R3"}, {true, "90817"}}};
        return EncodeProgTones(s, t);
    };
    EXPECT_EQ(under(1), under(2));
    EXPECT_EQ(under(3), under(5));
    TProgTones ccir = under(6), eea = under(7);
    EXPECT_EQ(ccir[1], 1197);
    EXPECT_EQ(eea[1], 1275);
    ccir[1] = eea[1];
    EXPECT_EQ(ccir, eea);
}

TEST(ProgEncoder, GTakesTheTwelfthToneOrFailsToConvert) {
    const TToneTable t = table();
    ProgSettings s = startUp();
    s.addresses[0].text = "1G2G3";
    for (uint8_t tonsys : {1, 2, 3, 5, 6, 7}) {
        s.tonsys = tonsys;
        EXPECT_EQ(EncodeProgTones(s, t)[7], t.tone(tonsys, kExtraToneIndex)) << int(tonsys);
    }

    struct Row {
        uint8_t tonsys;
        std::string text, message;
    };
    for (const Row& r : {Row{4, "1G2G3", "Das Zeichen \"G\" lässt sich in keinen Ton umsetzen"},
                         Row{1, "12a45", "Das Zeichen \"a\" lässt sich in keinen Ton umsetzen"},
                         Row{1, "12 45", "Das Zeichen \" \" lässt sich in keinen Ton umsetzen"},
                         Row{1,
                             "12\xfc"
                             "45",
                             "Das Zeichen \"ü\" lässt sich in keinen Ton umsetzen"}}) {
        s.tonsys = r.tonsys;
        s.addresses[0].text = r.text;
        try {
            EncodeProgTones(s, t);
            ADD_FAILURE() << r.text << " encoded";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), r.message);
        }
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The one way from the settings to the tones and samples, as the windows, zuvela-cli and the
// browser page call it.
#include "ProgEngine.h"

#include <gtest/gtest.h>

namespace {

ProgSettings withAddresses(AddressSlots slots, uint8_t len = 5) {
    ProgSettings s;
    s.evaluator = 6 - len;
    s.addresses = std::move(slots);
    return s;
}

TEST(ProgEngine, AddressesAreCompletedThenCheckedThenEncoded) {
    struct Row {
        AddressSlots slots;
        const char* message; // nullptr: the tones are encoded
    };
    const Row rows[] = {
        {{{{true, "57434"}, {}, {}, {}}}, nullptr},
        // Completed first: 11111 becomes 1R1R1, the same as the second address.
        {{{{true, "11111"}, {true, "1R1R1"}, {}, {}}}, "Rufadresse doppelt vorhanden."},
        {{{{true, "5743"}, {}, {true, "123"}, {}}}, "Rufadresse 3 ist unnvollständig."},
        {{{{false, "57434"}, {}, {}, {}}}, "Keine Rufadressen zum Programmieren gewählt."},
    };
    for (const Row& r : rows) {
        const ProgTonesResult result = progTones(withAddresses(r.slots));
        EXPECT_EQ(result.ok, r.message == nullptr) << r.slots[0].text;
        EXPECT_EQ(result.message, r.message ? r.message : "") << r.slots[0].text;
    }

    // A character without a tone in the system is refused in German, naming the address, the
    // same words for "Programmieren" and for saving (addressesProblem); the first checked
    // address with one counts, after the checks above.
    TToneTable table;
    fillToneTable(table);
    struct ToneRow {
        uint8_t tonsys;
        AddressSlots slots;
        const char* message;
    };
    const ToneRow toneRows[] = {
        {4,
         {{{true, "1G2G3"}, {}, {}, {}}},
         "Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {4,
         {{{false, "1G2G3"}, {true, "12345"}, {true, "6789G"}, {}}},
         "Rufadresse 3: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {1,
         {{{true, "12345"}, {true, "12a45"}, {}, {}}},
         "Rufadresse 2: Das Zeichen \"a\" gehört in keine Rufadresse."},
        {4, {{{true, "1G2G"}, {}, {}, {}}}, "Rufadresse 1 ist unnvollständig."},
        {1, {{{true, "1G2G3"}, {}, {}, {}}}, nullptr},
    };
    for (const ToneRow& r : toneRows) {
        ProgSettings s = withAddresses(r.slots);
        s.tonsys = r.tonsys;
        const ProgTonesResult result = progTones(s, table);
        EXPECT_EQ(result.ok, r.message == nullptr) << r.slots[0].text;
        EXPECT_EQ(result.message, r.message ? r.message : "") << r.slots[0].text;
        EXPECT_EQ(addressesProblem(s, table).value_or(""), result.message) << r.slots[0].text;
    }

    // A run of one digit is sent with the repeat tone, as the field shows it after leaving.
    const ProgTonesResult run = progTones(withAddresses({{{true, "22222"}, {}, {}, {}}}));
    const ProgTonesResult shown = progTones(withAddresses({{{true, "2R2R2"}, {}, {}, {}}}));
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.tones, shown.tones);
    EXPECT_EQ(run.tones[7], 2600); // ZVEI 1's repeat tone
}

TEST(ProgEngine, TheStartUpSettingsGiveTheDialogsSequence) {
    const ProgTonesResult result = progTones(ProgSettings{.addresses = {{{true, "57434"}}}});
    ASSERT_TRUE(result.ok);
    const ExpertValues initial;
    // Block A, 2B - P after it, one address block: 11 tones of L + P and 1370 ms.
    const std::vector<ToneSegment> segments = progSegments(result.tones, initial);
    EXPECT_EQ(segments.size(), 11u * 2 + 1);
    EXPECT_EQ(segments[12], (ToneSegment{0, 1370}));
    EXPECT_EQ(progSamples(result.tones, initial).size(), 10 * 2205 + 10 * 662 + 30208 + 2205 + 662);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgListing.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TProgTones tonesOf(std::initializer_list<std::pair<int, uint16_t>> slots) {
    TProgTones t{};
    for (auto [slot, f] : slots)
        t[slot] = f;
    return t;
}

const Lines kBlockA = {"Block A",
                       "01 : 2400 : Tonsystem",
                       "02 : 1160 : Tonlänge",
                       "03 : 1400 : Tonlänge",
                       "04 : 1160 : Auswerter",
                       "05 : 1270 : Rufadressen",
                       "06 : 1830 : Schaltermodi"};

TProgTones blockA() {
    return tonesOf({{0, 2400}, {1, 1160}, {2, 1400}, {3, 1160}, {4, 1270}, {5, 1830}});
}

Lines concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ProgListing, ListsBlockAAndTheAddressBlocksThatAreSent) {
    TProgTones first = blockA();
    for (int k = 0; k < 5; ++k)
        first[6 + k] = uint16_t(1530 + k);
    EXPECT_EQ(progListingLines(first),
              concat(kBlockA,
                     {"", "Block B I", "01 : 1530 : Adresse 1", "02 : 1531 : Adresse 1",
                      "03 : 1532 : Adresse 1", "04 : 1533 : Adresse 1", "05 : 1534 : Adresse 1"}));

    // An empty first slot of B II ends the listing although B III and B IV hold tones.
    TProgTones gap = first;
    for (int slot = 16; slot < 26; ++slot)
        gap[slot] = 2000;
    EXPECT_EQ(progListingLines(gap), progListingLines(first));

    TProgTones all = first;
    for (int slot = 11; slot < 26; ++slot)
        all[slot] = 970;
    const Lines lines = progListingLines(all);
    ASSERT_EQ(lines.size(), 7u + 4 * 7);
    EXPECT_EQ(lines[14], "");
    EXPECT_EQ(lines[15], "Block B II");
    EXPECT_EQ(lines[16], "01 :  970 : Adresse 2");
    EXPECT_EQ(lines[22], "Block B III");
    EXPECT_EQ(lines[29], "Block B IV");
    EXPECT_EQ(lines.back(), "05 :  970 : Adresse 4");
}

TEST(ProgListing, EmptySlotsInsideBlocks) {
    // Block A lists an empty slot as "   0"; an address lists only its filled slots, each
    // numbered after its own slot.
    const TProgTones t = tonesOf({{0, 2400}, {6, 1060}, {7, 1160}, {9, 825}, {10, 2600}});
    EXPECT_EQ(progListingLines(t),
              (Lines{"Block A", "01 : 2400 : Tonsystem", "02 :    0 : Tonlänge",
                     "03 :    0 : Tonlänge", "04 :    0 : Auswerter", "05 :    0 : Rufadressen",
                     "06 :    0 : Schaltermodi", "", "Block B I", "01 : 1060 : Adresse 1",
                     "02 : 1160 : Adresse 1", "04 :  825 : Adresse 1", "05 : 2600 : Adresse 1"}));

    // Block B I is headed even when it is empty.
    EXPECT_EQ(progListingLines(blockA()), concat(kBlockA, {"", "Block B I"}));
}

} // namespace

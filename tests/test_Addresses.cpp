// SPDX-License-Identifier: GPL-3.0-or-later
#include "Addresses.h"

#include <gtest/gtest.h>

namespace {

TEST(Addresses, KeyFilterAdmitsDigitsAndGOnly) {
    struct Row {
        char32_t typed, inserted;
    };
    for (const Row& r : {Row{U'0', U'0'}, Row{U'9', U'9'}, Row{U'g', U'G'}, Row{U'G', U'G'},
                         Row{8, 8}, Row{U'r', 0}, Row{U'R', 0}, Row{U'a', 0}, Row{U' ', 0},
                         Row{U'-', 0}, Row{13, 0}, Row{22, 0}, Row{U'ü', 0}, Row{U'٣', 0}})
        EXPECT_EQ(filterAddressKey(r.typed), r.inserted) << uint32_t(r.typed);
}

TEST(Addresses, RepeatNormalisationSeesEarlierReplacements) {
    struct Row {
        const char* text;
        uint8_t len;
        const char* normalised;
    };
    for (const Row& r :
         {Row{"11111", 5, "1R1R1"}, Row{"1111", 4, "1R1R"}, Row{"22333", 5, "2R3R3"},
          Row{"GG123", 5, "GR123"}, Row{"1111", 5, "1111"}, Row{"111111", 5, "111111"},
          Row{"57434", 5, "57434"}, Row{"", 3, ""}, Row{"112", 3, "1R2"}}) {
        const std::string once = normaliseRepeats(r.text, r.len);
        EXPECT_EQ(once, r.normalised) << r.text;
        EXPECT_EQ(normaliseRepeats(once, r.len), once) << "a second pass changes " << r.text;
    }
}

TEST(Addresses, EvaluatorSetsLengthAndCuts) {
    EXPECT_EQ(adresseLenForEvaluator(1), 5);
    EXPECT_EQ(adresseLenForEvaluator(2), 4);
    EXPECT_EQ(adresseLenForEvaluator(3), 3);
    EXPECT_EQ(cutAddress("57434", 3), "574");
    EXPECT_EQ(cutAddress("574", 5), "574");
}

AddressSlots slots(std::initializer_list<AddressSlot> list) {
    AddressSlots s;
    std::copy(list.begin(), list.end(), s.begin());
    return s;
}

TEST(Addresses, CheckReportsTheFirstFailingStage) {
    const std::string incomplete3 = "Rufadresse 3 ist unnvollständig.";
    const std::string none = "Keine Rufadressen zum Programmieren gewählt.";
    const std::string twice = "Rufadresse doppelt vorhanden.";
    struct Row {
        const char* what;
        AddressSlots slots;
        uint8_t len;
        std::optional<std::string> message;
    };
    const Row rows[] = {
        {"start-up state", slots({{true, "57434"}}), 5, std::nullopt},
        {"slots 1 and 3 short", slots({{true, "12"}, {false, ""}, {true, "1"}}), 5, incomplete3},
        {"slots 2 and 4 short", slots({{false, ""}, {true, "1"}, {false, ""}, {true, "12"}}), 5,
         "Rufadresse 4 ist unnvollständig."},
        {"too long counts as incomplete", slots({{true, "123456"}}), 5,
         "Rufadresse 1 ist unnvollständig."},
        {"slot 2 complete, slot 4 empty and unchecked", slots({{false, ""}, {true, "12345"}}), 5,
         std::nullopt},
        {"none checked, slot 1 short", slots({{false, "1"}}), 5, none},
        {"same text, only one checked", slots({{true, "12345"}, {false, "12345"}}), 5,
         std::nullopt},
        {"same text, both checked",
         slots({{false, ""}, {true, "1R234"}, {false, ""}, {true, "1R234"}}), 5, twice},
        {"incomplete wins over duplicate", slots({{true, "123"}, {true, "123"}, {true, "1"}}), 5,
         incomplete3},
        {"three-tone addresses", slots({{true, "123"}, {true, "124"}}), 3, std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(checkAddresses(r.slots, r.len), r.message) << r.what;
}

} // namespace

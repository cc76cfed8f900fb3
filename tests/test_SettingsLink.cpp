// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp1252.h"
#include "ProgDataFile.h"
#include "SettingsLink.h"

#include <gtest/gtest.h>

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

// Each option group's value selects in a link exactly when the file's loader selects by it.
TEST(SettingsLink, GroupValuesSelectAsTheFileLoaderDoes) {
    const char* keys[] = {"TS", "TL", "AW", "SM"};
    for (const char* value :
         {"1", "2", "3", "4", "7", "8", "0", "01", "+1", "1.0", "", "99", "2a"}) {
        for (const char* key : keys) {
            std::string small = key;
            for (char& c : small)
                c = static_cast<char>(c - 'A' + 'a');
            const SettingsLink link = readSettingsLink(small + "=" + value);
            // The file holds the start's other options, so that only this key differs.
            std::string file = "[A]\r\n";
            for (const char* other : keys)
                file += std::string(other) + "=" + (other == key ? value : "1") + "\r\n";
            const ProgDataRead read = readProgDataBytes(file, "\"x\"");
            const ProgSettings loaded = loadProgDataSettings(read.profile, ProgSettings{});
            const bool fileTakes = progDataIgnoredValues(read.profile).empty();
            EXPECT_EQ(link.taken, fileTakes) << key << "=" << value;
            EXPECT_EQ(link.notes.size(), fileTakes ? 0u : 1u) << key << "=" << value;
            const auto options = [](const ProgSettings& s) {
                return std::array<int, 4>{s.tonsys, s.lenMode, s.evaluator, s.switchMode};
            };
            EXPECT_EQ(options(link.settings), options(loaded)) << key << "=" << value;
        }
    }
}

// What a link carries, taken or noted as zuvela-cli notes what it ignores.
TEST(SettingsLink, EveryValueIgnoredIsNamed) {
    struct Row {
        const char* query;
        bool taken;
        const char* notes;
    };
    const Row rows[] = {
        {"?ts=99", false, "Hinweis: ts=99 wird ignoriert (erlaubt: 1 bis 7).\n"},
        {"ad1=111111111111111111111111111111", false,
         "Hinweis: ad1=111111111111111111111111111111 wird ignoriert (erlaubt: höchstens 5 "
         "Zeichen aus 0 bis 9, G und R).\n"},
        {"rp1=1&ad1=%E2%82%AC", true,
         "Hinweis: ad1=€ wird ignoriert (erlaubt: höchstens 5 Zeichen aus 0 bis 9, G und R).\n"},
        {"aw=3&rp1=1&ad1=1234", true,
         "Hinweis: ad1=1234 wird ignoriert (erlaubt: höchstens 3 Zeichen aus 0 bis 9, G und R).\n"},
        {"rp2=ja&ad2=12g4R", true, "Hinweis: rp2=ja wird ignoriert (erlaubt: 0 oder 1).\n"},
        {"tone-length=45&amplitude=100&block-pause=x", true,
         "Hinweis: tone-length=45 wird ignoriert (erlaubt: 40 bis 200 in Schritten von 10).\n"
         "Hinweis: block-pause=x wird ignoriert (erlaubt: 500 bis 1000 in Schritten von 100).\n"},
        {"ts=2&ts=3&utm=a%0Ab", true,
         "Hinweis: ts=2 wird ignoriert (ts steht später noch einmal).\n"
         "Hinweis: utm=a?b wird ignoriert (unbekannter Name).\n"},
        {"utm_source=x&fbclid=1", false, ""}, // no link of ours: said nothing
        {"", false, ""},
        {"sm=2&ad3=%FFxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", true,
         "Hinweis: ad3=\xEF\xBF\xBDxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx… wird ignoriert "
         "(erlaubt: höchstens 5 Zeichen aus 0 bis 9, G und R).\n"},
    };
    for (const Row& r : rows) {
        const SettingsLink link = readSettingsLink(r.query);
        EXPECT_EQ(link.taken, r.taken) << r.query;
        EXPECT_EQ(joined(link.notes), r.notes) << r.query;
    }
    // What was taken: the last ts, the addresses together (the ignored text stays empty).
    const SettingsLink twice = readSettingsLink("ts=2&ts=3&rp2=ja&ad2=12g4R&tone-length=40");
    EXPECT_EQ(twice.settings.tonsys, 3);
    EXPECT_EQ(twice.settings.addresses[0], AddressSlot{});
    EXPECT_EQ(twice.settings.addresses[1], (AddressSlot{false, "12G4R"}));
    EXPECT_EQ(twice.expert.toneLength, 40);
    EXPECT_EQ(twice.expert.amplitude, kAmplitudeRange.initial);
    // A link of nothing but junk changes nothing.
    EXPECT_EQ(readSettingsLink("ts=99&ad1=%E2%82%AC").settings, ProgSettings{});
}

// The page's links read back to what they were written from, four empty addresses included.
TEST(SettingsLink, QueryReadsBackToItsSettings) {
    ProgSettings four{
        3, 2, 1, 4, {{{true, "12345"}, {true, "1R2R3"}, {false, "9081"}, {true, "G"}}}};
    ProgSettings empty;
    empty.addresses = {};
    ProgSettings odd; // a loaded file may hold any text; the link carries it faithfully
    odd.addresses[1] = {true, "1 2"};
    const ExpertValues fast{40, 10, 500, 10};
    for (const ProgSettings& s : {ProgSettings{}, four, empty}) {
        const std::string query = settingsLinkQuery(s, fast);
        const SettingsLink link = readSettingsLink(query);
        EXPECT_TRUE(link.taken) << query;
        EXPECT_EQ(link.settings, s) << query;
        EXPECT_EQ(link.notes.size(), 0u) << query;
        EXPECT_EQ(link.expert.blockPause, 500) << query;
    }
    EXPECT_EQ(settingsLinkQuery(four, fast),
              "ts=3&tl=2&aw=1&sm=4&rp1=1&ad1=12345&rp2=1&ad2=1R2R3&ad3=9081&rp4=1&ad4=G&"
              "tone-length=40&tone-pause=10&block-pause=500&amplitude=10");
    EXPECT_EQ(settingsLinkQuery(empty, {}).substr(0, 24), "ts=1&tl=1&aw=1&sm=1&rp1=");
    EXPECT_NE(settingsLinkQuery(odd, {}).find("ad2=1%202"), std::string::npos);
    EXPECT_EQ(readSettingsLink(settingsLinkQuery(odd, {})).notes.size(), 1u);
}

} // namespace

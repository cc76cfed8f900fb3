// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileBool.h"
#include "ProgDataFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using platform::ProfileFile;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zuvela-progdata-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The loader's steps on a window in state s: each group reads its key once per option and the
// last matching option stays; then the boxes, then the texts. Throws the Boolean error.
ProgSettings loadInto(ProgSettings s, const ProfileFile& profile) {
    int tonsys = s.tonsys;
    int* const group[] = {&tonsys, &s.lenMode, &s.evaluator, &s.switchMode};
    for (std::size_t g = 0; g < progDataGroups.size(); ++g)
        for (int n = 1; n <= progDataOptionCount(progDataGroups[g]); ++n)
            if (progDataSelectsOption(profile, progDataGroups[g], n))
                *group[g] = n;
    s.tonsys = static_cast<uint8_t>(tonsys);
    for (int n = 1; n <= 4; ++n)
        s.addresses[n - 1].checked = progDataAddressChecked(profile, n);
    for (int n = 1; n <= 4; ++n)
        s.addresses[n - 1].text = progDataAddressText(profile, n);
    return s;
}

} // namespace

TEST(ProgDataFile, StartUpSettingsSaveToTheThirteenLines) {
    TempDir dir;
    saveProgDataFile(ProgSettings{}, dir / "start.740");
    EXPECT_EQ(readBytes(dir / "start.740"), "[A]\r\nTS=1\r\nTL=1\r\nAW=1\r\nSM=1\r\n"
                                            "[B I]\r\nRP=1\r\nAD=57434\r\n"
                                            "[B II]\r\nAD=\r\n[B III]\r\nAD=\r\n[B IV]\r\nAD=\r\n");
}

TEST(ProgDataFile, CheckedAddressesComeFirst) {
    ProgSettings s;
    s.tonsys = 6;
    s.lenMode = 2;
    s.evaluator = 3;
    s.switchMode = 4;
    s.addresses = {{{true, "123"}, {false, "456"}, {true, "7G9"}, {false, ""}}};
    EXPECT_EQ(progDataProfile(s).text(), "[A]\r\nTS=6\r\nTL=2\r\nAW=3\r\nSM=4\r\n"
                                         "[B I]\r\nRP=1\r\nAD=123\r\n[B III]\r\nRP=1\r\nAD=7G9\r\n"
                                         "[B II]\r\nAD=456\r\n[B IV]\r\nAD=\r\n");
}

TEST(ProgDataFile, EveryCombinationRoundTripsThroughDisk) {
    TempDir dir;
    const fs::path file = dir / "rt.740";
    // Loading starts from a window in another state, so nothing passes by staying put.
    ProgSettings other;
    other.addresses = {{{true, "junk"}, {true, "junk"}, {true, "junk"}, {true, "junk"}}};
    const std::string texts[] = {"57434", "", "1R3G", "12R", "\xE4 x\"", " 9 "};
    int count = 0;
    for (uint8_t ts = 1; ts <= 7; ++ts)
        for (uint8_t tl = 1; tl <= 2; ++tl)
            for (uint8_t aw = 1; aw <= 3; ++aw)
                for (uint8_t sm = 1; sm <= 4; ++sm)
                    for (unsigned checked = 0; checked < 16; ++checked) {
                        ProgSettings s{
                            .tonsys = ts, .lenMode = tl, .evaluator = aw, .switchMode = sm};
                        for (std::size_t i = 0; i < 4; ++i)
                            s.addresses[i] = {((checked >> i) & 1) != 0,
                                              texts[(count + i) % std::size(texts)]};
                        other.tonsys = static_cast<uint8_t>(ts % 7 + 1);
                        other.lenMode = 3 - tl;
                        other.evaluator = aw % 3 + 1;
                        other.switchMode = sm % 4 + 1;
                        saveProgDataFile(s, file);
                        ASSERT_EQ(loadInto(other, ProfileFile::load(file)), s)
                            << "combination " << count;
                        ++count;
                    }
    EXPECT_EQ(count, 7 * 2 * 3 * 4 * 16);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST(ProgDataFile, LoaderReadsMatchOptionsExactly) {
    struct Row {
        const char* text;
        ProgDataGroup group;
        std::vector<int> selected; // options the loader selects, in turn
    };
    const std::vector<Row> rows = {
        {"[A]\r\nTS=6", ProgDataGroup::Tonsys, {6}},
        {"", ProgDataGroup::Tonsys, {1}},
        {"[A]\r\nTS=01", ProgDataGroup::Tonsys, {}},
        {"[A]\r\nTS=+1", ProgDataGroup::Tonsys, {}},
        {"[A]\r\nTS=8", ProgDataGroup::Tonsys, {}},
        {"[A]\r\nTS=\"7\"", ProgDataGroup::Tonsys, {7}},
        {"[a]\r\nts = 3 ", ProgDataGroup::Tonsys, {3}},
        {"[A]\r\nTS=", ProgDataGroup::Tonsys, {}},
        {"", ProgDataGroup::ToneLen, {1}},
        {"[A]\r\nTL=2", ProgDataGroup::ToneLen, {2}},
        {"", ProgDataGroup::Evaluator, {1, 2, 3}},
        {"[B I]\r\nAW=1", ProgDataGroup::Evaluator, {1, 2, 3}},
        {"[A]\r\nAW=2", ProgDataGroup::Evaluator, {2}},
        {"[A]\r\nAW=4", ProgDataGroup::Evaluator, {}},
        {"", ProgDataGroup::SwitchMode, {1}},
        {"[A]\r\nSM=4\r\nSM=2", ProgDataGroup::SwitchMode, {4}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const ProfileFile profile = ProfileFile::fromText(row.text);
        std::vector<int> selected;
        for (int n = 1; n <= progDataOptionCount(row.group); ++n)
            if (progDataSelectsOption(profile, row.group, n))
                selected.push_back(n);
        EXPECT_EQ(selected, row.selected);
    }
}

TEST(ProgDataFile, FileWithoutKeysLoadsAsThreeTonWithNoAddresses) {
    ProgSettings expected{
        .tonsys = 1, .lenMode = 1, .evaluator = 3, .switchMode = 1, .addresses = {}};
    for (const char* text : {"", "\x01\x02\xFF garbage", "[A]\r\n[B I]\r\n"}) {
        ProgSettings s;
        s.tonsys = 4;
        s.lenMode = 2;
        s.switchMode = 3;
        EXPECT_EQ(loadInto(s, ProfileFile::fromText(text)), expected) << text;
    }
}

TEST(ProgDataFile, WhatAFileHoldsAndWhatLoadingIgnoresIsKnown) {
    struct Row {
        std::string text;
        bool loads; // a section of the file stands in it, keys or not
        std::vector<std::string> ignored;
    };
    const Row rows[] = {
        {"", false, {}},
        {"[A]\r\n[B I]\r\nXX=1\r\n", true, {}},
        {std::string("\xff\xfe[\0A\0]\0\r\0\n\0T\0S\0=\0\x31\0", 20), false, {}},
        {"[B IV]\r\nAD=\r\n", true, {}},
        {"[A]\r\nTS=7\r\nTL=1\r\nAW=3\r\nSM=4\r\n", true, {}},
        {"[A]\r\nTS=9\r\nTL=01\r\nAW=\r\nSM=4\r\n",
         true,
         {"[A] TS=9 wird ignoriert (erlaubt: 1 bis 7)",
          "[A] TL=01 wird ignoriert (erlaubt: 1 bis 2)",
          "[A] AW= wird ignoriert (erlaubt: 1 bis 3)"}},
    };
    for (const Row& r : rows) {
        const ProfileFile profile = ProfileFile::fromText(r.text);
        EXPECT_EQ(readProgDataBytes(r.text, "f").refusal.empty(), r.loads) << r.text;
        EXPECT_EQ(progDataIgnoredValues(profile), r.ignored) << r.text;
    }
}

TEST(ProgDataFile, AddressBoxesFollowTheBooleanRule) {
    struct Row {
        const char* text;
        std::optional<bool> checked; // nothing: the Boolean error
        const char* message;
    };
    const std::vector<Row> rows = {
        {"[B II]\r\nRP=1", true, ""},
        {"[B II]\r\nRP=2", true, ""},
        {"[B II]\r\nRP=true", true, ""},
        {"[B II]\r\nRP=TRUE", true, ""},
        {"[B II]\r\nRP=0", false, ""},
        {"[B II]\r\nRP=False", false, ""},
        {"[B II]\r\nAD=1", false, ""},
        {"[B II]\r\nRP=x", std::nullopt, "'x' is not a valid boolean value"},
        {"[B II]\r\nRP=", std::nullopt, "'' is not a valid boolean value"},
        {"[B II]\r\nRP= ja ", std::nullopt, "'ja' is not a valid boolean value"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const ProfileFile profile = ProfileFile::fromText(row.text);
        EXPECT_FALSE(progDataAddressChecked(profile, 1));
        if (row.checked) {
            EXPECT_EQ(progDataAddressChecked(profile, 2), *row.checked);
        } else {
            try {
                progDataAddressChecked(profile, 2);
                ADD_FAILURE() << "no error";
            } catch (const platform::BooleanConversionError& e) {
                EXPECT_STREQ(e.what(), row.message);
            }
        }
    }
}

TEST(ProgDataFile, LoadedAddressTextsStandUnchanged) {
    const std::string six = "123456";
    const ProfileFile profile = ProfileFile::fromText("[B IV]\nAD=" + six + "\n[B I]\nAD=11111");
    EXPECT_EQ(progDataAddressText(profile, 4), six);
    EXPECT_EQ(progDataAddressText(profile, 1), "11111");
    EXPECT_EQ(progDataAddressText(profile, 2), "");
    EXPECT_THROW(progDataAddressText(profile, 5), std::out_of_range);
}

TEST(ProgDataFile, SaveNameGetsTheExtension) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"daten", "daten.740"},
        {"daten.txt", "daten.txt.740"},
        {"daten.740", "daten.740"},
        {"/a/b.740", "/a/b.740"},
        {"740", "740.740"},
        {".74", ".74.740"},
        {"a.740 ", "a.740 .740"},
        {"a.7400", "a.7400.740"},
        {"\xC3\xA4.740", "\xC3\xA4.740"},
    };
    for (const auto& [chosen, saved] : rows)
        EXPECT_EQ(progDataFileName(chosen), saved) << chosen;
}

TEST(ProgDataFile, FailedSaveNamesTheFile) {
    TempDir dir;
    const fs::path target = dir / "sub.740";
    fs::create_directory(target);
    try {
        saveProgDataFile(ProgSettings{}, target);
        ADD_FAILURE() << "saving over a folder succeeded";
    } catch (const platform::ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + target.string());
    }
}

TEST(ProgDataFile, LoadingWithoutAWindowEndsWhereTheWindowEnds) {
    ProgSettings start; // the start-up state
    start.tonsys = 4;
    start.switchMode = 2;
    struct Row {
        const char* text;
        ProgSettings expected;
    };
    // The tone-length button and the address length follow as the click handlers set them.
    ProgSettings allSet{.tonsys = 6,
                        .lenMode = 2,
                        .evaluator = 2,
                        .switchMode = 4,
                        .addresses = {{{false, "12"}, {true, "4711G"}, {}, {true, "999999"}}}};
    ProgSettings unmatched = start; // no numeral matches: options stay, addresses go
    unmatched.evaluator = 3;        // a missing "AW" selects 1, 2, 3 in turn
    unmatched.addresses = {};
    const Row rows[] = {
        {"[A]\r\nTS=6\r\nTL=2\r\nAW=2\r\nSM=4\r\n[B I]\r\nAD=12\r\n[B II]\r\nRP=1\r\nAD=4711G\r\n"
         "[B IV]\r\nRP=true\r\nAD=999999\r\n",
         allSet},
        {"[A]\r\nTS=07\r\nTL=+2\r\nSM=9\r\n", unmatched},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(loadProgDataSettings(ProfileFile::fromText(row.text), start), row.expected);
    }
    EXPECT_THROW(loadProgDataSettings(ProfileFile::fromText("[B II]\r\nRP=ja\r\n"), start),
                 platform::BooleanConversionError);
}

TEST(ProgDataFile, StoredSettingsMapToTheWindowsButtonsAndBack) {
    // Tone system -> tone-length button, evaluator -> address length, as the handlers set them.
    struct Row {
        uint8_t tonsys, evaluator;
        int toneLength;
        uint8_t adresseLen;
    };
    const Row rows[] = {{1, 1, 2, 5}, {5, 2, 2, 4}, {6, 3, 3, 3}, {7, 1, 1, 5}};
    for (const Row& row : rows) {
        ProgSettings stored;
        stored.tonsys = row.tonsys;
        stored.lenMode = 2;
        stored.evaluator = row.evaluator;
        stored.switchMode = 3;
        stored.addresses[2] = {true, "1R1"};
        const ProgSettings s = loadProgDataSettings(progDataProfile(stored), ProgSettings{});
        EXPECT_EQ(s.toneLength(), row.toneLength);
        EXPECT_EQ(s.adresseLen(), row.adresseLen);
        EXPECT_EQ(s.lenMode, 2);
        EXPECT_EQ(s.addresses[2].text, "1R1");
        EXPECT_EQ(progDataProfile(s).text(), progDataProfile(stored).text());
    }
}

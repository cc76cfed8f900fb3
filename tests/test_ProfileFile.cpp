// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileBool.h"
#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using platform::ProfileFile;
using platform::ProfileWriteError;
using namespace std::string_literals;

namespace {

// A fresh folder, removed afterwards even when a test made something in it immutable.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zuvela-profile-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        for (const fs::path& p : immutable_)
            std::system(("chattr -i '" + p.string() + "' 2>/dev/null").c_str());
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // Makes p immutable (stops root as well); false when the file system does not allow it.
    bool makeImmutable(const fs::path& p) {
        if (std::system(("chattr +i '" + p.string() + "' 2>/dev/null").c_str()) != 0)
            return false;
        immutable_.push_back(p);
        return true;
    }

private:
    fs::path path_;
    std::vector<fs::path> immutable_;
};

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

} // namespace

TEST(ProfileReader, FollowsTheProfileRules) {
    struct Row {
        const char* what;
        std::string text;
        const char* section;
        const char* key;
        std::string expected;
    };
    const std::string def = "<default>";
    const std::vector<Row> rows = {
        {"plain entry", "[A]\r\nTS=3\r\n", "A", "TS", "3"},
        {"section name in other case", "[b iii]\r\nAD=1\r\n", "B III", "AD", "1"},
        {"key name in other case", "[A]\r\nts=4\r\n", "A", "TS", "4"},
        {"Windows-1252 letters fold too", "[\xC4rger]\r\n\xDC=1\r\n", "\xE4rger", "\xFC", "1"},
        {"blanks around names and value", "  [ B I ]  \r\n \t RP \t= \t1 \t\r\n", "B I", "RP", "1"},
        {"blanks inside a section name count", "[BI]\r\nAD=1\r\n", "B I", "AD", def},
        {"double quotes removed", "[A]\r\nAD=\"57434\"\r\n", "A", "AD", "57434"},
        {"single quotes removed", "[A]\r\nAD='57434'\r\n", "A", "AD", "57434"},
        {"only one pair of quotes", "[A]\r\nAD=\"\"x\"\"\r\n", "A", "AD", "\"x\""},
        {"blanks inside quotes kept", "[A]\r\nAD=\" 1 \"\r\n", "A", "AD", " 1 "},
        {"mismatched quotes kept", "[A]\r\nAD=\"57434'\r\n", "A", "AD", "\"57434'"},
        {"a lone quote kept", "[A]\r\nAD=\"\r\n", "A", "AD", "\""},
        {"empty value is not the default", "[B II]\r\nAD=\r\n", "B II", "AD", ""},
        {"'=' inside a value", "[A]\r\nAD=a=b\r\n", "A", "AD", "a=b"},
        {"blank lines and comments skipped", "\r\n;[A]\r\n[A]\r\n\r\n  ; TS=9\r\n\r\nTS=2\r\n", "A",
         "TS", "2"},
        {"a commented key is not read", "[A]\r\n;TS=2\r\n", "A", "TS", def},
        {"LF line ends", "[A]\nTS=5\nTL=2\n", "A", "TL", "2"},
        {"lone CR line ends", "[A]\rTS=5\rTL=2\r", "A", "TL", "2"},
        {"mixed line ends", "[A]\r\n\r\nTS=5\n\rTL=2", "A", "TL", "2"},
        {"no final line end", "[A]\r\nTS=6", "A", "TS", "6"},
        {"first occurrence of a key wins", "[A]\r\nTS=6\r\nts=7\r\n", "A", "TS", "6"},
        {"repeated section: first part wins", "[A]\r\nTS=6\r\n[B I]\r\n[a]\r\nTS=7\r\n", "A", "TS",
         "6"},
        {"repeated section: later part is read", "[A]\r\nTL=2\r\n[B I]\r\n[A]\r\nTS=7\r\n", "A",
         "TS", "7"},
        {"key of another section not read", "[A]\r\n[B I]\r\nTS=3\r\n", "A", "TS", def},
        {"missing section", "[A]\r\nTS=3\r\n", "B IV", "AD", def},
        {"entries before any section ignored", "TS=3\r\n[A]\r\n", "A", "TS", def},
        {"line without '=' ignored", "[A]\r\nTS\r\nTS=4\r\n", "A", "TS", "4"},
        {"empty key name ignored", "[A]\r\n=5\r\n", "A", "", def},
        {"text after ']' ignored", "[A] junk\r\nTS=2\r\n", "A", "TS", "2"},
        {"header without ']'", "[A\r\nTS=2\r\n", "A", "TS", "2"},
        {"UTF-8 byte order mark skipped", "\xEF\xBB\xBF[A]\r\nTS=2\r\n", "A", "TS", "2"},
        {"NUL ends the line", std::string("[A]\r\nAD=\"1\0\"\r\nTS=2\r\n", 18), "A", "AD", "\"1"},
        {"text after NUL ignored", std::string("[A]\r\nT\0S=2\r\n", 12), "A", "TS", def},
        {"NUL in a header", "[A\0]x\r\nTS=3"s, "A", "TS", "3"},
        {"empty file", "", "A", "TS", def},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ProfileFile::fromText(row.text).readString(row.section, row.key, def),
                  row.expected);
    }
}

TEST(ProfileReader, GarbageReadsTheSameAfterRewriting) {
    // Whatever the reader makes of garbage, writing the profile out must not change it.
    std::mt19937 random(740);
    const std::string alphabet = "[]=;\"' \t\r\nABab\0\xFF"s;
    // Found by the fuzzer: only the first byte order mark is one.
    const std::string twoMarks = "\xEF\xBB\xBF\xEF\xBB\xBF[A]\r\nTS=2\r\n";
    EXPECT_EQ(ProfileFile::fromText(twoMarks).readString("A", "TS", "-"), "-");
    for (int round = 0; round < 300; ++round) {
        std::string text(random() % 200, '\0');
        for (char& c : text)
            c = round % 2 ? alphabet[random() % alphabet.size()] : char(random());
        if (round == 0)
            text = twoMarks;
        const ProfileFile profile = ProfileFile::fromText(text);
        const ProfileFile again = ProfileFile::fromText(profile.text());
        for (const char* section : {"A", "a", "B I", ""})
            for (const char* key : {"A", "B", "TS", "ab"})
                ASSERT_EQ(again.readString(section, key, "-"),
                          profile.readString(section, key, "-"))
                    << "round " << round;
    }
}

TEST(ProfileReader, HugeValueAndManyLinesStayWhole) {
    TempDir dir;
    const std::string big(1024 * 1024, '7');
    std::string text = "[B I]\nAD=" + big + "\n";
    for (int i = 0; i < 100000; ++i)
        text += "K" + std::to_string(i) + "=x\n";
    text += "RP=1";
    writeBytes(dir / "big.740", text);
    const ProfileFile profile = ProfileFile::load(dir / "big.740");
    EXPECT_EQ(profile.readString("B I", "AD", ""), big);
    EXPECT_EQ(profile.readString("B I", "RP", "0"), "1");
}

TEST(ProfileLoad, UnreadableFilesGiveAnEmptyProfile) {
    TempDir dir;
    const fs::path fifo = dir / "pipe.740";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const fs::path huge = dir / "huge.740";
    writeBytes(huge, "[A]\r\nTS=2\r\n");
    fs::resize_file(huge, ProfileFile::maxFileSize + 1);
    const fs::path noFolder = dir / "nothing" / "x.740";

    for (const fs::path& p : {dir / "missing.740", dir.path(), fifo, huge, noFolder}) {
        SCOPED_TRACE(p.string());
        // A pipe without a writer must not block the loader.
        auto loading = std::async(std::launch::async, [&] { return ProfileFile::load(p); });
        ASSERT_EQ(loading.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        const ProfileFile profile = loading.get();
        EXPECT_EQ(profile.text(), "");
        EXPECT_EQ(profile.readString("A", "TS", "1"), "1");
    }
}

TEST(ProfileWriter, PlacesEntriesAsTheProfileCallsDo) {
    struct Write {
        const char* section;
        const char* key;
        const char* value;
    };
    struct Row {
        const char* what;
        std::string before;
        std::vector<Write> writes;
        std::string after;
    };
    const std::vector<Row> rows = {
        {"into an empty profile",
         "",
         {{"A", "TS", "1"}, {"A", "TL", "2"}},
         "[A]\r\nTS=1\r\nTL=2\r\n"},
        {"replace in place, keeping the key's spelling and its blanks go",
         "[A]\r\n ts = 1 \r\nTL=1\r\n",
         {{"A", "TS", "5"}},
         "[A]\r\nts=5\r\nTL=1\r\n"},
        {"new key after the last entry, not after blank lines and comments",
         "[A]\r\nTS=1\r\n\r\n;next\r\n[B I]\r\nAD=1\r\n",
         {{"a", "TL", "2"}},
         "[A]\r\nTS=1\r\nTL=2\r\n\r\n;next\r\n[B I]\r\nAD=1\r\n"},
        {"new key right after the header of an empty section",
         "[A]\r\n\r\n[B I]\r\n",
         {{"A", "TS", "1"}},
         "[A]\r\nTS=1\r\n\r\n[B I]\r\n"},
        {"new section at the end, file without final line end",
         "[A]\nTS=1",
         {{"B I", "AD", ""}},
         "[A]\r\nTS=1\r\n[B I]\r\nAD=\r\n"},
        {"repeated section: first occurrence replaced",
         "[A]\r\nTS=1\r\n[B I]\r\n[A]\r\nTS=2\r\n",
         {{"A", "TS", "3"}},
         "[A]\r\nTS=3\r\n[B I]\r\n[A]\r\nTS=2\r\n"},
        {"repeated section: new key after its last entry",
         "[A]\r\nTS=1\r\n[B I]\r\n[A]\r\nTL=2\r\n",
         {{"A", "AW", "3"}},
         "[A]\r\nTS=1\r\n[B I]\r\n[A]\r\nTL=2\r\nAW=3\r\n"},
        {"value with blanks around is quoted", "", {{"A", "AD", " 1 "}}, "[A]\r\nAD=\" 1 \"\r\n"},
        {"value in quotes is quoted again", "", {{"A", "AD", "'x'"}}, "[A]\r\nAD=\"'x'\"\r\n"},
        {"lone quote and inner blanks written as they are",
         "",
         {{"A", "AD", "\"a b"}},
         "[A]\r\nAD=\"a b\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ProfileFile profile = ProfileFile::fromText(row.before);
        for (const Write& w : row.writes) {
            profile.writeString(w.section, w.key, w.value);
            EXPECT_EQ(profile.readString(w.section, w.key, "<default>"), w.value);
        }
        EXPECT_EQ(profile.text(), row.after);
    }
}

TEST(ProfileWriter, RefusesWhatCouldNotBeReadBack) {
    const std::vector<std::array<std::string, 3>> rows = {
        {"A", "AD", "1\r\n[B I]"},
        {"A", "AD", "1\n"},
        {"A", "AD", "1\r"},
        {"A]", "TS", "1"},
        {"A\n", "TS", "1"},
        {" A", "TS", "1"},
        {"A", "T=S", "1"},
        {"A", "", "1"},
        {"A", ";TS", "1"},
        {"A", std::string("T\0S", 3), "1"},
        {"A", "TS", std::string("1\0", 2)},
        {"A", "[TS", "1"},
        {"A", "TS ", "1"},
        {"A", "T\nS", "1"},
    };
    for (const auto& [section, key, value] : rows) {
        SCOPED_TRACE(std::string(section).append("/").append(key).append("/").append(value));
        ProfileFile profile = ProfileFile::fromText("[A]\r\nTS=1\r\n");
        EXPECT_THROW(profile.writeString(section, key, value), std::invalid_argument);
        EXPECT_EQ(profile.text(), "[A]\r\nTS=1\r\n");
    }
}

TEST(ProfileSave, WritesNewAndReplacesOldFilesLeavingNoTemporaryFile) {
    TempDir dir;
    ProfileFile profile;
    profile.writeString("A", "TS", "1");
    profile.save(dir / "new.740");
    EXPECT_EQ(readBytes(dir / "new.740"), "[A]\r\nTS=1\r\n");

    writeBytes(dir / "old.740", "[A]\r\nTS=7\r\nTL=2\r\nAW=3\r\n");
    fs::permissions(dir / "old.740", fs::perms(0640));
    profile.save(dir / "old.740");
    EXPECT_EQ(readBytes(dir / "old.740"), "[A]\r\nTS=1\r\n");
    EXPECT_EQ(fs::status(dir / "old.740").permissions(), fs::perms(0640));

    // Through a link the linked file gets the content; the link stays a link.
    fs::create_symlink("old.740", dir / "link.740");
    profile.writeString("A", "TS", "2");
    profile.save(dir / "link.740");
    EXPECT_TRUE(fs::is_symlink(dir / "link.740"));
    EXPECT_EQ(readBytes(dir / "old.740"), "[A]\r\nTS=2\r\n");

    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"new.740", "old.740", "link.740"}));
}

// What a killed save left behind goes with the next save into that folder, once it is over an
// hour old; a save that may still be running, and files of other programs, stay.
TEST(ProfileSave, RemovesTemporaryFilesThatAKilledSaveLeftOverAnHourAgo) {
    TempDir dir;
    const auto now = fs::file_time_type::clock::now();
    struct Row {
        const char* name;
        std::chrono::minutes age;
        bool stays;
    } rows[] = {
        {".A.740.4242.123456.0.tmp", std::chrono::minutes(61), false},
        {".B.740.4242.123456.1.tmp", std::chrono::minutes(59), true},
        {".notes.tmp", std::chrono::minutes(600), true},
        {".C.740.x.123456.2.tmp", std::chrono::minutes(600), true},
    };
    for (const Row& row : rows) {
        writeBytes(dir / row.name, "half");
        fs::last_write_time(dir / row.name, now - row.age);
    }
    ProfileFile profile;
    profile.writeString("A", "TS", "1");
    profile.save(dir / "new.740");
    for (const Row& row : rows)
        EXPECT_EQ(fs::exists(dir / row.name), row.stays) << row.name;
}

TEST(ProfileSave, RelativeNameIsReportedInFull) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    fs::create_directory("sub");
    try {
        ProfileFile().save("sub");
        ADD_FAILURE() << "saving over a folder succeeded";
    } catch (const ProfileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + (dir / "sub").string());
    }
    fs::current_path(before);
}

TEST(ProfileSave, FailureKeepsTheOldFileByteForByte) {
    const std::string old = "[A]\r\nTS=7\r\n;keep me\r\n[B I]\r\nAD=\xE4\r\n";
    struct Case {
        fs::path target;  // the name saved to
        fs::path oldFile; // the file that must stay as it was
    };
    struct Row {
        const char* what;
        // Sets the case up in a fresh folder; nothing when this file system cannot (immutable
        // flags need the right and a file system that has them).
        std::function<std::optional<Case>(TempDir&)> prepare;
    };
    const std::vector<Row> rows = {
        {"read-only target file",
         [&](TempDir& d) -> std::optional<Case> {
             writeBytes(d / "f.740", old);
             fs::permissions(d / "f.740", fs::perms(0444));
             return Case{d / "f.740", d / "f.740"};
         }},
        {"immutable target file",
         [&](TempDir& d) -> std::optional<Case> {
             writeBytes(d / "f.740", old);
             if (!d.makeImmutable(d / "f.740"))
                 return std::nullopt;
             return Case{d / "f.740", d / "f.740"};
         }},
        {"immutable folder",
         [&](TempDir& d) -> std::optional<Case> {
             fs::create_directory(d / "ro");
             writeBytes(d / "ro" / "f.740", old);
             if (!d.makeImmutable(d / "ro"))
                 return std::nullopt;
             return Case{d / "ro" / "f.740", d / "ro" / "f.740"};
         }},
        {"new file in an immutable folder",
         [&](TempDir& d) -> std::optional<Case> {
             fs::create_directory(d / "ro");
             writeBytes(d / "ro" / "f.740", old);
             if (!d.makeImmutable(d / "ro"))
                 return std::nullopt;
             return Case{d / "ro" / "new.740", d / "ro" / "f.740"};
         }},
        {"folder that is a file",
         [&](TempDir& d) -> std::optional<Case> {
             writeBytes(d / "f.740", old);
             return Case{d / "f.740" / "x.740", d / "f.740"};
         }},
        {"missing folder",
         [&](TempDir& d) -> std::optional<Case> {
             writeBytes(d / "f.740", old);
             return Case{d / "none" / "x.740", d / "f.740"};
         }},
        {"target is a folder",
         [&](TempDir& d) -> std::optional<Case> {
             writeBytes(d / "f.740", old);
             fs::create_directory(d / "dir.740");
             return Case{d / "dir.740", d / "f.740"};
         }},
    };
    ProfileFile profile;
    profile.writeString("A", "TS", "1");
    std::vector<std::string> notSetUp;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::optional<Case> c = row.prepare(dir);
        if (!c) {
            notSetUp.emplace_back(row.what);
            continue;
        }
        const std::set<std::string> before = listing(c->oldFile.parent_path());
        try {
            profile.save(c->target);
            ADD_FAILURE() << "save reported success";
        } catch (const ProfileWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + c->target.string());
            EXPECT_EQ(e.file(), c->target);
            EXPECT_TRUE(e.cause());
        }
        EXPECT_EQ(readBytes(c->oldFile), old);
        EXPECT_EQ(listing(c->oldFile.parent_path()), before);
    }
    if (!notSetUp.empty())
        GTEST_SKIP() << notSetUp.size() << " immutable-flag case(s) not possible here";
}

TEST(ProfileBool, ConvertsNumbersAndTrueFalse) {
    struct Row {
        std::string value;
        std::optional<bool> expected; // nothing: the conversion error
    };
    const std::vector<Row> rows = {
        {"1", true},           {"2", true},
        {"true", true},        {"TRUE", true},
        {"tRuE", true},        {"0", false},
        {"False", false},      {"FALSE", false},
        {"-1", true},          {"+0", false},
        {"0.0", false},        {"0.5", true},
        {".5", true},          {"5.", true},
        {"1e3", true},         {"0E5", false},
        {"1e-999999", true},   {"1E+3", true},
        {" 1 ", true},         {"\t0\t", false},
        {" true ", true},      {"00000", false},
        {"x", std::nullopt},   {"", std::nullopt},
        {" ", std::nullopt},   {"ja", std::nullopt},
        {".", std::nullopt},   {"-", std::nullopt},
        {"1e", std::nullopt},  {"e3", std::nullopt},
        {"1,5", std::nullopt}, {"0x1", std::nullopt},
        {"1 0", std::nullopt}, {"truex", std::nullopt},
        {"--1", std::nullopt}, {"1.2.3", std::nullopt},

        {"yes", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("'" + row.value + "'");
        EXPECT_EQ(platform::tryStrToBool(row.value), row.expected);
        if (row.expected) {
            EXPECT_EQ(platform::strToBool(row.value), *row.expected);
        } else {
            try {
                platform::strToBool(row.value);
                ADD_FAILURE() << "no error";
            } catch (const platform::BooleanConversionError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "'" + row.value + "' is not a valid boolean value");
            }
        }
    }
}

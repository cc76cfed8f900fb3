// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppendFile.h"
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgEngine.h"
#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const std::string kHeader = "Kennung;Träger;Tonsystem;Auswertung;Schaltermodus;Langton;Ruf 1;"
                            "Ruf 2;Ruf 3;Ruf 4;Bemerkung\r\n";

} // namespace

// Each row: the file's bytes, and what reading it says: the refusal, or the encoding and each
// line's problem message (empty: the line can be sent).
TEST(FleetList, ReadsWhatSpreadsheetsWriteAndNamesEveryBadLine) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string refusal;
        TextEncoding encoding;
        std::vector<std::string> problems;
    };
    const std::string w1252Holder = "J\xFCrgen M\xFC\xDF";
    const std::string evaluators = "5 Ton, 4 Ton, 3 Ton).";
    const std::string systems =
        "ZVEI 1, ZVEI 1 (GB), ZVEI 2, ZVEI F, ZVEI DEPR., CCIR, CCIR / EEA).";
    const std::vector<Case> cases = {
        {"good lines, BOM",
         "\xEF\xBB\xBF" + kHeader + "W1-07;Jürgen Müß;ZVEI 2;4 Ton;Immer ein;ja;1234;;;;\r\n" +
             "W1-08;\"Meier; Hans\";ccir / eea;5 Ton;Ein + "
             "Mithören;NEIN;11223;45678;;;\"zwei\r\nZeilen\"\r\n",
         "",
         TextEncoding::Utf8Bom,
         {"", ""}},
        {"commas, Windows-1252, header in capitals, missing columns, blank line",
         "KENNUNG,TR\xC4GER,Ruf 2\n\n7," + w1252Holder + ",57434\n",
         "",
         TextEncoding::Windows1252,
         {"Zeile 3 (7): Rufadresse doppelt vorhanden."}},
        {"the check of Programmieren, word by word",
         "Kennung;Auswertung;Ruf 1;Ruf 2;Tonsystem;Langton\n"
         "A;5 Ton;123;;;\n"
         "B;5 Ton;;;;\n"
         "C;3 Ton;113;1R3;;\n"
         "D;5 Ton;12G45;;ZVEI F;\n"
         "A;5 Ton;12345;;;\n"
         ";5 Ton;12345;;;\n"
         "E;6 Ton;12345;;;\n"
         "F;5 Ton;12345;;ZVEI 9;\n"
         "G;5 Ton;12345;;;vielleicht\n"
         "H;5 Ton;12345;;;;zu viel\n"
         "I;5 Ton;\"12345\n",
         "",
         TextEncoding::Utf8,
         {"Zeile 2 (A): Rufadresse 1 ist unnvollständig.",
          "Zeile 3 (B): Keine Rufadressen zum Programmieren gewählt.",
          "Zeile 4 (C): Rufadresse doppelt vorhanden.",
          "Zeile 5 (D): Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\".",
          "Zeile 6 (A): Die Kennung \"A\" steht schon in Zeile 2.", "Zeile 7: Die Kennung fehlt.",
          "Zeile 8 (E): Unbekannter Wert in Spalte Auswertung: \"6 Ton\" (erlaubt: " + evaluators,
          "Zeile 9 (F): Unbekannter Wert in Spalte Tonsystem: \"ZVEI 9\" (erlaubt: " + systems,
          "Zeile 10 (G): Unbekannter Wert in Spalte Langton: \"vielleicht\" (erlaubt: ja, nein).",
          "Zeile 11 (H): Die Zeile hat mehr Felder als die erste Zeile.",
          "Zeile 12 (I): Ein Feld in Anführungszeichen endet nicht."}},
        {"empty",
         "\r\n;;\r\n",
         "Die Datei x.csv ist keine Liste: sie ist leer.",
         TextEncoding::Utf8,
         {}},
        {"binary",
         std::string("\x89PNG\r\n\x1A\n\0\0", 10),
         "Die Datei x.csv ist keine Liste: sie enthält Binärdaten.",
         TextEncoding::Utf8,
         {}},
        {"no label column",
         "Name;Ruf 1\nA;12345\n",
         "Die Datei x.csv ist keine Liste: ihre erste Zeile nennt keine Spalte Kennung.",
         TextEncoding::Utf8,
         {}},
        {"a column twice",
         "Kennung;Ruf 1;ruf 1\n",
         "Die Datei x.csv ist keine Liste: die Spalte Ruf 1 steht zweimal in der ersten Zeile.",
         TextEncoding::Utf8,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FleetList list = readFleetList(c.bytes, "Die Datei x.csv");
        EXPECT_EQ(list.refusal, c.refusal);
        if (!c.refusal.empty())
            continue;
        EXPECT_EQ(list.encoding, c.encoding);
        ASSERT_EQ(list.pagers.size(), c.problems.size());
        for (std::size_t n = 0; n < c.problems.size(); ++n)
            EXPECT_EQ(list.pagers[n].ok() ? "" : fleetLineMessage(list.pagers[n]), c.problems[n]);
    }

    // What the good lines hold: the words as the window's options, the addresses completed, a
    // missing column from the start settings, the holder from Windows-1252.
    const FleetList good = readFleetList(cases[0].bytes, "x");
    const ProgSettings& w107 = good.pagers[0].settings;
    EXPECT_EQ(w107.tonsys, 3);
    EXPECT_EQ(w107.evaluator, 2);
    EXPECT_EQ(w107.switchMode, 2);
    EXPECT_EQ(w107.lenMode, 2);
    EXPECT_EQ(good.pagers[1].holder, "Meier; Hans");
    EXPECT_EQ(good.pagers[1].note, "zwei\r\nZeilen");
    EXPECT_EQ(good.pagers[1].settings.tonsys, 7);
    EXPECT_EQ(good.pagers[1].settings.addresses[0].text, "1R2R3");
    EXPECT_EQ(fleetCallsText(good.pagers[1].settings), "Ruf 1 1R2R3, Ruf 2 45678");
    const FleetList w1252 = readFleetList(cases[1].bytes, "x");
    EXPECT_EQ(w1252.separator, ',');
    EXPECT_EQ(w1252.pagers[0].holder, "Jürgen Müß");
    EXPECT_EQ(w1252.pagers[0].settings.addresses[0], (AddressSlot{true, "57434"}));
}

TEST(FleetList, WrittenListsReadBackAsTheyWere) {
    ProgSettings s;
    s.tonsys = 6;
    s.evaluator = 3;
    s.switchMode = 4;
    s.lenMode = 2;
    s.addresses = {{{true, "123"}, {false, ""}, {true, "4R5"}, {false, ""}}};
    std::vector<FleetPager> pagers = {fleetPager(s, "W1; \"7\"", "Jürgen", "a\nb"),
                                      fleetPager(ProgSettings{}, "2")};
    // A line with a wrong word is written back as it was read, not as the start settings.
    const std::string bad = "Kennung;Tonsystem;Ruf 1\r\n3;ZVEI 9;12345\r\n";
    pagers.push_back(readFleetList(bad, "x").pagers.at(0));

    const FleetList back = readFleetList(fleetListText(pagers), "x");
    ASSERT_EQ(back.pagers.size(), 3U);
    EXPECT_EQ(back.encoding, TextEncoding::Utf8Bom);
    for (std::size_t n = 0; n < 2; ++n) {
        EXPECT_TRUE(back.pagers[n].ok()) << back.pagers[n].problem;
        EXPECT_EQ(back.pagers[n].label, pagers[n].label);
        EXPECT_EQ(back.pagers[n].holder, pagers[n].holder);
        EXPECT_EQ(back.pagers[n].note, pagers[n].note);
        EXPECT_EQ(back.pagers[n].settings, pagers[n].settings);
    }
    EXPECT_EQ(back.pagers[2].cells[static_cast<std::size_t>(FleetColumn::Tonsys)], "ZVEI 9");
    EXPECT_EQ(back.pagers[2].problem, pagers[2].problem);

    const FleetList fresh = readFleetList(newFleetListText(ProgSettings{}), "x");
    ASSERT_EQ(fresh.pagers.size(), 1U);
    EXPECT_EQ(fresh.pagers[0].label, "1");
    EXPECT_EQ(fresh.pagers[0].settings, ProgSettings{});
}

// The record through the platform's append file: a header on a new file, a line per send, a
// broken last line left alone, and each label's last result read back.
TEST(FleetRecord, AppendsLineByLineAndReadsTheLastResults) {
    const fs::path file = "liste-Protokoll.csv";
    EXPECT_EQ(fleetRecordNameFor("dir.v1/liste.csv"), "dir.v1/liste-Protokoll.csv");
    EXPECT_EQ(fleetRecordNameFor("liste"), "liste-Protokoll.csv");

    FleetRecordEntry e;
    e.time = "2026-12-10T07:45:12+01:00";
    e.label = "W1-07";
    e.holder = "Jürgen Müß";
    e.device = "default";
    {
        platform::AppendFile record(file);
        ASSERT_TRUE(record.wasEmpty());
        record.append(fleetRecordHeader());
        record.append(fleetRecordLine(e));
        e.result = FleetResult::Aborted;
        e.reason = "Die Soundkarte steht nicht zur Verfügung!\nbelegt";
        e.label = "W1-08";
        record.append(fleetRecordLine(e));
    }
    std::ofstream(file, std::ios::app | std::ios::binary) << "2026-12-10T07:46:00+01:00;W1-0";
    {
        platform::AppendFile record(file);
        EXPECT_FALSE(record.wasEmpty());
        e.result = FleetResult::Skipped;
        e.label = "W1-07";
        e.check = "Alle 26 Töne angekommen.";
        record.append(fleetRecordLine(e));
    }
    const std::string bytes = readBytes(file);
    EXPECT_EQ(bytes, "\xEF\xBB\xBFZeit;Kennung;Träger;Tonsystem;Auswertung;Schaltermodus;Langton;"
                     "Ruf 1;Ruf 2;Ruf 3;Ruf 4;Ausgabegerät;Tonlänge (ms);Tonpause (ms);"
                     "Blockpause (ms);Amplitude (%);Ergebnis;Prüfung\r\n"
                     "2026-12-10T07:45:12+01:00;W1-07;Jürgen Müß;ZVEI 1;5 Ton;Schaltbar;nein;"
                     "57434;;;;default;100;30;700;100;Gesendet;\r\n"
                     "2026-12-10T07:45:12+01:00;W1-08;Jürgen Müß;ZVEI 1;5 Ton;Schaltbar;nein;"
                     "57434;;;;default;100;30;700;100;Abgebrochen: Die Soundkarte steht nicht "
                     "zur Verfügung! belegt;\r\n"
                     "2026-12-10T07:46:00+01:00;W1-0\r\n"
                     "2026-12-10T07:45:12+01:00;W1-07;Jürgen Müß;ZVEI 1;5 Ton;Schaltbar;nein;"
                     "57434;;;;default;100;30;700;100;Übersprungen;Alle 26 Töne angekommen.\r\n");

    const auto last = fleetLastResults(bytes);
    ASSERT_EQ(last.size(), 2U);
    EXPECT_EQ(last.at("W1-07").result, FleetResult::Skipped);
    EXPECT_EQ(last.at("W1-07").check, "Alle 26 Töne angekommen.");
    EXPECT_EQ(last.at("W1-08").result, FleetResult::Aborted);
    EXPECT_EQ(last.at("W1-08").time, "2026-12-10T07:45:12+01:00");

    // A record that cannot be written is found when it is opened.
    fs::create_directory("ordner");
    EXPECT_THROW(platform::AppendFile("ordner"), platform::AppendFileError);
    EXPECT_THROW(platform::AppendFile("fehlt/protokoll.csv"), platform::AppendFileError);

    const std::string now = isoLocalTime(std::chrono::system_clock::now());
    EXPECT_EQ(now.size(), 25U) << now;
    EXPECT_EQ(now[10], 'T');
    // The page's clock: a moment and the browser's offset, the same format without a time zone.
    for (const auto& [seconds, offset, text] :
         {std::tuple{std::int64_t{0}, 0, "1970-01-01T00:00:00+00:00"},
          std::tuple{std::int64_t{1796888712}, 60, "2026-12-10T08:45:12+01:00"},
          std::tuple{std::int64_t{951782400}, -330, "2000-02-28T18:30:00-05:30"},
          std::tuple{std::int64_t{-1}, 0, "1969-12-31T23:59:59+00:00"}})
        EXPECT_EQ(isoTime(seconds, offset), text);
}

// The same addresses twice in a row ask; a group call that two pagers share does not.
TEST(FleetRecord, TheSameAddressesAgainAskFirst) {
    const auto with = [](std::initializer_list<std::pair<int, const char*>> calls) {
        ProgSettings s;
        s.addresses = {};
        for (const auto& [slot, text] : calls)
            s.addresses[static_cast<std::size_t>(slot)] = {true, text};
        return s;
    };
    const struct {
        ProgSettings before, next;
        const char* label;
        const char* question;
    } rows[] = {
        {with({{0, "12345"}}), with({{0, "12345"}}), "W1-06",
         "Die Rufadresse 12345 wurde eben schon an W1-06 gesendet. Trotzdem senden?"},
        {with({{0, "12345"}, {2, "999R9"}}), with({{0, "12345"}, {2, "999R9"}}), "",
         "Die Rufadressen 12345, 999R9 wurden eben schon gesendet. Trotzdem senden?"},
        {with({{0, "12345"}, {1, "99999"}}), with({{0, "12346"}, {1, "99999"}}), "W1-06", ""},
        {with({{0, "12345"}}), with({{1, "12345"}}), "W1-06", ""},
        {with({}), with({}), "W1-06", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fleetRepeatQuestion(row.before, row.label, row.next), row.question);
}

// Each row: what stands at the record's name, set up in the test's folder, and what opening it
// for appending and reading it say. Nothing is written to what a name points to, nothing waits
// on a pipe, and a file that is read only needs to be a file.
TEST(FleetRecord, OnlyARegularFileOfTheUsersOwnIsARecord) {
    std::ofstream("ziel.txt", std::ios::binary) << "unverändert\n";
    fs::create_directory("ordner");
    struct Row {
        const char* what;
        std::function<fs::path()> make;
        const char* appendRefusal;
        const char* readRefusal; // nullptr: read
    };
    const std::vector<Row> rows = {
        {"a link to a file",
         [] {
             fs::create_symlink("ziel.txt", "a-Protokoll.csv");
             return fs::path("a-Protokoll.csv");
         },
         "ist ein Verweis", "ist ein Verweis"},
        {"a link to nothing yet",
         [] {
             fs::create_symlink("neu.txt", "b-Protokoll.csv");
             return fs::path("b-Protokoll.csv");
         },
         "ist ein Verweis", "ist ein Verweis"},
        {"a link to a folder",
         [] {
             fs::create_directory_symlink("ordner", "c-Protokoll.csv");
             return fs::path("c-Protokoll.csv");
         },
         "ist ein Verweis", "ist ein Verweis"},
        {"a FIFO",
         [] {
             EXPECT_EQ(::mkfifo("d-Protokoll.csv", 0600), 0);
             return fs::path("d-Protokoll.csv");
         },
         "ist keine Datei", "ist keine Datei"},
        {"a device", [] { return fs::path("/dev/null"); }, "ist keine Datei", "ist keine Datei"},
        {"a folder", [] { return fs::path("ordner"); }, "ist ein Ordner", "ist ein Ordner"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path name = row.make();
        try {
            platform::AppendFile file(name);
            ADD_FAILURE() << "opened for appending";
        } catch (const platform::AppendFileError& e) {
            EXPECT_STREQ(e.what(), row.appendRefusal);
        }
        try {
            (void)platform::readRecordBytes(name, kFleetRecordMaxBytes);
            ADD_FAILURE() << "read";
        } catch (const platform::AppendFileError& e) {
            EXPECT_STREQ(e.what(), row.readRefusal);
        }
    }
    EXPECT_EQ(readBytes("ziel.txt"), "unverändert\n");
    EXPECT_FALSE(fs::exists("neu.txt"));
    EXPECT_TRUE(fs::is_empty("ordner"));

    // No record yet reads as none; one larger than the limit is refused, not read in part.
    EXPECT_EQ(platform::readRecordBytes("fehlt.csv", 10), "");
    std::ofstream("gross.csv", std::ios::binary) << std::string(11, 'x');
    EXPECT_EQ(platform::readRecordBytes("gross.csv", 11), std::string(11, 'x'));
    EXPECT_THROW((void)platform::readRecordBytes("gross.csv", 10), platform::AppendFileError);

    // Another user's file in a shared folder is read, but never appended to.
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    std::ofstream("fremd.csv", std::ios::binary) << "fremd\n";
    ASSERT_EQ(::chown("fremd.csv", 65534, 65534), 0);
    EXPECT_EQ(platform::readRecordBytes("fremd.csv", 100), "fremd\n");
    try {
        platform::AppendFile file("fremd.csv");
        ADD_FAILURE() << "opened another user's file";
    } catch (const platform::AppendFileError& e) {
        EXPECT_STREQ(e.what(), "gehört einem anderen Benutzer");
    }
    EXPECT_EQ(readBytes("fremd.csv"), "fremd\n");
}

// A full disk (here the file size limit) in the middle of a line: the line is cut off again,
// and once there is room the next line follows the last whole one.
TEST(FleetRecord, ALineIsWrittenWholeOrNotAtAll) {
    platform::AppendFile record("x-Protokoll.csv");
    record.append(fleetRecordHeader());
    const std::string before = readBytes("x-Protokoll.csv");
    const std::string line(200, 'z');

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = before.size() + 50;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string refusal;
    try {
        record.append(line + "\r\n");
    } catch (const platform::AppendFileError& e) {
        refusal = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(refusal.empty());
    EXPECT_EQ(readBytes("x-Protokoll.csv"), before);

    record.append("a\r\n");
    EXPECT_EQ(readBytes("x-Protokoll.csv"), before + "a\r\n");
}

// Each row: a text as typed into a cell. Written by every writer of ours it stays text in a
// spreadsheet (Gnumeric's reader evaluates it else), and our reader gives it back as typed:
// through the list's export and import, and through the record's last results.
TEST(FleetRecord, FormulaLikeCellsStayTextAndReadBackAsTyped) {
    const struct {
        std::string typed;
        bool guarded;
    } rows[] = {
        {"=1+2", true},        {R"(=HYPERLINK("http://x";"klick"))", true},
        {"+49 171 000", true}, {"-5", true},
        {"@SUM(1;2)", true},   {"\t=2+2", true},
        {"\r=2+2", true},      {"  =3+3", true},
        {"'=1+2", true},       {"''-1", true},
        {"'", true},           {"  'x", true},
        {"O'Neill", false},    {"a=b", false},
        {"W1-07", false},
    };
    std::string sheet;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        const std::string written = csvField(row.typed);
        const auto apostrophes = [](std::string_view text) {
            const std::size_t from = text.find_first_not_of('"');
            return std::min(text.find_first_not_of('\'', from), text.size()) - from;
        };
        EXPECT_EQ(apostrophes(written), apostrophes(row.typed) + (row.guarded ? 1 : 0)) << written;
        const std::vector<CsvRow> back = parseCsv(csvLine({row.typed, "x"}), ';');
        ASSERT_EQ(back.size(), 1U);
        EXPECT_EQ(back[0].fields, (std::vector<std::string>{row.typed, "x"}));
        sheet += csvLine({row.typed}, ',');

        if (row.typed.find('\r') != std::string::npos)
            continue; // a line break is no label; the record writes it as a blank
        const FleetList list = readFleetList(
            fleetListText({fleetPager(ProgSettings{}, trimmed(row.typed), row.typed)}), "x");
        ASSERT_EQ(list.pagers.size(), 1U);
        EXPECT_EQ(list.pagers[0].label, trimmed(row.typed));
        EXPECT_EQ(list.pagers[0].holder, trimmed(row.typed));
        FleetRecordEntry e;
        e.time = "2026-12-10T07:45:12+01:00";
        e.label = trimmed(row.typed);
        e.holder = row.typed;
        const auto last = fleetLastResults(fleetRecordHeader() + fleetRecordLine(e));
        EXPECT_EQ(last.count(e.label), 1U);
    }

    if (std::string(SSCONVERT).empty())
        GTEST_SKIP() << "no ssconvert to read the cells as a spreadsheet does";
    // Gnumeric's CSV reader separates by commas only: the same rule with that separator.
    std::ofstream("zellen.csv", std::ios::binary) << sheet << "=1+2\r\n";
    const testsupport::ProcessResult shown =
        testsupport::runProcess(SSCONVERT, {"-T", "Gnumeric_stf:stf_assistant", "-O",
                                            "separator=| quoting-mode=never eol=unix", "--recalc",
                                            "zellen.csv", "zellen.txt"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    std::istringstream text(readBytes("zellen.txt"));
    std::string cell;
    for (const auto& row : rows) {
        ASSERT_TRUE(std::getline(text, cell));
        EXPECT_EQ(cell, row.typed);
    }
    ASSERT_TRUE(std::getline(text, cell));
    EXPECT_EQ(cell, "3") << "the reader runs a formula that is not guarded";
}

// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli's fleet list: batch answered line by line on its standard input, each send caught
// by ALSA's file plugin and read back by the decoder, each answer in the record; bad lists
// through list and batch alike, with their messages.
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgEngine.h"
#include "Recording.h"
#include "SequenceDecoder.h"
#include "support/AlsaCapture.h"
#include "support/ChildSignal.h"
#include "support/RunProcess.h"
#include "support/SmallTmpfs.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::AlsaCapture;

void writeFile(const fs::path& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string readFile(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

const std::vector<std::string> kFast = {"--tone-length", "40", "--tone-pause", "10",
                                        "--block-pause", "500"};
const ExpertValues kFastValues{40, 10, 500, 100};

// zuvela-cli batch with its standard input in the test's hands.
class Batch {
public:
    explicit Batch(const std::vector<std::string>& args) {
        QStringList list;
        for (const std::string& a : args)
            list << QString::fromStdString(a);
        process_.start(QStringLiteral(ZUVELA_CLI), list);
        process_.waitForStarted(10000);
    }
    ~Batch() {
        if (process_.state() != QProcess::NotRunning) {
            process_.closeWriteChannel();
            process_.waitForFinished(30000);
        }
    }
    void answer(const std::string& line) { process_.write((line + "\n").c_str()); }
    // Waits until stdout holds text after what was waited for before; false at the deadline.
    bool waitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            out_ += process_.readAllStandardOutput().toStdString();
            if (out_.find(text, seen_) != std::string::npos) {
                seen_ = out_.find(text, seen_) + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline ||
                (process_.state() == QProcess::NotRunning && !process_.bytesAvailable()))
                return false;
            process_.waitForReadyRead(200);
        }
    }
    bool signal(int number) { return testsupport::signalChild(process_, number); }
    int finish() {
        process_.closeWriteChannel();
        process_.waitForFinished(60000);
        out_ += process_.readAllStandardOutput().toStdString();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    const std::string& out() const { return out_; }
    std::string err() { return process_.readAllStandardError().toStdString(); }

private:
    QProcess process_;
    std::string out_;
    std::size_t seen_ = 0;
};

// The settings the decoder reads from what ALSA received.
ProgSettings decoded(const std::vector<uint8_t>& played) {
    TToneTable table;
    fillToneTable(table);
    return decodeSequence(readRaw8(played, 22050), table).settings;
}

} // namespace

TEST(ZuvelaCliBatch, SendsEachAnsweredLineThroughAlsaAndRecordsEveryAnswer) {
    const AlsaCapture capture;
    writeFile("liste.csv",
              "\xEF\xBB\xBF"
              "Kennung;Träger;Tonsystem;Auswertung;Schaltermodus;Langton;Ruf 1;Ruf 2\r\n"
              "W1-07;Jürgen Müß;ZVEI 2;5 Ton;Immer ein;nein;12345;\r\n"
              "W1-08;Hans;CCIR;4 Ton;Schaltbar;ja;1234;5678\r\n"
              "W1-09;;CCIR / EEA;3 Ton;Ein + Mithören;ja;112;\r\n"
              "W1-10;;CCIR / EEA;3 Ton;Ein + Mithören;ja;112;\r\n");
    // A record that a killed program broke off in the middle of a line.
    writeFile("liste-Protokoll.csv", fleetRecordHeader() + "2026-12-10T07:00:00+01:00;W1-0");
    const FleetList list = readFleetList(readFile("liste.csv"), "x");
    ASSERT_EQ(list.sendable(), 4);

    std::vector<std::string> args = {"batch", "liste.csv"};
    args.insert(args.end(), kFast.begin(), kFast.end());
    Batch batch(args);
    ASSERT_TRUE(batch.waitFor("1/4 W1-07 Jürgen Müß – Ruf 1 12345\n")) << batch.out();
    batch.answer("");
    ASSERT_TRUE(batch.waitFor("Gesendet.\n")) << batch.out() << batch.err();
    const ProgTonesResult first = progTones(list.pagers[0].settings);
    EXPECT_TRUE(capture.read() == progSamples(first.tones, kFastValues));
    EXPECT_EQ(decoded(capture.read()), list.pagers[0].settings);

    ASSERT_TRUE(batch.waitFor("2/4 W1-08 Hans – Ruf 1 1234, Ruf 2 5678\n")) << batch.out();
    batch.answer("x"); // neither Enter nor s nor q: asked again
    ASSERT_TRUE(batch.waitFor("Enter sendet, s überspringt, q beendet.\n"));
    batch.answer("s");
    ASSERT_TRUE(batch.waitFor("Übersprungen.\n"));
    ASSERT_TRUE(batch.waitFor("3/4 W1-09 – Ruf 1 1R2\n")) << batch.out();
    batch.answer("");
    ASSERT_TRUE(batch.waitFor("Gesendet.\n")) << batch.out();
    EXPECT_EQ(decoded(capture.read()), list.pagers[2].settings);
    // The same address twice in a row asks first; anything but "j" is no.
    const std::size_t played = capture.size();
    ASSERT_TRUE(batch.waitFor("4/4 W1-10 – Ruf 1 1R2\n")) << batch.out();
    batch.answer("");
    ASSERT_TRUE(batch.waitFor("Die Rufadresse 1R2 wurde eben schon an W1-09 gesendet. Trotzdem "
                              "senden? [j/N] "))
        << batch.out();
    batch.answer("n");
    ASSERT_TRUE(batch.waitFor("Übersprungen.\n")) << batch.out();
    EXPECT_EQ(batch.finish(), 1) << "not every line was sent";
    EXPECT_EQ(capture.size(), played) << "nothing more was played";
    EXPECT_TRUE(batch.out().ends_with("2 gesendet, 2 übersprungen, 0 fehlgeschlagen\n"))
        << batch.out();

    // The broken line stays, each answer is a whole line after it.
    const std::string record = readFile("liste-Protokoll.csv");
    const std::string header = fleetRecordHeader();
    ASSERT_TRUE(record.starts_with(header + "2026-12-10T07:00:00+01:00;W1-0\r\n")) << record;
    const std::vector<CsvRow> rows = parseCsv(record.substr(header.size()), ';', false);
    ASSERT_EQ(rows.size(), 7U) << record;
    // Each send writes a start line before its sound and its outcome after it.
    const std::vector<std::string> w107 = {"W1-07",   "Jürgen Müß", "ZVEI 2", "5 Ton", "Immer ein",
                                           "nein",    "12345",      "",       "",      "",
                                           "default", "40",         "10",     "500",   "100"};
    const std::vector<std::string> w108 = {"W1-08",   "Hans", "CCIR", "4 Ton", "Schaltbar",
                                           "ja",      "1234", "5678", "",      "",
                                           "default", "40",   "10",   "500",   "100"};
    std::vector<std::string> w109 = {"W1-09",   "",    "CCIR / EEA", "3 Ton", "Ein + Mithören",
                                     "ja",      "1R2", "",           "",      "",
                                     "default", "40",  "10",         "500",   "100"};
    std::vector<std::string> w110 = w109;
    w110[0] = "W1-10";
    std::vector<std::vector<std::string>> expected;
    for (const auto& [fields, result] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{{w107, "Begonnen"},
                                                                       {w107, "Gesendet"},
                                                                       {w108, "Übersprungen"},
                                                                       {w109, "Begonnen"},
                                                                       {w109, "Gesendet"},
                                                                       {w110, "Übersprungen"}}) {
        expected.push_back(fields);
        expected.back().push_back(result);
        expected.back().emplace_back();
    }
    for (std::size_t n = 0; n < expected.size(); ++n) {
        const std::vector<std::string>& fields = rows[n + 1].fields;
        ASSERT_EQ(fields.size(), 18U);
        EXPECT_EQ(std::vector<std::string>(fields.begin() + 1, fields.end()), expected[n]);
        EXPECT_EQ(fields[0].size(), 25U) << fields[0]; // 2026-12-10T07:45:12+01:00
    }

    // list shows each label's last result from the record; --from starts at a label.
    const testsupport::ProcessResult listed =
        testsupport::runProcess(ZUVELA_CLI, {"list", "liste.csv"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("Zeile 3: W1-08 Hans – CCIR, 4 Ton, Schaltbar, Langton – Ruf 1 "
                              "1234, Ruf 2 5678 – Übersprungen ("),
              std::string::npos)
        << listed.out;
    // Ctrl+C at the prompt ends it as it ends a send: by the signal, after the summary.
    Batch from({"batch", "liste.csv", "--from", "W1-09"});
    ASSERT_TRUE(from.waitFor("3/4 W1-09")) << from.out();
    ASSERT_TRUE(from.signal(SIGINT));
    EXPECT_EQ(from.finish(), -1);
    EXPECT_TRUE(from.out().ends_with("0 gesendet, 0 übersprungen, 0 fehlgeschlagen, 2 offen\n"))
        << from.out();
}

// Each bad list, or a record that cannot be written, through list and batch: the same
// message, and nothing is sent.
TEST(ZuvelaCliBatch, BadListsAreNamedAndNothingIsSent) {
    const AlsaCapture capture;
    fs::create_directory("ordner");
    const std::string head = "Kennung;Tonsystem;Auswertung;Ruf 1;Ruf 2\r\n";
    struct Row {
        const char* name;
        std::string list;
        std::vector<std::string> batchArgs;
        std::string listErr;  // list's stderr
        std::string batchOut; // what batch prints after its first line
        std::string batchErr;
    };
    const std::string refused = "zuvela-cli batch: Die Datei l.csv ist keine Liste: ";
    const std::vector<Row> rows = {
        {"no CSV",
         std::string("GIF89a\x01\0\x01\0", 10),
         {},
         "zuvela-cli list: Die Datei l.csv ist keine Liste: sie enthält Binärdaten.\n",
         "",
         refused + "sie enthält Binärdaten.\n"},
        {"wrong address",
         head + "A;ZVEI 1;5 Ton;1234;\r\n",
         {},
         "Zeile 2 (A): Rufadresse 1 ist unnvollständig.\n",
         "1/1 A – Zeile 2 (A): Rufadresse 1 ist unnvollständig.\nNicht gesendet.\n"
         "0 gesendet, 0 übersprungen, 1 fehlgeschlagen\n",
         ""},
        {"duplicate label",
         head + "A;ZVEI 1;5 Ton;12345;\r\nA;ZVEI 1;5 Ton;54321;\r\n",
         {},
         "Zeile 3 (A): Die Kennung \"A\" steht schon in Zeile 2.\n",
         "",
         ""},
        {"unknown tone system",
         head + "A;ZVEI 3;5 Ton;12345;\r\n",
         {},
         "Zeile 2 (A): Unbekannter Wert in Spalte Tonsystem: \"ZVEI 3\" (erlaubt: ZVEI 1, "
         "ZVEI 1 (GB), ZVEI 2, ZVEI F, ZVEI DEPR., CCIR, CCIR / EEA).\n",
         "",
         ""},
        {"unknown option word",
         head + "A;ZVEI 1;2 Ton;12345;\r\n",
         {},
         "Zeile 2 (A): Unbekannter Wert in Spalte Auswertung: \"2 Ton\" (erlaubt: 5 Ton, 4 Ton, "
         "3 Ton).\n",
         "",
         ""},
        {"unwritable record",
         head + "A;ZVEI 1;5 Ton;12345;\r\n",
         {"--log", "ordner"},
         "",
         "",
         "zuvela-cli batch: Das Protokoll \"ordner\" lässt sich nicht schreiben (ist ein "
         "Ordner). Es wurde nichts gesendet.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeFile("l.csv", row.list);
        fs::remove("l-Protokoll.csv");
        capture.clear();
        const auto listed = testsupport::runProcess(ZUVELA_CLI, {"list", "l.csv"});
        EXPECT_EQ(listed.err, row.listErr);
        EXPECT_EQ(listed.exitCode, row.listErr.empty() ? 0 : 1);

        std::vector<std::string> args = {"batch", "l.csv"};
        args.insert(args.end(), row.batchArgs.begin(), row.batchArgs.end());
        // Every good line is skipped, so that the bad one is reached.
        Batch batch(args);
        batch.answer("s");
        EXPECT_EQ(batch.finish(), 1);
        EXPECT_EQ(batch.err(), row.batchErr);
        if (!row.batchOut.empty()) {
            EXPECT_EQ(batch.out(), "Enter sendet, s überspringt, q beendet.\n" + row.batchOut);
        }
        // A bad line: batch names it as list does, and goes past it.
        if (row.batchErr.empty()) {
            EXPECT_NE(batch.out().find(" – " + row.listErr + "Nicht gesendet.\n"),
                      std::string::npos)
                << batch.out();
        }
        EXPECT_EQ(capture.size(), 0U);
        if (row.batchErr.empty()) {
            EXPECT_EQ(readFile("l-Protokoll.csv").find(";Gesendet;"), std::string::npos);
        }
    }

    // A send that cannot begin is recorded as broken off, with its reason; nothing plays.
    writeFile("l.csv", head + "A;ZVEI 1;5 Ton;12345;\r\n");
    fs::remove("l-Protokoll.csv");
    Batch noInput({"batch", "l.csv", "--check", "--input", "kein-geraet"});
    ASSERT_TRUE(noInput.waitFor("1/1 A – Ruf 1 12345\n")) << noInput.out();
    noInput.answer("");
    EXPECT_EQ(noInput.finish(), 1);
    EXPECT_TRUE(readFile("l-Protokoll.csv")
                    .ends_with(";default;100;30;700;100;\"Abgebrochen: Das Eingangsgerät "
                               "\"\"kein-geraet\"\" ist nicht vorhanden; es wird nichts "
                               "gesendet.\";\r\n"))
        << readFile("l-Protokoll.csv");
    EXPECT_EQ(capture.size(), 0U);

    // A record that cannot take a send's start line stops the batch before anything plays.
    SmallTmpfs small(fs::absolute("klein"), 64 * 1024);
    if (!small.skipReason().empty()) {
        std::cout << "skipped: " << small.skipReason() << '\n';
        return;
    }
    writeFile("l.csv", head + "A;ZVEI 1;5 Ton;12345;\r\nB;ZVEI 1;5 Ton;54321;\r\n");
    // A record that ends on a page of its own, so that the next line needs one more.
    std::string full = fleetRecordHeader() + "2026-12-10T07:00:00+01:00;Z;";
    full += std::string(4096 - full.size() - 2, 'x') + "\r\n";
    writeFile(small.dir() / "p.csv", full);
    small.leave(0);
    std::vector<std::string> args = {"batch", "l.csv", "--log", (small.dir() / "p.csv").string()};
    args.insert(args.end(), kFast.begin(), kFast.end());
    Batch batch(args);
    ASSERT_TRUE(batch.waitFor("1/2 A")) << batch.out();
    batch.answer("");
    EXPECT_EQ(batch.finish(), 1) << batch.out();
    EXPECT_EQ(batch.err(), fleetRecordUnwritable("\"" + (small.dir() / "p.csv").string() + "\"",
                                                 "kein Speicherplatz mehr") +
                               "\n");
    EXPECT_EQ(batch.out().find("2/2 B"), std::string::npos) << "the batch stops";
    EXPECT_TRUE(batch.out().ends_with("0 gesendet, 0 übersprungen, 0 fehlgeschlagen, 2 offen\n"))
        << batch.out();
    EXPECT_EQ(readFile(small.dir() / "p.csv"), full) << "no part of the line stays";
    EXPECT_EQ(capture.size(), 0U);
}

// Each row: what stands at the record's name in a folder that others may write. batch refuses
// it before anything is sent, list shows the list without last results, and what the name
// points to stays as it was.
TEST(ZuvelaCliBatch, ARecordThatIsNoFileOfTheUsersOwnIsRefusedAndLeftAlone) {
    const AlsaCapture capture;
    writeFile("l.csv", "Kennung;Tonsystem;Ruf 1\r\nA;ZVEI 1;12345\r\n");
    writeFile("ziel.txt", "unverändert\n");
    fs::create_directory("ordner");
    ASSERT_EQ(::mkfifo("fifo.csv", 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        writeFile("fremd.csv", fleetRecordHeader());
        ASSERT_EQ(::chown("fremd.csv", 65534, 65534), 0);
    }
    const struct {
        const char* what;
        std::string record; // the name beside the list is a link to it; --log otherwise
        bool link;
        const char* reason;
        bool readable; // list reads it all the same
    } rows[] = {
        {"a link to a file", "ziel.txt", true, "ist ein Verweis", false},
        {"a link to a folder", "ordner", true, "ist ein Verweis", false},
        {"a FIFO", "fifo.csv", false, "ist keine Datei", false},
        {"a device", "/dev/null", false, "ist keine Datei", false},
        {"a folder", "ordner", false, "ist ein Ordner", false},
        {"another user's file", "fremd.csv", false, "gehört einem anderen Benutzer", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (!root && std::string(row.record) == "fremd.csv")
            continue; // only root can give a file to another user
        fs::remove("l-Protokoll.csv");
        std::vector<std::string> log;
        std::string shown = "\"l-Protokoll.csv\"";
        if (row.link) {
            fs::create_symlink(row.record, "l-Protokoll.csv");
        } else {
            log = {"--log", row.record};
            shown = "\"" + row.record + "\"";
        }
        std::vector<std::string> args = {"list", "l.csv"};
        args.insert(args.end(), log.begin(), log.end());
        const auto listed = testsupport::runProcess(ZUVELA_CLI, args);
        EXPECT_EQ(listed.exitCode, 0);
        EXPECT_EQ(listed.err, row.readable ? ""
                                           : "Hinweis: Das Protokoll " + shown +
                                                 " lässt sich nicht lesen (" + row.reason +
                                                 "); die letzten Ergebnisse fehlen.\n");
        EXPECT_TRUE(listed.out.starts_with("l.csv: 1 Zeile, gelesen als UTF-8")) << listed.out;
        EXPECT_NE(listed.out.find("Zeile 2: A – "), std::string::npos) << listed.out;

        args[0] = "batch";
        Batch batch(args);
        batch.answer("");
        EXPECT_EQ(batch.finish(), 1);
        EXPECT_EQ(batch.err(), "zuvela-cli batch: Das Protokoll " + shown +
                                   " lässt sich nicht schreiben (" + row.reason +
                                   "). Es wurde nichts gesendet.\n");
        EXPECT_EQ(capture.size(), 0U);
    }
    EXPECT_EQ(readFile("ziel.txt"), "unverändert\n");
    EXPECT_TRUE(fs::is_empty("ordner"));
    if (root) {
        EXPECT_EQ(readFile("fremd.csv"), fleetRecordHeader());
    }
}

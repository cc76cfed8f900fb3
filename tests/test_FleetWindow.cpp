// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet list's window end to end: real keys on the real windows, the sound through ALSA's
// file plugin, the record on disk, the batch's record as a PDF.
#include "CableCheck.h"
#include "FleetRecord.h"
#include "FleetWindow.h"
#include "ProgEngine.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/CapturedProgramTest.h"
#include "support/RunProcess.h"
#include "support/SmallTmpfs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line + "\n");
    return result;
}

class FleetWindowTest : public CapturedProgramTest {
protected:
    void SetUp() override {
        CapturedProgramTest::SetUp();
        list = dir.filePath(QStringLiteral("Wache 1.csv")).toStdString();
        std::ofstream(list, std::ios::binary)
            << "Kennung;Träger;Tonsystem;Auswertung;Ruf 1;Ruf 2\r\n"
               "W1-01;Jürgen Müß;ZVEI 2;5 Ton;12345;\r\n"
               "W1-02;Anna Beck;CCIR;4 Ton;2468;1357\r\n"
               "W1-03;Falsch;ZVEI 9;5 Ton;11111;\r\n"
               "W1-04;Carl Dorn;ZVEI 1;3 Ton;975;\r\n";
        // Strg+L in the main window opens the list's window.
        QTest::keyClick(FRM_Main->TXT_Adresse_01, Qt::Key_L, Qt::ControlModifier);
        fleet = FRM_Main->fleetWindow();
        ASSERT_TRUE(fleet->isVisible());
        std::vector<SeenBox> boxes;
        runWithModals([&] { ASSERT_TRUE(fleet->loadList(QString::fromStdString(list))); }, nullptr,
                      &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.toStdString(),
                  "Diese Zeilen werden nicht gesendet:\nZeile 4 (W1-03): Unbekannter Wert in "
                  "Spalte Tonsystem: \"ZVEI 9\" (erlaubt: ZVEI 1, ZVEI 1 (GB), ZVEI 2, ZVEI F, "
                  "ZVEI DEPR., CCIR, CCIR / EEA).");
    }

    // The dialog's focus; after a box over it closes, the desktop activates it again.
    static QWidget* inDialog() {
        if (QApplication::focusWidget() == nullptr)
            QApplication::setActiveWindow(FRM_Prog);
        return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : FRM_Prog;
    }

    struct Round {
        bool shown = false;
        QStringList boxes;
        std::vector<uint8_t> sound;
    };
    // From the focused field: Enter ("Programmieren"), Enter ("OK und los !") as many times
    // as asked, each until the send has ended, then Esc. Boxes are answered with Enter.
    static Round enterEnterEsc(int sends = 1) {
        Round round;
        capture->clear();
        QWidget* field = QApplication::focusWidget();
        runWithModals([field] { QTest::keyClick(field, Qt::Key_Return); },
                      [&](QWidget* modal) {
                          if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                              round.boxes << box->text();
                              QTest::keyClick(box, Qt::Key_Return);
                              return;
                          }
                          if (modal != FRM_Prog)
                              return;
                          round.shown = true;
                          for (int n = 0; n < sends; ++n) {
                              QTest::keyClick(inDialog(), Qt::Key_Return);
                              EXPECT_TRUE(
                                  QTest::qWaitFor([] { return !FRM_Prog->Sending(); }, 20000));
                              // Each send opens the device anew, and the capture with it.
                              const std::vector<uint8_t> sound = capture->read();
                              round.sound.insert(round.sound.end(), sound.begin(), sound.end());
                              capture->clear();
                          }
                          QTest::keyClick(inDialog(), Qt::Key_Escape);
                      });
        QApplication::setActiveWindow(FRM_Main);
        return round;
    }

    const FleetPager& pager(int row) const {
        return fleet->list().pagers[static_cast<std::size_t>(row)];
    }

    QTemporaryDir dir;
    std::string list;
    FleetWindow* fleet = nullptr;
};

TEST_F(FleetWindowTest, EachLineChosenByKeysIsSentRecordedAndFollowedByTheNext) {
    // Down to the second line and back, Enter chooses: the main window holds its settings.
    QTest::keyClick(fleet->TBL_Liste, Qt::Key_Down);
    QTest::keyClick(fleet->TBL_Liste, Qt::Key_Up);
    QTest::keyClick(fleet->TBL_Liste, Qt::Key_Return);
    EXPECT_EQ(FRM_Main->settings().addresses[0].text, "12345");
    EXPECT_EQ(FRM_Main->settings().tonsys, 3);
    QApplication::setActiveWindow(FRM_Main);
    ASSERT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(FRM_Main->TXT_Adresse_01));

    const std::string record = fleetRecordNameFor(list);
    // Each round: the line chosen, the lines whose tones go out (a second Enter in the open
    // dialog sends the next line, whose tones the dialog has taken meanwhile), the boxes. The
    // first send is checked at the cable, which hears nothing: recorded with the check's result,
    // and the line stays. W1-02 chosen again asks before the same addresses, and Enter (no)
    // sends nothing; the bad line is passed over.
    const struct {
        int row;
        bool checked;
        std::vector<int> sent;
        QStringList boxes;
    } rounds[] = {
        {0, true, {0}, {}},
        {0, false, {0, 1}, {}},
        {1,
         false,
         {},
         {"Die Rufadressen 2468, 1357 wurden eben schon an W1-02 gesendet. Trotzdem "
          "senden?"}},
        {3, false, {3}, {}},
    };
    std::size_t recordLines = 1; // the header
    for (const auto& [row, checked, sent, boxes] : rounds) {
        SCOPED_TRACE(row);
        if (fleet->chosenRow() != row) { // chosen again by keys in the list
            fleet->TBL_Liste->setCurrentCell(row, 1);
            QTest::keyClick(fleet->TBL_Liste, Qt::Key_Return);
            QApplication::setActiveWindow(FRM_Main);
        }
        ASSERT_EQ(fleet->chosenRow(), row);
        FRM_Prog->Check->setEnabled(checked);
        capture->setInput(std::vector<uint8_t>(44100 * 2 * 8, 0));
        const Round round = enterEnterEsc(std::max<int>(1, static_cast<int>(sent.size())));
        ASSERT_TRUE(round.shown);
        std::vector<uint8_t> expected;
        for (int n : sent) {
            const std::vector<uint8_t> samples =
                progSamples(progTones(pager(n).settings).tones, ExpertValues{});
            expected.insert(expected.end(), samples.begin(), samples.end());
        }
        EXPECT_TRUE(round.sound == expected)
            << round.sound.size() << " bytes captured, " << expected.size() << " expected";
        EXPECT_EQ(round.boxes, boxes);

        // Each send's start line and outcome line say what went out, in core's words.
        const std::vector<std::string> written = lines(fileText(record));
        recordLines += 2 * sent.size();
        ASSERT_EQ(written.size(), recordLines);
        for (std::size_t n = 0; n < sent.size(); ++n) {
            FleetRecordEntry entry;
            entry.label = pager(sent[n]).label;
            entry.holder = pager(sent[n]).holder;
            entry.settings = pager(sent[n]).settings;
            entry.device = "default";
            for (const FleetResult result : {FleetResult::Started, FleetResult::Sent}) {
                const std::string& line = written[recordLines - 2 * sent.size() + 2 * n +
                                                  (result == FleetResult::Sent ? 1 : 0)];
                entry.time = line.substr(0, line.find(';'));
                entry.result = result;
                if (checked && result == FleetResult::Sent) {
                    entry.check = line.substr(line.rfind(';') + 1);
                    entry.check.resize(entry.check.size() - 2); // CR LF
                    EXPECT_EQ(entry.check.rfind("✘ Nichts gehört", 0), 0u) << entry.check;
                }
                EXPECT_EQ(line, fleetRecordLine(entry));
            }
            const QString shown = fleet->TBL_Liste->item(sent[n], 12)->text();
            EXPECT_TRUE(shown.startsWith(QStringLiteral("Gesendet (") + entry.time.c_str()))
                << shown.toStdString();
        }
    }
    EXPECT_EQ(fleet->chosenRow(), 3) << "stays on the last line";
    EXPECT_EQ(fleet->LBL_Status->text(),
              QStringLiteral("Die Liste ist durch: die letzte Zeile ist gesendet."));

    // Started again, Strg+L opens the list last used, with the results the record holds.
    destroyApplicationWindows();
    ProgramTest::SetUp();
    messageBoxesDuring(
        [] { QTest::keyClick(FRM_Main->TXT_Adresse_01, Qt::Key_L, Qt::ControlModifier); });
    fleet = FRM_Main->fleetWindow();
    EXPECT_EQ(fleet->listFile().toStdString(), std::filesystem::canonical(list).string());
    EXPECT_TRUE(fleet->TBL_Liste->item(1, 12)->text().startsWith(QStringLiteral("Gesendet (")));

    // The batch's record as a PDF holds each pager's label, holder and result.
    const QString pdf = dir.filePath(QStringLiteral("Protokoll.pdf"));
    ASSERT_TRUE(fleet->saveRecordPdf(pdf, true));
    ASSERT_EQ(fileText(pdf.toStdString()).substr(0, 5), "%PDF-");
    if (std::string(PDFTOTEXT).empty())
        GTEST_SKIP() << "no pdftotext to read the PDF back";
    const testsupport::ProcessResult text =
        testsupport::runProcess(PDFTOTEXT, {pdf.toStdString(), "-"});
    for (const char* word : {"W1-01", "Jürgen Müß", "W1-02", "W1-03", "W1-04", "Ruf 1 975",
                             "Gesendet", "Nicht sendbar"})
        EXPECT_NE(text.out.find(word), std::string::npos) << word << " in\n" << text.out;
}

TEST_F(FleetWindowTest, BadInputAndAnUnwritableRecordLoseNothingAndSendNothing) {
    // A file that is no list leaves the list shown as it was.
    const QString picture = dir.filePath(QStringLiteral("bild.png"));
    std::ofstream(picture.toStdString(), std::ios::binary)
        << std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    const std::vector<SeenBox> refused = messageBoxesDuring([&] { fleet->loadList(picture); });
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].text,
              QStringLiteral("\"bild.png\" ist keine Liste: sie enthält Binärdaten."));
    EXPECT_EQ(fleet->TBL_Liste->rowCount(), 4);
    // The export keeps the bad line as it was read.
    const QString exported = dir.filePath(QStringLiteral("export.csv"));
    ASSERT_TRUE(fleet->exportList(exported));
    EXPECT_NE(fileText(exported.toStdString()).find("W1-03;Falsch;ZVEI 9"), std::string::npos);

    // A record that cannot be written (a folder by its name) stops the first send before it
    // plays; the main window's loop goes on as always.
    std::filesystem::create_directory(fleetRecordNameFor(list));
    QTest::keyClick(fleet->TBL_Liste, Qt::Key_Return);
    QApplication::setActiveWindow(FRM_Main);
    const Round round = enterEnterEsc();
    ASSERT_TRUE(round.shown);
    EXPECT_EQ(capture->size(), 0u);
    ASSERT_EQ(round.boxes.size(), 1);
    EXPECT_TRUE(round.boxes[0].startsWith(
        QStringLiteral("Das Protokoll \"%1\" lässt sich nicht schreiben (")
            .arg(QString::fromStdString(fleetRecordNameFor(list)))))
        << round.boxes[0].toStdString();
    EXPECT_TRUE(round.boxes[0].endsWith(QStringLiteral("). Es wurde nichts gesendet.")));
    EXPECT_EQ(fleet->chosenRow(), 0);

    // A line that cannot be written after its send (the disk is full) stops the list with a
    // message that holds the line: the send is not lost, and its start line stands.
    SmallTmpfs small(std::filesystem::path(dir.path().toStdString()) / "klein", 64 * 1024);
    if (!small.skipReason().empty())
        GTEST_SKIP() << small.skipReason();
    const std::filesystem::path full = small.dir() / "Liste.csv";
    std::filesystem::copy_file(list, full);
    // A record of one page with room for the start line alone: the outcome line needs a page
    // more, which is not there.
    std::string page = fleetRecordHeader();
    page += std::string(4096 - page.size() - 2 - 130, 'x') + "\r\n";
    std::ofstream(fleetRecordNameFor(full.string()), std::ios::binary) << page;
    messageBoxesDuring([&] { fleet->loadList(QString::fromStdString(full.string())); });
    small.leave(0);
    QTest::keyClick(fleet->TBL_Liste, Qt::Key_Return);
    QApplication::setActiveWindow(FRM_Main);
    const Round lost = enterEnterEsc();
    EXPECT_TRUE(lost.sound == progSamples(progTones(pager(0).settings).tones, ExpertValues{}));
    ASSERT_EQ(lost.boxes.size(), 1);
    EXPECT_TRUE(lost.boxes[0].startsWith(QStringLiteral("Die Zeile ließ sich nicht ins Protokoll")))
        << lost.boxes[0].toStdString();
    EXPECT_TRUE(lost.boxes[0].contains(QStringLiteral(";W1-01;Jürgen Müß;ZVEI 2;5 Ton;")))
        << lost.boxes[0].toStdString();
    const std::string kept = fileText(fleetRecordNameFor(full.string()));
    EXPECT_TRUE(kept.starts_with(page) && kept.ends_with(";Begonnen;\r\n")) << kept;
    EXPECT_EQ(fleet->chosenRow(), 0) << "the list stopped";
    EXPECT_TRUE(
        fleet->TBL_Liste->item(0, 12)->text().startsWith(QString::fromUtf8(kFleetUnfinished)));
}

// Each row: what stands at the record's name beside the list, in a folder that others may
// write. Loading the list does not wait on it and says why the last results are missing; the
// first send stops before it plays; what the name points to stays as it was.
TEST_F(FleetWindowTest, ARecordThatIsNoFileOfTheUsersOwnIsRefusedAndLeftAlone) {
    namespace fs = std::filesystem;
    const fs::path folder = dir.path().toStdString();
    const fs::path record = fleetRecordNameFor(list);
    std::ofstream(folder / "ziel.txt", std::ios::binary) << "unverändert\n";
    fs::create_directory(folder / "ordner");
    const struct {
        const char* what;
        std::function<void()> make;
        const char* reason;
        bool readable;
    } rows[] = {
        {"a link to a file", [&] { fs::create_symlink(folder / "ziel.txt", record); },
         "ist ein Verweis", false},
        {"a link to a folder", [&] { fs::create_directory_symlink(folder / "ordner", record); },
         "ist ein Verweis", false},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(record.c_str(), 0600), 0); }, "ist keine Datei", false},
        {"another user's file",
         [&] {
             std::ofstream(record, std::ios::binary) << fleetRecordHeader();
             ASSERT_EQ(::chown(record.c_str(), 65534, 65534), 0);
         },
         "gehört einem anderen Benutzer", true},
    };
    const QString shown = QStringLiteral("\"%1\"").arg(QString::fromStdString(record.string()));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.readable && ::geteuid() != 0)
            continue; // only root can give a file to another user
        fs::remove(record);
        row.make();
        messageBoxesDuring([&] { ASSERT_TRUE(fleet->loadList(QString::fromStdString(list))); });
        const QString unreadable = QStringLiteral("Das Protokoll %1 lässt sich nicht lesen (%2); "
                                                  "die letzten Ergebnisse fehlen.")
                                       .arg(shown, QString::fromUtf8(row.reason));
        EXPECT_EQ(fleet->LBL_Status->text().contains(unreadable), !row.readable)
            << fleet->LBL_Status->text().toStdString();

        QTest::keyClick(fleet->TBL_Liste, Qt::Key_Return);
        QApplication::setActiveWindow(FRM_Main);
        const Round round = enterEnterEsc();
        EXPECT_EQ(capture->size(), 0u);
        ASSERT_EQ(round.boxes.size(), 1);
        EXPECT_EQ(round.boxes[0], QStringLiteral("Das Protokoll %1 lässt sich nicht schreiben "
                                                 "(%2). Es wurde nichts gesendet.")
                                      .arg(shown, QString::fromUtf8(row.reason)));
    }
    EXPECT_EQ(fileText(folder / "ziel.txt"), "unverändert\n");
    EXPECT_TRUE(fs::is_empty(folder / "ordner"));
}

} // namespace

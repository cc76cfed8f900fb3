// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading programming-data files through the main window's real dialogs.
#include "ProgDataDialog.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/GuiHelpers.h"
#include "support/ProgDataCases.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string readBytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

struct FileRun {
    QStringList questions;      // the dialog's own questions, answered with Yes
    QList<bool> defaults;       // whether "Ja" was each question's default
    std::vector<SeenBox> boxes; // other message boxes, answered with OK
    bool dialogShown = false;
};

// Presses BTN_Open or BTN_Save; types name into the file dialog and confirms it (or cancels
// when name is empty).
FileRun useFileDialog(QToolButton* button, const QString& name, bool replace = true) {
    FileRun run;
    runWithModals([button] { click(button); },
                  [&](QWidget* modal) {
                      if (auto* dialog = qobject_cast<ProgDataDialog*>(modal)) {
                          run.dialogShown = true;
                          if (name.isEmpty()) {
                              dialog->reject();
                              return;
                          }
                          auto* edit =
                              dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                          ASSERT_NE(edit, nullptr);
                          edit->setFocus();
                          edit->selectAll();
                          QTest::keyClicks(edit, name);
                          QTest::keyClick(edit, Qt::Key_Return);
                      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                          if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                              run.questions << box->text();
                              run.defaults
                                  << (static_cast<QAbstractButton*>(box->defaultButton()) == yes);
                              if (replace || !box->text().contains("ersetzt")) {
                                  yes->click();
                                  return;
                              }
                              // "Nein" leads back to the file dialog, which is then cancelled.
                              auto* dialog = qobject_cast<QDialog*>(box->parentWidget());
                              box->button(QMessageBox::No)->click();
                              QTimer::singleShot(50, dialog, [dialog] { dialog->reject(); });
                          }
                      }
                  },
                  &run.boxes);
    return run;
}

class MainWindowFiles : public ProgramTest {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    FileRun save(const QString& name, bool replace = true) {
        return useFileDialog(FRM_Main->BTN_Save, name, replace);
    }
    FileRun load(const QString& name) { return useFileDialog(FRM_Main->BTN_Open, name); }
    FileRun loadText(const std::string& content) {
        writeBytes(path("in.740"), content);
        return load(path("in.740"));
    }
};

const std::string kStartUpFile =
    "[A]\r\nTS=1\r\nTL=1\r\nAW=1\r\nSM=1\r\n[B I]\r\nRP=1\r\nAD=57434\r\n"
    "[B II]\r\nAD=\r\n[B III]\r\nAD=\r\n[B IV]\r\nAD=\r\n";

TEST_F(MainWindowFiles, SavesTheStartUpSettingsExactly) {
    const FileRun run = save(path("start"));
    EXPECT_TRUE(run.boxes.empty());
    // The question names the file written, and "Ja" creates it at Enter.
    EXPECT_EQ(run.questions,
              QStringList{ProgDataDialog::createQuestion(QStringLiteral("start.740"))});
    EXPECT_EQ(run.defaults, QList<bool>{true});
    EXPECT_EQ(readBytes(path("start.740")), kStartUpFile);
    EXPECT_FALSE(QFile::exists(path("start")));

    // Typed with or without its extension, an existing file is asked about before it is
    // replaced, with "Nein" as the default; answered "Nein", it stays as it was.
    click(FRM_Main->CHK_Adresse_03);
    typeInto(FRM_Main->TXT_Adresse_03, QStringLiteral("12345"));
    struct Row {
        const char* typed;
        bool replace;
        std::string after;
    };
    const std::string both =
        "[A]\r\nTS=1\r\nTL=1\r\nAW=1\r\nSM=1\r\n[B I]\r\nRP=1\r\nAD=57434\r\n[B III]\r\n"
        "RP=1\r\nAD=12345\r\n[B II]\r\nAD=\r\n[B IV]\r\nAD=\r\n";
    for (const Row& row : {Row{"start", false, kStartUpFile}, Row{"start.740", false, kStartUpFile},
                           Row{"start", true, both}}) {
        const FileRun again = save(path(row.typed), row.replace);
        EXPECT_EQ(again.questions,
                  QStringList{ProgDataDialog::replaceQuestion(QStringLiteral("start.740"))})
            << row.typed;
        EXPECT_EQ(again.defaults, QList<bool>{false}) << row.typed;
        EXPECT_EQ(again.dialogShown, true);
        EXPECT_EQ(readBytes(path("start.740")), row.after) << row.typed;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"start.740"});
    }
}

TEST_F(MainWindowFiles, SavingChecksTheAddressesFirst) {
    click(FRM_Main->CHK_Adresse_02);
    typeInto(FRM_Main->TXT_Adresse_02, QStringLiteral("12"));
    click(FRM_Main->CHK_Adresse_04);
    typeInto(FRM_Main->TXT_Adresse_04, QStringLiteral("1"));
    FileRun run = save(path("x"));
    EXPECT_FALSE(run.dialogShown);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, QStringLiteral("Rufadresse 4 ist unnvollständig."));

    retype(FRM_Main->TXT_Adresse_02, QStringLiteral("57434"));
    retype(FRM_Main->TXT_Adresse_04, QStringLiteral("99999"));
    click(FRM_Main->CHK_Adresse_04);
    run = save(path("x"));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, QStringLiteral("Rufadresse doppelt vorhanden."));
    EXPECT_FALSE(QFile::exists(path("x.740")));
}

TEST_F(MainWindowFiles, CancellingStillCompletesTheAddresses) {
    typeInto(FRM_Main->TXT_Adresse_02, QStringLiteral("11111"));
    for (QToolButton* button : {FRM_Main->BTN_Open, FRM_Main->BTN_Save}) {
        retype(FRM_Main->TXT_Adresse_02, QStringLiteral("22222"));
        const FileRun run = useFileDialog(button, QString());
        EXPECT_TRUE(run.dialogShown);
        EXPECT_EQ(FRM_Main->TXT_Adresse_02->text(), QStringLiteral("2R2R2"));
    }
}

TEST_F(MainWindowFiles, LoadingSelectsOptionsAsClicksWould) {
    TFRM_Main& w = *FRM_Main;
    loadText("[A]\nTS=6\nTL=2\nAW=2\nSM=4\n[B II]\nRP=true\nAD=4321\n[B IV]\nRP=1\nAD=12\n");
    EXPECT_TRUE(w.OPT_Tonsys_06->isChecked());
    EXPECT_EQ(w.tonsys(), 6);
    EXPECT_TRUE(w.OPT_Tonlen_03->isChecked());
    EXPECT_TRUE(w.OPT_Len_02->isChecked());
    EXPECT_TRUE(w.OPT_Auswerter_02->isChecked());
    EXPECT_EQ(w.adresseLen(), 4);
    EXPECT_TRUE(w.OPT_Schalter_04->isChecked());
    const bool checked[] = {false, true, false, true};
    const QString texts[] = {"", "4321", "", "12"};
    const QCheckBox* boxes[] = {w.CHK_Adresse_01, w.CHK_Adresse_02, w.CHK_Adresse_03,
                                w.CHK_Adresse_04};
    const QLineEdit* edits[] = {w.TXT_Adresse_01, w.TXT_Adresse_02, w.TXT_Adresse_03,
                                w.TXT_Adresse_04};
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(boxes[n]->isChecked(), checked[n]) << n;
        EXPECT_EQ(edits[n]->text(), texts[n]) << n;
    }
    EXPECT_EQ(w.focusWidget(), w.TXT_Adresse_01);

    // A file with its section but no keys: the first option of each group, but "3 Ton";
    // nothing checked or typed.
    loadText("[A]\r\n");
    EXPECT_TRUE(w.OPT_Tonsys_01->isChecked());
    EXPECT_TRUE(w.OPT_Tonlen_02->isChecked());
    EXPECT_TRUE(w.OPT_Len_01->isChecked());
    EXPECT_TRUE(w.OPT_Auswerter_03->isChecked());
    EXPECT_TRUE(w.OPT_Schalter_01->isChecked());
    for (int n = 0; n < 4; ++n) {
        EXPECT_FALSE(boxes[n]->isChecked());
        EXPECT_TRUE(edits[n]->text().isEmpty());
    }

    // An option that is selected already runs no handler: the tone-length rule is not
    // applied again (here the first tone length was enabled by hand to see it).
    w.OPT_Tonlen_01->setEnabled(true);
    loadText("[A]\nTS=1\n");
    EXPECT_TRUE(w.OPT_Tonlen_01->isEnabled());
    loadText("[A]\nTS=2\n");
    EXPECT_FALSE(w.OPT_Tonlen_01->isEnabled());
    EXPECT_EQ(w.tonsys(), 2);
    click(w.OPT_Tonsys_01);

    // Values out of range or not exactly a numeral leave their group alone.
    loadText("[A]\nTS=9\nTL=01\nAW=+2\nSM=0\n");
    EXPECT_TRUE(w.OPT_Tonsys_01->isChecked());
    EXPECT_TRUE(w.OPT_Len_01->isChecked());
    EXPECT_TRUE(w.OPT_Auswerter_03->isChecked());
}

TEST_F(MainWindowFiles, AddressesLoadUncutAndUncompleted) {
    TFRM_Main& w = *FRM_Main;
    // Three-tone addresses stay whole: the evaluator is selected before the texts are set.
    loadText("[A]\nAW=3\n[B I]\nRP=1\nAD=123\n[B II]\nAD=654321\n");
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("123"));
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("654321"));

    loadText("[A]\nAW=1\n[B I]\nRP=1\nAD=123456\n");
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("123456"));
    std::vector<SeenBox> boxes;
    runWithModals([] { click(FRM_Main->BTN_Prog); }, nullptr, &boxes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Rufadresse 1 ist unnvollständig."));

    // A repeat stays until the focus leaves the first field.
    loadText("[B I]\nRP=1\nAD=11111\n[A]\nAW=1\n");
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("11111"));
    ASSERT_EQ(w.focusWidget(), w.TXT_Adresse_01);
    // The focus leaves it (the offscreen platform hands no activation back after a dialog,
    // so the event is given as the window gives it).
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w.TXT_Adresse_01, &leave);
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("1R1R1"));
}

TEST_F(MainWindowFiles, BooleanOfAnAddressSelection) {
    struct Row {
        const char* rp;
        bool checked;
    };
    for (const Row& r : {Row{"1", true}, Row{"2", true}, Row{"true", true}, Row{"TRUE", true},
                         Row{"0", false}, Row{"False", false}}) {
        FRM_Main->CHK_Adresse_01->setChecked(!r.checked);
        const FileRun run = loadText(std::string("[B I]\nAD=1\nRP=") + r.rp + "\n");
        EXPECT_TRUE(run.boxes.empty()) << r.rp;
        EXPECT_EQ(FRM_Main->CHK_Adresse_01->isChecked(), r.checked) << r.rp;
    }
    FRM_Main->CHK_Adresse_01->setChecked(true);
    loadText("[B II]\nAD=1\n");
    EXPECT_FALSE(FRM_Main->CHK_Adresse_01->isChecked()) << "a missing RP unchecks";

    // "RP=x" stops the loading: section "A" and the boxes before it are applied, no text.
    FRM_Main->TXT_Adresse_01->setText(QStringLiteral("987")); // "3 Ton" since the last file
    const FileRun run =
        loadText("[A]\nTS=7\n[B I]\nRP=1\nAD=12345\n[B II]\nRP=x\nAD=67890\n[B III]\nRP=1\n");
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].title, QStringLiteral("Zuvela für KV 740 / QMR 52"));
    EXPECT_EQ(run.boxes[0].text, QStringLiteral("'x' is not a valid boolean value."));
    EXPECT_EQ(run.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(FRM_Main->OPT_Tonsys_07->isChecked());
    EXPECT_TRUE(FRM_Main->OPT_Tonlen_01->isChecked());
    EXPECT_TRUE(FRM_Main->CHK_Adresse_01->isChecked());
    EXPECT_FALSE(FRM_Main->CHK_Adresse_03->isChecked());
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("987"));

    const FileRun empty = loadText("[B I]\nRP=\n");
    ASSERT_EQ(empty.boxes.size(), 1u);
    EXPECT_EQ(empty.boxes[0].text, QStringLiteral("'' is not a valid boolean value."));
}

// Every control's state, to see that nothing changed.
QStringList controlStates() {
    QStringList states;
    for (const QAbstractButton* button : FRM_Main->findChildren<QAbstractButton*>())
        if (button->isCheckable())
            states << button->objectName() + (button->isChecked() ? "=1" : "=0") +
                          (button->isEnabled() ? "" : " disabled");
    for (const QLineEdit* edit : FRM_Main->findChildren<QLineEdit*>())
        if (edit->parentWidget() == FRM_Main->FRA_Adressen)
            states << edit->objectName() + '=' + edit->text();
    return states;
}

TEST_F(MainWindowFiles, WhatIsNoProgrammingDataIsRefusedAndChangesNothing) {
    writeBytes(path("zufall.740"), std::string("\x9c\x13\xf7\0\xb2=\x5b\x0d\x1fZ\xe4\n\x88]", 14));
    writeBytes(path("leer.740"), "");
    writeBytes(path("bild.740"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    // Sections and keys at the start, then more than a programming-data file ever holds.
    writeBytes(path("gross.740"), kStartUpFile + std::string(1024 * 1024, ';'));
    ASSERT_EQ(mkfifo(path("pipe.740").toLocal8Bit().constData(), 0600), 0);
    QDir(dir.path()).mkdir("ordner.740");
    struct Row {
        const char* file;
        const char* why;
        bool byDialog;
    };
    const Row rows[] = {
        {"zufall.740", "enthält keine Programmierdaten", true},
        {"leer.740", "enthält keine Programmierdaten", false},
        {"bild.740", "enthält keine Programmierdaten", false},
        {"gross.740", "ist zu groß für Programmierdaten (mehr als 1 MiB)", true},
        {"pipe.740", "ist keine gewöhnliche Datei", true},
        {"ordner.740", "ist ein Ordner", false},
    };
    // Settings of the user's that a default-loading file would wipe.
    click(FRM_Main->OPT_Tonsys_06);
    click(FRM_Main->OPT_Auswerter_02);
    click(FRM_Main->CHK_Adresse_02);
    typeInto(FRM_Main->TXT_Adresse_02, QStringLiteral("4321"));
    const QStringList before = controlStates();
    for (const Row& row : rows) {
        std::vector<SeenBox> boxes;
        if (row.byDialog)
            boxes = load(path(row.file)).boxes;
        else
            boxes = messageBoxesDuring([&] { FRM_Main->OpenProgData(path(row.file)); });
        ASSERT_EQ(boxes.size(), 1u) << row.file;
        const QString text = boxes[0].text;
        EXPECT_TRUE(text.startsWith('"' + path(row.file) + "\" " + QString::fromUtf8(row.why)))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(QStringLiteral("die Einstellungen bleiben, wie sie sind.")));
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(controlStates(), before) << row.file;
    }
    // The same sections within the limit load as ever.
    writeBytes(path("gross.740"), kStartUpFile + std::string(1000, ';'));
    EXPECT_TRUE(load(path("gross.740")).boxes.empty());
    EXPECT_TRUE(FRM_Main->OPT_Tonsys_01->isChecked());
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("57434"));
}

// The table every front-end runs: the window refuses with the message the others give, or
// loads what they load.
TEST_F(MainWindowFiles, FilesOfTheSharedTableLoadOrAreRefusedAlike) {
    for (const testsupport::ProgDataCase& row : testsupport::progDataCases()) {
        SCOPED_TRACE(row.file);
        click(FRM_Main->OPT_Tonsys_05);
        const QStringList before = controlStates();
        const QString file = path(row.file.c_str());
        writeBytes(file, row.bytes);
        const std::vector<SeenBox> boxes = load(file).boxes;
        if (!row.refusal.empty()) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text.toStdString(), row.refusalFor('"' + file.toStdString() + '"'));
            EXPECT_EQ(controlStates(), before);
            continue;
        }
        EXPECT_TRUE(boxes.empty());
        const auto checked = [&](const char* name, int n) {
            const QString id =
                QString::fromLatin1(name) + QString::number(n).rightJustified(2, '0');
            return FRM_Main->findChild<QAbstractButton*>(id)->isChecked();
        };
        EXPECT_TRUE(checked("OPT_Tonsys_", row.tonsys));
        EXPECT_TRUE(checked("OPT_Len_", row.toneLen));
        EXPECT_TRUE(checked("OPT_Auswerter_", row.evaluator));
        EXPECT_TRUE(checked("OPT_Schalter_", row.switchMode));
        for (int n = 1; n <= 4; ++n) {
            EXPECT_EQ(checked("CHK_Adresse_", n),
                      std::count(row.checked.begin(), row.checked.end(), n) == 1);
            const QString edit = QStringLiteral("TXT_Adresse_0") + QString::number(n);
            EXPECT_EQ(FRM_Main->findChild<QLineEdit*>(edit)->text().toStdString(),
                      row.texts[std::size_t(n - 1)]);
        }
    }
}

TEST_F(MainWindowFiles, AWriteProtectedFileIsKeptAndReported) {
    const std::string old = "[A]\r\nTS=5\r\n";
    writeBytes(path("locked.740"), old);
    QFile::setPermissions(path("locked.740"), QFile::ReadOwner | QFile::ReadGroup);
    const FileRun run = save(path("locked.740"));
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(
        run.boxes[0].text,
        QStringLiteral("Unable to write to %1.").arg(QDir(dir.path()).filePath("locked.740")));
    EXPECT_EQ(run.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(readBytes(path("locked.740")), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"locked.740"});
}

TEST_F(MainWindowFiles, RoundTripGivesTheSameSettingsAndTones) {
    // Every tone system, tone, evaluator and switch mode; the address selections cycle
    // through every non-empty pattern.
    int round = 0;
    for (int ts = 1; ts <= 7; ++ts)
        for (int tl = 1; tl <= 2; ++tl)
            for (int aw = 1; aw <= 3; ++aw)
                for (int sm = 1; sm <= 4; ++sm, ++round) {
                    const int pattern = 1 + round % 15;
                    TFRM_Main* w = FRM_Main;
                    QRadioButton* systems[] = {w->OPT_Tonsys_01, w->OPT_Tonsys_02, w->OPT_Tonsys_03,
                                               w->OPT_Tonsys_04, w->OPT_Tonsys_05, w->OPT_Tonsys_06,
                                               w->OPT_Tonsys_07};
                    QRadioButton* tones[] = {w->OPT_Len_01, w->OPT_Len_02};
                    QRadioButton* evaluators[] = {w->OPT_Auswerter_01, w->OPT_Auswerter_02,
                                                  w->OPT_Auswerter_03};
                    QRadioButton* modes[] = {w->OPT_Schalter_01, w->OPT_Schalter_02,
                                             w->OPT_Schalter_03, w->OPT_Schalter_04};
                    click(systems[ts - 1]);
                    click(tones[tl - 1]);
                    click(evaluators[aw - 1]);
                    click(modes[sm - 1]);
                    QCheckBox* boxes[] = {w->CHK_Adresse_01, w->CHK_Adresse_02, w->CHK_Adresse_03,
                                          w->CHK_Adresse_04};
                    QLineEdit* edits[] = {w->TXT_Adresse_01, w->TXT_Adresse_02, w->TXT_Adresse_03,
                                          w->TXT_Adresse_04};
                    for (int n = 0; n < 4; ++n) {
                        boxes[n]->setChecked(pattern & (1 << n));
                        edits[n]->setText(QStringLiteral("%1")
                                              .arg(n * 11111 + round % 7 + 10000)
                                              .left(w->adresseLen()));
                    }
                    auto programmed = [] {
                        TProgTones tones{};
                        whileProgramming([&] { tones = FRM_Prog->Tones; });
                        return tones;
                    };
                    const TProgTones before = programmed();
                    ASSERT_NE(before, TProgTones{}) << round;
                    save(path("round.740"));

                    destroyApplicationWindows();
                    SetUp();
                    load(path("round.740"));
                    EXPECT_EQ(FRM_Main->tonsys(), ts) << round;
                    EXPECT_EQ(programmed(), before) << round;
                }
}

} // namespace

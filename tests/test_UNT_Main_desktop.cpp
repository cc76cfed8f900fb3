// SPDX-License-Identifier: GPL-3.0-or-later
// The windows as a desktop shows them: German standard texts, disabled looks, group frames,
// placement, pasting, hints, start-up without reading folders, a file from the command line.
#include "FormStyle.h"
#include "ProgDataDialog.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/GuiHelpers.h"

#include "support/RunProcess.h"
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <QHash>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Desktop = ProgramTest;

// Runs action; the first modal window it shows is handed to inModal, then closed.
void withModal(const std::function<void()>& action, const std::function<void(QWidget*)>& inModal,
               std::vector<SeenBox>* boxes = nullptr) {
    runWithModals(
        action,
        [&](QWidget* modal) {
            if (qobject_cast<QMessageBox*>(modal) != nullptr)
                return;
            inModal(modal);
            modal->close();
        },
        boxes);
}

TEST_F(Desktop, StandardTextsAreGermanWhateverTheDesktopLanguage) {
    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));

    std::unique_ptr<QMenu> menu(FRM_Main->addressMenu(FRM_Main->TXT_Adresse_01));
    QStringList entries;
    for (QAction* action : menu->actions())
        entries << action->text().section(u'\t', 0, 0);
    EXPECT_TRUE(entries.contains(QStringLiteral("Einf&ügen"))) << entries.join(u'|').toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("Alles auswählen")))
        << entries.join(u'|').toStdString();

    QString cancel;
    withModal([] { click(FRM_Main->BTN_Open); },
              [&](QWidget* dialog) {
                  auto* buttons = dialog->findChild<QDialogButtonBox*>();
                  ASSERT_NE(buttons, nullptr);
                  cancel = buttons->button(QDialogButtonBox::Cancel)->text();
              });
    EXPECT_EQ(cancel, QStringLiteral("Abbrechen"));
}

// Pixels of a widget's rendering within reach of a colour.
int pixelsNear(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                48)
                ++count;
        }
    return count;
}

TEST_F(Desktop, DisabledControlsShowTheDisabledTextColour) {
    struct Row {
        const char* what;
        std::function<QWidget*()> control;
        QColor own;
    };
    const Row rows[] = {
        {"40 ms", [] { return FRM_Main->OPT_Tonlen_01; }, kNavy},
        {"100 ms", [] { return FRM_Main->OPT_Tonlen_03; }, kNavy},
        {"amplitude label", [] { return FRM_Prog->LBL_Amplitude; }, kNavy},
        {"OK und los !", [] { return FRM_Prog->BTN_Go; }, kMaroon},
    };
    const QColor disabledText =
        QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    whileProgramming([&] {
        click(FRM_Prog->OPT_PCSpeaker);
        FRM_Prog->BTN_Go->setEnabled(false); // as during a send
        for (const Row& row : rows) {
            QWidget* control = row.control();
            ASSERT_FALSE(control->isEnabled()) << row.what;
            EXPECT_EQ(control->palette().color(QPalette::Disabled, QPalette::WindowText),
                      disabledText)
                << row.what;
            EXPECT_EQ(pixelsNear(control, row.own), 0) << row.what << " drawn in its colour";
            control->setEnabled(true);
            EXPECT_GT(pixelsNear(control, row.own), 0) << row.what << " enabled";
            control->setEnabled(false);
        }
        FRM_Prog->BTN_Go->setEnabled(true);
        click(FRM_Prog->OPT_Soundcard);
    });
}

TEST_F(Desktop, GroupCaptionsSitOnTheFrameAndNoControlTouchesIt) {
    const QList<TGroupBox*> groups = FRM_Main->findChildren<TGroupBox*>(); // the dialog's too
    ASSERT_EQ(groups.size(), 6 + 2);
    FRM_Prog->show();
    for (TGroupBox* group : groups) {
        const std::string name = group->objectName().toStdString();
        const QRect frame = group->frameRect();
        EXPECT_EQ(frame.top(), group->fontMetrics().height() / 2) << name;
        // Inside the two-pixel frame lines, and clear of the caption.
        const QRect inside = frame.adjusted(2, 2, -2, -2);
        for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(inside.contains(child->geometry()))
                << name << ": " << child->objectName().toStdString();
            EXPECT_GE(child->y(), group->fontMetrics().height())
                << name << ": " << child->objectName().toStdString();
        }
        // The frame line is drawn on that row, right of the caption.
        const QImage image = group->grab().toImage();
        const QColor line = image.pixelColor(group->width() - 6, frame.top());
        EXPECT_EQ(line.rgb(), group->palette().color(QPalette::Dark).rgb()) << name;
    }
    FRM_Prog->hide();
}

TEST_F(Desktop, DialogsStartCentredOnTheMainWindowAndInTheDocumentsFolder) {
    auto centre = [](const QWidget* w) { return w->frameGeometry().center(); };
    const QPoint main = centre(FRM_Main);
    for (int showing = 1; showing <= 2; ++showing) {
        QPoint shown;
        whileProgramming([&] { shown = centre(FRM_Prog); });
        EXPECT_LE((shown - main).manhattanLength(), 2) << "programming dialog, showing " << showing;
    }
    // A message box too, though every one is a first showing.
    FRM_Main->TXT_Adresse_01->setText(QStringLiteral("574"));
    QPoint boxCentre;
    runWithModals([] { click(FRM_Main->BTN_Prog); },
                  [&](QWidget* box) { boxCentre = centre(box); });
    FRM_Main->TXT_Adresse_01->setText(QStringLiteral("57434"));
    EXPECT_LE((boxCentre - main).manhattanLength(), 2) << "message box";

    const QString documents =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).exists()
            ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
            : QDir::homePath();
    struct Row {
        const char* what;
        QToolButton* button;
        QString workDir, folder;
    };
    const QString program = QCoreApplication::applicationDirPath();
    const QString here = QDir::currentPath();
    const Row rows[] = {
        {"open, run from elsewhere", FRM_Main->BTN_Open, here, documents},
        {"save, run from elsewhere", FRM_Main->BTN_Save, here, documents},
        {"open, run from its own folder", FRM_Main->BTN_Open, program, program},
        {"open again, run from elsewhere", FRM_Main->BTN_Open, here, documents},
    };
    for (const Row& row : rows) {
        QDir::setCurrent(row.workDir);
        QString folder;
        QPoint shown;
        withModal([&] { click(row.button); },
                  [&](QWidget* dialog) {
                      folder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
                      shown = centre(dialog);
                  });
        QDir::setCurrent(here);
        EXPECT_EQ(QDir(folder).canonicalPath(), QDir(row.folder).canonicalPath()) << row.what;
        EXPECT_LE((shown - main).manhattanLength(), 2) << row.what;
    }
}

TEST_F(Desktop, PastedTextGoesThroughTheKeyFilter) {
    enum class How { CtrlV, ShiftInsert, Menu };
    struct Row {
        How how;
        const char* clipboard;
        const char* before;
        QRadioButton* evaluator;
        const char* after;
    };
    TFRM_Main& w = *FRM_Main;
    const Row rows[] = {
        {How::CtrlV, "a1 2-g3x45", "", w.OPT_Auswerter_01, "12G34"},
        {How::ShiftInsert, "98765", "1", w.OPT_Auswerter_01, "19876"},
        {How::Menu, "-7 r7-", "12", w.OPT_Auswerter_01, "1277"},
        {How::Menu, "abc -", "123", w.OPT_Auswerter_01, "123"},
        {How::ShiftInsert, "12345", "", w.OPT_Auswerter_03, "123"},
        {How::CtrlV, "5\t6\b7", "", w.OPT_Auswerter_02, "567"},
    };
    for (const Row& row : rows) {
        const std::string name = std::string(row.clipboard) + " into " + row.before;
        click(row.evaluator);
        retype(w.TXT_Adresse_02, QString::fromLatin1(row.before));
        QGuiApplication::clipboard()->setText(QString::fromLatin1(row.clipboard));
        QLineEdit* edit = w.TXT_Adresse_02;
        switch (row.how) {
        case How::CtrlV:
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            break;
        case How::ShiftInsert:
            QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
            break;
        case How::Menu: {
            bool pasted = false;
            QTimer::singleShot(50, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr)
                    return;
                for (QAction* action : menu->actions())
                    if (action->text().startsWith(QStringLiteral("Einf&ügen"))) {
                        action->trigger();
                        pasted = true;
                    }
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    edit->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(edit, &event);
            EXPECT_TRUE(pasted) << name;
            break;
        }
        }
        EXPECT_EQ(edit->text().toStdString(), row.after) << name;
    }
    click(w.OPT_Auswerter_01);
}

TEST_F(Desktop, SwitchModeHintsShowWithoutAStrayBlank) {
    TFRM_Main& w = *FRM_Main;
    struct Row {
        QRadioButton* option;
        const char* shown;
    };
    const Row rows[] = {
        {w.OPT_Schalter_01, "S1 : Akustik EIN\nS2 : Akustik AUS"},
        {w.OPT_Schalter_02, "S1 : Akustik EIN\nS2 : Akustik EIN"},
        {w.OPT_Schalter_03, "S1 : Akustik AUS\nS2 : Akustik AUS"},
        {w.OPT_Schalter_04, "S1 : Akustik EIN\nS2 : Mithören"},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(row.option->toolTip().contains(QStringLiteral("\n\r"))) << "text kept";
        QHelpEvent event(QEvent::ToolTip, QPoint(4, 4), row.option->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(row.option, &event);
        EXPECT_EQ(QToolTip::text(), QString::fromUtf8(row.shown));
        QToolTip::hideText();
    }
}

TEST_F(Desktop, LoadingLeavesNoPopupAndTheNextClickActs) {
    QTemporaryDir dir;
    std::ofstream(dir.filePath(QStringLiteral("sechs.740")).toStdString())
        << "[A]\r\nTS=6\r\n[B I]\r\nRP=1\r\nAD=12345\r\n";
    bool popupSeen = false;
    withModal([] { click(FRM_Main->BTN_Open); },
              [&](QWidget* dialog) {
                  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                  ASSERT_NE(edit, nullptr);
                  edit->setFocus();
                  QTest::keyClicks(edit, dir.path() + QStringLiteral("/sec"));
                  auto* completer = edit->completer();
                  ASSERT_NE(completer, nullptr);
                  popupSeen =
                      QTest::qWaitFor([&] { return completer->popup()->isVisible(); }, 3000);
                  QTest::keyClicks(edit, QStringLiteral("hs.740"));
                  QTest::keyClick(edit, Qt::Key_Return);
              });
    EXPECT_TRUE(popupSeen) << "the completer never offered the file";
    QTest::qWait(300); // the folder model may still answer
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(FRM_Main->OPT_Tonsys_06->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), FRM_Main->TXT_Adresse_01);
    click(FRM_Main->CHK_Adresse_03);
    EXPECT_TRUE(FRM_Main->CHK_Adresse_03->isChecked()) << "the click was swallowed";
}

TEST_F(Desktop, StartUpReadsNoFolder) {
    // The windows exist, yet nothing that lists a folder does.
    EXPECT_TRUE(FRM_Main->findChildren<QFileDialog*>().isEmpty());
    EXPECT_TRUE(FRM_Main->findChildren<QFileSystemModel*>().isEmpty());
    destroyApplicationWindows();

    // Started in a folder with a pipe in it: the pipe is not opened.
    QTemporaryDir dir;
    const QByteArray fifo = dir.filePath(QStringLiteral("pipe")).toLocal8Bit();
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    createApplicationWindows();
    FRM_Main->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(FRM_Main));
    QTest::qWait(300);
    QDir::setCurrent(here);
    const int writer = open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1) << "something opened the pipe for reading";
    EXPECT_EQ(errno, ENXIO);
    if (writer >= 0)
        close(writer);
}

TEST_F(Desktop, TheDialogIsMadeAfterTheFirstFrameOrWhenAHandlerNeedsItSooner) {
    destroyApplicationWindows();
    // As the program starts: the main window is drawn first, the dialog follows by itself.
    showApplicationWindows();
    EXPECT_EQ(FRM_Prog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FRM_Main));
    ASSERT_TRUE(QTest::qWaitFor([] { return FRM_Prog != nullptr; }));
    EXPECT_EQ(FRM_Prog->parentWidget(), FRM_Main);
    EXPECT_FALSE(FRM_Prog->isVisible());
    // The work still starts at the first address, selected.
    EXPECT_EQ(FRM_Main->focusWidget(), FRM_Main->TXT_Adresse_01);
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->selectedText(), QStringLiteral("57434"));
    destroyApplicationWindows();

    // Needed before the first frame (the test call's menu asks whether it is sending): made
    // then, and only once.
    showApplicationWindows();
    std::unique_ptr<QMenu> menu(FRM_Main->addressMenu(FRM_Main->TXT_Adresse_01));
    const TFRM_Prog* made = FRM_Prog;
    ASSERT_NE(made, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FRM_Main));
    EXPECT_TRUE(waitForPostedEvents());
    EXPECT_EQ(FRM_Prog, made);
    EXPECT_EQ(FRM_Main->findChildren<TFRM_Prog*>().size(), 1);
    EXPECT_TRUE(whileProgramming([] {}));
}

TEST_F(Desktop, AFileNamedOnTheCommandLineLoadsAsTheOpenButtonLoadsIt) {
    QTemporaryDir dir;
    auto write = [&](const char* name, const char* content) {
        std::ofstream(dir.filePath(QString::fromLatin1(name)).toStdString()) << content;
        return dir.filePath(QString::fromLatin1(name));
    };
    struct Row {
        QString file;
        const char* message; // empty: loads without a message
        bool ccir;
    };
    const QString missing = dir.filePath(QStringLiteral("fehlt.740"));
    const Row rows[] = {
        {write("gut.740", "[A]\nTS=6\nAW=2\n[B I]\nRP=1\nAD=1234\n"), "", true},
        {write("rp.740", "[A]\nTS=1\n[B I]\nRP=ja\nAD=9999\n"),
         "'ja' is not a valid boolean value.", false},
        {missing, "", false},
    };
    for (const Row& row : rows) {
        const QString before = FRM_Main->TXT_Adresse_01->text();
        const std::vector<SeenBox> boxes = messageBoxesDuring([&] {
            openFromCommandLine({QStringLiteral("zuvela"), row.file});
            // The file is opened from the event loop (with its message box, answered
            // meanwhile).
            EXPECT_TRUE(waitForPostedEvents());
        });
        const std::string name = row.file.toStdString();
        EXPECT_EQ(FRM_Main->OPT_Tonsys_06->isChecked(), row.ccir) << name;
        if (row.file == missing) {
            ASSERT_EQ(boxes.size(), 1u) << name;
            EXPECT_TRUE(boxes[0].text.startsWith(missing + u'\n')) << boxes[0].text.toStdString();
            EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
            EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), before) << "nothing lost";
        } else if (*row.message != '\0') {
            ASSERT_EQ(boxes.size(), 1u) << name;
            EXPECT_EQ(boxes[0].text.toStdString(), row.message);
        } else {
            EXPECT_TRUE(boxes.empty()) << name;
            EXPECT_TRUE(FRM_Main->OPT_Auswerter_02->isChecked());
            EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("1234"));
            EXPECT_EQ(QApplication::focusWidget(), FRM_Main->TXT_Adresse_01);
        }
    }
}

TEST_F(Desktop, EditKeysWorkInTheAddressFieldsAndTheToolTipsNameTheKeys) {
    struct Row {
        const char* before;
        std::vector<QKeyCombination> keys;
        const char* after;
        const char* clipboard;
    };
    const auto ctrl = [](Qt::Key key) { return QKeyCombination(Qt::ControlModifier, key); };
    const Row rows[] = {
        {"57434", {ctrl(Qt::Key_A), ctrl(Qt::Key_C)}, "57434", "57434"},
        {"57434", {ctrl(Qt::Key_A), ctrl(Qt::Key_X)}, "", "57434"},
        {"57434", {ctrl(Qt::Key_A), ctrl(Qt::Key_X), ctrl(Qt::Key_Z)}, "57434", "57434"},
        // Undo brings back only what was typed through the filter.
        {"12", {Qt::Key_A, Qt::Key_G, ctrl(Qt::Key_Z)}, "12", "x"},
        {"", {ctrl(Qt::Key_V), ctrl(Qt::Key_Z), ctrl(Qt::Key_Y)}, "", "x"},
    };
    QLineEdit* edit = FRM_Main->TXT_Adresse_02;
    for (const Row& row : rows) {
        QGuiApplication::clipboard()->setText(QStringLiteral("x"));
        edit->setText(QString::fromLatin1(row.before));
        edit->setFocus();
        for (const QKeyCombination key : row.keys)
            QTest::keyClick(edit, key.key(), key.keyboardModifiers());
        EXPECT_EQ(edit->text().toStdString(), row.after) << row.before << " " << row.keys.size();
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), row.clipboard);
    }

    const std::pair<QWidget*, const char*> tips[] = {
        {FRM_Main->BTN_Open, "Programmierdaten aus Datei laden (Strg+O)"},
        {FRM_Main->BTN_Save, "Programmierdaten in Datei speichern (Strg+S)"},
        {FRM_Main->BTN_Prog, "Eingabetaste in einem Rufadressfeld"},
    };
    for (const auto& [button, shown] : tips) {
        QHelpEvent event(QEvent::ToolTip, QPoint(4, 4), button->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(button, &event);
        EXPECT_EQ(QToolTip::text().toStdString(), shown);
        QToolTip::hideText();
    }
}

// WCAG contrast of two colours.
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text a widget paints: its most frequent colour in the area is the
// ground, the colour that stands out most from it is the text.
double paintedContrast(QWidget* widget, QRect area) {
    const QImage image = widget->grab(area).toImage();
    QHash<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++count[image.pixel(x, y)];
    QRgb ground = 0;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.value() > count.value(ground))
            ground = it.key();
    double best = 1;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        best = std::max(best, contrast(QColor(ground), QColor(it.key())));
    return best;
}

TEST_F(Desktop, OptionTextsAndTheListingStayReadableUnderDarkDesktopPalettes) {
    // Dark palettes as desktops hand them out: window, text, base, button.
    struct Row {
        const char* desktop;
        QColor window, text, base;
    };
    const Row rows[] = {
        {"GTK Adwaita:dark", QColor(0x32, 0x32, 0x32), QColor(0xf0, 0xf0, 0xf0),
         QColor(0x24, 0x24, 0x24)},
        {"KDE Breeze Dark", QColor(0x31, 0x36, 0x3b), QColor(0xef, 0xf0, 0xf1),
         QColor(0x23, 0x26, 0x29)},
        {"qt6ct darker", QColor(0x35, 0x35, 0x35), QColor(0xff, 0xff, 0xff),
         QColor(0x2a, 0x2a, 0x2a)},
    };
    whileProgramming([&] {
        TFRM_Prog& d = *FRM_Prog;
        for (const Row& row : rows) {
            QPalette dark(row.text, row.window, row.window.lighter(130), row.window.darker(130),
                          row.window.darker(110), row.text, QColor(Qt::white), row.base,
                          row.window);
            // As a theme applies it: the application's palette and those of the classes it
            // names, then the change announced.
            QApplication::setPalette(dark);
            for (const char* cls : {"QAbstractButton", "QRadioButton", "QCheckBox", "QLabel",
                                    "QLineEdit", "QPlainTextEdit", "QGroupBox"})
                QApplication::setPalette(dark, cls);
            QEvent change(QEvent::ThemeChange);
            QApplication::sendEvent(qApp, &change);
            EXPECT_TRUE(waitForPostedEvents()); // what the change posted has been delivered
            struct Text {
                QWidget* widget;
                QRect area; // the text, clear of an option's indicator
            };
            const Text texts[] = {
                {FRM_Main->OPT_Tonsys_01, QRect(18, 0, 70, 13)},
                {FRM_Main->OPT_Schalter_04, QRect(18, 0, 100, 17)},
                {FRM_Main->CHK_Adresse_02, QRect(18, 0, 40, 13)},
                {FRM_Main->TXT_Adresse_01, QRect(3, 3, 55, 16)},
                {d.LBL_TonLen, d.LBL_TonLen->rect()},
                {d.OPT_PCSpeaker, QRect(18, 0, 80, 17)},
                {d.TXT_Daten->viewport(), QRect(0, 0, 180, 60)},
            };
            for (const Text& t : texts)
                EXPECT_GE(paintedContrast(t.widget, t.area), 4.5)
                    << row.desktop << ": " << t.widget->objectName().toStdString();
        }
    });
}

TEST(CommandLine, HelpAndVersionPrintAndEndBeforeAnyWindow) {
    struct Row {
        const char* argument;
        const char* starts;
    };
    for (const Row& row : {Row{"--help", "Aufruf: zuvela [DATEI.740]\n"}, Row{"-h", "Aufruf:"},
                           Row{"--version", "zuvela 25.03.03 V1.31\n"}}) {
        // No display at all: a window would fail to start.
        const auto result = testsupport::runProcess(
            "/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb",
                             ZUVELA_APP, row.argument});
        EXPECT_EQ(result.exitCode, 0) << row.argument << result.err;
        EXPECT_TRUE(result.out.starts_with(row.starts)) << result.out;
    }
}

} // namespace

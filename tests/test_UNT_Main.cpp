// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven as a user drives it: clicks, keys, the real message boxes.
#include "TApplication.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "Version.h"
#include "support/GuiHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

namespace {

const QString kTitle = QStringLiteral("Zuvela für KV 740 / QMR 52");

using MainWindow = ProgramTest;

// Presses "Programmieren"; the listing when the dialog shows, else nothing.
QStringList programme(std::vector<SeenBox>* boxes = nullptr) {
    QStringList listing;
    whileProgramming([&] { listing = FRM_Prog->TXT_Daten->toPlainText().split(u'\n'); }, boxes);
    return listing;
}

TEST_F(MainWindow, StartsInItsDesignedState) {
    TFRM_Main& w = *FRM_Main;
    EXPECT_EQ(w.windowTitle(), kTitle);
    EXPECT_EQ(w.frameGeometry().size(), QSize(438, 249));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(253, 174));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(w.tonsys(), 1);
    EXPECT_EQ(w.adresseLen(), 5);
    EXPECT_EQ(w.toneTable().tone(w.tonsys(), 0), 2400);
    EXPECT_EQ(w.toneTable().tone(w.tonsys(), 10), 2600);
    struct Option {
        QAbstractButton* button;
        bool checked, enabled, bold;
    };
    for (const Option& o :
         {Option{w.OPT_Tonsys_01, true, true, true}, Option{w.OPT_Tonsys_06, false, true, false},
          Option{w.OPT_Tonlen_01, false, false, false}, Option{w.OPT_Tonlen_02, true, true, true},
          Option{w.OPT_Tonlen_03, false, false, false},
          Option{w.OPT_Auswerter_01, true, true, true},
          Option{w.OPT_Auswerter_03, false, true, false},
          Option{w.OPT_Schalter_01, true, true, true},
          Option{w.OPT_Schalter_04, false, true, false}, Option{w.OPT_Len_01, true, true, true},
          Option{w.OPT_Len_02, false, true, false}, Option{w.CHK_Adresse_01, true, true, true},
          Option{w.CHK_Adresse_02, false, true, false}}) {
        const std::string name = o.button->objectName().toStdString();
        EXPECT_EQ(o.button->isChecked(), o.checked) << name;
        EXPECT_EQ(o.button->isEnabled(), o.enabled) << name;
        EXPECT_EQ(o.button->font().bold(), o.bold) << name;
        EXPECT_EQ(o.button->font().family(), QStringLiteral("Verdana")) << name;
        // Navy while enabled; a disabled option shows the palette's disabled text colour.
        EXPECT_EQ(o.button->palette().color(QPalette::Active, QPalette::WindowText),
                  QColor(0, 0, 128))
            << name;
    }
    const QLineEdit* edits[] = {w.TXT_Adresse_01, w.TXT_Adresse_02, w.TXT_Adresse_03,
                                w.TXT_Adresse_04};
    EXPECT_EQ(edits[0]->text(), QStringLiteral("57434"));
    for (const QLineEdit* edit : edits) {
        EXPECT_EQ(edit->maxLength(), 5);
        EXPECT_TRUE(edit->font().bold());
    }
    for (int n = 1; n < 4; ++n)
        EXPECT_TRUE(edits[n]->text().isEmpty());

    EXPECT_EQ(w.OPT_Schalter_01->toolTip(), QStringLiteral("S1 : Akustik EIN\n\rS2 : Akustik AUS"));
    EXPECT_EQ(w.OPT_Schalter_02->toolTip(), QStringLiteral("S1 : Akustik EIN\n\rS2 : Akustik EIN"));
    EXPECT_EQ(w.OPT_Schalter_03->toolTip(), QStringLiteral("S1 : Akustik AUS\n\rS2 : Akustik AUS"));
    EXPECT_EQ(w.OPT_Schalter_04->toolTip(), QStringLiteral("S1 : Akustik EIN\n\rS2 : Mithören"));
    for (QWidget* silent :
         {static_cast<QWidget*>(w.OPT_Tonsys_01), static_cast<QWidget*>(w.CHK_Adresse_01),
          static_cast<QWidget*>(w.TXT_Adresse_01), static_cast<QWidget*>(w.BTN_Prog)})
        EXPECT_TRUE(silent->toolTip().isEmpty()) << silent->objectName().toStdString();
    EXPECT_EQ(w.BTN_Open->toolTip(), QStringLiteral("Programmierdaten aus Datei laden"));
    EXPECT_EQ(w.BTN_Save->toolTip(), QStringLiteral("Programmierdaten in Datei speichern"));
    for (QToolButton* flat : {w.BTN_Open, w.BTN_Save, w.BTN_Prog}) {
        EXPECT_EQ(flat->focusPolicy(), Qt::TabFocus) << "by the keyboard, never by a click";
        EXPECT_TRUE(flat->autoRaise());
        EXPECT_FALSE(flat->icon().isNull());
    }
    EXPECT_EQ(w.BTN_Prog->text(), QStringLiteral("Programmieren"));
    // The release date and version the build generates, in the label's form.
    EXPECT_EQ(w.LBL_Version->text(), QString::fromUtf8(kVersionLabel));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d\d\.\d\d\.\d\d V\d+\.\d+$)"))
                    .match(w.LBL_Version->text())
                    .hasMatch())
        << w.LBL_Version->text().toStdString();
    EXPECT_EQ(w.TXT_Adresse_01->geometry(), QRect(72, 20, 65, 22));
    EXPECT_EQ(w.BTN_Prog->geometry(), QRect(280, 172, 141, 37));
    EXPECT_FALSE(FRM_Prog->isVisible());
}

TEST_F(MainWindow, ToneSystemDecidesTheToneLength) {
    TFRM_Main& w = *FRM_Main;
    struct Step {
        QRadioButton* system;
        uint8_t tonsys;
        QRadioButton* length;
    };
    for (const Step& s :
         {Step{w.OPT_Tonsys_06, 6, w.OPT_Tonlen_03}, Step{w.OPT_Tonsys_03, 3, w.OPT_Tonlen_02},
          Step{w.OPT_Tonsys_07, 7, w.OPT_Tonlen_01}, Step{w.OPT_Tonsys_04, 4, w.OPT_Tonlen_02}}) {
        click(s.system);
        EXPECT_EQ(w.tonsys(), s.tonsys);
        for (QRadioButton* length : {w.OPT_Tonlen_01, w.OPT_Tonlen_02, w.OPT_Tonlen_03}) {
            EXPECT_EQ(length->isEnabled(), length == s.length) << int(s.tonsys);
            EXPECT_EQ(length->isChecked(), length == s.length) << int(s.tonsys);
        }
    }
    // The start-up captions keep their weight whatever is selected.
    click(w.OPT_Tonsys_06);
    EXPECT_TRUE(w.OPT_Tonsys_01->font().bold());
    EXPECT_TRUE(w.OPT_Tonlen_02->font().bold());
    EXPECT_FALSE(w.OPT_Tonsys_06->font().bold());
    EXPECT_FALSE(w.OPT_Tonlen_03->font().bold());
}

TEST_F(MainWindow, AddressFieldsAdmitDigitsAndG) {
    TFRM_Main& w = *FRM_Main;
    int beeps = 0;
    w.beep = [&beeps] { ++beeps; };
    typeInto(w.TXT_Adresse_02, QStringLiteral("1a r-R2g"));
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("12G"));
    EXPECT_EQ(beeps, 5) << "each key the filter drops gives the sign";
    QTest::keyClick(w.TXT_Adresse_02, Qt::Key_Backspace);
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("12"));
    QTest::keyClicks(w.TXT_Adresse_02, QStringLiteral("34567"));
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("12345"));
    EXPECT_EQ(beeps, 7) << "each key the full field cannot take gives the sign";
    QTest::keyClick(w.TXT_Adresse_02, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("12345"));
    EXPECT_EQ(beeps, 8) << "a paste that keeps nothing gives the sign";
}

TEST_F(MainWindow, EvaluatorCutsAndLimitsAddresses) {
    TFRM_Main& w = *FRM_Main;
    click(w.OPT_Auswerter_03);
    EXPECT_EQ(w.adresseLen(), 3);
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("574"));
    typeInto(w.TXT_Adresse_02, QStringLiteral("98765"));
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("987"));
    click(w.OPT_Auswerter_01);
    EXPECT_EQ(w.adresseLen(), 5);
    EXPECT_EQ(w.TXT_Adresse_01->text(), QStringLiteral("574"));
    EXPECT_EQ(w.TXT_Adresse_01->maxLength(), 5);
}

TEST_F(MainWindow, LeavingAnAddressMarksRepeats) {
    TFRM_Main& w = *FRM_Main;
    typeInto(w.TXT_Adresse_02, QStringLiteral("11111"));
    typeInto(w.TXT_Adresse_03, QStringLiteral("1111")); // leaving field 2 normalises it
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("1R1R1"));
    QTest::keyClick(w.TXT_Adresse_03, Qt::Key_Tab);
    EXPECT_EQ(w.TXT_Adresse_03->text(), QStringLiteral("1111"));
    // A flat button does not take the focus, so it does not leave the field by itself.
    typeInto(w.TXT_Adresse_04, QStringLiteral("22333"));
    for (QToolButton* flat : {w.BTN_Open, w.BTN_Save, w.BTN_Prog}) {
        QTest::mousePress(flat, Qt::LeftButton);
        QTest::mouseRelease(flat, Qt::LeftButton, {}, QPoint(-10, -10)); // released outside
        EXPECT_TRUE(w.TXT_Adresse_04->hasFocus());
    }
    EXPECT_EQ(w.TXT_Adresse_04->text(), QStringLiteral("22333"));
}

TEST_F(MainWindow, WorkedExamplesReachTheListing) {
    TFRM_Main& w = *FRM_Main;
    EXPECT_EQ(programme(), QStringList({"Block A", "01 : 2400 : Tonsystem", "02 : 1160 : Tonlänge",
                                        "03 : 1400 : Tonlänge", "04 : 1160 : Auswerter",
                                        "05 : 1270 : Rufadressen", "06 : 1830 : Schaltermodi", "",
                                        "Block B I", "01 : 1530 : Adresse 1",
                                        "02 : 1830 : Adresse 1", "03 : 1400 : Adresse 1",
                                        "04 : 1270 : Adresse 1", "05 : 1400 : Adresse 1"}));

    click(w.OPT_Tonsys_07);
    click(w.OPT_Len_02);
    click(w.OPT_Auswerter_02);
    click(w.OPT_Schalter_03);
    click(w.CHK_Adresse_01);
    click(w.CHK_Adresse_02);
    typeInto(w.TXT_Adresse_02, QStringLiteral("1111"));
    click(w.CHK_Adresse_04);
    typeInto(w.TXT_Adresse_04, QStringLiteral("2345"));
    EXPECT_EQ(
        programme(),
        QStringList({"Block A", "01 : 1981 : Tonsystem", "02 : 1275 : Tonlänge",
                     "03 : 1446 : Tonlänge", "04 : 1860 : Auswerter", "05 : 1358 : Rufadressen",
                     "06 : 1860 : Schaltermodi", "", "Block B I", "01 : 1124 : Adresse 1",
                     "02 : 2110 : Adresse 1", "03 : 1124 : Adresse 1", "04 : 2110 : Adresse 1", "",
                     "Block B II", "01 : 1197 : Adresse 2", "02 : 1275 : Adresse 2",
                     "03 : 1358 : Adresse 2", "04 : 1446 : Adresse 2"}));
    EXPECT_EQ(w.TXT_Adresse_02->text(), QStringLiteral("1R1R"));
    EXPECT_EQ(FRM_Prog->Tones[10], 0);
}

TEST_F(MainWindow, AddressCheckMessagesKeepTheControls) {
    struct Row {
        const char* what;
        std::function<void()> arrange;
        QString message;
    };
    const Row rows[] = {
        {"slots 1 and 3 short",
         [] {
             retype(FRM_Main->TXT_Adresse_01, QStringLiteral("11"));
             click(FRM_Main->CHK_Adresse_03);
             typeInto(FRM_Main->TXT_Adresse_03, QStringLiteral("3"));
         },
         QStringLiteral("Rufadresse 3 ist unnvollständig.")},
        {"none checked", [] { click(FRM_Main->CHK_Adresse_01); },
         QStringLiteral("Keine Rufadressen zum Programmieren gewählt.")},
        {"same after normalisation",
         [] {
             retype(FRM_Main->TXT_Adresse_01, QStringLiteral("11234"));
             click(FRM_Main->CHK_Adresse_02);
             typeInto(FRM_Main->TXT_Adresse_02, QStringLiteral("11234"));
         },
         QStringLiteral("Rufadresse doppelt vorhanden.")},
    };
    for (const Row& r : rows) {
        destroyApplicationWindows();
        SetUp();
        r.arrange();
        std::vector<SeenBox> boxes;
        EXPECT_TRUE(programme(&boxes).isEmpty()) << r.what << ": the dialog was shown";
        ASSERT_EQ(boxes.size(), 1u) << r.what;
        EXPECT_EQ(boxes[0].title, kTitle);
        EXPECT_EQ(boxes[0].text, r.message) << r.what;
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes[0].owner, FRM_Main);
    }
    // The normalisation made before the check stays.
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("1R234"));
    EXPECT_TRUE(FRM_Main->CHK_Adresse_02->isChecked());
}

TEST_F(MainWindow, GTakesTheTwelfthToneUnlessTheSystemHasNone) {
    TFRM_Main& w = *FRM_Main;
    retype(w.TXT_Adresse_01, QStringLiteral("1g2g3"));
    const QStringList listing = programme();
    ASSERT_GE(listing.size(), 14);
    EXPECT_EQ(listing[10], QStringLiteral("02 : 2800 : Adresse 1"));

    // ZVEI F has no twelfth tone: "Programmieren" and saving refuse the address alike, in
    // zuvela-cli's words, before any dialog.
    click(w.OPT_Tonsys_04);
    const QString refusal =
        QStringLiteral("Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\".");
    std::vector<SeenBox> boxes;
    EXPECT_TRUE(programme(&boxes).isEmpty());
    QStringList dialogs;
    runWithModals([&] { click(w.BTN_Save); },
                  [&](QWidget* modal) {
                      if (qobject_cast<QMessageBox*>(modal) == nullptr) {
                          dialogs << modal->objectName();
                          modal->close();
                      }
                  },
                  &boxes);
    EXPECT_TRUE(dialogs.isEmpty()) << dialogs.join(u' ').toStdString();
    ASSERT_EQ(boxes.size(), 2u);
    for (const SeenBox& box : boxes) {
        EXPECT_EQ(box.title, kTitle);
        EXPECT_EQ(box.text, refusal);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.owner, FRM_Main);
    }
    // The program goes on: the next press works again.
    click(w.OPT_Tonsys_01);
    EXPECT_EQ(programme().size(), 14);
}

TEST_F(MainWindow, InformationLabelOpensAMailLink) {
    std::string link;
    FRM_Main->openLink = [&](const std::string& l) { link = l; };
    QTest::mouseClick(FRM_Main->LBL_Info, Qt::LeftButton);
    EXPECT_EQ(link,
              std::string("mailto:") + kContactAddress + "?subject=Programmer für KV 740 / QMR 52");
    EXPECT_EQ(FRM_Main->LBL_Info->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace

namespace {

TEST_F(MainWindow, KeyboardMovesThroughGroupsAndWithinThem) {
    TFRM_Main& w = *FRM_Main;
    EXPECT_EQ(QApplication::focusWidget(), w.TXT_Adresse_01) << "the work starts there";
    EXPECT_EQ(w.TXT_Adresse_01->selectedText(), QStringLiteral("57434"));
    // Only the selected option of a group is a tab stop; arrows move within the group.
    w.OPT_Tonsys_01->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.OPT_Tonsys_01, Qt::Key_Tab);
    EXPECT_TRUE(w.OPT_Tonlen_02->hasFocus());
    QTest::keyClick(w.OPT_Tonlen_02, Qt::Key_Tab);
    EXPECT_TRUE(w.OPT_Auswerter_01->hasFocus());
    QTest::keyClick(w.OPT_Auswerter_01, Qt::Key_Down);
    EXPECT_TRUE(w.OPT_Auswerter_02->isChecked());
    EXPECT_EQ(w.adresseLen(), 4);
    QTest::keyClick(w.OPT_Auswerter_02, Qt::Key_Tab);
    EXPECT_TRUE(w.OPT_Schalter_01->hasFocus());
    // Then as the eye reads on: normal/long tone, each call's box and field, the buttons,
    // and round to the tone system.
    const QWidget* order[] = {
        w.OPT_Len_01,     w.CHK_Adresse_01, w.TXT_Adresse_01, w.CHK_Adresse_02, w.TXT_Adresse_02,
        w.CHK_Adresse_03, w.TXT_Adresse_03, w.CHK_Adresse_04, w.TXT_Adresse_04, w.BTN_Open,
        w.BTN_Save,       w.BTN_Prog,       w.OPT_Tonsys_01};
    for (const QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

} // namespace

namespace {

TEST(DefaultErrorBox, AppendsAPeriodUnlessTheTextEndsInOne) {
    struct Row {
        QString message, shown;
    };
    for (const Row& r :
         {Row{"Das Zeichen \"G\" lässt sich in keinen Ton umsetzen",
              "Das Zeichen \"G\" lässt sich in keinen Ton umsetzen."},
          Row{"Unable to write to /x/y.740", "Unable to write to /x/y.740."},
          Row{"Fertig.", "Fertig."}, Row{"eins,", "eins,"}, Row{"(zwei)", "(zwei)"},
          Row{"drei ", "drei "}, Row{"", ""}, Row{"Grüß", "Grüß."}, Row{"x/", "x/."}})
        EXPECT_EQ(TApplication::withPeriod(r.message), r.shown) << r.message.toStdString();
}

} // namespace

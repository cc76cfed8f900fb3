// SPDX-License-Identifier: GPL-3.0-or-later
// The programming dialog as the main window shows it.
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/GuiHelpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>

namespace {

using ProgDialog = ProgramTest;

// Presses "Programmieren" and runs inDialog while the dialog is shown, then closes it.
void withDialog(const std::function<void()>& inDialog) {
    EXPECT_TRUE(whileProgramming(inDialog));
}

QStringList labels() {
    return {FRM_Prog->LBL_TonLen->text(), FRM_Prog->LBL_Tonpause->text(),
            FRM_Prog->LBL_Blockpause->text(), FRM_Prog->LBL_Amplitude->text()};
}

TEST_F(ProgDialog, StartsHiddenInItsDesignedState) {
    TFRM_Prog& d = *FRM_Prog;
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Programmierdaten"));
    EXPECT_EQ(d.size(), QSize(366, 274));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_TRUE(d.TXT_Daten->toPlainText().isEmpty());
    EXPECT_EQ(d.Tones, TProgTones{});
    EXPECT_EQ(labels(), QStringList({"Tonlänge (100 ms)", "Tonpause (30 ms)", "Blockpause (700 ms)",
                                     "Amplitude (100 %)"}));
    struct Bar {
        QSlider* bar;
        int minimum, maximum, position;
    };
    for (const Bar& b : {Bar{d.BAR_Tonlen, 4, 20, 10}, Bar{d.BAR_TonPause, 1, 10, 3},
                         Bar{d.BAR_BlockPause, 5, 10, 7}, Bar{d.BAR_Amplitude, 1, 10, 10}}) {
        EXPECT_EQ(b.bar->minimum(), b.minimum);
        EXPECT_EQ(b.bar->maximum(), b.maximum);
        EXPECT_EQ(b.bar->value(), b.position);
        EXPECT_EQ(b.bar->pageStep(), 10);
        EXPECT_EQ(b.bar->orientation(), Qt::Horizontal);
    }
    EXPECT_TRUE(d.OPT_Soundcard->isChecked());
    EXPECT_TRUE(d.OPT_Soundcard->font().bold());
    EXPECT_FALSE(d.OPT_PCSpeaker->font().bold());
    EXPECT_EQ(d.GroupBox1->title(), QStringLiteral(" FÜR EXPERTEN  !! "));
    EXPECT_EQ(d.GroupBox2->title(), QStringLiteral(" Ausgabegerät "));
    EXPECT_EQ(d.BTN_Go->text(), QStringLiteral("OK und los !"));
    EXPECT_TRUE(d.BTN_Go->isEnabled());
    EXPECT_FALSE(d.BTN_Go->icon().isNull());
    EXPECT_EQ(d.TXT_Daten->font().family(), QStringLiteral("Lucida Console"));
    EXPECT_TRUE(d.TXT_Daten->isReadOnly());
}

TEST_F(ProgDialog, LabelsFollowTheSlidersToTheirEnds) {
    TFRM_Prog& d = *FRM_Prog;
    withDialog([&] {
        for (QSlider* bar : {d.BAR_Tonlen, d.BAR_TonPause, d.BAR_BlockPause, d.BAR_Amplitude}) {
            bar->setFocus();
            QTest::keyClick(bar, Qt::Key_Home);
        }
        EXPECT_EQ(labels(), QStringList({"Tonlänge (40 ms)", "Tonpause (10 ms)",
                                         "Blockpause (500 ms)", "Amplitude (10 %)"}));
        for (QSlider* bar : {d.BAR_Tonlen, d.BAR_TonPause, d.BAR_BlockPause, d.BAR_Amplitude}) {
            bar->setFocus();
            QTest::keyClick(bar, Qt::Key_End);
        }
        EXPECT_EQ(labels(), QStringList({"Tonlänge (200 ms)", "Tonpause (100 ms)",
                                         "Blockpause (1000 ms)", "Amplitude (100 %)"}));
    });
}

TEST_F(ProgDialog, SpeakerGreysTheAmplitudeAndKeepsItsPosition) {
    TFRM_Prog& d = *FRM_Prog;
    withDialog([&] {
        d.BAR_Amplitude->setValue(4);
        click(d.OPT_PCSpeaker);
        EXPECT_FALSE(d.BAR_Amplitude->isEnabled());
        EXPECT_FALSE(d.LBL_Amplitude->isEnabled());
        click(d.OPT_Soundcard);
        EXPECT_TRUE(d.BAR_Amplitude->isEnabled());
        EXPECT_TRUE(d.LBL_Amplitude->isEnabled());
        EXPECT_EQ(d.BAR_Amplitude->value(), 4);
    });
}

TEST_F(ProgDialog, SecondShowingKeepsSettingsAndListsNewTones) {
    TFRM_Prog& d = *FRM_Prog;
    std::vector<SeenBox> boxes;
    runWithModals([] { click(FRM_Main->BTN_Prog); },
                  [&](QWidget* modal) {
                      if (modal != FRM_Prog)
                          return;
                      d.BAR_Tonlen->setValue(15);
                      click(d.OPT_PCSpeaker);
                      d.close();
                  },
                  &boxes);
    EXPECT_TRUE(boxes.empty()) << "closing with nothing playing shows nothing";
    EXPECT_FALSE(d.isVisible());

    click(FRM_Main->CHK_Adresse_02);
    typeInto(FRM_Main->TXT_Adresse_02, QStringLiteral("12345"));
    withDialog([&] {
        EXPECT_EQ(d.BAR_Tonlen->value(), 15);
        EXPECT_EQ(d.LBL_TonLen->text(), QStringLiteral("Tonlänge (150 ms)"));
        EXPECT_TRUE(d.OPT_PCSpeaker->isChecked());
        EXPECT_FALSE(d.BAR_Amplitude->isEnabled());
        EXPECT_TRUE(d.TXT_Daten->toPlainText().contains(QStringLiteral("Block B II")));
        EXPECT_EQ(d.TXT_Daten->toPlainText().count(QStringLiteral("Block A")), 1);
    });
}

TEST_F(ProgDialog, EscapeClosesItAndTheListingOpensAtItsTopWithTheFocus) {
    // Four addresses: the listing is longer than its box.
    TFRM_Main& w = *FRM_Main;
    const std::pair<QCheckBox*, QLineEdit*> calls[] = {{w.CHK_Adresse_02, w.TXT_Adresse_02},
                                                       {w.CHK_Adresse_03, w.TXT_Adresse_03},
                                                       {w.CHK_Adresse_04, w.TXT_Adresse_04}};
    int n = 1;
    for (const auto& [box, edit] : calls) {
        box->setChecked(true);
        edit->setText(QStringLiteral("%1").arg(12345 + 11111 * n++));
    }
    withDialog([] {
        QScrollBar* bar = FRM_Prog->TXT_Daten->verticalScrollBar();
        EXPECT_GT(bar->maximum(), 0);
        EXPECT_EQ(bar->value(), 0) << "Block A in view";
        EXPECT_EQ(FRM_Prog->TXT_Daten->textCursor().blockNumber(), 0);
        EXPECT_TRUE(FRM_Prog->TXT_Daten->hasFocus());
        QTest::keyClick(FRM_Prog, Qt::Key_Escape);
        EXPECT_FALSE(FRM_Prog->isVisible());
    });
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// "Testruf senden" in the address fields' context menu: its states, the call on real ALSA (its
// file plugin), on the PC speaker's scripted service, and on a failing scripted wave layer.
#include "support/ScriptedTickSource.h"
#include "Audio.h"
#include "support/SpeakerScripted.h"
#include "TestCall.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/WaveInSim.h"
#include "support/WaveMixerSim.h"
#include "support/WaveOutSim.h"
#include "support/CapturedProgramTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QAction* testCallEntry(QMenu& menu) {
    return menu.findChild<QAction*>(QStringLiteral("test-call"));
}

// Right-clicks the field and picks the last entry of its context menu, as a user does.
void pickTestCall(QLineEdit* edit) {
    QTimer::singleShot(0, [] {
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, Qt::Key_Up); // to the last enabled entry
        QTest::keyClick(popup, Qt::Key_Return);
    });
    // What a right click gives the field.
    QContextMenuEvent event(QContextMenuEvent::Mouse, edit->rect().center(),
                            edit->mapToGlobal(edit->rect().center()));
    QApplication::sendEvent(edit, &event);
}

std::vector<uint8_t> expectedCall(const char* address, uint8_t tonsys, uint16_t toneLength,
                                  uint8_t amplitude) {
    TToneTable table;
    fillToneTable(table);
    return renderTestCall({address, tonsys, toneLength, amplitude, false}, table);
}

bool waitForCallEnd() {
    return QTest::qWaitFor([] { return !FRM_Prog->Sending(); }, 20000);
}

class TestCallMenu : public CapturedProgramTest {
protected:
    static QRadioButton* system(int n) {
        TFRM_Main& w = *FRM_Main;
        return std::array{w.OPT_Tonsys_01, w.OPT_Tonsys_02, w.OPT_Tonsys_03, w.OPT_Tonsys_04,
                          w.OPT_Tonsys_05, w.OPT_Tonsys_06, w.OPT_Tonsys_07}[n - 1];
    }
    static QRadioButton* evaluator(int tones) {
        TFRM_Main& w = *FRM_Main;
        return std::array{w.OPT_Auswerter_03, w.OPT_Auswerter_02, w.OPT_Auswerter_01}[tones - 3];
    }
};

TEST_F(TestCallMenu, EntryIsDisabledWithItsReasonWhileTheAddressCannotBeSent) {
    struct Row {
        int tonsys;
        int tones;
        const char* typed;
        const char* reason; // nullptr: enabled
    };
    const Row rows[] = {
        {1, 5, "57434", nullptr},
        {1, 5, "5743", "Die Rufadresse braucht für \"5 Ton\" genau 5 Zeichen (sie hat 4)."},
        {1, 4, "", "Die Rufadresse braucht für \"4 Ton\" genau 4 Zeichen (sie hat 0)."},
        {6, 3, "12g", nullptr},
        {4, 5, "1234g", "Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {7, 4, "1111", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        click(system(row.tonsys));
        click(evaluator(row.tones));
        retype(FRM_Main->TXT_Adresse_02, QString::fromUtf8(row.typed));
        std::unique_ptr<QMenu> menu(FRM_Main->addressMenu(FRM_Main->TXT_Adresse_02));
        const QList<QAction*> actions = menu->actions();
        ASSERT_GE(actions.size(), 3);
        // After the standard entries, behind a separator.
        EXPECT_EQ(actions.back(), testCallEntry(*menu));
        EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
        EXPECT_EQ(actions.back()->text(), QStringLiteral("Testruf senden"));
        EXPECT_EQ(actions.back()->isEnabled(), row.reason == nullptr);
        if (row.reason != nullptr) {
            EXPECT_EQ(actions.back()->toolTip(), QString::fromUtf8(row.reason));
        }
    }
}

TEST_F(TestCallMenu, CallPlaysOnAlsaWithoutTheDialogAndCompletesTheField) {
    struct Row {
        int tonsys;
        int tones;
        int amplitudeStep;
        const char* typed;
        const char* completed;
        uint16_t toneLength;
    };
    const Row rows[] = {
        {1, 5, 10, "11111", "1R1R1", 70},
        {6, 3, 3, "12g", "12G", 100},
        {7, 4, 6, "9877", "987R", 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        capture->clear();
        click(system(row.tonsys));
        click(evaluator(row.tones));
        FRM_Prog->BAR_Amplitude->setValue(row.amplitudeStep);
        retype(FRM_Main->TXT_Adresse_01, QString::fromUtf8(row.typed));
        pickTestCall(FRM_Main->TXT_Adresse_01);
        EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QString::fromUtf8(row.completed));
        // While it plays, neither a second call nor the dialog's send.
        EXPECT_FALSE(FRM_Prog->BTN_Go->isEnabled());
        std::unique_ptr<QMenu> menu(FRM_Main->addressMenu(FRM_Main->TXT_Adresse_01));
        EXPECT_FALSE(testCallEntry(*menu)->isEnabled());
        EXPECT_EQ(testCallEntry(*menu)->toolTip(),
                  QStringLiteral("Es wird gerade gesendet; ein Testruf muss warten, bis das "
                                 "Senden endet."));
        EXPECT_FALSE(FRM_Prog->isVisible());
        ASSERT_TRUE(waitForCallEnd());
        const std::vector<uint8_t> want = expectedCall(
            row.completed, uint8_t(row.tonsys), row.toneLength, uint8_t(row.amplitudeStep * 10));
        EXPECT_TRUE(capture->read() == want) << capture->size() << " bytes, " << want.size();
    }
}

TEST_F(TestCallMenu, PcSpeakerSoundsTheCallTones) {
    platform::ScriptedTickSource clock;
    platform::ScriptedToneService service{clock};
    std::vector<UNT_Bleeper::Request> requests;
    UNT_Bleeper::ScopedPlatform speaker{
        {.toneService = &service, .ticks = &clock, .onRequest = [&](const UNT_Bleeper::Request& r) {
             requests.push_back(r);
         }}};
    FRM_Prog->OPT_PCSpeaker->setChecked(true);
    pickTestCall(FRM_Main->TXT_Adresse_01);
    EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
    EXPECT_EQ(capture->size(), 0u);
    using Kind = UNT_Bleeper::Request::Kind;
    std::vector<UNT_Bleeper::Request> want;
    for (int repetition = 0; repetition < 2; ++repetition) {
        want.push_back({Kind::Delay, 0, 600});
        for (const uint16_t f : {1530, 1830, 1400, 1270, 1400})
            want.push_back({Kind::Bleep, f, 70});
    }
    want.push_back({Kind::Delay, 0, 70});
    EXPECT_EQ(requests, want);
}

class TestCallFailure : public TestCallMenu {
protected:
    void SetUp() override {
        TFRM_Prog::audioLayers = {&out, &in, &mixer};
        CapturedProgramTest::SetUp();
    }
    void TearDown() override {
        CapturedProgramTest::TearDown();
        TFRM_Prog::audioLayers = {};
    }
    platform::WaveOutSim out;
    platform::WaveInSim in{1};
    platform::WaveMixerSim mixer;
};

TEST_F(TestCallFailure, FailingDeviceShowsTheSendsBoxOverTheMainWindow) {
    out.fail(platform::WaveOutSim::Call::Open, platform::MMSYSERR_ERROR);
    std::vector<SeenBox> boxes;
    runWithModals([] { pickTestCall(FRM_Main->TXT_Adresse_01); }, nullptr, &boxes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, FRM_Main);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Zuvela für KV 740 / QMR 52"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\n") +
                                 FRM_Prog->AUD_Main->ErrorMessage);
    EXPECT_FALSE(FRM_Prog->AUD_Main->ErrorMessage.isEmpty());
    EXPECT_FALSE(FRM_Prog->Sending());

    // A device lost during the call: its box comes over the main window as well.
    boxes.clear();
    runWithModals(
        [&] {
            pickTestCall(FRM_Main->TXT_Adresse_01);
            EXPECT_TRUE(FRM_Prog->Sending());
            out.loseDevice(platform::MMSYSERR_NOMEM);
            EXPECT_TRUE(waitForCallEnd());
            EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 5000));
        },
        nullptr, &boxes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, FRM_Main);
    EXPECT_TRUE(boxes[0].text.startsWith(
        QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\nDer Testruf wurde "
                       "abgebrochen (")))
        << boxes[0].text.toStdString();
}

} // namespace

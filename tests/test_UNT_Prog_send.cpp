// SPDX-License-Identifier: GPL-3.0-or-later
// "OK und los !" end to end: the real program, real ALSA (its file plugin, no sound card),
// and the PC speaker on its scripted service; README's keyboard loop with real keys.
#include "Audio.h"
#include "CableCheck.h"
#include "ExpertValues.h"
#include "ProgDataDialog.h"
#include "ProgEncoder.h"
#include "ProgEngine.h"
#include "SoundDeviceChoice.h"
#include "TickCount.h"
#include "ToneSequence.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "WaveOutAlsa.h"
#include "support/AlsaCapture.h"
#include "support/CapturedProgramTest.h"
#include "support/ScriptedTickSource.h"
#include "support/SpeakerScripted.h"
#include "support/ToneDecoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <fstream>

namespace {

using testsupport::AlsaCapture;

class Send : public CapturedProgramTest {
protected:
    // Four five-tone addresses, typed as a user types them.
    static void enterFourAddresses() {
        TFRM_Main& w = *FRM_Main;
        retype(w.TXT_Adresse_01, QStringLiteral("12345"));
        const std::pair<QCheckBox*, QLineEdit*> more[] = {{w.CHK_Adresse_02, w.TXT_Adresse_02},
                                                          {w.CHK_Adresse_03, w.TXT_Adresse_03},
                                                          {w.CHK_Adresse_04, w.TXT_Adresse_04}};
        const QString texts[] = {"67890", "11223", "98765"};
        for (int n = 0; n < 3; ++n) {
            click(more[n].first);
            typeInto(more[n].second, texts[n]);
        }
    }

    // Presses "Programmieren" and runs inDialog while the dialog is up, then closes it.
    static void inDialog(const std::function<void()>& body) { EXPECT_TRUE(whileProgramming(body)); }

    static std::vector<uint8_t> expectedSound(uint8_t amplitude = 100) {
        const TFRM_Prog& d = *FRM_Prog;
        return renderSequence(toneSequence(d.Tones, uint16_t(d.BAR_Tonlen->value() * 10),
                                           uint16_t(d.BAR_TonPause->value() * 10),
                                           uint16_t(d.BAR_BlockPause->value() * 100)),
                              amplitude);
    }

    static bool waitForPlayed() {
        return QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000);
    }
};

TEST_F(Send, SoundCardPlaysTheSynthesisExactly) {
    click(FRM_Main->OPT_Tonsys_03);
    enterFourAddresses();
    inDialog([] {
        ASSERT_TRUE(FRM_Prog->BTN_Go->isEnabled());
        click(FRM_Prog->BTN_Go);
        EXPECT_FALSE(FRM_Prog->BTN_Go->isEnabled()) << "enabled again before OnPlayed";
        ASSERT_TRUE(waitForPlayed());
        const std::vector<uint8_t> sound = capture->read();
        const std::vector<uint8_t> expected = expectedSound();
        ASSERT_EQ(expected.size(), 149072u);
        EXPECT_TRUE(sound == expected) << sound.size() << " bytes captured";

        // Decoded by a detector of our own, the sound gives back the tones and their timing.
        const std::vector<ToneSegment> sequence = toneSequence(FRM_Prog->Tones, 100, 30, 700);
        std::vector<DecodedSegment> want;
        for (const ToneSegment& s : sequence) {
            if (s.frequency == 0 && !want.empty() && want.back().frequency == 0)
                want.back().length += sampleCount(s.duration);
            else
                want.push_back({double(s.frequency), sampleCount(s.duration)});
        }
        const std::vector<DecodedSegment> got = decodeTones(sound, kSampleRate);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].frequency, want[i].frequency, 2.0) << "segment " << i;
            EXPECT_NEAR(double(got[i].length), double(want[i].length), 1.0) << "segment " << i;
        }

        // As often as wanted: a second send asks first, then plays the same again.
        capture->clear();
        std::vector<SeenBox> asked;
        runWithModals([] { click(FRM_Prog->BTN_Go); },
                      [&](QWidget* modal) {
                          auto* box = qobject_cast<QMessageBox*>(modal);
                          ASSERT_NE(box, nullptr);
                          asked.push_back({box->windowTitle(), box->text()});
                          box->button(QMessageBox::Yes)->click();
                      });
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].text.endsWith(QStringLiteral(" wurden eben schon gesendet. Trotzdem "
                                                          "senden?")))
            << asked[0].text.toStdString();
        ASSERT_TRUE(waitForPlayed());
        EXPECT_EQ(capture->size(), expected.size());
    });
    EXPECT_TRUE(FRM_Prog->AUD_Main->ErrorMessage.isEmpty() ||
                FRM_Prog->AUD_Main->ErrorMessage == QStringLiteral("Player already closed"));
}

TEST_F(Send, EveryToneSystemSendsItsTones) {
    TToneTable table;
    fillToneTable(table);
    for (uint8_t tonsys = 1; tonsys <= 7; ++tonsys) {
        SCOPED_TRACE(int(tonsys));
        destroyApplicationWindows();
        ProgramTest::SetUp();
        capture->clear();
        TFRM_Main& w = *FRM_Main;
        QRadioButton* systems[] = {w.OPT_Tonsys_01, w.OPT_Tonsys_02, w.OPT_Tonsys_03,
                                   w.OPT_Tonsys_04, w.OPT_Tonsys_05, w.OPT_Tonsys_06,
                                   w.OPT_Tonsys_07};
        click(systems[tonsys - 1]);
        click(w.OPT_Len_02);
        click(w.OPT_Schalter_02);
        // Digits, repeats and (where the system has a twelfth tone) a 'G'.
        const QString typed[] = {"12345", tonsys == 4 ? "67890" : "6g789", "11223", "90817"};
        const QString shown[] = {"12345", tonsys == 4 ? "67890" : "6G789", "1R2R3", "90817"};
        retype(w.TXT_Adresse_01, typed[0]);
        const std::pair<QCheckBox*, QLineEdit*> more[] = {{w.CHK_Adresse_02, w.TXT_Adresse_02},
                                                          {w.CHK_Adresse_03, w.TXT_Adresse_03},
                                                          {w.CHK_Adresse_04, w.TXT_Adresse_04}};
        for (int n = 0; n < 3; ++n) {
            click(more[n].first);
            typeInto(more[n].second, typed[n + 1]);
        }

        // What these settings encode, worked out apart from the window.
        ProgSettings settings;
        settings.tonsys = tonsys;
        settings.lenMode = 2;
        settings.switchMode = 2;
        for (int n = 0; n < 4; ++n)
            settings.addresses[n] = {true, shown[n].toStdString()};
        const TProgTones encoded = EncodeProgTones(settings, table);

        inDialog([] {
            click(FRM_Prog->BTN_Go);
            ASSERT_TRUE(waitForPlayed());
        });
        std::vector<double> heard;
        for (const DecodedSegment& segment : decodeTones(capture->read(), kSampleRate))
            if (segment.frequency != 0)
                heard.push_back(segment.frequency);
        ASSERT_EQ(heard.size(), encoded.size());
        for (std::size_t slot = 0; slot < encoded.size(); ++slot)
            EXPECT_NEAR(heard[slot], encoded[slot], 2.0) << "slot " << slot;
    }
}

TEST_F(Send, AmplitudeSliderScalesTheTones) {
    inDialog([] {
        FRM_Prog->BAR_Amplitude->setValue(1);
        click(FRM_Prog->BTN_Go);
        ASSERT_TRUE(waitForPlayed());
        const std::vector<uint8_t> sound = capture->read();
        ASSERT_EQ(sound.size(), expectedSound(10).size()); // the extremes of nothing do not exist
        EXPECT_TRUE(sound == expectedSound(10));
        const auto [low, high] = std::minmax_element(sound.begin(), sound.end());
        EXPECT_EQ(*low, 117);
        EXPECT_EQ(*high, 137);
    });
}

TEST_F(Send, ClosingTheDialogStopsTheSound) {
    enterFourAddresses();
    inDialog([] {
        click(FRM_Prog->BTN_Go);
        EXPECT_FALSE(FRM_Prog->BTN_Go->isEnabled());
        FRM_Prog->close(); // at once, while most of the sequence is still to come
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled()) << "OnPlayed did not come with the stop";
        EXPECT_FALSE(FRM_Prog->AUD_Main->Player->Active());
    });
    // The main window says so until the next send: this pager did not get its tones.
    EXPECT_EQ(FRM_Main->LBL_LastSend->toolTip(),
              QStringLiteral("✘ Abgebrochen: mit Schließen des Fensters – der Pager ist nicht "
                             "programmiert."));
    // The capture is complete once the device is closed (the file plugin writes out then).
    ASSERT_TRUE(QTest::qWaitFor([] { return !FRM_Prog->AUD_Main->Player->IsOpen(); }, 5000));
    const std::vector<uint8_t> sound = capture->read();
    EXPECT_LT(sound.size(), 149072u);
    const std::vector<uint8_t> expected = expectedSound();
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), expected.begin()));
}

// "Prüfen": the send is recorded back from the input (here ALSA's file plugin reads what the
// test puts there) and compared tone by tone; a silent input is a loose cable, and an input
// that is not there stops the send before it starts.
TEST_F(Send, ACheckedSendSaysWhatTheInputHeard) {
    enterFourAddresses();
    inDialog([] {
        TFRM_Prog& d = *FRM_Prog;
        d.Check->setEnabled(true);
        // What the cable carries back: the sound as 16-bit samples at the recorder's 44100 Hz,
        // a quarter of full scale (−12 dBFS, the level the level check aims at).
        auto looped = [](const std::vector<uint8_t>& sound) {
            std::vector<uint8_t> bytes;
            for (uint8_t v : sound)
                for (int twice = 0; twice < 2; ++twice) {
                    const auto s = static_cast<uint16_t>((int(v) - 128) * 64);
                    bytes.push_back(uint8_t(s & 0xff));
                    bytes.push_back(uint8_t(s >> 8));
                }
            return bytes;
        };
        auto checked = [&d](const QString& start) {
            sayingYes([&d] { click(d.BTN_Go); });
            return QTest::qWaitFor([&] { return d.LBL_Status->toolTip().startsWith(start); },
                                   20000);
        };
        const std::vector<uint8_t> silence(44100 * 2 * 8, 0);
        const struct {
            std::vector<uint8_t> input;
            QString status;
        } rows[] = {
            {looped(expectedSound()), QStringLiteral("✔ Geprüft: 26 von 26 Tönen, Pegel ")},
            {silence, QStringLiteral("✘ Nichts gehört – Kabel und Eingang prüfen")},
        };
        for (const auto& row : rows) {
            capture->setInput(row.input);
            EXPECT_TRUE(checked(row.status)) << d.LBL_Status->toolTip().toStdString();
            EXPECT_TRUE(QTest::qWaitFor([&] { return d.BTN_Go->isEnabled(); }, 5000));
        }

        d.Check->setInputName(QStringLiteral("kein-solches-geraet"));
        capture->clear();
        std::vector<SeenBox> boxes;
        runWithModals([&] { click(d.BTN_Go); }, nullptr, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.startsWith(
            QStringLiteral("Das Eingangsgerät \"kein-solches-geraet\" ist nicht vorhanden")));
        EXPECT_EQ(capture->size(), 0u) << "nothing was sent";
        EXPECT_TRUE(d.BTN_Go->isEnabled());
        d.Check->setInputName(QString());
        d.Check->setEnabled(false);
    });
}

TEST_F(Send, UnusableSoundCardIsReportedAndTheNextSendWorks) {
    const std::vector<std::string> names = platform::alsaPlaybackDeviceNames();
    const auto unusable = std::find(names.begin(), names.end(), AlsaCapture::unusablePcm);
    ASSERT_NE(unusable, names.end());
    inDialog([&] {
        ASSERT_TRUE(FRM_Prog->SoundDevice->choose(QString::fromStdString(*unusable)));
        std::vector<SeenBox> boxes;
        runWithModals([] { click(FRM_Prog->BTN_Go); }, nullptr, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, QStringLiteral("Zuvela für KV 740 / QMR 52"));
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes[0].owner, FRM_Prog);
        const QString first = QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\n");
        EXPECT_EQ(boxes[0].text, first + FRM_Prog->AUD_Main->ErrorMessage);
        EXPECT_TRUE(FRM_Prog->AUD_Main->ErrorMessage.startsWith(
            QStringLiteral("Could not open the output device for playing:  ")))
            << FRM_Prog->AUD_Main->ErrorMessage.toStdString();
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
        EXPECT_EQ(capture->size(), 0u);

        ASSERT_TRUE(FRM_Prog->SoundDevice->choose(QString()));
        boxes.clear();
        runWithModals([] { click(FRM_Prog->BTN_Go); }, nullptr, &boxes);
        EXPECT_TRUE(boxes.empty()) << "the earlier failure counted again";
        ASSERT_TRUE(waitForPlayed());
        EXPECT_TRUE(capture->read() == expectedSound());
    });
}

TEST_F(Send, PcSpeakerSendsTheSameSegments) {
    platform::ScriptedTickSource clock{4294960000u}; // wraps during the send
    platform::ScriptedToneService service{clock};
    std::vector<UNT_Bleeper::Request> requests;
    QStringList marked; // the listing line marked at each tone
    bool markOutOfView = false;
    bool enabledDuringWalk = false;
    UNT_Bleeper::ScopedPlatform speaker{
        {.toneService = &service, .ticks = &clock, .onRequest = [&](const UNT_Bleeper::Request& r) {
             requests.push_back(r);
             const TFRM_Prog& d = *FRM_Prog;
             const QWidget* const controls[] = {d.BTN_Go,         d.BAR_Tonlen,    d.BAR_TonPause,
                                                d.BAR_BlockPause, d.BAR_Amplitude, d.GroupBox2};
             for (const QWidget* control : controls)
                 enabledDuringWalk = enabledDuringWalk || control->isEnabled();
             const auto marks = d.TXT_Daten->extraSelections();
             if (r.kind != UNT_Bleeper::Request::Kind::Bleep)
                 return;
             marked << (marks.size() == 1 ? marks[0].cursor.block().text() : QString());
             // Four addresses are more than the listing shows: it scrolls to each tone.
             const QPlainTextEdit* listing = d.TXT_Daten;
             const int top = listing->verticalScrollBar()->value();
             const int shown = listing->viewport()->height() / listing->fontMetrics().lineSpacing();
             const int line = marks.size() == 1 ? marks[0].cursor.blockNumber() : -1;
             markOutOfView = markOutOfView || line < top || line >= top + shown;
         }}};
    enterFourAddresses();
    inDialog([&] {
        click(FRM_Prog->OPT_PCSpeaker);
        EXPECT_FALSE(FRM_Prog->BAR_Amplitude->isEnabled());
        click(FRM_Prog->BTN_Go);
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
    });
    EXPECT_FALSE(enabledDuringWalk);
    EXPECT_FALSE(markOutOfView);
    EXPECT_EQ(capture->size(), 0u) << "the sound card played as well";
    const std::vector<ToneSegment> sequence = toneSequence(FRM_Prog->Tones, 100, 30, 700);
    ASSERT_EQ(requests.size(), sequence.size());
    // Each tone is marked in the listing while it sounds: the line that shows its frequency.
    int bleep = 0;
    for (const UNT_Bleeper::Request& r : requests)
        if (r.kind == UNT_Bleeper::Request::Kind::Bleep) {
            EXPECT_TRUE(marked.value(bleep).contains(QStringLiteral(": %1 :").arg(r.frequency, 4)))
                << bleep << ": " << marked.value(bleep).toStdString();
            ++bleep;
        }
    EXPECT_EQ(marked.size(), bleep);
    // The walk ended: nothing is marked, and the status line says how it went (this process
    // found no way to the speaker at start-up).
    EXPECT_TRUE(FRM_Prog->TXT_Daten->extraSelections().isEmpty());
    EXPECT_EQ(FRM_Prog->LBL_Status->text(), QStringLiteral("\u2718 PC Speaker nicht erreichbar."));
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        using Kind = UNT_Bleeper::Request::Kind;
        const UNT_Bleeper::Request want{sequence[i].frequency ? Kind::Bleep : Kind::Delay,
                                        sequence[i].frequency, sequence[i].duration};
        EXPECT_EQ(requests[i], want) << "segment " << i;
    }

    // A walk that ends early at an empty block re-enables the button all the same.
    requests.clear();
    click(FRM_Main->CHK_Adresse_02);
    click(FRM_Main->CHK_Adresse_03);
    click(FRM_Main->CHK_Adresse_04);
    inDialog([] {
        click(FRM_Prog->BTN_Go);
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
    });
    EXPECT_EQ(requests.size(), 11u * 2 + 1);
}

} // namespace

namespace {

TEST_F(Send, ClosingTheDialogEndsTheSpeakerWalkAtOnce) {
    platform::ScriptedTickSource clock;
    platform::ScriptedToneService service{clock};
    std::vector<UNT_Bleeper::Request> requests;
    std::size_t atClose = 0;
    bool closed = false;
    // The first wait that handles window messages is the pause after Block A (1400 ms):
    // the user closes the dialog there.
    UNT_Bleeper::ScopedPlatform speaker{
        {.toneService = &service,
         .ticks = &clock,
         .pumpMessages =
             [&] {
                 if (!closed && FRM_Prog->isVisible()) {
                     closed = true;
                     atClose = requests.size();
                     FRM_Prog->close();
                 }
             },
         .onRequest = [&](const UNT_Bleeper::Request& r) { requests.push_back(r); }}};
    enterFourAddresses();
    const uint64_t before = clock.elapsedUs();
    inDialog([&] {
        click(FRM_Prog->OPT_PCSpeaker);
        click(FRM_Prog->BTN_Go);
    });
    EXPECT_EQ(atClose, 13u) << "Block A and its pause";
    EXPECT_EQ(requests.size(), atClose) << "tones came after the close";
    EXPECT_FALSE(service.sounding());
    EXPECT_LT(clock.elapsedUs() - before, 1'000'000u) << "the pause ran on after the close";
    EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());

    // The next send walks the whole sequence again.
    requests.clear();
    inDialog([] { click(FRM_Prog->BTN_Go); });
    EXPECT_EQ(requests.size(), toneSequence(FRM_Prog->Tones, 100, 30, 700).size());
}

} // namespace

namespace {

// README's keyboard loop with real keys on the real windows, sent through ALSA: the address
// typed is the address sent, whatever the focus came back from.
class KeyboardLoop : public Send {
protected:
    struct Round {
        bool shown = false;
        TProgTones tones{};
        QString status;
        std::vector<uint8_t> sound;
        QStringList boxes; // message boxes, answered with Enter
    };

    // Enter in the focused field ("Programmieren"); in the dialog Enter ("OK und los !") until
    // the status line says how the send went, then Esc. A message box is answered with Enter.
    // Then the desktop activates the main window again, as its window manager does.
    static Round enterEnterEsc() {
        Round round;
        capture->clear();
        QWidget* field = QApplication::focusWidget();
        runWithModals([field] { QTest::keyClick(field, Qt::Key_Return); },
                      [&round](QWidget* modal) {
                          if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                              round.boxes << box->text();
                              QTest::keyClick(box, Qt::Key_Return);
                              return;
                          }
                          if (modal != FRM_Prog)
                              return;
                          round.shown = true;
                          round.tones = FRM_Prog->Tones;
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                          EXPECT_TRUE(QTest::qWaitFor([] { return !FRM_Prog->Sending(); }, 20000));
                          round.status = FRM_Prog->LBL_Status->text();
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                      });
        QApplication::setActiveWindow(FRM_Main);
        round.sound = capture->read();
        return round;
    }

    // What the engine sends for the start-up settings with this one address.
    static TProgTones tonesFor(const char* address) {
        ProgSettings settings;
        settings.addresses = {{{true, address}, {}, {}, {}}};
        const ProgTonesResult result = progTones(settings);
        EXPECT_TRUE(result.ok) << address;
        return result.tones;
    }
};

TEST_F(KeyboardLoop, EachPagerGetsTheAddressTypedForIt) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("geladen.740"));
    std::ofstream(file.toStdString())
        << "[A]\r\nTS=1\r\nTL=1\r\nAW=1\r\nSM=1\r\n[B I]\r\nRP=1\r\nAD=86420\r\n"
           "[B II]\r\nAD=\r\n[B III]\r\nAD=\r\n[B IV]\r\nAD=\r\n";
    struct Row {
        const char* what;
        std::function<void()> before; // what the user did before typing, by keyboard
        std::function<void(QWidget*)> type;
        const char* sent;
    };
    const auto typing = [](const char* keys) {
        return [keys](QWidget* field) { QTest::keyClicks(field, QString::fromLatin1(keys)); };
    };
    const Row rows[] = {
        {"selected at start-up", [] {}, typing("12345"), "12345"},
        {"after the dialog", [] {}, typing("34567"), "34567"},
        {"after the dialog again", [] {}, typing("24680"), "24680"},
        {"after a message box",
         [] {
             QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("123"));
             const Round refused = enterEnterEsc();
             EXPECT_FALSE(refused.shown);
             EXPECT_EQ(refused.boxes, QStringList{"Rufadresse 1 ist unnvollständig."});
         },
         typing("97531"), "97531"},
        {"after loading a file (Strg+O)",
         [&file] {
             bool loaded = false;
             runWithModals(
                 [] {
                     QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
                 },
                 [&](QWidget* modal) {
                     auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                     if (qobject_cast<ProgDataDialog*>(modal) == nullptr || edit == nullptr)
                         return;
                     QTest::keyClicks(edit, file);
                     QTest::keyClick(edit, Qt::Key_Return);
                     loaded = true;
                 });
             EXPECT_TRUE(loaded);
             QApplication::setActiveWindow(FRM_Main);
             EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("86420"));
         },
         typing("13579"), "13579"},
        {"pasted (Strg+V)",
         [] { QGuiApplication::clipboard()->setText(QStringLiteral("Pager Nr. 4711-2")); },
         [](QWidget* field) { QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier); }, "47112"},
    };
    int beeps = 0;
    FRM_Main->beep = [&beeps] { ++beeps; };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.before();
        // The focus is back in the first address with its whole text selected: typing
        // replaces it.
        QWidget* field = QApplication::focusWidget();
        ASSERT_EQ(field, static_cast<QWidget*>(FRM_Main->TXT_Adresse_01));
        EXPECT_FALSE(FRM_Main->TXT_Adresse_01->text().isEmpty());
        EXPECT_EQ(FRM_Main->TXT_Adresse_01->selectedText(), FRM_Main->TXT_Adresse_01->text());
        row.type(field);
        EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QString::fromLatin1(row.sent));
        const Round round = enterEnterEsc();
        ASSERT_TRUE(round.shown);
        EXPECT_TRUE(round.boxes.isEmpty()) << round.boxes.join(u'\n').toStdString();
        EXPECT_EQ(round.status, QStringLiteral("\u2714 Gesendet."));
        // The pager got this address: the dialog's tones and the sound on the line are the
        // engine's for it.
        const TProgTones want = tonesFor(row.sent);
        EXPECT_EQ(round.tones, want);
        EXPECT_TRUE(round.sound == progSamples(want, ExpertValues{}))
            << round.sound.size() << " bytes captured";
    }
    EXPECT_EQ(beeps, 0) << "no key was refused";

    // A full field takes no more keys and says so; a 'g' standing alone in a paste is the
    // twelfth tone, one inside a word is not.
    QLineEdit* field = FRM_Main->TXT_Adresse_01;
    EXPECT_EQ(field->text(), QStringLiteral("471R2")) << "completed by \"Programmieren\"";
    field->end(false);
    QTest::keyClicks(field, QStringLiteral("9"));
    EXPECT_EQ(field->text(), QStringLiteral("471R2"));
    EXPECT_EQ(beeps, 1);
    field->selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("Gruppe 4711 g"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("4711G"));
    // An address copied from a field keeps its repeats: R stands for the digit before it.
    field->selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("1R2R3"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("11223"));
}

// A box in the loop (here the question before the same address again, answered with Esc)
// leaves the dialog open: the next address typed there closes it and goes on in the main
// window's field, so that the next Enter, Enter sends that address and no other.
TEST_F(KeyboardLoop, AnAddressTypedIntoTheDialogAfterABoxGoesOnInTheMainWindow) {
    QTest::keyClicks(FRM_Main->TXT_Adresse_01, QStringLiteral("14682"));
    QStringList boxes;
    runWithModals([] { QTest::keyClick(FRM_Main->TXT_Adresse_01, Qt::Key_Return); },
                  [&](QWidget* modal) {
                      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                          boxes << box->text();
                          QTest::keyClick(box, Qt::Key_Escape);
                          return;
                      }
                      if (modal != FRM_Prog)
                          return;
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                      EXPECT_TRUE(QTest::qWaitFor([] { return !FRM_Prog->Sending(); }, 20000));
                      capture->clear();
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // asks
                      // The box is gone; the dialog has the focus again and takes the key.
                      QApplication::setActiveWindow(FRM_Prog);
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_2);
                  });
    EXPECT_EQ(boxes, QStringList{"Die Rufadresse 14682 wurde eben schon gesendet. Trotzdem "
                                 "senden?"});
    EXPECT_EQ(capture->size(), 0u) << "nothing sent again";
    EXPECT_FALSE(FRM_Prog->isVisible());
    // The desktop activates the main window again; its field selects its text, then the key.
    QApplication::setActiveWindow(FRM_Main);
    ASSERT_TRUE(waitForPostedEvents());
    ASSERT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(FRM_Main->TXT_Adresse_01));
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("2"));
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->selectedText(), QString()) << "typing goes on after it";
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5793"));
    EXPECT_EQ(FRM_Main->TXT_Adresse_01->text(), QStringLiteral("25793"));
    const Round round = enterEnterEsc();
    EXPECT_TRUE(round.boxes.isEmpty()) << round.boxes.join(u'\n').toStdString();
    EXPECT_EQ(round.tones, tonesFor("25793"));
    EXPECT_TRUE(round.sound == progSamples(tonesFor("25793"), ExpertValues{}));
    EXPECT_EQ(FRM_Main->LBL_LastSend->text(), QStringLiteral("✔ Gesendet."));
}

} // namespace

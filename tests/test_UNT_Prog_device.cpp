// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the sound card: the "Soundkarte" option's context menu over real ALSA devices
// (named PCMs of the test configuration), the stored choice, and a device that is gone.
#include "Audio.h"
#include "SoundDeviceChoice.h"
#include "ToneSequence.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "WaveOutAlsa.h"
#include "support/AlsaCapture.h"
#include "support/CapturedProgramTest.h"
#include "support/WaveInSim.h"
#include "support/WaveMixerSim.h"
#include "support/WaveOutSim.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct MenuEntry {
    QString text;
    bool checked;
};

// Besides the cards of the test configuration, a sound server and the converter plugins that a
// system's ALSA plugins define (they wrap another device and play nowhere of their own).
const char* const kMorePcms = R"cfg(
pcm.zuvela_upmix { type upmix slave.pcm "zuvela_cable"
    hint { show on description "Plugin for channel upmix (4,6,8)" } }
pcm.zuvela_vdownmix { type vdownmix slave.pcm "zuvela_cable"
    hint { show on description "Plugin for channel downmix (stereo) with a simple spacialization" } }
pcm.zuvela_speexrate { type rate slave.pcm "zuvela_cable" converter "speexrate"
    hint { show on description "Rate Converter Plugin Using Speex Resampler" } }
pcm.zuvela_speex { type speex slave.pcm "zuvela_cable"
    hint { show on description "Plugin using Speex DSP (resample, agc, denoise, echo, dereverb)" } }
pcm.zuvela_server { type pulse hint { show on description "PulseAudio Sound Server" } }
)cfg";

class DeviceChoice : public CapturedProgramTest {
protected:
    static void SetUpTestSuite() { capture = new testsupport::AlsaCapture({}, kMorePcms); }
    void SetUp() override {
        QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela")).clear();
        CapturedProgramTest::SetUp();
    }
    void restartProgram() {
        destroyApplicationWindows();
        ProgramTest::SetUp();
    }

    // Opens the "Soundkarte" menu as a user does (right click, or the menu key on the focused
    // option), reads its entries, and clicks the entry whose text starts with choose (none:
    // closes the menu with Escape). False when no menu came up.
    static bool useMenu(bool byKey, const QString& choose, std::vector<MenuEntry>* entries,
                        QRadioButton* option = nullptr) {
        if (!option)
            option = FRM_Prog->OPT_Soundcard;
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            poll.stop();
            seen = true;
            QAction* target = nullptr;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator())
                    continue;
                const QString text = action->text().replace(QStringLiteral("&&"), "&");
                if (entries)
                    entries->push_back({text, action->isChecked()});
                if (!choose.isEmpty() && !target && text.startsWith(choose))
                    target = action;
            }
            if (target)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
            else
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        poll.start();
        QWindow* window = option->window()->windowHandle();
        if (byKey) {
            // What X11 makes of the menu key; the offscreen platform does not.
            option->setFocus();
            const QPoint centre = option->rect().center();
            QContextMenuEvent event(QContextMenuEvent::Keyboard, centre,
                                    option->mapToGlobal(centre));
            QApplication::sendEvent(option, &event);
        } else {
            QTest::mouseClick(window, Qt::RightButton, {},
                              option->mapTo(option->window(), option->rect().center()));
        }
        return QTest::qWaitFor([&] { return seen && !QApplication::activePopupWidget(); }, 3000);
    }

    static std::vector<uint8_t> playedOn(const char* name) {
        std::ifstream in(capture->namedPcmFile(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

const QString cable = QStringLiteral("Zuvela Test Card, zuvela_cable: Output of zuvela_cable");

TEST_F(DeviceChoice, theMenuListsTheDevicesThatPlayAndTheChoiceSendsThereAndOutlivesTheProgram) {
    struct Row {
        const char* name;
        bool offered;
    };
    const Row rows[] = {
        {"zuvela_cable", true},     {"zuvela_speakers", true},
        {"zuvela_server", true},    {"zuvela_upmix", false},
        {"zuvela_vdownmix", false}, {"zuvela_speexrate", false},
        {"zuvela_speex", false},    {"null", false},
        {"default", false},
    };
    const auto devices = platform::alsaPlaybackDevices();
    EXPECT_TRUE(whileProgramming([&] {
        QRadioButton* option = FRM_Prog->OPT_Soundcard;
        EXPECT_TRUE(option->toolTip().contains(QStringLiteral("Standardgerät (ALSA default)")));
        std::vector<MenuEntry> entries;
        ASSERT_TRUE(useMenu(false, cable, &entries)) << "right click";
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].text, QStringLiteral("Standardgerät (ALSA default)"));
        EXPECT_TRUE(entries[0].checked);
        QStringList texts;
        for (const MenuEntry& entry : entries)
            texts << entry.text;
        EXPECT_EQ(texts.removeDuplicates(), 0) << texts.join(u'|').toStdString();
        for (const Row& row : rows) {
            const auto device = std::find_if(devices.begin(), devices.end(),
                                             [&](const auto& d) { return d.name == row.name; });
            if (device == devices.end()) {
                EXPECT_FALSE(row.offered) << row.name << " is missing from ALSA's hints";
                continue;
            }
            EXPECT_EQ(texts.contains(QString::fromStdString(device->description)), row.offered)
                << row.name;
        }
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceName(), "zuvela_cable");
        EXPECT_TRUE(option->toolTip().contains(cable)) << option->toolTip().toStdString();
        EXPECT_TRUE(option->isChecked()) << "the menu does not change the option";

        click(FRM_Prog->BTN_Go);
        ASSERT_TRUE(QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000));
        EXPECT_GT(playedOn("zuvela_cable").size(), 100000u);
        EXPECT_EQ(capture->size(), 0u) << "the default device played";
    }));

    // The next start finds the same device, checked in the menu; the menu key opens it too.
    restartProgram();
    EXPECT_TRUE(whileProgramming([] {
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceName(), "zuvela_cable");
        std::vector<MenuEntry> entries;
        ASSERT_TRUE(useMenu(true, QStringLiteral("Standardgerät"), &entries)) << "menu key";
        for (const MenuEntry& entry : entries)
            EXPECT_EQ(entry.checked, entry.text.startsWith(cable)) << entry.text.toStdString();
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceName(), "");
    }));
    restartProgram();
    EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceName(), "") << "the default is stored as well";
}

// A device that is gone stays chosen: the send fails naming it and plays nowhere else.
TEST_F(DeviceChoice, aChosenDeviceThatIsGoneIsNamedAndNothingPlaysElsewhere) {
    QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela"))
        .setValue(QStringLiteral("Soundkarte/Geraet"), QStringLiteral("zuvela_unplugged"));
    restartProgram();
    const QString tip = FRM_Prog->OPT_Soundcard->toolTip();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Ausgabegerät: zuvela_unplugged\n")))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("nicht vorhanden"))) << tip.toStdString();
    EXPECT_EQ(FRM_Prog->SoundDevice->deviceName(), QStringLiteral("zuvela_unplugged"));
    EXPECT_TRUE(whileProgramming([] {
        std::vector<SeenBox> boxes;
        runWithModals([] { click(FRM_Prog->BTN_Go); }, nullptr, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\n"
                                                "Das Ausgabegerät \"zuvela_unplugged\" ist "
                                                "nicht vorhanden."));
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
        EXPECT_EQ(capture->size(), 0u) << "the default device played";
    }));
}

// The choice is a name, resolved at every send as ALSA lists its devices then.
TEST_F(DeviceChoice, everySendFindsTheChosenDeviceByItsNameOrNamesItAsGone) {
    const std::filesystem::path& config = capture->configFile();
    std::string original;
    {
        std::ifstream in(config);
        original.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string earlier = original; // a device listed before every named one
    earlier.insert(
        earlier.find("pcm.zuvela_cable {"),
        "pcm.zuvela_new {\n    type null\n    hint { show on description \"New\" }\n}\n");
    const std::string without = original.substr(0, original.find("pcm.zuvela_speakers {"));
    struct Row {
        const char* what;
        const std::string& config;
        bool plays;
    } rows[] = {
        {"another device comes before it", earlier, true},
        {"it is gone", without, false},
        {"it is back", original, true},
    };
    EXPECT_TRUE(whileProgramming([&] {
        ASSERT_TRUE(FRM_Prog->SoundDevice->choose(QStringLiteral("zuvela_speakers")));
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            std::ofstream(config, std::ios::trunc) << row.config;
            for (const char* name : testsupport::AlsaCapture::namedPcms)
                std::filesystem::remove(capture->namedPcmFile(name));
            capture->clear();
            const std::vector<SeenBox> boxes = sayingYes([] {
                click(FRM_Prog->BTN_Go);
                EXPECT_TRUE(QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000));
            });
            EXPECT_EQ(playedOn("zuvela_speakers").empty(), !row.plays);
            EXPECT_TRUE(playedOn("zuvela_cable").empty()) << "played on another device";
            EXPECT_EQ(capture->size(), 0u) << "played on the default device";
            const QString tip = FRM_Prog->OPT_Soundcard->toolTip();
            EXPECT_TRUE(tip.contains(QStringLiteral("zuvela_speakers"))) << tip.toStdString();
            if (row.plays) {
                EXPECT_TRUE(boxes.empty());
            } else {
                ASSERT_EQ(boxes.size(), 1u);
                EXPECT_EQ(boxes[0].text,
                          QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\nDas "
                                         "Ausgabegerät \"zuvela_speakers\" ist nicht vorhanden."));
                EXPECT_TRUE(tip.contains(QStringLiteral("nicht vorhanden")));
            }
        }
    }));
}

// On the scripted layer, which holds the send until the test completes its buffers.
TEST_F(DeviceChoice, theDeviceCannotChangeWhileASendPlays) {
    platform::WaveOutSim out;
    platform::WaveInSim in{1};
    platform::WaveMixerSim mixer;
    QWidget form;
    auto* option = new QRadioButton(QStringLiteral("Soundkarte"), &form);
    form.show();
    auto* audio = new TAudio(&form, {&out, &in, &mixer});
    audio->Player->SetSampleRate(22050);
    auto* choice = new SoundDeviceChoice(option, audio, [] {
        return std::vector<platform::AlsaDevice>{{"zuvela_cable", "Zuvela Test Card, cable"}};
    });
    QBuffer sound;
    sound.setData(QByteArray(40000, 'x'));
    sound.open(QIODevice::ReadOnly);
    audio->Player->Play(&sound, nullptr, 0);
    ASSERT_TRUE(audio->Player->IsOpen());

    std::vector<SeenBox> boxes;
    runWithModals([&] { EXPECT_TRUE(useMenu(false, "Zuvela", nullptr, option)); }, nullptr, &boxes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Während des Sendens kann das Ausgabegerät nicht "
                                            "gewechselt werden."));
    EXPECT_EQ(audio->AudioDeviceName(), "");
    EXPECT_TRUE(choice->deviceName().isEmpty());
    EXPECT_TRUE(QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela"))
                    .value(QStringLiteral("Soundkarte/Geraet"))
                    .toString()
                    .isEmpty());

    while (out.completeNext())
        QTest::qWait(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !audio->Player->IsOpen(); }, 3000));
    EXPECT_TRUE(useMenu(false, "Zuvela", nullptr, option));
    EXPECT_EQ(audio->AudioDeviceName(), "zuvela_cable");
    EXPECT_EQ(choice->deviceName(), QStringLiteral("zuvela_cable"));
    EXPECT_TRUE(
        option->toolTip().contains(QStringLiteral("Ausgabegerät: Zuvela Test Card, cable\n")));
}

// The whole job by keyboard: an address, Enter, Enter (the send reaches ALSA), Esc.
TEST_F(DeviceChoice, theWholeJobByKeyboardAndNothingThatShapesASendChangesDuringIt) {
    QWidget* field = QApplication::focusWidget();
    ASSERT_EQ(field, static_cast<QWidget*>(FRM_Main->TXT_Adresse_01));
    QTest::keyClicks(field, QStringLiteral("12345")); // replaces the selected start-up address
    bool shown = false;
    runWithModals([&] { QTest::keyClick(field, Qt::Key_Return); },
                  [&](QWidget* modal) {
                      if (modal != FRM_Prog)
                          return;
                      shown = true;
                      TFRM_Prog& d = *FRM_Prog;
                      EXPECT_TRUE(d.TXT_Daten->toPlainText().contains("05 : 1530 : Adresse 1"));
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                      ASSERT_TRUE(d.Sending());
                      QWidget* const controls[] = {d.BAR_Tonlen,     d.BAR_TonPause,
                                                   d.BAR_BlockPause, d.BAR_Amplitude,
                                                   d.OPT_Soundcard,  d.OPT_PCSpeaker};
                      for (QWidget* control : controls)
                          EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
                      EXPECT_FALSE(useMenu(true, cable, nullptr)) << "a device menu mid-send";
                      ASSERT_TRUE(QTest::qWaitFor([&] { return !d.Sending(); }, 20000));
                      EXPECT_EQ(d.LBL_Status->text(), QStringLiteral("\u2714 Gesendet."));
                      EXPECT_TRUE(d.BAR_Amplitude->isEnabled());
                      EXPECT_TRUE(d.OPT_PCSpeaker->isEnabled());
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                      EXPECT_FALSE(d.isVisible());
                  });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(capture->read() ==
                renderSequence(toneSequence(FRM_Prog->Tones, 100, 30, 700), 100));
    EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceName(), "") << "the default played";

    // Strg+O and Strg+S open the two file dialogs (the offscreen platform hands the
    // activation back to the main window only when asked).
    for (const auto& [key, dialog] :
         {std::pair{Qt::Key_O, "DLG_Open"}, std::pair{Qt::Key_S, "DLG_Save"}}) {
        QApplication::setActiveWindow(FRM_Main);
        QString seen;
        const Qt::Key pressed = key; // a lambda may not capture a structured binding here
        runWithModals([pressed] { QTest::keyClick(FRM_Main, pressed, Qt::ControlModifier); },
                      [&](QWidget* modal) {
                          seen = modal->objectName();
                          modal->close();
                      });
        EXPECT_EQ(seen, QString::fromLatin1(dialog));
    }
}

} // namespace

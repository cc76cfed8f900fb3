// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the sound card: the "Soundkarte" option's context menu over real ALSA devices
// (named PCMs of the test configuration), the stored choice, and a device that is gone.
#include "Audio.h"
#include "SoundDeviceChoice.h"
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
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
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

class DeviceChoice : public CapturedProgramTest {
protected:
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

    static int deviceNumber(const char* name) {
        const auto names = platform::alsaPlaybackDeviceNames();
        return int(std::find(names.begin(), names.end(), name) - names.begin());
    }

    static std::vector<uint8_t> playedOn(const char* name) {
        std::ifstream in(capture->namedPcmFile(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

const QString cable = QStringLiteral("Zuvela Test Card, zuvela_cable: Output of zuvela_cable");

TEST_F(DeviceChoice, theMenuListsEveryDeviceAndTheChoiceSendsThereAndOutlivesTheProgram) {
    EXPECT_TRUE(whileProgramming([] {
        QRadioButton* option = FRM_Prog->OPT_Soundcard;
        EXPECT_TRUE(option->toolTip().contains(QStringLiteral("Standardgerät (ALSA default)")));
        std::vector<MenuEntry> entries;
        ASSERT_TRUE(useMenu(false, cable, &entries)) << "right click";
        const auto devices = platform::alsaPlaybackDevices();
        ASSERT_EQ(entries.size(), devices.size() + 1);
        EXPECT_EQ(entries[0].text, QStringLiteral("Standardgerät (ALSA default)"));
        EXPECT_TRUE(entries[0].checked);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const QString name = QString::fromStdString(devices[i].name);
            EXPECT_TRUE(entries[i + 1].text == name ||
                        entries[i + 1].text.endsWith(QStringLiteral(" (%1)").arg(name)))
                << entries[i + 1].text.toStdString();
            EXPECT_FALSE(entries[i + 1].checked);
        }
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceID(), deviceNumber("zuvela_cable"));
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
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceID(), deviceNumber("zuvela_cable"));
        std::vector<MenuEntry> entries;
        ASSERT_TRUE(useMenu(true, QStringLiteral("Standardgerät"), &entries)) << "menu key";
        for (const MenuEntry& entry : entries)
            EXPECT_EQ(entry.checked, entry.text.startsWith(cable)) << entry.text.toStdString();
        EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceID(), -1);
    }));
    restartProgram();
    EXPECT_EQ(FRM_Prog->AUD_Main->AudioDeviceID(), -1) << "the default is stored as well";
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
            std::vector<SeenBox> boxes;
            runWithModals(
                [] {
                    click(FRM_Prog->BTN_Go);
                    EXPECT_TRUE(
                        QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000));
                },
                nullptr, &boxes);
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
    EXPECT_EQ(audio->AudioDeviceID(), -1);
    EXPECT_TRUE(choice->deviceName().isEmpty());
    EXPECT_TRUE(QSettings(QStringLiteral("zuvela"), QStringLiteral("zuvela"))
                    .value(QStringLiteral("Soundkarte/Geraet"))
                    .toString()
                    .isEmpty());

    while (out.completeNext())
        QTest::qWait(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !audio->Player->IsOpen(); }, 3000));
    EXPECT_TRUE(useMenu(false, "Zuvela", nullptr, option));
    EXPECT_EQ(audio->AudioDeviceID(), 0);
    EXPECT_EQ(choice->deviceName(), QStringLiteral("zuvela_cable"));
    EXPECT_TRUE(
        option->toolTip().contains(QStringLiteral("Zuvela Test Card, cable (zuvela_cable)")));
}

} // namespace

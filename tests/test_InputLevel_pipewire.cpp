// SPDX-License-Identifier: GPL-3.0-or-later
// "Eingangspegel …" and the check's input menu on a desktop's sound path: ALSA's default goes
// through PipeWire's plugin, its PulseAudio plugin stands beside it, and the input is the monitor
// of the server's sink. The window turns that source, never the sink; the menu names the
// server's sources by their descriptions, and the recording opens the one chosen.
#include "Audio.h"
#include "CableCheck.h"
#include "CheckRecording.h"
#include "InputLevel.h"
#include "support/GuiHelpers.h"
#include "support/PipeWireServer.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using testsupport::PipeWireServer;

const QString kMonitor = QStringLiteral("zuvela_sink.monitor");

class DesktopPipeWire : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString missing = server_.missing(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        ASSERT_TRUE(server_.start()) << server_.error().toStdString();
        ASSERT_FALSE(server_.pulseAlsaConfig().empty())
            << "PipeWire's PulseAudio layer or ALSA's plugin is missing";
        // As Debian's desktop has it: both plugins, "default" through PipeWire's.
        std::ofstream("asound-desktop.conf")
            << "</usr/share/alsa/alsa.conf>\n"
               "@hooks.!0 { func load files [ ] errors false }\n"
               "</usr/share/alsa/alsa.conf.d/50-pipewire.conf>\n"
               "</usr/share/alsa/alsa.conf.d/50-pulseaudio.conf>\n"
               "pcm.!default { type pipewire playback_node \"-1\" capture_node \"-1\" }\n"
               "ctl.!default { type pipewire }\n";
        for (const QString& entry :
             server_.childEnvironment(std::filesystem::absolute("asound-desktop.conf")))
            if (entry.startsWith(QLatin1String("ALSA_CONFIG_PATH=")) ||
                entry.startsWith(QLatin1String("PULSE_SERVER=")))
                qputenv(entry.section(u'=', 0, 0).toLocal8Bit().constData(),
                        entry.section(u'=', 1).toLocal8Bit());
        for (const QStringList& args : {QStringList{"set-default-source", kMonitor},
                                        QStringList{"set-source-volume", kMonitor, "100%"},
                                        QStringList{"set-sink-volume", "zuvela_sink", "100%"}})
            ASSERT_FALSE(pactl(args).isEmpty()) << args.join(u' ').toStdString();
    }
    void TearDown() override { qunsetenv("PULSE_SERVER"); }

    // pactl, another client of the server: its output, empty when it failed.
    QString pactl(const QStringList& args) {
        QProcess p;
        p.setEnvironment(server_.childEnvironment(server_.alsaConfig()));
        p.start(QStringLiteral("pactl"), args);
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return {};
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        return out.isEmpty() ? QStringLiteral("ok") : out;
    }

    PipeWireServer server_;
};

// Both ways to name the monitor: as the default input and by its own name.
TEST_F(DesktopPipeWire, theInputLevelTurnsTheSourceAndLeavesTheSink) {
    for (const QString& input : {QString(), QStringLiteral("pulse:") + kMonitor}) {
        SCOPED_TRACE(input.toStdString());
        ASSERT_FALSE(pactl({"set-source-volume", kMonitor, "100%"}).isEmpty());
        QString message;
        InputLevelWindow* window = InputLevelWindow::open(nullptr, input, message);
        ASSERT_NE(window, nullptr) << message.toStdString();
        window->show();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Eingangspegel – Monitor of zuvela_sink"));
        auto* caption = window->findChild<QLabel*>(QStringLiteral("LBL_Zeile_0"));
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->text(), QStringLiteral("Aufnahme"));
        auto* level = window->findChild<QSlider*>(QStringLiteral("BAR_Pegel_0"));
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->value(), 100);
        // Down to nothing, then seven pages up.
        level->setFocus();
        QTest::keyClick(level, Qt::Key_Home);
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(level, Qt::Key_PageUp);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return pactl({"get-source-volume", kMonitor}).contains(QStringLiteral(" 70%"));
            },
            5000))
            << pactl({"get-source-volume", kMonitor}).toStdString();
        EXPECT_TRUE(pactl({"get-sink-volume", "zuvela_sink"}).contains(QStringLiteral(" 100%")))
            << pactl({"get-sink-volume", "zuvela_sink"}).toStdString();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(DesktopPipeWire, theInputMenuNamesTheServersSourcesAndTheChosenOneRecords) {
    CableCheck check(nullptr);
    check.setInputName(QString());
    QMenu menu;
    check.addToMenu(menu);
    auto* inputs = menu.findChild<QMenu*>(QStringLiteral("MNU_Eingang"));
    ASSERT_NE(inputs, nullptr);
    QStringList texts;
    QAction* monitor = nullptr;
    for (QAction* action : inputs->actions()) {
        texts << action->text();
        if (action->text() == QLatin1String("Monitor of zuvela_sink"))
            monitor = action;
    }
    EXPECT_EQ(texts.value(0), QStringLiteral("Standardeingang"));
    EXPECT_FALSE(texts.contains(QStringLiteral("null"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("default"))) << texts.join(u'|').toStdString();
    ASSERT_NE(monitor, nullptr) << texts.join(u'|').toStdString();
    monitor->trigger();
    EXPECT_EQ(check.inputName(), QStringLiteral("pulse:") + kMonitor);

    CheckRecording recording;
    QString message;
    ASSERT_TRUE(recording.start(check.inputName().toStdString(), message)) << message.toStdString();
    recording.cancel();
    check.setInputName(QString());
}

} // namespace

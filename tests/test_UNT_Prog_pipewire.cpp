// SPDX-License-Identifier: GPL-3.0-or-later
// "OK und los !" through a real sound server: ALSA's default routed to PipeWire, whose null
// sink's monitor is recorded. The server is the test's own (private bus and runtime folder).
#include "Audio.h"
#include "CableCheck.h"
#include "LevelCheck.h"
#include "ToneSequence.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "UserTexts.h"
#include "WaveMixer.h"
#include "support/ChildSignal.h"
#include "support/GuiHelpers.h"
#include "support/PipeWireServer.h"
#include "support/ToneDecoder.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string_view>

namespace {

using testsupport::PipeWireServer;
using testsupport::signalChild;

constexpr int kSilence = -256; // the silence value 127, widened
constexpr double kSamplesPerMs = kSampleRate / 1000.0;
const QString kInterrupted =
    QStringLiteral("Die Soundkarte steht nicht zur Verfügung!\r\nDie Übertragung wurde "
                   "unterbrochen, der Empfänger ist nicht vollständig programmiert. Bitte "
                   "erneut senden.");

class OnPipeWire : public ProgramTest {
protected:
    static void SetUpTestSuite() {
        server = new PipeWireServer();
        if (server->missing().isEmpty() && !server->start())
            startError = server->error();
        // The output layer, here and in every zuvela-cli started from here, writes what the
        // judge read of each stream there.
        readingsDir = new QTemporaryDir();
        setenv("ZUVELA_STREAM_READINGS", readingsFile().c_str(), 1);
    }
    static void TearDownTestSuite() {
        unsetenv("ZUVELA_STREAM_READINGS");
        delete readingsDir;
        readingsDir = nullptr;
        delete server;
        server = nullptr;
    }
    static std::string readingsFile() {
        return readingsDir->filePath(QStringLiteral("readings.txt")).toStdString();
    }
    // The judge's readings of the streams since the last call, for the message of a test
    // whose sink got the sound otherwise than the verdict said.
    static std::string judgeReadings() {
        std::ifstream in(readingsFile());
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        std::filesystem::remove(readingsFile());
        return "\nthe judge's readings (seconds, ALSA state, delay, frames written, trigger):\n" +
               text;
    }
    void SetUp() override {
        if (!server->missing().isEmpty())
            GTEST_SKIP() << server->missing().toStdString();
        ASSERT_TRUE(startError.isEmpty()) << startError.toStdString();
        ProgramTest::SetUp();
    }

    static std::vector<uint8_t> expectedSound() {
        const TFRM_Prog& d = *FRM_Prog;
        return renderSequence(toneSequence(d.Tones, uint16_t(d.BAR_Tonlen->value() * 10),
                                           uint16_t(d.BAR_TonPause->value() * 10),
                                           uint16_t(d.BAR_BlockPause->value() * 100)),
                              uint8_t(d.BAR_Amplitude->value() * 10));
    }
    static bool waitForPlayed() {
        return QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000);
    }

    // The recording from `from` on, once it holds where the sound begins, `length` samples
    // from there (as long as the sound can be) and 0.2 s after them. pw-record writes its file
    // in blocks and runs behind on a busy machine, so this waits on what the file holds, up to
    // a deadline, never a fixed time.
    static std::vector<int16_t> recordedSince(std::size_t from, std::size_t length) {
        std::vector<int16_t> r;
        // On time out the recording is taken as it is: what is missing then shows in the test.
        static_cast<void>(QTest::qWaitFor(
            [&] {
                r = server->recorded(from);
                const std::size_t first = extent(r).first;
                return first < r.size() && r.size() >= first + length + kTail;
            },
            15000));
        return r;
    }
    static std::size_t samplesIn(qint64 ms) { return std::size_t(double(ms) * kSamplesPerMs); }
    // Once the server runs again after a stop: its monitor recording grows again.
    static bool serverStreams() {
        const std::size_t before = server->recordedCount();
        return QTest::qWaitFor([&] { return server->recordedCount() >= before + kTail; }, 10000);
    }
    static constexpr std::size_t kTail = kSampleRate / 5;

    // Where the sound begins and ends: the first and last sample that is neither the sink's
    // own silence (0) nor ours.
    static std::pair<std::size_t, std::size_t> extent(const std::vector<int16_t>& r) {
        std::size_t first = 0;
        while (first < r.size() && (r[first] == 0 || r[first] == kSilence))
            ++first;
        std::size_t end = r.size();
        while (end > first && (r[end - 1] == 0 || r[end - 1] == kSilence))
            --end;
        return {first, end};
    }

    static std::vector<uint8_t> narrowed(const std::vector<int16_t>& r, std::size_t from,
                                         std::size_t to) {
        std::vector<uint8_t> samples;
        for (std::size_t i = from; i < to; ++i)
            samples.push_back(uint8_t(std::clamp(std::lround(r[i] / 256.0) + 128, 0L, 255L)));
        return samples;
    }

    static PipeWireServer* server;
    static QString startError;
    static QTemporaryDir* readingsDir;
};
PipeWireServer* OnPipeWire::server = nullptr;
QString OnPipeWire::startError;
QTemporaryDir* OnPipeWire::readingsDir = nullptr;

TEST_F(OnPipeWire, aSendArrivesCompleteAndOnTimeWithNothingLoudAroundIt) {
    EXPECT_TRUE(whileProgramming([] {
        const std::vector<uint8_t> expected = expectedSound();
        const std::size_t mark = server->recorded().size();
        click(FRM_Prog->BTN_Go);
        ASSERT_TRUE(waitForPlayed());
        EXPECT_EQ(FRM_Prog->LBL_Status->text(), QStringLiteral("✔ Gesendet."));
        const std::vector<int16_t> r = recordedSince(mark, expected.size());
        const auto [first, end] = extent(r);
        ASSERT_LT(first, r.size()) << "nothing arrived at the sink";
        // The sound is our samples widened, tone for tone; its last tone pause is silence.
        const std::vector<uint8_t> heard = narrowed(r, first, first + expected.size());
        EXPECT_LE(end, first + expected.size());
        std::size_t same = 0;
        while (same < expected.size() && same < heard.size() && heard[same] == expected[same])
            ++same;
        EXPECT_EQ(same, expected.size())
            << "first difference at sample " << same << judgeReadings();

        std::vector<DecodedSegment> want;
        for (const ToneSegment& s :
             toneSequence(FRM_Prog->Tones, uint16_t(FRM_Prog->BAR_Tonlen->value() * 10),
                          uint16_t(FRM_Prog->BAR_TonPause->value() * 10),
                          uint16_t(FRM_Prog->BAR_BlockPause->value() * 100))) {
            if (s.frequency == 0 && !want.empty() && want.back().frequency == 0)
                want.back().length += sampleCount(s.duration);
            else
                want.push_back({double(s.frequency), sampleCount(s.duration)});
        }
        const std::vector<DecodedSegment> got = decodeTones(heard, kSampleRate);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].frequency, want[i].frequency, 2.0) << "segment " << i;
            EXPECT_NEAR(double(got[i].length), double(want[i].length), 0.5 * kSamplesPerMs)
                << "segment " << i << ": tone and pause lengths within 0.5 ms";
        }
        // Nothing loud outside the tones: before, and after the last one.
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (i < first || i >= end) {
                ASSERT_LE(std::abs(int(r[i])), 256) << "sample " << i - first << " from the start";
            }
        }
    }));
}

TEST_F(OnPipeWire, closingTheDialogMidSendStopsTheSoundAtOnce) {
    const std::size_t mark = server->recorded().size();
    QElapsedTimer clock;
    qint64 closedAfter = 0;
    std::vector<uint8_t> expected;
    EXPECT_TRUE(whileProgramming([&] {
        expected = expectedSound();
        click(FRM_Prog->BTN_Go);
        clock.start();
        QTest::qWait(1200);
        closedAfter = clock.elapsed();
        FRM_Prog->close();
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
    }));
    const std::vector<int16_t> r = recordedSince(mark, samplesIn(closedAfter + 20));
    const auto [first, end] = extent(r);
    ASSERT_LT(first, r.size());
    const double playedMs = double(end - first) / kSamplesPerMs;
    // The sound began after the click, so whatever plays past the close shows up here.
    EXPECT_LE(playedMs, double(closedAfter) + 20.0) << "closed after " << closedAfter << " ms";
    EXPECT_GT(playedMs, 500.0);
    // The last few milliseconds fade out, no louder than the sound itself.
    const std::vector<uint8_t> heard = narrowed(r, first, end);
    const std::size_t fade = std::min(heard.size(), std::size_t(8 * kSamplesPerMs));
    EXPECT_TRUE(std::equal(heard.begin(), heard.end() - std::ptrdiff_t(fade), expected.begin()))
        << "what played is the start of the sequence";
    const int peak = *std::max_element(expected.begin(), expected.end()) - 128;
    for (std::size_t i = end - fade; i < end; ++i)
        ASSERT_LE(std::abs(int(r[i])), peak * 256 + 256) << "the fade is no louder than the sound";
    for (std::size_t i = end; i < r.size(); ++i)
        ASSERT_LE(std::abs(int(r[i])), 256) << "no pop after the stop";
}

TEST_F(OnPipeWire, aServerThatDiesMidSendIsReportedAndTheNextSendIsComplete) {
    EXPECT_TRUE(whileProgramming([] {
        click(FRM_Prog->BTN_Go);
        ASSERT_FALSE(FRM_Prog->BTN_Go->isEnabled())
            << FRM_Prog->AUD_Main->ErrorMessage.toStdString();
        QTest::qWait(500);
        std::vector<SeenBox> boxes;
        QElapsedTimer clock;
        runWithModals(
            [&] {
                server->killServer();
                clock.start();
                EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000));
            },
            nullptr, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        RecordProperty("killToBoxMs", int(clock.elapsed()));
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(boxes[0].text.startsWith(kInterrupted + QStringLiteral("\r\nUrsache: ")))
            << boxes[0].text.toStdString();
        EXPECT_EQ(boxes[0].owner, FRM_Prog);
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
        EXPECT_FALSE(FRM_Prog->AUD_Main->Player->IsOpen());

        // The server is back: the next send is complete.
        server->stop();
        ASSERT_TRUE(server->start()) << server->error().toStdString();
        const std::vector<uint8_t> expected = expectedSound();
        const std::size_t mark = server->recorded().size();
        boxes.clear();
        runWithModals(
            [] {
                click(FRM_Prog->BTN_Go);
                EXPECT_TRUE(waitForPlayed());
            },
            nullptr, &boxes);
        EXPECT_TRUE(boxes.empty());
        const std::vector<int16_t> r = recordedSince(mark, expected.size());
        const auto [first, end] = extent(r);
        const std::vector<uint8_t> heard = narrowed(r, first, first + expected.size());
        EXPECT_TRUE(heard == expected) << r.size() << " samples recorded" << judgeReadings();
    }));
}

// zuvela-cli send on the same server: Ctrl+C stops the sound at once and ends the program by
// the signal (a shell's status 130).
TEST_F(OnPipeWire, ctrlCStopsTheCommandLineSendAtOnceWithStatus130) {
    const std::size_t mark = server->recorded().size();
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(ZUVELA_CLI),
              {QStringLiteral("send"), QStringLiteral("--address"), QStringLiteral("1=12345"),
               QStringLiteral("--address"), QStringLiteral("2=67890")});
    ASSERT_TRUE(cli.waitForStarted());
    QTest::qWait(1500);
    const qint64 interruptedAfter = clock.elapsed();
    ASSERT_TRUE(signalChild(cli, SIGINT)) << "zuvela-cli had ended already";
    ASSERT_TRUE(cli.waitForFinished(3000));
    EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(cli.exitCode(), SIGINT); // Qt's code of a process ended by a signal
    EXPECT_EQ(cli.readAllStandardError(), QByteArray("Abgebrochen.\n"));

    const std::vector<int16_t> r = recordedSince(mark, samplesIn(interruptedAfter + 20));
    const auto [first, end] = extent(r);
    ASSERT_LT(first, r.size()) << "nothing arrived at the sink";
    const double playedMs = double(end - first) / kSamplesPerMs;
    // The sound began after the start, so whatever plays past the signal shows up here.
    EXPECT_LE(playedMs, double(interruptedAfter) + 20.0);
    EXPECT_GT(playedMs, 500.0);
    for (std::size_t i = end; i < r.size(); ++i)
        ASSERT_LE(std::abs(int(r[i])), 256) << "no pop after the stop";
}

} // namespace

namespace {

const std::string kInterruptedCli =
    "zuvela-cli send: Die Soundkarte steht nicht zur Verfügung!\nDie Übertragung wurde "
    "unterbrochen, der Empfänger ist nicht vollständig programmiert. Bitte erneut senden.\n";

QStringList sendArgs(const char* address) {
    return {QStringLiteral("send"), QStringLiteral("--amplitude"), QStringLiteral("40"),
            QStringLiteral("--address"), QString::fromLatin1(address)};
}

// What zuvela-cli sends for these arguments, as render writes it.
std::vector<uint8_t> rendered(QStringList args) {
    args[0] = QStringLiteral("render");
    args << QStringLiteral("-o") << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral(ZUVELA_CLI), args);
    p.waitForFinished(10000);
    const QByteArray out = p.readAllStandardOutput();
    return {out.begin(), out.end()};
}

int16_t widen(uint8_t x) {
    return int16_t((int(x) - 128) * 256);
}

// Two sends that overlap reach the sink mixed (summed). Takes the first out of the recording
// from its first sample on; what is left must be the second alone, sample for sample.
::testing::AssertionResult mixOf(const std::vector<int16_t>& r, const std::vector<uint8_t>& a,
                                 const std::vector<uint8_t>& b) {
    std::size_t first = 0;
    while (first < r.size() && r[first] == 0)
        ++first;
    std::vector<int> rest;
    for (std::size_t i = first; i < r.size(); ++i)
        rest.push_back(r[i] - (i - first < a.size() ? widen(a[i - first]) : 0));
    std::size_t second = 0;
    while (second < rest.size() && rest[second] == 0)
        ++second;
    if (second + b.size() > rest.size())
        return ::testing::AssertionFailure() << "the second send is not all there";
    for (std::size_t j = 0; j < b.size(); ++j)
        if (rest[second + j] != widen(b[j]))
            return ::testing::AssertionFailure()
                   << "differs at sample " << j << " of the second send, which began " << second
                   << " samples after the first";
    for (std::size_t i = second + b.size(); i < rest.size(); ++i)
        if (rest[i] != 0)
            return ::testing::AssertionFailure() << "more sound after both at " << i;
    return ::testing::AssertionSuccess() << "second began after " << second << " samples";
}

} // namespace

// Two zuvela-cli sends at once: each plays its own samples, whatever the other writes.
TEST_F(OnPipeWire, twoCommandLineSendsAtOnceEachPlayTheirOwnSamples) {
    const QStringList argsA = sendArgs("1=12345")
                              << QStringLiteral("--address") << QStringLiteral("2=13579");
    const QStringList argsB = sendArgs("1=67890");
    const std::vector<uint8_t> a = rendered(argsA);
    const std::vector<uint8_t> b = rendered(argsB);
    const std::size_t mark = server->recorded().size();
    QProcess first, second;
    QElapsedTimer both;
    both.start();
    first.start(QStringLiteral(ZUVELA_CLI), argsA);
    ASSERT_TRUE(first.waitForStarted());
    QTest::qWait(1500); // 4.1 s against 2.8 s: they overlap by more than 2 s
    second.start(QStringLiteral(ZUVELA_CLI), argsB);
    // A send that ended early (its message below) has finished already: no wait is left.
    for (QProcess* p : {&first, &second})
        ASSERT_TRUE(p->state() == QProcess::NotRunning || p->waitForFinished(15000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(mixOf(recordedSince(mark, samplesIn(both.elapsed())), a, b)) << judgeReadings();
}

// Two dialogs sending at once (two windows of the program): each plays its own samples.
TEST_F(OnPipeWire, twoWindowsSendingAtOnceEachPlayTheirOwnSamples) {
    TFRM_Prog other(nullptr);
    TProgTones tones{};
    for (std::size_t i = 0; i < 16; ++i)
        tones[i] = uint16_t(1060 + 60 * i);
    other.SetProgTones(tones);
    EXPECT_TRUE(whileProgramming([&] {
        std::vector<uint8_t> sounds[2];
        for (TFRM_Prog* d : {FRM_Prog, &other})
            d->BAR_Amplitude->setValue(4); // two sounds summed stay within 16 bits
        const std::size_t mark = server->recorded().size();
        TFRM_Prog* order[] = {&other, FRM_Prog}; // the longer one first
        QElapsedTimer both;
        both.start();
        for (int i = 0; i < 2; ++i) {
            TFRM_Prog* d = order[i];
            sounds[i] = renderSequence(toneSequence(d->Tones, 100, 30, 700), 40);
            click(d->BTN_Go);
            ASSERT_FALSE(d->BTN_Go->isEnabled()) << d->AUD_Main->ErrorMessage.toStdString();
            if (i == 0)
                QTest::qWait(1500);
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return FRM_Prog->BTN_Go->isEnabled() && other.BTN_Go->isEnabled(); }, 20000));
        EXPECT_TRUE(mixOf(recordedSince(mark, samplesIn(both.elapsed())), sounds[0], sounds[1]))
            << judgeReadings();
    }));
}

// Every wait on the server has an end: a server that stays stopped ends the send as a failure
// in time, and Ctrl+C always ends it.
TEST_F(OnPipeWire, aServerThatStaysStoppedEndsTheCommandLineSendAsAFailure) {
    const QStringList args = sendArgs("1=12345"); // 2.8 s of sound
    struct Row {
        const char* what;
        int afterMs; // from the start of zuvela-cli
        std::function<void(const QProcess& cli)> act;
        int exitCode; // or the signal that ended it
        std::string err;
        int withinMs; // from the act to the end of zuvela-cli
    } rows[] = {
        {"server stopped while streaming", 1200,
         [](const QProcess&) { EXPECT_TRUE(server->signalServer(SIGSTOP)); }, 1, kInterruptedCli,
         3000},
        {"server stopped in the drain", 3300,
         [](const QProcess&) { EXPECT_TRUE(server->signalServer(SIGSTOP)); }, 1, kInterruptedCli,
         3000},
        {"Ctrl+C while the server is stopped", 1200,
         [](const QProcess& c) {
             EXPECT_TRUE(server->signalServer(SIGSTOP));
             EXPECT_TRUE(signalChild(c, SIGINT)) << "zuvela-cli had ended already";
         },
         SIGINT, "Abgebrochen.\n", 500}, // ended by the signal
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QProcess cli;
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(ZUVELA_CLI), args);
        ASSERT_TRUE(cli.waitForStarted());
        QTest::qWait(row.afterMs);
        QElapsedTimer sinceAct;
        sinceAct.start();
        row.act(cli);
        // An act that waits runs the event loop, which may see the end already.
        const bool ended = cli.state() == QProcess::NotRunning || cli.waitForFinished(5000);
        const qint64 took = sinceAct.elapsed();
        server->signalServer(SIGCONT);
        ASSERT_TRUE(ended);
        EXPECT_LE(took, row.withinMs);
        EXPECT_EQ(cli.exitCode(), row.exitCode);
        const std::string err = cli.readAllStandardError().toStdString();
        EXPECT_EQ(err.substr(0, row.err.size()), row.err) << err; // and the cause after it
        EXPECT_TRUE(serverStreams()) << "the server did not catch up";
    }
}

// The window: a stopped server gives the message in time, and closing the dialog works
// while the send waits on it.
TEST_F(OnPipeWire, aStoppedServerGivesTheWindowsMessageAndClosingTheDialogWorksMeanwhile) {
    EXPECT_TRUE(whileProgramming([&] {
        click(FRM_Prog->BTN_Go);
        QTest::qWait(1000);
        std::vector<SeenBox> boxes;
        QElapsedTimer clock;
        runWithModals(
            [&] {
                EXPECT_TRUE(server->signalServer(SIGSTOP));
                clock.start();
                EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 5000));
            },
            nullptr, &boxes);
        EXPECT_LT(clock.elapsed(), 3000);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.startsWith(kInterrupted + QStringLiteral("\r\nUrsache: ")))
            << boxes[0].text.toStdString();
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());

        // Stopped again in the middle of the next send: the dialog closes at once.
        server->signalServer(SIGCONT);
        ASSERT_TRUE(serverStreams()) << "the server did not catch up";
        click(FRM_Prog->BTN_Go);
        QTest::qWait(800);
        EXPECT_TRUE(server->signalServer(SIGSTOP));
        QTest::qWait(100);
        clock.restart();
        FRM_Prog->close();
        EXPECT_LT(clock.elapsed(), 500);
        EXPECT_FALSE(FRM_Prog->isVisible());
        EXPECT_TRUE(FRM_Prog->BTN_Go->isEnabled());
    }));
    server->signalServer(SIGCONT);
}

namespace {

// Whether the recording holds the sound, widened, sample for sample and without a break.
bool contains(const std::vector<int16_t>& recording, const std::vector<uint8_t>& sound) {
    std::vector<int16_t> wide(sound.size());
    std::transform(sound.begin(), sound.end(), wide.begin(), widen);
    return std::search(recording.begin(), recording.end(), wide.begin(), wide.end()) !=
           recording.end();
}

} // namespace

// Every way ALSA reaches the server, every kind of break: zuvela-cli's verdict is what the
// sink got. The recording is the oracle, except for a stopped server, whose recorder stands
// still with it (a sound card would not): stopped within the sound, the send is broken.
TEST_F(OnPipeWire, theVerdictOfACommandLineSendIsWhatTheSinkGotOnEveryPath) {
    const QStringList args = sendArgs("1=12345"); // 2.8 s of sound
    const std::vector<uint8_t> sound = rendered(args);
    enum class Expect { Sent, Failed, AsRecorded };
    struct Fault {
        const char* what;
        int atMs; // from the start of zuvela-cli
        std::function<void(QProcess& cli)> act;
        Expect expect;
    };
    auto stopFor = [](int ms) {
        return [ms](QProcess& cli) {
            if (signalChild(cli, SIGSTOP)) {
                QTest::qWait(ms);
                signalChild(cli, SIGCONT);
            }
        };
    };
    auto stopServer = [](QProcess&) {
        ASSERT_TRUE(server->signalServer(SIGSTOP));
        QTest::qWait(500);
        server->signalServer(SIGCONT);
    };
    // The sound begins about 0.6 s after zuvela-cli starts (its start, then half a second of
    // silence) and lasts 2.8 s: faults in its first 100 ms, in the middle and in its last 250 ms.
    const Fault faults[] = {
        {"nothing", 0, nullptr, Expect::Sent},
        // Whether the sound breaks depends on the path: PipeWire's plugin plays from this
        // process, PulseAudio's has handed the whole sound to the server.
        {"the sender stopped for 0.7 s", 1700, stopFor(700), Expect::AsRecorded},
        {"the sender stopped in the first tone", 650, stopFor(100), Expect::AsRecorded},
        {"the sender stopped in the last tone", 3200, stopFor(700), Expect::AsRecorded},
        {"the sender stopped for 20 ms", 1700, stopFor(20), Expect::AsRecorded},
        {"the server stopped for 0.5 s", 1700, stopServer, Expect::Failed},
        {"the server stopped in the first tone", 650, stopServer, Expect::Failed},
        {"the server stopped in the last tone", 3200, stopServer, Expect::Failed},
    };
    const std::pair<const char*, std::filesystem::path> paths[] = {
        {"PipeWire's ALSA plugin", server->alsaConfig()},
        {"ALSA's PulseAudio plugin", server->pulseAlsaConfig()},
    };
    for (const auto& [path, config] : paths) {
        if (config.empty()) {
            ADD_FAILURE() << path << ": PipeWire's PulseAudio layer or ALSA's plugin is missing";
            continue;
        }
        for (const Fault& fault : faults) {
            SCOPED_TRACE(std::string(path) + ", " + fault.what);
            const std::size_t mark = server->recordedCount();
            judgeReadings(); // only this send's
            QProcess cli;
            cli.setEnvironment(server->childEnvironment(config));
            cli.start(QStringLiteral(ZUVELA_CLI), args);
            ASSERT_TRUE(cli.waitForStarted());
            QElapsedTimer sinceAct;
            if (fault.act) {
                QTest::qWait(fault.atMs);
                sinceAct.start();
                fault.act(cli);
            }
            ASSERT_TRUE(cli.state() == QProcess::NotRunning || cli.waitForFinished(10000));
            const qint64 took = sinceAct.isValid() ? sinceAct.elapsed() : 0;
            const std::string err = cli.readAllStandardError().toStdString();
            ASSERT_TRUE(serverStreams());
            const bool whole = contains(recordedSince(mark, sound.size()), sound);
            const bool sent = cli.exitCode() == 0;
            switch (fault.expect) {
            case Expect::Sent:
                EXPECT_TRUE(sent) << err << judgeReadings();
                EXPECT_TRUE(whole) << judgeReadings();
                break;
            case Expect::Failed:
                // Through PulseAudio's plugin the whole sound is with the server by then, and
                // nothing the plugin reports shows that the server stood still: the send only
                // has to end in time.
                if (config == server->pulseAlsaConfig() && fault.act &&
                    std::string_view(fault.what).starts_with("the server")) {
                    EXPECT_LE(took, 5000) << err;
                    break;
                }
                EXPECT_EQ(cli.exitCode(), 1) << judgeReadings();
                EXPECT_LE(took, 3700) << "a break ends the send within 3 s of the fault's end";
                EXPECT_EQ(err.substr(0, kInterruptedCli.size()), kInterruptedCli) << err;
                break;
            case Expect::AsRecorded:
                EXPECT_EQ(sent, whole) << err << judgeReadings();
                break;
            }
        }
    }
}

// A technician's stop in a batch: Esc mid-send ends it, and nothing of it comes back. No box
// comes late for it, and the next send starts clean and arrives whole.
TEST_F(OnPipeWire, aStopLeavesNothingBehindAndTheNextSendArrivesWhole) {
    std::vector<SeenBox> boxes;
    EXPECT_TRUE(whileProgramming(
        [] {
            click(FRM_Prog->BTN_Go);
            QTest::qWait(1200);
            QTest::keyClick(FRM_Prog, Qt::Key_Escape);
            EXPECT_FALSE(FRM_Prog->isVisible());
            EXPECT_EQ(FRM_Prog->LBL_Status->text(), QStringLiteral("✘ Abgebrochen"));
        },
        &boxes));
    // A late verdict of the stopped send would show within these seconds.
    const std::vector<SeenBox> late = messageBoxesDuring([] { QTest::qWait(3000); });
    EXPECT_TRUE(late.empty()) << late.front().text.toStdString();
    EXPECT_TRUE(whileProgramming(
        [] {
            const std::vector<uint8_t> expected = expectedSound();
            const std::size_t mark = server->recordedCount();
            click(FRM_Prog->BTN_Go);
            ASSERT_TRUE(waitForPlayed());
            EXPECT_EQ(FRM_Prog->LBL_Status->text(), QStringLiteral("✔ Gesendet."));
            EXPECT_TRUE(contains(recordedSince(mark, expected.size()), expected))
                << judgeReadings();
        },
        &boxes));
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
}

// The check at the cable, looped through the server: recorded from the sink's monitor, every
// tone is heard; an input that is not there is named, and nothing is sent.
TEST_F(OnPipeWire, aCheckedSendHearsEveryToneAndAMissingInputSendsNothing) {
    const std::filesystem::path config = server->pulseAlsaConfig();
    ASSERT_FALSE(config.empty()) << "PipeWire's PulseAudio layer or ALSA's plugin is missing";
    QStringList environment = server->childEnvironment(config);
    environment << QStringLiteral("PULSE_SOURCE=zuvela_sink.monitor");
    const QStringList args = sendArgs("1=12345") << QStringLiteral("--check");

    QProcess cli;
    cli.setEnvironment(environment);
    cli.start(QStringLiteral(ZUVELA_CLI), args);
    ASSERT_TRUE(cli.waitForFinished(20000));
    const std::string out = cli.readAllStandardOutput().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << out << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(out.starts_with("✔ Geprüft: 11 von 11 Tönen, Pegel ")) << out;

    const std::size_t mark = server->recordedCount();
    cli.start(QStringLiteral(ZUVELA_CLI), QStringList(args)
                                              << QStringLiteral("--input")
                                              << QStringLiteral("kein-solches-geraet"));
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_NE(cli.readAllStandardError().toStdString().find(
                  "Das Eingangsgerät \"kein-solches-geraet\" ist nicht vorhanden"),
              std::string::npos);
    const std::vector<int16_t> after = server->recorded(mark);
    EXPECT_EQ(extent(after).first, after.size()) << "nothing was sent";
}

namespace {

// ALSA's "default" through the PulseAudio plugin for this process too, recording the sink's
// monitor, which is also the server's default source: the "Capture" of the server's mixer.
// Full volume, not muted.
class LevelOnPipeWire : public OnPipeWire {
protected:
    void SetUp() override {
        OnPipeWire::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_FALSE(server->pulseAlsaConfig().empty())
            << "PipeWire's PulseAudio layer or ALSA's plugin is missing";
        // ALSA reads its configuration afresh when the path changes.
        QStringList environment = server->childEnvironment(server->pulseAlsaConfig());
        environment << QStringLiteral("PULSE_SOURCE=zuvela_sink.monitor");
        for (const QString& entry : environment)
            if (entry.startsWith(QLatin1String("ALSA_CONFIG_PATH=")) ||
                entry.startsWith(QLatin1String("PULSE_")))
                qputenv(entry.section(u'=', 0, 0).toLocal8Bit().constData(),
                        entry.section(u'=', 1).toLocal8Bit());
        for (const QStringList& args :
             {QStringList{"set-default-source", "zuvela_sink.monitor"},
              QStringList{"set-source-volume", "zuvela_sink.monitor", "100%"},
              QStringList{"set-source-mute", "zuvela_sink.monitor", "0"}})
            ASSERT_TRUE(pactl(args)) << args.join(u' ').toStdString();
    }
    void TearDown() override {
        OnPipeWire::TearDown();
        qputenv("ALSA_CONFIG_PATH", QByteArray(server->alsaConfig().c_str()));
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_SOURCE");
    }
    // pactl against the server: another client; true when it succeeded, its output in out.
    static bool pactl(const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setEnvironment(server->childEnvironment(server->alsaConfig()));
        p.start(QStringLiteral("pactl"), args);
        const bool ok = p.waitForFinished(10000) && p.exitCode() == 0;
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return ok;
    }
    static QString sourceVolume() {
        QString out;
        pactl({"get-source-volume", "zuvela_sink.monitor"}, &out);
        return out;
    }
    // zuvela-cli level at an amplitude: its exit status and its line.
    static std::pair<int, QString> cliLevel(int amplitude) {
        QStringList environment = server->childEnvironment(server->pulseAlsaConfig());
        environment << QStringLiteral("PULSE_SOURCE=zuvela_sink.monitor");
        QProcess cli;
        cli.setEnvironment(environment);
        cli.start(
            QStringLiteral(ZUVELA_CLI),
            {QStringLiteral("level"), QStringLiteral("--amplitude"), QString::number(amplitude)});
        if (!cli.waitForFinished(20000))
            return {-1, QString()};
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()).trimmed()};
    }
    // The level a line names: "… Pegel −22 dBFS …".
    static double levelIn(QString line) {
        line.replace(QChar(0x2212), u'-');
        const qsizetype at = line.indexOf(QStringLiteral("Pegel "));
        return at < 0 ? 0 : line.mid(at + 6).section(u' ', 0, 0).toDouble();
    }
    // Right-clicks "Soundkarte" and clicks the menu's entry of that name.
    static bool menuEntry(const char* name) {
        bool clicked = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            poll.stop();
            QAction* action = nullptr;
            for (QAction* a : menu->actions())
                if (a->objectName() == QLatin1String(name))
                    action = a;
            if (action && action->isEnabled()) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                clicked = true;
            } else {
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        poll.start();
        QRadioButton* option = FRM_Prog->OPT_Soundcard;
        QTest::mouseClick(option->window()->windowHandle(), Qt::RightButton, {},
                          option->mapTo(option->window(), option->rect().center()));
        return QTest::qWaitFor([&] { return clicked && !QApplication::activePopupWidget(); }, 3000);
    }
    static bool waitForStatus(const QString& start) {
        return QTest::qWaitFor(
            [&] {
                return FRM_Prog->LBL_Status->toolTip().startsWith(start) && !FRM_Prog->Sending();
            },
            20000);
    }
};

// zuvela-cli's level check: the amplitude moves the level it hears by as much as it moves the
// tone; the source's volume, set through our mixer of the server, moves it too, and a muted
// source is silence.
TEST_F(LevelOnPipeWire, theLevelCheckHearsTheAmplitudeAndTheSourceVolumeSetThroughOurMixer) {
    struct Row {
        int amplitude;
        int status;
        QString advice;
    };
    const Row rows[] = {{100, 1, QStringLiteral("bei 100 % – Amplitude auf 30 % stellen")},
                        {10, 1, QStringLiteral("bei 10 % – Amplitude auf 30 % stellen")},
                        {30, 0, QStringLiteral("bei 30 % – gut")}};
    std::map<int, double> levels;
    for (const Row& row : rows) {
        const auto [status, line] = cliLevel(row.amplitude);
        EXPECT_EQ(status, row.status) << line.toStdString();
        EXPECT_TRUE(line.endsWith(row.advice)) << line.toStdString();
        levels[row.amplitude] = levelIn(line);
    }
    EXPECT_NEAR(levels[100] - levels[10], 20, 1.5);
    EXPECT_NEAR(levels[100], 20 * std::log10(100 / 128.0), 1.5);

    const std::unique_ptr<platform::WaveMixer> layer =
        platform::alsaWaveMixerOn({platform::alsaMixerControlOf("")});
    TAudio audio(nullptr, {nullptr, nullptr, layer.get()});
    const TMixDetails* capture = audio.Mixer->Line(1, 0);
    ASSERT_NE(capture, nullptr);
    ASSERT_EQ(capture->Name, QStringLiteral("Capture"));
    ASSERT_TRUE(audio.Mixer->SetVolume(1, 0, 32768, 32768));
    EXPECT_TRUE(
        QTest::qWaitFor([] { return sourceVolume().contains(QStringLiteral(" 50%")); }, 5000))
        << sourceVolume().toStdString();
    const auto [status, line] = cliLevel(100);
    EXPECT_EQ(status, 1);
    // Half the server's volume is an eighth of the amplitude (its volume is cubic): −18 dB.
    EXPECT_NEAR(levelIn(line), levels[100] - 18, 2) << line.toStdString();
    ASSERT_TRUE(audio.Mixer->SetMuted(1, 0, true));
    EXPECT_EQ(cliLevel(100), std::pair(1, QString::fromUtf8(kNothingHeard)));
}

// The dialog: "Eingangspegel …" shows the default source's level and switch and sets them from
// its slider and check box, follows a change made elsewhere, and "Pegel prüfen" hears what
// they set; an input without a mixer is a message and no window.
TEST_F(LevelOnPipeWire, theDialogsInputLevelSetsAndFollowsTheSourceAndItsLevelCheckAdvises) {
    EXPECT_TRUE(whileProgramming([] {
        ASSERT_TRUE(menuEntry("ACT_Eingangspegel"));
        QDialog* window = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                window = FRM_Prog->findChild<QDialog*>(QStringLiteral("DLG_Eingangspegel"));
                return window && window->isVisible();
            },
            3000));
        auto* level = window->findChild<QSlider*>(QStringLiteral("BAR_Pegel_0"));
        auto* on = window->findChild<QCheckBox*>(QStringLiteral("CHK_Pegel_0"));
        ASSERT_TRUE(level && on);
        EXPECT_EQ(level->value(), 100);
        EXPECT_TRUE(on->isChecked());

        // Down to nothing, then five pages up: half the server's volume.
        level->setFocus();
        QTest::keyClick(level, Qt::Key_Home);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(level, Qt::Key_PageUp);
        EXPECT_TRUE(
            QTest::qWaitFor([] { return sourceVolume().contains(QStringLiteral(" 50%")); }, 5000))
            << sourceVolume().toStdString();
        ASSERT_TRUE(menuEntry("ACT_PegelPruefen"));
        ASSERT_TRUE(waitForStatus(QStringLiteral("✘ Pegel")));
        EXPECT_TRUE(FRM_Prog->LBL_Status->toolTip().endsWith(
            QStringLiteral("bei 100 % – zu leise: den Eingangspegel erhöhen")))
            << FRM_Prog->LBL_Status->toolTip().toStdString();

        // Moved elsewhere: the window follows.
        ASSERT_TRUE(pactl({"set-source-volume", "zuvela_sink.monitor", "25%"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return level->value() == 25; }, 5000)) << level->value();
        QTest::keyClick(level, Qt::Key_End);
        click(on);
        QString muted;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return pactl({"get-source-mute", "zuvela_sink.monitor"}, &muted) &&
                       muted.contains(QStringLiteral("yes"));
            },
            5000))
            << muted.toStdString();
        ASSERT_TRUE(menuEntry("ACT_PegelPruefen"));
        ASSERT_TRUE(waitForStatus(QString::fromUtf8(kNothingHeard)));
        click(on);
        ASSERT_TRUE(menuEntry("ACT_PegelPruefen"));
        ASSERT_TRUE(waitForStatus(QStringLiteral("✘ Pegel")));
        EXPECT_TRUE(FRM_Prog->LBL_Status->toolTip().endsWith(
            QStringLiteral("bei 100 % – Amplitude auf 30 % stellen")))
            << FRM_Prog->LBL_Status->toolTip().toStdString();
        window->close();

        // An input whose card is not there has no mixer: said, and nothing opens.
        FRM_Prog->Check->setInputName(QStringLiteral("hw:CARD=KeineKarte,DEV=0"));
        const std::vector<SeenBox> boxes = messageBoxesDuring([] {
            EXPECT_TRUE(menuEntry("ACT_Eingangspegel"));
            EXPECT_TRUE(waitForPostedEvents());
        });
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.startsWith(
            QStringLiteral("Für den Eingang \"hw:CARD=KeineKarte,DEV=0\" gibt es keinen Mixer")))
            << boxes[0].text.toStdString();
        EXPECT_EQ(FRM_Prog->findChild<QDialog*>(QStringLiteral("DLG_Eingangspegel")), nullptr);
        FRM_Prog->Check->setInputName(QString());
    }));
}

// A level check whose tone breaks off (the server dies under it) says that the level was not
// checked, not that a receiver was left half programmed.
TEST_F(LevelOnPipeWire, aLevelCheckThatBreaksOffSaysItsOwnFailure) {
    EXPECT_TRUE(whileProgramming([] {
        std::vector<SeenBox> boxes;
        runWithModals(
            [&] {
                ASSERT_TRUE(menuEntry("ACT_PegelPruefen"));
                ASSERT_TRUE(
                    QTest::qWaitFor([] { return FRM_Prog->AUD_Main->Player->IsOpen(); }, 5000));
                server->killServer();
                EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 10000));
            },
            nullptr, &boxes);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral(
            "Die Soundkarte steht nicht zur Verfügung!\r\nDer Prüfton wurde unterbrochen, der "
            "Pegel ist nicht geprüft. Bitte erneut prüfen.")))
            << boxes[0].text.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([] { return !FRM_Prog->Sending(); }, 5000));
        EXPECT_EQ(FRM_Prog->LBL_Status->toolTip(), QStringLiteral("✘ Pegelprüfung unterbrochen"));
    }));
    server->stop();
    ASSERT_TRUE(server->start()) << server->error().toStdString();
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The component and its player against the scripted wave layer.
#include "Audio.h"
#include "support/SmallTmpfs.h"
#include "support/WaveInSim.h"
#include "support/WaveMixerSim.h"
#include "support/WaveOutSim.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>

using namespace platform;
using Call = WaveOutSim::Call;

namespace {

QByteArray ramp(int size, int seed = 0) {
    QByteArray data(size, 0);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xFF);
    return data;
}

std::vector<uint8_t> bytesOf(const QByteArray& a) {
    return {a.begin(), a.end()};
}

QByteArray playFile() {
    QFile f(QStringLiteral("PLAY.TMP"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void removePlayFile() {
    QFile::remove(QStringLiteral("PLAY.TMP"));
    QDir().rmdir(QStringLiteral("PLAY.TMP"));
}

// Requests posted while others are handled wait for the next round, so give them a few.
void pump() {
    for (int i = 0; i < 8; ++i)
        QCoreApplication::processEvents();
}

struct AudioTest : ::testing::Test {
    WaveOutSim sim;
    WaveInSim in{1};
    WaveMixerSim mixer; // no mixer devices
    QObject form;
    TAudio* audio = nullptr;
    std::atomic<int> played{0};
    std::atomic<int> bufferPlayed{0};
    TObject* playedSender = nullptr;
    std::atomic<TObject*> bufferSender{nullptr};

    void SetUp() override {
        removePlayFile();
        audio = new TAudio(&form, {&sim, &in, &mixer});
        audio->OnPlayed = [this](TObject* s) {
            playedSender = s;
            ++played;
        };
        audio->OnBufferPlayed = [this](TObject* s) {
            bufferSender = s;
            ++bufferPlayed;
        };
        audio->Player->SetSampleRate(22050);
    }

    void play(const QByteArray& data, uint16_t loops = 0) {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        audio->Player->Play(&buffer, nullptr, loops);
    }

    // Completes buffers one at a time, each refill running before the next completion.
    void completeStepwise() {
        for (int i = 0; i < 10000 && sim.completeNext(); ++i)
            pump();
        pump();
    }
    // Completes everything queued before the UI thread gets to refill (a slow UI thread).
    void completeInBursts() {
        for (int i = 0; i < 10000 && sim.completeAll() > 0; ++i)
            pump();
        pump();
    }
    std::vector<uint32_t> writeLengths() const {
        std::vector<uint32_t> lengths;
        for (const auto& r : sim.calls())
            if (r.call == Call::Write && r.result == MMSYSERR_NOERROR)
                lengths.push_back(r.length);
        return lengths;
    }
};

// --- The component: construction, properties, buffers ------------------------------------

TEST_F(AudioTest, constructionGivesTheDocumentedValues) {
    TAudio fresh(&form, {&sim, &in, &mixer});
    EXPECT_EQ(fresh.AudioDeviceID(), -1);
    EXPECT_EQ(fresh.MixerDeviceID(), 0);
    EXPECT_FALSE(fresh.SeparateCtrls);
    EXPECT_EQ(fresh.Version(), "4.1 (32bit)");
    EXPECT_TRUE(fresh.ErrorMessage.isEmpty());
    EXPECT_FALSE(fresh.Mixer->Available());
    EXPECT_EQ(fresh.Mixer->Lines(), nullptr);
    for (TAudioSettings* s : {static_cast<TAudioSettings*>(fresh.Player),
                              static_cast<TAudioSettings*>(fresh.Recorder)}) {
        EXPECT_EQ(s->BitsPerSample(), TBPS::_8);
        EXPECT_EQ(s->Channels(), TChannels::Mono);
        EXPECT_EQ(s->SampleRate(), 11025);
        EXPECT_EQ(s->NoSamples(), 8192);
        EXPECT_FALSE(s->Active());
        EXPECT_FALSE(s->IsOpen());
    }
    EXPECT_EQ(fresh.Recorder->TrigLevel(), 0);
    EXPECT_FALSE(fresh.Recorder->Triggered);
    EXPECT_FALSE(fresh.Recorder->SplitChannels());
    EXPECT_EQ(fresh.parent(), &form);
    fresh.SetVersion(QStringLiteral("9.9"));
    EXPECT_EQ(fresh.Version(), "4.1 (32bit)");
}

TEST_F(AudioTest, buffersAtConstructionDependOnTheDevicesPresent) {
    struct Row {
        unsigned inDevs, outDevs;
        bool recorderBuffers, playerBuffers;
    } rows[] = {
        {1, 1, true, true}, {0, 1, false, false}, {1, 0, true, false}, {0, 0, false, false}};
    for (const Row& row : rows) {
        WaveOutSim out;
        out.numDevs = row.outDevs;
        WaveInSim input(row.inDevs);
        TAudio a(nullptr, {&out, &input, &mixer});
        SCOPED_TRACE(testing::Message() << row.inDevs << " in, " << row.outDevs << " out");
        EXPECT_EQ(a.Recorder->WaveFormat() != nullptr, row.recorderBuffers);
        EXPECT_EQ(a.Player->WaveFormat() != nullptr, row.playerBuffers);
        // A format write allocates both, whatever the devices.
        a.Player->SetSampleRate(22050);
        EXPECT_NE(a.Player->WaveFormat(), nullptr);
        EXPECT_NE(a.Recorder->WaveFormat(), nullptr);
    }
}

TEST_F(AudioTest, formatWritesFollowSeparateCtrls) {
    // The fixture wrote Player.SampleRate 22050 with SeparateCtrls False: both changed.
    EXPECT_EQ(audio->Recorder->SampleRate(), 22050);
    EXPECT_EQ(audio->Recorder->WaveFormat()->nSamplesPerSec, 22050u);
    const WaveFormatEx* before = audio->Player->WaveFormat();
    audio->Player->SetSampleRate(22050); // same value: nothing is rebuilt
    EXPECT_EQ(audio->Player->WaveFormat(), before);

    audio->SeparateCtrls = true;
    audio->Recorder->SetBitsPerSample(TBPS::_16);
    EXPECT_EQ(audio->Recorder->BitsPerSample(), TBPS::_16);
    EXPECT_EQ(audio->Player->BitsPerSample(), TBPS::_8);
    audio->SeparateCtrls = false;
    audio->Player->SetChannels(TChannels::Stereo);
    EXPECT_EQ(audio->Recorder->Channels(), TChannels::Stereo);
    EXPECT_EQ(audio->Player->Channels(), TChannels::Stereo);
}

TEST_F(AudioTest, bufferSizesFollowTheFormat) {
    struct Row {
        TChannels channels;
        TBPS bits;
        uint16_t blockAlign, bufferSize;
    } rows[] = {{TChannels::Mono, TBPS::_8, 1, 8192},
                {TChannels::Stereo, TBPS::_8, 2, 16384},
                {TChannels::Mono, TBPS::_16, 2, 16384},
                {TChannels::Stereo, TBPS::_16, 4, 32768}};
    for (const Row& row : rows) {
        audio->Player->SetChannels(row.channels);
        audio->Player->SetBitsPerSample(row.bits);
        for (TAudioSettings* s : {static_cast<TAudioSettings*>(audio->Player),
                                  static_cast<TAudioSettings*>(audio->Recorder)}) {
            const WaveFormatEx& f = *s->WaveFormat();
            EXPECT_EQ(f.wFormatTag, 1);
            EXPECT_EQ(f.nChannels, row.channels == TChannels::Mono ? 1 : 2);
            EXPECT_EQ(f.wBitsPerSample, row.bits == TBPS::_8 ? 8 : 16);
            EXPECT_EQ(f.nBlockAlign, row.blockAlign);
            EXPECT_EQ(f.nAvgBytesPerSec, 22050u * row.blockAlign);
            EXPECT_EQ(f.cbSize, 0);
            EXPECT_EQ(s->BufferSize(), row.bufferSize);
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(s->Slot(i).DataSize, row.bufferSize);
                EXPECT_EQ(s->Slot(i).HalfSize, row.bufferSize / 2);
                EXPECT_EQ(s->Slot(i).Header->lpData, s->Slot(i).Data);
            }
        }
    }
}

TEST_F(AudioTest, propertySettersStoreWhatTheRulesSay) {
    struct Row {
        int32_t written, stored;
    } rows[] = {{256, -1}, {9, 9}, {-5, -5}, {0, 0}, {1000, -1}, {10, 10}, {255, 255}};
    for (const Row& row : rows) {
        audio->SetAudioDeviceID(row.written);
        EXPECT_EQ(audio->AudioDeviceID(), row.stored) << row.written;
    }
    // SplitChannels only holds on a stereo recorder; a Channels write re-applies it.
    audio->Recorder->SetSplitChannels(true);
    EXPECT_FALSE(audio->Recorder->SplitChannels());
    audio->Recorder->SetChannels(TChannels::Stereo);
    audio->Recorder->SetSplitChannels(true);
    EXPECT_TRUE(audio->Recorder->SplitChannels());
    audio->Recorder->SetChannels(TChannels::Mono);
    EXPECT_FALSE(audio->Recorder->SplitChannels());
    // NoSamples changes both objects, even with SeparateCtrls.
    audio->SeparateCtrls = true;
    audio->Recorder->SetNoSamples(4096);
    EXPECT_EQ(audio->Player->NoSamples(), 4096);
    EXPECT_EQ(audio->Player->BufferSize(), 4096);
    EXPECT_EQ(audio->Recorder->BufferSize(), 4096);
}

TEST_F(AudioTest, changesThatWouldBreakBuffersAreRefused) {
    // A buffer above 65535 bytes cannot be described in 16 bits.
    audio->Player->SetChannels(TChannels::Stereo);
    audio->Player->SetBitsPerSample(TBPS::_16);
    audio->Recorder->SetNoSamples(16384);
    EXPECT_EQ(audio->Recorder->NoSamples(), 8192);
    EXPECT_EQ(audio->Player->BufferSize(), 32768);
    EXPECT_EQ(audio->ErrorMessage,
              "NoSamples is too large for this format: a buffer would exceed 65535 bytes");
    audio->Recorder->SetNoSamples(16383); // 65532 bytes still fit
    EXPECT_EQ(audio->Player->BufferSize(), 65532);
    audio->Player->SetChannels(TChannels::Mono);
    audio->Player->SetBitsPerSample(TBPS::_8);

    // Nothing that frees the buffers while the device is open.
    play(ramp(100000));
    ASSERT_TRUE(audio->Player->IsOpen());
    const WaveFormatEx* format = audio->Player->WaveFormat();
    struct Row {
        const char* what;
        std::function<void()> write;
        std::function<bool()> unchanged;
        const char* message;
    } rows[] = {
        {"SampleRate", [&] { audio->Player->SetSampleRate(8000); },
         [&] {
             return audio->Player->SampleRate() == 22050 && audio->Recorder->SampleRate() == 22050;
         },
         "The player is open: its format cannot change now"},
        {"Channels", [&] { audio->Player->SetChannels(TChannels::Stereo); },
         [&] { return audio->Player->Channels() == TChannels::Mono; },
         "The player is open: its format cannot change now"},
        {"NoSamples", [&] { audio->Recorder->SetNoSamples(100); },
         [&] { return audio->Player->NoSamples() == 16383; },
         "The player is open: NoSamples cannot change now"},
        {"AudioDeviceID", [&] { audio->SetAudioDeviceID(3); },
         [&] { return audio->AudioDeviceID() == -1; },
         "A device is open: AudioDeviceID cannot change now"},
    };
    for (const Row& row : rows) {
        audio->ErrorMessage.clear();
        row.write();
        EXPECT_TRUE(row.unchanged()) << row.what;
        EXPECT_EQ(audio->ErrorMessage, row.message) << row.what;
        EXPECT_EQ(audio->Player->WaveFormat(), format) << row.what;
    }
    EXPECT_EQ(sim.doubleWrites(), 0);
    completeStepwise();
    EXPECT_EQ(sim.written(), bytesOf(ramp(100000)));
}

// --- The player: playback ------------------------------------------------------------------

TEST_F(AudioTest, nBuffersGiveNCompletionsAndOnePlayed) {
    struct Row {
        int size;
        int buffers;
    } rows[] = {{1, 1},        {100, 1},          {8192, 1},         {8193, 2},       {3 * 8192, 3},
                {4 * 8192, 4}, {4 * 8192 + 1, 5}, {5 * 8192 + 7, 6}, {10 * 8192, 10}, {149072, 19}};
    enum Mode { stepwise, bursts, inWrite };
    for (Mode mode : {stepwise, bursts, inWrite})
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << row.size << " bytes, mode " << mode);
            played = 0;
            bufferPlayed = 0;
            sim.completeInWrite = mode == inWrite;
            const auto writesBefore = writeLengths().size();
            const QByteArray data = ramp(row.size, row.size);
            play(data);
            if (mode != inWrite) {
                EXPECT_EQ(sim.queued(), size_t(std::min(row.buffers, 4))) << "four in flight";
            }
            mode == stepwise ? completeStepwise() : completeInBursts();
            EXPECT_EQ(writeLengths().size() - writesBefore, size_t(row.buffers));
            EXPECT_EQ(bufferPlayed, row.buffers - 1);
            EXPECT_EQ(played, 1);
            EXPECT_FALSE(audio->Player->IsOpen());
            EXPECT_FALSE(audio->Player->Active());
            EXPECT_FALSE(sim.isOpen());
            const auto written = sim.written();
            EXPECT_EQ(std::vector<uint8_t>(written.end() - row.size, written.end()), bytesOf(data));
            EXPECT_EQ(playFile(), data) << "PLAY.TMP stays on disk";
            EXPECT_TRUE(audio->ErrorMessage.isEmpty());
        }
    EXPECT_EQ(playedSender, audio->Player);
    EXPECT_EQ(bufferSender.load(), audio->Player);
    EXPECT_EQ(sim.doubleWrites(), 0);
}

TEST_F(AudioTest, onePlaybackMakesTheseCallsInThisOrder) {
    play(ramp(100));
    completeStepwise();
    std::vector<Call> calls;
    for (const auto& r : sim.calls())
        calls.push_back(r.call);
    EXPECT_EQ(calls,
              (std::vector<Call>{Call::Open, Call::Prepare, Call::Write, Call::Unprepare,
                                 Call::Unprepare, Call::Unprepare, Call::Unprepare, Call::Close}));
    const auto records = sim.calls();
    EXPECT_EQ(records[0].deviceId, -1);
    EXPECT_EQ(sim.lastFlags(), 0x30002u);
    const WaveFormatEx f = sim.lastFormat();
    EXPECT_EQ(f.nSamplesPerSec, 22050u);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.wBitsPerSample, 8);
    for (int i = 0; i < 4; ++i) // headers in slot order
        EXPECT_EQ(records[3 + i].header, audio->Player->Slot(i).Header);
}

TEST_F(AudioTest, loopsReplayTheFileEachPassFromAFullBuffer) {
    const QByteArray data = ramp(2 * 8192 + 4096);
    play(data, 2);
    completeStepwise();
    EXPECT_EQ(sim.written(), bytesOf(data + data + data));
    EXPECT_EQ(writeLengths(),
              (std::vector<uint32_t>{8192, 8192, 4096, 8192, 8192, 4096, 8192, 8192, 4096}));
    EXPECT_EQ(bufferPlayed, 8);
    EXPECT_EQ(played, 1);
}

TEST_F(AudioTest, dataAppendedWhilePlayingFollowsWithoutAGap) {
    const QByteArray first = ramp(6 * 8192 + 10, 1);
    const QByteArray second = ramp(3000, 2);
    play(first);
    ASSERT_TRUE(sim.completeNext());
    pump();
    const auto writes = writeLengths().size();
    play(second, 5); // Loops of an appending Play is ignored
    EXPECT_EQ(writeLengths().size(), writes) << "no second priming";
    completeStepwise();
    EXPECT_EQ(sim.written(), bytesOf(first + second));
    EXPECT_EQ(played, 1);
    EXPECT_EQ(playFile(), first + second);
}

TEST_F(AudioTest, playBeforeThePreviousPlaybackCameBackNeverRequeuesABufferInFlight) {
    struct Row {
        int firstSize, secondSize, completedBefore;
    } rows[] = {{4 * 8192, 2 * 8192, 0}, // all four slots still in flight
                {2 * 8192, 5 * 8192, 0},
                {4 * 8192, 8192, 2},
                {100, 100, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.firstSize << " then " << row.secondSize);
        played = 0;
        const auto before = sim.written().size();
        const QByteArray a = ramp(row.firstSize, 3), b = ramp(row.secondSize, 4);
        play(a);
        for (int i = 0; i < row.completedBefore; ++i)
            sim.completeNext();
        ASSERT_FALSE(audio->Player->HasPlayFile()) << "the first file is already read";
        play(b);
        EXPECT_LE(sim.queued(), 4u);
        completeInBursts();
        EXPECT_EQ(sim.doubleWrites(), 0);
        const auto written = sim.written();
        EXPECT_EQ(std::vector<uint8_t>(written.begin() + before, written.end()), bytesOf(a + b));
        EXPECT_EQ(played, 1);
        EXPECT_FALSE(sim.isOpen());
    }
}

TEST_F(AudioTest, stereoStreamsAreInterleavedFrameByFrame) {
    struct Row {
        TChannels channels;
        TBPS bits;
        int leftSize, rightSize;
        bool interleaved;
    } rows[] = {{TChannels::Stereo, TBPS::_8, 3, 3, true},
                {TChannels::Stereo, TBPS::_16, 1004, 1004, true},
                {TChannels::Stereo, TBPS::_8, 1001, 1001, true},
                {TChannels::Stereo, TBPS::_16, 7, 7, true},   // odd byte dropped
                {TChannels::Stereo, TBPS::_8, 10, 11, false}, // sizes differ: left only
                {TChannels::Mono, TBPS::_8, 10, 10, false}};  // mono ignores the right
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.leftSize << "/" << row.rightSize);
        audio->Player->SetChannels(row.channels);
        audio->Player->SetBitsPerSample(row.bits);
        const QByteArray left = ramp(row.leftSize, 10), right = ramp(row.rightSize, 99);
        QByteArray expected;
        if (row.interleaved) {
            const int s = row.bits == TBPS::_8 ? 1 : 2;
            for (int i = 0; i + s <= row.leftSize; i += s)
                expected += left.mid(i, s) + right.mid(i, s);
        } else {
            expected = left;
        }
        QBuffer l, r;
        l.setData(left);
        r.setData(right);
        l.open(QIODevice::ReadOnly);
        r.open(QIODevice::ReadOnly);
        audio->Player->Play(&l, &r, 0);
        completeStepwise();
        EXPECT_EQ(playFile(), expected);
    }
    // The example of three bytes each: L0 R0 L1 R1 L2 R2.
    audio->Player->SetChannels(TChannels::Stereo);
    audio->Player->SetBitsPerSample(TBPS::_8);
    QBuffer l, r;
    l.setData(QByteArray("\x01\x02\x03", 3));
    r.setData(QByteArray("\x81\x82\x83", 3));
    l.open(QIODevice::ReadOnly);
    r.open(QIODevice::ReadOnly);
    audio->Player->Play(&l, &r, 0);
    completeStepwise();
    EXPECT_EQ(playFile(), QByteArray("\x01\x81\x02\x82\x03\x83", 6));
}

TEST_F(AudioTest, aNewPlaybackStartsANewPlayFile) {
    play(ramp(20000, 1));
    completeStepwise();
    play(ramp(300, 2));
    completeStepwise();
    EXPECT_EQ(playFile(), ramp(300, 2));
    EXPECT_EQ(played, 2);
}

// --- The player: Stop -----------------------------------------------------------------------

TEST_F(AudioTest, stopEndsPlaybackAndReturnsAfterOnPlayed) {
    struct Row {
        const char* when;
        int size;
        int completeFirst; // completions (with refills) before Stop
        bool filePresent;  // a play file exists at Stop
        int bufferPlayedDuringStop;
    } rows[] = {
        {"playing from file", 10 * 8192, 1, true, 0},
        {"draining, file read", 3 * 8192, 0, false, 2},
        {"last buffer in flight", 8192, 0, false, 0},
        {"close already requested", 100, 1, false, 0},
        {"open, nothing queued", 0, 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.when);
        played = 0;
        bufferPlayed = 0;
        audio->ErrorMessage = QStringLiteral("earlier failure");
        if (row.size > 0)
            play(ramp(row.size));
        else
            audio->Player->Play(nullptr, nullptr, 0);
        for (int i = 0; i < row.completeFirst; ++i) {
            sim.completeNext();
            if (row.size > 8192)
                pump();
        }
        ASSERT_TRUE(audio->Player->IsOpen());
        EXPECT_EQ(audio->Player->HasPlayFile(), row.filePresent);
        const int before = bufferPlayed;
        audio->Player->Stop();
        EXPECT_EQ(played, 1) << "OnPlayed inside Stop";
        EXPECT_EQ(bufferPlayed - before, row.bufferPlayedDuringStop);
        EXPECT_FALSE(audio->Player->IsOpen());
        EXPECT_FALSE(audio->Player->Active());
        EXPECT_FALSE(sim.isOpen());
        EXPECT_FALSE(audio->Player->HasPlayFile());
        EXPECT_EQ(audio->ErrorMessage.isEmpty(), row.filePresent)
            << "only a discarded play file clears the message";
        pump();
        EXPECT_EQ(played, 1) << "and only once";
    }
}

TEST_F(AudioTest, stopWithNothingOpenSaysSoAndCallsNothing) {
    audio->Player->Stop();
    EXPECT_EQ(audio->ErrorMessage, "Player already closed");
    EXPECT_TRUE(sim.calls().empty());
    EXPECT_EQ(played, 0);
    EXPECT_TRUE(audio->Recorder->Stop());
    EXPECT_EQ(audio->ErrorMessage, "Recorder already closed");
}

// --- The player: failures --------------------------------------------------------------------

TEST_F(AudioTest, failuresAreReportedWithTheComposedTexts) {
    struct Row {
        const char* what;
        Call call;
        WaveResult code;
        int times;
        int skip;
        QString message;
        bool openAfterwards;
        int playedCount;
    } rows[] = {
        {"open busy", Call::Open, -16, 1, 0,
         "Could not open the output device for playing:  Device or resource busy", false, 0},
        {"open, code without text", Call::Open, 77, 1, 0,
         "Could not open the output device for playing: ", false, 0},
        {"one prepare", Call::Prepare, MMSYSERR_NOMEM, 1, 1, " nicht genug Arbeitsspeicher", false,
         1},
        {"one write", Call::Write, WAVERR_UNPREPARED, 1, 2, " Puffer nicht vorbereitet", false, 1},
        {"every write", Call::Write, MMSYSERR_INVALPARAM, -1, 0, " ungültiger Wert", false, 1},
        {"unprepare at close", Call::Unprepare, MMSYSERR_INVALHANDLE, 1, 2,
         "Error unpreparing header for playing:  Gerät nicht geöffnet", true, 0},
        {"close", Call::Close, -5, 1, 0, "Error closing output device:  Input/output error", true,
         0},
    };
    sim.setErrorText(77, "");
    sim.setErrorText(-5, "Input/output error");
    sim.setErrorText(-16, "Device or resource busy");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        removePlayFile();
        played = 0;
        audio->ErrorMessage.clear();
        sim.clearFailures();
        sim.fail(row.call, row.code, row.times, row.skip);
        const QByteArray data = ramp(6 * 8192);
        play(data);
        completeStepwise();
        EXPECT_EQ(audio->ErrorMessage, row.message);
        EXPECT_EQ(audio->Player->IsOpen(), row.openAfterwards);
        EXPECT_EQ(played, row.playedCount);
        if (row.call == Call::Open) {
            EXPECT_FALSE(QFile::exists(QStringLiteral("PLAY.TMP"))) << "no play file created";
        }
        if (row.call == Call::Prepare || (row.call == Call::Write && row.times == 1)) {
            // That block is skipped, the rest plays.
            auto expected = bytesOf(data);
            const int skipped = row.skip;
            expected.erase(expected.begin() + skipped * 8192,
                           expected.begin() + (skipped + 1) * 8192);
            const auto written = sim.written();
            EXPECT_EQ(std::vector<uint8_t>(written.end() - expected.size(), written.end()),
                      expected);
        }
        // Whatever failed, Stop comes back and the component keeps working.
        sim.clearFailures();
        audio->Player->Stop();
        EXPECT_FALSE(audio->Player->IsOpen());
        played = 0;
        play(ramp(100));
        completeStepwise();
        EXPECT_EQ(played, 1);
    }
}

TEST_F(AudioTest, openFailuresNameTheirCause) {
    struct Row {
        const char* what;
        std::function<void(TAudio&)> setup;
        QString message;
    } rows[] = {
        {"no format record", [](TAudio&) {},
         "Could not open the output device for playing:  ungültiger Wert"},
        {"device number out of range",
         [](TAudio& a) {
             a.Player->SetSampleRate(22050);
             a.SetAudioDeviceID(5);
         },
         "Could not open the output device for playing:  Gerät nicht vorhanden"},
    };
    for (const Row& row : rows) {
        WaveInSim noInput(0);
        WaveOutSim out;
        TAudio a(nullptr, {&out, &noInput, &mixer});
        row.setup(a);
        QBuffer b;
        b.setData(ramp(10));
        b.open(QIODevice::ReadOnly);
        a.Player->Play(&b, nullptr, 0);
        EXPECT_EQ(a.ErrorMessage, row.message) << row.what;
        EXPECT_FALSE(a.Player->IsOpen());
    }
}

TEST_F(AudioTest, aFailedOpenStaysInErrorMessageUntilStopDiscardsAPlayFile) {
    sim.fail(Call::Open, -16);
    play(ramp(10));
    const QString failure = audio->ErrorMessage;
    ASSERT_FALSE(failure.isEmpty());
    play(ramp(10 * 8192)); // succeeds, does not clear
    EXPECT_EQ(audio->ErrorMessage, failure);
    audio->Player->Stop();
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
}

TEST_F(AudioTest, resetFailureInStopReturnsAtOnce) {
    play(ramp(10 * 8192));
    sim.fail(Call::Reset, MMSYSERR_ERROR);
    audio->Player->Stop();
    EXPECT_EQ(audio->ErrorMessage, "Error in waveOutReset");
    EXPECT_FALSE(audio->Player->HasPlayFile());
    EXPECT_TRUE(audio->Player->IsOpen());
    EXPECT_EQ(played, 0);
    audio->Player->Stop(); // the reset works now
    EXPECT_FALSE(audio->Player->IsOpen());
    EXPECT_EQ(played, 1);
}

TEST_F(AudioTest, aPlayThatQueuesNothingClosesTheDevice) {
    struct Row {
        const char* what;
        std::function<void()> play;
    } rows[] = {
        {"no stream", [&] { audio->Player->Play(nullptr, nullptr, 0); }},
        {"empty stream", [&] { play(QByteArray()); }},
        {"closed stream",
         [&] {
             QBuffer b;
             audio->Player->Play(&b, nullptr, 0);
         }},
    };
    for (const Row& row : rows) {
        played = 0;
        row.play();
        EXPECT_TRUE(sim.isOpen()) << row.what; // opened, as the first step of Play
        pump();
        EXPECT_FALSE(sim.isOpen()) << row.what;
        EXPECT_EQ(played, 1) << row.what;
    }
}

TEST_F(AudioTest, aPlayFileThatCannotBeCreatedReachesTheCaller) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("PLAY.TMP")));
    EXPECT_THROW(play(ramp(100)), TPlayFileError);
    pump();
    EXPECT_FALSE(sim.isOpen()) << "the device does not stay open with nothing to play";
    EXPECT_EQ(played, 1);
    QDir().rmdir(QStringLiteral("PLAY.TMP"));
}

TEST_F(AudioTest, aDeviceLostMidPlaybackEndsItAsAFailureAndTheNextPlaybackWorks) {
    sim.setErrorText(-ENODEV, "No such device");
    struct Row {
        const char* what;
        int completedBefore; // buffers played before the device goes
        bool uiFirst;        // the UI thread handles the refills before the loss is seen
    } rows[] = {
        {"at the first buffer", 0, false},
        {"in the middle", 3, true},
        {"with the file already read", 6, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        played = 0;
        play(ramp(10 * 8192 + 100));
        for (int i = 0; i < row.completedBefore; ++i) {
            sim.completeNext();
            if (row.uiFirst)
                pump();
        }
        const int writesBefore = sim.count(Call::Write);
        sim.loseDevice(-ENODEV);
        pump();
        EXPECT_FALSE(sim.isOpen()) << "closed at once";
        EXPECT_FALSE(audio->Player->IsOpen());
        EXPECT_EQ(played, 1);
        EXPECT_EQ(sim.queued(), 0u) << "every buffer handed back";
        EXPECT_FALSE(audio->Player->HasPlayFile());
        EXPECT_EQ(audio->Player->PlaybackFailure(), QStringLiteral("No such device"));
        EXPECT_EQ(audio->ErrorMessage, QStringLiteral("Wiedergabe abgebrochen: No such device"));
        const int failedWrites = sim.count(Call::Write) - writesBefore;
        EXPECT_EQ(failedWrites, 0) << "nothing more is written to a device that is gone";

        // The device is back: the next playback is complete and no failure.
        const QByteArray next = ramp(3 * 8192, 5);
        const size_t before = sim.written().size();
        played = 0;
        play(next);
        completeStepwise();
        EXPECT_EQ(played, 1);
        EXPECT_TRUE(audio->Player->PlaybackFailure().isEmpty());
        const auto written = sim.written();
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(written.data() + before),
                             qsizetype(written.size() - before)),
                  next);
    }
}

TEST_F(AudioTest, thePlayFileGoesToTheCacheFolderAndElseToTheWorkingDirectory) {
    QTemporaryDir home;
    const QByteArray keep = qgetenv("XDG_CACHE_HOME");
    const QString cache = home.path() + QStringLiteral("/cache");
    const QString blocked = home.path() + QStringLiteral("/file");
    QFile(blocked).open(QIODevice::WriteOnly);
    struct Row {
        const char* what;
        QString cacheHome;
        QString expected; // absolute path of the play file
    } rows[] = {
        {"cache folder created when missing", cache,
         cache + QLatin1Char('/') + QCoreApplication::applicationName() +
             QStringLiteral("/PLAY.TMP")},
        {"cache folder cannot be made", blocked, QDir::current().absoluteFilePath("PLAY.TMP")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        removePlayFile();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(row.cacheHome));
        const QByteArray data = ramp(1000, 3);
        play(data);
        completeStepwise();
        EXPECT_EQ(audio->Player->PlayFilePath(), row.expected);
        QFile file(row.expected);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), data);
        EXPECT_EQ(QFile::exists(QStringLiteral("PLAY.TMP")),
                  row.expected == QDir::current().absoluteFilePath("PLAY.TMP"));
    }
    qputenv("XDG_CACHE_HOME", keep);
}

// Each playback writes its own file and plays what it wrote, whatever is at "PLAY.TMP".
TEST_F(AudioTest, thePlayFileIsThisPlaybacksOwnAndAFailureIsReportedNotPlayed) {
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    SmallTmpfs small(root / "small", 64 * 1024);
    const QByteArray data = ramp(40000, 9);
    const std::filesystem::path victim = root / "victim";
    struct Row {
        const char* what;
        std::filesystem::path folder;
        std::function<void()> before;     // sets the stage
        std::function<void()> whilePlays; // after Play, before the buffers come back
        bool starts;                      // Play succeeds
        TPlayOutcome outcome;
    } rows[] = {
        {"a link to a file planted as PLAY.TMP", root,
         [&] { std::filesystem::create_symlink(victim, root / "PLAY.TMP"); }, [] {}, true,
         TPlayOutcome::Played},
        {"a link to /dev/zero", root,
         [&] { std::filesystem::create_symlink("/dev/zero", root / "PLAY.TMP"); }, [] {}, true,
         TPlayOutcome::Played},
        {"another send replaces PLAY.TMP mid-playback", root, [] {},
         [&] {
             std::ofstream(root / "other") << std::string(60000, 'x');
             std::filesystem::rename(root / "other", root / "PLAY.TMP");
         },
         true, TPlayOutcome::Played},
        {"the file is cut short under the player", root, [] {},
         [&] { std::filesystem::resize_file(root / "PLAY.TMP", 8192); }, true,
         TPlayOutcome::PlayFile},
        {"full at the first write", small.dir(), [&] { small.leave(0); }, [] {}, false,
         TPlayOutcome::Played},
        {"full half-way", small.dir(), [&] { small.leave(20000); }, [] {}, false,
         TPlayOutcome::Played},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.folder == small.dir() && !small.skipReason().empty()) {
            std::cout << "skipped: " << small.skipReason() << '\n';
            continue;
        }
        std::filesystem::remove(root / "PLAY.TMP");
        std::ofstream(victim) << "keep";
        row.before();
        audio->Player->SetPlayFileFolder(QString::fromStdString(row.folder.string()));
        played = 0;
        const std::size_t before = sim.written().size();
        bool started = true;
        try {
            play(data);
        } catch (const TPlayFileError& e) {
            started = false;
            EXPECT_NE(std::string(e.what()).find("kein Speicherplatz mehr"), std::string::npos)
                << e.what();
        }
        ASSERT_EQ(started, row.starts);
        row.whilePlays();
        completeStepwise();
        pump(); // a failed start closes the device by a posted request
        EXPECT_EQ(played, 1);
        EXPECT_EQ(audio->Player->Outcome(), row.outcome);
        const auto written = sim.written();
        const QByteArray heard(reinterpret_cast<const char*>(written.data() + before),
                               qsizetype(written.size() - before));
        if (row.outcome == TPlayOutcome::Played)
            EXPECT_EQ(heard, row.starts ? data : QByteArray());
        else
            EXPECT_LT(heard.size(), data.size());
        std::ifstream in(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
        for (const auto& entry : std::filesystem::directory_iterator(row.folder))
            EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp"))
                << "left behind: " << entry.path();
    }
}

// --- Lifetime and threads --------------------------------------------------------------------

TEST_F(AudioTest, destroyingTheComponentMidPlaybackClosesTheDevice) {
    play(ramp(10 * 8192));
    delete audio;
    audio = nullptr;
    EXPECT_FALSE(sim.isOpen());
    EXPECT_EQ(played, 1);
    EXPECT_TRUE(form.children().isEmpty());
}

TEST_F(AudioTest, quittingClosesTheDevicesButKeepsTheComponent) {
    play(ramp(10 * 8192));
    ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit",
                                          Qt::DirectConnection));
    EXPECT_FALSE(sim.isOpen());
    EXPECT_EQ(played, 1);
    ASSERT_EQ(form.findChildren<TAudio*>().size(), 1);
    play(ramp(100)); // still usable
    completeStepwise();
    EXPECT_EQ(played, 2);
}

TEST_F(AudioTest, completionsFromAnotherThreadWhileTheUiThreadRefills) {
    const QByteArray data = ramp(40 * 8192 + 123);
    play(data, 1);
    std::atomic<bool> done{false};
    std::thread driver([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done && std::chrono::steady_clock::now() < deadline)
            if (!sim.completeNext())
                std::this_thread::yield();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (played == 0 && std::chrono::steady_clock::now() < deadline) {
        pump();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    done = true;
    driver.join();
    EXPECT_EQ(played, 1);
    EXPECT_EQ(sim.written(), bytesOf(data + data));
    EXPECT_EQ(bufferPlayed, 2 * 41 - 1);
    EXPECT_EQ(sim.doubleWrites(), 0);
}

} // namespace

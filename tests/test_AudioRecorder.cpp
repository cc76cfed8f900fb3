// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder against the scripted wave-input layer.
#include "Audio.h"
#include "support/WaveInSim.h"
#include "support/WaveMixerSim.h"
#include "support/WaveOutSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

#include <sys/resource.h>

using namespace platform;
using Call = WaveInSim::Call;
using Bytes = std::vector<uint8_t>;

namespace {

void pump() {
    for (int i = 0; i < 8; ++i)
        QCoreApplication::processEvents();
}

Bytes ramp(size_t size, int seed) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(i * 11 + seed);
    return data;
}

Bytes int16Bytes(std::initializer_list<int16_t> samples) {
    Bytes data;
    for (int16_t s : samples) {
        data.push_back(static_cast<uint8_t>(s & 0xFF));
        data.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
    return data;
}

QByteArray fileBytes(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Delivery {
    TObject* sender;
    Bytes left;
    std::optional<Bytes> right;
};

struct RecorderTest : ::testing::Test {
    WaveOutSim out;
    WaveInSim in{1};
    WaveMixerSim mixer;
    QObject form;
    TAudio* audio = nullptr;
    std::vector<Delivery> delivered;

    void SetUp() override {
        audio = new TAudio(&form, {&out, &in, &mixer});
        audio->OnRecord = [this](TObject* sender, void* LP, void* RP, uint16_t BufferSize) {
            const auto* l = static_cast<const uint8_t*>(LP);
            Delivery d{sender, Bytes(l, l + BufferSize), std::nullopt};
            if (RP) {
                const auto* r = static_cast<const uint8_t*>(RP);
                d.right = Bytes(r, r + BufferSize);
            }
            delivered.push_back(std::move(d));
        };
    }
    void TearDown() override { delete audio; }

    void setFormat(TChannels channels, TBPS bits, uint16_t noSamples = 8192) {
        audio->Recorder->SetChannels(channels);
        audio->Recorder->SetBitsPerSample(bits);
        audio->Recorder->SetNoSamples(noSamples);
    }
    // Starts recording and lets the open notification arrive.
    void record(const QString& file = {}) {
        ASSERT_TRUE(audio->Recorder->Record(file)) << audio->ErrorMessage.toStdString();
        pump();
        ASSERT_TRUE(audio->Recorder->Active());
    }
    void fill(const Bytes& data) {
        ASSERT_TRUE(in.fillNext(data));
        pump();
    }
    std::vector<const WaveHdr*> slotHeaders() const {
        std::vector<const WaveHdr*> headers;
        headers.reserve(4);
        for (int i = 0; i < 4; ++i)
            headers.push_back(audio->Recorder->Slot(i).Header);
        return headers;
    }
    std::vector<Call> callKinds() const {
        std::vector<Call> kinds;
        for (const auto& r : in.calls())
            kinds.push_back(r.call);
        return kinds;
    }
};

// --- Starting ---------------------------------------------------------------------------------

TEST_F(RecorderTest, recordOpensWithTheRecordersFormatQueuesTheSlotsInOrderAndStarts) {
    audio->SeparateCtrls = true;
    setFormat(TChannels::Stereo, TBPS::_16, 1000);
    audio->Recorder->SetSampleRate(44100);
    audio->SetAudioDeviceID(0);
    ASSERT_TRUE(audio->Recorder->Record());
    EXPECT_TRUE(audio->Recorder->IsOpen());
    EXPECT_FALSE(audio->Recorder->Active()) << "until the open notification is handled";
    pump();
    EXPECT_TRUE(audio->Recorder->Active());

    EXPECT_EQ(callKinds(),
              (std::vector<Call>{Call::Open, Call::Prepare, Call::AddBuffer, Call::Prepare,
                                 Call::AddBuffer, Call::Prepare, Call::AddBuffer, Call::Prepare,
                                 Call::AddBuffer, Call::Start}));
    EXPECT_EQ(in.calls()[0].deviceId, 0);
    EXPECT_EQ(in.lastFlags() & CALLBACK_WINDOW, CALLBACK_WINDOW);
    const WaveFormatEx f = in.lastFormat();
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(in.queue(), slotHeaders());
    for (const WaveHdr* h : slotHeaders())
        EXPECT_EQ(h->dwBufferLength, 4000u);
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
    EXPECT_FALSE(audio->Recorder->Record()) << "one device at a time";
    EXPECT_EQ(audio->ErrorMessage, "Recorder already open");
}

TEST_F(RecorderTest, aStartThatFailsClosesWhatItOpenedAndKeepsItsOwnText) {
    struct Row {
        const char* what;
        Call call;
        WaveResult code;
        int skip;
        QString message;
        int closes;
    } rows[] = {
        {"open", Call::Open, MMSYSERR_BADDEVICEID, 0,
         "Could not open the input device for recording:  Gerät nicht vorhanden", 0},
        {"third prepare", Call::Prepare, MMSYSERR_NOMEM, 2,
         "Error preparing header for recording:  nicht genug Arbeitsspeicher", 1},
        {"second add", Call::AddBuffer, MMSYSERR_INVALPARAM, 1,
         "Error adding input buffer ungültiger Wert", 1},
        {"start", Call::Start, MMSYSERR_ERROR, 0, "Error starting recording:  unbestimmter Fehler",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WaveInSim input(1);
        TAudio a(nullptr, {&out, &input, &mixer});
        input.fail(row.call, row.code, 1, row.skip);
        QFile::remove(QStringLiteral("failed.wav"));
        EXPECT_FALSE(a.Recorder->Record(QStringLiteral("failed.wav")));
        EXPECT_EQ(a.ErrorMessage, row.message);
        EXPECT_FALSE(a.Recorder->IsOpen());
        EXPECT_FALSE(input.isOpen());
        EXPECT_EQ(input.count(Call::Close), row.closes);
        // The file is created once the device is ready: only a failing start leaves one,
        // a wave file without data.
        const QByteArray file = fileBytes(QStringLiteral("failed.wav"));
        EXPECT_EQ(QFile::exists(QStringLiteral("failed.wav")), row.call == Call::Start);
        if (row.call == Call::Start) {
            ASSERT_EQ(file.size(), 44);
            EXPECT_EQ(qFromLittleEndian<uint32_t>(file.constData() + 40), 0u);
        }
        input.fail(row.call, MMSYSERR_NOERROR, 0);
        EXPECT_TRUE(a.Recorder->Record()) << "the next start works";
        pump();
        EXPECT_TRUE(a.Recorder->Active());
    }
}

TEST_F(RecorderTest, withoutBuffersRecordingDoesNotStart) {
    WaveInSim none(0);
    TAudio a(nullptr, {&out, &none, &mixer});
    ASSERT_EQ(a.Recorder->WaveFormat(), nullptr);
    EXPECT_FALSE(a.Recorder->Record(QStringLiteral("none.wav")));
    EXPECT_EQ(a.ErrorMessage, "Could not open the input device for recording:  ungültiger Wert");
    EXPECT_FALSE(QFile::exists(QStringLiteral("none.wav")));
}

// --- The recorded-data step -------------------------------------------------------------------

TEST_F(RecorderTest, buffersArriveInOrderAndGoBackToTheDeviceInSlotOrder) {
    record();
    const auto ring = slotHeaders();
    for (int i = 0; i < 10; ++i) {
        const Bytes data = ramp(8192, i);
        fill(data);
        ASSERT_EQ(delivered.size(), size_t(i + 1));
        EXPECT_EQ(delivered[i].sender, audio);
        EXPECT_EQ(delivered[i].left, data);
        EXPECT_FALSE(delivered[i].right) << "RP is nil without a split";
        const auto queue = in.queue();
        ASSERT_EQ(queue.size(), 4u) << "handed back";
        EXPECT_EQ(queue.back(), ring[size_t(i % 4)]);
    }
    EXPECT_EQ(in.count(Call::AddBuffer), 14);
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
}

TEST_F(RecorderTest, theTriggerLatchesOnTheFirstSampleAtTheLevel) {
    struct Row {
        const char* what;
        TBPS bits;
        uint16_t level;
        Bytes first; // must not trigger unless `triggers`
        bool triggers;
    } rows[] = {
        {"8 bits below the level", TBPS::_8, 200, Bytes(64, 128), false},
        {"8 bits at the level", TBPS::_8, 200, {128, 128, 200, 0}, true},
        {"8 bits, level 0: the first byte", TBPS::_8, 0, {0, 0}, true},
        {"8 bits compared unsigned", TBPS::_8, 255, {254, 255}, true},
        {"16 bits, level 0: negative samples only", TBPS::_16, 0, int16Bytes({-5, -1, -300}),
         false},
        {"16 bits, level 0: the first non-negative", TBPS::_16, 0, int16Bytes({-5, 0}), true},
        {"16 bits: negative excursions do not count", TBPS::_16, 1000, int16Bytes({-30000, 999}),
         false},
        {"16 bits: a level above 32767 is negative", TBPS::_16, 40000, int16Bytes({-30000, -25536}),
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        delivered.clear();
        setFormat(TChannels::Mono, row.bits, 64);
        audio->Recorder->SetTrigLevel(row.level);
        audio->Recorder->Triggered = false;
        record();
        fill(row.first);
        EXPECT_EQ(audio->Recorder->Triggered, row.triggers);
        EXPECT_EQ(delivered.size(), row.triggers ? 1u : 0u);
        EXPECT_EQ(in.queued(), 4u) << "handed back either way";
        if (!row.triggers) {
            // The latch: one sample at the level, then everything, even silence.
            const Bytes hit =
                row.bits == TBPS::_8 ? Bytes{uint8_t(row.level)} : int16Bytes({int16_t(row.level)});
            fill(hit);
            fill(row.bits == TBPS::_8 ? Bytes(4, 0) : int16Bytes({-1, -1}));
            ASSERT_EQ(delivered.size(), 2u);
            EXPECT_EQ(delivered[0].left, hit);
            EXPECT_TRUE(audio->Recorder->Triggered);
        }
        ASSERT_TRUE(audio->Recorder->Stop());
        pump();
    }
}

TEST_F(RecorderTest, stereoBuffersSplitIntoLeftAndRight) {
    struct Row {
        const char* what;
        TBPS bits;
        bool split;
        Bytes recorded;
        Bytes left;
        std::optional<Bytes> right;
    } rows[] = {
        {"8 bits",
         TBPS::_8,
         true,
         {10, 20, 11, 21, 12, 22, 13, 23},
         {10, 11, 12, 13},
         Bytes{20, 21, 22, 23}},
        {"16 bits", TBPS::_16, true, int16Bytes({100, -100, 200, -200}), int16Bytes({100, 200}),
         int16Bytes({-100, -200})},
        {"not asked for", TBPS::_8, false, {10, 20, 11, 21}, {10, 20, 11, 21}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        delivered.clear();
        setFormat(TChannels::Stereo, row.bits, 16);
        audio->Recorder->SetSplitChannels(row.split);
        audio->Recorder->Triggered = true;
        record(QStringLiteral("split.wav"));
        fill(row.recorded);
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0].left, row.left);
        EXPECT_EQ(delivered[0].right, row.right);
        ASSERT_TRUE(audio->Recorder->Stop());
        const QByteArray file = fileBytes(QStringLiteral("split.wav"));
        EXPECT_EQ(Bytes(file.begin() + 44, file.end()), row.recorded) << "the file keeps frames";
        pump();
    }
}

TEST_F(RecorderTest, anEmptyBufferIsNotHandedBack) {
    record();
    audio->Recorder->Triggered = true;
    fill({});
    ASSERT_EQ(delivered.size(), 1u) << "the latch passes it on";
    EXPECT_TRUE(delivered[0].left.empty());
    EXPECT_EQ(in.queued(), 3u);
    audio->Recorder->Triggered = false;
    fill({});
    EXPECT_EQ(delivered.size(), 1u) << "an empty buffer does not trigger";
    EXPECT_EQ(in.queued(), 2u);
}

// --- Stopping ---------------------------------------------------------------------------------

TEST_F(RecorderTest, stopResetsUnpreparesInSlotOrderAndCloses) {
    record();
    fill(ramp(8192, 1));
    const size_t before = in.calls().size();
    EXPECT_TRUE(audio->Recorder->Stop());
    const auto calls = in.calls();
    std::vector<Call> kinds;
    std::vector<const WaveHdr*> unprepared;
    for (size_t i = before; i < calls.size(); ++i) {
        kinds.push_back(calls[i].call);
        if (calls[i].call == Call::Unprepare)
            unprepared.push_back(calls[i].header);
    }
    EXPECT_EQ(kinds, (std::vector<Call>{Call::Reset, Call::Unprepare, Call::Unprepare,
                                        Call::Unprepare, Call::Unprepare, Call::Close}));
    EXPECT_EQ(unprepared, slotHeaders());
    EXPECT_FALSE(audio->Recorder->IsOpen());
    EXPECT_FALSE(audio->Recorder->Active());
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
    pump();
    EXPECT_EQ(delivered.size(), 1u) << "the buffers the reset handed back are dropped";
    EXPECT_EQ(in.count(Call::AddBuffer), 5) << "and not queued again";

    EXPECT_TRUE(audio->Recorder->Stop());
    EXPECT_EQ(audio->ErrorMessage, "Recorder already closed");
}

TEST_F(RecorderTest, stopFailuresReportTheirTextAndLeaveTheDeviceOpen) {
    struct Row {
        const char* what;
        Call call;
        int skip;
        std::string systemText;
        QString message;
        bool closed;
    } rows[] = {
        {"reset", Call::Reset, 0, "ignored", "Error in waveInReset", false},
        {"third unprepare", Call::Unprepare, 2, "header busy",
         "Error in waveInUnprepareHeader header busy", false},
        {"unprepare without a system text", Call::Unprepare, 0, "",
         "Error in waveInUnprepareHeader", false},
        {"close", Call::Close, 0, "ignored", "Error closing input device", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WaveInSim input(1);
        TAudio a(nullptr, {&out, &input, &mixer});
        ASSERT_TRUE(a.Recorder->Record());
        input.setErrorText(MMSYSERR_ERROR, row.systemText);
        input.fail(row.call, MMSYSERR_ERROR, 1, row.skip);
        EXPECT_FALSE(a.Recorder->Stop());
        EXPECT_EQ(a.ErrorMessage, row.message);
        EXPECT_TRUE(a.Recorder->IsOpen());
        EXPECT_TRUE(input.isOpen());
        EXPECT_TRUE(a.Recorder->Stop()) << "a second Stop closes it";
        EXPECT_FALSE(input.isOpen());
    }
}

TEST_F(RecorderTest, aFailedRequeueStopsTheRecorderAndSaysWhy) {
    record();
    in.setErrorText(-5, "Input/output error");
    in.fail(Call::AddBuffer, -5);
    fill(ramp(100, 0));
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_FALSE(audio->Recorder->IsOpen());
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(audio->ErrorMessage, "Error adding input buffer Input/output error");
}

TEST_F(RecorderTest, notificationsOfAClosedDeviceReachNoLaterRecording) {
    // Its data and a re-queue request are still on their way, then another device's open.
    record();
    in.fillNext(ramp(8192, 1));
    QCoreApplication::processEvents(); // delivers it; the re-queue request waits
    ASSERT_EQ(delivered.size(), 1u);
    ASSERT_TRUE(audio->Recorder->Stop());
    ASSERT_TRUE(audio->Recorder->Record());
    in.fillNext(ramp(8192, 2));
    ASSERT_TRUE(audio->Recorder->Stop());
    ASSERT_TRUE(audio->Recorder->Record());
    pump();
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_TRUE(audio->Recorder->Active()) << "the new device's open came last";
    EXPECT_EQ(in.queue(), slotHeaders()) << "no buffer of the new device queued twice";
    EXPECT_TRUE(audio->ErrorMessage.isEmpty()) << audio->ErrorMessage.toStdString();

    const Bytes data = ramp(8192, 3);
    fill(data);
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[1].left, data);
}

TEST_F(RecorderTest, onRecordMayStopOrRestartTheRecorder) {
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "stop and record again" : "stop");
        int calls = 0;
        audio->OnRecord = [&](TObject*, void*, void*, uint16_t) {
            if (++calls > 1)
                return;
            EXPECT_TRUE(audio->Recorder->Stop());
            if (restart) {
                EXPECT_TRUE(audio->Recorder->Record());
            }
        };
        record();
        fill(ramp(10, 0));
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(audio->ErrorMessage.isEmpty()) << audio->ErrorMessage.toStdString();
        EXPECT_EQ(in.isOpen(), restart);
        if (restart) {
            EXPECT_EQ(in.queue(), slotHeaders()) << "the new device keeps its own ring";
            fill(ramp(10, 1));
            EXPECT_EQ(calls, 2);
            EXPECT_EQ(in.queued(), 4u);
            EXPECT_TRUE(audio->Recorder->Stop());
        }
        pump();
    }
}

TEST_F(RecorderTest, theFormatCannotChangeWhileRecording) {
    record();
    const WaveHdr* header = audio->Recorder->Slot(0).Header;
    audio->Recorder->SetSampleRate(8000);
    audio->Recorder->SetNoSamples(100);
    EXPECT_EQ(audio->Recorder->SampleRate(), 11025);
    EXPECT_EQ(audio->Recorder->NoSamples(), 8192);
    EXPECT_EQ(audio->Recorder->Slot(0).Header, header) << "queued buffers stay where they are";
}

// --- The recording file -----------------------------------------------------------------------

TEST_F(RecorderTest, theRecordingFileHoldsTheTriggeredBuffersBehindAWaveHeader) {
    setFormat(TChannels::Stereo, TBPS::_8, 50);
    audio->Recorder->SetSampleRate(8000);
    audio->Recorder->SetTrigLevel(250);
    record(QStringLiteral("take.wav"));
    fill(Bytes(100, 1)); // below the level: not in the file
    Bytes expected;
    for (int i = 0; i < 6; ++i) {
        Bytes data = ramp(100, i);
        data[0] = 250;
        fill(data);
        expected.insert(expected.end(), data.begin(), data.end());
    }
    EXPECT_TRUE(audio->Recorder->IsRecordingToFile());
    ASSERT_TRUE(audio->Recorder->Stop());
    EXPECT_FALSE(audio->Recorder->IsRecordingToFile());

    const QByteArray file = fileBytes(QStringLiteral("take.wav"));
    ASSERT_EQ(file.size(), 44 + 600);
    const auto* h = reinterpret_cast<const uchar*>(file.constData());
    EXPECT_EQ(file.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 4), uint32_t(file.size() - 8));
    EXPECT_EQ(file.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 16), 16u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h + 20), 1) << "PCM";
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h + 22), 2);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 24), 8000u);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 28), 16000u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h + 32), 2);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h + 34), 8);
    EXPECT_EQ(file.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 40), uint32_t(file.size() - 44));
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), expected);
}

TEST_F(RecorderTest, destroyingTheComponentFinishesTheRecordingFile) {
    auto* a = new TAudio(nullptr, {&out, &in, &mixer});
    ASSERT_TRUE(a->Recorder->Record(QStringLiteral("cut.wav")));
    pump();
    in.fillNext(ramp(8192, 0));
    pump();
    delete a;
    EXPECT_FALSE(in.isOpen());
    const QByteArray file = fileBytes(QStringLiteral("cut.wav"));
    ASSERT_EQ(file.size(), 44 + 8192);
    const auto* h = reinterpret_cast<const uchar*>(file.constData());
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 4), 8192u + 36);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 40), 8192u);
}

TEST_F(RecorderTest, aFileThatCannotBeCreatedClosesTheDeviceAgain) {
    QDir().mkpath(QStringLiteral("taken.wav")); // a folder of that name
    EXPECT_FALSE(audio->Recorder->Record(QStringLiteral("taken.wav")));
    EXPECT_TRUE(audio->ErrorMessage.startsWith("Cannot create file \"taken.wav\". "))
        << audio->ErrorMessage.toStdString();
    EXPECT_FALSE(audio->Recorder->IsOpen());
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(in.count(Call::Start), 0);
    QDir().rmdir(QStringLiteral("taken.wav"));
}

TEST_F(RecorderTest, aFileThatCannotGrowIsFinishedAndRecordingGoesOn) {
    // The file may grow to the header and one buffer and a half, no further.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 44 + 150;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    setFormat(TChannels::Mono, TBPS::_8, 100);
    audio->Recorder->Triggered = true;
    record(QStringLiteral("full.wav"));
    fill(ramp(100, 0));
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
    fill(ramp(100, 1));
    EXPECT_TRUE(audio->ErrorMessage.startsWith("Cannot write file \"full.wav\". "))
        << audio->ErrorMessage.toStdString();
    EXPECT_FALSE(audio->Recorder->IsRecordingToFile());
    fill(ramp(100, 2));
    EXPECT_EQ(delivered.size(), 3u) << "recording goes on";
    EXPECT_TRUE(audio->Recorder->IsOpen());

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    const QByteArray file = fileBytes(QStringLiteral("full.wav"));
    ASSERT_GE(file.size(), 44 + 100);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(file.constData() + 4), uint32_t(file.size() - 8));
    EXPECT_EQ(qFromLittleEndian<uint32_t>(file.constData() + 40), uint32_t(file.size() - 44));
    EXPECT_EQ(file.mid(44, 100),
              QByteArray(reinterpret_cast<const char*>(ramp(100, 0).data()), 100));
}

} // namespace

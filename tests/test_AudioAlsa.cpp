// SPDX-License-Identifier: GPL-3.0-or-later
// The wave layer and the player through real ALSA, captured by ALSA's file plugin.
#include "Audio.h"
#include "SystemErrorText.h"
#include "WaveIn.h"
#include "WaveOut.h"
#include "WaveOutAlsa.h"
#include "support/AlsaCapture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using namespace platform;
using testsupport::AlsaCapture;

namespace {

std::vector<uint8_t> ramp(size_t size, int seed = 0) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>((i * 13 + seed + i / 509) & 0xFF);
    return data;
}

QByteArray toQByteArray(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

class AlsaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { capture = new AlsaCapture(); }
    static void TearDownTestSuite() {
        delete capture;
        capture = nullptr;
    }
    static AlsaCapture* capture;
};
AlsaCapture* AlsaTest::capture = nullptr;

// --- The layer itself ------------------------------------------------------------------------

struct Notification {
    unsigned msg;
    uintptr_t header;
    std::thread::id thread;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Notification> log;
    static void callback(HWaveOut, unsigned msg, uintptr_t instance, uintptr_t p1, uintptr_t) {
        auto* self = reinterpret_cast<Recorder*>(instance);
        std::lock_guard lock(self->mutex);
        self->log.push_back({msg, p1, std::this_thread::get_id()});
    }
    size_t count(unsigned msg) {
        std::lock_guard lock(mutex);
        return size_t(std::count_if(log.begin(), log.end(),
                                    [msg](const Notification& n) { return n.msg == msg; }));
    }
    bool waitFor(unsigned msg, size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (count(msg) < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return count(msg) >= n;
    }
};

WaveFormatEx pcmFormat(uint16_t channels, uint16_t bits, uint32_t rate) {
    const uint16_t align = uint16_t(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

TEST_F(AlsaTest, buffersPlayInOrderWithOneCompletionEachAndCloseDrains) {
    WaveOut& layer = alsaWaveOut();
    Recorder rec;
    const WaveFormatEx format = pcmFormat(1, 8, 22050);
    HWaveOut dev = nullptr;
    ASSERT_EQ(layer.open(&dev, WAVE_MAPPER, &format, &Recorder::callback,
                         reinterpret_cast<uintptr_t>(&rec), CALLBACK_FUNCTION | WAVE_ALLOWSYNC),
              MMSYSERR_NOERROR);
    EXPECT_EQ(rec.count(MM_WOM_OPEN), 1u) << "during open";

    std::vector<std::vector<uint8_t>> data{ramp(5000, 1), ramp(8192, 2), ramp(17, 3)};
    WaveHdr headers[3]{};
    for (int i = 0; i < 3; ++i) {
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = uint32_t(data[i].size());
        ASSERT_EQ(layer.write(dev, &headers[i], sizeof(WaveHdr)), WAVERR_UNPREPARED);
        ASSERT_EQ(layer.prepareHeader(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.write(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(rec.waitFor(MM_WOM_DONE, 3));
    for (WaveHdr& h : headers) {
        EXPECT_TRUE(h.dwFlags & WHDR_DONE);
        EXPECT_FALSE(h.dwFlags & WHDR_INQUEUE);
        EXPECT_EQ(layer.unprepareHeader(dev, &h, sizeof(WaveHdr)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(layer.close(dev), MMSYSERR_NOERROR);
    EXPECT_EQ(layer.prepareHeader(dev, &headers[0], sizeof(WaveHdr)), MMSYSERR_INVALHANDLE)
        << "a closed handle is refused";

    std::vector<unsigned> order;
    for (const Notification& n : rec.log)
        order.push_back(n.msg);
    EXPECT_EQ(order, (std::vector<unsigned>{MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_DONE, MM_WOM_DONE,
                                            MM_WOM_CLOSE}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rec.log[1 + i].header, reinterpret_cast<uintptr_t>(&headers[i]));
        EXPECT_NE(rec.log[1 + i].thread, std::this_thread::get_id()) << "the layer's own thread";
    }
    std::vector<uint8_t> expected;
    for (const auto& d : data)
        expected.insert(expected.end(), d.begin(), d.end());
    EXPECT_EQ(capture->read(), expected) << "everything written is played before the close";
}

// ALSA's null plugin (under the file plugin here) takes every frame at once: a writer held up
// between two buffers, as on a busy machine, is no break there and adds nothing between them.
TEST_F(AlsaTest, aLateBufferOnADeviceWithoutAClockJoinsTheSoundWithoutSilence) {
    WaveOut& layer = alsaWaveOut();
    Recorder rec;
    const WaveFormatEx format = pcmFormat(1, 8, 22050);
    HWaveOut dev = nullptr;
    ASSERT_EQ(layer.open(&dev, WAVE_MAPPER, &format, &Recorder::callback,
                         reinterpret_cast<uintptr_t>(&rec), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::vector<uint8_t>> data{ramp(4000, 1), ramp(3000, 2)};
    WaveHdr headers[2]{};
    for (int i = 0; i < 2; ++i) {
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = uint32_t(data[i].size());
        ASSERT_EQ(layer.prepareHeader(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.write(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
        if (i == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    ASSERT_TRUE(rec.waitFor(MM_WOM_DONE, 2));
    EXPECT_EQ(layer.lostError(dev), MMSYSERR_NOERROR);
    ASSERT_EQ(layer.close(dev), MMSYSERR_NOERROR);
    std::vector<uint8_t> expected = data[0];
    expected.insert(expected.end(), data[1].begin(), data[1].end());
    EXPECT_EQ(capture->read(), expected);
}

TEST_F(AlsaTest, resetHandsBackEveryQueuedBufferBeforeItReturns) {
    WaveOut& layer = alsaWaveOut();
    Recorder rec;
    const WaveFormatEx format = pcmFormat(2, 16, 44100);
    HWaveOut dev = nullptr;
    ASSERT_EQ(layer.open(&dev, WAVE_MAPPER, &format, &Recorder::callback,
                         reinterpret_cast<uintptr_t>(&rec), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> data = ramp(65532);
    WaveHdr headers[8]{};
    for (WaveHdr& h : headers) {
        h.lpData = data.data();
        h.dwBufferLength = uint32_t(data.size());
        layer.prepareHeader(dev, &h, sizeof(WaveHdr));
        ASSERT_EQ(layer.write(dev, &h, sizeof(WaveHdr)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(layer.reset(dev), MMSYSERR_NOERROR);
    EXPECT_EQ(rec.count(MM_WOM_DONE), 8u);
    for (WaveHdr& h : headers)
        EXPECT_EQ(h.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(layer.close(dev), MMSYSERR_NOERROR);
    EXPECT_EQ(rec.count(MM_WOM_CLOSE), 1u);
}

TEST_F(AlsaTest, eightBitSamplesReachAlsaAsSigned16BitWhatever16BitDataStaysAsItIs) {
    // A server fills gaps with zero bytes: in signed 16 bits that is silence, in unsigned
    // 8 bits it is full scale. So 8-bit data is widened as (x - 128) * 256.
    struct Row {
        const char* what;
        WaveFormatEx format;
        std::vector<uint8_t> played;
        std::vector<uint8_t> atAlsa;
    } rows[] = {
        {"8-bit mono",
         pcmFormat(1, 8, 22050),
         {0, 1, 27, 127, 128, 129, 227, 255},
         {0x00, 0x80, 0x00, 0x81, 0x00, 0x9B, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x63, 0x00,
          0x7F}},
        {"8-bit stereo",
         pcmFormat(2, 8, 11025),
         {127, 128, 0, 255},
         {0x00, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x00, 0x7F}},
        {"16-bit mono",
         pcmFormat(1, 16, 22050),
         {0x34, 0x12, 0x00, 0x80},
         {0x34, 0x12, 0x00, 0x80}},
    };
    WaveOut& layer = alsaWaveOut();
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        Recorder rec;
        HWaveOut dev = nullptr;
        ASSERT_EQ(layer.open(&dev, WAVE_MAPPER, &row.format, &Recorder::callback,
                             reinterpret_cast<uintptr_t>(&rec), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        // Long enough to cross the layer's conversion block several times.
        std::vector<uint8_t> data;
        std::vector<uint8_t> expected;
        for (int i = 0; i < 3000; ++i) {
            data.insert(data.end(), row.played.begin(), row.played.end());
            expected.insert(expected.end(), row.atAlsa.begin(), row.atAlsa.end());
        }
        WaveHdr header{};
        header.lpData = data.data();
        header.dwBufferLength = uint32_t(data.size());
        ASSERT_EQ(layer.prepareHeader(dev, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.write(dev, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_TRUE(rec.waitFor(MM_WOM_DONE, 1));
        EXPECT_EQ(layer.lostError(dev), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.unprepareHeader(dev, &header, sizeof header), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.close(dev), MMSYSERR_NOERROR);
        const std::vector<uint8_t> raw = capture->readRaw();
        EXPECT_EQ(raw.size(), expected.size());
        EXPECT_TRUE(raw == expected) << "no stray sample before, between or after";
    }
}

TEST_F(AlsaTest, playbackDevicesComeWithTheirDescriptionsInDeviceOrder) {
    const std::vector<AlsaDevice> devices = alsaPlaybackDevices();
    const std::vector<std::string> names = alsaPlaybackDeviceNames();
    ASSERT_EQ(devices.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(devices[i].name, names[i]) << "device number " << i;
    for (const char* name : AlsaCapture::namedPcms) {
        const auto it = std::find_if(devices.begin(), devices.end(),
                                     [name](const AlsaDevice& d) { return d.name == name; });
        ASSERT_NE(it, devices.end()) << name;
        EXPECT_EQ(it->description,
                  std::string("Zuvela Test Card, ") + name + ": Output of " + name);
    }
}

TEST_F(AlsaTest, openRefusesWhatItCannotPlay) {
    WaveOut& layer = alsaWaveOut();
    Recorder rec;
    const auto names = alsaPlaybackDeviceNames();
    EXPECT_EQ(layer.getNumDevs(), names.size());
    const auto unusable = std::find(names.begin(), names.end(), AlsaCapture::unusablePcm);
    ASSERT_NE(unusable, names.end());
    struct Row {
        const char* what;
        int device;
        WaveFormatEx format;
        uint32_t flags;
        WaveResult result;
    } rows[] = {
        {"device beyond the list", int(names.size()), pcmFormat(1, 8, 22050), CALLBACK_FUNCTION,
         MMSYSERR_BADDEVICEID},
        {"negative device", -2, pcmFormat(1, 8, 22050), CALLBACK_FUNCTION, MMSYSERR_BADDEVICEID},
        {"24-bit", WAVE_MAPPER, pcmFormat(1, 24, 22050), CALLBACK_FUNCTION, WAVERR_BADFORMAT},
        {"three channels", WAVE_MAPPER, pcmFormat(3, 8, 22050), CALLBACK_FUNCTION,
         WAVERR_BADFORMAT},
        {"no callback flag", WAVE_MAPPER, pcmFormat(1, 8, 22050), 0, MMSYSERR_INVALFLAG},
        {"unusable PCM", int(unusable - names.begin()), pcmFormat(1, 8, 22050), CALLBACK_FUNCTION,
         -EINVAL},
    };
    for (const Row& row : rows) {
        HWaveOut dev = nullptr;
        EXPECT_EQ(layer.open(&dev, row.device, &row.format, &Recorder::callback,
                             reinterpret_cast<uintptr_t>(&rec), row.flags),
                  row.result)
            << row.what;
    }
    HWaveOut dev = nullptr;
    EXPECT_EQ(layer.open(&dev, WAVE_MAPPER, nullptr, &Recorder::callback, 0, CALLBACK_FUNCTION),
              MMSYSERR_INVALPARAM);
    EXPECT_TRUE(rec.log.empty()) << "no notification from a failed open";
}

TEST_F(AlsaTest, errorCodesHaveTexts) {
    struct Row {
        WaveResult code;
        std::string text;
    } rows[] = {
        {MMSYSERR_BADDEVICEID, "Gerät nicht vorhanden"},
        {MMSYSERR_INVALHANDLE, "Gerät nicht geöffnet"},
        {WAVERR_BADFORMAT, "Tonformat nicht unterstützt"},
        {WAVERR_GAP, "Lücke in der Wiedergabe"},
        {WAVERR_STILLPLAYING, "es wird noch abgespielt"},
        {-EBUSY, "Gerät belegt"},
        {-EINVAL, "ungültiger Wert"},
        // A sound server that is down, refuses or drops the connection (PipeWire's and
        // PulseAudio's plugins), and what a device or file path gives besides.
        {-EHOSTDOWN, "Gegenstelle nicht in Betrieb"},
        {-ECONNREFUSED, "Verbindung abgewiesen"},
        {-ENOTCONN, "keine Verbindung"},
        {-ECONNRESET, "Verbindung von der Gegenstelle getrennt"},
        {-ESHUTDOWN, "Verbindung schon beendet"},
        {-EREMOTEIO, "Ein-/Ausgabefehler der Gegenstelle"},
        {-EPIPE, "Verbindung unterbrochen"},
        {-ENODEV, "Gerät nicht vorhanden"},
        {-ENXIO, "Gerät nicht vorhanden"},
        {-ENOENT, "nicht vorhanden"},
        {-ENOSPC, "kein Speicherplatz mehr"},
        {-EACCES, "keine Berechtigung"},
        {-EPERM, "keine Berechtigung"},
        {-EIO, "Ein-/Ausgabefehler"},
        {-EAGAIN, "vorübergehend nicht verfügbar"},
        {12345, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(alsaWaveOut().getErrorText(row.code), row.text) << row.code;

    // Every error number Linux knows has its words; any other number gets words first, with
    // its name or number after them, never a bare number as the reason.
    for (int errnum = 1; errnum < 4096; ++errnum) {
        const std::string text = systemErrorText(errnum);
        ASSERT_FALSE(text.empty()) << errnum;
        EXPECT_EQ(std::isdigit(static_cast<unsigned char>(text[0])), 0) << errnum << ": " << text;
        const bool known = strerrorname_np(errnum) != nullptr;
        EXPECT_EQ(text.starts_with("unbekannter Systemfehler"), !known) << errnum << ": " << text;
    }
    EXPECT_EQ(systemErrorText(4000), "unbekannter Systemfehler (Fehlernummer 4000)");
}

// --- The component on ALSA -------------------------------------------------------------------

struct AudioOnAlsa : AlsaTest {
    QObject form;
    TAudio* audio = new TAudio(&form);
    std::atomic<int> played{0};
    std::atomic<int> bufferPlayed{0};
    std::vector<uint8_t> capturedAtPlayed;

    AudioOnAlsa() {
        audio->Player->SetSampleRate(22050);
        audio->OnPlayed = [this](TObject*) {
            // 8-bit sound reaches ALSA widened to 16 bits; read() narrows it back.
            capturedAtPlayed =
                audio->Player->BitsPerSample() == TBPS::_8 ? capture->read() : capture->readRaw();
            ++played;
        };
        audio->OnBufferPlayed = [this](TObject*) { ++bufferPlayed; };
    }
    bool waitForPlayed(int n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (played < n && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return played >= n;
    }
    void play(const QByteArray& left, const QByteArray& right = {}) {
        QBuffer l, r;
        l.setData(left);
        r.setData(right);
        l.open(QIODevice::ReadOnly);
        r.open(QIODevice::ReadOnly);
        audio->Player->Play(&l, right.isEmpty() ? nullptr : &r, 0);
    }
};

TEST_F(AudioOnAlsa, everyBytePlayedReachesAlsaInOrderBeforeOnPlayed) {
    struct Row {
        const char* what;
        TChannels channels;
        TBPS bits;
        size_t size;
    } rows[] = {
        {"programming format", TChannels::Mono, TBPS::_8, 149072},
        {"shorter than a buffer", TChannels::Mono, TBPS::_8, 300},
        {"16-bit stereo", TChannels::Stereo, TBPS::_16, 40000},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        audio->Player->SetChannels(row.channels);
        audio->Player->SetBitsPerSample(row.bits);
        const auto data = ramp(row.size, n);
        play(toQByteArray(data));
        ASSERT_TRUE(waitForPlayed(++n));
        ASSERT_EQ(capturedAtPlayed.size(), data.size()) << bufferPlayed;
        EXPECT_EQ(capturedAtPlayed, data);
        EXPECT_FALSE(audio->Player->IsOpen());
        EXPECT_FALSE(audio->Player->Active());
        EXPECT_TRUE(audio->ErrorMessage.isEmpty()) << audio->ErrorMessage.toStdString();
    }
    EXPECT_EQ(bufferPlayed, 18 + 0 + 1);
}

TEST_F(AudioOnAlsa, anUnusableDeviceGivesTheComposedTextAndTheComponentGoesOn) {
    const auto names = alsaPlaybackDeviceNames();
    const auto unusable = std::find(names.begin(), names.end(), AlsaCapture::unusablePcm);
    ASSERT_NE(unusable, names.end());
    audio->SetAudioDeviceID(int32_t(unusable - names.begin()));
    play(QByteArray(1000, 'x'));
    EXPECT_EQ(audio->ErrorMessage,
              QStringLiteral("Could not open the output device for playing:  ungültiger Wert"));
    EXPECT_FALSE(audio->Player->IsOpen());

    audio->SetAudioDeviceID(-1);
    const auto data = ramp(30000, 7);
    play(toQByteArray(data));
    ASSERT_TRUE(waitForPlayed(1));
    EXPECT_EQ(capturedAtPlayed, data);
}

TEST_F(AudioOnAlsa, stopRightAfterPlayClosesTheDeviceWithOnPlayed) {
    for (int i = 0; i < 20; ++i) {
        const auto data = ramp(20 * 8192, i);
        play(toQByteArray(data));
        audio->Player->Stop();
        ASSERT_EQ(played, i + 1);
        EXPECT_FALSE(audio->Player->IsOpen());
        EXPECT_TRUE(audio->ErrorMessage.isEmpty());
        const auto captured = capture->read();
        ASSERT_LE(captured.size(), data.size());
        EXPECT_TRUE(std::equal(captured.begin(), captured.end(), data.begin()))
            << "what was heard is the start of the data";
    }
}

// --- Recording through the file plugin's input file --------------------------------------------

// A window that notes what the input layer posts to it, from whichever thread.
struct NoteWindow : WaveWindow {
    std::mutex mutex;
    std::condition_variable posted;
    std::vector<Notification> log;
    void post(unsigned msg, uintptr_t, uintptr_t lParam) override {
        std::lock_guard lock(mutex);
        log.push_back({msg, lParam, std::this_thread::get_id()});
        posted.notify_all();
    }
    size_t count(unsigned msg) {
        std::lock_guard lock(mutex);
        return size_t(std::count_if(log.begin(), log.end(),
                                    [msg](const Notification& n) { return n.msg == msg; }));
    }
    bool waitFor(unsigned msg, size_t n) {
        std::unique_lock lock(mutex);
        return posted.wait_for(lock, std::chrono::seconds(10), [&] {
            return size_t(std::count_if(log.begin(), log.end(), [msg](const Notification& x) {
                       return x.msg == msg;
                   })) >= n;
        });
    }
};

TEST_F(AlsaTest, recordedBuffersFillInOrderFromTheInputAndComeBackThroughTheWindow) {
    WaveIn& layer = alsaWaveIn();
    const auto input = ramp(20000, 5);
    capture->setInput(input);
    NoteWindow window;
    const WaveFormatEx format = pcmFormat(2, 8, 11025);
    HWaveIn dev = nullptr;
    ASSERT_EQ(layer.open(&dev, WAVE_MAPPER, &format, &window, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    EXPECT_EQ(window.count(MM_WIM_OPEN), 1u) << "posted before open returns";

    std::vector<std::vector<uint8_t>> data{std::vector<uint8_t>(1000), std::vector<uint8_t>(6000),
                                           std::vector<uint8_t>(18)};
    WaveHdr headers[3]{};
    for (int i = 0; i < 3; ++i) {
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = uint32_t(data[i].size());
        ASSERT_EQ(layer.addBuffer(dev, &headers[i], sizeof(WaveHdr)), WAVERR_UNPREPARED);
        ASSERT_EQ(layer.prepareHeader(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
        ASSERT_EQ(layer.addBuffer(dev, &headers[i], sizeof(WaveHdr)), MMSYSERR_NOERROR);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(window.count(MM_WIM_DATA), 0u) << "nothing is recorded before start";
    EXPECT_EQ(layer.close(dev), WAVERR_STILLPLAYING);
    ASSERT_EQ(layer.start(dev), MMSYSERR_NOERROR);
    ASSERT_TRUE(window.waitFor(MM_WIM_DATA, 3));

    size_t offset = 0;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(window.log[size_t(1 + i)].header, reinterpret_cast<uintptr_t>(&headers[i]));
        EXPECT_NE(window.log[size_t(1 + i)].thread, std::this_thread::get_id());
        EXPECT_EQ(headers[i].dwBytesRecorded, headers[i].dwBufferLength);
        EXPECT_EQ(headers[i].dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        EXPECT_TRUE(std::equal(data[i].begin(), data[i].end(), input.begin() + long(offset)));
        offset += data[i].size();
    }

    // A reset hands back what is queued, with what it holds, before it returns.
    std::vector<uint8_t> spare(100);
    WaveHdr idle{};
    idle.lpData = spare.data();
    idle.dwBufferLength = 100;
    ASSERT_EQ(layer.reset(dev), MMSYSERR_NOERROR); // recording stops
    layer.prepareHeader(dev, &idle, sizeof(WaveHdr));
    ASSERT_EQ(layer.addBuffer(dev, &idle, sizeof(WaveHdr)), MMSYSERR_NOERROR);
    ASSERT_EQ(layer.reset(dev), MMSYSERR_NOERROR);
    EXPECT_EQ(window.count(MM_WIM_DATA), 4u);
    EXPECT_EQ(idle.dwBytesRecorded, 0u);
    for (WaveHdr* h : {&headers[0], &headers[1], &headers[2], &idle})
        EXPECT_EQ(layer.unprepareHeader(dev, h, sizeof(WaveHdr)), MMSYSERR_NOERROR);
    ASSERT_EQ(layer.close(dev), MMSYSERR_NOERROR);
    EXPECT_EQ(window.count(MM_WIM_CLOSE), 1u) << "posted before close returns";
    EXPECT_EQ(window.log.back().msg, MM_WIM_CLOSE);
    EXPECT_EQ(layer.start(dev), MMSYSERR_INVALHANDLE) << "a closed handle is refused";
}

TEST_F(AlsaTest, recordingOpenRefusesWhatItCannotRecord) {
    WaveIn& layer = alsaWaveIn();
    NoteWindow window;
    const auto names = alsaCaptureDeviceNames();
    EXPECT_EQ(layer.getNumDevs(), names.size());
    const auto unusable = std::find(names.begin(), names.end(), AlsaCapture::unusablePcm);
    ASSERT_NE(unusable, names.end());
    struct Row {
        const char* what;
        int device;
        WaveFormatEx format;
        uint32_t flags;
        WaveResult result;
    } rows[] = {
        {"device beyond the list", int(names.size()), pcmFormat(1, 8, 22050), CALLBACK_WINDOW,
         MMSYSERR_BADDEVICEID},
        {"16-bit with a wrong block",
         WAVE_MAPPER,
         {1, 1, 22050, 22050, 1, 16, 0},
         CALLBACK_WINDOW,
         WAVERR_BADFORMAT},
        {"no window flag", WAVE_MAPPER, pcmFormat(1, 8, 22050), CALLBACK_FUNCTION,
         MMSYSERR_INVALFLAG},
        {"unusable PCM", int(unusable - names.begin()), pcmFormat(1, 8, 22050), CALLBACK_WINDOW,
         -EINVAL},
    };
    for (const Row& row : rows) {
        HWaveIn dev = nullptr;
        EXPECT_EQ(layer.open(&dev, row.device, &row.format, &window, row.flags), row.result)
            << row.what;
    }
    EXPECT_TRUE(window.log.empty()) << "no notification from a failed open";
}

struct RecordingOnAlsa : AlsaTest {
    QObject form;
    TAudio* audio = new TAudio(&form);
    std::vector<uint8_t> left, right;
    int buffers = 0;

    bool pumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return done();
    }
};

TEST_F(RecordingOnAlsa, aSecondOfStereoArrivesSplitIntoLeftAndRightAndFillsTheFile) {
    // One second at 11025 frames per second, 8-bit stereo: five buffers of 2205 frames.
    std::vector<uint8_t> l(11025), r(11025), frames;
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] = static_cast<uint8_t>(128 + 100 * std::sin(double(i) * 0.05));
        r[i] = static_cast<uint8_t>(i * 7 + i / 256);
        frames.push_back(l[i]);
        frames.push_back(r[i]);
    }
    capture->setInput(frames);
    audio->Recorder->SetChannels(TChannels::Stereo);
    audio->Recorder->SetNoSamples(2205);
    audio->Recorder->SetSplitChannels(true);
    audio->OnRecord = [this](TObject*, void* LP, void* RP, uint16_t BufferSize) {
        ASSERT_NE(RP, nullptr);
        const auto* lp = static_cast<const uint8_t*>(LP);
        const auto* rp = static_cast<const uint8_t*>(RP);
        left.insert(left.end(), lp, lp + BufferSize);
        right.insert(right.end(), rp, rp + BufferSize);
        if (++buffers == 5) // past its end the input file repeats nothing useful
            audio->Recorder->Stop();
    };
    QFile::remove(QStringLiteral("second.wav"));
    ASSERT_TRUE(audio->Recorder->Record(QStringLiteral("second.wav")))
        << audio->ErrorMessage.toStdString();
    ASSERT_TRUE(pumpUntil([this] { return !audio->Recorder->IsOpen(); }));
    EXPECT_EQ(buffers, 5);
    EXPECT_EQ(left, l);
    EXPECT_EQ(right, r);
    EXPECT_TRUE(audio->ErrorMessage.isEmpty()) << audio->ErrorMessage.toStdString();

    QFile file(QStringLiteral("second.wav"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 44 + 22050);
    const auto* h = reinterpret_cast<const uchar*>(bytes.constData());
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 4), 22050u + 36);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 40), 22050u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h + 22), 2);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h + 24), 11025u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 44, bytes.end()), frames);
}

TEST_F(RecordingOnAlsa, stopWhileTheDeviceIsFillingBuffersClosesItEveryTime) {
    capture->setInput(ramp(200000, 3));
    audio->OnRecord = [this](TObject*, void*, void*, uint16_t) { ++buffers; };
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(audio->Recorder->Record()) << audio->ErrorMessage.toStdString();
        for (int k = 0; k < i % 4; ++k)
            QCoreApplication::processEvents();
        EXPECT_TRUE(audio->Recorder->Stop());
        EXPECT_FALSE(audio->Recorder->IsOpen());
        EXPECT_TRUE(audio->ErrorMessage.isEmpty()) << audio->ErrorMessage.toStdString();
    }
    const int before = buffers;
    for (int k = 0; k < 8; ++k)
        QCoreApplication::processEvents();
    EXPECT_EQ(buffers, before) << "nothing arrives after Stop";
    EXPECT_FALSE(audio->Recorder->Active());
}

} // namespace

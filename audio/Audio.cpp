// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include "WaveOut.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

using namespace platform;

namespace {

// Stop gives up waiting after this long: the layer has promised a completion per buffer, but
// a broken device must not freeze the program.
constexpr auto stopTimeout = std::chrono::seconds(5);

const char* const playFileName = "PLAY.TMP";

constexpr int32_t maxAudioDeviceID = 255;

QEvent::Type waveMessageType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class TWaveMessageEvent : public QEvent {
public:
    TWaveMessageEvent(unsigned msg, uintptr_t wParam, uintptr_t lParam)
        : QEvent(waveMessageType()), Msg(msg), WParam(wParam), LParam(lParam) {}
    const unsigned Msg;
    const uintptr_t WParam;
    const uintptr_t LParam;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// TMessageWindow

TMessageWindow::TMessageWindow(Handler handler) : FHandler(std::move(handler)) {}

void TMessageWindow::post(unsigned msg, uintptr_t wParam, uintptr_t lParam) {
    auto* e = new TWaveMessageEvent(msg, wParam, lParam);
    FPosts.fetch_add(1, std::memory_order_release);
    // Qt already serialises posting, under a lock ThreadSanitizer cannot see; when a layer's
    // thread and the UI thread post at once, this one shows it that Qt's queue is guarded.
    static std::mutex postMutex;
    std::lock_guard lock(postMutex);
    QCoreApplication::postEvent(this, e);
}

bool TMessageWindow::event(QEvent* e) {
    FPosts.load(std::memory_order_acquire);
    if (e->type() != waveMessageType())
        return QObject::event(e);
    const auto* message = static_cast<TWaveMessageEvent*>(e);
    if (FHandler)
        FHandler(message->Msg, message->WParam, message->LParam);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TAudioSettings

TAudioSettings::TAudioSettings(TAudio* owner) : FOwner(owner) {}

TAudioSettings::~TAudioSettings() {
    FreeBuffers();
}

void TAudioSettings::SetBitsPerSample(TBPS value) {
    FOwner->writeFormat(this, TAudio::FormatField::BitsPerSample, static_cast<int>(value));
}

void TAudioSettings::SetChannels(TChannels value) {
    FOwner->writeFormat(this, TAudio::FormatField::Channels, static_cast<int>(value));
}

void TAudioSettings::SetSampleRate(uint16_t value) {
    FOwner->writeFormat(this, TAudio::FormatField::SampleRate, value);
}

uint16_t TAudioSettings::blockAlign(TChannels channels, TBPS bits) const {
    const uint16_t nChannels = channels == TChannels::Mono ? 1 : 2;
    return bits == TBPS::_8 ? nChannels : static_cast<uint16_t>(2 * nChannels);
}

bool TAudioSettings::AllocateBuffers() {
    FWaveFormat = new (std::nothrow) WaveFormatEx{};
    if (!FWaveFormat) {
        FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate WaveFormat");
        return false;
    }
    WaveFormatEx& f = *FWaveFormat;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.wBitsPerSample = FBitsPerSample == TBPS::_8 ? 8 : 16;
    f.cbSize = 0;
    f.nChannels = FChannels == TChannels::Mono ? 1 : 2;
    f.nSamplesPerSec = FSampleRate;
    f.nBlockAlign = blockAlign(FChannels, FBitsPerSample);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    // 16 bits wide; the setters refuse products that would wrap.
    FBufferSize = static_cast<uint16_t>(FNoSamples * f.nBlockAlign);
    for (TAudioSlot& slot : FSlots) {
        slot.Header = new (std::nothrow) WaveHdr{};
        if (!slot.Header) {
            FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate WaveHeader");
            return false;
        }
        slot.Data = new (std::nothrow) uint8_t[FBufferSize];
        slot.DataSize = slot.Data ? FBufferSize : 0;
        slot.Half = slot.Data ? new (std::nothrow) uint8_t[FBufferSize / 2] : nullptr;
        slot.HalfSize = slot.Half ? FBufferSize / 2 : 0;
        if (!slot.Data || !slot.Half) {
            FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate Wave Buffer");
            return false;
        }
        slot.Header->lpData = slot.Data;
    }
    return true;
}

void TAudioSettings::FreeBuffers() {
    if (!FWaveFormat)
        return;
    delete FWaveFormat;
    FWaveFormat = nullptr;
    for (TAudioSlot& slot : FSlots) {
        delete[] slot.Data;
        delete[] slot.Half;
        delete slot.Header;
        slot = TAudioSlot{};
    }
}

// ---------------------------------------------------------------------------------------------
// TPlayer

TPlayer::TPlayer(TAudio* owner) : TAudioSettings(owner) {
    FRefillWindow = new TMessageWindow([this](unsigned msg, uintptr_t, uintptr_t) {
        if (msg != MM_WOM_DONE)
            return;
        --FRefillsPending;
        if (FOpen && !checkLost() && !refill())
            closeIfStuck();
    });
    FCloseWindow = new TMessageWindow([this](unsigned msg, uintptr_t, uintptr_t) {
        if (msg == MM_WOM_CLOSE)
            closeDevice();
    });
}

TPlayer::~TPlayer() = default;

void TPlayer::waveOutCallback(HWaveOut, unsigned msg, uintptr_t instance, uintptr_t, uintptr_t) {
    // The instance value refers to the component's Player reference.
    TPlayer* player = *reinterpret_cast<TPlayer* const*>(instance);
    switch (msg) {
    case MM_WOM_OPEN:
        player->FActive = true;
        break;
    case MM_WOM_CLOSE:
        player->FActive = false;
        break;
    case MM_WOM_DONE:
        if (player->FActive)
            player->bufferDone(player);
        break;
    default:
        break;
    }
}

// Runs in the layer's context: atomics, the client's OnBufferPlayed and posted requests only.
void TPlayer::bufferDone(TObject* sender) {
    // Counted as pending before the buffer leaves the in-flight count, so that the UI thread
    // never sees both at zero while a refill is on its way (closeIfStuck).
    ++FRefillsPending;
    int inFlight = FInFlight.load();
    while (inFlight > 0 && !FInFlight.compare_exchange_weak(inFlight, inFlight - 1)) {
    }
    const int left = inFlight > 0 ? inFlight - 1 : 0;
    if (FDiscarding) { // Stop is handing the buffers back: nothing more to play
        --FRefillsPending;
        if (left == 0)
            requestClose();
        return;
    }
    // The last buffer of a playback: nothing else in flight and nothing left to read.
    if (left == 0 && !FFileOpen) {
        --FRefillsPending;
        requestClose();
        return;
    }
    if (FOwner->OnBufferPlayed)
        FOwner->OnBufferPlayed(sender);
    FRefillWindow->post(MM_WOM_DONE);
    FTail = static_cast<uint8_t>((FTail + 1) % 4);
}

void TPlayer::requestClose() {
    if (!FCloseRequested.exchange(true))
        FCloseWindow->post(MM_WOM_CLOSE);
}

// After the play file is gone: the callback may have seen it still there when the last buffer
// came back, so whoever comes second asks for the close (the flag makes it one request).
void TPlayer::closeIfDone() {
    if (FInFlight == 0 && !FFileOpen)
        requestClose();
}

// Nothing in flight and no refill on its way: nothing will ever move the playback on, so it
// ends here.
void TPlayer::closeIfStuck() {
    if (FInFlight != 0 || FRefillsPending != 0)
        return;
    releasePlayFile();
    requestClose();
}

// A device that went away mid-playback has handed back everything; the playback ends here
// as a failure, as if stopped. True when that happened.
bool TPlayer::checkLost(bool closeWhenDone) {
    const WaveResult lost = FOwner->waveOut().lostError(FHandle);
    if (lost == MMSYSERR_NOERROR || lost == MMSYSERR_INVALHANDLE)
        return false;
    if (FPlaybackFailure.isEmpty()) {
        const std::string text = FOwner->waveOut().getErrorText(lost);
        FPlaybackFailure =
            text.empty() ? QStringLiteral("error %1").arg(lost) : QString::fromLocal8Bit(text);
        FOwner->ErrorMessage = QStringLiteral("Playback cut short:  ") + FPlaybackFailure;
    }
    FDiscarding = true;
    releasePlayFile();
    FHead = FTail.load();
    if (closeWhenDone)
        closeIfDone();
    return true;
}

void TPlayer::releasePlayFile() {
    FFileOpen = false;
    FPlayFile.reset(); // "PLAY.TMP" stays on disk
}

bool TPlayer::openDevice() {
    if (FOpen)
        return true;
    FHead = 0;
    FTail = 1;
    FInFlight = 0;
    FRefillsPending = 0;
    FDiscarding = false;
    FCloseRequested = false;
    FPlaybackFailure.clear();
    const WaveResult rc = FOwner->waveOut().open(
        &FHandle, FOwner->AudioDeviceID(), FWaveFormat, waveOutCallback,
        reinterpret_cast<uintptr_t>(&FOwner->Player), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
    if (rc != MMSYSERR_NOERROR) {
        FHandle = nullptr;
        FOwner->setWaveOutError(QStringLiteral("Could not open the output device for playing: "),
                                rc);
        return false;
    }
    FOpen = true;
    for (TAudioSlot& slot : FSlots) {
        if (!slot.Header)
            continue;
        *slot.Header = WaveHdr{};
        slot.Header->lpData = slot.Data;
        slot.Header->dwBufferLength = FBufferSize;
    }
    return true;
}

void TPlayer::Play(QIODevice* LeftStream, QIODevice* RightStream, uint16_t Loops) {
    if (!openDevice())
        return;
    if (!LeftStream || !LeftStream->isReadable() || LeftStream->size() <= 0) {
        closeIfStuck(); // an open device with nothing to play would never close
        return;
    }
    if (!FPlayFile) {
        FPlayFile = createPlayFile();
        FFileOpen = true;
        FDiscarding = false;
        FLoops = Loops;
        FReadPos = 0;
    } else {
        FPlayFile->seek(FPlayFile->size());
    }
    try {
        appendToPlayFile(LeftStream, RightStream);
    } catch (const TPlayFileError&) {
        if (FReadPos == 0)
            closeIfStuck();
        throw;
    }
    if (FReadPos == 0) {
        for (int i = 0; i < 4; ++i)
            refill();
        closeIfStuck();
    }
}

// In the user's cache folder (created when missing), so that a program started from the
// desktop leaves nothing in the home folder; the working directory when that fails.
std::unique_ptr<QFile> TPlayer::createPlayFile() {
    QString folder = FPlayFileFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QStringList candidates;
    if (!folder.isEmpty() && QDir().mkpath(folder))
        candidates << QDir(folder).filePath(QString::fromLatin1(playFileName));
    candidates << QString::fromLatin1(playFileName);
    QString reason;
    for (const QString& path : candidates) {
        auto file = std::make_unique<QFile>(path);
        if (file->open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            FPlayFilePath = QFileInfo(path).absoluteFilePath();
            return file;
        }
        reason = file->errorString();
    }
    closeIfStuck();
    throw TPlayFileError(QStringLiteral("Cannot create file \"%1\". %2")
                             .arg(QString::fromLatin1(playFileName), reason)
                             .toStdString());
}

void TPlayer::writePlayFile(const char* data, qint64 size) {
    if (FPlayFile->write(data, size) != size)
        throw TPlayFileError(QStringLiteral("Cannot write file \"%1\". %2")
                                 .arg(playFileName, FPlayFile->errorString())
                                 .toStdString());
}

void TPlayer::appendToPlayFile(QIODevice* left, QIODevice* right) {
    const qint64 size = left->size();
    if (FChannels == TChannels::Stereo && right && right->isReadable() && right->size() == size) {
        // Whole frames into a 1000-byte block: 500 frames at 8 bits, 250 at 16.
        const int sampleBytes = FBitsPerSample == TBPS::_8 ? 1 : 2;
        const qint64 frames = size / sampleBytes;
        const qint64 framesPerBlock = 1000 / (2 * sampleBytes);
        left->seek(0);
        right->seek(0);
        char block[1000];
        char l[500];
        char r[500];
        for (qint64 done = 0; done < frames;) {
            const qint64 n = std::min(framesPerBlock, frames - done);
            const qint64 bytes = n * sampleBytes;
            std::fill(std::begin(l), std::end(l), 0);
            std::fill(std::begin(r), std::end(r), 0);
            left->read(l, bytes);
            right->read(r, bytes);
            for (qint64 i = 0; i < n; ++i)
                for (int b = 0; b < sampleBytes; ++b) {
                    block[2 * sampleBytes * i + b] = l[sampleBytes * i + b];
                    block[2 * sampleBytes * i + sampleBytes + b] = r[sampleBytes * i + b];
                }
            writePlayFile(block, 2 * bytes);
            done += n;
        }
        return;
    }
    left->seek(0);
    char chunk[65536];
    for (;;) {
        const qint64 n = left->read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        writePlayFile(chunk, n);
    }
}

// Fills the head slot from the play file and queues it; true when a buffer was queued.
bool TPlayer::refill() {
    if (!FPlayFile)
        return false;
    // The head slot is still in flight (a Play before the previous playback came back).
    if (FInFlight >= 4)
        return false;
    TAudioSlot& slot = FSlots[FHead];
    if (!slot.Header || !slot.Data)
        return false;
    const qint64 remembered = FPlayFile->pos();
    FPlayFile->seek(FReadPos);
    qint64 count = FPlayFile->read(reinterpret_cast<char*>(slot.Data), FBufferSize);
    if (count == 0 && FLoops > 0) {
        --FLoops;
        FPlayFile->seek(0); // each pass starts at a buffer boundary
        count = FPlayFile->read(reinterpret_cast<char*>(slot.Data), FBufferSize);
    }
    FReadPos = static_cast<int32_t>(FPlayFile->pos());
    const bool exhausted = FReadPos >= FPlayFile->size() && FLoops == 0;
    FPlayFile->seek(remembered);
    if (count <= 0) {
        releasePlayFile();
        closeIfDone();
        return false;
    }
    // Counted before the file goes and before the write: a completion of an earlier buffer
    // must not take itself for the last, and this one's may come before the write returns.
    ++FInFlight;
    // Known now, not one completion later, so that the completion of this buffer is
    // recognised as the last however fast it comes.
    if (exhausted)
        releasePlayFile();

    WaveHdr* header = slot.Header;
    header->dwBufferLength = static_cast<uint32_t>(count);
    header->dwFlags = 0;
    header->dwLoops = 0;
    WaveResult rc = FOwner->waveOut().prepareHeader(FHandle, header, sizeof(WaveHdr));
    if (rc == MMSYSERR_NOERROR)
        rc = FOwner->waveOut().write(FHandle, header, sizeof(WaveHdr));
    if (rc != MMSYSERR_NOERROR) {
        --FInFlight;
        if (checkLost())
            return false;
        FOwner->setWaveOutError(QString(), rc);
        closeIfDone();
        return false;
    }
    FHead = static_cast<uint8_t>((FHead + 1) % 4);
    return true;
}

void TPlayer::closeDevice() {
    if (!FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Player already closed");
        return;
    }
    FCloseRequested = false; // this request is being handled
    // The last buffers may have come back because the device went away.
    if (FPlaybackFailure.isEmpty())
        checkLost(false); // this close is the one that ends it
    if (FInFlight != 0 || FFileOpen) {
        // Playback went on after the request (a Play came in between): its own last
        // completion asks again.
        closeIfDone();
        return;
    }
    for (TAudioSlot& slot : FSlots) {
        if (!slot.Header)
            continue;
        const WaveResult rc =
            FOwner->waveOut().unprepareHeader(FHandle, slot.Header, sizeof(WaveHdr));
        if (rc != MMSYSERR_NOERROR) {
            FOwner->setWaveOutError(QStringLiteral("Error unpreparing header for playing: "), rc);
            return;
        }
    }
    const WaveResult rc = FOwner->waveOut().close(FHandle);
    if (rc != MMSYSERR_NOERROR) {
        FOwner->setWaveOutError(QStringLiteral("Error closing output device: "), rc);
        return;
    }
    FHandle = nullptr;
    FOpen = false;
    if (FOwner->OnPlayed)
        FOwner->OnPlayed(this);
}

void TPlayer::Stop() {
    if (!FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Player already closed");
        return;
    }
    if (FPlayFile) {
        FDiscarding = true; // the buffers handed back now are not followed by more
        releasePlayFile();
        FHead = FTail.load();
        FOwner->ErrorMessage.clear();
    }
    if (!FCloseRequested) {
        if (FOwner->waveOut().reset(FHandle) != MMSYSERR_NOERROR) {
            FOwner->ErrorMessage = QStringLiteral("Error in waveOutReset");
            return;
        }
        // Every buffer is back and nothing more is read; when none was in flight no
        // completion asks for the close.
        closeIfDone();
    }
    const auto deadline = std::chrono::steady_clock::now() + stopTimeout;
    while (FActive && FCloseRequested && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        if (FActive && FCloseRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---------------------------------------------------------------------------------------------
// TRecorder

TRecorder::TRecorder(TAudio* owner) : TAudioSettings(owner) {
    FRecorderWindow = new TMessageWindow([this](unsigned msg, uintptr_t, uintptr_t) {
        if (msg == MM_WIM_DATA && FOpen && FClosesPending == 0)
            requeue();
    });
}

TRecorder::~TRecorder() {
    finishFile();
}

void TRecorder::SetNoSamples(uint16_t value) {
    FOwner->writeNoSamples(value);
}

void TRecorder::SetSplitChannels(bool value) {
    FSplitChannels = FChannels == TChannels::Stereo ? value : false;
}

bool TRecorder::Record(const QString& FileName) {
    if (FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Recorder already open");
        return false;
    }
    if (FWaveFormat)
        for (const TAudioSlot& slot : FSlots)
            if (!slot.Header || !slot.Data || !slot.Half) {
                FOwner->ErrorMessage = QStringLiteral("Not enough memory to allocate Wave Buffer");
                return false;
            }
    FHead = 0;
    FTail = 0;
    const WaveResult rc = FOwner->waveIn().open(&FHandle, FOwner->AudioDeviceID(), FWaveFormat,
                                                FOwner->FComponentWindow, CALLBACK_WINDOW);
    if (rc != MMSYSERR_NOERROR) {
        FHandle = nullptr;
        failStart(QStringLiteral("Could not open the input device for recording: "), rc);
        return false;
    }
    FOpen = true;
    ++FDeviceSerial;
    for (TAudioSlot& slot : FSlots) {
        *slot.Header = WaveHdr{};
        slot.Header->lpData = slot.Data;
        slot.Header->dwBufferLength = FBufferSize;
        WaveResult step = FOwner->waveIn().prepareHeader(FHandle, slot.Header, sizeof(WaveHdr));
        if (step != MMSYSERR_NOERROR) {
            failStart(QStringLiteral("Error preparing header for recording: "), step);
            return false;
        }
        step = FOwner->waveIn().addBuffer(FHandle, slot.Header, sizeof(WaveHdr));
        if (step != MMSYSERR_NOERROR) {
            failStart(QStringLiteral("Error adding input buffer"), step);
            return false;
        }
    }
    // Created once the device is ready, so that a failure before leaves no file behind.
    if (!FileName.isEmpty() && !createFile(FileName)) {
        abandonStart();
        return false;
    }
    const WaveResult started = FOwner->waveIn().start(FHandle);
    if (started != MMSYSERR_NOERROR) {
        failStart(QStringLiteral("Error starting recording: "), started);
        return false;
    }
    return true;
}

void TRecorder::failStart(const QString& prefix, WaveResult code) {
    FOwner->setWaveInError(prefix, code);
    abandonStart();
}

// A start that failed half-way closes what it opened; its own text is the one that stays.
void TRecorder::abandonStart() {
    const QString text = FOwner->ErrorMessage;
    FActive = false;
    if (FOpen)
        closeDevice();
    finishFile(); // a wave file without data
    FOwner->ErrorMessage = text;
}

void TRecorder::recordedData() {
    const TAudioSlot& slot = FSlots[FTail];
    if (!slot.Header)
        return;
    uint8_t* LP = slot.Data;
    uint8_t* RP = slot.Half;
    auto BufferSize = static_cast<uint16_t>(slot.Header->dwBytesRecorded);
    const unsigned serial = FDeviceSerial;
    if (triggerTest(LP, BufferSize)) {
        appendToFile(LP, BufferSize); // the raw frames, before a split
        if (FOwner->OnRecord) {
            if (FSplitChannels) {
                splitChannels(LP, RP, BufferSize);
                FOwner->OnRecord(FOwner, LP, RP, BufferSize);
            } else {
                FOwner->OnRecord(FOwner, LP, nullptr, BufferSize);
            }
        }
    }
    // OnRecord may have stopped the recorder, or even started a new recording.
    if (!FOpen || serial != FDeviceSerial)
        return;
    // A buffer that came back empty (as after a reset) is not handed back.
    if (BufferSize > 0) {
        FRecorderWindow->post(MM_WIM_DATA);
        FTail = static_cast<uint8_t>((FTail + 1) % 4);
    }
}

// Latches: once a buffer reached the level, every following one passes.
bool TRecorder::triggerTest(const uint8_t* data, uint16_t size) {
    if (Triggered)
        return true;
    if (size == 0)
        return Triggered;
    const auto level = static_cast<int16_t>(FTrigLevel);
    bool result = false;
    if (FBitsPerSample == TBPS::_8) {
        for (uint16_t i = 0; i < size && !result; ++i)
            result = data[i] >= level;
    } else {
        for (uint16_t i = 0; i < size / 2 && !result; ++i) {
            int16_t sample;
            std::memcpy(&sample, data + 2 * i, 2);
            result = sample >= level;
        }
    }
    Triggered = result;
    return result;
}

// Left channel compacted in place at the start of the data buffer, right into the half buffer.
void TRecorder::splitChannels(uint8_t* left, uint8_t* right, uint16_t& size) const {
    if (size == 0)
        return;
    size = static_cast<uint16_t>(size / 2);
    if (FBitsPerSample == TBPS::_8) {
        for (uint16_t i = 0; i < size; ++i) {
            right[i] = left[2 * i + 1];
            left[i] = left[2 * i];
        }
    } else {
        for (uint16_t i = 0; i < size / 2; ++i) {
            std::memcpy(right + 2 * i, left + 4 * i + 2, 2);
            std::memmove(left + 2 * i, left + 4 * i, 2);
        }
    }
}

void TRecorder::requeue() {
    WaveHdr* header = FSlots[FHead].Header;
    const WaveResult rc = FOwner->waveIn().addBuffer(FHandle, header, sizeof(WaveHdr));
    if (rc == MMSYSERR_NOERROR) {
        FHead = static_cast<uint8_t>((FHead + 1) % 4);
        return;
    }
    Stop();
    FOwner->setWaveInError(QStringLiteral("Error adding input buffer"), rc);
}

bool TRecorder::closeDevice() {
    if (!FOpen) {
        FOwner->ErrorMessage = QStringLiteral("Recorder already closed");
        return true;
    }
    WaveIn& waveIn = FOwner->waveIn();
    if (waveIn.reset(FHandle) != MMSYSERR_NOERROR) {
        FOwner->ErrorMessage = QStringLiteral("Error in waveInReset");
        return false;
    }
    for (TAudioSlot& slot : FSlots) {
        const WaveResult rc = waveIn.unprepareHeader(FHandle, slot.Header, sizeof(WaveHdr));
        if (rc != MMSYSERR_NOERROR) {
            FOwner->setWaveInError(QStringLiteral("Error in waveInUnprepareHeader"), rc);
            return false;
        }
    }
    if (waveIn.close(FHandle) != MMSYSERR_NOERROR) {
        FOwner->ErrorMessage = QStringLiteral("Error closing input device");
        return false;
    }
    FHandle = nullptr;
    FOpen = false;
    ++FClosesPending;
    return true;
}

bool TRecorder::Stop() {
    FActive = false; // recorded-data notifications still queued are ignored
    const bool closed = closeDevice();
    finishFile();
    return closed;
}

bool TRecorder::createFile(const QString& name) {
    const WaveFormatEx* f = FWaveFormat; // present: the device opened with it
    auto file = std::make_unique<QFile>(name);
    // Unbuffered, so that a failing write is known at once.
    if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        FOwner->ErrorMessage =
            QStringLiteral("Cannot create file \"%1\". %2").arg(name, file->errorString());
        return false;
    }
    // The RIFF and data lengths are completed by finishFile.
    uint8_t header[44] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                          'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
    qToLittleEndian<uint16_t>(f->wFormatTag, header + 20);
    qToLittleEndian<uint16_t>(f->nChannels, header + 22);
    qToLittleEndian<uint32_t>(f->nSamplesPerSec, header + 24);
    qToLittleEndian<uint32_t>(f->nAvgBytesPerSec, header + 28);
    qToLittleEndian<uint16_t>(f->nBlockAlign, header + 32);
    qToLittleEndian<uint16_t>(f->wBitsPerSample, header + 34);
    const char dataTag[4] = {'d', 'a', 't', 'a'};
    std::memcpy(header + 36, dataTag, sizeof dataTag);
    if (file->write(reinterpret_cast<const char*>(header), sizeof header) != sizeof header) {
        FOwner->ErrorMessage =
            QStringLiteral("Cannot write file \"%1\". %2").arg(name, file->errorString());
        return false;
    }
    FRecordFile = std::move(file);
    return true;
}

void TRecorder::appendToFile(const uint8_t* data, uint16_t size) {
    if (!FRecordFile || size == 0)
        return;
    if (FRecordFile->write(reinterpret_cast<const char*>(data), size) != size) {
        // Recording goes on; the file keeps what was written before.
        const QString text = QStringLiteral("Cannot write file \"%1\". %2")
                                 .arg(FRecordFile->fileName(), FRecordFile->errorString());
        finishFile();
        FOwner->ErrorMessage = text;
    }
}

// Stores the RIFF length (file size - 8) at offset 4 and the data length (file size - 44)
// at offset 40, and closes the file.
void TRecorder::finishFile() {
    if (!FRecordFile)
        return;
    const qint64 size = FRecordFile->size();
    uchar length[4];
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(size - 8), length);
    FRecordFile->seek(4);
    FRecordFile->write(reinterpret_cast<const char*>(length), 4);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(size - 44), length);
    FRecordFile->seek(40);
    FRecordFile->write(reinterpret_cast<const char*>(length), 4);
    FRecordFile->close();
    FRecordFile.reset();
}

// ---------------------------------------------------------------------------------------------
// TMixerSettings

TMixerSettings::TMixerSettings(TAudio* owner) : FOwner(owner) {
    FMixerWindow = new TMessageWindow([this](unsigned msg, uintptr_t wParam, uintptr_t lParam) {
        if (msg == MM_MIXM_CONTROL_CHANGE)
            controlChange(wParam, lParam);
    });
}

TMixerSettings::~TMixerSettings() {
    if (FHandle)
        FOwner->waveMixer().close(FHandle);
    releaseLines();
    delete FMixerWindow;
}

void TMixerSettings::releaseLines() {
    while (FLines) {
        TMixDetails* next = FLines->Next;
        delete FLines;
        FLines = next;
    }
}

bool TMixerSettings::Open(int32_t device) {
    WaveMixer& mixer = FOwner->waveMixer();
    // A device change leaves nothing of the previous device behind.
    if (FHandle) {
        mixer.close(FHandle);
        FHandle = nullptr;
    }
    releaseLines();
    if (mixer.getNumDevs() == 0)
        return false;
    const auto number = static_cast<unsigned>(device);
    MixerCaps caps;
    mixer.getDevCaps(number, &caps);
    if (mixer.open(&FHandle, number, FMixerWindow, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        FHandle = nullptr;
        return false;
    }
    FLines = new TMixDetails;
    FLines->Name = QString::fromLocal8Bit(caps.szPname);
    if (caps.cDestinations == 0)
        return false;
    TMixDetails* current = FLines;
    for (uint32_t d = 0; d < caps.cDestinations; ++d) {
        MixerLine line;
        line.dwDestination = d;
        if (mixer.getLineInfo(FHandle, &line, MIXER_GETLINEINFOF_DESTINATION) != MMSYSERR_NOERROR)
            return false;
        const bool speakers = line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        current = addLine(current, line, speakers);
        for (uint32_t s = 0; s < line.cConnections; ++s) {
            MixerLine source;
            source.dwDestination = d;
            source.dwSource = s;
            if (mixer.getLineInfo(FHandle, &source, MIXER_GETLINEINFOF_SOURCE) != MMSYSERR_NOERROR)
                return false;
            current = addLine(current, source, speakers);
        }
    }
    return true;
}

TMixDetails* TMixerSettings::addLine(TMixDetails* previous, const MixerLine& line, bool speakers) {
    auto* r = new TMixDetails;
    previous->Next = r;
    // A source line numbers on from the record before it; every record names its destination.
    r->Destination = static_cast<uint16_t>(line.dwDestination);
    r->Source = previous->Destination == r->Destination ? uint16_t(previous->Source + 1) : 0;
    r->Name = QString::fromLocal8Bit(line.szName);
    r->IsSpeakers = speakers;
    r->LineFlags = 0x80;
    if (line.cControls == 0)
        return r;
    WaveMixer& mixer = FOwner->waveMixer();
    std::vector<MixerControl> controls;
    if (mixer.getLineControls(FHandle, line.dwLineID, &controls) != MMSYSERR_NOERROR)
        return r;
    const unsigned channels = std::max(1u, line.cChannels);
    std::vector<uint32_t> values(channels);
    for (const MixerControl& c : controls) {
        switch (c.dwControlType) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
            if (mixer.getControlDetails(FHandle, c.dwControlID, channels, values.data()) !=
                MMSYSERR_NOERROR)
                break;
            r->VolumeControlID = c.dwControlID;
            r->VolumeLeft = static_cast<uint16_t>(values[0]);
            if (channels == 1) {
                r->UniformVolume = true;
                r->LineFlags |= 0x40;
            } else {
                r->VolumeRight = static_cast<uint16_t>(values[1]);
            }
            r->HasControls = true;
            break;
        case MIXERCONTROL_CONTROLTYPE_MUTE:
            if (mixer.getControlDetails(FHandle, c.dwControlID, 1, values.data()) !=
                    MMSYSERR_NOERROR ||
                r->MuteControlID != 0xFFFF)
                break;
            r->MuteControlID = c.dwControlID;
            r->Muted = values[0] != 0;
            r->HasControls = true;
            r->LineFlags &= 0x7F;
            break;
        case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
            if (mixer.getControlDetails(FHandle, c.dwControlID, channels, values.data()) !=
                MMSYSERR_NOERROR)
                break;
            r->MeterControlID = c.dwControlID;
            r->MeterChannels = channels == 1 ? 1 : 2;
            break;
        default:
            break;
        }
    }
    return r;
}

void TMixerSettings::controlChange(uintptr_t wParam, uintptr_t lParam) {
    // A change posted by a device closed since is not this device's.
    if (!FAvailable || !FOwner->OnMixerChange || wParam != reinterpret_cast<uintptr_t>(FHandle))
        return;
    FOwner->OnMixerChange(this, static_cast<uint16_t>(wParam), static_cast<uint16_t>(lParam));
    for (const TMixDetails* line = FLines; line; line = line->Next)
        if (line->VolumeControlID == lParam || line->MuteControlID == lParam) {
            FOwner->OnMixerChange(this, line->Destination, line->Source);
            break;
        }
}

// ---------------------------------------------------------------------------------------------
// TAudio

namespace {
TAudio::Layers withDefaults(TAudio::Layers layers) {
    if (!layers.WaveOut)
        layers.WaveOut = &alsaWaveOut();
    if (!layers.WaveIn)
        layers.WaveIn = &alsaWaveIn();
    if (!layers.Mixer)
        layers.Mixer = &alsaWaveMixer();
    return layers;
}
} // namespace

TAudio::TAudio(QObject* owner, Layers layers)
    : QObject(owner), FLayers(withDefaults(layers)), Recorder(new TRecorder(this)),
      Player(new TPlayer(this)),
      FComponentWindow(new TMessageWindow(
          [this](unsigned msg, uintptr_t, uintptr_t) { componentMessage(msg); })),
      FWaveFormatSize(sizeof(WaveFormatEx)), Mixer(new TMixerSettings(this)) {
    FMixerDeviceID = 0;
    Mixer->FAvailable = Mixer->Open(0);
    ErrorMessage.clear();
    // Without an input device the player starts without buffers until a format is set.
    if (waveIn().getNumDevs() > 0 && Recorder->AllocateBuffers() && waveOut().getNumDevs() > 0)
        Player->AllocateBuffers();
    // At the end of the session the devices are closed; the component stays with its owner.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { shutdown(); });
}

TAudio::~TAudio() {
    Player->Stop();
    Recorder->Stop();
    delete Mixer;
    Recorder->FreeBuffers();
    delete Recorder->FRecorderWindow;
    delete Recorder;
    Player->FreeBuffers();
    delete Player->FRefillWindow;
    delete Player->FCloseWindow;
    delete Player;
    delete FComponentWindow;
}

void TAudio::shutdown() {
    if (Player->IsOpen())
        Player->Stop();
    if (Recorder->IsOpen())
        Recorder->Stop();
}

void TAudio::setWaveOutError(const QString& prefix, WaveResult code) {
    const std::string text = waveOut().getErrorText(code);
    ErrorMessage = text.empty() ? prefix : prefix + QLatin1Char(' ') + QString::fromLocal8Bit(text);
}

void TAudio::setWaveInError(const QString& prefix, WaveResult code) {
    const std::string text = waveIn().getErrorText(code);
    ErrorMessage = text.empty() ? prefix : prefix + QLatin1Char(' ') + QString::fromLocal8Bit(text);
}

void TAudio::componentMessage(unsigned msg) {
    switch (msg) {
    case MM_WOM_OPEN:
        Player->FActive = true;
        break;
    case MM_WOM_CLOSE:
        Player->FActive = false;
        break;
    case MM_WOM_DONE:
        if (Player->FActive)
            Player->bufferDone(this);
        break;
    // Input notifications handled before a closed device's close notification are that
    // device's: they deliver no data (its close notification clears Active again).
    case MM_WIM_OPEN:
        Recorder->FActive = true;
        break;
    case MM_WIM_CLOSE:
        if (Recorder->FClosesPending > 0)
            --Recorder->FClosesPending;
        Recorder->FActive = false;
        break;
    case MM_WIM_DATA:
        if (Recorder->FClosesPending == 0 && Recorder->FActive)
            Recorder->recordedData();
        break;
    default:
        break;
    }
}

void TAudio::writeFormat(TAudioSettings* target, FormatField field, int value) {
    auto current = [field](const TAudioSettings* s) {
        switch (field) {
        case FormatField::Channels:
            return static_cast<int>(s->FChannels);
        case FormatField::BitsPerSample:
            return static_cast<int>(s->FBitsPerSample);
        case FormatField::SampleRate:
            break;
        }
        return static_cast<int>(s->FSampleRate);
    };
    std::vector<TAudioSettings*> changing;
    const std::vector<TAudioSettings*> objects =
        SeparateCtrls ? std::vector<TAudioSettings*>{target}
                      : std::vector<TAudioSettings*>{Player, Recorder};
    for (TAudioSettings* s : objects)
        if (current(s) != value)
            changing.push_back(s);
    for (TAudioSettings* s : changing) {
        // Freeing the buffers of an open device would hand freed memory to the layer.
        if (s->FOpen) {
            ErrorMessage =
                s == Player ? QStringLiteral("The player is open: its format cannot change now")
                            : QStringLiteral("The recorder is open: its format cannot change now");
            return;
        }
        const TChannels channels =
            field == FormatField::Channels ? static_cast<TChannels>(value) : s->FChannels;
        const TBPS bits =
            field == FormatField::BitsPerSample ? static_cast<TBPS>(value) : s->FBitsPerSample;
        if (unsigned(s->FNoSamples) * s->blockAlign(channels, bits) > 65535) {
            ErrorMessage = QStringLiteral("NoSamples is too large for this format: a buffer "
                                          "would exceed 65535 bytes");
            return;
        }
    }
    for (TAudioSettings* s : changing) {
        switch (field) {
        case FormatField::Channels:
            s->FChannels = static_cast<TChannels>(value);
            break;
        case FormatField::BitsPerSample:
            s->FBitsPerSample = static_cast<TBPS>(value);
            break;
        case FormatField::SampleRate:
            s->FSampleRate = static_cast<uint16_t>(value);
            break;
        }
        s->FreeBuffers();
        s->AllocateBuffers();
    }
    if (field == FormatField::Channels)
        Recorder->SetSplitChannels(Recorder->SplitChannels());
}

void TAudio::writeNoSamples(uint16_t value) {
    for (TAudioSettings* s :
         {static_cast<TAudioSettings*>(Player), static_cast<TAudioSettings*>(Recorder)}) {
        if (s->FNoSamples == value)
            continue;
        if (s->FOpen) {
            ErrorMessage =
                s == Player ? QStringLiteral("The player is open: NoSamples cannot change now")
                            : QStringLiteral("The recorder is open: NoSamples cannot change now");
            return;
        }
        if (unsigned(value) * s->blockAlign(s->FChannels, s->FBitsPerSample) > 65535) {
            ErrorMessage = QStringLiteral("NoSamples is too large for this format: a buffer "
                                          "would exceed 65535 bytes");
            return;
        }
    }
    for (TAudioSettings* s :
         {static_cast<TAudioSettings*>(Player), static_cast<TAudioSettings*>(Recorder)}) {
        if (s->FNoSamples == value)
            continue;
        s->FNoSamples = value;
        s->FreeBuffers();
        s->AllocateBuffers();
    }
}

void TAudio::SetAudioDeviceID(int32_t value) {
    if (value == FAudioDeviceID)
        return;
    if (Player->FOpen || Recorder->FOpen) {
        ErrorMessage = QStringLiteral("A device is open: AudioDeviceID cannot change now");
        return;
    }
    // ALSA lists every card's PCMs (front, surround, iec958 ...), so a USB card is often far
    // beyond the ten numbers of the old wave devices.
    FAudioDeviceID = value > maxAudioDeviceID ? WAVE_MAPPER : value;
    Recorder->FreeBuffers();
    Recorder->AllocateBuffers();
    Player->FreeBuffers();
    Player->AllocateBuffers();
}

void TAudio::SetMixerDeviceID(int32_t value) {
    if (value == FMixerDeviceID)
        return;
    FMixerDeviceID = value;
    Mixer->FAvailable = Mixer->Open(value);
}

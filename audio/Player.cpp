// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace platform;

namespace {

// Stop gives up waiting after this long: the layer has promised a completion per buffer, but
// a broken device must not freeze the program.
constexpr auto stopTimeout = std::chrono::seconds(5);

const char* const playFileName = "PLAY.TMP";

} // namespace

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

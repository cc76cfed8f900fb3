// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include "SystemErrorText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// A device that went away mid-playback, or played with a break, has handed back everything;
// the playback ends here as a failure, as if stopped. True when that happened.
bool TPlayer::checkLost(bool closeWhenDone) {
    const WaveResult lost = FOwner->waveOut().lostError(FHandle);
    if (lost == MMSYSERR_NOERROR || lost == MMSYSERR_INVALHANDLE)
        return false;
    // A playback that Stop ended stays stopped: a break the layer saw meanwhile is not news.
    if (FPlaybackFailure.isEmpty() && FOutcome != TPlayOutcome::Stopped) {
        const std::string text = FOwner->waveOut().getErrorText(lost);
        endPlayback(isBreak(lost) ? TPlayOutcome::Gap : TPlayOutcome::DeviceLost,
                    text.empty() ? QStringLiteral("unbekannter Fehler des Tongeräts")
                                 : QString::fromStdString(text));
    }
    if (closeWhenDone)
        closeIfDone();
    return true;
}

// Ends the playback as a failure: nothing more is read, and whatever comes back is the last.
void TPlayer::endPlayback(TPlayOutcome outcome, const QString& reason) {
    FOutcome = outcome;
    FPlaybackFailure = reason;
    FOwner->ErrorMessage = QStringLiteral("Wiedergabe abgebrochen: ") + reason;
    FDiscarding = true;
    releasePlayFile();
    FHead = FTail.load();
}

void TPlayer::releasePlayFile() {
    FFileOpen = false;
    if (FPlayFd >= 0)
        ::close(FPlayFd); // "PLAY.TMP" stays on disk
    FPlayFd = -1;
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
    FOutcome = TPlayOutcome::Played;
    // By its name when the client chose one: a name is looked up as the device opens, so a
    // list that changed meanwhile cannot send the sound elsewhere.
    const auto instance = reinterpret_cast<uintptr_t>(&FOwner->Player);
    const std::string& name = FOwner->AudioDeviceName();
    const WaveResult rc =
        name.empty()
            ? FOwner->waveOut().open(&FHandle, FOwner->AudioDeviceID(), FWaveFormat,
                                     waveOutCallback, instance, CALLBACK_FUNCTION | WAVE_ALLOWSYNC)
            : FOwner->waveOut().openNamed(&FHandle, name, FWaveFormat, waveOutCallback, instance,
                                          CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
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

namespace {

QString playFileMessage(const QString& path, int err) {
    return QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2.")
        .arg(path, QString::fromStdString(systemErrorText(err)));
}

// 0, or the error that stopped the writing.
int writeAll(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data += n;
        size -= n;
        offset += n;
    }
    return 0;
}

// Play files of sends that were killed before they could rename theirs ("." NAME "." pid "."
// counter ".tmp"); an hour leaves every running send alone.
void removeStalePlayFiles(const QDir& folder) {
    const QString prefix = QLatin1Char('.') + QString::fromLatin1(playFileName) + QLatin1Char('.');
    const QDateTime limit = QDateTime::currentDateTime().addSecs(-3600);
    const QFileInfoList leftovers =
        folder.entryInfoList({prefix + QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& file : leftovers)
        if (!file.isSymLink() && file.lastModified() < limit)
            QFile::remove(file.absoluteFilePath());
}

} // namespace

void TPlayer::Play(QIODevice* LeftStream, QIODevice* RightStream, uint16_t Loops) {
    if (!openDevice())
        return;
    if (!LeftStream || !LeftStream->isReadable() || LeftStream->size() <= 0) {
        closeIfStuck(); // an open device with nothing to play would never close
        return;
    }
    const QByteArray data = streamContent(LeftStream, RightStream);
    try {
        if (FPlayFd < 0) {
            FPlayFd = createPlayFile(data);
            FPlayFileSize = data.size();
            FFileOpen = true;
            FDiscarding = false;
            FLoops = Loops;
            FReadPos = 0;
        } else {
            appendToPlayFile(data);
        }
    } catch (const TPlayFileError&) {
        if (FPlayFd < 0)
            closeIfStuck(); // nothing to play: the device must not stay open
        throw;
    }
    if (FReadPos == 0) {
        for (int i = 0; i < 4; ++i)
            refill();
        closeIfStuck();
    }
}

// In the user's cache folder (created when missing), so that a program started from the
// desktop leaves nothing in the home folder; the working directory when no file can be made
// there (not when one that was made cannot be written: that is the send's failure).
// Written whole under a name of its own, created exclusively and never through a link, then
// moved to "PLAY.TMP": the rename replaces whatever is there, a planted link included, without
// following it. Returns a descriptor of the file for reading.
int TPlayer::createPlayFile(const QByteArray& data) {
    QString folder = FPlayFileFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QStringList folders;
    if (!folder.isEmpty() && QDir().mkpath(folder))
        folders << folder;
    // A working directory that cannot be named (deeper than PATH_MAX) is none: "" would be "/".
    if (const QString cwd = QDir::currentPath(); FPlayFileFolder.isEmpty() && !cwd.isEmpty())
        folders << cwd;
    static std::atomic<unsigned> counter{0};
    QString path;
    QByteArray temp;
    int fd = -1;
    for (const QString& candidate : folders) {
        path = QDir(candidate).absoluteFilePath(QString::fromLatin1(playFileName));
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temp = QFile::encodeName(
                QDir(candidate).absoluteFilePath(QStringLiteral(".%1.%2.%3.tmp")
                                                     .arg(QString::fromLatin1(playFileName))
                                                     .arg(::getpid())
                                                     .arg(counter++)));
            fd = ::open(temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd >= 0)
            break;
    }
    if (fd < 0)
        throw TPlayFileError(
            playFileMessage(path, folders.isEmpty() ? ENOENT : errno).toStdString());
    removeStalePlayFiles(QFileInfo(path).dir());
    const QByteArray target = QFile::encodeName(path);
    int err = writeAll(fd, data.constData(), data.size(), 0);
    // The reading descriptor is a second one, so that the close of the written one is
    // checked (where a file system reports a late write failure).
    const int readFd = err == 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (err == 0 && readFd < 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    if (err != 0) {
        if (readFd >= 0)
            ::close(readFd);
        ::unlink(temp.constData());
        throw TPlayFileError(playFileMessage(path, err).toStdString());
    }
    FPlayFilePath = path;
    return readFd;
}

// Appended through this playback's own descriptor, whatever "PLAY.TMP" is by now.
void TPlayer::appendToPlayFile(const QByteArray& data) {
    if (const int err = writeAll(FPlayFd, data.constData(), data.size(), FPlayFileSize))
        throw TPlayFileError(playFileMessage(FPlayFilePath, err).toStdString());
    FPlayFileSize += data.size();
}

QByteArray TPlayer::streamContent(QIODevice* left, QIODevice* right) const {
    const qint64 size = left->size();
    left->seek(0);
    if (FChannels == TChannels::Stereo && right && right->isReadable() && right->size() == size) {
        // Frame by frame: left sample, then right, of 1 or 2 bytes each.
        const int sampleBytes = FBitsPerSample == TBPS::_8 ? 1 : 2;
        const qint64 frames = size / sampleBytes;
        right->seek(0);
        const QByteArray l = left->read(frames * sampleBytes);
        const QByteArray r = right->read(frames * sampleBytes);
        QByteArray out(2 * frames * sampleBytes, '\0');
        for (qint64 i = 0; i < frames; ++i)
            for (int b = 0; b < sampleBytes; ++b) {
                const qint64 at = sampleBytes * i + b;
                out[2 * sampleBytes * i + b] = at < l.size() ? l[at] : '\0';
                out[2 * sampleBytes * i + sampleBytes + b] = at < r.size() ? r[at] : '\0';
            }
        return out;
    }
    return left->readAll();
}

// Fills the head slot from the play file and queues it; true when a buffer was queued.
bool TPlayer::refill() {
    if (FPlayFd < 0)
        return false;
    // The head slot is still in flight (a Play before the previous playback came back).
    if (FInFlight >= 4)
        return false;
    TAudioSlot& slot = FSlots[FHead];
    if (!slot.Header || !slot.Data)
        return false;
    if (FReadPos >= FPlayFileSize && FLoops > 0) {
        --FLoops;
        FReadPos = 0; // each pass starts at a buffer boundary
    }
    const qint64 wanted = std::min<qint64>(FBufferSize, FPlayFileSize - FReadPos);
    qint64 count = 0;
    while (count < wanted) {
        const ssize_t n =
            ::pread(FPlayFd, slot.Data + count, size_t(wanted - count), FReadPos + count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        count += n;
    }
    if (count < wanted) {
        // The file lost what was written to it: what would play is not the send.
        endPlayback(TPlayOutcome::PlayFile,
                    QStringLiteral("Die Datei \"%1\" enthält nicht mehr, was geschrieben wurde.")
                        .arg(FPlayFilePath));
        closeIfDone();
        return false;
    }
    FReadPos += static_cast<int32_t>(count);
    const bool exhausted = FReadPos >= FPlayFileSize && FLoops == 0;
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
    if (exhausted)
        header->dwFlags |= WHDR_LAST;
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
    if (!FCloseRequested && FOutcome == TPlayOutcome::Played)
        FOutcome = TPlayOutcome::Stopped; // cut short: not everything has played
    if (FPlayFd >= 0) {
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

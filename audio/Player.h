// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The player: plays a stream through four buffers fed from the play file "PLAY.TMP".
#include "AudioSettings.h"
#include "MessageWindow.h"

#include <QString>

#include <stdexcept>

class QIODevice;

// The play file could not be created or written; Play lets it reach its caller. The text is
// German and names the reason.
class TPlayFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How the last playback ended, for the client that tells the user.
enum class TPlayOutcome {
    Played,     // every sample reached the device without a break
    Stopped,    // Stop ended it
    Gap,        // the device played it with a break (underrun, stall, late clock)
    DeviceLost, // the device went away or broke
    PlayFile,   // the play file did not read back what was written
};

class TPlayer : public TAudioSettings {
public:
    explicit TPlayer(TAudio* owner);
    ~TPlayer() override;

    // Opens the device if needed, appends the data to the play file and starts playback if it
    // is not running. Mono data (or stereo already interleaved) comes as LeftStream alone;
    // with Stereo and a RightStream of the same size the two are interleaved. Loops: how many
    // more times the file is played once exhausted (ignored when appending). Throws
    // TPlayFileError when the play file cannot be created or written.
    // Each playback writes a play file of its own (created exclusively beside "PLAY.TMP",
    // written and closed, then renamed to "PLAY.TMP") and reads it through its own
    // descriptor, so that another program's send replacing "PLAY.TMP" cannot change it.
    void Play(QIODevice* LeftStream, QIODevice* RightStream, uint16_t Loops);
    // Ends playback; returns after the device is closed (OnPlayed has fired by then), or
    // after a failure recorded in ErrorMessage. Never waits longer than a few seconds.
    void Stop();

    uint16_t Loops() const { return FLoops; }
    bool HasPlayFile() const { return FPlayFd >= 0; }
    // Why the last playback was cut short (German), or empty; cleared when the next device
    // opens. ErrorMessage says it too.
    const QString& PlaybackFailure() const { return FPlaybackFailure; }
    TPlayOutcome Outcome() const { return FOutcome; }
    // Where "PLAY.TMP" goes: the user's cache folder when it can be written, otherwise the
    // working directory. Settable for tests; empty means the cache folder.
    void SetPlayFileFolder(const QString& folder) { FPlayFileFolder = folder; }
    // The path of the play file of the last playback that created one, or empty.
    const QString& PlayFilePath() const { return FPlayFilePath; }

private:
    friend class TAudio;
    static void waveOutCallback(platform::HWaveOut, unsigned msg, uintptr_t instance, uintptr_t,
                                uintptr_t);
    bool openDevice();
    QByteArray streamContent(QIODevice* left, QIODevice* right) const;
    int createPlayFile(const QByteArray& data);
    void appendToPlayFile(const QByteArray& data);
    void endPlayback(TPlayOutcome outcome, const QString& reason);
    bool refill();
    void bufferDone(TObject* sender);
    void closeDevice();
    void releasePlayFile();
    void requestClose();
    void closeIfDone();
    void closeIfStuck();
    bool checkLost(bool closeWhenDone = true);

    int FPlayFd = -1;         // this playback's play file, our own descriptor
    qint64 FPlayFileSize = 0; // bytes written to it, all of which a refill must read back
    TPlayOutcome FOutcome = TPlayOutcome::Played;
    QString FPlaybackFailure;
    QString FPlayFileFolder;
    QString FPlayFilePath;
    uint16_t FLoops = 0;
    int32_t FReadPos = 0;
    platform::HWaveOut FHandle = nullptr;
    // Shared with the callback: a close request is posted and not yet handled; buffers handed
    // to the device and not yet back; a play file exists; Stop is handing buffers back.
    std::atomic<bool> FCloseRequested{false};
    std::atomic<int> FInFlight{0};
    std::atomic<int> FRefillsPending{0}; // refill requests posted and not yet handled
    std::atomic<bool> FFileOpen{false};
    std::atomic<bool> FDiscarding{false};
    TMessageWindow* FRefillWindow = nullptr;
    TMessageWindow* FCloseWindow = nullptr;
};

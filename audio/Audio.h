// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Module Audio: the wave audio component that a form owns. TAudio holds a player (fed from
// the play file "PLAY.TMP" through four buffers), a recorder (four buffers cycling through
// the input device, optionally into a wave file) and a view of a mixer device's lines.
// Failures are recorded as text in ErrorMessage; nothing is shown.
//
// Threads: everything runs on the UI thread except the wave layer's completion callback,
// which shares only std::atomic state with it and reaches it by posted events. The input
// and mixer layers notify by posted events only. A
// QCoreApplication must exist (posted events and Stop's message pumping need it).
//
// Streams handed to Play are QIODevice objects, open for reading and seekable (a QBuffer
// over a QByteArray, or a QFile); the player copies them, so the caller may free them as
// soon as Play returns.
#include "WaveIn.h"
#include "WaveMixer.h"
#include "WaveOut.h"
#include "WaveWindow.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

class QFile;
class QIODevice;
class TAudio;

// The base of every sender of the component's events; compare it with AUD_Main->Player etc.
class TObject {
public:
    virtual ~TObject() = default;
};

enum class TChannels { Mono, Stereo };
enum class TBPS { _8, _16 };

using TNotifyAudioRecordEvent =
    std::function<void(TObject* Sender, void* LP, void* RP, uint16_t BufferSize)>;
using TNotifyBufferPlayedEvent = std::function<void(TObject* Sender)>;
using TNotifyPlayedEvent = std::function<void(TObject* Sender)>;
using TNotifyMixerChange =
    std::function<void(TObject* Sender, uint16_t Destination, uint16_t Source)>;

// The play file could not be created or written; Play lets it reach its caller.
class TPlayFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A hidden message window: a receiver of posted wave messages on the UI thread.
class TMessageWindow : public QObject, public platform::WaveWindow {
public:
    using Handler = std::function<void(unsigned Msg, uintptr_t WParam, uintptr_t LParam)>;
    explicit TMessageWindow(Handler handler);
    // Safe from any thread, as PostMessageA is.
    void post(unsigned msg, uintptr_t wParam = 0, uintptr_t lParam = 0) override;

protected:
    bool event(QEvent* e) override;

private:
    Handler FHandler;
    // Qt's event queue hands the event over under a lock that ThreadSanitizer cannot see;
    // this release/acquire pair makes the hand-over visible to it (and to the reader).
    std::atomic<unsigned> FPosts{0};
};

// One of the four buffer slots.
struct TAudioSlot {
    platform::WaveHdr* Header = nullptr;
    uint8_t* Data = nullptr;
    uint32_t DataSize = 0;
    uint8_t* Half = nullptr; // the right channel of a split recording
    uint32_t HalfSize = 0;
};

// The sample format that player and recorder share, and their buffers.
class TAudioSettings : public TObject {
public:
    explicit TAudioSettings(TAudio* owner);
    ~TAudioSettings() override;
    TAudioSettings(const TAudioSettings&) = delete;
    TAudioSettings& operator=(const TAudioSettings&) = delete;

    TBPS BitsPerSample() const { return FBitsPerSample; }
    void SetBitsPerSample(TBPS value);
    TChannels Channels() const { return FChannels; }
    void SetChannels(TChannels value);
    uint16_t SampleRate() const { return FSampleRate; }
    void SetSampleRate(uint16_t value);
    uint16_t NoSamples() const { return FNoSamples; }
    uint16_t BufferSize() const { return FBufferSize; }
    // True from the device's open notification to its close notification.
    bool Active() const { return FActive.load(); }
    // True while this object holds an open device.
    bool IsOpen() const { return FOpen; }
    const platform::WaveFormatEx* WaveFormat() const { return FWaveFormat; }
    const TAudioSlot& Slot(int index) const { return FSlots[index]; }

    // Builds the format record and the four slots from the current settings; false (with
    // ErrorMessage) when memory runs out. FreeBuffers releases whatever exists.
    bool AllocateBuffers();
    void FreeBuffers();

protected:
    friend class TAudio;
    uint16_t blockAlign(TChannels channels, TBPS bits) const;

    TAudio* const FOwner;
    TAudioSlot FSlots[4];
    std::atomic<uint8_t> FHead{0};
    std::atomic<uint8_t> FTail{0};
    bool FOpen = false;
    TChannels FChannels = TChannels::Mono;
    TBPS FBitsPerSample = TBPS::_8;
    uint16_t FSampleRate = 11025;
    uint16_t FNoSamples = 8192;
    platform::WaveFormatEx* FWaveFormat = nullptr;
    uint16_t FBufferSize = 0;
    std::atomic<bool> FActive{false};
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
    void Play(QIODevice* LeftStream, QIODevice* RightStream, uint16_t Loops);
    // Ends playback; returns after the device is closed (OnPlayed has fired by then), or
    // after a failure recorded in ErrorMessage. Never waits longer than a few seconds.
    void Stop();

    uint16_t Loops() const { return FLoops; }
    bool HasPlayFile() const { return FPlayFile != nullptr; }
    // The device's own text for why the last playback was cut short (the device went away
    // mid-playback), or empty; cleared when the next device opens. ErrorMessage says it too.
    const QString& PlaybackFailure() const { return FPlaybackFailure; }
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
    void appendToPlayFile(QIODevice* left, QIODevice* right);
    void writePlayFile(const char* data, qint64 size);
    bool refill();
    void bufferDone(TObject* sender);
    void closeDevice();
    void releasePlayFile();
    void requestClose();
    void closeIfDone();
    void closeIfStuck();
    bool checkLost(bool closeWhenDone = true);
    std::unique_ptr<QFile> createPlayFile();

    std::unique_ptr<QFile> FPlayFile;
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

class TRecorder : public TAudioSettings {
public:
    explicit TRecorder(TAudio* owner);
    ~TRecorder() override;

    // Changes player and recorder alike.
    void SetNoSamples(uint16_t value);
    bool SplitChannels() const { return FSplitChannels; }
    // Stays False unless the recorder is Stereo.
    void SetSplitChannels(bool value);
    uint16_t TrigLevel() const { return FTrigLevel; }
    void SetTrigLevel(uint16_t value) { FTrigLevel = value; }
    bool Triggered = false;

    // Opens the input device AudioDeviceID with the recorder's format, queues the four
    // buffers in slot order and starts recording; with a FileName, each triggered buffer is
    // also appended to that wave file (44-byte header, sizes completed by Stop). False, with
    // ErrorMessage, when recording could not start; nothing is left open then (a file created
    // just before a failing start keeps a header and no data).
    bool Record(const QString& FileName = QString());
    // Ends recording and closes the input device; true when it is closed afterwards. Data
    // still on its way is dropped. Finishes the recording file.
    bool Stop();

    bool IsRecordingToFile() const { return FRecordFile != nullptr; }

private:
    friend class TAudio;
    void recordedData();
    bool triggerTest(const uint8_t* data, uint16_t size);
    void splitChannels(uint8_t* left, uint8_t* right, uint16_t& size) const;
    void requeue();
    bool closeDevice();
    bool createFile(const QString& name);
    void appendToFile(const uint8_t* data, uint16_t size);
    void finishFile();
    void failStart(const QString& prefix, platform::WaveResult code);
    void abandonStart();

    bool FSplitChannels = false;
    uint16_t FTrigLevel = 0;
    TMessageWindow* FRecorderWindow = nullptr;
    platform::HWaveIn FHandle = nullptr;
    std::unique_ptr<QFile> FRecordFile;
    // Devices closed whose close notification has not come yet: whatever is handled before
    // it belongs to a closed device (one device's notifications come in order, and all of
    // them before the next device's).
    int FClosesPending = 0;
    unsigned FDeviceSerial = 0; // counts opens, so that a handler can tell a new device
};

// One line of a mixer device, chained in enumeration order.
struct TMixDetails {
    uint16_t Destination = 0xFFFF;
    uint16_t Source = 0xFFFF;
    QString Name;
    uint32_t VolumeControlID = 0xFFFF;
    uint32_t MuteControlID = 0xFFFF;
    uint32_t MeterControlID = 0xFFFF;
    uint16_t VolumeLeft = 0;
    uint16_t VolumeRight = 0;
    uint16_t MeterChannels = 0;
    uint16_t LineFlags = 0;
    bool Muted = false;
    bool UniformVolume = false;
    bool IsSpeakers = false;
    bool HasControls = false;
    TMixDetails* Next = nullptr;
};

class TMixerSettings : public TObject {
public:
    explicit TMixerSettings(TAudio* owner);
    ~TMixerSettings() override;
    TMixerSettings(const TMixerSettings&) = delete;
    TMixerSettings& operator=(const TMixerSettings&) = delete;

    // Closes the previous device, then opens this one and reads all its lines into a fresh
    // chain; true when every destination and source line was read.
    bool Open(int32_t device);
    // Whether the last Open succeeded.
    bool Available() const { return FAvailable; }
    const TMixDetails* Lines() const { return FLines; }

private:
    friend class TAudio;
    void releaseLines();
    TMixDetails* addLine(TMixDetails* previous, const platform::MixerLine& line, bool speakers);
    void controlChange(uintptr_t wParam, uintptr_t lParam);

    TAudio* const FOwner;
    platform::HMixer FHandle = nullptr;
    TMixDetails* FLines = nullptr;
    bool FAvailable = false;
    TMessageWindow* FMixerWindow = nullptr;
};

// The services the component talks to; null members mean the program's own (ALSA for wave
// output, input and mixer). Tests put the scripted layers here.
struct TAudioLayers {
    platform::WaveOut* WaveOut = nullptr;
    platform::WaveIn* WaveIn = nullptr;
    platform::WaveMixer* Mixer = nullptr;
};

class TAudio : public QObject, public TObject {
    Q_OBJECT
public:
    using Layers = TAudioLayers;

    explicit TAudio(QObject* owner, Layers layers = {});
    ~TAudio() override;

    int32_t AudioDeviceID() const { return FAudioDeviceID; }
    void SetAudioDeviceID(int32_t value);
    int32_t MixerDeviceID() const { return FMixerDeviceID; }
    void SetMixerDeviceID(int32_t value);
    QString Version() const { return FVersion; }
    void SetVersion(const QString&) { FVersion = QStringLiteral("4.1 (32bit)"); }

    platform::WaveOut& waveOut() const { return *FLayers.WaveOut; }
    platform::WaveIn& waveIn() const { return *FLayers.WaveIn; }
    platform::WaveMixer& waveMixer() const { return *FLayers.Mixer; }
    TMessageWindow* componentWindow() const { return FComponentWindow; }

private:
    friend class TAudioSettings;
    friend class TPlayer;
    friend class TRecorder;
    friend class TMixerSettings;
    enum class FormatField { Channels, BitsPerSample, SampleRate };
    void writeFormat(TAudioSettings* target, FormatField field, int value);
    void writeNoSamples(uint16_t value);
    void setWaveOutError(const QString& prefix, platform::WaveResult code);
    void setWaveInError(const QString& prefix, platform::WaveResult code);
    void componentMessage(unsigned msg);
    void shutdown();

    // Initialised in this order, which is the order of construction.
    int32_t FAudioDeviceID = platform::WAVE_MAPPER;
    int32_t FMixerDeviceID = 0;

public:
    bool SeparateCtrls = false;

private:
    QString FVersion = QStringLiteral("4.1 (32bit)");
    Layers FLayers;

public:
    TRecorder* const Recorder;
    TPlayer* const Player;

private:
    TMessageWindow* const FComponentWindow;
    const unsigned FWaveFormatSize;

public:
    TMixerSettings* const Mixer;
    QString ErrorMessage;
    TNotifyAudioRecordEvent OnRecord;
    TNotifyBufferPlayedEvent OnBufferPlayed;
    TNotifyPlayedEvent OnPlayed;
    TNotifyMixerChange OnMixerChange;
};

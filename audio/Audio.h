// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Module Audio: the wave audio component that a form owns. TAudio holds a player (fed from
// the play file "PLAY.TMP" through four buffers), a recorder (four buffers cycling through
// the input device, optionally into a wave file) and a view of a mixer device's lines.
// Failures are recorded as text in ErrorMessage; nothing is shown.
//
// Threads: everything runs on the UI thread except the wave layer's completion callback,
// which shares only std::atomic state with it and reaches it by posted events. The input
// layer notifies by posted events only; the mixer's changes are read on the UI thread when
// ALSA's event descriptors are ready. A QCoreApplication must exist (posted events, the
// descriptors' notifiers and Stop's message pumping need it).
//
// Streams handed to Play are QIODevice objects, open for reading and seekable (a QBuffer
// over a QByteArray, or a QFile); the player copies them, so the caller may free them as
// soon as Play returns.
#include "AudioSettings.h"
#include "MessageWindow.h"
#include "MixerSettings.h"
#include "Player.h"
#include "Recorder.h"
#include "WaveIn.h"
#include "WaveMixer.h"
#include "WaveOut.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

using TNotifyAudioRecordEvent =
    std::function<void(TObject* Sender, void* LP, void* RP, uint16_t BufferSize)>;
using TNotifyBufferPlayedEvent = std::function<void(TObject* Sender)>;
using TNotifyPlayedEvent = std::function<void(TObject* Sender)>;
using TNotifyMixerChange =
    std::function<void(TObject* Sender, uint16_t Destination, uint16_t Source)>;

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
    // The output device by its ALSA name, which takes the place of AudioDeviceID when not
    // empty; looked up only as the player opens it. Unchanged while a device is open.
    const std::string& AudioDeviceName() const { return FAudioDeviceName; }
    void SetAudioDeviceName(const std::string& value);
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
    std::string FAudioDeviceName;

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

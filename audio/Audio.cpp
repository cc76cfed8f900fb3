// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include <QCoreApplication>

using namespace platform;

namespace {

constexpr int32_t maxAudioDeviceID = 255;

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

void TAudio::SetAudioDeviceName(const std::string& value) {
    if (value == FAudioDeviceName)
        return;
    if (Player->FOpen || Recorder->FOpen) {
        ErrorMessage = QStringLiteral("A device is open: AudioDeviceID cannot change now");
        return;
    }
    FAudioDeviceName = value;
}

void TAudio::SetMixerDeviceID(int32_t value) {
    if (value == FMixerDeviceID)
        return;
    FMixerDeviceID = value;
    Mixer->FAvailable = Mixer->Open(value);
}

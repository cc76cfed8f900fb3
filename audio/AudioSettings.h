// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sample format and the four buffer slots that player and recorder share.
#include "WaveOut.h"

#include <atomic>
#include <cstdint>

class TAudio;

// The base of every sender of the component's events; compare it with AUD_Main->Player etc.
class TObject {
public:
    virtual ~TObject() = default;
};

enum class TChannels { Mono, Stereo };
enum class TBPS { _8, _16 };

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

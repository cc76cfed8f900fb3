// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view of a mixer device's lines and their controls.
#include "AudioSettings.h"
#include "MessageWindow.h"
#include "WaveMixer.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;

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
    // The record of a line, or none.
    const TMixDetails* Line(uint16_t destination, uint16_t source) const;
    // Reads the line's volume and mute state afresh (the records are not re-read on a change);
    // false when it has no controls or a read fails.
    bool ReadLine(uint16_t destination, uint16_t source);
    // Sets the line's volume, 0..65535 per channel (right is ignored for a uniform volume), or
    // its mute switch; the record holds the new value when the device took it.
    bool SetVolume(uint16_t destination, uint16_t source, uint16_t left, uint16_t right);
    bool SetMuted(uint16_t destination, uint16_t source, bool muted);

private:
    friend class TAudio;
    void releaseLines();
    TMixDetails* findLine(uint16_t destination, uint16_t source) const;
    TMixDetails* addLine(TMixDetails* previous, const platform::MixerLine& line, bool speakers);
    void controlChange(uintptr_t wParam, uintptr_t lParam);
    void watchEvents();
    void close();

    TAudio* const FOwner;
    platform::HMixer FHandle = nullptr;
    TMixDetails* FLines = nullptr;
    bool FAvailable = false;
    TMessageWindow* FMixerWindow = nullptr;
    // The layer's event descriptors of the open device, watched in the event loop.
    std::vector<std::unique_ptr<QSocketNotifier>> FEventNotifiers;
};

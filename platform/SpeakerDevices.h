// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real ways to the PC speaker on Linux, and the start-up choice between them.
#include "Speaker.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The kernel's PC-speaker input device (EV_SND / SND_TONE, as the pcspkr driver registers it).
class EventToneDevice final : public ToneService {
public:
    explicit EventToneDevice(int fd); // takes the descriptor over
    ~EventToneDevice() override;
    EventToneDevice(const EventToneDevice&) = delete;
    EventToneDevice& operator=(const EventToneDevice&) = delete;

    // The first candidate that opens for writing and reports the tone capability.
    static std::unique_ptr<EventToneDevice> open(const std::vector<std::string>& candidates);
    // The beeper's by-path names first, then every event device, in name order.
    static std::vector<std::string> candidates();
    static bool hasToneCapability(int fd);

    bool toneOn(uint16_t frequency) override;
    void toneOff() override;

private:
    int fd_;
};

// The console's KIOCSOUND: the argument is the timer divisor speakerPort::timerClock / f, and
// 0 stops.
class ConsoleToneDevice final : public ToneService {
public:
    explicit ConsoleToneDevice(int fd); // takes the descriptor over
    ~ConsoleToneDevice() override;
    ConsoleToneDevice(const ConsoleToneDevice&) = delete;
    ConsoleToneDevice& operator=(const ConsoleToneDevice&) = delete;

    // The first candidate that opens and accepts KIOCSOUND (probed with 0, which only stops).
    static std::unique_ptr<ConsoleToneDevice> open(const std::vector<std::string>& candidates);
    static std::vector<std::string> candidates() { return {"/dev/console", "/dev/tty0"}; }
    // The KIOCSOUND argument for a frequency; 0 Hz stops instead of dividing by zero.
    static uint32_t soundArgument(uint16_t frequency);

    bool toneOn(uint16_t frequency) override;
    void toneOff() override;

private:
    int fd_;
};

// No speaker within reach: tones make no sound, their waits are kept by the caller.
class SilentToneService final : public ToneService {
public:
    bool toneOn(uint16_t) override { return true; }
    void toneOff() override {}
};

// The x86 I/O ports 0x42, 0x43 and 0x61 through ioperm.
class IoPorts final : public SpeakerPorts {
public:
    // Null where the ports are out of reach (no permission, or not an x86 machine).
    static std::unique_ptr<IoPorts> open();
    ~IoPorts() override;

    uint8_t in(uint16_t port) override;
    void out(uint16_t port, uint8_t value) override;

private:
    IoPorts();
};

enum class SpeakerMethod : uint8_t { EventDevice, Console, Ports, Silent };
const char* speakerMethodName(SpeakerMethod method);

// What the start-up detection found; owns the device it opened.
struct SpeakerAccess {
    SpeakerMethod method = SpeakerMethod::Silent;
    std::unique_ptr<ToneService> tone;   // set for EventDevice, Console and Silent
    std::unique_ptr<SpeakerPorts> ports; // set for Ports
};

struct SpeakerCandidates {
    std::vector<std::string> eventDevices = EventToneDevice::candidates();
    std::vector<std::string> consoles = ConsoleToneDevice::candidates();
    bool tryPorts = true;
};

// The tone service when one opens (event device before console), else the ports, else silence.
SpeakerAccess openSpeaker(const SpeakerCandidates& candidates = {});

} // namespace platform

namespace platform::speakerIo {
// Single system calls or port instructions, safe inside a signal handler.
bool writeTone(int fd, uint16_t frequency);   // one EV_SND / SND_TONE event; 0 stops
bool consoleSound(int fd, uint32_t argument); // KIOCSOUND
void portsSpeakerOff();                       // clears bits 0 and 1 of port 0x61
} // namespace platform::speakerIo

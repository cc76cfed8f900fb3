// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two ways to the PC speaker: the system's tone service, or the timer and speaker ports.
#include <cstdint>

namespace platform {

// The I/O ports the direct-port method uses.
namespace speakerPort {
// The interval timer's input clock: a tone of f Hz takes the divisor timerClock / f, on the
// ports as with the console's KIOCSOUND.
constexpr uint32_t timerClock = 1193181;
constexpr uint16_t timer2Data = 0x42;    // counter 2 of the interval timer
constexpr uint16_t timerControl = 0x43;  // the timer's control word
constexpr uint16_t systemControl = 0x61; // bit 0: counter 2 gate, bit 1: speaker data enable
} // namespace speakerPort

// Byte-wide port access, as the x86 in and out instructions give it.
class SpeakerPorts {
public:
    virtual ~SpeakerPorts() = default;
    virtual uint8_t in(uint16_t port) = 0;
    virtual void out(uint16_t port, uint8_t value) = 0;
};

// A service that sounds one tone until told otherwise; a new tone replaces the running one.
class ToneService {
public:
    virtual ~ToneService() = default;
    // 0 Hz: no sound. False when the tone could not be switched on.
    virtual bool toneOn(uint16_t frequency) = 0;
    virtual void toneOff() = 0;
};

} // namespace platform

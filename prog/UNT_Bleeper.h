// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Module UNT_Bleeper: tones on the PC speaker and millisecond waits.
//
// The way to the speaker is chosen once by initBleeper(), which main() calls before any window
// exists: the system's tone service (the kernel's PC-speaker device, else the console), else the
// timer and speaker ports programmed directly, else silence with every wait kept. Until then,
// and whenever a test installs nothing, the module is silent and waits on the system's clock.
#include "SpeakerDevices.h"
#include "ToneSequence.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {
class TickSource;
} // namespace platform

namespace UNT_Bleeper {

// Runs DetectNT once and arms the switch-off at exit and on termination signals.
void initBleeper();
// The start-up detection: opens the first way to the speaker that is within reach and uses it.
void DetectNT();
// Takes over a way to the speaker (what DetectNT found) and sends every tone through it.
void UseSpeaker(platform::SpeakerAccess access);
// True when tones go to a tone service (the kernel's device, the console, or the silent one);
// false when the module programs the ports itself.
bool IsNT();
// What DetectNT found; Silent before it has run.
platform::SpeakerMethod speakerMethod();

// Sounds frequency Hz for duration ms and returns when it is over. A duration below -1 is 0.
// A duration of -1 switches the tone on and returns at once, leaving it sounding until a later
// Bleep ends or the program ends; with the tone service as with the ports.
void Bleep(uint16_t frequency, int32_t duration);
// Returns after duration ms; at once for a negative duration. Above 1000 ms it handles pending
// window messages while it waits.
void Delay(int32_t duration);

// One segment of a tone sequence: a tone with Bleep, a pause (frequency 0) with Delay.
void SoundSegment(uint16_t frequency, uint16_t duration);

// How a walk of segments ended.
struct WalkResult {
    enum class End { Whole, Interrupted, ToneFailed };
    End end = End::Whole;
    std::string message; // for ToneFailed: what the user is told
    explicit operator bool() const { return end == End::Whole; }
};
// Sounds the segments one after the other with SoundSegment, calling afterEach (when set)
// after each one. Interrupt() during a long wait ends the walk there, and so does a tone that
// the speaker would not switch on; the interruption is cleared before the walk starts and
// when it ends.
WalkResult WalkSegments(const std::vector<ToneSegment>& segments,
                        const std::function<void(const ToneSegment&)>& afterEach = {});

// Ends a running wait or tone at once and switches the speaker off; until ClearInterrupt,
// every Bleep and Delay returns at once without sound. For a caller whose walk of tones
// must stop (its window was closed during a wait that handles window messages).
void Interrupt();
void ClearInterrupt();
bool Interrupted();

// The direct-port method, internal to the module, open for tests.
// Outside 20 ... 5000 Hz it does nothing and takes no time.
void PortSound(uint16_t frequency, int32_t duration);
void SpeakerOn(uint16_t divisor); // starts, or retunes a running tone
void SpeakerOff();

// What was asked of the module, as the caller passed it.
struct Request {
    enum class Kind : uint8_t { Bleep, Delay };
    Kind kind = Kind::Delay;
    uint16_t frequency = 0; // 0 for a Delay
    int32_t duration = 0;
    bool operator==(const Request&) const = default;
};

// Everything the module works through. Null members fall back: no tone service and no ports
// means silence; no tick source means the system's; no pump means
// QCoreApplication::processEvents. A tone service, when set, is used before the ports.
struct Platform {
    platform::ToneService* toneService = nullptr;
    platform::SpeakerPorts* ports = nullptr;
    platform::TickSource* ticks = nullptr;
    std::function<void()> pumpMessages{};
    std::function<void(const Request&)> onRequest{}; // sees every Bleep and Delay first
};

// Installs a platform (scripted models in tests) for its lifetime, then puts back the previous.
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform platform);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform previous_;
};

} // namespace UNT_Bleeper

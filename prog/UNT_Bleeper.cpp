// SPDX-License-Identifier: GPL-3.0-or-later
#include "UNT_Bleeper.h"

#include "SpeakerSafety.h"
#include "TickCount.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

namespace UNT_Bleeper {

namespace {

// The direct-port method.
constexpr uint8_t counter2SquareWave = 0xB6; // counter 2, low then high byte, mode 3, binary
constexpr uint8_t speakerBits = 0x03;        // gate of counter 2, speaker data enable
constexpr uint16_t lowestFrequency = 20;
constexpr uint16_t highestFrequency = 5000;

// Waits longer than this handle window messages, so the dialog repaints during them.
constexpr int32_t pumpAbove = 1000;
// Sleep until this close to the end, then poll, so that a late wake-up does not make the wait
// overshoot. The margin grows to the longest late wake-up seen (a busy machine wakes a sleeper
// only at its next scheduler tick) and shrinks back slowly when wake-ups are prompt again.
constexpr int64_t leastMarginNs = 1'000'000;
constexpr int64_t mostMarginNs = 20'000'000;
constexpr int64_t marginReserveNs = 500'000;
// While messages are handled, sleep at most this long between two rounds of them.
constexpr int64_t pumpSliceUs = 10'000;
constexpr int64_t maxSleepUs = 1'000'000;

struct State {
    Platform active;
    int64_t marginNs = leastMarginNs;
    platform::SpeakerAccess detected;
    platform::SpeakerMethod method = platform::SpeakerMethod::Silent;
    platform::SilentToneService silence;
    bool interrupted = false;
    uint16_t failedTone = 0; // a tone the service would not switch on, ending the walk
};

State& state() {
    static State s;
    return s;
}

platform::TickSource& ticks() {
    platform::TickSource* source = state().active.ticks;
    return source ? *source : platform::systemTickSource();
}

void pumpMessages() {
    // A copy: a handler run by the pump may install another platform meanwhile.
    if (const auto pump = state().active.pumpMessages) {
        pump();
    } else if (QCoreApplication::instance()) {
        QCoreApplication::processEvents();
    }
}

void notify(const Request& request) {
    if (state().active.onRequest) {
        state().active.onRequest(request);
    }
}

void learnWakeUp(int64_t lateNs) {
    int64_t& margin = state().marginNs;
    if (lateNs + marginReserveNs > margin) {
        margin = std::min(lateNs + marginReserveNs, mostMarginNs);
    } else {
        margin = std::max(leastMarginNs, margin - (margin - leastMarginNs) / 64);
    }
}

// The wait of Delay and of a tone: ends once duration ms have passed since the start reading,
// counted in the wrapping tick count and, within the last millisecond, in its fraction, so it
// never ends early even when it started late in a millisecond.
void wait(int32_t duration) {
    platform::TickSource& source = ticks();
    const bool pump = duration > pumpAbove;
    const int64_t durationNs = int64_t{duration} * 1'000'000;
    const platform::TickReading start = source.read();
    for (;;) {
        if (pump) {
            pumpMessages();
            if (state().interrupted) {
                return;
            }
        }
        const platform::TickReading now = source.read();
        const int64_t remainingNs = durationNs - platform::nanosBetween(start, now);
        if (remainingNs <= 0) {
            return;
        }
        const int64_t sleepUs =
            std::min((remainingNs - state().marginNs) / 1000, pump ? pumpSliceUs : maxSleepUs);
        if (sleepUs > 0) {
            source.sleepFor(static_cast<uint32_t>(sleepUs));
            learnWakeUp(platform::nanosBetween(now, source.peek()) - sleepUs * 1000);
        }
    }
}

} // namespace

void DetectNT() {
    UseSpeaker(platform::openSpeaker());
}

void UseSpeaker(platform::SpeakerAccess access) {
    State& s = state();
    s.detected = std::move(access);
    s.method = s.detected.method;
    s.active.toneService = s.detected.tone.get();
    s.active.ports = s.detected.ports.get();
}

void initBleeper() {
    static std::once_flag once;
    std::call_once(once, [] {
        DetectNT();
        platform::installSpeakerOffOnExit();
    });
}

bool IsNT() {
    const Platform& active = state().active;
    return active.toneService != nullptr || active.ports == nullptr;
}

platform::SpeakerMethod speakerMethod() {
    return state().method;
}

void Interrupt() {
    State& s = state();
    s.interrupted = true;
    if (s.active.toneService != nullptr) {
        s.active.toneService->toneOff();
    }
    SpeakerOff();
}

void ClearInterrupt() {
    state().interrupted = false;
}

bool Interrupted() {
    return state().interrupted;
}

void Bleep(uint16_t frequency, int32_t duration) {
    if (state().interrupted) {
        return;
    }
    notify({Request::Kind::Bleep, frequency, duration});
    if (duration < -1) {
        duration = 0;
    }
    if (!IsNT()) {
        PortSound(frequency, duration);
        return;
    }
    // The tone service sounds any frequency it is given; the wait is ours.
    platform::ToneService* service = state().active.toneService;
    platform::ToneService& tone = service ? *service : state().silence;
    if (!tone.toneOn(frequency)) {
        state().failedTone = frequency;
        Interrupt();
        return;
    }
    if (duration < 0) {
        return;
    }
    wait(duration);
    tone.toneOff();
}

void Delay(int32_t duration) {
    if (state().interrupted) {
        return;
    }
    notify({Request::Kind::Delay, 0, duration});
    if (duration < 0) {
        return;
    }
    wait(duration);
}

void SoundSegment(uint16_t frequency, uint16_t duration) {
    if (frequency != 0) {
        Bleep(frequency, duration);
    } else {
        Delay(duration);
    }
}

WalkResult WalkSegments(const std::vector<ToneSegment>& segments,
                        const std::function<void(const ToneSegment&)>& afterEach) {
    ClearInterrupt();
    state().failedTone = 0;
    bool whole = true;
    for (const ToneSegment& segment : segments) {
        if (Interrupted()) {
            whole = false;
            break;
        }
        SoundSegment(segment.frequency, segment.duration);
        if (afterEach) {
            afterEach(segment);
        }
    }
    whole = whole && !Interrupted();
    ClearInterrupt();
    if (const uint16_t failed = std::exchange(state().failedTone, 0); failed != 0)
        return {WalkResult::End::ToneFailed,
                "Der PC-Lautsprecher hat den Ton " + std::to_string(failed) +
                    " Hz nicht angenommen.\r\nDie Übertragung wurde unterbrochen, der Empfänger "
                    "ist nicht vollständig programmiert. Bitte erneut senden."};
    return {whole ? WalkResult::End::Whole : WalkResult::End::Interrupted, {}};
}

void PortSound(uint16_t frequency, int32_t duration) {
    if (frequency < lowestFrequency || frequency > highestFrequency) {
        return;
    }
    SpeakerOn(static_cast<uint16_t>(platform::speakerPort::timerClock / frequency));
    if (duration < 0) {
        return; // left sounding; only a duration of -1 comes here
    }
    wait(duration);
    SpeakerOff();
}

void SpeakerOn(uint16_t divisor) {
    platform::SpeakerPorts* ports = state().active.ports;
    if (!ports) {
        return;
    }
    using namespace platform::speakerPort;
    const uint8_t control = ports->in(systemControl);
    if ((control & speakerBits) == 0) {
        ports->out(systemControl, static_cast<uint8_t>(control | speakerBits));
        ports->out(timerControl, counter2SquareWave);
    }
    ports->out(timer2Data, static_cast<uint8_t>(divisor & 0xFF));
    ports->out(timer2Data, static_cast<uint8_t>(divisor >> 8));
}

void SpeakerOff() {
    platform::SpeakerPorts* ports = state().active.ports;
    if (!ports) {
        return;
    }
    using platform::speakerPort::systemControl;
    ports->out(systemControl, static_cast<uint8_t>(ports->in(systemControl) & ~speakerBits));
}

ScopedPlatform::ScopedPlatform(Platform platform) : previous_(std::move(state().active)) {
    state().active = std::move(platform);
}

ScopedPlatform::~ScopedPlatform() {
    state().active = std::move(previous_);
}

} // namespace UNT_Bleeper

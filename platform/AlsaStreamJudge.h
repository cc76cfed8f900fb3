// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the wave output judges a running ALSA stream, the verdict of every send: by ALSA's own
// status, never by the wall clock of this program alone.
#include "WaveOut.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>

namespace platform {

// A device that plays nothing for this long while sound waits has stalled (a server that was
// stopped or died without closing its socket). Longer than a sound server takes to pick up a
// new stream.
inline constexpr auto stallLimit = std::chrono::milliseconds(2000);

// The stream as the play thread sees it: frames handed to ALSA since it was prepared (the
// silence after the sound included), whether that silence has begun, the least seen of "time of
// a status minus the played frames' length" (it stays put while the sound runs without a
// break), and when the played frames last moved on. Only the play thread touches it.
struct StreamJudge {
    unsigned rate = 1;
    bool monotonicStamps = false; // the status's time stamps are on the steady clock
    // The device ends in ALSA's null plugin (alone or under the file plugin): it takes every
    // frame at once and plays nothing in time, so only its state can break the sound.
    bool timeless = false;
    uint64_t framesWritten = 0;
    bool padding = false;
    bool clockStarted = false;
    double leastOffset = 0;
    std::deque<std::pair<double, double>> offsets; // (time, offset) of the last two windows
    uint64_t lastPlayed = 0;
    bool moving = false; // the played frames moved on since the start
    std::chrono::steady_clock::time_point lastProgress;

    // A newly opened PCM at this rate: asks for its time stamps on the steady clock.
    void attach(snd_pcm_t* pcm, unsigned sampleRate);
    // A new stream begins (the PCM was prepared again).
    void restart();
    // What ALSA reports for the stream: its state (an underrun, a suspend, a device gone), and
    // its position against its own time stamps (a break that no underrun reports, as when a
    // sound server or this program stood still). The frames played so far go to `played`.
    WaveResult check(snd_pcm_t* pcm, uint64_t* played);

private:
    bool hasStep(double at, double offset);
};

// Counts an underrun for alsaUnderruns().
void countUnderrun();

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the wave output judges a running ALSA stream, the verdict of every send: by ALSA's own
// status, never by the wall clock of this program alone. The judge takes its readings through
// an interface of its own, so that recorded readings of each path test it without a server.
#include "WaveOut.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <utility>

namespace platform {

// A device that plays nothing for this long while sound waits has stalled (a server that was
// stopped or died without closing its socket). Longer than a sound server takes to pick up a
// new stream.
inline constexpr auto stallLimit = std::chrono::milliseconds(2000);
// The judge compares the position over two windows of this length; the silence before and
// after the sound lasts longer than both together, so that every rule has seen the stream
// steady before the first sample and after the last.
inline constexpr double judgeWindowSeconds = 0.200;
inline constexpr double edgeSilenceSeconds = 0.500;

// One status of the stream.
struct StreamReading {
    int error = 0; // snd_pcm_status failed with this (a negative errno)
    snd_pcm_state_t state = SND_PCM_STATE_RUNNING;
    double at = 0;        // the status's time stamp, seconds on the steady clock; 0: none
    double triggerAt = 0; // when the stream last started or stopped (an underrun); 0: none
    int64_t delay = 0;    // frames between the one heard now and the one written next
};

class StreamReadings {
public:
    virtual ~StreamReadings() = default;
    virtual StreamReading read() = 0;
};

// ALSA's status of a PCM whose time stamps were asked for on the steady clock.
class AlsaStreamReadings final : public StreamReadings {
public:
    snd_pcm_t* pcm = nullptr;
    bool monotonicStamps = false;
    StreamReading read() override;
};

// Asks for the status's time stamps on the monotonic clock, which std::chrono::steady_clock
// reads too, in the PCM's software parameters; true when the device takes that.
bool stampOnSteadyClock(snd_pcm_sw_params_t* params, snd_pcm_t* pcm);
// True when the device's chain ends in ALSA's null plugin: it takes every frame at once and
// plays nothing in time, so only its state can break the sound.
bool endsInNull(snd_pcm_t* pcm);
// True for ALSA's PulseAudio plugin: between the server's reports, seconds apart, it carries
// the position on by the clock, so a server that stood still shows only at its next report.
bool reportsLate(snd_pcm_t* pcm);

// The stream as the play thread sees it. The sound is frames [soundStart, soundEnd) of the
// stream; the silence around it is the layer's own, and a break there spoils nothing.
struct StreamJudge {
    static constexpr uint64_t unknownEnd = std::numeric_limits<uint64_t>::max();
    unsigned rate = 1;
    bool timeless = false;
    uint64_t framesWritten = 0; // handed to ALSA since the stream was prepared
    uint64_t soundStart = 0;
    uint64_t soundEnd = unknownEnd; // known once the last of the sound is written
    uint64_t heardAfter = 0;        // frames of silence after the end that must play steady
    // How far behind the position a break may show (a plugin that reports late): a step seen
    // at position p may lie anywhere from p minus this.
    uint64_t showsLate = 0;
    bool padding = false; // the silence after the sound has begun
    bool ended = false;   // the sound and the silence after it have played
    uint64_t lastPlayed = 0;
    double lastProgress = 0; // steady clock, seconds

    // Where the readings of each stream go as text, for a test that finds a gap the judge did
    // not tell (ZUVELA_STREAM_READINGS names a file); empty: nowhere.
    std::string readingsFile;

    void restart(double now);
    // Appends this stream's readings and its verdict to readingsFile.
    void writeReadings(WaveResult verdict);
    // Judges one reading; now is the steady clock in seconds. A failure, or MMSYSERR_NOERROR
    // with the frames played so far in `played` (and `ended` set once the sound was heard).
    WaveResult check(const StreamReading& reading, double now, uint64_t* played = nullptr);

private:
    struct Point {
        double at;
        double offset; // the time of the reading minus the played frames' length
        uint64_t played;
    };
    std::deque<Point> points; // the last two windows
    // How the floor rose from one window to the next over the last seconds: its median is
    // the position's drift against the clock, not a break.
    std::deque<std::pair<double, double>> rises;
    std::string readings; // kept only with a readingsFile
    double baseline = 0;
    bool hasBaseline = false;
    double startedAt = 0; // trigger time stamp seen while running
    WaveResult judgeWindows(const Point& point);
    bool inSound(uint64_t from, uint64_t to) const { return to > soundStart && from < soundEnd; }
};

double steadySeconds();

// Counts an underrun for alsaUnderruns().
void countUnderrun();

} // namespace platform

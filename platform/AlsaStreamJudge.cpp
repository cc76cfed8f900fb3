// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaStreamJudge.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>

namespace platform {

namespace {

std::atomic<unsigned> underrunCount{0};

// The sound fell behind the device's clock by this much: a break, whatever a sound server's
// position does (through PulseAudio's plugin it moves in steps, and drifts by about 1 %).
constexpr double lateLimitSeconds = 0.250;
// A shorter break shows as a step: the least offset of the last stepWindow stands this much
// above the least of the stepWindow before it. A step that jitter or drift could make stays
// below it.
constexpr double stepLimitSeconds = 0.008;
constexpr double stepWindowSeconds = 0.200;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True when the device's chain ends in ALSA's null plugin, which names itself so in the dump.
bool endsInNull(snd_pcm_t* pcm) {
    snd_output_t* out = nullptr;
    if (snd_output_buffer_open(&out) < 0)
        return false;
    char* text = nullptr;
    snd_pcm_dump(pcm, out);
    const size_t length = snd_output_buffer_string(out, &text);
    const bool found = std::string_view(text, length).find("Null PCM") != std::string_view::npos;
    snd_output_close(out);
    return found;
}

// Asks for the status's time stamps on the monotonic clock, which std::chrono::steady_clock
// reads too; true when the device takes that.
bool stampOnSteadyClock(snd_pcm_t* pcm) {
    snd_pcm_sw_params_t* params = nullptr;
    snd_pcm_sw_params_alloca(&params);
    return snd_pcm_sw_params_current(pcm, params) >= 0 &&
           snd_pcm_sw_params_set_tstamp_mode(pcm, params, SND_PCM_TSTAMP_ENABLE) >= 0 &&
           snd_pcm_sw_params_set_tstamp_type(pcm, params, SND_PCM_TSTAMP_TYPE_MONOTONIC) >= 0 &&
           snd_pcm_sw_params(pcm, params) >= 0;
}

// Records one offset; true when the offsets stepped up by a short break: the least of the last
// window stands stepLimitSeconds above the least of the window before, each window holding a
// few readings.
} // namespace

bool StreamJudge::hasStep(double at, double offset) {
    offsets.emplace_back(at, offset);
    while (offsets.front().first < at - 2 * stepWindowSeconds)
        offsets.pop_front();
    double before = 1e9, after = 1e9;
    int countBefore = 0, countAfter = 0;
    for (const auto& [time, value] : offsets) {
        if (time < at - stepWindowSeconds) {
            before = std::min(before, value);
            ++countBefore;
        } else {
            after = std::min(after, value);
            ++countAfter;
        }
    }
    constexpr int enough = 3;
    return countBefore >= enough && countAfter >= enough && after - before >= stepLimitSeconds;
}

void StreamJudge::attach(snd_pcm_t* pcm, unsigned sampleRate) {
    rate = sampleRate;
    monotonicStamps = stampOnSteadyClock(pcm);
    timeless = endsInNull(pcm);
    restart();
}

void StreamJudge::restart() {
    framesWritten = 0;
    padding = false;
    clockStarted = false;
    offsets.clear();
    lastPlayed = 0;
    moving = false;
    lastProgress = std::chrono::steady_clock::now();
}

WaveResult StreamJudge::check(snd_pcm_t* pcm, uint64_t* played) {
    snd_pcm_status_t* status = nullptr;
    snd_pcm_status_alloca(&status);
    const int rc = snd_pcm_status(pcm, status);
    if (rc < 0)
        return rc == -EPIPE ? WAVERR_UNDERRUN : rc;
    const snd_pcm_state_t state = snd_pcm_status_get_state(status);
    switch (state) {
    case SND_PCM_STATE_XRUN:
        countUnderrun();
        return WAVERR_UNDERRUN;
    case SND_PCM_STATE_SUSPENDED:
        return -ESTRPIPE;
    case SND_PCM_STATE_DISCONNECTED:
        return -ENODEV;
    default:
        break;
    }
    const snd_pcm_sframes_t delay = snd_pcm_status_get_delay(status);
    const auto queued = static_cast<uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0));
    const uint64_t now = framesWritten - std::min(queued, framesWritten);
    if (played)
        *played = now;
    if (state != SND_PCM_STATE_RUNNING || timeless)
        return MMSYSERR_NOERROR;
    const auto clock = std::chrono::steady_clock::now();
    if (now > lastPlayed) {
        // The clock is read from the second move on: a server can take its time to begin.
        moving = lastPlayed > 0;
        lastPlayed = now;
        lastProgress = clock;
    } else if (clock - lastProgress > stallLimit) {
        return WAVERR_STALLED;
    }
    if (!moving)
        return MMSYSERR_NOERROR;
    // The status's own time stamp goes with its delay, whatever held this thread up meanwhile.
    snd_htimestamp_t stamp{};
    snd_pcm_status_get_htstamp(status, &stamp);
    const double at = monotonicStamps && (stamp.tv_sec != 0 || stamp.tv_nsec != 0)
                          ? double(stamp.tv_sec) + double(stamp.tv_nsec) / 1e9
                          : secondsNow();
    const double offset = at - double(now) / rate;
    if (!clockStarted || offset < leastOffset) {
        clockStarted = true;
        leastOffset = offset;
    }
    if (offset - leastOffset >= lateLimitSeconds)
        return WAVERR_LATE;
    return hasStep(at, offset) ? WAVERR_LATE : MMSYSERR_NOERROR;
}

void countUnderrun() {
    ++underrunCount;
}

unsigned alsaUnderruns() {
    return underrunCount.load();
}

} // namespace platform

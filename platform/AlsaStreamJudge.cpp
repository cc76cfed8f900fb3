// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaStreamJudge.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

namespace platform {

namespace {

std::atomic<unsigned> underrunCount{0};

// The sound fell behind the device's clock by this much: a break, whatever a sound server's
// position does (through PulseAudio's plugin it moves in steps, and drifts by about 1 %).
constexpr double lateLimitSeconds = 0.250;
// A shorter break shows as a step: the floor of the offsets of the last window stands this
// much above or below that of the window before. A step that jitter or drift could make
// stays below it.
constexpr double stepLimitSeconds = 0.008;
// How far the place of a step may lie from where the readings put it: a server's position
// moves in quanta of about 20 ms.
constexpr double stepJitterSeconds = 0.030;
// The drift is measured over this long, and no clock drifts more than maxDrift.
constexpr double driftSeconds = 2.0;
constexpr double maxDrift = 0.03;
// Each window needs this many readings before it is compared.
constexpr size_t enoughReadings = 3;

double stampSeconds(const snd_htimestamp_t& stamp) {
    return double(stamp.tv_sec) + double(stamp.tv_nsec) / 1e9;
}

// The floor of a window's offsets, a few of its lowest left out: a single reading ahead of the
// rest (a server's position settling, a late reply) moves no floor.
template <class It> double floorOf(It first, It last) {
    std::vector<double> values;
    for (It it = first; it != last; ++it)
        values.push_back(it->offset);
    const size_t k = values.size() / 8;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

} // namespace

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// True when the device's chain names this in ALSA's dump of it.
bool chainNames(snd_pcm_t* pcm, std::string_view name) {
    snd_output_t* out = nullptr;
    if (snd_output_buffer_open(&out) < 0)
        return false;
    char* text = nullptr;
    snd_pcm_dump(pcm, out);
    const size_t length = snd_output_buffer_string(out, &text);
    const bool found = std::string_view(text, length).find(name) != std::string_view::npos;
    snd_output_close(out);
    return found;
}

} // namespace

bool endsInNull(snd_pcm_t* pcm) {
    return chainNames(pcm, "Null PCM");
}

bool reportsLate(snd_pcm_t* pcm) {
    return chainNames(pcm, "PulseAudio");
}

bool stampOnSteadyClock(snd_pcm_sw_params_t* params, snd_pcm_t* pcm) {
    return snd_pcm_sw_params_set_tstamp_mode(pcm, params, SND_PCM_TSTAMP_ENABLE) >= 0 &&
           snd_pcm_sw_params_set_tstamp_type(pcm, params, SND_PCM_TSTAMP_TYPE_MONOTONIC) >= 0;
}

StreamReading AlsaStreamReadings::read() {
    StreamReading reading;
    snd_pcm_status_t* status = nullptr;
    snd_pcm_status_alloca(&status);
    if (const int rc = snd_pcm_status(pcm, status); rc < 0) {
        reading.error = rc;
        return reading;
    }
    reading.state = snd_pcm_status_get_state(status);
    reading.delay = snd_pcm_status_get_delay(status);
    if (monotonicStamps) {
        snd_htimestamp_t stamp{};
        snd_pcm_status_get_htstamp(status, &stamp);
        reading.at = stampSeconds(stamp);
        snd_pcm_status_get_trigger_htstamp(status, &stamp);
        reading.triggerAt = stampSeconds(stamp);
    }
    return reading;
}

void StreamJudge::writeReadings(WaveResult verdict) {
    if (readingsFile.empty() || readings.empty())
        return;
    if (FILE* out = std::fopen(readingsFile.c_str(), "a")) {
        std::fprintf(out,
                     "stream rate %u, sound %llu..%llu, %llu written, verdict %d\n"
                     "at state delay written trigger\n%s\n",
                     rate, (unsigned long long)soundStart, (unsigned long long)soundEnd,
                     (unsigned long long)framesWritten, verdict, readings.c_str());
        std::fclose(out);
    }
    readings.clear();
}

void StreamJudge::restart(double now) {
    framesWritten = 0;
    soundStart = 0;
    soundEnd = unknownEnd;
    padding = false;
    ended = false;
    lastPlayed = 0;
    lastProgress = now;
    points.clear();
    rises.clear();
    hasBaseline = false;
    startedAt = 0;
}

// Records one offset and compares the windows. A step between them is a break when the frames
// played around it belong to the sound; in the silence around the sound the judge begins anew.
WaveResult StreamJudge::judgeWindows(const Point& point) {
    points.push_back(point);
    while (points.front().at < point.at - 2 * judgeWindowSeconds)
        points.pop_front();
    const auto split = std::find_if(points.begin(), points.end(), [&](const Point& p) {
        return p.at >= point.at - judgeWindowSeconds;
    });
    const auto countBefore = size_t(split - points.begin());
    const auto countAfter = size_t(points.end() - split);
    if (countBefore < enoughReadings || countAfter < enoughReadings)
        return MMSYSERR_NOERROR;
    const double before = floorOf(points.begin(), split);
    const double after = floorOf(split, points.end());
    const auto beginAnew = [&] {
        points.erase(points.begin(), split);
        hasBaseline = false;
        return MMSYSERR_NOERROR;
    };
    // A server's clock may run a little off ours (PulseAudio's plugin through PipeWire lags by
    // about 1.5 %): that much rise per window is its drift.
    rises.emplace_back(point.at, after - before);
    while (rises.front().first < point.at - driftSeconds)
        rises.pop_front();
    std::vector<double> recent;
    for (const auto& rise : rises)
        recent.push_back(rise.second);
    std::nth_element(recent.begin(), recent.begin() + std::ptrdiff_t(recent.size() / 2),
                     recent.end());
    const double mostDrift = maxDrift * judgeWindowSeconds;
    const double drift = std::clamp(recent[recent.size() / 2], -mostDrift, mostDrift);
    if (std::abs(after - before - drift) >= stepLimitSeconds) {
        // Where the step lies: after the last reading at the old level when the offsets rose
        // (a stall), before the first at the new one when they fell (a skip). A reading's
        // jitter is above its level, so the middle between the two floors tells them apart.
        const double middle = (before + after) / 2;
        uint64_t at = 0;
        if (after > before) {
            for (const Point& p : points)
                if (p.offset < middle)
                    at = p.played;
        } else {
            for (const Point& p : points) {
                if (p.offset < middle)
                    break;
                at = p.played;
            }
        }
        const auto jitter = uint64_t(stepJitterSeconds * rate);
        const uint64_t earliest = at - std::min(at, jitter + showsLate);
        if (!inSound(earliest, at + jitter))
            return beginAnew();
        // A position that reports late catches up by jumping ahead: only a rise is a break.
        if (after < before && showsLate > 0)
            return beginAnew();
        return after > before ? WAVERR_LATE : WAVERR_SKIPPED;
    }
    if (!hasBaseline || after < baseline) {
        baseline = after;
        hasBaseline = true;
    }
    if (after - baseline >= lateLimitSeconds)
        return inSound(split->played - std::min(split->played, showsLate), point.played)
                   ? WAVERR_LATE
                   : beginAnew();
    return MMSYSERR_NOERROR;
}

WaveResult StreamJudge::check(const StreamReading& reading, double now, uint64_t* played) {
    if (reading.error < 0)
        return reading.error == -EPIPE ? WAVERR_UNDERRUN : reading.error;
    const bool soundKnown = soundEnd != unknownEnd;
    const auto queued = static_cast<uint64_t>(std::max<int64_t>(reading.delay, 0));
    const uint64_t position = framesWritten - std::min(queued, framesWritten);
    if (!readingsFile.empty()) {
        char line[160];
        const double at = reading.at > 0 ? reading.at : now;
        std::snprintf(line, sizeof line, "%.6f %d %lld %llu %.6f\n", at, int(reading.state),
                      (long long)reading.delay, (unsigned long long)framesWritten,
                      reading.triggerAt);
        readings += line;
    }
    switch (reading.state) {
    case SND_PCM_STATE_XRUN: {
        countUnderrun();
        // By when it happened, where ALSA stamped it: after the sound and the silence that
        // confirms it, the stream only ran out of that silence.
        const double when = reading.triggerAt > startedAt ? reading.triggerAt : 0;
        if (soundKnown && hasBaseline && when > 0 &&
            when >= baseline + double(soundEnd + heardAfter) / rate) {
            ended = true;
            if (played)
                *played = soundEnd + heardAfter;
            return MMSYSERR_NOERROR;
        }
        return WAVERR_UNDERRUN;
    }
    case SND_PCM_STATE_SUSPENDED:
        return -ESTRPIPE;
    case SND_PCM_STATE_DISCONNECTED:
        return -ENODEV;
    default:
        break;
    }
    if (played)
        *played = position;
    const bool confirmed = soundKnown && position >= soundEnd + heardAfter;
    if (reading.state != SND_PCM_STATE_RUNNING || timeless) {
        ended = ended || confirmed;
        return MMSYSERR_NOERROR;
    }
    startedAt = reading.triggerAt;
    if (position > lastPlayed) {
        lastPlayed = position;
        lastProgress = now;
    } else if (now - lastProgress > std::chrono::duration<double>(stallLimit).count()) {
        // Stood still in the silence after the sound: all of the sound had reached the device.
        if (soundKnown && lastPlayed >= soundEnd) {
            ended = true;
            return MMSYSERR_NOERROR;
        }
        return WAVERR_STALLED;
    }
    // Before the first frame has played, a server is still picking up the stream.
    if (position == 0)
        return MMSYSERR_NOERROR;
    // The status's own time stamp goes with its delay, whatever held this thread up meanwhile.
    const double at = reading.at > 0 ? reading.at : now;
    const WaveResult result = judgeWindows({at, at - double(position) / rate, position});
    if (result == MMSYSERR_NOERROR)
        ended = ended || confirmed;
    return result;
}

void countUnderrun() {
    ++underrunCount;
}

unsigned alsaUnderruns() {
    return underrunCount.load();
}

} // namespace platform

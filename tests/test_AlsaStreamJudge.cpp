// SPDX-License-Identifier: GPL-3.0-or-later
// The judge of a stream against readings as each ALSA path gives them: a card's position in
// periods, a sound server's in quanta, PulseAudio's plugin extrapolating (settling at the
// start, drifting, now and then a reading ahead), the null plugin that takes everything at
// once. Each row plays 0.5 s of silence, 2 s of sound and the silence after, with one fault.
#include "AlsaStreamJudge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

using namespace platform;

namespace {

constexpr unsigned rate = 48000;
constexpr double start = 100.0; // steady clock of the stream's start
constexpr double lead = 0.5, sound = 2.0, trail = 1.0;
constexpr double soundEndAt = start + lead + sound; // when the last sample plays, unbroken

struct Path {
    const char* name;
    unsigned step;   // the position moves in steps of this many frames
    double drift;    // the position's clock against the steady clock
    bool settles;    // the first 130 ms read wildly, one later reading runs 19.7 ms ahead
    bool stampsXrun; // ALSA stamps the moment of an underrun
    bool timeless;   // the null plugin
};

const Path card{"card", 240, 0, false, true, false};
const Path pipewire{"PipeWire's plugin", 1024, 0.0003, false, false, false};
const Path pulse{"PulseAudio's plugin", 1, 0.01, true, false, false};
const Path pulseSlow{"PulseAudio's plugin, slow clock", 1, -0.01, true, false, false};
const Path null{"file plugin over null", 1, 0, false, false, true};

enum class Fault {
    None,
    Stall,    // the position stands still for `length` from `at`
    Skip,     // the position jumps `length` ahead at `at`
    Kill,     // the server dies at `at`: the plugin reports an underrun at once
    LateDry,  // the play thread reads nothing from `at` for `length`; the stream ran dry
              // at the end of what was written
    EarlyDry, // as LateDry, but the stream ran dry at `at` itself
};

struct Row {
    Path path;
    Fault fault;
    double at; // seconds after the stream's start
    double length;
    WaveResult expected; // MMSYSERR_NOERROR: heard whole
};

// Plays the row's stream to the judge, a reading every 4 to 6 ms; the judge's verdict.
WaveResult judge(const Row& row) {
    StreamJudge judge;
    judge.rate = rate;
    judge.timeless = row.path.timeless;
    judge.restart(start);
    judge.soundStart = uint64_t(lead * rate);
    judge.soundEnd = uint64_t((lead + sound) * rate);
    judge.heardAfter = uint64_t((2 * judgeWindowSeconds + 0.05) * rate);
    judge.framesWritten = uint64_t((lead + sound + trail) * rate);
    const double faultAt = start + row.at;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> pause(0.004, 0.006), wild(-0.015, 0.015);
    bool aheadDone = false;
    for (double next = start; next < start + 10;) {
        const double t = next;
        next += pause(random);
        if ((row.fault == Fault::LateDry || row.fault == Fault::EarlyDry) && t >= faultAt &&
            t < faultAt + row.length)
            continue;
        // The position in seconds of sound, as the device played it.
        double played = (t - start) * (1 + row.path.drift);
        if (row.fault == Fault::Stall && t >= faultAt)
            played -= std::min(t - faultAt, row.length) * (1 + row.path.drift);
        if (row.fault == Fault::Skip && t >= faultAt)
            played += row.length;
        if (row.path.settles && t < start + 0.130)
            played += wild(random);
        if (row.path.settles && !aheadDone && t >= start + 1.2) {
            played += 0.0197;
            aheadDone = true;
        }
        StreamReading reading;
        reading.at = t;
        reading.triggerAt = start;
        const auto position =
            uint64_t(std::max(played, 0.0) * rate) / row.path.step * row.path.step;
        reading.delay = int64_t(judge.framesWritten) - int64_t(position);
        if (row.path.timeless)
            reading.delay = 0;
        const bool dry = row.fault == Fault::LateDry ? played >= lead + sound + trail
                                                     : row.fault == Fault::EarlyDry && t >= faultAt;
        if ((row.fault == Fault::Kill && t >= faultAt) || dry) {
            reading.state = SND_PCM_STATE_XRUN;
            reading.delay = 0;
            if (row.path.stampsXrun)
                reading.triggerAt =
                    row.fault == Fault::LateDry ? start + lead + sound + trail : faultAt;
        }
        const WaveResult result = judge.check(reading, t);
        if (result != MMSYSERR_NOERROR || judge.ended)
            return result;
    }
    return MMSYSERR_ERROR; // never decided
}

std::string text(WaveResult code) {
    return code == MMSYSERR_ERROR ? "undecided" : waveErrorText(code);
}

} // namespace

TEST(StreamJudge, aBreakInsideTheSoundIsToldAndOneInTheSilenceAroundItIsNot) {
    constexpr double end = lead + sound;
    const Row rows[] = {
        // Steady, and drifting as PulseAudio's plugin does.
        {card, Fault::None, 0, 0, MMSYSERR_NOERROR},
        {pipewire, Fault::None, 0, 0, MMSYSERR_NOERROR},
        {pulse, Fault::None, 0, 0, MMSYSERR_NOERROR},
        {pulseSlow, Fault::None, 0, 0, MMSYSERR_NOERROR},
        {null, Fault::None, 0, 0, MMSYSERR_NOERROR},
        // Stalled inside the last tone, briefly and long, and in the first tone.
        {card, Fault::Stall, end - 0.10, 0.030, WAVERR_LATE},
        {pipewire, Fault::Stall, end - 0.10, 0.030, WAVERR_LATE},
        {pulse, Fault::Stall, end - 0.10, 0.030, WAVERR_LATE},
        {pipewire, Fault::Stall, end - 0.02, 0.700, WAVERR_LATE},
        {pulse, Fault::Stall, end - 0.05, 0.100, WAVERR_LATE},
        {pipewire, Fault::Stall, lead + 0.03, 0.030, WAVERR_LATE},
        {card, Fault::Stall, lead + 0.01, 0.100, WAVERR_LATE},
        // Stalled in the silence before the sound and after it: the sound is whole.
        {pipewire, Fault::Stall, 0.15, 0.100, MMSYSERR_NOERROR},
        {pulse, Fault::Stall, 0.20, 0.030, MMSYSERR_NOERROR},
        {card, Fault::Stall, end + 0.05, 0.100, MMSYSERR_NOERROR},
        {pipewire, Fault::Stall, end + 0.10, 0.700, MMSYSERR_NOERROR},
        // Stepped ahead: samples were skipped.
        {card, Fault::Skip, 1.5, 0.020, WAVERR_SKIPPED},
        {pipewire, Fault::Skip, end - 0.1, 0.030, WAVERR_SKIPPED},
        // The server killed: the underrun comes at once, with no stamp of its own.
        {pipewire, Fault::Kill, end - 0.25, 0, WAVERR_UNDERRUN},
        {pulse, Fault::Kill, end - 0.05, 0, WAVERR_UNDERRUN},
        {pipewire, Fault::Kill, end + 0.20, 0, WAVERR_UNDERRUN},
        // An underrun read late counts by its stamp: after the silence that confirms the sound
        // it spoils nothing; inside the sound it is a break.
        {card, Fault::LateDry, end + 0.2, 2.0, MMSYSERR_NOERROR},
        {card, Fault::EarlyDry, end - 0.1, 1.0, WAVERR_UNDERRUN},
        {pipewire, Fault::LateDry, end + 0.2, 2.0, WAVERR_UNDERRUN},
    };
    for (const Row& row : rows)
        EXPECT_EQ(text(judge(row)), text(row.expected))
            << row.path.name << ", fault " << int(row.fault) << " at " << row.at << " s for "
            << row.length << " s";
}

TEST(StreamJudge, aDeviceThatTakesNothingStallsUnlessTheSoundHadPlayed) {
    const struct {
        double standsAt; // seconds of the stream where the position stands still for good
        WaveResult expected;
    } rows[] = {{0.0, WAVERR_STALLED}, {1.0, WAVERR_LATE}, {lead + sound + 0.05, MMSYSERR_NOERROR}};
    for (const auto& row : rows) {
        StreamJudge judge;
        judge.rate = rate;
        judge.restart(start);
        judge.soundStart = uint64_t(lead * rate);
        judge.soundEnd = uint64_t((lead + sound) * rate);
        judge.heardAfter = uint64_t(0.45 * rate);
        judge.framesWritten = uint64_t((lead + sound + trail) * rate);
        WaveResult result = MMSYSERR_ERROR;
        for (int step = 0; step < 1600; ++step) {
            const double t = start + step * 0.005;
            StreamReading reading;
            reading.at = t;
            const double played = std::min(t - start, row.standsAt);
            reading.delay = int64_t(judge.framesWritten) - int64_t(played * rate);
            result = judge.check(reading, t);
            if (result != MMSYSERR_NOERROR || judge.ended)
                break;
        }
        EXPECT_EQ(text(result), text(row.expected)) << "standing at " << row.standsAt << " s";
    }
}

// Readings recorded through a real PipeWire server by ZUVELA_STREAM_READINGS, each with the
// verdict the sink's recording agreed with: steady, drifting under load (PulseAudio's plugin
// into PipeWire lags the clock by about 1.5 % and steps by 5 to 7 ms now and then), a
// sender stopped and a server stopped in the last tone.
TEST(StreamJudge, recordedReadingsOfEachServerPathGetTheVerdictTheSinkAgreedWith) {
    const struct {
        const char* file;
        WaveResult expected;
    } rows[] = {
        {"pipewire-plugin-steady", MMSYSERR_NOERROR},
        {"pipewire-plugin-sender-stopped-20ms", WAVERR_LATE},
        {"pipewire-plugin-server-stopped-in-last-tone", WAVERR_LATE},
        {"pulse-plugin-steady", MMSYSERR_NOERROR},
        {"pulse-plugin-drifting-under-load", MMSYSERR_NOERROR},
        {"pulse-plugin-sender-stopped-in-last-tone", MMSYSERR_NOERROR},
        {"pulse-plugin-server-stopped-in-last-tone", WAVERR_LATE},
    };
    const std::filesystem::path folder = STREAM_READINGS;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::ifstream in(folder / (std::string(row.file) + ".txt"));
        std::string header, columns;
        ASSERT_TRUE(std::getline(in, header) && std::getline(in, columns));
        unsigned sampleRate = 0;
        unsigned long long soundStart = 0, soundEnd = 0;
        // "stream rate 22050, sound 11025..101430"
        std::istringstream fields(header);
        std::string stream, rateWord, soundWord;
        char comma = 0, dot = 0, dot2 = 0;
        ASSERT_TRUE(fields >> stream >> rateWord >> sampleRate >> comma >> soundWord >>
                    soundStart >> dot >> dot2 >> soundEnd)
            << header;
        ASSERT_EQ(std::string() + comma + dot + dot2, ",..") << header;
        StreamJudge judge;
        judge.rate = sampleRate;
        double at = 0, trigger = 0;
        int state = 0;
        long long delay = 0;
        unsigned long long written = 0;
        WaveResult result = MMSYSERR_ERROR;
        bool first = true;
        while (in >> at >> state >> delay >> written >> trigger) {
            if (first) {
                judge.restart(at);
                judge.soundStart = soundStart;
                judge.heardAfter = uint64_t(0.45 * sampleRate);
                first = false;
            }
            judge.framesWritten = written;
            // Known to the layer once the silence after the sound is being written.
            if (written > soundEnd)
                judge.soundEnd = soundEnd;
            StreamReading reading;
            reading.at = at;
            reading.state = snd_pcm_state_t(state);
            reading.delay = delay;
            reading.triggerAt = trigger;
            result = judge.check(reading, at);
            if (result != MMSYSERR_NOERROR || judge.ended)
                break;
        }
        EXPECT_EQ(text(result), text(row.expected));
    }
}

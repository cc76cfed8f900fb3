// SPDX-License-Identifier: GPL-3.0-or-later
// Timing of a full four-address sequence through the speaker module, on the scripted tone
// service and the real clock: how far tones and pauses stray from their lengths, and how much
// CPU the waits burn. Run by hand: build/<dir>/bench/bench_speaker
#include "support/SpeakerScripted.h"
#include "TickCount.h"
#include "UNT_Bleeper.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <vector>

namespace {

struct Segment {
    uint16_t frequency; // 0: a pause
    int32_t ms;
};

// The sequence at the initial settings (tone 100 ms, tone pause 30 ms, block pause 700 ms):
// Block A, 2 x 700 - 30 ms, four five-tone addresses with 700 - 30 ms between them. 6760 ms.
std::vector<Segment> fourAddressSequence() {
    const uint16_t blockA[] = {2400, 1060, 1160, 1270, 2800, 825};
    const uint16_t addresses[4][5] = {{1400, 1530, 1670, 1830, 2000},
                                      {2200, 2600, 1060, 1160, 1270},
                                      {1981, 1124, 1197, 1275, 1358},
                                      {1446, 1540, 1640, 1747, 1860}};
    std::vector<Segment> sequence;
    for (const uint16_t f : blockA) {
        sequence.push_back({f, 100});
        sequence.push_back({0, 30});
    }
    sequence.push_back({0, 1370});
    for (int block = 0; block < 4; ++block) {
        if (block > 0) {
            sequence.push_back({0, 670});
        }
        for (const uint16_t f : addresses[block]) {
            sequence.push_back({f, 100});
            sequence.push_back({0, 30});
        }
    }
    return sequence;
}

int64_t nanos(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// The system's clock with the sleeps taken out: the pure busy loop, for comparison.
struct BusyTickSource : platform::TickSource {
    platform::TickReading read() override { return platform::systemTickSource().read(); }
    void sleepFor(uint32_t) override {}
};

struct Errors {
    double maxMs = 0, minMs = 1e9, sumMs = 0;
    int count = 0;
    int late = 0; // more than 1 ms over
    void add(double ms) {
        late += ms > 1.0;
        maxMs = std::max(maxMs, ms);
        minMs = std::min(minMs, ms);
        sumMs += ms;
        ++count;
    }
};

void runSequence(benchmark::State& state, platform::TickSource& ticks) {
    const std::vector<Segment> sequence = fourAddressSequence();
    platform::ScriptedToneService service{platform::systemTickSource()};
    UNT_Bleeper::ScopedPlatform scope{{.toneService = &service, .ticks = &ticks}};
    Errors tones, sounded, pauses;
    double cpuMs = 0, wallMs = 0, driftMs = 0;
    for (auto _ : state) {
        service.clear();
        const int64_t cpuStart = nanos(CLOCK_PROCESS_CPUTIME_ID);
        const int64_t wallStart = nanos(CLOCK_MONOTONIC);
        int64_t requested = 0;
        for (const Segment& segment : sequence) {
            const int64_t t0 = nanos(CLOCK_MONOTONIC);
            if (segment.frequency) {
                UNT_Bleeper::Bleep(segment.frequency, segment.ms);
            } else {
                UNT_Bleeper::Delay(segment.ms);
            }
            const double errorMs = (nanos(CLOCK_MONOTONIC) - t0) / 1e6 - segment.ms;
            (segment.frequency ? tones : pauses).add(errorMs);
            requested += segment.ms;
        }
        const int64_t wall = nanos(CLOCK_MONOTONIC) - wallStart;
        cpuMs += (nanos(CLOCK_PROCESS_CPUTIME_ID) - cpuStart) / 1e6;
        wallMs += wall / 1e6;
        driftMs += wall / 1e6 - static_cast<double>(requested);
        // How long each tone really sounded: from switch-on to switch-off on the service.
        const auto& events = service.events();
        for (size_t i = 0; i + 1 < events.size(); i += 2) {
            sounded.add(platform::nanosBetween(events[i].at, events[i + 1].at) / 1e6 - 100);
        }
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["tone_err_max_ms"] = tones.maxMs;
    state.counters["tone_err_mean_ms"] = tones.sumMs / tones.count;
    state.counters["tone_err_min_ms"] = tones.minMs;
    state.counters["sounded_err_max_ms"] = sounded.maxMs;
    state.counters["pause_err_max_ms"] = pauses.maxMs;
    state.counters["pause_err_mean_ms"] = pauses.sumMs / pauses.count;
    state.counters["pause_err_min_ms"] = pauses.minMs;
    state.counters["late_segments"] = (tones.late + pauses.late) / runs;
    state.counters["sequence_drift_ms"] = driftMs / runs;
    state.counters["cpu_ms"] = cpuMs / runs;
    state.counters["cpu_pct"] = 100.0 * cpuMs / wallMs;
}

void BM_FourAddressSequence(benchmark::State& state) {
    runSequence(state, platform::systemTickSource());
}
BENCHMARK(BM_FourAddressSequence)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FourAddressSequenceBusyLoop(benchmark::State& state) {
    BusyTickSource busy;
    runSequence(state, busy);
}
BENCHMARK(BM_FourAddressSequenceBusyLoop)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the long pause handles messages through it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the four-address sequence from a recording, in seconds of sound per second; and an
// alerting channel of 1 and 60 minutes read block by block for its calls, with the peak memory
// of the process.
#include "CallDecoder.h"
#include "Recording.h"
#include "SequenceDecoder.h"
#include "TestCall.h"
#include "ToneSequence.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <random>
#include <sys/resource.h>

namespace {

TToneTable toneTable() {
    TToneTable table;
    fillToneTable(table);
    return table;
}

std::vector<uint8_t> fourAddresses() {
    ProgSettings s;
    s.addresses = {{{true, "57434"}, {true, "12345"}, {true, "9R0R9"}, {true, "24680"}}};
    return renderSequence(toneSequence(EncodeProgTones(s, toneTable()), 100, 30, 700), 100);
}

// As a sound card at 48 kHz would deliver it: interpolated, at -20 dB, with noise and hum.
Recording at48k(const std::vector<uint8_t>& bytes) {
    Recording r;
    r.sampleRate = 48000;
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0, 0.0055f);
    const auto count = static_cast<std::size_t>(bytes.size() * 48000.0 / kSampleRate);
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const double at = i * kSampleRate / 48000.0;
        const auto k = static_cast<std::size_t>(at);
        const double v =
            bytes[k] + (at - k) * (bytes[std::min(k + 1, bytes.size() - 1)] - bytes[k]);
        r.samples.push_back(
            static_cast<float>((v - 127) / 1280 + noise(random) +
                               0.078 * std::sin(2 * std::numbers::pi * 50 * i / 48000)));
    }
    return r;
}

void decode(benchmark::State& state, const Recording& recording) {
    const TToneTable table = toneTable();
    for (auto _ : state) {
        const DecodedSequence d = decodeSequence(recording, table);
        benchmark::DoNotOptimize(d.tones.data());
    }
    const double seconds = double(recording.samples.size()) / recording.sampleRate;
    state.counters["x_real_time"] =
        benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecodeFourAddresses22050(benchmark::State& state) {
    decode(state, readRaw8(fourAddresses(), kSampleRate));
}
BENCHMARK(BM_DecodeFourAddresses22050)->Unit(benchmark::kMillisecond);

void BM_DecodeFourAddresses48000Noisy(benchmark::State& state) {
    decode(state, at48k(fourAddresses()));
}
BENCHMARK(BM_DecodeFourAddresses48000Noisy)->Unit(benchmark::kMillisecond);

// One minute of a channel at 48 kHz: noise and hum, and a test call.
std::vector<float> channelMinute() {
    const std::vector<uint8_t> call = renderTestCall({"57434", 1, 70, 100, false}, toneTable());
    std::vector<float> minute = at48k(call).samples;
    minute.resize(60 * 48000);
    std::mt19937 random(2);
    std::normal_distribution<float> noise(0, 0.0055f);
    for (std::size_t i = call.size() * 48000 / kSampleRate; i < minute.size(); ++i)
        minute[i] = noise(random) + float(0.078 * std::sin(2 * std::numbers::pi * 50 * i / 48000));
    return minute;
}

void BM_DecodeCallsOfAChannel48000(benchmark::State& state) {
    const std::vector<float> minute = channelMinute();
    const TToneTable table = toneTable();
    const auto minutes = static_cast<int>(state.range(0));
    std::size_t calls = 0;
    for (auto _ : state) {
        ToneFinder finder(48000);
        calls = 0;
        for (int m = 0; m < minutes; ++m)
            for (std::size_t at = 0; at < minute.size(); at += RecordingReader::blockFrames) {
                finder.push(std::span(minute).subspan(
                    at, std::min(RecordingReader::blockFrames, minute.size() - at)));
                calls += findCalls(finder.take(), table).size();
            }
        finder.finish();
        calls += findCalls(finder.take(), table).size();
    }
    if (calls != 2u * minutes)
        state.SkipWithError("calls missed");
    state.counters["x_real_time"] = benchmark::Counter(60.0 * minutes * double(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024; // the minute itself is 11.5 MB
}
BENCHMARK(BM_DecodeCallsOfAChannel48000)->Arg(1)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();

// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the four-address sequence from a recording, in seconds of sound per second.
#include "SequenceDecoder.h"
#include "ToneSequence.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <random>

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

} // namespace

BENCHMARK_MAIN();

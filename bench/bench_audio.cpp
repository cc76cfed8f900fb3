// SPDX-License-Identifier: GPL-3.0-or-later
// The player through real ALSA (file plugin over the null plugin, no sound card): the time
// from Play to the first byte reaching ALSA's output, and the CPU time per second of sound.
// The null plugin does not pace playback, so the second figure is our own cost, not waiting.
#include "Audio.h"
#include "support/AlsaCapture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace {

testsupport::AlsaCapture* capture = nullptr;
constexpr int sampleRate = 22050;

QByteArray sound(int seconds) {
    QByteArray data(seconds * sampleRate, 0);
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(127 + ((i / 10) % 2 ? 60 : -60));
    return data;
}

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void play(TAudio& audio, const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    audio.Player->Play(&buffer, nullptr, 0);
}

void BM_PlayToFirstByteAtAlsa(benchmark::State& state) {
    TAudio audio(nullptr);
    audio.Player->SetSampleRate(sampleRate);
    const QByteArray data = sound(3);
    for (auto _ : state) {
        capture->clear();
        const auto start = std::chrono::steady_clock::now();
        play(audio, data);
        while (capture->size() == 0)
            QCoreApplication::processEvents();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        audio.Player->Stop();
    }
    if (!audio.ErrorMessage.isEmpty() && audio.ErrorMessage != "Player already closed")
        state.SkipWithError(audio.ErrorMessage.toStdString().c_str());
}
BENCHMARK(BM_PlayToFirstByteAtAlsa)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CpuPerSecondOfSound(benchmark::State& state) {
    const int seconds = int(state.range(0));
    TAudio audio(nullptr);
    audio.Player->SetSampleRate(sampleRate);
    bool played = false;
    audio.OnPlayed = [&](TObject*) { played = true; };
    const QByteArray data = sound(seconds);
    double cpu = 0;
    for (auto _ : state) {
        played = false;
        const double before = cpuSeconds();
        play(audio, data);
        while (!played)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        cpu += cpuSeconds() - before;
    }
    if (capture->size() != uintmax_t(data.size()))
        state.SkipWithError("the capture does not hold the sound");
    state.counters["cpu_ms_per_s_of_sound"] =
        benchmark::Counter(cpu * 1000 / (double(seconds) * double(state.iterations())));
}
BENCHMARK(BM_CpuPerSecondOfSound)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir workDir; // the play file lands here, not where the benchmark was started
    QDir::setCurrent(workDir.path());
    testsupport::AlsaCapture alsa;
    capture = &alsa;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

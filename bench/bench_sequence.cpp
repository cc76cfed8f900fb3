// SPDX-License-Identifier: GPL-3.0-or-later
// The send through the sound card: how fast the full four-address sequence renders, and how
// long a user waits from the click on "OK und los !" until the first byte reaches ALSA.
#include "Audio.h"
#include "TApplication.h"
#include "ToneSequence.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/AlsaCapture.h"
#include "support/ReferenceSynthesis.h"

#include <QCoreApplication>
#include <QToolButton>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

testsupport::AlsaCapture* capture = nullptr;

TProgTones fourAddresses() {
    TProgTones t{};
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = static_cast<uint16_t>(970 + 70 * (i % 24));
    return t;
}

// Renders with render, reporting seconds of sound per second of rendering as x_real_time.
template <typename Render> void renderFourAddresses(benchmark::State& state, Render render) {
    const std::vector<ToneSegment> sequence = toneSequence(fourAddresses(), 100, 30, 700);
    std::size_t samples = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> rendered = render(sequence, 100);
        samples = rendered.size();
        benchmark::DoNotOptimize(rendered.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples));
    state.counters["x_real_time"] = benchmark::Counter(
        double(samples) / kSampleRate * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderFourAddressSequence(benchmark::State& state) {
    renderFourAddresses(state, renderSequence);
}
BENCHMARK(BM_RenderFourAddressSequence)->Unit(benchmark::kMillisecond);

// Every sample straight from the extended-precision formula, as the renderer first did it.
void BM_RenderFourAddressSequenceReference(benchmark::State& state) {
    renderFourAddresses(state, renderSequenceReference);
}
BENCHMARK(BM_RenderFourAddressSequenceReference)->Unit(benchmark::kMillisecond);

void BM_ClickToFirstByteAtAlsa(benchmark::State& state) {
    FRM_Prog->SetProgTones(fourAddresses());
    FRM_Prog->show();
    for (auto _ : state) {
        capture->clear();
        const auto start = std::chrono::steady_clock::now();
        FRM_Prog->BTN_Go->click();
        while (capture->size() == 0)
            QCoreApplication::processEvents();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        FRM_Prog->AUD_Main->Player->Stop();
        if (!FRM_Prog->BTN_Go->isEnabled()) {
            state.SkipWithError("the send did not end");
            break;
        }
    }
    FRM_Prog->hide();
}
BENCHMARK(BM_ClickToFirstByteAtAlsa)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testsupport::AlsaCapture alsa;
    capture = &alsa;
    TApplication application(argc, argv);
    createApplicationWindows();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    destroyApplicationWindows();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The send through a real sound server: ALSA's default routed to a PipeWire of the
// benchmark's own, its null sink's monitor recorded. Prints:
//  - click on "OK und los !" to the first sample at the server (estimated from when the
//    recording reached that sample), over 10 sends;
//  - how many of 20 sends while both CPU cores are kept busy were reported as failed (a
//    break found by the output layer), and how many arrived at the sink sample for sample;
//  - CPU time of the program, the server and the session manager per second of sound.
#include "Audio.h"
#include "TApplication.h"
#include "ToneSequence.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "WaveOutAlsa.h"
#include "support/ChildSignal.h"
#include "support/PipeWireServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
testsupport::PipeWireServer* server = nullptr;

// Block A and one address: 2.8 s of sound at the default sliders.
TProgTones oneAddress() {
    TProgTones t{};
    for (std::size_t i = 0; i < 11; ++i)
        t[i] = static_cast<uint16_t>(970 + 70 * i);
    return t;
}

std::vector<int16_t> widened(const std::vector<uint8_t>& samples) {
    std::vector<int16_t> wide;
    for (uint8_t x : samples)
        wide.push_back(static_cast<int16_t>((int(x) - 128) * 256));
    return wide;
}

// Message boxes that a send showed (a failure), answered at once so that the run goes on.
int failuresShown = 0;

struct Arrival {
    bool exact = false;  // the sink got exactly the rendered samples
    double extraMs = 0;  // how much longer the sound was at the sink than rendered
    double firstMs = -1; // click to the first sample at the sink, when watched
};

// One send. With watch, the click to the first sample at the sink is estimated from when the
// recording got to it (the benchmark then polls the recording, which costs CPU time).
Arrival send(const std::vector<int16_t>& expected, bool watch) {
    Arrival a;
    const std::size_t mark = server->recorded().size();
    const auto click = Clock::now();
    FRM_Prog->BTN_Go->click();
    while (!FRM_Prog->BTN_Go->isEnabled()) {
        QCoreApplication::processEvents();
        if (watch && a.firstMs < 0) {
            const std::vector<int16_t> r = server->recorded();
            const auto now = Clock::now();
            for (std::size_t i = mark; i < r.size(); ++i)
                if (r[i] != 0 && r[i] != -256) {
                    // The recording holds r.size() samples now; sample i came that much earlier.
                    const double behindMs = double(r.size() - i) * 1000.0 / kSampleRate;
                    a.firstMs =
                        std::chrono::duration<double, std::milli>(now - click).count() - behindMs;
                    break;
                }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(watch ? 1 : 10));
    }
    QTest::qWait(300);
    const std::vector<int16_t> r = server->recorded();
    auto loud = [](int16_t s) { return s != 0 && s != -256; };
    const auto start =
        std::find_if(r.begin() + std::ptrdiff_t(std::min(mark, r.size())), r.end(), loud);
    const auto last = std::find_if(r.rbegin(), r.rend(), loud).base();
    const auto expectedLast = std::find_if(expected.rbegin(), expected.rend(), loud).base();
    a.exact = std::size_t(r.end() - start) >= expected.size() &&
              std::equal(expected.begin(), expected.end(), start);
    if (start < last)
        a.extraMs =
            double((last - start) - (expectedLast - expected.begin())) * 1000.0 / kSampleRate;
    return a;
}

double cpuSeconds(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / double(sysconf(_SC_CLK_TCK));
}

double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto pw = std::make_unique<testsupport::PipeWireServer>();
    server = pw.get();
    if (!server->missing().isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(server->missing()));
        return 0;
    }
    TApplication application(argc, argv);
    if (!server->start()) {
        std::printf("the server did not start: %s\n", qPrintable(server->error()));
        return 1;
    }
    createApplicationWindows();
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++failuresShown;
            box->accept();
        }
    });
    answer.start(20);
    FRM_Prog->SetProgTones(oneAddress());
    FRM_Prog->show();
    const std::vector<int16_t> expected =
        widened(renderSequence(toneSequence(FRM_Prog->Tones, 100, 30, 700),
                               uint8_t(FRM_Prog->BAR_Amplitude->value() * 10)));
    const double secondsPerSend = double(expected.size()) / kSampleRate;

    // Start latency on an idle machine.
    std::vector<double> latencies;
    int exact = 0;
    for (int i = 0; i < 10; ++i) {
        const Arrival a = send(expected, true);
        exact += a.exact;
        latencies.push_back(a.firstMs);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("click to first sample at the server: min %.1f ms, median %.1f ms, max %.1f ms "
                "(10 sends, %d arrived sample for sample)\n",
                latencies.front(), latencies[latencies.size() / 2], latencies.back(), exact);

    // The cost of a second of sound.
    const double ownBefore = ownCpuSeconds();
    const double serverBefore = cpuSeconds(server->serverPid());
    const double managerBefore = cpuSeconds(server->sessionManagerPid());
    for (int i = 0; i < 5; ++i)
        send(expected, false);
    const double sound = 5 * secondsPerSend;
    std::printf("CPU per second of sound: program %.1f ms, server %.1f ms, session manager "
                "%.1f ms (%.1f s of sound)\n",
                (ownCpuSeconds() - ownBefore) / sound * 1000,
                (cpuSeconds(server->serverPid()) - serverBefore) / sound * 1000,
                (cpuSeconds(server->sessionManagerPid()) - managerBefore) / sound * 1000, sound);

    // Both cores busy.
    std::vector<std::unique_ptr<QProcess>> load;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < std::max(2L, cores); ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        p->waitForStarted();
        load.push_back(std::move(p));
    }
    const unsigned underrunsBefore = platform::alsaUnderruns();
    const int failuresBefore = failuresShown;
    exact = 0;
    double worstExtra = 0;
    int longer = 0;
    int shorter = 0;
    for (int i = 0; i < 20; ++i) {
        const Arrival a = send(expected, false);
        exact += a.exact;
        longer += a.extraMs > 0.05;
        shorter += a.extraMs < -0.05;
        worstExtra = std::max(worstExtra, a.extraMs);
    }
    std::printf("under load (%zu busy processes): %d of 20 sends reported as failed, %u underruns "
                "met; %d of 20 arrived sample for sample, %d longer than rendered (gaps "
                "filled by the server, worst %.1f ms), %d shorter in the recording\n",
                load.size(), failuresShown - failuresBefore,
                platform::alsaUnderruns() - underrunsBefore, exact, longer, worstExtra, shorter);
    for (auto& p : load) {
        testsupport::signalChild(*p, SIGKILL);
        p->waitForFinished();
    }
    FRM_Prog->hide();
    destroyApplicationWindows();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time: from starting the program's process to its main window being shown (and
// the programming dialog created), over repeated runs; also the memory in use then, and the
// memory and CPU time of one send of four addresses through ALSA (its file plugin).
// Usage: bench_startup [runs]. Runs on the platform QT_QPA_PLATFORM names (offscreen if unset).
#include "TApplication.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/AlsaCapture.h"

#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long residentKiB() {
    long rssKiB = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmRSS: %ld kB", &rssKiB) == 1)
                break;
        std::fclose(status);
    }
    return rssKiB;
}

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

// The child: starts as the program does and reports when the main window is on screen.
int child(int argc, char** argv, int reportFd) {
    UNT_Bleeper::initBleeper();
    TApplication application(argc, argv);
    createApplicationWindows();
    FRM_Main->show();
    if (!QTest::qWaitForWindowExposed(FRM_Main))
        return 1;
    const std::string report = std::to_string(residentKiB()) + "\n";
    if (write(reportFd, report.data(), report.size()) < 0)
        return 1;
    destroyApplicationWindows();
    return 0;
}

// One send of four five-tone addresses, as the dialog does it, through ALSA's file plugin.
int send(int argc, char** argv) {
    testsupport::AlsaCapture capture;
    TApplication application(argc, argv);
    createApplicationWindows();
    FRM_Main->show();
    TProgTones tones{};
    for (std::size_t i = 0; i < tones.size(); ++i)
        tones[i] = static_cast<uint16_t>(970 + 70 * (i % 24));
    FRM_Prog->SetProgTones(tones);
    FRM_Prog->show();
    const long before = residentKiB();
    const double cpuBefore = cpuMs();
    FRM_Prog->BTN_Go->click();
    long peak = residentKiB();
    while (!FRM_Prog->BTN_Go->isEnabled()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        peak = std::max(peak, residentKiB());
    }
    const double cpu = cpuMs() - cpuBefore;
    std::printf("one send of 6.76 s of sound: resident memory %ld KiB before, %ld KiB at most "
                "during it; CPU time %.1f ms; %ju bytes reached ALSA\n",
                before, peak, cpu, capture.size());
    destroyApplicationWindows();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv, std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "--send") == 0)
        return send(argc, argv);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::vector<double> ms;
    long rss = 0;
    for (int run = 0; run < runs; ++run) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl("/proc/self/exe", argv[0], "--child", fd.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buffer[64] = {};
        const ssize_t got = read(fds[0], buffer, sizeof buffer - 1);
        const auto shown = std::chrono::steady_clock::now();
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (got <= 0) {
            std::fprintf(stderr, "run %d: the window was not shown\n", run);
            return 1;
        }
        rss = std::atol(buffer);
        ms.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up to shown main window over %d runs: median %.1f ms, min %.1f ms, max %.1f "
                "ms; resident memory then %ld KiB\n",
                runs, ms[ms.size() / 2], ms.front(), ms.back(), rss);
    return 0;
}

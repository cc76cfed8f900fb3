// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time: from starting the program's process to its main window's first frame, over
// repeated runs, with the CPU time and the memory in use then, and to the programming dialog
// being made; also the memory and CPU time of one send of four addresses through ALSA (its
// file plugin). Runs on the platform QT_QPA_PLATFORM names (offscreen if unset);
// bench/startup_x.sh runs it under a real X server with a window manager.
#include "TApplication.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/AlsaCapture.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

long residentKiB() {
    long rssKiB = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::strncmp(line, "VmRSS:", 6) == 0) {
                rssKiB = std::strtol(line + 6, nullptr, 10);
                break;
            }
        std::fclose(status);
    }
    return rssKiB;
}

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) * 1e-6;
}

// Reports once the main window's first frame is drawn: after the paint, from the event loop,
// so that the frame has been handed to the screen.
class FirstFrame : public QObject {
public:
    explicit FirstFrame(std::function<void()> report) : report_(std::move(report)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched == FRM_Main && report_) {
            QTimer::singleShot(0, this, report_);
            report_ = nullptr;
        }
        return false;
    }

private:
    std::function<void()> report_;
};

bool writeLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// The child: starts as the program does. It reports when the main window's first frame is
// drawn (its CPU time and resident memory then) and again when the programming dialog exists.
int child(int argc, char** argv, int reportFd) {
    UNT_Bleeper::initBleeper();
    TApplication application(argc, argv);
    QEventLoop shown;
    bool reported = false;
    FirstFrame firstFrame([&] {
        reported =
            writeLine(reportFd, std::to_string(cpuMs()) + " " + std::to_string(residentKiB()));
        shown.quit();
    });
    QTimer::singleShot(10000, &shown, &QEventLoop::quit);
    showApplicationWindows();
    shown.exec();
    if (!reported)
        return 1;
    if (!QTest::qWaitFor([] { return FRM_Prog != nullptr; }) || !writeLine(reportFd, "dialog"))
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

struct Run {
    double shownMs = 0, readyMs = 0, cpuMs = 0;
    long rssKiB = 0;
};

// One start of a bench_startup program (this one, or another build of it) in its child mode.
bool startOnce(const char* program, Run& run) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(program, program, "--child", fd.c_str(), nullptr);
        _exit(127);
    }
    close(fds[1]);
    auto since = [&start] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    };
    FILE* reports = fdopen(fds[0], "r");
    char line[128] = {};
    bool ok = reports != nullptr && std::fgets(line, sizeof line, reports) != nullptr;
    if (ok) {
        char* end = nullptr;
        run.cpuMs = std::strtod(line, &end);
        run.rssKiB = std::strtol(end, &end, 10);
        ok = *end == '\n';
    }
    run.shownMs = since();
    ok = ok && std::fgets(line, sizeof line, reports) != nullptr;
    run.readyMs = since();
    if (reports != nullptr)
        std::fclose(reports);
    else
        close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void summary(const char* program, std::vector<Run>& runs) {
    auto median = [&runs](double Run::*field) {
        std::vector<double> values;
        values.reserve(runs.size());
        for (const Run& run : runs)
            values.push_back(run.*field);
        std::sort(values.begin(), values.end());
        return std::array<double, 3>{values[values.size() / 2], values.front(), values.back()};
    };
    const auto shown = median(&Run::shownMs);
    const auto cpu = median(&Run::cpuMs);
    const auto ready = median(&Run::readyMs);
    std::printf("%s: start-up to the main window's first frame over %zu runs: median %.1f ms "
                "(min %.1f, max %.1f), CPU %.1f ms; programming dialog ready: median %.1f ms; "
                "resident memory then %ld KiB\n",
                program, runs.size(), shown[0], shown[1], shown[2], cpu[0], ready[0],
                runs.back().rssKiB);
}

} // namespace

// Usage: bench_startup [runs] [other-bench_startup]. With a second program (a bench_startup
// built from another version) both start in turn, A B A B, and each gets its own line.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv, static_cast<int>(std::strtol(argv[2], nullptr, 10)));
    if (argc == 2 && std::strcmp(argv[1], "--send") == 0)
        return send(argc, argv);

    const int runs =
        argc > 1 ? std::max(1, static_cast<int>(std::strtol(argv[1], nullptr, 10))) : 20;
    std::vector<const char*> programs{"/proc/self/exe"};
    if (argc > 2)
        programs.push_back(argv[2]);
    std::vector<std::vector<Run>> results(programs.size());
    for (int n = 0; n < runs; ++n) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            Run run;
            if (!startOnce(programs[p], run)) {
                std::fprintf(stderr, "%s, run %d: the window was not shown\n", programs[p], n);
                return 1;
            }
            results[p].push_back(run);
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p)
        summary(p == 0 ? argv[0] : programs[p], results[p]);
    return 0;
}

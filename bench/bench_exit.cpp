// SPDX-License-Identifier: GPL-3.0-or-later
// Exit time: from the main window closing to the end of the process, when nothing is sending,
// over repeated runs: right after start-up, after the file dialog was shown and after a send
// through ALSA (its file plugin). Usage: bench_exit [runs]. Runs on the platform
// QT_QPA_PLATFORM names (offscreen if unset); under Xvfb with xcb it takes the desktop's way.
#include "TApplication.h"
#include "UNT_Bleeper.h"
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/AlsaCapture.h"

#include <QFileDialog>
#include <QTest>
#include <QTimer>
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

int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The child: runs as main() does; before closing the window it reports the moment.
int child(int argc, char** argv, const std::string& before, int reportFd) {
    UNT_Bleeper::initBleeper();
    TApplication application(argc, argv);
    createApplicationWindows();
    FRM_Main->show();
    if (!QTest::qWaitForWindowExposed(FRM_Main))
        return 1;
    if (before == "dialog") {
        QTimer::singleShot(300, [] {
            if (auto* dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        FRM_Main->BTN_Open->click();
    } else if (before == "send") {
        FRM_Prog->SetProgTones(TProgTones{2400, 1160, 1400, 1160, 1270, 1830, 1060, 1160, 1270});
        FRM_Prog->show();
        FRM_Prog->BTN_Go->click();
        if (!QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000))
            return 1;
        FRM_Prog->close();
    }
    QTimer::singleShot(100, [reportFd] {
        const std::string at = std::to_string(nowNs()) + "\n";
        if (write(reportFd, at.data(), at.size()) < 0)
            std::_Exit(1);
        FRM_Main->close();
    });
    const int result = TApplication::exec();
    destroyApplicationWindows();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv, argv[2], std::atoi(argv[3]));

    testsupport::AlsaCapture capture; // the sends play into a file
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    for (const char* before : {"idle", "dialog", "send"}) {
        std::vector<double> ms;
        for (int run = 0; run < runs; ++run) {
            int fds[2];
            if (pipe(fds) != 0)
                return 1;
            const pid_t pid = fork();
            if (pid == 0) {
                close(fds[0]);
                const std::string fd = std::to_string(fds[1]);
                execl("/proc/self/exe", argv[0], "--child", before, fd.c_str(), nullptr);
                _exit(127);
            }
            close(fds[1]);
            char buffer[64] = {};
            const ssize_t got = read(fds[0], buffer, sizeof buffer - 1);
            close(fds[0]);
            int status = 0;
            waitpid(pid, &status, 0);
            const int64_t ended = nowNs();
            if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::fprintf(stderr, "%s, run %d: the child failed\n", before, run);
                return 1;
            }
            ms.push_back(double(ended - std::atoll(buffer)) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("window closed to process ended, %s, over %d runs: median %.1f ms, max %.1f "
                    "ms\n",
                    before, runs, ms[ms.size() / 2], ms.back());
    }
    return 0;
}

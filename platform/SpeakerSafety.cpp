// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeakerSafety.h"

#include "SpeakerDevices.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

// Read by the signal handler, so lock-free atomics and nothing else. The descriptor is set
// before the kind and the kind cleared first, so the handler never pairs a kind with a stale fd.
std::atomic<int> armedKind{static_cast<int>(SpeakerOffKind::None)};
std::atomic<int> armedFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int terminationSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    speakerOffNow();
    errno = savedErrno;
    // SA_RESETHAND has restored the default action: raised again, the signal ends the program
    // as it would have without us (exit status, core dump for SIGQUIT) once the handler returns.
    raise(signal);
}

void offAtExit() {
    speakerOffNow();
}

} // namespace

void armSpeakerOff(SpeakerOffKind kind, int fd) {
    armedKind.store(static_cast<int>(SpeakerOffKind::None));
    armedFd.store(fd);
    armedKind.store(static_cast<int>(kind));
}

void disarmSpeakerOff(SpeakerOffKind kind, int fd) {
    if (armedKind.load() == static_cast<int>(kind) && armedFd.load() == fd) {
        armedKind.store(static_cast<int>(SpeakerOffKind::None));
        armedFd.store(-1);
    }
}

void speakerOffNow() {
    const auto kind = static_cast<SpeakerOffKind>(armedKind.load());
    const int fd = armedFd.load();
    switch (kind) {
    case SpeakerOffKind::EventDevice:
        speakerIo::writeTone(fd, 0);
        break;
    case SpeakerOffKind::Console:
        speakerIo::consoleSound(fd, 0);
        break;
    case SpeakerOffKind::Ports:
        speakerIo::portsSpeakerOff();
        break;
    case SpeakerOffKind::None:
        break;
    }
}

void installSpeakerOffOnExit() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit(offAtExit);
        for (const int signal : terminationSignals) {
            struct sigaction previous {};
            if (sigaction(signal, nullptr, &previous) != 0 ||
                (previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL) {
                continue;
            }
            struct sigaction action {};
            action.sa_handler = onTerminationSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND | SA_RESTART;
            sigaction(signal, &action, nullptr);
        }
    });
}

} // namespace platform

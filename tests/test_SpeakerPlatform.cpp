// SPDX-License-Identifier: GPL-3.0-or-later
// The speaker platform layer: the tick count, the real devices' wire format and the switch-off
// at exit and on termination signals.
#include "support/ScriptedTickSource.h"
#include "SpeakerDevices.h"
#include "SpeakerSafety.h"
#include "TickCount.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <linux/input.h>
#include <new>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

TEST(TickCount, MicrosBetweenCountsAcrossTheWrap) {
    struct Row {
        TickReading a, b;
        int64_t ns;
    };
    for (const Row& row : {Row{{0xFFFF'FFFF, 900'000}, {0, 100'000}, 200'000},
                           Row{{0xFFFF'FFF0, 0}, {0x10, 0}, 32'000'000},
                           Row{{5, 999'999}, {6, 0}, 1}, Row{{42, 7}, {42, 7}, 0}}) {
        EXPECT_EQ(nanosBetween(row.a, row.b), row.ns) << row.a.ms << " -> " << row.b.ms;
    }
    ScriptedTickSource clock{0xFFFF'FFFF};
    clock.advance(1500);
    EXPECT_EQ(clock.now(), (TickReading{0, 500'000}));
}

TEST(TickCount, IsTheMonotonicClockInMillisecondsModulo2To32) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
    const uint32_t tick = tickCount();
    EXPECT_LE(static_cast<uint32_t>(tick - static_cast<uint32_t>(ms)), 2u);
    const TickReading before = systemTickSource().read();
    systemTickSource().sleepFor(20'000);
    const int64_t slept = nanosBetween(before, systemTickSource().read());
    EXPECT_GE(slept, 20'000'000);
    EXPECT_LT(slept, 200'000'000);
}

std::vector<input_event> readEvents(int fd) {
    std::vector<input_event> events;
    input_event event{};
    while (read(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
        events.push_back(event);
    }
    return events;
}

struct Pipe {
    Pipe() {
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        close(fds[0]);
        if (fds[1] >= 0) {
            close(fds[1]);
        }
    }
    int release() { return std::exchange(fds[1], -1); }
    int fds[2] = {-1, -1};
};

TEST(EventDevice, WritesOneSoundToneEventPerChangeAndSwitchesOffWhenClosed) {
    Pipe pipe;
    {
        EventToneDevice device{pipe.release()};
        device.toneOn(1000);
        device.toneOn(2400);
        device.toneOff();
        device.toneOn(825);
    }
    const auto events = readEvents(pipe.fds[0]);
    std::vector<int> values;
    for (const input_event& e : events) {
        EXPECT_EQ(e.type, EV_SND);
        EXPECT_EQ(e.code, SND_TONE);
        values.push_back(e.value);
    }
    EXPECT_EQ(values, (std::vector<int>{1000, 2400, 0, 825, 0}));
}

TEST(Detection, FilesWithoutTheCapabilityAreNotTakenForASpeaker) {
    char path[] = "/tmp/zuvela-speaker-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    close(file);
    const std::vector<std::string> notDevices{"/nonexistent/event0", "/dev/null", path};
    EXPECT_EQ(EventToneDevice::open(notDevices), nullptr);
    EXPECT_EQ(ConsoleToneDevice::open(notDevices), nullptr);
    const SpeakerAccess access = openSpeaker({notDevices, notDevices, false});
    EXPECT_EQ(access.method, SpeakerMethod::Silent);
    EXPECT_NE(access.tone, nullptr);
    EXPECT_EQ(access.ports, nullptr);
    unlink(path);
}

TEST(Detection, ConsoleArgumentIsTheTimerDivisorAndZeroHertzStops) {
    struct Row {
        uint16_t frequency;
        uint32_t argument;
    };
    // The same clock as the ports' divisors: 1903 Hz divides 1193181 (627) but not 1193180.
    for (const Row& row : {Row{1000, 1193}, Row{20, 59659}, Row{5000, 238}, Row{0, 0},
                           Row{1, 1193181}, Row{1903, 627}}) {
        EXPECT_EQ(ConsoleToneDevice::soundArgument(row.frequency), row.argument) << row.frequency;
    }
}

// In a child: a tone left on an event device (a pipe here), then the program ends by `end`.
// The device is never destroyed, so only the exit and signal switch-off can silence it.
template <typename End> int childWithToneOn(int writeFd, End end, int ignoredSignal = 0) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (ignoredSignal) {
        signal(ignoredSignal, SIG_IGN);
    }
    alignas(EventToneDevice) static unsigned char storage[sizeof(EventToneDevice)];
    auto* device = new (storage) EventToneDevice(writeFd);
    installSpeakerOffOnExit();
    device->toneOn(1500);
    end();
    _exit(99); // not reached when `end` ends the program
}

TEST(SwitchOff, TheSpeakerIsSilencedWhenTheProgramEnds) {
    struct Row {
        const char* name;
        int signal;        // 0: normal exit
        int ignoredSignal; // the program ignores this one itself
        int exitCode;
    };
    for (const Row& row : {Row{"exit", 0, 0, 0}, Row{"SIGTERM", SIGTERM, 0, 0},
                           Row{"SIGINT", SIGINT, 0, 0}, Row{"SIGHUP", SIGHUP, 0, 0},
                           Row{"SIGQUIT", SIGQUIT, 0, 0}, Row{"ignored SIGHUP", 0, SIGHUP, 7}}) {
        SCOPED_TRACE(row.name);
        Pipe pipe;
        const int sent = row.signal ? row.signal : row.ignoredSignal;
        const int code = row.exitCode;
        const pid_t child = childWithToneOn(
            pipe.fds[1],
            [sent, code] {
                if (sent) {
                    raise(sent);
                }
                std::exit(code);
            },
            row.ignoredSignal);
        ASSERT_GT(child, 0);
        close(pipe.release());
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (row.signal) {
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            EXPECT_EQ(WTERMSIG(status), row.signal);
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << status;
            EXPECT_EQ(WEXITSTATUS(status), row.exitCode);
        }
        const auto events = readEvents(pipe.fds[0]);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].value, 1500);
        EXPECT_EQ(events[1].value, 0);
    }
}

} // namespace

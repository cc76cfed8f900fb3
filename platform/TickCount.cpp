// SPDX-License-Identifier: GPL-3.0-or-later
#include "TickCount.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {
constexpr uint64_t nsPerMs = 1'000'000;
} // namespace

// Nanoseconds, as the clock gives them, so that no rounding can make a wait end a hair early.
TickReading fromNanos(uint64_t ns) {
    const uint64_t ms = ns / nsPerMs;
    return {static_cast<uint32_t>(ms & 0xFFFF'FFFFu), static_cast<uint32_t>(ns % nsPerMs)};
}

namespace {

uint64_t monotonicNanos() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

class SystemTickSource final : public TickSource {
public:
    TickReading read() override { return fromNanos(monotonicNanos()); }

    void sleepFor(uint32_t microseconds) override {
        timespec request{static_cast<time_t>(microseconds / 1'000'000u),
                         static_cast<long>(microseconds % 1'000'000u) * 1000};
        timespec remaining{};
        // A signal cuts the sleep short; sleep the rest, the caller relies on the time passing.
        while (clock_nanosleep(CLOCK_MONOTONIC, 0, &request, &remaining) == EINTR) {
            request = remaining;
        }
    }
};

} // namespace

int64_t nanosBetween(TickReading a, TickReading b) {
    const uint32_t ms = b.ms - a.ms; // unsigned: the wrap of the tick count cancels out
    return static_cast<int64_t>(ms) * static_cast<int64_t>(nsPerMs) + static_cast<int64_t>(b.ns) -
           static_cast<int64_t>(a.ns);
}

uint32_t tickCount() {
    return fromNanos(monotonicNanos()).ms;
}

TickSource& systemTickSource() {
    static SystemTickSource source;
    return source;
}

} // namespace platform

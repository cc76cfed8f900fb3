// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The millisecond tick count: unsigned 32 bits that wrap around after 2^32 ms (about 49.7 days).
#include <cstdint>
#include <stdexcept>

namespace platform {

// One reading of the tick count, with how far into the current millisecond it was taken.
// The fraction lets a wait that starts in the middle of a millisecond still last its full time.
struct TickReading {
    uint32_t ms = 0; // the tick count
    uint32_t ns = 0; // nanoseconds into that millisecond, 0 ... 999999
    bool operator==(const TickReading&) const = default;
};

// Nanoseconds from a to b, b taken after a; the millisecond part wraps modulo 2^32.
int64_t nanosBetween(TickReading a, TickReading b);

struct ScriptedClockOverrun : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where waits get their time from: the system's clock in the program, a script in tests.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual TickReading read() = 0;
    // A reading for records (time stamps): it must not move a scripted clock.
    virtual TickReading peek() { return read(); }
    // Lets about this much time pass; the caller reads the tick count afterwards to see how much.
    virtual void sleepFor(uint32_t microseconds) = 0;
};

// The system's tick count, from CLOCK_MONOTONIC.
uint32_t tickCount();
TickSource& systemTickSource();

// A clock that only moves when it is read or slept on: every read costs readStepUs, every
// sleep exactly what was asked. Deterministic, so waits can be checked to the microsecond.
// Reading it after more than limitUs of its time throws ScriptedClockOverrun, so that a wait
// that runs away fails its test instead of hanging it.
class ScriptedTickSource : public TickSource {
public:
    static constexpr uint64_t defaultLimitUs = 600'000'000; // ten minutes

    explicit ScriptedTickSource(uint32_t startMs = 0, uint32_t readStepUs = 250,
                                uint64_t limitUs = defaultLimitUs);

    TickReading read() override;
    TickReading peek() override { return now(); }
    void sleepFor(uint32_t microseconds) override;

    TickReading now() const; // the time without moving it
    void advance(uint64_t microseconds) { elapsedUs_ += microseconds; }
    uint64_t elapsedUs() const { return elapsedUs_; }
    uint32_t reads() const { return reads_; }
    uint32_t sleeps() const { return sleeps_; }

private:
    uint64_t startUs_;
    uint32_t readStepUs_;
    uint64_t limitUs_;
    uint64_t elapsedUs_ = 0;
    uint32_t reads_ = 0;
    uint32_t sleeps_ = 0;
};

} // namespace platform

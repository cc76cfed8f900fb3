// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The millisecond tick count: unsigned 32 bits that wrap around after 2^32 ms (about 49.7 days).
#include <cstdint>

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

// Splits a nanosecond count into the wrapping 32-bit tick count and its fraction.
TickReading fromNanos(uint64_t ns);

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

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted tick count for tests of timed waits.
#include "TickCount.h"

#include <stdexcept>

namespace platform {

struct ScriptedClockOverrun : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

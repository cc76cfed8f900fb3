// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedTickSource.h"

namespace platform {

// A read must cost something, or a wait polling its last millisecond would never end.
ScriptedTickSource::ScriptedTickSource(uint32_t startMs, uint32_t readStepUs, uint64_t limitUs)
    : startUs_(static_cast<uint64_t>(startMs) * 1000u), readStepUs_(readStepUs ? readStepUs : 1),
      limitUs_(limitUs) {}

TickReading ScriptedTickSource::now() const {
    return fromNanos((startUs_ + elapsedUs_) * 1000u);
}

TickReading ScriptedTickSource::read() {
    if (elapsedUs_ > limitUs_) {
        throw ScriptedClockOverrun("the scripted clock ran past its limit");
    }
    const TickReading reading = now();
    ++reads_;
    elapsedUs_ += readStepUs_;
    return reading;
}

void ScriptedTickSource::sleepFor(uint32_t microseconds) {
    ++sleeps_;
    elapsedUs_ += microseconds;
}

} // namespace platform

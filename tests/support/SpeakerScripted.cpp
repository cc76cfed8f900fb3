// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SpeakerScripted.h"

namespace platform {

namespace {
// Control word fields: bits 7-6 select the counter, bits 5-4 how its count is loaded.
constexpr uint8_t counterOf(uint8_t control) {
    return control >> 6;
}
constexpr uint8_t accessOf(uint8_t control) {
    return (control >> 4) & 0x03;
}
constexpr uint8_t accessLowOnly = 1, accessHighOnly = 2;
} // namespace

ScriptedPorts::ScriptedPorts(TickSource& ticks, uint8_t systemControl)
    : ticks_(ticks), systemControl_(systemControl) {}

uint8_t ScriptedPorts::in(uint16_t port) {
    uint8_t value = 0xFF; // an unused port, or the write-only control port
    if (port == speakerPort::systemControl) {
        value = systemControl_;
    } else if (port == speakerPort::timer2Data) {
        value = static_cast<uint8_t>(divisor_.value_or(0) & 0xFF);
    } else if (port != speakerPort::timerControl) {
        ++foreign_;
    }
    accesses_.push_back({ticks_.peek(), false, port, value});
    return value;
}

void ScriptedPorts::out(uint16_t port, uint8_t value) {
    accesses_.push_back({ticks_.peek(), true, port, value});
    if (port == speakerPort::systemControl) {
        systemControl_ = value;
    } else if (port == speakerPort::timerControl) {
        if (counterOf(value) == 2 && accessOf(value) != 0) {
            // A new control word stops the counter until its count is loaded afresh.
            counter2Control_ = value;
            divisor_.reset();
            highNext_ = false;
        }
    } else if (port == speakerPort::timer2Data) {
        // Before any control word the counter is taken as the firmware leaves it: low, high.
        const uint8_t access = counter2Control_ ? accessOf(*counter2Control_) : 0;
        if (access == accessLowOnly) {
            divisor_ = value;
        } else if (access == accessHighOnly) {
            divisor_ = static_cast<uint16_t>(value << 8);
        } else if (!highNext_) {
            lowByte_ = value;
            highNext_ = true;
        } else {
            divisor_ = static_cast<uint16_t>(lowByte_ | (value << 8));
            highNext_ = false;
        }
    } else {
        ++foreign_;
    }
}

bool ScriptedToneService::toneOn(uint16_t frequency) {
    if (failAfter_ == 0)
        return false;
    if (failAfter_ > 0)
        --failAfter_;
    frequency_ = frequency;
    events_.push_back({ticks_.peek(), frequency});
    return true;
}

void ScriptedToneService::toneOff() {
    frequency_ = 0;
    events_.push_back({ticks_.peek(), 0});
}

} // namespace platform

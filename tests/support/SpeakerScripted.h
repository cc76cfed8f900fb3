// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scripted stand-ins for what a test machine cannot give: the three speaker ports and the
// kernel's tone service. Both record every call in order, stamped by an injected tick source.
#include "Speaker.h"
#include "TickCount.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

struct PortAccess {
    TickReading at;
    bool write = false;
    uint16_t port = 0;
    uint8_t value = 0;
};

// Port 0x61 keeps all eight bits as written; port 0x43 takes control words; counter 2 at
// port 0x42 loads its 16-bit count in the order the last control word for it chose, so a
// high byte written first ends up as the low byte, as on the chip.
class ScriptedPorts final : public SpeakerPorts {
public:
    explicit ScriptedPorts(TickSource& ticks, uint8_t systemControl = 0x30);

    uint8_t in(uint16_t port) override;
    void out(uint16_t port, uint8_t value) override;

    const std::vector<PortAccess>& accesses() const { return accesses_; }
    void clearAccesses() { accesses_.clear(); }
    uint8_t systemControl() const { return systemControl_; }
    std::optional<uint8_t> counter2Control() const { return counter2Control_; }
    // Counter 2's count once both bytes of it have arrived since the last control word.
    std::optional<uint16_t> divisor() const { return divisor_; }
    // Gate and data enable on, counter 2 counting: the speaker sounds.
    bool sounding() const { return (systemControl_ & 0x03) == 0x03 && divisor_.has_value(); }
    // Accesses to any port other than 0x42, 0x43 and 0x61.
    uint32_t foreignAccesses() const { return foreign_; }

private:
    TickSource& ticks_;
    std::vector<PortAccess> accesses_;
    uint8_t systemControl_;
    std::optional<uint8_t> counter2Control_;
    std::optional<uint16_t> divisor_;
    uint8_t lowByte_ = 0;
    bool highNext_ = false;
    uint32_t foreign_ = 0;
};

struct ToneEvent {
    TickReading at;
    uint16_t frequency = 0; // 0: switched off
    bool operator==(const ToneEvent&) const = default;
};

// A tone service that only records: on with a frequency, or off.
class ScriptedToneService final : public ToneService {
public:
    explicit ScriptedToneService(TickSource& ticks) : ticks_(ticks) {}

    bool toneOn(uint16_t frequency) override;
    void toneOff() override;
    // From this many more tones on, every tone fails to switch on (negative: none fails).
    void failAfter(int tones) { failAfter_ = tones; }

    const std::vector<ToneEvent>& events() const { return events_; }
    void clear() { events_.clear(); }
    bool sounding() const { return frequency_ != 0; }
    uint16_t frequency() const { return frequency_; }

private:
    TickSource& ticks_;
    std::vector<ToneEvent> events_;
    uint16_t frequency_ = 0;
    int failAfter_ = -1;
};

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted mixer layer for tests: devices described line by line, every call recorded and
// able to fail on demand, and control changes posted when a test moves a control.
#include "WaveMixer.h"
#include "support/WaveSimPlan.h"

#include <map>
#include <mutex>
#include <set>

namespace platform {

class WaveMixerSim final : public WaveMixer {
public:
    struct Control {
        uint32_t id;
        uint32_t type;
        std::vector<uint32_t> values; // per channel; a missing channel repeats the last
    };
    struct Line {
        uint32_t componentType;
        std::string name;
        uint32_t channels;
        std::vector<Control> controls;
    };
    struct Destination {
        Line line;
        std::vector<Line> sources;
    };
    struct Device {
        std::string name;
        std::vector<Destination> destinations;
    };
    enum class Call {
        GetDevCaps,
        Open,
        GetLineInfo,
        GetLineControls,
        GetControlDetails,
        SetControlDetails,
        Close
    };
    struct Record {
        Call call;
        WaveResult result;
        uintptr_t handle = 0;
        uint32_t id = 0;       // device, line or control
        unsigned channels = 0; // Get/SetControlDetails: values asked for or given
    };

    std::vector<Device> devices;

    // The next `times` calls of that kind (after `skip` successful ones) fail with `code`;
    // times < 0 fails every one from then on.
    void fail(Call call, WaveResult code, int times = 1, int skip = 0);
    // Stores new values of a control and posts its change to every device open on it.
    bool changeControl(uint32_t controlId, const std::vector<uint32_t>& values);
    // Posts a change notification for any identifier, known or not.
    void postChange(uint32_t controlId);

    std::vector<Record> calls() const;
    int count(Call call) const;
    size_t openHandles() const;
    HMixer lastHandle() const;

    unsigned getNumDevs() override;
    WaveResult getDevCaps(unsigned device, MixerCaps* caps) override;
    WaveResult open(HMixer* handle, unsigned device, WaveWindow* window, uint32_t flags) override;
    WaveResult getLineInfo(HMixer, MixerLine* line, uint32_t flags) override;
    WaveResult getLineControls(HMixer, uint32_t lineId,
                               std::vector<MixerControl>* controls) override;
    WaveResult getControlDetails(HMixer, uint32_t controlId, unsigned channels,
                                 uint32_t* values) override;
    // Stores the values (a control's values hold as many as given) and posts the change to
    // every device open on it, as changeControl does.
    WaveResult setControlDetails(HMixer, uint32_t controlId, unsigned channels,
                                 const uint32_t* values) override;
    WaveResult close(HMixer) override;

private:
    struct Open {
        unsigned device;
        WaveWindow* window;
    };
    WaveResult planned(Call call);
    const Line* findLine(unsigned device, uint32_t lineId) const;
    Control* findControl(unsigned device, uint32_t controlId, const Line** line);

    mutable std::mutex mutex_;
    FailurePlans<Call> plans_;
    std::vector<Record> calls_;
    std::map<uintptr_t, Open> open_;
    unsigned generation_ = 0;
};

} // namespace platform

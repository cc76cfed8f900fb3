// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WaveMixerSim.h"

#include <algorithm>

namespace platform {

namespace {
// Handles whose low 16 bits are not 0, so that truncating them is visible.
uintptr_t handleValue(unsigned generation) {
    return (uintptr_t(0x51) << 16) | (0x7000 + generation);
}
HMixer asHandle(uintptr_t value) {
    return reinterpret_cast<HMixer>(value);
}
uint32_t lineIdOf(uint32_t destination, uint32_t source) {
    return (destination << 16) | source;
}
constexpr uint32_t destinationSource = 0xFFFF; // the source part of a destination's line id

MixerLine describe(const WaveMixerSim::Line& line, uint32_t destination, uint32_t source,
                   uint32_t connections) {
    MixerLine info;
    info.dwDestination = destination;
    info.dwSource = source == destinationSource ? 0 : source;
    info.dwLineID = lineIdOf(destination, source);
    info.dwComponentType = line.componentType;
    info.cChannels = line.channels;
    info.cConnections = connections;
    info.cControls = static_cast<uint32_t>(line.controls.size());
    info.szShortName = line.name.substr(0, 15);
    info.szName = line.name;
    return info;
}
} // namespace

void WaveMixerSim::fail(Call call, WaveResult code, int times, int skip) {
    std::lock_guard lock(mutex_);
    plans_.fail(call, code, times, skip);
}

WaveResult WaveMixerSim::planned(Call call) {
    return plans_.next(call);
}

unsigned WaveMixerSim::getNumDevs() {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(devices.size());
}

WaveResult WaveMixerSim::getDevCaps(unsigned device, MixerCaps* caps) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::GetDevCaps);
    if (rc == MMSYSERR_NOERROR && device >= devices.size())
        rc = MMSYSERR_BADDEVICEID;
    if (rc == MMSYSERR_NOERROR && !caps)
        rc = MMSYSERR_INVALPARAM;
    calls_.push_back({Call::GetDevCaps, rc, 0, device});
    if (rc == MMSYSERR_NOERROR) {
        caps->szPname = devices[device].name;
        caps->cDestinations = static_cast<uint32_t>(devices[device].destinations.size());
    }
    return rc;
}

WaveResult WaveMixerSim::open(HMixer* handle, unsigned device, WaveWindow* window, uint32_t flags) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::Open);
    if (rc == MMSYSERR_NOERROR && device >= devices.size())
        rc = MMSYSERR_BADDEVICEID;
    if (rc == MMSYSERR_NOERROR &&
        (!handle || (flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW || !window))
        rc = MMSYSERR_INVALFLAG;
    calls_.push_back({Call::Open, rc, 0, device});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    const uintptr_t value = handleValue(++generation_);
    open_[value] = Open{device, window};
    calls_.back().handle = value;
    *handle = asHandle(value);
    return MMSYSERR_NOERROR;
}

const WaveMixerSim::Line* WaveMixerSim::findLine(unsigned device, uint32_t lineId) const {
    const uint32_t d = lineId >> 16;
    const uint32_t s = lineId & 0xFFFF;
    const auto& destinations = devices[device].destinations;
    if (d >= destinations.size())
        return nullptr;
    if (s == destinationSource)
        return &destinations[d].line;
    return s < destinations[d].sources.size() ? &destinations[d].sources[s] : nullptr;
}

WaveMixerSim::Control* WaveMixerSim::findControl(unsigned device, uint32_t controlId,
                                                 const Line** line) {
    auto search = [&](Line& l) -> Control* {
        for (Control& c : l.controls)
            if (c.id == controlId) {
                if (line)
                    *line = &l;
                return &c;
            }
        return nullptr;
    };
    for (Destination& d : devices[device].destinations) {
        if (Control* c = search(d.line))
            return c;
        for (Line& source : d.sources)
            if (Control* c = search(source))
                return c;
    }
    return nullptr;
}

WaveResult WaveMixerSim::getLineInfo(HMixer handle, MixerLine* line, uint32_t flags) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::GetLineInfo);
    const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (rc == MMSYSERR_NOERROR && it == open_.end())
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && !line)
        rc = MMSYSERR_INVALPARAM;
    const uint32_t d = line ? line->dwDestination : 0;
    const uint32_t s =
        flags == MIXER_GETLINEINFOF_SOURCE && line ? line->dwSource : destinationSource;
    if (rc == MMSYSERR_NOERROR && flags != MIXER_GETLINEINFOF_DESTINATION &&
        flags != MIXER_GETLINEINFOF_SOURCE)
        rc = MMSYSERR_INVALFLAG;
    const Line* found =
        rc == MMSYSERR_NOERROR ? findLine(it->second.device, lineIdOf(d, s)) : nullptr;
    if (rc == MMSYSERR_NOERROR && !found)
        rc = MIXERR_INVALLINE;
    calls_.push_back({Call::GetLineInfo, rc, reinterpret_cast<uintptr_t>(handle), lineIdOf(d, s)});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    const auto& destination = devices[it->second.device].destinations[d];
    *line =
        describe(*found, d, s, s == destinationSource ? uint32_t(destination.sources.size()) : 0);
    return MMSYSERR_NOERROR;
}

WaveResult WaveMixerSim::getLineControls(HMixer handle, uint32_t lineId,
                                         std::vector<MixerControl>* controls) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::GetLineControls);
    const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (rc == MMSYSERR_NOERROR && it == open_.end())
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && !controls)
        rc = MMSYSERR_INVALPARAM;
    const Line* line = rc == MMSYSERR_NOERROR ? findLine(it->second.device, lineId) : nullptr;
    if (rc == MMSYSERR_NOERROR && !line)
        rc = MIXERR_INVALLINE;
    calls_.push_back({Call::GetLineControls, rc, reinterpret_cast<uintptr_t>(handle), lineId});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    controls->clear();
    for (const Control& c : line->controls)
        controls->push_back({c.id, c.type, 0, 65535, {}});
    return MMSYSERR_NOERROR;
}

WaveResult WaveMixerSim::getControlDetails(HMixer handle, uint32_t controlId, unsigned channels,
                                           uint32_t* values) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::GetControlDetails);
    const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
    if (rc == MMSYSERR_NOERROR && it == open_.end())
        rc = MMSYSERR_INVALHANDLE;
    const Line* line = nullptr;
    const Control* control =
        rc == MMSYSERR_NOERROR ? findControl(it->second.device, controlId, &line) : nullptr;
    if (rc == MMSYSERR_NOERROR && !control)
        rc = MIXERR_INVALCONTROL;
    if (rc == MMSYSERR_NOERROR && (!values || channels == 0 || channels > line->channels))
        rc = MMSYSERR_INVALPARAM;
    calls_.push_back(
        {Call::GetControlDetails, rc, reinterpret_cast<uintptr_t>(handle), controlId, channels});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    for (unsigned i = 0; i < channels; ++i)
        values[i] = control->values.empty()      ? 0
                    : i < control->values.size() ? control->values[i]
                                                 : control->values.back();
    return MMSYSERR_NOERROR;
}

WaveResult WaveMixerSim::setControlDetails(HMixer handle, uint32_t controlId, unsigned channels,
                                           const uint32_t* values) {
    WaveResult rc;
    {
        std::lock_guard lock(mutex_);
        rc = planned(Call::SetControlDetails);
        const auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
        if (rc == MMSYSERR_NOERROR && it == open_.end())
            rc = MMSYSERR_INVALHANDLE;
        const Line* line = nullptr;
        const Control* control =
            rc == MMSYSERR_NOERROR ? findControl(it->second.device, controlId, &line) : nullptr;
        if (rc == MMSYSERR_NOERROR && !control)
            rc = MIXERR_INVALCONTROL;
        if (rc == MMSYSERR_NOERROR && (!values || channels == 0 || channels > line->channels))
            rc = MMSYSERR_INVALPARAM;
        calls_.push_back({Call::SetControlDetails, rc, reinterpret_cast<uintptr_t>(handle),
                          controlId, channels});
    }
    if (rc == MMSYSERR_NOERROR)
        changeControl(controlId, std::vector<uint32_t>(values, values + channels));
    return rc;
}

WaveResult WaveMixerSim::close(HMixer handle) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::Close);
    if (rc == MMSYSERR_NOERROR && !open_.contains(reinterpret_cast<uintptr_t>(handle)))
        rc = MMSYSERR_INVALHANDLE;
    calls_.push_back({Call::Close, rc, reinterpret_cast<uintptr_t>(handle)});
    if (rc == MMSYSERR_NOERROR)
        open_.erase(reinterpret_cast<uintptr_t>(handle));
    return rc;
}

bool WaveMixerSim::changeControl(uint32_t controlId, const std::vector<uint32_t>& values) {
    std::vector<std::pair<uintptr_t, WaveWindow*>> targets;
    {
        std::lock_guard lock(mutex_);
        bool found = false;
        for (unsigned device = 0; device < devices.size(); ++device)
            if (Control* c = findControl(device, controlId, nullptr)) {
                c->values = values;
                found = true;
                for (const auto& [h, o] : open_)
                    if (o.device == device)
                        targets.emplace_back(h, o.window);
            }
        if (!found)
            return false;
    }
    for (const auto& [h, window] : targets)
        window->post(MM_MIXM_CONTROL_CHANGE, h, controlId);
    return true;
}

void WaveMixerSim::postChange(uint32_t controlId) {
    std::vector<std::pair<uintptr_t, WaveWindow*>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [h, o] : open_)
            targets.emplace_back(h, o.window);
    }
    for (const auto& [h, window] : targets)
        window->post(MM_MIXM_CONTROL_CHANGE, h, controlId);
}

std::vector<WaveMixerSim::Record> WaveMixerSim::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int WaveMixerSim::count(Call call) const {
    std::lock_guard lock(mutex_);
    return int(std::count_if(calls_.begin(), calls_.end(),
                             [call](const Record& r) { return r.call == call; }));
}

size_t WaveMixerSim::openHandles() const {
    std::lock_guard lock(mutex_);
    return open_.size();
}

HMixer WaveMixerSim::lastHandle() const {
    std::lock_guard lock(mutex_);
    return asHandle(handleValue(generation_));
}

} // namespace platform

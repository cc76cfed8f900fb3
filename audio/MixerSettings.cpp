// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include <QSocketNotifier>

#include <algorithm>

using namespace platform;

TMixerSettings::TMixerSettings(TAudio* owner) : FOwner(owner) {
    FMixerWindow = new TMessageWindow([this](unsigned msg, uintptr_t wParam, uintptr_t lParam) {
        if (msg == MM_MIXM_CONTROL_CHANGE)
            controlChange(wParam, lParam);
    });
}

TMixerSettings::~TMixerSettings() {
    close();
    releaseLines();
    delete FMixerWindow;
}

void TMixerSettings::close() {
    FEventNotifiers.clear();
    if (FHandle)
        FOwner->waveMixer().close(FHandle);
    FHandle = nullptr;
}

// The device's changes are read on this thread whenever the layer's descriptors are ready;
// the layer posts them to the mixer window, so they reach OnMixerChange in order.
void TMixerSettings::watchEvents() {
    for (const pollfd& fd : FOwner->waveMixer().eventDescriptors(FHandle)) {
        for (const auto& [events, type] : {std::pair{POLLIN, QSocketNotifier::Read},
                                           std::pair{POLLOUT, QSocketNotifier::Write}}) {
            if (!(fd.events & events))
                continue;
            auto notifier = std::make_unique<QSocketNotifier>(fd.fd, type);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, FMixerWindow, [this] {
                if (!FOwner->waveMixer().handleEvents(FHandle))
                    for (const auto& n : FEventNotifiers)
                        n->setEnabled(false);
            });
            FEventNotifiers.push_back(std::move(notifier));
        }
    }
}

void TMixerSettings::releaseLines() {
    while (FLines) {
        TMixDetails* next = FLines->Next;
        delete FLines;
        FLines = next;
    }
}

bool TMixerSettings::Open(int32_t device) {
    WaveMixer& mixer = FOwner->waveMixer();
    // A device change leaves nothing of the previous device behind.
    close();
    releaseLines();
    if (mixer.getNumDevs() == 0)
        return false;
    const auto number = static_cast<unsigned>(device);
    MixerCaps caps;
    mixer.getDevCaps(number, &caps);
    if (mixer.open(&FHandle, number, FMixerWindow, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        FHandle = nullptr;
        return false;
    }
    watchEvents();
    FLines = new TMixDetails;
    FLines->Name = QString::fromLocal8Bit(caps.szPname);
    if (caps.cDestinations == 0)
        return false;
    TMixDetails* current = FLines;
    for (uint32_t d = 0; d < caps.cDestinations; ++d) {
        MixerLine line;
        line.dwDestination = d;
        if (mixer.getLineInfo(FHandle, &line, MIXER_GETLINEINFOF_DESTINATION) != MMSYSERR_NOERROR)
            return false;
        const bool speakers = line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        current = addLine(current, line, speakers);
        for (uint32_t s = 0; s < line.cConnections; ++s) {
            MixerLine source;
            source.dwDestination = d;
            source.dwSource = s;
            if (mixer.getLineInfo(FHandle, &source, MIXER_GETLINEINFOF_SOURCE) != MMSYSERR_NOERROR)
                return false;
            current = addLine(current, source, speakers);
        }
    }
    return true;
}

TMixDetails* TMixerSettings::addLine(TMixDetails* previous, const MixerLine& line, bool speakers) {
    auto* r = new TMixDetails;
    previous->Next = r;
    // A source line numbers on from the record before it; every record names its destination.
    r->Destination = static_cast<uint16_t>(line.dwDestination);
    r->Source = previous->Destination == r->Destination ? uint16_t(previous->Source + 1) : 0;
    r->Name = QString::fromLocal8Bit(line.szName);
    r->IsSpeakers = speakers;
    r->LineFlags = 0x80;
    if (line.cControls == 0)
        return r;
    WaveMixer& mixer = FOwner->waveMixer();
    std::vector<MixerControl> controls;
    if (mixer.getLineControls(FHandle, line.dwLineID, &controls) != MMSYSERR_NOERROR)
        return r;
    const unsigned channels = std::max(1u, line.cChannels);
    std::vector<uint32_t> values(channels);
    for (const MixerControl& c : controls) {
        switch (c.dwControlType) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
            if (mixer.getControlDetails(FHandle, c.dwControlID, channels, values.data()) !=
                MMSYSERR_NOERROR)
                break;
            r->VolumeControlID = c.dwControlID;
            r->VolumeLeft = static_cast<uint16_t>(values[0]);
            if (channels == 1) {
                r->UniformVolume = true;
                r->LineFlags |= 0x40;
            } else {
                r->VolumeRight = static_cast<uint16_t>(values[1]);
            }
            r->HasControls = true;
            break;
        case MIXERCONTROL_CONTROLTYPE_MUTE:
            if (mixer.getControlDetails(FHandle, c.dwControlID, 1, values.data()) !=
                    MMSYSERR_NOERROR ||
                r->MuteControlID != 0xFFFF)
                break;
            r->MuteControlID = c.dwControlID;
            r->Muted = values[0] != 0;
            r->HasControls = true;
            r->LineFlags &= 0x7F;
            break;
        case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
            if (mixer.getControlDetails(FHandle, c.dwControlID, channels, values.data()) !=
                MMSYSERR_NOERROR)
                break;
            r->MeterControlID = c.dwControlID;
            r->MeterChannels = channels == 1 ? 1 : 2;
            break;
        default:
            break;
        }
    }
    return r;
}

TMixDetails* TMixerSettings::findLine(uint16_t destination, uint16_t source) const {
    // The device record (0xFFFF, 0xFFFF) is no line.
    for (TMixDetails* line = FLines ? FLines->Next : nullptr; line; line = line->Next)
        if (line->Destination == destination && line->Source == source)
            return line;
    return nullptr;
}

const TMixDetails* TMixerSettings::Line(uint16_t destination, uint16_t source) const {
    return findLine(destination, source);
}

bool TMixerSettings::ReadLine(uint16_t destination, uint16_t source) {
    TMixDetails* line = findLine(destination, source);
    if (!line || !FHandle || !line->HasControls)
        return false;
    WaveMixer& mixer = FOwner->waveMixer();
    bool ok = true;
    if (line->VolumeControlID != 0xFFFF) {
        uint32_t values[2] = {0, 0};
        const unsigned channels = line->UniformVolume ? 1 : 2;
        if (mixer.getControlDetails(FHandle, line->VolumeControlID, channels, values) ==
            MMSYSERR_NOERROR) {
            line->VolumeLeft = static_cast<uint16_t>(values[0]);
            if (!line->UniformVolume)
                line->VolumeRight = static_cast<uint16_t>(values[1]);
        } else {
            ok = false;
        }
    }
    if (line->MuteControlID != 0xFFFF) {
        uint32_t value = 0;
        if (mixer.getControlDetails(FHandle, line->MuteControlID, 1, &value) == MMSYSERR_NOERROR)
            line->Muted = value != 0;
        else
            ok = false;
    }
    return ok;
}

bool TMixerSettings::SetVolume(uint16_t destination, uint16_t source, uint16_t left,
                               uint16_t right) {
    TMixDetails* line = findLine(destination, source);
    if (!line || !FHandle || line->VolumeControlID == 0xFFFF)
        return false;
    const uint32_t values[2] = {left, right};
    if (FOwner->waveMixer().setControlDetails(FHandle, line->VolumeControlID,
                                              line->UniformVolume ? 1 : 2,
                                              values) != MMSYSERR_NOERROR)
        return false;
    line->VolumeLeft = left;
    if (!line->UniformVolume)
        line->VolumeRight = right;
    return true;
}

bool TMixerSettings::SetMuted(uint16_t destination, uint16_t source, bool muted) {
    TMixDetails* line = findLine(destination, source);
    if (!line || !FHandle || line->MuteControlID == 0xFFFF)
        return false;
    const uint32_t value = muted ? 1 : 0;
    if (FOwner->waveMixer().setControlDetails(FHandle, line->MuteControlID, 1, &value) !=
        MMSYSERR_NOERROR)
        return false;
    line->Muted = muted;
    return true;
}

void TMixerSettings::controlChange(uintptr_t wParam, uintptr_t lParam) {
    // A change posted by a device closed since is not this device's.
    if (!FAvailable || !FOwner->OnMixerChange || wParam != reinterpret_cast<uintptr_t>(FHandle))
        return;
    FOwner->OnMixerChange(this, static_cast<uint16_t>(wParam), static_cast<uint16_t>(lParam));
    for (const TMixDetails* line = FLines; line; line = line->Next)
        if (line->VolumeControlID == lParam || line->MuteControlID == lParam) {
            FOwner->OnMixerChange(this, line->Destination, line->Source);
            break;
        }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ALSA side of the mixer layer: mixer device n is the n-th sound card (or the n-th
// control device named to alsaWaveMixerOn), and its simple mixer elements are laid out as
// lines. Destination 0 is the playback side (speakers): its own line is the "Master"
// element, its sources the other playback elements. Destination 1 is the capture side: its
// own line is the "Capture" element, its sources the other capture elements. An element
// with a volume has a volume control, one with a switch a mute control (muted = switch
// off); ALSA offers no peak meters. Control identifiers are numbered from 1 in line order
// when the device is opened and stay while it is open.
#include "WaveMixer.h"

#include <string>
#include <vector>

namespace platform {

// What the layout needs to know of one element.
struct AlsaMixerElement {
    std::string name;
    unsigned index = 0;
    bool playbackVolume = false;
    bool playbackSwitch = false;
    unsigned playbackChannels = 0;
    bool captureVolume = false;
    bool captureSwitch = false;
    unsigned captureChannels = 0;
};

struct AlsaMixerControl {
    uint32_t id;
    uint32_t type; // MIXERCONTROL_CONTROLTYPE_VOLUME or _MUTE
};

struct AlsaMixerLine {
    std::string name;
    uint32_t componentType = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
    unsigned channels = 2;
    int element = -1; // index into the element list; -1 for a side without its own element
    bool capture = false;
    std::vector<AlsaMixerControl> controls;
};

struct AlsaMixerDestination {
    AlsaMixerLine line;
    std::vector<AlsaMixerLine> sources;
};

// The two destinations of a device with these elements (in ALSA's order).
std::vector<AlsaMixerDestination> alsaMixerLayout(const std::vector<AlsaMixerElement>& elements);

} // namespace platform

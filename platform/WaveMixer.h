// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mixer layer: devices with destination lines, each fed by source lines; every line has
// controls identified by number, whose values are read per channel. A device opened with a
// window posts MM_MIXM_CONTROL_CHANGE (wParam the device, lParam the control identifier) to
// it when a control's value changes.
#include "WaveOut.h"
#include "WaveWindow.h"

#include <poll.h>

#include <memory>
#include <string>
#include <vector>

namespace platform {

struct MixerDevice; // opaque, one per open device
using HMixer = MixerDevice*;

constexpr WaveResult MIXERR_INVALLINE = 1024;
constexpr WaveResult MIXERR_INVALCONTROL = 1025;

// Line component types.
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;

// Control types.
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

// getLineInfo: which line the request names.
constexpr uint32_t MIXER_GETLINEINFOF_DESTINATION = 0;
constexpr uint32_t MIXER_GETLINEINFOF_SOURCE = 1;

struct MixerCaps {
    std::string szPname; // product name
    uint32_t cDestinations = 0;
};

struct MixerLine {
    uint32_t dwDestination = 0;
    uint32_t dwSource = 0; // of a source line: 0 .. cConnections - 1 of its destination
    uint32_t dwLineID = 0;
    uint32_t dwComponentType = 0;
    uint32_t cChannels = 0;
    uint32_t cConnections = 0; // of a destination: its source lines
    uint32_t cControls = 0;
    std::string szShortName;
    std::string szName;
};

struct MixerControl {
    uint32_t dwControlID = 0;
    uint32_t dwControlType = 0;
    int32_t lMinimum = 0;
    int32_t lMaximum = 0;
    std::string szName;
};

class WaveMixer {
public:
    virtual ~WaveMixer() = default;
    virtual unsigned getNumDevs() = 0;
    virtual WaveResult getDevCaps(unsigned device, MixerCaps* caps) = 0;
    // flags must name CALLBACK_WINDOW; the window receives the control changes.
    virtual WaveResult open(HMixer* handle, unsigned device, WaveWindow* window,
                            uint32_t flags) = 0;
    // line->dwDestination (and for MIXER_GETLINEINFOF_SOURCE line->dwSource) name the line;
    // the rest is filled in.
    virtual WaveResult getLineInfo(HMixer, MixerLine* line, uint32_t flags) = 0;
    // Every control of the line, in order.
    virtual WaveResult getLineControls(HMixer, uint32_t lineId,
                                       std::vector<MixerControl>* controls) = 0;
    // The control's value for each of `channels` channels (1 up to the line's channel count).
    virtual WaveResult getControlDetails(HMixer, uint32_t controlId, unsigned channels,
                                         uint32_t* values) = 0;
    // Sets the control's value for each of `channels` channels, as getControlDetails reads
    // them (a volume 0..65535, a mute control 1 for muted). The change is posted to the device's
    // window like anyone else's.
    virtual WaveResult setControlDetails(HMixer, uint32_t controlId, unsigned channels,
                                         const uint32_t* values) = 0;
    virtual WaveResult close(HMixer) = 0;

    // The descriptors that tell of the device's control changes, with the events to wait
    // for; none when the layer posts its changes by itself. The owner watches them in its
    // event loop and calls handleEvents when one is ready.
    virtual std::vector<pollfd> eventDescriptors(HMixer) { return {}; }
    // Reads what is pending and posts a change for every control whose value moved. False
    // when the device is gone: its descriptors are not worth watching any longer.
    virtual bool handleEvents(HMixer) { return true; }
};

// The program's layer (ALSA's mixer of each sound card), one per process.
WaveMixer& alsaWaveMixer();
// An ALSA mixer layer over the named control devices (mixer device n is controls[n]), for
// a sound server's mixer, which is not a card.
std::unique_ptr<WaveMixer> alsaWaveMixerOn(std::vector<std::string> controls);
// The control device that holds an input's mixer: the card's ("hw:CARD=X") for the names of a
// card's own devices (hw:, plughw:, sysdefault:); for a sound server's source ("pulse:<name>")
// its own, and for every other input the server's default source's ("pulse:<default>"), whose
// "Capture" is that source's volume; ALSA's "default" where no server answers.
std::string alsaMixerControlOf(const std::string& input);

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sound server's sources (its inputs and the monitors of its outputs), asked for through
// the PulseAudio protocol, which PipeWire's PulseAudio layer speaks too. ALSA reaches one of
// them through its PulseAudio plugin as "pulse:<name>", for recording (pcm) and for its
// volume and switch (ctl, the "Capture" element). The PipeWire plugin's own control is never
// used for an input: for a monitor it sets the output's volume.
#include "WaveOutAlsa.h"

#include <string>
#include <vector>

namespace platform {

struct ServerSource {
    std::string name;        // "zuvela_sink.monitor"
    std::string description; // "Monitor of zuvela_sink"
    bool monitor = false;
};

// The server's sources in its order, with the name of its default source; none when no server
// answers within a second or ALSA has no PulseAudio plugin to reach them by.
struct ServerSources {
    std::vector<ServerSource> sources;
    std::string defaultSource;
};
ServerSources soundServerSources();

// The ALSA name of a source ("pulse:<name>"), and the source an ALSA name stands for (empty
// for a name that is none).
std::string alsaNameOfSource(const std::string& source);
std::string sourceOfAlsaName(const std::string& alsaName);

// The inputs worth offering for a recording: ALSA's capture devices by the rule for outputs (no
// "default", "null", bare "hw" or converter), then the server's sources by their descriptions.
std::vector<AlsaDevice> alsaCaptureDevices();

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ALSA side of the wave layer: what its device numbers stand for.
#include "WaveOut.h"

#include <string>
#include <vector>

namespace platform {

// ALSA's PCM names in enumeration order; device number n of the wave layer is entry n.
std::vector<std::string> alsaPlaybackDeviceNames();

// A playback PCM as `aplay -L` lists it: its name and its readable description (card name
// and device description from ALSA's hints, on one line; empty when ALSA has none).
struct AlsaDevice {
    std::string name;
    std::string description;
};
// In the wave layer's device order: entry n is device number n.
std::vector<AlsaDevice> alsaPlaybackDevices();
std::vector<std::string> alsaCaptureDeviceNames();
// Whether a playback PCM is worth offering as an output: it reaches a card, a sound server or a
// file. Not "default" (offered as such), "null", a card's "hw" (no conversion: it refuses the
// program's rate on most cards), nor a plugin that only converts for another device (rate,
// speex, upmix, vdownmix).
bool alsaOutputOffered(const std::string& name);

// Shared by the ALSA layers: ALSA's own messages on stderr are switched off once per process.
void silenceAlsa();
// The ALSA sample format (snd_pcm_format_t) of a format record, or SND_PCM_FORMAT_UNKNOWN.
int alsaSampleFormat(const WaveFormatEx& format);
// Underruns the output layer met since the process started (each ended its playback).
unsigned alsaUnderruns();

} // namespace platform

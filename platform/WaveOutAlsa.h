#pragma once
// The ALSA side of the wave layer: what its device numbers stand for.
#include <string>
#include <vector>

namespace platform {

// ALSA's PCM names in enumeration order; device number n of the wave layer is entry n.
std::vector<std::string> alsaPlaybackDeviceNames();
std::vector<std::string> alsaCaptureDeviceNames();

} // namespace platform

// SPDX-License-Identifier: GPL-3.0-or-later
// ALSA's PCM devices as the wave layers number and offer them, and what the ALSA layers share.
#include "SoundServer.h"
#include "WaveOutAlsa.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace platform {

namespace {
// ALSA prints its own errors on stderr by default; this program logs nothing.
// Variadic because ALSA's handler type is.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void silentErrorHandler(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void silenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentErrorHandler); });
}

int alsaSampleFormat(const WaveFormatEx& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels < 1 || format.nChannels > 2 ||
        format.nSamplesPerSec == 0)
        return SND_PCM_FORMAT_UNKNOWN;
    if (format.wBitsPerSample == 8 && format.nBlockAlign == format.nChannels)
        return SND_PCM_FORMAT_U8;
    if (format.wBitsPerSample == 16 && format.nBlockAlign == 2 * format.nChannels)
        return SND_PCM_FORMAT_S16_LE;
    return SND_PCM_FORMAT_UNKNOWN;
}

namespace {

std::vector<AlsaDevice> pcmDevices(const char* direction) {
    silenceAlsa();
    std::vector<AlsaDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return devices;
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* desc = snd_device_name_get_hint(*hint, "DESC");
        char* ioid = snd_device_name_get_hint(*hint, "IOID");
        // No IOID means both directions.
        if (name && (!ioid || std::string(ioid) == direction)) {
            std::string description = desc ? desc : "";
            // Card name and device description come as two lines.
            for (std::size_t at; (at = description.find('\n')) != std::string::npos;)
                description.replace(at, 1, ": ");
            devices.push_back({name, std::move(description)});
        }
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::vector<std::string> pcmNames(const char* direction) {
    std::vector<std::string> names;
    for (AlsaDevice& device : pcmDevices(direction))
        names.push_back(std::move(device.name));
    return names;
}

} // namespace

std::vector<AlsaDevice> alsaPlaybackDevices() {
    return pcmDevices("Output");
}

std::vector<std::string> alsaPlaybackDeviceNames() {
    return pcmNames("Output");
}

bool alsaOutputOffered(const std::string& name) {
    if (name == "default" || name.starts_with("default:") || name == "null" ||
        name.starts_with("hw:"))
        return false;
    silenceAlsa();
    if (snd_config_update() < 0)
        return true;
    snd_config_t* definition = nullptr;
    if (snd_config_search_definition(snd_config, "pcm", name.c_str(), &definition) < 0)
        return true; // not ours to judge
    std::string type;
    snd_config_t* node = nullptr;
    const char* text = nullptr;
    if (snd_config_search(definition, "type", &node) >= 0 &&
        snd_config_get_string(node, &text) >= 0)
        type = text;
    snd_config_delete(definition);
    static const std::set<std::string> converters = {"null", "rate", "speex", "upmix", "vdownmix"};
    return !converters.contains(type);
}

// The server's sources follow ALSA's own devices, so that the wave input opens them by number.
std::vector<std::string> alsaCaptureDeviceNames() {
    std::vector<std::string> names = pcmNames("Input");
    for (const ServerSource& source : soundServerSources().sources)
        names.push_back(alsaNameOfSource(source.name));
    return names;
}

std::vector<AlsaDevice> alsaCaptureDevices() {
    std::vector<AlsaDevice> devices;
    for (AlsaDevice& device : pcmDevices("Input"))
        if (alsaOutputOffered(device.name))
            devices.push_back(std::move(device));
    for (const ServerSource& source : soundServerSources().sources)
        devices.push_back({alsaNameOfSource(source.name), source.description});
    return devices;
}

} // namespace platform

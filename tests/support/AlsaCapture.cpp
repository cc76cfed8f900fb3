// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/AlsaCapture.h"
#include "support/SoundPriority.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

AlsaCapture::AlsaCapture(std::filesystem::path captureFile, const std::string& moreConfig) {
    raiseToSoundPriority();
    std::string pattern = (std::filesystem::temp_directory_path() / "zuvela-alsa-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary directory");
    dir_ = pattern;
    config_ = dir_ / "asound.conf";
    capture_ = captureFile.empty() ? dir_ / "capture.raw" : std::move(captureFile);
    input_ = dir_ / "input.raw";
    setInput({}); // a recording device does not open without it
    // The system's alsa.conf loads /etc/alsa/conf.d and ~/.asoundrc by a hook that runs after
    // this file is read, so a sound server's plugin there (pipewire-alsa, pulseaudio's) would
    // take "default" back; the hook is replaced by one that loads nothing.
    std::ofstream(config_) << "</usr/share/alsa/alsa.conf>\n"
                              "@hooks.!0 { func load files [ ] errors false }\n"
                              "pcm.!default {\n"
                              "    type file\n"
                              "    slave.pcm \"null\"\n"
                              "    file \""
                           << capture_.string()
                           << "\"\n"
                              "    infile \""
                           << input_.string()
                           << "\"\n"
                              "    format \"raw\"\n"
                              "}\n"
                              "pcm."
                           << unusablePcm
                           << " {\n"
                              "    type hw\n"
                              "    card 99\n"
                              "    hint { show on description \"never opens\" }\n"
                              "}\n";
    // Two named output devices with readable descriptions, as sound cards have them.
    for (const char* name : namedPcms) {
        std::ofstream(config_, std::ios::app)
            << "pcm." << name << " {\n"
            << "    type file\n    slave.pcm \"null\"\n    file \""
            << (dir_ / (std::string(name) + ".raw")).string() << "\"\n    format \"raw\"\n"
            << "    hint { show on description \"Zuvela Test Card, " << name << "\nOutput of "
            << name << "\" }\n}\n";
    }
    std::ofstream(config_, std::ios::app) << moreConfig;
    if (const char* old = std::getenv("ALSA_CONFIG_PATH")) {
        hadPrevious_ = true;
        previous_ = old;
    }
    setenv("ALSA_CONFIG_PATH", config_.c_str(), 1);
}

AlsaCapture::~AlsaCapture() {
    if (hadPrevious_)
        setenv("ALSA_CONFIG_PATH", previous_.c_str(), 1);
    else
        unsetenv("ALSA_CONFIG_PATH");
    // Drop ALSA's cached configuration, which names files about to go.
    snd_config_update_free_global();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::vector<uint8_t> AlsaCapture::readRaw() const {
    std::ifstream in(capture_, std::ios::binary);
    std::vector<uint8_t> raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The silence the output layer plays after a sound, until ALSA's position is past its end.
    while (raw.size() >= 2 && raw[raw.size() - 1] == 0 && raw[raw.size() - 2] == 0)
        raw.resize(raw.size() - 2);
    return raw;
}

std::vector<uint8_t> AlsaCapture::read() const {
    const std::vector<uint8_t> raw = readRaw();
    std::vector<uint8_t> samples;
    samples.reserve(raw.size() / 2);
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        // An 8-bit sample x was played as (x - 128) * 256: low byte 0.
        if (raw[i] != 0)
            throw std::runtime_error("captured sound is not widened 8-bit samples");
        samples.push_back(static_cast<uint8_t>(raw[i + 1] ^ 0x80));
    }
    return samples;
}

std::uintmax_t AlsaCapture::size() const {
    return readRaw().size() / 2;
}

void AlsaCapture::setInput(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(input_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::filesystem::path AlsaCapture::namedPcmFile(const std::string& name) const {
    return dir_ / (name + ".raw");
}

void AlsaCapture::clear() const {
    std::error_code ignored;
    std::filesystem::remove(capture_, ignored);
}

} // namespace testsupport

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real ALSA without a sound card: ALSA's "default" PCM becomes the file plugin over the null
// plugin, which writes every byte played to a file and, when recording, reads what is
// recorded from an input file (as fast as it is asked for). Also defines "zuvela_unusable",
// a PCM that never opens. The configuration includes the system's alsa.conf and is selected through
// ALSA_CONFIG_PATH, so the program's own ALSA code runs unchanged.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class AlsaCapture {
public:
    // Writes the configuration into a fresh temporary directory and points ALSA_CONFIG_PATH
    // at it; an empty captureFile means "capture.raw" beside it; moreConfig is appended to the
    // configuration. Create it before any thread uses ALSA; the previous ALSA_CONFIG_PATH
    // comes back on destruction.
    explicit AlsaCapture(std::filesystem::path captureFile = {},
                         const std::string& moreConfig = {});
    ~AlsaCapture();
    AlsaCapture(const AlsaCapture&) = delete;
    AlsaCapture& operator=(const AlsaCapture&) = delete;

    const std::filesystem::path& captureFile() const { return capture_; }
    const std::filesystem::path& configFile() const { return config_; }
    // The 8-bit samples played so far (each device open starts the file anew). The output
    // layer plays them widened to signed 16 bits; read() narrows them back and throws when a
    // sample is not such a widened one. readRaw() gives the bytes as ALSA received them, but
    // for the 16-bit zeros the layer plays after a sound (a sample 128 at the very end is
    // taken for them).
    std::vector<uint8_t> read() const;
    std::vector<uint8_t> readRaw() const;
    // Samples captured so far.
    std::uintmax_t size() const;
    void clear() const;

    // What the next recording device reads, from its start, at every open. Past its end the
    // plugin leaves the read area as it was.
    const std::filesystem::path& inputFile() const { return input_; }
    void setInput(const std::vector<uint8_t>& bytes) const;

    static constexpr const char* unusablePcm = "zuvela_unusable";
    // Output PCMs that capture into files of their own; described as "Zuvela Test Card, NAME"
    // with the device description "Output of NAME" in ALSA's hints.
    static constexpr const char* namedPcms[] = {"zuvela_cable", "zuvela_speakers"};
    std::filesystem::path namedPcmFile(const std::string& name) const;

private:
    std::filesystem::path dir_;
    std::filesystem::path config_;
    std::filesystem::path capture_;
    std::filesystem::path input_;
    bool hadPrevious_ = false;
    std::string previous_;
};

} // namespace testsupport

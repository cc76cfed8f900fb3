#include "support/AlsaCapture.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

AlsaCapture::AlsaCapture(std::filesystem::path captureFile) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zuvela-alsa-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary directory");
    dir_ = pattern;
    config_ = dir_ / "asound.conf";
    capture_ = captureFile.empty() ? dir_ / "capture.raw" : std::move(captureFile);
    input_ = dir_ / "input.raw";
    setInput({}); // a recording device does not open without it
    std::ofstream(config_) << "</usr/share/alsa/alsa.conf>\n"
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

std::vector<uint8_t> AlsaCapture::read() const {
    std::ifstream in(capture_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uintmax_t AlsaCapture::size() const {
    std::error_code ec;
    const auto n = std::filesystem::file_size(capture_, ec);
    return ec ? 0 : n;
}

void AlsaCapture::setInput(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(input_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void AlsaCapture::clear() const {
    std::error_code ignored;
    std::filesystem::remove(capture_, ignored);
}

} // namespace testsupport

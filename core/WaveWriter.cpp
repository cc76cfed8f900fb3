// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveWriter.h"

#include <limits>
#include <stdexcept>

namespace {

void put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((v >> shift) & 0xff));
}

} // namespace

std::string waveFileHeader(const PcmFormat& format, uint32_t riffLength, uint32_t dataLength) {
    const auto blockAlign = static_cast<uint16_t>(format.channels * (format.bitsPerSample / 8));
    std::string out;
    out.reserve(44);
    out += "RIFF";
    put32(out, riffLength);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, format.channels);
    put32(out, format.sampleRate);
    put32(out, format.sampleRate * blockAlign); // bytes per second
    put16(out, blockAlign);
    put16(out, format.bitsPerSample);
    out += "data";
    put32(out, dataLength);
    return out;
}

std::string waveFileBytes(const std::vector<uint8_t>& samples, uint32_t sampleRate) {
    const std::size_t pad = samples.size() % 2;
    if (samples.size() > std::numeric_limits<uint32_t>::max() - 36 - pad)
        throw std::length_error("too many samples for a wave file");
    const auto dataSize = static_cast<uint32_t>(samples.size());
    std::string out =
        waveFileHeader({1, 8, sampleRate}, static_cast<uint32_t>(36 + dataSize + pad), dataSize);
    out.reserve(44 + samples.size() + pad);
    out.append(samples.begin(), samples.end());
    if (pad != 0)
        out.push_back('\0');
    return out;
}

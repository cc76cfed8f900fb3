// SPDX-License-Identifier: GPL-3.0-or-later
#include "Recording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Larger files are not recordings of one sequence; the limit keeps memory bounded.
constexpr std::uintmax_t kMaxFileBytes = 512u << 20;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Format {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
};

Format parseFormat(const uint8_t* p, uint32_t size) {
    if (size < 16)
        throw RecordingError("Der fmt-Abschnitt der WAV-Datei ist zu kurz.");
    Format f{le16(p), le16(p + 2), le32(p + 4), le16(p + 12), le16(p + 14)};
    if (f.tag == kFormatExtensible) {
        // The real format is the first two bytes of the sub-format GUID at offset 24.
        if (size < 26)
            throw RecordingError("Der fmt-Abschnitt der WAV-Datei ist zu kurz.");
        f.tag = le16(p + 24);
    }
    if (f.tag != kFormatPcm && f.tag != kFormatFloat)
        throw RecordingError("Die WAV-Datei hat ein nicht unterstütztes Format (Kennung " +
                             std::to_string(f.tag) + "); lesbar sind PCM und Gleitkomma.");
    const bool bitsOk = f.tag == kFormatPcm
                            ? (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32)
                            : (f.bits == 32 || f.bits == 64);
    if (!bitsOk)
        throw RecordingError("Die WAV-Datei hat eine nicht unterstützte Sample-Breite von " +
                             std::to_string(f.bits) + " Bit.");
    if (f.channels == 0)
        throw RecordingError("Die WAV-Datei hat keine Kanäle.");
    if (f.rate == 0)
        throw RecordingError("Die WAV-Datei hat die Abtastrate 0.");
    if (f.blockAlign < static_cast<uint32_t>(f.channels) * (f.bits / 8))
        throw RecordingError("Die WAV-Datei hat eine ungültige Blockgröße (" +
                             std::to_string(f.blockAlign) + " Byte).");
    return f;
}

float sampleAt(const uint8_t* p, const Format& f) {
    if (f.tag == kFormatFloat) {
        double v;
        if (f.bits == 32) {
            const uint32_t bits = le32(p);
            float x;
            std::memcpy(&x, &bits, sizeof x);
            v = x;
        } else {
            const uint64_t bits = le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32;
            std::memcpy(&v, &bits, sizeof v);
        }
        // NaN and infinities carry no tone; clamp so that no sample dominates the rest.
        if (!std::isfinite(v))
            return 0;
        return static_cast<float>(std::clamp(v, -1.0, 1.0));
    }
    switch (f.bits) {
    case 8:
        return static_cast<float>((p[0] - 128) / 128.0);
    case 16:
        return static_cast<float>(static_cast<int16_t>(le16(p)) / 32768.0);
    case 24: {
        const uint32_t raw = p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16;
        return static_cast<float>((static_cast<int32_t>(raw << 8) >> 8) / 8388608.0);
    }
    default:
        return static_cast<float>(static_cast<int32_t>(le32(p)) / 2147483648.0);
    }
}

} // namespace

bool looksLikeWav(std::span<const uint8_t> bytes) {
    return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
           std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

Recording readWav(std::span<const uint8_t> bytes) {
    if (!looksLikeWav(bytes))
        throw RecordingError("Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt).");
    std::optional<Format> format;
    std::span<const uint8_t> data;
    bool haveData = false;
    // Chunks in any order; a chunk of odd size is followed by a pad byte. A size beyond the
    // end of the file is cut to what is there (writers that stream leave it unset).
    std::size_t pos = 12;
    while (bytes.size() - pos >= 8 && !(format && haveData)) {
        const uint8_t* header = bytes.data() + pos;
        const std::size_t available = bytes.size() - pos - 8;
        const std::size_t size = std::min<std::size_t>(le32(header + 4), available);
        const uint8_t* body = header + 8;
        if (std::memcmp(header, "fmt ", 4) == 0 && !format)
            format = parseFormat(body, static_cast<uint32_t>(size));
        else if (std::memcmp(header, "data", 4) == 0 && !haveData) {
            data = {body, size};
            haveData = true;
        }
        pos += 8 + size;
        if (size % 2 == 1 && pos < bytes.size())
            ++pos;
    }
    if (!format)
        throw RecordingError("Die WAV-Datei hat keinen fmt-Abschnitt.");
    if (!haveData)
        throw RecordingError("Die WAV-Datei hat keinen data-Abschnitt.");

    Recording recording;
    recording.sampleRate = format->rate;
    const std::size_t frames = data.size() / format->blockAlign;
    recording.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        recording.samples[i] = sampleAt(data.data() + i * format->blockAlign, *format);
    }
    if (recording.samples.empty())
        throw RecordingError("Die WAV-Datei enthält keine Abtastwerte.");
    return recording;
}

Recording readRaw8(std::span<const uint8_t> bytes, double sampleRate) {
    if (bytes.empty())
        throw RecordingError("Die Datei ist leer.");
    Recording recording;
    recording.sampleRate = sampleRate;
    recording.samples.reserve(bytes.size());
    for (uint8_t b : bytes)
        recording.samples.push_back(static_cast<float>((b - 128) / 128.0));
    return recording;
}

Recording readRecordingFile(const std::filesystem::path& file, double rawRate) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    const bool isDirectory = std::filesystem::is_directory(file, error);
    if (!in || isDirectory)
        throw RecordingError("Die Datei \"" + name + "\" kann nicht gelesen werden.");
    in.seekg(0, std::ios::end);
    const auto length = static_cast<std::uintmax_t>(std::max<std::streamoff>(in.tellg(), 0));
    if (length > kMaxFileBytes)
        throw RecordingError("Die Datei \"" + name + "\" ist zu groß für eine Aufnahme.");
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length)))
        throw RecordingError("Die Datei \"" + name + "\" kann nicht gelesen werden.");
    std::string extension = file.extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (looksLikeWav(bytes) || extension == ".wav")
        return readWav(bytes);
    return readRaw8(bytes, rawRate);
}

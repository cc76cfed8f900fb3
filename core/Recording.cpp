// SPDX-License-Identifier: GPL-3.0-or-later
#include "Recording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

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

namespace {

Recording readAll(RecordingReader& reader) {
    Recording recording;
    recording.sampleRate = reader.sampleRate();
    for (auto block = reader.next(); !block.empty(); block = reader.next())
        recording.samples.insert(recording.samples.end(), block.begin(), block.end());
    return recording;
}

} // namespace

Recording readWav(std::span<const uint8_t> bytes) {
    RecordingReader reader(bytes, true, 0);
    return readAll(reader);
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
    if (!in || std::filesystem::is_directory(file, error))
        throw RecordingError("Die Datei \"" + name + "\" kann nicht gelesen werden.");
    std::string extension = file.extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    RecordingReader reader(in, extension == ".wav", rawRate);
    Recording recording = readAll(reader);
    if (in.bad())
        throw RecordingError("Die Datei \"" + name + "\" kann nicht gelesen werden.");
    return recording;
}

// The calls the reader makes of its input, named and behaving as std::istream's.
class RecordingInput {
public:
    virtual ~RecordingInput() = default;
    virtual void read(char* to, std::streamsize count) = 0;
    virtual std::streamsize gcount() const = 0;
    virtual void ignore(std::streamsize count) = 0;
    virtual std::streamsize readsome(char* to, std::streamsize count) = 0;
    virtual void clear() = 0;
    virtual void seekg(std::streamoff to, std::ios_base::seekdir from = std::ios_base::beg) = 0;
    virtual std::streamoff tellg() = 0;
};

namespace {

class StreamInput final : public RecordingInput {
public:
    explicit StreamInput(std::istream& in) : in_(in) {}
    void read(char* to, std::streamsize count) override { in_.read(to, count); }
    std::streamsize gcount() const override { return in_.gcount(); }
    void ignore(std::streamsize count) override { in_.ignore(count); }
    std::streamsize readsome(char* to, std::streamsize count) override {
        return in_.readsome(to, count);
    }
    void clear() override { in_.clear(); }
    void seekg(std::streamoff to, std::ios_base::seekdir from) override { in_.seekg(to, from); }
    std::streamoff tellg() override { return in_.tellg(); }

private:
    std::istream& in_;
};

// Bytes in memory as an istream over them reads them: a read or skip past the end takes what
// is there and leaves the input failed (a skip only at its end) until clear(); a failed input
// neither reads, moves nor tells where it is.
class MemoryInput final : public RecordingInput {
public:
    explicit MemoryInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    void read(char* to, std::streamsize count) override {
        last_ = take(to, count);
        if (last_ < count)
            failed_ = ended_ = true;
    }
    std::streamsize gcount() const override { return last_; }
    void ignore(std::streamsize count) override {
        last_ = take(nullptr, count);
        if (last_ < count)
            ended_ = true;
    }
    std::streamsize readsome(char* to, std::streamsize count) override {
        return last_ = take(to, count);
    }
    void clear() override { failed_ = ended_ = false; }
    void seekg(std::streamoff to, std::ios_base::seekdir from) override {
        ended_ = false;
        const std::streamoff base = from == std::ios_base::end   ? std::streamoff(bytes_.size())
                                    : from == std::ios_base::cur ? std::streamoff(at_)
                                                                 : 0;
        if (failed_ || base + to < 0 || base + to > std::streamoff(bytes_.size()))
            failed_ = true;
        else
            at_ = std::size_t(base + to);
    }
    std::streamoff tellg() override { return good() ? std::streamoff(at_) : -1; }

private:
    // Whatever asks a failed or ended input fails it.
    bool good() {
        failed_ = failed_ || ended_;
        return !failed_;
    }
    std::streamsize take(char* to, std::streamsize count) {
        if (!good())
            return 0;
        const auto n =
            std::min<uint64_t>(uint64_t(std::max<std::streamsize>(count, 0)), bytes_.size() - at_);
        if (to != nullptr && n > 0) // an empty span's data() may be null
            std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return std::streamsize(n);
    }

    std::span<const uint8_t> bytes_;
    std::size_t at_ = 0;
    std::streamsize last_ = 0;
    bool failed_ = false, ended_ = false;
};

} // namespace

RecordingReader::RecordingReader(std::istream& in, bool wavByName, double rawRate)
    : RecordingReader(std::make_unique<StreamInput>(in), wavByName, rawRate) {}

RecordingReader::RecordingReader(std::span<const uint8_t> bytes, bool wavByName, double rawRate)
    : RecordingReader(std::make_unique<MemoryInput>(bytes), wavByName, rawRate) {}

RecordingReader::~RecordingReader() = default;

RecordingReader::RecordingReader(std::unique_ptr<RecordingInput> input, bool wavByName,
                                 double rawRate)
    : input_(std::move(input)), in_(*input_) {
    pending_.resize(12);
    in_.read(reinterpret_cast<char*>(pending_.data()), 12);
    pending_.resize(static_cast<std::size_t>(in_.gcount()));
    if (!looksLikeWav(pending_) && !wavByName) {
        if (pending_.empty())
            throw RecordingError("Die Datei ist leer.");
        rate_ = rawRate;
        tag_ = kFormatPcm;
        bits_ = 8;
        dataLeft_ = UINT64_MAX; // raw samples up to the end of the stream
        return;
    }
    if (!looksLikeWav(pending_))
        throw RecordingError("Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt).");
    pending_.clear();
    wav_ = true;

    // Chunks in any order; a chunk of odd size is followed by a pad byte. A stream is read front to
    // back, so a data chunk before the format is skipped and read again once the format is known,
    // which only a file can do.
    auto skip = [&](uint64_t bytes) { in_.ignore(static_cast<std::streamsize>(bytes)); };
    std::optional<Format> format;
    std::streamoff dataAt = -1;
    uint64_t dataSize = 0;
    bool haveData = false;
    while (!(format && haveData)) {
        uint8_t header[8];
        in_.read(reinterpret_cast<char*>(header), 8);
        if (in_.gcount() != 8)
            break;
        const uint32_t size = le32(header + 4);
        const uint64_t padded = uint64_t(size) + size % 2;
        if (std::memcmp(header, "fmt ", 4) == 0 && !format) {
            uint8_t body[64];
            const auto want = std::min<uint32_t>(size, sizeof body);
            in_.read(reinterpret_cast<char*>(body), want);
            format = parseFormat(body, static_cast<uint32_t>(in_.gcount()));
            skip(padded - want);
            if (haveData) {
                in_.clear();
                in_.seekg(dataAt);
                dataLeft_ = declared_ = dataSize;
            }
        } else if (std::memcmp(header, "data", 4) == 0 && !haveData) {
            haveData = true;
            dataSize = size;
            if (format) {
                dataLeft_ = declared_ = size;
                break;
            }
            dataAt = in_.tellg();
            if (dataAt < 0)
                throw RecordingError("Die WAV-Datei nennt ihr Format erst nach den Daten; so ist "
                                     "sie nur als Datei lesbar, nicht aus einer Pipe.");
            skip(padded);
        } else {
            skip(padded);
        }
    }
    if (!format)
        throw RecordingError("Die WAV-Datei hat keinen fmt-Abschnitt.");
    if (!haveData)
        throw RecordingError("Die WAV-Datei hat keinen data-Abschnitt.");
    rate_ = format->rate;
    tag_ = format->tag;
    bits_ = format->bits;
    blockAlign_ = format->blockAlign;
}

std::span<const float> RecordingReader::next() {
    const std::size_t want = blockFrames * blockAlign_;
    bytes_.assign(pending_.begin(), pending_.end());
    pending_.clear();
    for (;;) {
        if (dataLeft_ == 0 && wav_ && !ended_)
            lookBeyondData();
        if (bytes_.size() >= want || dataLeft_ == 0 || ended_)
            break;
        // Waits for a whole frame; beyond it takes only what has arrived.
        const bool wait = bytes_.size() < blockAlign_;
        const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(
            wait ? blockAlign_ - bytes_.size() : want - bytes_.size(), dataLeft_));
        const std::size_t old = bytes_.size();
        bytes_.resize(old + count);
        char* to = reinterpret_cast<char*>(bytes_.data() + old);
        std::size_t got = 0;
        if (wait) {
            in_.read(to, static_cast<std::streamsize>(count));
            got = static_cast<std::size_t>(in_.gcount());
            // A size beyond the end of the stream is cut to what is there.
            ended_ = got < count;
        } else {
            got = static_cast<std::size_t>(std::max<std::streamsize>(
                0, in_.readsome(to, static_cast<std::streamsize>(count))));
        }
        bytes_.resize(old + got);
        dataLeft_ -= got;
        dataRead_ += got;
        if (!wait && got == 0)
            break;
    }
    // A partial frame waits for the rest of it; at the end it is dropped.
    const std::size_t frames = bytes_.size() / blockAlign_;
    if (dataLeft_ > 0 && !ended_)
        pending_.insert(pending_.begin(), bytes_.begin() + std::ptrdiff_t(frames * blockAlign_),
                        bytes_.end());
    const Format format{tag_, 1, 0, blockAlign_, bits_};
    samples_.resize(frames);
    if (tag_ == kFormatPcm && bits_ == 16) {
        // What sound cards deliver most, without asking for the format at every sample.
        for (std::size_t i = 0; i < frames; ++i)
            samples_[i] = static_cast<float>(
                static_cast<int16_t>(le16(bytes_.data() + i * blockAlign_)) / 32768.0);
    } else {
        for (std::size_t i = 0; i < frames; ++i)
            samples_[i] = sampleAt(bytes_.data() + i * blockAlign_, format);
    }
    if (!started_ && frames == 0 && wav_)
        throw RecordingError("Die WAV-Datei enthält keine Abtastwerte.");
    started_ = true;
    return samples_;
}

// The declared data has been read: what follows is another chunk (an id of letters, digits or
// spaces and a size that fits), or more samples of a stream whose writer could not know its
// length. Fewer bytes than a chunk's header are neither.
void RecordingReader::lookBeyondData() {
    const std::size_t pad = declared_ % 2;
    uint8_t look[9];
    in_.read(reinterpret_cast<char*>(look), static_cast<std::streamsize>(8 + pad));
    const auto got = static_cast<std::size_t>(in_.gcount());
    ended_ = true;
    if (got < 8 + pad)
        return;
    const uint8_t* header = look + pad;
    const bool named = std::all_of(
        header, header + 4, [](uint8_t c) { return std::isalnum(c) != 0 || c == ' ' || c == '_'; });
    uint64_t room = uint64_t(1) << 24; // a stream's metadata is small
    const std::streamoff at = in_.tellg();
    if (at >= 0) {
        in_.seekg(0, std::ios::end);
        const std::streamoff end = in_.tellg();
        in_.seekg(at);
        if (end >= at)
            room = uint64_t(end - at);
    }
    if (named && le32(header + 4) <= room)
        return;
    ended_ = false;
    beyond_ = true;
    dataLeft_ = UINT64_MAX;
    dataRead_ += got;
    // As many bytes as the block has room for; the rest comes with the next one.
    const std::size_t space =
        blockFrames * blockAlign_ - std::min(bytes_.size(), blockFrames * blockAlign_);
    const std::size_t now = std::min(got, space);
    bytes_.insert(bytes_.end(), look, look + now);
    pending_.assign(look + now, look + got);
}

std::string RecordingReader::note() const {
    if (!beyond_)
        return {};
    auto seconds = [&](uint64_t bytes) {
        char text[32];
        const uint64_t frames = bytes / blockAlign_; // whole frames only
        std::snprintf(text, sizeof text, "%.2f", double(frames) / rate_);
        std::string s = text;
        std::replace(s.begin(), s.end(), '.', ',');
        return s + " s";
    };
    return "Die WAV-Datei hat mehr Daten, als ihr Kopf angibt: gelesen sind " + seconds(dataRead_) +
           " statt " + seconds(declared_) + ".";
}

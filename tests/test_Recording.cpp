// SPDX-License-Identifier: GPL-3.0-or-later
// The recording reader on WAV files built byte by byte: formats, chunk orders, bogus sizes.
#include "Recording.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <streambuf>
#include <tuple>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void chunk(Bytes& b, const char* id, const Bytes& body, uint32_t size) {
    b.insert(b.end(), id, id + 4);
    put32(b, size);
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 == 1)
        b.push_back(0);
}
void chunk(Bytes& b, const char* id, const Bytes& body) {
    chunk(b, id, body, uint32_t(body.size()));
}

Bytes fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int blockAlign = -1) {
    Bytes f;
    put16(f, tag);
    put16(f, channels);
    put32(f, rate);
    const uint16_t align = blockAlign >= 0 ? uint16_t(blockAlign) : uint16_t(channels * bits / 8);
    put32(f, rate * align);
    put16(f, align);
    put16(f, bits);
    return f;
}

Bytes extensible(uint16_t subformat, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes f = fmt(0xFFFE, channels, rate, bits);
    put16(f, 22);
    put16(f, bits);
    put32(f, channels == 1 ? 4 : 3);
    put16(f, subformat);
    const uint8_t rest[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    f.insert(f.end(), rest, rest + 14);
    return f;
}

Bytes riff(const Bytes& chunks) {
    Bytes b = {'R', 'I', 'F', 'F'};
    put32(b, uint32_t(chunks.size() + 4));
    b.insert(b.end(), {'W', 'A', 'V', 'E'});
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

Bytes wav(const Bytes& format, const Bytes& data) {
    Bytes c;
    chunk(c, "fmt ", format);
    chunk(c, "data", data);
    return riff(c);
}

// A stream that cannot seek, as a pipe is.
struct PipeBuffer : std::streambuf {
    explicit PipeBuffer(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }
    std::string text_;
};

Bytes floats(std::initializer_list<float> values) {
    Bytes b;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        put32(b, bits);
    }
    return b;
}

TEST(Recording, FormatsAndLayoutsGiveTheFirstChannel) {
    Bytes double64;
    for (double v : {-0.5, 0.125}) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        put32(double64, uint32_t(bits));
        put32(double64, uint32_t(bits >> 32));
    }
    Bytes dataFirst, padded, oversized, trailing, undersized, unlikeAChunk;
    {
        Bytes c;
        chunk(c, "data", {0x00, 0x40, 0x00, 0xC0});
        chunk(c, "fmt ", fmt(1, 1, 8000, 16));
        dataFirst = riff(c);
        Bytes p;
        chunk(p, "LIST", {'a', 'b', 'c'}); // odd size, then a pad byte
        chunk(p, "fmt ", fmt(1, 1, 11025, 8));
        chunk(p, "junk", {1, 2, 3, 4, 5});
        chunk(p, "data", {0, 128, 255});
        padded = riff(p);
        Bytes o;
        chunk(o, "fmt ", fmt(1, 1, 22050, 8));
        chunk(o, "data", {128, 192, 64, 128}, 0xFFFFFFFF); // size left unset by a streaming writer
        oversized = riff(o);
        // Another chunk after the data is no samples; more samples than declared are read, as
        // from a writer to a pipe that guessed the length.
        Bytes t;
        chunk(t, "fmt ", fmt(1, 1, 8000, 16));
        chunk(t, "data", {0x00, 0x40, 0x00, 0xC0, 0x00});
        chunk(t, "LIST", {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 4, 0, 0, 0, 's', 'o', 'x', 0});
        trailing = riff(t);
        Bytes u;
        chunk(u, "fmt ", fmt(1, 1, 8000, 16));
        chunk(u, "data", {0x00, 0x40, 0x00, 0xC0, 0, 0, 0, 0, 0, 0, 0, 0}, 2);
        undersized = riff(u);
        Bytes v;
        chunk(v, "fmt ", fmt(1, 1, 8000, 8));
        chunk(v, "data", {0x80, 0x80, 'L', 'I', 'S', 'T', 200, 200, 200, 200, 'I', 'N'}, 1);
        unlikeAChunk = riff(v);
    }
    struct Row {
        std::string name;
        Bytes bytes;
        double rate;
        std::vector<float> samples;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Row rows[] = {
        {"8-bit", wav(fmt(1, 1, 22050, 8), {128, 255, 0, 64}), 22050, {0, 127 / 128.f, -1, -0.5f}},
        {"16-bit stereo",
         wav(fmt(1, 2, 48000, 16), {0x00, 0x40, 0xFF, 0x7F, 0x00, 0x80, 1, 0}),
         48000,
         {0.5f, -1}},
        {"24-bit",
         wav(fmt(1, 1, 44100, 24), {0, 0, 0x40, 0, 0, 0x80, 0xFF, 0xFF, 0xFF}),
         44100,
         {0.5f, -1, -1 / 8388608.f}},
        {"32-bit", wav(fmt(1, 1, 96000, 32), {0, 0, 0, 0x80, 0, 0, 0, 0x20}), 96000, {-1, 0.25f}},
        {"float",
         wav(fmt(3, 1, 44100, 32), floats({0.25f, nan, 2.0f, -0.75f})),
         44100,
         {0.25f, 0, 1, -0.75f}},
        {"double stereo", wav(fmt(3, 2, 32000, 64), double64), 32000, {-0.5f}},
        {"extensible 16-bit", wav(extensible(1, 1, 48000, 16), {0x00, 0xC0}), 48000, {-0.5f}},
        {"extensible float", wav(extensible(3, 2, 44100, 32), floats({0.5f, 0.1f})), 44100, {0.5f}},
        {"data before fmt", dataFirst, 8000, {0.5f, -0.5f}},
        {"odd chunk with pad byte", padded, 11025, {-1, 0, 127 / 128.f}},
        {"data size beyond the end", oversized, 22050, {0, 0.5f, -0.5f, 0}},
        {"a chunk after the data", trailing, 8000, {0.5f, -0.5f}},
        {"data beyond the declared size", undersized, 8000, {0.5f, -0.5f, 0, 0, 0, 0}},
        {"data beyond the size, like a chunk's name but too long for one",
         unlikeAChunk,
         8000,
         {0, 0, -0.40625f, -0.4296875f, -0.3515625f, -0.34375f, 0.5625f, 0.5625f, 0.5625f, 0.5625f,
          -0.4296875f, -0.390625f}},
        {"partial last frame", wav(fmt(1, 2, 8000, 16), {0, 0x40, 0, 0, 0, 0x40}), 8000, {0.5f}},
    };
    for (const Row& r : rows) {
        try {
            const Recording rec = readWav(r.bytes);
            EXPECT_EQ(rec.sampleRate, r.rate) << r.name;
            EXPECT_EQ(rec.samples, r.samples) << r.name;
        } catch (const RecordingError& e) {
            ADD_FAILURE() << r.name << ": " << e.what();
        }
        // Block by block from a file, and from a pipe, which cannot go back to data that
        // came before the format.
        const std::string text(r.bytes.begin(), r.bytes.end());
        std::istringstream file(text);
        PipeBuffer pipe(text);
        std::istream piped(&pipe);
        for (std::istream* in : {static_cast<std::istream*>(&file), &piped}) {
            try {
                RecordingReader reader(*in, false, 8000);
                std::vector<float> samples;
                for (auto block = reader.next(); !block.empty(); block = reader.next())
                    samples.insert(samples.end(), block.begin(), block.end());
                EXPECT_EQ(reader.sampleRate(), r.rate) << r.name;
                EXPECT_EQ(samples, r.samples) << r.name;
                EXPECT_FALSE(in == &piped && r.name == "data before fmt");
            } catch (const RecordingError& e) {
                EXPECT_TRUE(in == &piped && r.name == "data before fmt") << r.name << e.what();
                EXPECT_STREQ(e.what(), "Die WAV-Datei nennt ihr Format erst nach den Daten; so "
                                       "ist sie nur als Datei lesbar, nicht aus einer Pipe.");
            }
        }
    }
}

TEST(Recording, BrokenFilesGiveAClearMessage) {
    Bytes noFmt, noData, hugeChunk;
    chunk(noFmt, "data", {1, 2});
    chunk(noData, "fmt ", fmt(1, 1, 8000, 8));
    chunk(hugeChunk, "LIST", {1, 2, 3, 4}, 0xFFFFFFF0);
    chunk(hugeChunk, "fmt ", fmt(1, 1, 8000, 8));
    Bytes shortFmt = fmt(1, 1, 8000, 8);
    shortFmt.resize(10);
    struct Row {
        std::string name;
        Bytes bytes;
        std::string message;
    };
    const Row rows[] = {
        {"empty", {}, "Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt)."},
        {"big-endian RIFX",
         {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
         "Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt)."},
        {"no fmt", riff(noFmt), "Die WAV-Datei hat keinen fmt-Abschnitt."},
        {"no data", riff(noData), "Die WAV-Datei hat keinen data-Abschnitt."},
        {"chunk larger than the file", riff(hugeChunk), "Die WAV-Datei hat keinen fmt-Abschnitt."},
        {"short fmt", wav(shortFmt, {1}), "Der fmt-Abschnitt der WAV-Datei ist zu kurz."},
        {"ADPCM", wav(fmt(2, 1, 8000, 4), {1}),
         "Die WAV-Datei hat ein nicht unterstütztes Format (Kennung 2); lesbar sind PCM und "
         "Gleitkomma."},
        {"12-bit", wav(fmt(1, 1, 8000, 12), {1, 2}),
         "Die WAV-Datei hat eine nicht unterstützte Sample-Breite von 12 Bit."},
        {"16-bit float", wav(fmt(3, 1, 8000, 16), {1, 2}),
         "Die WAV-Datei hat eine nicht unterstützte Sample-Breite von 16 Bit."},
        {"no channels", wav(fmt(1, 0, 8000, 16), {1, 2}), "Die WAV-Datei hat keine Kanäle."},
        {"rate 0", wav(fmt(1, 1, 0, 16), {1, 2}), "Die WAV-Datei hat die Abtastrate 0."},
        {"block too small", wav(fmt(1, 2, 8000, 16, 2), {1, 2, 3, 4}),
         "Die WAV-Datei hat eine ungültige Blockgröße (2 Byte)."},
        {"no samples", wav(fmt(1, 1, 8000, 16), {1}), "Die WAV-Datei enthält keine Abtastwerte."},
    };
    for (const Row& r : rows) {
        try {
            readWav(r.bytes);
            ADD_FAILURE() << r.name << ": read";
        } catch (const RecordingError& e) {
            EXPECT_EQ(std::string(e.what()), r.message) << r.name;
        }
    }
}

// Every cut of a valid file either reads or fails with a message; never beyond the bytes. Bytes
// in memory read as the same bytes in a stream do, to the sample and the message.
TEST(Recording, EveryTruncationIsReadSafely) {
    Bytes c;
    chunk(c, "LIST", {'x', 'y', 'z'});
    chunk(c, "data", Bytes(7, 0x22)); // before the format: read again once that is known
    chunk(c, "fmt ", extensible(1, 2, 44100, 24));
    chunk(c, "data", Bytes(60, 0x11));
    chunk(c, "LIST", {'x', 'y'});
    const Bytes full = riff(c);
    const auto outcome = [](auto&& read) {
        try {
            RecordingReader reader = read();
            std::vector<float> samples;
            for (auto block = reader.next(); !block.empty(); block = reader.next())
                samples.insert(samples.end(), block.begin(), block.end());
            return std::make_tuple(std::string(), reader.sampleRate(), samples, reader.note());
        } catch (const RecordingError& e) {
            return std::make_tuple(std::string(e.what()), 0.0, std::vector<float>(), std::string());
        }
    };
    for (std::size_t n = 0; n <= full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(n));
        try {
            const Recording r = readWav(cut);
            EXPECT_LE(r.samples.size(), 10u);
        } catch (const RecordingError&) {
        }
        std::istringstream stream(std::string(cut.begin(), cut.end()));
        EXPECT_EQ(outcome([&] { return RecordingReader(std::span(cut), true, 0); }),
                  outcome([&] { return RecordingReader(stream, true, 0); }))
            << n << " bytes";
    }
}

TEST(Recording, FilesAreReadByContentOrName) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zuvela-recording-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const Bytes& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return dir / name;
    };
    const Recording raw = readRecordingFile(write("play.raw", {127, 227, 27}), 8000);
    EXPECT_EQ(raw.sampleRate, 8000);
    EXPECT_EQ(raw.samples, (std::vector<float>{-1 / 128.f, 99 / 128.f, -101 / 128.f}));
    const Recording named = readRecordingFile(write("noext", wav(fmt(1, 1, 16000, 8), {0})));
    EXPECT_EQ(named.sampleRate, 16000);

    auto message = [](const std::filesystem::path& file) {
        try {
            readRecordingFile(file);
        } catch (const RecordingError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(message(write("fake.WAV", {127, 127})),
              "Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt).");
    EXPECT_EQ(message(write("empty.raw", {})), "Die Datei ist leer.");
    EXPECT_EQ(message(dir / "missing.wav"),
              "Die Datei \"" + (dir / "missing.wav").string() + "\" kann nicht gelesen werden.");
    EXPECT_EQ(message(dir), "Die Datei \"" + dir.string() + "\" kann nicht gelesen werden.");
    std::filesystem::remove_all(dir);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Settings rendered as the dialog sends them, decoded again: from the exact bytes, and from
// recordings degraded with sox as a sound card would deliver them.
#include "CallDecoder.h"
#include "SequenceDecoder.h"
#include "TestCall.h"
#include "ToneSequence.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace {

struct Timing {
    uint16_t toneLength = 100, tonePause = 30, blockPause = 700;
};

TToneTable toneTable() {
    TToneTable table;
    fillToneTable(table);
    return table;
}

std::vector<uint8_t> render(const ProgSettings& s, Timing t, uint8_t amplitude = 100) {
    const TProgTones tones = EncodeProgTones(s, toneTable());
    return renderSequence(toneSequence(tones, t.toneLength, t.tonePause, t.blockPause), amplitude);
}

// Random settings: addresses of digits (and now and then the twelfth tone), normalised as the
// window does, distinct, in random slots.
ProgSettings randomSettings(std::mt19937& random, uint8_t tonsys, int evaluator, int switchMode,
                            int lenMode) {
    ProgSettings s;
    s.tonsys = tonsys;
    s.evaluator = evaluator;
    s.switchMode = switchMode;
    s.lenMode = lenMode;
    const bool hasTwelfth = toneTable().tone(tonsys, kExtraToneIndex) != 0;
    do {
        for (AddressSlot& slot : s.addresses) {
            slot.checked = random() % 2 == 0;
            slot.text.clear();
            for (int k = 0; k < s.adresseLen(); ++k)
                slot.text +=
                    hasTwelfth && random() % 25 == 0 ? 'G' : static_cast<char>('0' + random() % 10);
            slot.text = normaliseRepeats(slot.text, s.adresseLen());
        }
    } while (checkAddresses(s.addresses, s.adresseLen()));
    return s;
}

// The settings the decoder can know: checked addresses move up, unchecked ones are empty.
ProgSettings asDecoded(ProgSettings s) {
    AddressSlots compact{};
    int next = 0;
    for (const AddressSlot& slot : s.addresses)
        if (slot.checked)
            compact[next++] = slot;
    s.addresses = compact;
    return s;
}

void expectSameSettings(const ProgSettings& expected, const DecodedSequence& d,
                        const std::string& what) {
    const TProgTones tones = EncodeProgTones(expected, toneTable());
    EXPECT_EQ(d.tones, tones) << what;
    const bool sameSystem = d.settings.tonsys == expected.tonsys;
    const bool listed = std::ranges::find(d.sameTones, expected.tonsys) != d.sameTones.end();
    EXPECT_TRUE(sameSystem || listed) << what << ": read as " << int(d.settings.tonsys);
    if (!sameSystem)
        return; // another system with the same tones, where 'R' and 'G' may trade places
    const ProgSettings e = asDecoded(expected);
    const ProgSettings& s = d.settings;
    EXPECT_EQ(s.toneLength(), e.toneLength()) << what;
    EXPECT_EQ(s.lenMode, e.lenMode) << what;
    EXPECT_EQ(s.evaluator, e.evaluator) << what;
    EXPECT_EQ(s.switchMode, e.switchMode) << what;
    EXPECT_EQ(s.adresseLen(), e.adresseLen()) << what;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.addresses[i].checked, e.addresses[i].checked) << what << " address " << i;
        EXPECT_EQ(s.addresses[i].text, e.addresses[i].text) << what << " address " << i;
    }
}

DecodedSequence decodeBytes(const std::vector<uint8_t>& bytes) {
    return decodeSequence(readRaw8(bytes, kSampleRate), toneTable());
}

TEST(SequenceDecoder, EverySystemEvaluatorModeAndToneLengthRoundTrips) {
    std::mt19937 random(740);
    int row = 0;
    for (uint8_t tonsys = 1; tonsys <= 7; ++tonsys)
        for (int evaluator = 1; evaluator <= 3; ++evaluator)
            for (int mode = 1; mode <= 4; ++mode)
                for (int lenMode = 1; lenMode <= 2; ++lenMode, ++row) {
                    const ProgSettings s = randomSettings(random, tonsys, evaluator, mode, lenMode);
                    const Timing t{static_cast<uint16_t>(40 + 10 * (row % 17)),
                                   static_cast<uint16_t>(10 + 10 * (row % 10)),
                                   static_cast<uint16_t>(500 + 100 * (row % 6))};
                    const std::string what = "row " + std::to_string(row) + ", system " +
                                             std::to_string(tonsys) + ", " +
                                             std::to_string(t.toneLength) + " ms";
                    try {
                        const DecodedSequence d = decodeBytes(render(s, t, 10 + 10 * (row % 10)));
                        expectSameSettings(s, d, what);
                        EXPECT_NEAR(d.toneLength, t.toneLength, 1.5) << what;
                        EXPECT_NEAR(d.tonePause, t.tonePause, 1.5) << what;
                        EXPECT_NEAR(d.blockPause, t.blockPause, 1.5) << what;
                    } catch (const DecodeError& e) {
                        ADD_FAILURE() << what << ": " << e.what();
                    }
                }
}

TEST(SequenceDecoder, SharedTonesAreReadAsTheLowestSystemAndTheOthersNamed) {
    struct Row {
        uint8_t tonsys;
        std::string address;
        uint8_t readAs;
        std::vector<uint8_t> sameTones;
    };
    const Row rows[] = {
        {2, "12345", 1, {2, 4}}, // rows 1, 2 and 4 share every digit tone
        {1, "1R234", 1, {2}},    // 2600 Hz is a repeat in rows 1 and 2 only
        {4, "1R234", 4, {2}},    // 970 Hz: repeat of ZVEI F, or the twelfth tone of row 2
        {1, "1G234", 1, {}},     // 2800 Hz belongs to row 1 alone
        {5, "12345", 3, {5}},    {5, "1G234", 5, {}}, {6, "12345", 6, {}}, {7, "12345", 7, {}},
    };
    for (const Row& r : rows) {
        ProgSettings s;
        s.tonsys = r.tonsys;
        s.addresses[0] = {true, r.address};
        const DecodedSequence d = decodeBytes(render(s, {}));
        EXPECT_EQ(d.settings.tonsys, r.readAs) << int(r.tonsys) << " " << r.address;
        EXPECT_EQ(d.sameTones, r.sameTones) << int(r.tonsys) << " " << r.address;
        EXPECT_EQ(d.tones, EncodeProgTones(s, toneTable()));
    }
}

// What the tones become between the dialog and a recording; sox does it as a sound card would.
class Degraded : public ::testing::Test {
protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zuvela-decoder-" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void sox(const std::string& arguments) {
        const std::string command = "sox -q " + arguments + " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // Resampled to rate, 16-bit, at -20 dB, played at speed, then through sox's further effects;
    // white noise 20 dB below the tones and 50 Hz hum at the tones' own level mixed in.
    Recording degrade(const std::vector<uint8_t>& bytes, int rate, double speed,
                      const std::string& effects = "") {
        const std::string raw = (dir / "sent.raw").string(), tones = (dir / "tones.wav").string(),
                          noise = (dir / "noise.wav").string(), hum = (dir / "hum.wav").string(),
                          out = (dir / "recorded.wav").string();
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const double seconds = double(bytes.size()) / kSampleRate + 1.5;
        const std::string format = " -r " + std::to_string(rate) + " -b 16 -c 1 ";
        sox("-t raw -r 22050 -e unsigned -b 8 -c 1 " + raw + format + tones + " speed " +
            std::to_string(speed) + " rate " + std::to_string(rate) + " vol -20dB pad 0.5 0.5 " +
            effects);
        // The tones' RMS is 0.78 / sqrt 2 / 10 = 0.055; uniform noise of peak x has RMS x / sqrt 3.
        sox("-n" + format + noise + " synth " + std::to_string(seconds) + " whitenoise vol 0.0095");
        sox("-n" + format + hum + " synth " + std::to_string(seconds) + " sine 50 vol 0.078");
        sox("-m -v 1 " + tones + " -v 1 " + noise + " -v 1 " + hum + format + out);
        return readRecordingFile(out);
    }
};

TEST_F(Degraded, RecordingsAsASoundCardDeliversThemDecode) {
    struct Row {
        uint8_t tonsys;
        int evaluator;
        Timing timing;
        int rate;
        double speed;
    };
    const Row rows[] = {
        {1, 1, {40, 10, 500}, 44100, 1.005},  {7, 2, {40, 10, 500}, 48000, 0.995},
        {6, 3, {100, 30, 700}, 48000, 1.005}, {3, 1, {70, 20, 600}, 44100, 0.995},
        {4, 1, {40, 10, 500}, 48000, 1.0},    {5, 2, {200, 100, 1000}, 44100, 1.005},
    };
    std::mt19937 random(52);
    for (const Row& r : rows) {
        const ProgSettings s =
            randomSettings(random, r.tonsys, r.evaluator, 1 + random() % 4, 1 + random() % 2);
        const std::string what = "system " + std::to_string(r.tonsys) + " at " +
                                 std::to_string(r.rate) + " Hz, speed " + std::to_string(r.speed);
        try {
            const DecodedSequence d =
                decodeSequence(degrade(render(s, r.timing), r.rate, r.speed), toneTable());
            expectSameSettings(s, d, what);
            EXPECT_NEAR(d.toneLength, r.timing.toneLength / r.speed, 2) << what;
        } catch (const std::runtime_error& e) {
            ADD_FAILURE() << what << ": " << e.what();
        }
    }
}

// The test call as a receiver's recording would hold it, read as two calls: where each starts,
// the address and the systems that carry it; a band-pass as narrow as a radio channel's.
TEST_F(Degraded, TestCallsAreReadAsTwoCallsWithAddressAndSystem) {
    struct Row {
        uint8_t tonsys;
        const char* address;
        int rate;
        double speed;
        const char* effects;
    };
    const Row rows[] = {
        {1, "57434", 48000, 1.02, ""},           {3, "1R0G9", 48000, 0.98, "sinc 300-3000"},
        {6, "12R45", 44100, 0.98, ""},           {7, "G9R8", 48000, 1.02, "sinc 300-3000"},
        {4, "5R7", 48000, 1.0, "sinc 300-3000"}, {2, "0G0R1", 48000, 0.98, "sinc 300-3000"},
    };
    for (const Row& r : rows) {
        const std::string what = std::string(r.address) + " in system " + std::to_string(r.tonsys) +
                                 ", speed " + std::to_string(r.speed) + " " + r.effects;
        const uint16_t length = toneLengthMs(toneLengthButtonFor(r.tonsys));
        const std::vector<uint8_t> call =
            renderTestCall({r.address, r.tonsys, length, 100, false}, toneTable());
        const std::vector<DecodedCall> calls =
            findCalls(findTones(degrade(call, r.rate, r.speed, r.effects)), toneTable());
        ASSERT_EQ(calls.size(), 2u) << what;
        const double callSeconds = std::strlen(r.address) * length / 1000.0;
        for (std::size_t i = 0; i < 2; ++i) {
            const double start = 0.5 + (0.6 + double(i) * (callSeconds + 0.6)) / r.speed;
            EXPECT_NEAR(calls[i].start, start, 0.003) << what;
            EXPECT_NEAR(calls[i].toneLength, length / r.speed, 3) << what;
            const auto reading = std::ranges::find_if(
                calls[i].readings, [&](const CallReading& c) { return c.address == r.address; });
            ASSERT_NE(reading, calls[i].readings.end()) << what;
            EXPECT_NE(std::ranges::find(reading->systems, r.tonsys), reading->systems.end())
                << what;
        }
    }
}

// Tones as loud as the noise of a radio channel (white noise in 300-3400 Hz, 0 dB), also 2 %
// off speed: every call is read with its address, and a programming sequence with its settings.
TEST_F(Degraded, TonesAsLoudAsTheChannelsNoiseAreReadAsCallsAndAsASequence) {
    const std::string noiseFile = (dir / "band-noise.wav").string();
    sox("-R -n -r 48000 -b 16 -c 1 " + noiseFile + " synth 12 whitenoise sinc 300-3400");
    const Recording noise = readRecordingFile(noiseFile);
    // The tones' RMS (0.055, see degrade) in the noise's.
    auto buried = [&](const std::vector<uint8_t>& bytes, double speed) {
        Recording r = degrade(bytes, 48000, speed);
        double power = 0;
        for (float v : noise.samples)
            power += double(v) * v;
        const double gain = 0.055 / std::sqrt(power / double(noise.samples.size()));
        for (std::size_t i = 0; i < r.samples.size() && i < noise.samples.size(); ++i)
            r.samples[i] += float(gain * noise.samples[i]);
        return r;
    };
    const struct {
        uint8_t tonsys;
        const char* address;
        double speed;
    } rows[] = {{1, "57434", 1.02}, {3, "1R0G9", 0.98}, {6, "12R45", 1.0}, {7, "G9R8", 0.98}};
    for (const auto& r : rows) {
        const std::string what = std::string(r.address) + " in system " + std::to_string(r.tonsys);
        const uint16_t length = toneLengthMs(toneLengthButtonFor(r.tonsys));
        const std::vector<DecodedCall> calls = findCalls(
            findTones(buried(renderTestCall({r.address, r.tonsys, length, 100, false}, toneTable()),
                             r.speed)),
            toneTable());
        ASSERT_EQ(calls.size(), 2u) << what;
        for (const DecodedCall& call : calls)
            EXPECT_NE(std::ranges::find(call.readings, r.address, &CallReading::address),
                      call.readings.end())
                << what;
    }
    ProgSettings s;
    s.addresses = {{{true, "57434"}, {false, ""}, {true, "9R0R9"}, {false, ""}}};
    expectSameSettings(s, decodeSequence(buried(render(s, {70, 20, 600}), 1.02), toneTable()),
                       "sequence");
}

// What is no call yields none: hum, speech-like sound, a programming sequence, a call whose
// tones are too long for every system.
TEST_F(Degraded, WhatIsNoCallYieldsNone) {
    const std::string hum = (dir / "hum-only.wav").string(), speech = (dir / "speech.wav").string();
    sox("-n -r 48000 -b 16 -c 1 " + hum + " synth 20 sine 50 sine 150 sine 250 vol 0.3");
    const std::string noise = (dir / "noise-only.wav").string();
    sox("-n -r 48000 -b 16 -c 1 " + noise + " synth 60 whitenoise sinc 300-3400 tremolo 0.5 60");
    // Voiced glides with formants, in syllables.
    sox("-n -r 48000 -b 16 -c 1 " + speech +
        " synth 20 sawtooth 110-220 sawtooth 700-1200 sine 1500-2500 tremolo 4 90 vol 0.3");
    ProgSettings s;
    s.addresses = {{{true, "57434"}, {true, "12345"}, {}, {}}};
    const std::vector<uint8_t> slowCall =
        renderTestCall({"12345", 1, 150, 100, false}, toneTable());
    struct Row {
        std::string name;
        Recording recording;
    };
    const Row rows[] = {
        {"hum", readRecordingFile(hum)},
        {"speech", readRecordingFile(speech)},
        {"the noise of a channel", readRecordingFile(noise)},
        {"programming sequence", degrade(render(s, {40, 10, 500}), 48000, 1.0)},
        {"tones of 150 ms", degrade(slowCall, 48000, 1.0)},
    };
    for (const Row& r : rows)
        EXPECT_TRUE(findCalls(findTones(r.recording), toneTable()).empty()) << r.name;
}

// Block by block, in stretches that overlap: the same tones as the whole recording, also for a
// sequence across the edge between two stretches; and at the rates of sound cards, which are
// analysed at a fraction of their rate, the tones of the recording at the program's own rate.
TEST(SequenceDecoder, ReadingInBlocksFindsWhatTheWholeRecordingHolds) {
    ProgSettings s;
    s.addresses = {{{true, "57434"}, {true, "1R0G9"}, {true, "24680"}, {}}};
    const std::vector<uint8_t> sequence = render(s, {});
    std::vector<uint8_t> bytes(45 * kSampleRate, 127);
    std::copy(sequence.begin(), sequence.end(), bytes.begin() + 11 * kSampleRate);
    const std::vector<FoundTone> own = findTones(readRaw8(bytes, kSampleRate));
    for (const double rate : {double(kSampleRate), 48000.0, 44100.0}) {
        // Resampled as a sound card's converter would, between neighbouring samples.
        Recording whole{rate, {}};
        for (std::size_t i = 0; double(i) * kSampleRate / rate + 1 < double(bytes.size()); ++i) {
            const double at = double(i) * kSampleRate / rate;
            const auto k = static_cast<std::size_t>(at);
            whole.samples.push_back(
                float((bytes[k] + (at - double(k)) * (bytes[k + 1] - bytes[k]) - 128) / 128.0));
        }
        const std::vector<FoundTone> expected = findTones(whole);
        // Single samples at the program's rate; at the others, blocks that end inside the
        // samples of one analysed sample.
        const std::vector<std::size_t> blocks = rate == kSampleRate
                                                    ? std::vector<std::size_t>{1, 997, 65536}
                                                    : std::vector<std::size_t>{997, 65536};
        for (const std::size_t block : blocks) {
            ToneFinder finder(rate);
            std::vector<FoundTone> found;
            for (std::size_t at = 0; at < whole.samples.size(); at += block) {
                finder.push(std::span(whole.samples)
                                .subspan(at, std::min(block, whole.samples.size() - at)));
                const auto more = finder.take();
                found.insert(found.end(), more.begin(), more.end());
            }
            finder.finish();
            const auto more = finder.take();
            found.insert(found.end(), more.begin(), more.end());
            ASSERT_EQ(found.size(), expected.size()) << rate << " Hz, " << block;
            for (std::size_t i = 0; i < found.size(); ++i) {
                EXPECT_EQ(found[i].start, expected[i].start) << block << " tone " << i;
                EXPECT_EQ(found[i].frequency, expected[i].frequency) << block << " tone " << i;
            }
        }
        ASSERT_EQ(expected.size(), own.size()) << rate << " Hz";
        for (std::size_t i = 0; i < own.size(); ++i) {
            EXPECT_NEAR(expected[i].start, own[i].start, 0.0002) << rate << " Hz, tone " << i;
            EXPECT_NEAR(expected[i].length, own[i].length, 0.0002) << rate << " Hz, tone " << i;
            EXPECT_NEAR(expected[i].frequency, own[i].frequency, 0.01) << rate << " Hz, tone " << i;
        }
        expectSameSettings(s, decodeSequence(expected, toneTable()), "from 11 s");
    }
}

TEST(SequenceDecoder, TonesThatAreNoSequenceAreReportedWithWhereTheyStop) {
    ProgSettings two;
    two.addresses = {{{true, "57434"}, {true, "12345"}, {}, {}}};
    const std::vector<uint8_t> full = render(two, {});
    const std::size_t blockA = 6 * 2867 + 30208; // six tones and pauses, then 2 B - P
    const std::size_t block = 5 * 2867;

    auto replaced = [&](std::size_t at, uint16_t frequency) {
        std::vector<uint8_t> bytes = full;
        std::vector<uint8_t> tone;
        appendToneSamples(frequency, 100, 100, tone);
        std::copy(tone.begin(), tone.end(), bytes.begin() + std::ptrdiff_t(at));
        return bytes;
    };
    struct Row {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    const Row rows[] = {
        {"silence", std::vector<uint8_t>(44100, 127), "keine Töne"},
        {"cut after B I",
         {full.begin(), full.begin() + std::ptrdiff_t(blockA + block)},
         "Block A kündigt 2 Rufadressen an, gefunden ist 1; nach 2,77 s folgt kein Block B II."},
        {"Block A short",
         {full.begin() + 2867, full.end()},
         "Block A ab 0,00 s hat 5 Töne statt 6."},
        {"foreign tone", replaced(blockA + 2 * 2867, 1100),
         "Block B I, Ton 3 (2,41 s, 1100 Hz) ist kein Ton von ZVEI 1."},
        {"equal tones", replaced(blockA + 2867, 1530), "zwei gleiche Töne hintereinander (55434)"},
        {"evaluator", replaced(3 * 2867, 1060),
         "Block A, Ton 4 (0,39 s, 1060 Hz) ist kein gültiger Wert für den Auswerter"},
    };
    for (const Row& r : rows) {
        try {
            decodeBytes(r.bytes);
            ADD_FAILURE() << r.name << ": decoded";
        } catch (const DecodeError& e) {
            EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos)
                << r.name << ": " << e.what();
        }
    }
    // A rate at which the highest tones cannot exist.
    try {
        decodeSequence(readRaw8(full, 4000), toneTable());
        ADD_FAILURE() << "decoded at 4000 Hz";
    } catch (const DecodeError& e) {
        EXPECT_STREQ(e.what(), "Die Abtastrate von 4000 Hz passt nicht zu den Tönen (erlaubt: "
                               "6000 bis 1000000 Hz).");
    }
}

// Tones of odd shapes, as fuzzing found them: each is found once, inside the recording, with
// its length and frequency.
TEST(SequenceDecoder, TonesOfOddShapesAreMeasuredWhole) {
    struct Part {
        double seconds, level;
    };
    struct Row {
        std::string name;
        std::vector<Part> parts; // 1060 Hz at each level, after 100 ms of silence
        double length;           // expected, in seconds
    };
    const Row rows[] = {
        {"plain", {{0.1, 1}}, 0.1},
        // The quiet middle stays above the threshold but below half the tone: its frames once
        // became the tone's edges, which gave it a negative length.
        {"dip in the middle", {{0.06, 1}, {0.02, 0.3}, {0.06, 1}}, 0.14},
    };
    for (const Row& r : rows) {
        Recording recording{22050, std::vector<float>(2205, 0.0f)};
        for (const Part& p : r.parts)
            for (int i = 0; i < int(p.seconds * 22050); ++i)
                recording.samples.push_back(
                    float(p.level * std::sin(2 * 3.14159265358979 * 1060 * i / 22050)));
        recording.samples.resize(recording.samples.size() + 2205, 0.0f);
        const std::vector<FoundTone> found = findTones(recording);
        ASSERT_EQ(found.size(), 1u) << r.name;
        EXPECT_NEAR(found[0].start, 0.1, 0.003) << r.name;
        EXPECT_NEAR(found[0].length, r.length, 0.003) << r.name;
        EXPECT_NEAR(found[0].frequency, 1060, 5) << r.name;
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The test call: its exact length, the siren's two tones, the address rules, and an independent
// five-tone decoder (multimon-ng) reading the address back from every tone system.
#include "TestCall.h"
#include "ToneSequence.h"
#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

namespace {

TToneTable table() {
    TToneTable t;
    fillToneTable(t);
    return t;
}

std::vector<uint8_t> render(const std::string& address, uint8_t tonsys, bool siren = false,
                            uint8_t amplitude = 100) {
    TestCall call;
    call.address = address;
    call.tonsys = tonsys;
    call.toneLength = toneLengthMs(toneLengthButtonFor(tonsys));
    call.amplitude = amplitude;
    call.siren = siren;
    return renderTestCall(call, table());
}

// The amplitude of one frequency in a block of samples around the silence level.
double amplitudeAt(const uint8_t* samples, std::size_t count, double frequency) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / kSampleRate);
    double s1 = 0, s2 = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const double s0 = (samples[n] - 127.0) + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(s1 * s1 + s2 * s2 - coefficient * s1 * s2) / double(count);
}

bool allSilent(const std::vector<uint8_t>& s, std::size_t from, std::size_t count) {
    return std::all_of(s.begin() + long(from), s.begin() + long(from + count),
                       [](uint8_t v) { return v == kSilence; });
}

TEST(TestCall, LengthInSamplesIsKnownExactly) {
    // 600 ms = 13230 samples, 70 ms = 1544, 5 s = 110250; tones of 70 (ZVEI), 100 (CCIR) and
    // 40 ms (CCIR / EEA) are 1544, 2205 and 882 samples; the siren comes after 600 ms.
    struct Row {
        const char* address;
        uint8_t tonsys;
        bool siren;
        std::size_t samples;
    };
    const Row rows[] = {
        {"57434", 1, false, 43444}, {"57434", 1, true, 166924}, {"5743", 3, false, 40356},
        {"574", 5, true, 160748},   {"12345", 6, false, 50054}, {"123", 6, true, 164714},
        {"1234", 7, false, 35060},  {"12G", 7, true, 156776},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address + std::string(" in system ") + std::to_string(row.tonsys));
        const std::vector<uint8_t> s = render(row.address, row.tonsys, row.siren);
        const std::size_t n = std::string(row.address).size();
        const std::size_t tone = sampleCount(toneLengthMs(toneLengthButtonFor(row.tonsys)));
        EXPECT_EQ(s.size(), row.samples);
        EXPECT_EQ(testCallSampleCount(n, toneLengthMs(toneLengthButtonFor(row.tonsys)), row.siren),
                  row.samples);
        // Silence before each call and at the end, none inside a call.
        EXPECT_TRUE(allSilent(s, 0, 13230));
        EXPECT_TRUE(allSilent(s, 13230 + n * tone, 13230));
        EXPECT_TRUE(allSilent(s, s.size() - 1544, 1544));
        EXPECT_FALSE(allSilent(s, s.size() - 1544 - 100, 100));
        EXPECT_FALSE(allSilent(s, 13230, 100));
    }
}

TEST(TestCall, PhaseRunsOnFromToneToTone) {
    // Continuous phase: neighbouring samples differ by at most the steepest slope of the
    // highest tone (2800 Hz at amplitude 100: 2 pi * 2800 / 22050 * 100, about 80) plus
    // rounding, also where the tone changes; a restart of the phase would jump.
    for (uint8_t tonsys = 1; tonsys <= 7; ++tonsys) {
        const std::string address = tonsys == 4 ? "0R9R1" : "0G9R1";
        const std::vector<uint8_t> s = render(address, tonsys);
        const std::size_t tone = sampleCount(toneLengthMs(toneLengthButtonFor(tonsys)));
        const std::vector<uint16_t> f = testCallTones(address, tonsys, table());
        for (std::size_t i = 1; i < f.size(); ++i) {
            const std::size_t edge = 13230 + i * tone; // first sample of tone i
            const double slope = 2 * std::numbers::pi * std::max(f[i - 1], f[i]) / kSampleRate;
            EXPECT_LE(std::abs(int(s[edge]) - int(s[edge - 1])), slope * 100 + 1)
                << "system " << int(tonsys) << ", tone " << i;
        }
    }
}

TEST(TestCall, SirenIsTwoTonesAtHalfTheAmplitudeEach) {
    for (const uint8_t amplitude : {100, 40}) {
        const std::vector<uint8_t> s = render("57434", 1, true, amplitude);
        const std::size_t start = s.size() - 1544 - 110250;
        const uint8_t* siren = s.data() + start;
        EXPECT_NEAR(amplitudeAt(siren, 110250, 675), amplitude / 2.0, 0.5);
        EXPECT_NEAR(amplitudeAt(siren, 110250, 1240), amplitude / 2.0, 0.5);
        for (const double other : {600.0, 700.0, 957.0, 1200.0, 1280.0, 2400.0})
            EXPECT_LT(amplitudeAt(siren, 110250, other), 0.5) << other << " Hz";
        const auto [low, high] = std::minmax_element(siren, siren + 110250);
        EXPECT_GE(*low, 127 - amplitude);
        EXPECT_LE(*high, 127 + amplitude);
        EXPECT_GT(*high, 127 + amplitude * 0.95) << "both tones peak together now and then";
    }
}

TEST(TestCall, AddressesThatCannotBeSentSayWhy) {
    struct Row {
        const char* address;
        uint8_t len;
        uint8_t tonsys;
        const char* problem; // nullptr: the call can be sent
    };
    const Row rows[] = {
        {"57434", 5, 1, nullptr},
        {"1R1R1", 5, 6, nullptr},
        {"G1R2", 4, 2, nullptr},
        {"12G", 3, 5, nullptr},
        {"5743", 5, 1, "Die Rufadresse braucht für \"5 Ton\" genau 5 Zeichen (sie hat 4)."},
        {"", 3, 1, "Die Rufadresse braucht für \"3 Ton\" genau 3 Zeichen (sie hat 0)."},
        {"574345", 5, 1, "Die Rufadresse braucht für \"5 Ton\" genau 5 Zeichen (sie hat 6)."},
        {"1234G", 5, 4, "Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {"12A45", 5, 1, "Das Zeichen \"A\" gehört in keine Rufadresse."},
        {"12\xe4", 3, 1, "Das Zeichen \"ä\" gehört in keine Rufadresse."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        const auto problem = testCallProblem(row.address, row.len, row.tonsys, table());
        if (row.problem == nullptr) {
            EXPECT_FALSE(problem) << *problem;
        } else {
            ASSERT_TRUE(problem);
            EXPECT_EQ(*problem, row.problem);
        }
    }
    EXPECT_THROW(render("1234G", 4), TestCallError);
}

TEST(TestCall, FromTheSettingsCompletesTheAddressAndTakesTheSystemsToneLength) {
    // What the window, zuvela-cli and the page send: the evaluator's length, the address
    // completed as leaving its field does, the system's one tone length.
    ProgSettings settings;
    settings.tonsys = 7; // CCIR / EEA: 40 ms
    const TestCallPlan plan = planTestCall(settings, "11111", 60, true, table());
    ASSERT_TRUE(plan.call) << plan.problem;
    EXPECT_EQ(plan.call->address, "1R1R1");
    EXPECT_EQ(plan.call->toneLength, 40);
    EXPECT_EQ(testCallSamples(settings, "11111", 60, true, table()).samples,
              render("1R1R1", 7, true, 60));
    settings.evaluator = 3;
    const TestCallSamples refused = testCallSamples(settings, "11111", 60, false, table());
    EXPECT_TRUE(refused.samples.empty());
    EXPECT_EQ(refused.message, "Die Rufadresse braucht für \"3 Ton\" genau 3 Zeichen (sie hat 5).");
}

// What multimon-ng prints for a call: its non-empty lines.
std::vector<std::string> multimon(const std::vector<uint8_t>& call, const std::string& mode) {
    // It reads signed 16-bit samples at 22050 per second.
    std::vector<int16_t> wide;
    wide.reserve(call.size());
    for (const uint8_t v : call)
        wide.push_back(static_cast<int16_t>((int(v) - kSilence) * 256));
    const std::string file = "call-" + mode + ".s16";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(wide.data()), std::streamsize(wide.size() * 2));
    const testsupport::ProcessResult r =
        testsupport::runProcess(MULTIMON_NG, {"-q", "-c", "-a", mode, "-t", "raw", file});
    EXPECT_EQ(r.exitCode, 0) << MULTIMON_NG << ": " << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

TEST(TestCall, MultimonNgReadsTheAddressTwiceInEveryToneSystem) {
    // Each tone system with the decoders of multimon-ng whose tones are its row of the tone
    // table, and the symbols they print for our repeat tone 'R' and twelfth tone 'G'.
    struct Row {
        const char* mode;
        uint8_t tonsys;
        char repeat;
        char extra; // 0: the system has no twelfth tone
    };
    const Row rows[] = {
        {"ZVEI1", 1, 'E', 'A'}, {"ZVEI3", 1, 'F', 'C'}, {"ZVEI1", 2, 'E', 'C'},
        {"ZVEI2", 2, 'F', 'E'}, {"ZVEI3", 2, 'F', 'E'}, {"DZVEI", 3, 'E', 'C'},
        {"ZVEI1", 4, 'C', 0},   {"ZVEI2", 4, 'E', 0},   {"ZVEI3", 4, 'E', 0},
        {"DZVEI", 5, 'E', 'A'}, {"CCIR", 6, 'E', 'A'},  {"EEA", 6, 'E', 'C'},
        {"CCIR", 7, 'E', 'F'},  {"EEA", 7, 'E', 'A'},
    };
    for (const Row& row : rows) {
        // Every column of the row: the ten digits, 'R' and 'G'; five, four and three tones.
        for (std::string address : {"57434", "01234", "56789", "1R0G9", "G1R2", "5R7"}) {
            if (row.extra == 0)
                std::replace(address.begin(), address.end(), 'G', 'R');
            std::string read = address;
            std::replace(read.begin(), read.end(), 'R', row.repeat);
            std::replace(read.begin(), read.end(), 'G', row.extra);
            const std::string expected = std::string(row.mode) + ": " + read;
            SCOPED_TRACE(std::string(row.mode) + ", system " + std::to_string(row.tonsys) + ", " +
                         address);
            EXPECT_EQ(multimon(render(address, row.tonsys), row.mode),
                      std::vector<std::string>(2, expected));
        }
    }
}

TEST(TestCall, MultimonNgReadsTheAddressTwiceAndTheSirenApart) {
    // The siren's low tone (675 Hz) is a symbol of multimon-ng's ZVEI tables: after its pause
    // it stands alone, after the two calls, and never as a sixth character of the second.
    struct Row {
        const char* mode;
        uint8_t tonsys;
        const char* siren; // what the siren reads as, or nothing
    };
    const Row rows[] = {{"ZVEI1", 1, "F"}, {"ZVEI2", 1, "D"},    {"ZVEI3", 2, "D"},
                        {"DZVEI", 3, "F"}, {"CCIR", 6, nullptr}, {"EEA", 7, nullptr}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        const std::string prefix = std::string(row.mode) + ": ";
        std::vector<std::string> expected(2, prefix + "12345");
        if (row.siren != nullptr)
            expected.push_back(prefix + row.siren);
        EXPECT_EQ(multimon(render("12345", row.tonsys, true), row.mode), expected);
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesis gives the same bytes on every processor. Golden SHA-256 sums, taken from the
// x86-64 build whose 80-bit extended precision first defined the timings and samples, are
// checked by every build (wasm32 and aarch64 too). Where long double is that 80-bit format,
// every input the sliders and the tone table allow is also compared with the formula itself.
#include "ProgEncoder.h"
#include "ToneSequence.h"
#include "ToneTable.h"
#include "support/ReferenceSynthesis.h"
#include "support/Sha256.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

namespace {

using testsupport::kLongDoubleIsExtended;
using testsupport::Sha256;

uint64_t bitsOf(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::vector<uint16_t> tableFrequencies() {
    TToneTable table;
    fillToneTable(table);
    std::set<uint16_t> frequencies;
    for (const auto& row : table.rows)
        for (uint16_t f : row)
            if (f != 0)
                frequencies.insert(f);
    return {frequencies.begin(), frequencies.end()};
}

TProgTones zvei1Tones(std::initializer_list<const char*> addresses) {
    ProgSettings s;
    int n = 0;
    for (const char* address : addresses)
        s.addresses[n++] = {true, address};
    TToneTable table;
    fillToneTable(table);
    return EncodeProgTones(s, table);
}

// A 200 ms tone holds the samples of every shorter tone length as its beginning (the phase
// starts afresh with every tone), so one per amplitude covers all the sliders allow.
constexpr uint16_t kLongestTone = 200;

TEST(ToneSequenceExact, SampleCountsMatchTheGoldenSums) {
    struct Row {
        uint16_t last;
        const char* sum;
    };
    // Every segment length up to 2000 ms (all the sequence and the test call use), and every
    // duration a 16-bit count can hold; each count as four little-endian bytes.
    for (const Row& r :
         {Row{2000, "4b0838c18977ffd8b346960ee2c195ed76ff79f4825114295c9924bc5e5a6a54"},
          Row{65535, "7035b3e3fd2d095d29faec11951bd0809008fecd923f371cdfcc745b33006b91"}}) {
        Sha256 sum;
        for (uint32_t ms = 0; ms <= r.last; ++ms)
            sum.addWord(static_cast<uint32_t>(sampleCount(static_cast<uint16_t>(ms))));
        EXPECT_EQ(sum.hex(), r.sum) << "0 to " << r.last << " ms";
    }
}

TEST(ToneSequenceExact, SequencesMatchTheGoldenSums) {
    // Four five-tone addresses at the dialog's initial values.
    const std::vector<uint8_t> four = renderSequence(
        toneSequence(zvei1Tones({"57434", "12345", "67890", "2R4R6"}), 100, 30, 700), 100);
    EXPECT_EQ(four.size(), 149072u);
    EXPECT_EQ(testsupport::sha256(four),
              "809697fe7dc845faeac483580441280957c8179bdf10aa7b4906c43da146fbe6");

    // The start-up address at every tone length and amplitude the sliders allow.
    const TProgTones startUp = zvei1Tones({"57434"});
    Sha256 sum;
    std::size_t samples = 0;
    for (uint16_t length = 40; length <= 200; length += 10)
        for (int amplitude = 10; amplitude <= 100; amplitude += 10) {
            const std::vector<uint8_t> rendered = renderSequence(
                toneSequence(startUp, length, 30, 700), static_cast<uint8_t>(amplitude));
            sum.add(rendered);
            samples += rendered.size();
        }
    EXPECT_EQ(samples, 11'321'430u);
    EXPECT_EQ(sum.hex(), "ca35bda5dab460e33aab629a3696dde3d158b577e941f60654d77f98285c5bcf");
}

TEST(ToneSequenceExact, EveryTableToneMatchesItsGoldenSum) {
    struct Row {
        uint16_t frequency;
        const char* sum;
    };
    const Row rows[] = {{825, "c253482b5ddfd4873cbca3b08f935f71937f6786e4ab09874051a6f8f58b07a6"},
                        {970, "f396f35889b7bc0609265948606003d963dac33f1ef22adb6d46d5e51d65434d"},
                        {1055, "7048a5835197145fcc470ab83d6cdd1a96aa224ad049ecbafad507a2ac9812b3"},
                        {1060, "6da382fb4d206831eaf29a73bc94bd4ade5b803f845164ea00586acf114884a7"},
                        {1124, "085b0e137048b5f4df88aeb60fca002f6f60242012a3e29b36662811cff42329"},
                        {1160, "bf070db78736793c7c28918c17c2abecdf7e7dfb842b1fba3ebd796eda148e8a"},
                        {1197, "9b04b7dde2f9d2f7f12ccb76fa035387b60d2be4e77f47eda10faeaf5895fc11"},
                        {1270, "4385b987af73617c95a670b1a2812c2926c7d1cc3f6e4d64c738a42f0c99e1a0"},
                        {1275, "72260bdb7fd3166bdba0e0a75d5e4301904ee0ae3fb392da99200e4f0570c185"},
                        {1358, "653cdbd3d7e6891a09745bc768ab3e24cb027dcba7a89cf6bdab70b1b289a1f4"},
                        {1400, "e6f38a54d6beab6bda192dfb98a296f56cec1e75c62c9c9db545fba7e8ae8052"},
                        {1446, "ce0f29b652a20776b06648de7f0cf6c328a7ecf3443fdd6a827a325aea7a07c4"},
                        {1530, "6e8bc0f2f29ecf4e863e1000a08c08c4c2880f8e22523d8a7a318f3b2b0e7518"},
                        {1540, "ec006a3afc69ce4bdc534363af9014592e5b99454e1b0cbf91f4e60453d6fece"},
                        {1640, "2b1684a138e91d3b509ed7ad71224f1c6a062f5d3c40d4d96a15ad9964ea522a"},
                        {1670, "573b885a28c53c8a404ee2a883a3dff0bc24bec8ec1fda531e4056df4f150b2c"},
                        {1747, "dd3b6cf0971f24080f996cec3fc1257c9d8f7c70c2adc262a400956ef9d739c9"},
                        {1830, "0fa5bf539c06a8012ffed345b11e6b8ca63f5e892a8b9542318422589c00db74"},
                        {1860, "8114e87ce3f3554fb75ae290751d89d3f44416fa869b28a0274053e27bcd5c42"},
                        {1981, "f89c2b01d1a5fd69df066c63c82a5e4a8ec276853c980277a52cc75bc397a293"},
                        {2000, "c82eeec63d22c7bb22ef2e229e0cae03e39c7e36dba9e66447119bdd24725c78"},
                        {2110, "d41ea90057cccc199479973e2830aa1bdbf80d4d99a7f82a6c0ae450f64926fc"},
                        {2200, "b77cbe6473f7c96aca3cb78dfe8ab108c4255c0f7e0287a8058d8cd632ffc769"},
                        {2400, "f9856b59bad096a40aaaab57588147674d887c06da332feb45399cf314237151"},
                        {2600, "e322deea02063124ca97c66f61a27973eeeee90838247887e1ea3096efcc82d0"},
                        {2800, "258d469978cd7b022c82ad2b8a189ce2c7978a6e0b53f62af6cbc8b5bac17f5a"}};
    std::vector<uint16_t> covered;
    for (const Row& r : rows) {
        covered.push_back(r.frequency);
        // The renderer, and every sample by the evaluation that decides near-ties.
        Sha256 fast, precise;
        const double step = toneStep(r.frequency);
        for (int amplitude = 10; amplitude <= 100; amplitude += 10) {
            const auto a = static_cast<uint8_t>(amplitude);
            std::vector<uint8_t> tone, each;
            appendToneSamples(r.frequency, kLongestTone, a, tone);
            for (std::size_t n = 1; n <= sampleCount(kLongestTone); ++n)
                each.push_back(preciseToneSample(n, step, a));
            fast.add(tone);
            precise.add(each);
        }
        EXPECT_EQ(fast.hex(), r.sum) << r.frequency << " Hz";
        EXPECT_EQ(precise.hex(), r.sum) << r.frequency << " Hz, every sample precise";
    }
    EXPECT_EQ(covered, tableFrequencies());
}

TEST(ToneSequenceExact, PhaseStepsMatchTheGoldenSum) {
    // Every 16-bit frequency's step, as the eight little-endian bytes of the double.
    Sha256 sum;
    for (uint32_t f = 0; f <= 0xffff; ++f) {
        const auto bits = bitsOf(toneStep(static_cast<uint16_t>(f)));
        sum.addWord(static_cast<uint32_t>(bits));
        sum.addWord(static_cast<uint32_t>(bits >> 32));
    }
    EXPECT_EQ(sum.hex(), "1045a023ef45a0d2453617755b311befe97a201082a9a2f5c9152cc479204bd9");
}

// No tone the sliders allow comes within 2e-7 of a rounding tie; these, beyond the sliders,
// come within 1e-8, and the renderer decides them by preciseToneSample. The bytes are the
// x86-64 build's.
TEST(ToneSequenceExact, NearTiesBeyondTheSlidersRoundAsTheExtendedFormula) {
    struct Row {
        uint16_t frequency;
        uint8_t amplitude;
        uint32_t n;
        uint8_t sample;
    };
    const Row rows[] = {
        {50954, 109, 21214, 190}, {57229, 91, 9930, 130},   {27360, 46, 1930, 81},
        {62500, 37, 7362, 159},   {27862, 1, 187452, 127},  {10794, 37, 12943, 105},
        {9037, 37, 171257, 154},  {39910, 37, 26680, 157},  {1, 37, 104160, 90},
        {7029, 82, 53143, 54},    {35643, 19, 187628, 140}, {25352, 1, 155016, 126}};
    for (const Row& r : rows) {
        EXPECT_EQ(preciseToneSample(r.n, toneStep(r.frequency), r.amplitude), r.sample)
            << r.frequency << " Hz, sample " << r.n;
        // The shortest whole-millisecond tone that reaches sample n.
        auto ms = static_cast<uint16_t>(r.n / 22);
        while (sampleCount(ms) < r.n)
            ++ms;
        std::vector<uint8_t> tone;
        appendToneSamples(r.frequency, ms, r.amplitude, tone);
        EXPECT_EQ(tone.at(r.n - 1), r.sample) << r.frequency << " Hz, sample " << r.n;
    }
}

// Where long double is the 80-bit format: the counts and steps of every 16-bit value.
TEST(ToneSequenceExact, CountsAndStepsOfEverySixteenBitValueMatchTheReference) {
    if (!kLongDoubleIsExtended)
        GTEST_SKIP() << "long double is not the 80-bit format here; the golden sums check";
    for (uint32_t v = 0; v <= 0xffff; ++v) {
        const auto value = static_cast<uint16_t>(v);
        ASSERT_EQ(sampleCount(value), testsupport::sampleCountReference(value)) << v << " ms";
        ASSERT_EQ(bitsOf(toneStep(value)),
                  bitsOf(testsupport::toneStepReference(value)))
            << v << " Hz";
    }
}

// Where long double is the 80-bit format: every tone the sliders and the tone table allow,
// rendered fast and by the formula.
TEST(ToneSequenceExact, EveryTableToneAmplitudeAndLengthMatchesTheReference) {
    if (!kLongDoubleIsExtended)
        GTEST_SKIP() << "long double is not the 80-bit format here; the golden sums check";
    const std::vector<uint16_t> frequencies = tableFrequencies();
    ASSERT_EQ(frequencies.size(), 26u);
    std::size_t compared = 0;
    for (uint16_t f : frequencies)
        for (int amplitude = 10; amplitude <= 100; amplitude += 10)
            for (int length = 40; length <= 200; length += 10) {
                std::vector<uint8_t> fast{1, 2, 3}, reference{1, 2, 3};
                appendToneSamples(f, static_cast<uint16_t>(length), static_cast<uint8_t>(amplitude),
                                  fast);
                appendToneSamplesReference(f, static_cast<uint16_t>(length),
                                           static_cast<uint8_t>(amplitude), reference);
                ASSERT_EQ(fast, reference)
                    << f << " Hz, amplitude " << amplitude << ", " << length << " ms";
                compared += fast.size() - 3;
            }
    EXPECT_GT(compared, 10'000'000u);
}

// Beyond the sliders: odd frequencies, the full 8-bit amplitude range that stays within a
// byte, and segments longer than one reseed interval, so the rotation's bound is exercised.
TEST(ToneSequenceExact, OffTableTonesAndLongSegmentsMatchTheReference) {
    if (!kLongDoubleIsExtended)
        GTEST_SKIP() << "long double is not the 80-bit format here; the golden sums check";
    struct Row {
        uint16_t frequency, duration;
        uint8_t amplitude;
    };
    const Row rows[] = {{1, 1000, 100},    {37, 2000, 127},  {825, 3000, 1},    {3333, 1990, 127},
                        {11025, 500, 100}, {22049, 700, 99}, {65535, 300, 127}, {1060, 65535, 100}};
    for (const Row& r : rows) {
        std::vector<uint8_t> fast, reference;
        appendToneSamples(r.frequency, r.duration, r.amplitude, fast);
        appendToneSamplesReference(r.frequency, r.duration, r.amplitude, reference);
        ASSERT_EQ(fast, reference) << r.frequency << " Hz for " << r.duration << " ms";
    }
}

} // namespace

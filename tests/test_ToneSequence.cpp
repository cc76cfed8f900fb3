// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneSequence.h"

#include <gtest/gtest.h>
#include <numeric>

void PrintTo(const ToneSegment& s, std::ostream* os) {
    *os << s.frequency << " Hz for " << s.duration << " ms";
}

namespace {

using Segments = std::vector<ToneSegment>;

TProgTones tonesOf(std::initializer_list<std::pair<int, uint16_t>> slots) {
    TProgTones t{};
    for (auto [slot, f] : slots)
        t[slot] = f;
    return t;
}

TProgTones fullBlocks(int blocks) {
    TProgTones t{};
    for (int slot = 0; slot < kBlockASlots + blocks * kAddressBlockSlots; ++slot)
        t[slot] = static_cast<uint16_t>(1000 + slot);
    return t;
}

uint32_t totalMs(const Segments& s) {
    return std::accumulate(s.begin(), s.end(), 0u,
                           [](uint32_t sum, const ToneSegment& seg) { return sum + seg.duration; });
}

TEST(ToneSequence, FourAddressesAtTheInitialSettings) {
    const Segments s = toneSequence(fullBlocks(4), 100, 30, 700);
    EXPECT_EQ(totalMs(s), 6760u);
    EXPECT_EQ(s.size(), 26u * 2 + 1 + 3);
    EXPECT_EQ(s[0], (ToneSegment{1000, 100}));
    EXPECT_EQ(s[12], (ToneSegment{0, 1370}));
    EXPECT_EQ(s[22], (ToneSegment{0, 30}));
    EXPECT_EQ(s[23], (ToneSegment{0, 670}));
    EXPECT_EQ(s.back(), (ToneSegment{0, 30}));
    EXPECT_EQ(renderSequence(s, 100).size(), 149072u);
}

TEST(ToneSequence, EmptySlotsAndBlocksShortenTheWalk) {
    const Segments one = toneSequence(fullBlocks(1), 100, 30, 700);
    EXPECT_EQ(one.size(), 11u * 2 + 1);
    EXPECT_EQ(one.back(), (ToneSegment{0, 30}));

    // An empty first slot of block B II ends the sequence although later blocks hold tones.
    TProgTones gap = fullBlocks(4);
    gap[11] = 0;
    EXPECT_EQ(toneSequence(gap, 100, 30, 700), one);

    // A three-tone address is shorter by two tones with their pauses; the block pause stays.
    TProgTones three = fullBlocks(2);
    three[9] = three[10] = 0;
    const Segments s3 = toneSequence(three, 100, 30, 700);
    EXPECT_EQ(totalMs(toneSequence(fullBlocks(2), 100, 30, 700)) - totalMs(s3), 2u * 130);
    EXPECT_EQ(s3[19], (ToneSegment{0, 670}));

    // An empty slot 5: the pause after Block A follows slot 4's tone pause, a gap of 2B.
    TProgTones noMode = fullBlocks(1);
    noMode[5] = 0;
    const Segments s5 = toneSequence(noMode, 100, 30, 700);
    EXPECT_EQ(s5[9], (ToneSegment{0, 30}));
    EXPECT_EQ(s5[10], (ToneSegment{0, 1370}));
    EXPECT_EQ(s5[11], (ToneSegment{1006, 100}));

    // Longest tone pause with the shortest block pause.
    const Segments extreme = toneSequence(fullBlocks(2), 40, 100, 500);
    EXPECT_EQ(extreme[12], (ToneSegment{0, 900}));
    EXPECT_EQ(extreme[23], (ToneSegment{0, 400}));

    // A zero slot never becomes a tone of 0 Hz: every 0 Hz segment is a pause length.
    for (const ToneSegment& seg : toneSequence(tonesOf({{0, 2400}, {7, 970}}), 100, 30, 700))
        if (seg.frequency == 0) {
            EXPECT_TRUE(seg.duration == 30 || seg.duration == 1370) << seg.duration;
        }
}

TEST(ToneSequence, SampleCountsRoundHalfToEvenInExtendedPrecision) {
    struct Row {
        uint16_t ms;
        std::size_t samples;
    };
    for (const Row& r :
         {Row{0, 0}, Row{10, 220}, Row{30, 662}, Row{40, 882}, Row{90, 1985}, Row{100, 2205},
          Row{200, 4410}, Row{590, 13009}, Row{670, 14774}, Row{700, 15435}, Row{900, 19845},
          Row{1310, 28885}, Row{1370, 30208}, Row{1990, 43880}})
        EXPECT_EQ(sampleCount(r.ms), r.samples) << r.ms << " ms";
}

TEST(ToneSequence, SamplesOfATone) {
    struct Row {
        uint16_t f;
        uint8_t amplitude;
        std::vector<uint8_t> first;
    };
    for (const Row& r :
         {Row{2400, 100, {190, 225, 216, 166, 100}}, Row{1060, 100, {157, 184, 206, 220, 227}},
          Row{825, 100, {150, 172, 192, 208, 219}}, Row{2800, 10, {134, 137, 134}}}) {
        std::vector<uint8_t> buffer{1, 2};
        appendToneSamples(r.f, 100, r.amplitude, buffer);
        ASSERT_EQ(buffer.size(), 2u + 2205);
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 2, buffer.begin() + 2 + r.first.size()),
                  r.first)
            << r.f << " Hz";
        const auto [low, high] = std::minmax_element(buffer.begin() + 2, buffer.end());
        EXPECT_GE(*low, 127 - r.amplitude);
        EXPECT_LE(*high, 127 + r.amplitude);
    }
    // Pauses are silence; the phase restarts with every segment.
    const std::vector<uint8_t> rendered = renderSequence({{2400, 10}, {0, 10}, {2400, 10}}, 100);
    ASSERT_EQ(rendered.size(), 660u);
    EXPECT_TRUE(std::all_of(rendered.begin() + 220, rendered.begin() + 440,
                            [](uint8_t b) { return b == kSilence; }));
    EXPECT_TRUE(std::equal(rendered.begin(), rendered.begin() + 220, rendered.begin() + 440));
}

TEST(ToneSequence, AmplitudeTenStaysWithinTenSteps) {
    const std::vector<uint8_t> all = renderSequence(toneSequence(fullBlocks(4), 100, 30, 700), 10);
    const auto [low, high] = std::minmax_element(all.begin(), all.end());
    EXPECT_EQ(*low, 117);
    EXPECT_EQ(*high, 137);
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The check at the cable: what the receiver's input recorded, against the segments sent.
#include "LevelCheck.h"
#include "ProgEngine.h"
#include "SendCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// The send as an input records it: 300 ms earlier, at gain, in faint noise, at 48000 Hz.
Recording recorded(const std::vector<uint8_t>& sent, double gain) {
    Recording r;
    r.sampleRate = 48000;
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, 0.0005f);
    const std::size_t lead = 48000 * 3 / 10;
    const auto count = static_cast<std::size_t>(double(sent.size()) * 48000 / kSampleRate);
    r.samples.resize(lead + count + lead);
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        double v = 0;
        if (i >= lead && i - lead < count)
            v = (sent[(i - lead) * kSampleRate / 48000] - 127.0) / 128 * gain;
        r.samples[i] = std::clamp(float(v) + noise(random), -1.0f, 1.0f);
    }
    return r;
}

TEST(SendCheck, EachToneSentIsFoundInTheRecordingOrNamed) {
    ProgSettings settings;
    settings.addresses = {{{true, "57434"}, {true, "12345"}, {}, {}}};
    const ExpertValues expert{};
    const std::vector<ToneSegment> sent = progSegments(progTones(settings).tones, expert);
    const std::vector<uint8_t> samples = progSamples(progTones(settings).tones, expert);
    const int tones = int(std::ranges::count_if(sent, [](auto s) { return s.frequency != 0; }));

    // The tones' amplitude in the bytes, so that they arrive at -9 dBFS.
    const int peak = std::ranges::max(samples) - 127;
    Recording quiet = recorded(samples, std::pow(10, -9 / 20.0) * 128 / peak);
    SendCheck check = checkSend(sent, quiet);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.summary, "✔ Geprüft: " + std::to_string(tones) + " von " +
                                 std::to_string(tones) + " Tönen, Pegel −9 dBFS");
    EXPECT_EQ(sendCheckDetails(check).size(), std::size_t(tones) + 1);
    for (const CheckedTone& t : check.tones) {
        EXPECT_NEAR(t.heardFrequency, t.sentFrequency, t.sentFrequency * 0.002) << t.number;
        EXPECT_NEAR(t.heardLength, t.sentLength, 3) << t.number;
    }

    // Tone 7 lost on the way: silence where it was.
    Recording gap = quiet;
    double at = 0.3;
    int seen = 0;
    for (const ToneSegment& s : sent) {
        if (s.frequency != 0 && ++seen == 7)
            std::fill_n(gap.samples.begin() + std::ptrdiff_t(at * 48000),
                        std::size_t(s.duration * 48), 0.0f);
        at += s.duration / 1000.0;
    }
    check = checkSend(sent, gap);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.summary, "✘ Ton 7 fehlt");
    EXPECT_EQ(check.heard, tones - 1);

    check = checkSend(sent, recorded(samples, 3));
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.summary, "✘ Übersteuert");

    check = checkSend(sent, recorded(samples, 0));
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.summary, "✘ Nichts gehört – Kabel und Eingang prüfen");
}

// A send and the level check's tone heard through the same input at the same gain: the check
// at the cable passes exactly the levels the level check calls good.
TEST(SendCheck, ALevelPassesWhereTheLevelCheckCallsItGood) {
    ProgSettings settings;
    settings.addresses = {{{true, "57434"}, {}, {}, {}}};
    const ExpertValues expert{};
    const std::vector<ToneSegment> sent = progSegments(progTones(settings).tones, expert);
    const std::vector<uint8_t> samples = progSamples(progTones(settings).tones, expert);
    const std::vector<uint8_t> tone = renderSequence(levelToneSegments(), expert.amplitude);
    const double sendPeak = std::ranges::max(samples) - 127;
    const double tonePeak = std::ranges::max(tone) - 127;
    const struct {
        double level; // dBFS at the input
        const char* summary;
    } rows[] = {
        {-2, "✘ Zu laut: Pegel −2 dBFS"},
        {-7, "✘ Zu laut: Pegel −7 dBFS"},
        {-9, nullptr},
        {-12, nullptr},
        {-15, nullptr},
        {-17, "✘ Zu leise: Pegel −17 dBFS"},
        {-30, "✘ Zu leise: Pegel −30 dBFS"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.level);
        const double gain = std::pow(10, row.level / 20);
        const SendCheck check = checkSend(sent, recorded(samples, gain * 128 / sendPeak));
        const LevelAdvice advice =
            adviseLevel(readLevel(recorded(tone, gain * 128 / tonePeak)), expert.amplitude);
        EXPECT_EQ(check.heard, int(check.tones.size()));
        EXPECT_EQ(check.ok, advice.ok()) << check.summary << " / " << advice.text;
        EXPECT_EQ(check.ok, row.summary == nullptr);
        if (row.summary)
            EXPECT_EQ(check.summary, row.summary);
        else
            EXPECT_TRUE(check.summary.starts_with("✔ Geprüft: ")) << check.summary;
    }
}

TEST(SendCheck, TheDetailsStandInColumnsAndWriteNoDeviationAsZero) {
    SendCheck check;
    check.tones = {{1, 1060, 70, true, 1060.02, 70.2, 0.3},
                   {2, 1981, 70, true, 1979.6, 69.4, -2.4},
                   {3, 2400, 70, false},
                   {12, 825, 1000, true, 834.7, 1012, 12}};
    const std::vector<std::string> expected = {
        "Ton  gesendet          gehört              Abweichung",
        "  1  1060 Hz    70 ms  1060,0 Hz    70 ms      0 %    0 ms  Beginn   0 ms",
        "  2  1981 Hz    70 ms  1979,6 Hz    69 ms   −0,1 %   −1 ms  Beginn  −2 ms",
        "  3  2400 Hz    70 ms  fehlt",
        " 12   825 Hz  1000 ms   834,7 Hz  1012 ms    1,2 %   12 ms  Beginn  12 ms",
    };
    EXPECT_EQ(sendCheckDetails(check), expected);
}

} // namespace

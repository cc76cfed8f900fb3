// SPDX-License-Identifier: GPL-3.0-or-later
// The check at the cable: what the receiver's input recorded, against the segments sent.
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

} // namespace

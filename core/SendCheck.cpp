// SPDX-License-Identifier: GPL-3.0-or-later
#include "SendCheck.h"

#include "LevelCheck.h"
#include "ToneFinder.h"
#include "UserTexts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kFrequencyTolerance = 0.025;
constexpr double kStartTolerance = 0.025; // s
// A sample this close to full scale was cut off by the input.
constexpr float kClipLevel = 0.99f;
constexpr std::size_t kClipSamples = 3;

struct SentTone {
    uint16_t frequency;
    uint16_t length; // ms
    double start;    // s from the first tone
};

std::vector<SentTone> sentTones(const std::vector<ToneSegment>& sent) {
    std::vector<SentTone> tones;
    double at = -1;
    for (const ToneSegment& s : sent) {
        if (s.frequency != 0) {
            if (at < 0)
                at = 0;
            tones.push_back({s.frequency, s.duration, at});
        }
        if (at >= 0)
            at += s.duration / 1000.0;
    }
    return tones;
}

bool sameFrequency(double heard, double sent) {
    return std::fabs(heard / sent - 1) <= kFrequencyTolerance;
}

// The found tone that matches a sent one where the sequence starts at origin, or none.
const FoundTone* matching(const std::vector<FoundTone>& found, const SentTone& tone,
                          double origin) {
    const FoundTone* best = nullptr;
    for (const FoundTone& f : found) {
        const double offset = std::fabs(f.start - origin - tone.start);
        if (offset <= kStartTolerance && sameFrequency(f.frequency, tone.frequency) &&
            f.length * 1000 >= tone.length / 2.0 &&
            (!best || offset < std::fabs(best->start - origin - tone.start)))
            best = &f;
    }
    return best;
}

// German decimals with a real minus sign; a value that rounds to zero is written 0, without
// sign or decimals.
std::string decimal(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    std::string out = text;
    if (out.find_first_not_of("-0.") == std::string::npos)
        return "0";
    std::replace(out.begin(), out.end(), '.', ',');
    if (out.starts_with('-'))
        out.replace(0, 1, "−");
    return out;
}

// Text padded to a width in characters (the minus sign is one character of three bytes).
std::string padded(const std::string& text, std::size_t width, bool right) {
    std::size_t characters = 0;
    for (unsigned char c : text)
        characters += (c & 0xC0) != 0x80 ? 1 : 0;
    const std::string fill(width > characters ? width - characters : 0, ' ');
    return right ? fill + text : text + fill;
}

std::string numbers(const std::vector<int>& list) {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += i + 1 == list.size() ? " und " : ", ";
        out += std::to_string(list[i]);
    }
    return out;
}

} // namespace

SendCheck checkSend(const std::vector<ToneSegment>& sent, const Recording& recording) {
    SendCheck check;
    const std::vector<SentTone> tones = sentTones(sent);
    const std::vector<FoundTone> found = findTones(recording);
    // Where the sequence starts: the origin that lets most sent tones be heard.
    double origin = 0;
    int most = -1;
    for (const FoundTone& f : found)
        for (const SentTone& t : tones) {
            if (!sameFrequency(f.frequency, t.frequency))
                continue;
            const double candidate = f.start - t.start;
            int count = 0;
            for (const SentTone& u : tones)
                count += matching(found, u, candidate) != nullptr ? 1 : 0;
            if (count > most) {
                most = count;
                origin = candidate;
            }
        }
    double peakSum = 0;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        CheckedTone c;
        c.number = int(i) + 1;
        c.sentFrequency = tones[i].frequency;
        c.sentLength = tones[i].length;
        if (const FoundTone* f = matching(found, tones[i], origin)) {
            c.heard = true;
            c.heardFrequency = f->frequency;
            c.heardLength = f->length * 1000;
            c.offset = (f->start - origin - tones[i].start) * 1000;
            ++check.heard;
            // The amplitude of the tone's middle half.
            const auto from =
                static_cast<std::size_t>((f->start + f->length / 4) * recording.sampleRate);
            const auto to = std::min(
                recording.samples.size(),
                static_cast<std::size_t>((f->start + 3 * f->length / 4) * recording.sampleRate));
            double power = 0;
            for (std::size_t k = from; k < to; ++k)
                power += double(recording.samples[k]) * recording.samples[k];
            if (to > from)
                peakSum += std::sqrt(2 * power / double(to - from));
        }
        check.tones.push_back(c);
    }
    if (check.heard > 0)
        check.level = 20 * std::log10(std::max(peakSum / check.heard, 1e-10));
    std::size_t atFullScale = 0;
    for (float v : recording.samples)
        atFullScale += std::fabs(v) >= kClipLevel ? 1 : 0;
    check.clipped = atFullScale >= kClipSamples;

    std::vector<int> missing;
    for (const CheckedTone& c : check.tones)
        if (!c.heard)
            missing.push_back(c.number);
    // The level by the level check's rule, so that a level it would have refused fails here too.
    const LevelBand band = judgeLevel({check.heard > 0, check.level, check.clipped});
    const std::string level = "Pegel " + decimal(check.level, 0) + " dBFS";
    if (check.heard == 0)
        check.summary = kNothingHeard;
    else if (check.clipped)
        check.summary = "✘ Übersteuert";
    else if (missing.size() == 1)
        check.summary = "✘ Ton " + std::to_string(missing.front()) + " fehlt";
    else if (!missing.empty())
        check.summary = "✘ Töne " + numbers(missing) + " fehlen";
    else if (band == LevelBand::TooLoud)
        check.summary = "✘ Zu laut: " + level;
    else if (band != LevelBand::Good)
        check.summary = "✘ Zu leise: " + level;
    else
        check.summary = "✔ Geprüft: " + std::to_string(check.heard) + " von " +
                        std::to_string(tones.size()) + " Tönen, " + level;
    check.ok = !tones.empty() && missing.empty() && band == LevelBand::Good;
    return check;
}

std::vector<std::string> sendCheckDetails(const SendCheck& check) {
    // Columns: number, sent frequency and length, heard frequency and length, and the
    // deviations of frequency, length and start.
    auto row = [](const std::string& number, const std::string& sent, const std::string& heard,
                  const std::string& deviation) {
        std::string line = padded(number, 3, true) + "  " + padded(sent, 16, false) + "  " +
                           padded(heard, 18, false) + "  " + deviation;
        while (line.ends_with(' '))
            line.pop_back();
        return line;
    };
    std::vector<std::string> lines{row("Ton", "gesendet", "gehört", "Abweichung")};
    for (const CheckedTone& c : check.tones) {
        const std::string sent = padded(std::to_string(c.sentFrequency), 4, true) + " Hz  " +
                                 padded(std::to_string(c.sentLength), 4, true) + " ms";
        if (!c.heard) {
            lines.push_back(row(std::to_string(c.number), sent, "fehlt", ""));
            continue;
        }
        const std::string heard = padded(decimal(c.heardFrequency, 1), 6, true) + " Hz  " +
                                  padded(decimal(c.heardLength, 0), 4, true) + " ms";
        const std::string deviation =
            padded(decimal((c.heardFrequency / c.sentFrequency - 1) * 100, 1), 5, true) + " %  " +
            padded(decimal(c.heardLength - c.sentLength, 0), 3, true) + " ms  Beginn " +
            padded(decimal(c.offset, 0), 3, true) + " ms";
        lines.push_back(row(std::to_string(c.number), sent, heard, deviation));
    }
    return lines;
}

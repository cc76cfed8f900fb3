// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming dialog's expert values: tone length, tone pause, block pause and amplitude.
// Each row below is the one place of its facts: the dialog's slider and label, zuvela-cli's
// option, its check and its help, and the tests read them from here.
#include <array>
#include <cstdint>
#include <string>

// What a slider allows: minimum to maximum in steps, and where it starts. The slider's
// position is the value divided by the step.
struct ExpertRange {
    const char* caption;     // "Tonlänge": the dialog's label and the help's text
    const char* unit;        // "ms" or "%", in the dialog's label
    const char* option;      // zuvela-cli's option: "--tone-length"
    const char* placeholder; // its value in the help: "MS" or "PROZENT"
    int minimum;
    int maximum;
    int step;
    int initial;

    bool allows(int value) const {
        return value >= minimum && value <= maximum && (value - minimum) % step == 0;
    }
    int position(int value) const { return value / step; }
    int valueAt(int position) const { return position * step; }
    // "Tonlänge (100 ms)", as the dialog labels its slider.
    std::string label(int value) const {
        return std::string(caption) + " (" + std::to_string(value) + " " + unit + ")";
    }
    // "40 bis 200 in Schritten von 10", as zuvela-cli's help and messages say what is allowed.
    std::string allowed() const {
        return std::to_string(minimum) + " bis " + std::to_string(maximum) + " in Schritten von " +
               std::to_string(step);
    }
};

inline constexpr ExpertRange kToneLengthRange{"Tonlänge", "ms", "--tone-length", "MS", 40, 200,
                                              10,         100};
inline constexpr ExpertRange kTonePauseRange{"Tonpause", "ms", "--tone-pause", "MS", 10, 100,
                                             10,         30};
inline constexpr ExpertRange kBlockPauseRange{"Blockpause", "ms", "--block-pause", "MS", 500, 1000,
                                              100,          700};
inline constexpr ExpertRange kAmplitudeRange{"Amplitude", "%", "--amplitude", "PROZENT", 10, 100,
                                             10,          100};
// In the order the dialog shows them and the help lists them.
inline constexpr std::array<const ExpertRange*, 4> kExpertRanges = {
    &kToneLengthRange, &kTonePauseRange, &kBlockPauseRange, &kAmplitudeRange};

struct ExpertValues {
    uint16_t toneLength = kToneLengthRange.initial; // ms
    uint16_t tonePause = kTonePauseRange.initial;   // ms
    uint16_t blockPause = kBlockPauseRange.initial; // ms
    uint8_t amplitude = kAmplitudeRange.initial;    // percent
};

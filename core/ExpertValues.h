// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming dialog's expert values: tone length, tone pause, block pause and amplitude,
// each a slider position times its step.
#include <array>
#include <cstdint>

struct ExpertValues {
    uint16_t toneLength = 100; // ms
    uint16_t tonePause = 30;   // ms
    uint16_t blockPause = 700; // ms
    uint8_t amplitude = 100;   // percent
};

// What a slider allows: minimum to maximum in steps, and where it starts.
struct ExpertRange {
    int minimum;
    int maximum;
    int step;
    int initial;
    bool allows(int value) const {
        return value >= minimum && value <= maximum && (value - minimum) % step == 0;
    }
};

inline constexpr ExpertRange kToneLengthRange{40, 200, 10, 100};
inline constexpr ExpertRange kTonePauseRange{10, 100, 10, 30};
inline constexpr ExpertRange kBlockPauseRange{500, 1000, 100, 700};
inline constexpr ExpertRange kAmplitudeRange{10, 100, 10, 100};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>

constexpr int kToneSystems = 7;
constexpr int kToneIndices = 12;
constexpr int kRepeatToneIndex = 10;
// The twelfth tone, which the 'G' address character selects; 0 where a system has none.
constexpr int kExtraToneIndex = 11;

// Seven tone systems by twelve tone indices, in Hz. Columns 0 to 9 are the digit tones,
// column 10 the repeat tone.
struct TToneTable {
    std::array<std::array<uint16_t, kToneIndices>, kToneSystems> rows{};

    // The tone for index i of tone system tonsys (1 to 7).
    uint16_t tone(uint8_t tonsys, int index) const { return rows.at(tonsys - 1).at(index); }
};

// Fills the table with its 84 values.
void fillToneTable(TToneTable& table);

// The tone-length button (1 "40 ms", 2 "70 ms", 3 "100 ms") that a tone system allows:
// it is the only enabled one and the checked one.
int toneLengthButtonFor(uint8_t tonsys);

// The caption of tone system 1 to 7 ("ZVEI 1" ... "CCIR / EEA").
const char* toneSystemCaption(uint8_t tonsys);

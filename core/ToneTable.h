// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seven tone systems. Each row of kToneSystemTable is the one place of its facts: the main
// window's option caption, zuvela-cli's word, the tone length and the twelve tones.
#include <array>
#include <cstdint>

constexpr int kToneSystems = 7;
constexpr int kToneIndices = 12;
constexpr int kRepeatToneIndex = 10;
// The twelfth tone, which the 'G' address character selects; 0 where a system has none.
constexpr int kExtraToneIndex = 11;

struct ToneSystem {
    const char* caption; // the main window's option: "ZVEI 1"
    const char* word;    // zuvela-cli's --system: "zvei1"
    uint16_t toneLength; // ms, the one tone length the system allows: 40, 70 or 100
    // In Hz: columns 0 to 9 the digit tones, 10 the repeat tone, 11 the 'G' tone or 0.
    std::array<uint16_t, kToneIndices> tones;

    bool hasExtraTone() const { return tones[kExtraToneIndex] != 0; }
};

inline constexpr std::array<ToneSystem, kToneSystems> kToneSystemTable = {{
    {"ZVEI 1",
     "zvei1",
     70,
     {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2600, 2800}},
    {"ZVEI 1 (GB)",
     "zvei1-gb",
     70,
     {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2600, 970}},
    {"ZVEI 2",
     "zvei2",
     70,
     {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2400, 2600}},
    {"ZVEI F", "zvei-f", 70, {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 0}},
    {"ZVEI DEPR.",
     "zvei-depr",
     70,
     {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2400, 825}},
    {"CCIR", "ccir", 100, {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2110, 2400}},
    {"CCIR / EEA",
     "ccir-eea",
     40,
     {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2110, 1055}},
}};

// The tone lengths of the main window's buttons 1 "40 ms", 2 "70 ms" and 3 "100 ms".
inline constexpr std::array<uint16_t, 3> kToneLengthButtons = {40, 70, 100};

// Seven tone systems by twelve tone indices, in Hz, as the main window holds them.
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

// The address characters and their tone indices, both ways: '0' to '9' the digit tones 0 to 9,
// 'R' the repeat tone, 'G' the twelfth tone. -1 for any other character; '?' for an index
// outside 0 to 11.
int addressToneIndex(char c);
char addressCharacter(int index);

// The caption of tone system 1 to 7 ("ZVEI 1" ... "CCIR / EEA").
const char* toneSystemCaption(uint8_t tonsys);

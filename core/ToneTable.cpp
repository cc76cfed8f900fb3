// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneTable.h"

#include <array>

void fillToneTable(TToneTable& table) {
    // One row per tone system: ZVEI 1, ZVEI 1 (GB), ZVEI 2, ZVEI F, ZVEI DEPR., CCIR, CCIR / EEA.
    table.rows = {{
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2600, 2800},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 2600, 970},
        {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2400, 2600},
        {2400, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2200, 970, 0},
        {2200, 970, 1060, 1160, 1270, 1400, 1530, 1670, 1830, 2000, 2400, 825},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2110, 2400},
        {1981, 1124, 1197, 1275, 1358, 1446, 1540, 1640, 1747, 1860, 2110, 1055},
    }};
}

int toneLengthButtonFor(uint8_t tonsys) {
    switch (tonsys) {
    case 6:
        return 3; // CCIR: 100 ms
    case 7:
        return 1; // CCIR / EEA: 40 ms
    default:
        return 2; // the ZVEI systems: 70 ms
    }
}

const char* toneSystemCaption(uint8_t tonsys) {
    static const std::array<const char*, kToneSystems> captions = {
        "ZVEI 1", "ZVEI 1 (GB)", "ZVEI 2", "ZVEI F", "ZVEI DEPR.", "CCIR", "CCIR / EEA"};
    return tonsys >= 1 && tonsys <= kToneSystems ? captions[tonsys - 1] : "?";
}

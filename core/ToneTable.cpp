// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneTable.h"

#include <algorithm>

void fillToneTable(TToneTable& table) {
    for (int i = 0; i < kToneSystems; ++i)
        table.rows[i] = kToneSystemTable[i].tones;
}

int toneLengthButtonFor(uint8_t tonsys) {
    const uint16_t ms = kToneSystemTable.at(tonsys - 1).toneLength;
    return static_cast<int>(std::find(kToneLengthButtons.begin(), kToneLengthButtons.end(), ms) -
                            kToneLengthButtons.begin()) +
           1;
}

const char* toneSystemCaption(uint8_t tonsys) {
    return tonsys >= 1 && tonsys <= kToneSystems ? kToneSystemTable[tonsys - 1].caption : "?";
}

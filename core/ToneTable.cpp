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

int addressToneIndex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c == 'R')
        return kRepeatToneIndex;
    if (c == 'G')
        return kExtraToneIndex;
    return -1;
}

char addressCharacter(int index) {
    if (index >= 0 && index <= 9)
        return static_cast<char>('0' + index);
    return index == kRepeatToneIndex ? 'R' : index == kExtraToneIndex ? 'G' : '?';
}

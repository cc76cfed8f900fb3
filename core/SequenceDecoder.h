// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a programming sequence back from a recording: finds the tones and pauses, measures
// each tone's frequency, and inverts the encoder. It returns settings only when the tones
// form a sequence the encoder can produce; otherwise it says what it found and where it stops.
#include "ProgEncoder.h"
#include "ProgTones.h"
#include "Recording.h"
#include "ToneFinder.h"
#include "ToneTable.h"

#include <optional>
#include <string>
#include <vector>

// What zuvela-cli and the web page tell the user when a recording holds no valid sequence.
inline std::string noSequenceMessage(const DecodeError& e) {
    return std::string("Keine gültige Programmiersequenz. ") + e.what();
}

// The tone index of a measured frequency in a row of the table (within 2.5 %: half the closest
// spacing of two tones of one system, with room for a speed error), or nothing.
std::optional<int> toneIndex(const TToneTable& table, uint8_t tonsys, double f);

struct DecodedSequence {
    ProgSettings settings;          // addresses fill slots 1 to c, as the blocks came
    TProgTones tones{};             // the table's frequencies, as the encoder gives them
    std::vector<uint8_t> sameTones; // further tone systems whose settings give these tones
    double toneLength = 0;          // measured means in ms
    double tonePause = 0;
    double blockPause = 0;
    std::vector<std::string> notes; // German remarks for the user
};

DecodedSequence decodeSequence(const std::vector<FoundTone>& found, const TToneTable& table);
DecodedSequence decodeSequence(const Recording& recording, const TToneTable& table);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a programming sequence back from a recording: finds the tones and pauses, measures
// each tone's frequency, and inverts the encoder. It returns settings only when the tones
// form a sequence the encoder can produce; otherwise it says what it found and where it stops.
#include "ProgEncoder.h"
#include "ProgTones.h"
#include "Recording.h"
#include "ToneTable.h"

#include <stdexcept>
#include <string>
#include <vector>

struct FoundTone {
    double start = 0;     // seconds from the start of the recording
    double length = 0;    // seconds
    double frequency = 0; // Hz, as measured
};

// The tones in a recording, in time order; the pauses are the gaps between them.
std::vector<FoundTone> findTones(const Recording& recording);

struct DecodedSequence {
    ProgSettings settings;          // addresses fill slots 1 to c, as the blocks came
    TProgTones tones{};             // the table's frequencies, as the encoder gives them
    std::vector<uint8_t> sameTones; // further tone systems whose settings give these tones
    double toneLength = 0;          // measured means in ms
    double tonePause = 0;
    double blockPause = 0;
    std::vector<std::string> notes; // German remarks for the user
};

// The tones do not form a valid sequence; the message (German) says what was found and where
// it stops.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

DecodedSequence decodeSequence(const std::vector<FoundTone>& found, const TToneTable& table);
DecodedSequence decodeSequence(const Recording& recording, const TToneTable& table);

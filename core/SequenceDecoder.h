// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a programming sequence back from a recording: finds the tones and pauses, measures
// each tone's frequency, and inverts the encoder. It returns settings only when the tones
// form a sequence the encoder can produce; otherwise it says what it found and where it stops.
#include "ProgEncoder.h"
#include "ProgTones.h"
#include "Recording.h"
#include "ToneTable.h"

#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The tones do not form a valid sequence; the message (German) says what was found and where
// it stops.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What zuvela-cli and the web page tell the user when a recording holds no valid sequence.
inline std::string noSequenceMessage(const DecodeError& e) {
    return std::string("Keine gültige Programmiersequenz. ") + e.what();
}

struct FoundTone {
    double start = 0;     // seconds from the start of the recording
    double length = 0;    // seconds
    double frequency = 0; // Hz, as measured
};

// Finds the tones of a recording handed over block by block, in stretches of 20 s that overlap
// by half, so that memory stays the same however long the recording is. Tones that follow one
// another without a pause (the characters of a call) are found one by one; the pauses are the
// gaps between the tones.
class ToneFinder {
public:
    // Throws DecodeError when the rate cannot carry the tones.
    explicit ToneFinder(double sampleRate);
    ~ToneFinder();
    void push(std::span<const float> samples);
    // The recording has ended: the tones of its last stretch follow.
    void finish();
    // The tones found since the last call, in time order.
    std::vector<FoundTone> take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The tone index of a measured frequency in a row of the table (within 2.5 %: half the closest
// spacing of two tones of one system, with room for a speed error), or nothing.
std::optional<int> toneIndex(const TToneTable& table, uint8_t tonsys, double f);

// The tones in a recording held whole, in time order.
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

DecodedSequence decodeSequence(const std::vector<FoundTone>& found, const TToneTable& table);
DecodedSequence decodeSequence(const Recording& recording, const TToneTable& table);

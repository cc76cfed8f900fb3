// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the tones of a recording: where each begins and ends, and its frequency as measured.
// What the tones mean is the sequence decoder's business.
#include "Recording.h"

#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

// The tones cannot be read or do not form a valid sequence; the message (German) says what was
// found and where it stops.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FoundTone {
    double start = 0;     // seconds from the start of the recording
    double length = 0;    // seconds
    double frequency = 0; // Hz, as measured
};

// Finds the tones of a recording handed over block by block, so that memory stays the same however
// long the recording is: against the floor of the band's energy over the last 20 s, or by their
// spectrum where noise hides them. A tone is told at most 150 ms after its end, once no later
// sample can change it, so that a live channel is read as it goes; blocks of any size give the
// same tones. Tones that follow one another without a pause (the characters of a call) are found
// one by one and told together; the pauses are the gaps between the tones. A recording of 32 kHz
// and more (a sound card's 44.1 or 48 kHz) is analysed at a whole fraction of its rate, 16 to
// 32 kHz, which still carries the tone band.
class ToneFinder {
public:
    // Throws DecodeError when the rate cannot carry the tones.
    explicit ToneFinder(double sampleRate);
    ~ToneFinder();
    void push(std::span<const float> samples);
    // The recording has ended: the tones not yet told follow.
    void finish();
    // The tones found since the last call, in time order.
    std::vector<FoundTone> take();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The tones in a recording held whole, in time order.
std::vector<FoundTone> findTones(const Recording& recording);

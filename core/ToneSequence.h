// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming tone sequence: the walk over the 26 slots into tones and pauses, and the
// synthesis of 8-bit mono samples at 22050 per second for the sound card.
#include "ProgTones.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kSampleRate = 22050;
constexpr uint8_t kSilence = 127;

// One tone, or a pause when frequency is 0; duration in ms.
struct ToneSegment {
    uint16_t frequency;
    uint16_t duration;
    bool operator==(const ToneSegment&) const = default;
};

// Every tone is followed by the tone pause P; Block A by 2B - P, each address block but the
// last by B - P. An address block whose first slot is empty ends the sequence.
std::vector<ToneSegment> toneSequence(const TProgTones& tones, uint16_t toneLength,
                                      uint16_t tonePause, uint16_t blockPause);

// Samples in a segment of duration ms: d / 1000 * 22050 in extended precision, rounded half
// to even. The same count on every processor.
std::size_t sampleCount(uint16_t duration);

// The phase step w of a tone in radians per sample: f / 22050 * 6.28318 in extended
// precision, stored as a double.
double toneStep(uint16_t frequency);

// Sample n of a tone, for the values next to a rounding tie: the phase n * w as the extended
// format rounds it, its sine within about 1e-13 of the extended one, rounded half to even.
// Every processor decides such a sample alike unless it lies closer to the tie than that.
uint8_t preciseToneSample(std::size_t n, double step, uint8_t amplitude);

// Appends one segment: sample n (from 1) is round(sin(n * w) * amplitude + 127) with
// w = f / 22050 * 6.28318; the phase starts afresh for every segment.
void appendToneSamples(uint16_t frequency, uint16_t duration, uint8_t amplitude,
                       std::vector<uint8_t>& buffer);

// The whole sequence rendered front to back.
std::vector<uint8_t> renderSequence(const std::vector<ToneSegment>& sequence, uint8_t amplitude);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The timeline of a send: where each segment starts and ends in the samples, and which line of
// the listing it belongs to. The dialog marks the listing by it, zuvela-cli draws its progress
// by it, and the web page does both.
#include "ExpertValues.h"
#include "ProgTones.h"
#include "ToneSequence.h"

#include <cstddef>
#include <vector>

struct TimelineSegment {
    ToneSegment segment;
    std::size_t firstSample = 0; // its first sample's index in the send
    std::size_t endSample = 0;   // one past its last sample: the next segment's first
    // The listing line (0-based, as progListingLines counts) of the tone that sounds, or of the
    // tone a pause follows; -1 for the silence before the first tone and in a call.
    int line = -1;

    bool isTone() const { return segment.frequency != 0; }
};

// The segments as they follow each other, without listing lines.
std::vector<TimelineSegment> segmentTimeline(const std::vector<ToneSegment>& segments);

// A programming send of the tones with the expert values: progSegments with their samples and
// each with its listing line.
std::vector<TimelineSegment> progTimeline(const TProgTones& tones, const ExpertValues& expert);

// The segment playing at a sample index (binary search), or nullptr after the end.
const TimelineSegment* segmentAt(const std::vector<TimelineSegment>& timeline, std::size_t sample);

// The samples of the whole send: the last segment's end.
std::size_t timelineSamples(const std::vector<TimelineSegment>& timeline);

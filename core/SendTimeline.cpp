// SPDX-License-Identifier: GPL-3.0-or-later
#include "SendTimeline.h"

#include "ProgEngine.h"
#include "ProgListing.h"

#include <algorithm>

std::vector<TimelineSegment> segmentTimeline(const std::vector<ToneSegment>& segments) {
    std::vector<TimelineSegment> timeline;
    timeline.reserve(segments.size());
    std::size_t start = 0;
    for (const ToneSegment& segment : segments) {
        const std::size_t end = start + sampleCount(segment.duration);
        timeline.push_back({segment, start, end, -1});
        start = end;
    }
    return timeline;
}

std::vector<TimelineSegment> progTimeline(const TProgTones& tones, const ExpertValues& expert) {
    std::vector<TimelineSegment> timeline = segmentTimeline(progSegments(tones, expert));
    const auto slotLines = progListingSlotLines(tones);
    std::size_t slot = 0;
    int line = -1;
    for (TimelineSegment& entry : timeline) {
        // The tones follow the filled slots in order; a pause belongs to the tone before it.
        if (entry.isTone()) {
            while (slot < tones.size() && tones[slot] == 0)
                ++slot;
            line = slot < tones.size() ? slotLines[slot++] : -1;
        }
        entry.line = line;
    }
    return timeline;
}

const TimelineSegment* segmentAt(const std::vector<TimelineSegment>& timeline, std::size_t sample) {
    const auto found =
        std::upper_bound(timeline.begin(), timeline.end(), sample,
                         [](std::size_t at, const TimelineSegment& s) { return at < s.endSample; });
    return found == timeline.end() ? nullptr : &*found;
}

std::size_t timelineSamples(const std::vector<TimelineSegment>& timeline) {
    return timeline.empty() ? 0 : timeline.back().endSample;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline of a send: its segments are the sent sequence, its samples the sent samples
// without a gap, and each tone's line in the listing shows that tone.
#include "ProgEngine.h"
#include "ProgListing.h"
#include "SendTimeline.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(SendTimeline, FollowsTheSentSamplesAndMarksEachToneInTheListing) {
    ProgSettings settings;
    settings.addresses = {{{true, "12345"}, {false, ""}, {true, "6789R"}, {false, ""}}};
    const ProgTonesResult program = progTones(settings);
    ASSERT_TRUE(program.ok) << program.message;
    const std::vector<std::string> listing = progListingLines(program.tones);
    const ExpertValues fastest{kToneLengthRange.minimum, kTonePauseRange.minimum,
                               kBlockPauseRange.minimum, kAmplitudeRange.minimum};
    for (const ExpertValues expert : {ExpertValues{}, fastest}) {
        const auto timeline = progTimeline(program.tones, expert);
        const auto segments = progSegments(program.tones, expert);
        ASSERT_EQ(timeline.size(), segments.size());
        std::size_t next = 0;
        int line = -1;
        for (std::size_t i = 0; i < timeline.size(); ++i) {
            const TimelineSegment& entry = timeline[i];
            EXPECT_EQ(entry.segment, segments[i]);
            EXPECT_EQ(entry.firstSample, next);
            EXPECT_EQ(entry.endSample - entry.firstSample, sampleCount(segments[i].duration));
            next = entry.endSample;
            if (entry.isTone()) {
                // The line lists this tone's frequency, and the lines go down the listing.
                ASSERT_GE(entry.line, 0);
                EXPECT_GT(entry.line, line);
                EXPECT_NE(listing.at(static_cast<std::size_t>(entry.line))
                              .find(" : " + std::to_string(entry.segment.frequency) + " : "),
                          std::string::npos)
                    << listing[static_cast<std::size_t>(entry.line)];
                line = entry.line;
            }
            EXPECT_EQ(entry.line, line) << "a pause keeps the tone before it";
            if (entry.endSample > entry.firstSample) {
                EXPECT_EQ(segmentAt(timeline, entry.firstSample), &entry);
                EXPECT_EQ(segmentAt(timeline, entry.endSample - 1), &entry);
            }
        }
        EXPECT_EQ(timelineSamples(timeline), progSamples(program.tones, expert).size());
        EXPECT_EQ(segmentAt(timeline, timelineSamples(timeline)), nullptr);
        // Block A's six tones and both addresses' five: every listed tone is sounded once.
        EXPECT_EQ(std::count_if(timeline.begin(), timeline.end(),
                                [](const TimelineSegment& e) { return e.isTone(); }),
                  16);
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds tones by their spectrum, where noise hides them from the band's energy: every 5 ms the
// strongest frequency of a 20 ms window that stands well out of the band's median is a tonal
// frame; frames of one steady frequency form a tone. Tones that follow one another without a
// pause share their edge, where the next tone's level overtakes this one's; an outer edge is
// where the tone's own level falls to half its amplitude.
#include "ToneFinder.h"

#include <span>
#include <vector>

// The tones of a stretch of the tone band (already band-passed), with their starts in seconds
// from the stretch's first sample.
std::vector<FoundTone> trackTones(std::span<const float> band, double rate);

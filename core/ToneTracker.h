// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds tones by their spectrum, where noise hides them from the band's energy: every 5 ms the
// strongest frequency of a 20 ms window that stands well out of the band's median is a tonal
// frame; frames of one steady frequency form a tone. Tones that follow one another without a
// pause share their edge, where the next tone's level overtakes this one's; an outer edge is
// where the tone's own level falls to half its amplitude.
#include "ToneFinder.h"

#include <memory>
#include <span>
#include <vector>

struct SpectralFrame {
    std::size_t centre = 0; // sample of the band where the window is centred
    double frequency = 0;   // the strongest of the tone band
    bool tonal = false;     // it stands out of the band as a tone does
};

// The frames of the tone band on a grid that starts at the recording's first sample, so that a
// recording read in any blocks gives the same frames.
class SpectralFrames {
public:
    explicit SpectralFrames(double rate);
    ~SpectralFrames();
    // Band samples from one frame's window to the next one's, and those one window spans.
    std::size_t stride() const { return hop_ * step_; }
    std::size_t span() const { return (n_ - 1) * step_ + 1; }
    // The frame whose window starts at band sample at; samples[0] is that sample.
    SpectralFrame frame(const float* samples, std::size_t at);

private:
    class Spectrum;
    std::size_t step_, n_, hop_, size_ = 1, lo_ = 0, hi_ = 0;
    double binHz_ = 0, audible_ = 0;
    std::unique_ptr<Spectrum> spectrum_;
    std::vector<double> window_, buffer_, power_;
};

// The tones among consecutive frames; band holds the band's samples from bandStart on, as far
// around the frames as a tone's edge can lie. Starts are in seconds from the recording's start.
std::vector<FoundTone> trackTones(std::span<const SpectralFrame> frames,
                                  std::span<const float> band, std::size_t bandStart, double rate);

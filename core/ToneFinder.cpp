// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneFinder.h"
#include "ToneTracker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

// The selective-call tones lie between 825 and 2800 Hz (a speed error moves them by 0.5 %).
constexpr double kLowestTone = 650, kHighestTone = 3300;
constexpr double kMinRate = 6000;
constexpr double kMinToneLength = 0.015, kMinGap = 0.003;
// Tones stand this far above the floor of the band's energy where noise is at least about 15 dB
// below them; with more noise they are found by their spectrum.
constexpr double kClear = 100;
// The context the spectral search needs before a tone: its window and its look for an edge.
std::size_t trackerContext(double rate) {
    return static_cast<std::size_t>(rate * 0.05);
}

struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    // Butterworth sections from the usual bilinear-transform formulas.
    static Biquad make(double cutoff, double rate, bool highPass) {
        const double w = 2 * std::numbers::pi * cutoff / rate;
        const double alpha = std::sin(w) / std::numbers::sqrt2;
        const double cosw = std::cos(w), a0 = 1 + alpha;
        const double b1 = highPass ? -(1 + cosw) : 1 - cosw;
        const double b0 = highPass ? (1 + cosw) / 2 : (1 - cosw) / 2;
        return {b0 / a0, b1 / a0, b0 / a0, -2 * cosw / a0, (1 - alpha) / a0};
    }
    double operator()(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        // In digital silence the state decays into subnormal numbers, which are very slow.
        if (std::fabs(y) < 1e-30)
            y = 0;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The powers of several frequencies over x, in one pass: the independent recurrences keep the
// processor busy where one alone would wait for each multiplication.
template <std::size_t Width>
std::array<double, Width> goertzelPowers(const std::vector<double>& x,
                                         const std::array<double, Width>& frequencies,
                                         double rate) {
    std::array<double, Width> coefficient{}, s1{}, s2{};
    for (std::size_t j = 0; j < Width; ++j)
        coefficient[j] = 2 * std::cos(2 * std::numbers::pi * frequencies[j] / rate);
    for (double v : x)
        for (std::size_t j = 0; j < Width; ++j) {
            const double s0 = v + coefficient[j] * s1[j] - s2[j];
            s2[j] = s1[j];
            s1[j] = s0;
        }
    std::array<double, Width> power{};
    for (std::size_t j = 0; j < Width; ++j)
        power[j] = s1[j] * s1[j] + s2[j] * s2[j] - coefficient[j] * s1[j] * s2[j];
    return power;
}

// The strongest frequency of a stretch of the tone band: a 10 Hz scan, a 1 Hz scan around
// its peak, then a parabola through the logarithmic powers there.
double measureFrequency(const float* samples, std::size_t count, double rate) {
    std::vector<double> x(count);
    for (std::size_t i = 0; i < count; ++i)
        x[i] = samples[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / count));
    constexpr std::size_t kWidth = 8;
    auto peak = [&](double from, double to, double step) {
        double best = from, bestPower = -1;
        for (int i = 0; from + i * step <= to; i += kWidth) {
            std::array<double, kWidth> f{};
            for (std::size_t j = 0; j < kWidth; ++j)
                f[j] = from + double(i + int(j)) * step;
            const std::array<double, kWidth> power = goertzelPowers(x, f, rate);
            for (std::size_t j = 0; j < kWidth; ++j)
                if (f[j] <= to && power[j] > bestPower) {
                    bestPower = power[j];
                    best = f[j];
                }
        }
        return best;
    };
    const double coarse = peak(kLowestTone, kHighestTone, 10);
    const double fine = peak(coarse - 10, coarse + 10, 1);
    const auto p = goertzelPowers<3>(x, {fine - 1, fine, fine + 1}, rate);
    const double l = std::log(p[0] + 1e-300), c = std::log(p[1] + 1e-300),
                 r = std::log(p[2] + 1e-300);
    const double curvature = l - 2 * c + r;
    // The vertex lies within half a step of the peak; a nearly flat top could put it anywhere.
    return curvature < 0 ? fine + std::clamp(0.5 * (l - r) / curvature, -1.0, 1.0) : fine;
}

// The pieces of a run that hold one frequency each, as sample ranges [from, to) from the run's
// start: the frequency is read from the upward zero crossings over 10 ms every 5 ms, and a
// piece ends where it moves by more than 3 % (the tones of one system lie 6.5 % apart or more).
// Stretches shorter than 15 ms, where one tone gives way to the next, join a neighbour.
std::vector<std::pair<std::size_t, std::size_t>> steadyPieces(const float* x, std::size_t n,
                                                              double rate) {
    const auto step = static_cast<std::size_t>(rate * 0.005);
    const auto span = static_cast<std::size_t>(rate * 0.010);
    if (n < span + 2 * step)
        return {{0, n}};
    std::vector<double> crossings;
    for (std::size_t i = 1; i < n; ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
            crossings.push_back(double(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
    struct Piece {
        std::size_t first, last; // frames
        double frequency;        // mean over the piece's own frames
        int count;
    };
    std::vector<Piece> pieces;
    std::size_t lo = 0, hi = 0, frame = 0;
    for (std::size_t from = 0; from + span <= n; from += step, ++frame) {
        while (lo < crossings.size() && crossings[lo] < double(from))
            ++lo;
        hi = std::max(hi, lo);
        while (hi < crossings.size() && crossings[hi] < double(from + span))
            ++hi;
        const double f =
            hi - lo >= 3 ? double(hi - lo - 1) * rate / (crossings[hi - 1] - crossings[lo]) : 0;
        Piece& p = pieces.empty() ? pieces.emplace_back(Piece{frame, frame, f, 0}) : pieces.back();
        if (p.count > 0 && std::fabs(f / p.frequency - 1) >= 0.03) {
            pieces.push_back({frame, frame, f, 1});
        } else {
            p.frequency = (p.frequency * p.count + f) / (p.count + 1);
            ++p.count;
            p.last = frame;
        }
    }
    // The shortest short piece joins the neighbour nearer in frequency, until none is short.
    while (pieces.size() > 1) {
        auto shortest = std::min_element(pieces.begin(), pieces.end(), [](auto& a, auto& b) {
            return a.last - a.first < b.last - b.first;
        });
        if (shortest->last - shortest->first >= 2)
            break;
        auto near = [&](auto it) {
            return std::fabs(std::log(it->frequency / shortest->frequency));
        };
        const bool toPrevious =
            shortest != pieces.begin() &&
            (shortest + 1 == pieces.end() || near(shortest - 1) <= near(shortest + 1));
        if (toPrevious)
            (shortest - 1)->last = shortest->last;
        else
            (shortest + 1)->first = shortest->first;
        pieces.erase(shortest);
    }
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t from = 0;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        // Between the centres of the last frame of one piece and the first of the next.
        const std::size_t to = (pieces[i].last + pieces[i + 1].first) * step / 2 + span / 2;
        out.emplace_back(from, to);
        from = to;
    }
    out.emplace_back(from, n);
    return out;
}

} // namespace

struct ToneFinder::State {
    static constexpr std::size_t kStretchFrames = 20000; // 20 s of 1 ms frames

    double rate = 0;
    std::size_t hop = 1, window = 1;
    std::vector<Biquad> filters;
    std::vector<float> band;   // the tone band of the current stretch
    std::size_t bandStart = 0; // its first sample in the recording
    bool first = true;         // no stretch analysed yet
    std::vector<double> energySum, envelope, sorted;
    std::vector<FoundTone> found;

    void analyse(bool last);
    void addRun(std::size_t first, std::size_t end);
};

ToneFinder::ToneFinder(double rate) : state_(std::make_unique<State>()) {
    if (!(rate >= kMinRate) || rate > 1e6)
        throw DecodeError("Die Abtastrate von " + std::to_string(std::lround(rate)) +
                          " Hz passt nicht zu den Tönen (erlaubt: 6000 bis 1000000 Hz).");
    State& s = *state_;
    s.rate = rate;
    // The band's energy over 3 ms, every millisecond.
    s.hop = std::max<std::size_t>(1, static_cast<std::size_t>(rate / 1000));
    s.window = std::max<std::size_t>(1, static_cast<std::size_t>(rate * 0.003));
    // The tone band alone: mains hum and its harmonics below, most of the noise above.
    s.filters = {Biquad::make(600, rate, true), Biquad::make(600, rate, true)};
    if (rate > 8000) {
        s.filters.push_back(Biquad::make(3400, rate, false));
        s.filters.push_back(Biquad::make(3400, rate, false));
    }
}

ToneFinder::~ToneFinder() = default;

void ToneFinder::push(std::span<const float> samples) {
    State& s = *state_;
    const std::size_t stretch = State::kStretchFrames * s.hop;
    for (const float sample : samples) {
        double v = sample;
        for (Biquad& f : s.filters)
            v = f(v);
        s.band.push_back(static_cast<float>(v));
        if (s.band.size() == stretch) {
            s.analyse(false);
            // The next stretch starts half-way: its first quarter was the core of this one.
            const std::size_t half = stretch / 2;
            s.band.erase(s.band.begin(), s.band.begin() + std::ptrdiff_t(half));
            s.bandStart += half;
            s.first = false;
        }
    }
}

void ToneFinder::finish() {
    state_->analyse(true);
    state_->band.clear();
}

std::vector<FoundTone> ToneFinder::take() {
    return std::exchange(state_->found, {});
}

// Finds the runs of tone in the stretch and keeps those that start in its core: the middle half,
// from the start of the recording for the first stretch and to its end for the last. A run
// starting in the core lies wholly in the stretch unless it is longer than 5 s.
void ToneFinder::State::analyse(bool last) {
    const std::size_t frames = band.size() / hop;
    if (frames == 0)
        return;
    energySum.assign(band.size() + 1, 0);
    for (std::size_t i = 0; i < band.size(); ++i)
        energySum[i + 1] = energySum[i] + double(band[i]) * band[i];
    envelope.resize(frames);
    for (std::size_t k = 0; k < frames; ++k) {
        const std::size_t centre = k * hop + hop / 2;
        const std::size_t from = centre > window / 2 ? centre - window / 2 : 0;
        const std::size_t to = std::min(band.size(), from + window);
        envelope[k] = (energySum[to] - energySum[from]) / double(to - from);
    }

    // Tones against the floor in the pauses: at least a tenth of every sequence is pause.
    sorted = envelope;
    const auto tenth = sorted.begin() + std::ptrdiff_t(sorted.size() / 10);
    std::nth_element(sorted.begin(), tenth, sorted.end());
    const double floor = *tenth;
    const double peak = *std::max_element(sorted.begin(), sorted.end());
    if (peak < 1e-10)
        return;
    const std::size_t quarter = kStretchFrames / 4;
    const std::size_t coreBegin = first ? 0 : quarter;
    const std::size_t coreEnd = last ? frames : 3 * quarter;
    if (peak < kClear * floor) {
        // Tones hidden in noise: found by their spectrum instead, in the core and as far
        // around it as a tone that starts there can reach (those of calls and sequences are
        // shorter than a second).
        const std::size_t from =
            coreBegin * hop > trackerContext(rate) ? coreBegin * hop - trackerContext(rate) : 0;
        const std::size_t to = std::min(band.size(), coreEnd * hop + 20 * trackerContext(rate));
        const double offset = double(bandStart + from) / rate;
        for (FoundTone tone : trackTones(std::span(band).subspan(from, to - from), rate)) {
            const double frame = (tone.start * rate + double(from)) / double(hop);
            if (frame >= double(coreBegin) && frame < double(coreEnd)) {
                tone.start += offset;
                found.push_back(tone);
            }
        }
        return;
    }
    // Midway in decibels, but at least 20 dB below the tones for clean recordings.
    const double threshold = std::max(std::sqrt(peak * floor), peak / 100);

    // Runs above the threshold; gaps shorter than a tone pause can be are closed.
    std::size_t runFirst = 0, runEnd = 0;
    bool open = false;
    for (std::size_t k = 0; k < frames;) {
        if (envelope[k] <= threshold) {
            ++k;
            continue;
        }
        std::size_t end = k;
        while (end < frames && envelope[end] > threshold)
            ++end;
        if (open && double(k - runEnd) * double(hop) / rate < kMinGap) {
            runEnd = end;
        } else {
            if (open && runFirst >= coreBegin && runFirst < coreEnd)
                addRun(runFirst, runEnd);
            runFirst = k;
            runEnd = end;
            open = true;
        }
        k = end;
    }
    if (open && runFirst >= coreBegin && runFirst < coreEnd)
        addRun(runFirst, runEnd);
}

void ToneFinder::State::addRun(std::size_t first, std::size_t end) {
    const std::size_t frames = envelope.size();
    if (double((end - first) * hop) / rate < kMinToneLength)
        return;
    // The edges are where the energy crosses half the tone's own: there the centred window
    // holds as much tone as pause, so the smoothing adds nothing to the length.
    std::vector<double> inside(envelope.begin() + std::ptrdiff_t(first),
                               envelope.begin() + std::ptrdiff_t(end));
    std::nth_element(inside.begin(), inside.begin() + std::ptrdiff_t(inside.size() / 2),
                     inside.end());
    const double half = inside[inside.size() / 2] / 2;
    // From the run's outermost frames at half or above: a dip inside the run (quieter, yet
    // above the threshold) stays part of the tone and cannot make its length negative.
    std::size_t lo = first, hi = end - 1;
    while (envelope[lo] < half)
        ++lo;
    while (envelope[hi] < half)
        --hi;
    while (lo > 0 && envelope[lo - 1] >= half)
        --lo;
    while (hi + 1 < frames && envelope[hi + 1] >= half)
        ++hi;
    double startFrame = double(lo), endFrame = double(hi);
    if (lo > 0)
        startFrame -= (envelope[lo] - half) / (envelope[lo] - envelope[lo - 1]);
    if (hi + 1 < frames)
        endFrame += (envelope[hi] - half) / (envelope[hi] - envelope[hi + 1]);
    const double offset = double(bandStart) / rate;
    const double start = (startFrame * double(hop) + double(hop) / 2) / rate;
    const double end_ = (endFrame * double(hop) + double(hop) / 2) / rate;

    const std::size_t a = first * hop, b = std::min(band.size(), end * hop);
    const std::size_t margin = window + static_cast<std::size_t>(rate * 0.002);
    const auto maxCount = static_cast<std::size_t>(rate * 0.03);
    // Measure the middle of a piece: up to 30 ms, clear of its edges.
    auto measure = [&](std::size_t from, std::size_t to, std::size_t fromMargin,
                       std::size_t toMargin) {
        std::size_t m = from + fromMargin, n = to > toMargin ? to - toMargin : from;
        if (n <= m + window) {
            m = from;
            n = to;
        }
        if (n - m > maxCount) {
            m = (m + n - maxCount) / 2;
            n = m + maxCount;
        }
        return measureFrequency(band.data() + m, n - m, rate);
    };
    const auto pieces = steadyPieces(band.data() + a, b - a, rate);
    if (pieces.size() == 1) {
        found.push_back({offset + start, end_ - start, measure(a, b, margin, margin)});
        return;
    }
    const auto inner = static_cast<std::size_t>(rate * 0.005);
    std::vector<FoundTone> tones;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const double from = i == 0 ? start : double(a + pieces[i].first) / rate;
        const double to = i + 1 == pieces.size() ? end_ : double(a + pieces[i].second) / rate;
        const double f = measure(a + pieces[i].first, a + pieces[i].second, i == 0 ? margin : inner,
                                 i + 1 == pieces.size() ? margin : inner);
        // Pieces that measure the same are one tone that the zero crossings split.
        if (!tones.empty() && std::fabs(f / tones.back().frequency - 1) < 0.03) {
            FoundTone& t = tones.back();
            if (to - from > t.length)
                t.frequency = f;
            t.length = offset + to - t.start;
            continue;
        }
        tones.push_back({offset + from, to - from, f});
    }
    found.insert(found.end(), tones.begin(), tones.end());
}

std::vector<FoundTone> findTones(const Recording& recording) {
    ToneFinder finder(recording.sampleRate);
    finder.push(recording.samples);
    finder.finish();
    std::vector<FoundTone> found = finder.take();
    // A tone's edges are interpolated between frames: keep them inside the recording.
    const double duration = double(recording.samples.size()) / recording.sampleRate;
    for (FoundTone& t : found) {
        const double end = std::min(t.start + t.length, duration);
        t.start = std::clamp(t.start, 0.0, duration);
        t.length = std::max(0.0, end - t.start);
    }
    return found;
}

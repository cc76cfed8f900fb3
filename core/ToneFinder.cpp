// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneFinder.h"
#include "ToneTracker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
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

// The tone band through the filters, sample by sample as one would; the filters' state stays in
// registers over a stretch.
template <std::size_t Count>
void filterBand(std::vector<Biquad>& filters, const float* in, std::size_t n, float* out) {
    std::array<Biquad, Count> local;
    std::copy_n(filters.begin(), Count, local.begin());
    for (std::size_t i = 0; i < n; ++i) {
        double v = in[i];
        for (Biquad& f : local)
            v = f(v);
        out[i] = static_cast<float>(v);
    }
    std::copy_n(local.begin(), Count, filters.begin());
}

// Input of 32 kHz and more is analysed at a whole fraction of its rate, 16 to 32 kHz (48 kHz at
// 16, 44.1 kHz at 22.05): the tones lie below 3.4 kHz, and every later step then handles a
// fraction of the samples, while the spectrum's frames keep the rate they had at 44.1 and 48 kHz
// (7.35 and 8 kHz). A linear-phase low-pass (Kaiser window, 60 dB) keeps what would fold into the
// tone band out of it; each output sample is centred on an input sample, so that times stay as
// they were.
class Decimator {
public:
    static std::size_t factorFor(double rate) {
        return std::max<std::size_t>(1, static_cast<std::size_t>(rate / 16000));
    }

    Decimator(double rate, std::size_t factor) : factor_(factor) {
        constexpr double kPass = 3400, kAttenuation = 60;
        const double stop = rate / double(factor) - kPass;
        const double width = 2 * std::numbers::pi * (stop - kPass) / rate;
        half_ = static_cast<std::size_t>(std::ceil((kAttenuation - 8) / (2.285 * width) / 2));
        const double beta = 0.1102 * (kAttenuation - 8.7);
        const double cutoff = 0.5 / double(factor); // cycles per input sample
        // The modified Bessel function I0, by its series.
        auto bessel = [](double x) {
            double sum = 1, term = 1;
            for (int k = 1; term > 1e-12 * sum; ++k) {
                term *= (x / (2 * k)) * (x / (2 * k));
                sum += term;
            }
            return sum;
        };
        std::vector<double> taps(2 * half_ + 1);
        double total = 0;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const double t = double(k) - double(half_);
            const double r = t / double(half_);
            const double sinc =
                t == 0 ? 1 : std::sin(2 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
            taps[k] = (t == 0 ? 2 * cutoff : sinc) * bessel(beta * std::sqrt(1 - r * r));
            total += taps[k];
        }
        // Rounded up to whole groups of four, the extra taps zero.
        taps_.assign((taps.size() + 3) / 4 * 4, 0.0f);
        for (std::size_t k = 0; k < taps.size(); ++k)
            taps_[k] = static_cast<float>(taps[k] / total);
        // Before the first sample lies silence.
        history_.assign(half_, 0.0f);
    }

    // The output samples that the input completes.
    void push(std::span<const float> in, std::vector<float>& out) {
        history_.insert(history_.end(), in.begin(), in.end());
        run(out);
    }
    // The end of the input: the output samples up to its last sample, silence after it.
    void finish(std::vector<float>& out) {
        history_.resize(history_.size() + half_ + (taps_.size() - 2 * half_ - 1), 0.0f);
        run(out);
    }

private:
    void run(std::vector<float>& out) {
        const std::size_t length = taps_.size();
        std::size_t at = 0;
        for (; at + length <= history_.size(); at += factor_) {
            const float* x = history_.data() + at;
            std::array<float, 4> sum{};
            for (std::size_t k = 0; k < length; k += 4)
                for (std::size_t j = 0; j < 4; ++j)
                    sum[j] += taps_[k + j] * x[k + j];
            out.push_back((sum[0] + sum[1]) + (sum[2] + sum[3]));
        }
        history_.erase(history_.begin(),
                       history_.begin() + std::ptrdiff_t(std::min(at, history_.size())));
    }

    std::size_t factor_, half_ = 0;
    std::vector<float> taps_;
    std::vector<float> history_; // from the first input sample of the next output's window
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
    // The floor and the peak of the band's energy are those of the last 20 s.
    static constexpr std::size_t kHistoryFrames = 20000;
    // Every 50 ms the frames read so far are looked at; a tone is told once 100 ms have passed
    // after its end with nothing that joins it, so that no later sample can change it.
    static constexpr std::size_t kStepFrames = 50, kSettleFrames = 100;
    // Before the first second there is no floor to speak of, unless the recording ends.
    static constexpr std::size_t kFirstFrames = 1000;
    // What has waited this long is no tone of a call or a sequence; memory stays bounded.
    static constexpr std::size_t kLongestFrames = 10000;
    // The band's energy in steps of 0.1 dB, from -200 dB (below: silence) to +10 dB.
    static constexpr int kBins = 2102;

    double rate = 0; // of the analysis: the input's, or a fraction of it
    std::size_t hop = 1, window = 1;
    std::unique_ptr<Decimator> decimator;
    std::vector<float> decimated; // of the block being pushed
    std::vector<Biquad> filters;
    std::vector<float> filtered; // a stretch through the filters
    std::vector<float> band;     // the tone band from bandStart on
    std::size_t bandStart = 0;   // sample of the recording, at the analysis's rate
    // The band's energy per millisecond, when the frames' windows are made of whole ones.
    bool chunked = false;
    std::vector<double> chunks; // from chunksStart on
    std::size_t chunksStart = 0;
    double chunk = 0;
    std::size_t inChunk = 0;
    std::vector<double> envelope;  // the band's energy per frame, from envelopeStart on
    std::size_t envelopeStart = 0; // frame of the recording
    std::size_t frames = 0;        // the frames known so far
    std::size_t committed = 0;     // frames before this are told
    std::vector<int> histogram;    // of the last kHistoryFrames frames' energy
    std::deque<std::size_t> peaks; // frames of decreasing energy: the history's peak first
    SpectralFrames spectral;
    std::vector<SpectralFrame> spectra; // consecutive, on the grid of spectral
    std::size_t spectraFirst = 0;       // grid index of spectra[0]
    std::vector<double> sorted;
    std::vector<FoundTone> found;

    // A tone found, with the frames its run covers.
    struct Candidate {
        FoundTone tone;
        std::size_t from, to;
    };
    std::vector<Candidate> candidates;

    explicit State(double r) : rate(r), spectral(r) {}
    double& energy(std::size_t frame) { return envelope[frame - envelopeStart]; }
    static int bin(double e) {
        return e < 1e-20 ? 0 : std::min(kBins - 1, 2001 + int(std::floor(100 * std::log10(e))));
    }
    void addSamples(std::span<const float> samples);
    void addFrame(bool clipped);
    void analyse(bool last);
    void energyTones(double floor, double peak, bool last, std::size_t& pending);
    void spectralTones();
    void addRun(std::size_t first, std::size_t end);
    void trim();
};

ToneFinder::ToneFinder(double rate) {
    if (!(rate >= kMinRate) || rate > 1e6)
        throw DecodeError("Die Abtastrate von " + std::to_string(std::lround(rate)) +
                          " Hz passt nicht zu den Tönen (erlaubt: 6000 bis 1000000 Hz).");
    const std::size_t factor = Decimator::factorFor(rate);
    state_ = std::make_unique<State>(rate / double(factor));
    State& s = *state_;
    if (factor > 1)
        s.decimator = std::make_unique<Decimator>(rate, factor);
    const double analysed = s.rate;
    // The band's energy over 3 ms, every millisecond.
    s.hop = std::max<std::size_t>(1, static_cast<std::size_t>(analysed / 1000));
    s.window = std::max<std::size_t>(1, static_cast<std::size_t>(analysed * 0.003));
    // The tone band alone: mains hum and its harmonics below, most of the noise above.
    s.filters = {Biquad::make(600, analysed, true), Biquad::make(600, analysed, true)};
    if (analysed > 8000) {
        s.filters.push_back(Biquad::make(3400, analysed, false));
        s.filters.push_back(Biquad::make(3400, analysed, false));
    }
    s.histogram.assign(State::kBins, 0);
    s.chunked = s.window % s.hop == 0 && (s.hop / 2 + 8 * s.hop - s.window / 2) % s.hop == 0;
}

ToneFinder::~ToneFinder() = default;

void ToneFinder::push(std::span<const float> samples) {
    State& s = *state_;
    if (s.decimator) {
        s.decimated.clear();
        s.decimator->push(samples, s.decimated);
        samples = s.decimated;
    }
    s.addSamples(samples);
}

// Each stretch up to where the next frame's window is complete goes through the filters at
// once; the frame, and the look at the frames, follow as each sample would have them.
void ToneFinder::State::addSamples(std::span<const float> samples) {
    while (!samples.empty()) {
        // The next frame's window, centred on its millisecond.
        const std::size_t centre = frames * hop + hop / 2;
        const std::size_t from = centre > window / 2 ? centre - window / 2 : 0;
        const std::size_t end = bandStart + band.size();
        const std::size_t n =
            std::min(samples.size(), from + window > end ? from + window - end : 1);
        filtered.resize(n);
        if (filters.size() == 4)
            filterBand<4>(filters, samples.data(), n, filtered.data());
        else
            filterBand<2>(filters, samples.data(), n, filtered.data());
        band.insert(band.end(), filtered.begin(), filtered.end());
        for (const float f : filtered) {
            chunk += double(f) * f;
            if (++inChunk == hop) {
                chunks.push_back(chunk);
                chunk = 0;
                inChunk = 0;
            }
        }
        samples = samples.subspan(n);
        if (end + n < from + window)
            continue;
        addFrame(false);
        if (frames % kStepFrames == 0 && frames >= kFirstFrames) {
            analyse(false);
            trim();
        }
    }
}

void ToneFinder::finish() {
    State& s = *state_;
    if (s.decimator) {
        s.decimated.clear();
        s.decimator->finish(s.decimated);
        s.addSamples(s.decimated);
    }
    while (s.frames < (s.bandStart + s.band.size()) / s.hop)
        s.addFrame(true);
    s.analyse(true);
    s.band.clear();
}

std::vector<FoundTone> ToneFinder::take() {
    return std::exchange(state_->found, {});
}

void ToneFinder::State::addFrame(bool clipped) {
    const std::size_t end = bandStart + band.size();
    const std::size_t centre = frames * hop + hop / 2;
    const std::size_t from = centre > window / 2 ? centre - window / 2 : 0;
    const std::size_t to = clipped ? std::min(end, from + window) : from + window;
    double sum = 0;
    if (chunked && !clipped) {
        for (std::size_t c = from / hop; c < to / hop; ++c)
            sum += chunks[c - chunksStart];
    } else {
        for (std::size_t i = from; i < to; ++i)
            sum += double(band[i - bandStart]) * band[i - bandStart];
    }
    const double e = to > from ? sum / double(to - from) : 0;
    envelope.push_back(e);
    ++histogram[std::size_t(bin(e))];
    if (frames >= kHistoryFrames)
        --histogram[std::size_t(bin(energy(frames - kHistoryFrames)))];
    while (!peaks.empty() && energy(peaks.back()) <= e)
        peaks.pop_back();
    peaks.push_back(frames);
    if (peaks.front() + kHistoryFrames <= frames)
        peaks.pop_front();
    ++frames;
}

// Finds the tones from the first frame not yet told to the frames known, and tells those that
// are over, with all that joins them.
void ToneFinder::State::analyse(bool last) {
    if (frames == 0)
        return;
    if (frames > committed + kLongestFrames)
        committed = frames - kLongestFrames;
    // Tones against the floor in the pauses: at least a tenth of every sequence is pause.
    const std::size_t count = std::min(frames, kHistoryFrames);
    std::size_t rank = count / 10, below = 0;
    int b = 0;
    while (below + std::size_t(histogram[std::size_t(b)]) <= rank)
        below += std::size_t(histogram[std::size_t(b++)]);
    const double floor = b == 0 ? 0 : std::pow(10.0, (b - 2001 + 0.5) / 100);
    const double peak = energy(peaks.front());
    candidates.clear();
    std::size_t pending = frames > kSettleFrames ? frames - kSettleFrames : 0;
    if (peak >= 1e-10) {
        if (peak < kClear * floor)
            // Tones hidden in noise: found by their spectrum instead.
            spectralTones();
        else
            energyTones(floor, peak, last, pending);
    }
    // Told are the tones that ended before the last 100 ms, unless one that follows joins them.
    const double limit =
        last ? std::numeric_limits<double>::infinity()
             : double(frames - std::min(frames, kSettleFrames)) * double(hop) / rate;
    std::size_t told = 0;
    while (told < candidates.size()) {
        const FoundTone& t = candidates[told].tone;
        if (t.start + t.length > limit)
            break;
        ++told;
    }
    auto joined = [&](std::size_t i) {
        const FoundTone& a = candidates[i - 1].tone;
        return candidates[i].tone.start - (a.start + a.length) < 0.002;
    };
    while (told > 0 && told < candidates.size() && joined(told))
        --told;
    for (std::size_t i = 0; i < told; ++i)
        found.push_back(candidates[i].tone);
    if (told < candidates.size())
        pending = std::min(pending, candidates[told].from);
    if (told > 0)
        pending = std::max(pending, candidates[told - 1].to);
    committed = std::max(committed, pending);
}
// Runs above the threshold from the first frame not yet told; gaps shorter than a tone pause
// can be are closed. A run that may still go on is left for later, and told from its start.
void ToneFinder::State::energyTones(double floor, double peak, bool last, std::size_t& pending) {
    // Midway in decibels, but at least 20 dB below the tones for clean recordings.
    const double threshold = std::max(std::sqrt(peak * floor), peak / 100);
    std::size_t runFirst = 0, runEnd = 0;
    bool open = false;
    // A run that may still go on, or ends too late to be told now, is measured later.
    auto close = [&] {
        if (last || runEnd + kSettleFrames <= frames)
            addRun(runFirst, runEnd);
        else
            pending = std::min(pending, runFirst);
    };
    for (std::size_t k = committed; k < frames;) {
        if (energy(k) <= threshold) {
            ++k;
            continue;
        }
        std::size_t end = k;
        while (end < frames && energy(end) > threshold)
            ++end;
        if (open && double(k - runEnd) * double(hop) / rate < kMinGap) {
            runEnd = end;
        } else {
            if (open)
                close();
            runFirst = k;
            runEnd = end;
            open = true;
        }
        k = end;
    }
    if (open)
        close();
}

// The spectrum's frames from a little before the first frame not yet told (each computed once,
// on the grid of the recording), and the tones that start after it.
void ToneFinder::State::spectralTones() {
    const std::size_t context = trackerContext(rate);
    const std::size_t from =
        std::max(bandStart, committed * hop > context ? committed * hop - context : 0);
    const std::size_t end = bandStart + band.size();
    const std::size_t stride = spectral.stride();
    const std::size_t first = (from + stride - 1) / stride;
    if (first < spectraFirst || first > spectraFirst + spectra.size())
        spectra.clear();
    else
        spectra.erase(spectra.begin(), spectra.begin() + std::ptrdiff_t(first - spectraFirst));
    spectraFirst = first;
    for (std::size_t j = spectraFirst + spectra.size(); j * stride + spectral.span() <= end; ++j)
        spectra.push_back(spectral.frame(band.data() + (j * stride - bandStart), j * stride));
    for (const FoundTone& tone :
         trackTones(spectra, std::span(band).subspan(from - bandStart), from, rate)) {
        const double start = tone.start * rate / double(hop);
        if (start < double(committed))
            continue;
        const double to = (tone.start + tone.length) * rate / double(hop);
        candidates.push_back({tone, static_cast<std::size_t>(start),
                              static_cast<std::size_t>(std::ceil(std::max(start, to)))});
    }
}

// Drops the band and the energy that no tone still to be told needs.
void ToneFinder::State::trim() {
    constexpr std::size_t kSlack = 1 << 16;
    const std::size_t context = trackerContext(rate);
    const std::size_t centre = frames * hop + hop / 2;
    const std::size_t keep = std::min(committed * hop > context ? committed * hop - context : 0,
                                      centre > window / 2 ? centre - window / 2 : 0);
    if (keep > bandStart + kSlack) {
        band.erase(band.begin(), band.begin() + std::ptrdiff_t(keep - bandStart));
        bandStart = keep;
    }
    const std::size_t keepChunk =
        std::min(keep, centre > window / 2 ? centre - window / 2 : 0) / hop;
    if (keepChunk > chunksStart + kSlack) {
        chunks.erase(chunks.begin(), chunks.begin() + std::ptrdiff_t(keepChunk - chunksStart));
        chunksStart = keepChunk;
    }
    const std::size_t keepFrame =
        std::min(committed, frames > kHistoryFrames ? frames - kHistoryFrames : 0);
    if (keepFrame > envelopeStart + kSlack) {
        envelope.erase(envelope.begin(),
                       envelope.begin() + std::ptrdiff_t(keepFrame - envelopeStart));
        envelopeStart = keepFrame;
    }
}

void ToneFinder::State::addRun(std::size_t first, std::size_t end) {
    if (double((end - first) * hop) / rate < kMinToneLength)
        return;
    // The edges are where the energy crosses half the tone's own: there the centred window
    // holds as much tone as pause, so the smoothing adds nothing to the length.
    std::vector<double> inside(envelope.begin() + std::ptrdiff_t(first - envelopeStart),
                               envelope.begin() + std::ptrdiff_t(end - envelopeStart));
    std::nth_element(inside.begin(), inside.begin() + std::ptrdiff_t(inside.size() / 2),
                     inside.end());
    const double half = inside[inside.size() / 2] / 2;
    // From the run's outermost frames at half or above: a dip inside the run (quieter, yet
    // above the threshold) stays part of the tone and cannot make its length negative.
    std::size_t lo = first, hi = end - 1;
    while (energy(lo) < half)
        ++lo;
    while (energy(hi) < half)
        --hi;
    while (lo > envelopeStart && energy(lo - 1) >= half)
        --lo;
    while (hi + 1 < frames && energy(hi + 1) >= half)
        ++hi;
    double startFrame = double(lo), endFrame = double(hi);
    if (lo > envelopeStart)
        startFrame -= (energy(lo) - half) / (energy(lo) - energy(lo - 1));
    if (hi + 1 < frames)
        endFrame += (energy(hi) - half) / (energy(hi) - energy(hi + 1));
    const double start = (startFrame * double(hop) + double(hop) / 2) / rate;
    const double end_ = (endFrame * double(hop) + double(hop) / 2) / rate;

    const std::size_t a = first * hop - bandStart, b = std::min(band.size(), end * hop - bandStart);
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
        candidates.push_back({{start, end_ - start, measure(a, b, margin, margin)}, first, end});
        return;
    }
    const auto inner = static_cast<std::size_t>(rate * 0.005);
    std::vector<FoundTone> tones;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const double from = i == 0 ? start : double(bandStart + a + pieces[i].first) / rate;
        const double to =
            i + 1 == pieces.size() ? end_ : double(bandStart + a + pieces[i].second) / rate;
        const double f = measure(a + pieces[i].first, a + pieces[i].second, i == 0 ? margin : inner,
                                 i + 1 == pieces.size() ? margin : inner);
        // Pieces that measure the same are one tone that the zero crossings split.
        if (!tones.empty() && std::fabs(f / tones.back().frequency - 1) < 0.03) {
            FoundTone& t = tones.back();
            if (to - from > t.length)
                t.frequency = f;
            t.length = to - t.start;
            continue;
        }
        tones.push_back({from, to - from, f});
    }
    for (const FoundTone& t : tones)
        candidates.push_back({t, first, end});
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

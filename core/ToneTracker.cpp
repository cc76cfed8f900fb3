// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToneTracker.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using Complex = std::complex<double>;

constexpr double kWindow = 0.020, kHop = 0.005;
// A frame is tonal when its strongest bin holds this many times the band's median bin: noise
// alone reaches about six times, a tone as loud as the band's noise over forty.
constexpr double kTonal = 15;
// Frames of one tone stay within this of the tone's median frequency; the tones of a system lie
// 6.5 % apart or more.
constexpr double kSteady = 0.015;
// Fewer frames than this are no tone: noise alone makes runs of a few frames, as neighbouring
// windows share most of their samples; a 20 ms window fits a 40 ms tone five times.
constexpr std::size_t kMinFrames = 5;
// Tones whose frames lie this close follow one another without a pause.
constexpr std::size_t kJoinFrames = 3;
// How far outside its frames a tone's outer edge is looked for.
constexpr double kReach = 0.030;
// The level of a frequency is read over this window.
constexpr double kLevelWindow = 0.005;

double norm(const Complex& c) {
    return c.real() * c.real() + c.imag() * c.imag();
}

} // namespace

// The spectrum of real frames of one size, a power of two of at least four: half as long a
// complex transform of the even and odd samples, then split. Factors and the order of the
// samples are computed once; real and imaginary parts lie apart, which the processor takes
// fastest.
class SpectralFrames::Spectrum {
public:
    explicit Spectrum(std::size_t size)
        : half_(size / 2), order_(half_), cos_(half_), sin_(half_), re_(half_ + 1), im_(half_ + 1) {
        for (std::size_t i = 0, j = 0; i < half_; ++i) {
            order_[i] = j;
            std::size_t bit = half_ >> 1;
            for (; bit != 0 && (j & bit) != 0; bit >>= 1)
                j ^= bit;
            j |= bit;
        }
        for (std::size_t k = 0; k < half_; ++k) {
            cos_[k] = std::cos(std::numbers::pi * double(k) / double(half_));
            sin_[k] = -std::sin(std::numbers::pi * double(k) / double(half_));
        }
    }

    // The power of bins 0 to size / 2 of frame (size samples).
    void power(const std::vector<double>& frame, std::vector<double>& out) {
        for (std::size_t i = 0; i < half_; ++i) {
            re_[i] = frame[2 * order_[i]];
            im_[i] = frame[2 * order_[i] + 1];
        }
        for (std::size_t length = 2; length <= half_; length <<= 1) {
            const std::size_t half = length / 2, stride = 2 * half_ / length;
            for (std::size_t i = 0; i < half_; i += length)
                for (std::size_t k = 0; k < half; ++k) {
                    const double wr = cos_[k * stride], wi = sin_[k * stride];
                    const std::size_t p = i + k, q = p + half;
                    const double vr = re_[q] * wr - im_[q] * wi, vi = re_[q] * wi + im_[q] * wr;
                    re_[q] = re_[p] - vr;
                    im_[q] = im_[p] - vi;
                    re_[p] += vr;
                    im_[p] += vi;
                }
        }
        re_[half_] = re_[0];
        im_[half_] = im_[0];
        out.resize(half_ + 1);
        for (std::size_t k = 0; k <= half_; ++k) {
            // The transforms of the even and of the odd samples, from bins k and half - k.
            const std::size_t m = half_ - k;
            const double er = (re_[k] + re_[m]) / 2, ei = (im_[k] - im_[m]) / 2;
            const double orr = (im_[k] + im_[m]) / 2, oi = -(re_[k] - re_[m]) / 2;
            const double wr = k < half_ ? cos_[k] : -1, wi = k < half_ ? sin_[k] : 0;
            const double xr = er + orr * wr - oi * wi, xi = ei + orr * wi + oi * wr;
            out[k] = xr * xr + xi * xi;
        }
    }

private:
    std::size_t half_;
    std::vector<std::size_t> order_;
    std::vector<double> cos_, sin_, re_, im_;
};

SpectralFrames::SpectralFrames(double rate)
    // The band ends at 3400 Hz: every step-th sample of it, at 7000 Hz or more, still carries it.
    : step_(std::max<std::size_t>(1, static_cast<std::size_t>(rate / 7000))),
      n_(static_cast<std::size_t>(std::lround(kWindow * rate / double(step_)))),
      hop_(std::max<std::size_t>(
          1, static_cast<std::size_t>(std::lround(kHop * rate / double(step_))))) {
    const double fs = rate / double(step_);
    size_ = 1;
    while (size_ < n_)
        size_ <<= 1;
    spectrum_ = std::make_unique<Spectrum>(size_);
    lo_ = static_cast<std::size_t>(std::ceil(650.0 * double(size_) / fs));
    hi_ = std::min(size_ / 2 - 2, static_cast<std::size_t>(3300.0 * double(size_) / fs));
    binHz_ = fs / double(size_);
    window_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i)
        window_[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (double(i) + 0.5) / double(n_));
    // Digital silence has no noise for a tone to stand out from: a tone must also be audible.
    audible_ = std::pow(3e-4 * double(n_) / 4, 2);
    buffer_.resize(size_);
}

SpectralFrames::~SpectralFrames() = default;

SpectralFrame SpectralFrames::frame(const float* samples, std::size_t at) {
    for (std::size_t i = 0; i < n_; ++i)
        buffer_[i] = double(samples[i * step_]) * window_[i];
    spectrum_->power(buffer_, power_);
    std::size_t best = lo_;
    for (std::size_t k = lo_; k <= hi_; ++k)
        if (power_[k] > power_[best])
            best = k;
    const double peak = power_[best];
    // The peak is kTonal times the band's median bin or more when more than half of the bins
    // hold less than a kTonal-th of it: counted, not sorted.
    std::size_t quiet = 0;
    for (std::size_t k = lo_; k <= hi_; ++k)
        quiet += kTonal * power_[k] < peak ? 1 : 0;
    // The peak between the bins: a parabola through the logarithmic powers around it.
    const double l = std::log(power_[best - 1] + 1e-300), c = std::log(peak + 1e-300),
                 r = std::log(power_[best + 1] + 1e-300);
    const double curvature = l - 2 * c + r;
    const double offset = curvature < 0 ? std::clamp(0.5 * (l - r) / curvature, -0.5, 0.5) : 0;
    return {at + n_ / 2 * step_, (double(best) + offset) * binHz_,
            quiet > (hi_ - lo_ + 1) / 2 && peak > audible_};
}

namespace {

// The level of one frequency over a short window centred anywhere in [from, to) of the band.
class Level {
public:
    Level(std::span<const float> band, double rate, double frequency, std::size_t from,
          std::size_t to)
        : from_(from), to_(std::max(from + 1, to)),
          box_(std::max<std::size_t>(1, static_cast<std::size_t>(rate * kLevelWindow))),
          sum_(to_ - from_ + 1) {
        // The sample times a turning phasor, renewed now and then against rounding.
        const Complex turn = std::polar(1.0, -2 * std::numbers::pi * frequency / rate);
        Complex phasor;
        for (std::size_t k = from_; k < to_; ++k) {
            if ((k - from_) % 1024 == 0)
                phasor = std::polar(1.0, -2 * std::numbers::pi * frequency / rate * double(k));
            sum_[k - from_ + 1] = sum_[k - from_] + double(band[k]) * phasor;
            phasor *= turn;
        }
    }
    double operator()(std::size_t k) const {
        const std::size_t low = from_ + box_ / 2, high = std::max(low, to_ - box_ / 2);
        const std::size_t a = std::clamp(k, low, high) - box_ / 2;
        return norm(sum_[std::min(a + box_, to_) - from_] - sum_[a - from_]);
    }

private:
    std::size_t from_, to_, box_;
    std::vector<Complex> sum_;
};

struct Track {
    std::size_t first, last; // frames
    double frequency;        // their median
};

// Runs of tonal frames of one frequency; a single frame lost in the noise does not end one, and
// runs that follow one another at nearly one frequency are one tone whose first frames the
// noise pulled aside.
std::vector<Track> findTracks(std::span<const SpectralFrame> frames) {
    std::vector<Track> runs;
    std::vector<double> seen; // the run's frequencies, sorted
    auto median = [&] { return seen[seen.size() / 2]; };
    auto steady = [&](std::size_t j) {
        return frames[j].tonal && std::fabs(frames[j].frequency / median() - 1) < kSteady;
    };
    for (std::size_t k = 0; k < frames.size();) {
        if (!frames[k].tonal) {
            ++k;
            continue;
        }
        Track run{k, k, 0};
        seen.assign(1, frames[k].frequency);
        if (!runs.empty() && k - runs.back().last <= kJoinFrames &&
            std::fabs(frames[k].frequency / runs.back().frequency - 1) < 2 * kSteady) {
            run = runs.back();
            runs.pop_back();
            seen.clear();
            for (std::size_t j = run.first; j <= run.last; ++j)
                if (frames[j].tonal)
                    seen.push_back(frames[j].frequency);
            seen.push_back(frames[k].frequency);
            std::sort(seen.begin(), seen.end());
            run.last = k;
        }
        for (std::size_t j = run.last + 1; j < frames.size(); ++j) {
            if (!steady(j)) {
                if (j + 1 < frames.size() && steady(j + 1))
                    continue;
                break;
            }
            run.last = j;
            seen.insert(std::upper_bound(seen.begin(), seen.end(), frames[j].frequency),
                        frames[j].frequency);
        }
        run.frequency = median();
        runs.push_back(run);
        k = run.last + 1;
    }
    std::erase_if(runs, [](const Track& t) { return t.last - t.first + 1 < kMinFrames; });
    return runs;
}

} // namespace

std::vector<FoundTone> trackTones(std::span<const SpectralFrame> frames,
                                  std::span<const float> band, std::size_t bandStart, double rate) {
    const std::vector<Track> tracks = findTracks(frames);
    const auto reach = static_cast<std::size_t>(rate * kReach);
    const auto box = static_cast<std::size_t>(rate * kLevelWindow);
    std::vector<FoundTone> tones(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const std::size_t s0 = frames[tracks[i].first].centre - bandStart,
                          e0 = frames[tracks[i].last].centre - bandStart;
        const std::size_t from = s0 > reach ? s0 - reach : 0;
        const std::size_t to = std::min(band.size(), e0 + reach);
        const Level own(band, rate, tracks[i].frequency, from, to);
        // A window half over the tone holds a quarter of its power.
        std::vector<double> inside;
        for (std::size_t k = s0; k <= e0; k += box)
            inside.push_back(own(k));
        std::nth_element(inside.begin(), inside.begin() + std::ptrdiff_t(inside.size() / 2),
                         inside.end());
        const double edge = inside[inside.size() / 2] / 4;
        tones[i].frequency = tracks[i].frequency;
        if (i == 0 || tracks[i].first - tracks[i - 1].last > kJoinFrames) {
            std::size_t k = s0;
            while (k < e0 && own(k) < edge)
                ++k;
            while (k > from && own(k - 1) >= edge)
                --k;
            tones[i].start = double(k + bandStart) / rate;
        }
        double end = 0;
        if (i + 1 == tracks.size() || tracks[i + 1].first - tracks[i].last > kJoinFrames) {
            std::size_t k = e0;
            while (k > s0 && own(k) < edge)
                --k;
            while (k + 1 < to && own(k + 1) >= edge)
                ++k;
            end = double(k + 1 + bandStart) / rate;
        } else {
            // Where the next tone's level overtakes this one's.
            const std::size_t next = frames[tracks[i + 1].first].centre - bandStart;
            const Level other(band, rate, tracks[i + 1].frequency, e0, next + 1);
            std::size_t k = e0;
            while (k < next && own(k) > other(k))
                ++k;
            end = double(k + bandStart) / rate;
            tones[i + 1].start = end;
        }
        tones[i].length = end - tones[i].start;
    }
    return tones;
}

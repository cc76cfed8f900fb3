// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestCall.h"

#include "Addresses.h"
#include "Cp1252.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double phaseStep(uint16_t frequency) {
    return kTwoPi * frequency / kSampleRate;
}

uint8_t sampleOf(double value) {
    // Round half to even, as the programming sequence does; clamped for amplitudes above 127.
    return static_cast<uint8_t>(std::clamp(std::nearbyint(value + kSilence), 0.0, 255.0));
}

} // namespace

uint16_t toneLengthMs(int button) {
    return button >= 1 && button <= 3 ? kToneLengthButtons[button - 1] : kToneLengthButtons[1];
}

std::vector<uint16_t> testCallTones(const std::string& address, uint8_t tonsys,
                                    const TToneTable& table) {
    std::vector<uint16_t> tones;
    for (const char c : address) {
        const int index = addressToneIndex(c);
        if (index < 0)
            throw TestCallError("Das Zeichen \"" + platform::cp1252ToUtf8(std::string(1, c)) +
                                "\" gehört in keine Rufadresse.");
        const uint16_t f = table.tone(tonsys, index);
        if (f == 0)
            throw TestCallError(std::string("Im Tonsystem ") + toneSystemCaption(tonsys) +
                                " gibt es keinen Ton für \"" + c + "\".");
        tones.push_back(f);
    }
    return tones;
}

std::optional<std::string> testCallProblem(const std::string& address, uint8_t len, uint8_t tonsys,
                                           const TToneTable& table) {
    if (address.size() != len)
        return "Die Rufadresse braucht für \"" + std::to_string(len) + " Ton\" genau " +
               std::to_string(len) + " Zeichen (sie hat " + std::to_string(address.size()) + ").";
    try {
        testCallTones(address, tonsys, table);
    } catch (const TestCallError& e) {
        return e.what();
    }
    return std::nullopt;
}

TestCallPlan planTestCall(const ProgSettings& settings, const std::string& address,
                          uint8_t amplitude, bool siren, const TToneTable& table) {
    const uint8_t len = adresseLenForEvaluator(settings.evaluator);
    TestCall call;
    call.address = normaliseRepeats(address, len);
    call.tonsys = settings.tonsys;
    call.toneLength = toneLengthMs(toneLengthButtonFor(settings.tonsys));
    call.amplitude = amplitude;
    call.siren = siren;
    if (auto problem = testCallProblem(call.address, len, call.tonsys, table))
        return {std::nullopt, std::move(*problem)};
    return {std::move(call), {}};
}

TestCallSamples testCallSamples(const ProgSettings& settings, const std::string& address,
                                uint8_t amplitude, bool siren, const TToneTable& table) {
    const TestCallPlan plan = planTestCall(settings, address, amplitude, siren, table);
    if (!plan.call)
        return {{}, plan.problem};
    return {renderTestCall(*plan.call, table), {}};
}

std::vector<ToneSegment> testCallSegments(const TestCall& call, const TToneTable& table) {
    const std::vector<uint16_t> tones = testCallTones(call.address, call.tonsys, table);
    std::vector<ToneSegment> segments;
    for (int repetition = 0; repetition < 2; ++repetition) {
        segments.push_back({0, kCallLeadIn});
        for (const uint16_t f : tones)
            segments.push_back({f, call.toneLength});
    }
    segments.push_back({0, kCallTail});
    return segments;
}

std::size_t testCallSampleCount(std::size_t characters, uint16_t toneLength, bool siren) {
    const std::size_t call = characters * sampleCount(toneLength);
    return 2 * (sampleCount(kCallLeadIn) + call) +
           (siren ? sampleCount(kSirenPause) + sampleCount(kSirenLength) : 0) +
           sampleCount(kCallTail);
}

std::vector<uint8_t> renderTestCall(const TestCall& call, const TToneTable& table) {
    const std::vector<uint16_t> tones = testCallTones(call.address, call.tonsys, table);
    std::vector<uint8_t> out;
    out.reserve(testCallSampleCount(tones.size(), call.toneLength, call.siren));
    const double a = call.amplitude;
    for (int repetition = 0; repetition < 2; ++repetition) {
        out.insert(out.end(), sampleCount(kCallLeadIn), kSilence);
        // The phase runs on across the tones: a change of frequency makes no click.
        double phase = 0;
        for (const uint16_t f : tones) {
            const double step = phaseStep(f);
            for (std::size_t n = 0; n < sampleCount(call.toneLength); ++n) {
                phase = std::fmod(phase + step, kTwoPi);
                out.push_back(sampleOf(std::sin(phase) * a));
            }
        }
    }
    if (call.siren) {
        const double low = phaseStep(kSirenLow), high = phaseStep(kSirenHigh);
        out.insert(out.end(), sampleCount(kSirenPause), kSilence);
        const std::size_t count = sampleCount(kSirenLength);
        for (std::size_t n = 1; n <= count; ++n) {
            const double value =
                std::sin(std::fmod(n * low, kTwoPi)) + std::sin(std::fmod(n * high, kTwoPi));
            out.push_back(sampleOf(value * a / 2));
        }
    }
    out.insert(out.end(), sampleCount(kCallTail), kSilence);
    return out;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgEngine.h"

#include "TestCall.h"

std::optional<std::string> addressesProblem(const ProgSettings& settings, const TToneTable& table) {
    if (auto message = checkAddresses(settings.addresses, settings.adresseLen()))
        return message;
    for (std::size_t n = 0; n < settings.addresses.size(); ++n) {
        const AddressSlot& slot = settings.addresses[n];
        if (!slot.checked)
            continue;
        try {
            testCallTones(slot.text, settings.tonsys, table);
        } catch (const TestCallError& e) {
            return "Rufadresse " + std::to_string(n + 1) + ": " + e.what();
        }
    }
    return std::nullopt;
}

ProgTonesResult progTones(ProgSettings settings, const TToneTable& table) {
    for (AddressSlot& slot : settings.addresses)
        slot.text = normaliseRepeats(slot.text, settings.adresseLen());
    if (auto message = addressesProblem(settings, table))
        return {false, std::move(*message), {}};
    return {true, {}, EncodeProgTones(settings, table)};
}

ProgTonesResult progTones(const ProgSettings& settings) {
    TToneTable table;
    fillToneTable(table);
    return progTones(settings, table);
}

std::vector<ToneSegment> progSegments(const TProgTones& tones, const ExpertValues& expert) {
    return toneSequence(tones, expert.toneLength, expert.tonePause, expert.blockPause);
}

std::vector<uint8_t> progSamples(const TProgTones& tones, const ExpertValues& expert) {
    return renderSequence(progSegments(tones, expert), expert.amplitude);
}

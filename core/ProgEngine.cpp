// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgEngine.h"

ProgTonesResult progTones(ProgSettings settings, const TToneTable& table) {
    for (AddressSlot& slot : settings.addresses)
        slot.text = normaliseRepeats(slot.text, settings.adresseLen);
    if (auto message = checkAddresses(settings.addresses, settings.adresseLen))
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

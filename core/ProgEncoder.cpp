// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgEncoder.h"

#include "Cp1252.h"

namespace {

constexpr int kToneLengthIndex[] = {3, 2, 2}; // 40, 70, 100 ms
constexpr int kLenModeIndex[] = {4, 5};       // Normal, Langton
constexpr int kEvaluatorIndex[] = {2, 9, 8};  // 5, 4, 3 Ton
constexpr int kSwitchModeIndex[] = {7, 8, 9,
                                    2}; // Schaltbar, Immer ein, Immer lautlos, Ein + Mithören

int encodedToneIndex(char c, const TToneTable& table, uint8_t tonsys) {
    // A 'G' only where the system has a twelfth tone.
    const int index = ::addressToneIndex(c);
    if (index >= 0 && table.tone(tonsys, index) != 0)
        return index;
    throw EConvertError("Das Zeichen \"" + platform::cp1252ToUtf8(std::string(1, c)) +
                        "\" lässt sich in keinen Ton umsetzen");
}

} // namespace

int ProgSettings::toneLength() const {
    return toneLengthButtonFor(tonsys);
}

uint8_t ProgSettings::adresseLen() const {
    return adresseLenForEvaluator(evaluator);
}

TProgTones EncodeProgTones(const ProgSettings& s, const TToneTable& table) {
    TProgTones tones{};
    auto tone = [&](int index) { return table.tone(s.tonsys, index); };

    int checked = 0;
    for (const AddressSlot& slot : s.addresses)
        checked += slot.checked ? 1 : 0;

    tones[0] = tone(0);
    tones[1] = tone(kToneLengthIndex[s.toneLength() - 1]);
    tones[2] = tone(kLenModeIndex[s.lenMode - 1]);
    tones[3] = tone(kEvaluatorIndex[s.evaluator - 1]);
    tones[4] = tone(2 + checked);
    tones[5] = tone(kSwitchModeIndex[s.switchMode - 1]);

    // Checked addresses fill the blocks without gaps; a block always takes five slots.
    int next = kBlockASlots;
    for (const AddressSlot& slot : s.addresses) {
        if (!slot.checked)
            continue;
        for (int k = 0; k < s.adresseLen(); ++k)
            tones[next + k] = tone(encodedToneIndex(slot.text.at(k), table, s.tonsys));
        next += kAddressBlockSlots;
    }
    return tones;
}

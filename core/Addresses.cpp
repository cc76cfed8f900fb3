// SPDX-License-Identifier: GPL-3.0-or-later
#include "Addresses.h"

#include <algorithm>

char32_t filterAddressKey(char32_t c) {
    if (c == 8)
        return c;
    if (c == U'g')
        c = U'G';
    return (c >= U'0' && c <= U'9') || c == U'G' ? c : 0;
}

uint8_t adresseLenForEvaluator(int k) {
    return static_cast<uint8_t>(6 - k);
}

std::string cutAddress(const std::string& text, uint8_t len) {
    return text.substr(0, len);
}

std::string normaliseRepeats(std::string text, uint8_t len) {
    if (text.size() != len)
        return text;
    // Compares with the predecessor as already replaced, so a run alternates: 11111 -> 1R1R1.
    for (std::size_t p = 1; p < text.size(); ++p)
        if (text[p] == text[p - 1])
            text[p] = 'R';
    return text;
}

int incompleteAddress(const AddressSlots& slots, uint8_t len) {
    int incomplete = 0;
    for (int n = 0; n < 4; ++n)
        if (slots[n].checked && slots[n].text.size() != len)
            incomplete = n + 1; // the highest such slot is named
    return incomplete;
}

std::optional<std::string> checkAddresses(const AddressSlots& slots, uint8_t len) {
    const int incomplete = incompleteAddress(slots, len);
    const bool anyChecked =
        std::any_of(slots.begin(), slots.end(), [](const AddressSlot& s) { return s.checked; });
    if (incomplete != 0)
        return "Rufadresse " + std::to_string(incomplete) + " ist unnvollständig.";
    if (!anyChecked)
        return "Keine Rufadressen zum Programmieren gewählt.";
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            if (slots[a].checked && slots[b].checked && slots[a].text == slots[b].text)
                return "Rufadresse doppelt vorhanden.";
    return std::nullopt;
}

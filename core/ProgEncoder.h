// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the main window's settings and checked addresses into the 26 programming tones.
#include "Addresses.h"
#include "ProgTones.h"
#include "ToneTable.h"

#include <stdexcept>

// An address character that cannot be converted into a tone; its message (German, without a
// final period, which the default error box adds) is the one that box shows.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user's choices as the main window holds them: the checked option of each group, numbered
// from 1 as the buttons are, and the four addresses. The defaults are the start-up state. The
// programming-data file stores all but the tone-length button and `AdresseLen`, which follow the
// tone system and the evaluator as their click handlers set them.
struct ProgSettings {
    uint8_t tonsys = 1; // `Tonsys`, 1 to 7; "TS"
    int lenMode = 1;    // "TL": 1 "Normal", 2 "Langton"
    int evaluator = 1;  // "AW": 1 "5 Ton", 2 "4 Ton", 3 "3 Ton"
    int switchMode = 1; // "SM": 1 "Schaltbar" to 4 "Ein + Mithören"
    AddressSlots addresses{{{true, "57434"}, {}, {}, {}}};

    // What follows from these choices, as the main window's click handlers set it: the
    // tone-length button the tone system allows (1 "40 ms", 2 "70 ms", 3 "100 ms"), and
    // `AdresseLen`, the address length the evaluator asks for (5, 4 or 3).
    int toneLength() const;
    uint8_t adresseLen() const;

    bool operator==(const ProgSettings&) const = default;
};

// Relies on the address check having passed. An address character that is neither a digit,
// 'R', nor a 'G' with a twelfth tone in this system throws EConvertError
// ("Das Zeichen "X" lässt sich in keinen Ton umsetzen"). progTones (ProgEngine.h) refuses such
// an address with a message of its own before it encodes.
TProgTones EncodeProgTones(const ProgSettings& settings, const TToneTable& table);

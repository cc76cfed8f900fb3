// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check at the cable: a recording of a send, taken at the receiver's input, compared tone
// by tone with what was sent (frequency, length, the pauses between, level and clipping).
#include "Recording.h"
#include "ToneSequence.h"

#include <string>
#include <vector>

struct CheckedTone {
    int number = 0;             // from 1, in the order sent
    uint16_t sentFrequency = 0; // Hz
    uint16_t sentLength = 0;    // ms
    bool heard = false;
    double heardFrequency = 0; // Hz, as measured
    double heardLength = 0;    // ms
    double offset = 0;         // ms, its start against where the sequence puts it
};

struct SendCheck {
    std::vector<CheckedTone> tones;
    int heard = 0;
    double level = -200; // dBFS of the heard tones' amplitude (a full-scale sine is 0 dBFS)
    bool clipped = false;
    bool ok = false;
    // One line for the dialog's status and zuvela-cli: "✔ Geprüft: 26 von 26 Tönen, Pegel
    // −9 dBFS", "✘ Ton 7 fehlt", "✘ Übersteuert", "✘ Zu laut: Pegel −2 dBFS", "✘ Nichts
    // gehört – Kabel und Eingang prüfen". A level the level check would refuse fails.
    std::string summary;
};

// The recording, begun a little before the send and ended a little after it, against the
// segments sent. A tone counts as heard when a tone within 2.5 % of its frequency starts within
// 25 ms of where the sequence puts it (the sequence's start taken from the recording), and is
// at least half as long.
SendCheck checkSend(const std::vector<ToneSegment>& sent, const Recording& recording);

// The details in aligned columns, a head line and then a line a tone:
// "  7  1981 Hz  100 ms    1979,6 Hz   99 ms    −0,1 %   −1 ms  Beginn   2 ms"; a deviation
// that rounds to zero is written 0.
std::vector<std::string> sendCheckDetails(const SendCheck& check);

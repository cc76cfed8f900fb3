// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way from the user's choices to what is sent, for the windows, zuvela-cli and the
// browser page alike: the settings give the checked addresses and the 26 tones ("Programmieren"),
// the tones and the expert values give the segments and the samples ("OK und los !").
#include "ExpertValues.h"
#include "ProgEncoder.h"
#include "ToneSequence.h"

#include <optional>
#include <string>
#include <vector>

struct ProgTonesResult {
    bool ok = false;
    std::string message; // when not ok: the address check's message (UTF-8), for the user
    TProgTones tones{};  // when ok
};

// Why the settings' addresses, as they stand (completed, as leaving their fields completes
// them), can be neither programmed nor saved, or nothing when they can: the address check's
// message (checkAddresses), else for the first checked address with a character that has no
// tone in the tone system, "Rufadresse N: " and the test call's reason (testCallTones), such as
// "Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für "G"." The windows, zuvela-cli and
// the browser page show this text alike.
std::optional<std::string> addressesProblem(const ProgSettings& settings, const TToneTable& table);

// Completes the addresses as leaving their fields does (repeats become 'R'), checks them
// (addressesProblem: a failing check is the result's message) and encodes the tones with the
// table.
ProgTonesResult progTones(ProgSettings settings, const TToneTable& table);
// The same with the tone table filled as the main window fills it.
ProgTonesResult progTones(const ProgSettings& settings);

// The tones and pauses the dialog sends, and their 8-bit samples at 22050 per second.
std::vector<ToneSegment> progSegments(const TProgTones& tones, const ExpertValues& expert);
std::vector<uint8_t> progSamples(const TProgTones& tones, const ExpertValues& expert);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One send of samples through a component's player, made the same way by the programming
// dialog and by zuvela-cli: the start with its check, and how the send ended, as a result
// that is a type, not a text to compare.
#include "UserTexts.h"

#include <QString>

#include <cstdint>
#include <vector>

class TAudio;

enum class TSendResult {
    Started,     // playing; OnPlayed follows
    NotStarted,  // the device or the play file failed; nothing plays
    Sent,        // every sample reached the device without a break
    Interrupted, // it ended with a break or a lost device: the receiver is not programmed
    Stopped,     // Stop ended it (the dialog closed, Ctrl+C)
};

struct TSendStatus {
    TSendResult result;
    QString message; // for NotStarted and Interrupted: what the user is told
};

// Starts the samples on the player (the caller may free them at once).
TSendStatus startSend(TAudio& audio, const std::vector<uint8_t>& samples);
// How the send ended, once OnPlayed has fired.
TSendStatus sendEnd(const TAudio& audio);

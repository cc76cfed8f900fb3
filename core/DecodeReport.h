// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a decoded programming sequence is shown as: the tones as the dialog lists them, the
// settings they encode (each group's chosen option, the four addresses), the measured lengths
// and the decoder's notes. zuvela-cli prints it; the page shows it.
#include "SequenceDecoder.h"

#include <string>

// UTF-8 lines, each ending in a line feed.
std::string decodeReport(const DecodedSequence& decoded);

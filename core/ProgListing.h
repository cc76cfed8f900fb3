// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "ProgTones.h"

#include <array>
#include <string>
#include <vector>

// The programming dialog's listing of the tones, block by block (UTF-8 lines).
// An address block whose first slot is empty ends the listing, as it ends the send.
std::vector<std::string> progListingLines(const TProgTones& tones);
// The line of the listing (0-based) that shows each slot's tone; -1 for a slot it does not
// list (an empty address slot, a block after the end of the listing).
std::array<int, std::tuple_size_v<TProgTones>> progListingSlotLines(const TProgTones& tones);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "ProgTones.h"

#include <string>
#include <vector>

// The programming dialog's listing of the tones, block by block (UTF-8 lines).
// An address block whose first slot is empty ends the listing, as it ends the send.
std::vector<std::string> progListingLines(const TProgTones& tones);

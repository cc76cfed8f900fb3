// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgListing.h"

#include <cstdio>

namespace {

std::string formatLine(const char* format, int number, int frequency, const char* role) {
    char line[64];
    std::snprintf(line, sizeof line, format, number, frequency, role);
    return line;
}

struct Listing {
    std::vector<std::string> lines;
    std::array<int, std::tuple_size_v<TProgTones>> slotLines{};
};

Listing buildListing(const TProgTones& tones) {
    static const char* const kBlockARoles[kBlockASlots] = {
        "Tonsystem", "Tonlänge", "Tonlänge", "Auswerter", "Rufadressen", "Schaltermodi"};
    static const char* const kBlockNames[kAddressBlocks] = {"Block B I", "Block B II",
                                                            "Block B III", "Block B IV"};
    static const char* const kAddressRoles[kAddressBlocks] = {"Adresse 1", "Adresse 2", "Adresse 3",
                                                              "Adresse 4"};

    Listing listing;
    listing.slotLines.fill(-1);
    std::vector<std::string>& lines = listing.lines;
    lines.emplace_back("Block A");
    for (int slot = 0; slot < kBlockASlots; ++slot) {
        listing.slotLines[slot] = static_cast<int>(lines.size());
        lines.push_back(formatLine("%02d : %4d : %s", slot + 1, tones[slot], kBlockARoles[slot]));
    }

    for (int block = 0; block < kAddressBlocks; ++block) {
        const int first = kBlockASlots + block * kAddressBlockSlots;
        // Block B I is always headed; a later block with an empty first slot ends the listing.
        if (block > 0 && tones[first] == 0)
            break;
        lines.emplace_back();
        lines.emplace_back(kBlockNames[block]);
        for (int k = 0; k < kAddressBlockSlots; ++k)
            if (tones[first + k] != 0) {
                listing.slotLines[first + k] = static_cast<int>(lines.size());
                lines.push_back(
                    formatLine("%0.2d : %4d : %s", k + 1, tones[first + k], kAddressRoles[block]));
            }
    }
    return listing;
}

} // namespace

std::vector<std::string> progListingLines(const TProgTones& tones) {
    return buildListing(tones).lines;
}

std::array<int, std::tuple_size_v<TProgTones>> progListingSlotLines(const TProgTones& tones) {
    return buildListing(tones).slotLines;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>

// The 26 programming tones in Hz, 0 meaning no tone: Block A (slots 0 to 5), then four
// address blocks of five slots (6 to 10, 11 to 15, 16 to 20, 21 to 25).
using TProgTones = std::array<uint16_t, 26>;

constexpr int kBlockASlots = 6;
constexpr int kAddressBlocks = 4;
constexpr int kAddressBlockSlots = 5;

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Call addresses: typing filter, evaluator cut, repeat normalisation and the address check.
// Address texts are single-byte (Windows-1252) strings, as the edits and files hold them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct AddressSlot {
    bool checked = false;
    std::string text;

    bool operator==(const AddressSlot&) const = default;
};
using AddressSlots = std::array<AddressSlot, 4>;

// The captions of the four slots' check boxes, "Ruf 1" to "Ruf 4": the window's, and the
// columns of a fleet list.
inline constexpr std::array<const char*, 4> kAddressCaptions = {"Ruf 1", "Ruf 2", "Ruf 3", "Ruf 4"};

// The character that typing inserts for c, or 0 when c is discarded. Backspace passes,
// 'g' becomes 'G', digits and 'G' pass; everything else ('R' included) is discarded.
char32_t filterAddressKey(char32_t c);

// The address length that evaluator button k (1 "5 Ton" to 3 "3 Ton") stands for.
uint8_t adresseLenForEvaluator(int k);

// The first len characters of text.
std::string cutAddress(const std::string& text, uint8_t len);

// Replaces a character that repeats its (already replaced) predecessor by 'R', for a text of
// exactly len characters; any other text is returned unchanged.
std::string normaliseRepeats(std::string text, uint8_t len);

// The highest checked slot (1 to 4) whose text is not len characters long, or 0.
int incompleteAddress(const AddressSlots& slots, uint8_t len);

// The three-stage check; the message (UTF-8) of the first failing stage, or nothing.
std::optional<std::string> checkAddresses(const AddressSlots& slots, uint8_t len);

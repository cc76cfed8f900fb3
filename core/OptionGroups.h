// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's five option groups. Each row of kOptionGroups is the one place of its
// facts: the group's caption, its options' captions, hints and command-line words, the key that
// stores it in a programming-data file, and how many options it has. The window, zuvela-cli's
// parser, help and decode report, the programming-data file and the web page read it.
#include "ToneTable.h"

#include <array>
#include <cstddef>
#include <string>

enum class OptionGroupId { Tonsys, ToneLength, LenMode, Evaluator, SwitchMode };

inline constexpr int kMaxOptions = kToneSystems;

struct OptionGroup {
    const char* caption;     // the window's group box, blanks included: " Auswertung "
    const char* name;        // zuvela-cli's help and manual page: "Auswertung"
    const char* reportLabel; // zuvela-cli's decode report: "Auswerter"
    const char* fileKey;     // in section "A" of a programming-data file: "AW"; nullptr: derived
    // zuvela-cli's option taking one of the words ("--evaluator"); nullptr where each word is a
    // flag of its own ("--long") or the group has no option (the tone length follows the system).
    const char* cliOption;
    int count;                                    // options, numbered from 1 as the buttons are
    std::array<const char*, kMaxOptions> options; // captions: "5 Ton"
    std::array<const char*, kMaxOptions> words;   // zuvela-cli's words: "5"; nullptr: none
    // Tool tips as stored (line feed before carriage return); nullptr: none.
    std::array<const char*, kMaxOptions> hints;

    // Whether the words are the numerals 1 to count ("--mode 1-4").
    bool wordsAreNumerals() const;
    // The option a command-line word selects (1 to count), or 0.
    int optionForWord(const std::string& word) const;
    // The words a message allows: "1 bis 4", or "5, 4, 3".
    std::string allowedWords() const;
};

namespace optionGroupsDetail {
template <typename Field> constexpr std::array<const char*, kMaxOptions> fromToneSystems(Field f) {
    std::array<const char*, kMaxOptions> out{};
    for (int i = 0; i < kToneSystems; ++i)
        out[static_cast<std::size_t>(i)] = kToneSystemTable[static_cast<std::size_t>(i)].*f;
    return out;
}
} // namespace optionGroupsDetail

// In the order of OptionGroupId.
inline constexpr std::array<OptionGroup, 5> kOptionGroups = {{
    {" Tonsystem ",
     "Tonsystem",
     "Tonsystem",
     "TS",
     "--system",
     kToneSystems,
     optionGroupsDetail::fromToneSystems(&ToneSystem::caption),
     optionGroupsDetail::fromToneSystems(&ToneSystem::word),
     {}},
    {" Tonlänge ",
     "Tonlänge",
     "Tonlänge",
     nullptr,
     nullptr,
     3,
     {"40 ms", "70 ms", "100 ms"},
     {},
     {}},
    {"Tonlängen ",
     "Tonlängen",
     "Normal/Langton",
     "TL",
     nullptr,
     2,
     {"Normal", "Langton"},
     {"--normal", "--long"},
     {}},
    {" Auswertung ",
     "Auswertung",
     "Auswerter",
     "AW",
     "--evaluator",
     3,
     {"5 Ton", "4 Ton", "3 Ton"},
     {"5", "4", "3"},
     {}},
    {" Schaltermodi ",
     "Schaltermodus",
     "Schaltermodus",
     "SM",
     "--mode",
     4,
     {"Schaltbar", "Immer ein", "Immer lautlos", "Ein + Mithören"},
     {"1", "2", "3", "4"},
     {"S1 : Akustik EIN\n\rS2 : Akustik AUS", "S1 : Akustik EIN\n\rS2 : Akustik EIN",
      "S1 : Akustik AUS\n\rS2 : Akustik AUS", "S1 : Akustik EIN\n\rS2 : Mithören"}},
}};

constexpr const OptionGroup& optionGroup(OptionGroupId id) {
    return kOptionGroups[static_cast<std::size_t>(id)];
}

// The caption of option n (1-based) of a group, or "?" outside it.
const char* optionCaption(OptionGroupId id, int n);

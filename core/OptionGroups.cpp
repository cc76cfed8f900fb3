// SPDX-License-Identifier: GPL-3.0-or-later
#include "OptionGroups.h"

bool OptionGroup::wordsAreNumerals() const {
    for (int n = 1; n <= count; ++n)
        if (words[static_cast<std::size_t>(n - 1)] == nullptr ||
            words[static_cast<std::size_t>(n - 1)] != std::to_string(n))
            return false;
    return true;
}

int OptionGroup::optionForWord(const std::string& word) const {
    for (int n = 1; n <= count; ++n) {
        const char* w = words[static_cast<std::size_t>(n - 1)];
        if (w != nullptr && word == w)
            return n;
    }
    return 0;
}

std::string OptionGroup::allowedWords() const {
    if (wordsAreNumerals())
        return "1 bis " + std::to_string(count);
    std::string text;
    for (int n = 1; n <= count; ++n)
        text += std::string(n > 1 ? ", " : "") + words[static_cast<std::size_t>(n - 1)];
    return text;
}

const char* optionCaption(OptionGroupId id, int n) {
    const OptionGroup& group = optionGroup(id);
    return n >= 1 && n <= group.count ? group.options[static_cast<std::size_t>(n - 1)] : "?";
}

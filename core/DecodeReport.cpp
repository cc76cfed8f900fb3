// SPDX-License-Identifier: GPL-3.0-or-later
#include "DecodeReport.h"

#include "OptionGroups.h"
#include "ProgListing.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Characters, not bytes: the labels' column counts "ä" once.
std::size_t utf8Length(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

long ms(double value) {
    return std::lround(value);
}

} // namespace

std::string decodeReport(const DecodedSequence& d) {
    std::string text;
    for (const std::string& line : progListingLines(d.tones))
        text += line + '\n';
    const ProgSettings& s = d.settings;
    // Each group's label and chosen option from the option-group table, in its order.
    const std::pair<OptionGroupId, int> chosen[] = {{OptionGroupId::Tonsys, s.tonsys},
                                                    {OptionGroupId::ToneLength, s.toneLength()},
                                                    {OptionGroupId::LenMode, s.lenMode},
                                                    {OptionGroupId::Evaluator, s.evaluator},
                                                    {OptionGroupId::SwitchMode, s.switchMode}};
    text += '\n';
    for (const auto& [group, option] : chosen) {
        const std::string label = std::string(optionGroup(group).reportLabel) + ":";
        const std::size_t width = utf8Length(label);
        text += label + std::string(width < 16 ? 16 - width : 1, ' ') +
                optionCaption(group, option) + '\n';
    }
    for (std::size_t i = 0; i < s.addresses.size(); ++i)
        text += "Rufadresse " + std::to_string(i + 1) + ":   " +
                (s.addresses[i].checked ? "[x] " : "[ ] ") + s.addresses[i].text + '\n';
    text += "\nGemessen: Tonlänge " + std::to_string(ms(d.toneLength)) + " ms, Tonpause " +
            std::to_string(ms(d.tonePause)) + " ms, Blockpause " +
            std::to_string(ms(d.blockPause)) + " ms\n";
    for (const std::string& note : d.notes)
        text += "Hinweis: " + note + '\n';
    return text;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli's manual page states the expert values' ranges, the tone systems' words and the
// option groups' words and captions; the tables in core are the one place of these facts, so the
// page must say what they hold.
#include "ExpertValues.h"
#include "OptionGroups.h"
#include "ToneTable.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string manPage() {
    std::ifstream in(ZUVELA_MAN_PAGE, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An option as the page writes it: its two leading hyphens escaped for troff.
std::string troffOption(const std::string& option) {
    return "\\-\\-" + option.substr(2);
}

TEST(ManPage, StatesTheExpertRangesAndToneSystemWordsOfTheTables) {
    const std::string page = manPage();
    ASSERT_FALSE(page.empty()) << ZUVELA_MAN_PAGE;
    for (const ExpertRange* range : kExpertRanges) {
        const std::string entry = ".BI " + troffOption(range->option) + " \" " +
                                  range->placeholder + "\"\n" + range->caption + ", " +
                                  range->allowed() + " (Vorgabe " + std::to_string(range->initial) +
                                  ").\n";
        EXPECT_NE(page.find(entry), std::string::npos) << entry;
    }
    std::string words = "1 bis " + std::to_string(kToneSystems) + " oder\n.BR";
    for (const ToneSystem& system : kToneSystemTable)
        words += std::string(&system == &kToneSystemTable.front() ? " " : " \", \" ") + system.word;
    words += " .\n";
    EXPECT_NE(page.find(words), std::string::npos) << words;
    // The groups' options as the option-group table names them: each flag of its own, else the
    // option's captions ("Auswertung: 5 Ton, 4 Ton oder 3 Ton.", "Schaltermodus: 1 Schaltbar,").
    for (const OptionGroup& group : kOptionGroups) {
        if (group.words[0] == nullptr || &group == &optionGroup(OptionGroupId::Tonsys))
            continue;
        for (int n = 1; n <= group.count; ++n) {
            const std::string caption = group.options[static_cast<std::size_t>(n - 1)];
            const std::string word = group.words[static_cast<std::size_t>(n - 1)];
            std::string stated;
            if (group.cliOption == nullptr)
                stated.append(".B ")
                    .append(troffOption(word))
                    .append("\n")
                    .append(group.name)
                    .append(": ")
                    .append(caption)
                    .append(".");
            else if (group.wordsAreNumerals())
                stated.append(" ").append(word).append(" ").append(caption);
            else
                stated.append(" ").append(caption);
            EXPECT_NE(page.find(stated), std::string::npos) << stated;
        }
        if (group.cliOption != nullptr) {
            EXPECT_NE(page.find(std::string(group.name) + ":"), std::string::npos) << group.name;
        }
    }
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli's manual page states the expert values' ranges and the tone systems' words; the
// tables in core are the one place of these facts, so the page must say what they hold.
#include "ExpertValues.h"
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
}

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings as a link's query, "ts=6&tl=1&aw=2&sm=1&rp1=1&ad1=5743&tone-length=40&...": the
// programming-data file's keys in small letters (rp1 ... rp4 and ad1 ... ad4 for the sections
// "B I" ... "B IV") and zuvela-cli's words for the expert values. A link is read as zuvela-cli
// reads its options: each value by the rule that holds for it in the window, the file or the
// command line; a value that breaks it is ignored with a note, never taken in part.
#include "ExpertValues.h"
#include "ProgEncoder.h"

#include <string>
#include <string_view>
#include <vector>

struct SettingsLink {
    bool names = false; // the query names a key of the link's (otherwise it is no link at all)
    bool taken = false; // at least one value was taken
    ProgSettings settings;
    ExpertValues expert;
    // "Hinweis: ts=99 wird ignoriert (erlaubt: 1 bis 7).", one line each.
    std::vector<std::string> notes;
};

// Reads a query (with or without its leading '?'), percent-encoded as browsers send it, on top
// of start and the sliders' start values: an option group's key selects only by exactly its
// numeral, as the file's loader; an expert value only within its range and steps, as zuvela-cli;
// an address only with the characters typing lets in (and the 'R' of a repeat) and not longer
// than the evaluator allows. When the query names any address key, the four addresses are
// replaced together (an unnamed one is empty and unchecked), as a file replaces them. A key
// given twice counts the last time, as zuvela-cli's options do. A query of nothing but ignored
// values changes nothing.
SettingsLink readSettingsLink(std::string_view query, const ProgSettings& start = {});

// The query for settings and expert values (address texts in Windows-1252, as settings hold
// them), percent-encoded; readSettingsLink gives them back.
std::string settingsLinkQuery(const ProgSettings& settings, const ExpertValues& expert);

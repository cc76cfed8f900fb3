// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet list: one pager a line, with its label, holder, settings and calls, as a CSV file
// that a spreadsheet reads and writes. Every front-end reads, checks and writes lists here: the
// columns speak the main window's words (the option-group table, the tone systems' captions,
// the address boxes' captions), and each line goes through the check of "Programmieren".
#pragma once
#include "Csv.h"
#include "ProgEncoder.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class FleetColumn {
    Label,      // "Kennung": the pager's label, unique in the list
    Holder,     // "Träger"
    Tonsys,     // "Tonsystem": "ZVEI 1" ... "CCIR / EEA"
    Evaluator,  // "Auswertung": "5 Ton", "4 Ton", "3 Ton"
    SwitchMode, // "Schaltermodus": "Schaltbar" ... "Ein + Mithören"
    LongTone,   // "Langton": "ja" or "nein"
    Call1,      // "Ruf 1" ... "Ruf 4": the address; an empty cell is an unchecked call
    Call2,
    Call3,
    Call4,
    Note, // "Bemerkung"
};
inline constexpr int kFleetColumns = 11;

// A column's header name ("Kennung", "Tonsystem", "Ruf 1"); headers are read without regard to
// letter case.
std::string fleetColumnName(FleetColumn column);

inline constexpr const char* kFleetYes = "ja";
inline constexpr const char* kFleetNo = "nein";

// A list larger than this is something else: the one limit for every front-end.
inline constexpr std::size_t kFleetListMaxBytes = 4 * 1024 * 1024;

struct FleetPager {
    int line = 0;       // the file's line (the header is line 1); 0 for a pager made in memory
    std::string label;  // UTF-8
    std::string holder; // UTF-8
    std::string note;   // UTF-8
    // The settings, the addresses completed as leaving their fields completes them (a repeated
    // character is 'R'), in Windows-1252 as the window holds them. A column the list lacks, or
    // an empty option cell, keeps the start settings' value.
    ProgSettings settings;
    // Why the line cannot be sent, or empty: a wrong word, a duplicate label, or the message of
    // the check that "Programmieren" applies.
    std::string problem;
    // The cells as read (trimmed), so that a line with a problem is written back as it stood.
    std::array<std::string, kFleetColumns> cells{};

    bool ok() const { return problem.empty(); }
};

struct FleetList {
    // Why the file is no list at all, whole sentences; empty when it is one. Then the other
    // fields say nothing.
    std::string refusal;
    TextEncoding encoding = TextEncoding::Utf8;
    char separator = ';';
    std::vector<FleetPager> pagers; // every line, in file order, those with a problem included
    std::vector<std::string>
        notes; // columns that are not read: "Die Spalte "X" wird nicht gelesen."

    // "Zeile 4 (W1-07): <problem>" for each line with a problem, in file order.
    std::vector<std::string> problems() const;
    int sendable() const;
};

// Reads a list file's bytes. shown names the file in a refusal as the front-end names it
// (zuvela-cli "Die Datei NAME", the windows and the page "\"NAME\"").
//
// Refusals (shown = "Die Datei x.csv"):
//   "Die Datei x.csv ist keine Liste: sie ist leer."
//   "Die Datei x.csv ist keine Liste: sie enthält Binärdaten."
//   "Die Datei x.csv ist keine Liste: sie ist größer als 4 MB."
//   "Die Datei x.csv ist keine Liste: ihre erste Zeile nennt keine Spalte Kennung."
//   "Die Datei x.csv ist keine Liste: die Spalte Ruf 1 steht zweimal in der ersten Zeile."
//   "Die Datei x.csv ist keine Liste: ihre erste Zeile nennt keine der Spalten Ruf 1 bis Ruf 4
//    (gelesen: Kennung, Ruf1)."
// Problems of a line:
//   "Die Kennung fehlt."
//   "Die Kennung "W1-07" steht schon in Zeile 3."
//   "Unbekannter Wert in Spalte Tonsystem: "ZVEI 9" (erlaubt: ZVEI 1, ..., CCIR / EEA)."
//   "Die Zeile hat mehr Felder als die erste Zeile."
//   "Ein Feld in Anführungszeichen endet nicht."
//   and the address check's messages ("Rufadresse 1 ist unnvollständig." ...).
FleetList readFleetList(std::string_view bytes, const std::string& shown,
                        const ProgSettings& start = ProgSettings{});

// "Zeile 4 (W1-07): <problem>"; without a label "Zeile 4: <problem>".
std::string fleetLineMessage(const FleetPager& pager);

// A pager from settings as the main window holds them, checked as a read line is (its
// addresses completed); its cells follow from the settings.
FleetPager fleetPager(const ProgSettings& settings, std::string label, std::string holder = {},
                      std::string note = {});

// A line's cells in the list's words, in column order: from the settings, or for a line with
// a problem as it was read.
std::array<std::string, kFleetColumns> fleetCells(const FleetPager& pager);
// The settings' cells alone: tone system, evaluator, switch mode, long tone and the four calls,
// as a list and a record write them.
std::array<std::string, 8> fleetSettingsCells(const ProgSettings& settings);
// "Ruf 1 12345, Ruf 3 54321": the checked calls, as zuvela-cli's prompt names them.
std::string fleetCallsText(const ProgSettings& settings);

// A whole list file: UTF-8 with byte order mark, ';', a header with every column, CR LF.
std::string fleetListText(const std::vector<FleetPager>& pagers);
// A new list of one line, labelled "1", from the current settings.
std::string newFleetListText(const ProgSettings& settings);

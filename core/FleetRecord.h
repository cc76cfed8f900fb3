// SPDX-License-Identifier: GPL-3.0-or-later
// The record of a fleet list's sends: one CSV line per send of a line, in the list's words, and
// each label's last result read back from it. The lines are bytes here; appending them to the
// file, synced line by line, is the platform's (platform/AppendFile.h).
#pragma once
#include "ExpertValues.h"
#include "FleetList.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Started: the line a send writes before its sound; its outcome line follows when it ends, so a
// send that never ended (a killed program, a closed tab) still stands in the record.
enum class FleetResult { Sent, Aborted, Skipped, Started };

inline constexpr const char* kFleetSent = "Gesendet";
inline constexpr const char* kFleetStarted = "Begonnen";
// A label's last line is a start line: the send began and its end is not known.
inline constexpr const char* kFleetUnfinished = "Begonnen, nicht beendet";
inline constexpr const char* kFleetAborted = "Abgebrochen";
inline constexpr const char* kFleetSkipped = "Übersprungen";

struct FleetRecordEntry {
    std::string time; // ISO 8601 with the offset (isoLocalTime)
    std::string label;
    std::string holder;
    ProgSettings settings;
    std::string
        device; // the output device as the front-end names it ("default", "PC-Lautsprecher")
    ExpertValues expert;
    FleetResult result = FleetResult::Sent;
    std::string reason; // why a send was broken off (Aborted)
    std::string check;  // the check at the cable's result; empty when no check ran
};

// "2026-12-10T07:45:12+01:00": the local time of t with its offset from UTC.
std::string isoLocalTime(std::chrono::system_clock::time_point t);
// The same for a moment in seconds since 1970 (UTC) and a local offset east of UTC in minutes:
// for a front-end whose clock and time zone are its own (the page has the browser's).
std::string isoTime(std::int64_t unixSeconds, int offsetMinutes);

// The result cell: "Gesendet", "Abgebrochen: <reason>" ("Abgebrochen" without one),
// "Übersprungen", "Begonnen".
std::string fleetResultText(FleetResult result, const std::string& reason = {});

// The record's first line, with the byte order mark, ended by CR LF: "Zeit;Kennung;Träger;
// Tonsystem;Auswertung;Schaltermodus;Langton;Ruf 1;...;Ruf 4;Ausgabegerät;Tonlänge (ms);
// Tonpause (ms);Blockpause (ms);Amplitude (%);Ergebnis;Prüfung". Written to a new record only.
std::string fleetRecordHeader();
// One line of the record, ended by CR LF; line breaks inside a text become blanks, so that a
// line of the file is always a whole entry.
std::string fleetRecordLine(const FleetRecordEntry& entry);

// A line of a record as read back, its cells as written.
struct FleetRecordRow {
    std::string time, label, result, check, device;
    std::array<std::string, 4> calls;
    std::array<std::string, 4> expert; // tone length, tone pause, block pause, amplitude
    FleetResult kind = FleetResult::Sent;
};
// Every line of a record it can read, in file order (any encoding, separator and column order a
// spreadsheet may have left); a line broken off by a killed program, or with a result it does
// not know, is passed over.
std::vector<FleetRecordRow> fleetRecordRows(std::string_view recordBytes);
// "10.12.2026 14:44:14" for a record's time "2026-12-10T14:44:14+01:00": its local time as
// written, in German form; anything else as it stands.
std::string fleetGermanTime(std::string_view isoTime);

// What the record says of one label: its last line.
struct FleetLastResult {
    std::string time;
    FleetResult result = FleetResult::Sent;
    std::string text;  // the result cell as written ("Abgebrochen: ..."; "Begonnen, nicht beendet")
    std::string check; // the check's result, or empty
};
// Each label's last result, read from a record's bytes (any encoding, separator and column
// order a spreadsheet may have left). Lines it cannot read (a line broken off by a killed
// program, a result it does not know) are passed over.
std::map<std::string, FleetLastResult> fleetLastResults(std::string_view recordBytes);

// The record's last send (its last line that is no start line and no skip), when it went out
// whole ("Gesendet", and no check that found it lacking): its label and its calls, as the
// question before the same addresses twice in a row needs them.
struct FleetLastSend {
    std::string label;
    ProgSettings settings; // the calls; the other settings as they start
};
std::optional<FleetLastSend> fleetLastSend(std::string_view recordBytes);

// A check at the cable's summary that found the send lacking ("✘ …").
bool fleetCheckFailed(std::string_view check);

// The record file named beside a list: "LISTE.csv" gives "LISTE-Protokoll.csv".
std::string fleetRecordNameFor(const std::string& listName);

// The largest record read for its last results: years of sends.
inline constexpr std::size_t kFleetRecordMaxBytes = 32 * 1024 * 1024;
// When an existing record cannot be read (a link, a pipe, too large): "Das Protokoll <shown>
// lässt sich nicht lesen (<why>); die letzten Ergebnisse fehlen."
std::string fleetRecordUnreadable(const std::string& shown, const std::string& why);

// The messages when the record cannot be written, whole sentences:
// before the first send, "Das Protokoll <shown> lässt sich nicht schreiben (<why>). Es wurde
// nichts gesendet."
std::string fleetRecordUnwritable(const std::string& shown, const std::string& why);
// after a send, "Die Zeile ließ sich nicht ins Protokoll <shown> schreiben (<why>); die Liste
// ist angehalten. Die Zeile:\n<line without its line end>"
std::string fleetRecordLineLost(const std::string& shown, const std::string& why,
                                const std::string& line);

// Asked before a send whose checked addresses are those of the send just before it, slot by
// slot (the same pager twice, or the last pager's addresses sent again by the keyboard loop):
// "Die Rufadresse 12345 wurde eben schon an W1-06 gesendet. Trotzdem senden?", for several
// "Die Rufadressen 12345, 67890 wurden …", without a label "… eben schon gesendet. …"; empty
// when they differ or none is checked. A group call that several pagers share does not ask.
std::string fleetRepeatQuestion(const ProgSettings& before, const std::string& beforeLabel,
                                const ProgSettings& next);

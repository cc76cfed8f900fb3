// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming session: the one road of every send, for the windows, zuvela-cli and the page
// alike. It holds what is to be programmed (the main window's settings, or the chosen line of a
// fleet list), the tones made from them, the rule that asks before the same addresses go out
// twice in a row, the record's lines (a start line before the sound, an outcome line after it)
// and the choice of the next line. A front-end feeds it the user's events (program, send, the
// send's end, skip, choose) and shows what it says; it plays the samples and keeps the record's
// bytes through the writer it gives the session. So the tones sent are always those of the line
// recorded: a send plays the session's tones, never a copy a window kept.
#include "ExpertValues.h"
#include "FleetList.h"
#include "FleetRecord.h"
#include "ProgEngine.h"
#include "SendTimeline.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a send ended, in every front-end's own words.
enum class SendEnd {
    Sent,        // every sample went out (and the check, when one ran, found it whole)
    Stopped,     // the user stopped it (Esc, the stop button, Ctrl+C, a closed tab)
    Broken,      // it broke off: a device that failed, a gap in the sound
    CheckFailed, // it went out, but the check at the cable found it lacking
};

struct SendOutcome {
    SendEnd end = SendEnd::Sent;
    std::string reason; // Stopped or Broken: why, one line as the record gives it
    std::string check;  // the check at the cable's summary; empty when none ran
};

// What "OK und los !" is to do.
struct SendPlan {
    enum class Step {
        Play,    // play timeline now; the record's start line is written
        Ask,     // ask text (yes/no, no by default), then plan again with confirmed
        Refused, // show text; nothing is sent
    } step = Step::Play;
    std::string text;
    std::vector<TimelineSegment> timeline; // Play: the segments with their listing lines
    std::vector<uint8_t> samples;          // Play: for the sound card, 8-bit at 22050 per second
    int line = -1;                         // Play: the list's line this send programs, or -1

    std::vector<ToneSegment> segments() const;
};

// The lead and tail of the check at the cable's recording around a send, in milliseconds: the
// recording starts a little before the first tone and ends a little after the last.
inline constexpr int kCheckLeadMs = 300;
inline constexpr int kCheckTailMs = 400;

class ProgSession {
public:
    // Appends bytes to the record; returns why it could not (German, for the message), or empty.
    using RecordWriter = std::function<std::string(std::string_view bytes)>;

    // --- the list

    // A list read by readFleetList, with its record's bytes (empty: no record yet), the record
    // named as the front-end names it in a message ("\"L-Protokoll.csv\""), and how it is
    // written. No line is chosen yet; the send before is the record's last one.
    void openList(FleetList list, std::string_view recordBytes, std::string recordShown,
                  RecordWriter writer);
    void closeList();
    bool hasList() const { return hasList_; }
    const FleetList& list() const { return list_; }
    // The record was written by someone else (another tab): its lines read again.
    void recordChanged(std::string_view recordBytes);
    // Each label's last result in the record.
    const std::map<std::string, FleetLastResult>& lastResults() const { return last_; }
    // The first line from index from on that can be sent, or -1.
    int nextLine(int from) const;
    // The first line that can be sent and was not sent whole yet, or -1: where the work goes on
    // after a restart.
    int nextUnsentLine() const;

    // --- choosing and programming

    // Chooses a line of the list: its settings and tones become the session's. A line with a
    // problem is not chosen: the result is its message ("Zeile 4 (W1-07): …"). -1 lets go.
    std::string choose(int index);
    int chosen() const { return chosen_; }
    // "Programmieren" with the settings the front-end shows: the check's message, or the tones.
    // The send that follows programs the chosen line when these are its tones, else no line.
    ProgTonesResult program(const ProgSettings& settings, const TToneTable& table);
    ProgTonesResult program(const ProgSettings& settings);
    // Tones made elsewhere, with no settings of their own: no line, and no question before them.
    void programTones(const TProgTones& tones);
    bool programmed() const { return programmed_; }
    const TProgTones& tones() const { return tones_; }
    const ProgSettings& settings() const { return settings_; }
    // The list's line the tones program, or -1.
    int programmedLine() const { return programmedLine_; }
    // Counts each change of the tones, so that a dialog showing them knows to take them anew.
    unsigned tonesVersion() const { return tonesVersion_; }

    // --- sending

    // "OK und los !" with the expert values and the output as the record names it; time is
    // now (isoLocalTime, or isoTime with the browser's clock). Asks first when these addresses
    // are those of the whole send just before (confirmed: the user said yes); for a line of the
    // list the record's start line is written first, and a record that cannot take it refuses.
    SendPlan planSend(const ExpertValues& expert, const std::string& device,
                      const std::string& time, bool confirmed = false);
    bool sending() const { return sending_; }
    // The send's end: its outcome line written for a line of the list; after a whole send the
    // next line is chosen. Returns a message to show (the record did not take the line: the
    // list stops on this line), or empty.
    std::string endSend(const SendOutcome& outcome, const std::string& time);
    // The outcome line endSend would write, without ending anything: for a front-end that must
    // write it from a signal handler.
    std::string outcomeLine(const SendOutcome& outcome, const std::string& time) const;
    // "Überspringen": the chosen line recorded as skipped, the next chosen. A message as endSend.
    std::string skip(const std::string& device, const ExpertValues& expert,
                     const std::string& time);
    // The list has gone through: the last line that can be sent was sent whole or skipped.
    bool listDone() const { return listDone_; }
    // How the last send ended, while nothing is sent; none before the first.
    const std::optional<SendOutcome>& lastOutcome() const { return lastOutcome_; }
    // The record did not take the last outcome line: the list stopped on its line.
    bool recordLost() const { return recordLost_; }

private:
    struct Sent {
        ProgSettings settings;
        std::string label;
    };
    void takeTones(const TProgTones& tones, const ProgSettings& settings, int line,
                   bool settingsKnown = true);
    std::string writeLine(const std::string& line, bool beforeSend);
    // After a whole send or a skip of line: the next line that can be sent, or the list done.
    void moveOn(int line);
    FleetRecordEntry entryFor(int line, FleetResult result, const std::string& time) const;
    FleetRecordEntry outcomeEntry(int line, const SendOutcome& outcome,
                                  const std::string& time) const;

    bool hasList_ = false;
    FleetList list_;
    std::vector<std::optional<TProgTones>> lineTones_;
    std::map<std::string, FleetLastResult> last_;
    std::string recordShown_;
    RecordWriter writer_;
    bool recordHasHeader_ = false;
    int chosen_ = -1;

    bool programmed_ = false;
    TProgTones tones_{};
    ProgSettings settings_;
    bool settingsKnown_ = false;
    int programmedLine_ = -1;
    unsigned tonesVersion_ = 0;

    bool sending_ = false;
    int sendingLine_ = -1;
    std::optional<ProgSettings> sendingSettings_;
    std::string sendingDevice_;
    ExpertValues sendingExpert_;
    std::optional<Sent> lastSent_; // the send before, when it went out whole
    bool listDone_ = false;
    bool recordLost_ = false;
    std::optional<SendOutcome> lastOutcome_;
};

// The last send's outcome in one line, as a window shows it until the next send:
// "✔ Gesendet.", "✘ Abgebrochen: mit Schließen des Fensters – der Pager ist nicht programmiert.",
// "✘ Nicht vollständig gesendet: <why>", "✘ Gesendet, doch die Prüfung fand: <check>".
std::string sendOutcomeText(const SendOutcome& outcome);

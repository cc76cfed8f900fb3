// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgSession.h"

#include <algorithm>
#include <utility>

std::vector<ToneSegment> SendPlan::segments() const {
    std::vector<ToneSegment> out;
    out.reserve(timeline.size());
    for (const TimelineSegment& entry : timeline)
        out.push_back(entry.segment);
    return out;
}

void ProgSession::openList(FleetList list, std::string_view recordBytes, std::string recordShown,
                           RecordWriter writer) {
    hasList_ = true;
    list_ = std::move(list);
    lineTones_.clear();
    for (const FleetPager& p : list_.pagers) {
        const ProgTonesResult r = p.ok() ? ::progTones(p.settings) : ProgTonesResult{};
        lineTones_.push_back(r.ok ? std::optional<TProgTones>(r.tones) : std::nullopt);
    }
    recordShown_ = std::move(recordShown);
    writer_ = std::move(writer);
    chosen_ = -1;
    listDone_ = false;
    if (programmed_)
        programmedLine_ = -1;
    recordChanged(recordBytes);
}

void ProgSession::closeList() {
    hasList_ = false;
    list_ = FleetList{};
    lineTones_.clear();
    last_.clear();
    writer_ = nullptr;
    chosen_ = -1;
    programmedLine_ = -1;
    listDone_ = false;
}

void ProgSession::recordChanged(std::string_view recordBytes) {
    recordHasHeader_ = !recordBytes.empty();
    last_ = fleetLastResults(recordBytes);
    if (const std::optional<FleetLastSend> sent = fleetLastSend(recordBytes))
        lastSent_ = Sent{sent->settings, sent->label};
    else if (recordHasHeader_)
        lastSent_.reset();
}

int ProgSession::nextLine(int from) const {
    for (int n = std::max(from, 0); n < static_cast<int>(list_.pagers.size()); ++n)
        if (list_.pagers[static_cast<std::size_t>(n)].ok())
            return n;
    return -1;
}

int ProgSession::nextUnsentLine() const {
    for (int n = nextLine(0); n >= 0; n = nextLine(n + 1)) {
        const auto found = last_.find(list_.pagers[static_cast<std::size_t>(n)].label);
        if (found == last_.end() || found->second.result != FleetResult::Sent ||
            fleetCheckFailed(found->second.check))
            return n;
    }
    return -1;
}

std::string ProgSession::choose(int index) {
    if (index < 0 || index >= static_cast<int>(list_.pagers.size())) {
        chosen_ = -1;
        return {};
    }
    const FleetPager& p = list_.pagers[static_cast<std::size_t>(index)];
    if (!p.ok() || !lineTones_[static_cast<std::size_t>(index)])
        return fleetLineMessage(p);
    chosen_ = index;
    listDone_ = false;
    takeTones(*lineTones_[static_cast<std::size_t>(index)], p.settings, index);
    return {};
}

void ProgSession::takeTones(const TProgTones& tones, const ProgSettings& settings, int line,
                            bool settingsKnown) {
    if (!programmed_ || tones != tones_ || line != programmedLine_)
        ++tonesVersion_;
    programmed_ = true;
    tones_ = tones;
    settings_ = settings;
    settingsKnown_ = settingsKnown;
    programmedLine_ = line;
}

void ProgSession::programTones(const TProgTones& tones) {
    takeTones(tones, ProgSettings{}, -1, false);
}

ProgTonesResult ProgSession::program(const ProgSettings& settings, const TToneTable& table) {
    ProgTonesResult result = ::progTones(settings, table);
    if (!result.ok)
        return result;
    // The chosen line when these are its tones (its settings in the main window), else no line.
    const bool ofChosen = chosen_ >= 0 && lineTones_[static_cast<std::size_t>(chosen_)] &&
                          *lineTones_[static_cast<std::size_t>(chosen_)] == result.tones;
    takeTones(result.tones,
              ofChosen ? list_.pagers[static_cast<std::size_t>(chosen_)].settings : settings,
              ofChosen ? chosen_ : -1);
    return result;
}

ProgTonesResult ProgSession::program(const ProgSettings& settings) {
    TToneTable table{};
    fillToneTable(table);
    return program(settings, table);
}

FleetRecordEntry ProgSession::entryFor(int line, FleetResult result,
                                       const std::string& time) const {
    const FleetPager& p = list_.pagers[static_cast<std::size_t>(line)];
    FleetRecordEntry entry;
    entry.time = time;
    entry.label = p.label;
    entry.holder = p.holder;
    entry.settings = p.settings;
    entry.device = sendingDevice_;
    entry.expert = sendingExpert_;
    entry.result = result;
    return entry;
}

// Appends a line to the record, the header first for a new one. Before a send, a record that
// cannot take it refuses the send; after one, the list stops.
std::string ProgSession::writeLine(const std::string& line, bool beforeSend) {
    const std::string bytes = recordHasHeader_ ? line : fleetRecordHeader() + line;
    const std::string why = writer_ ? writer_(bytes) : std::string("kein Protokoll");
    recordLost_ = !why.empty() && !beforeSend;
    if (why.empty()) {
        recordHasHeader_ = true;
        return {};
    }
    return beforeSend ? fleetRecordUnwritable(recordShown_, why)
                      : fleetRecordLineLost(recordShown_, why, line);
}

SendPlan ProgSession::planSend(const ExpertValues& expert, const std::string& device,
                               const std::string& time, bool confirmed) {
    SendPlan plan;
    if (sending_ || !programmed_) {
        plan.step = SendPlan::Step::Refused;
        plan.text = sending_ ? "Es wird schon gesendet." : "Es ist nichts programmiert.";
        return plan;
    }
    if (!confirmed && lastSent_ && settingsKnown_) {
        const std::string question =
            fleetRepeatQuestion(lastSent_->settings, lastSent_->label, settings_);
        if (!question.empty()) {
            plan.step = SendPlan::Step::Ask;
            plan.text = question;
            return plan;
        }
    }
    listDone_ = false;
    sendingLine_ = hasList_ ? programmedLine_ : -1;
    sendingSettings_ = settingsKnown_ ? std::optional<ProgSettings>(settings_) : std::nullopt;
    sendingDevice_ = device;
    sendingExpert_ = expert;
    if (sendingLine_ >= 0) {
        const std::string refusal =
            writeLine(fleetRecordLine(entryFor(sendingLine_, FleetResult::Started, time)), true);
        if (!refusal.empty()) {
            plan.step = SendPlan::Step::Refused;
            plan.text = refusal;
            return plan;
        }
        const FleetPager& p = list_.pagers[static_cast<std::size_t>(sendingLine_)];
        last_[p.label] = {time, FleetResult::Started, kFleetUnfinished, {}};
    }
    sending_ = true;
    lastOutcome_.reset();
    plan.line = sendingLine_;
    plan.timeline = progTimeline(tones_, expert);
    plan.samples = progSamples(tones_, expert);
    return plan;
}

namespace {

FleetResult recordedResult(SendEnd end) {
    return end == SendEnd::Sent || end == SendEnd::CheckFailed ? FleetResult::Sent
                                                               : FleetResult::Aborted;
}

} // namespace

FleetRecordEntry ProgSession::outcomeEntry(int line, const SendOutcome& outcome,
                                           const std::string& time) const {
    FleetRecordEntry entry = entryFor(line, recordedResult(outcome.end), time);
    entry.reason = outcome.reason;
    entry.check = outcome.check;
    return entry;
}

std::string ProgSession::outcomeLine(const SendOutcome& outcome, const std::string& time) const {
    return sending_ && sendingLine_ >= 0
               ? fleetRecordLine(outcomeEntry(sendingLine_, outcome, time))
               : std::string();
}

std::string ProgSession::endSend(const SendOutcome& outcome, const std::string& time) {
    if (!sending_)
        return {};
    sending_ = false;
    lastOutcome_ = outcome;
    const int line = std::exchange(sendingLine_, -1);
    const bool whole = outcome.end == SendEnd::Sent;
    // Only a whole send makes the same addresses ask: one broken off or found lacking by the
    // check goes out again without a question.
    if (whole && sendingSettings_)
        lastSent_ = Sent{*sendingSettings_,
                         line >= 0 ? list_.pagers[static_cast<std::size_t>(line)].label : ""};
    else
        lastSent_.reset();
    if (line < 0 || !hasList_)
        return {};
    const FleetRecordEntry entry = outcomeEntry(line, outcome, time);
    std::string lost = writeLine(fleetRecordLine(entry), false);
    if (!lost.empty())
        return lost;
    last_[entry.label] = {time, entry.result, fleetResultText(entry.result, entry.reason),
                          entry.check};
    // The same line again after a send that was not whole, once the cause is found.
    if (whole && chosen_ == line)
        moveOn(line);
    return {};
}

std::string ProgSession::skip(const std::string& device, const ExpertValues& expert,
                              const std::string& time) {
    if (sending_ || chosen_ < 0)
        return {};
    sendingDevice_ = device;
    sendingExpert_ = expert;
    const int line = chosen_;
    std::string lost = writeLine(fleetRecordLine(entryFor(line, FleetResult::Skipped, time)), true);
    if (!lost.empty())
        return lost;
    last_[list_.pagers[static_cast<std::size_t>(line)].label] = {
        time, FleetResult::Skipped, kFleetSkipped, {}};
    moveOn(line);
    return {};
}

void ProgSession::moveOn(int line) {
    const int next = nextLine(line + 1);
    if (next >= 0)
        choose(next);
    else
        listDone_ = true;
}

std::string sendOutcomeText(const SendOutcome& outcome) {
    auto because = [](const std::string& why) {
        std::string line;
        for (const char c : why)
            line += c == '\r' || c == '\n' ? ' ' : c;
        return line.empty() ? std::string() : ": " + line;
    };
    switch (outcome.end) {
    case SendEnd::Sent:
        return "✔ Gesendet.";
    case SendEnd::Stopped:
        return "✘ Abgebrochen" + because(outcome.reason) + " – der Pager ist nicht programmiert.";
    case SendEnd::Broken:
        return "✘ Nicht vollständig gesendet" + because(outcome.reason);
    case SendEnd::CheckFailed:
        return "✘ Gesendet, doch die Prüfung fand: " + outcome.check;
    }
    return {};
}
